// The encodings a document is read in, and the check of its bytes.
#include "xml/framework/xml_encoding.h"

#include "xml/framework/xml_element.h"

#include "btk_quoted.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <utility>

// ---- encoding names ------------------------------------------------------------------------

namespace {

constexpr const char* kUtf8 = "UTF-8";
constexpr const char* kUtf16 = "UTF-16";
constexpr const char* kAscii = "US-ASCII";
constexpr const char* kLatin1 = "ISO-8859-1";

// An encoding name in upper case without "-", "_" and blanks.
std::string KeyOf(const std::string& name) {
    std::string key;
    for (char c : name)
        if (c != '-' && c != '_' && c != ' ')
            key.push_back(char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
    return key;
}

} // namespace

const char* IntfXmlEncodingFamily(const std::string& name) {
    const std::string key = KeyOf(name);
    if (key == "UTF8")
        return kUtf8;
    if (key == "UTF16" || key == "UTF16LE" || key == "UTF16BE")
        return kUtf16;
    if (key == "USASCII" || key == "ASCII")
        return kAscii;
    if (key == "ISO88591" || key == "LATIN1")
        return kLatin1;
    return nullptr;
}

bool IntfXmlSameEncodingFamily(const std::string& name, const char* family) {
    const char* of = IntfXmlEncodingFamily(name);
    return of && family && std::strcmp(of, family) == 0;
}

std::string IntfXmlUnreadEncodingText(const std::string& name, const char* family) {
    // The name is the document's: quoted on the line's one line, bounded.
    if (IntfXmlEncodingFamily(name))
        return "the document declares the encoding " + btkQuotedCut(name) +
               " but is written in " + family;
    return "the document's encoding " + btkQuotedCut(name) +
           " is not read: documents are read in UTF-8, UTF-16, US-ASCII or ISO-8859-1";
}

void IntfXmlUnreadEncoding(const std::string& name, const char* family) {
    throw IntfXmlError(INTFXML_ERR_PARSE, IntfXmlUnreadEncodingText(name, family));
}

// ---- bytes of the encoding ----------------------------------------------------------------

namespace {
std::string Hex(uint32_t v, int digits = 2) {
    char text[12];
    std::snprintf(text, sizeof text, "0x%0*X", digits, unsigned(v));
    return text;
}
} // namespace

size_t IntfXmlByteCheck::Feed(const unsigned char* b, size_t n) {
    if (failed_)
        return 0;
    if (kind_ == Kind::Utf16LE || kind_ == Kind::Utf16BE)
        return Feed16(b, n);
    size_t i = 0;
    while (i < n) {
#if defined(__SSE2__)
        // 16 bytes at once while no character is open and they hold no
        // NUL, no carriage return and (but in ISO-8859-1) nothing beyond
        // ASCII: the rule.
        if (need_ == 0 && i + 16 <= n) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
            unsigned stop =
                unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128()))) |
                unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r'))));
            if (kind_ != Kind::Latin1)
                stop |= unsigned(_mm_movemask_epi8(v));
            if (stop == 0) {
                const unsigned nl =
                    unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))));
                if (nl) {
                    line_ += uint64_t(__builtin_popcount(nl)) - ((prevCR_ && (nl & 1)) ? 1 : 0);
                    col_ = 15 - (31 - __builtin_clz(nl));
                } else {
                    col_ += 16;
                }
                prevCR_ = false;
                i += 16;
                continue;
            }
        }
#endif
        if (!Byte(b[i]))
            return i >= held_ ? i - held_ : 0;
        ++i;
    }
    return n;
}

void IntfXmlByteCheck::End() {
    if (failed_)
        return;
    if (need_ != 0)
        Fail(seqLine_, seqCol_, "the document ends inside a UTF-8 character (" + Bytes() + ")");
    else if (high_ != 0)
        Fail(seqLine_, seqCol_, "an unpaired UTF-16 surrogate " + Hex(high_, 4));
    else if (haveOdd_)
        Fail(line_, col_ + 1, "the document ends inside a UTF-16 character");
}

