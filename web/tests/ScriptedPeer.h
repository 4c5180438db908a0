// A one-connection HTTP peer on 127.0.0.1 for tests: a thread accepts one
// connection, reads the request's header (and as many body bytes as its
// Content-Length names) and then runs a script on the socket, for answers no
// real server gives on request. Every wait of the peer is bounded (10 s), so
// a broken client cannot hang a test; the destructor cancels whatever the
// peer still waits for and joins its thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace korvo::web::testing {

class ScriptedPeer {
public:
    // Runs on the peer's thread with the connected socket; the peer closes
    // the socket after it returns.
    using Script = std::function<void(ScriptedPeer& peer, int fd)>;

    explicit ScriptedPeer(Script script);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    std::uint16_t Port() const { return m_port; }
    std::string Url(std::string_view path) const;

    // Blocks until the peer is done (at most about 10 s per wait of its own).
    void Join();
    // Cancels whatever the peer waits for, then joins it.
    void Stop();
    // After Join: whether a client connected, and the bytes of its request.
    bool Connected() const { return m_connected; }
    std::string Request() const;

    // For scripts. Each returns false when the client went away or the
    // peer was cancelled.
    bool Send(int fd, std::string_view bytes);
    // Waits (bounded) until the client closes its end.
    void WaitForClose(int fd);
    // Waits up to `ms` or until cancelled; true when the full time passed.
    bool Pause(int ms);

private:
    void Run();
    bool WaitReadable(int fd, int ms);

    Script m_script;
    int m_listen = -1;
    int m_cancel[2] = {-1, -1};  // a pipe: writing to it wakes every wait
    std::uint16_t m_port = 0;
    std::atomic<bool> m_connected{false};
    mutable std::mutex m_mutex;
    std::string m_request;
    std::thread m_thread;
};

}  // namespace korvo::web::testing
