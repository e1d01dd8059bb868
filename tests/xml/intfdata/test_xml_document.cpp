// The interface-data document "ZPI": written to a file and read back,
// its layout, the parts in either order, and documents that cannot be
// written or read.
#include "xml/intfdata_fixtures.h"
#include "xml/xml_test_util.h"

#include "btk_quoted.h"
#include "kernel/model/model.h"
#include "kernel/metadata/model_ext.h"
#include "kpi_session.h"
#include "xml/intfdata/xml_extend.h"
#include "xml/intfdata/xml_intfdata.h"
#include "xml/framework/xml_streams.h"
#include "xml/intfdata/xml_zpi.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

using xmltest::ErrorOf;

namespace {

using IntfDataPtr = QelIntfDataPtr;
using ExtPtr = QelExtendBlockPtr;

// A file name of its own for each test, removed at the end.
class TempFile {
public:
    explicit TempFile(const char* tag) {
        path_ = ::testing::TempDir() + "zpi_" + tag + "_" + std::to_string(getpid()) + ".xml";
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const char* path() const { return path_.c_str(); }
    std::string Read() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void Write(const std::string& text) const {
        std::ofstream out(path_, std::ios::binary);
        out << text;
    }
    bool Exists() const { return std::ifstream(path_).good(); }

private:
    std::string path_;
};

qel_intf_data* EmptyIntfData() {
    qel_intf_data* d = nullptr;
    EXPECT_EQ(qel_intf_data_alloc(&d), QEL_OK);
    return d;
}

// The document text after its declaration line (and the blank line a later
// document of the process has).
std::string Body(const std::string& doc) {
    const std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    EXPECT_EQ(doc.rfind(decl, 0), 0u) << doc.substr(0, 60);
    size_t b = decl.size();
    if (doc.compare(b, 1, "\n") == 0)
        ++b;
    return doc.substr(b);
}

const char* kEmptyPart = "<Accuracy type=\"1\" value=\"2\"/>";

} // namespace

TEST(XmlDocument, LayoutWithAndWithoutExtension) {
    IntfDataPtr data(EmptyIntfData());
    TempFile file("layout");
    IntfXmlZPI(file.path(), data.get(), nullptr);
    EXPECT_EQ(Body(file.Read()), "\t<ZPI>\n"
                                 "\t<QelIntfData>\n"
                                 "\t<Accuracy type=\"0\" value=\"0\"></Accuracy>\n"
                                 "\t<Outline>\n"
                                 "\t<MinPoint>0 0 0</MinPoint>\n"
                                 "\t<MaxPoint>0 0 0</MaxPoint>\n"
                                 "\t</Outline>\n"
                                 "\t</QelIntfData>\n"
                                 "\t</ZPI>");
    ExtPtr ext(static_cast<qel_intf_data_extend*>(getmem(sizeof(qel_intf_data_extend))));
    IntfXmlZPI(file.path(), data.get(), ext.get());
    std::string body = Body(file.Read());
    const std::string tail = "\t</QelIntfData>\n\t<QelIntfDataExtend></QelIntfDataExtend>\n"
                             "\t</ZPI>";
    ASSERT_GE(body.size(), tail.size());
    EXPECT_EQ(body.substr(body.size() - tail.size()), tail);
}

TEST(XmlDocument, WholeModelThroughAFile) {
    IntfDataPtr data(zpifix::fullIntfData());
    ExtPtr ext(zpifix::fullExtension());
    TempFile file("whole");
    IntfXmlZPI(file.path(), data.get(), ext.get());

    qel_intf_data* readData = nullptr;
    qel_intf_data_extend* readExt = nullptr;
    IntfXmlZPI::Read(file.path(), &readData, &readExt);
    IntfDataPtr backData(readData);
    ExtPtr backExt(readExt);
    zpifix::expectSameIntfData(data.get(), backData.get());
    zpifix::expectSameExtension(ext.get(), backExt.get());

    // The same through the handlers, as the model's reader takes them.
    IntfXmlZPI reader(nullptr);
    IntfXmlParseDocument(file.path(), &reader);
    ASSERT_NE(reader.GetIntfDataHandler(), nullptr);
    ASSERT_NE(reader.GetIntfDataExtendHandler(), nullptr);
    qel_intf_data* taken = reader.GetIntfDataHandler()->GetData();
    EXPECT_EQ(taken, reader.GetIntfData());
    reader.GetIntfDataHandler()->Detach();
    IntfDataPtr takenPtr(taken);
    EXPECT_EQ(reader.GetIntfData(), nullptr);
    zpifix::expectSameIntfData(data.get(), taken);
    // The extension stays with the reader, which frees it.
    EXPECT_NE(reader.GetIntfDataExtend(), nullptr);
}

TEST(XmlDocument, WholeModelThroughABnfsLocation) {
    IntfXmlBnfsOpener saved = IntfXmlRegisterBnfsOpener(&xmltest::OpenMem<13>);
    IntfDataPtr data(zpifix::fullIntfData());
    ExtPtr ext(zpifix::fullExtension());
    const char* path = "bnfs://host:5/ZPI/zpi.xml";
    IntfXmlZPI(path, data.get(), ext.get());
    qel_intf_data* d = nullptr;
    qel_intf_data_extend* e = nullptr;
    IntfXmlZPI::Read(path, &d, &e);
    IntfDataPtr backData(d);
    ExtPtr backExt(e);
    zpifix::expectSameIntfData(data.get(), d);
    zpifix::expectSameExtension(ext.get(), e);
    IntfXmlRegisterBnfsOpener(saved);
}

TEST(XmlDocument, PartsInEitherOrderAnyRootAndMissingParts) {
    TempFile file("parts");
    file.Write("<Model><QelIntfDataExtend><Units size=\"0\"/></QelIntfDataExtend>"
               "<QelIntfData>" + std::string(kEmptyPart) + "</QelIntfData></Model>");
    qel_intf_data* d = nullptr;
    qel_intf_data_extend* e = nullptr;
    IntfXmlZPI::Read(file.path(), &d, &e);
    IntfDataPtr data(d);
    ExtPtr ext(e);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->accuracy_type, 1u);
    EXPECT_EQ(d->accuracy, 2.0);
    ASSERT_NE(e, nullptr);
    EXPECT_NE(e->units, nullptr);

