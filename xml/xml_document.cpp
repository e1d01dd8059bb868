// Writing one whole document; escaped texts and attribute values.
#include "xml/xml_document.h"

#include "xml/xml_element.h"
#include "xml/xml_streams.h"
#include "xml/xml_writer.h"
#include "xml/xml_zpi.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>

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

// Escapes `text`; `attribute` also escapes quotes, line ends and tabs
// (which a parser would otherwise fold into blanks).
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

// Whether the writer's own attribute form carries the value unchanged.
bool PlainAttribute(std::string_view value) {
    for (size_t i = 0; i < value.size();) {
        const size_t len = ValidSequence(value, i);
        if (len == 0)
            return false;
        if (len == 1) {
            const char c = value[i];
            if (c == '<' || c == '"' || c == '\n' || c == '\r' || c == '\t')
                return false;
        }
        i += len;
    }
    return true;
}

} // namespace

void IntfXmlWriteDocument(const char* path, const std::function<void()>& body) {
    if (!path || !*path)
        IntfXmlThrow(INTFXML_ERR_OPEN, "no document name");
    std::lock_guard<std::mutex> lock(IntfXmlDocumentLock());
    std::unique_ptr<IntfXmlIOStream> stream = IntfXmlOpenOutput(path);
    try {
        IntfXmlWriter::GetWriter(stream.get());
        IntfXmlWriter::Instance().WriteHeader();
        if (body)
            body();
        IntfXmlCloseOutput(*stream, path);
    } catch (...) {
        stream.reset();
        if (!IntfXmlIsBnfsPath(path))
            std::remove(path);
        throw;
    }
}

std::string IntfXmlEscapeText(std::string_view text) { return Escape(text, false); }

void IntfXmlAddTextEscaped(std::string_view text) {
    IntfXmlWriter::Instance().WriteText(Escape(text, false));
}

void IntfXmlAddTextElementEscaped(const char* name, std::string_view text) {
    IntfXmlWriter& w = IntfXmlWriter::Instance();
    w.StartElement(name ? name : "");
    w.WriteText(Escape(text, false));
    w.EndElement();
}

void IntfXmlAddAttributeEscaped(const char* name, std::string_view value) {
    IntfXmlWriter& w = IntfXmlWriter::Instance();
    if (PlainAttribute(value)) {
        w.WriteAttribute(name ? name : "", value);
        return;
    }
    // The writer escapes only "&" in attribute values; this value needs
    // more. The start tag is still open, so the attribute goes straight
    // after it in the form the writer would give it.
    std::string attr = " ";
    attr += name ? name : "";
    attr += "=\"";
    attr += Escape(value, true);
    attr += '"';
    w.TextRaw(attr);
}
