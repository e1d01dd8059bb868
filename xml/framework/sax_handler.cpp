// The SAX handler that hands the parser's events to the element readers,
// and the parse entry points.
#include "xml/framework/sax_handler_class.h"

#include "xml/framework/xml_encoding.h"
#include "xml/framework/xml_read_limits.h"
#include "xml/framework/xml_streams.h"

#include "btk_quoted.h"
#include "process.h"

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/MemoryManager.hpp>
#include <xercesc/framework/XMLElementDecl.hpp>
#include <xercesc/internal/VecAttrListImpl.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/parsers/SAXParser.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/BinInputStream.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <algorithm>
#include <bit>
#include <deque>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

namespace xc = XERCES_CPP_NAMESPACE;

// ---- text conversion ----------------------------------------------------------------

namespace {

// Writes the UTF-8 form of code point c at dst and moves dst past it.
inline void EncodeUtf8(char*& dst, uint32_t c) {
    if (c < 0x80) {
        *dst++ = char(c);
    } else if (c < 0x800) {
        *dst++ = char(0xC0 | (c >> 6));
        *dst++ = char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *dst++ = char(0xE0 | (c >> 12));
        *dst++ = char(0x80 | ((c >> 6) & 0x3F));
        *dst++ = char(0x80 | (c & 0x3F));
    } else {
        *dst++ = char(0xF0 | (c >> 18));
        *dst++ = char(0x80 | ((c >> 12) & 0x3F));
        *dst++ = char(0x80 | ((c >> 6) & 0x3F));
        *dst++ = char(0x80 | (c & 0x3F));
    }
}

// A surrogate without its pair in a text of the document: refused where
// the parse stands.
[[noreturn]] void ThrowUnpaired(XMLCh unit) {
    IntfXmlThrow(INTFXML_ERR_PARSE, "an unpaired UTF-16 surrogate 0x%04X", unsigned(unit));
}

// Appends the UTF-8 form of text[i, length) for a text with characters
// beyond ASCII, from position i on. A surrogate without its pair is refused
// when `strict` (the document's texts), else given as U+FFFD (messages).
void AppendUtf8Rest(std::string& out, const XMLCh* text, size_t i, size_t length, bool strict) {
    for (; i < length; ++i) {
        uint32_t c = text[i];
        if (c < 0x80) {
            out.push_back(char(c));
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t(text[i + 1]) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            if (strict)
                ThrowUnpaired(XMLCh(c));
            c = 0xFFFD;
        }
        char utf8[4];
        char* end = utf8;
        EncodeUtf8(end, c);
        out.append(utf8, size_t(end - utf8));
    }
}

// Appends text[0, length) as UTF-8 (see AppendUtf8Rest).
void AppendUtf8(std::string& out, const XMLCh* text, size_t length, bool strict) {
    if (!text || length == 0)
        return;
    // As a rule the whole text is ASCII: then it is narrowed in one go (both
    // loops run over whole vectors).
    XMLCh any = 0;
    for (size_t i = 0; i < length; ++i)
        any |= text[i];
    if (any < 0x80) {
        const size_t start = out.size();
        out.resize(start + length);
        char* dst = out.data() + start;
        for (size_t i = 0; i < length; ++i)
            dst[i] = char(text[i]);
        return;
    }
    AppendUtf8Rest(out, text, 0, length, strict);
}

} // namespace

void IntfXmlAppendUtf8(std::string& out, const XMLCh* text, size_t length) {
    AppendUtf8(out, text, length, true);
}

IntfXmlLocalText::IntfXmlLocalText(const XMLCh* text, size_t length) {
    AppendUtf8(text_, text, length, false);
}

namespace {
// Length of a zero-terminated parser text (0 for none).
size_t TextLength(const XMLCh* text) {
    size_t n = 0;
    if (text)
        while (text[n])
            ++n;
    return n;
}
} // namespace

IntfXmlLocalText::IntfXmlLocalText(const XMLCh* text) {
    AppendUtf8(text_, text, TextLength(text), false);
}

// ---- platform --------------------------------------------------------------------------

void IntfXmlPlatformInit() {
    static std::once_flag once;
    static std::string failure;
    std::call_once(once, [] {
        try {
            xc::XMLPlatformUtils::Initialize();
        } catch (const xc::XMLException& e) {
            failure = IntfXmlLocalText(e.getMessage()).str();
            if (failure.empty())
                failure = "unknown failure";
        }
    });
    if (!failure.empty())
        throw IntfXmlError(INTFXML_ERR_PARSE, "the XML parser cannot start: " + failure);
}

// ---- handler ------------------------------------------------------------------------------

namespace {
// The name of the innermost element the parse running on this thread has
// started and not ended ("" outside a parse).
std::string InnermostElement();
} // namespace

IntfXmlSaxHandler::IntfXmlSaxHandler(IntfXmlElement* top)
    : current_(top), maxText_(IntfXmlMaxTextBytes()) {
    text_.LimitGrowth(maxText_ + 1);
}

