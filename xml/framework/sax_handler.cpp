// The SAX handler that hands the parser's events to the element readers,
// and the parse entry points.
#include "xml/framework/sax_handler_class.h"

#include "xml/framework/xml_streams.h"

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
#include <deque>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <mutex>
#include <utility>
#include <vector>

namespace xc = XERCES_CPP_NAMESPACE;

// ---- text conversion ----------------------------------------------------------------

namespace {

// Appends the UTF-8 form of text[i, length) for a text with characters
// beyond ASCII, from position i on.
void AppendUtf8Rest(std::string& out, const XMLCh* text, size_t i, size_t length) {
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
            c = 0xFFFD;
        }
        if (c < 0x800) {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(char(0xE0 | (c >> 12)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (c >> 18)));
            out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
}

} // namespace

void IntfXmlAppendUtf8(std::string& out, const XMLCh* text, size_t length) {
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
    AppendUtf8Rest(out, text, 0, length);
}

IntfXmlLocalText::IntfXmlLocalText(const XMLCh* text, size_t length) {
    IntfXmlAppendUtf8(text_, text, length);
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
    IntfXmlAppendUtf8(text_, text, TextLength(text));
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

void IntfXmlUtf8Buffer::AppendLong(const XMLCh* text, size_t length, bool& blank) {
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
    // ASCII takes a byte per unit, any other text at most 3.
    const size_t need = size_ + (any < 0x80 ? 1 : 3) * length + 1;
    if (need > capacity_) {
        // Doubling, but straight to the limit when the next doubling would
        // pass it: a text at its limit is never copied into a larger buffer.
        size_t doubled = std::max<size_t>(2 * capacity_, 256);
        if (doubled > growLimit_ / 3 * 2)
            doubled = std::max(doubled, growLimit_);
        const size_t cap = std::max(need, std::min(doubled, growLimit_));
        std::unique_ptr<char[]> grown(new char[cap]);
        if (size_ > 0)
            std::memcpy(grown.get(), data_.get(), size_);
        data_ = std::move(grown);
        capacity_ = cap;
    }
    char* dst = data_.get() + size_;
    if (any < 0x80) {
        for (size_t i = 0; i < length; ++i)
            dst[i] = char(text[i]);
        size_ += length;
    } else {
        std::string utf8;
        IntfXmlAppendUtf8(utf8, text, length);
        std::memcpy(dst, utf8.data(), utf8.size());
        size_ += utf8.size();
    }
    data_[size_] = '\0';
}

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
    if (current_)
        current_->characters(text_.data(), unsigned(text_.size()));
    text_.clear();
    textBlank_ = true;
}

template <class Local>
void IntfXmlSaxHandler::Start(xc::AttributeList& attrs, Local localOf) {
    if (++depth_ > INTFXML_MAX_DEPTH)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "elements nest deeper than %d levels",
                     INTFXML_MAX_DEPTH);
    if (valueDepth_ != 0)
        RefuseInValue(attrs, localOf);
    if (!text_.empty()) {
        if (textBlank_) {
            text_.clear();
        } else {
            HandOverText();
        }
    }
    handed_ = 0;
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
        if (length > maxText_ - text_.size())
            TextTooLong();
        text_.AppendValue(chars, length);
        if (text_.size() > maxText_)
            TextTooLong();
        return;
    }
    // The rule: whitespace between two tags, into an empty buffer (which
    // holds only whitespace, as it stays).
    if (text_.empty() && text_.TakeBlankRun(chars, length))
        return;
    if (length > maxText_ - handed_ - text_.size())
        TextTooLong();
    text_.AppendText(chars, length, textBlank_);
    if (handed_ + text_.size() > maxText_)
        TextTooLong();
    if (text_.size() >= kTextHandOver) {
        handed_ += text_.size();
        HandOverText();
    }
}

void IntfXmlSaxHandler::TextTooLong() {
    const std::string element = valueDepth_ != 0 ? std::string(valueName_) : InnermostElement();
    IntfXmlThrow(INTFXML_ERR_MALFORMED, "the text of element \"%s\" is longer than %zu bytes",
                 element.c_str(), maxText_);
}

