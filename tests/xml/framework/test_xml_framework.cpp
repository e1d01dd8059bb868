// Element framework and SAX handler: attribute getters, reader ownership and
// early disposal, malformed and hostile documents, "bnfs:" documents and the
// token reader that feeds them to the parser.
#include "xml/xml_test_util.h"

#include "process.h"
#include "quoted_text.h"
#include "xml/side_documents/xml_translog.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <unistd.h>

namespace {

// A reader that records what reaches it and counts its instances.
struct Probe : IntfXmlElement {
    static inline int alive = 0;
    std::string seen;
    bool list = false;
    bool docPart = false;
    std::vector<Probe*> made;
    Probe(IntfXmlElement* parent, bool isList = false, bool isDocPart = false)
        : IntfXmlElement(parent), list(isList), docPart(isDocPart) {
        ++alive;
    }
    ~Probe() override { --alive; }
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes&) override {
        std::string n = name;
        if (n == "List" || n == "Item" || n == "Part") {
            Probe* p = MakeChild<Probe>(n == "List", n == "Part");
            made.push_back(p);
            return p;
        }
        if (n == "Boom")
            IntfXmlThrow(INTFXML_ERR_MALFORMED, "boom");
        PushName(name);
        return this;
    }
    IntfXmlElement* endElement(const char* name) override {
        if (NamesEmpty())
            return parent_;
        if (PopName(name))
            seen += std::string(name) + "=" + Text() + ";";
        return this;
    }
    bool IsListHandler() const override { return list; }
    bool IsDocumentPart() const override { return docPart; }
};

struct ProbeTop : Probe {
    bool rootSeen = false;
    ProbeTop() : Probe(nullptr) {}
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& a) override {
        if (!rootSeen) {
            rootSeen = true;
            return this;
        }
        return Probe::startElement(name, a);
    }
};

void ParseDoc(IntfXmlElement& top, const std::string& doc) {
    IntfXmlParseBuffer(doc.data(), doc.size(), &top, "test");
}

// Captures the attribute list of the first child element and runs checks on
// it while the parser still holds it.
struct AttrTop : IntfXmlElement {
    std::function<void(IntfXmlAttributes&)> check;
    bool root = false;
    IntfXmlElement* startElement(const char*, IntfXmlAttributes& a) override {
        if (!root) {
            root = true;
            return this;
        }
        check(a);
        PushName("x");
        return this;
    }
    IntfXmlElement* endElement(const char* name) override {
        if (NamesEmpty())
            return nullptr;
        PopName(name);
        return this;
    }
};

void WithAttributes(const std::string& tag, std::function<void(IntfXmlAttributes&)> check) {
    AttrTop top;
    top.check = std::move(check);
    ParseDoc(top, "<D>" + tag + "</D>");
}

} // namespace

TEST(XmlFramework, AttributesAreFoundByPositionAndName) {
    WithAttributes("<Model name=\"a\" type=\"2\" src_sys=\"0\"></Model>", [](IntfXmlAttributes& a) {
        EXPECT_EQ(GetIntegerAttribValue("type", &a, 1), 2);
        EXPECT_EQ(GetIntegerAttribValue("type", &a, 2), -1);
        EXPECT_EQ(GetIntegerAttribValue("type", &a, 7), -1);
        EXPECT_STREQ(GetStringAttribValue("name", &a, 0), "a");
        EXPECT_DOUBLE_EQ(GetDoubleAttribValue("src_sys", &a, 2), 0.0);
        EXPECT_EQ(IntfXmlRequireInt("type", a, 1, "Model"), 2);
        std::string msg;
        EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlRequireInt("type", a, 0, "Model"); }, &msg),
                  INTFXML_ERR_MALFORMED);
        EXPECT_NE(msg.find("Model"), std::string::npos);
        EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlRequireSize(a, "Model"); }),
                  INTFXML_ERR_MALFORMED);
    });
    WithAttributes("<E size=\"-3\" v=\"1.5x\" n=\"\xC3\xA9&amp;\xE2\x82\xAC\"></E>",
                   [](IntfXmlAttributes& a) {
                       EXPECT_EQ(GetIntegerAttribValue("size", &a, 0), -3);
                       EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlRequireSize(a, "E"); }),
                                 INTFXML_ERR_MALFORMED);
                       EXPECT_DOUBLE_EQ(GetDoubleAttribValue("v", &a, 1), -1.0);
                       EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlRequireDouble("v", a, 1, "E"); }),
                                 INTFXML_ERR_MALFORMED);
                       // Values arrive as UTF-8.
                       EXPECT_STREQ(GetStringAttribValue("n", &a, 2), "\xC3\xA9&\xE2\x82\xAC");
                   });
    // Told whatever the run mode, with the document, once for it: the
    // first, and how many more.
    testing::internal::CaptureStderr();
    WithAttributes("<E></E>", [](IntfXmlAttributes& a) {
        EXPECT_EQ(GetIntegerAttribValue("size", &a, 0), -1);
        EXPECT_EQ(GetIntegerAttribValue("size", &a, 0), -1);
        EXPECT_STREQ(GetStringAttribValue("n", &a, 0), "");
    });
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "document \"test\", line 1, column 7: \"E\" lacks the attribute \"size\" at "
              "position 0: read as -1; 2 more like it\n");
}