bool IntfXmlUtf8Buffer::AppendLong(const XMLCh* text, size_t length, bool& blank) {
    if (length == 0)
        return true;
    XMLCh any = 0;
    unsigned other = 0;
    for (size_t i = 0; i < length; ++i) {
        const XMLCh c = text[i];
        any |= c;
        other |= unsigned(c != ' ') & unsigned(c != '\n') & unsigned(c != '\t') &
                 unsigned(c != '\r');
    }
    if (other)
        blank = false;
    const bool ascii = any < 0x80 && high_ == 0;
    // The exact length of the UTF-8, so that the buffer grows only as far
    // as the text needs; a surrogate without its pair is refused here. A
    // high surrogate that ends the piece waits for the next one.
    size_t bytes = length;
    size_t end = length;
    if (!ascii) {
        bytes = 0;
        for (size_t i = 0; i < length; ++i) {
            const XMLCh c = text[i];
            if (c < 0x80) {
                bytes += 1;
            } else if (c < 0x800) {
                bytes += 2;
            } else if (c < 0xD800 || c > 0xDFFF) {
                bytes += 3;
            } else if (c >= 0xDC00) {
                if (i > 0 || high_ == 0)
                    Unpaired(c);
                bytes += 4; // with the high surrogate that waited
            } else if (i + 1 < length) {
                if (text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                    Unpaired(c);
                bytes += 4;
                ++i;
            } else {
                end = length - 1; // waits for the next piece
            }
        }
        if (high_ != 0 && (text[0] < 0xDC00 || text[0] > 0xDFFF))
            Unpaired(high_);
    }
    const size_t need = size_ + bytes + 1;
    if (need > capacity_) {
        const size_t cap = IntfXmlGrownCapacity(capacity_, need, growLimit_);
        if (cap == 0)
            return false;
        std::unique_ptr<char[]> grown(new char[cap]);
        if (size_ > 0)
            std::memcpy(grown.get(), data_.get(), size_);
        data_ = std::move(grown);
        capacity_ = cap;
    }
    char* dst = data_.get() + size_;
    if (ascii) {
        for (size_t i = 0; i < length; ++i)
            dst[i] = char(text[i]);
    } else {
        size_t i = 0;
        if (high_ != 0) {
            EncodeUtf8(dst, 0x10000 + ((uint32_t(high_) - 0xD800) << 10) + (text[0] - 0xDC00u));
            high_ = 0;
            i = 1;
        }
        for (; i < end; ++i) {
            uint32_t c = text[i];
            if (c >= 0xD800 && c <= 0xDBFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
                ++i;
            }
            EncodeUtf8(dst, c);
        }
        if (end < length)
            high_ = text[end];
    }
    size_ += bytes;
    data_[size_] = '\0';
    return true;
}

void IntfXmlUtf8Buffer::Unpaired(XMLCh unit) { ThrowUnpaired(unit); }

const char* IntfXmlSaxHandler::NameOf(const XMLCh* name) {
    if (!name)
        return "";
    NameEntry& e = names_[(reinterpret_cast<uintptr_t>(name) >> 4) % kNameEntries];
    // The parser hands each element name from the element's declaration,
    // which lives until the parse ends (and this handler with it): a pointer
    // met before names the same element. Its length and first character are
    // checked all the same.
    if (e.key == name && name[e.length] == 0 &&
        name[0] == XMLCh(static_cast<unsigned char>(e.text[0])))
        return e.text;
    // An ASCII name that fits the entry goes into it; any other through the
    // scratch buffer.
    e.key = nullptr;
    uint32_t n = 0;
    while (n < sizeof e.text - 1 && name[n] != 0 && name[n] < 0x80) {
        e.text[n] = char(name[n]);
        ++n;
    }
    if (name[n] == 0) {
        e.text[n] = '\0';
        e.key = name;
        e.length = n;
        return e.text;
    }
    name_.clear();
    name_.Append(name, TextLength(name));
    return name_.data();
}

void IntfXmlSaxHandler::HandOverText() {
    text_.CheckWhole();
    HandOverPiece();
}

void IntfXmlSaxHandler::HandOverPiece() {
    if (current_)
        current_->characters(text_.data(), unsigned(text_.size()));
    text_.ClearText();
    textBlank_ = text_.empty(); // not when half a character waits
}

template <class Local>
void IntfXmlSaxHandler::Start(xc::AttributeList& attrs, Local localOf) {
    if (++depth_ > INTFXML_MAX_DEPTH)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "elements nest deeper than %d levels",
                     INTFXML_MAX_DEPTH);
    if (valueDepth_ != 0)
        RefuseInValue(attrs, localOf);
    // No element holds both a text and elements: a text before an element
    // is read by none.
    hasChild_[size_t(depth_ - 1)] = true;
    hasChild_[size_t(depth_)] = false;
    if (current_ && TextGathered())
        IntfXmlTellTextNotRead(InnermostElement().c_str());
    if (!text_.empty()) {
        if (textBlank_) {
            text_.clear();
        } else {
            HandOverText();
        }
    }
    handed_ = 0;
    handedText_ = false;
    if (!current_)
        return;
    const char* local = localOf();
    current_->ClearText();
    IntfXmlElement* next = current_->startElement(local, attrs);
    if (next == current_ && next->valueSlot_ >= 0) {
        // A value child: its text is gathered here until its end tag.
        valueDepth_ = depth_;
        valueName_ = local;
        return;
    }
    current_ = next;
    if (current_)
        current_->ClearText();
}

void IntfXmlSaxHandler::startElement(const XMLCh* name, xc::AttributeList& attrs) {
    Start(attrs, [this, name] { return NameOf(name); });
}

