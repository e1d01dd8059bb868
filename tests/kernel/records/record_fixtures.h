// Builders of host records for the kernel record tests.
#pragma once

#include "xmemory.h"
#include "kernel/records/qel_routines.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace fixtures {

template <class T> T* xar_of(std::initializer_list<T> values, int growth = 4) {
    void* a = xar_alloc(0, int(sizeof(T)), growth);
    if (values.size())
        xar_append(&a, int(values.size()), values.begin());
    return static_cast<T*>(a);
}

template <class T> T* xar_of(const std::vector<T>& values) {
    void* a = xar_alloc(0, int(sizeof(T)), 4);
    if (!values.empty())
        xar_append(&a, int(values.size()), values.data());
    return static_cast<T*>(a);
}

inline QelPoint pt(double x, double y, double z) { return QelPoint{{x, y, z}}; }

inline QelCurvedata line(double x0, double x1) {
    QelCurvedata c{};
    const double a[3] = {x0, 0, 0}, b[3] = {x1, 1, 0};
    EXPECT_EQ(qel_linedata_init(a, b, &c), QEL_OK);
    return c;
}

inline QelCurvedata point(double x) {
    QelCurvedata c{};
    const double p[3] = {x, 2, 3};
    EXPECT_EQ(qel_pointdata_init(p, &c), QEL_OK);
    return c;
}

inline QelCurvedata arc() {
    QelCurvedata c{};
    const double v1[3] = {1, 0, 0}, v2[3] = {0, 1, 0}, o[3] = {5, 5, 5};
    EXPECT_EQ(qel_arcdata_init(v1, v2, o, 0.0, 1.5, 2.0, &c), QEL_OK);
    return c;
}

inline QelCurvedata ellipse() {
    QelCurvedata c{};
    const double ctr[3] = {1, 2, 3}, a[3] = {1, 0, 0}, b[3] = {0, 1, 0};
    EXPECT_EQ(qel_ellipsedata_init(ctr, a, b, 4.0, 2.0, 0.1, 3.0, &c), QEL_OK);
    return c;
}

inline QelCurvedata kind10() {
    QelCurvedata c{};
    const double a[3] = {1, 1, 0}, b[3] = {0, 0, 1};
    EXPECT_EQ(qel_curvekind10_init(&c, a, b, 9.5), QEL_OK);
    return c;
}

inline QelCurvedata spline(std::initializer_list<double> params) {
    QelCurvedata c{};
    std::vector<QelPoint> pts, tans;
    for (double p : params) {
        pts.push_back(pt(p, p * p, 0));
        tans.push_back(pt(1, 2 * p, 0));
    }
    double* pa = xar_of(params);
    QelPoint* pp = xar_of(pts);
    QelPoint* tp = xar_of(tans);
    EXPECT_EQ(qel_splinedata_init(pa, pp, tp, uint32_t(params.size()), &c), QEL_OK);
    xar_free(pa);
    xar_free(pp);
    xar_free(tp);
    return c;
}

// A clamped cubic B-spline (rational when `rational`).
inline QelCurvedata bspline(bool rational = false) {
    QelCurvedata c{};
    double* knots = xar_of({0.0, 0.0, 0.0, 0.0, 0.5, 1.0, 1.0, 1.0, 1.0});
    QelPoint* cps = xar_of({pt(0, 0, 0), pt(1, 1, 0), pt(2, 0, 0), pt(3, 1, 0), pt(4, 0, 0)});
    double* w = rational ? xar_of({1.0, 0.5, 1.0, 0.5, 1.0}) : nullptr;
    EXPECT_EQ(qel_bsplinedata_init(3, knots, w, cps, 9, 5, &c), QEL_OK);
    xar_free(knots);
    xar_free(cps);
    xar_free(w);
    return c;
}

// A composite of `first` (direction 1) and `second` (direction 0), whose
// arrays it takes over.
inline QelCurvedata compositeOf(const QelCurvedata& first, const QelCurvedata& second) {
    QelComponentcurvedata parts[2];
    EXPECT_EQ(qel_componentcurvedata_init(&first, 1, &parts[0]), QEL_OK);
    EXPECT_EQ(qel_componentcurvedata_init(&second, 0, &parts[1]), QEL_OK);
    QelComponentcurvedata* arr = xar_of({parts[0], parts[1]});
    QelCurvedata c{};
    EXPECT_EQ(qel_compositecurvedata_init(arr, &c), QEL_OK);
    xar_free(arr); // the components' arrays now belong to c
    return c;
}

inline QelCurvedata composite() { return compositeOf(line(0, 1), spline({0.0, 1.0, 2.0})); }

} // namespace fixtures
