#include <gtest/gtest.h>
#include <mivex/mivex.h>

#include <atomic>
#include <future>
#include <latch>
#include <thread>

#include "TestSupport.h"

using namespace ThreadLib;
using MivexTest::Pending;
using MivexTest::Ready;

namespace {

// Another thread tries to take the mutex; the future tells when it got it.
std::future<bool> LockFromOtherThread(ThreadMutex& mutex, bool useTryLock) {
    return std::async(std::launch::async, [&mutex, useTryLock] {
        bool got = useTryLock ? mutex.TryLock() : mutex.Lock();
        mutex.Unlock();
        return got;
    });
}

}  // namespace

TEST(ThreadMutexTest, OwnerRelocksAtOnceAndOthersWaitForEveryLevel) {
    for (int levels : {2, 3}) {
        SCOPED_TRACE(levels);
        ThreadMutex mutex;
        for (int i = 0; i < levels; ++i) ASSERT_TRUE(mutex.Lock());
        std::atomic<int> released{0};
        auto other = std::async(std::launch::async, [&] {
            mutex.Lock();
            int seen = released.load();
            mutex.Unlock();
            return seen;
        });
        for (int i = 0; i < levels; ++i) {
            EXPECT_TRUE(Pending(other)) << "another thread got in with " << levels - i << " levels held";
            released.fetch_add(1);
            mutex.Unlock();
        }
        ASSERT_TRUE(Ready(other));
        EXPECT_EQ(other.get(), levels);
    }
}

TEST(ThreadMutexTest, TryLockWaitsForTheHolderAndReturnsTrueWithTheLock) {
    ThreadMutex mutex;
    mutex.Lock();
    std::atomic<bool> released{false};
    std::latch started(1);
    auto other = std::async(std::launch::async, [&] {
        started.count_down();
        bool got = mutex.TryLock();
        bool holderWasGone = released.load();
        mutex.Unlock();
        return got && holderWasGone;
    });
    started.wait();
    EXPECT_TRUE(Pending(other));
    released.store(true);
    mutex.Unlock();
    ASSERT_TRUE(Ready(other));
    EXPECT_TRUE(other.get());
}

TEST(ThreadMutexTest, CopyOfAHeldMutexIsFreeAndIndependent) {
    ThreadMutex source;
    std::latch held(1);
    std::promise<void> finish;
    auto holder = std::async(std::launch::async, [&] {
        source.Lock();
        held.count_down();
        finish.get_future().wait();
        source.Unlock();
    });
    held.wait();
    ThreadMutex copy(source);
    auto onCopy = LockFromOtherThread(copy, false);
    EXPECT_TRUE(Ready(onCopy));
    EXPECT_TRUE(onCopy.get());
    finish.set_value();
    ASSERT_TRUE(Ready(holder));
}

TEST(MutexObjectTest, HoldsForItsScopeAndGivesBackOnlyItsOwnLevel) {
    ThreadMutex mutex;
    mutex.Lock();  // the outer owner
    {
        MutexObject guard(mutex);  // must not wait on its own thread's lock
    }
    // The guard's level is gone, the outer one is not.
    auto other = LockFromOtherThread(mutex, false);
    EXPECT_TRUE(Pending(other));
    mutex.Unlock();
    ASSERT_TRUE(Ready(other));

    std::future<bool> blocked;
    {
        MutexObject guard(mutex);
        blocked = LockFromOtherThread(mutex, false);
        EXPECT_TRUE(Pending(blocked));
    }
    ASSERT_TRUE(Ready(blocked));
    EXPECT_TRUE(blocked.get());
}
