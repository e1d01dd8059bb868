// The record routines and deep copies over records whose counts and sizes
// lie (see record_builder.h): single curves, shapes, faces, edges, quilts
// and datums are copied, checked and freed; a whole root is counted, read
// by index, copied and freed; an extension is copied and freed, and its
// faceted representations copied and cleared. Nothing may be left behind.
#include "fuzz_support.h"
#include "record_builder.h"

#include "kernel/records/qel_check.h"
#include "kernel/records/qel_copy.h"
#include "kernel/records/qel_routines.h"

namespace {

void CurveOps(zpifuzz::RecordBuilder& b) {
    auto* c = b.Block<QelCurvedata>();
    if (!c)
        return;
    b.Curve(*c);
    QelCurvedata copy;
    std::memset(&copy, 0, sizeof copy);
    if (qel_curve_copy(c, &copy) == QEL_OK)
        qel_curvedata_clear(&copy);
    QelCurvedata shared; // byte copies: they share the source's arrays
    (void)qel_curvedata_copy(c, &shared);
    (void)qel_curvedata_set(c, &shared);
    int32_t kind = 0;
    (void)qel_curvedata_type_get(c, &kind);
    (void)qel_curvedata_is_cleared(c);
    if (c->kind == QEL_CURVE_BSPLINE) {
        (void)qel_bsplinedata_degree_check(c);
        (void)qel_bsplinedata_knots_check(c);
        (void)qel_bsplinedata_ends_check(c);
        (void)qel_bsplinedata_spans_check(c);
    }
    qel_curvedata_release(c);
}

void ShapeOps(zpifuzz::RecordBuilder& b) {
    const uint32_t kind = b.SurfaceKind();
    auto* s = b.Block<QelSurfaceshapedata>();
    if (!s)
        return;
    b.Shape(kind, *s);
    auto* copy = b.Block<QelSurfaceshapedata>();
    if (copy && qel_shape_copy(kind, s, copy) == QEL_OK)
        qel_surfaceshapedata_clear(kind, copy);
    rlsmem(copy);
    if (qel_surfaceshapedata_free(kind, s) != QEL_OK)
        rlsmem(s); // a refused shape: its block at least
}

template <class T, class Fill, class Copy, class Free>
void RecordOps(zpifuzz::RecordBuilder& b, Fill fill, Copy copy, Free free) {
    T* rec = b.Block<T>();
    if (!rec)
        return;
    fill(*rec);
    // A record its free routine refuses (a datum of an unknown type) owns
    // nothing the routine knows of; the caller releases the block.
    T* dup = nullptr;
    if (copy(rec, &dup) == QEL_OK && dup && free(dup) != QEL_OK)
        rlsmem(dup);
    if (free(rec) != QEL_OK)
        rlsmem(rec);
}

void RootOps(zpifuzz::RecordBuilder& b) {
    qel_intf_data* root = b.Root();
    if (!root)
        return;
    int32_t n = 0;
    qel_intf_data_surface_count(root, &n);
    qel_intf_data_quilt_count(root, &n);
    qel_intf_data_edge_count(root, &n);
    qel_intf_data_datum_count(root, &n);
    for (int32_t i : {-1, 0, 1, 3, 100000}) {
        QelSurfacedata* f = nullptr;
        if (qel_intf_data_surface_get(root, i, &f) == QEL_OK)
            qel_data_free(f);
        QelQuiltdata* q = nullptr;
        if (qel_intf_data_quilt_get(root, i, &q) == QEL_OK)
            qel_data_free(q);
        QelEdgedata* e = nullptr;
        if (qel_intf_data_edge_get(root, i, &e) == QEL_OK)
            qel_data_free(e);
        QelDatumdata* d = nullptr;
        if (qel_intf_data_datum_get(root, i, &d) == QEL_OK)
            qel_data_free(d);
    }
    (void)qel_intf_data_fault(root);
    qel_intf_data* copy = nullptr;
    if (qel_intf_data_copy(root, &copy) == QEL_OK)
        qel_intf_data_free(copy);
    qel_intf_data_free(root);
}

void ExtensionOps(zpifuzz::RecordBuilder& b) {
    qel_intf_data_extend* ext = b.Extension();
    if (!ext)
        return;
    auto* copy = b.Block<qel_intf_data_extend>();
    if (copy) {
        qel_intf_data_extend_copy(ext, copy);
        impfeat_ext_free(copy);
        rlsmem(copy);
    }
    if (ext->faceted_reps && har_total(ext->faceted_reps) > 0) {
        int page = 0, offset = 0;
        auto* rep = static_cast<QelFacetedRepdata*>(har_access(ext->faceted_reps, 0, &page, &offset));
        QelFacetedRepdata dup{};
        if (rep && qel_facetedrep_copy(rep, &dup) == QEL_OK)
            qel_facetedrep_clear(&dup);
    }
    impfeat_ext_free(ext);
    rlsmem(ext);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    zpifuzz::RecordBuilder b(in);
    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange<int>(0, 7)) {
        case 0: CurveOps(b); break;
        case 1: ShapeOps(b); break;
        case 2:
            RecordOps<QelSurfacedata>(
                b, [&](QelSurfacedata& f) { b.Face(f); }, qel_face_copy, qel_surfacedata_free);
            break;
        case 3:
            RecordOps<QelEdgedata>(
                b, [&](QelEdgedata& e) { b.Edge(e); }, qel_edge_copy, qel_edgedata_free);
            break;
        case 4:
            RecordOps<QelQuiltdata>(
                b, [&](QelQuiltdata& q) { b.Quilt(q); }, qel_quilt_copy, qel_quiltdata_free);
            break;
        case 5:
            RecordOps<QelDatumdata>(
                b, [&](QelDatumdata& d) { b.Datum(d); }, qel_datum_copy, qel_datumdata_free);
            break;
        case 6: RootOps(b); break;
        default: ExtensionOps(b); break;
        }
    }
    return 0;
}
