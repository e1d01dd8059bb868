// The encodings a document is read in: the choice from its first bytes,
// the byte order of UTF-16, and characters beyond U+FFFF as UTF-16 carries
// them (two surrogates).
#include "xml/framework/sax_handler.h"
#include "xml/xml_test_util.h"

#include <string>

namespace {

// The bytes of `text` in UTF-16, in either order, with or without a byte
// order mark.
std::string Utf16(const std::u16string& text, bool bigEndian, bool bom = false) {
    std::string bytes;
    for (char16_t u : (bom ? u"\uFEFF" : u"") + text) {
        const char high = char(u >> 8), low = char(u & 0xFF);
        bytes.push_back(bigEndian ? high : low);
        bytes.push_back(bigEndian ? low : high);
    }
    return bytes;
}

// Parses `doc`, whose element "A" has the attribute "n": its value into
// `name`, a failure's message into `msg`; the failure's status.
int ParseAttribute(const std::string& doc, std::string& name, std::string& msg) {
    xmltest::AttrReader r;
    r.check = [&](IntfXmlAttributes& a) { name = IntfXmlRequireString("n", a, 0, "A").c_str(); };
    return xmltest::ErrorOf([&] { IntfXmlParseBuffer(doc.data(), doc.size(), &r, "t"); }, &msg);
}

} // namespace

TEST(XmlEncoding, ADeclaredByteOrderOtherThanTheDocumentsIsRefusedAtTheDeclaration) {
    // The declaration in the order the document's first bytes show, the
    // rest in the order it declares, with a surrogate without its pair at
    // the end of an attribute: the other order is refused where the
    // declaration names it. A declared order that is the document's reads.
    const char* refused = "the document declares the encoding ";
    struct Case {
        bool bigEndian, bom;
        const char16_t* declared;
        bool other;          // the declared order is not the document's
        const char* outcome; // the refusal (after `refused`), or the attribute read
        size_t pad = 0;      // more blanks before "encoding"
    };
    const Case cases[] = {
        {false, true, u"UTF-16BE", true, "\"UTF-16BE\" but is written in UTF-16LE"},
        {false, false, u"UTF-16BE", true, "\"UTF-16BE\" but is written in UTF-16LE"},
        {true, true, u"UTF-16LE", true, "\"UTF-16LE\" but is written in UTF-16BE"},
        {true, false, u"utf-16le", true, "\"utf-16le\" but is written in UTF-16BE"},
        {false, true, u"UTF-16LE", false, "ab\xE2\x82\xAC"},
        {true, false, u"UTF-16BE", false, "ab\xE2\x82\xAC"},
        {true, true, u"UTF-16", false, "ab\xE2\x82\xAC"},
        // However long the declaration is.
        {false, false, u"UTF-16BE", true, "\"UTF-16BE\" but is written in UTF-16LE", 600},
        {true, true, u"UTF-16LE", true, "\"UTF-16LE\" but is written in UTF-16BE", 1900},
        {false, false, u"UTF-16LE", false, "ab\xE2\x82\xAC", 600},
    };
    for (const Case& c : cases) {
        const std::u16string declaration = u"<?xml version=\"1.0\" " +
                                           std::u16string(c.pad, u' ') + u"encoding=\"" +
                                           std::u16string(c.declared) + u"\"?>";
        const std::u16string body =
            c.other ? u"\n<D><A n=\"ab\xD800\"></A></D>" : u"\n<D><A n=\"ab\u20AC\"></A></D>";
        const std::string doc = Utf16(declaration, c.bigEndian, c.bom) +
                                Utf16(body, c.other ? !c.bigEndian : c.bigEndian);
        std::string name, msg;
        const int status = ParseAttribute(doc, name, msg);
        if (c.other) {
            EXPECT_EQ(status, INTFXML_ERR_PARSE) << c.outcome << " read as " << name;
            const std::string at = "line 1, column " + std::to_string(31 + c.pad) + ": ";
            EXPECT_NE(msg.find(at + refused + c.outcome), std::string::npos) << msg;
        } else {
            EXPECT_EQ(status, 0) << msg;
            EXPECT_EQ(name, c.outcome);
        }
    }
}

