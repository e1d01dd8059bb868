// The XML writer of one document and the element primitives.
#include "xml/framework/xml_writer.h"

#include "xml/framework/xml_streams.h"

#include <atomic>
#include <charconv>
#include <cstring>
#include <algorithm>
#include <string>

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

// Length of the UTF-8 sequence at text[i] when it encodes a character XML
// can carry, else 0.
size_t ValidSequence(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b = byte(i);
    if (b < 0x80)
        return (b >= 0x20 || b == '\t' || b == '\n' || b == '\r') ? 1 : 0;
    size_t len;
    uint32_t c;
    if ((b & 0xE0) == 0xC0) {
        len = 2;
        c = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        len = 3;
        c = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        len = 4;
        c = b & 0x07;
    } else {
        return 0;
    }
    if (i + len > text.size())
        return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    static constexpr uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE ||
        c == 0xFFFF)
        return 0;
    return len;
}

// Escapes what would otherwise end a value or text early or be folded by
// the reader: "&", "<", ">" and carriage returns in texts; in attribute
// values also quotes, line ends and tabs (which a parser turns into blanks).
// Bytes that are not UTF-8 of a character XML can carry become U+FFFD.
std::string Escape(std::string_view text, bool attribute) {
    std::string out;
    out.reserve(text.size() + 16);
    for (size_t i = 0; i < text.size();) {
        const size_t len = ValidSequence(text, i);
        if (len == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        if (len > 1) {
            out.append(text.substr(i, len));
            i += len;
            continue;
        }
        const char c = text[i++];
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += attribute ? ">" : "&gt;"; break;
        case '\r': out += "&#13;"; break;
        case '"': out += attribute ? "&quot;" : "\""; break;
        case '\n': out += attribute ? "&#10;" : "\n"; break;
        case '\t': out += attribute ? "&#9;" : "\t"; break;
        default: out += c; break;
        }
    }
    return out;
}


// Whether `text` goes out as it is (the common case: names and numbers).
bool Plain(std::string_view text, bool attribute) {
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c >= 0x80 || c == '&' || c == '<' || c == '>' || (attribute && c == '"'))
            return false;
    }
    return true;
}

void WriteEscaped(IntfXmlIOStream& out, std::string_view text, bool attribute) {
    if (Plain(text, attribute)) {
        out.Write(text);
        return;
    }
    std::string escaped = Escape(text, attribute);
    out.Write(escaped);
}

} // namespace

// ---- number texts -----------------------------------------------------------------

char* IntfXmlFormatInt(char* buf, int32_t value) {
    return std::to_chars(buf, buf + 31, value).ptr;
}

char* IntfXmlFormatDouble(char* buf, double value) {
    // "%.18lg": 18 significant digits, trailing zeros dropped, the exponent
    // form where printf would use it.
    return std::to_chars(buf, buf + 31, value, std::chars_format::general, 18).ptr;
}

void AppendInt(btkString& text, int32_t value) {
    char buf[32];
    *IntfXmlFormatInt(buf, value) = '\0';
    text += buf;
}

void AppendDouble(btkString& text, double value) {
    char buf[32];
    *IntfXmlFormatDouble(buf, value) = '\0';
    text += buf;
}

void AppendDoubleTriple(double x, double y, double z, btkString& text) {
    char buf[100];
    char* p = IntfXmlFormatDouble(buf, x);
    *p++ = ' ';
    p = IntfXmlFormatDouble(p, y);
    *p++ = ' ';
    p = IntfXmlFormatDouble(p, z);
    *p = '\0';
    text += buf;
}

void AppendIntTriple(int32_t a, int32_t b, int32_t c, btkString& text) {
    char buf[100];
    char* p = IntfXmlFormatInt(buf, a);
    *p++ = ' ';
    p = IntfXmlFormatInt(p, b);
    *p++ = ' ';
    p = IntfXmlFormatInt(p, c);
    *p = '\0';
    text += buf;
}

btkString& AppendChar(btkString& text, char c) {
    text += c;
    return text;
}

// ---- the writer -----------------------------------------------------------------------

