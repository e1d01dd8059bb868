#include "btkstring.h"
#include "xstring.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace {

TEST(BtkStringWords, SplitOnSeparatorSet) {
    btkString s("a\nb\nc");
    EXPECT_EQ(s.GetWord(0, "\n", 0), "a");
    EXPECT_EQ(s.GetWord(1, "\n", 0), "b");
    EXPECT_EQ(s.GetWord(2, "\n", 0), "c");
    EXPECT_TRUE(s.GetWord(3, "\n", 0).IsEmpty());
    EXPECT_TRUE(s.GetWord(-1, "\n", 0).IsEmpty());
    EXPECT_EQ(s.GetNWords("\n", 0), 3);

    // Empty words, leading and trailing separators are not counted.
    btkString e("\na\n\n\nb\n");
    EXPECT_EQ(e.GetNWords("\n", 0), 2);
    EXPECT_EQ(e.GetWord(0, "\n", 0), "a");
    EXPECT_EQ(e.GetWord(1, "\n", 0), "b");
    EXPECT_EQ(e.GetWords(0, "\n", 0), "a\n\n\nb");
    EXPECT_EQ(btkString("").GetNWords("\n", 0), 0);
    EXPECT_EQ(btkString("\n\n").GetNWords("\n", 0), 0);
    EXPECT_TRUE(btkString("\n\n").GetWord(0, "\n", 0).IsEmpty());

    // Any character of the set separates.
    btkString xyz(" 1.5\t-2 \n 3e2 ");
    EXPECT_EQ(xyz.GetNWords(" \t\n", 0), 3);
    EXPECT_EQ(xyz.GetWord(1, " \t\n", 0), "-2");
    EXPECT_EQ(xyz.GetWord(2, " \t\n", 0), "3e2");
    // No separator: the whole text is one word.
    EXPECT_EQ(xyz.GetWord(0, "", 0), " 1.5\t-2 \n 3e2 ");

    // A nonzero flag counts empty words.
    btkString k("a\n\nb\n");
    EXPECT_EQ(k.GetNWords("\n", 1), 4);
    EXPECT_TRUE(k.GetWord(1, "\n", 1).IsEmpty());
    EXPECT_EQ(k.GetWord(2, "\n", 1), "b");
}