    file.Write("<ZPI><QelIntfDataExtend></QelIntfDataExtend></ZPI>");
    IntfXmlZPI::Read(file.path(), &d, &e);
    ExtPtr onlyExt(e);
    EXPECT_EQ(d, nullptr);
    EXPECT_NE(e, nullptr);

    file.Write("<ZPI><QelIntfData>" + std::string(kEmptyPart) + "</QelIntfData></ZPI>");
    IntfXmlZPI reader(nullptr);
    IntfXmlParseDocument(file.path(), &reader);
    EXPECT_EQ(reader.GetIntfDataExtendHandler(), nullptr);
    EXPECT_EQ(reader.GetIntfDataExtend(), nullptr);
    EXPECT_NE(reader.GetIntfData(), nullptr); // freed with the reader
}

TEST(XmlDocument, DocumentsThatCannotBeRead) {
    TempFile file("bad");
    qel_intf_data* d = reinterpret_cast<qel_intf_data*>(1);
    qel_intf_data_extend* e = reinterpret_cast<qel_intf_data_extend*>(1);
    EXPECT_EQ(ErrorOf([&] { IntfXmlZPI::Read(file.path(), &d, &e); }), INTFXML_ERR_OPEN);
    EXPECT_EQ(d, nullptr);
    EXPECT_EQ(e, nullptr);
    struct Case {
        const char* what;
        std::string doc;
        int status;
    } cases[] = {
        {"not well-formed", "<ZPI><QelIntfData>" + std::string(kEmptyPart) + "</ZPI>",
         INTFXML_ERR_PARSE},
        {"cut off", "<ZPI><QelIntfData><Faces><Face ID=\"1\"><UvMin>0 0</UvMin>",
         INTFXML_ERR_PARSE},
        {"two interface-data parts",
         "<ZPI><QelIntfData></QelIntfData><QelIntfData></QelIntfData></ZPI>",
         INTFXML_ERR_MALFORMED},
        {"two extensions",
         "<ZPI><QelIntfDataExtend></QelIntfDataExtend><QelIntfDataExtend></QelIntfDataExtend>"
         "</ZPI>",
         INTFXML_ERR_MALFORMED},
        {"unknown part", "<ZPI><QelIntfData></QelIntfData><Assembly/></ZPI>",
         INTFXML_ERR_MALFORMED},
        {"malformed list after a good part",
         "<ZPI><QelIntfData>" + std::string(kEmptyPart) +
             "</QelIntfData><QelIntfDataExtend><Units size=\"2\"></Units></QelIntfDataExtend>"
             "</ZPI>",
         INTFXML_ERR_MALFORMED},
    };
    for (const Case& c : cases) {
        file.Write(c.doc);
        std::string message;
        EXPECT_EQ(ErrorOf([&] { IntfXmlZPI::Read(file.path(), &d, &e); }, &message), c.status)
            << c.what;
        EXPECT_FALSE(message.empty()) << c.what;
        EXPECT_EQ(d, nullptr) << c.what;
        EXPECT_EQ(e, nullptr) << c.what;
    }
}

