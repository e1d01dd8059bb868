// How a file written beside its target takes its place: synced before and
// after, keeping what the old file had besides its content, leaving nothing
// after a kill, and never replacing what another process puts at the name
// meanwhile; and the local-folder location's rename, which never replaces
// either.
#include "btk_quoted.h"
#include "btkstring.h"
#include "kkatomicfile.h"
#include "kkfileio.h"
#include "pfa.h"
#include "ugc_output.h"
#include "uniloc.h"

#include "file_targets.h"
#include "prng.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace filetargets;

namespace {

// The hooks as they are by default, again after each test.
struct DefaultHooks {
    ~DefaultHooks() {
        kkFileTestHooks::SetSync(true);
        kkFileTestHooks::SetTmpFile(true);
        kkFileTestHooks::SetRenameAt2(true);
        kkFileTestHooks::SetBeforePlace(nullptr);
        kkFileTestHooks::SetFolderLockWaitMs(2000);
    }
};

// Every way of making and placing the temporary file: unnamed or named,
// with renameat2 or as on file systems without it.
struct Mode {
    bool tmpFile;
    bool renameAt2;
    void Apply() const {
        kkFileTestHooks::SetTmpFile(tmpFile);
        kkFileTestHooks::SetRenameAt2(renameAt2);
    }
    std::string Name() const {
        return std::string(tmpFile ? "unnamed" : "named") + (renameAt2 ? "+renameat2" : "");
    }
};
const Mode kModes[] = {{true, true}, {true, false}, {false, true}, {false, false}};

bool Commit(const std::string& path, const std::string& bytes) {
    kkAtomicFile f(path.c_str());
    return f.IsOpen() && f.Write(bytes.data(), bytes.size()) && f.Commit();
}

struct Syncs {
    uint64_t files = kkFileTestHooks::FileSyncs();
    uint64_t folders = kkFileTestHooks::FolderSyncs();
    // Syncs since this was made: {files, folders}.
    std::pair<uint64_t, uint64_t> Since() const {
        return {kkFileTestHooks::FileSyncs() - files, kkFileTestHooks::FolderSyncs() - folders};
    }
};
using Counts = std::pair<uint64_t, uint64_t>;

// The counts seen by the hook that runs just before a file is placed.
std::atomic<uint64_t> g_filesAtPlace{0}, g_foldersAtPlace{0};
void NoteSyncsAtPlace(const char*) {
    g_filesAtPlace = kkFileTestHooks::FileSyncs();
    g_foldersAtPlace = kkFileTestHooks::FolderSyncs();
}

TEST(FileCommits, EveryWriteIsSyncedBeforeItTakesItsPlaceAndItsFolderAfter) {
    DefaultHooks restore;
    // (Its paths go through the file layer too, whose names are limited.)
    ScratchDir dir(Reach::Self, PFA_NAME_MAX);
    if (!dir.Made())
        GTEST_SKIP() << kNoFolderWithRoom;
    kkFileTestHooks::SetBeforePlace(NoteSyncsAtPlace);
    for (const Mode& mode : kModes) {
        SCOPED_TRACE(mode.Name());
        mode.Apply();
        const std::string path = dir.Path("doc.xml");
        // New, replaced, and made exclusively: the file before it is placed,
        // its folder after.
        for (int round = 0; round < 2; ++round) {
            Syncs before;
            ASSERT_TRUE(Commit(path, "content " + std::to_string(round)));
            EXPECT_EQ(before.Since(), Counts(1, 1));
            EXPECT_EQ(g_filesAtPlace - before.files, 1u);
            EXPECT_EQ(g_foldersAtPlace - before.folders, 0u);
        }
        ASSERT_EQ(::unlink(path.c_str()), 0);
        {
            Syncs before;
            kkAtomicFile f;
            ASSERT_TRUE(f.OpenNew(path.c_str()));
            ASSERT_TRUE(f.Write("new", 3));
            ASSERT_TRUE(f.Commit());
            EXPECT_EQ(before.Since(), Counts(1, 1));
        }
        // A write given up syncs nothing.
        {
            Syncs before;
            kkAtomicFile f(path.c_str());
            f.SetFailed("given up");
            EXPECT_FALSE(f.Commit());
            EXPECT_EQ(before.Since(), Counts(0, 0));
        }
        ASSERT_EQ(::unlink(path.c_str()), 0);
    }
    kkFileTestHooks::SetBeforePlace(nullptr);

    // The file layer's streams written anew, the local-folder location's
    // writes and neutral files written to a path.
    {
        Syncs before;
        pfa_stream* s =
            pfa_open_file(dir.Path("dump.xml").c_str(), PFA_O_WRONLY | PFA_O_CREAT | PFA_O_TRUNC, 0666);
        ASSERT_NE(s, nullptr);
        ASSERT_EQ(pfa_write_file(s, "x", 1), 0);
        ASSERT_EQ(pfa_dispose(s), 0);
        EXPECT_EQ(before.Since(), Counts(1, 1));
    }
    {
        unilocallocation local("ulsync", dir.Path("").c_str());
        Syncs before;
        ASSERT_TRUE(local.WriteFile("/part.neu", "x", 1, nullptr));
        EXPECT_EQ(before.Since(), Counts(1, 1));
    }
    {
        const std::u16string path = btkStrUtf8ToUtf16(dir.Path("part2.neu"));
        Syncs before;
        ugc_output* out = ugc_open_output_flags(path.c_str(), 7, 1404, 0, 0, 0, 0, 0, 0);
        ASSERT_NE(out, nullptr);
        ASSERT_EQ(ugc_close_output(out), 0);
        EXPECT_EQ(before.Since(), Counts(1, 1));
    }

    // Switched off (to measure what syncing costs): nothing is synced.
    kkFileTestHooks::SetSync(false);
    Syncs before;
    ASSERT_TRUE(Commit(dir.Path("doc.xml"), "unsynced"));
    EXPECT_EQ(before.Since(), Counts(0, 0));
    EXPECT_EQ(ReadAll(dir.Path("doc.xml")), "unsynced");
}

// A writer killed half-way, in a child: answers what the folder holds
// afterwards besides the target.
std::vector<std::string> KilledMidWrite(const ScratchDir& dir, const std::string& target) {
    int ready[2];
    if (::pipe(ready) != 0)
        return {"no pipe"};
    const pid_t pid = ::fork();
    if (pid == 0) {
        kkAtomicFile f(target.c_str());
        const std::string block(1 << 20, 'n');
        for (int i = 0; i < 4 && f.IsOpen(); ++i)
            f.Write(block.data(), block.size());
        const char c = f.IsOpen() ? 'w' : 'x';
        (void)!::write(ready[1], &c, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char c = 0;
    const bool wrote = ::read(ready[0], &c, 1) == 1 && c == 'w';
    ::close(ready[0]);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!wrote)
        return {"the child did not write"};
    std::vector<std::string> left;
    for (const std::string& name : dir.Names())
        if (dir.Path(name) != target)
            left.push_back(name);
    return left;
}

TEST(FileCommits, AWriterKilledHalfWayLeavesNothingBesideTheTarget) {
    DefaultHooks restore;
    ScratchDir dir;
    if (!MakesUnnamedFiles(dir.Path("")))
        GTEST_SKIP() << "this file system makes no unnamed files (O_TMPFILE): a killed writer "
                        "leaves its hidden temporary file here";
    const std::string target = dir.Path("model.xml");
    EXPECT_EQ(KilledMidWrite(dir, target), std::vector<std::string>{});
    EXPECT_EQ(::access(target.c_str(), F_OK), -1);
    WriteAll(target, "old");
    EXPECT_EQ(KilledMidWrite(dir, target), std::vector<std::string>{});
    EXPECT_EQ(ReadAll(target), "old");
}

// The hook of the next test: puts a FIFO at the target just before the
// commit places its file, once, in place of what is there.
std::atomic<bool> g_fifoPut{false};
void PutFifoAtTarget(const char* target) {
    if (g_fifoPut.exchange(true))
        return;
    ::unlink(target);
    ::mkfifo(target, 0600);
}

TEST(FileCommits, WhatTakesTheNameJustBeforeTheCommitIsNeverReplaced) {
    DefaultHooks restore;
    ScratchDir dir;
    kkFileTestHooks::SetBeforePlace(PutFifoAtTarget);
    const std::string path = dir.Path("doc");
    for (const Mode& mode : kModes) {
        SCOPED_TRACE(mode.Name());
        mode.Apply();
        // No target at the open, and a regular one (which goes for the
        // FIFO: only with renameat2 can the commit tell afterwards).
        for (const bool replacing : {false, true}) {
            if (replacing && !mode.renameAt2)
                continue;
            if (replacing)
                WriteAll(path, "old");
            g_fifoPut = false;
            kkAtomicFile f(path.c_str());
            ASSERT_TRUE(f.IsOpen()) << f.Error();
            f.Write("new", 3);
            EXPECT_FALSE(f.Commit());
            EXPECT_NE(f.Error().find("not a regular file"), std::string::npos) << f.Error();
            EXPECT_TRUE(IsFifo(path)) << "replacing " << replacing;
            EXPECT_EQ(dir.Names(), std::vector<std::string>{"doc"});
            ASSERT_EQ(::unlink(path.c_str()), 0);
        }
    }
}

// The value of an extended attribute, or "<none>".
std::string Attribute(const std::string& path, const char* name) {
    char buf[256];
    const ssize_t n = ::lgetxattr(path.c_str(), name, buf, sizeof buf);
    return n < 0 ? "<none>" : std::string(buf, size_t(n));
}

// The hook of the next test: puts g_intruder (a link to the target, a FIFO
// or a file of its own) in place of the commit's temporary file (a name
// ".<target's name>.*.tmp" beside it), once.
enum Intruder { kLink, kFifo, kOtherFile };
std::atomic<int> g_intruder{-1};
void ReplaceTemporary(const char* target) {
    const int kind = g_intruder.exchange(-1);
    const std::string t = target;
    const std::string folder = t.substr(0, t.rfind('/') + 1);
    const std::string prefix = "." + t.substr(t.rfind('/') + 1) + ".";
    DIR* d = kind < 0 ? nullptr : ::opendir(folder.c_str());
    if (!d)
        return;
    std::string temp;
    while (const dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n.rfind(prefix, 0) == 0 && n.size() > 4 && n.compare(n.size() - 4, 4, ".tmp") == 0)
            temp = folder + n;
    }
    ::closedir(d);
    if (temp.empty() || ::unlink(temp.c_str()) != 0)
        return;
    if (kind == kLink)
        (void)!::symlink(target, temp.c_str());
    else if (kind == kFifo)
        ::mkfifo(temp.c_str(), 0600);
    else
        WriteAll(temp, "other");
}

TEST(FileCommits, WhatTakesTheTemporaryNameIsNeverPutInPlace) {
    DefaultHooks restore;
    kkFileTestHooks::SetSync(false);
    kkFileTestHooks::SetBeforePlace(ReplaceTemporary);
    for (const Mode& mode : kModes) {
        mode.Apply();
        // A new target is put in place from a temporary name only where the
        // file is not unnamed.
        for (const bool replacing : {true, false}) {
            if (!replacing && mode.tmpFile)
                continue;
            for (const int kind : {kLink, kFifo, kOtherFile}) {
                SCOPED_TRACE(mode.Name() + (replacing ? " replacing" : " new") + " intruder " +
                             std::to_string(kind));
                ScratchDir dir;
                const std::string path = dir.Path("doc");
                if (replacing)
                    WriteAll(path, "old");
                g_intruder = kind;
                kkAtomicFile f(path.c_str());
                ASSERT_TRUE(f.IsOpen()) << f.Error();
                f.Write("new", 3);
                EXPECT_FALSE(f.Commit());
                EXPECT_NE(f.Error().find("was replaced by something else"), std::string::npos)
                    << f.Error();
                struct stat st {};
                if (replacing) {
                    // (Read only when it is a regular file: a FIFO would block.)
                    const bool regular = ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
                    EXPECT_TRUE(regular);
                    if (regular) {
                        EXPECT_EQ(ReadAll(path), "old");
                    }
                } else {
                    EXPECT_NE(::lstat(path.c_str(), &st), 0) << "the name stays free";
                }
                // What took the temporary name keeps it.
                EXPECT_EQ(dir.Names().size(), replacing ? 2u : 1u);
            }
        }
    }
}

// A child that writes `target` whole over and over (4 KiB of one letter),
// unsynced, until it is killed. It answers 'w' once its first write is in
// place, so that a kill comes while it writes over and over; held at the
// place, it then answers 'p' from just before its next file takes the
// target's place (the file has a name then) and waits there for the kill.
constexpr size_t kRewriteBytes = 4096;
int g_atPlace = -1;
void ReportAtPlace(const char*) {
    (void)!::write(g_atPlace, "p", 1);
    for (;;)
        ::pause();
}
pid_t StartRewriter(const std::string& target, bool holdAtPlace) {
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid != 0) {
        ::close(ready[1]);
        char c[2] = {};
        const size_t answers = holdAtPlace ? 2 : 1;
        const bool started = pid > 0 && ::read(ready[0], c, 1) == 1 &&
                             (answers == 1 || ::read(ready[0], c + 1, 1) == 1);
        ::close(ready[0]);
        if (pid > 0 && !started) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        return started ? pid : -1;
    }
    ::close(ready[0]);
    bool answered = false;
    for (unsigned i = 1;; ++i) {
        const std::string bytes(kRewriteBytes, char('a' + i % 26));
        kkAtomicFile f;
        if (f.Open(target.c_str(), 0666, kkDurability::Unsynced) &&
            f.Write(bytes.data(), bytes.size()) && f.Commit() && !answered) {
            answered = true;
            (void)!::write(ready[1], "w", 1);
            if (holdAtPlace) {
                g_atPlace = ready[1];
                kkFileTestHooks::SetBeforePlace(ReportAtPlace);
            } else {
                ::close(ready[1]);
            }
        }
    }
}

