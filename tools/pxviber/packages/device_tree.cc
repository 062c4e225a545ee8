// The walk is done by hand, one openat() with O_NOFOLLOW per name, rather
// than with openat2()'s RESOLVE_BENEATH: it refuses every link on the way,
// not only those that leave the root, and it runs wherever openat() does
// (user-mode emulators of other processors included).
#include "tools/pxviber/packages/device_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <optional>
#include <random>
#include <set>
#include <vector>

#include "platform/foundation/error.h"

namespace pxviber::packages {

namespace fs = std::filesystem;
using platform::Error;
using platform::SystemError;

namespace {

// A descriptor closed when it goes.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd& operator=(Fd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// A folder open for the *at() calls, and the last name of the path.
struct Place {
  Fd folder;
  std::string name;
};

class LinuxTree final : public DeviceTree {
 public:
  LinuxTree(fs::path root, Fd fd) : root_(std::move(root)), rootFd_(std::move(fd)) {}

  Entry look(const std::string& path) const override {
    auto place = parentOf(path, true);
    if (!place) return {};
    struct stat st {};
    if (::fstatat(place->folder.get(), place->name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) return {};
      throw SystemError("cannot look at " + hostPath(path).string(), errno);
    }
    if (S_ISDIR(st.st_mode)) return {Entry::Kind::Folder, ""};
    if (S_ISREG(st.st_mode)) return {Entry::Kind::File, ""};
    if (!S_ISLNK(st.st_mode)) return {Entry::Kind::Other, ""};
    std::string target(static_cast<std::size_t>(PATH_MAX), '\0');
    ssize_t n =
        ::readlinkat(place->folder.get(), place->name.c_str(), target.data(), target.size());
    if (n < 0) throw SystemError("cannot read the link " + hostPath(path).string(), errno);
    target.resize(static_cast<std::size_t>(n));
    return {Entry::Kind::Link, target};
  }

  bool isEmptyFolder(const std::string& path) const override {
    auto place = parentOf(path, true);
    if (!place) return false;
    int fd = ::openat(place->folder.get(), place->name.c_str(),
                      O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
      ::close(fd);
      return false;
    }
    bool empty = true;
    while (dirent* e = ::readdir(dir)) {
      std::string_view name = e->d_name;
      if (name != "." && name != "..") empty = false;
    }
    ::closedir(dir);
    return empty;
  }

