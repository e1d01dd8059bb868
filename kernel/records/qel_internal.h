// Helpers shared by the record routines and the record copies. Not part of
// the library's interface.
#pragma once

#include "xmemory.h"
#include "api/qel_records.h"

#include <cstdint>
#include <cstring>

namespace qel_detail {

// Deepest nesting of curves inside curves (composite components, kind 56)
// that clear and copy follow; deeper (or cyclic) records are refused with -2.
constexpr int kMaxCurveNesting = 64;

// Three (or n) doubles from `src`, zeros when `src` is null.
inline void copy_vec(double* dst, const double* src, int n = 3) {
    if (src)
        std::memcpy(dst, src, sizeof(double) * size_t(n));
    else
        std::memset(dst, 0, sizeof(double) * size_t(n));
}

// Writes n doubles to `dst` when it is not null.
inline void put_vec(double* dst, const double* src, int n = 3) {
    if (dst)
        std::memcpy(dst, src, sizeof(double) * size_t(n));
}

template <class T> inline void put(T* dst, const T& value) {
    if (dst)
        *dst = value;
}

// True for a null handle or a plain xar (not a har) of T elements.
template <class T> inline bool is_xar_of(const void* arr) {
    return !arr || (har_entry_size(arr) == 0 && xar_elem_size(arr) == int(sizeof(T)));
}

// Element count of an xar of T, or -1 when the handle holds other elements.
template <class T> inline int xar_len(const void* arr) {
    return is_xar_of<T>(arr) ? xar_count(arr) : -1;
}

// Frees an array of weights or control points the way it was made.
template <class T> inline void free_net_array(T*& arr) {
    if (arr && har_entry_size(arr) != 0)
        har_free(arr);
    else
        xar_free(arr);
}

// Copies such an array in its own form.
template <class T> inline int copy_net_array(T*& dst, const T* src) {
    dst = nullptr;
    if (!src)
        return QEL_OK;
    return har_entry_size(src) != 0 ? har_copy(dst, src) : xar_cpy(dst, src);
}

// The arrays of a spline (also a fillet's spline head), of a spline-surface
// head and of a B-spline surface; each handle becomes null.
inline void spline_arrays_free(QelSplinedata& s) {
    xar_free(s.tangents);
    xar_free(s.points);
    xar_free(s.params);
}

inline void splinesrf_arrays_free(QelSplinesrfdata& s) {
    xar_free(s.u_params);
    xar_free(s.v_params);
    xar_free(s.points);
    xar_free(s.u_tangents);
    xar_free(s.v_tangents);
    xar_free(s.mixed_derivs);
}

inline void bsplinesrf_arrays_free(QelBsplinesrfdata& b) {
    xar_free(b.u_knots);
    xar_free(b.v_knots);
    free_net_array(b.weights);
    free_net_array(b.points);
}

// Calls f(T&) for every entry of a har of T entries, page by page, bounded
// by the pages' real counts. f returns true to go on. -2 when the array
// holds entries of another size (nothing is visited), else 0.
template <class T, class F> inline int har_each(const void* har, F&& f) {
    if (!har)
        return QEL_OK;
    if (har_entry_size(har) != int(sizeof(T)))
        return QEL_ERR_BAD_ARG;
    void* const* pages = static_cast<void* const*>(har);
    const int npages = xar_count(har);
    for (int p = 0; p < npages; ++p) {
        T* entries = static_cast<T*>(pages[p]);
        const int n = xar_count(entries);
        for (int i = 0; i < n; ++i)
            if (!f(entries[i]))
                return QEL_OK;
    }
    return QEL_OK;
}

// A set of pointers (open addressing, getmem storage, grows geometrically).
class PtrSet {
public:
    PtrSet() = default;
    PtrSet(const PtrSet&) = delete;
    PtrSet& operator=(const PtrSet&) = delete;
    ~PtrSet() { rlsmem(slots_); }

    // 1 when added, 0 when already there, -10 when memory runs out.
    int insert(const void* p) {
        if (!p)
            return 0;
        if ((size_ + 1) * 2 > cap_ && !grow())
            return QEL_ERR_NO_MEMORY;
        return place(slots_, cap_, reinterpret_cast<uintptr_t>(p)) ? (++size_, 1) : 0;
    }

    bool contains(const void* p) const {
        if (!p || cap_ == 0)
            return false;
        const uintptr_t v = reinterpret_cast<uintptr_t>(p);
        for (size_t i = hash(v) & (cap_ - 1);; i = (i + 1) & (cap_ - 1)) {
            if (slots_[i] == v)
                return true;
            if (slots_[i] == 0)
                return false;
        }
    }

private:
    static size_t hash(uintptr_t v) {
        v ^= v >> 33;
        v *= 0xff51afd7ed558ccdull;
        v ^= v >> 33;
        return size_t(v);
    }
    static bool place(uintptr_t* slots, size_t cap, uintptr_t v) {
        for (size_t i = hash(v) & (cap - 1);; i = (i + 1) & (cap - 1)) {
            if (slots[i] == v)
                return false;
            if (slots[i] == 0) {
                slots[i] = v;
                return true;
            }
        }
    }
    bool grow() {
        const size_t ncap = cap_ ? cap_ * 2 : 16;
        auto* ns = static_cast<uintptr_t*>(getmem(ncap * sizeof(uintptr_t)));
        if (!ns)
            return false;
        for (size_t i = 0; i < cap_; ++i)
            if (slots_[i])
                place(ns, ncap, slots_[i]);
        rlsmem(slots_);
        slots_ = ns;
        cap_ = ncap;
        return true;
    }

    uintptr_t* slots_ = nullptr;
    size_t cap_ = 0;
    size_t size_ = 0;
};

// Profile kinds a surface of revolution or a tabulated cylinder takes:
// line, arc, spline, B-spline, ellipse.
bool profile_kind_ok(uint32_t kind);
// The two curve kinds a ruled surface takes: each a profile kind or a
// point, not both points.
bool ruled_kinds_ok(uint32_t kind1, uint32_t kind2);
// The two curve kinds a ruled surface of a model holds: those it takes, or
// a composite curve in the place of either (a document carries its
// components in full; qel_rulsrfdata_init refuses it).
bool ruled_kinds_held(uint32_t kind1, uint32_t kind2);

// The first index i at which spline parameters fail to increase by at
// least 1e-9 x their range from i to i + 1 (also a NaN), or -1 when they
// all do (qel_splinedata_init).
int params_fault_at(const double* params, int n);
// The first index i at which B-spline knots decrease from i to i + 1 by
// more than 1e-9 x their range (also a NaN), or -1 when none does; fewer
// than two knots fail at 0 (qel_bsplinedata_knots_check).
int knots_fault_at(const double* knots, int n);

// Internal forms of routines that follow nested curves, with the nesting
// depth reached so far.
int curve_clear(QelCurvedata* rec, int depth);
int curve_free(QelCurvedata* rec, int depth);
// With `as_read`, values the record routines refuse are copied as they
// stand (see qel_face_copy_as_read).
int curve_deep_copy(const QelCurvedata* src, QelCurvedata* dst, int depth, bool as_read = false);

} // namespace qel_detail
