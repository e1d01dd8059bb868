// Helpers shared by the request members of ZorvanProxy (not exported).
#pragma once

#include "client/zr_framing.h"
#include "client/zr_proxy.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace zr_detail {

// A request text that refuses a text field holding a line feed: such a
// field would split in two and shift every later field, so the request is
// never sent, and the member answers as for any request that did not go
// out. So is one refused for a text that is not whole (RefuseText).
class Request {
public:
    explicit Request(int opcode) : text_(opcode) {}
    Request& AddText(const char* text);
    Request& AddInt(int value) {
        text_.AddInt(value);
        return *this;
    }
    Request& AddDouble(double value) {
        text_.AddDouble(value);
        return *this;
    }
    Request& AddDoubles(const double* values, int n) {
        text_.AddDoubles(values, n);
        return *this;
    }
    Request& AddLineFeed() {
        text_.AddLineFeed();
        return *this;
    }
    void Refuse() { valid_ = false; }
    // Refuses the request for a text that cannot go out whole, told in one
    // line (TellText: "request 131 not sent: <why>"), the first such text
    // of the request only.
    void RefuseText(const std::string& why);
    bool IsValid() const { return valid_; }
    int GetOpcode() const { return text_.GetOpcode(); }
    const ZrRequestText& Get() const { return text_; }
    const char* c_str() const { return text_.c_str(); }

private:
    ZrRequestText text_;
    bool valid_ = true;
    bool toldText_ = false;
};

// Sends the request and parses the reply into `reply`. False, with nothing
// parsed, when the request was refused or did not go out, or its reply
// holds a zero byte before its end (which would cut its texts short; told
// in one line naming the request when no `why` is asked); `why` (when
// given) then receives the reason. Unlike the status-answering SendRequest
// this tells a request that did not go out from a host that answers the
// status 100.
bool Exchange(ZorvanProxy& proxy, const Request& request, ZrReply& reply, std::string* why = nullptr);
// Status of a request that did not go out (most requests).
constexpr int kNotSent = ZPI_REQUEST_NOT_SENT;
// Status of a request refused for a null record or array that it must
// read: nothing is sent.
constexpr int kBadArg = ZPI_REQUEST_BAD_ARG;

// Sends and does not read the reply; false when it did not go out.
bool SendOnly(ZorvanProxy& proxy, const Request& request);

// Registration, request 111 with the callback URL and the process id: true
// when the host answered the status 0; else false, and `why` (when given)
// receives the reason: why the request did not go out or its reply did not
// come, or the status the host answered.
bool Register(ZorvanProxy& proxy, const char* callbackUrl, int processId, std::string* why);

// What the host answered when its status is not 0, for a message: "the
// host answered status N", or, for a status that is no number, "the host
// answered \"<field 0>\", which is no status".
std::string HostAnswered(const ZrReply& reply);

// A request that hands the host the document at `path` (103, 159, 160,
// 178): its status, kNotSent when it did not go out or its reply did not
// come. A status of 0 reads field 1 into *out (when given; -1 when it is
// not a number). Any other status, and a reply that did not come, is
// told in one line on standard error, with the document and the host's
// reason where its reply gives one (its fields after the status that are
// not numbers, each quoted whole by btkQuoted) or why no reply came.
int HandOverReply(ZorvanProxy& proxy, const Request& request, const btkString& path, int* out);

// The common reply shapes. Each answers `notSent` when the request did
// not go out (a refused one included), else the status (field 0, -1 when it is not a
// number); only a status of 0 writes the output.
// Status only.
int StatusReply(ZorvanProxy& proxy, const Request& request, int notSent);
// The whole reply as one integer, the status (107, 118, 119).
int WholeReply(ZorvanProxy& proxy, const Request& request);
// Field 1 as an integer into *out (`fallback` when it is not a number).
int IntReply(ZorvanProxy& proxy, const Request& request, int* out, int fallback);
// Field 1 copied into the caller's buffer (see CopyField).
int TextReply(ZorvanProxy& proxy, const Request& request, char* buffer, size_t capacity);

