#include <gtest/gtest.h>
#include <mivex/mivex.h>

#include <atomic>
#include <chrono>
#include <future>
#include <latch>
#include <string>

#include "TestSupport.h"

using namespace ThreadLib;
using MivexTest::Pending;
using MivexTest::Ready;

namespace {

std::future<bool> ReadFromOtherThread(ReadWriteMutex& m) {
    return std::async(std::launch::async, [&m] {
        bool got = m.LockRead();
        m.Unlock();
        return got;
    });
}

}  // namespace

TEST(ReadWriteMutexTest, TryLockWriteTakesOnlyAFreeLock) {
    struct Case {
        std::string name;
        int reads;
        bool write;
        bool expected;
    };
    const Case cases[] = {
        {"free", 0, false, true},
        {"read-held", 1, false, false},
        {"read-held twice", 2, false, false},
        {"write-held", 0, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReadWriteMutex m;
        for (int i = 0; i < c.reads; ++i) ASSERT_TRUE(m.LockRead());
        if (c.write) {
            ASSERT_TRUE(m.LockWrite());
        }
        EXPECT_EQ(m.TryLockWrite(), c.expected);
        if (!c.expected) {
            // A refused attempt holds nothing: the lock frees with the
            // original holds given back.
            for (int i = 0; i < c.reads + (c.write ? 1 : 0); ++i) m.Unlock();
        } else {
            // The attempt really holds the write lock: readers wait.
            auto reader = ReadFromOtherThread(m);
            EXPECT_TRUE(Pending(reader));
            m.Unlock();
            ASSERT_TRUE(Ready(reader));
        }
        EXPECT_TRUE(m.TryLockWrite());
        m.Unlock();
    }
}

TEST(ReadWriteMutexTest, ReadersShareAndTheLockFreesAfterTheLastUnlock) {
    ReadWriteMutex m;
    ASSERT_TRUE(m.LockRead());
    auto second = std::async(std::launch::async, [&] { return m.LockRead(); });
    ASSERT_TRUE(Ready(second));  // got in while the first read hold is kept
    EXPECT_TRUE(second.get());
    m.Unlock();
    EXPECT_FALSE(m.TryLockWrite());  // still held for reading
    m.Unlock();
    EXPECT_TRUE(m.TryLockWrite());
    m.Unlock();
}

TEST(ReadWriteMutexTest, WriterWaitsForEveryReader) {
    ReadWriteMutex m;
    ASSERT_TRUE(m.LockRead());
    ASSERT_TRUE(m.LockRead());
    std::atomic<int> unlocked{0};
    std::latch started(1);
    auto writer = std::async(std::launch::async, [&] {
        started.count_down();
        bool got = m.LockWrite();
        int seen = unlocked.load();
        m.Unlock();
        return got ? seen : -1;
    });
    started.wait();
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(Pending(writer));
        unlocked.fetch_add(1);
        m.Unlock();
    }
    ASSERT_TRUE(Ready(writer));
    EXPECT_EQ(writer.get(), 2);
}

TEST(ReadWriteMutexTest, ReaderArrivingBehindAWaitingWriterDoesNotOvertakeIt) {
    ReadWriteMutex m;
    ASSERT_TRUE(m.LockRead());
    std::atomic<bool> writerDone{false};
    std::latch started(1);
    auto writer = std::async(std::launch::async, [&] {
        started.count_down();
        m.LockWrite();
        writerDone.store(true);
        m.Unlock();
    });
    started.wait();
    // A probing reader gets in at once until the writer has reached the
    // gate; from then on it must wait for the writer.
    std::future<bool> probe;
    bool blocked = false;
    for (int attempt = 0; attempt < 200 && !blocked; ++attempt) {
        probe = std::async(std::launch::async, [&] {
            m.LockRead();
            bool afterWriter = writerDone.load();
            m.Unlock();
            return afterWriter;
        });
        blocked = probe.wait_for(std::chrono::milliseconds(20)) == std::future_status::timeout;
        if (!blocked) {
            EXPECT_FALSE(probe.get());  // got in before the writer waited
        }
    }
    ASSERT_TRUE(blocked) << "a reader never waited behind the waiting writer";
    m.Unlock();  // the first reader leaves: writer, then the probe
    ASSERT_TRUE(Ready(writer));
    ASSERT_TRUE(Ready(probe));
    EXPECT_TRUE(probe.get());
}

TEST(ReadWriteMutexTest, UnlockOnAFreeLockChangesNothing) {
    ReadWriteMutex m;
    m.Unlock();
    ASSERT_TRUE(m.LockRead());
    m.Unlock();
    m.Unlock();  // free again: no effect on the next holds
    ASSERT_TRUE(m.LockRead());
    EXPECT_FALSE(m.TryLockWrite());
    m.Unlock();
    EXPECT_TRUE(m.TryLockWrite());
    m.Unlock();
}

TEST(ReadWriteMutexTest, CopyOfAHeldLockIsFree) {
    ReadWriteMutex m;
    ASSERT_TRUE(m.LockWrite());
    ReadWriteMutex copy(m);
    EXPECT_TRUE(copy.TryLockWrite());
    copy.Unlock();
    EXPECT_FALSE(m.TryLockWrite());
    m.Unlock();
}
