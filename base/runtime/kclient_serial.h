// The journal numbers of the caller's objects (KCCommon), kept beside the
// objects so that KCCommon holds no data. Inside the base library only.
#pragma once

#include <cstdint>

class KCCommon;

// The number `object` was given when it was made; 0 for null and for an
// object that no constructor of this library numbered (one of a translator
// built against headers whose KCCommon constructors were inline). Safe from
// any thread while the object lives.
uint64_t KCCommonJournalSerial(const KCCommon* object) noexcept;
