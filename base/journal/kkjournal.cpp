#include "kkjournal.h"
#include "btk_quoted.h"
#include "btk_reason.h"

#include "kclient_serial.h"
#include "kkfileio.h"
#include "process.h"
#include "xexcept.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void appendInt(std::string& out, int64_t value);

// Where finished records go.
struct Sink {
    std::mutex lock;
    // The records kept in memory, newest last: at most `limit` of them,
    // whose strings take at most `byteLimit` bytes (`bytes` now). While a
    // file is set they are kept only when `withFile` asks for it.
    std::deque<std::string> records;
    size_t limit = 10000;
    size_t byteLimit = kkJournalDefaultMemoryBytes;
    size_t bytes = 0;
    bool withFile = false;
    // The journal file, locked (flock) against other processes while it is
    // the journal. The sink is its only writer: it holds whole lines only,
    // the records that reached it and the marks of those lost.
    int fd = -1;
    std::string path;
    // Records that did not reach the file since the last that did.
    uint64_t lost = 0;
    // Where the file ends when it ends inside a line of this process: a
    // failed write whose bytes could not be cut off again (-1: it does not).
    // While the file still ends there, the next write begins with a line
    // end, so that the piece stays a line of its own.
    off_t torn = -1;
    // Whether the file's failure was reported.
    bool reported = false;
    // The mark and the record written together after a loss.
    std::string joined;
    // A line to tell, made under the lock and told once it is released
    // (Held), so that no one waiting for the lock (another thread's record,
    // fork) waits for standard error.
    std::string toTell;
};

Sink& sink() {
    static Sink* s = new Sink; // lives for the process: records may finish during exit
    return *s;
}

// Holds the sink's lock; what was to be told meanwhile (Sink::toTell) is
// told after it is released.
class Held {
public:
    explicit Held(Sink& s) : s_(s) { s_.lock.lock(); }
    ~Held() {
        std::string told;
        told.swap(s_.toTell);
        s_.lock.unlock();
        if (!told.empty())
            btk_tell("%s", told.c_str());
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    Sink& s_;
};

// What one write of a record did: `done` bytes went in, `err` tells why
// the rest did not. When the write fell short, `from` and `to` are the
// file offsets where the bytes that went in begin and end (`from` -1 when
// another writer's bytes came between two of its pieces; both -1 when the
// offsets could not be read).
struct Written {
    size_t done = 0;
    int err = 0;
    off_t from = -1, to = -1;
};

// Writes `size` bytes in as few writes as the file takes. The file is
// open for appending, so after each write its offset is where that
// write's bytes end: a write that falls short (rarely: a full disk, a
// signal) reads it, so that what went in can be found again.
bool writeCounted(int fd, const char* data, size_t size, Written& w) {
    w = Written{};
    while (w.done < size) {
        const ssize_t n = ::write(fd, data + w.done, size - w.done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            w.err = n < 0 ? errno : EIO;
            return false;
        }
        const bool first = w.done == 0;
        w.done += size_t(n);
        if (w.done == size)
            break;
        const off_t end = ::lseek(fd, 0, SEEK_CUR);
        if (end < 0 || (!first && w.to < 0)) {
            w.from = w.to = -1;
            continue;
        }
        if (first)
            w.from = end - off_t(n);
        else if (end - off_t(n) != w.to)
            w.from = -1;
        w.to = end;
    }
    return true;
}

enum class Cut { Done, NotAtEnd, Failed };

// Cuts the bytes from `from` to `to` off the file: what a failed write of
// this process left of its line. Only while the file still ends at `to`:
// bytes that another writer put after them, or a file that another
// emptied or cut, are left as they are, and the file is never extended.
// NotAtEnd: the file ends elsewhere; Failed: it ends with these bytes
// (as far as can be told), and they could not be cut.
Cut cutBack(int fd, off_t from, off_t to) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return Cut::Failed;
    if (st.st_size != to || to < 0)
        return Cut::NotAtEnd;
    if (from < 0)
        return Cut::Failed;
    while (::ftruncate(fd, from) != 0)
        if (errno != EINTR)
            return Cut::Failed;
    return Cut::Done;
}