// A text of a document quoted where it is told or refused (a value that
// is no number, an option's name, a word where a number belongs) stays on
// the one line of its message, shows no control character and reads back
// as the document holds it (quotedtest::QuotesOnOneLine): each character a
// reader of logs may take for a line end or a control (an XML 1.1 document
// carries them as references), a backslash sequence that reads as an
// escape, a quote; a long one cut near 80 bytes.
TEST(XmlFramework, WhatADocumentHoldsIsQuotedOnOneLine) {
    struct Held {
        std::string written, read; // in the document, and as read
    };
    const Held held[] = {
        {"&#10;document &quot;forged&quot;: y", "\ndocument \"forged\": y"},
        {"&#13;&#11;&#12;", "\r\v\f"},
        {"&#x1C;&#x1D;&#x1E;&#x1B;[2J&#x7F;", "\x1C\x1D\x1E\x1B[2J\x7F"},
        {"&#x85;&#x9B;", "\xC2\x85\xC2\x9B"},
        {"&#x2028;&#x2029;", "\xE2\x80\xA8\xE2\x80\xA9"},
        {"&#x202E;&#x2066;&#x200E;&#x61C;", "\xE2\x80\xAE\xE2\x81\xA6\xE2\x80\x8E\xD8\x9C"},
        {"\\x0A\\u2028", "\\x0A\\u2028"},
        {std::string(300, '\\') + "&#x1B;", std::string(300, '\\') + "\x1B"},
    };
    // The value child of each element below the root, parsed as two numbers.
    struct Numbers : IntfXmlElement {
        bool root = false;
        IntfXmlElement* startElement(const char*, IntfXmlAttributes&) override {
            if (root)
                return TakeValue(0);
            root = true;
            return this;
        }
        void EndValue(int, std::string_view text, const char*) override {
            int32_t values[2];
            IntfXmlParseInts(text, values, 2, "E");
        }
        IntfXmlElement* endElement(const char*) override { return nullptr; }
    };
    std::string refused;
    auto read = [&](IntfXmlElement& top, const std::string& body) {
        const std::string doc = "<?xml version=\"1.1\"?>" + body;
        testing::internal::CaptureStderr();
        refused.clear();
        xmltest::ErrorOf([&] { IntfXmlParseBuffer(doc.data(), doc.size(), &top, "held"); },
                         &refused);
        return testing::internal::GetCapturedStderr();
    };
    for (const Held& h : held) {
        const std::string written = "x" + h.written, text = "x" + h.read;
        SCOPED_TRACE(written);
        // An attribute read as -1 and told, or refused.
        for (bool strict : {false, true}) {
            AttrTop top;
            top.check = [&](IntfXmlAttributes& a) {
                strict ? IntfXmlRequireInt("n", a, 0, "E") : GetIntegerAttribValue("n", &a, 0);
            };
            const std::string told = read(top, "<D><E n=\"" + written + "\"/></D>");
            EXPECT_TRUE(quotedtest::QuotesOnOneLine(strict ? refused : told, text, true));
        }
        // An option of that name, told.
        IntfXmlTranslationOptions options(nullptr);
        EXPECT_TRUE(quotedtest::QuotesOnOneLine(
            read(options, "<TranslationOptions size=\"1\"><Option Name=\"" + written +
                              "\" Type=\"7\"/></TranslationOptions>"),
            text, true));
        // A word where a number belongs, refused (a line end parts words).
        if (text.find_first_of("\n\r") == std::string::npos) {
            Numbers numbers;
            read(numbers, "<D><E>1 " + written + "</E></D>");
            EXPECT_TRUE(quotedtest::QuotesOnOneLine(refused, text, true));
        }
    }
}

