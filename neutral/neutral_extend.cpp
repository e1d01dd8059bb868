// Extension data to neutral records.
//
// Each neutral record is attached to its owner as soon as it exists and
// only then filled, so a failure part way leaves an incomplete record that
// the part owns and releases. Arrays held by value are sized before they
// are filled, so their elements never move while nested records are made.
// Host arrays are read bounded by their real element counts.
#include "neutral/neutral_extend.h"

#include "btkstring.h"
#include "xmemory.h"
#include "kernel/records/qel_internal.h"
#include "neutral/neutral_convert.h"
#include "neutral/neutral_text.h"

#include <charconv>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using qel_detail::is_xar_of;
using qel_detail::xar_len;

namespace {

constexpr int kOk = 0;
constexpr int kBad = -2;
constexpr int kNoMem = -10;
constexpr int kNoColors = -1;

// The "none" value of an unsigned index of a faceted representation.
constexpr uint32_t kNone = 0xFFFFFFFFu;

// Layer records of the neutral part carry this database type.
constexpr int32_t kLayerDbType = 641;

// Copies a wide field into another of `capacity` units, zero-filling the
// rest; a text that fills the field keeps no terminator, as in the source.
void copy_field(char16_t* dst, const char16_t* src, int capacity) {
    const int n = kname::FieldLength(src, capacity);
    std::memcpy(dst, src, sizeof(char16_t) * size_t(n));
    std::memset(dst + n, 0, sizeof(char16_t) * size_t(capacity - n));
}

// Narrow text of a wide field of `capacity` units into dst (dst_capacity
// bytes with the terminator), cut on a character boundary.
void narrow_field(char* dst, int dst_capacity, const char16_t* field, int capacity) {
    char16_t buffer[QEL_PATH_LEN + 1];
    const int n = kname::FieldLength(field, capacity);
    std::memcpy(buffer, field, sizeof(char16_t) * size_t(n));
    buffer[n] = u'\0';
    wstostr(buffer, dst, dst_capacity);
}

// `what` and a wide field's text in quotes, for the lines that tell what
// was lost (a line end in it shown as \x0A, keeping each on one line).
// (Appended piece by piece: a literal added to a temporary string trips
// g++'s false -Wrestrict warning in optimised builds.)
std::string quoted(const char* what, const char16_t* field, int capacity) {
    std::string text = what;
    text += ' ';
    text += kname::Shown(kname::Narrow(field, capacity));
    return text;
}

// The converter of one call: its status is the first failure met (-2 for
// a malformed host array, -10 for memory), the conversion going on. What a
// neutral part cannot carry is gathered by kind (`what` happened to it),
// keeping the first item of each and how many there were, to be told.
class Converter {
public:
    int status() const { return st_; }
    void bad() { note(kBad); }
    void no_memory() { note(kNoMem); }

    // Items of one kind (the first word of `item`: "layer") lost alike
    // count as one kind of loss.
    void lost(std::string item, const char* what) {
        std::string kind = item.substr(0, item.find(' ')) + ": " + what;
        for (Loss& l : losses_)
            if (l.kind == kind) {
                ++l.count;
                return;
            }
        losses_.push_back({std::move(kind), std::move(item), what, 1});
    }

    // One line per kind of loss: "<first item> <what>; N more like it".
    void tell(const char* teller) const {
        for (const Loss& l : losses_) {
            std::string line = l.item + " " + l.what;
            if (l.count > 1)
                line += "; " + std::to_string(l.count - 1) + " more like it";
            neut_tell(teller, line.c_str());
        }
    }

    template <class T> T* make() {
        T* rec = static_cast<T*>(getmem(sizeof(T)));
        if (!rec)
            no_memory();
        return rec;
    }

    // A new zero-terminated copy of a wide field of `capacity` units.
    char16_t* wide_field(const char16_t* field, int capacity) {
        char16_t* text = neut_wide_copy(field, capacity);
        if (!text)
            no_memory();
        return text;
    }

    // A new copy of a zero-terminated wide text; null stays null.
    char16_t* wide_text(const char16_t* text) {
        if (!text)
            return nullptr;
        const int n = wslen(text);
        return wide_field(text, n);
    }

    // Element count of the host xar src; a malformed array is reported
    // and counts as empty.
    template <class S> int count(const void* src) {
        const int n = xar_len<S>(src);
        if (n < 0) {
            bad();
            return 0;
        }
        return n;
    }

