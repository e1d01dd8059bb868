// Operation tables of every interface class, one list per interface in
// slot order. Each entry is X(Interface, Result, Name, (parameters),
// (argument names)). The interface declarations, the forwarding and
// journal wrappers and the tests are all generated from these lists, so an
// operation is named in one place only.
#pragma once

// ---- curves ------------------------------------------------------------
#define ZPI_OPS_KPICurve(X) X(KPICurve, KPICurveType, GetPICurveType, (), ())

#define ZPI_OPS_KPIPoint(X) X(KPIPoint, xrchandle<KPoint3D>, GetPoint3D, (), ())

#define ZPI_OPS_KPILine(X)                                                     \
    X(KPILine, xrchandle<KPoint3D>, GetEnd0, (), ())                           \
    X(KPILine, xrchandle<KPoint3D>, GetEnd1, (), ())

#define ZPI_OPS_KPIArc(X)                                                      \
    X(KPIArc, double, GetEnd0, (), ())                                         \
    X(KPIArc, double, GetEnd1, (), ())                                         \
    X(KPIArc, double, GetRadius, (), ())                                       \
    X(KPIArc, xrchandle<KCsys>, GetCsys, (), ())

#define ZPI_OPS_KPIEllipse(X)                                                  \
    X(KPIEllipse, double, GetC0, (), ())                                       \
    X(KPIEllipse, double, GetC1, (), ())                                       \
    X(KPIEllipse, double, GetEnd0, (), ())                                     \
    X(KPIEllipse, double, GetEnd1, (), ())                                     \
    X(KPIEllipse, xrchandle<KCsys>, GetCsys, (), ())

#define ZPI_OPS_KPISpline(X)                                                   \
    X(KPISpline, xrchandle<KPoint3DList>, GetPoints, (), ())                   \
    X(KPISpline, xrchandle<KVector3DList>, GetTangents, (), ())                \
    X(KPISpline, xrchandle<xrealsequence>, GetParameters, (), ())

#define ZPI_OPS_KPIBspline(X)                                                  \
    X(KPIBspline, int, GetDegree, (), ())                                      \
    X(KPIBspline, xrchandle<xrealsequence>, GetParameters, (), ())             \
    X(KPIBspline, xrchandle<xrealsequence>, GetWeights, (), ())                \
    X(KPIBspline, xrchandle<KPoint3DList>, GetPoints, (), ())

#define ZPI_OPS_KPICompositeCurve(X)                                           \
    X(KPICompositeCurve, xrchandle<KPICurveList>, GetCurves, (), ())           \
    X(KPICompositeCurve, xrchandle<xintsequence>, GetTraversals, (), ())

// ---- surfaces ----------------------------------------------------------
#define ZPI_OPS_KPISurface(X) X(KPISurface, KPISurfType, GetPISurfaceType, (), ())

#define ZPI_OPS_KPIPlane(X) X(KPIPlane, xrchandle<KCsys>, GetCsys, (), ())

#define ZPI_OPS_KPICylinder(X)                                                 \
    X(KPICylinder, double, GetRadius, (), ())                                  \
    X(KPICylinder, xrchandle<KCsys>, GetCsys, (), ())

#define ZPI_OPS_KPICone(X)                                                     \
    X(KPICone, double, GetHalfAngle, (), ())                                   \
    X(KPICone, xrchandle<KCsys>, GetCsys, (), ())

#define ZPI_OPS_KPITorus(X)                                                    \
    X(KPITorus, double, GetR0, (), ())                                         \
    X(KPITorus, double, GetR1, (), ())                                         \
    X(KPITorus, xrchandle<KCsys>, GetCsys, (), ())

#define ZPI_OPS_KPISrfRev(X)                                                   \
    X(KPISrfRev, xrchandle<KPICurve>, GetCurve, (), ())                        \
    X(KPISrfRev, xrchandle<KCsys>, GetCsys, (), ())

#define ZPI_OPS_KPIRulSrf(X)                                                   \
    X(KPIRulSrf, xrchandle<KCsys>, GetCsys, (), ())                            \
    X(KPIRulSrf, xrchandle<KPICurve>, GetCurve1, (), ())                       \
    X(KPIRulSrf, xrchandle<KPICurve>, GetCurve2, (), ())

