// The send executor's tests: a messenger with stores "AUX-STORE" (stickers),
// "CONV-STORE" (conversations and messages) and "LATER-STORE", conversation 42,
// alerts on, and helpers that write requests in either form and read back what
// the executor left: the sends that reached the messenger, the alert, the
// queue and the outcomes.
#pragma once

#include "tweak/bridge/bridge_test_environment.h"
#include "tweak/bridge/send_executor.h"
#include "tweak/core/failure_texts.h"
#include "tweak/core/mailbox.h"
#include "tweak/core/send_queue.h"

namespace tweak::testing {

class ExecutorTest : public BridgeTest {
 protected:
  using Lines = std::vector<std::string>;

  void SetUp() override {
    BridgeTest::SetUp();
    settings().showAlerts = true;
    messenger_.setStores({{"AUX-STORE", {"Sticker"}},
                          {"CONV-STORE", {"Conversation", "ViberMessage"}},
                          {"LATER-STORE", {"Conversation"}}});
    messenger_.addConversation(42);
    manager_ = messenger_.cls()->alloc()->initWithAddressBook(nullptr);
    messenger_.clearCalls();
    log_.clear();
  }

  // A request in the four keys alone, as an earlier springboard left it, with
  // the settings every test keeps.
  void request(const platform::foundation::Dictionary& request) {
    platform::foundation::Dictionary d{{"debugMode", platform::foundation::Value(false)},
                                       {"showAlerts", platform::foundation::Value(true)}};
    d.insert(request.begin(), request.end());
    writeFile(d);
  }

  // A request joining the queue, made `age` seconds ago.
  void queue(const std::string& id, const std::string& conversation, const std::string& text,
             std::optional<std::string> picture = std::nullopt, double age = 0) {
    SendRequest r;
    r.requestID = id;
    r.created = queueNow() - age;
    r.conversationID = platform::foundation::Value(conversation);
    r.messageText = platform::foundation::Value(text);
    if (picture) r.pictureFile = platform::foundation::Value(*picture);
    updateMailbox([&](platform::foundation::Dictionary& d) { enqueueRequest(d, r); });
  }

  // The send notification reaches the messenger.
  void notify() {
    sendMessageCallback(center_.get(), nullptr, kSendMessageNotification, nullptr, nullptr);
  }

  // The send notification, then the loop turned until the queue is quiet, so
  // that every retry the pass left has run: a second send of a request shows.
  void run() {
    notify();
    quiet();
  }
  void quiet() {
    untilQuiet([this] { return std::to_string(messenger_.calls().size()); });
  }

  // The messenger calls the picture completion `index`; what came of it is
  // recorded on the next turn of the main run loop.
  void complete(size_t index, bool sent) {
    messenger_.completions()[index](sent);
    loop_->runPending();
  }

  // The calls that sent something.
  Lines sends() const {
    Lines out;
    for (auto& c : messenger_.calls()) {
      if (c.rfind("send", 0) == 0) out.push_back(c);
    }
    return out;
  }

  // The alert keys of the file, as "title|message".
  std::string alert() const {
    auto d = readMailbox();
    if (!d) return "NONE";
    auto text = [&](const char* k) {
      const auto* v = platform::foundation::find(*d, k);
      return v ? v->description() : std::string("(none)");
    };
    std::string shown = text("alertTitle") + "|" + text("alertMessage");
    if (platform::foundation::find(*d, "alertReplies")) shown += "|" + text("alertReplies");
    return shown;
  }

  // The file without its alert keys, its queue and its outcomes.
  std::string requestKeys() const {
    std::string out;
    auto d = readMailbox();
    if (!d) return "NONE";
    for (auto& [k, v] : *d) {
      if (k == "alertTitle" || k == "alertMessage" || k == key::alertReplies ||
          k == key::pendingRequests || k == key::requestOutcomes || k == key::newestRequestID)
        continue;
      out += (out.empty() ? "" : ",") + k + "=" + v.description();
    }
    return out;
  }

  // The identifiers of the queue, in order.
  std::string pending() const {
    auto d = readMailbox();
    std::string out;
    for (const auto& r : d ? readQueue(*d).pending : std::vector<SendRequest>{}) {
      out += (out.empty() ? "" : " ") + r.requestID;
    }
    return out;
  }

  // The outcomes, in order: "<conversation>:delivered <key>" or
  // "<conversation>:<reason>" (the request's id when asked).
  Lines outcomes(bool ids = false) const {
    auto d = readMailbox();
    Lines out;
    for (const auto& o : d ? readOutcomes(*d) : std::vector<Outcome>{}) {
      std::string who = ids ? o.requestID : o.conversationID;
      out.push_back(who + ":" +
                    (o.delivered ? "delivered " + std::to_string(o.messageKey.value_or(-1))
                                 : o.reason.value_or("")));
    }
    return out;
  }

  platform::messenger::DBManagerRef manager_;
};

}  // namespace tweak::testing
