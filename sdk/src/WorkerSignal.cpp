#include "korvo/sdk/WorkerSignal.h"

namespace korvo::sdk {

void WorkerSignal::RequestStop() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
    m_changed.notify_all();
}

bool WorkerSignal::StopRequested() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stop;
}

bool WorkerSignal::WaitForStop(std::chrono::milliseconds period) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, period, [this] { return m_stop; });
}

void WorkerSignal::MarkFinished() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_finished = true;
    m_changed.notify_all();
}

bool WorkerSignal::Finished() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_finished;
}

bool WorkerSignal::WaitFinished(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [this] { return m_finished; });
}

}  // namespace korvo::sdk
