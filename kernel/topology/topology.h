// kernel/topology: the topology implementations (loops, faces, edges,
// datums and quilts), the conversions of topology objects into new host
// records, and the builders that turn host interface data into lists of
// topology objects. It uses records/ and geometry/.
//
// Storage. A new object (constructor with the id; the loop takes none) is
// filled by exactly one setter. While the storage-mode switch is on
// (get_gw_cpid_enable, kernel/geometry/geometry_base.h), or when the object already
// has a record, the setter makes a new host record (replacing and freeing an
// earlier one) and fills it with deep copies of the records of the objects
// it is given (record mode); those objects must be this library's objects of
// the right class (else ThrowInvalidArg(index, 1)) and must have a record
// (else ThrowSimple(-2)). While the switch is off the setter keeps its
// arguments (cache mode). Getters read the record when there is one, else
// the kept values. A wrapped record that the object does not own is never
// refilled: its setter raises ThrowSimple(-2).
//
// Argument indexes in the errors are those of the model's create operation
// that calls the setter (the face's surface is 4, its loops 5; an edge's XYZ
// curve 4, its UV curves 4 and 5, or 6, 7 and 8 together with an XYZ curve;
// a datum's csys, curve and plane 3, 4 and 5; a quilt's faces 2). A failing
// setter leaves the object as it was and nothing allocated.
//
// Records. An object either owns its record (made by its setter, a deep
// copy, or handed over with ownsRecord true) and frees it with everything
// in it, or wraps a record that lies inside something else (ownsRecord
// false) and frees nothing. A wrapping object holds `keeper`, the owner of
// the record, for as long as it lives, so the record outlives every object
// over it. Sub-objects that a getter makes over parts of this object's
// record (a face's surface and loops, an edge's curves, a datum's curve, a
// quilt's faces) hold this object as their keeper: they stay valid after
// the caller releases this object.
//
// Builders over a qel_intf_data give every object its own deep copy of its
// record, so the lists they return never point into the interface data and
// stay valid after it is freed.
#pragma once

#include "kernel/kpi_impl.h"
#include "api/zpi50_export.h"
#include "api/qel_records.h"

#include <cstdint>

// ---- shared interface data ---------------------------------------------------
// A counted holder of one interface-data root, for a model and whatever
// shares the root with it. Frees the root on destruction when it owns it.
class QelIntfDataTree : public xobject {
public:
    QelIntfDataTree(qel_intf_data* data, bool owns) noexcept : data_(data), owns_(owns) {}
    ~QelIntfDataTree() override;
    QelIntfDataTree(const QelIntfDataTree&) = delete;
    QelIntfDataTree& operator=(const QelIntfDataTree&) = delete;

    qel_intf_data* Get() const noexcept { return data_; }
    bool Owns() const noexcept { return owns_; }
    // Frees the root now (owned or not) with qel_intf_data_free and forgets
    // it whatever the status, which is returned (0 when there was none).
    int Free() noexcept;

private:
    qel_intf_data* data_;
    bool owns_;
};

