#include "common/workpool.h"

#include <gtest/gtest.h>

#if defined(__linux__)
#include <sched.h>
#endif

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace quillon {
namespace {

// Every index is visited exactly once, whatever the split.
void ExpectEachOnce(TWorkPool& pool, int32_t count, int threads, int32_t batch)
{
    std::vector<std::atomic<int>> visits(static_cast<size_t>(count));
    pool.For(count, threads, batch, [&](int32_t begin, int32_t end) {
        for (int32_t i = begin; i < end; ++i)
            visits[static_cast<size_t>(i)].fetch_add(1);
    });
    for (int32_t i = 0; i < count; ++i)
        ASSERT_EQ(visits[static_cast<size_t>(i)].load(), 1) << "index " << i << " of " << count << ", threads "
                                                             << threads << ", batch " << batch;
}

TEST(WorkPool, VisitsEveryIndexOnceForAnySplit)
{
    TWorkPool pool(3);
    for (int32_t count : {1, 2, 15, 16, 17, 1000})
        for (int threads : {1, 2, 4, 8})
            for (int32_t batch : {1, 4, 16})
                ExpectEachOnce(pool, count, threads, batch);
    // Many small jobs one after another: no helper of an earlier job runs into a later one.
    for (int round = 0; round < 2000; ++round)
        ExpectEachOnce(pool, 64, 4, 2);
    TWorkPool alone(0);
    ExpectEachOnce(alone, 100, 4, 8);
}

TEST(WorkPool, JobsFromTwoThreadsAtOnceBothFinish)
{
    TWorkPool pool(1);
    std::atomic<int64_t> sums[2] = {0, 0};
    std::vector<std::thread> callers;
    for (int c = 0; c < 2; ++c)
        callers.emplace_back([&, c] {
            for (int round = 0; round < 300; ++round)
                pool.For(100, 2, 3, [&](int32_t begin, int32_t end) {
                    for (int32_t i = begin; i < end; ++i)
                        sums[c].fetch_add(i);
                });
        });
    for (std::thread& caller : callers)
        caller.join();
    EXPECT_EQ(sums[0].load(), 300 * 4950);
    EXPECT_EQ(sums[1].load(), 300 * 4950);
}

TEST(WorkPool, PassesTheFirstFailureToTheCaller)
{
    TWorkPool pool(1);
    EXPECT_THROW(pool.For(1000, 2, 1,
                          [](int32_t begin, int32_t) {
                              if (begin == 500)
                                  throw std::runtime_error("batch failed");
                          }),
                 std::runtime_error);
    ExpectEachOnce(pool, 100, 2, 1); // and is usable afterwards

    TWorkPool::TTask task = pool.Start([] { throw std::runtime_error("task failed"); });
    EXPECT_THROW(task.Wait(), std::runtime_error);
}

TEST(WorkPool, ATaskRunsBesideTheCaller)
{
    TWorkPool pool(1);
    std::atomic<bool> started{false}, release{false};
    TWorkPool::TTask task = pool.Start([&] {
        started = true;
        while (!release)
            std::this_thread::yield();
    });
    // The task holds the only helper; a job meanwhile is done by its caller alone.
    while (!started)
        std::this_thread::yield();
    ExpectEachOnce(pool, 50, 2, 1);
    release = true;
    task.Wait();
}

#if defined(__linux__)
// A helper must not share the caller's processor: it is moved off it before it is woken,
// and within the processors it was given. The caller is pinned to the first of its own
// (unpinned, a loaded machine may move the caller onto the helper's processor mid-job).
TEST(WorkPool, HelpersWorkOffTheCallersProcessor)
{
    cpu_set_t given;
    ASSERT_EQ(sched_getaffinity(0, sizeof given, &given), 0);
    if (CPU_COUNT(&given) < 2)
        GTEST_SKIP() << "one processor";
    int callerCpu = 0;
    while (!CPU_ISSET(callerCpu, &given))
        ++callerCpu;
    TWorkPool pool(1);
    cpu_set_t pinned;
    CPU_ZERO(&pinned);
    CPU_SET(callerCpu, &pinned);
    ASSERT_EQ(sched_setaffinity(0, sizeof pinned, &pinned), 0);
    // Both batches wait for each other, so the helper must take one.
    std::atomic<int> started{0};
    std::atomic<int> cpus[2] = {-1, -1};
    pool.For(2, 2, 1, [&](int32_t begin, int32_t) {
        ++started;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (started < 2 && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::yield();
        cpus[begin] = sched_getcpu();
    });
    ASSERT_EQ(sched_setaffinity(0, sizeof given, &given), 0);
    EXPECT_EQ(started, 2);
    EXPECT_NE(cpus[0], cpus[1]);
}
#endif

} // namespace
} // namespace quillon
