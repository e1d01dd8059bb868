// The process-wide XML writer and the element primitives.
#include "xml/xml_writer.h"

#include "xml/xml_streams.h"

#include <charconv>
#include <cstring>
#include <mutex>
#include <string>

namespace {

IntfXmlWriter* g_writer = nullptr;
std::once_flag g_writerOnce;
xrchandle<IntfXmlWriter>* g_writerHandle = nullptr;

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
    WriteEscaped(*out_, value, true);
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
        WriteEscaped(*out_, text, false);
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
    AddRealSeqTextOf(n, [values](int i) { return values[i]; });
}

void IntfXmlWriting::AddIntSeqText(const int32_t* values, int n) {
    IntfXmlWriter& w = IntfXmlWriter::Instance();
    w.BeginText();
    for (int i = 0; i < n; ++i) {
        w.TextInt(values[i]);
        w.TextChar(i % 64 == 63 ? '\n' : ' ');
    }
}
