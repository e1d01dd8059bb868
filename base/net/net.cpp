#include "net.h"
#include "btk_quoted.h"
#include "btk_reason.h"

#include "standard_fds.h"
#include "uniloc.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

constexpr const char* kLoopback = "127.0.0.1";
constexpr size_t kChunk = 64 * 1024;
constexpr double kConnectTimeout = 10.0;
constexpr int kAcceptsPerRound = 64;

using Clock = std::chrono::steady_clock;

Clock::time_point deadlineAfter(double seconds) {
    // Far enough for any wait, near enough not to overflow the clock.
    seconds = std::min(seconds, 1e9);
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(
                              std::chrono::duration<double>(seconds));
}

// Milliseconds left until `deadline` for poll, rounded up (-1: no limit).
int msLeft(bool limited, Clock::time_point deadline) {
    if (!limited)
        return -1;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() <= 0 ? 0 : left.count() > 1000000 ? 1000000 : int(left.count());
}

// Sets *e (when wanted) to the code and message; false.
bool fail(bnfsError* e, int32_t code, std::string message) {
    if (e)
        e->Set(code, std::move(message));
    return false;
}

std::string errnoText(const char* what) { return std::string(what) + ": " + btkSystemReason(errno); }

bool isKnownKind(char k) {
    switch (k) {
    case 'Q': case 'B': case 'P': case 'G': case 'W':
    case 'R': case 'A': case 'F': case 'K': case 'E':
        return true;
    default:
        return false;
    }
}

// The largest payload of a frame of that kind: an 'F' answer carries a
// whole file, as much as the length field holds.
uint32_t maxPayloadOf(char kind) { return kind == 'F' ? kBnfsMaxFilePayload : kBnfsMaxPayload; }

void putHeader(char* head, char kind, size_t length) {
    head[0] = kind;
    head[1] = char((length >> 24) & 0xFF);
    head[2] = char((length >> 16) & 0xFF);
    head[3] = char((length >> 8) & 0xFF);
    head[4] = char(length & 0xFF);
}

uint32_t headerLength(const char* head) {
    return (uint32_t(uint8_t(head[1])) << 24) | (uint32_t(uint8_t(head[2])) << 16) |
           (uint32_t(uint8_t(head[3])) << 8) | uint32_t(uint8_t(head[4]));
}

// Checks the head of a frame at `p`, of which `have` bytes are there: 1
// when it is whole and sound (its payload length in `length`), 0 when more
// bytes are needed, -1 when it is malformed (`why` says how). The kind is
// checked as soon as it is there, the length as soon as it is whole, so a
// false header is refused before any more of it is awaited.
int checkHead(const char* p, size_t have, uint32_t& length, const char*& why) {
    if (have == 0)
        return 0;
    if (!isKnownKind(p[0])) {
        why = "malformed frame: unknown kind";
        return -1;
    }
    if (have < 5)
        return 0;
    length = headerLength(p);
    if (length > maxPayloadOf(p[0])) {
        why = "malformed frame: payload above the limit";
        return -1;
    }
    return 1;
}

enum class Sent { Done, Full, Failed };

// The one send loop: sends bytes from `sent` on of the run `a` (`na`
// bytes) followed by `b` (`nb` bytes), in one call where the socket takes
// them, counting them in `sent`. With `wait` it waits for room until `until`
// (for ever when not `limited`); without, it returns Full as soon as the
// socket takes no more. Failed sets `error` (BNFS_ERR_TIMEOUT when the time
// ran out, "<what> could not be sent in time"). `inOneCall` (when given)
// tells whether everything went out in the first call.
Sent sendSpans(int fd, const char* a, size_t na, const char* b, size_t nb, size_t& sent, bool wait,
               bool limited, Clock::time_point until, const char* what, bnfsError* error,
               bool* inOneCall = nullptr) {
    const size_t total = na + nb;
    if (inOneCall)
        *inOneCall = true;
    while (sent < total) {
        iovec parts[2];
        int n = 0;
        if (sent < na)
            parts[n++] = iovec{const_cast<char*>(a + sent), na - sent};
        const size_t from = sent < na ? 0 : sent - na;
        if (from < nb)
            parts[n++] = iovec{const_cast<char*>(b + from), nb - from};
        msghdr m{};
        m.msg_iov = parts;
        m.msg_iovlen = size_t(n);
        ssize_t k = ::sendmsg(fd, &m, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (k > 0) {
            sent += size_t(k);
            if (sent < total && inOneCall)
                *inOneCall = false;
            continue;
        }
        if (k < 0 && errno == EINTR)
            continue;
        if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!wait)
                return Sent::Full;
            // The peer reads slowly: wait for room within the time limit.
            if (inOneCall)
                *inOneCall = false;
            pollfd p{fd, POLLOUT, 0};
            int r = ::poll(&p, 1, msLeft(limited, until));
            if (r == 0) {
                fail(error, BNFS_ERR_TIMEOUT, std::string(what) + " could not be sent in time");
                return Sent::Failed;
            }
            if (r < 0 && errno != EINTR) {
                fail(error, BNFS_ERR_SEND, errnoText("poll"));
                return Sent::Failed;
            }
            continue;
        }
        fail(error, BNFS_ERR_SEND, errnoText("send"));
        return Sent::Failed;
    }
    return Sent::Done;
}

// The one receive: bytes into `data` (at most `n`). When `blocking`, one
// blocking receive bounded by the socket's receive limit comes first; else
// (and when that found nothing) a wait for input until `until` (none when
// `limited` is false) and a receive. The count, 0 at the end of the stream,
// -1 with `error` set.
long receiveSome(int fd, char* data, size_t n, bool blocking, bool limited, Clock::time_point until,
                 bnfsError* error) {
    for (;;) {
        ssize_t k;
        if (blocking) {
            blocking = false;
            k = ::recv(fd, data, n, 0);
            if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
                continue; // the wait below decides whether time is left
        } else {
            pollfd p{fd, POLLIN, 0};
            int r = ::poll(&p, 1, msLeft(limited, until));
            if (r < 0 && errno == EINTR)
                continue;
            if (r == 0) {
                fail(error, BNFS_ERR_TIMEOUT, "no answer in time");
                return -1;
            }
            if (r < 0) {
                fail(error, BNFS_ERR_CLOSED, errnoText("poll"));
                return -1;
            }
            k = ::recv(fd, data, n, MSG_DONTWAIT);
            if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
                continue;
        }
        if (k < 0) {
            fail(error, BNFS_ERR_CLOSED, errnoText("recv"));
            return -1;
        }
        return long(k);
    }
}

