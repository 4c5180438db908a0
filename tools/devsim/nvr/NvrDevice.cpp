#include "NvrDevice.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <functional>
#include <utility>

namespace devsim {

namespace {

constexpr size_t kMaxSerialBytes = 128;
constexpr size_t kMaxTextBytes = 64;

// A flag is on with "1", "true", "yes", "on" or no value, off with "0",
// "false", "no" or "off"; anything else is a mistake in the fleet's settings.
bool FlagBehaviour(const std::map<std::string, std::string>& behaviour, const char* key, bool* on,
                   std::string* error) {
    auto it = behaviour.find(key);
    if (it == behaviour.end()) return true;
    std::string v = it->second;
    std::transform(v.begin(), v.end(), v.begin(), [](unsigned char c) { return std::tolower(c); });
    if (v.empty() || v == "1" || v == "true" || v == "yes" || v == "on") {
        *on = true;
    } else if (v == "0" || v == "false" || v == "no" || v == "off") {
        *on = false;
    } else {
        *error = std::string("behaviour ") + key + "=" + it->second + " is neither on nor off";
        return false;
    }
    return true;
}

// Reads a whole decimal number in [lo, hi]; false otherwise.
bool ParseNumber(std::string_view text, long long lo, long long hi, long long* out) {
    long long v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() || v < lo || v > hi) return false;
    *out = v;
    return true;
}

bool NumberBehaviour(const std::map<std::string, std::string>& behaviour, const char* key, long long lo,
                     long long hi, long long* out, std::string* error) {
    auto it = behaviour.find(key);
    if (it == behaviour.end()) return true;
    if (ParseNumber(it->second, lo, hi, out)) return true;
    *error = std::string("behaviour ") + key + "=" + it->second + " is not a number from " + std::to_string(lo) +
             " to " + std::to_string(hi);
    return false;
}

bool IsIpv4(const std::string& text) {
    in_addr a{};
    return ::inet_pton(AF_INET, text.c_str(), &a) == 1;
}

// "00:11:22:AA:BB:CC", either letter case; *out gets the upper-case form.
bool ParseMac(const std::string& text, std::string* out) {
    if (text.size() != 17) return false;
    std::string mac = text;
    for (size_t i = 0; i < mac.size(); ++i) {
        if (i % 3 == 2) {
            if (mac[i] != ':') return false;
        } else {
            if (!std::isxdigit(static_cast<unsigned char>(mac[i]))) return false;
            mac[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(mac[i])));
        }
    }
    *out = std::move(mac);
    return true;
}

// Text that can stand on the status page: no control characters, and no
// '<' or '>' that could forge an entry separator.
bool IsPageText(const std::string& text) {
    if (text.size() > kMaxTextBytes) return false;
    return std::none_of(text.begin(), text.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f || c == '<' || c == '>';
    });
}

