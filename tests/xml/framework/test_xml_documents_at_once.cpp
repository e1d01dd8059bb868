// Documents written by several threads at once: each write has a writer of
// its own, so a document that waits for a slow host holds up no other, and
// every document keeps exactly the bytes it has when written alone.
#include "xml/xml_test_util.h"

#include "client/zr_bnfs.h"
#include "xml/intfdata/xml_zpi.h"
#include "xml/intfdata_fixtures.h"

#include "file_targets.h"
#include "loopback.h"
#include "net.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <thread>

using namespace filetargets;
using namespace std::chrono_literals;

namespace {

// A host on the loopback address whose store of a file answers only when
// the test says so: it takes one connection, answers liveness probes, and
// holds its answer to the first file written until Release().
class HoldingHost {
public:
    HoldingHost() {
        listen_ = ListenLoopback(&port_);
        EXPECT_GE(listen_, 0);
        thread_ = std::thread([this] { Serve(); });
    }
    ~HoldingHost() {
        Release();
        thread_.join();
        ::close(listen_);
    }
    HoldingHost(const HoldingHost&) = delete;
    HoldingHost& operator=(const HoldingHost&) = delete;

    std::string Path(const std::string& name) const {
        return "bnfs://127.0.0.1:" + std::to_string(port_) + "/ZPI/" + name;
    }
    // Whether a whole file came and its answer is being held (waits at most
    // 15 s).
    bool WaitHolding() {
        std::unique_lock<std::mutex> hold(mutex_);
        return cv_.wait_for(hold, 15s, [this] { return holding_; });
    }
    void Release() {
        std::lock_guard<std::mutex> hold(mutex_);
        released_ = true;
        cv_.notify_all();
    }
    // The payload of the file stored: its path, a zero byte, its bytes.
    std::string Stored() {
        std::lock_guard<std::mutex> hold(mutex_);
        return stored_;
    }

private:
    void Serve() {
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, 15000) != 1)
            return;
        btkSocketStream s(::accept(listen_, nullptr, nullptr));
        bnfsFrame f;
        bnfsError e;
        while (bnfsReadFrame(s, f, 15, 15, &e)) {
            if (f.kind == 'P') {
                bnfsWriteFrame(s, 'A', nullptr, 0, &e);
                continue;
            }
            if (f.kind != 'W') {
                bnfsWriteFrame(s, 'E', "unexpected", 10, &e);
                continue;
            }
            std::unique_lock<std::mutex> hold(mutex_);
            stored_ = f.payload;
            holding_ = true;
            cv_.notify_all();
            cv_.wait(hold, [this] { return released_; });
            hold.unlock();
            bnfsWriteFrame(s, 'K', nullptr, 0, &e);
        }
    }

    int listen_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool holding_ = false;
    bool released_ = false;
    std::string stored_;
};

// The client's "bnfs:" opener while the object lives.
struct ClientOpener {
    IntfXmlBnfsOpener saved = IntfXmlRegisterBnfsOpener(&ZrOpenBnfsFile);
    ~ClientOpener() { IntfXmlRegisterBnfsOpener(saved); }
};

} // namespace

TEST(XmlDocumentsAtOnce, ALocalDocumentIsWrittenWhileAnotherWaitsForTheHost) {
    ClientOpener opener;
    QelIntfDataPtr data(zpifix::fullIntfData());
    ScratchDir dir;
    // Written alone first.
    const std::string alone = dir.Path("alone.xml"), local = dir.Path("local.xml");
    IntfXmlZPI(alone.c_str(), data.get());

    HoldingHost host;
    std::string remoteError;
    std::thread remote([&] {
        try {
            IntfXmlZPI(host.Path("remote.xml").c_str(), data.get());
        } catch (const IntfXmlError& e) {
            remoteError = e.Message();
        }
    });
    // The remote document is whole and waits for the host's answer.
    ASSERT_TRUE(host.WaitHolding());
    std::promise<std::string> localDone;
    std::thread writer([&] {
        std::string error;
        try {
            IntfXmlZPI(local.c_str(), data.get());
        } catch (const IntfXmlError& e) {
            error = e.Message();
        }
        localDone.set_value(error);
    });
    std::future<std::string> localResult = localDone.get_future();
    const bool inTime = localResult.wait_for(10s) == std::future_status::ready;
    host.Release();
    writer.join();
    remote.join();
    EXPECT_TRUE(inTime) << "the local document waited for the one sent to the host";
    EXPECT_EQ(localResult.get(), "");
    EXPECT_EQ(remoteError, "");
    const std::string bytes = ReadAll(alone);
    EXPECT_TRUE(ReadAll(local) == bytes);
    EXPECT_TRUE(host.Stored() == std::string("/ZPI/remote.xml") + '\0' + bytes);
}

TEST(XmlDocumentsAtOnce, DocumentsWrittenAtOnceHaveTheirBytesAlone) {
    // Every curve kind, composite curves nested in composite curves
    // included, from four threads at once, each document several times.
    QelIntfDataPtr data(zpifix::fullIntfData());
    ScratchDir dir;
    const std::string alone = dir.Path("alone.xml");
    IntfXmlZPI(alone.c_str(), data.get());
    IntfXmlZPI(alone.c_str(), data.get()); // a later document of the process, as all below
    const std::string bytes = ReadAll(alone);
    std::vector<std::thread> threads;
    std::vector<std::string> errors(4);
    for (size_t t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            const std::string path = dir.Path("doc" + std::to_string(t) + ".xml");
            for (int round = 0; round < 3; ++round) {
                try {
                    IntfXmlZPI(path.c_str(), data.get());
                } catch (const IntfXmlError& e) {
                    errors[t] = e.Message();
                }
                if (ReadAll(path) != bytes)
                    errors[t] = "other bytes in round " + std::to_string(round);
            }
        });
    for (std::thread& t : threads)
        t.join();
    for (const std::string& e : errors)
        EXPECT_EQ(e, "");
}
