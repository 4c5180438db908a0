#include "Fleet.h"

#include <arpa/inet.h>

#include <charconv>
#include <set>

namespace devsim {

namespace {

std::string_view Trim(std::string_view s) {
    const char* blanks = " \t\r";
    size_t b = s.find_first_not_of(blanks);
    if (b == std::string_view::npos) return {};
    size_t e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

bool ParseNumber(std::string_view text, unsigned max, unsigned* out) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    unsigned v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v > max) return false;
    *out = v;
    return true;
}

bool IsLoopback(const std::string& address) {
    in_addr a{};
    return ::inet_pton(AF_INET, address.c_str(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
}

// Applies key = value to the device; returns the reason when it cannot.
std::string Apply(DeviceConfig& d, const std::string& key, std::string_view value) {
    std::string v(value);
    unsigned n = 0;
    if (key == "type") {
        if (v != "IPC" && v != "DVR" && v != "NVR") return "type must be IPC, DVR or NVR";
        d.type = v;
    } else if (key == "address") {
        if (!IsLoopback(v)) return "address must lie in 127.0.0.0/8";
        d.address = v;
    } else if (key == "port") {
        if (!ParseNumber(value, 65535, &n)) return "port must be 0..65535";
        d.port = static_cast<uint16_t>(n);
    } else if (key == "model") {
        if (!ParseNumber(value, 255, &n)) return "model must be 0..255";
        d.modelCode = static_cast<uint8_t>(n);
    } else if (key == "user") d.user = v;
    else if (key == "password") d.password = v;
    else if (key == "mac") d.mac = v;
    else if (key == "sn") d.sn = v;
    else if (key == "ip") d.ip = v;
    else if (key == "netmask") d.netmask = v;
    else if (key == "gateway") d.gateway = v;
    else if (key == "name") return "the name is the section's";
    else d.behaviour[key] = v;
    return {};
}

}  // namespace

bool ParseFleet(std::string_view text, std::vector<DeviceConfig>* devices, std::string* error) {
    std::vector<DeviceConfig> result;
    std::set<std::string> names;
    int lineNumber = 0;
    auto fail = [&](int line, const std::string& why) {
        if (error) *error = "line " + std::to_string(line) + ": " + why;
        return false;
    };
    int sectionLine = 0;
    while (!text.empty()) {
        size_t eol = text.find('\n');
        std::string_view line = Trim(text.substr(0, eol));
        text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
        ++lineNumber;
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3) return fail(lineNumber, "a section is [name]");
            if (!result.empty() && result.back().type.empty()) return fail(sectionLine, "the device has no type");
            std::string name(Trim(line.substr(1, line.size() - 2)));
            if (!names.insert(name).second) return fail(lineNumber, "device " + name + " named twice");
            result.emplace_back();
            result.back().name = name;
            sectionLine = lineNumber;
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) return fail(lineNumber, "expected key = value");
        if (result.empty()) return fail(lineNumber, "key outside a [device] section");
        std::string key(Trim(line.substr(0, eq)));
        if (key.empty()) return fail(lineNumber, "empty key");
        std::string why = Apply(result.back(), key, Trim(line.substr(eq + 1)));
        if (!why.empty()) return fail(lineNumber, why);
    }
    if (!result.empty() && result.back().type.empty()) return fail(sectionLine, "the device has no type");
    *devices = std::move(result);
    return true;
}

std::vector<DeviceConfig> DefaultFleet() {
    auto make = [](const char* name, const char* type, const char* address, uint16_t port, uint8_t model,
                   const char* mac, const char* ip) {
        DeviceConfig d;
        d.name = name;
        d.type = type;
        d.address = address;
        d.port = port;
        d.user = "admin";
        d.password = "123456";
        d.mac = mac;
        d.ip = ip;
        d.modelCode = model;
        return d;
    };
    std::vector<DeviceConfig> fleet;
    fleet.push_back(make("nvr1", "NVR", "127.0.0.11", 8080, 0x00, "00:11:22:33:44:01", "192.168.1.11"));
    fleet.push_back(make("ipc1", "IPC", "127.0.0.12", 9000, 0x10, "00:11:22:33:44:02", "192.168.1.12"));
    fleet.push_back(make("dvr1", "DVR", "127.0.0.13", 9000, 0x20, "00:11:22:33:44:03", "192.168.1.13"));
    fleet.push_back(make("ipc-lens", "IPC", "127.0.0.14", 9000, 0x46, "00:11:22:33:44:04", "192.168.1.14"));
    // A few seconds of counting before the lens reports done.
    fleet.back().behaviour["calibration"] = "after:5";
    return fleet;
}

std::unique_ptr<Device> MakeDevice(const DeviceConfig& config, EventSink sink) {
    if (config.type == "IPC" || config.type == "DVR") return MakeSdkDevice(config, std::move(sink));
#ifdef KORVO_DEVSIM_HAS_NVR
    if (config.type == "NVR") return MakeNvrDevice(config, std::move(sink));
#endif
    return nullptr;
}

bool Fleet::Start(const std::vector<DeviceConfig>& configs, std::string* error) {
    for (const auto& config : configs) {
        auto device = MakeDevice(config, m_sink);
        std::string why = "no device of type \"" + config.type + "\" in this build";
        if (!device || !device->Start(&why)) {
            Stop();
            if (error) *error = config.name + ": " + why;
            return false;
        }
        m_devices.push_back(std::move(device));
    }
    return true;
}

void Fleet::Stop() {
    for (auto& d : m_devices) d->Stop();
    m_devices.clear();
}

}  // namespace devsim
