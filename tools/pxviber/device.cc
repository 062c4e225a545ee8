#include "tools/pxviber/device.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <thread>

#include "platform/foundation/build_info.h"
#include "platform/foundation/child_process.h"
#include "platform/foundation/device.h"
#include "platform/foundation/error.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/log.h"
#include "platform/foundation/property_list.h"
#include "platform/foundation/uuid.h"
#include "platform/notify/notify_center.h"
#include "platform/runtime/host.h"
#include "platform/viberdb/sample_content.h"
#include "tools/pxviber/packages/device_records.h"
#include "tools/pxviber/packages/package_install.h"

namespace pxviber {

namespace fs = std::filesystem;
using platform::Error;
using platform::foundation::Dictionary;
using platform::foundation::Value;

namespace {

constexpr const char* kViberBundleId = "com.viber";

fs::path under(const fs::path& root, std::string_view devicePath) {
  return platform::foundation::hostPathIn(root, devicePath);
}

void makeDirs(const fs::path& p) {
  std::error_code ec;
  fs::create_directories(p, ec);
  if (ec) throw Error("cannot create " + p.string() + ": " + ec.message());
}

void writePlist(const fs::path& p, const Dictionary& d) {
  if (!platform::foundation::writeDictionaryFileAtomically(p, d)) {
    throw Error("cannot write " + p.string());
  }
}

platform::foundation::DeviceSettings deviceSettings(const fs::path& root) {
  auto plist = platform::foundation::readDictionaryFile(root / "device.plist");
  return plist ? platform::foundation::DeviceSettings::fromDictionary(*plist)
               : platform::foundation::DeviceSettings{};
}

void writeText(const fs::path& p, const std::string& text) {
  if (!platform::foundation::writeFileAtomically(
          p, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))) {
    throw Error("cannot write " + p.string());
  }
}

// Viber's bundle and data container, laid out as each iOS version has them.
ViberLocation layoutViber(const fs::path& root, int ios) {
  ViberLocation where;
  std::string bundleUUID = platform::foundation::newUUID();
  if (ios == 7) {
    // iOS 7 keeps the bundle and Documents side by side in one folder.
    fs::path app = under(root, "/private/var/mobile/Applications/" + bundleUUID);
    where.bundle = app / "Viber.app";
    where.dataContainer = app;
  } else {
    const char* bundles = ios == 8 ? "/private/var/mobile/Containers/Bundle/Application/"
                                   : "/private/var/containers/Bundle/Application/";
    where.bundle = under(root, bundles + bundleUUID) / "Viber.app";
    where.dataContainer = under(
        root, "/private/var/mobile/Containers/Data/Application/" + platform::foundation::newUUID());
    makeDirs(where.dataContainer);
    writePlist(where.dataContainer / ".com.apple.mobile_container_manager.metadata.plist",
               Dictionary{{"MCMMetadataIdentifier", Value(kViberBundleId)}});
  }
  makeDirs(where.bundle);
  writePlist(where.bundle / "Info.plist", Dictionary{{"CFBundleIdentifier", Value(kViberBundleId)},
                                                     {"CFBundleExecutable", Value("Viber")},
                                                     {"CFBundleDisplayName", Value("Viber")}});
  // The executable is this build's messenger host.
  std::error_code ec;
  fs::create_symlink(programFolder() / "viber", where.bundle / "Viber", ec);
  if (ec)
    throw Error("cannot link the messenger into " + where.bundle.string() + ": " + ec.message());
  for (const char* folder : {"Documents/Attachments", "Documents/AttachmentsPreview"}) {
    makeDirs(where.dataContainer / folder);
  }
  where.sample = platform::viberdb::createSampleDatabase(
      where.dataContainer / platform::viberdb::kDatabaseRelativePath, platform::viberdb::now());
  return where;
}

// The platform pieces as installed packages, then the tweak's own package.
void installTweak(const fs::path& root, int iosVersion) {
  platform::foundation::DeviceSettings settings = deviceSettings(root);
  packages::registerPlatformPackages(root, iosVersion, settings.architecture);
  packages::installPackage(root, ownPackage());
}

// Whether something listens on the unix socket at `path`.
bool accepts(const fs::path& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.string().size() >= sizeof address.sun_path) return false;
  std::strcpy(address.sun_path, path.c_str());
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

// The device's bus daemon, in a session of its own; nothing of the caller's
// stays open in it (a caller reading our output through a pipe would otherwise
// wait for the bus to exit).
int startBus(const fs::path& root, const fs::path& socket) {
  try {
    return platform::foundation::startChild(
        {.arguments = {"dbus-daemon", "--session", "--nofork", "--nopidfile",
                       "--address=unix:path=" + socket.string()},
         .output = under(root, "/private/var/log/bus.out"),
         .newSession = true,
         .searchPath = true});
  } catch (const Error& e) {
    throw Error(std::string(e.what()) + " (is the dbus-daemon package installed?)");
  }
}

}  // namespace

