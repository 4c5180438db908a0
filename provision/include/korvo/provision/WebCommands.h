// The command URLs that carry new values to a recorder's web server
// ("/vb.htm?..."), and the rule by which an answer counts as success.
//
// Everything here is plain text building: the caller converts the window's
// texts to 8-bit request text first, sends the URL with its HTTP client and
// hands the outcome to IsCommandSuccessful. Nothing here blocks or fails.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "korvo/appcore/MacAddress.h"

namespace korvo {

// The device's own settings, as its status page reported them, that the MAC
// and port commands send back unchanged. Texts are 8-bit request text.
struct CommandStatusValues {
    std::string netmask;
    std::string gateway;
    std::string dns1;
    std::string dns2;
    int32_t dhcpEnable = 0;
    int32_t rtspServerPort = 0;
    int32_t tcpPort = 0;
    int32_t httpPort = 0;
    std::string multicast;
};

// "http://" + the address as "%d.%d.%d.%d" (most significant byte first) +
// ":" + the port text exactly as typed: nothing checks that it is a number,
// and a '%' in it is an ordinary character. An empty port gives a base that
// ends in ':'.
std::string WebCommandBase(uint32_t deviceIp, std::string_view port);

// The network settings command with the new MAC:
// base + "/vb.htm?setuser=U&netip=A&netmask=..&gateway=..&dns1=..&dns2=..
// &mac=XX:XX:XX:XX:XX:XX&dhcpenable=N", where netip is `deviceIp` (the form's
// address, not the status page's) and the MAC is upper-case hexadecimal.
std::string MacCommandUrl(uint32_t deviceIp, std::string_view port, std::string_view user,
                          const CommandStatusValues& status, const MacAddress& mac);

// The port settings command: base + "/vb.htm?setuser=U&rtspserverport=N
// &tcpport=N&httpport=N&multicast=T".
std::string PortCommandUrl(uint32_t deviceIp, std::string_view port, std::string_view user,
                           const CommandStatusValues& status);

// The serial number command: base + "/vb.htm?setlongsesn=SN".
std::string SnCommandUrl(uint32_t deviceIp, std::string_view port, std::string_view sn);

// How every text value goes into a command's query: bytes outside letters,
// digits and "-._~:" become "%XX" with upper-case hexadecimal (RFC 3986,
// sections 2.1 and 2.3), so a value holding '&', '=', '#', a blank or
// non-ASCII text cannot add or cut off a parameter. Addresses, masks, MACs
// and ordinary names contain none of those bytes and stay as they are.
std::string PercentEncodeValue(std::string_view value);

// A command succeeded when the HTTP client's HttpGet returned 1 and the
// response header holds "200 OK" anywhere (case-sensitive). The body is not
// looked at; an empty header (no answer) is failure.
bool IsCommandSuccessful(int httpGetResult, std::string_view headerText);

}  // namespace korvo
