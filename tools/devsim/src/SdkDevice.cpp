// The emulated "IPC" and "DVR": devices that speak the TQDevLink wire
// protocol (platform/tqdevlink/PROTOCOL.md).
//
// Behaviours (DeviceConfig::behaviour; flags take 1/true/yes or 0/false/no):
//   refuse_login   every login is answered "wrong credentials"
//   refuse_mac     network-parameter writes are refused
//   refuse_sn      P2P (serial number) writes are refused
//   silent         connections are accepted and read, never answered
//   slow_ms=N      every answer waits N ms first
//   idle_ms=N      a connection with no request for N ms is closed (default 600000)
//   fps=N          preview frames a second, 1..30 (default 10)
//   calibration=   how lens calibration commands (PTZ 0x0021) on one preview
//                  connection are answered:
//                    accept        every one (default)
//                    refuse        none
//                    refuse_first  the first is refused, the rest accepted
//                    never         the first is accepted, none after it
//                    after:N       the first is accepted, then N-1 refused,
//                                  the Nth after the first accepted, and so on
#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "Device.h"
#include "FrameSource.h"
#include "TQDevLink.h"
#include "TcpServer.h"
#include "TqWire.h"

namespace devsim {

namespace {

using namespace std::chrono_literals;
using tqwire::Deadline;
using tqwire::Frame;
using tqwire::IoError;
using tqwire::Kind;

// A request must arrive whole within this time (or the idle time, if
// shorter) once its first byte has.
constexpr auto kRequestWait = 5s;
// A viewer that does not take a frame within this time is gone.
constexpr auto kFrameWriteWait = 2s;

struct Behaviour {
    bool refuseLogin = false;
    bool refuseMac = false;
    bool refuseSn = false;
    bool silent = false;
    std::chrono::milliseconds slow{0};
    std::chrono::milliseconds idle{600000};
    int fps = 10;
    enum class Calibration { kAccept, kRefuse, kRefuseFirst, kNever, kAfter } calibration = Calibration::kAccept;
    int calibrationAfter = 1;

