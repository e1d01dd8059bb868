#include "xstring.h"

#include "btkstring.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

struct __xstring_c {
    std::atomic<int32_t> locks;
    size_t length;
    char text[1];
};

__xstring_c* xstrcreate_n(const char* text, size_t length) {
    void* mem = std::malloc(offsetof(__xstring_c, text) + length + 1);
    if (!mem)
        throw std::bad_alloc();
    auto* rec = static_cast<__xstring_c*>(mem);
    new (&rec->locks) std::atomic<int32_t>(1);
    rec->length = length;
    if (length)
        std::memcpy(rec->text, text, length);
    rec->text[length] = '\0';
    return rec;
}

__xstring_c* xstrcreate_c(const char* text) {
    return xstrcreate_n(text ? text : "", text ? std::strlen(text) : 0);
}

void xstrlock_c(__xstring_c* rec) {
    if (rec)
        rec->locks.fetch_add(1, std::memory_order_relaxed);
}

void xstrunlock_c(__xstring_c* rec) {
    if (rec && rec->locks.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        rec->locks.~atomic();
        std::free(rec);
    }
}

const char* xstrtext_c(const __xstring_c* rec) { return rec ? rec->text : ""; }
size_t xstrlength_c(const __xstring_c* rec) { return rec ? rec->length : 0; }

namespace {
__xstring_c* markerRecord(const char* text) {
    uintptr_t v = reinterpret_cast<uintptr_t>(text);
    return v == 1 || v == 2 ? reinterpret_cast<__xstring_c*>(v) : nullptr;
}
} // namespace

xstring::xstring(const char* text) {
    if (__xstring_c* marker = markerRecord(text))
        rec_ = marker;
    else if (text && *text)
        rec_ = xstrcreate_c(text);
}

xstring::xstring(const char* text, size_t length) {
    if (__xstring_c* marker = markerRecord(text))
        rec_ = marker;
    else if (text && length)
        rec_ = xstrcreate_n(text, length);
}

xstring::xstring(const std::string& text) : xstring(text.data(), text.size()) {}

xstring::xstring(const char16_t* wide) {
    if (wide && *wide) {
        std::string narrow = btkStrUtf16ToUtf8(wide);
        rec_ = xstrcreate_n(narrow.data(), narrow.size());
    }
}

xstring::xstring(const __xstring_c& rec, bool lock) : rec_(const_cast<__xstring_c*>(&rec)) {
    if (lock)
        xstrlock_c(rec_);
    else
        rec_ = xstrcreate_n(rec.text, rec.length);
}

xstring::xstring(const xstring& other) : rec_(other.rec_) {
    if (holdsRecord())
        xstrlock_c(rec_);
}

xstring::xstring(xstring&& other) noexcept : rec_(other.rec_) { other.rec_ = nullptr; }

xstring::~xstring() {
    if (holdsRecord())
        xstrunlock_c(rec_);
}

xstring& xstring::operator=(const xstring& other) {
    if (other.holdsRecord())
        xstrlock_c(other.rec_);
    __xstring_c* old = rec_;
    bool oldHeld = holdsRecord();
    rec_ = other.rec_;
    if (oldHeld)
        xstrunlock_c(old);
    return *this;
}

xstring& xstring::operator=(xstring&& other) noexcept {
    if (this != &other) {
        if (holdsRecord())
            xstrunlock_c(rec_);
        rec_ = other.rec_;
        other.rec_ = nullptr;
    }
    return *this;
}

xstring xstring::nullMarker() { return xstring(reinterpret_cast<const char*>(1)); }
xstring xstring::uninitMarker() { return xstring(reinterpret_cast<const char*>(2)); }

const char* xstring::c_str() const { return holdsRecord() ? rec_->text : ""; }
size_t xstring::length() const { return holdsRecord() ? rec_->length : 0; }

std::u16string xstring::wstr() const { return btkStrUtf8ToUtf16(c_str()); }

int xstring::GetLength() const {
    if (!holdsRecord())
        return 0;
    size_t units = btkStrUtf8ToUtf16(c_str()).size();
    return units > size_t(INT32_MAX) ? INT32_MAX : static_cast<int>(units);
}

__xstring_c* xstring::getxstring_c() const {
    if (!holdsRecord())
        return nullptr;
    xstrlock_c(rec_);
    return rec_;
}

bool operator==(const xstring& a, const char* b) {
    uintptr_t v = reinterpret_cast<uintptr_t>(b);
    if (v == 1)
        return a.isNullMarker();
    if (v == 2)
        return a.isUninitMarker();
    if (a.isNullMarker() || a.isUninitMarker())
        return false;
    return std::strcmp(a.c_str(), b ? b : "") == 0;
}

bool operator==(const xstring& a, const xstring& b) {
    if (a.rec_ == b.rec_)
        return true;
    if (!a.holdsRecord() && a.rec_ != nullptr)
        return false;
    if (!b.holdsRecord() && b.rec_ != nullptr)
        return false;
    return a.length() == b.length() && std::memcmp(a.c_str(), b.c_str(), a.length()) == 0;
}
