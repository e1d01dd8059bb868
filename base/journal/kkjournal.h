// base/journal: the call journal's records and sink (kkjournal.h) and the
// wrapping services that find the object standing for another across the
// journal (kwrap.h). It uses files/, runtime/ and text/.
//
// The call journal: one kkJournal record per journaled call, and the
// process-wide sink that receives finished records.
//
// A record collects text in four parts (inputs, outputs, comments, return
// value) plus the exception. The mode selects the part that values written
// by insertion go to: In() selects the inputs, Return() the return value,
// Exception() the exception. Whether a record is written is decided once,
// when it is made: made while the journal records, it collects every value
// and, when it is destroyed, hands one whole line of text to the sink (an
// in-memory list and, when set, a file), even if recording was switched off
// meanwhile; made while the journal does not record, it collects nothing
// and is never written, even if recording was switched on meanwhile. So a
// line always shows its call whole. The line reads
//
//     <target>.<name>(<inputs>)[ -> <return>][ ! <exception>][ ! not completed][ out(<outputs>)][ // <comments>]
//
// where "<target>." is left out for a record made without a target, the
// return part appears once Return() was called and the exception part once
// Exception() was called. " ! not completed" marks a call that ended with a
// C++ exception or with a raised object that is not an interface exception
// (NotCompleted()); the exception itself went on to the caller unchanged.
// Newlines, carriage returns and tabs inside a part are written as \n, \r
// and \t so that a record is always one line.
//
// A line of the journal file is a record only with its line end: the
// process writes each record with its line end in one write, and a
// record that could not be written (a full disk, a write error) is cut off
// again, never left short; but a process killed in the middle of a write
// can leave its last line without a line end (the kernel may stop a write
// between pages), and that line is not a record. The first line written
// after a stretch of records left out is the mark
//
//     <n> records lost
//
// where <n> is the decimal number of records left out just before it. The
// line of a journaled call begins with an object's class name, "null" or
// the call's name, never with a digit, so a mark is not taken for a
// record. The mark is also tried when the file is closed.
//
// Values written by insertion:
//   int            decimal ("-12")
//   double         shortest text that reads back exactly ("2.5", "1e+300",
//                  "nan", "inf", "-inf")
//   const char*    quoted, with \" \\ \n \r \t and \xHH escapes; null: null
//   xany           by kind: uninit, null, a number, a quoted text, or the
//                  object as below
//   KTraversal     KTraversal(<n>); KAccuracyType: KAccuracyType(<n>)
//   objects        null for a null pointer, else <class>@<number>, where
//                  <class> is the journal name of the object's type
//                  (kkJournalClassName) and <number> the decimal number of
//                  the implementation object behind it
//                  (KCommon_i::JournalSerial): numbers start at 1 and are
//                  never given twice in a process, and an object and every
//                  journal wrapper ever made for it share one, so a name
//                  stands for one object for the whole run. An object the
//                  caller made (on KCCommon, as a stream handed to
//                  SaveAsNeutral) is numbered from the same count, and a
//                  wrapper standing for it shows its number; one made by a
//                  translator built against the headers of an earlier 5.x
//                  library has no number. Such an object, and one that is
//                  neither (a value object inside an xany), is
//                  <class>@0x<address in hex>.
//                  Exceptions add {status=<n>}, {state=<n>} or
//                  {arg=<i>,code=<c>}; a status raised with its reason
//                  adds it quoted: {status=<n>,reason="<text>"}
//   value objects  KPoint3D(x,y,z), KVector3D(x,y,z), KPointUV(u,v),
//                  KColorRGB(r,g,b), KBox3D(6 numbers), KBoxUV(4 numbers),
//                  KCsys(origin, x axis, y axis, z axis: 12 numbers)
// Values of one level are separated by ",". Sequences are bracketed as
// sequence<Type[,Element]>( ... ) by StartSequence and EndSequence.
//
// Switching the journal on: in code, KSetZorvanJournaling(true) before the
// first KGetPISession (and kkJournalSetFile for a file); from outside, the
// environment variable ZORVAN_JOURNAL_FILE set to a path, read once by the
// first KGetPISession, switches journaling on into that file (see
// kernel/model/session_factory.h). A set DISABLE_QELKERNEL_JOURNAL wins over both.
// A file that another process journals into (kkJournalSetFile) is not
// taken: the variable's process says so in one line on standard error and
// journals nowhere.
//
// Records may finish on any thread: each record is used by the thread of
// its call, the sink takes finished records one at a time, and in the file
// each record is one whole line, written in one write before its call
// returns, in the order the records finished.
//
// What a journaled call costs (bench/bench_journaled_call.cpp, Release,
// one core): not recording, 1.5 to 1.7 times the plain call, for a call
// with numbers only, one with an object argument, one answering an object
// and one answering a list; recording into memory, 100 to 130 ns for the
// first three (the list of loops made anew: 450 ns, of which the plain
// call takes 135); into a file, 1.4 to 1.55 times one bare write() of a
// 100-byte line (the list: 2.8).
//
// The text members AddInput, AddOutput, AddRetval, AddComment,
// PutSeparator, operator<<(xstring), StartSequence and EndSequence, and the
// insertions of the interface enumerations KPISurfOrient, KPILoopTraversal,
// KPICurveType and KPISurfType, are defined and exported by zpi50
// (journal/text); the base library never calls them.
#pragma once

