#include "HttpMessage.h"

#include <gtest/gtest.h>

namespace devsim::http {
namespace {

TEST(HttpMessageTest, FindHeadEnd) {
    struct Case {
        std::string buffer;
        size_t end;
    } cases[] = {
        {"GET / HTTP/1.1\r\nHost: a\r\n\r\n", 27},
        {"GET / HTTP/1.1\r\nHost: a\r\n\r\nGET /next", 27},  // pipelined bytes stay outside
        {"GET / HTTP/1.1\nHost: a\n\n", 24},                   // bare line feeds
        {"\r\n\r\nGET / HTTP/1.1\r\n\r\n", 22},                // leading empty lines skipped
        {"GET / HTTP/1.1\r\nHost: a\r\n", std::string::npos},
        {"GET / HTTP/1.1\r\n\r", std::string::npos},
        {"", std::string::npos},
        {"\r\n\r\n", std::string::npos},
    };
    for (const auto& c : cases) EXPECT_EQ(FindHeadEnd(c.buffer), c.end) << c.buffer;
}

TEST(HttpMessageTest, ParsesWellFormedHeads) {
    RequestHead head;
    ASSERT_EQ(ParseRequestHead("\r\nGET /vb.htm?mac=1&x=2 HTTP/1.1\r\nHost: h\r\nX-Pad:  v v \t\r\nhost: second\r\n\r\n",
                               &head),
              HeadError::kNone);
    EXPECT_EQ(head.method, "GET");
    EXPECT_EQ(head.target, "/vb.htm?mac=1&x=2");
    EXPECT_EQ(head.Path(), "/vb.htm");
    EXPECT_EQ(head.Query(), "mac=1&x=2");
    EXPECT_EQ(head.minorVersion, 1);
    ASSERT_NE(head.Field("HOST"), nullptr);
    EXPECT_EQ(*head.Field("HOST"), "h") << "the first of repeated fields counts";
    ASSERT_NE(head.Field("x-pad"), nullptr);
    EXPECT_EQ(*head.Field("x-pad"), "v v");
    EXPECT_EQ(head.Field("Authorization"), nullptr);

    ASSERT_EQ(ParseRequestHead("GET http://192.0.2.1:80/ini.htm HTTP/1.0\n\n", &head), HeadError::kNone);
    EXPECT_EQ(head.target, "/ini.htm");
    EXPECT_EQ(head.minorVersion, 0);
    EXPECT_EQ(head.Query(), "");
}

TEST(HttpMessageTest, RefusesMalformedHeads) {
    struct Case {
        const char* head;
        HeadError error;
    } cases[] = {
        {"garbage\r\n\r\n", HeadError::kMalformed},
        {"GET /ini.htm\r\n\r\n", HeadError::kMalformed},
        {"GET  /ini.htm HTTP/1.1\r\n\r\n", HeadError::kMalformed},
        {"GET /ini.htm HTTP/1.1 extra\r\n\r\n", HeadError::kMalformed},
        {"GET ini.htm HTTP/1.1\r\n\r\n", HeadError::kMalformed},
        {"G(T / HTTP/1.1\r\n\r\n", HeadError::kMalformed},
        {"GET / HTTQ/1.1\r\n\r\n", HeadError::kMalformed},
        {"GET / HTTP/1.10\r\n\r\n", HeadError::kMalformed},
        {"GET / HTTP/2.0\r\n\r\n", HeadError::kVersion},
        {"GET / HTTP/1.2\r\n\r\n", HeadError::kVersion},
        {"GET / HTTP/1.1\r\nHost : h\r\n\r\n", HeadError::kMalformed},
        {"GET / HTTP/1.1\r\nHost: h\r\n folded\r\n\r\n", HeadError::kMalformed},
        {"GET / HTTP/1.1\r\nno colon\r\n\r\n", HeadError::kMalformed},
        {"GET / HTTP/1.1\r\n: empty name\r\n\r\n", HeadError::kMalformed},
        {"GET / HTTP/1.1\r\nX: a\x01z\r\n\r\n", HeadError::kMalformed},
        {"\r\n\r\n", HeadError::kMalformed},
    };
    for (const auto& c : cases) {
        RequestHead head;
        std::string reason;
        EXPECT_EQ(ParseRequestHead(c.head, &head, &reason), c.error) << c.head;
        if (c.error == HeadError::kMalformed) {
            EXPECT_FALSE(reason.empty()) << c.head;
        }
    }
    std::string many = "GET / HTTP/1.1\r\n";
    for (size_t i = 0; i <= kMaxHeaderFields; ++i) many += "X-" + std::to_string(i) + ": v\r\n";
    RequestHead head;
    EXPECT_EQ(ParseRequestHead(many + "\r\n", &head), HeadError::kTooManyFields);
}

TEST(HttpMessageTest, PercentDecode) {
    struct Case {
        std::string in;
        bool ok;
        std::string out;
    } cases[] = {
        {"plain", true, "plain"},
        {"a%20b", true, "a b"},
        {"%41%62%2f", true, "Ab/"},
        {"a+b", true, "a+b"},
        {"%00x", true, std::string("\0x", 2)},
        {"100%", false, ""},
        {"%4", false, ""},
        {"%G1", false, ""},
        {"%%41", false, ""},
        {"", true, ""},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(PercentDecode(c.in, &out), c.ok) << c.in;
        if (c.ok) {
            EXPECT_EQ(out, c.out) << c.in;
        }
    }
}

TEST(HttpMessageTest, ParseQuery) {
    std::vector<std::pair<std::string, std::string>> q;
    ASSERT_TRUE(ParseQuery("a=1&&b=&c&d=x%3Dy=z&setlongsesn=AB&CD", &q));
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"a", "1"}, {"b", ""}, {"c", ""}, {"d", "x=y=z"}, {"setlongsesn", "AB"}, {"CD", ""}};
    EXPECT_EQ(q, expected);
    EXPECT_FALSE(ParseQuery("a=1&b=%zz", &q));
    EXPECT_FALSE(ParseQuery("%=1", &q));
}

