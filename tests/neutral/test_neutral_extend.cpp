// Extension data to neutral records: layers, colours, attributes, units,
// item names, faceted representations and the annotation words, converted
// from a deep copy of a filled extension, checked field by field, written
// and released; the copy and the source are freed after. The leak checker
// sees every path.
#include "kernel/records/annot_fixtures.h"
#include "kernel/records/qel_copy.h"
#include "kernel/records/record_fixtures.h"
#include "neutral/neutral_convert.h"
#include "neutral/neutral_extend.h"
#include "neutral/neutral_writer.h"

#include "btkstring.h"
#include "neutral_messages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using fixtures::xar_of;

template <class T> T* vertex(double x, int32_t neighbour) {
    auto* v = static_cast<T*>(getmem(sizeof(T)));
    v->point[0] = x;
    v->neighbour = neighbour;
    return v;
}

void add_ptr(void*& har, void* p) { har_append(&har, &p); }

// Words 1 to 9 filled, every kind of entry that the conversion treats
// differently included.
void fill_plain_words(qel_intf_data_extend& e) {
    QelLayerdata layer{};
    std::memcpy(layer.name, u"LAYER_A", sizeof(u"LAYER_A"));
    layer.layer_id = 5;
    layer.status = 3;
    layer.item_ids = xar_of<uint32_t>({3, 9});
    QelLayerdata empty_layer{}; // no items: not converted
    QelLayerdata bare_layer{};
    bare_layer.item_ids = xar_of<uint32_t>({});
    e.layers = xar_of({layer, empty_layer, bare_layer});

    QelRefColordata rc{};
    rc.color[0] = 0.25;
    rc.ambient = 0.9;
    rc.diffuse = 0.8;
    rc.specular = 0.7;
    rc.specular_coef = 0.6;
    rc.transmission = 0.1;
    rc.highlight[2] = 1;
    rc.reflection = 0.3;
    std::memcpy(rc.bump.name, u"bumpy", sizeof(u"bumpy"));
    std::memcpy(rc.bump.file_name, u"c:/tex/b\u00e9.png", sizeof(u"c:/tex/b\u00e9.png"));
    for (int i = 0; i < QEL_NAME_LEN; ++i)
        rc.texture.name[i] = u't'; // a full name: no terminator
    e.ref_colors = xar_of({rc, QelRefColordata{}});
    e.elem_colors = xar_of({QelElemColordata{3, {0, 1}}, QelElemColordata{4, {1, 0xFFFFFFFFu}}});

    e.attributes = har_alloc(int(sizeof(QelGenAttribdata)), 2);
    const uint32_t kinds[5] = {1, 2, 3, 5, 4};
    for (int i = 0; i < 5; ++i) {
        QelGenAttribdata a{};
        a.name[0] = char16_t(u'a' + i);
        a.value_kind = kinds[i];
        a.int_value = -7;
        a.double_value = 2.5;
        std::memcpy(a.text, u"steel", sizeof(u"steel"));
        a.short_value = 0xFFFF;
        a.item_id = uint32_t(10 + i);
        a.item_type = 1;
        har_append(&e.attributes, &a);
    }
    e.units = xar_of({QelUnitdata{25.4, {u'm', u'm'}, 0}, QelUnitdata{1000, {u'k', u'g'}, 1}});
    e.item_names = xar_of({QelItemNamedata{{u'N', u'1'}, 4, 6}});

    // Extended edges and solid regions are not converted (but freed).
    e.ext_edges = har_alloc(int(sizeof(QelExtEdgedata)), 4);
    QelExtEdgedata ee{};
    ee.start_comps = xar_of({QelVtxCompdata{1, 0}});
    har_append(&e.ext_edges, &ee);
    QelSolidRegiondata region{};
    region.external_shell = xar_of({7, 8});
    e.solid_regions = xar_of({region});

    // One faceted representation: three vertices, two vertex data, two
    // facets; the first facet refers to everything, the second to nothing.
    QelFacetedRepdata rep{};
    rep.id = 3;
    rep.outline[5] = 1;
    rep.vertices = har_alloc(int(sizeof(void*)), 100);
    add_ptr(rep.vertices, vertex<QelFacetVertexdata>(0, 1));
    add_ptr(rep.vertices, vertex<QelFacetVertexdata>(1, -1));
    add_ptr(rep.vertices, vertex<QelFacetVertexdata>(2, 9)); // past the facets
    rep.vtxdata = har_alloc(int(sizeof(void*)), 100);
    for (int i = 0; i < 2; ++i) {
        auto* d = static_cast<QelFacetVtxdata*>(getmem(sizeof(QelFacetVtxdata)));
        d->normal[2] = 1;
        d->u = i;
        d->v = 0.5;
        add_ptr(rep.vtxdata, d);
    }
    rep.facets = har_alloc(int(sizeof(void*)), 100);
    auto* f0 = static_cast<QelFacetdata*>(getmem(sizeof(QelFacetdata)));
    *f0 = QelFacetdata{{0, 1, 2}, {0, 1, 0xFFFFFFFFu}, {1, 0xFFFFFFFFu, 0xFFFFFFFFu}, {0, 0, 1}};
    add_ptr(rep.facets, f0);
    auto* f1 = static_cast<QelFacetdata*>(getmem(sizeof(QelFacetdata)));
    std::memset(f1, 0xFF, offsetof(QelFacetdata, normal)); // every index unset
    add_ptr(rep.facets, f1);
    e.faceted_reps = har_alloc(int(sizeof(QelFacetedRepdata)), 10);
    har_append(&e.faceted_reps, &rep);
}

