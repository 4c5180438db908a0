#pragma once

// Internal to the library (not exported): one worker of a ThreadPool.
#include <atomic>

#include "Semphore.h"
#include "TaskObject.h"
#include "Thread.h"

namespace ThreadLib {

class ThreadPoolPriv;

// A worker waits on its semaphore, runs the task it was given, posts the
// task's finish, turns idle and tells the pool. Only the pool's dispatcher
// (or the thread destroying the pool) assigns tasks and stops workers.
class ThreadItem : public Thread {
public:
    // Starts the worker's thread; IsCreated() tells whether that worked.
    explicit ThreadItem(ThreadPoolPriv* pool);
    ~ThreadItem() override;

    // Only for an idle worker: stores the task, then wakes the worker.
    void SetTask(TaskObject* task);
    bool IsIdle();
    // Lets the worker finish the task it was given (if any), then ends its
    // thread. Blocks until the thread has ended.
    void StopThread();

private:
    unsigned int RunOnce() override;

    std::atomic<TaskObject*> m_task{nullptr};
    Semphore m_wakeSem{0};
    ThreadPoolPriv* const m_pool;
    std::atomic<bool> m_stopRequested{false};
};

}  // namespace ThreadLib
