// Couria: the quick-reply host in the springboard, and the two protocols by
// which it talks to an application's extension.
//
// For a notification of an application with a registered extension, Couria asks
// the extension for the user identifier of the bulletin, then for that user's
// nickname and message history, shows its reply panel, and hands the user's reply
// back with sendMessage. All calls are made on the springboard's main thread,
// one at a time.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/object.h"
#include "platform/foundation/value.h"
#include "platform/runtime/class_registry.h"
#include "platform/springboard/bulletin.h"

namespace platform::couria {

// CouriaMessage: a message as the reply panel shows it.
class CouriaMessage {
 public:
  virtual ~CouriaMessage() = default;
  // Required: a string for text, a URL for a picture.
  virtual foundation::Id content() const = 0;
  virtual bool outgoing() const = 0;
  // Optional.
  virtual std::optional<foundation::Date> timestamp() const { return std::nullopt; }

  // valueForKey: the property `key` as key-value coding reads it, for a host
  // that shows more of a message than the protocol asks; a nil property reads
  // as a null value, and a key the message does not have as nullopt.
  virtual std::optional<foundation::Value> valueForKey(std::string_view /*key*/) const {
    return std::nullopt;
  }
};

// The message Couria hands to an extension's sendMessage: what the user typed
// (an NSString) or attached (a file NSURL). It is always outgoing.
class ReplyMessage final : public CouriaMessage {
 public:
  explicit ReplyMessage(foundation::Id content) : content_(std::move(content)) {}
  foundation::Id content() const override { return content_; }
  bool outgoing() const override { return true; }

 private:
  foundation::Id content_;
};

using UserIdentifier = std::optional<std::string>;

// CouriaExtension: what an application's extension answers. The optional methods
// have defaults that stand for "not provided".
class CouriaExtension {
 public:
  virtual ~CouriaExtension() = default;

  // Required.
  virtual UserIdentifier getUserIdentifier(const springboard::BBBulletin& bulletin) = 0;
  virtual void sendMessage(std::shared_ptr<const CouriaMessage> message,
                           const UserIdentifier& user) = 0;

  // Optional.
  virtual std::optional<std::string> getNickname(const UserIdentifier& /*user*/) {
    return std::nullopt;
  }
  virtual std::vector<std::shared_ptr<CouriaMessage>> getMessages(const UserIdentifier& /*user*/) {
    return {};
  }
  virtual bool canSendPhotos() { return false; }
};

// The reply panel that Couria shows for the latest bulletin it handled.
struct OpenPanel {
  std::string application;
  UserIdentifier user;
};

// The Couria host object.
class Couria {
 public:
  // registerExtension:forApplication: Couria keeps a strong reference.
  void registerExtension(std::shared_ptr<CouriaExtension> extension,
                         const std::string& application);
  std::shared_ptr<CouriaExtension> extensionForApplication(const std::string& application) const;

  // The open panel: set when a bulletin is shown, used by the reply.
  const std::optional<OpenPanel>& openPanel() const { return openPanel_; }
  void setOpenPanel(std::optional<OpenPanel> panel) { openPanel_ = std::move(panel); }

 private:
  std::map<std::string, std::shared_ptr<CouriaExtension>> extensions_;
  std::optional<OpenPanel> openPanel_;
};

// The class named "Couria", whose class method sharedInstance answers the host.
class CouriaClass : public runtime::Class {
 public:
  std::string name() const override { return "Couria"; }
  std::shared_ptr<Couria> sharedInstance();

 private:
  std::shared_ptr<Couria> instance_ = std::make_shared<Couria>();
};

}  // namespace platform::couria
