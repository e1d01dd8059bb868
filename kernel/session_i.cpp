#include "kernel/session_i.h"

#include "kernel/session_factory.h"

#include "process.h"
#include "xexcept.h"

KWPISession_i::KWPISession_i() {
    disable_msg_put(1);
    InitFileLocations();
}

KWPISession_i::~KWPISession_i() = default;

namespace {
template <class... T> inline void unused(const T&...) {}
} // namespace

// The session's create operations are built together with the model and
// geometry implementations they make; until then every one of them refuses
// with the bad-argument status rather than pretending to create anything.
#define ZPI_SESSION_NOT_BUILT(Class, Result, Name, Params, Args)               \
    Result KWPISession_i::Name Params {                                        \
        unused Args;                                                           \
        ThrowSimple(-2);                                                       \
    }

ZPI_OPS_KWPISession(ZPI_SESSION_NOT_BUILT)

#undef ZPI_SESSION_NOT_BUILT
