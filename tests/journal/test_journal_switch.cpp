// Recording switched while calls are in flight: a record is written whole,
// exactly as its call answered, when recording was on as it was made, and
// not at all when it was off.
#include "journal_test_util.h"

#include "kpi_session.h"

#include "memory_stream.h"

#include <gtest/gtest.h>

#include <atomic>
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
        text += (i ? "," : "") + Obj(items->Get(i));
    return text + ")";
}

std::string IntsText(const xrchandle<xintsequence>& ints) {
    std::string text = "sequence<xintsequence>(";
    for (int i = 0; i < ints->Count(); ++i)
        text += (i ? "," : "") + std::to_string(ints->Get(i));
    return text + ")";
}

// Walks the model once: every call's line as it must read if it is
// journaled goes to `expected`; a wrong answer counts in `wrongAnswers`.
void Walk(const xrchandle<KWPIModel>& model, int count, std::vector<std::string>& expected,
          int& wrongAnswers) {
    const std::string m = Obj(model);
    xrchandle<KPIFaceList> faces = model->GetPIFaces();
    expected.push_back(m + ".GetPIFaces() -> " + ListText("KPIFaceList", "KPIFace", faces));
    wrongAnswers += faces->Count() != count;
    for (int f = 0; f < faces->Count(); ++f) {
        xrchandle<KPIFace> face = faces->Get(f);
        const std::string name = Obj(face);
        const int id = face->GetId();
        expected.push_back(name + ".GetId() -> " + std::to_string(id));
        wrongAnswers += id != f + 1;
        xrchandle<KPILoopList> loops = face->GetPILoopList();
        expected.push_back(name + ".GetPILoopList() -> " + ListText("KPILoopList", "KPILoop", loops));
        wrongAnswers += loops->Count() != 1;
        for (int l = 0; l < loops->Count(); ++l) {
            xrchandle<xintsequence> edges = loops->Get(l)->GetEdgeIds();
            expected.push_back(Obj(loops->Get(l)) + ".GetEdgeIds() -> " + IntsText(edges));
            wrongAnswers += edges->Count() != 4 || edges->Get(3) != 10 * id + 4;
        }
        xrchandle<KPIFace> byIndex = model->GetPIFaceByIndex(f);
        expected.push_back(m + ".GetPIFaceByIndex(" + std::to_string(f) + ") -> " + Obj(byIndex));
    }
    const int counted = model->CountPIFaces();
    expected.push_back(m + ".CountPIFaces() -> " + std::to_string(counted));
    wrongAnswers += counted != count;
}

class JournalSwitch : public JournalTest {
protected:
    void SetUp() override {
        KGetPISession();
        JournalTest::SetUp();
    }
    void TearDown() override {
        kkJournalSetMemoryLimit(10000);
        JournalTest::TearDown();
    }
};

// Threads walk one model while another switches recording on and off as
// fast as it can: every journal line is the line of a call that was made,
// with its target, its inputs and what it answered.
TEST_F(JournalSwitch, EveryLineIsTrueWhileRecordingIsSwitched) {
    constexpr int kWalkers = 6, kRounds = 120, kFaces = 4;
    xrchandle<KWPIModel> model = WrappedModel(kFaces, 4);
    kkJournalClear();
    kkJournalSetMemoryLimit(1'000'000);
    std::vector<std::vector<std::string>> expected(kWalkers);
    std::vector<int> wrongAnswers(kWalkers, 0);
    std::atomic<int> walking{kWalkers};
    std::atomic<long> switches{0};
    std::thread switcher([&] {
        for (bool on = false; walking.load() > 0; on = !on) {
            kkJournalSetRecording(on);
            switches.fetch_add(1);
        }
    });
    std::vector<std::thread> walkers;
    for (int t = 0; t < kWalkers; ++t)
        walkers.emplace_back([&, t] {
            for (int r = 0; r < kRounds; ++r)
                Walk(model, kFaces, expected[size_t(t)], wrongAnswers[size_t(t)]);
            walking.fetch_sub(1);
        });
    for (std::thread& walker : walkers)
        walker.join();
    switcher.join();
    kkJournalSetRecording(true);

    std::unordered_map<std::string, int> open;
    size_t calls = 0;
    for (int t = 0; t < kWalkers; ++t) {
        EXPECT_EQ(wrongAnswers[size_t(t)], 0);
        for (const std::string& line : expected[size_t(t)])
            ++open[line];
        calls += expected[size_t(t)].size();
    }
    const std::vector<std::string> lines = Records();
    int untrue = 0;
    for (const std::string& line : lines) {
        auto it = open.find(line);
        if (it == open.end() || it->second == 0) {
            if (++untrue <= 5)
                ADD_FAILURE() << "no call answered: " << line;
        } else {
            --it->second;
        }
    }
    EXPECT_EQ(untrue, 0) << "of " << lines.size() << " lines, " << calls << " calls, "
                         << switches.load() << " switches";
    EXPECT_LE(lines.size(), calls);
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
