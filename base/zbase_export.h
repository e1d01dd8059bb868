// Export macro of the base library. The classes and functions of the
// installed headers carry ZBASE_API so that their symbols (and the typeinfo
// of the exception classes) are shared by the library and its callers. Of
// the other headers only the functions and members that zpi50 calls carry
// it, one by one: their classes stay hidden, so that no virtual table or
// type information of an internal class is exported, which a program's own
// class of the same name would take over.
//
// What zpi50 calls of the base library answers to names of the base
// library's own, which no program defines by accident: the linker exports
// a program's own function of a name that a library it links references,
// and the library's calls would then run it. The internal classes whose
// members zpi50 calls, and the free functions and C interfaces that it
// calls (uni_*, pfa_*, ugc_*, the string, file, thread and wrapping
// helpers, with the others of their groups), are declared in the inline
// namespace zbase_internal, which the code does not name: the mangled
// names of their exported members and functions bear it (the C interfaces
// are C++ functions for that reason; C linkage would ignore the
// namespace). btkString, BNFSConnection and bnfsError stay outside it, as
// the signatures of the installed zpi50_client.h name them: each of their
// exported members (those that zpi50 calls; bnfsError has inline ones
// only) carries ZBASE_INTERNAL, an ABI tag of the same name, which changes
// that member's mangled name only. What the installed headers declare
// keeps its name: it is the installed binary interface. The two libraries
// are one install: libzpi50 calls these names of the libzbase50 of its own
// build. Everything else stays hidden (the tests reach it through
// zpi50_internal).
#pragma once

#if defined(ZBASE50_BUILD)
#define ZBASE_API __attribute__((visibility("default")))
#else
#define ZBASE_API __attribute__((visibility("default")))
#endif

// The base library's own name on a member of a class that the installed
// headers name (see above); g++ and clang both honour the tag.
#define ZBASE_INTERNAL __attribute__((abi_tag("zbase_internal")))
