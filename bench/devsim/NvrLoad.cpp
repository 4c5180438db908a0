// Load check of the emulated NVR: starts one NVR device in this process,
// runs wrk from another process against its status page with Basic
// authorization and 200 connections, and prints wrk's requests per second
// next to the goal. For scale on this (shared, noisy) machine it then runs
// the same load against nginx serving the same page behind the same Basic
// authorization, and prints the ratio of the two.
//
// Usage: bench_devsim_nvr [seconds=5] [connections=200] [threads=2]

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <regex>
#include <string>
#include <thread>

#include "NginxServer.h"
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

    // nginx serves the same page behind the same Basic authorization, with
    // as many worker processes as wrk has threads.
    korvo::web::testing::NginxOptions options;
    options.m_nWorkerProcesses = threads;
    options.m_strServerConfig =
        "keepalive_requests 1000000;\n"
        "auth_basic \"devsim\";\n"
        "auth_basic_user_file @DIR@/htpasswd;\n"
        "default_type text/html;\n";
    korvo::web::testing::NginxServer nginx(options);
    std::string nginxError;
    if (nginx.AddFile("ini.htm", page) && nginx.AddUser(config.user, config.password) && nginx.Start(&nginxError)) {
        const WrkResult peer = RunWrk(nginx.Port(), seconds, connections, threads);
        if (peer.ran) {
            std::printf("  nginx (peer)    %10.0f requests/s   devsim/nginx ratio: %.2f\n", peer.requestsPerSecond,
                        ours.requestsPerSecond / peer.requestsPerSecond);
            if (!peer.errors.empty()) std::printf("%s", peer.errors.c_str());
        } else {
            std::printf("  nginx (peer)    wrk failed:\n%s", peer.output.c_str());
        }
    } else {
        std::printf("  nginx (peer)    could not be started (%s); no ratio\n", nginxError.c_str());
    }
    const bool met = ours.requestsPerSecond >= kGoalRequestsPerSecond && mostOpen.load() >= static_cast<size_t>(connections);
    std::printf("  goal            %10.0f requests/s with %d connections open: %s (devsim/goal ratio %.2f)\n",
                kGoalRequestsPerSecond, connections, met ? "met" : "NOT met",
                ours.requestsPerSecond / kGoalRequestsPerSecond);
    return 0;
}