// How long the one frame reader waits: the first byte must come by
// `firstBy`; once it is in, the rest by `restSeconds` after it (negative:
// no such limit), and the whole frame by `wholeBy` (when `wholeLimited`),
// whichever ends first. `blockingFirst`: see receiveSome.
struct FrameWaits {
    bool firstLimited = false;
    Clock::time_point firstBy{};
    bool wholeLimited = false;
    Clock::time_point wholeBy{};
    double restSeconds = -1;
    bool blockingFirst = false;
};

// The one frame reader. The head is received into `scratch` (`room` bytes,
// at least 5): asking for just 5 takes nothing of a frame that follows;
// asking for more takes a small frame in one receive, and bytes beyond the
// frame are then malformed. The payload grows with what arrives, so a false
// length allocates no more than one chunk beyond what came.
bool readFrame(int fd, char* scratch, size_t room, const FrameWaits& w, bnfsFrame& frame,
               bnfsError* error) {
    frame.kind = 0;
    frame.payload.clear();
    Clock::time_point until = w.firstBy;
    bool bounded = w.firstLimited;
    size_t have = 0;
    uint32_t length = 0;
    const char* why = nullptr;
    for (int head = 0; head == 0;) {
        long k = receiveSome(fd, scratch + have, room - have, w.blockingFirst && have == 0, bounded,
                             until, error);
        if (k < 0)
            return false;
        if (k == 0)
            return fail(error, have ? BNFS_ERR_MALFORMED : BNFS_ERR_CLOSED,
                        have ? "malformed frame: the head stops short"
                             : "the peer closed the connection");
        if (have == 0) {
            // The first byte is in: from now on the rest's limits hold.
            until = w.wholeBy;
            bounded = w.wholeLimited;
            if (w.restSeconds >= 0) {
                const auto rest = deadlineAfter(w.restSeconds);
                until = bounded ? std::min(until, rest) : rest;
                bounded = true;
            }
        }
        have += size_t(k);
        head = checkHead(scratch, have, length, why);
        if (head < 0)
            return fail(error, BNFS_ERR_MALFORMED, why);
    }
    if (have - 5 > length)
        return fail(error, BNFS_ERR_MALFORMED, "malformed frame: bytes beyond the frame");
    // Built apart, so that a frame that fails leaves `frame` empty.
    std::string payload(scratch + 5, have - 5);
    while (payload.size() < length) {
        const size_t old = payload.size();
        const size_t want = std::min<size_t>(length - old, kChunk);
        payload.resize(old + want);
        long k = receiveSome(fd, payload.data() + old, want, false, bounded, until, error);
        payload.resize(old + size_t(k > 0 ? k : 0));
        if (k < 0)
            return false;
        if (k == 0)
            return fail(error, BNFS_ERR_MALFORMED, "malformed frame: the payload stops short");
    }
    frame.kind = scratch[0];
    frame.payload = std::move(payload);
    return true;
}

std::atomic<bool> g_cacheEnabled{false};
std::atomic<uint64_t> g_sessionSerial{0};
std::atomic<double> g_defaultTimeout{-1.0};

} // namespace

inline namespace zbase_internal {

bool btkGetCurHostAddress(btkString& host) {
    host = kLoopback;
    return true;
}

// ---- btkSocketStream --------------------------------------------------------------

btkSocketStream::btkSocketStream(int fd) : fd_(fd) {}

btkSocketStream::~btkSocketStream() { Close(); }

void btkSocketStream::Close() {
    if (fd_ >= 0) {
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        fd_ = -1;
    }
}

bool btkSocketStream::WriteAll(const void* data, size_t n, bnfsError* error,
                               double timeoutSeconds) {
    if (fd_ < 0)
        return fail(error, BNFS_ERR_NOT_OPEN, "the connection is closed");
    const bool limited = timeoutSeconds >= 0;
    size_t sent = 0;
    if (sendSpans(fd_, static_cast<const char*>(data), n, nullptr, 0, sent, true, limited,
                  deadlineAfter(limited ? timeoutSeconds : 0), "the bytes",
                  error) != Sent::Done) {
        Close(); // what went out of it leaves the stream out of step
        return false;
    }
    return true;
}

int btkSocketStream::WaitReadable(double timeoutSeconds) {
    if (fd_ < 0)
        return -1;
    const bool limited = timeoutSeconds >= 0;
    const auto deadline = deadlineAfter(limited ? timeoutSeconds : 0);
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        int r = ::poll(&p, 1, msLeft(limited, deadline));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return -1;
        return r == 0 ? 0 : 1;
    }
}

bool btkSocketStream::ReadExact(void* data, size_t n, double timeoutSeconds, bnfsError* error) {
    char* p = static_cast<char*>(data);
    const bool limited = timeoutSeconds >= 0;
    const auto deadline = deadlineAfter(limited ? timeoutSeconds : 0);
    while (n > 0) {
        if (fd_ < 0)
            return fail(error, BNFS_ERR_NOT_OPEN, "the connection is closed");
        long k = receiveSome(fd_, p, n, false, limited, deadline, error);
        if (k < 0)
            return false;
        if (k == 0)
            return fail(error, BNFS_ERR_CLOSED, "the peer closed the connection");
        p += k;
        n -= size_t(k);
    }
    return true;
}

// ---- frames and items ---------------------------------------------------------------

bool bnfsWriteFrame(btkSocketStream& stream, char kind, const void* payload, size_t length,
                    bnfsError* error, double timeoutSeconds) {
    if (length > maxPayloadOf(kind))
        return fail(error, BNFS_ERR_ARGUMENT, "payload above the limit");
    if (!stream.IsOpen())
        return fail(error, BNFS_ERR_NOT_OPEN, "the connection is closed");
    char head[5];
    putHeader(head, kind, length);
    const bool limited = timeoutSeconds >= 0;
    size_t sent = 0;
    if (sendSpans(stream.GetFd(), head, 5, static_cast<const char*>(payload ? payload : ""),
                  length, sent, true, limited, deadlineAfter(limited ? timeoutSeconds : 0),
                  "the frame", error) != Sent::Done) {
        stream.Close(); // a frame cut short leaves the stream out of step
        return false;
    }
    return true;
}