#define ZPI_OPS_KPITabCyl(X)                                                   \
    X(KPITabCyl, xrchandle<KCsys>, GetCsys, (), ())                            \
    X(KPITabCyl, xrchandle<KPICurve>, GetCurve, (), ())

#define ZPI_OPS_KPIFilSrf(X)                                                   \
    X(KPIFilSrf, xrchandle<KPISpline>, GetPointSpline, (), ())                 \
    X(KPIFilSrf, xrchandle<KPISpline>, GetCenterSpline, (), ())                \
    X(KPIFilSrf, xrchandle<KPISpline>, GetTangentSpline, (), ())

#define ZPI_OPS_KPISplineSrf(X)                                                \
    X(KPISplineSrf, xrchandle<xrealsequence>, GetUParameters, (), ())          \
    X(KPISplineSrf, xrchandle<xrealsequence>, GetVParameters, (), ())          \
    X(KPISplineSrf, xrchandle<KPoint3DList>, GetPoints, (), ())                \
    X(KPISplineSrf, xrchandle<KVector3DList>, GetUTangents, (), ())            \
    X(KPISplineSrf, xrchandle<KVector3DList>, GetVTangents, (), ())            \
    X(KPISplineSrf, xrchandle<KVector3DList>, GetMixedDerivatives, (), ())

#define ZPI_OPS_KPIBsplsrf(X)                                                  \
    X(KPIBsplsrf, int, GetUDegree, (), ())                                     \
    X(KPIBsplsrf, int, GetVDegree, (), ())                                     \
    X(KPIBsplsrf, xrchandle<xrealsequence>, GetUParameters, (), ())            \
    X(KPIBsplsrf, xrchandle<xrealsequence>, GetVParameters, (), ())            \
    X(KPIBsplsrf, xrchandle<KPoint3DList>, GetPoints, (), ())                  \
    X(KPIBsplsrf, xrchandle<xrealsequence>, GetWeights, (), ())

#define ZPI_OPS_KPICylSplSrf(X)                                                \
    X(KPICylSplSrf, xrchandle<KCsys>, GetCsys, (), ())                         \
    X(KPICylSplSrf, xrchandle<KPISplineSrf>, GetSplsrf, (), ())

// ---- topology ----------------------------------------------------------
#define ZPI_OPS_KPIItem(X)                                                     \
    X(KPIItem, int, GetId, (), ())                                             \
    X(KPIItem, KPIItemType, GetItemType, (), ())

#define ZPI_OPS_KPILoop(X)                                                     \
    X(KPILoop, KPILoopTraversal, GetPILoopTraversal, (), ())                   \
    X(KPILoop, xrchandle<xintsequence>, GetEdgeIds, (), ())

#define ZPI_OPS_KPIFace(X)                                                     \
    X(KPIFace, xrchandle<KBoxUV>, GetPIFaceUVExtent, (), ())                   \
    X(KPIFace, KPISurfOrient, GetPISurfaceOrientation, (), ())                 \
    X(KPIFace, xrchandle<KPISurface>, GetPISurface, (), ())                    \
    X(KPIFace, xrchandle<KPILoopList>, GetPILoopList, (), ())

#define ZPI_OPS_KPIEdge(X)                                                     \
    X(KPIEdge, int, GetEdgeType, (), ())                                       \
    X(KPIEdge, int, GetIdFace1, (), ())                                        \
    X(KPIEdge, int, GetIdFace2, (), ())                                        \
    X(KPIEdge, xrchandle<KPointUVList>, GetSrfPoints1, (), ())                 \
    X(KPIEdge, xrchandle<KPointUVList>, GetSrfPoints2, (), ())                 \
    X(KPIEdge, xrchandle<KPICurve>, GetXYZCurve, (), ())                       \
    X(KPIEdge, xrchandle<KPICurve>, GetCurve1, (), ())                         \
    X(KPIEdge, xrchandle<KPICurve>, GetCurve2, (), ())                         \
    X(KPIEdge, KTraversal, GetTraversal1, (), ())                              \
    X(KPIEdge, KTraversal, GetTraversal2, (), ())

#define ZPI_OPS_KPIDatum(X)                                                    \
    X(KPIDatum, xstring, GetName, (), ())                                      \
    X(KPIDatum, xrchandle<KCsys>, GetCsys, (), ())                             \
    X(KPIDatum, xrchandle<KPICurve>, GetCurve, (), ())                         \
    X(KPIDatum, xrchandle<KPIPlane>, GetPlane, (), ())

