// base/text: narrow and wide strings (btkString, btkWString, xstring),
// locale-free number texts, word splitting and UTF-8/UTF-16 conversion.
// It uses nothing else of base/.
//
// Narrow and wide strings of the base library, number/text conversions that
// never depend on the locale, word splitting of separator-delimited texts,
// and UTF-8 <-> UTF-16 conversion.
//
// Words: a separator argument is a SET of characters ("\n", " \t\n"). With
// flag 0, empty words are not counted: runs of separators count as one and
// leading/trailing separators are ignored, so word 0 of "\na\n\nb" is "a" and
// word 1 is "b". With a nonzero flag every separator character ends a word,
// so empty words count ("a\n\nb" has the three words "a", "", "b"). A word
// index past the end gives an empty string.
//
// Numbers: ToInt accepts an optional sign and decimal digits, nothing else
// (no blanks), and fails on overflow. ToDouble accepts what DoubleToString
// writes (also "inf" and "nan"). Both leave the output untouched on failure.
#pragma once

#include "zbase_export.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// ---- narrow ------------------------------------------------------------
inline namespace zbase_internal {
class btkZString {
public:
    btkZString() = default;
    btkZString(const char* text) : s_(text ? text : "") {}
    btkZString(std::string text) : s_(std::move(text)) {}
    btkZString(std::string_view text) : s_(text) {}

    ZBASE_API btkZString& operator=(const char* text);
    ZBASE_API btkZString& operator=(const std::string& text);
    ZBASE_API btkZString& operator+=(const char* text);
    ZBASE_API btkZString& operator+=(const btkZString& other);
    ZBASE_API btkZString& operator+=(char c);

    static btkZString plusSS(const btkZString& a, const btkZString& b);
    static btkZString plusSC(const btkZString& a, const char* b);
    static btkZString plusCS(const char* a, const btkZString& b);

    ZBASE_API int GetLength() const;
    const char* c_str() const { return s_.c_str(); }
    const std::string& str() const { return s_; }
    bool StartsWith(const char* prefix) const;

    ZBASE_API bool ToInt(int& out) const;
    ZBASE_API bool ToDouble(double& out) const;

    // Word n into `result` (empty when there is no word n).
    void getWord(btkZString& result, int n, const char* separators, int flag) const;
    // Words n .. n+count-1 (count 0xFFFFFFFF: to the last) into `result`,
    // as they stand in the text, separators between them included.
    void getWords(btkZString& result, int n, uint32_t count, const char* separators,
                  int flag) const;
    ZBASE_API int GetNWords(const char* separators, int flag) const;

    // Replaces occurrences of `from` by `to`, scanning left to right without
    // rescanning replaced text: occurrences are numbered from 1, replacing
    // starts at occurrence `start` and stops after `count` replacements
    // (count < 0: all). Returns the number replaced.
    int Substitute(const char* from, const char* to, int start = 1, int count = -1);

    void printInt(int value);
    void Clear() { s_.clear(); }

    friend bool operator==(const btkZString& a, const btkZString& b) { return a.s_ == b.s_; }
    friend bool operator==(const btkZString& a, const char* b) {
        return a.s_ == std::string_view(b ? b : "");
    }

protected:
    std::string s_;
};
} // namespace zbase_internal

class btkString : public btkZString {
public:
    btkString() = default;
    btkString(const char* text) : btkZString(text) {}
    btkString(const btkZString& other) : btkZString(other) {}
    btkString(std::string text) : btkZString(std::move(text)) {}
    btkString(std::string_view text) : btkZString(text) {}

    btkString& operator=(const char* text) {
        btkZString::operator=(text);
        return *this;
    }
    btkString& operator=(const btkZString& other) {
        btkZString::operator=(other);
        return *this;
    }
    btkString& operator=(const std::string& text) {
        btkZString::operator=(text);
        return *this;
    }
    btkString& operator+=(const char* text) {
        btkZString::operator+=(text);
        return *this;
    }
    btkString& operator+=(const btkZString& other) {
        btkZString::operator+=(other);
        return *this;
    }
    btkString& operator+=(char c) {
        btkZString::operator+=(c);
        return *this;
    }

