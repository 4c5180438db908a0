#include "ThreadItem.h"

#include "SpinWait.h"
#include "ThreadPoolPriv.h"

namespace ThreadLib {

ThreadItem::ThreadItem(ThreadPoolPriv* pool) : m_pool(pool) {
    CreateThread(true, 0);
}

ThreadItem::~ThreadItem() {
    DestroyThread();
}

void ThreadItem::SetTask(TaskObject* task) {
    m_task.store(task);
    m_wakeSem.PostSem();
}

bool ThreadItem::IsIdle() {
    return m_task.load() == nullptr;
}

// The exit flag is set by the worker itself, after the stop request has
// reached it through the semaphore: setting it from here could stop a
// worker that was just given a task before its first pass, and the task
// would never run nor post its finish.
void ThreadItem::StopThread() {
    m_stopRequested.store(true);
    m_wakeSem.PostSem();
    WaitExit(0xFFFFFFFFu);
    DestroyThread();
}

unsigned int ThreadItem::RunOnce() {
    if (!Internal::SpinThenWait(m_wakeSem)) return 0;
    TaskObject* task = m_task.load();
    if (task == nullptr) {
        if (m_stopRequested.load()) SetExit(true);
        return 0;
    }
    if (task->OnBeginTask()) {
        task->OnRunTask();
        task->OnTaskFinish();
    }
    task->PostTaskFinish();
    m_task.store(nullptr);
    m_pool->OnWorkerIdle();
    return 0;
}

}  // namespace ThreadLib
