// The run mode's text: a decimal integer with blanks around it, else 0.
#include "process.h"

#include <gtest/gtest.h>

TEST(RunMode, TextOfTheVariable) {
    EXPECT_EQ(run_mode_from_text(nullptr), 0);
    EXPECT_EQ(run_mode_from_text(""), 0);
    EXPECT_EQ(run_mode_from_text("1"), 1);
    EXPECT_EQ(run_mode_from_text(" 7\n"), 7);
    EXPECT_EQ(run_mode_from_text("-3"), -3);
    for (const char* off : {"0", "x", "1x", "1 2", "+1", "0x10", "99999999999", " "})
        EXPECT_EQ(run_mode_from_text(off), 0) << off;
    EXPECT_STREQ(ZBASE_RUN_MODE_VARIABLE, "ZORVAN_RUN_MODE");
}
