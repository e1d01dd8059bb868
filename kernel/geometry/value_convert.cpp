#include "kernel/geometry/value_convert.h"

#include "kernel/records/qel_check.h"

#include "xexcept.h"

#include <cmath>
#include <limits>
#include <utility>

namespace {

// A list of `make(element)` for every element of a host array of Elem, in
// order; null for a missing, unreadable or empty array.
template <class List, class Elem, class Make>
xrchandle<List> buildList(const void* arr, Make make) {
    QelArrayView<Elem> view(arr);
    if (view.Empty())
        return nullptr;
    xrchandle<List> list(List::create());
    for (int i = 0; i < view.Count(); ++i)
        list->Append(make(view[i]));
    return list;
}

// An xar in `out` with `put(element i, out[i])` for every element of the
// list (empty for a null list): 0, or -10 when memory runs out.
template <class List, class T, class Put>
int listToArray(const xrchandle<List>& list, xarholder<T>& out, Put put) {
    const int n = list ? list->Count() : 0;
    out = xarholder<T>(10, n);
    if (!out.Exists())
        return -10;
    for (int i = 0; i < n; ++i)
        put(list->Get(i), out[i]);
    return 0;
}

} // namespace

// ---- values to doubles ------------------------------------------------------
void PointToDoubles(const xrchandle<KPoint3D>& point, double* xyz) {
    if (!point || !xyz)
        return;
    for (int i = 0; i < 3; ++i)
        xyz[i] = point->Get(i);
}

void VectorToDoubles(const xrchandle<KVector3D>& vector, double* xyz) {
    if (!vector || !xyz)
        return;
    for (int i = 0; i < 3; ++i)
        xyz[i] = vector->Get(i);
}

void PointUVToDoubles(const xrchandle<KPointUV>& point, double* uv) {
    if (!point || !uv)
        return;
    uv[0] = point->Get(0);
    uv[1] = point->Get(1);
}

void Box3DToDoubles(const xrchandle<KBox3D>& box, double* box6) {
    if (!box || !box6)
        return;
    PointToDoubles(box->GetMinPoint(), box6);
    PointToDoubles(box->GetMaxPoint(), box6 + 3);
}

void BoxUVToDoubles(const xrchandle<KBoxUV>& box, double* uvMin, double* uvMax) {
    if (!box)
        return;
    PointUVToDoubles(box->GetMinPoint(), uvMin);
    PointUVToDoubles(box->GetMaxPoint(), uvMax);
}

void CsysToFrame(const xrchandle<KCsys>& csys, QelFrame* frame) {
    if (!csys || !frame)
        return;
    VectorToDoubles(csys->GetXAxis(), frame->e1);
    VectorToDoubles(csys->GetYAxis(), frame->e2);
    VectorToDoubles(csys->GetZAxis(), frame->e3);
    PointToDoubles(csys->GetOrigin(), frame->origin);
}

QelFrame FrameOfCsys(const xrchandle<KCsys>& csys) {
    QelFrame f{};
    CsysToFrame(csys, &f);
    return f;
}

// ---- doubles to values ------------------------------------------------------
xrchandle<KPoint3D> DoublesToPoint(const double* xyz) {
    return KCreatePoint3D(xyz[0], xyz[1], xyz[2]);
}

xrchandle<KVector3D> DoublesToVector(const double* xyz) {
    return KCreateVector3D(xyz[0], xyz[1], xyz[2]);
}

xrchandle<KCsys> FrameToCsys(const double* origin, const double* xAxis, const double* yAxis) {
    return KCsys::Create(DoublesToPoint(origin), DoublesToVector(xAxis), DoublesToVector(yAxis));
}

xrchandle<KCsys> FrameToCsys(const QelFrame& frame) {
    return FrameToCsys(frame.origin, frame.e1, frame.e2);
}

xrchandle<KBoxUV> DoublesToBoxUV(const double* uvMin, const double* uvMax) {
    return KBoxUV::Create(KCreatePointUV(uvMin[0], uvMin[1]), KCreatePointUV(uvMax[0], uvMax[1]));
}

xrchandle<KBox3D> DoublesToBox3D(const double* box6) {
    return KBox3D::Create(DoublesToPoint(box6), DoublesToPoint(box6 + 3));
}

// ---- host arrays to lists ---------------------------------------------------
xrchandle<KPoint3DList> BuildPoint3DList(const QelPoint* points) {
    return buildList<KPoint3DList, QelPoint>(points,
                                             [](const QelPoint& p) { return DoublesToPoint(p.xyz); });
}

