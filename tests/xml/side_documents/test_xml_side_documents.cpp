// Side documents of a translation: import-layer status, translation log,
// translation options and assembly information (written, read back, and
// refused when malformed), the temporary directory chosen from the
// environment and the transfer dump.
#include "xml/xml_test_util.h"
#include "quoted_text.h"

#include "kernel/records/wide_name.h"
#include "xml/side_documents/side_documents.h"
#include "xml/framework/xml_tempdir.h"

#include "btk_quoted.h"
#include "xmemory.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

const std::string kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

std::string TempPath(const std::string& tag) {
    return ::testing::TempDir() + "zpi_side_" + tag + "_" + std::to_string(getpid()) + ".xml";
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The document after its header and the empty line before its root.
std::string Body(const std::string& path) {
    std::string text = ReadFile(path);
    EXPECT_EQ(text.substr(0, kHeader.size() + 1), kHeader + "\n");
    text.erase(0, kHeader.size() + 1);
    return text;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Parses `doc` (with the header put in front) with `reader`.
void ParseDoc(IntfXmlElement& reader, const std::string& doc) {
    std::string bytes = kHeader + doc;
    IntfXmlParseBuffer(bytes.data(), bytes.size(), &reader, "test");
}

// Whether `told` (standard error of a parse of document "test") has a line
// telling `what` at line `line`.
bool ToldAt(const std::string& told, int line, const std::string& what) {
    const std::string at = "document \"test\", line " + std::to_string(line) + ", column ";
    for (size_t from = told.find(at); from != std::string::npos; from = told.find(at, from + 1)) {
        const size_t end = told.find('\n', from);
        if (told.substr(from, end - from).find(what) != std::string::npos)
            return true;
    }
    return false;
}

// Sets or unsets an environment variable for the life of the object.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old, hadOld_ = true;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvVar() {
        if (hadOld_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::string old_;
    bool hadOld_ = false;
};

std::u16string Wide(const atb_import_layer& l, bool orig) {
    const char16_t* f = orig ? l.OrigName : l.Name;
    return std::u16string(f, size_t(kname::FieldLength(f, ATB_LAYER_NAME_LEN)));
}

atb_import_layer* NewLayers(int n) {
    return static_cast<atb_import_layer*>(xar_alloc(n, sizeof(atb_import_layer), 10));
}

} // namespace

// ---- temporary directory and dump -----------------------------------------------------

TEST(TempDir, ChosenFromTmpThenTempThenTmpdirThenTheDefault) {
    const std::string existing =
        ::testing::TempDir() + "zpi_temp_dir_" + std::to_string(getpid());
    const std::string other = existing + "_other";
    fs::create_directories(existing);
    fs::create_directories(other);
    const std::string missing = existing + "_missing";
    const std::string file = TempPath("notadir");
    WriteFile(file, "x");
    char buf[4096];
    {
        EnvVar tmp("TMP", missing.c_str()), temp("TEMP", existing.c_str()),
            tmpdir("TMPDIR", other.c_str());
        EXPECT_EQ(std::string(GetTempDir(buf, sizeof buf)), existing);
    }
    {
        EnvVar tmp("TMP", existing.c_str()), temp("TEMP", nullptr), tmpdir("TMPDIR", other.c_str());
        EXPECT_EQ(std::string(GetTempDir(buf, sizeof buf)), existing);
        EXPECT_EQ(IntfXmlTempDir(), existing);
    }
    {
        // "TMPDIR" comes third, after "TMP" and "TEMP" name nothing usable.
        EnvVar tmp("TMP", missing.c_str()), temp("TEMP", nullptr), tmpdir("TMPDIR", other.c_str());
        EXPECT_EQ(std::string(GetTempDir(buf, sizeof buf)), other);
    }
    {
        // A regular file is no directory; neither is a value too long for
        // the buffer.
        EnvVar tmp("TMP", file.c_str()), temp("TEMP", existing.c_str()), tmpdir("TMPDIR", nullptr);
        EXPECT_EQ(std::string(GetTempDir(buf, sizeof buf)), existing);
        char small[12];
        EXPECT_EQ(std::string(GetTempDir(small, sizeof small)), "/tmp");
        char tiny[4];
        EXPECT_EQ(std::string(GetTempDir(tiny, sizeof tiny)), "");
    }
    {
        // Nothing set: an absolute default, never a path relative to the
        // current directory.
        EnvVar tmp("TMP", nullptr), temp("TEMP", nullptr), tmpdir("TMPDIR", nullptr);
        EXPECT_EQ(std::string(GetTempDir(buf, sizeof buf)), "/tmp");
        EXPECT_EQ(IntfXmlTempDir(), "/tmp");
    }
    {
        EnvVar tmp("TMP", ""), temp("TEMP", missing.c_str()), tmpdir("TMPDIR", file.c_str());
        EXPECT_EQ(std::string(GetTempDir(buf, sizeof buf)), "/tmp");
    }
    EXPECT_EQ(GetTempDir(nullptr, 10), nullptr);
    std::remove(file.c_str());
    fs::remove(existing);
    fs::remove(other);
}

TEST(TempDir, AVariablePassedOverIsToldOnceInOneLine) {
    static int round = 0; // a value of its own in every repeat
    const std::string existing = ::testing::TempDir();
    const std::string missing = existing + "zpi_told_" + std::to_string(getpid()) + "_" +
                                std::to_string(++round);
    EnvVar tmp("TMP", missing.c_str()), temp("TEMP", existing.c_str()), tmpdir("TMPDIR", nullptr);
    char buf[4096];
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(std::string(GetTempDir(buf, sizeof buf)), existing);
    EXPECT_EQ(std::string(GetTempDir(buf, sizeof buf)), existing);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "TMP=" + btkQuoted(missing) + " is passed over for the temporary folder: it names no "
              "existing folder\n");
    // A value is quoted on the line's one line, as it stands.
    for (const std::string& forged : {missing + "\nSaveAsNeutral: forged line", missing + "\xFF\x1B[2J"}) {
        EnvVar other("TMP", forged.c_str());
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(std::string(GetTempDir(buf, sizeof buf)), existing);
        EXPECT_TRUE(quotedtest::QuotesOnOneLine(::testing::internal::GetCapturedStderr(), forged));
    }
}

