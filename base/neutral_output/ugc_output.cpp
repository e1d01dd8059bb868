#include "ugc_output.h"
#include "btk_quoted.h"

#include "kkatomicfile.h"
#include "standard_fds.h"
#include "unibuf.h"
#include "xhandle.h"
#include "xmemory.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

std::atomic<int> g_compress{0};
std::atomic<int> g_prod_id[3] = {0, 0, 0};

// ---- named streams ---------------------------------------------------------
struct StreamRegistry {
    std::mutex lock;
    std::map<std::u16string, xrchandle<KCStream>> streams;
};
StreamRegistry& streams() {
    static StreamRegistry* r = new StreamRegistry; // never destroyed
    return *r;
}
xrchandle<KCStream> find_stream(const char16_t* name) {
    StreamRegistry& r = streams();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.streams.find(name);
    return it == r.streams.end() ? xrchandle<KCStream>() : it->second;
}

// The file that a path reaches: a named buffer's file, or the path itself,
// converted strictly as the file locations convert names. A path that has
// no UTF-8 form (a lone surrogate) reaches no file: empty.
std::string file_of(const char16_t* path) {
    std::string file;
    if (FindUnibuf(path, &file))
        return file;
    if (!path || !btkStrUtf16ToUtf8Strict(path, file))
        return std::string();
    return file;
}

// Whether a comment is written as it is: UTF-8 without a line end.
// Anything else is written escaped, so that it reads back exactly.
bool comment_as_it_is(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '\n' || c == '\r')
            return false;
        if (c < 0x80) {
            ++i;
            continue;
        }
        const int n = btkUtf8CharLength(s.substr(i));
        if (n == 0)
            return false;
        i += size_t(n);
    }
    return true;
}

constexpr size_t kFlushAt = 1 << 16;
constexpr int kMaxDepth = 256;

} // namespace

// ---- output ------------------------------------------------------------------
struct ugc_output {
    // A file is written beside its target and put in its place by a close
    // without error (base/files/kkatomicfile.h).
    std::unique_ptr<kkAtomicFile> file;
    xrchandle<KCStream> stream;
    std::string buf;
    int error = 0;
    std::string why; // what the first error was, in words
    int depth = 0;
    bool compact = false;
    ugc_field_cache cache;
    void* user_data = nullptr;
    ugc_release_fn user_release = nullptr;

    ~ugc_output() { release_user_data(); }

    void release_user_data() {
        ugc_release_fn release = user_release;
        void* data = user_data;
        user_release = nullptr;
        user_data = nullptr;
        if (release)
            release(data);
    }
    void keep(int st, std::string reason = std::string()) {
        if (st == 0 || error != 0)
            return;
        error = st;
        if (!reason.empty())
            why = std::move(reason);
        else if (st == UGC_SCHEMA_ERROR)
            why = "a value does not fit its descriptor in the schema table";
        else
            why = "the write was cut short (no memory, or a hook failed)";
    }
    void flush() {
        if (buf.empty())
            return;
        if (error == UGC_IO_ERROR) {
            // Nothing more reaches a destination that failed.
        } else if (file) {
            if (!file->Write(buf.data(), buf.size()))
                keep(UGC_IO_ERROR, file->Error());
        } else if (stream) {
            size_t done = 0;
            while (done < buf.size()) {
                int n = int(std::min<size_t>(buf.size() - done, 1 << 30));
                int written = -1;
                std::string threw;
                try {
                    written = stream->Write(buf.data() + done, n);
                } catch (const std::exception& e) {
                    // A caller's stream that throws has failed like one
                    // that answers short; the exception stops here. Its
                    // words are the caller's: escaped where they stand.
                    threw = btkEscaped(e.what());
                } catch (...) {
                    threw = "an exception that is not a std::exception";
                }
                if (!threw.empty()) {
                    keep(UGC_IO_ERROR, "the stream's Write threw: " + threw);
                    break;
                }
                if (written != n) {
                    keep(UGC_IO_ERROR, "the stream's Write took " + std::to_string(written) +
                                           " of " + std::to_string(n) + " bytes");
                    break;
                }
                done += size_t(n);
            }
        }
        buf.clear();
    }
    void put(std::string_view s) {
        buf.append(s);
        if (buf.size() >= kFlushAt)
            flush();
    }
    void put(char c) { buf.push_back(c); }
    void indent() {
        if (!compact)
            buf.append(size_t(depth) * 2, ' ');
    }
    void end_line() {
        buf.push_back('\n');
        if (buf.size() >= kFlushAt)
            flush();
    }
};

