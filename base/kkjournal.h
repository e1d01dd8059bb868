// The call journal: one kkJournal record per journaled call, and the
// process-wide sink that receives finished records.
//
// A record collects text in four parts (inputs, outputs, comments, return
// value) plus the exception. The mode selects the part that values written
// by insertion go to: In() selects the inputs, Return() the return value,
// Exception() the exception. When the record is destroyed it is finished:
// if the journal is recording, one line of text goes to the sink (an
// in-memory list and, when set, a file). The line reads
//
//     <target>.<name>(<inputs>)[ -> <return>][ ! <exception>][ out(<outputs>)][ // <comments>]
//
// where "<target>." is left out for a record made without a target, the
// return part appears once Return() was called and the exception part once
// Exception() was called. Newlines, carriage returns and tabs inside a part
// are written as \n, \r and \t so that a record is always one line.
//
// Values written by insertion:
//   int            decimal ("-12")
//   double         shortest text that reads back exactly ("2.5", "1e+300",
//                  "nan", "inf", "-inf")
//   const char*    quoted, with \" \\ \n \r \t and \xHH escapes; null: null
//   xany           by kind: uninit, null, a number, a quoted text, or the
//                  object as below
//   KTraversal     KTraversal(<n>); KAccuracyType: KAccuracyType(<n>)
//   objects        null for a null pointer, else <class>@<address in hex>,
//                  where <class> is the journal name of the object's type
//                  (kkJournalClassName); exceptions add {status=<n>},
//                  {state=<n>} or {arg=<i>,code=<c>}
//   value objects  KPoint3D(x,y,z), KVector3D(x,y,z), KPointUV(u,v),
//                  KColorRGB(r,g,b), KBox3D(6 numbers), KBoxUV(4 numbers),
//                  KCsys(origin, x axis, y axis, z axis: 12 numbers)
// Values of one level are separated by ",". Sequences are bracketed as
// sequence<Type[,Element]>( ... ) by StartSequence and EndSequence.
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

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

class KXException;

// Interface enumerations whose insertions zpi50 defines.
enum KPISurfOrient : int;
enum KPILoopTraversal : int;
enum KPICurveType : int;
enum KPISurfType : int;

class ZBASE_API kkJournal {
public:
    // Modes: the part that values go to.
    static constexpr int32_t kModeNone = 0;      // record just made (values go to outputs)
    static constexpr int32_t kModeInputs = 1;    // kkJournal::In
    static constexpr int32_t kModeReturn = 3;    // kkJournal::Return
    static constexpr int32_t kModeException = 4; // kkJournal::Exception

    // A record of the call `name` on `target` (may be null). The name is
    // copied. A record made with the name alone has no target part.
    kkJournal(const char* name, xobject* target);
    explicit kkJournal(const char* name);
    kkJournal(const kkJournal&) = delete;
    kkJournal& operator=(const kkJournal&) = delete;
    // Finishes the record: hands its line to the sink when recording.
    ~kkJournal();

    // Select the part that the next values go to; each starts a fresh level.
    kkJournal& In();
    kkJournal& Return();
    kkJournal& Exception();

    // Whether the journal records (process-wide; see kkJournalSetRecording).
    static bool IsRecording();

    // Separator before the next value of the current level: the first value
    // of a level (odd counter) moves the counter to even and gets none; any
    // later value (even counter) gets "," in the part the mode selects.
    void PutComma();

    // Insertions: each writes one value (nothing while not recording).
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
    std::string InputsText() const { return inputs_.str(); }
    std::string OutputsText() const { return outputs_.str(); }
    std::string CommentsText() const { return comments_.str(); }
    std::string RetvalText() const { return retval_.str(); }
    std::string ExceptionText() const { return exception_; }
    const std::string& Name() const { return name_; }
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
    // Part that values go to in the current mode.
    std::ostream& current();
    void putValue(const std::string& text);

    friend kkJournal& operator<<(kkJournal&, KPISurfOrient);
    friend kkJournal& operator<<(kkJournal&, KPILoopTraversal);
    friend kkJournal& operator<<(kkJournal&, KPICurveType);
    friend kkJournal& operator<<(kkJournal&, KPISurfType);

    // Fields in this order: mode, nesting counter, the four text parts.
    int32_t mode_ = kModeNone;
    int32_t nesting_ = 1;
    std::ostringstream inputs_;
    std::ostringstream outputs_;
    std::ostringstream comments_;
    std::ostringstream retval_;
    // The base library's own fields.
    std::string exception_;
    std::string name_;
    std::string target_;
    bool hasTarget_ = false;
    bool returned_ = false;
    bool excepted_ = false;
};

// Journal name of a type from its descriptor name: the text after the
// first ":" with its first character replaced by "K"
// ("KPIGeometry::PICurveList" gives "KPICurveList"); a name without ":" is
// used whole; null gives "".
ZBASE_API std::string kkJournalClassName(const char* typeName);

// The text an object insertion writes for `object` (see above).
ZBASE_API std::string kkJournalObjectText(const xobject* object);

// ---- the sink ----------------------------------------------------------
// Recording switch (on at start). While off, no value is written and no
// finished record reaches the sink.
ZBASE_API void kkJournalSetRecording(bool on);
// Also writes each finished record, one line each, to the file at `path`
// (created or truncated). Null closes the file. False when the file cannot
// be opened (the previous file, if any, is closed then).
ZBASE_API bool kkJournalSetFile(const char* path);
// The finished records kept in memory, oldest first; Take also empties the
// list.
ZBASE_API std::vector<std::string> kkJournalRecords();
ZBASE_API std::vector<std::string> kkJournalTakeRecords();
ZBASE_API void kkJournalClear();
// How many finished records memory keeps (the oldest go first); 10000 at
// start, 0 keeps none.
ZBASE_API void kkJournalSetMemoryLimit(size_t records);
