// Entry point of the object interface.
#pragma once

#include "kpi_interfaces.h"

// A new handle on the process-wide session, made on first use.
ZPI_API xrchandle<KWPISession> KGetPISession();

// Whether implementation objects take their host record at once (1, the
// default) or keep their setter's arguments (0); returns the previous value.
extern "C" ZPI_API int set_gw_cpid_enable(int enable);
