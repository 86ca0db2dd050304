// What the keyed API's source files share: the state a TAESKey keeps and the span checks every
// operation makes. Internal to the engine.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>

#include "crypto/engine/AESKeyed.h"
#include "crypto/engine/core/AESModesGCMCore.h"
#include "crypto/engine/core/CMACAbsorber.h"
#include "crypto/engine/kernel/AESKernel.h"
#include "platform/Memory.h"

namespace AESKeyed {

// Everything the key object keeps: the expanded key for the block modes and CMAC (both schedules:
// ECB and CBC decryption need the inverse one), the GCM key (its own expansion, the hash key and its
// powers), and the CMAC subkeys. Each member wipes itself.
struct TAESKey::TState {
  AESModes::kernel::TKeyedKernel AES;
  AESModes::detail::TGCMKey GCM;
  platform::TWiped<std::array<TCharArray16, 2>> K;  // CMAC's K1, K2
};

namespace keyed {

using TIn = std::span<const std::uint8_t>;
using TOut = std::span<std::uint8_t>;

// True when out is too short for in, or the two overlap without being the same memory (the
// kernels work in place or between separate buffers, never on shifted copies).
inline bool BadOutput(TIn in, TOut out) noexcept {
  if (out.size() < in.size()) return true;
  if (in.empty() || in.data() == out.data()) return false;
  const std::less<const std::uint8_t*> before;
  return before(in.data(), out.data() + in.size()) && before(out.data(), in.data() + in.size());
}

// CMAC's subkeys K1 and K2 of an expanded key, from L = E(0).
inline void CMACSubkeysOf(const AESModes::kernel::TKeyedKernel& aes, TCharArray16& K1, TCharArray16& K2) noexcept {
  platform::TWiped<TCharArray16> L;
  aes.EncryptBlock(L->data(), L->data());
  AESModes::detail::CMACSubkeys(*L, K1, K2);
}

// True when a and b share at least one byte.
inline bool Overlap(TIn a, TIn b) noexcept {
  if (a.empty() || b.empty()) return false;
  const std::less<const std::uint8_t*> before;
  return before(a.data(), b.data() + b.size()) && before(b.data(), a.data() + a.size());
}

}  // namespace keyed
}  // namespace AESKeyed
