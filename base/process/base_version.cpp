#include "base_version.h"

int kkBaseCommonFuncs::GetMajorMinorVersion() { return 50; }

const char* qel_get_datecode(void) { return "2026"; }
