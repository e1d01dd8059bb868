// xml/framework: what every document is built on: the element binding
// framework (this header), the one XML writer (xml_writer.h), the SAX
// handler and parse entry points (sax_handler.h) with the encodings they
// read (xml_encoding.h) and what bounds a read (xml_read_limits.h),
// document streams over files and "bnfs:" locations (xml_streams.h),
// whole-document writing (xml_document.h), record helpers (xml_records.h),
// and the temporary directory with the transfer dump (xml_tempdir.h). It
// uses kernel/records/ and base/.
//
// Element binding framework.
//
// Every element of the library's documents has one binding class,
// IntfXml<ElementName>, deriving from IntfXmlElement (reading) and
// IntfXmlWriting (writing). A writer constructor writes the whole element
// at once; a reader constructor (parent first) makes the object that
// receives the parser's events for the element and fills a host record.
//
// Reading, in short (the SAX handler of xml/framework/sax_handler.h drives it):
//   - startElement(name, attrs) of the current reader decides what the
//     child is: a child with a reader of its own -> make it with
//     MakeChild<T>(...) and return it; a text-valued child the reader takes
//     itself -> PushName(name) and return this. Anything the vocabulary does
//     not define for the reader -> IntfXmlThrowUnexpected.
//   - characters(text) appends to the reader's text buffer. The buffer is
//     emptied at every start and end tag, so at a child's end tag it holds
//     exactly that child's text, however the parser split it.
//   - endElement(name): when NamesEmpty() the reader's own element ended:
//     store what was collected and return Parent(); otherwise PopName() and
//     convert Text() into the field of that child, return this.
//   - A text-valued child may instead be taken as a value: startElement
//     returns TakeValue(slot). The handler then gathers the child's text
//     itself and, at the child's end tag, calls EndValue(slot, text, name)
//     in place of characters() and endElement(); nothing is pushed. A start
//     tag inside such a child reaches the reader's startElement with the
//     child's name pushed (NamesEmpty() false, TopName() the child), as it
//     would with PushName: the reader refuses it.
//
// Ownership while reading: a reader owns every reader it made through
// MakeChild and deletes them with itself, so when a parse fails half-way
// deleting the top reader frees everything. The SAX handler deletes a
// finished reader early when it ends into a list reader (IsListHandler) or
// when a list reader ends into a document part (IsDocumentPart); such
// readers must therefore not be kept by typed pointers. Readers own the
// arrays and records they have filled until a consumer takes them
// (Take...): a failed parse leaks nothing.
//
// Errors: readers throw IntfXmlError (a malformed document, a host status);
// the document reader catches it. IntfXmlError's btkString part is the
// decimal text of its status, so code that catches btkString sees the
// status as the text.
#pragma once

#include "api/zpi50_export.h"
#include "api/zpi50_status.h"
#include "btkstring.h"

#include <xercesc/sax/AttributeList.hpp>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

using IntfXmlAttributes = XERCES_CPP_NAMESPACE::AttributeList;

// ---- errors ----------------------------------------------------------------------

// Statuses of the binding besides the host statuses of the record routines
// (named for callers in api/zpi50_status.h).
constexpr int INTFXML_ERR_MALFORMED = ZPI_STATUS_DOC_MALFORMED; // the document breaks the vocabulary
constexpr int INTFXML_ERR_PARSE = ZPI_STATUS_DOC_PARSE;   // not well-formed XML, or the parser failed
constexpr int INTFXML_ERR_OPEN = ZPI_STATUS_DOC_OPEN;     // a document could not be opened
constexpr int INTFXML_ERR_WRITE = ZPI_STATUS_DOC_WRITE;   // writing a document failed
constexpr int INTFXML_ERR_RECORD = ZPI_STATUS_DOC_RECORD; // a record handed to a writer is inconsistent

