// Client start-up: the process's one client object, its connection to the
// host server and its callback server. The exported start-up, registration
// and loop functions are declared in api/zpi50_client.h.
#pragma once

#include "api/zpi50_client.h"
#include "api/zpi50_export.h"
#include "btkstring.h"
#include "client/zr_proxy.h"
#include "xhandle.h"
#include "xobject.h"

#include <xercesc/util/XercesDefs.hpp>

#include <mutex>
#include <vector>

XERCES_CPP_NAMESPACE_BEGIN
class SAXParser;
XERCES_CPP_NAMESPACE_END

class IntfXmlSaxHandler;
inline namespace zbase_internal {
class unilocation; // base/files/uniloc.h
}
class KWPIModel;
class ZrCallbackServer;
class ZrServerThread;
struct qel_intf_data_extend;

class ZrClient : public xobject {
public:
    // Starts the XML parser's platform and makes the proxy (not connected).
    explicit ZrClient(const char* serverUrl);
    // Deletes the parser and releases the proxy.
    ~ZrClient() override;
    ZrClient(const ZrClient&) = delete;
    ZrClient& operator=(const ZrClient&) = delete;

    // The process's client (null before the first start-up).
    static xrchandle<ZrClient> Get();

    xrchandle<ZorvanProxy> GetProxy() const { return proxy_; }
    const btkString& GetServerUrl() const { return serverUrl_; }
    // The URL under which the host reaches the callback server,
    // bnfs://address:port/ZPI/ (empty before the server is mounted). A file
    // named by this URL followed by its name lies in the callback server's
    // in-memory area.
    btkString GetCallbackUrl() const;

    // Starts a callback server on a thread of its own; false when it could
    // not listen, mount or start (nothing is left running then).
    bool StartCallbackServer();
    // The most recently started callback server (null before).
    ZrCallbackServer* GetCallbackServer() const;
    // True when one of the callback servers started listens at host:port.
    bool ServesAt(const char* host, int port) const;
    // Holds the file `inner` of the callback area (or lets go of it) in
    // every callback server started: while held, none of their peers
    // writes it (ZrHandOverHold).
    void HoldInArea(const char* inner, bool hold);

    // True while the proxy is connected and a callback server runs: the
    // client can register with its host and run jobs.
    bool IsServing() const;

    // The client's SAX parser, made on first use, with `handler` set as its
    // document and error handler (null clears both). For the thread that
    // runs the jobs.
    XERCES_CPP_NAMESPACE::SAXParser* GetParser(IntfXmlSaxHandler* handler);

    // Registers with the host (request 111) and runs the jobs: false at
    // once, told in one line on standard error, when the host did not take
    // the registration (no reply in time, connection closed, a status other
    // than 0); true once ZrRequestClientLoopStop ended the loop (it does not
    // return otherwise).
    bool RunLoop();

    // Stops every callback server started and waits for its thread.
    void StopCallbackServers();

private:
    xrchandle<ZorvanProxy> proxy_;
    btkString serverUrl_;
    btkString callbackUrl_;
    ZrCallbackServer* callbackServer_ = nullptr; // most recent
    XERCES_CPP_NAMESPACE::SAXParser* parser_ = nullptr;
    mutable std::mutex mutex_; // guards callbackUrl_, callbackServer_, servers_
    struct Running {
        ZrCallbackServer* server;
        ZrServerThread* thread;
    };
    std::vector<Running> servers_; // every server started, with its thread
};

// ---- the client's own functions ---------------------------------------------------

// The proxy that InitializeClient set up (null before it succeeded); the
// host-toolkit functions send their requests through it.
xrchandle<ZorvanProxy> ZrGetFacadeProxy();
// The client's callback URL ("" without a client).
btkString ZrGetCallbackUrl();
// The in-memory location that a callback server of this client serves at
// host:port (its files are under /ZPI/), or null when none listens there.
unilocation* ZrOwnCallbackLocation(const char* host, int port);
