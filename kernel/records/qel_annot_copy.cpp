// Deep copy and release of the annotation records of an extension record.
//
// Each record type lists its owned fields once (`fields` below); the copier
// and the releaser walk those lists, so a record's copy and its release can
// never disagree on what it owns. The record types form a tree without
// recursion, so the walk is bounded by the records' depth.
#include "kernel/records/qel_annot_copy.h"

#include "btkstring.h"
#include "xmemory.h"
#include "kernel/records/qel_internal.h"

#include <cstring>
#include <type_traits>

namespace qel_detail {
namespace {

constexpr int kOk = QEL_OK;
constexpr int kBad = QEL_ERR_BAD_ARG;
constexpr int kNoMem = QEL_ERR_NO_MEMORY;

// ---- owned fields of every record -------------------------------------------------
// v.one(p): p owns one record (or one double); v.text(p): a terminated wide
// text; v.vals(a): an xar of records by value; v.ptrs(a): an xar of owned
// record pointers.

template <class V> void fields(V&, double&) {}
template <class V> void fields(V&, QelAnnotTyped&) {}
template <class V> void fields(V&, QelAnnotItemRef&) {}
template <class V> void fields(V&, QelAnnotPoint&) {}
template <class V> void fields(V&, QelAnnotUvParam&) {}
template <class V> void fields(V&, QelAnnotColorMap&) {}
template <class V> void fields(V&, QelAnnotArrow&) {}
template <class V> void fields(V&, QelAnnotTolLabel&) {}
template <class V> void fields(V&, QelAnnotAngleSense&) {}
template <class V> void fields(V&, QelAnnotDimText&) {}
template <class V> void fields(V&, QelAnnotOverall&) {}
template <class V> void fields(V&, QelAnnotComposite&) {}
template <class V> void fields(V&, QelAnnotPerUnit&) {}
template <class V> void fields(V&, QelAnnotProfBoundary&) {}
template <class V> void fields(V&, QelAnnotElbow&) {}
template <class V> void fields(V&, QelAnnotModelClass&) {}

template <class V> void fields(V& v, QelAnnotSelection& r) {
    v.one(r.model_item);
    v.one(r.uv_param);
    v.one(r.point);
}

template <class V> void fields(V& v, QelAnnotColor& r) {
    v.one(r.color_type);
    v.one(r.color_map);
}

template <class V> void fields(V& v, QelAnnotTextStyle& r) {
    v.one(r.justification);
    v.one(r.color);
}

template <class V> void fields(V& v, QelAnnotLocation& r) {
    v.one(r.point);
    v.one(r.elbow);
    v.one(r.arrow_1);
    v.one(r.arrow_2);
    v.one(r.witness_line_1);
    v.one(r.witness_line_2);
    v.one(r.z_ext_line_end_1);
    v.one(r.z_ext_line_end_2);
    v.one(r.normal);
}

template <class V> void fields(V& v, QelAnnotSense& r) {
    v.one(r.angle_sense);
    v.one(r.orient_hint);
}

template <class V> void fields(V& v, QelAnnotDimAttachment& r) {
    v.one(r.references[0]);
    v.one(r.references[1]);
    v.one(r.sense);
}

template <class V> void fields(V& v, QelAnnotDimension& r) {
    v.one(r.bound);
    v.one(r.tol_label);
    v.vals(r.text);
    v.one(r.text_style);
    v.one(r.location);
    v.one(r.annotation_plane);
    v.vals(r.attachments);
}

template <class V> void fields(V& v, QelAnnotGtolRef& r) { v.one(r.reference); }

template <class V> void fields(V& v, QelAnnotLeader& r) { v.one(r.attachment); }

template <class V> void fields(V& v, QelAnnotPlacement& r) {
    v.one(r.dimension);
    v.ptrs(r.leaders);
    v.one(r.gtol);
}

template <class V> void fields(V& v, QelAnnotDatumRef& r) {
    v.one(r.basic_datum);
    v.one(r.basic_matl_cond);
    v.one(r.compound_datum);
    v.one(r.compound_matl_cond);
}

template <class V> void fields(V& v, QelAnnotProjZone& r) { v.one(r.height); }

template <class V> void fields(V& v, QelAnnotGtol& r) {
    v.one(r.ref);
    v.one(r.overall);
    v.one(r.matl_cond);
    v.one(r.placement);
    v.one(r.annotation_plane);
    v.one(r.primary_datum_ref);
    v.one(r.secondary_datum_ref);
    v.one(r.tertiary_datum_ref);
    v.one(r.composite);
    v.one(r.per_unit);
    v.one(r.unit_area_style);
    v.one(r.proj_zone);
    v.one(r.prof_boundary);
}

template <class V> void fields(V& v, QelAnnotReference& r) {
    v.one(r.item);
    v.one(r.selection);
    v.one(r.original_item);
    v.one(r.original_selection);
}

template <class V> void fields(V& v, QelAnnotCollRef& r) { v.one(r.reference); }

template <class V> void fields(V& v, QelAnnotInstruction& r) {
    v.one(r.attr);
    v.ptrs(r.references);
}

template <class V> void fields(V& v, QelAnnotCollection& r) { v.ptrs(r.instructions); }

template <class V> void fields(V& v, QelAnnotElemRef& r) {
    v.one(r.reference);
    v.one(r.collection);
}

template <class V> void fields(V& v, QelAnnotElement& r) {
    v.one(r.annotation);
    v.ptrs(r.references);
}

template <class V> void fields(V& v, QelAnnotFeature& r) { v.ptrs(r.elements); }

template <class V> void fields(V& v, QelAnnotDatumTag& r) {
    v.one(r.reference);
    v.one(r.annot_plane);
    v.one(r.attachment);
    v.one(r.text_style);
}

template <class V> void fields(V& v, QelAnnotPlane& r) { v.one(r.reference); }

template <class V> void fields(V& v, QelAnnotTextLine& r) { v.text(r.line); }

template <class V> void fields(V& v, QelAnnotEndpoint& r) {
    v.one(r.point);
    v.one(r.attr);
}

template <class V> void fields(V& v, QelAnnotNormTanLeader& r) { v.one(r.attr); }

template <class V> void fields(V& v, QelAnnotNoteAttachment& r) {
    v.one(r.on_item);
    v.vals(r.endpoints);
    v.one(r.annotation_plane);
    v.one(r.norm_or_tan_leader);
}

template <class V> void fields(V& v, QelAnnotNote& r) {
    v.vals(r.text_lines);
    v.text(r.url);
    v.one(r.owner);
    v.one(r.leader_style);
    v.one(r.elbow);
    v.one(r.attachment);
    v.one(r.text_style);
}

// Visits every element of an xar: an owned pointer with v.one, a record by
// value through its fields.
template <class V, class T> void walk(V& v, T* arr) {
    const int n = xar_count(arr);
    for (int i = 0; i < n; ++i) {
        if constexpr (std::is_pointer_v<T>)
            v.one(arr[i]);
        else
            fields(v, arr[i]);
    }
}

// ---- the copier -------------------------------------------------------------------
// Replaces every owned field of a byte copy by a copy of its own. After the
// first failure the remaining fields are set to null instead, so the copy
// then owns exactly what was made and can be released as it stands.
class Copier {
public:
    int status() const { return st_; }