    // Whether the calibration command number `n` (0 = first) on a
    // connection is accepted.
    bool AcceptsCalibration(int n) const {
        switch (calibration) {
            case Calibration::kAccept: return true;
            case Calibration::kRefuse: return false;
            case Calibration::kRefuseFirst: return n != 0;
            case Calibration::kNever: return n == 0;
            case Calibration::kAfter: return n % calibrationAfter == 0;
        }
        return true;
    }
};

bool ParseFlag(const std::string& text, bool* out) {
    if (text == "1" || text == "true" || text == "yes") return *out = true, true;
    if (text == "0" || text == "false" || text == "no") return *out = false, true;
    return false;
}

bool ParseInt(const std::string& text, int lo, int hi, int* out) {
    int v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < lo || v > hi) return false;
    *out = v;
    return true;
}

bool ParseBehaviour(const std::map<std::string, std::string>& keys, Behaviour* b, std::string* error) {
    for (const auto& [key, value] : keys) {
        bool ok = true;
        int n = 0;
        if (key == "refuse_login") ok = ParseFlag(value, &b->refuseLogin);
        else if (key == "refuse_mac") ok = ParseFlag(value, &b->refuseMac);
        else if (key == "refuse_sn") ok = ParseFlag(value, &b->refuseSn);
        else if (key == "silent") ok = ParseFlag(value, &b->silent);
        else if (key == "slow_ms") {
            ok = ParseInt(value, 0, 600000, &n);
            b->slow = std::chrono::milliseconds(n);
        } else if (key == "idle_ms") {
            ok = ParseInt(value, 100, 86400000, &n);
            b->idle = std::chrono::milliseconds(n);
        } else if (key == "fps") ok = ParseInt(value, 1, 30, &b->fps);
        else if (key == "calibration") {
            using C = Behaviour::Calibration;
            if (value == "accept") b->calibration = C::kAccept;
            else if (value == "refuse") b->calibration = C::kRefuse;
            else if (value == "refuse_first") b->calibration = C::kRefuseFirst;
            else if (value == "never") b->calibration = C::kNever;
            else if (value.rfind("after:", 0) == 0 && ParseInt(value.substr(6), 1, 100000, &b->calibrationAfter))
                b->calibration = C::kAfter;
            else ok = false;
        }
        // Other keys belong to other kinds of device.
        if (!ok) {
            if (error) *error = "bad value for " + key + ": \"" + value + "\"";
            return false;
        }
    }
    return true;
}

bool ValidIpv4(const std::string& text) {
    in_addr a{};
    return ::inet_pton(AF_INET, text.c_str(), &a) == 1;
}

bool ValidMac(const std::string& text) {
    if (text.size() != 17) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i % 3 == 2) {
            if (text[i] != ':') return false;
        } else if (!std::isxdigit(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    return true;
}

bool ValidSerial(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

const char* CommandName(uint16_t command) {
    switch (command) {
        case tqwire::kLogin: return "LOGIN";
        case tqwire::kLogout: return "LOGOUT";
        case tqwire::kGetNetParam: return "GET_NETPARAM";
        case tqwire::kSetNetParam: return "SET_NETPARAM";
        case tqwire::kGetP2P: return "GET_P2P";
        case tqwire::kSetP2P: return "SET_P2P";
        case tqwire::kGetDeviceInfo: return "GET_DEVICEINFO";
        case tqwire::kStreamStart: return "STREAM_START";
        case tqwire::kStreamStop: return "STREAM_STOP";
        case tqwire::kPtz: return "PTZ";
        default: return "UNKNOWN";
    }
}

const char* StatusName(uint16_t status) {
    switch (status) {
        case tqwire::kOk: return "ok";
        case tqwire::kAuthFailed: return "auth failed";
        case tqwire::kNotLoggedIn: return "not logged in";
        case tqwire::kRefused: return "refused";
        case tqwire::kBadRequest: return "bad request";
        case tqwire::kUnknownCommand: return "unknown command";
        case tqwire::kTooLarge: return "too large";
        case tqwire::kBadFrame: return "bad frame";
        default: return "?";
    }
}

// What one connection has been through.
struct Session {
    bool loggedIn = false;
    bool streaming = false;
    int calibrationCommands = 0;
    uint32_t sequence = 0;
    std::chrono::steady_clock::time_point nextFrame;
};

class SdkDevice final : public Device {
public:
    SdkDevice(const DeviceConfig& config, EventSink sink) : m_state(config), m_sink(std::move(sink)) {}
    ~SdkDevice() override { Stop(); }

    bool Start(std::string* error) override {
        if (m_server) {
            if (error) *error = "already started";
            return false;
        }
        if (m_state.type != "IPC" && m_state.type != "DVR") {
            if (error) *error = "an SDK device is \"IPC\" or \"DVR\", not \"" + m_state.type + "\"";
            return false;
        }
        if (!ParseBehaviour(m_state.behaviour, &m_behaviour, error)) return false;
        TcpServerOptions options;
        options.address = m_state.address;
        options.port = m_state.port;
        options.idleTimeout = m_behaviour.idle;
        m_server = std::make_unique<TcpServer>(options, [this](int fd) { ServeConnection(fd); });
        if (!m_server->Start(error)) {
            m_server.reset();
            return false;
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_state.port = m_server->Port();
        }
        Tell("listening on " + m_state.address + ":" + std::to_string(m_server->Port()));
        return true;
    }

    void Stop() override {
        if (m_server) m_server->Stop();
    }

    uint16_t Port() const override { return m_server ? m_server->Port() : 0; }

    DeviceConfig State() const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_state;
    }

    std::vector<std::string> RequestLog() const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_log;
    }

    void ServeConnection(int fd);

private:
    void Tell(const std::string& event) {
        if (m_sink) m_sink(m_state.name, event);
    }
    void Record(const std::string& entry) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_log.push_back(entry);
        }
        Tell(entry);
    }

    // Answers one well-formed request; *entry describes it for the log.
    uint16_t Handle(Session& s, const Frame& request, std::vector<uint8_t>* reply, std::string* entry);
    uint16_t Login(Session& s, const std::vector<uint8_t>& p, std::string* entry);
    uint16_t SetNetParam(const std::vector<uint8_t>& p, std::string* entry);
    uint16_t SetP2P(const std::vector<uint8_t>& p, std::string* entry);
    uint16_t Ptz(Session& s, const std::vector<uint8_t>& p, std::string* entry);
    std::vector<uint8_t> NetParamBytes() const;
    std::vector<uint8_t> P2PBytes() const;
    std::vector<uint8_t> DeviceInfoBytes() const;
    bool SendFrame(int fd, Session& s, const FrameSource& frames);

    mutable std::mutex m_mutex;  // m_state, m_log
    DeviceConfig m_state;
    std::vector<std::string> m_log;
    const EventSink m_sink;
    Behaviour m_behaviour;
    std::unique_ptr<TcpServer> m_server;
};

