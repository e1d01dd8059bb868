#include "neutral/neutral_schema.h"
#include "neutral_test_util.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

// Every member a selector can give, found by asking it about crafted
// records for every code from -5 to 100.
std::vector<const ugc_dd_entry*> members_of(ugc_union_selector sel) {
    std::set<const ugc_dd_entry*> seen;
    std::vector<const ugc_dd_entry*> out;
    alignas(16) char value[1024] = {};
    alignas(16) char parent[1024] = {};
    testing::internal::CaptureStderr();
    for (int code = -5; code <= 100; ++code) {
        // Every selector reads an int32 at a small offset of the value or of
        // the parent: fill both with the code at every int32 slot.
        for (size_t i = 0; i + 4 <= sizeof value; i += 4) {
            std::memcpy(value + i, &code, 4);
            std::memcpy(parent + i, &code, 4);
        }
        const ugc_dd_entry* m = sel(value, parent);
        if (m && seen.insert(m).second)
            out.push_back(m);
    }
    testing::internal::GetCapturedStderr();
    return out;
}

struct Census {
    std::set<const ugc_dd_entry*> arrays;
    std::set<const ugc_dd_entry*> standalone;
    std::set<std::tuple<uint32_t, const ugc_dd_entry*, std::string>> replacements;
    std::set<std::string> names;
    size_t descriptors = 0;
    ugc_field_cache cache;

    void record(const ugc_dd_entry* d) {
        if (d->fields && arrays.insert(d->fields).second) {
            descriptors += size_t(d->field_count);
            for (int i = 0; i < d->field_count; ++i) {
                names.insert(d->fields[i].name);
                record(&d->fields[i]);
            }
        }
        if (d->dict_hook) {
            int n = 0;
            const ugc_dd_entry* r = cache.fields(d, &n, nullptr);
            for (int i = 0; i < n; ++i) {
                const ugc_dd_entry& o = d->fields[i];
                if (r[i].type != o.type || r[i].fields != o.fields) {
                    replacements.insert({r[i].type, r[i].fields, r[i].default_text});
                    record(&r[i]);
                }
            }
        }
        if (d->union_selector)
            for (const ugc_dd_entry* m : members_of(d->union_selector))
                if (standalone.insert(m).second) {
                    names.insert(m->name);
                    record(m);
                }
    }
};

} // namespace

namespace {

struct E {
    const char* name;
    uint32_t type;
    const char* def; // null: no default text
    int d0 = 0;
    int d1 = 0;
};

std::string text(const char* s) { return s ? s : "<none>"; }

void expect_fields(const ugc_dd_entry* fields, int n, std::initializer_list<E> want) {
    ASSERT_EQ(size_t(n), want.size());
    int i = 0;
    for (const E& w : want) {
        const ugc_dd_entry& f = fields[i++];
        SCOPED_TRACE(w.name);
        EXPECT_STREQ(w.name, f.name);
        EXPECT_EQ(w.type, f.type);
        EXPECT_EQ(text(w.def), text(f.default_text));
        EXPECT_EQ(w.d0, f.dims[0]);
        EXPECT_EQ(w.d1, f.dims[1]);
    }
}
void expect_fields(const ugc_dd_entry* d, std::initializer_list<E> want) {
    expect_fields(d->fields, d->field_count, want);
}

const ugc_dd_entry* field(const ugc_dd_entry* rd, const char* name) {
    const ugc_dd_entry* f =
        ugc_find_dd_entry(const_cast<ugc_dd_entry*>(rd->fields), rd->field_count, name);
    EXPECT_NE(nullptr, f) << name;
    return f;
}

template <class T> const ugc_dd_entry* member(ugc_union_selector sel, T value, const void* parent) {
    return sel(&value, parent);
}

} // namespace

TEST(NeutralSchema, TableShape) {
    // Leaves-first transcription check: the number of distinct field arrays
    // and of the entries in them.
    Census c;
    for (const ugc_dd_entry* root : {neutral_part_dd(), neutral_assem_dd()})
        c.record(root);
    EXPECT_EQ(103u, c.arrays.size());
    EXPECT_EQ(473u, c.descriptors);
    EXPECT_EQ(28u, c.standalone.size()); // union members
    EXPECT_EQ(5u, c.replacements.size());
}

