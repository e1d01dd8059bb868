#include "kernel/model/model.h"

#include "kernel/geometry/geometry_base.h"
#include "kernel/metadata/model_ext.h"
#include "kernel/records/qel_routines.h"
#include "kernel/records/wide_name.h"
#include "kernel/model/session_factory.h"
#include "kernel/geometry/value_convert.h"

#include "xexcept.h"

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
    if (!kname::Acceptable(name, QEL_NAME_LEN)) // in UTF-16 units, as the field holds it
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

// ---- close and extension ----------------------------------------------------------

void KWPIModel_i::Close() {
    if (!tree_)
        return;
    // Forget the interface data first, whatever the free reports, so that a
    // second Close or the destructor never frees it again.
    xrchandle<QelIntfDataTree> tree = std::move(tree_);
    owns_ = false;
    closed_ = true;
    int status = 0;
    // Free at once when no one else shares the root; otherwise the last
    // holder frees it.
    if (tree->refCount() == 1)
        status = tree->Free();
    tree.release();
    if (status != 0)
        ThrowSimple(status);
}

const char kForeignExtension[] =
    "the model's extension was not made by this library (its _CastToImpl answers no extension "
    "of this library), so it has no records";

void KWPIModel_i::SetWPIModelExt(xrchandle<KWPIModelExt> ext) {
    if (!ext)
        ThrowInvalidArg(1, 0);
    // The model writes, saves and hands over its extension's records: an
    // extension without one of this library's behind it has none, and is
    // refused here rather than where the model is written. An extension of
    // the caller's own class is the library's extension that its
    // _CastToImpl answers, asked once, here: the model keeps that one (as
    // the call journal's wrappers hand it on), so nothing the caller's
    // object answers later changes what the model holds.
    KCommon_i* answer = ext->_CastToImpl();
    auto* own = dynamic_cast<KWPIModelExt_i*>(ImplOfAnswer(answer));
    if (!own)
        ThrowInvalidArg(1, 1);
    if (answer->GetImplObject() != static_cast<xobject*>(ext.get()))
        ext = xrchandle<KWPIModelExt>(own);
    ext_ = std::move(ext);
}

xrchandle<KWPIModelExt> KWPIModel_i::GetWPIModelExt() { return ext_; }

KWPIModelExt_i* OwnExtension(KWPIModelExt* ext) {
    if (!ext)
        return nullptr;
    auto* own = dynamic_cast<KWPIModelExt_i*>(CastToImpl(ext));
    if (!own)
        ThrowSimple(QEL_ERR_BAD_ARG, kForeignExtension);
    return own;
}

// ---- add, set-list, count, by index, list getter ------------------------------------
// The five operations of one item kind, alike for datums, edges, faces and
// quilts. Add: refused on a closed model (the item could never be saved or
// written), else record first, then the list. Set-list: through the model's
// own (virtual) add, appending. Count and by-index: on the list, the count
// through the model's own operation, as a wrapper may answer it. List
// getter: from the interface data when there is one (new objects on every
// call), else the model's own list.
#define ZPI_MODEL_ITEM_KIND(Kind, list, badIndexCode)                                   \
    void KWPIModel_i::AddPI##Kind(xrchandle<KPI##Kind> item) {                          \
        if (closed_)                                                                    \
            ThrowSimple(KPI_STATUS_NO_INTF_DATA, "the model was closed: nothing can be " \
                                                 "added to it");                        \
        AddItem<KPI##Kind##_i>(GetIntfData(), list, item);                              \
    }                                                                                   \
    void KWPIModel_i::SetPI##Kind##s(xrchandle<KPI##Kind##List> items) {                \
        AddEach(items, [this](const xrchandle<KPI##Kind>& item) { AddPI##Kind(item); }); \
    }                                                                                   \
    int KWPIModel_i::CountPI##Kind##s() { return list ? list->Count() : 0; }            \
    xrchandle<KPI##Kind> KWPIModel_i::GetPI##Kind##ByIndex(int index) {                 \
        return ItemAt(list, index, CountPI##Kind##s(), badIndexCode);                   \
    }                                                                                   \
    xrchandle<KPI##Kind##List> KWPIModel_i::GetPI##Kind##s() {                          \
        if (const qel_intf_data* root = GetIntfData())                                  \
            return Build##Kind##List(root);                                             \
        return list;                                                                    \
    }

ZPI_MODEL_ITEM_KIND(Datum, datums_, 17)
ZPI_MODEL_ITEM_KIND(Edge, edges_, 17)
ZPI_MODEL_ITEM_KIND(Face, faces_, 17)
ZPI_MODEL_ITEM_KIND(Quilt, quilts_, 0)

#undef ZPI_MODEL_ITEM_KIND

// ---- reference colour -------------------------------------------------------------------

// The model's own colour is the extension's element colour of item id -1.
// The extension's implementation is asked directly, so the lookup reads its
// record and is not a call of its interface.
xrchandle<KPIReferenceColor> KWPIModel_i::GetPIModelReferenceColor() {
    KWPIModelExt_i* own = OwnExtension(ext_.get());
    return own ? own->KWPIModelExt_i::GetPIItemReferenceColor(-1) : nullptr;
}
