// The journal file on a full disk: it holds whole lines only, and each
// stretch of records that did not fit is marked by the number lost.
#include "kkjournal.h"
#include "process.h"

#include "btk_quoted.h"
#include "file_targets.h"
#include "stuck_standard_error.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kNotAllowed = filetargets::kChildSetupFailed;

// Fills the file system of `path` and frees `room` bytes of it again.
bool FillLeaving(const std::string& path, off_t room) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const std::string block(4096, 'f');
    off_t size = 0;
    for (ssize_t n; (n = ::write(fd, block.data(), block.size())) > 0;)
        size += n;
    const bool full = errno == ENOSPC && size > room;
    const bool ok = full && ::ftruncate(fd, size - room) == 0;
    ::close(fd);
    return ok;
}

std::string Padding(int i) { return std::string(size_t(i % 37), 'x'); }

void Journal(int i) {
    kkJournal record("Record");
    record.In() << i << Padding(i).c_str();
}

std::string LineOf(int i) { return "Record(" + std::to_string(i) + ",\"" + Padding(i) + "\")"; }

// Checks the journal: whole record lines in order from record `first`
// (`outside`, a line another writer added, is passed over), and before
// each record that follows a gap, a mark of exactly the records missing.
// Answers a summary for the parent.
std::string CheckJournal(const std::string& path, int records, int first = 0,
                         const std::string& outside = std::string()) {
    std::ifstream in(path);
    int next = first, marks = 0, bad = 0, marked = 0;
    long pending = -1;
    for (std::string line; std::getline(in, line);) {
        if (!outside.empty() && line + '\n' == outside)
            continue;
        char* end = nullptr;
        const long n = std::strtol(line.c_str(), &end, 10);
        if (end != line.c_str() && std::string(end) == " records lost" && n > 0 && pending < 0) {
            pending = n;
            ++marks;
            continue;
        }
        const int i = std::atoi(line.c_str() + (line.rfind("Record(", 0) == 0 ? 7 : 0));
        if (line != LineOf(i) || i < next || i - next != (pending < 0 ? 0 : pending)) {
            ++bad;
            continue;
        }
        marked += pending < 0 ? 0 : int(pending);
        pending = -1;
        next = i + 1;
    }
    return "bad=" + std::to_string(bad) + " marked=" + std::to_string(marked > 0) +
           " marks=" + std::to_string(marks > 0) + " next=" + std::to_string(next) +
           " pending=" + std::to_string(pending) + " of=" + std::to_string(records);
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

constexpr int kBefore = 1000, kAfter = 200;
const std::string kWholeJournal = "bad=0 marked=1 marks=1 next=" + std::to_string(kBefore + kAfter) +
                                  " pending=-1 of=" + std::to_string(kBefore + kAfter);

// Records go to a journal file on a small file system with 16 KiB free:
// the first `early` of them fit, then `change` (run with the journal's
// path) alters the file from outside, then records go in until the file
// system is full, room is made and more follow. Writes the journal's
// summary (CheckJournal, from record `first`, passing over the line
// `outside`) to `report` and this process's diagnostics to `diagnostics`;
// answers the child's code (kNotAllowed: no file system could be made).
int JournalOnFullDisk(const filetargets::ScratchDir& dir, const std::string& report,
                      const std::string& diagnostics, int early = 0,
                      const std::function<void(const std::string&)>& change = nullptr, int first = 0,
                      const std::string& outside = std::string()) {
    const std::string small = dir.Path("small");
    if (::mkdir(small.c_str(), 0700) != 0)
        return -1;
    return filetargets::RunOnSmallFileSystem(small, 64, [&] {
        const int err = ::open(diagnostics.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (err < 0 || ::dup2(err, 2) < 0)
            return 2;
        // Messages kept quiet, as a session keeps them: the failure is
        // told all the same.
        disable_msg_put(1);
        const std::string filler = small + "/filler", journal = small + "/calls.journal";
        if (!FillLeaving(filler, 16 * 1024))
            return 3;
        kkJournalSetRecording(true);
        kkJournalSetMemoryLimit(0);
        if (!kkJournalSetFile(journal.c_str()))
            return 4;
        for (int i = 0; i < kBefore; ++i) {
            if (i == early && change)
                change(journal);
            Journal(i);
        }
        ::unlink(filler.c_str());
        for (int i = kBefore; i < kBefore + kAfter; ++i)
            Journal(i);
        kkJournalSetFile(nullptr);
        std::ofstream(report) << CheckJournal(journal, kBefore + kAfter, first, outside);
        return 0;
    });
}

const char* const kNoSmallFileSystem =
    "this system does not let a test mount a file system of its own (unshare -m and a tmpfs "
    "need CAP_SYS_ADMIN): the full disk is not tried";

// Records go to a journal file until its file system is full, then room is
// made and more records follow: the file holds whole lines, every gap is
// marked with its size, and the failure was reported once.
TEST(JournalFile, FullDiskLeavesWholeLinesAndMarksWhatWasLost) {
    filetargets::ScratchDir dir;
    const std::string report = dir.Path("report"), diagnostics = dir.Path("diagnostics");
    const int code = JournalOnFullDisk(dir, report, diagnostics);
    if (code == kNotAllowed)
        GTEST_SKIP() << kNoSmallFileSystem;
    ASSERT_EQ(code, 0);
    EXPECT_EQ(filetargets::ReadAll(report), kWholeJournal);
    const std::string said = filetargets::ReadAll(diagnostics);
    EXPECT_EQ(Count(said, "call journal " + btkQuoted(dir.Path("small") + "/calls.journal") +
                              ": cannot write ("),
              1)
        << said;
    EXPECT_EQ(Count(said, "\n"), 1) << said;
}

// The same when someone else changed the file before the disk filled (a
// user emptied it, another writer appended a line): what a failed write
// left is still cut off, and the marks still count what was lost.
TEST(JournalFile, FullDiskAfterAnOutsideChangeStillLeavesWholeLinesAndMarks) {
    constexpr int kEarly = 20;
    const std::string appended = "appended by another\n";
    const struct {
        const char* name;
        std::function<void(const std::string&)> change;
        int first; // the first record left in the file
    } cases[] = {
        {"emptied", [](const std::string& path) { (void)!::truncate(path.c_str(), 0); }, kEarly},
        {"appended",
         [&](const std::string& path) {
             const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
             if (fd >= 0) {
                 (void)!::write(fd, appended.data(), appended.size());
                 ::close(fd);
             }
         },
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        filetargets::ScratchDir dir;
        const std::string report = dir.Path("report");
        const int code = JournalOnFullDisk(dir, report, dir.Path("diagnostics"), kEarly, c.change,
                                           c.first, appended);
        if (code == kNotAllowed)
            GTEST_SKIP() << kNoSmallFileSystem;
        ASSERT_EQ(code, 0);
        EXPECT_EQ(filetargets::ReadAll(report), kWholeJournal);
    }
}

// The disk full and standard error a full pipe whose reader takes nothing
// (blocking, and not): the thread that tells the failure waits on standard
// error alone; fork() on another thread and the records of another return
// within a second.
TEST(JournalFile, AFullDiskToldOnAStuckStandardErrorHoldsNoOtherThreadUp) {
    using namespace std::chrono_literals;
    filetargets::ScratchDir dir;
    for (const bool nonBlocking : {false, true}) {
        SCOPED_TRACE(nonBlocking ? "non-blocking" : "blocking");
        const std::string small = dir.Path(nonBlocking ? "nonblocking" : "blocking");
        ASSERT_EQ(::mkdir(small.c_str(), 0700), 0);
        const int code = filetargets::RunOnFullDisk(small, [&] {
            int p[2];
            if (!stuckerr::MakeFullPipe(p, nonBlocking) || ::dup2(p[1], 2) != 2)
                return 8;
            kkJournalSetRecording(true);
            kkJournalSetMemoryLimit(0);
            if (!kkJournalSetFile((small + "/calls.journal").c_str()))
                return 8;
            std::atomic<pid_t> teller{0};
            std::thread([&] {
                teller = ::gettid();
                Journal(0);
            }).detach();
            while (teller == 0)
                std::this_thread::yield();
            if (!stuckerr::WaitsOnStandardError(teller, 30s))
                return 4;
            const bool forked = stuckerr::ReturnsWithin(
                [] {
                    const pid_t pid = ::fork();
                    if (pid == 0)
                        ::_exit(0);
                    ::waitpid(pid, nullptr, 0);
                },
                1s);
            const bool recorded = stuckerr::ReturnsWithin(
                [] {
                    for (int i = 1; i <= 10; ++i)
                        Journal(i);
                },
                1s);
            return (forked ? 0 : 1) | (recorded ? 0 : 2);
        });
        if (code == kNotAllowed)
            GTEST_SKIP() << kNoSmallFileSystem;
        EXPECT_EQ(code, 0) << "1: fork() did not return, 2: the records did not, 4: the failure "
                              "was never told";
    }
}

} // namespace