TEST(NeutralSchema, Roots) {
    const ugc_dd_entry* part = neutral_part_dd();
    EXPECT_STREQ("Neutral_part", part->name);
    EXPECT_EQ(1024u, part->type);
    EXPECT_EQ(sizeof(neut_part), part->record_size);
    EXPECT_NE(nullptr, part->dict_hook);
    expect_fields(part, {
        {"revnum", 1, "0"},
        {"rel_accuracy", 266242, "-1.0"},
        {"accuracy", 2, "-1.0"},
        {"outline", 34, "0.0", 2, 3},
        {"accuracy_is_relative", 1, "1"},
        {"neut_format", 16, "NULL"},
        {"mass_props", 1024, "NULL"},
        {"time_stamp", 0, nullptr},
        {"colors", 1024, "NULL"},
        {"dimensions", 16, "NULL"},
        {"features", 16, "NULL"},
        {"quilts", 1040, "NULL"},
        {"surfaces", 65536, "NULL"},
        {"edges", 65536, "NULL"},
        {"geometric_tolerance", 16, "NULL"},
        {"datum_curves", 1040, "NULL"},
        {"datum_planes", 1040, "NULL"},
        {"coord_systems", 1040, "NULL"},
        {"units", 16, "NULL"},
        {"attributes", 1040, "NULL"},
        {"layers", 1040, "NULL"},
        {"views", 1040, "NULL"},
        {"xsecs", 1040, "NULL"},
        {"item_names", 1040, "NULL"},
        {"faceted_reps", 1040, "NULL"},
        {"geometric_tolerances", 1040, "NULL"},
        {"annotation_features", 1040, "NULL"},
        {"set_datum_tags", 1040, "NULL"},
        {"annot_planes", 1040, "NULL"},
        {"notes", 1040, "NULL"},
        {"model_class", 1024, "NULL"},
        {"angular_dim_tolerance", 2, "-1.0"},
        {"linear_dim_tolerance", 2, "-1.0"},
    });
    // Positions come from the record layout; rel_accuracy lives outside.
    EXPECT_EQ(offsetof(neut_part, outline), field(part, "outline")->position);
    EXPECT_EQ(offsetof(neut_part, surfaces), field(part, "surfaces")->position);
    EXPECT_EQ(neutral_rel_accuracy(), field(part, "rel_accuracy")->external);
    EXPECT_EQ(-1.0, *neutral_rel_accuracy());
    EXPECT_EQ(sizeof(neut_surface), field(part, "surfaces")->record_size);

    const ugc_dd_entry* assem = neutral_assem_dd();
    EXPECT_STREQ("Neutral_assem", assem->name);
    EXPECT_EQ(1024u, assem->type);
    expect_fields(assem, {{"assem_top", 1024, "NULL"}, {"members", 1040, "NULL"}});
    const ugc_dd_entry* top = field(assem, "assem_top");
    EXPECT_EQ(part->fields, top->fields); // a whole part record
    EXPECT_EQ(part->dict_hook, top->dict_hook);
    const ugc_dd_entry* members = field(assem, "members");
    EXPECT_NE(nullptr, members->before_write);
    expect_fields(members, {
        {"id", 1, "0"},
        {"type", 1, "0"},
        {"name", 10, "NULL", 32},
        {"family_name", 10, "NULL", 66},
        {"e1", 34, "NULL", 3},
        {"e2", 34, "NULL", 3},
        {"e3", 34, "NULL", 3},
        {"origin", 34, "NULL", 3},
    });
}

