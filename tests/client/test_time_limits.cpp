// The client against hosts that fall silent, stop in the middle of a reply
// or close the connection: every request ends within the reply time limit,
// a closed connection is opened again before the next request, a request
// is never sent twice, and a job still sends its finish notice. Also the
// callback server's answers to a peer that never reads them.
#include "api/zpi50_client.h"
#include "client/zr_callback.h"
#include "client/zr_client.h"
#include "client/zr_jobs.h"
#include "client/zr_proxy.h"
#include "net.h"
#include "uniloc.h"
#include "xmemory.h"
#include "client/fake_host.h"
#include "loopback.h"
#include "quoted_text.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The client reads its reply time limit once per process: this program
// sets a short one before any test runs, so that tests that wait it out
// stay quick in any order.
constexpr double kLimit = 2;
const bool g_limitSet = [] { return ::setenv("ZORVAN_REPLY_TIMEOUT", "2", 1) == 0; }();

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A host on the loopback address that treats each text request as its
// script says, one step per request (an answer "0" once the script is
// used up). It serves one connection at a time and records every request
// with the number of the connection it came on (1 for the first).
class ScriptedHost {
public:
    enum Act { kAnswer, kSilent, kHeadOnly, kAnswerThenClose, kClose };
    struct Step {
        Act act;
        std::string reply;
    };
    struct Seen {
        int connection;
        std::string text;
        bool operator==(const Seen&) const = default;
    };

    ScriptedHost() {
        listen_ = ListenLoopback(&port_);
        ok_ = listen_ >= 0;
        thread_ = std::thread([this] { Serve(); });
    }
    ~ScriptedHost() {
        stop_ = true;
        thread_.join();
        ::close(listen_);
    }
    ScriptedHost(const ScriptedHost&) = delete;
    ScriptedHost& operator=(const ScriptedHost&) = delete;

    bool Ok() const { return ok_; }
    std::string Url() const { return "bnfs://127.0.0.1:" + std::to_string(port_) + "/"; }

    void Script(std::vector<Step> steps) {
        std::lock_guard<std::mutex> hold(mutex_);
        steps_.assign(steps.begin(), steps.end());
    }
    std::vector<Seen> Requests() {
        std::lock_guard<std::mutex> hold(mutex_);
        return seen_;
    }
    // Waits (bounded) until `text` has come.
    bool WaitFor(const std::string& text) {
        std::unique_lock<std::mutex> hold(mutex_);
        return cv_.wait_for(hold, 15s, [&] {
            for (const Seen& s : seen_)
                if (s.text == text)
                    return true;
            return false;
        });
    }
    // Waits (bounded) until the host has closed `n` connections.
    bool WaitClosed(int n) {
        std::unique_lock<std::mutex> hold(mutex_);
        return cv_.wait_for(hold, 15s, [&] { return closed_ >= n; });
    }

private:
    Step Next(int connection, const std::string& text) {
        std::lock_guard<std::mutex> hold(mutex_);
        seen_.push_back(Seen{connection, text});
        cv_.notify_all();
        if (steps_.empty())
            return Step{kAnswer, "0"};
        Step step = steps_.front();
        steps_.pop_front();
        return step;
    }

    static void Reply(btkSocketStream& s, const std::string& text) {
        std::string item;
        bnfsPutTextItem(item, text.data(), text.size());
        bnfsError e;
        bnfsWriteFrame(s, 'R', item.data(), item.size(), &e);
    }

    void Serve() {
        int connection = 0;
        while (!stop_) {
            pollfd p{listen_, POLLIN, 0};
            if (::poll(&p, 1, 20) != 1)
                continue;
            auto s = std::make_unique<btkSocketStream>(::accept(listen_, nullptr, nullptr));
            Serve(*s, ++connection);
            s.reset();
            std::lock_guard<std::mutex> hold(mutex_);
            ++closed_;
            cv_.notify_all();
        }
    }