bool bnfsReadFrame(btkSocketStream& stream, bnfsFrame& frame, double firstByteTimeout,
                   double timeoutSeconds, bnfsError* error) {
    frame.kind = 0;
    frame.payload.clear();
    if (!stream.IsOpen())
        return fail(error, BNFS_ERR_NOT_OPEN, "the connection is closed");
    FrameWaits w;
    w.firstLimited = firstByteTimeout >= 0;
    w.firstBy = deadlineAfter(w.firstLimited ? firstByteTimeout : 0);
    w.restSeconds = timeoutSeconds;
    char head[5];
    return readFrame(stream.GetFd(), head, sizeof head, w, frame, error);
}

void bnfsPutTextItem(std::string& out, const char* text, size_t length) {
    char digits[24];
    auto r = std::to_chars(digits, digits + sizeof digits, static_cast<uint64_t>(length));
    out += '_';
    out.append(digits, size_t(r.ptr - digits));
    out += ':';
    if (length)
        out.append(text, length);
}

bool bnfsGetTextItem(const std::string& payload, std::string& text) {
    text.clear();
    if (payload.empty())
        return false;
    const char* b = payload.data();
    const char* e = b + payload.size();
    if (*b == 'N') {
        const char* semi = static_cast<const char*>(std::memchr(b + 1, ';', size_t(e - b - 1)));
        if (!semi || semi + 1 != e)
            return false;
        int value = 0;
        auto r = std::from_chars(b + 1, semi, value);
        if (r.ec != std::errc() || r.ptr != semi)
            return false;
        text.assign(b + 1, semi);
        return true;
    }
    if (*b != '_')
        return false;
    const char* colon = static_cast<const char*>(std::memchr(b + 1, ':', size_t(e - b - 1)));
    if (!colon || colon == b + 1)
        return false;
    uint64_t length = 0;
    auto r = std::from_chars(b + 1, colon, length);
    if (r.ec != std::errc() || r.ptr != colon || length != uint64_t(e - colon - 1))
        return false;
    text.assign(colon + 1, e);
    return true;
}

} // namespace zbase_internal

// ---- BNFSConnection ------------------------------------------------------------------

void BNFSConnection::CacheEnable(bool on) { g_cacheEnabled.store(on); }
bool BNFSConnection::IsCacheEnabled() { return g_cacheEnabled.load(); }
void BNFSConnection::SetDefaultTimeout(double seconds) { g_defaultTimeout.store(seconds); }
double BNFSConnection::GetDefaultTimeout() { return g_defaultTimeout.load(); }

BNFSConnection::BNFSConnection(std::unique_ptr<btkSocketStream> stream, std::string host, int port)
    : stream_(std::move(stream)), host_(std::move(host)), port_(port),
      timeout_(g_defaultTimeout.load()) {}

BNFSConnection::~BNFSConnection() = default;

bool BNFSConnection::IsConnected() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return IsUsable();
}

void BNFSConnection::SetTimeout(double seconds) {
    std::lock_guard<std::mutex> hold(mutex_);
    timeout_ = seconds;
}

double BNFSConnection::GetTimeout() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return timeout_;
}

void BNFSConnection::SetRestTimeout(double seconds) {
    std::lock_guard<std::mutex> hold(mutex_);
    restTimeout_ = seconds;
}

void BNFSConnection::SetReopenWhenClosed(bool on) {
    std::lock_guard<std::mutex> hold(mutex_);
    reopen_ = on;
}

namespace {

// A connected TCP socket to host:port, or -1 with the reason in `error`.
// Each address the name gives has until `until` to accept the connection.
int connectTo(const char* host, int port, Clock::time_point until, bnfsError& error) {
    if (!host || !*host || port <= 0 || port > 65535) {
        error.Set(BNFS_ERR_ADDRESS, "no host or a port out of range");
        return -1;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    char service[16];
    auto r = std::to_chars(service, service + sizeof service - 1, port);
    *r.ptr = '\0';
    int rc = ::getaddrinfo(host, service, &hints, &found);
    if (rc != 0 || !found) {
        error.Set(BNFS_ERR_ADDRESS, "unknown host " + btkQuoted(host) + ": " + btkAddressReason(rc));
        return -1;
    }
    int fd = -1;
    std::string why = "nobody listens there";
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = btkAboveStandardFds(
            ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol));
        if (fd < 0) {
            why = errnoText("socket");
            continue;
        }
        // Connect within a time limit, then go back to blocking calls.
        const int flags = ::fcntl(fd, F_GETFL, 0);
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
        int c = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (c < 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            int pr;
            do
                pr = ::poll(&p, 1, msLeft(true, until));
            while (pr < 0 && errno == EINTR);
            int soerr = 0;
            socklen_t len = sizeof soerr;
            if (pr == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soerr, &len) == 0 && soerr == 0)
                c = 0;
            else
                errno = pr == 0 ? ETIMEDOUT : soerr;
        }
        if (c < 0) {
            why = errnoText("connect");
            ::close(fd);
            fd = -1;
            continue;
        }
        ::fcntl(fd, F_SETFL, flags);
    }
    ::freeaddrinfo(found);
    if (fd < 0) {
        error.Set(BNFS_ERR_CONNECT, btkQuoted(std::string(host) + ":" + service) + ": " + why);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // A peer that vanishes without closing is noticed even by a call that
    // waits without a time limit.
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
    return fd;
}

} // namespace

BNFSConnection* BNFSConnection::Open(bnfsError& error, const char* host, int port) {
    error.Clear();
    int fd = connectTo(host, port, deadlineAfter(kConnectTimeout), error);
    if (fd < 0)
        return nullptr;
    return new BNFSConnection(std::make_unique<btkSocketStream>(fd), host, port);
}

void BNFSConnection::Close(BNFSConnection* connection) { delete connection; }

