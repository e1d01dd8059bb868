// Files written beside their target and renamed over it only when whole,
// directly and through the file layer's local streams and the local-folder
// location: what was there survives every failure, and a target that is
// not a regular file is neither written into nor removed.
#include "kkatomicfile.h"
#include "kkfileio.h"
#include "pfa.h"
#include "uniloc.h"

#include "file_targets.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace filetargets;

namespace {

int ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// Run once with the temporary file unnamed (where the file system allows
// it) and once with the named one that other file systems get.
class AtomicFile : public ::testing::TestWithParam<bool> {
protected:
#ifdef ZPI_TEST_HOOKS
    void SetUp() override { kkFileTestHooks::SetTmpFile(GetParam()); }
    void TearDown() override { kkFileTestHooks::SetTmpFile(true); }
#else
    void SetUp() override {
        if (!GetParam())
            GTEST_SKIP()
                << "the named temporary is chosen by a test switch: build with ZPI_TEST_HOOKS";
    }
#endif
};

INSTANTIATE_TEST_SUITE_P(Temporaries, AtomicFile, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Unnamed" : "Named"; });

TEST_P(AtomicFile, CreatesAndReplacesOnlyOnCommit) {
    ScratchDir dir;
    const std::string path = dir.Path("doc.xml");
    {
        kkAtomicFile f(path.c_str());
        ASSERT_TRUE(f.IsOpen()) << f.Error();
        EXPECT_TRUE(f.Write("new", 3));
        // Until the commit the target does not exist; the bytes are beside
        // it, in a file without a name or a hidden one.
        EXPECT_EQ(::access(path.c_str(), F_OK), -1);
        if (GetParam() && MakesUnnamedFiles(dir.Path(""))) {
            EXPECT_EQ(dir.Names().size(), 0u);
            EXPECT_EQ(f.TempPath(), "");
        } else {
            EXPECT_EQ(dir.Names().size(), 1u);
            EXPECT_EQ(f.TempPath().rfind(dir.Path(".doc.xml."), 0), 0u) << f.TempPath();
            EXPECT_EQ(f.TempPath().substr(f.TempPath().size() - 4), ".tmp");
        }
        EXPECT_TRUE(f.Commit()) << f.Error();
        EXPECT_EQ(f.TempPath(), "");
    }
    EXPECT_EQ(ReadAll(path), "new");
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"doc.xml"});

    // A replaced file keeps its permissions.
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    {
        kkAtomicFile f(path.c_str());
        ASSERT_TRUE(f.Write("second", 6));
        EXPECT_EQ(ReadAll(path), "new") << "the old content stays until the commit";
        ASSERT_TRUE(f.Commit());
    }
    EXPECT_EQ(ReadAll(path), "second");
    EXPECT_EQ(ModeOf(path), 0640);

    // Given up, failed, or never committed: the target stays as it was and
    // nothing is left beside it.
    {
        kkAtomicFile f(path.c_str());
        f.Write("lost", 4);
    }
    {
        kkAtomicFile f(path.c_str());
        f.Write("lost", 4);
        f.Abandon();
        EXPECT_FALSE(f.Commit());
    }
    {
        kkAtomicFile f(path.c_str());
        f.Write("lost", 4);
        f.SetFailed("the caller's own failure");
        EXPECT_FALSE(f.Write("more", 4));
        EXPECT_FALSE(f.Commit());
        EXPECT_EQ(f.Error(), "the caller's own failure");
    }
    EXPECT_EQ(ReadAll(path), "second");
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"doc.xml"});

    // A long name still gives a temporary name that the folder takes.
    const std::string longName = dir.Path(std::string(250, 'n'));
    kkAtomicFile f(longName.c_str());
    ASSERT_TRUE(f.IsOpen()) << f.Error();
    EXPECT_TRUE(f.Commit());
    EXPECT_EQ(ReadAll(longName), "");
}

TEST_P(AtomicFile, AWriteThatFailsHalfWayLeavesTheOldFile) {
    ScratchDir dir;
    const std::string path = dir.Path("part.neu");
    const std::string old(300, 'o');
    WriteAll(path, old);
    const int code = RunWithFileSizeLimit(100, [&] {
        kkAtomicFile f(path.c_str());
        const std::string big(1000, 'b');
        const bool wrote = f.Write(big.data(), big.size());
        const bool committed = f.Commit();
        return !wrote && !committed && f.Error().find("File too large") != std::string::npos
                   ? 0
                   : 1;
    });
    EXPECT_EQ(code, 0) << "the write did not fail as it should have";
    EXPECT_EQ(ReadAll(path), old);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"part.neu"});
}