    // Serves one connection until its script or its peer closes it.
    void Serve(btkSocketStream& s, int connection) {
        bool open = true;
        while (open && !stop_) {
            bnfsFrame f;
            bnfsError e;
            if (!bnfsReadFrame(s, f, 0.02, 5, &e)) {
                open = e.code == BNFS_ERR_TIMEOUT && s.IsOpen();
                continue;
            }
            if (f.kind == 'P') {
                bnfsWriteFrame(s, 'A', nullptr, 0, &e);
                continue;
            }
            std::string text;
            bnfsGetTextItem(f.payload, text);
            const Step step = Next(connection, text);
            switch (step.act) {
            case kAnswer:
                Reply(s, step.reply);
                break;
            case kSilent:
                break;
            case kHeadOnly:
                s.WriteAll("R\0", 2, &e);
                break;
            case kAnswerThenClose:
                Reply(s, step.reply);
                open = false;
                break;
            case kClose:
                open = false;
                break;
            }
        }
    }

    int listen_ = -1;
    int port_ = 0;
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Step> steps_;
    std::vector<Seen> seen_;
    int closed_ = 0; // connections closed, under mutex_
    std::thread thread_;
};

using Seen = ScriptedHost::Seen;

TEST(ReplyTimeLimit, ReadOnceFromTheEnvironmentAndToldInOneLineWhenNotTaken) {
    ASSERT_TRUE(g_limitSet);
    EXPECT_EQ(ZrGetReplyTimeout(), kLimit);
    std::string told = "x";
    EXPECT_EQ(ZrParseReplyTimeout(nullptr, &told), 300);
    EXPECT_EQ(told, "");
    // Numbers are taken as they stand, blanks around them ignored.
    for (auto [text, seconds] : {std::pair{"0.25", 0.25}, {"45", 45.0}, {" 5", 5.0}, {"\t7 \n", 7.0},
                                 {"1000000", 1000000.0}}) {
        EXPECT_EQ(ZrParseReplyTimeout(text, &told), seconds) << text;
        EXPECT_EQ(told, "") << text;
    }
    // Above the longest limit, also beyond what a number holds: the
    // longest limit, and it is told; closer to 0 than a number holds: the
    // shortest there is, told.
    const std::string nines(100000, '9');
    for (const std::string& above :
         {std::string("1e12"), std::string("inf"), std::string(" 1e999"), nines}) {
        EXPECT_EQ(ZrParseReplyTimeout(above.c_str(), &told), 1000000) << above;
        EXPECT_TRUE(told == "ZORVAN_REPLY_TIMEOUT=\"" + above +
                                "\" is above the longest limit; the reply time limit is 1000000 "
                                "seconds")
            << told.substr(0, 100);
    }
    EXPECT_EQ(ZrParseReplyTimeout("1e-999", &told), std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(told, "ZORVAN_REPLY_TIMEOUT=\"1e-999\" is below the shortest limit; the reply time "
                    "limit is 5e-324 seconds");
    // Anything else: 300, and it is told.
    for (const char* bad : {"", "0", "-3", "ten", "5s", "nan", "5 5", "-1e999", "-1e-999"}) {
        EXPECT_EQ(ZrParseReplyTimeout(bad, &told), 300) << bad;
        EXPECT_EQ(told, std::string("ZORVAN_REPLY_TIMEOUT=\"") + bad +
                            "\" is not a positive number of seconds; the reply time limit is 300 "
                            "seconds");
    }
    // Read from the environment, a value not taken is one line on standard
    // error, a value taken is silent.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ZrReadReplyTimeout("ten"), 300);
    EXPECT_EQ(ZrReadReplyTimeout("45"), 45);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "ZORVAN_REPLY_TIMEOUT=\"ten\" is not a positive number of seconds; the reply time "
              "limit is 300 seconds\n");
    // A value quoted on the line's one line, as it stands.
    for (const char* forged : {"5\nSaveAsNeutral: forged line", "\xFF\xFE\x1B[2J"}) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(ZrReadReplyTimeout(forged), 300);
        EXPECT_TRUE(quotedtest::QuotesOnOneLine(::testing::internal::GetCapturedStderr(), forged));
    }
}

