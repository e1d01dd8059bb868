// Export macro of the base library. The classes and functions of the
// installed headers carry ZBASE_API so that their symbols (and the typeinfo
// of the exception classes) are shared by the library and its callers. Of
// the other headers only the functions and members that zpi50 calls carry
// it, one by one: their classes stay hidden, so that no virtual table or
// type information of an internal class is exported, which a program's own
// class of the same name would take over. Those internal classes are also
// declared in the inline namespace zbase_internal (base/files/uniloc.h and
// the others), which the code does not name: the exported members that
// zpi50 calls then bear mangled names of their own, which a program's own
// class of the same name (its destructor, say) does not share, so the
// program's definitions never stand in for them. Everything else stays
// hidden (the tests reach it through zpi50_internal).
#pragma once

#if defined(ZBASE50_BUILD)
#define ZBASE_API __attribute__((visibility("default")))
#else
#define ZBASE_API __attribute__((visibility("default")))
#endif