TEST(XmlDocument, DocumentsThatCannotBeWritten) {
    IntfDataPtr data(EmptyIntfData());
    EXPECT_EQ(ErrorOf([&] { IntfXmlZPI(nullptr, data.get(), nullptr); }), INTFXML_ERR_OPEN);
    std::string nowhere = ::testing::TempDir() + "no_such_dir_zpi/x/doc.xml";
    EXPECT_EQ(ErrorOf([&] { IntfXmlZPI(nowhere.c_str(), data.get(), nullptr); }),
              INTFXML_ERR_OPEN);
    TempFile file("unwritable");
    EXPECT_EQ(ErrorOf([&] { IntfXmlZPI(file.path(), nullptr, nullptr); }), INTFXML_ERR_RECORD);
    EXPECT_FALSE(file.Exists());
    // A record that cannot be written leaves no half document behind, and
    // the next document starts clean.
    ExtPtr ext(static_cast<qel_intf_data_extend*>(getmem(sizeof(qel_intf_data_extend))));
    ext->units = reinterpret_cast<QelUnitdata*>(xar_alloc(2, 3, 1));
    EXPECT_EQ(ErrorOf([&] { IntfXmlZPI(file.path(), data.get(), ext.get()); }),
              INTFXML_ERR_RECORD);
    EXPECT_FALSE(file.Exists());
    xar_free(ext->units);
    IntfXmlZPI(file.path(), data.get(), ext.get());
    qel_intf_data* d = nullptr;
    IntfXmlZPI::Read(file.path(), &d, nullptr);
    IntfDataPtr back(d);
    EXPECT_NE(d, nullptr);
}

TEST(XmlDocument, DocumentsWrittenFromTwoThreadsAreBothWhole) {
    IntfDataPtr a(zpifix::fullIntfData());
    IntfDataPtr b(EmptyIntfData());
    b->accuracy = 0.25;
    TempFile fa("thread_a"), fb("thread_b");
    for (int round = 0; round < 5; ++round) {
        std::thread ta([&] { IntfXmlZPI(fa.path(), a.get(), nullptr); });
        std::thread tb([&] { IntfXmlZPI(fb.path(), b.get(), nullptr); });
        ta.join();
        tb.join();
        qel_intf_data* ra = nullptr;
        qel_intf_data* rb = nullptr;
        IntfXmlZPI::Read(fa.path(), &ra, nullptr);
        IntfXmlZPI::Read(fb.path(), &rb, nullptr);
        IntfDataPtr backA(ra), backB(rb);
        zpifix::expectSameIntfData(a.get(), ra);
        zpifix::expectSameIntfData(b.get(), rb);
    }
}

