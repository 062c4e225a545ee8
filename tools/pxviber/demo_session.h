// The demo's side of a running sample device: the requests it sends to the
// springboard, what it reads back (the messenger's database, the alerts shown,
// the outcomes of send requests), and the checks that end a step when they
// fail. Private to the demo.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/value.h"
#include "tools/pxviber/device.h"
#include "tools/pxviber/push.h"

namespace platform::notify {
class NotifyCenter;
}
namespace platform::runloop {
class RunLoop;
}

namespace pxviber {

// One step's outcome: what it showed and, when a check failed, what.
struct StepReport {
  std::string title;
  double seconds = 0;
  std::vector<std::string> shown;
  std::string failure;  // empty when every check held
};

// Thrown by a failed check; ends the step.
struct CheckFailed {
  std::string what;
};

void check(bool condition, const std::string& what);

// A string entry of a dictionary; "" when absent or not text.
std::string text(const platform::foundation::Dictionary& d, const char* key);

NotificationContent notification(std::string token, std::string number, std::string group,
                                 std::string text, std::string form);

class DemoSession {
 public:
  DemoSession(std::filesystem::path root, ViberLocation viber);

  const std::filesystem::path& root() const { return root_; }
  const ViberLocation& viber() const { return viber_; }
  const platform::viberdb::SampleContent& sample() const { return sample_; }
  platform::notify::NotifyCenter& center() { return *center_; }

  // A host request; a request the host answers with an error fails the step.
  platform::foundation::Dictionary ask(const std::string& process,
                                       const platform::foundation::Dictionary& request);
  // Shows the notification and answers the panel, shown line by line.
  platform::foundation::Dictionary push(const NotificationContent& note, StepReport& r);
  // Replies in the open panel; the answer's "wake" is kept in lastWake().
  platform::foundation::Dictionary reply(const platform::foundation::Dictionary& what,
                                         StepReport& r);
  const std::string& lastWake() const { return lastWake_; }

  // The conversation's messages, read from the database file.
  std::vector<platform::foundation::Dictionary> messages(std::int64_t conversation);
  // The conversation's unread count, read from the database file.
  std::int64_t unreadCount(std::int64_t conversation);
  std::vector<platform::foundation::Dictionary> alerts();
  std::vector<const platform::foundation::Value*> messageValues(
      const platform::foundation::Dictionary& panel);
  // Waits up to `timeout` seconds for `done`, turning the bus meanwhile.
  bool waitFor(const std::function<bool()>& done, double timeout = 12);
  void deleteConversation(std::int64_t key);
  // Stops the messenger process and waits until it is gone.
  void quitMessenger();

 private:
  std::filesystem::path root_;
  ViberLocation viber_;
  platform::viberdb::SampleContent sample_;
  std::shared_ptr<platform::runloop::RunLoop> loop_;
  std::shared_ptr<platform::notify::NotifyCenter> center_;
  std::string lastWake_;
};

// The steps, in order: each shows what happened and checks it.
using DemoStep = std::pair<std::string, std::function<void(DemoSession&, StepReport&)>>;
std::vector<DemoStep> demoSteps();

}  // namespace pxviber
