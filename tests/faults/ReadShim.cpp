// read(2) interposed for this executable only: the library's file layer calls it like any other
// program would, so the fault reaches exactly the code path a failing disk would.
#include "ReadShim.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <utility>

namespace {

std::atomic<bool> gArmed{false};
dev_t gDevice = 0;
ino_t gInode = 0;
std::int64_t gBudget = 0;
std::function<void()> gBeforeFirstRead;

using TRead = ssize_t (*)(int, void*, size_t);

TRead RealRead() {
  static const auto real = reinterpret_cast<TRead>(::dlsym(RTLD_NEXT, "read"));
  return real;
}

bool IsTarget(int fd) {
  struct stat st{};
  return ::fstat(fd, &st) == 0 && st.st_dev == gDevice && st.st_ino == gInode;
}

}  // namespace

namespace read_shim {

void ArmReadFailure(const std::filesystem::path& file, std::int64_t budget, std::function<void()> beforeFirstRead) {
  struct stat st{};
  if (::stat(file.c_str(), &st) != 0) return;
  gDevice = st.st_dev;
  gInode = st.st_ino;
  gBudget = budget;
  gBeforeFirstRead = std::move(beforeFirstRead);
  gArmed = true;
}

void Disarm() { gArmed = false; }

}  // namespace read_shim

extern "C" ssize_t read(int fd, void* buffer, size_t count) {
  if (!gArmed || !IsTarget(fd)) return RealRead()(fd, buffer, count);
  if (gBeforeFirstRead) std::exchange(gBeforeFirstRead, {})();
  if (gBudget <= 0) {
    errno = EIO;
    return -1;
  }
  const ssize_t n = RealRead()(fd, buffer, std::min<size_t>(count, static_cast<size_t>(gBudget)));
  if (n > 0) gBudget -= n;
  return n;
}
