#include "client/zr_callback.h"

#include "client/zr_strings.h"
#include "client/zr_jobs.h"

#include <atomic>

namespace {
std::atomic<int32_t> g_importFormat{0};

// Reply to a request that cannot be read.
constexpr int kUnreadableRequest = 20;

// True when the job text of job request `opcode` holds what its job reads:
// an argument count that is a number from 0 (word 0, or word 1 for 152),
// and for 110 a document path before it.
bool IsWholeJobText(int opcode, const char* args) {
    const btkString text(args);
    const int countWord = opcode == 112 ? 0 : 1;
    if (opcode == 110 && text.GetWord(0, "\n", 1).IsEmpty())
        return false;
    int count = -1;
    return text.GetWord(countWord, "\n", 1).ToInt(count) && count >= 0;
}
} // namespace

int32_t ZrGetImportFormat() { return g_importFormat.load(std::memory_order_acquire); }
void ZrSetImportFormat(int32_t value) { g_importFormat.store(value, std::memory_order_release); }

// ---- ZrCallbackServer ------------------------------------------------------------------

ZrCallbackServer::ZrCallbackServer() : location_("zpi") {
    locationId_ = unilocation::Register(&location_);
}

ZrCallbackServer::~ZrCallbackServer() {
    // Sessions go before the location they serve.
    btkMultiSessionServer::Shutdown();
    unilocation::Unregister(locationId_);
}

bool ZrCallbackServer::Init() {
    btkString address;
    if (!btkGetCurHostAddress(address))
        return false;
    if (!btkNetBaseServer::Init(listenPort_, address))
        return false;
    SetTimeSlice(0.1);
    return true;
}

bool ZrCallbackServer::Mount() {
    SetLocationDriver(&location_);
    unimemlocation* mem = unimemlocation::GetRegistered();
    if (!mem->MakeDirectory("/ZPI", 0, nullptr))
        return false;
    if (!location_.Mount("/", mem, false, ""))
        return false;
    btkString host;
    if (!btkGetCurHostAddress(host))
        return false;
    callbackUrl_ = btkString("bnfs") + ":" + "//" + host + ":" + IntToString(GetPort()) + "/ZPI/";
    return true;
}

bnfsSession* ZrCallbackServer::MakeSession(btkSocketStream* stream) {
    return new ZrCallbackSession(stream, this);
}

// ---- ZrServerThread ---------------------------------------------------------------------

void ZrServerThread::Run() {
    if (!server_->IsStopRequested())
        server_->Run();
    server_->btkMultiSessionServer::Shutdown();
}

// ---- ZrCallbackSession --------------------------------------------------------------------

void ZrCallbackSession::DoOtherRequest() {
    reply_.Clear();
    btkString text;
    if (!ReadSessionText(In(), text)) {
        WriteSessionNumber(Out(), kUnreadableRequest);
        return;
    }
    ZrCallbackRequest request(text);
    const int opcode = request.GetOpcode();
    switch (opcode) {
    case 110:
    case 112:
    case 152: {
        // Every job request starts its job (a count that is not a number
        // reads as 0), but only a job text that holds what its job reads
        // makes the session the host's: a malformed one from a peer must
        // not take the host's place.
        const char* args = request.GetArgs();
        if (opcode == 110)
            ZrReplacePendingJob(new ZrImportPartJob(args));
        else if (opcode == 112)
            ZrReplacePendingJob(new ZrExportJob(args));
        else
            ZrReplacePendingJob(new ZrImportAssemJob(args));
        // The host's session, through which it starts jobs: what it
        // fetches there goes out whole, whatever other peers hold, and it
        // keeps its place in the server's table.
        if (GetServer() && IsWholeJobText(opcode, args))
            GetServer()->KeepAnswersWhole(*this);
        reply_ += "0";
        break;
    }
    case 149: {
        // A value that is not a number keeps the format as it was.
        int value = 0;
        if (btkString(request.GetArgs()).GetWord(0, "\n", 0).ToInt(value))
            ZrSetImportFormat(value);
        reply_ += "0";
        break;
    }
    default:
        break;
    }
    WriteSessionText(Out(), reply_);
}