bool BNFSConnection::IsUsable() const {
    if (!stream_ || !stream_->IsOpen())
        return false;
    // Between calls nothing may come in: input here is the peer's close or
    // bytes out of step.
    for (;;) {
        pollfd p{stream_->GetFd(), POLLIN | POLLRDHUP, 0};
        int r = ::poll(&p, 1, 0);
        if (r < 0 && errno == EINTR)
            continue;
        return r == 0;
    }
}

bool BNFSConnection::Reopen(Clock::time_point deadline, bnfsError& error) {
    stream_.reset();
    receiveLimitSet_ = -1;
    // The connect counts within the call's time limit.
    const auto connectBy = deadlineAfter(kConnectTimeout);
    int fd = connectTo(host_.c_str(), port_, timeout_ >= 0 ? std::min(deadline, connectBy) : connectBy,
                       error);
    if (fd < 0)
        return false;
    stream_ = std::make_unique<btkSocketStream>(fd);
    return true;
}

bool BNFSConnection::SendFrame(char kind, const std::string& payload, Clock::time_point deadline,
                               bool& inOneCall, bnfsError& error) {
    if (payload.size() > maxPayloadOf(kind))
        return fail(&error, BNFS_ERR_ARGUMENT, "payload above the limit");
    char head[5];
    putHeader(head, kind, payload.size());
    size_t sent = 0;
    return sendSpans(stream_->GetFd(), head, 5, payload.data(), payload.size(), sent, true,
                     timeout_ >= 0, deadline, "the request", &error, &inOneCall) == Sent::Done;
}

bool BNFSConnection::ReadAnswer(bnfsFrame& frame, Clock::time_point deadline, bool blockingFirst,
                                bnfsError& error) {
    const bool limited = timeout_ >= 0;
    if (blockingFirst && receiveLimitSet_ != timeout_) {
        // The receive limit of the socket serves the first receive of every
        // call; it changes only when the connection's timeout does.
        timeval tv{};
        if (limited) {
            const double whole = std::max(timeout_, 1e-6);
            tv.tv_sec = time_t(whole);
            tv.tv_usec = suseconds_t((whole - double(tv.tv_sec)) * 1e6);
            if (tv.tv_sec == 0 && tv.tv_usec == 0)
                tv.tv_usec = 1;
        }
        if (::setsockopt(stream_->GetFd(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0)
            receiveLimitSet_ = limited ? timeout_ : -1;
        else
            blockingFirst = false;
    }
    // The whole answer by the deadline; once its first byte is in, the rest
    // within restTimeout_ too. A small answer comes in one receive.
    FrameWaits w;
    w.firstLimited = w.wholeLimited = limited;
    w.firstBy = w.wholeBy = deadline;
    w.restSeconds = restTimeout_;
    w.blockingFirst = blockingFirst;
    if (buffer_.size() < kChunk)
        buffer_.resize(kChunk);
    return readFrame(stream_->GetFd(), buffer_.data(), buffer_.size(), w, frame, &error);
}

bool BNFSConnection::Exchange(char kind, const std::string& payload, char answerKind,
                              std::string& answer, bnfsError& error) {
    error.Clear();
    std::lock_guard<std::mutex> hold(mutex_);
    const auto deadline = deadlineAfter(timeout_ >= 0 ? timeout_ : 0);
    if (reopen_ && !IsUsable() && !Reopen(deadline, error))
        return false;
    if (!stream_ || !stream_->IsOpen())
        return fail(&error, BNFS_ERR_NOT_OPEN, "not connected");
    bool inOneCall = false;
    bnfsFrame frame;
    if (!SendFrame(kind, payload, deadline, inOneCall, error) ||
        !ReadAnswer(frame, deadline, inOneCall, error)) {
        stream_->Close(); // the stream is out of step now
        return false;
    }
    // The peer's words, quoted: they reach told lines.
    if (frame.kind == 'E')
        return fail(&error, BNFS_ERR_REMOTE, "the peer answered " + btkQuoted(frame.payload));
    if (frame.kind != answerKind) {
        error.Set(BNFS_ERR_MALFORMED, "unexpected answer");
        stream_->Close();
        return false;
    }
    answer = std::move(frame.payload);
    return true;
}

bool BNFSConnection::OtherRequest(BNFSConnection* connection, const char* request,
                                  btkString& reply, bnfsError& error) {
    if (!connection)
        return fail(&error, BNFS_ERR_NOT_OPEN, "no connection");
    if (!request)
        return fail(&error, BNFS_ERR_ARGUMENT, "no request");
    std::string payload, answer;
    bnfsPutTextItem(payload, request, std::strlen(request));
    if (!connection->Exchange('Q', payload, 'R', answer, error))
        return false;
    std::string text;
    if (!answer.empty() && !bnfsGetTextItem(answer, text))
        return fail(&error, BNFS_ERR_MALFORMED, "malformed reply");
    reply = btkString(std::move(text));
    return true;
}

bool BNFSConnection::IsAlive(BNFSConnection* connection) {
    if (!connection)
        return false;
    bnfsError error;
    std::string answer;
    return connection->Exchange('P', std::string(), 'A', answer, error);
}

bool BNFSConnection::ReadFile(BNFSConnection* connection, const char* path, std::string& data,
                              bnfsError& error) {
    if (!connection)
        return fail(&error, BNFS_ERR_NOT_OPEN, "no connection");
    if (!path || std::strlen(path) > kUniMaxPath)
        return fail(&error, BNFS_ERR_ARGUMENT, "no path or a path too long");
    return connection->Exchange('G', path, 'F', data, error);
}

bool BNFSConnection::WriteFile(BNFSConnection* connection, const char* path, const char* data,
                               size_t size, bnfsError& error) {
    if (!connection)
        return fail(&error, BNFS_ERR_NOT_OPEN, "no connection");
    const size_t pathLength = path ? std::strlen(path) : 0;
    if (!path || pathLength > kUniMaxPath || (!data && size) ||
        size > kBnfsMaxPayload - pathLength - 1) {
        error.Set(BNFS_ERR_ARGUMENT, "no path, a path too long or too much data");
        return false;
    }
    std::string payload;
    payload.reserve(pathLength + 1 + size);
    payload.append(path, pathLength);
    payload += '\0';
    if (size)
        payload.append(data, size);
    std::string answer;
    return connection->Exchange('W', payload, 'K', answer, error);
}

// ---- btkNetBaseServer ---------------------------------------------------------------

btkNetBaseServer::btkNetBaseServer() = default;

bool btkNetBaseServer::Init(int port, const char* address) {
    if (listenFd_ >= 0 || port < 0 || port > 65535)
        return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, address ? address : kLoopback, &a.sin_addr) != 1)
        return false;
    int fd = btkAboveStandardFds(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd < 0)
        return false;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, SOMAXCONN) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(fd);
        return false;
    }
    listenFd_ = fd;
    port_ = ntohs(a.sin_port);
    return true;
}

