// Element binding framework: errors, reader ownership and the name stack,
// attribute getters and strict number texts.
#include "xml/framework/xml_element.h"

#include "btk_quoted.h"
#include "kernel/records/wide_name.h"
#include "process.h"
#include "xexcept.h"
#include "xml/framework/sax_handler.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <type_traits>

// ---- errors ----------------------------------------------------------------------

IntfXmlError::IntfXmlError(int status, std::string message)
    : btkString(btkString::FromInt(status)), status_(status), message_(std::move(message)),
      where_(IntfXmlParsePosition()) {}

IntfXmlError::IntfXmlError(int status, std::string message, std::string where)
    : btkString(btkString::FromInt(status)), status_(status), message_(std::move(message)),
      where_(std::move(where)) {}

namespace {
std::atomic<size_t> g_maxText{0};
std::atomic<size_t> g_maxAttribute{0};
} // namespace

void IntfXmlTestHooks::SetReadLimits(size_t textBytes, size_t attributeBytes) {
    g_maxText.store(textBytes, std::memory_order_relaxed);
    g_maxAttribute.store(attributeBytes, std::memory_order_relaxed);
}

size_t IntfXmlMaxTextBytes() {
    const size_t lowered = g_maxText.load(std::memory_order_relaxed);
    return lowered != 0 && lowered < INTFXML_MAX_TEXT_BYTES ? lowered : INTFXML_MAX_TEXT_BYTES;
}

size_t IntfXmlMaxAttributeBytes() {
    const size_t lowered = g_maxAttribute.load(std::memory_order_relaxed);
    return lowered != 0 && lowered < INTFXML_MAX_ATTRIBUTE_BYTES ? lowered
                                                                  : INTFXML_MAX_ATTRIBUTE_BYTES;
}