#include "kcommon.h"
#include "kvalues.h"
#include "xany.h"
#include "xstring.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class KXException;

// Interface enumerations whose insertions zpi50 defines.
enum KPISurfOrient : int;
enum KPILoopTraversal : int;
enum KPICurveType : int;
enum KPISurfType : int;

// The texts of one record. A thread keeps a few of these and reuses them
// from one record to the next, so that a record's text is built in buffers
// that have already grown and nothing is allocated per call.
struct kkJournalText {
    std::string inputs;
    std::string outputs;
    std::string comments;
    std::string retval;
    std::string exception;
    std::string target;
    std::string line;
    // Set when raw text (AddInput and its kin, PutSeparator) went in: only
    // then are line breaks and tabs looked for when the line is made.
    bool raw = false;
    // The thread's kept texts that this one goes back to.
    void* keeper = nullptr;
};

class ZBASE_API kkJournal {
public:
    // Modes: the part that values go to.
    static constexpr int32_t kModeNone = 0;      // record just made (values go to outputs)
    static constexpr int32_t kModeInputs = 1;    // kkJournal::In
    static constexpr int32_t kModeReturn = 3;    // kkJournal::Return
    static constexpr int32_t kModeException = 4; // kkJournal::Exception

    // A record of the call `name` on `target` (may be null). The name is
    // not copied: it must stay valid while the record lives (journaled
    // calls pass literals). A record made with the name alone has no target
    // part. The KCommon form names an interface object by its KCommon part.
    // The record records when the journal records now (IsRecorded). A
    // record that does not costs no more than a few tests.
    kkJournal(const char* name, xobject* target)
        : name_(name ? name : ""), records_(IsRecording()), hasTarget_(true) {
        if (records_)
            startTarget(target);
    }
    kkJournal(const char* name, KCommon* target)
        : name_(name ? name : ""), records_(IsRecording()), hasTarget_(true) {
        if (records_)
            startTarget(target);
    }
    kkJournal(const char* name, std::nullptr_t) : kkJournal(name, static_cast<xobject*>(nullptr)) {}
    explicit kkJournal(const char* name) : name_(name ? name : ""), records_(IsRecording()) {}
    kkJournal(const kkJournal&) = delete;
    kkJournal& operator=(const kkJournal&) = delete;
    // Finishes the record: hands its line to the sink when it records.
    ~kkJournal() {
        if (records_)
            finish();
    }

    // Select the part that the next values go to; each starts a fresh level.
    kkJournal& In() {
        mode_ = kModeInputs;
        nesting_ = 1;
        return *this;
    }
    kkJournal& Return() {
        mode_ = kModeReturn;
        nesting_ = 1;
        returned_ = true;
        return *this;
    }
    kkJournal& Exception() {
        mode_ = kModeException;
        nesting_ = 1;
        excepted_ = true;
        return *this;
    }

