#include <gtest/gtest.h>
#include <mivex/mivex.h>

#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"

using namespace ThreadLib;

namespace {

// A loop that records its steps. Each pass waits on `pass` so that tests
// decide when a pass ends; SetExit plus one post ends the loop.
class RecordingLoop : public Thread {
public:
    explicit RecordingLoop(int initResult = 1, int passesBeforeExit = -1)
        : m_initResult(initResult), m_passesLeft(passesBeforeExit) {}
    ~RecordingLoop() override { DestroyThread(); }

    using CRepetition::IsExit;
    using CRepetition::RunProc;
    using CRepetition::SetExit;

    std::string Steps() {
        std::lock_guard<std::mutex> lock(m_stepsMutex);
        return m_steps;
    }
    // Lets one blocked pass end.
    void ReleasePass() { pass.PostSem(); }

    Semphore pass;
    Semphore passStarted;
    Semphore initDone;

private:
    void Record(char c) {
        std::lock_guard<std::mutex> lock(m_stepsMutex);
        m_steps += c;
    }
    int Init() override {
        Record('I');
        initDone.PostSem();
        return m_initResult;
    }
    unsigned int RunOnce() override {
        Record('R');
        passStarted.PostSem();
        if (m_passesLeft >= 0) {
            if (--m_passesLeft == 0) SetExit(true);
            return 7;
        }
        pass.WaitSem();
        return 7;
    }
    unsigned int ExitRun() override {
        Record('E');
        return 1;
    }
    unsigned int Exit() override {
        Record('X');
        return 42;
    }

    std::mutex m_stepsMutex;
    std::string m_steps;
    const int m_initResult;
    int m_passesLeft;
};

// Stops a RecordingLoop's blocked pass from another thread.
void StopLoop(RecordingLoop& loop) {
    loop.SetExit(true);
    loop.ReleasePass();
}

}  // namespace

