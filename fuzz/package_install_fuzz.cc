// Installing and removing packages on a device that already holds links, in
// steps read from the input. After every step: nothing outside the device
// root has changed, the device's own records are whole, a refused install or
// remove left the device as it was, and an accepted one changed only paths
// its package lists (and the package database) and left no link that the
// system would follow out of the root.
//
// The device lives in a sandbox folder that becomes the process's root
// directory (chroot, as root or in a user namespace of its own): whatever a
// fault would write outside the device, even through ".." above "/" or an
// absolute link, lands in the sandbox, where the checks see it, and never in
// the machine's own folders. libFuzzer reads and writes the corpus and the
// artifacts from the working directory, which stays outside the sandbox: give
// it relative paths. Leak checks are off, as the sanitizer's needs /proc.
//
// Input: one step or member a line, words separated by single blanks, the
// last word taking the rest of the line; "\n", "\t", "\\" and "\xHH" in a
// word stand for those bytes.
//   package NAME                  starts a package, installed at the next
//                                 "package" or "remove" line or at the end
//   file PATH TEXT | dir PATH | link PATH TARGET
//   remove NAME
#include <fcntl.h>
#include <linux/openat2.h>
#include <sched.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/build_info.h"
#include "platform/foundation/error.h"
#include "platform/foundation/file_io.h"
#include "tools/pxviber/packages/device_records.h"
#include "tools/pxviber/packages/package_install.h"
#include "tools/pxviber/packages/testing/deb_builder.h"
#include "tools/pxviber/packages/testing/scratch_device.h"