TEST(XmlDocument, ModelsStandOverTheRecordsRead) {
    // What the reader builds is what the model layer reads: every face with
    // its surface and loops, every edge with its curves, quilts, datums and
    // the metadata lists.
    KGetPISession();
    IntfDataPtr data(zpifix::fullIntfData());
    ExtPtr ext(zpifix::fullExtension());
    TempFile file("model");
    IntfXmlZPI(file.path(), data.get(), ext.get());
    qel_intf_data* d = nullptr;
    qel_intf_data_extend* e = nullptr;
    IntfXmlZPI::Read(file.path(), &d, &e);

    xrchandle<KWPIModel> model(new KWPIModel_i(d, false)); // takes the record over
    xrchandle<KPIFaceList> faces = model->GetPIFaces();
    ASSERT_TRUE(faces);
    ASSERT_EQ(faces->Count(), 11);
    for (int i = 0; i < faces->Count(); ++i) {
        EXPECT_TRUE(faces->Get(i)->GetPISurface()) << i;
        xrchandle<KPILoopList> loops = faces->Get(i)->GetPILoopList();
        EXPECT_EQ(loops ? loops->Count() : 0, (i + 1) % 4) << i;
    }
    xrchandle<KPIEdgeList> edges = model->GetPIEdges();
    ASSERT_EQ(edges->Count(), 12);
    EXPECT_EQ(edges->Get(8)->GetXYZCurve()->GetPICurveType(), KPICURV_COMP);
    EXPECT_FALSE(edges->Get(9)->GetXYZCurve());
    EXPECT_EQ(model->GetPIQuilts()->Count(), 2);
    EXPECT_EQ(model->GetPIQuilts()->Get(0)->GetFaces()->Count(), 2);
    EXPECT_EQ(model->GetPIDatums()->Count(), 3);
    model->Close();

    xrchandle<KWPIModelExt> meta(new KWPIModelExt_i(e)); // takes the record over
    EXPECT_EQ(meta->GetPIUnits()->Count(), 2);
    EXPECT_EQ(meta->GetPILayers()->Count(), 2);
    EXPECT_EQ(meta->GetPINameAttributes()->Count(), 2);
    EXPECT_EQ(meta->GetPIReferenceColors()->Count(), 2);
    EXPECT_EQ(meta->GetPIElementColors()->Count(), 2);
    EXPECT_EQ(meta->GetPIFacetedReps()->Count(), 2);
}

namespace {

// `doc` with the attributes of the first start tag of `element` removed
// (`only`: just that one attribute).
std::string WithoutAttributes(std::string doc, const std::string& element,
                              const std::string& only = "") {
    const size_t tag = doc.find("<" + element + " ");
    EXPECT_NE(tag, std::string::npos) << element;
    if (tag == std::string::npos)
        return doc;
    size_t from = tag + 1 + element.size();
    size_t to = from;
    for (char quote = 0; quote || doc[to] != '>'; ++to)
        if (doc[to] == '"')
            quote = quote ? 0 : '"';
    if (!only.empty()) {
        from = doc.find(" " + only + "=\"", from);
        to = doc.find('"', from + only.size() + 3) + 1;
    }
    return doc.erase(from, to - from);
}

// `doc` without the first child element `child` of the first `element`.
std::string WithoutChild(std::string doc, const std::string& element, const std::string& child) {
    const size_t from = doc.find("<" + child + ">", doc.find("<" + element + " "));
    const size_t to = doc.find("</" + child + ">", from);
    EXPECT_NE(to, std::string::npos) << element << ' ' << child;
    if (to == std::string::npos)
        return doc;
    return doc.erase(from, to + child.size() + 3 - from);
}

// A model holding every kind of item, written with WriteZPI into `file`:
// its text.
std::string WriteFullModel(TempFile& file) {
    KGetPISession();
    IntfDataPtr data(zpifix::fullIntfData());
    ExtPtr ext(zpifix::fullExtension());
    KWPIModel* made = nullptr;
    EXPECT_EQ(CreatePIModel_global(data.get(), ext.get(), &made), 1);
    xrchandle<KWPIModel> model(made);
    model->WriteZPI(file.path());
    model->Close();
    return file.Read();
}

// Reads `doc` (written into `file`) with IntfXmlZPI::Read: it reads, and
// `told` is told once, with the document's name and place (and how many
// more like it, if any). Returns what was told.
std::string ExpectReadAndToldOnce(TempFile& file, const std::string& doc, const std::string& told) {
    file.Write(doc);
    qel_intf_data* d = nullptr;
    qel_intf_data_extend* e = nullptr;
    testing::internal::CaptureStderr();
    const int status = ErrorOf([&] { IntfXmlZPI::Read(file.path(), &d, &e); });
    const std::string text = testing::internal::GetCapturedStderr();
    IntfDataPtr backData(d);
    ExtPtr backExt(e);
    EXPECT_EQ(status, 0) << told;
    EXPECT_EQ(text.rfind("document " + btkQuoted(file.path()) + ", line ", 0), 0u) << text;
    const size_t at = text.find(": " + told);
    EXPECT_NE(at, std::string::npos) << text;
    EXPECT_EQ(at, text.rfind(": " + told)) << text;
    if (at != std::string::npos) {
        const std::string rest =
            text.substr(at + 2 + told.size(), text.find('\n', at) - at - 2 - told.size());
        EXPECT_TRUE(rest.empty() || (rest.starts_with("; ") && rest.ends_with(" more like it")))
            << text;
    }
    return text;
}

} // namespace