template <class T> T* ptr_entry(neut_har har, int i) {
    return *static_cast<T**>(har_access(har, i, nullptr, nullptr));
}

std::string narrow(const char16_t* text) { return btkStrUtf16ToUtf8(text); }

TEST(NeutralExtend, FilledExtensionConvertedFieldByFieldFromItsCopy) {
    qel_intf_data_extend src{}, copy{};
    fill_plain_words(src);
    annot_fixtures::fill_annotations(src);
    // The model keeps its own copy; the conversion reads that copy.
    ASSERT_EQ(qel_intf_data_extend_copy(&src, &copy), QEL_OK);

    auto* part = static_cast<neut_part*>(getmem(sizeof(neut_part)));
    ASSERT_EQ(ConvertQelImpfeatExtend(part, &copy), 0);

    // Layers: only the one with items.
    ASSERT_EQ(xar_count(part->layers), 1);
    const neut_layer* layer = part->layers[0];
    EXPECT_EQ(layer->db_type, 641);
    EXPECT_EQ(narrow(layer->name), "LAYER_A");
    ASSERT_EQ(xar_count(layer->ids), 2);
    EXPECT_EQ(layer->ids[1], 9);
    EXPECT_EQ(layer->operation, 3);

    // Colours, with textures only where a name is set.
    ASSERT_NE(part->colors, nullptr);
    ASSERT_EQ(xar_count(part->colors->color_tab), 2);
    const neut_color& c = part->colors->color_tab[0];
    EXPECT_EQ(c.color_rgb[0], 0.25);
    EXPECT_EQ(c.ambient, 0.9);
    EXPECT_EQ(c.diffuse, 0.8);
    EXPECT_EQ(c.specular, 0.7);
    EXPECT_EQ(c.spec_coef, 0.6);
    EXPECT_EQ(c.transmission, 0.1);
    EXPECT_EQ(c.highlight[2], 1.0);
    EXPECT_EQ(c.reflection, 0.3);
    ASSERT_NE(c.bump, nullptr);
    EXPECT_STREQ(c.bump->name, "bumpy");
    EXPECT_STREQ(c.bump->path, "c:/tex/b\xc3\xa9.png");
    EXPECT_EQ(c.decal, nullptr);
    ASSERT_NE(c.texture, nullptr);
    EXPECT_EQ(std::strlen(c.texture->name), 31u); // cut to fit with its terminator
    EXPECT_EQ(part->colors->color_tab[1].bump, nullptr);
    ASSERT_EQ(xar_count(part->colors->element_colors), 2);
    EXPECT_EQ(part->colors->element_colors[1].element_id, 4);
    EXPECT_EQ(part->colors->element_colors[1].color_inds[0], 1);
    EXPECT_EQ(part->colors->element_colors[1].color_inds[1], -1);

    // Attributes by value kind.
    ASSERT_EQ(xar_count(part->attributes), 5);
    const neut_attribute* const* attrs = part->attributes;
    EXPECT_EQ(narrow(attrs[0]->name), "a");
    EXPECT_EQ(attrs[0]->value.type, NEUT_SYM_INT);
    EXPECT_EQ(attrs[0]->value.value.i_val, -7);
    EXPECT_EQ(attrs[1]->value.type, NEUT_SYM_DOUBLE);
    EXPECT_EQ(attrs[1]->value.value.d_val, 2.5);
    EXPECT_EQ(attrs[2]->value.type, NEUT_SYM_STRING);
    EXPECT_EQ(narrow(attrs[2]->value.value.s_val), "steel");
    EXPECT_EQ(attrs[3]->value.type, NEUT_SYM_SHORT);
    EXPECT_EQ(attrs[3]->value.value.l_val, -7); // from the integer field
    EXPECT_EQ(attrs[4]->value.type, 0);
    EXPECT_EQ(attrs[4]->ref_id, 14);
    EXPECT_EQ(attrs[4]->ref_type, 1);

    ASSERT_EQ(xar_count(part->units), 2);
    EXPECT_EQ(part->units[0].factor, 25.4);
    EXPECT_EQ(narrow(part->units[1].name), "kg");
    EXPECT_EQ(part->units[1].unit_type, 1);
    ASSERT_EQ(xar_count(part->item_names), 1);
    EXPECT_EQ(narrow(part->item_names[0]->name), "N1");
    EXPECT_EQ(part->item_names[0]->obj_id, 4);
    EXPECT_EQ(part->item_names[0]->obj_type, 6);

    // Faceted representation: indices become pointers, "none" and indices
    // past the arrays become null.
    ASSERT_EQ(xar_count(part->faceted_reps), 1);
    const neut_faceted_rep* rep = part->faceted_reps[0];
    EXPECT_EQ(rep->id, 3);
    EXPECT_EQ(rep->outline[1][2], 1.0);
    ASSERT_EQ(har_total(rep->facet_vertices), 3);
    ASSERT_EQ(har_total(rep->facet_vertex_data), 2);
    ASSERT_EQ(har_total(rep->facets), 2);
    auto* v0 = ptr_entry<neut_facet_vertex>(rep->facet_vertices, 0);
    auto* v1 = ptr_entry<neut_facet_vertex>(rep->facet_vertices, 1);
    auto* v2 = ptr_entry<neut_facet_vertex>(rep->facet_vertices, 2);
    auto* d1 = ptr_entry<neut_facet_vertex_data>(rep->facet_vertex_data, 1);
    auto* f0 = ptr_entry<neut_facet>(rep->facets, 0);
    auto* f1 = ptr_entry<neut_facet>(rep->facets, 1);
    EXPECT_EQ(v2->xyz[0], 2.0);
    EXPECT_EQ(v0->neighbour.ptr, f1);
    EXPECT_EQ(v1->neighbour.ptr, nullptr);
    EXPECT_EQ(v2->neighbour.ptr, nullptr);
    EXPECT_EQ(d1->texture_uv[0], 1.0);
    EXPECT_EQ(d1->normal[2], 1.0);
    EXPECT_EQ(f0->vertices[2].ptr, v2);
    EXPECT_EQ(f0->vertex_data[1].ptr, d1);
    EXPECT_EQ(f0->vertex_data[2].ptr, nullptr);
    EXPECT_EQ(f0->neighbour[0].ptr, f1);
    EXPECT_EQ(f0->neighbour[1].ptr, nullptr);
    EXPECT_EQ(f0->normal[2], 1.0);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(f1->vertices[k].ptr, nullptr);
        EXPECT_EQ(f1->vertex_data[k].ptr, nullptr);
        EXPECT_EQ(f1->neighbour[k].ptr, nullptr);
    }

    // Dimensions.
    ASSERT_EQ(xar_count(part->dimensions), 2);
    const neut_dimension& dim = part->dimensions[1];
    EXPECT_EQ(dim.id, 2);
    EXPECT_EQ(dim.type, 2);
    EXPECT_EQ(dim.dim_type, 3);
    EXPECT_EQ(narrow(dim.name), "d12");
    EXPECT_EQ(dim.value, 12.5);
    EXPECT_EQ(dim.feat_id, 40);
    EXPECT_EQ(dim.tol_plus, 0.1);
    EXPECT_EQ(dim.tol_minus, 0.2);
    EXPECT_EQ(dim.decimals, 3);
    EXPECT_EQ(dim.denominator, 8);
    EXPECT_EQ(dim.nomvalue, 12.0);
    EXPECT_EQ(dim.bound->type, 1);
    EXPECT_EQ(dim.bound->comment, nullptr);
    EXPECT_EQ(dim.fractional + dim.rel_driven + dim.regened_negative, 3);
    EXPECT_EQ(dim.tol_label->type, 5);
    EXPECT_EQ(narrow(dim.tol_label->name), "H7");
    EXPECT_EQ(dim.tol_label->column, 6);
    ASSERT_EQ(xar_count(dim.text), 2);
    EXPECT_EQ(narrow(dim.text[0]), "first");
    EXPECT_EQ(dim.text[1][80], u'x');
    EXPECT_EQ(dim.text_style->height, 3.5);
    EXPECT_EQ(dim.text_style->underline, 1);
    EXPECT_EQ(dim.text_style->justification->type, 4);
    ASSERT_EQ(dim.text_style->color->method, 2);
    EXPECT_EQ(static_cast<neut_color_map*>(dim.text_style->color->value)->blue, 0.125);
    EXPECT_EQ(dim.location->point->xyz[2], 3.0);
    EXPECT_EQ(*dim.location->elbow, 4.5);
    EXPECT_EQ(dim.location->arrow_1->point[2], 9.0);
    EXPECT_EQ(dim.location->arrow_2->type, 0);
    EXPECT_EQ(dim.location->witness_line_2->xyz[0], 3.0);
    EXPECT_EQ(dim.location->z_ext_line_end_2->xyz[0], 5.0);
    EXPECT_EQ(dim.location->normal->xyz[0], 6.0);
    EXPECT_EQ(dim.is_driving, 1);
    EXPECT_EQ(dim.annotation_plane->id, 77);
    ASSERT_EQ(xar_count(dim.attachments), 2);
    EXPECT_EQ(dim.attachments[0].references[1]->model_item->id, 201);
    EXPECT_EQ(dim.attachments[0].references[1]->uv_param->uv[1], 100.0);
    EXPECT_EQ(dim.attachments[0].sense->sense, -1);
    EXPECT_EQ(dim.attachments[0].sense->angle_sense->is_first, 1);
    EXPECT_EQ(dim.attachments[0].sense->orient_hint->type, 3);
    EXPECT_EQ(dim.attachments[1].references[0], nullptr);
    EXPECT_EQ(dim.attachments[1].sense, nullptr);

    // Geometric tolerances (the null slot of the host array is skipped).
    ASSERT_EQ(xar_count(part->geometric_tolerances), 1);
    const neut_gtol* g = part->geometric_tolerances[0];
    EXPECT_EQ(g->id, 21);
    EXPECT_EQ(g->gtol_type, 9);
    EXPECT_EQ(g->ref->type, 2);
    EXPECT_EQ(g->ref->reference->point->xyz[0], 300.0);
    EXPECT_EQ(g->overall->value, 0.05);
    EXPECT_EQ(narrow(g->overall->name), "ov");
    EXPECT_EQ(g->matl_cond->type, 2);
    EXPECT_EQ(g->placement->type, 3);
    EXPECT_EQ(g->placement->dimension->id, 11);
    ASSERT_EQ(xar_count(g->placement->leaders), 1);
    EXPECT_EQ(g->placement->leaders[0]->type, 4);
    EXPECT_EQ(g->placement->leaders[0]->attachment->model_item->type, 400);
    EXPECT_EQ(g->placement->location[1], 2.5);
    EXPECT_EQ(g->placement->gtol->id, 12);
    EXPECT_EQ(g->annotation_plane->id, 13);
    EXPECT_EQ(g->primary_datum_ref->basic_matl_cond->type, 501);
    EXPECT_EQ(g->secondary_datum_ref->compound_datum->model_item->id, 603);
    EXPECT_EQ(g->tertiary_datum_ref->compound_matl_cond->type, 703);
    EXPECT_EQ(g->composite->value, 0.01);
    EXPECT_EQ(g->per_unit->area_or_length, 25.0);
    EXPECT_EQ(g->unit_area_style->type, 6);
    EXPECT_EQ(g->statistic_tolerance + g->diameter + g->free_state + g->all_around +
                  g->tangent_plane,
              4);
    EXPECT_EQ(*g->proj_zone->height, 7.5);
    EXPECT_EQ(g->prof_boundary->outside, 1);

    // Annotation features: a reference and a collection.
    ASSERT_EQ(xar_count(part->annotation_features), 1);
    const neut_annot_feature* feat = part->annotation_features[0];
    EXPECT_EQ(feat->id, 41);
    ASSERT_EQ(xar_count(feat->elements), 1);
    const neut_annot_element* el = feat->elements[0];
    EXPECT_EQ(el->annot_type, 3);
    EXPECT_EQ(el->dependent + el->incomplete + el->copy, 3);
    EXPECT_EQ(el->annotation->id, 60);
    ASSERT_EQ(xar_count(el->references), 2);
    const neut_element_ref* by_ref = el->references[0];
    EXPECT_EQ(narrow(by_ref->description), "edge ref");
    EXPECT_EQ(by_ref->autopropagate + by_ref->strong, 2);
    const auto* reference = static_cast<neut_reference*>(by_ref->object);
    EXPECT_EQ(reference->item->id, 910);
    EXPECT_EQ(reference->original_item->id, 911);
    EXPECT_EQ(reference->selection->point->xyz[0], 920.0);
    EXPECT_EQ(reference->original_selection->model_item->id, 931);
    const auto* coll = static_cast<neut_collection*>(el->references[1]->object);
    EXPECT_EQ(coll->type, 3);
    ASSERT_EQ(xar_count(coll->instructions), 1);
    EXPECT_EQ(coll->instructions[0]->attr->type, 8);
    EXPECT_EQ(coll->instructions[0]->references[0]->type, 1);
    EXPECT_EQ(coll->instructions[0]->references[0]->reference->item->id, 810);

    ASSERT_EQ(xar_count(part->set_datum_tags), 1);
    const neut_datum_tag* tag = part->set_datum_tags[0];
    EXPECT_EQ(tag->id, 51);
    EXPECT_EQ(tag->reference->id, 70);
    EXPECT_EQ(tag->annot_plane->id, 80);
    EXPECT_EQ(tag->attachment->model_item->type, 1000);
    ASSERT_EQ(tag->text_style->color->method, 1);
    const auto* ct = static_cast<neut_color_type*>(tag->text_style->color->value);
    EXPECT_EQ(ct->type, 7);
    EXPECT_EQ(ct->comment, nullptr);

    ASSERT_EQ(xar_count(part->annot_planes), 1);
    const neut_annot_plane* ap = part->annot_planes[0];
    EXPECT_EQ(ap->id, 61);
    EXPECT_EQ(ap->reference->uv_param->uv[0], 1100.0);
    EXPECT_EQ(ap->normal[2], 1.0);
    EXPECT_EQ(ap->orientation[0], 1.0);
    EXPECT_EQ(ap->angle, 0.5);
    EXPECT_EQ(ap->frozen, 1);

    ASSERT_EQ(xar_count(part->notes), 1);
    const neut_note* note = part->notes[0];
    EXPECT_EQ(note->id, 71);
    ASSERT_EQ(xar_count(note->text_lines), 2);
    EXPECT_EQ(narrow(note->text_lines[0].line), "Break all edges");
    EXPECT_EQ(note->text_lines[0].envelope[2][3], 8.0);
    EXPECT_EQ(note->text_lines[1].line, nullptr);
    EXPECT_EQ(narrow(note->url), "http://x/y");
    EXPECT_EQ(note->owner->id, 90);
    EXPECT_EQ(note->leader_style->type, 2);
    EXPECT_EQ(note->elbow->direction[0], 1.0);
    EXPECT_EQ(note->attachment->on_item->model_item->type, 1200);
    ASSERT_EQ(xar_count(note->attachment->endpoints), 1);
    EXPECT_EQ(note->attachment->endpoints[0].leader_type, 2);
    EXPECT_EQ(note->attachment->endpoints[0].attr->type, 5);
    EXPECT_EQ(note->attachment->annotation_plane->id, 100);
    EXPECT_EQ(note->attachment->norm_or_tan_leader->attr->type, 1);
    EXPECT_EQ(note->attachment->norm_or_tan_leader->direction[1], 1.0);
    EXPECT_EQ(note->attachment->text_loc[2], 6.0);
    EXPECT_EQ(note->text_style->color->method, 0);

    ASSERT_NE(part->model_class, nullptr);
    EXPECT_EQ(part->model_class->type, 3);
    EXPECT_EQ(part->model_class->comment, nullptr);
    EXPECT_EQ(part->angular_dim_tolerance, 0.5);
    EXPECT_EQ(part->linear_dim_tolerance, 0.01);

    // Nothing of the extension is shared: the copy and the source go first,
    // then the part, each with all it holds.
    EXPECT_EQ(impfeat_ext_free(&copy), QEL_OK);
    EXPECT_EQ(impfeat_ext_free(&src), QEL_OK);
    EXPECT_EQ(part->notes[0]->attachment->endpoints[0].point->model_item->id, 1301);
    EXPECT_EQ(release_neutral_part(part), 0);
}

