#include "kernel/model/session_i.h"

#include "kernel/geometry/curves.h"
#include "kernel/geometry/value_convert.h"
#include "kernel/model/model.h"
#include "kernel/metadata/model_ext.h"
#include "kernel/model/session_factory.h"
#include "kernel/geometry/surfaces.h"

#include "process.h"
#include "xexcept.h"

#include <utility>

KWPISession_i::KWPISession_i() {
    disable_msg_put(1);
    InitFileLocations();
}

KWPISession_i::~KWPISession_i() = default;

// Every factory checks only what it lists, in order, makes a new object
// (held from the start, so a failing setter leaves nothing behind), hands
// the arguments to its setter and returns the new object. Argument errors
// count from 1; code 0 is a null handle.

// ---- curves ---------------------------------------------------------------------

xrchandle<KPIPoint> KWPISession_i::CreatePIPoint(xrchandle<KPoint3D> point) {
    if (!point)
        ThrowInvalidArg(1, 0);
    xrchandle<KPIPoint_i> obj(new KPIPoint_i());
    obj->SetData(std::move(point));
    return xrchandle<KPIPoint>(obj.get());
}

xrchandle<KPILine> KWPISession_i::CreatePILine(xrchandle<KPoint3D> end0, xrchandle<KPoint3D> end1) {
    if (!end0)
        ThrowInvalidArg(1, 0);
    if (!end1)
        ThrowInvalidArg(2, 0);
    xrchandle<KPILine_i> obj(new KPILine_i());
    obj->SetData(std::move(end0), std::move(end1));
    return xrchandle<KPILine>(obj.get());
}

xrchandle<KPIArc> KWPISession_i::CreatePIArc(xrchandle<KCsys> csys, double end0, double end1,
                                             double radius) {
    if (!csys)
        ThrowInvalidArg(1, 0);
    xrchandle<KPIArc_i> obj(new KPIArc_i());
    obj->SetData(std::move(csys), end0, end1, radius);
    return xrchandle<KPIArc>(obj.get());
}

xrchandle<KPIEllipse> KWPISession_i::CreatePIEllipse(xrchandle<KCsys> csys, double c0, double c1,
                                                     double end0, double end1) {
    if (!csys)
        ThrowInvalidArg(1, 0);
    xrchandle<KPIEllipse_i> obj(new KPIEllipse_i());
    obj->SetData(std::move(csys), c0, c1, end0, end1);
    return xrchandle<KPIEllipse>(obj.get());
}

xrchandle<KPISpline> KWPISession_i::CreatePISpline(xrchandle<KPoint3DList> points,
                                                   xrchandle<KVector3DList> tangents,
                                                   xrchandle<xrealsequence> parameters) {
    if (!points)
        ThrowInvalidArg(1, 0);
    const int count = points->Count();
    if (count < 2)
        ThrowInvalidArg(1, 6);
    if (!tangents)
        ThrowInvalidArg(2, 0);
    if (tangents->Count() != count)
        ThrowInvalidArg(2, 7);
    if (!parameters)
        ThrowInvalidArg(3, 0);
    if (parameters->Count() != count)
        ThrowInvalidArg(3, 7);
    xrchandle<KPISpline_i> obj(new KPISpline_i());
    obj->SetData(std::move(points), std::move(tangents), std::move(parameters));
    return xrchandle<KPISpline>(obj.get());
}

xrchandle<KPIBspline> KWPISession_i::CreatePIBspline(int degree,
                                                     xrchandle<xrealsequence> parameters,
                                                     xrchandle<xrealsequence> weights,
                                                     xrchandle<KPoint3DList> points) {
    if (!parameters)
        ThrowInvalidArg(2, 0);
    if (!points)
        ThrowInvalidArg(4, 0);
    xrchandle<KPIBspline_i> obj(new KPIBspline_i());
    obj->SetData(degree, std::move(parameters), std::move(weights), std::move(points));
    return xrchandle<KPIBspline>(obj.get());
}

