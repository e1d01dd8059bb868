// Loops, faces and quilts, the shared interface-data holder and the list
// builders.
#include "kernel/topology/topology.h"

#include "kernel/geometry/geometry_base.h"
#include "kernel/geometry/geometry_dispatch.h"
#include "kernel/records/qel_copy.h"
#include "kernel/records/qel_routines.h"
#include "kernel/topology/topology_internal.h"
#include "kernel/geometry/value_convert.h"

#include "process.h"

#include <utility>

using namespace topo;

// ---- shared interface data ---------------------------------------------------
QelIntfDataTree::~QelIntfDataTree() {
    if (data_ && owns_) {
        int st = qel_intf_data_free(data_);
        if (st != 0)
            btk_tell("interface data not freed: status %d", st);
    }
}

int QelIntfDataTree::Free() noexcept {
    qel_intf_data* data = data_;
    data_ = nullptr;
    owns_ = false;
    return data ? qel_intf_data_free(data) : 0;
}

// ---- loops -------------------------------------------------------------------
namespace {

int32_t ContourTraversalCode(KPILoopTraversal traversal) {
    switch (traversal) {
    case KPI_LOOP_TRAV_INTERNAL:
        return QEL_TRAV_INTERNAL;
    case KPI_LOOP_TRAV_EXTERNAL:
        return QEL_TRAV_EXTERNAL;
    default:
        return QEL_TRAV_NONE;
    }
}

KPILoopTraversal LoopTraversalOf(int32_t code) {
    if (code == QEL_TRAV_INTERNAL)
        return KPI_LOOP_TRAV_INTERNAL;
    if (code == QEL_TRAV_EXTERNAL)
        return KPI_LOOP_TRAV_EXTERNAL;
    return KPI_LOOP_TRAV_NONE;
}

} // namespace

KPILoop_i::KPILoop_i() noexcept = default;

KPILoop_i::KPILoop_i(QelContourdata* record, bool ownsRecord, xrchandle<xobject> keeper)
    : record_(record), ownsRecord_(ownsRecord),
      keeper_(ownsRecord ? xrchandle<xobject>() : std::move(keeper)) {}

KPILoop_i::~KPILoop_i() { FreeOwnedRecord(record_, ownsRecord_, qel_contourdata_free, "loop"); }

void KPILoop_i::Set(KPILoopTraversal traversal, xrchandle<xintsequence> edgeIds) {
    if (!UseRecord(record_, ownsRecord_, get_gw_cpid_enable())) {
        traversal_ = uint32_t(traversal);
        edgeIds_ = std::move(edgeIds);
        return;
    }
    ContourHolder rec;
    Check(qel_contourdata_alloc(OutPtr(rec)));
    Check(qel_contourdata_traversal_set(ContourTraversalCode(traversal), rec.get()));
    if (edgeIds && edgeIds->Count() > 0) {
        xarholder<int32_t> ids;
        Check(IntSequenceToArray(edgeIds, ids));
        Check(qel_contourdata_edges_set(rec.get(), ids.Data()));
    }
    ReplaceRecord(record_, ownsRecord_, rec.release(), qel_contourdata_free);
}

KPILoopTraversal KPILoop_i::GetPILoopTraversal() {
    if (record_)
        return LoopTraversalOf(record_->traversal);
    return KPILoopTraversal(traversal_);
}

xrchandle<xintsequence> KPILoop_i::GetEdgeIds() {
    if (record_)
        return BuildIntSequence(record_->edge_ids);
    return edgeIds_;
}

