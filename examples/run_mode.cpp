// The run mode: diagnostics that the library otherwise keeps quiet are
// printed on standard error, one line each, when the environment variable
// ZORVAN_RUN_MODE holds a nonzero number. This program saves a neutral part
// of a face whose orientation and loop direction were left undefined. A
// neutral face holds an orientation, so the face is written as positive,
// which is told whatever the run mode; a neutral loop holds no direction,
// so the loop is kept as it is, which the converter says in run mode only:
//
//     $ ZORVAN_RUN_MODE=1 build/release/run_mode
//     run mode 1: the converter's messages follow on standard error
//     -cnv_qlk_neut_surface- Contour traverce must be defined
//     SaveAsNeutral: face 1 was not converted whole: No neutral orientation
//     for a surface of orientation 0 (none): written as 1 (cnv_qlk_neut_surface)
//     saved a neutral part of 1 face (... bytes)
//
// (the line from SaveAsNeutral is one line, broken here); in run mode 0 it
// is the only one shown.
#include "zpi50.h"

#include <cstdio>
#include <string>

namespace {

// The caller's stream: keeps the bytes in memory.
class MemoryStream : public KCStream {
public:
    int Read(void*, int) override { return -1; }
    int Write(const void* buffer, int count) override {
        bytes.append(static_cast<const char*>(buffer), size_t(count));
        return count;
    }
    int64_t GetPos() override { return int64_t(bytes.size()); }
    int SetPos(int64_t) override { return -1; }
    int Close() override { return 0; }
    std::string bytes;
};

} // namespace

int main() {
    const int mode = get_run_mode();
    if (mode != 0)
        std::printf("run mode %d: the converter's messages follow on standard error\n", mode);
    else
        std::printf("run mode 0: the converter's messages are kept quiet "
                    "(set ZORVAN_RUN_MODE=1 to see them); what the part holds as another "
                    "value is told all the same\n");
    std::fflush(stdout);
    try {
        xrchandle<KWPISession> session = KGetPISession();
        xrchandle<KWPIModel> model = session->CreatePIModel(KACCURACY_ABSOLUTE, 0.001);
        xrchandle<KPIPlane> plane = session->CreatePIPlane(KCsys::Create(
            KCreatePoint3D(0, 0, 0), KCreateVector3D(1, 0, 0), KCreateVector3D(0, 1, 0)));
        xrchandle<xintsequence> edgeIds(xintsequence::create());
        xrchandle<KPILoopList> loops(KPILoopList::create());
        // Neither the loop's direction nor the face's orientation is given.
        loops->Append(model->CreatePILoop(KPI_LOOP_TRAV_NONE, edgeIds));
        model->AddPIFace(
            model->CreatePIFace(1, KBoxUV::Create(KCreatePointUV(0, 0), KCreatePointUV(1, 1)),
                                KPISURFACE_ORIENT_NONE, plane, loops));

        xrchandle<MemoryStream> stream(new MemoryStream);
        model->SaveAsNeutral(stream);
        std::printf("saved a neutral part of %d face (%zu bytes)\n", model->CountPIFaces(),
                    stream->bytes.size());
        model->Close();
        return 0;
    } catch (const xthrown& e) {
        std::fprintf(stderr, "run_mode failed: %s\n", e.what());
        return 1;
    }
}
