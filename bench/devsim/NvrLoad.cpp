// Load check of the emulated NVR: starts one NVR device in this process,
// runs wrk from another process against its status page with Basic
// authorization and 200 connections, and prints wrk's requests per second
// next to the goal. For scale on this (shared, noisy) machine it then runs
// the same load against nginx serving the same page behind the same Basic
// authorization, and prints the ratio of the two.
//
// Usage: bench_devsim_nvr [seconds=5] [connections=200] [threads=2]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <thread>

#include "NvrDevice.h"

namespace {

constexpr double kGoalRequestsPerSecond = 5000.0;
const char* const kAuthorization = "Authorization: Basic YWRtaW46YWRtaW4=";  // admin:admin

struct WrkResult {
    bool ran = false;
    double requestsPerSecond = 0;
    std::string errors;  // wrk's error lines, if any
    std::string output;
};

WrkResult RunWrk(uint16_t port, int seconds, int connections, int threads) {
    WrkResult result;
    const std::string command = "wrk -t" + std::to_string(threads) + " -c" + std::to_string(connections) + " -d" +
                                std::to_string(seconds) + "s -H '" + kAuthorization + "' http://127.0.0.1:" +
                                std::to_string(port) + "/ini.htm 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) result.output += line;
    result.ran = ::pclose(pipe) == 0;
    std::smatch m;
    if (std::regex_search(result.output, m, std::regex(R"(Requests/sec:\s+([0-9.]+))"))) {
        result.requestsPerSecond = std::stod(m[1]);
    } else {
        result.ran = false;
    }
    for (const char* pattern : {R"(Socket errors:[^\n]*)", R"(Non-2xx or 3xx responses:[^\n]*)"}) {
        if (std::regex_search(result.output, m, std::regex(pattern))) result.errors += "  " + m.str() + "\n";
    }
    return result;
}

uint16_t FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) == 0) {
        port = ntohs(sa.sin_port);
    }
    ::close(fd);
    return port;
}

bool WaitListening(uint16_t port, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
        ::close(fd);
        if (ok) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// nginx on a free loopback port serving `page` as /ini.htm behind Basic
// authorization, from a private temporary folder. Stopped by the destructor.
class NginxPeer {
public:
    explicit NginxPeer(const std::string& page) {
        char pattern[] = "/tmp/devsim-bench-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) return;
        m_dir = pattern;
        // Run as root, nginx serves from an unprivileged worker that must read these files.
        ::chmod(pattern, 0755);
        m_port = FreePort();
        std::ofstream(m_dir + "/ini.htm") << page;
        std::ofstream(m_dir + "/htpasswd") << "admin:{PLAIN}admin\n";
        std::ofstream(m_dir + "/nginx.conf")
            << "daemon off;\nworker_processes 2;\npid " << m_dir << "/nginx.pid;\nerror_log " << m_dir
            << "/error.log;\nevents { worker_connections 1024; }\nhttp {\n  access_log off;\n"
            << "  client_body_temp_path " << m_dir << "/tmp;\n  proxy_temp_path " << m_dir << "/tmp;\n"
            << "  fastcgi_temp_path " << m_dir << "/tmp;\n  uwsgi_temp_path " << m_dir << "/tmp;\n"
            << "  scgi_temp_path " << m_dir << "/tmp;\n  keepalive_requests 1000000;\n"
            << "  server {\n    listen 127.0.0.1:" << m_port << ";\n    root " << m_dir << ";\n"
            << "    auth_basic \"devsim\";\n    auth_basic_user_file " << m_dir << "/htpasswd;\n"
            << "    default_type text/html;\n  }\n}\n";
        m_pid = ::fork();
        if (m_pid == 0) {
            ::execl("/usr/sbin/nginx", "nginx", "-p", m_dir.c_str(), "-c", (m_dir + "/nginx.conf").c_str(),
                    static_cast<char*>(nullptr));
            std::_Exit(127);
        }
        if (m_pid > 0 && !WaitListening(m_port, std::chrono::seconds(10))) Stop();
    }
    ~NginxPeer() {
        Stop();
        if (!m_dir.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_dir, ignored);
        }
    }
    bool Running() const { return m_pid > 0; }
    uint16_t Port() const { return m_port; }

private:
    void Stop() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }
    std::string m_dir;
    uint16_t m_port = 0;
    pid_t m_pid = -1;
};

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int connections = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
    const int threads = argc > 3 ? std::max(1, std::atoi(argv[3])) : 2;

    devsim::DeviceConfig config;
    config.name = "nvr-bench";
    config.type = "NVR";
    config.behaviour["idle_ms"] = "60000";
    devsim::NvrDevice device(config, nullptr);
    std::string error;
    if (!device.Start(&error)) {
        std::fprintf(stderr, "cannot start the NVR device: %s\n", error.c_str());
        return 1;
    }

    // Samples the open connections while wrk runs, to show that all were held at once.
    std::atomic<bool> sampling{true};
    std::atomic<size_t> mostOpen{0};
    std::thread sampler([&] {
        while (sampling) {
            mostOpen = std::max(mostOpen.load(), device.OpenConnections());
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const WrkResult ours = RunWrk(device.Port(), seconds, connections, threads);
    sampling = false;
    sampler.join();
    const size_t logged = device.RequestLog().size();
    const std::string page = device.StatusPage();
    device.Stop();

    if (!ours.ran) {
        std::fprintf(stderr, "wrk did not run against the device:\n%s", ours.output.c_str());
        return 1;
    }
    std::printf("NVR status page under wrk -t%d -c%d -d%ds (GET /ini.htm with Basic authorization)\n", threads,
                connections, seconds);
    std::printf("  devsim NVR      %10.0f requests/s   most connections open at once: %zu   requests logged: %zu\n",
                ours.requestsPerSecond, mostOpen.load(), logged);
    if (!ours.errors.empty()) std::printf("%s", ours.errors.c_str());

    NginxPeer nginx(page);
    if (nginx.Running()) {
        const WrkResult peer = RunWrk(nginx.Port(), seconds, connections, threads);
        if (peer.ran) {
            std::printf("  nginx (peer)    %10.0f requests/s   devsim/nginx ratio: %.2f\n", peer.requestsPerSecond,
                        ours.requestsPerSecond / peer.requestsPerSecond);
            if (!peer.errors.empty()) std::printf("%s", peer.errors.c_str());
        } else {
            std::printf("  nginx (peer)    wrk failed:\n%s", peer.output.c_str());
        }
    } else {
        std::printf("  nginx (peer)    could not be started; no ratio\n");
    }
    const bool met = ours.requestsPerSecond >= kGoalRequestsPerSecond && mostOpen.load() >= static_cast<size_t>(connections);
    std::printf("  goal            %10.0f requests/s with %d connections open: %s (devsim/goal ratio %.2f)\n",
                kGoalRequestsPerSecond, connections, met ? "met" : "NOT met",
                ours.requestsPerSecond / kGoalRequestsPerSecond);
    return 0;
}
