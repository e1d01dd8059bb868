// The callback server under greedy local peers: hundreds of idle
// connections never keep the host or the client's own documents out, and
// its in-memory location holds no more than its capacity.
#include "client/fake_host.h"
#include "client/zr_bnfs.h"
#include "client/zr_client.h"
#include "client/zr_proxy.h"
#include "loopback.h"

#include "uniloc.h"
#include "xmemory.h"
#include "xml/framework/xml_streams.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
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

TEST_F(CallbackLoad, TheLocationsCapacityHoldsForTheHostAndTheClient) {
    unimemlocation* mem = unimemlocation::GetRegistered();
    EXPECT_EQ(mem->GetCapacity(), unimemlocation::kDefaultCapacity);
    struct Restore {
        ~Restore() { unimemlocation::GetRegistered()->SetCapacity(unimemlocation::kDefaultCapacity); }
    } restore;
    mem->SetCapacity(mem->GetUsed() + 64 * 1024);

    // A host's write beyond it is answered with an error frame.
    bnfsError e;
    BNFSConnection* hostSide = BNFSConnection::Open(e, "127.0.0.1", PortOf(url));
    ASSERT_NE(hostSide, nullptr) << e.message;
    hostSide->SetTimeout(15);
    const std::string big(128 * 1024, 'h');
    EXPECT_FALSE(BNFSConnection::WriteFile(hostSide, "/ZPI/from_host.xml", big.data(), big.size(), e));
    EXPECT_EQ(e.code, BNFS_ERR_REMOTE);
    EXPECT_NE(e.message.find("the location is full"), std::string::npos) << e.message;
    BNFSConnection::Close(hostSide);
    EXPECT_FALSE(mem->IsFile("/ZPI/from_host.xml"));

    // A hand-over beyond it is not written, so not sent.
    const std::string longLine(128 * 1024, 'l');
    auto** lines = static_cast<const char**>(xar_alloc(1, sizeof(char*), 1));
    lines[0] = longLine.c_str();
    const size_t sent = host.Count();
    EXPECT_EQ(proxy->SendTranslationLog(lines), 100);
    EXPECT_EQ(host.Count(), sent);
    xar_free(lines);
}

} // namespace
