#include "ReadWriteMutex.h"

#include <cstdint>

#include "NativeSync.h"

namespace ThreadLib {

namespace {

constexpr int kRead = 1;
constexpr int kWriteHeld = -1;

}  // namespace

ReadWriteMutex::ReadWriteMutex()
    : m_holds(0),
      m_freed(Internal::MakeNative<Internal::NativeCondition>()),
      m_gateMutex(Internal::MakeNative<Internal::NativeGate>()) {}

ReadWriteMutex::ReadWriteMutex(const ReadWriteMutex&) : ReadWriteMutex() {}

ReadWriteMutex::~ReadWriteMutex() {
    delete m_freed;
    delete m_gateMutex;
}

ReadWriteMutex& ReadWriteMutex::operator=(const ReadWriteMutex&) {
    return *this;
}

bool ReadWriteMutex::LockRead() {
    return lock(kRead, -1);
}

bool ReadWriteMutex::LockWrite() {
    return lock(2, -1);
}

bool ReadWriteMutex::TryLockWrite() {
    return lock(2, 0);
}

void ReadWriteMutex::Unlock() {
    unlock();
}

bool ReadWriteMutex::lock(int type, int milliseconds) {
    if (m_gateMutex == nullptr) return false;
    const auto limit = static_cast<std::uint32_t>(milliseconds);
    if (!m_gateMutex->Lock(limit)) return false;

    // With the gate held nobody else can make the lock busier, so once the
    // wanted state is seen it stays until the change below; the loops only
    // retry when an Unlock changed the count in between.
    const bool reading = type == kRead;
    auto canTake = [this, reading] {
        const int holds = m_holds.load();
        return reading ? holds != kWriteHeld : holds == 0;
    };
    bool taken = false;
    for (;;) {
        int holds = m_holds.load();
        const bool free = reading ? holds != kWriteHeld : holds == 0;
        if (free) {
            if (m_holds.compare_exchange_weak(holds, reading ? holds + 1 : kWriteHeld)) {
                taken = true;
                break;
            }
            continue;
        }
        if (m_freed == nullptr || !m_freed->WaitUntil(canTake, limit)) break;
    }
    m_gateMutex->Unlock();
    return taken;
}

bool ReadWriteMutex::unlock() {
    int holds = m_holds.load();
    while (holds != 0) {
        const int next = holds == kWriteHeld ? 0 : holds - 1;
        if (m_holds.compare_exchange_weak(holds, next)) {
            if (next == 0 && m_freed != nullptr) m_freed->NotifyAll();
            break;
        }
    }
    return true;
}

}  // namespace ThreadLib
