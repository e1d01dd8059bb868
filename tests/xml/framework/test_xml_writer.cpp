// The XML writer: exact layout, escaping, number texts, documents one after
// another, and the output streams it writes through.
#include "xml/xml_test_util.h"

#include "xml/framework/xml_document.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

const std::string kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The example document of the writer's layout.
void WriteExample(IntfXmlIOStream& s) {
    IntfXmlWriter w(&s);
    w.WriteHeader();
    w.StartElement("A");
    w.WriteAttribute("x", "1");
    w.StartElement("B");
    w.WriteText("t");
    w.EndElement();
    w.StartElement("C");
    w.EndElement();
    w.EndElement();
    EXPECT_EQ(w.Depth(), 0u);
}

const std::string kExample = kHeader + "\n\t<A x=\"1\">\n\t<B>t</B>\n\t<C></C>\n\t</A>";

// The example as the first document of a process and as the next one: 0
// when both are its bytes.
int FirstDocumentsOfAProcess() {
    for (int i = 0; i < 2; ++i) {
        IntfXmlStringStream s;
        WriteExample(s);
        if (!s.Close() || s.Output() != kExample)
            return 1 + i;
    }
    return 0;
}

} // namespace

TEST(XmlWriter, LayoutOfADocumentWhateverWasWrittenBefore) {
    // The root stands after the declaration's line and an empty one, in
    // the first document of a process (a child that writes nothing else)
    // as in every later one.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(FirstDocumentsOfAProcess()), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(FirstDocumentsOfAProcess(), 0);
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

TEST(XmlWriter, ADocumentFailedHalfWayLeavesNothingToTheNext) {
    {
        IntfXmlStringStream broken;
        IntfXmlWriter w(&broken);
        IntfXmlWriter::Use use(w);
        IntfXmlWriting::StartElement("Left");
        IntfXmlWriting::StartElement("Open");
        IntfXmlWriting::AddText("x");
    }
    IntfXmlStringStream s;
    {
        IntfXmlWriter w(&s);
        IntfXmlWriter::Use use(w);
        IntfXmlWriting::StartElement("Root");
        IntfXmlWriting::EndElement();
    }
    s.Close();
    EXPECT_EQ(s.Output(), "\n\t<Root></Root>");
}

TEST(XmlWriter, LetsGoOfTheStreamWhenADocumentEnds) {
    const std::string path =
        ::testing::TempDir() + "zpi_xml_ended_" + std::to_string(::getpid()) + ".xml";
    // Whole or given up half-way, the document's stream is gone afterwards:
    // what the writer is asked then touches no stream and reaches no file.
    for (bool fail : {false, true}) {
        try {
            IntfXmlWriteDocument(path.c_str(), [fail] {
                IntfXmlWriting::StartElement("Doc");
                if (fail)
                    throw std::runtime_error("given up");
                IntfXmlWriting::EndElement();
            });
        } catch (const std::runtime_error&) {
            EXPECT_TRUE(fail);
        }
        EXPECT_EQ(IntfXmlWriter::Current().Stream(), nullptr);
        IntfXmlWriter::Current().WriteHeader();
        IntfXmlWriting::StartElement("Late");
        IntfXmlWriting::AddAttribute("a", "b");
        IntfXmlWriting::AddText("t");
        IntfXmlWriting::EndElement();
    }
    EXPECT_EQ(ReadFile(path).find("Late"), std::string::npos);
    std::remove(path.c_str());
}

// Writes from its destructor, while its thread ends.
struct WritesAsTheThreadEnds {
    ~WritesAsTheThreadEnds() {
        for (int i = 0; i < 2; ++i) {
            IntfXmlWriting::StartElement("Late");
            IntfXmlWriting::AddText("t");
            IntfXmlWriting::EndElement();
        }
    }
};

// Thread-locals go in the reverse order of their making, so one made before
// its thread first wrote goes after the thread's idle writer: what it
// writes then is dropped like any idle write, and no writer is left behind.
TEST(XmlWriter, AThreadLocalThatWritesAfterTheIdleWriterWentLeavesNothing) {
    std::thread([] {
        static thread_local WritesAsTheThreadEnds late;
        (void)&late;
        IntfXmlWriting::StartElement("Early");
        IntfXmlWriting::EndElement();
    }).join();
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
#endif
}

TEST(XmlStreams, LongOutputCrossesTheBufferWhole) {
    std::string path = ::testing::TempDir() + "zpi_xml_long_" + std::to_string(::getpid()) + ".xml";
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

namespace {

// The bytes of `body` written inside "R" (or as a top-level element when
// `inRoot` is false), after an element with text when `afterText` is set.
std::string Written(const std::function<void(IntfXmlWriter&)>& body, bool inRoot,
                    bool afterText) {
    IntfXmlStringStream s;
    {
        IntfXmlWriter w(&s);
        if (inRoot)
            w.StartElement("R");
        if (afterText)
            w.WriteText("t");
        body(w);
        if (inRoot)
            w.EndElement();
    }
    s.Close();
    return s.Output();
}

} // namespace

TEST(XmlWriter, WholeNumberElementsWriteWhatThePiecesWrite) {
    const std::string longName(300, 'N');
    std::vector<double> values;
    std::vector<int32_t> ints;
    for (int i = 0; i < 200; ++i) {
        values.push_back(i % 3 == 0 ? 1.0 / (i + 1) : -1e300 * i);
        ints.push_back(i * 1000003 - 77);
    }
    for (const std::string& name : {std::string("P"), std::string("MaxPoint"), longName}) {
        for (int n : {0, 1, 3, 16, 17, 65, 200}) {
            for (bool inRoot : {true, false}) {
                for (bool afterText : {false, true}) {
                    if (afterText && !inRoot)
                        continue;
                    const std::string what = name.substr(0, 10) + " n=" + std::to_string(n) +
                                             (inRoot ? " in root" : " top") +
                                             (afterText ? " after text" : "");
                    auto pieces = [&](IntfXmlWriter& w) {
                        w.StartElement(name);
                        w.BeginText();
                        for (int i = 0; i < n; ++i) {
                            if (i > 0)
                                w.TextChar(' ');
                            w.TextDouble(values[size_t(i)]);
                        }
                        w.EndElement();
                    };
                    EXPECT_EQ(Written([&](IntfXmlWriter& w) { w.NumbersElement(name, values.data(), n); },
                                      inRoot, afterText),
                              Written(pieces, inRoot, afterText))
                        << what;
                    auto sequence = [&](IntfXmlWriter& w, bool real) {
                        w.StartElement(name);
                        w.WriteAttribute("size", int32_t(n));
                        w.BeginText();
                        const int perLine = real ? 16 : 64;
                        for (int i = 0; i < n; ++i) {
                            if (real)
                                w.TextDouble(values[size_t(i)]);
                            else
                                w.TextInt(ints[size_t(i)]);
                            w.TextChar(i % perLine == perLine - 1 ? '\n' : ' ');
                        }
                        w.EndElement();
                    };
                    EXPECT_EQ(Written([&](IntfXmlWriter& w) {
                                  w.SequenceElement(name, values.data(), n, 16);
                              }, inRoot, afterText),
                              Written([&](IntfXmlWriter& w) { sequence(w, true); }, inRoot,
                                      afterText))
                        << what;
                    EXPECT_EQ(Written([&](IntfXmlWriter& w) {
                                  w.SequenceElement(name, ints.data(), n, 64);
                              }, inRoot, afterText),
                              Written([&](IntfXmlWriter& w) { sequence(w, false); }, inRoot,
                                      afterText))
                        << what;
                }
            }
        }
    }
    // The pieces themselves, for one case.
    const double two[2] = {0.5, -2};
    EXPECT_EQ(Written([&](IntfXmlWriter& w) { w.NumbersElement("P", two, 2); }, true, false),
              "\n\t<R>\n\t<P>0.5 -2</P>\n\t</R>");
}

TEST(XmlWriter, LongNamesAndDeepNestingKeepTheirEndTags) {
    // Names of many lengths, up to beyond what is written in place, nested
    // 24 deep; each element is ended by its own name.
    std::vector<std::string> names;
    for (size_t len = 1; len <= 300; len += 13)
        names.push_back(std::string(len, char('a' + names.size() % 26)));
    std::string expected = "\n";
    for (size_t i = 0; i < names.size(); ++i)
        expected += (i == 0 ? "\t<" : ">\n\t<") + names[i] + " " + names[i] + "=\"" +
                    std::to_string(i) + "\" " + names[i] + "=\"0.5\"";
    expected += "></" + names.back() + ">\n";
    for (size_t i = names.size() - 1; i-- > 0;)
        expected += "\t</" + names[i] + ">" + (i > 0 ? "\n" : "");
    EXPECT_EQ(Written(
                  [&](IntfXmlWriter& w) {
                      for (size_t i = 0; i < names.size(); ++i) {
                          w.StartElement(names[i]);
                          w.WriteAttribute(names[i], int32_t(i));
                          w.WriteAttribute(names[i], 0.5);
                      }
                      for (size_t i = 0; i < names.size(); ++i)
                          w.EndElement();
                  },
                  false, false),
              expected);
}

TEST(XmlStreams, OnlyAStreamWrittenToHasAnOutputBuffer) {
    // Streams that are only read, or not used at all, make no output buffer.
    const std::string path =
        ::testing::TempDir() + "zpi_xml_read_only_" + std::to_string(::getpid()) + ".xml";
    {
        std::ofstream out(path, std::ios::binary);
        out << "<D></D>";
    }
    char buffer[16];
    IntfXmlFileStream file(path.c_str(), 1);
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 7u);
    IntfXmlStringStream input("<D></D>");
    EXPECT_EQ(input.Peek(), '<');
    EXPECT_EQ(input.Read(buffer, sizeof buffer), 7u);
    IntfXmlStringStream unused;
    EXPECT_TRUE(unused.Flush());
    for (IntfXmlIOStream* s : {static_cast<IntfXmlIOStream*>(&file), static_cast<IntfXmlIOStream*>(&input),
                               static_cast<IntfXmlIOStream*>(&unused)}) {
        EXPECT_EQ(s->WriteBufferBytes(), 0u);
        EXPECT_TRUE(s->Close());
        EXPECT_EQ(s->WriteBufferBytes(), 0u);
    }
    EXPECT_EQ(unused.Output(), "");
    std::remove(path.c_str());

    // The first write of any kind makes it, and nothing is lost.
    IntfXmlStringStream put, write, reserve, empty;
    put.Put('x');
    write.Write("ab", 2);
    char* p = reserve.Reserve(3);
    std::memcpy(p, "cde", 3);
    reserve.Commit(p + 3);
    empty.Write("", 0);
    empty.Put('y');
    for (IntfXmlStringStream* s : {&put, &write, &reserve, &empty}) {
        EXPECT_EQ(s->WriteBufferBytes(), IntfXmlIOStream::kWriteBufferSize);
        EXPECT_TRUE(s->Close());
    }
    EXPECT_EQ(put.Output() + write.Output() + reserve.Output() + empty.Output(), "xabcdey");
}

TEST(XmlStreams, OutputLongerThanTheBufferPassesWholeAndInOrder) {
    std::string path = ::testing::TempDir() + "zpi_xml_pass_" + std::to_string(::getpid()) + ".xml";
    std::string expected;
    {
        std::unique_ptr<IntfXmlIOStream> s = IntfXmlOpenOutput(path.c_str());
        for (size_t size : {size_t(10), IntfXmlIOStream::kWriteBufferSize * 2 + 7, size_t(3),
                            IntfXmlIOStream::kWriteBufferSize, size_t(1)}) {
            std::string piece(size, char('A' + expected.size() % 26));
            s->Write(piece);
            expected += piece;
            char* p = s->Reserve(5);
            std::memcpy(p, "<in/>", 5);
            s->Commit(p + 5);
            expected += "<in/>";
        }
        IntfXmlCloseOutput(*s, path.c_str());
    }
    EXPECT_EQ(ReadFile(path), expected);
    std::remove(path.c_str());
}
