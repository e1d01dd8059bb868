// A scripted host server for trying a translator end to end:
//
//     zpi_test_host <translator> [arguments...]
//
// It listens on the loopback address, starts the translator with the
// host's URL ("bnfs://127.0.0.1:<port>/") added as its last argument, and
// once the translator has registered runs two jobs with it:
//   1. an export job (112): the translator asks for host model 1 (153) and
//      gets an interface-data document with one edge; the host takes any
//      translation log it hands over (178) and checks its first line;
//   2. a part-import job (110) on a document with one edge: the translator
//      hands interface data back as an import feature (103); the host
//      fetches the file named, checks that it is a neutral part file or an
//      interface-data document, and answers the feature id 42.
// Each job must end with its finish notice (108). The host then waits for
// the translator to end, and exits 0 when the translator exited 0 and
// every step above held. Everything is bounded: after 60 seconds the
// translator is killed and the host fails.
//
//     zpi_test_host --refusing <translator> [arguments...]
//
// runs the translator with the URL of a loopback port that refuses every
// connection instead (bound, never listening, held while the translator
// runs), and exits with the translator's status (1 when it was killed).
#include "zpi50.h"

#include "client/zr_bnfs.h"
#include "client/zr_strings.h"
#include "net.h"
#include "xml/side_documents/side_documents.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kLimit = std::chrono::seconds(60);
const Clock::time_point g_deadline = Clock::now() + kLimit;

// What the host saw, under its lock.
struct Seen {
    std::mutex mutex;
    std::condition_variable changed;
    std::string callbackUrl;
    int finishes = 0;
    int modelRequests = 0;
    std::string logLine;
    std::string handedOver; // the first bytes of the import feature's file
};
Seen g_seen;

// A connection to the bnfs server that `path` (bnfs://host:port/...) names,
// with the path inside its location in `inner`; null when there is none.
BNFSConnection* connectTo(const std::string& path, std::string& inner) {
    std::string host, why;
    int port = 0;
    if (!ZrSplitBnfsPath(path.c_str(), host, port, inner, &why))
        return nullptr;
    bnfsError error;
    BNFSConnection* c = BNFSConnection::Open(error, host.c_str(), port);
    if (c)
        c->SetTimeout(10);
    return c;
}

bool fetch(const std::string& path, std::string& data) {
    std::string inner;
    BNFSConnection* c = connectTo(path, inner);
    bnfsError error;
    const bool ok = c && BNFSConnection::ReadFile(c, inner.c_str(), data, error);
    BNFSConnection::Close(c);
    return ok;
}

std::string field(const std::string& text, int i) {
    size_t start = 0;
    for (int k = 0; k < i; ++k) {
        start = text.find('\n', start);
        if (start == std::string::npos)
            return std::string();
        ++start;
    }
    return text.substr(start, text.find('\n', start) - start);
}

// The reply to one request of the translator.
std::string answer(const std::string& request) {
    const std::string opcode = field(request, 0);
    std::lock_guard<std::mutex> hold(g_seen.mutex);
    g_seen.changed.notify_all();
    if (opcode == "111") {
        g_seen.callbackUrl = field(request, 1);
        return "0";
    }
    if (opcode == "108") {
        ++g_seen.finishes;
        return "0";
    }
    if (opcode == "153") {
        ++g_seen.modelRequests;
        return "0\n" + g_seen.callbackUrl + "host_model.xml";
    }
    if (opcode == "178") {
        try {
            std::vector<IntfXmlLogLine> lines = IntfXmlLogLines::Read(field(request, 1).c_str());
            g_seen.logLine = lines.empty() ? "" : lines[0].text;
            return "0";
        } catch (...) {
            return "-1";
        }
    }
    if (opcode == "103") {
        std::string data;
        if (!fetch(field(request, 3), data))
            return "-1";
        g_seen.handedOver = data.substr(0, 64);
        return "0\n42";
    }
    return "0";
}

class Session : public bnfsSession {
public:
    Session(btkSocketStream* stream, bnfsServer* server) : bnfsSession(stream, server, 10) {}

protected:
    void DoOtherRequest() override {
        btkString text;
        if (ReadSessionText(In(), text))
            WriteSessionText(Out(), answer(text.str()).c_str());
    }
};

class Server : public bnfsServer {
protected:
    bnfsSession* MakeSession(btkSocketStream* stream) override { return new Session(stream, this); }
};

// Waits until `done` holds (under the lock) or the time is up.
template <class Done> bool waitFor(Done done) {
    std::unique_lock<std::mutex> hold(g_seen.mutex);
    return g_seen.changed.wait_until(hold, g_deadline, done);
}

