// The quick paths of reading: element names as the parser hands them (many
// names, long ones, names beyond ASCII), texts gathered from the parser's
// chunks, words converted where they stand (exactly as the library
// conversion takes them), attribute numbers, and reader blocks kept for
// later readers while several threads read at once.
#include "xml/xml_test_util.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

namespace {

// Takes every element below the root as a text-valued child and records
// "name=text;" at its end; texts before a start tag reach characters().
struct Recorder : IntfXmlElement {
    std::string seen;
    std::string chunks;
    bool root = false;
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes&) override {
        if (!root) {
            root = true;
            return this;
        }
        PushName(name);
        return this;
    }
    void characters(const char* text, unsigned length) override {
        chunks += "[" + std::string(text, length) + "]";
        IntfXmlElement::characters(text, length);
    }
    IntfXmlElement* endElement(const char* name) override {
        if (NamesEmpty())
            return nullptr;
        if (PopName(name))
            seen += std::string(name) + "=" + Text() + ";";
        return this;
    }
};

std::string Read(Recorder& r, const std::string& body) {
    const std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<D>" + body + "</D>";
    IntfXmlParseBuffer(doc.data(), doc.size(), &r, "test");
    return r.seen;
}

// Takes every element below the root as a value child (its text gathered by
// the handler) and records "name=text;" as its value ends.
struct ValueRecorder : IntfXmlElement {
    std::string seen;
    bool root = false;
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes&) override {
        if (!root) {
            root = true;
            return this;
        }
        if (!NamesEmpty())
            IntfXmlThrowUnexpected(name, TopName().c_str());
        return TakeValue(0);
    }
    void EndValue(int, std::string_view text, const char* name) override {
        seen += std::string(name) + "=" + std::string(text) + ";";
    }
    IntfXmlElement* endElement(const char*) override { return nullptr; }
};

} // namespace

TEST(XmlReaderPaths, ElementNamesArriveAsWrittenWhateverTheirNumberAndLength) {
    // More names than are kept converted, names of every length up to
    // beyond what an entry holds, names beyond ASCII; each comes back many
    // times, interleaved.
    std::vector<std::string> names;
    for (int i = 0; i < 150; ++i)
        names.push_back("n" + std::to_string(i) + std::string(size_t(i % 60), char('a' + i % 26)));
    names.push_back("\xC3\xA9t\xC3\xA9");
    names.push_back("\xE4\xB8\xAD" + std::string(50, 'x'));
    std::string body, expected;
    for (int round = 0; round < 3; ++round)
        for (size_t i = 0; i < names.size(); ++i) {
            const size_t k = (i * 7 + size_t(round) * 13) % names.size();
            body += "<" + names[k] + ">" + std::to_string(k) + "</" + names[k] + ">\n\t";
            expected += names[k] + "=" + std::to_string(k) + ";";
        }
    Recorder r;
    EXPECT_EQ(Read(r, body), expected);
}

TEST(XmlReaderPaths, ValueTextsArriveWholeWhateverTheirLengthAndCharacters) {
    // Short and long texts, texts the parser hands in several chunks
    // (entities, character references, sections), beyond ASCII, only
    // whitespace, empty.
    const std::string big(200000, '5');
    const std::string body = "<A>1</A>\n\t<B>0.333333333333333315</B><C>" + big +
                             "</C><E>x &amp; y<![CDATA[ <3> ]]>&#233;z</E><F>\xE2\x82\xAC " +
                             std::string(70, 'q') + "</F><G> \n\t</G><H></H><I/>";
    const std::string doc = "<D>" + body + "</D>";
    ValueRecorder r;
    IntfXmlParseBuffer(doc.data(), doc.size(), &r, "test");
    EXPECT_EQ(r.seen, "A=1;B=0.333333333333333315;C=" + big + ";E=x & y <3> \xC3\xA9z;F=\xE2\x82\xAC " +
                          std::string(70, 'q') + ";G= \n\t;H=;I=;");
    // A start tag inside a value is refused, naming the value.
    ValueRecorder nested;
    std::string msg;
    const std::string bad = "<D><A>12<B>3</B></A></D>";
    EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlParseBuffer(bad.data(), bad.size(), &nested, "t"); },
                               &msg),
              INTFXML_ERR_MALFORMED);
    EXPECT_NE(msg.find("\"B\""), std::string::npos) << msg;
    EXPECT_NE(msg.find("\"A\""), std::string::npos) << msg;
}

