// Raw sockets on the loopback address for the tests that play the far end
// of a connection by hand, and the head of a bnfs frame (base/net/net.h).
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

// Kind letter and big-endian payload length of a frame.
inline std::string FrameHeader(char kind, uint32_t length) {
    std::string h(1, kind);
    for (int shift = 24; shift >= 0; shift -= 8)
        h += static_cast<char>((length >> shift) & 0xff);
    return h;
}

// Sends the text request `text` (a 'Q' frame of one text item) on the
// connected socket `fd` and reads its answer frame whole: the answer's
// kind, or 0 when the connection failed first.
inline char TextRequest(int fd, const std::string& text) {
    const std::string item = "_" + std::to_string(text.size()) + ":" + text;
    const std::string frame = FrameHeader('Q', uint32_t(item.size())) + item;
    if (::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) != ssize_t(frame.size()))
        return 0;
    unsigned char head[5];
    size_t have = 0;
    for (ssize_t k; have < sizeof head; have += size_t(k))
        if ((k = ::recv(fd, head + have, sizeof head - have, 0)) <= 0)
            return 0;
    size_t rest = (size_t(head[1]) << 24) | (size_t(head[2]) << 16) | (size_t(head[3]) << 8) | head[4];
    char buffer[4096];
    for (ssize_t k; rest > 0; rest -= size_t(k))
        if ((k = ::recv(fd, buffer, std::min(rest, sizeof buffer), 0)) <= 0)
            return 0;
    return char(head[0]);
}

// A socket connected to `port` on the loopback address, or -1. A nonzero
// `receiveWindow` makes its receive buffer that small before it connects
// (a peer that reads slowly, or never, fills it at once).
inline int ConnectLoopback(int port, int receiveWindow = 0) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (receiveWindow > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveWindow, sizeof receiveWindow);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A socket listening on a free port of the loopback address, or -1; the
// port goes to `port`.
inline int ListenLoopback(int* port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(fd);
        return -1;
    }
    *port = ntohs(a.sin_port);
    return fd;
}

// A port of the loopback address that refuses every connection: bound, and
// never listening, while this lives (no other program can take it meanwhile).
class RefusingLoopbackPort {
public:
    RefusingLoopbackPort() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port_ = ntohs(a.sin_port);
    }
    ~RefusingLoopbackPort() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    RefusingLoopbackPort(const RefusingLoopbackPort&) = delete;
    RefusingLoopbackPort& operator=(const RefusingLoopbackPort&) = delete;
    // The port, or 0 when none could be bound.
    int Port() const { return port_; }
    // "bnfs://127.0.0.1:<port>/" followed by `path`.
    std::string Url(const std::string& path = "") const {
        return "bnfs://127.0.0.1:" + std::to_string(port_) + "/" + path;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

// Raises the soft limit of open files to `needed` for its scope, where the
// hard limit allows; Ok() tells whether it could.
class OpenFilesAtLeast {
public:
    explicit OpenFilesAtLeast(rlim_t needed) {
        if (::getrlimit(RLIMIT_NOFILE, &saved_) != 0)
            return;
        ok_ = saved_.rlim_cur >= needed;
        if (!ok_ && (saved_.rlim_max == RLIM_INFINITY || saved_.rlim_max >= needed)) {
            rlimit raised = saved_;
            raised.rlim_cur = needed;
            ok_ = changed_ = ::setrlimit(RLIMIT_NOFILE, &raised) == 0;
        }
    }
    ~OpenFilesAtLeast() {
        if (changed_)
            ::setrlimit(RLIMIT_NOFILE, &saved_);
    }
    OpenFilesAtLeast(const OpenFilesAtLeast&) = delete;
    OpenFilesAtLeast& operator=(const OpenFilesAtLeast&) = delete;
    bool Ok() const { return ok_; }

private:
    rlimit saved_{};
    bool ok_ = false;
    bool changed_ = false;
};

// A hostile local peer: keeps `count` connections to `port`, each of which
// has sent one byte of a frame head and nothing more, and opens a new one
// in place of each that the server closes (at most `renewals` a round of
// 20 ms), on a thread of its own until destroyed.
class OneByteFlood {
public:
    OneByteFlood(int port, size_t count, size_t renewals = 16) : port_(port), renewals_(renewals) {
        for (size_t i = 0; i < count; ++i)
            fds_.push_back(Connect());
        thread_ = std::thread([this] { Renew(); });
    }
    ~OneByteFlood() {
        stop_ = true;
        thread_.join();
        for (int fd : fds_)
            if (fd >= 0)
                ::close(fd);
    }
    OneByteFlood(const OneByteFlood&) = delete;
    OneByteFlood& operator=(const OneByteFlood&) = delete;
    // Connections the server closed and the peer opened again.
    size_t Renewed() const { return renewed_; }

private:
    int Connect() const {
        const int fd = ConnectLoopback(port_);
        if (fd >= 0)
            ::send(fd, "Q", 1, MSG_NOSIGNAL);
        return fd;
    }
    void Renew() {
        std::vector<pollfd> polls;
        while (!stop_) {
            polls.clear();
            for (int fd : fds_)
                polls.push_back(pollfd{fd, POLLIN, 0});
            ::poll(polls.data(), polls.size(), 20);
            size_t renewedNow = 0;
            for (size_t i = 0; i < fds_.size() && renewedNow < renewals_; ++i) {
                char byte;
                if (fds_[i] >= 0 && !(polls[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                if (fds_[i] >= 0 && ::recv(fds_[i], &byte, 1, MSG_DONTWAIT) > 0)
                    continue; // an answer, not a close
                if (fds_[i] >= 0)
                    ::close(fds_[i]);
                fds_[i] = Connect();
                ++renewedNow;
                ++renewed_;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    int port_;
    size_t renewals_;
    std::vector<int> fds_; // the flood's thread only, once it runs
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<size_t> renewed_{0};
};
