// Checks a told line or a refusal that quotes a text from outside as a
// reader of logs would take it: split at every line end any reader knows,
// and the quote read back by hand from the forms base/text/btk_quoted.h
// documents (\\, \", \xNN, \uNNNN; "..." after a cut one).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace quotedtest {

// The text a quote stands for, read from `shown` at its opening quote:
// false when it is no quote of the documented forms. `end`: just past it
// ("..." included); `cut`: it ended in "...".
inline bool ReadBack(std::string_view shown, size_t at, std::string& text, size_t& end, bool& cut) {
    auto hex = [&](size_t from, size_t digits, unsigned& value) {
        value = 0;
        if (from + digits > shown.size())
            return false;
        for (size_t k = from; k < from + digits; ++k) {
            const char c = shown[k];
            const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (d < 0)
                return false;
            value = value * 16 + unsigned(d);
        }
        return true;
    };
    text.clear();
    if (at >= shown.size() || shown[at] != '"')
        return false;
    for (size_t i = at + 1; i < shown.size();) {
        const char c = shown[i];
        if (c == '"') {
            cut = shown.substr(i + 1, 3) == "...";
            end = i + 1 + (cut ? 3 : 0);
            return true;
        }
        if (c != '\\') {
            text += c;
            ++i;
            continue;
        }
        const char kind = i + 1 < shown.size() ? shown[i + 1] : '\0';
        unsigned v = 0;
        if (kind == '\\' || kind == '"') {
            text += kind;
            i += 2;
        } else if (kind == 'x' && hex(i + 2, 2, v)) {
            text += char(v);
            i += 4;
        } else if (kind == 'u' && hex(i + 2, 4, v)) {
            if (v < 0x800) {
                text += char(0xC0 | v >> 6);
            } else {
                text += char(0xE0 | v >> 12);
                text += char(0x80 | ((v >> 6) & 0x3F));
            }
            text += char(0x80 | (v & 0x3F));
            i += 6;
        } else {
            return false;
        }
    }
    return false;
}

// `said` split at each line end of the strictest reader: line feed,
// carriage return, vertical tab, form feed, U+001C to U+001E, U+0085,
// U+2028 and U+2029 (one line feed at its end ends its last line).
inline std::vector<std::string> StrictLines(std::string_view said) {
    if (!said.empty() && said.back() == '\n')
        said.remove_suffix(1);
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < said.size(); ++i) {
        const auto b = static_cast<unsigned char>(said[i]);
        size_t len = 0;
        if (b == '\n' || b == '\r' || b == '\v' || b == '\f' || (b >= 0x1C && b <= 0x1E))
            len = 1;
        else if (said.substr(i, 2) == "\xC2\x85")
            len = 2;
        else if (said.substr(i, 3) == "\xE2\x80\xA8" || said.substr(i, 3) == "\xE2\x80\xA9")
            len = 3;
        if (len == 0) {
            lines.back() += said[i];
            continue;
        }
        lines.emplace_back();
        i += len - 1;
    }
    return lines;
}

// What in `line` a terminal or a log reader would take for more than a
// character shown ("" when nothing): a C0 or C1 control, DEL, a line or
// paragraph separator, a bidirectional control or a byte that is not
// well-formed UTF-8.
inline std::string Unshowable(std::string_view line) {
    for (size_t i = 0; i < line.size();) {
        const auto b = static_cast<unsigned char>(line[i]);
        if (b < 0x20 || b == 0x7F)
            return "byte " + std::to_string(b) + " at " + std::to_string(i);
        if (b < 0x80) {
            ++i;
            continue;
        }
        const size_t len = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3
                           : b >= 0xF0 && b <= 0xF4                           ? 4
                                                                              : 0;
        char32_t cp = len == 2 ? b & 0x1F : len == 3 ? b & 0x0F : b & 0x07;
        for (size_t k = 1; k < len; ++k) {
            const auto c = i + k < line.size() ? static_cast<unsigned char>(line[i + k]) : 0;
            if ((c & 0xC0) != 0x80)
                return "a byte that is not UTF-8 at " + std::to_string(i);
            cp = cp << 6 | (c & 0x3F);
        }
        const bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
        if (len == 0 || overlong || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return "a byte that is not UTF-8 at " + std::to_string(i);
        if (cp <= 0x9F || cp == 0x2028 || cp == 0x2029 || cp == 0x061C || cp == 0x200E ||
            cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069))
            return "U+" + std::to_string(unsigned(cp)) + " (decimal) at " + std::to_string(i);
        i += len;
    }
    return std::string();
}

// Whether `said` (a told line with its line feed, or a refusal) is one
// line by the strictest splitting, holds nothing Unshowable, and quotes
// `original`: whole, or (when `mayBeCut`) at least a part of it, cut
// before a character and followed by "...".
inline ::testing::AssertionResult QuotesOnOneLine(std::string_view said, std::string_view original,
                                                  bool mayBeCut = false) {
    const std::vector<std::string> lines = StrictLines(said);
    if (lines.size() != 1)
        return ::testing::AssertionFailure() << lines.size() << " lines: " << said;
    const std::string bad = Unshowable(lines[0]);
    if (!bad.empty())
        return ::testing::AssertionFailure() << "it holds " << bad << ": " << said;
    for (size_t at = said.find('"'); at != std::string_view::npos; at = said.find('"', at + 1)) {
        std::string text;
        size_t end = 0;
        bool cut = false;
        if (!ReadBack(said, at, text, end, cut))
            continue;
        if (!cut && text == original)
            return ::testing::AssertionSuccess();
        if (cut && mayBeCut && !text.empty() && text.size() < original.size() &&
            original.substr(0, text.size()) == text &&
            (static_cast<unsigned char>(original[text.size()]) & 0xC0) != 0x80)
            return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "it shows no quote that reads back as the text: "
                                         << said;
}

} // namespace quotedtest
