// The XML text writer and the element primitives of the bindings.
//
// Every document write has an IntfXmlWriter of its own, which holds all of
// that document's writing state (open elements, whether a text is being
// written, the nesting of composite curves), so that several threads write
// documents at once. While a write runs, its writer is the calling thread's
// current writer (IntfXmlWriter::Use), and the element primitives of the
// bindings (IntfXmlWriting) go to it. Nothing is the process's: a
// document's bytes do not depend on what was written before it.
//
// The writer knows no vocabulary: start an element, add attributes, add
// text, end the element; the layout is fixed:
//   - every start tag begins a line with one tab (whatever the depth); a
//     top-level one after an empty line (the root: after the declaration's
//     line and an empty one);
//   - an element with children ends with a tab and its end tag on a line of
//     its own; a text-only element stands on one line;
//   - an empty element is a start tag directly followed by its end tag;
//   - nothing follows the outermost end tag.
// Escaping, so that every name and text reads back as written: in
// attribute values "&", "<", double quotes, tabs, line ends and carriage
// returns become references; in texts "&", "<", ">" and carriage returns
// do. A value or text that is not UTF-8 of characters XML can carry (a
// control character other than tab, line feed and carriage return, U+FFFE,
// U+FFFF, a stray byte, an overlong form, a surrogate) is refused with
// IntfXmlError (INTFXML_ERR_RECORD) naming the attribute or text, its
// element and the character: replaced, it would read back other than
// written. Names and numbers, the common case, go out unchanged.
//
// Numbers are written locale-free: integers as "%d", doubles as "%.18lg".
//
// What every element goes through is inline here, so that a binding that
// writes an element of a fixed name writes its bytes straight into the
// stream's buffer; the rest is in xml_writer.cpp.
#pragma once

#include "api/zpi50_export.h"
#include "btkstring.h"
#include "xml/framework/xml_streams.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// What every element goes through is inlined where it is called.
#define INTFXML_INLINE [[gnu::always_inline]] inline

// Formats into `buf` (at least 32 bytes); returns the end of the text.
inline char* IntfXmlPutInt(char* buf, int32_t value) {
    return std::to_chars(buf, buf + 31, value).ptr;
}
inline char* IntfXmlPutDouble(char* buf, double value) {
    // "%.18lg": 18 significant digits, trailing zeros dropped, the exponent
    // form where printf would use it.
    return std::to_chars(buf, buf + 31, value, std::chars_format::general, 18).ptr;
}
inline char* IntfXmlPutNumber(char* buf, int32_t value) { return IntfXmlPutInt(buf, value); }
inline char* IntfXmlPutNumber(char* buf, double value) { return IntfXmlPutDouble(buf, value); }

class IntfXmlWriter;

#if defined(ZPI50_BUILD)
// The writer of the document being written on this thread (null: none); see
// IntfXmlWriter::Current. Kept where the thread pointer finds it without a
// call, as it is read for every element. Not exported: no other module
// binds to the library's thread-local storage.
extern __thread IntfXmlWriter* intfXmlCurrentWriter
    __attribute__((tls_model("initial-exec"), visibility("hidden")));
#endif

class IntfXmlWriter {
public:
    // A writer for one document into `out`; with a null `out` every byte
    // is dropped. The stream must outlive the writer.
    explicit IntfXmlWriter(IntfXmlIOStream* out);
    ~IntfXmlWriter();
    IntfXmlWriter(const IntfXmlWriter&) = delete;
    IntfXmlWriter& operator=(const IntfXmlWriter&) = delete;

    // The writer the element primitives of the calling thread go to: the
    // one of the innermost Use alive on this thread, else one of the
    // thread's own without a stream (what it is given is dropped).
    INTFXML_INLINE static IntfXmlWriter& Current() {
#if defined(ZPI50_BUILD)
        IntfXmlWriter* w = intfXmlCurrentWriter;
        return w ? *w : Idle();
#else
        // Outside the library (tests, tools) through a call: the pointer is
        // not exported.
        return CurrentByCall();
#endif
    }
    static IntfXmlWriter& CurrentByCall();

    // Makes a writer the calling thread's current one while it lives; the
    // one current before comes back afterwards.
    class Use {
    public:
        explicit Use(IntfXmlWriter& writer);
        ~Use();
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

    private:
        IntfXmlWriter* previous_;
    };

    // `<?xml version="1.0" encoding="UTF-8"?>` and a newline.
    void WriteHeader();
    INTFXML_INLINE void StartElement(std::string_view name) {
        if (name.size() > kShortName)
            return StartLong(name);
        sink_->Commit(PutName(OpenTagAt(sink_->Reserve(name.size() + 4)), name));
        Push(name);
    }
    // One attribute of the start tag still open (escaped as above).
    void WriteAttribute(std::string_view name, std::string_view value);
    INTFXML_INLINE void WriteAttribute(std::string_view name, int32_t value) {
        NumberAttribute(name, value);
    }
    INTFXML_INLINE void WriteAttribute(std::string_view name, double value) {
        NumberAttribute(name, value);
    }
    // Text content of the innermost element (escaped as above).
    void WriteText(std::string_view text);
    INTFXML_INLINE void EndElement() {
        // Unbalanced calls are a caller error; they write nothing.
        if (open_.empty())
            return;
        const OpenElement last = open_.back();
        if (last.length > kShortName)
            return EndLong();
        open_.pop_back();
        const std::string_view name = NameOf(last);
        char* p = sink_->Reserve(name.size() + 5);
        if (tagOpen_)
            *p++ = '>';
        else if (!inText_)
            *p++ = '\t';
        *p++ = '<';
        *p++ = '/';
        p = PutName(p, name);
        *p++ = '>';
        if (!open_.empty())
            *p++ = '\n';
        sink_->Commit(p);
        namesLen_ = last.offset;
        inText_ = false;
        tagOpen_ = false;
    }