template <class Local>
void IntfXmlSaxHandler::RefuseInValue(xc::AttributeList& attrs, Local localOf) {
    // As though the value child had been taken on with PushName: the name
    // goes on the reader's stack first, before another name is converted.
    current_->names_.push(valueName_);
    const std::string value = valueName_;
    const char* local = localOf();
    current_->startElement(local, attrs);
    IntfXmlThrowUnexpected(local, value.c_str());
}

namespace {
// Gathered text goes to the reader before it grows beyond this.
constexpr size_t kTextHandOver = 64 * 1024;
} // namespace

void IntfXmlSaxHandler::characters(const XMLCh* chars, XMLSize_t length) {
    if (!current_ || length == 0)
        return;
    // A value's text is handed over whole, at its end tag (a start tag
    // inside it is refused, so whether it is whitespace does not matter).
    // A unit takes at least one byte: a text refused by its units is
    // refused before it is kept.
    if (valueDepth_ != 0) {
        if (length > maxText_ - text_.size() || !text_.AppendValue(chars, length))
            TextTooLong();
        return;
    }
    // The rule: whitespace between two tags, into an empty buffer (which
    // holds only whitespace, as it stays).
    if (text_.empty() && text_.TakeBlankRun(chars, length))
        return;
    if (length > maxText_ - handed_ - text_.size() ||
        !text_.AppendText(chars, length, textBlank_) || handed_ + text_.size() > maxText_)
        TextTooLong();
    if (text_.size() >= kTextHandOver) {
        // (A character cut in two at the end waits for the next piece.)
        handed_ += text_.size();
        handedText_ = handedText_ || !textBlank_;
        HandOverPiece();
    }
}

void IntfXmlSaxHandler::TextTooLong() {
    const std::string element = valueDepth_ != 0 ? std::string(valueName_) : InnermostElement();
    IntfXmlThrow(INTFXML_ERR_MALFORMED, "the text of element %s is longer than %zu bytes",
                 btkQuotedCut(element).c_str(), maxText_);
}

void IntfXmlSaxHandler::EndValue() {
    IntfXmlElement* owner = current_;
    const int slot = owner->valueSlot_;
    owner->valueSlot_ = -1;
    valueDepth_ = 0;
    text_.CheckWhole();
    owner->EndValue(slot, std::string_view(text_.data(), text_.size()), valueName_);
    text_.clear();
    textBlank_ = true;
    handed_ = 0;
    handedText_ = false;
}

template <class Local> void IntfXmlSaxHandler::End(Local localOf) {
    if (valueDepth_ == depth_--) {
        EndValue();
        return;
    }
    if (!current_) {
        text_.clear();
        textBlank_ = true;
        return;
    }
    const char* local = localOf();
    // A text after the element's elements is read by none.
    if (hasChild_[size_t(depth_ + 1)] && TextGathered())
        IntfXmlTellTextNotRead(local);
    if (!text_.empty())
        HandOverText();
    handed_ = 0;
    handedText_ = false;
    IntfXmlElement* ending = current_;
    current_ = ending->endElement(local);
    if (current_ && current_ != ending) {
        bool dispose = current_->IsListHandler() ||
                       (current_->IsDocumentPart() && ending->IsListHandler());
        if (dispose && ending->Parent())
            ending->Parent()->DeleteChild(ending);
    }
    if (current_)
        current_->ClearText();
}

void IntfXmlSaxHandler::endElement(const XMLCh* name) {
    End([this, name] { return NameOf(name); });
}

namespace {
// The parser's words, escaped where they stand (on the line's one line).
// They quote the document's texts (names, of any size) in quotes of their
// own, 'name': each is cut as btkQuotedCut cuts, "..." after its quote.
std::string ParserWords(const XMLCh* message) {
    const std::string text = IntfXmlLocalText(message).str();
    std::string_view words = text;
    std::string out;
    for (;;) {
        const size_t open = words.find('\'');
        if (open == std::string_view::npos)
            return out += btkEscaped(words);
        out += btkEscaped(words.substr(0, open + 1));
        words.remove_prefix(open + 1);
        const size_t close = words.find('\'');
        const std::string shown = btkQuotedCut(words.substr(0, close));
        const bool cut = shown.back() != '"';
        out.append(shown, 1, shown.size() - (cut ? 5 : 2));
        if (close == std::string_view::npos)
            return out += cut ? "..." : "";
        out += cut ? "'..." : "'";
        words.remove_prefix(close + 1);
    }
}

std::string ParseMessage(const xc::SAXParseException& e) {
    return "line " + std::to_string(e.getLineNumber()) + ", column " +
           std::to_string(e.getColumnNumber()) + ": " + ParserWords(e.getMessage());
}
} // namespace

// The parser's report ends the parse as it is; the parse entry points tell
// it with the document's name, line and column.
void IntfXmlSaxHandler::error(const xc::SAXParseException& e) { throw e; }

void IntfXmlSaxHandler::fatalError(const xc::SAXParseException& e) { throw e; }

// ---- parse entry points -------------------------------------------------------------------