TEST_P(AtomicFile, TargetsThatAreNotRegularFilesAreRefusedAndKept) {
    ScratchDir dir(Reach::OtherUsers);
    if (!dir.Made())
        GTEST_SKIP() << kNoFolderForOthers;
    const std::string fifo = dir.Path("pipe");
    ASSERT_TRUE(MakeFifo(fifo));
    {
        kkAtomicFile f(fifo.c_str());
        EXPECT_FALSE(f.IsOpen());
        EXPECT_NE(f.Error().find("is not a regular file"), std::string::npos) << f.Error();
        EXPECT_FALSE(f.Write("x", 1));
        EXPECT_FALSE(f.Commit());
    }
    EXPECT_TRUE(IsFifo(fifo));

    // A folder, a missing folder, and an empty name.
    EXPECT_FALSE(kkAtomicFile(dir.Path("").c_str()).IsOpen());
    EXPECT_FALSE(kkAtomicFile(dir.Path("none/x").c_str()).IsOpen());
    EXPECT_FALSE(kkAtomicFile("").IsOpen());
    EXPECT_FALSE(kkAtomicFile(nullptr).IsOpen());

    // A link is followed: the file it names is replaced, the link stays. A
    // link to nothing, or to the fifo, is refused.
    const std::string file = dir.Path("real.txt"), link = dir.Path("link.txt");
    WriteAll(file, "old");
    ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
    {
        kkAtomicFile f(link.c_str());
        ASSERT_TRUE(f.IsOpen()) << f.Error();
        f.Write("new", 3);
        EXPECT_TRUE(f.Commit());
    }
    EXPECT_EQ(ReadAll(file), "new");
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    const std::string dangling = dir.Path("dangling"), toFifo = dir.Path("tofifo");
    ASSERT_EQ(::symlink(dir.Path("nothing").c_str(), dangling.c_str()), 0);
    ASSERT_EQ(::symlink(fifo.c_str(), toFifo.c_str()), 0);
    EXPECT_FALSE(kkAtomicFile(toFifo.c_str()).IsOpen());
    // A link to nothing says so; one that cannot be followed says why.
    const std::string loop = dir.Path("loop");
    ASSERT_EQ(::symlink(loop.c_str(), loop.c_str()), 0);
    kkAtomicFile toNothing(dangling.c_str()), looped(loop.c_str());
    EXPECT_NE(toNothing.Error().find("a link that names no file"), std::string::npos)
        << toNothing.Error();
    EXPECT_NE(looped.Error().find(std::strerror(ELOOP)), std::string::npos) << looped.Error();
    EXPECT_FALSE(looped.IsOpen());
    EXPECT_TRUE(IsFifo(fifo));

    // A file that may not be written is not replaced either, nor is a
    // file in a folder that may not be written (checked as a user without
    // privileges: root may write both).
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    const std::string closed = dir.Path("closed");
    ASSERT_TRUE(MakeFolder(closed, 0755));
    WriteAll(closed + "/kept", "kept");
    ASSERT_EQ(::chmod(closed.c_str(), 0555), 0);
    ASSERT_EQ(::chmod(dir.Path("").c_str(), 0777), 0);
    EXPECT_EQ(RunAsUser([&] {
                  kkAtomicFile readOnly(file.c_str());
                  kkAtomicFile inClosed((closed + "/kept").c_str());
                  kkAtomicFile newInClosed((closed + "/new").c_str());
                  return !readOnly.IsOpen() && !inClosed.IsOpen() && !newInClosed.IsOpen() &&
                                 readOnly.Error().find("Permission denied") != std::string::npos
                             ? 0
                             : 1;
              }),
              0);
    EXPECT_EQ(ReadAll(file), "new");
    EXPECT_EQ(ReadAll(closed + "/kept"), "kept");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(closed),
                            std::filesystem::directory_iterator()),
              1)
        << "nothing was made in the closed folder";
    ::chmod(closed.c_str(), 0755); // so that the scratch folder can go

    const std::string device = dir.Path("null");
    if (!MakeNullDevice(device))
        GTEST_SKIP() << "no device node can be made here (not root)";
    {
        kkAtomicFile f(device.c_str());
        EXPECT_FALSE(f.IsOpen());
        EXPECT_FALSE(f.Commit());
    }
    EXPECT_TRUE(IsCharDevice(device));
}

