#include "MutexObject.h"

namespace ThreadLib {

MutexObject::MutexObject(ThreadMutex& mutex) : m_mutex(mutex), m_locked(m_mutex.Lock()) {}

MutexObject::~MutexObject() {
    if (m_locked) m_mutex.Unlock();
}

}  // namespace ThreadLib
