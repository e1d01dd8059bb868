// kernel/model: the model, the session and its factory, and the model's
// persistence operations (model_persistence.cpp, the one file of kernel/
// that reaches xml/ and neutral/). It uses records/, geometry/, topology/
// and metadata/.
//
// Implementation of the model interface: one part model with its accuracy,
// outline box, topology lists and model extension, standing over an
// optional host interface-data root.
//
// Where the topology lives. The four lists hold exactly what was added
// through AddPI... (or SetPI...), in order. When the model has interface
// data every added item is also converted into a new host record and
// appended to it, and GetPIFaces and its kin answer from the interface data
// (new objects on every call); without interface data they answer the lists
// themselves. The counts and the by-index getters always work on the lists.
//
// Which models have interface data: one made empty while the storage mode
// is on (InitAccuracy allocates it), and one made over host data, until
// Close.
//
// A closed model (one whose interface data Close let go) keeps its lists,
// accuracy, outline and extension, but has nothing it could save or write:
// SaveAsNeutral, WriteZPI and the add operations (AddPI..., and SetPI...
// through them) refuse it with KPI_STATUS_NO_INTF_DATA. A model that never
// had interface data (made in cache mode) is not closed by Close and still
// writes its document from its objects.
//
// Ownership of the interface data. The model holds its root through a
// counted QelIntfDataTree shared with anything that must keep it alive; the
// root is freed when the last holder goes, whether the model was made over
// a record it owns or over one handed to it (the owns flag is kept as given
// and reported, but a record handed to a model belongs to the model from
// then on). Close drops the model's hold and forgets the pointer in every
// case.
#pragma once

#include "kernel/kpi_impl.h"
#include "api/zpi50_export.h"
#include "api/qel_records.h"
#include "kernel/topology/topology.h"

#include <cstdint>

// Status of SaveAsNeutral on a model without interface data, and of
// WriteZPI and the add operations on a closed model.
constexpr int KPI_STATUS_NO_INTF_DATA = ZPI_STATUS_NO_INTF_DATA;
// Status of SaveAsNeutral when the stream name "kernel.neu.1" is held by
// someone else in the process, or by a save running on the same thread (a
// stream whose Write saves again); nothing is written then.
constexpr int KPI_STATUS_NEUTRAL_STREAM_TAKEN = ZPI_STATUS_NEUTRAL_STREAM_TAKEN;
// Status of SaveAsNeutral when the neutral part could not be written whole
// into the stream (the stream refused a write or threw, or the part did
// not fit the schema table); raised with the reason.
constexpr int KPI_STATUS_NEUTRAL_WRITE_FAILED = ZPI_STATUS_NEUTRAL_WRITE_FAILED;

inline namespace zpi_internal {
class KWPIModelExt_i;
}
// Why an extension of the caller's own class that answers none of this
// library's is refused where its records are needed.
extern const char kForeignExtension[];
// The library's extension behind a model's extension `ext`, for its
// records; null for null. A model keeps only this library's own
// (SetWPIModelExt): any other is refused, ThrowSimple(QEL_ERR_BAD_ARG,
// kForeignExtension).
KWPIModelExt_i* OwnExtension(KWPIModelExt* ext);

#define ZPI_MODEL_OPERATION(Class, Result, Name, Params, Args, Doc) Result Name Params override;

inline namespace zpi_internal {
class KWPIModel_i : public KCommon_i, public virtual KWPIModel {
    ZPI_IMPLEMENTS(KWPIModel)
public:
    // Empty model: no interface data yet, owns true, every handle null.
    // InitAccuracy follows.
    KWPIModel_i();
    // Over host data: keeps `data` (not copied) and reads its accuracy and
    // outline; the lists start empty. A null `data` gives a model without
    // interface data.
    KWPIModel_i(qel_intf_data* data, bool owns);
    ~KWPIModel_i() override;

    KWPIModel_i(const KWPIModel_i&) = delete;
    KWPIModel_i& operator=(const KWPIModel_i&) = delete;

    // In record mode allocates the interface data (a failure raises
    // ThrowSimple(status)); then stores type and value as SetAccuracy does,
    // without its checks.
    void InitAccuracy(KAccuracyType type, double value);

    // The interface data (null when the model has none) and its holder.
    qel_intf_data* GetIntfData() const noexcept { return tree_ ? tree_->Get() : nullptr; }
    const xrchandle<QelIntfDataTree>& GetIntfDataTree() const noexcept { return tree_; }
    bool OwnsIntfData() const noexcept { return owns_; }
    // Whether Close let go of the model's interface data.
    bool IsClosed() const noexcept { return closed_; }

    ZPI_OPS_KWPIModel(ZPI_MODEL_OPERATION)

private:
    uint32_t accuracyType_ = 0;
    double accuracy_ = 0;
    xrchandle<KBox3D> outline_;
    xrchandle<KPIEdgeList> edges_;
    xrchandle<KPIFaceList> faces_;
    xrchandle<KPIQuiltList> quilts_;
    xrchandle<KPIDatumList> datums_;
    bool owns_ = true;
    bool closed_ = false;
    xrchandle<KWPIModelExt> ext_;
    xrchandle<QelIntfDataTree> tree_;
};
} // namespace zpi_internal

#undef ZPI_MODEL_OPERATION

