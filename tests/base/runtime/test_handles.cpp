#include "xhandle.h"
#include "counting.h"

#include <gtest/gtest.h>

namespace {

using Handles = LiveCountTest;

TEST_F(Handles, TakeAndGiveBackOneReferenceEach) {
    CountLog la, lb;
    {
        xrchandle<Counted> empty(static_cast<Counted*>(nullptr));
        EXPECT_TRUE(empty.isNull());
        xrchandle<Counted> zero(0);
        EXPECT_TRUE(zero.isNull());

        xrchandle<Counted> h(new Counted(la));
        EXPECT_EQ(h->refCount(), 1);
        {
            xrchandle<Counted> copy(h);
            EXPECT_EQ(copy.get(), h.get());
            EXPECT_EQ(h->refCount(), 2);
        }
        EXPECT_EQ(h->refCount(), 1);

        xrchandle<Counted> other(new Counted(lb));
        other = h; // b goes, a gains one
        EXPECT_EQ(lb.destroyed, 1);
        EXPECT_EQ(h->refCount(), 2);
        other.release();
        EXPECT_TRUE(other.isNull());
        other.release(); // releasing an empty handle does nothing
        EXPECT_EQ(h->refCount(), 1);
        EXPECT_EQ(la.destroyed, 0);
    }
    EXPECT_EQ(la.attaches, la.releases);
    EXPECT_EQ(la.destroyed, 1);
    EXPECT_EQ(lb.attaches, 1);
    EXPECT_EQ(lb.releases, 1);
}

TEST_F(Handles, AssigningTheHeldObjectKeepsItAlive) {
    CountLog log;
    {
        xrchandle<Counted> h(new Counted(log));
        h = h.get();
        ASSERT_EQ(log.destroyed, 0);
        const xrchandle<Counted>& same = h;
        h = same;
        ASSERT_EQ(log.destroyed, 0);
        EXPECT_EQ(h->refCount(), 1);

        xrcunihandle<Counted> u(h.get());
        h.release(); // u is the only holder now
        u = u.get();
        ASSERT_EQ(log.destroyed, 0);
        const xrcunihandle<Counted>& usame = u;
        u = usame;
        ASSERT_EQ(log.destroyed, 0);
        EXPECT_EQ(u->refCount(), 1);
    }
    EXPECT_EQ(log.destroyed, 1);
}

TEST_F(Handles, UniHandleNeverReleasesAnObjectThatIsNotCounted) {
    CountLog fixedLog, countedLog;
    Counted fixed(fixedLog, 0, /*countable=*/false);
    {
        xrcunihandle<Counted> u(&fixed);
        EXPECT_FALSE(u.isRefCountable());
        xrcunihandle<Counted> copy(u);
        copy.release();
        u = &fixed;
        u = nullptr;
        u = &fixed;
        // From an uncounted object to a counted one and back.
        u = new Counted(countedLog);
        EXPECT_TRUE(u.isRefCountable());
        EXPECT_EQ(u->refCount(), 1);
        u = &fixed;
        EXPECT_EQ(countedLog.destroyed, 1);
        EXPECT_FALSE(u.isRefCountable());
    }
    EXPECT_EQ(fixedLog.attaches, 0);
    EXPECT_EQ(fixedLog.releases, 0);
    EXPECT_EQ(fixedLog.destroyed, 0);
    EXPECT_EQ(fixed.refCount(), 0);
    EXPECT_EQ(countedLog.attaches, 1);
    EXPECT_EQ(countedLog.releases, 1);
}

TEST_F(Handles, CountedHandleNeverFreesAnObjectThatLivesElsewhere) {
    CountLog log;
    Counted member(log, 0, /*countable=*/false);
    {
        xrchandle<Counted> h(&member);
        xrchandle<Counted> copy(h);
        EXPECT_EQ(member.refCount(), 2);
    }
    EXPECT_EQ(member.refCount(), 0);
    EXPECT_EQ(log.destroyed, 0);
}

TEST_F(Handles, RawReferenceFunctionsAcceptNull) {
    xrcattach(nullptr);
    xrcrelease(nullptr);
    xrcuniattach(nullptr);
    xrcunirelease(nullptr);
    CountLog log;
    auto* c = new Counted(log);
    xrcattach(c);
    xrcattach(c);
    xrcrelease(c);
    EXPECT_EQ(log.destroyed, 0);
    xrcrelease(c); // the last release destroys
    EXPECT_EQ(log.destroyed, 1);
}

using HandlesDeathTest = LiveCountTest;

// A release without a matching attach (count 0) must stop the process
// rather than free the object.
TEST_F(HandlesDeathTest, ReleasingAnUnattachedObjectStops) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            CountLog log;
            Counted c(log);
            xrcrelease(&c);
        },
        "released more often than attached");
}

} // namespace