TEST(XmlReaderPaths, TextsAreGatheredWholeAndWhitespaceBeforeATagIsNotHandedOver) {
    Recorder r;
    const std::string big(200000, '5'); // handed over in several pieces
    EXPECT_EQ(Read(r, "\n\t<A>1 &amp; 2<![CDATA[ <3> ]]>&#233;</A>\n\t<B> </B><C>" + big +
                          "</C><E>\xE2\x82\xAC x\n</E>"),
              "A=1 & 2 <3> \xC3\xA9;B= ;C=" + big + ";E=\xE2\x82\xAC x\n;");
    // Whitespace before a start tag is dropped; text that is more than
    // whitespace still reaches characters() there.
    Recorder mixed;
    Read(mixed, "\n\t<A>a</A>x<B>b</B>\n\t");
    EXPECT_EQ(mixed.chunks.find("[\n\t]"), mixed.chunks.rfind("[\n\t]")); // only the last one
    EXPECT_NE(mixed.chunks.find("[x]"), std::string::npos);
    EXPECT_EQ(mixed.seen, "A=a;B=b;");
}

TEST(XmlReaderPaths, WordsConvertExactlyAsTheLibraryConversionTakesThem) {
    const char* doubles[] = {"0",       "-0",       "+0",      "007",   "-123456789012345",
                             "999999999999999",     "1234567890123456",  "12345678901234567890",
                             "1.5",     "-2.5e-3",  "1e308",   "4.9e-324", "+1", "inf", "-nan"};
    for (const char* w : doubles) {
        double slow = 0;
        ASSERT_TRUE(IntfXmlToDouble(w, slow)) << w;
        const double fast = IntfXmlParseDouble(std::string("\t") + w + "\n", "R");
        if (std::isnan(slow)) {
            EXPECT_TRUE(std::isnan(fast)) << w;
        } else {
            EXPECT_EQ(fast, slow) << w;
            EXPECT_EQ(std::signbit(fast), std::signbit(slow)) << w;
        }
    }
    const char* ints[] = {"0", "-0", "+7", "999999999", "-999999999", "1000000000",
                          "2147483647", "-2147483648", "0000000000012"};
    for (const char* w : ints) {
        int32_t slow = 0;
        ASSERT_TRUE(IntfXmlToInt(w, slow)) << w;
        EXPECT_EQ(IntfXmlParseInt(w, "I"), slow) << w;
    }
    for (const char* bad : {"-", "+", "+-1", "-+1", "1-", "12x", "1.5.", "0x10", "--1"}) {
        EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlParseDouble(bad, "R"); }), INTFXML_ERR_MALFORMED)
            << bad;
        EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlParseInt(bad, "I"); }), INTFXML_ERR_MALFORMED)
            << bad;
    }
    for (const char* bad : {"2147483648", "-2147483649", "99999999999", "1.0"})
        EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlParseInt(bad, "I"); }), INTFXML_ERR_MALFORMED)
            << bad;
    // Several words, separated by any of the four separators.
    IntfXmlWords words("1\t-2\r\n+3.5 4", "W");
    EXPECT_EQ(words.NextInt(), 1);
    EXPECT_EQ(words.NextDouble(), -2.0);
    EXPECT_EQ(words.NextDouble(), 3.5);
    EXPECT_EQ(words.NextInt(), 4);
    EXPECT_EQ(xmltest::ErrorOf([&] { words.NextInt(); }), INTFXML_ERR_MALFORMED);
}

namespace {

struct AttrReader : IntfXmlElement {
    std::function<void(IntfXmlAttributes&)> check;
    bool root = false;
    IntfXmlElement* startElement(const char*, IntfXmlAttributes& a) override {
        if (root)
            check(a);
        root = true;
        PushName("x");
        return this;
    }
    IntfXmlElement* endElement(const char* name) override {
        PopName(name);
        return NamesEmpty() ? nullptr : this;
    }
};

void WithAttributes(const std::string& tag, std::function<void(IntfXmlAttributes&)> check) {
    AttrReader r;
    r.check = std::move(check);
    const std::string doc = "<D>" + tag + "</D>";
    IntfXmlParseBuffer(doc.data(), doc.size(), &r, "test");
}

} // namespace

