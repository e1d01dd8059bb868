#include "neutral/unibuf_registration.h"

#include "ugc_output.h"

// ---- UnibufRegistration ---------------------------------------------------------
UnibufRegistration::UnibufRegistration(KCStream* stream, const char16_t* name, btkWString* key)
    : key_(name) {
    registered_ = ugc_register_stream(name, stream);
    if (registered_ && key)
        *key = key_;
}

UnibufRegistration::~UnibufRegistration() {
    if (registered_)
        ugc_unregister_stream(key_);
}
