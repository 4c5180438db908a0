// The emulated SDK devices at the wire: what they answer to good, bad and
// missing requests, and that they keep going afterwards.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <mutex>

#include "Device.h"
#include "EventRecorder.h"
#include "TqWire.h"

namespace {

using namespace std::chrono_literals;
using tqwire::Deadline;
using tqwire::Frame;
using tqwire::IoError;
using tqwire::Kind;

devsim::DeviceConfig Config(std::map<std::string, std::string> behaviour = {}) {
    devsim::DeviceConfig c;
    c.name = "cam";
    c.type = "IPC";
    c.password = "pw";
    c.behaviour = std::move(behaviour);
    return c;
}

std::unique_ptr<devsim::Device> Start(const devsim::DeviceConfig& config, devsim::EventSink sink = nullptr) {
    auto d = devsim::MakeSdkDevice(config, std::move(sink));
    std::string error;
    EXPECT_TRUE(d->Start(&error)) << error;
    return d;
}

// A raw client connection to a device.
class Client {
public:
    explicit Client(uint16_t port) {
        EXPECT_EQ(tqwire::Connect("127.0.0.1", port, Deadline::In(5s), -1, &m_fd), IoError::kNone);
    }
    ~Client() {
        if (m_fd >= 0) ::close(m_fd);
    }
    bool SendBytes(const std::vector<uint8_t>& bytes) {
        return tqwire::WriteAll(m_fd, bytes.data(), bytes.size(), Deadline::In(5s), -1) == IoError::kNone;
    }
    // Sends a request and returns the reply's status, or -1 without a reply.
    int Ask(uint16_t command, std::vector<uint8_t> payload = {}, Kind kind = Kind::kRequest,
            std::vector<uint8_t>* reply = nullptr) {
        Frame f;
        f.kind = kind;
        f.command = command;
        f.payload = std::move(payload);
        if (tqwire::WriteFrame(m_fd, f, Deadline::In(5s), -1) != IoError::kNone) return -1;
        return Answer(reply);
    }
    int Answer(std::vector<uint8_t>* reply = nullptr, std::chrono::milliseconds wait = 5s) {
        Frame r;
        do {
            if (tqwire::ReadFrame(m_fd, &r, tqwire::kMaxPayload, Deadline::In(wait), -1) != IoError::kNone) return -1;
        } while (r.kind == Kind::kPush);
        if (reply) *reply = r.payload;
        return r.status;
    }
    bool Login(const std::string& user = "admin", const std::string& password = "pw") {
        std::vector<uint8_t> p(tqwire::kLoginPayload, 0);
        tqwire::SetFieldText(&p[0], 32, user);
        tqwire::SetFieldText(&p[32], 36, password);
        return Ask(tqwire::kLogin, p) == tqwire::kOk;
    }
    // True when the device has closed the connection (within 10 s).
    bool ClosedByDevice() {
        Frame r;
        for (;;) {
            IoError e = tqwire::ReadFrame(m_fd, &r, tqwire::kMaxPayload, Deadline::In(10s), -1);
            if (e == IoError::kClosed) return true;
            if (e != IoError::kNone) return false;
        }
    }
    int Fd() const { return m_fd; }

private:
    int m_fd = -1;
};

std::vector<uint8_t> Channel(uint32_t c) {
    std::vector<uint8_t> p(4);
    tqwire::PutU32(p.data(), c);
    return p;
}

TEST(SdkDevice, BrokenFramesAreAnsweredThenTheConnectionIsClosedAndTheDeviceGoesOn) {
    auto device = Start(Config());
    struct {
        const char* name;
        std::vector<uint8_t> bytes;
        int status;
    } cases[] = {
        {"wrong magic", {'H', 'T', 'T', 'P', '/', '1', '.', '1', ' ', '2', '0', '0', ' ', 'O', 'K', '\n'}, tqwire::kBadFrame},
        {"other version", [] { auto h = tqwire::EncodeHeader(Kind::kRequest, 1, 0, 0); h[4] = 2; return h; }(), tqwire::kBadFrame},
        {"unknown kind", [] { auto h = tqwire::EncodeHeader(Kind::kRequest, 1, 0, 0); h[5] = 7; return h; }(), tqwire::kBadFrame},
        {"length over the bound", tqwire::EncodeHeader(Kind::kRequest, tqwire::kSetP2P, 0, tqwire::kMaxRequestPayload + 1), tqwire::kTooLarge},
        {"huge length", tqwire::EncodeHeader(Kind::kRequest, tqwire::kSetP2P, 0, 0xFFFFFFFFu), tqwire::kTooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Client client(device->Port());
        ASSERT_TRUE(client.SendBytes(c.bytes));
        EXPECT_EQ(client.Answer(), c.status);
        EXPECT_TRUE(client.ClosedByDevice());
        Client next(device->Port());
        EXPECT_TRUE(next.Login()) << "the device must go on serving";
    }
}

TEST(SdkDevice, BadRequestsAreAnsweredAndTheConnectionStaysUsable) {
    auto device = Start(Config());
    std::vector<uint8_t> p2pWithoutEnd(tqwire::kP2PSize, 'A');
    std::vector<uint8_t> badMac = Channel(0);
    badMac.resize(4 + tqwire::kNetParamSize, 0);
    std::memcpy(&badMac[4], "192.168.1.10", 12);
    std::memcpy(&badMac[4 + 16], "255.255.255.0", 13);
    std::memcpy(&badMac[4 + 32], "192.168.1.1", 11);
    std::memcpy(&badMac[4 + 82], "zz:11:22:33:44:55", 17);
    struct {
        const char* name;
        uint16_t command;
        std::vector<uint8_t> payload;
        Kind kind;
        int status;
    } cases[] = {
        {"unknown command", 0x7777, {}, Kind::kRequest, tqwire::kUnknownCommand},
        {"reply sent as a request", tqwire::kGetP2P, {}, Kind::kReply, tqwire::kBadRequest},
        {"payload of the wrong size", tqwire::kGetNetParam, {1, 2}, Kind::kRequest, tqwire::kBadRequest},
        {"short PTZ command", tqwire::kPtz, {0, 0x21}, Kind::kRequest, tqwire::kBadRequest},
        {"MAC that is not hex", tqwire::kSetNetParam, badMac, Kind::kRequest, tqwire::kBadRequest},
        {"serial number without an end", tqwire::kSetP2P, p2pWithoutEnd, Kind::kRequest, tqwire::kBadRequest},
        {"channel the device does not have", tqwire::kGetNetParam, Channel(3), Kind::kRequest, tqwire::kRefused},
        {"login payload of the wrong size", tqwire::kLogin, {1, 2, 3}, Kind::kRequest, tqwire::kBadRequest},
    };
    Client client(device->Port());
    ASSERT_TRUE(client.Login());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(client.Ask(c.command, c.payload, c.kind), c.status);
        std::vector<uint8_t> info;
        EXPECT_EQ(client.Ask(tqwire::kGetDeviceInfo, {}, Kind::kRequest, &info), tqwire::kOk);
        EXPECT_EQ(info.size(), tqwire::kDeviceInfoSize);
    }
    EXPECT_EQ(device->State().mac, "00:11:22:33:44:55");
}

TEST(SdkDevice, NothingIsServedBeforeALoginAndAWrongLoginCanBeRetried) {
    auto device = Start(Config());
    Client client(device->Port());
    EXPECT_EQ(client.Ask(tqwire::kGetNetParam, Channel(0)), tqwire::kNotLoggedIn);
    EXPECT_EQ(client.Ask(tqwire::kStreamStart), tqwire::kNotLoggedIn);
    EXPECT_FALSE(client.Login("admin", "wrong"));
    EXPECT_FALSE(client.Login("root", "pw"));
    EXPECT_TRUE(client.Login());
    EXPECT_EQ(client.Ask(tqwire::kGetNetParam, Channel(0)), tqwire::kOk);
    EXPECT_EQ(client.Ask(tqwire::kLogout), tqwire::kOk);
    EXPECT_TRUE(client.ClosedByDevice());
    auto log = device->RequestLog();
    ASSERT_EQ(log.size(), 7u);
    EXPECT_EQ(log[0], "GET_NETPARAM -> not logged in");
    EXPECT_EQ(log[2], "LOGIN user=admin kind=IPC -> auth failed");
    EXPECT_EQ(log[4], "LOGIN user=admin kind=IPC -> ok");
}

TEST(SdkDevice, SilentAndStalledPeersAreCutOffAfterTheIdleTime) {
    devsim::EventRecorder reports;
    auto device = Start(Config({{"idle_ms", "300"}}), reports.Sink());
    Client silent(device->Port());
    EXPECT_TRUE(silent.ClosedByDevice());
    EXPECT_TRUE(reports.WaitFor("idle connection closed"));

    Client stalled(device->Port());
    auto header = tqwire::EncodeHeader(Kind::kRequest, tqwire::kLogin, 0, tqwire::kLoginPayload);
    ASSERT_TRUE(stalled.SendBytes(header));  // the payload never follows
    EXPECT_EQ(stalled.Answer(), tqwire::kBadFrame);
    EXPECT_TRUE(stalled.ClosedByDevice());
    EXPECT_TRUE(reports.WaitFor("bad frame: timed out"));

    Client after(device->Port());
    EXPECT_TRUE(after.Login());
}

TEST(SdkDevice, SilentBehaviourLogsRequestsButNeverAnswers) {
    devsim::EventRecorder reports;
    auto device = Start(Config({{"silent", "1"}}), reports.Sink());
    Client client(device->Port());
    std::vector<uint8_t> p(tqwire::kLoginPayload, 0);
    Frame f;
    f.command = tqwire::kLogin;
    f.payload = p;
    ASSERT_EQ(tqwire::WriteFrame(client.Fd(), f, Deadline::In(5s), -1), IoError::kNone);
    EXPECT_TRUE(reports.WaitFor("LOGIN (not answered)"));
    EXPECT_EQ(client.Answer(nullptr, 300ms), -1);
    EXPECT_EQ(device->RequestLog(), std::vector<std::string>{"LOGIN (not answered)"});
}

TEST(SdkDevice, StreamPushesFramesBetweenRepliesAndStopEndsEverything) {
    auto device = Start(Config());
    Client viewer(device->Port());
    ASSERT_TRUE(viewer.Login());
    ASSERT_EQ(viewer.Ask(tqwire::kStreamStart), tqwire::kOk);
    Frame push;
    ASSERT_EQ(tqwire::ReadFrame(viewer.Fd(), &push, tqwire::kMaxPayload, Deadline::In(5s), -1), IoError::kNone);
    EXPECT_EQ(push.kind, Kind::kPush);
    EXPECT_EQ(push.command, tqwire::kFrame);
    ASSERT_EQ(push.payload.size(), tqwire::kFrameHeader + 320u * 240u * 4u);
    EXPECT_EQ(tqwire::GetU16(&push.payload[0]), 320);
    EXPECT_EQ(tqwire::GetU16(&push.payload[2]), 240);
    // A command in the middle of the stream still gets its answer.
    EXPECT_EQ(viewer.Ask(tqwire::kPtz, {0, 0x21, 0}), tqwire::kOk);

    Client idle(device->Port());
    ASSERT_TRUE(idle.Login());
    device->Stop();  // returns only when both handlers have
    EXPECT_TRUE(viewer.ClosedByDevice());
    EXPECT_TRUE(idle.ClosedByDevice());
    device->Stop();
}

TEST(SdkDevice, BadSettingsStopTheStart) {
    struct {
        const char* key;
        const char* value;
    } cases[] = {{"slow_ms", "abc"}, {"idle_ms", "5"}, {"calibration", "sometimes"}, {"calibration", "after:0"},
                 {"refuse_mac", "maybe"}, {"fps", "0"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        auto d = devsim::MakeSdkDevice(Config({{c.key, c.value}}), nullptr);
        std::string error;
        EXPECT_FALSE(d->Start(&error));
        EXPECT_NE(error.find(c.key), std::string::npos) << error;
    }
    auto nvr = Config();
    nvr.type = "NVR";
    std::string error;
    EXPECT_FALSE(devsim::MakeSdkDevice(nvr, nullptr)->Start(&error));
    auto outside = Config();
    outside.address = "10.0.0.1";
    EXPECT_FALSE(devsim::MakeSdkDevice(outside, nullptr)->Start(&error));
}

}  // namespace
