// Where the requests put the documents and files they hand to the host, and
// how they write and read them (not exported).
//
// A file handed over goes into the callback server's in-memory area (the
// callback URL followed by the file name), from which the host fetches it;
// only when "GG_TEMP_FILE" is set (to any value) does it go into the local
// temporary directory ("<dir>/<name>").
//
// A file is handed over only when it was written whole. A write never
// destroys: after a failed one the file that was there stays as it was,
// so a request whose file was not written is not sent at all (its member
// answers 100, "not sent"); otherwise the host would take the previous
// job's file for this one. Which request was not sent and why is told in
// one line on standard error.
//
// A file handed over is put in place whole, but not synced: the host reads
// it at once, and after a power loss the job is lost with it anyway. Only
// documents written to a caller's path (WriteZPI) wait for the disk.
#pragma once

#include "btkstring.h"
#include "kkatomicfile.h"

#include <functional>
#include <string>

struct qel_intf_data;
struct qel_intf_data_extend;
class IntfXmlElement;

// How the writers of hand-over files write them.
constexpr kkDurability kZrHandOver = kkDurability::Unsynced;

// The path of hand-over file `name`; false when there is nowhere to put it
// (no callback server and "GG_TEMP_FILE" unset).
bool ZrHandOverPath(const char* name, btkString& path);

// Keeps a hand-over file in the callback server's in-memory area from
// being written over by those who reach that area through the callback
// server, from before it is written until the object ends (after the
// reply to the request that names it): what the host fetches for a
// request is what the translator wrote. Other files stay writable.
class ZrHandOverHold {
public:
    ZrHandOverHold() = default;
    ~ZrHandOverHold();
    ZrHandOverHold(const ZrHandOverHold&) = delete;
    ZrHandOverHold& operator=(const ZrHandOverHold&) = delete;

    // Holds `path` when it lies in this client's callback area (a local
    // file is not held); once only.
    void Hold(const btkString& path);

private:
    std::string inner_; // the path held in the area ("" for none)
};

// Writes the hand-over file `name` of request `opcode` and gives its path,
// held by `hold` from before it is written. `write` writes the file at the
// path it gets: it answers false with the reason in `why`, or throws, when
// the file was not written whole. False when there is nowhere to put the
// file or it was not written whole; one line on standard error then says
// which request was not sent and why.
bool ZrWriteHandOver(int opcode, const char* name, btkString& path, ZrHandOverHold& hold,
                     const std::function<bool(const btkString& path, std::string& why)>& write);

// The neutral part of `data` (an empty part for null) with the extension,
// written to `path`; what the extension's conversion leaves out is told as
// a diagnostic of the neutral converters (routine "ZrWriteNeutralFile").
// False, with the reason in `why`, when the file was not written whole; a
// local path that is not UTF-8 is refused (it would name another file).
bool ZrWriteNeutralFile(const btkString& path, const qel_intf_data* data,
                        const qel_intf_data_extend* extension, std::string& why);

// Parses the document at `path` ("bnfs:" or a local file) into `top`;
// `dump` copies it to the transfer dump first when "ZORVAN_DUMP_XML" is
// set. False when it cannot be read (nothing thrown; the path and the
// reason are told on standard error).
bool ZrReadDocument(const char* path, IntfXmlElement* top, bool dump);