// One byte of an 8-bit encoding or of UTF-8; false when it is refused
// (held_ then tells how many bytes before it, of its character, were
// sound so far).
bool IntfXmlByteCheck::Byte(unsigned char c) {
    if (need_ != 0) {
        seq_[seqLen_++] = c;
        if (c < lo_ || c > hi_) {
            held_ = seqLen_ - 1;
            Fail(seqLine_, seqCol_, Bytes() + " are not valid UTF-8");
            return false;
        }
        lo_ = 0x80;
        hi_ = 0xBF;
        if (--need_ == 0)
            ++col_;
        return true;
    }
    held_ = 0;
    if (c == 0) {
        Fail(line_, col_ + 1, "a NUL byte (0x00), which no XML document may hold");
        return false;
    }
    if (c < 0x80 || kind_ == Kind::Latin1) {
        Char(c);
        return true;
    }
    if (kind_ == Kind::Ascii) {
        Fail(line_, col_ + 1, "byte " + Hex(c) + " is not US-ASCII");
        return false;
    }
    seqLine_ = line_;
    seqCol_ = col_ + 1;
    seq_[0] = c;
    seqLen_ = 1;
    prevCR_ = false;
    lo_ = 0x80;
    hi_ = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        need_ = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
        need_ = 2;
        if (c == 0xE0)
            lo_ = 0xA0;
        else if (c == 0xED)
            hi_ = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        need_ = 3;
        if (c == 0xF0)
            lo_ = 0x90;
        else if (c == 0xF4)
            hi_ = 0x8F;
    } else {
        Fail(seqLine_, seqCol_, "byte " + Hex(c) + " is not valid UTF-8");
        return false;
    }
    return true;
}

// A whole character (below U+0080 or of ISO-8859-1, or a UTF-16 unit
// that is no surrogate) on the current line.
void IntfXmlByteCheck::Char(uint32_t c) {
    if (c == '\n') {
        if (!prevCR_)
            ++line_;
        col_ = 0;
        prevCR_ = false;
    } else if (c == '\r') {
        ++line_;
        col_ = 0;
        prevCR_ = true;
    } else {
        ++col_;
        prevCR_ = false;
    }
}

size_t IntfXmlByteCheck::Feed16(const unsigned char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (!haveOdd_) {
            odd_ = b[i];
            haveOdd_ = true;
            continue;
        }
        haveOdd_ = false;
        const uint32_t u = kind_ == Kind::Utf16LE ? uint32_t(odd_) | (uint32_t(b[i]) << 8)
                                                  : (uint32_t(odd_) << 8) | b[i];
        if (high_ != 0) {
            if (u < 0xDC00 || u > 0xDFFF) {
                Fail(seqLine_, seqCol_, "an unpaired UTF-16 surrogate " + Hex(high_, 4));
                return i >= 3 ? i - 3 : 0;
            }
            high_ = 0;
            ++col_;
            prevCR_ = false;
            continue;
        }
        if (u == 0) {
            Fail(line_, col_ + 1, "a NUL character (0x0000), which no XML document may hold");
            return i >= 1 ? i - 1 : 0;
        }
        if (u >= 0xD800 && u <= 0xDBFF) {
            high_ = u;
            seqLine_ = line_;
            seqCol_ = col_ + 1;
            continue;
        }
        if (u >= 0xDC00 && u <= 0xDFFF) {
            Fail(line_, col_ + 1, "an unpaired UTF-16 surrogate " + Hex(u, 4));
            return i >= 1 ? i - 1 : 0;
        }
        Char(u);
    }
    return n;
}

std::string IntfXmlByteCheck::Bytes() const {
    std::string text = "bytes";
    for (size_t k = 0; k < seqLen_; ++k)
        text.append(" ").append(Hex(seq_[k]));
    return text;
}

void IntfXmlByteCheck::Fail(uint64_t line, int64_t col, std::string reason) {
    failed_ = true;
    reason_ = std::move(reason);
    where_ = "line " + std::to_string(line) + ", column " + std::to_string(col);
}

void IntfXmlByteCheck::Throw() const { throw IntfXmlError(INTFXML_ERR_PARSE, reason_, where_); }

// ---- the choice ----------------------------------------------------------------------------

