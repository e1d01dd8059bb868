#include "journal/call/kkjournaledcall.h"

#include "kernel/model/session_factory.h"

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
    if (!wrapper.isNull() && kept->get() != wrapper.get())
        *kept = wrapper;
}
} // namespace

namespace kk_detail {

void RethrowJournaled(kkJournal& record, const xthrown& caught) {
    xrcunihandle<xthrowable> thrown(caught.get());
    if (!KXException::isObjKindOf(thrown.get()))
        throw;
    xrchandle<KXException> exception(KXException::cast(thrown.get()));
    xrchandle<KXException> wrapped;
    try {
        KCommon_i* implementation = exception->_CastToImpl();
        xrchandle<xobject> wrapper;
        if (implementation)
            wrapper = implementation->AttachJournalWrapper();
        wrapped = KXException::cast(wrapper.get());
    } catch (const xthrown&) {
        // No wrapper can be made for this exception (an exception class
        // without a wrapper maker): the caller still gets the failure that
        // happened, not the failure of wrapping it.
        wrapped.release();
    }
    if (wrapped.isNull()) {
        record.Exception() << exception;
        xthrow(thrown.get());
    }
    record.Exception() << wrapped;
    xthrow(wrapped.get());
}

} // namespace kk_detail

xrchandle<KWPISession>
kkJournaledCall(const char* name, xrchandle<KWPISession> (KWPISessionFactory::*const* method)()) {
    kkJournal record(name);
    try {
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
    } catch (...) {
        if (!record.HasException())
            record.NotCompleted();
        throw;
    }
}
