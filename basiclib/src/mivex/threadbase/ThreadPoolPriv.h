#pragma once

// Internal to the library (not exported): the state of a ThreadPool and
// its dispatcher, whose loop is this object's thread.
#include <atomic>
#include <cstddef>
#include <deque>
#include <vector>

#include "Semphore.h"
#include "TaskObject.h"
#include "Thread.h"
#include "ThreadMutex.h"

namespace ThreadLib {

class ThreadItem;

class ThreadPoolPriv : public Thread {
public:
    // Starts the dispatcher as its last step.
    ThreadPoolPriv();
    // Stops taking tasks, stops the dispatcher, runs what is still queued
    // and stops every worker (see ThreadPool's destructor).
    ~ThreadPoolPriv() override;

    bool RunTask(TaskObject* task);
    void SetMaxThreadCount(int count);

    // Called by a worker right after it has turned idle.
    void OnWorkerIdle();

    // Diagnostics for the library's own tests: the number of workers and
    // whether the one at a position is idle. Meaningful only while no task
    // is being handed out (the dispatcher may grow the list meanwhile).
    std::size_t WorkerCount();
    bool IsWorkerIdle(std::size_t position);
    // The number of tasks queued and not yet taken by the dispatcher.
    std::size_t QueuedTaskCount();

private:
    unsigned int RunOnce() override;

    // Hands task to the lowest idle worker when nothing is queued or in the
    // dispatcher's hand; false when it must be queued. Needs m_taskMutex.
    bool HandToIdleWorker(TaskObject* task);
    // Takes the front task and marks the dispatcher as handing out; on an
    // empty queue clears that mark and returns null.
    TaskObject* PopTask();
    bool QueueEmpty();
    bool DispatchTask();
    ThreadItem* GetIdleThread();
    bool MayCreateWorker();
    void AssignTask(ThreadItem* worker, TaskObject* task);
    // Blocks until a worker may have turned idle or the limit changed.
    void WaitForWorker();

    // Grown only by the dispatcher (or the draining thread) while
    // m_handingOut is set; read by RunTask() under m_taskMutex only while it
    // is clear and m_stopping is not set. The flag's changes under the mutex
    // order the two; once m_stopping is set only the destroying thread
    // uses the list.
    std::vector<ThreadItem*> m_threads;
    std::atomic<int> m_maxThreadCount{200};
    ThreadMutex m_taskMutex;
    // Guarded by m_taskMutex.
    std::deque<TaskObject*> m_tasks;
    // Written under m_taskMutex (so that no task is queued after the drain
    // has looked), read anywhere.
    std::atomic<bool> m_stopping{false};
    // True while the dispatcher sleeps on m_queueSem for an empty queue;
    // guarded by m_taskMutex, so that RunTask posts once per sleep.
    bool m_dispatcherAsleep = false;
    // Guarded by m_taskMutex: set when the dispatcher takes a task from the
    // queue, cleared when it next finds the queue empty. While it is set
    // the dispatcher may be searching, growing or assigning workers, so
    // RunTask() queues behind it instead of handing out itself.
    bool m_handingOut = false;
    Semphore m_queueSem{0};
    // Set by the dispatcher before it sleeps for want of a worker; a worker
    // that turns idle, or a new limit, clears it and posts m_workerSem.
    std::atomic<bool> m_waitingForWorker{false};
    Semphore m_workerSem{0};
    bool m_workerStartFailed = false;
    bool m_dispatcherStarted = false;
};

}  // namespace ThreadLib
