// The journal file on a full disk: it holds whole lines only, and each
// stretch of records that did not fit is marked by the number lost.
#include "kkjournal.h"
#include "process.h"

#include "file_targets.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <string>
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

// Checks the journal: whole record lines in order, and before each record
// that follows a gap, a mark of exactly the records missing. Answers a
// summary for the parent.
std::string CheckJournal(const std::string& path, int records) {
    std::ifstream in(path);
    int next = 0, marks = 0, bad = 0, marked = 0;
    long pending = -1;
    for (std::string line; std::getline(in, line);) {
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

// Records go to a journal file until its file system is full, then room is
// made and more records follow: the file holds whole lines, every gap is
// marked with its size, and the failure was reported once.
TEST(JournalFile, FullDiskLeavesWholeLinesAndMarksWhatWasLost) {
    filetargets::ScratchDir dir;
    const std::string small = dir.Path("small");
    ASSERT_EQ(::mkdir(small.c_str(), 0700), 0);
    const std::string report = dir.Path("report");
    const std::string diagnostics = dir.Path("diagnostics");
    constexpr int kBefore = 1000, kAfter = 200;
    const int code = filetargets::RunOnSmallFileSystem(small, 64, [&] {
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
        for (int i = 0; i < kBefore; ++i)
            Journal(i);
        ::unlink(filler.c_str());
        for (int i = kBefore; i < kBefore + kAfter; ++i)
            Journal(i);
        kkJournalSetFile(nullptr);
        std::ofstream(report) << CheckJournal(journal, kBefore + kAfter);
        return 0;
    });
    if (code == kNotAllowed)
        GTEST_SKIP() << "this system does not let a test mount a file system of its own "
                        "(unshare -m and a tmpfs need CAP_SYS_ADMIN): the full disk is not tried";
    ASSERT_EQ(code, 0);
    EXPECT_EQ(filetargets::ReadAll(report),
              "bad=0 marked=1 marks=1 next=" + std::to_string(kBefore + kAfter) + " pending=-1 of=" +
                  std::to_string(kBefore + kAfter));
    const std::string said = filetargets::ReadAll(diagnostics);
    EXPECT_EQ(Count(said, "call journal \"" + small + "/calls.journal\": cannot write ("), 1) << said;
    EXPECT_EQ(Count(said, "\n"), 1) << said;
}

} // namespace
