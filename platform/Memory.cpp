#include "platform/Memory.h"

#include <string.h>

namespace platform {

void SecureZero(void* data, std::size_t len) noexcept {
  if (len > 0) ::explicit_bzero(data, len);
}

bool ConstantTimeEqual(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) noexcept {
  if (a.size() != b.size()) return false;
  volatile std::uint8_t diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i) diff = diff | static_cast<std::uint8_t>(a[i] ^ b[i]);
  return diff == 0;
}

}  // namespace platform
