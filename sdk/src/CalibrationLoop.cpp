#include "korvo/sdk/CalibrationLoop.h"

namespace korvo::sdk {

CalibrationEnd RunCalibrationLoop(WorkerSignal& signal, const CalibrationPacing& pacing,
                                  const std::function<void()>& beforeCommand,
                                  const std::function<int()>& sendCommand) {
    for (int waits = 1;; ++waits) {
        if (signal.WaitForStop(pacing.period)) return CalibrationEnd::kStopped;
        if (waits >= pacing.limit) return CalibrationEnd::kCheckFailed;
        beforeCommand();
        const int accepted = sendCommand();
        if (signal.StopRequested()) return CalibrationEnd::kStopped;
        if (accepted) return CalibrationEnd::kCompleted;
    }
}

}  // namespace korvo::sdk
