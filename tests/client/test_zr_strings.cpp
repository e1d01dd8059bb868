#include "client/zr_strings.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> argsOf(ZrArgv& argv) {
    std::vector<std::string> out;
    for (int i = 0; i < argv.GetArgc(); ++i)
        out.emplace_back(argv.GetArgv()[i]);
    EXPECT_EQ(argv.GetArgv()[argv.GetArgc()], nullptr);
    return out;
}

using Strings = std::vector<std::string>;

TEST(ZrArgv, ArgumentIsLineOfText) {
    ZrArgv three(3, "a\nb\nc");
    EXPECT_EQ(argsOf(three), (Strings{"a", "b", "c"}));
    ZrArgv two(2, "a\nb\nc");
    EXPECT_EQ(argsOf(two), (Strings{"a", "b"}));
    // An empty line is an empty argument and does not shift the others.
    ZrArgv gap(3, "a\n\nc");
    EXPECT_EQ(argsOf(gap), (Strings{"a", "", "c"}));
}

TEST(ZrArgv, CountFromOutsideIsBoundedByTheLinesPresent) {
    ZrArgv negative(-1, "a\nb\nc");
    EXPECT_EQ(negative.GetArgc(), 0);
    ZrArgv huge(99, "a\nb\nc");
    EXPECT_EQ(argsOf(huge), (Strings{"a", "b", "c"}));
    ZrArgv trailing(5, "a\nb\n");
    EXPECT_EQ(argsOf(trailing), (Strings{"a", "b"}));
    ZrArgv empty(4, "");
    EXPECT_EQ(empty.GetArgc(), 0);
    ZrArgv null(2, nullptr);
    EXPECT_EQ(null.GetArgc(), 0);
    ZrArgv maxCount(INT32_MAX, "x");
    EXPECT_EQ(argsOf(maxCount), (Strings{"x"}));
}

TEST(ZrJobRequest, CutsPathCountAndArguments) {
    ZrJobRequest job("bnfs://host:1/ZPI/part.xml\n2\n-a\n-b");
    EXPECT_STREQ(job.GetPath(), "bnfs://host:1/ZPI/part.xml");
    EXPECT_EQ(job.GetArgCount(), 2);
    EXPECT_STREQ(job.GetArgs(), "-a\n-b");
    ZrArgv argv(job.GetArgCount(), job.GetArgs());
    EXPECT_EQ(argsOf(argv), (Strings{"-a", "-b"}));

    ZrJobRequest notANumber("p\nmany\nx");
    EXPECT_EQ(notANumber.GetArgCount(), 0);
    ZrJobRequest shortText("p");
    EXPECT_STREQ(shortText.GetPath(), "p");
    EXPECT_EQ(shortText.GetArgCount(), 0);
    EXPECT_STREQ(shortText.GetArgs(), "");
    // Parse replaces everything of a previous text.
    job.Parse("q\n1");
    EXPECT_STREQ(job.GetPath(), "q");
    EXPECT_EQ(job.GetArgCount(), 1);
    EXPECT_STREQ(job.GetArgs(), "");
}

TEST(ZrCallbackRequest, OpcodeAndRest) {
    ZrCallbackRequest request("110\nx\ny");
    EXPECT_EQ(request.GetOpcode(), 110);
    EXPECT_STREQ(request.GetArgs(), "x\ny");

    ZrCallbackRequest word("abc\nx\ny");
    EXPECT_EQ(word.GetOpcode(), -1);
    EXPECT_STREQ(word.GetArgs(), "x\ny");
    ZrCallbackRequest padded(" 110\nx");
    EXPECT_EQ(padded.GetOpcode(), -1);
    ZrCallbackRequest overflow("99999999999\nx");
    EXPECT_EQ(overflow.GetOpcode(), -1);
    ZrCallbackRequest bare("112");
    EXPECT_EQ(bare.GetOpcode(), 112);
    EXPECT_STREQ(bare.GetArgs(), "");
    ZrCallbackRequest empty("");
    EXPECT_EQ(empty.GetOpcode(), -1);
    // An empty first field stays in the rest.
    ZrCallbackRequest gap("149\n\nv");
    EXPECT_STREQ(gap.GetArgs(), "\nv");
}

TEST(SessionStream, WritesTypedItems) {
    std::ostringstream out;
    WriteSessionNumber(out, -5);
    WriteSessionText(out, "a\nb");
    WriteSessionText(out, nullptr);
    EXPECT_EQ(out.str(), "N-5;_3:a\nb_0:");
}

TEST(SessionStream, ReadsBackWhatWasWritten) {
    std::stringstream s;
    WriteSessionText(s, "first\nsecond");
    WriteSessionNumber(s, 153);
    WriteSessionText(s, "");
    btkString text;
    ASSERT_TRUE(ReadSessionText(s, text));
    EXPECT_STREQ(text, "first\nsecond");
    ASSERT_TRUE(ReadSessionText(s, text));
    EXPECT_STREQ(text, "153");
    ASSERT_TRUE(ReadSessionText(s, text));
    EXPECT_STREQ(text, "");
    EXPECT_FALSE(ReadSessionText(s, text)); // nothing left
}

TEST(SessionStream, MalformedOrShortItemsFail) {
    const char* bad[] = {
        "_1000000000:abc", // claims far more than is there
        "_5:abc",          // stream ends inside the text
        "_99999999999:",   // length beyond any text
        "_x:abc",          "_:abc", "N12", "N1x;", "Q1;", "",
    };
    for (const char* input : bad) {
        std::istringstream in(input);
        btkString text("stale");
        EXPECT_FALSE(ReadSessionText(in, text)) << input;
        EXPECT_STREQ(text, "") << input;
    }
}

} // namespace