    operator const char*() const { return c_str(); }
    bool IsEmpty() const { return s_.empty() || s_[0] == '\0'; }

    // Value of the text, or -1 when it is not a number.
    ZBASE_API ZBASE_INTERNAL int AsInt() const;

    ZBASE_API ZBASE_INTERNAL btkString GetWord(int n, const char* separators, int flag) const;
    // Words n to the last, as they stand in the text.
    ZBASE_API ZBASE_INTERNAL btkString GetWords(int n, const char* separators, int flag) const;
    int GetNWords(const char* separators, int flag) const {
        return btkZString::GetNWords(separators, flag);
    }
    // Every word at once (linear in the text, unlike calling GetWord for
    // each index).
    ZBASE_API ZBASE_INTERNAL std::vector<btkString> Split(const char* separators, int flag) const;

    ZBASE_API ZBASE_INTERNAL static btkString FromInt(int value);
};

inline namespace zbase_internal {
ZBASE_API btkString operator+(const btkString& a, const btkString& b);
ZBASE_API btkString operator+(const btkString& a, const char* b);
btkString operator+(const char* a, const btkString& b);

// printf into a new string of whatever length is needed.
btkString btk_sprintf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// "%d" text of the value.
ZBASE_API btkString IntToString(int value);
// "%.18lg" text of the value (18 significant digits, trailing zeros
// dropped), whatever the locale.
ZBASE_API btkString DoubleToString(double value);

// Heap copy of a C text (free with delete[]); null gives null.
char* Strnew__(const char* text);
} // namespace zbase_internal

// ---- wide (UTF-16) -------------------------------------------------------
class btkWZString {
public:
    btkWZString() = default;
    btkWZString(const char16_t* text) : s_(text ? text : u"") {}
    btkWZString(std::u16string text) : s_(std::move(text)) {}
    btkWZString(std::u16string_view text) : s_(text) {}

    btkWZString& operator=(const char16_t* text);
    btkWZString& operator=(const std::u16string& text);
    btkWZString& operator+=(const char16_t* text);
    btkWZString& operator+=(const btkWZString& other);
    btkWZString& operator+=(char16_t c);

    static btkWZString plusSS(const btkWZString& a, const btkWZString& b);
    static btkWZString plusSC(const btkWZString& a, const char16_t* b);
    static btkWZString plusCS(const char16_t* a, const btkWZString& b);

    int GetLength() const;
    const char16_t* c_str() const { return s_.c_str(); }
    const std::u16string& str() const { return s_; }
    std::string ToUtf8() const;

    bool ToInt(int& out) const;
    void getWord(btkWZString& result, int n, const char16_t* separators, int flag) const;
    void getWords(btkWZString& result, int n, uint32_t count, const char16_t* separators,
                  int flag) const;
    int GetNWords(const char16_t* separators, int flag) const;
    int Substitute(const char16_t* from, const char16_t* to, int start = 1, int count = -1);
    void printInt(int value);
    void Clear() { s_.clear(); }

    friend bool operator==(const btkWZString& a, const btkWZString& b) { return a.s_ == b.s_; }
    friend bool operator==(const btkWZString& a, const char16_t* b) {
        return a.s_ == std::u16string_view(b ? b : u"");
    }

protected:
    std::u16string s_;
};

class btkWString : public btkWZString {
public:
    btkWString() = default;
    btkWString(const char16_t* text) : btkWZString(text) {}
    btkWString(const btkWZString& other) : btkWZString(other) {}
    btkWString(std::u16string text) : btkWZString(std::move(text)) {}
    btkWString(std::u16string_view text) : btkWZString(text) {}
    // From UTF-8 text.
    static btkWString FromUtf8(const char* utf8);