    template <class T> void one(T*& p) {
        if (!live(p))
            return;
        auto* made = static_cast<T*>(getmem(sizeof(T)));
        if (!made) {
            fail(p, kNoMem);
            return;
        }
        std::memcpy(made, p, sizeof(T));
        p = made;
        fields(*this, *made);
    }

    void text(char16_t*& p) {
        if (!live(p))
            return;
        const size_t n = size_t(wslen(p)) + 1;
        auto* made = static_cast<char16_t*>(getmem(n * sizeof(char16_t)));
        if (!made) {
            fail(p, kNoMem);
            return;
        }
        std::memcpy(made, p, n * sizeof(char16_t));
        p = made;
    }

    template <class T> void vals(T*& arr) {
        if (copy_array(arr))
            walk(*this, arr);
    }

    template <class T> void ptrs(T**& arr) {
        if (copy_array(arr))
            walk(*this, arr);
    }

private:
    template <class T> void fail(T*& p, int st) {
        p = nullptr;
        st_ = st;
    }

    // False when a field needs no copy: it is null, or an earlier failure
    // has been met (the field is then set to null).
    template <class T> bool live(T*& p) {
        if (p && st_ != kOk)
            p = nullptr;
        return p != nullptr;
    }

    // Replaces the handle by a byte copy of the array; false when there is
    // nothing to walk (no array, an earlier failure, or this one failed).
    template <class T> bool copy_array(T*& arr) {
        if (!live(arr))
            return false;
        if (!is_xar_of<T>(arr)) {
            fail(arr, kBad);
            return false;
        }
        T* made = nullptr;
        if (xar_cpy(made, arr) != kOk) {
            fail(arr, kNoMem);
            return false;
        }
        arr = made;
        return true;
    }

