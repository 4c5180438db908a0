#include "korvo/appcore/AccountSettings.h"

#include <gtest/gtest.h>

#include "TempDir.h"
#include "korvo/appcore/Ipv4.h"

namespace korvo {
namespace {

using korvo::testing::ReadFile;
using korvo::testing::TempDir;
using korvo::testing::WriteFile;

class AccountSettingsTest : public ::testing::Test {
protected:
    TempDir m_dir;
    std::string m_path = m_dir.File("Account.ini");
};

TEST_F(AccountSettingsTest, AFirstStartWithoutAFileGivesTheDefaults) {
    AccountSettings s = LoadAccountSettings(m_path);
    EXPECT_EQ(s.macBegin, MacAddress{});
    EXPECT_EQ(s.macEnd, MacAddress{});
    EXPECT_EQ(s.deviceType, 0);
    EXPECT_EQ(s.macCount, "0");
    EXPECT_EQ(s.deviceIp, 0u);
    EXPECT_EQ(s.port, "");
    EXPECT_EQ(s.user, "");
    EXPECT_EQ(s.password, "");
    EXPECT_EQ(s.lock, 0);

    // The window stores the lock state back, which creates the file.
    ASSERT_TRUE(StoreLockState(m_path, s.lock));
    EXPECT_EQ(ReadFile(m_path), "[MAC]\r\nLOCK=0\r\n");
}

TEST_F(AccountSettingsTest, WhatTheWindowStoresItReadsBack) {
    ASSERT_TRUE(StoreLockState(m_path, 5));
    ASSERT_TRUE(StoreDeviceType(m_path, 2));
    ASSERT_TRUE(StoreBeginMacAndCount(m_path, (MacAddress{{0, 0x11, 0x22, 0x33, 0x44, 0x55}}), "-1"));
    ASSERT_TRUE(StoreSettingsAtClose(m_path, ParseIpv4("192.0.2.10"), "8080", "op", " se cret ",
                                     MacAddress{{0, 0x11, 0x22, 0x33, 0x45, 0}}));

    AccountSettings s = LoadAccountSettings(m_path);
    EXPECT_EQ(s.macBegin, (MacAddress{{0, 0x11, 0x22, 0x33, 0x44, 0x55}}));
    EXPECT_EQ(s.macEnd, (MacAddress{{0, 0x11, 0x22, 0x33, 0x45, 0}}));
    EXPECT_EQ(s.deviceType, 2);
    EXPECT_EQ(s.macCount, "-1");
    EXPECT_EQ(FormatIpv4(s.deviceIp), "192.0.2.10");
    EXPECT_EQ(s.port, "8080");
    EXPECT_EQ(s.user, "op");
    EXPECT_EQ(s.password, " se cret ");
    EXPECT_EQ(s.lock, 5);

    EXPECT_EQ(ReadFile(m_path),
              "[MAC]\r\nLOCK=5\r\nMAC1=0\r\nMAC2=17\r\nMAC3=34\r\nMAC4=51\r\nMAC5=68\r\nMAC6=85\r\n"
              "MACNUM=-1\r\nMAC7=0\r\nMAC8=17\r\nMAC9=34\r\nMAC10=51\r\nMAC11=69\r\nMAC12=0\r\n"
              "[TYPE]\r\nDEVICETYPE=2\r\n"
              "[DEVICENET]\r\nHOSENAME=192.0.2.10\r\nPORT=8080\r\nUSER=op\r\nPSW=\" se cret \"\r\n");
}

TEST_F(AccountSettingsTest, ReadsValuesEditedByHandAsTheyHaveAlwaysBeenRead) {
    WriteFile(m_path,
              "[MAC]\r\nMAC1=300\r\nMAC2=256\r\nMAC3=-1\r\nMAC4=0x1F\r\nMAC5=abc\r\nMAC6=\r\n"
              "MAC7=255\r\nMACNUM=4294967295\r\nLOCK=-1\r\n"
              "[TYPE]\r\nDEVICETYPE=7\r\n"
              "[DEVICENET]\r\nHOSENAME=10.1.2\r\nUSER=" + std::string(60, 'u') + "\r\n");
    AccountSettings s = LoadAccountSettings(m_path);
    EXPECT_EQ(s.macBegin, (MacAddress{{44, 0, 255, 31, 0, 0}}));
    EXPECT_EQ(s.macEnd, (MacAddress{{255, 0, 0, 0, 0, 0}}));
    EXPECT_EQ(s.macCount, "-1");
    EXPECT_EQ(s.lock, -1);
    EXPECT_EQ(s.deviceType, 7);  // out of range: the window selects nothing
    EXPECT_EQ(FormatIpv4(s.deviceIp), "10.1.0.10");
    EXPECT_EQ(s.user, std::string(49, 'u'));
}

TEST_F(AccountSettingsTest, StoringTheBeginMacRewritesItsSixKeysInPlace) {
    WriteFile(m_path, "[MAC]\r\nMAC1=0\r\nMAC2=17\r\nMAC3=34\r\nMAC4=51\r\nMAC5=68\r\nMAC6=255\r\n"
                      "MAC7=0\r\nMACNUM=5\r\nLOCK=0\r\n");
    MacAddress begin = MacAddress{{0, 0x11, 0x22, 0x33, 0x44, 0xFF}};
    AdvanceMac(begin);
    ASSERT_TRUE(StoreBeginMac(m_path, begin));
    EXPECT_EQ(ReadFile(m_path), "[MAC]\r\nMAC1=0\r\nMAC2=17\r\nMAC3=34\r\nMAC4=51\r\nMAC5=69\r\nMAC6=0\r\n"
                                "MAC7=0\r\nMACNUM=5\r\nLOCK=0\r\n");
    EXPECT_EQ(LoadAccountSettings(m_path).macCount, "5");
}

TEST_F(AccountSettingsTest, AFailedStoreIsReported) {
    std::string error;
    EXPECT_FALSE(StoreBeginMac(m_dir.File("gone/Account.ini"), (MacAddress{{0, 0, 0, 0, 0, 2}}), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(StoreSettingsAtClose(m_path, 0, "80", "op", "line\r\nbreak", MacAddress{}, &error));
    EXPECT_FALSE(std::filesystem::exists(m_path));
}

TEST(DecrementMacCountTest, ReadsTheTextAsAnIntegerAndSubtractsOne) {
    struct Case {
        const char* before;
        const char* after;
    } cases[] = {
        {"5", "4"}, {"1", "0"}, {"0", "-1"}, {"-1", "-2"}, {"", "-1"}, {"abc", "-1"},
        {" 12x", "11"}, {"2147483647", "2147483646"}, {"-2147483648", "2147483647"},
        {"99999999999", "2147483646"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecrementMacCount(c.before), c.after) << "count \"" << c.before << "\"";
    }
}

}  // namespace
}  // namespace korvo
