#include "korvo/appcore/MacAddress.h"

#include <gtest/gtest.h>

namespace korvo {
namespace {

TEST(AdvanceMacTest, CarriesFromTheLowestOctetAndWrapsAtTheTop) {
    struct Case {
        MacAddress before;
        MacAddress after;
    } cases[] = {
        {MacAddress{{0, 0, 0, 0, 0, 1}}, MacAddress{{0, 0, 0, 0, 0, 2}}},
        {MacAddress{{0, 0x11, 0x22, 0x33, 0x44, 0xFF}}, MacAddress{{0, 0x11, 0x22, 0x33, 0x45, 0}}},
        {MacAddress{{0, 0, 0, 0xFF, 0xFF, 0xFF}}, MacAddress{{0, 0, 1, 0, 0, 0}}},
        {MacAddress{{0x0A, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}, MacAddress{{0x0B, 0, 0, 0, 0, 0}}},
        {MacAddress{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}}, MacAddress{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}},
        {MacAddress{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}, MacAddress{{0, 0, 0, 0, 0, 0}}},
    };
    for (const Case& c : cases) {
        MacAddress mac = c.before;
        AdvanceMac(mac);
        EXPECT_EQ(MacToUpperHex(mac), MacToUpperHex(c.after)) << "from " << MacToUpperHex(c.before);
    }
}

TEST(IsRangeExhaustedTest, RefusesEqualAndInvertedRanges) {
    struct Case {
        MacAddress begin;
        MacAddress end;
        bool exhausted;
    } cases[] = {
        {MacAddress{{0, 0, 0, 0, 0, 1}}, MacAddress{{0, 0, 0, 0, 0, 3}}, false},
        {MacAddress{{0, 0, 0, 0, 0, 2}}, MacAddress{{0, 0, 0, 0, 0, 3}}, false},  // the last address is still handed out
        {MacAddress{{0, 0, 0, 0, 0, 3}}, MacAddress{{0, 0, 0, 0, 0, 3}}, true},
        {MacAddress{{0, 0, 0, 0, 0, 0}}, MacAddress{{0, 0, 0, 0, 0, 0}}, true},
        {MacAddress{{0, 0, 0, 0, 0, 4}}, MacAddress{{0, 0, 0, 0, 0, 3}}, true},    // begin above end
        {MacAddress{{1, 0, 0, 0, 0, 0}}, MacAddress{{0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}, true},  // decided by the top octet
        {MacAddress{{0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}, MacAddress{{1, 0, 0, 0, 0, 0}}, false},
        {MacAddress{{0x12, 0x34, 0, 0, 0, 0x99}}, MacAddress{{0x12, 0x34, 0, 0, 1, 0}}, false},  // a low octet may be larger
        {MacAddress{{0, 0, 0, 0, 0, 0}}, MacAddress{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsRangeExhausted(c.begin, c.end), c.exhausted)
            << MacToUpperHex(c.begin) << " .. " << MacToUpperHex(c.end);
    }
}

TEST(IsRangeExhaustedTest, ARangeOfTwoHandsOutTwoAddressesThenStops) {
    MacAddress begin = MacAddress{{0, 0, 0, 0, 0, 1}};
    const MacAddress end = MacAddress{{0, 0, 0, 0, 0, 3}};
    std::vector<std::string> handedOut;
    while (!IsRangeExhausted(begin, end) && handedOut.size() < 10) {
        handedOut.push_back(MacToLowerHex(begin));
        AdvanceMac(begin);
    }
    EXPECT_EQ(handedOut, (std::vector<std::string>{"00:00:00:00:00:01", "00:00:00:00:00:02"}));
    EXPECT_EQ(begin, end);
}

TEST(MacHexTest, UpperForTheWebLowerForTheSdk) {
    struct Case {
        MacAddress mac;
        const char* upper;
        const char* lower;
    } cases[] = {
        {MacAddress{{10, 171, 205, 239, 1, 2}}, "0A:AB:CD:EF:01:02", "0a:ab:cd:ef:01:02"},
        {MacAddress{{0, 17, 34, 51, 68, 85}}, "00:11:22:33:44:55", "00:11:22:33:44:55"},
        {MacAddress{{255, 255, 255, 255, 255, 255}}, "FF:FF:FF:FF:FF:FF", "ff:ff:ff:ff:ff:ff"},
        {MacAddress{{0, 0, 0, 0, 0, 0}}, "00:00:00:00:00:00", "00:00:00:00:00:00"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MacToUpperHex(c.mac), c.upper);
        EXPECT_EQ(MacToLowerHex(c.mac), c.lower);
    }
}

TEST(MacNumberTest, OctetOneIsTheMostSignificant) {
    EXPECT_EQ(MacToNumber((MacAddress{{0x01, 0x02, 0x03, 0x04, 0x05, 0x06}})), 0x010203040506u);
    EXPECT_EQ(MacFromNumber(0x010203040506u), (MacAddress{{0x01, 0x02, 0x03, 0x04, 0x05, 0x06}}));
    EXPECT_EQ(MacFromNumber(0xAB'FFFF'FFFF'FFFFu), (MacAddress{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}));
}

}  // namespace
}  // namespace korvo
