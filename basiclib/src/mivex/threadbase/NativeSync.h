#pragma once

// Internal to the library (not exported): the waitable primitives that the
// portable classes (Semphore, Event, ReadWriteMutex) are built from. Each
// platform supplies the same four classes; only this header's include and
// the platform file behind it differ between platforms.
//
// Time limits are milliseconds as unsigned 32-bit values; kInfinite means no
// limit and 0 means "do not wait".
#include <cstdint>
#include <new>

namespace ThreadLib::Internal {

inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

}  // namespace ThreadLib::Internal

#if defined(_WIN32)
#error "The Windows platform layer is not part of this build."
#else
#include "NativeSync_Posix.h"
#endif

namespace ThreadLib::Internal {

// A new primitive, or null when it could not be created: the owners treat
// null as "no handle".
template <typename T, typename... Args>
T* MakeNative(Args... args) {
    T* object = new (std::nothrow) T(args...);
    if (object != nullptr && !object->Valid()) {
        delete object;
        object = nullptr;
    }
    return object;
}

}  // namespace ThreadLib::Internal
