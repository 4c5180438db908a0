// Where tasks go: these tests look at the pool's workers, which only the
// library's private part can show, and so link the library's objects.
#include <gtest/gtest.h>
#include <mivex/threadbase/ThreadPoolPriv.h>

#include <chrono>
#include <future>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "PoolTasks.h"
#include "TestSupport.h"

using namespace ThreadLib;
using MivexTest::BlockingTask;
using MivexTest::RecordingTask;

namespace {

constexpr int kBoundMs = 10000;

// Workers turn idle just after posting the finish; wait (bounded) for every
// worker from position `from` on to do so.
bool AllIdle(ThreadPoolPriv& pool, std::size_t from = 0) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        bool idle = true;
        for (std::size_t i = from; i < pool.WorkerCount(); ++i) idle = idle && pool.IsWorkerIdle(i);
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

TEST(PoolWorkersTest, AnIdleWorkerTakesNoTaskOnceDestructionHasBegun) {
    // The holder keeps the first worker until the pool refuses (the
    // destructor has begun), then submits a probe while the second worker
    // is idle and nothing is queued.
    auto pool = std::make_unique<ThreadPoolPriv>();
    ThreadPoolPriv* raw = pool.get();
    RecordingTask probe;
    std::atomic<bool> probeAccepted{true};
    Semphore holding;
    RecordingTask holder(true, [&] {
        holding.PostSem();
        while (raw->RunTask(nullptr)) std::this_thread::yield();
        probeAccepted.store(raw->RunTask(&probe));
    });
    ASSERT_TRUE(pool->RunTask(&holder));
    ASSERT_EQ(holding.TimeWaitSem(kBoundMs), 1);
    RecordingTask onSecond;
    ASSERT_TRUE(pool->RunTask(&onSecond));
    ASSERT_EQ(onSecond.WaitTaskFinish(kBoundMs), 1);
    ASSERT_EQ(pool->WorkerCount(), 2u);
    ASSERT_TRUE(AllIdle(*pool, 1));

    auto destroy = std::async(std::launch::async, [&] { pool.reset(); });
    ASSERT_TRUE(MivexTest::Ready(destroy, std::chrono::seconds(30)));
    EXPECT_FALSE(probeAccepted.load());
    EXPECT_EQ(probe.begins.load(), 0);
    EXPECT_EQ(holder.WaitTaskFinish(0), 1);
}

TEST(PoolWorkersTest, ATaskSubmittedWhileTheDispatcherHoldsOneWaitsBehindIt) {
    // One worker, busy; the dispatcher has taken `first` from the queue and
    // waits for the worker. The worker turns idle and `second` is submitted
    // at once, before the dispatcher has reacted: it must not overtake
    // `first`. Repeated, because the dispatcher sometimes reacts first.
    ThreadPoolPriv pool;
    pool.SetMaxThreadCount(1);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        Semphore started, release;
        BlockingTask holder(started, release);
        ASSERT_TRUE(pool.RunTask(&holder));
        ASSERT_EQ(started.TimeWaitSem(kBoundMs), 1);

        std::vector<int> order;  // appended by the one worker only
        RecordingTask first(true, [&order] { order.push_back(1); });
        RecordingTask second(true, [&order] { order.push_back(2); });
        ASSERT_TRUE(pool.RunTask(&first));
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (pool.QueuedTaskCount() != 0 && std::chrono::steady_clock::now() < until) std::this_thread::yield();
        ASSERT_EQ(pool.QueuedTaskCount(), 0u);

        release.PostSem();
        while (!pool.IsWorkerIdle(0) && first.begins.load() == 0 && std::chrono::steady_clock::now() < until) {
        }
        ASSERT_TRUE(pool.RunTask(&second));
        ASSERT_EQ(holder.WaitTaskFinish(kBoundMs), 1);
        ASSERT_EQ(first.WaitTaskFinish(kBoundMs), 1);
        ASSERT_EQ(second.WaitTaskFinish(kBoundMs), 1);
        ASSERT_EQ(order, (std::vector<int>{1, 2}));
    }
    EXPECT_EQ(pool.WorkerCount(), 1u);
}
