// Edge and datum elements.
#include "xml/intfdata/xml_edges.h"

#include "kernel/records/qel_routines.h"
#include "xml/geometry/xml_curves.h"
#include "xml/geometry/xml_geometry.h"
#include "xml/framework/xml_records.h"
#include "xml/geometry/xml_surfaces.h"

#include <cstdio>
#include <cstring>

using namespace intfxml;

namespace {

// A curve taken out of a reader: its arrays are ours until `owned` is
// cleared (when a record has taken them over).
struct TakenCurve {
    QelCurvedata curve;
    bool present = false;
    bool owned = false;

    TakenCurve() { std::memset(&curve, 0, sizeof curve); }
    ~TakenCurve() {
        if (owned)
            qel_curvedata_clear(&curve);
    }
    void TakeFrom(IntfXmlCurve* reader) {
        if (reader && reader->TakeCurveData(&curve))
            present = owned = true;
    }
    const QelCurvedata* Get() const { return present ? &curve : nullptr; }
};

} // namespace

// ---- edges ---------------------------------------------------------------------------

IntfXmlEdges::IntfXmlEdges(IntfXmlElement* parent, qel_intf_data* target)
    : IntfXmlElement(parent), target_(target) {
    if (!target_)
        IntfXmlThrowStatus(QEL_ERR_BAD_ARG, "IntfXmlEdges");
}

IntfXmlElement* IntfXmlEdges::startElement(const char*, IntfXmlAttributes& attrs) {
    // Every child of "Edges" is an edge, whatever its name.
    const int32_t id = IntAt("ID", attrs, 0, -1, "Edge");
    const int32_t surfIds[2] = {IntAt("surfId1", attrs, 1, -1, "Edge"),
                                IntAt("surfId2", attrs, 2, -1, "Edge")};
    const int32_t dirs[2] = {IntAt("dir1", attrs, 3, -1, "Edge"),
                             IntAt("dir2", attrs, 4, -1, "Edge")};
    return MakeChild<IntfXmlEdge>(target_, id, surfIds, dirs);
}

IntfXmlElement* IntfXmlEdges::endElement(const char*) { return Parent(); }

IntfXmlEdge::IntfXmlEdge(const QelEdgedata* rec, const char* name) { Write(rec, name); }

void IntfXmlEdge::Write(const QelEdgedata* rec, const char* name) {
    if (!rec)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no edge record to write");
    IntfXmlRefuseFault(qel_edge_fault(*rec));
    const int npoints = XarCount(rec->uv_points, sizeof(QelUvSample), "the edge's UV points");
    StartElement(name ? name : "Edge");
    AddAttribute("ID", rec->id);
    AddAttribute("surfId1", rec->face_ids[0]);
    AddAttribute("surfId2", rec->face_ids[1]);
    AddAttribute("dir1", rec->directions[0]);
    AddAttribute("dir2", rec->directions[1]);
    if (rec->uv_points)
        IntfXmlUVParams::Write(rec->uv_points, npoints, "UvPoints");
    // A cleared curve is none: it is left out, as the reader gives none.
    const auto has = [](const QelCurvedata* c) { return !qel_curvedata_is_cleared(c); };
    if (has(rec->uv_curve1) || has(rec->uv_curve2)) {
        StartElement("UvCurves");
        if (has(rec->uv_curve1))
            IntfXmlCurve::Write(rec->uv_curve1, "UvCurve1");
        if (has(rec->uv_curve2))
            IntfXmlCurve::Write(rec->uv_curve2, "UvCurve2");
        EndElement();
    }
    if (has(rec->xyz_curve))
        IntfXmlCurve::Write(rec->xyz_curve, "XYZCurve");
    EndElement();
}

IntfXmlEdge::IntfXmlEdge(IntfXmlEdges* parent, qel_intf_data* target, int32_t id,
                         const int32_t* surfIds, const int32_t* dirs)
    : IntfXmlElement(parent), target_(target) {
    record_.id = uint32_t(id);
    record_.face_ids[0] = uint32_t(surfIds[0]);
    record_.face_ids[1] = uint32_t(surfIds[1]);
    record_.directions[0] = uint32_t(dirs[0]);
    record_.directions[1] = uint32_t(dirs[1]);
    rec_ = &record_;
}

IntfXmlEdge::~IntfXmlEdge() {
    if (rec_)
        qel_edgedata_clear(rec_);
}

