// Helpers for the TQDevLink tests: an event recorder for the login callback,
// record builders, and a scripted fake device for answers that no
// well-behaved device would give.
#pragma once

#include <sys/eventfd.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TQDevLink.h"
#include "TqWire.h"

namespace tqtest {

struct Event {
    uint32_t handle;
    uint32_t code;
    void* data;
    void* user;
    std::thread::id thread;
};

// Passed as the login record's user data; the callback records into it.
class EventLog {
public:
    static void Callback(uint32_t handle, uint32_t code, void* data, void* user) {
        auto* log = static_cast<EventLog*>(user);
        std::lock_guard<std::mutex> lock(log->m_mutex);
        log->m_events.push_back({handle, code, data, user, std::this_thread::get_id()});
        log->m_changed.notify_all();
    }

    // Waits until an event with `code` has arrived.
    bool WaitFor(uint32_t code, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] {
            for (const auto& e : m_events)
                if (e.code == code) return true;
            return false;
        });
    }
    // Waits until `count` events have arrived.
    bool WaitForCount(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_events.size() >= count; });
    }
    std::vector<Event> Events() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Event> m_events;
};

template <typename Record>
Record MakeRecord(const std::string& address, int port, const std::string& user, const std::string& password,
                  void* userData, TQ_NET_EventCallback callback, uint8_t deviceKind = 0) {
    Record r;
    std::memset(&r, 0, sizeof r);
    std::snprintf(r.szAddress, sizeof r.szAddress, "%s", address.c_str());
    r.nPort = port;
    r.nTransport = 1;
    std::snprintf(r.szUser, sizeof r.szUser, "%s", user.c_str());
    std::snprintf(r.szPassword, sizeof r.szPassword, "%s", password.c_str());
    r.byReserved206 = 1;
    r.byDeviceKind = deviceKind;
    r.pUserData = userData;
    r.pfnEvent = callback;
    return r;
}

// A device on 127.0.0.1 that answers each request through a script. The
// script gets the request and the socket and may write anything; it returns
// false to hang up. Waits inside scripts use StopFd() so that teardown never
// hangs.
class FakeDevice {
public:
    using Script = std::function<bool(const tqwire::Frame& request, int fd)>;

    explicit FakeDevice(Script script) : m_script(std::move(script)) {
        m_stop = ::eventfd(0, EFD_CLOEXEC);
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_listen, 16);
        socklen_t len = sizeof a;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_acceptor = std::thread([this] { AcceptLoop(); });
    }
    ~FakeDevice() {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(m_stop, &one, sizeof one);
        ::shutdown(m_listen, SHUT_RDWR);
        m_acceptor.join();
        for (auto& t : m_connections) t.join();
        ::close(m_listen);
        ::close(m_stop);
    }
    uint16_t Port() const { return m_port; }
    int StopFd() const { return m_stop; }

    // Script helpers.
    static bool Send(int fd, const std::vector<uint8_t>& bytes) {
        return tqwire::WriteAll(fd, bytes.data(), bytes.size(), tqwire::Deadline::In(std::chrono::seconds(5)), -1) ==
               tqwire::IoError::kNone;
    }
    static bool Reply(int fd, uint16_t command, uint16_t status, std::vector<uint8_t> payload = {}) {
        tqwire::Frame f;
        f.kind = tqwire::Kind::kReply;
        f.command = command;
        f.status = status;
        f.payload = std::move(payload);
        return tqwire::WriteFrame(fd, f, tqwire::Deadline::In(std::chrono::seconds(5)), -1) == tqwire::IoError::kNone;
    }
    // Says nothing until the test ends.
    bool Silence() const {
        tqwire::Pause(tqwire::Deadline::In(std::chrono::seconds(60)), m_stop);
        return false;
    }

private:
    void AcceptLoop() {
        for (;;) {
            int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) return;
            m_connections.emplace_back([this, fd] { Serve(fd); });
        }
    }
    void Serve(int fd) {
        tqwire::Frame request;
        while (tqwire::ReadFrame(fd, &request, tqwire::kMaxRequestPayload, tqwire::Deadline::In(std::chrono::seconds(30)),
                                 m_stop) == tqwire::IoError::kNone) {
            if (!m_script(request, fd)) break;
        }
        ::close(fd);
    }

    Script m_script;
    int m_stop = -1;
    int m_listen = -1;
    uint16_t m_port = 0;
    std::thread m_acceptor;
    std::vector<std::thread> m_connections;  // touched by the acceptor only until it is joined
};

}  // namespace tqtest
