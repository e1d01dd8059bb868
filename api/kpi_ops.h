// Operation tables of every interface class, one list per interface in
// slot order. Each entry is X(Interface, Result, Name, (parameters),
// (argument names), "what it does"). The interface declarations, the
// forwarding and journal wrappers and the tests are all generated from
// these lists, so an operation is named in one place only.
//
// The text of an entry is its line in the API reference (docs/api.md, made
// from these tables by tools/api_reference; a test fails when an operation
// has no text or the reference is not what the tables make). It says what
// the operation does or answers and what it raises, in the reference's
// notation: (i, c) is a KXInvalidArg for argument i (from 1) with code c
// (0 null, 1 a bad value, 6 too few elements, 7 counts that disagree or a
// bad element, 17 an index out of range), "status s" a KXSimple. "Record
// mode" is the default storage mode, "cache mode" the one that
// set_gw_cpid_enable(0) selects.
#pragma once

// ---- curves ------------------------------------------------------------
#define ZPI_OPS_KPICurve(X)                                                    \
    X(KPICurve, KPICurveType, GetPICurveType, (), (),                          \
      "The curve's kind, KPICURV_POINT to KPICURV_COMP: it says which "        \
      "interface the curve is (cast with KPIArc::cast(curve.get()) while "     \
      "the handle is held).")

#define ZPI_OPS_KPIPoint(X)                                                    \
    X(KPIPoint, xrchandle<KPoint3D>, GetPoint3D, (), (),                       \
      "The point. Record mode: a new KPoint3D on every call; cache mode: "     \
      "the very KPoint3D given to CreatePIPoint.")

#define ZPI_OPS_KPILine(X)                                                     \
    X(KPILine, xrchandle<KPoint3D>, GetEnd0, (), (),                           \
      "The start point (a new KPoint3D in record mode; the point given in "    \
      "cache mode).")                                                          \
    X(KPILine, xrchandle<KPoint3D>, GetEnd1, (), (),                           \
      "The end point (a new KPoint3D in record mode; the point given in "      \
      "cache mode).")

#define ZPI_OPS_KPIArc(X)                                                      \
    X(KPIArc, double, GetEnd0, (), (),                                         \
      "The start angle, measured in the x-y plane of GetCsys from its x "      \
      "axis.")                                                                 \
    X(KPIArc, double, GetEnd1, (), (),                                         \
      "The end angle, measured as GetEnd0.")                                   \
    X(KPIArc, double, GetRadius, (), (),                                       \
      "The radius.")                                                           \
    X(KPIArc, xrchandle<KCsys>, GetCsys, (), (),                               \
      "The arc's frame: its centre at the origin, in the plane of the x and "  \
      "y axes. Record mode: a new KCsys rebuilt from origin, x and y axis; "   \
      "cache mode: the KCsys given.")

#define ZPI_OPS_KPIEllipse(X)                                                  \
    X(KPIEllipse, double, GetC0, (), (),                                       \
      "The major length, along the x axis of GetCsys.")                        \
    X(KPIEllipse, double, GetC1, (), (),                                       \
      "The minor length, along the y axis of GetCsys.")                        \
    X(KPIEllipse, double, GetEnd0, (), (),                                     \
      "The start angle.")                                                      \
    X(KPIEllipse, double, GetEnd1, (), (),                                     \
      "The end angle.")                                                        \
    X(KPIEllipse, xrchandle<KCsys>, GetCsys, (), (),                           \
      "The ellipse's frame: centre at the origin, major axis x, minor axis "   \
      "y (a new KCsys in record mode; the KCsys given in cache mode).")

#define ZPI_OPS_KPISpline(X)                                                   \
    X(KPISpline, xrchandle<KPoint3DList>, GetPoints, (), (),                   \
      "The points the spline passes through, one per parameter (a new list "   \
      "in record mode; the list given in cache mode).")                        \
    X(KPISpline, xrchandle<KVector3DList>, GetTangents, (), (),                \
      "The tangent at each point (a new list in record mode; the list given "  \
      "in cache mode).")                                                       \
    X(KPISpline, xrchandle<xrealsequence>, GetParameters, (), (),              \
      "The parameter of each point, increasing unless a document held the "    \
      "spline as earlier versions wrote it (see ReadZPI) (a new sequence in "  \
      "record mode; the one given in cache mode).")

#define ZPI_OPS_KPIBspline(X)                                                  \
    X(KPIBspline, int, GetDegree, (), (),                                      \
      "The degree, as given.")                                                 \
    X(KPIBspline, xrchandle<xrealsequence>, GetParameters, (), (),             \
      "The knot vector (a new sequence in record mode; the one given in "      \
      "cache mode).")                                                          \
    X(KPIBspline, xrchandle<xrealsequence>, GetWeights, (), (),                \
      "One weight per control point; a null handle for a non-rational "        \
      "curve.")                                                                \
    X(KPIBspline, xrchandle<KPoint3DList>, GetPoints, (), (),                  \
      "The control points given to CreatePIBspline. Record mode keeps them "   \
      "multiplied by their weights and divides the weights out again here, "   \
      "so the points of a rational curve come back within an ulp of those "    \
      "given, not always bit for bit; cache mode gives them as given.")

#define ZPI_OPS_KPICompositeCurve(X)                                           \
    X(KPICompositeCurve, xrchandle<KPICurveList>, GetCurves, (), (),           \
      "The member curves in order. Record mode: new curve objects over the "   \
      "copies that the composite keeps (each keeps the composite alive), "     \
      "null when there are none; cache mode: the list given.")                 \
    X(KPICompositeCurve, xrchandle<xintsequence>, GetTraversals, (), (),       \
      "The traversal of each member curve, 0 or 1 (a new sequence in record "  \
      "mode, null when there are none; the one given in cache mode).")

// ---- surfaces ----------------------------------------------------------
#define ZPI_OPS_KPISurface(X)                                                  \
    X(KPISurface, KPISurfType, GetPISurfaceType, (), (),                       \
      "The surface's kind, KPISURF_PLANE to KPISURF_CYLSPLN: it says which "   \
      "interface the surface is (cast while the handle is held).")

#define ZPI_OPS_KPIPlane(X)                                                    \
    X(KPIPlane, xrchandle<KCsys>, GetCsys, (), (),                             \
      "The plane's frame: the plane runs through the origin along the x and "  \
      "y axes (a new KCsys in record mode; the KCsys given in cache mode).")

#define ZPI_OPS_KPICylinder(X)                                                 \
    X(KPICylinder, double, GetRadius, (), (),                                  \
      "The radius.")                                                           \
    X(KPICylinder, xrchandle<KCsys>, GetCsys, (), (),                          \
      "The surface's frame (a new KCsys rebuilt from origin, x and y axis "    \
      "in record mode; the KCsys given in cache mode).")

#define ZPI_OPS_KPICone(X)                                                     \
    X(KPICone, double, GetHalfAngle, (), (),                                   \
      "The half angle.")                                                       \
    X(KPICone, xrchandle<KCsys>, GetCsys, (), (),                              \
      "The surface's frame (a new KCsys rebuilt from origin, x and y axis "    \
      "in record mode; the KCsys given in cache mode).")

#define ZPI_OPS_KPITorus(X)                                                    \
    X(KPITorus, double, GetR0, (), (),                                         \
      "The first radius, r0.")                                                 \
    X(KPITorus, double, GetR1, (), (),                                         \
      "The second radius, r1.")                                                \
    X(KPITorus, xrchandle<KCsys>, GetCsys, (), (),                             \
      "The surface's frame (a new KCsys rebuilt from origin, x and y axis "    \
      "in record mode; the KCsys given in cache mode).")

#define ZPI_OPS_KPISrfRev(X)                                                   \
    X(KPISrfRev, xrchandle<KPICurve>, GetCurve, (), (),                        \
      "The profile curve. Record mode: a new curve object over the copy "      \
      "that the surface keeps (it keeps the surface alive); cache mode: the "  \
      "curve given.")                                                          \
    X(KPISrfRev, xrchandle<KCsys>, GetCsys, (), (),                            \
      "The surface's frame (a new KCsys rebuilt from origin, x and y axis "    \
      "in record mode; the KCsys given in cache mode).")

#define ZPI_OPS_KPIRulSrf(X)                                                   \
    X(KPIRulSrf, xrchandle<KCsys>, GetCsys, (), (),                            \
      "The surface's frame (a new KCsys rebuilt from origin, x and y axis "    \
      "in record mode; the KCsys given in cache mode).")                       \
    X(KPIRulSrf, xrchandle<KPICurve>, GetCurve1, (), (),                       \
      "The first curve (record mode: a new object over the surface's copy, "   \
      "keeping the surface alive; cache mode: the curve given).")              \
    X(KPIRulSrf, xrchandle<KPICurve>, GetCurve2, (), (),                       \
      "The second curve (as GetCurve1).")

#define ZPI_OPS_KPITabCyl(X)                                                   \
    X(KPITabCyl, xrchandle<KCsys>, GetCsys, (), (),                            \
      "The surface's frame (a new KCsys rebuilt from origin, x and y axis "    \
      "in record mode; the KCsys given in cache mode).")                       \
    X(KPITabCyl, xrchandle<KPICurve>, GetCurve, (), (),                        \
      "The generating curve (record mode: a new object over the surface's "    \
      "copy, keeping the surface alive; cache mode: the curve given).")

#define ZPI_OPS_KPIFilSrf(X)                                                   \
    X(KPIFilSrf, xrchandle<KPISpline>, GetPointSpline, (), (),                 \
      "The point spline. Record mode: a new KPISpline holding its own copy; "  \
      "cache mode: the spline given.")                                         \
    X(KPIFilSrf, xrchandle<KPISpline>, GetCenterSpline, (), (),                \
      "The centre spline (as GetPointSpline).")                                \
    X(KPIFilSrf, xrchandle<KPISpline>, GetTangentSpline, (), (),               \
      "The tangent spline (as GetPointSpline).")