namespace {

// The bytes of a local file already open, handed to the parser as they are.
class OpenFileInputStream : public xc::BinInputStream {
public:
    explicit OpenFileInputStream(IntfXmlIOStream& file) : file_(file) {}
    XMLFilePos curPos() const override { return pos_; }
    XMLSize_t readBytes(XMLByte* toFill, XMLSize_t maxToRead) override {
        const size_t n = file_.Read(reinterpret_cast<char*>(toFill), maxToRead);
        pos_ += n;
        return n;
    }
    const XMLCh* getContentType() const override { return nullptr; }

private:
    IntfXmlIOStream& file_;
    XMLFilePos pos_ = 0;
};

class OpenFileInputSource : public xc::InputSource {
public:
    OpenFileInputSource(IntfXmlIOStream& file, const XMLCh* systemId) : file_(file) {
        setSystemId(systemId);
    }
    xc::BinInputStream* makeStream() const override { return new OpenFileInputStream(file_); }

private:
    IntfXmlIOStream& file_;
};

// The attributes of the start tag being read, knowing which of them a
// reader took (asked for its value): the readers find an attribute only by
// its name at its position, and what none of them took is told.
class TakenAttributes : public xc::VecAttrListImpl {
public:
    using xc::VecAttrListImpl::getValue;
    const XMLCh* getValue(const XMLSize_t index) const override {
        if (index < 64) // a tag holds at most INTFXML_MAX_ATTRIBUTES
            taken_ |= uint64_t(1) << index;
        return xc::VecAttrListImpl::getValue(index);
    }
    void setVector(const xc::RefVectorOf<xc::XMLAttr>* attrs, XMLSize_t count) {
        xc::VecAttrListImpl::setVector(attrs, count);
        count_ = count;
        taken_ = 0;
    }
    // Tells each attribute of `element` that no reader took (counted all
    // at once; only the first of the parse is named).
    void TellNotTaken(const char* element) const {
        static_assert(INTFXML_MAX_ATTRIBUTES <= 64);
        // (As a rule every attribute was taken.)
        if (count_ == 0 || taken_ == (uint64_t(2) << (count_ - 1)) - 1)
            return;
        TellLeft(element);
    }

private:
    [[gnu::noinline, gnu::cold]] void TellLeft(const char* element) const {
        const uint64_t all = count_ >= 64 ? ~uint64_t(0) : (uint64_t(1) << count_) - 1;
        const uint64_t left = all & ~taken_;
        if (left == 0)
            return;
        if (IntfXmlCountPassedOver(IntfXmlPassed::AttribNotRead, size_t(std::popcount(left))))
            IntfXmlSayPassedOver(
                IntfXmlPassed::AttribNotRead,
                IntfXmlAttribNotReadText(
                    element, IntfXmlLocalText(getName(std::countr_zero(left))).c_str()));
    }

    mutable uint64_t taken_ = 0;
    XMLSize_t count_ = 0;
};

// The parser, handing the scanner's element and text events straight to
// the handler: what the parser's own document-handler layer would hand it
// (the element's name, its attributes as a list, an end tag after an empty
// element, no text outside the root), without that layer's cost per event.
// Element names are converted to UTF-8 once per element declaration (the
// scanner keeps one per name until the parse ends) and found again by it.
class DirectParser : public xc::SAXParser {
public:
    DirectParser(IntfXmlSaxHandler& handler, const char* id, xc::MemoryManager* memory)
        : xc::SAXParser(nullptr, memory), handler_(handler), id_(id) {}

