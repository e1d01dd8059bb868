// Where the requests put the documents and files they hand to the host, and
// how they write and read them (not exported).
//
// A file handed over goes into the callback server's in-memory area (the
// callback URL followed by the file name), from which the host fetches it;
// only when "GG_TEMP_FILE" is set (to any value) does it go into the local
// temporary directory ("<dir>/<name>").
#pragma once

#include "btkstring.h"

struct qel_intf_data;
struct qel_intf_data_extend;
class IntfXmlElement;

// The path of hand-over file `name`; false when there is nowhere to put it
// (no callback server and "GG_TEMP_FILE" unset).
bool ZrHandOverPath(const char* name, btkString& path);

// Writers of the hand-over files. A failure is told on standard error (the
// document's, with the path and the reason) or, for the neutral file, as a
// diagnostic of the neutral converters; the host is told the path all the
// same and finds there no file, or the one that was there before, never a
// part of one. Several hand-overs may run at once,
// also beside a model's neutral save.
// The neutral part of `data` (an empty part for null) with the extension;
// what the extension's conversion leaves out is told as a diagnostic of the
// neutral converters (routine "ZrWriteNeutralFile").
void ZrWriteNeutralFile(const btkString& path, const qel_intf_data* data,
                        const qel_intf_data_extend* extension);
// The interface-data document of `data` with the extension.
void ZrWriteZpiDocument(const btkString& path, const qel_intf_data* data,
                        const qel_intf_data_extend* extension);

// Parses the document at `path` ("bnfs:" or a local file) into `top`;
// `dump` copies it to the transfer dump first when "ZORVAN_DUMP_XML" is
// set. False when it cannot be read (nothing thrown; the path and the
// reason are told on standard error).
bool ZrReadDocument(const char* path, IntfXmlElement* top, bool dump);
