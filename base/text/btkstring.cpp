#include "btkstring.h"

#include <charconv>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// ---- words -----------------------------------------------------------
template <class C> bool is_sep(C c, std::basic_string_view<C> seps) {
    return seps.find(c) != std::basic_string_view<C>::npos;
}

// Calls f(begin, end) for every word in order until f answers false.
template <class C, class F>
void each_word(std::basic_string_view<C> t, std::basic_string_view<C> seps, int flag, F&& f) {
    const size_t n = t.size();
    if (n == 0)
        return;
    if (flag == 0) {
        size_t i = 0;
        while (i < n) {
            while (i < n && is_sep(t[i], seps))
                ++i;
            if (i == n)
                return;
            size_t b = i;
            while (i < n && !is_sep(t[i], seps))
                ++i;
            if (!f(b, i))
                return;
        }
    } else {
        size_t b = 0;
        for (size_t i = 0; i <= n; ++i) {
            if (i == n || is_sep(t[i], seps)) {
                if (!f(b, i))
                    return;
                b = i + 1;
            }
        }
    }
}

template <class C>
std::basic_string_view<C> word_range(std::basic_string_view<C> t, std::basic_string_view<C> seps,
                                     int flag, int64_t first, uint64_t count) {
    if (first < 0 || count == 0)
        return {};
    const uint64_t last = uint64_t(first) + count - 1; // no overflow: first < 2^31
    uint64_t k = 0;
    size_t begin = 0, end = 0;
    bool found = false;
    each_word<C>(t, seps, flag, [&](size_t b, size_t e) {
        if (k == uint64_t(first)) {
            begin = b;
            found = true;
        }
        if (k >= uint64_t(first))
            end = e;
        return k++ < last;
    });
    return found ? t.substr(begin, end - begin) : std::basic_string_view<C>{};
}

template <class C> int count_words(std::basic_string_view<C> t, std::basic_string_view<C> seps, int flag) {
    int64_t k = 0;
    each_word<C>(t, seps, flag, [&](size_t, size_t) {
        ++k;
        return true;
    });
    return k > INT_MAX ? INT_MAX : int(k);
}

template <class C> std::basic_string_view<C> view_of(const C* p) {
    return p ? std::basic_string_view<C>(p) : std::basic_string_view<C>();
}

template <class C>
int substitute(std::basic_string<C>& s, std::basic_string_view<C> from, std::basic_string_view<C> to,
               int start, int count) {
    if (from.empty() || count == 0)
        return 0;
    if (start < 1)
        start = 1;
    std::basic_string<C> out;
    int seen = 0, replaced = 0;
    size_t pos = 0, copied = 0;
    while ((count < 0 || replaced < count) &&
           (pos = s.find(from.data(), pos, from.size())) != std::basic_string<C>::npos) {
        if (++seen >= start) {
            out.append(s, copied, pos - copied);
            out.append(to);
            copied = pos + from.size();
            ++replaced;
        }
        pos += from.size();
    }
    if (replaced) {
        out.append(s, copied, std::basic_string<C>::npos);
        s.swap(out);
    }
    return replaced;
}

// ---- numbers -----------------------------------------------------------
bool parse_int(std::string_view t, int& out) {
    size_t i = 0;
    if (!t.empty() && (t[0] == '+' || t[0] == '-'))
        i = 1;
    if (i == t.size())
        return false;
    for (size_t k = i; k < t.size(); ++k)
        if (t[k] < '0' || t[k] > '9')
            return false;
    // from_chars takes a minus sign (so INT_MIN parses) but not a plus.
    const char* b = t.data() + (t[0] == '+' ? 1 : 0);
    int v = 0;
    auto r = std::from_chars(b, t.data() + t.size(), v);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size())
        return false;
    out = v;
    return true;
}

bool parse_double(std::string_view t, double& out) {
    if (!t.empty() && t[0] == '+') {
        t.remove_prefix(1);
        if (!t.empty() && (t[0] == '-' || t[0] == '+'))
            return false;
    }
    if (t.empty())
        return false;
    double v = 0;
    auto r = std::from_chars(t.data(), t.data() + t.size(), v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size())
        return false;
    out = v;
    return true;
}

