// The one rule by which told lines and refusals quote a text from outside.
#include "btk_quoted.h"
#include "quoted_text.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

TEST(Quoted, EachCharacterIsShownAsItStandsOrByItsEscape) {
    struct Case {
        std::string text, shown; // shown between the quotes
    };
    const Case cases[] = {
        {"", ""},
        {"plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        // The escape character and the quote, so that what is shown reads
        // back one way: four characters "\x0A" are not a line feed.
        {"a\\b", "a\\\\b"},
        {"\\x0A", "\\\\x0A"},
        {"say \"hi\"", "say \\\"hi\\\""},
        // C0 and DEL, one byte each.
        {"\0\t\n\v\f\r\x1B[2J\x1C\x1D\x1E\x7F"s, "\\x00\\x09\\x0A\\x0B\\x0C\\x0D\\x1B[2J\\x1C\\x1D\\x1E\\x7F"},
        // C1, the line and paragraph separators, the bidirectional controls
        // and the two noncharacters, by their code point.
        {"\xC2\x80\xC2\x85\xC2\x9B\xC2\x9F", "\\u0080\\u0085\\u009B\\u009F"},
        {"\xE2\x80\xA8\xE2\x80\xA9", "\\u2028\\u2029"},
        {"\xD8\x9C\xE2\x80\x8E\xE2\x80\x8F\xE2\x80\xAA\xE2\x80\xAE\xE2\x81\xA6\xE2\x81\xA9",
         "\\u061C\\u200E\\u200F\\u202A\\u202E\\u2066\\u2069"},
        {"\xEF\xBF\xBE\xEF\xBF\xBF", "\\uFFFE\\uFFFF"},
        // Their neighbours are characters as any other.
        {"\xC2\xA0\xD8\x9B\xE2\x80\x8B\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA\xEF\xBF\xBD",
         "\xC2\xA0\xD8\x9B\xE2\x80\x8B\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA\xEF\xBF\xBD"},
        // Bytes that are not UTF-8: stray, overlong, a surrogate, beyond
        // U+10FFFF, a cut sequence.
        {"\xFF\x80", "\\xFF\\x80"},
        {"\xC0\xAF", "\\xC0\\xAF"},
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},
        {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},
        {"\xE2\x82", "\\xE2\\x82"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(btkQuoted(c.text), "\"" + c.shown + "\"") << c.shown;
        EXPECT_EQ(btkQuotedCut(c.text), "\"" + c.shown + "\"") << c.shown;
        EXPECT_TRUE(quotedtest::QuotesOnOneLine(btkQuoted(c.text), c.text));
    }
    // Every single byte reads back.
    for (int b = 0; b < 256; ++b)
        EXPECT_TRUE(quotedtest::QuotesOnOneLine(btkQuoted(std::string(1, char(b))), std::string(1, char(b))))
            << b;
}

TEST(Quoted, ACutTextEndsBeforeACharacterNearEightyBytes) {
    const std::string a79(79, 'a');
    struct Case {
        std::string text, shown; // btkQuotedCut's
    };
    const Case cases[] = {
        {a79, "\"" + a79 + "\""},                                  // whole: nothing cut
        {a79 + "b", "\"" + a79 + "\"..."},                         // one byte more
        {a79.substr(1) + "\xC3\xA9", "\"" + a79.substr(1) + "\xC3\xA9\""}, // a character is whole
        {a79.substr(1) + "\xF0\x9F\x98\x80z", "\"" + a79.substr(1) + "\xF0\x9F\x98\x80\"..."},
        {a79 + "\xF0\x9F\x98\x80", "\"" + a79 + "\"..."},        // never inside a character
        {a79.substr(1) + "\n\n", "\"" + a79.substr(1) + "\\x0A\"..."}, // nor an escape
        {std::string(3000, '\\'), "\"" + std::string(80, '\\') + "\"..."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(btkQuotedCut(c.text), c.shown);
        EXPECT_TRUE(quotedtest::QuotesOnOneLine(btkQuotedCut(c.text), c.text, true));
        // The whole form is never cut.
        EXPECT_TRUE(quotedtest::QuotesOnOneLine(btkQuoted(c.text), c.text));
    }
}