TEST(XmlDocument, AnAttributeTheWritersWriteIsToldWhereItIsMissingAndOnlyThere) {
    // A model holding every kind of item, written with WriteZPI and read
    // back with ReadZPI, reads without a word (a general attribute whose
    // value is of no kind of its own among them).
    TempFile file("told");
    const std::string written = WriteFullModel(file);
    testing::internal::CaptureStderr();
    xrchandle<KWPIModel> read = KGetPISession()->ReadZPI(file.path());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_TRUE(read);
    read->Close();
    // Each element of the two parts without the attributes its readers
    // read: each one missing is told, once for the document, with its
    // place and what was read instead; the document is read all the same.
    struct Case {
        const char* element;
        const char* only; // the one attribute removed, or all of them
        const char* told;
    };
    const Case cases[] = {
        {"Accuracy", "", "\"Accuracy\" lacks the attribute \"type\" at position 0: read as 0"},
        {"Face", "", "\"Face\" lacks the attribute \"ID\" at position 0: read as -1"},
        {"Face", "orient", "\"Face\" lacks the attribute \"orient\" at position 1: read as 0"},
        {"Contour", "", "\"Contour\" lacks the attribute \"traversal\" at position 0: read as 0"},
        {"EdgeIds", "", "\"EdgeIds\" lacks the attribute \"size\" at position 0: read as 0"},
        {"Quilt", "", "\"Quilt\" lacks the attribute \"ID\" at position 0: read as -1"},
        {"Edge", "dir2", "\"Edge\" lacks the attribute \"dir2\" at position 4: read as -1"},
        {"Datum", "name",
         "\"Datum\" lacks the attribute \"name\" at position 1: read as an "
         "empty text"},
        {"Component", "", "\"Component\" lacks the attribute \"dir\" at position 0: read as -1"},
        {"Unit", "", "\"Unit\" lacks the attribute \"name\" at position 0: read as an empty text"},
        {"ItemName", "id", "\"ItemName\" lacks the attribute \"id\" at position 2: read as -1"},
        {"Attrib", "refId", "\"Attrib\" lacks the attribute \"refId\" at position 2: read as -1"},
        {"Value", "val", "\"Value\" lacks the attribute \"val\" at position 1: read as -1"},
        {"Layer", "operation",
         "\"Layer\" lacks the attribute \"operation\" at position 2: read as -1"},
        {"Col", "", "\"Col\" lacks the attribute \"id\" at position 0: read as -1"},
        {"RefColor", "trans",
         "\"RefColor\" lacks the attribute \"trans\" at position 5: read as -1"},
        {"Bump", "fileName",
         "\"Bump\" lacks the attribute \"fileName\" at position 1: read as an empty text"},
        {"ExtEdge", "", "\"ExtEdge\" lacks the attribute \"ID\" at position 0: read as -1"},
        {"VtxComp", "", "\"VtxComp\" lacks the attribute \"EdgeId\" at position 0: read as -1"},
        {"FacetedRep", "", "\"FacetedRep\" lacks the attribute \"id\" at position 0: read as -1"},
        {"FacetVtx", "",
         "\"FacetVtx\" lacks the attribute \"Neighbour\" at position 0: read as -1"},
    };
    for (const Case& c : cases)
        ExpectReadAndToldOnce(file, WithoutAttributes(written, c.element, c.only), c.told);
}

