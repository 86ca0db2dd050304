#include "platform/Memory.h"

#include <string.h>

namespace platform {

void SecureZero(void* data, std::size_t len) noexcept {
  if (len > 0) ::explicit_bzero(data, len);
}

}  // namespace platform
