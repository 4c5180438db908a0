#pragma once

// Internal to the library: POSIX versions of the waitable primitives.
// Every timed wait is measured on CLOCK_MONOTONIC, so that setting the wall
// clock neither cuts a wait short nor stretches it. Interrupted waits
// (EINTR) are resumed with the remaining time.
//
// A constructor that cannot create its platform object leaves Valid() false;
// the owner then deletes the object and behaves as "no handle".
#include <pthread.h>
#include <semaphore.h>

#include <atomic>
#include <cstdint>

namespace ThreadLib::Internal {

// Helpers shared with the thread layer.
// The CLOCK_MONOTONIC moment a number of milliseconds from now.
struct timespec MonotonicDeadline(std::uint32_t milliseconds);
// Condition variables made by this call measure CLOCK_MONOTONIC.
bool InitMonotonicCond(pthread_cond_t* cond);
// Waits on cond until the deadline; false on time-out.
bool CondWaitUntil(pthread_cond_t* cond, pthread_mutex_t* mutex, const struct timespec& deadline);


// A counting semaphore whose maximum is 2147483647 (SEM_VALUE_MAX on Linux).
class NativeSemaphore {
public:
    explicit NativeSemaphore(int initialCount);
    ~NativeSemaphore();
    NativeSemaphore(const NativeSemaphore&) = delete;
    NativeSemaphore& operator=(const NativeSemaphore&) = delete;

    bool Valid() const { return m_valid; }
    // True when a count was taken within the limit.
    bool Wait(std::uint32_t milliseconds);
    // False when the count is already at its maximum (it stays unchanged).
    bool Post();
    // The current count (never negative on Linux), or -1 on failure.
    int Value();

private:
    sem_t m_sem;
    bool m_valid = false;
};

// Lets threads wait until a condition on state kept elsewhere (in atomics)
// holds. The state's writer changes it with a sequentially consistent
// operation and then calls NotifyAll(), which costs one atomic load when
// nobody waits: a waiter counts itself before it looks at the state, so
// one of the two always sees the other.
class NativeCondition {
public:
    NativeCondition();
    ~NativeCondition();
    NativeCondition(const NativeCondition&) = delete;
    NativeCondition& operator=(const NativeCondition&) = delete;

    bool Valid() const { return m_valid; }

    // True when ready() held within the limit (looked at once more when
    // the time is up).
    template <typename Ready>
    bool WaitUntil(Ready ready, std::uint32_t milliseconds) {
        if (ready()) return true;
        if (milliseconds == 0) return false;
        const struct timespec deadline = MonotonicDeadline(milliseconds == kInfinite ? 0 : milliseconds);
        pthread_mutex_lock(&m_mutex);
        m_waiters.fetch_add(1);
        bool held = false;
        for (;;) {
            if (ready()) {
                held = true;
                break;
            }
            if (milliseconds == kInfinite) {
                pthread_cond_wait(&m_cond, &m_mutex);
            } else if (!CondWaitUntil(&m_cond, &m_mutex, deadline)) {
                held = ready();
                break;
            }
        }
        m_waiters.fetch_sub(1);
        pthread_mutex_unlock(&m_mutex);
        return held;
    }

    // Wake every waiter / one waiter.
    void NotifyAll();
    void NotifyOne();

private:
    pthread_mutex_t m_mutex;
    pthread_cond_t m_cond;
    std::atomic<int> m_waiters{0};
    bool m_valid = false;
};

// A manual-reset or auto-reset event. Setting an event nobody waits on and
// resetting an event that is not signalled take no lock.
class NativeEvent {
public:
    NativeEvent(bool manualReset, bool initialState);
    NativeEvent(const NativeEvent&) = delete;
    NativeEvent& operator=(const NativeEvent&) = delete;

    bool Valid() const { return m_condition.Valid(); }
    // True when the event was signalled within the limit; an auto-reset
    // event is then no longer signalled.
    bool Wait(std::uint32_t milliseconds);
    void Set();
    void Reset();

private:
    // Takes the signal (an auto-reset event loses it); true when there was one.
    bool TakeSignal();

    std::atomic<bool> m_signalled;
    const bool m_manualReset;
    NativeCondition m_condition;
};

// A non-recursive lock whose acquisition can be limited in time.
class NativeGate {
public:
    NativeGate();
    ~NativeGate();
    NativeGate(const NativeGate&) = delete;
    NativeGate& operator=(const NativeGate&) = delete;

    bool Valid() const { return m_valid; }
    // True when the calling thread owns the gate.
    bool Lock(std::uint32_t milliseconds);
    void Unlock();

private:
    pthread_mutex_t m_mutex;
    bool m_valid = false;
};

}  // namespace ThreadLib::Internal