TEST(NeutralExtend, ConvertedModelWithExtensionIsWritten) {
    qel_intf_data* root = nullptr;
    ASSERT_EQ(qel_intf_data_alloc(&root), QEL_OK);
    qel_curvedata_type_set(root, QEL_ACCURACY_RELATIVE);
    QelSurfaceshapedata shape;
    std::memset(&shape, 0, sizeof(shape));
    const double e1[3] = {1, 0, 0}, e2[3] = {0, 1, 0}, e3[3] = {0, 0, 1}, o[3] = {0, 0, 0};
    qel_planedata_init(e1, e2, e3, o, &shape);
    QelSurfacedata face{};
    qel_surfacedata_init(QEL_SURF_PLANE, nullptr, nullptr, 1, &shape, 1, &face);
    qel_intf_data_surface_append(root, &face);

    qel_intf_data_extend ext{};
    fill_plain_words(ext);
    // Attribute kind 4 has no symbol member; keep the written one clean.
    for (int i = 0; i < har_total(ext.attributes); ++i) {
        auto* a = static_cast<QelGenAttribdata*>(har_access(ext.attributes, i, nullptr, nullptr));
        if (a->value_kind == 4)
            a->value_kind = 1;
    }
    annot_fixtures::fill_annotations(ext);

    neut_part* part = nullptr;
    ASSERT_EQ(cnv_qlk_neut(root, &part, 0), QEL_OK);
    ASSERT_EQ(ConvertQelImpfeatExtend(part, &ext), 0);
    const std::string path = testing::TempDir() + "convert_" + std::to_string(::getpid()) + ".neu";
    std::remove(path.c_str());
    EXPECT_EQ(stream_neutral_to_pfa(btkStrUtf8ToUtf16(path).c_str(), part), 1);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 0, SEEK_END);
    EXPECT_GT(std::ftell(f), 0);
    std::fclose(f);
    std::remove(path.c_str());
    // After writing, the faceted representation is whole again.
    const neut_faceted_rep* rep = part->faceted_reps[0];
    EXPECT_EQ(ptr_entry<neut_facet>(rep->facets, 0)->vertices[0].ptr,
              ptr_entry<neut_facet_vertex>(rep->facet_vertices, 0));

    EXPECT_EQ(release_neutral_part(part), 0);
    EXPECT_EQ(impfeat_ext_free(&ext), QEL_OK);
    qel_intf_data_free(root);
}