void btkNetBaseServer::SetTimeSlice(double seconds) {
    timeSlice_ = seconds > 0 ? seconds : 0.01;
}

void btkNetBaseServer::Run() {
    std::vector<int> fds, writeFds;
    std::vector<pollfd> polls;
    while (listenFd_ >= 0 && !IsStopRequested()) {
        fds.clear();
        writeFds.clear();
        CollectFds(fds);
        CollectWriteFds(writeFds);
        polls.clear();
        polls.push_back(pollfd{listenFd_, POLLIN, 0});
        for (int fd : fds)
            polls.push_back(pollfd{fd, POLLIN, 0});
        for (int fd : writeFds)
            polls.push_back(pollfd{fd, POLLOUT, 0});
        int r = ::poll(polls.data(), polls.size(), int(timeSlice_ * 1000));
        if (r < 0 && errno != EINTR)
            break;
        if (r > 0) {
            if (polls[0].revents & POLLIN) {
                // A bounded number per round: a flood of connections does
                // not keep the sessions that have input from being served.
                for (int accepted = 0; accepted < kAcceptsPerRound; ++accepted) {
                    int c =
                        btkAboveStandardFds(::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC));
                    if (c < 0) {
                        // Out of descriptors or the like: wait a slice rather
                        // than spin on a listener that stays readable.
                        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR &&
                            errno != ECONNABORTED)
                            ::poll(nullptr, 0, int(timeSlice_ * 1000));
                        break;
                    }
                    int one = 1;
                    ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                    OnAccept(new btkSocketStream(c));
                }
            }
            const size_t firstWrite = 1 + fds.size();
            for (size_t i = 1; i < polls.size() && !IsStopRequested(); ++i) {
                const short ready = polls[i].revents;
                if (i < firstWrite && (ready & (POLLIN | POLLHUP | POLLERR)))
                    OnReadable(polls[i].fd);
                else if (i >= firstWrite && (ready & (POLLOUT | POLLHUP | POLLERR)))
                    OnWritable(polls[i].fd);
            }
        }
        OnIdle();
    }
}

void btkNetBaseServer::StopListening() {
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        listenFd_ = -1;
    }
}

// ---- btkMultiSessionServer -------------------------------------------------------------

btkMultiSessionServer::btkMultiSessionServer() : budget_(&uniByteBudget::Process()) {}

void btkMultiSessionServer::EndSessions() {
    sessions_.clear();
    sessionCount_.store(0, std::memory_order_relaxed);
    busyCount_.store(0, std::memory_order_relaxed);
}

void btkMultiSessionServer::SetIdleLimit(double seconds) { idleLimit_.store(seconds); }

void btkMultiSessionServer::SetStallLimit(double seconds) { stallLimit_.store(seconds); }

void btkMultiSessionServer::KeepAnswersWhole(const bnfsSession& session) {
    keptWhole_ = session.GetSerial();
}

bool btkMultiSessionServer::KeepsAnswersWhole(const bnfsSession& session) const {
    return keptWhole_ == session.GetSerial();
}

void btkMultiSessionServer::CutSuperseded() {
    uniByteBudget* budget = GetBudget();
    if (!budget || !budget->IsOver())
        return;
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        bnfsSession& s = *it->second;
        if (!KeepsAnswersWhole(s) && !s.CutSuperseded())
            it = sessions_.erase(it);
        else
            ++it;
    }
}

namespace {
// How readily a session gives way to a new connection when the table is
// full (the higher the sooner); 0: never.
enum GiveWay : int {
    kNever = 0,
    kQuietSession = 1,   // completed a request, quiet now
    kSilentNewcomer = 2, // sent nothing yet, within the stall limit
    kPartialHead = 3,    // a frame head begun, within the stall limit
    kStalled = 4,        // no frame head within the stall limit, or no progress
};
} // namespace

int btkMultiSessionServer::GiveWayRank(const bnfsSession& s, Clock::time_point now,
                                       Clock::duration stall) const {
    if (KeepsAnswersWhole(s))
        return kNever;
    if (s.IsStalled(now, stall))
        return kStalled;
    if (s.HasQueued())
        return kNever; // an answer the peer is taking
    if (s.IsBusy())
        return s.HasHead() ? kNever : kPartialHead; // a frame that is coming
    return s.HasCompleted() ? kQuietSession : kSilentNewcomer;
}

void btkMultiSessionServer::AddSession(btkSocketStream* stream) {
    std::unique_ptr<btkSocketStream> owned(stream);
    const auto now = Clock::now();
    const auto stall = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(std::max(stallLimit_.load(), 0.0)));
    std::vector<int> looked; // sessions whose input was taken in already
    while (sessions_.size() >= kMaxSessions) {
        // Full: the session readiest to give way makes room, the one
        // stalled, begun or quiet the longest of its rank. What has
        // arrived on it is taken in first: a request that is there is
        // served, and the session then keeps its place if it has to.
        auto victim = sessions_.end();
        int best = kNever;
        Clock::time_point since{};
        for (auto it = sessions_.begin(); it != sessions_.end(); ++it) {
            const bnfsSession& s = *it->second;
            const int rank = GiveWayRank(s, now, stall);
            const auto at = rank == kQuietSession     ? s.LastActive()
                            : rank == kSilentNewcomer ? s.Connected()
                                                      : s.LastProgress();
            if (rank > best || (rank == best && rank != kNever && at < since)) {
                victim = it;
                best = rank;
                since = at;
            }
        }
        if (victim == sessions_.end())
            return; // every session is the host's or progressing: the new connection is closed
        if (std::find(looked.begin(), looked.end(), victim->first) == looked.end()) {
            looked.push_back(victim->first);
            if (!victim->second->ServeAvailable())
                sessions_.erase(victim);
            continue;
        }
        sessions_.erase(victim);
    }
    const int fd = stream->GetFd();
    bnfsSession* session = nullptr;
    try {
        session = MakeSession(owned.release());
    } catch (...) {
        session = nullptr;
    }
    if (session)
        sessions_[fd].reset(session);
    sessionCount_.store(sessions_.size(), std::memory_order_relaxed);
}