namespace {

// The writer's stream while it has none: takes every byte and drops it.
class DropStream final : public IntfXmlIOStream {
public:
    DropStream() { SetOpen(); }
    ~DropStream() override { Discard(); }

protected:
    long ReadHook(char*, size_t) override { return 0; }
    long WriteHook(const char*, size_t n) override { return long(n); }
    bool CloseHook() override { return true; }
};

// Names up to this length are written in place, together with what
// surrounds them; longer ones piece by piece.
constexpr size_t kShortName = 256;
// Room for one number text.
constexpr size_t kNumberRoom = 32;

// Copies a name; short ones (the rule) without a call.
inline char* PutName(char* p, std::string_view name) {
    const char* s = name.data();
    const size_t n = name.size();
    if (n >= 8 && n <= 16) {
        uint64_t a, b;
        std::memcpy(&a, s, 8);
        std::memcpy(&b, s + n - 8, 8);
        std::memcpy(p, &a, 8);
        std::memcpy(p + n - 8, &b, 8);
    } else if (n >= 4 && n < 8) {
        uint32_t a, b;
        std::memcpy(&a, s, 4);
        std::memcpy(&b, s + n - 4, 4);
        std::memcpy(p, &a, 4);
        std::memcpy(p + n - 4, &b, 4);
    } else if (n > 0 && n < 4) {
        p[0] = s[0];
        p[n / 2] = s[n / 2];
        p[n - 1] = s[n - 1];
    } else if (n > 16) {
        std::memcpy(p, s, n);
    }
    return p + n;
}

char* PutNumber(char* p, double v) { return IntfXmlFormatDouble(p, v); }
char* PutNumber(char* p, int32_t v) { return IntfXmlFormatInt(p, v); }

// Cleared by the first top-level start tag of the process, whichever writer
// writes it.
std::atomic<bool> g_atDocumentStart{true};

// True for the first top-level start tag of the process, once.
bool TakeDocumentStart() {
    return g_atDocumentStart.load(std::memory_order_relaxed) &&
           g_atDocumentStart.exchange(false, std::memory_order_relaxed);
}

// The writer of the document being written on this thread (null: none).
// Read once per element primitive, so kept where the thread pointer finds
// it without a call.
thread_local IntfXmlWriter* t_current __attribute__((tls_model("initial-exec"))) = nullptr;

} // namespace

IntfXmlWriter::IntfXmlWriter(IntfXmlIOStream* out) : out_(out), sink_(out) {
    if (!out) {
        drop_.reset(new DropStream());
        sink_ = drop_.get();
    }
    open_.reserve(64);
    names_.reserve(1024);
}

IntfXmlWriter::~IntfXmlWriter() = default;

IntfXmlWriter& IntfXmlWriter::Current() {
    if (IntfXmlWriter* w = t_current)
        return *w;
    // Outside any document: the thread's own writer, which drops its bytes.
    static thread_local IntfXmlWriter idle(nullptr);
    return idle;
}

IntfXmlWriter::Use::Use(IntfXmlWriter& writer) : previous_(t_current) { t_current = &writer; }

IntfXmlWriter::Use::~Use() { t_current = previous_; }

bool IntfXmlWriter::AtDocumentStart() {
    return g_atDocumentStart.load(std::memory_order_relaxed);
}

void IntfXmlWriter::WriteHeader() {
    if (out_)
        out_->Write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
}

void IntfXmlWriter::CloseStartTag() {
    if (!open_.empty() && !open_.back().startClosed) {
        sink_->Put('>');
        if (!inText_)
            sink_->Put('\n');
        open_.back().startClosed = true;
    }
}

// Closes the parent's start tag (">" and, outside a text, a newline); a
// second or later top-level element begins on a new line; outside a text
// the tag is indented by one tab; then "<". At most 4 bytes.
inline char* IntfXmlWriter::OpenTagAt(char* p) {
    if (!open_.empty()) {
        if (!open_.back().startClosed) {
            *p++ = '>';
            if (!inText_)
                *p++ = '\n';
            open_.back().startClosed = true;
        }
    } else if (!TakeDocumentStart() && !inText_) {
        *p++ = '\n';
    }
    if (!inText_)
        *p++ = '\t';
    *p++ = '<';
    return p;
}

inline void IntfXmlWriter::OpenTag() { sink_->Commit(OpenTagAt(sink_->Reserve(4))); }

// After the end tag of an element that was not pushed (a whole element
// written at once): a newline inside a parent; the text has ended.
inline void IntfXmlWriter::AfterEnd() {
    if (!open_.empty())
        sink_->Put('\n');
    inText_ = false;
}

