#pragma once

#include "../MivexExport.h"
#include "ThreadMutex_Posix.h"

namespace ThreadLib {

// ThreadMutex is the library's recursive, process-local lock; it adds nothing
// to its platform layer (ThreadMutex_Posix here), whose contract it keeps:
// Lock() and TryLock() both block until owned and return true, Unlock()
// gives up one level, a copy is a new free mutex, assignment is not offered.
class MIVEX_API ThreadMutex : public ThreadMutex_Posix {
public:
    ThreadMutex();
    ThreadMutex(const ThreadMutex& other);
    virtual ~ThreadMutex();

private:
    ThreadMutex& operator=(const ThreadMutex& other);
};

}  // namespace ThreadLib