bool IsSerial(const std::string& text) {
    if (text.empty() || text.size() > kMaxSerialBytes) return false;
    return std::none_of(text.begin(), text.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

// One setting that /vb.htm accepts: how to check a value and where it goes.
struct Setting {
    const char* name;
    // Checks `value`; on success returns a function that stores it.
    std::function<bool(const std::string& value, std::function<void(NvrStatus&)>* store)> check;
};

std::function<bool(const std::string&, std::function<void(NvrStatus&)>*)> Ipv4Into(
    std::string NvrStatus::*member) {
    return [member](const std::string& v, std::function<void(NvrStatus&)>* store) {
        if (!IsIpv4(v)) return false;
        *store = [member, v](NvrStatus& s) { s.*member = v; };
        return true;
    };
}

std::function<bool(const std::string&, std::function<void(NvrStatus&)>*)> ConfigIpv4Into(
    std::string DeviceConfig::*member) {
    return [member](const std::string& v, std::function<void(NvrStatus&)>* store) {
        if (!IsIpv4(v)) return false;
        *store = [member, v](NvrStatus& s) { s.config.*member = v; };
        return true;
    };
}

std::function<bool(const std::string&, std::function<void(NvrStatus&)>*)> NumberInto(int NvrStatus::*member,
                                                                                         long long lo, long long hi) {
    return [member, lo, hi](const std::string& v, std::function<void(NvrStatus&)>* store) {
        long long n = 0;
        if (!ParseNumber(v, lo, hi, &n)) return false;
        *store = [member, n](NvrStatus& s) { s.*member = static_cast<int>(n); };
        return true;
    };
}

const std::vector<Setting>& Settings() {
    static const std::vector<Setting> settings = {
        // The account the command is made for. The device has one account
        // and the request is already authorised for it, so the name changes
        // nothing; it is checked only for being sane text.
        {"setuser",
         [](const std::string& v, std::function<void(NvrStatus&)>* store) {
             if (!IsPageText(v)) return false;
             *store = [](NvrStatus&) {};
             return true;
         }},
        {"netip", ConfigIpv4Into(&DeviceConfig::ip)},
        {"netmask", ConfigIpv4Into(&DeviceConfig::netmask)},
        {"gateway", ConfigIpv4Into(&DeviceConfig::gateway)},
        {"dns1", Ipv4Into(&NvrStatus::dns1)},
        {"dns2", Ipv4Into(&NvrStatus::dns2)},
        {"mac",
         [](const std::string& v, std::function<void(NvrStatus&)>* store) {
             std::string mac;
             if (!ParseMac(v, &mac)) return false;
             *store = [mac](NvrStatus& s) { s.config.mac = mac; };
             return true;
         }},
        {"dhcpenable", NumberInto(&NvrStatus::dhcpEnable, 0, 1)},
        {"rtspserverport", NumberInto(&NvrStatus::rtspServerPort, 1, 65535)},
        {"tcpport", NumberInto(&NvrStatus::tcpPort, 1, 65535)},
        // Stored and shown; the device keeps listening where it started,
        // as the emulator cannot move a running listener under its clients.
        {"httpport", NumberInto(&NvrStatus::httpPort, 1, 65535)},
        {"multicast",
         [](const std::string& v, std::function<void(NvrStatus&)>* store) {
             if (!IsPageText(v)) return false;
             *store = [v](NvrStatus& s) { s.multicast = v; };
             return true;
         }},
        {"setlongsesn",
         [](const std::string& v, std::function<void(NvrStatus&)>* store) {
             if (!IsSerial(v)) return false;
             *store = [v](NvrStatus& s) { s.config.sn = v; };
             return true;
         }},
    };
    return settings;
}

const Setting* FindSetting(std::string_view name) {
    for (const auto& s : Settings()) {
        if (name == s.name) return &s;
    }
    return nullptr;
}

std::string Printable(std::string_view bytes) {
    std::string out;
    for (char c : bytes.substr(0, 120)) {
        auto u = static_cast<unsigned char>(c);
        out += (u >= 0x20 && u < 0x7f) ? c : '.';
    }
    if (bytes.size() > 120) out += "...";
    return out;
}

const std::vector<std::string> kAuthenticate = {"WWW-Authenticate: Basic realm=\"devsim\""};
const std::vector<std::string> kNoFields;

std::string Reply(int status, std::string_view reason, std::string_view body, bool close,
                  const std::vector<std::string>& fields = kNoFields) {
    return http::FormatResponse(status, reason, fields, "text/html", body, close);
}

}  // namespace

NvrDevice::NvrDevice(const DeviceConfig& config, EventSink sink) : m_name(config.name), m_sink(std::move(sink)) {
    m_status.config = config;
    m_status.config.type = "NVR";
    m_status.devName = config.name.empty() ? "NVR" : config.name;
    const auto& b = config.behaviour;
    long long slow = 0, idle = m_idle.count(), maxConnections = static_cast<long long>(m_maxConnections);
    if (FlagBehaviour(b, "refuse_login", &m_refuseLogin, &m_configError) &&
        FlagBehaviour(b, "refuse_mac", &m_refuseMac, &m_configError) &&
        FlagBehaviour(b, "refuse_sn", &m_refuseSn, &m_configError) &&
        FlagBehaviour(b, "silent", &m_silent, &m_configError) &&
        FlagBehaviour(b, "close_mid_header", &m_closeMidHeader, &m_configError) &&
        NumberBehaviour(b, "slow_ms", 0, 600000, &slow, &m_configError) &&
        NumberBehaviour(b, "idle_ms", 1, 3600000, &idle, &m_configError) &&
        NumberBehaviour(b, "max_connections", 1, 100000, &maxConnections, &m_configError)) {
        m_slow = std::chrono::milliseconds(slow);
        m_idle = std::chrono::milliseconds(idle);
        m_maxConnections = static_cast<size_t>(maxConnections);
    }
}

NvrDevice::~NvrDevice() { Stop(); }

bool NvrDevice::Start(std::string* error) {
    if (!m_configError.empty()) {
        if (error != nullptr) *error = m_configError;
        return false;
    }
    if (m_server) {
        if (error != nullptr) *error = "device already started";
        return false;
    }
    TcpServerOptions options;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        options.address = m_status.config.address;
        options.port = m_status.config.port;
    }
    options.maxConnections = m_maxConnections;
    options.idleTimeout = m_idle;
    m_server = std::make_unique<TcpServer>(options, [this](int fd) { Serve(fd); });
    if (!m_server->Start(error)) return false;
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_status.config.port = m_server->Port();
    if (m_status.httpPort == 0) m_status.httpPort = m_server->Port();
    return true;
}

