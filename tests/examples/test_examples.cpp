// The examples that translators copy: the file stream that replaces its
// target only when whole, and the example programs themselves, run as a
// user runs them (two at once, with files of someone else's beside them,
// with and without the run mode).
#include "examples/file_stream.h"
#include "file_targets.h"
#include "one_face_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/wait.h>

namespace {

using filetargets::ReadAll;
using filetargets::ScratchDir;
using filetargets::WriteAll;
using Names = std::vector<std::string>;

TEST(ExampleFileStream, TargetIsReplacedOnlyByCommit) {
    ScratchDir dir;
    const std::string target = dir.Path("part.neu");
    WriteAll(target, "old part");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);

    xrchandle<FileStream> stream(new FileStream(target));
    ASSERT_TRUE(stream->IsOpen()) << stream->Error();
    OneFaceModel()->SaveAsNeutral(stream);
    stream->Close(); // as a caller may: it does not commit
    EXPECT_EQ(ReadAll(target), "old part");
    EXPECT_EQ(dir.Names().size(), 2u) << "the new bytes wait beside the target";

    const int64_t written = stream->GetPos();
    ASSERT_TRUE(stream->Commit()) << stream->Error();
    const std::string saved = ReadAll(target);
    EXPECT_GT(saved.size(), 100u);
    EXPECT_EQ(int64_t(saved.size()), written);
    EXPECT_EQ(dir.Names(), Names{"part.neu"});
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the replaced file's permissions";
}

TEST(ExampleFileStream, AnythingShortOfCommitKeepsTheTargetAndLeavesNoTemporaryFile) {
    ScratchDir dir;
    const std::string target = dir.Path("part.neu");
    WriteAll(target, "old part");

    // Dropped without a commit, for instance after SaveAsNeutral raised.
    {
        xrchandle<FileStream> stream(new FileStream(target));
        ASSERT_EQ(stream->Write("new", 3), 3);
    }
    EXPECT_EQ(ReadAll(target), "old part");
    EXPECT_EQ(dir.Names(), Names{"part.neu"});

    // A disk that fills half-way: SaveAsNeutral reports the failed write,
    // and the commit that a careless caller tries anyway refuses.
    const int code = filetargets::RunWithFileSizeLimit(64, [&] {
        xrchandle<FileStream> stream(new FileStream(target));
        bool raised = false;
        try {
            OneFaceModel()->SaveAsNeutral(stream);
        } catch (const xthrown&) {
            raised = true;
        }
        const bool committed = stream->Commit();
        return (raised ? 0 : 1) | (committed ? 2 : 0) |
               (stream->Error().find("writing") == std::string::npos ? 4 : 0);
    });
    EXPECT_EQ(code, 0) << "1: no error raised, 2: committed, 4: the error does not say what failed";
    EXPECT_EQ(ReadAll(target), "old part");
    EXPECT_EQ(dir.Names(), Names{"part.neu"});

    // A target that is a folder is left alone, and the error says so.
    const std::string folder = dir.Path("folder.neu");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    xrchandle<FileStream> intoFolder(new FileStream(folder));
    ASSERT_EQ(intoFolder->Write("x", 1), 1);
    EXPECT_FALSE(intoFolder->Commit());
    // The target and the temporary file are named apart.
    EXPECT_EQ(intoFolder->Error().rfind("\"" + folder + "\" not saved: renaming its temporary file \"" +
                                        folder + ".tmp",
                                        0),
              0u)
        << intoFolder->Error();
    EXPECT_NE(intoFolder->Error().find("\" over it: Is a directory"), std::string::npos)
        << intoFolder->Error();
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(dir.Names(), (Names{"folder.neu", "part.neu"}));

    // A folder that does not exist: nothing opens, nothing is written.
    xrchandle<FileStream> nowhere(new FileStream(dir.Path("missing/part.neu")));
    EXPECT_FALSE(nowhere->IsOpen());
    EXPECT_NE(nowhere->Error().find("missing/part.neu"), std::string::npos) << nowhere->Error();
    EXPECT_EQ(nowhere->Write("x", 1), -1);
    EXPECT_FALSE(nowhere->Commit());
}

