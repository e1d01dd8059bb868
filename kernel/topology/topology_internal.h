// Helpers shared by the topology implementation files.
#pragma once

#include "kernel/records/qel_routines.h"
#include "kernel/geometry/value_convert.h"

#include "free_ptr.h"
#include "process.h"
#include "xexcept.h"

#include <memory>
#include <utility>

namespace topo {

inline void Check(int status) {
    if (status != 0)
        ThrowSimple(status);
}

// Runs a cleanup when the scope ends, unless dismissed.
template <class F> class OnExit {
public:
    explicit OnExit(F f) : f_(std::move(f)) {}
    ~OnExit() {
        if (armed_)
            f_();
    }
    OnExit(const OnExit&) = delete;
    OnExit& operator=(const OnExit&) = delete;
    void Dismiss() noexcept { armed_ = false; }

private:
    F f_;
    bool armed_ = true;
};

// Holds a new record and frees it with its free routine unless released.
template <class R, int (*Free)(R*)> using RecordHolder = FreePtr<R, Free>;

using FaceHolder = RecordHolder<QelSurfacedata, qel_surfacedata_free>;
using EdgeHolder = RecordHolder<QelEdgedata, qel_edgedata_free>;
using QuiltHolder = RecordHolder<QelQuiltdata, qel_quiltdata_free>;
using DatumHolder = RecordHolder<QelDatumdata, qel_datumdata_free>;
using ContourHolder = RecordHolder<QelContourdata, qel_contourdata_free>;

// Appends the record's bytes to the root with `append`, then releases the
// record block (the root now owns what it points to). On failure the whole
// record is freed and the status raised.
template <class R, class Deleter>
void AppendRecord(qel_intf_data* root, std::unique_ptr<R, Deleter>& rec,
                  int (*append)(qel_intf_data*, const R*)) {
    if (!root)
        ThrowSimple(QEL_ERR_BAD_ARG);
    Check(append(root, rec.get()));
    qel_data_free(rec.release());
}

// A setter's new record takes the place of the object's earlier one, which
// is freed (only an owned record is ever replaced, see UseRecord).
template <class R> void ReplaceRecord(R*& record, bool& ownsRecord, R* fresh, int (*free)(R*)) {
    if (record)
        free(record);
    record = fresh;
    ownsRecord = true;
}

// Frees an owned record when its object goes; a failure is told on standard
// error (no caller receives it).
template <class R> void FreeOwnedRecord(R* record, bool ownsRecord, int (*free)(R*),
                                        const char* what) noexcept {
    if (!record || !ownsRecord)
        return;
    if (int st = free(record))
        btk_tell("%s record not freed: status %d", what, st);
}

// Appends to `list` a new object that takes over the record held by `rec`
// (which frees it when the object cannot be made).
template <class Obj, class List, class R, class Deleter>
void AppendOwning(const xrchandle<List>& list, std::unique_ptr<R, Deleter>& rec) {
    xrchandle<Obj> obj(new Obj(rec.get(), true));
    rec.release();
    list->Append(obj.get());
}

// A new list of objects, each owning a deep copy of one record of `array`
// (made with `copy`), in array order; a missing or empty array gives a
// null handle. A failing copy raises its status and leaves nothing behind.
template <class Obj, class List, class R, int (*Free)(R*)>
xrchandle<List> BuildOwnedCopies(const void* array, int (*copy)(const R*, R**)) {
    QelArrayView<R> view(array);
    if (view.Empty())
        return nullptr;
    xrchandle<List> list(List::create());
    for (int i = 0; i < view.Count(); ++i) {
        RecordHolder<R, Free> rec;
        Check(copy(&view[i], OutPtr(rec)));
        AppendOwning<Obj>(list, rec);
    }
    return list;
}

// Storage of a new record by a setter: record mode when the switch is on or
// the object already has a record; a record the object does not own is
// never refilled.
inline bool UseRecord(const void* record, bool ownsRecord, int storageMode) {
    if (record && !ownsRecord)
        ThrowSimple(QEL_ERR_BAD_ARG);
    return record != nullptr || storageMode != 0;
}

} // namespace topo
