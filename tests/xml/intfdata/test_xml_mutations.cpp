// Mutated documents: a valid interface-data document (written by the
// library from a full record) and valid side documents are cut, have bytes
// flipped, inserted and dropped, elements doubled and dropped, numbers and
// "size" values replaced with huge, negative and garbage texts. Every parse
// either succeeds (and what it read is freed) or throws IntfXmlError;
// nothing else escapes, and the sanitizers watch for faults and leaks.
// The generator starts from a fixed value, so every run tries the same cases.
#include "xml/intfdata_fixtures.h"
#include "xml/xml_test_util.h"

#include "xml/framework/sax_handler.h"
#include "xml/side_documents/side_documents.h"
#include "xml/intfdata/xml_zpi.h"

#include "prng.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testprng::Prng;

const char* const kBadNumbers[] = {
    "99999999999999999999999999", "-99999999999999999999", "2147483648", "-2147483649",
    "4294967296", "18446744073709551616", "-1", "-2147483648", "2147483647", "NaN", "nan",
    "inf", "-inf", "1e999", "-1e999", "1e-999", "0x7fffffff", "abc", "", " ", "1.5.5",
    "--1", "+", "1e", "12abc", "0", "-0", "1,5", "\xc3\xa9", "&#0;", "&amp;", "1 2 3",
};

const char* const kBadSizes[] = {
    "2147483647", "-1", "-2147483648", "4294967295", "99999999999999999999", "1000000000",
    "0", "abc", "", "1e9", "NaN", "65536",
};

// Start of the element name at a "<" that opens an element, or npos.
bool IsStartTag(const std::string& s, size_t p) {
    return p + 1 < s.size() && s[p] == '<' && s[p + 1] != '/' && s[p + 1] != '?' &&
           s[p + 1] != '!';
}

// The extent [p, end) of the element whose start tag is at p; npos when
// it cannot be found.
size_t ElementEnd(const std::string& s, size_t p) {
    size_t nameEnd = s.find_first_of(" \t\n/>", p + 1);
    if (nameEnd == std::string::npos)
        return std::string::npos;
    const std::string name = s.substr(p + 1, nameEnd - p - 1);
    size_t tagEnd = s.find('>', p);
    if (tagEnd == std::string::npos)
        return std::string::npos;
    if (s[tagEnd - 1] == '/')
        return tagEnd + 1;
    int depth = 1;
    size_t q = tagEnd + 1;
    while (depth > 0) {
        q = s.find('<', q);
        if (q == std::string::npos)
            return std::string::npos;
        if (s.compare(q, name.size() + 3, "</" + name + ">") == 0) {
            if (--depth == 0)
                return q + name.size() + 3;
        } else if (s.compare(q + 1, name.size(), name) == 0 &&
                   std::string(" \t\n/>").find(s[q + 1 + name.size()]) != std::string::npos) {
            ++depth;
        }
        ++q;
    }
    return std::string::npos;
}

// A random element start tag position, or npos.
size_t RandomElement(const std::string& s, Prng& rng) {
    for (int tries = 0; tries < 32; ++tries) {
        size_t p = s.find('<', rng.Below(s.size()));
        if (p != std::string::npos && IsStartTag(s, p))
            return p;
    }
    return std::string::npos;
}

// Positions [b, e) of the numbers in the text (runs of digits with sign,
// point and exponent).
std::vector<std::pair<size_t, size_t>> Numbers(const std::string& s) {
    std::vector<std::pair<size_t, size_t>> out;
    size_t i = 0;
    while (i < s.size()) {
        if ((s[i] >= '0' && s[i] <= '9') && (i == 0 || s[i - 1] == '>' || s[i - 1] == '"' ||
                                            s[i - 1] == ' ' || s[i - 1] == '-')) {
            size_t b = (i > 0 && s[i - 1] == '-') ? i - 1 : i;
            size_t e = i;
            while (e < s.size() && std::string("0123456789.eE+-").find(s[e]) != std::string::npos)
                ++e;
            out.emplace_back(b, e);
            i = e;
        } else {
            ++i;
        }
    }
    return out;
}

