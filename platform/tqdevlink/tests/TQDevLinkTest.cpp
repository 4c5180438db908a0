// TQDevLink against emulated devices (the devsim library, in-process on
// loopback) and against a scripted fake device for broken answers.
#include <gtest/gtest.h>

#include <atomic>
#include <deque>

#include "Device.h"
#include "EventRecorder.h"
#include "TestSupport.h"

namespace {

using namespace std::chrono_literals;
using tqtest::EventLog;
using tqtest::FakeDevice;
using tqtest::MakeRecord;

devsim::DeviceConfig Config(const std::string& type = "IPC", std::map<std::string, std::string> behaviour = {}) {
    devsim::DeviceConfig c;
    c.name = "dut";
    c.type = type;
    c.address = "127.0.0.1";
    c.user = "admin";
    c.password = "secret";
    c.mac = "00:11:22:33:44:55";
    c.sn = "SN-OLD";
    c.modelCode = 0x46;
    c.behaviour = std::move(behaviour);
    return c;
}

class TQDevLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(TQ_NET_Startup(), 1);
        // Short limits keep the failure cases quick.
        ASSERT_EQ(TQ_NET_SetWaitTime(1, 1, 1), 1);
    }
    void TearDown() override {
        EXPECT_EQ(TQ_NET_Cleanup(), 1);
        for (auto& d : m_devices) d->Stop();
    }

    devsim::Device& StartDevice(const devsim::DeviceConfig& config, devsim::EventSink sink = nullptr) {
        auto device = devsim::MakeSdkDevice(config, std::move(sink));
        std::string error;
        EXPECT_TRUE(device->Start(&error)) << error;
        m_devices.push_back(std::move(device));
        return *m_devices.back();
    }

    TQ_NET_LoginInfo LoginFor(devsim::Device& d, EventLog* log, const std::string& password = "secret") {
        return MakeRecord<TQ_NET_LoginInfo>("127.0.0.1", d.Port(), "admin", password, log, &EventLog::Callback);
    }

    // A login that has reported success.
    TQ_HANDLE LoggedIn(devsim::Device& d, EventLog* log) {
        TQ_NET_LoginInfo info = LoginFor(d, log);
        TQ_HANDLE h = TQ_NET_Login(&info);
        EXPECT_NE(h, 0u);
        EXPECT_TRUE(log->WaitFor(TQ_NET_EVENT_LOGIN_OK));
        return h;
    }

    // Outlive the test body: library and device threads report into them
    // until TearDown has ended every login and stopped every device.
    EventLog& NewLog() { return m_logs.emplace_back(); }
    std::deque<EventLog> m_logs;
    devsim::EventRecorder m_deviceEvents;
    std::vector<std::unique_ptr<devsim::Device>> m_devices;
};

// ---- Login ------------------------------------------------------------------

struct LoginCase {
    const char* name;
    std::map<std::string, std::string> behaviour;
    std::string password;
    bool deviceListening;
    std::string address;  // empty: 127.0.0.1
    uint32_t expected;
};

TEST_F(TQDevLinkTest, LoginReportsItsOutcomeOnceOnALibraryThreadWithTheUserData) {
    const LoginCase cases[] = {
        {"good credentials", {}, "secret", true, "", TQ_NET_EVENT_LOGIN_OK},
        {"wrong password", {}, "wrong", true, "", TQ_NET_EVENT_LOGIN_FAILED},
        {"device refuses every login", {{"refuse_login", "1"}}, "secret", true, "", TQ_NET_EVENT_LOGIN_FAILED},
        {"device says nothing", {{"silent", "1"}}, "secret", true, "", TQ_NET_EVENT_LOGIN_FAILED},
        {"nobody listening", {}, "secret", false, "", TQ_NET_EVENT_LOGIN_FAILED},
        {"address is not IPv4", {}, "secret", true, "camera.local", TQ_NET_EVENT_LOGIN_FAILED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        devsim::Device& d = StartDevice(Config("IPC", c.behaviour));
        uint16_t port = d.Port();
        if (!c.deviceListening) d.Stop();
        EventLog& log = NewLog();
        auto info = MakeRecord<TQ_NET_LoginInfo>(c.address.empty() ? "127.0.0.1" : c.address, port, "admin",
                                                 c.password, &log, &EventLog::Callback);
        TQ_HANDLE h = TQ_NET_Login(&info);
        ASSERT_NE(h, 0u);
        ASSERT_TRUE(log.WaitForCount(1));
        // Exactly one event: give a stray second one the chance to show up.
        EXPECT_FALSE(log.WaitForCount(2, 200ms));
        auto events = log.Events();
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].code, c.expected);
        EXPECT_EQ(events[0].handle, h);
        EXPECT_EQ(events[0].user, &log);
        EXPECT_NE(events[0].thread, std::this_thread::get_id());
        EXPECT_EQ(TQ_NET_Logout(h), 1);
    }
}