TEST(HttpMessageTest, DecodeBase64) {
    struct Case {
        const char* in;
        bool ok;
        const char* out;
    } cases[] = {
        {"YWRtaW46YWRtaW4=", true, "admin:admin"},
        {"Og==", true, ":"},
        {"YQ==", true, "a"},
        {"YWI=", true, "ab"},
        {"YWJj", true, "abc"},
        {"", true, ""},
        {"YWJ", false, ""},
        {"Y===", false, ""},
        {"YQ=a", false, ""},
        {"YQ==YQ==", false, ""},
        {"YW*j", false, ""},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(DecodeBase64(c.in, &out), c.ok) << c.in;
        if (c.ok) {
            EXPECT_EQ(out, c.out) << c.in;
        }
    }
}

TEST(HttpMessageTest, ParseBasicCredentials) {
    auto c = ParseBasicCredentials("Basic YWRtaW46cGE6c3M=");  // admin:pa:ss
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->first, "admin");
    EXPECT_EQ(c->second, "pa:ss");
    c = ParseBasicCredentials("bAsIc Og==");
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->first, "");
    EXPECT_EQ(c->second, "");
    for (const char* bad : {"Bearer YWRtaW46YWRtaW4=", "Basic", "Basic !!!!", "Basic YWRtaW4=", ""}) {
        EXPECT_FALSE(ParseBasicCredentials(bad).has_value()) << bad;
    }
}

TEST(HttpMessageTest, HasToken) {
    EXPECT_TRUE(HasToken("close", "close"));
    EXPECT_TRUE(HasToken("Keep-Alive, Upgrade", "keep-alive"));
    EXPECT_TRUE(HasToken("upgrade ,  CLOSE", "close"));
    EXPECT_FALSE(HasToken("closed", "close"));
    EXPECT_FALSE(HasToken("", "close"));
}

TEST(HttpMessageTest, FormatResponse) {
    EXPECT_EQ(FormatResponse(401, "Unauthorized", {"WWW-Authenticate: Basic realm=\"x\""}, "text/html", "no", false),
              "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"x\"\r\nContent-Type: text/html\r\n"
              "Content-Length: 2\r\n\r\nno");
    EXPECT_EQ(FormatResponse(400, "Bad Request", {}, "", "", true),
              "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
}

}  // namespace
}  // namespace devsim::http
