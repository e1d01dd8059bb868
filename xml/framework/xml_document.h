// Writing one whole document, and texts that may hold any character.
//
// IntfXmlWriteDocument opens the document, makes a writer of its own the
// calling thread's current writer (xml_writer.h), writes the XML header,
// runs the caller's body, then flushes and closes. Nothing is shared with
// other documents, so threads write documents at once, each at its own
// pace (a document sent to the host takes as long as the host takes). The
// body may even write another document of its own. A document that fails
// half-way throws, and only a whole one replaces its target
// (xml_streams.h), so nobody takes a half-written one for a whole one.
//
// Texts and attribute values need no preparation: the writer escapes them
// itself (xml_writer.h), so names and lines holding markup characters read
// back unchanged.
#pragma once

#include "api/zpi50_export.h"
#include "kkatomicfile.h"

#include <functional>

// Writes the document at `path` ("bnfs:" location or local file; a local
// file synced as `durability` says: the client's hand-over files are
// written unsynced, every other document durably). Throws IntfXmlError:
// INTFXML_ERR_OPEN when there is no path or it cannot be opened,
// INTFXML_ERR_WRITE when the bytes did not all arrive, or whatever `body`
// throws.
void IntfXmlWriteDocument(const char* path, const std::function<void()>& body,
                          kkDurability durability = kkDurability::Durable);
