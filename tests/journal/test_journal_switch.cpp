// Recording switched while calls are in flight: a record is written whole,
// exactly as its call answered, when recording was on as it was made, and
// not at all when it was off; also while the journal file is moved.
#include "journal_test_util.h"

#include "kpi_session.h"

#include "file_targets.h"
#include "memory_stream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

// "sequence<List,Element>(a,b)" or "sequence<List>()".
template <class L> std::string ListText(const char* list, const char* element, const xrchandle<L>& items) {
    if (items->Count() == 0)
        return std::string("sequence<") + list + ">()";
    std::string text = std::string("sequence<") + list + "," + element + ">(";
    for (int i = 0; i < items->Count(); ++i)
        text.append(i ? "," : "").append(Obj(items->Get(i)));
    return text + ")";
}

std::string IntsText(const xrchandle<xintsequence>& ints) {
    std::string text = "sequence<xintsequence>(";
    for (int i = 0; i < ints->Count(); ++i)
        text.append(i ? "," : "").append(std::to_string(ints->Get(i)));
    return text + ")";
}

// A call and the line it must have: `steady` 1 when recording was on for
// the whole call (exactly one line), 0 when it was off for the whole call
// (no line), -1 when it was switched meanwhile (the line, or none).
struct Call {
    std::string line;
    int steady;
};

// Recording switched by one thread; `generation` is odd while a switch is
// under way and counts every switch.
struct Switching {
    std::atomic<uint64_t> generation{0};
    void Switch(bool on) {
        generation.fetch_add(1);
        kkJournalSetRecording(on);
        generation.fetch_add(1);
    }
    // Runs `call` and tells how recording stood while it ran (see Call).
    template <class F> int Steady(F&& call) const {
        const uint64_t before = generation.load();
        const bool on = kkJournal::IsRecording();
        call();
        return generation.load() == before && before % 2 == 0 ? int(on) : -1;
    }
};

// One round of a walker on its own model: each call has inputs or a
// target made for it, so that each line belongs to one call. The line each
// call must have goes to `calls`; a wrong answer counts in `wrongAnswers`.
void Walk(const xrchandle<KWPIModel>& model, const xrchandle<KPISurface>& surface, int id,
          const Switching& switching, std::vector<Call>& calls, int& wrongAnswers) {
    const std::string m = Obj(model);
    xrchandle<xintsequence> edges(xintsequence::create());
    for (int e = 1; e <= 4; ++e)
        edges->Append(10 * id + e);
    xrchandle<KPILoop> loop;
    int steady = switching.Steady([&] { loop = model->CreatePILoop(KPI_LOOP_TRAV_EXTERNAL, edges); });
    calls.push_back({m + ".CreatePILoop(KPILoopTraversal(" + std::to_string(int(KPI_LOOP_TRAV_EXTERNAL)) +
                         ")," + IntsText(edges) + ") -> " + Obj(loop),
                     steady});
    xrchandle<xintsequence> read;
    steady = switching.Steady([&] { read = loop->GetEdgeIds(); });
    calls.push_back({Obj(loop) + ".GetEdgeIds() -> " + IntsText(read), steady});
    wrongAnswers += read->Count() != 4 || read->Get(3) != 10 * id + 4;

    xrchandle<KBoxUV> uv = KBoxUV::Create(KCreatePointUV(0, 0), KCreatePointUV(1, 1));
    xrchandle<KPILoopList> loops(KPILoopList::create());
    loops->Append(loop);
    xrchandle<KPIFace> face;
    steady = switching.Steady(
        [&] { face = model->CreatePIFace(id, uv, KPISURFACE_ORIENT_POSITIVE, surface, loops); });
    calls.push_back({m + ".CreatePIFace(" + std::to_string(id) + ",KBoxUV(0,0,1,1),KPISurfOrient(" +
                         std::to_string(int(KPISURFACE_ORIENT_POSITIVE)) + ")," + Obj(surface) + "," +
                         ListText("KPILoopList", "KPILoop", loops) + ") -> " + Obj(face),
                     steady});
    const std::string f = Obj(face);
    int answer = 0;
    steady = switching.Steady([&] { answer = face->GetId(); });
    calls.push_back({f + ".GetId() -> " + std::to_string(answer), steady});
    wrongAnswers += answer != id;
    xrchandle<KPILoopList> faceLoops;
    steady = switching.Steady([&] { faceLoops = face->GetPILoopList(); });
    calls.push_back({f + ".GetPILoopList() -> " + ListText("KPILoopList", "KPILoop", faceLoops), steady});
    wrongAnswers += faceLoops->Count() != 1;
    xrchandle<KPISurface> on;
    steady = switching.Steady([&] { on = face->GetPISurface(); });
    calls.push_back({f + ".GetPISurface() -> " + Obj(on), steady});
    wrongAnswers += on.isNull();
}