    // Appends a new zeroed record to an xar of pointers; null when memory
    // runs out (nothing is then attached).
    template <class T> T* attach(T**& arr) {
        T* rec = make<T>();
        if (!rec)
            return nullptr;
        if (xar_alloc_or_append(arr, int(sizeof(T*)), 2, 1, &rec) != kOk) {
            rlsmem(rec);
            no_memory();
            return nullptr;
        }
        return rec;
    }

    // ---- the copy family: one neutral record from one host record ----

    // dst becomes a new record filled from src, or null.
    template <class D, class S> void one(D*& dst, const S* src) {
        dst = nullptr;
        if (!src)
            return;
        dst = make<D>();
        if (dst)
            fill(*dst, *src);
    }

    // dst becomes an xar holding one D per S of the host xar src.
    template <class D, class S> void values(D*& dst, const S* src) {
        dst = nullptr;
        const int n = count<S>(src);
        if (n == 0)
            return;
        dst = static_cast<D*>(xar_alloc(n, int(sizeof(D)), 1));
        if (!dst) {
            no_memory();
            return;
        }
        for (int i = 0; i < n; ++i)
            fill(dst[i], src[i]);
    }

    // Appends to dst one new record per record that the host xar of
    // pointers src points to (null slots are skipped).
    template <class D, class S> void records(D**& dst, const void* src) {
        const int n = count<S*>(src);
        S* const* from = static_cast<S* const*>(src);
        for (int i = 0; i < n; ++i) {
            if (!from[i])
                continue;
            if (D* rec = attach(dst))
                fill(*rec, *from[i]);
        }
    }

    template <class D, class S> void pointers(D**& dst, S* const* src) {
        dst = nullptr;
        records<D, S>(dst, src);
    }

    void fill(double& d, const double& s) { d = s; }

    void fill(neut_item_ref& d, const QelAnnotItemRef& s) {
        d.type = s.type;
        d.id = s.id;
    }

    // Typed records get the type and no comment text.
    void fill(neut_typed& d, const QelAnnotTyped& s) { d.type = s.type; }
    void fill(neut_color_type& d, const QelAnnotTyped& s) { d.type = s.type; }

    void fill(neut_xyz& d, const QelAnnotPoint& s) { std::memcpy(d.xyz, s.xyz, sizeof(d.xyz)); }

    void fill(neut_uv_param& d, const QelAnnotUvParam& s) {
        std::memcpy(d.uv, s.uv, sizeof(d.uv));
    }

    void fill(neut_selection& d, const QelAnnotSelection& s) {
        one(d.model_item, s.model_item);
        one(d.uv_param, s.uv_param);
        one(d.point, s.point);
    }

    void fill(neut_color_map& d, const QelAnnotColorMap& s) {
        d.red = s.red;
        d.green = s.green;
        d.blue = s.blue;
    }

    void fill(neut_text_color& d, const QelAnnotColor& s) {
        d.method = s.method;
        if (s.method == 0 || s.method == 1) {
            neut_color_type* value = nullptr;
            one(value, s.color_type);
            d.value = value;
        } else if (s.method == 2) {
            neut_color_map* value = nullptr;
            one(value, s.color_map);
            d.value = value;
        }
    }

    void fill(neut_text_style& d, const QelAnnotTextStyle& s) {
        d.height = s.height;
        d.width = s.width;
        d.angle = s.angle;
        d.slant_angle = s.slant_angle;
        d.thickness = s.thickness;
        d.underline = s.underline;
        d.mirror = s.mirror;
        one(d.justification, s.justification);
        one(d.color, s.color);
    }

    void fill(neut_arrow& d, const QelAnnotArrow& s) {
        d.type = s.type;
        std::memcpy(d.point, s.point, sizeof(d.point));
    }

    void fill(neut_dim_location& d, const QelAnnotLocation& s) {
        one(d.point, s.point);
        one(d.elbow, s.elbow);
        one(d.arrow_1, s.arrow_1);
        one(d.arrow_2, s.arrow_2);
        one(d.witness_line_1, s.witness_line_1);
        one(d.witness_line_2, s.witness_line_2);
        one(d.z_ext_line_end_1, s.z_ext_line_end_1);
        one(d.z_ext_line_end_2, s.z_ext_line_end_2);
        one(d.normal, s.normal);
    }

    void fill(neut_tol_label& d, const QelAnnotTolLabel& s) {
        d.type = s.type;
        copy_field(d.name, s.name, QEL_NAME_LEN);
        d.column = s.column;
    }