xrchandle<KPICompositeCurve> KWPISession_i::CreatePICompositeCurve(
    xrchandle<KPICurveList> curves, xrchandle<xintsequence> traversals) {
    if (!curves)
        ThrowInvalidArg(1, 0);
    if (!traversals)
        ThrowInvalidArg(2, 0);
    const int count = traversals->Count();
    if (count != curves->Count())
        ThrowInvalidArg(2, 7);
    for (int i = 0; i < count; ++i) {
        const int32_t t = traversals->Get(i);
        if (t < 0 || t > 1)
            ThrowInvalidArg(2, 7);
    }
    xrchandle<KPICompositeCurve_i> obj(new KPICompositeCurve_i());
    obj->SetData(std::move(curves), std::move(traversals));
    return xrchandle<KPICompositeCurve>(obj.get());
}

// ---- surfaces -------------------------------------------------------------------

xrchandle<KPIPlane> KWPISession_i::CreatePIPlane(xrchandle<KCsys> csys) {
    if (!csys)
        ThrowInvalidArg(1, 0);
    xrchandle<KPIPlane_i> obj(new KPIPlane_i());
    obj->SetData(std::move(csys));
    return xrchandle<KPIPlane>(obj.get());
}

xrchandle<KPICylinder> KWPISession_i::CreatePICylinder(xrchandle<KCsys> csys, double radius) {
    if (!csys)
        ThrowInvalidArg(1, 0);
    xrchandle<KPICylinder_i> obj(new KPICylinder_i());
    obj->SetData(std::move(csys), radius);
    return xrchandle<KPICylinder>(obj.get());
}

xrchandle<KPICone> KWPISession_i::CreatePICone(xrchandle<KCsys> csys, double halfAngle) {
    if (!csys)
        ThrowInvalidArg(1, 0);
    xrchandle<KPICone_i> obj(new KPICone_i());
    obj->SetData(std::move(csys), halfAngle);
    return xrchandle<KPICone>(obj.get());
}

xrchandle<KPITorus> KWPISession_i::CreatePITorus(xrchandle<KCsys> csys, double r0, double r1) {
    if (!csys)
        ThrowInvalidArg(1, 0);
    xrchandle<KPITorus_i> obj(new KPITorus_i());
    obj->SetData(std::move(csys), r0, r1);
    return xrchandle<KPITorus>(obj.get());
}

xrchandle<KPISrfRev> KWPISession_i::CreatePIRevolved(xrchandle<KCsys> csys,
                                                     xrchandle<KPICurve> curve) {
    if (!csys)
        ThrowInvalidArg(1, 0);
    if (!curve)
        ThrowInvalidArg(2, 0);
    xrchandle<KPISrfRev_i> obj(new KPISrfRev_i());
    obj->SetData(std::move(csys), std::move(curve));
    return xrchandle<KPISrfRev>(obj.get());
}

xrchandle<KPIRulSrf> KWPISession_i::CreatePIRuledSrf(xrchandle<KCsys> csys,
                                                     xrchandle<KPICurve> curve1,
                                                     xrchandle<KPICurve> curve2) {
    if (!csys)
        ThrowInvalidArg(1, 0);
    if (!curve1)
        ThrowInvalidArg(2, 0);
    if (!curve2)
        ThrowInvalidArg(3, 0);
    xrchandle<KPIRulSrf_i> obj(new KPIRulSrf_i());
    obj->SetData(std::move(csys), std::move(curve1), std::move(curve2));
    return xrchandle<KPIRulSrf>(obj.get());
}

xrchandle<KPITabCyl> KWPISession_i::CreatePITabCylinder(xrchandle<KCsys> csys,
                                                        xrchandle<KPICurve> curve) {
    if (!csys)
        ThrowInvalidArg(1, 0);
    if (!curve)
        ThrowInvalidArg(2, 0);
    xrchandle<KPITabCyl_i> obj(new KPITabCyl_i());
    obj->SetData(std::move(csys), std::move(curve));
    return xrchandle<KPITabCyl>(obj.get());
}