void IntfXmlThrow(int status, const char* format, ...) {
    char buf[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    throw IntfXmlError(status, buf);
}

void IntfXmlThrowStatus(int status, const char* routine) {
    IntfXmlThrow(status, "%s failed with status %d", routine ? routine : "a record routine",
                 status);
}

void IntfXmlThrowUnexpected(const char* child, const char* parent) {
    // Names the document holds: quoted on the line's one line, bounded.
    IntfXmlThrow(INTFXML_ERR_MALFORMED, "element %s is not expected in %s",
                 IntfXmlQuotedName(child).c_str(), IntfXmlQuotedName(parent).c_str());
}

void IntfXmlThrowMissing(const char* child, const char* element) {
    IntfXmlThrow(INTFXML_ERR_MALFORMED, "%s lacks its %s", IntfXmlQuotedName(element).c_str(),
                 IntfXmlQuotedName(child).c_str());
}

void IntfXmlRefuseFault(const std::string& fault) {
    // Whole, however deep its place: a fault within nested composites is
    // longer than IntfXmlThrow's buffer, which would cut off its reason.
    if (!fault.empty())
        throw IntfXmlError(INTFXML_ERR_RECORD, fault);
}

void IntfXmlTellReadFault(const std::string& fault, IntfXmlPassed kind) {
    if (!fault.empty())
        IntfXmlTellPassedOver(kind,
                              [&] { return fault + ": read as it stands; the writers refuse it"; });
}

namespace {

// `before` and a refusal: joined at once when the refusal begins with a
// place (", its curve: ..."), else by ": ".
std::string PutBefore(const std::string& before, const std::string& said) {
    return before + (said.compare(0, 2, ", ") == 0 ? "" : ": ") + said;
}

} // namespace

void IntfXmlRethrowNaming(const IntfXmlError& error, const std::string& item) {
    const std::string said = error.Message();
    if (error.Status() != INTFXML_ERR_RECORD ||
        (said.compare(0, item.size(), item) == 0 && said.size() > item.size() &&
         std::strchr(":, ", said[item.size()])))
        throw;
    throw IntfXmlError(error.Status(), PutBefore(item, said));
}

void IntfXmlRethrowPlacing(const IntfXmlError& error, const std::string& place) {
    if (error.Status() != INTFXML_ERR_RECORD)
        throw;
    throw IntfXmlError(error.Status(), PutBefore(place, error.Message()));
}

void IntfXmlThrowWrongParent() {
    IntfXmlThrow(INTFXML_ERR_MALFORMED, "a reader was made under a parent of another kind");
}

std::string IntfXmlQuotedName(const char* name) {
    return btkQuotedCut(name ? name : "");
}

std::string IntfXmlReadFailure(const char* path, const std::string& reason) {
    return "cannot read " + btkQuoted(path ? path : "") + ": " + reason;
}

void IntfXmlTellFailure(const std::string& text) { btk_tell("%s", text.c_str()); }

// ---- what a read passes over --------------------------------------------------------

namespace {
// The tally of the parse running on this thread (null outside a parse).
thread_local IntfXmlPassedOverTally* t_tally = nullptr;
} // namespace

IntfXmlPassedOverTally::IntfXmlPassedOverTally(const char* document)
    : document_(document ? document : ""), outer_(t_tally) {
    t_tally = this;
}

IntfXmlPassedOverTally::~IntfXmlPassedOverTally() {
    t_tally = outer_;
    for (size_t i = 0; i < met_; ++i) {
        const size_t k = order_[i];
        try {
            std::string line = lines_[k];
            if (line.empty()) // its text could not be made
                continue;
            if (counts_[k] > 1)
                line += "; " + std::to_string(counts_[k] - 1) + " more like it";
            btk_tell("%s", line.c_str());
        } catch (...) { // out of memory: the other kinds are still told
        }
    }
}

bool IntfXmlCountPassedOver(IntfXmlPassed kind, size_t places) {
    IntfXmlPassedOverTally* tally = t_tally;
    const size_t k = size_t(kind);
    if (!tally || k >= IntfXmlPassedOverTally::kKinds)
        return true;
    const bool first = tally->counts_[k] == 0;
    if (first && places > 0)
        tally->order_[tally->met_++] = uint8_t(k);
    tally->counts_[k] += places;
    return first && places > 0;
}

void IntfXmlSayPassedOver(IntfXmlPassed kind, const std::string& what) {
    IntfXmlPassedOverTally* tally = t_tally;
    const size_t k = size_t(kind);
    if (!tally || k >= IntfXmlPassedOverTally::kKinds) {
        btk_tell("%s", what.c_str());
        return;
    }
    if (tally->counts_[k] == 0)
        IntfXmlCountPassedOver(kind);
    if (!tally->lines_[k].empty())
        return;
    const std::string where = IntfXmlParsePosition();
    tally->lines_[k] = "document " + btkQuoted(tally->document_) + (where.empty() ? "" : ", ") +
                       where + ": " + what;
}

void IntfXmlTellPassedOver(IntfXmlPassed kind, const char* what) {
    if (IntfXmlCountPassedOver(kind))
        IntfXmlSayPassedOver(kind, what ? what : "");
}

void IntfXmlTellMissingAttrib(const char* element, const char* name, unsigned pos,
                              const char* readAs) {
    IntfXmlTellPassedOver(IntfXmlPassed::AttribMissing, [&] {
        const std::string tag = element ? std::string(element) : IntfXmlStartTagName();
        char text[400];
        std::snprintf(text, sizeof text, "%s lacks the attribute %s at position %u: read as %.60s",
                      IntfXmlQuotedName(tag.c_str()).c_str(), IntfXmlQuotedName(name).c_str(), pos,
                      readAs ? readAs : "");
        return std::string(text);
    });
}

void IntfXmlTellMissingChild(const char* element, const char* child, const char* readAs) {
    IntfXmlTellPassedOver(IntfXmlPassed::ChildMissing, [&] {
        char text[400];
        std::snprintf(text, sizeof text, "%s lacks its %s: read as %.60s",
                      IntfXmlQuotedName(element).c_str(), IntfXmlQuotedName(child).c_str(), readAs);
        return std::string(text);
    });
}

void IntfXmlSeeOnce(bool& seen, const char* child, const char* element) {
    if (seen)
        IntfXmlTellPassedOver(IntfXmlPassed::ChildTwice, [&] {
            char text[400];
            std::snprintf(text, sizeof text, "%s appears twice in %s: the later one is read",
                          IntfXmlQuotedName(child).c_str(), IntfXmlQuotedName(element).c_str());
            return std::string(text);
        });
    seen = true;
}

void IntfXmlSeeOnce(unsigned& seen, unsigned bit, const char* child, const char* element) {
    bool before = (seen & bit) != 0;
    IntfXmlSeeOnce(before, child, element);
    seen |= bit;
}

void IntfXmlTellTextNotRead(const char* element) {
    IntfXmlTellPassedOver(IntfXmlPassed::TextNotRead,
                          [&] { return btkQuotedCut(element) + " holds a text, which is not read"; });
}

void IntfXmlTellTextNotRead(const char* element, std::string_view text) {
    if (text.find_first_not_of(" \t\r\n") != std::string_view::npos)
        IntfXmlTellTextNotRead(element);
}

std::string IntfXmlAttribNotReadText(const char* element, const char* name) {
    return btkQuotedCut(element) + " holds the attribute " + btkQuotedCut(name) +
           ", which is not read";
}

void IntfXmlTakeAttributes(IntfXmlAttributes& attrs) {
    for (XMLSize_t i = 0; i < attrs.getLength(); ++i)
        attrs.getValue(i);
}

void IntfXmlTellElementNotRead(const char* name, IntfXmlAttributes& attrs) {
    IntfXmlTakeAttributes(attrs);
    IntfXmlTellPassedOver(IntfXmlPassed::ElementNotRead,
                          [&] { return "the element " + btkQuotedCut(name) + " is not read"; });
}

void IntfXmlTellValuesPast(const char* element, size_t held, size_t read, bool sized,
                           const std::function<std::string()>& item) {
    IntfXmlTellPassedOver(
        sized ? IntfXmlPassed::ValuesPastSize : IntfXmlPassed::NumbersPastValue, [&] {
            char text[300];
            if (sized)
                std::snprintf(text, sizeof text,
                              "%s holds %zu values where its size says %zu: the values "
                              "past the size are not read",
                              IntfXmlQuotedName(element).c_str(), held, read);
            else
                std::snprintf(text, sizeof text,
                              "%s holds %zu numbers, of which the first %zu are read",
                              IntfXmlQuotedName(element).c_str(), held, read);
            return item ? item() + ": " + text : std::string(text);
        });
}

std::string IntfXmlCaughtText(bool* namesDocument) {
    if (namesDocument)
        *namesDocument = false;
    try {
        throw;
    } catch (const IntfXmlError& e) {
        if (namesDocument)
            *namesDocument = true;
        return e.Message();
    } catch (const xthrown& e) { // the library's words, as IntfXmlError's
        return e.what();
    } catch (const std::exception& e) {
        // Words the library did not make (a translator's, which may quote
        // what the host gave it): escaped where they stand.
        return btkEscaped(e.what());
    } catch (...) {
        return "an unknown failure";
    }
}

void IntfXmlTellCaught(const char* doing, const char* path) {
    bool named = false;
    const std::string why = IntfXmlCaughtText(&named);
    IntfXmlTellFailure(named ? why
                             : std::string("cannot ") + (doing ? doing : "use") + " " +
                                   btkQuoted(path ? path : "") + ": " + why);
}

// ---- bindings ----------------------------------------------------------------------

void IntfXmlChildList::erase(size_t i) {
    for (size_t k = i; k + 1 < size_; ++k) {
        IntfXmlElement* next = (*this)[k + 1];
        if (k < kInline)
            inline_[k] = next;
        else
            more_[k - kInline] = next;
    }
    if (size_ > kInline)
        more_.pop_back();
    --size_;
}

namespace {

// Blocks of released readers, by size in steps of 16 bytes, for the next
// readers of the same size made on this thread. A list holds a bounded
// number of blocks; the rest go back to the heap.
class ReaderBlocks {
public:
    static constexpr size_t kStep = 16;
    static constexpr size_t kClasses = 64; // readers up to 1 KB
    static constexpr uint32_t kKept = 256; // blocks kept per size

    ~ReaderBlocks();
    void* Take(size_t c) {
        Block* b = heads_[c];
        if (!b)
            return nullptr;
        heads_[c] = b->next;
        --counts_[c];
        return b;
    }
    bool Keep(void* block, size_t c) {
        if (counts_[c] >= kKept)
            return false;
        Block* b = static_cast<Block*>(block);
        b->next = heads_[c];
        heads_[c] = b;
        ++counts_[c];
        return true;
    }

private:
    struct Block {
        Block* next;
    };
    Block* heads_[kClasses] = {};
    uint32_t counts_[kClasses] = {};
};

// The thread's lists live on the heap, made on first use and deleted when
// the thread ends; only pointers to them are thread-local, so that the
// library's static TLS need stays a few pointers (a host that dlopen's it
// after other modules finds room for them). The pointer read for every
// reader is kept where the thread pointer finds it without a call; once the
// lists are gone, readers released later, while the thread ends, go back to
// the heap.
__thread ReaderBlocks* t_blocks __attribute__((tls_model("initial-exec"))) = nullptr;
__thread bool t_readerBlocksGone __attribute__((tls_model("initial-exec"))) = false;

struct OwnedReaderBlocks {
    ReaderBlocks* blocks = nullptr;
    ~OwnedReaderBlocks() {
        t_readerBlocksGone = true;
        t_blocks = nullptr;
        delete blocks;
    }
};
thread_local OwnedReaderBlocks t_ownedBlocks;

ReaderBlocks* Blocks() {
    if (ReaderBlocks* b = t_blocks)
        return b;
    if (t_readerBlocksGone)
        return nullptr;
    return t_blocks = t_ownedBlocks.blocks = new ReaderBlocks();
}

ReaderBlocks::~ReaderBlocks() {
    for (size_t c = 0; c < kClasses; ++c)
        while (Block* b = heads_[c]) {
            heads_[c] = b->next;
            ::operator delete(b);
        }
}

size_t SizeClass(size_t size) { return (size + ReaderBlocks::kStep - 1) / ReaderBlocks::kStep; }

} // namespace

void* IntfXmlNode::operator new(std::size_t size) {
    const size_t c = SizeClass(size);
    if (c >= ReaderBlocks::kClasses)
        return ::operator new(size);
    if (ReaderBlocks* blocks = Blocks())
        if (void* block = blocks->Take(c))
            return block;
    // Every block of a size class is as large as the class, so that any
    // reader of the class fits in it.
    return ::operator new(c * ReaderBlocks::kStep);
}

void IntfXmlNode::operator delete(void* block, std::size_t size) {
    if (!block)
        return;
    const size_t c = SizeClass(size);
    if (c < ReaderBlocks::kClasses)
        if (ReaderBlocks* blocks = Blocks(); blocks && blocks->Keep(block, c))
            return;
    ::operator delete(block);
}

IntfXmlNode::~IntfXmlNode() = default;

IntfXmlElement::~IntfXmlElement() {
    // Children made last go first.
    for (size_t i = owned_.size(); i-- > 0;)
        delete owned_[i];
}

IntfXmlElement* IntfXmlElement::startElement(const char* name, IntfXmlAttributes&) {
    PushName(name);
    return this;
}

void IntfXmlElement::characters(const char* text, unsigned length) {
    // A long text grows straight to the limit (the SAX handler refuses one
    // beyond it) rather than doubling past it: what it holds stays near the
    // limit.
    if (length > text_.capacity() - text_.size()) {
        const size_t limit = IntfXmlMaxTextBytes();
        if (text_.capacity() > limit / 4 && text_.size() + length <= limit)
            text_.reserve(limit);
    }
    text_.append(text, length);
}

IntfXmlElement* IntfXmlElement::endElement(const char*) { return parent_; }

void IntfXmlElement::EndValue(int, std::string_view, const char*) {}

void IntfXmlElement::Adopt(IntfXmlElement* child) { owned_.push_back(child); }

bool IntfXmlElement::DeleteChild(IntfXmlElement* child) {
    // Lists dispose of the item that ended last, so search from the back.
    for (size_t i = owned_.size(); i-- > 0;) {
        if (owned_[i] == child) {
            owned_.erase(i);
            delete child;
            return true;
        }
    }
    return false;
}

bool IntfXmlElement::PopName(const char* ending) {
    if (names_.empty())
        return false;
    bool same = names_.back() == (ending ? ending : "");
    names_.pop();
    return same;
}

const std::string& IntfXmlElement::TopName() const {
    static const std::string empty;
    return names_.empty() ? empty : names_.back();
}

// ---- attributes ----------------------------------------------------------------------

namespace {

// The value of the attribute at `pos` when it has the name; null otherwise.
const XMLCh* AttribAt(const char* name, IntfXmlAttributes& attrs, unsigned pos) {
    if (!name || pos >= attrs.getLength())
        return nullptr;
    const XMLCh* n = attrs.getName(pos);
    if (!n)
        return nullptr;
    // Compare without converting: attribute names are ASCII.
    size_t i = 0;
    for (; name[i] != '\0'; ++i)
        if (n[i] != XMLCh(static_cast<unsigned char>(name[i])))
            return nullptr;
    if (n[i] != 0)
        return nullptr;
    return attrs.getValue(pos);
}

std::string Utf8Of(const XMLCh* value) {
    std::string out;
    if (value) {
        size_t len = 0;
        while (value[len])
            ++len;
        IntfXmlAppendUtf8(out, value, len);
    }
    return out;
}

// The value of the attribute at `pos` when it has the name; otherwise null,
// and told, reading as `readAs`.
const XMLCh* ToldAttrib(const char* name, IntfXmlAttributes* attrs, unsigned pos,
                        const char* readAs) {
    const XMLCh* v = attrs ? AttribAt(name, *attrs, pos) : nullptr;
    if (!v)
        IntfXmlTellMissingAttrib(nullptr, name, pos, readAs);
    return v;
}

// A value that is not a number, told, reading as `readAs`.
void TellNotANumber(const char* name, const std::string& value, const char* what,
                    const char* readAs) {
    IntfXmlTellPassedOver(IntfXmlPassed::AttribNotANumber, [&] {
        const std::string tag = IntfXmlStartTagName();
        char text[400];
        std::snprintf(text, sizeof text, "attribute %s of %s is not %s: %s; read as %s",
                      IntfXmlQuotedName(name).c_str(), IntfXmlQuotedName(tag.c_str()).c_str(), what,
                      kname::Shown(value).c_str(), readAs);
        return std::string(text);
    });
}

} // namespace

std::string_view IntfXmlTrim(std::string_view t) {
    size_t b = 0, e = t.size();
    while (b < e && (t[b] == ' ' || t[b] == '\t' || t[b] == '\n' || t[b] == '\r'))
        ++b;
    while (e > b && (t[e - 1] == ' ' || t[e - 1] == '\t' || t[e - 1] == '\n' || t[e - 1] == '\r'))
        --e;
    return t.substr(b, e - b);
}

int GetIntegerAttribValue(const char* name, IntfXmlAttributes* attrs, unsigned pos) {
    int32_t result = -1;
    if (const XMLCh* v = ToldAttrib(name, attrs, pos, "-1")) {
        const std::string value = Utf8Of(v);
        if (!IntfXmlToInt(IntfXmlTrim(value), result))
            TellNotANumber(name, value, "an integer", "-1");
    }
    return result;
}

btkString GetStringAttribValue(const char* name, IntfXmlAttributes* attrs, unsigned pos) {
    if (const XMLCh* v = ToldAttrib(name, attrs, pos, "an empty text"))
        return btkString(Utf8Of(v));
    return btkString();
}

double GetDoubleAttribValue(const char* name, IntfXmlAttributes* attrs, unsigned pos) {
    double result = -1.0;
    if (const XMLCh* v = ToldAttrib(name, attrs, pos, "-1")) {
        const std::string value = Utf8Of(v);
        if (!IntfXmlToDouble(IntfXmlTrim(value), result))
            TellNotANumber(name, value, "a number", "-1");
    }
    return result;
}

bool IntfXmlHasAttrib(const char* name, IntfXmlAttributes& attrs, unsigned pos) {
    return AttribAt(name, attrs, pos) != nullptr;
}

namespace {
const XMLCh* RequireAttrib(const char* name, IntfXmlAttributes& attrs, unsigned pos,
                           const char* element) {
    const XMLCh* v = AttribAt(name, attrs, pos);
    if (!v)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "%s lacks the attribute %s at position %u",
                     IntfXmlQuotedName(element).c_str(), IntfXmlQuotedName(name).c_str(), pos);
    return v;
}
} // namespace

