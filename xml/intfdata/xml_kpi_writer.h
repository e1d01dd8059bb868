// The interface-data document ("ZPI") of a model held as KPI objects: the
// writer that serves a model without host interface data.
//
// The document is the one the host-record writer gives (xml_zpi.h): the
// same envelope, vocabulary and text forms, so the same readers read it
// back. Each item is filled into a scratch host record from the objects'
// getters and written by the host-record writer of its element
// (IntfXmlFace, IntfXmlQuilt, IntfXmlEdge, IntfXmlDatum, IntfXmlContour and
// the geometry of xml_kpi_geometry.h), one item at a time, so the memory
// taken is that of the largest item, never of the model. Where the
// objects say things differently from host records:
//   - "Accuracy" type: 1 for a relative accuracy, 2 for an absolute one,
//     0 for an undefined one (KACCURACY_UNDEFINED);
//   - "Face" orient 1 / -1 / 0 for a positive / negative / other
//     orientation; "XYZMin" and "XYZMax" are zeros (a face object has no 3D
//     box); a face without a loop list, or with an empty one, has no
//     "Contours";
//   - "Contour" traversal -1 internal, 1 external, 0 otherwise;
//   - "Edge" dir1 / dir2: the traversal as it stands (0 KTRAV_NONE,
//     1 KTRAV_SAME, 2 KTRAV_OPPOSITE), the value an edge's host record
//     holds, so both writers write the same;
//     "UvPoints" only when both UV point lists are there, one "SrfPoint"
//     per point of the first list (the second must hold as many);
//   - "Datum": "Curve", "Csys" or "Plane" by the item type (datum curve,
//     coordinate system, plane); any other item type gives the datum with
//     its "ID" and "name" only;
//   - a null outline, UV extent, edge-id sequence or quilt face list reads
//     as zeros or empty; a null face, edge, quilt, datum or face surface,
//     and a datum without the body its type needs, are refused.
//
// Failures: IntfXmlError as IntfXmlWriteDocument throws them (no path, a
// path that cannot be opened, a failed write), INTFXML_ERR_RECORD for
// objects no document could carry (see above and xml_kpi_geometry.h);
// exceptions of the objects' getters pass unchanged. After any failure the
// old target stays as it was (or absent) and no temporary file is left
// beside it; a "bnfs:" document is not sent. The model's handle is
// released when the constructor returns; the document is complete then.
#pragma once

#include "api/kpi_interfaces.h"
#include "api/qel_records.h"
#include "xml/framework/xml_writer.h"

class IntfXmlKPIWriter {
public:
    // Writes the whole document for the model to `path` ("bnfs:" location
    // or local file); `extension` (may be null) is written as
    // "QelIntfDataExtend" after "QelIntfData"; a local file is synced as
    // `durability` says.
    IntfXmlKPIWriter(const char* path, xrchandle<KWPIModel> model,
                     const qel_intf_data_extend* extension,
                     kkDurability durability = kkDurability::Durable);
    IntfXmlKPIWriter(const IntfXmlKPIWriter&) = delete;
    IntfXmlKPIWriter& operator=(const IntfXmlKPIWriter&) = delete;
    ~IntfXmlKPIWriter();
};

// ---- topology writers (each writes its whole element) ---------------------------------------

class IntfXmlKPIQelIntfData : public IntfXmlWriting {
public:
    IntfXmlKPIQelIntfData(xrchandle<KWPIModel> model, const char* name = nullptr);
};

// "Outline" with "MinPoint" and "MaxPoint" (zeros for a null box).
class IntfXmlKPIOutline : public IntfXmlWriting {
public:
    explicit IntfXmlKPIOutline(xrchandle<KBox3D> box);
};

class IntfXmlKPIQuilt : public IntfXmlWriting {
public:
    IntfXmlKPIQuilt(xrchandle<KPIQuilt> quilt, const char* name = nullptr);
};

class IntfXmlKPIFace : public IntfXmlWriting {
public:
    IntfXmlKPIFace(xrchandle<KPIFace> face, const char* name = nullptr);
};

class IntfXmlKPIContour : public IntfXmlWriting {
public:
    IntfXmlKPIContour(xrchandle<KPILoop> loop, const char* name = nullptr);
};

class IntfXmlKPIEdge : public IntfXmlWriting {
public:
    IntfXmlKPIEdge(xrchandle<KPIEdge> edge, const char* name = nullptr);
};

class IntfXmlKPIDatum : public IntfXmlWriting {
public:
    IntfXmlKPIDatum(xrchandle<KPIDatum> datum, const char* name = nullptr);
};

// ---- value maps ----------------------------------------------------------------------------

int32_t KPISurfOrientToHost(KPISurfOrient orientation);
int32_t KPILoopTraversalToHost(KPILoopTraversal traversal);
uint32_t KPIEdgeDirToHost(int traversal);
uint32_t KPIAccuracyTypeToHost(KAccuracyType type);

// ---- filling host records ------------------------------------------------------------------
//
// As in xml_kpi_geometry.h: `out` is zero-filled by the caller, who clears
// it with the record's clear routine also after a fill threw.

void IntfXmlKPIFillFace(const xrchandle<KPIFace>& face, QelSurfacedata* out);
void IntfXmlKPIFillContour(const xrchandle<KPILoop>& loop, QelContourdata* out);
void IntfXmlKPIFillQuilt(const xrchandle<KPIQuilt>& quilt, QelQuiltdata* out);
void IntfXmlKPIFillEdge(const xrchandle<KPIEdge>& edge, QelEdgedata* out);
void IntfXmlKPIFillDatum(const xrchandle<KPIDatum>& datum, QelDatumdata* out);