TEST(XmlReaderPaths, IntegerAttributesAreReadWhereTheyStand) {
    const std::string longNumber = std::string(70, '0') + "42";
    WithAttributes("<E a=\" 12 \" b=\"+7\" c=\"-0\" d=\"" + longNumber +
                       "\" e=\"\xC3\xA9\" f=\"1.5\"></E>",
                   [](IntfXmlAttributes& a) {
                       EXPECT_EQ(IntfXmlOptionalInt("a", a, 0, -1, "E"), 12);
                       EXPECT_EQ(IntfXmlOptionalInt("b", a, 1, -1, "E"), 7);
                       EXPECT_EQ(IntfXmlOptionalInt("c", a, 2, -1, "E"), 0);
                       EXPECT_EQ(IntfXmlOptionalInt("d", a, 3, -1, "E"), 42);
                       std::string msg;
                       EXPECT_EQ(xmltest::ErrorOf(
                                     [&] { IntfXmlOptionalInt("e", a, 4, -1, "E"); }, &msg),
                                 INTFXML_ERR_MALFORMED);
                       EXPECT_NE(msg.find("\xC3\xA9"), std::string::npos) << msg;
                       EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlOptionalInt("f", a, 5, -1, "E"); }),
                                 INTFXML_ERR_MALFORMED);
                       // Missing or not at its place: the fallback.
                       EXPECT_EQ(IntfXmlOptionalInt("a", a, 1, -5, "E"), -5);
                       EXPECT_EQ(IntfXmlOptionalInt("z", a, 0, -5, "E"), -5);
                       EXPECT_EQ(IntfXmlOptionalInt("a", a, 9, -5, "E"), -5);
                       EXPECT_EQ(IntfXmlRequireInt("a", a, 0, "E"), 12);
                       EXPECT_EQ(IntfXmlRequireDouble("f", a, 5, "E"), 1.5);
                   });
}

TEST(XmlReaderPaths, ThreadsReadingAtOnceEachGetTheirOwnResults) {
    // Readers are made and released on each thread while the others do the
    // same; every thread reads its own document right, many times.
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &wrong] {
            std::string body, expected;
            for (int i = 0; i < 200; ++i) {
                const std::string name = "T" + std::to_string(t) + "_" + std::to_string(i % 9);
                body += "<" + name + ">" + std::to_string(i * t) + "</" + name + ">";
                expected += name + "=" + std::to_string(i * t) + ";";
            }
            for (int round = 0; round < 20; ++round) {
                Recorder r;
                if (Read(r, body) != expected)
                    ++wrong[size_t(t)];
            }
        });
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

TEST(XmlReaderPaths, LongDecimalsReadAsTheNearestDouble) {
    // Decimals of up to 19 digits are converted without the library when
    // that is exact; every one must come out as from_chars gives it: random
    // doubles written with 17 significant digits, random digit strings with
    // the point anywhere, and decimals that lie exactly halfway between two
    // doubles (ties go to the even one).
    uint64_t state = 0x2545F4914F6CDD1Dull;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    auto same = [](const std::string& word) {
        double slow = 0;
        EXPECT_TRUE(IntfXmlToDouble(word, slow)) << word;
        double fast = 0;
        IntfXmlParseDoubles(word, &fast, 1, "R");
        EXPECT_EQ(std::memcmp(&fast, &slow, sizeof fast), 0) << word;
        return fast == slow;
    };
    int wrong = 0;
    char buf[64];
    for (int i = 0; i < 20000; ++i) {
        double x;
        const uint64_t bits = next() & 0x7FEFFFFFFFFFFFFFull; // finite
        std::memcpy(&x, &bits, sizeof x);
        int exponent = 0;
        const double scaled = std::ldexp(std::frexp(x, &exponent), int(next() % 120) - 60);
        auto r = std::to_chars(buf, buf + sizeof buf, scaled, std::chars_format::fixed, 17);
        std::string fixed(buf, r.ptr);
        if (fixed.size() <= 40)
            wrong += !same(fixed);
        r = std::to_chars(buf, buf + sizeof buf, scaled, std::chars_format::general, 17);
        wrong += !same(std::string(buf, r.ptr));
        std::string digits = std::to_string(next() % 10000000000000000000ull);
        const size_t point = size_t(next() % (digits.size() + 1));
        std::string word = digits.substr(0, point) + "." + digits.substr(point);
        if (point == 0)
            word = "0" + word;
        if (point == digits.size())
            word += "5";
        wrong += !same(word);
        wrong += !same("-" + word);
    }
    for (const char* tie : {"9007199254740993", "9007199254740995", "18014398509481986",
                            "18014398509481990", "900719925474099.5", "0.30000000000000000555",
                            "4503599627370497.5", "4503599627370498.5", "1.0000000000000001110"})
        wrong += !same(tie);
    EXPECT_EQ(wrong, 0);
    // A character next to the digits ('/' or ':') inside a run of eight ends
    // the digits there, as anywhere: such a word is not a number.
    for (const char* bad : {"0.1234567:", "1.12345678/1", "0.1234567:89", "2./2345678",
                            "0.12345678123:5678"}) {
        double v = 0;
        EXPECT_FALSE(IntfXmlToDouble(bad, v)) << bad;
        EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlParseDoubles(bad, &v, 1, "R"); }),
                  INTFXML_ERR_MALFORMED)
            << bad;
    }
}
