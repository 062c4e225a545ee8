#include "platform/foundation/bundle.h"

#include <unistd.h>

#include <fstream>

#include "platform/foundation/device.h"

namespace platform::foundation {

namespace {

struct Identity {
  std::optional<std::string> bundleIdentifier;
  std::optional<std::string> processName;
  std::optional<int> iosVersion;
};

Identity& identity() {
  static Identity id;
  return id;
}

}  // namespace

std::optional<std::string> mainBundleIdentifier() { return identity().bundleIdentifier; }

void setMainBundleIdentifier(std::optional<std::string> identifier) {
  identity().bundleIdentifier = std::move(identifier);
}

std::string processName() {
  if (identity().processName) return *identity().processName;
  std::ifstream comm("/proc/self/comm");
  std::string name;
  std::getline(comm, name);
  return name.empty() ? "process" : name;
}

void setProcessName(std::string name) { identity().processName = std::move(name); }

bool processInfoRespondsToIsOperatingSystemAtLeastVersion() {
  int version = identity().iosVersion ? *identity().iosVersion : loadDeviceSettings().iosVersion;
  return version >= 8;
}

void setIOSVersionForTesting(std::optional<int> version) { identity().iosVersion = version; }

void resetProcessIdentity() { identity() = Identity{}; }

}  // namespace platform::foundation
