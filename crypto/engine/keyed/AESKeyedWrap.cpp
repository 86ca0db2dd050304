// TAESKey's key wrap (RFC 3394) and key wrap with padding (RFC 5649): the length checks, the
// engine's wrapping function on the key's kernel, and the integrity check of unwrapping, done in
// a scratch buffer so that a failed check writes nothing.
#include <algorithm>
#include <cstring>

#include "crypto/engine/AESKeyed.h"
#include "crypto/engine/keyed/AESKeyedState.h"
#include "platform/Memory.h"
#include "crypto/engine/core/KeyWrapCore.h"

namespace AESKeyed {

namespace detail = AESModes::detail;
using error::kBadArgument;
using keyed::TIn;
using keyed::TOut;

namespace {

// Room for the unwrapping of a wrapped key: on the stack for the usual key sizes, on the heap
// (wiped) beyond them.
class TScratch {
 public:
  explicit TScratch(std::size_t n) {
    if (n > kSmall) FBig.Value.resize(n);
  }
  std::uint8_t* data() noexcept { return FBig.Value.empty() ? FSmall->data() : FBig.Value.data(); }

 private:
  static constexpr std::size_t kSmall = 256;
  platform::TWiped<std::array<std::uint8_t, kSmall>> FSmall;
  platform::TSecretBytes FBig;
};

// 0 when a and b are equal over n bytes, all bits of the result set otherwise; no early exit.
std::uint32_t Differs(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) noexcept {
  std::uint32_t d = 0;
  for (std::size_t i = 0; i < n; ++i) d |= static_cast<std::uint32_t>(a[i] ^ b[i]);
  return 0u - ((d + 0xFFu) >> 8);
}

// The wrapped input of an unwrap: kBadArgument unless there is a key, wrapped is whole halves
// of at least minBytes, out holds wrapped.size() - 8 bytes and the two do not overlap.
Integer CheckUnwrap(const TAESKey::TState* k, TIn wrapped, TOut out, std::size_t minBytes) noexcept {
  if (k == nullptr || wrapped.size() % 8 != 0 || wrapped.size() < minBytes) return kBadArgument;
  return out.size() < wrapped.size() - 8 || keyed::Overlap(wrapped, out) ? kBadArgument : 0;
}

}  // namespace

Integer TAESKey::WrapKey(std::span<const std::uint8_t> key, std::span<std::uint8_t> out) const {
  const platform::TRegisterWipe clear;
  if (!FState || key.size() % 8 != 0 || key.size() < 16) return kBadArgument;
  if (out.size() < key.size() + 8 || keyed::Overlap(key, out)) return kBadArgument;
  std::memcpy(out.data(), detail::kKWIV, 8);
  std::memcpy(out.data() + 8, key.data(), key.size());
  detail::WrapHalves(FState->AES, out.data(), key.size() / 8);
  return 0;
}

Integer TAESKey::UnwrapKey(std::span<const std::uint8_t> wrapped, std::span<std::uint8_t> out) const {
  const platform::TRegisterWipe clear;
  if (const Integer st = CheckUnwrap(FState.get(), wrapped, out, 24)) return st;
  TScratch buf(wrapped.size());
  std::memcpy(buf.data(), wrapped.data(), wrapped.size());
  detail::UnwrapHalves(FState->Decrypting(), buf.data(), wrapped.size() / 8 - 1);
  if (Differs(buf.data(), detail::kKWIV, 8) != 0) return error::kUnwrapFailed;
  std::memcpy(out.data(), buf.data() + 8, wrapped.size() - 8);
  return 0;
}

Integer TAESKey::WrapKeyPadded(std::span<const std::uint8_t> key, std::span<std::uint8_t> out) const {
  const platform::TRegisterWipe clear;
  if (!FState || key.empty() || key.size() > 0xFFFFFFFFu) return kBadArgument;
  const std::size_t padded = (key.size() + 7) / 8 * 8;
  if (out.size() < padded + 8 || keyed::Overlap(key, out)) return kBadArgument;
  // A = A6 59 59 A6 and the key's length (32 bits, big-endian); the key, then zeros.
  std::memcpy(out.data(), detail::kKWPIV, 4);
  for (int i = 0; i < 4; ++i) out[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(key.size() >> (24 - 8 * i));
  std::memcpy(out.data() + 8, key.data(), key.size());
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(8 + key.size()), out.begin() + static_cast<std::ptrdiff_t>(8 + padded), 0);
  detail::WrapHalves(FState->AES, out.data(), padded / 8);
  return 0;
}

// The checks on A and the padding run over every byte whatever the outcome; only their joint
// result decides.
Integer TAESKey::UnwrapKeyPadded(std::span<const std::uint8_t> wrapped, std::span<std::uint8_t> out,
                                 std::size_t& keyBytes) const {
  const platform::TRegisterWipe clear;
  if (const Integer st = CheckUnwrap(FState.get(), wrapped, out, 16)) return st;
  const std::size_t padded = wrapped.size() - 8;
  TScratch buf(wrapped.size());
  std::memcpy(buf.data(), wrapped.data(), wrapped.size());
  detail::UnwrapHalves(FState->Decrypting(), buf.data(), padded / 8);
  const std::uint8_t* b = buf.data();
  const std::uint64_t length = std::uint64_t{b[4]} << 24 | std::uint64_t{b[5]} << 16 | std::uint64_t{b[6]} << 8 | b[7];
  // The length must be in (padded - 8, padded]; each of the last 8 bytes at or past it must be 0.
  std::uint64_t bad = Differs(b, detail::kKWPIV, 4);
  bad |= (padded - length) >> 63;        // length > padded
  bad |= (length + 7 - padded) >> 63;    // length <= padded - 8 (0 included)
  std::uint32_t padding = 0;
  for (std::size_t i = padded - 8; i < padded; ++i) {
    const std::uint64_t beyond = 0 - ((length - 1 - i) >> 63);  // all ones when i >= length
    padding |= static_cast<std::uint32_t>(b[8 + i] & beyond);
  }
  bad |= padding;
  if (bad != 0) return error::kUnwrapFailed;
  keyBytes = static_cast<std::size_t>(length);
  std::memcpy(out.data(), b + 8, keyBytes);
  return 0;
}

}  // namespace AESKeyed
