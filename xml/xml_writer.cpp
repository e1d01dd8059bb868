// The process-wide XML writer and the element primitives.
#include "xml/xml_writer.h"

#include "xml/xml_streams.h"

#include <charconv>
#include <cstring>
#include <mutex>

namespace {

IntfXmlWriter* g_writer = nullptr;
std::once_flag g_writerOnce;
xrchandle<IntfXmlWriter>* g_writerHandle = nullptr;

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

IntfXmlWriter& IntfXmlWriter::Instance() {
    std::call_once(g_writerOnce, [] {
        g_writer = new IntfXmlWriter();
        // The handle keeps the writer counted for the life of the process.
        g_writerHandle = new xrchandle<IntfXmlWriter>(g_writer);
    });
    return *g_writer;
}

xrchandle<IntfXmlWriter> IntfXmlWriter::GetWriter(IntfXmlIOStream* out) {
    IntfXmlWriter& w = Instance();
    if (out) {
        w.out_ = out;
        // Whatever a document that failed half-way left open is dropped so
        // that the new document starts clean.
        w.open_.clear();
        w.inText_ = false;
    }
    return xrchandle<IntfXmlWriter>(&w);
}

void IntfXmlWriter::WriteHeader() {
    if (out_)
        out_->Write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
}

void IntfXmlWriter::Indent() {
    if (!inText_ && out_)
        out_->Put('\t');
}

void IntfXmlWriter::Newline() {
    if (!inText_ && out_)
        out_->Put('\n');
}

void IntfXmlWriter::CloseStartTag() {
    if (!open_.empty() && !open_.back().startClosed) {
        if (out_)
            out_->Put('>');
        Newline();
        open_.back().startClosed = true;
    }
}

void IntfXmlWriter::StartElement(std::string_view name) {
    CloseStartTag();
    if (open_.empty() && !atDocumentStart_)
        Newline();
    Indent();
    atDocumentStart_ = false;
    open_.push_back(OpenElement{std::string(name), false});
    if (out_) {
        out_->Put('<');
        out_->Write(name);
    }
}

void IntfXmlWriter::WriteAttribute(std::string_view name, std::string_view value) {
    if (!out_)
        return;
    out_->Put(' ');
    out_->Write(name);
    out_->Write("=\"", 2);
    size_t from = 0;
    for (size_t amp = value.find('&'); amp != std::string_view::npos;
         amp = value.find('&', from)) {
        out_->Write(value.substr(from, amp - from));
        out_->Write("&amp;", 5);
        from = amp + 1;
    }
    out_->Write(value.substr(from));
    out_->Put('"');
}

void IntfXmlWriter::WriteAttribute(std::string_view name, int32_t value) {
    char buf[32];
    WriteAttribute(name, std::string_view(buf, size_t(IntfXmlFormatInt(buf, value) - buf)));
}

void IntfXmlWriter::WriteAttribute(std::string_view name, double value) {
    char buf[32];
    WriteAttribute(name, std::string_view(buf, size_t(IntfXmlFormatDouble(buf, value) - buf)));
}

void IntfXmlWriter::BeginText() {
    inText_ = true;
    CloseStartTag();
}

void IntfXmlWriter::WriteText(std::string_view text) {
    BeginText();
    if (out_)
        out_->Write(text);
}

void IntfXmlWriter::TextRaw(std::string_view piece) {
    if (out_)
        out_->Write(piece);
}

void IntfXmlWriter::TextChar(char c) {
    if (out_)
        out_->Put(c);
}

void IntfXmlWriter::TextInt(int32_t value) {
    char buf[32];
    TextRaw(std::string_view(buf, size_t(IntfXmlFormatInt(buf, value) - buf)));
}

void IntfXmlWriter::TextDouble(double value) {
    char buf[32];
    TextRaw(std::string_view(buf, size_t(IntfXmlFormatDouble(buf, value) - buf)));
}

void IntfXmlWriter::EndElement() {
    // Unbalanced calls are a caller error; they write nothing.
    if (open_.empty())
        return;
    OpenElement last = std::move(open_.back());
    open_.pop_back();
    if (out_) {
        if (last.startClosed) {
            Indent();
            out_->Write("</", 2);
        } else {
            out_->Write("></", 3);
        }
        out_->Write(last.name);
        out_->Put('>');
    }
    inText_ = false;
    if (!open_.empty())
        Newline();
}

// ---- element primitives ----------------------------------------------------------------

void IntfXmlWriting::StartElement(const char* name) {
    IntfXmlWriter::Instance().StartElement(name ? name : "");
}

void IntfXmlWriting::EndElement() { IntfXmlWriter::Instance().EndElement(); }

void IntfXmlWriting::AddAttribute(const char* name, const char* value) {
    IntfXmlWriter::Instance().WriteAttribute(name ? name : "", value ? value : "");
}

void IntfXmlWriting::AddAttribute(const char* name, int32_t value) {
    IntfXmlWriter::Instance().WriteAttribute(name ? name : "", value);
}

void IntfXmlWriting::AddAttribute(const char* name, uint32_t value) {
    IntfXmlWriter::Instance().WriteAttribute(name ? name : "", int32_t(value));
}

void IntfXmlWriting::AddAttribute(const char* name, double value) {
    IntfXmlWriter::Instance().WriteAttribute(name ? name : "", value);
}

void IntfXmlWriting::AddText(const char* text) {
    IntfXmlWriter::Instance().WriteText(text ? text : "");
}

void IntfXmlWriting::AddTextElement(const char* name, const char* text) {
    IntfXmlWriter& w = IntfXmlWriter::Instance();
    w.StartElement(name ? name : "");
    w.WriteText(text ? text : "");
    w.EndElement();
}

void IntfXmlWriting::AddDoubleElement(const char* name, double value) {
    IntfXmlWriter& w = IntfXmlWriter::Instance();
    w.StartElement(name ? name : "");
    w.BeginText();
    w.TextDouble(value);
    w.EndElement();
}

void IntfXmlWriting::AddIntElement(const char* name, int32_t value) {
    IntfXmlWriter& w = IntfXmlWriter::Instance();
    w.StartElement(name ? name : "");
    w.BeginText();
    w.TextInt(value);
    w.EndElement();
}

void IntfXmlWriting::AddDoublesElement(const char* name, const double* values, int n) {
    IntfXmlWriter& w = IntfXmlWriter::Instance();
    w.StartElement(name ? name : "");
    w.BeginText();
    for (int i = 0; i < n; ++i) {
        if (i > 0)
            w.TextChar(' ');
        w.TextDouble(values[i]);
    }
    w.EndElement();
}

void IntfXmlWriting::AddRealSeqText(const double* values, int n) {
    IntfXmlWriter& w = IntfXmlWriter::Instance();
    w.BeginText();
    for (int i = 0; i < n; ++i) {
        w.TextDouble(values[i]);
        w.TextChar(i % 16 == 15 ? '\n' : ' ');
    }
}

void IntfXmlWriting::AddIntSeqText(const int32_t* values, int n) {
    IntfXmlWriter& w = IntfXmlWriter::Instance();
    w.BeginText();
    for (int i = 0; i < n; ++i) {
        w.TextInt(values[i]);
        w.TextChar(i % 64 == 63 ? '\n' : ' ');
    }
}