void IntfXmlSaxHandler::EndValue() {
    IntfXmlElement* owner = current_;
    const int slot = owner->valueSlot_;
    owner->valueSlot_ = -1;
    valueDepth_ = 0;
    owner->EndValue(slot, std::string_view(text_.data(), text_.size()), valueName_);
    text_.clear();
    textBlank_ = true;
    handed_ = 0;
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
    if (!text_.empty())
        HandOverText();
    handed_ = 0;
    const char* local = localOf();
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
std::string ParseMessage(const xc::SAXParseException& e) {
    std::string msg = IntfXmlLocalText(e.getMessage()).str();
    return "line " + std::to_string(e.getLineNumber()) + ", column " +
           std::to_string(e.getColumnNumber()) + ": " + msg;
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

// An element with more attributes than any element of the vocabularies may
// have; the parse entry points tell it with the line and column.
[[noreturn]] void TooManyAttributes() {
    IntfXmlThrow(INTFXML_ERR_MALFORMED, "an element has more than %d attributes",
                 INTFXML_MAX_ATTRIBUTES);
}

// An attribute value longer than the limit.
[[noreturn]] void AttributeTooLong(const std::string& attribute, const std::string& element,
                                   size_t limit) {
    IntfXmlThrow(INTFXML_ERR_MALFORMED,
                 "attribute \"%s\" of element \"%s\" is longer than %zu bytes",
                 attribute.c_str(), element.c_str(), limit);
}

// ---- encodings ---------------------------------------------------------------------------
//
// A document is read only in an encoding whose every byte is either
// decoded exactly or refused with its place: UTF-8, UTF-16, US-ASCII and
// ISO-8859-1. The parser's other transcoders put U+FFFD in place of bytes
// they cannot decode, or pass undefined bytes on as characters, without a
// word; documents in those encodings are refused (the writers write UTF-8
// only).

constexpr const char* kUtf8 = "UTF-8";
constexpr const char* kUtf16 = "UTF-16";
constexpr const char* kAscii = "US-ASCII";
constexpr const char* kLatin1 = "ISO-8859-1";

// The family of an encoding name (case, "-", "_" and blanks do not
// matter), or null for an encoding that is not read.
const char* FamilyOf(const std::string& name) {
    std::string key;
    for (char c : name)
        if (c != '-' && c != '_' && c != ' ')
            key.push_back(char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
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

bool SameFamily(const std::string& name, const char* family) {
    const char* of = FamilyOf(name);
    return of && family && std::strcmp(of, family) == 0;
}

std::string UnreadEncodingText(const std::string& name, const char* family) {
    if (FamilyOf(name))
        return "the document declares the encoding \"" + name + "\" but is written in " +
               family;
    return "the document's encoding \"" + name +
           "\" is not read: documents are read in UTF-8, UTF-16, US-ASCII or ISO-8859-1";
}

[[noreturn]] void UnreadEncoding(const std::string& name, const char* family) {
    throw IntfXmlError(INTFXML_ERR_PARSE, UnreadEncodingText(name, family));
}

// The parser's memory during one parse. Where no gate runs before the
// scanner (a document type declaration, UTF-16), the scanner keeps a name,
// an attribute value, a section or an entity whole before a limit could
// refuse it; no single block it asks for may then pass what the limits
// allow (an attribute value at its limit takes at most 4 bytes per byte in
// the scanner's growing buffer; a text goes over in pieces of about a
// million characters), so that what a parse holds stays bounded.
class BoundedMemory : public xc::MemoryManager {
public:
    BoundedMemory()
        : largest_(4 * IntfXmlMaxAttributeBytes() +
                   4 * std::min<size_t>(IntfXmlMaxTextBytes(), size_t(4) << 20)) {}
    xc::MemoryManager* getExceptionMemoryManager() override {
        return xc::XMLPlatformUtils::fgMemoryManager;
    }
    void* allocate(XMLSize_t size) override {
        if (size > largest_ && !refused_) {
            refused_ = true;
            where_ = IntfXmlParsePosition();
            throw xc::OutOfMemoryException();
        }
        return ::operator new(size);
    }
    void deallocate(void* p) override { ::operator delete(p); }
    // Whether a block was refused, and where the parse stood then.
    bool Refused() const { return refused_; }
    const std::string& Where() const { return where_; }
    size_t Largest() const { return largest_; }

private:
    size_t largest_;
    bool refused_ = false;
    std::string where_;
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
        // here (AttributeGate); the general scanner reads such a tag in
        // linear time, and it is refused alike.
        if (count > XMLSize_t(INTFXML_MAX_ATTRIBUTES))
            TooManyAttributes();
        // The attribute gate refuses a long value before the scanner keeps
        // it; where the gate does not run, it is refused here.
        if (checkValues_)
            for (XMLSize_t i = 0; i < count; ++i)
                CheckValue(decl, *attrs.elementAt(i));
        if (!isEmpty)
            open_.push_back(&decl);
        attrList_.setVector(&attrs, count);
        if (const char* local = Known(decl)) {
            handler_.Start(attrList_, [local] { return local; });
            if (isEmpty)
                handler_.End([local] { return local; });
        } else {
            const XMLCh* name = decl.getFullName();
            handler_.IntfXmlSaxHandler::startElement(name, attrList_);
            if (isEmpty)
                handler_.IntfXmlSaxHandler::endElement(name);
        }
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
    void docCharacters(const XMLCh* chars, XMLSize_t length, bool) override {
        if (depth_ > 0)
            handler_.IntfXmlSaxHandler::characters(chars, length);
    }
    void ignorableWhitespace(const XMLCh*, XMLSize_t, bool) override {}
    // The encoding a document declares must be one the stream's byte check
    // read it in (ByteCheck): that one, or one of its family.
    void XMLDecl(const XMLCh* version, const XMLCh* encoding, const XMLCh* standalone,
                 const XMLCh* autoEncoding) override {
        if (encoding && *encoding) {
            const std::string name = IntfXmlLocalText(encoding).str();
            if (!SameFamily(name, family_))
                UnreadEncoding(name, family_);
        }
        xc::SAXParser::XMLDecl(version, encoding, standalone, autoEncoding);
    }
    // Where the scanner stands.
    const xc::Locator* Where() const { return getScanner().getLocator(); }
    // The document's name, as its failures give it.
    const char* Id() const { return id_; }
    // True the first time only: what a reader let pass is told once per
    // document.
    bool FirstPassedOver() const { return !std::exchange(passedOver_, true); }
    // The innermost element started and not ended ("" when none).
    std::string Innermost() const {
        return open_.empty() ? std::string() : IntfXmlLocalText(open_.back()->getFullName()).str();
    }
    // Attribute values are checked against the limit here (where no gate
    // runs), in the family of encodings the byte check read.
    void CheckValues() { checkValues_ = true; }
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

    void CheckValue(const xc::XMLElementDecl& decl, const xc::XMLAttr& attr) const {
        const XMLCh* value = attr.getValue();
        const size_t units = xc::XMLString::stringLen(value);
        // A unit takes one to three bytes of UTF-8.
        if (units <= maxAttribute_ / 3)
            return;
        std::string utf8;
        if (units <= maxAttribute_)
            IntfXmlAppendUtf8(utf8, value, units);
        if (units > maxAttribute_ || utf8.size() > maxAttribute_)
            AttributeTooLong(IntfXmlLocalText(attr.getName()).str(),
                             IntfXmlLocalText(decl.getFullName()).str(), maxAttribute_);
    }

    IntfXmlSaxHandler& handler_;
    const char* id_;
    mutable bool passedOver_ = false;
    xc::VecAttrListImpl attrList_;
    size_t depth_ = 0;
    std::vector<const xc::XMLElementDecl*> open_; // elements started, not ended
    bool checkValues_ = false;
    size_t maxAttribute_ = IntfXmlMaxAttributeBytes();
    const char* family_ = "UTF-8";
    std::vector<Named> table_ = std::vector<Named>(256); // by declaration, open addressing
    std::deque<std::string> texts_; // the names, where they stay
};

// ---- attributes per start tag ------------------------------------------------------------
//
// The well-formedness scanner compares each attribute of a start tag with
// every earlier one of the same tag, so a tag of n attributes costs n*n/2
// comparisons. AttributeGate sees every byte before that scanner does and
// refuses a start tag with more than INTFXML_MAX_ATTRIBUTES attributes
// (counted as its equal signs outside quoted values) before the scanner
// reads it: reading time stays proportional to the document.
//
// Most tags are not looked at byte by byte: an attribute takes at least
// four bytes (name, "=", two quotes) and no value may hold a "<", so a tag
// followed by the next "<" within kShortTag bytes cannot hold too many.
// Only the markup starting at a "<" whose next "<" lies further (or beyond
// the bytes at hand) goes through a small state machine, as do comments,
// processing instructions and character data sections, whose contents may
// hold "<". The bytes must be ASCII-transparent (UTF-8 and the like), which
// is what the well-formedness scanner is chosen for.
//
// The gate also bounds what the scanner keeps whole: an attribute value, a
// comment, an instruction or a data section of more than
// IntfXmlMaxAttributeBytes() bytes is refused where it passes the limit.
// (A value holding a "<" is not followed by the machine, but the scanner
// refuses it at that "<".)
class AttributeGate {
public:
    // Looks at the next n bytes of the document. Returns how many of them
    // may go to the scanner: n, or fewer when a tag has one attribute too
    // many, whose equal sign is the first byte held back (Refused() tells).
    size_t Feed(const unsigned char* b, size_t n) {
        size_t pos = state_ == State::Idle ? 0 : Run(b, 0, n);
        size_t prev = kNone; // the last "<" met, its segment still open
        // Every "<" from pos on until one calls for the state machine; the
        // search then goes on from where the markup ended.
        while (pos < n && !refused_) {
            const size_t lt = Find(b, pos, n, prev);
            if (lt == kNone)
                break;
            pos = Start(b, lt, n);
            prev = kNone;
        }
        // The segment of the last "<" goes on beyond these bytes.
        if (prev != kNone && state_ == State::Idle && !refused_)
            Start(b, prev, n);
        return refused_ ? heldBack_ : n;
    }

    // Whether a tag was refused.
    bool Refused() const { return refused_; }
    // Throws the refusal.
    [[noreturn]] void ThrowRefusal() const {
        if (reason_ == Reason::LongValue)
            AttributeTooLong(std::string(attr_, attrLen_), std::string(element_, elementLen_),
                             maxValue_);
        if (reason_ == Reason::LongSection)
            IntfXmlThrow(INTFXML_ERR_MALFORMED,
                         "a comment, processing instruction or data section is longer than %zu "
                         "bytes",
                         maxSection_);
        TooManyAttributes();
    }

private:
    static constexpr size_t kNone = size_t(-1);
    static constexpr size_t kShortTag = 4 * size_t(INTFXML_MAX_ATTRIBUTES);

    enum class State : uint8_t {
        Idle,      // between markup
        AfterLt,   // after "<"
        AfterBang, // after "<!"
        AfterDash, // after "<!-"
        Tag,       // in a start tag (counted) or a declaration (not counted)
        EndTag,    // in an end tag
        Until,     // in a comment, instruction or data section, up to its end
    };

    // The first "<" from pos on whose markup the state machine must follow:
    // one that begins a comment, data section or instruction ("<!", "<?"),
    // or one (prev, the last before) followed by no other "<" for kShortTag
    // bytes; kNone when there is none before n. prev is the last "<" met.
    static size_t Find(const unsigned char* b, size_t pos, size_t n, size_t& prev) {
        // 16 bytes from blk: kNone to go on, else where the machine starts.
        auto block = [&](size_t blk) {
            unsigned special = 0;
            const unsigned m = LtMask(b, blk, n, special);
            if (!m)
                return kNone;
            const size_t first = blk + size_t(__builtin_ctz(m));
            if (prev != kNone && first - prev >= kShortTag)
                return prev; // the markup at prev may be long: counted in full
            if (special)
                return blk + size_t(__builtin_ctz(special));
            prev = blk + 31 - size_t(__builtin_clz(m));
            return kNone;
        };
        size_t blk = pos;
        while (blk < n) {
#if defined(__SSE2__)
            // 64 bytes at once when they hold no "!" or "?" (the rule), nor
            // does the byte after them follow a "<": then only the first "<"
            // of them can be far from the one before.
            if (blk + 65 <= n) {
                const __m128i lt = _mm_set1_epi8('<'), bang = _mm_set1_epi8('!'),
                              query = _mm_set1_epi8('?');
                __m128i marks = _mm_setzero_si128();
                uint64_t m = 0;
                for (int k = 0; k < 4; ++k) {
                    const __m128i v =
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + blk + 16 * k));
                    marks = _mm_or_si128(marks, _mm_or_si128(_mm_cmpeq_epi8(v, bang),
                                                             _mm_cmpeq_epi8(v, query)));
                    m |= uint64_t(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lt)))) << (16 * k);
                }
                const bool lastLt = (m >> 63) != 0;
                if (_mm_movemask_epi8(marks) == 0 &&
                    !(lastLt && (b[blk + 64] == '!' || b[blk + 64] == '?'))) {
                    if (m) {
                        const size_t first = blk + size_t(__builtin_ctzll(m));
                        if (prev != kNone && first - prev >= kShortTag)
                            return prev;
                        prev = blk + 63 - size_t(__builtin_clzll(m));
                    }
                    blk += 64;
                    continue;
                }
                for (const size_t end = blk + 64; blk < end; blk += 16)
                    if (const size_t at = block(blk); at != kNone)
                        return at;
                continue;
            }
#endif
            if (const size_t at = block(blk); at != kNone)
                return at;
            blk += 16;
        }
        return kNone;
    }

    // Bit k set where b[blk + k] is "<", for the up to 16 bytes from blk;
    // in `special` where that "<" is followed by "!" or "?" (a comment, a
    // data section, an instruction).
    static unsigned LtMask(const unsigned char* b, size_t blk, size_t n, unsigned& special) {
#if defined(__SSE2__)
        if (blk + 17 <= n) {
            const unsigned m = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + blk)), _mm_set1_epi8('<'))));
            if (m) {
                const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + blk + 1));
                special = m & unsigned(_mm_movemask_epi8(
                                  _mm_or_si128(_mm_cmpeq_epi8(next, _mm_set1_epi8('!')),
                                               _mm_cmpeq_epi8(next, _mm_set1_epi8('?')))));
            }
            return m;
        }