#define ZPI_OPS_KPISplineSrf(X)                                                \
    X(KPISplineSrf, xrchandle<xrealsequence>, GetUParameters, (), (),          \
      "The u parameters of the grid (a new sequence in record mode, null "     \
      "when empty; the one given in cache mode).")                             \
    X(KPISplineSrf, xrchandle<xrealsequence>, GetVParameters, (), (),          \
      "The v parameters of the grid (as GetUParameters).")                     \
    X(KPISplineSrf, xrchandle<KPoint3DList>, GetPoints, (), (),                \
      "The points of the grid (a new list in record mode, null when empty; "   \
      "the one given in cache mode).")                                         \
    X(KPISplineSrf, xrchandle<KVector3DList>, GetUTangents, (), (),            \
      "The tangents in u (a new list in record mode, null when empty; the "    \
      "one given in cache mode).")                                             \
    X(KPISplineSrf, xrchandle<KVector3DList>, GetVTangents, (), (),            \
      "The tangents in v (as GetUTangents).")                                  \
    X(KPISplineSrf, xrchandle<KVector3DList>, GetMixedDerivatives, (), (),     \
      "The mixed derivatives (as GetUTangents).")

#define ZPI_OPS_KPIBsplsrf(X)                                                  \
    X(KPIBsplsrf, int, GetUDegree, (), (),                                     \
      "The degree in u, as given.")                                            \
    X(KPIBsplsrf, int, GetVDegree, (), (),                                     \
      "The degree in v, as given.")                                            \
    X(KPIBsplsrf, xrchandle<xrealsequence>, GetUParameters, (), (),            \
      "The knot vector in u (a new sequence in record mode; the one given "    \
      "in cache mode).")                                                       \
    X(KPIBsplsrf, xrchandle<xrealsequence>, GetVParameters, (), (),            \
      "The knot vector in v (as GetUParameters).")                             \
    X(KPIBsplsrf, xrchandle<KPoint3DList>, GetPoints, (), (),                  \
      "The control points given, as KPIBspline's GetPoints gives them: "       \
      "those of a rational surface within an ulp in record mode, which keeps " \
      "them multiplied by their weights.")                                     \
    X(KPIBsplsrf, xrchandle<xrealsequence>, GetWeights, (), (),                \
      "One weight per control point; a null handle for a non-rational "        \
      "surface.")

#define ZPI_OPS_KPICylSplSrf(X)                                                \
    X(KPICylSplSrf, xrchandle<KCsys>, GetCsys, (), (),                         \
      "The surface's frame (a new KCsys rebuilt from origin, x and y axis "    \
      "in record mode; the KCsys given in cache mode).")                       \
    X(KPICylSplSrf, xrchandle<KPISplineSrf>, GetSplsrf, (), (),                \
      "The spline surface. Record mode: a new KPISplineSrf holding its own "   \
      "copy; cache mode: the one given.")

// ---- topology ----------------------------------------------------------
#define ZPI_OPS_KPIItem(X)                                                     \
    X(KPIItem, int, GetId, (), (),                                             \
      "The item's id, as given to its create operation (or as stored in the "  \
      "model's records).")                                                     \
    X(KPIItem, KPIItemType, GetItemType, (), (),                               \
      "The item's kind: KPI_FACE, KPI_EDGE, KPI_QUILT, or for a datum "        \
      "KPI_DATUM_CSYS, KPI_DATUM_CURVE or KPI_DATUM_PLANE.")

#define ZPI_OPS_KPILoop(X)                                                     \
    X(KPILoop, KPILoopTraversal, GetPILoopTraversal, (), (),                   \
      "Whether the loop is the outer boundary of its face "                    \
      "(KPI_LOOP_TRAV_EXTERNAL) or an inner one (KPI_LOOP_TRAV_INTERNAL); "    \
      "KPI_LOOP_TRAV_NONE when it was not defined.")                           \
    X(KPILoop, xrchandle<xintsequence>, GetEdgeIds, (), (),                    \
      "The ids of the loop's edges in order (a new sequence in record mode, "  \
      "null when it has none; the one given in cache mode).")

#define ZPI_OPS_KPIFace(X)                                                     \
    X(KPIFace, xrchandle<KBoxUV>, GetPIFaceUVExtent, (), (),                   \
      "The face's box in the surface's UV space (a new KBoxUV in record "      \
      "mode; the box given in cache mode, null when none was).")               \
    X(KPIFace, KPISurfOrient, GetPISurfaceOrientation, (), (),                 \
      "Whether the face's normal runs with (KPISURFACE_ORIENT_POSITIVE) or "   \
      "against (KPISURFACE_ORIENT_NEGATIVE) the surface's; "                   \
      "KPISURFACE_ORIENT_NONE when not defined, which SaveAsNeutral writes "   \
      "as positive, and tells.")                                               \
    X(KPIFace, xrchandle<KPISurface>, GetPISurface, (), (),                    \
      "The face's surface. Record mode: a new object over the face's own "     \
      "copy on every call (it keeps the face alive); cache mode: the "         \
      "surface given. Hold it in a handle while a cast of it is used.")        \
    X(KPIFace, xrchandle<KPILoopList>, GetPILoopList, (), (),                  \
      "The face's loops (record mode: new objects over the face's records, "   \
      "null when it has none; cache mode: the list given).")

#define ZPI_OPS_KPIEdge(X)                                                     \
    X(KPIEdge, int, GetEdgeType, (), (),                                       \
      "What the edge carries, as bits: 1 a 3D curve, 2 UV points, 4 UV "       \
      "curves; 0x80000000 when it carries none.")                              \
    X(KPIEdge, int, GetIdFace1, (), (),                                        \
      "The id of the face on side 1 (negative: no face on that side).")        \
    X(KPIEdge, int, GetIdFace2, (), (),                                        \
      "The id of the face on side 2 (negative: no face on that side).")        \
    X(KPIEdge, xrchandle<KPointUVList>, GetSrfPoints1, (), (),                 \
      "The edge's points in the UV space of face 1 (record mode: a new "       \
      "list, null unless the edge was made with points; cache mode: the "      \
      "list given).")                                                          \
    X(KPIEdge, xrchandle<KPointUVList>, GetSrfPoints2, (), (),                 \
      "The edge's points in the UV space of face 2 (as GetSrfPoints1).")       \
    X(KPIEdge, xrchandle<KPICurve>, GetXYZCurve, (), (),                       \
      "The edge's 3D curve, null when it has none. Record mode: a new "        \
      "object over the edge's copy on every call (it keeps the edge alive); "  \
      "cache mode: the curve given. "                                          \
      "KPILine::cast(edge->GetXYZCurve().get()) dangles: keep the handle.")    \
    X(KPIEdge, xrchandle<KPICurve>, GetCurve1, (), (),                         \
      "The edge's curve in the UV space of face 1, null when it has none "     \
      "(as GetXYZCurve).")                                                     \
    X(KPIEdge, xrchandle<KPICurve>, GetCurve2, (), (),                         \
      "The edge's curve in the UV space of face 2, null when it has none "     \
      "(as GetXYZCurve).")                                                     \
    X(KPIEdge, KTraversal, GetTraversal1, (), (),                              \
      "The edge's traversal on side 1, as given.")                             \
    X(KPIEdge, KTraversal, GetTraversal2, (), (),                              \
      "The edge's traversal on side 2, as given.")

#define ZPI_OPS_KPIDatum(X)                                                    \
    X(KPIDatum, xstring, GetName, (), (),                                      \
      "The datum's name.")                                                     \
    X(KPIDatum, xrchandle<KCsys>, GetCsys, (), (),                             \
      "The frame of a coordinate-system datum (a new KCsys in record mode); "  \
      "null for a datum of another kind.")                                     \
    X(KPIDatum, xrchandle<KPICurve>, GetCurve, (), (),                         \
      "The curve of a curve datum (record mode: a new object over the "        \
      "datum's copy, keeping the datum alive); null for another kind.")        \
    X(KPIDatum, xrchandle<KPIPlane>, GetPlane, (), (),                         \
      "The plane of a plane datum (record mode: a new KPIPlane); null for "    \
      "another kind.")

#define ZPI_OPS_KPIQuilt(X)                                                    \
    X(KPIQuilt, xrchandle<KPIFaceList>, GetFaces, (), (),                      \
      "The quilt's faces (record mode: new objects over the quilt's copies, "  \
      "null when it has none; cache mode: the list given).")

// ---- metadata ----------------------------------------------------------
#define ZPI_OPS_KPIUnit(X)                                                     \
    X(KPIUnit, xstring, GetName, (), (),                                       \
      "The unit's name: INCH, MM, KILOGRAM... for a unit from the table, "     \
      "else the name given.")                                                  \
    X(KPIUnit, double, GetFactor, (), (),                                      \
      "The size of one unit in inches (a length unit) or pounds (a mass "      \
      "unit).")                                                                \
    X(KPIUnit, KPIUnitType, GetType, (), (),                                   \
      "KPI_LENGTH or KPI_MASS.")

#define ZPI_OPS_KPILengthUnit(X)
#define ZPI_OPS_KPIMassUnit(X)

#define ZPI_OPS_KPINameAttribute(X)                                            \
    X(KPINameAttribute, xstring, GetName, (), (),                              \
      "The name given to the item.")                                           \
    X(KPINameAttribute, void, SetName, (const char* name), (name),             \
      "Renames. Raises (1, 0) for a null name and (1, 1) for one of 32 "       \
      "characters or more or one that is not a name a document can carry "     \
      "(see Names under Conventions), keeping the old name.")                  \
    X(KPINameAttribute, int, GetItemId, (), (),                                \
      "The id of the named item.")                                             \
    X(KPINameAttribute, KPIItemType, GetItemType, (), (),                      \
      "The named item's kind (KPI_FACE for one created as KPI_DATUM_PLANE: "   \
      "both are stored alike).")

