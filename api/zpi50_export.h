// Export macro of zpi50: every public class and function carries ZPI_API.
#pragma once

#define ZPI_API __attribute__((visibility("default")))

// Test switches (the classes named *TestHooks) are exported only by a build
// with ZPI_TEST_HOOKS, for tests and benchmarks, which is never shipped;
// elsewhere they stay hidden inside the library.
#if defined(ZPI_TEST_HOOKS)
#define ZPI_TEST_HOOKS_API ZPI_API
#else
#define ZPI_TEST_HOOKS_API __attribute__((visibility("hidden")))
#endif