struct ugc_field_cache::Impl {
    // Nodes of an unordered_map never move, so the resolved arrays (and
    // the descriptors inside them, which may be keys themselves) stay put.
    std::unordered_map<const ugc_dd_entry*, std::vector<ugc_dd_entry>> resolved;
};

ugc_field_cache::ugc_field_cache() : impl_(new Impl) {}
ugc_field_cache::~ugc_field_cache() { delete impl_; }

const ugc_dd_entry* ugc_field_cache::fields(const ugc_dd_entry* rd, int* count, ugc_output* ctx) {
    if (!rd || !rd->fields || rd->field_count <= 0) {
        *count = 0;
        return nullptr;
    }
    if (!rd->dict_hook) {
        *count = rd->field_count;
        return rd->fields;
    }
    auto it = impl_->resolved.find(rd);
    if (it == impl_->resolved.end()) {
        std::vector<ugc_dd_entry> copy(rd->fields, rd->fields + rd->field_count);
        rd->dict_hook(copy.data(), int(copy.size()), ctx);
        it = impl_->resolved.emplace(rd, std::move(copy)).first;
    }
    *count = int(it->second.size());
    return it->second.data();
}

namespace {

// ---- value texts ---------------------------------------------------------------
template <class T> void put_number(ugc_output& o, T v) {
    char tmp[64];
    auto r = std::to_chars(tmp, tmp + sizeof tmp, v);
    o.put(std::string_view(tmp, size_t(r.ptr - tmp)));
}

constexpr char kHex[] = "0123456789ABCDEF";

// The escapes of the text format without the quotes: well-formed UTF-8
// characters as they are, a byte that is not part of one as \xHH.
void put_escaped(ugc_output& o, std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        switch (c) {
        case '"': o.put("\\\""); break;
        case '\\': o.put("\\\\"); break;
        case '\n': o.put("\\n"); break;
        case '\r': o.put("\\r"); break;
        case '\t': o.put("\\t"); break;
        default:
            if (c >= 0x80) {
                if (const int n = btkUtf8CharLength(s.substr(i))) {
                    o.put(s.substr(i, size_t(n)));
                    i += size_t(n);
                    continue;
                }
            } else if (c >= 0x20 && c != 0x7F) {
                o.put(char(c));
                break;
            }
            const char esc[4] = {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
            o.put(std::string_view(esc, 4));
        }
        ++i;
    }
}

void put_quoted(ugc_output& o, std::string_view s) {
    o.put('"');
    put_escaped(o, s);
    o.put('"');
}

size_t wide_len(const char16_t* s, size_t limit) {
    size_t n = 0;
    while (n < limit && s[n])
        ++n;
    return n;
}

bool is_high(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// A wide text as UTF-8 with the escapes; a surrogate that is not half of a
// pair is written as \uHHHH.
void put_wide(ugc_output& o, const char16_t* s, size_t limit) {
    const std::u16string_view text(s, wide_len(s, limit));
    o.put('"');
    size_t run = 0; // start of the units not yet written
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (is_high(u) && i + 1 < text.size() && is_low(text[i + 1])) {
            ++i;
            continue;
        }
        if (!is_high(u) && !is_low(u))
            continue;
        put_escaped(o, btkStrUtf16ToUtf8(text.substr(run, i - run)));
        const char esc[6] = {'\\', 'u', kHex[u >> 12], kHex[(u >> 8) & 15], kHex[(u >> 4) & 15],
                             kHex[u & 15]};
        o.put(std::string_view(esc, 6));
        run = i + 1;
    }
    put_escaped(o, btkStrUtf16ToUtf8(text.substr(run)));
    o.put('"');
}

// ---- the walk --------------------------------------------------------------------
class Walker {
public:
    explicit Walker(ugc_output& o) : o_(o) {}

    // One top-level item.
    void root(const ugc_dd_entry& rd, void* rec) {
        if (rd.before_write)
            rd.before_write(&o_, rec);
        head(rd.name);
        if (!rec)
            absent(rd);
        else
            block(rd, static_cast<char*>(rec));
        if (rd.after_write)
            rd.after_write(&o_, rec);
    }

