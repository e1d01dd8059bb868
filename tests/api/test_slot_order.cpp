// Slot order and signatures of every interface operation, written out by
// hand in the order callers and wrappers index them by, and checked against
// the virtual tables the compiler really lays out. The interface classes
// are generated from the operation tables of kpi_ops.h; this list is kept
// apart from them on purpose, so that an operation moved in a table (which
// the generated implementations and wrappers would follow silently) fails
// here.
//
// The slot of a virtual operation comes from its member-function pointer:
// under the Itanium C++ ABI the pointer holds 1 + the byte offset of the
// operation's entry in the class's virtual table, and a this-adjustment.
#include "kpi_interfaces.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

namespace {

template <class T> using H = xrchandle<T>;

struct Op {
    const char* name;
    long slot;        // index in the class's virtual table, -1 when not virtual
    bool signatureOk; // the declared type is the one written here
};

struct Interface {
    const char* name;
    const char* parent; // "" for an interface without a parent interface
    std::vector<Op> ops;
};

template <class Pmf> long VirtualSlot(Pmf pmf) {
    struct Representation {
        uintptr_t ptr;
        ptrdiff_t adj;
    } rep;
    static_assert(sizeof(Pmf) == sizeof(Representation));
    std::memcpy(&rep, &pmf, sizeof rep);
    if ((rep.ptr & 1) == 0 || rep.adj != 0)
        return -1;
    return long((rep.ptr - 1) / sizeof(void*));
}

template <class Signature, class Class, class Pmf> Op MakeOp(const char* name, Pmf pmf) {
    return {name, VirtualSlot(pmf), std::is_same_v<Pmf, Signature Class::*>};
}

#define OP(Class, Name, ...) MakeOp<__VA_ARGS__, Class>(#Name, &Class::Name)

// ---- the operations, in slot order -------------------------------------------------

std::vector<Interface> Curves() {
    return {
        {"KPICurve", "", {OP(KPICurve, GetPICurveType, KPICurveType())}},
        {"KPIPoint", "KPICurve", {OP(KPIPoint, GetPoint3D, H<KPoint3D>())}},
        {"KPILine", "KPICurve",
         {OP(KPILine, GetEnd0, H<KPoint3D>()), OP(KPILine, GetEnd1, H<KPoint3D>())}},
        {"KPIArc", "KPICurve",
         {OP(KPIArc, GetEnd0, double()), OP(KPIArc, GetEnd1, double()),
          OP(KPIArc, GetRadius, double()), OP(KPIArc, GetCsys, H<KCsys>())}},
        {"KPIEllipse", "KPICurve",
         {OP(KPIEllipse, GetC0, double()), OP(KPIEllipse, GetC1, double()),
          OP(KPIEllipse, GetEnd0, double()), OP(KPIEllipse, GetEnd1, double()),
          OP(KPIEllipse, GetCsys, H<KCsys>())}},
        {"KPISpline", "KPICurve",
         {OP(KPISpline, GetPoints, H<KPoint3DList>()),
          OP(KPISpline, GetTangents, H<KVector3DList>()),
          OP(KPISpline, GetParameters, H<xrealsequence>())}},
        {"KPIBspline", "KPICurve",
         {OP(KPIBspline, GetDegree, int()), OP(KPIBspline, GetParameters, H<xrealsequence>()),
          OP(KPIBspline, GetWeights, H<xrealsequence>()),
          OP(KPIBspline, GetPoints, H<KPoint3DList>())}},
        {"KPICompositeCurve", "KPICurve",
         {OP(KPICompositeCurve, GetCurves, H<KPICurveList>()),
          OP(KPICompositeCurve, GetTraversals, H<xintsequence>())}},
    };
}

std::vector<Interface> Surfaces() {
    return {
        {"KPISurface", "", {OP(KPISurface, GetPISurfaceType, KPISurfType())}},
        {"KPIPlane", "KPISurface", {OP(KPIPlane, GetCsys, H<KCsys>())}},
        {"KPICylinder", "KPISurface",
         {OP(KPICylinder, GetRadius, double()), OP(KPICylinder, GetCsys, H<KCsys>())}},
        {"KPICone", "KPISurface",
         {OP(KPICone, GetHalfAngle, double()), OP(KPICone, GetCsys, H<KCsys>())}},
        {"KPITorus", "KPISurface",
         {OP(KPITorus, GetR0, double()), OP(KPITorus, GetR1, double()),
          OP(KPITorus, GetCsys, H<KCsys>())}},
        {"KPISrfRev", "KPISurface",
         {OP(KPISrfRev, GetCurve, H<KPICurve>()), OP(KPISrfRev, GetCsys, H<KCsys>())}},
        {"KPIRulSrf", "KPISurface",
         {OP(KPIRulSrf, GetCsys, H<KCsys>()), OP(KPIRulSrf, GetCurve1, H<KPICurve>()),
          OP(KPIRulSrf, GetCurve2, H<KPICurve>())}},
        {"KPITabCyl", "KPISurface",
         {OP(KPITabCyl, GetCsys, H<KCsys>()), OP(KPITabCyl, GetCurve, H<KPICurve>())}},
        {"KPIFilSrf", "KPISurface",
         {OP(KPIFilSrf, GetPointSpline, H<KPISpline>()),
          OP(KPIFilSrf, GetCenterSpline, H<KPISpline>()),
          OP(KPIFilSrf, GetTangentSpline, H<KPISpline>())}},
        {"KPISplineSrf", "KPISurface",
         {OP(KPISplineSrf, GetUParameters, H<xrealsequence>()),
          OP(KPISplineSrf, GetVParameters, H<xrealsequence>()),
          OP(KPISplineSrf, GetPoints, H<KPoint3DList>()),
          OP(KPISplineSrf, GetUTangents, H<KVector3DList>()),
          OP(KPISplineSrf, GetVTangents, H<KVector3DList>()),
          OP(KPISplineSrf, GetMixedDerivatives, H<KVector3DList>())}},
        {"KPIBsplsrf", "KPISurface",
         {OP(KPIBsplsrf, GetUDegree, int()), OP(KPIBsplsrf, GetVDegree, int()),
          OP(KPIBsplsrf, GetUParameters, H<xrealsequence>()),
          OP(KPIBsplsrf, GetVParameters, H<xrealsequence>()),
          OP(KPIBsplsrf, GetPoints, H<KPoint3DList>()),
          OP(KPIBsplsrf, GetWeights, H<xrealsequence>())}},
        {"KPICylSplSrf", "KPISurface",
         {OP(KPICylSplSrf, GetCsys, H<KCsys>()), OP(KPICylSplSrf, GetSplsrf, H<KPISplineSrf>())}},
    };
}

std::vector<Interface> Topology() {
    return {
        {"KPIItem", "", {OP(KPIItem, GetId, int()), OP(KPIItem, GetItemType, KPIItemType())}},
        {"KPILoop", "",
         {OP(KPILoop, GetPILoopTraversal, KPILoopTraversal()),
          OP(KPILoop, GetEdgeIds, H<xintsequence>())}},
        {"KPIFace", "KPIItem",
         {OP(KPIFace, GetPIFaceUVExtent, H<KBoxUV>()),
          OP(KPIFace, GetPISurfaceOrientation, KPISurfOrient()),
          OP(KPIFace, GetPISurface, H<KPISurface>()),
          OP(KPIFace, GetPILoopList, H<KPILoopList>())}},
        {"KPIEdge", "KPIItem",
         {OP(KPIEdge, GetEdgeType, int()), OP(KPIEdge, GetIdFace1, int()),
          OP(KPIEdge, GetIdFace2, int()), OP(KPIEdge, GetSrfPoints1, H<KPointUVList>()),
          OP(KPIEdge, GetSrfPoints2, H<KPointUVList>()), OP(KPIEdge, GetXYZCurve, H<KPICurve>()),
          OP(KPIEdge, GetCurve1, H<KPICurve>()), OP(KPIEdge, GetCurve2, H<KPICurve>()),
          OP(KPIEdge, GetTraversal1, KTraversal()), OP(KPIEdge, GetTraversal2, KTraversal())}},
        {"KPIDatum", "KPIItem",
         {OP(KPIDatum, GetName, xstring()), OP(KPIDatum, GetCsys, H<KCsys>()),
          OP(KPIDatum, GetCurve, H<KPICurve>()), OP(KPIDatum, GetPlane, H<KPIPlane>())}},
        {"KPIQuilt", "KPIItem", {OP(KPIQuilt, GetFaces, H<KPIFaceList>())}},
    };
}

std::vector<Interface> Metadata() {
    return {
        {"KPIUnit", "",
         {OP(KPIUnit, GetName, xstring()), OP(KPIUnit, GetFactor, double()),
          OP(KPIUnit, GetType, KPIUnitType())}},
        {"KPILengthUnit", "KPIUnit", {}},
        {"KPIMassUnit", "KPIUnit", {}},
        {"KPINameAttribute", "",
         {OP(KPINameAttribute, GetName, xstring()),
          OP(KPINameAttribute, SetName, void(const char*)),
          OP(KPINameAttribute, GetItemId, int()),
          OP(KPINameAttribute, GetItemType, KPIItemType())}},
        {"KPIGeneralAttribute", "",
         {OP(KPIGeneralAttribute, GetName, xstring()),
          OP(KPIGeneralAttribute, SetName, void(const char*)),
          OP(KPIGeneralAttribute, GetValue, xany()), OP(KPIGeneralAttribute, SetValue, void(xany)),
          OP(KPIGeneralAttribute, GetItemId, int()),
          OP(KPIGeneralAttribute, GetItemType, KPIItemType())}},
        {"KPIReferenceColor", "",
         {OP(KPIReferenceColor, GetColor, H<KColorRGB>()),
          OP(KPIReferenceColor, SetColor, void(H<KColorRGB>)),
          OP(KPIReferenceColor, GetAmbient, double()),
          OP(KPIReferenceColor, SetAmbient, void(double)),
          OP(KPIReferenceColor, GetDiffuse, double()),
          OP(KPIReferenceColor, SetDiffuse, void(double)),
          OP(KPIReferenceColor, GetSpecular, double()),
          OP(KPIReferenceColor, SetSpecular, void(double)),
          OP(KPIReferenceColor, GetSpecularCoefficient, double()),
          OP(KPIReferenceColor, SetSpecularCoefficient, void(double)),
          OP(KPIReferenceColor, GetTransmission, double()),
          OP(KPIReferenceColor, SetTransmission, void(double)),
          OP(KPIReferenceColor, GetHighlight, H<KColorRGB>()),
          OP(KPIReferenceColor, SetHighlight, void(H<KColorRGB>)),
          OP(KPIReferenceColor, GetReflection, double()),
          OP(KPIReferenceColor, SetReflection, void(double))}},
        {"KPIElementColor", "",
         {OP(KPIElementColor, GetItemId, int()),
          OP(KPIElementColor, GetReferenceColorIndex, int(int))}},
        // The ids stand last, after the item operations.
        {"KPILayer", "",
         {OP(KPILayer, GetName, xstring()), OP(KPILayer, GetStatus, KPILayerStatus()),
          OP(KPILayer, SetStatus, void(KPILayerStatus)),
          OP(KPILayer, GetPIItemList, H<xintsequence>()),
          OP(KPILayer, SetPIItemList, void(H<xintsequence>)),
          OP(KPILayer, AddPIItem, void(H<KPIItem>)), OP(KPILayer, RemovePIItem, void(H<KPIItem>)),
          OP(KPILayer, GetLayerId, int()), OP(KPILayer, SetLayerId, void(int))}},
    };
}

std::vector<Interface> Facets() {
    return {
        {"KPIFacetVtx", "",
         {OP(KPIFacetVtx, GetVtxPoint, H<KPoint3D>()),
          OP(KPIFacetVtx, SetVtxPoint, void(H<KPoint3D>)),
          OP(KPIFacetVtx, GetNeighbourFacetIdx, int()),
          OP(KPIFacetVtx, SetNeighbourFacetIdx, void(int))}},
        {"KPIFacetVtxdata", "",
         {OP(KPIFacetVtxdata, GetNormal, H<KVector3D>()),
          OP(KPIFacetVtxdata, SetNormal, void(H<KVector3D>)),
          OP(KPIFacetVtxdata, GetTextureUV, H<KPointUV>()),
          OP(KPIFacetVtxdata, SetTextureUV, void(H<KPointUV>))}},
        {"KPIFacetdata", "",
         {OP(KPIFacetdata, GetVtxIndices, H<xintsequence>()),
          OP(KPIFacetdata, SetVtxIndices, void(H<xintsequence>)),
          OP(KPIFacetdata, GetVtxdataIndices, H<xintsequence>()),
          OP(KPIFacetdata, SetVtxdataIndices, void(H<xintsequence>)),
          OP(KPIFacetdata, GetNeighbourFacetIndices, H<xintsequence>()),
          OP(KPIFacetdata, SetNeighbourFacetIndices, void(H<xintsequence>)),
          OP(KPIFacetdata, GetNormal, H<KVector3D>()),
          OP(KPIFacetdata, SetNormal, void(H<KVector3D>))}},
        {"KPIFacetedRep", "",
         {OP(KPIFacetedRep, CreatePIFacetVtx, H<KPIFacetVtx>(H<KPoint3D>, int)),
          OP(KPIFacetedRep, CreatePIFacetVtxdata, H<KPIFacetVtxdata>(H<KVector3D>, H<KPointUV>)),
          OP(KPIFacetedRep, CreatePIFacetdata,
             H<KPIFacetdata>(H<KVector3D>, H<xintsequence>, H<xintsequence>, H<xintsequence>)),
          OP(KPIFacetedRep, GetId, int()),
          OP(KPIFacetedRep, SetPIFacetVtxList, void(H<KPIFacetVtxList>)),
          OP(KPIFacetedRep, GetPIFacetVtxList, H<KPIFacetVtxList>()),
          OP(KPIFacetedRep, SetPIFacetVtxdataList, void(H<KPIFacetVtxdataList>)),
          OP(KPIFacetedRep, GetPIFacetVtxdataList, H<KPIFacetVtxdataList>()),
          OP(KPIFacetedRep, SetPIFacetdataList, void(H<KPIFacetdataList>)),
          OP(KPIFacetedRep, GetPIFacetdataList, H<KPIFacetdataList>()),
          OP(KPIFacetedRep, GetOutline, H<KBox3D>()),
          OP(KPIFacetedRep, SetOutline, void(H<KBox3D>))}},
    };
}

Interface ModelExt() {
    return {"KWPIModelExt", "",
            {
                OP(KWPIModelExt, CreatePILayer, H<KPILayer>(const char*)),
                OP(KWPIModelExt, SetPILayers, void(H<KPILayerList>)),
                OP(KWPIModelExt, GetPILayers, H<KPILayerList>()),
                OP(KWPIModelExt, CreatePILengthUnit, H<KPILengthUnit>(KPILengthUnits)),
                OP(KWPIModelExt, CreatePILengthUnitEx, H<KPILengthUnit>(const char*, double)),
                OP(KWPIModelExt, CreatePIMassUnit, H<KPIMassUnit>(KPIMassUnits)),
                OP(KWPIModelExt, CreatePIMassUnitEx, H<KPIMassUnit>(const char*, double)),
                OP(KWPIModelExt, SetPIUnits, void(H<KPIUnitList>)),
                OP(KWPIModelExt, GetPIUnits, H<KPIUnitList>()),
                OP(KWPIModelExt, CreatePIReferenceColor, H<KPIReferenceColor>(H<KColorRGB>)),
                OP(KWPIModelExt, SetPIReferenceColors, void(H<KPIReferenceColorList>)),
                OP(KWPIModelExt, GetPIReferenceColors, H<KPIReferenceColorList>()),
                OP(KWPIModelExt, CreatePIElementColor, H<KPIElementColor>(int, int, int)),
                OP(KWPIModelExt, SetPIElementColors, void(H<KPIElementColorList>)),
                OP(KWPIModelExt, GetPIElementColors, H<KPIElementColorList>()),
                OP(KWPIModelExt, CreatePINameAttribute,
                   H<KPINameAttribute>(int, KPIItemType, const char*)),
                OP(KWPIModelExt, SetPINameAttributes, void(H<KPINameAttributeList>)),
                OP(KWPIModelExt, GetPINameAttributes, H<KPINameAttributeList>()),
                OP(KWPIModelExt, CreatePIGeneralAttribute,
                   H<KPIGeneralAttribute>(int, KPIItemType, const char*, xany)),
                OP(KWPIModelExt, SetPIGeneralAttributes, void(H<KPIGeneralAttributeList>)),
                OP(KWPIModelExt, GetPIGeneralAttributes, H<KPIGeneralAttributeList>()),
                OP(KWPIModelExt, CreatePIFacetedRep, H<KPIFacetedRep>(int)),
                OP(KWPIModelExt, SetPIFacetedReps, void(H<KPIFacetedRepList>)),
                OP(KWPIModelExt, GetPIFacetedReps, H<KPIFacetedRepList>()),
                OP(KWPIModelExt, GetPIItemReferenceColor, H<KPIReferenceColor>(int)),
            }};
}

// The add, count and by-index operations come after GetWPIModelExt, not
// beside the operations that they resemble.
Interface Model() {
    return {"KWPIModel", "",
            {
                OP(KWPIModel, CreatePIEdgeWithPoints,
                   H<KPIEdge>(int, int, int, H<KPointUVList>, H<KPointUVList>, KTraversal,
                              KTraversal)),
                OP(KWPIModel, CreatePIEdgeWithXYZCurve,
                   H<KPIEdge>(int, int, int, H<KPICurve>, KTraversal, KTraversal)),
                OP(KWPIModel, CreatePIEdgeWithUVCurves,
                   H<KPIEdge>(int, int, int, H<KPICurve>, H<KPICurve>, KTraversal, KTraversal)),
                OP(KWPIModel, CreatePIEdgeWithXYZandUVCurves,
                   H<KPIEdge>(int, int, int, KTraversal, KTraversal, H<KPICurve>, H<KPICurve>,
                              H<KPICurve>)),
                OP(KWPIModel, CreatePIFace,
                   H<KPIFace>(int, H<KBoxUV>, KPISurfOrient, H<KPISurface>, H<KPILoopList>)),
                OP(KWPIModel, CreatePIQuilt, H<KPIQuilt>(int, H<KPIFaceList>)),
                OP(KWPIModel, CreatePIDatum,
                   H<KPIDatum>(int, const char*, H<KCsys>, H<KPICurve>, H<KPIPlane>)),
                OP(KWPIModel, CreatePILoop, H<KPILoop>(KPILoopTraversal, H<xintsequence>)),
                OP(KWPIModel, SetAccuracy, void(KAccuracyType, double)),
                OP(KWPIModel, SetOutline, void(H<KBox3D>)),
                OP(KWPIModel, SetPIDatums, void(H<KPIDatumList>)),
                OP(KWPIModel, SetPIEdges, void(H<KPIEdgeList>)),
                OP(KWPIModel, SetPIFaces, void(H<KPIFaceList>)),
                OP(KWPIModel, SetPIQuilts, void(H<KPIQuiltList>)),
                OP(KWPIModel, SaveAsNeutral, void(H<KCStream>)),
                OP(KWPIModel, WriteZPI, void(const char*)),
                OP(KWPIModel, GetAccuracyType, KAccuracyType()),
                OP(KWPIModel, GetAccuracy, double()),
                OP(KWPIModel, GetOutline, H<KBox3D>()),
                OP(KWPIModel, GetPIDatums, H<KPIDatumList>()),
                OP(KWPIModel, GetPIEdges, H<KPIEdgeList>()),
                OP(KWPIModel, GetPIFaces, H<KPIFaceList>()),
                OP(KWPIModel, GetPIQuilts, H<KPIQuiltList>()),
                OP(KWPIModel, Close, void()),
                OP(KWPIModel, SetWPIModelExt, void(H<KWPIModelExt>)),
                OP(KWPIModel, GetWPIModelExt, H<KWPIModelExt>()),
                OP(KWPIModel, AddPIDatum, void(H<KPIDatum>)),
                OP(KWPIModel, CountPIDatums, int()),
                OP(KWPIModel, AddPIEdge, void(H<KPIEdge>)),
                OP(KWPIModel, CountPIEdges, int()),
                OP(KWPIModel, AddPIFace, void(H<KPIFace>)),
                OP(KWPIModel, CountPIFaces, int()),
                OP(KWPIModel, AddPIQuilt, void(H<KPIQuilt>)),
                OP(KWPIModel, CountPIQuilts, int()),
                OP(KWPIModel, GetPIDatumByIndex, H<KPIDatum>(int)),
                OP(KWPIModel, GetPIEdgeByIndex, H<KPIEdge>(int)),
                OP(KWPIModel, GetPIFaceByIndex, H<KPIFace>(int)),
                OP(KWPIModel, GetPIQuiltByIndex, H<KPIQuilt>(int)),
                OP(KWPIModel, GetPIModelReferenceColor, H<KPIReferenceColor>()),
            }};
}

Interface Session() {
    return {"KWPISession", "",
            {
                OP(KWPISession, CreatePIPoint, H<KPIPoint>(H<KPoint3D>)),
                OP(KWPISession, CreatePILine, H<KPILine>(H<KPoint3D>, H<KPoint3D>)),
                OP(KWPISession, CreatePIArc, H<KPIArc>(H<KCsys>, double, double, double)),
                OP(KWPISession, CreatePIEllipse,
                   H<KPIEllipse>(H<KCsys>, double, double, double, double)),
                OP(KWPISession, CreatePISpline,
                   H<KPISpline>(H<KPoint3DList>, H<KVector3DList>, H<xrealsequence>)),
                OP(KWPISession, CreatePIBspline,
                   H<KPIBspline>(int, H<xrealsequence>, H<xrealsequence>, H<KPoint3DList>)),
                OP(KWPISession, CreatePICompositeCurve,
                   H<KPICompositeCurve>(H<KPICurveList>, H<xintsequence>)),
                OP(KWPISession, CreatePIPlane, H<KPIPlane>(H<KCsys>)),
                OP(KWPISession, CreatePICylinder, H<KPICylinder>(H<KCsys>, double)),
                OP(KWPISession, CreatePICone, H<KPICone>(H<KCsys>, double)),
                OP(KWPISession, CreatePITorus, H<KPITorus>(H<KCsys>, double, double)),
                OP(KWPISession, CreatePIRevolved, H<KPISrfRev>(H<KCsys>, H<KPICurve>)),
                OP(KWPISession, CreatePIRuledSrf,
                   H<KPIRulSrf>(H<KCsys>, H<KPICurve>, H<KPICurve>)),
                OP(KWPISession, CreatePITabCylinder, H<KPITabCyl>(H<KCsys>, H<KPICurve>)),
                OP(KWPISession, CreatePIFilletSrf,
                   H<KPIFilSrf>(H<KPISpline>, H<KPISpline>, H<KPISpline>)),
                OP(KWPISession, CreatePISplsrf,
                   H<KPISplineSrf>(H<xrealsequence>, H<xrealsequence>, H<KPoint3DList>,
                                   H<KVector3DList>, H<KVector3DList>, H<KVector3DList>)),
                OP(KWPISession, CreatePIBsplsrf,
                   H<KPIBsplsrf>(int, int, H<xrealsequence>, H<xrealsequence>, H<KPoint3DList>,
                                 H<xrealsequence>)),
                OP(KWPISession, CreatePICylSplineSrf, H<KPICylSplSrf>(H<KCsys>, H<KPISplineSrf>)),
                OP(KWPISession, CreatePIModel, H<KWPIModel>(KAccuracyType, double)),
                OP(KWPISession, CreatePIModelExt, H<KWPIModelExt>()),
                OP(KWPISession, ReadZPI, H<KWPIModel>(const char*)),
            }};
}

#undef OP

std::vector<Interface> AllInterfaces() {
    std::vector<Interface> all;
    for (auto group : {Curves(), Surfaces(), Topology(), Metadata(), Facets()})
        all.insert(all.end(), group.begin(), group.end());
    all.push_back(ModelExt());
    all.push_back(Model());
    all.push_back(Session());
    return all;
}

// How many operations the generating tables give each interface: only to
// tell an operation that the list above lacks.
std::map<std::string, int> TableCounts() {
    std::map<std::string, int> counts;
#define ZPI_COUNT_OPERATION(Class, Result, Name, Params, Args, Doc) ++counts[#Class];
#define ZPI_COUNT_INTERFACE(Class, Parent) counts[#Class] += 0; ZPI_OPS_##Class(ZPI_COUNT_OPERATION)
    ZPI_INTERFACES(ZPI_COUNT_INTERFACE)
#undef ZPI_COUNT_INTERFACE
#undef ZPI_COUNT_OPERATION
    return counts;
}

TEST(SlotOrder, EveryOperationHasItsSlotAndSignature) {
    const std::vector<Interface> all = AllInterfaces();
    const std::map<std::string, int> table = TableCounts();
    size_t total = 0;
    // The first slot of an interface's own operations: the same for every
    // interface without a parent interface, and the same for every child of
    // one parent (nothing is declared before the first operation).
    std::map<std::string, long> firstSlotByParent;
    for (const Interface& in : all) {
        SCOPED_TRACE(in.name);
        total += in.ops.size();
        auto counted = table.find(in.name);
        ASSERT_NE(counted, table.end()) << "not an interface of the tables";
        EXPECT_EQ(size_t(counted->second), in.ops.size()) << "operations in the tables";
        if (in.ops.empty())
            continue;
        const long first = in.ops.front().slot;
        auto [known, fresh] = firstSlotByParent.emplace(in.parent, first);
        EXPECT_EQ(first, known->second) << "first slot differs from the other children of '"
                                        << in.parent << "'";
        for (size_t i = 0; i < in.ops.size(); ++i) {
            const Op& op = in.ops[i];
            EXPECT_NE(op.slot, -1) << op.name << " is not a virtual operation of its own";
            EXPECT_EQ(op.slot - first, long(i)) << op.name << " is not at slot " << i;
            EXPECT_TRUE(op.signatureOk) << op.name << " has another signature";
        }
    }
    EXPECT_EQ(all.size(), table.size()) << "interfaces";
    EXPECT_EQ(total, 231u);
}

// The classes a caller implements keep the slots that translators were
// built with: KCCommon holds no data, so it stays the primary base of the
// classes on it (no table of their own beside its), and their operations
// follow its five slots (type queries, destructor, _CastToImpl).
TEST(SlotOrder, ClientClassesKeepTheirSlots) {
    EXPECT_EQ(sizeof(KCAction), sizeof(KCCommon));
    EXPECT_EQ(sizeof(KCStream), sizeof(KCCommon));
    EXPECT_EQ(sizeof(KCStreamFactory), sizeof(KCCommon));
    EXPECT_EQ(VirtualSlot(&KCCommon::_CastToImpl), 4);
    EXPECT_EQ(VirtualSlot(&KCStream::Read), 5);
    EXPECT_EQ(VirtualSlot(&KCStream::Write), 6);
    EXPECT_EQ(VirtualSlot(&KCStream::GetPos), 7);
    EXPECT_EQ(VirtualSlot(&KCStream::SetPos), 8);
    EXPECT_EQ(VirtualSlot(&KCStream::Close), 9);
    EXPECT_EQ(VirtualSlot(&KCStreamFactory::OpenStream), 5);
    EXPECT_EQ(VirtualSlot(&KCStreamFactory::RemoveStream), 6);
}

} // namespace
