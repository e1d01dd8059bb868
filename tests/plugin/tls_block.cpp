// A module that holds 1 KiB of initial-exec thread-local storage, as
// another plug-in of a host may: loaded, it takes that much of the static
// TLS block that dlopen can still hand out.
#include <cstddef>

namespace {
__thread char t_block[1024] __attribute__((tls_model("initial-exec")));
}

extern "C" __attribute__((visibility("default"))) int zpi_tls_block_touch(int value) {
    for (size_t i = 0; i < sizeof t_block; ++i)
        t_block[i] = char(value + int(i));
    int sum = 0;
    for (char c : t_block)
        sum += c;
    return sum;
}