// One callback request to the translator; true when it answered "0".
bool callback(const std::string& request) {
    std::string url, inner;
    {
        std::lock_guard<std::mutex> hold(g_seen.mutex);
        url = g_seen.callbackUrl;
    }
    BNFSConnection* c = connectTo(url, inner);
    btkString reply;
    bnfsError error;
    const bool ok = c && BNFSConnection::OtherRequest(c, request.c_str(), reply, error) && reply.str() == "0";
    BNFSConnection::Close(c);
    return ok;
}

// Writes the interface-data document of a model with one edge to `path`.
bool writeModel(const std::string& path) {
    try {
        xrchandle<KWPISession> session = KGetPISession();
        xrchandle<KPILine> line = session->CreatePILine(KCreatePoint3D(0, 0, 0), KCreatePoint3D(10, 0, 0));
        xrchandle<KWPIModel> model = session->CreatePIModel(KACCURACY_ABSOLUTE, 0.01);
        model->AddPIEdge(model->CreatePIEdgeWithXYZCurve(1, 1, 2, line, KTRAV_SAME, KTRAV_SAME));
        model->WriteZPI(path.c_str());
        model->Close();
        return true;
    } catch (const xthrown& e) {
        std::fprintf(stderr, "zpi_test_host: the model was not written: %s\n", e.what());
        return false;
    }
}

bool check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    return ok;
}

// Waits for the translator until the deadline; kills it then. Its exit
// status, or -1 when it did not exit by itself.
int waitTranslator(pid_t pid) {
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (r < 0)
            return -1;
        if (Clock::now() > g_deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Starts the translator of argv[0] with `url` added as its last argument.
bool startTranslator(char** argv, int argc, const std::string& url, pid_t& pid) {
    std::vector<char*> args(argv, argv + argc);
    args.push_back(const_cast<char*>(url.c_str()));
    args.push_back(nullptr);
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, args.data(), environ) == 0)
        return true;
    std::fprintf(stderr, "zpi_test_host: cannot start %s\n", argv[0]);
    return false;
}

int runRefused(char** argv, int argc) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        std::fprintf(stderr, "zpi_test_host: cannot bind a port of the loopback address\n");
        return 1;
    }
    const std::string url = "bnfs://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/";
    pid_t pid = 0;
    const int status = startTranslator(argv, argc, url, pid) ? waitTranslator(pid) : 1;
    ::close(fd);
    return status < 0 ? 1 : status;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--refusing") == 0)
        return runRefused(argv + 2, argc - 2);
    if (argc < 2) {
        std::fprintf(stderr, "usage: zpi_test_host [--refusing] <translator> [arguments...]\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    ZrRegisterBnfsOpener(); // the documents go straight to the translator's server
    Server server;
    if (!server.Init(0, "127.0.0.1")) {
        std::fprintf(stderr, "zpi_test_host: cannot listen on the loopback address\n");
        return 1;
    }
    server.SetTimeSlice(0.02);
    std::thread serving([&] { server.Run(); });

    const std::string url = "bnfs://127.0.0.1:" + std::to_string(server.GetPort()) + "/";
    pid_t pid = 0;
    if (!startTranslator(argv + 1, argc - 1, url, pid)) {
        server.RequestStop();
        serving.join();
        return 1;
    }
    std::printf("host at %s started %s\n", url.c_str(), argv[1]);

    bool ok = check(waitFor([] { return !g_seen.callbackUrl.empty(); }), "the translator registered");
    if (ok) {
        const std::string cb = g_seen.callbackUrl;
        ok &= check(writeModel(cb + "host_model.xml"), "host model 1 placed for the export job");
        ok &= check(callback("112\n1\nexample.out"), "export job started");
        ok &= check(waitFor([] { return g_seen.finishes >= 1; }), "export job finished");
        ok &= check(g_seen.modelRequests == 1, "the translator asked for the host's model");
        ok &= check(g_seen.logLine.rfind("exported", 0) == 0, "its translation log arrived");

        ok &= check(writeModel(cb + "part.xml"), "part document placed for the import job");
        ok &= check(callback("110\n" + cb + "part.xml\n1\npart.prt"), "part-import job started");
        ok &= check(waitFor([] { return g_seen.finishes >= 2; }), "part-import job finished");
        const std::string head = g_seen.handedOver;
        ok &= check(head.rfind("NEUTRAL", 0) == 0 || head.find("<ZPI") != std::string::npos,
                    "the import feature's file was handed over whole");
    }
    const int status = waitTranslator(pid);
    ok &= check(status == 0, "the translator ended cleanly with 0");
    server.RequestStop();
    serving.join();
    server.Shutdown();
    std::printf("zpi_test_host: %s\n", ok ? "all steps held" : "steps failed");
    return ok ? 0 : 1;
}
