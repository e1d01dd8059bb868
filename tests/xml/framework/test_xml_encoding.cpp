// The encodings a document is read in: the choice from its first bytes,
// the byte order of UTF-16, and characters beyond U+FFFF as UTF-16 carries
// them (two surrogates).
#include "xml/framework/sax_handler.h"
#include "xml/framework/xml_encoding.h"
#include "xml/xml_test_util.h"

#include <string>

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
