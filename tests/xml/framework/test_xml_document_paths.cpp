// Document paths that name no regular file: every document reader refuses
// a directory and a FIFO at once with its open failure (nothing blocks,
// nothing reaches the parser, nothing leaks), ReadZPI says it could not
// read and gives no model, and the transfer dump copies nothing.
#include "file_targets.h"
#include "quoted_text.h"
#include "xml/xml_test_util.h"

#include "btk_quoted.h"
#include "kernel/records/qel_copy.h"
#include "kernel/records/qel_routines.h"
#include "kpi_session.h"
#include "xml/side_documents/side_documents.h"
#include "xml/framework/xml_tempdir.h"
#include "xml/geometry/xml_geometry.h"
#include "xml/intfdata/xml_zpi.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using xmltest::ErrorOf;

namespace {

struct Reader {
    const char* name;
    std::function<void(const char*)> read;
};

// Each reader by path; whatever it gives back on success is freed.
std::vector<Reader> Readers() {
    return {
        {"interface data",
         [](const char* p) {
             qel_intf_data* d = nullptr;
             qel_intf_data_extend* e = nullptr;
             IntfXmlZPI::Read(p, &d, &e);
             qel_intf_data_free(d);
             qel_intf_data_extend_block_free(e);
         }},
        {"assembly information", [](const char* p) { IntfXmlFreeModelInfo(IntfXmlModel::Read(p)); }},
        {"import-layer status",
         [](const char* p) { IntfXmlFreeAtbImportLayers(IntfXmlAtbImportLayers::Read(p)); }},
        {"translation log", [](const char* p) { IntfXmlLogLines::Read(p); }},
        {"translation options", [](const char* p) { IntfXmlTranslationOptions::Read(p); }},
    };
}

TEST(DocumentPaths, EveryReaderRefusesADirectoryAndAFifoAtOnce) {
    filetargets::NonRegularFiles files;
    ASSERT_TRUE(files.Ok());
    const struct {
        std::string path;
        const char* says;
    } paths[] = {{files.Directory(), "a directory"}, {files.Fifo(), "a FIFO"}};
    for (const Reader& reader : Readers()) {
        for (const auto& p : paths) {
            int status = 0;
            std::string message;
            EXPECT_TRUE(files.ReturnsWithin(
                [&] { status = ErrorOf([&] { reader.read(p.path.c_str()); }, &message); }))
                << reader.name << " blocks on " << p.path;
            EXPECT_EQ(status, INTFXML_ERR_OPEN) << reader.name << ", " << p.path;
            EXPECT_NE(message.find(btkQuoted(p.path)), std::string::npos) << message;
            EXPECT_NE(message.find(p.says), std::string::npos) << message;
        }
    }
}

TEST(DocumentPaths, EveryReaderSaysWhereAndWhyItCannotRead) {
    filetargets::ScratchDir dir;
    const std::string missing = dir.Path("missing.xml");
    const std::string empty = dir.Path("empty.xml");
    filetargets::WriteAll(empty, "");
    const std::string cut = dir.Path("cut.xml");
    // Cut inside the root's start tag, on line 3.
    filetargets::WriteAll(cut, "<?xml version=\"1.0\"?>\n\n<Root size=\"1\"");
    for (const Reader& reader : Readers()) {
        std::string message;
        EXPECT_EQ(ErrorOf([&] { reader.read(missing.c_str()); }, &message), INTFXML_ERR_OPEN);
        EXPECT_EQ(message, "cannot open " + btkQuoted(missing) + ": No such file or directory")
            << reader.name;
        EXPECT_EQ(ErrorOf([&] { reader.read(empty.c_str()); }, &message), INTFXML_ERR_PARSE);
        EXPECT_EQ(message, "cannot read " + btkQuoted(empty) + ": empty document") << reader.name;
        EXPECT_EQ(ErrorOf([&] { reader.read(cut.c_str()); }, &message), INTFXML_ERR_PARSE);
        EXPECT_EQ(message.rfind("cannot read " + btkQuoted(cut) + ": line 3, column ", 0), 0u)
            << reader.name << ": " << message;
    }
}

// What a told line or a refusal quotes from outside, the path a reader is
// given and the encoding name a document declares, stays on its one line
// and reads back (quotedtest::QuotesOnOneLine): a path whole, a name cut
// near 80 bytes; in UTF-8 and UTF-16 documents, by every reader, from a
// file and from "bnfs:".
TEST(DocumentPaths, APathAndAnEncodingNameAreQuotedOnTheLinesOneLine) {
    filetargets::ScratchDir dir;
    const std::string folder = dir.Path("a\r\x1B[2J\xFF\\x0A b");
    ASSERT_TRUE(filetargets::MakeFolder(folder, 0700));
    const std::string missing = folder + "/missing.xml", empty = folder + "/empty.xml",
                      held = folder + "/held.xml";
    filetargets::WriteAll(empty, "");
    filetargets::WriteAll(held, "<D><E/></D>");
    for (const Reader& reader : Readers()) {
        for (const std::string& path : {missing, empty}) {
            std::string message;
            EXPECT_NE(ErrorOf([&] { reader.read(path.c_str()); }, &message), 0);
            EXPECT_TRUE(quotedtest::QuotesOnOneLine(message, path)) << reader.name;
        }
    }
    // The document named in what a read tells, and in ReadZPI's second line.
    xmltest::AttrReader attributes;
    attributes.check = [](IntfXmlAttributes& a) { GetIntegerAttribValue("n", &a, 0); };
    ::testing::internal::CaptureStderr();
    IntfXmlParseDocument(held.c_str(), &attributes);
    EXPECT_TRUE(quotedtest::QuotesOnOneLine(::testing::internal::GetCapturedStderr(), held));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(KGetPISession()->ReadZPI(missing.c_str()));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.rfind("Could not read the XML data.\n", 0), 0u) << said;
    EXPECT_TRUE(quotedtest::QuotesOnOneLine(said.substr(said.find('\n') + 1), missing));

