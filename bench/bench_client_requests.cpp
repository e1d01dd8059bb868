// Request round trips through the proxy, and file transfers to a bnfs
// server's in-memory location, over the loopback address.
//
// BM_RequestAgainstPlainTcp runs, in turns, a request through the proxy to
// a bnfs server and a plain TCP ping-pong of the same bytes (blocking send
// and receive on both ends), and reports the ratio of their times as the
// counter "ratio" (the goal is at most 1.3).
#include "client/zr_strings.h"
#include "client/zr_framing.h"
#include "client/zr_proxy.h"
#include "net.h"
#include "uniloc.h"
#include "answering_host.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

void BM_RequestRoundTrip(benchmark::State& state) {
    zpibench::AnsweringHost host;
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

// The bytes of one frame as they go over the wire.
std::string Frame(char kind, const std::string& text) {
    std::string item;
    bnfsPutTextItem(item, text.data(), text.size());
    std::string frame(1, kind);
    for (int shift = 24; shift >= 0; shift -= 8)
        frame += char((item.size() >> shift) & 0xFF);
    return frame + item;
}

bool SendAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t k = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (k <= 0)
            return false;
        done += size_t(k);
    }
    return true;
}

bool ReceiveExactly(int fd, char* buffer, size_t n) {
    size_t done = 0;
    while (done < n) {
        ssize_t k = ::recv(fd, buffer + done, n - done, 0);
        if (k <= 0)
            return false;
        done += size_t(k);
    }
    return true;
}

// A plain TCP peer on the loopback address: it receives `request` bytes and
// answers `reply` bytes, one exchange after the other, until the client
// closes.
class PlainPeer {
public:
    PlainPeer(size_t requestSize, std::string reply) : requestSize_(requestSize), reply_(std::move(reply)) {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listen_, 1);
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] {
            int fd = ::accept(listen_, nullptr, nullptr);
            if (fd < 0)
                return;
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            std::string buffer(requestSize_, '\0');
            while (ReceiveExactly(fd, buffer.data(), buffer.size()) && SendAll(fd, reply_)) {
            }
            ::close(fd);
        });
    }
    ~PlainPeer() {
        ::shutdown(listen_, SHUT_RDWR); // ends an accept that still waits
        thread_.join();
        ::close(listen_);
    }
    // The client end, connected.
    int Connect() const {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(port_));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(fd);
            return -1;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return fd;
    }

private:
    size_t requestSize_;
    std::string reply_;
    int listen_ = -1;
    int port_ = 0;
    std::thread thread_;
};

void BM_RequestAgainstPlainTcp(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    zpibench::AnsweringHost host;
    xrchandle<ZorvanProxy> proxy(new ZorvanProxy());
    const std::string request = Frame('Q', ZrRequestText(101).AddText("model").AddInt(3).c_str());
    const std::string answer = Frame('R', "0\n42");
    PlainPeer peer(request.size(), answer);
    const int plain = peer.Connect();
    if (!proxy->Connect(host.Url().c_str()) || plain < 0) {
        state.SkipWithError("no connection");
        if (plain >= 0)
            ::close(plain);
        return;
    }
    std::string back(answer.size(), '\0');
    ZrReply reply;
    // The two kinds alternate exchange by exchange, so that both meet the
    // same load of the machine.
    constexpr int kTurn = 200;
    Clock::duration plainTime{}, requestTime{};
    int64_t exchanges = 0;
    for (auto _ : state) {
        for (int i = 0; i < kTurn; ++i) {
            auto t0 = Clock::now();
            if (!SendAll(plain, request) || !ReceiveExactly(plain, back.data(), back.size())) {
                state.SkipWithError("plain exchange failed");
                break;
            }
            auto t1 = Clock::now();
            int status = proxy->SendRequest(ZrRequestText(101).AddText("model").AddInt(3), reply);
            benchmark::DoNotOptimize(status);
            auto t2 = Clock::now();
            plainTime += t1 - t0;
            requestTime += t2 - t1;
        }
        exchanges += kTurn;
    }
    ::close(plain);
    using Micro = std::chrono::duration<double, std::micro>;
    const double plainUs = Micro(plainTime).count() / double(exchanges ? exchanges : 1);
    const double requestUs = Micro(requestTime).count() / double(exchanges ? exchanges : 1);
    state.counters["plain_us"] = plainUs;
    state.counters["request_us"] = requestUs;
    state.counters["ratio"] = plainUs > 0 ? requestUs / plainUs : 0;
}
BENCHMARK(BM_RequestAgainstPlainTcp)->MinTime(1.0);

void BM_FileWriteRead(benchmark::State& state) {
    zpibench::AnsweringHost host;
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
