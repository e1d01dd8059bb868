#include "kernel/geometry/geometry_base.h"

#include "api/kpi_session.h"

#include "kernel/records/qel_copy.h"
#include "kernel/records/qel_routines.h"

#include "process.h"
#include "xexcept.h"

#include <atomic>
#include <cstring>

namespace {
// 1 at load: records are made at once.
std::atomic<int32_t> g_storageMode{1};
} // namespace

extern "C" int set_gw_cpid_enable(int enable) {
    return g_storageMode.exchange(enable, std::memory_order_relaxed);
}

int get_gw_cpid_enable() { return g_storageMode.load(std::memory_order_relaxed); }

uint32_t HostCurveKind(KPICurveType kind) {
    switch (kind) {
    case KPICURV_POINT: return QEL_CURVE_POINT;
    case KPICURV_LINE: return QEL_CURVE_LINE;
    case KPICURV_ARC: return QEL_CURVE_ARC;
    case KPICURV_ELLIPSE: return QEL_CURVE_ELLIPSE;
    case KPICURV_SPLINE: return QEL_CURVE_SPLINE;
    case KPICURV_BSPLINE: return QEL_CURVE_BSPLINE;
    case KPICURV_COMP: return QEL_CURVE_COMPOSITE;
    }
    return 0;
}

uint32_t HostSurfaceKind(KPISurfType kind) {
    switch (kind) {
    case KPISURF_PLANE: return QEL_SURF_PLANE;
    case KPISURF_CYL: return QEL_SURF_CYLINDER;
    case KPISURF_CONE: return QEL_SURF_CONE;
    case KPISURF_TORUS: return QEL_SURF_TORUS;
    case KPISURF_SRFREV: return QEL_SURF_REVOLVED;
    case KPISURF_RULSRF: return QEL_SURF_RULED;
    case KPISURF_TABCYL: return QEL_SURF_TABCYL;
    case KPISURF_FILSRF: return QEL_SURF_FILLET;
    case KPISURF_SPLN: return QEL_SURF_SPLINE;
    case KPISURF_BSPLN: return QEL_SURF_BSPLINE;
    case KPISURF_CYLSPLN: return QEL_SURF_CYLSPLINE;
    }
    return 0;
}

// ---- curves -------------------------------------------------------------------
KPICurve_i::KPICurve_i(KPICurveType kind, QelCurvedata* record, bool ownsRecord,
                       xrchandle<xobject> keeper)
    : record_(record), ownsRecord_(ownsRecord), curveKind_(kind),
      keeper_(ownsRecord ? xrchandle<xobject>() : std::move(keeper)) {}

KPICurve_i::~KPICurve_i() {
    if (record_ && ownsRecord_) {
        int st = qel_curvedata_free(record_);
        if (st != 0)
            btk_tell("curve record not freed: status %d", st);
    }
}

void KPICurve_i::EnsureRecord() {
    if (record_)
        return;
    QelCurvedata* rec = nullptr;
    int st = qel_curvedata_alloc(&rec);
    if (st != 0)
        ThrowSimple(st);
    record_ = rec;
}

bool KPICurve_i::BeginSet(KPICurveType kind) {
    if (get_gw_cpid_enable() != 0)
        EnsureRecord();
    curveKind_ = kind;
    if (!record_)
        return false;
    if (!ownsRecord_)
        ThrowSimple(QEL_ERR_BAD_ARG);
    // A record filled by an earlier call: free what it holds first.
    if (record_->kind != 0) {
        int st = qel_curvedata_clear(record_);
        if (st != 0)
            ThrowSimple(st);
        std::memset(record_, 0, sizeof(*record_));
    }
    return true;
}

void KPICurve_i::FailSet(int status) {
    if (record_ && ownsRecord_ && qel_curvedata_clear(record_) == 0)
        std::memset(record_, 0, sizeof(*record_));
    ThrowSimple(status);
}

QelCurvedata* KPICurve_i::CheckedRecord() const {
    if (!record_ || record_->kind != HostCurveKind(curveKind_))
        ThrowSimple(QEL_ERR_WRONG_KIND);
    return record_;
}

// ---- surfaces ------------------------------------------------------------------
KPISurface_i::KPISurface_i(KPISurfType kind, QelSurfaceshapedata* record, bool ownsRecord,
                           xrchandle<xobject> keeper)
    : record_(record), ownsRecord_(ownsRecord), hostKind_(HostSurfaceKind(kind)), surfKind_(kind),
      keeper_(ownsRecord ? xrchandle<xobject>() : std::move(keeper)) {}

KPISurface_i::~KPISurface_i() {
    if (record_ && ownsRecord_) {
        int st = qel_surfaceshapedata_free(hostKind_, record_);
        if (st != 0)
            btk_tell("surface record not freed: status %d", st);
    }
}

void KPISurface_i::EnsureRecord() {
    if (record_)
        return;
    QelSurfaceshapedata* rec = nullptr;
    int st = qel_surfaceshapedata_alloc(&rec);
    if (st != 0)
        ThrowSimple(st);
    record_ = rec;
}

bool KPISurface_i::BeginSet(KPISurfType kind) {
    if (get_gw_cpid_enable() != 0)
        EnsureRecord();
    surfKind_ = kind;
    if (!record_)
        return false;
    if (!ownsRecord_)
        ThrowSimple(QEL_ERR_BAD_ARG);
    if (hostKind_ != 0) {
        int st = qel_surfaceshapedata_clear(hostKind_, record_);
        if (st != 0)
            ThrowSimple(st);
    }
    std::memset(record_, 0, sizeof(*record_));
    // Written before the init so that a shape left half filled is freed by
    // its own kind.
    hostKind_ = HostSurfaceKind(kind);
    return true;
}

void KPISurface_i::FailSet(int status) {
    if (record_ && ownsRecord_ && qel_surfaceshapedata_clear(hostKind_, record_) == 0)
        std::memset(record_, 0, sizeof(*record_));
    ThrowSimple(status);
}

QelSurfaceshapedata* KPISurface_i::CheckedRecord() const {
    if (!record_ || hostKind_ != HostSurfaceKind(surfKind_))
        ThrowSimple(QEL_ERR_WRONG_KIND);
    return record_;
}

// ---- reading another object's record ------------------------------------------
void CopyCurveRecordOf(KCommon* curve, int argIndex, QelCurvedata* out) {
    if (!curve)
        ThrowInvalidArg(argIndex, 0);
    KPICurve_i* impl = CastToImpl<KPICurve_i>(curve, argIndex);
    const QelCurvedata* rec = impl->GetRecord();
    if (!rec)
        ThrowSimple(QEL_ERR_BAD_ARG);
    int st = qel_curve_copy_as_read(rec, out); // a curve a document held passes on
    if (st != 0)
        ThrowSimple(st);
}

QelCurveScratch::QelCurveScratch() noexcept { std::memset(&rec_, 0, sizeof(rec_)); }

QelCurveScratch::~QelCurveScratch() {
    if (armed_) {
        int st = qel_curvedata_clear(&rec_);
        if (st != 0)
            btk_tell("scratch curve not cleared: status %d", st);
    }
}
