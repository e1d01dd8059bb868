#include "kkjournal.h"

#include "xexcept.h"

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <mutex>

namespace {

std::atomic<bool> g_recording{true};

// Where finished records go.
struct Sink {
    std::mutex lock;
    std::deque<std::string> records;
    size_t limit = 10000;
    std::FILE* file = nullptr;
};

Sink& sink() {
    static Sink* s = new Sink; // lives for the process: records may finish during exit
    return *s;
}

void deliver(const std::string& line) {
    Sink& s = sink();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.limit > 0) {
        while (s.records.size() >= s.limit)
            s.records.pop_front();
        s.records.push_back(line);
    }
    if (s.file) {
        std::fputs(line.c_str(), s.file);
        std::fputc('\n', s.file);
        std::fflush(s.file);
    }
}

std::string intText(int64_t value) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

std::string realText(double value) {
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

std::string quoted(const char* text, size_t length) {
    std::string out;
    out.reserve(length + 2);
    out += '"';
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7f) {
                static const char hex[] = "0123456789abcdef";
                out += "\\x";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
    return out;
}

// Numbers joined by "," in brackets after a prefix.
std::string numbers(const char* prefix, const double* values, int count) {
    std::string out(prefix);
    out += '(';
    for (int i = 0; i < count; ++i) {
        if (i)
            out += ',';
        out += realText(values[i]);
    }
    out += ')';
    return out;
}
std::string numbers(const char* prefix, std::initializer_list<double> values) {
    return numbers(prefix, values.begin(), static_cast<int>(values.size()));
}

// One line per record: control characters that would break it are escaped.
void appendOneLine(std::string& line, const std::string& part) {
    for (char c : part) {
        if (c == '\n')
            line += "\\n";
        else if (c == '\r')
            line += "\\r";
        else if (c == '\t')
            line += "\\t";
        else
            line += c;
    }
}

} // namespace

// ---- the record ------------------------------------------------------------

kkJournal::kkJournal(const char* name, xobject* target)
    : name_(name ? name : ""), hasTarget_(true) {
    if (IsRecording())
        target_ = kkJournalObjectText(target);
}

kkJournal::kkJournal(const char* name) : name_(name ? name : "") {}

kkJournal::~kkJournal() {
    if (!IsRecording())
        return;
    try {
        deliver(RecordLine());
    } catch (...) {
        // A record that cannot be finished (no memory) is dropped.
    }
}

std::string kkJournal::RecordLine() const {
    std::string line;
    if (hasTarget_) {
        appendOneLine(line, target_);
        line += '.';
    }
    appendOneLine(line, name_);
    line += '(';
    appendOneLine(line, inputs_.str());
    line += ')';
    if (returned_) {
        line += " -> ";
        appendOneLine(line, retval_.str());
    }
    if (excepted_) {
        line += " ! ";
        appendOneLine(line, exception_);
    }
    std::string outputs = outputs_.str();
    if (!outputs.empty()) {
        line += " out(";
        appendOneLine(line, outputs);
        line += ')';
    }
    std::string comments = comments_.str();
    if (!comments.empty()) {
        line += " // ";
        appendOneLine(line, comments);
    }
    return line;
}

kkJournal& kkJournal::In() {
    mode_ = kModeInputs;
    nesting_ = 1;
    return *this;
}

kkJournal& kkJournal::Return() {
    mode_ = kModeReturn;
    nesting_ = 1;
    returned_ = true;
    return *this;
}

kkJournal& kkJournal::Exception() {
    mode_ = kModeException;
    nesting_ = 1;
    excepted_ = true;
    return *this;
}

bool kkJournal::IsRecording() { return g_recording.load(std::memory_order_relaxed); }

std::ostream& kkJournal::current() {
    switch (mode_) {
    case kModeInputs: return inputs_;
    case kModeReturn: return retval_;
    default: return outputs_;
    }
}

void kkJournal::PutComma() {
    if (nesting_ % 2 == 1) {
        // First value of the level: no separator.
        ++nesting_;
        return;
    }
    if (mode_ == kModeException)
        exception_ += ',';
    else
        current() << ',';
}

void kkJournal::putValue(const std::string& text) {
    PutComma();
    if (mode_ == kModeException)
        exception_ += text;
    else
        current() << text;
}

void kkJournal::PutStandard(const char* text) {
    if (!IsRecording())
        return;
    putValue(text ? std::string(text) : std::string());
}

kkJournal& kkJournal::operator<<(int value) {
    if (IsRecording())
        putValue(intText(value));
    return *this;
}

kkJournal& kkJournal::operator<<(double value) {
    if (IsRecording())
        putValue(realText(value));
    return *this;
}

kkJournal& kkJournal::operator<<(const char* text) {
    if (IsRecording())
        putValue(text ? quoted(text, std::strlen(text)) : std::string("null"));
    return *this;
}

kkJournal& kkJournal::operator<<(xany value) {
    if (!IsRecording())
        return *this;
    switch (value.kind()) {
    case xany::kUninit: putValue("uninit"); break;
    case xany::kNull: putValue("null"); break;
    case xany::kInt:
    case xany::kInt2: putValue(intText(static_cast<int>(value))); break;
    case xany::kBool: putValue(value.asBool() ? "true" : "false"); break;
    case xany::kReal: putValue(realText(static_cast<double>(value))); break;
    case xany::kString: {
        xstring s = static_cast<xstring>(value);
        putValue(quoted(s.c_str(), s.length()));
        break;
    }
    case xany::kObject: putValue(kkJournalObjectText(value.asObject())); break;
    default: putValue("?"); break;
    }
    return *this;
}

