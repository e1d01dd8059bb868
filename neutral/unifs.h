// Registration of the base library's "uni" file locations with the file
// layer.
#pragma once

#include "zpi50_export.h"

extern "C" {
// Runs once per process (later calls do nothing): registers the uni-location
// file methods and then the kernel location. Always returns 0.
int unifs_initialize(void);
}
