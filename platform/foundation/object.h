// Objects with a class identity: what an "id" holds where the system asks an
// object for its class (a message's content is a string or a URL).
//
// Objects are shared, immutable after creation unless the class says otherwise,
// and printed with description() as "%@" prints them.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace platform::foundation {

class NSObject {
 public:
  virtual ~NSObject() = default;
  // The name of the object's class, as NSStringFromClass([obj class]) gives it.
  virtual std::string className() const { return "NSObject"; }
  // What "%@" prints: "<ClassName: 0x...>" unless a class says better.
  virtual std::string description() const;
};

using Id = std::shared_ptr<const NSObject>;

// "%@" of an object that may be nil.
std::string describe(const Id& object);
std::string describe(const NSObject* object);

class NSString : public NSObject {
 public:
  explicit NSString(std::string value) : value_(std::move(value)) {}
  std::string className() const override { return "NSString"; }
  std::string description() const override { return value_; }
  const std::string& value() const { return value_; }

 private:
  std::string value_;
};

// A string that the sender built up piece by piece; still a kind of NSString.
class NSMutableString : public NSString {
 public:
  using NSString::NSString;
  std::string className() const override { return "NSMutableString"; }
};

class NSURL : public NSObject {
 public:
  // URLWithString: nullptr for text that is not a URL (empty, or holding blanks or
  // control characters).
  static std::shared_ptr<NSURL> URLWithString(const std::string& text);
  // fileURLWithPath: "file://" followed by the absolute path, percent-encoded.
  static std::shared_ptr<NSURL> fileURLWithPath(const std::string& path);

  std::string className() const override { return "NSURL"; }
  std::string description() const override { return absoluteString_; }
  const std::string& absoluteString() const { return absoluteString_; }
  std::string scheme() const;
  bool isFileURL() const { return scheme() == "file"; }
  // The decoded path of a file URL; nullopt for other schemes.
  std::optional<std::string> path() const;

 private:
  explicit NSURL(std::string text) : absoluteString_(std::move(text)) {}
  std::string absoluteString_;
};

// An object of the caller's choosing, for content that is neither text nor a URL.
class NSGenericObject : public NSObject {
 public:
  explicit NSGenericObject(std::string className) : className_(std::move(className)) {}
  std::string className() const override { return className_; }

 private:
  std::string className_;
};

}  // namespace platform::foundation
