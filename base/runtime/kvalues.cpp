#include "kvalues.h"

XRTTI_DEFINE(KPoint3D, "KBase::Point3D", xobject)
XRTTI_DEFINE(KVector3D, "KBase::Vector3D", xobject)
XRTTI_DEFINE(KPointUV, "KBase::PointUV", xobject)
XRTTI_DEFINE(KColorRGB, "KBase::ColorRGB", xobject)
XRTTI_DEFINE(KBox3D, "KBase::Box3D", xobject)
XRTTI_DEFINE(KBoxUV, "KBase::BoxUV", xobject)
XRTTI_DEFINE(KCsys, "KBase::Csys", xobject)
XRTTI_DEFINE(KMatrix3D, "KBase::Matrix3D", xobject)
XRTTI_DEFINE(KRay, "KBase::Ray", xobject)
XRTTI_DEFINE(KSingularity, "KBase::Singularity", xobject)
XRTTI_DEFINE(KCurveEvalData, "KBase::CurveEvalData", xobject)
XRTTI_DEFINE(KSurfaceEvalData, "KBase::SurfaceEvalData", xobject)
XRTTI_DEFINE(KFacetVertex, "KBase::FacetVertex", xobject)
XRTTI_DEFINE(KFacetdata, "KBase::Facetdata", xobject)
XRTTI_DEFINE(KByteBuffer, "KBase::ByteBuffer", xobject)
XRTTI_DEFINE(KPoint3DList, "KBase::Point3DList", xobject)
XRTTI_DEFINE(KVector3DList, "KBase::Vector3DList", xobject)
XRTTI_DEFINE(KPointUVList, "KBase::PointUVList", xobject)

namespace {
// The names are literals: the descriptor keeps the pointers, not copies.
const xrttienum* makeEnum(const char* name, std::initializer_list<const char*> names) {
    auto* e = new xrttienum(name, static_cast<int>(names.size()), names.begin());
    cipRttiAddToMap(e);
    return e;
}

// Index check shared by the coordinate accessors.
void checkIndex(const xobject* obj, int i, int count) {
    if (i < 0)
        ciphThrowNegativeIndex(i);
    if (i >= count)
        ciphThrowInvalidArrayIndex(const_cast<xobject*>(obj), 0, i);
}

// A value object made on the heap and filled by its factory.
template <class T> struct Made : T {
    Made() = default;
};
} // namespace

const xrttienum* cipGetRtti_KTraversal() {
    static const xrttienum* const e =
        makeEnum("KBase::Traversal", {"KTRAV_NONE", "KTRAV_SAME", "KTRAV_OPPOSITE"});
    return e;
}

const xrttienum* cipGetRtti_KAccuracyType() {
    static const xrttienum* const e = makeEnum(
        "KBase::AccuracyType", {"KACCURACY_RELATIVE", "KACCURACY_ABSOLUTE", "KACCURACY_UNDEFINED"});
    return e;
}

#define KVALUE_COORDS(Class, N)                                                \
    double Class::Get(int i) const {                                           \
        checkIndex(this, i, N);                                                \
        return c_[i];                                                          \
    }                                                                          \
    void Class::Set(int i, double value) {                                     \
        checkIndex(this, i, N);                                                \
        c_[i] = value;                                                         \
    }

KVALUE_COORDS(KPoint3D, 3)
KVALUE_COORDS(KVector3D, 3)
KVALUE_COORDS(KPointUV, 2)
KVALUE_COORDS(KColorRGB, 3)

KPoint3D* KPoint3D::create(double x, double y, double z) {
    auto* p = new Made<KPoint3D>;
    p->c_[0] = x, p->c_[1] = y, p->c_[2] = z;
    return p;
}
KVector3D* KVector3D::create(double x, double y, double z) {
    auto* p = new Made<KVector3D>;
    p->c_[0] = x, p->c_[1] = y, p->c_[2] = z;
    return p;
}
KPointUV* KPointUV::create(double u, double v) {
    auto* p = new Made<KPointUV>;
    p->c_[0] = u, p->c_[1] = v;
    return p;
}
KColorRGB* KColorRGB::create(double r, double g, double b) {
    auto* p = new Made<KColorRGB>;
    p->c_[0] = r, p->c_[1] = g, p->c_[2] = b;
    return p;
}

