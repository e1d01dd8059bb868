// Faceted representations: vertices, vertex data (normal and texture
// coordinates) and triangular facets, each over one host record that the
// object owns, and the representation that holds copies of them in three
// chunked arrays of record pointers.
#pragma once

#include "kernel/kpi_impl.h"
#include "api/qel_records.h"

inline namespace zpi_internal {
class KPIFacetVtx_i : public KCommon_i, public virtual KPIFacetVtx {
    ZPI_IMPLEMENTS(KPIFacetVtx)
public:
    // The neighbour index is kept as given (also a negative one).
    KPIFacetVtx_i(const double point[3], int neighbourFacetIdx);
    explicit KPIFacetVtx_i(const QelFacetVertexdata& rec);
    ~KPIFacetVtx_i() override;

    xrchandle<KPoint3D> GetVtxPoint() override;
    void SetVtxPoint(xrchandle<KPoint3D> point) override;
    int GetNeighbourFacetIdx() override;
    // A negative index raises ThrowInvalidArg(1, 1).
    void SetNeighbourFacetIdx(int index) override;

    const QelFacetVertexdata& Record() const { return *rec_; }
    // A new getmem block holding a copy, or null when memory runs out.
    QelFacetVertexdata* CopyRecord() const;

private:
    QelFacetVertexdata* rec_ = nullptr;
};

class KPIFacetVtxdata_i : public KCommon_i, public virtual KPIFacetVtxdata {
    ZPI_IMPLEMENTS(KPIFacetVtxdata)
public:
    KPIFacetVtxdata_i(const double normal[3], double u, double v);
    explicit KPIFacetVtxdata_i(const QelFacetVtxdata& rec);
    ~KPIFacetVtxdata_i() override;

    xrchandle<KVector3D> GetNormal() override;
    void SetNormal(xrchandle<KVector3D> normal) override;
    xrchandle<KPointUV> GetTextureUV() override;
    void SetTextureUV(xrchandle<KPointUV> uv) override;

    const QelFacetVtxdata& Record() const { return *rec_; }
    QelFacetVtxdata* CopyRecord() const;

private:
    QelFacetVtxdata* rec_ = nullptr;
};

class KPIFacetdata_i : public KCommon_i, public virtual KPIFacetdata {
    ZPI_IMPLEMENTS(KPIFacetdata)
public:
    // A null triple is stored unset (0xFFFFFFFF three times).
    KPIFacetdata_i(const double normal[3], const uint32_t vtx[3], const uint32_t vtxdata[3],
                   const uint32_t neighbours[3]);
    explicit KPIFacetdata_i(const QelFacetdata& rec);
    ~KPIFacetdata_i() override;

    // Each getter answers a null handle for an unset triple; each setter
    // refuses a null sequence (ThrowInvalidArg(1, 0)) and one whose count
    // is not 3 (ThrowInvalidArg(1, 1)).
    xrchandle<xintsequence> GetVtxIndices() override;
    void SetVtxIndices(xrchandle<xintsequence> indices) override;
    xrchandle<xintsequence> GetVtxdataIndices() override;
    void SetVtxdataIndices(xrchandle<xintsequence> indices) override;
    xrchandle<xintsequence> GetNeighbourFacetIndices() override;
    void SetNeighbourFacetIndices(xrchandle<xintsequence> indices) override;
    xrchandle<KVector3D> GetNormal() override;
    void SetNormal(xrchandle<KVector3D> normal) override;

    const QelFacetdata& Record() const { return *rec_; }
    QelFacetdata* CopyRecord() const;

    static constexpr uint32_t kUnset = 0xFFFFFFFFu;

private:
    QelFacetdata* rec_ = nullptr;
};

class KPIFacetedRep_i : public KCommon_i, public virtual KPIFacetedRep {
    ZPI_IMPLEMENTS(KPIFacetedRep)
public:
    // No arrays, zero outline. A negative id raises ThrowInvalidArg(1, 1).
    explicit KPIFacetedRep_i(int id);
    // Over a deep copy of a record (raises ThrowSimple with the copy's
    // status when it fails).
    explicit KPIFacetedRep_i(const QelFacetedRepdata& rec);
    ~KPIFacetedRep_i() override;

    xrchandle<KPIFacetVtx> CreatePIFacetVtx(xrchandle<KPoint3D> point, int neighbourFacetIdx) override;
    xrchandle<KPIFacetVtxdata> CreatePIFacetVtxdata(xrchandle<KVector3D> normal,
                                                    xrchandle<KPointUV> textureUV) override;
    xrchandle<KPIFacetdata> CreatePIFacetdata(xrchandle<KVector3D> normal,
                                              xrchandle<xintsequence> vtxIndices,
                                              xrchandle<xintsequence> vtxdataIndices,
                                              xrchandle<xintsequence> neighbourIndices) override;
    int GetId() override;
    // Each list setter refuses a null list (1, 0), an empty one (1, 1) and a
    // list with a null or foreign element (1, 1) before anything changes;
    // then the new array replaces the old one, which is freed.
    void SetPIFacetVtxList(xrchandle<KPIFacetVtxList> list) override;
    xrchandle<KPIFacetVtxList> GetPIFacetVtxList() override;
    void SetPIFacetVtxdataList(xrchandle<KPIFacetVtxdataList> list) override;
    xrchandle<KPIFacetVtxdataList> GetPIFacetVtxdataList() override;
    void SetPIFacetdataList(xrchandle<KPIFacetdataList> list) override;
    xrchandle<KPIFacetdataList> GetPIFacetdataList() override;
    xrchandle<KBox3D> GetOutline() override;
    void SetOutline(xrchandle<KBox3D> outline) override;

    const QelFacetedRepdata& Record() const { return *rec_; }
    // Deep copy of the record (new arrays and element records) into `out`,
    // which holds no arrays of its own: 0, or a nonzero status with `out`
    // holding no arrays.
    int CopyRecordTo(QelFacetedRepdata& out) const;
    // Replaces the whole record by a deep copy of `rec`; on failure raises
    // ThrowSimple(status) and keeps the earlier record.
    void AssignRecord(const QelFacetedRepdata& rec);

private:
    QelFacetedRepdata* rec_ = nullptr;
};
} // namespace zpi_internal