void SdkDevice::ServeConnection(int fd) {
    Session s;
    // The picture shows where it comes from: the device's address and port.
    const FrameSource frames(m_state.address + ":" + std::to_string(Port()));
    const auto framePeriod = std::chrono::milliseconds(1000 / m_behaviour.fps);
    for (;;) {
        auto now = std::chrono::steady_clock::now();
        Deadline until = Deadline::In(m_behaviour.idle);
        if (s.streaming) {
            if (now >= s.nextFrame) {
                if (!SendFrame(fd, s, frames)) return;
                s.nextFrame += framePeriod;
                if (s.nextFrame < now) s.nextFrame = now + framePeriod;  // fell behind: skip, do not burst
                continue;
            }
            until = Deadline::In(std::chrono::duration_cast<std::chrono::milliseconds>(s.nextFrame - now) + 1ms);
        }
        IoError e = tqwire::WaitReadable(fd, until, -1);
        if (e == IoError::kTimeout) {
            if (s.streaming) continue;
            Record("idle connection closed");
            return;
        }
        if (e != IoError::kNone) return;

        Frame request;
        e = tqwire::ReadFrame(fd, &request, tqwire::kMaxRequestPayload,
                              Deadline::In(std::min<std::chrono::milliseconds>(kRequestWait, m_behaviour.idle)), -1);
        if (e == IoError::kClosed || e == IoError::kSystem || e == IoError::kCancelled) return;
        if (e != IoError::kNone) {
            // The stream cannot be trusted past a bad header or a stalled frame: say why and hang up.
            Record(std::string("bad frame: ") + tqwire::IoErrorText(e) + ", connection closed");
            Frame answer;
            answer.kind = Kind::kReply;
            answer.command = e == IoError::kTooLarge ? request.command : 0;
            answer.status = e == IoError::kTooLarge ? tqwire::kTooLarge : tqwire::kBadFrame;
            tqwire::WriteFrame(fd, answer, Deadline::In(kFrameWriteWait), -1);
            return;
        }
        if (m_behaviour.silent) {
            Record(std::string(CommandName(request.command)) + " (not answered)");
            continue;
        }
        if (m_behaviour.slow.count() > 0 && !m_server->SleepUnlessStopping(m_behaviour.slow)) return;

        Frame answer;
        answer.kind = Kind::kReply;
        answer.command = request.command;
        std::string entry;
        answer.status = Handle(s, request, &answer.payload, &entry);
        Record(entry + " -> " + StatusName(answer.status));
        if (tqwire::WriteFrame(fd, answer, Deadline::In(kFrameWriteWait), -1) != IoError::kNone) return;
        if (request.command == tqwire::kLogout && answer.status == tqwire::kOk) return;
        if (request.command == tqwire::kStreamStart && answer.status == tqwire::kOk)
            s.nextFrame = std::chrono::steady_clock::now();
    }
}

