// Where the journal's records go: one process per journal file, memory
// bounded in bytes (and no copy beside a file), the end of the run marked,
// and a journal file that cannot be taken told with its reason.
#include "journal_test_util.h"

#include "kernel/model/session_factory.h"

#include "btk_quoted.h"
#include "file_targets.h"
#include "quoted_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

void Journal(const char* name, int i) {
    kkJournal record(name);
    record.In() << i;
}

std::string LineOf(const char* name, int i) { return std::string(name) + "(" + std::to_string(i) + ")"; }

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

// Standard error of this (child) process into `path`.
bool DiagnosticsTo(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    return fd >= 0 && ::dup2(fd, 2) >= 0;
}

std::string Refusal(const std::string& path, const std::string& why) {
    return "ZORVAN_JOURNAL_FILE: cannot journal into " + btkQuoted(path) + " (" + why +
           "); journaling is not switched on\n";
}

using JournalSink = JournalFileTest;

// A path the variable names that cannot be taken is quoted on the line's
// one line, as it stands.
TEST_F(JournalSink, APathNotTakenIsQuotedOnOneLine) {
    filetargets::ScratchDir dir;
    for (const std::string& path :
         {dir.Path("x\nSaveAsNeutral: forged/calls"), dir.Path("\xFF\xFE\x1B[2J/calls")}) {
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(KJournalFromOutside(nullptr, path.c_str()));
        EXPECT_TRUE(quotedtest::QuotesOnOneLine(::testing::internal::GetCapturedStderr(), path));
    }
}

// A second process started with the same journal file, while this one
// journals there: it neither empties nor writes the file (not even
// through the file it inherited by fork), and says why in one line. This
// process's records are all there, each a whole line.
TEST_F(JournalSink, SecondProcessNeitherEmptiesNorWritesTheFile) {
    filetargets::ScratchDir dir;
    const std::string path = dir.Path("calls.journal"), said = dir.Path("second.stderr");
    constexpr int kRecords = 500;
    ASSERT_TRUE(kkJournalSetFile(path.c_str()));
    for (int i = 0; i < kRecords; ++i)
        Journal("First", i);
    const int code = filetargets::RunInChild([] { return true; }, [&] {
        if (!DiagnosticsTo(said))
            return 2;
        Journal("Second", -1);
        const bool taken = KJournalFromOutside(nullptr, path.c_str());
        for (int i = 0; i < kRecords; ++i)
            Journal("Second", i);
        return taken ? 1 : 0;
    });
    EXPECT_EQ(code, 0);
    for (int i = kRecords; i < 2 * kRecords; ++i)
        Journal("First", i);
    ASSERT_TRUE(kkJournalSetFile(nullptr));

    const std::string text = filetargets::ReadAll(path);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    std::vector<std::string> expected;
    for (int i = 0; i < 2 * kRecords; ++i)
        expected.push_back(LineOf("First", i));
    EXPECT_EQ(LinesOf(text), expected);
    EXPECT_EQ(filetargets::ReadAll(said), Refusal(path, "another process journals there"));
}

// The normal end of a process closes its journal file: records that could
// not be written at the end are marked there.
TEST_F(JournalSink, NormalEndMarksTheRecordsLostAtTheEnd) {
    filetargets::ScratchDir dir;
    const std::string path = dir.Path("calls.journal"), said = dir.Path("stderr");
    constexpr int kRecords = 400;
    const int code = filetargets::RunWithFileSizeLimit(2000, [&] {
        if (!DiagnosticsTo(said) || !kkJournalSetFile(path.c_str()))
            return 2;
        for (int i = 0; i < kRecords; ++i)
            Journal("Record", i);
        // Room again, and then the process ends as a program does.
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 3;
        std::exit(0);
    });
    ASSERT_EQ(code, 0);
    const std::vector<std::string> lines = LinesOf(filetargets::ReadAll(path));
    ASSERT_GE(lines.size(), 2u);
    const int written = int(lines.size()) - 1;
    for (int i = 0; i < written; ++i)
        ASSERT_EQ(lines[size_t(i)], LineOf("Record", i));
    EXPECT_LT(written, kRecords);
    EXPECT_EQ(lines.back(), std::to_string(kRecords - written) + " records lost");
}

