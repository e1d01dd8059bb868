// Frames, text items, file locations, and a bnfs server with its client
// connection on the loopback address.
#include "net.h"
#include "uniloc.h"
#include "file_targets.h"
#include "loopback.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <vector>
#include <optional>
#include <string>
#include <thread>

namespace {

// Two connected streams in one process.
struct StreamPair {
    StreamPair() {
        int fds[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        a = std::make_unique<btkSocketStream>(fds[0]);
        b = std::make_unique<btkSocketStream>(fds[1]);
    }
    std::unique_ptr<btkSocketStream> a, b;
};


TEST(BnfsFrames, RoundTripAndMalformedHeaders) {
    StreamPair p;
    bnfsError e;
    std::string big(200000, 'x'); // several read chunks
    big[12345] = '\0';
    ASSERT_TRUE(bnfsWriteFrame(*p.a, 'Q', "hello", 5, &e));
    ASSERT_TRUE(bnfsWriteFrame(*p.a, 'F', big.data(), big.size(), &e));
    ASSERT_TRUE(bnfsWriteFrame(*p.a, 'A', nullptr, 0, &e));
    bnfsFrame f;
    ASSERT_TRUE(bnfsReadFrame(*p.b, f, 5, 5, &e));
    EXPECT_EQ(f.kind, 'Q');
    EXPECT_EQ(f.payload, "hello");
    ASSERT_TRUE(bnfsReadFrame(*p.b, f, 5, 5, &e));
    EXPECT_EQ(f.payload, big);
    ASSERT_TRUE(bnfsReadFrame(*p.b, f, 5, 5, &e));
    EXPECT_EQ(f.kind, 'A');
    EXPECT_TRUE(f.payload.empty());

    // Unknown kind.
    std::string bad = FrameHeader('z', 1) + "x";
    ASSERT_TRUE(p.a->WriteAll(bad.data(), bad.size(), &e));
    EXPECT_FALSE(bnfsReadFrame(*p.b, f, 5, 5, &e));
    EXPECT_EQ(e.code, BNFS_ERR_MALFORMED);
}

TEST(BnfsFrames, ClaimedLengthsAreBoundedByWhatArrives) {
    {
        // Above the limit: refused from the header alone.
        StreamPair p;
        bnfsError e;
        std::string h = FrameHeader('Q', 0xFFFFFFFFu);
        ASSERT_TRUE(p.a->WriteAll(h.data(), h.size(), &e));
        bnfsFrame f;
        EXPECT_FALSE(bnfsReadFrame(*p.b, f, 5, 5, &e));
        EXPECT_EQ(e.code, BNFS_ERR_MALFORMED);
    }
    {
        // A file answer may carry more than a request: its claim is taken
        // and bounded by what arrives.
        StreamPair p;
        bnfsError e;
        std::string h = FrameHeader('F', 300u * 1024u * 1024u) + "abc";
        ASSERT_TRUE(p.a->WriteAll(h.data(), h.size(), &e));
        p.a->Close();
        bnfsFrame f;
        EXPECT_FALSE(bnfsReadFrame(*p.b, f, 5, 5, &e));
        EXPECT_EQ(e.message, "malformed frame: the payload stops short");
    }
    {
        // A large claim with a few bytes and then the end.
        StreamPair p;
        bnfsError e;
        std::string h = FrameHeader('W', 100u * 1024u * 1024u) + "/a";
        ASSERT_TRUE(p.a->WriteAll(h.data(), h.size(), &e));
        p.a->Close();
        bnfsFrame f;
        EXPECT_FALSE(bnfsReadFrame(*p.b, f, 5, 5, &e));
        EXPECT_EQ(e.code, BNFS_ERR_MALFORMED);
        EXPECT_TRUE(f.payload.empty());
    }
    {
        // A frame that stalls halfway runs out of time.
        StreamPair p;
        bnfsError e;
        std::string h = FrameHeader('Q', 10) + "abc";
        ASSERT_TRUE(p.a->WriteAll(h.data(), h.size(), &e));
        bnfsFrame f;
        EXPECT_FALSE(bnfsReadFrame(*p.b, f, 5, 0.2, &e));
        EXPECT_EQ(e.code, BNFS_ERR_TIMEOUT);
    }
}

// A loopback connection whose far end has a small receive window and never
// reads; `near` writes. The far end is closed at the end, or earlier by
// GiveUpAfter, which frees a write that would otherwise hang.
struct SilentPeer {
    SilentPeer() {
        int port = 0;
        const int listener = ListenLoopback(&port);
        far = listener >= 0 ? ConnectLoopback(port, 4096) : -1;
        if (far >= 0)
            near = std::make_unique<btkSocketStream>(::accept(listener, nullptr, nullptr));
        if (listener >= 0)
            ::close(listener);
    }
    ~SilentPeer() {
        done = true;
        if (guard.joinable())
            guard.join();
        if (far >= 0)
            ::close(far);
    }
    bool Ok() const { return far >= 0 && near && near->GetFd() >= 0; }
    void GiveUpAfter(std::chrono::milliseconds wait) {
        guard = std::thread([this, wait] {
            for (auto left = wait; left.count() > 0 && !done; left -= std::chrono::milliseconds(20))
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (!done)
                ::shutdown(far, SHUT_RDWR);
        });
    }
    int far = -1;
    std::unique_ptr<btkSocketStream> near;
    std::atomic<bool> done{false};
    std::thread guard;
};

TEST(BnfsFrames, WritesToAPeerThatNeverReadsRunOutOfTime) {
    using Clock = std::chrono::steady_clock;
    const std::string big(8u * 1024u * 1024u, 'x'); // far more than the buffers hold
    for (const bool frame : {true, false}) {
        SilentPeer peer;
        ASSERT_TRUE(peer.Ok());
        // Only a write that never ends meets the guard, which fails it
        // otherwise than by running out of time.
        peer.GiveUpAfter(std::chrono::seconds(30));
        bnfsError e;
        const auto start = Clock::now();
        const bool ok = frame ? bnfsWriteFrame(*peer.near, 'F', big.data(), big.size(), &e, 0.3)
                              : peer.near->WriteAll(big.data(), big.size(), &e, 0.3);
        const double took = std::chrono::duration<double>(Clock::now() - start).count();
        EXPECT_FALSE(ok) << frame;
        EXPECT_EQ(e.code, BNFS_ERR_TIMEOUT) << frame << ": " << e.message;
        EXPECT_GE(took, 0.29) << frame;
        // What went out leaves the stream out of step: it is closed.
        EXPECT_FALSE(peer.near->IsOpen()) << frame;
        EXPECT_FALSE(bnfsWriteFrame(*peer.near, 'A', nullptr, 0, &e, 0.3));
        EXPECT_EQ(e.code, BNFS_ERR_NOT_OPEN);
    }
}

TEST(BnfsItems, TextAndNumberItems) {
    std::string item;
    bnfsPutTextItem(item, "a\nb", 3);
    EXPECT_EQ(item, "_3:a\nb");
    std::string text;
    EXPECT_TRUE(bnfsGetTextItem(item, text));
    EXPECT_EQ(text, "a\nb");
    item.clear();
    bnfsPutTextItem(item, "", 0);
    EXPECT_TRUE(bnfsGetTextItem(item, text));
    EXPECT_EQ(text, "");
    EXPECT_TRUE(bnfsGetTextItem("N-20;", text));
    EXPECT_EQ(text, "-20");

    for (const char* bad : {"", "_", "_3:ab", "_3:abcd", "_x:a", "_:", "N12", "N1x;", "N1;2",
                            "?3:abc", "_99999999999999999999:a"})
        EXPECT_FALSE(bnfsGetTextItem(bad, text)) << bad;
}

TEST(UniLocations, PathsAreNormalisedOrRefused) {
    std::string out;
    EXPECT_TRUE(uniNormalizePath("//ZPI///a.xml/", out, nullptr));
    EXPECT_EQ(out, "/ZPI/a.xml");
    EXPECT_TRUE(uniNormalizePath("/", out, nullptr));
    EXPECT_EQ(out, "/");
    for (const char* bad : {"", "ZPI/a", "/ZPI/../etc", "/./a", "/a\tb"})
        EXPECT_FALSE(uniNormalizePath(bad, out, nullptr)) << bad;
    EXPECT_FALSE(uniNormalizePath(nullptr, out, nullptr));
    std::string longPath = "/" + std::string(kUniMaxPath, 'a');
    EXPECT_FALSE(uniNormalizePath(longPath.c_str(), out, nullptr));
}

TEST(UniLocations, MemoryFilesLiveInFoldersAndShowThroughMounts) {
    unimemlocation mem("test");
    std::string why, data;
    EXPECT_FALSE(mem.WriteFile("/ZPI/a", "x", 1, &why)); // no folder yet
    EXPECT_TRUE(mem.MakeDirectory("/ZPI/sub", 0, nullptr));
    EXPECT_TRUE(mem.IsDirectory("/ZPI"));
    EXPECT_TRUE(mem.WriteFile("/ZPI/a", "xyz", 3, nullptr));
    EXPECT_FALSE(mem.MakeDirectory("/ZPI/a/b", 0, nullptr)); // a file is in the way
    EXPECT_FALSE(mem.IsDirectory("/ZPI/a"));
    EXPECT_TRUE(mem.ReadFile("/ZPI/a", data, nullptr));
    EXPECT_EQ(data, "xyz");

    univfslocation vfs("zpi");
    EXPECT_FALSE(vfs.ReadFile("/ZPI/a", data, nullptr)); // nothing mounted
    ASSERT_TRUE(vfs.Mount("/", &mem, false, ""));
    unimemlocation other("other");
    ASSERT_TRUE(other.MakeDirectory("/in", 0, nullptr));
    ASSERT_TRUE(vfs.Mount("/ro", &other, true, "/in"));
    data.clear();
    EXPECT_TRUE(vfs.ReadFile("/ZPI/a", data, nullptr));
    EXPECT_EQ(data, "xyz");
    EXPECT_FALSE(vfs.WriteFile("/ro/f", "1", 1, &why)); // read-only mount
    ASSERT_TRUE(other.WriteFile("/in/f", "2", 1, nullptr));
    EXPECT_TRUE(vfs.ReadFile("/ro/f", data, nullptr)); // longest mount point wins
    EXPECT_EQ(data, "2");
    EXPECT_FALSE(vfs.ReadFile("/ro/../ZPI/a", data, &why));
}

// A held file stays what its holder writes after Hold returns, also when a
// write through the location had passed its check before the hold: that
// write lands first, never over the holder's.
TEST(UniLocations, AWriteUnderWayWhenAFileIsHeldNeverLandsOverTheHoldersOwn) {
    // Memory whose writes of "/ZPI/f" wait, once entered, until let through.
    struct Gate : unimemlocation {
        using unimemlocation::unimemlocation;
        std::mutex m;
        std::condition_variable cv;
        bool entered = false, open = false;
        bool WriteShared(const char* path, std::shared_ptr<const std::string> data,
                         std::string* error) override {
            {
                std::unique_lock<std::mutex> lock(m);
                entered = true;
                cv.notify_all();
                cv.wait(lock, [&] { return open; });
            }
            return unimemlocation::WriteShared(path, std::move(data), error);
        }
    } mem("gate");
    ASSERT_TRUE(mem.MakeDirectory("/ZPI", 0, nullptr));
    univfslocation vfs("held");
    ASSERT_TRUE(vfs.Mount("/", &mem, false, ""));
    std::thread peer([&] {
        vfs.WriteShared("/ZPI/f", uniMakeBuffer("peer", nullptr), nullptr);
    });
    {
        std::unique_lock<std::mutex> lock(mem.m);
        mem.cv.wait(lock, [&] { return mem.entered; });
    }
    // The holder holds the file and writes its own straight into memory.
    std::atomic<bool> held{false};
    std::thread holder([&] {
        vfs.Hold("//ZPI/f/");
        mem.unimemlocation::WriteShared("/ZPI/f", uniMakeBuffer("own", nullptr), nullptr);
        held = true;
    });
    // Given time to go ahead of the write under way, if nothing stops it.
    for (int i = 0; i < 50 && !held; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    {
        std::lock_guard<std::mutex> lock(mem.m);
        mem.open = true;
    }
    mem.cv.notify_all();
    peer.join();
    holder.join();
    std::string data;
    ASSERT_TRUE(mem.ReadFile("/ZPI/f", data, nullptr));
    EXPECT_EQ(data, "own");
    std::string why;
    EXPECT_FALSE(vfs.WriteShared("/ZPI//f", uniMakeBuffer("late", nullptr), &why));
    vfs.LetGo("/ZPI/f");
    EXPECT_TRUE(vfs.WriteShared("/ZPI/f", uniMakeBuffer("after", nullptr), &why)) << why;
}

// A server with an echo session, run on a thread of the test.
class EchoSession : public bnfsSession {
public:
    using bnfsSession::bnfsSession;

protected:
    void DoOtherRequest() override {
        std::string all((std::istreambuf_iterator<char>(In())), std::istreambuf_iterator<char>());
        std::string text;
        ASSERT_TRUE(bnfsGetTextItem(all, text));
        std::string item;
        text = "echo:" + text;
        bnfsPutTextItem(item, text.data(), text.size());
        Out() << item;
    }
};

class EchoServer : public bnfsServer {
protected:
    bnfsSession* MakeSession(btkSocketStream* s) override { return new EchoSession(s, this, 5); }
};

// Runs a server that the caller has set up on a thread of its own for the
// scope, listening on a free port of the loopback address.
class Serving {
public:
    explicit Serving(bnfsServer& server) : server_(server) {
        ok_ = server_.Init(0, nullptr);
        server_.SetTimeSlice(0.02);
        if (ok_)
            thread_ = std::thread([this] { server_.Run(); });
    }
    ~Serving() {
        server_.RequestStop();
        if (thread_.joinable())
            thread_.join();
        server_.Shutdown();
    }
    bool Ok() const { return ok_; }
    int Port() const { return server_.GetPort(); }
    // A connection to the server whose calls have `timeout` seconds.
    BNFSConnection* Open(double timeout) {
        bnfsError e;
        BNFSConnection* c = BNFSConnection::Open(e, "127.0.0.1", Port());
        EXPECT_NE(c, nullptr) << e.message;
        if (c)
            c->SetTimeout(timeout);
        return c;
    }

private:
    bnfsServer& server_;
    std::thread thread_;
    bool ok_ = false;
};

class BnfsServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(mem_.MakeDirectory("/ZPI", 0, nullptr));
        server_.SetLocationDriver(&mem_);
        ASSERT_TRUE(server_.Init(0, nullptr));
        server_.SetTimeSlice(0.02);
        thread_ = std::thread([this] { server_.Run(); });
    }
    void TearDown() override {
        server_.RequestStop();
        thread_.join();
        server_.Shutdown();
    }
    BNFSConnection* Open() {
        bnfsError e;
        BNFSConnection* c = BNFSConnection::Open(e, "127.0.0.1", server_.GetPort());
        EXPECT_NE(c, nullptr) << e.message;
        if (c)
            c->SetTimeout(5);
        return c;
    }

