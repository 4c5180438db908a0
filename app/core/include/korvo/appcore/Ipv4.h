// The device address as the settings file and the web commands carry it:
// dotted decimal text, first part in the most significant byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvo {

// Reads a dotted address the lenient way stored files have always been read:
// the text is cut at its first three dots into four parts (a missing dot leaves
// a part empty, and the last part then runs from after the last dot found, or
// from the start, to the end), each part is read as a decimal number
// (leading blanks and one sign allowed, reading stops at the first non-digit,
// no digits give 0, values beyond the signed 32-bit range are clamped), and
// only the low 8 bits of each are used. So "1.2.3.4" is 1.2.3.4, "" is 0.0.0.0,
// "10.1.2" is 10.1.0.10 and "300.0.0.1" is 44.0.0.1. Never fails.
uint32_t ParseIpv4(std::string_view text);

// "%d.%d.%d.%d" of the four bytes, most significant first.
std::string FormatIpv4(uint32_t address);

// Reads a decimal integer as the C library's strtol does with base 10 on a
// platform whose long has 32 bits: leading blanks, one sign, digits up to the
// first non-digit, no digits give 0, overflow gives INT32_MAX or INT32_MIN.
int32_t ParseDecimalInt32(std::string_view text);

}  // namespace korvo