class HostTimeLimits : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.Ok());
        proxy = new ZorvanProxy();
        ASSERT_TRUE(proxy->Connect(btkString(host.Url())));
    }

    ScriptedHost host;
    xrchandle<ZorvanProxy> proxy;
};

TEST_F(HostTimeLimits, SilentHostAndStalledReplyGive100WithinTheLimit) {
    int out = 5;
    host.Script({{ScriptedHost::kSilent, ""}, {ScriptedHost::kHeadOnly, ""}, {ScriptedHost::kAnswer, "0\n7"}});
    auto start = Clock::now();
    EXPECT_EQ(proxy->CreateModel("m", 1, &out), 100);
    EXPECT_GE(SecondsSince(start), kLimit - 0.1);
    EXPECT_LT(SecondsSince(start), kLimit + 3);
    start = Clock::now();
    EXPECT_EQ(proxy->InitSolid("s", 2, &out), 100);
    EXPECT_GE(SecondsSince(start), kLimit - 0.1);
    EXPECT_LT(SecondsSince(start), kLimit + 3);
    EXPECT_EQ(out, 5);
    // Each failed request closed its connection; the next one connects anew.
    EXPECT_EQ(proxy->CreateModel("m", 1, &out), 0);
    EXPECT_EQ(out, 7);
    EXPECT_EQ(host.Requests(), (std::vector<Seen>{{1, "101\nm\n1"}, {2, "106\ns\n2"}, {3, "101\nm\n1"}}));
}

TEST_F(HostTimeLimits, RequestAfterTheHostClosedReconnectsAndNothingIsSentTwice) {
    int out = 0;
    host.Script({{ScriptedHost::kAnswerThenClose, "0\n1"},
                 {ScriptedHost::kAnswer, "0\n2"},
                 {ScriptedHost::kClose, ""},
                 {ScriptedHost::kAnswer, "0\n3"}});
    EXPECT_EQ(proxy->CreateModel("a", 1, &out), 0);
    EXPECT_EQ(out, 1);
    // The host has closed, and the client has seen it: this request goes
    // out on a new connection.
    ASSERT_TRUE(host.WaitClosed(1));
    const auto start = Clock::now();
    while (proxy->GetConnection()->IsConnected() && SecondsSince(start) < 15)
        std::this_thread::sleep_for(5ms);
    ASSERT_FALSE(proxy->GetConnection()->IsConnected());
    EXPECT_EQ(proxy->CreateModel("b", 1, &out), 0);
    EXPECT_EQ(out, 2);
    // The host takes this one and closes without a reply: it failed, and
    // it is not sent again.
    EXPECT_EQ(proxy->CreateModel("c", 1, &out), 100);
    EXPECT_EQ(out, 2);
    EXPECT_EQ(proxy->CreateModel("d", 1, &out), 0);
    EXPECT_EQ(out, 3);
    EXPECT_EQ(host.Requests(), (std::vector<Seen>{{1, "101\na\n1"}, {2, "101\nb\n1"}, {2, "101\nc\n1"},
                                                  {3, "101\nd\n1"}}));
    // The probe goes on a connection of its own, which this host does not
    // serve while the proxy's is open: no answer within the limit.
    const auto probe = Clock::now();
    EXPECT_FALSE(proxy->IsServerAlive());
    EXPECT_LT(SecondsSince(probe), kLimit + 3);
}

// ---- a job whose host falls silent -----------------------------------------------------

std::atomic<int> g_statusSeen{-1000};

int silentHostExport(int, char** const) {
    int model = 0;
    g_statusSeen = ZrClient::Get()->GetProxy()->CreateModel("m", 1, &model);
    return 0;
}

// A started client with its job loop on a thread; ends both, whatever
// the test does.
class RunningClient {
public:
    explicit RunningClient(const std::string& url) : proxy_(ZrInitializeClient(url.c_str())) {
        if (proxy_)
            loop_ = std::thread([] { ZrRunClient(); });
    }
    ~RunningClient() {
        if (loop_.joinable()) {
            ZrRequestClientLoopStop();
            loop_.join();
        }
        proxy_.release();
        ZrShutdownClient();
        ZrInitBinding();
    }
    bool Ok() const { return bool(proxy_); }

private:
    xrchandle<ZorvanProxy> proxy_;
    std::thread loop_;
};