xrchandle<KVector3DList> BuildVector3DList(const QelPoint* vectors) {
    return buildList<KVector3DList, QelPoint>(
        vectors, [](const QelPoint& v) { return DoublesToVector(v.xyz); });
}

xrchandle<xrealsequence> BuildRealSequence(const double* values) {
    return buildList<xrealsequence, double>(values, [](double v) { return v; });
}

xrchandle<xintsequence> BuildIntSequence(const int32_t* values) {
    return buildList<xintsequence, int32_t>(values, [](int32_t v) { return v; });
}

xrchandle<KPointUVList> BuildPointUVList(const QelUvSample* samples, bool second) {
    return buildList<KPointUVList, QelUvSample>(samples, [second](const QelUvSample& s) {
        const double* uv = second ? s.uv2 : s.uv1;
        return KCreatePointUV(uv[0], uv[1]);
    });
}

xrchandle<KPoint3DList> BuildUnweightedPoint3DList(const QelPoint* points, const double* weights) {
    QelArrayView<QelPoint> pts(points);
    QelArrayView<double> w(weights);
    const bool weighted = !w.Empty();
    if (weighted && w.Count() < pts.Count())
        ThrowSimple(QEL_ERR_BAD_ARG);
    xrchandle<KPoint3DList> list(KPoint3DList::create());
    for (int i = pts.Count() - 1; i >= 0; --i) {
        const double weight = weighted ? w[i] : 1.0;
        const double* c = pts[i].xyz;
        list->Set(i, KCreatePoint3D(c[0] / weight, c[1] / weight, c[2] / weight));
    }
    return list;
}

// ---- lists to host arrays ---------------------------------------------------
int PointListToArray(const xrchandle<KPoint3DList>& list, xarholder<QelPoint>& out) {
    return listToArray(list, out, [](const xrchandle<KPoint3D>& p, QelPoint& to) {
        PointToDoubles(p, to.xyz);
    });
}

int VectorListToArray(const xrchandle<KVector3DList>& list, xarholder<QelPoint>& out) {
    return listToArray(list, out, [](const xrchandle<KVector3D>& v, QelPoint& to) {
        VectorToDoubles(v, to.xyz);
    });
}

int RealSequenceToArray(const xrchandle<xrealsequence>& seq, xarholder<double>& out) {
    return listToArray(seq, out, [](double v, double& to) { to = v; });
}

int IntSequenceToArray(const xrchandle<xintsequence>& seq, xarholder<int32_t>& out) {
    return listToArray(seq, out, [](int32_t v, int32_t& to) { to = v; });
}

bool UsableWeight(double x, double w) {
    if (!qel_weight_ok(w))
        return false;
    // Kept as p, the coordinate must divide back out as every route into
    // the writers requires of a record (an infinite p does not).
    const double p = x * w;
    if (!qel_weighted_coordinate_ok(p, w))
        return false;
    if (x == 0 || std::isnormal(p))
        return true;
    // The product underflows: a normal x would lose digits; a subnormal one
    // only when it does not come back.
    return !std::isnormal(x) &&
           std::fabs(p / w - x) <= std::numeric_limits<double>::denorm_min();
}

bool UsableWeights(const xrchandle<xrealsequence>& weights, const xrchandle<KPoint3DList>& points) {
    const int n = weights ? weights->Count() : 0;
    const int np = points ? points->Count() : 0;
    for (int i = 0; i < n; ++i) {
        const double w = weights->Get(i);
        if (!UsableWeight(0, w))
            return false;
        if (i >= np)
            continue;
        double xyz[3];
        PointToDoubles(points->Get(i), xyz);
        for (double x : xyz)
            if (!UsableWeight(x, w))
                return false;
    }
    return true;
}

int WeightedPointsToArrays(const xrchandle<KPoint3DList>& points,
                           const xrchandle<xrealsequence>& weights,
                           xarholder<QelPoint>& pointsOut, xarholder<double>& weightsOut) {
    const int np = points ? points->Count() : 0;
    // Each weight scales its own control point.
    if (weights && (weights->Count() != np || !UsableWeights(weights, points)))
        return -2;
    int st = PointListToArray(points, pointsOut);
    if (st == 0 && weights) {
        st = RealSequenceToArray(weights, weightsOut);
        for (int i = 0; st == 0 && i < np; ++i)
            for (double& c : pointsOut[i].xyz)
                c *= weightsOut[i];
    }
    return st;
}
