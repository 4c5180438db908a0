// A fleet of emulated devices: the settings file that describes it, the
// default fleet, and the devices while they run.
//
// Settings file (INI-like, UTF-8 or ASCII):
//
//   # comment (also ';'); blank lines are ignored
//   [ipc1]                  one section per device; the name labels its log
//   type = IPC              IPC, DVR or NVR (required)
//   address = 127.0.0.12    any address in 127.0.0.0/8 (default 127.0.0.1)
//   port = 9000             0..65535, 0 = a free port (default 0)
//   user = admin            login credentials (default admin / admin)
//   password = 123456
//   mac = 00:11:22:33:44:55
//   sn = SN0001
//   ip = 192.168.1.10       the device's own network settings
//   netmask = 255.255.255.0
//   gateway = 192.168.1.1
//   model = 0x46            model code, decimal or 0x hexadecimal, 0..255
//   refuse_mac = 1          any other key is a behaviour of the device
//                           (see SdkDevice.cpp and the NVR device)
//
// Values run from after the '=' to the end of the line, without the blanks
// around them. Keys are case-sensitive.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Device.h"

namespace devsim {

// Parses a settings file's text. Returns false with "line N: reason" in
// *error on the first fault (a key outside a section, a line that is neither
// a section nor key = value, an unknown type, a bad port or model code, a
// device name used twice, a section without type).
bool ParseFleet(std::string_view text, std::vector<DeviceConfig>* devices, std::string* error);

// An NVR, an IPC, a DVR and a mechanical IPC that calibrates, on
// 127.0.0.11..14, with the credentials admin / 123456.
std::vector<DeviceConfig> DefaultFleet();

// Makes a device of config.type; null for an unknown type (or an NVR in a
// build without the NVR device).
std::unique_ptr<Device> MakeDevice(const DeviceConfig& config, EventSink sink);

class Fleet {
public:
    explicit Fleet(EventSink sink) : m_sink(std::move(sink)) {}
    ~Fleet() { Stop(); }
    Fleet(const Fleet&) = delete;
    Fleet& operator=(const Fleet&) = delete;

    // Starts every device; on the first that cannot start, stops those
    // already started and returns false with "name: reason" in *error.
    bool Start(const std::vector<DeviceConfig>& configs, std::string* error);
    // Stops every device (blocks until their threads are done). Safe twice.
    void Stop();

    const std::vector<std::unique_ptr<Device>>& Devices() const { return m_devices; }

private:
    EventSink m_sink;
    std::vector<std::unique_ptr<Device>> m_devices;
};

}  // namespace devsim