// Whether the file still ends inside a line of this process (Sink::torn).
bool endsTorn(const Sink& s) {
    struct stat st {};
    return s.torn >= 0 && (::fstat(s.fd, &st) != 0 || st.st_size == s.torn);
}

// One record (`line`, with its line end) to the file. A record that does
// not go in whole is cut off again and counted; the first record that goes
// in afterwards is preceded by the mark "<n> records lost", written with it
// in one write (after a line end when the file ends inside a line that
// could not be cut). The first failure is reported on the diagnostics,
// once the lock is released (Sink::toTell).
void writeToFile(Sink& s, const std::string& line) {
    const bool lineEnd = endsTorn(s);
    if (!lineEnd)
        s.torn = -1;
    const std::string* out = &line;
    if (s.lost > 0 || lineEnd) {
        s.joined.clear();
        if (lineEnd)
            s.joined += '\n';
        if (s.lost > 0) {
            appendInt(s.joined, int64_t(s.lost));
            s.joined += " records lost\n";
        }
        s.joined += line;
        out = &s.joined;
    } else if (line.empty()) {
        return;
    }
    Written w;
    if (writeCounted(s.fd, out->data(), out->size(), w)) {
        s.lost = 0;
        s.torn = -1;
        return;
    }
    // What went in is cut off again, leaving the file as it was before.
    if (w.done > 0) {
        const Cut cut = cutBack(s.fd, w.from, w.to);
        if (cut == Cut::Failed)
            s.torn = w.to;
        else if (cut == Cut::NotAtEnd)
            s.torn = -1;
    }
    if (!line.empty())
        ++s.lost;
    if (!s.reported) {
        s.reported = true;
        s.toTell = "call journal " + btkQuoted(s.path) + ": cannot write (" +
                   btkSystemReason(w.err) +
                   "); records that do not fit are left out, and a line \"<n> records lost\" "
                   "marks each stretch of them";
    }
}

// What a kept record takes: its string and the text it holds.
size_t keptBytes(const std::string& record) { return sizeof(std::string) + record.capacity(); }

void dropOldest(Sink& s) {
    s.bytes -= keptBytes(s.records.front());
    s.records.pop_front();
}

// Keeps the record `data` (`size` bytes) as the newest in memory, dropping
// the oldest as the limits ask. A record larger than the byte limit by
// itself empties the list: memory keeps the newest records that fit.
void keepInMemory(Sink& s, const char* data, size_t size) {
    std::string kept;
    bool reused = false;
    while (!s.records.empty() && (s.records.size() >= s.limit ||
                                  s.bytes + sizeof(std::string) + size > s.byteLimit)) {
        // The oldest record's text, when it is of about the size needed,
        // is reused for the newest.
        std::string& oldest = s.records.front();
        s.bytes -= keptBytes(oldest);
        if (!reused && oldest.capacity() >= size && oldest.capacity() <= 2 * size + 64) {
            kept = std::move(oldest);
            reused = true;
        }
        s.records.pop_front();
    }
    kept.assign(data, size);
    const size_t cost = keptBytes(kept);
    if (cost > s.byteLimit) {
        while (!s.records.empty())
            dropOldest(s);
        return;
    }
    while (!s.records.empty() && s.bytes + cost > s.byteLimit)
        dropOldest(s);
    s.bytes += cost;
    s.records.push_back(std::move(kept));
}

void trimMemory(Sink& s) {
    while (!s.records.empty() && (s.records.size() > s.limit || s.bytes > s.byteLimit))
        dropOldest(s);
}

// `line` ends with its line end. Memory keeps the line without it (while
// no file is set, or when asked to keep it beside the file); the file gets
// the whole line in one write, before the record's call returns, so a
// crash loses no record that was finished. The lock keeps the order.
void deliver(const std::string& line) {
    Sink& s = sink();
    Held held(s);
    if (s.limit > 0 && (s.fd < 0 || s.withFile))
        keepInMemory(s, line.data(), line.size() - 1);
    if (s.fd >= 0)
        writeToFile(s, line);
}