// Deepest element nesting a document may have.
constexpr int INTFXML_MAX_DEPTH = 256;
// Most attributes one element may carry: no element of the vocabularies
// has more than six; the margin lets documents with a few more still read.
constexpr int INTFXML_MAX_ATTRIBUTES = 64;
// Longest text one element may hold between two of its tags (as UTF-8):
// 256 MiB. The longest the writers write is a list of numbers; a B-spline
// of a million control points gives a knot list of 21 MB.
constexpr size_t INTFXML_MAX_TEXT_BYTES = size_t(256) << 20;
// Longest attribute value, character data section, comment or processing
// instruction (as the document holds it), which the parser keeps whole:
// 1 MiB. The writers' attributes are numbers and names of at most 260
// characters; they write no sections, comments or instructions.
constexpr size_t INTFXML_MAX_ATTRIBUTE_BYTES = size_t(1) << 20;

// Switches for tests: process-wide, for the parses that begin afterwards.
// Exported only by a build with ZPI_TEST_HOOKS (never shipped); elsewhere
// hidden, so the limits keep their values.
struct ZPI_TEST_HOOKS_API IntfXmlTestHooks {
    // Lowers the two limits above (0 restores the limit). An attribute
    // limit below 256 bytes is not held exactly: the gate passes over
    // shorter tags unread.
    static void SetReadLimits(size_t textBytes, size_t attributeBytes);
};
// The limits in force (the constants above unless a test lowered them);
// inside the library only.
size_t IntfXmlMaxTextBytes();
size_t IntfXmlMaxAttributeBytes();

// In the library's own namespace: the library catches it by its type, which
// the C++ runtime compares by name across modules, so a program's own
// exception of the same name, thrown through a writer, must not pass for it.
inline namespace zpi_internal {
class IntfXmlError : public btkString {
public:
    IntfXmlError(int status, std::string message);
    // With its own place ("line 3, column 7") instead of the parse's.
    IntfXmlError(int status, std::string message, std::string where);
    int Status() const { return status_; }
    const char* Message() const { return message_.c_str(); }
    // Where the parse that was running on this thread stood when the error
    // was made ("line 3, column 7"); empty outside a parse.
    const std::string& Where() const { return where_; }

private:
    int status_;
    std::string message_;
    std::string where_;
};
} // namespace zpi_internal

// Where the parse running on this thread stands ("line L, column C"), or
// empty outside a parse (xml/framework/sax_handler.cpp keeps it).
std::string IntfXmlParsePosition();
// What a reader lets pass, by kind: the readers' own vocabulary, whatever
// names a document holds (those go into the place told, never into the
// kind), so that what one read tells is bounded by the kinds.
enum class IntfXmlPassed : uint8_t {
    AttribMissing,    // an attribute the writers always write (IntfXmlTellMissingAttrib)
    AttribNotANumber, // such an attribute that is no number where one is read
    ChildMissing,     // a child the writers always write (IntfXmlTellMissingChild)
    ChildTwice,       // a child they write once (IntfXmlSeeOnce)
    TextNotRead,      // IntfXmlTellTextNotRead
    AttribNotRead,    // IntfXmlAttribNotReadText
    ElementNotRead,   // IntfXmlTellElementNotRead
    ValuesPastSize,   // IntfXmlTellValuesPast, a list's size
    NumbersPastValue, // IntfXmlTellValuesPast, one value's numbers
    TextCut,          // a name or text cut to its field
    FaceFault,        // IntfXmlTellReadFault
    EdgeFault,
    DatumFault,
    ValueOfNoKind,     // a general attribute's value no value kind carries
    EmptyEdgeCurve,    // an edge's curve element without a curve
    OptionWithoutName, // options the translation options reader does not read
    OptionWithoutText,
    OptionOfNoType,
    OptionTwice, // an option given again
    OptionCount, // a count of options other than the root's size
    ValueOfNoMeaning, // a value that marks nothing (a log line's "empty" other than 1)
    Kinds        // (the number of kinds)
};

