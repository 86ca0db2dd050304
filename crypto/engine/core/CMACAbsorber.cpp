#include "crypto/engine/core/CMACAbsorber.h"

#include <algorithm>
#include <cstring>

#include "crypto/engine/core/BlockMath.h"

namespace AESModes::detail {

TCMACAbsorber::TCMACAbsorber(const kernel::TExpandedKey& kernel, const TCharArray16& K1,
                             const TCharArray16& K2) noexcept
    : FKernel(kernel) {
  FS->K1 = K1;
  FS->K2 = K2;
}

TCMACAbsorber::TCMACAbsorber(const TCMACAbsorber& other) noexcept : FKernel(other.FKernel), FFill(other.FFill) {
  *FS = *other.FS;
}

void TCMACAbsorber::Feed(const std::uint8_t* p, std::size_t n) noexcept {
  if (n == 0) return;
  const std::size_t top = std::min(16 - FFill, n);
  std::memcpy(FS->M.data() + FFill, p, top);
  FFill += top;
  p += top;
  n -= top;
  if (n == 0) return;
  // More bytes follow, so the pending block is not the last one.
  FKernel.CBCMAC(FS->M.data(), 1, FS->X.data());
  // Every whole block but the one that holds the last byte goes straight from the input.
  const std::size_t blocks = (n - 1) / 16;
  FKernel.CBCMAC(p, blocks, FS->X.data());
  p += 16 * blocks;
  n -= 16 * blocks;
  std::memcpy(FS->M.data(), p, n);
  FFill = n;
}

void TCMACAbsorber::Finish(TCharArray16& T) noexcept {
  TState& s = *FS;
  const TCharArray16* K = &s.K1;
  if (FFill < 16) {
    // A partial block (or the empty message): 0x80, zeros up to the block's end, and K2.
    s.M[FFill] = 0x80;
    std::fill(s.M.begin() + static_cast<std::ptrdiff_t>(FFill) + 1, s.M.end(), 0);
    K = &s.K2;
  }
  for (std::size_t i = 0; i < 16; ++i) s.M[i] ^= (*K)[i];
  FKernel.CBCMAC(s.M.data(), 1, s.X.data());
  T = s.X;
  FS.Clear();
  FFill = 0;
}

void DoubleBlock(const TCharArray16& X, TCharArray16& Res) noexcept {
  const std::uint8_t carry = MaskOf(static_cast<unsigned>(X[0] >> 7));
  for (std::size_t i = 0; i < 15; ++i) Res[i] = static_cast<std::uint8_t>((X[i] << 1) | (X[i + 1] >> 7));
  Res[15] = static_cast<std::uint8_t>((X[15] << 1) ^ (0x87 & carry));
}

void CMACSubkeys(const TCharArray16& L, TCharArray16& K1, TCharArray16& K2) noexcept {
  DoubleBlock(L, K1);
  DoubleBlock(K1, K2);
}

void CMACSubkeysOf(const kernel::TExpandedKey& key, TCharArray16& K1, TCharArray16& K2) noexcept {
  platform::TWiped<TCharArray16> L;
  key.EncryptBlock(L->data(), L->data());
  CMACSubkeys(*L, K1, K2);
}

}  // namespace AESModes::detail