TEST(NeutralSchema, TopologyAndCurveRecords) {
    const ugc_dd_entry* part = neutral_part_dd();
    const ugc_dd_entry* surfaces = field(part, "surfaces");
    expect_fields(surfaces, {
        {"id", 1, "0"},
        {"uv_min", 34, "0.0", 2},
        {"uv_max", 34, "0.0", 2},
        {"xyz_min", 34, "0.0", 3},
        {"xyz_max", 34, "0.0", 3},
        {"orient", 1, "1"},
        {"loops", 16, "NULL"},
        {"surface_type", 1, "0"},
        {"surface", 9216, "NULL"},
    });
    expect_fields(field(surfaces, "loops"), {{"edge_ids", 17, "NULL"}});
    // Quilts hold the same surface records by pointer.
    const ugc_dd_entry* quilts = field(part, "quilts");
    expect_fields(quilts, {{"id", 1, "-1"}, {"surfaces", 1040, "NULL"}});
    EXPECT_EQ(surfaces->fields, field(quilts, "surfaces")->fields);

    const ugc_dd_entry* edges = field(part, "edges");
    expect_fields(edges, {
        {"id", 1, "0"},
        {"surface_ids", 33, "0", 2},
        {"direction", 33, "0", 2},
        {"uv_points", 18, "NULL"},
        {"curve_type", 1, "0"},
        {"curve", 9216, "NULL"},
        {"uv_curves[0]", 1024, "NULL"},
        {"uv_curves[1]", 1024, "NULL"},
    });
    const ugc_dd_entry* uv0 = field(edges, "uv_curves[0]");
    EXPECT_EQ(uv0->fields, field(edges, "uv_curves[1]")->fields);
    EXPECT_EQ(offsetof(neut_edge, uv_curves) + sizeof(void*), field(edges, "uv_curves[1]")->position);
    expect_fields(uv0, {{"id", 1, "-1"}, {"curve_type", 1, "-1"}, {"curve", 9216, "NULL"}, {"flip", 1, "1"}});

    neut_curve c{NEUT_CURVE_BSPLINE};
    const ugc_dd_entry* bspline = neutral_curve_member(&c, nullptr);
    ASSERT_NE(nullptr, bspline);
    EXPECT_STREQ("b_spline", bspline->name);
    expect_fields(bspline, {
        {"type", 2049, "0"},
        {"degree", 1, "0"},
        {"params", 18, "0.0"},
        {"c_pnts", 18, "0.0"},
        {"weights", 18, "0.0"},
    });
    c.type = NEUT_CURVE_POINT;
    expect_fields(neutral_curve_member(&c, nullptr), {{"type", 1, "0"}, {"xyz", 34, "0.0", 3}});

    neut_surface s{};
    s.surface_type = NEUT_SURF_CYL_SPLSRF;
    const ugc_dd_entry* cyl = neutral_surface_member(nullptr, &s);
    expect_fields(cyl, {
        {"e1", 34, "0.0", 3},
        {"e2", 34, "0.0", 3},
        {"e3", 34, "0.0", 3},
        {"origin", 34, "0.0", 3},
        {"splsrf", 0, "NULL"},
    });
    s.surface_type = NEUT_SURF_SPL_SRF;
    EXPECT_EQ(neutral_surface_member(nullptr, &s)->fields, field(cyl, "splsrf")->fields);
    EXPECT_EQ(offsetof(neut_cyl_splsrf, splsrf), field(cyl, "splsrf")->position);
    s.surface_type = NEUT_SURF_RUL_SRF;
    const ugc_dd_entry* rul = neutral_surface_member(nullptr, &s);
    EXPECT_EQ(offsetof(neut_rul_srf, C2), field(rul, "C2")->position);
    EXPECT_EQ(9216u, field(rul, "C2")->type);

    // Datum planes and cross-sections share the plane record with the
    // plane shape.
    s.surface_type = NEUT_SURF_PLANE;
    const ugc_dd_entry* dplane = field(field(part, "datum_planes"), "plane");
    EXPECT_EQ(neutral_surface_member(nullptr, &s)->fields, dplane->fields);
    EXPECT_EQ(dplane->fields, field(field(part, "xsecs"), "plane")->fields);
}

