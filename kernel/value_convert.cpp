#include "kernel/value_convert.h"

#include <utility>

namespace {

// An xar of `count` zero-filled elements in `out`: 0 or -10.
template <class T> int makeArray(int count, xarholder<T>& out) {
    out = xarholder<T>(10, count);
    return out.Exists() ? 0 : -10;
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
    QelArrayView<QelPoint> view(points);
    if (view.Empty())
        return nullptr;
    xrchandle<KPoint3DList> list(KPoint3DList::create());
    for (int i = 0; i < view.Count(); ++i)
        list->Append(DoublesToPoint(view[i].xyz));
    return list;
}

xrchandle<KVector3DList> BuildVector3DList(const QelPoint* vectors) {
    QelArrayView<QelPoint> view(vectors);
    if (view.Empty())
        return nullptr;
    xrchandle<KVector3DList> list(KVector3DList::create());
    for (int i = 0; i < view.Count(); ++i)
        list->Append(DoublesToVector(view[i].xyz));
    return list;
}

xrchandle<xrealsequence> BuildRealSequence(const double* values) {
    QelArrayView<double> view(values);
    if (view.Empty())
        return nullptr;
    xrchandle<xrealsequence> seq(xrealsequence::create());
    for (int i = 0; i < view.Count(); ++i)
        seq->Append(view[i]);
    return seq;
}

xrchandle<xintsequence> BuildIntSequence(const int32_t* values) {
    QelArrayView<int32_t> view(values);
    if (view.Empty())
        return nullptr;
    xrchandle<xintsequence> seq(xintsequence::create());
    for (int i = 0; i < view.Count(); ++i)
        seq->Append(view[i]);
    return seq;
}

xrchandle<KPointUVList> BuildPointUVList(const QelUvSample* samples, bool second) {
    QelArrayView<QelUvSample> view(samples);
    if (view.Empty())
        return nullptr;
    xrchandle<KPointUVList> list(KPointUVList::create());
    for (int i = 0; i < view.Count(); ++i) {
        const double* uv = second ? view[i].uv2 : view[i].uv1;
        list->Append(KCreatePointUV(uv[0], uv[1]));
    }
    return list;
}

// ---- lists to host arrays ---------------------------------------------------
int PointListToArray(const xrchandle<KPoint3DList>& list, xarholder<QelPoint>& out) {
    int n = list ? list->Count() : 0;
    if (int st = makeArray(n, out))
        return st;
    for (int i = 0; i < n; ++i)
        PointToDoubles(list->Get(i), out[i].xyz);
    return 0;
}

int VectorListToArray(const xrchandle<KVector3DList>& list, xarholder<QelPoint>& out) {
    int n = list ? list->Count() : 0;
    if (int st = makeArray(n, out))
        return st;
    for (int i = 0; i < n; ++i) {
        xrchandle<KVector3D> v = list->Get(i);
        if (v)
            for (int k = 0; k < 3; ++k)
                out[i].xyz[k] = v->Get(k);
    }
    return 0;
}

int RealSequenceToArray(const xrchandle<xrealsequence>& seq, xarholder<double>& out) {
    int n = seq ? seq->Count() : 0;
    if (int st = makeArray(n, out))
        return st;
    for (int i = 0; i < n; ++i)
        out[i] = seq->Get(i);
    return 0;
}

int IntSequenceToArray(const xrchandle<xintsequence>& seq, xarholder<int32_t>& out) {
    int n = seq ? seq->Count() : 0;
    if (int st = makeArray(n, out))
        return st;
    for (int i = 0; i < n; ++i)
        out[i] = seq->Get(i);
    return 0;
}
