// Geometry elements from interface objects: curves, surfaces, coordinate
// systems and values of a model held as KPI objects, written in the very
// vocabulary of the host-record writers (xml_geometry.h, xml_curves.h,
// xml_surfaces.h).
//
// The writers do not lay out any element themselves: each fills a scratch
// host record from the object's getters and hands it to the host-record
// writer of the same element, then frees the record. A document written
// from objects is therefore byte for byte what the host-record writer
// gives for records holding the same values, and the same readers read it
// back. What the objects say differently is settled while filling:
//   - the kind element is chosen by the KPI type (KPICURV_* / KPISURF_*);
//     a type without an element gives an empty "Curve" / surface element;
//   - B-spline control points are written multiplied by their weights (the
//     form host records keep them in); the objects are left unchanged; an
//     empty weight sequence counts as none;
//   - a null point or UV point is written as zeros, a null list or
//     sequence as an empty one;
//   - anything else the element needs and the object lacks (a curve's or
//     surface's coordinate system, a profile curve, a fillet's spline, a
//     component curve), lists that disagree in length (spline points,
//     tangents and parameters; spline surface grids; weights and control
//     points; composite curves and their traversals) and composite curves
//     nested deeper than INTFXML_MAX_CURVE_NESTING are refused with
//     IntfXmlError (INTFXML_ERR_RECORD), since no reader would take such an
//     element back.
// Exceptions of the objects' getters pass unchanged. Every writer takes
// its object's handle by value; a writer class holds no data and writes
// the whole element in its constructor.
#pragma once

#include "api/kpi_interfaces.h"
#include "api/qel_records.h"
#include "xml/framework/xml_writer.h"

#include <cstdint>

// Number of items of a list or sequence; 0 for a null handle.
template <class L> int32_t IntfXmlKPICount(const xrchandle<L>& list) {
    return list ? int32_t(list->Count()) : 0;
}

// ---- filling host records -------------------------------------------------------------
//
// `out` must be zero-filled by the caller. When a fill throws, what it
// filled so far still belongs to `out`, so the caller always clears it:
// qel_curvedata_clear for a curve, qel_surfaceshapedata_clear(*kind, ...)
// for a shape (`*kind` is set before anything else).

// The curve; a type without an element leaves the kind 0.
void IntfXmlKPIFillCurve(const xrchandle<KPICurve>& curve, QelCurvedata* out);
// The shape and its host kind (0 for a type without an element).
void IntfXmlKPIFillShape(const xrchandle<KPISurface>& surface, uint32_t* kind,
                         QelSurfaceshapedata* out);
// e1 = X axis, e2 = Y axis, e3 = Z axis, origin; `what` names the owner in
// the error for a null coordinate system.
void IntfXmlKPIFillFrame(const xrchandle<KCsys>& csys, QelFrame* out, const char* what);

// ---- curves -------------------------------------------------------------------------------

class IntfXmlKPICurve : public IntfXmlWriting {
public:
    // "Curve" (or `name`) holding the kind element of the curve.
    IntfXmlKPICurve(xrchandle<KPICurve> curve, const char* name = nullptr);
};

// Kind elements; the default names are those of the host-record writers
// ("QelPointdata", ...), the curve element passes the kind's name.
class IntfXmlKPIPoint : public IntfXmlWriting {
public:
    IntfXmlKPIPoint(xrchandle<KPIPoint> point, const char* name = nullptr);
};

class IntfXmlKPILine : public IntfXmlWriting {
public:
    IntfXmlKPILine(xrchandle<KPILine> line, const char* name = nullptr);
};

class IntfXmlKPIArc : public IntfXmlWriting {
public:
    IntfXmlKPIArc(xrchandle<KPIArc> arc, const char* name = nullptr);
};

class IntfXmlKPIEllipse : public IntfXmlWriting {
public:
    IntfXmlKPIEllipse(xrchandle<KPIEllipse> ellipse, const char* name = nullptr);
};

// Also the fillet surface's splines.
class IntfXmlKPISpline : public IntfXmlWriting {
public:
    IntfXmlKPISpline(xrchandle<KPISpline> spline, const char* name = nullptr);
};

class IntfXmlKPIBspline : public IntfXmlWriting {
public:
    IntfXmlKPIBspline(xrchandle<KPIBspline> bspline, const char* name = nullptr);
};

class IntfXmlKPICompCurve : public IntfXmlWriting {
public:
    IntfXmlKPICompCurve(xrchandle<KPICompositeCurve> composite, const char* name = nullptr);
};

