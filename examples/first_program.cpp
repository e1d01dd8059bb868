// A first program: a model with one planar face, written as an
// interface-data document, read back, and saved as a neutral part file
// that replaces its target only when whole. It writes first.xml and
// first.neu in the current folder.
#include "zpi50.h"

#include "file_stream.h"

#include <cstdio>

int main() {
    xrchandle<FileStream> out; // here, so that the catch can ask it why a write failed
    try {
        xrchandle<KWPISession> session = KGetPISession();
        xrchandle<KWPIModel> model = session->CreatePIModel(KACCURACY_ABSOLUTE, 0.001);
        xrchandle<KPIPlane> plane = session->CreatePIPlane(KCsys::Create(
            KCreatePoint3D(0, 0, 0), KCreateVector3D(1, 0, 0), KCreateVector3D(0, 1, 0)));
        xrchandle<KPILoopList> loops(KPILoopList::create());
        loops->Append(model->CreatePILoop(KPI_LOOP_TRAV_EXTERNAL, xintsequence::create()));
        model->AddPIFace(
            model->CreatePIFace(1, KBoxUV::Create(KCreatePointUV(0, 0), KCreatePointUV(1, 1)),
                                KPISURFACE_ORIENT_POSITIVE, plane, loops));
        model->WriteZPI("first.xml");

        xrchandle<KWPIModel> read = session->ReadZPI("first.xml"); // null when it failed
        xrchandle<KPIFaceList> faces = read ? read->GetPIFaces() : nullptr;
        std::printf("read back %d face(s)\n", faces ? faces->Count() : 0);

        out = new FileStream("first.neu");
        model->SaveAsNeutral(out); // raises when the stream refused a write
        if (!out->Commit()) {
            std::fprintf(stderr, "%s\n", out->Error().c_str());
            return 1;
        }
        std::printf("saved first.xml and first.neu\n");
        return 0;
    } catch (const xthrown& e) { // what the operations raise; ReadZPI and Commit answer instead
        // A stream that refused a write says why ("No space left on device").
        const bool streamFailed = out && !out->Error().empty();
        std::fprintf(stderr, "failed: %s\n", streamFailed ? out->Error().c_str() : e.what());
        return 1;
    }
}