xrchandle<KPoint3D> KCreatePoint3D(double x, double y, double z) { return KPoint3D::create(x, y, z); }
xrchandle<KVector3D> KCreateVector3D(double x, double y, double z) {
    return KVector3D::create(x, y, z);
}
xrchandle<KPointUV> KCreatePointUV(double u, double v) { return KPointUV::create(u, v); }
xrchandle<KColorRGB> KCreateColorRGB(double r, double g, double b) {
    return KColorRGB::create(r, g, b);
}

xrchandle<KBox3D> KBox3D::Create(xrchandle<KPoint3D> min, xrchandle<KPoint3D> max) {
    if (!min)
        ThrowInvalidArg(1, 0);
    if (!max)
        ThrowInvalidArg(2, 0);
    xrchandle<KBox3D> box(new Made<KBox3D>);
    for (int i = 0; i < 3; ++i) {
        box->d_[i] = min->Get(i);
        box->d_[3 + i] = max->Get(i);
    }
    return box;
}
xrchandle<KPoint3D> KBox3D::GetMinPoint() const { return KCreatePoint3D(d_[0], d_[1], d_[2]); }
xrchandle<KPoint3D> KBox3D::GetMaxPoint() const { return KCreatePoint3D(d_[3], d_[4], d_[5]); }

xrchandle<KBoxUV> KBoxUV::Create(xrchandle<KPointUV> min, xrchandle<KPointUV> max) {
    if (!min)
        ThrowInvalidArg(1, 0);
    if (!max)
        ThrowInvalidArg(2, 0);
    xrchandle<KBoxUV> box(new Made<KBoxUV>);
    box->d_[0] = min->u(), box->d_[1] = min->v();
    box->d_[2] = max->u(), box->d_[3] = max->v();
    return box;
}
xrchandle<KPointUV> KBoxUV::GetMinPoint() const { return KCreatePointUV(d_[0], d_[1]); }
xrchandle<KPointUV> KBoxUV::GetMaxPoint() const { return KCreatePointUV(d_[2], d_[3]); }

xrchandle<KCsys> KCsys::Create(xrchandle<KPoint3D> origin, xrchandle<KVector3D> xAxis,
                               xrchandle<KVector3D> yAxis) {
    if (!origin)
        ThrowInvalidArg(1, 0);
    if (!xAxis)
        ThrowInvalidArg(2, 0);
    if (!yAxis)
        ThrowInvalidArg(3, 0);
    xrchandle<KCsys> cs(new Made<KCsys>);
    double* d = cs->d_;
    for (int i = 0; i < 3; ++i) {
        d[i] = origin->Get(i);
        d[3 + i] = xAxis->Get(i);
        d[6 + i] = yAxis->Get(i);
    }
    d[9] = d[4] * d[8] - d[5] * d[7];
    d[10] = d[5] * d[6] - d[3] * d[8];
    d[11] = d[3] * d[7] - d[4] * d[6];
    return cs;
}
xrchandle<KPoint3D> KCsys::GetOrigin() const { return KCreatePoint3D(d_[0], d_[1], d_[2]); }
xrchandle<KVector3D> KCsys::GetXAxis() const { return KCreateVector3D(d_[3], d_[4], d_[5]); }
xrchandle<KVector3D> KCsys::GetYAxis() const { return KCreateVector3D(d_[6], d_[7], d_[8]); }
xrchandle<KVector3D> KCsys::GetZAxis() const { return KCreateVector3D(d_[9], d_[10], d_[11]); }

KByteBuffer* KByteBuffer::create(unsigned char* bytes, int count) {
    auto* b = new Made<KByteBuffer>;
    b->bytes_ = bytes;
    b->count_ = count;
    return b;
}

KPoint3DList* KPoint3DList::create() { return new KPoint3DList; }
KVector3DList* KVector3DList::create() { return new KVector3DList; }
KPointUVList* KPointUVList::create() { return new KPointUVList; }
