// A stand-in for the host server on the loopback address: it records every
// text request it receives and answers each with the next scripted reply
// ("0" when none is left), or with what a function of the request gives.
// Serves on a thread of its own until destroyed.
// Also a bounded run of the client's job loop.
#pragma once

#include "api/zpi50_client.h"
#include "client/zr_strings.h"
#include "net.h"

#include <chrono>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zr_test {

class FakeHost {
public:
    FakeHost() {
        ok_ = server_.Init(0, "127.0.0.1");
        server_.SetTimeSlice(0.02);
        if (ok_)
            thread_ = std::thread([this] { server_.Run(); });
    }
    ~FakeHost() {
        server_.RequestStop();
        if (thread_.joinable())
            thread_.join();
        server_.Shutdown();
    }
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    bool Ok() const { return ok_; }
    // Serves the files of `location` (not owned; null: none) to 'G' and 'W'.
    void ServeFiles(unilocation* location) { server_.SetLocationDriver(location); }
    std::string Url() const { return "bnfs://127.0.0.1:" + std::to_string(server_.GetPort()) + "/"; }

    // Replies given in order to the requests that follow.
    void Script(std::vector<std::string> replies) {
        std::lock_guard<std::mutex> hold(mutex_);
        replies_.assign(replies.begin(), replies.end());
    }
    std::vector<std::string> Requests() const {
        std::lock_guard<std::mutex> hold(mutex_);
        return requests_;
    }
    size_t Count() const {
        std::lock_guard<std::mutex> hold(mutex_);
        return requests_.size();
    }
    std::string Last() const {
        std::lock_guard<std::mutex> hold(mutex_);
        return requests_.empty() ? std::string() : requests_.back();
    }
    // From now on each request is answered with answer(request), on the
    // host's thread (an empty function: the script again).
    void AnswerWith(std::function<std::string(const std::string&)> answer) {
        std::lock_guard<std::mutex> hold(mutex_);
        answer_ = std::move(answer);
    }
    void Clear() {
        std::lock_guard<std::mutex> hold(mutex_);
        requests_.clear();
        replies_.clear();
    }

private:
    std::string Answer(const std::string& request) {
        std::function<std::string(const std::string&)> answer;
        {
            std::lock_guard<std::mutex> hold(mutex_);
            requests_.push_back(request);
            answer = answer_;
        }
        if (answer)
            return answer(request);
        std::lock_guard<std::mutex> hold(mutex_);
        if (replies_.empty())
            return "0";
        std::string reply = replies_.front();
        replies_.pop_front();
        return reply;
    }

    class Session : public bnfsSession {
    public:
        Session(btkSocketStream* stream, bnfsServer* server, FakeHost* host)
            : bnfsSession(stream, server, 10), host_(host) {}

    protected:
        void DoOtherRequest() override {
            btkString text;
            if (!ReadSessionText(In(), text))
                return;
            // The reply as a text item of all its bytes, zero bytes too.
            const std::string reply = host_->Answer(text.str());
            Out() << '_' << reply.size() << ':';
            Out().write(reply.data(), static_cast<std::streamsize>(reply.size()));
            Out().flush();
        }

    private:
        FakeHost* host_;
    };

    class Server : public bnfsServer {
    public:
        explicit Server(FakeHost* host) : host_(host) {}

    protected:
        bnfsSession* MakeSession(btkSocketStream* stream) override { return new Session(stream, this, host_); }

    private:
        FakeHost* host_;
    };

    Server server_{this};
    std::thread thread_;
    bool ok_ = false;
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::deque<std::string> replies_;
    std::function<std::string(const std::string&)> answer_;
};

// Runs `run` (ZrRunClient, say) on a thread of its own and waits for it
// within `bound`; a loop still waiting for jobs then is stopped, so that
// the test fails instead of hanging. Whether it returned by itself, and
// what it answered.
template <class Run> std::pair<bool, bool> RunBounded(Run run, std::chrono::duration<double> bound) {
    std::promise<bool> answered;
    std::future<bool> result = answered.get_future();
    std::thread loop([&] { answered.set_value(run()); });
    const bool byItself = result.wait_for(bound) == std::future_status::ready;
    if (!byItself)
        ZrRequestClientLoopStop();
    loop.join();
    return {byItself, result.get()};
}

} // namespace zr_test
