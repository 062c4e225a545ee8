// Eight processes each write 200 keys of their own into one settings file, once
// with the writer lock and once with a bare read-modify-write, and report how many
// keys survive. Without the lock, overlapping cycles drop each other's keys.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "platform/foundation/property_list.h"
#include "platform/foundation/testing/remove_tree.h"

namespace foundation = platform::foundation;

namespace {

constexpr int kProcesses = 8;
constexpr int kWrites = 200;

size_t run(const std::filesystem::path& file, bool locked) {
  std::filesystem::remove(file);
  for (int p = 0; p < kProcesses; ++p) {
    if (::fork() == 0) {
      for (int i = 0; i < kWrites; ++i) {
        std::string key = "w" + std::to_string(p) + "_" + std::to_string(i);
        if (locked) {
          foundation::updateDictionaryFile(
              file, [&](foundation::Dictionary& d) { d[key] = foundation::Value(i); });
        } else {
          auto d = foundation::readDictionaryFile(file).value_or(foundation::Dictionary{});
          d[key] = foundation::Value(i);
          foundation::writeDictionaryFileAtomically(file, d);
        }
      }
      _exit(0);
    }
  }
  while (::wait(nullptr) > 0) {
  }
  return foundation::readDictionaryFile(file).value_or(foundation::Dictionary{}).size();
}

}  // namespace

int main() {
  char tmpl[] = "/tmp/mailbox-contention-XXXXXX";
  std::filesystem::path dir = ::mkdtemp(tmpl);
  std::filesystem::path file = dir / "settings.plist";
  size_t withLock = run(file, true);
  size_t withoutLock = run(file, false);
  std::printf("mailbox writes: %d processes x %d keys = %d\n", kProcesses, kWrites,
              kProcesses * kWrites);
  std::printf("  with the writer lock:    %zu keys kept, %d lost\n", withLock,
              kProcesses * kWrites - int(withLock));
  std::printf("  without the lock:        %zu keys kept, %d lost\n", withoutLock,
              kProcesses * kWrites - int(withoutLock));
  if (std::string left = platform::foundation::testing::removeTree(dir); !left.empty()) {
    std::fprintf(stderr, "%s\n", left.c_str());
  }
  return withLock == size_t(kProcesses * kWrites) ? 0 : 1;
}
