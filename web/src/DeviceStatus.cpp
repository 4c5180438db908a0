#include "web/DeviceStatus.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "web/HttpRequest.h"
#include "web/TextConversion.h"

namespace korvo::web {

namespace {

constexpr std::u16string_view kSeparator = u"<br>";

bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

std::int32_t LeadingNumber(std::u16string_view value) {
    std::size_t i = 0;
    while (i < value.size() && IsBlank(value[i])) {
        ++i;
    }
    bool negative = false;
    if (i < value.size() && (value[i] == u'+' || value[i] == u'-')) {
        negative = value[i] == u'-';
        ++i;
    }
    long long n = 0;
    for (; i < value.size() && value[i] >= u'0' && value[i] <= u'9'; ++i) {
        if (n <= static_cast<long long>(INT32_MAX) + 1) {
            n = n * 10 + (value[i] - u'0');
        }
    }
    n = negative ? -n : n;
    return static_cast<std::int32_t>(std::clamp<long long>(n, INT32_MIN, INT32_MAX));
}

std::u16string_view ValueOf(std::u16string_view key, std::u16string_view page) {
    const std::size_t at = page.find(key);
    if (at == std::u16string_view::npos) {
        return {};
    }
    const std::u16string_view rest = page.substr(at + key.size());
    return rest.substr(0, rest.find(kSeparator));
}

}  // namespace

std::u16string GetPageValue(std::u16string key, std::u16string page) {
    return std::u16string(ValueOf(key, page));
}

DeviceStatus ParseStatusPage(std::u16string_view page) {
    DeviceStatus s;
    const auto text = [&](std::u16string_view key) { return std::u16string(ValueOf(key, page)); };
    const auto number = [&](std::u16string_view key) { return LeadingNumber(ValueOf(key, page)); };
    s.m_strNetIp = text(u"netip=");
    s.m_strNetmask = text(u"<br>netmask=");
    s.m_strGateway = text(u"<br>gateway=");
    s.m_strDns1 = text(u"<br>dns1=");
    s.m_strDns2 = text(u"<br>dns2=");
    s.m_strMac = text(u"<br>mac=");
    s.m_nDhcpEnable = number(u"<br>dhcpenable=");
    s.m_nP2pEnable = number(u"<br>p2penable=");
    s.m_nHttpPort = number(u"<br>httpport=");
    s.m_nRtspServerPort = number(u"<br>rtspserverport=");
    s.m_nTcpPort = number(u"<br>tcpport=");
    s.m_strMulticast = text(u"<br>multicast=");
    s.m_nLanguage = number(u"<br>getlanguage=");
    s.m_nRecycleRecord = number(u"<br>getrecyclerecord=");
    s.m_nDrvId = number(u"<br>getdrvid=");
    s.m_nOutDevice = number(u"<br>getoutdevice=");
    s.m_nVideoMode = number(u"<br>getvideomode=");
    s.m_nResolution = number(u"<br>getresolution=");
    s.m_nStandbyTime = number(u"<br>getstandbytime=");
    s.m_nSysDevType = number(u"<br>getsysdevtype=");
    s.m_nSysChanNum = number(u"<br>getsyschannum=");
    s.m_strDeviceType = text(u"<br>getdevicetype=");
    s.m_strSoftwareVersion = text(u"<br>getsoftwareversion=");
    s.m_strSoftwareDate = text(u"<br>getsoftwaredate=");
    s.m_strDevName = text(u"<br>getdevname=");
    return s;
}

StatusRead JudgeStatusRead(int httpGetResult, std::string_view headerText) {
    if (httpGetResult != 1) {
        return StatusRead::kFailed;
    }
    if (headerText.find("200 OK") != std::string_view::npos) {
        return StatusRead::kOk;
    }
    if (headerText.find("401 Unauthorized") != std::string_view::npos) {
        return StatusRead::kUnauthorized;
    }
    return StatusRead::kFailed;
}

std::string StatusPageUrl(std::uint32_t ip, std::u16string_view port) {
    char address[16];
    std::snprintf(address, sizeof address, "%u.%u.%u.%u", (ip >> 24) & 0xFFu, (ip >> 16) & 0xFFu,
                  (ip >> 8) & 0xFFu, ip & 0xFFu);
    return "http://" + std::string(address) + ":" + WideToAnsi(port) + "/ini.htm";
}

StatusRead ReadStatusPage(CHttpRequest& request, const std::string& url, const std::string& credentials,
                          DeviceStatus& status) {
    std::string requestText;
    std::string header;
    std::string body;
    const int got = HttpGet(request, url, credentials, requestText, header, body);
    const StatusRead outcome = JudgeStatusRead(got, header);
    if (outcome == StatusRead::kOk) {
        status = ParseStatusPage(AnsiToWide(body));
    }
    return outcome;
}

}  // namespace korvo::web