// One mutation of `doc`, chosen by the generator.
std::string Mutate(const std::string& doc, Prng& rng) {
    std::string s = doc;
    const int rounds = 1 + static_cast<int>(rng.Below(3));
    for (int r = 0; r < rounds && !s.empty(); ++r) {
        switch (rng.Below(9)) {
        case 0: // truncate
            s.resize(rng.Below(s.size()));
            break;
        case 1: { // flip bits of a few bytes
            const int n = 1 + static_cast<int>(rng.Below(4));
            for (int k = 0; k < n; ++k)
                s[rng.Below(s.size())] ^= static_cast<char>(1u << rng.Below(8));
            break;
        }
        case 2: { // insert random bytes
            const size_t at = rng.Below(s.size() + 1);
            std::string bytes;
            const size_t n = 1 + rng.Below(8);
            for (size_t k = 0; k < n; ++k)
                bytes += static_cast<char>(rng.Below(256));
            s.insert(at, bytes);
            break;
        }
        case 3: { // delete a run of bytes
            const size_t at = rng.Below(s.size());
            s.erase(at, 1 + rng.Below(16));
            break;
        }
        case 4:   // duplicate an element
        case 5: { // drop an element
            size_t p = RandomElement(s, rng);
            if (p == std::string::npos)
                break;
            size_t e = ElementEnd(s, p);
            if (e == std::string::npos)
                break;
            if (r % 2 == 0 && rng.Below(2) == 0)
                s.insert(e, s.substr(p, e - p));
            else
                s.erase(p, e - p);
            break;
        }
        case 6:
        case 7: { // replace numbers
            auto numbers = Numbers(s);
            if (numbers.empty())
                break;
            const int n = 1 + static_cast<int>(rng.Below(3));
            // From the back, so earlier positions stay valid.
            std::vector<std::pair<size_t, size_t>> picked;
            for (int k = 0; k < n; ++k)
                picked.push_back(numbers[rng.Below(numbers.size())]);
            std::sort(picked.begin(), picked.end());
            picked.erase(std::unique(picked.begin(), picked.end()), picked.end());
            for (auto it = picked.rbegin(); it != picked.rend(); ++it)
                s.replace(it->first, it->second - it->first,
                          kBadNumbers[rng.Below(std::size(kBadNumbers))]);
            break;
        }
        case 8: { // a "size" attribute to a huge, negative or garbage value
            std::vector<size_t> at;
            for (size_t p = s.find("size=\""); p != std::string::npos; p = s.find("size=\"", p + 1))
                at.push_back(p + 6);
            if (at.empty())
                break;
            size_t b = at[rng.Below(at.size())];
            size_t e = s.find('"', b);
            if (e == std::string::npos)
                break;
            s.replace(b, e - b, kBadSizes[rng.Below(std::size(kBadSizes))]);
            break;
        }
        }
    }
    return s;
}