    unimemlocation mem_{"server-test"};
    EchoServer server_;
    std::thread thread_;
};

TEST_F(BnfsServerTest, RequestsFilesAndProbes) {
    BNFSConnection* c = Open();
    ASSERT_NE(c, nullptr);
    btkString reply;
    bnfsError e;
    ASSERT_TRUE(BNFSConnection::OtherRequest(c, "111\nurl\n42", reply, e)) << e.message;
    EXPECT_EQ(std::string(reply), "echo:111\nurl\n42");
    EXPECT_TRUE(BNFSConnection::IsAlive(c));

    const std::string doc("<ZPI>\0</ZPI>", 12);
    ASSERT_TRUE(BNFSConnection::WriteFile(c, "/ZPI/doc.xml", doc.data(), doc.size(), e));
    std::string back;
    ASSERT_TRUE(BNFSConnection::ReadFile(c, "/ZPI/doc.xml", back, e));
    EXPECT_EQ(back, doc);
    // Failures of the location come back as errors; the session goes on.
    EXPECT_FALSE(BNFSConnection::ReadFile(c, "/ZPI/none.xml", back, e));
    EXPECT_EQ(e.code, BNFS_ERR_REMOTE);
    EXPECT_FALSE(BNFSConnection::WriteFile(c, "/NOFOLDER/x", "1", 1, e));
    EXPECT_FALSE(BNFSConnection::ReadFile(c, "/ZPI/../x", back, e));
    EXPECT_TRUE(BNFSConnection::IsAlive(c));
    BNFSConnection::Close(c);
}

TEST_F(BnfsServerTest, MalformedFrameEndsOnlyItsSession) {
    BNFSConnection* good = Open();
    ASSERT_NE(good, nullptr);

    // A raw client that sends an answer kind, then a frame claiming 4 GiB.
    for (const std::string& junk : {FrameHeader('R', 0), FrameHeader('Q', 0xFFFFFFF0u)}) {
        bnfsError e;
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(server_.GetPort()));
        a.sin_addr.s_addr = htonl(0x7f000001);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        btkSocketStream s(fd);
        ASSERT_TRUE(s.WriteAll(junk.data(), junk.size(), &e));
        bnfsFrame f;
        ASSERT_TRUE(bnfsReadFrame(s, f, 5, 5, &e)) << e.message;
        EXPECT_EQ(f.kind, 'E');
        EXPECT_NE(f.payload.find("malformed"), std::string::npos);
        // Then the server closes that session.
        EXPECT_FALSE(bnfsReadFrame(s, f, 5, 5, &e));
        EXPECT_EQ(e.code, BNFS_ERR_CLOSED);
    }
    // Other sessions are served as before.
    EXPECT_TRUE(BNFSConnection::IsAlive(good));
    BNFSConnection::Close(good);
}

