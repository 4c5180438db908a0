#include "korvo/provision/WebCommands.h"

#include <gtest/gtest.h>

#include "korvo/appcore/Ipv4.h"

namespace korvo {
namespace {

// The values of a recorder at 192.0.2.10 whose status page was just read.
CommandStatusValues Recorder() {
    CommandStatusValues status;
    status.netmask = "255.255.255.0";
    status.gateway = "192.0.2.1";
    status.dns1 = "192.0.2.1";
    status.dns2 = "0.0.0.0";
    status.dhcpEnable = 0;
    status.rtspServerPort = 554;
    status.tcpPort = 8000;
    status.httpPort = 80;
    status.multicast = "239.0.0.1";
    return status;
}

const uint32_t kDevice = ParseIpv4("192.0.2.10");

TEST(WebCommandsTest, BuildsTheCommandUrlsByteForByte) {
    CommandStatusValues noPage;  // a status page without any of the values
    CommandStatusValues dhcp = Recorder();
    dhcp.dhcpEnable = 1;
    dhcp.rtspServerPort = -1;
    struct Case {
        std::string url;
        const char* expected;
    } cases[] = {
        {MacCommandUrl(kDevice, "80", "op", Recorder(), MacAddress{{0, 17, 34, 51, 68, 85}}),
         "http://192.0.2.10:80/vb.htm?setuser=op&netip=192.0.2.10&netmask=255.255.255.0"
         "&gateway=192.0.2.1&dns1=192.0.2.1&dns2=0.0.0.0&mac=00:11:22:33:44:55&dhcpenable=0"},
        {MacCommandUrl(kDevice, "80", "op", dhcp, MacAddress{{10, 171, 205, 239, 1, 2}}),
         "http://192.0.2.10:80/vb.htm?setuser=op&netip=192.0.2.10&netmask=255.255.255.0"
         "&gateway=192.0.2.1&dns1=192.0.2.1&dns2=0.0.0.0&mac=0A:AB:CD:EF:01:02&dhcpenable=1"},
        {MacCommandUrl(kDevice, "80", "op", noPage, MacAddress{{0, 0, 0, 0, 0, 1}}),
         "http://192.0.2.10:80/vb.htm?setuser=op&netip=192.0.2.10&netmask=&gateway=&dns1=&dns2="
         "&mac=00:00:00:00:00:01&dhcpenable=0"},
        {PortCommandUrl(kDevice, "80", "op", Recorder()),
         "http://192.0.2.10:80/vb.htm?setuser=op&rtspserverport=554&tcpport=8000&httpport=80"
         "&multicast=239.0.0.1"},
        {PortCommandUrl(kDevice, "80", "op", dhcp),
         "http://192.0.2.10:80/vb.htm?setuser=op&rtspserverport=-1&tcpport=8000&httpport=80"
         "&multicast=239.0.0.1"},
        {PortCommandUrl(kDevice, "80", "op", noPage),
         "http://192.0.2.10:80/vb.htm?setuser=op&rtspserverport=0&tcpport=0&httpport=0&multicast="},
        {SnCommandUrl(kDevice, "80", "SN2026-0001"), "http://192.0.2.10:80/vb.htm?setlongsesn=SN2026-0001"},
        // the port text goes in as typed: empty, or holding a '%' that is no placeholder
        {SnCommandUrl(kDevice, "", "A1"), "http://192.0.2.10:/vb.htm?setlongsesn=A1"},
        {SnCommandUrl(kDevice, "8%d0%s", "A1"), "http://192.0.2.10:8%d0%s/vb.htm?setlongsesn=A1"},
        {SnCommandUrl(ParseIpv4("0.0.0.0"), "80", ""), "http://0.0.0.0:80/vb.htm?setlongsesn="},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.url, c.expected);
    }
}

TEST(WebCommandsTest, ValuesCannotAddOrCutOffParameters) {
    CommandStatusValues hostile = Recorder();
    hostile.netmask = "255.0.0.0&mac=FF:FF:FF:FF:FF:FF";
    hostile.multicast = "on#frag";
    struct Case {
        std::string url;
        const char* expected;
    } cases[] = {
        {SnCommandUrl(kDevice, "80", "AB&setuser=x"), "http://192.0.2.10:80/vb.htm?setlongsesn=AB%26setuser%3Dx"},
        {MacCommandUrl(kDevice, "80", "o p", hostile, MacAddress{{0, 0, 0, 0, 0, 1}}),
         "http://192.0.2.10:80/vb.htm?setuser=o%20p&netip=192.0.2.10&netmask=255.0.0.0%26mac%3DFF:FF:FF:FF:FF:FF"
         "&gateway=192.0.2.1&dns1=192.0.2.1&dns2=0.0.0.0&mac=00:00:00:00:00:01&dhcpenable=0"},
        {PortCommandUrl(kDevice, "80", "op", hostile),
         "http://192.0.2.10:80/vb.htm?setuser=op&rtspserverport=554&tcpport=8000&httpport=80"
         "&multicast=on%23frag"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.url, c.expected);
    }
}

TEST(PercentEncodeValueTest, EncodesEveryByteOutsideTheKeptSet) {
    struct Case {
        std::string value;
        const char* encoded;
    } cases[] = {
        {"AZaz09-._~:", "AZaz09-._~:"},
        {"", ""},
        {"a b", "a%20b"},
        {"&=?#/+%", "%26%3D%3F%23%2F%2B%25"},
        {"\"<>\\^`{|}[]'!$()*,;@", "%22%3C%3E%5C%5E%60%7B%7C%7D%5B%5D%27%21%24%28%29%2A%2C%3B%40"},
        {"J\xC3\xBCrgen", "J%C3%BCrgen"},  // UTF-8 bytes one by one, upper-case hex
        {std::string("a\0b\r\n\x7F\xFF", 7), "a%00b%0D%0A%7F%FF"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PercentEncodeValue(c.value), c.encoded);
    }
}

TEST(IsCommandSuccessfulTest, NeedsTheClientsSuccessAnd200OkInTheHeader) {
    struct Case {
        int result;
        const char* header;
        bool success;
    } cases[] = {
        {1, "HTTP/1.1 200 OK\r\nServer: x\r\n\r\n", true},
        {1, "HTTP/1.0 200 OK\r\n\r\n", true},
        {1, "HTTP/1.1 302 Found\r\nX-Note: 200 OK\r\n\r\n", true},  // anywhere in the header
        {1, "HTTP/1.1 401 Unauthorized\r\n\r\n", false},
        {1, "HTTP/1.1 200 ok\r\n\r\n", false},  // case-sensitive
        {1, "", false},
        {0, "HTTP/1.1 200 OK\r\n\r\n", false},  // the client failed
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsCommandSuccessful(c.result, c.header), c.success) << c.result << " " << c.header;
    }
}

}  // namespace
}  // namespace korvo