std::string TempPath(const std::string& tag) {
    return ::testing::TempDir() + "zpi_mut_" + tag + "_" + std::to_string(getpid()) + ".xml";
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

struct Tally {
    int ok = 0;
    int refused = 0;
};

// Runs `attempt` and counts its outcome: it returns normally or throws
// IntfXmlError; anything else fails the test, naming the case.
void Try(Tally& tally, int index, const std::string& input, const std::function<void()>& attempt) {
    try {
        attempt();
        ++tally.ok;
    } catch (const IntfXmlError& e) {
        EXPECT_LT(e.Status(), 0) << "case " << index;
        ++tally.refused;
    } catch (const std::exception& e) {
        ADD_FAILURE() << "case " << index << ": unexpected exception " << e.what() << "\n"
                      << input.substr(0, 400);
    } catch (...) {
        ADD_FAILURE() << "case " << index << ": unexpected exception\n" << input.substr(0, 400);
    }
}

// The interface-data document of the full record with its extension.
std::string FullZpiDocument() {
    QelIntfDataPtr data(zpifix::fullIntfData());
    QelExtendBlockPtr ext(zpifix::fullExtension());
    const std::string path = TempPath("zpi_src");
    IntfXmlZPI(path.c_str(), data.get(), ext.get());
    std::string doc = ReadFile(path);
    std::remove(path.c_str());
    return doc;
}

// ---- the interface-data document -------------------------------------------------------

TEST(XmlMutations, InterfaceDataDocumentSurvivesMutations) {
    const std::string doc = FullZpiDocument();
    ASSERT_GT(doc.size(), 1000u);
    {
        // The unmutated document reads back whole.
        IntfXmlZPI reader(nullptr);
        IntfXmlParseBuffer(doc.data(), doc.size(), &reader, "valid");
        ASSERT_NE(reader.GetIntfData(), nullptr);
        ASSERT_NE(reader.GetIntfDataExtend(), nullptr);
    }
    const std::string path = TempPath("zpi");
    Prng rng(0x5A50'1DA7'A000'0001ull);
    Tally tally;
    const int kCases = 2000;
    for (int i = 0; i < kCases; ++i) {
        const std::string input = Mutate(doc, rng);
        if (i % 10 == 0) {
            // Through a file and Read, which hands the records over.
            WriteFile(path, input);
            Try(tally, i, input, [&] {
                qel_intf_data* d = nullptr;
                qel_intf_data_extend* e = nullptr;
                IntfXmlZPI::Read(path.c_str(), &d, &e);
                qel_intf_data_free(d);
                qel_intf_data_extend_block_free(e);
            });
        } else {
            // In memory; the reader frees what it read.
            Try(tally, i, input, [&] {
                IntfXmlZPI reader(nullptr);
                IntfXmlParseBuffer(input.data(), input.size(), &reader, "mutated");
            });
        }
    }
    std::remove(path.c_str());
    RecordProperty("read", tally.ok);
    RecordProperty("refused", tally.refused);
    EXPECT_EQ(tally.ok + tally.refused, kCases);
    // Both outcomes occur: the mutations neither all break nor all spare
    // the document.
    EXPECT_GT(tally.ok, 0);
    EXPECT_GT(tally.refused, kCases / 4);
}

// ---- a document read without a word is written back with its values -------------------

// The words of a text that are numbers: [b, e) of each.
std::vector<std::pair<size_t, size_t>> TextNumbers(const std::string& s) {
    std::vector<std::pair<size_t, size_t>> out;
    for (const auto& n : Numbers(s)) {
        const size_t open = s.find_last_of("<>", n.first);
        if (open != std::string::npos && s[open] == '>')
            out.push_back(n);
    }
    return out;
}

// One change such as a hand or a faulty channel makes: a number set to 0,
// NaN, infinity, 1e308 or 2^31; a list's "size" raised or lowered by one; a
// value of a text dropped or repeated; an element dropped or repeated.
// `what` tells which, and where.
std::string ChangeOnce(const std::string& doc, Prng& rng, std::string& what) {
    static const char* const kValues[] = {"0", "NaN", "inf", "1e308", "2147483648"};
    std::string s = doc;
    auto place = [&](size_t at) {
        return " at byte " + std::to_string(at) + ": \"" + doc.substr(at, 60) + "\"";
    };
    switch (rng.Below(4)) {
    case 0: {
        const auto numbers = Numbers(s);
        const auto [b, e] = numbers[rng.Below(numbers.size())];
        const char* value = kValues[rng.Below(std::size(kValues))];
        what = std::string("number set to ") + value + place(b);
        s.replace(b, e - b, value);
        break;
    }
    case 1: {
        std::vector<size_t> at;
        for (size_t p = s.find(" size=\""); p != std::string::npos; p = s.find(" size=\"", p + 1))
            at.push_back(p + 7);
        const size_t b = at[rng.Below(at.size())];
        const size_t e = s.find('"', b);
        const int by = rng.Below(2) ? 1 : -1;
        what = std::string("size ") + (by > 0 ? "raised" : "lowered") + place(b);
        s.replace(b, e - b, std::to_string(std::stoll(s.substr(b, e - b)) + by));
        break;
    }
    case 2: {
        const auto words = TextNumbers(s);
        const auto [b, e] = words[rng.Below(words.size())];
        if (rng.Below(2)) {
            what = "value repeated" + place(b);
            s.insert(b, s.substr(b, e - b) + " ");
        } else {
            what = "value dropped" + place(b);
            s.erase(b, e - b + (e < s.size() && s[e] == ' '));
        }
        break;
    }
    default: {
        const size_t b = RandomElement(s, rng);
        const size_t e = b == std::string::npos ? b : ElementEnd(s, b);
        if (e == std::string::npos)
            return ChangeOnce(doc, rng, what);
        if (rng.Below(2)) {
            what = "element repeated" + place(b);
            s.insert(e, s.substr(b, e - b));
        } else {
            what = "element dropped" + place(b);
            s.erase(b, e - b);
        }
        break;
    }
    }
    return s;
}

// A document's tags, attribute names and values and the words of its
// texts, in order. How they are spelt does not count: blanks, elements that
// hold no value (nothing, or only a "size" of 0), and a list split in two
// (a list element that ends where another of its name begins).
std::vector<std::string> Tokens(const std::string& s) {
    std::vector<std::string> out;
    auto words = [&](std::string_view text) {
        size_t i = 0;
        while (i < text.size()) {
            const size_t b = text.find_first_not_of(" \t\r\n", i);
            if (b == std::string_view::npos)
                break;
            const size_t e = std::min(text.find_first_of(" \t\r\n", b), text.size());
            out.emplace_back(text.substr(b, e - b));
            i = e;
        }
    };
    size_t i = 0;
    while (i < s.size()) {
        const size_t lt = std::min(s.find('<', i), s.size());
        words(std::string_view(s).substr(i, lt - i));
        if (lt == s.size())
            break;
        size_t gt = lt;
        for (char quote = 0; gt < s.size() && (quote || s[gt] != '>'); ++gt)
            if (s[gt] == '"')
                quote = quote ? 0 : '"';
        std::string tag = s.substr(lt + 1, gt - lt - 1);
        const bool empty = !tag.empty() && tag.back() == '/';
        if (empty)
            tag.pop_back();
        const size_t nameEnd = std::min(tag.find_first_of(" \t\n"), tag.size());
        out.push_back("<" + tag.substr(0, nameEnd));
        for (size_t q = tag.find('=', nameEnd); q != std::string::npos; q = tag.find('=', q)) {
            const size_t nb = tag.find_last_not_of(" \t\n", q - 1);
            const size_t na = tag.find_last_of(" \t\n", nb) + 1;
            const size_t vb = tag.find('"', q) + 1;
            const size_t ve = tag.find('"', vb);
            out.push_back("@" + tag.substr(na, nb + 1 - na));
            out.push_back(tag.substr(vb, ve - vb));
            q = ve + 1;
        }
        if (empty)
            out.push_back("</" + tag.substr(0, nameEnd));
        for (bool again = true; again;) {
            again = false;
            const size_t n = out.size();
            if (n < 2 || out[n - 1].rfind("</", 0) != 0)
                break;
            const std::string start = "<" + out[n - 1].substr(2);
            if (out[n - 2] == start) {
                out.resize(n - 2);
                again = true;
            } else if (n >= 4 && out[n - 4] == start && out[n - 3] == "@size" && out[n - 2] == "0") {
                out.resize(n - 4);
                again = true;
            }
        }
        if (out.size() >= 2 && out.back().rfind("<", 0) == 0 && out.back()[1] != '/' &&
            out[out.size() - 2] == "</" + out.back().substr(1) && tag.size() == nameEnd) {
            out.resize(out.size() - 2);
        }
        i = gt + 1;
    }
    return out;
}

// The same text, or the same number however spelt (NaN is NaN).
bool SameValue(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    double x = 0, y = 0;
    const auto rx = std::from_chars(a.data(), a.data() + a.size(), x);
    const auto ry = std::from_chars(b.data(), b.data() + b.size(), y);
    if (rx.ec != std::errc() || ry.ec != std::errc() || rx.ptr != a.data() + a.size() ||
        ry.ptr != b.data() + b.size())
        return false;
    return x == y || (std::isnan(x) && std::isnan(y));
}

// Empty when the two documents hold the same values; else the first that
// differs, with what stands before it.
std::string FirstDifference(const std::string& read, const std::string& written) {
    const std::vector<std::string> a = Tokens(read), b = Tokens(written);
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        const std::string x = i < a.size() ? a[i] : "(end)", y = i < b.size() ? b[i] : "(end)";
        if (SameValue(x, y))
            continue;
        std::string before;
        for (size_t k = i > 8 ? i - 8 : 0; k < i; ++k)
            before += a[k] + ' ';
        return "after \"" + before + "\" the document holds " + x + ", written back " + y;
    }
    return std::string();
}

TEST(XmlMutations, ADocumentReadWithoutAWordIsWrittenBackWithItsValues) {
    // A document changed once is refused, or read with a word on what was
    // not read as it stands, or read without a word and then written back
    // holding the values it holds.
    const std::string doc = FullZpiDocument();
    const std::string path = TempPath("back");
    const uint64_t start = 0x2F6C'93D1'5B08'E4A7ull;
    Prng rng(start);
    const int kCases = 300;
    int silent = 0;
    for (int i = 0; i < kCases; ++i) {
        std::string what;
        const std::string input = ChangeOnce(doc, rng, what);
        IntfXmlZPI reader(nullptr);
        testing::internal::CaptureStderr();
        const int status =
            xmltest::ErrorOf([&] { IntfXmlParseBuffer(input.data(), input.size(), &reader, "c"); });
        const std::string told = testing::internal::GetCapturedStderr();
        if (status != 0 || !told.empty() || !reader.GetIntfData())
            continue;
        ++silent;
        std::string refused;
        const int written = xmltest::ErrorOf(
            [&] {
                IntfXmlZPI(path.c_str(), reader.GetIntfData(), reader.GetIntfDataExtend(),
                           kkDurability::Unsynced);
            },
            &refused);
        const std::string back = written == 0 ? ReadFile(path) : std::string();
        const std::string differs =
            written != 0 ? "refused on writing: " + refused : FirstDifference(input, back);
        EXPECT_EQ(differs, "") << "random start " << std::hex << start << std::dec << ", case " << i
                               << ": " << what;
    }
    std::remove(path.c_str());
    RecordProperty("read_without_a_word", silent);
    // The changes leave some documents as good as they were.
    EXPECT_GT(silent, kCases / 20);
}

// ---- side documents -------------------------------------------------------------------

const char kAsmInfo[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "\t<Model name=\"asm\" type=\"1\" src_sys=\"2\">\n"
    "\t<Comps size=\"2\">\n"
    "\t<Comp ID=\"7\">\n"
    "\t<Matrix>1 0 0 0 0 1 0 0 0 0 1 0 10.5 -2 3e2 1 </Matrix>\n"
    "\t</Comp>\n"
    "\t<Comp ID=\"8\">\n"
    "\t<Matrix>1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1 </Matrix>\n"
    "\t<Model name=\"sub\" type=\"3\" src_sys=\"4\">\n"
    "\t<Comps size=\"1\">\n"
    "\t<Comp ID=\"9\">\n"
    "\t<Matrix>0 1 0 0 1 0 0 0 0 0 1 0 5 5 5 1 </Matrix>\n"
    "\t</Comp>\n"
    "\t</Comps>\n"
    "\t</Model>\n"
    "\t</Comp>\n"
    "\t</Comps>\n"
    "\t</Model>";

const char kLayers[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "\t<Layers size=\"2\">\n"
    "\t<Layer IntfId=\"1\" Type=\"2\" ImportStatus=\"0\" CrvCount=\"3\" SrfCount=\"4\" "
    "TrmSrfCount=\"5\">\n"
    "\t<Name>first</Name>\n"
    "\t<OrigName>FIRST LAYER</OrigName>\n"
    "\t</Layer>\n"
    "\t<Layer IntfId=\"2\" Type=\"1\" ImportStatus=\"1\" CrvCount=\"0\" SrfCount=\"12\" "
    "TrmSrfCount=\"-1\">\n"
    "\t<Name>second</Name>\n"
    "\t<OrigName>2</OrigName>\n"
    "\t</Layer>\n"
    "\t</Layers>";

const char kLog[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "\t<LogLines size=\"3\">\n"
                    "\t<LogLine>read 12 faces</LogLine>\n"
                    "\t<LogLine empty=\"1\"></LogLine>\n"
                    "\t<LogLine>  3 &lt;edges&gt; skipped </LogLine>\n"
                    "\t</LogLines>";

const char kOptions[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                        "\t<TranslationOptions size=\"3\">\n"
                        "\t<Option Name=\"count\" Type=\"1\">12</Option>\n"
                        "\t<Option Name=\"tol\" Type=\"2\">0.5</Option>\n"
                        "\t<Option Name=\"unit\" Type=\"3\">mm</Option>\n"
                        "\t</TranslationOptions>";

// Mutates `doc` `cases` times; each result goes through `read` from a file.
void MutateSideDocument(const char* tag, const std::string& doc, uint64_t start, int cases,
                        const std::function<void(const char*)>& read) {
    const std::string path = TempPath(tag);
    WriteFile(path, doc);
    ASSERT_EQ(xmltest::ErrorOf([&] { read(path.c_str()); }), 0) << tag << ": the valid document";
    Prng rng(start);
    Tally tally;
    for (int i = 0; i < cases; ++i) {
        const std::string input = Mutate(doc, rng);
        WriteFile(path, input);
        Try(tally, i, input, [&] { read(path.c_str()); });
    }
    std::remove(path.c_str());
    ::testing::Test::RecordProperty(std::string(tag) + "_read", tally.ok);
    ::testing::Test::RecordProperty(std::string(tag) + "_refused", tally.refused);
    EXPECT_EQ(tally.ok + tally.refused, cases) << tag;
    EXPECT_GT(tally.ok, 0) << tag;
    EXPECT_GT(tally.refused, 0) << tag;
}

TEST(XmlMutations, AssemblyInformationSurvivesMutations) {
    MutateSideDocument("asm", kAsmInfo, 0xA5A5'0000'0000'0002ull, 1500, [](const char* path) {
        IntfXmlFreeModelInfo(IntfXmlModel::Read(path));
    });
}

TEST(XmlMutations, LayerStatusSurvivesMutations) {
    MutateSideDocument("layers", kLayers, 0x1A7E'0000'0000'0003ull, 1500, [](const char* path) {
        IntfXmlFreeAtbImportLayers(IntfXmlAtbImportLayers::Read(path));
    });
}

TEST(XmlMutations, TranslationLogSurvivesMutations) {
    MutateSideDocument("log", kLog, 0x106'0000'0000'0004ull, 1500, [](const char* path) {
        std::vector<IntfXmlLogLine> lines = IntfXmlLogLines::Read(path);
        (void)lines;
    });
}

TEST(XmlMutations, TranslationOptionsSurviveMutations) {
    MutateSideDocument("options", kOptions, 0x0B7'0000'0000'0005ull, 1500, [](const char* path) {
        std::unique_ptr<IntfXmlOptionList> options = IntfXmlTranslationOptions::Read(path);
        if (options) {
            for (const IntfXmlOption& o : options->Items())
                EXPECT_FALSE(o.name.empty());
        }
    });
}

} // namespace
