#pragma once

#include "../MivexExport.h"

namespace ThreadLib {

namespace Internal {
class NativeSemaphore;
}

// Semphore (spelled so) is a counting semaphore with a maximum count of
// 2147483647, process-local and unnamed.
//
// Contract:
//   - WaitSem() blocks without a limit until it takes one count; false only
//     when the wait itself failed.
//   - TimeWaitSem(ms) waits at most ms milliseconds, the argument taken as
//     an unsigned 32-bit count (-1 therefore means no limit, 0 never waits);
//     returns 1 when it took a count, 0 on time-out or failure.
//     TryWaitSem() is TimeWaitSem(0).
//   - PostSem() adds one count and wakes one waiter. It returns false, and
//     leaves the count unchanged, when the count is already 2147483647 or
//     the semaphore could not be created.
//   - GetValue() returns the real current count (a snapshot that other
//     threads may change at once), or -1 when there is no semaphore.
//   - If the platform semaphore cannot be created (also for a negative
//     initial count), every wait returns false/0, PostSem() returns false
//     and GetValue() -1.
//   - Timed waits measure a monotonic clock; setting the wall clock does not
//     change them.
//   - Any thread may call any member except the destructor at any time. The
//     object owns its platform semaphore and is not copied or assigned (a
//     copy would share it and close it twice).
class MIVEX_API Semphore {
public:
    Semphore();
    explicit Semphore(int initialCount);
    ~Semphore();

    Semphore(const Semphore&) = delete;
    Semphore& operator=(const Semphore&) = delete;

    bool WaitSem();
    int TimeWaitSem(int milliseconds);
    int TryWaitSem();
    bool PostSem();
    int GetValue();

private:
    Internal::NativeSemaphore* m_handle;
};

}  // namespace ThreadLib