// Tells what a reader let pass in the document parsed on this thread, which
// no caller learns otherwise. Each place is counted by its kind; the first
// of each kind is kept as "document \"<name>\", line L, column C: " (the
// name quoted by btkQuoted) and
// `what`, and when the parse ends (read or refused) each kind is told in
// one line on standard error, in the order first met, ending with
// "; N more like it" when N more places of the kind followed. Outside a
// parse, `what` alone, each time.
void IntfXmlTellPassedOver(IntfXmlPassed kind, const char* what);
// The same in two steps: IntfXmlCountPassedOver counts `places` places of
// `kind` and answers true when they are the first of the kind in the parse
// (always outside a parse); then IntfXmlSayPassedOver says what the first
// is.
bool IntfXmlCountPassedOver(IntfXmlPassed kind, size_t places = 1);
void IntfXmlSayPassedOver(IntfXmlPassed kind, const std::string& what);
// The same where saying what was passed over costs: `say()` (giving a
// std::string) is asked only for the first place of the kind; counting is
// all the others cost.
template <class Say, class = std::enable_if_t<std::is_invocable_v<Say&>>>
void IntfXmlTellPassedOver(IntfXmlPassed kind, Say&& say) {
    if (IntfXmlCountPassedOver(kind))
        IntfXmlSayPassedOver(kind, say());
}
// What one parse passed over: made by the parse entry points for each
// parse (the parse on this thread counts into it until it ends, a parse
// within a reader into its own), it tells its lines when it ends. It holds
// a count and a first place per kind, whatever the document holds.
class IntfXmlPassedOverTally {
public:
    explicit IntfXmlPassedOverTally(const char* document);
    ~IntfXmlPassedOverTally();
    IntfXmlPassedOverTally(const IntfXmlPassedOverTally&) = delete;
    IntfXmlPassedOverTally& operator=(const IntfXmlPassedOverTally&) = delete;

private:
    friend bool IntfXmlCountPassedOver(IntfXmlPassed, size_t);
    friend void IntfXmlSayPassedOver(IntfXmlPassed, const std::string&);
    static constexpr size_t kKinds = size_t(IntfXmlPassed::Kinds);

    const char* document_;
    IntfXmlPassedOverTally* outer_;
    uint64_t counts_[kKinds] = {};
    std::string lines_[kKinds];
    uint8_t order_[kKinds] = {}; // the kinds met, in the order first met
    size_t met_ = 0;
};
// The name of the element whose start tag the parse running on this thread
// is reading ("" outside a parse).
std::string IntfXmlStartTagName();
// An element's or attribute's name as the messages below quote it (null as
// ""): by btkQuotedCut (base/text/btk_quoted.h), as a document may name
// its root and some of its elements as it likes.
std::string IntfXmlQuotedName(const char* name);
// Tells (as IntfXmlTellPassedOver) that an attribute the writers always
// write was not found where they write it, and what was read in its place:
// "\"<element>\" lacks the attribute \"<name>\" at position <pos>: read as
// <readAs>". A null element names the start tag being read.
void IntfXmlTellMissingAttrib(const char* element, const char* name, unsigned pos,
                              const char* readAs);
