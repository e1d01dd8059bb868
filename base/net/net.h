// base/net: TCP sockets, the bnfs frame protocol, the client connection and
// the servers. It uses files/ (the locations a bnfs server serves) and text/.
//
// Network connections and servers of the base library: TCP sockets, the
// "bnfs" frame protocol, the client connection BNFSConnection and the
// server classes btkNetBaseServer, btkMultiSessionServer, bnfsServer and
// bnfsSession.
//
// Wire format of a bnfs connection. Everything travels in frames:
//
//     kind      1 byte   (a letter, see below)
//     length    4 bytes  unsigned, big-endian: bytes of the payload
//     payload   `length` bytes
//
// Frames from the client to the server, and the server's answer to each:
//     'Q' text request: payload is one text item (below) -> 'R' reply
//     'B' binary request: payload is passed as it is      -> 'R' reply
//     'P' alive probe: empty payload                      -> 'A', empty
//     'G' read a file: payload is the path                -> 'F' file bytes
//     'W' write a file: payload is the path, one NUL byte, then the bytes
//                                                          -> 'K', empty
// Any request may instead be answered by 'E', whose payload is a message:
// the request failed (no such file, no location) and the session goes on.
// The payload of 'R' is one text item, or empty for an empty reply.
//
// Text items (the session stream items of the client runtime):
//     '_' decimal byte count ':' bytes     a text
//     'N' decimal value ';'                a number (read as its text)
//
// Time limits. A client connection bounds each call by its timeout: the
// whole answer must arrive within that many seconds of the request going
// out, and, when a rest timeout is set, the rest of the answer frame within
// that many seconds of its first byte (whichever ends first). A call that
// runs out of time fails and closes the connection. A server never waits
// for a slow reader: each session queues its answers and sends what the
// socket accepts; while an answer waits the session reads nothing more,
// and an answer not sent whole within the session's timeout ends the
// session. Writing a frame or bytes on a stream (bnfsWriteFrame, WriteAll)
// is bounded as well: the peer must take all of it within the write's
// timeout, kBnfsWriteTimeout (60 seconds) unless the caller gives another,
// counted from the call and not restarted by partial writes. A write that
// runs out of time fails with BNFS_ERR_TIMEOUT and closes the stream, as
// any failed write does: a frame cut short leaves the stream out of step.
//
// Limits. A payload may not exceed kBnfsMaxPayload bytes (the file bytes
// of an 'F' answer kBnfsMaxFilePayload, what the length field holds) and a
// path kUniMaxPath bytes. A frame header that names an unknown kind or a
// larger payload, a payload that stops short, or a request payload that
// does not hold what its kind needs is malformed: the server answers 'E'
// and closes the session; the client fails the call and closes the
// connection. A client reads payloads in chunks that grow with what really
// arrives, so a claimed length never allocates more than has been received
// plus one chunk; a server counts a frame's whole claimed length in its
// budget once the head is there, or refuses it (btkMultiSessionServer).
//
// Addresses. This stand-in serves the local machine: btkGetCurHostAddress
// gives the loopback address and servers listen there unless told another
// address.
//
// The classes here are internal: only the members that zpi50 calls are
// exported. The server and session classes, which zpi50 derives from, have
// inline virtual operations only (no key function): each library makes its
// own hidden virtual tables and type information of them, so none is
// exported, and a program's own class of one of these names takes over
// nothing in the libraries.
#pragma once

#include "btkstring.h"
#include "zbase_export.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

inline namespace zbase_internal {
class unilocation;
class uniByteBudget;
} // namespace zbase_internal

constexpr uint32_t kBnfsMaxPayload = 256u * 1024u * 1024u;
constexpr uint32_t kBnfsMaxFilePayload = 0xFFFFFFFFu;
// Seconds within which the peer must take a whole write (see above).
constexpr double kBnfsWriteTimeout = 60;

