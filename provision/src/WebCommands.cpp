#include "korvo/provision/WebCommands.h"

#include "korvo/appcore/Ipv4.h"

namespace korvo {

namespace {

bool IsKeptAsIs(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == ':';
}

// Appends "name=value" (value percent-encoded), preceded by '&' unless it is
// the first parameter of the query.
void AddParameter(std::string& url, std::string_view name, std::string_view value) {
    if (url.back() != '?') url += '&';
    url += name;
    url += '=';
    url += PercentEncodeValue(value);
}

void AddParameter(std::string& url, std::string_view name, int32_t value) {
    AddParameter(url, name, std::to_string(value));
}

std::string CommandStart(uint32_t deviceIp, std::string_view port) {
    return WebCommandBase(deviceIp, port) + "/vb.htm?";
}

}  // namespace

std::string PercentEncodeValue(std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(value.size());
    for (char c : value) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (IsKeptAsIs(byte)) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0F];
        }
    }
    return encoded;
}

std::string WebCommandBase(uint32_t deviceIp, std::string_view port) {
    std::string base = "http://" + FormatIpv4(deviceIp) + ":";
    base += port;
    return base;
}

std::string MacCommandUrl(uint32_t deviceIp, std::string_view port, std::string_view user,
                          const CommandStatusValues& status, const MacAddress& mac) {
    std::string url = CommandStart(deviceIp, port);
    AddParameter(url, "setuser", user);
    AddParameter(url, "netip", FormatIpv4(deviceIp));
    AddParameter(url, "netmask", status.netmask);
    AddParameter(url, "gateway", status.gateway);
    AddParameter(url, "dns1", status.dns1);
    AddParameter(url, "dns2", status.dns2);
    AddParameter(url, "mac", MacToUpperHex(mac));
    AddParameter(url, "dhcpenable", status.dhcpEnable);
    return url;
}

std::string PortCommandUrl(uint32_t deviceIp, std::string_view port, std::string_view user,
                           const CommandStatusValues& status) {
    std::string url = CommandStart(deviceIp, port);
    AddParameter(url, "setuser", user);
    AddParameter(url, "rtspserverport", status.rtspServerPort);
    AddParameter(url, "tcpport", status.tcpPort);
    AddParameter(url, "httpport", status.httpPort);
    AddParameter(url, "multicast", status.multicast);
    return url;
}

std::string SnCommandUrl(uint32_t deviceIp, std::string_view port, std::string_view sn) {
    std::string url = CommandStart(deviceIp, port);
    AddParameter(url, "setlongsesn", sn);
    return url;
}

bool IsCommandSuccessful(int httpGetResult, std::string_view headerText) {
    return httpGetResult == 1 && headerText.find("200 OK") != std::string_view::npos;
}

}  // namespace korvo
