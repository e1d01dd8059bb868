// Input from the host, mutated: raw frames sent to the callback server and
// to a plain bnfs server on the loopback (bad kinds, lengths beyond the
// bytes that follow, huge lengths, cut frames, random payloads, valid
// frames with garbage requests), and random texts given to the reply,
// request, job and argument readers. The servers answer or close the
// session and go on serving a well-formed client; nothing crashes or
// leaks. The generator starts from a fixed value, every loop a fixed count and
// every wait a time limit.
#include "client/zr_strings.h"
#include "net.h"
#include "uniloc.h"
#include "client/zr_callback.h"
#include "client/zr_framing.h"
#include "client/zr_jobs.h"
#include "loopback.h"

#include "prng.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

using testprng::Prng;

// What request texts are made of: digits, signs, blanks, line feeds and a
// few letters.
constexpr std::string_view kRequestAlphabet = "0123456789\n\n\n  -+.eExN_:;/\t";

const char* const kNumbers[] = {
    "0", "1", "-1", "110", "112", "149", "152", "2147483647", "2147483648", "-2147483648",
    "-2147483649", "99999999999999999999999", "1e999", "nan", "inf", "0x10", "", " 7", "7 ",
    "+3", "--2", "1.5",
};


std::string TextItem(const std::string& text) {
    return "_" + std::to_string(text.size()) + ":" + text;
}

// A garbage request text: an opcode (often one the server knows) and
// random fields.
std::string GarbageRequest(Prng& rng) {
    std::string s = kNumbers[rng.Below(std::size(kNumbers))];
    const size_t fields = rng.Below(6);
    for (size_t i = 0; i < fields; ++i) {
        s += '\n';
        s += rng.Below(2) ? kNumbers[rng.Below(std::size(kNumbers))]
                          : rng.Text(rng.Below(12), kRequestAlphabet);
    }
    return s;
}

// One or more frames, each possibly broken.
std::string MutatedFrames(Prng& rng) {
    static const char kKinds[] = "QBPGWRAEFK";
    std::string out;
    const size_t frames = 1 + rng.Below(3);
    for (size_t f = 0; f < frames; ++f) {
        char kind = rng.Below(6) == 0 ? static_cast<char>(rng.Below(256))
                                      : kKinds[rng.Below(sizeof kKinds - 1)];
        std::string payload;
        switch (rng.Below(6)) {
        case 0:
            payload = rng.Bytes(rng.Below(64));
            break;
        case 1: // a text item with a garbage request
            payload = TextItem(GarbageRequest(rng));
            break;
        case 2: { // a text item whose length lies
            std::string text = GarbageRequest(rng);
            const char* lengths[] = {"4294967295", "2147483647", "99999999999", "-1", "", "x"};
            payload = std::string("_") + lengths[rng.Below(std::size(lengths))] + ":" + text;
            break;
        }
        case 3: // a number item
            payload = std::string("N") + kNumbers[rng.Below(std::size(kNumbers))] +
                      (rng.Below(2) ? ";" : "");
            break;
        case 4: { // a path, for reads and writes
            const char* paths[] = {"/ZPI/a", "/ZPI/../x", "/", "", "/nope/deeper/x",
                                   "//ZPI//b", "/ZPI/", "ZPI/c"};
            payload = paths[rng.Below(std::size(paths))];
            if (kind == 'W' || rng.Below(4) == 0)
                payload += std::string(1, '\0') + rng.Bytes(rng.Below(32));
            break;
        }
        default:
            payload = std::string(rng.Below(300), 'p');
            break;
        }
        uint32_t length = static_cast<uint32_t>(payload.size());
        switch (rng.Below(8)) {
        case 0: // claims more than follows
            length += static_cast<uint32_t>(1 + rng.Below(1000));
            break;
        case 1: // claims less: the rest reads as the next frame
            length = static_cast<uint32_t>(rng.Below(payload.size() + 1));
            break;
        case 2: {
            const uint32_t huge[] = {0xFFFFFFFFu, kBnfsMaxPayload, kBnfsMaxPayload + 1, 0x80000000u};
            length = huge[rng.Below(std::size(huge))];
            break;
        }
        default:
            break;
        }
        std::string frame = FrameHeader(kind, length) + payload;
        if (rng.Below(6) == 0) // cut anywhere, the header included
            frame.resize(rng.Below(frame.size()));
        out += frame;
    }
    return out;
}

