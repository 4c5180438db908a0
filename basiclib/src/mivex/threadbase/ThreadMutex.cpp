#include "ThreadMutex.h"

namespace ThreadLib {

ThreadMutex::ThreadMutex() = default;

// Deliberately the base's copy: a new, free mutex.
ThreadMutex::ThreadMutex(const ThreadMutex& other) : ThreadMutex_Posix(other) {}

ThreadMutex::~ThreadMutex() = default;

ThreadMutex& ThreadMutex::operator=(const ThreadMutex&) {
    return *this;
}

}  // namespace ThreadLib
