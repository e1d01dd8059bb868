// The callback server under greedy local peers: hundreds of idle
// connections never keep the host or the client's own documents out, what
// peers store is held within the peers' budget while the client's own
// documents are counted in nothing, no peer stops a hand-over, and the
// host's session lasts through a long job.
#include "api/zpi50_client.h"
#include "client/fake_host.h"
#include "client/zr_bnfs.h"
#include "client/zr_callback.h"
#include "client/zr_client.h"
#include "client/zr_proxy.h"
#include "kernel/records/qel_routines.h"
#include "loopback.h"

#include "uniloc.h"
#include "xmemory.h"
#include "xml/framework/xml_streams.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using zr_test::FakeHost;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The port of a callback URL bnfs://127.0.0.1:<port>/ZPI/.
int PortOf(const std::string& url) {
    std::string host, inner;
    int port = 0;
    EXPECT_TRUE(ZrSplitBnfsPath(url.c_str(), host, port, inner, nullptr)) << url;
    return port;
}

// What a peer writes over a hand-over file while its request is pending.
const std::string kPeersBytes(49, 'p');

// The host's answer to a hand-over (103 or 178): it fetches the document
// the request names on a connection of its own and answers 0 (103: "0\n42")
// when it came whole, as the client holds it, and is not `overWrite`, the
// bytes a peer first tries to write over it (none when empty); "-1" and why
// otherwise; "0" to any other request.
std::string FetchHandOver(const std::string& request, const std::string& overWrite = "") {
    const bool log = request.rfind("178\n", 0) == 0;
    if (!log && request.rfind("103\n", 0) != 0)
        return "0";
    std::string path = request;
    for (int field = log ? 1 : 3; field > 0; --field)
        path.erase(0, path.find('\n') + 1);
    path = path.substr(0, path.find('\n'));
    std::string host, inner, data, current;
    int at = 0;
    bnfsError e;
    auto open = [&] {
        BNFSConnection* c = BNFSConnection::Open(e, host.c_str(), at);
        if (c)
            c->SetTimeout(30);
        return c;
    };
    if (!ZrSplitBnfsPath(path.c_str(), host, at, inner, nullptr))
        return "-1\nnot a bnfs path";
    if (!overWrite.empty()) {
        // Under its own name and names spelled otherwise for the same file.
        BNFSConnection* peer = open();
        for (const std::string& name : {inner, "/" + inner + "/", "/ZPI//" + inner.substr(5)}) {
            bnfsError refused;
            if (peer && BNFSConnection::WriteFile(peer, name.c_str(), overWrite.data(),
                                                  overWrite.size(), refused))
                ADD_FAILURE() << "a peer wrote over " << name;
        }
        BNFSConnection::Close(peer);
    }
    BNFSConnection* c = open();
    const bool ok = c && BNFSConnection::ReadFile(c, inner.c_str(), data, e) &&
                    unimemlocation::GetRegistered()->ReadFile(inner.c_str(), current, nullptr) &&
                    data == current && data != overWrite;
    BNFSConnection::Close(c);
    return ok ? std::string(log ? "0" : "0\n42") : "-1\n" + e.message;
}

class CallbackLoad : public ::testing::Test {
protected:
    void SetUp() override {
        ZrShutdownClient();
        ASSERT_TRUE(host.Ok());
        proxy = ZrInitializeClient(host.Url().c_str());
        ASSERT_FALSE(proxy.isNull());
        url = ZrGetCallbackUrl().str();
    }
    void TearDown() override {
        proxy.release();
        ZrShutdownClient();
    }

    // A whole document under the callback URL, read the way the XML
    // binding reads one.
    std::string ReadOwn(const std::string& name) {
        std::string why;
        std::unique_ptr<IntfXmlBnfsFile> file(ZrOpenBnfsFile((url + name).c_str(), 1, &why));
        EXPECT_NE(file, nullptr) << why;
        std::string data;
        char chunk[4096];
        for (long n; file && (n = file->Read(chunk, sizeof chunk)) > 0;)
            data.append(chunk, size_t(n));
        return data;
    }

    FakeHost host;
    xrchandle<ZorvanProxy> proxy;
    std::string url;
};