TEST(XmlDocument, AChildTheWritersWriteIsToldWhereItIsMissing) {
    TempFile file("toldchild");
    const std::string written = WriteFullModel(file);
    const char* const cases[][3] = {
        {"Face", "XYZMin", "\"Face\" lacks its \"XYZMin\": read as 0 0 0"},
        {"Face", "XYZMax", "\"Face\" lacks its \"XYZMax\": read as 0 0 0"},
        {"RefColor", "Color", "\"RefColor\" lacks its \"Color\": read as 0 0 0"},
        {"RefColor", "Highlight", "\"RefColor\" lacks its \"Highlight\": read as 0 0 0"},
        {"ExtEdge", "StXYZ", "\"ExtEdge\" lacks its \"StXYZ\": read as 0 0 0"},
        {"ExtEdge", "EndXYZ", "\"ExtEdge\" lacks its \"EndXYZ\": read as 0 0 0"},
    };
    for (const auto& c : cases)
        ExpectReadAndToldOnce(file, WithoutChild(written, c[0], c[1]), c[2]);
}

namespace {

// `doc` with one value more in the list element `list` that follows each of
// `anchors` in turn; `*line` is the line of the list's end tag.
std::string WithValueAdded(std::string doc, std::initializer_list<const char*> anchors,
                           const std::string& list, int* line) {
    size_t at = 0;
    for (const char* anchor : anchors)
        at = doc.find(anchor, at);
    at = doc.find("</" + list + ">", doc.find("<" + list + " ", at));
    EXPECT_NE(at, std::string::npos) << list;
    if (at == std::string::npos)
        return doc;
    // Every value of a list is followed by its separator: this one too.
    const std::string value = doc[at - 1] == '\n' ? "7\n" : "7 ";
    doc.insert(at, value);
    *line = 1 + int(std::count(doc.begin(), doc.begin() + long(at + value.size()), '\n'));
    return doc;
}

} // namespace

TEST(XmlDocument, AValuePastItsListsSizeIsToldAtItsLine) {
    // Values past the size are not read, and that is told: knots too,
    // which documents that hold them kept being read.
    TempFile file("pastsize");
    const std::string written = WriteFullModel(file);
    const std::string past = " values where its size says ";
    const char* const told = ": the values past the size are not read";
    const struct {
        std::initializer_list<const char*> anchors;
        const char* list;
        std::string says;
    } cases[] = {
        {{"<Edge ID=\"104\""}, "Params", "\"Params\" holds 4" + past + "3" + told},
        {{"<Edge ID=\"110\"", "<UvCurve2>"}, "Params", "\"Params\" holds 3" + past + "2" + told},
        {{"<Edge ID=\"107\"", "<Component"}, "Params", "\"Params\" holds 4" + past + "3" + told},
        {{"<Datum ID=\"200\""}, "Params", "\"Params\" holds 4" + past + "3" + told},
        {{"<Face ID=\"6\"", "<TanSpl>"}, "Params", "\"Params\" holds 4" + past + "3" + told},
        {{"<Edge ID=\"106\""}, "Weights", "\"Weights\" holds 6" + past + "5" + told},
        {{"<Face ID=\"7\"", "<Curve2>"}, "Weights", "\"Weights\" holds 6" + past + "5" + told},
        {{"<Face ID=\"10\""}, "Weights", "\"Weights\" holds 7" + past + "6" + told},
        {{"<Face ID=\"5\""}, "UParams", "\"UParams\" holds 3" + past + "2" + told},
        {{"<Face ID=\"11\""}, "VParams", "\"VParams\" holds 4" + past + "3" + told},
        {{"<Face ID=\"2\""}, "EdgeIds",
         "face 2, its contour at index 0: \"EdgeIds\" holds 3" + past + "2" + told},
        {{"<SolidRegions"}, "SurfIds", "\"SurfIds\" holds 3" + past + "2" + told},
        {{"<Layers"}, "Ids", "\"Ids\" holds 4" + past + "3" + told},
        {{"<Edge ID=\"105\""}, "Params", "\"Params\" holds 10" + past + "9" + told},
        {{"<Face ID=\"7\"", "<Curve2>"}, "Params", "\"Params\" holds 10" + past + "9" + told},
        {{"<Face ID=\"10\""}, "UParams", "\"UParams\" holds 5" + past + "4" + told},
        {{"<Face ID=\"10\""}, "VParams", "\"VParams\" holds 7" + past + "6" + told},
    };
    for (const auto& c : cases) {
        int line = 0;
        const std::string doc = WithValueAdded(written, c.anchors, c.list, &line);
        const std::string at = "line " + std::to_string(line) + ", column ";
        const std::string text = ExpectReadAndToldOnce(file, doc, c.says);
        EXPECT_EQ(text.find(at), ("document " + btkQuoted(file.path()) + ", ").size()) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    }
}

