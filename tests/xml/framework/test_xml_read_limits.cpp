// What bounds a read: how far the reader's text buffer may grow, and the
// limits on every route through the reader, whatever the locale.
#include "xml/framework/sax_handler.h"
#include "xml/framework/xml_read_limits.h"
#include "xml/xml_test_util.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

TEST(XmlReadLimits, ATextBufferNeverGrowsPastItsLimit) {
    // Doubling from 256 bytes, straight to the limit near it, never past it.
    struct Growth {
        size_t capacity, need, limit, grown;
    };
    const Growth growths[] = {{0, 10, 1000, 256},     {256, 300, 1000, 512},
                              {512, 600, 1000, 1000}, {600, 1000, 1000, 1000},
                              {600, 1001, 1000, 0},   {0, 5000, 1000, 0}};
    for (const Growth& g : growths)
        EXPECT_EQ(IntfXmlGrownCapacity(g.capacity, g.need, g.limit), g.grown)
            << g.capacity << " " << g.need;
    // Texts of characters of two, three and four bytes of UTF-8 fill a
    // buffer of 1000 bytes (and its terminating zero) with whole pieces;
    // the piece that does not fit is not taken, and the buffer stays
    // within its limit all the while.
    struct Fill {
        std::u16string piece;
        size_t bytes; // of the piece's UTF-8
    };
    std::u16string smileys;
    for (int i = 0; i < 30; ++i)
        smileys += u"\U0001F600";
    const Fill fills[] = {{std::u16string(100, u'\u00E9'), 200},
                          {std::u16string(70, u'\u20AC'), 210},
                          {smileys, 120}};
    for (const Fill& f : fills) {
        IntfXmlUtf8Buffer buffer;
        buffer.LimitGrowth(1001);
        size_t taken = 0;
        while (buffer.Append(reinterpret_cast<const XMLCh*>(f.piece.data()), f.piece.size())) {
            taken += f.bytes;
            ASSERT_LE(buffer.capacity(), 1001u) << f.bytes;
        }
        EXPECT_EQ(buffer.size(), taken);
        EXPECT_EQ(taken, 1000 / f.bytes * f.bytes);
        EXPECT_LE(buffer.capacity(), 1001u) << f.bytes;
    }
}

namespace {

// Reads `doc` under a top reader that takes every element: its status,
// refusal and what was told on standard error, as one text.
std::string Verdict(const std::string& doc) {
    struct Taker : IntfXmlElement {
        int open = 0;
        IntfXmlElement* startElement(const char*, IntfXmlAttributes&) override {
            ++open;
            return this;
        }
        IntfXmlElement* endElement(const char*) override { return --open ? this : nullptr; }
    } top;
    std::string message;
    ::testing::internal::CaptureStderr();
    const int status = xmltest::ErrorOf(
        [&] { IntfXmlParseBuffer(doc.data(), doc.size(), &top, "doc"); }, &message);
    return std::to_string(status) + " " + message + " | " +
           ::testing::internal::GetCapturedStderr();
}

// The whole locale switched for one scope (On(): it exists).
class LocaleScope {
public:
    explicit LocaleScope(const char* name) : restore_(std::setlocale(LC_ALL, nullptr)) {
        on_ = std::setlocale(LC_ALL, name) != nullptr;
    }
    ~LocaleScope() { std::setlocale(LC_ALL, restore_.c_str()); }
    bool On() const { return on_; }

private:
    std::string restore_;
    bool on_ = false;
};

} // namespace

