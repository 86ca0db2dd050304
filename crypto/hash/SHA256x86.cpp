// SHA-256 with the x86 SHA extensions.
#include "crypto/hash/HashFunctions.h"

namespace Hash::detail {

TCompress SHA256Accelerated() noexcept { return nullptr; }

}  // namespace Hash::detail
