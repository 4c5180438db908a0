#pragma once

// Internal to the library (not exported).
//
// Handing a task from one pool thread to another costs a sleep and a wake-up
// whenever the receiving side is asleep, and a tiny task is done sooner than
// that. A pool thread about to wait therefore first gives its processor away
// a few times - the thread it waits for is a likely taker - and sleeps only
// when that did not help. The rounds are few, so an idle pool is asleep
// within microseconds and costs no processor time.
#include <thread>

#include "Semphore.h"

namespace ThreadLib::Internal {

inline constexpr int kSpinYields = 16;
inline constexpr int kSpinChecks = 100;

// Yields up to kSpinYields times while ready() is false; true once it holds.
template <typename Ready>
bool SpinUntil(Ready ready) {
    for (int i = 0; i < kSpinChecks; ++i) {
        if (ready()) return true;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    for (int i = 0; i < kSpinYields; ++i) {
        if (ready()) return true;
        std::this_thread::yield();
    }
    return ready();
}

// Takes one count of sem, spinning first; false only when the wait failed.
inline bool SpinThenWait(Semphore& sem) {
    if (SpinUntil([&sem] { return sem.TryWaitSem() == 1; })) return true;
    return sem.WaitSem();
}

}  // namespace ThreadLib::Internal