fs::path programFolder() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return self.parent_path();
}

fs::path ownPackage() {
  using namespace platform::foundation;
  return programFolder().parent_path() / "packages" /
         (std::string(kPackageName) + "_" + kProjectVersion + "_" + kBuildArchitecture + ".deb");
}

std::vector<std::string> deviceCommand(const fs::path& root, const std::string& program,
                                       const std::vector<std::string>& args) {
  return platform::foundation::programCommand(deviceSettings(root), programFolder() / program,
                                              args);
}

void requireDevice(const fs::path& root) {
  std::error_code ec;
  if (!fs::exists(root, ec)) {
    throw Error("no device at " + root.string() +
                (ec ? " (" + ec.message() + ")" : " (the folder does not exist)"));
  }
  if (!fs::exists(root / packages::kSettingsFile, ec)) {
    throw Error("no device at " + root.string() + " (run: pxviber device create --root " +
                root.string() + ")");
  }
}

namespace {

// Everything of a new device in the folder `root`, which exists and is empty.
ViberLocation layOutDevice(const fs::path& root, const DeviceOptions& options) {
  std::error_code ec;
  for (const char* folder : packages::kLayoutFolders) makeDirs(root / folder);
  // "/var" is a link to "/private/var", as on the phone.
  fs::create_symlink(packages::kVarLinkTarget, root / packages::kVarLink, ec);
  if (ec) throw Error("cannot link " + (root / packages::kVarLink).string() + ": " + ec.message());

  platform::foundation::DeviceSettings settings;
  settings.iosVersion = options.iosVersion;
  settings.emulator = options.emulator;
  writePlist(root / packages::kSettingsFile, settings.toDictionary());

  // A system application, installed under /Applications as on the phone.
  makeDirs(under(root, "/Applications/Preferences.app"));
  writePlist(under(root, "/Applications/Preferences.app/Info.plist"),
             Dictionary{{"CFBundleIdentifier", Value("com.apple.Preferences")},
                        {"CFBundleExecutable", Value("Preferences")}});
  ViberLocation viber = layoutViber(root, options.iosVersion);
  installTweak(root, options.iosVersion);
  return viber;
}

}  // namespace

ViberLocation createDevice(const fs::path& root, const DeviceOptions& options) {
  if (options.iosVersion < 7 || options.iosVersion > 9) {
    throw Error("unknown iOS version " + std::to_string(options.iosVersion) + " (7, 8 or 9)");
  }
  // A device is made only where it cannot mix with anything else: whatever
  // the folder held would be taken for the device's, and a failure half-way
  // would leave the device's files among it.
  std::error_code ec;
  if (fs::exists(root / packages::kSettingsFile, ec))
    throw Error("a device already exists at " + root.string());
  fs::file_status status = fs::status(root, ec);
  if (ec && ec != std::errc::no_such_file_or_directory)
    throw Error("cannot create a device at " + root.string() + ": " + ec.message());
  if (fs::exists(status)) {
    if (!fs::is_directory(status))
      throw Error("cannot create a device at " + root.string() + ": it is not a folder");
    if (!fs::is_empty(root, ec) || ec)
      throw Error("cannot create a device in " + root.string() +
                  ": the folder is not empty (a device is made only in an empty or absent "
                  "folder)");
  }
  fs::path parent = fs::absolute(root).parent_path();
  if (!fs::is_directory(parent, ec))
    throw Error("cannot create a device in " + parent.string() + ": no such folder");
  bool madeRoot = !fs::exists(status);
  if (madeRoot) makeDirs(root);
  if (::access(root.c_str(), W_OK) != 0)
    throw Error("cannot create a device in " + root.string() + ": not writable");
  try {
    return layOutDevice(root, options);
  } catch (...) {
    // A device made half-way is no device, and would make a second try find
    // the folder not empty: what was made goes, the folder as it was before.
    if (madeRoot) {
      fs::remove_all(root, ec);
    } else {
      for (const auto& entry : fs::directory_iterator(root, ec)) fs::remove_all(entry.path(), ec);
    }
    throw;
  }
}