// Error of a connection call.
enum bnfsErrorCode : int32_t {
    BNFS_OK = 0,
    BNFS_ERR_ADDRESS = 1,   // host not found or port out of range
    BNFS_ERR_CONNECT = 2,   // nobody listens there
    BNFS_ERR_SEND = 3,      // writing failed
    BNFS_ERR_CLOSED = 4,    // the peer closed the connection
    BNFS_ERR_TIMEOUT = 5,   // no (whole) answer in time
    BNFS_ERR_MALFORMED = 6, // a frame or item that breaks the format
    BNFS_ERR_REMOTE = 7,    // the peer answered 'E' (`message`: the peer answered "<its words>", btkQuoted)
    BNFS_ERR_NOT_OPEN = 8,  // no connection
    BNFS_ERR_ARGUMENT = 9,  // null or refused argument
};

struct bnfsError {
    int32_t code = BNFS_OK;
    std::string message;

    void Clear() {
        code = BNFS_OK;
        message.clear();
    }
    void Set(int32_t c, std::string m) {
        code = c;
        message = std::move(m);
    }
    bool IsSet() const { return code != BNFS_OK; }
};

inline namespace zbase_internal {
// The address under which this process is reached ("127.0.0.1").
ZBASE_API bool btkGetCurHostAddress(btkString& host);

// ---- sockets and frames --------------------------------------------------------

// A connected TCP socket, owned: closed by Close or the destructor.
class btkSocketStream {
public:
    explicit btkSocketStream(int fd);
    ZBASE_API ~btkSocketStream();
    btkSocketStream(const btkSocketStream&) = delete;
    btkSocketStream& operator=(const btkSocketStream&) = delete;

    int GetFd() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    void Close();

    // Every byte within `timeoutSeconds` (negative: no limit), or false
    // (the stream is closed then).
    bool WriteAll(const void* data, size_t n, bnfsError* error,
                  double timeoutSeconds = kBnfsWriteTimeout);
    // Exactly n bytes within `timeoutSeconds` (negative: no limit), or false
    // at the end of the stream, on a failure or when the time runs out.
    bool ReadExact(void* data, size_t n, double timeoutSeconds, bnfsError* error);
    // 1 when bytes (or the end) can be read, 0 when the time ran out, -1 on
    // failure.
    int WaitReadable(double timeoutSeconds);

private:
    int fd_;
};

struct bnfsFrame {
    char kind = 0;
    std::string payload;
};

// One frame out, whole within `timeoutSeconds` (negative: no limit); false
// on a payload above the limit, or on a failure or when the time runs out
// (the stream is closed then).
bool bnfsWriteFrame(btkSocketStream& stream, char kind, const void* payload, size_t length,
                    bnfsError* error, double timeoutSeconds = kBnfsWriteTimeout);
// One frame in, checked as said above; the time limit counts from the first
// byte (negative: no limit) and `firstByteTimeout` bounds the wait for it.
bool bnfsReadFrame(btkSocketStream& stream, bnfsFrame& frame, double firstByteTimeout,
                   double timeoutSeconds, bnfsError* error);

// Text items.
void bnfsPutTextItem(std::string& out, const char* text, size_t length);
// The text of the one item that `payload` holds (a number item gives its
// decimal text); false when it is not exactly one well-formed item.
bool bnfsGetTextItem(const std::string& payload, std::string& text);
} // namespace zbase_internal

// ---- client connection -----------------------------------------------------------

class BNFSConnection {
public:
    // Kept for the interface: every Open makes a connection of its own.
    ZBASE_API ZBASE_INTERNAL static void CacheEnable(bool on);
    static bool IsCacheEnabled();

    // Seconds within which a call's whole answer must arrive, on
    // connections opened from now on (negative: no limit, the start value;
    // a peer that vanishes is still noticed through the socket's
    // keep-alive).
    static void SetDefaultTimeout(double seconds);
    static double GetDefaultTimeout();