uint16_t SdkDevice::Handle(Session& s, const Frame& request, std::vector<uint8_t>* reply, std::string* entry) {
    const auto& p = request.payload;
    *entry = CommandName(request.command);
    if (request.kind != Kind::kRequest) return tqwire::kBadRequest;
    if (request.command == tqwire::kLogin) return Login(s, p, entry);
    if (!s.loggedIn) return tqwire::kNotLoggedIn;
    auto expect = [&](size_t size) { return p.size() == size; };
    switch (request.command) {
        case tqwire::kLogout:
            s.loggedIn = false;
            return tqwire::kOk;
        case tqwire::kGetNetParam:
            if (!expect(tqwire::kChannelPayload)) return tqwire::kBadRequest;
            if (tqwire::GetU32(p.data()) != 0) return tqwire::kRefused;  // one channel: the device itself
            *reply = NetParamBytes();
            return tqwire::kOk;
        case tqwire::kSetNetParam: return SetNetParam(p, entry);
        case tqwire::kGetP2P:
            if (!expect(0)) return tqwire::kBadRequest;
            *reply = P2PBytes();
            return tqwire::kOk;
        case tqwire::kSetP2P: return SetP2P(p, entry);
        case tqwire::kGetDeviceInfo:
            if (!expect(0)) return tqwire::kBadRequest;
            *reply = DeviceInfoBytes();
            return tqwire::kOk;
        case tqwire::kStreamStart:
            s.streaming = true;
            return tqwire::kOk;
        case tqwire::kStreamStop:
            s.streaming = false;
            return tqwire::kOk;
        case tqwire::kPtz: return Ptz(s, p, entry);
        default:
            *entry += " " + std::to_string(request.command);
            return tqwire::kUnknownCommand;
    }
}

uint16_t SdkDevice::Login(Session& s, const std::vector<uint8_t>& p, std::string* entry) {
    if (p.size() != tqwire::kLoginPayload) return tqwire::kBadRequest;
    std::string user = tqwire::FieldText(&p[0], 32);
    std::string password = tqwire::FieldText(&p[32], 36);
    *entry += " user=" + user + " kind=" + (p[68] == 1 ? "DVR" : "IPC");
    bool match;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        match = user == m_state.user && password == m_state.password;
    }
    s.loggedIn = match && !m_behaviour.refuseLogin;
    return s.loggedIn ? tqwire::kOk : tqwire::kAuthFailed;
}

uint16_t SdkDevice::SetNetParam(const std::vector<uint8_t>& p, std::string* entry) {
    if (p.size() != tqwire::kChannelPayload + tqwire::kNetParamSize) return tqwire::kBadRequest;
    if (tqwire::GetU32(p.data()) != 0) return tqwire::kRefused;
    TQ_NET_NetParam param;
    std::memcpy(&param, p.data() + tqwire::kChannelPayload, sizeof param);
    std::string ip = tqwire::FieldText(param.szIp, sizeof param.szIp);
    std::string netmask = tqwire::FieldText(param.szNetmask, sizeof param.szNetmask);
    std::string gateway = tqwire::FieldText(param.szGateway, sizeof param.szGateway);
    std::string mac = tqwire::FieldText(param.szMac, sizeof param.szMac);
    *entry += " mac=" + mac + " ip=" + ip + " netmask=" + netmask + " gateway=" + gateway;
    if (m_behaviour.refuseMac) return tqwire::kRefused;
    // A record with an empty or broken address would cut the device off its network.
    if (!ValidMac(mac) || !ValidIpv4(ip) || !ValidIpv4(netmask) || !ValidIpv4(gateway)) return tqwire::kBadRequest;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_state.mac = mac;
    m_state.ip = ip;
    m_state.netmask = netmask;
    m_state.gateway = gateway;
    return tqwire::kOk;
}

uint16_t SdkDevice::SetP2P(const std::vector<uint8_t>& p, std::string* entry) {
    if (p.size() != tqwire::kP2PSize) return tqwire::kBadRequest;
    const auto* info = reinterpret_cast<const TQ_NET_P2PInfo*>(p.data());
    const char* field = info->szSerial;
    if (std::memchr(field, '\0', sizeof info->szSerial) == nullptr) {
        *entry += " sn too long";
        return tqwire::kBadRequest;
    }
    std::string sn(field);
    *entry += " sn=" + sn;
    if (m_behaviour.refuseSn) return tqwire::kRefused;
    if (!ValidSerial(sn)) return tqwire::kBadRequest;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_state.sn = sn;
    return tqwire::kOk;
}

