// The waiting part of a lens calibration: after the device accepted the
// first command, the command is sent again once a period until the device
// accepts it again, or the attempts run out, or the owner asks to stop.
#pragma once

#include <chrono>
#include <functional>

#include "korvo/sdk/WorkerSignal.h"

namespace korvo::sdk {

enum class CalibrationEnd {
    kCompleted,  // the device accepted a repeated command
    kCheckFailed,  // `limit` waits passed without acceptance
    kStopped,    // the owner requested a stop; nothing more was sent
};

struct CalibrationPacing {
    std::chrono::milliseconds period{1000};
    int limit = 300;
};

// Repeats: wait one period (a stop request ends the wait and the loop at
// once); count the wait; when the count reaches `pacing.limit`, end with
// kCheckFailed; call `beforeCommand`; call `sendCommand` and end with
// kCompleted when it returns non-zero. So at most limit - 1 commands are
// sent, and the check fails `limit` periods after the first command.
// A stop requested while `sendCommand` runs ends the loop after it returns,
// whatever it returned. Blocks the calling thread; runs the callbacks on it.
CalibrationEnd RunCalibrationLoop(WorkerSignal& signal, const CalibrationPacing& pacing,
                                  const std::function<void()>& beforeCommand,
                                  const std::function<int()>& sendCommand);

}  // namespace korvo::sdk