TEST(XmlFramework, NumberTextsAreStrict) {
    double xyz[3] = {9, 9, 9};
    IntfXmlParseXyz("1.5\t-2\n0 4", xyz, "P");
    EXPECT_EQ(xyz[0], 1.5);
    EXPECT_EQ(xyz[1], -2);
    EXPECT_EQ(xyz[2], 0);
    EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlParseXyz("1 2", xyz, "P"); }), INTFXML_ERR_MALFORMED);
    EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlParseXyz("1 2 3x", xyz, "P"); }),
              INTFXML_ERR_MALFORMED);
    EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlParseDouble("1 2", "R"); }), INTFXML_ERR_MALFORMED);
    EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlParseInt("2147483648", "I"); }),
              INTFXML_ERR_MALFORMED);
    EXPECT_EQ(IntfXmlParseInt(" +7 ", "I"), 7);
    EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlParseInt("+-7", "I"); }), INTFXML_ERR_MALFORMED);
    // Everything the writer produces reads back, infinities included.
    for (double v : {0.1, -1e-310, 1e308, std::numeric_limits<double>::infinity()}) {
        btkString t;
        AppendDouble(t, v);
        EXPECT_EQ(IntfXmlParseDouble(t.c_str(), "R"), v);
    }
}

TEST(XmlFramework, HandlerDisposesOfFinishedListItemsAndKeepsTheRest) {
    {
        ProbeTop top;
        ParseDoc(top, "<D>\n\t<List><Item><V>1</V></Item><Item><V>2</V></Item></List>"
                      "<Part><List><Item></Item></List><Item><W>3</W></Item></Part></D>");
        // Items that ended into a list reader are gone; the list under the
        // document part is gone; the item under the part, the part and the
        // list under the top stay with their owners.
        ASSERT_EQ(top.made.size(), 2u);
        Probe* list = top.made[0];
        Probe* part = top.made[1];
        EXPECT_EQ(list->made.size(), 2u);
        ASSERT_EQ(part->made.size(), 2u);
        EXPECT_EQ(part->made[1]->seen, "W=3;");
        // top, list, part, part's item
        EXPECT_EQ(Probe::alive, 4);
    }
    EXPECT_EQ(Probe::alive, 0);
}

TEST(XmlFramework, TextIsThatOfTheChildWhateverTheWhitespaceAround) {
    ProbeTop top;
    std::string big(100000, '7');
    ParseDoc(top, "<D>\n\t<A>x y</A>\n\t\n<B>\nlead</B><C>" + big + "</C><E></E></D>");
    EXPECT_EQ(top.seen, "A=x y;B=\nlead;C=" + big + ";E=;");
}

namespace {

// What a parse of `doc` with `scanner` gives: the probe's record, or the
// error status.
std::string Outcome(const std::string& doc, IntfXmlScanner scanner) {
    ProbeTop top;
    std::string msg;
    const int st = xmltest::ErrorOf(
        [&] { IntfXmlParseBuffer(doc.data(), doc.size(), &top, "test", scanner); }, &msg);
    return st ? "error " + std::to_string(st) : top.seen;
}

// A start tag <E ...> with n attributes whose values hold what a tag
// reader must not take for markup: ">", "=" and the other quote.
std::string TagWithAttributes(int n) {
    std::string tag = "<E";
    for (int i = 0; i < n; ++i)
        tag += " a" + std::to_string(i) + (i % 2 ? "='\">='" : "=\"'>=\"");
    return tag + ">1</E>";
}

} // namespace

