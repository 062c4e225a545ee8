#include "platform/foundation/device.h"

#include <cstdlib>

#include "platform/foundation/property_list.h"

namespace platform::foundation {

namespace {

std::optional<std::filesystem::path>& rootSlot() {
  static std::optional<std::filesystem::path> root;
  return root;
}

double numberOr(const Dictionary& d, std::string_view key, double fallback) {
  const Value* v = find(d, key);
  if (!v) return fallback;
  if (const auto* r = v->asReal()) return *r;
  if (auto i = v->longLongValue()) return static_cast<double>(*i);
  return fallback;
}

}  // namespace

std::filesystem::path deviceRoot() {
  if (rootSlot()) return *rootSlot();
  if (const char* env = std::getenv(kDeviceRootEnv); env && *env) return env;
  return "/";
}

void setDeviceRoot(const std::filesystem::path& root) { rootSlot() = root; }

std::filesystem::path hostPath(std::string_view devicePath) {
  return hostPathIn(deviceRoot(), devicePath);
}

std::filesystem::path hostPathIn(const std::filesystem::path& root, std::string_view devicePath) {
  while (!devicePath.empty() && devicePath.front() == '/') devicePath.remove_prefix(1);
  return root / std::filesystem::path(devicePath);
}

std::optional<std::string> devicePath(const std::filesystem::path& host) {
  std::string root = deviceRoot().lexically_normal().string();
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  std::string path = host.lexically_normal().string();
  if (root == "/") return path;
  if (path == root) return std::string("/");
  if (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
      path[root.size()] == '/') {
    return path.substr(root.size());
  }
  return std::nullopt;
}

DeviceSettings DeviceSettings::fromDictionary(const Dictionary& d) {
  DeviceSettings s;
  s.iosVersion = static_cast<int>(numberOr(d, "iOSVersion", s.iosVersion));
  s.screenWidth = numberOr(d, "ScreenWidth", s.screenWidth);
  s.screenHeight = numberOr(d, "ScreenHeight", s.screenHeight);
  s.screenScale = numberOr(d, "ScreenScale", s.screenScale);
  s.backgroundSeconds = numberOr(d, "BackgroundSeconds", s.backgroundSeconds);
  if (const Value* arch = find(d, "Architecture"); arch && arch->asString())
    s.architecture = *arch->asString();
  if (const Value* emulator = find(d, "Emulator"); emulator && emulator->asArray()) {
    for (auto& word : *emulator->asArray()) {
      if (word.asString()) s.emulator.push_back(*word.asString());
    }
  }
  return s;
}

Dictionary DeviceSettings::toDictionary() const {
  Array words;
  for (auto& w : emulator) words.push_back(Value(w));
  return Dictionary{{"iOSVersion", Value(iosVersion)},
                    {"ScreenWidth", Value(screenWidth)},
                    {"ScreenHeight", Value(screenHeight)},
                    {"ScreenScale", Value(screenScale)},
                    {"BackgroundSeconds", Value(backgroundSeconds)},
                    {"Architecture", Value(architecture)},
                    {"Emulator", Value(std::move(words))}};
}

DeviceSettings loadDeviceSettings() {
  auto d = readDictionaryFile(hostPath("/device.plist"));
  return d ? DeviceSettings::fromDictionary(*d) : DeviceSettings{};
}

std::vector<std::string> buildEmulator() {
  std::vector<std::string> words;
  std::string_view rest = kBuildEmulator;
  while (!rest.empty()) {
    auto blank = rest.find(' ');
    if (blank != 0) words.emplace_back(rest.substr(0, blank));
    rest.remove_prefix(blank == std::string_view::npos ? rest.size() : blank + 1);
  }
  return words;
}

std::vector<std::string> programCommand(const DeviceSettings& settings,
                                        const std::filesystem::path& program,
                                        const std::vector<std::string>& args) {
  std::vector<std::string> command = settings.emulator;
  command.push_back(program.string());
  command.insert(command.end(), args.begin(), args.end());
  return command;
}

}  // namespace platform::foundation