bool Whole(const std::string& bytes) {
    return bytes.size() == kRewriteBytes && bytes.find_first_not_of(bytes[0]) == std::string::npos;
}

// Writers in `writers` processes write `target` (a whole document of 4 KiB
// of one letter already) `rounds` times each, unsynced, while this process
// reads it over and over. Each writer's failed rounds (RunWritersAtOnce),
// told on standard error when `tell`, and how often the target was read
// torn.
struct Rewrites {
    std::vector<int> failed;
    int torn = 0;
};
// `become`, when given, is called first in writer k (false: it failed).
Rewrites RunRewriters(const std::string& target, int writers, int rounds, bool tell = true,
                      const std::function<bool(int)>& become = nullptr) {
    Rewrites r;
    r.failed = RunWritersAtOnce(
        writers, rounds,
        [&](int k, int round) {
            if (round == 0 && become && !become(k))
                return false;
            const std::string bytes(kRewriteBytes, char('a' + k));
            kkAtomicFile f;
            if (f.Open(target.c_str(), 0666, kkDurability::Unsynced) &&
                f.Write(bytes.data(), bytes.size()) && f.Commit())
                return true;
            if (tell)
                std::fprintf(stderr, "writer %d: %s\n", k, f.Error().c_str());
            return false;
        },
        [&] { r.torn += Whole(ReadAll(target)) ? 0 : 1; });
    return r;
}

