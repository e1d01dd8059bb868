#include "base_version.h"

inline namespace zbase_internal {

int kkBaseCommonFuncs::GetMajorMinorVersion() { return 50; }

const char* qel_get_datecode(void) { return "2026"; }

} // namespace zbase_internal
