// Helpers shared by the topology implementation files.
#pragma once

#include "kernel/qel_routines.h"

#include "xexcept.h"

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
template <class R, int (*Free)(R*)> class RecordHolder {
public:
    RecordHolder() noexcept = default;
    explicit RecordHolder(R* rec) noexcept : rec_(rec) {}
    ~RecordHolder() {
        if (rec_)
            Free(rec_);
    }
    RecordHolder(const RecordHolder&) = delete;
    RecordHolder& operator=(const RecordHolder&) = delete;
    R* get() const noexcept { return rec_; }
    R* operator->() const noexcept { return rec_; }
    R** out() noexcept { return &rec_; }
    R* Release() noexcept {
        R* p = rec_;
        rec_ = nullptr;
        return p;
    }

private:
    R* rec_ = nullptr;
};

using FaceHolder = RecordHolder<QelSurfacedata, qel_surfacedata_free>;
using EdgeHolder = RecordHolder<QelEdgedata, qel_edgedata_free>;
using QuiltHolder = RecordHolder<QelQuiltdata, qel_quiltdata_free>;
using DatumHolder = RecordHolder<QelDatumdata, qel_datumdata_free>;
using ContourHolder = RecordHolder<QelContourdata, qel_contourdata_free>;

// Appends the record's bytes to the root with `append`, then releases the
// record block (the root now owns what it points to). On failure the whole
// record is freed and the status raised.
template <class R, int (*Free)(R*)>
void AppendRecord(qel_intf_data* root, RecordHolder<R, Free>& rec,
                  int (*append)(qel_intf_data*, const R*)) {
    if (!root)
        ThrowSimple(-2);
    Check(append(root, rec.get()));
    qel_data_free(rec.Release());
}

// Storage of a new record by a setter: record mode when the switch is on or
// the object already has a record; a record the object does not own is
// never refilled.
inline bool UseRecord(const void* record, bool ownsRecord, int storageMode) {
    if (record && !ownsRecord)
        ThrowSimple(-2);
    return record != nullptr || storageMode != 0;
}

} // namespace topo
