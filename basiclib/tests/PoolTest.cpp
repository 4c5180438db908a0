#include <gtest/gtest.h>
#include <mivex/mivex.h>

#include <atomic>
#include <future>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "PoolTasks.h"
#include "TestSupport.h"

using namespace ThreadLib;
using MivexTest::BlockingTask;
using MivexTest::RecordingTask;

TEST(TaskObjectTest, WaitTaskFinishWithoutPendingFinish) {
    RecordingTask task;
    EXPECT_EQ(task.WaitTaskFinish(0), 0);
    EXPECT_EQ(task.WaitTaskFinish(20), 0);
}

TEST(ThreadPoolTest, HooksAndFinishes) {
    struct Case {
        const char* name;
        bool begin;
        int submissions;
        int runs;  // OnRunTask and OnTaskFinish calls
    };
    const Case cases[] = {
        {"one run", true, 1, 1},
        {"OnBeginTask refuses: no work, still a finish", false, 1, 0},
        {"submitted twice: two finishes", true, 2, 2},
    };
    ThreadPool pool;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingTask task(c.begin);
        for (int i = 0; i < c.submissions; ++i) ASSERT_TRUE(pool.RunTask(&task));
        for (int i = 0; i < c.submissions; ++i) EXPECT_EQ(task.WaitTaskFinish(-1), 1);
        EXPECT_EQ(task.WaitTaskFinish(0), 0);  // no extra finish
        EXPECT_EQ(task.begins.load(), c.submissions);
        EXPECT_EQ(task.runs.load(), c.runs);
        EXPECT_EQ(task.finishes.load(), c.runs);
        EXPECT_NE(task.RanOn(), std::this_thread::get_id());
    }
}

TEST(ThreadPoolTest, NullTaskIsAcceptedAndDropped) {
    ThreadPool pool;
    EXPECT_TRUE(pool.RunTask(nullptr));
    EXPECT_TRUE(pool.RunTask(nullptr));
    RecordingTask after;
    ASSERT_TRUE(pool.RunTask(&after));
    EXPECT_EQ(after.WaitTaskFinish(10000), 1);
}

TEST(ThreadPoolTest, OneWorkerRunsTasksInSubmissionOrder) {
    ThreadPool pool;
    pool.SetMaxThreadCount(1);
    std::mutex orderMutex;
    std::vector<int> order;
    std::vector<std::unique_ptr<RecordingTask>> tasks;
    for (int i = 0; i < 50; ++i) {
        tasks.push_back(std::make_unique<RecordingTask>(true, [&, i] {
            std::lock_guard<std::mutex> lock(orderMutex);
            order.push_back(i);
        }));
    }
    for (auto& t : tasks) ASSERT_TRUE(pool.RunTask(t.get()));
    for (auto& t : tasks) ASSERT_EQ(t->WaitTaskFinish(10000), 1);
    std::vector<int> expected(50);
    for (int i = 0; i < 50; ++i) expected[i] = i;
    EXPECT_EQ(order, expected);
    std::set<std::thread::id> threads;
    for (auto& t : tasks) threads.insert(t->RanOn());
    EXPECT_EQ(threads.size(), 1u);
}

TEST(ThreadPoolTest, TaskMayBeDeletedOnceItsFinishIsTaken) {
    ThreadPool pool;
    for (int i = 0; i < 200; ++i) {
        auto* task = new RecordingTask;
        ASSERT_TRUE(pool.RunTask(task));
        ASSERT_EQ(task->WaitTaskFinish(-1), 1);
        delete task;
    }
}

TEST(ThreadPoolTest, ManyProducersEveryTaskRunsOnce) {
    constexpr int kProducers = 4;
    constexpr int kPerProducer = 500;
    ThreadPool pool;
    std::atomic<int> ran{0};
    std::vector<std::future<bool>> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.push_back(std::async(std::launch::async, [&] {
            std::vector<std::unique_ptr<RecordingTask>> mine;
            for (int i = 0; i < kPerProducer; ++i) {
                mine.push_back(std::make_unique<RecordingTask>(true, [&] { ran.fetch_add(1); }));
                if (!pool.RunTask(mine.back().get())) return false;
            }
            for (auto& t : mine) {
                if (t->WaitTaskFinish(10000) != 1 || t->runs.load() != 1) return false;
            }
            return true;
        }));
    }
    for (auto& p : producers) {
        ASSERT_TRUE(MivexTest::Ready(p, std::chrono::seconds(60)));
        EXPECT_TRUE(p.get());
    }
    EXPECT_EQ(ran.load(), kProducers * kPerProducer);
}

TEST(ThreadPoolTest, DestructionRunsQueuedTasksAndRefusesNewOnes) {
    auto pool = std::make_unique<ThreadPool>();
    pool->SetMaxThreadCount(1);
    ThreadPool* raw = pool.get();
    // The first task holds the only worker and keeps submitting (null tasks)
    // until the pool refuses, i.e. until the destructor has begun.
    std::atomic<bool> refused{false};
    RecordingTask holder(true, [&] {
        while (raw->RunTask(nullptr)) std::this_thread::yield();
        refused.store(true);
    });
    ASSERT_TRUE(pool->RunTask(&holder));
    std::vector<std::unique_ptr<RecordingTask>> queued;
    for (int i = 0; i < 10; ++i) {
        queued.push_back(std::make_unique<RecordingTask>());
        ASSERT_TRUE(pool->RunTask(queued.back().get()));
    }
    auto destroy = std::async(std::launch::async, [&] { pool.reset(); });
    ASSERT_TRUE(MivexTest::Ready(destroy, std::chrono::seconds(30)));
    EXPECT_TRUE(refused.load());
    for (auto& t : queued) {
        EXPECT_EQ(t->runs.load(), 1);
        EXPECT_EQ(t->WaitTaskFinish(0), 1);
    }
    EXPECT_EQ(holder.WaitTaskFinish(0), 1);
}