TEST(NeutralExtend, ElementColoursWithoutReferenceColoursAreSkipped) {
    // Everything but the element colours is converted, and -1 tells that
    // they were left out.
    qel_intf_data_extend src{}, ext{};
    fill_plain_words(src);
    annot_fixtures::fill_annotations(src);
    xar_free(src.ref_colors);
    src.ref_colors = nullptr;
    ASSERT_EQ(qel_intf_data_extend_copy(&src, &ext), QEL_OK);
    auto* part = static_cast<neut_part*>(getmem(sizeof(neut_part)));
    EXPECT_EQ(ConvertQelImpfeatExtend(part, &ext), -1);
    EXPECT_EQ(xar_count(part->layers), 1);
    EXPECT_EQ(part->colors, nullptr);
    EXPECT_EQ(xar_count(part->attributes), 5);
    EXPECT_EQ(xar_count(part->units), 2);
    EXPECT_EQ(xar_count(part->item_names), 1);
    EXPECT_EQ(xar_count(part->faceted_reps), 1);
    EXPECT_EQ(xar_count(part->dimensions), xar_count(src.dimensions));
    EXPECT_GT(xar_count(part->geometric_tolerances), 0);
    EXPECT_GT(xar_count(part->notes), 0);
    EXPECT_NE(part->model_class, nullptr);
    EXPECT_EQ(part->angular_dim_tolerance, src.angular_dim_tolerance);
    EXPECT_EQ(release_neutral_part(part), 0);

    // A malformed word met as well keeps its own status.
    part = static_cast<neut_part*>(getmem(sizeof(neut_part)));
    QelUnitdata* units = ext.units;
    ext.units = reinterpret_cast<QelUnitdata*>(xar_of<int32_t>({1, 2}));
    EXPECT_EQ(ConvertQelImpfeatExtend(part, &ext), -2);
    EXPECT_EQ(part->units, nullptr);
    EXPECT_EQ(xar_count(part->item_names), 1);
    xar_free(ext.units);
    ext.units = units;
    EXPECT_EQ(release_neutral_part(part), 0);
    EXPECT_EQ(impfeat_ext_free(&ext), QEL_OK);
    EXPECT_EQ(impfeat_ext_free(&src), QEL_OK);
}

