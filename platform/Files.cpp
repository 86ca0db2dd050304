#include "platform/Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <climits>
#include <cstring>

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
      return done > 0 ? done : -1;
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

bool DeleteFile(const string& path) { return ::unlink(NativePath(path).c_str()) == 0; }

void CreateEmptyFile(const string& path) {
  const int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0)
    throw EFOpenError(u"Cannot create file \"" + path + u"\". " + FromUTF8(std::strerror(errno)));
  ::close(fd);
}

string GetModuleFileName() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  // Any byte string: a folder name need not be valid UTF-8.
  return DecodeFileSystemText(std::string_view(buf, static_cast<std::size_t>(n)));
}

string ExtractFilePath(const string& path) {
  const auto pos = path.find_last_of(u'/');
  return pos == string::npos ? string() : path.substr(0, pos + 1);
}

THandle FileOpen(const string& path, TFileAccess access) {
  const int flags = access == TFileAccess::Read ? O_RDONLY : access == TFileAccess::Write ? O_WRONLY : O_RDWR;
  const int fd = ::open(NativePath(path).c_str(), flags | O_CLOEXEC);
  if (fd < 0) return INVALID_HANDLE_VALUE;
  struct stat st{};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return INVALID_HANDLE_VALUE;
  }
  // Exclusive use: another holder of a lock on the same file makes the open fail.
  const int lock = access == TFileAccess::Read ? LOCK_SH : LOCK_EX;
  if (::flock(fd, lock | LOCK_NB) != 0) {
    ::close(fd);
    return INVALID_HANDLE_VALUE;
  }
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
  const std::int64_t n =
      TransferAll([&](std::int64_t at, std::size_t len) { return ::write(handle, p + at, len); }, count);
  return n < 0 ? 0 : n;
}

bool FileTruncate(THandle handle, std::int64_t size) { return ::ftruncate(handle, size) == 0; }

void FileClose(THandle handle) { ::close(handle); }

}  // namespace platform