#define ZPI_OPS_KPIGeneralAttribute(X)                                         \
    X(KPIGeneralAttribute, xstring, GetName, (), (),                           \
      "The attribute's name.")                                                 \
    X(KPIGeneralAttribute, void, SetName, (const char* name), (name),          \
      "Renames. Raises (1, 0) for a null name and (1, 1) for one of 32 "       \
      "characters or more or one that is not a name a document can carry "     \
      "(see Names under Conventions), keeping the old name.")                  \
    X(KPIGeneralAttribute, xany, GetValue, (), (),                             \
      "The value: an int, a double or a text; a null xany when the "           \
      "attribute has none.")                                                   \
    X(KPIGeneralAttribute, void, SetValue, (xany value), (value),              \
      "Sets the value: an int, a double or a text of at most 31 characters; "  \
      "a value of any other kind (null, boolean, object) leaves the value "    \
      "as it was. Raises (1, 1) for a longer text or one that a document "     \
      "cannot carry (see Names under Conventions).")                           \
    X(KPIGeneralAttribute, int, GetItemId, (), (),                             \
      "The id of the item the attribute belongs to.")                          \
    X(KPIGeneralAttribute, KPIItemType, GetItemType, (), (),                   \
      "The kind of that item (KPI_FACE for one created as KPI_DATUM_PLANE).")

#define ZPI_OPS_KPIReferenceColor(X)                                           \
    X(KPIReferenceColor, xrchandle<KColorRGB>, GetColor, (), (),               \
      "The colour, red, green and blue (a new KColorRGB).")                    \
    X(KPIReferenceColor, void, SetColor, (xrchandle<KColorRGB> color), (color), \
      "Sets the colour. Raises (1, 0) for a null colour.")                     \
    X(KPIReferenceColor, double, GetAmbient, (), (),                           \
      "The ambient value.")                                                    \
    X(KPIReferenceColor, void, SetAmbient, (double value), (value),            \
      "Sets the ambient value (neither checked nor clamped).")                 \
    X(KPIReferenceColor, double, GetDiffuse, (), (),                           \
      "The diffuse value.")                                                    \
    X(KPIReferenceColor, void, SetDiffuse, (double value), (value),            \
      "Sets the diffuse value (neither checked nor clamped).")                 \
    X(KPIReferenceColor, double, GetSpecular, (), (),                          \
      "The specular value.")                                                   \
    X(KPIReferenceColor, void, SetSpecular, (double value), (value),           \
      "Sets the specular value (neither checked nor clamped).")                \
    X(KPIReferenceColor, double, GetSpecularCoefficient, (), (),               \
      "The specular coefficient value.")                                       \
    X(KPIReferenceColor, void, SetSpecularCoefficient, (double value), (value), \
      "Sets the specular coefficient value (neither checked nor clamped).")    \
    X(KPIReferenceColor, double, GetTransmission, (), (),                      \
      "The transmission value.")                                               \
    X(KPIReferenceColor, void, SetTransmission, (double value), (value),       \
      "Sets the transmission value (neither checked nor clamped).")            \
    X(KPIReferenceColor, xrchandle<KColorRGB>, GetHighlight, (), (),           \
      "The highlight colour (a new KColorRGB).")                               \
    X(KPIReferenceColor, void, SetHighlight,                                   \
      (xrchandle<KColorRGB> color),                                            \
      (color),                                                                 \
      "Sets the highlight colour. Raises (1, 0) for a null colour.")           \
    X(KPIReferenceColor, double, GetReflection, (), (),                        \
      "The reflection value.")                                                 \
    X(KPIReferenceColor, void, SetReflection, (double value), (value),         \
      "Sets the reflection value (neither checked nor clamped).")

#define ZPI_OPS_KPIElementColor(X)                                             \
    X(KPIElementColor, int, GetItemId, (), (),                                 \
      "The item that the colours belong to (-1: the model itself).")           \
    X(KPIElementColor, int, GetReferenceColorIndex, (int which), (which),      \
      "`which` 0 gives the first reference-colour index, any other value "     \
      "the second: positions in the model extension's reference colours, -1 "  \
      "for none.")

#define ZPI_OPS_KPILayer(X)                                                    \
    X(KPILayer, xstring, GetName, (), (),                                      \
      "The layer's name, fixed at creation.")                                  \
    X(KPILayer, KPILayerStatus, GetStatus, (), (),                             \
      "KPILAYER_STATUS_NORMAL, _DISPLAY or _BLANKED; 3 and 4 for a status "    \
      "read from the host that has no enumerator.")                            \
    X(KPILayer, void, SetStatus, (KPILayerStatus status), (status),            \
      "Sets the status; a value other than 0 to 3 is stored as 'none' and "    \
      "reads back as 4.")                                                      \
    X(KPILayer, xrchandle<xintsequence>, GetPIItemList, (), (),                \
      "The ids of the items on the layer, in order (a new sequence, empty "    \
      "when there are none).")                                                 \
    X(KPILayer, void, SetPIItemList, (xrchandle<xintsequence> items), (items), \
      "Replaces the layer's item ids. Raises (1, 0) for a null sequence.")     \
    X(KPILayer, void, AddPIItem, (xrchandle<KPIItem> item), (item),            \
      "Puts the item's id on the layer unless it is there already (items of "  \
      "different kinds with the same id count as one). Raises (1, 0) for a "   \
      "null item.")                                                            \
    X(KPILayer, void, RemovePIItem, (xrchandle<KPIItem> item), (item),         \
      "Takes the item's id off the layer; nothing when it is not there. "      \
      "Raises (1, 0) for a null item.")                                        \
    X(KPILayer, int, GetLayerId, (), (),                                       \
      "The layer's id; -1 for a new layer.")                                   \
    X(KPILayer, void, SetLayerId, (int id), (id),                              \
      "Sets the layer's id (not checked).")

// ---- faceted representations --------------------------------------------
#define ZPI_OPS_KPIFacetVtx(X)                                                 \
    X(KPIFacetVtx, xrchandle<KPoint3D>, GetVtxPoint, (), (),                   \
      "The vertex's position (a new KPoint3D).")                               \
    X(KPIFacetVtx, void, SetVtxPoint, (xrchandle<KPoint3D> point), (point),    \
      "Moves the vertex. Raises (1, 0) for a null point.")                     \
    X(KPIFacetVtx, int, GetNeighbourFacetIdx, (), (),                          \
      "The index of a facet next to the vertex.")                              \
    X(KPIFacetVtx, void, SetNeighbourFacetIdx, (int index), (index),           \
      "Sets that index. Raises (1, 1) for a negative index "                   \
      "(CreatePIFacetVtx takes -1).")

#define ZPI_OPS_KPIFacetVtxdata(X)                                             \
    X(KPIFacetVtxdata, xrchandle<KVector3D>, GetNormal, (), (),                \
      "The normal at the vertex (a new KVector3D).")                           \
    X(KPIFacetVtxdata, void, SetNormal,                                        \
      (xrchandle<KVector3D> normal),                                           \
      (normal),                                                                \
      "Sets the normal. Raises (1, 0) for a null vector.")                     \
    X(KPIFacetVtxdata, xrchandle<KPointUV>, GetTextureUV, (), (),              \
      "The texture coordinates (a new KPointUV).")                             \
    X(KPIFacetVtxdata, void, SetTextureUV, (xrchandle<KPointUV> uv), (uv),     \
      "Sets the texture coordinates. Raises (1, 0) for a null point.")

#define ZPI_OPS_KPIFacetdata(X)                                                \
    X(KPIFacetdata, xrchandle<xintsequence>, GetVtxIndices, (), (),            \
      "The facet's three vertex indices (positions in its representation's "   \
      "vertex list); null when unset.")                                        \
    X(KPIFacetdata, void, SetVtxIndices,                                       \
      (xrchandle<xintsequence> indices),                                       \
      (indices),                                                               \
      "Sets them; -1 marks one unset. Raises (1, 0) for a null sequence and "  \
      "(1, 1) for one that does not hold exactly 3.")                          \
    X(KPIFacetdata, xrchandle<xintsequence>, GetVtxdataIndices, (), (),        \
      "The three vertex-data indices; null when unset.")                       \
    X(KPIFacetdata, void, SetVtxdataIndices,                                   \
      (xrchandle<xintsequence> indices),                                       \
      (indices),                                                               \
      "Sets them (as SetVtxIndices).")                                         \
    X(KPIFacetdata, xrchandle<xintsequence>, GetNeighbourFacetIndices, (), (), \
      "The indices of the three neighbouring facets; null when unset.")        \
    X(KPIFacetdata, void, SetNeighbourFacetIndices,                            \
      (xrchandle<xintsequence> indices),                                       \
      (indices),                                                               \
      "Sets them (as SetVtxIndices).")                                         \
    X(KPIFacetdata, xrchandle<KVector3D>, GetNormal, (), (),                   \
      "The facet's normal (a new KVector3D).")                                 \
    X(KPIFacetdata, void, SetNormal, (xrchandle<KVector3D> normal), (normal),  \
      "Sets the normal. Raises (1, 0) for a null vector.")

