// Tagged value: property values, attribute values and journal values travel
// in it. Typed assignments map the typed world's sentinels to the null and
// uninitialised kinds; reading a kind that cannot convert ends the process.
#pragma once

#include "xobject.h"
#include "xstring.h"

#include <cstdint>

using xbool = unsigned char;

class ZBASE_API xany {
public:
    enum Kind : int32_t {
        kUninit = 0,
        kNull = 1,
        kInt = 2,
        kBool = 3,
        kReal = 4,
        kString = 5,
        kInt2 = 6,
        kObject = 7,
    };

    // Sentinels of the typed world.
    static constexpr int32_t kIntNull = INT32_MIN;       // 0x80000000
    static constexpr int32_t kIntUninit = INT32_MIN + 1; // 0x80000001
    static constexpr double kRealNull = 1e126;
    static constexpr double kRealUninit = 9e125;
    static constexpr xbool kBoolNull = 0x80;
    static constexpr xbool kBoolUninit = 0x81;

    xany() noexcept = default; // uninitialised
    xany(const xany& other);
    xany(xany&& other) noexcept;
    xany(int value);
    xany(double value);
    xany(const char* text);
    xany(xstring text);
    xany(xobject* obj);
    ~xany();

    // A value of kind `kind` with no payload (used for the static sentinels).
    static xany ofKind(Kind kind);

    xany& operator=(const xany& other);
    xany& operator=(xany&& other) noexcept;
    xany& operator=(int value);
    xany& operator=(double value);
    xany& operator=(const char* text);
    xany& operator=(xstring text);
    xany& operator=(xobject* obj);
    xany& operator=(xbool value);
    // Stores an integer under the second integral kind.
    void setInt2(int value);

    operator int() const;
    operator double() const;
    operator xstring() const;
    xbool asBool() const;
    // The held object (no new reference), or null.
    xobject* asObject() const { return kind_ == kObject ? u_.obj : nullptr; }

    Kind kind() const { return static_cast<Kind>(kind_); }
    bool isUninit() const { return kind_ == kUninit; }
    bool isNull() const { return kind_ == kNull; }
    bool canBeInt() const { return kind_ <= kNull || kind_ == kInt; }
    bool canBeInt2() const { return kind_ <= kNull || kind_ == kInt2; }
    bool canBeReal() const { return kind_ <= kNull || kind_ == kReal; }
    bool canBeString() const { return kind_ <= kNull || kind_ == kString; }

private:
    void releaseValue() noexcept;

    int32_t kind_ = kUninit;
    union {
        int32_t i;
        xbool b;
        double r;
        __xstring_c* s;
        xobject* obj;
    } u_{};
};

// The process-wide null and uninitialised values.
ZBASE_API const xany& xany_null();
ZBASE_API const xany& xany_uninit();
