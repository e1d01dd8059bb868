// Texts in the neutral file: every narrow text, wide text and comment is
// read back from a written file, item by item, exactly as it was; texts
// that always came back are written as before; a path with no UTF-8 form
// is refused.
#include "neutral/neutral_schema.h"
#include "neutral/neutral_writer.h"
#include "neutral_file_reader.h"
#include "neutral_test_util.h"

#include "btkstring.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace ntest;

namespace {

namespace fs = std::filesystem;

std::string temp_path(const std::string& name) {
    return testing::TempDir() + "neutral_texts_" + std::to_string(::getpid()) + "_" + name;
}

// Writes the part to a fresh file and returns the text (empty on failure).
std::string write_text(neut_part* part, const char* name) {
    const std::string path = temp_path(name);
    std::remove(path.c_str());
    EXPECT_EQ(1, stream_neutral_to_pfa(btkStrUtf8ToUtf16(path).c_str(), part));
    std::string text = read_file(path);
    std::remove(path.c_str());
    return text;
}

// A part holding one feature per type name.
neut_part* part_with_features(std::initializer_list<const char*> type_names) {
    auto* part = make<neut_part>();
    int id = 1;
    for (const char* name : type_names) {
        neut_feature feat{};
        feat.id = id++;
        feat.type_name = name ? dup(name) : nullptr;
        push_value(part->features, feat);
    }
    return part;
}

// The value of a union member or a counted text item after its head
// ("s_val ", "[1] ").
std::string after(const std::string& value, const std::string& head) {
    EXPECT_EQ(0u, value.rfind(head, 0)) << value;
    return value.substr(head.size());
}

// Narrow bytes: a byte that is not UTF-8 (Latin-1), a well-formed
// character, an encoded surrogate, a code point above U+10FFFF, a sequence
// cut short by a quote, and the characters that were escaped before.
const std::string kOddBytes = "caf\xE9 \xC3\xA9 \xED\xA0\x80 \xF4\x90\x80\x80 \xC3\"\\\n\r\t\x01\x7F end";
// Wide units: lone surrogates of both halves (one at the end), a pair, a
// real U+FFFD, a control character and a line end.
const std::u16string kOddUnits = u"A\xD800" u"B\xDC00\xD83D\xDE00\xFFFD\x01\n\xDC00\xD800";

} // namespace

TEST(NeutralTexts, TypeNameIsWrittenAsTheTextItPointsTo) {
    const std::string longName(100, 'X');
    neut_part* part = part_with_features({"PROTRUSION", longName.c_str(), nullptr});
    const std::string text = write_text(part, "type_name.neu");
    NeutralFile file(text);
    EXPECT_EQ("PROTRUSION", narrow_text(file.at("Neutral_part/features/[0]/type_name").value));
    // At most the 81 bytes of the field; the comment holds the whole text.
    EXPECT_EQ(std::string(81, 'X'), narrow_text(file.at("Neutral_part/features/[1]/type_name").value));
    EXPECT_EQ("NULL", file.at("Neutral_part/features/[2]/type_name").value);
    EXPECT_EQ(std::vector<std::string>{"PROTRUSION"}, file.at("Neutral_part/features/[0]").comments);
    EXPECT_EQ(std::vector<std::string>{longName}, file.at("Neutral_part/features/[1]").comments);
    EXPECT_EQ(std::vector<std::string>{""}, file.at("Neutral_part/features/[2]").comments);
    EXPECT_EQ(0, release_neutral_part(part));

    // The same part made anew (its texts elsewhere in memory) gives the
    // same bytes: no address reaches the file.
    neut_part* again = part_with_features({"PROTRUSION", longName.c_str(), nullptr});
    EXPECT_EQ(text, write_text(again, "type_name_again.neu"));
    EXPECT_EQ(0, release_neutral_part(again));
}