TEST(HostTimeLimitsJob, JobRunsOnToItsFinishNoticeAfterASilentOrStalledHost) {
    for (ScriptedHost::Act act : {ScriptedHost::kSilent, ScriptedHost::kHeadOnly}) {
        SCOPED_TRACE(act == ScriptedHost::kSilent ? "silent host" : "reply stops after its head");
        ScriptedHost host;
        ASSERT_TRUE(host.Ok());
        g_statusSeen = -1000;
        // Registration answered, the job's request not.
        host.Script({{ScriptedHost::kAnswer, "0"}, {act, ""}});
        RunningClient client(host.Url());
        ASSERT_TRUE(client.Ok());
        ASSERT_TRUE(ZrRegisterExportTranslator(&silentHostExport));
        const std::string callbackUrl = ZrGetCallbackUrl().str();
        ASSERT_TRUE(host.WaitFor("111\n" + callbackUrl + "\n" + std::to_string(::getpid())));

        bnfsError e;
        BNFSConnection* callback = BNFSConnection::Open(e, "127.0.0.1", std::stoi(callbackUrl.substr(17)));
        ASSERT_NE(callback, nullptr) << e.message;
        callback->SetTimeout(10);
        btkString reply;
        const auto start = Clock::now();
        EXPECT_TRUE(BNFSConnection::OtherRequest(callback, "112\n0", reply, e)) << e.message;
        BNFSConnection::Close(callback);
        EXPECT_EQ(reply.str(), "0");
        ASSERT_TRUE(host.WaitFor("108"));
        EXPECT_LT(SecondsSince(start), kLimit + 3);
        EXPECT_EQ(g_statusSeen.load(), 100);
        // The finish notice went out on a new connection, after the request
        // that ran out of time.
        const std::vector<Seen> seen = host.Requests();
        ASSERT_EQ(seen.size(), 3u);
        EXPECT_EQ(seen[1], (Seen{1, "101\nm\n1"}));
        EXPECT_EQ(seen[2], (Seen{2, "108"}));
    }
}

// A hand-over whose reply does not come, or comes not at all, lets go of its
// document: once the request failed, a peer writes the file again.
TEST(HostTimeLimitsJob, AHandOverWhoseReplyFailsLeavesItsDocumentWritable) {
    for (ScriptedHost::Act act : {ScriptedHost::kSilent, ScriptedHost::kHeadOnly,
                                  ScriptedHost::kClose}) {
        SCOPED_TRACE(int(act));
        ScriptedHost host;
        ASSERT_TRUE(host.Ok());
        host.Script({{ScriptedHost::kAnswer, "0"}, {act, ""}});
        RunningClient client(host.Url());
        ASSERT_TRUE(client.Ok());
        const std::string callbackUrl = ZrGetCallbackUrl().str();
        ASSERT_TRUE(host.WaitFor("111\n" + callbackUrl + "\n" + std::to_string(::getpid())));
        auto** lines = static_cast<const char**>(xar_alloc(1, sizeof(char*), 1));
        lines[0] = "a line";
        EXPECT_EQ(ZrClient::Get()->GetProxy()->SendTranslationLog(lines), 100);
        xar_free(lines);
        bnfsError e;
        BNFSConnection* peer =
            BNFSConnection::Open(e, "127.0.0.1", std::stoi(callbackUrl.substr(17)));
        ASSERT_NE(peer, nullptr) << e.message;
        peer->SetTimeout(10);
        EXPECT_TRUE(BNFSConnection::WriteFile(peer, "/ZPI/TranslationLog.xml", "p", 1, e))
            << e.message;
        BNFSConnection::Close(peer);
        unimemlocation::GetRegistered()->RemoveFile("/ZPI/TranslationLog.xml", nullptr);
    }
}

// ---- a host that does not take the registration ---------------------------------------