TEST(NeutralSchema, DictionaryHooksReplaceFieldsOnCopies) {
    const ugc_dd_entry* part = neutral_part_dd();
    ugc_field_cache cache;
    int n = 0;
    const ugc_dd_entry* pf = cache.fields(part, &n, nullptr);
    ASSERT_EQ(33, n);
    const ugc_dd_entry* ts = ugc_find_dd_entry(const_cast<ugc_dd_entry*>(pf), n, "time_stamp");
    ASSERT_NE(nullptr, ts);
    EXPECT_EQ(1024u, ts->type);
    EXPECT_EQ(offsetof(neut_part, time_stamp), ts->position);
    expect_fields(ts, {{"tm_sec", 1, "0"}, {"tm_min", 1, "0"}, {"tm_hour", 1, "0"},
                       {"tm_mday", 1, "0"}, {"tm_mon", 1, "0"}, {"tm_year", 1, "0"}});
    EXPECT_EQ(0u, field(part, "time_stamp")->type); // the table itself is unchanged

    const ugc_dd_entry* colors = field(part, "colors");
    const ugc_dd_entry* cf = cache.fields(colors, &n, nullptr);
    EXPECT_EQ(262162u, cf[0].type);
    EXPECT_STREQ("color_rgb", cf[0].name);
    EXPECT_EQ(1, cf[0].dims[0]);
    EXPECT_EQ(3, cf[0].dims[1]);

    const ugc_dd_entry* tab = field(colors, "color_tab");
    expect_fields(tab, {
        {"color_rgb", 0, nullptr},
        {"ambient", 2, "0.9"},
        {"diffuse", 2, "0.9"},
        {"specular", 2, "0.8"},
        {"spec_coef", 2, "0.5"},
        {"transmission", 2, "0"},
        {"highlight", 34, "0.0", 3},
        {"reflection", 2, "0"},
        {"bump", 1024, "NULL"},
        {"decal", 1024, "NULL"},
        {"texture", 1024, "NULL"},
    });
    expect_fields(field(tab, "bump"), {{"name", 3, "NULL", 32}});
    const ugc_dd_entry* tf = cache.fields(tab, &n, nullptr);
    expect_fields(tf, 1, {{"color_rgb", 34, "0.0", 3}});

    const ugc_dd_entry* ec = field(colors, "element_colors");
    EXPECT_EQ(1, ec->dims[0]);
    expect_fields(ec, {{"element_id", 1, "0"}, {"color_ind", 6145, "-1"}, {"color_inds", 33, "0", 2},
                       {"surf_pl", 0, nullptr}});
    const ugc_dd_entry* ecf = cache.fields(ec, &n, nullptr);
    EXPECT_EQ(neutral_color_index(), ecf[1].external);
    EXPECT_EQ(nullptr, ec->fields[1].external);
    EXPECT_EQ(32u, ecf[3].type);
    EXPECT_EQ(2, ecf[3].dims[0]);
    EXPECT_EQ(offsetof(neut_element_color, surf_pl), ecf[3].position);
    const ugc_dd_entry* prop = field(&ecf[3], "surfprop_ptr");
    const ugc_dd_entry* place = field(field(prop, "pp_texplaces"), "neut_texplace");
    ASSERT_EQ(19, place->field_count);
    EXPECT_STREQ("scale", place->fields[6].name);
    EXPECT_STREQ("1.0", place->fields[6].default_text);
    EXPECT_STREQ("texture_coord_transform", place->fields[8].name);
    EXPECT_EQ(4, place->fields[8].dims[1]);

    const ugc_dd_entry* attrs = field(part, "attributes");
    const ugc_dd_entry* af = cache.fields(attrs, &n, nullptr);
    expect_fields(af, n, {{"name", 1034, "NULL", 81}, {"value", 0, "0"}, {"ref_id", 1, "-1"},
                          {"ref_type", 1, "-1"}, {"ref_name", 1034, "NULL", 32}});
    expect_fields(&af[1], {{"type", 1, "0"}, {"value", 8192, "0"}});
}

TEST(NeutralSchema, AnnotationRecords) {
    const ugc_dd_entry* part = neutral_part_dd();
    const ugc_dd_entry* gtols = field(part, "geometric_tolerances");
    EXPECT_EQ(3, neutral_comment_word(*gtols));
    EXPECT_EQ(21, gtols->field_count);
    const ugc_dd_entry* placement = field(gtols, "placement");
    EXPECT_EQ(1, neutral_comment_word(*placement));
    expect_fields(placement, {{"type", 1, "0"}, {"dimension", 1024, "NULL"}, {"leaders", 1040, "NULL"},
                              {"location", 34, "0.0", 3}, {"gtol", 1024, "NULL"}});
    expect_fields(field(gtols, "proj_zone"), {{"type", 1, "0"}, {"height", 1026, "0"}});

    const ugc_dd_entry* dims = field(part, "dimensions");
    EXPECT_EQ(22, dims->field_count);
    EXPECT_EQ(26u, field(dims, "text")->type);
    EXPECT_EQ(81, field(dims, "text")->dims[1]);
    EXPECT_EQ(2049u, field(dims, "feat_id")->type);
    EXPECT_EQ(1056u, field(field(dims, "attachments"), "references")->type);
    EXPECT_EQ(2, field(field(dims, "attachments"), "references")->dims[0]);

    const ugc_dd_entry* features = field(part, "features");
    EXPECT_EQ(2, neutral_comment_word(*features));
    EXPECT_EQ(2051u, field(features, "type_name")->type);

    const ugc_dd_entry* notes = field(part, "notes");
    expect_fields(field(notes, "text_lines"), {{"line", 1034, "NULL", 1}, {"envelope", 34, "0.0", 3, 4}});
    expect_fields(field(part, "faceted_reps"), {
        {"id", 1, "0"},
        {"facet_vertices", 66560, "NULL", 100},
        {"facet_vertex_data", 66560, "NULL", 100},
        {"facets", 66560, "NULL", 100},
        {"outline", 34, "0.0", 2, 3},
    });
    EXPECT_EQ(10, field(field(part, "faceted_reps"), "facets")->field_count);
    expect_fields(field(part, "layers"), {{"id", 1, "0"}, {"db_type", 262145, "641"},
                                          {"name", 1034, "NULL", 81}, {"user_id", 1, "0"},
                                          {"ids", 17, "0"}, {"operation", 1, "0"}});
}

