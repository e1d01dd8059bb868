// Helpers of the tests that show that a write never destroys its target:
// a scratch folder, targets that are not regular files, and a child
// process whose files cannot grow, so that a write fails half-way.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace filetargets {

// A fresh folder, removed with everything in it when the object goes.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = ::testing::TempDir() + "zpi_targets_XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (::mkdtemp(buf.data()))
            path_ = buf.data();
        EXPECT_FALSE(path_.empty()) << "no scratch folder";
    }
    ~ScratchDir() {
        if (!path_.empty())
            std::system(("rm -rf '" + path_ + "'").c_str());
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string Path(const std::string& name) const { return path_ + "/" + name; }
    // The names in the folder, sorted (no "." or "..").
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        if (DIR* d = ::opendir(path_.c_str())) {
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

inline bool MakeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0666) == 0; }

// A node of the null device (as /dev/null) at `path`; false when the
// process may not make one (not root).
inline bool MakeNullDevice(const std::string& path) {
    return ::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
}

// Runs `body` in a child process in which no file can grow past `bytes`
// (SIGXFSZ ignored, so such a write fails with EFBIG). Answers the
// child's exit code (body's result, 0 to 255), or -1 when the child did not
// exit normally.
inline int RunWithFileSizeLimit(rlim_t bytes, const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = bytes;
        int code = 100;
        if (::setrlimit(RLIMIT_FSIZE, &limit) == 0)
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

} // namespace filetargets
