#include "Event.h"

#include <new>

#include "NativeSync.h"

namespace ThreadLib {

namespace {

Internal::NativeEvent* CreateEvent(bool manualReset, bool initialState) {
    auto* event = new (std::nothrow) Internal::NativeEvent(manualReset, initialState);
    if (event != nullptr && !event->Valid()) {
        delete event;
        event = nullptr;
    }
    return event;
}

}  // namespace

Event::Event(bool initialState, bool manualReset) : m_handle(CreateEvent(manualReset, initialState)) {}

Event::~Event() {
    delete m_handle;
}

bool Event::WaitEvent(unsigned int milliseconds) {
    return m_handle != nullptr && m_handle->Wait(milliseconds);
}

bool Event::SetEvent() {
    if (m_handle == nullptr) return false;
    m_handle->Set();
    return true;
}

bool Event::ResetEvent() {
    if (m_handle == nullptr) return false;
    m_handle->Reset();
    return true;
}

}  // namespace ThreadLib