// Sends the request and answers its status: kNotSent when it did not go
// out. A status of 0 (or -5 too, with `alsoFive`) runs
// fill(reply); a fill that answers an int answers that instead when it is
// not 0. Any other status runs clear().
template <class Fill, class Clear>
int ReadReply(ZorvanProxy& proxy, const Request& request, Fill fill, Clear clear, bool alsoFive = false) {
    ZrReply reply;
    if (!Exchange(proxy, request, reply))
        return kNotSent;
    int status = reply.GetStatus();
    if (status != 0 && !(alsoFive && status == -5)) {
        clear();
        return status;
    }
    if constexpr (std::is_void_v<std::invoke_result_t<Fill&, const ZrReply&>>) {
        fill(reply);
    } else if (int failed = fill(reply)) {
        return failed;
    }
    return status;
}
template <class Fill>
int ReadReply(ZorvanProxy& proxy, const Request& request, Fill fill) {
    return ReadReply(proxy, request, fill, [] {});
}

// The parts of a record text separated by one blank, by position (an empty
// part is a part), so that an empty name does not shift the parts after it.
std::vector<btkString> SplitParts(const char* text);
const btkString& PartAt(const std::vector<btkString>& parts, size_t i);

// Field i of the reply copied with its terminator into a caller's buffer of
// `capacity` bytes: 0; ZR_STATUS_TEXT_TOO_LONG (buffer untouched) when it
// does not fit; nothing is written for a null buffer.
int CopyField(const ZrReply& reply, int i, char* buffer, size_t capacity);

// ---- texts between a translator's wide texts (UTF-16) and the host's bytes
// A text crosses whole or not at all: a wide text that is not whole UTF-16
// (it holds a lone surrogate) is not sent, and a host's text that is not
// UTF-8, or does not fit the wide field it is for, is not handed back; each
// is told in one line. Neither is ever replaced or cut.

// While it lives, the lines told about texts on this thread (TellText)
// begin with `name`, the host-toolkit C function that runs ("QelMdlNameGet:
// request 114: ...").
class FunctionScope {
public:
    explicit FunctionScope(const char* name);
    ~FunctionScope();
    FunctionScope(const FunctionScope&) = delete;
    FunctionScope& operator=(const FunctionScope&) = delete;

private:
    const char* outer_;
};

// Tells `line` in one line on standard error, after "<function>: " when a
// host-toolkit C function runs on this thread.
void TellText(const std::string& line);

// Why a wide text is not whole UTF-16 ("it holds a lone surrogate (U+D800)
// at unit 7"); empty for a whole one and for null. It is read up to its
// terminator, and at most `capacity` units (0: no bound; a field may use
// all of its units without one).
std::string WideFault(const char16_t* text, int capacity = 0);

// A wide text field of at most `capacity` units (it may lack a terminator
// when all are used; 0: no bound) as UTF-8, for `request`. One that is not
// whole UTF-16 refuses the request (RefuseText, naming `what`: "the slot's
// name is not whole UTF-16: it holds ..."), and gives "".
std::string WideToNarrow(Request& request, const char* what, const char16_t* text, int capacity);

// The host's text `text` for a wide field of `capacity` units (terminator
// included), named `what` ("class name"), in the reply to request
// `opcode`: 0 with the text in `wide`; ZPI_REQUEST_BAD_REPLY when it is not
// UTF-8, ZR_STATUS_TEXT_TOO_LONG when it does not fit, each told in one
// line with the text quoted whole (btkQuoted).
int HostTextToWide(int opcode, const char* what, std::string_view text, int capacity,
                   std::u16string& wide);
// `wide`, which HostTextToWide let through for `field`, written into it
// with its terminator.
void PutWide(const std::u16string& wide, char16_t* field);

// A new 4-byte host integer (getmem) holding `value`; null when memory
// runs out.
int32_t* NewHostInt(int32_t value);

} // namespace zr_detail
