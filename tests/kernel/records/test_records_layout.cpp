// Record layouts are pinned at compile time in qel_records.h; these checks
// confirm at run time what routines rely on when they read a record by
// position rather than by its declared type.
#include "api/qel_records.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

namespace {

template <class T> uint32_t first_word(const T& rec) {
    uint32_t v;
    std::memcpy(&v, reinterpret_cast<const char*>(&rec) + QEL_FIRST_FIELD_OFFSET, sizeof(v));
    return v;
}

template <class T> uint64_t second_word(const T& rec) {
    uint64_t v;
    std::memcpy(&v, reinterpret_cast<const char*>(&rec) + QEL_SECOND_FIELD_OFFSET, sizeof(v));
    return v;
}

TEST(RecordsLayout, SharedFirstAndSecondFieldsLieAtOneOffset) {
    const size_t first[] = {offsetof(QelCurvedata, kind), offsetof(qel_intf_data, accuracy_type),
                            offsetof(QelContourdata, traversal), offsetof(QelQuiltdata, id)};
    for (size_t off : first)
        EXPECT_EQ(off, QEL_FIRST_FIELD_OFFSET);
    const size_t second[] = {offsetof(qel_intf_data, accuracy), offsetof(QelContourdata, edge_ids),
                             offsetof(QelQuiltdata, faces)};
    for (size_t off : second)
        EXPECT_EQ(off, QEL_SECOND_FIELD_OFFSET);

    // Values written through each record's own field read back by position.
    qel_intf_data root{};
    root.accuracy_type = 2;
    root.accuracy = 0.25;
    QelContourdata contour{};
    contour.traversal = -1;
    contour.edge_ids = reinterpret_cast<int32_t*>(uintptr_t(0x1000));
    QelQuiltdata quilt{};
    quilt.id = 77;
    QelCurvedata curve{};
    curve.kind = QEL_CURVE_CLEARED;

    EXPECT_EQ(first_word(root), 2u);
    EXPECT_EQ(first_word(contour), 0xFFFFFFFFu);
    EXPECT_EQ(first_word(quilt), 77u);
    EXPECT_EQ(first_word(curve), 0xFFFFFFFFu);
    double acc;
    uint64_t word = second_word(root);
    std::memcpy(&acc, &word, sizeof(acc));
    EXPECT_EQ(acc, 0.25);
    EXPECT_EQ(second_word(contour), 0x1000u);
}

TEST(RecordsLayout, CurveVariantsShareTheKindAndTheBsplineDegreeFollowsIt) {
    QelCurvedata c{};
    c.bspline.kind = QEL_CURVE_BSPLINE;
    c.bspline.degree = 3;
    EXPECT_EQ(c.kind, uint32_t(QEL_CURVE_BSPLINE));
    EXPECT_EQ(reinterpret_cast<char*>(&c.bspline.degree) - reinterpret_cast<char*>(&c), 4);
    // The fillet's spline head is the spline variant itself, kind included.
    QelSurfaceshapedata s{};
    s.filsrf.center_spline = c.spline;
    EXPECT_EQ(s.filsrf.center_spline.kind, uint32_t(QEL_CURVE_BSPLINE));
}

TEST(RecordsLayout, RecordSizesAndWideFields) {
    EXPECT_EQ(sizeof(qel_intf_data_extend), 18u * 8u);
    EXPECT_EQ(sizeof(QelDatumdata::name), 32u * 2u);
    EXPECT_EQ(sizeof(qel_model_basic_info::name), 260u * 2u);
    EXPECT_EQ(sizeof(QelTexturemapdata::file_name), 260u * 2u);
    // 82 wide characters of attribute text room: 81 + the 16-bit value.
    EXPECT_EQ(offsetof(QelGenAttribdata, item_id) - offsetof(QelGenAttribdata, text), 82u * 2u);
    // Twelve doubles open the reference colour, in their indexed order.
    QelRefColordata rc{};
    rc.transmission = 7;
    rc.reflection = 11;
    const double* d = reinterpret_cast<const double*>(&rc);
    EXPECT_EQ(d[7], 7.0);
    EXPECT_EQ(d[11], 11.0);
}

} // namespace