// A FIFO or a folder that a client names is refused with an error answer
// at once: the file server never waits on the FIFO, and the session goes on.
TEST(BnfsServerFiles, NonRegularFilesAreRefusedAtOnce) {
    filetargets::NonRegularFiles files;
    ASSERT_TRUE(files.Ok());
    const std::string root = files.Directory().substr(0, files.Directory().rfind('/'));
    unilocallocation local("net-local", root.c_str());
    EchoServer server;
    server.SetLocationDriver(&local);
    ASSERT_TRUE(server.Init(0, nullptr));
    server.SetTimeSlice(0.02);
    std::thread thread([&] { server.Run(); });
    bnfsError e;
    BNFSConnection* c = BNFSConnection::Open(e, "127.0.0.1", server.GetPort());
    EXPECT_NE(c, nullptr) << e.message;
    if (c) {
        c->SetTimeout(5);
        for (const char* name : {"/pipe.xml", "/folder.xml"}) {
            std::string data;
            bool read = true;
            EXPECT_TRUE(
                files.ReturnsWithin([&] { read = BNFSConnection::ReadFile(c, name, data, e); },
                                    std::chrono::seconds(3)))
                << name;
            EXPECT_FALSE(read) << name;
            EXPECT_EQ(e.code, BNFS_ERR_REMOTE) << name;
        }
        EXPECT_TRUE(BNFSConnection::IsAlive(c));
        BNFSConnection::Close(c);
    }
    server.RequestStop();
    thread.join();
    server.Shutdown();
}

TEST(BnfsConnection, OpenFailsWithoutServer) {
    bnfsError e;
    EXPECT_EQ(BNFSConnection::Open(e, "127.0.0.1", 0), nullptr);
    EXPECT_EQ(e.code, BNFS_ERR_ADDRESS);
    EXPECT_EQ(BNFSConnection::Open(e, nullptr, 80), nullptr);
    // A port held bound and not listening: nobody can listen there.
    const RefusingLoopbackPort refusing;
    ASSERT_NE(refusing.Port(), 0);
    EXPECT_EQ(BNFSConnection::Open(e, "127.0.0.1", refusing.Port()), nullptr);
    EXPECT_EQ(e.code, BNFS_ERR_CONNECT);
    btkString reply;
    EXPECT_FALSE(BNFSConnection::OtherRequest(nullptr, "1", reply, e));
    EXPECT_FALSE(BNFSConnection::IsAlive(nullptr));
}

// ---- time limits and reopening of a client connection --------------------------------

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The far end of client connections, driven by hand: a listening socket on
// the loopback address. A connection completes before it is accepted.
class HandPeer {
public:
    HandPeer() {
        listen_ = ListenLoopback(&port_);
        EXPECT_GE(listen_, 0);
    }
    ~HandPeer() { ::close(listen_); }
    int Port() const { return port_; }
    // The next connection, owned by the caller.
    std::unique_ptr<btkSocketStream> Accept() {
        return std::make_unique<btkSocketStream>(::accept(listen_, nullptr, nullptr));
    }
    BNFSConnection* Open(double timeout) {
        bnfsError e;
        BNFSConnection* c = BNFSConnection::Open(e, "127.0.0.1", port_);
        EXPECT_NE(c, nullptr) << e.message;
        if (c)
            c->SetTimeout(timeout);
        return c;
    }

private:
    int listen_ = -1;
    int port_ = 0;
};

std::string TextReply(const std::string& text) {
    std::string item;
    bnfsPutTextItem(item, text.data(), text.size());
    return FrameHeader('R', uint32_t(item.size())) + item;
}

TEST(BnfsConnectionLimits, SilentAndStalledAnswersRunOutOfTime) {
    HandPeer peer;
    btkString reply;
    bnfsError e;
    {
        // No answer at all: the whole limit, then the connection is closed.
        BNFSConnection* c = peer.Open(0.3);
        ASSERT_NE(c, nullptr);
        auto far = peer.Accept();
        const auto start = Clock::now();
        EXPECT_FALSE(BNFSConnection::OtherRequest(c, "101", reply, e));
        EXPECT_EQ(e.code, BNFS_ERR_TIMEOUT);
        EXPECT_GE(SecondsSince(start), 0.25);
        EXPECT_LT(SecondsSince(start), 3.0);
        EXPECT_FALSE(c->IsConnected());
        // The request went out once, whole.
        bnfsFrame f;
        ASSERT_TRUE(bnfsReadFrame(*far, f, 5, 5, &e)) << e.message;
        EXPECT_EQ(f.kind, 'Q');
        EXPECT_FALSE(bnfsReadFrame(*far, f, 5, 5, &e));
        EXPECT_EQ(e.code, BNFS_ERR_CLOSED);
        // Without reopening, a closed connection stays closed.
        EXPECT_FALSE(BNFSConnection::OtherRequest(c, "102", reply, e));
        EXPECT_EQ(e.code, BNFS_ERR_NOT_OPEN);
        BNFSConnection::Close(c);
    }
    {
        // The head of an answer, then nothing: the rest limit ends the call
        // long before the whole limit.
        BNFSConnection* c = peer.Open(30);
        ASSERT_NE(c, nullptr);
        c->SetRestTimeout(0.3);
        auto far = peer.Accept();
        ASSERT_TRUE(far->WriteAll("R\0", 2, &e));
        const auto start = Clock::now();
        EXPECT_FALSE(BNFSConnection::OtherRequest(c, "101", reply, e));
        EXPECT_EQ(e.code, BNFS_ERR_TIMEOUT);
        EXPECT_LT(SecondsSince(start), 5.0);
        EXPECT_FALSE(c->IsConnected());
        BNFSConnection::Close(c);
    }
}

TEST(BnfsConnectionLimits, AnswersInPiecesLargeAnswersAndStrayBytes) {
    HandPeer peer;
    BNFSConnection* c = peer.Open(10);
    ASSERT_NE(c, nullptr);
    c->SetRestTimeout(10);
    auto far = peer.Accept();
    const std::string small = TextReply("0\n42");
    const std::string large = TextReply(std::string(300000, 'x') + "end");
    std::thread answers([&] {
        bnfsError e;
        bnfsFrame f;
        // A small answer in three pieces.
        if (!bnfsReadFrame(*far, f, 5, 5, &e))
            return;
        far->WriteAll(small.data(), 2, &e);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        far->WriteAll(small.data() + 2, 4, &e);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        far->WriteAll(small.data() + 6, small.size() - 6, &e);
        // A large one in one go.
        if (!bnfsReadFrame(*far, f, 5, 5, &e))
            return;
        far->WriteAll(large.data(), large.size(), &e);
        // One answer with bytes after it.
        if (!bnfsReadFrame(*far, f, 5, 5, &e))
            return;
        const std::string stray = small + "R";
        far->WriteAll(stray.data(), stray.size(), &e);
    });
    btkString reply;
    bnfsError e;
    EXPECT_TRUE(BNFSConnection::OtherRequest(c, "1", reply, e)) << e.message;
    EXPECT_EQ(reply.str(), "0\n42");
    EXPECT_TRUE(BNFSConnection::OtherRequest(c, "2", reply, e)) << e.message;
    EXPECT_EQ(reply.str().size(), 300003u);
    EXPECT_EQ(reply.str().substr(299998), "xxend");
    EXPECT_FALSE(BNFSConnection::OtherRequest(c, "3", reply, e));
    EXPECT_EQ(e.code, BNFS_ERR_MALFORMED);
    EXPECT_FALSE(c->IsConnected());
    answers.join();
    BNFSConnection::Close(c);
}

TEST(BnfsConnectionLimits, ReopensOnceWhenFoundClosedAndNeverSendsTwice) {
    HandPeer peer;
    // Calls that are answered have all the time a busy machine needs; the
    // one that must run out of time has a short limit of its own.
    BNFSConnection* c = peer.Open(30);
    ASSERT_NE(c, nullptr);
    c->SetReopenWhenClosed(true);
    btkString reply;
    bnfsError e;
    bnfsFrame f;
    std::unique_ptr<btkSocketStream> far;
    {
        // The peer closed between calls: the next call connects again.
        auto first = peer.Accept();
        first.reset();
        std::thread accept([&] {
            far = peer.Accept();
            bnfsError pe;
            bnfsFrame pf;
            if (bnfsReadFrame(*far, pf, 5, 5, &pe))
                far->WriteAll(TextReply("0").data(), TextReply("0").size(), &pe);
        });
        EXPECT_TRUE(BNFSConnection::OtherRequest(c, "1", reply, e)) << e.message;
        accept.join();
        EXPECT_EQ(reply.str(), "0");
    }
    {
        // A call that ran out of time is not sent again; the next call goes
        // out on a new connection.
        c->SetTimeout(0.3);
        EXPECT_FALSE(BNFSConnection::OtherRequest(c, "2", reply, e));
        EXPECT_EQ(e.code, BNFS_ERR_TIMEOUT);
        c->SetTimeout(30);
        ASSERT_TRUE(bnfsReadFrame(*far, f, 5, 5, &e)) << e.message;
        std::string text;
        ASSERT_TRUE(bnfsGetTextItem(f.payload, text));
        EXPECT_EQ(text, "2");
        std::thread accept([&] {
            auto next = peer.Accept();
            bnfsError pe;
            bnfsFrame pf;
            std::string t;
            if (bnfsReadFrame(*next, pf, 5, 5, &pe) && bnfsGetTextItem(pf.payload, t))
                next->WriteAll(TextReply("got " + t).data(), TextReply("got " + t).size(), &pe);
        });
        EXPECT_TRUE(BNFSConnection::OtherRequest(c, "3", reply, e)) << e.message;
        accept.join();
        EXPECT_EQ(reply.str(), "got 3");
        // Nothing more came on the old connection.
        EXPECT_FALSE(bnfsReadFrame(*far, f, 5, 5, &e));
        EXPECT_EQ(e.code, BNFS_ERR_CLOSED);
    }
    BNFSConnection::Close(c);
    // Nobody listens any more: the call fails at once, nothing is sent.
    HandPeer* gone = new HandPeer();
    c = gone->Open(5);
    ASSERT_NE(c, nullptr);
    c->SetReopenWhenClosed(true);
    gone->Accept().reset();
    delete gone;
    EXPECT_FALSE(BNFSConnection::OtherRequest(c, "4", reply, e));
    EXPECT_EQ(e.code, BNFS_ERR_CONNECT);
    BNFSConnection::Close(c);
}

