// A MAC address of the managed range and the arithmetic the range needs.
//
// Octet 1 is the most significant byte of the 48-bit value. The range runs
// from its begin (the next address to hand out, inclusive) to its end (the
// first address that is never handed out, exclusive).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace korvo {

struct MacAddress {
    std::array<uint8_t, 6> octets{};  // octets[0] is octet 1

    friend bool operator==(const MacAddress&, const MacAddress&) = default;
};

// The address as a 48-bit number, octet 1 in bits 40..47.
uint64_t MacToNumber(const MacAddress& mac);
// The inverse of MacToNumber; bits above 47 are ignored.
MacAddress MacFromNumber(uint64_t value);

// True when the range has no address left to hand out: begin equals end, or
// begin lies above end (such a range would only ever hand out addresses
// outside of it, so it is refused the same way as a used-up one).
bool IsRangeExhausted(const MacAddress& begin, const MacAddress& end);

// Adds one to the 48-bit address, carrying from octet 6 towards octet 1.
// FF:FF:FF:FF:FF:FF wraps to 00:00:00:00:00:00; no error is raised, since the
// range check is the caller's (IsRangeExhausted) and happens before.
void AdvanceMac(MacAddress& mac);

// "00:1A:2B:3C:4D:5E": the form the device web commands carry.
std::string MacToUpperHex(const MacAddress& mac);
// "00:1a:2b:3c:4d:5e": the form written over the device SDK.
std::string MacToLowerHex(const MacAddress& mac);

}  // namespace korvo
