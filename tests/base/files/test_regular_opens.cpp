// Opens of paths that must name regular files: a directory or a FIFO named
// for reading or appending is refused at once, by the shared open and by
// each layer that opens such paths; an exclusive create stays exclusive.
#include "btk_quoted.h"
#include "kkatomicfile.h"
#include "kkfileio.h"
#include "pfa.h"
#include "uniloc.h"

#include "file_targets.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

using namespace filetargets;

namespace {

TEST(RegularOpens, DirectoriesAndFifosAreRefusedWithoutBlocking) {
    NonRegularFiles files;
    ASSERT_TRUE(files.Ok());
    const int kFlags[] = {O_RDONLY, O_RDWR, O_WRONLY | O_APPEND | O_CREAT, O_RDWR | O_CREAT};
    for (const std::string& path : {files.Directory(), files.Fifo()}) {
        for (int flags : kFlags) {
            std::string why;
            int fd = 0;
            EXPECT_TRUE(files.ReturnsWithin([&] {
                fd = kkOpenRegularFile(path.c_str(), flags, 0644, &why);
            })) << path
                << " " << flags;
            EXPECT_EQ(fd, -1) << path << " " << flags;
            EXPECT_EQ(why.rfind("cannot open " + btkQuoted(path) + ": ", 0), 0u) << why;
        }
    }
    EXPECT_TRUE(IsFifo(files.Fifo()));

    // A regular file: opened, blocking again, closed on exec.
    ScratchDir dir;
    const std::string file = dir.Path("plain");
    WriteAll(file, "abc");
    const int fd = kkOpenRegularFile(file.c_str(), O_RDONLY, 0, nullptr);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    char buf[4] = {};
    EXPECT_EQ(::read(fd, buf, sizeof buf), 3);
    ::close(fd);
    // Created when asked, refused when absent otherwise.
    std::string why;
    EXPECT_EQ(kkOpenRegularFile(dir.Path("absent").c_str(), O_RDONLY, 0, &why), -1);
    EXPECT_NE(why.find("absent"), std::string::npos) << why;
    const int made =
        kkOpenRegularFile(dir.Path("made").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600, nullptr);
    ASSERT_GE(made, 0);
    EXPECT_TRUE(kkWriteAll(made, "xyz", 3));
    ::close(made);
    EXPECT_EQ(ReadAll(dir.Path("made")), "xyz");
}

TEST(RegularOpens, LocalFolderLocationReadsOnlyRegularFiles) {
    NonRegularFiles files;
    ASSERT_TRUE(files.Ok());
    const std::string root = files.Directory().substr(0, files.Directory().rfind('/'));
    unilocallocation local("ulregular", root.c_str());
    for (const char* name : {"/folder.xml", "/pipe.xml"}) {
        std::string data = "stale", why;
        bool read = true;
        EXPECT_TRUE(files.ReturnsWithin([&] { read = local.ReadFile(name, data, &why); })) << name;
        EXPECT_FALSE(read) << name;
        EXPECT_NE(why.find("cannot open"), std::string::npos) << why;
    }
    WriteAll(root + "/doc.xml", "<a/>");
    std::string data;
    EXPECT_TRUE(local.ReadFile("/doc.xml", data, nullptr));
    EXPECT_EQ(data, "<a/>");
}

TEST(RegularOpens, FileLayerReadsAndAppendsOnlyRegularFiles) {
    NonRegularFiles files;
    ASSERT_TRUE(files.Ok());
    const int kFlags[] = {PFA_O_RDONLY, PFA_O_RDWR, PFA_O_WRONLY | PFA_O_APPEND,
                          PFA_O_RDWR | PFA_O_APPEND | PFA_O_CREAT};
    for (const std::string& path : {files.Directory(), files.Fifo()}) {
        for (int flags : kFlags) {
            pfa_stream* s = reinterpret_cast<pfa_stream*>(1);
            EXPECT_TRUE(files.ReturnsWithin([&] { s = pfa_open_file(path.c_str(), flags, 0666); }))
                << path << " " << flags;
            EXPECT_EQ(s, nullptr) << path << " " << flags;
            if (s && s != reinterpret_cast<pfa_stream*>(1))
                pfa_dispose(s);
        }
    }
    EXPECT_TRUE(IsFifo(files.Fifo()));

    // A regular file is appended to, and emptied first only when asked.
    ScratchDir dir(Reach::Self, PFA_NAME_MAX);
    if (!dir.Made())
        GTEST_SKIP() << kNoFolderWithRoom;
    const std::string log = dir.Path("log.txt");
    WriteAll(log, "one ");
    pfa_stream* s = pfa_open_file(log.c_str(), PFA_O_WRONLY | PFA_O_APPEND, 0666);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(pfa_write_file(s, "two", 3), 0);
    EXPECT_EQ(pfa_dispose(s), 0);
    EXPECT_EQ(ReadAll(log), "one two");
    s = pfa_open_file(log.c_str(), PFA_O_WRONLY | PFA_O_APPEND | PFA_O_TRUNC, 0666);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(pfa_write_file(s, "three", 5), 0);
    EXPECT_EQ(pfa_dispose(s), 0);
    EXPECT_EQ(ReadAll(log), "three");
}

TEST(RegularOpens, ExclusiveCreateNeverReplacesAFileMadeMeanwhile) {
    ScratchDir dir(Reach::Self, PFA_NAME_MAX);
    if (!dir.Made())
        GTEST_SKIP() << kNoFolderWithRoom;
    const std::string path = dir.Path("part.neu");
    constexpr int kCreateNew = PFA_O_WRONLY | PFA_O_CREAT | PFA_O_TRUNC | PFA_O_EXCL;
    pfa_stream* s = pfa_open_file(path.c_str(), kCreateNew, 0666);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(pfa_write_file(s, "mine", 4), 0);
    WriteAll(path, "theirs"); // another writer takes the name first
    EXPECT_NE(pfa_dispose(s), 0);
    EXPECT_EQ(ReadAll(path), "theirs");
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"part.neu"});

    // Nothing took the name: the file is created.
    const std::string fresh = dir.Path("fresh.neu");
    s = pfa_open_file(fresh.c_str(), kCreateNew, 0666);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(pfa_write_file(s, "mine", 4), 0);
    EXPECT_EQ(pfa_dispose(s), 0);
    EXPECT_EQ(ReadAll(fresh), "mine");
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"fresh.neu", "part.neu"}));

    // The object itself: an existing name (even a dangling link) is refused.
    kkAtomicFile taken;
    EXPECT_FALSE(taken.OpenNew(fresh.c_str()));
    EXPECT_NE(taken.Error().find("exists"), std::string::npos) << taken.Error();
    ASSERT_EQ(::symlink("nowhere", dir.Path("link").c_str()), 0);
    kkAtomicFile link;
    EXPECT_FALSE(link.OpenNew(dir.Path("link").c_str()));
    EXPECT_EQ(ReadAll(fresh), "mine");
}

} // namespace

// The system's reason in what the library tells is worded as under the C
// locale, whatever messages the process's locale would give.
TEST(RegularOpens, TheReasonGivenIsTheSameInEveryLocale) {
    const std::string restore = std::setlocale(LC_ALL, nullptr);
    const char* other = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "tr_TR.UTF-8", "tr_TR.utf8"})
        if (std::setlocale(LC_ALL, name)) {
            other = name;
            break;
        }
    if (!other)
        GTEST_SKIP() << "no de_DE.UTF-8 or tr_TR.UTF-8 locale (scripts/test.sh makes them as root)";
    ScratchDir dir;
    std::string why;
    EXPECT_EQ(kkOpenRegularFile(dir.Path("absent").c_str(), O_RDONLY, 0, &why), -1);
    const bool translated = std::string(std::strerror(ENOENT)) != "No such file or directory";
    std::setlocale(LC_ALL, restore.c_str());
    EXPECT_EQ(why, "cannot open " + btkQuoted(dir.Path("absent")) + ": No such file or directory")
        << "under " << other << (translated ? " (whose messages are translated)" : "");
}
