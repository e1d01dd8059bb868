// A caller's stream registered as a named buffer of the file layer for a
// scope: SaveAsNeutral and the client's neutral hand-overs write through it.
#pragma once

#include "zpi50_export.h"

#include "btkstring.h"

class KCStream;

// Registers the caller's `stream` as a named buffer under `name` for the
// life of this object: the file layer (and so the neutral writer) writes
// into the stream when it opens the location that `key` receives. The registry holds
// a reference on the stream meanwhile. Only a registration that succeeded
// is removed again, so a name taken by someone else is left alone; a null
// stream or a null or empty name registers nothing.
class UnibufRegistration {
public:
    // `key` (when given) receives the location by which the entry is reached.
    UnibufRegistration(KCStream* stream, const char16_t* name, btkWString* key);
    UnibufRegistration(const UnibufRegistration&) = delete;
    UnibufRegistration& operator=(const UnibufRegistration&) = delete;
    ~UnibufRegistration();

    bool IsRegistered() const { return registered_; }
    const btkWString& GetKey() const { return key_; }

private:
    btkWString key_;
    bool registered_ = false;
};