int Connect(int port) {
    int fd = ConnectLoopback(port);
    if (fd < 0)
        return -1;
    timeval tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    return fd;
}

bool SendAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t k = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (k <= 0)
            return false; // the server may close early: that is an answer too
        done += static_cast<size_t>(k);
    }
    return true;
}

// Reads until the server closes the session or `limit` passes; true when
// it closed in time. The server may answer with frames first.
bool DrainUntilClosed(int fd, std::chrono::milliseconds limit, size_t* received = nullptr) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        int r = ::poll(&p, 1, static_cast<int>(left.count()));
        if (r == 0)
            return false;
        if (r < 0)
            continue;
        ssize_t k = ::recv(fd, buffer, sizeof buffer, 0);
        if (k <= 0)
            return true; // closed (or reset)
        if (received)
            *received += static_cast<size_t>(k);
    }
}

// A server on a thread of the test, stopped and joined at the end.
template <class Server> class Running {
public:
    explicit Running(Server& server) : server_(server) {
        thread_ = std::thread([this] { server_.Run(); });
    }
    ~Running() {
        server_.RequestStop();
        thread_.join();
        server_.Shutdown();
    }

private:
    Server& server_;
    std::thread thread_;
};

// Sends `cases` mutated frame sequences to the server at `port`, each on
// its own connection which is then half-closed; the server must close the
// session in time. Every `every` cases `wellFormed` must succeed.
template <class Check>
void FuzzFrames(int port, uint64_t start, int cases, int every, Check wellFormed) {
    Prng rng(start);
    int answered = 0;
    for (int i = 0; i < cases; ++i) {
        const std::string bytes = MutatedFrames(rng);
        int fd = Connect(port);
        ASSERT_GE(fd, 0) << "case " << i;
        SendAll(fd, bytes);
        ::shutdown(fd, SHUT_WR);
        size_t received = 0;
        EXPECT_TRUE(DrainUntilClosed(fd, 10s, &received))
            << "case " << i << ": the session stays open";
        answered += received > 0;
        ::close(fd);
        if (i % every == every - 1) {
            ASSERT_NO_FATAL_FAILURE(wellFormed()) << "after case " << i;
        }
    }
    wellFormed();
    // Most sequences get at least one frame back (an answer or an error).
    EXPECT_GT(answered, cases / 2);
}

BNFSConnection* Open(int port) {
    bnfsError e;
    BNFSConnection* c = BNFSConnection::Open(e, "127.0.0.1", port);
    EXPECT_NE(c, nullptr) << e.message;
    if (c)
        c->SetTimeout(10);
    return c;
}

// ---- the callback server --------------------------------------------------------------

class CallbackServerMutations : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Init());
        ASSERT_TRUE(server_.Mount());
        running_ = std::make_unique<Running<ZrCallbackServer>>(server_);
    }
    void TearDown() override {
        running_.reset();
        ZrShutdownClient();
        ZrSetImportFormat(0);
    }

    // A well-formed client gets its answers: a request and a file round trip.
    void WellFormed() {
        BNFSConnection* c = Open(server_.GetPort());
        ASSERT_NE(c, nullptr);
        btkString reply;
        bnfsError e;
        EXPECT_TRUE(BNFSConnection::OtherRequest(c, "149\nx", reply, e)) << e.message;
        EXPECT_EQ(reply.str(), "0");
        EXPECT_TRUE(BNFSConnection::OtherRequest(c, "999", reply, e)) << e.message;
        EXPECT_EQ(reply.str(), "");
        EXPECT_TRUE(BNFSConnection::WriteFile(c, "/ZPI/well", "abc", 3, e)) << e.message;
        std::string data;
        EXPECT_TRUE(BNFSConnection::ReadFile(c, "/ZPI/well", data, e)) << e.message;
        EXPECT_EQ(data, "abc");
        BNFSConnection::Close(c);
    }

    ZrCallbackServer server_;
    std::unique_ptr<Running<ZrCallbackServer>> running_;
};

