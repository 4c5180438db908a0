// An emulated NVR: an HTTP/1.1 server like a recorder's built-in web server.
//
//   GET /ini.htm          the status page, 25 entries "key=value<br>"
//   GET /vb.htm?k=v&...   applies settings (see NvrDevice::kSettings below)
//
// Both need Basic authorization with the device's user and password; a
// request without it, or with wrong credentials, is answered
// "401 Unauthorized" with a WWW-Authenticate field. Answers carry
// Content-Length and the connection stays open for the next request (unless
// the client asked for "Connection: close" or spoke HTTP/1.0 without
// keep-alive).
//
// Behaviour keys of DeviceConfig::behaviour (a flag is on with "1", "true",
// "yes", "on" or an empty value, off with "0", "false", "no" or "off"):
//   refuse_login      every request is answered 401, whatever the credentials
//   refuse_mac        a /vb.htm request that sets "mac" is answered
//                     "403 Forbidden" and changes nothing
//   refuse_sn         the same for "setlongsesn"
//   silent            requests are read and logged but never answered
//   close_mid_header  each answer is cut off inside its header and the
//                     connection closed; the request itself takes effect
//   slow_ms=N         each answer waits N milliseconds first
//   idle_ms=N         a connection that sends nothing for N ms is closed
//                     (default 5000); a request must also arrive whole
//                     within N ms of its first byte
//   max_connections=N connections beyond N open ones are closed at once
//                     (default 512)
// A flag or number that does not parse makes Start() fail.
//
// Bad input never stops the device: a malformed request is answered 400
// (431 for a head over 8 KiB or 100 fields, 413 for a body over 64 KiB, 501
// for a chunked body, 505 for another HTTP version) and its connection
// closed; a bad value in a well-formed /vb.htm request is answered 400,
// changes nothing, and the connection stays open.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Device.h"
#include "HttpMessage.h"
#include "TcpServer.h"

namespace devsim {

// Everything the status page shows. `config` carries the values that
// DeviceConfig already has: netip is config.ip, mac is config.mac, and the
// serial number (not on the page) is config.sn.
struct NvrStatus {
    DeviceConfig config;
    std::string dns1 = "8.8.8.8";
    std::string dns2 = "0.0.0.0";
    int dhcpEnable = 0;
    int p2pEnable = 0;
    int httpPort = 0;  // 0 until Start(): then the port actually bound
    int rtspServerPort = 554;
    int tcpPort = 8000;
    std::string multicast = "239.255.42.42";
    int language = 1;
    int recycleRecord = 1;
    int drvId = 0;
    int outDevice = 0;
    int videoMode = 0;
    int resolution = 1;
    int standbyTime = 0;
    int sysDevType = 2;
    int sysChanNum = 8;
    std::string deviceType = "NVR";
    std::string softwareVersion = "V3.2.1 build 261120";
    std::string softwareDate = "2026-11-20";
    std::string devName;  // the device's name from its config unless set
};

// NvrDevice is thread-safe: State(), Status() and RequestLog() may be called
// from any thread while connections are served.
class NvrDevice final : public Device {
public:
    // The request log keeps this many of the newest requests, so that a
    // device under load for hours does not grow without bound.
    static constexpr size_t kMaxLoggedRequests = 100000;

    NvrDevice(const DeviceConfig& config, EventSink sink);
    ~NvrDevice() override;

    bool Start(std::string* error) override;
    void Stop() override;
    uint16_t Port() const override;
    // config.ip/netmask/gateway/mac/sn as written; config.port is the bound port.
    DeviceConfig State() const override;
    std::vector<std::string> RequestLog() const override;

    // Connections being served now (0 before Start and after Stop).
    size_t OpenConnections() const;

    // Every value of the status page, with accepted writes applied.
    NvrStatus Status() const;
    // The body that GET /ini.htm answers now.
    std::string StatusPage() const;

private:
    struct Answer {
        std::string bytes;
        bool close = false;
    };

    void Serve(int fd);
    Answer Respond(const http::RequestHead& head, bool clientWantsClose);
    Answer ApplySettings(std::string_view query, bool close);
    void Log(std::string request);
    void Emit(const std::string& event) const;
    // Sends `answer` as the behaviours say; false when the connection must end.
    bool Deliver(int fd, const Answer& answer);

    const std::string m_name;
    EventSink m_sink;
    bool m_refuseLogin = false;
    bool m_refuseMac = false;
    bool m_refuseSn = false;
    bool m_silent = false;
    bool m_closeMidHeader = false;
    std::chrono::milliseconds m_slow{0};
    std::chrono::milliseconds m_idle{5000};
    size_t m_maxConnections = 512;
    std::string m_configError;  // a behaviour value that did not parse

    mutable std::mutex m_stateMutex;
    NvrStatus m_status;

    mutable std::mutex m_logMutex;
    std::deque<std::string> m_log;

    std::unique_ptr<TcpServer> m_server;
};

}  // namespace devsim
