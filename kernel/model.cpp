#include "kernel/model.h"

#include "kernel/attributes.h"
#include "kernel/geometry_base.h"
#include "kernel/model_ext.h"
#include "kernel/qel_routines.h"
#include "kernel/session_factory.h"
#include "kernel/value_convert.h"

#include "xexcept.h"
#include "xmemory.h"

#include <cstring>
#include <utility>

namespace {

// Host accuracy kind of an accuracy type: 0 relative -> 1, 1 absolute -> 2;
// any other type leaves the record's kind alone (0 answered).
uint32_t HostAccuracyKind(uint32_t type) {
    switch (type) {
    case KACCURACY_RELATIVE:
        return QEL_ACCURACY_RELATIVE;
    case KACCURACY_ABSOLUTE:
        return QEL_ACCURACY_ABSOLUTE;
    default:
        return 0;
    }
}

uint32_t AccuracyTypeOfHostKind(uint32_t kind) {
    switch (kind) {
    case QEL_ACCURACY_RELATIVE:
        return KACCURACY_RELATIVE;
    case QEL_ACCURACY_ABSOLUTE:
        return KACCURACY_ABSOLUTE;
    default:
        return KACCURACY_UNDEFINED;
    }
}

void CheckAccuracy(KAccuracyType type, double value) {
    if (type == KACCURACY_UNDEFINED)
        ThrowInvalidArg(1, 1);
    if (!(value > 1e-9)) // a NaN fails too
        ThrowInvalidArg(2, 1);
}

bool IsCompositeOrWorse(const xrchandle<KPICurve>& curve) {
    const int type = int(curve->GetPICurveType());
    return type == KPICURV_COMP || type == KPICURV_COMP + 1;
}

// Adds `item` to a model: with interface data the item's record goes in
// first, and only when that succeeded is the item listed, so the lists and
// the records never disagree.
template <class Impl, class List, class Item>
void AddItem(qel_intf_data* root, xrchandle<List>& list, const xrchandle<Item>& item) {
    if (!item)
        ThrowInvalidArg(1, 0);
    if (root)
        CastToImpl<Impl>(item.get(), 1)->AppendToIntfData(root);
    if (!list)
        list = List::create();
    list->Append(item);
}

// Adds every element of `items` through the model's own add operation;
// elements before a null one stay added.
template <class List, class Add> void AddEach(const xrchandle<List>& items, Add add) {
    if (!items)
        ThrowInvalidArg(1, 0);
    const int n = items->Count();
    if (n == 0)
        ThrowInvalidArg(1, 1);
    for (int i = 0; i < n; ++i) {
        auto item = items->Get(i);
        if (!item)
            KXInvalidArg_i::Throw(1, 1);
        add(item);
    }
}

template <class List>
typename List::handle_type ItemAt(const xrchandle<List>& list, int index, int count,
                                  int badIndexCode) {
    if (index < 0 || index >= count || !list)
        ThrowInvalidArg(1, badIndexCode);
    return list->Get(index);
}

// Element-colour entries are ordered by item id read as a signed 32-bit
// value, so the model's own entry (item id -1) sorts first.
int CompareElemColorIds(const void* a, const void* b) {
    const auto x = int32_t(static_cast<const QelElemColordata*>(a)->item_id);
    const auto y = int32_t(static_cast<const QelElemColordata*>(b)->item_id);
    return (x > y) - (x < y);
}

constexpr uint32_t kNoIndex = 0xFFFFFFFFu;

} // namespace

// ---- life ---------------------------------------------------------------------

KWPIModel_i::KWPIModel_i() { InitFileLocations(); }

KWPIModel_i::KWPIModel_i(qel_intf_data* data, bool owns) : owns_(owns) {
    InitFileLocations();
    if (!data)
        return;
    // The holder frees the record when its last holder goes, whoever made it.
    tree_ = new QelIntfDataTree(data, true);
    accuracyType_ = AccuracyTypeOfHostKind(data->accuracy_type);
    accuracy_ = data->accuracy;
    outline_ = DoublesToBox3D(data->outline);
}

