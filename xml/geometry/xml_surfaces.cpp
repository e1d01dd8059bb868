// Surface elements: writers from host shape records and readers back into
// them.
#include "xml/geometry/xml_surfaces.h"

#include "kernel/records/qel_routines.h"
#include "xmemory.h"

#include <cstring>

namespace {

const char* Or(const char* name, const char* fallback) { return name ? name : fallback; }

bool Is(const char* a, const char* b) { return IntfXmlIsName(a, b); }

int32_t CheckedCount(uint32_t count, const char* what) {
    if (count > uint32_t(INT32_MAX))
        IntfXmlThrow(INTFXML_ERR_RECORD, "%s: count %u out of range", what, count);
    return int32_t(count);
}

// Item i of an array kept in one block (xar) or in pages (har).
template <class T> const T* ItemAt(const void* arr, int32_t i) {
    if (har_entry_size(arr) != 0)
        return static_cast<const T*>(har_access(arr, i, nullptr, nullptr));
    return static_cast<const T*>(arr) + i;
}

void CheckSplineSrf(const QelSplinesrfdata& s, int32_t& u, int32_t& v, int32_t& n) {
    u = CheckedCount(s.u_count, "spline surface U count");
    v = CheckedCount(s.v_count, "spline surface V count");
    int64_t total = int64_t(u) * v;
    if (total > INT32_MAX)
        IntfXmlThrow(INTFXML_ERR_RECORD, "spline surface: %d x %d points out of range", u, v);
    n = int32_t(total);
    IntfXmlCheckArray(s.u_params, u, sizeof(double), "spline surface U parameters");
    IntfXmlCheckArray(s.v_params, v, sizeof(double), "spline surface V parameters");
    IntfXmlCheckArray(s.points, n, sizeof(QelPoint), "spline surface points");
    IntfXmlCheckArray(s.u_tangents, n, sizeof(QelPoint), "spline surface U tangents");
    IntfXmlCheckArray(s.v_tangents, n, sizeof(QelPoint), "spline surface V tangents");
    IntfXmlCheckArray(s.mixed_derivs, n, sizeof(QelPoint), "spline surface UV derivatives");
}

} // namespace

// ---- surface element --------------------------------------------------------------------

IntfXmlSurface::IntfXmlSurface(const QelSurfaceshapedata* shape, uint32_t kind,
                               const char* name) { Write(shape, kind, name); }

void IntfXmlSurface::Write(const QelSurfaceshapedata* shape, uint32_t kind, const char* name) {
    if (!shape)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no surface shape to write");
    StartElement(Or(name, "Surface"));
    switch (kind) {
    case QEL_SURF_PLANE: IntfXmlPlane::Write(shape->plane.frame); break;
    case QEL_SURF_CYLINDER: IntfXmlCylinder::Write(shape); break;
    case QEL_SURF_CONE: IntfXmlCone::Write(shape); break;
    case QEL_SURF_TORUS: IntfXmlTorus::Write(shape); break;
    case QEL_SURF_SPLINE: IntfXmlSplSrf(&shape->splinesrf, nullptr); break;
    case QEL_SURF_FILLET: IntfXmlFilletSrf{shape}; break;
    case QEL_SURF_RULED: IntfXmlRuledSrf{shape}; break;
    case QEL_SURF_REVOLVED: IntfXmlSrfRevolved{shape}; break;
    case QEL_SURF_TABCYL: IntfXmlTabCyl{shape}; break;
    case QEL_SURF_BSPLINE: IntfXmlBsplSrf::Write(shape); break;
    case QEL_SURF_CYLSPLINE: IntfXmlCylSplSrf{shape}; break;
    case 0: break; // no surface: as a reader gives an empty element
    default: // an empty element would read back as kind 0
        IntfXmlThrow(INTFXML_ERR_RECORD, "\"%s\": a surface of kind %u, which has no element",
                     Or(name, "Surface"), kind);
    }
    EndElement();
}

IntfXmlSurface::IntfXmlSurface(IntfXmlElement* parent) : IntfXmlElement(parent) {}