    void fill(neut_angle_sense& d, const QelAnnotAngleSense& s) {
        d.is_first = s.is_first;
        d.should_flip = s.should_flip;
    }

    void fill(neut_dim_sense& d, const QelAnnotSense& s) {
        d.type = s.type;
        d.sense = s.sense;
        one(d.angle_sense, s.angle_sense);
        one(d.orient_hint, s.orient_hint);
    }

    void fill(neut_dim_attachment& d, const QelAnnotDimAttachment& s) {
        one(d.references[0], s.references[0]);
        one(d.references[1], s.references[1]);
        one(d.sense, s.sense);
    }

    void fill(char16_t (&d)[QEL_ATTRIB_TEXT_LEN], const QelAnnotDimText& s) {
        copy_field(d, s.text, QEL_ATTRIB_TEXT_LEN);
    }

    void fill(neut_dimension& d, const QelAnnotDimension& s) {
        d.id = s.id;
        d.type = s.type;
        d.dim_type = s.dim_type;
        d.name = wide_field(s.name, QEL_NAME_LEN);
        d.value = s.value;
        d.feat_id = s.feat_id;
        d.tol_plus = s.tol_plus;
        d.tol_minus = s.tol_minus;
        d.decimals = s.decimals;
        d.denominator = s.denominator;
        d.nomvalue = s.nomvalue;
        one(d.bound, s.bound);
        d.fractional = s.fractional;
        d.rel_driven = s.rel_driven;
        d.regened_negative = s.regened_negative;
        one(d.tol_label, s.tol_label);
        values(d.text, s.text);
        one(d.text_style, s.text_style);
        one(d.location, s.location);
        d.is_driving = s.is_driving;
        one(d.annotation_plane, s.annotation_plane);
        values(d.attachments, s.attachments);
    }

    void fill(neut_gtol_ref& d, const QelAnnotGtolRef& s) {
        d.type = s.type;
        one(d.reference, s.reference);
    }

    void fill(neut_gtol_overall& d, const QelAnnotOverall& s) {
        d.value = s.value;
        copy_field(d.name, s.name, QEL_NAME_LEN);
    }

    void fill(neut_gtol_leader& d, const QelAnnotLeader& s) {
        d.type = s.type;
        one(d.attachment, s.attachment);
    }

    void fill(neut_gtol_placement& d, const QelAnnotPlacement& s) {
        d.type = s.type;
        one(d.dimension, s.dimension);
        pointers(d.leaders, s.leaders);
        std::memcpy(d.location, s.location, sizeof(d.location));
        one(d.gtol, s.gtol);
    }

    void fill(neut_gtol_datum_ref& d, const QelAnnotDatumRef& s) {
        one(d.basic_datum, s.basic_datum);
        one(d.basic_matl_cond, s.basic_matl_cond);
        one(d.compound_datum, s.compound_datum);
        one(d.compound_matl_cond, s.compound_matl_cond);
    }

    void fill(neut_gtol_composite& d, const QelAnnotComposite& s) {
        d.type = s.type;
        d.value = s.value;
    }

    void fill(neut_gtol_per_unit& d, const QelAnnotPerUnit& s) {
        d.value = s.value;
        d.area_or_length = s.area_or_length;
    }

    void fill(neut_gtol_proj_zone& d, const QelAnnotProjZone& s) {
        d.type = s.type;
        one(d.height, s.height);
    }

    void fill(neut_gtol_prof_boundary& d, const QelAnnotProfBoundary& s) {
        d.type = s.type;
        d.outside = s.outside;
    }

    void fill(neut_gtol& d, const QelAnnotGtol& s) {
        d.id = s.id;
        d.type = s.type;
        d.gtol_type = s.gtol_type;
        one(d.ref, s.ref);
        one(d.overall, s.overall);
        one(d.matl_cond, s.matl_cond);
        one(d.placement, s.placement);
        one(d.annotation_plane, s.annotation_plane);
        one(d.primary_datum_ref, s.primary_datum_ref);
        one(d.secondary_datum_ref, s.secondary_datum_ref);
        one(d.tertiary_datum_ref, s.tertiary_datum_ref);
        one(d.composite, s.composite);
        one(d.per_unit, s.per_unit);
        one(d.unit_area_style, s.unit_area_style);
        d.statistic_tolerance = s.statistic_tolerance;
        d.diameter = s.diameter;
        d.free_state = s.free_state;
        d.all_around = s.all_around;
        d.tangent_plane = s.tangent_plane;
        one(d.proj_zone, s.proj_zone);
        one(d.prof_boundary, s.prof_boundary);
    }

