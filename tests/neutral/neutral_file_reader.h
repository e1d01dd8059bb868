// A reader of the neutral text format written from its documentation
// (base/neutral_output/ugc_output.h), apart from the writer's code: the tests read a
// written file back item by item and undo the escapes of its texts.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace ntest {

// One item line: its path of names from the top record down
// ("Neutral_part/features/[0]/type_name"), the value after the name (for a
// record or an array, what stands before "{"), and the texts of the
// comments read just before it.
struct NeutralItem {
    std::string path;
    std::string value;
    std::vector<std::string> comments;
};

namespace detail {

inline int hex_digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads `n` upper-case hex digits at s[i]; -1 when they are not there.
inline long hex_at(std::string_view s, size_t i, int n) {
    if (i + size_t(n) > s.size())
        return -1;
    long v = 0;
    for (int k = 0; k < n; ++k) {
        const int d = hex_digit(s[i + size_t(k)]);
        if (d < 0)
            return -1;
        v = v * 16 + d;
    }
    return v;
}

// Strict UTF-8 to UTF-16; false for anything that is not well-formed.
inline bool utf8_to_units(std::string_view s, std::u16string& out) {
    for (size_t i = 0; i < s.size();) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        char32_t c;
        int more;
        if (b < 0x80) {
            c = b;
            more = 0;
        } else if (b >= 0xC2 && b <= 0xDF) {
            c = b & 0x1F;
            more = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            c = b & 0x0F;
            more = 2;
        } else if (b >= 0xF0 && b <= 0xF4) {
            c = b & 0x07;
            more = 3;
        } else {
            return false;
        }
        if (i + size_t(more) >= s.size() && more > 0)
            return false; // cut short
        for (int k = 1; k <= more; ++k) {
            const unsigned char t = static_cast<unsigned char>(s[i + size_t(k)]);
            if ((t & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (t & 0x3F);
        }
        if ((more == 1 && c < 0x80) || (more == 2 && c < 0x800) || (more == 3 && c < 0x10000) ||
            c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += char16_t(0xD800 + (c >> 10));
            out += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            out += char16_t(c);
        }
        i += size_t(more) + 1;
    }
    return true;
}

// Undoes the escapes of a quoted text. Bytes go to `bytes`; for a wide
// text (`units` given) each run of bytes is decoded as UTF-8 into the
// units, \xHH is the unit 00HH and \uHHHH the unit HHHH. False for a value
// that is not a well-formed quoted text.
inline bool unquote(std::string_view q, std::string* bytes, std::u16string* units) {
    if (q.size() < 2 || q.front() != '"' || q.back() != '"')
        return false;
    q = q.substr(1, q.size() - 2);
    std::string run;
    auto flush = [&] {
        if (units && !utf8_to_units(run, *units))
            return false;
        if (bytes)
            *bytes += run;
        run.clear();
        return true;
    };
    for (size_t i = 0; i < q.size(); ++i) {
        const char c = q[i];
        if (c == '"')
            return false; // an unescaped quote inside
        if (c != '\\') {
            run += c;
            continue;
        }
        if (++i >= q.size())
            return false;
        switch (q[i]) {
        case '"': run += '"'; break;
        case '\\': run += '\\'; break;
        case 'n': run += '\n'; break;
        case 'r': run += '\r'; break;
        case 't': run += '\t'; break;
        case 'x': {
            const long v = hex_at(q, i + 1, 2);
            if (v < 0)
                return false;
            i += 2;
            if (units && v >= 0x80) {
                if (!flush())
                    return false;
                *units += char16_t(v);
            } else {
                run += char(v);
            }
            break;
        }
        case 'u': {
            const long v = hex_at(q, i + 1, 4);
            if (v < 0 || !units)
                return false; // only wide texts hold units
            i += 4;
            if (!flush())
                return false;
            *units += char16_t(v);
            break;
        }
        default:
            return false;
        }
    }
    return flush();
}

} // namespace detail

// The bytes of a narrow text value; ADD_FAILURE for one that is malformed.
inline std::string narrow_text(const std::string& value) {
    std::string out;
    if (!detail::unquote(value, &out, nullptr))
        ADD_FAILURE() << "not a narrow text: " << value;
    return out;
}

// The units of a wide text value; ADD_FAILURE for one that is malformed.
inline std::u16string wide_text(const std::string& value) {
    std::u16string out;
    if (!detail::unquote(value, nullptr, &out))
        ADD_FAILURE() << "not a wide text: " << value;
    return out;
}

// The items of a neutral file. A line that fits no form of the format is
// reported with ADD_FAILURE.
class NeutralFile {
public:
    explicit NeutralFile(const std::string& text) {
        std::vector<std::string> path;
        std::vector<std::string> comments;
        size_t at = 0;
        bool first = true;
        while (at < text.size()) {
            size_t end = text.find('\n', at);
            if (end == std::string::npos) {
                ADD_FAILURE() << "last line without a line end";
                end = text.size();
            }
            std::string_view line(text.data() + at, end - at);
            at = end + 1;
            if (first) {
                first = false;
                if (line.substr(0, 15) != "NEUTRAL format ")
                    ADD_FAILURE() << "no first line: " << line;
                continue;
            }
            const size_t start = line.find_first_not_of(' ');
            std::string_view rest = start == std::string_view::npos ? "" : line.substr(start);
            if (rest.substr(0, 1) == "#") {
                comments.emplace_back(rest.substr(1));
            } else if (rest.substr(0, 2) == "\\#") {
                std::string comment;
                if (!detail::unquote(rest.substr(2), &comment, nullptr))
                    ADD_FAILURE() << "malformed comment: " << line;
                comments.push_back(comment);
            } else if (rest == "}") {
                if (path.empty())
                    ADD_FAILURE() << "\"}\" outside a record";
                else
                    path.pop_back();
            } else if (rest == "END" && path.empty()) {
                ended_ = true;
            } else if (rest.empty() || ended_) {
                ADD_FAILURE() << "unexpected line: " << line;
            } else {
                const size_t blank = rest.find(' ');
                const std::string name(rest.substr(0, blank));
                std::string value(blank == std::string_view::npos ? "" : rest.substr(blank + 1));
                const bool opens = value == "{" || (value.size() >= 2 &&
                                                    value.compare(value.size() - 2, 2, " {") == 0);
                if (opens)
                    value.resize(value == "{" ? 0 : value.size() - 2);
                std::string full;
                for (const std::string& p : path)
                    full += p + "/";
                items.push_back(NeutralItem{full + name, value, std::move(comments)});
                comments.clear();
                if (opens)
                    path.push_back(name);
            }
        }
        if (!ended_ || !path.empty())
            ADD_FAILURE() << "file not complete";
    }

    // The item at `path`; ADD_FAILURE and an empty item when there is none.
    const NeutralItem& at(const std::string& path) const {
        for (const NeutralItem& item : items)
            if (item.path == path)
                return item;
        ADD_FAILURE() << "no item " << path;
        static const NeutralItem none;
        return none;
    }

    std::vector<NeutralItem> items;

private:
    bool ended_ = false;
};

} // namespace ntest
