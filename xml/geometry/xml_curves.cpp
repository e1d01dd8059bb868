// Curve elements: writers from host curve records and readers back into
// them.
#include "xml/geometry/xml_curves.h"

#include "kernel/records/qel_check.h"
#include "kernel/records/qel_routines.h"
#include "xmemory.h"

#include <cstddef>
#include <cstring>
#include <memory>

namespace {

const char* Or(const char* name, const char* fallback) { return name ? name : fallback; }

bool Is(const char* a, const char* b) { return IntfXmlIsName(a, b); }

// One more level of composite curves in the document being written (the
// count is its writer's).
struct NestingGuard {
    int& nesting = IntfXmlWriter::Current().CurveNesting();
    NestingGuard() {
        if (++nesting > INTFXML_MAX_CURVE_NESTING) {
            --nesting;
            IntfXmlThrow(INTFXML_ERR_RECORD, "composite curves nest deeper than %d levels",
                         INTFXML_MAX_CURVE_NESTING);
        }
    }
    ~NestingGuard() { --nesting; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;
};

void CheckSpline(const QelSplinedata& s) {
    IntfXmlCheckArray(s.params, s.count, sizeof(double), "spline parameters");
    IntfXmlCheckArray(s.points, s.count, sizeof(QelPoint), "spline points");
    IntfXmlCheckArray(s.tangents, s.count, sizeof(QelPoint), "spline tangents");
}

// Bit of `name` in `names` (null-terminated), or -1.
int IndexOf(const char* name, const char* const* names) {
    for (int i = 0; names[i]; ++i)
        if (Is(name, names[i]))
            return i;
    return -1;
}

void RequireAll(unsigned seen, const char* const* names, const char* self) {
    for (int i = 0; names[i]; ++i)
        if (!(seen & (1u << i)))
            IntfXmlThrowMissing(names[i], self);
}

} // namespace

// ---- "Curve" -----------------------------------------------------------------------

IntfXmlCurve::IntfXmlCurve(const QelCurvedata* rec, const char* name) { Write(rec, name); }

void IntfXmlCurve::Write(const QelCurvedata* rec, const char* name) {
    if (!rec)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no curve record to write");
    // Its empty element would read back as no curve, or be refused.
    if (!qel_curve_kind_held(rec->kind))
        IntfXmlThrow(INTFXML_ERR_RECORD,
                     "\"%s\": a curve of kind %d, which has no element of its own",
                     Or(name, "Curve"), int32_t(rec->kind));
    StartElement(Or(name, "Curve"));
    switch (rec->kind) {
    case QEL_CURVE_POINT: IntfXmlPoint::Write(rec, "Point"); break;
    case QEL_CURVE_LINE: IntfXmlLine::Write(rec, "Line"); break;
    case QEL_CURVE_ARC: IntfXmlArc::Write(rec, "Arc"); break;
    case QEL_CURVE_SPLINE: IntfXmlSpline(rec, "Spline"); break;
    case QEL_CURVE_BSPLINE: IntfXmlBspline::Write(rec, "Bspline"); break;
    case QEL_CURVE_ELLIPSE: IntfXmlEllipse::Write(rec, "Ellipse"); break;
    case QEL_CURVE_COMPOSITE: IntfXmlComponents(rec, "CompCurve"); break;
    default: break;
    }
    EndElement();
}

IntfXmlCurve::IntfXmlCurve(IntfXmlElement* parent) : IntfXmlElement(parent) {}

IntfXmlCurve::IntfXmlCurve(IntfXmlElement* parent, QelCurvedata* storage)
    : IntfXmlElement(parent), record_(storage) {
    std::memset(record_, 0, sizeof *record_);
}

IntfXmlCurve::IntfXmlCurve(KindTag) {}

IntfXmlCurve::~IntfXmlCurve() {
    // A record read and not taken still owns its arrays.
    if (record_ && filled_)
        qel_curvedata_clear(record_);
}

// ---- one curve element ---------------------------------------------------------------

namespace {

const char* const kPointChildren[] = {"Position", nullptr};
const char* const kLineChildren[] = {"Start", "End", nullptr};
const char* const kArcChildren[] = {"Vector1", "Vector2", "Origin", "StartAngle",
                                    "EndAngle", "Radius", nullptr};
const char* const kEllipseChildren[] = {"Center", "MajorAxis", "MinorAxis", "MajorLen",
                                        "MinorLen", "StartAngle", "EndAngle", nullptr};

constexpr uint8_t At(size_t offset) { return uint8_t(offset); }

const IntfXmlValueCurve kValueCurves[] = {
    {"Point", QEL_CURVE_POINT, kPointChildren, true, {3}, {At(offsetof(QelPointdata, point))}},
    {"Line",
     QEL_CURVE_LINE,
     kLineChildren,
     false,
     {3, 3},
     {At(offsetof(QelLinedata, end1)), At(offsetof(QelLinedata, end2))}},
    {"Arc",
     QEL_CURVE_ARC,
     kArcChildren,
     false,
     {3, 3, 3, 1, 1, 1},
     {At(offsetof(QelArcdata, vector1)), At(offsetof(QelArcdata, vector2)),
      At(offsetof(QelArcdata, origin)), At(offsetof(QelArcdata, start_angle)),
      At(offsetof(QelArcdata, end_angle)), At(offsetof(QelArcdata, radius))}},
    {"Ellipse",
     QEL_CURVE_ELLIPSE,
     kEllipseChildren,
     false,
     {3, 3, 3, 1, 1, 1, 1},
     {At(offsetof(QelEllipsedata, center)), At(offsetof(QelEllipsedata, major_axis)),
      At(offsetof(QelEllipsedata, minor_axis)), At(offsetof(QelEllipsedata, major_length)),
      At(offsetof(QelEllipsedata, minor_length)), At(offsetof(QelEllipsedata, start_angle)),
      At(offsetof(QelEllipsedata, end_angle))}},
};

} // namespace

const IntfXmlValueCurve* IntfXmlValueCurve::Find(const char* name) {
    for (const IntfXmlValueCurve& k : kValueCurves)
        if (Is(name, k.self))
            return &k;
    return nullptr;
}

int IntfXmlValueCurve::Slot(const char* name, bool inValue) const {
    const int i = anyName ? 0 : IndexOf(name, names);
    if (inValue || i < 0)
        IntfXmlThrowUnexpected(name, self);
    return i;
}

void IntfXmlValueCurve::Store(int slot, std::string_view text, const char* name,
                              QelCurvedata& rec, unsigned& seen) const {
    double v[3];
    if (words[slot] == 3)
        IntfXmlParseXyz(text, v, name);
    else
        v[0] = IntfXmlParseDouble(text, name);
    std::memcpy(reinterpret_cast<char*>(&rec) + offsets[slot], v, words[slot] * sizeof(double));
    IntfXmlSeeOnce(seen, 1u << slot, name, self);
}

void IntfXmlValueCurve::Finish(QelCurvedata& rec, unsigned seen) const {
    RequireAll(seen, names, self);
    rec.kind = code;
}

IntfXmlCurveSlot::~IntfXmlCurveSlot() {
    if (filled_)
        qel_curvedata_clear(&record_);
}

IntfXmlElement* IntfXmlCurveSlot::StartKind(IntfXmlElement* holder, const char* name) {
    const IntfXmlValueCurve* value = IntfXmlValueCurve::Find(name);
    IntfXmlCurveKind* kind = nullptr;
    if (!value) {
        std::unique_ptr<IntfXmlCurveKind> made;
        if (Is(name, "Spline"))
            made.reset(new IntfXmlSpline(holder));
        else if (Is(name, "Bspline"))
            made.reset(new IntfXmlBspline(holder));
        else if (Is(name, "CompCurve"))
            made.reset(new IntfXmlComponents(holder));
        else
            IntfXmlThrowUnexpected(name, "Curve");
        holder->Own(made.get());
        kind = made.release();
    }
    if (started_)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "a \"Curve\" holds more than one curve");
    started_ = true;
    if (kind) {
        kind_ = kind;
        return kind;
    }
    inKind_ = value;
    seen_ = 0;
    std::memset(&record_, 0, sizeof record_);
    return holder;
}