#define ZPI_OPS_KPIQuilt(X) X(KPIQuilt, xrchandle<KPIFaceList>, GetFaces, (), ())

// ---- metadata ----------------------------------------------------------
#define ZPI_OPS_KPIUnit(X)                                                     \
    X(KPIUnit, xstring, GetName, (), ())                                       \
    X(KPIUnit, double, GetFactor, (), ())                                      \
    X(KPIUnit, KPIUnitType, GetType, (), ())

#define ZPI_OPS_KPILengthUnit(X)
#define ZPI_OPS_KPIMassUnit(X)

#define ZPI_OPS_KPINameAttribute(X)                                            \
    X(KPINameAttribute, xstring, GetName, (), ())                              \
    X(KPINameAttribute, void, SetName, (const char* name), (name))             \
    X(KPINameAttribute, int, GetItemId, (), ())                                \
    X(KPINameAttribute, KPIItemType, GetItemType, (), ())

#define ZPI_OPS_KPIGeneralAttribute(X)                                         \
    X(KPIGeneralAttribute, xstring, GetName, (), ())                           \
    X(KPIGeneralAttribute, void, SetName, (const char* name), (name))          \
    X(KPIGeneralAttribute, xany, GetValue, (), ())                             \
    X(KPIGeneralAttribute, void, SetValue, (xany value), (value))              \
    X(KPIGeneralAttribute, int, GetItemId, (), ())                             \
    X(KPIGeneralAttribute, KPIItemType, GetItemType, (), ())

#define ZPI_OPS_KPIReferenceColor(X)                                           \
    X(KPIReferenceColor, xrchandle<KColorRGB>, GetColor, (), ())               \
    X(KPIReferenceColor, void, SetColor, (xrchandle<KColorRGB> color), (color)) \
    X(KPIReferenceColor, double, GetAmbient, (), ())                           \
    X(KPIReferenceColor, void, SetAmbient, (double value), (value))            \
    X(KPIReferenceColor, double, GetDiffuse, (), ())                           \
    X(KPIReferenceColor, void, SetDiffuse, (double value), (value))            \
    X(KPIReferenceColor, double, GetSpecular, (), ())                          \
    X(KPIReferenceColor, void, SetSpecular, (double value), (value))           \
    X(KPIReferenceColor, double, GetSpecularCoefficient, (), ())               \
    X(KPIReferenceColor, void, SetSpecularCoefficient, (double value), (value)) \
    X(KPIReferenceColor, double, GetTransmission, (), ())                      \
    X(KPIReferenceColor, void, SetTransmission, (double value), (value))       \
    X(KPIReferenceColor, xrchandle<KColorRGB>, GetHighlight, (), ())           \
    X(KPIReferenceColor, void, SetHighlight, (xrchandle<KColorRGB> color), (color)) \
    X(KPIReferenceColor, double, GetReflection, (), ())                        \
    X(KPIReferenceColor, void, SetReflection, (double value), (value))

#define ZPI_OPS_KPIElementColor(X)                                             \
    X(KPIElementColor, int, GetItemId, (), ())                                 \
    X(KPIElementColor, int, GetReferenceColorIndex, (int which), (which))

#define ZPI_OPS_KPILayer(X)                                                    \
    X(KPILayer, xstring, GetName, (), ())                                      \
    X(KPILayer, KPILayerStatus, GetStatus, (), ())                             \
    X(KPILayer, void, SetStatus, (KPILayerStatus status), (status))            \
    X(KPILayer, xrchandle<xintsequence>, GetPIItemList, (), ())                \
    X(KPILayer, void, SetPIItemList, (xrchandle<xintsequence> items), (items)) \
    X(KPILayer, void, AddPIItem, (xrchandle<KPIItem> item), (item))            \
    X(KPILayer, void, RemovePIItem, (xrchandle<KPIItem> item), (item))         \
    X(KPILayer, int, GetLayerId, (), ())                                       \
    X(KPILayer, void, SetLayerId, (int id), (id))

// ---- faceted representations --------------------------------------------
#define ZPI_OPS_KPIFacetVtx(X)                                                 \
    X(KPIFacetVtx, xrchandle<KPoint3D>, GetVtxPoint, (), ())                   \
    X(KPIFacetVtx, void, SetVtxPoint, (xrchandle<KPoint3D> point), (point))    \
    X(KPIFacetVtx, int, GetNeighbourFacetIdx, (), ())                          \
    X(KPIFacetVtx, void, SetNeighbourFacetIdx, (int index), (index))

