#pragma once

#include <atomic>

#include "../MivexExport.h"

namespace ThreadLib {

namespace Internal {
class NativeCondition;
class NativeGate;
}  // namespace Internal

// ReadWriteMutex lets any number of threads hold it for reading, or one
// thread hold it for writing. Every locker passes a gate one at a time and
// waits for the lock while it holds the gate, so readers that arrive after a
// waiting writer do not get in before it: a stream of readers cannot starve
// a writer.
//
// Contract:
//   - LockRead()/LockWrite() block without limit until the hold is taken and
//     return true; false only when a platform wait failed (nothing is held).
//   - TryLockWrite() is a real non-blocking attempt: it takes the write hold
//     and returns true only when the lock is free and no other locker is at
//     the gate; otherwise it returns false at once and holds nothing.
//   - Unlock() gives back one read hold or the write hold, whoever took it
//     (the lock has no owner); on a free lock it does nothing.
//   - Not recursive: a thread holding the write lock that locks again waits
//     for ever, and so does a reader that locks again while a writer waits.
//     Call Unlock() exactly once per successful lock.
//   - A copy is a new, free lock; nothing is taken from the source.
//     Assignment is not offered.
//   - Waiters at the gate are served in no particular order.
//   - An uncontended LockRead()/Unlock() pair costs the gate's lock and
//     unlock plus one atomic change each way; no other lock is taken.
class MIVEX_API ReadWriteMutex {
public:
    ReadWriteMutex();
    ReadWriteMutex(const ReadWriteMutex& other);
    ~ReadWriteMutex();

    bool LockRead();
    bool LockWrite();
    bool TryLockWrite();
    void Unlock();

private:
    ReadWriteMutex& operator=(const ReadWriteMutex& other);

    // type 1 read, 2 write; milliseconds limits each of the two waits (at
    // the gate, then for the lock to become free), taken as unsigned with
    // -1 for no limit. True when the hold was taken.
    bool lock(int type, int milliseconds);
    bool unlock();

    // The holds in one word, so that a reader needs no lock besides the
    // gate: 0 free, n > 0 held for reading n times, -1 held for writing.
    // Only the gate holder makes it busier; Unlock only makes it freer.
    std::atomic<int> m_holds;
    // Where the gate holder waits for the lock to become free.
    Internal::NativeCondition* m_freed;
    Internal::NativeGate* m_gateMutex;
};

}  // namespace ThreadLib