using JournalSwitch = JournalFileTest;

// Threads walk their models while another switches recording on and off,
// pausing for random stretches, and now and then moves the journal to a
// new file: every line in the files is the line of a call that was made,
// with its target, its inputs and what it answered, and of one call only;
// a call during which recording stayed on has its line, and one during
// which it stayed off has none. The walkers walk their rounds, and on,
// a round a millisecond, until the file has been moved twice (however fast
// the build, calls are made into a file the switcher left whole); only a
// hang reaches the deadline.
TEST_F(JournalSwitch, EveryLineIsTrueWhileRecordingIsSwitched) {
    constexpr int kWalkers = 6, kRounds = 120, kMoves = 2;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::vector<xrchandle<KWPIModel>> models;
    std::vector<xrchandle<KPISurface>> surfaces;
    for (int t = 0; t < kWalkers; ++t) {
        models.push_back(WrappedModel(1, 4));
        surfaces.push_back(models.back()->GetPIFaceByIndex(0)->GetPISurface());
    }
    filetargets::ScratchDir dir;
    std::vector<std::string> paths{dir.Path("calls.0")};
    ASSERT_TRUE(kkJournalSetFile(paths[0].c_str()));
    kkJournalClear();
    Switching switching;
    std::vector<std::vector<Call>> calls(kWalkers);
    std::vector<int> wrongAnswers(kWalkers, 0);
    std::atomic<int> walking{kWalkers};
    std::atomic<long> switches{0};
    std::atomic<int> moves{0};
    std::thread switcher([&] {
        uint64_t state = 0x9e3779b97f4a7c15u;
        bool on = false;
        for (long i = 1; walking.load() > 0; ++i) {
            switching.Switch(on = !on);
            switches.store(i);
            if (i % 64 == 0) {
                paths.push_back(dir.Path("calls." + std::to_string(paths.size())));
                EXPECT_TRUE(kkJournalSetFile(paths.back().c_str()));
                moves.fetch_add(1);
            }
            // A pause of random length: none, up to 50 us, or 1 ms now and
            // then, so that calls run both across switches and without one.
            state = state * 6364136223846793005u + 1442695040888963407u;
            const unsigned roll = unsigned(state >> 33);
            if (roll % 16 == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            } else if (roll % 4 != 0) {
                const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(roll % 50);
                while (std::chrono::steady_clock::now() < until) {
                }
            }
        }
    });
    std::vector<std::thread> walkers;
    for (int t = 0; t < kWalkers; ++t)
        walkers.emplace_back([&, t] {
            for (int r = 0; r < kRounds || (moves.load() < kMoves && std::chrono::steady_clock::now() < deadline);
                 ++r) {
                if (r >= kRounds)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                Walk(models[size_t(t)], surfaces[size_t(t)], 1000 + kWalkers * r + t, switching, calls[size_t(t)],
                     wrongAnswers[size_t(t)]);
            }
            walking.fetch_sub(1);
        });
    for (std::thread& walker : walkers)
        walker.join();
    switcher.join();
    kkJournalSetRecording(true);
    ASSERT_TRUE(kkJournalSetFile(nullptr));
    EXPECT_GE(paths.size(), size_t(1 + kMoves)) << "the journal file was moved " << paths.size() - 1
                                                 << " times while the calls were made";
    EXPECT_EQ(kkJournalRecords(), std::vector<std::string>{}) << "memory kept a copy beside the file";

    // Each call's line, and whether a line was seen for it.
    std::unordered_map<std::string, std::pair<const Call*, int>> byLine;
    for (int t = 0; t < kWalkers; ++t) {
        EXPECT_EQ(wrongAnswers[size_t(t)], 0);
        for (const Call& call : calls[size_t(t)])
            ASSERT_TRUE(byLine.emplace(call.line, std::make_pair(&call, 0)).second) << call.line;
    }
    int untrue = 0, torn = 0;
    for (const std::string& path : paths) {
        const std::string text = filetargets::ReadAll(path);
        torn += !text.empty() && text.back() != '\n';
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            auto it = byLine.find(line);
            if (it == byLine.end()) {
                if (++untrue <= 5)
                    ADD_FAILURE() << "no call answered: " << line;
            } else {
                ++it->second.second;
            }
        }
    }
    int twice = 0, missing = 0, unwanted = 0, steadyOn = 0, steadyOff = 0;
    for (const auto& entry : byLine) {
        const Call& call = *entry.second.first;
        const int lines = entry.second.second;
        twice += lines > 1;
        steadyOn += call.steady == 1;
        steadyOff += call.steady == 0;
        if (call.steady == 1 && lines != 1 && ++missing <= 5)
            ADD_FAILURE() << "recording was on throughout, yet no line: " << call.line;
        if (call.steady == 0 && lines != 0 && ++unwanted <= 5)
            ADD_FAILURE() << "recording was off throughout, yet a line: " << call.line;
    }
    EXPECT_EQ(untrue + torn + twice + missing + unwanted, 0)
        << untrue << " untrue, " << torn << " files ending in a torn line, " << twice
        << " lines written twice, " << missing << " missing, " << unwanted << " unwanted; of "
        << byLine.size() << " calls, " << switches.load() << " switches, " << paths.size() << " files";
    // Both kinds of steady call were seen, so both checks were made.
    EXPECT_GT(steadyOn, 0);
    EXPECT_GT(steadyOff, 0);
}

