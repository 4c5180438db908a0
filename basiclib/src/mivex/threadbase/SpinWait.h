#pragma once

// Internal to the library (not exported).
//
// Handing a task from one pool thread to another costs a sleep and a wake-up
// whenever the receiving side is asleep, and a tiny task is done sooner than
// that. A worker waiting for its next task, and the dispatcher waiting for a
// worker to turn idle, therefore first look again for a short while (a few
// microseconds of checks, then a few yields) and sleep only when that did
// not help. Nothing else spins: a caller waiting for a task's finish, or the
// dispatcher waiting for a task, sleeps at once, so that the thread it waits
// for finds a free processor. An idle pool is asleep within microseconds and
// costs no processor time.
#include <thread>

#include "Semphore.h"

namespace ThreadLib::Internal {

inline constexpr int kSpinChecks = 100;
inline constexpr int kSpinYields = 4;

// Checks ready() kSpinChecks times, then yields up to kSpinYields times
// while it is false; true once it holds.
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