TEST(CRepetitionTest, RunProcSequence) {
    struct Case {
        std::string name;
        int initResult;
        int passes;
        bool exitBefore;
        std::string steps;
    };
    const std::vector<Case> cases = {
        {"normal run", 1, 2, false, "IRREX"},
        {"Init 0 still runs", 0, 1, false, "IREX"},
        {"negative Init skips Run and ExitRun", -1, 1, false, "IX"},
        {"exit flag set before: no pass", 1, 1, true, "IEX"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingLoop loop(c.initResult, c.passes);
        if (c.exitBefore) loop.SetExit(true);
        EXPECT_EQ(loop.RunProc(), 42u);
        EXPECT_EQ(loop.Steps(), c.steps);
    }
}

TEST(CRepetitionTest, RunReturnsLastPassOrZero) {
    struct Counter : CRepetition {
        unsigned int passes = 0;
        unsigned int RunOnce() override {
            if (++passes == 3) SetExit(true);
            return passes * 10;
        }
    };
    Counter c;
    EXPECT_EQ(c.Run(), 30u);
    EXPECT_EQ(c.Run(), 0u);  // flag still set: no pass
    Counter copy(c);
    EXPECT_TRUE(copy.IsExit());
    // Defaults of the closing steps.
    EXPECT_EQ(c.Init(), 1);
    EXPECT_EQ(c.ExitRun(), 1u);
    EXPECT_EQ(c.Exit(), 1u);
    c.SetExit(false);
    c.passes = 0;
    EXPECT_EQ(c.RunProc(), 1u);
}

TEST(ThreadTest, CreatedSuspendedStartsOnlyOnResume) {
    RecordingLoop loop;
    ASSERT_TRUE(loop.CreateThread(false, 0));
    EXPECT_TRUE(loop.IsCreated());
    EXPECT_EQ(loop.initDone.TimeWaitSem(50), 0);
    EXPECT_EQ(loop.Steps(), "");
    // The start gate counts like a suspend count.
    EXPECT_EQ(loop.Suspend(), 1u);
    ASSERT_TRUE(loop.Resume());
    EXPECT_EQ(loop.initDone.TryWaitSem(), 0);
    ASSERT_TRUE(loop.Resume());
    ASSERT_EQ(loop.initDone.TimeWaitSem(10000), 1);
    ASSERT_EQ(loop.passStarted.TimeWaitSem(10000), 1);
    EXPECT_EQ(loop.Suspend(), 4294967295u);  // a running thread cannot be suspended here
    EXPECT_TRUE(loop.Resume());
    StopLoop(loop);
    EXPECT_TRUE(loop.WaitExit(10000));
    EXPECT_EQ(loop.DestroyThread(), 1u);
    EXPECT_FALSE(loop.IsCreated());
}

TEST(ThreadTest, WithoutThread) {
    RecordingLoop loop;
    EXPECT_FALSE(loop.IsCreated());
    EXPECT_FALSE(loop.WaitExit(0));
    EXPECT_FALSE(loop.WaitExit(4294967295u));
    EXPECT_EQ(loop.Suspend(), 4294967295u);
    EXPECT_EQ(loop.DestroyThread(), 1u);
    EXPECT_TRUE(loop.IsExit());  // the only effect
    EXPECT_EQ(loop.Steps(), "");
}

TEST(ThreadTest, WaitExitTellsARunningLoopFromAnEndedOne) {
    RecordingLoop loop;
    ASSERT_TRUE(loop.CreateThread(true, 0));
    ASSERT_EQ(loop.passStarted.TimeWaitSem(10000), 1);
    EXPECT_FALSE(loop.WaitExit(0));
    EXPECT_FALSE(loop.WaitExit(20));
    StopLoop(loop);
    EXPECT_TRUE(loop.WaitExit(10000));
    EXPECT_TRUE(loop.WaitExit(0));
    EXPECT_EQ(loop.Steps(), "IREX");
    EXPECT_TRUE(loop.IsCreated());  // still held until DestroyThread
}

TEST(ThreadTest, DestructionWaitsForTheCurrentPassAndClosingSteps) {
    auto loop = std::make_unique<RecordingLoop>();
    ASSERT_TRUE(loop->CreateThread(true, 1 << 16));
    ASSERT_EQ(loop->passStarted.TimeWaitSem(10000), 1);
    RecordingLoop* raw = loop.get();
    std::atomic<bool> destroyed{false};
    auto destroyer = std::async(std::launch::async, [&] {
        loop.reset();
        destroyed.store(true);
    });
    // The destructor sets the flag; the pass still waits and so must it.
    while (!raw->IsExit() && !destroyed.load()) std::this_thread::yield();
    EXPECT_FALSE(destroyed.load());
    std::string steps = raw->Steps();
    EXPECT_EQ(steps, "IR");
    raw->ReleasePass();
    ASSERT_TRUE(MivexTest::Ready(destroyer));
    EXPECT_TRUE(destroyed.load());
}

TEST(ThreadTest, SecondCreateEndsTheFirstThreadAndClearsTheFlag) {
    RecordingLoop loop;
    ASSERT_TRUE(loop.CreateThread(true, 0));
    ASSERT_EQ(loop.passStarted.TimeWaitSem(10000), 1);
    // The old pass is blocked: it ends once the second CreateThread has set
    // the flag and this helper lets the pass go.
    auto helper = std::async(std::launch::async, [&] {
        while (!loop.IsExit()) std::this_thread::yield();
        loop.ReleasePass();
    });
    testing::internal::CaptureStderr();
    ASSERT_TRUE(loop.CreateThread(true, 0));
    std::string report = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(MivexTest::Ready(helper));
    ASSERT_EQ(loop.passStarted.TimeWaitSem(10000), 1);
    EXPECT_FALSE(loop.IsExit());
    StopLoop(loop);
    EXPECT_TRUE(loop.WaitExit(10000));
    EXPECT_EQ(loop.Steps(), "IREXIREX");
#ifdef NDEBUG
    EXPECT_EQ(report, "");
#else
    EXPECT_NE(report.find("!m_threadHandle"), std::string::npos) << report;
#endif
}

TEST(ThreadTest, DestroyingANeverResumedThreadEndsItWithoutRunningTheLoop) {
    RecordingLoop loop;
    ASSERT_TRUE(loop.CreateThread(false, 0));
    auto destroy = std::async(std::launch::async, [&] { return loop.DestroyThread(); });
    ASSERT_TRUE(MivexTest::Ready(destroy));
    EXPECT_EQ(destroy.get(), 1u);
    EXPECT_EQ(loop.Steps(), "");
}

TEST(ThreadTest, CheckingBuildReportsResumeWithoutThread) {
#ifdef NDEBUG
    GTEST_SKIP() << "misuse reports exist only in checking (non-NDEBUG) builds";
#else
    RecordingLoop loop;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(loop.Resume());
    std::string report = testing::internal::GetCapturedStderr();
    EXPECT_NE(report.find("m_threadHandle != NULL"), std::string::npos) << report;
#endif
}

namespace {

// A self-deleting loop that runs a few passes and then tells where its last
// steps ran.
class SelfDeleting : public CThread_Posix {
public:
    struct Log {
        std::promise<std::thread::id> autoDeleteThread;
        std::promise<std::thread::id> destructorThread;
        std::atomic<bool> exitBeforeAutoDelete{false};
        std::atomic<bool> exitDone{false};
    };
    explicit SelfDeleting(Log& log) : CThread_Posix(true), m_log(log) {}
    ~SelfDeleting() override {
        m_log.destructorThread.set_value(std::this_thread::get_id());
    }

private:
    unsigned int RunOnce() override {
        if (++m_passes == 3) SetExit(true);
        return 0;
    }
    unsigned int Exit() override {
        m_log.exitDone.store(true);
        return 1;
    }
    void OnAutoDeleteObj() override {
        m_log.exitBeforeAutoDelete.store(m_log.exitDone.load());
        m_log.autoDeleteThread.set_value(std::this_thread::get_id());
    }

    Log& m_log;
    int m_passes = 0;
};

}  // namespace

TEST(ThreadTest, SelfDeletingObjectEndsItsOwnLifeInItsThread) {
    SelfDeleting::Log log;
    auto onAutoDelete = log.autoDeleteThread.get_future();
    auto inDestructor = log.destructorThread.get_future();
    auto* obj = new SelfDeleting(log);
    ASSERT_TRUE(obj->CreateThread(true, 0));
    ASSERT_TRUE(MivexTest::Ready(inDestructor));
    ASSERT_TRUE(MivexTest::Ready(onAutoDelete));
    const std::thread::id where = onAutoDelete.get();
    EXPECT_NE(where, std::this_thread::get_id());
    EXPECT_EQ(inDestructor.get(), where);
    EXPECT_TRUE(log.exitBeforeAutoDelete.load());
}