// The host's URL is stale and its port belongs to a process that is no
// host: no job can ever come, so the loop says why and answers false at
// once instead of waiting for jobs.
TEST(HostTimeLimitsJob, RegistrationThatFailsIsToldAndTheLoopEndsAtOnce) {
    const struct {
        const char* host;
        ScriptedHost::Step step;
        std::string reason;
        bool (*run)();
    } cases[] = {
        {"accepts and never answers", {ScriptedHost::kSilent, ""},
         "no answer in time (the reply time limit is 2 seconds)", [] { return ZrRunClient(); }},
        {"accepts and closes", {ScriptedHost::kClose, ""}, "the peer closed the connection",
         [] { return RunClient() != 0; }},
        {"answers an error status", {ScriptedHost::kAnswer, "-3"}, "the host answered status -3",
         [] { return ZrRunClient(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        ScriptedHost host;
        ASSERT_TRUE(host.Ok());
        host.Script({c.step});
        ASSERT_TRUE(ZrInitializeClient(host.Url().c_str()));
        const std::string request = "111\n" + ZrGetCallbackUrl().str() + "\n" + std::to_string(::getpid());

        ::testing::internal::CaptureStderr();
        const auto [ended, answer] = zr_test::RunBounded(c.run, std::chrono::duration<double>(kLimit + 10));
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  "cannot register with the host at \"" + host.Url() + "\" (request 111): " + c.reason +
                      "; no job can come\n");
        EXPECT_TRUE(ended) << "the loop waited for jobs that cannot come";
        EXPECT_FALSE(answer);
        EXPECT_EQ(host.Requests(), (std::vector<Seen>{{1, request}}));
        ZrShutdownClient();
    }
}

// ---- the callback server and a peer that never reads ---------------------------------

TEST(CallbackServerQueues, PeerThatNeverReadsDoesNotStallTheHost) {
    unimemlocation* mem = unimemlocation::GetRegistered();
    ZrCallbackServer server;
    ASSERT_TRUE(server.Init());
    ASSERT_TRUE(server.Mount());
    const std::string big(8u << 20, 'z');
    const std::string bigPath = "/ZPI/never_read_" + std::to_string(::getpid()) + ".xml";
    const std::string smallPath = "/ZPI/zpi_" + std::to_string(::getpid()) + ".xml";
    ASSERT_TRUE(mem->WriteFile(bigPath.c_str(), big.data(), big.size(), nullptr));
    ASSERT_TRUE(mem->WriteFile(smallPath.c_str(), "<ZPI/>", 6, nullptr));
    std::thread run([&] { server.Run(); });

    // A local peer with a small receive window pipelines reads of the large
    // file and never reads the answers.
    int bad = ConnectLoopback(server.GetPort(), 4096);
    ASSERT_GE(bad, 0);
    std::string reads;
    for (int i = 0; i < 8; ++i)
        reads += FrameHeader('G', uint32_t(bigPath.size())) + bigPath;
    ASSERT_EQ(::send(bad, reads.data(), reads.size(), MSG_NOSIGNAL), ssize_t(reads.size()));
    std::this_thread::sleep_for(200ms);

    // The host still sets values and fetches its document, each within its
    // own limit.
    bnfsError e;
    BNFSConnection* host = BNFSConnection::Open(e, "127.0.0.1", server.GetPort());
    ASSERT_NE(host, nullptr) << e.message;
    host->SetTimeout(1);
    btkString reply;
    std::string document;
    const auto start = Clock::now();
    EXPECT_TRUE(BNFSConnection::OtherRequest(host, "149\nx", reply, e)) << e.message;
    EXPECT_EQ(reply.str(), "0");
    EXPECT_TRUE(BNFSConnection::ReadFile(host, smallPath.c_str(), document, e)) << e.message;
    EXPECT_EQ(document, "<ZPI/>");
    EXPECT_LT(SecondsSince(start), 1.0);
    BNFSConnection::Close(host);

    server.RequestStop();
    run.join();
    server.btkMultiSessionServer::Shutdown();
    ::close(bad);
    mem->RemoveFile(bigPath.c_str(), nullptr);
    mem->RemoveFile(smallPath.c_str(), nullptr);
}

} // namespace
