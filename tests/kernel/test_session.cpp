#include "kernel/session_factory.h"
#include "kernel/session_i.h"
#include "neutral/unifs.h"

#include "base/process.h"
#include "base/xmemory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

const char* const kDisable = "DISABLE_QELKERNEL_JOURNAL";

bool processFactoryIsJournaled() {
    return dynamic_cast<KWPISessionFactory_j*>(KGetPISessionFactory()) != nullptr;
}

TEST(Session, OneSessionForTheProcess) {
    xrchandle<KWPISession> first = KGetPISession();
    ASSERT_NE(first.get(), nullptr);
    KWPISession* session = first.get();
    EXPECT_NE(dynamic_cast<KWPISession_i*>(session), nullptr);
    EXPECT_EQ(KGetPISession().get(), session);
    first.release();
    // The factory keeps its own reference: releasing every handle of the
    // caller leaves the session alive.
    xrchandle<KWPISession> again = KGetPISession();
    EXPECT_EQ(again.get(), session);
    EXPECT_EQ(again->refCount(), 2);
    EXPECT_EQ(KGetPISessionFactory(), KGetPISessionFactory());
}

TEST(Session, ProcessWideStepsRunOnce) {
    KGetPISession();
    const int memory = init_memory_calls();
    EXPECT_GE(memory, 1);
    for (int i = 0; i < 3; ++i)
        KGetPISession();
    EXPECT_EQ(init_memory_calls(), memory);
    EXPECT_EQ(NotifySessionCreatedCalls(), 1);
    // The session registered the file locations; later requests do nothing.
    const int kernel = uni_register_kernel_location_calls();
    const int bnfs = uni_register_bnfs_location_calls();
    EXPECT_GE(kernel, 1);
    EXPECT_GE(bnfs, 1);
    InitFileLocations();
    EXPECT_EQ(unifs_initialize(), 0);
    EXPECT_EQ(uni_register_kernel_location_calls(), kernel);
    EXPECT_EQ(uni_register_bnfs_location_calls(), bnfs);
}

int g_journalingAsked = 0;
bool journalingOn() {
    ++g_journalingAsked;
    return true;
}
bool journalingOff() {
    ++g_journalingAsked;
    return false;
}

TEST(SessionFactoryChoice, VariableFirstThenJournalingSwitch) {
    struct Case {
        const char* disable;
        bool (*journaling)();
        bool journaled;
        int asked;
    } cases[] = {
        {"1", journalingOn, false, 0},  {"", journalingOn, false, 0},
        {"0", journalingOff, false, 0}, {nullptr, journalingOn, true, 1},
        {nullptr, journalingOff, false, 1}, {nullptr, nullptr, false, 0},
    };
    for (const Case& c : cases) {
        g_journalingAsked = 0;
        EXPECT_EQ(KSessionFactoryIsJournaled(c.disable, c.journaling), c.journaled)
            << (c.disable ? c.disable : "(unset)");
        EXPECT_EQ(g_journalingAsked, c.asked);
    }
}

TEST(SessionFactoryChoice, ProcessFactoryFollowsTheChoice) {
    // Nothing in this program changes the variable or the switch before the
    // first session, so the choice made then is the one these give now.
    EXPECT_EQ(processFactoryIsJournaled(),
              KSessionFactoryIsJournaled(btk_getenv(kDisable), &KGetZorvanJournaling));
}

// Runs the first KGetPISession of a fresh process under the given variable
// and switch, then flips both and asks again; reports on stderr.
[[noreturn]] void firstSessionIn(const char* disable, bool journaling) {
    if (disable)
        setenv(kDisable, disable, 1);
    else
        unsetenv(kDisable);
    KSetZorvanJournaling(journaling);
    KWPISession* first = KGetPISession().get();
    const bool journaled = processFactoryIsJournaled();
    if (disable)
        unsetenv(kDisable);
    else
        setenv(kDisable, "1", 1);
    KSetZorvanJournaling(!journaling);
    const bool same = KGetPISession().get() == first;
    InitFileLocations();
    unifs_initialize();
    std::fprintf(stderr, "journaled=%d kept=%d same=%d memory=%d notified=%d quiet=%d files=%d%d\n",
                 journaled, processFactoryIsJournaled() == journaled, same, init_memory_calls(),
                 NotifySessionCreatedCalls(), msg_put_disabled(),
                 uni_register_kernel_location_calls(), uni_register_bnfs_location_calls());
    std::fflush(stderr);
    std::_Exit(0);
}

class FreshProcess : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(FreshProcess, VariableSetMeansPlainWhateverTheSwitch) {
    EXPECT_EXIT(firstSessionIn("1", true), ::testing::ExitedWithCode(0),
                "journaled=0 kept=1 same=1 memory=1 notified=1 quiet=1 files=11");
}

TEST_F(FreshProcess, SwitchOnMeansJournaled) {
    EXPECT_EXIT(firstSessionIn(nullptr, true), ::testing::ExitedWithCode(0),
                "journaled=1 kept=1 same=1 memory=1 notified=1 quiet=1 files=11");
}

TEST_F(FreshProcess, SwitchOffMeansPlain) {
    EXPECT_EXIT(firstSessionIn(nullptr, false), ::testing::ExitedWithCode(0),
                "journaled=0 kept=1 same=1 memory=1 notified=1 quiet=1 files=11");
}

} // namespace