IntfXmlSurface::IntfXmlSurface(IntfXmlElement* parent, QelSurfaceshapedata* storage)
    : IntfXmlElement(parent), record_(storage) {
    std::memset(record_, 0, sizeof *record_);
}

IntfXmlSurface::IntfXmlSurface(KindTag) {}

IntfXmlSurface::~IntfXmlSurface() {
    // A shape read and not taken still owns its arrays and curves.
    if (record_ && filled_)
        qel_surfaceshapedata_clear(uint32_t(kindCode_), record_);
}

IntfXmlElement* IntfXmlSurface::startElement(const char* name, IntfXmlAttributes&) {
    IntfXmlSurfaceKind* kind = nullptr;
    if (Is(name, "Plane"))
        kind = MakeChild<IntfXmlPlane>();
    else if (Is(name, "Cylinder"))
        kind = MakeChild<IntfXmlCylinder>();
    else if (Is(name, "Cone"))
        kind = MakeChild<IntfXmlCone>();
    else if (Is(name, "Torus"))
        kind = MakeChild<IntfXmlTorus>();
    else if (Is(name, "SrfRevolved"))
        kind = MakeChild<IntfXmlSrfRevolved>();
    else if (Is(name, "RuledSrf"))
        kind = MakeChild<IntfXmlRuledSrf>();
    else if (Is(name, "TabCyl"))
        kind = MakeChild<IntfXmlTabCyl>();
    else if (Is(name, "FilletSrf"))
        kind = MakeChild<IntfXmlFilletSrf>();
    else if (Is(name, "SplSrf"))
        kind = MakeChild<IntfXmlSplSrf>();
    else if (Is(name, "BsplSrf"))
        kind = MakeChild<IntfXmlBsplSrf>();
    else if (Is(name, "CylSplSrf"))
        kind = MakeChild<IntfXmlCylSplSrf>();
    else
        IntfXmlThrowUnexpected(name, "Surface");
    if (kind_)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "a surface element holds more than one surface");
    kind_ = kind;
    kindCode_ = kind->GetKind();
    return kind;
}

IntfXmlElement* IntfXmlSurface::endElement(const char*) { return parent_; }

const QelSurfaceshapedata* IntfXmlSurface::GetData() const {
    return kind_ ? kind_->GetData() : nullptr;
}

bool IntfXmlSurface::TakeData(QelSurfaceshapedata* out) {
    return kind_ ? kind_->TakeData(out) : false;
}

// ---- kind base -------------------------------------------------------------------------------

IntfXmlSurfaceKind::IntfXmlSurfaceKind(IntfXmlElement* parent, int32_t code)
    : IntfXmlSurface(parent, &storage_) {
    kindCode_ = code;
}

IntfXmlSurfaceKind::IntfXmlSurfaceKind() : IntfXmlSurface(KindTag{}) {}

IntfXmlElement* IntfXmlSurfaceKind::startElement(const char* name, IntfXmlAttributes&) {
    PushName(name);
    return this;
}

void IntfXmlSurfaceKind::characters(const char*, unsigned) {
    // The kinds take their texts as values: their own text is not used.
}

IntfXmlElement* IntfXmlSurfaceKind::endElement(const char*) { return parent_; }

const QelSurfaceshapedata* IntfXmlSurfaceKind::GetData() const {
    return filled_ ? record_ : nullptr;
}

bool IntfXmlSurfaceKind::TakeData(QelSurfaceshapedata* out) {
    if (!filled_ || !out)
        return false;
    *out = *record_;
    filled_ = false;
    return true;
}

// ---- plane, cylinder, cone, torus ----------------------------------------------------------

namespace {
const char* const kNoNumbers[] = {nullptr};
const char* const kRadius[] = {"Radius", nullptr};
const char* const kHalfAngle[] = {"HalfAng", nullptr};
const char* const kRadii[] = {"Radius1", "Radius2", nullptr};
} // namespace

