// The XML writer: exact layout, escaping, number texts, documents one after
// another, and the output streams it writes through.
#include "xml_test_util.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

const std::string kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The example document of the writer's layout.
std::string WriteExample(IntfXmlIOStream& s) {
    xrchandle<IntfXmlWriter> w = IntfXmlWriter::GetWriter(&s);
    const bool first = w->AtDocumentStart();
    w->WriteHeader();
    w->StartElement("A");
    w->WriteAttribute("x", "1");
    w->StartElement("B");
    w->WriteText("t");
    w->EndElement();
    w->StartElement("C");
    w->EndElement();
    w->EndElement();
    return first ? "" : "\n";
}

} // namespace

TEST(XmlWriter, LayoutOfADocumentAndOfTheNextOne) {
    IntfXmlStringStream s1;
    std::string extra = WriteExample(s1);
    ASSERT_TRUE(s1.Close());
    EXPECT_EQ(s1.Output(),
              kHeader + extra + "\t<A x=\"1\">\n\t<B>t</B>\n\t<C></C>\n\t</A>");
    EXPECT_EQ(IntfXmlWriter::Instance().Depth(), 0u);

    // Every later document of the process has one more newline before its root.
    IntfXmlStringStream s2;
    EXPECT_EQ(WriteExample(s2), "\n");
    s2.Close();
    EXPECT_EQ(s2.Output(), kHeader + "\n\t<A x=\"1\">\n\t<B>t</B>\n\t<C></C>\n\t</A>");
}

TEST(XmlWriter, ElementsAttributesAndTexts) {
    // Empty element with attributes: start and end tag, never "<x/>".
    EXPECT_EQ(xmltest::WriteInRoot([] {
                  IntfXmlWriting::StartElement("Value");
                  IntfXmlWriting::AddAttribute("type", 5);
                  IntfXmlWriting::AddAttribute("val", "3");
                  IntfXmlWriting::EndElement();
              }),
              "\t<Value type=\"5\" val=\"3\"></Value>\n");
    // Attribute values and texts escape what would break the document or
    // be folded by the reader; plain names and numbers go out unchanged.
    EXPECT_EQ(xmltest::WriteInRoot([] {
                  IntfXmlWriting::StartElement("N");
                  IntfXmlWriting::AddAttribute("name", "a&b<c\"d&\te");
                  IntfXmlWriting::EndElement();
              }),
              "\t<N name=\"a&amp;b&lt;c&quot;d&amp;&#9;e\"></N>\n");
    EXPECT_EQ(xmltest::WriteInRoot([] { IntfXmlWriting::AddTextElement("L", "x < y && z"); }),
              "\t<L>x &lt; y &amp;&amp; z</L>\n");
    EXPECT_EQ(xmltest::WriteInRoot([] { IntfXmlWriting::AddTextElement("Matrix", "1 2 3 "); }),
              "\t<Matrix>1 2 3 </Matrix>\n");
    // A text with newlines is followed directly by its end tag.
    EXPECT_EQ(xmltest::WriteInRoot([] { IntfXmlWriting::AddTextElement("T", "1\n2\n"); }),
              "\t<T>1\n2\n</T>\n");
    // Nested elements: one tab whatever the depth.
    EXPECT_EQ(xmltest::WriteInRoot([] {
                  IntfXmlWriting::StartElement("P");
                  IntfXmlWriting::StartElement("Q");
                  IntfXmlWriting::AddIntElement("I", -7);
                  IntfXmlWriting::AddAttribute("ignored", 1); // after the start tag closed
                  IntfXmlWriting::EndElement();
                  IntfXmlWriting::EndElement();
              }),
              "\t<P>\n\t<Q>\n\t<I>-7</I>\n ignored=\"1\"\t</Q>\n\t</P>\n");
    // Unsigned record values go out as "%d".
    EXPECT_EQ(xmltest::WriteInRoot([] {
                  IntfXmlWriting::StartElement("L");
                  IntfXmlWriting::AddAttribute("id", uint32_t(0xFFFFFFFFu));
                  IntfXmlWriting::EndElement();
              }),
              "\t<L id=\"-1\"></L>\n");
}

TEST(XmlWriter, NumberTexts) {
    btkString t;
    AppendDoubleTriple(1, 0.5, -2, t);
    EXPECT_STREQ(t, "1 0.5 -2");
    t.Clear();
    AppendDouble(t, 0.1);
    EXPECT_STREQ(t, "0.100000000000000006");
    t.Clear();
    AppendIntTriple(-1, 0, 2147483647, t);
    EXPECT_STREQ(AppendChar(t, '!'), "-1 0 2147483647!");
    // Same texts as DoubleToString, including large, small and special values.
    for (double v : {1e300, -2.5e-300, 123456789012345678.0, 1.0 / 3, 0.0, -0.0}) {
        btkString a;
        AppendDouble(a, v);
        EXPECT_STREQ(a, DoubleToString(v)) << v;
    }
}

TEST(XmlWriter, ANewStreamStartsCleanAfterADocumentFailedHalfWay) {
    {
        IntfXmlStringStream broken;
        IntfXmlWriter::GetWriter(&broken);
        IntfXmlWriting::StartElement("Left");
        IntfXmlWriting::StartElement("Open");
        IntfXmlWriting::AddText("x");
    }
    IntfXmlStringStream s;
    IntfXmlWriter::GetWriter(&s);
    EXPECT_EQ(IntfXmlWriter::Instance().Depth(), 0u);
    IntfXmlWriting::StartElement("Root");
    IntfXmlWriting::EndElement();
    s.Close();
    EXPECT_EQ(s.Output(), "\n\t<Root></Root>");
}

TEST(XmlStreams, LongOutputCrossesTheBufferWhole) {
    std::string path = ::testing::TempDir() + "zpi_xml_long.xml";
    std::string expected;
    {
        std::unique_ptr<IntfXmlIOStream> s = IntfXmlOpenOutput(path.c_str());
        for (int i = 0; i < 5000; ++i) {
            std::string piece = std::to_string(i) + (i % 7 == 0 ? std::string(5000, 'x') : ",");
            s->Write(piece);
            expected += piece;
        }
        IntfXmlCloseOutput(*s, path.c_str());
    }
    EXPECT_EQ(ReadFile(path), expected);
    std::remove(path.c_str());
}

TEST(XmlStreams, UnopenableLocationsAreReported) {
    std::string msg;
    EXPECT_EQ(xmltest::ErrorOf([] { IntfXmlOpenOutput("/nonexistent-dir/zpi/out.xml"); }, &msg),
              INTFXML_ERR_OPEN);
    EXPECT_NE(msg.find("/nonexistent-dir/zpi/out.xml"), std::string::npos) << msg;

    // Without the client runtime there is no "bnfs" location.
    IntfXmlBnfsOpener saved = IntfXmlRegisterBnfsOpener(nullptr);
    EXPECT_EQ(xmltest::ErrorOf([] { IntfXmlOpenOutput("bnfs://host:1/ZPI/a.xml"); }, &msg),
              INTFXML_ERR_OPEN);
    EXPECT_NE(msg.find("bnfs"), std::string::npos) << msg;
    IntfXmlBnfsStream s("bnfs://host:1/ZPI/a.xml", 2);
    EXPECT_FALSE(s.IsOpen());
    s.Write("ignored");
    EXPECT_FALSE(s.Flush());
    IntfXmlRegisterBnfsOpener(saved);
}