    // Connects to host:port (a name or a dotted address). Each address the
    // name gives has 10 seconds to accept the connection (then "connect"
    // fails with a timeout); looking the name up is bounded by the system's
    // resolver. Null, with the reason in `error`, when that fails.
    ZBASE_API ZBASE_INTERNAL static BNFSConnection* Open(bnfsError& error, const char* host,
                                                         int port);
    // Closes and destroys; null is ignored.
    ZBASE_API ZBASE_INTERNAL static void Close(BNFSConnection* connection);

    // Sends `request` and waits for the reply text. False, with the reason
    // in `error`, when there is no connection, the exchange fails, runs out
    // of time or the server refuses; a failed exchange closes the
    // connection. The request goes out in one send and a small reply is
    // taken in one receive.
    ZBASE_API ZBASE_INTERNAL static bool OtherRequest(BNFSConnection* connection,
                                                      const char* request, btkString& reply,
                                                      bnfsError& error);
    // The server answered the alive probe.
    ZBASE_API ZBASE_INTERNAL static bool IsAlive(BNFSConnection* connection);
    // Whole file of the server's location.
    ZBASE_API ZBASE_INTERNAL static bool ReadFile(BNFSConnection* connection, const char* path,
                                                  std::string& data, bnfsError& error);
    ZBASE_API ZBASE_INTERNAL static bool WriteFile(BNFSConnection* connection, const char* path,
                                                   const char* data, size_t size, bnfsError& error);

    const std::string& GetHost() const { return host_; }
    int GetPort() const { return port_; }
    // True while the connection can take a call: it is open, the peer has
    // not closed it and nothing came unasked.
    bool IsConnected() const;
    // Seconds within which a call's whole answer must arrive, counted from
    // the send (negative: no limit).
    ZBASE_API ZBASE_INTERNAL void SetTimeout(double seconds);
    double GetTimeout() const;
    // Seconds within which the rest of an answer frame must arrive once its
    // first byte has come (negative, the start value: only SetTimeout's
    // limit).
    ZBASE_API ZBASE_INTERNAL void SetRestTimeout(double seconds);
    // When on, every call first looks whether the connection is closed (by
    // a call that failed, or by the peer, or the peer sent bytes unasked)
    // and then connects again to the same host and port, once, before it
    // sends; the connect counts within the call's timeout. A call whose
    // bytes went out is never sent a second time. Off at the start.
    ZBASE_API ZBASE_INTERNAL void SetReopenWhenClosed(bool on);

private:
    BNFSConnection(std::unique_ptr<btkSocketStream> stream, std::string host, int port);
    ~BNFSConnection();
    // One request frame and its answer; `answer` must be the expected kind,
    // an 'E' answer gives BNFS_ERR_REMOTE.
    bool Exchange(char kind, const std::string& payload, char answerKind, std::string& answer,
                  bnfsError& error);
    // The parts of Exchange, called with the lock held.
    bool IsUsable() const;
    bool Reopen(std::chrono::steady_clock::time_point deadline, bnfsError& error);
    bool SendFrame(char kind, const std::string& payload,
                   std::chrono::steady_clock::time_point deadline, bool& inOneCall,
                   bnfsError& error);
    bool ReadAnswer(bnfsFrame& frame, std::chrono::steady_clock::time_point deadline,
                    bool blockingFirst, bnfsError& error);

    mutable std::mutex mutex_; // one exchange at a time
    std::unique_ptr<btkSocketStream> stream_;
    std::string host_;
    int port_;
    double timeout_;
    double restTimeout_ = -1;
    bool reopen_ = false;
    double receiveLimitSet_ = -1; // the socket's receive limit (negative: none)
    std::vector<char> buffer_;    // receives the head of each answer
};

// ---- servers -----------------------------------------------------------------