TEST_F(CallbackLoad, ThreeHundredIdleConnectionsKeepNeitherTheHostNorTheClientsOwnDocumentsOut) {
    // 300 connections, the server's sessions and this process's own: raise
    // the soft limit of open files where it is lower.
    rlimit files{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &files), 0);
    const rlim_t needed = 1024;
    if (files.rlim_cur < needed) {
        if (files.rlim_max != RLIM_INFINITY && files.rlim_max < needed)
            GTEST_SKIP() << "at most " << files.rlim_max << " open files allowed, " << needed << " needed";
        rlimit raised = files;
        raised.rlim_cur = needed;
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &raised), 0);
    }
    const int port = PortOf(url);
    std::vector<int> idle;
    for (int i = 0; i < 300; ++i) {
        const int fd = ConnectLoopback(port);
        ASSERT_GE(fd, 0) << "connection " << i;
        idle.push_back(fd);
    }

    // The host is served at once, its session taking the place of an idle one.
    const auto start = Clock::now();
    bnfsError e;
    BNFSConnection* hostSide = BNFSConnection::Open(e, "127.0.0.1", port);
    ASSERT_NE(hostSide, nullptr) << e.message;
    hostSide->SetTimeout(15);
    btkString reply;
    EXPECT_TRUE(BNFSConnection::OtherRequest(hostSide, "149\n0", reply, e)) << e.message;
    EXPECT_EQ(reply.str(), "0");
    EXPECT_LT(SecondsSince(start), 15.0);

    // The client hands a document over and reads its own documents.
    const char* text[] = {"while the callback server is crowded"};
    auto** lines = static_cast<const char**>(xar_alloc(1, sizeof(char*), 1));
    lines[0] = text[0];
    EXPECT_EQ(proxy->SendTranslationLog(lines), 0);
    xar_free(lines);
    EXPECT_EQ(host.Last(), "178\n" + url + "TranslationLog.xml");
    EXPECT_NE(ReadOwn("TranslationLog.xml").find(text[0]), std::string::npos);
    // The host fetches it too.
    std::string fetched;
    EXPECT_TRUE(BNFSConnection::ReadFile(hostSide, "/ZPI/TranslationLog.xml", fetched, e)) << e.message;
    EXPECT_NE(fetched.find(text[0]), std::string::npos);
    BNFSConnection::Close(hostSide);

    for (int fd : idle)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &files);
}

