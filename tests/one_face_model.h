// A model of one planar face bounded by one empty external loop: the
// smallest model that writes a whole document and a neutral part.
#pragma once

#include "zpi50.h"

inline xrchandle<KWPIModel> OneFaceModel() {
    xrchandle<KWPISession> session = KGetPISession();
    xrchandle<KWPIModel> model = session->CreatePIModel(KACCURACY_ABSOLUTE, 0.001);
    xrchandle<KPIPlane> plane = session->CreatePIPlane(
        KCsys::Create(KCreatePoint3D(0, 0, 0), KCreateVector3D(1, 0, 0), KCreateVector3D(0, 1, 0)));
    xrchandle<KPILoopList> loops(KPILoopList::create());
    loops->Append(model->CreatePILoop(KPI_LOOP_TRAV_EXTERNAL, xintsequence::create()));
    model->AddPIFace(model->CreatePIFace(
        1, KBoxUV::Create(KCreatePointUV(0, 0), KCreatePointUV(1, 1)), KPISURFACE_ORIENT_POSITIVE,
        plane, loops));
    return model;
}
