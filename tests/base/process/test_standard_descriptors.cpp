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
#include "ugc_output.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>

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

} // namespace
