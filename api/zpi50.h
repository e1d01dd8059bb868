// The whole public interface of zpi50 (and the base library's public
// headers that it uses): the object interface, the host toolkit's records,
// the client runtime of a translator (zpi50_client.h) and the call
// journal's record (zpi50_journal.h).
#pragma once

#include "zpi50_export.h"

#include "kcommon.h"
#include "kpi_enums.h"
#include "kpi_interfaces.h"
#include "kpi_session.h"
#include "zpi50_client.h"
#include "zpi50_journal.h"
#include "kvalues.h"
#include "process.h"
#include "xany.h"
#include "xexcept.h"
#include "xhandle.h"
#include "xrtti.h"
#include "xsequence.h"
#include "xstring.h"
#include "zpi50_status.h"
