// Texts exchanged with the host server: every request, reply and job text
// is a sequence of fields separated by a line feed. These helpers cut such
// texts into argument vectors and requests, write and read the typed items
// of a session stream.
//
// Lines are taken as they stand: an empty line is an (empty) field and keeps
// the fields after it in place.
#pragma once

#include "zpi50_export.h"

#include "btkstring.h"

#include <iosfwd>
#include <memory>
#include <vector>

// The argument vector handed to a translator function: argument i is line i
// of the text. A count from outside is bounded by the lines really present
// (a negative count gives none). GetArgv()[GetArgc()] is null, as in main's.
class ZrArgv {
public:
    ZrArgv(int argc, const char* text);
    ZrArgv(const ZrArgv&) = delete;
    ZrArgv& operator=(const ZrArgv&) = delete;
    ~ZrArgv();

    int GetArgc() const { return argc_; }
    char** GetArgv() { return argv_.data(); }

private:
    int argc_ = 0;
    std::vector<char*> argv_; // argc_ owned texts, then null
};

// The text of a job: path (line 0), argument count (line 1), arguments
// (lines 2 to the end).
class ZrJobRequest {
public:
    ZrJobRequest() = default;
    explicit ZrJobRequest(const char* text) { Parse(text); }
    void Parse(const char* text);

    const char* GetPath() const { return path_; }
    // The count line as a number; 0 when it is not one.
    int GetArgCount() const;
    const char* GetArgs() const { return args_; }

private:
    btkString path_;
    btkString count_;
    btkString args_;
};

// One request received from the host: the opcode from line 0 and the rest
// (lines 1 to the end, still separated by line feeds). A line 0 that is not
// a number gives the opcode -1, which no request has.
class ZrCallbackRequest {
public:
    explicit ZrCallbackRequest(const char* text);
    int GetOpcode() const { return opcode_; }
    const char* GetArgs() const { return rest_; }

private:
    int opcode_ = -1;
    btkString rest_;
};

// Session stream items. A number is 'N', its decimal text and ';'; a text
// is '_', its length in bytes as decimal text, ':' and its bytes. Both
// writers flush.
void WriteSessionNumber(std::ostream& stream, int value);
void WriteSessionText(std::ostream& stream, const char* text);
// Reads one item as a text (a number item gives its decimal text). False,
// with `text` empty, when the stream holds no well-formed item; the length
// of a text item is trusted only as far as bytes really arrive.
bool ReadSessionText(std::istream& stream, btkString& text);