    void fill(neut_reference& d, const QelAnnotReference& s) {
        one(d.item, s.item);
        one(d.selection, s.selection);
        one(d.original_item, s.original_item);
        one(d.original_selection, s.original_selection);
    }

    void fill(neut_collection_ref& d, const QelAnnotCollRef& s) {
        d.type = s.type;
        one(d.reference, s.reference);
    }

    void fill(neut_instruction& d, const QelAnnotInstruction& s) {
        d.type = s.type;
        one(d.attr, s.attr);
        pointers(d.references, s.references);
    }

    void fill(neut_collection& d, const QelAnnotCollection& s) {
        d.type = s.type;
        pointers(d.instructions, s.instructions);
    }

    // The object is a reference for type 0, a collection for 1 and 2, and
    // none for any other type.
    void fill(neut_element_ref& d, const QelAnnotElemRef& s) {
        d.type = s.type;
        if (s.type == 0) {
            neut_reference* object = nullptr;
            one(object, s.reference);
            d.object = object;
        } else if (s.type == 1 || s.type == 2) {
            neut_collection* object = nullptr;
            one(object, s.collection);
            d.object = object;
        }
        d.description = wide_field(s.description, QEL_ATTRIB_TEXT_LEN);
        d.autopropagate = s.autopropagate;
        d.strong = s.strong;
    }

    void fill(neut_annot_element& d, const QelAnnotElement& s) {
        d.id = s.id;
        d.type = s.type;
        d.annot_type = s.annot_type;
        d.dependent = s.dependent;
        d.incomplete = s.incomplete;
        d.copy = s.copy;
        one(d.annotation, s.annotation);
        pointers(d.references, s.references);
    }

    void fill(neut_annot_feature& d, const QelAnnotFeature& s) {
        d.id = s.id;
        d.type = s.type;
        pointers(d.elements, s.elements);
    }

    void fill(neut_datum_tag& d, const QelAnnotDatumTag& s) {
        d.id = s.id;
        d.type = s.type;
        one(d.reference, s.reference);
        one(d.annot_plane, s.annot_plane);
        one(d.attachment, s.attachment);
        one(d.text_style, s.text_style);
    }

    void fill(neut_annot_plane& d, const QelAnnotPlane& s) {
        d.id = s.id;
        d.type = s.type;
        one(d.reference, s.reference);
        std::memcpy(d.normal, s.normal, sizeof(d.normal));
        std::memcpy(d.orientation, s.orientation, sizeof(d.orientation));
        d.angle = s.angle;
        d.frozen = s.frozen;
    }

    void fill(neut_text_line& d, const QelAnnotTextLine& s) {
        d.line = wide_text(s.line);
        std::memcpy(d.envelope, s.envelope, sizeof(d.envelope));
    }

    void fill(neut_note_elbow& d, const QelAnnotElbow& s) {
        d.length = s.length;
        std::memcpy(d.direction, s.direction, sizeof(d.direction));
    }

    void fill(neut_endpoint& d, const QelAnnotEndpoint& s) {
        d.leader_type = s.leader_type;
        one(d.point, s.point);
        one(d.attr, s.attr);
    }

    void fill(neut_leader& d, const QelAnnotNormTanLeader& s) {
        one(d.attr, s.attr);
        d.length = s.length;
        std::memcpy(d.direction, s.direction, sizeof(d.direction));
    }

    void fill(neut_note_attachment& d, const QelAnnotNoteAttachment& s) {
        one(d.on_item, s.on_item);
        values(d.endpoints, s.endpoints);
        one(d.annotation_plane, s.annotation_plane);
        one(d.norm_or_tan_leader, s.norm_or_tan_leader);
        std::memcpy(d.text_loc, s.text_loc, sizeof(d.text_loc));
    }

    void fill(neut_note& d, const QelAnnotNote& s) {
        d.id = s.id;
        d.type = s.type;
        values(d.text_lines, s.text_lines);
        d.url = wide_text(s.url);
        one(d.owner, s.owner);
        one(d.leader_style, s.leader_style);
        one(d.elbow, s.elbow);
        one(d.attachment, s.attachment);
        one(d.text_style, s.text_style);
    }

private:
    struct Loss {
        std::string kind;
        std::string item;
        const char* what;
        int count;
    };
    std::vector<Loss> losses_;

    void note(int st) {
        if (st_ == kOk)
            st_ = st;
    }

