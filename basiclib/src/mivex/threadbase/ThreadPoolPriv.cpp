#include "ThreadPoolPriv.h"

#include <cstdint>
#include <new>

#include "SpinWait.h"
#include "ThreadItem.h"

namespace ThreadLib {

namespace {

// When the platform refuses to start a worker, the dispatcher tries again
// after this long (unless a worker turns idle first).
constexpr int kWorkerRetryMs = 10;

}  // namespace

ThreadPoolPriv::ThreadPoolPriv() {
    m_dispatcherStarted = CreateThread(true, 0);
}

ThreadPoolPriv::~ThreadPoolPriv() {
    m_taskMutex.Lock();
    m_stopping.store(true);
    m_taskMutex.Unlock();

    // The flag first, then the wake-up, so that a dispatcher about to sleep
    // either sees the flag or gets the post.
    SetExit(true);
    m_queueSem.PostSem();
    DestroyThread();

    // Drain in this thread: every task queued before the stop still runs.
    while (!QueueEmpty()) DispatchTask();

    for (ThreadItem* worker : m_threads) {
        worker->StopThread();
        delete worker;
    }
    m_threads.clear();
}

bool ThreadPoolPriv::RunTask(TaskObject* task) {
    if (!m_dispatcherStarted) return false;
    m_taskMutex.Lock();
    if (m_stopping.load()) {
        m_taskMutex.Unlock();
        return false;
    }
    // A null task has no effect wherever it is dropped; dropping it here
    // spares the dispatcher a wake-up.
    if (task == nullptr || HandToIdleWorker(task)) {
        m_taskMutex.Unlock();
        return true;
    }
    m_tasks.push_back(task);
    const bool wake = m_dispatcherAsleep;
    m_dispatcherAsleep = false;
    m_taskMutex.Unlock();
    if (wake) m_queueSem.PostSem();
    return true;
}

void ThreadPoolPriv::SetMaxThreadCount(int count) {
    m_maxThreadCount.store(count);
    // A dispatcher waiting for a worker may now be allowed to create one.
    if (m_waitingForWorker.exchange(false)) m_workerSem.PostSem();
}

void ThreadPoolPriv::OnWorkerIdle() {
    if (m_waitingForWorker.exchange(false)) m_workerSem.PostSem();
}

std::size_t ThreadPoolPriv::WorkerCount() {
    return m_threads.size();
}

bool ThreadPoolPriv::IsWorkerIdle(std::size_t position) {
    return position < m_threads.size() && m_threads[position]->IsIdle();
}

std::size_t ThreadPoolPriv::QueuedTaskCount() {
    m_taskMutex.Lock();
    const std::size_t count = m_tasks.size();
    m_taskMutex.Unlock();
    return count;
}

unsigned int ThreadPoolPriv::RunOnce() {
    if (DispatchTask()) return 0;
    m_taskMutex.Lock();
    const bool empty = m_tasks.empty();
    if (empty) m_dispatcherAsleep = true;
    m_taskMutex.Unlock();
    if (empty && !IsExit()) m_queueSem.WaitSem();
    return 0;
}

bool ThreadPoolPriv::HandToIdleWorker(TaskObject* task) {
    // An empty queue and an idle dispatcher mean every task submitted
    // earlier already has its worker, so handing this one out now keeps the
    // submission order; and the dispatcher, which alone grows m_threads,
    // is not touching the list. Only existing workers are used: creating
    // one is left to the dispatcher, so that no caller pays for it.
    if (m_handingOut || !m_tasks.empty()) return false;
    for (ThreadItem* worker : m_threads) {
        if (worker->IsIdle()) {
            AssignTask(worker, task);
            return true;
        }
    }
    return false;
}

TaskObject* ThreadPoolPriv::PopTask() {
    TaskObject* task = nullptr;
    m_taskMutex.Lock();
    if (!m_tasks.empty()) {
        task = m_tasks.front();
        m_tasks.pop_front();
    }
    m_handingOut = task != nullptr;
    m_taskMutex.Unlock();
    return task;
}

bool ThreadPoolPriv::QueueEmpty() {
    m_taskMutex.Lock();
    const bool empty = m_tasks.empty();
    m_taskMutex.Unlock();
    return empty;
}

bool ThreadPoolPriv::DispatchTask() {
    TaskObject* task = PopTask();
    if (task == nullptr) return false;
    // The task stays out of the queue until a worker takes it; the exit
    // flag is not looked at meanwhile, so a stopping pool still hands it on.
    ThreadItem* worker = GetIdleThread();
    while (worker == nullptr) {
        WaitForWorker();
        worker = GetIdleThread();
    }
    AssignTask(worker, task);
    return true;
}

ThreadItem* ThreadPoolPriv::GetIdleThread() {
    for (ThreadItem* worker : m_threads) {
        if (worker->IsIdle()) return worker;
    }
    if (!MayCreateWorker()) return nullptr;

    auto* worker = new (std::nothrow) ThreadItem(this);
    if (worker == nullptr || !worker->IsCreated()) {
        // Never hand a task to a worker without a running thread.
        delete worker;
        m_workerStartFailed = true;
        return nullptr;
    }
    m_workerStartFailed = false;
    m_threads.push_back(worker);
    return worker;
}

bool ThreadPoolPriv::MayCreateWorker() {
    // Compared as unsigned 32-bit numbers: a negative limit is a huge one.
    const auto limit = static_cast<std::uint32_t>(m_maxThreadCount.load());
    return limit == 0 || static_cast<std::uint32_t>(m_threads.size()) < limit;
}

void ThreadPoolPriv::AssignTask(ThreadItem* worker, TaskObject* task) {
    if (worker != nullptr && task != nullptr) worker->SetTask(task);
}

void ThreadPoolPriv::WaitForWorker() {
    // Announce the wait, then look again: a worker that turned idle before
    // the announcement is seen here, one that turns idle after it posts.
    // (Both sides use sequentially consistent operations.)
    auto workerReady = [this] {
        if (MayCreateWorker()) return true;
        for (ThreadItem* worker : m_threads) {
            if (worker->IsIdle()) return true;
        }
        return false;
    };
    if (Internal::SpinUntil(workerReady)) return;
    m_waitingForWorker.store(true);
    if (!workerReady()) {
        if (m_workerStartFailed) {
            m_workerSem.TimeWaitSem(kWorkerRetryMs);
        } else {
            m_workerSem.WaitSem();
        }
    }
    m_waitingForWorker.store(false);
}

}  // namespace ThreadLib
