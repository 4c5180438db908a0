#include "TqWire.h"

#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tqwire {

const char* IoErrorText(IoError error) {
    switch (error) {
        case IoError::kNone: return "ok";
        case IoError::kTimeout: return "timed out";
        case IoError::kClosed: return "connection closed";
        case IoError::kCancelled: return "cancelled";
        case IoError::kBadMagic: return "not a TQDL frame";
        case IoError::kBadVersion: return "unsupported protocol version";
        case IoError::kBadKind: return "bad frame kind";
        case IoError::kTooLarge: return "frame too large";
        case IoError::kSystem: return "socket error";
    }
    return "unknown";
}

int Deadline::RemainingMs() const {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_at - Clock::now()).count();
    if (left <= 0) return 0;
    return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

namespace {

// Waits for `events` on fd. EINTR restarts the wait with the time left.
IoError WaitFor(int fd, short events, Deadline deadline, int cancelFd) {
    for (;;) {
        pollfd fds[2] = {{fd, events, 0}, {cancelFd, POLLIN, 0}};
        nfds_t count = cancelFd >= 0 ? 2 : 1;
        int rc = ::poll(fds, count, deadline.RemainingMs());
        if (rc < 0) {
            if (errno == EINTR) continue;
            return IoError::kSystem;
        }
        if (count == 2 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) return IoError::kCancelled;
        if (rc == 0) return IoError::kTimeout;
        if (fds[0].revents & POLLNVAL) return IoError::kSystem;
        // POLLHUP/POLLERR: let the following read or write report what happened.
        return IoError::kNone;
    }
}

IoError ReadExactly(int fd, uint8_t* data, size_t size, Deadline deadline, int cancelFd) {
    size_t done = 0;
    while (done < size) {
        IoError e = WaitFor(fd, POLLIN, deadline, cancelFd);
        if (e != IoError::kNone) return e;
        ssize_t n = ::recv(fd, data + done, size - done, MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n == 0) {
            return IoError::kClosed;
        } else if (errno == ECONNRESET || errno == EPIPE) {
            return IoError::kClosed;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return IoError::kSystem;
        }
    }
    return IoError::kNone;
}

}  // namespace

IoError Connect(const std::string& ip, uint16_t port, Deadline deadline, int cancelFd, int* fd) {
    *fd = -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (port == 0 || ::inet_pton(AF_INET, ip.c_str(), &addr.sin_addr) != 1) return IoError::kSystem;

    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0) return IoError::kSystem;
    IoError result = IoError::kNone;
    if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        if (errno != EINPROGRESS) {
            result = (errno == ECONNREFUSED) ? IoError::kClosed : IoError::kSystem;
        } else {
            result = WaitFor(s, POLLOUT, deadline, cancelFd);
            if (result == IoError::kNone) {
                int err = 0;
                socklen_t len = sizeof err;
                if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0)
                    result = (err == ECONNREFUSED) ? IoError::kClosed : IoError::kSystem;
            }
        }
    }
    if (result != IoError::kNone) {
        ::close(s);
        return result;
    }
    int flags = ::fcntl(s, F_GETFL);
    ::fcntl(s, F_SETFL, flags & ~O_NONBLOCK);
    int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    *fd = s;
    return IoError::kNone;
}

IoError WaitReadable(int fd, Deadline deadline, int cancelFd) {
    return WaitFor(fd, POLLIN, deadline, cancelFd);
}

IoError Pause(Deadline deadline, int cancelFd) {
    for (;;) {
        pollfd p{cancelFd, POLLIN, 0};
        int rc = ::poll(&p, cancelFd >= 0 ? 1 : 0, deadline.RemainingMs());
        if (rc < 0 && errno == EINTR) continue;
        return rc > 0 ? IoError::kCancelled : IoError::kTimeout;
    }
}

std::vector<uint8_t> EncodeHeader(Kind kind, uint16_t command, uint16_t status, uint32_t length) {
    std::vector<uint8_t> h(kHeaderSize, 0);
    std::memcpy(h.data(), kMagic, 4);
    h[4] = kVersion;
    h[5] = static_cast<uint8_t>(kind);
    PutU16(&h[6], command);
    PutU16(&h[8], status);
    PutU32(&h[12], length);
    return h;
}

IoError ReadFrame(int fd, Frame* out, uint32_t maxPayload, Deadline deadline, int cancelFd) {
    uint8_t h[kHeaderSize];
    IoError e = ReadExactly(fd, h, sizeof h, deadline, cancelFd);
    if (e != IoError::kNone) return e;
    if (std::memcmp(h, kMagic, 4) != 0) return IoError::kBadMagic;
    if (h[4] != kVersion) return IoError::kBadVersion;
    if (h[5] > static_cast<uint8_t>(Kind::kPush)) return IoError::kBadKind;
    out->kind = static_cast<Kind>(h[5]);
    out->command = GetU16(&h[6]);
    out->status = GetU16(&h[8]);
    uint32_t length = GetU32(&h[12]);
    out->payload.clear();
    if (length > maxPayload) return IoError::kTooLarge;
    out->payload.resize(length);
    return ReadExactly(fd, out->payload.data(), length, deadline, cancelFd);
}

IoError WriteAll(int fd, const void* data, size_t size, Deadline deadline, int cancelFd) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        IoError e = WaitFor(fd, POLLOUT, deadline, cancelFd);
        if (e != IoError::kNone) return e;
        ssize_t n = ::send(fd, p + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EPIPE || errno == ECONNRESET)) {
            return IoError::kClosed;
        } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return IoError::kSystem;
        }
    }
    return IoError::kNone;
}

IoError WriteFrame(int fd, const Frame& frame, Deadline deadline, int cancelFd) {
    std::vector<uint8_t> bytes = EncodeHeader(frame.kind, frame.command, frame.status,
                                              static_cast<uint32_t>(frame.payload.size()));
    bytes.insert(bytes.end(), frame.payload.begin(), frame.payload.end());
    return WriteAll(fd, bytes.data(), bytes.size(), deadline, cancelFd);
}

void SetFieldText(void* field, size_t width, const std::string& text) {
    if (width == 0) return;
    char* p = static_cast<char*>(field);
    std::memset(p, 0, width);
    std::memcpy(p, text.data(), text.size() < width ? text.size() : width - 1);
}

}  // namespace tqwire
