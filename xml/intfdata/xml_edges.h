// Edge and datum elements.
//
//   "Edges" { "Edge" ... }                 under "QelIntfData"
//   "Edge" ID surfId1 surfId2 dir1 dir2    ["UvPoints" size=n (UVParams)],
//                                          ["UvCurves" { ["UvCurve1"], ["UvCurve2"] }],
//                                          ["XYZCurve"] (curve elements)
//   "Datums" { "Datum" ... }
//   "Datum" ID name                        one of "Curve" (62), "Plane" (176),
//                                          "Csys" (25)
//
// Readers append each finished edge and datum to the interface data given
// to the list. An edge reads its "UvCurves" and its curves itself (curves
// of a kind with a reader of its own through that reader), and fills its
// record in place. Attributes missing at their position read as -1 (the datum
// name as empty); a datum name is cut to 31 UTF-16 units on a character
// boundary. An empty curve element of an edge (earlier writers wrote one
// for a curve of a kind that has no element) reads as a null curve of the
// edge, told once per document with its place; a datum's empty "Curve" is
// refused at its line. Anything else the vocabulary does not define, a
// repeated child and a datum without its body are errors (IntfXmlError).
// The writers leave out an edge's cleared curve (it has none) and refuse
// an edge or datum that no model holds (qel_edge_fault, qel_datum_fault: a
// curve of a kind without an element, a datum of another type, ...); such
// an edge or datum that a document holds (earlier versions wrote some: a
// B-spline of degree 0, say) is read as it stands and told at its end tag.
#pragma once

#include "api/qel_records.h"
#include "xml/geometry/xml_curves.h"
#include "xml/framework/xml_element.h"
#include "xml/framework/xml_writer.h"

#include <cstdint>

class IntfXmlUVParams;
class IntfXmlCurve;
class IntfXmlCsys;
class IntfXmlPlane;

class IntfXmlEdges : public IntfXmlElement {
public:
    IntfXmlEdges(IntfXmlElement* parent, qel_intf_data* target);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    // Its own text (whitespace between children) is not used.
    void characters(const char*, unsigned) override {}
    bool IsListHandler() const override { return true; }

private:
    qel_intf_data* target_;
};

class IntfXmlEdge : public IntfXmlElement, public IntfXmlWriting {
public:
    // Writer (default name "Edge").
    IntfXmlEdge(const QelEdgedata* rec, const char* name = nullptr);
    // The writer without an object (what the writer constructor does).
    static void Write(const QelEdgedata* rec, const char* name = nullptr);
    // Reader; the finished edge is appended to `target`.
    IntfXmlEdge(IntfXmlEdges* parent, qel_intf_data* target, int32_t id, const int32_t* surfIds,
                const int32_t* dirs);
    ~IntfXmlEdge() override;

    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    // Its own text (whitespace between children) is not used.
    void characters(const char*, unsigned) override {}
    void EndValue(int slot, std::string_view text, const char* name) override;

private:
    qel_intf_data* target_ = nullptr;
    QelEdgedata record_{};       // the edge read, in the reader
    QelEdgedata* rec_ = nullptr; // &record_ while it holds what it owns, until appended
    IntfXmlUVParams* uvPoints_ = nullptr;
    // "UvCurve1", "UvCurve2" (inside "UvCurves") and "XYZCurve".
    IntfXmlCurveSlot curves_[3];
    unsigned seen_ = 0;     // bits 0-2: the curves, bit 3: "UvCurves"
    bool inUvCurves_ = false;
    int curve_ = -1;        // the curve element being read, -1 outside one
};

class IntfXmlDatums : public IntfXmlElement {
public:
    IntfXmlDatums(IntfXmlElement* parent, qel_intf_data* target);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    bool IsListHandler() const override { return true; }

private:
    qel_intf_data* target_;
};

class IntfXmlDatum : public IntfXmlElement, public IntfXmlWriting {
public:
    // Writer (default name "Datum"). A datum of a kind other than 62, 176
    // and 25 is refused (IntfXmlError, INTFXML_ERR_RECORD).
    IntfXmlDatum(const QelDatumdata* rec, const char* name = nullptr);
    static void Write(const QelDatumdata* rec, const char* name = nullptr);
    // Reader; `name` is the datum's name field as read from its start tag
    // (QEL_NAME_LEN units). The finished datum is appended to `target`.
    IntfXmlDatum(IntfXmlDatums* parent, qel_intf_data* target, int32_t id, const char16_t* name);
    ~IntfXmlDatum() override;

    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

private:
    qel_intf_data* target_ = nullptr;
    QelDatumdata* rec_ = nullptr; // owned with all it holds until appended
    int32_t id_ = -1;
    int32_t kind_ = QEL_DATUM_UNSET;
    char16_t name_[QEL_NAME_LEN] = {};
    IntfXmlCsys* csys_ = nullptr;
    IntfXmlCurve* curve_ = nullptr;
    IntfXmlPlane* plane_ = nullptr;
};