    void startElement(const xc::XMLElementDecl& decl, unsigned int, const XMLCh*,
                      const xc::RefVectorOf<xc::XMLAttr>& attrs, XMLSize_t count, bool isEmpty,
                      bool) override {
        // The well-formedness scanner's input was refused before it got
        // here (IntfXmlAttributeGate); the general scanner reads such a tag in
        // linear time, and it is refused alike.
        if (count > XMLSize_t(INTFXML_MAX_ATTRIBUTES))
            IntfXmlTooManyAttributes();
        // The attribute gate refuses a long value before the scanner keeps
        // it; where the gate does not run, it is refused here.
        if (checkLengths_)
            for (XMLSize_t i = 0; i < count; ++i)
                CheckValue(decl, *attrs.elementAt(i));
        attrList_.setVector(&attrs, count);
        starting_ = &decl;
        // (While the reader takes the start tag, the element that holds it
        // is the innermost one open.)
        if (const char* local = Known(decl)) {
            handler_.Start(attrList_, [local] { return local; });
            attrList_.TellNotTaken(local);
            if (!isEmpty)
                open_.push_back(&decl);
            else
                handler_.End([local] { return local; });
        } else {
            const XMLCh* name = decl.getFullName();
            handler_.IntfXmlSaxHandler::startElement(name, attrList_);
            attrList_.TellNotTaken(IntfXmlLocalText(name).c_str());
            if (!isEmpty)
                open_.push_back(&decl);
            else
                handler_.IntfXmlSaxHandler::endElement(name);
        }
        starting_ = nullptr;
        if (!isEmpty)
            ++depth_;
    }
    void endElement(const xc::XMLElementDecl& decl, unsigned int, bool, const XMLCh*) override {
        --depth_;
        if (!open_.empty())
            open_.pop_back();
        if (const char* local = Known(decl))
            handler_.End([local] { return local; });
        else
            handler_.IntfXmlSaxHandler::endElement(decl.getFullName());
    }
    void docCharacters(const XMLCh* chars, XMLSize_t length, bool section) override {
        if (section && checkLengths_)
            CheckSection(chars, length);
        if (depth_ > 0)
            handler_.IntfXmlSaxHandler::characters(chars, length);
    }
    // Comments and instructions, in the document and in its document type
    // declaration: as data sections and attribute values, the gate refuses
    // a long one before the scanner keeps it; where it does not run, the
    // scanner hands it over whole (its memory bounded, IntfXmlBoundedMemory)
    // and it is refused here, where it ends.
    void docComment(const XMLCh* comment) override {
        if (checkLengths_)
            CheckSection(comment, xc::XMLString::stringLen(comment));
        xc::SAXParser::docComment(comment);
    }
    void doctypeComment(const XMLCh* comment) override {
        if (checkLengths_)
            CheckSection(comment, xc::XMLString::stringLen(comment));
        xc::SAXParser::doctypeComment(comment);
    }
    void docPI(const XMLCh* target, const XMLCh* data) override {
        if (checkLengths_)
            CheckInstruction(target, data);
        xc::SAXParser::docPI(target, data);
    }
    void doctypePI(const XMLCh* target, const XMLCh* data) override {
        if (checkLengths_)
            CheckInstruction(target, data);
        xc::SAXParser::doctypePI(target, data);
    }
    void ignorableWhitespace(const XMLCh*, XMLSize_t, bool) override {}
    // The encoding a document declares must be one the stream's byte check
    // read it in (IntfXmlByteCheck): that one, or one of its family.
    void XMLDecl(const XMLCh* version, const XMLCh* encoding, const XMLCh* standalone,
                 const XMLCh* autoEncoding) override {
        if (encoding && *encoding) {
            const std::string name = IntfXmlLocalText(encoding).str();
            if (!IntfXmlSameEncodingFamily(name, family_))
                IntfXmlUnreadEncoding(name, family_);
        }
        xc::SAXParser::XMLDecl(version, encoding, standalone, autoEncoding);
    }
    // Where the scanner stands.
    const xc::Locator* Where() const { return getScanner().getLocator(); }
    // The document's name, as its failures give it.
    const char* Id() const { return id_; }
    // The element whose start tag is being read ("" when none).
    std::string Starting() const {
        return starting_ ? IntfXmlLocalText(starting_->getFullName()).str() : std::string();
    }
    // The innermost element started and not ended ("" when none).
    std::string Innermost() const {
        return open_.empty() ? std::string() : IntfXmlLocalText(open_.back()->getFullName()).str();
    }
    // Attribute values, comments, instructions and data sections are
    // checked against their limit here (where no gate runs), counted as
    // the gate counts them: in bytes of the document when its encoding
    // takes one byte per character, else in bytes of UTF-8.
    void CheckLengths(bool singleByte) {
        checkLengths_ = true;
        singleByte_ = singleByte;
    }
    void SetFamily(const char* family) { family_ = family; }

private:
    // The parse entry points tell it with the line and column.

    // More declarations than this go through the handler's own name
    // conversion.
    static constexpr size_t kMaxNamed = 1 << 16;

    struct Named {
        const xc::XMLElementDecl* decl = nullptr;
        const char* text = nullptr;
    };

    size_t SlotOf(const xc::XMLElementDecl* decl) const {
        const uint64_t h = (uint64_t(reinterpret_cast<uintptr_t>(decl)) >> 3) *
                           0x9E3779B97F4A7C15ull;
        return size_t(h >> 32) & (table_.size() - 1);
    }

    // The UTF-8 name of `decl`, converted the first time it is met; null
    // past kMaxNamed declarations. As a rule a declaration is found in its
    // own slot at once.
    const char* Known(const xc::XMLElementDecl& decl) {
        const Named& home = table_[SlotOf(&decl)];
        if (home.decl == &decl)
            return home.text;
        return KnownElsewhere(decl);
    }
    [[gnu::noinline]] const char* KnownElsewhere(const xc::XMLElementDecl& decl) {
        for (size_t i = SlotOf(&decl); table_[i].decl; i = (i + 1) & (table_.size() - 1))
            if (table_[i].decl == &decl)
                return table_[i].text;
        if (texts_.size() >= kMaxNamed)
            return nullptr;
        // Kept at most a sixteenth full, so that most declarations have
        // their own slot.
        if (16 * (texts_.size() + 1) > table_.size()) {
            std::vector<Named> old(2 * table_.size());
            old.swap(table_);
            for (const Named& n : old)
                if (n.decl)
                    Put(n);
        }
        std::string& text = texts_.emplace_back();
        const XMLCh* name = decl.getFullName();
        IntfXmlAppendUtf8(text, name, xc::XMLString::stringLen(name));
        Put({&decl, text.c_str()});
        return text.c_str();
    }
    void Put(const Named& n) {
        size_t i = SlotOf(n.decl);
        while (table_[i].decl)
            i = (i + 1) & (table_.size() - 1);
        table_[i] = n;
    }

