#include "tests/device_fixture.h"

#include <unistd.h>

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

void DeviceTest::SetUp() {
  char tmpl[] = "/tmp/pxviber-proc-XXXXXX";
  tmp_ = ::mkdtemp(tmpl);
  root_ = tmp_ / "device";
}

void DeviceTest::TearDown() {
  if (fs::exists(root_ / "device.plist")) pxviber::stopDevice(root_);
  std::error_code ec;
  fs::remove_all(tmp_, ec);
}

void DeviceTest::createDevice(int ios) { pxviber::createDevice(root_, {.iosVersion = ios}); }

void DeviceTest::start() { pxviber::startDevice(root_); }

int DeviceTest::launchViber(const std::vector<std::string>& extraArgs) {
  return pxviber::launchHost(root_, "viber", extraArgs);
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

bool DeviceTest::waitForMessage(const std::string& prefix,
                                std::chrono::milliseconds timeout) const {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (!messages(prefix).empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

bool DeviceTest::waitForMessageFrom(const std::string& process, const std::string& prefix,
                                    std::chrono::milliseconds timeout) const {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    for (auto& m : messages(prefix)) {
      if (m.rfind(process + ": ", 0) == 0) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

void DeviceTest::writeSettings(const platform::foundation::Dictionary& d) const {
  ASSERT_TRUE(platform::foundation::writeDictionaryFileAtomically(
      root_ / "private/var/mobile/Library/Preferences/org.northquay.pxviberpreferences.plist", d));
}

void DeviceTest::joinBus() {
  loop_ = platform::runloop::makeEventRunLoop();
  center_ = pxviber::joinDeviceBus(root_, *loop_);
}

platform::foundation::Dictionary DeviceTest::ask(const std::string& process,
                                                 const platform::foundation::Dictionary& request) {
  auto answer = platform::runtime::sendHostRequest(*center_, *loop_, process, request);
  if (const auto* error = platform::foundation::find(answer, "error")) {
    ADD_FAILURE() << error->description();
  }
  return answer;
}

std::string DeviceTest::showBulletin(const platform::springboard::BBBulletin& bulletin,
                                     int attempts) {
  using platform::foundation::Value;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    auto panel = ask("SpringBoard", {{"command", Value("bulletin")},
                                     {"bulletin", Value(bulletin.toDictionary())}});
    const Value* user = platform::foundation::find(panel, "user");
    if (user && user->asString()) return *user->asString();
    // A reader meets a busy database only while a write is being made; the
    // next bulletin comes a moment later, as a second one would.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return "";
}

bool DeviceTest::waitUntil(const std::function<bool()>& done,
                           std::chrono::milliseconds timeout) const {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return done();
}

int DeviceTest::pxviber(const std::string& args, std::string* output) const {
  std::string command = (pxviber::programFolder() / "pxviber").string() + " " + args + " 2>&1";
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