// Tells (as IntfXmlTellPassedOver) that a child element the writers always
// write was not found in `element`, and what stands in its place:
// "\"<element>\" lacks its \"<child>\": read as <readAs>".
void IntfXmlTellMissingChild(const char* element, const char* child, const char* readAs);
// Marks a child element that the writers write once, `child` of `element`,
// as read: `bit` in `seen` (or `seen` itself). One read before is told (as
// IntfXmlTellPassedOver), the later one standing:
// "\"<child>\" appears twice in \"<element>\": the later one is read".
void IntfXmlSeeOnce(unsigned& seen, unsigned bit, const char* child, const char* element);
void IntfXmlSeeOnce(bool& seen, const char* child, const char* element);
// Tells (as IntfXmlTellPassedOver) that `element` holds a text that no
// reader reads (it holds elements or attributes only): "\"<element>\" holds
// a text, which is not read"; with `text`, only when it holds more than
// whitespace.
void IntfXmlTellTextNotRead(const char* element);
void IntfXmlTellTextNotRead(const char* element, std::string_view text);
// What is told (as IntfXmlTellPassedOver, kind AttribNotRead) of an
// attribute of `element` that no reader took: "\"<element>\" holds the
// attribute \"<name>\", which is not read". (An attribute is read only
// under its name at its position.)
std::string IntfXmlAttribNotReadText(const char* element, const char* name);
// Takes every attribute of an element that a reader passes over as a whole
// (the parse tells the attributes that no reader took).
void IntfXmlTakeAttributes(IntfXmlAttributes& attrs);
// Tells (as IntfXmlTellPassedOver) that the element `name` starting, with
// its attributes `attrs` (which are taken), is not read: "the element
// \"<name>\" is not read".
void IntfXmlTellElementNotRead(const char* name, IntfXmlAttributes& attrs);
// Tells (as IntfXmlTellPassedOver) that `element` holds `held` numbers of
// which only the first `read` are read: those its "size" gives (`sized`):
// "\"<element>\" holds <held> values where its size says <read>: the values
// past the size are not read", or those of one value (a point, a UV pair):
// "\"<element>\" holds <held> numbers, of which the first <read> are read".
// `item()` ("face 3, its contour at index 0"), when given, comes first; it
// is asked only when the place is told.
void IntfXmlTellValuesPast(const char* element, size_t held, size_t read, bool sized,
                           const std::function<std::string()>& item = nullptr);

