#include "neutral/unifs.h"

#include "process.h"

#include <mutex>

namespace {
void registerUniLocations() {
    // The uni-location file methods join the file layer here once the
    // neutral writer's file layer exists; the kernel location follows them.
    uni_register_kernel_location();
}
} // namespace

int unifs_initialize(void) {
    static std::once_flag once;
    std::call_once(once, registerUniLocations);
    return 0;
}
