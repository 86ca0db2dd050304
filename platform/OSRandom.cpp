#include "platform/OSRandom.h"
#include "platform/OSRandomFailure.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdint>

namespace platform {

namespace {
thread_local int gForcedFailure = 0;
}

int OSRandomFill(void* data, std::size_t len) noexcept {
  if (gForcedFailure != 0) return gForcedFailure;
  // The generator is asked at least once, also for no bytes, so a request of length 0 reports
  // what the generator reports (a missing or failing generator included). An empty request may
  // come without a buffer; the generator is then given a byte of ours, which it does not fill
  // (some emulators refuse a null buffer even for no bytes).
  std::uint8_t spare = 0;
  auto* p = data != nullptr ? static_cast<std::uint8_t*>(data) : &spare;
  do {
    const ssize_t n = ::getrandom(p, len, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno != 0 ? errno : EIO;
    }
    p += n;
    len -= static_cast<std::size_t>(n);
  } while (len > 0);
  return 0;
}

ScopedRandomFailure::ScopedRandomFailure(int errorNumber) : FPrevious(gForcedFailure) {
  gForcedFailure = errorNumber;
}

ScopedRandomFailure::~ScopedRandomFailure() { gForcedFailure = FPrevious; }

}  // namespace platform