void btkMultiSessionServer::Sweep(Clock::time_point now) {
    // While the budget is over, answers holding an older replaced version
    // of a file give way (CutSuperseded). A frame unfinished, or an answer
    // unsent, past the session's timeout ends its session, and so does a
    // connection that began no request within the idle limit of
    // connecting. A session that has completed a request is never closed
    // for being quiet.
    CutSuperseded();
    const double limit = idleLimit_.load();
    const auto idle = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(std::max(limit, 0.0)));
    size_t busy = 0;
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        const bnfsSession& s = *it->second;
        if (s.IsOverdue(now) ||
            (limit >= 0 && !s.HasCompleted() && !s.IsBusy() && now - s.Connected() > idle)) {
            it = sessions_.erase(it);
            continue;
        }
        busy += s.IsBusy() ? 1 : 0;
        ++it;
    }
    sessionCount_.store(sessions_.size(), std::memory_order_relaxed);
    busyCount_.store(busy, std::memory_order_relaxed);
}

void btkMultiSessionServer::CollectReading(std::vector<int>& fds) {
    Sweep(Clock::now());
    // One with an answer waiting reads nothing.
    for (auto& entry : sessions_)
        if (!entry.second->HasQueued())
            fds.push_back(entry.first);
}

void btkMultiSessionServer::ServeReadable(int fd) {
    // A request may come to hold the file's current version: the older
    // versions that give way do so first.
    CutSuperseded();
    auto it = sessions_.find(fd);
    if (it == sessions_.end())
        return;
    if (!it->second->ServeAvailable())
        sessions_.erase(it);
}

void btkMultiSessionServer::CollectSending(std::vector<int>& fds) {
    for (auto& entry : sessions_)
        if (entry.second->HasQueued())
            fds.push_back(entry.first);
}

void btkMultiSessionServer::ServeWritable(int fd) {
    auto it = sessions_.find(fd);
    if (it == sessions_.end())
        return;
    if (!it->second->SendQueued())
        sessions_.erase(it);
}

// ---- bnfsServer and bnfsSession ------------------------------------------------------------

bnfsServer::bnfsServer() = default;

bnfsSession::bnfsSession(btkSocketStream* stream, bnfsServer* server, int timeoutSeconds)
    : stream_(stream), server_(server), timeout_(timeoutSeconds),
      serial_(g_sessionSerial.fetch_add(1, std::memory_order_relaxed) + 1),
      connected_(Clock::now()), lastActive_(connected_), lastProgress_(connected_) {}

void bnfsSession::GiveBack() {
    if (uniByteBudget* budget = Budget()) {
        size_t held = charged_;
        for (const Queued& q : queue_)
            held += q.charged;
        budget->Give(held);
    }
}

uniByteBudget* bnfsSession::Budget() const { return server_ ? server_->GetBudget() : nullptr; }

bool bnfsSession::HoldsReplaced() const {
    for (const Queued& q : queue_)
        if (uniBufferIsReplaced(q.payload))
            return true;
    return false;
}

namespace {
std::string sizeText(size_t bytes) {
    char digits[24];
    auto r = std::to_chars(digits, digits + sizeof digits, static_cast<uint64_t>(bytes));
    return std::string(digits, r.ptr);
}

// What a file a peer stores counts in the budget while it lives: the frame
// it came in (head, name, NUL and content), as its buffer keeps it, its name
// again as the key of its folder's entry, and the entry's overhead.
size_t storedCharge(size_t name, size_t bytes) {
    return 5 + name + 1 + bytes + name + kUniEntryOverhead;
}

// Why `bytes` more do not fit in `budget`.
std::string doesNotFit(const char* what, size_t bytes, const uniByteBudget& budget) {
    return std::string(what) + " of " + sizeText(bytes) + " bytes does not fit in the " +
           sizeText(budget.GetLimit()) + " bytes held for peers (" + sizeText(budget.GetHeld()) +
           " held now)";
}
} // namespace

bool bnfsSession::Answer(char kind, std::string payload) {
    // The server's own answer: counted, never refused.
    const size_t size = payload.size();
    if (uniByteBudget* budget = Budget())
        budget->Take(size);
    return Queue(kind, std::make_shared<const std::string>(std::move(payload)), Budget() ? size : 0);
}

bool bnfsSession::Answer(char kind, std::shared_ptr<const std::string> payload) {
    return Answer(kind, std::move(payload), std::string());
}

bool bnfsSession::Answer(char kind, std::shared_ptr<const std::string> payload,
                         const std::string& path) {
    // A location's buffer is counted where it is kept; a copy of its own
    // is counted here.
    size_t charged = 0;
    uniByteBudget* budget = Budget();
    if (budget && !uniIsLocationBuffer(payload)) {
        if (!budget->TryTake(payload->size()))
            return AnswerError(doesNotFit("an answer", payload->size(), *budget));
        charged = payload->size();
    }
    return Queue(kind, std::move(payload), charged, path);
}

bool bnfsSession::Queue(char kind, std::shared_ptr<const std::string> payload, size_t charged) {
    return Queue(kind, std::move(payload), charged, std::string());
}

bool bnfsSession::Queue(char kind, std::shared_ptr<const std::string> payload, size_t charged,
                        std::string path) {
    if (payload->size() > maxPayloadOf(kind)) {
        if (uniByteBudget* budget = Budget())
            budget->Give(charged);
        return AnswerError("answer above the limit");
    }
    Queued q;
    putHeader(q.head, kind, payload->size());
    q.payload = std::move(payload);
    q.charged = charged;
    q.path = std::move(path);
    q.deadline = timeout_ >= 0 ? Clock::now() + std::chrono::seconds(timeout_)
                               : Clock::time_point::max();
    if (queue_.empty())
        lastProgress_ = Clock::now(); // its time to be taken counts from here
    queue_.push_back(std::move(q));
    return Drain(false);
}

