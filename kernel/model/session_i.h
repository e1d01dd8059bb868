// Implementation of the session interface. One exists per process, made by
// the session factory.
#pragma once

#include "kernel/kpi_impl.h"

#define ZPI_SESSION_OPERATION(Class, Result, Name, Params, Args, Doc) Result Name Params override;

inline namespace zpi_internal {
class KWPISession_i : public KCommon_i, public virtual KWPISession {
    ZPI_IMPLEMENTS(KWPISession)
public:
    // Silences the base library's message output and registers the file
    // locations (once per process).
    KWPISession_i();
    ~KWPISession_i() override;

    ZPI_OPS_KWPISession(ZPI_SESSION_OPERATION)
};
} // namespace zpi_internal

#undef ZPI_SESSION_OPERATION