#define ZPI_OPS_KPIFacetVtxdata(X)                                             \
    X(KPIFacetVtxdata, xrchandle<KVector3D>, GetNormal, (), ())                \
    X(KPIFacetVtxdata, void, SetNormal, (xrchandle<KVector3D> normal), (normal)) \
    X(KPIFacetVtxdata, xrchandle<KPointUV>, GetTextureUV, (), ())              \
    X(KPIFacetVtxdata, void, SetTextureUV, (xrchandle<KPointUV> uv), (uv))

#define ZPI_OPS_KPIFacetdata(X)                                                \
    X(KPIFacetdata, xrchandle<xintsequence>, GetVtxIndices, (), ())            \
    X(KPIFacetdata, void, SetVtxIndices, (xrchandle<xintsequence> indices), (indices)) \
    X(KPIFacetdata, xrchandle<xintsequence>, GetVtxdataIndices, (), ())        \
    X(KPIFacetdata, void, SetVtxdataIndices, (xrchandle<xintsequence> indices), (indices)) \
    X(KPIFacetdata, xrchandle<xintsequence>, GetNeighbourFacetIndices, (), ()) \
    X(KPIFacetdata, void, SetNeighbourFacetIndices, (xrchandle<xintsequence> indices), (indices)) \
    X(KPIFacetdata, xrchandle<KVector3D>, GetNormal, (), ())                   \
    X(KPIFacetdata, void, SetNormal, (xrchandle<KVector3D> normal), (normal))

#define ZPI_OPS_KPIFacetedRep(X)                                               \
    X(KPIFacetedRep, xrchandle<KPIFacetVtx>, CreatePIFacetVtx,                 \
      (xrchandle<KPoint3D> point, int neighbourFacetIdx), (point, neighbourFacetIdx)) \
    X(KPIFacetedRep, xrchandle<KPIFacetVtxdata>, CreatePIFacetVtxdata,         \
      (xrchandle<KVector3D> normal, xrchandle<KPointUV> textureUV), (normal, textureUV)) \
    X(KPIFacetedRep, xrchandle<KPIFacetdata>, CreatePIFacetdata,               \
      (xrchandle<KVector3D> normal, xrchandle<xintsequence> vtxIndices,        \
       xrchandle<xintsequence> vtxdataIndices, xrchandle<xintsequence> neighbourIndices), \
      (normal, vtxIndices, vtxdataIndices, neighbourIndices))                  \
    X(KPIFacetedRep, int, GetId, (), ())                                       \
    X(KPIFacetedRep, void, SetPIFacetVtxList, (xrchandle<KPIFacetVtxList> list), (list)) \
    X(KPIFacetedRep, xrchandle<KPIFacetVtxList>, GetPIFacetVtxList, (), ())    \
    X(KPIFacetedRep, void, SetPIFacetVtxdataList, (xrchandle<KPIFacetVtxdataList> list), (list)) \
    X(KPIFacetedRep, xrchandle<KPIFacetVtxdataList>, GetPIFacetVtxdataList, (), ()) \
    X(KPIFacetedRep, void, SetPIFacetdataList, (xrchandle<KPIFacetdataList> list), (list)) \
    X(KPIFacetedRep, xrchandle<KPIFacetdataList>, GetPIFacetdataList, (), ()) \
    X(KPIFacetedRep, xrchandle<KBox3D>, GetOutline, (), ())                    \
    X(KPIFacetedRep, void, SetOutline, (xrchandle<KBox3D> outline), (outline))

