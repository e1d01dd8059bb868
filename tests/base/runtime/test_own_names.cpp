// The symbol the base library gives each public function that zpi50 calls
// is that function in zbase_internal::own: the install stage reads each
// back as its public name.
#include "zbase_own_names.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <string>

TEST(OwnNames, EachSymbolIsItsFunctionInTheBaseLibrarysOwnNamespace) {
    struct Entry {
        const char* name;
        const char* symbol;
    };
#define OWN_ENTRY(type, name, params, args, symbol) {#name, symbol},
#define OWN_ENTRY_NORETURN(name, params, args, symbol) {#name, symbol},
#define OWN_ENTRY_PRINTF(name, symbol) {#name, symbol},
    const Entry entries[] = {
        ZBASE_OWN_NAMES(OWN_ENTRY, OWN_ENTRY, OWN_ENTRY_NORETURN, OWN_ENTRY_PRINTF)};
    for (const Entry& e : entries) {
        int status = -1;
        std::unique_ptr<char, void (*)(void*)> shown(
            abi::__cxa_demangle(e.symbol, nullptr, nullptr, &status), std::free);
        ASSERT_EQ(status, 0) << e.symbol;
        // The name, then its parameters or an ABI tag ("[abi:cxx11]").
        const std::string expected = std::string("zbase_internal::own::") + e.name;
        const std::string got = shown.get();
        EXPECT_TRUE(got.compare(0, expected.size(), expected) == 0 &&
                    std::string("([").find(got[expected.size()]) != std::string::npos)
            << e.name << ": " << got;
    }
}