    void field(const ugc_dd_entry& f, char* rec) {
        char* at = f.external ? static_cast<char*>(f.external) : rec + f.position;
        uint32_t t = f.type;
        if (t & UGC_UNION)
            union_field(f, at, rec);
        else if (t & UGC_HAR)
            har_field(f, at);
        else if (t & UGC_DYN)
            dyn_field(f, at);
        else if (t & UGC_FIXED)
            fixed_field(f, at);
        else if ((t & UGC_PTR) || is_text_by_mark(t))
            ptr_field(f, at);
        else
            in_place(f, f.name, at);
    }

private:
    ugc_output& o_;

    // The mark on a narrow text: a pointer to a text of at most dims[0]
    // bytes.
    static bool is_text_by_mark(uint32_t t) {
        return (t & UGC_BASE_MASK) == UGC_T_TEXT && (t & UGC_MARK) != 0;
    }

    static bool is_record(const ugc_dd_entry& d) {
        return (d.type & UGC_BASE_MASK) == UGC_T_RECORD && d.fields && d.field_count > 0;
    }

    void head(std::string_view name) {
        o_.indent();
        o_.put(name);
    }
    void head_index(int i) {
        char tmp[24];
        tmp[0] = '[';
        auto r = std::to_chars(tmp + 1, tmp + sizeof tmp - 1, i);
        *r.ptr++ = ']';
        head(std::string_view(tmp, size_t(r.ptr - tmp)));
    }
    // Rest of an item line for an absent value.
    void absent(const ugc_dd_entry& d) {
        if (d.default_text && *d.default_text) {
            o_.put(' ');
            o_.put(d.default_text);
        }
        o_.end_line();
    }
    void schema_error(const ugc_dd_entry& d) {
        o_.keep(UGC_SCHEMA_ERROR, std::string("\"") + (d.name ? d.name : "") +
                                      "\" does not fit its descriptor in the schema table");
        absent(d);
    }
    void count_prefix(int n) {
        o_.put(" [");
        put_number(o_, n);
        o_.put(']');
    }

    // Rest of an item line for a record at `rec`: " {", fields, "}".
    void block(const ugc_dd_entry& rd, char* rec) {
        if (o_.depth >= kMaxDepth) {
            schema_error(rd);
            return;
        }
        o_.put(" {");
        o_.end_line();
        ++o_.depth;
        int n = 0;
        const ugc_dd_entry* fs = o_.cache.fields(&rd, &n, &o_);
        for (int i = 0; i < n; ++i)
            field(fs[i], rec);
        --o_.depth;
        o_.indent();
        o_.put('}');
        o_.end_line();
    }

    // One record item (named, or an array element): hooks around it.
    // `extra` is a second descriptor whose hooks run too (a union member).
    template <class Head>
    void record_item(Head&& put_head, const ugc_dd_entry& rd, const ugc_dd_entry* extra,
                     char* rec) {
        if (rd.before_write)
            rd.before_write(&o_, rec);
        if (extra && extra->before_write && rec)
            extra->before_write(&o_, rec);
        put_head();
        if (!rec)
            absent(rd);
        else
            block(extra ? *extra : rd, rec);
        if (extra && extra->after_write && rec)
            extra->after_write(&o_, rec);
        if (rd.after_write)
            rd.after_write(&o_, rec);
    }

    // Scalar or text values (no line end).
    bool scalar(const ugc_dd_entry& d, const char* at) {
        switch (d.type & UGC_BASE_MASK) {
        case UGC_T_INT: {
            int32_t v;
            std::memcpy(&v, at, sizeof v);
            put_number(o_, v);
            return true;
        }
        case UGC_T_DOUBLE: {
            double v;
            std::memcpy(&v, at, sizeof v);
            put_number(o_, v);
            return true;
        }
        case UGC_T_SHORT: {
            int16_t v;
            std::memcpy(&v, at, sizeof v);
            put_number(o_, v);
            return true;
        }
        case UGC_T_TEXT:
            put_quoted(o_, std::string_view(at, strnlen(at, size_t(std::max(d.dims[0], 0)))));
            return true;
        case UGC_T_WTEXT:
            put_wide(o_, reinterpret_cast<const char16_t*>(at), size_t(std::max(d.dims[0], 0)));
            return true;
        default:
            return false;
        }
    }

    static size_t scalar_size(uint32_t base) {
        switch (base) {
        case UGC_T_INT: return 4;
        case UGC_T_DOUBLE: return 8;
        case UGC_T_SHORT: return 2;
        default: return 0;
        }
    }