namespace {

// A "bnfs:" document served from memory that hands out at most 700 bytes
// per read.
struct DumpMemFile : IntfXmlBnfsFile {
    static inline std::string content;
    size_t pos = 0;
    long Read(char* buffer, size_t wanted) override {
        size_t n = std::min({wanted, size_t(700), content.size() - pos});
        std::memcpy(buffer, content.data() + pos, n);
        pos += n;
        return long(n);
    }
    long Write(const char*, size_t) override { return -1; }
    bool Close() override { return true; }
};

IntfXmlBnfsFile* OpenDumpMem(const char* path, int mode, std::string*) {
    if (mode != 1 || std::string(path).find("missing") != std::string::npos)
        return nullptr;
    return new DumpMemFile();
}

} // namespace

TEST(TransferDump, CopiesFilesAndBnfsDocumentsByteForByte) {
    std::string doc;
    for (int i = 0; i < 5000; ++i)
        doc += char('a' + i % 26);
    doc[100] = '\0'; // bytes pass unchanged, a zero byte too
    const std::string src = TempPath("dumpsrc"), dst = TempPath("dumpdst");
    WriteFile(src, doc);
    EXPECT_TRUE(IntfXmlCopyDocument(src.c_str(), dst.c_str()));
    EXPECT_EQ(ReadFile(dst), doc);

    // An empty document gives an empty copy; a missing one gives none.
    WriteFile(src, "");
    EXPECT_TRUE(IntfXmlCopyDocument(src.c_str(), dst.c_str()));
    EXPECT_EQ(ReadFile(dst), "");
    std::remove(dst.c_str());
    EXPECT_FALSE(IntfXmlCopyDocument((src + ".missing").c_str(), dst.c_str()));
    EXPECT_FALSE(fs::exists(dst));
    EXPECT_FALSE(IntfXmlCopyDocument("", dst.c_str()));

    // Copying a file onto itself leaves it alone.
    WriteFile(src, doc);
    EXPECT_FALSE(IntfXmlCopyDocument(src.c_str(), src.c_str()));
    EXPECT_EQ(ReadFile(src), doc);

    IntfXmlBnfsOpener saved = IntfXmlRegisterBnfsOpener(&OpenDumpMem);
    DumpMemFile::content = doc;
    EXPECT_TRUE(IntfXmlCopyDocument("bnfs://h:1/ZPI/x.xml", dst.c_str()));
    EXPECT_EQ(ReadFile(dst), doc);
    EXPECT_FALSE(IntfXmlCopyDocument("bnfs://h:1/ZPI/missing.xml", (dst + "2").c_str()));
    IntfXmlRegisterBnfsOpener(saved);
    std::remove(src.c_str());
    std::remove(dst.c_str());
}