namespace {
bool IsBlank16(XMLCh c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// An attribute value that is an integer of at most 9 digits, with an
// optional sign and blanks around it, as the general path takes it; false
// for anything else (which the general path then decides on).
bool QuickInt(const XMLCh* v, int32_t& out) {
    size_t i = 0;
    while (IsBlank16(v[i]))
        ++i;
    const bool minus = v[i] == '-';
    if (minus || v[i] == '+')
        ++i;
    const size_t first = i;
    uint32_t n = 0;
    while (i - first < 9 && unsigned(v[i] - '0') < 10) {
        n = n * 10 + unsigned(v[i] - '0');
        ++i;
    }
    if (i == first)
        return false;
    while (IsBlank16(v[i]))
        ++i;
    if (v[i] != 0)
        return false;
    out = minus ? -int32_t(n) : int32_t(n);
    return true;
}

// The value `v` of attribute `name` read as a T; `what` names the kind of
// number in the error. Values (numbers, as a rule) are taken as they stand
// when they are short ASCII, else through their UTF-8 form.
template <class T>
T NumberOf(const XMLCh* v, const char* name, const char* element,
           bool (*parse)(std::string_view, T&), const char* what) {
    if constexpr (std::is_same_v<T, int32_t>) {
        // The rule: a short integer, perhaps with blanks around it.
        int32_t quick = 0;
        if (QuickInt(v, quick))
            return quick;
    }
    char buf[64];
    size_t n = 0;
    while (n < sizeof buf && v[n] != 0 && v[n] < 0x80) {
        buf[n] = char(v[n]);
        ++n;
    }
    std::string slow;
    std::string_view text(buf, n);
    if (n == sizeof buf || v[n] != 0) {
        slow = Utf8Of(v);
        text = slow;
    }
    T out = 0;
    if (!parse(IntfXmlTrim(text), out))
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "attribute %s of %s is not %s: %s",
                     IntfXmlQuotedName(name).c_str(), IntfXmlQuotedName(element).c_str(), what,
                     kname::Shown(text).c_str());
    return out;
}
} // namespace