// Wide digits to a narrow text; false when a unit is not ASCII.
bool narrow_ascii(std::u16string_view w, std::string& out) {
    out.clear();
    out.reserve(w.size());
    for (char16_t c : w) {
        if (c == 0 || c > 0x7F)
            return false;
        out.push_back(char(c));
    }
    return true;
}

std::string int_text(int value) {
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

// ---- UTF ---------------------------------------------------------------
constexpr char32_t kReplacement = 0xFFFD;

// One code point from UTF-8 into `cp`; false for an ill-formed sequence,
// which is consumed up to (not including) the first byte that breaks it.
bool decode_utf8_strict(const unsigned char* s, size_t n, size_t& i, char32_t& cp) {
    unsigned c = s[i++];
    if (c < 0x80) {
        cp = c;
        return true;
    }
    int len;
    unsigned lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
        if (c == 0xE0)
            lo = 0xA0; // overlong
        else if (c == 0xED)
            hi = 0x9F; // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
        if (c == 0xF0)
            lo = 0x90; // overlong
        else if (c == 0xF4)
            hi = 0x8F; // above U+10FFFF
    } else {
        return false;
    }
    for (int k = 1; k < len; ++k) {
        if (i >= n || s[i] < lo || s[i] > hi)
            return false;
        cp = (cp << 6) | (s[i++] & 0x3F);
        lo = 0x80;
        hi = 0xBF;
    }
    return true;
}

// One code point from UTF-8; an ill-formed sequence gives U+FFFD and is
// consumed up to (not including) the first byte that breaks it.
char32_t decode_utf8(const unsigned char* s, size_t n, size_t& i) {
    char32_t cp;
    return decode_utf8_strict(s, n, i, cp) ? cp : kReplacement;
}

// One code point from UTF-16 into `cp`; false for a lone surrogate, which
// is consumed alone.
bool decode_utf16_strict(const char16_t* s, size_t n, size_t& i, char32_t& cp) {
    char16_t u = s[i++];
    if (u < 0xD800 || u > 0xDFFF) {
        cp = u;
        return true;
    }
    if (u <= 0xDBFF && i < n && s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
        cp = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(s[i++]) - 0xDC00);
        return true;
    }
    return false;
}

// One code point from UTF-16; a lone surrogate gives U+FFFD.
char32_t decode_utf16(const char16_t* s, size_t n, size_t& i) {
    char32_t cp;
    return decode_utf16_strict(s, n, i, cp) ? cp : kReplacement;
}

