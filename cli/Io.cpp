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

// Copies standard input into a new file at path, stopping at Ctrl-C.
void Spool(const std::string& path) {
  const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) Fail(path + ": " + std::strerror(errno));
  std::vector<std::uint8_t> buffer(kCopyBuffer);
  try {
    for (;;) {
      CheckInterrupted();
      const ssize_t r = ::read(STDIN_FILENO, buffer.data(), buffer.size());
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) Fail(std::string("standard input: ") + std::strerror(errno));
      if (r == 0) break;
      WriteAll(fd, buffer.data(), static_cast<std::size_t>(r), "temporary copy of standard input");
    }
  } catch (...) {
    ::close(fd);
    throw;
  }
  if (::close(fd) != 0) Fail("temporary copy of standard input: " + std::string(std::strerror(errno)));
}

bool StdinIsRegularFile() {
  struct stat st {};
  return ::fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool IsStdio(const std::string& path) { return path.empty() || path == "-"; }

TPrivateDir::~TPrivateDir() {
  for (const std::string& f : FFiles) ::unlink(f.c_str());
  if (!FPath.empty()) ::rmdir(FPath.c_str());
}

std::string TPrivateDir::NewPath(const std::string& name) {
  if (FPath.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/orvoaes-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) Fail("temporary folder " + pattern + ": " + std::strerror(errno));
    FPath = pattern;
  }
  FFiles.push_back(FPath + "/" + name + std::to_string(FFiles.size()));
  return FFiles.back();
}

TInput::TInput(const std::string& path, TPrivateDir& temp) {
  if (IsStdio(path)) {
    FName = "standard input";
    if (StdinIsRegularFile()) {
      FPath = "/dev/stdin";
    } else {
      FPath = temp.NewPath("input");
      Spool(FPath);
    }
  } else {
    FName = FPath = path;
  }
  FStream = std::make_unique<platform::TFileStream>(Native(FPath), platform::TFileMode::fmOpenRead);
}

void CheckNewOutput(const std::string& path, bool force) {
  struct stat st {};
  if (!force && ::lstat(path.c_str(), &st) == 0) Fail(path + ": the file exists (use --force to replace it)");
}

TOutput::TOutput(const std::string& path, bool force) {
  FName = IsStdio(path) ? "standard output" : path;
  if (IsStdio(path)) {
    FStream = std::make_unique<TSequentialStream>(STDOUT_FILENO, FName);
    return;
  }
  if (IsStreamTarget(path)) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) Fail(path + ": " + std::strerror(errno));
    FStream = std::make_unique<TSequentialStream>(fd, FName);
    return;
  }
  CheckNewOutput(path, force);
  FReplacing = std::make_unique<platform::TReplacingFile>(Native(path));
  FStream = std::make_unique<platform::THandleStream>(FReplacing->Handle(), Native(path));
}

TOutput::~TOutput() { FStream.reset(); }

void TOutput::Commit() {
  CheckInterrupted();
  if (FReplacing && !FReplacing->Commit()) Fail(FName + ": the file could not be written to the disk");
}

TPathOutput::TPathOutput(const std::string& path, bool force, TPrivateDir& temp) {
  FToStdout = IsStdio(path);
  FName = FToStdout ? "standard output" : path;
  FPath = FToStdout ? temp.NewPath("output") : path;
  if (!FToStdout) CheckNewOutput(path, force);
  const int fd = ::open(FPath.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, FToStdout ? 0600 : 0666);
  if (fd >= 0) {
    FCreated = !FToStdout;
    ::close(fd);
  } else if (errno != EEXIST) {
    Fail(FName + ": " + std::strerror(errno));
  }
}

TPathOutput::~TPathOutput() {
  if (FCreated && !FFinished) ::unlink(FPath.c_str());
}

void TPathOutput::Finish() {
  CheckInterrupted();
  if (FToStdout) {
    platform::TFileStream s(Native(FPath), platform::TFileMode::fmOpenRead);
    CopyToStdout(s);
  }
  FFinished = true;
}

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

void CopyToStdout(platform::TStream& s) {
  std::vector<std::uint8_t> buffer(kCopyBuffer);
  s.SetPosition(0);
  for (std::int64_t r; (r = s.Read(buffer.data(), std::int64_t(buffer.size()))) > 0;)
    WriteAll(STDOUT_FILENO, buffer.data(), static_cast<std::size_t>(r), "standard output");
}

}  // namespace cli
