// Interposed like ReadShim.cpp: the library's file layer calls these as any program would, so a
// fault reaches exactly the code path a failing disk or a plainer file system would.
#include "SyscallShim.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>

namespace {

std::atomic<int> gArmed{-1};  // the TCall whose n-th call fails, or -1
std::atomic<int> gFailAt{0};
std::atomic<int> gCalls[3];
std::atomic<bool> gNoTmpFile{false};

template <class F>
F Real(const char* name) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

// Counts the call; true when it is the one to fail (errno is then set).
bool Failing(syscall_shim::TCall call) {
  const int kind = static_cast<int>(call);
  if (gArmed.load() != kind) return false;
  if (gCalls[kind].fetch_add(1) + 1 != gFailAt.load()) return false;
  errno = EIO;
  return true;
}

mode_t ModeArgument(int flags, va_list args) {
  return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

}  // namespace

namespace syscall_shim {

void FailNthCall(TCall call, int n) {
  for (auto& c : gCalls) c = 0;
  gFailAt = n;
  gArmed = static_cast<int>(call);
}

int Calls(TCall call) { return gCalls[static_cast<int>(call)]; }

void Disarm() { gArmed = -1; }

TNoUnnamedFiles::TNoUnnamedFiles() { gNoTmpFile = true; }
TNoUnnamedFiles::~TNoUnnamedFiles() { gNoTmpFile = false; }

}  // namespace syscall_shim

using syscall_shim::TCall;

extern "C" int fsync(int fd) {
  static const auto real = Real<int (*)(int)>("fsync");
  return Failing(TCall::Fsync) ? -1 : real(fd);
}

extern "C" int link(const char* from, const char* to) noexcept {
  static const auto real = Real<int (*)(const char*, const char*)>("link");
  return Failing(TCall::Link) ? -1 : real(from, to);
}

extern "C" int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) noexcept {
  static const auto real = Real<int (*)(int, const char*, int, const char*, int)>("linkat");
  return Failing(TCall::Link) ? -1 : real(fromDir, from, toDir, to, flags);
}

extern "C" int rename(const char* from, const char* to) noexcept {
  static const auto real = Real<int (*)(const char*, const char*)>("rename");
  return Failing(TCall::Rename) ? -1 : real(from, to);
}

extern "C" int open(const char* path, int flags, ...) {
  using TOpen = int (*)(const char*, int, ...);
  static const auto real = Real<TOpen>("open");
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeArgument(flags, args);
  va_end(args);
  if (gNoTmpFile && (flags & O_TMPFILE) == O_TMPFILE) {
    errno = EOPNOTSUPP;
    return -1;
  }
  return real(path, flags, mode);
}

// The same call under its large-file name (one and the same on 64-bit systems).
extern "C" int open64(const char* path, int flags, ...) __attribute__((alias("open")));