TEST(BnfsConnectionLimits, AReconnectCountsWithinTheCallsTimeout) {
    // A peer whose accept queue is full: a new connection to it waits in vain.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len), 0);
    const int port = ntohs(a.sin_port);
    bnfsError e;
    BNFSConnection* c = BNFSConnection::Open(e, "127.0.0.1", port);
    ASSERT_NE(c, nullptr) << e.message;
    c->SetTimeout(1);
    c->SetReopenWhenClosed(true);
    ::close(::accept(listener, nullptr, nullptr)); // the peer closes the connection

    // Connections that nobody accepts fill the queue, until one waits.
    std::vector<int> waiting;
    bool full = false;
    for (int i = 0; i < 64 && !full; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        waiting.push_back(fd);
        ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        pollfd p{fd, POLLOUT, 0};
        full = ::poll(&p, 1, 300) == 0;
    }
    if (!full) {
        for (int fd : waiting)
            ::close(fd);
        ::close(listener);
        BNFSConnection::Close(c);
        GTEST_SKIP() << "the accept queue did not fill";
    }
    // The next call connects again within its own time limit, not the
    // connect's ten seconds.
    btkString reply;
    const auto start = Clock::now();
    EXPECT_FALSE(BNFSConnection::OtherRequest(c, "1", reply, e));
    EXPECT_LT(SecondsSince(start), 3.0);
    EXPECT_EQ(e.code, BNFS_ERR_CONNECT) << e.message;
    BNFSConnection::Close(c);
    for (int fd : waiting)
        ::close(fd);
    ::close(listener);
}

// ---- idle and slow peers -------------------------------------------------------------------

// True when the peer's end of `fd` is closed within `seconds` (what it sent
// before is read and dropped).
bool ClosedWithin(int fd, double seconds) {
    const auto start = Clock::now();
    char buffer[4096];
    while (SecondsSince(start) < seconds) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) == 1 && ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) == 0)
            return true;
    }
    return false;
}

// A server whose sessions have `seconds` for each frame and each answer. A
// text request makes its session the one whose answers are kept whole, as
// the client's callback server does for the host's session, through which
// the host starts jobs.
class TimedServer : public bnfsServer {
public:
    explicit TimedServer(int seconds) : seconds_(seconds) {}

protected:
    class Session : public bnfsSession {
    public:
        using bnfsSession::bnfsSession;

    protected:
        void DoOtherRequest() override { GetServer()->KeepAnswersWhole(*this); }
    };
    bnfsSession* MakeSession(btkSocketStream* s) override { return new Session(s, this, seconds_); }

private:
    int seconds_;
};

// A served server whose sessions and in-memory location count in a budget
// of their own (made first, so that it outlives what gives back to it).
struct BudgetedServer {
    BudgetedServer(const char* name, size_t limit) : budget(limit), mem(name), server(60) {
        mem.MakeDirectory("/ZPI", 0, nullptr);
        mem.SetBudget(&budget);
        server.SetBudget(&budget);
        server.SetLocationDriver(&mem);
        serving.emplace(server);
    }
    uniByteBudget budget;
    unimemlocation mem;
    TimedServer server;
    std::optional<Serving> serving;
};

// Sends `bytes` one at a time, `gap` apart.
void SendSlowly(int fd, const std::string& bytes, std::chrono::milliseconds gap) {
    for (char c : bytes) {
        ASSERT_EQ(::send(fd, &c, 1, MSG_NOSIGNAL), 1);
        std::this_thread::sleep_for(gap);
    }
}

TEST(BnfsServerSessions, ConnectionsThatBeginNoRequestOrStallOneAreClosed) {
    // The idle limit closes a connection that begins no request; the
    // session's timeout one whose frame stalls, counted from its first byte.
    TimedServer server(1);
    server.SetIdleLimit(0.5);
    Serving serving(server);
    ASSERT_TRUE(serving.Ok());
    const int idle = ConnectLoopback(serving.Port());
    const int slow = ConnectLoopback(serving.Port());
    ASSERT_GE(idle, 0);
    ASSERT_GE(slow, 0);
    BNFSConnection* busy = serving.Open(10);
    ASSERT_NE(busy, nullptr);

    // The slow peer sends a frame a byte at a time and never finishes it;
    // the busy one asks again and again. Only the busy one stays.
    const std::string frame = FrameHeader('P', 0);
    bool slowClosed = false;
    const auto start = Clock::now();
    for (size_t i = 0; !slowClosed && SecondsSince(start) < 10; ++i) {
        ASSERT_TRUE(BNFSConnection::IsAlive(busy));
        if (i % 10 == 0)
            ::send(slow, frame.data() + (i / 10) % 4, 1, MSG_NOSIGNAL);
        slowClosed = ClosedWithin(slow, 0.01);
    }
    EXPECT_TRUE(slowClosed);
    EXPECT_TRUE(ClosedWithin(idle, 10));
    EXPECT_TRUE(BNFSConnection::IsAlive(busy));
    EXPECT_TRUE(busy->IsConnected());
    BNFSConnection::Close(busy);
    ::close(idle);
    ::close(slow);
}

TEST(BnfsServerSessions, QuietSessionsStayAndSlowRequestsWithinTheTimeoutAreServed) {
    TimedServer server(20);
    server.SetIdleLimit(0.3);
    Serving serving(server);
    ASSERT_TRUE(serving.Ok());

    // A session that served a request stays open however long it is quiet.
    BNFSConnection* quiet = serving.Open(10);
    ASSERT_NE(quiet, nullptr);
    ASSERT_TRUE(BNFSConnection::IsAlive(quiet));
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    EXPECT_TRUE(quiet->IsConnected());
    EXPECT_TRUE(BNFSConnection::IsAlive(quiet));
    BNFSConnection::Close(quiet);

    // A request that arrives a byte at a time, well past the idle limit but
    // within the session's timeout, is served: as the first request of a
    // connection and as a later one.
    btkSocketStream slow(ConnectLoopback(serving.Port()));
    ASSERT_TRUE(slow.IsOpen());
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "first request" : "later request");
        SendSlowly(slow.GetFd(), FrameHeader('P', 0), std::chrono::milliseconds(250));
        bnfsFrame f;
        bnfsError e;
        ASSERT_TRUE(bnfsReadFrame(slow, f, 10, 10, &e)) << e.message;
        EXPECT_EQ(f.kind, 'A');
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
    }
}