TEST(BtkStringWords, WordsFromNToTheLast) {
    btkString req("110\nx\ny");
    EXPECT_EQ(req.GetWord(0, "\n", 0).AsInt(), 110);
    EXPECT_EQ(req.GetWords(1, "\n", 0), "x\ny");
    EXPECT_EQ(req.GetWords(2, "\n", 0), "y");
    EXPECT_TRUE(req.GetWords(3, "\n", 0).IsEmpty());
    btkString job("path\n2\na\n\nb\n");
    EXPECT_EQ(job.GetWords(2, "\n", 0), "a\n\nb");
    btkZString two;
    job.getWords(two, 1, 2, "\n", 0);
    EXPECT_EQ(two, "2\na");

    std::vector<btkString> all = job.Split("\n", 0);
    ASSERT_EQ(all.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(all[i], job.GetWord(i, "\n", 0));
}

TEST(BtkStringNumbers, ToIntAndAsInt) {
    int v = 77;
    EXPECT_TRUE(btkString("42").ToInt(v));
    EXPECT_EQ(v, 42);
    EXPECT_TRUE(btkString("-5").ToInt(v));
    EXPECT_EQ(v, -5);
    EXPECT_TRUE(btkString("+7").ToInt(v));
    EXPECT_EQ(v, 7);
    EXPECT_TRUE(btkString("2147483647").ToInt(v));
    EXPECT_EQ(v, INT32_MAX);
    EXPECT_TRUE(btkString("-2147483648").ToInt(v));
    EXPECT_EQ(v, INT32_MIN);
    v = 77;
    for (const char* bad : {"", "-", "+", "12a", " 1", "1 ", "2147483648", "-2147483649", "+-1",
                            "--1", "0x10", "1.0", "99999999999999999999"}) {
        EXPECT_FALSE(btkString(bad).ToInt(v)) << bad;
        EXPECT_EQ(v, 77) << bad;
        EXPECT_EQ(btkString(bad).AsInt(), -1) << bad;
    }
    EXPECT_EQ(btkString("0012").AsInt(), 12);
    EXPECT_EQ(btkString::FromInt(-123), "-123");
    EXPECT_EQ(IntToString(-5), "-5");
    EXPECT_EQ(IntToString(INT32_MIN), "-2147483648");

    double d = 3;
    EXPECT_TRUE(btkString("-1.25e-3").ToDouble(d));
    EXPECT_EQ(d, -1.25e-3);
    d = 3;
    for (const char* bad : {"", "1,5", "1.5x", " 1", "+-1", "1e999"}) {
        EXPECT_FALSE(btkString(bad).ToDouble(d)) << bad;
        EXPECT_EQ(d, 3.0) << bad;
    }
}

const double kSamples[] = {0.0,      -0.0,       1.0,     -1.0,       0.1,     1.0 / 3.0,
                           2.5,      1e300,      -1.5e-300, 123456789012345678.0, 1e18,
                           1e17,     1e-5,       1e-4,    123.456,    DBL_MAX, DBL_MIN,
                           std::numeric_limits<double>::denorm_min(), 42.0, -7.125e7};

TEST(BtkStringNumbers, DoubleToStringMatchesPrintfAndRoundTrips) {
    for (double v : kSamples) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.18lg", v);
        btkString text = DoubleToString(v);
        EXPECT_EQ(text, buf) << buf;
        double back = 0;
        ASSERT_TRUE(text.ToDouble(back)) << buf;
        EXPECT_EQ(std::signbit(back), std::signbit(v));
        EXPECT_EQ(back, v) << buf;
    }
    EXPECT_EQ(DoubleToString(HUGE_VAL), "inf");
    EXPECT_EQ(DoubleToString(-HUGE_VAL), "-inf");
    double back = 0;
    EXPECT_TRUE(DoubleToString(-HUGE_VAL).ToDouble(back));
    EXPECT_EQ(back, -HUGE_VAL);
}

// A locale whose decimal separator is a comma, or "" when none is installed.
std::string find_comma_locale() {
    std::string found;
    const char* saved = std::setlocale(LC_NUMERIC, nullptr);
    std::string restore = saved ? saved : "C";
    auto try_one = [&](const std::string& name) {
        if (std::setlocale(LC_NUMERIC, name.c_str()) &&
            std::string(std::localeconv()->decimal_point) == ",")
            found = name;
        std::setlocale(LC_NUMERIC, restore.c_str());
        return !found.empty();
    };
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
        if (try_one(name))
            return found;
    if (FILE* p = popen("locale -a 2>/dev/null", "r")) {
        char line[256];
        int lines = 0;
        while (found.empty() && lines++ < 2000 && std::fgets(line, sizeof line, p)) {
            std::string name(line);
            while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
                name.pop_back();
            if (!name.empty())
                try_one(name);
        }
        pclose(p);
    }
    return found;
}

TEST(BtkStringNumbers, LocaleDoesNotChangeNumberTexts) {
    std::string comma = find_comma_locale();
    if (comma.empty())
        GTEST_SKIP() << "no locale with a decimal comma installed";
    std::string restore = std::setlocale(LC_NUMERIC, nullptr);
    ASSERT_NE(std::setlocale(LC_NUMERIC, comma.c_str()), nullptr);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.18lg", 1.5);
    EXPECT_STREQ(buf, "1,5"); // the locale really is in force
    EXPECT_EQ(DoubleToString(1.5), "1.5");
    EXPECT_EQ(DoubleToString(-0.1), "-0.100000000000000006");
    double d = 0;
    EXPECT_TRUE(btkString("2.25").ToDouble(d));
    EXPECT_EQ(d, 2.25);
    EXPECT_FALSE(btkString("2,25").ToDouble(d));
    EXPECT_EQ(IntToString(-5), "-5");
    std::setlocale(LC_NUMERIC, restore.c_str());
}

