// The parallel loop: every item once, also when loops nest, run from two threads at once, or
// run in a forked child that has none of the kept helper threads.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/ParallelFor.h"

using zor::platform::ParallelFor;

namespace {

// Runs a loop of `count` items and tells whether each ran exactly once.
bool EachOnce(int count, unsigned threads = 0) {
    std::vector<std::atomic<int>> hits(static_cast<size_t>(count));
    ParallelFor(
        count, [&](int i) { hits[static_cast<size_t>(i)].fetch_add(1); }, threads);
    for (const auto& h : hits) {
        if (h.load() != 1)
            return false;
    }
    return true;
}

TEST(ParallelFor, EveryItemOnceWhetherRepeatedNestedOrConcurrent) {
    for (int round = 0; round < 200; ++round)
        ASSERT_TRUE(EachOnce(round % 7 + 1)) << round;
    EXPECT_TRUE(EachOnce(100, 8));  // more threads than the pool keeps

    std::atomic<int> inner{0};
    ParallelFor(6, [&](int) { ParallelFor(5, [&](int) { inner.fetch_add(1); }); });
    EXPECT_EQ(inner.load(), 30);

    std::atomic<bool> ok{true};
    std::vector<std::thread> callers;
    for (int t = 0; t < 3; ++t) {
        callers.emplace_back([&] {
            for (int round = 0; round < 100; ++round) {
                if (!EachOnce(48))
                    ok = false;
            }
        });
    }
    for (std::thread& caller : callers)
        caller.join();
    EXPECT_TRUE(ok.load());
}

TEST(ParallelFor, ForkedChildRunsItsLoops) {
    ASSERT_TRUE(EachOnce(16));  // the helpers exist in this process
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0)
        _exit(EachOnce(64) ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
