// Journal wrapper of the session. Every session operation is a factory
// whose result reaches the caller as its journal wrapper. The journaled
// session getter ("KGetPISession") is KWPISessionFactory_j::GetSession.
#pragma once

#include "journal/wrappers/wrapper_frame.h"

ZPI_JOURNAL_WRAPPER(KWPISession, KCommon_j)
