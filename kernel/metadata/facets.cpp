#include "kernel/metadata/facets.h"

#include "xmemory.h"
#include "kernel/records/qel_copy.h"
#include "kernel/metadata/record_alloc.h"

#include <cstring>
#include <vector>

namespace {

// Entries of an element array; 0 for a missing array or one whose entries
// are not record pointers.
int elementCount(const void* arr) {
    return arr && har_entry_size(arr) == int(sizeof(void*)) ? har_total(arr) : 0;
}

// Frees an element array with its element records.
void freeElements(void* arr) {
    QelFacetedRepdata holder{};
    holder.vertices = arr;
    qel_facetedrep_clear(&holder);
}

using krec::newRecord;
using krec::newRecordCopy;
using krec::plainCopy;

void readPoint(const xrchandle<KPoint3D>& p, int index, double* out) {
    if (!p)
        ThrowInvalidArg(index, 0);
    out[0] = p->x();
    out[1] = p->y();
    out[2] = p->z();
}

void readVector(const xrchandle<KVector3D>& v, int index, double* out) {
    if (!v)
        ThrowInvalidArg(index, 0);
    out[0] = v->x();
    out[1] = v->y();
    out[2] = v->z();
}

// Elements 0, 1, 2 of a three-element sequence (a null sequence gives the
// unset triple). The count has been checked.
void readTriple(const xrchandle<xintsequence>& seq, uint32_t* out) {
    for (int i = 0; i < 3; ++i)
        out[i] = seq ? uint32_t(seq->Get(i)) : KPIFacetdata_i::kUnset;
}

// Checks of a triple setter.
void checkTriple(const xrchandle<xintsequence>& seq) {
    if (!seq)
        ThrowInvalidArg(1, 0);
    if (seq->Count() != 3)
        ThrowInvalidArg(1, 1);
}

xrchandle<xintsequence> tripleSequence(const uint32_t* triple) {
    if (triple[0] == KPIFacetdata_i::kUnset && triple[1] == KPIFacetdata_i::kUnset &&
        triple[2] == KPIFacetdata_i::kUnset)
        return nullptr;
    xrchandle<xintsequence> seq(xintsequence::create());
    for (int i = 0; i < 3; ++i)
        seq->Append(int32_t(triple[i]));
    return seq;
}

// Stores the records of every element of a list into a new pointer array
// that replaces `*slot`. Every element is checked before anything changes;
// the old array and its element records are freed last.
template <class Impl, class Rec, class List>
void storeList(void** slot, const xrchandle<List>& list) {
    if (!list)
        ThrowInvalidArg(1, 0);
    if (list->Count() < 1)
        ThrowInvalidArg(1, 1);
    std::vector<Impl*> impls = krec::collectImpls<Impl>(list);
    int n = int(impls.size());
    void* fresh = har_alloc(int(sizeof(void*)), 100);
    if (!fresh || har_resize(&fresh, n) != QEL_OK) {
        har_free(&fresh);
        ThrowSimple(QEL_ERR_NO_MEMORY);
    }
    for (int i = 0; i < n; ++i) {
        Rec* copy = impls[size_t(i)]->CopyRecord();
        if (!copy) {
            freeElements(fresh);
            ThrowSimple(QEL_ERR_NO_MEMORY);
        }
        *static_cast<Rec**>(har_access(fresh, i, nullptr, nullptr)) = copy;
    }
    void* old = *slot;
    *slot = fresh;
    freeElements(old);
}

// A new list of new objects over copies of the element records, in array
// order; null when the array is absent or empty. An entry that holds no
// record gives a null element.
template <class Impl, class Rec, class List> xrchandle<List> readList(const void* arr) {
    int n = elementCount(arr);
    if (n <= 0)
        return nullptr;
    xrchandle<List> list(List::create());
    for (int i = n - 1; i >= 0; --i) {
        const Rec* rec = *static_cast<Rec* const*>(har_access(arr, i, nullptr, nullptr));
        typename List::handle_type element;
        if (rec)
            element = new Impl(*rec);
        list->Set(i, element);
    }
    return list;
}

} // namespace

// ---- vertex -------------------------------------------------------------------

KPIFacetVtx_i::KPIFacetVtx_i(const double point[3], int neighbourFacetIdx)
    : rec_(newRecord<QelFacetVertexdata>()) {
    std::memcpy(rec_->point, point, sizeof(rec_->point));
    rec_->neighbour = neighbourFacetIdx;
}

KPIFacetVtx_i::KPIFacetVtx_i(const QelFacetVertexdata& rec) : rec_(newRecordCopy(rec)) {}
KPIFacetVtx_i::~KPIFacetVtx_i() { rlsmem(rec_); }