#endif
        unsigned m = 0;
        for (size_t k = 0; k < 16 && blk + k < n; ++k)
            if (b[blk + k] == '<') {
                m |= 1u << k;
                if (blk + k + 1 < n && (b[blk + k + 1] == '!' || b[blk + k + 1] == '?'))
                    special |= 1u << k;
            }
        return m;
    }

    size_t Start(const unsigned char* b, size_t lt, size_t n) {
        state_ = State::AfterLt;
        return Run(b, lt + 1, n);
    }

    // Runs the state machine from b[i]; returns where the markup ended (the
    // state is then Idle), or n.
    size_t Run(const unsigned char* b, size_t i, size_t n) {
        while (i < n) {
            const unsigned char c = b[i++];
            switch (state_) {
            case State::Idle:
                return i - 1;
            case State::AfterLt:
                if (c == '/') {
                    state_ = State::EndTag;
                } else if (c == '?') {
                    Until("?>");
                } else if (c == '!') {
                    state_ = State::AfterBang;
                } else {
                    state_ = State::Tag;
                    counting_ = true;
                    count_ = 0;
                    quote_ = 0;
                    elementLen_ = attrLen_ = 0;
                    inName_ = true;
                    Keep(element_, elementLen_, c);
                }
                break;
            case State::AfterBang:
                if (c == '-') {
                    state_ = State::AfterDash;
                } else if (c == '[') {
                    Until("]]>", 6); // "CDATA[" before the section's text
                } else {
                    state_ = State::Tag; // a declaration: not well-formed here
                    counting_ = false;
                    quote_ = 0;
                }
                break;
            case State::AfterDash:
                if (c == '-') {
                    Until("-->");
                } else {
                    state_ = State::Tag;
                    counting_ = false;
                    quote_ = 0;
                }
                break;
            case State::Tag:
                if (quote_) {
                    const size_t from = i - 1;
                    const void* end = std::memchr(b + from, quote_, n - from);
                    const size_t upto =
                        end ? size_t(static_cast<const unsigned char*>(end) - b) : n;
                    if (counting_) {
                        if (upto - from > maxValue_ - valueLen_) {
                            reason_ = Reason::LongValue;
                            Refuse(from + (maxValue_ - valueLen_));
                            return n;
                        }
                        valueLen_ += upto - from;
                    }
                    if (!end)
                        return n;
                    i = upto + 1;
                    quote_ = 0;
                } else if (c == '"' || c == '\'') {
                    quote_ = c;
                    valueLen_ = 0;
                    inName_ = false;
                } else if (counting_ && c != '=' && c != '>' && c != '/') {
                    // The element's name, then each attribute's.
                    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
                        inName_ = false;
                        attrStart_ = true;
                    } else if (inName_) {
                        Keep(element_, elementLen_, c);
                    } else {
                        if (attrStart_)
                            attrLen_ = 0;
                        attrStart_ = false;
                        Keep(attr_, attrLen_, c);
                    }
                } else if (c == '>') {
                    state_ = State::Idle;
                    return i;
                } else if (c == '=' && counting_ && ++count_ > INTFXML_MAX_ATTRIBUTES) {
                    Refuse(i - 1);
                    return n;
                }
                break;
            case State::EndTag: {
                const void* end = std::memchr(b + i - 1, '>', n - (i - 1));
                if (!end)
                    return n;
                state_ = State::Idle;
                return size_t(static_cast<const unsigned char*>(end) - b) + 1;
            }
            case State::Until:
                if (++runLen_ > maxSection_ + runSkip_) {
                    reason_ = Reason::LongSection;
                    Refuse(i - 1);
                    return n;
                }
                if (c == until_[matched_]) {
                    if (until_[++matched_] == '\0') {
                        state_ = State::Idle;
                        return i;
                    }
                } else if (c == until_[0]) {
                    // "--" and "]]" stay matched when a third "-" or "]" follows.
                    matched_ = (matched_ == 2 && until_[1] == until_[0]) ? 2 : 1;
                } else {
                    matched_ = 0;
                }
                break;
            }
        }
        return n;
    }

    // `skip`: bytes before the text, which the limit does not count (nor
    // the end's).
    void Until(const char* end, size_t skip = 0) {
        state_ = State::Until;
        until_ = end;
        matched_ = 0;
        runLen_ = 0;
        runSkip_ = skip + std::strlen(end);
    }

    // Keeps the first bytes of a name for the refusal's message.
    static void Keep(char* to, size_t& length, unsigned char c) {
        if (length < kNameBytes)
            to[length++] = char(c);
    }

    void Refuse(size_t at) {
        refused_ = true;
        heldBack_ = at;
    }

    State state_ = State::Idle;
    bool counting_ = false;
    unsigned char quote_ = 0;
    const char* until_ = "";
    uint8_t matched_ = 0;
    int count_ = 0;
    bool refused_ = false;
    size_t heldBack_ = 0; // where the bytes were cut off
    enum class Reason : uint8_t { TooMany, LongValue, LongSection } reason_ = Reason::TooMany;
    size_t maxValue_ = IntfXmlMaxAttributeBytes();
    size_t maxSection_ = IntfXmlMaxAttributeBytes();
    size_t valueLen_ = 0; // bytes of the quoted value so far
    size_t runLen_ = 0;   // bytes of the comment, instruction or section so far
    size_t runSkip_ = 0;
    // The start tag's name and its latest attribute's name (their first
    // kNameBytes bytes).
    static constexpr size_t kNameBytes = 64;
    char element_[kNameBytes];
    char attr_[kNameBytes];
    size_t elementLen_ = 0;
    size_t attrLen_ = 0;
    bool inName_ = false;
    bool attrStart_ = false;
};

