#include "korvo/appcore/MacAddress.h"

#include <cstdio>

namespace korvo {

uint64_t MacToNumber(const MacAddress& mac) {
    uint64_t value = 0;
    for (uint8_t octet : mac.octets) value = (value << 8) | octet;
    return value;
}

MacAddress MacFromNumber(uint64_t value) {
    MacAddress mac;
    for (int i = 5; i >= 0; --i) {
        mac.octets[i] = static_cast<uint8_t>(value & 0xFF);
        value >>= 8;
    }
    return mac;
}

bool IsRangeExhausted(const MacAddress& begin, const MacAddress& end) {
    return MacToNumber(begin) >= MacToNumber(end);
}

void AdvanceMac(MacAddress& mac) {
    for (int i = 5; i >= 0; --i) {
        if (++mac.octets[i] != 0) return;  // no carry left
    }
}

namespace {

std::string FormatMac(const MacAddress& mac, const char* format) {
    char text[18];
    std::snprintf(text, sizeof text, format, mac.octets[0], mac.octets[1], mac.octets[2],
                  mac.octets[3], mac.octets[4], mac.octets[5]);
    return text;
}

}  // namespace

std::string MacToUpperHex(const MacAddress& mac) {
    return FormatMac(mac, "%02X:%02X:%02X:%02X:%02X:%02X");
}

std::string MacToLowerHex(const MacAddress& mac) {
    return FormatMac(mac, "%02x:%02x:%02x:%02x:%02x:%02x");
}

}  // namespace korvo
