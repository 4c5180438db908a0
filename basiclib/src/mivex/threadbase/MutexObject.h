#pragma once

#include "../MivexExport.h"
#include "ThreadMutex.h"

namespace ThreadLib {

// MutexObject holds a ThreadMutex for exactly its own lifetime:
//
//   {
//       MutexObject guard(m_mutex);   // returns once the lock is held
//       ...
//   }                                 // one level given back here
//
// The constructor blocks until the lock is held (also when the calling
// thread owns it already: the mutex is recursive). The destructor gives back
// only the level this guard took. The mutex must outlive the guard. A guard
// cannot release early and is neither copied nor assigned: a copy would
// release the lock twice.
class MIVEX_API MutexObject {
public:
    explicit MutexObject(ThreadMutex& mutex);
    ~MutexObject();

    MutexObject(const MutexObject&) = delete;
    MutexObject& operator=(const MutexObject&) = delete;

private:
    ThreadMutex& m_mutex;
    bool m_locked;
};

}  // namespace ThreadLib
