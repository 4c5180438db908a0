#include "ThreadMutex_Posix.h"

namespace ThreadLib {

ThreadMutex_Posix::ThreadMutex_Posix() {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&m_section, &attr);
    pthread_mutexattr_destroy(&attr);
}

ThreadMutex_Posix::ThreadMutex_Posix(const ThreadMutex_Posix&) : ThreadMutex_Posix() {}

ThreadMutex_Posix::~ThreadMutex_Posix() {
    pthread_mutex_destroy(&m_section);
}

ThreadMutex_Posix& ThreadMutex_Posix::operator=(const ThreadMutex_Posix&) {
    return *this;
}

bool ThreadMutex_Posix::Lock() {
    pthread_mutex_lock(&m_section);
    return true;
}

bool ThreadMutex_Posix::TryLock() {
    return Lock();
}

void ThreadMutex_Posix::Unlock() {
    pthread_mutex_unlock(&m_section);
}

}  // namespace ThreadLib