class IntfXmlKPIComponent : public IntfXmlWriting {
public:
    IntfXmlKPIComponent(xrchandle<KPICurve> curve, int32_t direction, const char* name = nullptr);
};

// ---- surfaces -----------------------------------------------------------------------------

class IntfXmlKPISurface : public IntfXmlWriting {
public:
    // "Surface" (or `name`, "Shape" for faces) holding the kind element.
    IntfXmlKPISurface(xrchandle<KPISurface> surface, const char* name = nullptr);
};

class IntfXmlKPIPlane : public IntfXmlWriting {
public:
    explicit IntfXmlKPIPlane(xrchandle<KPIPlane> plane);
};

class IntfXmlKPICylinder : public IntfXmlWriting {
public:
    explicit IntfXmlKPICylinder(xrchandle<KPICylinder> cylinder);
};

class IntfXmlKPICone : public IntfXmlWriting {
public:
    explicit IntfXmlKPICone(xrchandle<KPICone> cone);
};

class IntfXmlKPITorus : public IntfXmlWriting {
public:
    explicit IntfXmlKPITorus(xrchandle<KPITorus> torus);
};

class IntfXmlKPISrfRevolved : public IntfXmlWriting {
public:
    explicit IntfXmlKPISrfRevolved(xrchandle<KPISrfRev> surface);
};

class IntfXmlKPITabCyl : public IntfXmlWriting {
public:
    explicit IntfXmlKPITabCyl(xrchandle<KPITabCyl> surface);
};

class IntfXmlKPIRuledSrf : public IntfXmlWriting {
public:
    explicit IntfXmlKPIRuledSrf(xrchandle<KPIRulSrf> surface);
};

class IntfXmlKPIFilletSrf : public IntfXmlWriting {
public:
    explicit IntfXmlKPIFilletSrf(xrchandle<KPIFilSrf> surface);
};

class IntfXmlKPISplSrf : public IntfXmlWriting {
public:
    IntfXmlKPISplSrf(xrchandle<KPISplineSrf> surface, const char* name = nullptr);
};

class IntfXmlKPIBsplSrf : public IntfXmlWriting {
public:
    explicit IntfXmlKPIBsplSrf(xrchandle<KPIBsplsrf> surface);
};

class IntfXmlKPICylSplSrf : public IntfXmlWriting {
public:
    explicit IntfXmlKPICylSplSrf(xrchandle<KPICylSplSrf> surface);
};

// ---- values -------------------------------------------------------------------------------

class IntfXmlKPICsys : public IntfXmlWriting {
public:
    IntfXmlKPICsys(xrchandle<KCsys> csys, const char* name = nullptr);
};

class IntfXmlKPIQel3dPnt : public IntfXmlWriting {
public:
    IntfXmlKPIQel3dPnt(xrchandle<KPoint3D> point, const char* name = nullptr);
};

class IntfXmlKPIQelVector : public IntfXmlWriting {
public:
    IntfXmlKPIQelVector(xrchandle<KVector3D> vector, const char* name = nullptr);
};

class IntfXmlKPIQelUvParam : public IntfXmlWriting {
public:
    IntfXmlKPIQelUvParam(xrchandle<KPointUV> point, const char* name = nullptr);
};

class IntfXmlKPIQelPntList : public IntfXmlWriting {
public:
    IntfXmlKPIQelPntList(xrchandle<KPoint3DList> points, const char* name = nullptr);
};

class IntfXmlKPIQelVectorList : public IntfXmlWriting {
public:
    IntfXmlKPIQelVectorList(xrchandle<KVector3DList> vectors, const char* name = nullptr);
};

class IntfXmlKPIQelRealSeq : public IntfXmlWriting {
public:
    IntfXmlKPIQelRealSeq(xrchandle<xrealsequence> values, const char* name = nullptr);
};

class IntfXmlKPIQelIntSeq : public IntfXmlWriting {
public:
    IntfXmlKPIQelIntSeq(xrchandle<xintsequence> values, const char* name = nullptr);
};

// One "SrfPoint" per point of the first list, with the point of the same
// index of the second list; the second list must hold at least as many.
class IntfXmlKPIUVParams : public IntfXmlWriting {
public:
    IntfXmlKPIUVParams(xrchandle<KPointUVList> first, xrchandle<KPointUVList> second,
                       const char* name = nullptr);
};

// The UV samples of an edge from its two point lists (an xar the caller
// frees): one per point of the first list. Throws INTFXML_ERR_RECORD when
// the second list is shorter.
QelUvSample* IntfXmlKPIUvSamples(const xrchandle<KPointUVList>& first,
                                 const xrchandle<KPointUVList>& second);
