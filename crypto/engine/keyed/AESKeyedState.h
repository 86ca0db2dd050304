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
#include "crypto/engine/core/OCBCore.h"
#include "crypto/engine/kernel/AESKernel.h"
#include "platform/Memory.h"

namespace AESKeyed {

// Everything the key object keeps: one expanded key (both schedules: ECB, CBC, OCB decryption
// and key unwrapping need the inverse one) inside the GCM key, which adds the hash key and its
// powers; AES names that schedule for the block modes, CMAC and the further modes. Then the
// CMAC subkeys and OCB's table. Each member wipes itself.
struct TAESKey::TState {
  AESModes::detail::TScrubbedGCM GCM;
  const AESModes::kernel::TExpandedKey& AES = GCM.AES();
  platform::TWiped<std::array<TCharArray16, 2>> K;  // CMAC's K1, K2
  platform::TWiped<AESModes::detail::TOCBTable> OCB;
};

namespace keyed {

using TIn = std::span<const std::uint8_t>;
using TOut = std::span<std::uint8_t>;

// The shortest tag any authenticated mode of the keyed API gives or takes.
inline constexpr std::size_t kMinTagBytes = 4;

// True when out is too short for in, or the two overlap without being the same memory (the
// kernels work in place or between separate buffers, never on shifted copies).
inline bool BadOutput(TIn in, TOut out) noexcept {
  if (out.size() < in.size()) return true;
  if (in.empty() || in.data() == out.data()) return false;
  const std::less<const std::uint8_t*> before;
  return before(in.data(), out.data() + in.size()) && before(out.data(), in.data() + in.size());
}

// True when a and b share at least one byte.
inline bool Overlap(TIn a, TIn b) noexcept {
  if (a.empty() || b.empty()) return false;
  const std::less<const std::uint8_t*> before;
  return before(a.data(), b.data() + b.size()) && before(b.data(), a.data() + a.size());
}

// A tag of tagBytes for a mode that takes 4 to 16 bytes: kTagTooLong above 16, kBadArgument below 4.
inline Integer CheckTagBytes(std::size_t tagBytes) noexcept {
  if (tagBytes > 16) return error::kTagTooLong;
  return tagBytes < kMinTagBytes ? error::kBadArgument : 0;
}

}  // namespace keyed
}  // namespace AESKeyed
