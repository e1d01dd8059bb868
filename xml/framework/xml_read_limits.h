// What bounds the reading of a document before its readers see it: the
// attribute gate in front of the well-formedness scanner, and the bounded
// memory of the parser. (The limits themselves, INTFXML_MAX_ATTRIBUTES,
// IntfXmlMaxTextBytes() and IntfXmlMaxAttributeBytes(), are in
// xml_element.h; the text limit is held by the SAX handler.)
#pragma once

#include "api/zpi50_export.h"

#include <xercesc/framework/MemoryManager.hpp>

#include <cstddef>
#include <cstdint>
#include <string>

// The capacity to which a text buffer of `capacity` bytes grows when it
// needs `need` bytes (both with its terminating zero) and may hold no more
// than `limit`: doubling, from 256 bytes, and straight to the limit when
// the next doubling would pass two thirds of it, so that a text at its
// limit is never copied into a larger buffer; 0 when `need` passes the
// limit (the buffer does not grow).
size_t IntfXmlGrownCapacity(size_t capacity, size_t need, size_t limit);

// An element with more attributes than any element of the vocabularies may
// have; the parse entry points tell it with the line and column.
[[noreturn]] void IntfXmlTooManyAttributes();
// An attribute value longer than the limit.
[[noreturn]] void IntfXmlAttributeTooLong(const std::string& attribute, const std::string& element,
                                          size_t limit);
// A comment, processing instruction or character data section longer than
// the limit.
[[noreturn]] void IntfXmlSectionTooLong(size_t limit);

// The well-formedness scanner compares each attribute of a start tag with
// every earlier one of the same tag, so a tag of n attributes costs n*n/2
// comparisons. IntfXmlAttributeGate sees every byte before that scanner
// does and refuses a start tag with more than INTFXML_MAX_ATTRIBUTES
// attributes (counted as its equal signs outside quoted values) before the
// scanner reads it: reading time stays proportional to the document.
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
class IntfXmlAttributeGate {
public:
    IntfXmlAttributeGate();

    // Looks at the next n bytes of the document. Returns how many of them
    // may go to the scanner: n, or fewer when a tag has one attribute too
    // many, whose equal sign is the first byte held back (Refused() tells).
    size_t Feed(const unsigned char* b, size_t n);

    // Whether a tag was refused.
    bool Refused() const { return refused_; }
    // Throws the refusal.
    [[noreturn]] void ThrowRefusal() const;

private:
    enum class State : uint8_t {
        Idle,      // between markup
        AfterLt,   // after "<"
        AfterBang, // after "<!"
        AfterDash, // after "<!-"
        Tag,       // in a start tag (counted) or a declaration (not counted)
        EndTag,    // in an end tag
        Until,     // in a comment, instruction or data section, up to its end
    };

    static size_t Find(const unsigned char* b, size_t pos, size_t n, size_t& prev);
    static unsigned LtMask(const unsigned char* b, size_t blk, size_t n, unsigned& special);
    size_t Start(const unsigned char* b, size_t lt, size_t n);
    size_t Run(const unsigned char* b, size_t i, size_t n);
    void Until(const char* end, size_t skip = 0);
    static void Keep(char* to, size_t& length, unsigned char c);
    void Refuse(size_t at);

    State state_ = State::Idle;
    bool counting_ = false;
    unsigned char quote_ = 0;
    const char* until_ = "";
    uint8_t matched_ = 0;
    int count_ = 0;
    bool refused_ = false;
    size_t heldBack_ = 0; // where the bytes were cut off
    enum class Reason : uint8_t { TooMany, LongValue, LongSection } reason_ = Reason::TooMany;
    size_t maxValue_;
    size_t maxSection_;
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

// The parser's memory during one parse. Where no gate runs before the
// scanner (a document type declaration, UTF-16, a root that does not start
// within the bytes read ahead), the scanner keeps a name,
// an attribute value, a section or an entity whole before a limit could
// refuse it; no single block it asks for may then pass what the limits
// allow (an attribute value at its limit takes at most 4 bytes per byte in
// the scanner's growing buffer; a text goes over in pieces of about a
// million characters), so that what a parse holds stays bounded.
class IntfXmlBoundedMemory : public XERCES_CPP_NAMESPACE::MemoryManager {
public:
    IntfXmlBoundedMemory();
    XERCES_CPP_NAMESPACE::MemoryManager* getExceptionMemoryManager() override;
    void* allocate(XMLSize_t size) override;
    void deallocate(void* p) override;
    // Whether a block was refused, and where the parse stood then.
    bool Refused() const { return refused_; }
    const std::string& Where() const { return where_; }
    size_t Largest() const { return largest_; }

private:
    size_t largest_;
    bool refused_ = false;
    std::string where_;
};
