// The text members of the call record and the journal text of the
// interface enumerations.
#include "journal/text/journal_text.h"

#include "process.h"

#include <charconv>
#include <string>
#include <string_view>

namespace {
// Source that the fatal inconsistencies of the journal text name.
const char* const kJournalHeader = "kkJournal.h";
} // namespace

namespace {
// Raw text goes in unchanged; the record escapes line breaks and tabs when
// it makes its line.
void appendRaw(kkJournalText& texts, std::string& part, const char* text) {
    if (!text)
        return;
    const std::string_view piece(text);
    if (!texts.raw && piece.find_first_of("\n\r\t") != std::string_view::npos)
        texts.raw = true;
    part += piece;
}
} // namespace

// Like every writer, the raw text members write nothing into a record that
// does not record.
void kkJournal::AddInput(const char* text) {
    if (!records_)
        return;
    PutComma();
    appendRaw(this->text(), this->text().inputs, text);
}

void kkJournal::AddOutput(const char* text) {
    if (records_)
        appendRaw(this->text(), this->text().outputs, text);
}

void kkJournal::AddRetval(const char* text) {
    if (!records_)
        return;
    PutComma();
    appendRaw(this->text(), this->text().retval, text);
}

void kkJournal::AddComment(const char* text) {
    if (records_)
        appendRaw(this->text(), this->text().comments, text);
}

void kkJournal::PutSeparator(const char* text) {
    if (!records_)
        return;
    switch (mode_) {
    case kModeInputs: appendRaw(this->text(), this->text().inputs, text); break;
    case kModeReturn: appendRaw(this->text(), this->text().retval, text); break;
    default: _btkAbort(nullptr, kJournalHeader, 175);
    }
}

kkJournal& kkJournal::operator<<(xstring text) {
    // Through the text insertion; the copy goes when this returns or throws.
    return *this << text.c_str();
}

void kkJournal::StartSequence(const char* type, const char* type2) {
    if (!records_)
        return;
    PutComma();
    // The separators "sequence<", the type, ",", the second type and ">(",
    // into the part the mode selects (PutSeparator's).
    PutSeparator("sequence<");
    std::string& part = mode_ == kModeInputs ? text().inputs : text().retval;
    appendRaw(text(), part, type);
    if (type2) {
        part += ',';
        appendRaw(text(), part, type2);
    }
    part += ">(";
    ++nesting_;
}

void kkJournal::EndSequence() {
    if (!records_)
        return;
    PutSeparator(")");
    --nesting_;
    // A level that held values is left even; a negative counter is not odd.
    if (nesting_ % 2 == 1)
        --nesting_;
}

namespace {
// "<prefix><value>)": the type name, "(", the signed decimal value, ")".
std::string enumText(const char* prefix, int value) {
    char digits[16];
    auto r = std::to_chars(digits, digits + sizeof digits, value);
    std::string text(prefix);
    text.append(digits, r.ptr);
    text += ')';
    return text;
}
} // namespace

// Each writer hands its own copy of the text to the record's PutStandard
// (private; the four writers are the record's friends). The copy is freed
// when the writer returns or PutStandard throws.
#define ZPI_JOURNAL_ENUM_WRITER(Enum)                                          \
    kkJournal& operator<<(kkJournal& journal, Enum value) {                    \
        if (!journal.IsRecorded())                                             \
            return journal;                                                    \
        std::string text = enumText(#Enum "(", static_cast<int>(value));       \
        journal.PutStandard(text.c_str());                                     \
        return journal;                                                        \
    }
ZPI_JOURNAL_ENUM_WRITER(KPISurfOrient)
ZPI_JOURNAL_ENUM_WRITER(KPILoopTraversal)
ZPI_JOURNAL_ENUM_WRITER(KPICurveType)
ZPI_JOURNAL_ENUM_WRITER(KPISurfType)
#undef ZPI_JOURNAL_ENUM_WRITER
