#include "web/DeviceStatus.h"

#include <gtest/gtest.h>

#include <climits>

namespace korvo::web {
namespace {

TEST(GetPageValueTest, CutsTheValueAfterTheFirstKey) {
    struct Case {
        const char* why;
        std::u16string key;
        std::u16string page;
        std::u16string value;
    };
    const Case cases[] = {
        {"middle entry", u"<br>gateway=", u"netip=1<br>gateway=192.0.2.1<br>dns1=x", u"192.0.2.1"},
        {"last entry runs to the end", u"<br>dns1=", u"netip=1<br>dns1=8.8.8.8", u"8.8.8.8"},
        {"first occurrence wins", u"<br>mac=", u"a=1<br>mac=AA<br>mac=BB<br>", u"AA"},
        {"missing key", u"<br>mask=", u"netip=1<br>", u""},
        {"capital separator is not one", u"<br>netmask=", u"x<br>netmask=255<BR>gateway=1<br>dns1=2",
         u"255<BR>gateway=1"},
        {"blanks and line ends stay", u"<br>dns2=", u"x<br>dns2= 0.0.0.0\r\n<br>", u" 0.0.0.0\r\n"},
        {"key is case-sensitive", u"<br>mac=", u"x<br>MAC=AA<br>", u""},
        {"netip= inside a longer first key", u"netip=", u"mynetip=5<br>netip=6<br>", u"5"},
        {"empty value", u"<br>dns2=", u"x<br>dns2=<br>", u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetPageValue(c.key, c.page), c.value) << c.why;
    }
}

TEST(ParseStatusPageTest, FillsEveryFieldFromAFullPage) {
    const std::u16string page =
        u"netip=192.0.2.10<br>netmask=255.255.255.0<br>gateway=192.0.2.1<br>dns1=192.0.2.1<br>"
        u"dns2=0.0.0.0<br>mac=00:11:22:33:44:55<br>dhcpenable=1<br>p2penable=1<br>httpport=80<br>"
        u"rtspserverport=554<br>tcpport=8000<br>multicast=239.0.0.1<br>getlanguage=2<br>"
        u"getrecyclerecord=1<br>getdrvid=7<br>getoutdevice=3<br>getvideomode=4<br>getresolution=5<br>"
        u"getstandbytime=60<br>getsysdevtype=9<br>getsyschannum=16<br>getdevicetype=NVR16<br>"
        u"getsoftwareversion=V1.2.3<br>getsoftwaredate=2024-01-02<br>getdevname=Gate \u95e8";
    DeviceStatus expected;
    expected.m_strNetIp = u"192.0.2.10";
    expected.m_strNetmask = u"255.255.255.0";
    expected.m_strGateway = u"192.0.2.1";
    expected.m_strDns1 = u"192.0.2.1";
    expected.m_strDns2 = u"0.0.0.0";
    expected.m_strMac = u"00:11:22:33:44:55";
    expected.m_nDhcpEnable = 1;
    expected.m_nP2pEnable = 1;
    expected.m_nHttpPort = 80;
    expected.m_nRtspServerPort = 554;
    expected.m_nTcpPort = 8000;
    expected.m_strMulticast = u"239.0.0.1";
    expected.m_nLanguage = 2;
    expected.m_nRecycleRecord = 1;
    expected.m_nDrvId = 7;
    expected.m_nOutDevice = 3;
    expected.m_nVideoMode = 4;
    expected.m_nResolution = 5;
    expected.m_nStandbyTime = 60;
    expected.m_nSysDevType = 9;
    expected.m_nSysChanNum = 16;
    expected.m_strDeviceType = u"NVR16";
    expected.m_strSoftwareVersion = u"V1.2.3";
    expected.m_strSoftwareDate = u"2024-01-02";
    expected.m_strDevName = u"Gate \u95e8";
    EXPECT_EQ(ParseStatusPage(page), expected);
}

TEST(ParseStatusPageTest, KeysOtherThanNetipMatchOnlyAfterAnEntry) {
    // As the first entry of the page "netmask=" has no "<br>" before it.
    const DeviceStatus s = ParseStatusPage(u"netmask=255.0.0.0<br>netip=10.0.0.1<br>gateway=10.0.0.254");
    EXPECT_EQ(s.m_strNetmask, u"");
    EXPECT_EQ(s.m_strNetIp, u"10.0.0.1");
    EXPECT_EQ(s.m_strGateway, u"10.0.0.254");
    EXPECT_EQ(ParseStatusPage(u""), DeviceStatus{});
}

TEST(ParseStatusPageTest, NumberFieldsTakeTheLeadingDecimalNumber) {
    struct Case {
        std::u16string value;
        std::int32_t number;
    };
    const Case cases[] = {
        {u"554", 554},
        {u"-1", -1},
        {u"+7", 7},
        {u"  \t42", 42},
        {u"80abc", 80},
        {u"abc", 0},
        {u"", 0},
        {u"- 5", 0},
        {u"0x1F", 0},
        {u"2147483647", INT32_MAX},
        {u"2147483648", INT32_MAX},
        {u"-2147483649", INT32_MIN},
        {u"99999999999999999999999", INT32_MAX},
        {u"12\r\n", 12},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseStatusPage(u"x<br>httpport=" + c.value + u"<br>").m_nHttpPort, c.number)
            << std::string(c.value.begin(), c.value.end());
    }
}

TEST(JudgeStatusReadTest, LooksForTheStatusPhraseAnywhereInTheHeader) {
    struct Case {
        int got;
        std::string header;
        StatusRead outcome;
    };
    const Case cases[] = {
        {1, "HTTP/1.1 200 OK\r\n\r\n", StatusRead::kOk},
        {1, "HTTP/1.0 200 OK\r\n\r\n", StatusRead::kOk},
        {1, "HTTP/1.1 302 Found\r\nX-Note: 200 OK\r\n\r\n", StatusRead::kOk},
        {1, "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic\r\n\r\n", StatusRead::kUnauthorized},
        {1, "HTTP/1.1 200 ok\r\n\r\n", StatusRead::kFailed},  // case-sensitive
        {1, "HTTP/1.1 403 Forbidden\r\n\r\n", StatusRead::kFailed},
        {1, "", StatusRead::kFailed},  // the device said nothing
        {0, "HTTP/1.1 200 OK\r\n\r\n", StatusRead::kFailed},  // a failed request leaves stale text
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JudgeStatusRead(c.got, c.header), c.outcome) << c.header;
    }
}

TEST(StatusPageUrlTest, FormatsAddressAndPortAsTyped) {
    EXPECT_EQ(StatusPageUrl(0xC000020Au, u"80"), "http://192.0.2.10:80/ini.htm");
    EXPECT_EQ(StatusPageUrl(0xFFFFFFFFu, u""), "http://255.255.255.255:/ini.htm");
    EXPECT_EQ(StatusPageUrl(0x7F000001u, u"8%s0"), "http://127.0.0.1:8%s0/ini.htm");
}

}  // namespace
}  // namespace korvo::web
