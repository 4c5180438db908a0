// A small TCP listener for emulated devices: it accepts connections on one
// loopback address and hands each to a handler that serves it until it
// returns. The server bounds the number of open connections and gives
// handlers the means to bound their own waits (ReadSome, WriteAll, the idle
// time-out), so that a silent or hostile peer never holds a thread forever.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>

namespace ThreadLib {
class ThreadPool;
}

namespace devsim {

// Outcome of one bounded socket read or write.
enum class IoStatus {
    kOk,       // bytes moved
    kClosed,   // the peer closed (or the server shut the connection down)
    kTimeout,  // nothing moved before the time limit
    kError,    // the socket failed
};

struct TcpServerOptions {
    std::string address = "127.0.0.1";  // must lie in 127.0.0.0/8
    uint16_t port = 0;                   // 0: a free port chosen by the system
    // Connections beyond this many are accepted and closed at once, so that a
    // flood cannot exhaust threads or descriptors.
    size_t maxConnections = 512;
    // How long a handler should wait for a peer that sends nothing; the server
    // only publishes it (IdleTimeout()), the handler's reads honour it.
    std::chrono::milliseconds idleTimeout{5000};
};

// TcpServer owns the listening socket, one thread that accepts, the
// connections while their handlers run, and the Mivex thread pool whose
// workers run the handlers (one worker per open connection).
//
// Contract:
//  - The handler runs once per accepted connection, on a thread of the server,
//    possibly on many connections at once: it must be thread-safe. The fd
//    belongs to the server: the handler must not close it; the server closes
//    it when the handler returns.
//  - An exception that escapes the handler ends that connection only.
//  - Stop() closes the listener, shuts every open connection down (reads then
//    report kClosed, writes fail), and blocks until every handler has
//    returned. A handler therefore has to return soon after its socket shuts
//    down; handlers that sleep use SleepUnlessStopping().
//  - Stop() and the destructor must not be called from a handler.
class TcpServer {
public:
    using Handler = std::function<void(int fd)>;

    TcpServer(TcpServerOptions options, Handler handler);
    ~TcpServer();  // calls Stop()
    TcpServer(const TcpServer&) = delete;
    TcpServer& operator=(const TcpServer&) = delete;

    // Binds and listens, then starts accepting. False with a reason in
    // *error (which may be null) when the address is not a loopback IPv4
    // address, the port is taken, or the server already started. A server
    // that was stopped cannot be started again.
    bool Start(std::string* error);

    // See the contract above. Safe to call twice and before Start().
    void Stop();

    // The port actually bound; 0 before Start().
    uint16_t Port() const { return m_port; }
    std::chrono::milliseconds IdleTimeout() const { return m_options.idleTimeout; }

    // True from the start of Stop().
    bool Stopping() const;
    // Waits `duration`, or less when Stop() begins; returns false in that case.
    bool SleepUnlessStopping(std::chrono::milliseconds duration) const;

    // Connections whose handler is running now.
    size_t OpenConnections() const;
    // Connections closed at once because maxConnections were open.
    uint64_t RefusedConnections() const;

    // Reads up to `capacity` bytes into `buffer`, waiting at most `timeout`
    // for the first byte; *received is the count read (0 unless kOk). Never
    // blocks longer than `timeout`.
    static IoStatus ReadSome(int fd, char* buffer, size_t capacity,
                             std::chrono::milliseconds timeout, size_t* received);
    // Writes all of `data`, waiting at most `timeout` for the peer to make
    // room each time the socket is full. kClosed when the peer is gone.
    // Never raises SIGPIPE.
    static IoStatus WriteAll(int fd, std::string_view data, std::chrono::milliseconds timeout);

private:
    struct Connection;

    void AcceptLoop();
    void Admit(int fd);
    // The one place that decides on which thread a connection is served.
    void Launch(const std::shared_ptr<Connection>& connection);
    void Serve(const std::shared_ptr<Connection>& connection);
    void ReapFinished();

    const TcpServerOptions m_options;
    const Handler m_handler;
    int m_listenFd = -1;
    int m_wakeFd = -1;  // eventfd that tells the accept loop to end
    uint16_t m_port = 0;
    bool m_started = false;
    std::thread m_acceptThread;
    std::unique_ptr<ThreadLib::ThreadPool> m_pool;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;  // a connection ended, or Stop began
    bool m_stopping = false;
    std::unordered_set<std::shared_ptr<Connection>> m_open;
    std::unordered_set<std::shared_ptr<Connection>> m_finished;  // handler done, task not yet reaped
    uint64_t m_refused = 0;
    std::mutex m_stopMutex;  // makes concurrent Stop() calls wait for the first
};

}  // namespace devsim