void NvrDevice::Stop() {
    if (m_server) m_server->Stop();
}

uint16_t NvrDevice::Port() const { return m_server ? m_server->Port() : 0; }

size_t NvrDevice::OpenConnections() const { return m_server ? m_server->OpenConnections() : 0; }

DeviceConfig NvrDevice::State() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_status.config;
}

NvrStatus NvrDevice::Status() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_status;
}

std::vector<std::string> NvrDevice::RequestLog() const {
    std::lock_guard<std::mutex> lock(m_logMutex);
    return {m_log.begin(), m_log.end()};
}

std::string NvrDevice::StatusPage() const {
    const NvrStatus s = Status();
    std::string page;
    page.reserve(640);
    auto text = [&page](const char* key, const std::string& value) {
        page += key;
        page += '=';
        page += value;
        page += "<br>";
    };
    auto number = [&text](const char* key, int value) { text(key, std::to_string(value)); };
    text("netip", s.config.ip);
    text("netmask", s.config.netmask);
    text("gateway", s.config.gateway);
    text("dns1", s.dns1);
    text("dns2", s.dns2);
    text("mac", s.config.mac);
    number("dhcpenable", s.dhcpEnable);
    number("p2penable", s.p2pEnable);
    number("httpport", s.httpPort);
    number("rtspserverport", s.rtspServerPort);
    number("tcpport", s.tcpPort);
    text("multicast", s.multicast);
    number("getlanguage", s.language);
    number("getrecyclerecord", s.recycleRecord);
    number("getdrvid", s.drvId);
    number("getoutdevice", s.outDevice);
    number("getvideomode", s.videoMode);
    number("getresolution", s.resolution);
    number("getstandbytime", s.standbyTime);
    number("getsysdevtype", s.sysDevType);
    number("getsyschannum", s.sysChanNum);
    text("getdevicetype", s.deviceType);
    text("getsoftwareversion", s.softwareVersion);
    text("getsoftwaredate", s.softwareDate);
    text("getdevname", s.devName);
    return page;
}

void NvrDevice::Log(std::string request) {
    std::lock_guard<std::mutex> lock(m_logMutex);
    if (m_log.size() == kMaxLoggedRequests) m_log.pop_front();
    m_log.push_back(std::move(request));
}

void NvrDevice::Emit(const std::string& event) const {
    if (m_sink) m_sink(m_name, event);
}

bool NvrDevice::Deliver(int fd, const Answer& answer) {
    if (m_silent) return true;
    if (m_slow.count() > 0 && !m_server->SleepUnlessStopping(m_slow)) return false;
    if (m_closeMidHeader) {
        // Half of the header: the status line and some fields, no end.
        size_t headEnd = answer.bytes.find("\r\n\r\n");
        TcpServer::WriteAll(fd, std::string_view(answer.bytes).substr(0, headEnd / 2), m_idle);
        return false;
    }
    return TcpServer::WriteAll(fd, answer.bytes, m_idle) == IoStatus::kOk && !answer.close;
}

