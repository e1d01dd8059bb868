// The callback server: a bnfs server of the client, on a thread of its own,
// through which the host starts jobs and sets values, and whose in-memory
// area "/ZPI" holds the files that the host and the client hand each other
// by "bnfs:" paths under the callback URL.
//
// Callback requests (opcode and fields separated by line feeds):
//   110 part import      the job text: document path, argument count, arguments
//   112 export           the job text: argument count, arguments
//   152 assembly import  the job text: (unused), argument count, arguments
//   149 import format    the value (0 neutral file, 1 XML file)
// A job request replaces the pending job and wakes the job loop; 110, 112,
// 152 and 149 are answered with the text "0", any other opcode with an
// empty text, and a request that cannot be read with the number 20. A job
// request whose job text is not whole (without an argument count that is a
// number from 0; 110: or without a document path) still starts its job, with
// the count read as 0, but its session does not become the host's.
//
// The host's session: the one through which a whole job text last started a
// job. What it fetches goes out whole whatever peers hold, and it never gives
// way to a new connection (btkMultiSessionServer).
#pragma once

#include "api/zpi50_export.h"
#include "btkstring.h"
#include "net.h"
#include "thr_thread.h"
#include "uniloc.h"

#include <cstdint>

class ZrCallbackServer : public bnfsServer {
public:
    // Registers its location "zpi" (nothing mounted yet).
    ZrCallbackServer();
    ~ZrCallbackServer() override;

    // Listens on a free port of this machine's address.
    bool Init();
    // Serves the process's in-memory location at "/" of "zpi", makes its
    // folder "/ZPI" and sets the callback URL bnfs://address:port/ZPI/.
    bool Mount();
    btkString GetCallbackUrl() const { return callbackUrl_; }
    int32_t GetLocationId() const { return locationId_; }
    // Holds the file `inner` ("/ZPI/zpi.xml") against its peers' writes, or
    // lets go of it (univfslocation::Hold); any thread.
    void HoldInArea(const char* inner, bool hold) {
        if (hold)
            location_.Hold(inner);
        else
            location_.LetGo(inner);
    }

protected:
    bnfsSession* MakeSession(btkSocketStream* stream) override;
    void OnIdle() override { btkMultiSessionServer::OnIdle(); }

private:
    int32_t locationId_ = 0;
    univfslocation location_;
    btkString callbackUrl_;
    int32_t listenPort_ = 0;
};

class ZrServerThread : public thrThread {
public:
    explicit ZrServerThread(ZrCallbackServer* server) : thrThread(false), server_(server) {}

protected:
    // Serves until the server is asked to stop, then shuts it down.
    void Run() override;

private:
    ZrCallbackServer* server_;
};

class ZrCallbackSession : public bnfsSession {
public:
    ZrCallbackSession(btkSocketStream* stream, bnfsServer* server)
        : bnfsSession(stream, server, 60) {}

protected:
    void DoOtherRequest() override;
    void DoOtherRequestBinData() override {}

private:
    btkString reply_;
};

// The import format value that request 149 sets (0 at start): how the
// import-to-feature request hands interface data to the host (0 a neutral
// file "zpi.neu", 1 an XML file "zpi.xml", anything else no file).
int32_t ZrGetImportFormat();
void ZrSetImportFormat(int32_t value);
