#include "platform/Memory.h"

#include <string.h>

namespace platform {

void SecureZero(void* data, std::size_t len) noexcept {
  if (len > 0) ::explicit_bzero(data, len);
}

// Not inlined, so its frame, and the array in it, lies below the caller's frame; not
// instrumented by AddressSanitizer, whose redzones would leave a gap between the two. The top
// `bytes` of the array are those next to the caller's frame.
[[gnu::noinline, gnu::no_sanitize_address]] void ScrubStack(std::size_t bytes) noexcept {
  std::uint8_t area[kStackScrubBytes];
  if (bytes > sizeof area) bytes = sizeof area;
  SecureZero(area + sizeof area - bytes, bytes);
  // The array is "used" after the zeroing, so neither the array nor the stores can be dropped.
  __asm__ __volatile__("" : : "r"(area) : "memory");
  ZeroVectorRegisters();
}

// Not inlined: derive's frames lie below this one, inside the stack ScrubStack zeroes.
[[gnu::noinline]] void RunScrubbed(void (*derive)(void* context), void* context) noexcept {
  derive(context);
  ScrubStack();
}

bool ConstantTimeEqual(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) noexcept {
  if (a.size() != b.size()) return false;
  volatile std::uint8_t diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i) diff = diff | static_cast<std::uint8_t>(a[i] ^ b[i]);
  return diff == 0;
}

}  // namespace platform