    // Encoding names: a line end and a line of the library's own after it,
    // the controls, separators and bidirectional controls, a backslash
    // sequence, a long one.
    const std::u16string names[] = {
        u"x\nSaveAsNeutral: forged line", u"\x1B[2J\x7F\r\v\f\x1C", u"\x85\x9B\u2028\u2029",
        u"\u202E\u2066\u200E\u061C", u"\\x0A\\u2028", std::u16string(1500, u'n')};
    const IntfXmlBnfsOpener saved = IntfXmlRegisterBnfsOpener(&xmltest::OpenMem<4096>);
    const std::string file = dir.Path("declared.xml"), served = "bnfs://host:5/ZPI/declared.xml";
    for (const std::u16string& name : names) {
        const std::string utf8 = btkStrUtf16ToUtf8(name);
        for (bool wide : {false, true}) {
            const std::u16string doc = u"<?xml version=\"1.0\" encoding=\"" + name + u"\"?>\n<D/>";
            std::string bytes;
            if (!wide)
                bytes = btkStrUtf16ToUtf8(doc);
            for (char16_t u : u"\uFEFF" + doc)
                if (wide)
                    bytes.append({char(u & 0xFF), char(u >> 8)});
            filetargets::WriteAll(file, bytes);
            xmltest::Served<4096>()[served] = bytes;
            for (const Reader& reader : Readers())
                for (const std::string& path : {file, served}) {
                    std::string message;
                    EXPECT_EQ(ErrorOf([&] { reader.read(path.c_str()); }, &message),
                              INTFXML_ERR_PARSE);
                    EXPECT_TRUE(quotedtest::QuotesOnOneLine(message, utf8, true))
                        << reader.name << (wide ? ", UTF-16" : ", UTF-8");
                }
        }
    }
    IntfXmlRegisterBnfsOpener(saved);
}

// An element's name that a document chooses (the root, which each reader
// takes under any name, and a point list's items) is quoted as any other
// text of the document: a bidirectional control, which an XML 1.1 name
// may hold, and a long name of two-byte characters, cut near 80 bytes
// before a character.
TEST(DocumentPaths, AnElementNameTheDocumentChoosesIsQuotedOnTheLinesOneLine) {
    filetargets::ScratchDir dir;
    const std::string file = dir.Path("named.xml");
    std::string longName = "R";
    for (int i = 0; i < 150; ++i)
        longName += "\xC3\xA9";
    // Each line of `said` is whole and shows no control; one quotes `name`.
    auto quoted = [](const std::string& said, const std::string& name) {
        bool shown = false;
        for (size_t b = 0, e = 0; b < said.size(); b = e + 1) {
            e = std::min(said.find('\n', b), said.size());
            const std::string line = said.substr(b, e - b);
            EXPECT_EQ(quotedtest::Unshowable(line), "") << line;
            shown = shown || quotedtest::QuotesOnOneLine(line, name, true);
        }
        return shown;
    };
    for (const std::string& name : {std::string("R\xD8\x9Cx"), longName}) {
        SCOPED_TRACE(name.size());
        filetargets::WriteAll(file, "<?xml version=\"1.1\"?><" + name + " size=\"x\"/>");
        // The readers that name the root: ReadZPI (not an interface-data
        // document), the translation log and options (their size).
        const std::function<void()> reads[] = {
            [&] { EXPECT_FALSE(KGetPISession()->ReadZPI(file.c_str())); },
            [&] { IntfXmlLogLines::Read(file.c_str()); },
            [&] { IntfXmlTranslationOptions::Read(file.c_str()); },
        };
        for (const auto& read : reads) {
            std::string refused;
            ::testing::internal::CaptureStderr();
            ErrorOf(read, &refused);
            const std::string told = ::testing::internal::GetCapturedStderr();
            EXPECT_TRUE(quoted(refused + "\n" + told, name)) << refused << told;
        }
        for (const char* value : {"1 x 2", "1 2", "1 2 3 4"}) {
            const std::string doc = "<?xml version=\"1.1\"?><D><L size=\"1\"><" + name + ">" +
                                    value + "</" + name + "></L></D>";
            xmltest::Top<IntfXmlQelPntList> top(
                [](xmltest::Top<IntfXmlQelPntList>* t, IntfXmlAttributes& a) {
                    return t->Make<IntfXmlQelPntList>(IntfXmlRequireSize(a, "L"));
                });
            std::string refused;
            ::testing::internal::CaptureStderr();
            ErrorOf([&] { IntfXmlParseBuffer(doc.data(), doc.size(), &top, "held"); }, &refused);
            const std::string told = ::testing::internal::GetCapturedStderr();
            EXPECT_TRUE(quoted(refused + "\n" + told, name)) << value << ": " << refused << told;
        }
        // The parser's own words quote it in quotes of their own: escaped,
        // and cut as well.
        const std::string doc = "<?xml version=\"1.1\"?><" + name + "></B>";
        xmltest::AttrReader top;
        std::string refused;
        ErrorOf([&] { IntfXmlParseBuffer(doc.data(), doc.size(), &top, "held"); }, &refused);
        EXPECT_EQ(quotedtest::Unshowable(refused), "") << refused;
        EXPECT_NE(refused.find(name.size() > 80 ? "'R\xC3\xA9" : "'R\\u061Cx'"), std::string::npos)
            << refused;
        EXPECT_LT(refused.size(), 200u) << refused;
    }
}

