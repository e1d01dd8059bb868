// ZorvanProxy: the process's proxy of the host server. It holds the one
// connection to the host and sends the numbered requests over it.
//
// The members that send particular requests live in their own source files
// and are declared in client/zr_proxy_requests.inc, which is included into
// the class body below (public section). Any of them builds its text with
// ZrRequestText and sends it with SendRequest (client/zr_framing.h).
//
// The connection is used by one thread at a time (as a rule the translator's
// thread during a job); the connection itself also serialises exchanges.
//
// Time limits. Every request's whole reply must arrive within the reply
// time limit: the environment variable ZORVAN_REPLY_TIMEOUT, a positive
// number of seconds (fractions allowed, at most 1000000), read once per
// process at start-up; 300 when it is unset or not such a number. Once the
// first byte of a reply has come, the rest must also come within 60
// seconds, whichever ends first. A request that runs out of time answers
// 100 and its connection is closed. The same limits bound the client's
// reads and writes of "bnfs:" documents and the liveness probe.
//
// Reconnecting. When a request finds the connection closed (by a request
// that failed, or by the host), it connects again to the same host and
// port, once, before it sends; a request whose bytes went out is never
// sent a second time. A proxy that never connected sends nothing.
#pragma once

#include "api/zpi50_export.h"
#include "btkstring.h"
#include "client/zr_framing.h"
#include "client/zr_toolkit.h"
#include "net.h"
#include "xhandle.h"
#include "xobject.h"

#include <cstdint>

class KWPIModel;
struct qel_intf_data;
struct qel_intf_data_extend;
struct qel_model_basic_info;
class ZrTranslationOptions;

// The reply time limit in seconds (see above), read on first use.
ZPI_API double ZrGetReplyTimeout();
// The reply time limit that the text of ZORVAN_REPLY_TIMEOUT gives (null:
// unset).
ZPI_API double ZrParseReplyTimeout(const char* text);
// Seconds within which the rest of a reply must come once it has begun.
constexpr double kZrReplyRestTimeout = 60;
// Puts the reply time limits on a connection of the client (null is
// ignored).
ZPI_API void ZrApplyReplyLimits(BNFSConnection* connection);

class ZPI_API ZorvanProxy : public xobject {
public:
    // Empty host, port -1, no connection; runs the process's one-time set-up
    // of file locations (and of the "bnfs:" document opener).
    ZorvanProxy();
    // Closes the connection.
    ~ZorvanProxy() override;
    ZorvanProxy(const ZorvanProxy&) = delete;
    ZorvanProxy& operator=(const ZorvanProxy&) = delete;

    // Splits `url` (bnfs://host:port/...), keeps it with its host and port,
    // and opens a connection there with the reply time limits; a connection
    // held before is closed first. True when the connection was opened; a
    // URL without a host and port opens none (host and port stay as they
    // were).
    bool Connect(const btkString& url);

    // Host and port of a server URL bnfs://host:port/...: host is the text
    // between "//" and the second ':', port the leading digits after it.
    // A URL with fewer than two ':' leaves both as they were; a port that is
    // not a number in 0..65535 gives -1. Always true.
    static bool SplitServerUrl(const char* url, btkString& host, int32_t& port);

    // One exchange: false when there is no connection or the exchange failed
    // or ran out of time (then `error` says why); true with the reply text
    // in `reply`.
    bool SendRequest(const char* request, btkString& reply, bnfsError& error);
    // One request with its reply parsed into `reply`: 100 when it did not go
    // out (`reply` untouched), otherwise reply.GetStatus().
    int SendRequest(const ZrRequestText& request, ZrReply& reply);
    // Sends and leaves the reply unread; false when it did not go out.
    bool SendRequestNoReply(const ZrRequestText& request);

    const btkString& GetHost() const { return host_; }
    int32_t GetPort() const { return port_; }
    const btkString& GetServerUrl() const { return serverUrl_; }
    // Null until a connection was opened; it may be closed since (the next
    // request then connects again).
    BNFSConnection* GetConnection() const { return connection_; }
    bool IsConnected() const { return connection_ != nullptr; }

#include "client/zr_proxy_requests.inc"

private:
    btkString host_;
    int32_t port_ = -1;
    BNFSConnection* connection_ = nullptr;
    btkString serverUrl_;
};
