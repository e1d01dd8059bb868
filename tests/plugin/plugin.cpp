// A translator plug-in: a module linked to zpi50 that writes a model with
// one planar face as an interface-data document and reads it back.
#include "zpi50.h"

#include <cstdio>

extern "C" __attribute__((visibility("default"))) int
zpi_plugin_round_trip(const char* path, char* message, size_t size) {
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
        model->WriteZPI(path);
        xrchandle<KWPIModel> read = session->ReadZPI(path);
        xrchandle<KPIFaceList> faces = read ? read->GetPIFaces() : nullptr;
        const int count = faces ? faces->Count() : -1;
        std::snprintf(message, size, "read back %d face(s)", count);
        return count == 1 ? 0 : 1;
    } catch (const xthrown& e) {
        std::snprintf(message, size, "%s", e.what());
        return 1;
    }
}
