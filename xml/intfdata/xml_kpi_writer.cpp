// The interface-data document of a model held as KPI objects.
#include "xml/intfdata/xml_kpi_writer.h"

#include "kernel/records/qel_check.h"
#include "kernel/records/qel_routines.h"
#include "kernel/geometry/value_convert.h"
#include "kernel/records/wide_name.h"
#include "xml/framework/xml_document.h"
#include "xml/intfdata/xml_edges.h"
#include "xml/framework/xml_element.h"
#include "xml/intfdata/xml_extend.h"
#include "xml/intfdata/xml_faces.h"
#include "xml/geometry/xml_geometry.h"
#include "xml/intfdata/xml_intfdata.h"
#include "xml/geometry/xml_kpi_geometry.h"

#include "xarholder.h"
#include "xmemory.h"

#include <cstring>
#include <string>

namespace {

// A zero-filled scratch record, cleared with `Clear` whatever happens.
template <class R, int (*Clear)(R*)> struct Scratch {
    R rec;
    Scratch() { std::memset(&rec, 0, sizeof rec); }
    ~Scratch() { Clear(&rec); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
};

// A new zero-filled curve block for an edge, filled from `curve`; the edge
// owns the block as soon as it exists. What the fill refuses is placed
// within the edge (", its XYZ curve").
void FillEdgeCurve(const xrchandle<KPICurve>& curve, QelCurvedata*& slot, const char* place) {
    if (!curve)
        return;
    IntfXmlCheck(qel_curvedata_alloc(&slot), "qel_curvedata_alloc");
    std::memset(slot, 0, sizeof *slot);
    IntfXmlWritePlacing([&] { IntfXmlKPIFillCurve(curve, slot); },
                        [place] { return std::string(place); });
}

// Fills the scratch record of an item and writes it with `write`; what
// either refuses is refused naming the item as the record checks name it
// (the fill sets the item's id first).
template <class Rec, class Fill, class Write>
void FillAndWriteNaming(Rec& rec, Fill&& fill, Write&& write) {
    IntfXmlWriteNaming(
        [&] {
            fill(&rec);
            write(&rec);
        },
        [&rec] { return qel_item_name(rec); });
}

} // namespace

// ---- value maps ---------------------------------------------------------------------------

int32_t KPISurfOrientToHost(KPISurfOrient orientation) {
    switch (orientation) {
    case KPISURFACE_ORIENT_POSITIVE: return QEL_ORIENT_POSITIVE;
    case KPISURFACE_ORIENT_NEGATIVE: return QEL_ORIENT_NEGATIVE;
    default: return QEL_ORIENT_NONE;
    }
}

int32_t KPILoopTraversalToHost(KPILoopTraversal traversal) {
    switch (traversal) {
    case KPI_LOOP_TRAV_INTERNAL: return QEL_TRAV_INTERNAL;
    case KPI_LOOP_TRAV_EXTERNAL: return QEL_TRAV_EXTERNAL;
    default: return QEL_TRAV_NONE;
    }
}

// The traversal as it stands (KTRAV_NONE, _SAME, _OPPOSITE are 0, 1, 2), as
// the edge's host record holds it.
uint32_t KPIEdgeDirToHost(int traversal) { return uint32_t(traversal); }

uint32_t KPIAccuracyTypeToHost(KAccuracyType type) {
    switch (type) {
    case KACCURACY_RELATIVE: return QEL_ACCURACY_RELATIVE;
    case KACCURACY_UNDEFINED: return QEL_ACCURACY_UNDEFINED;
    default: return QEL_ACCURACY_ABSOLUTE;
    }
}

// ---- filling records ----------------------------------------------------------------------

void IntfXmlKPIFillContour(const xrchandle<KPILoop>& loop, QelContourdata* out) {
    if (!loop)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no loop to write");
    out->traversal = KPILoopTraversalToHost(loop->GetPILoopTraversal());
    xarholder<int32_t> ids;
    IntfXmlCheck(IntSequenceToArray(loop->GetEdgeIds(), ids), "IntSequenceToArray");
    out->edge_ids = ids.Release();
}

void IntfXmlKPIFillFace(const xrchandle<KPIFace>& face, QelSurfacedata* out) {
    if (!face)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no face to write");
    out->id = uint32_t(face->GetId());
    out->orientation = KPISurfOrientToHost(face->GetPISurfaceOrientation());
    BoxUVToDoubles(face->GetPIFaceUVExtent(), out->uv_min, out->uv_max);
    // The XYZ box stays zero: a face object has none.
    xrchandle<KPISurface> surface = face->GetPISurface();
    if (!surface)
        IntfXmlThrow(INTFXML_ERR_RECORD, "it has no surface");
    IntfXmlKPIFillShape(surface, &out->kind, &out->shape);
    xrchandle<KPILoopList> loops = face->GetPILoopList();
    const int32_t n = IntfXmlKPICount(loops);
    if (n == 0)
        return;
    out->contours =
        static_cast<QelContourdata*>(xar_alloc(n, sizeof(QelContourdata), 10));
    if (!out->contours)
        IntfXmlThrowStatus(-10, "xar_alloc");
    for (int32_t i = 0; i < n; ++i)
        IntfXmlKPIFillContour(loops->Get(i), &out->contours[i]);
}

void IntfXmlKPIFillQuilt(const xrchandle<KPIQuilt>& quilt, QelQuiltdata* out) {
    if (!quilt)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no quilt to write");
    out->id = uint32_t(quilt->GetId());
    xrchandle<KPIFaceList> faces = quilt->GetFaces();
    const int32_t n = IntfXmlKPICount(faces);
    out->faces = static_cast<QelSurfacedata**>(xar_alloc(0, sizeof(QelSurfacedata*), 10));
    if (!out->faces)
        IntfXmlThrowStatus(-10, "xar_alloc");
    for (int32_t i = 0; i < n; ++i) {
        QelSurfacedata* rec = nullptr;
        IntfXmlCheck(qel_surfacedata_alloc(&rec), "qel_surfacedata_alloc");
        if (int st = xar_append(out->faces, 1, &rec)) {
            qel_data_free(rec);
            IntfXmlThrowStatus(st, "xar_append");
        }
        // The quilt owns the face record from here on.
        xrchandle<KPIFace> face = faces->Get(i);
        if (!face)
            IntfXmlThrow(INTFXML_ERR_RECORD, "it holds no face at index %d", i);
        IntfXmlWritePlacing([&] { IntfXmlKPIFillFace(face, rec); },
                            [rec] { return ", " + qel_item_name(*rec); });
    }
}

void IntfXmlKPIFillEdge(const xrchandle<KPIEdge>& edge, QelEdgedata* out) {
    if (!edge)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no edge to write");
    out->id = uint32_t(edge->GetId());
    out->face_ids[0] = uint32_t(edge->GetIdFace1());
    out->face_ids[1] = uint32_t(edge->GetIdFace2());
    out->directions[0] = KPIEdgeDirToHost(edge->GetTraversal1());
    out->directions[1] = KPIEdgeDirToHost(edge->GetTraversal2());
    xrchandle<KPointUVList> p1 = edge->GetSrfPoints1();
    xrchandle<KPointUVList> p2 = edge->GetSrfPoints2();
    if (p1 && p2)
        out->uv_points = IntfXmlKPIUvSamples(p1, p2);
    xrchandle<KPICurve> c1 = edge->GetCurve1();
    xrchandle<KPICurve> c2 = edge->GetCurve2();
    xrchandle<KPICurve> xyz = edge->GetXYZCurve();
    FillEdgeCurve(c1, out->uv_curve1, ", its UV curve 1");
    FillEdgeCurve(c2, out->uv_curve2, ", its UV curve 2");
    FillEdgeCurve(xyz, out->xyz_curve, ", its XYZ curve");
}

void IntfXmlKPIFillDatum(const xrchandle<KPIDatum>& datum, QelDatumdata* out) {
    if (!datum)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no datum to write");
    out->id = uint32_t(datum->GetId());
    out->type = QEL_DATUM_UNSET;
    kname::Write(out->name, QEL_NAME_LEN, datum->GetName().c_str());
    switch (datum->GetItemType()) {
    case KPI_DATUM_CURVE: {
        xrchandle<KPICurve> curve = datum->GetCurve();
        if (!curve)
            IntfXmlThrow(INTFXML_ERR_RECORD, "a curve datum without a curve");
        out->type = QEL_DATUM_CURVE;
        IntfXmlWritePlacing([&] { IntfXmlKPIFillCurve(curve, &out->body.curve); },
                            [] { return std::string(", its curve"); });
        break;
    }
    case KPI_DATUM_CSYS:
        IntfXmlKPIFillFrame(datum->GetCsys(), &out->body.frame, "datum coordinate system");
        out->type = QEL_DATUM_CSYS;
        break;
    case KPI_DATUM_PLANE: {
        xrchandle<KPIPlane> plane = datum->GetPlane();
        if (!plane)
            IntfXmlThrow(INTFXML_ERR_RECORD, "a plane datum without a plane");
        IntfXmlKPIFillFrame(plane->GetCsys(), &out->body.frame, "datum plane");
        out->type = QEL_DATUM_PLANE;
        break;
    }
    default:
        break; // written with its id and name only
    }
}

// ---- writers -------------------------------------------------------------------------------

IntfXmlKPIOutline::IntfXmlKPIOutline(xrchandle<KBox3D> box) {
    double outline[6] = {0, 0, 0, 0, 0, 0};
    Box3DToDoubles(box, outline);
    IntfXmlOutline{outline};
}

IntfXmlKPIContour::IntfXmlKPIContour(xrchandle<KPILoop> loop, const char* name) {
    Scratch<QelContourdata, qel_contourdata_clear> s;
    IntfXmlKPIFillContour(loop, &s.rec);
    IntfXmlContour::Write(&s.rec, name);
}

IntfXmlKPIFace::IntfXmlKPIFace(xrchandle<KPIFace> face, const char* name) {
    Scratch<QelSurfacedata, qel_surfacedata_clear> s;
    FillAndWriteNaming(
        s.rec, [&](QelSurfacedata* r) { IntfXmlKPIFillFace(face, r); },
        [name](const QelSurfacedata* r) { IntfXmlFace::Write(r, name); });
}

IntfXmlKPIQuilt::IntfXmlKPIQuilt(xrchandle<KPIQuilt> quilt, const char* name) {
    Scratch<QelQuiltdata, qel_quiltdata_clear> s;
    FillAndWriteNaming(
        s.rec, [&](QelQuiltdata* r) { IntfXmlKPIFillQuilt(quilt, r); },
        [name](const QelQuiltdata* r) { IntfXmlQuilt(r, name); });
}

IntfXmlKPIEdge::IntfXmlKPIEdge(xrchandle<KPIEdge> edge, const char* name) {
    Scratch<QelEdgedata, qel_edgedata_clear> s;
    FillAndWriteNaming(
        s.rec, [&](QelEdgedata* r) { IntfXmlKPIFillEdge(edge, r); },
        [name](const QelEdgedata* r) { IntfXmlEdge::Write(r, name); });
}

IntfXmlKPIDatum::IntfXmlKPIDatum(xrchandle<KPIDatum> datum, const char* name) {
    Scratch<QelDatumdata, qel_datumdata_clear> s;
    FillAndWriteNaming(
        s.rec, [&](QelDatumdata* r) { IntfXmlKPIFillDatum(datum, r); },
        [name](const QelDatumdata* r) { IntfXmlDatum(r, name); });
}

namespace {

// One list of "QelIntfData": `count` items got by `get`, each written by
// W; no element for an empty list.
template <class W, class Get> void WriteItems(const char* listName, int32_t count, Get&& get) {
    if (count <= 0)
        return;
    IntfXmlWriting::StartElement(listName);
    for (int32_t i = 0; i < count; ++i)
        W{get(i)};
    IntfXmlWriting::EndElement();
}

} // namespace

IntfXmlKPIQelIntfData::IntfXmlKPIQelIntfData(xrchandle<KWPIModel> model, const char* name) {
    if (!model)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no model to write");
    KWPIModel* m = model.get();
    StartElement(name ? name : "QelIntfData");
    StartElement("Accuracy");
    AddAttribute("type", KPIAccuracyTypeToHost(m->GetAccuracyType()));
    AddAttribute("value", m->GetAccuracy());
    EndElement();
    IntfXmlKPIOutline{m->GetOutline()};
    WriteItems<IntfXmlKPIFace>("Faces", m->CountPIFaces(),
                               [m](int32_t i) { return m->GetPIFaceByIndex(i); });
    WriteItems<IntfXmlKPIQuilt>("Quilts", m->CountPIQuilts(),
                                [m](int32_t i) { return m->GetPIQuiltByIndex(i); });
    WriteItems<IntfXmlKPIEdge>("Edges", m->CountPIEdges(),
                               [m](int32_t i) { return m->GetPIEdgeByIndex(i); });
    WriteItems<IntfXmlKPIDatum>("Datums", m->CountPIDatums(),
                                [m](int32_t i) { return m->GetPIDatumByIndex(i); });
    EndElement();
}

// ---- the document ----------------------------------------------------------------------------

IntfXmlKPIWriter::IntfXmlKPIWriter(const char* path, xrchandle<KWPIModel> model,
                                   const qel_intf_data_extend* extension,
                                   kkDurability durability) {
    if (!model)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no model to write");
    IntfXmlWriteDocument(path, [&] {
        IntfXmlWriting::StartElement("ZPI");
        IntfXmlKPIQelIntfData(model, nullptr);
        if (extension)
            IntfXmlQelIntfDataExtend(extension, nullptr);
        IntfXmlWriting::EndElement();
    }, durability);
}

IntfXmlKPIWriter::~IntfXmlKPIWriter() = default;
