// The encodings a document is read in: the choice made from its first
// bytes, and the check of every byte before the parser's scanner sees it.
//
// A document is read only in an encoding whose every byte is either
// decoded exactly or refused with its place: UTF-8, UTF-16, US-ASCII and
// ISO-8859-1. The parser's other transcoders put U+FFFD in place of bytes
// they cannot decode, or pass undefined bytes on as characters, without a
// word; documents in those encodings are refused (the writers write UTF-8
// only).
#pragma once

#include "api/zpi50_export.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The family of an encoding name ("UTF-8", "UTF-16", "US-ASCII" or
// "ISO-8859-1"; case, "-", "_" and blanks do not matter), or null for an
// encoding that is not read. The family texts are the same pointers on
// every call.
const char* IntfXmlEncodingFamily(const std::string& name);
// Whether `name` is an encoding of `family`.
bool IntfXmlSameEncodingFamily(const std::string& name, const char* family);
// Why a document declaring encoding `name` is not read when its bytes are
// of `family`.
std::string IntfXmlUnreadEncodingText(const std::string& name, const char* family);
// Throws that text as IntfXmlError (INTFXML_ERR_PARSE).
[[noreturn]] void IntfXmlUnreadEncoding(const std::string& name, const char* family);

// IntfXmlByteCheck sees every byte before the scanner does, in the
// encoding the document is read in, and refuses the first one that
// encoding cannot decode (or a NUL, which no document may hold) with its
// own line, column and value: the scanner decodes ahead of where it stands
// and would tell such a byte at the wrong place, as the replacement
// character. Lines end at a line feed, a carriage return, or both; columns
// count characters.
class IntfXmlByteCheck {
public:
    enum class Kind : uint8_t { Utf8, Ascii, Latin1, Utf16LE, Utf16BE };

    // `bom`: the input begins with a byte order mark, which is no column.
    IntfXmlByteCheck(Kind kind, bool bom) : kind_(kind), col_(bom ? -1 : 0) {}

    // Looks at the next n bytes; returns how many of them are sound: n, or
    // fewer when a byte was refused (Failed() tells; the refused character
    // is the first byte held back).
    size_t Feed(const unsigned char* b, size_t n);
    // The input ended: a character left open is refused.
    void End();

    bool Failed() const { return failed_; }
    // Throws the refusal as IntfXmlError (INTFXML_ERR_PARSE) with its place.
    [[noreturn]] void Throw() const;

private:
    bool Byte(unsigned char c);
    void Char(uint32_t c);
    size_t Feed16(const unsigned char* b, size_t n);
    std::string Bytes() const;
    void Fail(uint64_t line, int64_t col, std::string reason);

    Kind kind_;
    uint64_t line_ = 1;
    int64_t col_;         // characters of the current line so far
    bool prevCR_ = false; // the last character was a carriage return
    // The UTF-8 character open: bytes still needed, the range of the next,
    // its bytes so far and where it began.
    unsigned need_ = 0;
    unsigned char lo_ = 0x80, hi_ = 0xBF;
    unsigned char seq_[4] = {};
    size_t seqLen_ = 0;
    size_t held_ = 0;
    uint64_t seqLine_ = 0;
    int64_t seqCol_ = 0;
    // UTF-16: a first byte waiting for its second, a high surrogate waiting
    // for its low one.
    unsigned char odd_ = 0;
    bool haveOdd_ = false;
    uint32_t high_ = 0;
    bool failed_ = false;
    std::string reason_;
    std::string where_;
};

// How a document is read, from its first bytes: the byte check's kind and
// the encoding family, or why it is not read.
struct IntfXmlEncodingChoice {
    IntfXmlByteCheck::Kind kind = IntfXmlByteCheck::Kind::Utf8;
    const char* family = IntfXmlEncodingFamily("UTF-8");
    bool bom = false;
    std::string refusal; // not empty: the document is not read
    // The bytes end inside the XML declaration: what it declares was not
    // seen whole.
    bool declarationOpen = false;
};

// The choice for a document that begins with the n bytes at h: by its
// byte order mark or first characters, and the encoding its XML
// declaration names (however long the declaration is, within the n
// bytes).
IntfXmlEncodingChoice IntfXmlChooseEncoding(const unsigned char* h, size_t n);