// ---- model extension, model, session -------------------------------------
#define ZPI_OPS_KWPIModelExt(X)                                                \
    X(KWPIModelExt, xrchandle<KPILayer>, CreatePILayer, (const char* name), (name)) \
    X(KWPIModelExt, void, SetPILayers, (xrchandle<KPILayerList> layers), (layers)) \
    X(KWPIModelExt, xrchandle<KPILayerList>, GetPILayers, (), ())              \
    X(KWPIModelExt, xrchandle<KPILengthUnit>, CreatePILengthUnit, (KPILengthUnits unit), (unit)) \
    X(KWPIModelExt, xrchandle<KPILengthUnit>, CreatePILengthUnitEx,            \
      (const char* name, double factor), (name, factor))                       \
    X(KWPIModelExt, xrchandle<KPIMassUnit>, CreatePIMassUnit, (KPIMassUnits unit), (unit)) \
    X(KWPIModelExt, xrchandle<KPIMassUnit>, CreatePIMassUnitEx,                \
      (const char* name, double factor), (name, factor))                       \
    X(KWPIModelExt, void, SetPIUnits, (xrchandle<KPIUnitList> units), (units)) \
    X(KWPIModelExt, xrchandle<KPIUnitList>, GetPIUnits, (), ())                \
    X(KWPIModelExt, xrchandle<KPIReferenceColor>, CreatePIReferenceColor,      \
      (xrchandle<KColorRGB> color), (color))                                   \
    X(KWPIModelExt, void, SetPIReferenceColors, (xrchandle<KPIReferenceColorList> colors), (colors)) \
    X(KWPIModelExt, xrchandle<KPIReferenceColorList>, GetPIReferenceColors, (), ()) \
    X(KWPIModelExt, xrchandle<KPIElementColor>, CreatePIElementColor,          \
      (int itemId, int refColorIndex1, int refColorIndex2), (itemId, refColorIndex1, refColorIndex2)) \
    X(KWPIModelExt, void, SetPIElementColors, (xrchandle<KPIElementColorList> colors), (colors)) \
    X(KWPIModelExt, xrchandle<KPIElementColorList>, GetPIElementColors, (), ()) \
    X(KWPIModelExt, xrchandle<KPINameAttribute>, CreatePINameAttribute,        \
      (int itemId, KPIItemType itemType, const char* name), (itemId, itemType, name)) \
    X(KWPIModelExt, void, SetPINameAttributes, (xrchandle<KPINameAttributeList> attributes), (attributes)) \
    X(KWPIModelExt, xrchandle<KPINameAttributeList>, GetPINameAttributes, (), ()) \
    X(KWPIModelExt, xrchandle<KPIGeneralAttribute>, CreatePIGeneralAttribute,  \
      (int itemId, KPIItemType itemType, const char* name, xany value),        \
      (itemId, itemType, name, value))                                         \
    X(KWPIModelExt, void, SetPIGeneralAttributes,                              \
      (xrchandle<KPIGeneralAttributeList> attributes), (attributes))           \
    X(KWPIModelExt, xrchandle<KPIGeneralAttributeList>, GetPIGeneralAttributes, (), ()) \
    X(KWPIModelExt, xrchandle<KPIFacetedRep>, CreatePIFacetedRep, (int id), (id)) \
    X(KWPIModelExt, void, SetPIFacetedReps, (xrchandle<KPIFacetedRepList> reps), (reps)) \
    X(KWPIModelExt, xrchandle<KPIFacetedRepList>, GetPIFacetedReps, (), ())    \
    X(KWPIModelExt, xrchandle<KPIReferenceColor>, GetPIItemReferenceColor, (int itemId), (itemId))

