// The main bundle and process information of the running process.
//
// Both are process-wide and set by the host at start, before it loads tweaks;
// tests set them directly and call resetProcessIdentity() afterwards.
#pragma once

#include <optional>
#include <string>

namespace platform::foundation {

// [[NSBundle mainBundle] bundleIdentifier]; nullopt when the host set none.
std::optional<std::string> mainBundleIdentifier();
void setMainBundleIdentifier(std::optional<std::string> identifier);

// The process name that log lines carry ("SpringBoard", "Viber").
std::string processName();
void setProcessName(std::string name);

// Whether NSProcessInfo instances respond to isOperatingSystemAtLeastVersion:,
// which they do from iOS 8 on. Read from the device settings unless overridden.
bool processInfoRespondsToIsOperatingSystemAtLeastVersion();
void setIOSVersionForTesting(std::optional<int> version);

void resetProcessIdentity();

}  // namespace platform::foundation
