// Writing a neutral part through the serializer engine, and freeing one by
// walking the same schema table.
#include "neutral/neutral_writer.h"

#include "neutral/neutral_convert.h"
#include "neutral/neutral_schema.h"
#include "xmemory.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Status of a write.
enum { kWritten = 0, kOpenFailed = 9, kCloseFailed = 65 };

// ---- preparation: curve records take their holder's curve_type ---------------------
void set_type(neut_curve* curve, int32_t type) {
    if (curve)
        curve->type = type;
}

void prepare_uv_curve(neut_uv_curve* c) {
    if (c)
        set_type(c->curve, c->curve_type);
}

void prepare_surface(neut_surface* s) {
    if (!s || !s->surface)
        return;
    switch (s->surface_type) {
    case NEUT_SURF_FILLET_SRF: {
        auto* f = static_cast<neut_fillet_srf*>(s->surface);
        for (neut_spline* sp : {f->pnt_spline, f->ctr_spline, f->tan_spline})
            if (sp)
                sp->type = NEUT_CURVE_SPLINE;
        break;
    }
    case NEUT_SURF_RUL_SRF: {
        auto* r = static_cast<neut_rul_srf*>(s->surface);
        set_type(r->C1, r->curve_type1);
        set_type(r->C2, r->curve_type2);
        break;
    }
    case NEUT_SURF_SRF_REV:
    case NEUT_SURF_TAB_CYL: {
        auto* r = static_cast<neut_srf_rev*>(s->surface);
        set_type(r->C, r->curve_type);
        break;
    }
    default:
        break;
    }
}

// Pointer-array elements, when the array really holds pointers.
template <class T, class F> void each_pointer(T** arr, F&& f) {
    if (xar_elem_size(arr) != int(sizeof(T*)))
        return;
    for (int i = 0, n = xar_count(arr); i < n; ++i)
        f(arr[i]);
}

template <class T, class F> void each_entry(neut_har har, F&& f) {
    if (har_entry_size(har) != int(sizeof(T)))
        return;
    for (int i = 0, n = har_total(har); i < n; ++i)
        f(static_cast<T*>(har_access(har, i, nullptr, nullptr)));
}

void prepare_part(neut_part* part) {
    each_pointer(part->datum_curves, [](neut_datum_curve* dc) {
        if (!dc || !dc->curve)
            return;
        if (dc->is_composite == 0) {
            prepare_uv_curve(static_cast<neut_uv_curve*>(dc->curve));
            return;
        }
        neut_uv_curve* comps = static_cast<neut_composite_curve*>(dc->curve)->components;
        if (xar_elem_size(comps) == int(sizeof(neut_uv_curve)))
            for (int i = 0, n = xar_count(comps); i < n; ++i)
                prepare_uv_curve(&comps[i]);
    });
    each_entry<neut_edge>(part->edges, [](neut_edge* e) {
        set_type(e->curve, e->curve_type);
        prepare_uv_curve(e->uv_curves[0]);
        prepare_uv_curve(e->uv_curves[1]);
    });
    each_entry<neut_surface>(part->surfaces, prepare_surface);
    each_pointer(part->quilts, [](neut_quilt* q) {
        if (q)
            each_pointer(q->surfaces, prepare_surface);
    });
}

// ---- release -------------------------------------------------------------------------
// Records already released that pointer arrays hold. Every block of a part
// has one owner, except that a caller may put one record into two pointer
// arrays or twice into one (a surface in two quilts): such items are claimed
// before they are walked and freed, so each is walked and freed once.
// Open addressing with linear probing in a table that doubles: claiming n
// items costs O(n), with no allocation per item.
class BlockSet {
public:
    // True the first time `p` is claimed.
    bool claim(const void* p) {
        const auto key = reinterpret_cast<uintptr_t>(p);
        if (2 * (used_ + 1) > slots_.size())
            grow();
        for (size_t i = slot(key);; i = (i + 1) & mask_) {
            if (slots_[i] == key)
                return false;
            if (slots_[i] == 0) {
                slots_[i] = key;
                ++used_;
                return true;
            }
        }
    }

private:
    std::vector<uintptr_t> slots_;
    size_t used_ = 0;
    size_t mask_ = 0;
    int shift_ = 64;

    // Fibonacci hashing of the address without its alignment bits.
    size_t slot(uintptr_t key) const {
        return size_t((uint64_t(key >> 4) * 0x9E3779B97F4A7C15ull) >> shift_);
    }

