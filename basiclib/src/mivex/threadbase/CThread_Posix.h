#pragma once

#include "../MivexExport.h"
#include "CRepetition.h"
#include "ThreadMutex.h"

namespace ThreadLib {

// CThread_Posix is the POSIX platform layer of Thread: it runs the object's
// CRepetition loop (RunProc) in a thread of its own. Derive from Thread, or
// from CThread_Posix directly to get a self-deleting object.
//
//   class Ticker : public ThreadLib::Thread {
//   public:
//       ~Ticker() override { DestroyThread(); }   // before members go away
//   private:
//       unsigned int RunOnce() override { ...; return 0; }
//   };
//   Ticker t;
//   t.CreateThread(true, 0);
//
// Contract:
//   - CreateThread(resume, stackSize) starts a thread that waits at a start
//     gate until Resume(); with resume true it is resumed at once. stackSize
//     0 (or negative) means the default, a positive value below the minimum
//     is raised to it. The exit flag is cleared first. If the object has a
//     thread already, a checking build reports "!m_threadHandle" and the old
//     thread is stopped (as DestroyThread) before the new one starts.
//     False when no thread could be started.
//   - Resume() opens the start gate when its count reaches zero; true when a
//     thread exists. With no thread a checking build reports
//     "m_threadHandle != NULL" and it returns false. POSIX threads cannot be
//     suspended from outside: Suspend() raises the gate's count (returning
//     the previous one) only while the thread has not started its loop, and
//     returns 4294967295 once it runs or when there is no thread.
//   - DestroyThread() sets the exit flag and waits without limit for the
//     thread to end, then releases it; it always returns 1. It does not wake
//     a pass that blocks: the subclass must do that. A thread that was never
//     resumed is ended without running its loop. A self-deleting object is
//     not waited for, and neither is the calling thread itself (it would
//     wait for its own end).
//   - WaitExit(ms) is true when the thread's loop, including the closing
//     steps, has ended within ms milliseconds (4294967295: no limit); false
//     at once when there is no thread.
//   - A subclass calls DestroyThread() in its own destructor: the loop calls
//     the subclass's RunOnce() until it sees the flag.
//   - CreateThread/DestroyThread are serialised on one object; Resume,
//     Suspend, IsCreated and WaitExit must not overlap them. A pass must not
//     call CreateThread on its own object.
//   - Self-deleting objects (autoDelete true) are created with new; once
//     resumed they belong to their thread, which calls OnAutoDeleteObj()
//     and deletes the object after Exit().
//   - Thread objects are not copied or assigned.
class MIVEX_API CThread_Posix : protected CRepetition {
public:
    explicit CThread_Posix(bool autoDelete = false);
    virtual ~CThread_Posix();

    CThread_Posix(const CThread_Posix&) = delete;
    CThread_Posix& operator=(const CThread_Posix&) = delete;

    bool CreateThread(bool resume, int stackSize);
    bool IsCreated();
    bool Resume();
    unsigned int Suspend();
    unsigned int DestroyThread();
    bool WaitExit(unsigned int milliseconds);

protected:
    bool WaitForExit(void* handle, unsigned int milliseconds);
    virtual void OnAutoDeleteObj();

private:
    static unsigned int ThreadProc(void* param);

    ThreadMutex m_mutex;
    void* m_threadHandle;
    unsigned int m_threadId;
    bool m_autoDelete;
};

}  // namespace ThreadLib