    btkWString& operator=(const char16_t* text) {
        btkWZString::operator=(text);
        return *this;
    }
    btkWString& operator=(const btkWZString& other) {
        btkWZString::operator=(other);
        return *this;
    }
    btkWString& operator+=(const char16_t* text) {
        btkWZString::operator+=(text);
        return *this;
    }
    btkWString& operator+=(const btkWZString& other) {
        btkWZString::operator+=(other);
        return *this;
    }
    btkWString& operator+=(char16_t c) {
        btkWZString::operator+=(c);
        return *this;
    }

    operator const char16_t*() const { return c_str(); }
    bool IsEmpty() const { return s_.empty() || s_[0] == u'\0'; }
    int AsInt() const;

    btkWString GetWord(int n, const char16_t* separators, int flag) const;
    btkWString GetWords(int n, const char16_t* separators, int flag) const;
    int GetNWords(const char16_t* separators, int flag) const {
        return btkWZString::GetNWords(separators, flag);
    }

    static btkWString FromInt(int value);
};

inline namespace zbase_internal {
btkWString operator+(const btkWString& a, const btkWString& b);
btkWString operator+(const btkWString& a, const char16_t* b);
btkWString operator+(const char16_t* a, const btkWString& b);

// ---- UTF-8 <-> UTF-16 ----------------------------------------------------
// Both write at most `capacity` units INCLUDING the terminator, stop before a
// character that does not fit whole (a surrogate pair or a UTF-8 sequence is
// never split), always terminate when capacity >= 1, and replace invalid
// input by U+FFFD (the strict conversions below refuse it instead). They return the units written without the terminator
// (0 and nothing written for a null destination or capacity < 1; a null
// source is an empty text).
ZBASE_API int strtows(const char* utf8, char16_t* dst, int capacity);
ZBASE_API int wstostr(const char16_t* utf16, char* dst, int capacity);

// Whole-text conversions (null gives an empty text).
ZBASE_API std::u16string btkStrUtf8ToUtf16(const char* utf8);
ZBASE_API std::u16string btkStrUtf8ToUtf16(std::string_view utf8);
ZBASE_API std::string btkStrUtf16ToUtf8(const char16_t* utf16);
ZBASE_API std::string btkStrUtf16ToUtf8(std::u16string_view utf16);
// Into a buffer, as wstostr.
int btkStrUtf16ToUtf8(const char16_t* utf16, char* dst, int capacity);
// Strict whole-text conversions, for texts that must come back exactly
// (file names): invalid input is refused, never replaced. False for a lone
// surrogate (UTF-16) or for bytes that are not well-formed UTF-8 (a stray or
// missing continuation byte, an overlong form, a surrogate, a code point
// above U+10FFFF, a cut sequence); `out` is then unspecified.
ZBASE_API bool btkStrUtf8ToUtf16Strict(std::string_view utf8, std::u16string& out);
bool btkStrUtf16ToUtf8Strict(std::u16string_view utf16, std::string& out);
// Bytes (1 to 4) of the well-formed UTF-8 character at the start of
// `bytes`; 0 when they do not begin with one (a stray or missing
// continuation byte, an overlong form, a surrogate, a code point above
// U+10FFFF, an empty text).
ZBASE_API int btkUtf8CharLength(std::string_view bytes);

// C-style helpers on char16_t texts. wslen of null is 0; wscpy copies the
// whole text (null source: empty); wsncpy writes at most `capacity` units
// including the terminator, never splits a surrogate pair and always
// terminates when capacity >= 1.
ZBASE_API int wslen(const char16_t* text);
ZBASE_API char16_t* wscpy(char16_t* dst, const char16_t* src);
ZBASE_API char16_t* wsncpy(char16_t* dst, const char16_t* src, int capacity);
} // namespace zbase_internal
