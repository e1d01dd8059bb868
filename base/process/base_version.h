// Version identity of the base library, as the neutral writer stamps it on
// the first line of the files it writes.
#pragma once

#include "zbase_export.h"

struct kkBaseCommonFuncs {
    // Major and minor version as one number: 5.0 gives 50.
    ZBASE_API static int GetMajorMinorVersion();
};

extern "C" {
// Date code of this build of the base library as decimal text.
ZBASE_API const char* qel_get_datecode(void);
}
