#include "crypto/hash/HMAC.h"

#include <algorithm>
#include <cstring>

#include "crypto/hash/HashFunctions.h"
#include "crypto/support/error.h"
#include "platform/Memory.h"

namespace Hash {

THMAC::THMAC(THashKind kind, std::span<const std::uint8_t> key) noexcept
    : FInner(kind), FInnerStart(kind), FOuterStart(kind) {
  const std::size_t block = BlockSize(kind);
  platform::TWiped<std::array<std::uint8_t, kMaxBlockSize>> pad;
  if (key.size() > block) {
    THash shortened(kind);
    shortened.Update(key);
    shortened.Final(*pad);
  } else if (!key.empty()) {
    std::memcpy(pad->data(), key.data(), key.size());
  }
  for (std::size_t i = 0; i < block; ++i) (*pad)[i] ^= 0x36;
  FInnerStart.Update(std::span(pad->data(), block));
  for (std::size_t i = 0; i < block; ++i) (*pad)[i] ^= 0x36 ^ 0x5c;
  FOuterStart.Update(std::span(pad->data(), block));
  Reset();
}

THMAC::~THMAC() { platform::ScrubStack(); }

void THMAC::Restart(THash& to, const THash& from) noexcept {
  to.FChain = from.FChain;
  to.FLength = from.FLength;
  to.FBuffered = 0;  // the start states hold one whole block and nothing buffered
}

void THMAC::Reset() noexcept {
  FInner.Reset();
  Restart(FInner, FInnerStart);
}

void THMAC::Update(std::span<const std::uint8_t> data) noexcept { FInner.Update(data); }

Integer THMAC::Final(std::span<std::uint8_t> mac) noexcept {
  const std::size_t size = DigestSize(Kind());
  if (mac.size() < size) return error::kBadArgument;
  platform::TWiped<std::array<std::uint8_t, kMaxDigestSize>> inner;
  FInner.Final(*inner);
  THash outer(Kind());
  Restart(outer, FOuterStart);
  outer.Update(std::span(inner->data(), size));
  outer.Final(mac);
  Reset();
  return error::kOK;
}

Integer HMAC(THashKind kind, std::span<const std::uint8_t> key, std::span<const std::uint8_t> data,
             std::span<std::uint8_t> mac) noexcept {
  if (mac.size() < DigestSize(kind)) return error::kBadArgument;
  THMAC hmac(kind, key);
  hmac.Update(data);
  return hmac.Final(mac);
}

}  // namespace Hash
