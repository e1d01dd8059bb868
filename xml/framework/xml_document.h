// Writing one whole document, and texts that may hold any character.
//
// IntfXmlWriteDocument opens the document, points the process-wide writer
// at it, writes the XML header, runs the caller's body, then flushes and
// closes. The process has one writer, so every document writer holds
// IntfXmlDocumentLock while it writes: concurrent callers wait for each
// other. The body must not start another document. A document that fails
// half-way throws, and only a whole one replaces its target (xml_streams.h),
// so nobody takes a half-written one for a whole one. When the document
// ends, whole or not, the writer is left without a stream
// (IntfXmlWriter::EndDocument).
//
// Texts and attribute values need no preparation: the writer escapes them
// itself (xml_writer.h), so names and lines holding markup characters read
// back unchanged.
#pragma once

#include "api/zpi50_export.h"

#include <functional>
#include <mutex>

// The lock every document writer holds while it writes: the process has one
// XML writer, so documents are written one at a time.
ZPI_API std::mutex& IntfXmlDocumentLock();

// Writes the document at `path` ("bnfs:" location or local file). Throws
// IntfXmlError: INTFXML_ERR_OPEN when there is no path or it cannot be
// opened, INTFXML_ERR_WRITE when the bytes did not all arrive, or whatever
// `body` throws.
ZPI_API void IntfXmlWriteDocument(const char* path, const std::function<void()>& body);

