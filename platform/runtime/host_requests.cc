#include "platform/runtime/host_requests.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>

#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/foundation/log.h"
#include "platform/foundation/property_list.h"

namespace platform::runtime {

namespace fs = std::filesystem;
using foundation::Dictionary;
using foundation::Value;

namespace {

fs::path requestFolder(const std::string& process) {
  return foundation::hostPath("/private/var/run/requests/" + process);
}

fs::path responsePath(const std::string& id) {
  return foundation::hostPath("/private/var/run/responses/" + id + ".plist");
}

std::string requestNotification(const std::string& process) {
  return "org.pxviber.request." + process;
}
std::string responseNotification(const std::string& id) { return "org.pxviber.response." + id; }

std::string newRequestId() {
  static std::atomic<unsigned> counter{0};
  auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  return std::to_string(::getpid()) + "-" + std::to_string(now) + "-" + std::to_string(++counter);
}

}  // namespace

Dictionary handleHostRequest(const std::map<std::string, HostRequestHandler>& handlers,
                             const Dictionary& request) {
  const Value* command = foundation::find(request, "command");
  if (!command || !command->asString()) return {{"error", Value("request without a command")}};
  auto it = handlers.find(*command->asString());
  if (it == handlers.end()) return {{"error", Value("unknown command " + *command->asString())}};
  try {
    return it->second(request);
  } catch (const std::exception& e) {
    return {{"error", Value(std::string(e.what()))}};
  }
}

void serveHostRequests(notify::NotifyCenter& center, const std::string& processName,
                       std::map<std::string, HostRequestHandler> handlers) {
  std::error_code ec;
  fs::create_directories(requestFolder(processName), ec);
  fs::create_directories(responsePath("x").parent_path(), ec);
  auto table = std::make_shared<std::map<std::string, HostRequestHandler>>(std::move(handlers));
  center.addObserver(
      nullptr,
      [table, processName](notify::NotifyCenter* c, const void*, std::string_view, const void*,
                           const void*) {
        std::error_code ec;
        std::vector<fs::path> waiting;
        for (auto& entry : fs::directory_iterator(requestFolder(processName), ec)) {
          if (entry.path().extension() == ".plist") waiting.push_back(entry.path());
        }
        std::sort(waiting.begin(), waiting.end());
        for (auto& file : waiting) {
          auto request = foundation::readDictionaryFile(file);
          fs::remove(file, ec);
          if (!request) continue;
          std::string id = file.stem().string();
          Dictionary response = handleHostRequest(*table, *request);
          if (!foundation::writeDictionaryFileAtomically(responsePath(id), response)) {
            foundation::NSLog("host: cannot answer request {}", id);
            continue;
          }
          c->postNotification(responseNotification(id));
        }
      },
      requestNotification(processName), notify::SuspensionBehavior::Coalesce);
}

Dictionary sendHostRequest(notify::NotifyCenter& center, runloop::RunLoop& loop,
                           const std::string& processName, const Dictionary& request,
                           runloop::Seconds timeout) {
  std::string id = newRequestId();
  bool answered = false;
  auto observer = center.addObserver(
      nullptr,
      [&](notify::NotifyCenter*, const void*, std::string_view, const void*, const void*) {
        answered = true;
      },
      responseNotification(id), notify::SuspensionBehavior::DeliverImmediately);
  fs::path file = requestFolder(processName) / (id + ".plist");
  if (!fs::is_directory(file.parent_path())) {
    center.removeObserver(observer);
    throw Error(processName + " is not running on this device");
  }
  if (!foundation::writeDictionaryFileAtomically(file, request)) {
    center.removeObserver(observer);
    throw Error("cannot write request " + file.string());
  }
  center.postNotification(requestNotification(processName));
  // The response file is checked too: it may land between two loop turns.
  bool done = loop.runUntil([&] { return answered || fs::exists(responsePath(id)); }, timeout);
  center.removeObserver(observer);
  if (!done) {
    std::error_code ec;
    fs::remove(file, ec);
    throw Error(processName + " did not answer within " + std::to_string(int(timeout.count())) +
                " seconds");
  }
  auto response = foundation::readDictionaryFile(responsePath(id));
  std::error_code ec;
  fs::remove(responsePath(id), ec);
  if (!response) throw Error("unreadable answer from " + processName);
  return *response;
}

}  // namespace platform::runtime
