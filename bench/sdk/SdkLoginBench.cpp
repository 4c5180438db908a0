// One SDK provisioning round on loopback against an in-process emulated
// camera: login (until the success event), GetNetParam, SetNetParam, logout.
// Prints the median and the 90th percentile through TQDevLink, the same four
// exchanges over the bare wire protocol as the peer (what the library adds
// is the difference), and the ratio against the 5 ms goal.
//
//   bench_sdk_login [rounds]     (default 300)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "Device.h"
#include "TQDevLink.h"
#include "TqWire.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct LoginWait {
    std::mutex m;
    std::condition_variable cv;
    uint32_t event = 0;
    static void Callback(uint32_t, uint32_t code, void*, void* user) {
        auto* w = static_cast<LoginWait*>(user);
        std::lock_guard<std::mutex> lock(w->m);
        w->event = code;
        w->cv.notify_all();
    }
};

bool LibraryRound(uint16_t port) {
    LoginWait wait;
    TQ_NET_LoginInfo info;
    std::memset(&info, 0, sizeof info);
    std::snprintf(info.szAddress, sizeof info.szAddress, "127.0.0.1");
    info.nPort = port;
    info.nTransport = 1;
    std::snprintf(info.szUser, sizeof info.szUser, "admin");
    std::snprintf(info.szPassword, sizeof info.szPassword, "admin");
    info.pUserData = &wait;
    info.pfnEvent = &LoginWait::Callback;
    TQ_HANDLE h = TQ_NET_Login(&info);
    {
        std::unique_lock<std::mutex> lock(wait.m);
        wait.cv.wait_for(lock, 5s, [&] { return wait.event != 0; });
    }
    TQ_NET_NetParam net{};
    bool ok = wait.event == TQ_NET_EVENT_LOGIN_OK && TQ_NET_GetNetParam(h, 0, &net) == 1;
    std::snprintf(net.szMac, sizeof net.szMac, "00:11:22:33:44:56");
    ok = ok && TQ_NET_SetNetParam(h, 0, &net) == 1;
    return TQ_NET_Logout(h) == 1 && ok;
}

bool Ask(int fd, uint16_t command, std::vector<uint8_t> payload, std::vector<uint8_t>* reply) {
    tqwire::Frame f;
    f.command = command;
    f.payload = std::move(payload);
    auto deadline = tqwire::Deadline::In(5s);
    if (tqwire::WriteFrame(fd, f, deadline, -1) != tqwire::IoError::kNone) return false;
    tqwire::Frame r;
    if (tqwire::ReadFrame(fd, &r, tqwire::kMaxRequestPayload, deadline, -1) != tqwire::IoError::kNone) return false;
    if (reply) *reply = std::move(r.payload);
    return r.status == tqwire::kOk;
}

bool WireRound(uint16_t port) {
    int fd = -1;
    if (tqwire::Connect("127.0.0.1", port, tqwire::Deadline::In(5s), -1, &fd) != tqwire::IoError::kNone) return false;
    std::vector<uint8_t> login(tqwire::kLoginPayload, 0);
    tqwire::SetFieldText(&login[0], 32, "admin");
    tqwire::SetFieldText(&login[32], 36, "admin");
    std::vector<uint8_t> channel(4, 0), net;
    bool ok = Ask(fd, tqwire::kLogin, login, nullptr) && Ask(fd, tqwire::kGetNetParam, channel, &net);
    if (ok) {
        tqwire::SetFieldText(&net[82], 18, "00:11:22:33:44:56");
        net.insert(net.begin(), channel.begin(), channel.end());
        ok = Ask(fd, tqwire::kSetNetParam, net, nullptr);
    }
    ok = ok && Ask(fd, tqwire::kLogout, {}, nullptr);
    ::close(fd);
    return ok;
}

struct Figures {
    double median = 0, p90 = 0;
    int failures = 0;
};

template <typename Round>
Figures Measure(int rounds, Round round) {
    std::vector<double> ms;
    Figures f;
    for (int i = 0; i < rounds; ++i) {
        auto start = Clock::now();
        if (!round()) ++f.failures;
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    f.median = ms[ms.size() / 2];
    f.p90 = ms[ms.size() * 9 / 10];
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 300;
    if (rounds < 10) rounds = 10;
    devsim::DeviceConfig config;
    config.name = "bench";
    config.type = "IPC";
    auto device = devsim::MakeSdkDevice(config, nullptr);
    std::string error;
    if (!device->Start(&error)) {
        std::fprintf(stderr, "bench_sdk_login: %s\n", error.c_str());
        return 1;
    }
    TQ_NET_Startup();
    TQ_NET_SetWaitTime(1, 1, 3);
    uint16_t port = device->Port();
    // Warm up both paths (thread creation, page faults, the pool's workers).
    Measure(20, [&] { return LibraryRound(port); });
    Measure(20, [&] { return WireRound(port); });

    Figures library = Measure(rounds, [&] { return LibraryRound(port); });
    Figures wire = Measure(rounds, [&] { return WireRound(port); });
    TQ_NET_Cleanup();
    device->Stop();

    const double goal = 5.0;
    std::printf("SDK round on loopback (login + GetNetParam + SetNetParam + logout), %d rounds each\n", rounds);
    std::printf("%-28s %10s %10s %9s\n", "", "median ms", "p90 ms", "failures");
    std::printf("%-28s %10.3f %10.3f %9d\n", "TQDevLink", library.median, library.p90, library.failures);
    std::printf("%-28s %10.3f %10.3f %9d\n", "bare wire protocol (peer)", wire.median, wire.p90, wire.failures);
    std::printf("ratio TQDevLink / peer: %.2f\n", library.median / wire.median);
    std::printf("goal %.1f ms: median is %.3f of the goal (%s)\n", goal, library.median / goal,
                library.median < goal ? "met" : "NOT met");
    return library.failures + wire.failures == 0 ? 0 : 1;
}