std::optional<ViberLocation> findViber(const fs::path& root) {
  std::error_code ec;
  for (const char* base :
       {"/private/var/containers/Bundle/Application",
        "/private/var/mobile/Containers/Bundle/Application", "/private/var/mobile/Applications"}) {
    for (auto& entry : fs::directory_iterator(under(root, base), ec)) {
      fs::path bundle = entry.path() / "Viber.app";
      auto info = platform::foundation::readDictionaryFile(bundle / "Info.plist");
      if (!info) continue;
      ViberLocation where{bundle, entry.path(), std::nullopt};
      if (std::string(base).find("Bundle") != std::string::npos) {
        // Find the data container by its metadata.
        for (auto& data : fs::directory_iterator(
                 under(root, "/private/var/mobile/Containers/Data/Application"), ec)) {
          auto meta = platform::foundation::readDictionaryFile(
              data.path() / ".com.apple.mobile_container_manager.metadata.plist");
          const Value* id =
              meta ? platform::foundation::find(*meta, "MCMMetadataIdentifier") : nullptr;
          if (id && id->asString() && *id->asString() == kViberBundleId)
            where.dataContainer = data.path();
        }
      }
      return where;
    }
  }
  return std::nullopt;
}

int launchHost(const fs::path& root, const std::string& program,
               const std::vector<std::string>& extraArgs, std::chrono::milliseconds readyTimeout) {
  fs::path out = under(root, "/private/var/log") / (program + ".out");
  std::vector<std::string> hostArgs{"--root", fs::absolute(root).string()};
  hostArgs.insert(hostArgs.end(), extraArgs.begin(), extraArgs.end());
  int pid = platform::foundation::startChild(
      {.arguments = deviceCommand(root, program, hostArgs), .output = out, .newSession = true});
  // The host writes "<Process>.pid" once it is ready; its process name is the
  // capitalised program name.
  std::string process = program == "springboard" ? "SpringBoard"
                        : program == "viber"     ? "Viber"
                                                 : program;
  auto deadline = std::chrono::steady_clock::now() + readyTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (runningPid(root, process) == pid) return pid;
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      throw Error(program + " exited during start-up (see " + out.string() + ")");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ::kill(pid, SIGKILL);
  throw Error(program + " did not become ready (see " + out.string() + ")");
}

void startDevice(const fs::path& root) {
  requireDevice(root);
  if (auto pid = runningPid(root, "SpringBoard")) {
    throw Error("the device at " + root.string() + " is already running (springboard pid " +
                std::to_string(*pid) + ")");
  }
  // A stale bus from an earlier, killed run is replaced.
  stopBus(root);
  fs::path socket = under(root, platform::notify::kBusSocketDevicePath);
  std::error_code ec;
  fs::remove(socket, ec);
  int bus = startBus(root, socket);
  writeText(pidFilePath(root, "dbus"), std::to_string(bus) + "\n");
  // The socket file appears when the daemon binds it, a moment before it
  // listens: the bus is up once a connection is accepted.
  auto deadline = std::chrono::steady_clock::now() + kStartPatience;
  while (!accepts(socket)) {
    if (::waitpid(bus, nullptr, WNOHANG) == bus) throw Error("dbus-daemon exited at start");
    if (std::chrono::steady_clock::now() > deadline)
      throw Error("the device bus did not start at " + socket.string());
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  launchHost(root, "springboard");
}

std::vector<std::string> readSyslog(const fs::path& root) {
  std::ifstream in(under(root, platform::foundation::kSyslogDevicePath));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace pxviber
