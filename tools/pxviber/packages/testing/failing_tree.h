// A device tree that forwards every call to another and fails one change of
// the device: the tests' way to make an install fail at any step.
#pragma once

#include "platform/foundation/error.h"
#include "tools/pxviber/packages/device_tree.h"

namespace pxviber::packages::testing {

class FailingTree final : public DeviceTree {
 public:
  // Fails the change numbered `failAt` (1 for the first; 0 for none).
  FailingTree(DeviceTree& inner, int failAt) : inner_(inner), failAt_(failAt) {}

  // The changes asked for so far, the failed one included.
  int changes() const { return changes_; }

  Entry look(const std::string& p) const override { return inner_.look(p); }
  bool isEmptyFolder(const std::string& p) const override { return inner_.isEmptyFolder(p); }
  std::optional<platform::foundation::Bytes> read(const std::string& p) const override {
    return inner_.read(p);
  }
  void makeFolder(const std::string& p) override {
    change(p);
    inner_.makeFolder(p);
  }
  void writeFile(const std::string& p, std::span<const std::uint8_t> b, unsigned m) override {
    change(p);
    inner_.writeFile(p, b, m);
  }
  void makeLink(const std::string& p, const std::string& t) override {
    change(p);
    inner_.makeLink(p, t);
  }
  void rename(const std::string& a, const std::string& b) override {
    change(a);
    inner_.rename(a, b);
  }
  void remove(const std::string& p) override {
    change(p);
    inner_.remove(p);
  }
  void removeFolder(const std::string& p) override {
    change(p);
    inner_.removeFolder(p);
  }
  bool tryLock(const std::string& p) override { return inner_.tryLock(p); }
  std::size_t nameLimit() const override { return inner_.nameLimit(); }
  std::size_t pathLimit() const override { return inner_.pathLimit(); }
  std::filesystem::path hostPath(const std::string& p) const override { return inner_.hostPath(p); }

 private:
  void change(const std::string& p) {
    if (++changes_ == failAt_) throw platform::Error("injected failure at " + p);
  }

  DeviceTree& inner_;
  int failAt_;
  int changes_ = 0;
};

}  // namespace pxviber::packages::testing