// Members go in reverse order: the interface data first, then the
// extension, the lists and the outline.
KWPIModel_i::~KWPIModel_i() = default;

void KWPIModel_i::InitAccuracy(KAccuracyType type, double value) {
    if (get_gw_cpid_enable() != 0) {
        qel_intf_data* data = nullptr;
        const int st = qel_intf_data_alloc(&data);
        if (st != 0)
            ThrowSimple(st);
        tree_ = new QelIntfDataTree(data, true);
        owns_ = true;
    }
    if (qel_intf_data* root = GetIntfData()) {
        if (uint32_t kind = HostAccuracyKind(uint32_t(type)))
            qel_curvedata_type_set(root, kind);
        qel_intf_data_accuracy_set(root, value);
    }
    accuracyType_ = uint32_t(type);
    accuracy_ = value;
}

// ---- creators -----------------------------------------------------------------

xrchandle<KPIEdge> KWPIModel_i::CreatePIEdgeWithPoints(int id, int idFace1, int idFace2,
                                                       xrchandle<KPointUVList> srfPoints1,
                                                       xrchandle<KPointUVList> srfPoints2,
                                                       KTraversal traversal1,
                                                       KTraversal traversal2) {
    if (id < 0)
        ThrowInvalidArg(1, 1);
    if (idFace1 < 0 && idFace2 < 0)
        ThrowInvalidArg(2, 1);
    if (idFace1 >= 0 && !srfPoints1)
        ThrowInvalidArg(4, 0);
    if (idFace2 >= 0 && !srfPoints2)
        ThrowInvalidArg(5, 0);
    if (idFace1 >= 0 && idFace2 >= 0 && srfPoints1->Count() != srfPoints2->Count())
        ThrowInvalidArg(4, 1);
    xrchandle<KPIEdge_i> edge(new KPIEdge_i(id));
    edge->SetWithPoints(idFace1, idFace2, std::move(srfPoints1), std::move(srfPoints2),
                        traversal1, traversal2);
    return xrchandle<KPIEdge>(edge.get());
}

xrchandle<KPIEdge> KWPIModel_i::CreatePIEdgeWithXYZCurve(int id, int idFace1, int idFace2,
                                                         xrchandle<KPICurve> xyzCurve,
                                                         KTraversal traversal1,
                                                         KTraversal traversal2) {
    if (id < 0)
        ThrowInvalidArg(1, 1);
    if (idFace1 < 0 && idFace2 < 0)
        ThrowInvalidArg(2, 1);
    if (!xyzCurve)
        ThrowInvalidArg(4, 0);
    if (IsCompositeOrWorse(xyzCurve))
        ThrowInvalidArg(4, 1);
    xrchandle<KPIEdge_i> edge(new KPIEdge_i(id));
    edge->SetWithXYZCurve(idFace1, idFace2, std::move(xyzCurve), traversal1, traversal2);
    return xrchandle<KPIEdge>(edge.get());
}

xrchandle<KPIEdge> KWPIModel_i::CreatePIEdgeWithUVCurves(int id, int idFace1, int idFace2,
                                                         xrchandle<KPICurve> curve1,
                                                         xrchandle<KPICurve> curve2,
                                                         KTraversal traversal1,
                                                         KTraversal traversal2) {
    if (id < 0)
        ThrowInvalidArg(1, 1);
    if (idFace1 < 0 && idFace2 < 0)
        ThrowInvalidArg(2, 1);
    if (idFace1 >= 0) {
        if (!curve1)
            ThrowInvalidArg(4, 0);
        if (IsCompositeOrWorse(curve1))
            ThrowInvalidArg(4, 1);
    }
    if (idFace2 >= 0) {
        if (!curve2)
            ThrowInvalidArg(5, 0);
        if (IsCompositeOrWorse(curve2))
            ThrowInvalidArg(5, 1);
    }
    xrchandle<KPIEdge_i> edge(new KPIEdge_i(id));
    edge->SetWithUVCurves(idFace1, idFace2, std::move(curve1), std::move(curve2), traversal1,
                          traversal2);
    return xrchandle<KPIEdge>(edge.get());
}

