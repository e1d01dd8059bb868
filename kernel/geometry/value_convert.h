// Conversions between the value classes (points, vectors, UV points, boxes,
// coordinate systems) and the plain doubles of host records, and builders of
// value lists and number sequences from host arrays and back.
//
// Value to doubles: a null handle leaves the output untouched.
// Array to list: a missing array, one whose element size does not match, or
// an empty one gives a null handle (never an empty list). Arrays may be xar
// arrays or chunked har arrays; counts are always those of the array itself.
// List to array: the new array is an xar owned by the given holder; a null
// list gives an empty array. Status 0, or -10 when memory runs out.
#pragma once

#include "api/zpi50_export.h"
#include "api/qel_records.h"

#include "kvalues.h"
#include "xarholder.h"
#include "xmemory.h"
#include "xsequence.h"

#include <cstdint>

// ---- values to doubles ------------------------------------------------------
void PointToDoubles(const xrchandle<KPoint3D>& point, double* xyz);
void VectorToDoubles(const xrchandle<KVector3D>& vector, double* xyz);
void PointUVToDoubles(const xrchandle<KPointUV>& point, double* uv);
// Minimum corner x, y, z, then maximum corner x, y, z.
void Box3DToDoubles(const xrchandle<KBox3D>& box, double* box6);
void BoxUVToDoubles(const xrchandle<KBoxUV>& box, double* uvMin, double* uvMax);
// e1 = X axis, e2 = Y axis, e3 = Z axis, origin.
void CsysToFrame(const xrchandle<KCsys>& csys, QelFrame* frame);
// The same into a new frame, all zeros for a null handle.
QelFrame FrameOfCsys(const xrchandle<KCsys>& csys);

// ---- doubles to values ------------------------------------------------------
xrchandle<KPoint3D> DoublesToPoint(const double* xyz);
xrchandle<KVector3D> DoublesToVector(const double* xyz);
// From origin, X axis and Y axis (the Z axis follows from them).
xrchandle<KCsys> FrameToCsys(const double* origin, const double* xAxis, const double* yAxis);
// From e1, e2 and origin of a frame; e3 is not read.
xrchandle<KCsys> FrameToCsys(const QelFrame& frame);
xrchandle<KBoxUV> DoublesToBoxUV(const double* uvMin, const double* uvMax);
xrchandle<KBox3D> DoublesToBox3D(const double* box6);

// ---- reading host arrays ----------------------------------------------------
// Read-only view of an xar or har array of T. Unreadable (element size other
// than sizeof(T)) or missing arrays have no elements.
template <class T> class QelArrayView {
public:
    explicit QelArrayView(const void* arr) : arr_(arr) {
        if (!arr)
            return;
        int entry = har_entry_size(arr);
        if (entry > 0) {
            chunked_ = true;
            if (entry == int(sizeof(T)))
                count_ = har_total(arr);
        } else if (xar_elem_size(arr) == int(sizeof(T))) {
            count_ = xar_count(arr);
        }
    }
    int Count() const { return count_; }
    bool Empty() const { return count_ <= 0; }
    // Element i, 0 <= i < Count().
    const T& operator[](int i) const {
        if (chunked_)
            return *static_cast<const T*>(har_access(arr_, i, nullptr, nullptr));
        return static_cast<const T*>(arr_)[i];
    }

private:
    const void* arr_;
    int count_ = 0;
    bool chunked_ = false;
};

// ---- host arrays to lists ---------------------------------------------------
xrchandle<KPoint3DList> BuildPoint3DList(const QelPoint* points);
xrchandle<KVector3DList> BuildVector3DList(const QelPoint* vectors);
xrchandle<xrealsequence> BuildRealSequence(const double* values);
xrchandle<xintsequence> BuildIntSequence(const int32_t* values);
// Each sample gives the (u, v) of face 1 (second = false) or of face 2.
xrchandle<KPointUVList> BuildPointUVList(const QelUvSample* samples, bool second);
// Control points stored multiplied by their weights, with the weights
// divided out again (weight 1 for all when there are none); always a list,
// empty for no points. Fewer weights than points: ThrowSimple(-2), the
// array is not read past its end.
xrchandle<KPoint3DList> BuildUnweightedPoint3DList(const QelPoint* points, const double* weights);

// ---- lists to host arrays ---------------------------------------------------
int PointListToArray(const xrchandle<KPoint3DList>& list, xarholder<QelPoint>& out);
int VectorListToArray(const xrchandle<KVector3DList>& list, xarholder<QelPoint>& out);
int RealSequenceToArray(const xrchandle<xrealsequence>& seq, xarholder<double>& out);
int IntSequenceToArray(const xrchandle<xintsequence>& seq, xarholder<int32_t>& out);
// Control points, each multiplied by its weight when weights are given, and
// the weights (empty when `weights` is null). -2 before anything is written
// when the weights' count is not the points' count, or the weights are not
// usable (UsableWeights).
//
// Whether a coordinate x kept as x * w can be divided back out within an
// ulp of x: w is a weight a record carries and x * w divides back out as
// a record's control point must (qel_check.h), and, unless x is 0, x * w
// does not underflow (a subnormal x only when x * w / w gives x back
// within its ulp).
bool UsableWeight(double x, double w);
// UsableWeight for every weight and every coordinate of the point of its
// index (the weights alone when `points` is null; points beyond the weights
// are not looked at).
bool UsableWeights(const xrchandle<xrealsequence>& weights,
                   const xrchandle<KPoint3DList>& points = nullptr);
int WeightedPointsToArrays(const xrchandle<KPoint3DList>& points,
                           const xrchandle<xrealsequence>& weights, xarholder<QelPoint>& pointsOut,
                           xarholder<double>& weightsOut);