inline namespace zpi_internal {
// ---- items -------------------------------------------------------------------
class KPIItem_i : public KCommon_i, public virtual KPIItem {
    ZPI_IMPLEMENTS(KPIItem)
public:
    int GetId() override { return int(id_); }
    KPIItemType GetItemType() override { return KPIItemType(itemType_); }

    // Converts this item into a new host record (a deep copy of its record,
    // or one built from the kept values in cache mode) and appends it to
    // `root` (faces, edges, quilts or datums by the item's kind). Raises
    // ThrowSimple(status) on failure, leaving `root` and this item as they
    // were and nothing allocated.
    virtual void AppendToIntfData(qel_intf_data* root) = 0;

protected:
    KPIItem_i(uint32_t id, KPIItemType type) noexcept : id_(id), itemType_(uint32_t(type)) {}
    void SetItemType(KPIItemType type) noexcept { itemType_ = uint32_t(type); }
    void SetIdField(uint32_t id) noexcept { id_ = id; }
    xrchandle<xobject> SelfHandle() { return xrchandle<xobject>(static_cast<xobject*>(this)); }

private:
    uint32_t id_;
    uint32_t itemType_;
};

// ---- loops -------------------------------------------------------------------
class KPILoop_i : public KCommon_i, public virtual KPILoop {
    ZPI_IMPLEMENTS(KPILoop)
public:
    // New loop: no record, kept traversal 3 (never set).
    KPILoop_i() noexcept;
    // Wraps `record` (a contour, usually inside its face's contour array).
    KPILoop_i(QelContourdata* record, bool ownsRecord, xrchandle<xobject> keeper = {});
    ~KPILoop_i() override;

    // Record mode: traversal INTERNAL -> -1, EXTERNAL -> +1, other -> 0; the
    // edge ids are copied (a null sequence gives none).
    void Set(KPILoopTraversal traversal, xrchandle<xintsequence> edgeIds);

    KPILoopTraversal GetPILoopTraversal() override;
    xrchandle<xintsequence> GetEdgeIds() override;

    QelContourdata* GetRecord() const noexcept { return record_; }
    bool OwnsRecord() const noexcept { return ownsRecord_; }

private:
    QelContourdata* record_ = nullptr;
    uint32_t traversal_ = 3;
    xrchandle<xintsequence> edgeIds_;
    bool ownsRecord_ = true;
    xrchandle<xobject> keeper_;
};

// ---- faces -------------------------------------------------------------------
class KPIFace_i : public KPIItem_i, public virtual KPIFace {
    ZPI_IMPLEMENTS(KPIFace)
public:
    explicit KPIFace_i(int id) noexcept;
    // Wraps `record`; the id is read from it.
    KPIFace_i(QelSurfacedata* record, bool ownsRecord, xrchandle<xobject> keeper = {});
    ~KPIFace_i() override;

    // uvExtent and loops may be null. A null surface raises
    // ThrowInvalidArg(4, 0), a null loop in the list KXInvalidArg(5, 1).
    void Set(xrchandle<KBoxUV> uvExtent, KPISurfOrient orientation, xrchandle<KPISurface> surface,
             xrchandle<KPILoopList> loops);

    xrchandle<KBoxUV> GetPIFaceUVExtent() override;
    KPISurfOrient GetPISurfaceOrientation() override;
    // Record mode: a new surface over the face's shape, holding this face.
    xrchandle<KPISurface> GetPISurface() override;
    // Record mode: new loops over the face's contours, holding this face.
    xrchandle<KPILoopList> GetPILoopList() override;

    QelSurfacedata* GetRecord() const noexcept { return record_; }
    bool OwnsRecord() const noexcept { return ownsRecord_; }
    // A new face record (free it with qel_surfacedata_free); raises
    // ThrowSimple(status) on failure. A record a document held as earlier
    // versions wrote it is copied as it stands (qel_face_copy_as_read), as
    // are the other items' records: what a model gave passes on whole.
    QelSurfacedata* ToRecord() const;
    void AppendToIntfData(qel_intf_data* root) override;

private:
    bool ownsRecord_ = true;
    QelSurfacedata* record_ = nullptr;
    xrchandle<KBoxUV> uvExtent_;
    uint32_t orientation_ = 0;
    xrchandle<KPISurface> surface_;
    xrchandle<KPILoopList> loops_;
    xrchandle<xobject> keeper_;
};
} // namespace zpi_internal

// ---- edges -------------------------------------------------------------------
// Content flags of an edge.
enum : uint32_t {
    KEDGE_HAS_UV_POINTS = 1,
    KEDGE_HAS_UV_CURVES = 2,
    KEDGE_HAS_XYZ_CURVE = 4,
};

