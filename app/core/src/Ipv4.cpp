#include "korvo/appcore/Ipv4.h"

#include <cstdio>
#include <limits>

#include "TextRules.h"

namespace korvo {

namespace {

constexpr std::string_view::size_type kNone = std::string_view::npos;

// Position of the first '.' at or after `from`, or kNone. A start past the
// end finds nothing, as a search from there would.
std::string_view::size_type FindDot(std::string_view text, std::string_view::size_type from) {
    return from > text.size() ? kNone : text.find('.', from);
}

// The part from `start` with `length` characters; a negative length or a start
// past the end gives an empty part.
std::string_view Part(std::string_view text, long long start, long long length) {
    if (length <= 0 || start < 0 || start >= static_cast<long long>(text.size())) return {};
    return text.substr(static_cast<size_t>(start), static_cast<size_t>(length));
}

long long Position(std::string_view::size_type pos) {
    return pos == kNone ? -1 : static_cast<long long>(pos);
}

}  // namespace

int32_t ParseDecimalInt32(std::string_view text) {
    bool negative;
    size_t i = SkipBlanksAndSign(text, &negative);
    // Accumulate the magnitude with a ceiling just past the int32 range, so a
    // long run of digits cannot overflow the accumulator.
    constexpr long long kCeiling = static_cast<long long>(std::numeric_limits<int32_t>::max()) + 1;
    long long magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > kCeiling) magnitude = kCeiling;
    }
    long long value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

uint32_t ParseIpv4(std::string_view text) {
    // The positions follow the historical reader exactly, including its quirk
    // that a search after a missing dot starts again at position 0.
    long long p1 = Position(FindDot(text, 0));
    long long p2 = Position(FindDot(text, static_cast<size_t>(p1 + 1)));
    long long p3 = Position(FindDot(text, static_cast<size_t>(p2 + 1)));
    std::string_view parts[4] = {
        Part(text, 0, p1),
        Part(text, p1 + 1, p2 - (p1 + 1)),
        Part(text, p2 + 1, p3 - (p2 + 1)),
        Part(text, p3 + 1, static_cast<long long>(text.size()) - (p3 + 1)),
    };
    uint32_t address = 0;
    for (std::string_view part : parts) {
        address = (address << 8) | (static_cast<uint32_t>(ParseDecimalInt32(part)) & 0xFF);
    }
    return address;
}

std::string FormatIpv4(uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", (address >> 24) & 0xFF, (address >> 16) & 0xFF,
                  (address >> 8) & 0xFF, address & 0xFF);
    return text;
}

}  // namespace korvo