#define ZPI_OPS_KPIFacetedRep(X)                                               \
    X(KPIFacetedRep, xrchandle<KPIFacetVtx>, CreatePIFacetVtx,                 \
      (xrchandle<KPoint3D> point, int neighbourFacetIdx),                      \
      (point, neighbourFacetIdx),                                              \
      "A new vertex at `point` with a neighbouring facet's index (not "        \
      "checked here); part of the representation only once stored with "       \
      "SetPIFacetVtxList. Raises (1, 0) for a null point.")                    \
    X(KPIFacetedRep, xrchandle<KPIFacetVtxdata>, CreatePIFacetVtxdata,         \
      (xrchandle<KVector3D> normal, xrchandle<KPointUV> textureUV),            \
      (normal, textureUV),                                                     \
      "New vertex data: a normal and texture coordinates; stored with "        \
      "SetPIFacetVtxdataList. Raises (1, 0) for a null normal, (2, 0) for a "  \
      "null texture point.")                                                   \
    X(KPIFacetedRep, xrchandle<KPIFacetdata>, CreatePIFacetdata,               \
      (xrchandle<KVector3D> normal, xrchandle<xintsequence> vtxIndices,        \
       xrchandle<xintsequence> vtxdataIndices,                                 \
       xrchandle<xintsequence> neighbourIndices),                              \
      (normal, vtxIndices, vtxdataIndices, neighbourIndices),                  \
      "A new triangular facet: its normal, three vertex indices and, each "    \
      "optional (null: unset), three vertex-data indices and three "           \
      "neighbouring facets; stored with SetPIFacetdataList. Raises (1, 0) "    \
      "for a null normal, (2, 0) for null vertex indices, and (2, 1), "        \
      "(3, 1) or (4, 1) for a sequence that does not hold exactly 3.")         \
    X(KPIFacetedRep, int, GetId, (), (),                                       \
      "The representation's id.")                                              \
    X(KPIFacetedRep, void, SetPIFacetVtxList,                                  \
      (xrchandle<KPIFacetVtxList> list),                                       \
      (list),                                                                  \
      "Replaces the representation's vertices by copies of those in the "      \
      "list; indices are not compared with the lists' sizes. Raises (1, 0) "   \
      "for a null list, (1, 1) for an empty one or a null element; nothing "   \
      "changes then.")                                                         \
    X(KPIFacetedRep, xrchandle<KPIFacetVtxList>, GetPIFacetVtxList, (), (),    \
      "New copies of the vertices, in order; null (not an empty list) when "   \
      "there are none. Changing them changes nothing until they are stored "   \
      "again.")                                                                \
    X(KPIFacetedRep, void, SetPIFacetVtxdataList,                              \
      (xrchandle<KPIFacetVtxdataList> list),                                   \
      (list),                                                                  \
      "Replaces the representation's vertex data by copies of those in the "   \
      "list; indices are not compared with the lists' sizes. Raises (1, 0) "   \
      "for a null list, (1, 1) for an empty one or a null element; nothing "   \
      "changes then.")                                                         \
    X(KPIFacetedRep, xrchandle<KPIFacetVtxdataList>, GetPIFacetVtxdataList,    \
      (),                                                                      \
      (),                                                                      \
      "New copies of the vertex data, in order; null (not an empty list) "     \
      "when there are none. Changing them changes nothing until they are "     \
      "stored again.")                                                         \
    X(KPIFacetedRep, void, SetPIFacetdataList,                                 \
      (xrchandle<KPIFacetdataList> list),                                      \
      (list),                                                                  \
      "Replaces the representation's facets by copies of those in the list; "  \
      "indices are not compared with the lists' sizes. Raises (1, 0) for a "   \
      "null list, (1, 1) for an empty one or a null element; nothing "         \
      "changes then.")                                                         \
    X(KPIFacetedRep, xrchandle<KPIFacetdataList>, GetPIFacetdataList, (), (),  \
      "New copies of the facets, in order; null (not an empty list) when "     \
      "there are none. Changing them changes nothing until they are stored "   \
      "again.")                                                                \
    X(KPIFacetedRep, xrchandle<KBox3D>, GetOutline, (), (),                    \
      "The bounding box (a new KBox3D; (0, 0, 0) to (0, 0, 0) until set).")    \
    X(KPIFacetedRep, void, SetOutline, (xrchandle<KBox3D> outline), (outline), \
      "Sets the bounding box. Raises (1, 0) for a null box.")

// ---- model extension, model, session -------------------------------------
#define ZPI_OPS_KWPIModelExt(X)                                                \
    X(KWPIModelExt, xrchandle<KPILayer>, CreatePILayer,                        \
      (const char* name),                                                      \
      (name),                                                                  \
      "A new layer named `name` (id -1, status normal, no items); part of "    \
      "the model once stored with SetPILayers. Raises (1, 0) for a null "      \
      "name and (1, 1) for one of 32 characters or more or one that a "        \
      "document cannot carry (see Names under Conventions).")                  \
    X(KWPIModelExt, void, SetPILayers,                                         \
      (xrchandle<KPILayerList> layers),                                        \
      (layers),                                                                \
      "Replaces the stored layers by copies of those in the list (an empty "   \
      "list stores none); later changes to the objects do not reach the "      \
      "model. Raises (1, 0) for a null list and (1, 1) for a null element; "   \
      "nothing changes then.")                                                 \
    X(KWPIModelExt, xrchandle<KPILayerList>, GetPILayers, (), (),              \
      "New layers made from the stored ones, in order (an empty list when "    \
      "there are none): changing them changes the model only once they are "   \
      "stored again.")                                                         \
    X(KWPIModelExt, xrchandle<KPILengthUnit>, CreatePILengthUnit,              \
      (KPILengthUnits unit),                                                   \
      (unit),                                                                  \
      "A new length unit from the table: MM, CM, MIL, M, INCH, FOOT or "       \
      "MICROMETER with its factor to inches; a value outside the "             \
      "enumeration gives an empty name and factor 0. Stored with "             \
      "SetPIUnits.")                                                           \
    X(KWPIModelExt, xrchandle<KPILengthUnit>, CreatePILengthUnitEx,            \
      (const char* name, double factor),                                       \
      (name, factor),                                                          \
      "A new length unit of your own: `name` and its size in inches, not "     \
      "checked. Raises (1, 0) for a null name and (1, 1) for one of 32 "       \
      "characters or more or one that a document cannot carry (see Names "     \
      "under Conventions).")                                                   \
    X(KWPIModelExt, xrchandle<KPIMassUnit>, CreatePIMassUnit,                  \
      (KPIMassUnits unit),                                                     \
      (unit),                                                                  \
      "A new mass unit from the table: MG, GRAM, KILOGRAM, TONNE, OUNCE, "     \
      "SLUG or TON with its factor to pounds; a value outside the "            \
      "enumeration gives an empty name and factor 0.")                         \
    X(KWPIModelExt, xrchandle<KPIMassUnit>, CreatePIMassUnitEx,                \
      (const char* name, double factor),                                       \
      (name, factor),                                                          \
      "A new mass unit of your own: `name` and its size in pounds, not "       \
      "checked. Raises (1, 0) for a null name and (1, 1) for one of 32 "       \
      "characters or more or one that a document cannot carry (see Names "     \
      "under Conventions).")                                                   \
    X(KWPIModelExt, void, SetPIUnits, (xrchandle<KPIUnitList> units), (units), \
      "Replaces the stored units by copies of those in the list (an empty "    \
      "list stores none); later changes to the objects do not reach the "      \
      "model. Raises (1, 0) for a null list and (1, 1) for a null element; "   \
      "nothing changes then.")                                                 \
    X(KWPIModelExt, xrchandle<KPIUnitList>, GetPIUnits, (), (),                \
      "New units made from the stored ones (a KPILengthUnit or a "             \
      "KPIMassUnit each, by its type); an empty list when there are none.")    \
    X(KWPIModelExt, xrchandle<KPIReferenceColor>, CreatePIReferenceColor,      \
      (xrchandle<KColorRGB> color),                                            \
      (color),                                                                 \
      "A new reference colour (a material-like colour definition) of "         \
      "`color`, its other values 0; stored with SetPIReferenceColors. "        \
      "Raises (1, 0) for a null colour.")                                      \
    X(KWPIModelExt, void, SetPIReferenceColors,                                \
      (xrchandle<KPIReferenceColorList> colors),                               \
      (colors),                                                                \
      "Replaces the stored reference colours by copies of those in the list "  \
      "(an empty list stores none); later changes to the objects do not "      \
      "reach the model. Raises (1, 0) for a null list and (1, 1) for a null "  \
      "element; nothing changes then. Element colours name them by their "     \
      "position in this list.")                                                \
    X(KWPIModelExt, xrchandle<KPIReferenceColorList>, GetPIReferenceColors,    \
      (),                                                                      \
      (),                                                                      \
      "New reference colours made from the stored ones, in order: changing "   \
      "them changes the model only once they are stored again.")               \
    X(KWPIModelExt, xrchandle<KPIElementColor>, CreatePIElementColor,          \
      (int itemId, int refColorIndex1, int refColorIndex2),                    \
      (itemId, refColorIndex1, refColorIndex2),                                \
      "A new element colour: item `itemId` (-1: the model itself) uses the "   \
      "reference colours at positions refColorIndex1 and refColorIndex2 "      \
      "(-1: none). Nothing is checked.")                                       \
    X(KWPIModelExt, void, SetPIElementColors,                                  \
      (xrchandle<KPIElementColorList> colors),                                 \
      (colors),                                                                \
      "Replaces the stored element colours by copies of those in the list "    \
      "(an empty list stores none); later changes to the objects do not "      \
      "reach the model. Raises (1, 0) for a null list and (1, 1) for a null "  \
      "element; nothing changes then. Store them in ascending order of item "  \
      "id (the model's own, -1, first): the lookups of "                       \
      "GetPIItemReferenceColor rely on it.")                                   \
    X(KWPIModelExt, xrchandle<KPIElementColorList>, GetPIElementColors, (), (), \
      "New element colours made from the stored ones, in order.")              \
    X(KWPIModelExt, xrchandle<KPINameAttribute>, CreatePINameAttribute,        \
      (int itemId, KPIItemType itemType, const char* name),                    \
      (itemId, itemType, name),                                                \
      "A new name attribute: `name` given to the item `itemId` of kind "       \
      "`itemType`. Raises (2, 1) for an item type outside KPI_EDGE to "        \
      "KPI_PART, (3, 0) for a null name and (3, 1) for one of 32 characters "  \
      "or more or one that a document cannot carry (see Names under "          \
      "Conventions).")                                                         \
    X(KWPIModelExt, void, SetPINameAttributes,                                 \
      (xrchandle<KPINameAttributeList> attributes),                            \
      (attributes),                                                            \
      "Replaces the stored name attributes by copies of those in the list "    \
      "(an empty list stores none); later changes to the objects do not "      \
      "reach the model. Raises (1, 0) for a null list and (1, 1) for a null "  \
      "element; nothing changes then.")                                        \
    X(KWPIModelExt, xrchandle<KPINameAttributeList>, GetPINameAttributes,      \
      (),                                                                      \
      (),                                                                      \
      "New name attributes made from the stored ones; one whose item type "    \
      "has no enumerator is left out.")                                        \
    X(KWPIModelExt, xrchandle<KPIGeneralAttribute>, CreatePIGeneralAttribute,  \
      (int itemId, KPIItemType itemType, const char* name, xany value),        \
      (itemId, itemType, name, value),                                         \
      "A new general attribute: a named value (an int, a double or a text "    \
      "of at most 31 characters) of the item `itemId` of kind `itemType`; a "  \
      "value of another kind leaves it without one. Raises as "                \
      "CreatePINameAttribute, and (4, 1) for a longer text or one that a "     \
      "document cannot carry.")                                                \
    X(KWPIModelExt, void, SetPIGeneralAttributes,                              \
      (xrchandle<KPIGeneralAttributeList> attributes),                         \
      (attributes),                                                            \
      "Replaces the stored general attributes by copies of those in the "      \
      "list (an empty list stores none); later changes to the objects do "     \
      "not reach the model. Raises (1, 0) for a null list and (1, 1) for a "   \
      "null element; nothing changes then.")                                   \
    X(KWPIModelExt, xrchandle<KPIGeneralAttributeList>, GetPIGeneralAttributes, \
      (),                                                                      \
      (),                                                                      \
      "New general attributes made from the stored ones; one whose item "      \
      "type has no enumerator is left out.")                                   \
    X(KWPIModelExt, xrchandle<KPIFacetedRep>, CreatePIFacetedRep,              \
      (int id),                                                                \
      (id),                                                                    \
      "A new, empty faceted representation with the id `id`; stored with "     \
      "SetPIFacetedReps. Raises (1, 1) for a negative id.")                    \
    X(KWPIModelExt, void, SetPIFacetedReps,                                    \
      (xrchandle<KPIFacetedRepList> reps),                                     \
      (reps),                                                                  \
      "Replaces the stored faceted representations by copies of those in "     \
      "the list. Raises (1, 0) for a null list, (1, 1) for an empty one or "   \
      "a null element; nothing changes then.")                                 \
    X(KWPIModelExt, xrchandle<KPIFacetedRepList>, GetPIFacetedReps, (), (),    \
      "New copies of the stored representations, in order; null (not an "      \
      "empty list) when none is stored.")                                      \
    X(KWPIModelExt, xrchandle<KPIReferenceColor>, GetPIItemReferenceColor,     \
      (int itemId),                                                            \
      (itemId),                                                                \
      "The reference colour of the item `itemId`: the one that its element "   \
      "colour names (the first index, else the second); null when there is "   \
      "none. A copy: changing it changes nothing.")