TEST(NeutralExtend, WhatTheConversionLeftOutIsToldOnce) {
    NeutralMessages seen;
    for (int status : {0, -1, -2, -10, -7})
        ReportQelImpfeatExtendStatus("caller", status);
    EXPECT_EQ(seen.lines, (std::vector<std::string>{
                              "caller: Element colours without reference colours were left out",
                              "caller: Extension data of another layout was left out",
                              "caller: Out of memory: extension data was left out",
                              "caller: Extension data was converted in part, status -7"}));
}

TEST(NeutralExtend, WhatAPartCannotCarryIsToldOncePerKindAndLayerIdsAreKept) {
    qel_intf_data_extend ext{};
    fill_plain_words(ext);
    // 31 two-byte characters fit the host's name, not the neutral 31 bytes.
    std::u16string wide(31, u'\u00e9');
    std::memcpy(ext.ref_colors[0].decal.name, wide.c_str(), sizeof(char16_t) * 32);
    auto* part = static_cast<neut_part*>(getmem(sizeof(neut_part)));
    NeutralMessages told;
    EXPECT_EQ(ConvertQelImpfeatExtend(part, &ext), 0);
    EXPECT_EQ(told.lines,
              (std::vector<std::string>{
                  "ConvertQelImpfeatExtend: layer \"\" has no items and was left out; 1 more like it",
                  "ConvertQelImpfeatExtend: texture name \"" + btkStrUtf16ToUtf8(wide) +
                      "\" of reference colour 0 is longer than the 31 bytes of a neutral texture "
                      "name and was cut; 1 more like it",
                  "ConvertQelImpfeatExtend: attribute \"e\" of value kind 4 has a value of a kind "
                  "a neutral part cannot carry; written without it",
                  "ConvertQelImpfeatExtend: vertex 2 of faceted representation 3 (index 9) refers "
                  "to an element outside the representation's arrays; written as none",
                  "ConvertQelImpfeatExtend: extended edge 0 has no place in a neutral part and "
                  "was left out",
                  "ConvertQelImpfeatExtend: solid region 0 has no place in a neutral part and was "
                  "left out"}));
    ASSERT_EQ(xar_count(part->layers), 1);
    EXPECT_EQ(part->layers[0]->id, 5);
    EXPECT_EQ(release_neutral_part(part), 0);
    EXPECT_EQ(impfeat_ext_free(&ext), QEL_OK);
}

