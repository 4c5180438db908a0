#include "korvo/appcore/AccountSettings.h"

#include <array>
#include <vector>

#include "korvo/appcore/Ipv4.h"
#include "korvo/appcore/Profile.h"

namespace korvo {

namespace {

constexpr std::array<const char*, 6> kBeginKeys = {"MAC1", "MAC2", "MAC3", "MAC4", "MAC5", "MAC6"};
constexpr std::array<const char*, 6> kEndKeys = {"MAC7", "MAC8", "MAC9", "MAC10", "MAC11", "MAC12"};

MacAddress ReadMac(const std::string& path, const std::array<const char*, 6>& keys) {
    MacAddress mac;
    for (size_t i = 0; i < keys.size(); ++i) {
        mac.octets[i] = static_cast<uint8_t>(ReadProfileInt(path, kSectionMac, keys[i], 0) & 0xFF);
    }
    return mac;
}

void AddMac(std::vector<ProfileEntry>& entries, const std::array<const char*, 6>& keys, const MacAddress& mac) {
    for (size_t i = 0; i < keys.size(); ++i) {
        entries.push_back({kSectionMac, keys[i], std::to_string(mac.octets[i])});
    }
}

// Stored integers are unsigned; the window holds them as int, as "%d" shows them.
int AsInt(uint32_t value) {
    return static_cast<int>(static_cast<int32_t>(value));
}

}  // namespace

AccountSettings LoadAccountSettings(const std::string& path) {
    AccountSettings settings;
    settings.macBegin = ReadMac(path, kBeginKeys);
    settings.macEnd = ReadMac(path, kEndKeys);
    settings.deviceType = AsInt(ReadProfileInt(path, kSectionType, "DEVICETYPE", 0));
    settings.macCount = std::to_string(AsInt(ReadProfileInt(path, kSectionMac, "MACNUM", 0)));
    settings.deviceIp = ParseIpv4(ReadProfileText(path, kSectionDeviceNet, "HOSENAME"));
    settings.port = ReadProfileText(path, kSectionDeviceNet, "PORT");
    settings.user = ReadProfileText(path, kSectionDeviceNet, "USER");
    settings.password = ReadProfileText(path, kSectionDeviceNet, "PSW");
    settings.lock = AsInt(ReadProfileInt(path, kSectionMac, "LOCK", 0));
    return settings;
}

bool StoreSettingsAtClose(const std::string& path, uint32_t deviceIp, std::string_view port,
                          std::string_view user, std::string_view password, const MacAddress& macEnd,
                          std::string* error) {
    std::vector<ProfileEntry> entries = {
        {kSectionDeviceNet, "HOSENAME", FormatIpv4(deviceIp)},
        {kSectionDeviceNet, "PORT", std::string(port)},
        {kSectionDeviceNet, "USER", std::string(user)},
        {kSectionDeviceNet, "PSW", std::string(password)},
    };
    AddMac(entries, kEndKeys, macEnd);
    return WriteProfileTexts(path, entries, error);
}

bool StoreBeginMac(const std::string& path, const MacAddress& begin, std::string* error) {
    std::vector<ProfileEntry> entries;
    AddMac(entries, kBeginKeys, begin);
    return WriteProfileTexts(path, entries, error);
}

bool StoreBeginMacAndCount(const std::string& path, const MacAddress& begin, std::string_view macCount,
                           std::string* error) {
    std::vector<ProfileEntry> entries;
    AddMac(entries, kBeginKeys, begin);
    entries.push_back({kSectionMac, "MACNUM", std::string(macCount)});
    return WriteProfileTexts(path, entries, error);
}

bool StoreDeviceType(const std::string& path, int deviceType, std::string* error) {
    return WriteProfileText(path, kSectionType, "DEVICETYPE", std::to_string(deviceType), error);
}

bool StoreLockState(const std::string& path, int lock, std::string* error) {
    return WriteProfileText(path, kSectionMac, "LOCK", std::to_string(lock), error);
}

std::string DecrementMacCount(std::string_view macCount) {
    uint32_t value = static_cast<uint32_t>(ParseDecimalInt32(macCount)) - 1u;
    return std::to_string(static_cast<int32_t>(value));
}

}  // namespace korvo