IntfXmlElement* IntfXmlEdge::startElement(const char* name, IntfXmlAttributes& attrs) {
    // Inside a curve element: its kind, or a child of a kind read in place.
    if (curve_ >= 0) {
        IntfXmlCurveSlot& curve = curves_[curve_];
        if (curve.InKind())
            return TakeValue(curve.ValueSlot(name, !NamesEmpty()));
        return curve.StartKind(this, name);
    }
    if (inUvCurves_) {
        const int i = IntfXmlIsName(name, "UvCurve1") ? 0 : IntfXmlIsName(name, "UvCurve2") ? 1 : -1;
        if (i < 0)
            IntfXmlThrowUnexpected(name, "UvCurves");
        CheckOnce((seen_ & (1u << i)) ? this : nullptr, name, "UvCurves");
        seen_ |= 1u << i;
        curve_ = i;
        return this;
    }
    if (IntfXmlIsName(name, "UvPoints")) {
        CheckOnce(uvPoints_, name, "Edge");
        return uvPoints_ = MakeChild<IntfXmlUVParams>(IntfXmlRequireSize(attrs, "UvPoints"));
    }
    if (IntfXmlIsName(name, "UvCurves")) {
        CheckOnce((seen_ & 8) ? this : nullptr, name, "Edge");
        seen_ |= 8;
        inUvCurves_ = true;
        return this;
    }
    if (IntfXmlIsName(name, "XYZCurve")) {
        CheckOnce((seen_ & 4) ? this : nullptr, name, "Edge");
        seen_ |= 4;
        curve_ = 2;
        return this;
    }
    IntfXmlThrowUnexpected(name, "Edge");
}

void IntfXmlEdge::EndValue(int slot, std::string_view text, const char* name) {
    curves_[curve_].Value(slot, text, name);
}

namespace {
const char* const kEdgeCurves[] = {"UvCurve1", "UvCurve2", "XYZCurve"};
} // namespace

IntfXmlElement* IntfXmlEdge::endElement(const char*) {
    if (curve_ >= 0) {
        if (curves_[curve_].InKind()) {
            curves_[curve_].EndKind();
            return this;
        }
        // The curve element ended; an empty one (earlier writers wrote one
        // for a curve of a kind without an element) leaves the edge
        // without that curve.
        if (!curves_[curve_].GetData())
            IntfXmlTellPassedOver(IntfXmlPassed::EmptyEdgeCurve, [&] {
                char text[160];
                std::snprintf(text, sizeof text,
                              "edge %d: \"%s\" is empty: the edge is read without that curve",
                              int32_t(record_.id), kEdgeCurves[curve_]);
                return std::string(text);
            });
        curve_ = -1;
        return this;
    }
    if (inUvCurves_) {
        inUvCurves_ = false;
        return this;
    }
    // The record takes the UV points and a block for each curve read;
    // until it is appended the reader frees whatever it holds.
    if (uvPoints_)
        record_.uv_points = uvPoints_->TakeArray();
    QelCurvedata** blocks[3] = {&record_.uv_curve1, &record_.uv_curve2, &record_.xyz_curve};
    for (int i = 0; i < 3; ++i) {
        if (!curves_[i].GetData())
            continue;
        IntfXmlCheck(qel_curvedata_alloc(blocks[i]), "qel_curvedata_alloc");
        curves_[i].TakeCurveData(*blocks[i]);
    }
    // What the writers would refuse is read as it stands, and told.
    IntfXmlTellReadFault(qel_edge_fault(record_), IntfXmlPassed::EdgeFault);
    IntfXmlCheck(qel_intf_data_edge_append(target_, rec_), "qel_intf_data_edge_append");
    rec_ = nullptr; // the interface data took over everything it held
    return Parent();
}

// ---- datums --------------------------------------------------------------------------

IntfXmlDatums::IntfXmlDatums(IntfXmlElement* parent, qel_intf_data* target)
    : IntfXmlElement(parent), target_(target) {
    if (!target_)
        IntfXmlThrowStatus(QEL_ERR_BAD_ARG, "IntfXmlDatums");
}