int32_t IntfXmlRequireInt(const char* name, IntfXmlAttributes& attrs, unsigned pos,
                          const char* element) {
    return NumberOf<int32_t>(RequireAttrib(name, attrs, pos, element), name, element,
                             IntfXmlToInt, "an integer");
}

int32_t IntfXmlOptionalInt(const char* name, IntfXmlAttributes& attrs, unsigned pos,
                           int32_t fallback, const char* element) {
    const XMLCh* v = AttribAt(name, attrs, pos);
    return v ? NumberOf<int32_t>(v, name, element, IntfXmlToInt, "an integer") : fallback;
}

int32_t IntfXmlWrittenInt(const char* name, IntfXmlAttributes& attrs, unsigned pos,
                          int32_t fallback, const char* element) {
    if (const XMLCh* v = AttribAt(name, attrs, pos))
        return NumberOf<int32_t>(v, name, element, IntfXmlToInt, "an integer");
    IntfXmlTellMissingAttrib(element, name, pos, std::to_string(fallback).c_str());
    return fallback;
}

double IntfXmlRequireDouble(const char* name, IntfXmlAttributes& attrs, unsigned pos,
                            const char* element) {
    return NumberOf<double>(RequireAttrib(name, attrs, pos, element), name, element,
                            IntfXmlToDouble, "a number");
}

