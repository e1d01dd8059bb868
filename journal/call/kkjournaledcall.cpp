#include "journal/call/kkjournaledcall.h"

#include "kernel/session_factory.h"

#include <memory>
#include <mutex>

namespace {
// The session lives for the process, and so does its journal wrapper: every
// journaled KGetPISession hands out the same wrapper object, even after the
// caller let go of every handle in between. Never destroyed, like the
// process's session getter.
void keepSessionWrapper(const xrchandle<KWPISession>& wrapper) {
    static std::mutex* lock = new std::mutex;
    static xrchandle<KWPISession>* kept = new xrchandle<KWPISession>;
    std::lock_guard<std::mutex> guard(*lock);
    if (kept->get() != wrapper.get())
        *kept = wrapper;
}
} // namespace

namespace kk_detail {

void RethrowJournaled(kkJournal& record, const xthrown& caught) {
    xrcunihandle<xthrowable> thrown(caught.get());
    if (!KXException::isObjKindOf(thrown.get()))
        throw;
    xrchandle<KXException> exception(KXException::cast(thrown.get()));
    KCommon_i* implementation = exception->_CastToImpl();
    if (!implementation) {
        // An exception with nothing behind it has no journal wrapper: it is
        // recorded as it is and passes unchanged.
        record.Exception() << exception;
        throw;
    }
    KCommon_j* wrapper = implementation->GetJournalWrapper();
    xrchandle<KXException> wrapped(KXException::cast(wrapper->GetImplObject()));
    record.Exception() << wrapped;
    xthrow(wrapped.get());
}

} // namespace kk_detail

xrchandle<KWPISession>
kkJournaledCall(const char* name, xrchandle<KWPISession> (KWPISessionFactory::*const* method)()) {
    kkJournal record(name);
    xrchandle<KWPISession> session;
    {
        // The plain getter lives for this call only, whether GetSession
        // returns or raises.
        std::unique_ptr<KWPISessionFactory> getter(new KWPISessionFactory);
        try {
            session = ((*getter).*(*method))();
        } catch (const xthrown& caught) {
            kk_detail::RethrowJournaled(record, caught);
        }
    }
    xrchandle<KWPISession> converted = WrapKWPISession(session);
    keepSessionWrapper(converted);
    record.Return() << converted;
    return converted;
}