void IntfXmlCurveSlot::EndKind() {
    inKind_->Finish(record_, seen_);
    inKind_ = nullptr;
    filled_ = true;
}

const QelCurvedata* IntfXmlCurveSlot::GetData() const {
    if (kind_)
        return kind_->GetData();
    return filled_ ? &record_ : nullptr;
}

bool IntfXmlCurveSlot::TakeCurveData(QelCurvedata* out) {
    if (kind_)
        return kind_->TakeCurveData(out);
    if (!filled_ || !out)
        return false;
    *out = record_;
    filled_ = false;
    return true;
}

IntfXmlElement* IntfXmlCurve::startElement(const char* name, IntfXmlAttributes&) {
    if (slot_.InKind())
        return TakeValue(slot_.ValueSlot(name, !NamesEmpty()));
    return slot_.StartKind(this, name);
}

void IntfXmlCurve::EndValue(int slot, std::string_view text, const char* name) {
    slot_.Value(slot, text, name);
}

IntfXmlElement* IntfXmlCurve::endElement(const char* name) {
    if (slot_.InKind()) {
        slot_.EndKind();
        return this;
    }
    if (requiredBy_ && !GetData())
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"%s\" of \"%s\" is empty: it holds no curve",
                     name, requiredBy_);
    return parent_;
}

