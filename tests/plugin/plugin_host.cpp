// A host that loads its plug-ins with dlopen: first a module that holds
// 1 KiB of initial-exec thread-local storage, then a translator plug-in
// linked to zpi50 (which the host itself does not link), whose round trip
// through WriteZPI and ReadZPI must work, on the main thread and on a
// thread started afterwards.
// Usage: zpi_plugin_host <tls module> <plug-in> <document path>
#include <dlfcn.h>

#include <cstdio>
#include <thread>

namespace {

void* Load(const char* path) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        std::fprintf(stderr, "FAILED: dlopen %s: %s\n", path, dlerror());
    return handle;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <tls module> <plug-in> <document path>\n", argv[0]);
        return 2;
    }
    void* block = Load(argv[1]);
    if (!block)
        return 1;
    auto touch = reinterpret_cast<int (*)(int)>(dlsym(block, "zpi_tls_block_touch"));
    if (!touch) {
        std::fprintf(stderr, "FAILED: %s has no zpi_tls_block_touch\n", argv[1]);
        return 1;
    }
    touch(1);
    void* plugin = Load(argv[2]);
    if (!plugin)
        return 1;
    using RoundTrip = int (*)(const char*, char*, size_t);
    auto roundTrip = reinterpret_cast<RoundTrip>(dlsym(plugin, "zpi_plugin_round_trip"));
    if (!roundTrip) {
        std::fprintf(stderr, "FAILED: %s has no zpi_plugin_round_trip\n", argv[2]);
        return 1;
    }
    int failed = 0;
    auto run = [&](const char* where) {
        char message[512] = "";
        const int rc = roundTrip(argv[3], message, sizeof message);
        std::printf("%s: %s (%s)\n", rc == 0 ? "ok" : "FAILED", message, where);
        failed += rc != 0;
    };
    run("main thread");
    std::thread other([&] {
        touch(2);
        run("another thread");
    });
    other.join();
    std::remove(argv[3]);
    return failed ? 1 : 0;
}
