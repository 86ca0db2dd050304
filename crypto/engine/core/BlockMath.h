// The small block operations every mode of the engine shares, each defined here once: the
// counters (GCM's 32-bit one and CTR's 128-bit one), the branch-free bit mask and the xor of two
// blocks. Internal to the engine.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Types.h"

namespace AESModes::detail {

// All ones when bit (its lowest bit) is set, else zero, without a branch on it: how a secret bit
// selects.
constexpr std::uint8_t MaskOf(unsigned bit) noexcept { return static_cast<std::uint8_t>(0u - (bit & 1u)); }

// The counter in the last 4 bytes of a block (big-endian) plus one, modulo 2^32; bytes 0..11
// are left alone. GCM's inc32.
inline void Increment32(std::uint8_t block[16]) noexcept {
  for (std::size_t i = 15; i >= 12 && ++block[i] == 0; --i) {
  }
}

// The whole block as a 128-bit big-endian number plus one, sixteen 0xFF bytes wrapping to zero.
inline void Increment128(std::uint8_t block[16]) noexcept {
  for (std::size_t i = 16; i-- > 0;)
    if (++block[i] != 0) return;
}

// Res = A xor B; A and B are read in full first, so Res may be either of them.
inline void XorBlock(const platform::TCharArray16& A, const platform::TCharArray16& B,
                     platform::TCharArray16& Res) noexcept {
  platform::TCharArray16 r;
  for (std::size_t i = 0; i < 16; ++i) r[i] = static_cast<std::uint8_t>(A[i] ^ B[i]);
  Res = r;
}

}  // namespace AESModes::detail
