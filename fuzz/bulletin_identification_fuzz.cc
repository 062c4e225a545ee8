// Identifying a bulletin: arbitrary context dictionaries (read from property
// lists, or wrapped as each payload form) and message texts, looked up in the
// sample Viber database of a scratch device. Nothing may crash, and a found
// conversation is always a key of that database.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "platform/foundation/device.h"
#include "platform/foundation/log.h"
#include "platform/foundation/property_list.h"
#include "platform/foundation/testing/null_log.h"
#include "platform/runtime/class_registry.h"
#include "platform/springboard/app_list.h"
#include "platform/springboard/bulletin.h"
#include "platform/viberdb/sample_content.h"
#include "tweak/core/preferences.h"
#include "tweak/extension/viber_couria_extension.h"

namespace {

namespace fs = std::filesystem;
using platform::foundation::Dictionary;
using platform::foundation::Value;
namespace sb = platform::springboard;

// A device with Viber's sample database and AppList, made once.
void scratchDevice() {
  static bool made = [] {
    char tmpl[] = "/tmp/bulletin-fuzz-XXXXXX";
    fs::path root = ::mkdtemp(tmpl);
    platform::foundation::setDeviceRoot(root);
    const std::string data = "/private/var/mobile/Containers/Data/Application/FUZZ";
    const std::string bundle = "/private/var/containers/Bundle/Application/FUZZ/Viber.app";
    fs::create_directories(platform::foundation::hostPath(bundle));
    platform::foundation::writeDictionaryFileAtomically(
        platform::foundation::hostPath(bundle + "/Info.plist"),
        {{"CFBundleIdentifier", Value("com.viber")}});
    fs::create_directories(platform::foundation::hostPath(data));
    platform::foundation::writeDictionaryFileAtomically(
        platform::foundation::hostPath(data +
                                       "/.com.apple.mobile_container_manager.metadata.plist"),
        {{"MCMMetadataIdentifier", Value("com.viber")}});
    platform::viberdb::createSampleDatabase(
        platform::foundation::hostPath(data + "/Documents/Contacts.data"),
        platform::viberdb::now());
    platform::runtime::registerClass(
        std::make_shared<sb::ALApplicationListClass>(sb::makeDeviceApplicationList()));
    platform::foundation::setLogSink(std::make_shared<platform::foundation::testing::NullLog>());
    return true;
  }();
  (void)made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  scratchDevice();
  FuzzedDataProvider in(data, size);
  tweak::settings().debugMode = in.ConsumeBool();
  int form = in.ConsumeIntegralInRange(0, 3);
  std::optional<std::string> message;
  if (in.ConsumeBool()) message = in.ConsumeRandomLengthString(200);
  std::vector<std::uint8_t> rest = in.ConsumeRemainingBytes<std::uint8_t>();
  auto parsed = platform::foundation::parsePropertyList(rest);
  Value payload = parsed ? *parsed : Value(platform::foundation::Data(rest));

  sb::BBBulletin b;
  b.sectionID = "com.viber";
  b.message = message;
  switch (form) {
    case 0:  // the bytes are the whole context
      if (payload.asDictionary()) b.context = *payload.asDictionary();
      break;
    case 1:
      b.context = {{"notificationType", Value("AppNotificationRemote")},
                   {"remoteNotification", payload}};
      break;
    case 2:  // the bytes as the archived local notification itself
      b.context = {{"notificationType", Value("AppNotificationLocal")},
                   {"localNotification", Value(platform::foundation::Data(rest))}};
      break;
    default: {
      sb::UILocalNotification local;
      local.userInfo = payload;
      b.context = {{"notificationType", Value("AppNotificationLocal")},
                   {"localNotification", Value(local.archive())}};
    }
  }
  auto extension = tweak::ORVViberCouriaExtension::create();
  auto user = extension->getUserIdentifier(b);
  if (user) {
    char* end = nullptr;
    long key = std::strtol(user->c_str(), &end, 10);
    if (user->empty() || *end != '\0' || key < 1 || key > 5) std::abort();
    (void)extension->getNickname(user);
  }
  return 0;
}
