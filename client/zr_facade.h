// The host toolkit's C functions (declared in api/zpi50_client.h) and the
// scanner of message formats behind QelMessageDisplay.
#pragma once

#include "api/zpi50_client.h"

#include <cstdint>

// Scans a message format: the types of its arguments (ZR_MSGARG_..., -1 for
// a slot that no argument names) and their number (highest index plus 1).
// False when a '%' is followed by neither 'Q' nor a digit, or the argument's
// letter is not one of s S w W d e f g q.
bool ZrScanMessageFormat(const char* format, int32_t types[ZR_MESSAGE_MAX_ARGS], int* count);
