#pragma once

#include <pthread.h>

#include "../MivexExport.h"

namespace ThreadLib {

// ThreadMutex_Posix is the POSIX platform layer of ThreadMutex: a recursive,
// process-local lock (a PTHREAD_MUTEX_RECURSIVE mutex). Use ThreadMutex, the
// portable name, in code that is not platform code.
//
// Contract:
//   - Lock() blocks without a time limit until the calling thread owns the
//     mutex and returns true; it never returns false. The owner may lock
//     again at once; each Lock() needs its own Unlock().
//   - TryLock() is the same call as Lock(): it blocks too. It is kept with
//     this meaning because callers of the library rely on it.
//   - Unlock() gives up one level. Only the owner may unlock, and a mutex is
//     free when it is destroyed; the library does not detect either misuse.
//   - Copying gives a new, free, independent mutex; nothing is taken from
//     the source, even when it is held. Assignment is not offered.
//   - An uncontended Lock()/Unlock() pair enters the kernel not at all.
//   - Waiters are not served in any particular order.
class MIVEX_API ThreadMutex_Posix {
public:
    ThreadMutex_Posix();
    ThreadMutex_Posix(const ThreadMutex_Posix& other);
    virtual ~ThreadMutex_Posix();

    bool Lock();
    bool TryLock();
    void Unlock();

private:
    ThreadMutex_Posix& operator=(const ThreadMutex_Posix& other);

    pthread_mutex_t m_section;
};

}  // namespace ThreadLib
