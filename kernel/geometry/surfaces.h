// The eleven surface implementations.
//
// As for curves: a new-object constructor (followed by exactly one SetData
// call) and a record-wrapping constructor (shape, owns flag, keeper) used by
// the surface dispatcher. The host kind of the shape is 34 plane,
// 36 cylinder, 37 cone, 38 torus, 40 spline, 41 fillet, 42 ruled,
// 43 revolved, 44 tabulated cylinder, 45 B-spline, 48 cylindrical spline.
//
// Surfaces that take curves or a surface (revolved, ruled, tabulated,
// fillet, cylindrical spline) keep, in record mode, deep copies of the
// records of the objects given: those must be objects of this library that
// have a record (a curve made in cache mode has none: ThrowSimple(-2); a
// spline surface without one: ThrowInvalidArg(2, 1)). In cache mode they
// keep the objects themselves.
#pragma once

#include "kernel/geometry/geometry_base.h"

inline namespace zpi_internal {
class KPIPlane_i : public KPISurface_i, public virtual KPIPlane {
    ZPI_IMPLEMENTS(KPIPlane)
public:
    KPIPlane_i() noexcept;
    KPIPlane_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper = {});

    void SetData(xrchandle<KCsys> csys);
    xrchandle<KCsys> GetCsys() override;

private:
    xrchandle<KCsys> csys_;
};

class KPICylinder_i : public KPISurface_i, public virtual KPICylinder {
    ZPI_IMPLEMENTS(KPICylinder)
public:
    KPICylinder_i() noexcept;
    KPICylinder_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper = {});

    void SetData(xrchandle<KCsys> csys, double radius);
    double GetRadius() override;
    xrchandle<KCsys> GetCsys() override;

private:
    xrchandle<KCsys> csys_;
    double radius_ = 0;
};

// Kept in the cylinder's layout: the half angle takes the radius' place.
class KPICone_i : public KPISurface_i, public virtual KPICone {
    ZPI_IMPLEMENTS(KPICone)
public:
    KPICone_i() noexcept;
    KPICone_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper = {});

    void SetData(xrchandle<KCsys> csys, double halfAngle);
    double GetHalfAngle() override;
    xrchandle<KCsys> GetCsys() override;

private:
    xrchandle<KCsys> csys_;
    double halfAngle_ = 0;
};

class KPITorus_i : public KPISurface_i, public virtual KPITorus {
    ZPI_IMPLEMENTS(KPITorus)
public:
    KPITorus_i() noexcept;
    KPITorus_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper = {});

    void SetData(xrchandle<KCsys> csys, double r0, double r1);
    double GetR0() override;
    double GetR1() override;
    xrchandle<KCsys> GetCsys() override;

private:
    xrchandle<KCsys> csys_;
    double r0_ = 0;
    double r1_ = 0;
};

class KPISrfRev_i : public KPISurface_i, public virtual KPISrfRev {
    ZPI_IMPLEMENTS(KPISrfRev)
public:
    KPISrfRev_i() noexcept;
    KPISrfRev_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper = {});

    // Record mode: a profile kind the shape does not take raises -44; a
    // B-spline profile failing the span check is accepted.
    void SetData(xrchandle<KCsys> csys, xrchandle<KPICurve> profile);
    // Record mode: a new object over the profile inside this shape, which
    // keeps this surface alive.
    xrchandle<KPICurve> GetCurve() override;
    xrchandle<KCsys> GetCsys() override;

private:
    xrchandle<KCsys> csys_;
    xrchandle<KPICurve> profile_;
};

class KPIRulSrf_i : public KPISurface_i, public virtual KPIRulSrf {
    ZPI_IMPLEMENTS(KPIRulSrf)
public:
    KPIRulSrf_i() noexcept;
    KPIRulSrf_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper = {});

    void SetData(xrchandle<KCsys> csys, xrchandle<KPICurve> curve1, xrchandle<KPICurve> curve2);
    xrchandle<KCsys> GetCsys() override;
    xrchandle<KPICurve> GetCurve1() override;
    xrchandle<KPICurve> GetCurve2() override;

private:
    xrchandle<KCsys> csys_;
    xrchandle<KPICurve> curve1_;
    xrchandle<KPICurve> curve2_;
};

// Kept in the revolved surface's layout.
class KPITabCyl_i : public KPISurface_i, public virtual KPITabCyl {
    ZPI_IMPLEMENTS(KPITabCyl)
public:
    KPITabCyl_i() noexcept;
    KPITabCyl_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper = {});

    void SetData(xrchandle<KCsys> csys, xrchandle<KPICurve> curve);
    xrchandle<KCsys> GetCsys() override;
    xrchandle<KPICurve> GetCurve() override;

