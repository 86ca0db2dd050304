#include "Io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "Common.h"
#include "Progress.h"
#include "platform/SysUtils.h"

namespace cli {

using platform::TSeekOrigin;

namespace {

constexpr std::size_t kCopyBuffer = 1 << 20;

platform::string Native(const std::string& path) { return platform::DecodeFileSystemText(path); }

// Writes all of n bytes to fd, going on after a signal unless it was Ctrl-C.
void WriteAll(int fd, const std::uint8_t* p, std::size_t n, const std::string& name) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR && !Interrupted()) continue;
    if (w < 0 && errno == EINTR) throw platform::EAbort(u"Operation cancelled");
    if (w <= 0) Fail(name + ": " + std::strerror(errno));
    p += w;
    n -= static_cast<std::size_t>(w);
  }
}

// Standard output, or a device or pipe named as the output, as a stream written strictly
// forwards; the library's rewind to the start of an output it has not written yet is the only
// move it accepts.
class TSequentialStream : public platform::TStream {
 public:
  TSequentialStream(int fd, std::string name) : FFd(fd), FName(std::move(name)) {}
  ~TSequentialStream() override {
    if (FFd != STDOUT_FILENO) ::close(FFd);
  }
  std::int64_t Read(void*, std::int64_t) override { return 0; }
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    WriteAll(FFd, static_cast<const std::uint8_t*>(buffer), static_cast<std::size_t>(count), FName);
    FPosition += count;
    return count;
  }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    const std::int64_t target = origin == TSeekOrigin::soCurrent ? FPosition + offset : offset;
    if (origin == TSeekOrigin::soEnd || target != FPosition)
      throw platform::EWriteError(u"standard output cannot be rewound");
    return FPosition;
  }
  std::int64_t GetSize() override { return FPosition; }

 private:
  int FFd;
  std::string FName;
  std::int64_t FPosition = 0;
};

// True for an existing output that is a device, pipe or socket: it is written as it goes,
// there is no file to replace.
bool IsStreamTarget(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
}

// Copies standard input into fd, stopping at Ctrl-C.
void Spool(int fd) {
  std::vector<std::uint8_t> buffer(kCopyBuffer);
  for (;;) {
    CheckInterrupted();
    const ssize_t r = ::read(STDIN_FILENO, buffer.data(), buffer.size());
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) Fail(std::string("standard input: ") + std::strerror(errno));
    if (r == 0) break;
    WriteAll(fd, buffer.data(), static_cast<std::size_t>(r), "temporary copy of standard input");
  }
}

std::string TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