// Lets go of the journal file without writing to it. The lock on the file
// goes with its last descriptor.
void dropFile(Sink& s) {
    if (s.fd < 0)
        return;
    ::close(s.fd);
    s.fd = -1;
    s.path.clear();
    s.lost = 0;
    s.torn = -1;
    s.reported = false;
}

// Closes the journal file, after a last try to mark records it lost.
void closeFile(Sink& s) {
    if (s.fd >= 0 && s.lost > 0)
        writeToFile(s, std::string());
    dropFile(s);
}

// At the normal end of the process the journal file is closed under the
// sink's lock, so that records lost at the end are marked too. Records
// that finish later (in other exit handlers) go to memory only.
void closeAtExit() {
    Sink& s = sink();
    Held held(s);
    closeFile(s);
}

// A child made by fork shares the parent's open journal file (and its
// lock): it lets go of it without writing, so that the file keeps one
// writer. The sink's lock is held across the fork, so the child finds the
// sink whole.
void lockBeforeFork() { sink().lock.lock(); }
void unlockAfterFork() { sink().lock.unlock(); }
void forgetFileInChild() {
    Sink& s = sink();
    dropFile(s);
    s.lock.unlock();
}

void watchProcessEnd() {
    static std::once_flag once;
    std::call_once(once, [] {
        std::atexit(&closeAtExit);
        ::pthread_atfork(&lockBeforeFork, &unlockAfterFork, &forgetFileInChild);
    });
}

// ---- the thread's text buffers ---------------------------------------------
// A few record texts per thread, handed to records and taken back when they
// finish (records of nested calls take one each). Buffers that grew very
// large are not kept.
constexpr int kKeptTexts = 4;
constexpr size_t kLargestKept = 64 * 1024;
// One thread-local object, so that a record finds it in one look-up.
struct ThreadTexts {
    kkJournalText* texts[kKeptTexts] = {};
    int count = 0;
    bool gone = false;
    ~ThreadTexts() {
        for (int i = 0; i < count; ++i)
            delete texts[i];
        count = 0;
        gone = true;
    }
};
thread_local ThreadTexts t_threadTexts;

kkJournalText* takeThreadText() {
    ThreadTexts& kept = t_threadTexts;
    if (kept.count > 0)
        return kept.texts[--kept.count];
    auto* text = new kkJournalText;
    text->keeper = &kept;
    return text;
}

// A record finishes on the thread that made it, so its texts go back to
// the thread they came from.
void giveBackThreadText(kkJournalText* text) {
    ThreadTexts& kept = *static_cast<ThreadTexts*>(text->keeper);
    const bool large = text->line.capacity() > kLargestKept || text->inputs.capacity() > kLargestKept ||
                       text->retval.capacity() > kLargestKept;
    if (kept.gone || large || kept.count == kKeptTexts) {
        delete text;
        return;
    }
    text->inputs.clear();
    text->outputs.clear();
    text->comments.clear();
    text->retval.clear();
    text->exception.clear();
    text->target.clear();
    text->line.clear();
    text->raw = false;
    kept.texts[kept.count++] = text;
}

// ---- number texts -------------------------------------------------------------

void appendInt(std::string& out, int64_t value) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, r.ptr);
}

void appendReal(std::string& out, double value) {
    if (std::isnan(value)) {
        out += "nan";
        return;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-inf" : "inf";
        return;
    }
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, r.ptr);
}

void appendQuoted(std::string& out, const char* text, size_t length) {
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
}

// "<prefix>(n1,n2,...)".
void appendNumbers(std::string& out, const char* prefix, const double* values, int count) {
    out += prefix;
    out += '(';
    for (int i = 0; i < count; ++i) {
        if (i)
            out += ',';
        appendReal(out, values[i]);
    }
    out += ')';
}