    // A value held in place at `at`, written as the item `name`.
    void in_place(const ugc_dd_entry& d, std::string_view name, char* at) {
        if (is_record(d)) {
            record_item([&] { head(name); }, d, nullptr, at);
            return;
        }
        head(name);
        if ((d.type & UGC_BASE_MASK) == UGC_T_RECORD) {
            absent(d); // a placeholder that no hook replaced, or an empty member
            return;
        }
        o_.put(' ');
        if (!scalar(d, at)) {
            o_.keep(UGC_SCHEMA_ERROR);
        }
        o_.end_line();
    }

    void ptr_field(const ugc_dd_entry& f, char* at) {
        char* p;
        std::memcpy(&p, at, sizeof p);
        uint32_t base = f.type & UGC_BASE_MASK;
        if (base == UGC_T_RECORD && is_record(f)) {
            record_item([&] { head(f.name); }, f, nullptr, p);
            return;
        }
        head(f.name);
        if (!p || base == UGC_T_RECORD) {
            absent(f);
            return;
        }
        o_.put(' ');
        if (base == UGC_T_TEXT && is_text_by_mark(f.type))
            put_quoted(o_, std::string_view(p, strnlen(p, size_t(std::max(f.dims[0], 0)))));
        else if (base == UGC_T_TEXT)
            put_quoted(o_, std::string_view(p));
        else if (base == UGC_T_WTEXT)
            put_wide(o_, reinterpret_cast<const char16_t*>(p), SIZE_MAX);
        else if (!scalar(f, p))
            o_.keep(UGC_SCHEMA_ERROR);
        o_.end_line();
    }

    // Numbers in a run of memory: `bytes` bytes of `base` values.
    void numbers(uint32_t base, const char* at, size_t count) {
        size_t sz = scalar_size(base);
        for (size_t i = 0; i < count; ++i) {
            o_.put(' ');
            if (base == UGC_T_INT) {
                int32_t v;
                std::memcpy(&v, at + i * sz, sz);
                put_number(o_, v);
            } else if (base == UGC_T_DOUBLE) {
                double v;
                std::memcpy(&v, at + i * sz, sz);
                put_number(o_, v);
            } else {
                int16_t v;
                std::memcpy(&v, at + i * sz, sz);
                put_number(o_, v);
            }
        }
    }

    // Elements of records (by value or by pointer) as "[i]" items.
    template <class Get>
    void record_elements(const ugc_dd_entry& f, bool by_pointer, int n, Get&& element_at) {
        head(f.name);
        count_prefix(n);
        o_.put(" {");
        o_.end_line();
        ++o_.depth;
        for (int i = 0; i < n; ++i) {
            char* e = element_at(i);
            if (by_pointer)
                std::memcpy(&e, static_cast<const void*>(e), sizeof e);
            record_item([&] { head_index(i); }, f, nullptr, e);
        }
        --o_.depth;
        o_.indent();
        o_.put('}');
        o_.end_line();
    }

    void dyn_field(const ugc_dd_entry& f, char* at) {
        void* arr;
        std::memcpy(&arr, at, sizeof arr);
        int n = xar_count(arr);
        if (n <= 0) {
            head(f.name);
            absent(f);
            return;
        }
        size_t es = size_t(xar_elem_size(arr));
        uint32_t base = f.type & UGC_BASE_MASK;
        char* data = static_cast<char*>(arr);
        if (f.type & UGC_PTR) {
            if (es != sizeof(void*) || !is_record(f)) {
                head(f.name);
                schema_error(f);
                return;
            }
            record_elements(f, true, n, [&](int i) { return data + size_t(i) * es; });
            return;
        }
        if (base == UGC_T_RECORD) {
            if (!is_record(f) || es != f.record_size) {
                head(f.name);
                schema_error(f);
                return;
            }
            record_elements(f, false, n, [&](int i) { return data + size_t(i) * es; });
            return;
        }
        head(f.name);
        if (base == UGC_T_WTEXT) {
            size_t len = size_t(std::max(f.dims[1], 0));
            if (len == 0 || es != len * sizeof(char16_t)) {
                schema_error(f);
                return;
            }
            count_prefix(n);
            for (int i = 0; i < n; ++i) {
                o_.put(' ');
                put_wide(o_, reinterpret_cast<const char16_t*>(data + size_t(i) * es), len);
            }
            o_.end_line();
            return;
        }
        size_t sz = scalar_size(base);
        if (sz == 0 || es % sz != 0) {
            schema_error(f);
            return;
        }
        size_t total = size_t(n) * (es / sz);
        count_prefix(int(std::min<size_t>(total, INT32_MAX)));
        numbers(base, data, total);
        o_.end_line();
    }