// ---- faces -------------------------------------------------------------------
namespace {

int32_t OrientationCode(KPISurfOrient orientation) {
    switch (orientation) {
    case KPISURFACE_ORIENT_POSITIVE:
        return QEL_ORIENT_POSITIVE;
    case KPISURFACE_ORIENT_NEGATIVE:
        return QEL_ORIENT_NEGATIVE;
    default:
        return QEL_ORIENT_NONE;
    }
}

uint32_t FaceIdOf(const QelSurfacedata* rec) {
    uint32_t id = 0;
    if (rec)
        qel_surfacedata_get(rec, nullptr, nullptr, nullptr, nullptr, nullptr, &id);
    return id;
}

// A new face record built from the face's arguments; every object given
// must have its record. Nothing is left allocated when it raises.
QelSurfacedata* BuildFaceRecord(uint32_t id, const xrchandle<KBoxUV>& uvExtent,
                                KPISurfOrient orientation, const xrchandle<KPISurface>& surface,
                                const xrchandle<KPILoopList>& loops) {
    if (!surface)
        ThrowInvalidArg(4, 0);
    KPISurface_i* surf = CastToImpl<KPISurface_i>(surface.get(), 4);
    if (!surf->GetRecord())
        ThrowSimple(QEL_ERR_BAD_ARG);

    // The loops' contours, checked before anything is copied.
    xarholder<QelContourdata> contours;
    const int nloops = loops ? loops->Count() : 0;
    if (nloops > 0) {
        contours = xarholder<QelContourdata>(10, 0);
        if (!contours.Exists())
            ThrowSimple(QEL_ERR_NO_MEMORY);
        for (int i = 0; i < nloops; ++i) {
            xrchandle<KPILoop> loop = loops->Get(i);
            if (!loop)
                KXInvalidArg_i::Throw(5, 1);
            KPILoop_i* impl = CastToImpl<KPILoop_i>(loop.get(), 5);
            if (!impl->GetRecord())
                ThrowSimple(QEL_ERR_BAD_ARG);
            Check(contours.Append(*impl->GetRecord()));
        }
    }

    double uvMin[2] = {0, 0}, uvMax[2] = {0, 0};
    if (uvExtent)
        BoxUVToDoubles(uvExtent, uvMin, uvMax);

    const uint32_t kind = surf->GetHostKind();
    QelSurfaceshapedata shape;
    Check(qel_shape_copy_as_read(kind, surf->GetRecord(), &shape));
    FaceHolder face;
    if (int st = qel_surfacedata_alloc(OutPtr(face))) {
        qel_surfaceshapedata_clear(kind, &shape);
        ThrowSimple(st);
    }
    // The face takes the shape over here, so from now on freeing the face
    // frees the shape.
    if (int st = qel_surfacedata_init(kind, uvExtent ? uvMin : nullptr,
                                      uvExtent ? uvMax : nullptr, OrientationCode(orientation),
                                      &shape, id, face.get())) {
        qel_surfaceshapedata_clear(kind, &shape);
        ThrowSimple(st);
    }
    if (nloops > 0) {
        QelContourdata* copy = nullptr;
        Check(qel_contour_array_copy(contours.Data(), &copy));
        int st = qel_surfacedata_contours_set(face.get(), copy);
        if (st != 0)
            for (int i = 0; i < xar_count(copy); ++i)
                qel_contourdata_clear(&copy[i]);
        xar_free(copy);
        Check(st);
    }
    return face.release();
}

} // namespace

KPIFace_i::KPIFace_i(int id) noexcept : KPIItem_i(uint32_t(id), KPI_FACE) {}

KPIFace_i::KPIFace_i(QelSurfacedata* record, bool ownsRecord, xrchandle<xobject> keeper)
    : KPIItem_i(FaceIdOf(record), KPI_FACE), ownsRecord_(ownsRecord), record_(record),
      keeper_(ownsRecord ? xrchandle<xobject>() : std::move(keeper)) {}

KPIFace_i::~KPIFace_i() { FreeOwnedRecord(record_, ownsRecord_, qel_surfacedata_free, "face"); }

void KPIFace_i::Set(xrchandle<KBoxUV> uvExtent, KPISurfOrient orientation,
                    xrchandle<KPISurface> surface, xrchandle<KPILoopList> loops) {
    if (!UseRecord(record_, ownsRecord_, get_gw_cpid_enable())) {
        orientation_ = uint32_t(orientation);
        uvExtent_ = std::move(uvExtent);
        surface_ = std::move(surface);
        loops_ = std::move(loops);
        return;
    }
    QelSurfacedata* rec = BuildFaceRecord(uint32_t(GetId()), uvExtent, orientation, surface, loops);
    ReplaceRecord(record_, ownsRecord_, rec, qel_surfacedata_free);
    orientation_ = uint32_t(orientation);
}