// Throws IntfXmlError with a printf-style message.
[[noreturn]] void IntfXmlThrow(int status, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
// A nonzero host status of routine `routine`.
[[noreturn]] void IntfXmlThrowStatus(int status, const char* routine);
// "element <child> is not expected in <parent>".
[[noreturn]] void IntfXmlThrowUnexpected(const char* child, const char* parent);
// "<element> lacks its <child>".
[[noreturn]] void IntfXmlThrowMissing(const char* child, const char* element);
// What no model holds (the text of a qel_check.h check, naming the item),
// unless `fault` is empty: refused (INTFXML_ERR_RECORD) where a record is
// written.
void IntfXmlRefuseFault(const std::string& fault);
// The same where an item was read, unless `fault` is empty: documents that
// earlier versions wrote hold such items, so the item is read as it stands
// and told (as IntfXmlTellPassedOver, `kind` a face's, an edge's or a
// datum's fault), with the note that the writers refuse it.
void IntfXmlTellReadFault(const std::string& fault, IntfXmlPassed kind);
// Runs `write`, the writer of one entry of a list; what it refuses
// (INTFXML_ERR_RECORD) is refused naming the entry, `item()` ("layer at
// index 1: ..."), unless the refusal begins with it already. A refusal
// placed within the entry (IntfXmlWritePlacing) follows the name at once
// ("edge 7, its XYZ curve: ...").
[[noreturn]] void IntfXmlRethrowNaming(const IntfXmlError& error, const std::string& item);
template <class Write, class Item> void IntfXmlWriteNaming(Write&& write, Item&& item) {
    try {
        write();
    } catch (const IntfXmlError& e) {
        IntfXmlRethrowNaming(e, item());
    }
}
// Runs `write`, which fills or writes the part of an entry at `place()`
// (", its XYZ curve", ", component at index 1"); what it refuses
// (INTFXML_ERR_RECORD) is refused placed there, as the record checks place
// a fault within its item: `place()` before the place an inner part gave,
// else before ": " and the reason.
[[noreturn]] void IntfXmlRethrowPlacing(const IntfXmlError& error, const std::string& place);
template <class Write, class Place> void IntfXmlWritePlacing(Write&& write, Place&& place) {
    try {
        write();
    } catch (const IntfXmlError& e) {
        IntfXmlRethrowPlacing(e, place());
    }
}
// A reader made under a parent of another class than it expects.
[[noreturn]] void IntfXmlThrowWrongParent();
// How a document that cannot be read is told: "cannot read \"<path>\":
// <reason>", the path quoted whole by btkQuoted. The parse entry points (sax_handler.h) give every failure
// this way, a refusal of the document with its line and column.
std::string IntfXmlReadFailure(const char* path, const std::string& reason);
// Tells a failure that no caller receives as it is (a failed read, a
// hand-over document that was not written, the transfer dump):
// `text` and a line end on standard error, in one write.
void IntfXmlTellFailure(const std::string& text);
// Only inside a catch block: what the exception being handled says (an
// IntfXmlError its message, which names the document; then `namesDocument`
// is set; an xthrown its what(); any other std::exception, whose words the
// library did not make, its what() with the escapes of btkEscaped).
std::string IntfXmlCaughtText(bool* namesDocument = nullptr);
// Only inside a catch block: tells the exception being handled that way.
// An IntfXmlError by its message, which names the document; anything else
// as "cannot <doing> \"<path>\": <what it says>" (btkQuoted).
void IntfXmlTellCaught(const char* doing, const char* path);
inline void IntfXmlCheck(int status, const char* routine) {
    if (status != 0)
        IntfXmlThrowStatus(status, routine);
}

// ---- bindings ----------------------------------------------------------------------

class IntfXmlElement;

// The names a reader has taken on, innermost last. The first two (the rule:
// readers take on text-valued children one at a time) live in the reader
// itself.
class IntfXmlNameStack {
public:
    bool empty() const { return size_ == 0; }
    size_t size() const { return size_; }
    const std::string& back() const {
        return size_ <= kInline ? inline_[size_ - 1] : more_.back();
    }
    void push(const char* name) {
        if (size_ < kInline)
            inline_[size_].assign(name);
        else
            more_.emplace_back(name);
        ++size_;
    }
    void pop() {
        if (size_ > kInline)
            more_.pop_back();
        --size_;
    }

private:
    static constexpr size_t kInline = 2;
    std::string inline_[kInline];
    std::vector<std::string> more_;
    size_t size_ = 0;
};

// The child readers a reader owns, in the order made; the first four live in
// the reader itself.
class IntfXmlChildList {
public:
    IntfXmlChildList() = default;
    IntfXmlChildList(const IntfXmlChildList&) = delete;
    IntfXmlChildList& operator=(const IntfXmlChildList&) = delete;

    size_t size() const { return size_; }
    IntfXmlElement* operator[](size_t i) const {
        return i < kInline ? inline_[i] : more_[i - kInline];
    }
    void push_back(IntfXmlElement* child) {
        if (size_ < kInline)
            inline_[size_] = child;
        else
            more_.push_back(child);
        ++size_;
    }
    // Removes entry i, keeping the order of the others.
    void erase(size_t i);

private:
    static constexpr size_t kInline = 4;
    IntfXmlElement* inline_[kInline] = {};
    std::vector<IntfXmlElement*> more_;
    size_t size_ = 0;
};

class IntfXmlNode {
public:
    IntfXmlNode(const IntfXmlNode&) = delete;
    IntfXmlNode& operator=(const IntfXmlNode&) = delete;
    virtual ~IntfXmlNode();

    // Readers are made and released once per element while a document is
    // read; their blocks are kept for the next ones of the same size (per
    // thread) instead of going back to the heap each time.
    static void* operator new(std::size_t size);
    static void operator delete(void* block, std::size_t size);

    // Returns the reader for the following events.
    virtual IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) = 0;
    virtual void characters(const char* text, unsigned length) = 0;
    // Returns the reader for the following events.
    virtual IntfXmlElement* endElement(const char* name) = 0;
    virtual bool IsListHandler() const = 0;
    virtual bool IsDocumentPart() const = 0;
    // The end of the value child taken with TakeValue(slot): its whole text
    // (UTF-8, valid for the call only) and its element name.
    virtual void EndValue(int slot, std::string_view text, const char* name) = 0;

    IntfXmlElement* Parent() const { return parent_; }
    const std::string& Text() const { return text_; }
    void ClearText() { text_.clear(); }

protected:
    explicit IntfXmlNode(IntfXmlElement* parent) : parent_(parent) {}

    IntfXmlElement* parent_;
    std::string text_;
    IntfXmlNameStack names_; // children taken on by this reader
    int valueSlot_ = -1;     // the value child being read (TakeValue), -1 when none

private:
    friend class IntfXmlSaxHandler;
};