btkString IntfXmlRequireString(const char* name, IntfXmlAttributes& attrs, unsigned pos,
                               const char* element) {
    return btkString(Utf8Of(RequireAttrib(name, attrs, pos, element)));
}

int32_t IntfXmlRequireSize(IntfXmlAttributes& attrs, const char* element) {
    int32_t n = IntfXmlRequireInt("size", attrs, 0, element);
    if (n < 0)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "%s has a negative size %d",
                     IntfXmlQuotedName(element).c_str(), n);
    return n;
}

// ---- texts of numbers ---------------------------------------------------------------

namespace {
inline bool IsSep(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
} // namespace

namespace {
// A whole word as a T (a leading plus sign allowed); false leaves `out` as it is.
template <class T> bool WordTo(std::string_view word, T& out) {
    if (word.empty())
        return false;
    const char* b = word.data();
    const char* e = b + word.size();
    if (*b == '+') { // from_chars refuses a plus sign that printf-style texts may carry
        ++b;
        if (b == e || *b == '-')
            return false;
    }
    T v = 0;
    auto r = std::from_chars(b, e, v); // base 10, general format for doubles
    if (r.ec != std::errc() || r.ptr != e)
        return false;
    out = v;
    return true;
}
} // namespace

bool IntfXmlToDouble(std::string_view word, double& out) { return WordTo(word, out); }

bool IntfXmlToInt(std::string_view word, int32_t& out) { return WordTo(word, out); }

bool IntfXmlWords::Next(std::string_view& word) {
    while (pos_ < text_.size() && IsSep(text_[pos_]))
        ++pos_;
    if (pos_ == text_.size())
        return false;
    size_t b = pos_;
    while (pos_ < text_.size() && !IsSep(text_[pos_]))
        ++pos_;
    word = text_.substr(b, pos_ - b);
    return true;
}

namespace {

// Powers of ten that a double holds exactly, and those that 64 bits hold.
constexpr double kExactTens[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                 1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr uint64_t kTens[] = {1u,
                              10u,
                              100u,
                              1000u,
                              10000u,
                              100000u,
                              1000000u,
                              10000000u,
                              100000000u,
                              1000000000u,
                              10000000000u,
                              100000000000u,
                              1000000000000u,
                              10000000000000u,
                              100000000000000u,
                              1000000000000000u,
                              10000000000000000u,
                              100000000000000000u,
                              1000000000000000000u,
                              10000000000000000000u};

#if defined(__SIZEOF_INT128__)
// Whether x (positive, normal) is the double nearest to v / 10^f, ties to
// the even one, decided exactly: v / 10^f must lie strictly between the
// midpoints that separate x from its neighbours. With x = m 2^e the test
// compares v 2^(1-e) with (2m -+ 1) 10^f; both sides stay near 2m 10^f,
// below 2^120. A power of two (whose lower neighbour is nearer) is left to
// the general path.
bool IsNearestDouble(double x, uint64_t v, size_t f) {
    using U128 = unsigned __int128;
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const int biased = int(bits >> 52);
    const uint64_t m = (bits & ((uint64_t(1) << 52) - 1)) | (uint64_t(1) << 52);
    if (biased == 0 || biased >= 0x7FF || m == (uint64_t(1) << 52))
        return false;
    const int e = biased - 1075; // x = m * 2^e
    const int shift = 1 - e;
    if (shift < 0 || shift > 64)
        return false;
    const U128 scaled = U128(v) << shift;
    const U128 below = U128(2 * m - 1) * kTens[f];
    const U128 above = U128(2 * m + 1) * kTens[f];
    if (scaled > below && scaled < above)
        return true;
    return (scaled == below || scaled == above) && (m & 1) == 0;
}
#else
bool IsNearestDouble(double, uint64_t, size_t) { return false; }
#endif

// Whether the 8 bytes of `chunk` (in memory order) are all decimal digits,
// and their value.
[[gnu::always_inline]] inline bool EightDigits(uint64_t chunk, uint64_t& value) {
    const uint64_t high = 0xF0F0F0F0F0F0F0F0ull;
    const uint64_t zeros = 0x3030303030303030ull;
    if ((chunk & high) != zeros || ((chunk + 0x0606060606060606ull) & high) != zeros)
        return false;
    // Pairs of digits, then quadruples, then all eight.
    uint64_t x = chunk - zeros;
    x = (x * 10 + (x >> 8)) & 0x00FF00FF00FF00FFull;
    x = (x * 100 + (x >> 16)) & 0x0000FFFF0000FFFFull;
    value = (x * 10000 + (x >> 32)) & 0xFFFFFFFFull;
    return true;
}

// Adds the digits at d (up to e) to v while `count` stays at most 19;
// returns where the digits stopped. With `runs`, runs of 8 digits are
// taken at once (the long fractions; whole parts are short as a rule).
template <bool runs>
[[gnu::always_inline]] inline const char* TakeDigits(const char* d, const char* e, uint64_t& v,
                                                     size_t& count) {
    if constexpr (runs && std::endian::native == std::endian::little) {
        while (count + 8 <= 19 && e - d >= 8) {
            uint64_t chunk, eight;
            std::memcpy(&chunk, d, 8);
            if (!EightDigits(chunk, eight))
                break;
            v = v * 100000000u + eight;
            d += 8;
            count += 8;
        }
    }
    while (d != e && unsigned(*d - '0') < 10 && count < 19) {
        v = v * 10 + unsigned(*d - '0');
        ++d;
        ++count;
    }
    return d;
}

// Converts the word at p (a separator or the end follows it): a whole number
// as WordTo takes it. Returns the end of the word, or null when the word is
// not a number. Integers of at most 9 digits and decimals "d[.d]" of at
// most 19 digits are converted here: when the digits make a whole number of
// at most 2^53 the quotient of two doubles that hold the digits and the
// power of ten exactly has one rounding and is the nearest double, as
// from_chars gives; a longer one is taken when it is checked to be the
// nearest. All others go to from_chars.
template <class T>
[[gnu::always_inline]] inline const char* WordAt(const char* p, const char* e, T& out) {
    const char* q = p;
    const bool minus = *q == '-';
    if (minus || *q == '+')
        ++q;
    uint64_t v = 0;
    if constexpr (std::is_same_v<T, double>) {
        size_t count = 0;
        const char* d = TakeDigits<false>(q, e, v, count);
        const size_t whole = count;
        if (whole > 0 && d != e && *d == '.') {
            const char* f = TakeDigits<true>(d + 1, e, v, count);
            d = count > whole ? f : q; // "1." goes the general way
        }
        const size_t fraction = count - whole;
        if (whole > 0 && d != q && (d == e || IsSep(*d))) {
            if (v <= (uint64_t(1) << 53)) {
                const double x = fraction ? double(v) / kExactTens[fraction] : double(v);
                out = minus ? -x : x;
                return d;
            }
            const double x = double(v) / kExactTens[fraction];
            if (IsNearestDouble(x, v, fraction)) {
                out = minus ? -x : x;
                return d;
            }
        }
    } else {
        const char* d = q;
        while (d != e && unsigned(*d - '0') < 10 && d - q < 10) {
            v = v * 10 + unsigned(*d - '0');
            ++d;
        }
        const size_t digits = size_t(d - q);
        if (digits > 0 && digits <= 9 && (d == e || IsSep(*d))) {
            out = minus ? -T(v) : T(v);
            return d;
        }
    }
    const char* b = p;
    if (*b == '+') { // from_chars refuses a plus sign that printf-style texts may carry
        ++b;
        if (b == e || *b == '-')
            return nullptr;
    }
    T x = 0;
    auto r = std::from_chars(b, e, x); // base 10, general format for doubles
    if (r.ec != std::errc() || (r.ptr != e && !IsSep(*r.ptr)))
        return nullptr;
    out = x;
    return r.ptr;
}

// "<element> lacks <what>".
[[noreturn, gnu::noinline, gnu::cold]] void ThrowLacks(const char* element, const char* what) {
    IntfXmlThrow(INTFXML_ERR_MALFORMED, "%s lacks %s", IntfXmlQuotedName(element).c_str(), what);
}

// "<element> holds <word> where <what> belongs".
[[noreturn, gnu::noinline, gnu::cold]] void ThrowNotANumber(const char* element,
                                                            std::string_view word,
                                                            const char* what) {
    IntfXmlThrow(INTFXML_ERR_MALFORMED, "%s holds %s where %s belongs",
                 IntfXmlQuotedName(element).c_str(), kname::Shown(word).c_str(), what);
}

// The next word of [*pos, e) as a T, converted where it stands; *pos moves
// past it.
template <class T>
[[gnu::always_inline]] inline T NextNumberAt(const char* data, const char*& pos, const char* e, const char* element,
                      const char* what) {
    const char* b = pos;
    while (b != e && IsSep(*b))
        ++b;
    if (b == e)
        ThrowLacks(element, what);
    T v = 0;
    const char* end = WordAt(b, e, v);
    if (!end) {
        const char* w = b;
        while (w < e && !IsSep(*w))
            ++w;
        ThrowNotANumber(element, std::string_view(b, size_t(w - b)), what);
    }
    (void)data;
    pos = end;
    return v;
}

// The next word as a T, converted where it stands.
template <class T>
T NextNumber(std::string_view text, size_t& pos, const char* element, const char* what) {
    const char* p = text.data() + pos;
    const T v = NextNumberAt<T>(text.data(), p, text.data() + text.size(), element, what);
    pos = size_t(p - text.data());
    return v;
}

} // namespace

namespace {

// Tells the words of [p, e), which follow the `read` numbers of one value.
[[gnu::noinline, gnu::cold]] void TellWordsPast(const char* p, const char* e, size_t read,
                                                const char* element) {
    IntfXmlWords rest(std::string_view(p, size_t(e - p)), element);
    IntfXmlTellValuesPast(element, read + rest.CountRemaining(), read, false);
}

// The words of [p, e) past the `read` numbers of one value, told (as a
// rule there are none: the telling stays out of the readers' way).
void PassOverWords(const char* p, const char* e, size_t read, const char* element) {
    while (p != e && IsSep(*p))
        ++p;
    if (p != e)
        TellWordsPast(p, e, read, element);
}

} // namespace

void IntfXmlParseDoubles(std::string_view text, double* out, size_t count, const char* element) {
    const char* p = text.data();
    const char* e = p + text.size();
    for (size_t i = 0; i < count; ++i)
        out[i] = NextNumberAt<double>(text.data(), p, e, element, "a number");
    PassOverWords(p, e, count, element);
}

void IntfXmlParseInts(std::string_view text, int32_t* out, size_t count, const char* element) {
    const char* p = text.data();
    const char* e = p + text.size();
    for (size_t i = 0; i < count; ++i)
        out[i] = NextNumberAt<int32_t>(text.data(), p, e, element, "an integer");
    PassOverWords(p, e, count, element);
}

double IntfXmlWords::NextDouble() {
    return NextNumber<double>(text_, pos_, element_, "a number");
}

int32_t IntfXmlWords::NextInt() {
    return NextNumber<int32_t>(text_, pos_, element_, "an integer");
}

void IntfXmlWords::ExpectEnd() {
    std::string_view w;
    if (Next(w))
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "%s holds more numbers than it should",
                     IntfXmlQuotedName(element_).c_str());
}

void IntfXmlWords::PassOverRest(size_t read) const {
    PassOverWords(text_.data() + pos_, text_.data() + text_.size(), read, element_);
}

size_t IntfXmlWords::CountRemaining() const {
    size_t n = 0;
    bool inWord = false;
    for (size_t i = pos_; i < text_.size(); ++i) {
        bool sep = IsSep(text_[i]);
        if (!sep && !inWord)
            ++n;
        inWord = !sep;
    }
    return n;
}

void IntfXmlParseXyz(std::string_view text, double* xyz, const char* element) {
    double v[3];
    IntfXmlParseDoubles(text, v, 3, element);
    xyz[0] = v[0];
    xyz[1] = v[1];
    xyz[2] = v[2];
}

double IntfXmlParseDouble(std::string_view text, const char* element) {
    IntfXmlWords w(text, element);
    double v = w.NextDouble();
    w.ExpectEnd();
    return v;
}

int32_t IntfXmlParseInt(std::string_view text, const char* element) {
    IntfXmlWords w(text, element);
    int32_t v = w.NextInt();
    w.ExpectEnd();
    return v;
}
