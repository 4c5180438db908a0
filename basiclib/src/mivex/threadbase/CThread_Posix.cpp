#include "CThread_Posix.h"

#include <limits.h>
#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <new>

#include "Check.h"
#include "NativeSync.h"

namespace ThreadLib {

namespace {

constexpr unsigned int kNoCount = 0xFFFFFFFFu;

// What m_threadHandle points to. It is shared by the object and by the
// thread itself (a self-deleting object goes away while its thread still
// finishes), hence the reference count.
struct ThreadHandle {
    std::atomic<int> refs{2};
    pthread_t thread{};
    CThread_Posix* object = nullptr;
    pthread_mutex_t mutex;
    pthread_cond_t cond;
    // Guarded by mutex.
    unsigned int gateCount = 1;  // the start gate opens when this reaches 0
    bool cancelled = false;      // ended before its loop ever started
    bool ended = false;

    ThreadHandle() {
        pthread_mutex_init(&mutex, nullptr);
        Internal::InitMonotonicCond(&cond);
    }
    ~ThreadHandle() {
        pthread_cond_destroy(&cond);
        pthread_mutex_destroy(&mutex);
    }
    void Release() {
        if (refs.fetch_sub(1) == 1) delete this;
    }
};

}  // namespace

CThread_Posix::CThread_Posix(bool autoDelete)
    : m_threadHandle(nullptr), m_threadId(0), m_autoDelete(autoDelete) {}

CThread_Posix::~CThread_Posix() {
    DestroyThread();
}

bool CThread_Posix::CreateThread(bool resume, int stackSize) {
    MIVEX_CHECK(m_threadHandle == nullptr, "!m_threadHandle");
    if (m_threadHandle != nullptr) DestroyThread();
    SetExit(false);

    // The entry lives here so that it may call the private ThreadProc.
    void* (*entry)(void*) = [](void* param) -> void* {
        auto* handle = static_cast<ThreadHandle*>(param);
        pthread_mutex_lock(&handle->mutex);
        while (handle->gateCount > 0 && !handle->cancelled) {
            pthread_cond_wait(&handle->cond, &handle->mutex);
        }
        const bool run = !handle->cancelled;
        pthread_mutex_unlock(&handle->mutex);

        if (run) ThreadProc(handle->object);  // the object may be gone after this

        pthread_mutex_lock(&handle->mutex);
        handle->ended = true;
        pthread_cond_broadcast(&handle->cond);
        pthread_mutex_unlock(&handle->mutex);
        handle->Release();
        return nullptr;
    };

    m_mutex.Lock();
    auto* handle = new (std::nothrow) ThreadHandle;
    bool created = false;
    if (handle != nullptr) {
        handle->object = this;
        pthread_attr_t attr;
        if (pthread_attr_init(&attr) == 0) {
            if (stackSize > 0) {
                size_t size = static_cast<size_t>(stackSize);
                if (size < static_cast<size_t>(PTHREAD_STACK_MIN)) size = PTHREAD_STACK_MIN;
                pthread_attr_setstacksize(&attr, size);
            }
            created = pthread_create(&handle->thread, &attr, entry, handle) == 0;
            pthread_attr_destroy(&attr);
        }
        if (created) {
            m_threadHandle = handle;
            m_threadId = static_cast<unsigned int>(static_cast<std::uintptr_t>(handle->thread));
        } else {
            delete handle;
        }
    }
    m_mutex.Unlock();

    if (!created) return false;
    return resume ? Resume() : true;
}

bool CThread_Posix::IsCreated() {
    return m_threadHandle != nullptr;
}

bool CThread_Posix::Resume() {
    MIVEX_CHECK(m_threadHandle != nullptr, "m_threadHandle != NULL");
    auto* handle = static_cast<ThreadHandle*>(m_threadHandle);
    if (handle == nullptr) return false;
    pthread_mutex_lock(&handle->mutex);
    if (handle->gateCount > 0 && --handle->gateCount == 0) {
        pthread_cond_broadcast(&handle->cond);
    }
    pthread_mutex_unlock(&handle->mutex);
    return true;
}

unsigned int CThread_Posix::Suspend() {
    auto* handle = static_cast<ThreadHandle*>(m_threadHandle);
    if (handle == nullptr) return kNoCount;
    pthread_mutex_lock(&handle->mutex);
    unsigned int previous = kNoCount;
    if (handle->gateCount > 0 && !handle->cancelled) previous = handle->gateCount++;
    pthread_mutex_unlock(&handle->mutex);
    return previous;
}

unsigned int CThread_Posix::DestroyThread() {
    SetExit(true);
    m_mutex.Lock();
    auto* handle = static_cast<ThreadHandle*>(m_threadHandle);
    if (handle != nullptr) {
        // A thread still at its start gate would never end: let it go
        // without running the loop.
        pthread_mutex_lock(&handle->mutex);
        if (handle->gateCount > 0) {
            handle->cancelled = true;
            pthread_cond_broadcast(&handle->cond);
        }
        pthread_mutex_unlock(&handle->mutex);

        if (m_autoDelete || pthread_equal(handle->thread, pthread_self())) {
            pthread_detach(handle->thread);
        } else {
            pthread_join(handle->thread, nullptr);
        }
        m_threadHandle = nullptr;
        handle->Release();
    }
    m_mutex.Unlock();
    return 1;
}

bool CThread_Posix::WaitExit(unsigned int milliseconds) {
    return WaitForExit(m_threadHandle, milliseconds);
}

bool CThread_Posix::WaitForExit(void* handlePtr, unsigned int milliseconds) {
    auto* handle = static_cast<ThreadHandle*>(handlePtr);
    if (handle == nullptr) return false;
    const struct timespec deadline = Internal::MonotonicDeadline(milliseconds == Internal::kInfinite ? 0 : milliseconds);
    pthread_mutex_lock(&handle->mutex);
    while (!handle->ended && milliseconds != 0) {
        if (milliseconds == Internal::kInfinite) {
            pthread_cond_wait(&handle->cond, &handle->mutex);
        } else if (!Internal::CondWaitUntil(&handle->cond, &handle->mutex, deadline)) {
            break;
        }
    }
    const bool ended = handle->ended;
    pthread_mutex_unlock(&handle->mutex);
    return ended;
}

void CThread_Posix::OnAutoDeleteObj() {}

unsigned int CThread_Posix::ThreadProc(void* param) {
    if (param == nullptr) return 0;
    auto* self = static_cast<CThread_Posix*>(param);
    const unsigned int code = self->RunProc();
    if (self->m_autoDelete) {
        self->OnAutoDeleteObj();
        delete self;
    }
    return code;
}

}  // namespace ThreadLib
