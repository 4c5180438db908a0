#pragma once

#include "../MivexExport.h"
#include "TaskObject.h"

namespace ThreadLib {

class ThreadPoolPriv;

// ThreadPool runs TaskObjects on worker threads that it creates on demand
// and keeps for reuse until it is destroyed.
//
//   ThreadLib::ThreadPool pool;
//   MyTask task;
//   pool.RunTask(&task);
//   task.WaitTaskFinish(-1);
//
// Contract:
//   - RunTask() never waits for the task. Tasks are handed out in
//     submission order, each to the idle worker created first; a new worker
//     is created only when none is idle and fewer than the limit exist, and
//     only by the pool's one dispatcher thread.
//   - Who hands a task out: when nothing is queued, the dispatcher holds no
//     task it has taken but not yet handed out, and a worker is idle,
//     RunTask() gives the task to the lowest idle worker itself, under the
//     queue's lock, so that an idle pool costs one wake-up (the worker's)
//     instead of two. Otherwise it queues the task and the dispatcher hands
//     it out. Every hand-out, by either side, happens under that lock or
//     while the dispatcher holds a task, which RunTask() then respects by
//     queueing; so hand-outs never overlap and never overtake a queued task.
//     A worker that is just turning idle may be missed; the task is then
//     queued and the dispatcher hands it out once a worker is free. From the
//     start of destruction RunTask() hands out nothing.
//   - The dispatcher sleeps while there is nothing to do and wakes at once
//     when a task is queued, a worker turns idle, the limit changes or the
//     pool stops; it does not poll.
//   - RunTask() returns false while the pool is being destroyed (also to a
//     task that runs in it), and when the dispatcher thread could not be
//     started; true otherwise. A null task is accepted and dropped at once.
//   - SetMaxThreadCount(n): the limit on workers (200 at construction),
//     compared as an unsigned number, so 0 and negative values set no
//     practical limit. It applies from the next search for a worker and
//     stops no existing worker.
//   - A worker posts a task's finish before it turns idle again, so a task
//     submitted right after WaitTaskFinish() may go to another worker.
//   - The destructor stops taking tasks, runs every task still queued to
//     completion, and returns when every worker has ended. It must not run
//     in a worker or a task of this pool, nor overlap RunTask() calls from
//     outside the pool.
//   - RunTask() and SetMaxThreadCount() may be called from any thread.
//   - The pool is not copied or assigned.
class MIVEX_API ThreadPool {
public:
    ThreadPool();
    virtual ~ThreadPool();

    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    bool RunTask(TaskObject* task);
    void SetMaxThreadCount(int count);

private:
    ThreadPoolPriv* m_priv;
};

}  // namespace ThreadLib