const QelCurvedata* IntfXmlCurve::GetData() const { return slot_.GetData(); }

bool IntfXmlCurve::TakeCurveData(QelCurvedata* out) { return slot_.TakeCurveData(out); }

void IntfXmlCurve::TakeCurveOrCleared(QelCurvedata* out) {
    if (!out || TakeCurveData(out))
        return;
    std::memset(out, 0, sizeof *out);
    out->kind = QEL_CURVE_CLEARED;
}

// ---- kind base ----------------------------------------------------------------------

IntfXmlCurveKind::IntfXmlCurveKind(IntfXmlElement* parent) : IntfXmlCurve(parent, &storage_) {}

IntfXmlCurveKind::IntfXmlCurveKind() : IntfXmlCurve(KindTag{}) {}

IntfXmlElement* IntfXmlCurveKind::startElement(const char* name, IntfXmlAttributes&) {
    PushName(name);
    return this;
}

void IntfXmlCurveKind::characters(const char*, unsigned) {
    // The kinds take their texts as values: their own text is not used.
}

IntfXmlElement* IntfXmlCurveKind::endElement(const char*) { return parent_; }

const QelCurvedata* IntfXmlCurveKind::GetData() const { return filled_ ? record_ : nullptr; }

bool IntfXmlCurveKind::TakeCurveData(QelCurvedata* out) {
    if (!filled_ || !out)
        return false;
    *out = *record_;
    filled_ = false;
    return true;
}

IntfXmlValueCurveKind::IntfXmlValueCurveKind(IntfXmlElement* parent, const char* kind)
    : IntfXmlCurveKind(parent), kind_(IntfXmlValueCurve::Find(kind)) {}

IntfXmlElement* IntfXmlValueCurveKind::startElement(const char* name, IntfXmlAttributes&) {
    return TakeValue(kind_->Slot(name, !NamesEmpty()));
}

void IntfXmlValueCurveKind::EndValue(int slot, std::string_view text, const char* name) {
    kind_->Store(slot, text, name, *record_, seen_);
}

IntfXmlElement* IntfXmlValueCurveKind::endElement(const char*) {
    kind_->Finish(*record_, seen_);
    SetFilled();
    return parent_;
}

// ---- point, line, arc, ellipse ----------------------------------------------------------

IntfXmlPoint::IntfXmlPoint(const QelCurvedata* rec, const char* name) { Write(rec, name); }

void IntfXmlPoint::Write(const QelCurvedata* rec, const char* name) {
    StartElement(Or(name, "QelPointdata"));
    IntfXmlQel3dPnt::Write(rec->point.point, "Position");
    EndElement();
}

IntfXmlPoint::IntfXmlPoint(IntfXmlElement* parent) : IntfXmlValueCurveKind(parent, "Point") {}

IntfXmlLine::IntfXmlLine(const QelCurvedata* rec, const char* name) { Write(rec, name); }

void IntfXmlLine::Write(const QelCurvedata* rec, const char* name) {
    StartElement(Or(name, "QelLinedata"));
    IntfXmlQel3dPnt::Write(rec->line.end1, "Start");
    IntfXmlQel3dPnt::Write(rec->line.end2, "End");
    EndElement();
}

IntfXmlLine::IntfXmlLine(IntfXmlElement* parent) : IntfXmlValueCurveKind(parent, "Line") {}

IntfXmlArc::IntfXmlArc(const QelCurvedata* rec, const char* name) { Write(rec, name); }