    void har_field(const ugc_dd_entry& f, char* at) {
        void* har;
        std::memcpy(&har, at, sizeof har);
        int n = har_total(har);
        if (n <= 0) {
            head(f.name);
            absent(f);
            return;
        }
        size_t es = size_t(har_entry_size(har));
        bool by_pointer = (f.type & UGC_PTR) != 0;
        if (!is_record(f) || es != (by_pointer ? sizeof(void*) : size_t(f.record_size))) {
            head(f.name);
            schema_error(f);
            return;
        }
        record_elements(f, by_pointer, n,
                         [&](int i) { return static_cast<char*>(har_access(har, i, nullptr, nullptr)); });
    }

    void fixed_field(const ugc_dd_entry& f, char* at) {
        int d0 = std::max(f.dims[0], 0);
        int d1 = f.dims[1] > 0 ? f.dims[1] : 1;
        int n = d0 * d1;
        uint32_t base = f.type & UGC_BASE_MASK;
        if (f.type & UGC_PTR) {
            if (!is_record(f)) {
                head(f.name);
                schema_error(f);
                return;
            }
            record_elements(f, true, n, [&](int i) { return at + size_t(i) * sizeof(void*); });
            return;
        }
        if (base == UGC_T_RECORD) {
            if (!is_record(f)) {
                head(f.name);
                schema_error(f);
                return;
            }
            record_elements(f, false, n, [&](int i) { return at + size_t(i) * f.record_size; });
            return;
        }
        head(f.name);
        if (scalar_size(base) == 0 || n == 0) {
            schema_error(f);
            return;
        }
        numbers(base, at, size_t(n));
        o_.end_line();
    }

    void union_field(const ugc_dd_entry& f, char* at, char* parent) {
        char* value = at;
        if (f.type & UGC_PTR)
            std::memcpy(&value, at, sizeof value);
        const ugc_dd_entry* m = value && f.union_selector ? f.union_selector(value, parent) : nullptr;
        if (!m) {
            head(f.name);
            absent(f);
            return;
        }
        auto put_head = [&] {
            head(f.name);
            o_.put(' ');
            o_.put(m->name ? m->name : "");
        };
        if (is_record(*m)) {
            // Hooks of the field and of the member both run.
            record_item(put_head, f, m, value);
            return;
        }
        if (f.before_write)
            f.before_write(&o_, value);
        put_head();
        if ((m->type & UGC_BASE_MASK) == UGC_T_RECORD) {
            absent(*m);
        } else {
            o_.put(' ');
            if (!scalar(*m, value))
                o_.keep(UGC_SCHEMA_ERROR);
            o_.end_line();
        }
        if (f.after_write)
            f.after_write(&o_, value);
    }
};

} // namespace

