// Request round trips through the proxy, and file transfers to a bnfs
// server's in-memory location, over the loopback address.
#include "api/zr_strings.h"
#include "client/zr_framing.h"
#include "client/zr_proxy.h"
#include "net.h"
#include "uniloc.h"

#include <benchmark/benchmark.h>

#include <string>
#include <thread>

namespace {

class Answering : public bnfsSession {
public:
    using bnfsSession::bnfsSession;

protected:
    void DoOtherRequest() override {
        btkString text;
        ReadSessionText(In(), text);
        WriteSessionText(Out(), "0\n42");
    }
};

class Host : public bnfsServer {
public:
    Host() {
        mem_.MakeDirectory("/ZPI", 0, nullptr);
        SetLocationDriver(&mem_);
        Init(0, nullptr);
        SetTimeSlice(0.05);
        thread_ = std::thread([this] { Run(); });
    }
    ~Host() override {
        RequestStop();
        thread_.join();
        Shutdown();
    }
    std::string Url() const { return "bnfs://127.0.0.1:" + std::to_string(GetPort()) + "/"; }

protected:
    bnfsSession* MakeSession(btkSocketStream* s) override { return new Answering(s, this, 10); }

private:
    unimemlocation mem_{"bench"};
    std::thread thread_;
};

void BM_RequestRoundTrip(benchmark::State& state) {
    Host host;
    xrchandle<ZorvanProxy> proxy(new ZorvanProxy());
    if (!proxy->Connect(host.Url().c_str())) {
        state.SkipWithError("no connection");
        return;
    }
    ZrReply reply;
    for (auto _ : state) {
        int status = proxy->SendRequest(ZrRequestText(101).AddText("model").AddInt(3), reply);
        benchmark::DoNotOptimize(status);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RequestRoundTrip);

void BM_FileWriteRead(benchmark::State& state) {
    Host host;
    bnfsError error;
    BNFSConnection* c = BNFSConnection::Open(error, "127.0.0.1", std::stoi(host.Url().substr(17)));
    if (!c) {
        state.SkipWithError("no connection");
        return;
    }
    const std::string data(size_t(state.range(0)), 'x');
    std::string back;
    for (auto _ : state) {
        BNFSConnection::WriteFile(c, "/ZPI/zpi.xml", data.data(), data.size(), error);
        BNFSConnection::ReadFile(c, "/ZPI/zpi.xml", back, error);
    }
    BNFSConnection::Close(c);
    state.SetBytesProcessed(int64_t(state.iterations()) * 2 * state.range(0));
}
BENCHMARK(BM_FileWriteRead)->Arg(1 << 10)->Arg(1 << 20)->Arg(16 << 20);

} // namespace