// A writer of `target` in a child process, killed half-way; true when it
// was.
bool KilledHalfWay(const std::string& target) {
    return filetargets::RunInChild([] { return true; },
                                   [&] {
                                       xrchandle<FileStream> s(new FileStream(target));
                                       s->Write("half", 4);
                                       ::raise(SIGKILL);
                                       return 0;
                                   }) == -1;
}

TEST(ExampleFileStream, ACommitRemovesWhatKilledWritersLeftAndNothingElse) {
    ScratchDir dir;
    const std::string target = dir.Path("part.neu");
    for (int i = 0; i < 3; ++i) // writers killed half-way leave their temporary files
        EXPECT_TRUE(KilledHalfWay(target));
    ASSERT_EQ(dir.Names().size(), 3u);
    WriteAll(target + ".tmp-notes", "someone else's");
    WriteAll(target + ".tmp1_2x", "someone else's");
    xrchandle<FileStream> live(new FileStream(target)); // a writer still at work
    ASSERT_TRUE(live->IsOpen());

    xrchandle<FileStream> stream(new FileStream(target));
    ASSERT_EQ(stream->Write("whole", 5), 5);
    ASSERT_TRUE(stream->Commit()) << stream->Error();
    EXPECT_EQ(ReadAll(target), "whole");
    const Names left = dir.Names();
    EXPECT_EQ(left.size(), 4u);
    for (const char* kept : {"part.neu", "part.neu.tmp-notes", "part.neu.tmp1_2x"})
        EXPECT_NE(std::find(left.begin(), left.end(), kept), left.end()) << kept;
    ASSERT_EQ(live->Write("mine", 4), 4);
    EXPECT_TRUE(live->Commit()) << live->Error();
    EXPECT_EQ(ReadAll(target), "mine");
}

// Streams in two and four processes save one target over and over, beside
// what a killed writer left: every save succeeds, the target is always one
// whole document of one of them, and the leftover goes.
TEST(ExampleFileStream, StreamsInSeveralProcessesSavingOneTargetAllSucceed) {
    constexpr int kRounds = 150;
    constexpr size_t kBytes = 4096;
    for (const int writers : {2, 4}) {
        SCOPED_TRACE(std::to_string(writers) + " writers");
        ScratchDir dir;
        const std::string target = dir.Path("part.neu");
        WriteAll(target, std::string(kBytes, 'z'));
        ASSERT_TRUE(KilledHalfWay(target));
        int torn = 0;
        const std::vector<int> failed = filetargets::RunWritersAtOnce(
            writers, kRounds,
            [&](int k, int) {
                const std::string bytes(kBytes, char('a' + k));
                xrchandle<FileStream> s(new FileStream(target));
                if (s->Write(bytes.data(), int(bytes.size())) == int(bytes.size()) && s->Commit())
                    return true;
                std::fprintf(stderr, "writer %d: %s\n", k, s->Error().c_str());
                return false;
            },
            [&] {
                const std::string now = ReadAll(target);
                torn += now.size() == kBytes && now.find_first_not_of(now[0]) == std::string::npos
                            ? 0
                            : 1;
            });
        EXPECT_EQ(failed, std::vector<int>(size_t(writers), 0));
        EXPECT_EQ(torn, 0);
        EXPECT_EQ(dir.Names(), Names{"part.neu"});
    }
}

// ---- the example programs ------------------------------------------------------------

struct Finished {
    int code = -1; // exit code, -1 when the program did not exit normally
    std::string out;
};

FILE* Start(const std::string& command) { return ::popen(command.c_str(), "r"); }

