// kernel/geometry: the curve and surface implementations over their
// records, the storage mode, the dispatchers that wrap existing records
// (geometry_dispatch.h) and the value conversions between interface values
// and host arrays (value_convert.h). It uses records/.
//
// Bases of the curve and surface implementations, and the storage mode.
//
// Storage mode: one process-wide switch, 1 at load. While it is nonzero a
// new object's setter takes a host record and fills it (record mode); while
// it is 0 the setter keeps its arguments (cache mode). Getters read the
// record when the object has one, else the kept values. The switch is read
// at every setter call; an existing object never changes its storage.
//
// Records: an object either owns its record (made by its setter or copied
// out of another record) and frees it with itself, or wraps a record that
// belongs to something else (a face's shape, an edge's curve, a composite's
// component, a surface's profile). A wrapping object holds a counted
// reference on that owner (its keeper) so the record cannot be freed while
// the object lives.
#pragma once

#include "kernel/kpi_impl.h"
#include "api/zpi50_export.h"
#include "api/qel_records.h"

#include <cstdint>

// The storage-mode switch as the setters read it (set_gw_cpid_enable sets
// it, see api/kpi_session.h). Nonzero: record mode.
int get_gw_cpid_enable();

// Host kind codes of the interface kinds: curves 1 point, 2 line, 3 arc,
// 30 ellipse, 12 spline, 19 B-spline, 41 composite; surfaces 34 plane,
// 36 cylinder, 37 cone, 38 torus, 43 revolved, 42 ruled, 44 tabulated
// cylinder, 41 fillet, 40 spline, 45 B-spline, 48 cylindrical spline.
uint32_t HostCurveKind(KPICurveType kind);
uint32_t HostSurfaceKind(KPISurfType kind);

inline namespace zpi_internal {
// ---- curves -------------------------------------------------------------------
class KPICurve_i : public KCommon_i, public virtual KPICurve {
    ZPI_IMPLEMENTS(KPICurve)
public:
    KPICurveType GetPICurveType() override { return curveKind_; }

    // The host record (null in cache mode), whether this object frees it,
    // and the owner kept alive for a wrapped record (null when none).
    QelCurvedata* GetRecord() const noexcept { return record_; }
    bool OwnsRecord() const noexcept { return ownsRecord_; }
    const xrchandle<xobject>& GetRecordKeeper() const noexcept { return keeper_; }

    // Takes a new zero-filled record when there is none; a failing
    // allocation raises ThrowSimple(status).
    void EnsureRecord();

protected:
    // New object: no record, owns-record true.
    explicit KPICurve_i(KPICurveType kind) noexcept : curveKind_(kind) {}
    // Wraps `record`; when it is not owned, `keeper` is held for as long as
    // this object lives.
    KPICurve_i(KPICurveType kind, QelCurvedata* record, bool ownsRecord,
               xrchandle<xobject> keeper);
    ~KPICurve_i() override;

    // Steps 1 and 2 of every setter: takes a record in record mode, writes
    // the curve kind and empties a record filled before. Answers whether
    // the setter is to fill the record (else it keeps its arguments). A
    // wrapped record is never filled: ThrowSimple(-2).
    bool BeginSet(KPICurveType kind);
    // Empties the record after a failing init and raises ThrowSimple(status).
    [[noreturn]] void FailSet(int status);
    // Getter protocol: the kept value when the object has no record, else
    // `read` of the record, which must hold a curve of this class's host
    // kind (ThrowSimple(-18) for another kind, a record wrapped by hand).
    template <class T, class Read> T KeptOrRead(const T& kept, Read&& read) const {
        if (!record_)
            return kept;
        return T(read(*CheckedRecord()));
    }
    QelCurvedata* CheckedRecord() const;
    // A counted handle on this object, to keep it alive from objects that
    // wrap parts of its record.
    xrchandle<xobject> SelfHandle() { return xrchandle<xobject>(static_cast<xobject*>(this)); }

private:
    QelCurvedata* record_ = nullptr;
    bool ownsRecord_ = true;
    KPICurveType curveKind_ = KPICURV_POINT;
    xrchandle<xobject> keeper_;
};

// ---- surfaces ------------------------------------------------------------------
class KPISurface_i : public KCommon_i, public virtual KPISurface {
    ZPI_IMPLEMENTS(KPISurface)
public:
    KPISurfType GetPISurfaceType() override { return surfKind_; }

    // The host shape (null in cache mode), whether this object frees it, its
    // host surface kind (34 ... 48; 0 while the object has no record), and
    // the owner kept alive for a wrapped shape.
    QelSurfaceshapedata* GetRecord() const noexcept { return record_; }
    bool OwnsRecord() const noexcept { return ownsRecord_; }
    uint32_t GetHostKind() const noexcept { return hostKind_; }
    const xrchandle<xobject>& GetRecordKeeper() const noexcept { return keeper_; }

    void EnsureRecord();

protected:
    // New object: no record, owns-record true, host kind 0.
    explicit KPISurface_i(KPISurfType kind) noexcept : surfKind_(kind) {}
    // Wraps `shape`, of the host kind of `kind`; `keeper` as for curves.
    KPISurface_i(KPISurfType kind, QelSurfaceshapedata* record, bool ownsRecord,
                 xrchandle<xobject> keeper);
    ~KPISurface_i() override;

    // As for curves; when the shape is to be filled the host kind is
    // written too.
    bool BeginSet(KPISurfType kind);
    [[noreturn]] void FailSet(int status);
    // Getter protocol, as for curves: the kept value, or `read` of the
    // shape, which must be of this class's host kind (else -18).
    template <class T, class Read> T KeptOrRead(const T& kept, Read&& read) const {
        if (!record_)
            return kept;
        return T(read(*CheckedRecord()));
    }
    QelSurfaceshapedata* CheckedRecord() const;
    xrchandle<xobject> SelfHandle() { return xrchandle<xobject>(static_cast<xobject*>(this)); }

private:
    QelSurfaceshapedata* record_ = nullptr;
    bool ownsRecord_ = true;
    uint32_t hostKind_ = 0;
    KPISurfType surfKind_ = KPISURF_PLANE;
    xrchandle<xobject> keeper_;
};
} // namespace zpi_internal

// ---- reading another object's record ------------------------------------------
// Deep copy of the record of the curve behind `curve` into `out` (a zeroed
// record that then owns the copy). A null object raises
// ThrowInvalidArg(argIndex, 0), a foreign one ThrowInvalidArg(argIndex, 1); an object without a record (made in cache
// mode) ThrowSimple(-2); a failing copy ThrowSimple(status).
void CopyCurveRecordOf(KCommon* curve, int argIndex, QelCurvedata* out);

// Frees what a scratch curve record owns when it goes, unless released.
class QelCurveScratch {
public:
    QelCurveScratch() noexcept;
    ~QelCurveScratch();
    QelCurveScratch(const QelCurveScratch&) = delete;
    QelCurveScratch& operator=(const QelCurveScratch&) = delete;
    QelCurvedata* get() noexcept { return &rec_; }
    // Its contents now belong elsewhere.
    void release() noexcept { armed_ = false; }

private:
    QelCurvedata rec_;
    bool armed_ = true;
};