IntfXmlElement* IntfXmlDatums::startElement(const char*, IntfXmlAttributes& attrs) {
    // Every child of "Datums" is a datum, whatever its name.
    const int32_t id = IntAt("ID", attrs, 0, -1, "Datum");
    // A name cut to its field is told here, at the start tag that holds it.
    char16_t name[QEL_NAME_LEN];
    StoreWide(name, QEL_NAME_LEN, GetStringAttribValue("name", &attrs, 1).c_str(),
              "\"Datum\" attribute \"name\"");
    return MakeChild<IntfXmlDatum>(target_, id, name);
}

IntfXmlElement* IntfXmlDatums::endElement(const char*) { return Parent(); }

IntfXmlDatum::IntfXmlDatum(const QelDatumdata* rec, const char* name) { Write(rec, name); }

void IntfXmlDatum::Write(const QelDatumdata* rec, const char* name) {
    if (!rec)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no datum record to write");
    IntfXmlRefuseFault(qel_datum_fault(*rec));
    StartElement(name ? name : "Datum");
    AddAttribute("ID", rec->id);
    AddAttribute("name", Narrow(rec->name, QEL_NAME_LEN).c_str());
    switch (rec->type) {
    case QEL_DATUM_CURVE:
        IntfXmlCurve::Write(&rec->body.curve);
        break;
    case QEL_DATUM_PLANE:
        IntfXmlPlane::Write(rec->body.frame);
        break;
    case QEL_DATUM_CSYS:
        IntfXmlCsys::Write(rec->body.frame);
        break;
    default: // a datum without one of the three, which the reader refuses
        IntfXmlThrow(INTFXML_ERR_RECORD, "datum %d: its type %d has no element",
                     int32_t(rec->id), rec->type);
    }
    EndElement();
}

IntfXmlDatum::IntfXmlDatum(IntfXmlDatums* parent, qel_intf_data* target, int32_t id,
                           const char16_t* name)
    : IntfXmlElement(parent), target_(target), id_(id) {
    std::memcpy(name_, name, sizeof name_);
    IntfXmlCheck(qel_datumdata_alloc(&rec_), "qel_datumdata_alloc");
}

IntfXmlDatum::~IntfXmlDatum() {
    if (rec_)
        qel_datumdata_free(rec_);
}

IntfXmlElement* IntfXmlDatum::startElement(const char* name, IntfXmlAttributes&) {
    const bool curve = IntfXmlIsName(name, "Curve");
    const bool plane = IntfXmlIsName(name, "Plane");
    const bool csys = IntfXmlIsName(name, "Csys");
    if (!curve && !plane && !csys)
        IntfXmlThrowUnexpected(name, "Datum");
    if (kind_ != QEL_DATUM_UNSET)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "datum %d holds more than one of \"Curve\", "
                     "\"Plane\" and \"Csys\"", id_);
    if (curve) {
        // A datum's curve is its body: an empty "Curve" is refused.
        kind_ = QEL_DATUM_CURVE;
        return curve_ = MakeChild<IntfXmlCurve>()->Required("Datum");
    }
    if (plane) {
        kind_ = QEL_DATUM_PLANE;
        return plane_ = MakeChild<IntfXmlPlane>();
    }
    kind_ = QEL_DATUM_CSYS;
    return csys_ = MakeChild<IntfXmlCsys>();
}

IntfXmlElement* IntfXmlDatum::endElement(const char*) {
    QelDatumbody body;
    std::memset(&body, 0, sizeof body);
    TakenCurve curve;
    if (curve_) {
        curve.TakeFrom(curve_); // never empty (Required)
        body.curve = curve.curve;
    } else if (plane_) {
        const QelFrame* frame = plane_->GetFrame();
        if (!frame)
            IntfXmlThrow(INTFXML_ERR_MALFORMED, "the \"Plane\" of datum %d is incomplete", id_);
        body.frame = *frame;
    } else if (csys_) {
        body.frame = csys_->GetFrame();
    } else {
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "datum %d lacks its \"Curve\", \"Plane\" or \"Csys\"",
                     id_);
    }
    IntfXmlCheck(qel_datumdata_init(uint32_t(id_), kind_, name_, &body, rec_), "qel_datumdata_init");
    curve.owned = false; // the datum holds the curve now
    IntfXmlTellReadFault(qel_datum_fault(*rec_), IntfXmlPassed::DatumFault);
    IntfXmlCheck(qel_intf_data_datum_append(target_, rec_), "qel_intf_data_datum_append");
    qel_data_free(rec_);
    rec_ = nullptr;
    return Parent();
}
