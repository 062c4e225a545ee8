#include "platform/preferences/application.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/foundation/testing/recording_log.h"
#include "platform/foundation/testing/scratch_folder.h"
#include "platform/preferences/services.h"

namespace platform::preferences {
namespace {

namespace fs = std::filesystem;

// The desktop handler against a scratch PATH that holds a stand-in xdg-open
// (or none).
class DesktopURLHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* path = std::getenv("PATH");
    savedPath_ = path ? path : "";
    ::setenv("PATH", dir_.c_str(), 1);
    resetServices();
  }
  void TearDown() override {
    ::setenv("PATH", savedPath_.c_str(), 1);
    resetServices();
  }

  void installOpener() {
    fs::path script = dir_ / "xdg-open";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s' \"$1\" > " << (dir_ / "opened.tmp").string()
                          << " && /bin/mv " << (dir_ / "opened.tmp").string() << " "
                          << (dir_ / "opened").string() << "\n";
    ::chmod(script.c_str(), 0755);
  }

  // What the stand-in opener was given, once it has run.
  std::string opened() {
    for (int i = 0; i < 1000 && !fs::exists(dir_ / "opened"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(dir_ / "opened");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  foundation::testing::ScratchFolder scratch_{"px-open"};
  fs::path dir_ = scratch_.path();
  std::string savedPath_;
  foundation::testing::RecordingLog log_;
};

TEST_F(DesktopURLHandlerTest, HandsTheURLToXdgOpenAndLogsIt) {
  installOpener();
  auto url = foundation::NSURL::URLWithString("https://example.org/a?b=c");
  EXPECT_TRUE(UIApplication::sharedApplication().openURL(url));
  EXPECT_EQ(opened(), "https://example.org/a?b=c");
  EXPECT_TRUE(log_.contains("Preferences: opening https://example.org/a?b=c"));
}

TEST_F(DesktopURLHandlerTest, WithoutXdgOpenNothingOpensAndTheLogSaysSo) {
  auto url = foundation::NSURL::URLWithString("https://example.org/");
  EXPECT_FALSE(UIApplication::sharedApplication().openURL(url));
  EXPECT_TRUE(
      log_.contains("Preferences: no xdg-open on the PATH; https://example.org/ not opened"));
}

TEST_F(DesktopURLHandlerTest, ANilURLIsNotOpened) {
  EXPECT_FALSE(UIApplication::sharedApplication().openURL(nullptr));
  EXPECT_TRUE(log_.lines().empty());
}

}  // namespace
}  // namespace platform::preferences