    // Marks the record as a call that did not complete: it ended with a
    // C++ exception or a raised object that the journal does not record.
    // The line then ends in " ! not completed" (after any exception part).
    void NotCompleted() { notCompleted_ = true; }
    // Whether Exception() was called on the record.
    bool HasException() const { return excepted_; }

    // Whether the journal records now (process-wide; see
    // kkJournalSetRecording). Decides whether a record made now records.
    static bool IsRecording() { return recording_.load(std::memory_order_relaxed); }
    // Whether this record records: the journal's switch as it was when the
    // record was made. Every value writer follows it, not the switch.
    bool IsRecorded() const { return records_; }

    // Separator before the next value of the current level: the first value
    // of a level (odd counter) moves the counter to even and gets none; any
    // later value (even counter) gets "," in the part the mode selects.
    void PutComma();

    // Insertions: each writes one value (nothing when the record does not
    // record).
    kkJournal& operator<<(int value);
    kkJournal& operator<<(double value);
    kkJournal& operator<<(const char* text);
    kkJournal& operator<<(xany value);
    kkJournal& operator<<(KTraversal value);
    kkJournal& operator<<(KAccuracyType value);
    kkJournal& operator<<(KCommon* object);
    kkJournal& operator<<(KCCommon* object);
    kkJournal& operator<<(KXException* exception);
    kkJournal& operator<<(KPoint3D* point);
    kkJournal& operator<<(KVector3D* vector);
    kkJournal& operator<<(KPointUV* point);
    kkJournal& operator<<(KColorRGB* color);
    kkJournal& operator<<(KCsys* csys);
    kkJournal& operator<<(KBox3D* box);
    kkJournal& operator<<(KBoxUV* box);

    // ---- text members defined in zpi50 ---------------------------------
    // Writes the string's characters as a text value.
    kkJournal& operator<<(xstring text);
    // Opens a sequence "sequence<type[,type2]>(" as one value of the
    // current level; type2 may be null.
    void StartSequence(const char* type, const char* type2);
    // Closes the innermost open sequence with ")".
    void EndSequence();

    // ---- state, for tests and tools ------------------------------------
    int32_t Mode() const { return mode_; }
    int32_t Nesting() const { return nesting_; }
    std::string InputsText() const { return text_ ? text_->inputs : std::string(); }
    std::string OutputsText() const { return text_ ? text_->outputs : std::string(); }
    std::string CommentsText() const { return text_ ? text_->comments : std::string(); }
    std::string RetvalText() const { return text_ ? text_->retval : std::string(); }
    std::string ExceptionText() const { return text_ ? text_->exception : std::string(); }
    std::string Name() const { return name_; }
    // The finished line as the destructor would hand it to the sink.
    std::string RecordLine() const;

private:
    // Raw text into one part (no quoting). AddInput and AddRetval put the
    // level's separator first; AddOutput and AddComment do not. Defined in
    // zpi50; kkJournalTextAccess reaches them from tools and tests.
    void AddInput(const char* text);
    void AddOutput(const char* text);
    void AddRetval(const char* text);
    void AddComment(const char* text);
    friend struct kkJournalTextAccess;
    // Raw text into the part that the mode selects (mode 1: inputs, 3:
    // return value); any other mode ends the process. Defined in zpi50.
    void PutSeparator(const char* text);
    // Appends one finished value (copied) after the level's separator.
    void PutStandard(const char* text);
    // The target's text, when recording at the start.
    void startTarget(xobject* target);
    void startTarget(KCommon* target);
    // Delivers the line and gives the texts back.
    void finish();
    // The record's texts, taken from the thread's buffers on first use.
    kkJournalText& text() { return text_ ? *text_ : takeText(); }
    kkJournalText& takeText();
    // Part that values go to in the current mode.
    std::string& current();
    // One value after the level's separator.
    void putValue(const char* text, size_t length);
    // Appends the line of the record (without a line end) to `line`.
    void appendLine(std::string& line) const;

    friend kkJournal& operator<<(kkJournal&, KPISurfOrient);
    friend kkJournal& operator<<(kkJournal&, KPILoopTraversal);
    friend kkJournal& operator<<(kkJournal&, KPICurveType);
    friend kkJournal& operator<<(kkJournal&, KPISurfType);

    // The recording switch.
    static std::atomic<bool> recording_;
    friend void kkJournalSetRecording(bool on);