    void grow() {
        std::vector<uintptr_t> old;
        old.swap(slots_);
        const size_t size = old.empty() ? size_t(1) << 10 : old.size() * 2;
        slots_.assign(size, 0);
        mask_ = size - 1;
        shift_ = 64 - std::countr_zero(size);
        for (uintptr_t key : old)
            if (key != 0)
                for (size_t i = slot(key);; i = (i + 1) & mask_)
                    if (slots_[i] == 0) {
                        slots_[i] = key;
                        break;
                    }
    }
};

// Frees what a neutral part holds by walking the schema table: every
// pointer, array and hidden comment text of every record it describes.
class Releaser {
public:
    // Frees what the record at `rec` holds (not the record itself), its
    // comment text included.
    void contents(const ugc_dd_entry& rd, char* rec) {
        free_comment(rec, neutral_comment_word(rd));
        int n = 0;
        const ugc_dd_entry* fs = cache_.fields(&rd, &n, nullptr);
        for (int i = 0; i < n; ++i)
            field(fs[i], rec);
    }

    // Frees a block that holds nothing of its own.
    static void block(void* p) { rlsmem(p); }

private:
    ugc_field_cache cache_;
    BlockSet items_;

    static bool is_record(const ugc_dd_entry& d) {
        return (d.type & UGC_BASE_MASK) == UGC_T_RECORD && d.fields && d.field_count > 0;
    }

    static void* load(const char* at) {
        void* p;
        std::memcpy(&p, at, sizeof p);
        return p;
    }

    // The comment text in 8-byte word `word` (1 to 3; 0: none).
    void free_comment(char* rec, int word) {
        if (word == 0)
            return;
        block(load(rec + 8 * (word - 1)));
    }

    // A record reached through a pointer: its content, then the block.
    // `extra_word` is the comment word of the union field that holds it.
    void owned(const ugc_dd_entry& rd, void* p, int extra_word = 0) {
        if (!p)
            return;
        auto* rec = static_cast<char*>(p);
        if (extra_word != neutral_comment_word(rd))
            free_comment(rec, extra_word);
        contents(rd, rec);
        rlsmem(p);
    }

    void field(const ugc_dd_entry& f, char* rec) {
        if (f.external)
            return; // lives outside the record
        char* at = rec + f.position;
        uint32_t t = f.type;
        if (t & UGC_UNION)
            union_field(f, at, rec);
        else if (t & UGC_HAR)
            har_field(f, at);
        else if (t & UGC_DYN)
            dyn_field(f, at);
        else if (t & UGC_FIXED)
            fixed_field(f, at);
        else if (t & UGC_PTR)
            ptr_field(f, at);
        else if (is_record(f))
            contents(f, at);
    }

    void ptr_field(const ugc_dd_entry& f, char* at) {
        void* p = load(at);
        if (!p)
            return;
        if (is_record(f))
            owned(f, p);
        else
            block(p);
    }

    void union_field(const ugc_dd_entry& f, char* at, char* parent) {
        // The one union held in place (an attribute's symbol value) has
        // plain values as members: nothing to free, and its selector is not
        // asked (it reports unknown types).
        if (!(f.type & UGC_PTR))
            return;
        char* value = static_cast<char*>(load(at));
        if (!value)
            return;
        if (f.union_selector == neutral_surface_member &&
            reinterpret_cast<neut_surface*>(parent)->surface_type == NEUT_SURF_BSPL_SRF_LARGE) {
            auto* s = reinterpret_cast<neut_bspl_srf_large*>(value);
            xar_free(s->u_params);
            xar_free(s->v_params);
            har_free(s->c_pnts);
            har_free(s->weights);
            rlsmem(value);
            return;
        }
        const ugc_dd_entry* m = f.union_selector ? f.union_selector(value, parent) : nullptr;
        if (m && is_record(*m))
            owned(*m, value, neutral_comment_word(f));
        else
            block(value);
    }

    // An element of a pointer array (see BlockSet).
    void item(const ugc_dd_entry& rd, void* p) {
        if (p && items_.claim(p))
            owned(rd, p);
    }

    void dyn_field(const ugc_dd_entry& f, char* at) {
        void* arr = load(at);
        if (!arr)
            return;
        int n = xar_count(arr);
        size_t es = size_t(xar_elem_size(arr));
        char* data = static_cast<char*>(arr);
        if ((f.type & UGC_PTR) && is_record(f) && es == sizeof(void*)) {
            for (int i = 0; i < n; ++i)
                item(f, load(data + size_t(i) * es));
        } else if (!(f.type & UGC_PTR) && is_record(f) && es == f.record_size) {
            for (int i = 0; i < n; ++i)
                contents(f, data + size_t(i) * es);
        }
        xar_free(&arr);
    }

