#include "api/zpi50_client.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

int first(int, char**) { return 1; }
int second(int, char**) { return 2; }

void* fn(int (*f)(int, char**)) { return reinterpret_cast<void*>(f); }

class BindingRegistry : public ::testing::Test {
protected:
    void SetUp() override { ZrInitBinding(); }
    void TearDown() override { ZrInitBinding(); }
};

TEST_F(BindingRegistry, LaterBindingWinsAndNamesAreCaseSensitive) {
    ZrBindFunction("ExportTranslator", fn(first));
    ZrBindFunction("ExportTranslator", fn(second));
    EXPECT_EQ(ZrGetBoundFunction("ExportTranslator"), fn(second));
    EXPECT_EQ(ZrGetBoundFunction("exporttranslator"), nullptr);
    EXPECT_EQ(ZrGetBoundFunction("ImportPartTranslator"), nullptr);
    EXPECT_EQ(ZrGetBoundFunction(nullptr), nullptr);
    ZrBindFunction(nullptr, fn(first)); // binds nothing
    ZrInitBinding();
    EXPECT_EQ(ZrGetBoundFunction("ExportTranslator"), nullptr);
}

TEST_F(BindingRegistry, NameIsCopied) {
    // A name held in the caller's buffer may change after binding.
    char name[32];
    std::strcpy(name, "ImportAssemTranslator");
    ZrBindFunction(name, fn(first));
    std::strcpy(name, "Other");
    EXPECT_EQ(ZrGetBoundFunction("ImportAssemTranslator"), fn(first));
    EXPECT_EQ(ZrGetBoundFunction("Other"), nullptr);
}

TEST(SortedMap, KeepsKeysInOrderAndFreesOnClear) {
    static std::vector<std::string> freed;
    freed.clear();
    {
        ZrSortedMap map([](const char* a, const char* b) { return std::strcmp(a, b); },
                        [](const char* key, void*) { freed.push_back(key); });
        const char* keys[] = {"m", "c", "x", "a", "q", "b"};
        for (const char* k : keys) {
            size_t i;
            ASSERT_FALSE(map.Lookup(k, &i));
            map.InsertAt(i, k, const_cast<char*>(k));
        }
        ASSERT_EQ(map.Count(), 6u);
        for (size_t i = 1; i < map.Count(); ++i)
            EXPECT_LT(std::strcmp(map.KeyAt(i - 1), map.KeyAt(i)), 0);
        size_t i;
        ASSERT_TRUE(map.Lookup("q", &i));
        map.SetValueAt(i, nullptr);
        EXPECT_EQ(map.Find("q"), nullptr);
        EXPECT_EQ(map.Find("x"), static_cast<const void*>(keys[2]));
        EXPECT_FALSE(map.Lookup(nullptr, &i));
    } // the destructor empties the map
    EXPECT_EQ(freed, (std::vector<std::string>{"a", "b", "c", "m", "q", "x"}));
}

} // namespace
