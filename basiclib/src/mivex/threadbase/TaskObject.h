#pragma once

#include "../MivexExport.h"

namespace ThreadLib {

class TaskObjectPriv;
class ThreadItem;

// TaskObject is a unit of work for ThreadPool. Derive from it and supply
// OnRunTask(); OnBeginTask() may refuse the run (OnRunTask and OnTaskFinish
// are then skipped) and OnTaskFinish() runs after the work.
//
// Contract:
//   - Every run of a task posts one finish, whatever OnBeginTask() said.
//     WaitTaskFinish(ms) takes one finish: with -1 it waits without limit
//     and returns 1 (or -1 when the wait failed); with any other value it
//     waits at most ms milliseconds, the value taken as an unsigned 32-bit
//     count, and returns 1 when a finish was taken, 0 otherwise.
//   - After the finish is posted the pool no longer touches the task: the
//     owner may delete it as soon as WaitTaskFinish() has returned 1.
//   - The pool never owns, copies or deletes a task. The owner keeps it
//     alive until it has finished or the pool is gone. A task may be
//     submitted again; every run posts its own finish.
//   - Not copied or assigned: a copy would share the private part.
class MIVEX_API TaskObject {
public:
    TaskObject();
    virtual ~TaskObject();

    TaskObject(const TaskObject&) = delete;
    TaskObject& operator=(const TaskObject&) = delete;

    // The hooks are declared in their virtual-table order, hence the
    // alternating access sections.
protected:
    virtual bool OnBeginTask();

public:
    virtual void OnRunTask() = 0;

protected:
    virtual void OnTaskFinish();

public:
    int WaitTaskFinish(int milliseconds);

private:
    friend class ThreadItem;
    void PostTaskFinish();

    TaskObjectPriv* m_priv;
};

}  // namespace ThreadLib