// One line per record: line breaks and tabs inside a part are escaped.
void appendEscaped(std::string& line, const char* text, size_t length) {
    for (char c : std::string_view(text, length)) {
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

inline void appendOneLine(std::string& line, const std::string& part, bool raw) {
    if (raw)
        appendEscaped(line, part.data(), part.size());
    else
        line += part;
}

// Whether the text holds a line break or a tab. Eight characters are
// looked at at once: a word holds a character below 14 (as \n, \r and \t
// are) when one of its bytes, less 14, borrows.
bool hasLineBreaks(const char* text, size_t length) {
    constexpr uint64_t ones = 0x0101010101010101u, highs = ones * 0x80;
    bool low = false;
    size_t i = 0;
    for (; i + 8 <= length && !low; i += 8) {
        uint64_t word;
        std::memcpy(&word, text + i, 8);
        low = ((word - ones * 14) & ~word & highs) != 0;
    }
    if (!low && i < length) {
        uint64_t word = ones * ' ';
        std::memcpy(&word, text + i, length - i);
        low = ((word - ones * 14) & ~word & highs) != 0;
    }
    return low && std::string_view(text, length).find_first_of("\n\r\t") != std::string_view::npos;
}
bool hasLineBreaks(const char* text) { return hasLineBreaks(text, std::strlen(text)); }

// Object texts (see the header): the class's journal name, "@" and the
// object's number.
void appendClassName(std::string& out, const char* typeName) {
    const char* colon = std::strchr(typeName, ':');
    if (!colon) {
        out += typeName;
        return;
    }
    out += 'K';
    if (colon[1])
        out += colon + 2;
}

// "<class>@<number>": the number of the object's implementation object
// (KCommon_i::JournalSerial) or, for a caller's object, its own
// (KCCommonJournalSerial), given as `serial`; "<class>@0x<address>" for
// any other object (`serial` 0), the address being that of `addressed`.
// The class is that of `object`.
void appendObjectName(std::string& out, xobject* object, uint64_t serial, const xobject* addressed) {
    out += kkJournalClassName(object->giveRtti());
    // "@" and the number, appended at once.
    char buf[24] = {'@', '0', 'x'};
    std::to_chars_result r;
    if (serial)
        r = std::to_chars(buf + 1, buf + sizeof buf, serial);
    else
        r = std::to_chars(buf + 3, buf + sizeof buf, reinterpret_cast<uintptr_t>(addressed), 16);
    out.append(buf, r.ptr);
}
void appendObjectName(std::string& out, xobject* object, const KCommon_i* implementation) {
    appendObjectName(out, object, implementation ? implementation->JournalSerial() : 0, object);
}

// The implementation object that names `impl`: a journal wrapper is named
// by the object it wraps.
const KCommon_i* namingImplementation(KCommon_i* impl) {
    if (impl && impl->IsJournalWrapper())
        return static_cast<KCommon_j*>(impl)->GetImpl();
    return impl;
}

// The details that an exception's text adds.
void appendExceptionDetails(std::string& out, xobject* object) {
    if (KXKernelError* k = KXKernelError::softcast(object)) {
        out += "{status=";
        appendInt(out, k->GetStatus());
        const std::string reason = KXSimpleReason(object);
        if (!reason.empty()) {
            out += ",reason=";
            appendQuoted(out, reason.data(), reason.size());
        }
        out += '}';
    } else if (KXInvalidArg* a = KXInvalidArg::softcast(object)) {
        out += "{arg=";
        appendInt(out, a->GetArgIndex());
        out += ",code=";
        appendInt(out, a->GetCode());
        out += '}';
    } else if (KXInvalidState* s = KXInvalidState::softcast(object)) {
        out += "{state=";
        appendInt(out, s->GetState());
        out += '}';
    }
}

void appendCommonText(std::string& out, KCommon* object) {
    if (!object) {
        out += "null";
        return;
    }
    appendObjectName(out, static_cast<xobject*>(object), namingImplementation(object->_CastToImpl()));
}

// A caller's object is named by its own number; a wrapper that stands for
// one by the number of the object it stands for, and one that stands for
// an implementation object by that object's number.
void appendClientText(std::string& out, KCCommon* object) {
    if (!object) {
        out += "null";
        return;
    }
    xobject* self = static_cast<xobject*>(object);
    const xobject* addressed = self;
    uint64_t serial = 0;
    KCommon_i* impl = static_cast<KCommon_i*>(object->_CastToImpl());
    if (impl && impl->IsJournalWrapper()) {
        xobject* wrapped = static_cast<KCommon_j*>(impl)->GetWrappedObject();
        if (KCommon* common = wrapped ? KCommon::softcast(wrapped) : nullptr) {
            const KCommon_i* implementation = namingImplementation(common->_CastToImpl());
            serial = implementation ? implementation->JournalSerial() : 0;
        } else if (wrapped) {
            addressed = wrapped;
            if (KCCommon* client = KCCommon::softcast(wrapped))
                serial = KCCommonJournalSerial(client);
        }
    } else {
        serial = impl ? impl->JournalSerial() : KCCommonJournalSerial(object);
    }
    appendObjectName(out, self, serial, addressed);
}

void appendExceptionText(std::string& out, KXException* exception) {
    if (!exception) {
        out += "null";
        return;
    }
    xobject* object = static_cast<xobject*>(static_cast<xthrowable*>(exception));
    appendObjectName(out, object, namingImplementation(exception->_CastToImpl()));
    appendExceptionDetails(out, object);
}

// Any object: interface objects, caller's objects and exceptions as above.
void appendAnyText(std::string& out, xobject* object) {
    if (!object) {
        out += "null";
        return;
    }
    if (KCommon* common = KCommon::softcast(object))
        return appendCommonText(out, common);
    if (KXException* exception = KXException::softcast(object))
        return appendExceptionText(out, exception);
    if (KCCommon* client = KCCommon::softcast(object))
        return appendClientText(out, client);
    appendObjectName(out, object, nullptr);
    if (xthrowable::isObjKindOf(object))
        appendExceptionDetails(out, object);
}

} // namespace

// ---- the record ------------------------------------------------------------

std::atomic<bool> kkJournal::recording_{true};

void kkJournal::startTarget(xobject* target) { appendAnyText(text().target, target); }

void kkJournal::startTarget(KCommon* target) { appendCommonText(text().target, target); }

void kkJournal::finish() {
    try {
        kkJournalText& t = text();
        t.line.clear();
        appendLine(t.line);
        t.line += '\n';
        deliver(t.line);
    } catch (...) {
        // A record that cannot be finished (no memory) is dropped.
    }
    if (text_) {
        giveBackThreadText(text_);
        text_ = nullptr;
    }
}

kkJournalText& kkJournal::takeText() {
    text_ = takeThreadText();
    return *text_;
}

void kkJournal::appendLine(std::string& line) const {
    static const std::string none;
    const kkJournalText* t = text_;
    const bool raw = t && t->raw;
    const size_t nameLength = std::strlen(name_);
    const bool nameBreaks = hasLineBreaks(name_, nameLength);
    if (hasTarget_) {
        appendOneLine(line, t ? t->target : none, false);
        line += '.';
    }
    if (nameBreaks)
        appendEscaped(line, name_, nameLength);
    else
        line.append(name_, nameLength);
    line += '(';
    if (t)
        appendOneLine(line, t->inputs, raw);
    line += ')';
    if (returned_) {
        line += " -> ";
        if (t)
            appendOneLine(line, t->retval, raw);
    }
    if (excepted_) {
        line += " ! ";
        if (t)
            appendOneLine(line, t->exception, raw);
    }
    if (notCompleted_)
        line += " ! not completed";
    if (t && !t->outputs.empty()) {
        line += " out(";
        appendOneLine(line, t->outputs, raw);
        line += ')';
    }
    if (t && !t->comments.empty()) {
        line += " // ";
        appendOneLine(line, t->comments, raw);
    }
}

std::string kkJournal::RecordLine() const {
    std::string line;
    appendLine(line);
    return line;
}

std::string& kkJournal::current() {
    kkJournalText& t = text();
    switch (mode_) {
    case kModeInputs: return t.inputs;
    case kModeReturn: return t.retval;
    case kModeException: return t.exception;
    default: return t.outputs;
    }
}

void kkJournal::PutComma() {
    if (nesting_ % 2 == 1) {
        // First value of the level: no separator.
        ++nesting_;
        return;
    }
    current() += ',';
}

void kkJournal::putValue(const char* text, size_t length) {
    PutComma();
    current().append(text, length);
}

void kkJournal::PutStandard(const char* text) {
    if (!records_)
        return;
    PutComma();
    if (text) {
        if (hasLineBreaks(text))
            this->text().raw = true;
        current() += text;
    }
}

kkJournal& kkJournal::operator<<(int value) {
    if (records_) {
        PutComma();
        appendInt(current(), value);
    }
    return *this;
}

kkJournal& kkJournal::operator<<(double value) {
    if (records_) {
        PutComma();
        appendReal(current(), value);
    }
    return *this;
}

kkJournal& kkJournal::operator<<(const char* text) {
    if (records_) {
        PutComma();
        if (text)
            appendQuoted(current(), text, std::strlen(text));
        else
            current() += "null";
    }
    return *this;
}

kkJournal& kkJournal::operator<<(xany value) {
    if (!records_)
        return *this;
    PutComma();
    std::string& out = current();
    switch (value.kind()) {
    case xany::kUninit: out += "uninit"; break;
    case xany::kNull: out += "null"; break;
    case xany::kInt:
    case xany::kInt2: appendInt(out, static_cast<int>(value)); break;
    case xany::kBool: out += value.asBool() ? "true" : "false"; break;
    case xany::kReal: appendReal(out, static_cast<double>(value)); break;
    case xany::kString: {
        xstring s = static_cast<xstring>(value);
        appendQuoted(out, s.c_str(), s.length());
        break;
    }
    case xany::kObject: appendAnyText(out, value.asObject()); break;
    default: out += '?'; break;
    }
    return *this;
}

kkJournal& kkJournal::operator<<(KTraversal value) {
    if (records_) {
        PutComma();
        std::string& out = current();
        out += "KTraversal(";
        appendInt(out, static_cast<int>(value));
        out += ')';
    }
    return *this;
}

kkJournal& kkJournal::operator<<(KAccuracyType value) {
    if (records_) {
        PutComma();
        std::string& out = current();
        out += "KAccuracyType(";
        appendInt(out, static_cast<int>(value));
        out += ')';
    }
    return *this;
}

kkJournal& kkJournal::operator<<(KCommon* object) {
    if (records_) {
        PutComma();
        appendCommonText(current(), object);
    }
    return *this;
}

kkJournal& kkJournal::operator<<(KCCommon* object) {
    if (records_) {
        PutComma();
        appendClientText(current(), object);
    }
    return *this;
}

kkJournal& kkJournal::operator<<(KXException* exception) {
    if (records_) {
        PutComma();
        appendExceptionText(current(), exception);
    }
    return *this;
}

#define ZBASE_JOURNAL_VALUE(Type, Count, ...)                                  \
    kkJournal& kkJournal::operator<<(Type* p) {                                \
        if (records_) {                                                   \
            PutComma();                                                        \
            std::string& out = current();                                      \
            if (p) {                                                           \
                const double values[] = {__VA_ARGS__};                         \
                appendNumbers(out, #Type, values, Count);                      \
            } else {                                                           \
                out += "null";                                                 \
            }                                                                  \
        }                                                                      \
        return *this;                                                          \
    }
ZBASE_JOURNAL_VALUE(KPoint3D, 3, p->x(), p->y(), p->z())
ZBASE_JOURNAL_VALUE(KVector3D, 3, p->x(), p->y(), p->z())
ZBASE_JOURNAL_VALUE(KPointUV, 2, p->u(), p->v())
ZBASE_JOURNAL_VALUE(KColorRGB, 3, p->Get(0), p->Get(1), p->Get(2))
#undef ZBASE_JOURNAL_VALUE

kkJournal& kkJournal::operator<<(KCsys* p) {
    if (records_) {
        PutComma();
        if (p)
            appendNumbers(current(), "KCsys", p->Data(), 12);
        else
            current() += "null";
    }
    return *this;
}

kkJournal& kkJournal::operator<<(KBox3D* p) {
    if (records_) {
        PutComma();
        if (p)
            appendNumbers(current(), "KBox3D", p->Data(), 6);
        else
            current() += "null";
    }
    return *this;
}

kkJournal& kkJournal::operator<<(KBoxUV* p) {
    if (records_) {
        PutComma();
        if (p)
            appendNumbers(current(), "KBoxUV", p->Data(), 4);
        else
            current() += "null";
    }
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

const std::string& kkJournalClassName(const xrttiobject* type) {
    static const std::string object("object");
    if (!type)
        return object;
    if (const void* kept = type->journalText())
        return *static_cast<const std::string*>(kept);
    auto* made = new std::string;
    appendClassName(*made, type->name());
    const void* kept = type->setJournalText(made);
    if (kept != made)
        delete made;
    return *static_cast<const std::string*>(kept);
}

std::string kkJournalObjectText(const xobject* object) {
    std::string text;
    appendAnyText(text, const_cast<xobject*>(object));
    return text;
}

// ---- the sink ----------------------------------------------------------------

void kkJournalSetRecording(bool on) { kkJournal::recording_.store(on, std::memory_order_relaxed); }

bool kkJournalSetFile(const char* path) { return kkJournalSetFile(path, nullptr); }

bool kkJournalSetFile(const char* path, std::string* why) {
    Sink& s = sink();
    Held held(s);
    closeFile(s);
    if (!path)
        return true;
    // Only a regular file is taken (a FIFO or a folder is refused at once,
    // never waited on); its writes block as usual.
    std::string error;
    const int fd = kkOpenRegularFile(path, O_WRONLY | O_CREAT | O_APPEND, 0644, &error);
    if (fd < 0) {
        const std::string prefix = "cannot open " + btkQuoted(path) + ": ";
        if (why)
            *why = error.rfind(prefix, 0) == 0 ? error.substr(prefix.size()) : error;
        return false;
    }
    // One writer per file: a file that another process journals into is
    // neither emptied nor written.
    int locked;
    do
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        if (why)
            *why = errno == EWOULDBLOCK ? "another process journals there" : btkSystemReason(errno);
        ::close(fd);
        return false;
    }
    if (::ftruncate(fd, 0) != 0) {
        if (why)
            *why = btkSystemReason(errno);
        ::close(fd);
        return false;
    }
    s.fd = fd;
    s.path = path;
    watchProcessEnd();
    return true;
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
    s.bytes = 0;
    return out;
}

void kkJournalClear() {
    Sink& s = sink();
    std::lock_guard<std::mutex> guard(s.lock);
    s.records.clear();
    s.bytes = 0;
}

void kkJournalSetMemoryLimit(size_t records) {
    Sink& s = sink();
    std::lock_guard<std::mutex> guard(s.lock);
    s.limit = records;
    trimMemory(s);
}

void kkJournalSetMemoryLimit(size_t records, size_t bytes) {
    Sink& s = sink();
    std::lock_guard<std::mutex> guard(s.lock);
    s.limit = records;
    s.byteLimit = bytes;
    trimMemory(s);
}

void kkJournalSetMemoryWithFile(bool keep) {
    Sink& s = sink();
    std::lock_guard<std::mutex> guard(s.lock);
    s.withFile = keep;
}

size_t kkJournalMemoryBytes() {
    Sink& s = sink();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.bytes;
}
