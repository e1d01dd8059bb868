// Named buffers: files registered under a wide name so that the file layer
// can reach them by that name (the neutral writer opens a registered entry
// as its output). The registry is process-wide and thread-safe.
#pragma once

#include "btkstring.h"
#include "zbase_export.h"

#include <string>

// Registers `file` under `name` and writes into `location` (when given) the
// name by which the file layer reaches the entry. Fails (false, nothing
// changed) for a null or empty name or file, or a name already registered.
bool RegisterUnibuf(const char* file, const char16_t* name, btkWString* location);
// Removes the entry registered under `key` (a name or the location that
// RegisterUnibuf wrote); false when there is none.
bool UnregisterUnibuf(const char16_t* key);
// The file registered under `key`; false when there is none.
bool FindUnibuf(const char16_t* key, std::string* file);