    int st_ = kOk;
};

// Adds n zeroed elements to an xar of T (made when null) and returns the
// first of them; null for n == 0 and when memory runs out (reported).
template <class T> T* extend(T*& arr, int n, Converter& cv) {
    if (n == 0)
        return nullptr;
    if (!arr) {
        arr = static_cast<T*>(xar_alloc(n, int(sizeof(T)), 1));
        if (!arr)
            cv.no_memory();
        return arr;
    }
    void* first = nullptr;
    void* handle = arr;
    const int st = xar_extend(&handle, n, &first);
    arr = static_cast<T*>(handle);
    if (st != kOk) {
        cv.no_memory();
        return nullptr;
    }
    return static_cast<T*>(first);
}

// Appends to dst one new record per entry of the host har src of S,
// filled by fill(from, to); a har of another entry size is malformed.
template <class S, class T, class F>
void attach_each(const void* src, T**& dst, Converter& cv, F fill) {
    if (src && har_entry_size(src) != int(sizeof(S))) {
        cv.bad();
        return;
    }
    qel_detail::har_each<S>(src, [&](const S& from) {
        if (T* to = cv.attach(dst))
            fill(from, *to);
        return true;
    });
}

// ---- words 1 to 9 -------------------------------------------------------------------

void convert_layers(const QelLayerdata* layers, neut_part& part, Converter& cv) {
    const int n = cv.count<QelLayerdata>(layers);
    for (int i = 0; i < n; ++i) {
        const QelLayerdata& from = layers[i];
        if (!is_xar_of<uint32_t>(from.item_ids)) {
            cv.bad();
            continue;
        }
        if (xar_count(from.item_ids) == 0) {
            // A neutral layer is the set of its items: one without is left
            // out, and told.
            cv.lost(quoted("layer", from.name, QEL_NAME_LEN), "has no items and was left out");
            continue;
        }
        neut_layer* l = cv.attach(part.layers);
        if (!l)
            continue;
        l->id = int32_t(from.layer_id);
        l->db_type = kLayerDbType;
        l->name = cv.wide_field(from.name, QEL_NAME_LEN);
        if (xar_cpy(l->ids, from.item_ids) != kOk)
            cv.no_memory();
        l->operation = int32_t(from.status);
    }
}

neut_texture* texture(const QelTexturemapdata& slot, int color, Converter& cv) {
    if (slot.name[0] == u'\0')
        return nullptr;
    auto* t = cv.make<neut_texture>();
    if (t) {
        // The neutral name is narrow, of 31 bytes: a wide name of 31
        // characters beyond ASCII is longer, and cut on a character boundary.
        narrow_field(t->name, int(sizeof(t->name)), slot.name, QEL_NAME_LEN);
        if (kname::Narrow(slot.name, QEL_NAME_LEN).size() >= sizeof(t->name))
            cv.lost(quoted("texture name", slot.name, QEL_NAME_LEN) + " of reference colour " +
                        std::to_string(color),
                    "is longer than the 31 bytes of a neutral texture name and was cut");
        narrow_field(t->path, int(sizeof(t->path)), slot.file_name, QEL_PATH_LEN);
    }
    return t;
}

void convert_ref_colors(const QelRefColordata* colors, neut_part& part, Converter& cv) {
    const int n = cv.count<QelRefColordata>(colors);
    if (n == 0)
        return;
    if (!part.colors && !(part.colors = cv.make<neut_colors>()))
        return;
    neut_color* first = extend(part.colors->color_tab, n, cv);
    if (!first)
        return;
    for (int i = 0; i < n; ++i) {
        const QelRefColordata& s = colors[i];
        neut_color& d = first[i];
        std::memcpy(d.color_rgb, s.color, sizeof(d.color_rgb));
        d.ambient = s.ambient;
        d.diffuse = s.diffuse;
        d.specular = s.specular;
        d.spec_coef = s.specular_coef;
        d.transmission = s.transmission;
        std::memcpy(d.highlight, s.highlight, sizeof(d.highlight));
        d.reflection = s.reflection;
        d.bump = texture(s.bump, i, cv);
        d.decal = texture(s.decal, i, cv);
        d.texture = texture(s.texture, i, cv);
    }
}

// False when there are element colours but no colours record for them.
bool convert_elem_colors(const QelElemColordata* colors, neut_part& part, Converter& cv) {
    const int n = cv.count<QelElemColordata>(colors);
    if (n == 0)
        return true;
    if (!part.colors)
        return false;
    neut_element_color* first = extend(part.colors->element_colors, n, cv);
    if (!first)
        return true;
    for (int i = 0; i < n; ++i) {
        first[i].element_id = int32_t(colors[i].item_id);
        first[i].color_inds[0] = int32_t(colors[i].color_index[0]);
        first[i].color_inds[1] = int32_t(colors[i].color_index[1]);
    }
    return true;
}

// Attribute value kinds of the host and the symbol types they become.
void set_value(neut_symbol_value& v, const QelGenAttribdata& a, Converter& cv) {
    switch (a.value_kind) {
    case 1:
        v.type = NEUT_SYM_INT;
        v.value.i_val = a.int_value;
        return;
    case 2:
        v.type = NEUT_SYM_DOUBLE;
        v.value.d_val = a.double_value;
        return;
    case 3:
        v.type = NEUT_SYM_STRING;
        copy_field(v.value.s_val, a.text, QEL_ATTRIB_TEXT_LEN);
        return;
    case 5:
        // The value of this kind lives in the integer field (where the
        // document reader puts it); the record's 16-bit field stays unset.
        // One past 16 bits keeps its low 16 bits, and is told.
        v.type = NEUT_SYM_SHORT;
        v.value.l_val = int16_t(a.int_value);
        if (v.value.l_val != a.int_value)
            cv.lost(quoted("attribute", a.name, QEL_NAME_LEN) + " of value kind 5 (" +
                        std::to_string(a.int_value) + ")",
                    "holds a value beyond the 16 bits of a neutral value, of which the low 16 "
                    "bits are written");
        return;
    case 0:
        v.type = 0; // no value: written as such
        return;
    default:
        v.type = 0; // a kind without a neutral form: written without its value, and told
        cv.lost(quoted("attribute", a.name, QEL_NAME_LEN) + " of value kind " +
                    std::to_string(a.value_kind),
                "has a value of a kind a neutral part cannot carry; written without it");
        return;
    }
}

void convert_attributes(const void* attributes, neut_part& part, Converter& cv) {
    attach_each<QelGenAttribdata>(attributes, part.attributes, cv,
                                  [&](const QelGenAttribdata& from, neut_attribute& a) {
                                      a.name = cv.wide_field(from.name, QEL_NAME_LEN);
                                      set_value(a.value, from, cv);
                                      a.ref_id = int32_t(from.item_id);
                                      a.ref_type = int32_t(from.item_type);
                                  });
}

void convert_units(const QelUnitdata* units, neut_part& part, Converter& cv) {
    const int n = cv.count<QelUnitdata>(units);
    neut_unit* first = extend(part.units, n, cv);
    if (!first)
        return;
    for (int i = 0; i < n; ++i) {
        first[i].factor = units[i].factor;
        copy_field(first[i].name, units[i].name, QEL_NAME_LEN);
        first[i].unit_type = int32_t(units[i].type);
    }
}

void convert_item_names(const QelItemNamedata* names, neut_part& part, Converter& cv) {
    const int n = cv.count<QelItemNamedata>(names);
    for (int i = 0; i < n; ++i) {
        if (neut_item_name* r = cv.attach(part.item_names)) {
            copy_field(r->name, names[i].name, QEL_NAME_LEN);
            r->obj_id = int32_t(names[i].item_id);
            r->obj_type = int32_t(names[i].item_type);
        }
    }
}

// A har (chunk 100) of as many new zeroed T as the host har of pointers
// `src` has entries. Elements that cannot be made are missing at the end.
template <class T> neut_har new_elements(const void* src, Converter& cv) {
    if (!src)
        return nullptr;
    if (har_entry_size(src) != int(sizeof(void*))) {
        cv.bad();
        return nullptr;
    }
    neut_har arr = har_alloc(int(sizeof(T*)), NEUT_FACET_CHUNK);
    if (!arr) {
        cv.no_memory();
        return nullptr;
    }
    const int n = har_total(src);
    for (int i = 0; i < n; ++i) {
        T* element = cv.make<T>();
        if (!element)
            break;
        if (har_append(&arr, &element) != kOk) {
            rlsmem(element);
            cv.no_memory();
            break;
        }
    }
    return arr;
}

// Element i of a har of pointers, or null when i lies outside it.
template <class T> T* element(const void* arr, int64_t i) {
    if (i < 0 || i >= har_total(arr))
        return nullptr;
    return *static_cast<T**>(har_access(arr, int(i), nullptr, nullptr));
}

// Element `index` of a neutral array for a link of a faceted representation:
// null for the "none" value; an index outside the array is told (the link
// it stood for is lost) and gives null as well.
template <class T>
T* linked(const void* arr, int64_t index, bool none, int rep, const char* owner, int i,
          Converter& cv) {
    if (none)
        return nullptr;
    T* to = element<T>(arr, index);
    if (!to)
        cv.lost(std::string(owner) + " " + std::to_string(i) + " of faceted representation " +
                    std::to_string(rep) + " (index " + std::to_string(index) + ")",
                "refers to an element outside the representation's arrays; written as none");
    return to;
}

void convert_faceted_rep(const QelFacetedRepdata& from, neut_faceted_rep& to, Converter& cv) {
    to.id = from.id;
    to.facet_vertices = new_elements<neut_facet_vertex>(from.vertices, cv);
    to.facet_vertex_data = new_elements<neut_facet_vertex_data>(from.vtxdata, cv);
    to.facets = new_elements<neut_facet>(from.facets, cv);

    // Links by index become pointers; an index outside the arrays (the
    // "none" values among them) gives a null pointer.
    const int nv = har_total(to.facet_vertices);
    for (int i = 0; i < nv; ++i) {
        const auto* s = element<const QelFacetVertexdata>(from.vertices, i);
        auto* d = element<neut_facet_vertex>(to.facet_vertices, i);
        if (!s)
            continue;
        std::memcpy(d->xyz, s->point, sizeof(d->xyz));
        d->neighbour.ptr = linked<neut_facet>(to.facets, s->neighbour, s->neighbour < 0, from.id,
                                              "vertex", i, cv);
    }
    const int nd = har_total(to.facet_vertex_data);
    for (int i = 0; i < nd; ++i) {
        const auto* s = element<const QelFacetVtxdata>(from.vtxdata, i);
        auto* d = element<neut_facet_vertex_data>(to.facet_vertex_data, i);
        if (!s)
            continue;
        std::memcpy(d->normal, s->normal, sizeof(d->normal));
        d->texture_uv[0] = s->u;
        d->texture_uv[1] = s->v;
    }
    const int nf = har_total(to.facets);
    for (int i = 0; i < nf; ++i) {
        const auto* s = element<const QelFacetdata>(from.facets, i);
        auto* d = element<neut_facet>(to.facets, i);
        if (!s)
            continue;
        for (int k = 0; k < 3; ++k) {
            d->vertices[k].ptr = linked<neut_facet_vertex>(
                to.facet_vertices, s->vertex_idx[k], s->vertex_idx[k] == kNone, from.id, "facet",
                i, cv);
            d->vertex_data[k].ptr = linked<neut_facet_vertex_data>(
                to.facet_vertex_data, s->vtxdata_idx[k], s->vtxdata_idx[k] == kNone, from.id,
                "facet", i, cv);
            const int32_t neighbour = int32_t(s->neighbour_idx[k]);
            d->neighbour[k].ptr =
                linked<neut_facet>(to.facets, neighbour, neighbour < 0, from.id, "facet", i, cv);
        }
        std::memcpy(d->normal, s->normal, sizeof(d->normal));
    }
    std::memcpy(to.outline, from.outline, sizeof(to.outline));
}

void convert_faceted_reps(const void* reps, neut_part& part, Converter& cv) {
    attach_each<QelFacetedRepdata>(reps, part.faceted_reps, cv,
                                   [&](const QelFacetedRepdata& from, neut_faceted_rep& r) {
                                       convert_faceted_rep(from, r, cv);
                                   });
}

// ---- words 10 to 16 ------------------------------------------------------------------

void convert_dimensions(const void* word, neut_part& part, Converter& cv) {
    const int n = cv.count<QelAnnotDimension>(word);
    neut_dimension* first = extend(part.dimensions, n, cv);
    if (!first)
        return;
    const auto* from = static_cast<const QelAnnotDimension*>(word);
    for (int i = 0; i < n; ++i)
        cv.fill(first[i], from[i]);
}

void convert_model_class(const void* word, neut_part& part, Converter& cv) {
    if (!word)
        return;
    if (!part.model_class && !(part.model_class = cv.make<neut_typed>()))
        return;
    part.model_class->type = static_cast<const QelAnnotModelClass*>(word)->type;
}

// Extended edges and solid regions have no record in a neutral part: each
// list is left out whole, and told.
void leave_out_unconvertible(const qel_intf_data_extend& ext, Converter& cv) {
    if (ext.ext_edges && har_entry_size(ext.ext_edges) == int(sizeof(QelExtEdgedata))) {
        qel_detail::har_each<QelExtEdgedata>(ext.ext_edges, [&](const QelExtEdgedata& e) {
            cv.lost("extended edge " + std::to_string(e.edge_id),
                    "has no place in a neutral part and was left out");
            return true;
        });
    } else if (ext.ext_edges) {
        cv.bad();
    }
    const int regions = cv.count<QelSolidRegiondata>(ext.solid_regions);
    for (int i = 0; i < regions; ++i)
        cv.lost("solid region " + std::to_string(i),
                "has no place in a neutral part and was left out");
}

int convert_extend(neut_part* part, const qel_intf_data_extend* ext, Converter& cv) {
    if (!part || !ext)
        return kBad;
    convert_layers(ext->layers, *part, cv);
    convert_ref_colors(ext->ref_colors, *part, cv);
    // Element colours that have no colours to refer to are left out; the
    // rest is converted all the same.
    const bool colorsWhole = convert_elem_colors(ext->elem_colors, *part, cv);
    convert_attributes(ext->attributes, *part, cv);
    convert_units(ext->units, *part, cv);
    convert_item_names(ext->item_names, *part, cv);
    convert_faceted_reps(ext->faceted_reps, *part, cv);
    convert_dimensions(ext->dimensions, *part, cv);
    cv.records<neut_gtol, QelAnnotGtol>(part->geometric_tolerances, ext->gtols);
    cv.records<neut_annot_feature, QelAnnotFeature>(part->annotation_features,
                                                    ext->annot_features);
    cv.records<neut_datum_tag, QelAnnotDatumTag>(part->set_datum_tags, ext->datum_tags);
    cv.records<neut_annot_plane, QelAnnotPlane>(part->annot_planes, ext->annot_planes);
    cv.records<neut_note, QelAnnotNote>(part->notes, ext->notes);
    convert_model_class(ext->model_class, *part, cv);
    part->angular_dim_tolerance = ext->angular_dim_tolerance;
    part->linear_dim_tolerance = ext->linear_dim_tolerance;
    leave_out_unconvertible(*ext, cv);
    if (cv.status() == 0 && !colorsWhole)
        return kNoColors;
    return cv.status();
}

} // namespace

