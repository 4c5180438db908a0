// An EventSink that keeps what devices report, so that a test (or any
// caller) can wait until a device has received or done something instead of
// sleeping and hoping.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "Device.h"

namespace devsim {

class EventRecorder {
public:
    // The sink to hand to devices. The recorder must outlive every device
    // that was given it (devices report until Stop() returns).
    EventSink Sink() {
        return [this](const std::string& device, const std::string& event) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_events.push_back(device + ": " + event);
            m_changed.notify_all();
        };
    }

    // Blocks until at least `count` recorded events contain `part`, or
    // `timeout` passes; returns whether they did.
    bool WaitFor(const std::string& part, size_t count = 1,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] {
            size_t n = 0;
            for (const auto& e : m_events) n += e.find(part) != std::string::npos;
            return n >= count;
        });
    }

    // "device: event" lines, oldest first.
    std::vector<std::string> Events() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_events;
};

}  // namespace devsim
