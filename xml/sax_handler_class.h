// The SAX handler that drives the element readers during one parse.
//
// Events go to the current reader, which answers with the reader for the
// following events:
//   startElement: the current reader's startElement (the text buffer of the
//     reader is emptied first); deeper than INTFXML_MAX_DEPTH throws.
//   characters:   appended to the current reader's text buffer.
//   endElement:   the current reader's endElement. When the new current
//     reader is another one and answers IsListHandler, or answers
//     IsDocumentPart while the ending one answers IsListHandler, the ending
//     reader is deleted at once by its owner.
//   error, fatalError: throw IntfXmlError (INTFXML_ERR_PARSE).
// Once the top reader's own end tag returns null, later events are ignored.
#pragma once

#include "xml/sax_handler.h"

#include <xercesc/sax/HandlerBase.hpp>

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

    IntfXmlElement* Current() const { return current_; }

private:
    IntfXmlElement* current_;
    int depth_ = 0;
    std::string name_; // scratch for converted names
};