// Connections that each sent one byte of a frame head, 256 and then 1,000,
// opened again as the server closes them: the host's session, through
// which it started a job, keeps its place; a new connection of the host is
// served; an upload that goes on at its own pace beside them is never cut
// off, however long it takes.
TEST(BnfsServerSessions, AFloodOfOneByteConnectionsCutsOffNeitherTheHostNorAnUploadThatProgresses) {
    OpenFilesAtLeast files(4096);
    if (!files.Ok())
        GTEST_SKIP() << "4096 open files are not allowed";
    BudgetedServer setup("flood", uniByteBudget::kDefaultLimit);
    ASSERT_TRUE(setup.serving->Ok());
    TimedServer& server = setup.server;
    Serving& serving = *setup.serving;
    server.SetStallLimit(2);
    btkSocketStream host(ConnectLoopback(serving.Port()));
    ASSERT_EQ(TextRequest(host.GetFd(), "112"), 'R');

    for (size_t flooders : {btkMultiSessionServer::kMaxSessions, size_t(1000)}) {
        SCOPED_TRACE(std::to_string(flooders) + " one-byte connections");
        // An upload of 8 MB, 64 KB every 20 ms, begun before the flood.
        const std::string path = "/ZPI/upload" + std::to_string(flooders);
        const std::string body(8u << 20, 'u');
        const std::string frame = FrameHeader('W', uint32_t(path.size() + 1 + body.size())) + path +
                                  std::string(1, '\0') + body;
        btkSocketStream upload(ConnectLoopback(serving.Port()));
        ASSERT_TRUE(upload.IsOpen());
        std::atomic<bool> sent{false};
        std::thread uploader([&] {
            bnfsError e;
            for (size_t at = 0; at < frame.size(); at += 64 * 1024) {
                if (!upload.WriteAll(frame.data() + at,
                                     std::min<size_t>(64 * 1024, frame.size() - at), &e, 30))
                    return;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            sent = true;
        });
        {
            OneByteFlood flood(serving.Port(), flooders);
            const auto start = Clock::now();
            while (server.GetSessionCount() < btkMultiSessionServer::kMaxSessions &&
                   SecondsSince(start) < 20)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            EXPECT_EQ(server.GetSessionCount(), btkMultiSessionServer::kMaxSessions);
            // The host's new connections are served while the flood goes on.
            for (int fetch = 0; fetch < 3; ++fetch) {
                BNFSConnection* c = serving.Open(10);
                ASSERT_NE(c, nullptr);
                EXPECT_TRUE(BNFSConnection::IsAlive(c)) << fetch;
                BNFSConnection::Close(c);
            }
            uploader.join();
        }
        EXPECT_TRUE(sent);
        bnfsFrame f;
        bnfsError e;
        ASSERT_TRUE(bnfsReadFrame(upload, f, 20, 20, &e)) << e.message;
        EXPECT_EQ(f.kind, 'K');
        std::string stored;
        ASSERT_TRUE(setup.mem.ReadFile(path.c_str(), stored, nullptr));
        EXPECT_EQ(stored.size(), body.size());
        EXPECT_TRUE(setup.mem.RemoveFile(path.c_str(), nullptr));
        // The host's session is still there.
        EXPECT_EQ(TextRequest(host.GetFd(), "112"), 'R');
    }
}

// ---- answers to a peer that does not read ------------------------------------------

class ShortSessionServer : public bnfsServer {
protected:
    bnfsSession* MakeSession(btkSocketStream* s) override { return new bnfsSession(s, this, 1); }
};

TEST(BnfsServerQueues, PeerThatNeverReadsHoldsUpOnlyItself) {
    unimemlocation mem("never-reads");
    ASSERT_TRUE(mem.MakeDirectory("/ZPI", 0, nullptr));
    const std::string big(8u << 20, 'b');
    ASSERT_TRUE(mem.WriteFile("/ZPI/big", big.data(), big.size(), nullptr));
    ASSERT_TRUE(mem.WriteFile("/ZPI/small", "s", 1, nullptr));
    ShortSessionServer server;
    server.SetLocationDriver(&mem);
    ASSERT_TRUE(server.Init(0, nullptr));
    server.SetTimeSlice(0.02);
    std::thread run([&] { server.Run(); });

    // A peer with a small receive window pipelines reads of the large file
    // and reads none of the answers.
    int bad = ConnectLoopback(server.GetPort(), 4096);
    ASSERT_GE(bad, 0);
    std::string reads;
    for (int i = 0; i < 8; ++i)
        reads += FrameHeader('G', 8) + "/ZPI/big";
    ASSERT_EQ(::send(bad, reads.data(), reads.size(), MSG_NOSIGNAL), ssize_t(reads.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    // Another session is served within its own limit meanwhile.
    bnfsError e;
    BNFSConnection* good = BNFSConnection::Open(e, "127.0.0.1", server.GetPort());
    ASSERT_NE(good, nullptr) << e.message;
    good->SetTimeout(0.8);
    const auto start = Clock::now();
    EXPECT_TRUE(BNFSConnection::IsAlive(good));
    std::string data;
    EXPECT_TRUE(BNFSConnection::ReadFile(good, "/ZPI/small", data, e)) << e.message;
    EXPECT_EQ(data, "s");
    EXPECT_LT(SecondsSince(start), 0.8);
    BNFSConnection::Close(good);

    // The answer that stays unsent past the session's limit ends that
    // session: the peer then reaches the end of its stream, having got far
    // less than all it asked for.
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    size_t received = 0;
    char buffer[65536];
    const auto drain = Clock::now();
    for (;;) {
        pollfd p{bad, POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 5000), 1) << "the session was not closed";
        ssize_t k = ::recv(bad, buffer, sizeof buffer, 0);
        if (k <= 0)
            break;
        received += size_t(k);
        ASSERT_LT(SecondsSince(drain), 10.0);
    }
    EXPECT_LT(received, 8 * big.size());
    ::close(bad);

    server.RequestStop();
    run.join();
    server.Shutdown();
}

// Resident bytes of this process.
size_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * size_t(::sysconf(_SC_PAGESIZE));
}

TEST(BnfsServerQueues, AnswersWaitingForPeersThatDoNotReadShareTheFile) {
    unimemlocation mem("shared-answers");
    ASSERT_TRUE(mem.MakeDirectory("/ZPI", 0, nullptr));
    const size_t size = 4u << 20;
    ASSERT_TRUE(mem.WriteFile("/ZPI/big", std::string(size, 'b').data(), size, nullptr));
    std::shared_ptr<const std::string> file;
    ASSERT_TRUE(mem.ReadShared("/ZPI/big", file, nullptr));
    bnfsServer server;
    server.SetLocationDriver(&mem);
    Serving serving(server);
    ASSERT_TRUE(serving.Ok());

    // 48 peers with small receive windows each ask for the file and read
    // nothing: each answer waits, holding the location's own buffer.
    const size_t before = ResidentBytes();
    const std::string read = FrameHeader('G', 8) + "/ZPI/big";
    std::vector<int> peers;
    for (int i = 0; i < 48; ++i) {
        const int fd = ConnectLoopback(serving.Port(), 4096);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::send(fd, read.data(), read.size(), MSG_NOSIGNAL), ssize_t(read.size()));
        peers.push_back(fd);
    }
    const auto start = Clock::now();
    while (file.use_count() < 2 + 48 && SecondsSince(start) < 20)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(file.use_count(), 2 + 48); // the location, this test, 48 answers
    const size_t now = ResidentBytes(), grown = now - std::min(before, now);
    EXPECT_LT(grown, 3 * size) << "the answers hold copies of the file";

    for (int fd : peers)
        ::close(fd);
}

// ---- the budget of what a server holds for peers ---------------------------------------

// What a file a peer stored at `path` counts in the budget beyond its
// bytes (the frame's head, the name twice, the entry), and with them.
size_t KeptOver(const std::string& path) {
    return 2 * path.size() + 6 + kUniEntryOverhead;
}
size_t Kept(const std::string& path, size_t bytes) {
    return bytes + KeptOver(path);
}

