// Drives the C checks of CApiCheck.c against an emulated device.
#include <gtest/gtest.h>

#include "CApiCheck.h"
#include "Device.h"

namespace {

std::unique_ptr<devsim::Device> StartCamera() {
    devsim::DeviceConfig c;
    c.name = "c-api";
    c.type = "IPC";
    c.password = "pw";
    auto d = devsim::MakeSdkDevice(c, nullptr);
    std::string error;
    EXPECT_TRUE(d->Start(&error)) << error;
    return d;
}

TEST(TQDevLinkFromC, ProvisionsADevice) {
    auto device = StartCamera();
    char mac[32] = {0};
    ASSERT_EQ(TqCheckProvision("127.0.0.1", device->Port(), "admin", "pw", "00:aa:bb:cc:dd:ee", "C-SN-1", mac,
                               sizeof mac),
              0);
    EXPECT_STREQ(mac, "00:aa:bb:cc:dd:ee");
    EXPECT_EQ(device->State().mac, "00:aa:bb:cc:dd:ee");
    EXPECT_EQ(device->State().sn, "C-SN-1");
}

TEST(TQDevLinkFromC, ReportsAFailedLogin) {
    auto device = StartCamera();
    EXPECT_EQ(TqCheckLoginFails("127.0.0.1", device->Port(), "admin", "wrong"), 0);
}

}  // namespace