IntfXmlCsysSurface::IntfXmlCsysSurface(IntfXmlElement* parent, int32_t code, const char* self,
                                       const char* const* numbers)
    : IntfXmlSurfaceKind(parent, code), self_(self), numberNames_(numbers) {}

namespace {
// Value slots of the numbers of a surface kind, after those of its "Csys".
constexpr int kFirstNumber = 4;
} // namespace

IntfXmlElement* IntfXmlCsysSurface::startElement(const char* name, IntfXmlAttributes&) {
    if (inCsys_)
        return TakeValue(IntfXmlCsysValues::Slot(name, !NamesEmpty()));
    if (!NamesEmpty())
        IntfXmlThrowUnexpected(name, TopName().c_str());
    if (Is(name, "Csys")) {
        if (haveCsys_)
            IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"%s\" holds \"Csys\" twice", self_);
        haveCsys_ = inCsys_ = true;
        return this;
    }
    for (int i = 0; numberNames_ && numberNames_[i]; ++i)
        if (Is(name, numberNames_[i]))
            return TakeValue(kFirstNumber + i);
    IntfXmlThrowUnexpected(name, self_);
}

void IntfXmlCsysSurface::EndValue(int slot, std::string_view text, const char* name) {
    if (slot < kFirstNumber) {
        csys_.Store(slot, text, name);
        return;
    }
    numbers_[slot - kFirstNumber] = IntfXmlParseDouble(text, name);
    IntfXmlSeeOnce(seen_, 1u << (slot - kFirstNumber), name, self_);
}

IntfXmlElement* IntfXmlCsysSurface::endElement(const char*) {
    if (inCsys_) {
        csys_.Finish();
        inCsys_ = false;
        return this;
    }
    if (!haveCsys_)
        IntfXmlThrowMissing("Csys", self_);
    for (int i = 0; numberNames_[i]; ++i)
        if (!(seen_ & (1u << i)))
            IntfXmlThrowMissing(numberNames_[i], self_);
    Store(csys_.frame, numbers_);
    SetFilled();
    return parent_;
}

IntfXmlPlane::IntfXmlPlane(const QelSurfaceshapedata* shape) : IntfXmlPlane(shape->plane.frame) {}

IntfXmlPlane::IntfXmlPlane(const QelFrame& frame) { Write(frame); }

void IntfXmlPlane::Write(const QelFrame& frame) {
    StartElement("Plane");
    IntfXmlCsys::Write(frame, nullptr);
    EndElement();
}

IntfXmlPlane::IntfXmlPlane(IntfXmlElement* parent)
    : IntfXmlCsysSurface(parent, QEL_SURF_PLANE, "Plane", kNoNumbers) {}

const QelFrame* IntfXmlPlane::GetFrame() const {
    return filled_ ? &record_->plane.frame : nullptr;
}

void IntfXmlPlane::Store(const QelFrame& frame, const double*) { record_->plane.frame = frame; }

IntfXmlCylinder::IntfXmlCylinder(const QelSurfaceshapedata* shape) { Write(shape); }

void IntfXmlCylinder::Write(const QelSurfaceshapedata* shape) {
    StartElement("Cylinder");
    IntfXmlCsys::Write(shape->cylinder.frame, nullptr);
    AddDoubleElement("Radius", shape->cylinder.scalar);
    EndElement();
}

IntfXmlCylinder::IntfXmlCylinder(IntfXmlElement* parent)
    : IntfXmlCsysSurface(parent, QEL_SURF_CYLINDER, "Cylinder", kRadius) {}

void IntfXmlCylinder::Store(const QelFrame& frame, const double* numbers) {
    record_->cylinder.frame = frame;
    record_->cylinder.scalar = numbers[0];
}

IntfXmlCone::IntfXmlCone(const QelSurfaceshapedata* shape) { Write(shape); }

void IntfXmlCone::Write(const QelSurfaceshapedata* shape) {
    StartElement("Cone");
    IntfXmlCsys::Write(shape->cone.frame, nullptr);
    AddDoubleElement("HalfAng", shape->cone.scalar);
    EndElement();
}