TEST_F(CallbackServerMutations, MutatedFramesAreAnsweredOrClosed) {
    FuzzFrames(server_.GetPort(), 0xCA11'BAC0'0000'0001ull, 1500, 100, [&] { WellFormed(); });
}

TEST_F(CallbackServerMutations, GarbageRequestsOnOneSessionAreAnswered) {
    // Valid frames, garbage requests: every one gets a reply on the same
    // session, and the session stays usable.
    Prng rng(0xCA11'BAC0'0000'0002ull);
    int fd = Connect(server_.GetPort());
    ASSERT_GE(fd, 0);
    btkSocketStream raw(fd);
    for (int i = 0; i < 1500; ++i) {
        std::string request = GarbageRequest(rng);
        std::string payload;
        switch (rng.Below(3)) {
        case 0:
            payload = TextItem(request);
            break;
        case 1:
            payload = rng.Bytes(rng.Below(40));
            break;
        default:
            payload = TextItem(request).substr(0, rng.Below(request.size() + 4));
            break;
        }
        bnfsError e;
        ASSERT_TRUE(bnfsWriteFrame(raw, 'Q', payload.data(), payload.size(), &e)) << e.message;
        bnfsFrame f;
        ASSERT_TRUE(bnfsReadFrame(raw, f, 10, 10, &e)) << "case " << i << ": " << e.message;
        EXPECT_EQ(f.kind, 'R') << "case " << i;
        std::string text;
        if (f.payload != "N20;") {
            EXPECT_TRUE(f.payload.empty() || bnfsGetTextItem(f.payload, text)) << f.payload;
        }
    }
    WellFormed();
}

TEST_F(CallbackServerMutations, StalledFrameDoesNotHoldUpOtherClients) {
    // One client sends part of a frame and waits; another is served meanwhile.
    int fd = Connect(server_.GetPort());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(SendAll(fd, FrameHeader('Q', 100) + "_96:abc"));
    std::this_thread::sleep_for(50ms);
    int header = Connect(server_.GetPort());
    ASSERT_GE(header, 0);
    ASSERT_TRUE(SendAll(header, "Q\0"s));
    std::this_thread::sleep_for(50ms);

    BNFSConnection* c = Open(server_.GetPort());
    ASSERT_NE(c, nullptr);
    c->SetTimeout(5);
    btkString reply;
    bnfsError e;
    EXPECT_TRUE(BNFSConnection::OtherRequest(c, "149\nx", reply, e)) << e.message;
    EXPECT_EQ(reply.str(), "0");
    BNFSConnection::Close(c);

    // The stalled frame still completes and is answered.
    ASSERT_TRUE(SendAll(fd, std::string(93, 'z')));
    btkSocketStream raw(fd);
    bnfsFrame f;
    ASSERT_TRUE(bnfsReadFrame(raw, f, 10, 10, &e)) << e.message;
    EXPECT_EQ(f.kind, 'R');
    ::close(header);
}

// ---- a plain bnfs server with an in-memory location ---------------------------------------

TEST(BnfsServerMutations, MutatedFramesAreAnsweredOrClosed) {
    unimemlocation mem("mutations");
    std::string why;
    ASSERT_TRUE(mem.MakeDirectory("/ZPI", 0, &why)) << why;
    bnfsServer server;
    server.SetLocationDriver(&mem);
    ASSERT_TRUE(server.Init(0, nullptr));
    server.SetTimeSlice(0.02);
    Running<bnfsServer> running(server);
    auto wellFormed = [&] {
        BNFSConnection* c = Open(server.GetPort());
        ASSERT_NE(c, nullptr);
        EXPECT_TRUE(BNFSConnection::IsAlive(c));
        bnfsError e;
        EXPECT_TRUE(BNFSConnection::WriteFile(c, "/ZPI/well", "xyz", 3, e)) << e.message;
        std::string data;
        EXPECT_TRUE(BNFSConnection::ReadFile(c, "/ZPI/well", data, e)) << e.message;
        EXPECT_EQ(data, "xyz");
        BNFSConnection::Close(c);
    };
    FuzzFrames(server.GetPort(), 0xB0F5'0000'0000'0003ull, 1500, 100, wellFormed);
}

// A server whose sessions wait one second for the rest of a frame.
class QuickServer : public bnfsServer {
protected:
    bnfsSession* MakeSession(btkSocketStream* stream) override {
        return new bnfsSession(stream, this, 1);
    }
};

TEST(BnfsServerMutations, UnfinishedFrameEndsTheSessionAfterItsTimeout) {
    QuickServer server;
    ASSERT_TRUE(server.Init(0, nullptr));
    server.SetTimeSlice(0.02);
    Running<QuickServer> running(server);
    int fd = Connect(server.GetPort());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(SendAll(fd, FrameHeader('P', 10) + "abc"));
    // Closed by the server, though this side keeps the connection open.
    EXPECT_TRUE(DrainUntilClosed(fd, 10s));
    ::close(fd);
    BNFSConnection* c = Open(server.GetPort());
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(BNFSConnection::IsAlive(c));
    BNFSConnection::Close(c);
}

// ---- texts: replies, requests, jobs, argument vectors, session items ------------------------

TEST(TextMutations, RepliesOfRandomText) {
    Prng rng(0x7E97'0000'0000'0004ull);
    for (int i = 0; i < 3000; ++i) {
        std::string text =
            rng.Below(4) == 0 ? GarbageRequest(rng) : rng.Text(rng.Below(80), kRequestAlphabet);
        ZrReply reply;
        reply.Parse(text.c_str());
        ASSERT_GE(reply.GetFieldCount(), 0);
        (void)reply.GetStatus();
        (void)reply.GetWholeAsInt();
        const int indices[] = {-1, 0, 1, 2, reply.GetFieldCount() - 1, reply.GetFieldCount(),
                               INT_MAX, INT_MIN, static_cast<int>(rng.Below(8))};
        for (int f : indices) {
            EXPECT_NE(reply.GetField(f), nullptr);
            (void)reply.GetInt(f, 3);
            (void)reply.GetDouble(f, 0.5);
            const int n = reply.GetListCount(f);
            EXPECT_GE(n, 0);
            EXPECT_EQ(reply.GetIntList(f).size(), static_cast<size_t>(n));
            EXPECT_EQ(reply.GetDoubleList(f).size(), static_cast<size_t>(n));
            for (int k : {-1, 0, n - 1, n, INT_MAX})
                (void)reply.GetListItem(f, k);
        }
        ZrReplyIsModelUsed used;
        used.Parse(text.c_str());
        (void)used.GetStatus();
    }
}

TEST(TextMutations, RequestsJobsAndArgumentVectorsOfRandomText) {
    Prng rng(0x7E97'0000'0000'0005ull);
    for (int i = 0; i < 3000; ++i) {
        std::string text =
            rng.Below(3) == 0 ? GarbageRequest(rng) : rng.Text(rng.Below(80), kRequestAlphabet);
        ZrCallbackRequest request(text.c_str());
        EXPECT_NE(request.GetArgs(), nullptr);

        ZrJobRequest job(text.c_str());
        EXPECT_NE(job.GetPath(), nullptr);
        EXPECT_NE(job.GetArgs(), nullptr);
        const int count = job.GetArgCount();

        size_t lines = 1;
        for (char c : std::string(job.GetArgs()))
            lines += c == '\n';
        const int claims[] = {count, -1, 0, 1, INT_MAX, INT_MIN, static_cast<int>(rng.Below(10))};
        for (int argc : claims) {
            ZrArgv argv(argc, job.GetArgs());
            ASSERT_GE(argv.GetArgc(), 0);
            ASSERT_LE(static_cast<size_t>(argv.GetArgc()), lines);
            ASSERT_EQ(argv.GetArgv()[argv.GetArgc()], nullptr);
            for (int k = 0; k < argv.GetArgc(); ++k)
                ASSERT_NE(argv.GetArgv()[k], nullptr);
        }
    }
}

TEST(TextMutations, SessionItemsOfRandomBytes) {
    Prng rng(0x7E97'0000'0000'0006ull);
    for (int i = 0; i < 3000; ++i) {
        std::string bytes;
        switch (rng.Below(4)) {
        case 0:
            bytes = rng.Bytes(rng.Below(40));
            break;
        case 1:
            bytes = std::string("_") + kNumbers[rng.Below(std::size(kNumbers))] + ":" +
                    rng.Text(rng.Below(40), kRequestAlphabet);
            break;
        case 2:
            bytes = std::string("N") + kNumbers[rng.Below(std::size(kNumbers))] +
                    (rng.Below(2) ? ";" : "");
            break;
        default: {
            std::string t = rng.Text(rng.Below(40), kRequestAlphabet);
            bytes = TextItem(t);
            bytes.resize(rng.Below(bytes.size() + 1));
            break;
        }
        }
        std::istringstream in(bytes);
        btkString text;
        if (ReadSessionText(in, text))
            EXPECT_LE(text.GetLength(), bytes.size());
        else
            EXPECT_TRUE(text.IsEmpty());
    }
}

} // namespace