void NvrDevice::Serve(int fd) {
    std::string buffer;
    char chunk[16384];
    for (;;) {
        // Read until one whole head is in the buffer. Bytes of a following
        // request (pipelining) stay in the buffer for the next round.
        size_t headEnd;
        auto requestDeadline = std::chrono::steady_clock::time_point::max();
        while ((headEnd = http::FindHeadEnd(buffer)) == std::string::npos) {
            if (buffer.size() > http::kMaxHeadBytes) {
                Log(buffer);
                Emit("rejected: request head over " + std::to_string(http::kMaxHeadBytes) + " bytes");
                Deliver(fd, {Reply(431, "Request Header Fields Too Large", "Request header too large\r\n", true), true});
                return;
            }
            const bool partial = buffer.find_first_not_of("\r\n") != std::string::npos;
            if (partial && requestDeadline == std::chrono::steady_clock::time_point::max()) {
                requestDeadline = std::chrono::steady_clock::now() + m_idle;
            }
            auto wait = m_idle;
            if (partial) {
                wait = std::chrono::ceil<std::chrono::milliseconds>(requestDeadline - std::chrono::steady_clock::now());
            }
            size_t got = 0;
            IoStatus st = wait.count() > 0 ? TcpServer::ReadSome(fd, chunk, sizeof chunk, wait, &got)
                                           : IoStatus::kTimeout;
            if (st != IoStatus::kOk) {
                if (partial) {
                    Log(buffer);
                    Emit("incomplete request dropped: " + Printable(buffer));
                    if (st == IoStatus::kTimeout) {
                        Deliver(fd, {Reply(408, "Request Timeout", "Request timeout\r\n", true), true});
                    }
                }
                return;
            }
            buffer.append(chunk, got);
        }

        http::RequestHead head;
        std::string reason;
        const std::string_view headBytes(buffer.data(), headEnd);
        const http::HeadError headError =
            headEnd > http::kMaxHeadBytes ? http::HeadError::kTooManyFields
                                          : http::ParseRequestHead(headBytes, &head, &reason);
        if (headError != http::HeadError::kNone) {
            Log(std::string(headBytes));
            Answer answer;
            switch (headError) {
                case http::HeadError::kTooManyFields:
                    answer.bytes = Reply(431, "Request Header Fields Too Large", "Request header too large\r\n", true);
                    break;
                case http::HeadError::kVersion:
                    answer.bytes = Reply(505, "HTTP Version Not Supported", "HTTP version not supported\r\n", true);
                    break;
                default:
                    answer.bytes = Reply(400, "Bad Request", "Bad request: " + reason + "\r\n", true);
            }
            Emit("rejected: " + answer.bytes.substr(9, answer.bytes.find('\r') - 9) + " for " +
                 Printable(headBytes));
            Deliver(fd, answer);
            return;  // framing is lost after a bad head: start afresh on a new connection
        }

        // The body: Content-Length framing only.
        size_t bodyLength = 0;
        std::string refusal;
        int refusalStatus = 0;
        if (head.Field("Transfer-Encoding") != nullptr) {
            refusalStatus = 501;
            refusal = "Not Implemented";
        } else if (const std::string* cl = head.Field("Content-Length")) {
            long long n = 0;
            bool consistent = true;
            for (const auto& [name, value] : head.fields) {
                // Differing lengths are a way to smuggle a request (RFC 9112, 6.3).
                if (http::EqualsIgnoreCase(name, "Content-Length") && value != *cl) consistent = false;
            }
            if (!consistent || !ParseNumber(*cl, 0, 1LL << 40, &n)) {
                refusalStatus = 400;
                refusal = "Bad Request";
            } else if (static_cast<size_t>(n) > http::kMaxBodyBytes) {
                refusalStatus = 413;
                refusal = "Content Too Large";
            } else {
                bodyLength = static_cast<size_t>(n);
            }
        }
        if (refusalStatus == 0 && head.minorVersion == 1 && head.Field("Host") == nullptr) {
            refusalStatus = 400;  // RFC 9112, section 3.2
            refusal = "Bad Request";
        }
        if (refusalStatus != 0) {
            Log(std::string(headBytes));
            Emit("rejected: " + std::to_string(refusalStatus) + " for " + Printable(headBytes));
            Deliver(fd, {Reply(refusalStatus, refusal, refusal + "\r\n", true), true});
            return;
        }
        while (buffer.size() < headEnd + bodyLength) {
            size_t got = 0;
            if (TcpServer::ReadSome(fd, chunk, sizeof chunk, m_idle, &got) != IoStatus::kOk) {
                Log(buffer);
                return;
            }
            buffer.append(chunk, got);
        }
        Log(buffer.substr(0, headEnd + bodyLength));
        buffer.erase(0, headEnd + bodyLength);

        const std::string* connection = head.Field("Connection");
        auto has = [connection](std::string_view token) {
            return connection != nullptr && http::HasToken(*connection, token);
        };
        const bool clientWantsClose = has("close") || (head.minorVersion == 0 && !has("keep-alive"));
        if (!Deliver(fd, Respond(head, clientWantsClose))) return;
    }
}

