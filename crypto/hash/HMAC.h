// HMAC over any of the digests of Hash.h (RFC 2104): keys of any length, the key's pads hashed once
// when the key is set, every state wiped.
#pragma once

#include <cstdint>
#include <span>

#include "crypto/hash/Hash.h"

namespace Hash {

class THMAC {
 public:
  // A key longer than the block is replaced by its digest, as RFC 2104 asks; an empty key is allowed.
  THMAC(THashKind kind, std::span<const std::uint8_t> key) noexcept;
  ~THMAC();
  THMAC(THMAC&&) noexcept = default;
  THMAC& operator=(THMAC&&) noexcept = default;
  THMAC(const THMAC&) = delete;
  THMAC& operator=(const THMAC&) = delete;

  THashKind Kind() const noexcept { return FInner.Kind(); }
  void Update(std::span<const std::uint8_t> data) noexcept;
  // Writes the MAC to the first DigestSize bytes of mac and starts a new message under the same
  // key. kBadArgument, nothing written and the message kept, when mac is shorter than DigestSize.
  Integer Final(std::span<std::uint8_t> mac) noexcept;
  // Forgets the message and starts a new one under the same key.
  void Reset() noexcept;

 private:
  // Sets to at the state from holds after its one block of pad.
  static void Restart(THash& to, const THash& from) noexcept;

  THash FInner;       // key ^ ipad, then the message
  THash FInnerStart;  // key ^ ipad hashed: where every message starts
  THash FOuterStart;  // key ^ opad hashed
};

// The MAC of data under key in one call. kBadArgument when mac is shorter than DigestSize (nothing
// written).
Integer HMAC(THashKind kind, std::span<const std::uint8_t> key, std::span<const std::uint8_t> data,
             std::span<std::uint8_t> mac) noexcept;

}  // namespace Hash
