// Numbers read from environment texts: the whole text or nothing, and the
// caller's value left alone when the text is no number.
#include "process.h"

#include <gtest/gtest.h>

TEST(EnvNumbers, WholeTextOrNothing) {
    int i = 7;
    EXPECT_TRUE(btk_number_from_text("\t-12 ", true, i));
    EXPECT_EQ(i, -12);
    i = 7;
    for (const char* bad : {"", " ", "-12 ", "12abc", "1.5", "+3", "99999999999"})
        EXPECT_FALSE(btk_number_from_text(bad, false, i)) << bad;
    EXPECT_FALSE(btk_number_from_text(nullptr, true, i));
    EXPECT_EQ(i, 7);

    double d = 2;
    EXPECT_TRUE(btk_number_from_text("2.5e1", false, d));
    EXPECT_EQ(d, 25);
    EXPECT_TRUE(btk_number_from_text(" 0.125\n", true, d));
    EXPECT_EQ(d, 0.125);
    d = 2;
    for (const char* bad : {"", " 1", "1,5", "1e", "x"})
        EXPECT_FALSE(btk_number_from_text(bad, false, d)) << bad;
    EXPECT_EQ(d, 2);
}
