// Carry-less GHASH steps on 128-bit registers, shared by the PCLMULQDQ, AES-NI and VAES kernel
// files. Included only by files compiled with PCLMULQDQ and SSSE3 enabled; everything here has
// internal linkage, so files built for different instruction sets never share a copy.
#pragma once

#include <immintrin.h>

#include <bit>
#include <cstddef>
#include <cstdint>

#include "crypto/engine/kernel/AESKernelOps.h"

namespace AESModes::kernel {
namespace {

// Blocks are held byte-reversed: bit 127 of the register is the coefficient of x^0.
inline __m128i ByteSwapMask() { return _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15); }
inline __m128i LoadSwapped(const std::uint8_t* p) {
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), ByteSwapMask());
}
inline void StoreSwapped(std::uint8_t* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_shuffle_epi8(v, ByteSwapMask()));
}

// An unreduced product (or a sum of them): low, middle and high 128-bit parts.
struct TWide {
  __m128i Lo = _mm_setzero_si128(), Mid = _mm_setzero_si128(), Hi = _mm_setzero_si128();
};

inline void MulAcc(TWide& acc, __m128i a, __m128i b) {
  acc.Lo = _mm_xor_si128(acc.Lo, _mm_clmulepi64_si128(a, b, 0x00));
  acc.Hi = _mm_xor_si128(acc.Hi, _mm_clmulepi64_si128(a, b, 0x11));
  acc.Mid = _mm_xor_si128(acc.Mid, _mm_xor_si128(_mm_clmulepi64_si128(a, b, 0x01), _mm_clmulepi64_si128(a, b, 0x10)));
}

// The 256-bit product of two byte-reversed elements is the true product shifted right by one
// bit; shift it back, then fold the low half (the coefficients of x^128 and up) into the high
// half with x^128 = x^7 + x^2 + x + 1, in two phases.
inline __m128i Reduce(const TWide& w) {
  __m128i lo = _mm_xor_si128(w.Lo, _mm_slli_si128(w.Mid, 8));
  __m128i hi = _mm_xor_si128(w.Hi, _mm_srli_si128(w.Mid, 8));
  __m128i carryLo = _mm_srli_epi32(lo, 31), carryHi = _mm_srli_epi32(hi, 31);
  lo = _mm_slli_epi32(lo, 1);
  hi = _mm_slli_epi32(hi, 1);
  hi = _mm_or_si128(hi, _mm_srli_si128(carryLo, 12));
  hi = _mm_or_si128(hi, _mm_slli_si128(carryHi, 4));
  lo = _mm_or_si128(lo, _mm_slli_si128(carryLo, 4));

  __m128i t = _mm_xor_si128(_mm_xor_si128(_mm_slli_epi32(lo, 31), _mm_slli_epi32(lo, 30)), _mm_slli_epi32(lo, 25));
  const __m128i spill = _mm_srli_si128(t, 4);
  lo = _mm_xor_si128(lo, _mm_slli_si128(t, 12));
  __m128i u = _mm_xor_si128(_mm_xor_si128(_mm_srli_epi32(lo, 1), _mm_srli_epi32(lo, 2)), _mm_srli_epi32(lo, 7));
  u = _mm_xor_si128(u, spill);
  return _mm_xor_si128(hi, _mm_xor_si128(lo, u));
}

// The kernel table's GHashExtendKey, the one place the x86 kernels make H's powers (GHashSetKey
// is the same with all of them): H^(made + 1) .. H^wanted added to a key holding H^1 .. H^made.
// H^p for p in (m, 2m], m a power of two, is H^(p - m) * H^m: each power is one multiplication of
// two powers of the levels before it, so H^16 is four multiplications from H rather than eight
// (two chains of H^p = H^(p-2) * H^2), and the multiplications of one level are independent.
// The powers up to H^8 are taken from registers, not reloaded from the key: a load right behind
// the store of the same power makes the processor hold every later load behind the stores, and the
// levels run one multiplication at a time again. Only the key's own storage receives the powers.
inline void ExtendPowers(TGHashKey& key, const std::uint8_t H[16], unsigned made, unsigned wanted) noexcept {
  const auto at = [&key](unsigned power) { return reinterpret_cast<__m128i*>(key.Pow[kGHashPowers - power]); };
  constexpr unsigned kHeld = 8;
  __m128i held[kHeld + 1] = {};
  const auto power = [&](unsigned q) { return q <= kHeld ? held[q] : _mm_load_si128(at(q)); };
#pragma GCC unroll 64
  for (unsigned p = 1; p <= kGHashPowers; ++p) {
    if (p > wanted) break;
    __m128i v;
    if (p <= made) {
      v = _mm_load_si128(at(p));
    } else if (p == 1) {
      v = LoadSwapped(H);
    } else {
      const unsigned m = std::bit_floor(p - 1);
      TWide w;
      MulAcc(w, power(p - m), power(m));
      v = Reduce(w);
    }
    if (p > made) _mm_store_si128(at(p), v);
    if (p <= kHeld) held[p] = v;
  }
}

inline void SetPowers(TGHashKey& key, const std::uint8_t H[16]) noexcept { ExtendPowers(key, H, 0, kGHashPowers); }

inline __m128i Power(const TGHashKey& key, std::size_t k) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(key.Pow[k]));
}

// GHASH over n blocks on 128-bit registers: groups of 8 with one reduction each, then the rest
// as one group. x is byte-reversed. kSwap false takes the blocks as they are, which is POLYVAL
// (x then its running value as it is): POLYVAL(H, X1..Xn) = rev(GHASH(x * rev(H), rev(X1)..rev(Xn))),
// so with the key made from x * rev(H) the byte reversal of GHASH's loads cancels.
// The powers are read from the key where a multiplication needs them; the pointer is made
// opaque once per group (an empty asm), so they are neither hoisted out of the loop nor spilled.
template <bool kSwap = true>
inline __m128i GHashBlocks128(const TGHashKey& hashKey, __m128i x, const std::uint8_t* blocks, std::size_t n) {
  while (n > 0) {
    const TGHashKey* key = &hashKey;
    __asm__ volatile("" : "+r"(key));
    const std::size_t g = n < 8 ? n : 8;
    TWide acc;
    for (std::size_t j = 0; j < g; ++j) {
      __m128i d = kSwap ? LoadSwapped(blocks + 16 * j) : _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * j));
      if (j == 0) d = _mm_xor_si128(d, x);
      MulAcc(acc, d, Power(*key, kGHashPowers - g + j));
    }
    x = Reduce(acc);
    blocks += 16 * g;
    n -= g;
  }
  return x;
}

}  // namespace
}  // namespace AESModes::kernel