TEST_P(AtomicFile, TargetTurnedIntoAFifoWhileOpenIsNotRenamedOver) {
    ScratchDir dir;
    const std::string path = dir.Path("doc");
    kkAtomicFile f(path.c_str());
    ASSERT_TRUE(f.IsOpen());
    f.Write("x", 1);
    ASSERT_TRUE(MakeFifo(path));
    EXPECT_FALSE(f.Commit());
    EXPECT_TRUE(IsFifo(path));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"doc"});
}

TEST_P(AtomicFile, FileLayerStreamsWrittenAnewReplaceOnlyWhenWhole) {
    ScratchDir dir(Reach::Self, PFA_NAME_MAX);
    if (!dir.Made())
        GTEST_SKIP() << kNoFolderWithRoom;
    const std::string path = dir.Path("transferred.xml");
    WriteAll(path, "old document");
    // Created or truncated, for writing, as the transfer dump opens it.
    constexpr int kWriteNew = PFA_O_WRONLY | PFA_O_CREAT | PFA_O_TRUNC;
    pfa_stream* out = pfa_open_file(path.c_str(), kWriteNew, 0666);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(pfa_write_file(out, "new", 3), 0);
    EXPECT_EQ(ReadAll(path), "old document");
    EXPECT_EQ(pfa_dispose(out), 0);
    EXPECT_EQ(ReadAll(path), "new");

    // A write that fails half-way: the dispose reports it and the file
    // stays as it was.
    const int code = RunWithFileSizeLimit(64, [&] {
        pfa_stream* s = pfa_open_file(path.c_str(), kWriteNew, 0666);
        if (!s)
            return 2;
        const std::string big(500, 'b');
        const int wrote = pfa_write_file(s, big.data(), int64_t(big.size()));
        return wrote != 0 && pfa_dispose(s) != 0 ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadAll(path), "new");
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"transferred.xml"});

    // Exclusive creation of an existing file, and no creation asked.
    EXPECT_EQ(pfa_open_file(path.c_str(), kWriteNew | PFA_O_EXCL, 0666), nullptr);
    EXPECT_EQ(pfa_open_file(dir.Path("none").c_str(), PFA_O_WRONLY | PFA_O_TRUNC, 0666), nullptr);

    const std::string fifo = dir.Path("pipe");
    ASSERT_TRUE(MakeFifo(fifo));
    EXPECT_EQ(pfa_open_file(fifo.c_str(), kWriteNew, 0666), nullptr);
    EXPECT_TRUE(IsFifo(fifo));
}

TEST_P(AtomicFile, LocalFolderLocationReplacesWholeFilesOnly) {
    ScratchDir dir;
    unilocallocation local("ulsafe", dir.Path("").c_str());
    const int id = unilocation::Register(&local);
    WriteAll(dir.Path("f.neu"), "old");

    // Opening for writing keeps what the file holds until the close.
    uni_stream* s = uni_open("ulsafe:/f.neu", UNI_WRITE, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(ReadAll(dir.Path("f.neu")), "old");
    EXPECT_TRUE(uni_write(s, "new", 3, 0));
    EXPECT_EQ(ReadAll(dir.Path("f.neu")), "old");
    EXPECT_TRUE(uni_close(s));
    EXPECT_EQ(ReadAll(dir.Path("f.neu")), "new");
    // Opened for writing and closed at once: emptied, as before.
    s = uni_open("ulsafe:/f.neu", UNI_WRITE, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(uni_close(s));
    EXPECT_EQ(ReadAll(dir.Path("f.neu")), "");

    WriteAll(dir.Path("f.neu"), "kept");
    const int code = RunWithFileSizeLimit(16, [&] {
        const std::string big(200, 'b');
        std::string error;
        return !local.WriteFile("/f.neu", big.data(), big.size(), &error) && !error.empty() ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadAll(dir.Path("f.neu")), "kept");

    ASSERT_TRUE(MakeFifo(dir.Path("pipe")));
    std::string error;
    EXPECT_FALSE(local.WriteFile("/pipe", "x", 1, &error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_TRUE(IsFifo(dir.Path("pipe")));
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"f.neu", "pipe"}));
    unilocation::Unregister(id);
}

} // namespace