xrchandle<KPIEdge> KWPIModel_i::CreatePIEdgeWithXYZandUVCurves(
    int id, int idFace1, int idFace2, KTraversal traversal1, KTraversal traversal2,
    xrchandle<KPICurve> xyzCurve, xrchandle<KPICurve> curve1, xrchandle<KPICurve> curve2) {
    if (id < 0)
        ThrowInvalidArg(1, 1);
    if (idFace1 < 0 && idFace2 < 0)
        ThrowInvalidArg(2, 1);
    if (xyzCurve && IsCompositeOrWorse(xyzCurve))
        ThrowInvalidArg(6, 1);
    if (curve1 && IsCompositeOrWorse(curve1))
        ThrowInvalidArg(7, 1);
    if (curve2 && IsCompositeOrWorse(curve2))
        ThrowInvalidArg(8, 1);
    xrchandle<KPIEdge_i> edge(new KPIEdge_i(id));
    edge->SetWithXYZandUVCurves(idFace1, idFace2, traversal1, traversal2, std::move(xyzCurve),
                                std::move(curve1), std::move(curve2));
    return xrchandle<KPIEdge>(edge.get());
}

xrchandle<KPIFace> KWPIModel_i::CreatePIFace(int id, xrchandle<KBoxUV> uvExtent,
                                             KPISurfOrient orientation,
                                             xrchandle<KPISurface> surface,
                                             xrchandle<KPILoopList> loops) {
    if (id < 0)
        ThrowInvalidArg(1, 1);
    if (!uvExtent && !loops)
        ThrowInvalidArg(2, 7);
    if (!surface)
        ThrowInvalidArg(4, 0);
    // Only spline and B-spline faces may go without loops. The type comes
    // through the interface, so a surface kept in cache mode (which has no
    // host kind) answers the same as one with a record.
    if (!loops) {
        const KPISurfType type = surface->GetPISurfaceType();
        if (type != KPISURF_BSPLN && type != KPISURF_SPLN)
            ThrowInvalidArg(5, 0);
    }
    xrchandle<KPIFace_i> face(new KPIFace_i(id));
    face->Set(std::move(uvExtent), orientation, std::move(surface), std::move(loops));
    return xrchandle<KPIFace>(face.get());
}

xrchandle<KPIQuilt> KWPIModel_i::CreatePIQuilt(int id, xrchandle<KPIFaceList> faces) {
    if (!faces)
        ThrowInvalidArg(2, 0);
    xrchandle<KPIQuilt_i> quilt(new KPIQuilt_i(id));
    quilt->SetFaces(std::move(faces));
    return xrchandle<KPIQuilt>(quilt.get());
}

xrchandle<KPIDatum> KWPIModel_i::CreatePIDatum(int id, const char* name, xrchandle<KCsys> csys,
                                               xrchandle<KPICurve> curve,
                                               xrchandle<KPIPlane> plane) {
    if (id < 0)
        ThrowInvalidArg(1, 1);
    if (!name)
        ThrowInvalidArg(2, 0);
    if (strnlen(name, QEL_NAME_LEN) >= size_t(QEL_NAME_LEN))
        ThrowInvalidArg(2, 1);
    if (!csys && !curve && !plane)
        ThrowInvalidArg(3, 0);
    xrchandle<KPIDatum_i> datum(new KPIDatum_i(id));
    datum->Set(name, std::move(csys), std::move(curve), std::move(plane));
    return xrchandle<KPIDatum>(datum.get());
}

