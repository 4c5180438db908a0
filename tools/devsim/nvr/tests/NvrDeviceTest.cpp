#include "NvrDevice.h"

#include <gtest/gtest.h>

#include <future>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "HttpMessage.h"
#include "TestClient.h"

namespace devsim {
namespace {

using namespace std::chrono_literals;
using testing::TestClient;
using testing::WaitCounter;

const char* const kAdminAuth = "Basic YWRtaW46YWRtaW4=";  // admin:admin

std::string Get(const std::string& target, const std::string& authorization = kAdminAuth,
                const std::string& extra = "") {
    std::string r = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (!authorization.empty()) r += "Authorization: " + authorization + "\r\n";
    return r + extra + "\r\n";
}

struct Response {
    bool complete = false;
    int status = 0;
    std::string head;
    std::string body;
    std::string Field(const std::string& name) const {
        http::RequestHead parsed;  // the field syntax is the same both ways
        std::string asRequest = "GET / HTTP/1.1" + head.substr(head.find("\r\n"));
        if (http::ParseRequestHead(asRequest, &parsed) != http::HeadError::kNone) return "<unparsable>";
        const std::string* v = parsed.Field(name);
        return v ? *v : "";
    }
};

// Reads one response framed by its Content-Length.
Response ReadResponse(TestClient& client, std::chrono::milliseconds timeout = 5s) {
    Response r;
    auto whole = [&r](const std::string& s) {
        size_t end = s.find("\r\n\r\n");
        if (end == std::string::npos) return false;
        r.head = s.substr(0, end + 4);
        size_t cl = r.head.find("Content-Length: ");
        if (cl == std::string::npos) return true;
        size_t length = std::stoul(r.head.substr(cl + 16));
        return s.size() >= end + 4 + length;
    };
    std::string bytes = client.ReadUntil(whole, timeout);
    if (!whole(bytes)) {
        r.head = bytes;
        return r;
    }
    r.complete = true;
    r.body = bytes.substr(r.head.size());
    if (r.head.size() > 12 && r.head.compare(0, 9, "HTTP/1.1 ") == 0) r.status = std::stoi(r.head.substr(9, 3));
    return r;
}

class NvrDeviceTest : public ::testing::Test {
protected:
    // Starts a device with the given behaviours; events are counted so that
    // tests can wait for the device to have handled a request.
    void StartDevice(std::map<std::string, std::string> behaviour = {}) {
        DeviceConfig config;
        config.name = "nvr1";
        config.type = "NVR";
        config.mac = "00:11:22:33:44:55";
        config.sn = "SN-OLD";
        config.behaviour = std::move(behaviour);
        m_device = MakeNvrDevice(config, [this](const std::string& device, const std::string& event) {
            EXPECT_EQ(device, "nvr1");
            std::lock_guard<std::mutex> lock(m_eventsMutex);
            m_events.push_back(event);
            m_eventCount.Add();
        });
        std::string error;
        ASSERT_TRUE(m_device->Start(&error)) << error;
    }

    TestClient Connect() {
        TestClient c;
        EXPECT_TRUE(c.Connect(m_device->Port()));
        return c;
    }

    // One request on a fresh connection.
    Response Exchange(const std::string& request) {
        TestClient c = Connect();
        EXPECT_TRUE(c.Send(request));
        return ReadResponse(c);
    }

    NvrStatus Status() { return static_cast<NvrDevice&>(*m_device).Status(); }

