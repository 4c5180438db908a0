// The client against a real server: a private nginx on loopback with Basic
// authorization, keep-alive, a large file, a chunked page and a gzip page.
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>

#include "NginxServer.h"
#include "web/BasicCredentials.h"
#include "web/DeviceStatus.h"
#include "web/HttpRequest.h"

namespace korvo::web {
namespace {

using korvo::web::testing::NginxServer;
using Clock = std::chrono::steady_clock;

const std::string kPage = "netip=192.0.2.10<br>netmask=255.255.255.0<br>httpport=80<br>getdevname=Cam 1";

std::string RandomBytes(std::size_t size) {
    std::mt19937 gen(7);
    std::string s(size, '\0');
    for (char& c : s) {
        c = static_cast<char>(gen() & 0xFF);  // NUL bytes included
    }
    return s;
}

// Text long enough that nginx compresses it and sends it in several chunks.
std::string CompressibleText() {
    std::string s;
    for (int i = 0; i < 20000; ++i) {
        s += "line " + std::to_string(i) + " of the status page<br>";
    }
    return s;
}

// The payload of a chunked body (RFC 9112, section 7.1), for checking only.
std::string Dechunk(const std::string& body) {
    std::string out;
    std::size_t at = 0;
    while (true) {
        const std::size_t eol = body.find("\r\n", at);
        if (eol == std::string::npos) {
            return "<broken>";
        }
        const std::size_t size = std::stoul(body.substr(at, eol - at), nullptr, 16);
        if (size == 0) {
            return out;
        }
        out += body.substr(eol + 2, size);
        at = eol + 2 + size + 2;
    }
}

// Decompresses with the system's gzip program (always there on Debian).
std::string Gunzip(const std::string& data) {
    char path[] = "/tmp/korvo-gzip-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) {
        return "<no temporary file>";
    }
    const bool written = ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
    ::close(fd);
    std::string out = written ? "" : "<not written>";
    if (FILE* pipe = ::popen(("gzip -dc < " + std::string(path) + " 2>/dev/null").c_str(), "r")) {
        char buf[65536];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) {
            out.append(buf, n);
        }
        if (::pclose(pipe) != 0) {
            out = "<broken gzip>";
        }
    }
    ::unlink(path);
    return out;
}

class NginxTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!testing::NginxInstalled()) {
            return;
        }
        s_server = std::make_unique<NginxServer>(testing::NginxOptions{
            true,
            "location /auth/ { auth_basic \"korvo\"; auth_basic_user_file @DIR@/htpasswd; }\n"
            "location /chunked/ { ssi on; ssi_types *; }\n"
            "location /gzip/ { gzip on; gzip_types *; gzip_min_length 0; }\n"});
        s_large = RandomBytes(3 * 1024 * 1024 + 17);
        const bool written = s_server->AddUser("admin", "12345") && s_server->AddFile("auth/ini.htm", kPage) &&
                             s_server->AddFile("large.bin", s_large) &&
                             s_server->AddFile("chunked/page.txt", CompressibleText()) &&
                             s_server->AddFile("gzip/page.txt", CompressibleText());
        std::string error = "cannot write the server's files";
        if (!written || !s_server->Start(&error)) {
            s_error = error;
        }
    }
    static void TearDownTestSuite() { s_server.reset(); }

    void SetUp() override {
        if (!testing::NginxInstalled()) {
            GTEST_SKIP() << "nginx is not installed at " << testing::kNginxPath
                         << " (scripts/test installs it); the client is not tested against a real server";
        }
        ASSERT_TRUE(s_error.empty()) << s_error;
    }

    // A long time-out: nginx keeps the connection open for 65 s, so a
    // request that takes anywhere near 20 s waited for the time-out.
    static HttpResponse Get(const std::string& path, const std::string& credentials, double* seconds = nullptr) {
        CHttpRequest request(HttpTimeouts{4000, 20000});
        HttpResponse r;
        const auto start = Clock::now();
        EXPECT_EQ(request.SendRequest(s_server->Url(path).c_str(), nullptr, nullptr, 0, r, credentials.c_str()), 0)
            << path;
        if (seconds) {
            *seconds = std::chrono::duration<double>(Clock::now() - start).count();
        }
        return r;
    }

    static std::unique_ptr<NginxServer> s_server;
    static std::string s_error;
    static std::string s_large;
};

std::unique_ptr<NginxServer> NginxTest::s_server;
std::string NginxTest::s_error;
std::string NginxTest::s_large;