TEST(FileCommits, AWriterKilledAnywhereLeavesAWholeTargetAndTheNextWriteRemovesWhatItLeft) {
    DefaultHooks restore;
    for (const bool tmpFile : {true, false}) {
        SCOPED_TRACE(tmpFile ? "unnamed" : "named");
        kkFileTestHooks::SetTmpFile(tmpFile);
        ScratchDir dir;
        const std::string target = dir.Path("model.xml");
        WriteAll(target, std::string(kRewriteBytes, 'a'));
        testprng::Prng prng(29);
        size_t leftovers = 0;
        // Killed at varied moments: writing, syncing, naming, exchanging;
        // every fourth round while its file has a name beside the target.
        for (int round = 0; round < 40; ++round) {
            const bool atPlace = round % 4 == 3;
            const pid_t pid = StartRewriter(target, atPlace);
            ASSERT_GT(pid, 0);
            if (!atPlace)
                ::usleep(useconds_t(prng.Below(3000)));
            ::kill(pid, SIGKILL);
            int status = 0;
            ::waitpid(pid, &status, 0);
            EXPECT_TRUE(Whole(ReadAll(target))) << "round " << round;
            const size_t left = dir.Names().size() - 1;
            EXPECT_LE(left, 1u) << "round " << round;
            leftovers += left;
            ASSERT_TRUE(Commit(target, std::string(kRewriteBytes, 'z')));
            EXPECT_EQ(dir.Names(), std::vector<std::string>{"model.xml"}) << "round " << round;
        }
        // An unnamed file too gets its name before it replaces the target.
        EXPECT_GE(leftovers, 10u) << "not every kill at the place left the named file";
    }
}

