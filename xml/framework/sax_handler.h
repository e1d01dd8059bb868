// The SAX handler that drives the element readers, and the parse entry
// points of the binding.
//
// Reading a document: make its top reader (parent null), then
//     IntfXmlParseDocument(path, &top);
// which parses a "bnfs:" location or a local file and throws IntfXmlError
// when the document is not well-formed, breaks the vocabulary, nests deeper
// than INTFXML_MAX_DEPTH or cannot be opened (INTFXML_ERR_OPEN, also for a
// local path that names no regular file: a directory, a FIFO, a device).
// It is refused as well, with the line and column, when a text between two
// tags is longer than INTFXML_MAX_TEXT_BYTES or an attribute value longer
// than INTFXML_MAX_ATTRIBUTE_BYTES (naming the element), when its encoding
// is not UTF-8, UTF-16, US-ASCII or ISO-8859-1 (or UTF-16 declared in the
// other byte order than its own), and at the first byte its encoding cannot
// decode, a surrogate without its pair, or a NUL (with the byte's own
// place and value). What the readers pass over is told, not refused
// (IntfXmlTellPassedOver: when the parse ends, one line per kind with its
// first place and how many more): among it every attribute that no reader
// took (IntfXmlAttribNotReadText) and a text beside elements.
// Afterwards take the results from the top reader; deleting the top reader
// frees whatever it still holds (also after a failure).
#pragma once

#include "api/zpi50_export.h"
#include "xml/framework/xml_element.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Starts the parser's platform once per process (thread-safe); later calls
// do nothing. Throws IntfXmlError when it cannot start.
void IntfXmlPlatformInit();

// A text of the parser as UTF-8, for a message (a surrogate without its
// pair shows as U+FFFD).
class IntfXmlLocalText {
public:
    IntfXmlLocalText(const XMLCh* text, size_t length);
    explicit IntfXmlLocalText(const XMLCh* text);
    const char* c_str() const { return text_.c_str(); }
    const std::string& str() const { return text_; }

private:
    std::string text_;
};

// Appends UTF-16 units of the document as UTF-8. A surrogate without its
// pair is refused: IntfXmlError (INTFXML_ERR_PARSE) naming it, at the
// parse's place.
void IntfXmlAppendUtf8(std::string& out, const XMLCh* text, size_t length);

// A growing text buffer that takes the parser's UTF-16 and keeps UTF-8,
// always terminated; ASCII (the rule) is narrowed without a call. The
// parser may hand a text over in pieces that cut a character beyond U+FFFF
// in two: the high surrogate at the end of a piece waits for the low one
// at the start of the next. A surrogate without its pair is refused
// (IntfXmlError), never replaced.
class IntfXmlUtf8Buffer {
public:
    const char* data() const { return data_ ? data_.get() : ""; }
    size_t size() const { return size_; }
    size_t capacity() const { return capacity_; }
    // Nothing kept, not even half a character.
    bool empty() const { return size_ == 0 && high_ == 0; }
    void clear() {
        high_ = 0;
        ClearText();
    }
    // Empties the buffer but for the first half of a character cut in two,
    // which waits for the next piece.
    void ClearText() {
        size_ = 0;
        if (data_)
            data_[0] = '\0';
    }
    // The text kept ends inside a character: refused. (After the last
    // piece of a text, before it is used.)
    void CheckWhole() const {
        if (high_ != 0)
            Unpaired(high_);
    }
    // The buffer never holds more than `bytes` bytes, its terminating zero
    // among them: an append that would pass them appends nothing and
    // answers false. It grows by doubling, and straight to `bytes` when the
    // next doubling would come near them.
    void LimitGrowth(size_t bytes) { growLimit_ = bytes; }
    bool Append(const XMLCh* text, size_t length) {
        bool blank = false;
        return AppendText(text, length, blank);
    }
    // Appends a text; `blank` is cleared when the text holds anything but
    // blanks, tabs, line feeds and carriage returns. False (nothing
    // appended) when it would pass the limit.
    bool AppendText(const XMLCh* text, size_t length, bool& blank) {
        if (length < kShort && length < capacity_ - size_ && high_ == 0) {
            char* dst = data_.get() + size_;
            unsigned other = 0;
            bool ascii;
            if (length >= 8)
                ascii = NarrowShort(text, length, dst, other);
            else
                ascii = NarrowEach(text, length, dst, other);
            if (ascii) {
                size_ += length;
                dst[length] = '\0';
                if (other)
                    blank = false;
                return true;
            }
        }
        return AppendLong(text, length, blank);
    }
    // Appends a text without looking for whitespace (the text of a value
    // child, handed over whole whatever it holds); false as AppendText.
    bool AppendValue(const XMLCh* text, size_t length) {
        if (length < kShort && length < capacity_ - size_ && high_ == 0) {
            char* dst = data_.get() + size_;
            bool ascii;
#if defined(__SSE2__)
            if (length >= 8) {
                __m128i any = _mm_setzero_si128();
                for (size_t i = 0;; i += 8) {
                    if (i + 8 > length)
                        i = length - 8;
                    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
                    any = _mm_or_si128(any, v);
                    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(v, v));
                    if (i + 8 == length)
                        break;
                }
                const __m128i high = _mm_and_si128(any, _mm_set1_epi16(short(0xFF80)));
                ascii = _mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) == 0xFFFF;
            } else
#endif
            {
                XMLCh any = 0;
                for (size_t i = 0; i < length; ++i) {
                    any |= text[i];
                    dst[i] = char(text[i]);
                }
                ascii = any < 0x80;
            }
            if (ascii) {
                size_ += length;
                dst[length] = '\0';
                return true;
            }
        }
        bool blank = false;
        return AppendLong(text, length, blank);
    }
    // Takes a text of at most kBlankRun units into an empty buffer when it
    // is all blanks, tabs, line feeds and carriage returns (what stands
    // between two tags); false (and nothing taken) otherwise.
    static constexpr size_t kBlankRun = 16;
    bool TakeBlankRun(const XMLCh* text, size_t length) {
        if (length > kBlankRun || capacity_ <= kBlankRun || high_ != 0)
            return false;
        char* dst = data_.get();
        for (size_t i = 0; i < length; ++i) {
            const XMLCh c = text[i];
            if (!IsBlank(c))
                return false;
            dst[i] = char(c);
        }
        dst[length] = '\0';
        size_ = length;
        return true;
    }
    // Appends a zero-terminated text when it is ASCII and short; false (and
    // nothing appended) otherwise.
    bool AppendShortAscii(const XMLCh* text) {
        if (capacity_ - size_ <= kShort || high_ != 0)
            return false;
        char* dst = data_.get() + size_;
        for (size_t i = 0; i < kShort; ++i) {
            const XMLCh c = text[i];
            if (c >= 0x80)
                break;
            dst[i] = char(c);
            if (c == 0) {
                size_ += i;
                return true;
            }
        }
        dst[0] = '\0';
        return false;
    }