xrchandle<KPoint3D> KPIFacetVtx_i::GetVtxPoint() {
    return KCreatePoint3D(rec_->point[0], rec_->point[1], rec_->point[2]);
}
void KPIFacetVtx_i::SetVtxPoint(xrchandle<KPoint3D> point) { readPoint(point, 1, rec_->point); }
int KPIFacetVtx_i::GetNeighbourFacetIdx() { return rec_->neighbour; }
void KPIFacetVtx_i::SetNeighbourFacetIdx(int index) {
    if (index < 0)
        ThrowInvalidArg(1, 1);
    rec_->neighbour = index;
}
QelFacetVertexdata* KPIFacetVtx_i::CopyRecord() const { return plainCopy(rec_); }

// ---- vertex data ----------------------------------------------------------------

KPIFacetVtxdata_i::KPIFacetVtxdata_i(const double normal[3], double u, double v)
    : rec_(newRecord<QelFacetVtxdata>()) {
    std::memcpy(rec_->normal, normal, sizeof(rec_->normal));
    rec_->u = u;
    rec_->v = v;
}

KPIFacetVtxdata_i::KPIFacetVtxdata_i(const QelFacetVtxdata& rec) : rec_(newRecordCopy(rec)) {}
KPIFacetVtxdata_i::~KPIFacetVtxdata_i() { rlsmem(rec_); }

xrchandle<KVector3D> KPIFacetVtxdata_i::GetNormal() {
    return KCreateVector3D(rec_->normal[0], rec_->normal[1], rec_->normal[2]);
}
void KPIFacetVtxdata_i::SetNormal(xrchandle<KVector3D> normal) {
    readVector(normal, 1, rec_->normal);
}
xrchandle<KPointUV> KPIFacetVtxdata_i::GetTextureUV() { return KCreatePointUV(rec_->u, rec_->v); }
void KPIFacetVtxdata_i::SetTextureUV(xrchandle<KPointUV> uv) {
    if (!uv)
        ThrowInvalidArg(1, 0);
    rec_->u = uv->u();
    rec_->v = uv->v();
}
QelFacetVtxdata* KPIFacetVtxdata_i::CopyRecord() const { return plainCopy(rec_); }

// ---- facet ------------------------------------------------------------------------

KPIFacetdata_i::KPIFacetdata_i(const double normal[3], const uint32_t vtx[3],
                               const uint32_t vtxdata[3], const uint32_t neighbours[3])
    : rec_(newRecord<QelFacetdata>()) {
    for (int i = 0; i < 3; ++i) {
        rec_->vertex_idx[i] = vtx ? vtx[i] : kUnset;
        rec_->vtxdata_idx[i] = vtxdata ? vtxdata[i] : kUnset;
        rec_->neighbour_idx[i] = neighbours ? neighbours[i] : kUnset;
    }
    std::memcpy(rec_->normal, normal, sizeof(rec_->normal));
}

KPIFacetdata_i::KPIFacetdata_i(const QelFacetdata& rec) : rec_(newRecordCopy(rec)) {}
KPIFacetdata_i::~KPIFacetdata_i() { rlsmem(rec_); }

xrchandle<xintsequence> KPIFacetdata_i::GetVtxIndices() { return tripleSequence(rec_->vertex_idx); }
void KPIFacetdata_i::SetVtxIndices(xrchandle<xintsequence> indices) {
    checkTriple(indices);
    readTriple(indices, rec_->vertex_idx);
}
xrchandle<xintsequence> KPIFacetdata_i::GetVtxdataIndices() {
    return tripleSequence(rec_->vtxdata_idx);
}
void KPIFacetdata_i::SetVtxdataIndices(xrchandle<xintsequence> indices) {
    checkTriple(indices);
    readTriple(indices, rec_->vtxdata_idx);
}
xrchandle<xintsequence> KPIFacetdata_i::GetNeighbourFacetIndices() {
    return tripleSequence(rec_->neighbour_idx);
}
void KPIFacetdata_i::SetNeighbourFacetIndices(xrchandle<xintsequence> indices) {
    checkTriple(indices);
    readTriple(indices, rec_->neighbour_idx);
}
xrchandle<KVector3D> KPIFacetdata_i::GetNormal() {
    return KCreateVector3D(rec_->normal[0], rec_->normal[1], rec_->normal[2]);
}
void KPIFacetdata_i::SetNormal(xrchandle<KVector3D> normal) { readVector(normal, 1, rec_->normal); }
QelFacetdata* KPIFacetdata_i::CopyRecord() const { return plainCopy(rec_); }

// ---- representation -----------------------------------------------------------------

KPIFacetedRep_i::KPIFacetedRep_i(int id) {
    if (id < 0)
        ThrowInvalidArg(1, 1);
    rec_ = newRecord<QelFacetedRepdata>();
    rec_->id = id;
}

KPIFacetedRep_i::KPIFacetedRep_i(const QelFacetedRepdata& rec) {
    rec_ = newRecord<QelFacetedRepdata>();
    int st = qel_facetedrep_copy(&rec, rec_);
    if (st != QEL_OK) {
        rlsmem(rec_);
        rec_ = nullptr;
        ThrowSimple(st);
    }
}

