#include "client/zr_options.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

TEST(TranslationOptions, TypedGettersAnswerOnlyTheirType) {
    ZrTranslationOptions opts;
    ASSERT_TRUE(opts.SetInteger("count", 7));
    ASSERT_TRUE(opts.SetDouble("tol", 0.5));
    ASSERT_TRUE(opts.SetString("unit", "mm"));
    EXPECT_EQ(opts.Count(), 3);

    int i = -4;
    double d = -4.0;
    char text[8] = "keep";
    EXPECT_TRUE(opts.GetInteger("count", i));
    EXPECT_EQ(i, 7);
    EXPECT_TRUE(opts.GetDouble("tol", d));
    EXPECT_EQ(d, 0.5);
    EXPECT_TRUE(opts.GetString("unit", text));
    EXPECT_STREQ(text, "mm");

    // Wrong type or missing name: false, outputs untouched.
    i = -4;
    d = -4.0;
    std::strcpy(text, "keep");
    EXPECT_FALSE(opts.GetInteger("tol", i));
    EXPECT_FALSE(opts.GetDouble("count", d));
    EXPECT_FALSE(opts.GetString("count", text));
    EXPECT_FALSE(opts.GetInteger("Count", i)); // case-sensitive
    EXPECT_FALSE(opts.GetInteger(nullptr, i));
    EXPECT_FALSE(opts.GetString("unit", nullptr));
    EXPECT_EQ(i, -4);
    EXPECT_EQ(d, -4.0);
    EXPECT_STREQ(text, "keep");
}

TEST(TranslationOptions, IsSetByType) {
    ZrTranslationOptions opts;
    opts.SetInteger("zero", 0);
    opts.SetInteger("one", 1);
    opts.SetDouble("dzero", 0.0);
    opts.SetDouble("nzero", -0.0);
    opts.SetDouble("nan", std::numeric_limits<double>::quiet_NaN());
    opts.SetString("text", "x");

    int v = 9;
    EXPECT_FALSE(opts.IsSet("zero"));
    EXPECT_TRUE(opts.GetInteger("zero", v));
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(opts.IsSet("one"));
    EXPECT_FALSE(opts.IsSet("dzero"));
    EXPECT_FALSE(opts.IsSet("nzero"));
    EXPECT_TRUE(opts.IsSet("nan"));
    EXPECT_TRUE(opts.IsSet("text"));
    EXPECT_FALSE(opts.IsSet("missing"));
}

TEST(TranslationOptions, LaterSetterReplacesTypeAndValue) {
    ZrTranslationOptions opts;
    ASSERT_TRUE(opts.SetInteger("a", 3));
    ASSERT_TRUE(opts.SetDouble("a", 0.5));
    EXPECT_EQ(opts.Count(), 1);
    EXPECT_EQ(opts.GetType("a"), ZrTranslationOptions::kDouble);
    int i = 0;
    EXPECT_FALSE(opts.GetInteger("a", i));

    // A text replaced by a text and then by a number frees the old texts
    // (the leak checker watches this).
    ASSERT_TRUE(opts.SetString("a", "first"));
    ASSERT_TRUE(opts.SetString("a", "second"));
    EXPECT_EQ(opts.GetStringLength("a"), 6);
    ASSERT_TRUE(opts.SetInteger("a", 1));
    EXPECT_EQ(opts.Count(), 1);
    EXPECT_EQ(opts.GetStringLength("a"), -1);
}

TEST(TranslationOptions, SettersRefuseEmptyNamesAndTexts) {
    ZrTranslationOptions opts;
    EXPECT_FALSE(opts.SetInteger("", 1));
    EXPECT_FALSE(opts.SetDouble(nullptr, 1.0));
    EXPECT_FALSE(opts.SetString("name", ""));
    EXPECT_FALSE(opts.SetString("name", nullptr));
    EXPECT_FALSE(opts.SetString("", "v"));
    EXPECT_EQ(opts.Count(), 0);

    // A refused text leaves an existing option as it was.
    opts.SetInteger("name", 5);
    EXPECT_FALSE(opts.SetString("name", ""));
    int v = 0;
    EXPECT_TRUE(opts.GetInteger("name", v));
    EXPECT_EQ(v, 5);
}

TEST(TranslationOptions, BoundedTextGetter) {
    ZrTranslationOptions opts;
    opts.SetString("path", "abcdef");
    char buf[8];
    std::memset(buf, 'z', sizeof buf);
    EXPECT_FALSE(opts.GetString("path", buf, 6)); // needs 7 with the terminator
    EXPECT_EQ(buf[0], 'z');
    EXPECT_TRUE(opts.GetString("path", buf, 7));
    EXPECT_STREQ(buf, "abcdef");
}

TEST(TranslationOptions, ManyNamesStaySortedAndReachable) {
    ZrTranslationOptions opts;
    for (int k = 999; k >= 0; --k)
        ASSERT_TRUE(opts.SetInteger(("opt" + std::to_string(k)).c_str(), k));
    EXPECT_EQ(opts.Count(), 1000);
    for (int k = 0; k < 1000; ++k) {
        int v = -1;
        ASSERT_TRUE(opts.GetInteger(("opt" + std::to_string(k)).c_str(), v));
        EXPECT_EQ(v, k);
    }
    opts.ClearMem();
    EXPECT_EQ(opts.Count(), 0);
    int v = 0;
    EXPECT_FALSE(opts.GetInteger("opt1", v));
    // Usable again after clearing.
    EXPECT_TRUE(opts.SetString("opt1", "again"));
    EXPECT_TRUE(opts.IsSet("opt1"));
}
