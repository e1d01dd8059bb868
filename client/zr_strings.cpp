#include "client/zr_strings.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <istream>
#include <ostream>
#include <string>
#include <utility>

namespace {
const char kLineFeed[] = "\n";
// Flag of the word functions under which every line feed ends a field, so
// empty lines count.
constexpr int kEveryLine = 1;
} // namespace

// ---- ZrArgv ----------------------------------------------------------------
ZrArgv::ZrArgv(int argc, const char* text) {
    btkString all(text);
    std::vector<btkString> lines = all.Split(kLineFeed, kEveryLine);
    // A final line feed ends the last line; it does not start another.
    if (!lines.empty() && lines.back().IsEmpty() && all.GetLength() > 0 &&
        all.str().back() == '\n')
        lines.pop_back();
    const int present = static_cast<int>(lines.size());
    const int n = argc < 0 ? 0 : (argc < present ? argc : present);
    argv_.reserve(static_cast<size_t>(n) + 1);
    try {
        for (int i = 0; i < n; ++i) {
            const std::string& line = lines[static_cast<size_t>(i)].str();
            char* copy = new char[line.size() + 1];
            std::memcpy(copy, line.c_str(), line.size() + 1);
            argv_.push_back(copy);
            argc_ = i + 1;
        }
    } catch (...) {
        for (char* p : argv_)
            delete[] p;
        throw;
    }
    argv_.push_back(nullptr);
}

ZrArgv::~ZrArgv() {
    for (int i = 0; i < argc_; ++i)
        delete[] argv_[static_cast<size_t>(i)];
}

// ---- ZrJobRequest ------------------------------------------------------------
void ZrJobRequest::Parse(const char* text) {
    btkString all(text);
    path_ = all.GetWord(0, kLineFeed, kEveryLine);
    count_ = all.GetWord(1, kLineFeed, kEveryLine);
    args_ = all.GetWords(2, kLineFeed, kEveryLine);
}

int ZrJobRequest::GetArgCount() const {
    int count = 0;
    count_.ToInt(count);
    return count;
}

// ---- ZrCallbackRequest ---------------------------------------------------------
ZrCallbackRequest::ZrCallbackRequest(const char* text) {
    btkString all(text);
    int opcode = -1;
    if (all.GetWord(0, kLineFeed, kEveryLine).ToInt(opcode))
        opcode_ = opcode;
    rest_ = all.GetWords(1, kLineFeed, kEveryLine);
}

// ---- session stream items -------------------------------------------------------
void WriteSessionNumber(std::ostream& stream, int value) {
    char digits[16];
    auto r = std::to_chars(digits, digits + sizeof digits, value);
    stream.put('N');
    stream.write(digits, r.ptr - digits);
    stream.put(';');
    stream.flush();
}

void WriteSessionText(std::ostream& stream, const char* text) {
    const size_t length = text ? std::strlen(text) : 0;
    char digits[24];
    auto r = std::to_chars(digits, digits + sizeof digits, static_cast<uint64_t>(length));
    stream.put('_');
    stream.write(digits, r.ptr - digits);
    stream.put(':');
    if (length)
        stream.write(text, static_cast<std::streamsize>(length));
    stream.flush();
}

namespace {
// Reads characters up to `end` (consumed, not stored), at most `limit` of
// them; false when the stream ends or the limit is passed first.
bool readUntil(std::istream& stream, char end, size_t limit, std::string& out) {
    out.clear();
    for (;;) {
        int c = stream.get();
        if (c == std::char_traits<char>::eof())
            return false;
        if (static_cast<char>(c) == end)
            return true;
        if (out.size() == limit)
            return false;
        out.push_back(static_cast<char>(c));
    }
}

template <class T> bool parseDecimal(const std::string& digits, T& value) {
    if (digits.empty())
        return false;
    const char* b = digits.data();
    const char* e = b + digits.size();
    auto r = std::from_chars(b, e, value);
    return r.ec == std::errc() && r.ptr == e;
}
} // namespace

bool ReadSessionText(std::istream& stream, btkString& text) {
    text.Clear();
    int kind = stream.get();
    std::string field;
    if (kind == 'N') {
        int value = 0;
        if (!readUntil(stream, ';', 11, field) || !parseDecimal(field, value))
            return false;
        text = field;
        return true;
    }
    if (kind != '_')
        return false;
    uint32_t length = 0;
    if (!readUntil(stream, ':', 10, field) || !parseDecimal(field, length) ||
        length > static_cast<uint32_t>(INT32_MAX))
        return false;
    // The body grows with what really arrives (append grows geometrically);
    // the claimed length is never allocated up front.
    std::string body;
    char chunk[4096];
    size_t left = length;
    while (left > 0) {
        size_t want = left < sizeof chunk ? left : sizeof chunk;
        stream.read(chunk, static_cast<std::streamsize>(want));
        size_t got = static_cast<size_t>(stream.gcount());
        if (got == 0)
            return false;
        body.append(chunk, got);
        left -= got;
        if (got < want)
            return false;
    }
    text = btkString(std::move(body));
    return true;
}
