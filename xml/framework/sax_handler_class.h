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
//     naming its element, before more of it is kept. No element holds both
//     a text and elements: more than whitespace before an element, or after
//     one at its parent's end tag, is read by none and told
//     (IntfXmlTellTextNotRead).
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

#include <bitset>
#include <cstddef>
#include <cstdint>

class IntfXmlSaxHandler : public XERCES_CPP_NAMESPACE::HandlerBase {
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
    // Hands the gathered text to the current reader (the whole of it, or
    // the text of the piece before, where the last character may wait).
    void HandOverText();
    void HandOverPiece();
    // A text longer than maxText_: refused, naming its element.
    [[noreturn]] void TextTooLong();
    // Whether more than whitespace came since the last tag.
    bool TextGathered() const { return (!text_.empty() && !textBlank_) || handedText_; }

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
    bool handedText_ = false; // what was handed over of it holds more than whitespace
    // Whether the open element at each depth holds an element.
    std::bitset<INTFXML_MAX_DEPTH + 1> hasChild_;
};