TEST_F(CallbackLoad, ThePeersBudgetHoldsForTheHostAndNeverKeepsOutTheClientsOwnDocuments) {
    uniByteBudget& budget = uniByteBudget::Process();
    struct Restore {
        ~Restore() { uniByteBudget::Process().SetLimit(uniByteBudget::kDefaultLimit); }
    } restore;
    budget.SetLimit(budget.GetHeld() + 64 * 1024);
    const size_t held = budget.GetHeld();

    // A host's write beyond it is refused.
    bnfsError e;
    BNFSConnection* hostSide = BNFSConnection::Open(e, "127.0.0.1", PortOf(url));
    ASSERT_NE(hostSide, nullptr) << e.message;
    hostSide->SetTimeout(15);
    const std::string big(128 * 1024, 'h');
    EXPECT_FALSE(BNFSConnection::WriteFile(hostSide, "/ZPI/from_host.xml", big.data(), big.size(), e));
    BNFSConnection::Close(hostSide);
    EXPECT_FALSE(unimemlocation::GetRegistered()->IsFile("/ZPI/from_host.xml"));

    // A hand-over far beyond it goes out, counted in nothing, and the host
    // fetches it whole.
    const std::string longLine(1u << 20, 'l');
    auto** lines = static_cast<const char**>(xar_alloc(1, sizeof(char*), 1));
    lines[0] = longLine.c_str();
    EXPECT_EQ(proxy->SendTranslationLog(lines), 0);
    xar_free(lines);
    EXPECT_EQ(host.Last(), "178\n" + url + "TranslationLog.xml");
    hostSide = BNFSConnection::Open(e, "127.0.0.1", PortOf(url));
    ASSERT_NE(hostSide, nullptr) << e.message;
    hostSide->SetTimeout(15);
    std::string fetched;
    EXPECT_TRUE(BNFSConnection::ReadFile(hostSide, "/ZPI/TranslationLog.xml", fetched, e)) << e.message;
    EXPECT_NE(fetched.find(longLine), std::string::npos);
    BNFSConnection::Close(hostSide);
    const auto start = Clock::now();
    while (budget.GetHeld() != held && SecondsSince(start) < 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(budget.GetHeld(), held);
}

// A hand-over goes through whatever other local processes hold. Peers ask
// for the job's document and never read while the job hands it over again
// and again; later a peer's stored files fill the budget and it holds a
// small request unfinished beyond it. The host fetches each document a
// request names, on a connection of its own, and always gets it whole;
// its session, through which it started a job, sends a slow fetch whole
// too. The versions that peers keep alive stay within the budget, but for
// the newest one replaced and the one the host's session is sending.
TEST_F(CallbackLoad, AHandOverGoesThroughWhateverOtherPeersHold) {
    uniByteBudget& budget = uniByteBudget::Process();
    unimemlocation* mem = unimemlocation::GetRegistered();
    struct Restore {
        ~Restore() {
            uniByteBudget::Process().SetLimit(uniByteBudget::kDefaultLimit);
            for (const char* name : {"/ZPI/stored", "/ZPI/TranslationLog.xml"})
                unimemlocation::GetRegistered()->RemoveFile(name, nullptr);
            ZrSetImportFormat(0);
        }
    } restore;
    const int port = PortOf(url);
    // Hand-overs of large documents, fetched by a host on a machine kept
    // busy: replies get time enough.
    proxy->GetConnection()->SetTimeout(60);
    // The host fetches the document that 103 or 178 names; its reply says
    // whether it came whole (as the file the client holds now).
    host.AnswerWith([](const std::string& request) { return FetchHandOver(request); });

    // Versions of the log larger than a socket's buffers, so that answers
    // to peers that do not read wait.
    constexpr size_t kLine = 8u << 20;
    const std::string logPath = "/ZPI/TranslationLog.xml";
    std::vector<std::weak_ptr<const std::string>> versions;
    auto handOver = [&](int i) {
        const std::string line(kLine, char('a' + i));
        auto** lines = static_cast<const char**>(xar_alloc(1, sizeof(char*), 1));
        lines[0] = line.c_str();
        EXPECT_EQ(proxy->SendTranslationLog(lines), 0) << i;
        xar_free(lines);
        std::shared_ptr<const std::string> now;
        ASSERT_TRUE(mem->ReadShared(logPath.c_str(), now, nullptr));
        versions.push_back(now);
    };
    auto aliveReplaced = [&] {
        size_t n = 0;
        for (size_t i = 0; i + 1 < versions.size(); ++i)
            if (auto v = versions[i].lock())
                n += v->size();
        return n;
    };
    // Asks for the log on a peer that reads nothing; true once the answer
    // holds the current version.
    const std::string read = FrameHeader('G', uint32_t(logPath.size())) + logPath;
    auto ask = [&](int fd) {
        const long before = versions.back().use_count();
        EXPECT_EQ(::send(fd, read.data(), read.size(), MSG_NOSIGNAL), ssize_t(read.size()));
        const auto start = Clock::now();
        while (versions.back().use_count() <= before && SecondsSince(start) < 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return versions.back().use_count() > before;
    };
    const size_t base = budget.GetHeld();
    budget.SetLimit(base + 2 * kLine + kLine / 2);

    handOver(0);
    // The host's session starts a job and fetches the log slowly.
    btkSocketStream hostSession(ConnectLoopback(port, 4096));
    bnfsError e;
    bnfsFrame f;
    ASSERT_EQ(TextRequest(hostSession.GetFd(), "112\n0"), 'R');
    ASSERT_TRUE(ask(hostSession.GetFd()));
    const std::string hostVersion = *versions.front().lock();
    std::vector<int> peers;
    for (int i = 1; i <= 4; ++i) {
        for (int k = 0; k < 2; ++k) {
            peers.push_back(ConnectLoopback(port, 4096));
            EXPECT_TRUE(ask(peers.back())) << i;
        }
        handOver(i);
        const auto start = Clock::now();
        auto settled = [&] { return budget.GetHeld() == base + aliveReplaced() && !budget.IsOver(); };
        while (!settled() && SecondsSince(start) < 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_TRUE(settled()) << i << ": " << budget.GetHeld() - base << " bytes held, "
                               << aliveReplaced() << " in replaced versions";
        EXPECT_LE(aliveReplaced() + versions.back().lock()->size(), budget.GetLimit() - base + 3 * kLine);
    }
    ASSERT_TRUE(bnfsReadFrame(hostSession, f, 30, 60, &e)) << e.message;
    EXPECT_EQ(f.kind, 'F');
    EXPECT_TRUE(f.payload == hostVersion) << f.payload.size() << " bytes";
    for (int fd : peers)
        ::close(fd);
    hostSession.Close();

    // A peer's stored file fills the budget, and it holds a small request
    // unfinished beyond it: the host's fetch of an import feature's
    // document still comes whole.
    const auto start = Clock::now();
    while ((aliveReplaced() != 0 || budget.GetHeld() != base) && SecondsSince(start) < 20)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(budget.GetHeld(), base);
    BNFSConnection* storer = BNFSConnection::Open(e, "127.0.0.1", port);
    ASSERT_NE(storer, nullptr) << e.message;
    storer->SetTimeout(30);
    // As much as the budget holds but 64 bytes, with its name and entry.
    const std::string stored(
        budget.GetLimit() - budget.GetHeld() - 64 - 2 * 11 - 6 - kUniEntryOverhead, 's');
    EXPECT_TRUE(BNFSConnection::WriteFile(storer, "/ZPI/stored", stored.data(), stored.size(), e))
        << e.message;
    BNFSConnection::Close(storer);
    const std::string unfinished = FrameHeader('W', 60 * 1024) + "/ZPI/held";
    btkSocketStream holder(ConnectLoopback(port));
    ASSERT_TRUE(holder.WriteAll(unfinished.data(), unfinished.size(), &e)) << e.message;
    while (!budget.IsOver() && SecondsSince(start) < 20)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(budget.IsOver());
    qel_intf_data* data = nullptr;
    ASSERT_EQ(qel_intf_data_alloc(&data), 0);
    ZrSetImportFormat(1);
    int feature = 0;
    EXPECT_EQ(proxy->ImportQelIntfDataToFeature(1, nullptr, data, nullptr, &feature), 0);
    EXPECT_EQ(feature, 42);
    qel_intf_data_free(data);
}

// ---- a host session through a long job ------------------------------------------------

const char kAfterLongJob[] = "written after a job longer than the idle limit";

int longExportJob(int, char** const) {
    // Longer than the callback server's idle limit in the test below.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    auto** lines = static_cast<const char**>(xar_alloc(1, sizeof(char*), 1));
    lines[0] = kAfterLongJob;
    ZrClient::Get()->GetProxy()->SendTranslationLog(lines);
    xar_free(lines);
    return 0;
}

// The client's job loop on a thread of its own for one test; stopped, and
// the bindings and import format put back, when the test ends.
struct JobLoop {
    std::thread thread{[] { ZrRunClient(); }};
    ~JobLoop() {
        ZrRequestClientLoopStop();
        thread.join();
        ZrInitBinding();
        ZrSetImportFormat(0);
    }
};

TEST_F(CallbackLoad, TheHostFetchesAHandOverOnTheSessionThatStartedALongJob) {
    ZrCallbackServer* server = ZrClient::Get()->GetCallbackServer();
    ASSERT_NE(server, nullptr);
    server->SetIdleLimit(0.2);
    ASSERT_TRUE(ZrRegisterExportTranslator(&longExportJob));
    JobLoop loop;

    bnfsError e;
    BNFSConnection* hostSide = BNFSConnection::Open(e, "127.0.0.1", PortOf(url));
    ASSERT_NE(hostSide, nullptr) << e.message;
    hostSide->SetTimeout(15);
    btkString reply;
    ASSERT_TRUE(BNFSConnection::OtherRequest(hostSide, "112\n0", reply, e)) << e.message;
    EXPECT_EQ(reply.str(), "0");
    // The job hands its log over after the session was quiet past the
    // limit; the host fetches it on that same session.
    const std::string sent = "178\n" + url + "TranslationLog.xml";
    const auto start = Clock::now();
    auto seen = [&](const std::string& text) {
        for (const std::string& r : host.Requests())
            if (r == text)
                return true;
        return false;
    };
    while (!seen(sent) && SecondsSince(start) < 15)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(seen(sent));
    EXPECT_TRUE(hostSide->IsConnected());
    std::string fetched;
    EXPECT_TRUE(BNFSConnection::ReadFile(hostSide, "/ZPI/TranslationLog.xml", fetched, e)) << e.message;
    EXPECT_NE(fetched.find(kAfterLongJob), std::string::npos);
    BNFSConnection::Close(hostSide);
    while (!seen("108") && SecondsSince(start) < 15)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(seen("108"));
}

// ---- what local peers spend: connections, the host's mark, its documents ----------------

// Statuses of the hand-overs of the job below.
struct HandOvers {
    std::mutex mutex;
    std::vector<int> statuses;
} g_handOvers;

int threeHandOversJob(int, char** const) {
    qel_intf_data* data = nullptr;
    if (qel_intf_data_alloc(&data) != 0)
        return 1;
    for (int i = 0; i < 3; ++i) {
        int feature = 0;
        const int status = ZrClient::Get()->GetProxy()->ImportQelIntfDataToFeature(
            1, nullptr, data, nullptr, &feature);
        std::lock_guard<std::mutex> hold(g_handOvers.mutex);
        g_handOvers.statuses.push_back(status == 0 && feature == 42 ? 0 : status ? status : -42);
    }
    qel_intf_data_free(data);
    return 0;
}

// Connections that each sent one byte, 256 and then 1,000, opened again as
// the callback server closes them: the host's session stays, and each of
// its fetches on a new connection is served, so every hand-over of a job
// answers 0.
TEST_F(CallbackLoad, OneByteConnectionsStopNoHandOverAndKeepOutNotTheHostsSession) {
    OpenFilesAtLeast files(4096);
    if (!files.Ok())
        GTEST_SKIP() << "4096 open files are not allowed";
    ZrCallbackServer* server = ZrClient::Get()->GetCallbackServer();
    ASSERT_NE(server, nullptr);
    host.AnswerWith([](const std::string& request) { return FetchHandOver(request); });
    // The host fetches each document on a machine kept busy: replies get
    // time enough.
    proxy->GetConnection()->SetTimeout(60);
    ASSERT_TRUE(ZrRegisterExportTranslator(&threeHandOversJob));
    JobLoop loop;
    const int port = PortOf(url);
    btkSocketStream hostSession(ConnectLoopback(port));
    ASSERT_EQ(TextRequest(hostSession.GetFd(), "149\n1"), 'R');
    int jobs = 0;
    for (size_t flooders : {btkMultiSessionServer::kMaxSessions, size_t(1000)}) {
        SCOPED_TRACE(std::to_string(flooders) + " one-byte connections");
        {
            std::lock_guard<std::mutex> hold(g_handOvers.mutex);
            g_handOvers.statuses.clear();
        }
        OneByteFlood flood(port, flooders);
        const auto start = Clock::now();
        while (server->GetSessionCount() < btkMultiSessionServer::kMaxSessions &&
               SecondsSince(start) < 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(server->GetSessionCount(), btkMultiSessionServer::kMaxSessions);
        ASSERT_EQ(TextRequest(hostSession.GetFd(), "112\n0"), 'R');
        ++jobs;
        auto finished = [&] {
            size_t n = 0;
            for (const std::string& r : host.Requests())
                n += r == "108" ? 1 : 0;
            return n;
        };
        while (finished() < size_t(jobs) && SecondsSince(start) < 60)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(finished(), size_t(jobs));
        std::lock_guard<std::mutex> hold(g_handOvers.mutex);
        EXPECT_EQ(g_handOvers.statuses, (std::vector<int>{0, 0, 0}));
    }
    // The host's session was never closed.
    EXPECT_EQ(TextRequest(hostSession.GetFd(), "149\n1"), 'R');
}

// Job requests whose text is not whole (no job text, or no argument count)
// start their job but do not make their session the host's: the host's
// session, quiet the longest, keeps its place when new connections push
// every other quiet session out of a full table.
TEST_F(CallbackLoad, JobRequestsWhoseTextIsNotWholeDoNotTakeTheHostsPlace) {
    OpenFilesAtLeast files(2048);
    if (!files.Ok())
        GTEST_SKIP() << "2048 open files are not allowed";
    ZrCallbackServer* server = ZrClient::Get()->GetCallbackServer();
    ASSERT_NE(server, nullptr);
    const int port = PortOf(url);
    btkSocketStream hostSession(ConnectLoopback(port));
    ASSERT_EQ(TextRequest(hostSession.GetFd(), "112\n0"), 'R');
    std::vector<std::unique_ptr<btkSocketStream>> peers;
    for (const char* request :
         {"110", "112", "152", "110\nx", "110\n\n0", "112\nall", "112\n-1", "152\nx"}) {
        peers.push_back(std::make_unique<btkSocketStream>(ConnectLoopback(port)));
        bnfsError e;
        std::string item;
        bnfsPutTextItem(item, request, std::strlen(request));
        ASSERT_TRUE(bnfsWriteFrame(*peers.back(), 'Q', item.data(), item.size(), &e)) << e.message;
        bnfsFrame f;
        ASSERT_TRUE(bnfsReadFrame(*peers.back(), f, 10, 10, &e)) << e.message;
        EXPECT_EQ(f.payload, "_1:0") << request; // its job starts, the count read as 0
    }
    // Quiet sessions fill the table, then twice as many push them out.
    for (size_t i = 0; i < 3 * btkMultiSessionServer::kMaxSessions; ++i) {
        peers.push_back(std::make_unique<btkSocketStream>(ConnectLoopback(port)));
        ASSERT_EQ(TextRequest(peers.back()->GetFd(), "149\n0"), 'R') << i;
    }
    EXPECT_EQ(TextRequest(hostSession.GetFd(), "149\n0"), 'R');
}

// A peer that writes over a hand-over file while its request is pending is
// refused, so the host gets what the translator wrote, on every route that
// hands a document over; peers' own files, and the hand-over file once its
// request is answered, stay writable.
TEST_F(CallbackLoad, APeersWriteOverAPendingHandOverIsRefused) {
    struct Restore {
        ~Restore() { ZrSetImportFormat(0); }
    } restore;
    host.AnswerWith([](const std::string& request) { return FetchHandOver(request, kPeersBytes); });
    qel_intf_data* data = nullptr;
    ASSERT_EQ(qel_intf_data_alloc(&data), 0);
    const char* line[] = {"a line of the log"};
    struct Route {
        const char* file;
        std::function<int()> handOver;
    };
    auto importFeature = [&](int format) {
        ZrSetImportFormat(format);
        int feature = 0;
        const int r = proxy->ImportQelIntfDataToFeature(1, nullptr, data, nullptr, &feature);
        return r == 0 && feature != 42 ? -42 : r;
    };
    const Route routes[] = {
        {"zpi.neu", [&] { return importFeature(0); }},
        {"zpi.xml", [&] { return importFeature(1); }},
        {"TranslationLog.xml",
         [&] {
             auto** lines = static_cast<const char**>(xar_alloc(1, sizeof(char*), 1));
             lines[0] = line[0];
             const int r = proxy->SendTranslationLog(lines);
             xar_free(lines);
             return r;
         }},
    };
    bnfsError e;
    BNFSConnection* peer = BNFSConnection::Open(e, "127.0.0.1", PortOf(url));
    ASSERT_NE(peer, nullptr) << e.message;
    peer->SetTimeout(15);
    for (const Route& route : routes) {
        SCOPED_TRACE(route.file);
        const size_t before = host.Count();
        EXPECT_EQ(route.handOver(), 0);
        EXPECT_EQ(host.Count(), before + 1);
        std::string handedOver;
        ASSERT_TRUE(unimemlocation::GetRegistered()->ReadFile(
            (std::string("/ZPI/") + route.file).c_str(), handedOver, nullptr));
        EXPECT_NE(handedOver, kPeersBytes);
        // Answered: writable again, and so is a peer's own file.
        for (const std::string& path :
             {std::string("/ZPI/") + route.file, std::string("/ZPI/peers.txt")})
            EXPECT_TRUE(BNFSConnection::WriteFile(peer, path.c_str(), kPeersBytes.data(),
                                                  kPeersBytes.size(), e))
                << path << ": " << e.message;
    }
    BNFSConnection::Close(peer);
    qel_intf_data_free(data);
    for (const char* name :
         {"/ZPI/peers.txt", "/ZPI/zpi.neu", "/ZPI/zpi.xml", "/ZPI/TranslationLog.xml"})
        unimemlocation::GetRegistered()->RemoveFile(name, nullptr);
}

} // namespace