TEST(XmlDocument, WhatAReaderPassesOverIsToldOnceWithItsPlace) {
    // Numbers past those of one value, a child the writers write once that
    // comes twice (the later one is read), a child they always write that
    // is missing (what stands in its place), an attribute no reader takes,
    // a text in an element of elements or of attributes only: read, and
    // told.
    TempFile file("passedover");
    const std::string written = WriteFullModel(file);
    enum Change { AddNumber, Repeat, Drop, AddAttribute, TextFirst, TextLast };
    const struct {
        const char* after; // the element changed is the first one after this
        const char* element;
        Change change;
        const char* told;
    } cases[] = {
        {"<Face ID=\"1\"", "XYZMin", AddNumber, "\"XYZMin\" holds 4 numbers, of which the first 3 are read"},
        {"<Face ID=\"1\"", "UvMin", AddNumber, "\"UvMin\" holds 3 numbers, of which the first 2 are read"},
        {"<Points", "P", AddNumber, "\"P\" holds 4 numbers, of which the first 3 are read"},
        {"<UvPoints", "SrfPoint", AddNumber, "\"SrfPoint\" holds 5 numbers, of which the first 4 are read"},
        {"<BsplSrf>", "UVDegree", AddNumber, "\"UVDegree\" holds 3 numbers, of which the first 2 are read"},
        {"<FacetVtxdata>", "TextureUV", AddNumber, "\"TextureUV\" holds 3 numbers, of which the first 2 are read"},
        {"<Facetdata>", "VtxIndices", AddNumber, "\"VtxIndices\" holds 4 numbers, of which the first 3 are read"},
        {"<Csys>", "X", Repeat, "\"X\" appears twice in \"Csys\": the later one is read"},
        {"<Line>", "Start", Repeat, "\"Start\" appears twice in \"Line\": the later one is read"},
        {"<Cylinder>", "Radius", Repeat, "\"Radius\" appears twice in \"Cylinder\": the later one is read"},
        {"<Bspline>", "Degree", Repeat, "\"Degree\" appears twice in \"Bspline\": the later one is read"},
        {"<BsplSrf>", "UVDegree", Repeat, "\"UVDegree\" appears twice in \"BsplSrf\": the later one is read"},
        {"<Outline>", "MinPoint", Repeat, "\"MinPoint\" appears twice in \"Outline\": the later one is read"},
        {"<RefColor ", "Color", Repeat, "\"Color\" appears twice in \"RefColor\": the later one is read"},
        {"<RefColor ", "Bump", Repeat, "\"Bump\" appears twice in \"RefColor\": the later one is read"},
        {"<ExtEdge ", "StXYZ", Repeat, "\"StXYZ\" appears twice in \"ExtEdge\": the later one is read"},
        {"<QelIntfData>", "Accuracy", Repeat, "\"Accuracy\" appears twice in \"QelIntfData\": the later one is read"},
        {"<QelIntfDataExtend>", "Units", Repeat, "\"Units\" appears twice in \"QelIntfDataExtend\": the later one is read"},
        {"<QelIntfData>", "Accuracy", Drop, "\"QelIntfData\" lacks its \"Accuracy\": read as type 0, value 0"},
        {"<QelIntfData>", "Outline", Drop, "\"QelIntfData\" lacks its \"Outline\": read as 0 0 0 and 0 0 0"},
        {"<FacetedRep ", "Outline", Drop, "\"FacetedRep\" lacks its \"Outline\": read as 0 0 0 and 0 0 0"},
        {"<RefColor ", "Decal", Drop, "\"RefColor\" lacks its \"Decal\": read as empty names"},
        {"<QelIntfData>", "Outline", AddAttribute, "\"Outline\" holds the attribute \"zz\", which is not read"},
        {"<Face ID=\"2\"", "Contours", AddAttribute, "\"Contours\" holds the attribute \"zz\", which is not read"},
        {"<Attribs", "Value", AddAttribute, "\"Value\" holds the attribute \"zz\", which is not read"},
        {"<Face ID=\"1\"", "Shape", TextFirst, "\"Shape\" holds a text, which is not read"},
        {"<Face ID=\"1\"", "Contours", TextLast, "\"Contours\" holds a text, which is not read"},
        {"<Face ID=\"1\"", "Face", TextLast, "\"Face\" holds a text, which is not read"},
        {"<QelIntfData>", "Accuracy", TextFirst, "\"Accuracy\" holds a text, which is not read"},
        {"<Units", "Unit", TextFirst, "\"Unit\" holds a text, which is not read"},
        {"<RefColor ", "Texture", TextFirst, "\"Texture\" holds a text, which is not read"},
        {"<StVtxComps", "VtxComp", TextFirst, "\"VtxComp\" holds a text, which is not read"},
    };
    for (const auto& c : cases) {
        std::string doc = written;
        const std::string name = c.element;
        size_t b = doc.find("<" + name, doc.find(c.after));
        while (b != std::string::npos && !std::strchr(" >", doc[b + 1 + name.size()]))
            b = doc.find("<" + name, b + 1);
        const size_t end = doc.find("</" + name + ">", b);
        ASSERT_NE(end, std::string::npos) << c.told;
        const size_t e = end + name.size() + 3;
        if (c.change == AddNumber)
            doc.insert(end, " 1");
        else if (c.change == Repeat)
            doc.insert(e, doc.substr(b, e - b));
        else if (c.change == Drop)
            doc.erase(b, e - b);
        else if (c.change == AddAttribute)
            doc.insert(doc.find('>', b), " zz=\"1\"");
        else
            doc.insert(c.change == TextFirst ? doc.find('>', b) + 1 : end, "7");
        ExpectReadAndToldOnce(file, doc, c.told);
    }
}

