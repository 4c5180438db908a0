// A tiny blocking loopback client for the emulator's tests: raw bytes in and
// out, every wait bounded, so that a server fault fails a test instead of
// hanging it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace devsim::testing {

class TestClient {
public:
    TestClient() = default;
    ~TestClient() { Close(); }
    TestClient(TestClient&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    TestClient& operator=(TestClient&& other) noexcept {
        if (this != &other) {
            Close();
            m_fd = other.m_fd;
            other.m_fd = -1;
        }
        return *this;
    }
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    bool Connect(uint16_t port, const char* address = "127.0.0.1") {
        Close();
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0) return false;
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &sa.sin_addr);
        return ::connect(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    }

    bool Send(std::string_view data) {
        while (!data.empty()) {
            ssize_t n = ::send(m_fd, data.data(), data.size(), MSG_NOSIGNAL);
            if (n <= 0) return false;
            data.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }

    // Reads until `done(received)` holds, the peer closes, or `timeout` passes.
    template <typename Done>
    std::string ReadUntil(Done done, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::string received;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done(received)) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            char buf[4096];
            ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
            if (n <= 0) {
                m_peerClosed = true;
                break;
            }
            received.append(buf, static_cast<size_t>(n));
        }
        return received;
    }

    // Reads until the peer closes or `timeout` passes.
    std::string ReadAll(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        return ReadUntil([](const std::string&) { return false; }, timeout);
    }

    // True once the peer closed, as seen by a ReadUntil or WaitClosed.
    bool PeerClosed() const { return m_peerClosed; }

    // Waits up to `timeout` for the peer to close, discarding what arrives.
    bool WaitClosed(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        ReadAll(timeout);
        return m_peerClosed;
    }

    int Fd() const { return m_fd; }

    void Close() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
        m_peerClosed = false;
    }

private:
    int m_fd = -1;
    bool m_peerClosed = false;
};

// A count that tests wait on, with a time limit, instead of sleeping.
class WaitCounter {
public:
    void Add(int n = 1) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_count += n;
        }
        m_changed.notify_all();
    }
    // True once the count has reached `target` within `timeout`.
    bool WaitFor(int target, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_count >= target; });
    }
    int Count() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_count;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_count = 0;
};

}  // namespace devsim::testing