int encode_utf8(char32_t cp, char* out) {
    if (cp < 0x80) {
        out[0] = char(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = char(0xC0 | (cp >> 6));
        out[1] = char(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = char(0xE0 | (cp >> 12));
        out[1] = char(0x80 | ((cp >> 6) & 0x3F));
        out[2] = char(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = char(0xF0 | (cp >> 18));
    out[1] = char(0x80 | ((cp >> 12) & 0x3F));
    out[2] = char(0x80 | ((cp >> 6) & 0x3F));
    out[3] = char(0x80 | (cp & 0x3F));
    return 4;
}

int encode_utf16(char32_t cp, char16_t* out) {
    if (cp < 0x10000) {
        out[0] = char16_t(cp);
        return 1;
    }
    cp -= 0x10000;
    out[0] = char16_t(0xD800 + (cp >> 10));
    out[1] = char16_t(0xDC00 + (cp & 0x3FF));
    return 2;
}

// Converts whole characters while they fit in `limit` units; `put` receives
// the units of each character.
template <class Put> void utf8_to_16(std::string_view src, size_t limit, Put&& put) {
    auto* s = reinterpret_cast<const unsigned char*>(src.data());
    size_t i = 0, written = 0;
    while (i < src.size()) {
        char16_t units[2];
        int k = encode_utf16(decode_utf8(s, src.size(), i), units);
        if (written + size_t(k) > limit)
            return;
        put(units, k);
        written += size_t(k);
    }
}

template <class Put> void utf16_to_8(std::u16string_view src, size_t limit, Put&& put) {
    size_t i = 0, written = 0;
    while (i < src.size()) {
        char bytes[4];
        int k = encode_utf8(decode_utf16(src.data(), src.size(), i), bytes);
        if (written + size_t(k) > limit)
            return;
        put(bytes, k);
        written += size_t(k);
    }
}

} // namespace

// ---- btkZString ----------------------------------------------------------
btkZString& btkZString::operator=(const char* text) {
    s_ = text ? text : "";
    return *this;
}
btkZString& btkZString::operator=(const std::string& text) {
    s_ = text;
    return *this;
}
btkZString& btkZString::operator+=(const char* text) {
    if (text)
        s_ += text;
    return *this;
}
btkZString& btkZString::operator+=(const btkZString& other) {
    s_ += other.s_;
    return *this;
}
btkZString& btkZString::operator+=(char c) {
    s_ += c;
    return *this;
}

btkZString btkZString::plusSS(const btkZString& a, const btkZString& b) { return btkZString(a.s_ + b.s_); }
btkZString btkZString::plusSC(const btkZString& a, const char* b) {
    btkZString r(a);
    r += b;
    return r;
}
btkZString btkZString::plusCS(const char* a, const btkZString& b) {
    btkZString r(a);
    r += b;
    return r;
}

int btkZString::GetLength() const { return s_.size() > size_t(INT_MAX) ? INT_MAX : int(s_.size()); }

bool btkZString::StartsWith(const char* prefix) const {
    return std::string_view(s_).starts_with(view_of(prefix));
}

bool btkZString::ToInt(int& out) const { return parse_int(s_, out); }
bool btkZString::ToDouble(double& out) const { return parse_double(s_, out); }

void btkZString::getWord(btkZString& result, int n, const char* separators, int flag) const {
    result.s_ = word_range<char>(s_, view_of(separators), flag, n, 1);
}

void btkZString::getWords(btkZString& result, int n, uint32_t count, const char* separators,
                          int flag) const {
    result.s_ = word_range<char>(s_, view_of(separators), flag, n, count);
}

int btkZString::GetNWords(const char* separators, int flag) const {
    return count_words<char>(s_, view_of(separators), flag);
}

int btkZString::Substitute(const char* from, const char* to, int start, int count) {
    return substitute<char>(s_, view_of(from), view_of(to), start, count);
}

void btkZString::printInt(int value) { s_ = int_text(value); }

// ---- btkString -----------------------------------------------------------
int btkString::AsInt() const {
    int v = -1;
    return ToInt(v) ? v : -1;
}

btkString btkString::GetWord(int n, const char* separators, int flag) const {
    btkString r;
    getWord(r, n, separators, flag);
    return r;
}

btkString btkString::GetWords(int n, const char* separators, int flag) const {
    btkString r;
    getWords(r, n, 0xFFFFFFFFu, separators, flag);
    return r;
}

std::vector<btkString> btkString::Split(const char* separators, int flag) const {
    std::vector<btkString> words;
    std::string_view t(s_);
    each_word<char>(t, view_of(separators), flag, [&](size_t b, size_t e) {
        words.emplace_back(t.substr(b, e - b));
        return true;
    });
    return words;
}

btkString btkString::FromInt(int value) {
    btkString r;
    r.printInt(value);
    return r;
}

inline namespace zbase_internal {

btkString operator+(const btkString& a, const btkString& b) { return btkZString::plusSS(a, b); }
btkString operator+(const btkString& a, const char* b) { return btkZString::plusSC(a, b); }
btkString operator+(const char* a, const btkString& b) { return btkZString::plusCS(a, b); }

btkString btk_sprintf(const char* fmt, ...) {
    if (!fmt)
        return btkString();
    char small[256];
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(small, sizeof small, fmt, args);
    va_end(args);
    btkString result;
    if (n >= 0 && size_t(n) < sizeof small) {
        result = std::string(small, size_t(n));
    } else if (n >= 0) {
        std::string big(size_t(n) + 1, '\0');
        std::vsnprintf(big.data(), big.size(), fmt, again);
        big.resize(size_t(n));
        result = big;
    }
    va_end(again);
    return result;
}

btkString IntToString(int value) { return btkString(int_text(value)); }

btkString DoubleToString(double value) {
    // Same text as "%.18lg" in the C locale, without looking at the locale.
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 18);
    return btkString(std::string(buf, r.ptr));
}

char* Strnew__(const char* text) {
    if (!text)
        return nullptr;
    size_t n = std::strlen(text);
    char* copy = new char[n + 1];
    std::memcpy(copy, text, n + 1);
    return copy;
}

} // namespace zbase_internal

// ---- btkWZString ---------------------------------------------------------
btkWZString& btkWZString::operator=(const char16_t* text) {
    s_ = text ? text : u"";
    return *this;
}
btkWZString& btkWZString::operator=(const std::u16string& text) {
    s_ = text;
    return *this;
}
btkWZString& btkWZString::operator+=(const char16_t* text) {
    if (text)
        s_ += text;
    return *this;
}
btkWZString& btkWZString::operator+=(const btkWZString& other) {
    s_ += other.s_;
    return *this;
}
btkWZString& btkWZString::operator+=(char16_t c) {
    s_ += c;
    return *this;
}

btkWZString btkWZString::plusSS(const btkWZString& a, const btkWZString& b) {
    return btkWZString(a.s_ + b.s_);
}
btkWZString btkWZString::plusSC(const btkWZString& a, const char16_t* b) {
    btkWZString r(a);
    r += b;
    return r;
}
btkWZString btkWZString::plusCS(const char16_t* a, const btkWZString& b) {
    btkWZString r(a);
    r += b;
    return r;
}

int btkWZString::GetLength() const { return s_.size() > size_t(INT_MAX) ? INT_MAX : int(s_.size()); }

std::string btkWZString::ToUtf8() const { return btkStrUtf16ToUtf8(std::u16string_view(s_)); }

bool btkWZString::ToInt(int& out) const {
    std::string narrow;
    return narrow_ascii(s_, narrow) && parse_int(narrow, out);
}

void btkWZString::getWord(btkWZString& result, int n, const char16_t* separators, int flag) const {
    result.s_ = word_range<char16_t>(s_, view_of(separators), flag, n, 1);
}

void btkWZString::getWords(btkWZString& result, int n, uint32_t count, const char16_t* separators,
                           int flag) const {
    result.s_ = word_range<char16_t>(s_, view_of(separators), flag, n, count);
}

int btkWZString::GetNWords(const char16_t* separators, int flag) const {
    return count_words<char16_t>(s_, view_of(separators), flag);
}

int btkWZString::Substitute(const char16_t* from, const char16_t* to, int start, int count) {
    return substitute<char16_t>(s_, view_of(from), view_of(to), start, count);
}

void btkWZString::printInt(int value) {
    std::string t = int_text(value);
    s_.assign(t.begin(), t.end());
}

// ---- btkWString ----------------------------------------------------------
btkWString btkWString::FromUtf8(const char* utf8) { return btkWString(btkStrUtf8ToUtf16(utf8)); }

int btkWString::AsInt() const {
    int v = -1;
    return ToInt(v) ? v : -1;
}

btkWString btkWString::GetWord(int n, const char16_t* separators, int flag) const {
    btkWString r;
    getWord(r, n, separators, flag);
    return r;
}

btkWString btkWString::GetWords(int n, const char16_t* separators, int flag) const {
    btkWString r;
    getWords(r, n, 0xFFFFFFFFu, separators, flag);
    return r;
}

btkWString btkWString::FromInt(int value) {
    btkWString r;
    r.printInt(value);
    return r;
}

inline namespace zbase_internal {

btkWString operator+(const btkWString& a, const btkWString& b) { return btkWZString::plusSS(a, b); }
btkWString operator+(const btkWString& a, const char16_t* b) { return btkWZString::plusSC(a, b); }
btkWString operator+(const char16_t* a, const btkWString& b) { return btkWZString::plusCS(a, b); }

// ---- UTF-8 <-> UTF-16 ----------------------------------------------------
int strtows(const char* utf8, char16_t* dst, int capacity) {
    if (!dst || capacity < 1)
        return 0;
    size_t written = 0;
    utf8_to_16(view_of(utf8), size_t(capacity) - 1, [&](const char16_t* u, int k) {
        std::memcpy(dst + written, u, size_t(k) * sizeof(char16_t));
        written += size_t(k);
    });
    dst[written] = 0;
    return int(written);
}

int wstostr(const char16_t* utf16, char* dst, int capacity) {
    if (!dst || capacity < 1)
        return 0;
    size_t written = 0;
    utf16_to_8(view_of(utf16), size_t(capacity) - 1, [&](const char* b, int k) {
        std::memcpy(dst + written, b, size_t(k));
        written += size_t(k);
    });
    dst[written] = 0;
    return int(written);
}

std::u16string btkStrUtf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    utf8_to_16(utf8, SIZE_MAX, [&](const char16_t* u, int k) { out.append(u, size_t(k)); });
    return out;
}

std::u16string btkStrUtf8ToUtf16(const char* utf8) { return btkStrUtf8ToUtf16(view_of(utf8)); }

std::string btkStrUtf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    utf16_to_8(utf16, SIZE_MAX, [&](const char* b, int k) { out.append(b, size_t(k)); });
    return out;
}

std::string btkStrUtf16ToUtf8(const char16_t* utf16) { return btkStrUtf16ToUtf8(view_of(utf16)); }

int btkStrUtf16ToUtf8(const char16_t* utf16, char* dst, int capacity) {
    return wstostr(utf16, dst, capacity);
}

bool btkStrUtf8ToUtf16Strict(std::string_view utf8, std::u16string& out) {
    out.clear();
    out.reserve(utf8.size());
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp;
        if (!decode_utf8_strict(s, utf8.size(), i, cp))
            return false;
        char16_t units[2];
        out.append(units, size_t(encode_utf16(cp, units)));
    }
    return true;
}

