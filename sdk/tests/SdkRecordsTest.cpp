#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "korvo/sdk/SdkRecords.h"

namespace {

using namespace korvo::sdk;

void Callback(uint32_t, uint32_t, void*, void*) {}

const uint8_t* Bytes(const void* record) { return static_cast<const uint8_t*>(record); }

LoginValues Values(int type) {
    LoginValues v;
    v.deviceIp = 0xC0A8010Au;  // 192.168.1.10
    v.port = "9000";
    v.user = "admin";
    v.password = "p%sw%d";  // copied as it stands, never expanded
    v.deviceType = type;
    v.userData = reinterpret_cast<void*>(0x1234);
    return v;
}

TEST(SdkRecords, LoginRecordCarriesEveryValueAtItsOffsetAndZeroElsewhere) {
    const TQ_NET_LoginInfo info = MakeLoginInfo(Values(0), &Callback);
    const uint8_t* b = Bytes(&info);
    EXPECT_STREQ(reinterpret_cast<const char*>(b + 0), "192.168.1.10");
    int32_t port, transport;
    std::memcpy(&port, b + 128, 4);
    std::memcpy(&transport, b + 132, 4);
    EXPECT_EQ(port, 9000);
    EXPECT_EQ(transport, 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(b + 136), "admin");
    EXPECT_STREQ(reinterpret_cast<const char*>(b + 168), "p%sw%d");
    EXPECT_EQ(b[204], 0);
    EXPECT_EQ(b[206], 1);
    EXPECT_EQ(b[207], 0);
    EXPECT_EQ(b[208], 0);
    EXPECT_EQ(info.pUserData, reinterpret_cast<void*>(0x1234));
    EXPECT_EQ(info.pfnEvent, &Callback);
    // Nothing but the named fields: stray bytes would reach the device.
    const size_t named[][2] = {{0, 13}, {128, 4}, {132, 4}, {136, 6}, {168, 7}, {206, 1}, {216, 2 * sizeof(void*)}};
    for (size_t i = 0; i < sizeof info; ++i) {
        bool inside = false;
        for (const auto& n : named) inside |= i >= n[0] && i < n[0] + n[1];
        if (!inside) {
            EXPECT_EQ(b[i], 0) << "byte " << i;
        }
    }
}

TEST(SdkRecords, DeviceKindFlagIsSetForDvrOnly) {
    const struct {
        int type;
        uint8_t flag;
    } cases[] = {{0, 0}, {1, 1}, {2, 0}, {-1, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        const TQ_NET_LoginInfo login = MakeLoginInfo(Values(c.type), &Callback);
        EXPECT_EQ(Bytes(&login)[207], c.flag);
        const TQ_NET_ClientInfo client = MakeClientInfo(Values(c.type));
        EXPECT_EQ(Bytes(&client)[207], c.flag);
    }
}

TEST(SdkRecords, PreviewRecordIsTheLoginRecordWithoutCallback) {
    const TQ_NET_LoginInfo login = MakeLoginInfo(Values(1), nullptr);
    const TQ_NET_ClientInfo client = MakeClientInfo(Values(1));
    static_assert(sizeof login == sizeof client);
    EXPECT_EQ(std::memcmp(&login, &client, sizeof login), 0);
    EXPECT_EQ(client.pfnEvent, nullptr);
    EXPECT_EQ(client.pUserData, reinterpret_cast<void*>(0x1234));
}

TEST(SdkRecords, LongTextsAreCutInsideTheirFieldsWithATerminator) {
    LoginValues v = Values(1);
    v.user = std::string(40, 'u');
    v.password = std::string(50, 'p');
    const TQ_NET_LoginInfo info = MakeLoginInfo(v, &Callback);
    EXPECT_EQ(std::string(info.szUser), std::string(31, 'u'));
    EXPECT_EQ(std::string(info.szPassword), std::string(35, 'p'));
    EXPECT_EQ(info.byReserved204, 0);  // the password never spills into the flags
    EXPECT_EQ(info.byDeviceKind, 1);

    TQ_NET_P2PInfo p2p;
    std::memset(&p2p, 0xAB, sizeof p2p);
    PutSerialText(p2p, std::string(70, 'S'));
    EXPECT_EQ(p2p.byEnable, 0xAB);  // as the device returned it
    EXPECT_EQ(std::string(p2p.szSerial), std::string(63, 'S'));
    PutSerialText(p2p, "SN-1");
    EXPECT_EQ(std::string(p2p.szSerial), "SN-1");
    EXPECT_EQ(p2p.szSerial[5], 0);  // no tail of the longer text left behind
}

TEST(SdkRecords, PortTextIsReadByItsLeadingDigits) {
    const struct {
        const char* text;
        int32_t port;
    } cases[] = {{"9000", 9000}, {"80abc", 80}, {"", 0}, {"abc", 0}, {" 81", 81},
                 {"-5", -5}, {"99999999999", 2147483647}, {"-99999999999", -2147483647 - 1}};
    for (const auto& c : cases) EXPECT_EQ(ParsePortText(c.text), c.port) << c.text;
}

TEST(SdkRecords, MacGoesInLowerCaseAtOffset82AndLeavesTheRestAlone) {
    TQ_NET_NetParam param;
    std::memset(&param, 0x5A, sizeof param);
    PutMacText(param, korvo::MacAddress{{0x00, 0xAB, 0xCD, 0xEF, 0x0A, 0xFF}});
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Bytes(&param) + 82)), "00:ab:cd:ef:0a:ff");
    for (int i = 0; i < 82; ++i) ASSERT_EQ(Bytes(&param)[i], 0x5A) << i;
}

TEST(SdkRecords, CalibrationCommandBytes) {
    const TQ_NET_PtzCommand command = MakeCalibrationCommand();
    const uint8_t expected[3] = {0, 0x21, 0x00};
    EXPECT_EQ(std::memcmp(&command, expected, 3), 0);
}

TEST(SdkRecords, MechanicalModelsAreExactlyTheListedCodes) {
    int found = 0;
    for (int code = 0; code <= 255; ++code) found += IsMechanicalModel(static_cast<uint8_t>(code));
    EXPECT_EQ(found, 15);
    const struct {
        uint8_t code;
        bool mechanical;
    } cases[] = {{0x46, true}, {0x88, true}, {0xEA, true}, {0xCE, false}, {0x00, false}, {0x12, false}, {0xFF, false}};
    for (const auto& c : cases) EXPECT_EQ(IsMechanicalModel(c.code), c.mechanical) << int(c.code);
}

TEST(SdkRecords, EventsMapToTheirMessages) {
    const struct {
        uint32_t event;
        std::optional<int> message;
    } cases[] = {{0x600, 16024}, {0x601, 16025}, {0x500, 16026}, {0x501, 16027}, {0x502, 16028},
                 {0x503, std::nullopt}, {0x602, std::nullopt}, {0, std::nullopt}};
    for (const auto& c : cases) EXPECT_EQ(MessageForSdkEvent(c.event), c.message) << c.event;
}

}  // namespace
