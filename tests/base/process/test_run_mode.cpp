// The run mode's text: a decimal integer with blanks around it (beyond int,
// the nearest int), else 0; one line says so.
#include "process.h"
#include "file_targets.h"
#include "quoted_text.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

TEST(RunMode, TextOfTheVariable) {
    EXPECT_EQ(run_mode_from_text(nullptr), 0);
    EXPECT_EQ(run_mode_from_text(""), 0);
    EXPECT_EQ(run_mode_from_text("1"), 1);
    EXPECT_EQ(run_mode_from_text(" 7\n"), 7);
    EXPECT_EQ(run_mode_from_text("-3"), -3);
    for (const char* off : {"0", "x", "1x", "1 2", "+1", "0x10", "1e3", " "})
        EXPECT_EQ(run_mode_from_text(off), 0) << off;
    // Beyond int: the nearest int, as nonzero as the number.
    EXPECT_EQ(run_mode_from_text(" 99999999999999999999"), INT_MAX);
    EXPECT_EQ(run_mode_from_text("-99999999999 "), INT_MIN);
    EXPECT_STREQ(ZBASE_RUN_MODE_VARIABLE, "ZORVAN_RUN_MODE");

    bool taken = false;
    run_mode_from_text(nullptr, &taken);
    EXPECT_TRUE(taken);
    run_mode_from_text(" 2 ", &taken);
    EXPECT_TRUE(taken);
    for (const char* refused : {"", "on", "1.5", "2147483648"}) {
        run_mode_from_text(refused, &taken);
        EXPECT_FALSE(taken) << refused;
    }
}

// The mode is read once per process, so each value is tried in a child.
// A value that is not taken is told in one line, even with messages kept
// quiet; one that is taken, or none, says nothing.
TEST(RunMode, AValueNotTakenIsToldInOneLine) {
    filetargets::ScratchDir dir;
    auto said = [&](const char* value, int expected) {
        const std::string out = dir.Path("said");
        const int code = filetargets::RunInChild(
            [&] {
                const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
                if (fd < 0 || ::dup2(fd, 2) < 0)
                    return false;
                disable_msg_put(1);
                return value ? ::setenv(ZBASE_RUN_MODE_VARIABLE, value, 1) == 0
                             : ::unsetenv(ZBASE_RUN_MODE_VARIABLE) == 0;
            },
            [&] { return get_run_mode() == expected && get_run_mode() == expected ? 0 : 1; });
        EXPECT_EQ(code, 0) << (value ? value : "(unset)");
        return filetargets::ReadAll(out);
    };
    EXPECT_EQ(said("verbose", 0),
              "ZORVAN_RUN_MODE=\"verbose\" is not a whole number; the run mode is 0\n");
    EXPECT_EQ(said("", 0), "ZORVAN_RUN_MODE=\"\" is not a whole number; the run mode is 0\n");
    EXPECT_EQ(said("99999999999999999999", INT_MAX),
              "ZORVAN_RUN_MODE=\"99999999999999999999\" is out of range; the run mode is "
              "2147483647\n");
    // A value is quoted on the line's one line, as it stands: a line end
    // and a line of the library's own after it, bytes that are not UTF-8.
    for (const char* forged : {"1\nSaveAsNeutral: forged line", "\xFF\xFE\x1B[2J"})
        EXPECT_TRUE(quotedtest::QuotesOnOneLine(said(forged, 0), forged));
    EXPECT_EQ(said(" 3 ", 3), "");
    EXPECT_EQ(said(nullptr, 0), "");
}
