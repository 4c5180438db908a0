#include "korvo/appcore/SettingsPath.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korvo {
namespace {

TEST(GetSettingsPathTest, PointsBesideTheRunningExecutableUnlessOverridden) {
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(GetSettingsPath(), (executable.parent_path() / "Account.ini").string());

    SetSettingsPathOverride("/tmp/elsewhere/Account.ini");
    EXPECT_EQ(GetSettingsPath(), "/tmp/elsewhere/Account.ini");
    SetSettingsPathOverride("");
    EXPECT_EQ(GetSettingsPath(), (executable.parent_path() / "Account.ini").string());
}

}  // namespace
}  // namespace korvo