// Writers in two and four processes write one target over and over, in
// every mode: each commit succeeds (the last wins), the target is always
// one whole document of one of them, and nothing is left beside it.
TEST(FileCommits, WritersInSeveralProcessesOfOneTargetAllSucceed) {
    DefaultHooks restore;
    // What is checked is that writers never fail one another, not how long
    // a busy machine may keep one from the folder's lock: they wait for it
    // as long as need be.
    kkFileTestHooks::SetFolderLockWaitMs(60000);
    constexpr int kRounds = 100;
    for (const Mode& mode : kModes) {
        mode.Apply();
        for (const int writers : {2, 4}) {
            SCOPED_TRACE(mode.Name() + ", " + std::to_string(writers) + " writers");
            ScratchDir dir;
            const std::string target = dir.Path("doc.xml");
            WriteAll(target, std::string(kRewriteBytes, 'z'));
            const Rewrites r = RunRewriters(target, writers, kRounds);
            EXPECT_EQ(r.failed, std::vector<int>(size_t(writers), 0));
            EXPECT_EQ(r.torn, 0);
            EXPECT_EQ(dir.Names(), std::vector<std::string>{"doc.xml"});
        }
    }
}

// A program holding the folder's lock for its own ends delays a commit
// once, for a moment, never for ever.
TEST(FileCommits, AFolderLockHeldElsewhereDelaysACommitOnce) {
    DefaultHooks restore;
    kkFileTestHooks::SetFolderLockWaitMs(20);
    ScratchDir dir;
    const std::string target = dir.Path("t.xml");
    WriteAll(target, "old");
    WriteAll(dir.Path(".t.xml.5.tmp"), "left by a killed writer");
    const int held = kkFileTestHooks::HoldFolderLock(dir.Path("").c_str());
    ASSERT_GE(held, 0);
    EXPECT_EQ(kkFileTestHooks::HoldFolderLock(dir.Path("").c_str()), -1);
    const uint64_t before = kkFileTestHooks::FolderLockWaitsRunOut();
    EXPECT_TRUE(Commit(target, "new"));
    EXPECT_EQ(kkFileTestHooks::FolderLockWaitsRunOut() - before, 1u);
    ::close(held);
    EXPECT_EQ(ReadAll(target), "new");
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"t.xml"});
    // Let go, it is had at once.
    EXPECT_TRUE(Commit(target, "newer"));
    EXPECT_EQ(kkFileTestHooks::FolderLockWaitsRunOut() - before, 1u);
}

// A process out of descriptors cannot take the folder's lock: its commit
// fails saying so (never goes on without the lock unsaid), and leaves the
// target as it was and nothing beside it.
std::vector<int> g_descriptorsTaken;
void TakeEveryDescriptorLeft(const char*) {
    const int lowest = ::dup(0);
    ::close(lowest);
    rlimit few{};
    ::getrlimit(RLIMIT_NOFILE, &few);
    few.rlim_cur = rlim_t(lowest) + 16;
    ::setrlimit(RLIMIT_NOFILE, &few);
    for (int fd; (fd = ::dup(0)) >= 0;)
        g_descriptorsTaken.push_back(fd);
}

TEST(FileCommits, ACommitOutOfDescriptorsForTheFoldersLockFailsSayingSo) {
    DefaultHooks restore;
    ScratchDir dir;
    const std::string target = dir.Path("t.xml");
    WriteAll(target, "old");
    rlimit files{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &files), 0);
    kkFileTestHooks::SetBeforePlace(TakeEveryDescriptorLeft);
    kkAtomicFile f(target.c_str());
    ASSERT_TRUE(f.IsOpen());
    ASSERT_TRUE(f.Write("new", 3));
    const bool committed = f.Commit();
    kkFileTestHooks::SetBeforePlace(nullptr);
    for (int fd : g_descriptorsTaken)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &files);
    EXPECT_FALSE(g_descriptorsTaken.empty());
    g_descriptorsTaken.clear();
    EXPECT_FALSE(committed);
    EXPECT_NE(f.Error().find("cannot take the lock of the folder of " + btkQuoted(target) + ": " +
                             std::strerror(EMFILE)),
              std::string::npos)
        << f.Error();
    EXPECT_EQ(ReadAll(target), "old");
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"t.xml"});
}

// Eight writers in as many processes meet over one target while the
// folder's lock is held elsewhere all along, so that they go on without it:
// in every mode none leaves anything beside the target, where a whole
// document of one of them always is; with renameat2 every save succeeds
// (without it, a writer whose file another's rename replaced at once
// cannot tell that from a stranger's doing, and fails).
TEST(FileCommits, WritersMeetingWithoutTheFoldersLockLeaveNothing) {
    DefaultHooks restore;
    kkFileTestHooks::SetFolderLockWaitMs(0);
    for (const Mode& mode : kModes) {
        mode.Apply();
        SCOPED_TRACE(mode.Name());
        ScratchDir dir;
        const std::string target = dir.Path("t.doc");
        WriteAll(target, std::string(kRewriteBytes, 'z'));
        const int held = kkFileTestHooks::HoldFolderLock(dir.Path("").c_str());
        ASSERT_GE(held, 0);
        const Rewrites r = RunRewriters(target, 8, 60, mode.renameAt2);
        ::close(held);
        if (mode.renameAt2) {
            EXPECT_EQ(r.failed, std::vector<int>(8, 0));
        }
        EXPECT_EQ(r.torn, 0);
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"t.doc"});
    }
}