class IntfXmlElement : public IntfXmlNode {
public:
    ~IntfXmlElement() override;

    // Defaults: push the name; append the text; return the parent.
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    void characters(const char* text, unsigned length) override;
    IntfXmlElement* endElement(const char* name) override;
    bool IsListHandler() const override { return false; }
    bool IsDocumentPart() const override { return false; }
    // Default: the value is not used.
    void EndValue(int slot, std::string_view text, const char* name) override;

    // Takes `child`, made with this reader as its parent, into the readers
    // this one owns (as MakeChild does).
    void Own(IntfXmlElement* child) { Adopt(child); }
    // Deletes `child` when this reader owns it (the SAX handler's early
    // disposal); false when it does not.
    bool DeleteChild(IntfXmlElement* child);
    // Deletes the child reader that `child` holds, if any, and clears it:
    // lists that keep one item reader at a time drop the previous one.
    template <class T> void DropChild(T*& child) {
        if (child) {
            DeleteChild(child);
            child = nullptr;
        }
    }

protected:
    // Writers and top readers have no parent.
    explicit IntfXmlElement(IntfXmlElement* parent = nullptr) : IntfXmlNode(parent) {}

    // This reader as the parent argument of a child's constructor: it
    // converts to a pointer to whatever reader class the constructor wants,
    // and throws IntfXmlError when this reader is not of that class.
    class ParentRef {
    public:
        explicit ParentRef(IntfXmlElement* p) : p_(p) {}
        template <class P, class = std::enable_if_t<std::is_base_of_v<IntfXmlElement, P>>>
        operator P*() const {
            P* typed = dynamic_cast<P*>(p_);
            if (!typed)
                IntfXmlThrowWrongParent();
            return typed;
        }

    private:
        IntfXmlElement* p_;
    };

    // Makes a child reader `new T(this, args...)`, owned by this reader.
    template <class T, class... A> T* MakeChild(A&&... args) {
        std::unique_ptr<T> child(new T(ParentRef(this), std::forward<A>(args)...));
        Adopt(child.get());
        return child.release();
    }
    void Adopt(IntfXmlElement* child);

    // Takes the child that starts as a value in `slot` (>= 0): returns this,
    // and its text comes to EndValue(slot, ...) at its end tag.
    IntfXmlElement* TakeValue(int slot) {
        valueSlot_ = slot;
        return this;
    }
    void PushName(const char* name) { names_.push(name); }
    bool NamesEmpty() const { return names_.empty(); }
    // Removes the top name; true when it equals `ending`.
    bool PopName(const char* ending);
    // The name on top of the stack (empty when none).
    const std::string& TopName() const;

private:
    IntfXmlChildList owned_;
};

// Whether an element name is `wanted` (most names differ in their first
// letter, which is tested first).
inline bool IntfXmlIsName(const char* name, const char* wanted) {
    // Names are short and differ early as a rule: compared here, not in a
    // call.
    while (*wanted && *name == *wanted) {
        ++name;
        ++wanted;
    }
    return *name == *wanted;
}

// ---- attributes ----------------------------------------------------------------------
//
// An attribute is found only at its expected position (from 0, in the order
// the writer wrote them) and with the expected name; elsewhere it reads as
// missing.

