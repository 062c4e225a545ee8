// The road of replies through the queue on a running device: a sample Viber
// database, notifications pushed into the springboard's panel, replies typed
// into it, and readers of what came of them (outcomes, messages, alerts).
#pragma once

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/foundation/property_list.h"
#include "platform/graphics/testing/image_fixtures.h"
#include "platform/graphics/ui_image.h"
#include "platform/messenger/messenger_database.h"
#include "platform/runtime/host_requests.h"
#include "platform/springboard/bulletin.h"
#include "tests/device_fixture.h"
#include "tools/pxviber/device.h"
#include "tools/pxviber/outbox.h"
#include "tools/pxviber/push.h"

namespace tests {

// Viber's database held by another writer: an exclusive transaction from
// construction until release() or the end of the scope, so that an assertion
// failing while it is held cannot leave the messenger locked out.
class HeldDatabase {
 public:
  // How long a writer of the test's own waits for the messenger's transaction.
  static constexpr int kWriterPatienceMs = 30000;

  explicit HeldDatabase(const std::filesystem::path& file) {
    // The messenger may be writing at this moment: the hold waits its turn
    // like any other writer, instead of failing on the first busy answer.
    if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK ||
        sqlite3_busy_timeout(db_, kWriterPatienceMs) != SQLITE_OK ||
        sqlite3_exec(db_, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK) {
      sqlite3_close(db_);
      db_ = nullptr;
    }
  }
  HeldDatabase(const HeldDatabase&) = delete;
  HeldDatabase& operator=(const HeldDatabase&) = delete;
  ~HeldDatabase() { release(); }

  bool held() const { return db_ != nullptr; }
  // Commits and closes; false when nothing was held or the commit failed.
  bool release() {
    if (!db_) return false;
    bool committed = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db_);
    db_ = nullptr;
    return committed;
  }

 private:
  sqlite3* db_ = nullptr;
};

class QueueRoad : public DeviceTest {
 protected:
  using Dictionary = platform::foundation::Dictionary;
  using Value = platform::foundation::Value;

  void SetUp() override {
    DeviceTest::SetUp();
    viber_ = pxviber::createDevice(root_, {.iosVersion = 9});
    sample_ = *viber_.sample;
  }

  void startDevice(const Dictionary& settings = {}) {
    writeSettings(settings);
    start();
  }

  // Shows a notification of the message with `token`; answers the panel's
  // conversation.
  std::string push(std::int64_t token) {
    pxviber::NotificationContent note;
    note.token = std::to_string(token);
    note.text = "Someone: a message";
    return showBulletin(pxviber::makeBulletin(note));
  }

  // Replies in the open panel; answers the request's identifier ("" when
  // nothing was posted).
  std::string reply(const Dictionary& what, Dictionary* answerOut = nullptr) {
    Dictionary request = what;
    request["command"] = Value("reply");
    platform::foundation::Array keys;
    for (const auto& k : pxviber::replySnapshotKeys()) keys.push_back(Value(k));
    request["snapshot"] = Value(Dictionary{
        {"file", Value("/var/mobile/Library/Preferences/org.northquay.pxviberpreferences.plist")},
        {"keys", Value(keys)}});
    Dictionary answer = ask("SpringBoard", request);
    if (answerOut) *answerOut = answer;
    const Value* snapshot = platform::foundation::find(answer, "snapshot");
    if (!snapshot || !snapshot->asDictionary()) return "";
    return pxviber::newestRequest(*snapshot->asDictionary()).value_or("");
  }

  // Waits for the outcome notification until `id` has an outcome.
  std::optional<tweak::Outcome> outcome(const std::string& id, double seconds = 20) {
    return pxviber::waitForOutcome(root_, id, seconds);
  }

  void app(const std::string& action) {
    ask("SpringBoard",
        {{"command", Value("app")}, {"action", Value(action)}, {"identifier", Value("com.viber")}});
  }

  std::vector<std::string> stored(const char* sub) {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(viber_.dataContainer / "Documents" / sub)) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // Holds Viber's database as another writer would (see HeldDatabase).
  HeldDatabase holdViberDatabase() const {
    return HeldDatabase(viber_.dataContainer / "Documents/Contacts.data");
  }

  // The outgoing messages of a conversation: "text" or "[attachment]".
  std::vector<std::string> sent(std::int64_t conversation) {
    std::vector<std::string> out;
    for (auto& m : platform::messenger::readMessagesReadOnly(
             viber_.dataContainer / "Documents/Contacts.data", conversation)) {
      const Value* outgoing = platform::foundation::find(m, "outgoing");
      if (!outgoing || !*outgoing->asBoolean()) continue;
      const Value* attachment = platform::foundation::find(m, "attachment");
      const Value* text = platform::foundation::find(m, "text");
      out.push_back(attachment ? "[" + attachment->description() + "]"
                               : (text ? text->description() : ""));
    }
    return out;
  }

  std::vector<Dictionary> alerts() {
    std::vector<Dictionary> out;
    auto answer = ask("SpringBoard", {{"command", Value("alerts")}});
    if (const Value* list = platform::foundation::find(answer, "alerts"); list && list->asArray()) {
      for (auto& a : *list->asArray()) out.push_back(*a.asDictionary());
    }
    return out;
  }

  std::filesystem::path photo(int width, int height) {
    auto image = platform::graphics::UIImage::imageWithCGImage(
        platform::graphics::testing::makeImage(width, height,
                                               platform::graphics::testing::distinct),
        1, platform::graphics::UIImageOrientationUp);
    std::filesystem::path file = tmp_ / ("photo-" + std::to_string(width) + ".jpg");
    platform::foundation::writeFileAtomically(
        file, *platform::graphics::UIImageJPEGRepresentation(image, 0.8));
    return file;
  }

  std::string storedWidth(const std::string& attachment) {
    auto bytes =
        platform::foundation::readFile(viber_.dataContainer / "Documents/Attachments" / attachment);
    auto image = bytes ? platform::graphics::UIImage::initWithData(*bytes) : nullptr;
    return image ? std::to_string(image->CGImage()->width()) : "none";
  }

  pxviber::ViberLocation viber_;
  platform::viberdb::SampleContent sample_;
};

}  // namespace tests