bool bnfsSession::AnswerError(const std::string& message) { return Answer('E', message); }

bool bnfsSession::CutSuperseded() {
    uniByteBudget* budget = Budget();
    for (size_t i = 0; i < queue_.size(); ++i) {
        Queued& q = queue_[i];
        if (!uniBufferIsSuperseded(q.payload))
            continue;
        const std::string what = q.path.empty() ? "the file" : btkQuoted(q.path);
        if (i == 0 && sentOfFirst_ > 0) {
            error_.Set(BNFS_ERR_SEND, what + " was cut short: two newer versions replaced the "
                                             "one it was sending while the bytes held for peers "
                                             "are over their limit");
            return false;
        }
        // Refused at its start: an error goes out in its place.
        std::string message =
            what + " is not sent: two newer versions replaced the one asked for while its "
                   "answer waited, and " +
            (budget ? sizeText(budget->GetHeld()) + " bytes are held for peers, beyond the " +
                          sizeText(budget->GetLimit()) + " allowed"
                    : std::string("the bytes held for peers are over their limit")) +
            "; ask again for the current one";
        if (budget) {
            budget->Give(q.charged);
            budget->Take(message.size());
        }
        q.charged = budget ? message.size() : 0;
        putHeader(q.head, 'E', message.size());
        q.payload = std::make_shared<const std::string>(std::move(message));
        q.path.clear();
    }
    return true;
}

bool bnfsSession::Drain(bool wait) {
    while (!queue_.empty()) {
        if (!stream_ || !stream_->IsOpen()) {
            error_.Set(BNFS_ERR_NOT_OPEN, "the session is closed");
            return false;
        }
        Queued& first = queue_.front();
        const bool limited = first.deadline != Clock::time_point::max();
        const size_t before = sentOfFirst_;
        const Sent sent = sendSpans(stream_->GetFd(), first.head, 5, first.payload->data(),
                                    first.payload->size(), sentOfFirst_, wait, limited,
                                    first.deadline, "the answer", &error_);
        if (sentOfFirst_ != before)
            lastProgress_ = Clock::now();
        if (sent == Sent::Full)
            return true; // the rest when the socket has room
        if (sent == Sent::Failed)
            return false;
        if (uniByteBudget* budget = Budget())
            budget->Give(first.charged);
        queue_.pop_front();
        sentOfFirst_ = 0;
        lastActive_ = Clock::now();
    }
    return true;
}

bool bnfsSession::SendQueued() {
    error_.Clear();
    if (!Drain(false))
        return false;
    if (!queue_.empty())
        return true;
    // The frames that waited for the answer are answered now; a frame
    // still unfinished counts its time from here.
    pendingSince_ = Clock::now();
    return AnswerPending();
}

bool bnfsSession::ServeOne() {
    error_.Clear();
    if (!stream_ || !stream_->IsOpen()) {
        error_.Set(BNFS_ERR_NOT_OPEN, "the session is closed");
        return false;
    }
    bnfsFrame frame;
    bool alive;
    if (!bnfsReadFrame(*stream_, frame, timeout_, timeout_, &error_)) {
        if (error_.code != BNFS_ERR_MALFORMED)
            return false;
        alive = Refuse(error_.message);
    } else {
        alive = Handle(frame);
    }
    // Wait until the answer is out, within its deadline.
    return alive && Drain(true);
}

bool bnfsSession::Refuse(const std::string& message) {
    // The error goes out as far as the socket takes it now: the session
    // ends either way, and a peer that sends malformed frames may well not
    // read.
    AnswerError(message);
    error_.Set(BNFS_ERR_MALFORMED, message);
    return false;
}

bool bnfsSession::Account() {
    uniByteBudget* budget = Budget();
    if (!budget)
        return true;
    size_t frame = pending_.size();
    uint32_t length = 0;
    const char* why = nullptr;
    if (checkHead(pending_.data(), pending_.size(), length, why) == 1)
        frame = std::max(frame, 5 + size_t(length));
    size_t need = frame;
    // A large file a peer stores is counted whole at its head, as it will
    // be kept (storedCharge): its name too once it is there.
    if (frame > btkMultiSessionServer::kSmallFrame && pending_[0] == 'W') {
        const size_t scan = std::min(pending_.size(), 5 + kUniMaxPath + 1);
        const void* nul = scan > 5 ? std::memchr(pending_.data() + 5, 0, scan - 5) : nullptr;
        const size_t name = nul ? size_t(static_cast<const char*>(nul) - pending_.data() - 5) : 0;
        need = storedCharge(name, size_t(length) - std::min(size_t(length), name + 1));
    }
    if (need <= charged_) {
        budget->Give(charged_ - need);
        charged_ = need;
        return true;
    }
    if (frame <= btkMultiSessionServer::kSmallFrame) {
        budget->Take(need - charged_);
    } else if (!budget->TryTake(need - charged_)) {
        return Refuse(std::string("refused: a '") + pending_[0] + "' frame" +
                      doesNotFit("", size_t(length), *budget));
    }
    charged_ = need;
    // Room for the whole frame at once, so that it is never copied as it grows.
    pending_.reserve(frame);
    return true;
}