TEST(XmlFramework, SameBytesReadAlikeThroughEitherScanner) {
    // Plain prologs (declaration, instructions, comments, a byte order
    // mark) with the same body; elements with as many attributes as allowed
    // and one more; attribute-like text in comments, instructions and data
    // sections; many references to predefined entities. The constructs are
    // moved across the first 4096 bytes, where the parser's first read ends,
    // so that every part of them lies once on the boundary.
    const std::string body = "<D>\n\t<A>x&amp;y</A><B>&#65;</B></D>";
    const std::string longComment = "<!--" + std::string(10000, 'c') + "-->";
    std::vector<std::pair<std::string, std::string>> docs; // bytes, expected record
    for (const std::string& prolog :
         {std::string(), std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"),
          std::string("\xEF\xBB\xBF<?xml version=\"1.0\"?><?pi data?>\n<!-- c -->\t"),
          longComment})
        docs.push_back({prolog + body, "A=x&y;B=A;"});
    // More references to the predefined entities (as the writers write
    // "&", "<" and a quote in names) than the expansion limit of 1000 that
    // guards a document type declaration's own entities.
    std::string escaped, unescaped;
    for (int i = 0; i < 700; ++i) {
        escaped += "&amp;&lt;";
        unescaped += "&<";
    }
    docs.push_back({"<D><A>" + escaped + "</A></D>", "A=" + unescaped + ";"});
    std::string manyEquals;
    for (int i = 0; i < 100; ++i)
        manyEquals += " a" + std::to_string(i) + "=\"\"";
    const std::string notTags[] = {"<!-- <E" + manyEquals + "> -->",
                                   "<![CDATA[<E" + manyEquals + ">]]>",
                                   "<?pi <E" + manyEquals + "> ?>"};
    for (size_t k : {size_t(3000), size_t(4090), size_t(4095)}) {
        const std::string pad = "<D><P>" + std::string(k, 'p') + "</P>";
        docs.push_back({pad + TagWithAttributes(INTFXML_MAX_ATTRIBUTES) + "</D>",
                        "P=" + std::string(k, 'p') + ";E=1;"});
        docs.push_back({pad + TagWithAttributes(INTFXML_MAX_ATTRIBUTES + 1) + "</D>",
                        "error " + std::to_string(INTFXML_ERR_MALFORMED)});
    }
    for (const std::string& construct : notTags)
        for (size_t at = 4096 - construct.size(); at <= 4096; ++at) {
            // The boundary within the first or last 24 bytes, or halfway.
            const size_t into = 4096 - at;
            if (into > 24 && into + 24 < construct.size() && into != construct.size() / 2)
                continue;
            const std::string pad = "<D><P>" + std::string(at - 10, 'p') + "</P>";
            docs.push_back({pad + construct + "<Q>" + manyEquals + "</Q></D>",
                            "P=" + std::string(at - 10, 'p') + ";Q=" + manyEquals + ";"});
        }
    for (const auto& [doc, expected] : docs)
        for (IntfXmlScanner scanner :
             {IntfXmlScanner::General, IntfXmlScanner::WellFormed, IntfXmlScanner::Chosen}) {
            const std::string got = Outcome(doc, scanner);
            EXPECT_TRUE(got == expected) << "scanner " << int(scanner) << ": " << got.substr(0, 40)
                                         << ", document " << doc.size() << " bytes: "
                                         << doc.substr(doc.size() - 200, 120);
        }
    // Malformed documents are refused by both alike.
    for (const std::string& doc : {std::string("<D><A>&e;</A></D>"), std::string("<D><A>1</B></D>"),
                                   std::string("<D a=\"1\" a=\"2\"></D>"),
                                   std::string("<D><!-- a -- b --></D>"), std::string("<D")})
        EXPECT_EQ(Outcome(doc, IntfXmlScanner::General), Outcome(doc, IntfXmlScanner::WellFormed))
            << doc;
}

TEST(XmlFramework, DocumentTypeDeclarationsAreRead) {
    // A document type declaration goes to the scanner that reads it: its
    // entities and attribute defaults are known, also behind a prolog longer
    // than the bytes read ahead.
    ProbeTop declared;
    ParseDoc(declared, "<?xml version=\"1.0\"?><!DOCTYPE D><D>\n\t<A>x&amp;y</A><B>&#65;</B></D>");
    EXPECT_EQ(declared.seen, "A=x&y;B=A;");
    ProbeTop entity;
    ParseDoc(entity, "<!--" + std::string(5000, 'c') +
                         "--><!DOCTYPE D [<!ENTITY e \"ab\">]><D><A>&e;</A></D>");
    EXPECT_EQ(entity.seen, "A=ab;");
    AttrTop defaults;
    bool checked = false;
    defaults.check = [&](IntfXmlAttributes& a) {
        EXPECT_STREQ(GetStringAttribValue("k", &a, 0), "dflt");
        checked = true;
    };
    ParseDoc(defaults, "<!DOCTYPE D [<!ATTLIST A k CDATA \"dflt\">]><D><A>1</A></D>");
    EXPECT_TRUE(checked);
    ProbeTop undeclared;
    EXPECT_EQ(xmltest::ErrorOf([&] { ParseDoc(undeclared, "<!DOCTYPE D><D><A>&e;</A></D>"); }),
              INTFXML_ERR_PARSE);
    // An encoding whose bytes below 0x80 may be parts of other characters
    // is not one the library reads exactly: refused, named.
    ProbeTop shifted;
    std::string msg;
    EXPECT_EQ(xmltest::ErrorOf(
                  [&] {
                      ParseDoc(shifted,
                               "<?xml version=\"1.0\" encoding=\"ISO-2022-JP\"?><D><A>1</A></D>");
                  },
                  &msg),
              INTFXML_ERR_PARSE);
    EXPECT_NE(msg.find("line 1, column 31: the document's encoding \"ISO-2022-JP\" is not read"),
              std::string::npos)
        << msg;
}