TEST(XmlEncoding, ASingleByteDeclarationIsReadWholeOrRefusedSayingSo) {
    // The declaration decides however long it is (here blanks before
    // "encoding"); one longer than the bytes read to choose the encoding is
    // refused as such.
    struct Case {
        size_t pad;
        const char* encoding;
        const char* value;   // the attribute's bytes
        const char* outcome; // the attribute read (UTF-8), or the refusal
        bool read;
    };
    const Case cases[] = {
        {600, "ISO-8859-1", "abc", "abc", true},
        {600, "ISO-8859-1", "ab\xE9", "ab\xC3\xA9", true},
        {3000, "US-ASCII", "abc", "abc", true},
        {5000, "ISO-8859-1", "abc",
         "line 1: the XML declaration does not end within the first 4096 bytes", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pad);
        const std::string doc = "<?xml version=\"1.0\" " + std::string(c.pad, ' ') +
                                "encoding=\"" + c.encoding + "\"?>\n<D><A n=\"" + c.value +
                                "\"></A></D>";
        std::string name, msg;
        const int status = ParseAttribute(doc, name, msg);
        if (c.read) {
            EXPECT_EQ(status, 0) << msg;
            EXPECT_EQ(name, c.outcome);
        } else {
            EXPECT_EQ(status, INTFXML_ERR_PARSE);
            EXPECT_NE(msg.find(c.outcome), std::string::npos) << msg;
        }
    }
}

TEST(XmlEncoding, ASurrogateWithoutItsPairIsRefusedNeverReplaced) {
    // Cut between two pieces of a text, a character is kept whole.
    IntfXmlUtf8Buffer cut;
    const char16_t first[] = u"a\xD83D", second[] = u"\xDE00z";
    EXPECT_TRUE(cut.Append(reinterpret_cast<const XMLCh*>(first), 2));
    EXPECT_TRUE(cut.Append(reinterpret_cast<const XMLCh*>(second), 2));
    cut.CheckWhole();
    EXPECT_EQ(std::string(cut.data()), "a\xF0\x9F\x98\x80z");
    // Without its pair a surrogate is refused, naming it: in one piece of a
    // text, across two pieces, at the end of a text, and in an attribute
    // value or name (IntfXmlAppendUtf8).
    struct Case {
        std::u16string piece, next;
        bool end; // the text ends after the pieces
        const char* refusal;
    };
    const Case cases[] = {
        {u"ab\xD800x", u"", false, "an unpaired UTF-16 surrogate 0xD800"},
        {u"ab\xDC00", u"", false, "an unpaired UTF-16 surrogate 0xDC00"},
        {u"ab\xD83D", u"x", false, "an unpaired UTF-16 surrogate 0xD83D"},
        {u"ab", u"\xDE00", false, "an unpaired UTF-16 surrogate 0xDE00"},
        {u"ab\xD83D", u"", true, "an unpaired UTF-16 surrogate 0xD83D"},
    };
    for (const Case& c : cases) {
        IntfXmlUtf8Buffer text;
        std::string msg;
        EXPECT_EQ(xmltest::ErrorOf(
                      [&] {
                          text.Append(reinterpret_cast<const XMLCh*>(c.piece.data()),
                                      c.piece.size());
                          text.Append(reinterpret_cast<const XMLCh*>(c.next.data()), c.next.size());
                          if (c.end)
                              text.CheckWhole();
                      },
                      &msg),
                  INTFXML_ERR_PARSE)
            << c.refusal;
        EXPECT_EQ(msg, c.refusal);
        const std::u16string whole = c.piece + c.next;
        std::string utf8;
        EXPECT_EQ(xmltest::ErrorOf(
                      [&] {
                          IntfXmlAppendUtf8(utf8, reinterpret_cast<const XMLCh*>(whole.data()),
                                            whole.size());
                      },
                      &msg),
                  INTFXML_ERR_PARSE)
            << c.refusal;
        EXPECT_EQ(msg, c.refusal);
    }
}