namespace {

namespace fs = std::filesystem;
namespace packages = pxviber::packages;
namespace testing = pxviber::packages::testing;

const fs::path kWork = "/w";
const fs::path kRoot = "/w/o1/o2/device";
const fs::path kDebs = "/debs";
const std::string kDatabase = packages::kDatabaseFolder;

constexpr std::size_t kMaxSteps = 8;
constexpr std::size_t kMaxMembers = 32;

[[noreturn]] void violation(const std::string& what) {
  std::fprintf(stderr, "package_install_fuzz: VIOLATION: %s\n", what.c_str());
  std::abort();
}

[[noreturn]] void cannot(const std::string& what) {
  std::fprintf(stderr, "package_install_fuzz: cannot %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

void writeText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Removes the sandbox once the fuzzer has exited: a child that waits for the
// end of a pipe whose other end only the fuzzer holds.
void removeAtExit(const fs::path& sandbox) {
  int ends[2];
  if (::pipe(ends) != 0) cannot("make a pipe");
  pid_t child = ::fork();
  if (child < 0) cannot("fork");
  if (child == 0) {
    ::close(ends[1]);
    char byte;
    while (::read(ends[0], &byte, 1) != 0) {
    }
    std::error_code ec;
    fs::remove_all(sandbox, ec);
    ::_exit(0);
  }
  ::close(ends[0]);
  ::fcntl(ends[1], F_SETFD, FD_CLOEXEC);
}

// Makes `sandbox` the root directory; as root, or else in a user namespace
// where this user is root.
void enter(const fs::path& sandbox) {
  if (::geteuid() != 0) {
    uid_t uid = ::geteuid();
    gid_t gid = ::getegid();
    if (::unshare(CLONE_NEWUSER) != 0) cannot("enter a user namespace");
    writeText("/proc/self/setgroups", "deny");
    writeText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
    writeText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
  }
  if (::chroot(sandbox.c_str()) != 0) cannot("enter the sandbox " + sandbox.string());
}

// What is in the sandbox before each input, kept in memory (a copy in the
// sandbox could itself be written to).
struct Item {
  fs::path path;  // relative to the sandbox
  fs::file_type type;
  std::string content;  // a file's bytes, a link's target
  fs::perms permissions;
};
std::vector<Item>& pristine() {
  static std::vector<Item> items;
  return items;
}

// The device as each input finds it, with the layout and records of a
// device and links of every kind already on it, and files beside and above
// it; made in `sandbox` before it is entered, and kept.
void makePristine(const fs::path& sandbox) {
  fs::path root = sandbox / kRoot.relative_path();
  fs::create_directories(root);
  fs::create_directories(sandbox / "outside");
  testing::makeScratchDevice(root);
  writeText(sandbox / "outside/keep", "outside");
  writeText(sandbox / "w/keep", "above");
  writeText(sandbox / "w/o1/o2/keep", "beside");
  fs::create_symlink("/outside", root / "Library/abs");
  fs::create_symlink("../..", root / "Library/up");
  fs::create_symlink("..", root / "Library/r");
  fs::create_symlink("loop", root / "Library/loop");
  fs::create_symlink("gone/../..", root / "Library/dangling");
  fs::create_symlink("MobileSubstrate/DynamicLibraries", root / "Library/tweaks");
  fs::create_directories(root / "Applications/Tool.app");
  fs::create_symlink("/outside/tool", root / "Applications/Tool.app/Tool");
  for (auto& e : fs::recursive_directory_iterator(sandbox)) {
    auto status = e.symlink_status();
    Item item{e.path().lexically_relative(sandbox), status.type(), "", status.permissions()};
    if (e.is_symlink()) {
      item.content = fs::read_symlink(e.path()).string();
    } else if (e.is_regular_file()) {
      auto bytes = platform::foundation::readFile(e.path());
      item.content.assign(bytes->begin(), bytes->end());
    }
    pristine().push_back(std::move(item));
  }
}

void resetDevice() {
  std::error_code ec;
  for (const char* folder : {"/w", "/outside", "/debs"}) fs::remove_all(folder, ec);
  for (auto& item : pristine()) {
    fs::path path = "/" / item.path;
    if (item.type == fs::file_type::directory) {
      fs::create_directory(path);
    } else if (item.type == fs::file_type::symlink) {
      fs::create_symlink(item.content, path);
    } else {
      writeText(path, item.content);
    }
    if (item.type != fs::file_type::symlink) fs::permissions(path, item.permissions);
  }
  fs::create_directories(kDebs);
}

std::string unescaped(const std::string& word) {
  std::string out;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (word[i] != '\\' || i + 1 == word.size()) {
      out += word[i];
      continue;
    }
    char c = word[++i];
    if (c == 'n') {
      out += '\n';
    } else if (c == 't') {
      out += '\t';
    } else if (c == 'x' && i + 2 < word.size() && std::isxdigit(word[i + 1]) &&
               std::isxdigit(word[i + 2])) {
      out += static_cast<char>(std::stoi(word.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

struct Step {
  bool remove = false;
  testing::PackageSpec package;
  std::string name;  // of the package to remove
};

std::vector<Step> parse(const std::string& input) {
  std::vector<Step> steps;
  Step* open = nullptr;
  std::size_t at = 0;
  while (at < input.size() && steps.size() <= kMaxSteps) {
    auto end = input.find('\n', at);
    if (end == std::string::npos) end = input.size();
    std::string line = input.substr(at, end - at);
    at = end + 1;
    auto blank = line.find(' ');
    std::string verb = line.substr(0, blank);
    std::string rest = blank == std::string::npos ? "" : line.substr(blank + 1);
    auto second = rest.find(' ');
    std::string first = unescaped(rest.substr(0, second));
    std::string tail = second == std::string::npos ? "" : unescaped(rest.substr(second + 1));
    if (verb == "package") {
      steps.push_back({});
      steps.back().package.name = first;
      // gzip: xz's compressor spends far longer on each input than the install.
      steps.back().package.gzip = true;
      open = &steps.back();
    } else if (verb == "remove") {
      steps.push_back({true, {}, first});
      open = nullptr;
    } else if (open && open->package.data.size() < kMaxMembers) {
      if (verb == "file") open->package.data.push_back(testing::file(first, tail));
      if (verb == "dir") open->package.data.push_back(testing::folder(first));
      if (verb == "link") open->package.data.push_back(testing::link(first, tail));
    }
  }
  if (steps.size() > kMaxSteps) steps.resize(kMaxSteps);
  return steps;
}

// The paths whose entry differs between two looks at the device.
std::set<std::string> changed(const std::map<std::string, std::string>& before,
                              const std::map<std::string, std::string>& after) {
  std::set<std::string> out;
  for (auto& [path, what] : before) {
    auto it = after.find(path);
    if (it == after.end() || it->second != what) out.insert(path);
  }
  for (auto& [path, what] : after) {
    if (!before.count(path)) out.insert(path);
  }
  return out;
}

std::vector<std::string> listed(const std::string& name) {
  std::vector<std::string> out;
  std::ifstream in(kRoot / kDatabase / "info" / (name + ".list"));
  for (std::string line; std::getline(in, line);) {
    if (line.size() > 1 && line.front() == '/') out.push_back(line.substr(1));
  }
  return out;
}

// Whether the system, following `path` from the device root, leaves the root
// (openat2's RESOLVE_BENEATH: an independent judge of where links lead).
bool leadsOut(const std::string& path) {
  int root = ::open(kRoot.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  open_how how{};
  how.flags = O_PATH | O_CLOEXEC;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  int fd = static_cast<int>(::syscall(SYS_openat2, root, path.c_str(), &how, sizeof how));
  bool out = fd < 0 && errno == EXDEV;
  if (fd >= 0) ::close(fd);
  ::close(root);
  return out;
}

// Every change is a path of `allowed`, or lies in the package database.
void checkChanges(const std::set<std::string>& changes, const std::set<std::string>& allowed,
                  const std::string& what) {
  for (auto& path : changes) {
    if (path == kDatabase || path.starts_with(kDatabase + "/") || allowed.count(path)) continue;
    violation(what + " changed " + path + ", which its package does not list");
  }
}

void checkRecords(const std::string& settings) {
  std::error_code ec;
  auto bytes = platform::foundation::readFile(kRoot / packages::kSettingsFile);
  if (!bytes || std::string(bytes->begin(), bytes->end()) != settings)
    violation("the device's settings changed");
  if (!fs::is_symlink(kRoot / packages::kVarLink, ec) ||
      fs::read_symlink(kRoot / packages::kVarLink, ec) != packages::kVarLinkTarget)
    violation("the var link changed");
  for (const char* folder : packages::kLayoutFolders) {
    if (!fs::is_directory(fs::symlink_status(kRoot / folder, ec)))
      violation(std::string("the layout folder ") + folder + " is gone");
  }
  auto status = platform::foundation::readFile(kRoot / kDatabase / "status");
  std::string text = status ? std::string(status->begin(), status->end()) : "";
  for (const char* own : {"firmware", "mobilesubstrate", "preferenceloader", "applist", "couria"}) {
    if (text.find(std::string("Package: ") + own + "\n") == std::string::npos)
      violation(std::string("the platform package ") + own + " is no longer installed");
  }
}

void run(const Step& step, const std::string& outside, const std::string& settings) {
  auto before = testing::treeEntries(kRoot);
  std::string name = step.remove ? step.name : step.package.name;
  std::set<std::string> allowed;
  bool valid = packages::isPlainPath(name) && name.find('/') == std::string::npos;
  if (valid) {
    for (auto& p : listed(name)) allowed.insert(p);
  }
  bool accepted = true;
  try {
    if (step.remove) {
      packages::removePackage(kRoot, name);
    } else {
      auto bytes = testing::buildDeb(step.package, platform::foundation::kBuildArchitecture);
      if (!platform::foundation::writeFileAtomically(kDebs / "p.deb", bytes))
        violation("cannot write the package");
      packages::installPackage(kRoot, kDebs / "p.deb");
      for (auto& p : listed(name)) allowed.insert(p);
    }
  } catch (const platform::Error&) {
    accepted = false;
  } catch (const std::exception& e) {
    violation(std::string("an exception of another kind: ") + e.what());
  }
  std::string what = (step.remove ? "removing " : "installing ") + name;
  if (testing::treeSnapshot("/", {kRoot, kDebs}) != outside)
    violation(what + " changed something outside the device root");
  auto after = testing::treeEntries(kRoot);
  if (!accepted && after != before) violation("a refused " + what + " changed the device");
  if (accepted) {
    auto changes = changed(before, after);
    checkChanges(changes, allowed, what);
    for (auto& path : changes) {
      std::error_code ec;
      if (fs::is_symlink(kRoot / path, ec) && leadsOut(path))
        violation(what + " left the link " + path + ", which leads outside the device root");
    }
  }
  checkRecords(settings);
}

}  // namespace

extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fs::path base = fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
  std::string name = (base / "px-install-fuzz-XXXXXX").string();
  if (!::mkdtemp(name.data())) cannot("make a sandbox in " + base.string());
  makePristine(name);
  removeAtExit(name);
  enter(name);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  auto steps = parse(std::string(reinterpret_cast<const char*>(data), size));
  if (steps.empty()) return 0;
  resetDevice();
  auto settings = platform::foundation::readFile(kRoot / packages::kSettingsFile);
  std::string settingsText(settings->begin(), settings->end());
  std::string outside = testing::treeSnapshot("/", {kRoot, kDebs});
  for (auto& step : steps) run(step, outside, settingsText);
  return 0;
}
