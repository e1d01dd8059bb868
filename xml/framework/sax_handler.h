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
// is not UTF-8, UTF-16, US-ASCII or ISO-8859-1, and at the first byte its
// encoding cannot decode, or a NUL (with the byte's own place and value).
// Afterwards take the results from the top reader; deleting the top reader
// frees whatever it still holds (also after a failure).
#pragma once

#include "api/zpi50_export.h"
#include "xml/framework/xml_element.h"

#include <cstddef>
#include <string>

// Starts the parser's platform once per process (thread-safe); later calls
// do nothing. Throws IntfXmlError when it cannot start.
ZPI_API void IntfXmlPlatformInit();

// One element name or text chunk of the parser as UTF-8 text.
class ZPI_API IntfXmlLocalText {
public:
    IntfXmlLocalText(const XMLCh* text, size_t length);
    explicit IntfXmlLocalText(const XMLCh* text);
    const char* c_str() const { return text_.c_str(); }
    const std::string& str() const { return text_; }

private:
    std::string text_;
};

// Appends UTF-16 units as UTF-8 (unpaired surrogates become U+FFFD).
ZPI_API void IntfXmlAppendUtf8(std::string& out, const XMLCh* text, size_t length);

// The handler class itself is in xml/framework/sax_handler_class.h (it brings in the
// parser's headers, which only the library itself links against).
class IntfXmlSaxHandler;

// Parses the document at `path`: a "bnfs:" location or a local file.
ZPI_API void IntfXmlParseDocument(const char* path, IntfXmlElement* top);
// Which of the parser's scanners reads a document: the one its first bytes
// call for (the rule: see sax_handler.cpp), or the one named, for tests
// that hold the two against each other (the well-formedness scanner skips
// a document type declaration and wants UTF-8 or another encoding whose
// bytes below 0x80 are ASCII).
enum class IntfXmlScanner { Chosen, General, WellFormed };

// Parses a document held in memory; `id` names it in messages.
ZPI_API void IntfXmlParseBuffer(const char* bytes, size_t length, IntfXmlElement* top,
                                const char* id = "buffer",
                                IntfXmlScanner scanner = IntfXmlScanner::Chosen);