TEST(XmlDocument, WhatIsPassedOverIsToldOncePerKindWithHowManyMore) {
    // Every element holding 40 attributes of names of its own, and every
    // list holding a value past its size: each kind is told in one line,
    // naming its first place and how many more, whatever their number.
    TempFile file("manypassed");
    std::string doc = WriteFullModel(file);
    size_t attributes = 0, lists = 0;
    for (size_t at = doc.find('<'); at != std::string::npos; at = doc.find('<', at + 1)) {
        // (Not an end tag or the declaration; nor a "Value" of no kind,
        // written without attributes, which any attribute changes.)
        if (!std::isalpha(static_cast<unsigned char>(doc[at + 1])) ||
            doc.compare(at, 7, "<Value>") == 0)
            continue;
        size_t end = at;
        for (char quote = 0; quote || doc[end] != '>'; ++end)
            if (doc[end] == '"')
                quote = quote ? 0 : '"';
        const bool empty = doc[end - 1] == '/';
        const std::string name = doc.substr(at + 1, doc.find_first_of(" />", at) - at - 1);
        const bool sized = doc.substr(at, end - at).find(" size=\"") != std::string::npos;
        std::string added;
        for (int k = 0; k < 40; ++k)
            added += " z" + std::to_string(attributes++) + "=\"1\"";
        doc.insert(empty ? end - 1 : end, added);
        end += added.size();
        // A list: sized, holding values and nothing else.
        const size_t close = doc.find('<', end);
        if (sized && !empty && doc.compare(close, name.size() + 3, "</" + name + ">") == 0 &&
            doc.find_first_not_of(" \t\r\n", end + 1) < close) {
            doc.insert(close, doc[close - 1] == '\n' ? "7\n" : "7 ");
            ++lists;
        }
    }
    EXPECT_GT(lists, 20u);
    file.Write(doc);
    qel_intf_data* d = nullptr;
    qel_intf_data_extend* e = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(ErrorOf([&] { IntfXmlZPI::Read(file.path(), &d, &e); }), 0);
    const std::string told = testing::internal::GetCapturedStderr();
    IntfDataPtr backData(d);
    ExtPtr backExt(e);
    const std::string at = "document " + btkQuoted(file.path()) + ", line ";
    const std::string lines[] = {
        "holds the attribute \"z0\", which is not read; " + std::to_string(attributes - 1) +
            " more like it\n",
        "the values past the size are not read; " + std::to_string(lists - 1) + " more like it\n",
    };
    EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 2) << told;
    for (const std::string& line : lines) {
        const size_t found = told.find(line);
        ASSERT_NE(found, std::string::npos) << line << told;
        EXPECT_EQ(told.rfind(at, found), told.rfind('\n', found) + 1) << told;
    }
}
