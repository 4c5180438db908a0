#include "ReadWriteMutex.h"

#include <cstdint>
#include <new>

#include "NativeSync.h"

namespace ThreadLib {

namespace {

template <typename T, typename... Args>
T* CreateNative(Args... args) {
    T* object = new (std::nothrow) T(args...);
    if (object != nullptr && !object->Valid()) {
        delete object;
        object = nullptr;
    }
    return object;
}

constexpr int kFree = 0;
constexpr int kRead = 1;
constexpr int kWrite = 2;

}  // namespace

ReadWriteMutex::ReadWriteMutex()
    : m_lockType(kFree),
      m_readCount(0),
      m_freeEvent(CreateNative<Internal::NativeEvent>(true, false)),
      m_gateMutex(CreateNative<Internal::NativeGate>()),
      m_section(CreateNative<Internal::NativeSection>()) {}

ReadWriteMutex::ReadWriteMutex(const ReadWriteMutex&) : ReadWriteMutex() {}

ReadWriteMutex::~ReadWriteMutex() {
    delete m_freeEvent;
    delete m_gateMutex;
    delete m_section;
}

ReadWriteMutex& ReadWriteMutex::operator=(const ReadWriteMutex&) {
    return *this;
}

bool ReadWriteMutex::LockRead() {
    return lock(kRead, -1);
}

bool ReadWriteMutex::LockWrite() {
    return lock(kWrite, -1);
}

bool ReadWriteMutex::TryLockWrite() {
    return lock(kWrite, 0);
}

void ReadWriteMutex::Unlock() {
    unlock();
}

bool ReadWriteMutex::lock(int type, int milliseconds) {
    if (m_gateMutex == nullptr || m_section == nullptr) return false;
    const auto limit = static_cast<std::uint32_t>(milliseconds);
    if (!m_gateMutex->Lock(limit)) return false;

    // While the gate is held only unlock() can change the type, and only
    // from held to free.
    const int current = m_lockType.load();
    const bool mustWait = type == kRead ? current == kWrite : current != kFree;
    bool taken = true;
    if (mustWait) taken = m_freeEvent != nullptr && m_freeEvent->Wait(limit);
    if (taken) {
        m_section->Enter();
        m_lockType.store(type);
        if (type == kRead) ++m_readCount;
        if (m_freeEvent != nullptr) m_freeEvent->Reset();
        m_section->Leave();
    }
    m_gateMutex->Unlock();
    return taken;
}

bool ReadWriteMutex::unlock() {
    if (m_section == nullptr) return true;
    m_section->Enter();
    const int current = m_lockType.load();
    bool freed = false;
    if (current == kRead) {
        freed = --m_readCount == 0;
    } else if (current == kWrite) {
        freed = true;
    }
    if (freed) {
        m_lockType.store(kFree);
        if (m_freeEvent != nullptr) m_freeEvent->Set();
    }
    m_section->Leave();
    return true;
}

}  // namespace ThreadLib