void IntfXmlWriter::StartElement(std::string_view name) {
    // The parent's start tag is closed first, so the new entry goes on the
    // stack only after that.
    if (name.size() <= kShortName) {
        sink_->Commit(PutName(OpenTagAt(sink_->Reserve(name.size() + 4)), name));
    } else {
        OpenTag();
        sink_->Write(name);
    }
    open_.push_back(OpenElement{uint32_t(names_.size()), uint32_t(name.size()), false});
    names_.append(name);
}

void IntfXmlWriter::WriteAttribute(std::string_view name, std::string_view value) {
    if (!out_)
        return;
    out_->Put(' ');
    out_->Write(name);
    out_->Write("=\"", 2);
    WriteEscaped(*out_, value, true);
    out_->Put('"');
}

void IntfXmlWriter::WriteAttribute(std::string_view name, int32_t value) {
    if (name.size() > kShortName) {
        char buf[kNumberRoom];
        WriteAttribute(name, std::string_view(buf, size_t(IntfXmlFormatInt(buf, value) - buf)));
        return;
    }
    char* p = sink_->Reserve(name.size() + kNumberRoom + 4);
    *p++ = ' ';
    p = PutName(p, name);
    *p++ = '=';
    *p++ = '"';
    p = IntfXmlFormatInt(p, value);
    *p++ = '"';
    sink_->Commit(p);
}

void IntfXmlWriter::WriteAttribute(std::string_view name, double value) {
    if (name.size() > kShortName) {
        char buf[kNumberRoom];
        WriteAttribute(name, std::string_view(buf, size_t(IntfXmlFormatDouble(buf, value) - buf)));
        return;
    }
    char* p = sink_->Reserve(name.size() + kNumberRoom + 4);
    *p++ = ' ';
    p = PutName(p, name);
    *p++ = '=';
    *p++ = '"';
    p = IntfXmlFormatDouble(p, value);
    *p++ = '"';
    sink_->Commit(p);
}

void IntfXmlWriter::BeginText() {
    inText_ = true;
    CloseStartTag();
}

void IntfXmlWriter::WriteText(std::string_view text) {
    BeginText();
    if (out_)
        WriteEscaped(*out_, text, false);
}

void IntfXmlWriter::TextRaw(std::string_view piece) { sink_->Write(piece); }

void IntfXmlWriter::TextChar(char c) { sink_->Put(c); }

void IntfXmlWriter::TextInt(int32_t value) {
    sink_->Commit(IntfXmlFormatInt(sink_->Reserve(kNumberRoom), value));
}

void IntfXmlWriter::TextDouble(double value) {
    sink_->Commit(IntfXmlFormatDouble(sink_->Reserve(kNumberRoom), value));
}

void IntfXmlWriter::EndElement() {
    // Unbalanced calls are a caller error; they write nothing.
    if (open_.empty())
        return;
    const OpenElement last = open_.back();
    open_.pop_back();
    const std::string_view name = NameOf(last);
    if (name.size() <= kShortName) {
        char* p = sink_->Reserve(name.size() + 5);
        if (last.startClosed) {
            if (!inText_)
                *p++ = '\t';
        } else {
            *p++ = '>';
        }
        *p++ = '<';
        *p++ = '/';
        p = PutName(p, name);
        *p++ = '>';
        if (!open_.empty())
            *p++ = '\n';
        sink_->Commit(p);
    } else {
        if (last.startClosed) {
            if (!inText_)
                sink_->Put('\t');
            sink_->Write("</", 2);
        } else {
            sink_->Write("></", 3);
        }
        sink_->Write(name);
        sink_->Put('>');
        if (!open_.empty())
            sink_->Put('\n');
    }
    names_.resize(last.offset);
    inText_ = false;
}

void IntfXmlWriter::NumbersElement(std::string_view name, const double* values, int n) {
    if (name.size() > kShortName || n > 64) {
        StartElement(name);
        BeginText();
        for (int i = 0; i < n; ++i) {
            if (i > 0)
                TextChar(' ');
            TextDouble(values[i]);
        }
        EndElement();
        return;
    }
    char* p = OpenTagAt(sink_->Reserve(2 * name.size() + 10 + size_t(n) * (kNumberRoom + 1)));
    p = PutName(p, name);
    *p++ = '>';
    for (int i = 0; i < n; ++i) {
        if (i > 0)
            *p++ = ' ';
        p = IntfXmlFormatDouble(p, values[i]);
    }
    *p++ = '<';
    *p++ = '/';
    p = PutName(p, name);
    *p++ = '>';
    if (!open_.empty())
        *p++ = '\n';
    sink_->Commit(p);
    inText_ = false;
}