IntfXmlCone::IntfXmlCone(IntfXmlElement* parent)
    : IntfXmlCsysSurface(parent, QEL_SURF_CONE, "Cone", kHalfAngle) {}

void IntfXmlCone::Store(const QelFrame& frame, const double* numbers) {
    record_->cone.frame = frame;
    record_->cone.scalar = numbers[0];
}

IntfXmlTorus::IntfXmlTorus(const QelSurfaceshapedata* shape) { Write(shape); }

void IntfXmlTorus::Write(const QelSurfaceshapedata* shape) {
    StartElement("Torus");
    IntfXmlCsys::Write(shape->torus.frame, nullptr);
    AddDoubleElement("Radius1", shape->torus.radius1);
    AddDoubleElement("Radius2", shape->torus.radius2);
    EndElement();
}

IntfXmlTorus::IntfXmlTorus(IntfXmlElement* parent)
    : IntfXmlCsysSurface(parent, QEL_SURF_TORUS, "Torus", kRadii) {}

void IntfXmlTorus::Store(const QelFrame& frame, const double* numbers) {
    record_->torus.frame = frame;
    record_->torus.radius1 = numbers[0];
    record_->torus.radius2 = numbers[1];
}

// ---- surfaces of revolution, tabulated cylinders ---------------------------------------------

IntfXmlCsysCurveSurface::IntfXmlCsysCurveSurface(IntfXmlElement* parent, int32_t code,
                                                 const char* self)
    : IntfXmlSurfaceKind(parent, code), self_(self) {}

IntfXmlCsysCurveSurface::IntfXmlCsysCurveSurface(const QelSurfaceshapedata* shape,
                                                 const char* self) {
    StartElement(self);
    IntfXmlCsys::Write(shape->srfrev.frame, nullptr);
    IntfXmlCurve::Write(&shape->srfrev.profile, "Curve");
    EndElement();
}

IntfXmlElement* IntfXmlCsysCurveSurface::startElement(const char* name, IntfXmlAttributes&) {
    if (Is(name, "Csys")) {
        if (csys_)
            IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"%s\" holds \"Csys\" twice", self_);
        return csys_ = MakeChild<IntfXmlCsys>();
    }
    if (Is(name, "Curve")) {
        if (curve_)
            IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"%s\" holds \"Curve\" twice", self_);
        return curve_ = MakeChild<IntfXmlCurve>()->Required(self_);
    }
    IntfXmlThrowUnexpected(name, self_);
}

IntfXmlElement* IntfXmlCsysCurveSurface::endElement(const char*) {
    if (!csys_)
        IntfXmlThrowMissing("Csys", self_);
    if (!curve_)
        IntfXmlThrowMissing("Curve", self_);
    record_->srfrev.frame = csys_->GetFrame();
    curve_->TakeCurveOrCleared(&record_->srfrev.profile);
    SetFilled();
    return parent_;
}

IntfXmlSrfRevolved::IntfXmlSrfRevolved(const QelSurfaceshapedata* shape)
    : IntfXmlCsysCurveSurface(shape, "SrfRevolved") {}

IntfXmlSrfRevolved::IntfXmlSrfRevolved(IntfXmlElement* parent)
    : IntfXmlCsysCurveSurface(parent, QEL_SURF_REVOLVED, "SrfRevolved") {}

IntfXmlTabCyl::IntfXmlTabCyl(const QelSurfaceshapedata* shape)
    : IntfXmlCsysCurveSurface(shape, "TabCyl") {}

IntfXmlTabCyl::IntfXmlTabCyl(IntfXmlElement* parent)
    : IntfXmlCsysCurveSurface(parent, QEL_SURF_TABCYL, "TabCyl") {}

// ---- ruled surface ----------------------------------------------------------------------------

IntfXmlRuledSrf::IntfXmlRuledSrf(const QelSurfaceshapedata* shape) {
    StartElement("RuledSrf");
    IntfXmlCsys::Write(shape->rulsrf.frame, nullptr);
    IntfXmlCurve::Write(&shape->rulsrf.curve1, "Curve1");
    IntfXmlCurve::Write(&shape->rulsrf.curve2, "Curve2");
    EndElement();
}