void IntfXmlArc::Write(const QelCurvedata* rec, const char* name) {
    const QelArcdata& a = rec->arc;
    StartElement(Or(name, "QelArcdata"));
    IntfXmlQelVector::Write(a.vector1, "Vector1");
    IntfXmlQelVector::Write(a.vector2, "Vector2");
    IntfXmlQel3dPnt::Write(a.origin, "Origin");
    AddDoubleElement("StartAngle", a.start_angle);
    AddDoubleElement("EndAngle", a.end_angle);
    AddDoubleElement("Radius", a.radius);
    EndElement();
}

IntfXmlArc::IntfXmlArc(IntfXmlElement* parent) : IntfXmlValueCurveKind(parent, "Arc") {}

IntfXmlEllipse::IntfXmlEllipse(const QelCurvedata* rec, const char* name) { Write(rec, name); }

void IntfXmlEllipse::Write(const QelCurvedata* rec, const char* name) {
    const QelEllipsedata& e = rec->ellipse;
    StartElement(Or(name, "QelEllipsedata"));
    IntfXmlQel3dPnt::Write(e.center, "Center");
    IntfXmlQelVector::Write(e.major_axis, "MajorAxis");
    IntfXmlQelVector::Write(e.minor_axis, "MinorAxis");
    AddDoubleElement("MajorLen", e.major_length);
    AddDoubleElement("MinorLen", e.minor_length);
    AddDoubleElement("StartAngle", e.start_angle);
    AddDoubleElement("EndAngle", e.end_angle);
    EndElement();
}

IntfXmlEllipse::IntfXmlEllipse(IntfXmlElement* parent) : IntfXmlValueCurveKind(parent, "Ellipse") {}

// ---- spline -------------------------------------------------------------------------------

IntfXmlSpline::IntfXmlSpline(const QelCurvedata* rec, const char* name) {
    WriteBody(rec->spline, Or(name, "QelSplinedata"));
}

IntfXmlSpline::IntfXmlSpline(const QelSplinedata* spline, const char* name) {
    if (!spline)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no spline record to write");
    WriteBody(*spline, Or(name, "QelSplinedata"));
}

void IntfXmlSpline::WriteBody(const QelSplinedata& s, const char* name) {
    if (s.count > uint32_t(INT32_MAX))
        IntfXmlThrow(INTFXML_ERR_RECORD, "spline: count %u out of range", s.count);
    const int32_t n = int32_t(s.count);
    CheckSpline(s);
    StartElement(name);
    IntfXmlQelRealSeq::Write(s.params, n, "Params");
    IntfXmlQelPntList(s.points, n, "Points");
    IntfXmlQelVectorList(s.tangents, n, "Tangents");
    EndElement();
}

IntfXmlSpline::IntfXmlSpline(IntfXmlElement* parent) : IntfXmlCurveKind(parent) {}

IntfXmlElement* IntfXmlSpline::startElement(const char* name, IntfXmlAttributes& attrs) {
    const bool params = Is(name, "Params"), points = Is(name, "Points"),
               tangents = Is(name, "Tangents");
    if (!params && !points && !tangents)
        IntfXmlThrowUnexpected(name, "Spline");
    if ((params && params_) || (points && points_) || (tangents && tangents_))
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"Spline\" holds \"%s\" twice", name);
    // The first list gives the count of all three.
    int32_t size = IntfXmlRequireSize(attrs, name);
    if (count_ < 0)
        count_ = size;
    else if (size != count_)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"Spline\": \"%s\" has size %d, the spline %d",
                     name, size, count_);
    if (params)
        return params_ = MakeChild<IntfXmlQelRealSeq>(count_);
    if (points)
        return points_ = MakeChild<IntfXmlQelPntList>(count_);
    return tangents_ = MakeChild<IntfXmlQelVectorList>(count_);
}

IntfXmlElement* IntfXmlSpline::endElement(const char*) {
    if (!params_)
        IntfXmlThrowMissing("Params", "Spline");
    if (!points_)
        IntfXmlThrowMissing("Points", "Spline");
    if (!tangents_)
        IntfXmlThrowMissing("Tangents", "Spline");
    QelSplinedata& s = record_->spline;
    s.kind = QEL_CURVE_SPLINE;
    s.params = params_->TakeArray();
    s.points = points_->TakeArray();
    s.tangents = tangents_->TakeArray();
    s.count = uint32_t(count_);
    SetFilled();
    return parent_;
}

