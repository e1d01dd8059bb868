// Helpers of the tests of file targets: a scratch folder (one that another
// user can reach, if asked); paths that name something other than a
// regular file (a directory, a FIFO, a device node), with a guard that
// runs an open or read on a thread of its own and says whether it
// returned in time; and child processes, with a time limit:
// one whose files cannot grow (a write fails half-way), one that runs as an
// unprivileged user, one whose folder is a full disk.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace filetargets {

// Whether a user other than the owners of the folders on the way (and
// outside their groups) may pass through every folder of `path`.
inline bool OthersPassThrough(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return false;
    std::string folder = real;
    std::free(real);
    for (;;) {
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || !(st.st_mode & S_IXOTH))
            return false;
        if (folder == "/")
            return true;
        const size_t slash = folder.find_last_of('/');
        folder = slash == 0 ? "/" : folder.substr(0, slash);
    }
}

// Who must reach a scratch folder: this process alone, or also the user
// that RunAsUser runs a body as.
enum class Reach { Self, OtherUsers };

// Said by a test that skips because no folder for another user was found,
// or none whose name leaves room for the names it tests.
constexpr const char* kNoFolderForOthers =
    "no temporary folder that another user can reach (neither TMPDIR nor /tmp, /var/tmp, /dev/shm)";
constexpr const char* kNoFolderWithRoom =
    "no temporary folder with a name short enough for the names tested (neither TMPDIR nor /tmp, "
    "/var/tmp, /dev/shm)";

// The names in `folder`, sorted (no "." or "..").
inline std::vector<std::string> NamesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string n = e->d_name;
            if (n != "." && n != "..")
                names.push_back(n);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A fresh folder, removed with everything in it when the object goes, made
// in the temporary folder when it will do, else in the first of the
// system's that will; Made() says whether there was one. One that other
// users must reach needs a folder they can pass through to (a process that
// is not root runs RunAsUser's body as itself: its own temporary folder
// serves). Given `pathMax` (a layer that takes names shorter than that),
// the folder's name leaves room for names of kNameRoom bytes in it, however
// long the temporary folder's name is.
class ScratchDir {
public:
    static constexpr size_t kNameRoom = 64;

