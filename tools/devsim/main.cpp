// devsim: runs a fleet of emulated devices until SIGINT or SIGTERM and
// prints what each device does as it happens.
//
//   devsim [settings.ini]
//
// Without a settings file it runs the default fleet (an NVR, an IPC, a DVR
// and a mechanical IPC). The settings format is described in src/Fleet.h.
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <sys/time.h>

#include "Fleet.h"

namespace {

void PrintEvent(const std::string& device, const std::string& event) {
    static std::mutex outputMutex;
    timeval now{};
    ::gettimeofday(&now, nullptr);
    tm local{};
    ::localtime_r(&now.tv_sec, &local);
    std::lock_guard<std::mutex> lock(outputMutex);
    std::printf("%02d:%02d:%02d.%03ld %-10s %s\n", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<long>(now.tv_usec / 1000), device.c_str(), event.c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 || (argc == 2 && (std::string(argv[1]) == "-h" || std::string(argv[1]) == "--help"))) {
        std::fprintf(stderr, "usage: devsim [settings.ini]\n");
        return argc > 2 ? 2 : 0;
    }
    std::vector<devsim::DeviceConfig> configs = devsim::DefaultFleet();
    if (argc == 2) {
        std::ifstream file(argv[1], std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "devsim: cannot read %s\n", argv[1]);
            return 1;
        }
        std::ostringstream text;
        text << file.rdbuf();
        std::string error;
        if (!devsim::ParseFleet(text.str(), &configs, &error)) {
            std::fprintf(stderr, "devsim: %s: %s\n", argv[1], error.c_str());
            return 1;
        }
    }

    // Signals are taken by sigwait below; every thread started from here on
    // inherits the mask, so none of them is interrupted.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    devsim::Fleet fleet(PrintEvent);
    std::string error;
    if (!fleet.Start(configs, &error)) {
        std::fprintf(stderr, "devsim: %s\n", error.c_str());
        return 1;
    }
    std::printf("devsim: %zu device(s); Ctrl+C stops\n", fleet.Devices().size());
    std::printf("  %-10s %-4s %-21s %-10s %-10s %-17s %s\n", "name", "type", "address", "user", "password", "mac",
                "model");
    for (const auto& device : fleet.Devices()) {
        devsim::DeviceConfig c = device->State();
        std::string where = c.address + ":" + std::to_string(device->Port());
        std::printf("  %-10s %-4s %-21s %-10s %-10s %-17s 0x%02X\n", c.name.c_str(), c.type.c_str(), where.c_str(),
                    c.user.c_str(), c.password.c_str(), c.mac.c_str(), c.modelCode);
    }
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    std::printf("devsim: %s, stopping\n", signal == SIGINT ? "SIGINT" : "SIGTERM");
    fleet.Stop();
    std::printf("devsim: stopped\n");
    return 0;
}