#define ZPI_OPS_KWPIModel(X)                                                   \
    X(KWPIModel, xrchandle<KPIEdge>, CreatePIEdgeWithPoints,                   \
      (int id, int idFace1, int idFace2, xrchandle<KPointUVList> srfPoints1,   \
       xrchandle<KPointUVList> srfPoints2, KTraversal traversal1, KTraversal traversal2), \
      (id, idFace1, idFace2, srfPoints1, srfPoints2, traversal1, traversal2))  \
    X(KWPIModel, xrchandle<KPIEdge>, CreatePIEdgeWithXYZCurve,                 \
      (int id, int idFace1, int idFace2, xrchandle<KPICurve> xyzCurve,         \
       KTraversal traversal1, KTraversal traversal2),                          \
      (id, idFace1, idFace2, xyzCurve, traversal1, traversal2))                \
    X(KWPIModel, xrchandle<KPIEdge>, CreatePIEdgeWithUVCurves,                 \
      (int id, int idFace1, int idFace2, xrchandle<KPICurve> curve1,           \
       xrchandle<KPICurve> curve2, KTraversal traversal1, KTraversal traversal2), \
      (id, idFace1, idFace2, curve1, curve2, traversal1, traversal2))          \
    X(KWPIModel, xrchandle<KPIEdge>, CreatePIEdgeWithXYZandUVCurves,           \
      (int id, int idFace1, int idFace2, KTraversal traversal1, KTraversal traversal2, \
       xrchandle<KPICurve> xyzCurve, xrchandle<KPICurve> curve1, xrchandle<KPICurve> curve2), \
      (id, idFace1, idFace2, traversal1, traversal2, xyzCurve, curve1, curve2)) \
    X(KWPIModel, xrchandle<KPIFace>, CreatePIFace,                             \
      (int id, xrchandle<KBoxUV> uvExtent, KPISurfOrient orientation,          \
       xrchandle<KPISurface> surface, xrchandle<KPILoopList> loops),           \
      (id, uvExtent, orientation, surface, loops))                             \
    X(KWPIModel, xrchandle<KPIQuilt>, CreatePIQuilt,                           \
      (int id, xrchandle<KPIFaceList> faces), (id, faces))                     \
    X(KWPIModel, xrchandle<KPIDatum>, CreatePIDatum,                           \
      (int id, const char* name, xrchandle<KCsys> csys, xrchandle<KPICurve> curve, \
       xrchandle<KPIPlane> plane), (id, name, csys, curve, plane))             \
    X(KWPIModel, xrchandle<KPILoop>, CreatePILoop,                             \
      (KPILoopTraversal traversal, xrchandle<xintsequence> edgeIds), (traversal, edgeIds)) \
    X(KWPIModel, void, SetAccuracy, (KAccuracyType type, double value), (type, value)) \
    X(KWPIModel, void, SetOutline, (xrchandle<KBox3D> outline), (outline))     \
    X(KWPIModel, void, SetPIDatums, (xrchandle<KPIDatumList> datums), (datums)) \
    X(KWPIModel, void, SetPIEdges, (xrchandle<KPIEdgeList> edges), (edges))    \
    X(KWPIModel, void, SetPIFaces, (xrchandle<KPIFaceList> faces), (faces))    \
    X(KWPIModel, void, SetPIQuilts, (xrchandle<KPIQuiltList> quilts), (quilts)) \
    X(KWPIModel, void, SaveAsNeutral, (xrchandle<KCStream> stream), (stream))  \
    X(KWPIModel, void, WriteZPI, (const char* path), (path))                   \
    X(KWPIModel, KAccuracyType, GetAccuracyType, (), ())                       \
    X(KWPIModel, double, GetAccuracy, (), ())                                  \
    X(KWPIModel, xrchandle<KBox3D>, GetOutline, (), ())                        \
    X(KWPIModel, xrchandle<KPIDatumList>, GetPIDatums, (), ())                 \
    X(KWPIModel, xrchandle<KPIEdgeList>, GetPIEdges, (), ())                   \
    X(KWPIModel, xrchandle<KPIFaceList>, GetPIFaces, (), ())                   \
    X(KWPIModel, xrchandle<KPIQuiltList>, GetPIQuilts, (), ())                 \
    X(KWPIModel, void, Close, (), ())                                          \
    X(KWPIModel, void, SetWPIModelExt, (xrchandle<KWPIModelExt> ext), (ext))   \
    X(KWPIModel, xrchandle<KWPIModelExt>, GetWPIModelExt, (), ())              \
    X(KWPIModel, void, AddPIDatum, (xrchandle<KPIDatum> datum), (datum))       \
    X(KWPIModel, int, CountPIDatums, (), ())                                   \
    X(KWPIModel, void, AddPIEdge, (xrchandle<KPIEdge> edge), (edge))           \
    X(KWPIModel, int, CountPIEdges, (), ())                                    \
    X(KWPIModel, void, AddPIFace, (xrchandle<KPIFace> face), (face))           \
    X(KWPIModel, int, CountPIFaces, (), ())                                    \
    X(KWPIModel, void, AddPIQuilt, (xrchandle<KPIQuilt> quilt), (quilt))       \
    X(KWPIModel, int, CountPIQuilts, (), ())                                   \
    X(KWPIModel, xrchandle<KPIDatum>, GetPIDatumByIndex, (int index), (index)) \
    X(KWPIModel, xrchandle<KPIEdge>, GetPIEdgeByIndex, (int index), (index))   \
    X(KWPIModel, xrchandle<KPIFace>, GetPIFaceByIndex, (int index), (index))   \
    X(KWPIModel, xrchandle<KPIQuilt>, GetPIQuiltByIndex, (int index), (index)) \
    X(KWPIModel, xrchandle<KPIReferenceColor>, GetPIModelReferenceColor, (), ())