#define ZPI_OPS_KWPIModel(X)                                                   \
    X(KWPIModel, xrchandle<KPIEdge>, CreatePIEdgeWithPoints,                   \
      (int id, int idFace1, int idFace2, xrchandle<KPointUVList> srfPoints1,   \
       xrchandle<KPointUVList> srfPoints2, KTraversal traversal1,              \
       KTraversal traversal2),                                                 \
      (id, idFace1, idFace2, srfPoints1, srfPoints2, traversal1, traversal2),  \
      "A new edge given by its points in the UV space of each face "           \
      "(srfPoints1 on face idFace1, srfPoints2 on face idFace2) and its "      \
      "traversal on each; not yet in the model: add it with AddPIEdge or "     \
      "SetPIEdges. Raises (1, 1) for a negative id and (2, 1) when both "      \
      "face ids are negative (a negative face id: no face on that side), "     \
      "(4, 0) or (5, 0) for missing points on a side with a face, and "        \
      "(4, 1) when the two sides have different counts of points.")            \
    X(KWPIModel, xrchandle<KPIEdge>, CreatePIEdgeWithXYZCurve,                 \
      (int id, int idFace1, int idFace2, xrchandle<KPICurve> xyzCurve,         \
       KTraversal traversal1, KTraversal traversal2),                          \
      (id, idFace1, idFace2, xyzCurve, traversal1, traversal2),                \
      "A new edge given by its 3D curve; not yet in the model: add it with "   \
      "AddPIEdge or SetPIEdges. Raises (1, 1) for a negative id and (2, 1) "   \
      "when both face ids are negative (a negative face id: no face on that "  \
      "side), (4, 0) for a null curve and (4, 1) for a composite curve; in "   \
      "record mode status -2 for a curve made in cache mode.")                 \
    X(KWPIModel, xrchandle<KPIEdge>, CreatePIEdgeWithUVCurves,                 \
      (int id, int idFace1, int idFace2, xrchandle<KPICurve> curve1,           \
       xrchandle<KPICurve> curve2, KTraversal traversal1,                      \
       KTraversal traversal2),                                                 \
      (id, idFace1, idFace2, curve1, curve2, traversal1, traversal2),          \
      "A new edge given by its curve in the UV space of each face (curve1 "    \
      "on face idFace1, curve2 on face idFace2); not yet in the model: add "   \
      "it with AddPIEdge or SetPIEdges. Raises (1, 1) for a negative id and "  \
      "(2, 1) when both face ids are negative (a negative face id: no face "   \
      "on that side); on a side with a face, (4, 0) or (5, 0) for a null "     \
      "curve and (4, 1) or (5, 1) for a composite one.")                       \
    X(KWPIModel, xrchandle<KPIEdge>, CreatePIEdgeWithXYZandUVCurves,           \
      (int id, int idFace1, int idFace2, KTraversal traversal1,                \
       KTraversal traversal2, xrchandle<KPICurve> xyzCurve,                    \
       xrchandle<KPICurve> curve1, xrchandle<KPICurve> curve2),                \
      (id, idFace1, idFace2, traversal1, traversal2, xyzCurve, curve1,         \
       curve2),                                                                \
      "A new edge given by its 3D curve and its UV curves, each of them "      \
      "optional; not yet in the model: add it with AddPIEdge or SetPIEdges. "  \
      "Raises (1, 1) for a negative id and (2, 1) when both face ids are "     \
      "negative (a negative face id: no face on that side), and (6, 1), "      \
      "(7, 1) or (8, 1) for a composite xyzCurve, curve1 or curve2.")          \
    X(KWPIModel, xrchandle<KPIFace>, CreatePIFace,                             \
      (int id, xrchandle<KBoxUV> uvExtent, KPISurfOrient orientation,          \
       xrchandle<KPISurface> surface, xrchandle<KPILoopList> loops),           \
      (id, uvExtent, orientation, surface, loops),                             \
      "A new face on `surface`, bounded by `loops` (an outer loop and inner "  \
      "ones), with its UV box and its orientation; not yet in the model: "     \
      "add it with AddPIFace or SetPIFaces. Raises (1, 1) for a negative "     \
      "id, (2, 7) when uvExtent and loops are both null, (4, 0) for a null "   \
      "surface, (5, 0) for null loops on a surface other than a spline or "    \
      "B-spline surface, (5, 1) for a null loop in the list; in record mode "  \
      "status -2 for a surface or loop made in cache mode. Record mode "       \
      "copies the surface and loops into the face.")                           \
    X(KWPIModel, xrchandle<KPIQuilt>, CreatePIQuilt,                           \
      (int id, xrchandle<KPIFaceList> faces),                                  \
      (id, faces),                                                             \
      "A new quilt grouping `faces` (the id is not checked); not yet in the "  \
      "model: add it with AddPIQuilt or SetPIQuilts. Raises (2, 0) for a "     \
      "null list and (2, 1) for a null face in it; in record mode status -2 "  \
      "for a face made in cache mode.")                                        \
    X(KWPIModel, xrchandle<KPIDatum>, CreatePIDatum,                           \
      (int id, const char* name, xrchandle<KCsys> csys,                        \
       xrchandle<KPICurve> curve, xrchandle<KPIPlane> plane),                  \
      (id, name, csys, curve, plane),                                          \
      "A new datum named `name`: a coordinate system, a curve or a plane, "    \
      "the first of csys, curve and plane that is not null (its item type "    \
      "says which); not yet in the model: add it with AddPIDatum or "          \
      "SetPIDatums. Raises (1, 1) for a negative id, (2, 0) for a null "       \
      "name, (2, 1) for a name of 32 characters or more or one that a "       \
      "document "                                                              \
      "cannot carry (see Names under Conventions), (3, 0) when csys, curve "   \
      "and plane are all null.")                                               \
    X(KWPIModel, xrchandle<KPILoop>, CreatePILoop,                             \
      (KPILoopTraversal traversal, xrchandle<xintsequence> edgeIds),           \
      (traversal, edgeIds),                                                    \
      "A new loop for CreatePIFace: the ids of its edges in order, and "       \
      "whether it is the outer boundary (KPI_LOOP_TRAV_EXTERNAL) or an "       \
      "inner one (KPI_LOOP_TRAV_INTERNAL). Raises (2, 0) for null edge ids.")  \
    X(KWPIModel, void, SetAccuracy,                                            \
      (KAccuracyType type, double value),                                      \
      (type, value),                                                           \
      "Sets the accuracy: its type (KACCURACY_RELATIVE or "                    \
      "KACCURACY_ABSOLUTE) and its value. Raises (1, 1) for "                  \
      "KACCURACY_UNDEFINED and (2, 1) for a value of 1e-9 or less (or NaN).")  \
    X(KWPIModel, void, SetOutline, (xrchandle<KBox3D> outline), (outline),     \
      "Sets the model's outline box (the model keeps a copy of its own). "     \
      "Raises (1, 0) for a null box.")                                         \
    X(KWPIModel, void, SetPIDatums, (xrchandle<KPIDatumList> datums), (datums), \
      "Adds every datum of the list in order, as AddPIDatum does: it "         \
      "appends to what the model holds, it does not replace it. Raises "       \
      "(1, 0) for a null list, (1, 1) for an empty one, and (1, 1) at a "      \
      "null element (those before it stay added).")                            \
    X(KWPIModel, void, SetPIEdges, (xrchandle<KPIEdgeList> edges), (edges),    \
      "Adds every edge of the list in order, as AddPIEdge does: it appends "   \
      "to what the model holds, it does not replace it. Raises (1, 0) for a "  \
      "null list, (1, 1) for an empty one, and (1, 1) at a null element "      \
      "(those before it stay added).")                                         \
    X(KWPIModel, void, SetPIFaces, (xrchandle<KPIFaceList> faces), (faces),    \
      "Adds every face of the list in order, as AddPIFace does: it appends "   \
      "to what the model holds, it does not replace it. Raises (1, 0) for a "  \
      "null list, (1, 1) for an empty one, and (1, 1) at a null element "      \
      "(those before it stay added).")                                         \
    X(KWPIModel, void, SetPIQuilts, (xrchandle<KPIQuiltList> quilts), (quilts), \
      "Adds every quilt of the list in order, as AddPIQuilt does: it "         \
      "appends to what the model holds, it does not replace it. Raises "       \
      "(1, 0) for a null list, (1, 1) for an empty one, and (1, 1) at a "      \
      "null element (those before it stay added).")                            \
    X(KWPIModel, void, SaveAsNeutral, (xrchandle<KCStream> stream), (stream),  \
      "Saves the model, with its extension, as a neutral part file into your " \
      "`stream` (only its Write is called; the stream is not closed). To "     \
      "write a file, use a stream that writes beside its target and renames "  \
      "it once this returned (examples/file_stream.h). Raises status 13 for "  \
      "a model without interface data (made in cache mode, or closed), (1, "   \
      "0) for a null stream, -54 when the model holds an item that no model "  \
      "holds (one a document held as earlier versions wrote it, see ReadZPI) " \
      "or that a neutral part cannot hold (a ruled surface's composite "       \
      "curve), naming the item in what(), before anything is written, -92 "    \
      "when the part could not be written whole (the stream refused a write "  \
      "or threw; what() says which), -91 when another save holds the "         \
      "stream's name or a save runs on this thread already (your stream's "    \
      "Write saved again). An item it cannot convert (a composite curve "      \
      "inside a composite curve, a surface or curve kind out of service or "   \
      "without a neutral record, a quilt without faces, a loop or "            \
      "orientation of another value) is left out of the part, and told on "    \
      "standard error once per kind of loss, naming the first such item and "  \
      "how many more. So is a value the part holds as another: an edge "       \
      "direction none of 1, -1 and KTRAV_OPPOSITE (none where the edge has "   \
      "no face, a negative face id, aside), written as 1; a composite "        \
      "datum curve's component direction none of 0 and 1, written as 0; a "    \
      "face orientation none, written as positive; an accuracy kind "          \
      "undefined or of no name, written as absolute.")                         \
    X(KWPIModel, void, WriteZPI, (const char* path), (path),                   \
      "Writes the model as an interface-data document to `path` (a file, or "  \
      "a \"bnfs:\" location); it replaces its target only when whole (a file " \
      "is written beside it). A model without interface data (cache mode) is " \
      "written from its objects. Raises (1, 0) for a null path, then status "  \
      "13 for a closed model, -52 when the path cannot be opened for writing " \
      "(a missing or read-only folder, a folder, a FIFO, an empty path), -53 " \
      "when writing failed (a full disk, a \"bnfs:\" document larger than a "  \
      "transfer carries) and -54 when the model holds what a document cannot " \
      "carry (a name or text with a character of Names under Conventions, "    \
      "held in records given as such, an inconsistent record, or an item a "   \
      "document held as earlier versions wrote it, see ReadZPI), naming the "  \
      "item; nothing is written then. The exception's what() names the path "  \
      "and the reason.")                                                       \
    X(KWPIModel, KAccuracyType, GetAccuracyType, (), (),                       \
      "The accuracy type; KACCURACY_UNDEFINED for a model read from records "  \
      "whose accuracy kind is unknown.")                                       \
    X(KWPIModel, double, GetAccuracy, (), (),                                  \
      "The accuracy value.")                                                   \
    X(KWPIModel, xrchandle<KBox3D>, GetOutline, (), (),                        \
      "The model's outline box; null until SetOutline, unless the model was "  \
      "read with one.")                                                        \
    X(KWPIModel, xrchandle<KPIDatumList>, GetPIDatums, (), (),                 \
      "The model's datums. With interface data (record mode, or a model read " \
      "by ReadZPI): new objects built from its records on every call, one "    \
      "for each record, null (not an empty list) when there are none; "        \
      "changing them does not change the model. A record a document held as "  \
      "earlier versions wrote it (see ReadZPI) gives its object as it "        \
      "stands, and its neighbours as they are. Without: the list of those "    \
      "added, null before the first.")                                         \
    X(KWPIModel, xrchandle<KPIEdgeList>, GetPIEdges, (), (),                   \
      "The model's edges. With interface data (record mode, or a model read "  \
      "by ReadZPI): new objects built from its records on every call, one "    \
      "for each record, null (not an empty list) when there are none; "        \
      "changing them does not change the model. A record a document held as "  \
      "earlier versions wrote it (see ReadZPI) gives its object as it "        \
      "stands, and its neighbours as they are. Without: the list of those "    \
      "added, null before the first.")                                         \
    X(KWPIModel, xrchandle<KPIFaceList>, GetPIFaces, (), (),                   \
      "The model's faces. With interface data (record mode, or a model read "  \
      "by ReadZPI): new objects built from its records on every call, one "    \
      "for each record, null (not an empty list) when there are none; "        \
      "changing them does not change the model. A record a document held as "  \
      "earlier versions wrote it (see ReadZPI) gives its object as it "        \
      "stands, and its neighbours as they are. Without: the list of those "    \
      "added, null before the first.")                                         \
    X(KWPIModel, xrchandle<KPIQuiltList>, GetPIQuilts, (), (),                 \
      "The model's quilts. With interface data (record mode, or a model read " \
      "by ReadZPI): new objects built from its records on every call, one "    \
      "for each record, null (not an empty list) when there are none; "        \
      "changing them does not change the model. A record a document held as "  \
      "earlier versions wrote it (see ReadZPI) gives its object as it "        \
      "stands, and its neighbours as they are. Without: the list of those "    \
      "added, null before the first.")                                         \
    X(KWPIModel, void, Close, (), (),                                          \
      "Frees the model's interface data. Afterwards the list getters answer "  \
      "from what was added (nothing, on a model read by ReadZPI), and "        \
      "SaveAsNeutral, WriteZPI and the add operations raise status 13; "       \
      "accuracy, outline and extension stay. A second Close does nothing, "    \
      "and so does Close on a model made in cache mode.")                      \
    X(KWPIModel, void, SetWPIModelExt, (xrchandle<KWPIModelExt> ext), (ext),   \
      "Gives the model its extension (replacing any earlier one); what is "    \
      "stored in the extension later is part of the model. Raises (1, 0) "     \
      "for a null extension and (1, 1) for one this library did not make "     \
      "(the model writes its extension's records, which only the library's "   \
      "own extensions hold).")                                                 \
    X(KWPIModel, xrchandle<KWPIModelExt>, GetWPIModelExt, (), (),              \
      "The model's extension; null until SetWPIModelExt, unless the model "    \
      "was read with one.")                                                    \
    X(KWPIModel, void, AddPIDatum, (xrchandle<KPIDatum> datum), (datum),       \
      "Adds a datum made by CreatePIDatum (adding it twice adds it twice). "   \
      "With interface data its record is copied in at once: later changes "    \
      "to the object do not reach the model. Raises status 13 on a closed "    \
      "model, (1, 0) for a null datum, and the status of a conversion that "   \
      "fails (then nothing is added).")                                        \
    X(KWPIModel, int, CountPIDatums, (), (),                                   \
      "The number of datums added to this model object with AddPIDatum or "    \
      "SetPIDatums. 0 on a model read by ReadZPI or made from records: "       \
      "their datums are reached through GetPIDatums.")                         \
    X(KWPIModel, void, AddPIEdge, (xrchandle<KPIEdge> edge), (edge),           \
      "Adds an edge made by a CreatePIEdge... operation (adding it twice "     \
      "adds it twice). With interface data its record is copied in at once: "  \
      "later changes to the object do not reach the model. Raises status 13 "  \
      "on a closed model, (1, 0) for a null edge, and the status of a "        \
      "conversion that fails (then nothing is added).")                        \
    X(KWPIModel, int, CountPIEdges, (), (),                                    \
      "The number of edges added to this model object with AddPIEdge or "      \
      "SetPIEdges. 0 on a model read by ReadZPI or made from records: their "  \
      "edges are reached through GetPIEdges.")                                 \
    X(KWPIModel, void, AddPIFace, (xrchandle<KPIFace> face), (face),           \
      "Adds a face made by CreatePIFace (adding it twice adds it twice). "     \
      "With interface data its record is copied in at once: later changes "    \
      "to the object do not reach the model. Raises status 13 on a closed "    \
      "model, (1, 0) for a null face, and the status of a conversion that "    \
      "fails (then nothing is added).")                                        \
    X(KWPIModel, int, CountPIFaces, (), (),                                    \
      "The number of faces added to this model object with AddPIFace or "      \
      "SetPIFaces. 0 on a model read by ReadZPI or made from records: their "  \
      "faces are reached through GetPIFaces.")                                 \
    X(KWPIModel, void, AddPIQuilt, (xrchandle<KPIQuilt> quilt), (quilt),       \
      "Adds a quilt made by CreatePIQuilt (adding it twice adds it twice). "   \
      "With interface data its record is copied in at once: later changes "    \
      "to the object do not reach the model. Raises status 13 on a closed "    \
      "model, (1, 0) for a null quilt, and the status of a conversion that "   \
      "fails (then nothing is added).")                                        \
    X(KWPIModel, int, CountPIQuilts, (), (),                                   \
      "The number of quilts added to this model object with AddPIQuilt or "    \
      "SetPIQuilts. 0 on a model read by ReadZPI or made from records: "       \
      "their quilts are reached through GetPIQuilts.")                         \
    X(KWPIModel, xrchandle<KPIDatum>, GetPIDatumByIndex, (int index), (index), \
      "The datum at `index` among those added (see CountPIDatums). Raises "    \
      "(1, 17) for an index outside 0 to CountPIDatums() - 1, so for every "   \
      "index on a model read by ReadZPI.")                                     \
    X(KWPIModel, xrchandle<KPIEdge>, GetPIEdgeByIndex, (int index), (index),   \
      "The edge at `index` among those added (see CountPIEdges). Raises "      \
      "(1, 17) for an index outside 0 to CountPIEdges() - 1, so for every "    \
      "index on a model read by ReadZPI.")                                     \
    X(KWPIModel, xrchandle<KPIFace>, GetPIFaceByIndex, (int index), (index),   \
      "The face at `index` among those added (see CountPIFaces). Raises "      \
      "(1, 17) for an index outside 0 to CountPIFaces() - 1, so for every "    \
      "index on a model read by ReadZPI.")                                     \
    X(KWPIModel, xrchandle<KPIQuilt>, GetPIQuiltByIndex, (int index), (index), \
      "The quilt at `index` among those added (see CountPIQuilts). Raises "    \
      "(1, 0) for an index outside 0 to CountPIQuilts() - 1, so for every "    \
      "index on a model read by ReadZPI.")                                     \
    X(KWPIModel, xrchandle<KPIReferenceColor>, GetPIModelReferenceColor,       \
      (),                                                                      \
      (),                                                                      \
      "The model's own colour: the reference colour that the extension's "     \
      "element colour of item -1 names; null without an extension or such "    \
      "an entry. A copy.")