TEST(NeutralSchema, UnionSelectors) {
    auto curve = [](int32_t type) {
        neut_curve c{type};
        const ugc_dd_entry* m = neutral_curve_member(&c, nullptr);
        return std::string(m ? m->name : "none");
    };
    EXPECT_EQ("point", curve(1));
    EXPECT_EQ("line", curve(2));
    EXPECT_EQ("arc", curve(3));
    EXPECT_EQ("spline", curve(12));
    EXPECT_EQ("b_spline", curve(19));
    EXPECT_EQ("ellipse", curve(30));
    EXPECT_EQ("ellipse", curve(58)); // a closed ellipse
    for (int32_t t : {0, -1, 4, 41, 57, 59})
        EXPECT_EQ("none", curve(t)) << t;

    auto surface = [](int32_t type) {
        neut_surface s{};
        s.surface_type = type;
        const ugc_dd_entry* m = neutral_surface_member(nullptr, &s);
        return std::string(m ? m->name : "none");
    };
    const std::map<int32_t, std::string> shapes = {
        {34, "plane"},   {36, "cylinder"},   {37, "cone"},    {38, "torus"},
        {40, "spl_srf"}, {41, "fillet_srf"}, {42, "rul_srf"}, {43, "srf_rev"},
        {44, "tab_cyl"}, {45, "bspl_srf"},   {48, "cyl_splsrf"}};
    for (int32_t t = 30; t <= 52; ++t) {
        auto it = shapes.find(t);
        EXPECT_EQ(it == shapes.end() ? "none" : it->second, surface(t)) << t;
    }

    auto color = [](int32_t method) {
        neut_text_color c{};
        c.method = method;
        const ugc_dd_entry* m = neutral_color_value_member(nullptr, &c);
        return std::string(m ? m->name : "none");
    };
    EXPECT_EQ("color_type", color(0));
    EXPECT_EQ("color_type", color(1));
    EXPECT_EQ("color_map", color(2));
    EXPECT_EQ("none", color(3));
    EXPECT_EQ("none", color(-1));

    neut_datum_curve dc{};
    EXPECT_STREQ("simple", neutral_datum_curve_member(nullptr, &dc)->name);
    dc.is_composite = 7;
    EXPECT_STREQ("composite", neutral_datum_curve_member(nullptr, &dc)->name);

    neut_element_ref r{};
    EXPECT_STREQ("reference", neutral_reference_member(nullptr, &r)->name);
    r.type = 2;
    EXPECT_STREQ("collection", neutral_reference_member(nullptr, &r)->name);
    r.type = 3;
    EXPECT_EQ(nullptr, neutral_reference_member(nullptr, &r));

    auto symbol = [](int32_t type) {
        neut_symbol_value v{};
        v.type = type;
        return std::string(symbol_value_fcn(&v.value, &v)->name);
    };
    testing::internal::CaptureStderr();
    EXPECT_EQ("d_val", symbol(50));
    EXPECT_EQ("s_val", symbol(51));
    EXPECT_EQ("i_val", symbol(52));
    EXPECT_EQ("l_val", symbol(53));
    EXPECT_EQ("i_val", symbol(54));
    EXPECT_EQ("i_val", symbol(59));
    EXPECT_EQ("NO_val", symbol(0)); // no value: nothing wrong to report
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    testing::internal::CaptureStderr();
    EXPECT_EQ("NO_val", symbol(55));
    EXPECT_EQ("-symbol_value_fcn- Invalid union member type = 55\n",
              testing::internal::GetCapturedStderr());
}
