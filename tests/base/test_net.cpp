// Frames, text items, file locations, and a bnfs server with its client
// connection on the loopback address.
#include "base/net.h"
#include "base/uniloc.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
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

std::string header(char kind, uint32_t length) {
    std::string h(1, kind);
    h += char(length >> 24);
    h += char(length >> 16);
    h += char(length >> 8);
    h += char(length);
    return h;
}

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
    std::string bad = header('z', 1) + "x";
    ASSERT_TRUE(p.a->WriteAll(bad.data(), bad.size(), &e));
    EXPECT_FALSE(bnfsReadFrame(*p.b, f, 5, 5, &e));
    EXPECT_EQ(e.code, BNFS_ERR_MALFORMED);
}

TEST(BnfsFrames, ClaimedLengthsAreBoundedByWhatArrives) {
    {
        // Above the limit: refused from the header alone.
        StreamPair p;
        bnfsError e;
        std::string h = header('Q', 0xFFFFFFFFu);
        ASSERT_TRUE(p.a->WriteAll(h.data(), h.size(), &e));
        bnfsFrame f;
        EXPECT_FALSE(bnfsReadFrame(*p.b, f, 5, 5, &e));
        EXPECT_EQ(e.code, BNFS_ERR_MALFORMED);
    }
    {
        // A large claim with a few bytes and then the end.
        StreamPair p;
        bnfsError e;
        std::string h = header('W', 100u * 1024u * 1024u) + "/a";
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
        std::string h = header('Q', 10) + "abc";
        ASSERT_TRUE(p.a->WriteAll(h.data(), h.size(), &e));
        bnfsFrame f;
        EXPECT_FALSE(bnfsReadFrame(*p.b, f, 5, 0.2, &e));
        EXPECT_EQ(e.code, BNFS_ERR_TIMEOUT);
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
    for (const std::string& junk : {header('R', 0), header('Q', 0xFFFFFFF0u)}) {
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

TEST(BnfsConnection, OpenFailsWithoutServer) {
    bnfsError e;
    EXPECT_EQ(BNFSConnection::Open(e, "127.0.0.1", 0), nullptr);
    EXPECT_EQ(e.code, BNFS_ERR_ADDRESS);
    EXPECT_EQ(BNFSConnection::Open(e, nullptr, 80), nullptr);
    // A port that was just free: nobody listens there.
    int port;
    {
        btkNetBaseServer* probe = new bnfsServer();
        ASSERT_TRUE(probe->Init(0, nullptr));
        port = probe->GetPort();
        delete probe;
    }
    EXPECT_EQ(BNFSConnection::Open(e, "127.0.0.1", port), nullptr);
    EXPECT_EQ(e.code, BNFS_ERR_CONNECT);
    btkString reply;
    EXPECT_FALSE(BNFSConnection::OtherRequest(nullptr, "1", reply, e));
    EXPECT_FALSE(BNFSConnection::IsAlive(nullptr));
}

} // namespace