    int st_ = kOk;
};

// ---- the releaser ------------------------------------------------------------------
class Releaser {
public:
    int status() const { return st_; }

    template <class T> void one(T*& p) {
        if (!p)
            return;
        fields(*this, *p);
        rlsmem(p);
        p = nullptr;
    }

    void text(char16_t*& p) {
        rlsmem(p);
        p = nullptr;
    }

    template <class T> void vals(T*& arr) {
        if (walkable(arr))
            walk(*this, arr);
        xar_free(arr);
    }

    template <class T> void ptrs(T**& arr) {
        if (walkable(arr))
            walk(*this, arr);
        xar_free(arr);
    }

private:
    template <class T> bool walkable(T* arr) {
        if (is_xar_of<T>(arr))
            return true;
        st_ = kBad; // elements of unknown layout: the array goes, they stay
        return false;
    }

    int st_ = kOk;
};

// A word of the extension as a typed handle, written back after the walk.
template <class T> class Word {
public:
    explicit Word(void*& word) : word_(word), typed_(static_cast<T*>(word)) {}
    ~Word() { word_ = typed_; }
    Word(const Word&) = delete;
    Word& operator=(const Word&) = delete;
    T*& get() { return typed_; }

private:
    void*& word_;
    T* typed_;
};

// Words 10 to 15 with the element type each holds, and word 16.
template <class F> void each_array_word(qel_intf_data_extend& e, F&& f) {
    f(e.dimensions, static_cast<QelAnnotDimension*>(nullptr));
    f(e.gtols, static_cast<QelAnnotGtol**>(nullptr));
    f(e.annot_features, static_cast<QelAnnotFeature**>(nullptr));
    f(e.datum_tags, static_cast<QelAnnotDatumTag**>(nullptr));
    f(e.annot_planes, static_cast<QelAnnotPlane**>(nullptr));
    f(e.notes, static_cast<QelAnnotNote**>(nullptr));
}

// Walks one word with the visitor: records by value or record pointers.
template <class V, class Elem> void walk_word(V& v, void*& word, Elem* /*tag*/) {
    Word<Elem> w(word);
    if constexpr (std::is_pointer_v<Elem>)
        v.ptrs(w.get());
    else
        v.vals(w.get());
}

} // namespace

int annot_words_copy(const qel_intf_data_extend& src, qel_intf_data_extend& dst) {
    // The copier replaces handles in place: start from the source's handles.
    dst.dimensions = src.dimensions;
    dst.gtols = src.gtols;
    dst.annot_features = src.annot_features;
    dst.datum_tags = src.datum_tags;
    dst.annot_planes = src.annot_planes;
    dst.notes = src.notes;
    dst.model_class = src.model_class;
    Copier copier;
    each_array_word(dst, [&](void*& word, auto tag) { walk_word(copier, word, tag); });
    Word<QelAnnotModelClass> mc(dst.model_class);
    copier.one(mc.get());
    return copier.status();
}

int annot_words_free(qel_intf_data_extend& ext) {
    Releaser releaser;
    int st = kOk;
    each_array_word(ext, [&](void*& word, auto tag) {
        using Elem = std::remove_pointer_t<decltype(tag)>;
        if (!is_xar_of<Elem>(word)) {
            st = kBad; // not this layout: left to its owner
            return;
        }
        walk_word(releaser, word, tag);
    });
    {
        Word<QelAnnotModelClass> mc(ext.model_class);
        releaser.one(mc.get());
    }
    return st != kOk ? st : releaser.status();
}

} // namespace qel_detail