TEST(TransferDump, WritesTransferredXmlInTheCurrentDirectoryWhenAsked) {
    const fs::path dir = fs::path(::testing::TempDir()) / ("zpi_dump_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    const std::string first = (dir / "first.xml").string(), second = (dir / "second.xml").string();
    WriteFile(first, "<a/>");
    WriteFile(second, "<b/>");
    {
        EnvVar dump(INTFXML_DUMP_VARIABLE, nullptr);
        IntfXmlDumpIfRequested(first.c_str());
        EXPECT_FALSE(fs::exists(dir / "transferred.xml"));
    }
    {
        EnvVar dump(INTFXML_DUMP_VARIABLE, "1");
        IntfXmlDumpIfRequested(first.c_str());
        IntfXmlDumpIfRequested(second.c_str());
    }
    // Every dump replaces the last one.
    EXPECT_EQ(ReadFile((dir / "transferred.xml").string()), "<b/>");
    DumpTransferredXml(""); // does nothing
    EXPECT_EQ(ReadFile((dir / "transferred.xml").string()), "<b/>");
    fs::current_path(before);
    fs::remove_all(dir);
}

// ---- import-layer status --------------------------------------------------------------

TEST(AtbLayers, WritesTheDocumentLayoutAndReadsItBack) {
    const std::string path = TempPath("layers");
    atb_import_layer* layers = NewLayers(2);
    layers[0] = atb_import_layer{7, 2, {}, {}, 1, 3, 4, 5};
    kname::Write(layers[0].Name, ATB_LAYER_NAME_LEN, "L1");
    kname::Write(layers[0].OrigName, ATB_LAYER_NAME_LEN, "orig");
    layers[1] = atb_import_layer{-8, 0, {}, {}, -1, 0, 2147483647, -2147483647 - 1};
    // Markup characters and non-ASCII text survive; the names may be empty.
    kname::Write(layers[1].Name, ATB_LAYER_NAME_LEN, "a<b&c>\"d\" \xC3\xA9\xE2\x82\xAC");
    IntfXmlAtbImportLayers{path.c_str(), layers};

    const std::string text = Body(path);
    const std::string start = "\t<Layers size=\"2\">\n"
                                        "\t<Layer IntfId=\"7\" Type=\"2\" ImportStatus=\"1\" "
                                        "CrvCount=\"3\" SrfCount=\"4\" TrmSrfCount=\"5\">\n"
                                        "\t<Name>L1</Name>\n"
                                        "\t<OrigName>orig</OrigName>\n"
                                        "\t</Layer>\n"
                                        "\t<Layer IntfId=\"-8\" ";
    EXPECT_EQ(text.substr(0, start.size()), start);
    EXPECT_TRUE(text.ends_with("</OrigName>\n\t</Layer>\n\t</Layers>")) << text;

    atb_import_layer* back = IntfXmlAtbImportLayers::Read(path.c_str());
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(xar_count(back), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(back[i].IntfId, layers[i].IntfId);
        EXPECT_EQ(back[i].Type, layers[i].Type);
        EXPECT_EQ(back[i].ImportStatus, layers[i].ImportStatus);
        EXPECT_EQ(back[i].CrvCount, layers[i].CrvCount);
        EXPECT_EQ(back[i].SrfCount, layers[i].SrfCount);
        EXPECT_EQ(back[i].TrmSrfCount, layers[i].TrmSrfCount);
        EXPECT_EQ(Wide(back[i], false), Wide(layers[i], false));
        EXPECT_EQ(Wide(back[i], true), Wide(layers[i], true));
    }
    IntfXmlFreeAtbImportLayers(back);
    IntfXmlFreeAtbImportLayers(layers);

    // No records: an empty "Layers" that reads back as an empty array.
    IntfXmlAtbImportLayers{path.c_str(), nullptr};
    EXPECT_EQ(Body(path), "\t<Layers size=\"0\"></Layers>");
    back = IntfXmlAtbImportLayers::Read(path.c_str());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(xar_count(back), 0);
    IntfXmlFreeAtbImportLayers(back);
    std::remove(path.c_str());
}

TEST(AtbLayers, ReaderTakesAttributesByPositionAndPassesOverTheRest) {
    IntfXmlAtbImportLayers reader(nullptr);
    std::string longName(100, 'n');
    testing::internal::CaptureStderr();
    ParseDoc(reader, "<Layers size=\"2\">"
                     "<Layer Type=\"2\" IntfId=\"7\" ImportStatus=\"1\"><Name>first</Name>"
                     "<Note x=\"1\"><Name>inner</Name>text</Note></Layer>"
                     "<Other/>"
                     "<Layer IntfId=\"3\"><Name>" + longName + "</Name>\n<OrigName>" +
                         longName + "</OrigName></Layer></Layers>");
    // The names cut are told at the first, with how many more, and so is
    // each kind of what is passed over: the elements, the attributes not at
    // their places, the missing "OrigName".
    const std::string told = testing::internal::GetCapturedStderr();
    for (const char* what :
         {"\"Layer\" \"Name\" of 100 UTF-16 units was cut to 80: its field holds 80; 1 more like "
          "it",
          "\"Layer\" holds the attribute \"Type\", which is not read; 1 more like it",
          "the element \"Note\" is not read; 2 more like it",
          "\"Layer\" lacks its \"OrigName\": read as an empty name"})
        EXPECT_TRUE(ToldAt(told, 2, what)) << what << "\n" << told;
    atb_import_layer* l = reader.TakeData();
    ASSERT_EQ(xar_count(l), 2);
    EXPECT_EQ(l[0].IntfId, -1); // at the place of "Type"
    EXPECT_EQ(l[0].Type, -1);
    EXPECT_EQ(l[0].ImportStatus, 1);
    EXPECT_EQ(l[0].CrvCount, -1);
    EXPECT_EQ(Wide(l[0], false), u"first");
    EXPECT_EQ(Wide(l[0], true), u""); // no "OrigName": as the array made it
    EXPECT_EQ(l[1].IntfId, 3);
    EXPECT_EQ(Wide(l[1], false), std::u16string(80, u'n')); // cut to the field
    EXPECT_EQ(Wide(l[1], true), std::u16string(80, u'n'));
    IntfXmlFreeAtbImportLayers(l);

    IntfXmlAtbImportLayers none(nullptr);
    ParseDoc(none, "<Other><x/></Other>");
    EXPECT_EQ(none.GetData(), nullptr);
}

TEST(AtbLayers, MalformedDocumentsAndRecordsAreRefused) {
    const char* bad[] = {
        "<Layers size=\"1\"><Layer/><Layer/></Layers>",         // more than its size
        "<Layers size=\"2\"><Layer/></Layers>",                  // fewer
        "<Layers><Layer/></Layers>",                             // no size
        "<Root><Layer/><Layers size=\"0\"/></Root>",             // layer outside
        "<Root><Layers size=\"0\"/><Layers size=\"0\"/></Root>", // twice
        "<Layers size=\"1\"><Layer IntfId=\"x1\"/></Layers>",    // not a number
        "<Layers size=\"1\"><Layer>",                            // cut off
    };
    for (const char* doc : bad) {
        IntfXmlAtbImportLayers reader(nullptr);
        EXPECT_NE(xmltest::ErrorOf([&] { ParseDoc(reader, doc); }), 0) << doc;
    }
    // An array of other records is not written.
    void* other = xar_alloc(1, 8, 10);
    const std::string path = TempPath("badlayers");
    EXPECT_EQ(xmltest::ErrorOf([&] {
                  IntfXmlAtbImportLayers{path.c_str(), static_cast<atb_import_layer*>(other)};
              }),
              INTFXML_ERR_RECORD);
    xar_free(&other);
    EXPECT_EQ(xmltest::ErrorOf([] { IntfXmlAtbImportLayers{"", nullptr}; }), INTFXML_ERR_OPEN);
}

// ---- translation log ----------------------------------------------------------------------

TEST(TranslationLog, WritesLinesAndMissingLines) {
    const std::string path = TempPath("log");
    const char* lines[] = {"a", nullptr, "b"};
    IntfXmlLogLines{path.c_str(), lines, 3};
    EXPECT_EQ(Body(path), "\t<LogLines size=\"3\">\n"
                                        "\t<LogLine>a</LogLine>\n"
                                        "\t<LogLine empty=\"1\"></LogLine>\n"
                                        "\t<LogLine>b</LogLine>\n"
                                        "\t</LogLines>");
    IntfXmlLogLines{path.c_str(), nullptr};
    EXPECT_EQ(Body(path), "\t<LogLines size=\"0\"></LogLines>");

    // Through an xar; blanks, markup characters and line ends come back.
    const char** arr = static_cast<const char**>(xar_alloc(4, sizeof(char*), 4));
    arr[0] = "  padded  ";
    arr[1] = "x < y && y > z";
    arr[2] = nullptr;
    arr[3] = "two\nlines\r\n";
    IntfXmlLogLines{path.c_str(), arr};
    std::vector<IntfXmlLogLine> back = IntfXmlLogLines::Read(path.c_str());
    ASSERT_EQ(back.size(), 4u);
    EXPECT_EQ(back[0].text, "  padded  ");
    EXPECT_EQ(back[1].text, "x < y && y > z");
    EXPECT_TRUE(back[2].missing);
    EXPECT_FALSE(back[3].missing);
    EXPECT_EQ(back[3].text, "two\nlines\r\n");
    xar_free(arr);

    // A text or an attribute that a missing line holds is not read.
    IntfXmlLogLines lost(nullptr);
    testing::internal::CaptureStderr();
    ParseDoc(lost, "<LogLines size=\"2\"><LogLine empty=\"1\">lost</LogLine>\n"
                   "<LogLine zz=\"1\" empty=\"1\"></LogLine></LogLines>");
    const std::string told = testing::internal::GetCapturedStderr();
    ASSERT_EQ(lost.GetLines().size(), 2u);
    EXPECT_TRUE(lost.GetLines()[0].missing);
    EXPECT_TRUE(ToldAt(told, 2, "\"LogLine\" holds a text, which is not read")) << told;
    EXPECT_TRUE(ToldAt(told, 3,
                       "\"LogLine\" holds the attribute \"zz\", which is not read; 1 more like it"))
        << told;

    // "empty" of another value than 1, a number or not, marks no line: each
    // line is read as its text, told with its place and the value as the
    // document holds it, and written back as such a line.
    for (const std::string value : {"0", "2", "-7", "100", "-0", "", "yes", "99999999999"}) {
        IntfXmlLogLines reader(nullptr);
        testing::internal::CaptureStderr();
        ParseDoc(reader, "<LogLines size=\"2\">\n<LogLine empty=\"" + value +
                             "\">kept</LogLine><LogLine empty=\"" + value + "\"/></LogLines>");
        const std::string said = testing::internal::GetCapturedStderr();
        const std::vector<IntfXmlLogLine>& read = reader.GetLines();
        ASSERT_EQ(read.size(), 2u);
        EXPECT_FALSE(read[0].missing || read[1].missing) << value;
        EXPECT_EQ(read[0].text, "kept");
        EXPECT_TRUE(
            ToldAt(said, 3, "\"LogLine\" holds \"empty\" = \"" + value + "\", which marks no line"))
            << said;
        const char* back[] = {read[0].text.c_str(), read[1].text.c_str()};
        IntfXmlLogLines{path.c_str(), back, 2};
        EXPECT_EQ(Body(path), "\t<LogLines size=\"2\">\n\t<LogLine>kept</LogLine>\n"
                              "\t<LogLine></LogLine>\n\t</LogLines>");
    }
    std::remove(path.c_str());

    for (const char* doc : {"<LogLines size=\"1\"></LogLines>",
                            "<LogLines size=\"1\"><LogLine><b/></LogLine></LogLines>",
                            "<LogLines size=\"0\"><Other/></LogLines>"}) {
        IntfXmlLogLines reader(nullptr);
        EXPECT_EQ(xmltest::ErrorOf([&] { ParseDoc(reader, doc); }), INTFXML_ERR_MALFORMED) << doc;
    }
}

// ---- translation options ------------------------------------------------------------------

TEST(TranslationOptions, ReadsTypedOptionsByName) {
    IntfXmlTranslationOptions reader(nullptr);
    testing::internal::CaptureStderr();
    ParseDoc(reader, "<TranslationOptions size=\"9\">"
                     "<Option Name=\"tol\" Type=\"2\">0.5</Option>"
                     "<Option Name=\"count\" Type=\"1\"> 12 </Option>"
                     "<Option Name=\"label\" Type=\"3\"> a &amp; b </Option>"
                     "<Option Name=\"skip\" Type=\"4\">1</Option>"
                     "<Option Type=\"1\" Name=\"swapped\">1</Option>"
                     "<Option Name=\"\" Type=\"1\">1</Option>"
                     "<Option Name=\"blank\" Type=\"3\"></Option>"
                     "<Option Name=\"count\" Type=\"3\">now text</Option>"
                     "<Other/></TranslationOptions>");
    // What sets nothing or replaces an option, an element other than an
    // option and a count other than the size are told.
    const std::string told = testing::internal::GetCapturedStderr();
    for (const char* what :
         {"\"Option\" \"skip\" is of type 4, which no option kind carries: it is not read",
          "an \"Option\" without a name is not read",
          "\"Option\" \"blank\" of type 3 holds no text: it is not read",
          "\"Option\" \"count\" appears twice: the later one is read",
          "the element \"Other\" is not read", "the document holds 8 options where its size says 9"})
        EXPECT_TRUE(ToldAt(told, 2, what)) << what << "\n" << told;
    std::unique_ptr<IntfXmlOptionList> options = reader.TakeOptions();
    ASSERT_TRUE(options);
    ASSERT_EQ(options->Count(), 3u);
    const IntfXmlOption* tol = options->Find("tol");
    ASSERT_TRUE(tol);
    EXPECT_EQ(tol->type, IntfXmlOption::kDouble);
    EXPECT_EQ(tol->doubleValue, 0.5);
    // A later option of the same name replaces type and value.
    const IntfXmlOption* count = options->Find("count");
    ASSERT_TRUE(count);
    EXPECT_EQ(count->type, IntfXmlOption::kString);
    EXPECT_EQ(count->text, "now text");
    EXPECT_EQ(options->Find("label")->text, " a & b ");
    EXPECT_EQ(options->Find("skip"), nullptr);

    IntfXmlTranslationOptions rootOnly(nullptr);
    ParseDoc(rootOnly, "<Anything/>");
    ASSERT_TRUE(rootOnly.GetOptions());
    EXPECT_EQ(rootOnly.GetOptions()->Count(), 0u);

    for (const char* doc : {"<O><Option Name=\"a\" Type=\"1\">1.5</Option></O>",
                            "<O><Option Name=\"a\" Type=\"2\">x</Option></O>",
                            "<O><Option Name=\"a\" Type=\"two\">1</Option></O>",
                            "<O><Option Name=\"a\" Type=\"3\"><b/></Option></O>"}) {
        IntfXmlTranslationOptions bad(nullptr);
        EXPECT_EQ(xmltest::ErrorOf([&] { ParseDoc(bad, doc); }), INTFXML_ERR_MALFORMED) << doc;
    }
}

// An "Option" without attributes is dropped, and standard error says where,
// whatever the run mode: the document, the line and the column, once for
// the document.
TEST(TranslationOptions, AnOptionWithoutAttributesIsToldWithItsDocument) {
    const std::string path = TempPath("bare_option");
    std::ofstream(path) << "<TranslationOptions>\n<Option>5</Option>\n<Option>6</Option>\n"
                           "<Option Name=\"n\" Type=\"1\">7</Option>\n</TranslationOptions>\n";
    testing::internal::CaptureStderr();
    std::unique_ptr<IntfXmlOptionList> options = IntfXmlTranslationOptions::Read(path.c_str());
    const std::string told = testing::internal::GetCapturedStderr();
    std::remove(path.c_str());
    ASSERT_TRUE(options);
    EXPECT_EQ(options->Count(), 1u);
    // Once per document, where it first lacks, an attribute with how many
    // more lack (the options' names and types); an option without a name
    // is not read, and that is told once too.
    const std::string doc = "document " + btkQuoted(path) + ", ";
    EXPECT_EQ(told, doc +
                        "line 1, column 21: \"TranslationOptions\" lacks the attribute \"size\" "
                        "at position 0: read as -1; 4 more like it\n" +
                        doc +
                        "line 2, column 19: an \"Option\" without a name is not read; 1 more "
                        "like it\n");
}

TEST(TranslationOptions, WrittenOptionsReadBackExactly) {
    IntfXmlOptionList options;
    EXPECT_TRUE(options.SetInteger("n", -7));
    EXPECT_TRUE(options.SetDouble("d", 0.1));
    EXPECT_TRUE(options.SetDouble("tiny", 4.9e-324));
    EXPECT_TRUE(options.SetString("quote \"q\" <&>", "text <&> \"x\"\ttab"));
    EXPECT_FALSE(options.SetString("empty", ""));
    EXPECT_FALSE(options.SetInteger("", 1));
    const std::string path = TempPath("options");
    IntfXmlTranslationOptions{path.c_str(), options};
    const std::string start =
        "\t<TranslationOptions size=\"4\">\n\t<Option Name=\"n\" Type=\"1\">-7</Option>\n";
    EXPECT_EQ(Body(path).substr(0, start.size()), start);
    std::unique_ptr<IntfXmlOptionList> back = IntfXmlTranslationOptions::Read(path.c_str());
    ASSERT_TRUE(back);
    ASSERT_EQ(back->Count(), options.Count());
    for (const IntfXmlOption& o : options.Items()) {
        const IntfXmlOption* b = back->Find(o.name);
        ASSERT_TRUE(b) << o.name;
        EXPECT_EQ(b->type, o.type);
        EXPECT_EQ(b->intValue, o.intValue);
        EXPECT_EQ(b->doubleValue, o.doubleValue);
        EXPECT_EQ(b->text, o.text);
    }
    std::remove(path.c_str());
}

// ---- what a read passes over ---------------------------------------------------------------

// Each reader's document holding thousands of elements and attributes of
// names of its own, read at once on threads of their own: each kind is told
// in one line, naming its first place and how many more.
TEST(SideDocuments, WhatIsPassedOverIsToldOncePerKindWithHowManyMore) {
    constexpr int kMany = 3000;
    // `item` kMany times, each "#" in it standing for its index.
    auto many = [](const std::string& item) {
        std::string out;
        for (int i = 0; i < kMany; ++i) {
            const std::string index = std::to_string(i);
            for (char c : item)
                c == '#' ? out += index : out += c;
        }
        return out;
    };
    const std::string size = " size=\"" + std::to_string(kMany) + "\">";
    const std::string more = "; " + std::to_string(kMany - 1) + " more like it";
    using Make = std::function<std::unique_ptr<IntfXmlElement>()>;
    auto reader = [](auto* r) { return std::unique_ptr<IntfXmlElement>(r); };
    const struct {
        Make make;
        std::string doc;
        std::vector<std::string> told;
    } cases[] = {
        {[&] { return reader(new IntfXmlAtbImportLayers(nullptr)); },
         "<Layers" + size +
             many("<Layer IntfId=\"#\" Type=\"1\" ImportStatus=\"1\" CrvCount=\"0\" SrfCount=\"0\" "
                  "TrmSrfCount=\"0\" "
                  "z#=\"1\"><Name>n</Name><OrigName>o</OrigName><Note#/></Layer>") +
             "</Layers>",
         {"\"Layer\" holds the attribute \"z0\", which is not read",
          "the element \"Note0\" is not read"}},
        {[&] { return reader(new IntfXmlTranslationOptions(nullptr)); },
         "<TranslationOptions" + size +
             many("<Option Name=\"o#\" Type=\"1\" z#=\"1\">1</Option><Other#/>") +
             "</TranslationOptions>",
         {"\"Option\" holds the attribute \"z0\", which is not read",
          "the element \"Other0\" is not read"}},
        {[&] { return reader(new IntfXmlLogLines(nullptr)); },
         "<LogLines" + size + many("<LogLine z#=\"1\">t</LogLine>") + "</LogLines>",
         {"\"LogLine\" holds the attribute \"z0\", which is not read"}},
        {[&] { return reader(new IntfXmlModel(nullptr)); },
         "<Model name=\"m\" type=\"1\" src_sys=\"2\"><Comps" + size +
             many("<Comp ID=\"#\" z#=\"1\"><Matrix>1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 "
                  "1</Matrix></Comp>") +
             "</Comps></Model>",
         {"\"Comp\" holds the attribute \"z0\", which is not read"}},
    };
    const size_t n = std::size(cases);
    std::vector<int> status(n, -1);
    std::vector<std::thread> threads;
    testing::internal::CaptureStderr();
    for (size_t i = 0; i < n; ++i)
        threads.emplace_back([&, i] {
            const std::unique_ptr<IntfXmlElement> top = cases[i].make();
            const std::string bytes = kHeader + cases[i].doc;
            const std::string id = "side" + std::to_string(i);
            status[i] = xmltest::ErrorOf(
                [&] { IntfXmlParseBuffer(bytes.data(), bytes.size(), top.get(), id.c_str()); });
        });
    for (std::thread& t : threads)
        t.join();
    const std::string told = testing::internal::GetCapturedStderr();
    for (size_t i = 0; i < n; ++i) {
        EXPECT_EQ(status[i], 0) << i;
        std::vector<std::string> lines;
        std::istringstream in(told);
        const std::string of = "document \"side" + std::to_string(i) + "\", line 2, column ";
        for (std::string line; std::getline(in, line);)
            if (line.rfind(of, 0) == 0)
                lines.push_back(line);
        EXPECT_EQ(lines.size(), cases[i].told.size()) << told;
        for (const std::string& what : cases[i].told)
            EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                    [&](const std::string& line) {
                                        return line.find(": " + what + more) != std::string::npos &&
                                               line.ends_with(more);
                                    }),
                      1)
                << what << "\n"
                << told;
    }
}

