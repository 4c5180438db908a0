// Where tasks go: these tests look at the pool's workers, which only the
// library's private part can show, and so link the library's objects.
#include <gtest/gtest.h>
#include <mivex/threadbase/ThreadPoolPriv.h>

#include <chrono>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "PoolTasks.h"

using namespace ThreadLib;
using MivexTest::BlockingTask;
using MivexTest::RecordingTask;

namespace {

constexpr int kBoundMs = 10000;

// Workers turn idle just after posting the finish; wait (bounded) for that.
bool AllIdle(ThreadPoolPriv& pool) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        bool idle = true;
        for (std::size_t i = 0; i < pool.WorkerCount(); ++i) idle = idle && pool.IsWorkerIdle(i);
        if (idle) return true;
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::yield();
    }
}

// Submits n blocking tasks and expects `starts` of them to start.
std::vector<std::unique_ptr<BlockingTask>> StartBlocking(ThreadPoolPriv& pool, int n, int starts,
                                                        Semphore& started, Semphore& release) {
    std::vector<std::unique_ptr<BlockingTask>> tasks;
    for (int i = 0; i < n; ++i) {
        tasks.push_back(std::make_unique<BlockingTask>(started, release));
        EXPECT_TRUE(pool.RunTask(tasks.back().get()));
    }
    for (int i = 0; i < starts; ++i) EXPECT_EQ(started.TimeWaitSem(kBoundMs), 1) << "start " << i;
    return tasks;
}

void ReleaseAll(std::vector<std::unique_ptr<BlockingTask>>& tasks, Semphore& release) {
    for (std::size_t i = 0; i < tasks.size(); ++i) release.PostSem();
    for (auto& t : tasks) EXPECT_EQ(t->WaitTaskFinish(kBoundMs), 1);
}

}  // namespace

TEST(PoolWorkersTest, WorkersAreCreatedOnDemandAndTheLowestIdleIsReused) {
    ThreadPoolPriv pool;
    EXPECT_EQ(pool.WorkerCount(), 0u);
    Semphore started, releaseFirst, releaseSecond;
    auto first = StartBlocking(pool, 1, 1, started, releaseFirst);
    EXPECT_EQ(pool.WorkerCount(), 1u);
    auto second = StartBlocking(pool, 1, 1, started, releaseSecond);
    EXPECT_EQ(pool.WorkerCount(), 2u);
    EXPECT_NE(first[0]->RanOn(), second[0]->RanOn());
    ReleaseAll(first, releaseFirst);
    ReleaseAll(second, releaseSecond);
    ASSERT_TRUE(AllIdle(pool));

    RecordingTask third;
    ASSERT_TRUE(pool.RunTask(&third));
    ASSERT_EQ(third.WaitTaskFinish(kBoundMs), 1);
    EXPECT_EQ(third.RanOn(), first[0]->RanOn());
    EXPECT_EQ(pool.WorkerCount(), 2u);
}

TEST(PoolWorkersTest, LimitOnWorkers) {
    struct Case {
        const char* name;
        int limit;
        int tasks;
        int mayStart;  // how many can run at once
    };
    const Case cases[] = {
        {"limit 2", 2, 3, 2},
        {"0 means no limit", 0, 4, 4},
        {"negative is a huge unsigned limit", -1, 4, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ThreadPoolPriv pool;
        pool.SetMaxThreadCount(c.limit);
        Semphore started, release;
        auto tasks = StartBlocking(pool, c.tasks, c.mayStart, started, release);
        if (c.mayStart < c.tasks) {
            EXPECT_EQ(started.TimeWaitSem(50), 0) << "a task ran beyond the limit";
        }
        EXPECT_EQ(pool.WorkerCount(), static_cast<std::size_t>(c.mayStart));
        ReleaseAll(tasks, release);
        EXPECT_EQ(pool.WorkerCount(), static_cast<std::size_t>(c.mayStart));
    }
}

TEST(PoolWorkersTest, LoweringTheLimitStopsNoWorkerAndCreatesNoNewOne) {
    ThreadPoolPriv pool;
    Semphore started, release;
    auto firstRound = StartBlocking(pool, 3, 3, started, release);
    ReleaseAll(firstRound, release);
    ASSERT_TRUE(AllIdle(pool));
    pool.SetMaxThreadCount(1);
    auto secondRound = StartBlocking(pool, 4, 3, started, release);  // the three old workers
    EXPECT_EQ(started.TimeWaitSem(50), 0);
    EXPECT_EQ(pool.WorkerCount(), 3u);
    // Raising the limit lets the waiting task get a new worker at once.
    pool.SetMaxThreadCount(4);
    EXPECT_EQ(started.TimeWaitSem(kBoundMs), 1);
    ReleaseAll(secondRound, release);
    EXPECT_EQ(pool.WorkerCount(), 4u);
}

TEST(PoolWorkersTest, ATaskHandedOutDuringTheDrainRunsOnAFreshWorker) {
    // Every queued task goes to a worker created during the drain, which is
    // stopped right after; the task must still run.
    for (int round = 0; round < 50; ++round) {
        RecordingTask tasks[3];
        {
            ThreadPoolPriv pool;
            pool.SetMaxThreadCount(0);
            for (auto& t : tasks) ASSERT_TRUE(pool.RunTask(&t));
        }
        for (auto& t : tasks) ASSERT_EQ(t.runs.load(), 1) << "round " << round;
    }
}
