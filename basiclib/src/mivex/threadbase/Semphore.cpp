#include "Semphore.h"

#include <cstdint>

#include "NativeSync.h"

namespace ThreadLib {

Semphore::Semphore() : Semphore(0) {}

Semphore::Semphore(int initialCount) : m_handle(Internal::MakeNative<Internal::NativeSemaphore>(initialCount)) {}

Semphore::~Semphore() {
    delete m_handle;
}

bool Semphore::WaitSem() {
    return m_handle != nullptr && m_handle->Wait(Internal::kInfinite);
}

int Semphore::TimeWaitSem(int milliseconds) {
    if (m_handle == nullptr) return 0;
    return m_handle->Wait(static_cast<std::uint32_t>(milliseconds)) ? 1 : 0;
}

int Semphore::TryWaitSem() {
    return TimeWaitSem(0);
}

bool Semphore::PostSem() {
    return m_handle != nullptr && m_handle->Post();
}

int Semphore::GetValue() {
    return m_handle == nullptr ? -1 : m_handle->Value();
}

}  // namespace ThreadLib