#define ZPI_OPS_KWPISession(X)                                                 \
    X(KWPISession, xrchandle<KPIPoint>, CreatePIPoint, (xrchandle<KPoint3D> point), (point)) \
    X(KWPISession, xrchandle<KPILine>, CreatePILine,                           \
      (xrchandle<KPoint3D> end0, xrchandle<KPoint3D> end1), (end0, end1))      \
    X(KWPISession, xrchandle<KPIArc>, CreatePIArc,                             \
      (xrchandle<KCsys> csys, double end0, double end1, double radius),        \
      (csys, end0, end1, radius))                                              \
    X(KWPISession, xrchandle<KPIEllipse>, CreatePIEllipse,                     \
      (xrchandle<KCsys> csys, double c0, double c1, double end0, double end1), \
      (csys, c0, c1, end0, end1))                                              \
    X(KWPISession, xrchandle<KPISpline>, CreatePISpline,                       \
      (xrchandle<KPoint3DList> points, xrchandle<KVector3DList> tangents,      \
       xrchandle<xrealsequence> parameters), (points, tangents, parameters))   \
    X(KWPISession, xrchandle<KPIBspline>, CreatePIBspline,                     \
      (int degree, xrchandle<xrealsequence> parameters, xrchandle<xrealsequence> weights, \
       xrchandle<KPoint3DList> points), (degree, parameters, weights, points)) \
    X(KWPISession, xrchandle<KPICompositeCurve>, CreatePICompositeCurve,       \
      (xrchandle<KPICurveList> curves, xrchandle<xintsequence> traversals),    \
      (curves, traversals))                                                    \
    X(KWPISession, xrchandle<KPIPlane>, CreatePIPlane, (xrchandle<KCsys> csys), (csys)) \
    X(KWPISession, xrchandle<KPICylinder>, CreatePICylinder,                   \
      (xrchandle<KCsys> csys, double radius), (csys, radius))                  \
    X(KWPISession, xrchandle<KPICone>, CreatePICone,                           \
      (xrchandle<KCsys> csys, double halfAngle), (csys, halfAngle))            \
    X(KWPISession, xrchandle<KPITorus>, CreatePITorus,                         \
      (xrchandle<KCsys> csys, double r0, double r1), (csys, r0, r1))           \
    X(KWPISession, xrchandle<KPISrfRev>, CreatePIRevolved,                     \
      (xrchandle<KCsys> csys, xrchandle<KPICurve> curve), (csys, curve))       \
    X(KWPISession, xrchandle<KPIRulSrf>, CreatePIRuledSrf,                     \
      (xrchandle<KCsys> csys, xrchandle<KPICurve> curve1, xrchandle<KPICurve> curve2), \
      (csys, curve1, curve2))                                                  \
    X(KWPISession, xrchandle<KPITabCyl>, CreatePITabCylinder,                  \
      (xrchandle<KCsys> csys, xrchandle<KPICurve> curve), (csys, curve))       \
    X(KWPISession, xrchandle<KPIFilSrf>, CreatePIFilletSrf,                    \
      (xrchandle<KPISpline> pointSpline, xrchandle<KPISpline> centerSpline,    \
       xrchandle<KPISpline> tangentSpline), (pointSpline, centerSpline, tangentSpline)) \
    X(KWPISession, xrchandle<KPISplineSrf>, CreatePISplsrf,                    \
      (xrchandle<xrealsequence> uParameters, xrchandle<xrealsequence> vParameters, \
       xrchandle<KPoint3DList> points, xrchandle<KVector3DList> uTangents,     \
       xrchandle<KVector3DList> vTangents, xrchandle<KVector3DList> mixedDerivatives), \
      (uParameters, vParameters, points, uTangents, vTangents, mixedDerivatives)) \
    X(KWPISession, xrchandle<KPIBsplsrf>, CreatePIBsplsrf,                     \
      (int uDegree, int vDegree, xrchandle<xrealsequence> uParameters,         \
       xrchandle<xrealsequence> vParameters, xrchandle<KPoint3DList> points,   \
       xrchandle<xrealsequence> weights),                                      \
      (uDegree, vDegree, uParameters, vParameters, points, weights))           \
    X(KWPISession, xrchandle<KPICylSplSrf>, CreatePICylSplineSrf,              \
      (xrchandle<KCsys> csys, xrchandle<KPISplineSrf> splsrf), (csys, splsrf)) \
    X(KWPISession, xrchandle<KWPIModel>, CreatePIModel,                        \
      (KAccuracyType accuracyType, double accuracy), (accuracyType, accuracy)) \
    X(KWPISession, xrchandle<KWPIModelExt>, CreatePIModelExt, (), ())          \
    X(KWPISession, xrchandle<KWPIModel>, ReadZPI, (const char* path), (path))

