// Portable GHASH in constant time: no branch and no memory index depends on H or the data.
// Carry-less products come from ordinary 64 x 64 -> 128-bit multiplications of operands with
// "holes": each operand is split into five parts that keep every fifth bit, so a column of a
// product sums at most 13 one-bit terms and its carries never reach the next kept column.
#include <cstring>

#include "crypto/engine/kernel/AESKernelOps.h"
#include "crypto/engine/kernel/GHASHReduce.h"
#include "platform/Memory.h"

namespace AESModes::kernel {

namespace {

using U64 = std::uint64_t;
using U128 = unsigned __int128;

constexpr U64 Every5th64(int r) {
  U64 m = 0;
  for (int i = r; i < 64; i += 5) m |= U64{1} << i;
  return m;
}

constexpr U128 Every5th128(int r) {
  U128 m = 0;
  for (int i = r; i < 128; i += 5) m |= U128{1} << i;
  return m;
}

constexpr U64 kHole64[5] = {Every5th64(0), Every5th64(1), Every5th64(2), Every5th64(3), Every5th64(4)};
constexpr U128 kHole128[5] = {Every5th128(0), Every5th128(1), Every5th128(2), Every5th128(3), Every5th128(4)};

// The 127-bit carry-less product of x and y.
U128 ClMul64(U64 x, U64 y) noexcept {
  U64 xs[5], ys[5];
  for (int i = 0; i < 5; ++i) {
    xs[i] = x & kHole64[i];
    ys[i] = y & kHole64[i];
  }
  U128 z = 0;
  for (int k = 0; k < 5; ++k) {
    U128 column = 0;
    for (int i = 0; i < 5; ++i) column ^= static_cast<U128>(xs[i]) * ys[(k - i + 5) % 5];
    z |= column & kHole128[k];
  }
  return z;
}

U64 ReverseBits(U64 v) noexcept {
  v = ((v >> 1) & 0x5555555555555555ULL) | ((v & 0x5555555555555555ULL) << 1);
  v = ((v >> 2) & 0x3333333333333333ULL) | ((v & 0x3333333333333333ULL) << 2);
  v = ((v >> 4) & 0x0F0F0F0F0F0F0F0FULL) | ((v & 0x0F0F0F0F0F0F0F0FULL) << 4);
  return __builtin_bswap64(v);
}

U64 LoadBE(const std::uint8_t* p) noexcept {
  U64 v;
  std::memcpy(&v, p, 8);
  return __builtin_bswap64(v);
}

void StoreBE(std::uint8_t* p, U64 v) noexcept {
  v = __builtin_bswap64(v);
  std::memcpy(p, &v, 8);
}

// A field element with bit i of W[0] / W[1] the coefficient of x^i / x^(64 + i). A block holds
// the coefficient of x^0 in the top bit of byte 0, so each half is loaded big-endian and reversed.
struct TElement {
  U64 W[2];
};

TElement Load(const std::uint8_t b[16]) noexcept { return {{ReverseBits(LoadBE(b)), ReverseBits(LoadBE(b + 8))}}; }

void Store(std::uint8_t b[16], const TElement& e) noexcept {
  StoreBE(b, ReverseBits(e.W[0]));
  StoreBE(b + 8, ReverseBits(e.W[1]));
}

// a * b modulo x^128 + x^7 + x^2 + x + 1 (one Karatsuba step, then two folds of the top words).
TElement Multiply(const TElement& a, const TElement& b) noexcept {
  const U128 lo = ClMul64(a.W[0], b.W[0]);
  const U128 hi = ClMul64(a.W[1], b.W[1]);
  const U128 mid = ClMul64(a.W[0] ^ a.W[1], b.W[0] ^ b.W[1]) ^ lo ^ hi;
  const U64 z0 = static_cast<U64>(lo), z1 = static_cast<U64>(lo >> 64) ^ static_cast<U64>(mid);
  const U64 z2 = static_cast<U64>(hi) ^ static_cast<U64>(mid >> 64), z3 = static_cast<U64>(hi >> 64);
  TElement r;
  ReduceGHash256(z0, z1, z2, z3, r.W[0], r.W[1]);
  return r;
}

}  // namespace

void GHashSetKeyPortable(TGHashKey& key, const std::uint8_t H[16]) noexcept {
  TElement h = Load(H);
  std::memcpy(key.Pow[kGHashPowers - 1], h.W, 16);
  platform::SecureZero(&h, sizeof h);
}

void GHashPortable(const TGHashKey& key, std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) noexcept {
  TElement h;
  std::memcpy(h.W, key.Pow[kGHashPowers - 1], 16);
  TElement x = Load(X);
  for (std::size_t i = 0; i < n; ++i) {
    const TElement b = Load(blocks + 16 * i);
    x = Multiply({{x.W[0] ^ b.W[0], x.W[1] ^ b.W[1]}}, h);
  }
  Store(X, x);
  platform::SecureZero(&h, sizeof h);
  platform::SecureZero(&x, sizeof x);
}

}  // namespace AESModes::kernel
