#include "journal/wrappers/session_wrapper.h"

#include "journal/call/kkjournaledcall.h"
#include "kernel/model/session_factory.h"

namespace {
// Makers of this family's wrappers, registered at load.
struct Registrar {
    Registrar() {
        ZPI_REGISTER_JOURNAL_WRAPPER(KWPISession)
    }
};
const Registrar registrar;
} // namespace

xrchandle<KWPISession> KWPISessionFactory_j::GetSession() {
    // One record "KGetPISession" per call: a plain getter made for the call
    // runs GetSession, and the caller receives the session's wrapper.
    static constexpr xrchandle<KWPISession> (KWPISessionFactory::*const method)() =
        &KWPISessionFactory::GetSession;
    return kkJournaledCall(KWPISessionFactory_j::kCallName, &method);
}
