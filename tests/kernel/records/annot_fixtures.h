// Builders of the annotation records of an extension (words 10 to 16) with
// every owned field filled, for the copy, release and conversion tests.
#pragma once

#include "btkstring.h"
#include "xmemory.h"
#include "api/qel_records.h"

#include <cstring>
#include <initializer_list>

namespace annot_fixtures {

template <class T> T* rec() { return static_cast<T*>(getmem(sizeof(T))); }

inline QelAnnotTyped* typed(int32_t type) {
    auto* t = rec<QelAnnotTyped>();
    t->type = type;
    return t;
}

inline QelAnnotItemRef* item(int32_t type, int32_t id) {
    auto* r = rec<QelAnnotItemRef>();
    r->type = type;
    r->id = id;
    return r;
}

inline QelAnnotPoint* point(double x) {
    auto* p = rec<QelAnnotPoint>();
    p->xyz[0] = x;
    p->xyz[1] = x + 1;
    p->xyz[2] = x + 2;
    return p;
}

inline char16_t* wtext(const char16_t* s) {
    const int n = wslen(s) + 1;
    auto* t = static_cast<char16_t*>(getmem(sizeof(char16_t) * size_t(n)));
    std::memcpy(t, s, sizeof(char16_t) * size_t(n));
    return t;
}

template <class T> T* xar_with(std::initializer_list<T> values) {
    void* a = xar_alloc(0, int(sizeof(T)), 2);
    xar_append(&a, int(values.size()), values.begin());
    return static_cast<T*>(a);
}

// A selection whose ids start at `base`: item (base, base + 1), UV
// (base, base / 2), point from base.
inline QelAnnotSelection* selection(int32_t base) {
    auto* s = rec<QelAnnotSelection>();
    s->model_item = item(base, base + 1);
    s->uv_param = rec<QelAnnotUvParam>();
    s->uv_param->uv[0] = base;
    s->uv_param->uv[1] = base / 2.0;
    s->point = point(base);
    return s;
}

inline QelAnnotTextStyle* text_style(int method) {
    auto* t = rec<QelAnnotTextStyle>();
    t->height = 3.5;
    t->width = 2.5;
    t->angle = 0.25;
    t->slant_angle = 0.1;
    t->thickness = 0.05;
    t->underline = 1;
    t->mirror = 0;
    t->justification = typed(4);
    t->color = rec<QelAnnotColor>();
    t->color->method = method;
    t->color->color_type = typed(7);
    t->color->color_map = rec<QelAnnotColorMap>();
    t->color->color_map->red = 0.5;
    t->color->color_map->green = 0.25;
    t->color->color_map->blue = 0.125;
    return t;
}

inline QelAnnotReference* reference(int32_t base) {
    auto* r = rec<QelAnnotReference>();
    r->item = item(base, base + 10);
    r->selection = selection(base + 20);
    r->original_item = item(base + 1, base + 11);
    r->original_selection = selection(base + 30);
    return r;
}

inline QelAnnotDimension dimension(int32_t id) {
    QelAnnotDimension d{};
    d.id = id;
    d.type = 2;
    d.dim_type = 3;
    std::memcpy(d.name, u"d12", sizeof(u"d12"));
    d.value = 12.5;
    d.feat_id = 40;
    d.tol_plus = 0.1;
    d.tol_minus = 0.2;
    d.decimals = 3;
    d.denominator = 8;
    d.nomvalue = 12.0;
    d.bound = typed(1);
    d.fractional = 1;
    d.rel_driven = 1;
    d.regened_negative = 1;
    d.tol_label = rec<QelAnnotTolLabel>();
    d.tol_label->type = 5;
    std::memcpy(d.tol_label->name, u"H7", sizeof(u"H7"));
    d.tol_label->column = 6;
    QelAnnotDimText line1{}, line2{};
    std::memcpy(line1.text, u"first", sizeof(u"first"));
    for (int i = 0; i < QEL_ATTRIB_TEXT_LEN; ++i)
        line2.text[i] = u'x'; // a full line: no terminator in the field
    d.text = xar_with({line1, line2});
    d.text_style = text_style(2);
    d.location = rec<QelAnnotLocation>();
    d.location->point = point(1);
    d.location->elbow = rec<double>();
    *d.location->elbow = 4.5;
    d.location->arrow_1 = rec<QelAnnotArrow>();
    d.location->arrow_1->type = 1;
    d.location->arrow_1->point[2] = 9;
    d.location->arrow_2 = rec<QelAnnotArrow>();
    d.location->witness_line_1 = point(2);
    d.location->witness_line_2 = point(3);
    d.location->z_ext_line_end_1 = point(4);
    d.location->z_ext_line_end_2 = point(5);
    d.location->normal = point(6);
    d.is_driving = 1;
    d.annotation_plane = item(14, 77);
    QelAnnotDimAttachment a{};
    a.references[0] = selection(100);
    a.references[1] = selection(200);
    a.sense = rec<QelAnnotSense>();
    a.sense->type = 2;
    a.sense->sense = -1;
    a.sense->angle_sense = rec<QelAnnotAngleSense>();
    a.sense->angle_sense->is_first = 1;
    a.sense->angle_sense->should_flip = 1;
    a.sense->orient_hint = typed(3);
    QelAnnotDimAttachment bare{}; // every pointer null
    d.attachments = xar_with({a, bare});
    return d;
}

inline QelAnnotDatumRef* datum_ref(int32_t base) {
    auto* r = rec<QelAnnotDatumRef>();
    r->basic_datum = selection(base);
    r->basic_matl_cond = typed(base + 1);
    r->compound_datum = selection(base + 2);
    r->compound_matl_cond = typed(base + 3);
    return r;
}

inline QelAnnotGtol* gtol(int32_t id) {
    auto* g = rec<QelAnnotGtol>();
    g->id = id;
    g->type = 1;
    g->gtol_type = 9;
    g->ref = rec<QelAnnotGtolRef>();
    g->ref->type = 2;
    g->ref->reference = selection(300);
    g->overall = rec<QelAnnotOverall>();
    g->overall->value = 0.05;
    std::memcpy(g->overall->name, u"ov", sizeof(u"ov"));
    g->matl_cond = typed(2);
    g->placement = rec<QelAnnotPlacement>();
    g->placement->type = 3;
    g->placement->dimension = item(1, 11);
    auto* leader = rec<QelAnnotLeader>();
    leader->type = 4;
    leader->attachment = selection(400);
    g->placement->leaders = xar_with<QelAnnotLeader*>({leader, nullptr});
    g->placement->location[1] = 2.5;
    g->placement->gtol = item(2, 12);
    g->annotation_plane = item(3, 13);
    g->primary_datum_ref = datum_ref(500);
    g->secondary_datum_ref = datum_ref(600);
    g->tertiary_datum_ref = datum_ref(700);
    g->composite = rec<QelAnnotComposite>();
    g->composite->type = 1;
    g->composite->value = 0.01;
    g->per_unit = rec<QelAnnotPerUnit>();
    g->per_unit->value = 0.2;
    g->per_unit->area_or_length = 25;
    g->unit_area_style = typed(6);
    g->statistic_tolerance = 1;
    g->diameter = 1;
    g->free_state = 0;
    g->all_around = 1;
    g->tangent_plane = 1;
    g->proj_zone = rec<QelAnnotProjZone>();
    g->proj_zone->type = 1;
    g->proj_zone->height = rec<double>();
    *g->proj_zone->height = 7.5;
    g->prof_boundary = rec<QelAnnotProfBoundary>();
    g->prof_boundary->type = 2;
    g->prof_boundary->outside = 1;
    return g;
}

inline QelAnnotFeature* feature(int32_t id) {
    auto* coll_ref = rec<QelAnnotCollRef>();
    coll_ref->type = 1;
    coll_ref->reference = reference(800);
    auto* instr = rec<QelAnnotInstruction>();
    instr->type = 2;
    instr->attr = typed(8);
    instr->references = xar_with<QelAnnotCollRef*>({coll_ref});
    auto* coll = rec<QelAnnotCollection>();
    coll->type = 3;
    coll->instructions = xar_with<QelAnnotInstruction*>({instr});

    auto* by_ref = rec<QelAnnotElemRef>();
    by_ref->type = 0;
    by_ref->reference = reference(900);
    std::memcpy(by_ref->description, u"edge ref", sizeof(u"edge ref"));
    by_ref->autopropagate = 1;
    by_ref->strong = 1;
    auto* by_coll = rec<QelAnnotElemRef>();
    by_coll->type = 1;
    by_coll->collection = coll;

    auto* el = rec<QelAnnotElement>();
    el->id = 31;
    el->type = 2;
    el->annot_type = 3;
    el->dependent = 1;
    el->incomplete = 1;
    el->copy = 1;
    el->annotation = item(6, 60);
    el->references = xar_with<QelAnnotElemRef*>({by_ref, by_coll});

    auto* f = rec<QelAnnotFeature>();
    f->id = id;
    f->type = 5;
    f->elements = xar_with<QelAnnotElement*>({el});
    return f;
}

inline QelAnnotDatumTag* datum_tag(int32_t id) {
    auto* t = rec<QelAnnotDatumTag>();
    t->id = id;
    t->type = 2;
    t->reference = item(7, 70);
    t->annot_plane = item(8, 80);
    t->attachment = selection(1000);
    t->text_style = text_style(1);
    return t;
}

inline QelAnnotPlane* annot_plane(int32_t id) {
    auto* p = rec<QelAnnotPlane>();
    p->id = id;
    p->type = 1;
    p->reference = selection(1100);
    p->normal[2] = 1;
    p->orientation[0] = 1;
    p->angle = 0.5;
    p->frozen = 1;
    return p;
}

inline QelAnnotNote* note(int32_t id) {
    auto* n = rec<QelAnnotNote>();
    n->id = id;
    n->type = 4;
    QelAnnotTextLine l1{}, l2{};
    l1.line = wtext(u"Break all edges");
    l1.envelope[2][3] = 8;
    l2.line = nullptr; // an empty line
    n->text_lines = xar_with({l1, l2});
    n->url = wtext(u"http://x/y");
    n->owner = item(9, 90);
    n->leader_style = typed(2);
    n->elbow = rec<QelAnnotElbow>();
    n->elbow->length = 3;
    n->elbow->direction[0] = 1;
    n->attachment = rec<QelAnnotNoteAttachment>();
    n->attachment->on_item = selection(1200);
    QelAnnotEndpoint e{};
    e.leader_type = 2;
    e.point = selection(1300);
    e.attr = typed(5);
    n->attachment->endpoints = xar_with({e});
    n->attachment->annotation_plane = item(10, 100);
    n->attachment->norm_or_tan_leader = rec<QelAnnotNormTanLeader>();
    n->attachment->norm_or_tan_leader->attr = typed(1);
    n->attachment->norm_or_tan_leader->length = 2;
    n->attachment->norm_or_tan_leader->direction[1] = 1;
    n->attachment->text_loc[2] = 6;
    n->text_style = text_style(0);
    return n;
}

// Fills words 10 to 18 of `e` (which must hold none yet).
inline void fill_annotations(qel_intf_data_extend& e) {
    e.dimensions = xar_with({dimension(1), dimension(2)});
    e.gtols = xar_with<QelAnnotGtol*>({gtol(21), nullptr});
    e.annot_features = xar_with<QelAnnotFeature*>({feature(41)});
    e.datum_tags = xar_with<QelAnnotDatumTag*>({datum_tag(51)});
    e.annot_planes = xar_with<QelAnnotPlane*>({annot_plane(61)});
    e.notes = xar_with<QelAnnotNote*>({note(71)});
    auto* mc = rec<QelAnnotModelClass>();
    mc->type = 3;
    e.model_class = mc;
    e.angular_dim_tolerance = 0.5;
    e.linear_dim_tolerance = 0.01;
}

} // namespace annot_fixtures