bool btkStrUtf16ToUtf8Strict(std::u16string_view utf16, std::string& out) {
    out.clear();
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size();) {
        char32_t cp;
        if (!decode_utf16_strict(utf16.data(), utf16.size(), i, cp))
            return false;
        char bytes[4];
        out.append(bytes, size_t(encode_utf8(cp, bytes)));
    }
    return true;
}

int btkUtf8CharLength(std::string_view bytes) {
    if (bytes.empty())
        return 0;
    size_t i = 0;
    char32_t cp;
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    return decode_utf8_strict(s, bytes.size(), i, cp) ? int(i) : 0;
}

int wslen(const char16_t* text) {
    if (!text)
        return 0;
    size_t n = std::char_traits<char16_t>::length(text);
    return n > size_t(INT_MAX) ? INT_MAX : int(n);
}

char16_t* wscpy(char16_t* dst, const char16_t* src) {
    if (!dst)
        return nullptr;
    if (!src) {
        dst[0] = 0;
        return dst;
    }
    size_t n = std::char_traits<char16_t>::length(src);
    std::memmove(dst, src, (n + 1) * sizeof(char16_t));
    return dst;
}

char16_t* wsncpy(char16_t* dst, const char16_t* src, int capacity) {
    if (!dst || capacity < 1)
        return dst;
    size_t k = 0;
    const size_t limit = size_t(capacity) - 1;
    if (src) {
        while (k < limit && src[k])
            ++k;
        // Do not keep the first half of a pair whose second half is cut off.
        if (k > 0 && src[k] >= 0xDC00 && src[k] <= 0xDFFF && src[k - 1] >= 0xD800 &&
            src[k - 1] <= 0xDBFF)
            --k;
        std::memmove(dst, src, k * sizeof(char16_t));
    }
    dst[k] = 0;
    return dst;
}

} // namespace zbase_internal