// ---- assembly information ---------------------------------------------------------------

namespace {

struct InfoTree {
    qel_model_basic_info* root = nullptr;
    ~InfoTree() { IntfXmlFreeModelInfo(root); }
};

qel_model_basic_info* NewInfo(const char* name, uint32_t type, uint32_t src) {
    auto* info = static_cast<qel_model_basic_info*>(getmem(sizeof(qel_model_basic_info)));
    kname::Write(info->name, QEL_PATH_LEN, name);
    info->type = type;
    info->source_system = src;
    return info;
}

void AddComp(qel_model_basic_info* info, uint32_t id, double base, qel_model_basic_info* sub) {
    qel_model_component_info c{};
    c.id = id;
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 4; ++k)
            c.matrix[r][k] = base + r * 4 + k + 0.1;
    c.sub = sub;
    xar_alloc_or_append(info->components, int(sizeof c), 10, 1, &c);
}

void ExpectSameTree(const qel_model_basic_info* a, const qel_model_basic_info* b) {
    ASSERT_TRUE(a && b);
    EXPECT_EQ(kname::Narrow(a->name, QEL_PATH_LEN), kname::Narrow(b->name, QEL_PATH_LEN));
    EXPECT_EQ(a->type, b->type);
    EXPECT_EQ(a->source_system, b->source_system);
    ASSERT_EQ(a->components == nullptr, b->components == nullptr);
    ASSERT_EQ(xar_count(a->components), xar_count(b->components));
    for (int i = 0; i < xar_count(a->components); ++i) {
        const qel_model_component_info &ca = a->components[i], &cb = b->components[i];
        EXPECT_EQ(ca.id, cb.id);
        EXPECT_EQ(std::memcmp(ca.matrix, cb.matrix, sizeof ca.matrix), 0);
        ASSERT_EQ(ca.sub == nullptr, cb.sub == nullptr);
        if (ca.sub)
            ExpectSameTree(ca.sub, cb.sub);
    }
}

} // namespace

