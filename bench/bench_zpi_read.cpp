// ReadZPI (the session's public call) against bare parses of the same file.
//
// The documents are the ones WriteZPI writes for the two grids of
// zpi_grid_model.h: "numbers" (mostly number text) and "structure" (mostly
// markup), of 10k and 100k faces, and of 1M faces when the environment
// variable ZPI_BENCH_1M is set. Each iteration runs three sides on the same
// file (timing and counters: see Sides in zpi_bench_util.h):
//   - ReadZPI, which parses the file, builds the interface-data records and
//     makes the model over them;
//   - the anchor "parse": a SAX2 reader of the XML parser with a handler
//     that does nothing, set up as the document reader sets up its own
//     parser (no namespaces, no validation, no external DTD), over the same
//     kind of local-file input source, with the parser's default scanner;
//   - the anchor "wf_parse": the same parse with the well-formedness scanner
//     that ReadZPI uses for these documents. Taking that scanner is a
//     speed-up of its own, so this is the anchor for the library's own
//     cost: wf_ratio is the figure with a goal (at most 1.25).
// The time shown is ReadZPI's; releasing the model read is not timed.
// held_bytes_per_face is the heap the model read holds per face (taken
// once), doc_bytes_per_face the document's size per face. 10k faces run
// for at least 3 s of ReadZPI; 100k faces a fixed 9 iterations, 1M faces 3.
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

const std::string kPath = TempPath("read");

// The document of the grid of `faces` faces, written once per grid.
const std::string& DocumentFor(GridKind kind, int faces) {
    static std::pair<GridKind, int> madeFor{GridKind::kNumbers, -1};
    if (madeFor != std::make_pair(kind, faces)) {
        GridModel grid = BuildGridModel(faces, kind);
        grid.model->WriteZPI(kPath.c_str());
        madeFor = {kind, faces};
    }
    return kPath;
}

struct RemoveDocument {
    ~RemoveDocument() { std::remove(kPath.c_str()); }
} g_removeDocument;

class NullHandler : public xc::DefaultHandler {};

void BareParse(const XMLCh* path, bool wellFormednessScanner) {
    std::unique_ptr<xc::SAX2XMLReader> reader(xc::XMLReaderFactory::createXMLReader());
    reader->setFeature(xc::XMLUni::fgSAX2CoreNameSpaces, false);
    reader->setFeature(xc::XMLUni::fgSAX2CoreValidation, false);
    reader->setFeature(xc::XMLUni::fgXercesLoadExternalDTD, false);
    if (wellFormednessScanner)
        reader->setProperty(xc::XMLUni::fgXercesScannerName,
                            const_cast<XMLCh*>(xc::XMLUni::fgWFXMLScanner));
    NullHandler handler;
    reader->setContentHandler(&handler);
    reader->setErrorHandler(&handler);
    xc::LocalFileInputSource source(path);
    reader->parse(source);
}

void BM_ReadZPI(benchmark::State& state, GridKind kind) {
    const int faces = int(state.range(0));
    const std::string& path = DocumentFor(kind, faces);
    xc::XMLPlatformUtils::Initialize();
    XMLCh* widePath = xc::XMLString::transcode(path.c_str());
    const xrchandle<KWPISession> session = KGetPISession();
    Sides<2> sides;
    double heldPerFace = 0;
    for (auto _ : state) {
        xrchandle<KWPIModel> model;
        const size_t before = HeapInUse();
        sides.Run(
            state, [&] { model = session->ReadZPI(path.c_str()); },
            [&] { BareParse(widePath, false); }, [&] { BareParse(widePath, true); });
        if (heldPerFace == 0)
            heldPerFace = double(HeapInUse() - before) / faces;
        const qel_intf_data* data = IntfDataOf(model);
        if (FaceCount(data) != faces || EdgeCount(data) <= 0) {
            state.SkipWithError("the document did not read back whole");
            break;
        }
        model.release(); // releasing is not reading
    }
    xc::XMLString::release(&widePath);
    xc::XMLPlatformUtils::Terminate();
    sides.Report(state, {"parse", "wf_parse"}, {"ratio", "wf_ratio"});
    state.counters["held_bytes_per_face"] = heldPerFace;
    state.counters["doc_bytes_per_face"] = double(FileSize(path)) / faces;
    state.SetBytesProcessed(int64_t(state.iterations()) * FileSize(path));
    state.SetItemsProcessed(int64_t(state.iterations()) * faces);
}

const bool g_registered = [] {
    for (GridKind kind : {GridKind::kStructure, GridKind::kNumbers}) {
        const std::string name = std::string("BM_ReadZPI/") + NameOf(kind);
        auto bench = [kind](benchmark::State& s) { BM_ReadZPI(s, kind); };
        benchmark::RegisterBenchmark(name.c_str(), bench)
            ->Arg(10'000)
            ->UseManualTime()
            ->MinTime(3)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(name.c_str(), bench)
            ->Arg(100'000)
            ->UseManualTime()
            ->Iterations(9)
            ->Unit(benchmark::kMillisecond);
        if (MillionFaces())
            benchmark::RegisterBenchmark(name.c_str(), bench)
                ->Arg(1'000'000)
                ->UseManualTime()
                ->Iterations(3)
                ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

} // namespace