TEST(XmlFramework, ElementsWithTooManyAttributesAreRefusedWhereTheLimitIsPassed) {
    // 100,000 attributes, about 1 MB: refused where the attribute one too
    // many stands, so that no more of them are gathered or compared; on the root, in memory and from a local file, and
    // on an element behind markup whose ends a reader may miss.
    std::string attributes;
    for (int i = 0; i < 100000; ++i)
        attributes += " a" + std::to_string(i) + "=\"\"";
    // Of this process: other runs of the suite may write theirs at once.
    const std::string path =
        ::testing::TempDir() + "zpi_many_attributes_" + std::to_string(getpid()) + ".xml";
    for (const std::string& before :
         {std::string(), std::string("<![CDATA[x]]]>"), std::string("<!-- - -->"),
          std::string("<?pi ?\?>"), std::string("<P a='>' b=\"'=\">x</P>")}) {
        const std::string doc = "<?xml version=\"1.0\"?>\n" +
                                (before.empty() ? "<D" : "<D>\n" + before + "<E") + attributes +
                                "></D>";
        {
            std::ofstream out(path, std::ios::binary);
            out << doc;
        }
        // The equal sign of a64, the 65th attribute, on the last line.
        const size_t column = doc.find(" a64=") + 4 - doc.rfind('\n', doc.find(" a64="));
        const std::string where = "line " + std::string(before.empty() ? "2" : "3") +
                                  ", column " + std::to_string(column) +
                                  ": an element has more than 64 attributes";
        for (bool fromFile : {false, true}) {
            ProbeTop top;
            std::string msg;
            const int st = xmltest::ErrorOf(
                [&] {
                    if (fromFile)
                        IntfXmlParseDocument(path.c_str(), &top);
                    else
                        ParseDoc(top, doc);
                },
                &msg);
            EXPECT_EQ(st, INTFXML_ERR_MALFORMED) << before;
            EXPECT_NE(msg.find(where), std::string::npos) << msg;
            EXPECT_EQ(msg.find("line "), msg.rfind("line ")) << msg; // one position
        }
    }
    std::remove(path.c_str());
}

TEST(XmlFramework, MalformedDocumentsAreErrorsAndLeakNoReader) {
    auto failing = [](const std::string& doc) {
        ProbeTop top;
        std::string msg;
        int st = xmltest::ErrorOf([&] { ParseDoc(top, doc); }, &msg);
        EXPECT_NE(msg, "") << doc;
        return st;
    };
    // Truncated, not well-formed, a reader's own error.
    EXPECT_EQ(failing("<D><List><Item><V>1</V></Item><Item>"), INTFXML_ERR_PARSE);
    EXPECT_EQ(failing("<D><A>1</B></D>"), INTFXML_ERR_PARSE);
    EXPECT_EQ(failing(""), INTFXML_ERR_PARSE);
    EXPECT_EQ(failing("<D><List><Item><Boom/></Item></List></D>"), INTFXML_ERR_MALFORMED);
    // Nesting deeper than allowed.
    std::string deep;
    for (int i = 0; i < INTFXML_MAX_DEPTH + 5; ++i)
        deep += "<List>";
    EXPECT_EQ(failing("<D>" + deep), INTFXML_ERR_MALFORMED);
    // Entities are not expanded beyond a bound, and external ones are not read.
    std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE D [<!ENTITY a \"aaaaaaaaaa\">";
    for (char c = 'b'; c <= 'h'; ++c)
        bomb += std::string("<!ENTITY ") + c + " \"&" + char(c - 1) + ";&" + char(c - 1) +
                ";&" + char(c - 1) + ";&" + char(c - 1) + ";&" + char(c - 1) + ";\">";
    bomb += "]><D><A>&h;</A></D>";
    EXPECT_NE(failing(bomb), 0);
    EXPECT_EQ(failing("<?xml version=\"1.0\"?><!DOCTYPE D [<!ENTITY x SYSTEM "
                      "\"file:///etc/hostname\">]><D><A>&x;</A></D>"),
              INTFXML_ERR_PARSE);
    EXPECT_EQ(Probe::alive, 0);
}

TEST(XmlFramework, LocalFilesAreParsedAndMissingOnesReported) {
    std::string path =
        ::testing::TempDir() + "zpi_xml_framework_" + std::to_string(getpid()) + ".xml";
    {
        std::ofstream out(path, std::ios::binary);
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\t<D>\n\t<A>5</A>\n\t</D>";
    }
    ProbeTop top;
    IntfXmlParseDocument(path.c_str(), &top);
    EXPECT_EQ(top.seen, "A=5;");
    std::remove(path.c_str());
    ProbeTop again;
    EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlParseDocument(path.c_str(), &again); }),
              INTFXML_ERR_OPEN);
}