  std::optional<platform::foundation::Bytes> read(const std::string& path) const override {
    auto place = parentOf(path, true);
    if (!place) return std::nullopt;
    Fd fd(::openat(place->folder.get(), place->name.c_str(),
                   O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    platform::foundation::Bytes bytes;
    std::uint8_t buffer[65536];
    for (;;) {
      ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw SystemError("cannot read " + hostPath(path).string(), errno);
      if (n == 0) return bytes;
      bytes.insert(bytes.end(), buffer, buffer + n);
    }
  }

  void makeFolder(const std::string& path) override {
    auto place = need(path);
    if (::mkdirat(place.folder.get(), place.name.c_str(), 0755) == 0) return;
    int err = errno;
    if (err == EEXIST && look(path).kind == Entry::Kind::Folder) return;
    throw SystemError("cannot make the folder " + hostPath(path).string(), err);
  }

  void writeFile(const std::string& path, std::span<const std::uint8_t> bytes,
                 unsigned mode) override {
    auto place = need(path);
    // A short temporary name: the file's own name may already be as long as
    // the file system allows.
    std::string temporary;
    Fd fd;
    std::random_device random;
    for (int attempt = 0; fd.get() < 0; ++attempt) {
      temporary = ".pxviber-" + std::to_string(random() % 1000000000u);
      fd = Fd(::openat(place.folder.get(), temporary.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
      if (fd.get() < 0 && (errno != EEXIST || attempt > 100))
        throw SystemError("cannot write beside " + hostPath(path).string(), errno);
    }
    int err = writeAll(fd.get(), bytes);
    if (err == 0 && ::fchmod(fd.get(), mode & 07777) != 0) err = errno;
    if (err == 0 && ::fsync(fd.get()) != 0) err = errno;
    if (err == 0 &&
        ::renameat(place.folder.get(), temporary.c_str(), place.folder.get(), place.name.c_str()))
      err = errno;
    if (err != 0) {
      ::unlinkat(place.folder.get(), temporary.c_str(), 0);
      throw SystemError("cannot write " + hostPath(path).string(), err);
    }
    // The new name survives a crash only once its folder is flushed.
    ::fsync(place.folder.get());
  }

  void makeLink(const std::string& path, const std::string& target) override {
    auto place = need(path);
    if (::symlinkat(target.c_str(), place.folder.get(), place.name.c_str()) != 0)
      throw SystemError("cannot make the link " + hostPath(path).string(), errno);
  }

  void rename(const std::string& from, const std::string& to) override {
    auto a = need(from);
    auto b = need(to);
    if (::renameat(a.folder.get(), a.name.c_str(), b.folder.get(), b.name.c_str()) != 0)
      throw SystemError("cannot rename " + hostPath(from).string() + " to " + hostPath(to).string(),
                        errno);
  }

  void remove(const std::string& path) override {
    auto place = parentOf(path, true);
    if (!place) return;
    if (::unlinkat(place->folder.get(), place->name.c_str(), 0) != 0 && errno != ENOENT)
      throw SystemError("cannot remove " + hostPath(path).string(), errno);
  }

  void removeFolder(const std::string& path) override {
    auto place = need(path);
    if (::unlinkat(place.folder.get(), place.name.c_str(), AT_REMOVEDIR) != 0)
      throw SystemError("cannot remove the folder " + hostPath(path).string(), errno);
  }

  bool tryLock(const std::string& path) override {
    if (!lockedPaths_.insert(path).second) return true;
    auto place = need(path);
    Fd fd(::openat(place.folder.get(), place.name.c_str(),
                   O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd.get() < 0) {
      lockedPaths_.erase(path);
      throw SystemError("cannot open the lock " + hostPath(path).string(), errno);
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
      lockedPaths_.erase(path);
      return false;
    }
    locks_.push_back(std::move(fd));
    return true;
  }

  std::size_t nameLimit() const override {
    long limit = ::fpathconf(rootFd_.get(), _PC_NAME_MAX);
    return limit > 0 ? static_cast<std::size_t>(limit) : NAME_MAX;
  }
  std::size_t pathLimit() const override { return PATH_MAX - 1; }

  fs::path hostPath(const std::string& path) const override {
    return path.empty() ? root_ : root_ / path;
  }

 private:
  static int writeAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
      ssize_t n = ::write(fd, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return errno;
      bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return 0;
  }

  // The folder that holds `path`'s last name, walked from the root through
  // real folders only; nullopt when one is missing and `missingIsNone`.
  std::optional<Place> parentOf(const std::string& path, bool missingIsNone) const {
    if (!isPlainPath(path)) throw Error("not a plain path on the device: \"" + path + "\"");
    Fd folder(::dup(rootFd_.get()));
    std::size_t at = 0;
    for (auto slash = path.find('/'); slash != std::string::npos; slash = path.find('/', at)) {
      std::string name = path.substr(at, slash - at);
      Fd next(::openat(folder.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      struct stat st {};
      if (next.get() < 0 || ::fstat(next.get(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        int err = next.get() < 0 ? errno : ENOTDIR;
        if (err == ENOENT && missingIsNone) return std::nullopt;
        std::string on = hostPath(path.substr(0, slash)).string();
        if (err == ELOOP || err == ENOTDIR)
          throw Error("cannot reach " + hostPath(path).string() + ": " + on +
                      " is not a folder of the device");
        throw SystemError("cannot reach " + hostPath(path).string() + " at " + on, err);
      }
      folder = std::move(next);
      at = slash + 1;
    }
    return Place{std::move(folder), path.substr(at)};
  }

  Place need(const std::string& path) const { return std::move(*parentOf(path, false)); }

  fs::path root_;
  Fd rootFd_;
  std::vector<Fd> locks_;
  std::set<std::string> lockedPaths_;
};

}  // namespace

bool isPlainPath(std::string_view path) {
  if (path.empty()) return false;
  std::size_t at = 0;
  for (;;) {
    auto slash = path.find('/', at);
    std::string_view name =
        path.substr(at, slash == std::string_view::npos ? path.npos : slash - at);
    if (name.empty() || name == "." || name == ".." || name.find('\0') != name.npos) return false;
    if (slash == std::string_view::npos) return true;
    at = slash + 1;
  }
}

std::unique_ptr<DeviceTree> openDeviceTree(const fs::path& root) {
  Fd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) throw SystemError("cannot open the device at " + root.string(), errno);
  return std::make_unique<LinuxTree>(root, std::move(fd));
}

}  // namespace pxviber::packages
