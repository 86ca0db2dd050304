#include "platform/Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/OSRandom.h"
#include "platform/SysUtils.h"

namespace platform {

namespace {

// Read or write the whole count unless the file ends or the OS reports an error.
template <class Op>
std::int64_t TransferAll(Op op, std::int64_t count) {
  std::int64_t done = 0;
  while (done < count) {
    const ssize_t n = op(done, static_cast<std::size_t>(std::min<std::int64_t>(count - done, 1 << 30)));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;  // also after a partial transfer: the bytes that arrived do not end the file
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

}  // namespace

std::string NativePath(const string& path) {
  // The OS ends a path at its first NUL, so such a path would name another file: it names none.
  if (path.find(u'\0') != string::npos) return {};
  // A lone surrogate that stands for no byte would otherwise become another name too.
  return EncodeFileSystemText(path).value_or(std::string());
}

bool FileExists(const string& path) {
  struct stat st{};
  return ::stat(NativePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FileIsWritable(const string& path) {
  return FileExists(path) && ::access(NativePath(path).c_str(), W_OK) == 0;
}

bool DeleteFile(const string& path) { return ::unlink(NativePath(path).c_str()) == 0; }

void CreateEmptyFile(const string& path) {
  const int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0)
    throw EFOpenError(u"Cannot create file \"" + path + u"\". " + FromUTF8(std::strerror(errno)));
  ::close(fd);
}

string GetModuleFileName() {
  // The link's length is not known in advance: grow the buffer until the whole name fits.
  for (std::size_t size = PATH_MAX;; size *= 2) {
    std::string buf(size, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), size);
    if (n <= 0)
      throw Exception(u"Cannot find the folder of this program: " +
                      FromUTF8(std::strerror(n < 0 ? errno : ENOENT)) + u".");
    // Any byte string: a folder name need not be valid UTF-8.
    const auto length = static_cast<std::size_t>(n);
    if (length < size) return DecodeFileSystemText(std::string_view(buf.data(), length));
  }
}

string ExtractFilePath(const string& path) {
  const auto pos = path.find_last_of(u'/');
  return pos == string::npos ? string() : path.substr(0, pos + 1);
}

THandle FileOpen(const string& path, TFileAccess access, string* failure) {
  const auto fail = [failure](int fd, const string& reason) {
    if (fd >= 0) ::close(fd);
    if (failure != nullptr) *failure = reason;
    return INVALID_HANDLE_VALUE;
  };
  const int flags = access == TFileAccess::Read ? O_RDONLY : access == TFileAccess::Write ? O_WRONLY : O_RDWR;
  // O_NONBLOCK: opening a FIFO would otherwise wait for a writer (or reader). The flag is taken
  // off again once the handle is known to be a regular file.
  const int fd = ::open(NativePath(path).c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return fail(-1, FromUTF8(std::strerror(errno)));
  struct stat st{};
  if (::fstat(fd, &st) != 0) return fail(fd, FromUTF8(std::strerror(errno)));
  if (!S_ISREG(st.st_mode)) return fail(fd, u"Not a regular file");
  if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) return fail(fd, FromUTF8(std::strerror(errno)));
  // Exclusive use: another holder of a lock on the same file makes the open fail.
  const int lock = access == TFileAccess::Read ? LOCK_SH : LOCK_EX;
  if (::flock(fd, lock | LOCK_NB) != 0) return fail(fd, u"The file is in use");
  return fd;
}

std::int64_t FileSize(THandle handle) {
  struct stat st{};
  return ::fstat(handle, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

std::int64_t FileRead(THandle handle, void* buffer, std::int64_t count) {
  auto* p = static_cast<char*>(buffer);
  return TransferAll([&](std::int64_t at, std::size_t n) { return ::read(handle, p + at, n); }, count);
}

std::int64_t FileWrite(THandle handle, const void* buffer, std::int64_t count) {
  const auto* p = static_cast<const char*>(buffer);
  std::int64_t done = 0;
  // A failing write after a partial transfer returns the short count, which callers take as failure.
  const std::int64_t n = TransferAll(
      [&](std::int64_t at, std::size_t len) {
        const ssize_t w = ::write(handle, p + at, len);
        if (w > 0) done = at + w;
        return w;
      },
      count);
  return n < 0 ? done : n;
}

bool FileTruncate(THandle handle, std::int64_t size) { return ::ftruncate(handle, size) == 0; }

void FileClose(THandle handle) { ::close(handle); }

// --- TReplacingFile

namespace {

[[noreturn]] void RaiseCannotCreate(const string& target, const string& reason) {
  throw EFOpenError(u"Cannot create file \"" + target + u"\". " + reason);
}

string OSReason() { return FromUTF8(std::strerror(errno)); }

// A name for a temporary file beside the target that says what it is. O_EXCL makes a clash
// fail rather than reuse a file, so the name need only be unlikely to exist.
std::string TempName(const std::string& folder, const std::string& base) {
  static std::uint64_t counter = 0;
  std::uint64_t bits = 0;
  if (OSRandomFill(&bits, sizeof bits) != 0) {
    struct timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    bits = static_cast<std::uint64_t>(ts.tv_nsec) ^ (static_cast<std::uint64_t>(::getpid()) << 32);
  }
  bits += ++counter;
  char suffix[17];
  std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(bits));
  return folder + "/." + base + ".partial-" + suffix;
}

}  // namespace

TReplacingFile::TReplacingFile(const string& targetPath) : FTarget(targetPath) {
  FNativeTarget = NativePath(targetPath);
  if (FNativeTarget.empty()) RaiseCannotCreate(targetPath, u"Invalid file name");
  struct stat st{};
  if (::lstat(FNativeTarget.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // Replace the file the link points to, not the link.
    if (char* real = ::realpath(FNativeTarget.c_str(), nullptr)) {
      FNativeTarget = real;
      std::free(real);
    }
  }
  const bool exists = ::stat(FNativeTarget.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) RaiseCannotCreate(targetPath, u"Not a regular file");
  const auto slash = FNativeTarget.find_last_of('/');
  FFolder = slash == std::string::npos ? "." : slash == 0 ? "/" : FNativeTarget.substr(0, slash);
  const std::string base = slash == std::string::npos ? FNativeTarget : FNativeTarget.substr(slash + 1);
  // A new file gets 0666 less the umask, as the OS gives a created file.
  FHandle = ::open(FFolder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (FHandle < 0) {
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) RaiseCannotCreate(targetPath, OSReason());
    for (int attempt = 0; attempt < 100 && FHandle < 0; ++attempt) {
      FVisibleTemp = TempName(FFolder, base);
      FHandle = ::open(FVisibleTemp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (FHandle < 0 && errno != EEXIST) break;
    }
    if (FHandle < 0) {
      const string reason = OSReason();
      FVisibleTemp.clear();
      RaiseCannotCreate(targetPath, reason);
    }
  }
  if (exists && ::fchmod(FHandle, st.st_mode & 07777) != 0) {
    const string reason = OSReason();
    Discard();
    RaiseCannotCreate(targetPath, reason);
  }
}

TReplacingFile::~TReplacingFile() { Discard(); }

void TReplacingFile::Discard() noexcept {
  if (FHandle != INVALID_HANDLE_VALUE) ::close(FHandle);
  FHandle = INVALID_HANDLE_VALUE;
  if (!FVisibleTemp.empty()) ::unlink(FVisibleTemp.c_str());
  FVisibleTemp.clear();
}

bool TReplacingFile::Commit() {
  if (FHandle == INVALID_HANDLE_VALUE || ::fsync(FHandle) != 0) {
    Discard();
    return false;
  }
  if (FVisibleTemp.empty()) {
    // The unnamed file gets a name only now that it is complete, and only for the rename.
    const std::string self = "/proc/self/fd/" + std::to_string(FHandle);
    const std::string base = FNativeTarget.substr(FNativeTarget.find_last_of('/') + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string name = TempName(FFolder, base);
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        FVisibleTemp = name;
        break;
      }
      if (errno != EEXIST) break;
    }
    if (FVisibleTemp.empty()) {
      Discard();
      return false;
    }
  }
  if (::rename(FVisibleTemp.c_str(), FNativeTarget.c_str()) != 0) {
    Discard();
    return false;
  }
  FVisibleTemp.clear();
  ::close(FHandle);  // the data is on the disk already; the target is replaced from here on
  FHandle = INVALID_HANDLE_VALUE;
  // Make the rename itself durable.
  if (const int dir = ::open(FFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

}  // namespace platform