// Another user, who may not write the folder, holding names of its lock in
// a child process until the object goes: `names` of them from the first (0:
// every one), answering who holds them or bound only. Held() says how many
// it took (-1: the child could not become that user).
class Stranger {
public:
    Stranger(const std::string& folder, int names, bool answers) {
        int ready[2], done[2];
        if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(done, O_CLOEXEC) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(done[1]);
            signed char held = -1;
            if (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0)
                for (held = 0; (names == 0 || held < names) &&
                               kkFileTestHooks::HoldFolderLock(folder.c_str(), held, answers) >= 0;)
                    ++held;
            if (::write(ready[1], &held, 1) == 1)
                (void)::read(done[0], &held, 1); // until the parent lets go
            std::_Exit(0);
        }
        ::close(ready[1]);
        ::close(done[0]);
        done_ = done[1];
        if (pid_ < 0 || ::read(ready[0], &held_, 1) != 1)
            held_ = -1;
        ::close(ready[0]);
    }
    ~Stranger() {
        ::close(done_);
        if (pid_ > 0)
            ::waitpid(pid_, nullptr, 0);
    }
    int Held() const { return held_; }

private:
    pid_t pid_ = -1;
    int done_ = -1;
    signed char held_ = -1;
};

// A few unsynced saves into `folder` (as the client's hand-over files are),
// each of which must succeed.
void SaveSeveralTimes(const std::string& folder) {
    for (int round = 0; round < 3; ++round) {
        kkAtomicFile f;
        EXPECT_TRUE(f.Open((folder + "/doc.xml").c_str(), 0666, kkDurability::Unsynced) &&
                    f.Write("content", 7) && f.Commit());
    }
}

// A user who may not write a folder of root's, or not replace root's files
// in a sticky one, holds up no save there by holding the names of its
// lock, answering or not: no save waits for it (a wait for a holder that
// never lets go runs out, and is counted). Writers of the folder still take the
// lock from one another (on file systems without renameat2 some would
// otherwise fail) while the stranger holds its first name.
TEST(FileCommits, AStrangerHoldingTheFoldersLockDelaysNoSave) {
    DefaultHooks restore;
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can run a second user to hold the lock";
    ScratchDir dir(Reach::OtherUsers);
    if (!dir.Made())
        GTEST_SKIP() << kNoFolderForOthers;
    ASSERT_EQ(::chmod(dir.Folder().c_str(), 0755), 0);
    const struct {
        const char* what;
        int names;
        bool answers;
        mode_t mode = 0755;
    } cases[] = {{"the first name, answering", 1, true},
                 {"the first name, bound only", 1, false},
                 {"every name, answering", 0, true},
                 {"every name, bound only", 0, false},
                 // Anyone may make names there, but replace only its own files.
                 {"every name, answering, in a sticky folder anyone may write", 0, true, 01777}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string held = dir.Path(std::string("held, ") + c.what);
        ASSERT_TRUE(MakeFolder(held, 0755));
        ASSERT_EQ(::chmod(held.c_str(), c.mode), 0);
        Stranger stranger(held, c.names, c.answers);
        ASSERT_GE(stranger.Held(), c.names == 0 ? 2 : 1);
        const uint64_t waitsRunOut = kkFileTestHooks::FolderLockWaitsRunOut();
        SaveSeveralTimes(held);
        EXPECT_EQ(kkFileTestHooks::FolderLockWaitsRunOut(), waitsRunOut)
            << "a save waited for the stranger's lock";
        if (c.names == 1) {
            kkFileTestHooks::SetFolderLockWaitMs(60000);
            kkFileTestHooks::SetRenameAt2(false);
            WriteAll(held + "/doc.xml", std::string(kRewriteBytes, 'z'));
            const Rewrites r = RunRewriters(held + "/doc.xml", 4, 60);
            EXPECT_EQ(r.failed, std::vector<int>(4, 0));
            EXPECT_EQ(r.torn, 0);
            kkFileTestHooks::SetFolderLockWaitMs(2000);
            kkFileTestHooks::SetRenameAt2(true);
        }
        EXPECT_EQ(NamesIn(held), std::vector<std::string>{"doc.xml"});
    }
}

// Writers that are different users, each let write the folder as its
// owner, by its group (the user's own or a further one) or as root, take the
// folder's lock from one another; so do writers of one user in a sticky
// folder of root's that anyone may write (where each replaces only its own
// files): without renameat2, where writers that meet without it fail,
// every save succeeds.
TEST(FileCommits, WritersThatAreDifferentUsersOfTheFolderTakeTurns) {
    DefaultHooks restore;
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can run writers as other users";
    kkFileTestHooks::SetFolderLockWaitMs(60000);
    kkFileTestHooks::SetRenameAt2(false);
    ScratchDir dir(Reach::OtherUsers);
    if (!dir.Made())
        GTEST_SKIP() << kNoFolderForOthers;
    ASSERT_EQ(::chmod(dir.Folder().c_str(), 0755), 0);
    struct User {
        uid_t uid;
        gid_t gid;
        std::vector<gid_t> groups;
    };
    const struct {
        const char* folder;
        mode_t mode;
        uid_t owner, fileOwner;
        std::vector<User> users;
    } cases[] = {
        {"shared", 0770, 5555, 0, {{5555, 5555, {}}, {5556, 4322, {}}, {5557, 5557, {4322}}, {0, 0, {}}}},
        {"sticky", 01777, 0, 5555, std::vector<User>(4, {5555, 5555, {}})}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        const std::string folder = dir.Path(c.folder), target = folder + "/doc.xml";
        ASSERT_TRUE(MakeFolder(folder, c.mode));
        ASSERT_EQ(::chown(folder.c_str(), c.owner, 4322), 0);
        WriteAll(target, std::string(kRewriteBytes, 'z'));
        ASSERT_EQ(::chmod(target.c_str(), 0666), 0);
        ASSERT_EQ(::chown(target.c_str(), c.fileOwner, c.fileOwner), 0);
        const Rewrites r = RunRewriters(target, 4, 60, true, [&](int k) {
            const User& u = c.users[size_t(k)];
            return ::setgroups(u.groups.size(), u.groups.data()) == 0 && ::setgid(u.gid) == 0 &&
                   ::setuid(u.uid) == 0;
        });
        EXPECT_EQ(r.failed, std::vector<int>(4, 0));
        EXPECT_EQ(r.torn, 0);
    }
}

