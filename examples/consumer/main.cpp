// A translator-style program built outside the library's tree: it includes
// only zpi50.h, builds a small model (two points, a line, an edge on it, a
// model extension with a length unit), reads it back, saves it as a neutral
// part into a stream of its own and catches an error raised inside the
// library. It prints what it saw and exits 0 only when all of it held.
#include "zpi50.h"

#include <cstdio>
#include <string>

namespace {

// The caller's stream: keeps the bytes in memory.
class MemoryStream : public KCStream {
public:
    int Read(void*, int) override { return -1; }
    int Write(const void* buffer, int count) override {
        data.append(static_cast<const char*>(buffer), size_t(count));
        return count;
    }
    int64_t GetPos() override { return int64_t(data.size()); }
    int SetPos(int64_t) override { return -1; }
    int Close() override { return 0; }
    std::string data;
};

int failures = 0;

void check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    if (!ok)
        ++failures;
}

void run() {
    xrchandle<KWPISession> session = KGetPISession();
    check(!session.isNull(), "the session");

    xrchandle<KPILine> line = session->CreatePILine(KCreatePoint3D(0, 0, 0), KCreatePoint3D(2, 0, 0));
    check(line->GetEnd1()->x() == 2.0, "a line through the session");

    xrchandle<KWPIModel> model = session->CreatePIModel(KACCURACY_ABSOLUTE, 0.01);
    model->AddPIEdge(model->CreatePIEdgeWithXYZCurve(7, 1, 2, line, KTRAV_SAME, KTRAV_SAME));
    check(model->CountPIEdges() == 1 && model->GetPIEdgeByIndex(0)->GetId() == 7,
          "an edge added to a model reads back");

    xrchandle<KWPIModelExt> ext = session->CreatePIModelExt();
    xrchandle<KPIUnitList> units(KPIUnitList::create());
    units->Append(ext->CreatePILengthUnit(KPI_LENGTH_UNIT_MM));
    ext->SetPIUnits(units);
    model->SetWPIModelExt(ext);
    check(model->GetWPIModelExt()->GetPIUnits()->Count() == 1, "the model's extension");

    xrchandle<MemoryStream> stream(new MemoryStream);
    model->SaveAsNeutral(xrchandle<KCStream>(stream.get()));
    check(!stream->data.empty(), "a neutral part saved into the program's own stream");

    bool raised = false;
    try {
        model->GetPIEdgeByIndex(5);
    } catch (const xthrown&) {
        raised = true;
    }
    check(raised, "an error raised inside the library is caught here");
    model->Close();
}

} // namespace

int main() {
    try {
        run();
    } catch (const xthrown& e) {
        std::printf("FAILED: %s\n", e.what());
        return 1;
    }
    std::printf("%s\n", failures == 0 ? "consumer: all checks passed" : "consumer: checks failed");
    return failures == 0 ? 0 : 1;
}
