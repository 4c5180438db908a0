#include <gtest/gtest.h>
#include <mivex/mivex.h>

#include <atomic>
#include <chrono>
#include <future>
#include <latch>
#include <semaphore>
#include <string>
#include <vector>

#include "TestSupport.h"

using namespace ThreadLib;
using MivexTest::Pending;
using MivexTest::Ready;

namespace {

constexpr int kMaxCount = 2147483647;

// One step on a semaphore and the result it must give.
struct SemStep {
    enum Op { Post, TryWait, TimeWait0, Value } op;
    int expected;
};

int Apply(Semphore& sem, SemStep::Op op) {
    switch (op) {
        case SemStep::Post: return sem.PostSem() ? 1 : 0;
        case SemStep::TryWait: return sem.TryWaitSem();
        case SemStep::TimeWait0: return sem.TimeWaitSem(0);
        case SemStep::Value: return sem.GetValue();
    }
    return -2;
}

}  // namespace

TEST(SemphoreTest, CountsPostsAndTakes) {
    struct Case {
        std::string name;
        int initial;
        std::vector<SemStep> steps;
    };
    const std::vector<Case> cases = {
        {"new semaphore is empty", 0, {{SemStep::TryWait, 0}, {SemStep::Value, 0}}},
        {"one post, one take", 0,
         {{SemStep::Post, 1}, {SemStep::Value, 1}, {SemStep::TryWait, 1}, {SemStep::TryWait, 0}}},
        {"TimeWaitSem(0) takes without waiting", 2,
         {{SemStep::TimeWait0, 1}, {SemStep::TimeWait0, 1}, {SemStep::TimeWait0, 0}}},
        {"post at the maximum is refused and keeps the count", kMaxCount,
         {{SemStep::Post, 0}, {SemStep::Value, kMaxCount}, {SemStep::TryWait, 1},
          {SemStep::Post, 1}, {SemStep::Value, kMaxCount}}},
        {"negative initial count: no semaphore", -1,
         {{SemStep::TryWait, 0}, {SemStep::Post, 0}, {SemStep::Value, -1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Semphore sem(c.initial);
        for (size_t i = 0; i < c.steps.size(); ++i) {
            EXPECT_EQ(Apply(sem, c.steps[i].op), c.steps[i].expected) << "step " << i;
        }
    }
}

TEST(SemphoreTest, UnlimitedWaitsReturnOnlyAfterAPost) {
    // -1 for TimeWaitSem is "no limit", as is WaitSem itself.
    for (bool timed : {false, true}) {
        SCOPED_TRACE(timed ? "TimeWaitSem(-1)" : "WaitSem()");
        Semphore sem;
        std::latch started(1);
        auto waiter = std::async(std::launch::async, [&] {
            started.count_down();
            return timed ? sem.TimeWaitSem(-1) : (sem.WaitSem() ? 1 : 0);
        });
        started.wait();
        EXPECT_TRUE(Pending(waiter));
        ASSERT_TRUE(sem.PostSem());
        ASSERT_TRUE(Ready(waiter));
        EXPECT_EQ(waiter.get(), 1);
        EXPECT_EQ(sem.GetValue(), 0);
    }
}

TEST(SemphoreTest, TimedWaitGivesUpAfterItsLimit) {
    Semphore sem;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sem.TimeWaitSem(30), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

TEST(EventTest, ResetModesAndInitialStates) {
    struct Case {
        std::string name;
        bool initial;
        bool manual;
        // Each entry: true = SetEvent, false = ResetEvent, followed by the
        // results of three WaitEvent(0) calls.
        bool action;
        std::vector<bool> waits;
    };
    const std::vector<Case> cases = {
        {"auto-reset, set: one wait only", false, false, true, {true, false, false}},
        {"auto-reset, created signalled", true, false, false, {false, false, false}},
        {"manual-reset, set: every wait", false, true, true, {true, true, true}},
        {"manual-reset, reset: none", true, true, false, {false, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Event event(c.initial, c.manual);
        ASSERT_TRUE(c.action ? event.SetEvent() : event.ResetEvent());
        for (bool expected : c.waits) EXPECT_EQ(event.WaitEvent(0), expected);
    }
    Event defaults;
    EXPECT_FALSE(defaults.WaitEvent(0));
    Event signalled(true);  // auto-reset by default
    EXPECT_TRUE(signalled.WaitEvent(0));
    EXPECT_FALSE(signalled.WaitEvent(0));
}

TEST(EventTest, ManualSetReleasesEveryWaiterAndAutoSetOnlyOne) {
    for (bool manual : {true, false}) {
        SCOPED_TRACE(manual ? "manual" : "auto");
        Event event(false, manual);
        std::latch started(2);
        std::atomic<int> released{0};
        std::counting_semaphore<2> done(0);
        auto wait = [&] {
            started.count_down();
            bool got = event.WaitEvent(0xFFFFFFFFu);
            released.fetch_add(1);
            done.release();
            return got;
        };
        auto a = std::async(std::launch::async, wait);
        auto b = std::async(std::launch::async, wait);
        started.wait();
        ASSERT_TRUE(event.SetEvent());
        ASSERT_TRUE(done.try_acquire_for(MivexTest::kBound));
        if (manual) {
            ASSERT_TRUE(done.try_acquire_for(MivexTest::kBound));
        } else {
            EXPECT_EQ(released.load(), 1);
            ASSERT_TRUE(event.SetEvent());
            ASSERT_TRUE(done.try_acquire_for(MivexTest::kBound));
        }
        EXPECT_TRUE(a.get());
        EXPECT_TRUE(b.get());
        EXPECT_EQ(event.WaitEvent(0), manual);
    }
}

TEST(EventTest, TimedWaitGivesUp) {
    Event event;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(event.WaitEvent(30));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

TEST(ResourceCountTest, PlacesAndResourcesAreCountedApart) {
    ResourceCount rc(0, 2);
    EXPECT_TRUE(rc.WaitPutResource(0));
    EXPECT_TRUE(rc.WaitPutResource(0));
    EXPECT_FALSE(rc.WaitPutResource(0));
    EXPECT_FALSE(rc.WaitTakeResource(0));
    rc.PutResource();
    EXPECT_TRUE(rc.WaitTakeResource(0));
    EXPECT_FALSE(rc.WaitTakeResource(0));
    rc.TakenResource();  // gives a place back
    EXPECT_TRUE(rc.WaitPutResource(0));
    EXPECT_FALSE(rc.WaitPutResource(0));
    rc.IncreaseSize(2);
    EXPECT_TRUE(rc.WaitPutResource(0));
    EXPECT_TRUE(rc.WaitPutResource(0));
    EXPECT_FALSE(rc.WaitPutResource(0));

    ResourceCount ready(1, 0);  // the first argument is the take side
    EXPECT_TRUE(ready.WaitTakeResource(0));
    EXPECT_FALSE(ready.WaitPutResource(0));
}

TEST(ResourceCountTest, NegativeLimitsWaitWithoutLimit) {
    for (int limit : {-1, -5, -2147483647 - 1}) {
        SCOPED_TRACE(limit);
        ResourceCount rc;
        std::latch started(2);
        auto put = std::async(std::launch::async, [&] { started.count_down(); return rc.WaitPutResource(limit); });
        auto take = std::async(std::launch::async, [&] { started.count_down(); return rc.WaitTakeResource(limit); });
        started.wait();
        EXPECT_TRUE(Pending(put));
        EXPECT_TRUE(Pending(take));
        rc.IncreaseSize(1);
        rc.PutResource();
        ASSERT_TRUE(Ready(put));
        ASSERT_TRUE(Ready(take));
        EXPECT_TRUE(put.get());
        EXPECT_TRUE(take.get());
    }
}

TEST(ResourceCountTest, DecreaseSizeWaitsForAReadyResourceAndWithdrawsIt) {
    ResourceCount rc(0, 2);
    std::latch started(1);
    auto shrink = std::async(std::launch::async, [&] {
        started.count_down();
        rc.DecreaseSize(1);
    });
    started.wait();
    EXPECT_TRUE(Pending(shrink));
    rc.PutResource();
    ASSERT_TRUE(Ready(shrink));
    EXPECT_FALSE(rc.WaitTakeResource(0));  // the shrink took it
}
