// The first KGetPISession of a process, made by several threads at once:
// one factory, one session, and the process-wide steps run once.
#include "kernel/model/session_factory.h"

#include "process.h"
#include "xmemory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <thread>
#include <vector>

namespace {

[[noreturn]] void firstSessionsFromThreads(int threads) {
    std::atomic<int> waiting{threads};
    std::vector<KWPISession*> seen(static_cast<size_t>(threads), nullptr);
    std::vector<KWPISessionFactory*> factories(static_cast<size_t>(threads), nullptr);
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            // Start together, so that the first call races.
            waiting.fetch_sub(1);
            while (waiting.load() > 0)
                std::this_thread::yield();
            xrchandle<KWPISession> session = KGetPISession();
            seen[static_cast<size_t>(t)] = session.get();
            factories[static_cast<size_t>(t)] = KGetPISessionFactory();
        });
    for (std::thread& t : pool)
        t.join();
    const std::set<KWPISession*> sessions(seen.begin(), seen.end());
    const std::set<KWPISessionFactory*> made(factories.begin(), factories.end());
    std::fprintf(stderr, "sessions=%zu null=%d factories=%zu memory=%d notified=%d files=%d%d\n",
                 sessions.size(), sessions.count(nullptr) ? 1 : 0, made.size(),
                 init_memory_calls(), NotifySessionCreatedCalls(),
                 uni_register_kernel_location_calls(), uni_register_bnfs_location_calls());
    std::fflush(stderr);
    std::_Exit(0);
}

TEST(SessionFactoryThreads, FirstCallsRacingMakeOneSession) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(firstSessionsFromThreads(8), ::testing::ExitedWithCode(0),
                "sessions=1 null=0 factories=1 memory=1 notified=1 files=11");
}

} // namespace
