#include "tweak/core/application_location.h"

#include "platform/foundation/bundle.h"
#include "platform/springboard/testing/installed_apps.h"
#include "tweak/testing/tweak_test_environment.h"

namespace tweak {
namespace {

using platform::springboard::testing::installApp;
using platform::springboard::testing::installSystemApp;
using platform::springboard::testing::registerRecordingApplicationList;

class ApplicationLocation : public testing::TweakTest {
 protected:
  static std::string text(const std::optional<std::string>& s) { return s.value_or("NIL"); }
};

TEST_F(ApplicationLocation, FromIOS8OnTheDataPathIsTheCataloguesContainer) {
  for (int ios : {8, 9}) {
    platform::foundation::setIOSVersionForTesting(ios);
    for (const char* installed : {"/private/var/mobile/Containers", "/private/var/containers"}) {
      std::filesystem::remove_all(platform::foundation::hostPath(installed));
    }
    auto list = registerRecordingApplicationList();
    std::string uuid = "UUID-" + std::to_string(ios);
    auto viber = installApp(ios, "com.viber", "Viber", uuid);
    EXPECT_EQ(text(findAppBundlePath("com.viber")), viber.bundle);
    EXPECT_EQ(text(findAppDataPath("com.viber")), viber.dataContainer);
    EXPECT_EQ(list->asked.back(), "dataContainerPath com.viber");
    // Installed, but without a data container: the catalogue's nil is the answer.
    installApp(ios, "com.example.other", "Other", "X" + uuid);
    std::filesystem::remove_all(
        platform::foundation::hostPath("/private/var/mobile/Containers/Data/Application/X" + uuid));
    EXPECT_EQ(text(findAppDataPath("com.example.other")), "NIL");
    // A system application has no container metadata either.
    installSystemApp("com.apple.Preferences", "Preferences");
    EXPECT_EQ(text(findAppDataPath("com.apple.Preferences")), "NIL");
  }
}

TEST_F(ApplicationLocation, OnIOS7TheDataPathIsDerivedFromTheBundle) {
  platform::foundation::setIOSVersionForTesting(7);
  auto list = registerRecordingApplicationList();
  auto viber = installApp(7, "com.viber", "Viber", "AAAA");
  EXPECT_EQ(text(findAppDataPath("com.viber")),
            "/private/var/mobile/Applications/AAAA/Viber.app/..");
  // The catalogue has no container on iOS 7, and was not asked for one.
  EXPECT_EQ(list->asked, (std::vector<std::string>{"path com.viber"}));
  EXPECT_EQ(text(list->valueForKey("dataContainerPath", "com.viber")), "NIL");
  // The unresolved path still reaches the Documents folder.
  EXPECT_TRUE(std::filesystem::is_directory(
      platform::foundation::hostPath(*findAppDataPath("com.viber") + "/Documents")));

  installSystemApp("com.apple.Preferences", "Preferences");
  EXPECT_EQ(text(findAppDataPath("com.apple.Preferences")), "/private/var/mobile/");
  EXPECT_EQ(text(findAppDataPath("com.example.missing")), "NIL");
  EXPECT_EQ(text(findAppDataPath(std::nullopt)), "NIL");
}

TEST_F(ApplicationLocation, WithoutAppListNothingIsFound) {
  installApp(9, "com.viber", "Viber", "BBBB");
  EXPECT_EQ(text(findAppBundlePath("com.viber")), "NIL");
  EXPECT_EQ(text(viberAppPath()), "NIL");
}

TEST_F(ApplicationLocation, ViberPathIsCachedOnceFound) {
  auto list = registerRecordingApplicationList();
  // Not installed: every call asks again.
  EXPECT_EQ(text(viberAppPath()), "NIL");
  EXPECT_EQ(text(viberAppPath()), "NIL");
  EXPECT_EQ(list->asked.size(), 2u);
  auto viber = installApp(9, "com.viber", "Viber", "CCCC");
  EXPECT_EQ(text(viberAppPath()), viber.dataContainer);
  EXPECT_EQ(list->asked.size(), 3u);
  // Found: never asked again, even when Viber moves away.
  std::filesystem::remove_all(platform::foundation::hostPath(viber.dataContainer));
  EXPECT_EQ(text(viberAppPath()), viber.dataContainer);
  EXPECT_EQ(list->asked.size(), 3u);
}

}  // namespace
}  // namespace tweak