inline namespace zbase_internal {

// ---- entry points --------------------------------------------------------------
ugc_output* ugc_open_output_flags(const char16_t* path, int mode, int format, int options, int,
                                  int, int, int, int) {
    return ugc_open_output_why(path, mode, format, options, nullptr);
}

ugc_output* ugc_open_output_why(const char16_t* path, int mode, int format, int options,
                                std::string* why) {
    auto refuse = [why](std::string reason) -> ugc_output* {
        if (why)
            *why = std::move(reason);
        return nullptr;
    };
    if (!path || !*path)
        return refuse("no file name");
    if (!(mode & 2))
        return refuse("the output is not opened for writing");
    std::unique_ptr<ugc_output> out(new ugc_output);
    out->stream = find_stream(path);
    if (!out->stream) {
        const std::string file = file_of(path);
        if (file.empty())
            return refuse("the name has no UTF-8 form");
        out->file = std::make_unique<kkAtomicFile>();
        const kkDurability durability =
            options & UGC_OPEN_UNSYNCED ? kkDurability::Unsynced : kkDurability::Durable;
        if (!out->file->Open(file.c_str(), 0666, durability))
            return refuse(out->file->Error());
    }
    out->compact = !(options & UGC_OPEN_UNCOMPRESSED) && get_compress_output_files() != 0;
    out->put("NEUTRAL format ");
    put_number(*out, format);
    out->put(" product ");
    put_number(*out, g_prod_id[0].load());
    out->put(" version ");
    put_number(*out, g_prod_id[1].load());
    out->put(" date ");
    put_number(*out, g_prod_id[2].load());
    out->end_line();
    return out.release();
}

int ugc_writestruct(ugc_output* out, int, const ugc_dd_entry* dd, void* record, int) {
    if (!out || !dd)
        return UGC_BAD_ARG;
    try {
        Walker(*out).root(*dd, record);
    } catch (...) {
        // Nothing is thrown past this C entry point: a walk cut short (out
        // of memory, a hook that throws) is a failed write.
        out->keep(UGC_IO_ERROR);
    }
    return out->error;
}

int ugc_comment(ugc_output* out, const char* text) {
    if (!out)
        return UGC_BAD_ARG;
    const std::string_view s(text ? text : "");
    out->indent();
    if (comment_as_it_is(s)) {
        out->put('#');
        out->put(s);
    } else {
        out->put("\\#");
        put_quoted(*out, s);
    }
    out->end_line();
    return 0;
}

int ugc_close_output(ugc_output* out) { return ugc_close_output_why(out, nullptr); }

int ugc_close_output_why(ugc_output* out, std::string* why) {
    if (!out) {
        if (why)
            *why = "no output";
        return UGC_BAD_ARG;
    }
    try {
        out->put("END");
        out->end_line();
        out->flush();
    } catch (...) {
        out->keep(UGC_IO_ERROR);
    }
    out->release_user_data();
    if (out->file) {
        // Only a whole file takes the target's place; otherwise the target
        // stays as it was and only this write's own file is removed.
        if (out->error == 0) {
            if (!out->file->Commit())
                out->keep(UGC_IO_ERROR, out->file->Error());
        } else {
            out->file->Abandon();
        }
    }
    int st = out->error;
    if (st != 0 && why)
        *why = out->why;
    delete out;
    return st;
}

void ugc_set_user_data(ugc_output* out, void* data, ugc_release_fn release) {
    if (!out)
        return;
    out->release_user_data();
    out->user_data = data;
    out->user_release = release;
}

void* ugc_get_user_data(ugc_output* out) { return out ? out->user_data : nullptr; }

ugc_dd_entry* ugc_find_dd_entry(ugc_dd_entry* fields, int count, const char* name) {
    if (!fields || !name)
        return nullptr;
    for (int i = 0; i < count; ++i)
        if (fields[i].name && std::strcmp(fields[i].name, name) == 0)
            return &fields[i];
    return nullptr;
}

int ugc_replace_entry(ugc_dd_entry* fields, int count, const char* name,
                      const ugc_dd_entry* replacement, const char* new_name, ugc_output*) {
    ugc_dd_entry* e = ugc_find_dd_entry(fields, count, name);
    if (!e || !replacement)
        return UGC_BAD_ARG;
    uint32_t position = e->position;
    *e = *replacement;
    e->position = position;
    if (new_name)
        e->name = new_name;
    return 0;
}

int get_compress_output_files(void) { return g_compress.load(); }
void set_compress_output_files(int on) { g_compress.store(on); }

void file_set_default_prod_id(int product, int version, int datecode) {
    g_prod_id[0].store(product);
    g_prod_id[1].store(version);
    g_prod_id[2].store(datecode);
}

void dbg_err_syserr(const char* routine, const char* format, ...) {
    const std::string prefix = std::string("-") + (routine ? routine : "") + "- ";
    va_list args;
    va_start(args, format);
    btkTellLine(prefix.c_str(), format, args);
    va_end(args);
}

bool ugc_register_stream(const char16_t* name, KCStream* stream) {
    if (!name || !*name || !stream)
        return false;
    StreamRegistry& r = streams();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.streams.emplace(std::u16string(name), xrchandle<KCStream>(stream)).second;
}

bool ugc_unregister_stream(const char16_t* name) {
    if (!name)
        return false;
    xrchandle<KCStream> gone; // released after the lock is dropped
    StreamRegistry& r = streams();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.streams.find(name);
    if (it == r.streams.end())
        return false;
    gone = std::move(it->second);
    r.streams.erase(it);
    return true;
}

} // namespace zbase_internal