TEST(NeutralExtend, ArgumentsAndWordsOfAnotherLayout) {
    qel_intf_data_extend ext{};
    auto* part = static_cast<neut_part*>(getmem(sizeof(neut_part)));
    EXPECT_EQ(ConvertQelImpfeatExtend(nullptr, &ext), -2);
    EXPECT_EQ(ConvertQelImpfeatExtend(part, nullptr), -2);
    const neut_part zero{};
    EXPECT_EQ(std::memcmp(part, &zero, sizeof(zero)), 0);

    // A word that holds other elements is skipped; the rest is converted.
    ext.units = xar_of({QelUnitdata{2, {u'c', u'm'}, 0}});
    ext.gtols = xar_of<int32_t>({1, 2});
    ext.linear_dim_tolerance = 0.2;
    EXPECT_EQ(ConvertQelImpfeatExtend(part, &ext), -2);
    EXPECT_EQ(part->geometric_tolerances, nullptr);
    EXPECT_EQ(xar_count(part->units), 1);
    EXPECT_EQ(part->linear_dim_tolerance, 0.2);
    EXPECT_EQ(release_neutral_part(part), 0);
    EXPECT_EQ(impfeat_ext_free(&ext), QEL_ERR_BAD_ARG); // the foreign word stays
    xar_free(&ext.gtols);
}

} // namespace
