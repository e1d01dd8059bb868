// Objects over existing host records: the curve and surface dispatchers,
// the curve list of a composite's components, and the copies of spline
// heads that fillet and cylindrical spline surfaces hand out.
//
// Wrapping: with ownsRecord false the new object uses the record in place
// and frees nothing; `keeper` is the object (or counted holder) that owns
// the record, held by the new object for as long as it lives, so that the
// record outlives every object over it. Pass the owner whenever one exists.
#pragma once

#include "kernel/geometry/geometry_base.h"

// A new curve object over `record` by its kind: 1 point, 2 line, 3 arc,
// 12 spline, 19 B-spline, 30 ellipse, 41 composite. A null record, a cleared
// one or any other kind gives a null handle.
xrchandle<KPICurve> MakeCurveFromRecord(QelCurvedata* record, bool ownsRecord,
                                        xrchandle<xobject> keeper);

// A new surface object over `shape` by its host kind: 34 plane, 36 cylinder,
// 37 cone, 38 torus, 40 spline, 41 fillet, 42 ruled, 43 revolved,
// 44 tabulated cylinder, 45 B-spline, 48 cylindrical spline. A null shape
// or any other kind gives a null handle.
xrchandle<KPISurface> MakeSurfaceFromRecord(uint32_t hostKind, QelSurfaceshapedata* shape,
                                            bool ownsRecord, xrchandle<xobject> keeper);

// One curve object per component, in order, each wrapping the component's
// curve (not owning it) and holding `keeper`. A missing or empty array
// gives a null handle; a component of a kind without a class gives a null
// entry.
xrchandle<KPICurveList> MakeCurveListFromComponents(QelComponentcurvedata* components,
                                                    xrchandle<xobject> keeper);

// New objects owning copies of a spline head / spline-surface head;
// failures raise ThrowSimple(status).
xrchandle<KPISpline> MakeSplineFromHead(const QelSplinedata* head);
xrchandle<KPISplineSrf> MakeSplineSrfFromHead(const QelSplinesrfdata* head);
