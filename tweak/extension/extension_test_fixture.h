// The springboard side as the extension's tests need it: a scratch iOS 9 device
// with Viber installed, the sample database in its data container, AppList
// registered, the settings loaded with their defaults, and a fresh extension.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/foundation/date_format.h"
#include "platform/springboard/testing/installed_apps.h"
#include "platform/viberdb/sample_content.h"
#include "tweak/core/application_location.h"
#include "tweak/extension/conversation_message.h"
#include "tweak/extension/viber_couria_extension.h"
#include "tweak/testing/tweak_test_environment.h"

namespace tweak::testing {

// Sets TZ while it lives.
class TimeZone {
 public:
  explicit TimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TimeZone() {
    if (old_) {
      setenv("TZ", old_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  TimeZone(const TimeZone&) = delete;
  TimeZone& operator=(const TimeZone&) = delete;

 private:
  std::optional<std::string> old_;
};

class ExtensionTest : public TweakTest {
 protected:
  void SetUp() override {
    TweakTest::SetUp();
    catalogue_ = platform::springboard::testing::registerRecordingApplicationList();
    viber_ = platform::springboard::testing::installApp(9, "com.viber", "Viber", "VIBER-UUID");
    databasePath_ = viber_.dataContainer + "/Documents/Contacts.data";
    now_ = platform::viberdb::now();
    sample_ = platform::viberdb::createSampleDatabase(hostDatabase(), now_);
    loadPreferences();
    extension_ = ORVViberCouriaExtension::create();
  }

  std::filesystem::path hostDatabase() const {
    return platform::foundation::hostPath(databasePath_);
  }

  // Replaces the sample database with an empty one and answers it.
  platform::viberdb::ViberDatabase emptyDatabase() {
    std::filesystem::remove(hostDatabase());
    std::filesystem::remove(hostDatabase().string() + "-wal");
    std::filesystem::remove(hostDatabase().string() + "-shm");
    return platform::viberdb::ViberDatabase::create(hostDatabase());
  }

  void setDebug(bool on) { settings().debugMode = on; }

  static std::string text(const std::optional<std::string>& s) { return s.value_or("NIL"); }
  static std::string key(std::int64_t pk) { return std::to_string(pk); }

  // The contents of getMessages, in order, joined by "|".
  std::string contents(const platform::couria::UserIdentifier& user) {
    std::string out;
    for (const auto& m : extension_->getMessages(user)) {
      out += (out.empty() ? "" : "|") + platform::foundation::describe(m->content());
    }
    return out;
  }

  // "a date `secondsAgo` before now".
  platform::foundation::Date ago(double seconds) const {
    return platform::foundation::Date{now_.sinceReferenceDate - seconds};
  }

  std::shared_ptr<platform::springboard::testing::RecordingApplicationList> catalogue_;
  platform::springboard::testing::InstalledApp viber_;
  std::string databasePath_;
  platform::foundation::Date now_;
  platform::viberdb::SampleContent sample_;
  std::shared_ptr<ORVViberCouriaExtension> extension_;
};

}  // namespace tweak::testing
