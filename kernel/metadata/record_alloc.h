// Internal helpers of the metadata and facet objects: their own record
// blocks (getmem, zero-filled), plain record copies, and the element check
// shared by every list setter.
#pragma once

#include "kernel/kpi_impl.h"
#include "xexcept.h"
#include "xmemory.h"
#include "api/qel_records.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace krec {

// An unset index, id or status word of the records.
inline constexpr uint32_t kNone = 0xFFFFFFFFu;

// A zero-filled record block; raises ThrowSimple(-10) when memory runs out.
template <class Rec> Rec* newRecord() {
    auto* rec = static_cast<Rec*>(getmem(sizeof(Rec)));
    if (!rec)
        ThrowSimple(QEL_ERR_NO_MEMORY);
    return rec;
}

// A new block holding a byte copy of `src`; raises as newRecord.
template <class Rec> Rec* newRecordCopy(const Rec& src) {
    Rec* rec = newRecord<Rec>();
    std::memcpy(rec, &src, sizeof(Rec));
    return rec;
}

// A new block holding a byte copy of `*src`, or null when memory runs out
// (for the record copies that report failure instead of raising).
template <class Rec> Rec* plainCopy(const Rec* src) {
    auto* copy = static_cast<Rec*>(getmem(sizeof(Rec)));
    if (copy)
        std::memcpy(copy, src, sizeof(Rec));
    return copy;
}

// The implementation object of every element of a list, checked before a
// setter changes anything: a null list raises ThrowInvalidArg(1, 0), a null
// element KXInvalidArg_i::Throw(1, 1), an element without an implementation
// of class Impl ThrowInvalidArg(1, 1). The list holds its elements, so the
// objects outlive the caller's use of them.
template <class Impl, class List> std::vector<Impl*> collectImpls(const xrchandle<List>& list) {
    if (!list)
        ThrowInvalidArg(1, 0);
    int n = list->Count();
    std::vector<Impl*> impls;
    impls.reserve(size_t(n > 0 ? n : 0));
    for (int i = 0; i < n; ++i) {
        auto element = list->Get(i);
        if (!element)
            KXInvalidArg_i::Throw(1, 1);
        impls.push_back(CastToImpl<Impl>(element.get(), 1));
    }
    return impls;
}

} // namespace krec