xrchandle<KPIFilSrf> KWPISession_i::CreatePIFilletSrf(xrchandle<KPISpline> pointSpline,
                                                      xrchandle<KPISpline> centerSpline,
                                                      xrchandle<KPISpline> tangentSpline) {
    if (!pointSpline)
        ThrowInvalidArg(1, 0);
    if (!centerSpline)
        ThrowInvalidArg(2, 0);
    if (!tangentSpline)
        ThrowInvalidArg(3, 0);
    xrchandle<KPIFilSrf_i> obj(new KPIFilSrf_i());
    obj->SetData(std::move(pointSpline), std::move(centerSpline), std::move(tangentSpline));
    return xrchandle<KPIFilSrf>(obj.get());
}

xrchandle<KPISplineSrf> KWPISession_i::CreatePISplsrf(xrchandle<xrealsequence> uParameters,
                                                      xrchandle<xrealsequence> vParameters,
                                                      xrchandle<KPoint3DList> points,
                                                      xrchandle<KVector3DList> uTangents,
                                                      xrchandle<KVector3DList> vTangents,
                                                      xrchandle<KVector3DList> mixedDerivatives) {
    if (!uParameters)
        ThrowInvalidArg(1, 0);
    if (!vParameters)
        ThrowInvalidArg(2, 0);
    if (!points)
        ThrowInvalidArg(3, 0);
    if (!uTangents)
        ThrowInvalidArg(4, 0);
    if (!vTangents)
        ThrowInvalidArg(5, 0);
    if (!mixedDerivatives)
        ThrowInvalidArg(6, 0);
    xrchandle<KPISplineSrf_i> obj(new KPISplineSrf_i());
    obj->SetData(std::move(uParameters), std::move(vParameters), std::move(points),
                 std::move(uTangents), std::move(vTangents), std::move(mixedDerivatives));
    return xrchandle<KPISplineSrf>(obj.get());
}

xrchandle<KPIBsplsrf> KWPISession_i::CreatePIBsplsrf(int uDegree, int vDegree,
                                                     xrchandle<xrealsequence> uParameters,
                                                     xrchandle<xrealsequence> vParameters,
                                                     xrchandle<KPoint3DList> points,
                                                     xrchandle<xrealsequence> weights) {
    if (!uParameters)
        ThrowInvalidArg(3, 0);
    if (!vParameters)
        ThrowInvalidArg(4, 0);
    if (!points)
        ThrowInvalidArg(5, 0);
    if (weights && (weights->Count() != points->Count() || !UsableWeights(weights, points)))
        ThrowInvalidArg(6, 1);
    xrchandle<KPIBsplsrf_i> obj(new KPIBsplsrf_i());
    obj->SetData(uDegree, vDegree, std::move(uParameters), std::move(vParameters),
                 std::move(points), std::move(weights));
    return xrchandle<KPIBsplsrf>(obj.get());
}

xrchandle<KPICylSplSrf> KWPISession_i::CreatePICylSplineSrf(xrchandle<KCsys> csys,
                                                            xrchandle<KPISplineSrf> splsrf) {
    if (!csys)
        ThrowInvalidArg(1, 0);
    if (!splsrf)
        ThrowInvalidArg(2, 0);
    xrchandle<KPICylSplSrf_i> obj(new KPICylSplSrf_i());
    obj->SetData(std::move(csys), std::move(splsrf));
    return xrchandle<KPICylSplSrf>(obj.get());
}

// ---- models -----------------------------------------------------------------------

xrchandle<KWPIModel> KWPISession_i::CreatePIModel(KAccuracyType accuracyType, double accuracy) {
    if (accuracyType == KACCURACY_UNDEFINED)
        ThrowInvalidArg(1, 1);
    if (!(accuracy > 1e-9)) // a NaN fails too
        ThrowInvalidArg(2, 1);
    xrchandle<KWPIModel_i> model(new KWPIModel_i());
    model->InitAccuracy(accuracyType, accuracy);
    return xrchandle<KWPIModel>(model.get());
}

// A new extension over a new zero-filled extension record, in both storage
// modes.
xrchandle<KWPIModelExt> KWPISession_i::CreatePIModelExt() {
    return xrchandle<KWPIModelExt>(new KWPIModelExt_i());
}

// ReadZPI: kernel/model/model_persistence.cpp.
