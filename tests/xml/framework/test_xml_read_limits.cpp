// What bounds a read: how far the reader's text buffer may grow.
#include "xml/framework/sax_handler.h"
#include "xml/framework/xml_read_limits.h"

#include <gtest/gtest.h>

#include <string>

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