template <class T>
void IntfXmlWriter::Sequence(std::string_view name, const T* values, int n, int perLine) {
    if (name.size() > kShortName) {
        StartElement(name);
        WriteAttribute("size", int32_t(n));
        BeginText();
        for (int i = 0; i < n; ++i) {
            sink_->Commit(PutNumber(sink_->Reserve(kNumberRoom), values[i]));
            TextChar(i % perLine == perLine - 1 ? '\n' : ' ');
        }
        EndElement();
        return;
    }
    OpenTag();
    char* p = sink_->Reserve(name.size() + kNumberRoom + 9);
    p = PutName(p, name);
    std::memcpy(p, " size=\"", 7);
    p = IntfXmlFormatInt(p + 7, int32_t(n));
    *p++ = '"';
    *p++ = '>';
    sink_->Commit(p);
    for (int i = 0; i < n;) {
        // As many values as surely fit at once.
        const int k = std::min(n - i, 256);
        p = sink_->Reserve(size_t(k) * (kNumberRoom + 1));
        for (const int end = i + k; i < end; ++i) {
            p = PutNumber(p, values[i]);
            *p++ = i % perLine == perLine - 1 ? '\n' : ' ';
        }
        sink_->Commit(p);
    }
    p = sink_->Reserve(name.size() + 4);
    *p++ = '<';
    *p++ = '/';
    p = PutName(p, name);
    *p++ = '>';
    sink_->Commit(p);
    AfterEnd();
}

void IntfXmlWriter::SequenceElement(std::string_view name, const double* values, int n,
                                    int perLine) {
    Sequence(name, values, n, perLine);
}

void IntfXmlWriter::SequenceElement(std::string_view name, const int32_t* values, int n,
                                    int perLine) {
    Sequence(name, values, n, perLine);
}

// ---- element primitives ----------------------------------------------------------------

void IntfXmlWriting::StartElement(const char* name) {
    IntfXmlWriter::Current().StartElement(name ? name : "");
}

void IntfXmlWriting::EndElement() { IntfXmlWriter::Current().EndElement(); }

void IntfXmlWriting::AddAttribute(const char* name, const char* value) {
    IntfXmlWriter::Current().WriteAttribute(name ? name : "", value ? value : "");
}

void IntfXmlWriting::AddAttribute(const char* name, int32_t value) {
    IntfXmlWriter::Current().WriteAttribute(name ? name : "", value);
}

void IntfXmlWriting::AddAttribute(const char* name, uint32_t value) {
    IntfXmlWriter::Current().WriteAttribute(name ? name : "", int32_t(value));
}

void IntfXmlWriting::AddAttribute(const char* name, double value) {
    IntfXmlWriter::Current().WriteAttribute(name ? name : "", value);
}

void IntfXmlWriting::AddText(const char* text) {
    IntfXmlWriter::Current().WriteText(text ? text : "");
}

void IntfXmlWriting::AddTextElement(const char* name, const char* text) {
    IntfXmlWriter& w = IntfXmlWriter::Current();
    w.StartElement(name ? name : "");
    w.WriteText(text ? text : "");
    w.EndElement();
}

void IntfXmlWriting::AddDoubleElement(const char* name, double value) {
    IntfXmlWriter::Current().NumbersElement(name ? name : "", &value, 1);
}

void IntfXmlWriting::AddIntElement(const char* name, int32_t value) {
    IntfXmlWriter& w = IntfXmlWriter::Current();
    w.StartElement(name ? name : "");
    w.BeginText();
    w.TextInt(value);
    w.EndElement();
}

void IntfXmlWriting::AddDoublesElement(const char* name, const double* values, int n) {
    IntfXmlWriter::Current().NumbersElement(name ? name : "", values, n);
}

void IntfXmlWriting::AddRealSeqText(const double* values, int n) {
    AddRealSeqTextOf(n, [values](int i) { return values[i]; });
}

void IntfXmlWriting::AddIntSeqText(const int32_t* values, int n) {
    IntfXmlWriter& w = IntfXmlWriter::Current();
    w.BeginText();
    for (int i = 0; i < n; ++i) {
        w.TextInt(values[i]);
        w.TextChar(i % 64 == 63 ? '\n' : ' ');
    }
}