    // The bytes text[0, units) takes (see CheckLengths), or a count past
    // the limit when the units alone pass it.
    size_t Bytes(const XMLCh* text, size_t units) const {
        if (singleByte_ || units > maxAttribute_)
            return units;
        // A unit takes one to three bytes of UTF-8 (a pair of them four).
        size_t bytes = units;
        for (size_t i = 0; i < units; ++i) {
            const XMLCh c = text[i];
            bytes += size_t(c >= 0x80) + size_t(c >= 0x800 && (c < 0xD800 || c > 0xDFFF));
        }
        return bytes;
    }
    bool Longer(const XMLCh* text, size_t units) const {
        return units > maxAttribute_ / 3 && Bytes(text, units) > maxAttribute_;
    }
    void CheckValue(const xc::XMLElementDecl& decl, const xc::XMLAttr& attr) const {
        const XMLCh* value = attr.getValue();
        if (Longer(value, xc::XMLString::stringLen(value)))
            IntfXmlAttributeTooLong(IntfXmlLocalText(attr.getName()).str(),
                                    IntfXmlLocalText(decl.getFullName()).str(), maxAttribute_);
    }
    void CheckSection(const XMLCh* text, size_t units) const {
        if (Longer(text, units))
            IntfXmlSectionTooLong(maxAttribute_);
    }
    // An instruction counts its target, one blank and its data, as the
    // scanner hands them over (it drops any further blanks between them,
    // which the gate, counting the document's bytes, counts too).
    void CheckInstruction(const XMLCh* target, const XMLCh* data) const {
        const size_t t = xc::XMLString::stringLen(target);
        const size_t d = xc::XMLString::stringLen(data);
        if (t + 1 + d > maxAttribute_ / 3 &&
            Bytes(target, t) + (d ? 1 + Bytes(data, d) : 0) > maxAttribute_)
            IntfXmlSectionTooLong(maxAttribute_);
    }

    IntfXmlSaxHandler& handler_;
    const char* id_;
    TakenAttributes attrList_;
    size_t depth_ = 0;
    std::vector<const xc::XMLElementDecl*> open_; // elements started, not ended
    const xc::XMLElementDecl* starting_ = nullptr; // the start tag being read
    bool checkLengths_ = false;
    bool singleByte_ = false;
    size_t maxAttribute_ = IntfXmlMaxAttributeBytes();
    const char* family_ = "UTF-8";
    std::vector<Named> table_ = std::vector<Named>(256); // by declaration, open addressing
    std::deque<std::string> texts_; // the names, where they stay
};

// ---- choosing the scanner ----------------------------------------------------------------
//
// The parser's well-formedness scanner does per element less than its
// general one, but it skips a document type declaration instead of reading
// it: entities declared there would be unknown and attribute defaults
// missing. A parse therefore reads the first bytes of its input ahead, and
// takes the well-formedness scanner only when they show the root element's
// start tag (its name starting with an ASCII letter, '_' or ':') after a
// prolog of nothing but an optional byte order mark, the XML declaration,
// processing instructions, comments and whitespace, in an encoding whose
// bytes below 0x80 are always ASCII characters (UTF-8, the default, or a
// declared US-ASCII or ISO-8859-1, as IntfXmlChooseEncoding chose it from
// the declaration, in ASCII whatever the locale; the others are refused
// before; the attribute gate relies on it). Any other start (a
// document type declaration, another encoding, a prolog longer than the
// bytes read ahead, bytes that are no document at all) goes to the general
// scanner as before, which reports what it always reported. Both scanners
// read the prolog with the same code.

// How many bytes are read ahead.
constexpr size_t kLookAhead = 4096;

// Whether bytes[0, length) begin with a plain prolog and a root start tag.
bool PlainPrologThenRoot(const unsigned char* bytes, size_t length) {
    size_t i = 0;
    if (length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        i = 3;
    auto find = [&](size_t from, const char* what) -> size_t {
        const size_t n = std::strlen(what);
        for (size_t k = from; k + n <= length; ++k)
            if (std::memcmp(bytes + k, what, n) == 0)
                return k + n;
        return 0;
    };
    for (;;) {
        while (i < length && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' ||
                              bytes[i] == '\n'))
            ++i;
        if (i + 1 >= length || bytes[i] != '<')
            return false;
        const unsigned char c = bytes[i + 1];
        if (c == '?') {
            if ((i = find(i + 2, "?>")) == 0)
                return false;
        } else if (c == '!') {
            if (i + 4 > length || std::memcmp(bytes + i, "<!--", 4) != 0 ||
                (i = find(i + 4, "-->")) == 0)
                return false;
        } else {
            return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
        }
    }
}

// A stream that hands out the bytes read ahead, then the rest of its input.
class LookAheadStream : public xc::BinInputStream {
public:
    explicit LookAheadStream(std::unique_ptr<xc::BinInputStream> inner)
        : inner_(std::move(inner)) {
        while (head_.size() < kLookAhead) {
            const size_t have = head_.size();
            head_.resize(kLookAhead);
            const XMLSize_t n = inner_->readBytes(head_.data() + have, kLookAhead - have);
            head_.resize(have + n);
            if (n == 0) {
                ended_ = true;
                break;
            }
        }
    }
    const std::vector<XMLByte>& Head() const { return head_; }
    // The input ended within the bytes read ahead.
    bool Ended() const { return ended_; }
    // From now on every byte handed out passes the attribute gate first.
    void Gate() { gated_ = true; }
    // Every byte passes `check` first; those read ahead at once (a refusal
    // among them is thrown here, before the parse).
    void Check(const IntfXmlEncodingChoice& choice) {
        check_ = std::make_unique<IntfXmlByteCheck>(choice.kind, choice.bom);
        check_->Feed(head_.data(), head_.size());
        if (check_->Failed())
            check_->Throw();
        if (ended_)
            EndCheck();
    }
    XMLFilePos curPos() const override { return pos_; }
    XMLSize_t readBytes(XMLByte* toFill, XMLSize_t maxToRead) override {
        // A refused tag is cut off before its attribute one too many; the
        // refusal is thrown when the scanner asks for what follows, so that
        // it stands there: the error takes the scanner's line and column.
        // (Not at once, either: the scanner's first read is made where it
        // cannot take an exception without a leak.)
        if (gate_.Refused())
            gate_.ThrowRefusal();
        if (check_ && check_->Failed())
            check_->Throw();
        XMLSize_t n;
        if (at_ < head_.size()) {
            n = std::min<XMLSize_t>(maxToRead, head_.size() - at_);
            std::memcpy(toFill, head_.data() + at_, n);
            at_ += n;
        } else {
            n = ended_ ? 0 : inner_->readBytes(toFill, maxToRead);
            // A refused byte is the first held back; the refusal is thrown
            // when the scanner asks for it (at once when nothing precedes).
            if (check_) {
                if (n > 0)
                    n = check_->Feed(toFill, n);
                else if (!ended_)
                    EndCheck();
                if (check_->Failed() && n == 0)
                    check_->Throw();
            }
        }
        if (gated_ && n > 0 && (n = gate_.Feed(toFill, n)) == 0)
            gate_.ThrowRefusal();
        pos_ += n;
        return n;
    }
    const XMLCh* getContentType() const override { return inner_->getContentType(); }

private:
    // The input ended: a character it left open is refused.
    void EndCheck() {
        check_->End();
        if (check_->Failed())
            check_->Throw();
    }

