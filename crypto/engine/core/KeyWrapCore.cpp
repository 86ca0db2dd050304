#include "crypto/engine/core/KeyWrapCore.h"

#include <cstring>

#include "platform/Memory.h"
#include "platform/Types.h"

namespace AESModes::detail {

namespace {

// A ^= t, t a 64-bit big-endian step number.
void XorStep(std::uint8_t* A, std::uint64_t t) noexcept {
  for (int i = 7; i >= 0; --i, t >>= 8) A[i] ^= static_cast<std::uint8_t>(t);
}

}  // namespace

void WrapHalves(const kernel::TExpandedKey& aes, std::uint8_t* buf, std::size_t n) noexcept {
  if (n == 1) return aes.EncryptBlock(buf, buf);
  if (aes.Wrap(buf, n)) return;
  // B = E(A || R[i]); A = MSB(B) xor t; R[i] = LSB(B), for t = 1 .. 6n.
  platform::TWiped<platform::TCharArray16> B;
  std::memcpy(B->data(), buf, 8);
  std::uint64_t t = 1;
  for (int j = 0; j < 6; ++j)
    for (std::size_t i = 1; i <= n; ++i, ++t) {
      std::memcpy(B->data() + 8, buf + 8 * i, 8);
      aes.EncryptBlock(B->data(), B->data());
      XorStep(B->data(), t);
      std::memcpy(buf + 8 * i, B->data() + 8, 8);
    }
  std::memcpy(buf, B->data(), 8);
}

void UnwrapHalves(const kernel::TExpandedKey& aes, std::uint8_t* buf, std::size_t n) noexcept {
  if (n == 1) return aes.DecryptECB(buf, buf, 1);
  if (aes.Unwrap(buf, n)) return;
  // B = D((A xor t) || R[i]); A = MSB(B); R[i] = LSB(B), for t = 6n .. 1.
  platform::TWiped<platform::TCharArray16> B;
  std::memcpy(B->data(), buf, 8);
  std::uint64_t t = 6 * static_cast<std::uint64_t>(n);
  for (int j = 5; j >= 0; --j)
    for (std::size_t i = n; i >= 1; --i, --t) {
      XorStep(B->data(), t);
      std::memcpy(B->data() + 8, buf + 8 * i, 8);
      aes.DecryptECB(B->data(), B->data(), 1);
      std::memcpy(buf + 8 * i, B->data() + 8, 8);
    }
  std::memcpy(buf, B->data(), 8);
}

}  // namespace AESModes::detail