xrchandle<KBoxUV> KPIFace_i::GetPIFaceUVExtent() {
    if (record_)
        return DoublesToBoxUV(record_->uv_min, record_->uv_max);
    return uvExtent_;
}

KPISurfOrient KPIFace_i::GetPISurfaceOrientation() {
    if (record_) {
        if (record_->orientation == QEL_ORIENT_POSITIVE)
            return KPISURFACE_ORIENT_POSITIVE;
        if (record_->orientation == QEL_ORIENT_NEGATIVE)
            return KPISURFACE_ORIENT_NEGATIVE;
        return KPISURFACE_ORIENT_NONE;
    }
    return KPISurfOrient(orientation_);
}

xrchandle<KPISurface> KPIFace_i::GetPISurface() {
    if (record_)
        return MakeSurfaceFromRecord(record_->kind, &record_->shape, false, SelfHandle());
    return surface_;
}

xrchandle<KPILoopList> KPIFace_i::GetPILoopList() {
    if (record_)
        return BuildLoopList(record_->contours, SelfHandle());
    return loops_;
}

QelSurfacedata* KPIFace_i::ToRecord() const {
    if (record_) {
        QelSurfacedata* copy = nullptr;
        Check(qel_face_copy_as_read(record_, &copy));
        return copy;
    }
    return BuildFaceRecord(uint32_t(const_cast<KPIFace_i*>(this)->GetId()), uvExtent_,
                           KPISurfOrient(orientation_), surface_, loops_);
}

void KPIFace_i::AppendToIntfData(qel_intf_data* root) {
    if (!root)
        ThrowSimple(QEL_ERR_BAD_ARG);
    FaceHolder rec(ToRecord());
    AppendRecord(root, rec, qel_intf_data_surface_append);
}

// ---- quilts ------------------------------------------------------------------
namespace {

uint32_t QuiltIdOf(const QelQuiltdata* rec) { return rec ? rec->id : 0; }

// A new quilt record holding deep copies of the faces' records.
QelQuiltdata* BuildQuiltRecord(uint32_t id, const xrchandle<KPIFaceList>& faces) {
    const int n = faces ? faces->Count() : 0;
    // The faces' records, checked before anything is copied.
    xarholder<const QelSurfacedata*> sources(10, 0);
    if (!sources.Exists())
        ThrowSimple(QEL_ERR_NO_MEMORY);
    for (int i = 0; i < n; ++i) {
        xrchandle<KPIFace> face = faces->Get(i);
        if (!face)
            KXInvalidArg_i::Throw(2, 1);
        KPIFace_i* impl = CastToImpl<KPIFace_i>(face.get(), 2);
        if (!impl->GetRecord())
            ThrowSimple(QEL_ERR_BAD_ARG);
        Check(sources.Append(impl->GetRecord()));
    }

    QuiltHolder quilt;
    Check(qel_quiltdata_alloc(OutPtr(quilt)));
    Check(qel_contourdata_traversal_set(int32_t(id), quilt.get()));
    if (n == 0)
        return quilt.release();

    xarholder<QelSurfacedata*> copies(10, 0);
    if (!copies.Exists())
        ThrowSimple(QEL_ERR_NO_MEMORY);
    OnExit freeCopies([&copies] {
        for (int i = 0; i < copies.Count(); ++i)
            qel_surfacedata_free(copies[i]);
    });
    for (int i = 0; i < n; ++i) {
        QelSurfacedata* copy = nullptr;
        Check(qel_face_copy_as_read(sources[i], &copy));
        if (int st = copies.Append(copy)) {
            qel_surfacedata_free(copy);
            ThrowSimple(st);
        }
    }
    Check(qel_quiltdata_surfaces_set(quilt.get(), copies.Data()));
    freeCopies.Dismiss(); // the quilt owns the faces now
    return quilt.release();
}

} // namespace

KPIQuilt_i::KPIQuilt_i(int id) noexcept : KPIItem_i(uint32_t(id), KPI_QUILT) {}