xrchandle<KPILoop> KWPIModel_i::CreatePILoop(KPILoopTraversal traversal,
                                             xrchandle<xintsequence> edgeIds) {
    if (!edgeIds)
        ThrowInvalidArg(2, 0);
    xrchandle<KPILoop_i> loop(new KPILoop_i());
    loop->Set(traversal, std::move(edgeIds));
    return xrchandle<KPILoop>(loop.get());
}

// ---- accuracy and outline -------------------------------------------------------

void KWPIModel_i::SetAccuracy(KAccuracyType type, double value) {
    CheckAccuracy(type, value);
    if (qel_intf_data* root = GetIntfData()) {
        if (uint32_t kind = HostAccuracyKind(uint32_t(type)))
            qel_curvedata_type_set(root, kind);
        qel_intf_data_accuracy_set(root, value);
    }
    accuracyType_ = uint32_t(type);
    accuracy_ = value;
}

void KWPIModel_i::SetOutline(xrchandle<KBox3D> outline) {
    if (!outline)
        ThrowInvalidArg(1, 0);
    // The model keeps a box of its own, not the caller's object.
    xrchandle<KBox3D> own = KBox3D::Create(outline->GetMinPoint(), outline->GetMaxPoint());
    if (qel_intf_data* root = GetIntfData()) {
        double box[6];
        Box3DToDoubles(own, box);
        qel_intf_data_outline_set(root, box);
    }
    outline_ = std::move(own);
}

KAccuracyType KWPIModel_i::GetAccuracyType() { return KAccuracyType(accuracyType_); }

double KWPIModel_i::GetAccuracy() { return accuracy_; }

xrchandle<KBox3D> KWPIModel_i::GetOutline() { return outline_; }

// ---- set-list operations ----------------------------------------------------------

void KWPIModel_i::SetPIDatums(xrchandle<KPIDatumList> datums) {
    AddEach(datums, [this](const xrchandle<KPIDatum>& d) { AddPIDatum(d); });
}

void KWPIModel_i::SetPIEdges(xrchandle<KPIEdgeList> edges) {
    AddEach(edges, [this](const xrchandle<KPIEdge>& e) { AddPIEdge(e); });
}

void KWPIModel_i::SetPIFaces(xrchandle<KPIFaceList> faces) {
    AddEach(faces, [this](const xrchandle<KPIFace>& f) { AddPIFace(f); });
}

void KWPIModel_i::SetPIQuilts(xrchandle<KPIQuiltList> quilts) {
    AddEach(quilts, [this](const xrchandle<KPIQuilt>& q) { AddPIQuilt(q); });
}

// ---- list getters -------------------------------------------------------------------

xrchandle<KPIDatumList> KWPIModel_i::GetPIDatums() {
    if (const qel_intf_data* root = GetIntfData())
        return BuildDatumList(root);
    return datums_;
}

xrchandle<KPIEdgeList> KWPIModel_i::GetPIEdges() {
    if (const qel_intf_data* root = GetIntfData())
        return BuildEdgeList(root);
    return edges_;
}

xrchandle<KPIFaceList> KWPIModel_i::GetPIFaces() {
    if (const qel_intf_data* root = GetIntfData())
        return BuildFaceList(root);
    return faces_;
}

xrchandle<KPIQuiltList> KWPIModel_i::GetPIQuilts() {
    if (const qel_intf_data* root = GetIntfData())
        return BuildQuiltList(root);
    return quilts_;
}

// ---- close and extension ----------------------------------------------------------

void KWPIModel_i::Close() {
    if (!tree_)
        return;
    // Forget the interface data first, whatever the free reports, so that a
    // second Close or the destructor never frees it again.
    xrchandle<QelIntfDataTree> tree = std::move(tree_);
    owns_ = false;
    int status = 0;
    // Free at once when no one else shares the root; otherwise the last
    // holder frees it.
    if (tree->refCount() == 1)
        status = tree->Free();
    tree.release();
    if (status != 0)
        ThrowSimple(status);
}