TEST(BtkString, BuildAndEdit) {
    btkString a("ab");
    btkString b = a + "cd";
    EXPECT_EQ(b, "abcd");
    EXPECT_EQ("x" + a, "xab");
    EXPECT_EQ(a + b, "ababcd");
    a += "!";
    a += '?';
    a += btkZString("z");
    EXPECT_EQ(a, "ab!?z");
    EXPECT_EQ(a.GetLength(), 5);
    EXPECT_TRUE(a.StartsWith("ab!"));
    EXPECT_FALSE(a.StartsWith("b"));
    EXPECT_STREQ(static_cast<const char*>(a), "ab!?z");
    a.Clear();
    EXPECT_TRUE(a.IsEmpty());
    btkString n(static_cast<const char*>(nullptr));
    EXPECT_TRUE(n.IsEmpty());

    btkString x("a&b&&c");
    EXPECT_EQ(x.Substitute("&", "&amp;", 1, -1), 3);
    EXPECT_EQ(x, "a&amp;b&amp;&amp;c");
    btkString y("1-2-3-4");
    EXPECT_EQ(y.Substitute("-", "+", 2, 1), 1);
    EXPECT_EQ(y, "1-2+3-4");
    EXPECT_EQ(y.Substitute("", "+", 1, -1), 0);
    EXPECT_EQ(y.Substitute("q", "+", 1, -1), 0);

    std::string long_text(5000, 'x');
    btkString f = btk_sprintf("%s|%d|%s", "a", 42, long_text.c_str());
    EXPECT_EQ(f.GetLength(), 5000 + 5);
    EXPECT_TRUE(f.StartsWith("a|42|x"));

    char* copy = Strnew__("hello");
    EXPECT_STREQ(copy, "hello");
    delete[] copy;
    EXPECT_EQ(Strnew__(nullptr), nullptr);
}

TEST(BtkWString, Operations) {
    btkWString w(u"7\nab\n\ncd");
    EXPECT_EQ(w.GetNWords(u"\n", 0), 3);
    EXPECT_EQ(w.GetWord(1, u"\n", 0), u"ab");
    EXPECT_EQ(w.GetWords(1, u"\n", 0), u"ab\n\ncd");
    EXPECT_EQ(w.GetWord(0, u"\n", 0).AsInt(), 7);
    EXPECT_EQ(w.AsInt(), -1);
    EXPECT_EQ(btkWString(u"-12").AsInt(), -12);
    EXPECT_EQ(btkWString(u"\u0661").AsInt(), -1); // not an ASCII digit
    EXPECT_EQ(btkWString::FromInt(-5), u"-5");
    btkWString s = btkWString(u"a") + u"b" + btkWString(u"c");
    EXPECT_EQ(s, u"abc");
    EXPECT_EQ(s.Substitute(u"b", u"BB"), 1);
    EXPECT_EQ(s, u"aBBc");
    EXPECT_EQ(btkWString::FromUtf8("\xC3\xA9t\xC3\xA9").ToUtf8(), "\xC3\xA9t\xC3\xA9");
    EXPECT_FALSE(s.IsEmpty());
    s.Clear();
    EXPECT_TRUE(s.IsEmpty());
}

// U+1F600 is four UTF-8 bytes and a UTF-16 surrogate pair.
const char kSmile8[] = "a\xF0\x9F\x98\x80" "b";
const char16_t kSmile16[] = u"a\U0001F600b";

