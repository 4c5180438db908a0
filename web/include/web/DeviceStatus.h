// A device's status page "ini.htm": its values, how one is cut out of the
// page text, and how a read of the page is judged.
//
// The page is plain text, not markup: entries "key=value" separated by
// "<br>", e.g. "netip=192.0.2.10<br>netmask=255.255.255.0<br>...".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvo::web {

class CHttpRequest;

// The values of one status page. Texts are 16-bit window texts, numbers
// signed 32-bit. A new record is all empty texts and zeros.
struct DeviceStatus {
    std::u16string m_strNetIp;
    std::u16string m_strNetmask;
    std::u16string m_strGateway;
    std::u16string m_strDns1;
    std::u16string m_strDns2;
    std::u16string m_strMac;
    std::int32_t m_nDhcpEnable = 0;
    std::int32_t m_nP2pEnable = 0;
    std::int32_t m_nHttpPort = 0;
    std::int32_t m_nRtspServerPort = 0;
    std::int32_t m_nTcpPort = 0;
    std::u16string m_strMulticast;
    std::int32_t m_nLanguage = 0;
    std::int32_t m_nRecycleRecord = 0;
    std::int32_t m_nDrvId = 0;
    std::int32_t m_nOutDevice = 0;
    std::int32_t m_nVideoMode = 0;
    std::int32_t m_nResolution = 0;
    std::int32_t m_nStandbyTime = 0;
    std::int32_t m_nSysDevType = 0;
    std::int32_t m_nSysChanNum = 0;
    std::u16string m_strDeviceType;
    std::u16string m_strSoftwareVersion;
    std::u16string m_strSoftwareDate;
    std::u16string m_strDevName;

    bool operator==(const DeviceStatus&) const = default;
};

// The value of `key` (the whole key, "<br>" and "=" included) at its first
// occurrence in `page`, case-sensitive: the text after the key up to the next
// "<br>" (lower case exactly) or the end of the page. Nothing is trimmed.
// Empty when the key does not occur.
std::u16string GetPageValue(std::u16string key, std::u16string page);

// Every value of `page` in a new record. Every key but the first ("netip=")
// is searched with the "<br>" before it, so it matches only right after
// another entry; "netip=" matches anywhere, so also as the page's first entry.
// A missing key leaves an empty text or 0. A number is the decimal number at
// the start of its value: blanks skipped, one sign, digits up to the first
// other character, 0 without digits, clamped to the int32 range.
DeviceStatus ParseStatusPage(std::u16string_view page);

// How a read of the status page came out.
enum class StatusRead {
    kOk,            // "200 OK" in the header: the page was parsed
    kUnauthorized,  // "401 Unauthorized" in the header: tell the operator
    kFailed,        // no answer, or any other answer: nothing to tell
};

// Judges a finished HttpGet by its result and the response header: a
// case-sensitive search for "200 OK", then for "401 Unauthorized", anywhere
// in the header (an HTTP/1.0 status line counts the same).
StatusRead JudgeStatusRead(int httpGetResult, std::string_view headerText);

// The status page's URL, "http://a.b.c.d:port/ini.htm", for the device at
// `ip` (most significant byte first) and the port text as typed. The port
// text goes in unchecked; a URL too long for the client fails the read.
std::string StatusPageUrl(std::uint32_t ip, std::u16string_view port);

// Fetches the status page of `url` with `credentials` through `request` and
// judges it. On kOk `status` holds the page's values; otherwise it is left
// as it was.
StatusRead ReadStatusPage(CHttpRequest& request, const std::string& url, const std::string& credentials,
                          DeviceStatus& status);

}  // namespace korvo::web