kkJournal& kkJournal::operator<<(KTraversal value) {
    if (IsRecording())
        putValue("KTraversal(" + intText(static_cast<int>(value)) + ")");
    return *this;
}

kkJournal& kkJournal::operator<<(KAccuracyType value) {
    if (IsRecording())
        putValue("KAccuracyType(" + intText(static_cast<int>(value)) + ")");
    return *this;
}

kkJournal& kkJournal::operator<<(KCommon* object) {
    if (IsRecording())
        putValue(kkJournalObjectText(object));
    return *this;
}

kkJournal& kkJournal::operator<<(KCCommon* object) {
    if (IsRecording())
        putValue(kkJournalObjectText(object));
    return *this;
}

kkJournal& kkJournal::operator<<(KXException* exception) {
    if (IsRecording())
        putValue(kkJournalObjectText(exception));
    return *this;
}

kkJournal& kkJournal::operator<<(KPoint3D* p) {
    if (IsRecording())
        putValue(p ? numbers("KPoint3D", {p->x(), p->y(), p->z()}) : std::string("null"));
    return *this;
}

kkJournal& kkJournal::operator<<(KVector3D* p) {
    if (IsRecording())
        putValue(p ? numbers("KVector3D", {p->x(), p->y(), p->z()}) : std::string("null"));
    return *this;
}

kkJournal& kkJournal::operator<<(KPointUV* p) {
    if (IsRecording())
        putValue(p ? numbers("KPointUV", {p->u(), p->v()}) : std::string("null"));
    return *this;
}

kkJournal& kkJournal::operator<<(KColorRGB* p) {
    if (IsRecording())
        putValue(p ? numbers("KColorRGB", {p->Get(0), p->Get(1), p->Get(2)}) : std::string("null"));
    return *this;
}

kkJournal& kkJournal::operator<<(KCsys* p) {
    if (IsRecording())
        putValue(p ? numbers("KCsys", p->Data(), 12) : std::string("null"));
    return *this;
}

kkJournal& kkJournal::operator<<(KBox3D* p) {
    if (IsRecording())
        putValue(p ? numbers("KBox3D", p->Data(), 6) : std::string("null"));
    return *this;
}

kkJournal& kkJournal::operator<<(KBoxUV* p) {
    if (IsRecording())
        putValue(p ? numbers("KBoxUV", p->Data(), 4) : std::string("null"));
    return *this;
}

// ---- names and object text ---------------------------------------------------

std::string kkJournalClassName(const char* typeName) {
    if (!typeName)
        return std::string();
    const char* colon = std::strchr(typeName, ':');
    if (!colon)
        return std::string(typeName);
    std::string name(colon + 1);
    if (name.empty())
        return std::string("K");
    name[0] = 'K';
    return name;
}

std::string kkJournalObjectText(const xobject* object) {
    if (!object)
        return "null";
    xobject* obj = const_cast<xobject*>(object);
    const xrttiobject* type = obj->giveRtti();
    std::string text = kkJournalClassName(type ? type->name() : "object");
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, reinterpret_cast<uintptr_t>(obj), 16);
    text += "@";
    text.append(buf, r.ptr);
    if (KXKernelError* k = KXKernelError::softcast(obj))
        text += "{status=" + intText(k->GetStatus()) + "}";
    else if (KXInvalidArg* a = KXInvalidArg::softcast(obj))
        text += "{arg=" + intText(a->GetArgIndex()) + ",code=" + intText(a->GetCode()) + "}";
    else if (KXInvalidState* s = KXInvalidState::softcast(obj))
        text += "{state=" + intText(s->GetState()) + "}";
    return text;
}

// ---- the sink ----------------------------------------------------------------

void kkJournalSetRecording(bool on) { g_recording.store(on, std::memory_order_relaxed); }

bool kkJournalSetFile(const char* path) {
    Sink& s = sink();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.file) {
        std::fclose(s.file);
        s.file = nullptr;
    }
    if (!path)
        return true;
    s.file = std::fopen(path, "w");
    return s.file != nullptr;
}

std::vector<std::string> kkJournalRecords() {
    Sink& s = sink();
    std::lock_guard<std::mutex> guard(s.lock);
    return std::vector<std::string>(s.records.begin(), s.records.end());
}

std::vector<std::string> kkJournalTakeRecords() {
    Sink& s = sink();
    std::lock_guard<std::mutex> guard(s.lock);
    std::vector<std::string> out(std::make_move_iterator(s.records.begin()),
                                 std::make_move_iterator(s.records.end()));
    s.records.clear();
    return out;
}

void kkJournalClear() {
    Sink& s = sink();
    std::lock_guard<std::mutex> guard(s.lock);
    s.records.clear();
}

void kkJournalSetMemoryLimit(size_t records) {
    Sink& s = sink();
    std::lock_guard<std::mutex> guard(s.lock);
    s.limit = records;
    while (s.records.size() > s.limit)
        s.records.pop_front();
}