IntfXmlRuledSrf::IntfXmlRuledSrf(IntfXmlElement* parent)
    : IntfXmlSurfaceKind(parent, QEL_SURF_RULED) {}

IntfXmlElement* IntfXmlRuledSrf::startElement(const char* name, IntfXmlAttributes&) {
    if (Is(name, "Csys")) {
        if (csys_)
            IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"RuledSrf\" holds \"Csys\" twice");
        return csys_ = MakeChild<IntfXmlCsys>();
    }
    IntfXmlCurve** slot = Is(name, "Curve1") ? &curve1_ : Is(name, "Curve2") ? &curve2_ : nullptr;
    if (!slot)
        IntfXmlThrowUnexpected(name, "RuledSrf");
    if (*slot)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"RuledSrf\" holds \"%s\" twice", name);
    return *slot = MakeChild<IntfXmlCurve>()->Required("RuledSrf");
}

IntfXmlElement* IntfXmlRuledSrf::endElement(const char*) {
    if (!csys_)
        IntfXmlThrowMissing("Csys", "RuledSrf");
    if (!curve1_)
        IntfXmlThrowMissing("Curve1", "RuledSrf");
    if (!curve2_)
        IntfXmlThrowMissing("Curve2", "RuledSrf");
    record_->rulsrf.frame = csys_->GetFrame();
    curve1_->TakeCurveOrCleared(&record_->rulsrf.curve1);
    curve2_->TakeCurveOrCleared(&record_->rulsrf.curve2);
    SetFilled();
    return parent_;
}

// ---- fillet surface ------------------------------------------------------------------------

IntfXmlFilletSrf::IntfXmlFilletSrf(const QelSurfaceshapedata* shape) {
    // Each spline writer checks its record.
    const QelFilsrfdata& f = shape->filsrf;
    StartElement("FilletSrf");
    IntfXmlSpline(&f.center_spline, "CenSpl");
    IntfXmlSpline(&f.point_spline, "PntSpl");
    IntfXmlSpline(&f.tangent_spline, "TanSpl");
    EndElement();
}

IntfXmlFilletSrf::IntfXmlFilletSrf(IntfXmlElement* parent)
    : IntfXmlSurfaceKind(parent, QEL_SURF_FILLET) {}

IntfXmlElement* IntfXmlFilletSrf::startElement(const char* name, IntfXmlAttributes&) {
    IntfXmlSpline** slot = Is(name, "CenSpl")   ? &center_
                           : Is(name, "PntSpl") ? &point_
                           : Is(name, "TanSpl") ? &tangent_
                                                : nullptr;
    if (!slot)
        IntfXmlThrowUnexpected(name, "FilletSrf");
    if (*slot)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"FilletSrf\" holds \"%s\" twice", name);
    return *slot = MakeChild<IntfXmlSpline>();
}

IntfXmlElement* IntfXmlFilletSrf::endElement(const char*) {
    if (!center_ || !center_->GetData())
        IntfXmlThrowMissing("CenSpl", "FilletSrf");
    if (!point_ || !point_->GetData())
        IntfXmlThrowMissing("PntSpl", "FilletSrf");
    if (!tangent_ || !tangent_->GetData())
        IntfXmlThrowMissing("TanSpl", "FilletSrf");
    QelFilsrfdata& f = record_->filsrf;
    point_->TakeSplineData(&f.point_spline);
    center_->TakeSplineData(&f.center_spline);
    tangent_->TakeSplineData(&f.tangent_spline);
    SetFilled();
    return parent_;
}

// ---- spline surface -------------------------------------------------------------------------

IntfXmlSplSrf::IntfXmlSplSrf(const QelSplinesrfdata* spline, const char* name) {
    if (!spline)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no spline surface to write");
    int32_t u = 0, v = 0, n = 0;
    CheckSplineSrf(*spline, u, v, n);
    StartElement(Or(name, "SplSrf"));
    IntfXmlQelRealSeq::Write(spline->u_params, u, "UParams");
    IntfXmlQelRealSeq::Write(spline->v_params, v, "VParams");
    IntfXmlQelPntList(spline->points, n, "Points");
    IntfXmlQelVectorList(spline->u_tangents, n, "UTangents");
    IntfXmlQelVectorList(spline->v_tangents, n, "VTangents");
    IntfXmlQelVectorList(spline->mixed_derivs, n, "UVDerivs");
    EndElement();
}

