// CCM (counter mode with CBC-MAC, as RFC 3610 and NIST's CCM recommendation define it) on the keyed
// kernel: the CBC-MAC over the formatted blocks runs on the kernel's serial chain, the counter half
// on its parallel counter mode, chunk by chunk so the data is read from cache the second time.
// Internal to the engine; the caller checks the arguments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "crypto/engine/kernel/AESKernel.h"
#include "platform/Types.h"

namespace AESModes::detail {

using platform::TCharArray16;

inline constexpr std::size_t kCCMMinNonceBytes = 7, kCCMMaxNonceBytes = 13;

// Whether n bytes of data can be counted in the 15 - nonceBytes bytes CCM leaves for the length.
bool CCMLengthFits(std::size_t nonceBytes, std::uint64_t n) noexcept;

// Encrypts (or decrypts) the n bytes at in into out (out may be in) under nonce (7 to 13 bytes)
// and the additional data, and gives the full tag block T, whose first tagBytes bytes (4 to 16,
// even; the length is part of the first block) are the tag.
void CCMCrypt(bool encrypt, const kernel::TExpandedKey& aes, std::span<const std::uint8_t> nonce,
              std::span<const std::uint8_t> aad, const std::uint8_t* in, std::uint8_t* out, std::size_t n,
              std::size_t tagBytes, TCharArray16& T) noexcept;

}  // namespace AESModes::detail
