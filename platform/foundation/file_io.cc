#include "platform/foundation/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform::foundation {

namespace {

bool writeAll(int fd, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes = bytes.subspan(static_cast<size_t>(n));
  }
  return true;
}

// A descriptor of the regular file at `path` and its size, or -1 when it is missing,
// unreadable, not a regular file or larger than `limit` bytes. The file is opened
// without waiting: opening a pipe for reading would otherwise wait for a writer,
// which may never come, before the check could refuse it.
int openRegularFile(const std::filesystem::path& path, std::uintmax_t limit, std::uint64_t* size) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<std::uintmax_t>(st.st_size) > limit ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return -1;
  }
  *size = static_cast<std::uint64_t>(st.st_size);
  return fd;
}

}  // namespace

std::shared_ptr<const ReadOnlyFile> ReadOnlyFile::open(const std::filesystem::path& path,
                                                       std::uintmax_t limit) {
  std::uint64_t size = 0;
  int fd = openRegularFile(path, limit, &size);
  if (fd < 0) return nullptr;
  return std::shared_ptr<const ReadOnlyFile>(new ReadOnlyFile(fd, size));
}

ReadOnlyFile::~ReadOnlyFile() { ::close(fd_); }

std::size_t ReadOnlyFile::readAt(std::uint64_t offset, std::span<std::uint8_t> out) const {
  std::size_t done = 0;
  while (done < out.size()) {
    // Reads run in 64-bit offsets on 32-bit processors too (the build's off_t may
    // be 32 bits wide there).
    ssize_t n =
        ::pread64(fd_, out.data() + done, out.size() - done, static_cast<off64_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

std::optional<Bytes> readFile(const std::filesystem::path& path, std::uintmax_t limit) {
  std::uint64_t size = 0;
  int fd = openRegularFile(path, limit, &size);
  if (fd < 0) return std::nullopt;
  Bytes bytes;
  bytes.reserve(static_cast<size_t>(size));
  std::uint8_t buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    // The file may grow while it is read; the limit still holds.
    if (bytes.size() + static_cast<size_t>(n) > limit) {
      ::close(fd);
      return std::nullopt;
    }
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  ::close(fd);
  return bytes;
}

void syncFolderOf(const std::filesystem::path& path) {
  int dir = ::open(path.parent_path().empty() ? "." : path.parent_path().c_str(),
                   O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

bool writeFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                         FolderSync folder) {
  // The temporary file lives in the target's folder: rename() is atomic only
  // within one file system.
  std::string tmpl = path.string() + ".XXXXXX";
  int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return false;
  // mkstemp creates 0600; a settings file is shared by several processes of
  // one user, so give it the ordinary mode a plain create would.
  ::fchmod(fd, 0644);
  bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(tmpl.c_str(), path.c_str()) == 0) {
    // Make the rename itself durable: without syncing the folder a crash can
    // bring back the old name.
    if (folder == FolderSync::Now) syncFolderOf(path);
    return true;
  }
  ::unlink(tmpl.c_str());
  return false;
}

bool fileExistsAtPath(const std::filesystem::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool isReadableFileAtPath(const std::filesystem::path& path) {
  return ::access(path.c_str(), R_OK) == 0;
}

bool samePath(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code ea, eb;
  auto ca = std::filesystem::weakly_canonical(a, ea), cb = std::filesystem::weakly_canonical(b, eb);
  return !ea && !eb && ca == cb;
}

}  // namespace platform::foundation