uint16_t SdkDevice::Ptz(Session& s, const std::vector<uint8_t>& p, std::string* entry) {
    if (p.size() != tqwire::kPtzSize) return tqwire::kBadRequest;
    uint16_t code = tqwire::GetU16(&p[1]);
    char text[16];
    std::snprintf(text, sizeof text, " 0x%04x", code);
    *entry += text;
    if (code != TQ_NET_PTZ_LENS_CALIBRATION) return tqwire::kOk;
    bool accepted = m_behaviour.AcceptsCalibration(s.calibrationCommands++);
    return accepted ? tqwire::kOk : tqwire::kRefused;
}

std::vector<uint8_t> SdkDevice::NetParamBytes() const {
    TQ_NET_NetParam param{};
    std::lock_guard<std::mutex> lock(m_mutex);
    tqwire::SetFieldText(param.szIp, sizeof param.szIp, m_state.ip);
    tqwire::SetFieldText(param.szNetmask, sizeof param.szNetmask, m_state.netmask);
    tqwire::SetFieldText(param.szGateway, sizeof param.szGateway, m_state.gateway);
    tqwire::SetFieldText(param.szDns, sizeof param.szDns, m_state.gateway);
    tqwire::PutU16(reinterpret_cast<uint8_t*>(&param.wSdkPort), m_state.port);
    tqwire::PutU16(reinterpret_cast<uint8_t*>(&param.wHttpPort), 80);
    tqwire::SetFieldText(param.szMac, sizeof param.szMac, m_state.mac);
    const uint8_t* b = reinterpret_cast<const uint8_t*>(&param);
    return std::vector<uint8_t>(b, b + sizeof param);
}

std::vector<uint8_t> SdkDevice::P2PBytes() const {
    TQ_NET_P2PInfo info{};
    info.byEnable = 1;
    std::lock_guard<std::mutex> lock(m_mutex);
    tqwire::SetFieldText(info.szSerial, sizeof info.szSerial, m_state.sn);
    const uint8_t* b = reinterpret_cast<const uint8_t*>(&info);
    return std::vector<uint8_t>(b, b + sizeof info);
}

std::vector<uint8_t> SdkDevice::DeviceInfoBytes() const {
    TQ_NET_DeviceInfo info{};
    std::lock_guard<std::mutex> lock(m_mutex);
    info.byDeviceKind = m_state.type == "DVR" ? 1 : 0;
    info.byModelCode = m_state.modelCode;
    tqwire::SetFieldText(info.szName, sizeof info.szName, m_state.name);
    tqwire::SetFieldText(info.szFirmware, sizeof info.szFirmware, "devsim 1");
    const uint8_t* b = reinterpret_cast<const uint8_t*>(&info);
    return std::vector<uint8_t>(b, b + sizeof info);
}

bool SdkDevice::SendFrame(int fd, Session& s, const FrameSource& frames) {
    Frame push;
    push.kind = Kind::kPush;
    push.command = tqwire::kFrame;
    std::vector<uint8_t> pixels;
    frames.Render(s.sequence, &pixels);
    push.payload.resize(tqwire::kFrameHeader);
    tqwire::PutU16(&push.payload[0], static_cast<uint16_t>(frames.Width()));
    tqwire::PutU16(&push.payload[2], static_cast<uint16_t>(frames.Height()));
    tqwire::PutU32(&push.payload[4], static_cast<uint32_t>(frames.Stride()));
    tqwire::PutU32(&push.payload[8], s.sequence++);
    push.payload.insert(push.payload.end(), pixels.begin(), pixels.end());
    return tqwire::WriteFrame(fd, push, Deadline::In(kFrameWriteWait), -1) == IoError::kNone;
}

}  // namespace

std::unique_ptr<Device> MakeSdkDevice(const DeviceConfig& config, EventSink sink) {
    return std::make_unique<SdkDevice>(config, std::move(sink));
}

}  // namespace devsim
