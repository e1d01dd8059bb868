#include "neutral/unibuf_registration.h"

#include "ugc_output.h"
#include "memory_stream.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Writes one comment line through the file layer to `location`.
bool WriteThrough(const char16_t* location, const char* text) {
    ugc_output* out = ugc_open_output_flags(location, 2, 0, 0, 0, 0, 0, 0, 0);
    if (!out)
        return false;
    ugc_comment(out, text);
    return ugc_close_output(out) == 0;
}

TEST(UnibufRegistration, LastsForItsScopeAndReachesTheStream) {
    const char16_t* name = u"kernel.neu.test";
    xrchandle<MemoryStream> stream(new MemoryStream);
    const int refs = stream->refCount();
    {
        btkWString location;
        UnibufRegistration reg(stream.get(), name, &location);
        EXPECT_TRUE(reg.IsRegistered());
        EXPECT_TRUE(location == name);
        EXPECT_TRUE(reg.GetKey() == name);
        EXPECT_EQ(stream->refCount(), refs + 1); // the registry holds the stream
        ASSERT_TRUE(WriteThrough(location, "through the registration"));
        EXPECT_NE(stream->data.find("through the registration"), std::string::npos);
    }
    EXPECT_EQ(stream->refCount(), refs);
    // The name is free again: a second registration takes it.
    xrchandle<MemoryStream> next(new MemoryStream);
    UnibufRegistration again(next.get(), name, nullptr);
    EXPECT_TRUE(again.IsRegistered());
}

TEST(UnibufRegistration, TakenNameIsLeftToItsOwner) {
    const char16_t* name = u"kernel.neu.taken";
    xrchandle<MemoryStream> owner(new MemoryStream), late(new MemoryStream);
    UnibufRegistration first(owner.get(), name, nullptr);
    ASSERT_TRUE(first.IsRegistered());
    {
        btkWString location(u"untouched");
        UnibufRegistration second(late.get(), name, &location);
        EXPECT_FALSE(second.IsRegistered());
        EXPECT_TRUE(location == u"untouched"); // no location to write into
    }
    // The owner's entry outlived the refused registration.
    ASSERT_TRUE(WriteThrough(name, "still the owner's"));
    EXPECT_NE(owner->data.find("still the owner's"), std::string::npos);
    EXPECT_EQ(late->data, "");

    UnibufRegistration noName(late.get(), nullptr, nullptr);
    EXPECT_FALSE(noName.IsRegistered());
    UnibufRegistration emptyName(late.get(), u"", nullptr);
    EXPECT_FALSE(emptyName.IsRegistered());
    UnibufRegistration noStream(nullptr, u"kernel.neu.nostream", nullptr);
    EXPECT_FALSE(noStream.IsRegistered());
}

} // namespace
