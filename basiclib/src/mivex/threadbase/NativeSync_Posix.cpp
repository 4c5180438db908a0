#include "NativeSync.h"

#include <cerrno>
#include <ctime>

// glibc's sem_clockwait and pthread_mutex_clocklock measure CLOCK_MONOTONIC,
// but ThreadSanitizer does not intercept them and would then miss the
// synchronisation they carry. Under it, timed waits fall back to the
// wall-clock variants, re-armed until the monotonic deadline has passed.
#if defined(__SANITIZE_THREAD__)
#define MIVEX_WALLCLOCK_WAITS 1
#else
#define MIVEX_WALLCLOCK_WAITS 0
#endif

namespace ThreadLib::Internal {
namespace {

constexpr long kNanosPerSecond = 1000000000L;

struct timespec Now(clockid_t clock) {
    struct timespec ts;
    clock_gettime(clock, &ts);
    return ts;
}

#if MIVEX_WALLCLOCK_WAITS
bool Passed(const struct timespec& deadline) {
    struct timespec now = Now(CLOCK_MONOTONIC);
    return now.tv_sec > deadline.tv_sec ||
           (now.tv_sec == deadline.tv_sec && now.tv_nsec >= deadline.tv_nsec);
}

// The wall-clock moment that lies as far ahead as the monotonic deadline.
struct timespec ToRealtime(const struct timespec& deadline) {
    struct timespec now = Now(CLOCK_MONOTONIC);
    long long left = (static_cast<long long>(deadline.tv_sec) - now.tv_sec) * kNanosPerSecond +
                     (deadline.tv_nsec - now.tv_nsec);
    if (left < 0) left = 0;
    struct timespec rt = Now(CLOCK_REALTIME);
    long long ns = rt.tv_nsec + left % kNanosPerSecond;
    rt.tv_sec += static_cast<time_t>(left / kNanosPerSecond + ns / kNanosPerSecond);
    rt.tv_nsec = static_cast<long>(ns % kNanosPerSecond);
    return rt;
}
#endif

}  // namespace

struct timespec MonotonicDeadline(std::uint32_t milliseconds) {
    struct timespec ts = Now(CLOCK_MONOTONIC);
    long long ns = ts.tv_nsec + static_cast<long long>(milliseconds % 1000) * 1000000LL;
    ts.tv_sec += static_cast<time_t>(milliseconds / 1000 + ns / kNanosPerSecond);
    ts.tv_nsec = static_cast<long>(ns % kNanosPerSecond);
    return ts;
}

bool InitMonotonicCond(pthread_cond_t* cond) {
    pthread_condattr_t attr;
    if (pthread_condattr_init(&attr) != 0) return false;
    bool ok = pthread_condattr_setclock(&attr, CLOCK_MONOTONIC) == 0 &&
              pthread_cond_init(cond, &attr) == 0;
    pthread_condattr_destroy(&attr);
    return ok;
}

bool CondWaitUntil(pthread_cond_t* cond, pthread_mutex_t* mutex, const struct timespec& deadline) {
    return pthread_cond_timedwait(cond, mutex, &deadline) != ETIMEDOUT;
}

// ---- NativeSemaphore

NativeSemaphore::NativeSemaphore(int initialCount) {
    m_valid = initialCount >= 0 && sem_init(&m_sem, 0, static_cast<unsigned>(initialCount)) == 0;
}

NativeSemaphore::~NativeSemaphore() {
    if (m_valid) sem_destroy(&m_sem);
}

bool NativeSemaphore::Wait(std::uint32_t milliseconds) {
    if (milliseconds == 0) {
        while (sem_trywait(&m_sem) != 0) {
            if (errno != EINTR) return false;
        }
        return true;
    }
    if (milliseconds == kInfinite) {
        while (sem_wait(&m_sem) != 0) {
            if (errno != EINTR) return false;
        }
        return true;
    }
    const struct timespec deadline = MonotonicDeadline(milliseconds);
    for (;;) {
#if MIVEX_WALLCLOCK_WAITS
        const struct timespec rt = ToRealtime(deadline);
        if (sem_timedwait(&m_sem, &rt) == 0) return true;
        if (errno == ETIMEDOUT && Passed(deadline)) return false;
#else
        if (sem_clockwait(&m_sem, CLOCK_MONOTONIC, &deadline) == 0) return true;
        if (errno == ETIMEDOUT) return false;
#endif
        if (errno != EINTR && errno != ETIMEDOUT) return false;
    }
}

bool NativeSemaphore::Post() {
    // sem_post refuses with EOVERFLOW at SEM_VALUE_MAX and leaves the count.
    return sem_post(&m_sem) == 0;
}

int NativeSemaphore::Value() {
    int value = -1;
    if (sem_getvalue(&m_sem, &value) != 0) return -1;
    return value < 0 ? 0 : value;
}

// ---- NativeGate

NativeGate::NativeGate() {
    m_valid = pthread_mutex_init(&m_mutex, nullptr) == 0;
}

NativeGate::~NativeGate() {
    if (m_valid) pthread_mutex_destroy(&m_mutex);
}

bool NativeGate::Lock(std::uint32_t milliseconds) {
    if (milliseconds == kInfinite) return pthread_mutex_lock(&m_mutex) == 0;
    if (milliseconds == 0) return pthread_mutex_trylock(&m_mutex) == 0;
    const struct timespec deadline = MonotonicDeadline(milliseconds);
    for (;;) {
#if MIVEX_WALLCLOCK_WAITS
        const struct timespec rt = ToRealtime(deadline);
        int rc = pthread_mutex_timedlock(&m_mutex, &rt);
        if (rc == 0) return true;
        if (rc != ETIMEDOUT || Passed(deadline)) return false;
#else
        int rc = pthread_mutex_clocklock(&m_mutex, CLOCK_MONOTONIC, &deadline);
        if (rc == 0) return true;
        if (rc != EINTR) return false;
#endif
    }
}

void NativeGate::Unlock() {
    pthread_mutex_unlock(&m_mutex);
}

// ---- NativeCondition

NativeCondition::NativeCondition() {
    if (pthread_mutex_init(&m_mutex, nullptr) != 0) return;
    if (!InitMonotonicCond(&m_cond)) {
        pthread_mutex_destroy(&m_mutex);
        return;
    }
    m_valid = true;
}

NativeCondition::~NativeCondition() {
    if (!m_valid) return;
    pthread_cond_destroy(&m_cond);
    pthread_mutex_destroy(&m_mutex);
}

void NativeCondition::NotifyAll() {
    if (m_waiters.load() == 0) return;
    // A waiter that counted itself holds the mutex until it sleeps.
    pthread_mutex_lock(&m_mutex);
    pthread_cond_broadcast(&m_cond);
    pthread_mutex_unlock(&m_mutex);
}

void NativeCondition::NotifyOne() {
    if (m_waiters.load() == 0) return;
    pthread_mutex_lock(&m_mutex);
    pthread_cond_signal(&m_cond);
    pthread_mutex_unlock(&m_mutex);
}

// ---- NativeEvent

NativeEvent::NativeEvent(bool manualReset, bool initialState)
    : m_signalled(initialState), m_manualReset(manualReset) {}

bool NativeEvent::TakeSignal() {
    if (m_manualReset) return m_signalled.load();
    bool expected = true;
    return m_signalled.compare_exchange_strong(expected, false);
}

bool NativeEvent::Wait(std::uint32_t milliseconds) {
    return m_condition.WaitUntil([this] { return TakeSignal(); }, milliseconds);
}

void NativeEvent::Set() {
    m_signalled.store(true);
    if (m_manualReset) {
        m_condition.NotifyAll();
    } else {
        m_condition.NotifyOne();
    }
}

void NativeEvent::Reset() {
    if (m_signalled.load(std::memory_order_relaxed)) m_signalled.store(false);
}

}  // namespace ThreadLib::Internal