// Waits (bounded) until the budget holds `bytes`; true when it did.
bool HeldBecomes(const uniByteBudget& budget, size_t bytes) {
    const auto start = Clock::now();
    while (budget.GetHeld() != bytes && SecondsSince(start) < 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return budget.GetHeld() == bytes;
}

// ThreadSanitizer's shadow memory grows with all that the program touches:
// there the resident size says little of the program's own memory.
#if defined(__SANITIZE_THREAD__)
constexpr bool kResidentSizeIsTheProgramsOwn = false;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kResidentSizeIsTheProgramsOwn = false;
#else
constexpr bool kResidentSizeIsTheProgramsOwn = true;
#endif
#else
constexpr bool kResidentSizeIsTheProgramsOwn = true;
#endif

// A peer that announces a 'W' frame of `announced` payload bytes and sends
// `upTo` bytes of that payload (the path first), 1 MB at a time, until the
// server stops taking them.
struct FrameSender {
    size_t sent = 0;  // bytes of the frame that went out
    bool cut = false; // the server closed the connection (or took nothing for 10 s)

    void Send(int fd, const std::string& path, uint32_t announced, size_t upTo) {
        timeval tv{10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        const std::string head = FrameHeader('W', announced) + path + std::string(1, '\0');
        const std::string block(1u << 20, 'w');
        for (size_t total = 5 + upTo; sent < total;) {
            const bool inHead = sent < head.size();
            const char* from = inHead ? head.data() + sent : block.data();
            const size_t n = inHead ? head.size() - sent : std::min(block.size(), total - sent);
            const ssize_t k = ::send(fd, from, n, MSG_NOSIGNAL);
            if (k <= 0) {
                cut = true;
                return;
            }
            sent += size_t(k);
        }
    }
};

TEST(BnfsServerBudget, PeersHoldingUnfinishedFramesStayWithinTheBudget) {
    BudgetedServer setup("budget-frames", 64u << 20);
    ASSERT_TRUE(setup.serving->Ok());
    uniByteBudget& budget = setup.budget;
    unimemlocation& mem = setup.mem;
    TimedServer& server = setup.server;
    Serving& serving = *setup.serving;
    const size_t before = ResidentBytes();

    // A write that does not fit is refused at its head, with the reason,
    // and its session ends.
    {
        btkSocketStream peer(ConnectLoopback(serving.Port()));
        const std::string head = FrameHeader('W', 250u << 20) + "/ZPI/refused";
        bnfsError e;
        ASSERT_TRUE(peer.WriteAll(head.data(), head.size(), &e)) << e.message;
        bnfsFrame f;
        ASSERT_TRUE(bnfsReadFrame(peer, f, 10, 10, &e)) << e.message;
        EXPECT_EQ(f.kind, 'E');
        EXPECT_NE(f.payload.find("'W' frame of 262144000 bytes does not fit in the 67108864 bytes"),
                  std::string::npos)
            << f.payload;
        EXPECT_FALSE(bnfsReadFrame(peer, f, 10, 10, &e));
        EXPECT_EQ(e.code, BNFS_ERR_CLOSED);
    }

    // 8 peers send all but the last byte of a 250 MB frame, 8 others of a
    // 20 MB one: three of these fit, every other frame is refused at its
    // head and its body never taken.
    constexpr size_t kBig = 250u << 20, kMid = 20u << 20;
    std::vector<int> fds;
    std::vector<FrameSender> senders(16);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < senders.size(); ++i) {
        fds.push_back(ConnectLoopback(serving.Port()));
        ASSERT_GE(fds.back(), 0);
    }
    for (size_t i = 0; i < senders.size(); ++i) {
        const size_t size = i < 8 ? kBig : kMid;
        threads.emplace_back([&, i, size] {
            senders[i].Send(fds[i], "/ZPI/f" + std::to_string(i), uint32_t(size), size - 1);
        });
    }
    for (std::thread& t : threads)
        t.join();
    size_t holding = 0;
    for (size_t i = 0; i < senders.size(); ++i) {
        if (i < 8) {
            EXPECT_TRUE(senders[i].cut) << i;
            EXPECT_LT(senders[i].sent, size_t(64) << 20) << i;
        } else {
            holding += senders[i].cut ? 0 : 1;
        }
    }
    EXPECT_EQ(holding, 3u);
    const auto start = Clock::now();
    while (server.GetBusyCount() != 3 && SecondsSince(start) < 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(server.GetBusyCount(), 3u);
    EXPECT_LE(budget.GetHeld(), budget.GetLimit());
    EXPECT_LE(budget.GetPeak(), budget.GetLimit() + 16 * btkMultiSessionServer::kSmallFrame);
    const size_t now = ResidentBytes(), grown = now - std::min(before, now);
    if (kResidentSizeIsTheProgramsOwn) {
        EXPECT_LT(grown, budget.GetLimit() + (24u << 20));
    }
    std::cout << "[ held    ] " << budget.GetHeld() / 1048576.0 << " MB counted, "
              << grown / 1048576.0 << " MB resident more, budget "
              << budget.GetLimit() / 1048576.0 << " MB\n";
    for (int fd : fds)
        ::close(fd);
    EXPECT_TRUE(HeldBecomes(budget, 0));

    // The largest legitimate write, as much as the budget holds, goes in.
    BNFSConnection* c = serving.Open(30);
    ASSERT_NE(c, nullptr);
    const std::string largest((64u << 20) - 64 - KeptOver("/ZPI/largest"), 'l');
    bnfsError e;
    EXPECT_TRUE(BNFSConnection::WriteFile(c, "/ZPI/largest", largest.data(), largest.size(), e))
        << e.message;
    BNFSConnection::Close(c);
    EXPECT_TRUE(HeldBecomes(budget, Kept("/ZPI/largest", largest.size())));
    EXPECT_TRUE(mem.RemoveFile("/ZPI/largest", nullptr));
    EXPECT_EQ(budget.GetHeld(), 0u);
}

TEST(BnfsServerBudget, FilesPeersStoreAreCountedAndOldVersionsOfTheProcesssOwnGoOutWhole) {
    BudgetedServer setup("budget-files", 256 * 1024);
    ASSERT_TRUE(setup.serving->Ok());
    uniByteBudget& budget = setup.budget;
    unimemlocation& mem = setup.mem;
    Serving& serving = *setup.serving;
    BNFSConnection* c = serving.Open(10);
    ASSERT_NE(c, nullptr);
    bnfsError e;

    // Peers' files count until they are removed.
    const std::string part(100 * 1024, 'p');
    EXPECT_TRUE(BNFSConnection::WriteFile(c, "/ZPI/a", part.data(), part.size(), e)) << e.message;
    EXPECT_TRUE(BNFSConnection::WriteFile(c, "/ZPI/b", part.data(), part.size(), e)) << e.message;
    const size_t keptB = Kept("/ZPI/b", part.size());
    EXPECT_TRUE(HeldBecomes(budget, Kept("/ZPI/a", part.size()) + keptB));
    // A small file that does not fit is answered with the reason, and the
    // session goes on; a large frame that does not fit ends it.
    const std::string small(60 * 1024, 's');
    EXPECT_FALSE(BNFSConnection::WriteFile(c, "/ZPI/c", small.data(), small.size(), e));
    EXPECT_EQ(e.code, BNFS_ERR_REMOTE);
    EXPECT_NE(e.message.find("a file of 61440 bytes does not fit"), std::string::npos) << e.message;
    EXPECT_TRUE(BNFSConnection::IsAlive(c));
    EXPECT_FALSE(BNFSConnection::WriteFile(c, "/ZPI/d", part.data(), part.size(), e));
    EXPECT_FALSE(mem.IsFile("/ZPI/c"));
    EXPECT_FALSE(mem.IsFile("/ZPI/d"));
    BNFSConnection::Close(c);
    EXPECT_TRUE(mem.RemoveFile("/ZPI/a", nullptr));
    EXPECT_TRUE(HeldBecomes(budget, keptB));

    // The process's own files count in nothing, whatever their size, and
    // peers fetch them whole.
    const std::string own(16u << 20, 'o');
    ASSERT_TRUE(mem.WriteFile("/ZPI/own", own.data(), own.size(), nullptr));
    EXPECT_EQ(budget.GetHeld(), keptB);
    c = serving.Open(10);
    ASSERT_NE(c, nullptr);
    std::string fetched;
    EXPECT_TRUE(BNFSConnection::ReadFile(c, "/ZPI/own", fetched, e)) << e.message;
    EXPECT_EQ(fetched, own);
    BNFSConnection::Close(c);

    // A peer asks for the process's own file and reads nothing yet; then
    // the process replaces the file. The old version counts in the budget
    // from then on, whether it is larger than the limit or larger than the
    // room that peers' files leave, and goes out whole; the last answer
    // holding it frees it. (`peers`: what peers' files hold meanwhile.)
    auto fetchWhileReplaced = [&](size_t size, size_t peers) {
        const std::string own(size, 'o');
        ASSERT_TRUE(mem.WriteFile("/ZPI/own", own.data(), own.size(), nullptr));
        std::weak_ptr<const std::string> old;
        {
            std::shared_ptr<const std::string> held;
            ASSERT_TRUE(mem.ReadShared("/ZPI/own", held, nullptr));
            old = held;
        }
        btkSocketStream reader(ConnectLoopback(serving.Port(), 4096));
        ASSERT_TRUE(reader.IsOpen());
        const std::string read = FrameHeader('G', 8) + "/ZPI/own";
        ASSERT_TRUE(reader.WriteAll(read.data(), read.size(), &e)) << e.message;
        const auto start = Clock::now();
        while (old.use_count() < 2 && SecondsSince(start) < 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(old.use_count(), 2); // the location and the answer
        ASSERT_TRUE(HeldBecomes(budget, peers)); // the request's frame is let go
        ASSERT_TRUE(mem.WriteFile("/ZPI/own", "n", 1, nullptr));
        EXPECT_EQ(budget.GetHeld(), peers + size); // counted from its replacement
        bnfsFrame f;
        ASSERT_TRUE(bnfsReadFrame(reader, f, 30, 60, &e)) << e.message;
        EXPECT_EQ(f.kind, 'F');
        EXPECT_TRUE(f.payload == own) << f.payload.size() << " bytes of " << own.size();
        while (!old.expired() && SecondsSince(start) < 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_TRUE(old.expired());
        EXPECT_TRUE(HeldBecomes(budget, peers));
    };
    {
        SCOPED_TRACE("larger than the limit");
        fetchWhileReplaced(16u << 20, keptB);
    }
    {
        // Peers' files fill the budget but for 1 MB.
        SCOPED_TRACE("larger than the room left");
        budget.SetLimit(16u << 20);
        const std::string most((15u << 20) - keptB - KeptOver("/ZPI/most"), 'm');
        c = serving.Open(10);
        ASSERT_NE(c, nullptr);
        EXPECT_TRUE(BNFSConnection::WriteFile(c, "/ZPI/most", most.data(), most.size(), e))
            << e.message;
        BNFSConnection::Close(c);
        EXPECT_TRUE(HeldBecomes(budget, 15u << 20));
        fetchWhileReplaced(8u << 20, 15u << 20);
    }
    {
        // Peers' files fill the budget whole, and a peer holds a small
        // request unfinished beyond it (such requests are always taken):
        // the budget is over, and the process's own file is still sent
        // whole, to any peer.
        SCOPED_TRACE("the budget over");
        ASSERT_TRUE(mem.WriteFile("/ZPI/own", own.data(), own.size(), nullptr));
        const std::string rest((1u << 20) - 64 - KeptOver("/ZPI/rest"), 'r');
        c = serving.Open(10);
        ASSERT_NE(c, nullptr);
        EXPECT_TRUE(BNFSConnection::WriteFile(c, "/ZPI/rest", rest.data(), rest.size(), e))
            << e.message;
        BNFSConnection::Close(c);
        ASSERT_TRUE(HeldBecomes(budget, (15u << 20) + Kept("/ZPI/rest", rest.size())));
        btkSocketStream holder(ConnectLoopback(serving.Port()));
        const std::string unfinished = FrameHeader('W', 60 * 1024) + "/ZPI/held";
        ASSERT_TRUE(holder.WriteAll(unfinished.data(), unfinished.size(), &e)) << e.message;
        const auto start = Clock::now();
        while (!budget.IsOver() && SecondsSince(start) < 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(budget.IsOver());
        c = serving.Open(10);
        ASSERT_NE(c, nullptr);
        std::string fetched;
        EXPECT_TRUE(BNFSConnection::ReadFile(c, "/ZPI/own", fetched, e)) << e.message;
        EXPECT_TRUE(fetched == own) << fetched.size() << " bytes of " << own.size();
        BNFSConnection::Close(c);
    }
}

// A peer stores empty files under names of 4,000 bytes until it is
// refused, then files under short names: the names and entries count, the
// number of files is bounded, and the memory they really take (the names
// alone, kept twice) stays within the budget. (The server gives back a
// refused frame's count once its answer is out: the budget is read when
// it holds the stored files alone.)
TEST(BnfsServerBudget, FilesUnderLongNamesCountTheirNamesAndTheirNumberIsBounded) {
    constexpr size_t kLimit = 4u << 20;
    BudgetedServer setup("budget-names", kLimit);
    ASSERT_TRUE(setup.serving->Ok());
    uniByteBudget& budget = setup.budget;
    BNFSConnection* c = setup.serving->Open(10);
    ASSERT_NE(c, nullptr);
    bnfsError e;
    const size_t before = ResidentBytes();
    const std::string name(4000, 'n');
    size_t stored = 0, kept = 0;
    bool refused = false;
    // Three times as many as their names alone could fit.
    while (!refused && stored < 3 * kLimit / name.size()) {
        const std::string path = "/ZPI/" + std::to_string(stored) + name;
        if (BNFSConnection::WriteFile(c, path.c_str(), "", 0, e)) {
            ++stored;
            kept += Kept(path, 0);
        } else {
            refused = true;
        }
    }
    ASSERT_TRUE(refused) << stored << " files stored";
    EXPECT_EQ(e.code, BNFS_ERR_REMOTE);
    EXPECT_NE(e.message.find("does not fit"), std::string::npos) << e.message;
    EXPECT_LE(stored * 2 * name.size(), kLimit);
    EXPECT_TRUE(HeldBecomes(budget, kept)) << budget.GetHeld() << " held";
    EXPECT_LE(budget.GetHeld(), budget.GetLimit());
    EXPECT_EQ(setup.mem.ListFiles().size(), stored);
    const size_t grown = ResidentBytes() - std::min(before, ResidentBytes());
    std::cout << "[ names   ] " << stored << " files, " << budget.GetHeld() / 1048576.0
              << " MB counted, " << grown / 1048576.0 << " MB resident more\n";

    // Their number: short names, up to the entry limit.
    for (const std::string& f : setup.mem.ListFiles())
        ASSERT_TRUE(setup.mem.RemoveFile(f.c_str(), nullptr));
    EXPECT_EQ(budget.GetHeld(), 0u);
    budget.SetEntryLimit(100);
    for (stored = 0;
         BNFSConnection::WriteFile(c, ("/ZPI/" + std::to_string(stored)).c_str(), "x", 1, e);)
        ++stored;
    EXPECT_EQ(stored, 100u);
    EXPECT_NE(e.message.find("100 files allowed"), std::string::npos) << e.message;
    kept = 0;
    for (size_t i = 0; i < stored; ++i)
        kept += Kept("/ZPI/" + std::to_string(i), 1);
    EXPECT_TRUE(HeldBecomes(budget, kept)) << budget.GetHeld() << " held";
    // A peer's own file stays writable once one is freed.
    ASSERT_TRUE(setup.mem.RemoveFile("/ZPI/0", nullptr));
    EXPECT_TRUE(BNFSConnection::WriteFile(c, "/ZPI/0", "y", 1, e)) << e.message;
    EXPECT_EQ(budget.GetEntries(), 100u);
    BNFSConnection::Close(c);
    for (const std::string& f : setup.mem.ListFiles())
        setup.mem.RemoveFile(f.c_str(), nullptr);
    EXPECT_EQ(budget.GetEntries(), 0u);
    EXPECT_EQ(budget.GetHeld(), 0u);
}

// A large write taken at its head is stored once its bytes are in, also
// when small frames of other peers (always taken) have pushed the budget
// over its limit meanwhile; and all it counted is given back with the file.
TEST(BnfsServerBudget, AWriteTakenAtItsHeadIsStoredWhateverSmallFramesTakeMeanwhile) {
    constexpr size_t kLimit = 4u << 20;
    BudgetedServer setup("budget-taken", kLimit);
    ASSERT_TRUE(setup.serving->Ok());
    uniByteBudget& budget = setup.budget;
    const std::string path = "/ZPI/taken";
    const std::string content(kLimit - (256u << 10), 'c');
    const std::string frame =
        FrameHeader('W', uint32_t(path.size() + 1 + content.size())) + path + '\0' + content;
    btkSocketStream writer(ConnectLoopback(setup.serving->Port()));
    bnfsError e;
    ASSERT_TRUE(writer.WriteAll(frame.data(), frame.size() - 1, &e)) << e.message;
    ASSERT_TRUE(HeldBecomes(budget, Kept(path, content.size())));
    std::vector<std::unique_ptr<btkSocketStream>> small;
    const std::string head = FrameHeader('W', 64 * 1024);
    for (int i = 0; i < 16; ++i) {
        small.push_back(std::make_unique<btkSocketStream>(ConnectLoopback(setup.serving->Port())));
        ASSERT_TRUE(small.back()->WriteAll(head.data(), head.size(), &e)) << e.message;
    }
    ASSERT_TRUE(HeldBecomes(budget, Kept(path, content.size()) + 16 * (5 + 64 * 1024)));
    ASSERT_TRUE(budget.IsOver());
    ASSERT_TRUE(writer.WriteAll(frame.data() + frame.size() - 1, 1, &e)) << e.message;
    bnfsFrame answer;
    ASSERT_TRUE(bnfsReadFrame(writer, answer, 10, 10, &e)) << e.message;
    EXPECT_EQ(answer.kind, 'K') << answer.payload;
    small.clear();
    EXPECT_TRUE(HeldBecomes(budget, Kept(path, content.size())));
    setup.mem.RemoveFile(path.c_str(), nullptr);
    EXPECT_EQ(budget.GetHeld(), 0u);
    EXPECT_EQ(budget.GetEntries(), 0u);
}

// Every write a peer's file does not come of gives back all it counted:
// refused names, a held file, the entry limit, a frame cut off midway.
TEST(BnfsServerBudget, WritesThatStoreNothingLeaveNothingCounted) {
    BudgetedServer setup("budget-none", 4u << 20);
    ASSERT_TRUE(setup.serving->Ok());
    uniByteBudget& budget = setup.budget;
    univfslocation vfs("budget-none-vfs");
    ASSERT_TRUE(vfs.Mount("/", &setup.mem, false, ""));
    ASSERT_TRUE(vfs.Hold("/ZPI/held"));
    setup.server.SetLocationDriver(&vfs);
    ASSERT_TRUE(setup.mem.WriteFile("/ZPI/own", "x", 1, nullptr)); // counted in nothing
    const size_t large = 1u << 20;
    struct Case {
        std::string path;
        size_t bytes;
        bool cut;  // the peer closes before the frame's last byte
        bool full; // no entry is left
    };
    const Case cases[] = {
        {"/ZPI/no/folder", 10, false, false}, {"/ZPI", 10, false, false},
        {"/ZPI/a\tb", 10, false, false},      {"/ZPI/held", 10, false, false},
        {"/ZPI/held", large, false, false},   {"//ZPI//held/", 10, false, false},
        {"/ZPI/peer", 10, true, false},       {"/ZPI/peer", large, true, false},
        {"/ZPI/second", 10, false, true},     {"/ZPI/first", large, false, true},
        {"/ZPI/" + std::string(4096, 'n'), large, false, false},
    };
    // A file a peer stored takes one entry.
    BNFSConnection* c = setup.serving->Open(10);
    ASSERT_NE(c, nullptr);
    bnfsError e;
    ASSERT_TRUE(BNFSConnection::WriteFile(c, "/ZPI/first", "f", 1, e)) << e.message;
    const size_t base = budget.GetHeld();
    for (const Case& k : cases) {
        SCOPED_TRACE(k.path.substr(0, 20) + " " + std::to_string(k.bytes));
        budget.SetEntryLimit(k.full ? 1 : 2);
        const std::string frame = FrameHeader('W', uint32_t(k.path.size() + 1 + k.bytes)) +
                                  k.path + '\0' + std::string(k.bytes, 'b');
        const int fd = ConnectLoopback(setup.serving->Port());
        btkSocketStream peer(fd);
        ASSERT_TRUE(peer.WriteAll(frame.data(), frame.size() - (k.cut ? 1 : 0), &e)) << e.message;
        if (k.cut) {
            ASSERT_TRUE(HeldBecomes(budget, base + (k.bytes > 65536 ? Kept(k.path, k.bytes)
                                                                    : frame.size())));
        } else {
            bnfsFrame answer;
            ASSERT_TRUE(bnfsReadFrame(peer, answer, 10, 10, &e)) << e.message;
            EXPECT_EQ(answer.kind, 'E');
        }
        peer.Close();
        EXPECT_TRUE(HeldBecomes(budget, base));
        EXPECT_EQ(budget.GetEntries(), 1u);
    }
    BNFSConnection::Close(c);
    setup.server.SetLocationDriver(&setup.mem);
    for (const char* f : {"/ZPI/first", "/ZPI/own"})
        setup.mem.RemoveFile(f, nullptr);
    EXPECT_EQ(budget.GetHeld(), 0u);
    EXPECT_EQ(budget.GetEntries(), 0u);
}

// A job hands its document over again and again while, each time, a new
// peer asks for it and never reads. Every request is answered with the
// file: the current version costs no copy. A version counts in the budget
// from its replacement while answers hold it; while the budget is over,
// the answers that hold an older version than the newest one replaced give
// way, so that the versions kept alive stay within the budget, the newest
// replaced one and the one the host's session holds, however many peers
// hold answers. The host's fetch, asked on its session before all this
// and read slowly, goes out whole; so does a fetch on a fresh connection.
TEST(BnfsServerBudget, PeersThatDoNotReadPinOneReplacedVersionBeyondTheBudget) {
    // Versions larger than a socket's buffers, so that answers wait.
    constexpr size_t kVersion = 8u << 20;
    BudgetedServer setup("budget-versions", 3 * kVersion);
    ASSERT_TRUE(setup.serving->Ok());
    uniByteBudget& budget = setup.budget;
    unimemlocation& mem = setup.mem;
    const int port = setup.serving->Port();
    const std::string read = FrameHeader('G', 12) + "/ZPI/zpi.xml";
    std::vector<std::weak_ptr<const std::string>> versions;
    auto handOver = [&](int i) {
        std::shared_ptr<const std::string> doc =
            uniMakeBuffer(std::string(kVersion, char('a' + i % 26)), nullptr);
        versions.push_back(doc);
        ASSERT_TRUE(mem.WriteShared("/ZPI/zpi.xml", std::move(doc), nullptr));
    };
    auto aliveBefore = [&](size_t last) {
        size_t n = 0;
        for (size_t i = 0; i < last; ++i)
            n += versions[i].expired() ? 0 : kVersion;
        return n;
    };
    // Sends the request on `peer`; true once an answer holds the current
    // version or begins to arrive, false once anything else arrives.
    auto ask = [&](btkSocketStream& peer) {
        const long before = versions.back().use_count();
        bnfsError e;
        EXPECT_TRUE(peer.WriteAll(read.data(), read.size(), &e)) << e.message;
        const auto start = Clock::now();
        while (SecondsSince(start) < 20) {
            if (versions.back().use_count() > before)
                return true;
            pollfd p{peer.GetFd(), POLLIN, 0};
            char kind = 0;
            if (::poll(&p, 1, 5) == 1 && ::recv(peer.GetFd(), &kind, 1, MSG_PEEK) == 1)
                return kind == 'F';
        }
        ADD_FAILURE() << "the request was not answered";
        return false;
    };

    handOver(0);
    // The host's session starts a job, then fetches the file and reads
    // nothing yet.
    btkSocketStream host(ConnectLoopback(port, 4096));
    ASSERT_TRUE(host.IsOpen());
    bnfsError e;
    bnfsFrame f;
    ASSERT_EQ(TextRequest(host.GetFd(), "112"), 'R');
    ASSERT_TRUE(ask(host));
    std::vector<std::unique_ptr<btkSocketStream>> peers;
    constexpr int kHandOvers = 12;
    for (int i = 1; i <= kHandOvers; ++i) {
        peers.push_back(std::make_unique<btkSocketStream>(ConnectLoopback(port, 4096)));
        ASSERT_TRUE(peers.back()->IsOpen());
        EXPECT_TRUE(ask(*peers.back())) << i;
        handOver(i);
        // Once the server has let go of what the requests held and cut
        // what gives way, the budget holds just the replaced versions
        // alive, within its limit.
        const auto start = Clock::now();
        auto settled = [&] {
            return budget.GetHeld() == aliveBefore(versions.size() - 1) && !budget.IsOver();
        };
        while (!settled() && SecondsSince(start) < 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_TRUE(settled()) << i << ": " << budget.GetHeld() << " bytes held, "
                               << aliveBefore(versions.size() - 1) << " in replaced versions";
        EXPECT_FALSE(versions.front().expired()) << "the host's version was let go of";
    }

    // A fetch on a fresh connection gets the current version whole.
    {
        BNFSConnection* c = setup.serving->Open(30);
        ASSERT_NE(c, nullptr);
        std::string fetched;
        EXPECT_TRUE(BNFSConnection::ReadFile(c, "/ZPI/zpi.xml", fetched, e)) << e.message;
        EXPECT_TRUE(fetched == std::string(kVersion, char('a' + kHandOvers))) << fetched.size();
        BNFSConnection::Close(c);
    }
    // The host's fetch goes out whole; of the peers, those whose answers
    // gave way were cut short.
    ASSERT_TRUE(bnfsReadFrame(host, f, 30, 60, &e)) << e.message;
    EXPECT_EQ(f.kind, 'F');
    EXPECT_TRUE(f.payload == std::string(kVersion, 'a')) << f.payload.size() << " bytes";
    int cut = 0;
    for (auto& peer : peers)
        cut += bnfsReadFrame(*peer, f, 30, 60, &e) ? 0 : 1;
    EXPECT_GT(cut, 0);
    peers.clear();
    EXPECT_TRUE(HeldBecomes(budget, 0));
    EXPECT_EQ(aliveBefore(versions.size() - 1), 0u);
}

// Only the process's own replacements make a version of its file give
// way: files peers store over it (counted in the budget as they come)
// make no answer older, so that no peer can cut the host's fetch of a
// document short by writing over it twice.
TEST(BnfsServerBudget, FilesPeersStoreOverTheProcesssOwnMakeNoVersionGiveWay) {
    BudgetedServer setup("budget-peer-versions", 1u << 20);
    unimemlocation& mem = setup.mem;
    uniByteBudget& budget = setup.budget;
    const char* path = "/ZPI/zpi.xml";
    // Each version is held, as by an answer waiting.
    std::vector<std::shared_ptr<const std::string>> held;
    auto put = [&](const std::string& bytes, bool peer) {
        if (peer) {
            ASSERT_TRUE(budget.TryTake(bytes.size()));
        }
        ASSERT_TRUE(mem.WriteShared(path, uniMakeBuffer(bytes, peer ? &budget : nullptr), nullptr));
        held.emplace_back();
        ASSERT_TRUE(mem.ReadShared(path, held.back(), nullptr));
    };
    put("own 0", false);
    put("peer 1", true);
    put("peer 2", true);
    put("peer 3", true);
    EXPECT_FALSE(uniBufferIsSuperseded(held[0]));
    // The process's own versions after them still do.
    put("own 4", false);
    put("own 5", false);
    EXPECT_TRUE(uniBufferIsSuperseded(held[0]));
    EXPECT_FALSE(uniBufferIsSuperseded(held[4]));
    held.clear();
    EXPECT_TRUE(mem.RemoveFile(path, nullptr));
    EXPECT_TRUE(HeldBecomes(budget, 0));
}

// An answer that gives way before any of it went out is answered with an
// error instead, naming the file, and its session goes on.
TEST(BnfsServerBudget, AnAnswerThatGivesWayBeforeItBeginsIsAnsweredWithAnError) {
    BudgetedServer setup("budget-refused", 1024);
    unimemlocation& mem = setup.mem;
    ASSERT_TRUE(mem.WriteFile("/ZPI/zpi.xml", "v0", 2, nullptr));
    StreamPair pair;
    const int fd = pair.a->GetFd();
    bnfsSession session(pair.a.release(), &setup.server, 60);
    // The session's socket is full before the answer is queued.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    const std::string filler(64 * 1024, 'x');
    size_t filled = 0;
    for (ssize_t k; (k = ::send(fd, filler.data(), filler.size(), MSG_DONTWAIT)) > 0;)
        filled += size_t(k);
    const std::string read = FrameHeader('G', 12) + "/ZPI/zpi.xml";
    bnfsError e;
    ASSERT_TRUE(pair.b->WriteAll(read.data(), read.size(), &e)) << e.message;
    ASSERT_TRUE(session.ServeAvailable()) << session.LastError().message;
    ASSERT_TRUE(session.HasQueued());
    ASSERT_TRUE(session.CutSuperseded()); // nothing to cut yet
    // A newer version is replaced while held too (as by another answer).
    ASSERT_TRUE(mem.WriteFile("/ZPI/zpi.xml", "v1", 2, nullptr));
    std::shared_ptr<const std::string> v1;
    ASSERT_TRUE(mem.ReadShared("/ZPI/zpi.xml", v1, nullptr));
    ASSERT_TRUE(mem.WriteFile("/ZPI/zpi.xml", "v2", 2, nullptr));
    EXPECT_FALSE(uniBufferIsSuperseded(v1));
    EXPECT_TRUE(session.CutSuperseded());
    // The peer reads the filler, then the error.
    std::string got;
    ::fcntl(pair.b->GetFd(), F_SETFL, ::fcntl(pair.b->GetFd(), F_GETFL) | O_NONBLOCK);
    char buffer[65536];
    const auto start = Clock::now();
    while (session.HasQueued() && SecondsSince(start) < 10) {
        for (ssize_t k; (k = ::recv(pair.b->GetFd(), buffer, sizeof buffer, 0)) > 0;)
            got.append(buffer, size_t(k));
        ASSERT_TRUE(session.SendQueued()) << session.LastError().message;
    }
    for (ssize_t k; (k = ::recv(pair.b->GetFd(), buffer, sizeof buffer, 0)) > 0;)
        got.append(buffer, size_t(k));
    ASSERT_GT(got.size(), filled + 5);
    EXPECT_EQ(got[filled], 'E');
    EXPECT_NE(got.find("\"/ZPI/zpi.xml\" is not sent: two newer versions replaced the one asked "
                       "for", filled),
              std::string::npos)
        << got.substr(filled);
}

} // namespace