// ---- "bnfs:" documents ------------------------------------------------------------------

namespace {

// Every readBytes result, with a buffer of `size` bytes.
std::vector<std::string> Tokens(const std::string& input, size_t size, uint64_t* pos = nullptr) {
    IntfXmlStringStream s(input);
    IntfXmlMemBinInputStream in(&s);
    std::vector<std::string> out;
    std::vector<XMLByte> buf(size);
    for (;;) {
        XMLSize_t n = in.readBytes(buf.data(), size);
        if (n == 0)
            break;
        out.emplace_back(reinterpret_cast<char*>(buf.data()), n);
    }
    if (pos)
        *pos = in.curPos();
    return out;
}

} // namespace

TEST(XmlStreams, BnfsDocumentsGoThroughTheRegisteredOpener) {
    // Small pieces, to exercise the token reader across reads.
    IntfXmlBnfsOpener saved = IntfXmlRegisterBnfsOpener(&xmltest::OpenMem<7>);
    const char* path = "bnfs://host:5/ZPI/doc.xml";
    {
        std::unique_ptr<IntfXmlIOStream> s = IntfXmlOpenOutput(path);
        s->Write("\n\n\t  <D>\n\t<A>long text line\n</A><B>2</B>\n\t</D>\n");
        IntfXmlCloseOutput(*s, path);
    }
    ProbeTop top;
    IntfXmlParseDocument(path, &top);
    EXPECT_EQ(top.seen, "A=long text line\n;B=2;");
    ProbeTop none;
    std::string msg;
    EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlParseDocument("bnfs://host:5/ZPI/no.xml", &none); },
                               &msg),
              INTFXML_ERR_OPEN);
    EXPECT_NE(msg.find("no such document"), std::string::npos) << msg;
    IntfXmlRegisterBnfsOpener(saved);
}

TEST(XmlStreams, TokenReaderHandsOutOneTagOrLineAtATime) {
    // Leading blank lines and tabs never reach the parser.
    EXPECT_EQ(Tokens("\n\n\t \t<A>text\nmore</A>", 64),
              (std::vector<std::string>{"<A>", "text\n", "more</A>"}));
    // A line longer than the buffer comes whole, over several reads.
    uint64_t pos = 0;
    std::string line(300, 'q');
    auto t = Tokens("<A>" + line + "\n</A>", 64, &pos);
    std::string joined;
    for (size_t i = 1; i + 1 < t.size(); ++i)
        joined += t[i];
    EXPECT_EQ(t.front(), "<A>");
    EXPECT_EQ(joined, line + "\n");
    EXPECT_EQ(t.back(), "</A>");
    EXPECT_EQ(pos, 3 + 301 + 4u);
    // Without a final newline the rest is the last token.
    EXPECT_EQ(Tokens("<A/>tail", 64), (std::vector<std::string>{"<A/>", "tail"}));
    // After the envelope's end only whitespace may follow.
    EXPECT_EQ(Tokens("<x></SOAP-ENV:Envelope>\n \n", 64),
              (std::vector<std::string>{"<x>", "</SOAP-ENV:Envelope>"}));
    std::string msg;
    EXPECT_EQ(xmltest::ErrorOf([] { Tokens("<x></SOAP-ENV:Envelope>\n junk", 64); }, &msg),
              INTFXML_ERR_PARSE);
    EXPECT_EQ(msg, "Read past the end");
}