inline namespace zpi_internal {
class KPIEdge_i : public KPIItem_i, public virtual KPIEdge {
    ZPI_IMPLEMENTS(KPIEdge)
public:
    explicit KPIEdge_i(int id) noexcept;
    // Wraps `record`; the id and the content flags are read from it.
    KPIEdge_i(QelEdgedata* record, bool ownsRecord, xrchandle<xobject> keeper = {});
    ~KPIEdge_i() override;

    // Either point list may be null (the other then stands for both); a
    // null element in either list raises KXInvalidArg(3, 1). The first list
    // gives the sample count; a second list shorter than it raises
    // ThrowInvalidArg(4, 1).
    void SetWithPoints(int idFace1, int idFace2, xrchandle<KPointUVList> srfPoints1,
                       xrchandle<KPointUVList> srfPoints2, KTraversal traversal1,
                       KTraversal traversal2);
    // A null curve raises ThrowInvalidArg(4, 0).
    void SetWithXYZCurve(int idFace1, int idFace2, xrchandle<KPICurve> xyzCurve,
                         KTraversal traversal1, KTraversal traversal2);
    // Either curve may be null.
    void SetWithUVCurves(int idFace1, int idFace2, xrchandle<KPICurve> curve1,
                         xrchandle<KPICurve> curve2, KTraversal traversal1, KTraversal traversal2);
    // Any curve may be null.
    void SetWithXYZandUVCurves(int idFace1, int idFace2, KTraversal traversal1,
                               KTraversal traversal2, xrchandle<KPICurve> xyzCurve,
                               xrchandle<KPICurve> curve1, xrchandle<KPICurve> curve2);

    // Bit 1 XYZ curve, 2 UV points, 4 UV curves; 0x80000000 when none (also
    // for an edge never set).
    int GetEdgeType() override;
    int GetIdFace1() override;
    int GetIdFace2() override;
    xrchandle<KPointUVList> GetSrfPoints1() override;
    xrchandle<KPointUVList> GetSrfPoints2() override;
    // Record mode: new curves over the edge's curves, holding this edge.
    xrchandle<KPICurve> GetXYZCurve() override;
    xrchandle<KPICurve> GetCurve1() override;
    xrchandle<KPICurve> GetCurve2() override;
    KTraversal GetTraversal1() override;
    KTraversal GetTraversal2() override;

    QelEdgedata* GetRecord() const noexcept { return record_; }
    bool OwnsRecord() const noexcept { return ownsRecord_; }
    uint32_t GetContentFlags() const noexcept { return flags_; }
    // A new edge record (free it with qel_edgedata_free); raises on failure.
    QelEdgedata* ToRecord() const;
    void AppendToIntfData(qel_intf_data* root) override;

private:
    // How the edge was last set (Unset: never).
    enum class Kind : uint8_t { Unset, Points, Curves };
    void Keep(Kind kind, int idFace1, int idFace2, KTraversal t1, KTraversal t2);
    void SetCurves(int idFace1, int idFace2, KTraversal traversal1, KTraversal traversal2,
                   const xrchandle<KPICurve>& xyzCurve, const xrchandle<KPICurve>& curve1,
                   const xrchandle<KPICurve>& curve2, int xyzIndex, int uv1Index, int uv2Index);
    QelEdgedata* BuildFromKept() const;
    // Record: the samples' first or second UV points when the edge holds
    // points, else null. No record: the kept list.
    xrchandle<KPointUVList> PointsOf(bool second, const xrchandle<KPointUVList>& kept);
    // Record: a new curve over the record's `curve`, holding this edge, when
    // the edge holds that content (`flag`), else null. No record: `kept`.
    xrchandle<KPICurve> CurveOf(uint32_t flag, QelCurvedata* QelEdgedata::*curve,
                                const xrchandle<KPICurve>& kept);

    bool ownsRecord_ = true;
    QelEdgedata* record_ = nullptr;
    uint32_t flags_ = 0;
    Kind kind_ = Kind::Unset;
    uint32_t face1_ = 0;
    uint32_t face2_ = 0;
    uint32_t trav1_ = 0;
    uint32_t trav2_ = 0;
    xrchandle<KPICurve> xyzCurve_;
    xrchandle<KPICurve> curve1_;
    xrchandle<KPICurve> curve2_;
    xrchandle<KPointUVList> points1_;
    xrchandle<KPointUVList> points2_;
    xrchandle<xobject> keeper_;
};

// ---- datums ------------------------------------------------------------------
class KPIDatum_i : public KPIItem_i, public virtual KPIDatum {
    ZPI_IMPLEMENTS(KPIDatum)
public:
    explicit KPIDatum_i(int id) noexcept;
    // Wraps `record`; the id is read from it, the item type from its type
    // (62 curve, 25 csys, 176 plane).
    KPIDatum_i(QelDatumdata* record, bool ownsRecord, xrchandle<xobject> keeper = {});
    ~KPIDatum_i() override;

    // The first of csys, curve, plane that is given decides the kind. The
    // name is kept cut to 31 UTF-16 units on a character boundary (null is
    // empty). All three null raises ThrowInvalidArg(3, 0).
    void Set(const char* name, xrchandle<KCsys> csys, xrchandle<KPICurve> curve,
             xrchandle<KPIPlane> plane);

    xstring GetName() override;
    xrchandle<KCsys> GetCsys() override;
    // Record mode: a new curve over the datum's curve, holding this datum.
    xrchandle<KPICurve> GetCurve() override;
    // Record mode: a new plane owning a copy of the datum's frame.
    xrchandle<KPIPlane> GetPlane() override;

    QelDatumdata* GetRecord() const noexcept { return record_; }
    bool OwnsRecord() const noexcept { return ownsRecord_; }
    // A new datum record (free it with qel_datumdata_free); raises on failure.
    QelDatumdata* ToRecord() const;
    void AppendToIntfData(qel_intf_data* root) override;

private:
    QelDatumdata* BuildRecord(const char16_t* name, const xrchandle<KCsys>& csys,
                              const xrchandle<KPICurve>& curve,
                              const xrchandle<KPIPlane>& plane) const;

    bool ownsRecord_ = true;
    QelDatumdata* record_ = nullptr;
    xrchandle<KCsys> csys_;
    xrchandle<KPICurve> curve_;
    xrchandle<KPIPlane> plane_;
    char16_t name_[QEL_NAME_LEN] = {};
    xrchandle<xobject> keeper_;
};

// ---- quilts ------------------------------------------------------------------
class KPIQuilt_i : public KPIItem_i, public virtual KPIQuilt {
    ZPI_IMPLEMENTS(KPIQuilt)
public:
    explicit KPIQuilt_i(int id) noexcept;
    // Wraps `record`; the id is read from it.
    KPIQuilt_i(QelQuiltdata* record, bool ownsRecord, xrchandle<xobject> keeper = {});
    ~KPIQuilt_i() override;

    // A null list gives a quilt without faces; a null face raises
    // KXInvalidArg(2, 1).
    void SetFaces(xrchandle<KPIFaceList> faces);

    // Record mode: new faces over the quilt's faces, holding this quilt.
    xrchandle<KPIFaceList> GetFaces() override;

    QelQuiltdata* GetRecord() const noexcept { return record_; }
    bool OwnsRecord() const noexcept { return ownsRecord_; }
    // A new quilt record (free it with qel_quiltdata_free); raises on failure.
    QelQuiltdata* ToRecord() const;
    void AppendToIntfData(qel_intf_data* root) override;

private:
    bool ownsRecord_ = true;
    QelQuiltdata* record_ = nullptr;
    xrchandle<KPIFaceList> faces_;
    xrchandle<xobject> keeper_;
};
} // namespace zpi_internal

// ---- builders ----------------------------------------------------------------
// Each returns a null handle (never an empty list) when the array is
// missing or empty; elements follow in array order. Failures of the record
// copies raise ThrowSimple(status) and leave nothing behind.

// Loops wrapping each contour of `contours` in place, holding `keeper`.
xrchandle<KPILoopList> BuildLoopList(QelContourdata* contours, xrchandle<xobject> keeper);
// Faces of a quilt's face-pointer array: with ownsRecord false each face
// wraps its record in place holding `keeper`; with ownsRecord true each
// face owns a deep copy.
xrchandle<KPIFaceList> BuildQuiltFaceList(QelSurfacedata* const* faces, bool ownsRecord,
                                          xrchandle<xobject> keeper);
// Objects over deep copies of the records of `root` (null root: null list).
xrchandle<KPIFaceList> BuildFaceList(const qel_intf_data* root);
xrchandle<KPIEdgeList> BuildEdgeList(const qel_intf_data* root);
xrchandle<KPIQuiltList> BuildQuiltList(const qel_intf_data* root);
xrchandle<KPIDatumList> BuildDatumList(const qel_intf_data* root);