    std::unique_ptr<xc::BinInputStream> inner_;
    std::vector<XMLByte> head_;
    size_t at_ = 0;
    bool ended_ = false; // the input ended while read ahead
    bool gated_ = false;
    IntfXmlAttributeGate gate_;
    std::unique_ptr<IntfXmlByteCheck> check_;
    XMLFilePos pos_ = 0;
};

// The input source of one parse over a stream already made (and read ahead)
// from `source`, named as `source` is.
class LookAheadSource : public xc::InputSource {
public:
    LookAheadSource(const xc::InputSource& source, std::unique_ptr<LookAheadStream> stream)
        : stream_(std::move(stream)) {
        setSystemId(source.getSystemId());
        setPublicId(source.getPublicId());
        if (source.getEncoding())
            setEncoding(source.getEncoding());
        setIssueFatalErrorIfNotFound(source.getIssueFatalErrorIfNotFound());
    }
    // The scanner asks once per parse and owns what it gets.
    xc::BinInputStream* makeStream() const override { return stream_.release(); }

private:
    mutable std::unique_ptr<LookAheadStream> stream_;
};

// The parser running on this thread, while it runs: an error made
// meanwhile (a reader refusing the document) takes its line and column from
// the parser's scanner, as the scanner's own reports do. Parses nest (a
// reader may parse another document), so the outer one is restored
// afterwards.
thread_local const DirectParser* t_parsing = nullptr;

class ParsingScope {
public:
    explicit ParsingScope(const DirectParser* parser) : outer_(t_parsing) { t_parsing = parser; }
    ~ParsingScope() { t_parsing = outer_; }
    ParsingScope(const ParsingScope&) = delete;
    ParsingScope& operator=(const ParsingScope&) = delete;

private:
    const DirectParser* outer_;
};

// "line L, column C: " from an error's position, or nothing.
std::string Prefix(const std::string& where) { return where.empty() ? where : where + ": "; }

void RunParse(const xc::InputSource& source, IntfXmlElement* top, const char* id,
              IntfXmlScanner scanner = IntfXmlScanner::Chosen) {
    if (!top)
        throw IntfXmlError(INTFXML_ERR_PARSE, "no reader for the document");
    // What the readers pass over is told when the parse ends, read or
    // refused (before the refusal).
    IntfXmlPassedOverTally passedOver(id);
    IntfXmlSaxHandler handler(top);
    IntfXmlBoundedMemory memory;
    xc::SecurityManager security;
    security.setEntityExpansionLimit(1000);
    try {
        std::unique_ptr<LookAheadSource> ahead;
        bool plain = false;
        bool singleByte = false; // one byte per character
        IntfXmlEncodingChoice choice;
        if (std::unique_ptr<xc::BinInputStream> made{source.makeStream()}) {
            std::unique_ptr<LookAheadStream> stream(new LookAheadStream(std::move(made)));
            if (stream->Head().empty())
                throw IntfXmlError(INTFXML_ERR_PARSE, "empty document");
            choice = IntfXmlChooseEncoding(stream->Head().data(), stream->Head().size());
            if (!choice.refusal.empty())
                throw IntfXmlError(INTFXML_ERR_PARSE, choice.refusal, std::string());
            // The encoding and byte order are chosen from the declaration
            // before the parse: one longer than the bytes read ahead could
            // declare another than the one chosen. (A document that ends
            // inside it is the parser's to refuse.)
            if (choice.declarationOpen && !stream->Ended())
                throw IntfXmlError(INTFXML_ERR_PARSE,
                                   "line 1: the XML declaration does not end within the first " +
                                       std::to_string(kLookAhead) +
                                       " bytes, which are read to choose the encoding",
                                   std::string());
            stream->Check(choice);
            const bool asciiTransparent = choice.kind == IntfXmlByteCheck::Kind::Utf8 ||
                                          choice.kind == IntfXmlByteCheck::Kind::Ascii ||
                                          choice.kind == IntfXmlByteCheck::Kind::Latin1;
            plain = scanner == IntfXmlScanner::Chosen
                        ? asciiTransparent &&
                              PlainPrologThenRoot(stream->Head().data(), stream->Head().size())
                        : scanner == IntfXmlScanner::WellFormed;
            singleByte = choice.kind == IntfXmlByteCheck::Kind::Ascii ||
                         choice.kind == IntfXmlByteCheck::Kind::Latin1;
            if (plain)
                stream->Gate();
            ahead = std::make_unique<LookAheadSource>(source, std::move(stream));
        }
        std::unique_ptr<DirectParser> parser = std::make_unique<DirectParser>(handler, id, &memory);
        ParsingScope parsing(parser.get());
        if (plain)
            parser->useScanner(xc::XMLUni::fgWFXMLScanner);
        else
            parser->CheckLengths(singleByte);
        parser->SetFamily(choice.family);
        parser->setValidationScheme(xc::SAXParser::Val_Never);
        parser->setDoNamespaces(false);
        parser->setDoSchema(false);
        parser->setLoadExternalDTD(false);
        // Documents are untrusted: no external entities, bounded expansion.
        // The well-formedness scanner knows no entities but the five
        // predefined ones (one character each), yet counts each reference
        // as an expansion: a document the writers write with more than 1000
        // of "&amp;", "&lt;" and "&quot;" would be refused.
        parser->setDisableDefaultEntityResolution(true);
        if (!plain)
            parser->setSecurityManager(&security);
        // Installed so that the scanner reports to the parser at all; the
        // parser hands the events on itself (DirectParser).
        parser->setDocumentHandler(&handler);
        parser->setErrorHandler(&handler);
        // The comments and instructions of a document type declaration
        // reach the parser (doctypeComment, doctypePI) only while a DTD
        // handler is installed; the handler's own calls do nothing.
        if (!plain)
            parser->setDTDHandler(&handler);
        if (ahead)
            parser->parse(*ahead);
        else
            parser->parse(source);
    } catch (const IntfXmlError& e) {
        // A reader refused the document (or a stream failed): told with the
        // document's name and where the parse stood.
        throw IntfXmlError(e.Status(), IntfXmlReadFailure(id, Prefix(e.Where()) + e.Message()));
    } catch (const xc::SAXParseException& e) {
        throw IntfXmlError(INTFXML_ERR_PARSE, IntfXmlReadFailure(id, ParseMessage(e)));
    } catch (const xc::OutOfMemoryException&) {
        if (memory.Refused()) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "a name, attribute value, section or entity needs more than %zu bytes",
                          memory.Largest());
            throw IntfXmlError(INTFXML_ERR_MALFORMED,
                               IntfXmlReadFailure(id, Prefix(memory.Where()) + text));
        }
        throw IntfXmlError(ZPI_STATUS_NO_MEMORY, IntfXmlReadFailure(id, "out of memory while parsing"));
    } catch (const xc::XMLException& e) {
        throw IntfXmlError(INTFXML_ERR_PARSE, IntfXmlReadFailure(id, ParserWords(e.getMessage())));
    } catch (const xc::SAXException& e) {
        throw IntfXmlError(INTFXML_ERR_PARSE, IntfXmlReadFailure(id, ParserWords(e.getMessage())));
    } catch (const std::bad_alloc&) {
        throw IntfXmlError(ZPI_STATUS_NO_MEMORY, IntfXmlReadFailure(id, "out of memory while parsing"));
    } catch (...) {
        // The scanner's own internal exceptions (an entity it may not read,
        // for one) end the parse as well.
        throw IntfXmlError(INTFXML_ERR_PARSE, IntfXmlReadFailure(id, "the parser gave up"));
    }
}

} // namespace