    std::unique_ptr<Device> m_device;
    std::mutex m_eventsMutex;
    std::vector<std::string> m_events;
    WaitCounter m_eventCount;
};

TEST_F(NvrDeviceTest, StatusPageShowsAllEntriesFromTheDeviceState) {
    StartDevice();
    Response r = Exchange(Get("/ini.htm"));
    ASSERT_TRUE(r.complete) << r.head;
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.head.compare(0, 17, "HTTP/1.1 200 OK\r\n"), 0);
    EXPECT_EQ(r.Field("Content-Length"), std::to_string(r.body.size()));
    const std::string port = std::to_string(m_device->Port());
    EXPECT_EQ(r.body,
              "netip=192.168.1.10<br>netmask=255.255.255.0<br>gateway=192.168.1.1<br>dns1=8.8.8.8<br>"
              "dns2=0.0.0.0<br>mac=00:11:22:33:44:55<br>dhcpenable=0<br>p2penable=0<br>httpport=" +
                  port +
                  "<br>rtspserverport=554<br>tcpport=8000<br>multicast=239.255.42.42<br>getlanguage=1<br>"
                  "getrecyclerecord=1<br>getdrvid=0<br>getoutdevice=0<br>getvideomode=0<br>getresolution=1<br>"
                  "getstandbytime=0<br>getsysdevtype=2<br>getsyschannum=8<br>getdevicetype=NVR<br>"
                  "getsoftwareversion=V3.2.1 build 261120<br>getsoftwaredate=2026-11-20<br>getdevname=nvr1<br>");
}

TEST_F(NvrDeviceTest, AuthorizationIsCheckedOnEveryRequest) {
    StartDevice();
    struct Case {
        const char* what;
        std::string authorization;
        int status;
    } cases[] = {
        {"none", "", 401},
        {"wrong password", "Basic YWRtaW46YWRtaW5u", 401},  // admin:adminn
        {"wrong user", "Basic cm9vdDphZG1pbg==", 401},      // root:admin
        {"other scheme", "Bearer YWRtaW46YWRtaW4=", 401},
        {"not Base64", "Basic ***", 401},
        {"no colon", "Basic YWRtaW5hZG1pbg==", 401},  // adminadmin
        {"right", kAdminAuth, 200},
        {"scheme in other case", "basic YWRtaW46YWRtaW4=", 200},
    };
    // All on one connection: a refused request does not end it.
    TestClient c = Connect();
    for (const auto& k : cases) {
        for (const char* target : {"/ini.htm", "/vb.htm?setlongsesn=X"}) {
            ASSERT_TRUE(c.Send(Get(target, k.authorization))) << k.what;
            Response r = ReadResponse(c);
            ASSERT_TRUE(r.complete) << k.what << " " << target;
            EXPECT_EQ(r.status, k.status) << k.what << " " << target;
            if (k.status == 401) {
                EXPECT_NE(r.head.find("401 Unauthorized"), std::string::npos);
                EXPECT_EQ(r.Field("WWW-Authenticate"), "Basic realm=\"devsim\"") << k.what;
            }
        }
    }
    EXPECT_EQ(m_device->State().sn, "X") << "only the authorised writes count";
}

TEST_F(NvrDeviceTest, EverySettingIsAppliedAndReadBack) {
    StartDevice();
    TestClient c = Connect();
    const std::vector<std::string> commands = {
        "/vb.htm?setuser=admin&netip=192.0.2.10&netmask=255.255.0.0&gateway=192.0.2.1&dns1=192.0.2.1"
        "&dns2=192.0.2.2&mac=0A:AB:CD:EF:01:02&dhcpenable=1",
        "/vb.htm?setuser=admin&rtspserverport=8554&tcpport=6000&httpport=8080&multicast=239.1.2.3",
        "/vb.htm?setlongsesn=KV%2D2026%200001%26A",
    };
    for (const auto& command : commands) {
        ASSERT_TRUE(c.Send(Get(command)));
        Response r = ReadResponse(c);
        ASSERT_TRUE(r.complete);
        EXPECT_NE(r.head.find("200 OK"), std::string::npos) << command << "\n" << r.head << r.body;
    }

    const DeviceConfig state = m_device->State();
    EXPECT_EQ(state.ip, "192.0.2.10");
    EXPECT_EQ(state.netmask, "255.255.0.0");
    EXPECT_EQ(state.gateway, "192.0.2.1");
    EXPECT_EQ(state.mac, "0A:AB:CD:EF:01:02");
    EXPECT_EQ(state.sn, "KV-2026 0001&A");
    EXPECT_EQ(state.port, m_device->Port()) << "the device keeps listening where it started";

    ASSERT_TRUE(c.Send(Get("/ini.htm")));
    Response page = ReadResponse(c);
    ASSERT_TRUE(page.complete);
    for (const char* entry :
         {"netip=192.0.2.10<br>", "<br>netmask=255.255.0.0<br>", "<br>gateway=192.0.2.1<br>", "<br>dns1=192.0.2.1<br>",
          "<br>dns2=192.0.2.2<br>", "<br>mac=0A:AB:CD:EF:01:02<br>", "<br>dhcpenable=1<br>", "<br>httpport=8080<br>",
          "<br>rtspserverport=8554<br>", "<br>tcpport=6000<br>", "<br>multicast=239.1.2.3<br>"}) {
        EXPECT_NE(page.body.find(entry), std::string::npos) << entry << " missing from " << page.body;
    }
}

TEST_F(NvrDeviceTest, SettingsFollowTheQueryAsSent) {
    StartDevice();
    struct Case {
        std::string query;
        std::string sn;
        std::string mac;
    } cases[] = {
        // An unescaped '&' splits the serial number; the rest is an unknown setting.
        {"setlongsesn=AB&CD", "AB", "00:11:22:33:44:55"},
        {"setlongsesn=A+B", "A+B", "00:11:22:33:44:55"},
        {"mac=0a:ab:cd:ef:01:02", "A+B", "0A:AB:CD:EF:01:02"},  // stored in upper case
        {"mac=00:00:00:00:00:01&mac=00:00:00:00:00:02", "A+B", "00:00:00:00:00:02"},
        {"unknown=1&other", "A+B", "00:00:00:00:00:02"},
    };
    for (const auto& k : cases) {
        Response r = Exchange(Get("/vb.htm?" + k.query));
        EXPECT_EQ(r.status, 200) << k.query;
        EXPECT_EQ(m_device->State().sn, k.sn) << k.query;
        EXPECT_EQ(m_device->State().mac, k.mac) << k.query;
    }
}

TEST_F(NvrDeviceTest, BadValuesAreRefusedWholeAndTheConnectionGoesOn) {
    StartDevice();
    const NvrStatus before = Status();
    const std::string tooLong(129, 'S');
    const char* cases[] = {
        "mac=00:11:22:33:44",
        "mac=GG:11:22:33:44:55",
        "mac=00-11-22-33-44-55",
        "netip=192.0.2",
        "netip=192.0.2.10&netmask=255.255.255.256",  // the good netip is not applied either
        "gateway=",
        "dns1=name.example",
        "dhcpenable=2",
        "dhcpenable=",
        "httpport=0",
        "rtspserverport=65536",
        "tcpport=80x",
        "multicast=a<br>b",
        "setlongsesn=",
        "setlongsesn=A%0AB",
        "setlongsesn=%G1",
        "setlongsesn=%4",
        "setuser=x%00y",
    };
    TestClient c = Connect();
    for (const char* query : cases) {
        ASSERT_TRUE(c.Send(Get(std::string("/vb.htm?") + query))) << query;
        Response r = ReadResponse(c);
        ASSERT_TRUE(r.complete) << query;
        EXPECT_EQ(r.status, 400) << query;
    }
    ASSERT_TRUE(c.Send(Get("/vb.htm?setlongsesn=" + tooLong)));
    EXPECT_EQ(ReadResponse(c).status, 400);

    const NvrStatus after = Status();
    EXPECT_EQ(after.config.mac, before.config.mac);
    EXPECT_EQ(after.config.ip, before.config.ip);
    EXPECT_EQ(after.config.netmask, before.config.netmask);
    EXPECT_EQ(after.config.gateway, before.config.gateway);
    EXPECT_EQ(after.config.sn, before.config.sn);
    EXPECT_EQ(after.dns1, before.dns1);
    EXPECT_EQ(after.dhcpEnable, before.dhcpEnable);
    EXPECT_EQ(after.httpPort, before.httpPort);
    EXPECT_EQ(after.tcpPort, before.tcpPort);
    EXPECT_EQ(after.multicast, before.multicast);

    ASSERT_TRUE(c.Send(Get("/ini.htm")));
    EXPECT_EQ(ReadResponse(c).status, 200);
}

TEST_F(NvrDeviceTest, KeepsTheConnectionForSeveralRequestsAndLogsTheirBytes) {
    StartDevice();
    TestClient c = Connect();
    const std::string first = Get("/ini.htm");
    const std::string second = Get("/vb.htm?setlongsesn=ONE");
    const std::string third = "GET /ini.htm?x=1 HTTP/1.1\nHost: h\nAuthorization: " + std::string(kAdminAuth) + "\n\n";
    const std::string withBody = "GET /ini.htm HTTP/1.1\r\nHost: h\r\nAuthorization: " + std::string(kAdminAuth) +
                                 "\r\nContent-Length: 5\r\n\r\nhello";
    ASSERT_TRUE(c.Send(first));
    Response r1 = ReadResponse(c);
    // Two requests in one write (pipelining): both answered, in order.
    ASSERT_TRUE(c.Send(second + third));
    Response r2 = ReadResponse(c);
    Response r3 = ReadResponse(c);
    ASSERT_TRUE(c.Send(withBody));
    Response r4 = ReadResponse(c);
    for (const Response* r : {&r1, &r2, &r3, &r4}) {
        ASSERT_TRUE(r->complete);
        EXPECT_EQ(r->status, 200);
        EXPECT_EQ(r->Field("Connection"), "");
    }
    EXPECT_EQ(r2.body, "OK setlongsesn\r\n");
    EXPECT_EQ(r1.body, r3.body);
    EXPECT_FALSE(c.PeerClosed());
    EXPECT_EQ(m_device->RequestLog(), (std::vector<std::string>{first, second, third, withBody}));
}

TEST_F(NvrDeviceTest, ClosesWhenTheClientAsks) {
    StartDevice();
    const std::string auth = std::string("Authorization: ") + kAdminAuth + "\r\n";
    struct Case {
        const char* what;
        std::string request;
        bool closes;
    } cases[] = {
        {"Connection: close", Get("/ini.htm", kAdminAuth, "Connection: close\r\n"), true},
        {"HTTP/1.0", "GET /ini.htm HTTP/1.0\r\n" + auth + "\r\n", true},
        {"HTTP/1.0 keep-alive", "GET /ini.htm HTTP/1.0\r\n" + auth + "Connection: Keep-Alive\r\n\r\n", false},
        {"HTTP/1.1", Get("/ini.htm"), false},
    };
    for (const auto& k : cases) {
        TestClient c = Connect();
        ASSERT_TRUE(c.Send(k.request));
        Response r = ReadResponse(c);
        ASSERT_TRUE(r.complete) << k.what;
        EXPECT_EQ(r.status, 200) << k.what;
        EXPECT_EQ(r.Field("Connection") == "close", k.closes) << k.what;
        EXPECT_EQ(c.WaitClosed(k.closes ? 5000ms : 200ms), k.closes) << k.what;
    }
}

TEST_F(NvrDeviceTest, UnknownPagesAndMethods) {
    StartDevice();
    EXPECT_EQ(Exchange(Get("/index.htm")).status, 404);
    EXPECT_EQ(Exchange(Get("/ini.htm", "")).status, 401) << "authorisation comes first";
    Response post = Exchange("POST /vb.htm HTTP/1.1\r\nHost: h\r\nAuthorization: " + std::string(kAdminAuth) +
                             "\r\nContent-Length: 3\r\n\r\nmac");
    EXPECT_EQ(post.status, 405);
    EXPECT_EQ(post.Field("Allow"), "GET");
    EXPECT_EQ(m_device->State().mac, "00:11:22:33:44:55");
}

TEST_F(NvrDeviceTest, RefuseLoginAnswers401ToRightCredentials) {
    StartDevice({{"refuse_login", "1"}});
    Response r = Exchange(Get("/ini.htm"));
    EXPECT_EQ(r.status, 401);
    EXPECT_NE(r.Field("WWW-Authenticate"), "");
}

TEST_F(NvrDeviceTest, RefusedWritesFailTheSuccessRuleAndChangeNothing) {
    struct Case {
        const char* behaviour;
        const char* value;
        bool macAccepted;
        bool snAccepted;
    } cases[] = {
        {"refuse_mac", "true", false, true},
        {"refuse_sn", "", true, false},
        {"refuse_mac", "off", true, true},
    };
    const std::string macCommand =
        "/vb.htm?setuser=admin&netip=192.0.2.10&netmask=255.255.255.0&gateway=192.0.2.1&dns1=192.0.2.1"
        "&dns2=0.0.0.0&mac=00:11:22:33:44:56&dhcpenable=0";
    for (const auto& k : cases) {
        StartDevice({{k.behaviour, k.value}, {"refuse_login", "0"}});
        Response mac = Exchange(Get(macCommand));
        Response sn = Exchange(Get("/vb.htm?setlongsesn=NEW"));
        ASSERT_TRUE(mac.complete && sn.complete) << k.behaviour;
        // The client's rule: success is "200 OK" anywhere in the header.
        EXPECT_EQ(mac.head.find("200 OK") != std::string::npos, k.macAccepted) << k.behaviour << mac.head;
        EXPECT_EQ(sn.head.find("200 OK") != std::string::npos, k.snAccepted) << k.behaviour << sn.head;
        const DeviceConfig state = m_device->State();
        EXPECT_EQ(state.mac, k.macAccepted ? "00:11:22:33:44:56" : "00:11:22:33:44:55") << k.behaviour;
        EXPECT_EQ(state.ip, k.macAccepted ? "192.0.2.10" : "192.168.1.10") << k.behaviour;
        EXPECT_EQ(state.sn, k.snAccepted ? "NEW" : "SN-OLD") << k.behaviour;
        m_device.reset();
    }
}

TEST_F(NvrDeviceTest, SilentDeviceReadsAndLogsButNeverAnswers) {
    StartDevice({{"silent", "yes"}, {"idle_ms", "60000"}});
    TestClient c = Connect();
    const std::string request = Get("/vb.htm?setlongsesn=QUIET");
    ASSERT_TRUE(c.Send(request));
    ASSERT_TRUE(m_eventCount.WaitFor(1));
    EXPECT_EQ(c.ReadAll(300ms), "");
    EXPECT_FALSE(c.PeerClosed());
    EXPECT_EQ(m_device->RequestLog(), std::vector<std::string>{request});
    EXPECT_EQ(m_device->State().sn, "QUIET") << "the request takes effect; only the answer is missing";
    // Stop still ends the silent connection.
    auto stopped = std::async(std::launch::async, [&] { m_device->Stop(); });
    ASSERT_EQ(stopped.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(c.WaitClosed(2s));
}

TEST_F(NvrDeviceTest, CloseMidHeaderCutsTheAnswerAfterItsStatusLine) {
    StartDevice({{"close_mid_header", "1"}});
    TestClient c = Connect();
    ASSERT_TRUE(c.Send(Get("/vb.htm?setlongsesn=CUT")));
    const std::string bytes = c.ReadAll(5s);
    EXPECT_TRUE(c.PeerClosed());
    EXPECT_EQ(bytes.compare(0, 17, "HTTP/1.1 200 OK\r\n"), 0) << bytes;
    EXPECT_EQ(bytes.find("\r\n\r\n"), std::string::npos) << bytes;
    EXPECT_EQ(m_device->State().sn, "CUT");
}

TEST_F(NvrDeviceTest, SlowDeviceWaitsBeforeEachAnswer) {
    StartDevice({{"slow_ms", "300"}});
    TestClient c = Connect();
    for (int i = 0; i < 2; ++i) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(c.Send(Get("/ini.htm")));
        Response r = ReadResponse(c, 10s);
        EXPECT_EQ(r.status, 200);
        EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
    }
}

TEST_F(NvrDeviceTest, BadBehaviourValuesStopTheStart) {
    for (const auto& [key, value] : std::map<std::string, std::string>{
             {"slow_ms", "abc"}, {"idle_ms", "0"}, {"max_connections", "-1"}, {"silent", "maybe"}}) {
        DeviceConfig config;
        config.behaviour[key] = value;
        auto device = MakeNvrDevice(config, nullptr);
        std::string error;
        EXPECT_FALSE(device->Start(&error)) << key << "=" << value;
        EXPECT_NE(error.find(key), std::string::npos) << error;
    }
}

TEST_F(NvrDeviceTest, MalformedRequestsAreAnsweredAndTheDeviceGoesOn) {
    StartDevice();
    const std::string auth = std::string("Authorization: ") + kAdminAuth + "\r\n";
    std::string manyFields = "GET /ini.htm HTTP/1.1\r\nHost: h\r\n";
    for (int i = 0; i < 120; ++i) manyFields += "X-" + std::to_string(i) + ": v\r\n";
    struct Case {
        const char* what;
        std::string request;
        int status;
    } cases[] = {
        {"garbage", std::string("\x16\x03\x01\x02\x00garbage\r\n\r\n", 16), 400},
        {"no version", "GET /ini.htm\r\n\r\n", 400},
        {"NUL in line", std::string("GET /ini\0.htm HTTP/1.1\r\n\r\n", 26), 400},
        {"HTTP/2", "GET /ini.htm HTTP/2.0\r\nHost: h\r\n\r\n", 505},
        {"no Host", "GET /ini.htm HTTP/1.1\r\n" + auth + "\r\n", 400},
        {"folded field", "GET /ini.htm HTTP/1.1\r\nHost: h\r\n  more\r\n\r\n", 400},
        {"huge head", "GET /ini.htm HTTP/1.1\r\nHost: h\r\nX-Big: " + std::string(9000, 'a') + "\r\n\r\n", 431},
        {"huge head, no end", "GET /ini.htm HTTP/1.1\r\nX-Big: " + std::string(20000, 'a'), 431},
        {"too many fields", manyFields + "\r\n", 431},
        {"chunked", "GET /ini.htm HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 501},
        {"big body", "GET /ini.htm HTTP/1.1\r\nHost: h\r\nContent-Length: 999999\r\n\r\n", 413},
        {"bad length", "GET /ini.htm HTTP/1.1\r\nHost: h\r\nContent-Length: -5\r\n\r\n", 400},
        {"two lengths", "GET /ini.htm HTTP/1.1\r\nHost: h\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab", 400},
    };
    for (const auto& k : cases) {
        TestClient c = Connect();
        ASSERT_TRUE(c.Send(k.request)) << k.what;
        Response r = ReadResponse(c);
        ASSERT_TRUE(r.complete) << k.what << ": " << r.head;
        EXPECT_EQ(r.status, k.status) << k.what;
        EXPECT_EQ(r.Field("Connection"), "close") << k.what;
        EXPECT_TRUE(c.WaitClosed()) << k.what;
    }
    const std::vector<std::string> log = m_device->RequestLog();
    ASSERT_EQ(log.size(), std::size(cases));
    EXPECT_EQ(log[0], cases[0].request) << "bad requests are logged as received";
    EXPECT_EQ(Exchange(Get("/ini.htm")).status, 200);
}

TEST_F(NvrDeviceTest, RandomBytesNeverStopTheDevice) {
    StartDevice({{"idle_ms", "200"}});
    // Fragments of real requests, shuffled and cut, with random bytes between.
    const std::vector<std::string> pieces = {
        "GET ", "/ini.htm", "/vb.htm?", "mac=00:11:22:33:44:55", "&", "%", "%4", "=", " HTTP/1.1", "\r\n", "\n",
        "Host: h", "Authorization: ", kAdminAuth, "Content-Length: ", "7", "-1", "99999999999999999999",
        "Transfer-Encoding: chunked", ":", " ", "\r\n\r\n", "setlongsesn=", "Connection: close"};
    std::mt19937 random(20261211);
    for (int round = 0; round < 150; ++round) {
        std::string input;
        const int parts = 1 + static_cast<int>(random() % 24);
        for (int i = 0; i < parts; ++i) {
            if (random() % 4 == 0) {
                input += static_cast<char>(random() % 256);
            } else {
                input += pieces[random() % pieces.size()];
            }
        }
        TestClient c = Connect();
        c.Send(input);  // may fail part-way: the device hangs up on a bad head at once
        ::shutdown(c.Fd(), SHUT_WR);
        EXPECT_TRUE(c.WaitClosed(5s)) << "round " << round;
    }
    Response r = Exchange(Get("/ini.htm"));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(m_device->State().mac.size(), 17u);
}

TEST_F(NvrDeviceTest, IdleConnectionsAndStalledRequestsAreClosed) {
    StartDevice({{"idle_ms", "150"}});
    TestClient idle = Connect();
    ASSERT_TRUE(idle.Send(Get("/ini.htm")));
    EXPECT_EQ(ReadResponse(idle).status, 200);
    EXPECT_TRUE(idle.WaitClosed(5s)) << "an idle kept-alive connection stays open";

    // A request that starts and then stalls, byte by byte or not at all.
    TestClient stalled = Connect();
    ASSERT_TRUE(stalled.Send("GET /ini.htm HTTP/1.1\r\nHo"));
    Response r = ReadResponse(stalled);
    EXPECT_EQ(r.status, 408);
    EXPECT_TRUE(stalled.WaitClosed(5s));

    TestClient silent = Connect();
    EXPECT_TRUE(silent.WaitClosed(5s));
    EXPECT_EQ(silent.ReadAll(10ms), "");
}

TEST_F(NvrDeviceTest, StopEndsOpenConnections) {
    StartDevice({{"idle_ms", "60000"}});
    std::vector<TestClient> clients(4);
    for (auto& c : clients) ASSERT_TRUE(c.Connect(m_device->Port()));
    ASSERT_TRUE(clients[0].Send(Get("/ini.htm")));
    EXPECT_EQ(ReadResponse(clients[0]).status, 200);
    ASSERT_TRUE(clients[1].Send("GET /ini.htm HTTP/1.1\r\n"));  // half a request
    auto stopped = std::async(std::launch::async, [&] { m_device->Stop(); });
    ASSERT_EQ(stopped.wait_for(10s), std::future_status::ready) << "Stop hung";
    for (auto& c : clients) EXPECT_TRUE(c.WaitClosed(2s));
    m_device->Stop();
    TestClient late;
    EXPECT_FALSE(late.Connect(m_device->Port()));
}

TEST_F(NvrDeviceTest, ServesTwoHundredOpenConnectionsAtOnce) {
    StartDevice({{"idle_ms", "60000"}});
    constexpr int kClients = 200;
    std::vector<TestClient> clients(kClients);
    for (auto& c : clients) ASSERT_TRUE(c.Connect(m_device->Port()));
    // Every connection asks before any is answered and read, so all are open together.
    for (auto& c : clients) ASSERT_TRUE(c.Send(Get("/ini.htm")));
    for (auto& c : clients) {
        Response r = ReadResponse(c, 30s);
        ASSERT_TRUE(r.complete);
        EXPECT_EQ(r.status, 200);
    }
    // And each is still open for a second request.
    for (auto& c : clients) ASSERT_TRUE(c.Send(Get("/vb.htm?dhcpenable=1")));
    for (auto& c : clients) EXPECT_EQ(ReadResponse(c, 30s).status, 200);
    for (auto& c : clients) EXPECT_FALSE(c.PeerClosed());
    EXPECT_EQ(m_device->RequestLog().size(), 2u * kClients);
}

}  // namespace
}  // namespace devsim