// A folder that may be written and searched but not read is locked as any
// other: two writers of one target there, as a user without privileges
// (root may read any folder), have every save succeed (as above, they wait
// for the lock as long as need be).
TEST(FileCommits, WritersInAFolderThatMayNotBeReadAllSucceed) {
    DefaultHooks restore;
    kkFileTestHooks::SetFolderLockWaitMs(60000);
    ScratchDir dir(Reach::OtherUsers);
    if (!dir.Made())
        GTEST_SKIP() << kNoFolderForOthers;
    ASSERT_EQ(::chmod(dir.Path("").c_str(), 0711), 0);
    const std::string dropbox = dir.Path("dropbox");
    ASSERT_EQ(::mkdir(dropbox.c_str(), 0700), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(dropbox.c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(::chmod(dropbox.c_str(), 0311), 0);
    const std::string target = dropbox + "/doc.xml";
    const int code = RunAsUser([&] {
        WriteAll(target, std::string(kRewriteBytes, 'z'));
        const Rewrites r = RunRewriters(target, 2, 3000);
        return r.failed == std::vector<int>(2, 0) && r.torn == 0 ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    ASSERT_EQ(::chmod(dropbox.c_str(), 0700), 0);
    EXPECT_TRUE(Whole(ReadAll(target)));
    EXPECT_EQ(NamesIn(dropbox), std::vector<std::string>{"doc.xml"});
}

// What a killed writer left under a high temporary name (it held slot 20
// while 20 others wrote) goes with the next commit, though the names
// before it are free; a live writer's locked file under the last name
// stays. The old content goes though a reader holds it locked.
TEST(FileCommits, TheNextWriteRemovesWhatAKilledWriterLeftUnderAnyTemporaryName) {
    ScratchDir dir;
    const std::string target = dir.Path("t.xml");
    WriteAll(target, "old");
    WriteAll(dir.Path(".t.xml.20.tmp"), "killed");
    WriteAll(dir.Path(".t.xml.63.tmp"), "live");
    const int live = ::open(dir.Path(".t.xml.63.tmp").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(live, 0);
    ASSERT_EQ(::flock(live, LOCK_EX), 0);
    const int reader = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    ASSERT_EQ(::flock(reader, LOCK_SH), 0);
    EXPECT_TRUE(Commit(target, "new"));
    ::close(reader);
    ::close(live);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{".t.xml.63.tmp", "t.xml"}));
    EXPECT_EQ(ReadAll(target), "new");
}

TEST(FileCommits, AReplacedFileKeepsItsOwnAttributesWhateverTheCurrentFolder) {
    ScratchDir dir;
    const std::string a = dir.Path("a"), b = dir.Path("b");
    ASSERT_EQ(::mkdir(a.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(b.c_str(), 0755), 0);
    WriteAll(a + "/doc", "old");
    WriteAll(b + "/doc", "namesake");
    if (::setxattr((a + "/doc").c_str(), "user.origin", "a", 1, 0) != 0 ||
        ::setxattr((b + "/doc").c_str(), "user.origin", "b", 1, 0) != 0)
        GTEST_SKIP() << "this file system keeps no user attributes";
    // Opened by a relative name, committed after a change of the current
    // folder (in a child: the current folder is the process's).
    const int code = RunInChild([] { return true; },
                                [&] {
                                    if (::chdir(a.c_str()) != 0)
                                        return 2;
                                    kkAtomicFile f("doc");
                                    if (!f.Write("new", 3) || ::chdir(b.c_str()) != 0)
                                        return 3;
                                    return f.Commit() ? 0 : 1;
                                });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadAll(a + "/doc"), "new");
    EXPECT_EQ(Attribute(a + "/doc", "user.origin"), "a");
    EXPECT_EQ(ReadAll(b + "/doc"), "namesake");
}

TEST(FileCommits, ANameInAFolderThatMayBeWrittenButNotReadIsMadeDurable) {
    DefaultHooks restore;
    ScratchDir dir(Reach::OtherUsers);
    if (!dir.Made())
        GTEST_SKIP() << kNoFolderForOthers;
    ASSERT_EQ(::chmod(dir.Path("").c_str(), 0777), 0);
    const std::string dropbox = dir.Path("dropbox");
    ASSERT_TRUE(MakeFolder(dropbox, 0333));
    // As a user without privileges (root may read any folder).
    const int code = RunAsUser([&] {
        Syncs before;
        if (!Commit(dropbox + "/doc.xml", "new"))
            return 1;
        return before.Since() == Counts(1, 1) ? 0 : 2;
    });
    EXPECT_EQ(code, 0);
    ASSERT_EQ(::chmod(dropbox.c_str(), 0700), 0);
    EXPECT_EQ(ReadAll(dropbox + "/doc.xml"), "new");
}

// One writer puts a new file at `path` while a thread makes a FIFO at the
// same name, over and over. Both start each round together; the FIFO comes
// after a delay that grows after a round in which it came first and
// shrinks after one in which the file came first, so that it keeps coming
// about when the file is put in place, whatever the machine's speed.
// `prepare` readies the writer (while the name is free) and answers what
// puts the file in place, true when it did. Answers a description of the
// first round in which the FIFO was replaced or anything else went wrong,
// or "".
using Placing = std::function<bool()>;
std::string RaceCreator(const std::string& path, int rounds,
                        const std::function<Placing()>& prepare) {
    std::atomic<int> go{0}, started{0}, done{0};
    std::atomic<bool> made{false}, stop{false};
    std::thread racer([&] {
        testprng::Prng prng(7);
        double delay = 1000; // spins
        for (int round = 1;; ++round) {
            for (int seen; (seen = go.load()) < round;)
                go.wait(seen);
            if (stop)
                return;
            started = round;
            for (size_t spin = size_t(delay * (0.8 + 0.4 * double(prng.Below(1000)) / 1000)); spin > 0;
                 --spin)
                std::atomic_signal_fence(std::memory_order_seq_cst);
            made = ::mkfifo(path.c_str(), 0600) == 0;
            delay = made ? delay * 1.2 + 1 : delay / 1.2;
            done = round;
            done.notify_one();
        }
    });
    // On a machine so busy that each round waits for the scheduler, fewer
    // rounds run: enough to find nothing wrong, not so many to take long.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    std::string fault;
    for (int round = 1; round <= rounds && fault.empty(); ++round) {
        if (round > 20 && std::chrono::steady_clock::now() > deadline)
            break;
        const Placing place = prepare();
        go = round;
        go.notify_one();
        while (started.load() < round)
            std::this_thread::yield();
        const bool placed = place();
        for (int seen; (seen = done.load()) < round;)
            done.wait(seen);
        const std::string at = "round " + std::to_string(round) + ": ";
        if (made && placed)
            fault = at + "the file was put in place over the FIFO made before it";
        else if (made && !IsFifo(path))
            fault = at + "the FIFO is gone";
        else if (!made && !placed)
            fault = at + "the file was not put in place with the name free";
        else if (placed && ReadAll(path) != "new")
            fault = at + "the target does not hold the new file";
        ::unlink(path.c_str());
    }
    stop = true;
    go = INT32_MAX;
    go.notify_one();
    racer.join();
    return fault;
}

TEST(FileCommits, ACreatorRacingTheCommitNeverHasItsFifoReplaced) {
    DefaultHooks restore;
    kkFileTestHooks::SetSync(false); // only the placing matters here
    for (const Mode& mode : kModes) {
        SCOPED_TRACE(mode.Name());
        mode.Apply();
        ScratchDir dir;
        std::unique_ptr<kkAtomicFile> file;
        EXPECT_EQ(RaceCreator(dir.Path("doc"), 200,
                              [&] {
                                  file = std::make_unique<kkAtomicFile>(dir.Path("doc").c_str());
                                  file->Write("new", 3);
                                  return [&] { return file->Commit(); };
                              }),
                  "");
        file.reset();
        EXPECT_EQ(dir.Names(), std::vector<std::string>{}) << "nothing is left beside it";
    }
}

TEST(FileCommits, TheLocalFolderLocationRenamesOnlyToAFreeName) {
    DefaultHooks restore;
    for (const bool renameAt2 : {true, false}) {
        SCOPED_TRACE(renameAt2 ? "renameat2" : "link and unlink");
        kkFileTestHooks::SetRenameAt2(renameAt2);
        ScratchDir dir;
        unilocallocation local("ulrename", dir.Path("").c_str());
        const std::string from = dir.Path("from");
        int sourceLost = 0;
        EXPECT_EQ(RaceCreator(dir.Path("to"), 200,
                              [&] {
                                  WriteAll(from, "new");
                                  return [&] {
                                      const bool renamed = local.Rename("/from", "/to", nullptr);
                                      // A rename that failed leaves the source.
                                      if (!renamed && ReadAll(from) != "new")
                                          ++sourceLost;
                                      ::unlink(from.c_str());
                                      return renamed;
                                  };
                              }),
                  "");
        EXPECT_EQ(sourceLost, 0);

        // A name that is taken, by a file or a folder, is refused and kept;
        // folders are renamed too.
        WriteAll(from, "a");
        WriteAll(dir.Path("file"), "b");
        std::string error;
        EXPECT_FALSE(local.Rename("/from", "/file", &error));
        EXPECT_NE(error.find("already exists"), std::string::npos) << error;
        EXPECT_EQ(ReadAll(dir.Path("file")), "b");
        ASSERT_TRUE(local.MakeDirectory("/folder/inner", 0, nullptr));
        ASSERT_TRUE(local.MakeDirectory("/taken", 0, nullptr));
        EXPECT_FALSE(local.Rename("/from", "/taken", nullptr));
        EXPECT_FALSE(local.Rename("/folder", "/taken", nullptr));
        EXPECT_FALSE(local.Rename("/folder", "/file", nullptr));
        EXPECT_TRUE(local.Rename("/folder", "/moved", &error)) << error;
        EXPECT_TRUE(local.IsDirectory("/moved/inner"));
        EXPECT_TRUE(local.Rename("/from", "/moved/from", &error)) << error;
        EXPECT_EQ(ReadAll(dir.Path("moved/from")), "a");
        EXPECT_EQ(dir.Names(), (std::vector<std::string>{"file", "moved", "taken"}));
    }
}

TEST(FileCommits, ALocalFolderRenameIsDurableWhenItAnswers) {
    DefaultHooks restore;
    for (const bool renameAt2 : {true, false}) {
        SCOPED_TRACE(renameAt2 ? "renameat2" : "link and unlink");
        kkFileTestHooks::SetRenameAt2(renameAt2);
        ScratchDir dir;
        unilocallocation local("uldurable", dir.Path("").c_str());
        WriteAll(dir.Path("a"), "x");
        ASSERT_TRUE(local.MakeDirectory("/sub", 0, nullptr));
        Syncs within;
        ASSERT_TRUE(local.Rename("/a", "/b", nullptr));
        EXPECT_EQ(within.Since(), Counts(0, 1)) << "its folder";
        Syncs across;
        ASSERT_TRUE(local.Rename("/b", "/sub/c", nullptr));
        EXPECT_EQ(across.Since(), Counts(0, 2)) << "both folders";
        EXPECT_EQ(ReadAll(dir.Path("sub/c")), "x");
    }
}

// ---- what a replaced file keeps --------------------------------------------------

// An access ACL as the system keeps it in system.posix_acl_access: the
// owner rwx, the user `user` r, the group r-x (mask r-x), others nothing.
std::string AccessAcl(uint32_t user) {
    std::string acl;
    auto put32 = [&](uint32_t v) { acl.append(reinterpret_cast<const char*>(&v), 4); };
    auto entry = [&](uint16_t tag, uint16_t perm, uint32_t id) {
        acl.append(reinterpret_cast<const char*>(&tag), 2);
        acl.append(reinterpret_cast<const char*>(&perm), 2);
        put32(id);
    };
    put32(2); // version
    entry(0x01, 7, uint32_t(-1)); // owner
    entry(0x02, 4, user);         // named user
    entry(0x04, 5, uint32_t(-1)); // group
    entry(0x10, 5, uint32_t(-1)); // mask
    entry(0x20, 0, uint32_t(-1)); // others
    return acl;
}

struct Owned {
    uid_t uid;
    gid_t gid;
    int mode;
};
Owned OwnerOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return {st.st_uid, st.st_gid, int(st.st_mode & 07777)};
}

TEST(FileCommits, AReplacedFileKeepsOwnerGroupModeAndExtendedAttributes) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user";
    DefaultHooks restore;
    for (const Mode& mode : kModes) {
        SCOPED_TRACE(mode.Name());
        mode.Apply();
        ScratchDir dir;
        const std::string path = dir.Path("drawing.xml");
        WriteAll(path, "old");
        const std::string acl = AccessAcl(4242);
        ASSERT_EQ(::chown(path.c_str(), 4321, 4322), 0);
        if (::setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0 ||
            ::setxattr(path.c_str(), "user.origin", "sheet 7", 7, 0) != 0 ||
            ::setxattr(path.c_str(), "trusted.zpi", "t", 1, 0) != 0)
            GTEST_SKIP() << "this file system keeps no ACLs, user or trusted attributes";
        ASSERT_EQ(::chmod(path.c_str(), 04750), 0);
        const std::string aclRead = Attribute(path, "system.posix_acl_access");

        // Written by root (in a child: it may give the file to its owner).
        EXPECT_EQ(RunInChild([] { return true; }, [&] { return Commit(path, "new") ? 0 : 1; }), 0);
        EXPECT_EQ(ReadAll(path), "new");
        const Owned owned = OwnerOf(path);
        EXPECT_EQ(owned.uid, 4321u);
        EXPECT_EQ(owned.gid, 4322u);
        EXPECT_EQ(owned.mode, 04750) << "the set-user-id bit stays with its owner";
        EXPECT_EQ(Attribute(path, "user.origin"), "sheet 7");
        EXPECT_EQ(Attribute(path, "trusted.zpi"), "t");
        EXPECT_EQ(Attribute(path, "system.posix_acl_access"), aclRead);

        // A file without an ACL gets none from its folder's default ACL.
        const std::string plain = dir.Path("plain.xml");
        WriteAll(plain, "old");
        ASSERT_EQ(::chmod(plain.c_str(), 0640), 0);
        ASSERT_EQ(::setxattr(dir.Path("").c_str(), "system.posix_acl_default", acl.data(),
                             acl.size(), 0),
                  0);
        ASSERT_TRUE(Commit(plain, "new"));
        EXPECT_EQ(Attribute(plain, "system.posix_acl_access"), "<none>");
        EXPECT_EQ(OwnerOf(plain).mode, 0640);
        EXPECT_EQ(dir.Names(), (std::vector<std::string>{"drawing.xml", "plain.xml"}));
    }
}

TEST(FileCommits, AWriterThatCannotGiveTheFileItsOwnerClearsTheSetIdBits) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can make a file of another user for this";
    DefaultHooks restore;
    for (const Mode& mode : kModes) {
        SCOPED_TRACE(mode.Name());
        mode.Apply();
        ScratchDir dir(Reach::OtherUsers);
        if (!dir.Made())
            GTEST_SKIP() << kNoFolderForOthers;
        ASSERT_EQ(::chmod(dir.Path("").c_str(), 0777), 0);
        const std::string path = dir.Path("tool");
        // Another user's set-id file that anybody may write.
        auto make = [&] {
            WriteAll(path, "old");
            ASSERT_EQ(::chown(path.c_str(), 4321, 4322), 0);
            ASSERT_EQ(::chmod(path.c_str(), 06777), 0);
        };
        make();
        EXPECT_EQ(RunAsUser([&] { return Commit(path, "new") ? 0 : 1; }, 5555, 5555), 0);
        Owned owned = OwnerOf(path);
        EXPECT_EQ(ReadAll(path), "new");
        EXPECT_EQ(owned.uid, 5555u);
        EXPECT_EQ(owned.gid, 5555u);
        EXPECT_EQ(owned.mode, 0777);

        // A writer in the file's group keeps the group, but not the set-id
        // bits.
        make();
        EXPECT_EQ(RunAsUser([&] { return Commit(path, "new") ? 0 : 1; }, 5555, 5555, {4322}), 0);
        owned = OwnerOf(path);
        EXPECT_EQ(owned.uid, 5555u);
        EXPECT_EQ(owned.gid, 4322u);
        EXPECT_EQ(owned.mode, 0777);
    }
}

} // namespace
