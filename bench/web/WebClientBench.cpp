// Median time per request of the device HTTP client and of libcurl, both
// fetching the same pages from a private nginx on loopback (Basic
// authorization on), on a fresh connection each time, alternating round by
// round. Once with the server keeping connections open, once with it closing
// after each answer. Prints both medians and the median of the per-round
// ratios (ours / libcurl), and whether both bodies equal the file byte for
// byte.
//
// Usage: korvo_web_bench [rounds]   (default 301)
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "NginxServer.h"
#include "web/BasicCredentials.h"
#include "web/HttpRequest.h"

namespace {

using Clock = std::chrono::steady_clock;
using korvo::web::testing::NginxOptions;
using korvo::web::testing::NginxServer;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

class CurlClient {
public:
    CurlClient() : m_curl(curl_easy_init()) {
        curl_easy_setopt(m_curl, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(m_curl, CURLOPT_FORBID_REUSE, 1L);
        curl_easy_setopt(m_curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(m_curl, CURLOPT_USERPWD, "admin:12345");
        curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, Collect);
        curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &m_body);
        curl_easy_setopt(m_curl, CURLOPT_TIMEOUT_MS, 15000L);
    }
    ~CurlClient() { curl_easy_cleanup(m_curl); }
    CurlClient(const CurlClient&) = delete;
    CurlClient& operator=(const CurlClient&) = delete;

    bool Get(const std::string& url, std::string& body) {
        m_body.clear();
        curl_easy_setopt(m_curl, CURLOPT_URL, url.c_str());
        const bool ok = curl_easy_perform(m_curl) == CURLE_OK;
        body.swap(m_body);
        return ok;
    }

private:
    CURL* m_curl;
    std::string m_body;
};

struct Figures {
    double oursUs;
    double curlUs;
    double ratio;
    bool identical;
};

Figures Run(const NginxServer& server, const std::string& path, const std::string& expected, int rounds) {
    korvo::web::CHttpRequest ours;  // the program's own time-outs
    CurlClient curl;
    const std::string url = server.Url(path);
    const std::string credentials = korvo::web::MakeBasicCredentials(u"admin", u"12345");
    std::vector<double> oursTimes;
    std::vector<double> curlTimes;
    std::vector<double> ratios;
    bool identical = true;
    for (int round = -5; round < rounds; ++round) {  // five rounds to warm up
        korvo::web::HttpResponse response;
        int rc = 1;
        const auto timeOurs = [&] {
            const auto t0 = Clock::now();
            rc = ours.SendRequest(url.c_str(), nullptr, nullptr, 0, response, credentials.c_str());
            return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
        };
        std::string curlBody;
        bool curlOk = false;
        const auto timeCurl = [&] {
            const auto t0 = Clock::now();
            curlOk = curl.Get(url, curlBody);
            return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
        };
        // Who goes first alternates too, so that neither side always meets
        // a server that has just finished the other's connection.
        double a = 0;
        double b = 0;
        if (round % 2 == 0) {
            a = timeOurs();
            b = timeCurl();
        } else {
            b = timeCurl();
            a = timeOurs();
        }
        identical = identical && rc == 0 && curlOk && response.m_strBody == expected && curlBody == expected;
        if (round >= 0) {
            oursTimes.push_back(a);
            curlTimes.push_back(b);
            ratios.push_back(a / b);
        }
    }
    return {Median(oursTimes), Median(curlTimes), Median(ratios), identical};
}

std::string Page(std::size_t size) {
    std::string s;
    for (int i = 0; s.size() < size; ++i) {
        s += "netip=192.0.2." + std::to_string(i % 250) + "<br>";
    }
    s.resize(size);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 301;
    if (!korvo::web::testing::NginxInstalled()) {
        std::printf("nginx is not installed at %s: nothing to measure\n", korvo::web::testing::kNginxPath);
        return 1;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    const std::string small = Page(600);
    const std::string large = Page(100 * 1024);

    struct Mode {
        const char* name;
        bool keepAlive;
        double goal;
    };
    const Mode modes[] = {{"server closes", false, 1.5}, {"keep-alive", true, 2.0}};
    std::printf("%d rounds per line, ours and libcurl alternating; times are medians per request\n\n", rounds);
    std::printf("%-14s %-10s %12s %12s %8s %6s %s\n", "server", "page", "ours (us)", "libcurl (us)", "ratio", "goal",
                "bodies");
    bool allIdentical = true;
    for (const Mode& mode : modes) {
        NginxServer server(NginxOptions{mode.keepAlive, "location / { auth_basic \"korvo\"; "
                                                         "auth_basic_user_file @DIR@/htpasswd; }\n"});
        std::string error = "cannot write the server's files";
        if (!server.AddUser("admin", "12345") || !server.AddFile("small.htm", small) ||
            !server.AddFile("large.htm", large) || !server.Start(&error)) {
            std::printf("cannot start nginx: %s\n", error.c_str());
            return 1;
        }
        const struct {
            const char* name;
            const char* path;
            const std::string& body;
        } pages[] = {{"600 B", "/small.htm", small}, {"100 KiB", "/large.htm", large}};
        for (const auto& page : pages) {
            const Figures f = Run(server, page.path, page.body, rounds);
            allIdentical = allIdentical && f.identical;
            std::printf("%-14s %-10s %12.1f %12.1f %8.2f %6.1f %s%s\n", mode.name, page.name, f.oursUs, f.curlUs,
                        f.ratio, mode.goal, f.identical ? "identical" : "DIFFER",
                        f.ratio <= mode.goal ? "" : "  (goal missed)");
        }
    }
    curl_global_cleanup();
    return allIdentical ? 0 : 1;
}
