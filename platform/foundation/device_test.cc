#include "platform/foundation/device.h"

#include <gtest/gtest.h>

#include "platform/foundation/bundle.h"

namespace platform::foundation {
namespace {

TEST(Device, HostPathResolvesDevicePathsUnderTheRoot) {
  setDeviceRoot("/tmp/dev");
  EXPECT_EQ(hostPath("/var/mobile/x.plist"), "/tmp/dev/var/mobile/x.plist");
  EXPECT_EQ(hostPath("var/log"), "/tmp/dev/var/log");
  EXPECT_EQ(devicePath("/tmp/dev/var/log/syslog"), "/var/log/syslog");
  EXPECT_EQ(devicePath("/tmp/dev"), "/");
  EXPECT_EQ(devicePath("/tmp/device2/var"), std::nullopt);
  EXPECT_EQ(devicePath("/etc/passwd"), std::nullopt);
}

TEST(Device, SettingsDefaultAndRoundTrip) {
  DeviceSettings s;
  EXPECT_EQ(s.screenWidth, 375);
  EXPECT_EQ(s.screenScale, 2);
  s.iosVersion = 7;
  s.screenWidth = 320;
  auto back = DeviceSettings::fromDictionary(s.toDictionary());
  EXPECT_EQ(back.iosVersion, 7);
  EXPECT_EQ(back.screenWidth, 320);
  EXPECT_EQ(DeviceSettings::fromDictionary({{"iOSVersion", Value("8")}}).iosVersion, 8);
}

TEST(Device, VersionTestAnswersFromIOS8On) {
  for (int v : {7, 8, 9}) {
    setIOSVersionForTesting(v);
    EXPECT_EQ(processInfoRespondsToIsOperatingSystemAtLeastVersion(), v >= 8) << v;
  }
  resetProcessIdentity();
}

}  // namespace
}  // namespace platform::foundation
