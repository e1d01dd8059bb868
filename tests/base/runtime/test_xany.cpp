#include "xany.h"
#include "counting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

using XAny = LiveCountTest;

const char* const kNullText = reinterpret_cast<const char*>(1);
const char* const kUninitText = reinterpret_cast<const char*>(2);

TEST_F(XAny, IntSentinels) {
    xany null(INT32_MIN);
    EXPECT_EQ(null.kind(), xany::kNull);
    EXPECT_EQ(int(null), INT32_MIN);
    EXPECT_EQ(double(null), 1e126);
    EXPECT_TRUE(xstring(null).isNullMarker());

    xany uninit(INT32_MIN + 1);
    EXPECT_EQ(uninit.kind(), xany::kUninit);
    EXPECT_EQ(int(uninit), INT32_MIN + 1);
    EXPECT_EQ(double(uninit), 9e125);
    EXPECT_STREQ(xstring(uninit).c_str(), "uninit");

    xany v(-7);
    EXPECT_EQ(v.kind(), xany::kInt);
    EXPECT_EQ(int(v), -7);
    v.setInt2(12);
    EXPECT_EQ(v.kind(), xany::kInt2);
    EXPECT_EQ(int(v), 12);
    EXPECT_TRUE(v.canBeInt2());
    EXPECT_FALSE(v.canBeInt());
}

TEST_F(XAny, RealSentinelsAreComparedExactly) {
    xany u(9e125);
    EXPECT_EQ(u.kind(), xany::kUninit);
    EXPECT_EQ(int(u), INT32_MIN + 1);
    EXPECT_EQ(xany(1e126).kind(), xany::kNull);
    EXPECT_EQ(xany(std::nextafter(9e125, 0.0)).kind(), xany::kReal);
    xany nan(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(nan.kind(), xany::kReal);
    EXPECT_TRUE(std::isnan(double(nan)));
    EXPECT_EQ(double(xany(2.5)), 2.5);
}

TEST_F(XAny, TextAndStringSentinels) {
    xany a(kNullText);
    EXPECT_EQ(a.kind(), xany::kNull);
    a = kUninitText;
    EXPECT_EQ(a.kind(), xany::kUninit);
    a = static_cast<const char*>(nullptr); // stored as null, never read
    EXPECT_EQ(a.kind(), xany::kNull);
    a = "text";
    EXPECT_EQ(a.kind(), xany::kString);
    EXPECT_STREQ(xstring(a).c_str(), "text");
    a = "";
    EXPECT_EQ(a.kind(), xany::kString);
    EXPECT_STREQ(xstring(a).c_str(), "");

    EXPECT_EQ(xany(xstring::nullMarker()).kind(), xany::kNull);
    xany s(xstring("shared"));
    xany copy(s);
    s = 1; // the copy keeps its own lock on the text
    EXPECT_STREQ(xstring(copy).c_str(), "shared");
    xstring out = copy;
    copy = 2.0;
    EXPECT_STREQ(out.c_str(), "shared");
}

TEST_F(XAny, BoolSentinelsAndKindTests) {
    xany b;
    b = xbool(0x80);
    EXPECT_EQ(b.kind(), xany::kNull);
    b = xbool(0x81);
    EXPECT_EQ(b.kind(), xany::kUninit);
    b = xbool(1);
    EXPECT_EQ(b.kind(), xany::kBool);
    EXPECT_EQ(b.asBool(), 1);

    EXPECT_EQ(xany_null().kind(), xany::kNull);
    EXPECT_EQ(xany_uninit().kind(), xany::kUninit);
    EXPECT_TRUE(xany().isUninit());
    for (const xany* s : {&xany_null(), &xany_uninit()}) {
        EXPECT_TRUE(s->canBeInt() && s->canBeInt2() && s->canBeReal() && s->canBeString());
    }
    EXPECT_FALSE(xany(1.5).canBeInt());
    EXPECT_FALSE(xany("x").canBeReal());
    EXPECT_FALSE(xany(3).canBeString());
}

TEST_F(XAny, ObjectKindHoldsOneReference) {
    CountLog log;
    xrchandle<Counted> h(new Counted(log));
    {
        xany a(static_cast<xobject*>(h.get()));
        EXPECT_EQ(a.kind(), xany::kObject);
        EXPECT_EQ(a.asObject(), h.get());
        EXPECT_EQ(h->refCount(), 2);
        xany copy(a);
        EXPECT_EQ(h->refCount(), 3);
        a = 5; // gives its object back once
        EXPECT_EQ(log.releases, 1);
        EXPECT_EQ(h->refCount(), 2);
        const xany& same = copy;
        copy = same; // self-assignment keeps it
        copy = static_cast<xobject*>(h.get());
        EXPECT_EQ(h->refCount(), 2);
    }
    EXPECT_EQ(h->refCount(), 1);
    EXPECT_EQ(log.attaches, log.releases + 1);
    // The only holder: xany releasing it destroys it.
    xany last(static_cast<xobject*>(h.get()));
    h.release();
    last = 1.0;
    EXPECT_EQ(log.destroyed, 1);
}

using XAnyDeathTest = LiveCountTest;

TEST_F(XAnyDeathTest, WrongKindConversionsAbort) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH({ int v = xany("text"); (void)v; }, "Can not convert xany to xint\\..*cipxobj_i:169");
    EXPECT_DEATH({ double v = xany(5); (void)v; }, "Can not convert xany to xreal\\..*cipxobj_i:201");
    EXPECT_DEATH({ xstring v = xany(5); (void)v; },
                 "Can not convert xany to xrstring\\..*cipxobj_i:225");
}

} // namespace
