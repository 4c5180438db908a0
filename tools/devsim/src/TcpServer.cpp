#include "TcpServer.h"

#include <mivex/threadbase/TaskObject.h>
#include <mivex/threadbase/ThreadPool.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

namespace devsim {

namespace {

void SetError(std::string* error, std::string text) {
    if (error != nullptr) *error = std::move(text);
}

int ToPollTimeout(std::chrono::milliseconds timeout) {
    if (timeout.count() <= 0) return 0;
    return static_cast<int>(std::min<long long>(timeout.count(), INT_MAX));
}

// Waits for `events` on fd until `deadline`. 1: ready, 0: time-out, -1: failure.
int PollUntil(int fd, short events, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        // Rounded up, so that a remainder below one millisecond still waits.
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd, events, 0};
        int r = ::poll(&p, 1, ToPollTimeout(left));
        if (r > 0) return 1;
        if (r == 0) return 0;
        if (errno != EINTR) return -1;
    }
}

}  // namespace

// One accepted connection, run as a task of the pool. It is kept alive by
// the server's sets until its finish has been taken (ReapFinished), since the
// pool touches the task until then.
struct TcpServer::Connection : ThreadLib::TaskObject {
    TcpServer* server = nullptr;
    std::weak_ptr<Connection> self;
    int fd = -1;

    void OnRunTask() override {
        if (auto me = self.lock()) server->Serve(me);
    }
};

TcpServer::TcpServer(TcpServerOptions options, Handler handler)
    : m_options(std::move(options)), m_handler(std::move(handler)) {}

TcpServer::~TcpServer() { Stop(); }

bool TcpServer::Start(std::string* error) {
    std::lock_guard<std::mutex> stopLock(m_stopMutex);
    if (m_started) {
        SetError(error, "server already started");
        return false;
    }
    in_addr addr{};
    if (::inet_pton(AF_INET, m_options.address.c_str(), &addr) != 1) {
        SetError(error, "not an IPv4 address: " + m_options.address);
        return false;
    }
    if ((ntohl(addr.s_addr) >> 24) != 127) {
        SetError(error, "not a loopback address (127.0.0.0/8): " + m_options.address);
        return false;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        SetError(error, std::string("socket: ") + std::strerror(errno));
        return false;
    }
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr = addr;
    sa.sin_port = htons(m_options.port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        SetError(error, m_options.address + ":" + std::to_string(m_options.port) + ": " + std::strerror(errno));
        ::close(fd);
        return false;
    }
    socklen_t len = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        SetError(error, std::string("eventfd: ") + std::strerror(errno));
        ::close(fd);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping) {  // stopped before it ever started: stays stopped
            ::close(fd);
            ::close(wake);
            SetError(error, "server was stopped");
            return false;
        }
    }
    try {
        m_pool = std::make_unique<ThreadLib::ThreadPool>();
    } catch (const std::exception& e) {
        SetError(error, std::string("thread pool: ") + e.what());
        ::close(fd);
        ::close(wake);
        return false;
    }
    // One worker per open connection, and a few more so that a new connection
    // need not wait for the worker of one that has just ended to turn idle.
    m_pool->SetMaxThreadCount(static_cast<int>(std::min<size_t>(m_options.maxConnections + 16, INT_MAX)));
    m_listenFd = fd;
    m_wakeFd = wake;
    m_port = ntohs(sa.sin_port);
    m_started = true;
    m_acceptThread = std::thread([this] { AcceptLoop(); });
    return true;
}

void TcpServer::Stop() {
    std::lock_guard<std::mutex> stopLock(m_stopMutex);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();  // wakes handlers in SleepUnlessStopping
    if (m_acceptThread.joinable()) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(m_wakeFd, &one, sizeof one);
        m_acceptThread.join();
    }
    if (m_listenFd >= 0) ::close(m_listenFd);
    if (m_wakeFd >= 0) ::close(m_wakeFd);
    m_listenFd = m_wakeFd = -1;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        // The fds are closed only under m_mutex, so none of these is reused.
        for (const auto& c : m_open) ::shutdown(c->fd, SHUT_RDWR);
        m_changed.wait(lock, [this] { return m_open.empty(); });
    }
    ReapFinished();
    m_pool.reset();  // every task has finished: this only ends the workers
}