bool IntfXmlSpline::TakeSplineData(QelSplinedata* out) {
    if (!filled_ || !out)
        return false;
    *out = record_->spline;
    filled_ = false;
    return true;
}

// ---- B-spline ----------------------------------------------------------------------------

IntfXmlBspline::IntfXmlBspline(const QelCurvedata* rec, const char* name) { Write(rec, name); }

void IntfXmlBspline::Write(const QelCurvedata* rec, const char* name) {
    const QelBsplinedata& b = rec->bspline;
    if (b.knot_count > uint32_t(INT32_MAX) || b.point_count > uint32_t(INT32_MAX))
        IntfXmlThrow(INTFXML_ERR_RECORD, "B-spline: counts out of range");
    IntfXmlCheckArray(b.knots, b.knot_count, sizeof(double), "B-spline parameters");
    IntfXmlCheckArray(b.points, b.point_count, sizeof(QelPoint), "B-spline control points");
    if (b.weights)
        IntfXmlCheckArray(b.weights, b.point_count, sizeof(double), "B-spline weights");
    StartElement(Or(name, "QelBsplinedata"));
    AddIntElement("Degree", b.degree);
    IntfXmlQelRealSeq::Write(b.knots, int32_t(b.knot_count), "Params");
    if (b.weights)
        IntfXmlQelRealSeq::Write(b.weights, int32_t(b.point_count), "Weights");
    IntfXmlQelPntList(b.points, int32_t(b.point_count), "CPoints");
    EndElement();
}

IntfXmlBspline::IntfXmlBspline(IntfXmlElement* parent) : IntfXmlCurveKind(parent) {}

namespace {
// "Weights": a real sequence whose every number must weigh a point, told
// at its end tag.
class WeightsReader : public IntfXmlQelRealSeq {
public:
    using IntfXmlQelRealSeq::IntfXmlQelRealSeq;
    IntfXmlElement* endElement(const char* name) override {
        IntfXmlElement* next = IntfXmlQelRealSeq::endElement(name);
        IntfXmlCheckWeights(GetArray(), GetCount(), name);
        return next;
    }
};
} // namespace

IntfXmlElement* IntfXmlBspline::startElement(const char* name, IntfXmlAttributes& attrs) {
    if (!NamesEmpty())
        IntfXmlThrowUnexpected(name, "Degree");
    if (Is(name, "Degree"))
        return TakeValue(0);
    IntfXmlQelRealSeq** seq = Is(name, "Params")    ? &params_
                              : Is(name, "Weights") ? &weights_
                                                    : nullptr;
    if (!seq && !Is(name, "CPoints"))
        IntfXmlThrowUnexpected(name, "Bspline");
    if ((seq && *seq) || (!seq && points_))
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"Bspline\" holds \"%s\" twice", name);
    int32_t size = IntfXmlRequireSize(attrs, name);
    if (seq == &weights_)
        return weights_ = MakeChild<WeightsReader>(size);
    if (seq) // the knots
        return *seq = MakeChild<IntfXmlQelRealSeq>(size);
    return points_ = MakeChild<IntfXmlQelPntList>(size);
}

void IntfXmlBspline::EndValue(int, std::string_view text, const char* name) {
    degree_ = IntfXmlParseInt(text, name);
    IntfXmlSeeOnce(haveDegree_, name, "Bspline");
}

IntfXmlElement* IntfXmlBspline::endElement(const char*) {
    if (!haveDegree_)
        IntfXmlThrowMissing("Degree", "Bspline");
    if (!params_)
        IntfXmlThrowMissing("Params", "Bspline");
    if (!points_)
        IntfXmlThrowMissing("CPoints", "Bspline");
    if (weights_ && weights_->GetCount() != points_->GetCount())
        IntfXmlThrow(INTFXML_ERR_MALFORMED,
                     "\"Bspline\": %d weights for %d control points", weights_->GetCount(),
                     points_->GetCount());
    QelBsplinedata& b = record_->bspline;
    b.kind = QEL_CURVE_BSPLINE;
    b.degree = degree_;
    b.knot_count = uint32_t(params_->GetCount());
    b.point_count = uint32_t(points_->GetCount());
    b.knots = params_->TakeArray();
    b.weights = weights_ ? weights_->TakeArray() : nullptr;
    b.points = points_->TakeArray();
    SetFilled();
    IntfXmlCheckWeightedPoints(b.points, b.weights, int32_t(b.point_count), "Bspline");
    return parent_;
}