// A journal file that cannot be taken is told with the path and why: the
// system's reason or the kind of file.
TEST_F(JournalSink, RefusedJournalFileSaysWhy) {
    filetargets::ScratchDir dir(filetargets::Reach::OtherUsers);
    if (!dir.Made())
        GTEST_SKIP() << filetargets::kNoFolderForOthers;
    ASSERT_EQ(::chmod(dir.Path("").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(dir.Path("folder").c_str(), 0700), 0);
    ASSERT_TRUE(filetargets::MakeFifo(dir.Path("pipe")));
    ASSERT_EQ(::symlink("loop", dir.Path("loop").c_str()), 0);
    ASSERT_TRUE(filetargets::MakeFolder(dir.Path("read-only"), 0555));
    struct Case {
        std::string path;
        const char* why;
        bool unprivileged;
    };
    const Case cases[] = {
        {dir.Path("absent/calls.journal"), "No such file or directory", false},
        {dir.Path("folder"), "a directory", false},
        {dir.Path("pipe"), "a FIFO", false},
        {dir.Path("loop"), "Too many levels of symbolic links", false},
        {dir.Path("read-only/calls.journal"), "Permission denied", true},
    };
    const std::string said = dir.Path("stderr");
    for (const Case& c : cases) {
        // Writable by the unprivileged child too.
        filetargets::WriteAll(said, "");
        ASSERT_EQ(::chmod(said.c_str(), 0666), 0);
        const auto refuse = [&] {
            if (!DiagnosticsTo(said))
                return 2;
            return KJournalFromOutside(nullptr, c.path.c_str()) ? 1 : 0;
        };
        const int code = c.unprivileged ? filetargets::RunAsUser(refuse)
                                        : filetargets::RunInChild([] { return true; }, refuse);
        EXPECT_EQ(code, 0) << c.path;
        EXPECT_EQ(filetargets::ReadAll(said), Refusal(c.path, c.why));
    }
    EXPECT_FALSE(filetargets::ReadAll(dir.Path("read-only/calls.journal")).size());
}

std::size_t TextBytes(const std::vector<std::string>& records) {
    std::size_t bytes = 0;
    for (const std::string& record : records)
        bytes += record.size();
    return bytes;
}

// Big records (the face list of a big model, asked for again and again):
// memory keeps no more than its byte limit, and nothing while a file holds
// the records, unless asked to.
TEST_F(JournalSink, BigRecordsStayWithinTheByteLimit) {
    constexpr int kFaces = 20000, kAsks = 16;
    xrchandle<KWPIModel> model = WrappedModel(kFaces);
    kkJournalClear();
    std::size_t longest = 0;
    for (int i = 0; i < kAsks; ++i)
        EXPECT_EQ(model->GetPIFaces()->Count(), kFaces);
    std::vector<std::string> kept = kkJournalRecords();
    for (const std::string& record : kept)
        longest = std::max(longest, record.size());
    EXPECT_GT(longest, std::size_t(kFaces) * 10);
    EXPECT_LE(TextBytes(kept), kkJournalDefaultMemoryBytes);
    EXPECT_LE(kkJournalMemoryBytes(), kkJournalDefaultMemoryBytes);
    EXPECT_GE(kept.size(), kkJournalDefaultMemoryBytes / (2 * longest));

    // Into a file: the file has every record, memory none.
    filetargets::ScratchDir dir;
    const std::string path = dir.Path("calls.journal");
    kkJournalClear();
    ASSERT_TRUE(kkJournalSetFile(path.c_str()));
    for (int i = 0; i < 2; ++i)
        model->GetPIFaces();
    EXPECT_EQ(kkJournalRecords(), std::vector<std::string>{});
    EXPECT_EQ(kkJournalMemoryBytes(), 0u);
    // Asked for, memory keeps its copy within the limits given.
    kkJournalSetMemoryWithFile(true);
    kkJournalSetMemoryLimit(10000, 3 * longest);
    for (int i = 0; i < 5; ++i)
        model->GetPIFaces();
    ASSERT_TRUE(kkJournalSetFile(nullptr));
    kept = kkJournalRecords();
    EXPECT_GE(kept.size(), 1u);
    EXPECT_LE(kept.size(), 3u);
    EXPECT_LE(kkJournalMemoryBytes(), 3 * longest);
    EXPECT_EQ(LinesOf(filetargets::ReadAll(path)).size(), size_t(7));
}

// The record limit still holds, and a record larger than the byte limit
// by itself is not kept.
TEST_F(JournalSink, MemoryKeepsTheNewestRecordsThatFit) {
    kkJournalSetMemoryLimit(3, 1000);
    for (int i = 0; i < 5; ++i)
        Journal("Small", i);
    EXPECT_EQ(kkJournalRecords(),
              (std::vector<std::string>{LineOf("Small", 2), LineOf("Small", 3), LineOf("Small", 4)}));
    {
        kkJournal big("Big");
        big.In() << std::string(2000, 'x').c_str();
    }
    EXPECT_EQ(kkJournalRecords(), std::vector<std::string>{});
    Journal("Small", 5);
    EXPECT_EQ(kkJournalRecords(), std::vector<std::string>{LineOf("Small", 5)});
}

} // namespace
