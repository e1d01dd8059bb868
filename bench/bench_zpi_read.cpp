// ReadZPI (the session's public call) against a bare parse of the same file.
//
// The document is the one WriteZPI writes for the grid model of
// zpi_grid_model.h (1k, 10k, 100k faces, about twice as many edges). Each
// iteration runs both sides on the same file (timing and counters: see
// Pair in zpi_bench_util.h):
//   - the anchor: a SAX2 reader of the XML parser with a handler that does
//     nothing, set up as the document reader sets up its own parser
//     (no namespaces, no validation, no external DTD), over the same kind of
//     local-file input source;
//   - ReadZPI, which parses the file, builds the interface-data records and
//     makes the model over them.
// The time shown is ReadZPI's, releasing the model read is not timed;
// parse_ms is the anchor's; ratio is ReadZPI's time over the anchor's (the
// goal is at most 1.25). Both sides read the file from disk through the
// C library's fread, in the blocks the parser asks for. 1k and 10k faces
// run for at least 3 s of ReadZPI; 100k faces, where one ReadZPI takes
// seconds, runs a fixed 9 iterations so that the median ratio rests on
// as many pairs.
#include "zpi_bench_util.h"

#include <xercesc/framework/LocalFileInputSource.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <memory>

namespace xc = XERCES_CPP_NAMESPACE;

namespace {

using namespace zpibench;

// The document of `faces` faces, written once per size.
const std::string& DocumentFor(int faces) {
    static int madeFor = -1;
    static std::string path = TempPath("read");
    if (madeFor != faces) {
        GridModel grid = BuildGridModel(faces);
        grid.model->WriteZPI(path.c_str());
        madeFor = faces;
    }
    return path;
}

struct RemoveDocument {
    ~RemoveDocument() { std::remove(TempPath("read").c_str()); }
} g_removeDocument;

class NullHandler : public xc::DefaultHandler {};

void BareParse(const XMLCh* path) {
    std::unique_ptr<xc::SAX2XMLReader> reader(xc::XMLReaderFactory::createXMLReader());
    reader->setFeature(xc::XMLUni::fgSAX2CoreNameSpaces, false);
    reader->setFeature(xc::XMLUni::fgSAX2CoreValidation, false);
    reader->setFeature(xc::XMLUni::fgXercesLoadExternalDTD, false);
    NullHandler handler;
    reader->setContentHandler(&handler);
    reader->setErrorHandler(&handler);
    xc::LocalFileInputSource source(path);
    reader->parse(source);
}

void BM_ReadZPI(benchmark::State& state) {
    const int faces = int(state.range(0));
    const std::string& path = DocumentFor(faces);
    xc::XMLPlatformUtils::Initialize();
    XMLCh* widePath = xc::XMLString::transcode(path.c_str());
    const xrchandle<KWPISession> session = KGetPISession();
    Pair pair;
    for (auto _ : state) {
        xrchandle<KWPIModel> model;
        pair.Run(
            state, [&] { model = session->ReadZPI(path.c_str()); },
            [&] { BareParse(widePath); });
        const qel_intf_data* data = IntfDataOf(model);
        if (FaceCount(data) != faces || EdgeCount(data) <= 0) {
            state.SkipWithError("the document did not read back whole");
            break;
        }
        model.release(); // releasing is not reading
    }
    xc::XMLString::release(&widePath);
    xc::XMLPlatformUtils::Terminate();
    pair.Report(state, "parse");
    state.SetBytesProcessed(int64_t(state.iterations()) * FileSize(path));
    state.SetItemsProcessed(int64_t(state.iterations()) * faces);
}

} // namespace

BENCHMARK(BM_ReadZPI)
    ->Arg(1'000)
    ->Arg(10'000)
    ->UseManualTime()
    ->MinTime(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadZPI)->Arg(100'000)->UseManualTime()->Iterations(9)->Unit(benchmark::kMillisecond);
