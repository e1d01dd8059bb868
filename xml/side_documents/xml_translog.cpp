// The translation log and the translation options document.
#include "xml/side_documents/xml_translog.h"

#include "xml/framework/sax_handler.h"
#include "xml/framework/xml_document.h"
#include "xml/geometry/xml_geometry.h"
#include "xml/framework/xml_records.h"

#include "xmemory.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace {

bool Is(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

} // namespace

// ---- log writer ------------------------------------------------------------------------

IntfXmlLogLines::IntfXmlLogLines(const char* path, const char* const* lines,
                                 kkDurability durability) {
    const int32_t n = xar_count(lines);
    IntfXmlCheckArray(lines, n, sizeof(const char*), "log lines");
    Write(path, lines, n, durability);
}

IntfXmlLogLines::IntfXmlLogLines(const char* path, const char* const* lines, int32_t count) {
    if (count < 0 || (count > 0 && !lines))
        IntfXmlThrow(INTFXML_ERR_RECORD, "log lines: %d lines claimed, %s", count,
                     lines ? "a negative count" : "no array");
    Write(path, lines, count, kkDurability::Durable);
}

void IntfXmlLogLines::Write(const char* path, const char* const* lines, int32_t count,
                            kkDurability durability) {
    IntfXmlWriteDocument(path, [&] {
        StartElement("LogLines");
        AddAttribute("size", count);
        for (int32_t i = 0; i < count; ++i) {
            StartElement("LogLine");
            if (lines[i])
                AddText(lines[i]);
            else
                AddAttribute("empty", "1");
            EndElement();
        }
        EndElement();
    }, durability);
}

// ---- log reader ------------------------------------------------------------------------

IntfXmlLogLines::IntfXmlLogLines(IntfXmlElement* parent) : IntfXmlElement(parent) {}

IntfXmlElement* IntfXmlLogLines::startElement(const char* name, IntfXmlAttributes& attrs) {
    ++depth_;
    if (depth_ == 1) {
        size_ = IntfXmlRequireSize(attrs, name);
        return this;
    }
    if (depth_ > 2 || !Is(name, "LogLine"))
        IntfXmlThrowUnexpected(name, depth_ > 2 ? "LogLine" : "LogLines");
    intfxml::CheckRoom(int(lines_.size()), size_, "LogLine", "LogLines");
    IntfXmlLogLine line;
    // "empty" is written only for a line that is missing, as "1". Any other
    // value (a number or not) marks nothing: the line is read as the text
    // it holds, and told with the value as the document holds it.
    if (IntfXmlHasAttrib("empty", attrs, 0)) {
        const btkString value = IntfXmlRequireString("empty", attrs, 0, "LogLine");
        int32_t empty = 0;
        line.missing = IntfXmlToInt(IntfXmlTrim(value.str()), empty) && empty == 1;
        if (!line.missing)
            IntfXmlTellPassedOver(IntfXmlPassed::ValueOfNoMeaning, [&] {
                return "\"LogLine\" holds \"empty\" = " + kname::Shown(value.str()) +
                       ", which marks no line (a missing line holds \"1\"): read as a line of "
                       "the text it holds";
            });
    }
    lines_.push_back(std::move(line));
    return this;
}

IntfXmlElement* IntfXmlLogLines::endElement(const char*) {
    if (--depth_ == 1) {
        // The text moves: a long line is held once.
        if (!lines_.back().missing)
            lines_.back().text = std::move(text_);
        else
            IntfXmlTellTextNotRead("LogLine", text_); // a missing line has none
        ClearText();
        return this;
    }
    intfxml::CheckComplete(int(lines_.size()), size_, "LogLine", "LogLines");
    return Parent();
}

std::vector<IntfXmlLogLine> IntfXmlLogLines::Read(const char* path) {
    IntfXmlLogLines reader(nullptr);
    IntfXmlParseDocument(path, &reader);
    return std::move(reader.lines_);
}

// ---- option list -----------------------------------------------------------------------

IntfXmlOption& IntfXmlOptionList::Entry(const std::string& name) {
    auto found = index_.find(name);
    if (found != index_.end()) {
        IntfXmlOption& o = items_[found->second];
        o = IntfXmlOption();
        o.name = name;
        return o;
    }
    index_.emplace(name, items_.size());
    items_.emplace_back();
    items_.back().name = name;
    return items_.back();
}

bool IntfXmlOptionList::SetInteger(const std::string& name, int32_t value) {
    if (name.empty())
        return false;
    IntfXmlOption& o = Entry(name);
    o.type = IntfXmlOption::kInteger;
    o.intValue = value;
    return true;
}

bool IntfXmlOptionList::SetDouble(const std::string& name, double value) {
    if (name.empty())
        return false;
    IntfXmlOption& o = Entry(name);
    o.type = IntfXmlOption::kDouble;
    o.doubleValue = value;
    return true;
}

bool IntfXmlOptionList::SetString(const std::string& name, const std::string& value) {
    if (name.empty() || value.empty())
        return false;
    IntfXmlOption& o = Entry(name);
    o.type = IntfXmlOption::kString;
    o.text = value;
    return true;
}