private:
    xrchandle<KCsys> csys_;
    xrchandle<KPICurve> curve_;
};

class KPIFilSrf_i : public KPISurface_i, public virtual KPIFilSrf {
    ZPI_IMPLEMENTS(KPIFilSrf)
public:
    KPIFilSrf_i() noexcept;
    KPIFilSrf_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper = {});

    // Record mode: each spline must be a spline implementation (argument
    // 1, 2 or 3 else ThrowInvalidArg(i, 1)) with a record.
    void SetData(xrchandle<KPISpline> pointSpline, xrchandle<KPISpline> centerSpline,
                 xrchandle<KPISpline> tangentSpline);
    // Record mode: new spline objects owning copies of the splines.
    xrchandle<KPISpline> GetPointSpline() override;
    xrchandle<KPISpline> GetCenterSpline() override;
    xrchandle<KPISpline> GetTangentSpline() override;

private:
    xrchandle<KPISpline> pointSpline_;
    xrchandle<KPISpline> centerSpline_;
    xrchandle<KPISpline> tangentSpline_;
};

class KPISplineSrf_i : public KPISurface_i, public virtual KPISplineSrf {
    ZPI_IMPLEMENTS(KPISplineSrf)
public:
    KPISplineSrf_i() noexcept;
    KPISplineSrf_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper = {});

    // Record mode: the counts kept are those of the U and V parameters.
    void SetData(xrchandle<xrealsequence> uParameters, xrchandle<xrealsequence> vParameters,
                 xrchandle<KPoint3DList> points, xrchandle<KVector3DList> uTangents,
                 xrchandle<KVector3DList> vTangents, xrchandle<KVector3DList> mixedDerivatives);
    // Fills an own shape (whatever the storage mode) with copies of the
    // arrays of a spline-surface head; the head is not kept.
    void SetFromRecord(const QelSplinesrfdata* head);

    xrchandle<xrealsequence> GetUParameters() override;
    xrchandle<xrealsequence> GetVParameters() override;
    xrchandle<KPoint3DList> GetPoints() override;
    xrchandle<KVector3DList> GetUTangents() override;
    xrchandle<KVector3DList> GetVTangents() override;
    xrchandle<KVector3DList> GetMixedDerivatives() override;

private:
    xrchandle<xrealsequence> uParameters_;
    xrchandle<xrealsequence> vParameters_;
    xrchandle<KPoint3DList> points_;
    xrchandle<KVector3DList> uTangents_;
    xrchandle<KVector3DList> vTangents_;
    xrchandle<KVector3DList> mixedDerivatives_;
};

class KPIBsplsrf_i : public KPISurface_i, public virtual KPIBsplsrf {
    ZPI_IMPLEMENTS(KPIBsplsrf)
public:
    KPIBsplsrf_i() noexcept;
    KPIBsplsrf_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper = {});

    // Record mode: control points are stored multiplied by their weights;
    // weights (may be null) whose count is not the points' count raise
    // ThrowSimple(-2) before anything is written.
    void SetData(int uDegree, int vDegree, xrchandle<xrealsequence> uParameters,
                 xrchandle<xrealsequence> vParameters, xrchandle<KPoint3DList> points,
                 xrchandle<xrealsequence> weights);

    int GetUDegree() override;
    int GetVDegree() override;
    xrchandle<xrealsequence> GetUParameters() override;
    xrchandle<xrealsequence> GetVParameters() override;
    // Record mode: weights divided out; fewer weights than points raise
    // ThrowSimple(-2).
    xrchandle<KPoint3DList> GetPoints() override;
    xrchandle<xrealsequence> GetWeights() override;

private:
    int uDegree_ = 0;
    int vDegree_ = 0;
    xrchandle<xrealsequence> uParameters_;
    xrchandle<xrealsequence> vParameters_;
    xrchandle<KPoint3DList> points_;
    xrchandle<xrealsequence> weights_;
};

class KPICylSplSrf_i : public KPISurface_i, public virtual KPICylSplSrf {
    ZPI_IMPLEMENTS(KPICylSplSrf)
public:
    KPICylSplSrf_i() noexcept;
    KPICylSplSrf_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper = {});

    // Record mode: the surface must be a spline-surface implementation
    // with a record (one made in cache mode has none), else
    // ThrowInvalidArg(2, 1).
    void SetData(xrchandle<KCsys> csys, xrchandle<KPISplineSrf> splineSurface);
    xrchandle<KCsys> GetCsys() override;
    // Record mode: a new spline surface owning a copy of the one inside.
    xrchandle<KPISplineSrf> GetSplsrf() override;

private:
    xrchandle<KCsys> csys_;
    xrchandle<KPISplineSrf> splineSurface_;
};
} // namespace zpi_internal