namespace {

// The encoding name that the XML declaration at the start of `ascii`
// gives ("" when there is none), and its column (from 1). `unended`: the
// text ends inside the declaration.
std::string DeclaredEncoding(std::string_view ascii, size_t& column, bool& unended) {
    if (ascii.substr(0, 5) != "<?xml" || ascii.size() < 6 ||
        !std::strchr(" \t\r\n", ascii[5]))
        return std::string();
    const size_t end = ascii.find("?>");
    unended = end == std::string_view::npos;
    const std::string_view decl = ascii.substr(0, end);
    const size_t at = decl.find("encoding");
    if (at == std::string_view::npos)
        return std::string();
    const size_t open = decl.find_first_of("\"'", at);
    if (open == std::string_view::npos)
        return std::string();
    const size_t close = decl.find(decl[open], open + 1);
    if (close == std::string_view::npos)
        return std::string();
    column = open + 2;
    return std::string(decl.substr(open + 1, close - open - 1));
}

} // namespace

IntfXmlEncodingChoice IntfXmlChooseEncoding(const unsigned char* h, size_t n) {
    IntfXmlEncodingChoice choice;
    auto starts = [&](std::initializer_list<unsigned> bytes) {
        if (n < bytes.size())
            return false;
        size_t k = 0;
        for (unsigned v : bytes)
            if (h[k++] != v)
                return false;
        return true;
    };
    auto refuse = [&](const std::string& what) {
        choice.refusal = "the document's encoding (" + what +
                         ") is not read: documents are read in UTF-8, UTF-16, US-ASCII or "
                         "ISO-8859-1";
        return choice;
    };
    std::string ascii; // the declaration's characters, one byte each
    std::u16string units; // a UTF-16 document's, as they are
    size_t skip = 0;
    if (starts({0xFF, 0xFE, 0, 0}) || starts({0, 0, 0xFE, 0xFF}) || starts({0, 0, 0, '<'}) ||
        starts({'<', 0, 0, 0}))
        return refuse("UCS-4");
    if (starts({0x4C, 0x6F, 0xA7, 0x94}))
        return refuse("EBCDIC");
    const bool le = starts({0xFF, 0xFE}) || starts({'<', 0, '?', 0});
    const bool be = starts({0xFE, 0xFF}) || starts({0, '<', 0, '?'});
    if (le || be) {
        choice.kind = le ? IntfXmlByteCheck::Kind::Utf16LE : IntfXmlByteCheck::Kind::Utf16BE;
        choice.family = kUtf16;
        choice.bom = h[0] >= 0xFE;
        ascii.reserve(n / 2);
        units.reserve(n / 2);
        // A unit beyond ASCII is one byte that no ASCII character matches.
        for (size_t k = choice.bom ? 2 : 0; k + 1 < n; k += 2) {
            const char16_t u = le ? char16_t(h[k] | h[k + 1] << 8) : char16_t(h[k] << 8 | h[k + 1]);
            units.push_back(u);
            ascii.push_back(u < 0x80 ? char(u) : '\x80');
        }
    } else {
        if (starts({0xEF, 0xBB, 0xBF})) {
            choice.bom = true;
            skip = 3;
        }
        ascii.assign(reinterpret_cast<const char*>(h) + skip, n - skip);
    }
    size_t column = 0;
    std::string name = DeclaredEncoding(ascii, column, choice.declarationOpen);
    if (name.empty())
        return choice;
    // A UTF-16 document's name as it declares it (the quote opens at
    // column - 2), for its refusal.
    if (choice.family == kUtf16)
        name = btkStrUtf16ToUtf8(std::u16string_view(units).substr(column - 1, name.size()));
    const char* family = IntfXmlEncodingFamily(name);
    if (!family || (choice.family == kUtf16) != (family == kUtf16) ||
        (choice.bom && family != choice.family)) {
        choice.refusal = "line 1, column " + std::to_string(column) + ": " +
                         IntfXmlUnreadEncodingText(name, choice.family);
        return choice;
    }
    // UTF-16 in the other byte order than the document's first bytes show:
    // the parser would read on in the declared one, past what the byte
    // check checked.
    if (family == kUtf16) {
        const std::string key = KeyOf(name);
        const bool le = choice.kind == IntfXmlByteCheck::Kind::Utf16LE;
        if (key == (le ? "UTF16BE" : "UTF16LE")) {
            choice.refusal = "line 1, column " + std::to_string(column) + ": " +
                             IntfXmlUnreadEncodingText(name, le ? "UTF-16LE" : "UTF-16BE");
            return choice;
        }
    }
    choice.family = family;
    if (family == kAscii)
        choice.kind = IntfXmlByteCheck::Kind::Ascii;
    else if (family == kLatin1)
        choice.kind = IntfXmlByteCheck::Kind::Latin1;
    return choice;
}