IntfXmlSplSrf::IntfXmlSplSrf(IntfXmlElement* parent)
    : IntfXmlSurfaceKind(parent, QEL_SURF_SPLINE) {}

IntfXmlElement* IntfXmlSplSrf::startElement(const char* name, IntfXmlAttributes& attrs) {
    IntfXmlQelRealSeq** seq = Is(name, "UParams")   ? &uParams_
                              : Is(name, "VParams") ? &vParams_
                                                    : nullptr;
    IntfXmlQelPntList** list = Is(name, "Points")      ? &points_
                               : Is(name, "UTangents") ? &uTangents_
                               : Is(name, "VTangents") ? &vTangents_
                               : Is(name, "UVDerivs")  ? &derivs_
                                                       : nullptr;
    if (!seq && !list)
        IntfXmlThrowUnexpected(name, "SplSrf");
    if ((seq && *seq) || (list && *list))
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"SplSrf\" holds \"%s\" twice", name);
    int32_t size = IntfXmlRequireSize(attrs, name);
    if (seq)
        return *seq = MakeChild<IntfXmlQelRealSeq>(size);
    if (list == &points_)
        return *list = MakeChild<IntfXmlQelPntList>(size);
    return *list = MakeChild<IntfXmlQelVectorList>(size);
}

IntfXmlElement* IntfXmlSplSrf::endElement(const char*) {
    if (!uParams_)
        IntfXmlThrowMissing("UParams", "SplSrf");
    if (!vParams_)
        IntfXmlThrowMissing("VParams", "SplSrf");
    struct {
        IntfXmlQelPntList* list;
        const char* name;
    } lists[] = {{points_, "Points"},
                 {uTangents_, "UTangents"},
                 {vTangents_, "VTangents"},
                 {derivs_, "UVDerivs"}};
    const int64_t n = int64_t(uParams_->GetCount()) * vParams_->GetCount();
    for (auto& l : lists) {
        if (!l.list)
            IntfXmlThrowMissing(l.name, "SplSrf");
        if (l.list->GetCount() != n)
            IntfXmlThrow(INTFXML_ERR_MALFORMED,
                         "\"SplSrf\": \"%s\" holds %d items for %d x %d parameters", l.name,
                         l.list->GetCount(), uParams_->GetCount(), vParams_->GetCount());
    }
    QelSplinesrfdata& s = record_->splinesrf;
    s.u_count = uint32_t(uParams_->GetCount());
    s.v_count = uint32_t(vParams_->GetCount());
    s.u_params = uParams_->TakeArray();
    s.v_params = vParams_->TakeArray();
    s.points = points_->TakeArray();
    s.u_tangents = uTangents_->TakeArray();
    s.v_tangents = vTangents_->TakeArray();
    s.mixed_derivs = derivs_->TakeArray();
    SetFilled();
    return parent_;
}

bool IntfXmlSplSrf::TakeSplineSrf(QelSplinesrfdata* out) {
    if (!filled_ || !out)
        return false;
    *out = record_->splinesrf;
    filled_ = false;
    return true;
}

// ---- B-spline surface ------------------------------------------------------------------------

IntfXmlBsplSrf::IntfXmlBsplSrf(const QelSurfaceshapedata* shape) { Write(shape); }