// `text` as one word of sh, whatever it holds (a folder's quote, say).
std::string Sh(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

Finished Wait(FILE* pipe) {
    Finished f;
    if (!pipe)
        return f;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        f.out.append(buffer, n);
    const int status = ::pclose(pipe);
    if (status != -1 && WIFEXITED(status))
        f.code = WEXITSTATUS(status);
    return f;
}

TEST(ExamplePrograms, BoxModelRunsTwiceAtOnceAndRemovesOnlyWhatItWrote) {
    ScratchDir tmp;
    // What an earlier version of the example used as its folder, holding a
    // file of someone else's.
    const std::string legacy = tmp.Path("zpi50_box_model");
    ASSERT_EQ(::mkdir(legacy.c_str(), 0755), 0);
    WriteAll(legacy + "/keep.txt", "not the example's");

    const std::string command =
        "TMPDIR=" + Sh(tmp.Path("")) + " " + Sh(ZPI_EXAMPLE_BOX_MODEL) + " 2>&1";
    FILE* first = Start(command);
    FILE* second = Start(command);
    for (const Finished& run : {Wait(first), Wait(second)}) {
        EXPECT_EQ(run.code, 0) << run.out;
        EXPECT_NE(run.out.find("read back: 6 faces, 12 edges"), std::string::npos) << run.out;
    }
    EXPECT_EQ(tmp.Names(), Names{"zpi50_box_model"});
    EXPECT_EQ(ReadAll(legacy + "/keep.txt"), "not the example's");
}

TEST(ExamplePrograms, RunModeShowsTheMessagesThatAreOtherwiseQuiet) {
    ScratchDir dir;
    const std::string err = dir.Path("stderr");
    const std::string program = Sh(ZPI_EXAMPLE_RUN_MODE) + " 2>" + Sh(err);

    // The face written as positive is told whatever the run mode; the loop
    // kept without a direction is said in run mode only.
    const std::string told =
        "SaveAsNeutral: face 1 was not converted whole: No neutral orientation for a surface of "
        "orientation 0 (none): written as 1 (cnv_qlk_neut_surface)\n";
    Finished quiet = Wait(Start("env -u ZORVAN_RUN_MODE " + program));
    EXPECT_EQ(quiet.code, 0) << quiet.out;
    EXPECT_EQ(ReadAll(err), told);
    EXPECT_NE(quiet.out.find("run mode 0"), std::string::npos) << quiet.out;

    Finished loud = Wait(Start("ZORVAN_RUN_MODE=1 " + program));
    EXPECT_EQ(loud.code, 0) << loud.out;
    EXPECT_NE(loud.out.find("run mode 1"), std::string::npos) << loud.out;
    EXPECT_EQ(ReadAll(err), "-cnv_qlk_neut_surface- Contour traverce must be defined\n" + told);
}

TEST(ExamplePrograms, FirstProgramSaysWhyItsNeutralFileWasNotWritten) {
    // No file may grow past 800 bytes: first.xml (580) is written, the
    // neutral part (1008) is not, and the program says what the stream met.
    ScratchDir dir;
    const std::string said = dir.Path("said");
    const std::string command = "cd " + Sh(dir.Path("")) + " && " + Sh(ZPI_EXAMPLE_FIRST_PROGRAM) +
                                " >" + Sh(said) + " 2>&1";
    const int code = filetargets::RunWithFileSizeLimit(
        800, [&] { return WEXITSTATUS(std::system(command.c_str())); });
    EXPECT_EQ(code, 1);
    const std::string out = ReadAll(said);
    EXPECT_NE(out.find("failed: \"first.neu\" not saved: writing its temporary file "
                       "\"first.neu.tmp"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("File too large"), std::string::npos) << out;
    EXPECT_EQ(dir.Names(), (Names{"first.xml", "said"}));
}

TEST(ExamplePrograms, FirstProgramWritesItsTwoFilesAndReplacesThemWhole) {
    ScratchDir dir;
    const std::string command =
        "cd " + Sh(dir.Path("")) + " && " + Sh(ZPI_EXAMPLE_FIRST_PROGRAM) + " 2>&1";
    for (int run = 0; run < 2; ++run) { // the second run replaces the first one's files
        Finished f = Wait(Start(command));
        EXPECT_EQ(f.code, 0) << f.out;
        EXPECT_NE(f.out.find("read back 1 face(s)"), std::string::npos) << f.out;
        EXPECT_EQ(dir.Names(), (Names{"first.neu", "first.xml"}));
    }
    EXPECT_GT(ReadAll(dir.Path("first.neu")).size(), 100u);
}

} // namespace
