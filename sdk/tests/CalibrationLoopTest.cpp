#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "korvo/sdk/CalibrationLoop.h"

namespace {

using namespace korvo::sdk;
using namespace std::chrono_literals;

TEST(CalibrationLoop, EndsOnAcceptanceOrAfterTheLimit) {
    const struct {
        const char* name;
        int limit;
        int acceptOnCommand;  // 1-based among the repeated commands; 0 never
        CalibrationEnd end;
        int commands;
    } cases[] = {
        {"first repeat accepted", 300, 1, CalibrationEnd::kCompleted, 1},
        {"third repeat accepted", 300, 3, CalibrationEnd::kCompleted, 3},
        {"never accepted", 5, 0, CalibrationEnd::kCheckFailed, 4},
        {"accepted on the last one", 5, 4, CalibrationEnd::kCompleted, 4},
        {"limit of one sends nothing", 1, 1, CalibrationEnd::kCheckFailed, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WorkerSignal signal;
        int shown = 0, commands = 0;
        const CalibrationEnd end = RunCalibrationLoop(
            signal, {1ms, c.limit}, [&] { ++shown; }, [&] { return ++commands == c.acceptOnCommand ? 1 : 0; });
        EXPECT_EQ(end, c.end);
        EXPECT_EQ(commands, c.commands);
        EXPECT_EQ(shown, c.commands);  // the line is shown before each command
    }
}

TEST(CalibrationLoop, StopRequestEndsALongWaitAtOnce) {
    WorkerSignal signal;
    std::atomic<int> commands{0};
    CalibrationEnd end = CalibrationEnd::kCompleted;
    std::thread worker([&] { end = RunCalibrationLoop(signal, {1h, 300}, [] {}, [&] { return ++commands, 0; }); });
    signal.RequestStop();
    worker.join();  // would hang for an hour if the wait ignored the request
    EXPECT_EQ(end, CalibrationEnd::kStopped);
    EXPECT_EQ(commands, 0);
}

TEST(CalibrationLoop, StopDuringACommandWinsOverItsAnswer) {
    WorkerSignal signal;
    int commands = 0;
    const CalibrationEnd end = RunCalibrationLoop(signal, {1ms, 300}, [] {}, [&] {
        ++commands;
        signal.RequestStop();
        return 1;
    });
    EXPECT_EQ(end, CalibrationEnd::kStopped);
    EXPECT_EQ(commands, 1);
}

TEST(WorkerSignal, FinishIsSeenByAWaitingOwnerAndATimeoutIsReported) {
    WorkerSignal signal;
    EXPECT_FALSE(signal.WaitFinished(1ms));
    std::thread worker([&] {
        signal.WaitForStop(1h);
        signal.MarkFinished();
    });
    EXPECT_FALSE(signal.Finished());
    signal.RequestStop();
    EXPECT_TRUE(signal.WaitFinished(10s));
    worker.join();
    EXPECT_TRUE(signal.StopRequested());
    EXPECT_TRUE(signal.WaitForStop(1h));  // an earlier request is not lost
}

}  // namespace