TEST(Utf, Utf8ToUtf16CutsOnCharacterBoundaries) {
    char16_t out[8];
    struct Case {
        int capacity;
        int written;
    } cases[] = {{1, 0}, {2, 1}, {3, 1}, {4, 3}, {5, 4}, {8, 4}};
    for (auto c : cases) {
        std::fill(std::begin(out), std::end(out), u'#');
        EXPECT_EQ(strtows(kSmile8, out, c.capacity), c.written) << c.capacity;
        EXPECT_EQ(out[c.written], 0) << c.capacity;
        EXPECT_EQ(std::u16string(out), std::u16string(kSmile16, size_t(c.written)));
        if (c.capacity < 8) {
            EXPECT_EQ(out[c.capacity], u'#'); // nothing past the capacity
        }
    }
    EXPECT_EQ(strtows(kSmile8, out, 0), 0);
    EXPECT_EQ(strtows(kSmile8, nullptr, 5), 0);
    EXPECT_EQ(strtows(nullptr, out, 5), 0);
    EXPECT_EQ(out[0], 0);
}

TEST(Utf, Utf16ToUtf8CutsOnCharacterBoundaries) {
    char out[10];
    struct Case {
        int capacity;
        int written;
    } cases[] = {{1, 0}, {2, 1}, {5, 1}, {6, 5}, {7, 6}, {10, 6}};
    for (auto c : cases) {
        std::fill(std::begin(out), std::end(out), '#');
        EXPECT_EQ(wstostr(kSmile16, out, c.capacity), c.written) << c.capacity;
        EXPECT_EQ(std::string(out), std::string(kSmile8, size_t(c.written)));
        if (c.capacity < 10) {
            EXPECT_EQ(out[c.capacity], '#');
        }
    }
    EXPECT_EQ(btkStrUtf16ToUtf8(kSmile16, out, 3), 1);
}

