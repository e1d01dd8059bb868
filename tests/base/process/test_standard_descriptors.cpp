// The standard descriptors 0, 1 and 2 of a translator that closed them
// after the library was loaded: the library's own descriptors (the
// journal, files it reads and writes, sockets, accepted connections) never
// take their numbers, and its told lines go to descriptor 2 only while
// that is a standard error, never into a file the translator opened there.
#include "file_targets.h"
#include "kkatomicfile.h"
#include "kkfileio.h"
#include "kkjournal.h"
#include "net.h"
#include "process.h"
#include "stuck_standard_error.h"
#include "ugc_output.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace {

using filetargets::ReadAll;
using filetargets::RunInChild;
using filetargets::ScratchDir;

// Whether 0, 1 and 2 are all still closed.
bool StandardClosed() {
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            return false;
    return true;
}

// A server that stops serving once it has accepted a connection.
class AcceptOnce : public bnfsServer {
public:
    bool Accepted() const { return accepted_; }

protected:
    void OnAccept(btkSocketStream* stream) override {
        bnfsServer::OnAccept(stream);
        accepted_ = true;
        RequestStop();
    }

private:
    bool accepted_ = false;
};

// What the non-blocking read end `fd` of a pipe holds now.
std::string Available(int fd) {
    std::string got;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        got.append(buffer, size_t(n));
    return got;
}

bool CloseStandard() {
    for (int fd = 0; fd <= 2; ++fd)
        ::close(fd);
    return StandardClosed();
}

TEST(StandardDescriptors, TheLibrarysOwnDescriptorsNeverTakeTheirNumbers) {
    ScratchDir dir;
    ASSERT_TRUE(dir.Made());
    filetargets::WriteAll(dir.Path("read"), "bytes");
    // In a child that closed 0, 1 and 2: a bit for each route that took one.
    const int took = RunInChild(&CloseStandard, [&] {
        int bits = 0;
        const int read = kkOpenRegularFile(dir.Path("read").c_str(), O_RDONLY, 0, nullptr);
        bits |= read >= 0 && StandardClosed() ? 0 : 1;
        ::close(read);
        {
            kkAtomicFile written; // the folder and the temporary file
            bits |= written.Open(dir.Path("written").c_str()) && StandardClosed() ? 0 : 2;
            bits |= written.Write("new", 3) && written.Commit() ? 0 : 2;
        }
        bits |= kkJournalSetFile(dir.Path("journal").c_str()) && StandardClosed() ? 0 : 4;
        kkJournalSetFile(nullptr);
        // A server's listening socket, a connection to it and the server's
        // end of it, all open at once (the server serves on this thread
        // until it has accepted the connection, which the system made).
        AcceptOnce server;
        bits |= server.Init(0, nullptr) && StandardClosed() ? 0 : 8;
        bnfsError error;
        BNFSConnection* c = BNFSConnection::Open(error, "127.0.0.1", server.GetPort());
        server.Run();
        bits |= c && server.Accepted() && StandardClosed() ? 0 : 16;
        BNFSConnection::Close(c);
        server.Shutdown();
        return bits;
    });
    EXPECT_EQ(took, 0) << "1: a file read, 2: a file written, 4: the journal, 8: a listening "
                          "socket, 16: a connection or an accepted one";
}

TEST(StandardDescriptors, ToldLinesGoOnlyToAStandardErrorNeverIntoAFileOpenedThere) {
    ScratchDir dir;
    ASSERT_TRUE(dir.Made());
    // A translator that closed 2 and then opened a file of its own, which
    // took that number, as open(2) makes it (close-on-exec): nothing the
    // library tells goes into it. One that put its log there on purpose
    // (dup2, as a standard error is) gets the lines.
    const std::string own = dir.Path("own"), log = dir.Path("log"), longer(3000, 'x');
    const int code =
        RunInChild([] { return true; },
                   [&] {
                       ::close(2);
                       const int fd =
                           ::open(own.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
                       if (fd != 2)
                           return 1;
                       btk_tell("told %d", 1);
                       dbg_print_info("printed %d", 2);
                       dbg_err_syserr("routine", "system error %d", 3);
                       const int onPurpose =
                           ::open(log.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
                       if (onPurpose < 0 || ::dup2(onPurpose, 2) != 2)
                           return 1;
                       btk_tell("told %d", 1);
                       dbg_err_syserr("routine", "system error %d", 3);
                       btk_tell("%s", longer.c_str());
                       return 0;
                   });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadAll(own), "");
    EXPECT_EQ(ReadAll(log), "told 1\n-routine- system error 3\n" + longer + "\n");
}

// Whole lines of `size` bytes in `text`, each of one character.
int WholeLines(const std::string& text, size_t size) {
    int whole = 0;
    for (size_t at = 0; at + size < text.size() + 1; at += size + 1)
        whole += text[at + size] == '\n' &&
                 text.find_first_not_of(text[at], at) == at + size;
    return whole;
}

TEST(StandardDescriptors, AToldLineReachesAPipeWholeAndAReaderThatIsGoneEndsNothing) {
    // Standard error is a pipe (a host that reads its translator's
    // lines). In a child: 1 when two threads' lines, longer than the pipe
    // takes at once, came interleaved; 2 when a line was cut short on a
    // pipe left non-blocking; 3 when a line to a pipe whose reader is gone
    // changed errno; killed by SIGPIPE: -1.
    const size_t kLong = 200000;
    const int code = RunInChild([] { return true; }, [&] {
        for (const bool nonBlocking : {false, true}) {
            int p[2];
            if (::pipe(p) != 0 || ::dup2(p[1], 2) != 2 || ::close(p[1]) != 0 ||
                (nonBlocking && ::fcntl(2, F_SETFL, O_NONBLOCK) != 0))
                return 9;
            std::string got;
            std::thread reader([&] {
                // Once the pipe is full, so that a writer finds it full.
                int held = 0;
                while (nonBlocking && ::ioctl(p[0], FIONREAD, &held) == 0 &&
                       held < ::fcntl(p[0], F_GETPIPE_SZ))
                    std::this_thread::yield();
                char buffer[4096];
                for (ssize_t n; (n = ::read(p[0], buffer, sizeof buffer)) > 0;)
                    got.append(buffer, size_t(n));
            });
            auto tell = [&](char c, int lines) {
                const std::string line(kLong, c);
                for (int i = 0; i < lines; ++i)
                    btk_tell("%s", line.c_str());
            };
            if (nonBlocking) {
                tell('n', 1);
            } else {
                std::thread other(tell, 'a', 20);
                tell('b', 20);
                other.join();
            }
            const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC); // the pipe ends
            if (::dup2(null, 2) != 2)
                return 9;
            reader.join();
            ::close(p[0]);
            ::close(null);
            if (WholeLines(got, kLong) != (nonBlocking ? 1 : 40))
                return nonBlocking ? 2 : 1;
        }
        int p[2];
        if (::pipe(p) != 0 || ::dup2(p[1], 2) != 2 || ::close(p[1]) != 0 || ::close(p[0]) != 0)
            return 9;
        errno = EDOM;
        btk_tell("told %d", 1);
        return errno == EDOM ? 0 : 3;
    });
    EXPECT_EQ(code, 0);
}

