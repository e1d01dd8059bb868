// The temporary directory of the document exchange, and the transfer dump.
//
// GetTempDir: the value of the first of "TMP", "TEMP" and "TMPDIR" that
// names an existing directory, else "/tmp" (not tested for existence). A
// value that does not fit the caller's buffer is passed over like one that
// names no directory. A variable that is set and passed over is told once
// per value, in one line on standard error.
//
// DumpTransferredXml copies a document that was just sent or received (a
// "bnfs:" path or a local file) byte for byte to "transferred.xml" in the
// current directory, so that the last document exchanged can be looked
// at. The dump is not synced: it is a look at the last exchange, not a
// document to keep. A document that cannot be opened, or a target that cannot be
// created, gives no copy, and one line on standard error with the path and
// the reason ("Could not dump the transferred document to
// \"transferred.xml\": cannot open \"...\": a FIFO"). The copy is written beside the
// target and takes its place only when it is whole: after a read or write
// error the previous "transferred.xml" stays as it was, and a target that
// is not a regular file (a device, a fifo) is left alone
// (base/files/kkatomicfile.h). The job loop and the proxy call it only when
// "ZORVAN_DUMP_XML" is set (IntfXmlDumpIfRequested).
#pragma once

#include "api/zpi50_export.h"
#include "kkatomicfile.h"

#include <cstddef>
#include <string>

constexpr const char* INTFXML_TEMP_DEFAULT = "/tmp";
constexpr const char* INTFXML_DUMP_FILE = "transferred.xml";
constexpr const char* INTFXML_DUMP_VARIABLE = "ZORVAN_DUMP_XML";
// Bytes copied per read by the dump.
constexpr size_t INTFXML_DUMP_BLOCK = 2048;

// Fills `buffer` (`size` bytes) with the temporary directory and returns
// it. Returns null for a null buffer or size 0; a buffer too small even
// for the default gets the empty text.
char* GetTempDir(char* buffer, size_t size);
// The same as a string.
std::string IntfXmlTempDir();

void DumpTransferredXml(const char* path);
// Copies the document at `path` to the local file `target`, synced as
// `durability` says (the transfer dump is not); true when the
// whole document arrived (and then only does it replace the target). Nothing is done (false) for an empty path or
// target, or when both name the same file. On false, *why (when not null)
// receives the reason, with the path it concerns.
bool IntfXmlCopyDocument(const char* path, const char* target, std::string* why = nullptr,
                         kkDurability durability = kkDurability::Durable);
// DumpTransferredXml when "ZORVAN_DUMP_XML" is set.
void IntfXmlDumpIfRequested(const char* path);