TEST(XmlReadLimits, EveryRouteHoldsTheLimitsAndTheLocaleDecidesNothing) {
    // Under tr_TR "i" and "I" are no pair: an encoding name folded by the
    // locale is not known, and the document takes the general scanner.
    // Sections and an attribute one byte over the limit, just inside the
    // root, behind a prolog longer than the bytes read ahead (the general
    // scanner), before the root or in a document type declaration, in each
    // case of each encoding name:
    // refused alike in both locales; at the limit, read.
    const size_t limit = IntfXmlMaxAttributeBytes();
    const std::string section =
        "a comment, processing instruction or data section is longer than " +
        std::to_string(limit) + " bytes";
    struct Kind {
        const char* what;
        std::string head, tail, refusal;
        size_t counted; // bytes of the head that count
        bool outside;   // may stand before the root
    };
    const Kind kinds[] = {
        {"comment", "<!--", "-->", section, 0, true},
        {"instruction", "<?pi ", "?>", section, 3, true},
        {"data section", "<![CDATA[", "]]>", section, 0, false},
        {"attribute", "<A a=\"", "\"/>",
         "attribute \"a\" of element \"A\" is longer than " + std::to_string(limit) + " bytes", 0,
         false},
    };
    enum Where { kInRoot, kInLateRoot, kBeforeRoot, kInDeclaration };
    static const char* const wheres[] = {"in the root", "in a root after 4096 bytes",
                                         "before the root", "in the document type declaration"};
    struct Doc {
        std::string name;
        const Kind* kind;
        Where where;
        bool over;
        std::string What() const {
            return std::string(kind->what) + " " + wheres[where] + ", " + name +
                   (over ? ", one byte over" : ", at the limit");
        }
    };
    std::vector<Doc> docs;
    // In the general scanner, and at the limit, in UTF-8 and in one
    // single-byte encoding, whose characters beyond ASCII take one byte.
    for (const std::string name :
         {"utf-8", "Iso-8859-1", "iso-8859-1", "ISO-8859-1", "us-ascii", "US-ASCII", "Us-Ascii"})
        for (const Kind& k : kinds)
            for (Where where : {kInRoot, kInLateRoot, kBeforeRoot, kInDeclaration})
                for (bool over : {true, false})
                    if ((where < kBeforeRoot || k.outside) &&
                        (name == "utf-8" || name == "Iso-8859-1" || (where == kInRoot && over)))
                        docs.push_back({name, &k, where, over});
    auto bytesOf = [&](const Doc& d) {
        const char fill = d.name == "Iso-8859-1" ? '\xE9' : 'x';
        const std::string run =
            d.kind->head + std::string(limit + d.over - d.kind->counted, fill) + d.kind->tail;
        std::string doc = std::string("<?xml version=\"1.0\" encoding=\"") + d.name + "\"?>\n";
        if (d.where == kInLateRoot)
            doc += "<!--" + std::string(5000, 'c') + "-->\n";
        if (d.where == kInDeclaration)
            return doc + "<!DOCTYPE D [" + run + "]>\n<D/>";
        return doc + (d.where == kBeforeRoot ? run + "<D/>" : "<D>" + run + "</D>");
    };
    std::vector<std::string> inC;
    {
        LocaleScope c("C");
        for (const Doc& d : docs) {
            inC.push_back(Verdict(bytesOf(d)));
            const std::string& got = inC.back();
            if (!d.over) {
                EXPECT_EQ(got.substr(0, 2), "0 ") << d.What() << ": " << got;
                continue;
            }
            EXPECT_EQ(got.substr(0, 4), std::to_string(INTFXML_ERR_MALFORMED) + " ")
                << d.What() << ": " << got.substr(0, 200);
            EXPECT_NE(got.find("cannot read \"doc\": line "), std::string::npos) << d.What();
            EXPECT_NE(got.find(d.kind->refusal), std::string::npos) << d.What() << ": " << got;
        }
    }
    const char* turkish = nullptr;
    for (const char* name : {"tr_TR.UTF-8", "tr_TR.utf8"})
        if (!turkish && LocaleScope(name).On())
            turkish = name;
    if (!turkish)
        GTEST_SKIP() << "no tr_TR.UTF-8 locale (scripts/test.sh makes it as root: localedef -i "
                        "tr_TR -f UTF-8 tr_TR.UTF-8)";
    LocaleScope scope(turkish);
    ASSERT_EQ(std::string(std::setlocale(LC_CTYPE, nullptr)), turkish); // in force
    // (Again the documents whose encoding name a locale could fold otherwise:
    // those with an "i".)
    for (size_t i = 0; i < docs.size(); ++i) {
        if (docs[i].name.find_first_of("iI") == std::string::npos)
            continue;
        EXPECT_EQ(Verdict(bytesOf(docs[i])), inC[i]) << docs[i].What();
    }
}
