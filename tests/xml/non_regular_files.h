// Paths that name something other than a regular file, for the tests of the
// document readers: a scratch folder holding a directory and a FIFO, both
// with a document's name, removed at the end; and a guard that runs a read
// on a thread of its own and says whether it returned in time (a read that
// blocks on the FIFO is released by opening the FIFO's writing end, so the
// test fails instead of hanging).
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace zpitest {

class NonRegularFiles {
public:
    NonRegularFiles() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zpi_nonregular_XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            root_ = pattern;
        ok_ = !root_.empty() && ::mkdir(Directory().c_str(), 0700) == 0 &&
              ::mkfifo(Fifo().c_str(), 0600) == 0;
    }
    ~NonRegularFiles() {
        if (!root_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(root_, ec);
        }
    }
    NonRegularFiles(const NonRegularFiles&) = delete;
    NonRegularFiles& operator=(const NonRegularFiles&) = delete;

    bool Ok() const { return ok_; }
    std::string Directory() const { return root_ + "/folder.xml"; }
    std::string Fifo() const { return root_ + "/pipe.xml"; }

    // Runs `read` on a thread; true when it returned within `limit`. When
    // it did not, the FIFO gets a writer (and loses it again) until the
    // read returns, so the thread can be joined.
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
    std::string root_;
    bool ok_ = false;
};

} // namespace zpitest
