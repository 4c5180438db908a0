#pragma once

// Helpers shared by the thread library's tests: every wait is bounded, so a
// fault shows as a failed expectation instead of a hung test.
#include <chrono>
#include <future>

namespace MivexTest {

inline constexpr std::chrono::seconds kBound{10};

// True when the future became ready within the bound.
template <typename T>
bool Ready(std::future<T>& f, std::chrono::milliseconds bound = kBound) {
    return f.wait_for(bound) == std::future_status::ready;
}

// True when the future is not ready yet (looked at without waiting).
template <typename T>
bool Pending(std::future<T>& f) {
    return f.wait_for(std::chrono::seconds(0)) == std::future_status::timeout;
}

}  // namespace MivexTest
