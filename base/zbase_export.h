// Export macro of the base library. The classes and functions of the
// installed headers, and those of the other headers that zpi50 calls, carry
// ZBASE_API so that their symbols (and the typeinfo of the exception
// classes) are shared by the library and its callers; everything else stays
// hidden (the tests reach it through zpi50_internal).
#pragma once

#if defined(ZBASE50_BUILD)
#define ZBASE_API __attribute__((visibility("default")))
#else
#define ZBASE_API __attribute__((visibility("default")))
#endif