TEST(NeutralTexts, EveryTextComesBackExactly) {
    auto* part = make<neut_part>();
    neut_feature feat{};
    feat.type_name = dup(kOddBytes.substr(0, 60).c_str());
    feat.user_name = wdup(kOddUnits.c_str());
    push_value(part->features, feat);

    neut_geom_tol old{};
    old.tol_class = dup(kOddBytes.c_str());
    push_value(part->geometric_tolerance, old);

    auto* attr = make<neut_attribute>();
    attr->name = wdup(kOddUnits.c_str());
    attr->value.type = NEUT_SYM_STRING;
    std::memcpy(attr->value.value.s_val, kOddUnits.c_str(), kOddUnits.size() * sizeof(char16_t));
    attr->ref_name = wdup(u"\xDBFF");
    push(part->attributes, attr);

    neut_unit unit{};
    std::memcpy(unit.name, u"mm\xD834", 3 * sizeof(char16_t)); // a pair cut at the end
    push_value(part->units, unit);

    neut_dimension dim{};
    char16_t line[81] = {};
    std::memcpy(line, kOddUnits.c_str(), kOddUnits.size() * sizeof(char16_t));
    xar_alloc_or_append(dim.text, int(sizeof line), 2, 1, line);
    push_value(part->dimensions, dim);

    part->colors = make<neut_colors>();
    neut_color col{};
    col.bump = make<neut_texture>();
    std::strcpy(col.bump->name, "b\xFFmp\n");
    push_value(part->colors->color_tab, col);

    part->model_class = typed(1, ("first line\nsecond\r\nthird " + kOddBytes).c_str());

    NeutralFile file(write_text(part, "odd.neu"));
    EXPECT_EQ(kOddBytes.substr(0, 60),
              narrow_text(file.at("Neutral_part/features/[0]/type_name").value));
    EXPECT_EQ(std::vector<std::string>{kOddBytes.substr(0, 60)},
              file.at("Neutral_part/features/[0]").comments);
    EXPECT_EQ(kOddUnits, wide_text(file.at("Neutral_part/features/[0]/user_name").value));
    EXPECT_EQ(kOddBytes, narrow_text(file.at("Neutral_part/geometric_tolerance/[0]/tol_class").value));
    EXPECT_EQ(kOddUnits, wide_text(file.at("Neutral_part/attributes/[0]/name").value));
    EXPECT_EQ(kOddUnits,
              wide_text(after(file.at("Neutral_part/attributes/[0]/value/value").value, "s_val ")));
    EXPECT_EQ(u"\xDBFF", wide_text(file.at("Neutral_part/attributes/[0]/ref_name").value));
    EXPECT_EQ(u"mm\xD834", wide_text(file.at("Neutral_part/units/[0]/name").value));
    EXPECT_EQ(kOddUnits, wide_text(after(file.at("Neutral_part/dimensions/[0]/text").value, "[1] ")));
    EXPECT_EQ("b\xFFmp\n", narrow_text(file.at("Neutral_part/colors/color_tab/[0]/bump/name").value));
    EXPECT_EQ(std::vector<std::string>{"first line\nsecond\r\nthird " + kOddBytes},
              file.at("Neutral_part/model_class").comments);
    EXPECT_EQ(0, release_neutral_part(part));
}

TEST(NeutralTexts, TextsThatAlwaysCameBackAreWrittenAsBefore) {
    auto* part = make<neut_part>();
    auto* g = make<neut_gtol>();
    g->comment = dup("C:\\temp\\new \"q\"\ttab \xC3\xA9");
    push(part->geometric_tolerances, g);
    auto* attr = make<neut_attribute>();
    attr->name = wdup(u"Mat\u00e9rial \"A1\"\t\x01\\ \xFFFD \xD83D\xDE00");
    attr->value.type = NEUT_SYM_INT;
    push(part->attributes, attr);
    part->model_class = typed(2, "\"quoted\"");
    const std::string text = write_text(part, "plain.neu");
    EXPECT_NE(std::string::npos, text.find("\n    #C:\\temp\\new \"q\"\ttab \xC3\xA9\n    [0] {\n"));
    EXPECT_NE(std::string::npos,
              text.find("\n      name \"Mat\xC3\xA9rial \\\"A1\\\"\\t\\x01\\\\ \xEF\xBF\xBD \xF0\x9F\x98\x80\"\n"));
    EXPECT_NE(std::string::npos, text.find("\n  #\"quoted\"\n  model_class {\n"));
    EXPECT_EQ(std::string::npos, text.find("\\#")); // no comment needed the escaped form
    EXPECT_EQ(0, release_neutral_part(part));
}

TEST(NeutralTexts, APathWithoutAUtf8FormIsRefused) {
    auto* part = make<neut_part>();
    const std::string dir = temp_path("dir");
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::u16string base = btkStrUtf8ToUtf16(dir) + u"/part";
    for (const std::u16string& name : {base + u"\xD800.neu", base + u"\xDC00", base + u"\xD800"}) {
        EXPECT_EQ(0, stream_neutral_to_pfa(name.c_str(), part));
        EXPECT_EQ(nullptr, ugc_open_output_flags(name.c_str(), 7, 1404, 0, 0, 0, 0, 0, 0));
    }
    EXPECT_TRUE(fs::is_empty(dir)); // nothing written under another name

    // A path of characters beyond ASCII is written under its own name.
    EXPECT_EQ(1, stream_neutral_to_pfa((base + u"\u00e9\U0001F600.neu").c_str(), part));
    EXPECT_TRUE(fs::exists(dir + "/part\xC3\xA9\xF0\x9F\x98\x80.neu"));
    fs::remove_all(dir);
    EXPECT_EQ(0, release_neutral_part(part));
}