KPIFacetedRep_i::~KPIFacetedRep_i() {
    if (rec_) {
        qel_facetedrep_clear(rec_);
        rlsmem(rec_);
    }
}

xrchandle<KPIFacetVtx> KPIFacetedRep_i::CreatePIFacetVtx(xrchandle<KPoint3D> point,
                                                         int neighbourFacetIdx) {
    double xyz[3];
    readPoint(point, 1, xyz);
    return xrchandle<KPIFacetVtx>(new KPIFacetVtx_i(xyz, neighbourFacetIdx));
}

xrchandle<KPIFacetVtxdata> KPIFacetedRep_i::CreatePIFacetVtxdata(xrchandle<KVector3D> normal,
                                                                 xrchandle<KPointUV> textureUV) {
    double n[3];
    readVector(normal, 1, n);
    if (!textureUV)
        ThrowInvalidArg(2, 0);
    return xrchandle<KPIFacetVtxdata>(new KPIFacetVtxdata_i(n, textureUV->u(), textureUV->v()));
}

xrchandle<KPIFacetdata> KPIFacetedRep_i::CreatePIFacetdata(xrchandle<KVector3D> normal,
                                                           xrchandle<xintsequence> vtxIndices,
                                                           xrchandle<xintsequence> vtxdataIndices,
                                                           xrchandle<xintsequence> neighbourIndices) {
    double n[3];
    readVector(normal, 1, n);
    if (!vtxIndices)
        ThrowInvalidArg(2, 0);
    if (vtxIndices->Count() != 3)
        ThrowInvalidArg(2, 1);
    if (vtxdataIndices && vtxdataIndices->Count() != 3)
        ThrowInvalidArg(3, 1);
    if (neighbourIndices && neighbourIndices->Count() != 3)
        ThrowInvalidArg(4, 1);
    uint32_t vtx[3], data[3], nbr[3];
    readTriple(vtxIndices, vtx);
    readTriple(vtxdataIndices, data);
    readTriple(neighbourIndices, nbr);
    return xrchandle<KPIFacetdata>(new KPIFacetdata_i(n, vtx, data, nbr));
}

int KPIFacetedRep_i::GetId() { return rec_->id; }

void KPIFacetedRep_i::SetPIFacetVtxList(xrchandle<KPIFacetVtxList> list) {
    storeList<KPIFacetVtx_i, QelFacetVertexdata>(&rec_->vertices, list);
}
xrchandle<KPIFacetVtxList> KPIFacetedRep_i::GetPIFacetVtxList() {
    return readList<KPIFacetVtx_i, QelFacetVertexdata, KPIFacetVtxList>(rec_->vertices);
}
void KPIFacetedRep_i::SetPIFacetVtxdataList(xrchandle<KPIFacetVtxdataList> list) {
    storeList<KPIFacetVtxdata_i, QelFacetVtxdata>(&rec_->vtxdata, list);
}
xrchandle<KPIFacetVtxdataList> KPIFacetedRep_i::GetPIFacetVtxdataList() {
    return readList<KPIFacetVtxdata_i, QelFacetVtxdata, KPIFacetVtxdataList>(rec_->vtxdata);
}
void KPIFacetedRep_i::SetPIFacetdataList(xrchandle<KPIFacetdataList> list) {
    storeList<KPIFacetdata_i, QelFacetdata>(&rec_->facets, list);
}
xrchandle<KPIFacetdataList> KPIFacetedRep_i::GetPIFacetdataList() {
    return readList<KPIFacetdata_i, QelFacetdata, KPIFacetdataList>(rec_->facets);
}

xrchandle<KBox3D> KPIFacetedRep_i::GetOutline() {
    const double* o = rec_->outline;
    return KBox3D::Create(KCreatePoint3D(o[0], o[1], o[2]), KCreatePoint3D(o[3], o[4], o[5]));
}

void KPIFacetedRep_i::SetOutline(xrchandle<KBox3D> outline) {
    if (!outline)
        ThrowInvalidArg(1, 0);
    double box[6];
    readPoint(outline->GetMinPoint(), 1, box);
    readPoint(outline->GetMaxPoint(), 1, box + 3);
    std::memcpy(rec_->outline, box, sizeof(box));
}

int KPIFacetedRep_i::CopyRecordTo(QelFacetedRepdata& out) const {
    return qel_facetedrep_copy(rec_, &out);
}

void KPIFacetedRep_i::AssignRecord(const QelFacetedRepdata& rec) {
    if (&rec == rec_)
        return;
    QelFacetedRepdata fresh;
    std::memset(&fresh, 0, sizeof(fresh));
    int st = qel_facetedrep_copy(&rec, &fresh);
    if (st != QEL_OK)
        ThrowSimple(st);
    qel_facetedrep_clear(rec_);
    *rec_ = fresh;
}