void KWPIModel_i::SetWPIModelExt(xrchandle<KWPIModelExt> ext) {
    if (!ext)
        ThrowInvalidArg(1, 0);
    ext_ = std::move(ext);
}

xrchandle<KWPIModelExt> KWPIModel_i::GetWPIModelExt() { return ext_; }

// ---- add, count, by index -------------------------------------------------------------

void KWPIModel_i::AddPIDatum(xrchandle<KPIDatum> datum) {
    AddItem<KPIDatum_i>(GetIntfData(), datums_, datum);
}

int KWPIModel_i::CountPIDatums() { return datums_ ? datums_->Count() : 0; }

void KWPIModel_i::AddPIEdge(xrchandle<KPIEdge> edge) {
    AddItem<KPIEdge_i>(GetIntfData(), edges_, edge);
}

int KWPIModel_i::CountPIEdges() { return edges_ ? edges_->Count() : 0; }

void KWPIModel_i::AddPIFace(xrchandle<KPIFace> face) {
    AddItem<KPIFace_i>(GetIntfData(), faces_, face);
}

int KWPIModel_i::CountPIFaces() { return faces_ ? faces_->Count() : 0; }

void KWPIModel_i::AddPIQuilt(xrchandle<KPIQuilt> quilt) {
    AddItem<KPIQuilt_i>(GetIntfData(), quilts_, quilt);
}

int KWPIModel_i::CountPIQuilts() { return quilts_ ? quilts_->Count() : 0; }

// The counts come through the model's own operations, as a subclass or a
// wrapper may answer them.
xrchandle<KPIDatum> KWPIModel_i::GetPIDatumByIndex(int index) {
    return ItemAt(datums_, index, CountPIDatums(), 17);
}

xrchandle<KPIEdge> KWPIModel_i::GetPIEdgeByIndex(int index) {
    return ItemAt(edges_, index, CountPIEdges(), 17);
}

xrchandle<KPIFace> KWPIModel_i::GetPIFaceByIndex(int index) {
    return ItemAt(faces_, index, CountPIFaces(), 17);
}

xrchandle<KPIQuilt> KWPIModel_i::GetPIQuiltByIndex(int index) {
    return ItemAt(quilts_, index, CountPIQuilts(), 0);
}

// ---- reference colour -------------------------------------------------------------------

xrchandle<KPIReferenceColor> KWPIModel_i::GetPIModelReferenceColor() {
    if (!ext_)
        return nullptr;
    auto* impl = dynamic_cast<KWPIModelExt_i*>(CastToImpl(ext_.get()));
    if (!impl) // an extension of another make answers for itself
        return ext_->GetPIItemReferenceColor(-1);
    const qel_intf_data_extend* rec = impl->GetExtendData();
    if (!rec || !rec->elem_colors ||
        xar_elem_size(rec->elem_colors) != int(sizeof(QelElemColordata)))
        return nullptr;
    QelElemColordata key{};
    key.item_id = kNoIndex; // the model's own entry
    const uint32_t at = binary_srch_array(xar_count(rec->elem_colors), CompareElemColorIds,
                                          int(sizeof(QelElemColordata)), &key, rec->elem_colors);
    if (at == kNoIndex)
        return nullptr;
    const QelElemColordata& entry = rec->elem_colors[at];
    const uint32_t index =
        entry.color_index[0] != kNoIndex ? entry.color_index[0] : entry.color_index[1];
    if (index == kNoIndex)
        return nullptr;
    // An index past the stored colours names nothing.
    if (!rec->ref_colors || xar_elem_size(rec->ref_colors) != int(sizeof(QelRefColordata)) ||
        index >= uint32_t(xar_count(rec->ref_colors)))
        return nullptr;
    return xrchandle<KPIReferenceColor>(new KPIReferenceColor_i(rec->ref_colors[index]));
}
