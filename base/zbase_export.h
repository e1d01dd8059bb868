// Export macro of the base library. Every public class and function of
// zbase50 carries ZBASE_API so that its symbols (and the typeinfo of its
// exception classes) are shared by the library and its callers.
#pragma once

#if defined(ZBASE50_BUILD)
#define ZBASE_API __attribute__((visibility("default")))
#else
#define ZBASE_API __attribute__((visibility("default")))
#endif
