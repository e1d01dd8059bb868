// Builders of small neutral parts for the schema and writer tests: every
// record, text and array comes from getmem and the xar/har functions, as
// the converters make them, so release_neutral_part can free them.
#pragma once

#include "xmemory.h"
#include "neutral/neutral_records.h"

#include <cstring>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

namespace ntest {

template <class T> T* make() { return static_cast<T*>(getmem(sizeof(T))); }

inline char16_t* wdup(const char16_t* s) {
    size_t n = 0;
    while (s[n])
        ++n;
    auto* p = static_cast<char16_t*>(getmem((n + 1) * sizeof(char16_t)));
    std::memcpy(p, s, n * sizeof(char16_t));
    return p;
}

inline char* dup(const char* s) {
    size_t n = std::strlen(s);
    auto* p = static_cast<char*>(getmem(n + 1));
    std::memcpy(p, s, n);
    return p;
}

template <class T> T* values(std::initializer_list<T> v) {
    void* arr = nullptr;
    xar_alloc_or_append(&arr, int(sizeof(T)), 4, int(v.size()), v.begin());
    return static_cast<T*>(arr);
}

// Appends a pointer to an xar of pointers.
template <class T> void push(T**& arr, T* item) { xar_alloc_or_append(arr, int(sizeof(T*)), 2, 1, &item); }
// Appends a record by value to an xar of records.
template <class T> void push_value(T*& arr, const T& item) {
    xar_alloc_or_append(arr, int(sizeof(T)), 2, 1, &item);
}
// Appends a record (or pointer) by value to a har.
template <class T> void har_push(neut_har& har, int chunk, const T& item) {
    if (!har)
        har = har_alloc(int(sizeof(T)), chunk);
    har_append(&har, &item);
}

inline void set3(double* d, double a, double b, double c) {
    d[0] = a;
    d[1] = b;
    d[2] = c;
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A unit plane face bounded by one loop of four edges, one line edge whose
// curve type is left for the writer to set, with a UV point curve.
inline neut_part* small_part() {
    auto* part = make<neut_part>();
    part->revnum = 3;
    part->accuracy = 0.001;
    part->accuracy_is_relative = 1;
    set3(part->outline[0], 0, 0, 0);
    set3(part->outline[1], 1, 1, 0.5);
    part->angular_dim_tolerance = -1;
    part->linear_dim_tolerance = -1;

    neut_surface s{};
    s.id = 7;
    s.uv_max[0] = 1;
    s.uv_max[1] = 1;
    set3(s.xyz_max, 1, 1, 0);
    s.orient = -1;
    push_value(s.loops, neut_loop{values<int32_t>({1, 2, 3, 4})});
    s.surface_type = NEUT_SURF_PLANE;
    auto* plane = make<neut_plane>();
    set3(plane->e1, 1, 0, 0);
    set3(plane->e2, 0, 1, 0);
    set3(plane->e3, 0, 0, 1);
    s.surface = plane;
    har_push(part->surfaces, 10, s);

    neut_edge e{};
    e.id = 1;
    e.surface_ids[0] = 7;
    e.surface_ids[1] = 8;
    e.direction[0] = 1;
    e.direction[1] = -1;
    e.curve_type = NEUT_CURVE_LINE;
    auto* line = make<neut_line>(); // type left 0: the writer sets it
    set3(line->end2, 1, 0, 0);
    e.curve = reinterpret_cast<neut_curve*>(line);
    auto* uv = make<neut_uv_curve>();
    uv->curve_type = NEUT_CURVE_POINT;
    auto* pt = make<neut_point>();
    set3(pt->xyz, 0.25, 0.5, 0);
    uv->curve = reinterpret_cast<neut_curve*>(pt);
    uv->flip = 1;
    e.uv_curves[0] = uv;
    har_push(part->edges, 10, e);

    auto* attr = make<neut_attribute>();
    attr->name = wdup(u"Mat\u00e9rial");
    attr->value.type = NEUT_SYM_INT;
    attr->value.value.i_val = 42;
    attr->ref_id = 7;
    attr->ref_type = 1;
    push(part->attributes, attr);

    part->model_class = make<neut_typed>();
    part->model_class->type = 5;
    return part;
}

inline neut_curve* spline_curve(int n) {
    auto* sp = make<neut_spline>();
    sp->type = NEUT_CURVE_SPLINE;
    for (int i = 0; i < n; ++i) {
        double p[3] = {double(i), 0, 0};
        double t[3] = {1, 0, 0};
        double u = i;
        xar_alloc_or_append(sp->params, 8, 4, 1, &u);
        xar_alloc_or_append(sp->points, 24, 4, 1, p);
        xar_alloc_or_append(sp->tangents, 24, 4, 1, t);
    }
    return reinterpret_cast<neut_curve*>(sp);
}

inline neut_curve* bspline_curve() {
    auto* b = make<neut_bspline>();
    b->type = NEUT_CURVE_BSPLINE;
    b->degree = 2;
    b->params = values<double>({0, 0, 0, 1, 1, 1});
    b->weights = values<double>({1, 0.5, 1});
    b->c_pnts = values<double>({0, 0, 0, 1, 1, 0, 2, 0, 0});
    return reinterpret_cast<neut_curve*>(b);
}

inline neut_spl_srf spl_srf_data() {
    neut_spl_srf s{};
    s.u_params = values<double>({0, 1});
    s.v_params = values<double>({0, 1});
    s.points = values<double>({0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0});
    s.u_tangents = values<double>({1, 0, 0});
    s.v_tangents = values<double>({0, 1, 0});
    s.uv_derivs = values<double>({0, 0, 0});
    return s;
}

inline neut_selection* selection() {
    auto* s = make<neut_selection>();
    s->model_item = make<neut_item_ref>();
    s->model_item->id = 9;
    s->uv_param = make<neut_uv_param>();
    s->point = make<neut_xyz>();
    return s;
}

inline neut_typed* typed(int32_t type, const char* comment = nullptr) {
    auto* t = make<neut_typed>();
    t->type = type;
    t->comment = comment ? dup(comment) : nullptr;
    return t;
}

inline neut_text_style* text_style(int32_t method) {
    auto* ts = make<neut_text_style>();
    ts->height = 2.5;
    ts->justification = typed(1, "left");
    ts->color = make<neut_text_color>();
    ts->color->method = method;
    if (method == 2) {
        auto* map = make<neut_color_map>();
        map->red = 1;
        ts->color->value = map;
    } else {
        auto* ct = make<neut_color_type>();
        ct->type = 4;
        ct->comment = dup("red");
        ts->color->value = ct;
    }
    return ts;
}

inline neut_faceted_rep* facet_rep() {
    auto* rep = make<neut_faceted_rep>();
    rep->id = 5;
    neut_facet_vertex* v[3];
    for (int i = 0; i < 3; ++i) {
        v[i] = make<neut_facet_vertex>();
        set3(v[i]->xyz, i, i * 2, 0);
        har_push(rep->facet_vertices, NEUT_FACET_CHUNK, v[i]);
    }
    auto* d = make<neut_facet_vertex_data>();
    set3(d->normal, 0, 0, 1);
    d->texture_uv[0] = 0.5;
    har_push(rep->facet_vertex_data, NEUT_FACET_CHUNK, d);
    neut_facet* f[2];
    for (int i = 0; i < 2; ++i) {
        f[i] = make<neut_facet>();
        for (int k = 0; k < 3; ++k)
            f[i]->vertices[k].ptr = v[k];
        f[i]->vertex_data[0].ptr = d;
        set3(f[i]->normal, 0, 0, 1);
        har_push(rep->facets, NEUT_FACET_CHUNK, f[i]);
    }
    f[0]->neighbour[2].ptr = f[1];
    f[1]->neighbour[0].ptr = f[0];
    v[1]->neighbour.ptr = f[1]; // v[0] and v[2] have none
    set3(rep->outline[1], 2, 4, 0);
    return rep;
}

// A part with a record of every kind the table describes, every array and
// pointer filled, including a large B-spline surface (type 49) and a
// surface shared by two quilts.
inline neut_part* rich_part() {
    neut_part* part = small_part();
    part->neut_format = values<neut_format_attr>({{1404}});
    part->mass_props = make<neut_mass_props>();
    part->mass_props->volume = 2;
    part->time_stamp = make<qel_time>();
    part->time_stamp->tm_year = 124;

    auto shape_surface = [&](int32_t type, void* shape) {
        neut_surface s{};
        s.id = 100 + type;
        s.orient = 1;
        s.surface_type = type;
        s.surface = shape;
        push_value(s.loops, neut_loop{values<int32_t>({1})});
        push_value(s.loops, neut_loop{nullptr});
        har_push(part->surfaces, 10, s);
    };
    auto* cyl = make<neut_cylinder>();
    cyl->radius = 2;
    shape_surface(NEUT_SURF_CYLINDER, cyl);
    shape_surface(NEUT_SURF_CONE, make<neut_cone>());
    shape_surface(NEUT_SURF_TORUS, make<neut_torus>());
    auto* rev = make<neut_srf_rev>();
    rev->curve_type = NEUT_CURVE_SPLINE;
    rev->C = spline_curve(3);
    shape_surface(NEUT_SURF_SRF_REV, rev);
    auto* tab = make<neut_tab_cyl>();
    tab->curve_type = NEUT_CURVE_ARC;
    tab->C = reinterpret_cast<neut_curve*>(make<neut_arc>());
    shape_surface(NEUT_SURF_TAB_CYL, tab);
    auto* rul = make<neut_rul_srf>();
    rul->curve_type1 = NEUT_CURVE_BSPLINE;
    rul->C1 = bspline_curve();
    rul->curve_type2 = NEUT_CURVE_ELLIPSE;
    rul->C2 = reinterpret_cast<neut_curve*>(make<neut_ellipse>());
    shape_surface(NEUT_SURF_RUL_SRF, rul);
    auto* spl = make<neut_spl_srf>();
    *spl = spl_srf_data();
    shape_surface(NEUT_SURF_SPL_SRF, spl);
    auto* bs = make<neut_bspl_srf>();
    bs->degree[0] = 1;
    bs->degree[1] = 1;
    bs->u_params = values<double>({0, 1});
    bs->v_params = values<double>({0, 1});
    bs->c_pnts = values<double>({0, 0, 0, 1, 1, 1});
    shape_surface(NEUT_SURF_BSPL_SRF, bs);
    auto* fil = make<neut_fillet_srf>();
    fil->pnt_spline = reinterpret_cast<neut_spline*>(spline_curve(2));
    fil->ctr_spline = reinterpret_cast<neut_spline*>(spline_curve(2));
    fil->tan_spline = reinterpret_cast<neut_spline*>(spline_curve(2));
    shape_surface(NEUT_SURF_FILLET_SRF, fil);
    auto* cs = make<neut_cyl_splsrf>();
    cs->splsrf = spl_srf_data();
    shape_surface(NEUT_SURF_CYL_SPLSRF, cs);
    auto* large = make<neut_bspl_srf_large>();
    large->u_params = values<double>({0, 1});
    for (int i = 0; i < 6; ++i)
        har_push(large->c_pnts, 10, double(i));
    har_push(large->weights, 10, 1.0);
    shape_surface(NEUT_SURF_BSPL_SRF_LARGE, large);

    auto quilt_surface = [] {
        auto* s = make<neut_surface>();
        s->surface_type = NEUT_SURF_PLANE;
        s->surface = make<neut_plane>();
        return s;
    };
    auto* q1 = make<neut_quilt>();
    q1->id = 1;
    neut_surface* shared = quilt_surface();
    push(q1->surfaces, shared);
    push(q1->surfaces, quilt_surface());
    auto* q2 = make<neut_quilt>();
    q2->id = 2;
    push(q2->surfaces, shared);
    push(part->quilts, q1);
    push(part->quilts, q2);
    push(part->quilts, static_cast<neut_quilt*>(nullptr));

    auto* simple = make<neut_uv_curve>();
    simple->curve_type = NEUT_CURVE_BSPLINE;
    simple->curve = bspline_curve();
    auto* dc1 = make<neut_datum_curve>();
    dc1->id = 11;
    dc1->name = wdup(u"DTM_CRV");
    dc1->curve = simple;
    auto* comp = make<neut_composite_curve>();
    neut_uv_curve c1{-1, NEUT_CURVE_LINE, reinterpret_cast<neut_curve*>(make<neut_line>()), 1};
    neut_uv_curve c2{-1, NEUT_CURVE_SPLINE, spline_curve(2), -1};
    push_value(comp->components, c1);
    push_value(comp->components, c2);
    auto* dc2 = make<neut_datum_curve>();
    dc2->id = 12;
    dc2->is_composite = 1;
    dc2->curve = comp;
    push(part->datum_curves, dc1);
    push(part->datum_curves, dc2);

    auto* dp = make<neut_datum_plane>();
    dp->name = wdup(u"DTM1");
    dp->plane = make<neut_plane>();
    push(part->datum_planes, dp);
    auto* csys = make<neut_csys>();
    csys->name = wdup(u"CS0");
    push(part->coord_systems, csys);

    auto* sattr = make<neut_attribute>();
    sattr->name = wdup(u"note");
    sattr->value.type = NEUT_SYM_STRING;
    std::memcpy(sattr->value.value.s_val, u"hello", 6 * sizeof(char16_t));
    sattr->ref_name = wdup(u"ref");
    push(part->attributes, sattr);

    auto* layer = make<neut_layer>();
    layer->db_type = 641;
    layer->name = wdup(u"LAYER1");
    layer->ids = values<int32_t>({1, 7});
    push(part->layers, layer);

    neut_unit unit{};
    unit.factor = 25.4;
    std::memcpy(unit.name, u"inch", 5 * sizeof(char16_t));
    push_value(part->units, unit);
    auto* iname = make<neut_item_name>();
    std::memcpy(iname->name, u"FACE7", 6 * sizeof(char16_t));
    push(part->item_names, iname);
    auto* view = make<neut_view>();
    view->name = wdup(u"FRONT");
    push(part->views, view);
    auto* xsec = make<neut_xsec>();
    xsec->plane = make<neut_plane>();
    push(part->xsecs, xsec);

    part->colors = make<neut_colors>();
    part->colors->color_rgb = values<double>({1, 0, 0});
    neut_color col{};
    set3(col.color_rgb, 0.5, 0.5, 0.5);
    col.bump = make<neut_texture>();
    std::strcpy(col.bump->name, "bumpy");
    std::strcpy(col.bump->path, "/maps/bumpy.png");
    push_value(part->colors->color_tab, col);
    neut_element_color ec{};
    ec.element_id = 7;
    ec.surf_pl[0].surfprop_ptr = make<neut_surfprop>();
    neut_texplace_ref tref{make<neut_texplace_data>()};
    tref.neut_texplace->scale[0] = 1;
    push_value(ec.surf_pl[0].surfprop_ptr->pp_texplaces, tref);
    push_value(part->colors->element_colors, ec);

    push(part->faceted_reps, facet_rep());

    neut_feature feat{};
    feat.id = 3;
    feat.type_name = dup("PROTRUSION");
    feat.user_name = wdup(u"Extrude 1");
    feat.surface_ids = values<int32_t>({7});
    push_value(part->features, feat);

    neut_dimension dim{};
    dim.id = 1;
    dim.name = wdup(u"d1");
    dim.bound = typed(2, "upper");
    dim.tol_label = make<neut_tol_label>();
    dim.text = nullptr;
    char16_t line[81] = u"@D";
    xar_alloc_or_append(dim.text, int(sizeof line), 2, 1, line);
    dim.text_style = text_style(2);
    dim.location = make<neut_dim_location>();
    dim.location->point = make<neut_xyz>();
    dim.location->elbow = static_cast<double*>(getmem(sizeof(double)));
    dim.location->arrow_1 = make<neut_arrow>();
    dim.annotation_plane = make<neut_item_ref>();
    neut_dim_attachment att{};
    att.references[0] = selection();
    att.sense = make<neut_dim_sense>();
    att.sense->angle_sense = make<neut_angle_sense>();
    att.sense->orient_hint = typed(1);
    push_value(dim.attachments, att);
    push_value(part->dimensions, dim);

    neut_geom_tol old{};
    old.tol_class = dup("FORM");
    old.matl_cond = dup("MMC");
    push_value(old.datum_refs, neut_geom_tol_datum{wdup(u"A"), dup("PRIMARY"), 1});
    push_value(part->geometric_tolerance, old);

    auto* g = make<neut_gtol>();
    g->id = 4;
    g->comment = dup("gtol four");
    g->ref = make<neut_gtol_ref>();
    g->ref->reference = selection();
    g->overall = make<neut_gtol_overall>();
    g->matl_cond = typed(1, "MMC");
    g->placement = make<neut_gtol_placement>();
    g->placement->comment = dup("placed");
    auto* leader = make<neut_gtol_leader>();
    leader->attachment = selection();
    push(g->placement->leaders, leader);
    g->placement->dimension = make<neut_item_ref>();
    g->primary_datum_ref = make<neut_gtol_datum_ref>();
    g->primary_datum_ref->basic_datum = selection();
    g->primary_datum_ref->basic_matl_cond = typed(0);
    g->composite = make<neut_gtol_composite>();
    g->per_unit = make<neut_gtol_per_unit>();
    g->unit_area_style = typed(0);
    g->proj_zone = make<neut_gtol_proj_zone>();
    g->proj_zone->height = static_cast<double*>(getmem(sizeof(double)));
    g->prof_boundary = make<neut_gtol_prof_boundary>();
    push(part->geometric_tolerances, g);

    auto* af = make<neut_annot_feature>();
    auto* el = make<neut_annot_element>();
    el->comment = dup("element");
    el->annotation = make<neut_item_ref>();
    auto* r1 = make<neut_element_ref>();
    auto* ref = make<neut_reference>();
    ref->comment = dup("by reference"); // written by the union field's hook
    ref->item = make<neut_item_ref>();
    ref->selection = selection();
    r1->object = ref;
    r1->description = wdup(u"first");
    auto* r2 = make<neut_element_ref>();
    r2->type = 1;
    auto* coll = make<neut_collection>();
    auto* ins = make<neut_instruction>();
    ins->attr = typed(3);
    auto* cref = make<neut_collection_ref>();
    cref->reference = make<neut_reference>();
    cref->reference->original_selection = selection();
    push(ins->references, cref);
    push(coll->instructions, ins);
    r2->object = coll;
    push(el->references, r1);
    push(el->references, r2);
    push(af->elements, el);
    push(part->annotation_features, af);

    auto* tag = make<neut_datum_tag>();
    tag->reference = make<neut_item_ref>();
    tag->attachment = selection();
    tag->text_style = text_style(0);
    push(part->set_datum_tags, tag);
    auto* ap = make<neut_annot_plane>();
    ap->reference = selection();
    push(part->annot_planes, ap);

    auto* note = make<neut_note>();
    push_value(note->text_lines, neut_text_line{wdup(u"NOTE TEXT"), {}});
    note->url = wdup(u"http://example.invalid/");
    note->owner = make<neut_item_ref>();
    note->leader_style = typed(1);
    note->elbow = make<neut_note_elbow>();
    note->attachment = make<neut_note_attachment>();
    note->attachment->on_item = selection();
    push_value(note->attachment->endpoints, neut_endpoint{1, selection(), typed(2)});
    note->attachment->norm_or_tan_leader = make<neut_leader>();
    note->attachment->norm_or_tan_leader->attr = typed(0);
    note->text_style = text_style(1);
    push(part->notes, note);

    part->model_class->comment = dup("solid");
    return part;
}

} // namespace ntest