NvrDevice::Answer NvrDevice::Respond(const http::RequestHead& head, bool close) {
    const std::string line = head.method + " " + head.target;
    if (m_refuseLogin) {
        Emit(line + " -> 401 (refusing every login)");
        return {Reply(401, "Unauthorized", "Unauthorized\r\n", close, kAuthenticate), close};
    }
    const std::string* authorization = head.Field("Authorization");
    auto credentials = authorization ? http::ParseBasicCredentials(*authorization) : std::nullopt;
    bool authorised = false;
    if (credentials) {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        authorised = credentials->first == m_status.config.user && credentials->second == m_status.config.password;
    }
    if (!authorised) {
        Emit(line + " -> 401 (" + (credentials ? "wrong user name or password" : "no Basic credentials") + ")");
        return {Reply(401, "Unauthorized", "Unauthorized\r\n", close, kAuthenticate), close};
    }
    if (head.method != "GET") {
        Emit(line + " -> 405");
        return {Reply(405, "Method Not Allowed", "Method not allowed\r\n", close, {"Allow: GET"}), close};
    }
    const std::string_view path = head.Path();
    if (path == "/ini.htm") {
        Emit(line + " -> 200");
        return {Reply(200, "OK", StatusPage(), close), close};
    }
    if (path == "/vb.htm") return ApplySettings(head.Query(), close);
    Emit(line + " -> 404");
    return {Reply(404, "Not Found", "Not found\r\n", close), close};
}

NvrDevice::Answer NvrDevice::ApplySettings(std::string_view query, bool close) {
    std::vector<std::pair<std::string, std::string>> pairs;
    if (!http::ParseQuery(query, &pairs)) {
        Emit("vb.htm -> 400 (bad percent-encoding)");
        return {Reply(400, "Bad Request", "Bad request: bad percent-encoding\r\n", close), close};
    }
    // Check everything before changing anything: a command is applied whole or not at all.
    std::vector<std::function<void(NvrStatus&)>> stores;
    std::vector<std::string> applied;
    bool touchesMac = false, touchesSn = false;
    for (const auto& [name, value] : pairs) {
        const Setting* setting = FindSetting(name);
        if (setting == nullptr) {
            Emit("vb.htm: ignored unknown setting " + Printable(name));
            continue;
        }
        std::function<void(NvrStatus&)> store;
        if (!setting->check(value, &store)) {
            Emit("vb.htm -> 400 (bad value for " + name + ": " + Printable(value) + ")");
            return {Reply(400, "Bad Request", "Bad request: bad value for " + name + "\r\n", close), close};
        }
        stores.push_back(std::move(store));
        applied.push_back(name + " " + value);
        touchesMac = touchesMac || name == "mac";
        touchesSn = touchesSn || name == "setlongsesn";
    }
    if ((touchesMac && m_refuseMac) || (touchesSn && m_refuseSn)) {
        const char* what = touchesMac && m_refuseMac ? "mac" : "sn";
        Emit(std::string("vb.htm -> 403 (refusing the ") + what + " write)");
        return {Reply(403, "Forbidden", "Forbidden\r\n", close), close};
    }
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        for (const auto& store : stores) store(m_status);
    }
    std::string body;
    for (const auto& a : applied) {
        Emit("set " + Printable(a));
        body += "OK " + a.substr(0, a.find(' ')) + "\r\n";
    }
    if (body.empty()) body = "OK\r\n";
    return {Reply(200, "OK", body, close), close};
}

std::unique_ptr<Device> MakeNvrDevice(const DeviceConfig& config, EventSink sink) {
    return std::make_unique<NvrDevice>(config, std::move(sink));
}

}  // namespace devsim
