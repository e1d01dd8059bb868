// Client start-up: the process's one client object, its connection to the
// host server and its callback server, the registration of translator
// functions and the entry into the job loop.
//
// A translator process does:
//     xrchandle<ZorvanProxy> proxy = ZrInitializeClient("bnfs://host:4711/");
//     ZrRegisterImportTranslator(&myImport);
//     ZrRunClient();              // runs the host's jobs; never returns
// or the same through the plain C entry points InitializeClient,
// RegisterExportTranslator and RunClient.
#pragma once

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
class KWPIModel;
class ZrCallbackServer;
class ZrServerThread;
struct qel_intf_data_extend;

// Translator functions. Their results are not used. The part-import
// function gets the model read from the host's document and that
// document's extension (null when it has none); both belong to the job:
// the extension is freed when the function returns, so a translator that
// needs it later keeps a copy.
using ZrExportTranslatorFn = int (*)(int argc, char** const argv);
using ZrAssemImportTranslatorFn = int (*)(int argc, char** const argv);
using ZrImportTranslatorFn = int (*)(xrchandle<KWPIModel> model, qel_intf_data_extend* extension,
                                     int argc, char** const argv);

class ZPI_API ZrClient : public xobject {
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

    // The client's SAX parser, made on first use, with `handler` set as its
    // document and error handler (null clears both). For the thread that
    // runs the jobs.
    XERCES_CPP_NAMESPACE::SAXParser* GetParser(IntfXmlSaxHandler* handler);

    // Registers with the host (request 111) and runs the jobs. Does not
    // return, unless ZrRequestClientLoopStop was called.
    void RunLoop();

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

// ---- exported client functions ---------------------------------------------------

// Start-up: makes the client once, connects its proxy to `serverUrl` and
// starts a callback server. The proxy, or a null handle when connecting or
// starting the callback server failed.
ZPI_API xrchandle<ZorvanProxy> ZrInitializeClient(const char* serverUrl);
// False without a client; otherwise runs the job loop and does not return.
ZPI_API bool ZrRunClient();
// False without a client; otherwise bind the function under
// "ExportTranslator", "ImportPartTranslator" or "ImportAssemTranslator".
ZPI_API bool ZrRegisterExportTranslator(ZrExportTranslatorFn function);
ZPI_API bool ZrRegisterImportTranslator(ZrImportTranslatorFn function);
ZPI_API bool ZrRegisterAssemImportTranslator(ZrAssemImportTranslatorFn function);

// The proxy that InitializeClient set up (null before it succeeded); the
// host-toolkit functions send their requests through it.
ZPI_API xrchandle<ZorvanProxy> ZrGetFacadeProxy();
// The client's callback URL ("" without a client).
ZPI_API btkString ZrGetCallbackUrl();

// Ends the client: stops every callback server and waits for its thread,
// drops the pending job and a stop request no loop took, and releases the
// client and the facade proxy, so that a later start-up begins afresh. A
// job loop that runs must have ended first (ZrRequestClientLoopStop, then
// wait for ZrRunClient to return). A translator process never needs it (it
// ends with the process); tests do.
ZPI_API void ZrShutdownClient();

// ---- plain C entry points ----------------------------------------------------------

// Each answers 1 or 0 (as a C int) for what its Zr counterpart answers.
extern "C" {
// 1 when the start-up succeeded (the facade proxy is then set), else 0.
ZPI_API int InitializeClient(const char* serverUrl);
// 0 without a client; otherwise runs the job loop and does not return.
ZPI_API int RunClient();
// 1 when the function was bound under "ExportTranslator", 0 without a client.
ZPI_API int RegisterExportTranslator(ZrExportTranslatorFn function);
// Tells the host that the job has finished (request 108).
ZPI_API void NotifyFinish();
}