void IntfXmlBsplSrf::Write(const QelSurfaceshapedata* shape) {
    const QelBsplinesrfdata& b = shape->bsplinesrf;
    const int32_t nu = CheckedCount(b.u_knot_count, "B-spline surface U parameters");
    const int32_t nv = CheckedCount(b.v_knot_count, "B-spline surface V parameters");
    const int32_t np = CheckedCount(b.point_count, "B-spline surface control points");
    IntfXmlCheckArray(b.u_knots, nu, sizeof(double), "B-spline surface U parameters");
    IntfXmlCheckArray(b.v_knots, nv, sizeof(double), "B-spline surface V parameters");
    // Large surfaces keep weights and control points in pages.
    IntfXmlCheckArray(b.points, np, sizeof(QelPoint), "B-spline surface control points", true);
    if (b.weights)
        IntfXmlCheckArray(b.weights, np, sizeof(double), "B-spline surface weights", true);

    StartElement("BsplSrf");
    {
        btkString degrees;
        AppendInt(degrees, int32_t(b.u_degree));
        AppendChar(degrees, ' ');
        AppendInt(degrees, int32_t(b.v_degree));
        AddTextElement("UVDegree", degrees.c_str());
    }
    IntfXmlQelRealSeq::Write(b.u_knots, nu, "UParams");
    IntfXmlQelRealSeq::Write(b.v_knots, nv, "VParams");
    // The weights and points as "QelRealSeq" and "QelPntList" write them;
    // arrays in pages item by item.
    IntfXmlWriter& w = IntfXmlWriter::Current();
    if (b.weights) {
        if (har_entry_size(b.weights) == 0) {
            w.SequenceElement("Weights", b.weights, np, 16);
        } else {
            StartElement("Weights");
            AddAttribute("size", np);
            AddRealSeqTextOf(np, [&b](int32_t i) { return *ItemAt<double>(b.weights, i); });
            EndElement();
        }
    }
    StartElement("Points");
    AddAttribute("size", np);
    if (np > 0 && har_entry_size(b.points) == 0) {
        for (int32_t i = 0; i < np; ++i)
            w.NumbersElement("P", b.points[i].xyz, 3);
    } else {
        for (int32_t i = 0; i < np; ++i)
            w.NumbersElement("P", ItemAt<QelPoint>(b.points, i)->xyz, 3);
    }
    EndElement();
    EndElement();
}

IntfXmlBsplSrf::IntfXmlBsplSrf(IntfXmlElement* parent)
    : IntfXmlSurfaceKind(parent, QEL_SURF_BSPLINE) {}

IntfXmlBsplSrf::~IntfXmlBsplSrf() {
    for (double*& seq : sequences_)
        xar_free(seq);
}

namespace {
// Value slots of a B-spline surface: its degrees, its three sequences.
constexpr int kDegreesSlot = 0;
constexpr int kFirstSequenceSlot = 1;
constexpr int kPointSlot = 4;
const char* const kBsplSequences[] = {"UParams", "VParams", "Weights"};
} // namespace

IntfXmlElement* IntfXmlBsplSrf::startElement(const char* name, IntfXmlAttributes& attrs) {
    if (inPoints_) {
        points_.CheckItem(name, !NamesEmpty());
        return TakeValue(kPointSlot);
    }
    // Inside a value nothing is expected, as inside the degrees or inside a
    // sequence element.
    if (!NamesEmpty())
        IntfXmlThrowUnexpected(name, Is(TopName().c_str(), "UVDegree") ? "UVDegree" : "QelRealSeq");
    if (Is(name, "UVDegree"))
        return TakeValue(kDegreesSlot);
    int seq = -1;
    for (int i = 0; i < 3; ++i)
        if (Is(name, kBsplSequences[i]))
            seq = i;
    if (seq < 0 && !Is(name, "Points"))
        IntfXmlThrowUnexpected(name, "BsplSrf");
    if ((seq >= 0 && sequences_[seq]) || (seq < 0 && havePoints_))
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"BsplSrf\" holds \"%s\" twice", name);
    const int32_t size = IntfXmlRequireSize(attrs, name);
    if (seq >= 0) {
        counts_[seq] = size;
        return TakeValue(kFirstSequenceSlot + seq);
    }
    points_.Start(size, "QelPntList");
    havePoints_ = inPoints_ = true;
    return this;
}