TEST_F(TQDevLinkTest, LoginSendsTheDeviceKindAndHandlesAreDistinct) {
    devsim::Device& d = StartDevice(Config("DVR"));
    EventLog& log = NewLog();
    auto info = LoginFor(d, &log);
    info.byDeviceKind = 1;
    TQ_HANDLE a = TQ_NET_Login(&info);
    TQ_HANDLE b = TQ_NET_Login(&info);
    EXPECT_NE(a, 0u);
    EXPECT_NE(a, b);
    ASSERT_TRUE(log.WaitForCount(2));
    auto requests = d.RequestLog();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0], "LOGIN user=admin kind=DVR -> ok");
    EXPECT_EQ(TQ_NET_Login(nullptr), 0u);
}

// ---- Get and set ------------------------------------------------------------

TEST_F(TQDevLinkTest, NetParamRoundTripChangesTheDevice) {
    devsim::Device& d = StartDevice(Config());
    EventLog& log = NewLog();
    TQ_HANDLE h = LoggedIn(d, &log);

    TQ_NET_NetParam net{};
    ASSERT_EQ(TQ_NET_GetNetParam(h, 0, &net), 1);
    EXPECT_STREQ(net.szMac, "00:11:22:33:44:55");
    EXPECT_STREQ(net.szIp, "192.168.1.10");
    EXPECT_STREQ(net.szNetmask, "255.255.255.0");

    std::snprintf(net.szMac, sizeof net.szMac, "%s", "0a:1b:2c:3d:4e:5f");
    ASSERT_EQ(TQ_NET_SetNetParam(h, 0, &net), 1);

    TQ_NET_NetParam again{};
    ASSERT_EQ(TQ_NET_GetNetParam(h, 0, &again), 1);
    EXPECT_STREQ(again.szMac, "0a:1b:2c:3d:4e:5f");
    EXPECT_STREQ(again.szIp, "192.168.1.10");
    EXPECT_EQ(d.State().mac, "0a:1b:2c:3d:4e:5f");
    EXPECT_EQ(d.State().ip, "192.168.1.10");
}

TEST_F(TQDevLinkTest, P2PRoundTripChangesTheSerialNumber) {
    devsim::Device& d = StartDevice(Config());
    EventLog& log = NewLog();
    TQ_HANDLE h = LoggedIn(d, &log);

    TQ_NET_P2PInfo p2p{};
    ASSERT_EQ(TQ_NET_GetP2P(h, &p2p), 1);
    EXPECT_STREQ(p2p.szSerial, "SN-OLD");
    std::snprintf(p2p.szSerial, sizeof p2p.szSerial, "%s", "KV2026-000123");
    ASSERT_EQ(TQ_NET_SetP2P(h, &p2p), 1);
    TQ_NET_P2PInfo again{};
    ASSERT_EQ(TQ_NET_GetP2P(h, &again), 1);
    EXPECT_STREQ(again.szSerial, "KV2026-000123");
    EXPECT_EQ(d.State().sn, "KV2026-000123");
}