TEST(AssemblyInfo, WritesTheDocumentLayout) {
    const std::string path = TempPath("asm");
    InfoTree t;
    t.root = NewInfo("asm", 1, 2);
    qel_model_component_info c{};
    c.id = 5;
    for (int i = 0; i < 4; ++i)
        c.matrix[i][i] = 1;
    xar_alloc_or_append(t.root->components, int(sizeof c), 10, 1, &c);
    IntfXmlModel{path.c_str(), t.root};
    EXPECT_EQ(Body(path), "\t<Model name=\"asm\" type=\"1\" src_sys=\"2\">\n"
                                        "\t<Comps size=\"1\">\n"
                                        "\t<Comp ID=\"5\">\n"
                                        "\t<Matrix>1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1 </Matrix>\n"
                                        "\t</Comp>\n"
                                        "\t</Comps>\n"
                                        "\t</Model>");
    InfoTree plain;
    plain.root = NewInfo("part", 0xFFFFFFFFu, 0);
    IntfXmlModel{path.c_str(), plain.root};
    EXPECT_EQ(Body(path), "\t<Model name=\"part\" type=\"-1\" src_sys=\"0\"></Model>");
    plain.root->components =
        static_cast<qel_model_component_info*>(xar_alloc(0, sizeof(qel_model_component_info), 10));
    IntfXmlModel{path.c_str(), plain.root};
    EXPECT_EQ(Body(path), "\t<Model name=\"part\" type=\"-1\" src_sys=\"0\">\n"
                                        "\t<Comps size=\"0\"></Comps>\n\t</Model>");
    std::remove(path.c_str());
}

