#include <gtest/gtest.h>

#include <set>

#include "Fleet.h"

namespace {

TEST(Fleet, ParsesASettingsFile) {
    const char* text =
        "# two cameras\n"
        "[cam1]\n"
        "type = IPC\n"
        "address = 127.0.0.21\n"
        "port = 9100\n"
        "user = root\n"
        "password = p = q\n"
        "model = 0xB6\n"
        "refuse_mac = 1\n"
        "\n"
        "; a recorder\n"
        "[ rec ]\r\n"
        "type=DVR\r\n"
        "sn = SN-9\r\n"
        "model = 17\r\n";
    std::vector<devsim::DeviceConfig> fleet;
    std::string error;
    ASSERT_TRUE(devsim::ParseFleet(text, &fleet, &error)) << error;
    ASSERT_EQ(fleet.size(), 2u);
    EXPECT_EQ(fleet[0].name, "cam1");
    EXPECT_EQ(fleet[0].type, "IPC");
    EXPECT_EQ(fleet[0].address, "127.0.0.21");
    EXPECT_EQ(fleet[0].port, 9100);
    EXPECT_EQ(fleet[0].user, "root");
    EXPECT_EQ(fleet[0].password, "p = q");
    EXPECT_EQ(fleet[0].modelCode, 0xB6);
    EXPECT_EQ(fleet[0].behaviour.at("refuse_mac"), "1");
    EXPECT_EQ(fleet[1].name, "rec");
    EXPECT_EQ(fleet[1].type, "DVR");
    EXPECT_EQ(fleet[1].sn, "SN-9");
    EXPECT_EQ(fleet[1].modelCode, 17);
    EXPECT_EQ(fleet[1].address, "127.0.0.1");
}

TEST(Fleet, RejectsBadSettingsWithTheLine) {
    struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"type = IPC\n", "line 1: key outside a [device] section"},
        {"[a]\ntype = CAM\n", "line 2: type must be IPC, DVR or NVR"},
        {"[a]\ntype = IPC\nport = 70000\n", "line 3: port must be 0..65535"},
        {"[a]\ntype = IPC\nport = 80x\n", "line 3: port must be 0..65535"},
        {"[a]\ntype = IPC\nmodel = 274\n", "line 3: model must be 0..255"},
        {"[a]\ntype = IPC\naddress = 192.168.1.2\n", "line 3: address must lie in 127.0.0.0/8"},
        {"[a]\ntype = IPC\n[a]\ntype = DVR\n", "line 3: device a named twice"},
        {"[a]\nuser = x\n[b]\ntype = IPC\n", "line 1: the device has no type"},
        {"[a]\ntype = IPC\njust words\n", "line 3: expected key = value"},
        {"[a\n", "line 1: a section is [name]"},
        {"[a]\n", "line 1: the device has no type"},
    };
    for (const auto& c : cases) {
        std::vector<devsim::DeviceConfig> fleet;
        std::string error;
        EXPECT_FALSE(devsim::ParseFleet(c.text, &fleet, &error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(Fleet, DefaultFleetHasEachKindOnItsOwnAddress) {
    auto fleet = devsim::DefaultFleet();
    std::multiset<std::string> types;
    std::set<std::string> addresses;
    int mechanical = 0;
    for (const auto& d : fleet) {
        types.insert(d.type);
        addresses.insert(d.address);
        EXPECT_NE(d.port, 0) << "fixed ports, so that operators can type them";
        if (d.modelCode == 0x46) ++mechanical;
    }
    EXPECT_EQ(types, (std::multiset<std::string>{"DVR", "IPC", "IPC", "NVR"}));
    EXPECT_EQ(addresses.size(), fleet.size());
    EXPECT_EQ(mechanical, 1);
}

TEST(Fleet, StartsEveryDeviceOrNone) {
    auto fleetConfig = devsim::DefaultFleet();
    for (auto& d : fleetConfig) d.port = 0;  // tests run beside a devsim that may hold the fixed ports
    {
        devsim::Fleet fleet(nullptr);
        std::string error;
        ASSERT_TRUE(fleet.Start(fleetConfig, &error)) << error;
        ASSERT_EQ(fleet.Devices().size(), fleetConfig.size());
        for (const auto& d : fleet.Devices()) EXPECT_NE(d->Port(), 0);
    }

    devsim::DeviceConfig first;
    first.name = "first";
    first.type = "IPC";
    devsim::Fleet holder(nullptr);
    std::string error;
    ASSERT_TRUE(holder.Start({first}, &error)) << error;
    devsim::DeviceConfig clash = first;
    clash.name = "clash";
    clash.port = holder.Devices()[0]->Port();
    devsim::DeviceConfig ok = first;
    ok.name = "ok";

    devsim::Fleet fleet(nullptr);
    EXPECT_FALSE(fleet.Start({ok, clash}, &error));
    EXPECT_EQ(error.rfind("clash: ", 0), 0u) << error;
    EXPECT_TRUE(fleet.Devices().empty()) << "the devices already started are stopped again";
}

}  // namespace