TEST_F(TQDevLinkTest, DeviceInfoBringsTheModelCodeInByteOne) {
    struct {
        const char* type;
        uint8_t model;
    } cases[] = {{"IPC", 0x46}, {"DVR", 0x10}, {"IPC", 0xEA}};
    for (const auto& c : cases) {
        auto config = Config(c.type);
        config.modelCode = c.model;
        devsim::Device& d = StartDevice(config);
        EventLog& log = NewLog();
        TQ_HANDLE h = LoggedIn(d, &log);
        TQ_NET_DeviceInfo info;
        std::memset(&info, 0, sizeof info);
        ASSERT_EQ(TQ_NET_GetDeviceInfo(h, &info), 1);
        EXPECT_EQ(reinterpret_cast<const uint8_t*>(&info)[1], c.model);
        EXPECT_EQ(info.byDeviceKind, std::string(c.type) == "DVR" ? 1 : 0);
    }
}

TEST_F(TQDevLinkTest, RefusedWritesReturnZeroAndChangeNothing) {
    struct {
        const char* name;
        std::map<std::string, std::string> behaviour;
        bool zeroRecord;  // write what a failed read leaves behind
    } cases[] = {
        {"MAC refused", {{"refuse_mac", "1"}}, false},
        {"SN refused", {{"refuse_sn", "1"}}, false},
        {"empty address record", {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        devsim::Device& d = StartDevice(Config("IPC", c.behaviour));
        EventLog& log = NewLog();
        TQ_HANDLE h = LoggedIn(d, &log);
        TQ_NET_NetParam net{};
        TQ_NET_P2PInfo p2p{};
        if (!c.zeroRecord) {
            ASSERT_EQ(TQ_NET_GetNetParam(h, 0, &net), 1);
            ASSERT_EQ(TQ_NET_GetP2P(h, &p2p), 1);
        }
        std::snprintf(net.szMac, sizeof net.szMac, "%s", "0a:0b:0c:0d:0e:0f");
        std::snprintf(p2p.szSerial, sizeof p2p.szSerial, "%s", "SN-NEW");
        bool macRefused = c.behaviour.count("refuse_mac") || c.zeroRecord;
        bool snRefused = c.behaviour.count("refuse_sn") > 0;
        EXPECT_EQ(TQ_NET_SetNetParam(h, 0, &net), macRefused ? 0 : 1);
        EXPECT_EQ(TQ_NET_SetP2P(h, &p2p), snRefused ? 0 : 1);
        EXPECT_EQ(d.State().mac, macRefused ? "00:11:22:33:44:55" : "0a:0b:0c:0d:0e:0f");
        EXPECT_EQ(d.State().sn, snRefused ? "SN-OLD" : "SN-NEW");
        // A refusal is an answer, not a broken connection.
        TQ_NET_NetParam after{};
        EXPECT_EQ(TQ_NET_GetNetParam(h, 0, &after), 1);
    }
}

TEST_F(TQDevLinkTest, CallsWithoutAnEstablishedLoginReturnZero) {
    devsim::Device& refusing = StartDevice(Config("IPC", {{"refuse_login", "1"}}));
    EventLog& log = NewLog();
    auto info = LoginFor(refusing, &log);
    TQ_HANDLE failed = TQ_NET_Login(&info);
    ASSERT_TRUE(log.WaitFor(TQ_NET_EVENT_LOGIN_FAILED));

    TQ_NET_NetParam net;
    std::memset(&net, 0xAB, sizeof net);
    TQ_NET_P2PInfo p2p{};
    TQ_NET_DeviceInfo dev{};
    for (TQ_HANDLE h : {failed, TQ_HANDLE{0}, TQ_HANDLE{0xDEADBEEF}}) {
        SCOPED_TRACE(h);
        EXPECT_EQ(TQ_NET_GetNetParam(h, 0, &net), 0);
        EXPECT_EQ(TQ_NET_SetNetParam(h, 0, &net), 0);
        EXPECT_EQ(TQ_NET_GetP2P(h, &p2p), 0);
        EXPECT_EQ(TQ_NET_SetP2P(h, &p2p), 0);
        EXPECT_EQ(TQ_NET_GetDeviceInfo(h, &dev), 0);
        auto client = MakeRecord<TQ_NET_ClientInfo>("127.0.0.1", refusing.Port(), "admin", "secret", nullptr, nullptr);
        EXPECT_EQ(TQ_NET_ClientStart(h, &client, 0), 0u);
    }
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&net)[0], 0xAB) << "a failed read must leave the record alone";
    EXPECT_EQ(TQ_NET_Logout(0xDEADBEEF), 0);
    EXPECT_EQ(TQ_NET_Logout(failed), 1);
    EXPECT_EQ(TQ_NET_Logout(failed), 0);
}

