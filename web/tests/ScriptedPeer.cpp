#include "ScriptedPeer.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>

#include <cstdlib>

#include "Loopback.h"

namespace korvo::web::testing {

namespace {
constexpr int kBoundMs = 10000;

std::size_t DeclaredLength(const std::string& header) {
    const std::string key = "Content-Length: ";
    const std::size_t at = header.find(key);
    return at == std::string::npos ? 0 : std::strtoul(header.c_str() + at + key.size(), nullptr, 10);
}
}  // namespace

ScriptedPeer::ScriptedPeer(Script script) : m_script(std::move(script)) {
    if (::pipe2(m_cancel, O_CLOEXEC) != 0) {
        std::abort();
    }
    m_listen = ListenOnLoopback(4, &m_port);
    if (m_listen < 0) {
        std::abort();
    }
    m_thread = std::thread([this] { Run(); });
}

ScriptedPeer::~ScriptedPeer() {
    Stop();
    ::close(m_listen);
    ::close(m_cancel[0]);
    ::close(m_cancel[1]);
}

std::string ScriptedPeer::Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + std::string(path);
}

void ScriptedPeer::Stop() {
    const char wake = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_cancel[1], &wake, 1);
    Join();
}

void ScriptedPeer::Join() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

std::string ScriptedPeer::Request() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_request;
}

bool ScriptedPeer::WaitReadable(int fd, int ms) {
    pollfd p[2] = {{fd, POLLIN, 0}, {m_cancel[0], POLLIN, 0}};
    return ::poll(p, 2, ms) > 0 && p[1].revents == 0;
}

bool ScriptedPeer::Pause(int ms) {
    pollfd p{m_cancel[0], POLLIN, 0};
    return ::poll(&p, 1, ms) == 0;
}

bool ScriptedPeer::Send(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void ScriptedPeer::WaitForClose(int fd) {
    char buf[4096];
    while (WaitReadable(fd, kBoundMs) && ::recv(fd, buf, sizeof buf, 0) > 0) {
    }
}

void ScriptedPeer::Run() {
    if (!WaitReadable(m_listen, kBoundMs)) {
        return;
    }
    const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        return;
    }
    m_connected = true;
    std::string request;
    char buf[4096];
    std::size_t headerEnd = std::string::npos;
    while (WaitReadable(fd, kBoundMs)) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            break;
        }
        request.append(buf, static_cast<std::size_t>(n));
        if (headerEnd == std::string::npos && (headerEnd = request.find("\r\n\r\n")) != std::string::npos) {
            headerEnd += 4;
        }
        if (headerEnd != std::string::npos &&
            request.size() >= headerEnd + DeclaredLength(request.substr(0, headerEnd))) {
            break;
        }
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_request = request;
    }
    if (headerEnd != std::string::npos) {
        m_script(*this, fd);
    }
    ::close(fd);
}

}  // namespace korvo::web::testing
