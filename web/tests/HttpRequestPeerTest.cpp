// The client against a scripted peer: answers that no real server gives on
// request, the exact request text, the limits and the time bounds.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "Loopback.h"
#include "ScriptedPeer.h"
#include "web/HttpRequest.h"

namespace korvo::web {
namespace {

using korvo::web::testing::ScriptedPeer;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A response that must never be touched by a failed request.
HttpResponse Sentinel() {
    return HttpResponse{"untouched request", "untouched header", "untouched body", 14};
}

void ExpectUntouched(const HttpResponse& r) {
    EXPECT_EQ(r.m_strRequest, "untouched request");
    EXPECT_EQ(r.m_strHeader, "untouched header");
    EXPECT_EQ(r.m_strBody, "untouched body");
    EXPECT_EQ(r.m_nBodyLength, 14);
}

struct AnswerCase {
    const char* name;
    std::string answer;
    bool keepOpen;  // the peer keeps the connection open after answering
    std::string header;
    std::string body;
};

// Names the case in failure messages instead of dumping its bytes.
void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }

const AnswerCase kAnswers[] = {
    {"length then kept open", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", true,
     "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", "hello"},
    {"chunked then kept open", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n", true,
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", "3\r\nabc\r\n0\r\n\r\n"},
    {"no content then kept open", "HTTP/1.1 204 No Content\r\n\r\n", true, "HTTP/1.1 204 No Content\r\n\r\n", ""},
    {"bare line feeds then close", "HTTP/1.0 200 OK\nServer: cam\n\nnetip=1<br>", false,
     "HTTP/1.0 200 OK\nServer: cam\n\n", "netip=1<br>"},
    {"bare line feeds with length kept open", "HTTP/1.1 200 OK\nContent-Length: 2\n\nok", true,
     "HTTP/1.1 200 OK\nContent-Length: 2\n\n", "ok"},
    {"close in the middle of the header", "HTTP/1.1 200 OK\r\nContent-Ty", false, "HTTP/1.1 200 OK\r\nContent-Ty",
     ""},
    {"NUL byte in the body", std::string("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nab\0cd", 43), true,
     "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", std::string("ab\0cd", 5)},
    {"no length reads to the close", "HTTP/1.1 200 OK\r\n\r\n" + std::string(5000, 'b'), false,
     "HTTP/1.1 200 OK\r\n\r\n", std::string(5000, 'b')},
    {"closed without a word", "", false, "", ""},
};

class PeerAnswerTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(PeerAnswerTest, KeepsEveryByteAndEndsWhenComplete) {
    const AnswerCase& c = GetParam();
    ScriptedPeer peer([&c](ScriptedPeer& p, int fd) {
        p.Send(fd, c.answer);
        if (c.keepOpen) {
            p.WaitForClose(fd);
        }
    });
    // A long time-out: an answer that is complete must not wait for it.
    CHttpRequest request(HttpTimeouts{4000, 20000});
    HttpResponse r;
    const auto start = Clock::now();
    ASSERT_EQ(request.SendRequest(peer.Url("/ini.htm").c_str(), nullptr, nullptr, 0, r, "Og=="), 0);
    EXPECT_LT(SecondsSince(start), 5.0) << "waited for the time-out or the close after a complete answer";
    EXPECT_EQ(r.m_strHeader, c.header);
    EXPECT_EQ(r.m_strBody, c.body);
    EXPECT_EQ(r.m_nBodyLength, static_cast<int>(c.body.size()));
    peer.Join();
    EXPECT_EQ(r.m_strRequest, peer.Request());
}

INSTANTIATE_TEST_SUITE_P(Answers, PeerAnswerTest, ::testing::ValuesIn(kAnswers),
                         [](const ::testing::TestParamInfo<AnswerCase>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p) {
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return name;
                         });

TEST(HttpGetTest, HandsOnTheBodyUpToItsFirstNul) {
    ScriptedPeer peer([](ScriptedPeer& p, int fd) {
        p.Send(fd, std::string("HTTP/1.1 200 OK\r\n\r\nab\0cd", 24));
    });
    CHttpRequest request(HttpTimeouts{4000, 5000});
    std::string sent;
    std::string header;
    std::string body;
    ASSERT_EQ(HttpGet(request, peer.Url("/x"), "Og==", sent, header, body), 1);
    EXPECT_EQ(header, "HTTP/1.1 200 OK\r\n\r\n");
    EXPECT_EQ(body, "ab");
    EXPECT_EQ(sent.substr(0, 17), "GET /x HTTP/1.1\r\n");
}

TEST(HttpGetTest, FailureLeavesTheStringsAsTheyWere) {
    CHttpRequest request(HttpTimeouts{1000, 1000});
    std::string sent = "s";
    std::string header = "h";
    std::string body = "b";
    const std::string url = "http://127.0.0.1:" + std::to_string(testing::FreeLoopbackPort()) + "/ini.htm";
    EXPECT_EQ(HttpGet(request, url, "Og==", sent, header, body), 0);
    EXPECT_EQ(sent + header + body, "shb");
}

TEST(HttpRequestTimeTest, SilenceAfterConnectCostsOneTimeOutPerPhase) {
    ScriptedPeer peer([](ScriptedPeer& p, int fd) { p.WaitForClose(fd); });
    CHttpRequest request(HttpTimeouts{4000, 300});
    HttpResponse r;
    const auto start = Clock::now();
    ASSERT_EQ(request.SendRequest(peer.Url("/").c_str(), nullptr, nullptr, 0, r, ""), 0);
    const double took = SecondsSince(start);
    EXPECT_GE(took, 0.59);  // the header wait, then the body wait
    EXPECT_LT(took, 5.0);
    EXPECT_EQ(r.m_strHeader, "");
    EXPECT_EQ(r.m_strBody, "");
    EXPECT_EQ(r.m_nBodyLength, 0);
}

TEST(HttpRequestTimeTest, AnswerWithoutLengthKeptOpenEndsAfterOneTimeOut) {
    ScriptedPeer peer([](ScriptedPeer& p, int fd) {
        p.Send(fd, "HTTP/1.1 200 OK\r\n\r\nnetip=1");
        p.WaitForClose(fd);
    });
    CHttpRequest request(HttpTimeouts{4000, 300});
    HttpResponse r;
    const auto start = Clock::now();
    ASSERT_EQ(request.SendRequest(peer.Url("/").c_str(), nullptr, nullptr, 0, r, ""), 0);
    const double took = SecondsSince(start);
    EXPECT_GE(took, 0.29);
    EXPECT_LT(took, 3.0);
    EXPECT_EQ(r.m_strHeader, "HTTP/1.1 200 OK\r\n\r\n");
    EXPECT_EQ(r.m_strBody, "netip=1");
}

TEST(HttpRequestTimeTest, TricklingPeerCannotHoldTheRequestPastTwoTimeOuts) {
    struct Case {
        const char* name;
        std::string prefix;  // sent at once; then one byte every 50 ms for up to 10 s
    };
    const Case cases[] = {
        {"in the header", "HTTP/1.1 200 OK\r\nX-Slow: "},
        {"in the body", "HTTP/1.1 200 OK\r\n\r\n"},
    };
    for (const Case& c : cases) {
        ScriptedPeer peer([&c](ScriptedPeer& p, int fd) {
            p.Send(fd, c.prefix);
            for (int i = 0; i < 200 && p.Pause(50) && p.Send(fd, "a"); ++i) {
            }
        });
        CHttpRequest request(HttpTimeouts{4000, 300});
        HttpResponse r;
        const auto start = Clock::now();
        ASSERT_EQ(request.SendRequest(peer.Url("/").c_str(), nullptr, nullptr, 0, r, ""), 0) << c.name;
        EXPECT_LT(SecondsSince(start), 3.0) << c.name << ": the peer trickles for 10 s";
        EXPECT_EQ((r.m_strHeader + r.m_strBody).substr(0, c.prefix.size()), c.prefix) << c.name;
    }
}

TEST(HttpRequestFailureTest, NothingListeningFailsAtOnce) {
    CHttpRequest request;  // the program's own waits
    HttpResponse r = Sentinel();
    const std::string url = "http://127.0.0.1:" + std::to_string(testing::FreeLoopbackPort()) + "/ini.htm";
    const auto start = Clock::now();
    EXPECT_EQ(request.SendRequest(url.c_str(), nullptr, nullptr, 0, r, "Og=="), 1);
    EXPECT_LT(SecondsSince(start), 4.5);
    ExpectUntouched(r);
}

TEST(HttpRequestFailureTest, ConnectThatDoesNotFinishFailsAfterTheConnectWait) {
    // A listener that never accepts, with its queue filled, drops new SYNs:
    // the connect neither succeeds nor fails.
    std::uint16_t port = 0;
    const int listener = testing::ListenOnLoopback(0, &port);
    ASSERT_GE(listener, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        fillers.push_back(fd);
    }
    CHttpRequest request(HttpTimeouts{300, 300});
    HttpResponse r = Sentinel();
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
    const auto start = Clock::now();
    EXPECT_EQ(request.SendRequest(url.c_str(), nullptr, nullptr, 0, r, ""), 1);
    const double took = SecondsSince(start);
    EXPECT_GE(took, 0.29);
    EXPECT_LT(took, 3.0);
    ExpectUntouched(r);
    for (int fd : fillers) {
        ::close(fd);
    }
    ::close(listener);
}

TEST(HttpRequestFailureTest, OversizedAnswersFailTheRequest) {
    struct Case {
        const char* name;
        std::string head;  // sent first
        std::size_t fill;  // then this many 'x'
        std::string tail;
    };
    const Case cases[] = {
        {"header over 64 KiB", "HTTP/1.1 200 OK\r\nX-Big: ", 64 * 1024, "\r\n\r\n"},
        {"body over 16 MiB", "HTTP/1.1 200 OK\r\n\r\n", 16 * 1024 * 1024 + 1, ""},
        {"body over 16 MiB in one chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1000001\r\n",
         16 * 1024 * 1024 + 1, "\r\n0\r\n\r\n"},
    };
    for (const Case& c : cases) {
        ScriptedPeer peer([&c](ScriptedPeer& p, int fd) {
            const std::string fill(1 << 20, 'x');
            bool ok = p.Send(fd, c.head);
            for (std::size_t sent = 0; ok && sent < c.fill; sent += fill.size()) {
                ok = p.Send(fd, std::string_view(fill).substr(0, std::min(fill.size(), c.fill - sent)));
            }
            if (ok) {
                p.Send(fd, c.tail);
                p.WaitForClose(fd);
            }
        });
        CHttpRequest request(HttpTimeouts{4000, 5000});
        HttpResponse r = Sentinel();
        EXPECT_EQ(request.SendRequest(peer.Url("/").c_str(), nullptr, nullptr, 0, r, ""), 1) << c.name;
        ExpectUntouched(r);
    }
}

TEST(HttpRequestTextTest, SendsExactlyTheseBytes) {
    const std::string common =
        "Accept: */*\r\nAccept-Language: en-us\r\nAccept-Encoding: gzip, default\r\nUser-Agent: http client\r\n";
    struct Case {
        const char* why;
        std::string path;  // after "http://127.0.0.1:<port>"; the host is "127.0.0.1"
        const char* extra;
        const char* body;
        int bodyLength;
        const char* credentials;
        std::string expected;
    };
    const Case cases[] = {
        {"status page", "/ini.htm", nullptr, nullptr, 0, "YWRtaW46MTIzNDU=",
         "GET /ini.htm HTTP/1.1\r\n" + common +
             "Authorization: Basic YWRtaW46MTIzNDU=\r\nHost: 127.0.0.1\r\n\r\n"},
        {"no path", "", nullptr, nullptr, 0, "Og==",
         "GET / HTTP/1.1\r\n" + common + "Authorization: Basic Og==\r\nHost: 127.0.0.1\r\n\r\n"},
        {"query unescaped, in its own case", "/vb.htm?setuser=Op&mac=0A:AB", nullptr, nullptr, 0, nullptr,
         "GET /vb.htm?setuser=Op&mac=0A:AB HTTP/1.1\r\n" + common +
             "Authorization: Basic \r\nHost: 127.0.0.1\r\n\r\n"},
        {"extra header lines after Host", "/a", "X-One: 1\r\nX-Two: 2\r\n", nullptr, 0, "Og==",
         "GET /a HTTP/1.1\r\n" + common +
             "Authorization: Basic Og==\r\nHost: 127.0.0.1\r\nX-One: 1\r\nX-Two: 2\r\n\r\n"},
        {"empty extra text adds nothing", "/a", "", nullptr, 0, "Og==",
         "GET /a HTTP/1.1\r\n" + common + "Authorization: Basic Og==\r\nHost: 127.0.0.1\r\n\r\n"},
        {"post", "/cgi", nullptr, "a=1&b=2", 7, "Og==",
         "POST /cgi HTTP/1.1\r\n" + common +
             "Authorization: Basic Og==\r\nContent-Length: 7\r\nHost: 127.0.0.1\r\n\r\na=1&b=2"},
        {"post body ends at its first NUL, and the length says so", "/cgi", nullptr, "ab\0cd", 5, "Og==",
         "POST /cgi HTTP/1.1\r\n" + common +
             "Authorization: Basic Og==\r\nContent-Length: 2\r\nHost: 127.0.0.1\r\n\r\nab"},
        {"post of a part of the body", "/cgi", nullptr, "abcdef", 3, "Og==",
         "POST /cgi HTTP/1.1\r\n" + common +
             "Authorization: Basic Og==\r\nContent-Length: 3\r\nHost: 127.0.0.1\r\n\r\nabc"},
        {"a GET never claims a body", "/cgi", nullptr, nullptr, 5, "Og==",
         "GET /cgi HTTP/1.1\r\n" + common + "Authorization: Basic Og==\r\nHost: 127.0.0.1\r\n\r\n"},
    };
    for (const Case& c : cases) {
        ScriptedPeer peer([](ScriptedPeer& p, int fd) { p.Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"); });
        CHttpRequest request(HttpTimeouts{4000, 5000});
        HttpResponse r;
        ASSERT_EQ(request.SendRequest(peer.Url(c.path).c_str(), c.extra, c.body, c.bodyLength, r, c.credentials), 0)
            << c.why;
        peer.Join();
        EXPECT_EQ(peer.Request(), c.expected) << c.why;
        EXPECT_EQ(r.m_strRequest, c.expected) << c.why;
    }
}

TEST(HttpRequestTextTest, HostLineIsUpperCaseWithoutThePort) {
    ScriptedPeer peer([](ScriptedPeer& p, int fd) { p.Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"); });
    CHttpRequest request(HttpTimeouts{4000, 5000});
    HttpResponse r;
    const std::string url = "HtTp://localhost:" + std::to_string(peer.Port()) + "/Ini.htm";
    ASSERT_EQ(request.SendRequest(url.c_str(), nullptr, nullptr, 0, r, "Og=="), 0);
    peer.Join();
    EXPECT_EQ(peer.Request().substr(0, 26), "GET /Ini.htm HTTP/1.1\r\nAcc");
    EXPECT_NE(peer.Request().find("\r\nHost: LOCALHOST\r\n\r\n"), std::string::npos) << peer.Request();
}

// Requests that must be refused before anything reaches the wire, next to
// the largest ones that must still go out.
TEST(HttpRequestLimitTest, RefusesWhatDoesNotFitAndSendsWhatJustFits) {
    // The request text around the extra lines for path "/" and credentials "Og==".
    const std::size_t fixed = std::string("GET / HTTP/1.1\r\nAccept: */*\r\nAccept-Language: en-us\r\n"
                                          "Accept-Encoding: gzip, default\r\nUser-Agent: http client\r\n"
                                          "Authorization: Basic Og==\r\nHost: 127.0.0.1\r\n\r\n")
                                  .size();
    const auto extraOf = [](std::size_t total) { return "X: " + std::string(total - 5, 'e') + "\r\n"; };
    struct Case {
        const char* why;
        std::string url;         // "@PORT@" stands for the peer's port, "@PORT+65536@" for it plus 65536
        std::size_t urlLength;   // when not 0: the URL is padded with 'p' to this length
        std::string credentials;
        std::string extra;
        int result;
    };
    const std::string local = "http://127.0.0.1:@PORT@/";
    const Case cases[] = {
        {"URL of 511 bytes", local, kMaxUrlLength, "Og==", "", 0},
        {"URL of 512 bytes", local, kMaxUrlLength + 1, "Og==", "", 1},
        {"credentials of 511 characters", local, 0, std::string(511, 'c'), "", 0},
        {"credentials of 512 characters", local, 0, std::string(512, 'c'), "", 1},
        {"request of 4095 bytes", local, 0, "Og==", extraOf(kMaxRequestLength - fixed), 0},
        {"request of 4096 bytes", local, 0, "Og==", extraOf(kMaxRequestLength - fixed + 1), 1},
        {"line break in the path", local + "a\r\nX-Injected: 1", 0, "Og==", "", 1},
        {"line break in the credentials", local, 0, "Og==\r\nX-Injected: 1", "", 1},
        {"https", "https://127.0.0.1:@PORT@/", 0, "Og==", "", 1},
        {"no scheme but a port", "127.0.0.1:@PORT@/", 0, "Og==", "", 1},
        {"port 0", "http://127.0.0.1:/", 0, "Og==", "", 1},
        {"port beyond 65535, which 16 bits would wrap onto the peer", "http://127.0.0.1:@PORT+65536@/", 0, "Og==",
         "", 1},
        {"empty host", "http://:@PORT@/", 0, "Og==", "", 1},
    };
    for (const Case& c : cases) {
        ScriptedPeer peer([](ScriptedPeer& p, int fd) { p.Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"); });
        std::string url = c.url;
        if (const std::size_t at = url.find("@PORT+65536@"); at != std::string::npos) {
            url.replace(at, 12, std::to_string(peer.Port() + 65536));
        }
        if (const std::size_t at = url.find("@PORT@"); at != std::string::npos) {
            url.replace(at, 6, std::to_string(peer.Port()));
        }
        if (c.urlLength != 0) {
            url.resize(c.urlLength, 'p');
        }
        CHttpRequest request(HttpTimeouts{1000, 1000});
        HttpResponse r = Sentinel();
        EXPECT_EQ(request.SendRequest(url.c_str(), c.extra.c_str(), nullptr, 0, r, c.credentials.c_str()), c.result)
            << c.why;
        peer.Stop();
        EXPECT_EQ(peer.Connected(), c.result == 0) << c.why;
        if (c.result == 0) {
            EXPECT_EQ(r.m_strHeader, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n") << c.why;
        } else {
            ExpectUntouched(r);
        }
    }
}

}  // namespace
}  // namespace korvo::web