TEST_F(NginxTest, KeepAliveAnswerEndsAtItsLength) {
    double seconds = 0;
    const HttpResponse r = Get("/auth/ini.htm", MakeBasicCredentials(u"admin", u"12345"), &seconds);
    EXPECT_EQ(r.m_strHeader.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << r.m_strHeader;
    EXPECT_NE(r.m_strHeader.find("Connection: keep-alive\r\n"), std::string::npos) << r.m_strHeader;
    EXPECT_EQ(r.m_strHeader.substr(r.m_strHeader.size() - 4), "\r\n\r\n");
    EXPECT_EQ(r.m_strBody, kPage);
    EXPECT_LT(seconds, 10.0);
}

TEST_F(NginxTest, WrongPasswordIsUnauthorized) {
    const HttpResponse r = Get("/auth/ini.htm", MakeBasicCredentials(u"admin", u"wrong"));
    EXPECT_NE(r.m_strHeader.find("401 Unauthorized"), std::string::npos) << r.m_strHeader;
    EXPECT_EQ(JudgeStatusRead(1, r.m_strHeader), StatusRead::kUnauthorized);
}

TEST_F(NginxTest, StatusPageReadFillsTheRecordOnlyWhenAuthorized) {
    CHttpRequest request(HttpTimeouts{4000, 20000});
    DeviceStatus status;
    status.m_strDevName = u"before";
    EXPECT_EQ(ReadStatusPage(request, s_server->Url("/auth/ini.htm"), MakeBasicCredentials(u"admin", u"bad"), status),
              StatusRead::kUnauthorized);
    EXPECT_EQ(status.m_strDevName, u"before");
    EXPECT_EQ(ReadStatusPage(request, s_server->Url("/auth/missing.htm"), MakeBasicCredentials(u"admin", u"12345"),
                             status),
              StatusRead::kFailed);
    EXPECT_EQ(status.m_strDevName, u"before");
    EXPECT_EQ(ReadStatusPage(request, s_server->Url("/auth/ini.htm"), MakeBasicCredentials(u"admin", u"12345"), status),
              StatusRead::kOk);
    EXPECT_EQ(status.m_strNetIp, u"192.0.2.10");
    EXPECT_EQ(status.m_strNetmask, u"255.255.255.0");
    EXPECT_EQ(status.m_nHttpPort, 80);
    EXPECT_EQ(status.m_strDevName, u"Cam 1");
}

TEST_F(NginxTest, LargeBodyArrivesByteForByte) {
    double seconds = 0;
    const HttpResponse r = Get("/large.bin", "Og==", &seconds);
    EXPECT_NE(r.m_strHeader.find("200 OK"), std::string::npos);
    ASSERT_EQ(r.m_strBody.size(), s_large.size());
    EXPECT_TRUE(r.m_strBody == s_large) << "the body differs from the file";
    EXPECT_EQ(r.m_nBodyLength, static_cast<int>(s_large.size()));
    EXPECT_LT(seconds, 10.0);
}

TEST_F(NginxTest, ChunkedBodyIsHandedOnWithItsChunkLines) {
    double seconds = 0;
    const HttpResponse r = Get("/chunked/page.txt", "Og==", &seconds);
    ASSERT_NE(r.m_strHeader.find("Transfer-Encoding: chunked\r\n"), std::string::npos) << r.m_strHeader;
    EXPECT_EQ(r.m_strBody.substr(r.m_strBody.size() - 5), "0\r\n\r\n");
    EXPECT_EQ(Dechunk(r.m_strBody), CompressibleText());
    EXPECT_LT(seconds, 10.0);
}

TEST_F(NginxTest, CompressedBodyIsHandedOnUndecoded) {
    double seconds = 0;
    const HttpResponse r = Get("/gzip/page.txt", "Og==", &seconds);
    ASSERT_NE(r.m_strHeader.find("Content-Encoding: gzip\r\n"), std::string::npos) << r.m_strHeader;
    const bool chunked = r.m_strHeader.find("Transfer-Encoding: chunked\r\n") != std::string::npos;
    const std::string gz = chunked ? Dechunk(r.m_strBody) : r.m_strBody;
    ASSERT_GE(gz.size(), 2u);
    EXPECT_EQ(gz.substr(0, 2), "\x1f\x8b");
    EXPECT_EQ(Gunzip(gz), CompressibleText());
    EXPECT_LT(seconds, 10.0);
}

}  // namespace
}  // namespace korvo::web