// Every interface class with its parent interface (KCommon for the roots),
// parents before children.
#define ZPI_INTERFACES(X)                                                      \
    X(KPICurve, KCommon)                                                       \
    X(KPIPoint, KPICurve)                                                      \
    X(KPILine, KPICurve)                                                       \
    X(KPIArc, KPICurve)                                                        \
    X(KPIEllipse, KPICurve)                                                    \
    X(KPISpline, KPICurve)                                                     \
    X(KPIBspline, KPICurve)                                                    \
    X(KPICompositeCurve, KPICurve)                                             \
    X(KPISurface, KCommon)                                                     \
    X(KPIPlane, KPISurface)                                                    \
    X(KPICylinder, KPISurface)                                                 \
    X(KPICone, KPISurface)                                                     \
    X(KPITorus, KPISurface)                                                    \
    X(KPISrfRev, KPISurface)                                                   \
    X(KPIRulSrf, KPISurface)                                                   \
    X(KPITabCyl, KPISurface)                                                   \
    X(KPIFilSrf, KPISurface)                                                   \
    X(KPISplineSrf, KPISurface)                                                \
    X(KPIBsplsrf, KPISurface)                                                  \
    X(KPICylSplSrf, KPISurface)                                                \
    X(KPIItem, KCommon)                                                        \
    X(KPIFace, KPIItem)                                                        \
    X(KPIEdge, KPIItem)                                                        \
    X(KPIDatum, KPIItem)                                                       \
    X(KPIQuilt, KPIItem)                                                       \
    X(KPILoop, KCommon)                                                        \
    X(KPIUnit, KCommon)                                                        \
    X(KPILengthUnit, KPIUnit)                                                  \
    X(KPIMassUnit, KPIUnit)                                                    \
    X(KPINameAttribute, KCommon)                                               \
    X(KPIGeneralAttribute, KCommon)                                            \
    X(KPIReferenceColor, KCommon)                                              \
    X(KPIElementColor, KCommon)                                                \
    X(KPILayer, KCommon)                                                       \
    X(KPIFacetVtx, KCommon)                                                    \
    X(KPIFacetVtxdata, KCommon)                                                \
    X(KPIFacetdata, KCommon)                                                   \
    X(KPIFacetedRep, KCommon)                                                  \
    X(KWPIModelExt, KCommon)                                                   \
    X(KWPIModel, KCommon)                                                      \
    X(KWPISession, KCommon)

// The list classes with their element interface.
#define ZPI_LISTS(X)                                                           \
    X(KPICurveList, KPICurve)                                                  \
    X(KPILoopList, KPILoop)                                                    \
    X(KPIEdgeList, KPIEdge)                                                    \
    X(KPIFaceList, KPIFace)                                                    \
    X(KPIDatumList, KPIDatum)                                                  \
    X(KPIQuiltList, KPIQuilt)                                                  \
    X(KPIGeneralAttributeList, KPIGeneralAttribute)                            \
    X(KPINameAttributeList, KPINameAttribute)                                  \
    X(KPIUnitList, KPIUnit)                                                    \
    X(KPILayerList, KPILayer)                                                  \
    X(KPIReferenceColorList, KPIReferenceColor)                                \
    X(KPIElementColorList, KPIElementColor)                                    \
    X(KPIFacetVtxList, KPIFacetVtx)                                            \
    X(KPIFacetVtxdataList, KPIFacetVtxdata)                                    \
    X(KPIFacetdataList, KPIFacetdata)                                          \
    X(KPIFacetedRepList, KPIFacetedRep)

// KCommon adds no operation of its own to the tables (its _CastToImpl is
// answered by every implementation through ZPI_IMPLEMENTS).
#define ZPI_OPS_KCommon(X)