// ---- composite curve -----------------------------------------------------------------------

IntfXmlComponents::IntfXmlComponents(const QelCurvedata* rec, const char* name) {
    NestingGuard nesting;
    const QelComponentcurvedata* comps = rec->composite.components;
    const int32_t n = xar_count(comps);
    IntfXmlCheckArray(comps, n, sizeof(QelComponentcurvedata), "composite curve components");
    StartElement(Or(name, "CompositeCurvedata"));
    StartElement("Components");
    AddAttribute("size", n);
    for (int32_t i = 0; i < n; ++i)
        IntfXmlComponent(&comps[i], nullptr);
    EndElement();
    EndElement();
}

IntfXmlComponents::IntfXmlComponents(IntfXmlElement* parent) : IntfXmlCurveKind(parent) {}

IntfXmlElement* IntfXmlComponents::startElement(const char* name, IntfXmlAttributes& attrs) {
    if (Is(name, "Components") && NamesEmpty()) {
        if (count_ >= 0)
            IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"CompCurve\" holds \"Components\" twice");
        count_ = IntfXmlRequireSize(attrs, "Components");
        PushName(name);
        return this;
    }
    if (Is(name, "Component") && TopName() == "Components" && names_.size() == 1) {
        if (int64_t(components_.size()) >= count_)
            IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"Components\": more components than its size %d",
                         count_);
        // Without "dir" at its place the direction is -1 (told).
        const int32_t dir = IntfXmlWrittenInt("dir", attrs, 0, -1, "Component");
        IntfXmlComponent* c = MakeChild<IntfXmlComponent>(dir);
        components_.push_back(c);
        return c;
    }
    IntfXmlThrowUnexpected(name, NamesEmpty() ? "CompCurve" : "Components");
}

IntfXmlElement* IntfXmlComponents::endElement(const char* name) {
    if (!NamesEmpty()) {
        PopName(name);
        if (int64_t(components_.size()) != count_)
            IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"Components\": %zu components where its size says %d",
                         components_.size(), count_);
        return this;
    }
    if (count_ < 0)
        IntfXmlThrowMissing("Components", "CompCurve");
    const int32_t n = int32_t(components_.size());
    QelComponentcurvedata* arr = static_cast<QelComponentcurvedata*>(
        xar_alloc(n, int(sizeof(QelComponentcurvedata)), n));
    if (!arr)
        IntfXmlThrowStatus(-10, "xar_alloc");
    // Every component's curve passes into the array; all of them are read
    // already, so taking cannot fail half-way.
    for (int32_t i = 0; i < n; ++i) {
        std::memset(&arr[i], 0, sizeof arr[i]);
        components_[size_t(i)]->GetCurve()->TakeCurveOrCleared(&arr[i].curve);
        arr[i].direction = uint32_t(components_[size_t(i)]->GetDirection());
    }
    record_->composite.kind = QEL_CURVE_COMPOSITE;
    record_->composite.components = arr;
    SetFilled();
    return parent_;
}

IntfXmlComponent::IntfXmlComponent(const QelComponentcurvedata* entry, const char* name) {
    StartElement(Or(name, "Component"));
    AddAttribute("dir", entry->direction);
    IntfXmlCurve::Write(&entry->curve, "Curve");
    EndElement();
}

IntfXmlComponent::IntfXmlComponent(IntfXmlElement* parent, int32_t direction)
    : IntfXmlElement(parent), direction_(direction) {}

IntfXmlElement* IntfXmlComponent::startElement(const char* name, IntfXmlAttributes&) {
    if (!Is(name, "Curve"))
        IntfXmlThrowUnexpected(name, "Component");
    if (curve_)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"Component\" holds \"Curve\" twice");
    return curve_ = MakeChild<IntfXmlCurve>()->Required("Component");
}

IntfXmlElement* IntfXmlComponent::endElement(const char*) {
    // A component carries a "Curve", never an empty one (Required).
    if (!curve_)
        IntfXmlThrowMissing("Curve", "Component");
    return parent_;
}
