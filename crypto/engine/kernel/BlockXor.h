// XOR over runs of bytes and 16-byte blocks, written so the compiler turns the loops into vector
// code (the whitening of OCB and XTS where a kernel does not do it in its own registers), and a
// wiped work area for such blocks. Internal to the engine; not included by the kernel files.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/Memory.h"

namespace AESModes::detail {

// out[i] = a[i] xor b[i] for n bytes; out may be a or b.
inline void XorBytes(std::uint8_t* out, const std::uint8_t* a, const std::uint8_t* b, std::size_t n) noexcept {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    x ^= y;
    std::memcpy(out + i, &x, 8);
  }
  for (; i < n; ++i) out[i] = static_cast<std::uint8_t>(a[i] ^ b[i]);
}

// sum ^= every one of the blocks 16-byte blocks at p.
inline void XorSumBlocks(std::uint8_t sum[16], const std::uint8_t* p, std::size_t blocks) noexcept {
  std::uint64_t s0, s1;
  std::memcpy(&s0, sum, 8);
  std::memcpy(&s1, sum + 8, 8);
  for (std::size_t i = 0; i < blocks; ++i, p += 16) {
    std::uint64_t x0, x1;
    std::memcpy(&x0, p, 8);
    std::memcpy(&x1, p + 8, 8);
    s0 ^= x0;
    s1 ^= x1;
  }
  std::memcpy(sum, &s0, 8);
  std::memcpy(sum + 8, &s1, 8);
}

// A work area of N bytes on the stack for key-derived blocks (offsets, tweaks, whitened data):
// left uninitialised, since every byte is written before it is read, and on the way out only the
// bytes a caller asked for are zeroed, so a short message does not pay for the whole area twice.
template <std::size_t N>
class TScratchBlocks {
 public:
  TScratchBlocks() = default;
  TScratchBlocks(const TScratchBlocks&) = delete;
  TScratchBlocks& operator=(const TScratchBlocks&) = delete;
  ~TScratchBlocks() { platform::SecureZero(FBytes, FUsed); }
  // The area, of which the first n bytes (n <= N) will be used.
  std::uint8_t* Use(std::size_t n) noexcept {
    FUsed = std::max(FUsed, n);
    return FBytes;
  }

 private:
  alignas(64) std::uint8_t FBytes[N];
  std::size_t FUsed = 0;
};

}  // namespace AESModes::detail