KPIQuilt_i::KPIQuilt_i(QelQuiltdata* record, bool ownsRecord, xrchandle<xobject> keeper)
    : KPIItem_i(QuiltIdOf(record), KPI_QUILT), ownsRecord_(ownsRecord), record_(record),
      keeper_(ownsRecord ? xrchandle<xobject>() : std::move(keeper)) {}

KPIQuilt_i::~KPIQuilt_i() { FreeOwnedRecord(record_, ownsRecord_, qel_quiltdata_free, "quilt"); }

void KPIQuilt_i::SetFaces(xrchandle<KPIFaceList> faces) {
    if (!UseRecord(record_, ownsRecord_, get_gw_cpid_enable())) {
        xrchandle<KPIFaceList> kept(KPIFaceList::create());
        const int n = faces ? faces->Count() : 0;
        for (int i = 0; i < n; ++i) {
            xrchandle<KPIFace> face = faces->Get(i);
            if (!face)
                KXInvalidArg_i::Throw(2, 1);
            kept->Append(face);
        }
        faces_ = std::move(kept);
        return;
    }
    ReplaceRecord(record_, ownsRecord_, BuildQuiltRecord(uint32_t(GetId()), faces),
                  qel_quiltdata_free);
}

xrchandle<KPIFaceList> KPIQuilt_i::GetFaces() {
    if (record_)
        return BuildQuiltFaceList(record_->faces, false, SelfHandle());
    return faces_;
}

QelQuiltdata* KPIQuilt_i::ToRecord() const {
    if (record_) {
        QelQuiltdata* copy = nullptr;
        Check(qel_quilt_copy_as_read(record_, &copy));
        return copy;
    }
    return BuildQuiltRecord(uint32_t(const_cast<KPIQuilt_i*>(this)->GetId()), faces_);
}

void KPIQuilt_i::AppendToIntfData(qel_intf_data* root) {
    if (!root)
        ThrowSimple(QEL_ERR_BAD_ARG);
    QuiltHolder rec(ToRecord());
    AppendRecord(root, rec, qel_intf_data_quilt_append);
}

// ---- builders ----------------------------------------------------------------
xrchandle<KPILoopList> BuildLoopList(QelContourdata* contours, xrchandle<xobject> keeper) {
    QelArrayView<QelContourdata> view(contours);
    if (view.Empty())
        return nullptr;
    xrchandle<KPILoopList> list(KPILoopList::create());
    for (int i = 0; i < view.Count(); ++i) {
        auto* contour = const_cast<QelContourdata*>(&view[i]);
        list->Append(xrchandle<KPILoop>(new KPILoop_i(contour, false, keeper)));
    }
    return list;
}

xrchandle<KPIFaceList> BuildQuiltFaceList(QelSurfacedata* const* faces, bool ownsRecord,
                                          xrchandle<xobject> keeper) {
    QelArrayView<QelSurfacedata*> view(faces);
    if (view.Empty())
        return nullptr;
    xrchandle<KPIFaceList> list(KPIFaceList::create());
    for (int i = 0; i < view.Count(); ++i) {
        QelSurfacedata* face = view[i];
        if (!face)
            continue; // an empty slot holds no face
        if (ownsRecord) {
            FaceHolder copy;
            Check(qel_face_copy_as_read(face, OutPtr(copy)));
            AppendOwning<KPIFace_i>(list, copy);
        } else {
            list->Append(xrchandle<KPIFace>(new KPIFace_i(face, false, keeper)));
        }
    }
    return list->Count() > 0 ? list : nullptr;
}

xrchandle<KPIFaceList> BuildFaceList(const qel_intf_data* root) {
    return BuildOwnedCopies<KPIFace_i, KPIFaceList, QelSurfacedata, qel_surfacedata_free>(
        root ? root->surfaces : nullptr, qel_face_copy_as_read);
}

xrchandle<KPIQuiltList> BuildQuiltList(const qel_intf_data* root) {
    return BuildOwnedCopies<KPIQuilt_i, KPIQuiltList, QelQuiltdata, qel_quiltdata_free>(
        root ? root->quilts : nullptr, qel_quilt_copy_as_read);
}