bool TcpServer::Stopping() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stopping;
}

bool TcpServer::SleepUnlessStopping(std::chrono::milliseconds duration) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_changed.wait_for(lock, duration, [this] { return m_stopping; });
}

size_t TcpServer::OpenConnections() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_open.size();
}

uint64_t TcpServer::RefusedConnections() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_refused;
}

void TcpServer::AcceptLoop() {
    for (;;) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        // The time-out only paces the reaping of finished connection tasks.
        int r = ::poll(fds, 2, 500);
        if (r < 0 && errno != EINTR) break;
        if (fds[1].revents != 0) break;
        if (r > 0 && (fds[0].revents & POLLIN) != 0) {
            // Drain the backlog: many clients may connect at once.
            for (;;) {
                int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd < 0) break;  // EAGAIN, or a client that gave up meanwhile
                Admit(fd);
            }
        }
        ReapFinished();
    }
}

void TcpServer::Admit(int fd) {
    auto connection = std::make_shared<Connection>();
    connection->server = this;
    connection->self = connection;
    connection->fd = fd;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping || m_open.size() >= m_options.maxConnections) {
            ++m_refused;
            ::close(fd);
            return;
        }
        m_open.insert(connection);
    }
    Launch(connection);
}

void TcpServer::Launch(const std::shared_ptr<Connection>& connection) {
    if (m_pool->RunTask(connection.get())) return;
    // The pool takes no tasks (its dispatcher could not start): drop the
    // connection rather than the server.
    std::lock_guard<std::mutex> lock(m_mutex);
    ::close(connection->fd);
    m_open.erase(connection);
    ++m_refused;
    m_changed.notify_all();
}

void TcpServer::Serve(const std::shared_ptr<Connection>& connection) {
    try {
        m_handler(connection->fd);
    } catch (...) {
        // One misbehaving connection must not take the device down.
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    ::close(connection->fd);
    connection->fd = -1;
    m_open.erase(connection);
    m_finished.insert(connection);
    m_changed.notify_all();
}

void TcpServer::ReapFinished() {
    std::unordered_set<std::shared_ptr<Connection>> finished;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        finished.swap(m_finished);
    }
    // The handler has returned; its finish follows at once.
    for (const auto& c : finished) c->WaitTaskFinish(-1);
}

IoStatus TcpServer::ReadSome(int fd, char* buffer, size_t capacity, std::chrono::milliseconds timeout,
                             size_t* received) {
    *received = 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        ssize_t n = ::recv(fd, buffer, capacity, MSG_DONTWAIT);
        if (n > 0) {
            *received = static_cast<size_t>(n);
            return IoStatus::kOk;
        }
        if (n == 0) return IoStatus::kClosed;
        if (errno == EINTR) continue;
        if (errno == ECONNRESET || errno == EPIPE || errno == ENOTCONN) return IoStatus::kClosed;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return IoStatus::kError;
        int r = PollUntil(fd, POLLIN, deadline);
        if (r == 0) return IoStatus::kTimeout;
        if (r < 0) return IoStatus::kError;
    }
}

IoStatus TcpServer::WriteAll(int fd, std::string_view data, std::chrono::milliseconds timeout) {
    while (!data.empty()) {
        ssize_t n = ::send(fd, data.data(), data.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            data.remove_prefix(static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EPIPE || errno == ECONNRESET || errno == ENOTCONN)) return IoStatus::kClosed;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return IoStatus::kError;
        int r = PollUntil(fd, POLLOUT, std::chrono::steady_clock::now() + timeout);
        if (r == 0) return IoStatus::kTimeout;
        if (r < 0) return IoStatus::kError;
    }
    return IoStatus::kOk;
}

}  // namespace devsim