// Listens on one port and runs the serving loop of the thread that calls
// Run. Derived classes handle the accepted sockets and their input.
inline namespace zbase_internal {
class btkNetBaseServer {
public:
    btkNetBaseServer();
    virtual ~btkNetBaseServer() { StopListening(); }
    btkNetBaseServer(const btkNetBaseServer&) = delete;
    btkNetBaseServer& operator=(const btkNetBaseServer&) = delete;

    // Listens on `port` (0: a free one, reported by GetPort) of `address`
    // (null: the loopback address). False when that fails.
    ZBASE_API bool Init(int port, const char* address);
    int GetPort() const { return port_; }
    // Longest wait of the loop before OnIdle runs (and a stop is noticed).
    ZBASE_API void SetTimeSlice(double seconds);

    // Serves until RequestStop; returns at once without Init.
    ZBASE_API void Run();
    // Any thread; Run returns within one time slice.
    void RequestStop() { stop_.store(true, std::memory_order_release); }
    bool IsStopRequested() const { return stop_.load(std::memory_order_acquire); }
    // Stops listening (the derived classes also end their sessions).
    virtual void Shutdown() { StopListening(); }

protected:
    // A new connection; the callee owns the stream.
    virtual void OnAccept(btkSocketStream* stream) = 0;
    // Sockets besides the listener to watch for input, and the one that
    // has input.
    virtual void CollectFds(std::vector<int>& fds) = 0;
    virtual void OnReadable(int fd) = 0;
    // Sockets to watch for room to send (not also in CollectFds), and the
    // one that has room.
    virtual void CollectWriteFds(std::vector<int>& fds) { (void)fds; }
    virtual void OnWritable(int fd) { (void)fd; }
    virtual void OnIdle() {}

private:
    // Closes the listening socket.
    ZBASE_API void StopListening();

    int listenFd_ = -1;
    int port_ = 0;
    double timeSlice_ = 0.1;
    std::atomic<bool> stop_{false};
};

class bnfsSession;

// Keeps one session per accepted connection and serves each whole request
// in turn; a session that ends is destroyed. Answers go out as each socket
// accepts them, so a peer that does not read holds up only its own
// session.
//
// Time limits. A connection that has never completed a request is closed
// when it has sent no byte of a request within the idle limit of
// connecting. A session that has completed a request is never closed for
// being quiet: its peer may come back whenever it likes. A request in
// progress must arrive whole within the session's timeout of its first
// byte, and an answer go out whole within that timeout of being queued,
// or the session is closed (bnfsSession).
//
// The table. At most kMaxSessions sessions are open. When it is full, a new
// connection takes the place of another, in this order: a session that
// stalls (one that has not delivered a frame head within the stall limit,
// kStallLimit, of its first byte or of connecting, or that took in or sent
// out no byte for that long while receiving a frame or sending an answer),
// the one stalled the longest; then one that has begun a frame head, the
// oldest; then a connection that has sent nothing yet, the oldest; then a
// session quiet since its last request, the one quiet the longest. Before a
// session gives way, what has arrived on it is taken in (and a request
// there served), so that a request that came is not lost for being read
// late. Never made to give way: the session whose answers are kept whole
// (the host's, KeepAnswersWhole), a frame arriving whose head is there and
// whose bytes keep coming, and an answer the peer keeps taking. When every
// session is one of these, the new connection is closed at once. At most
// 64 connections are accepted per round of the serving loop, so that a
// flood of them does not keep the sessions that have input waiting.
//
// The budget. Everything the server holds for peers is counted in one
// byte budget (uniByteBudget, the process's unless set): the frames in
// progress, from the moment their head is there at their whole announced
// length, the answers waiting, and the files peers stored in an in-memory
// location (until they are freed, also while a replaced version is held by
// a waiting answer). A frame whose length does not fit is refused at its
// head, before its body arrives, and its session closed; frames of at most
// kSmallFrame bytes are always taken (each session holds at most one such
// frame beyond the budget). The process's own files count in no budget
// while they are current, and are always sent: an answer shares the
// location's buffer. A version replaced or removed while waiting answers
// hold it counts in the location's budget from then on (beyond the limit if
// need be) until the last of them has gone out (or its session ended).
// While the budget is over, answers holding an older version than the
// newest one the process replaced of the same file (uniBufferIsSuperseded;
// files peers store over it make none older) give way:
// one not yet begun is answered with an error instead, a session that has
// begun sending one is closed; the one session whose answers are kept
// whole (KeepAnswersWhole) is spared. So what peers pin beyond the budget
// is one replaced version of each file, what that one session sends, and
// one small frame per session. A file a peer stores counts as it is kept:
// the frame it came in, its name again (the key of its folder's entry) and
// kUniEntryOverhead bytes; and at most the budget's entry limit of them
// are stored (uniByteBudget, 65,536 unless set; a replaced version still
// held counts among them), any further one, also one that would replace a
// stored file, is answered with an error. A 'W' frame above kSmallFrame counts so much from
// its head on (its name once that has come).

class btkMultiSessionServer : public btkNetBaseServer {
public:
    static constexpr size_t kMaxSessions = 256;
    // Seconds a connection may stay without beginning its first request
    // (the start value).
    static constexpr double kIdleLimit = 30;
    // Frames up to this many bytes (head included) are taken whatever the
    // budget holds.
    static constexpr size_t kSmallFrame = 64 * 1024 + 5;
    // Seconds within which a connection must deliver a frame head, and a
    // session receiving a frame or sending an answer move a byte, not to
    // give way to a new connection when the table is full (the start value).
    static constexpr double kStallLimit = 5;

    btkMultiSessionServer();
    ~btkMultiSessionServer() override = default;

    void Shutdown() override {
        EndSessions();
        btkNetBaseServer::Shutdown();
    }
    // Any thread: the sessions open, and those receiving a request or
    // sending an answer, as the serving loop last counted them.
    size_t GetSessionCount() const { return sessionCount_.load(std::memory_order_relaxed); }
    size_t GetBusyCount() const { return busyCount_.load(std::memory_order_relaxed); }
    // The idle limit in seconds (negative: none).
    void SetIdleLimit(double seconds);
    // The stall limit in seconds.
    void SetStallLimit(double seconds);
    // The budget of what the server holds for peers (not owned; null:
    // nothing is counted). The process's budget unless set.
    void SetBudget(uniByteBudget* budget) { budget_.store(budget, std::memory_order_release); }
    uniByteBudget* GetBudget() const { return budget_.load(std::memory_order_acquire); }
    // Serving thread (a session's request hook): the answers of `session`
    // always go out whole, also those holding an older replaced version
    // while the budget is over (the host's session, through which it
    // starts jobs). One session at a time: the last one named.
    ZBASE_API void KeepAnswersWhole(const bnfsSession& session);
    bool KeepsAnswersWhole(const bnfsSession& session) const;

protected:
    // Session factory: a new session on an accepted stream (owning it).
    virtual bnfsSession* MakeSession(btkSocketStream* stream) = 0;
    void OnIdle() override {}

    void OnAccept(btkSocketStream* stream) override { AddSession(stream); }
    void CollectFds(std::vector<int>& fds) override { CollectReading(fds); }
    void OnReadable(int fd) override { ServeReadable(fd); }
    void CollectWriteFds(std::vector<int>& fds) override { CollectSending(fds); }
    void OnWritable(int fd) override { ServeWritable(fd); }

private:
    // What the operations above do.
    ZBASE_API void EndSessions();
    ZBASE_API void AddSession(btkSocketStream* stream);
    ZBASE_API void CollectReading(std::vector<int>& fds);
    ZBASE_API void ServeReadable(int fd);
    ZBASE_API void CollectSending(std::vector<int>& fds);
    ZBASE_API void ServeWritable(int fd);
    // The sessions counted, and closes those past their limits.
    void Sweep(std::chrono::steady_clock::time_point now);
    // While the budget is over, makes the answers holding an older replaced
    // version give way (see above); the sessions that end are closed.
    void CutSuperseded();
    // How readily `s` gives way to a new connection when the table is full
    // (the higher the sooner; 0: never).
    int GiveWayRank(const bnfsSession& s, std::chrono::steady_clock::time_point now,
                    std::chrono::steady_clock::duration stall) const;

    std::map<int, std::unique_ptr<bnfsSession>> sessions_; // by socket; serving thread only
    std::atomic<double> idleLimit_{kIdleLimit};
    std::atomic<double> stallLimit_{kStallLimit};
    std::atomic<uniByteBudget*> budget_;
    std::atomic<size_t> sessionCount_{0};
    std::atomic<size_t> busyCount_{0};
    uint64_t keptWhole_ = 0; // the session whose answers go out whole; serving thread only
};

// The bnfs server: serves text requests through its sessions and the files
// of its location driver.
class bnfsServer : public btkMultiSessionServer {
public:
    ZBASE_API bnfsServer();
    ~bnfsServer() override = default;

    // The location whose files 'G' and 'W' reach (not owned; null: none).
    void SetLocationDriver(unilocation* location) {
        location_.store(location, std::memory_order_release);
    }
    unilocation* GetLocationDriver() const { return location_.load(std::memory_order_acquire); }

protected:
    // Default sessions answer every text request with an empty reply.
    inline bnfsSession* MakeSession(btkSocketStream* stream) override;

private:
    std::atomic<unilocation*> location_{nullptr};
};

// One accepted connection of a bnfs server.
class bnfsSession {
public:
    // Owns the stream; `timeoutSeconds` bounds the arrival of a frame once
    // its first byte has come, and the sending of each answer (negative: no
    // limit).
    ZBASE_API bnfsSession(btkSocketStream* stream, bnfsServer* server, int timeoutSeconds);
    virtual ~bnfsSession() { GiveBack(); }
    bnfsSession(const bnfsSession&) = delete;
    bnfsSession& operator=(const bnfsSession&) = delete;

    // Reads one frame, answers it and waits until the answer is sent. False
    // when the session is over: the peer closed, a transfer failed, ran out
    // of time or the frame was malformed (LastError says which).
    bool ServeOne();
    // Without waiting: sends what it can of a queued answer, then, with no
    // answer left waiting, reads what has arrived and answers every frame
    // that is whole. A frame's rest may come with later calls and an
    // answer's rest may go with later calls (SendQueued), so a slow peer
    // never holds up the server's other sessions. False as for ServeOne.
    bool ServeAvailable();
    // True while an answer waits to be sent; the session then reads nothing.
    bool HasQueued() const { return !queue_.empty(); }
    // True while a request is arriving or an answer waits to be sent.
    bool IsBusy() const { return !pending_.empty() || !queue_.empty(); }
    // True once the head of the frame arriving is whole.
    bool HasHead() const { return pending_.size() >= 5; }
    // True when the session has not delivered a frame head within `limit`
    // of its first byte (or of connecting, before its first request), or
    // has taken in no byte of a frame, or sent out none of an answer, for
    // longer than `limit`.
    bool IsStalled(std::chrono::steady_clock::time_point now,
                   std::chrono::steady_clock::duration limit) const;
    // True once a whole request has come.
    bool HasCompleted() const { return completed_; }
    // True when a waiting answer holds a version of a file that its
    // location has let go of (uniBufferIsReplaced).
    bool HoldsReplaced() const;
    // Makes the waiting answers that hold an older replaced version of a
    // file (uniBufferIsSuperseded) give way: one not yet begun is answered
    // with an error instead. False when one has begun going out: the
    // session is over then.
    bool CutSuperseded();
    // A number of its own, never given to another session of the process.
    uint64_t GetSerial() const { return serial_; }
    // Sends what the socket accepts of the queued answers without waiting;
    // once they are all out, answers the frames that waited for them.
    // False as for ServeOne.
    bool SendQueued();
    // True when a frame begun more than the session's timeout ago is still
    // not whole, or an answer queued more than the timeout ago is not yet
    // sent whole (the server then closes the session).
    bool IsOverdue(std::chrono::steady_clock::time_point now) const;
    // When the session was made.
    std::chrono::steady_clock::time_point Connected() const { return connected_; }
    // When the session was made, its last whole request came or its last
    // answer went out whole, whichever is latest.
    std::chrono::steady_clock::time_point LastActive() const { return lastActive_; }
    // When a byte last came in or went out (or an answer was queued).
    std::chrono::steady_clock::time_point LastProgress() const { return lastProgress_; }
    const bnfsError& LastError() const { return error_; }
    btkSocketStream* GetStream() const { return stream_.get(); }
    bnfsServer* GetServer() const { return server_; }

protected:
    // Text request ('Q'): In() holds the request's text item, and what the
    // hook writes to Out() is the reply's payload.
    virtual void DoOtherRequest() {}
    // Binary request ('B'): In() holds the payload as it came.
    virtual void DoOtherRequestBinData() {}

    std::istream& In() { return in_; }
    std::ostream& Out() { return out_; }

private:
    // An answer frame waiting to be sent, with the time it must be out by.
    // The payload may be a buffer of the location, shared with other
    // answers and with the location itself (counted there), or one of its
    // own, whose bytes it holds in the budget.
    struct Queued {
        char head[5];
        std::shared_ptr<const std::string> payload;
        std::chrono::steady_clock::time_point deadline;
        size_t charged = 0;
        std::string path; // the file an 'F' answer sends
    };

    // Queues the answer and sends what the socket takes now. A file's
    // bytes that are not a location's buffer are counted in the budget,
    // and answered with an error when they do not fit.
    bool Answer(char kind, std::string payload);
    bool Answer(char kind, std::shared_ptr<const std::string> payload);
    bool Answer(char kind, std::shared_ptr<const std::string> payload, const std::string& path);
    bool Queue(char kind, std::shared_ptr<const std::string> payload, size_t charged);
    bool Queue(char kind, std::shared_ptr<const std::string> payload, size_t charged,
               std::string path);
    // The budget of the session's server (null: none).
    uniByteBudget* Budget() const;
    // Gives back to the budget what the session holds (the destructor).
    ZBASE_API void GiveBack();
    // Holds in the budget what pending_ needs: its bytes, and the whole
    // frame it begins once that frame's head is there. False, the session
    // refused, when a frame above kSmallFrame does not fit.
    bool Account();
    bool AnswerError(const std::string& message);
    // Answers one whole frame; false when the session is over.
    bool Handle(bnfsFrame& frame);
    // Answers a malformed frame with an error (as far as the socket takes
    // it now) and ends the session (false).
    bool Refuse(const std::string& message);
    // Sends the queued answers: with `wait`, each within its deadline,
    // else as far as the socket takes them now. False on failure.
    bool Drain(bool wait);
    // Answers the whole frames in pending_ while no answer waits; ends the
    // session once the peer has closed and everything is answered.
    bool AnswerPending();

    std::unique_ptr<btkSocketStream> stream_;
    bnfsServer* server_;
    int timeout_;
    std::istringstream in_;
    std::ostringstream out_;
    bnfsError error_;
    std::string pending_; // bytes of frames not yet answered (ServeAvailable)
    std::chrono::steady_clock::time_point pendingSince_{};
    bool peerClosed_ = false;   // the peer sends nothing more
    std::deque<Queued> queue_;  // answers not yet sent whole
    size_t sentOfFirst_ = 0;    // bytes of queue_.front() already sent
    size_t charged_ = 0;        // bytes held in the budget for pending_
    bool completed_ = false;
    uint64_t serial_;
    std::chrono::steady_clock::time_point connected_;
    std::chrono::steady_clock::time_point lastActive_;
    std::chrono::steady_clock::time_point lastProgress_;
};
} // namespace zbase_internal

inline bnfsSession* bnfsServer::MakeSession(btkSocketStream* stream) {
    return new bnfsSession(stream, this, 60);
}