    // Fields in this order: mode, nesting counter, the texts.
    int32_t mode_ = kModeNone;
    int32_t nesting_ = 1;
    kkJournalText* text_ = nullptr;
    // The base library's own fields.
    const char* name_;
    const bool records_;
    bool hasTarget_ = false;
    bool returned_ = false;
    bool excepted_ = false;
    bool notCompleted_ = false;
};

// Journal name of a type from its descriptor name: the text after the
// first ":" with its first character replaced by "K"
// ("KPIGeometry::PICurveList" gives "KPICurveList"); a name without ":" is
// used whole; null gives "".
ZBASE_API std::string kkJournalClassName(const char* typeName);
// The same for a descriptor (null: "object"), made once and kept with it.
ZBASE_API const std::string& kkJournalClassName(const xrttiobject* type);

// The text an object insertion writes for `object` (see above).
ZBASE_API std::string kkJournalObjectText(const xobject* object);

// ---- the sink ----------------------------------------------------------
// Recording switch (on at start). A record made while it is off writes
// nothing and never reaches the sink; one made while it is on is written
// whole when it finishes, whatever the switch says by then.
ZBASE_API void kkJournalSetRecording(bool on);
// Also writes each finished record, one line each, to the file at `path`
// (created, or emptied when it exists). Each record goes to the file whole,
// in one write, before the call it records returns.
//
// One process writes a journal file: it holds an exclusive lock on it
// (flock) while it is the journal. A file that another process holds is
// neither emptied nor written: false, and *why (when given) says "another
// process journals there"; this process then journals into no file (its
// records go to memory only, as below). A process made by fork lets go of
// its parent's journal file without writing into it, and journals into no
// file until it sets one of its own.
//
// A write that fails or falls short is cut off the file again, the record
// is counted as lost, and the next record that goes in is preceded by the
// loss mark (above). Only the bytes of that write are cut, found by the
// file's own offsets (so also after someone emptied the file or appended
// to it), and only while the file still ends with them: the file is never
// extended. When they cannot be cut, the next write begins with a line
// end, so the mark still starts a line of its own. The first failure is
// told once on standard error (btk_tell, whatever the run mode) with the
// path and the reason, after the sink's lock is released: fork() and the
// other threads' records never wait for standard error. The mark is also
// tried when the file is closed: when another is set, on null, and at the
// normal end of the process (exit, or a return from main), where the file
// is closed under the sink's lock. Only a regular file is taken: a path
// naming a directory, FIFO or device is refused without blocking. Null
// closes the file. False when the file cannot be opened, is refused or is
// held by another process (the previous file, if any, is closed then);
// *why, when given, is then the reason: the system's text ("No such file or
// directory", "Permission denied", "Too many levels of symbolic links"),
// the kind of file ("a directory", "a FIFO", "a socket", "a device") or the
// words above.
ZBASE_API bool kkJournalSetFile(const char* path);
ZBASE_API bool kkJournalSetFile(const char* path, std::string* why);
// The finished records kept in memory, oldest first; Take also empties the
// list.
ZBASE_API std::vector<std::string> kkJournalRecords();
ZBASE_API std::vector<std::string> kkJournalTakeRecords();
ZBASE_API void kkJournalClear();
// Memory keeps the newest finished records, within two limits: a number of
// records and a number of bytes (each record counts its text's allocation
// and its string); the oldest go first, and a record larger than the byte
// limit by itself is not kept (the list is emptied). At start: 10000
// records and kkJournalDefaultMemoryBytes (4 MiB); 0 for either keeps
// none. The one-argument form changes the number of records only.
//
// While a journal file is set, memory keeps nothing (the file holds the
// records), unless kkJournalSetMemoryWithFile(true) asks for the copy.
constexpr size_t kkJournalDefaultMemoryBytes = size_t(4) << 20;
ZBASE_API void kkJournalSetMemoryLimit(size_t records);
ZBASE_API void kkJournalSetMemoryLimit(size_t records, size_t bytes);
ZBASE_API void kkJournalSetMemoryWithFile(bool keep);
// The bytes that the records kept in memory take now (as counted above).
ZBASE_API size_t kkJournalMemoryBytes();