// Adds the extension's layers (those with items), reference and element
// colours, attributes, units, item names, faceted representations, the
// annotation records of words 10 to 15, the model class and the two
// dimension tolerances to `part`, which owns all it gets (release it with
// release_neutral_part). Arrays of the part are appended to; extended
// edges and solid regions are not converted. The extension is only read.
// What the part cannot carry (a layer without items, extended edges and
// solid regions, a texture name that is cut, a facet link outside its
// arrays, an attribute value of an unknown kind or one of kind 5 beyond 16
// bits) is told under
// "ConvertQelImpfeatExtend", once per kind (neut_tell).
//
// Returns 0; -2 for a null part or extension (nothing changes). A word whose
// array holds elements of another size than its layout is skipped and gives
// -2, and memory running out skips the record concerned and gives -10;
// element colours when the part has no colours record (no reference
// colours) are skipped and give -1 unless one of those came first. In
// every case the rest is converted.
extern "C" int ConvertQelImpfeatExtend(neut_part* part, const qel_intf_data_extend* ext) {
    Converter cv;
    const int status = convert_extend(part, ext, cv);
    cv.tell("ConvertQelImpfeatExtend");
    return status;
}

int neut_convert_extend(neut_part* part, const qel_intf_data_extend* ext, const char* teller) {
    Converter cv;
    const int status = convert_extend(part, ext, cv);
    cv.tell(teller);
    ReportQelImpfeatExtendStatus(teller, status);
    return status;
}

extern "C" void ReportQelImpfeatExtendStatus(const char* routine, int status) {
    switch (status) {
    case 0:
        return;
    case kNoColors:
        neut_tell(routine, "Element colours without reference colours were left out");
        return;
    case kBad:
        neut_tell(routine, "Extension data of another layout was left out");
        return;
    case kNoMem:
        neut_tell(routine, "Out of memory: extension data was left out");
        return;
    default: {
        char digits[16];
        const auto res = std::to_chars(digits, digits + sizeof digits, status);
        const std::string text =
            "Extension data was converted in part, status " + std::string(digits, res.ptr);
        neut_tell(routine, text.c_str());
    }
    }
}
