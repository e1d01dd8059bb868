// The XML text writer and the element primitives of the bindings.
//
// Every document write has an IntfXmlWriter of its own, which holds all of
// that document's writing state (open elements, whether a text is being
// written, the nesting of composite curves), so that several threads write
// documents at once. While a write runs, its writer is the calling thread's
// current writer (IntfXmlWriter::Use), and the element primitives of the
// bindings (IntfXmlWriting) go to it. One thing is the process's: the
// at-document-start flag, cleared by the first top-level start tag any
// writer writes; every later top-level element begins on a new line.
//
// The writer knows no vocabulary: start an element, add attributes, add
// text, end the element; the layout is fixed:
//   - every start tag begins a line with one tab (whatever the depth);
//   - an element with children ends with a tab and its end tag on a line of
//     its own; a text-only element stands on one line;
//   - an empty element is a start tag directly followed by its end tag;
//   - nothing follows the outermost end tag.
// Escaping, so that every name and text reads back as written: in
// attribute values "&", "<", double quotes, tabs, line ends and carriage
// returns become references; in texts "&", "<", ">" and carriage returns
// do. Bytes that are not UTF-8 of a character XML can carry become U+FFFD.
// Names and numbers, the common case, go out unchanged.
//
// Numbers are written locale-free: integers as "%d", doubles as "%.18lg".
#pragma once

#include "api/zpi50_export.h"
#include "btkstring.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class IntfXmlIOStream;

class ZPI_API IntfXmlWriter {
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
    static IntfXmlWriter& Current();

    // Makes a writer the calling thread's current one while it lives; the
    // one current before comes back afterwards.
    class ZPI_API Use {
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
    void StartElement(std::string_view name);
    // One attribute of the start tag still open (escaped as above).
    void WriteAttribute(std::string_view name, std::string_view value);
    void WriteAttribute(std::string_view name, int32_t value);
    void WriteAttribute(std::string_view name, double value);
    // Text content of the innermost element (escaped as above).
    void WriteText(std::string_view text);
    void EndElement();

    // Streaming text: BeginText once, then any number of pieces, written
    // as they are (numbers and separators); the text ends with the element.
    void BeginText();
    void TextRaw(std::string_view piece);
    void TextChar(char c);
    void TextInt(int32_t value);
    void TextDouble(double value);

    // Whole elements whose only content is a text of numbers, the same
    // bytes as StartElement, BeginText, the numbers, EndElement:
    // the n doubles separated by single blanks;
    void NumbersElement(std::string_view name, const double* values, int n);
    // the n values each followed by a newline after every `perLine`th one
    // and a blank after the others, with the attribute size="n".
    void SequenceElement(std::string_view name, const double* values, int n, int perLine);
    void SequenceElement(std::string_view name, const int32_t* values, int n, int perLine);

    // True until the first top-level start tag of the process has been
    // written, by whichever writer.
    static bool AtDocumentStart();
    // Open elements (0 between documents).
    size_t Depth() const { return open_.size(); }
    IntfXmlIOStream* Stream() const { return out_; }
    // Composite curves being written one inside another.
    int& CurveNesting() { return curveNesting_; }

private:
    // An open element: its name is names_[offset, offset + length).
    struct OpenElement {
        uint32_t offset;
        uint32_t length;
        bool startClosed;
    };
    std::string_view NameOf(const OpenElement& e) const {
        return std::string_view(names_.data() + e.offset, e.length);
    }
    void CloseStartTag();
    // What StartElement writes up to "<", and its state changes.
    char* OpenTagAt(char* p);
    void OpenTag();
    // What EndElement writes after a text-only element's "</name>".
    void AfterEnd();
    template <class T>
    void Sequence(std::string_view name, const T* values, int n, int perLine);

    IntfXmlIOStream* out_ = nullptr;  // the caller's stream (null: none)
    std::unique_ptr<IntfXmlIOStream> drop_; // takes the bytes when there is no stream
    IntfXmlIOStream* sink_ = nullptr; // where bytes go: out_, or drop_
    std::vector<OpenElement> open_;
    std::string names_; // names of the open elements, one after another
    bool inText_ = false;
    int curveNesting_ = 0;
};

// Element primitives shared by every binding class. Each goes to the
// calling thread's current writer.
class ZPI_API IntfXmlWriting {
public:
    static void StartElement(const char* name);
    static void EndElement();
    static void AddAttribute(const char* name, const char* value);
    static void AddAttribute(const char* name, int32_t value);
    // The 32-bit value as "%d" (records keep some signed values unsigned).
    static void AddAttribute(const char* name, uint32_t value);
    static void AddAttribute(const char* name, double value);
    static void AddText(const char* text);
    // A whole element whose only content is the text.
    static void AddTextElement(const char* name, const char* text);
    // A whole element holding one number.
    static void AddDoubleElement(const char* name, double value);
    static void AddIntElement(const char* name, int32_t value);
    // A whole element holding the numbers joined by single blanks.
    static void AddDoublesElement(const char* name, const double* values, int n);
    // Sequence texts: every value followed by one separator, a newline after
    // every 16th double / 64th integer, a blank otherwise.
    static void AddRealSeqText(const double* values, int n);
    static void AddIntSeqText(const int32_t* values, int n);
    // The real sequence text of n doubles handed out by get(i), for arrays
    // that are not one block.
    template <class Get> static void AddRealSeqTextOf(int n, Get get) {
        IntfXmlWriter& w = IntfXmlWriter::Current();
        w.BeginText();
        for (int i = 0; i < n; ++i) {
            w.TextDouble(get(i));
            w.TextChar(i % 16 == 15 ? '\n' : ' ');
        }
    }
};

// Texts of numbers.
ZPI_API void AppendInt(btkString& text, int32_t value);
ZPI_API void AppendDouble(btkString& text, double value);
// x, y, z as "%.18lg" separated by one blank; nothing after z.
ZPI_API void AppendDoubleTriple(double x, double y, double z, btkString& text);
ZPI_API void AppendIntTriple(int32_t a, int32_t b, int32_t c, btkString& text);
ZPI_API btkString& AppendChar(btkString& text, char c);
// Formats into `buf` (at least 32 bytes); returns the end of the text.
ZPI_API char* IntfXmlFormatInt(char* buf, int32_t value);
ZPI_API char* IntfXmlFormatDouble(char* buf, double value);
