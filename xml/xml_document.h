// Writing one whole document, and texts that may hold any character.
//
// IntfXmlWriteDocument opens the document, points the process-wide writer
// at it, writes the XML header, runs the caller's body, then flushes and
// closes. The process has one writer, so every document writer holds
// IntfXmlDocumentLock (xml_zpi.h) while it writes: concurrent callers wait
// for each other. The body must not start another document. A
// document that fails half-way throws, and a local file left half written
// is removed so that nobody takes it for a whole one.
//
// The writer writes texts unchanged and escapes only "&" in attribute
// values; the helpers below write texts and attribute values that hold
// markup characters ("<", "&", quotes), line ends or tabs so that a reader
// gets them back unchanged. Bytes that are not UTF-8, and control
// characters XML cannot carry, become U+FFFD.
#pragma once

#include "api/zpi50_export.h"

#include <functional>
#include <string>
#include <string_view>

// Writes the document at `path` ("bnfs:" location or local file). Throws
// IntfXmlError: INTFXML_ERR_OPEN when there is no path or it cannot be
// opened, INTFXML_ERR_WRITE when the bytes did not all arrive, or whatever
// `body` throws.
ZPI_API void IntfXmlWriteDocument(const char* path, const std::function<void()>& body);