TEST(AssemblyInfo, TreeOfSubAssembliesReadsBackExactly) {
    const std::string path = TempPath("asmtree");
    InfoTree t;
    t.root = NewInfo("top \"asm\" <1> & \xC3\xA9", 3, 4);
    qel_model_basic_info* sub = NewInfo("sub", 5, 6);
    AddComp(sub, 11, 1e-300, nullptr);
    AddComp(t.root, 1, 0.0, sub);
    AddComp(t.root, 2, -12345.678, nullptr);
    IntfXmlModel{path.c_str(), t.root};
    InfoTree back;
    back.root = IntfXmlModel::Read(path.c_str());
    ExpectSameTree(t.root, back.root);
    EXPECT_EQ(back.root->components[1].sub, nullptr);
    std::remove(path.c_str());
}

TEST(AssemblyInfo, CyclesAndMalformedDocumentsAreRefused) {
    InfoTree t;
    t.root = NewInfo("a", 0, 0);
    qel_model_basic_info* sub = NewInfo("b", 0, 0);
    AddComp(t.root, 1, 0, sub);
    AddComp(sub, 2, 0, t.root); // leads back to the top
    const std::string path = TempPath("asmcycle");
    EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlModel{path.c_str(), t.root}; }), INTFXML_ERR_RECORD);
    EXPECT_FALSE(fs::exists(path)); // no half document is left
    sub->components[0].sub = nullptr;

    const std::string m16 = "<Matrix>1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1</Matrix>";
    const std::string bad[] = {
        "<Model><Comps size=\"1\"><Comp ID=\"1\"><Matrix>1 2 3</Matrix></Comp></Comps></Model>",
        "<Model><Comps size=\"1\"><Comp ID=\"1\"><Matrix>1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 "
        "17</Matrix></Comp></Comps></Model>",
        "<Model><Comps size=\"1\"><Comp>" + m16 + "<Extra/></Comp></Comps></Model>",
        "<Model><Comps size=\"1\"><Comp/></Comps></Model>",
        "<Model><Comps size=\"1\"><Comp>" + m16 + "</Comp><Comp>" + m16 + "</Comp></Comps></Model>",
        "<Model><Comps size=\"2\"><Comp>" + m16 + "</Comp></Comps></Model>",
        "<Model><Comps><Comp>" + m16 + "</Comp></Comps></Model>",
        "<Model><Comps size=\"0\"/><Comps size=\"0\"/></Model>",
        "<Model><Comps size=\"1\"><Comp>" + m16 + "<Model><Comps size=\"1\"></Comps></Model>" +
            "</Comp></Comps></Model>",
        "<Other/>",
    };
    for (const std::string& doc : bad) {
        IntfXmlModel reader(nullptr);
        EXPECT_EQ(xmltest::ErrorOf([&] { ParseDoc(reader, doc); }), INTFXML_ERR_MALFORMED) << doc;
    }
    // A name longer than its field is cut, and told where it stands.
    {
        IntfXmlModel reader(nullptr);
        testing::internal::CaptureStderr();
        ParseDoc(reader, "<Model name=\"" + std::string(300, 'm') + "\" type=\"1\" src_sys=\"2\">\n"
                         "<Comps size=\"0\"/></Model>");
        const std::string told = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(ToldAt(told, 2, "\"Model\" attribute \"name\" of 300 UTF-16 units was cut "
                                    "to 259"))
            << told;
        InfoTree cut;
        cut.root = reader.TakeData();
        EXPECT_EQ(kname::Narrow(cut.root->name, QEL_PATH_LEN), std::string(259, 'm'));
    }
    // Missing attributes read as -1 and the empty name.
    IntfXmlModel reader(nullptr);
    ParseDoc(reader, "<Model><Comps size=\"1\"><Comp>" + m16 + "</Comp></Comps></Model>");
    InfoTree got;
    got.root = reader.TakeData();
    EXPECT_EQ(got.root->type, 0xFFFFFFFFu);
    EXPECT_EQ(got.root->source_system, 0xFFFFFFFFu);
    EXPECT_EQ(got.root->name[0], u'\0');
    EXPECT_EQ(got.root->components[0].id, 0xFFFFFFFFu);
    EXPECT_EQ(got.root->components[0].matrix[3][3], 1.0);
}

TEST(AssemblyInfo, ProcessMapHoldsRecordsByName) {
    ModelBasicInfoMap& map = ModelBasicInfoMap::Instance();
    map.Clear();
    qel_model_basic_info* a = NewInfo("alpha", 1, 0);
    AddComp(a, 1, 0, NewInfo("child", 0, 0));
    EXPECT_TRUE(map.Put(a));
    EXPECT_TRUE(map.Put(NewInfo("beta", 2, 0)));
    EXPECT_TRUE(map.Put(NewInfo("alpha", 3, 0))); // replaces (and frees) the first
    EXPECT_FALSE(map.Put(nullptr));
    EXPECT_EQ(map.Size(), 2u);
    ASSERT_TRUE(map.Find(u"alpha"));
    EXPECT_EQ(map.Find(u"alpha")->type, 3u);
    EXPECT_EQ(map.Find(u"gamma"), nullptr);
    qel_model_basic_info* b = map.Take(u"beta");
    ASSERT_TRUE(b);
    EXPECT_EQ(map.Size(), 1u);
    IntfXmlFreeModelInfo(b);
    map.Clear();
    EXPECT_EQ(map.Size(), 0u);
}
