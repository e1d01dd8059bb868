// The translation log ("TranslationLog.xml") and the translation options
// document.
//
// Log:
//   	<LogLines size="n">
//   	<LogLine>text of a line</LogLine>
//   	<LogLine empty="1"></LogLine>        (a missing line)
//   	</LogLines>
// The lines come as an xar of C-text pointers (an entry may be null) or as
// a plain array with its count. A line is carried unchanged, markup
// characters, leading and trailing blanks included. The reader reads a
// "LogLine" whose "empty" is other than "1" as a line of its text, and
// tells it.
//
// Options:
//   	<TranslationOptions size="n">
//   	<Option Name="tol" Type="2">0.5</Option>
//   	</TranslationOptions>
// Type 1 integer ("%d"), 2 double ("%.18lg"), 3 text. The reader fills a
// plain name -> typed value list (IntfXmlOptionList), which the client
// hands on to its translation options; it accepts any root element, whose
// "size" it compares with the options that came. An "Option" attribute
// that is missing, or not at the position the writer puts it ("Name" 0,
// "Type" 1), reads as missing (empty name, type -1). An option with an
// empty name, of a type other than 1, 2 and 3, or of type 3 with an empty
// text sets nothing; a later option of the same name replaces the earlier
// one, type and value; elements other than "Option" are passed over: each
// is told, and so is a count other than "size". A value that is not a
// number of its type, a "Type" that is not an integer, and an element
// inside an "Option" throw IntfXmlError (INTFXML_ERR_MALFORMED).
#pragma once

#include "api/zpi50_export.h"
#include "xml/framework/xml_element.h"
#include "xml/framework/xml_writer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// ---- translation log ---------------------------------------------------------------

// One line read back: its text, or missing (written with empty="1").
struct IntfXmlLogLine {
    std::string text;
    bool missing = false;
};

class IntfXmlLogLines : public IntfXmlElement, public IntfXmlWriting {
public:
    // Writers: the whole log. `lines` is an xar of C-text pointers (null
    // for no lines), or a plain array of `count` pointers. Throw
    // IntfXmlError as IntfXmlWriteDocument does, and INTFXML_ERR_RECORD for
    // an xar of other elements. A local file is synced as `durability` says.
    IntfXmlLogLines(const char* path, const char* const* lines,
                    kkDurability durability = kkDurability::Durable);
    IntfXmlLogLines(const char* path, const char* const* lines, int32_t count);
    // Reader; a null parent makes it a document's top reader. The root may
    // bear any name; its children must be "LogLine" elements holding text
    // only, as many as "size" says.
    explicit IntfXmlLogLines(IntfXmlElement* parent);

    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

    const std::vector<IntfXmlLogLine>& GetLines() const { return lines_; }
    // Reads the log at `path`. Throws IntfXmlError.
    static std::vector<IntfXmlLogLine> Read(const char* path);

private:
    void Write(const char* path, const char* const* lines, int32_t count,
               kkDurability durability);

    std::vector<IntfXmlLogLine> lines_;
    int32_t size_ = -1;
    int depth_ = 0;
};

// ---- translation options -------------------------------------------------------------

struct IntfXmlOption {
    static constexpr uint32_t kInteger = 1;
    static constexpr uint32_t kDouble = 2;
    static constexpr uint32_t kString = 3;

    std::string name;
    uint32_t type = 0;
    int32_t intValue = 0;
    double doubleValue = 0;
    std::string text;
};

// Options in the order their names first came; one entry per name.
class IntfXmlOptionList {
public:
    // Each stores the option, replacing an entry of the same name (type
    // and value); false, and nothing stored, for an empty name (and for an
    // empty text).
    bool SetInteger(const std::string& name, int32_t value);
    bool SetDouble(const std::string& name, double value);
    bool SetString(const std::string& name, const std::string& value);

    // The option of that name, or null.
    const IntfXmlOption* Find(const std::string& name) const;
    const std::vector<IntfXmlOption>& Items() const { return items_; }
    size_t Count() const { return items_.size(); }

private:
    IntfXmlOption& Entry(const std::string& name);

    std::vector<IntfXmlOption> items_;
    std::unordered_map<std::string, size_t> index_;
};

class IntfXmlTranslationOptions : public IntfXmlElement, public IntfXmlWriting {
public:
    // Writer: the whole options document. Throws IntfXmlError as
    // IntfXmlWriteDocument does.
    IntfXmlTranslationOptions(const char* path, const IntfXmlOptionList& options);
    // Reader; a null parent makes it a document's top reader.
    explicit IntfXmlTranslationOptions(IntfXmlElement* parent);
    ~IntfXmlTranslationOptions() override;

    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

    // The options read: made at the first element, so any document with an
    // element yields a list (empty when it has no options). Null before.
    const IntfXmlOptionList* GetOptions() const { return options_.get(); }
    std::unique_ptr<IntfXmlOptionList> TakeOptions() { return std::move(options_); }

    // Reads the options document at `path`. Throws IntfXmlError.
    static std::unique_ptr<IntfXmlOptionList> Read(const char* path);

private:
    std::unique_ptr<IntfXmlOptionList> options_;
    btkString name_; // of the option being read
    int32_t type_ = -1;
    int depth_ = 0;
    int optionDepth_ = 0; // depth of the open "Option", 0 when none is open
    bool sized_ = false;  // the root has its "size"
    int32_t size_ = -1;
    int32_t count_ = 0; // "Option" elements read
};