// A caller's stream that switches recording when it is first written to,
// that is while SaveAsNeutral runs.
class SwitchingStream : public MemoryStream {
public:
    explicit SwitchingStream(bool to) : to_(to) {}
    int Write(const void* buffer, int count) override {
        kkJournalSetRecording(to_);
        return MemoryStream::Write(buffer, count);
    }

private:
    bool to_;
};

TEST_F(JournalSwitch, RecordingSwitchedInsideACallDecidesNothingForIt) {
    xrchandle<KWPIModel> model = WrappedModel(1, 4);
    kkJournalClear();

    // Switched on inside the call: the call is not journaled, the next is.
    kkJournalSetRecording(false);
    xrchandle<SwitchingStream> on(new SwitchingStream(true));
    model->SaveAsNeutral(xrchandle<KCStream>(on.get()));
    ASSERT_FALSE(on->data.empty());
    EXPECT_TRUE(kkJournal::IsRecording());
    model->CountPIFaces();
    EXPECT_EQ(Records(), std::vector<std::string>{Obj(model) + ".CountPIFaces() -> 1"});

    // Switched off inside the call: the call is journaled whole, the next
    // is not.
    xrchandle<SwitchingStream> off(new SwitchingStream(false));
    model->SaveAsNeutral(xrchandle<KCStream>(off.get()));
    EXPECT_FALSE(kkJournal::IsRecording());
    model->CountPIFaces();
    EXPECT_EQ(Record(), Obj(model) + ".SaveAsNeutral(" + Obj(static_cast<xobject*>(off.get())) + ")");
}

} // namespace
