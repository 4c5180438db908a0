#include "korvo/appcore/Ipv4.h"

#include <gtest/gtest.h>

namespace korvo {
namespace {

TEST(ParseIpv4Test, ReadsStoredAddressesTheLenientWay) {
    struct Case {
        const char* text;
        const char* address;
    } cases[] = {
        {"1.2.3.4", "1.2.3.4"},
        {"192.168.1.254", "192.168.1.254"},
        {"", "0.0.0.0"},
        {"10.1.2", "10.1.0.10"},        // a missing dot: the last part is the whole text
        {"10.1", "10.0.10.1"},          // the search after a missing dot starts again at 0
        {"7", "0.0.0.7"},
        {"300.256.1.2", "44.0.1.2"},    // only the low 8 bits of each part
        {" 1. +2.-1.4x", "1.2.255.4"},  // blanks and a sign before, junk after the digits
        {"a.b.c.d", "0.0.0.0"},
        {"1.2.3.4.5", "1.2.3.4"},       // the fourth part stops at its first non-digit
        {"99999999999.0.0.1", "255.0.0.1"},  // clamped to 2147483647 before the low 8 bits
        {"-99999999999.0.0.1", "0.0.0.1"},   // clamped to -2147483648
        {"1.2.3.", "1.2.3.0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatIpv4(ParseIpv4(c.text)), c.address) << "text \"" << c.text << "\"";
    }
}

TEST(ParseIpv4Test, FirstPartIsTheMostSignificantByte) {
    EXPECT_EQ(ParseIpv4("192.0.2.10"), 0xC000020Au);
    EXPECT_EQ(FormatIpv4(0xC000020Au), "192.0.2.10");
}

}  // namespace
}  // namespace korvo
