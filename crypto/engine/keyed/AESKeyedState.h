// What the keyed API's source files share: the state a TAESKey keeps and the span checks every
// operation makes. Internal to the engine.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <new>
#include <span>

#include "crypto/engine/AESKeyed.h"
#include "crypto/engine/core/AESModesGCMCore.h"
#include "crypto/engine/core/CMACAbsorber.h"
#include "crypto/engine/core/OCBCore.h"
#include "crypto/engine/kernel/AESKernel.h"
#include "platform/Memory.h"

namespace AESKeyed {

// Everything the key object keeps: one expanded key inside the GCM key, which adds the hash key
// and its powers (made by the key's first call that hashes); AES names that schedule for the block
// modes, CMAC and the further modes. What other modes derive from the key is made by each one's
// first call, so a key used for a block mode pays for none of it: the inverse schedule (ECB and
// CBC decryption, OCB opening, key unwrapping), the CMAC subkeys (CMAC, EAX) and OCB's table (66
// doublings). Const calls may race to a part: one makes it under FMaking, in a frame whose stack is
// scrubbed after, then sets its bit in FMade; every later call finds the bit with one acquire load.
// What the old key made is wiped when the key is set again, and all of it when the state goes away.
struct TAESKey::TState {
  TState() = default;
  TState(const TState&) = delete;
  TState& operator=(const TState&) = delete;
  // What a part never made still holds whatever the memory held before (the state is not cleared
  // when it is made), so the memory is wiped whole when it goes back, not part by part.
  static void operator delete(void* p, std::size_t bytes, std::align_val_t alignment) noexcept;

  // Wipes what the last key made, then expands key (Nk already checked).
  Integer SetKey(std::span<const std::uint8_t> key, platform::Cardinal Nk) noexcept;

  // AES with its inverse schedule.
  const AESModes::kernel::TExpandedKey& Decrypting() const noexcept {
    if (!Made(kInverse)) [[unlikely]] Make(kInverse);
    return AES;
  }
  // CMAC's K1 and K2.
  const std::array<TCharArray16, 2>& CMACKeys() const noexcept {
    if (!Made(kCMAC)) [[unlikely]] Make(kCMAC);
    return FCMAC;
  }
  const AESModes::detail::TOCBTable& OCB() const noexcept {
    if (!Made(kOCB)) [[unlikely]] Make(kOCB);
    return FOCB;
  }

  // Mutable for the inverse schedule, which a const call adds under FMaking.
  mutable AESModes::detail::TScrubbedGCM GCM;
  const AESModes::kernel::TExpandedKey& AES = GCM.AES();

 private:
  static constexpr std::uint8_t kInverse = 1, kCMAC = 2, kOCB = 4;

  bool Made(std::uint8_t part) const noexcept { return (FMade.load(std::memory_order_acquire) & part) != 0; }
  void Make(std::uint8_t part) const noexcept;
  void Derive(std::uint8_t part) const noexcept;
  void WipeDerived() noexcept;

  mutable std::atomic<std::uint8_t> FMade{0};  // the parts made from the current key
  mutable std::mutex FMaking;
  // Key material only where FMade says so (not zeroed before: a fresh key pays for no clearing).
  mutable std::array<TCharArray16, 2> FCMAC;
  mutable AESModes::detail::TOCBTable FOCB;
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
