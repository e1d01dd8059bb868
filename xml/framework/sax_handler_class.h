// The SAX handler that drives the element readers during one parse.
//
// Events go to the current reader, which answers with the reader for the
// following events:
//   startElement: the current reader's startElement (the text buffer of the
//     reader is emptied first); deeper than INTFXML_MAX_DEPTH throws.
//   characters:   appended to the current reader's text buffer. Chunks are
//     gathered and handed over at once: before the current reader's end tag,
//     or before a start tag when they hold more than whitespace (whitespace
//     before a start tag would be emptied from the buffer at once anyway).
//     A text of more than IntfXmlMaxTextBytes() between two tags throws,
//     naming its element, before more of it is kept.
//   endElement:   the current reader's endElement. When the new current
//     reader is another one and answers IsListHandler, or answers
//     IsDocumentPart while the ending one answers IsListHandler, the ending
//     reader is deleted at once by its owner.
//   A child the reader took as a value (TakeValue) gets no reader: its text
//   is gathered here and handed to the reader's EndValue at its end tag. A
//   start tag inside it goes to the reader with the child's name pushed, so
//   that the reader refuses it as it refuses any child of a text child.
//   error, fatalError: end the parse with the parser's report, which the
//     parse entry points turn into IntfXmlError (INTFXML_ERR_PARSE) with
//     its line and column.
// Once the top reader's own end tag returns null, later events are ignored.
#pragma once

#include "xml/framework/sax_handler.h"

#include <xercesc/sax/HandlerBase.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// A growing text buffer that takes the parser's UTF-16 and keeps UTF-8,
// always terminated; ASCII (the rule) is narrowed without a call.
class IntfXmlUtf8Buffer {
public:
    const char* data() const { return data_ ? data_.get() : ""; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear() {
        size_ = 0;
        if (data_)
            data_[0] = '\0';
    }
    // The buffer grows by doubling, but not beyond `bytes` unless a text
    // needs more.
    void LimitGrowth(size_t bytes) { growLimit_ = bytes; }
    void Append(const XMLCh* text, size_t length) {
        bool blank = false;
        AppendText(text, length, blank);
    }
    // Appends a text; `blank` is cleared when the text holds anything but
    // blanks, tabs, line feeds and carriage returns.
    void AppendText(const XMLCh* text, size_t length, bool& blank) {
        if (length < kShort && length < capacity_ - size_) {
            char* dst = data_.get() + size_;
            unsigned other = 0;
            bool ascii;
            if (length >= 8) {
                ascii = NarrowShort(text, length, dst, other);
            } else {
                XMLCh any = 0;
                for (size_t i = 0; i < length; ++i) {
                    const XMLCh c = text[i];
                    any |= c;
                    dst[i] = char(c);
                    other |= unsigned(!IsBlank(c));
                }
                ascii = any < 0x80;
            }
            if (ascii) {
                size_ += length;
                dst[length] = '\0';
                if (other)
                    blank = false;
                return;
            }
        }
        AppendLong(text, length, blank);
    }
    // Appends a text without looking for whitespace (the text of a value
    // child, handed over whole whatever it holds).
    void AppendValue(const XMLCh* text, size_t length) {
        if (length < kShort && length < capacity_ - size_) {
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
                return;
            }
        }
        bool blank = false;
        AppendLong(text, length, blank);
    }
    // Takes a text of at most kBlankRun units into an empty buffer when it
    // is all blanks, tabs, line feeds and carriage returns (what stands
    // between two tags); false (and nothing taken) otherwise.
    static constexpr size_t kBlankRun = 16;
    bool TakeBlankRun(const XMLCh* text, size_t length) {
        if (length > kBlankRun || capacity_ <= kBlankRun)
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
        if (capacity_ - size_ <= kShort)
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
        XMLCh any = 0;
        for (size_t i = 0; i < length; ++i) {
            const XMLCh c = text[i];
            any |= c;
            dst[i] = char(c);
            other |= unsigned(!IsBlank(c));
        }
        return any < 0x80;
#endif
    }
    void AppendLong(const XMLCh* text, size_t length, bool& blank);

    std::unique_ptr<char[]> data_;
    size_t size_ = 0;
    size_t capacity_ = 0; // with the terminating zero
    size_t growLimit_ = size_t(-1) / 4;
};

class ZPI_API IntfXmlSaxHandler : public XERCES_CPP_NAMESPACE::HandlerBase {
public:
    explicit IntfXmlSaxHandler(IntfXmlElement* top);

    void startElement(const XMLCh* name, XERCES_CPP_NAMESPACE::AttributeList& attrs) override;
    void characters(const XMLCh* chars, XMLSize_t length) override;
    void endElement(const XMLCh* name) override;
    void ignorableWhitespace(const XMLCh*, XMLSize_t) override {}
    void startDocument() override {}
    void endDocument() override {}
    // Both throw IntfXmlError (INTFXML_ERR_PARSE) with the parser's message
    // and position.
    void error(const XERCES_CPP_NAMESPACE::SAXParseException& e) override;
    void fatalError(const XERCES_CPP_NAMESPACE::SAXParseException& e) override;

    // startElement and endElement for a caller whose `local()` gives the
    // element's name as UTF-8 (asked only when a reader needs it; the text
    // stays where it is until the next name is asked). Defined in
    // sax_handler.cpp, for the parser there.
    template <class Local> void Start(XERCES_CPP_NAMESPACE::AttributeList& attrs, Local local);
    template <class Local> void End(Local local);

    IntfXmlElement* Current() const { return current_; }

private:
    // The name as UTF-8 in name_, terminated.
    const char* NameOf(const XMLCh* name);
    // Hands the gathered text to the current reader.
    void HandOverText();
    // A text longer than maxText_: refused, naming its element.
    [[noreturn]] void TextTooLong();

    // Element names converted lately, by the parser's pointer to the name
    // (the parser hands each element name from one place, its declaration).
    struct NameEntry {
        const XMLCh* key = nullptr;
        uint32_t length = 0;
        char text[40];
    };
    static constexpr size_t kNameEntries = 64;

    // Ends the value child being read: hands its text to its reader.
    void EndValue();
    // A start tag inside a value child: the reader refuses it. The value
    // child's name goes on the reader's stack before `local()` converts
    // another name.
    template <class Local>
    [[noreturn]] void RefuseInValue(XERCES_CPP_NAMESPACE::AttributeList& attrs, Local local);

    IntfXmlElement* current_;
    int depth_ = 0;
    // The value child being read (TakeValue): its depth (0 when none) and
    // its name as converted at its start tag (nothing is converted until its
    // end tag, so the name stays where it is).
    int valueDepth_ = 0;
    const char* valueName_ = nullptr;
    NameEntry names_[kNameEntries];
    IntfXmlUtf8Buffer name_; // scratch for names that do not fit an entry
    IntfXmlUtf8Buffer text_; // text gathered for the current reader, not yet handed over
    bool textBlank_ = true; // text_ holds only whitespace
    size_t handed_ = 0;     // bytes of the text since the last tag handed over already
    size_t maxText_;        // IntfXmlMaxTextBytes() as the parse began
};