TEST(DocumentPaths, AFileReachedThroughALinkIsStillRead) {
    filetargets::NonRegularFiles files;
    ASSERT_TRUE(files.Ok());
    const std::string target = files.Directory() + "/log.xml";
    const char* lines[] = {"one", "two"};
    IntfXmlLogLines(target.c_str(), lines, 2);
    const std::string link = files.Directory() + "/link.xml";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    const std::vector<IntfXmlLogLine> read = IntfXmlLogLines::Read(link.c_str());
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[1].text, "two");
    // A link to the FIFO is refused like the FIFO itself.
    const std::string fifoLink = files.Directory() + "/fifo_link.xml";
    ASSERT_EQ(::symlink(files.Fifo().c_str(), fifoLink.c_str()), 0);
    int status = 0;
    EXPECT_TRUE(files.ReturnsWithin(
        [&] { status = ErrorOf([&] { IntfXmlLogLines::Read(fifoLink.c_str()); }); }));
    EXPECT_EQ(status, INTFXML_ERR_OPEN);
}

TEST(DocumentPaths, ReadZPISaysItCannotReadAndGivesNoModel) {
    filetargets::NonRegularFiles files;
    ASSERT_TRUE(files.Ok());
    const std::pair<std::string, const char*> cases[] = {{files.Directory(), "a directory"},
                                                          {files.Fifo(), "a FIFO"}};
    for (const auto& [path, what] : cases) {
        const std::string& file = path; // a lambda may not capture a binding
        xrchandle<KWPIModel> model;
        std::string said;
        EXPECT_TRUE(files.ReturnsWithin([&] {
            ::testing::internal::CaptureStderr();
            model = KGetPISession()->ReadZPI(file.c_str());
            said = ::testing::internal::GetCapturedStderr();
        })) << path;
        EXPECT_FALSE(model) << path;
        // The line every failed read prints, then the path and the reason.
        EXPECT_EQ(said, "Could not read the XML data.\ncannot open " + btkQuoted(path) + ": " +
                            what + "\n");
    }
}

TEST(DocumentPaths, TheTransferDumpCopiesNothingFromThem) {
    filetargets::NonRegularFiles files;
    ASSERT_TRUE(files.Ok());
    const std::string target = files.Directory() + "/copy.xml";
    for (const std::string& path : {files.Directory(), files.Fifo()}) {
        bool copied = true;
        std::string why;
        EXPECT_TRUE(files.ReturnsWithin(
            [&] { copied = IntfXmlCopyDocument(path.c_str(), target.c_str(), &why); }))
            << path;
        EXPECT_FALSE(copied) << path;
        EXPECT_NE(::access(target.c_str(), F_OK), 0) << path;
        EXPECT_EQ(why.rfind("cannot open " + btkQuoted(path) + ": a ", 0), 0u) << why;
    }
    // The dump that was asked for says why it made no copy.
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(files.ReturnsWithin([&] { DumpTransferredXml(files.Fifo().c_str()); }));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Could not dump the transferred document to \"transferred.xml\": cannot open " +
                  btkQuoted(files.Fifo()) + ": a FIFO\n");
}

} // namespace
