#include "TcpServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "TestClient.h"

namespace devsim {
namespace {

using namespace std::chrono_literals;
using testing::TestClient;
using testing::WaitCounter;

// Echoes until the peer closes, the server shuts the socket down, or the
// server's idle time-out passes without a byte.
void Echo(TcpServer& server, int fd) {
    char buf[1024];
    for (;;) {
        size_t got = 0;
        if (TcpServer::ReadSome(fd, buf, sizeof buf, server.IdleTimeout(), &got) != IoStatus::kOk) return;
        if (TcpServer::WriteAll(fd, std::string_view(buf, got), 1s) != IoStatus::kOk) return;
    }
}

// A server whose handler counts arrivals and then waits for a read that
// only the peer or Stop() can end.
struct HoldingServer {
    explicit HoldingServer(TcpServerOptions options = {}) {
        options.idleTimeout = 60s;
        server = std::make_unique<TcpServer>(options, [this](int fd) {
            arrived.Add();
            char c;
            size_t got = 0;
            while (TcpServer::ReadSome(fd, &c, 1, server->IdleTimeout(), &got) == IoStatus::kOk) {
                TcpServer::WriteAll(fd, std::string_view(&c, 1), 1s);
            }
            left.Add();
        });
    }
    WaitCounter arrived;
    WaitCounter left;
    std::unique_ptr<TcpServer> server;
};

TEST(TcpServerTest, ServesSeveralClientsAtOnce) {
    std::unique_ptr<TcpServer> server;
    server = std::make_unique<TcpServer>(TcpServerOptions{}, [&](int fd) { Echo(*server, fd); });
    std::string error;
    ASSERT_TRUE(server->Start(&error)) << error;
    ASSERT_NE(server->Port(), 0);

    TestClient a, b;
    ASSERT_TRUE(a.Connect(server->Port()));
    ASSERT_TRUE(b.Connect(server->Port()));
    ASSERT_TRUE(a.Send("first"));
    ASSERT_TRUE(b.Send("second"));
    EXPECT_EQ(b.ReadUntil([](const std::string& s) { return s.size() >= 6; }), "second");
    EXPECT_EQ(a.ReadUntil([](const std::string& s) { return s.size() >= 5; }), "first");
}

TEST(TcpServerTest, StartRefusesAddressesOutsideLoopbackAndTakenPorts) {
    for (const char* address : {"10.0.0.1", "0.0.0.0", "localhost", "::1", "127.0.0.256", ""}) {
        TcpServer server(TcpServerOptions{address}, [](int) {});
        std::string error;
        EXPECT_FALSE(server.Start(&error)) << address;
        EXPECT_FALSE(error.empty()) << address;
        EXPECT_EQ(server.Port(), 0) << address;
    }

    TcpServer first(TcpServerOptions{"127.0.0.3"}, [](int) {});
    ASSERT_TRUE(first.Start(nullptr));
    TcpServer second(TcpServerOptions{"127.0.0.3", first.Port()}, [](int) {});
    std::string error;
    EXPECT_FALSE(second.Start(&error));
    EXPECT_FALSE(error.empty());
    // Same port on another loopback address is a different device.
    TcpServer other(TcpServerOptions{"127.0.0.4", first.Port()}, [](int) {});
    EXPECT_TRUE(other.Start(&error)) << error;
    EXPECT_FALSE(first.Start(&error)) << "a second Start must fail";
}

TEST(TcpServerTest, StopEndsOpenConnectionsAndIsSafeTwice) {
    HoldingServer holder;
    ASSERT_TRUE(holder.server->Start(nullptr));
    std::vector<TestClient> clients(5);
    for (auto& c : clients) ASSERT_TRUE(c.Connect(holder.server->Port()));
    ASSERT_TRUE(holder.arrived.WaitFor(5));
    EXPECT_EQ(holder.server->OpenConnections(), 5u);

    auto stopped = std::async(std::launch::async, [&] { holder.server->Stop(); });
    ASSERT_EQ(stopped.wait_for(10s), std::future_status::ready) << "Stop hung on open connections";
    EXPECT_EQ(holder.left.Count(), 5);
    EXPECT_EQ(holder.server->OpenConnections(), 0u);
    for (auto& c : clients) EXPECT_TRUE(c.WaitClosed(2s));
    holder.server->Stop();

    TestClient late;
    EXPECT_FALSE(late.Connect(holder.server->Port())) << "a stopped server still listens";
}

TEST(TcpServerTest, StopBeforeStartLeavesServerStopped) {
    TcpServer server(TcpServerOptions{}, [](int) {});
    server.Stop();
    EXPECT_FALSE(server.Start(nullptr));
}

TEST(TcpServerTest, SleepUnlessStoppingWakesOnStop) {
    WaitCounter sleeping;
    std::atomic<bool> woke_early{false};
    std::unique_ptr<TcpServer> server;
    server = std::make_unique<TcpServer>(TcpServerOptions{}, [&](int) {
        sleeping.Add();
        woke_early = !server->SleepUnlessStopping(60s);
    });
    ASSERT_TRUE(server->Start(nullptr));
    TestClient c;
    ASSERT_TRUE(c.Connect(server->Port()));
    ASSERT_TRUE(sleeping.WaitFor(1));
    auto stopped = std::async(std::launch::async, [&] { server->Stop(); });
    ASSERT_EQ(stopped.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(woke_early);
}

TEST(TcpServerTest, ConnectionsBeyondTheLimitAreClosedAtOnce) {
    TcpServerOptions options;
    options.maxConnections = 2;
    HoldingServer holder(options);
    ASSERT_TRUE(holder.server->Start(nullptr));
    TestClient a, b, c;
    ASSERT_TRUE(a.Connect(holder.server->Port()));
    ASSERT_TRUE(b.Connect(holder.server->Port()));
    ASSERT_TRUE(holder.arrived.WaitFor(2));
    ASSERT_TRUE(c.Connect(holder.server->Port()));
    EXPECT_TRUE(c.WaitClosed(5s));
    EXPECT_EQ(holder.server->RefusedConnections(), 1u);

    // A freed place is given to the next client.
    a.Close();
    ASSERT_TRUE(holder.left.WaitFor(1));
    // The handler has returned; the server releases the place right after it.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (holder.server->OpenConnections() >= 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    TestClient d;
    ASSERT_TRUE(d.Connect(holder.server->Port()));
    ASSERT_TRUE(d.Send("x"));
    EXPECT_EQ(d.ReadUntil([](const std::string& s) { return !s.empty(); }), "x");
}

TEST(TcpServerTest, IdleConnectionIsClosedAfterTheTimeOut) {
    TcpServerOptions options;
    options.idleTimeout = 100ms;
    std::unique_ptr<TcpServer> server;
    server = std::make_unique<TcpServer>(options, [&](int fd) { Echo(*server, fd); });
    ASSERT_TRUE(server->Start(nullptr));
    TestClient c;
    ASSERT_TRUE(c.Connect(server->Port()));
    ASSERT_TRUE(c.Send("ping"));
    EXPECT_EQ(c.ReadUntil([](const std::string& s) { return s.size() >= 4; }), "ping");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(c.WaitClosed(5s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
}

TEST(TcpServerTest, HandlerThatThrowsEndsOnlyItsConnection) {
    std::unique_ptr<TcpServer> server;
    std::atomic<int> calls{0};
    server = std::make_unique<TcpServer>(TcpServerOptions{}, [&](int fd) {
        if (calls++ == 0) throw std::runtime_error("bad peer");
        Echo(*server, fd);
    });
    ASSERT_TRUE(server->Start(nullptr));
    TestClient first;
    ASSERT_TRUE(first.Connect(server->Port()));
    EXPECT_TRUE(first.WaitClosed(5s));
    TestClient second;
    ASSERT_TRUE(second.Connect(server->Port()));
    ASSERT_TRUE(second.Send("ok"));
    EXPECT_EQ(second.ReadUntil([](const std::string& s) { return s.size() >= 2; }), "ok");
}

TEST(TcpServerTest, ReadSomeReportsTimeOutAndClose) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    char buf[8];
    size_t got = 99;
    EXPECT_EQ(TcpServer::ReadSome(pair[0], buf, sizeof buf, 20ms, &got), IoStatus::kTimeout);
    EXPECT_EQ(got, 0u);
    ASSERT_EQ(TcpServer::WriteAll(pair[1], "abc", 1s), IoStatus::kOk);
    EXPECT_EQ(TcpServer::ReadSome(pair[0], buf, sizeof buf, 1s, &got), IoStatus::kOk);
    EXPECT_EQ(std::string(buf, got), "abc");
    ::close(pair[1]);
    EXPECT_EQ(TcpServer::ReadSome(pair[0], buf, sizeof buf, 1s, &got), IoStatus::kClosed);
    EXPECT_EQ(TcpServer::WriteAll(pair[0], "x", 1s), IoStatus::kClosed);
    ::close(pair[0]);
}

TEST(TcpServerTest, WriteAllTimesOutOnAPeerThatDoesNotRead) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    const std::string big(16 << 20, 'x');  // far more than the socket buffers hold
    EXPECT_EQ(TcpServer::WriteAll(pair[0], big, 50ms), IoStatus::kTimeout);
    ::close(pair[0]);
    ::close(pair[1]);
}

TEST(TcpServerTest, KeepsTwoHundredConnectionsOpenAtOnce) {
    HoldingServer holder;
    ASSERT_TRUE(holder.server->Start(nullptr));
    constexpr int kClients = 200;
    std::vector<TestClient> clients(kClients);
    for (auto& c : clients) ASSERT_TRUE(c.Connect(holder.server->Port()));
    ASSERT_TRUE(holder.arrived.WaitFor(kClients, 30s)) << holder.arrived.Count() << " served";
    EXPECT_EQ(holder.server->OpenConnections(), static_cast<size_t>(kClients));
    EXPECT_EQ(holder.server->RefusedConnections(), 0u);
    // Every one of them is live, not just accepted.
    for (auto& c : clients) ASSERT_TRUE(c.Send("!"));
    for (auto& c : clients) EXPECT_EQ(c.ReadUntil([](const std::string& s) { return !s.empty(); }), "!");
}

}  // namespace
}  // namespace devsim
