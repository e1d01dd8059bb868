#include "xany.h"

#include "process.h"

namespace {
// Header path under which the conversion aborts report themselves.
const char* const kAnyHeader = "cip\\cipbase\\inc\\cipxobj_i";
} // namespace

xany::xany(const xany& other) { *this = other; }

xany::xany(xany&& other) noexcept : kind_(other.kind_), u_(other.u_) {
    other.kind_ = kUninit;
    other.u_.obj = nullptr;
}

xany::xany(int value) { *this = value; }
xany::xany(double value) { *this = value; }
xany::xany(const char* text) { *this = text; }
xany::xany(xstring text) { *this = std::move(text); }
xany::xany(xobject* obj) { *this = obj; }

xany::~xany() { releaseValue(); }

xany xany::ofKind(Kind kind) {
    xany a;
    a.kind_ = kind == kNull ? kNull : kUninit;
    return a;
}

void xany::releaseValue() noexcept {
    if (kind_ == kString)
        xstrunlock_c(u_.s);
    else if (kind_ == kObject)
        xrcrelease_c(u_.obj);
    kind_ = kUninit;
    u_.obj = nullptr;
}

xany& xany::operator=(const xany& other) {
    if (this == &other)
        return *this;
    // Take the new value's reference before giving up the old one.
    if (other.kind_ == kString)
        xstrlock_c(other.u_.s);
    else if (other.kind_ == kObject)
        xrcattach(other.u_.obj);
    int32_t kind = other.kind_;
    auto value = other.u_;
    releaseValue();
    kind_ = kind;
    u_ = value;
    return *this;
}

xany& xany::operator=(xany&& other) noexcept {
    if (this != &other) {
        releaseValue();
        kind_ = other.kind_;
        u_ = other.u_;
        other.kind_ = kUninit;
        other.u_.obj = nullptr;
    }
    return *this;
}

xany& xany::operator=(int value) {
    releaseValue();
    if (value == kIntUninit) {
        kind_ = kUninit;
    } else if (value == kIntNull) {
        kind_ = kNull;
    } else {
        kind_ = kInt;
        u_.i = value;
    }
    return *this;
}

void xany::setInt2(int value) {
    releaseValue();
    kind_ = kInt2;
    u_.i = value;
}

xany& xany::operator=(double value) {
    releaseValue();
    if (value == kRealUninit) {
        kind_ = kUninit;
    } else if (value == kRealNull) {
        kind_ = kNull;
    } else {
        kind_ = kReal;
        u_.r = value;
    }
    return *this;
}

xany& xany::operator=(const char* text) {
    uintptr_t v = reinterpret_cast<uintptr_t>(text);
    if (v == 2) {
        releaseValue();
    } else if (v == 1 || text == nullptr) {
        // A null text pointer is stored as null rather than read.
        releaseValue();
        kind_ = kNull;
    } else {
        __xstring_c* rec = xstrcreate_c(text); // made before the old value goes
        releaseValue();
        kind_ = kString;
        u_.s = rec;
    }
    return *this;
}

xany& xany::operator=(xstring text) {
    releaseValue();
    if (text == reinterpret_cast<const char*>(1)) {
        kind_ = kNull;
    } else {
        __xstring_c* rec = text.getxstring_c();
        kind_ = kString;
        u_.s = rec ? rec : xstrcreate_c(text.c_str());
    }
    return *this;
}

xany& xany::operator=(xobject* obj) {
    xrcattach(obj);
    releaseValue();
    kind_ = kObject;
    u_.obj = obj;
    return *this;
}

xany& xany::operator=(xbool value) {
    releaseValue();
    if (value == kBoolUninit) {
        kind_ = kUninit;
    } else if (value == kBoolNull) {
        kind_ = kNull;
    } else {
        kind_ = kBool;
        u_.b = value;
    }
    return *this;
}

xany::operator int() const {
    switch (kind_) {
    case kNull:
        return kIntNull;
    case kUninit:
        return kIntUninit;
    case kInt:
    case kInt2:
        return u_.i;
    default:
        _btkAbort("Can not convert xany to xint.", kAnyHeader, 169);
    }
}

xany::operator double() const {
    switch (kind_) {
    case kNull:
        return kRealNull;
    case kUninit:
        return kRealUninit;
    case kReal:
        return u_.r;
    default:
        _btkAbort("Can not convert xany to xreal.", kAnyHeader, 201);
    }
}

xany::operator xstring() const {
    switch (kind_) {
    case kNull:
        return xstring::nullMarker();
    case kUninit:
        return xstring("uninit");
    case kString:
        return xstring(*u_.s, true);
    default:
        _btkAbort("Can not convert xany to xrstring.", kAnyHeader, 225);
    }
}

xbool xany::asBool() const {
    switch (kind_) {
    case kNull:
        return kBoolNull;
    case kUninit:
        return kBoolUninit;
    case kBool:
        return u_.b;
    default:
        _btkAbort("Can not convert xany to xbool.", kAnyHeader, 0);
    }
}

const xany& xany_null() {
    static const xany value = xany::ofKind(xany::kNull);
    return value;
}

const xany& xany_uninit() {
    static const xany value;
    return value;
}
