// EAX (Bellare, Rogaway and Wagner) on the keyed kernel: three CMACs, each of a message behind a
// block naming its role (0 the nonce, 1 the header, 2 the cipher text), and counter mode from the
// nonce's CMAC. The CMACs run through the engine's CMAC absorber, the counter blocks through the
// kernel's bulk ECB. Internal to the engine; the caller checks the arguments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "crypto/engine/kernel/AESKernel.h"
#include "platform/Types.h"

namespace AESModes::detail {

using platform::TCharArray16;

// What EAX needs of a key: the expanded key and the CMAC subkeys.
struct TEAXKey {
  const kernel::TExpandedKey& AES;
  const TCharArray16& K1;
  const TCharArray16& K2;
};

// The message's first steps: N = CMAC(0 || nonce), the counter start, and H = CMAC(1 || header).
void EAXBegin(const TEAXKey& k, std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> aad,
              TCharArray16& N, TCharArray16& H) noexcept;
// The full tag block N xor H xor CMAC(2 || cipher).
void EAXTag(const TEAXKey& k, const TCharArray16& N, const TCharArray16& H, const std::uint8_t* cipher, std::size_t n,
            TCharArray16& T) noexcept;
// Counter mode from N over n bytes (out may be in).
void EAXCrypt(const TEAXKey& k, const TCharArray16& N, const std::uint8_t* in, std::uint8_t* out, std::size_t n) noexcept;

}  // namespace AESModes::detail