private:
    static constexpr size_t kShort = 64;
    // Blank, tab, line feed or carriage return.
    static bool IsBlank(XMLCh c) {
        return c <= 0x20 && ((uint64_t(1) << c) & ((uint64_t(1) << ' ') | (1u << '\n') |
                                                    (1u << '\t') | (1u << '\r'))) != 0;
    }
    // Narrows a text of 8 units or more in blocks of 8 (the last block
    // ends with the text and may overlap the one before); false when a unit
    // is not ASCII. `other` is set when a block holds anything but blanks,
    // tabs, line feeds and carriage returns.
    static bool NarrowShort(const XMLCh* text, size_t length, char* dst, unsigned& other) {
#if defined(__SSE2__)
        const __m128i high = _mm_set1_epi16(short(0xFF80));
        const __m128i zero = _mm_setzero_si128();
        unsigned notAscii = 0, notBlank = 0;
        for (size_t i = 0;; i += 8) {
            if (i + 8 > length)
                i = length - 8;
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
            notAscii |= unsigned(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, high), zero))) ^
                        0xFFFFu;
            const __m128i space = _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi16(v, _mm_set1_epi16(' ')),
                             _mm_cmpeq_epi16(v, _mm_set1_epi16('\n'))),
                _mm_or_si128(_mm_cmpeq_epi16(v, _mm_set1_epi16('\t')),
                             _mm_cmpeq_epi16(v, _mm_set1_epi16('\r'))));
            notBlank |= unsigned(_mm_movemask_epi8(space)) ^ 0xFFFFu;
            _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(v, v));
            if (i + 8 == length)
                break;
        }
        if (notBlank)
            other = 1;
        return notAscii == 0;
#else
        return NarrowEach(text, length, dst, other);
#endif
    }
    // The same unit by unit, for any length.
    static bool NarrowEach(const XMLCh* text, size_t length, char* dst, unsigned& other) {
        XMLCh any = 0;
        for (size_t i = 0; i < length; ++i) {
            const XMLCh c = text[i];
            any |= c;
            dst[i] = char(c);
            other |= unsigned(!IsBlank(c));
        }
        return any < 0x80;
    }
    bool AppendLong(const XMLCh* text, size_t length, bool& blank);
    [[noreturn]] static void Unpaired(XMLCh unit);

    std::unique_ptr<char[]> data_;
    size_t size_ = 0;
    size_t capacity_ = 0; // with the terminating zero
    size_t growLimit_ = size_t(-1) / 4;
    XMLCh high_ = 0; // the first half of a character cut in two, waiting
};

// The handler class itself is in xml/framework/sax_handler_class.h (it brings in the
// parser's headers, which only the library itself links against).
class IntfXmlSaxHandler;

// Parses the document at `path`: a "bnfs:" location or a local file.
void IntfXmlParseDocument(const char* path, IntfXmlElement* top);
// Which of the parser's scanners reads a document: the one its first bytes
// call for (the rule: see sax_handler.cpp), or the one named, for tests
// that hold the two against each other (the well-formedness scanner skips
// a document type declaration and wants UTF-8 or another encoding whose
// bytes below 0x80 are ASCII).
enum class IntfXmlScanner { Chosen, General, WellFormed };

// Parses a document held in memory; `id` names it in messages.
void IntfXmlParseBuffer(const char* bytes, size_t length, IntfXmlElement* top,
                        const char* id = "buffer", IntfXmlScanner scanner = IntfXmlScanner::Chosen);
