#include "Event.h"


#include "NativeSync.h"

namespace ThreadLib {

Event::Event(bool initialState, bool manualReset) : m_handle(Internal::MakeNative<Internal::NativeEvent>(manualReset, initialState)) {}

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