    void har_field(const ugc_dd_entry& f, char* at) {
        void* har = load(at);
        if (!har)
            return;
        bool by_pointer = (f.type & UGC_PTR) != 0;
        size_t es = size_t(har_entry_size(har));
        if (is_record(f) && es == (by_pointer ? sizeof(void*) : size_t(f.record_size))) {
            // Page by page: the entries of a page lie one after the other.
            void* const* pages = static_cast<void* const*>(har);
            for (int p = 0, np = xar_count(har); p < np; ++p) {
                char* page = static_cast<char*>(pages[p]);
                for (int i = 0, n = xar_count(page); i < n; ++i) {
                    char* e = page + size_t(i) * es;
                    if (by_pointer)
                        item(f, load(e));
                    else
                        contents(f, e);
                }
            }
        }
        har_free(&har);
    }

    void fixed_field(const ugc_dd_entry& f, char* at) {
        if (!is_record(f))
            return;
        int n = std::max(f.dims[0], 0) * (f.dims[1] > 0 ? f.dims[1] : 1);
        for (int i = 0; i < n; ++i) {
            if (f.type & UGC_PTR) {
                item(f, load(at + size_t(i) * sizeof(void*)));
            } else {
                contents(f, at + size_t(i) * f.record_size);
            }
        }
    }
};

} // namespace

// Writes `part` in the neutral text format (base/neutral_output/ugc_output.h) to
// `location`: a stream or a named buffer registered under that name, or
// else a plain file path (UTF-16). Before writing, every curve record's
// leading type is set from the curve_type its holder records. The file is
// written uncompressed; the process-wide compression switch is neither
// read nor changed. Returns 1 when the file was written and closed
// without error, 0 otherwise (also for a null argument, and for a part
// whose arrays do not fit the schema table, and when a caller's stream
// fails or throws: nothing is thrown).
//
// A file is written beside its target and takes the target's place only
// when it is whole: a failed write leaves the file that was there as it
// was (or none), and a path that is not a regular file (a device, a fifo)
// is refused and never removed (base/files/kkatomicfile.h).
//
// While it runs, faceted representations hold element numbers instead of
// links; they are whole again afterwards, also after a failure. Each write
// keeps its state with itself, so several writes may run at once from
// different threads, each with a part of its own (a part is changed while
// it is written, so one part is written by one write at a time).
//
// A write that gives 0 says why through the neutral converters'
// diagnostics (neut_message, neutral/neutral_convert.h), under the routine
// "stream_neutral_to_pfa": the path and the system's text for a file
// ("cannot create \"...\": the folder is not writable (...)", "cannot
// write \"...\": No space left on device"), what a caller's stream did, or
// the field that did not fit the schema table.
int stream_neutral_to_pfa(const char16_t* location, neut_part* part) {
    std::string why;
    const int written = stream_neutral_to_pfa_why(location, part, &why);
    if (written != 1)
        neut_message("stream_neutral_to_pfa", why.c_str());
    return written;
}

int stream_neutral_to_pfa_why(const char16_t* location, neut_part* part, std::string* why,
                              kkDurability durability) {
    std::string reason;
    if (!location)
        reason = "no location";
    else if (!part)
        reason = "no neutral part";
    if (!reason.empty()) {
        if (why)
            *why = std::move(reason);
        return 0;
    }
    prepare_part(part);

    // Everything this write keeps lives with its own output: the neutral
    // file is always written uncompressed without touching the process-wide
    // switch, and the facet links are saved with the output.
    int result = kWritten;
    const int options =
        UGC_OPEN_UNCOMPRESSED | (durability == kkDurability::Unsynced ? UGC_OPEN_UNSYNCED : 0);
    ugc_output* out = ugc_open_output_why(location, 7, 1404, options, &reason);
    if (!out) {
        result = kOpenFailed;
    } else {
        ugc_writestruct(out, 0, neutral_part_dd(), part, 0);
        // A close that fails has already removed what this write made (the
        // newest version of the file, here its temporary file); the file
        // that was there before stays.
        if (ugc_close_output_why(out, &reason) != 0)
            result = kCloseFailed;
    }
    if (result != kWritten && why)
        *why = std::move(reason);
    return result == kWritten ? 1 : 0;
}

// Frees the part and every record, text and array under it, walking the
// schema table; linear in the size of the part. Each block must have one
// owner, except that a record may stand in several pointer arrays (or
// twice in one): it is freed once. 0, or -2 for a null part.
int release_neutral_part(neut_part* part) {
    if (!part)
        return -2;
    Releaser r;
    r.contents(*neutral_part_dd(), reinterpret_cast<char*>(part));
    r.block(part);
    return 0;
}