TEST_F(TQDevLinkTest, ReplyWaitBoundsASlowDevice) {
    devsim::Device& d = StartDevice(Config("IPC", {{"slow_ms", "1500"}}));
    ASSERT_EQ(TQ_NET_SetWaitTime(1, 1, 3), 1);
    EventLog& log = NewLog();
    TQ_HANDLE h = LoggedIn(d, &log);  // 1.5 s answers, 3 s wait: fine
    TQ_NET_NetParam net{};
    EXPECT_EQ(TQ_NET_GetNetParam(h, 0, &net), 1);

    ASSERT_EQ(TQ_NET_SetWaitTime(1, 1, 1), 1);  // later logins wait 1 s: too short
    EventLog& slowLog = NewLog();
    auto info = LoginFor(d, &slowLog);
    TQ_HANDLE late = TQ_NET_Login(&info);
    ASSERT_TRUE(slowLog.WaitForCount(1));
    EXPECT_EQ(slowLog.Events()[0].code, static_cast<uint32_t>(TQ_NET_EVENT_LOGIN_FAILED));
    TQ_NET_Logout(late);
}

TEST(TQDevLinkWaitTime, OnlyValuesInRangeAreTaken) {
    struct {
        int connect, attempts, reply, expected;
    } cases[] = {{1, 1, 3, 1}, {600, 10, 600, 1}, {0, 1, 3, 0}, {1, 0, 3, 0},
                 {1, 1, 0, 0}, {601, 1, 3, 0},   {1, 11, 3, 0}, {-5, 1, 3, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(TQ_NET_SetWaitTime(c.connect, c.attempts, c.reply), c.expected)
            << c.connect << "," << c.attempts << "," << c.reply;
}

// ---- Preview and PTZ ----------------------------------------------------------

struct FrameCounter {
    std::mutex m;
    std::condition_variable cv;
    int frames = 0;
    int badFrames = 0;
    uint32_t lastSequence = 0;
    std::atomic<bool> stopped{false};
    std::atomic<int> drawsAfterStop{0};

    static void Draw(void* context, const TQ_NET_VideoFrame* f) {
        auto* self = static_cast<FrameCounter*>(context);
        if (self->stopped) ++self->drawsAfterStop;
        std::lock_guard<std::mutex> lock(self->m);
        bool sane = f->pPixels && f->nWidth == 320 && f->nHeight == 240 && f->nStride >= 320 * 4 &&
                    (self->frames == 0 || f->nSequence > self->lastSequence);
        if (!sane) ++self->badFrames;
        self->lastSequence = f->nSequence;
        ++self->frames;
        self->cv.notify_all();
    }
    bool WaitFrames(int n) {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, 10s, [&] { return frames >= n; });
    }
};

TEST_F(TQDevLinkTest, PreviewDrawsLiveFramesIntoTheWindowUntilStopped) {
    devsim::Device& d = StartDevice(Config());
    EventLog& log = NewLog();
    TQ_HANDLE h = LoggedIn(d, &log);
    auto client = MakeRecord<TQ_NET_ClientInfo>("127.0.0.1", d.Port(), "admin", "secret", &log, nullptr);
    TQ_HANDLE preview = TQ_NET_ClientStart(h, &client, 0);
    ASSERT_NE(preview, 0u);
    EXPECT_NE(preview, h);

    FrameCounter counter;
    TQ_NET_Window window{&FrameCounter::Draw, &counter};
    ASSERT_EQ(TQ_NET_ClientSetWnd(preview, &window), 1);
    ASSERT_TRUE(counter.WaitFrames(3));
    EXPECT_TRUE(log.WaitFor(TQ_NET_EVENT_PREVIEW_STARTED));

    ASSERT_EQ(TQ_NET_ClientStop(preview), 1);
    counter.stopped = true;
    EXPECT_EQ(TQ_NET_ClientStop(preview), 0);
    EXPECT_EQ(TQ_NET_ClientSetWnd(preview, &window), 0);
    // The login is untouched by the preview's end.
    TQ_NET_NetParam net{};
    EXPECT_EQ(TQ_NET_GetNetParam(h, 0, &net), 1);
    EXPECT_EQ(counter.drawsAfterStop.load(), 0);
    EXPECT_EQ(counter.badFrames, 0);
    for (const auto& e : log.Events()) EXPECT_NE(e.code, static_cast<uint32_t>(TQ_NET_EVENT_PREVIEW_LOST));
}

TEST_F(TQDevLinkTest, PreviewWithWrongCredentialsIsRefused) {
    devsim::Device& d = StartDevice(Config());
    EventLog& log = NewLog();
    TQ_HANDLE h = LoggedIn(d, &log);
    auto client = MakeRecord<TQ_NET_ClientInfo>("127.0.0.1", d.Port(), "admin", "nope", nullptr, nullptr);
    EXPECT_EQ(TQ_NET_ClientStart(h, &client, 0), 0u);
    EXPECT_EQ(TQ_NET_ClientStart(h, nullptr, 0), 0u);
}

TEST_F(TQDevLinkTest, PtzAnswersFollowTheDevicesCalibrationBehaviour) {
    struct {
        const char* calibration;
        std::vector<int> expected;  // results of successive calibration commands
    } cases[] = {
        {"accept", {1, 1, 1}},
        {"refuse", {0, 0, 0}},
        {"refuse_first", {0, 1, 1}},
        {"never", {1, 0, 0, 0}},
        {"after:2", {1, 0, 1, 0, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.calibration);
        devsim::Device& d = StartDevice(Config("IPC", {{"calibration", c.calibration}}));
        EventLog& log = NewLog();
        TQ_HANDLE h = LoggedIn(d, &log);
        auto client = MakeRecord<TQ_NET_ClientInfo>("127.0.0.1", d.Port(), "admin", "secret", nullptr, nullptr);
        TQ_HANDLE preview = TQ_NET_ClientStart(h, &client, 0);
        ASSERT_NE(preview, 0u);
        TQ_NET_PtzCommand cmd{0, {0x21, 0x00}};
        std::vector<int> results;
        for (size_t i = 0; i < c.expected.size(); ++i) results.push_back(TQ_NET_PTZCtrl(preview, &cmd));
        EXPECT_EQ(results, c.expected);
        // Other PTZ commands are not calibration and always go through.
        TQ_NET_PtzCommand other{0, {0x02, 0x00}};
        EXPECT_EQ(TQ_NET_PTZCtrl(preview, &other), 1);
        // The command travels on the preview, never on the login.
        EXPECT_EQ(TQ_NET_PTZCtrl(h, &cmd), 0);
        EXPECT_EQ(TQ_NET_ClientStop(preview), 1);
        EXPECT_EQ(TQ_NET_PTZCtrl(preview, &cmd), 0);
    }
}

// ---- Ending work that is still open ---------------------------------------------

TEST_F(TQDevLinkTest, LogoutOfAPendingLoginStopsItWithoutAnEvent) {
    devsim::EventRecorder& deviceEvents = m_deviceEvents;
    devsim::Device& d = StartDevice(Config("IPC", {{"silent", "1"}}), deviceEvents.Sink());
    ASSERT_EQ(TQ_NET_SetWaitTime(1, 1, 30), 1);
    EventLog& log = NewLog();
    auto info = LoginFor(d, &log);
    TQ_HANDLE h = TQ_NET_Login(&info);
    ASSERT_NE(h, 0u);
    // Once the device has the login request in hand, the library thread is
    // inside its 30 s reply wait.
    ASSERT_TRUE(deviceEvents.WaitFor("LOGIN (not answered)"));
    EXPECT_EQ(TQ_NET_Logout(h), 1);  // returns once the thread is gone
    EXPECT_TRUE(log.Events().empty());
}

TEST_F(TQDevLinkTest, CleanupEndsLoginsPreviewsAndPendingLogins) {
    devsim::Device& good = StartDevice(Config());
    devsim::EventRecorder& deviceEvents = m_deviceEvents;
    devsim::Device& silent = StartDevice(Config("IPC", {{"silent", "1"}}), deviceEvents.Sink());
    ASSERT_EQ(TQ_NET_SetWaitTime(1, 1, 30), 1);
    EventLog& log = NewLog();
    TQ_HANDLE h = LoggedIn(good, &log);
    auto client = MakeRecord<TQ_NET_ClientInfo>("127.0.0.1", good.Port(), "admin", "secret", nullptr, nullptr);
    TQ_HANDLE preview = TQ_NET_ClientStart(h, &client, 0);
    ASSERT_NE(preview, 0u);
    FrameCounter counter;
    TQ_NET_Window window{&FrameCounter::Draw, &counter};
    ASSERT_EQ(TQ_NET_ClientSetWnd(preview, &window), 1);
    ASSERT_TRUE(counter.WaitFrames(1));

    EventLog& pendingLog = NewLog();
    auto info = LoginFor(silent, &pendingLog);
    TQ_HANDLE pending = TQ_NET_Login(&info);
    ASSERT_TRUE(deviceEvents.WaitFor("LOGIN (not answered)"));

    size_t eventsBefore = log.Events().size();
    ASSERT_EQ(TQ_NET_Cleanup(), 1);
    counter.stopped = true;
    EXPECT_EQ(counter.drawsAfterStop.load(), 0);
    EXPECT_TRUE(pendingLog.Events().empty());
    EXPECT_EQ(log.Events().size(), eventsBefore) << "no preview-lost event for a deliberate end";
    TQ_NET_NetParam net{};
    EXPECT_EQ(TQ_NET_GetNetParam(h, 0, &net), 0);
    EXPECT_EQ(TQ_NET_Logout(h), 0);
    EXPECT_EQ(TQ_NET_Logout(pending), 0);
    EXPECT_EQ(TQ_NET_ClientStop(preview), 0);
    // The library is usable again afterwards.
    EventLog& again = NewLog();
    EXPECT_NE(LoggedIn(good, &again), 0u);
}

// The program's callback only posts a message, but a callback that logs its
// own login out must not deadlock the library.
TEST_F(TQDevLinkTest, CallbackMayLogItsOwnLoginOut) {
    devsim::Device& d = StartDevice(Config());
    struct Context {
        EventLog log;
        std::atomic<int> logoutResult{-1};
    } context;
    auto callback = [](uint32_t handle, uint32_t code, void* data, void* user) {
        auto* c = static_cast<Context*>(user);
        c->logoutResult = TQ_NET_Logout(handle);
        EventLog::Callback(handle, code, data, &c->log);
    };
    auto info = MakeRecord<TQ_NET_LoginInfo>("127.0.0.1", d.Port(), "admin", "secret", &context, callback);
    TQ_HANDLE h = TQ_NET_Login(&info);
    ASSERT_TRUE(context.log.WaitForCount(1));
    EXPECT_EQ(context.logoutResult.load(), 1);
    TQ_NET_NetParam net{};
    EXPECT_EQ(TQ_NET_GetNetParam(h, 0, &net), 0);
}

// ---- Devices that misbehave ------------------------------------------------------

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<uint8_t> Header(tqwire::Kind kind, uint16_t command, uint32_t length, uint8_t version = tqwire::kVersion) {
    auto h = tqwire::EncodeHeader(kind, command, 0, length);
    h[4] = version;
    return h;
}

struct BadAnswer {
    const char* name;
    std::function<bool(const FakeDevice&, int fd, uint16_t command)> send;
};

std::vector<BadAnswer> BadAnswers() {
    using tqwire::Kind;
    return {
        {"garbage", [](const FakeDevice&, int fd, uint16_t) { return FakeDevice::Send(fd, Bytes("HTTP/1.1 400 Bad Request\r\n\r\n")); }},
        {"huge length", [](const FakeDevice&, int fd, uint16_t c) { return FakeDevice::Send(fd, Header(Kind::kReply, c, 0xFFFFFFF0u)); }},
        {"length past the limit", [](const FakeDevice&, int fd, uint16_t c) { return FakeDevice::Send(fd, Header(Kind::kReply, c, tqwire::kMaxPayload + 1)); }},
        {"other version", [](const FakeDevice&, int fd, uint16_t c) { return FakeDevice::Send(fd, Header(Kind::kReply, c, 0, 9)); }},
        {"half a header, then close", [](const FakeDevice&, int fd, uint16_t c) {
             auto h = Header(Kind::kReply, c, 0);
             h.resize(7);
             FakeDevice::Send(fd, h);
             return false;
         }},
        {"promised payload never comes", [](const FakeDevice& dev, int fd, uint16_t c) {
             FakeDevice::Send(fd, Header(Kind::kReply, c, 100));
             return dev.Silence();
         }},
        {"answer to another command", [](const FakeDevice&, int fd, uint16_t) { return FakeDevice::Reply(fd, tqwire::kGetDeviceInfo, 0); }},
        {"a request instead of an answer", [](const FakeDevice&, int fd, uint16_t c) { return FakeDevice::Send(fd, Header(Kind::kRequest, c, 0)); }},
        {"silence", [](const FakeDevice& dev, int, uint16_t) { return dev.Silence(); }},
        {"close", [](const FakeDevice&, int, uint16_t) { return false; }},
    };
}

TEST_F(TQDevLinkTest, BrokenLoginAnswersFailTheLogin) {
    for (const auto& bad : BadAnswers()) {
        SCOPED_TRACE(bad.name);
        FakeDevice* self = nullptr;
        FakeDevice fake([&](const tqwire::Frame& request, int fd) { return bad.send(*self, fd, request.command); });
        self = &fake;
        EventLog& log = NewLog();
        auto info = MakeRecord<TQ_NET_LoginInfo>("127.0.0.1", fake.Port(), "admin", "x", &log, &EventLog::Callback);
        TQ_HANDLE h = TQ_NET_Login(&info);
        ASSERT_TRUE(log.WaitForCount(1));
        EXPECT_EQ(log.Events()[0].code, static_cast<uint32_t>(TQ_NET_EVENT_LOGIN_FAILED));
        EXPECT_EQ(TQ_NET_Logout(h), 1);
    }
}

TEST_F(TQDevLinkTest, BrokenAnswersFailTheCallAndDropTheConnection) {
    for (const auto& bad : BadAnswers()) {
        SCOPED_TRACE(bad.name);
        FakeDevice* self = nullptr;
        FakeDevice fake([&](const tqwire::Frame& request, int fd) {
            if (request.command == tqwire::kLogin) return FakeDevice::Reply(fd, tqwire::kLogin, tqwire::kOk);
            return bad.send(*self, fd, request.command);
        });
        self = &fake;
        EventLog& log = NewLog();
        auto info = MakeRecord<TQ_NET_LoginInfo>("127.0.0.1", fake.Port(), "admin", "x", &log, &EventLog::Callback);
        TQ_HANDLE h = TQ_NET_Login(&info);
        ASSERT_TRUE(log.WaitFor(TQ_NET_EVENT_LOGIN_OK));
        TQ_NET_NetParam net;
        std::memset(&net, 0xAB, sizeof net);
        EXPECT_EQ(TQ_NET_GetNetParam(h, 0, &net), 0);
        EXPECT_EQ(reinterpret_cast<const uint8_t*>(&net)[99], 0xAB);
        // Out of step: the library must not read a late answer as the next one.
        EXPECT_EQ(TQ_NET_GetNetParam(h, 0, &net), 0);
        EXPECT_EQ(TQ_NET_Logout(h), 1);
    }
}

TEST_F(TQDevLinkTest, WrongSizedRecordIsRejected) {
    FakeDevice fake([&](const tqwire::Frame& request, int fd) {
        if (request.command == tqwire::kLogin) return FakeDevice::Reply(fd, tqwire::kLogin, tqwire::kOk);
        return FakeDevice::Reply(fd, request.command, tqwire::kOk, std::vector<uint8_t>(60, 'x'));
    });
    EventLog& log = NewLog();
    auto info = MakeRecord<TQ_NET_LoginInfo>("127.0.0.1", fake.Port(), "admin", "x", &log, &EventLog::Callback);
    TQ_HANDLE h = TQ_NET_Login(&info);
    ASSERT_TRUE(log.WaitFor(TQ_NET_EVENT_LOGIN_OK));
    TQ_NET_P2PInfo p2p{};
    EXPECT_EQ(TQ_NET_GetP2P(h, &p2p), 0);
    EXPECT_EQ(p2p.szSerial[0], '\0');
}

TEST_F(TQDevLinkTest, MalformedPreviewFramesEndTheStreamWithoutADraw) {
    struct {
        const char* name;
        std::vector<uint8_t> frame;
    } cases[] = {
        {"zero width", [] {
             std::vector<uint8_t> p(tqwire::kFrameHeader, 0);
             tqwire::PutU16(&p[2], 240);
             tqwire::PutU32(&p[4], 1280);
             auto h = Header(tqwire::Kind::kPush, tqwire::kFrame, static_cast<uint32_t>(p.size()));
             h.insert(h.end(), p.begin(), p.end());
             return h;
         }()},
        {"pixels shorter than the size says", [] {
             std::vector<uint8_t> p(tqwire::kFrameHeader + 100, 0);
             tqwire::PutU16(&p[0], 320);
             tqwire::PutU16(&p[2], 240);
             tqwire::PutU32(&p[4], 1280);
             auto h = Header(tqwire::Kind::kPush, tqwire::kFrame, static_cast<uint32_t>(p.size()));
             h.insert(h.end(), p.begin(), p.end());
             return h;
         }()},
        {"huge length", Header(tqwire::Kind::kPush, tqwire::kFrame, 0x7FFFFFFFu)},
        {"garbage", Bytes("\xff\xfe garbage garbage garbage")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDevice fake([&](const tqwire::Frame& request, int fd) {
            if (request.command == tqwire::kStreamStart) {
                FakeDevice::Reply(fd, request.command, tqwire::kOk);
                FakeDevice::Send(fd, c.frame);
                return true;
            }
            return FakeDevice::Reply(fd, request.command, tqwire::kOk);
        });
        EventLog& log = NewLog();
        auto info = MakeRecord<TQ_NET_LoginInfo>("127.0.0.1", fake.Port(), "admin", "x", &log, &EventLog::Callback);
        TQ_HANDLE h = TQ_NET_Login(&info);
        ASSERT_TRUE(log.WaitFor(TQ_NET_EVENT_LOGIN_OK));
        auto client = MakeRecord<TQ_NET_ClientInfo>("127.0.0.1", fake.Port(), "admin", "x", nullptr, nullptr);
        TQ_HANDLE preview = TQ_NET_ClientStart(h, &client, 0);
        ASSERT_NE(preview, 0u);
        FrameCounter counter;
        TQ_NET_Window window{&FrameCounter::Draw, &counter};
        TQ_NET_ClientSetWnd(preview, &window);
        EXPECT_TRUE(log.WaitFor(TQ_NET_EVENT_PREVIEW_LOST));
        EXPECT_EQ(counter.frames, 0);
        TQ_NET_PtzCommand cmd{0, {0x21, 0x00}};
        EXPECT_EQ(TQ_NET_PTZCtrl(preview, &cmd), 0) << "a lost stream takes no commands";
        EXPECT_EQ(TQ_NET_ClientStop(preview), 1);
        EXPECT_EQ(TQ_NET_Logout(h), 1);
    }
}

}  // namespace
