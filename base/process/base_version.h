// Version identity of the base library, as the neutral writer stamps it on
// the first line of the files it writes.
#pragma once

#include "zbase_export.h"

inline namespace zbase_internal {
struct kkBaseCommonFuncs {
    // Major and minor version as one number: 5.0 gives 50.
    ZBASE_API static int GetMajorMinorVersion();
};

// Date code of this build of the base library as decimal text.
ZBASE_API const char* qel_get_datecode(void);
} // namespace zbase_internal