// ---- bytes of the encoding ----------------------------------------------------------------
//
// ByteCheck sees every byte before the scanner does, in the encoding the
// document is read in, and refuses the first one that encoding cannot
// decode (or a NUL, which no document may hold) with its own line, column
// and value: the scanner decodes ahead of where it stands and would tell
// such a byte at the wrong place, as the replacement character. Lines end
// at a line feed, a carriage return, or both; columns count characters.

class ByteCheck {
public:
    enum class Kind : uint8_t { Utf8, Ascii, Latin1, Utf16LE, Utf16BE };

    // `bom`: the input begins with a byte order mark, which is no column.
    ByteCheck(Kind kind, bool bom) : kind_(kind), col_(bom ? -1 : 0) {}

    // Looks at the next n bytes; returns how many of them are sound: n, or
    // fewer when a byte was refused (Failed() tells; the refused character
    // is the first byte held back).
    size_t Feed(const unsigned char* b, size_t n) {
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

    // The input ended: a character left open is refused.
    void End() {
        if (failed_)
            return;
        if (need_ != 0)
            Fail(seqLine_, seqCol_, "the document ends inside a UTF-8 character (" + Bytes() + ")");
        else if (high_ != 0)
            Fail(seqLine_, seqCol_, "an unpaired UTF-16 surrogate " + Hex(high_, 4));
        else if (haveOdd_)
            Fail(line_, col_ + 1, "the document ends inside a UTF-16 character");
    }

    bool Failed() const { return failed_; }
    [[noreturn]] void Throw() const { throw IntfXmlError(INTFXML_ERR_PARSE, reason_, where_); }

private:
    // One byte of an 8-bit encoding or of UTF-8; false when it is refused
    // (held_ then tells how many bytes before it, of its character, were
    // sound so far).
    bool Byte(unsigned char c) {
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
    void Char(uint32_t c) {
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

    size_t Feed16(const unsigned char* b, size_t n) {
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

    static std::string Hex(uint32_t v, int digits = 2) {
        char text[12];
        std::snprintf(text, sizeof text, "0x%0*X", digits, unsigned(v));
        return text;
    }
    std::string Bytes() const {
        std::string text = "bytes";
        for (size_t k = 0; k < seqLen_; ++k)
            text.append(" ").append(Hex(seq_[k]));
        return text;
    }
    void Fail(uint64_t line, int64_t col, std::string reason) {
        failed_ = true;
        reason_ = std::move(reason);
        where_ = "line " + std::to_string(line) + ", column " + std::to_string(col);
    }

    Kind kind_;
    uint64_t line_ = 1;
    int64_t col_;          // characters of the current line so far
    bool prevCR_ = false;  // the last character was a carriage return
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
struct EncodingChoice {
    ByteCheck::Kind kind = ByteCheck::Kind::Utf8;
    const char* family = kUtf8;
    bool bom = false;
    std::string refusal; // not empty: the document is not read
};

// The encoding name that the XML declaration at the start of `ascii`
// gives ("" when there is none), and its column (from 1).
std::string DeclaredEncoding(std::string_view ascii, size_t& column) {
    if (ascii.substr(0, 5) != "<?xml" || ascii.size() < 6 ||
        !std::strchr(" \t\r\n", ascii[5]))
        return std::string();
    const size_t end = ascii.find("?>");
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

EncodingChoice ChooseEncoding(const unsigned char* h, size_t n) {
    EncodingChoice choice;
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
    size_t skip = 0;
    if (starts({0xFF, 0xFE, 0, 0}) || starts({0, 0, 0xFE, 0xFF}) || starts({0, 0, 0, '<'}) ||
        starts({'<', 0, 0, 0}))
        return refuse("UCS-4");
    if (starts({0x4C, 0x6F, 0xA7, 0x94}))
        return refuse("EBCDIC");
    const bool le = starts({0xFF, 0xFE}) || starts({'<', 0, '?', 0});
    const bool be = starts({0xFE, 0xFF}) || starts({0, '<', 0, '?'});
    if (le || be) {
        choice.kind = le ? ByteCheck::Kind::Utf16LE : ByteCheck::Kind::Utf16BE;
        choice.family = kUtf16;
        choice.bom = h[0] >= 0xFE;
        for (size_t k = choice.bom ? 2 : 0; k + 1 < n && ascii.size() < 512; k += 2)
            ascii.push_back(char(le ? h[k] : h[k + 1]));
    } else {
        if (starts({0xEF, 0xBB, 0xBF})) {
            choice.bom = true;
            skip = 3;
        }
        ascii.assign(reinterpret_cast<const char*>(h) + skip, std::min<size_t>(n - skip, 512));
    }
    size_t column = 0;
    const std::string name = DeclaredEncoding(ascii, column);
    if (name.empty())
        return choice;
    const char* family = FamilyOf(name);
    if (!family || (choice.family == kUtf16) != (family == kUtf16) ||
        (choice.bom && family != choice.family)) {
        choice.refusal = "line 1, column " + std::to_string(column) + ": " +
                         UnreadEncodingText(name, choice.family);
        return choice;
    }
    choice.family = family;
    if (family == kAscii)
        choice.kind = ByteCheck::Kind::Ascii;
    else if (family == kLatin1)
        choice.kind = ByteCheck::Kind::Latin1;
    return choice;
}

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
// declared US-ASCII or ISO-8859-1, the others being refused before: see
// ChooseEncoding; the attribute gate relies on it). Any other start (a
// document type declaration, another encoding, a prolog longer than the
// bytes read ahead, bytes that are no document at all) goes to the general
// scanner as before, which reports what it always reported. Both scanners
// read the prolog with the same code.

// How many bytes are read ahead.
constexpr size_t kLookAhead = 4096;

// Whether the encoding an XML declaration names (none: UTF-8) keeps every
// byte below 0x80 an ASCII character.
bool AsciiTransparent(std::string_view declaration) {
    const size_t at = declaration.find("encoding");
    if (at == std::string_view::npos)
        return true;
    size_t i = declaration.find_first_of("\"'", at);
    if (i == std::string_view::npos)
        return false;
    const size_t end = declaration.find(declaration[i], i + 1);
    if (end == std::string_view::npos)
        return false;
    const std::string name(declaration.substr(i + 1, end - i - 1));
    auto is = [&](const char* what) { return ::strcasecmp(name.c_str(), what) == 0; };
    auto starts = [&](const char* what) {
        return ::strncasecmp(name.c_str(), what, std::strlen(what)) == 0;
    };
    return is("UTF-8") || is("US-ASCII") || is("ASCII") || starts("ISO-8859-") ||
           starts("WINDOWS-125");
}

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
            const size_t start = i;
            if ((i = find(i + 2, "?>")) == 0)
                return false;
            if (start + 6 <= i && std::memcmp(bytes + start, "<?xml", 5) == 0 &&
                std::strchr(" \t\r\n", bytes[start + 5]) &&
                !AsciiTransparent(std::string_view(reinterpret_cast<const char*>(bytes) + start,
                                                   i - start)))
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
    // From now on every byte handed out passes the attribute gate first.
    void Gate() { gated_ = true; }
    // Every byte passes `check` first; those read ahead at once (a refusal
    // among them is thrown here, before the parse).
    void Check(const EncodingChoice& choice) {
        check_ = std::make_unique<ByteCheck>(choice.kind, choice.bom);
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
    AttributeGate gate_;
    std::unique_ptr<ByteCheck> check_;
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
    IntfXmlSaxHandler handler(top);
    BoundedMemory memory;
    xc::SecurityManager security;
    security.setEntityExpansionLimit(1000);
    try {
        std::unique_ptr<LookAheadSource> ahead;
        bool plain = false;
        EncodingChoice choice;
        if (std::unique_ptr<xc::BinInputStream> made{source.makeStream()}) {
            std::unique_ptr<LookAheadStream> stream(new LookAheadStream(std::move(made)));
            if (stream->Head().empty())
                throw IntfXmlError(INTFXML_ERR_PARSE, "empty document");
            choice = ChooseEncoding(stream->Head().data(), stream->Head().size());
            if (!choice.refusal.empty())
                throw IntfXmlError(INTFXML_ERR_PARSE, choice.refusal, std::string());
            stream->Check(choice);
            plain = scanner == IntfXmlScanner::Chosen
                        ? PlainPrologThenRoot(stream->Head().data(), stream->Head().size())
                        : scanner == IntfXmlScanner::WellFormed;
            if (plain)
                stream->Gate();
            ahead = std::make_unique<LookAheadSource>(source, std::move(stream));
        }
        std::unique_ptr<DirectParser> parser = std::make_unique<DirectParser>(handler, id, &memory);
        ParsingScope parsing(parser.get());
        if (plain)
            parser->useScanner(xc::XMLUni::fgWFXMLScanner);
        else
            parser->CheckValues();
        parser->SetFamily(choice.family);
        parser->setValidationScheme(xc::SAXParser::Val_Never);
        parser->setDoNamespaces(false);
        parser->setDoSchema(false);
        parser->setLoadExternalDTD(false);
        // Documents are untrusted: no external entities, bounded expansion.
        parser->setDisableDefaultEntityResolution(true);
        parser->setSecurityManager(&security);
        // Installed so that the scanner reports to the parser at all; the
        // parser hands the events on itself (DirectParser).
        parser->setDocumentHandler(&handler);
        parser->setErrorHandler(&handler);
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
        throw IntfXmlError(INTFXML_ERR_PARSE,
                           IntfXmlReadFailure(id, IntfXmlLocalText(e.getMessage()).str()));
    } catch (const xc::SAXException& e) {
        throw IntfXmlError(INTFXML_ERR_PARSE,
                           IntfXmlReadFailure(id, IntfXmlLocalText(e.getMessage()).str()));
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

std::string IntfXmlParsePosition() {
    const xc::Locator* at = t_parsing ? t_parsing->Where() : nullptr;
    if (!at || at->getLineNumber() == 0)
        return std::string();
    return "line " + std::to_string(at->getLineNumber()) + ", column " +
           std::to_string(at->getColumnNumber());
}

void IntfXmlTellPassedOver(const char* what) {
    if (!t_parsing) {
        btk_tell("%s", what);
        return;
    }
    if (!t_parsing->FirstPassedOver())
        return;
    const std::string where = IntfXmlParsePosition();
    btk_tell("document \"%s\"%s%s: %s", t_parsing->Id() ? t_parsing->Id() : "",
             where.empty() ? "" : ", ", where.c_str(), what);
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
