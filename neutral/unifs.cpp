#include "neutral/unifs.h"

#include "neutral/uni_adapter.h"
#include "process.h"

#include <mutex>

namespace {
void registerUniLocations() {
    // The uni-location methods join the pfa file layer first, then the
    // kernel location is registered.
    unifs_register_pfa_location();
    uni_register_kernel_location();
}
} // namespace

int unifs_initialize(void) {
    static std::once_flag once;
    std::call_once(once, registerUniLocations);
    return 0;
}