// Lenient getters, for attributes the writers always write: the default
// (-1, empty text, -1.0) when the attribute is missing, misplaced or not a
// number, told as IntfXmlTellMissingAttrib tells (or that the value is not
// a number).
int GetIntegerAttribValue(const char* name, IntfXmlAttributes* attrs, unsigned pos);
btkString GetStringAttribValue(const char* name, IntfXmlAttributes* attrs, unsigned pos);
double GetDoubleAttribValue(const char* name, IntfXmlAttributes* attrs, unsigned pos);

// Whether the attribute at `pos` has this name.
bool IntfXmlHasAttrib(const char* name, IntfXmlAttributes& attrs, unsigned pos);
// Strict getters: throw IntfXmlError (INTFXML_ERR_MALFORMED) naming the
// element when the attribute is missing, misplaced or malformed.
int32_t IntfXmlRequireInt(const char* name, IntfXmlAttributes& attrs, unsigned pos,
                          const char* element);
double IntfXmlRequireDouble(const char* name, IntfXmlAttributes& attrs, unsigned pos,
                            const char* element);
// The integer attribute at `pos` when it stands there under `name`, else
// `fallback`; a value that is there but not an integer is an error.
int32_t IntfXmlOptionalInt(const char* name, IntfXmlAttributes& attrs, unsigned pos,
                           int32_t fallback, const char* element);
// The same for an attribute the writers always write: a fallback taken is
// told (IntfXmlTellMissingAttrib).
int32_t IntfXmlWrittenInt(const char* name, IntfXmlAttributes& attrs, unsigned pos,
                          int32_t fallback, const char* element);
btkString IntfXmlRequireString(const char* name, IntfXmlAttributes& attrs, unsigned pos,
                               const char* element);
// The "size" attribute at position 0: an integer of at least 0.
int32_t IntfXmlRequireSize(IntfXmlAttributes& attrs, const char* element);

// ---- texts of numbers ---------------------------------------------------------------
//
// Words are separated by blanks, tabs, newlines and carriage returns. Every
// conversion is strict: a missing word or one that is not entirely a number
// throws IntfXmlError (INTFXML_ERR_MALFORMED) naming the element.

class IntfXmlWords {
public:
    IntfXmlWords(std::string_view text, const char* element) : text_(text), element_(element) {}
    // Next word; false at the end.
    bool Next(std::string_view& word);
    double NextDouble();
    int32_t NextInt();
    // Throws when a word is left.
    void ExpectEnd();
    // Tells the words left after the `read` taken, which are not read (as
    // IntfXmlTellValuesPast, one value's numbers).
    void PassOverRest(size_t read) const;
    // Number of words not yet taken (scans the rest of the text).
    size_t CountRemaining() const;

private:
    std::string_view text_;
    size_t pos_ = 0;
    const char* element_;
};

// The first three words into xyz (further words are not read, and told as
// IntfXmlWords::PassOverRest tells them).
void IntfXmlParseXyz(std::string_view text, double* xyz, const char* element);
// The first `count` words into out (further words are not read, and told);
// as IntfXmlWords's NextDouble and NextInt `count` times, out written as
// they go.
void IntfXmlParseDoubles(std::string_view text, double* out, size_t count, const char* element);
void IntfXmlParseInts(std::string_view text, int32_t* out, size_t count, const char* element);
// The whole text as one number (whitespace around it allowed).
double IntfXmlParseDouble(std::string_view text, const char* element);
int32_t IntfXmlParseInt(std::string_view text, const char* element);
// Exact conversions of one word; false when it is not entirely a number.
bool IntfXmlToDouble(std::string_view word, double& out);
bool IntfXmlToInt(std::string_view word, int32_t& out);
// `text` without the XML blanks around it, as a number attribute is read.
std::string_view IntfXmlTrim(std::string_view text);
