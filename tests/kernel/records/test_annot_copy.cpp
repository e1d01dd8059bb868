// Copy and release of the annotation words (10 to 16) of an extension
// record. The leak checker confirms that every record, array and text is
// released, by the copy's failure paths too.
#include "kernel/records/annot_fixtures.h"
#include "kernel/records/qel_copy.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace annot_fixtures;

template <class T> T* at(void* word, int i) { return static_cast<T*>(word) + i; }
template <class T> T* ptr_at(void* word, int i) { return static_cast<T**>(word)[i]; }

TEST(AnnotationCopy, CopyThenFreeSharesNothingAndKeepsEveryValue) {
    qel_intf_data_extend src{}, dst{};
    fill_annotations(src);
    ASSERT_EQ(qel_intf_data_extend_copy(&src, &dst), QEL_OK);

    // Dimensions by value, with their nested records and arrays.
    ASSERT_EQ(xar_count(dst.dimensions), 2);
    const QelAnnotDimension& d = *at<QelAnnotDimension>(dst.dimensions, 1);
    const QelAnnotDimension& sd = *at<QelAnnotDimension>(src.dimensions, 1);
    EXPECT_EQ(d.id, 2);
    EXPECT_EQ(d.nomvalue, 12.0);
    EXPECT_EQ(std::u16string(d.name), u"d12");
    EXPECT_NE(d.bound, sd.bound);
    EXPECT_EQ(d.bound->type, 1);
    EXPECT_NE(d.text, sd.text);
    EXPECT_EQ(d.text[1].text[80], u'x');
    EXPECT_NE(d.location->elbow, sd.location->elbow);
    EXPECT_EQ(*d.location->elbow, 4.5);
    EXPECT_EQ(d.location->normal->xyz[0], 6.0);
    EXPECT_NE(d.text_style->color->color_map, sd.text_style->color->color_map);
    EXPECT_EQ(d.text_style->color->color_map->blue, 0.125);
    ASSERT_EQ(xar_count(d.attachments), 2);
    EXPECT_NE(d.attachments[0].references[1], sd.attachments[0].references[1]);
    EXPECT_EQ(d.attachments[0].references[1]->model_item->id, 201);
    EXPECT_EQ(d.attachments[0].sense->angle_sense->should_flip, 1);
    EXPECT_EQ(d.attachments[1].sense, nullptr);

    // Pointer arrays keep their null slots.
    ASSERT_EQ(xar_count(dst.gtols), 2);
    EXPECT_EQ(ptr_at<QelAnnotGtol>(dst.gtols, 1), nullptr);
    const QelAnnotGtol* g = ptr_at<QelAnnotGtol>(dst.gtols, 0);
    EXPECT_NE(g, ptr_at<QelAnnotGtol>(src.gtols, 0));
    EXPECT_EQ(*g->proj_zone->height, 7.5);
    EXPECT_EQ(g->placement->leaders[0]->attachment->point->xyz[0], 400.0);
    EXPECT_EQ(g->placement->leaders[1], nullptr);
    EXPECT_EQ(g->tertiary_datum_ref->compound_matl_cond->type, 703);

    const QelAnnotFeature* f = ptr_at<QelAnnotFeature>(dst.annot_features, 0);
    const QelAnnotElemRef* by_coll = f->elements[0]->references[1];
    EXPECT_EQ(by_coll->collection->instructions[0]->references[0]->reference->item->id, 810);
    EXPECT_EQ(std::u16string(f->elements[0]->references[0]->description), u"edge ref");

    const QelAnnotNote* n = ptr_at<QelAnnotNote>(dst.notes, 0);
    const QelAnnotNote* sn = ptr_at<QelAnnotNote>(src.notes, 0);
    EXPECT_NE(n->url, sn->url);
    EXPECT_EQ(std::u16string(n->url), u"http://x/y");
    EXPECT_NE(n->text_lines[0].line, sn->text_lines[0].line);
    EXPECT_EQ(std::u16string(n->text_lines[0].line), u"Break all edges");
    EXPECT_EQ(n->text_lines[1].line, nullptr);
    EXPECT_EQ(n->attachment->endpoints[0].point->model_item->type, 1300);

    EXPECT_EQ(ptr_at<QelAnnotDatumTag>(dst.datum_tags, 0)->text_style->color->method, 1);
    EXPECT_EQ(ptr_at<QelAnnotPlane>(dst.annot_planes, 0)->reference->uv_param->uv[1], 550.0);
    ASSERT_NE(dst.model_class, src.model_class);
    EXPECT_EQ(static_cast<QelAnnotModelClass*>(dst.model_class)->type, 3);
    EXPECT_EQ(dst.angular_dim_tolerance, 0.5);

    // The source is untouched by the copy and by the copy's release.
    EXPECT_EQ(impfeat_ext_free(&dst), QEL_OK);
    const qel_intf_data_extend zero{};
    EXPECT_EQ(std::memcmp(&dst.dimensions, &zero.dimensions, 7 * sizeof(void*)), 0);
    EXPECT_EQ(*ptr_at<QelAnnotGtol>(src.gtols, 0)->proj_zone->height, 7.5);
    EXPECT_EQ(impfeat_ext_free(&src), QEL_OK);
    EXPECT_EQ(src.model_class, nullptr);
    EXPECT_EQ(impfeat_ext_free(&src), QEL_OK); // a second free is harmless
}

TEST(AnnotationCopy, NestedArrayOfAnotherLayoutFailsTheCopyWithoutLeaks) {
    qel_intf_data_extend src{}, dst{};
    fill_annotations(src);
    // The note's endpoints, deep in the last array word, hold plain ints.
    QelAnnotNote* n = ptr_at<QelAnnotNote>(src.notes, 0);
    QelAnnotEndpoint* endpoints = n->attachment->endpoints;
    n->attachment->endpoints = reinterpret_cast<QelAnnotEndpoint*>(xar_with<int32_t>({1, 2, 3}));
    EXPECT_EQ(qel_intf_data_extend_copy(&src, &dst), QEL_ERR_BAD_ARG);
    const qel_intf_data_extend zero{};
    EXPECT_EQ(std::memcmp(&dst, &zero, sizeof(dst)), 0);

    // Released without its elements, and reported; everything else goes.
    EXPECT_EQ(impfeat_ext_free(&src), QEL_ERR_BAD_ARG);
    EXPECT_EQ(src.notes, nullptr);
    EXPECT_EQ(src.dimensions, nullptr);
    // The endpoints taken out above go with a note of their own.
    qel_intf_data_extend holder{};
    auto* owner = rec<QelAnnotNote>();
    owner->attachment = rec<QelAnnotNoteAttachment>();
    owner->attachment->endpoints = endpoints;
    holder.notes = xar_with<QelAnnotNote*>({owner});
    EXPECT_EQ(impfeat_ext_free(&holder), QEL_OK);
}

} // namespace