bool bnfsSession::ServeAvailable() {
    error_.Clear();
    if (!stream_ || !stream_->IsOpen()) {
        error_.Set(BNFS_ERR_NOT_OPEN, "the session is closed");
        return false;
    }
    // An answer still waiting goes first; until it is out nothing more is
    // read, so a peer that does not read cannot make the queue grow.
    if (!queue_.empty()) {
        if (!SendQueued())
            return false;
        if (!queue_.empty())
            return true;
    }
    // Take what has arrived, a bounded amount per call so that one busy
    // peer does not starve the others. Once a frame's head is there, no
    // more than the rest of that frame is read: its length is held in the
    // budget (or refused) before its body is taken, and nothing of the
    // next frame comes in with it.
    char chunk[kChunk];
    for (int round = 0; round < 16 && !peerClosed_ && queue_.empty(); ++round) {
        size_t want = sizeof chunk;
        uint32_t length = 0;
        const char* why = nullptr;
        if (checkHead(pending_.data(), pending_.size(), length, why) == 1 &&
            5 + size_t(length) > pending_.size())
            want = std::min(want, 5 + size_t(length) - pending_.size());
        ssize_t k = ::recv(stream_->GetFd(), chunk, want, MSG_DONTWAIT);
        if (k < 0 && errno == EINTR)
            continue;
        if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (k <= 0) {
            peerClosed_ = true;
            break;
        }
        lastProgress_ = Clock::now();
        if (pending_.empty())
            pendingSince_ = lastProgress_;
        pending_.append(chunk, size_t(k));
        if (!Account() || !AnswerPending())
            return false;
        if (size_t(k) < want)
            break;
    }
    return AnswerPending();
}

bool bnfsSession::AnswerPending() {
    // Answer every whole frame while no answer waits; a header is checked
    // as soon as it is there, so a false length is refused before its bytes
    // are awaited.
    while (queue_.empty() && !pending_.empty()) {
        uint32_t length = 0;
        const char* why = nullptr;
        const int head = checkHead(pending_.data(), pending_.size(), length, why);
        if (head < 0)
            return Refuse(why);
        if (head == 0 || pending_.size() - 5 < length)
            break;
        bnfsFrame frame;
        frame.kind = pending_[0];
        const size_t end = 5 + size_t(length);
        if (end == pending_.size()) {
            // The frame's bytes are taken as they are, not copied.
            pending_.erase(0, 5);
            frame.payload.swap(pending_);
        } else {
            frame.payload.assign(pending_, 5, length);
            pending_.erase(0, end);
            pendingSince_ = Clock::now();
        }
        if (!Handle(frame) || !Account())
            return false;
    }
    if (peerClosed_ && queue_.empty()) {
        if (!pending_.empty())
            return Refuse("malformed frame: the payload stops short");
        error_.Set(BNFS_ERR_CLOSED, "the peer closed the connection");
        return false;
    }
    return true;
}

bool bnfsSession::IsStalled(Clock::time_point now, Clock::duration limit) const {
    if (!queue_.empty() || (!pending_.empty() && HasHead()))
        return now - lastProgress_ > limit;
    if (!pending_.empty())
        return now - pendingSince_ > limit;
    return !completed_ && now - connected_ > limit;
}

bool bnfsSession::IsOverdue(std::chrono::steady_clock::time_point now) const {
    if (!queue_.empty())
        return now > queue_.front().deadline;
    return timeout_ >= 0 && !pending_.empty() &&
           now - pendingSince_ > std::chrono::seconds(timeout_);
}

bool bnfsSession::Handle(bnfsFrame& frame) {
    completed_ = true;
    lastActive_ = Clock::now();
    unilocation* location = server_ ? server_->GetLocationDriver() : nullptr;
    switch (frame.kind) {
    case 'Q':
    case 'B': {
        in_.clear();
        in_.str(std::move(frame.payload));
        out_.clear();
        out_.str(std::string());
        try {
            if (frame.kind == 'Q')
                DoOtherRequest();
            else
                DoOtherRequestBinData();
        } catch (const std::exception& e) {
            return AnswerError(std::string("request failed: ") + e.what());
        } catch (...) {
            return AnswerError("request failed");
        }
        in_.str(std::string());
        return Answer('R', out_.str());
    }
    case 'P':
        return Answer('A', std::string());
    case 'G': {
        if (frame.payload.find('\0') != std::string::npos || frame.payload.size() > kUniMaxPath)
            return Refuse("malformed frame: bad path");
        if (!location)
            return AnswerError("no files are served here");
        // The answer shares the location's buffer: answers waiting for
        // peers that read slowly hold no copies of their own.
        std::shared_ptr<const std::string> data;
        std::string why;
        if (!location->ReadShared(frame.payload.c_str(), data, &why))
            return AnswerError(why);
        // The process's own file counts in no budget while it is current,
        // and is sent whatever the budget holds: the answer costs no copy.
        // Once replaced, it counts in the location's budget for as long as
        // answers hold it (see CutSuperseded).
        return Answer('F', std::move(data), frame.payload);
    }
    case 'W': {
        const size_t nul = frame.payload.find('\0');
        if (nul == std::string::npos || nul > kUniMaxPath)
            return Refuse("malformed frame: bad path");
        if (!location)
            return AnswerError("no files are served here");
        const std::string path = frame.payload.substr(0, nul);
        const size_t bytes = frame.payload.size() - nul - 1;
        // The file is counted in the budget for as long as it lives, with
        // its name and entry, and is stored only when it fits (and an entry
        // is left): the frame's count passes to it.
        const size_t charge = storedCharge(path.size(), bytes);
        uniByteBudget* budget = Budget();
        if (budget) {
            // What the frame holds already passes as it is (a large one was
            // taken whole at its head, and is not refused now that its
            // bytes are in); only the rest must fit.
            const size_t passed = std::min(charged_, charge);
            if (!budget->TryTakeEntry(charge - passed)) {
                if (budget->GetEntries() >= budget->GetEntryLimit())
                    return AnswerError(btkQuoted(path) + " is not stored: peers have stored the " +
                                       sizeText(budget->GetEntryLimit()) + " files allowed");
                return AnswerError(doesNotFit("a file", bytes, *budget) + "; with its name and " +
                                   "entry it counts " + sizeText(charge) + " bytes");
            }
            charged_ -= passed;
        }
        frame.payload.erase(0, nul + 1);
        // Kept in no more room than counted (a buffer that grew past its
        // frame is made to fit; a large one never has).
        if (frame.payload.capacity() > 5 + nul + 1 + bytes)
            frame.payload.shrink_to_fit();
        std::string why;
        if (!location->WriteShared(path.c_str(),
                                   uniMakeStoredBuffer(std::move(frame.payload), budget, charge),
                                   &why))
            return AnswerError(why);
        return Answer('K', std::string());
    }
    default:
        return Refuse("malformed frame: not a request");
    }
}
