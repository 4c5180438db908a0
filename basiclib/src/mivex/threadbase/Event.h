#pragma once

#include "../MivexExport.h"

namespace ThreadLib {

namespace Internal {
class NativeEvent;
}

// Event is a process-local event, manual-reset or auto-reset.
//
// Contract:
//   - Event(initialState, manualReset): signalled at once when initialState
//     is true. A manual-reset event stays signalled until ResetEvent(); an
//     auto-reset event is taken away by the one wait that it releases.
//   - WaitEvent(ms) waits at most ms milliseconds (4294967295 means no
//     limit, 0 never waits); true when the event was signalled. SetEvent()
//     on a manual-reset event releases every waiter; on an auto-reset event
//     one waiter, or the next wait. Setting a signalled event changes
//     nothing (events do not count): two quick SetEvent() calls on an
//     auto-reset event may release one waiter only, when the first released
//     waiter has not yet taken the signal.
//   - SetEvent()/ResetEvent() return false only when the event could not be
//     created; every wait then returns false too.
//   - Any thread may call any member except the destructor. Not copied or
//     assigned: a copy would share the platform event and close it twice.
class MIVEX_API Event {
public:
    Event(bool initialState = false, bool manualReset = false);
    ~Event();

    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    bool WaitEvent(unsigned int milliseconds);
    bool SetEvent();
    bool ResetEvent();

private:
    Internal::NativeEvent* m_handle;
};

}  // namespace ThreadLib
