#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

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

// The folder and the name of a path ("." for a bare name).
std::pair<std::string, std::string> SplitPath(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// Follows the links the path's last component goes through, one by one, as opening the path
// would, and returns the path of the file at the end. That file need not exist: a dangling link
// leads to the name it gives. Empty, with errno ELOOP, for a loop or a chain of more than 40.
std::string FollowLinks(std::string path) {
  for (int hops = 0; hops <= 40; ++hops) {
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0) return path;
    target.resize(static_cast<std::size_t>(n));
    path = target.front() == '/' ? target : SplitPath(path).first + "/" + target;
  }
  errno = ELOOP;
  return {};
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

bool OutputFileExists(const string& path) {
  if (FileExists(path)) return true;
  const std::string native = NativePath(path);
  struct stat st{};
  if (native.empty() || ::lstat(native.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return false;
  const std::string end = FollowLinks(native);
  return !end.empty() && ::lstat(end.c_str(), &st) != 0 && errno == ENOENT;
}

bool DeleteFile(const string& path) { return ::unlink(NativePath(path).c_str()) == 0; }

void CreateEmptyFile(const string& path) {
  const int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0)
    throw EFOpenError(u"Cannot create file \"" + path + u"\". " + FromUTF8(std::strerror(errno)));
  ::close(fd);
}

std::optional<TFileIdentity> FileIdentity(const string& path) {
  const std::string native = NativePath(path);
  if (native.empty()) return std::nullopt;
  const std::string end = FollowLinks(native);
  if (end.empty()) return std::nullopt;
  struct stat st{};
  if (::stat(end.c_str(), &st) == 0) return TFileIdentity{st.st_dev, st.st_ino, {}};
  if (errno != ENOENT) return std::nullopt;
  auto [folder, name] = SplitPath(end);
  if (name.empty() || ::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  return TFileIdentity{st.st_dev, st.st_ino, std::move(name)};
}

bool SameFile(const string& a, const string& b) {
  const auto x = FileIdentity(a);
  const auto y = FileIdentity(b);
  return x && y && *x == *y;
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

constexpr std::string_view kPartial = ".partial-";
constexpr std::size_t kSuffixDigits = 16;

// The start of every hidden name made for a target called base: "." + base + ".partial-", then
// 16 hexadecimal digits. Where that would pass the folder's name limit, base is shortened and a
// hash of the whole name follows it, so long names that begin alike still get prefixes of their
// own.
std::string HiddenPrefix(const std::string& base, std::size_t nameMax) {
  const std::size_t fixed = 1 + kPartial.size() + kSuffixDigits;
  std::string prefix(1, '.');
  if (base.size() + fixed <= nameMax) {
    prefix.append(base);
  } else {
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (const char c : base) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    char mark[10];
    std::snprintf(mark, sizeof mark, "~%08x", hash);
    prefix.append(base, 0, nameMax > fixed + 9 ? nameMax - fixed - 9 : 0).append(mark);
  }
  return prefix.append(kPartial);
}

// A hidden name beside the target that says what it is. O_EXCL (or link's EEXIST) makes a clash
// fail rather than reuse a file, so the name need only be unlikely to exist.
std::string HiddenName(const std::string& folder, const std::string& prefix) {
  static std::atomic<std::uint64_t> counter{0};
  std::uint64_t bits = 0;
  if (OSRandomFill(&bits, sizeof bits) != 0) {
    struct timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    bits = static_cast<std::uint64_t>(ts.tv_nsec) ^ (static_cast<std::uint64_t>(::getpid()) << 32);
  }
  bits += counter.fetch_add(1, std::memory_order_relaxed) + 1;
  char suffix[kSuffixDigits + 1];
  std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(bits));
  return folder + "/" + prefix + suffix;
}

bool IsHiddenNameOf(std::string_view name, const std::string& prefix) {
  if (name.size() != prefix.size() + kSuffixDigits || name.substr(0, prefix.size()) != prefix) return false;
  return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// Every hidden file a live replacement uses is locked by it (see HoldUnderName). Those of this
// target that nobody holds were left by a process that was killed: they are removed. A file
// that cannot be opened or locked stays.
void RemoveStaleHiddenFiles(const std::string& folder, const std::string& prefix) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  const int dirFd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    if (!IsHiddenNameOf(entry->d_name, prefix)) continue;
    const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat held{}, named{};
    if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == held.st_dev &&
        named.st_ino == held.st_ino)
      ::unlinkat(dirFd, entry->d_name, 0);
    ::close(fd);
  }
  ::closedir(dir);
}

// Locks the file behind fd so that no other replacement takes it for a stale one, and checks
// that name still leads to it (a remover may have taken it before the lock). False only when a
// remover got there first; a file system without locks leaves the file unprotected.
bool HoldUnderName(int fd, const std::string& name, int lock) {
  if (::flock(fd, lock | LOCK_NB) != 0 && errno == EWOULDBLOCK) return false;
  struct stat held{}, named{};
  return ::fstat(fd, &held) == 0 && ::lstat(name.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

// The process's umask, read without setting it (umask(2) would change it for every thread).
std::uint32_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("Umask:", 0) == 0) return static_cast<std::uint32_t>(std::strtoul(line.c_str() + 6, nullptr, 8)) & 0777;
  return 022;
}

void SyncFolder(const std::string& folder) {
  if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

}  // namespace

TReplacingFile::TReplacingFile(const string& targetPath) : FTarget(targetPath) {
  const std::string native = NativePath(targetPath);
  if (native.empty()) RaiseCannotCreate(targetPath, u"Invalid file name");
  // Through links as opening the target for writing would go: a dangling link's file is created.
  FNativeTarget = FollowLinks(native);
  if (FNativeTarget.empty()) RaiseCannotCreate(targetPath, OSReason());
  std::string base;
  std::tie(FFolder, base) = SplitPath(FNativeTarget);
  struct stat st{};
  FExisted = ::stat(FNativeTarget.c_str(), &st) == 0;
  if ((FExisted && !S_ISREG(st.st_mode)) || base.empty()) RaiseCannotCreate(targetPath, u"Not a regular file");
  // What the caller may not write is not replaced either, though the folder would allow it.
  if (FExisted && ::faccessat(AT_FDCWD, FNativeTarget.c_str(), W_OK, AT_EACCESS) != 0)
    RaiseCannotCreate(targetPath, OSReason());
  const long nameMax = ::pathconf(FFolder.c_str(), _PC_NAME_MAX);
  const std::size_t limit = nameMax > 0 ? static_cast<std::size_t>(nameMax) : NAME_MAX;
  if (base.size() > limit) RaiseCannotCreate(targetPath, FromUTF8(std::strerror(ENAMETOOLONG)));
  FHiddenPrefix = HiddenPrefix(base, limit);
  if (FExisted) {
    FMode = static_cast<std::int32_t>(st.st_mode & 01777);  // setuid and setgid stay behind, as cp leaves them
    FOwner = st.st_uid;
    FGroup = st.st_gid;
  }
  RemoveStaleHiddenFiles(FFolder, FHiddenPrefix);

  FHandle = ::open(FFolder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);  // less the umask
  if (FHandle >= 0) {
    ::flock(FHandle, LOCK_EX | LOCK_NB);  // held, so that once named at Commit no remover takes it
    return;
  }
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) RaiseCannotCreate(targetPath, OSReason());
  // The named file is readable by its owner only while it is written; it gets its mode at Commit.
  if (!FExisted) FMode = static_cast<std::int32_t>(0666 & ~CurrentUmask());
  for (int attempt = 0; attempt < 100 && FHandle < 0; ++attempt) {
    FVisibleTemp = HiddenName(FFolder, FHiddenPrefix);
    FHandle = ::open(FVisibleTemp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (FHandle < 0) {
      if (errno != EEXIST) break;
    } else if (!HoldUnderName(FHandle, FVisibleTemp, LOCK_EX)) {
      ::close(FHandle);  // a remover has it; try another name
      FHandle = INVALID_HANDLE_VALUE;
      errno = EEXIST;
    }
  }
  if (FHandle < 0) {
    const string reason = OSReason();
    FVisibleTemp.clear();
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

bool TReplacingFile::Prepare() {
  if (FHandle == INVALID_HANDLE_VALUE) return false;
  if (FExisted) {
    // Owner and group of the replaced file where the caller may set them (root both, an owner a
    // group of his own); the content is what matters, so this is best effort.
    struct stat now{};
    if (::fstat(FHandle, &now) == 0 && (now.st_uid != FOwner || now.st_gid != FGroup) &&
        ::fchown(FHandle, static_cast<uid_t>(FOwner), static_cast<gid_t>(FGroup)) != 0 &&
        ::fchown(FHandle, static_cast<uid_t>(-1), static_cast<gid_t>(FGroup)) != 0) {
    }
  }
  if (FMode >= 0 && ::fchmod(FHandle, static_cast<mode_t>(FMode)) != 0) return false;
  if (::fsync(FHandle) != 0) return false;
  if (!FVisibleTemp.empty()) return true;
  // The unnamed file gets a name only now that it is complete, and only for the rename.
  const std::string self = "/proc/self/fd/" + std::to_string(FHandle);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = HiddenName(FFolder, FHiddenPrefix);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      FVisibleTemp = name;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool TReplacingFile::RenameOverTarget() {
  if (::rename(FVisibleTemp.c_str(), FNativeTarget.c_str()) != 0) return false;
  FVisibleTemp.clear();
  return true;
}

void TReplacingFile::Finish() noexcept {
  ::close(FHandle);  // the data is on the disk already; the target is replaced from here on
  FHandle = INVALID_HANDLE_VALUE;
  SyncFolder(FFolder);  // makes the rename itself durable
}

bool TReplacingFile::Commit() {
  if (!Prepare() || !RenameOverTarget()) {
    Discard();
    return false;
  }
  Finish();
  return true;
}

// The earlier target of a pair's first file, kept under a hidden name until the pair is in
// place: a second link to it, or on a file system without hard links the file itself moved
// aside. It is held with a shared lock (taken before it gets the name), so no other replacement
// removes it as stale.
class TReplacingFile::TBackup {
 public:
  explicit TBackup(const TReplacingFile& file) : FFile(file) {}
  TBackup(const TBackup&) = delete;
  TBackup& operator=(const TBackup&) = delete;
  ~TBackup() {
    if (FHeld >= 0) ::close(FHeld);
  }

  bool Make() {
    const std::string& target = FFile.FNativeTarget;
    FHeld = ::open(target.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (FHeld >= 0 && ::flock(FHeld, LOCK_SH | LOCK_NB) != 0) {
      // another holder's exclusive lock keeps removers away just as well
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = HiddenName(FFile.FFolder, FFile.FHiddenPrefix);
      if (::link(target.c_str(), name.c_str()) == 0) {
        FName = std::move(name);
        return true;
      }
      if (errno == EEXIST) continue;
      // No second link here (a file system without hard links): the file itself moves aside.
      if (::rename(target.c_str(), name.c_str()) != 0) return false;
      FName = std::move(name);
      FMovedAside = true;
      return true;
    }
    return false;
  }
  // Undoes Make while the target has not been replaced yet.
  void Undo() noexcept {
    if (FMovedAside)
      Restore();
    else
      Drop();
  }
  // Puts the earlier file back over the target.
  void Restore() noexcept {
    if (::rename(FName.c_str(), FFile.FNativeTarget.c_str()) == 0) FName.clear();
  }
  void Drop() noexcept {
    if (!FName.empty()) ::unlink(FName.c_str());
    FName.clear();
  }

 private:
  const TReplacingFile& FFile;
  std::string FName;
  int FHeld = -1;
  bool FMovedAside = false;
};

bool TReplacingFile::CommitPair(TReplacingFile& first, TReplacingFile& second) {
  const auto fail = [&] {
    first.Discard();
    second.Discard();
    return false;
  };
  if (!first.Prepare() || !second.Prepare()) return fail();
  TBackup earlier(first);
  if (first.FExisted && !earlier.Make()) return fail();
  if (!first.RenameOverTarget()) {
    earlier.Undo();
    return fail();
  }
  if (!second.RenameOverTarget()) {
    // Neither changes: the earlier first target goes back (a new one goes away again).
    if (first.FExisted)
      earlier.Restore();
    else
      ::unlink(first.FNativeTarget.c_str());
    return fail();
  }
  earlier.Drop();
  first.Finish();
  second.Finish();
  return true;
}

}  // namespace platform
