// The XML writer of one document and the element primitives.
#include "xml/framework/xml_writer.h"

#include "kernel/records/wide_name.h"
#include "xml/framework/xml_element.h"

#include <charconv>
#include <cxxabi.h>
#include <cstring>
#include <memory>
#include <new>
#include <algorithm>
#include <cstdio>
#include <string>

namespace {

// What is wrong at text[at], where XmlCharLength found no character XML
// can carry.
std::string Uncarriable(std::string_view text, size_t at) {
    char what[64];
    const int len = btkUtf8CharLength(text.substr(at));
    if (len == 0) {
        std::snprintf(what, sizeof what, "the byte 0x%02X, which is not UTF-8 of a character",
                      unsigned(static_cast<unsigned char>(text[at])));
        return what;
    }
    const std::u16string units = btkStrUtf8ToUtf16(text.substr(at, size_t(len)));
    std::snprintf(what, sizeof what, "U+%04X, which XML cannot carry", unsigned(units[0]));
    return what;
}

// Escapes what would otherwise end a value or text early or be folded by
// the reader: "&", "<", ">" and carriage returns in texts; in attribute
// values also quotes, line ends and tabs (which a parser turns into blanks).
// A text that is not UTF-8 of characters XML can carry is refused, as the
// document would read back other than written: false, with the position
// of what cannot be carried in `bad`.
bool Escape(std::string_view text, bool attribute, std::string& out, size_t& bad) {
    out.reserve(text.size() + 16);
    for (size_t i = 0; i < text.size();) {
        const size_t len = kname::XmlCharLength(text, i);
        if (len == 0) {
            bad = i;
            return false;
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
    return true;
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

// Writes the text escaped; false (nothing written) when it cannot be
// carried, with the position in `bad`.
bool WriteEscaped(IntfXmlIOStream& out, std::string_view text, bool attribute, size_t& bad) {
    if (Plain(text, attribute)) {
        out.Write(text);
        return true;
    }
    std::string escaped;
    if (!Escape(text, attribute, escaped, bad))
        return false;
    out.Write(escaped);
    return true;
}

// Refuses the text that `what` names, which holds at `bad` what XML cannot
// carry.
[[noreturn]] void RefuseText(const std::string& what, std::string_view text, size_t bad) {
    IntfXmlThrow(INTFXML_ERR_RECORD, "%s holds %s: %s", what.c_str(),
                 Uncarriable(text, bad).c_str(), kname::Shown(text).c_str());
}

} // namespace

// ---- number texts -----------------------------------------------------------------

char* IntfXmlFormatInt(char* buf, int32_t value) { return IntfXmlPutInt(buf, value); }

char* IntfXmlFormatDouble(char* buf, double value) { return IntfXmlPutDouble(buf, value); }

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

__thread IntfXmlWriter* intfXmlCurrentWriter
    __attribute__((tls_model("initial-exec"), visibility("hidden"))) = nullptr;

// This library's handle, as thread_local destructors are registered with.
extern "C" void* __dso_handle;

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

} // namespace

IntfXmlWriter::IntfXmlWriter(IntfXmlIOStream* out) : out_(out), sink_(out) {
    if (!out) {
        drop_.reset(new DropStream());
        sink_ = drop_.get();
    }
    open_.reserve(64);
    namesCap_ = 1024;
    names_.reset(new char[namesCap_]);
}

void IntfXmlWriter::Grow(size_t length) {
    if (open_.size() == open_.capacity())
        open_.reserve(2 * open_.capacity());
    if (namesCap_ - namesLen_ < length + 16) {
        const size_t cap = std::max(2 * namesCap_, namesLen_ + length + 16);
        std::unique_ptr<char[]> grown(new char[cap]);
        std::memcpy(grown.get(), names_.get(), namesLen_);
        names_ = std::move(grown);
        namesCap_ = cap;
    }
}

IntfXmlWriter::~IntfXmlWriter() = default;

namespace {

// The thread's idle writer, made when first asked for and deleted with the
// thread's thread-locals. Only the pointer is thread-local: the library's
// static TLS need stays a few pointers (see t_blocks in xml_element.cpp).
// It is a plain pointer, never destroyed itself: a thread-local destructor
// that writes after the writer went (one made before the thread first
// wrote goes after it) finds it null and gets a new writer, deleted in turn
// right after that destructor.
__thread IntfXmlWriter* t_idle = nullptr;

void DeleteIdle(void* writer) {
    if (t_idle == writer)
        t_idle = nullptr;
    delete static_cast<IntfXmlWriter*>(writer);
}

} // namespace

IntfXmlWriter& IntfXmlWriter::Idle() {
    // Outside any document: the thread's own writer, which drops its bytes.
    if (!t_idle) {
        auto made = std::make_unique<IntfXmlWriter>(nullptr);
        // What a thread_local's destructor is registered with: it runs when
        // the thread ends, or right after the destructor running now.
        if (__cxxabiv1::__cxa_thread_atexit(&DeleteIdle, made.get(), &__dso_handle) != 0)
            throw std::bad_alloc();
        t_idle = made.release();
    }
    return *t_idle;
}

IntfXmlWriter& IntfXmlWriter::CurrentByCall() { return Current(); }

IntfXmlWriter::Use::Use(IntfXmlWriter& writer) : previous_(intfXmlCurrentWriter) {
    intfXmlCurrentWriter = &writer;
}

IntfXmlWriter::Use::~Use() { intfXmlCurrentWriter = previous_; }

void IntfXmlWriter::WriteHeader() {
    if (out_)
        out_->Write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
}

void IntfXmlWriter::CloseStartTag() {
    if (tagOpen_) {
        sink_->Put('>');
        if (!inText_)
            sink_->Put('\n');
        tagOpen_ = false;
    }
}

void IntfXmlWriter::OpenTag() { sink_->Commit(OpenTagAt(sink_->Reserve(4))); }

// After the end tag of an element that was not pushed (a whole element
// written at once): a newline inside a parent; the text has ended.
void IntfXmlWriter::AfterEnd() {
    if (!open_.empty())
        sink_->Put('\n');
    inText_ = false;
}

void IntfXmlWriter::StartLong(std::string_view name) {
    // The parent's start tag is closed first, so the new entry goes on the
    // stack only after that.
    OpenTag();
    sink_->Write(name);
    Push(name);
}

void IntfXmlWriter::WriteAttribute(std::string_view name, std::string_view value) {
    if (!out_)
        return;
    out_->Put(' ');
    out_->Write(name);
    out_->Write("=\"", 2);
    if (size_t bad = 0; !WriteEscaped(*out_, value, true, bad))
        RefuseText("the \"" + std::string(name) + "\" of \"" + std::string(Innermost()) + "\"",
                   value, bad);
    out_->Put('"');
}

template <class T> void IntfXmlWriter::AttributeLong(std::string_view name, T value) {
    char buf[kNumberRoom];
    WriteAttribute(name, std::string_view(buf, size_t(IntfXmlPutNumber(buf, value) - buf)));
}

template void IntfXmlWriter::AttributeLong(std::string_view, int32_t);
template void IntfXmlWriter::AttributeLong(std::string_view, double);

void IntfXmlWriter::BeginText() {
    inText_ = true;
    CloseStartTag();
}

void IntfXmlWriter::WriteText(std::string_view text) {
    BeginText();
    if (size_t bad = 0; out_ && !WriteEscaped(*out_, text, false, bad))
        RefuseText("the text of \"" + std::string(Innermost()) + "\"", text, bad);
}

void IntfXmlWriter::EndLong() {
    const OpenElement last = open_.back();
    open_.pop_back();
    if (tagOpen_) {
        sink_->Write("></", 3);
    } else {
        if (!inText_)
            sink_->Put('\t');
        sink_->Write("</", 2);
    }
    sink_->Write(NameOf(last));
    sink_->Put('>');
    if (!open_.empty())
        sink_->Put('\n');
    namesLen_ = last.offset;
    inText_ = false;
    tagOpen_ = false;
}

void IntfXmlWriter::NumbersLong(std::string_view name, const double* values, int n) {
    StartElement(name);
    BeginText();
    for (int i = 0; i < n; ++i) {
        if (i > 0)
            TextChar(' ');
        TextDouble(values[i]);
    }
    EndElement();
}

template <class T>
void IntfXmlWriter::Sequence(std::string_view name, const T* values, int n, int perLine) {
    if (name.size() > kShortName) {
        StartElement(name);
        WriteAttribute("size", int32_t(n));
        BeginText();
        for (int i = 0; i < n; ++i) {
            sink_->Commit(IntfXmlPutNumber(sink_->Reserve(kNumberRoom), values[i]));
            TextChar(i % perLine == perLine - 1 ? '\n' : ' ');
        }
        EndElement();
        return;
    }
    OpenTag();
    char* p = sink_->Reserve(name.size() + kNumberRoom + 9);
    p = PutName(p, name);
    std::memcpy(p, " size=\"", 7);
    p = IntfXmlPutInt(p + 7, int32_t(n));
    *p++ = '"';
    *p++ = '>';
    sink_->Commit(p);
    for (int i = 0; i < n;) {
        // As many values as surely fit at once.
        const int k = std::min(n - i, 256);
        p = sink_->Reserve(size_t(k) * (kNumberRoom + 1));
        for (const int end = i + k; i < end; ++i) {
            p = IntfXmlPutNumber(p, values[i]);
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
