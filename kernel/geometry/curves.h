// The seven curve implementations.
//
// Each class has two constructors: the new-object one (the session factory
// follows it with exactly one SetData call) and the record-wrapping one
// (record, owns flag, keeper) used by the curve dispatcher. SetData fills
// the host record in record mode and keeps its arguments in cache mode (see
// kernel/geometry/geometry_base.h); it checks no argument beyond what is said below.
#pragma once

#include "kernel/geometry/geometry_base.h"

inline namespace zpi_internal {
class KPIPoint_i : public KPICurve_i, public virtual KPIPoint {
    ZPI_IMPLEMENTS(KPIPoint)
public:
    KPIPoint_i() noexcept;
    KPIPoint_i(QelCurvedata* record, bool ownsRecord, xrchandle<xobject> keeper = {});

    void SetData(xrchandle<KPoint3D> point);
    xrchandle<KPoint3D> GetPoint3D() override;

private:
    xrchandle<KPoint3D> point_;
};

class KPILine_i : public KPICurve_i, public virtual KPILine {
    ZPI_IMPLEMENTS(KPILine)
public:
    KPILine_i() noexcept;
    KPILine_i(QelCurvedata* record, bool ownsRecord, xrchandle<xobject> keeper = {});

    void SetData(xrchandle<KPoint3D> end0, xrchandle<KPoint3D> end1);
    xrchandle<KPoint3D> GetEnd0() override;
    xrchandle<KPoint3D> GetEnd1() override;

private:
    xrchandle<KPoint3D> end0_;
    xrchandle<KPoint3D> end1_;
};

class KPIArc_i : public KPICurve_i, public virtual KPIArc {
    ZPI_IMPLEMENTS(KPIArc)
public:
    KPIArc_i() noexcept;
    KPIArc_i(QelCurvedata* record, bool ownsRecord, xrchandle<xobject> keeper = {});

    // Start angle, end angle, radius.
    void SetData(xrchandle<KCsys> csys, double end0, double end1, double radius);
    double GetEnd0() override;
    double GetEnd1() override;
    double GetRadius() override;
    xrchandle<KCsys> GetCsys() override;

private:
    xrchandle<KCsys> csys_;
    double end0_ = 0;
    double end1_ = 0;
    double radius_ = 0;
};

class KPIEllipse_i : public KPICurve_i, public virtual KPIEllipse {
    ZPI_IMPLEMENTS(KPIEllipse)
public:
    KPIEllipse_i() noexcept;
    KPIEllipse_i(QelCurvedata* record, bool ownsRecord, xrchandle<xobject> keeper = {});

    // Major length, minor length, start angle, end angle.
    void SetData(xrchandle<KCsys> csys, double c0, double c1, double end0, double end1);
    double GetC0() override;
    double GetC1() override;
    double GetEnd0() override;
    double GetEnd1() override;
    xrchandle<KCsys> GetCsys() override;

private:
    xrchandle<KCsys> csys_;
    double c0_ = 0;
    double c1_ = 0;
    double end0_ = 0;
    double end1_ = 0;
};

class KPISpline_i : public KPICurve_i, public virtual KPISpline {
    ZPI_IMPLEMENTS(KPISpline)
public:
    KPISpline_i() noexcept;
    KPISpline_i(QelCurvedata* record, bool ownsRecord, xrchandle<xobject> keeper = {});

    // Record mode: the counts must agree and the parameters increase, else
    // ThrowSimple(-2).
    void SetData(xrchandle<KPoint3DList> points, xrchandle<KVector3DList> tangents,
                 xrchandle<xrealsequence> parameters);
    // Fills an own record (whatever the storage mode) with copies of the
    // arrays of a spline head; the head is not kept.
    void SetFromRecord(const QelSplinedata* head);

    xrchandle<KPoint3DList> GetPoints() override;
    xrchandle<KVector3DList> GetTangents() override;
    xrchandle<xrealsequence> GetParameters() override;

private:
    xrchandle<KPoint3DList> points_;
    xrchandle<KVector3DList> tangents_;
    xrchandle<xrealsequence> parameters_;
};

class KPIBspline_i : public KPICurve_i, public virtual KPIBspline {
    ZPI_IMPLEMENTS(KPIBspline)
public:
    KPIBspline_i() noexcept;
    KPIBspline_i(QelCurvedata* record, bool ownsRecord, xrchandle<xobject> keeper = {});

    // Record mode: control points are stored multiplied by their weights.
    // Weights (may be null) whose count is not the points' count raise
    // ThrowSimple(-2) before anything is written; degree 4 or more and
    // unclamped ends are accepted; other init failures raise their status.
    void SetData(int degree, xrchandle<xrealsequence> parameters,
                 xrchandle<xrealsequence> weights, xrchandle<KPoint3DList> points);

    int GetDegree() override;
    xrchandle<xrealsequence> GetParameters() override;
    xrchandle<xrealsequence> GetWeights() override;
    // Record mode: the control points with their weights divided out. A
    // record with fewer weights than points raises ThrowSimple(-2).
    xrchandle<KPoint3DList> GetPoints() override;

private:
    int degree_ = 0;
    xrchandle<xrealsequence> parameters_;
    xrchandle<xrealsequence> weights_;
    xrchandle<KPoint3DList> points_;
};

class KPICompositeCurve_i : public KPICurve_i, public virtual KPICompositeCurve {
    ZPI_IMPLEMENTS(KPICompositeCurve)
public:
    KPICompositeCurve_i() noexcept;
    KPICompositeCurve_i(QelCurvedata* record, bool ownsRecord, xrchandle<xobject> keeper = {});

    // Record mode: a deep copy of each member's record with its traversal
    // as direction. A null member raises KXInvalidArg_i::Throw(1, 1), a
    // member that is not a curve of this library ThrowInvalidArg(1, 1), one
    // without a record (cache mode) ThrowSimple(-2), a traversal list
    // shorter than the curves its index error. Nothing is kept on failure.
    void SetData(xrchandle<KPICurveList> curves, xrchandle<xintsequence> traversals);

    // Record mode: new curve objects over the components inside this
    // record; each keeps this composite alive.
    xrchandle<KPICurveList> GetCurves() override;
    xrchandle<xintsequence> GetTraversals() override;

private:
    xrchandle<KPICurveList> curves_;
    xrchandle<xintsequence> traversals_;
};
} // namespace zpi_internal
