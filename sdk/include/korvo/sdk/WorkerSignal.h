// What a worker thread and its owner share: a stop request that the worker
// waits on between steps, the news that the worker has finished, and the
// lock under which either side touches state they share.
//
// The owner keeps one WorkerSignal per worker in a std::shared_ptr and hands
// the worker a copy, so that the signal outlives an owner that gave up
// waiting. Every call may be made from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace korvo::sdk {

class WorkerSignal {
public:
    WorkerSignal() = default;
    WorkerSignal(const WorkerSignal&) = delete;
    WorkerSignal& operator=(const WorkerSignal&) = delete;

    // Asks the worker to stop; wakes a WaitForStop in progress. Idempotent.
    void RequestStop();
    bool StopRequested() const;

    // Blocks for `period` or until a stop is requested, whichever comes
    // first; returns true when a stop was requested (also when it was
    // requested before the call).
    bool WaitForStop(std::chrono::milliseconds period);

    // Called by the worker as its very last touch of shared state.
    void MarkFinished();
    bool Finished() const;
    // Blocks until MarkFinished or `timeout`; returns whether it finished.
    bool WaitFinished(std::chrono::milliseconds timeout);

    // Guards whatever the owner and the worker share besides this signal.
    // Not held by any call above; never hold it across a blocking call.
    std::mutex& SharedMutex() { return m_shared; }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stop = false;
    bool m_finished = false;
    std::mutex m_shared;
};

}  // namespace korvo::sdk