    // Streaming text: BeginText once, then any number of pieces, written
    // as they are (numbers and separators); the text ends with the element.
    void BeginText();
    void TextRaw(std::string_view piece) { sink_->Write(piece); }
    void TextChar(char c) { sink_->Put(c); }
    void TextInt(int32_t value) {
        sink_->Commit(IntfXmlPutInt(sink_->Reserve(kNumberRoom), value));
    }
    void TextDouble(double value) {
        sink_->Commit(IntfXmlPutDouble(sink_->Reserve(kNumberRoom), value));
    }

    // Whole elements whose only content is a text of numbers, the same
    // bytes as StartElement, BeginText, the numbers, EndElement:
    // the n doubles separated by single blanks;
    void NumbersElement(std::string_view name, const double* values, int n) {
        if (name.size() > kShortName || n > kShortNumbers || n < 0)
            return NumbersLong(name, values, n);
        char* p = OpenTagAt(sink_->Reserve(2 * name.size() + 10 + size_t(n) * (kNumberRoom + 1)));
        p = PutName(p, name);
        *p++ = '>';
        for (int i = 0; i < n; ++i) {
            if (i > 0)
                *p++ = ' ';
            p = IntfXmlPutDouble(p, values[i]);
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
    // the n values each followed by a newline after every `perLine`th one
    // and a blank after the others, with the attribute size="n".
    void SequenceElement(std::string_view name, const double* values, int n, int perLine);
    void SequenceElement(std::string_view name, const int32_t* values, int n, int perLine);

    // Open elements (0 between documents).
    size_t Depth() const { return open_.size(); }
    // The name of the innermost open element (empty when none).
    std::string_view Innermost() const {
        return open_.empty() ? std::string_view() : NameOf(open_.back());
    }
    IntfXmlIOStream* Stream() const { return out_; }
    // Composite curves being written one inside another.
    int& CurveNesting() { return curveNesting_; }

private:
    // Names up to this length are written in place, together with what
    // surrounds them; longer ones piece by piece.
    static constexpr size_t kShortName = 256;
    // Room for one number text.
    static constexpr size_t kNumberRoom = 32;
    // Number elements of at most this many numbers are written at once.
    static constexpr int kShortNumbers = 64;

    // An open element: its name is names_[offset, offset + length).
    struct OpenElement {
        uint32_t offset;
        uint32_t length;
    };
    std::string_view NameOf(const OpenElement& e) const {
        return std::string_view(names_.get() + e.offset, e.length);
    }

    // Copies a name; a name whose length the compiler knows in a move or
    // two.
    INTFXML_INLINE static char* PutName(char* p, std::string_view name) {
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

    // Closes the parent's start tag (">" and, outside a text, a newline); a
    // top-level element begins on a line of its own after an empty one
    // (the root after the declaration's line: the same bytes whatever the
    // process wrote before); outside a text the tag is indented by one
    // tab; then "<". At most 4 bytes.
    INTFXML_INLINE char* OpenTagAt(char* p) {
        if (tagOpen_) {
            *p++ = '>';
            if (!inText_)
                *p++ = '\n';
            tagOpen_ = false;
        } else if (open_.empty() && !inText_) {
            *p++ = '\n';
        }
        if (!inText_)
            *p++ = '\t';
        *p++ = '<';
        return p;
    }
    template <class T> INTFXML_INLINE void NumberAttribute(std::string_view name, T value) {
        if (name.size() > kShortName)
            return AttributeLong(name, value);
        char* p = AttributeAt(sink_->Reserve(name.size() + kNumberRoom + 4), name);
        p = IntfXmlPutNumber(p, value);
        *p++ = '"';
        sink_->Commit(p);
    }
    // " name=\"": the attribute up to its value.
    INTFXML_INLINE static char* AttributeAt(char* p, std::string_view name) {
        *p++ = ' ';
        p = PutName(p, name);
        *p++ = '=';
        *p++ = '"';
        return p;
    }
    INTFXML_INLINE void Push(std::string_view name) {
        if (open_.size() == open_.capacity() || namesCap_ - namesLen_ < name.size() + 16)
            Grow(name.size());
        open_.push_back(OpenElement{uint32_t(namesLen_), uint32_t(name.size())});
        PutName(names_.get() + namesLen_, name);
        namesLen_ += name.size();
        tagOpen_ = true;
    }

    static IntfXmlWriter& Idle();
    // Room for one more open element named `length` bytes.
    void Grow(size_t length);
    void CloseStartTag();
    void OpenTag();
    // What EndElement writes after a text-only element's "</name>".
    void AfterEnd();
    // The same for long names, many numbers and the like.
    void StartLong(std::string_view name);
    template <class T> void AttributeLong(std::string_view name, T value);
    void EndLong();
    void NumbersLong(std::string_view name, const double* values, int n);
    template <class T>
    void Sequence(std::string_view name, const T* values, int n, int perLine);

    IntfXmlIOStream* out_ = nullptr;  // the caller's stream (null: none)
    std::unique_ptr<IntfXmlIOStream> drop_; // takes the bytes when there is no stream
    IntfXmlIOStream* sink_ = nullptr; // where bytes go: out_, or drop_
    std::vector<OpenElement> open_;
    // Names of the open elements, one after another.
    std::unique_ptr<char[]> names_;
    size_t namesLen_ = 0;
    size_t namesCap_ = 0;
    bool inText_ = false;
    // The start tag of the innermost open element still lacks its ">".
    bool tagOpen_ = false;
    int curveNesting_ = 0;
};

// Element primitives shared by every binding class. Each goes to the
// calling thread's current writer. A null name or text stands for an empty
// one.
class IntfXmlWriting {
public:
    INTFXML_INLINE static void StartElement(const char* name) { ToWriter().StartElement(AsText(name)); }
    INTFXML_INLINE static void EndElement() { ToWriter().EndElement(); }
    INTFXML_INLINE static void AddAttribute(const char* name, const char* value) {
        ToWriter().WriteAttribute(AsText(name), AsText(value));
    }
    INTFXML_INLINE static void AddAttribute(const char* name, int32_t value) {
        ToWriter().WriteAttribute(AsText(name), value);
    }
    // The 32-bit value as "%d" (records keep some signed values unsigned).
    INTFXML_INLINE static void AddAttribute(const char* name, uint32_t value) {
        ToWriter().WriteAttribute(AsText(name), int32_t(value));
    }
    INTFXML_INLINE static void AddAttribute(const char* name, double value) {
        ToWriter().WriteAttribute(AsText(name), value);
    }
    INTFXML_INLINE static void AddText(const char* text) { ToWriter().WriteText(AsText(text)); }
    // A whole element whose only content is the text.
    INTFXML_INLINE static void AddTextElement(const char* name, const char* text) {
        IntfXmlWriter& w = ToWriter();
        w.StartElement(AsText(name));
        w.WriteText(AsText(text));
        w.EndElement();
    }
    // A whole element holding one number.
    INTFXML_INLINE static void AddDoubleElement(const char* name, double value) {
        ToWriter().NumbersElement(AsText(name), &value, 1);
    }
    INTFXML_INLINE static void AddIntElement(const char* name, int32_t value) {
        IntfXmlWriter& w = ToWriter();
        w.StartElement(AsText(name));
        w.BeginText();
        w.TextInt(value);
        w.EndElement();
    }
    // A whole element holding the numbers joined by single blanks.
    INTFXML_INLINE static void AddDoublesElement(const char* name, const double* values, int n) {
        ToWriter().NumbersElement(AsText(name), values, n);
    }
    // Sequence texts: every value followed by one separator, a newline after
    // every 16th double / 64th integer, a blank otherwise.
    INTFXML_INLINE static void AddRealSeqText(const double* values, int n) {
        AddRealSeqTextOf(n, [values](int i) { return values[i]; });
    }
    INTFXML_INLINE static void AddIntSeqText(const int32_t* values, int n) {
        IntfXmlWriter& w = ToWriter();
        w.BeginText();
        for (int i = 0; i < n; ++i) {
            w.TextInt(values[i]);
            w.TextChar(i % 64 == 63 ? '\n' : ' ');
        }
    }
    // The real sequence text of n doubles handed out by get(i), for arrays
    // that are not one block.
    template <class Get> static void AddRealSeqTextOf(int n, Get get) {
        IntfXmlWriter& w = ToWriter();
        w.BeginText();
        for (int i = 0; i < n; ++i) {
            w.TextDouble(get(i));
            w.TextChar(i % 16 == 15 ? '\n' : ' ');
        }
    }

private:
    INTFXML_INLINE static IntfXmlWriter& ToWriter() { return IntfXmlWriter::Current(); }
    INTFXML_INLINE static std::string_view AsText(const char* s) { return s ? std::string_view(s) : std::string_view(); }
};

// Texts of numbers.
void AppendInt(btkString& text, int32_t value);
void AppendDouble(btkString& text, double value);
// x, y, z as "%.18lg" separated by one blank; nothing after z.
void AppendDoubleTriple(double x, double y, double z, btkString& text);
void AppendIntTriple(int32_t a, int32_t b, int32_t c, btkString& text);
btkString& AppendChar(btkString& text, char c);
// Formats into `buf` (at least 32 bytes); returns the end of the text.
char* IntfXmlFormatInt(char* buf, int32_t value);
char* IntfXmlFormatDouble(char* buf, double value);
