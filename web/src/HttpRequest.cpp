#include "web/HttpRequest.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <vector>

#include "web/ResponseFraming.h"
#include "web/Url.h"

namespace korvo::web {

namespace {

using Clock = std::chrono::steady_clock;

// Large enough that a small page arrives in one call, small enough to sit
// on the heap once per request.
constexpr std::size_t kReceiveChunk = 64 * 1024;

class Socket {
public:
    explicit Socket(int fd) : m_fd(fd) {}
    ~Socket() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int Fd() const { return m_fd; }

private:
    int m_fd;
};

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// Milliseconds left until `deadline`, at most `cap`, never negative.
int MillisLeft(Clock::time_point deadline, int cap) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, cap));
}

// Waits until `fd` is ready for `events`, for at most `timeoutMs`.
// Returns true when ready (or in error, which the next call reports).
bool WaitReady(int fd, short events, int timeoutMs) {
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        pollfd p{fd, events, 0};
        const int rc = ::poll(&p, 1, MillisLeft(until, timeoutMs));
        if (rc > 0) {
            return true;
        }
        if (rc == 0 || errno != EINTR) {
            return false;
        }
    }
}

// Devices in the field have only ever been sent these lines in this order
// (no Connection line either); keep them byte for byte.
std::string BuildRequestText(const UrlParts& parts, std::string_view extraHeaders, const char* body,
                             std::size_t bodyBytes, std::string_view credentials) {
    std::string text;
    text.reserve(256 + parts.m_strPath.size() + credentials.size() + extraHeaders.size() + bodyBytes);
    text += body ? "POST " : "GET ";
    text += parts.m_strPath.empty() ? std::string_view("/") : std::string_view(parts.m_strPath);
    text += " HTTP/1.1\r\n";
    text += "Accept: */*\r\n";
    text += "Accept-Language: en-us\r\n";
    text += "Accept-Encoding: gzip, default\r\n";
    text += "User-Agent: http client\r\n";
    text += "Authorization: Basic ";
    text += credentials;
    text += "\r\n";
    if (body && bodyBytes > 0) {
        text += "Content-Length: " + std::to_string(bodyBytes) + "\r\n";
    }
    text += "Host: ";
    text += parts.m_strHost;
    text += "\r\n";
    text += extraHeaders;
    text += "\r\n";
    if (body) {
        text.append(body, bodyBytes);
    }
    return text;
}

std::optional<sockaddr_in> Resolve(const std::string& host, int port) {
    if (host.empty()) {
        return std::nullopt;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    sockaddr_in addr{};
    std::memcpy(&addr, found->ai_addr, sizeof addr);
    ::freeaddrinfo(found);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    return addr;
}

bool Connect(int fd, const sockaddr_in& addr, int waitMs) {
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
        return true;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        return false;
    }
    if (!WaitReady(fd, POLLOUT, waitMs)) {
        return false;
    }
    // Writable also means "failed": only the pending error tells which.
    int error = 0;
    socklen_t size = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

bool SendAll(int fd, std::string_view text, int timeoutMs, Clock::time_point deadline) {
    while (!text.empty()) {
        const ssize_t sent = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            text.remove_prefix(static_cast<std::size_t>(sent));
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const int wait = MillisLeft(deadline, timeoutMs);
            if (wait == 0 || !WaitReady(fd, POLLOUT, wait)) {
                return false;
            }
        } else {
            return false;
        }
    }
    return true;
}

// Reads the response into `framing` until it is complete, the peer closes,
// a receive fails, the time-outs run out or a limit is passed. A wait that
// times out in the header phase ends that phase only; the body phase gets a
// wait of its own, within the request's deadline.
void Receive(int fd, ResponseFraming& framing, int timeoutMs, Clock::time_point deadline) {
    std::vector<char> buffer(kReceiveChunk);
    while (true) {
        const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (got > 0) {
            const auto phase = framing.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
            if (phase == ResponseFraming::Phase::kComplete || phase == ResponseFraming::Phase::kTooLarge) {
                return;
            }
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            return;  // closed or failed: no later receive yields anything
        }
        while (true) {
            const int wait = MillisLeft(deadline, timeoutMs);
            if (wait > 0 && WaitReady(fd, POLLIN, wait)) {
                break;
            }
            if (wait == 0 || framing.GetPhase() != ResponseFraming::Phase::kHeader) {
                return;
            }
            framing.EndHeaderPhase();
        }
    }
}

}  // namespace

int CHttpRequest::SendRequest(const char* url, const char* extraHeaders, const char* body, int bodyLength,
                              HttpResponse& response, const char* credentials) {
    if (url == nullptr || std::strlen(url) > kMaxUrlLength || bodyLength < 0) {
        return 1;
    }
    const UrlParts parts = ParseUrl(url);
    if (parts.m_strScheme != "HTTP" || parts.m_nPort < 1 || parts.m_nPort > 65535 ||
        HasLineBreak(parts.m_strPath)) {
        return 1;
    }
    const std::string_view creds = credentials ? credentials : "";
    if (creds.size() > kMaxCredentialsLength || HasLineBreak(creds)) {
        return 1;
    }
    const std::size_t bodyBytes =
        body ? static_cast<std::size_t>(std::find(body, body + bodyLength, '\0') - body) : 0;
    std::string request = BuildRequestText(parts, extraHeaders ? extraHeaders : "", body, bodyBytes, creds);
    if (request.size() > kMaxRequestLength) {
        return 1;
    }

    const std::optional<sockaddr_in> addr = Resolve(parts.m_strHost, parts.m_nPort);
    if (!addr) {
        return 1;
    }
    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const int connectWaitMs = m_timeouts.m_nConnectWaitMs > 0 ? m_timeouts.m_nConnectWaitMs : HttpTimeouts{}.m_nConnectWaitMs;
    if (socket.Fd() < 0 || !Connect(socket.Fd(), *addr, connectWaitMs)) {
        return 1;
    }

    const int timeoutMs = m_timeouts.m_nIoTimeoutMs > 0 ? m_timeouts.m_nIoTimeoutMs : TimeoutForUrl(url);
    const Clock::time_point deadline = Clock::now() + 2 * std::chrono::milliseconds(timeoutMs);
    if (!SendAll(socket.Fd(), request, timeoutMs, deadline)) {
        return 1;
    }
    ResponseFraming framing;
    Receive(socket.Fd(), framing, timeoutMs, deadline);
    if (framing.GetPhase() == ResponseFraming::Phase::kTooLarge) {
        return 1;
    }

    response.m_strRequest = std::move(request);
    response.m_strHeader = framing.TakeHeader();
    response.m_strBody = framing.TakeBody();
    response.m_nBodyLength = static_cast<int>(response.m_strBody.size());
    return 0;
}

int HttpGet(CHttpRequest& request, const std::string& url, const std::string& credentials,
            std::string& requestText, std::string& headerText, std::string& bodyText) {
    HttpResponse response;
    if (request.SendRequest(url.c_str(), nullptr, nullptr, 0, response, credentials.c_str()) != 0) {
        return 0;
    }
    requestText = std::move(response.m_strRequest);
    headerText = std::move(response.m_strHeader);
    bodyText.assign(response.m_strBody.c_str());
    return 1;
}

}  // namespace korvo::web
