// A stand-in host for the client benchmarks: a bnfs server on a thread of
// its own, with an in-memory location, that answers every request at once
// with one session text.
#pragma once

#include "net.h"
#include "uniloc.h"

#include <string>
#include <thread>
#include <utility>

namespace zpibench {

class AnsweringHost : public bnfsServer {
public:
    explicit AnsweringHost(std::string answer = "0\n42", int sessionSeconds = 10)
        : answer_(std::move(answer)), sessionSeconds_(sessionSeconds) {
        mem_.MakeDirectory("/ZPI", 0, nullptr);
        SetLocationDriver(&mem_);
        Init(0, nullptr);
        SetTimeSlice(0.05);
        thread_ = std::thread([this] { Run(); });
    }
    ~AnsweringHost() override {
        RequestStop();
        thread_.join();
        Shutdown();
    }
    std::string Url() const { return "bnfs://127.0.0.1:" + std::to_string(GetPort()) + "/"; }

protected:
    class Answering : public bnfsSession {
    public:
        Answering(btkSocketStream* s, AnsweringHost* host)
            : bnfsSession(s, host, host->sessionSeconds_), answer_(host->answer_) {}

    protected:
        void DoOtherRequest() override {
            btkString text;
            ReadSessionText(In(), text);
            WriteSessionText(Out(), answer_.c_str());
        }

    private:
        const std::string& answer_;
    };

    bnfsSession* MakeSession(btkSocketStream* s) override { return new Answering(s, this); }

private:
    const std::string answer_;
    const int sessionSeconds_;
    unimemlocation mem_{"bench"};
    std::thread thread_;
};

} // namespace zpibench
