// XTS (IEEE 1619, NIST's XTS recommendation) on two keyed kernels: the tweak key enciphers the
// data unit's tweak once; the data key's kernel runs the whole blocks in its own loop, the tweak's
// multiples by x (little-endian, as XTS counts) made in its registers, or, on a kernel without one,
// the multiples are written to a buffer a piece at a time and the piece is whitened, enciphered in
// one bulk ECB call (every block in parallel) and whitened again. A last partial block is handled
// by cipher-text stealing. Internal to the engine; the caller checks the arguments.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/engine/kernel/AESKernel.h"

namespace AESModes::detail {

// The longest data unit: 2^20 blocks.
inline constexpr std::size_t kXTSMaxUnitBytes = std::size_t{16} << 20;

// Encrypts (or decrypts) one data unit of n bytes (16 <= n) from in to out (out may be in) under
// the 16-byte tweak. Decryption needs the data key's inverse schedule.
void XTSCrypt(bool encrypt, const kernel::TExpandedKey& data, const kernel::TExpandedKey& tweakKey,
              const std::uint8_t tweak[16], const std::uint8_t* in, std::uint8_t* out, std::size_t n) noexcept;

}  // namespace AESModes::detail
