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
        names.push_back(std::string("n").append(std::to_string(i)) + std::string(size_t(i % 60), char('a' + i % 26)));
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

TEST(XmlReaderPaths, CharactersBeyondUFFFFArriveWholeInTextsLongerThanTheParsersPieces) {
    // The parser hands a long text over in pieces of 2^20 UTF-16 units; one
    // unit and then 600,000 characters of two units each are cut between
    // two pieces. As a text child and as a value, in UTF-8 and in UTF-16.
    std::string smileys = "x";
    for (int i = 0; i < 600000; ++i)
        smileys += "\xF0\x9F\x98\x80";
    const std::string expected = "A=" + smileys + ";";
    const std::string utf8 = "<D><A>" + smileys + "</A></D>";
    std::u16string wide = u"\uFEFF<D><A>x";
    for (int i = 0; i < 600000; ++i)
        wide += u"\U0001F600";
    wide += u"</A></D>";
    const std::string utf16(reinterpret_cast<const char*>(wide.data()), 2 * wide.size());
    for (const std::string* doc : {&utf8, &utf16}) {
        Recorder text;
        IntfXmlParseBuffer(doc->data(), doc->size(), &text, "t");
        EXPECT_TRUE(text.seen == expected) << text.seen.size() << " bytes, not " << expected.size();
        ValueRecorder value;
        IntfXmlParseBuffer(doc->data(), doc->size(), &value, "t");
        EXPECT_TRUE(value.seen == expected) << value.seen.size() << " bytes, not " << expected.size();
    }
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

void WithAttributes(const std::string& tag, std::function<void(IntfXmlAttributes&)> check) {
    xmltest::AttrReader r;
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
                const std::string name = std::string("T").append(std::to_string(t)).append("_") + std::to_string(i % 9);
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

namespace {

// A "bnfs:" document made as it is read: `head`, then `fill` repeated to
// `count` bytes, then `tail`. Counts the bytes it handed out.
struct Generated {
    std::string head, fill, tail;
    size_t count = 0;
    size_t handed = 0;
};
Generated* g_generated = nullptr;

class GeneratedFile : public IntfXmlBnfsFile {
public:
    long Read(char* buffer, size_t wanted) override {
        Generated& g = *g_generated;
        const size_t total = g.head.size() + g.count + g.tail.size();
        size_t n = 0;
        for (; n < wanted && g.handed < total; ++n, ++g.handed) {
            const size_t at = g.handed;
            buffer[n] = at < g.head.size() ? g.head[at]
                        : at < g.head.size() + g.count
                            ? g.fill[(at - g.head.size()) % g.fill.size()]
                            : g.tail[at - g.head.size() - g.count];
        }
        return long(n);
    }
    long Write(const char*, size_t) override { return -1; }
    bool Close() override { return true; }
};

IntfXmlBnfsFile* OpenGenerated(const char*, int mode, std::string*) {
    return mode == 1 ? new GeneratedFile : nullptr;
}

// Reads the generated document under a ValueRecorder; the status, and the
// message in *message.
int ReadGenerated(Generated& g, std::string* message) {
    g_generated = &g;
    const IntfXmlBnfsOpener saved = IntfXmlRegisterBnfsOpener(&OpenGenerated);
    ValueRecorder r;
    const int status =
        xmltest::ErrorOf([&] { IntfXmlParseDocument("bnfs:generated.xml", &r); }, message);
    IntfXmlRegisterBnfsOpener(saved);
    g_generated = nullptr;
    return status;
}

// Lowers the read limits for one test.
struct LoweredLimits {
    LoweredLimits(size_t text, size_t attribute) {
        IntfXmlTestHooks::SetReadLimits(text, attribute);
    }
    ~LoweredLimits() { IntfXmlTestHooks::SetReadLimits(0, 0); }
};

} // namespace

TEST(XmlReaderPaths, ATextOrAttributeOverItsLimitIsRefusedWhereItPassesIt) {
    // Limits lowered to 1 MiB of text and 64 KiB of an attribute (or a
    // section); the documents are made as they are read, up to 8 MiB past
    // the limit. At the limit a document reads; one byte over, it is
    // refused with the element's name and the place; far over, reading
    // stops soon after the limit (what is held stays near it). With either
    // scanner: a document type declaration takes the general one, which
    // refuses a long attribute or section once it has it whole, and whose
    // bounded memory refuses one far over.
    const size_t kText = size_t(1) << 20, kAttribute = size_t(64) << 10;
    LoweredLimits lowered(kText, kAttribute);
    const std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    struct Case {
        const char* what;
        std::string head, fill, tail;
        size_t limit, before; // bytes of the text counted before the fill
        const char* refusal;
    };
    const Case cases[] = {
        {"value", "<Box>\n\t<MinPoint>1 2 3", " ", "</MinPoint></Box>", kText, 5,
         "the text of element \"MinPoint\" is longer than 1048576 bytes"},
        {"text between elements", "<Box>\n\t<MinPoint>1 2 3</MinPoint>", "\t", "</Box>", kText, 0,
         "the text of element \"Box\" is longer than 1048576 bytes"},
        {"attribute", "<Box>\n\t<Datum ID=\"1\" name=\"", "n", "\"></Datum></Box>", kAttribute, 0,
         "attribute \"name\" of element \"Datum\" is longer than 65536 bytes"},
        {"data section", "<Box>\n\t<MinPoint><![CDATA[", "5", "]]></MinPoint></Box>", kAttribute, 0,
         "data section is longer than 65536 bytes"},
    };
    const char* bounded = "a name, attribute value, section or entity needs more than";
    for (const Case& c : cases)
        for (const std::string& prolog : {decl, decl + "<!DOCTYPE Box>\n"}) {
            const bool general = prolog != decl;
            std::string msg;
            Generated fits{prolog + c.head, c.fill, c.tail, c.limit - c.before};
            EXPECT_EQ(ReadGenerated(fits, &msg), 0) << c.what << ": " << msg;
            Generated over{prolog + c.head, c.fill, c.tail, c.limit - c.before + 1};
            EXPECT_EQ(ReadGenerated(over, &msg), INTFXML_ERR_MALFORMED) << c.what;
            EXPECT_NE(msg.find(c.refusal), std::string::npos) << msg;
            EXPECT_NE(msg.find("cannot read \"bnfs:generated.xml\": line "), std::string::npos)
                << msg;
            EXPECT_NE(msg.find(", column "), std::string::npos) << msg;
            Generated far{prolog + c.head, c.fill, c.tail, c.limit + (size_t(8) << 20)};
            EXPECT_EQ(ReadGenerated(far, &msg), INTFXML_ERR_MALFORMED) << c.what;
            const bool keptWhole = general && c.limit == kAttribute; // refused by the memory
            EXPECT_NE(msg.find(keptWhole ? bounded : c.refusal), std::string::npos) << msg;
            EXPECT_LT(far.handed, size_t(5) << 20) << c.what;
        }
}

TEST(XmlReaderPaths, BytesTheEncodingCannotDecodeAreRefusedWithTheirPlaceAndValue) {
    // Each bad byte where it stands: in the bytes read ahead, and far
    // beyond them (after 4000 lines), in memory and as a stream.
    const std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    std::string lines;
    for (int i = 0; i < 23; ++i)
        lines += "\t<A>" + std::to_string(i) + "</A>\n";
    std::string many;
    for (int i = 0; i < 4000; ++i)
        many += "\t<A>" + std::to_string(i) + "</A>\n";
    struct Case {
        std::string doc;
        const char* refusal;
    };
    const Case cases[] = {
        {decl + "<D>\n" + lines + "\t\xC1</D>", "line 26, column 2: byte 0xC1 is not valid UTF-8"},
        {decl + "<D>\n" + many + "<A>x\xC1</A></D>",
         "line 4003, column 5: byte 0xC1 is not valid UTF-8"},
        {decl + "<D><A>\xE2\x82\xAC\xE2\x28</A></D>",
         "line 2, column 8: bytes 0xE2 0x28 are not valid UTF-8"},
        {decl + "<D><A>\xED\xA0\x80</A></D>", "line 2, column 7: bytes 0xED 0xA0 are not valid UTF-8"},
        {decl + "<D>\r\n<A>1" + std::string(1, '\0') + "</A></D>",
         "line 3, column 5: a NUL byte (0x00), which no XML document may hold"},
        {decl + "<D>\n" + many + "<A>" + std::string(1, '\0') + "</A></D>",
         "line 4003, column 4: a NUL byte (0x00)"},
        {decl + "<D><A>1</A></D>\xE2\x82", "the document ends inside a UTF-8 character (bytes 0xE2 0x82)"},
        {"<?xml version=\"1.0\" encoding=\"US-ASCII\"?>\n<D><A>caf\xE9</A></D>",
         "line 2, column 10: byte 0xE9 is not US-ASCII"},
        {"<?xml version=\"1.0\" encoding=\"UTF-7\"?>\n<D><A>ab\x80\xFF" "cd</A></D>",
         "line 1, column 31: the document's encoding \"UTF-7\" is not read"},
        {"<?xml version='1.0' encoding='windows-1252'?>\n<D><A>\x81</A></D>",
         "the document's encoding \"windows-1252\" is not read"},
    };
    for (const Case& c : cases) {
        ValueRecorder r;
        std::string msg;
        EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlParseBuffer(c.doc.data(), c.doc.size(), &r, "t"); },
                                   &msg),
                  INTFXML_ERR_PARSE)
            << c.refusal;
        EXPECT_NE(msg.find(c.refusal), std::string::npos) << msg;
        Generated g{c.doc, " ", "", 0};
        EXPECT_EQ(ReadGenerated(g, &msg), INTFXML_ERR_PARSE) << c.refusal;
        EXPECT_NE(msg.find(c.refusal), std::string::npos) << msg;
    }
    // UTF-16: a surrogate without its pair.
    auto utf16 = [](const std::u16string& text) {
        std::string bytes = "\xFF\xFE";
        for (char16_t u : text) {
            bytes.push_back(char(u & 0xFF));
            bytes.push_back(char(u >> 8));
        }
        return bytes;
    };
    const std::string unpaired = utf16(u"<D>\n<A>x\xD800y</A></D>");
    ValueRecorder r16;
    std::string msg;
    EXPECT_EQ(xmltest::ErrorOf(
                  [&] { IntfXmlParseBuffer(unpaired.data(), unpaired.size(), &r16, "t"); }, &msg),
              INTFXML_ERR_PARSE);
    EXPECT_NE(msg.find("line 2, column 5: an unpaired UTF-16 surrogate 0xD800"), std::string::npos)
        << msg;
    // What these encodings hold is read exactly: ISO-8859-1 (every byte a
    // character, in texts and attributes), UTF-16, and UTF-8 itself.
    const std::string latin1 =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<D><A>ab\xE9\x80\xFF" "cd</A><B>\xA0</B></D>";
    ValueRecorder rl;
    IntfXmlParseBuffer(latin1.data(), latin1.size(), &rl, "t");
    EXPECT_EQ(rl.seen, "A=ab\xC3\xA9\xC2\x80\xC3\xBF" "cd;B=\xC2\xA0;");
    const std::string wide = utf16(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<D><A>x\u00E9\U0001F600</A></D>");
    ValueRecorder rw;
    IntfXmlParseBuffer(wide.data(), wide.size(), &rw, "t");
    EXPECT_EQ(rw.seen, "A=x\xC3\xA9\xF0\x9F\x98\x80;");
    const std::string utf8 = decl + "<D><A>\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBD</A></D>";
    ValueRecorder r8;
    IntfXmlParseBuffer(utf8.data(), utf8.size(), &r8, "t");
    EXPECT_EQ(r8.seen, "A=\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBD;");
}
