// OCB3 (RFC 7253) on the keyed kernel. The offsets are a running xor of the key's L table: the
// kernel's own loop makes them in its registers; on a kernel without one, a piece of them is
// written to a buffer first, then the piece is whitened, enciphered in one bulk ECB call (every
// block in parallel) and whitened again. The L index of block i is the number of trailing zero
// bits of i: public, as every other branch and index here. Internal to the engine; the caller
// checks the arguments.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "crypto/engine/kernel/AESKernel.h"
#include "platform/Types.h"

namespace AESModes::detail {

using platform::TCharArray16;

inline constexpr std::size_t kOCBMaxNonceBytes = 15;

// What OCB derives from a key once: L_* = E(0), L_$ = double(L_*), L_i = double^(i+1)(L_$) for
// every block index a message can reach. Held wiped by the key object.
struct TOCBTable {
  static constexpr std::size_t kLevels = 64;
  TCharArray16 Star, Dollar;
  std::array<TCharArray16, kLevels> L;
};

// Fills the table from L_* = E(0).
void OCBTableFrom(const TCharArray16& LStar, TOCBTable& t) noexcept;

// Encrypts (or decrypts) n bytes from in to out (out may be in) under nonce (1 to 15 bytes) and
// the additional data, and gives the full tag block T, whose first tagBytes bytes (1 to 16; the
// length is part of the nonce block) are the tag. Decryption needs the inverse schedule.
void OCBCrypt(bool encrypt, const kernel::TExpandedKey& aes, const TOCBTable& t, std::span<const std::uint8_t> nonce,
              std::span<const std::uint8_t> aad, const std::uint8_t* in, std::uint8_t* out, std::size_t n,
              std::size_t tagBytes, TCharArray16& T) noexcept;

}  // namespace AESModes::detail
