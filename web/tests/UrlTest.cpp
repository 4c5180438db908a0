#include "web/Url.h"

#include <gtest/gtest.h>

#include <climits>

namespace korvo::web {
namespace {

TEST(ParseUrlTest, SplitsLikeDevicesExpect) {
    struct Case {
        std::string url;
        std::string scheme;
        std::string host;
        int port;
        std::string path;
    };
    const Case cases[] = {
        {"http://192.0.2.10:80/ini.htm", "HTTP", "192.0.2.10", 80, "/ini.htm"},
        {"http://cam.local/vb.htm?setuser=Op&x=Y", "HTTP", "CAM.LOCAL", 80, "/vb.htm?setuser=Op&x=Y"},
        {"HtTp://h:8080", "HTTP", "H", 8080, ""},
        {"http://h:/x", "HTTP", "H", 0, "/x"},                  // colon without digits: port 0
        {"http://h:12ab/x", "HTTP", "H", 12, "/x"},  // letters belong to the host run
        {"https://h/x", "HTTPS", "H", 80, "/x"},
        {"192.0.2.10:80/ini.htm", "192.0.2.10", "80", 80, "/ini.htm"},  // scheme is text before the first colon
        {"cam/ini.htm", "HTTP", "CAM", 80, "/ini.htm"},            // no colon at all
        {"http://h:80 x/ini.htm", "HTTP", "H", 80, " x/ini.htm"},  // a blank ends the host run
        {"http://h:99999999999/x", "HTTP", "H", INT_MAX, "/x"},      // saturates, never wraps
        {"http:/h/x", "HTTP", "", 80, "/h/x"},                      // one slash is not skipped
    };
    for (const Case& c : cases) {
        const UrlParts p = ParseUrl(c.url);
        EXPECT_EQ(p.m_strScheme, c.scheme) << c.url;
        EXPECT_EQ(p.m_strHost, c.host) << c.url;
        EXPECT_EQ(p.m_nPort, c.port) << c.url;
        EXPECT_EQ(p.m_strPath, c.path) << c.url;
    }
}

TEST(ParseUrlTest, CutsOverlongParts) {
    const UrlParts p = ParseUrl(std::string(30, 's') + "://" + std::string(3000, 'h') + "/" + std::string(3000, 'p'));
    EXPECT_EQ(p.m_strScheme, std::string(19, 'S'));
    EXPECT_EQ(p.m_strHost, std::string(2047, 'H'));
    EXPECT_EQ(p.m_strPath.size(), 2047u);
    EXPECT_EQ(p.m_strPath.front(), '/');
}

TEST(TimeoutForUrlTest, StorageCommandsWaitLonger) {
    struct Case {
        std::string url;
        int ms;
    };
    const Case cases[] = {
        {"http://h/vb.htm?sdformat=1", 60000},
        {"http://h/vb.htm?sdformat=1&timefrequency=-1", 60000},  // the format wins
        {"http://h/vb.htm?sdformat=0", 20000},                   // still a storage command
        {"http://h/vb.htm?x=1&timefrequency=-1", 20000},
        {"http://h/vb.htm?sdinfo", 20000},
        {"http://h/VB.HTM?SDFORMAT=1", 15000},                   // the search is case-sensitive
        {"http://h/vb.htm?setlongsesn=sd", 15000},
        {"http://h/ini.htm", 15000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TimeoutForUrl(c.url), c.ms) << c.url;
    }
}

}  // namespace
}  // namespace korvo::web