#define ZPI_OPS_KWPISession(X)                                                 \
    X(KWPISession, xrchandle<KPIPoint>, CreatePIPoint,                         \
      (xrchandle<KPoint3D> point),                                             \
      (point),                                                                 \
      "A new point curve at `point`. Raises (1, 0) for a null point.")         \
    X(KWPISession, xrchandle<KPILine>, CreatePILine,                           \
      (xrchandle<KPoint3D> end0, xrchandle<KPoint3D> end1),                    \
      (end0, end1),                                                            \
      "A new line segment from end0 to end1. Raises (1, 0) or (2, 0) for a "   \
      "null end.")                                                             \
    X(KWPISession, xrchandle<KPIArc>, CreatePIArc,                             \
      (xrchandle<KCsys> csys, double end0, double end1, double radius),        \
      (csys, end0, end1, radius),                                              \
      "A new circular arc of `radius` around the origin of csys, in its x-y "  \
      "plane, from angle end0 to angle end1 (from its x axis). Raises "        \
      "(1, 0) for a null csys; the numbers are not checked.")                  \
    X(KWPISession, xrchandle<KPIEllipse>, CreatePIEllipse,                     \
      (xrchandle<KCsys> csys, double c0, double c1, double end0, double end1), \
      (csys, c0, c1, end0, end1),                                              \
      "A new elliptic arc centred at the origin of csys, of major length c0 "  \
      "along its x axis and minor length c1 along its y axis, from angle "     \
      "end0 to end1. Raises (1, 0) for a null csys.")                          \
    X(KWPISession, xrchandle<KPISpline>, CreatePISpline,                       \
      (xrchandle<KPoint3DList> points, xrchandle<KVector3DList> tangents,      \
       xrchandle<xrealsequence> parameters),                                   \
      (points, tangents, parameters),                                          \
      "A new spline through `points`, with a tangent and a parameter at "      \
      "each. Raises (1, 0), (2, 0) or (3, 0) for a null list, (1, 6) for "     \
      "fewer than 2 points, (2, 7) or (3, 7) when tangents or parameters "     \
      "are not one per point; in record mode status -2 when the parameters "   \
      "do not increase.")                                                      \
    X(KWPISession, xrchandle<KPIBspline>, CreatePIBspline,                     \
      (int degree, xrchandle<xrealsequence> parameters,                        \
       xrchandle<xrealsequence> weights, xrchandle<KPoint3DList> points),      \
      (degree, parameters, weights, points),                                   \
      "A new B-spline curve of `degree` with the knot vector `parameters`, "   \
      "control `points` and, for a rational curve, one weight per point "      \
      "(null weights: non-rational). Raises (2, 0) or (4, 0) for null knots "  \
      "or points; in record mode status -2 for a degree below 1, knots out "   \
      "of order, weights that are not one per point, or a weight that would "  \
      "not give its point back within an ulp: one of 0, subnormal or not "     \
      "finite, or one whose product with a coordinate of its point is not "    \
      "finite or underflows where the coordinate does not (cache mode keeps "  \
      "them; WriteZPI then raises -54). "                                      \
      "A degree of 4 or more and unclamped ends are kept as given.")           \
    X(KWPISession, xrchandle<KPICompositeCurve>, CreatePICompositeCurve,       \
      (xrchandle<KPICurveList> curves, xrchandle<xintsequence> traversals),    \
      (curves, traversals),                                                    \
      "A new composite curve of `curves` in order, each with its traversal, "  \
      "0 or 1. Raises (1, 0) or (2, 0) for a null list and (2, 7) when the "   \
      "counts differ or a traversal is not 0 or 1; in record mode (1, 1) "     \
      "for a null curve and status -2 for a curve made in cache mode. "        \
      "Record mode keeps copies: later changes to the curves do not reach "    \
      "it.")                                                                   \
    X(KWPISession, xrchandle<KPIPlane>, CreatePIPlane,                         \
      (xrchandle<KCsys> csys),                                                 \
      (csys),                                                                  \
      "A new plane through the origin of csys, along its x and y axes. "       \
      "Raises (1, 0) for a null csys.")                                        \
    X(KWPISession, xrchandle<KPICylinder>, CreatePICylinder,                   \
      (xrchandle<KCsys> csys, double radius),                                  \
      (csys, radius),                                                          \
      "A new cylinder of `radius`, placed by csys. Raises (1, 0) for a null "  \
      "csys; the radius is not checked.")                                      \
    X(KWPISession, xrchandle<KPICone>, CreatePICone,                           \
      (xrchandle<KCsys> csys, double halfAngle),                               \
      (csys, halfAngle),                                                       \
      "A new cone of the half angle `halfAngle`, placed by csys. Raises "      \
      "(1, 0) for a null csys.")                                               \
    X(KWPISession, xrchandle<KPITorus>, CreatePITorus,                         \
      (xrchandle<KCsys> csys, double r0, double r1),                           \
      (csys, r0, r1),                                                          \
      "A new torus of the radii r0 and r1, placed by csys. Raises (1, 0) "     \
      "for a null csys.")                                                      \
    X(KWPISession, xrchandle<KPISrfRev>, CreatePIRevolved,                     \
      (xrchandle<KCsys> csys, xrchandle<KPICurve> curve),                      \
      (csys, curve),                                                           \
      "A new surface of revolution of the profile `curve`, placed by csys. "   \
      "Raises (1, 0) or (2, 0) for a null argument; in record mode status "    \
      "-44 for a curve of a kind the surface does not take (a line, arc, "     \
      "ellipse, spline or B-spline is taken) and -2 for a curve made in "      \
      "cache mode. Record mode keeps a copy of the curve.")                    \
    X(KWPISession, xrchandle<KPIRulSrf>, CreatePIRuledSrf,                     \
      (xrchandle<KCsys> csys, xrchandle<KPICurve> curve1,                      \
       xrchandle<KPICurve> curve2),                                            \
      (csys, curve1, curve2),                                                  \
      "A new ruled surface between curve1 and curve2, placed by csys. "        \
      "Raises (1, 0), (2, 0) or (3, 0) for a null argument; in record mode "   \
      "status -44 for a curve of another kind than point, line, arc, "         \
      "ellipse, spline or B-spline, or for two points, and -2 for a curve "    \
      "made in cache mode.")                                                   \
    X(KWPISession, xrchandle<KPITabCyl>, CreatePITabCylinder,                  \
      (xrchandle<KCsys> csys, xrchandle<KPICurve> curve),                      \
      (csys, curve),                                                           \
      "A new tabulated cylinder of `curve`, placed by csys. Raises (1, 0) "    \
      "or (2, 0) for a null argument; in record mode status -44 for a curve "  \
      "of a kind the surface does not take (a line, arc, ellipse, spline or "  \
      "B-spline is taken) and -2 for a curve made in cache mode. Record "      \
      "mode keeps a copy of the curve.")                                       \
    X(KWPISession, xrchandle<KPIFilSrf>, CreatePIFilletSrf,                    \
      (xrchandle<KPISpline> pointSpline, xrchandle<KPISpline> centerSpline,    \
       xrchandle<KPISpline> tangentSpline),                                    \
      (pointSpline, centerSpline, tangentSpline),                              \
      "A new fillet surface of its point, centre and tangent splines. "        \
      "Raises (1, 0), (2, 0) or (3, 0) for a null spline; in record mode "     \
      "status -2 for a spline made in cache mode.")                            \
    X(KWPISession, xrchandle<KPISplineSrf>, CreatePISplsrf,                    \
      (xrchandle<xrealsequence> uParameters,                                   \
       xrchandle<xrealsequence> vParameters, xrchandle<KPoint3DList> points,   \
       xrchandle<KVector3DList> uTangents, xrchandle<KVector3DList> vTangents, \
       xrchandle<KVector3DList> mixedDerivatives),                             \
      (uParameters, vParameters, points, uTangents, vTangents,                 \
       mixedDerivatives),                                                      \
      "A new spline surface on the grid of the u and v parameters: its "       \
      "points, tangents in u and v and mixed derivatives. Raises (1, 0) to "   \
      "(6, 0) for a null argument; the counts are not checked.")               \
    X(KWPISession, xrchandle<KPIBsplsrf>, CreatePIBsplsrf,                     \
      (int uDegree, int vDegree, xrchandle<xrealsequence> uParameters,         \
       xrchandle<xrealsequence> vParameters, xrchandle<KPoint3DList> points,   \
       xrchandle<xrealsequence> weights),                                      \
      (uDegree, vDegree, uParameters, vParameters, points, weights),           \
      "A new B-spline surface of the degrees uDegree and vDegree, the knot "   \
      "vectors in u and v, control points and, for a rational surface, one "   \
      "weight per point (null weights: non-rational). Raises (3, 0), (4, 0) "  \
      "or (5, 0) for null knots or points and (6, 1) for weights that are "    \
      "not one per point or that CreatePIBspline refuses (one that would "     \
      "not give its point back within an ulp); degrees and knots are not "     \
      "checked.")                                                              \
    X(KWPISession, xrchandle<KPICylSplSrf>, CreatePICylSplineSrf,              \
      (xrchandle<KCsys> csys, xrchandle<KPISplineSrf> splsrf),                 \
      (csys, splsrf),                                                          \
      "A new cylindrical spline surface of `splsrf`, placed by csys. Raises "  \
      "(1, 0) or (2, 0) for a null argument; in record mode (2, 1) for a "     \
      "spline surface made in cache mode.")                                    \
    X(KWPISession, xrchandle<KWPIModel>, CreatePIModel,                        \
      (KAccuracyType accuracyType, double accuracy),                           \
      (accuracyType, accuracy),                                                \
      "A new, empty model of the accuracy type KACCURACY_RELATIVE or "         \
      "KACCURACY_ABSOLUTE and an accuracy above 1e-9. Raises (1, 1) for "      \
      "KACCURACY_UNDEFINED and (2, 1) for an accuracy of 1e-9 or less (or "    \
      "NaN). Made in cache mode (after set_gw_cpid_enable(0)), the model "     \
      "has no interface data and cannot be saved: SaveAsNeutral raises "       \
      "status 13.")                                                            \
    X(KWPISession, xrchandle<KWPIModelExt>, CreatePIModelExt, (), (),          \
      "A new, empty model extension (units, layers, colours, attributes, "     \
      "faceted representations); give it to a model with SetWPIModelExt.")     \
    X(KWPISession, xrchandle<KWPIModel>, ReadZPI, (const char* path), (path),  \
      "A new model read from the interface-data document at `path` (a file, "  \
      "or a \"bnfs:\" location), with its extension when the document has "    \
      "one. Never raises: a document that cannot be read gives a null "        \
      "handle, and on standard error the line \"Could not read the XML "       \
      "data.\" and a line with the path and the reason (\"cannot open ...: "   \
      "No such file or directory\", \"... line 3, column 7: ...\"). The "      \
      "model's items are in its interface data: CountPIFaces() and its kin "   \
      "answer 0 and GetPIFaceByIndex raises; reach them with GetPIFaces() "    \
      "and its kin. An item that earlier versions wrote and that the writers " \
      "refuse (a B-spline of degree 0, spline parameters that do not "         \
      "increase or a spline without points, B-spline knots out of order, in "  \
      "any curve of an edge, a datum, a surface or a composite's component) "  \
      "is read as it stands and told once on standard error with its place; "  \
      "GetPIFaces() and its kin give it as it stands, and the objects they "   \
      "give pass it on as it stands (to AddPIFace, CreatePIFace and their "    \
      "kin, in either storage mode); WriteZPI, SaveAsNeutral and request 103 " \
      "refuse it, naming it. What it does not read as the document holds it "  \
      "(values past a list's size, numbers past those of a point, a child "    \
      "written once that came twice, a child always written that is "          \
      "missing, a general attribute value of a type no kind carries, an "      \
      "attribute no reader takes, a text beside elements or in an element of " \
      "attributes only) is told on standard error when the read ends, in "    \
      "one line per kind of what was passed over (whatever names the "        \
      "document holds): its first place and how many more like it; the "      \
      "model holds what was told.")

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