const IntfXmlOption* IntfXmlOptionList::Find(const std::string& name) const {
    auto found = index_.find(name);
    return found == index_.end() ? nullptr : &items_[found->second];
}

// ---- options writer ----------------------------------------------------------------------

IntfXmlTranslationOptions::IntfXmlTranslationOptions(const char* path,
                                                     const IntfXmlOptionList& options) {
    const auto& items = options.Items();
    if (items.size() > size_t(INT32_MAX))
        IntfXmlThrow(INTFXML_ERR_RECORD, "too many options: %zu", items.size());
    IntfXmlWriteDocument(path, [&] {
        StartElement("TranslationOptions");
        AddAttribute("size", int32_t(items.size()));
        for (const IntfXmlOption& o : items) {
            StartElement("Option");
            AddAttribute("Name", o.name.c_str());
            AddAttribute("Type", o.type);
            IntfXmlWriter& w = IntfXmlWriter::Current();
            switch (o.type) {
            case IntfXmlOption::kInteger:
                w.BeginText();
                w.TextInt(o.intValue);
                break;
            case IntfXmlOption::kDouble:
                w.BeginText();
                w.TextDouble(o.doubleValue);
                break;
            case IntfXmlOption::kString:
                IntfXmlWriter::Current().WriteText(o.text);
                break;
            default:
                break;
            }
            EndElement();
        }
        EndElement();
    });
}

// ---- options reader ----------------------------------------------------------------------

IntfXmlTranslationOptions::IntfXmlTranslationOptions(IntfXmlElement* parent)
    : IntfXmlElement(parent) {}

IntfXmlTranslationOptions::~IntfXmlTranslationOptions() = default;

namespace {

// What an option is not read for, told with its name.
void TellOption(IntfXmlPassed kind, const std::string& name, const char* why) {
    IntfXmlTellPassedOver(kind, [&] {
        char said[400];
        std::snprintf(said, sizeof said, "\"Option\" %s %s", kname::Shown(name).c_str(), why);
        return std::string(said);
    });
}

} // namespace

IntfXmlElement* IntfXmlTranslationOptions::startElement(const char* name,
                                                        IntfXmlAttributes& attrs) {
    ++depth_;
    if (!options_) {
        options_ = std::make_unique<IntfXmlOptionList>();
        // The root's "size" says how many options it holds (told when it is
        // missing, or when another number of them came); a lone "Option"
        // may stand for the root.
        if (!Is(name, "Option")) {
            sized_ = IntfXmlHasAttrib("size", attrs, 0);
            size_ = GetIntegerAttribValue("size", &attrs, 0);
            return this;
        }
    }
    if (optionDepth_ != 0)
        IntfXmlThrowUnexpected(name, "Option");
    if (Is(name, "Option")) {
        optionDepth_ = depth_;
        ++count_;
        name_ = GetStringAttribValue("Name", &attrs, 0);
        type_ = intfxml::IntAt("Type", attrs, 1, -1, "Option");
    } else {
        IntfXmlTellElementNotRead(name, attrs);
    }
    return this;
}

IntfXmlElement* IntfXmlTranslationOptions::endElement(const char*) {
    if (depth_ == optionDepth_) {
        optionDepth_ = 0;
        const std::string name = name_.str();
        // What sets nothing is told, and so is an option given again.
        if (name.empty()) {
            IntfXmlTellPassedOver(IntfXmlPassed::OptionWithoutName,
                                  "an \"Option\" without a name is not read");
        } else {
            const bool again = options_->Find(name) != nullptr;
            bool set = false;
            switch (type_) {
            case IntfXmlOption::kInteger:
                set = options_->SetInteger(name, IntfXmlParseInt(text_, "Option"));
                break;
            case IntfXmlOption::kDouble:
                set = options_->SetDouble(name, IntfXmlParseDouble(text_, "Option"));
                break;
            case IntfXmlOption::kString:
                set = options_->SetString(name, text_);
                if (!set)
                    TellOption(IntfXmlPassed::OptionWithoutText, name,
                               "of type 3 holds no text: it is not read");
                break;
            default:
                TellOption(IntfXmlPassed::OptionOfNoType, name,
                           ("is of type " + std::to_string(type_) +
                            ", which no option kind carries: it is not read")
                               .c_str());
                break;
            }
            if (set && again)
                TellOption(IntfXmlPassed::OptionTwice, name,
                           "appears twice: the later one is read");
        }
    }
    if (--depth_ <= 0) {
        if (sized_ && count_ != size_)
            IntfXmlTellPassedOver(IntfXmlPassed::OptionCount, [&] {
                return "the document holds " + std::to_string(count_) +
                       (count_ == 1 ? " option" : " options") + " where its size says " +
                       std::to_string(size_);
            });
        return Parent();
    }
    return this;
}

std::unique_ptr<IntfXmlOptionList> IntfXmlTranslationOptions::Read(const char* path) {
    IntfXmlTranslationOptions reader(nullptr);
    IntfXmlParseDocument(path, &reader);
    return reader.TakeOptions();
}
