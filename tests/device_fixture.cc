#include "tests/device_fixture.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <thread>

#include "platform/foundation/property_list.h"
#include "platform/notify/notify_center.h"
#include "platform/runloop/run_loop.h"
#include "platform/runtime/host_requests.h"
#include "tools/pxviber/commands.h"
#include "tools/pxviber/device.h"

namespace tests {

namespace fs = std::filesystem;
using platform::foundation::Dictionary;
using platform::foundation::Value;

void DeviceTest::SetUp() {
  scratch_.emplace("pxviber-proc");
  tmp_ = scratch_->path();
  root_ = tmp_ / "device";
}

void DeviceTest::TearDown() {
  bus_.reset();
  busLoop_.reset();
  if (fs::exists(root_ / "device.plist")) pxviber::stopDevice(root_);
  scratch_.reset();
}

void DeviceTest::createDevice(int ios) { pxviber::createDevice(root_, {.iosVersion = ios}); }

// A host loads its settings when its own start-up post comes back to it, after
// it is ready: a ping answered means that has happened (the host answers after
// its queued deliveries), so a test's first request meets the settings loaded.
void DeviceTest::start() {
  pxviber::startDevice(root_);
  ping("SpringBoard");
}

void DeviceTest::restartDevice() {
  bus_.reset();
  busLoop_.reset();
  pxviber::stopDevice(root_);
  start();
}

int DeviceTest::launchViber(const std::vector<std::string>& extraArgs) {
  int pid = pxviber::launchHost(root_, "viber", extraArgs);
  ping("Viber");
  return pid;
}

std::vector<std::string> DeviceTest::messages(const std::string& prefix) const {
  std::vector<std::string> out;
  for (auto& line : pxviber::readSyslog(root_)) {
    // "Dec 08 15:13:03.120 SpringBoard[4242]: message"
    auto bracket = line.find("]: ");
    if (bracket == std::string::npos) continue;
    auto space = line.rfind(' ', line.rfind('[', bracket));
    std::string process = line.substr(space + 1, line.rfind('[', bracket) - space - 1);
    std::string message = line.substr(bracket + 3);
    if (message.rfind(prefix, 0) == 0) out.push_back(process + ": " + message);
  }
  return out;
}

bool DeviceTest::waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

bool DeviceTest::waitForMessage(const std::string& prefix) const {
  return waitFor([&] { return !messages(prefix).empty(); });
}

bool DeviceTest::waitForMessageFrom(const std::string& process, const std::string& prefix) const {
  return waitFor([&] {
    for (auto& m : messages(prefix)) {
      if (m.rfind(process + ": ", 0) == 0) return true;
    }
    return false;
  });
}

platform::notify::NotifyCenter& DeviceTest::bus() {
  if (!bus_) {
    busLoop_ = platform::runloop::makeEventRunLoop();
    bus_ = pxviber::joinDeviceBus(root_, *busLoop_);
  }
  return *bus_;
}

void DeviceTest::post(const std::string& name) { bus().postNotification(name); }

Dictionary DeviceTest::ask(const std::string& process, const Dictionary& request) {
  platform::notify::NotifyCenter& center = bus();  // joins first: it makes the loop
  return platform::runtime::sendHostRequest(center, *busLoop_, process, request, kPatience);
}

void DeviceTest::ping(const std::string& process) {
  Dictionary answer = ask(process, {{"command", Value("ping")}});
  ASSERT_NE(platform::foundation::find(answer, "pid"), nullptr) << process << " did not answer";
}

std::string DeviceTest::showBulletin(const platform::springboard::BBBulletin& bulletin,
                                     int attempts) {
  std::string conversation;
  for (int attempt = 0; attempt < attempts && conversation.empty(); ++attempt) {
    auto panel = ask("SpringBoard", {{"command", Value("bulletin")},
                                     {"bulletin", Value(bulletin.toDictionary())}});
    const Value* user = platform::foundation::find(panel, "user");
    if (user && user->asString()) conversation = *user->asString();
  }
  return conversation;
}

void DeviceTest::writeSettings(const Dictionary& d) const {
  ASSERT_TRUE(platform::foundation::writeDictionaryFileAtomically(
      root_ / "private/var/mobile/Library/Preferences/org.northquay.pxviberpreferences.plist", d));
}

int DeviceTest::pxviber(const std::string& args, std::string* output,
                        const std::string& environment) const {
  // A cross build's pxviber runs through the build's emulator.
  std::string command = "env " + environment + " ";
  for (auto& word : platform::foundation::buildEmulator()) command += word + " ";
  command += (pxviber::programFolder() / "pxviber").string() + " " + args + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string text;
  std::array<char, 4096> buffer;
  while (size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
    text.append(buffer.data(), n);
  int status = ::pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace tests