// The identity of a path given for an option; standard input by its file when it is one.
std::optional<platform::TFileIdentity> IdentityOf(const TNamedPath& p, bool read) {
  if (p.Path.empty()) return std::nullopt;
  if (p.Path == "-") {
    struct stat st {};
    if (!read || ::fstat(STDIN_FILENO, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return platform::TFileIdentity{st.st_dev, st.st_ino, {}};
  }
  // A device, pipe or socket written to loses nothing (/dev/null as output and tag is fine).
  struct stat st {};
  if (!read && ::stat(p.Path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return std::nullopt;
  return platform::FileIdentity(Native(p.Path));
}

bool StdinIsRegularFile() {
  struct stat st {};
  return ::fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool IsStdio(const std::string& path) { return path.empty() || path == "-"; }

TTempFile::TTempFile() {
  const std::string folder = TempFolder();
  FFd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
  if (FFd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    // No unnamed files here: a name for the moment between creating and unlinking it.
    std::string pattern = folder + "/orvoaes-XXXXXX";
    FFd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (FFd >= 0) ::unlink(pattern.c_str());
  }
  if (FFd < 0) Fail("temporary file in " + folder + ": " + std::strerror(errno));
  FStream = std::make_unique<platform::THandleStream>(FFd, u"temporary file");
}

TTempFile::~TTempFile() {
  FStream.reset();
  ::close(FFd);
}

TInput::TInput(const std::string& path) {
  FName = IsStdio(path) ? "standard input" : path;
  if (IsStdio(path) && !StdinIsRegularFile()) {
    FSpool = std::make_unique<TTempFile>();
    Spool(FSpool->Fd());
    FHandle = FSpool->Fd();
  } else {
    platform::string reason;
    FHandle = platform::FileOpen(IsStdio(path) ? u"/dev/stdin" : Native(path), platform::TFileAccess::Read, &reason);
    if (FHandle == platform::INVALID_HANDLE_VALUE) Fail(FName + ": " + platform::ToUTF8String(reason));
  }
  FStream = std::make_unique<platform::THandleStream>(FHandle, Native(FName));
  FStream->SetPosition(0);
}

TInput::~TInput() {
  FStream.reset();
  if (!FSpool) platform::FileClose(FHandle);
}

platform::THandle TInput::Rewound() {
  FStream->SetPosition(0);
  return FHandle;
}

void CheckNewOutput(const std::string& path, bool force) {
  struct stat st {};
  if (!force && ::stat(path.c_str(), &st) == 0) Fail(path + ": the file exists (use --force to replace it)");
}

TOnceInput::TOnceInput(const std::string& path) {
  struct stat st {};
  // A pipe's buffer is widened where the system lets it (to 1 MiB, as the pieces read): fewer
  // reads and wake-ups per byte. Best effort; the writer's end sees the same buffer.
  const auto widen = [](int fd) {
#ifdef F_SETPIPE_SZ
    (void)::fcntl(fd, F_SETPIPE_SZ, 1 << 20);
#else
    (void)fd;
#endif
  };
  if (IsStdio(path) && (::fstat(STDIN_FILENO, &st) != 0 || !S_ISREG(st.st_mode))) {
    FName = "standard input";
    if (S_ISFIFO(st.st_mode)) widen(STDIN_FILENO);
    return;
  }
  if (!IsStdio(path) && ::stat(path.c_str(), &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))) {
    FName = path;  // a named pipe or a device: read as it comes, like standard input
    FFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (FFd < 0) Fail(path + ": " + std::strerror(errno));
    if (S_ISFIFO(st.st_mode)) widen(FFd);
    return;
  }
  FFile = std::make_unique<TInput>(path);
  FName = FFile->Name();
  FSize = FFile->Size();
}

TOnceInput::~TOnceInput() {
  if (FFd != STDIN_FILENO) ::close(FFd);
}

std::size_t TOnceInput::Read(std::uint8_t* p, std::size_t n) {
  if (FFile) {
    const auto want = static_cast<std::int64_t>(std::min<std::uint64_t>(n, static_cast<std::uint64_t>(FSize - FDone)));
    std::int64_t got = 0;
    while (got < want) {
      const std::int64_t r = FFile->Stream().Read(p + got, want - got);
      if (r <= 0) Fail(FName + ": the file ended before its size (it changed while it was read)");
      got += r;
    }
    FDone += got;
    return static_cast<std::size_t>(got);
  }
  for (;;) {
    CheckInterrupted();
    const ssize_t r = ::read(FFd, p, n);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) Fail(FName + ": " + std::strerror(errno));
    FDone += r;
    return static_cast<std::size_t>(r);
  }
}

TOutput::TOutput(const std::string& path, bool force, bool staged) {
  FName = IsStdio(path) ? "standard output" : path;
  if (IsStdio(path)) {
    FFd = STDOUT_FILENO;
  } else if (IsStreamTarget(path)) {
    FFd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (FFd < 0) Fail(path + ": " + std::strerror(errno));
  } else {
    CheckNewOutput(path, force);
    FReplacing = std::make_unique<platform::TReplacingFile>(Native(path));
    FStream = std::make_unique<platform::THandleStream>(FReplacing->Handle(), Native(path));
    return;
  }
  if (staged) {
    FStage = std::make_unique<TTempFile>();
    return;
  }
  FStream = std::make_unique<TSequentialStream>(FFd, FName);
}

TOutput::~TOutput() {
  FStream.reset();
  if (FFd > STDOUT_FILENO && FStage) ::close(FFd);  // the sequential stream closes its own
}

platform::THandle TOutput::Handle() const {
  if (FReplacing) return FReplacing->Handle();
  return FStage ? FStage->Fd() : platform::INVALID_HANDLE_VALUE;
}

void TOutput::Release() {
  if (FStage) CopyToFd(FStage->Stream(), FFd, FName);
}

void TOutput::Commit() {
  CheckInterrupted();
  errno = 0;
  if (FReplacing && !FReplacing->Commit()) Fail(FName + ": " + SystemReason("the file could not be written to the disk"));
  Release();
}

void TOutput::CommitPair(TOutput& first, TOutput& second) {
  if (!first.FReplacing || !second.FReplacing) {
    first.Commit();
    second.Commit();
    return;
  }
  CheckInterrupted();
  errno = 0;
  if (!platform::TReplacingFile::CommitPair(*first.FReplacing, *second.FReplacing))
    Fail(first.FName + " and " + second.FName + ": " + SystemReason("the files could not be written to the disk") +
         " (neither was changed)");
}

void CheckDistinctPaths(const std::vector<TNamedPath>& reads, const std::vector<TNamedPath>& writes) {
  const auto check = [](const TNamedPath& w, const TNamedPath& other, bool otherRead) {
    if (otherRead && other.Option == "input" && w.Option == "-o") return;  // replaced in place
    const auto a = IdentityOf(w, false), b = IdentityOf(other, otherRead);
    if (a && b && *a == *b)
      Fail(w.Option + " and " + other.Option + " name the same file (" + w.Path + ", " +
           (other.Path == "-" ? std::string("standard input") : other.Path) + "): refused, nothing was written");
  };
  for (std::size_t i = 0; i < writes.size(); ++i) {
    for (const TNamedPath& r : reads) check(writes[i], r, true);
    for (std::size_t j = i + 1; j < writes.size(); ++j) check(writes[i], writes[j], false);
  }
}

void RefuseTerminalOutput(const std::string& out) {
  if (out.empty() && ::isatty(STDOUT_FILENO) == 1)
    UsageFail("the output is binary and standard output is a terminal: give -o FILE (or -o - to write it there anyway)");
}

std::string SystemReason(const std::string& fallback) { return errno != 0 ? std::strerror(errno) : fallback; }

std::int64_t TWindowStream::Read(void* buffer, std::int64_t count) {
  if (FLength >= 0) count = std::max<std::int64_t>(0, std::min(count, FLength - FPosition));
  if (count == 0) return 0;
  FBase.SetPosition(FOffset + FPosition);
  const std::int64_t r = FBase.Read(buffer, count);
  if (r > 0) FPosition += r;
  return r;
}

std::int64_t TWindowStream::Write(const void* buffer, std::int64_t count) {
  const std::int64_t kept = FLength >= 0 ? std::max<std::int64_t>(0, std::min(count, FLength - FPosition)) : count;
  FBase.SetPosition(FOffset + FPosition);
  if (kept > 0) FBase.WriteBuffer(buffer, kept);
  FPosition += count;
  return count;
}

std::int64_t TWindowStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  const std::int64_t base = origin == TSeekOrigin::soBeginning ? 0
                            : origin == TSeekOrigin::soCurrent ? FPosition
                                                               : GetSize();
  FPosition = std::max<std::int64_t>(0, base + offset);
  return FPosition;
}

std::int64_t TWindowStream::GetSize() { return FLength >= 0 ? FLength : FBase.GetSize() - FOffset; }

std::int64_t TZeroExtendedStream::Read(void* buffer, std::int64_t count) {
  count = std::max<std::int64_t>(0, std::min(count, FSize - FPosition));
  const std::int64_t baseSize = FBase.GetSize();
  std::int64_t got = 0;
  if (FPosition < baseSize) {
    FBase.SetPosition(FPosition);
    got = FBase.Read(buffer, std::min(count, baseSize - FPosition));
    if (got < 0) return got;
  }
  std::memset(static_cast<std::uint8_t*>(buffer) + got, 0, static_cast<std::size_t>(count - got));
  FPosition += count;
  return count;
}

std::int64_t TZeroExtendedStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  const std::int64_t base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? FPosition : FSize;
  FPosition = std::max<std::int64_t>(0, base + offset);
  return FPosition;
}

void CopyToFd(platform::TStream& s, int fd, const std::string& name) {
  std::vector<std::uint8_t> buffer(kCopyBuffer);
  s.SetPosition(0);
  for (std::int64_t r; (r = s.Read(buffer.data(), std::int64_t(buffer.size()))) > 0;) {
    CheckInterrupted();
    WriteAll(fd, buffer.data(), static_cast<std::size_t>(r), name);
  }
  platform::SecureZero(buffer.data(), buffer.size());  // plain text, after a decryption
}

void ReadWhole(TInput& in, platform::TSecretBytes& bytes, std::int64_t limit, const std::string& tooLarge,
               TProgress* progress) {
  const std::int64_t n = in.Size();
  if (n > limit) Fail(in.Name() + ": " + tooLarge);
  bytes.Assign(platform::TBytes(static_cast<std::size_t>(n)));
  in.Stream().SetPosition(0);
  std::int64_t got = 0;
  while (got < n) {
    const std::int64_t r = in.Stream().Read(bytes.Value.data() + got, std::min<std::int64_t>(n - got, 1 << 20));
    if (r <= 0) Fail(in.Name() + ": the input ended early");
    got += r;
    if (progress && !progress->Update(got)) throw TFailure("interrupted", kExitInterrupted);
  }
}

}  // namespace cli