void IntfXmlBsplSrf::EndValue(int slot, std::string_view text, const char* name) {
    if (slot == kPointSlot) {
        points_.Add(text, name);
        return;
    }
    if (slot == kDegreesSlot) {
        IntfXmlWords words(text, name); // words 0 and 1
        int32_t u = words.NextInt();
        int32_t v = words.NextInt();
        words.PassOverRest(2);
        degrees_[0] = u;
        degrees_[1] = v;
        IntfXmlSeeOnce(haveDegrees_, name, "BsplSrf");
        return;
    }
    const int seq = slot - kFirstSequenceSlot;
    // The U and V knots, then the weights.
    double* values = IntfXmlReadRealSeq(text, counts_[seq], name);
    xar_free(sequences_[seq]);
    sequences_[seq] = values;
    if (seq == 2)
        IntfXmlCheckWeights(values, counts_[seq], name);
}

IntfXmlElement* IntfXmlBsplSrf::endElement(const char*) {
    if (inPoints_) {
        points_.Finish();
        inPoints_ = false;
        return this;
    }
    if (!haveDegrees_)
        IntfXmlThrowMissing("UVDegree", "BsplSrf");
    if (!sequences_[0])
        IntfXmlThrowMissing("UParams", "BsplSrf");
    if (!sequences_[1])
        IntfXmlThrowMissing("VParams", "BsplSrf");
    if (!havePoints_)
        IntfXmlThrowMissing("Points", "BsplSrf");
    if (sequences_[2] && counts_[2] != points_.Count())
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"BsplSrf\": %d weights for %d control points",
                     counts_[2], points_.Count());
    QelBsplinesrfdata& b = record_->bsplinesrf;
    b.u_degree = uint32_t(degrees_[0]);
    b.v_degree = uint32_t(degrees_[1]);
    b.u_knot_count = uint32_t(counts_[0]);
    b.v_knot_count = uint32_t(counts_[1]);
    b.point_count = uint32_t(points_.Count());
    b.u_knots = sequences_[0];
    b.v_knots = sequences_[1];
    b.weights = sequences_[2];
    b.points = points_.Take();
    sequences_[0] = sequences_[1] = sequences_[2] = nullptr;
    SetFilled();
    IntfXmlCheckWeightedPoints(b.points, b.weights, int32_t(b.point_count), "BsplSrf");
    return parent_;
}

// ---- cylindrical spline surface ---------------------------------------------------------------

IntfXmlCylSplSrf::IntfXmlCylSplSrf(const QelSurfaceshapedata* shape) {
    // The spline surface writer checks its record.
    StartElement("CylSplSrf");
    IntfXmlCsys::Write(shape->cylsplsrf.frame, "CylCsys");
    IntfXmlSplSrf(&shape->cylsplsrf.splinesrf, "SplSrf");
    EndElement();
}

IntfXmlCylSplSrf::IntfXmlCylSplSrf(IntfXmlElement* parent)
    : IntfXmlSurfaceKind(parent, QEL_SURF_CYLSPLINE) {}

IntfXmlElement* IntfXmlCylSplSrf::startElement(const char* name, IntfXmlAttributes&) {
    if (Is(name, "CylCsys")) {
        if (csys_)
            IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"CylSplSrf\" holds \"CylCsys\" twice");
        return csys_ = MakeChild<IntfXmlCsys>();
    }
    if (Is(name, "SplSrf")) {
        if (spline_)
            IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"CylSplSrf\" holds \"SplSrf\" twice");
        return spline_ = MakeChild<IntfXmlSplSrf>();
    }
    IntfXmlThrowUnexpected(name, "CylSplSrf");
}

IntfXmlElement* IntfXmlCylSplSrf::endElement(const char*) {
    if (!csys_)
        IntfXmlThrowMissing("CylCsys", "CylSplSrf");
    if (!spline_ || !spline_->GetData())
        IntfXmlThrowMissing("SplSrf", "CylSplSrf");
    record_->cylsplsrf.frame = csys_->GetFrame();
    spline_->TakeSplineSrf(&record_->cylsplsrf.splinesrf);
    SetFilled();
    return parent_;
}