namespace {
std::string InnermostElement() { return t_parsing ? t_parsing->Innermost() : std::string(); }
} // namespace

std::string IntfXmlStartTagName() { return t_parsing ? t_parsing->Starting() : std::string(); }

std::string IntfXmlParsePosition() {
    const xc::Locator* at = t_parsing ? t_parsing->Where() : nullptr;
    if (!at || at->getLineNumber() == 0)
        return std::string();
    return "line " + std::to_string(at->getLineNumber()) + ", column " +
           std::to_string(at->getColumnNumber());
}

void IntfXmlParseDocument(const char* path, IntfXmlElement* top) {
    IntfXmlPlatformInit();
    if (!path || !*path)
        throw IntfXmlError(INTFXML_ERR_OPEN, "no document name");
    if (IntfXmlIsBnfsPath(path)) {
        IntfXmlBnfsInput input(path);
        RunParse(*input.GetInputSource(), top, path);
        return;
    }
    // Only a regular file is read, and it is parsed from the file that was
    // checked: a directory or a FIFO never reaches the parser.
    IntfXmlFileStream file(path, 1);
    if (!file.IsOpen())
        throw IntfXmlError(INTFXML_ERR_OPEN, file.Error());
    const std::u16string wide = btkStrUtf8ToUtf16(path);
    OpenFileInputSource source(file, reinterpret_cast<const XMLCh*>(wide.c_str()));
    RunParse(source, top, path);
}

void IntfXmlParseBuffer(const char* bytes, size_t length, IntfXmlElement* top, const char* id,
                        IntfXmlScanner scanner) {
    IntfXmlPlatformInit();
    static const XMLCh kId[] = {u'b', u'u', u'f', u'f', u'e', u'r', 0};
    xc::MemBufInputSource source(reinterpret_cast<const XMLByte*>(bytes ? bytes : ""),
                                 bytes ? length : 0, kId, false);
    RunParse(source, top, id ? id : "buffer", scanner);
}