TEST(StandardDescriptors, AReaderThatTakesNothingCostsOneWaitNotOneALine) {
    // Standard error is a full non-blocking pipe whose reader takes
    // nothing, and a timer signal comes every 20 ms (SA_RESTART). In a
    // child: two threads tell at once, then a third line is told. A child
    // of it with another reader tells a line; then this process, with
    // another full pipe put in place by dup2, whose reader takes everything
    // once it is waited for; then, with the first pipe back and emptied, a
    // fourth. 1: the first two took more than one wait of 10 seconds, 4:
    // less; 2: the third waited; 5: the child told the count of the lines
    // this process left out; 6: the other pipe was not waited for, or did
    // not get the count and its line; 3: the fourth line was not told alone.
    using namespace std::chrono_literals;
    const int code = RunInChild([] { return true; }, [] {
        int p[2], q[2], r[2];
        if (!stuckerr::MakeFullPipe(p, true) || ::dup2(p[1], 2) != 2 ||
            !stuckerr::StartTicking(20) || !stuckerr::MakeFullPipe(q, true) ||
            ::pipe2(r, O_CLOEXEC | O_NONBLOCK) != 0)
            return 9;
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        auto since = [](Clock::time_point from) {
            return std::chrono::duration<double>(Clock::now() - from).count();
        };
        std::thread other([] { btk_tell("first"); });
        btk_tell("second");
        other.join();
        const double both = since(start);
        const auto third = Clock::now();
        btk_tell("third");
        if (since(third) > 1)
            return 2;
        const pid_t child = ::fork();
        if (child == 0) {
            ::dup2(r[1], 2);
            btk_tell("from a child");
            std::_Exit(0);
        }
        if (::waitpid(child, nullptr, 0) != child || Available(r[0]) != "from a child\n")
            return 5;
        ::dup2(q[1], 2);
        std::atomic<bool> returned{false};
        std::string atQ;
        std::thread reader([&, me = ::gettid()] {
            while (!returned && !stuckerr::WaitsOnStandardError(me, 10ms)) {
            }
            atQ = Available(q[0]);
        });
        btk_tell("to another reader");
        returned = true;
        reader.join();
        atQ += Available(q[0]);
        atQ.erase(0, atQ.find_first_not_of('f'));
        if (atQ != "standard error took nothing for 10 seconds: 3 told lines were left out\n"
                   "to another reader\n")
            return 6;
        ::dup2(p[1], 2);
        Available(p[0]);
        btk_tell("fourth");
        if (Available(p[0]) != "fourth\n")
            return 3;
        return both > 12 ? 1 : both < 9.9 ? 4 : 0;
    }, 40);
    EXPECT_EQ(code, 0);
}

TEST(StandardDescriptors, AThreadCancelledWhileItTellsLeavesStandardErrorToTheOthers) {
    // A thread cancelled while it waits for a full non-blocking pipe: its
    // line goes in once the reader takes bytes, and the next line is told
    // (1: it was not; a child waiting for ever is ended after 20 s).
    using namespace std::chrono_literals;
    const int code = RunInChild([] { return true; }, [] {
        int p[2];
        std::atomic<pid_t> teller{0};
        pthread_t thread;
        if (!stuckerr::MakeFullPipe(p, true) || ::dup2(p[1], 2) != 2 ||
            ::pthread_create(&thread, nullptr, [](void* tid) -> void* {
                static_cast<std::atomic<pid_t>*>(tid)->store(::gettid());
                btk_tell("cancelled");
                return nullptr;
            }, &teller) != 0)
            return 9;
        while (teller == 0)
            std::this_thread::yield();
        if (!stuckerr::WaitsOnStandardError(teller, 30s))
            return 9;
        ::pthread_cancel(thread);
        std::string got = Available(p[0]);
        ::pthread_join(thread, nullptr);
        btk_tell("after");
        got += Available(p[0]);
        got.erase(0, got.find_first_not_of('f'));
        return got == "cancelled\nafter\n" ? 0 : 1;
    }, 20);
    EXPECT_EQ(code, 0);
}

} // namespace