// One line on each interface class, for the API reference.
#define ZPI_INTERFACE_DOCS(X)                                                  \
    X(KPICurve,                                                                \
      "A curve: the base of the seven curve kinds, made by the session's "     \
      "CreatePI... operations.")                                               \
    X(KPIPoint, "A single point, as a curve.")                                 \
    X(KPILine, "A straight line segment between two points.")                  \
    X(KPIArc, "A circular arc in the x-y plane of its frame.")                 \
    X(KPIEllipse, "An elliptic arc in the x-y plane of its frame.")            \
    X(KPISpline,                                                               \
      "An interpolating spline through points with their tangents and "        \
      "parameters.")                                                           \
    X(KPIBspline, "A B-spline curve, rational when it has weights.")           \
    X(KPICompositeCurve,                                                       \
      "A curve made of member curves joined in order, each with its "          \
      "traversal.")                                                            \
    X(KPISurface,                                                              \
      "A surface: the base of the eleven surface kinds, made by the "          \
      "session's CreatePI... operations.")                                     \
    X(KPIPlane, "A plane.")                                                    \
    X(KPICylinder, "A cylinder.")                                              \
    X(KPICone, "A cone.")                                                      \
    X(KPITorus, "A torus.")                                                    \
    X(KPISrfRev, "A surface of revolution of a profile curve.")                \
    X(KPIRulSrf, "A ruled surface between two curves.")                        \
    X(KPITabCyl, "A tabulated cylinder of a generating curve.")                \
    X(KPIFilSrf, "A fillet surface given by three splines.")                   \
    X(KPISplineSrf, "An interpolating spline surface on a grid of points.")    \
    X(KPIBsplsrf, "A B-spline surface, rational when it has weights.")         \
    X(KPICylSplSrf,                                                            \
      "A cylindrical spline surface: a spline surface placed by a frame.")     \
    X(KPIItem,                                                                 \
      "A topological item with an id: the base of faces, edges, datums and "   \
      "quilts.")                                                               \
    X(KPIFace, "A face: a bounded piece of one surface.")                      \
    X(KPIEdge,                                                                 \
      "An edge between (at most) two faces, given by points or curves.")       \
    X(KPIDatum, "A named datum: a coordinate system, a curve or a plane.")     \
    X(KPIQuilt, "A quilt: a group of faces.")                                  \
    X(KPILoop, "A loop of a face: the ids of the edges that bound it.")        \
    X(KPIUnit, "A unit of length or mass with its conversion factor.")         \
    X(KPILengthUnit,                                                           \
      "A length unit (factor to inches); no operations of its own.")           \
    X(KPIMassUnit,                                                             \
      "A mass unit (factor to pounds); no operations of its own.")             \
    X(KPINameAttribute, "A name given to one item of the model.")              \
    X(KPIGeneralAttribute,                                                     \
      "A named value (int, double or text) attached to one item.")             \
    X(KPIReferenceColor,                                                       \
      "A reference colour: a colour with its lighting values, which element "  \
      "colours refer to by position.")                                         \
    X(KPIElementColor,                                                         \
      "The reference colours that one item (or the model, item -1) uses.")     \
    X(KPILayer,                                                                \
      "A layer: a named, numbered set of item ids with a display status.")     \
    X(KPIFacetVtx, "A vertex of a faceted representation.")                    \
    X(KPIFacetVtxdata,                                                         \
      "Vertex data of a faceted representation: a normal and texture "         \
      "coordinates.")                                                          \
    X(KPIFacetdata, "A triangular facet of a faceted representation.")         \
    X(KPIFacetedRep,                                                           \
      "A faceted (triangulated) representation of the part: vertices, "        \
      "vertex data and facets, with an id and a bounding box.")                \
    X(KWPIModelExt,                                                            \
      "The metadata half of a model: units, layers, colours, attributes and "  \
      "faceted representations. Its setters replace whole lists with "         \
      "copies; its getters make new objects every time.")                      \
    X(KWPIModel,                                                               \
      "A part model: accuracy, outline, faces, edges, quilts and datums, "     \
      "and its extension. Create operations make free-standing objects; the "  \
      "add and set-list operations put them in the model.")                    \
    X(KWPISession,                                                             \
      "The session, got with KGetPISession(): makes curves, surfaces, "        \
      "models and model extensions, and reads models from documents.")

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
