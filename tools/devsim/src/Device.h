// One emulated device of the fleet: its settings and the interface every kind
// of device ("IPC", "DVR" speak our SDK protocol, "NVR" speaks HTTP) offers
// to the fleet, to the devsim program and to tests that start devices in-process.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace devsim {

// What a device is and holds when it starts. Kinds read the keys of
// `behaviour` they understand (for example "refuse_login", "refuse_mac",
// "silent", "slow_ms") and ignore the others.
struct DeviceConfig {
    std::string name;                 // label in the log, e.g. "nvr1"
    std::string type;                 // "IPC", "DVR" or "NVR"
    std::string address = "127.0.0.1";  // any address in 127.0.0.0/8
    uint16_t port = 0;                // 0: a free port chosen by the system
    std::string user = "admin";
    std::string password = "admin";
    std::string mac = "00:11:22:33:44:55";
    std::string sn;
    std::string ip = "192.168.1.10";
    std::string netmask = "255.255.255.0";
    std::string gateway = "192.168.1.1";
    uint8_t modelCode = 0;
    std::map<std::string, std::string> behaviour;
};

// Called from the device's own threads for every event worth printing
// ("login ok", "set mac 00:11:...", a rejected request). Must be thread-safe.
using EventSink = std::function<void(const std::string& device, const std::string& event)>;

class Device {
public:
    virtual ~Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Binds and listens; returns false with a reason in *error when it cannot.
    virtual bool Start(std::string* error) = 0;
    // Closes the listener and every open connection; blocks until the
    // device's threads are done. Safe to call twice; the destructor calls it.
    virtual void Stop() = 0;
    // The port actually bound (after Start).
    virtual uint16_t Port() const = 0;
    // The device's current settings, with every accepted write applied.
    virtual DeviceConfig State() const = 0;
    // Every request received so far, oldest first (for HTTP the exact bytes).
    virtual std::vector<std::string> RequestLog() const = 0;

protected:
    Device() = default;
};

std::unique_ptr<Device> MakeSdkDevice(const DeviceConfig& config, EventSink sink);  // "IPC", "DVR"
std::unique_ptr<Device> MakeNvrDevice(const DeviceConfig& config, EventSink sink);  // "NVR"

}  // namespace devsim