    explicit ScratchDir(Reach reach = Reach::Self, size_t pathMax = 0) {
        const bool forOthers = reach == Reach::OtherUsers && ::geteuid() == 0;
        const std::string folder = "zpi_targets_XXXXXX";
        auto serves = [&](const std::string& base) {
            return (!forOthers || OthersPassThrough(base)) &&
                   (pathMax == 0 || base.size() + folder.size() + 1 + kNameRoom < pathMax);
        };
        std::string base = ::testing::TempDir();
        const char* const shared[] = {"/tmp/", "/var/tmp/", "/dev/shm/"};
        for (size_t i = 0; !serves(base); ++i) {
            if (i == std::size(shared))
                return;
            base = shared[i];
        }
        std::string pattern = base + folder;
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (::mkdtemp(buf.data()))
            path_ = buf.data();
        EXPECT_FALSE(path_.empty()) << "no scratch folder in " << base;
    }
    ~ScratchDir() {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    bool Made() const { return !path_.empty(); }
    const std::string& Folder() const { return path_; }
    std::string Path(const std::string& name) const { return path_ + "/" + name; }
    // The names in the folder, sorted (no "." or "..").
    std::vector<std::string> Names() const { return NamesIn(path_); }

private:
    std::string path_;
};

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline bool IsFifo(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

inline bool IsCharDevice(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

// Makes the folder `path` with exactly `mode`, whatever the umask.
inline bool MakeFolder(const std::string& path, mode_t mode) {
    return ::mkdir(path.c_str(), 0700) == 0 && ::chmod(path.c_str(), mode) == 0;
}

inline bool MakeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0666) == 0; }

// Whether the file system of `folder` makes files without a name (O_TMPFILE).
inline bool MakesUnnamedFiles(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

// A node of the null device (as /dev/null) at `path`; false when the
// process may not make one (not root).
inline bool MakeNullDevice(const std::string& path) {
    return ::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
}

// A scratch folder holding a directory and a FIFO, both with a document's
// name.
class NonRegularFiles {
public:
    NonRegularFiles()
        : ok_(::mkdir(Directory().c_str(), 0700) == 0 && MakeFifo(Fifo())) {}

    bool Ok() const { return ok_; }
    std::string Directory() const { return dir_.Path("folder.xml"); }
    std::string Fifo() const { return dir_.Path("pipe.xml"); }

    // Runs `read` on a thread; true when it returned within `limit`. When
    // it did not, the FIFO gets a writer (and loses it again) until the
    // read returns, so the thread can be joined and the test fails instead
    // of hanging.
    bool ReturnsWithin(const std::function<void()>& read,
                       std::chrono::milliseconds limit = std::chrono::seconds(5)) const {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
        std::thread reader([&] {
            read();
            std::lock_guard<std::mutex> hold(mutex);
            done = true;
            cv.notify_all();
        });
        bool inTime;
        {
            std::unique_lock<std::mutex> hold(mutex);
            inTime = cv.wait_for(hold, limit, [&] { return done; });
        }
        for (int i = 0; !inTime && i < 1000; ++i) {
            const int fd = ::open(Fifo().c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0)
                ::close(fd);
            std::unique_lock<std::mutex> hold(mutex);
            if (cv.wait_for(hold, std::chrono::milliseconds(10), [&] { return done; }))
                break;
        }
        reader.join();
        return inTime;
    }

private:
    ScratchDir dir_;
    bool ok_ = false;
};

// What a child answers when its setup failed.
constexpr int kChildSetupFailed = 100;

// Runs `body` in a child process after `setup` (when it returns false the
// child exits with kChildSetupFailed). Answers the child's exit code
// (body's result, 0 to 255), or -1 when the child did not exit normally:
// also when it was still running after `seconds`, when it is killed, so
// that a body that hangs fails its test instead of hanging it.
inline int RunInChild(const std::function<bool()>& setup, const std::function<int()>& body,
                      unsigned seconds = 60) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(seconds);
        int code = kChildSetupFailed;
        if (setup())
            code = body();
        std::_Exit(code);
    }
    if (pid < 0)
        return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// Runs `writers` child processes at once, child k calling `write(k, round)`
// for `rounds` rounds, while this process calls `watch()` over and over
// until all have exited. Answers each child's failed rounds (false
// results, up to 250), or -1 for a child that did not exit normally (one
// still running after `seconds` is killed).
inline std::vector<int> RunWritersAtOnce(int writers, int rounds,
                                         const std::function<bool(int, int)>& write,
                                         const std::function<void()>& watch,
                                         unsigned seconds = 120) {
    std::vector<pid_t> pids;
    for (int k = 0; k < writers; ++k) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::alarm(seconds);
            int failed = 0;
            for (int round = 0; round < rounds; ++round)
                failed += write(k, round) ? 0 : 1;
            std::_Exit(std::min(failed, 250));
        }
        pids.push_back(pid);
    }
    std::vector<int> failed(pids.size(), -1);
    for (auto running = std::count_if(pids.begin(), pids.end(), [](pid_t p) { return p > 0; });
         running > 0;) {
        watch();
        for (size_t k = 0; k < pids.size(); ++k) {
            int status = 0;
            if (pids[k] <= 0 || ::waitpid(pids[k], &status, WNOHANG) != pids[k])
                continue;
            failed[k] = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            pids[k] = 0;
            --running;
        }
    }
    return failed;
}

// Runs `body` in a child process in which no file can grow past `bytes`
// (SIGXFSZ ignored, so such a write fails with EFBIG).
inline int RunWithFileSizeLimit(rlim_t bytes, const std::function<int()>& body) {
    return RunInChild(
        [&] {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{};
            ::getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = bytes;
            return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        },
        body);
}

// Runs `body` in a child process without privileges: when this process is
// root, as the user `uid` with the group `gid` and the further groups
// `groups` only; otherwise as this process's own user.
inline int RunAsUser(const std::function<int()>& body, uid_t uid = 65534, gid_t gid = 65534,
                     std::vector<gid_t> groups = {}) {
    return RunInChild(
        [&] {
            if (::geteuid() != 0)
                return true;
            return ::setgroups(groups.size(), groups.data()) == 0 && ::setgid(gid) == 0 &&
                   ::setuid(uid) == 0;
        },
        body);
}

// Runs `body` in a child process in which the empty folder `folder` is a
// file system of its own: a tmpfs of `kib` KiB, mounted in a mount
// namespace of the child alone, gone with it; the parent's view of `folder`
// is untouched. kChildSetupFailed where the system does not let the child
// mount one (not root, or a container that forbids it).
inline int RunOnSmallFileSystem(const std::string& folder, int kib, const std::function<int()>& body) {
    const std::string options = "size=" + std::to_string(kib) + "k";
    return RunInChild(
        [&] {
            return ::unshare(CLONE_NEWNS) == 0 &&
                   ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                   ::mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
        },
        body);
}

// As RunOnSmallFileSystem, with the file system filled to its last byte
// before `body` runs, so that a file written into `folder` fails with
// ENOSPC.
inline int RunOnFullDisk(const std::string& folder, const std::function<int()>& body) {
    return RunOnSmallFileSystem(folder, 64, [&] {
        const int fd = ::open((folder + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return kChildSetupFailed;
        const std::vector<char> block(4096, 'f');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        while (::write(fd, block.data(), 1) > 0) {
        }
        ::close(fd);
        return body();
    });
}

} // namespace filetargets