TEST(Utf, InvalidInputBecomesReplacementCharacter) {
    // Truncated, overlong, encoded surrogate, stray continuation, above U+10FFFF.
    EXPECT_EQ(btkStrUtf8ToUtf16("x\xC3"), u"x\uFFFD");
    EXPECT_EQ(btkStrUtf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
    EXPECT_EQ(btkStrUtf8ToUtf16("\xED\xA0\x80z"), u"\uFFFD\uFFFD\uFFFDz");
    EXPECT_EQ(btkStrUtf8ToUtf16("\x80"), u"\uFFFD");
    EXPECT_EQ(btkStrUtf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(btkStrUtf8ToUtf16("\xE2\x82"), u"\uFFFD");
    const char16_t lone_high[] = {u'a', 0xD83D, u'b', 0};
    const char16_t lone_low[] = {0xDE00, 0};
    EXPECT_EQ(btkStrUtf16ToUtf8(lone_high), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(btkStrUtf16ToUtf8(lone_low), "\xEF\xBF\xBD");

    std::string mixed = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80";
    EXPECT_EQ(btkStrUtf16ToUtf8(btkStrUtf8ToUtf16(mixed.c_str()).c_str()), mixed);
    EXPECT_EQ(btkStrUtf8ToUtf16(static_cast<const char*>(nullptr)), u"");
    EXPECT_EQ(btkStrUtf16ToUtf8(static_cast<const char16_t*>(nullptr)), "");
}

// The strict conversions refuse what the others replace, and give back
// exactly what they were given otherwise.
TEST(Utf, StrictConversionsRefuseInvalidInput) {
    std::u16string wide;
    for (const char* bad : {"x\xC3", "\xC0\xAF", "\xED\xA0\x80z", "\x80", "\xF4\x90\x80\x80",
                            "\xE2\x82", "\xE0\x80\x80", "a\xFF"})
        EXPECT_FALSE(btkStrUtf8ToUtf16Strict(bad, wide)) << bad;
    std::string narrow;
    const char16_t lone_high[] = {u'a', 0xD83D, u'b', 0};
    const char16_t lone_low[] = {0xDE00, 0};
    const char16_t high_at_end[] = {u'a', 0xD83D, 0};
    const char16_t swapped[] = {0xDE00, 0xD83D, 0};
    for (const char16_t* bad : {lone_high, lone_low, high_at_end, swapped})
        EXPECT_FALSE(btkStrUtf16ToUtf8Strict(bad, narrow));

    const std::string mixed = "Gr\xC3\xBC\xC3\x9F"
                              "e \xE2\x82\xAC \xF0\x9F\x98\x80 \xEF\xBF\xBD";
    ASSERT_TRUE(btkStrUtf8ToUtf16Strict(mixed, wide));
    EXPECT_EQ(wide, btkStrUtf8ToUtf16(mixed));
    ASSERT_TRUE(btkStrUtf16ToUtf8Strict(wide, narrow));
    EXPECT_EQ(narrow, mixed);
    EXPECT_TRUE(btkStrUtf8ToUtf16Strict("", wide));
    EXPECT_TRUE(wide.empty());
}

TEST(Utf, CharacterLengthTellsWellFormedCharacters) {
    EXPECT_EQ(btkUtf8CharLength("a"), 1);
    EXPECT_EQ(btkUtf8CharLength(std::string_view("\0", 1)), 1);
    EXPECT_EQ(btkUtf8CharLength("\xC3\xA9x"), 2);
    EXPECT_EQ(btkUtf8CharLength("\xEF\xBF\xBD"), 3); // U+FFFD itself is a character
    EXPECT_EQ(btkUtf8CharLength("\xF0\x9F\x98\x80"), 4);
    // Empty, cut, overlong, encoded surrogate, stray continuation, above U+10FFFF.
    for (std::string_view bad : {"", "\xC3", "\xE2\x82", "\xC0\xAF", "\xE0\x80\x80", "\xED\xA0\x80",
                                 "\x80", "\xF4\x90\x80\x80", "\xFF", "\xC3z"})
        EXPECT_EQ(btkUtf8CharLength(bad), 0) << bad.size();
}

TEST(XString, GetLengthCountsCharactersAsTheWideFormDoes) {
    // ASCII: one unit per byte; two- and three-byte characters: one unit;
    // a character outside the Basic Multilingual Plane: a surrogate pair.
    EXPECT_EQ(xstring("abc").GetLength(), 3);
    xstring mixed("Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80");
    EXPECT_EQ(mixed.length(), 16u);
    EXPECT_EQ(mixed.GetLength(), 10);
    EXPECT_EQ(size_t(mixed.GetLength()), mixed.wstr().size());
    EXPECT_EQ(xstring(u"a\U0001F600").GetLength(), 3);
    // A byte that is no character counts as the one replacement character
    // that its wide form holds.
    EXPECT_EQ(xstring("x\xFF").GetLength(), 2);
    // Empty texts and the two markers have no characters.
    EXPECT_EQ(xstring().GetLength(), 0);
    EXPECT_EQ(xstring("").GetLength(), 0);
    EXPECT_EQ(xstring::nullMarker().GetLength(), 0);
    EXPECT_EQ(xstring::uninitMarker().GetLength(), 0);
    // The count stops where the wide form does, at an embedded zero.
    EXPECT_EQ(xstring("ab\0cd", 5).GetLength(), 2);
}

TEST(Utf, WideCHelpers) {
    EXPECT_EQ(wslen(kSmile16), 4);
    EXPECT_EQ(wslen(nullptr), 0);
    char16_t buf[8];
    EXPECT_EQ(std::u16string(wscpy(buf, kSmile16)), kSmile16);
    wsncpy(buf, kSmile16, 3); // the pair does not fit: only "a"
    EXPECT_EQ(std::u16string(buf), u"a");
    wsncpy(buf, kSmile16, 4);
    EXPECT_EQ(std::u16string(buf), u"a\U0001F600");
    wsncpy(buf, u"xyz", 1);
    EXPECT_EQ(buf[0], 0);
    wsncpy(buf, nullptr, 8);
    EXPECT_EQ(buf[0], 0);
}

} // namespace
