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

// Lane-wise operations on one register of kLanes blocks: what the reduction and the making of
// H's powers need, in the widest form the including file's instruction set has.
struct TLanes128 {
  using T = __m128i;
  static constexpr unsigned kLanes = 1;
  static T Xor(T a, T b) { return _mm_xor_si128(a, b); }
  static T Or(T a, T b) { return _mm_or_si128(a, b); }
  template <int N> static T Shl32(T a) { return _mm_slli_epi32(a, N); }
  template <int N> static T Shr32(T a) { return _mm_srli_epi32(a, N); }
  template <int N> static T ShlBytes(T a) { return _mm_slli_si128(a, N); }
  template <int N> static T ShrBytes(T a) { return _mm_srli_si128(a, N); }
  template <int N> static T Clmul(T a, T b) { return _mm_clmulepi64_si128(a, b, N); }
  static T Broadcast(__m128i v) { return v; }
  static T Load(const void* p) { return _mm_load_si128(static_cast<const __m128i*>(p)); }
  static void Store(void* p, T v) { _mm_store_si128(static_cast<__m128i*>(p), v); }
  static T BroadcastFirst(T v) { return v; }
  static T Gather(const __m128i* h) { return h[1]; }
  static void StoreFirst(void* p, T v, unsigned) { Store(p, v); }
};
#if defined(__AVX512F__) && defined(__VPCLMULQDQ__)
// The compiler's 512-bit shift and shuffle intrinsics start from an "undefined" register, which
// its uninitialised-use warnings report at every inlined call.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
struct TLanesWide {
  using T = __m512i;
  static constexpr unsigned kLanes = 4;
  static T Xor(T a, T b) { return _mm512_xor_si512(a, b); }
  static T Or(T a, T b) { return _mm512_or_si512(a, b); }
  template <int N> static T Shl32(T a) { return _mm512_slli_epi32(a, N); }
  template <int N> static T Shr32(T a) { return _mm512_srli_epi32(a, N); }
  template <int N> static T ShlBytes(T a) { return _mm512_bslli_epi128(a, N); }
  template <int N> static T ShrBytes(T a) { return _mm512_bsrli_epi128(a, N); }
  template <int N> static T Clmul(T a, T b) { return _mm512_clmulepi64_epi128(a, b, N); }
  static T Broadcast(__m128i v) { return _mm512_broadcast_i32x4(v); }
  static T Load(const void* p) { return _mm512_loadu_si512(p); }
  static void Store(void* p, T v) { _mm512_storeu_si512(p, v); }
  // Lane 0 in every lane; h[4] .. h[1] as lanes 0 .. 3; lanes 0 .. n - 1 alone stored.
  static T BroadcastFirst(T v) { return _mm512_shuffle_i32x4(v, v, 0); }
  static T Gather(const __m128i* h) {
    const T v = _mm512_inserti32x4(_mm512_castsi128_si512(h[4]), h[3], 1);
    return _mm512_inserti32x4(_mm512_inserti32x4(v, h[2], 2), h[1], 3);
  }
  static void StoreFirst(void* p, T v, unsigned n) {
    _mm512_mask_storeu_epi64(p, static_cast<__mmask8>((1u << (2 * n)) - 1), v);
  }
};
#elif defined(__AVX2__) && defined(__VPCLMULQDQ__)
struct TLanesWide {
  using T = __m256i;
  static constexpr unsigned kLanes = 2;
  static T Xor(T a, T b) { return _mm256_xor_si256(a, b); }
  static T Or(T a, T b) { return _mm256_or_si256(a, b); }
  template <int N> static T Shl32(T a) { return _mm256_slli_epi32(a, N); }
  template <int N> static T Shr32(T a) { return _mm256_srli_epi32(a, N); }
  template <int N> static T ShlBytes(T a) { return _mm256_bslli_epi128(a, N); }
  template <int N> static T ShrBytes(T a) { return _mm256_bsrli_epi128(a, N); }
  template <int N> static T Clmul(T a, T b) { return _mm256_clmulepi64_epi128(a, b, N); }
  static T Broadcast(__m128i v) { return _mm256_broadcastsi128_si256(v); }
  static T Load(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
  static void Store(void* p, T v) { _mm256_storeu_si256(static_cast<__m256i*>(p), v); }
  // Lane 0 in every lane; h[2], h[1] as lanes 0, 1; lanes 0 .. n - 1 alone stored.
  static T BroadcastFirst(T v) { return _mm256_permute2x128_si256(v, v, 0x00); }
  static T Gather(const __m128i* h) { return _mm256_set_m128i(h[1], h[2]); }
  static void StoreFirst(void* p, T v, unsigned n) {
    _mm256_maskstore_epi64(static_cast<long long*>(p), n >= 2 ? _mm256_set1_epi64x(-1) : _mm256_set_epi64x(0, 0, -1, -1), v);
  }
};
#else
using TLanesWide = TLanes128;
#endif

// The 256-bit product of two byte-reversed elements is the true product shifted right by one
// bit; shift it back, then fold the low half (the coefficients of x^128 and up) into the high
// half with x^128 = x^7 + x^2 + x + 1, in two phases. Each 128-bit lane on its own.
template <class V>
inline typename V::T ReduceLanes(typename V::T lo, typename V::T mid, typename V::T hi) {
  using T = typename V::T;
  lo = V::Xor(lo, V::template ShlBytes<8>(mid));
  hi = V::Xor(hi, V::template ShrBytes<8>(mid));
  const T carryLo = V::template Shr32<31>(lo), carryHi = V::template Shr32<31>(hi);
  lo = V::template Shl32<1>(lo);
  hi = V::template Shl32<1>(hi);
  hi = V::Or(hi, V::template ShrBytes<12>(carryLo));
  hi = V::Or(hi, V::template ShlBytes<4>(carryHi));
  lo = V::Or(lo, V::template ShlBytes<4>(carryLo));

  const T t = V::Xor(V::Xor(V::template Shl32<31>(lo), V::template Shl32<30>(lo)), V::template Shl32<25>(lo));
  const T spill = V::template ShrBytes<4>(t);
  lo = V::Xor(lo, V::template ShlBytes<12>(t));
  T u = V::Xor(V::Xor(V::template Shr32<1>(lo), V::template Shr32<2>(lo)), V::template Shr32<7>(lo));
  u = V::Xor(u, spill);
  return V::Xor(hi, V::Xor(lo, u));
}

inline __m128i Reduce(const TWide& w) { return ReduceLanes<TLanes128>(w.Lo, w.Mid, w.Hi); }

// a * b, lane by lane.
template <class V>
inline typename V::T MulLanes(typename V::T a, typename V::T b) {
  const auto mid = V::Xor(V::template Clmul<0x01>(a, b), V::template Clmul<0x10>(a, b));
  return ReduceLanes<V>(V::template Clmul<0x00>(a, b), mid, V::template Clmul<0x11>(a, b));
}

// The kernel table's GHashExtendKey, the one place the x86 kernels make H's powers (GHashSetKey
// is the same with all of them): H^(made + 1) .. H^wanted added to a key holding H^1 .. H^made.
// H^p for p in (m, 2m], m a power of two, is H^(p - m) * H^m: each power is one multiplication of
// two powers of the levels before it, so H^16 is four multiplications from H rather than eight
// (two chains of H^p = H^(p-2) * H^2), and the multiplications of one level are independent.
// A register of L lanes takes L powers a multiplication: H^1 .. H^L one at a time, then group c
// holds H^(cL + L) .. H^(cL + 1) (highest first, the key's order), and the groups of a level are
// the groups below it times H^m in every lane, stored with one store each. A group may run past
// H^wanted (up to the level's end): powers no call reads before a later extension makes them
// again; of a group holding powers made before only the new ones are stored, so no power a call
// may be reading is written. The groups stay in registers for the levels above (reloading a group
// right behind its stores would wait for them); the loops unroll completely, so every group has
// a register of its own, and nothing but the key's storage receives a power.
inline void ExtendPowers(TGHashKey& key, const std::uint8_t H[16], unsigned made, unsigned wanted) noexcept {
#if defined(__SANITIZE_ADDRESS__)
  // AddressSanitizer's builds keep the register groups in an instrumented frame of their own,
  // where H was found after the caller's stack scrub: there the same tree runs a power at a
  // time from the key's storage.
  if (made == 0) {
    _mm_store_si128(reinterpret_cast<__m128i*>(key.Pow[kGHashPowers - 1]), LoadSwapped(H));
    made = 1;
  }
  for (unsigned p = made + 1; p <= wanted; ++p) {
    const unsigned m = std::bit_floor(p - 1);
    const __m128i a = TLanes128::Load(key.Pow[kGHashPowers - (p - m)]), b = TLanes128::Load(key.Pow[kGHashPowers - m]);
    TLanes128::Store(key.Pow[kGHashPowers - p], MulLanes<TLanes128>(a, b));
  }
  return;
#endif
  using V = TLanesWide;
  using T = V::T;
  constexpr unsigned L = V::kLanes, kGroups = kGHashPowers / L, kHeld = kGroups < 8 ? kGroups : 8;
  const auto at = [&key](unsigned power) { return key.Pow[kGHashPowers - power]; };
  __m128i h[L + 1] = {};
#pragma GCC unroll 8
  for (unsigned p = 1; p <= L; ++p) {
    if (p > wanted) return;
    if (p <= made) {
      h[p] = TLanes128::Load(at(p));
    } else {
      const unsigned m = std::bit_floor(p - 1);
      h[p] = p == 1 ? LoadSwapped(H) : MulLanes<TLanes128>(h[p - m], h[m]);
      TLanes128::Store(at(p), h[p]);
    }
  }
  T held[kHeld] = {};
  held[0] = V::Gather(h);
  const auto group = [&](unsigned c) { return c < kHeld ? held[c] : V::Load(at(c * L + L)); };
  // Group c of the level above groups 0 .. k - 1 (k the largest power of two up to c) is group
  // c - k times H^(kL), the first lane of group k - 1.
#pragma GCC unroll 64
  for (unsigned c = 1; c < kGroups; ++c) {
    const unsigned high = c * L + L;
    if (high - L >= wanted) return;
    const unsigned k = std::bit_floor(c);
    T v;
    if (high <= made) {
      v = V::Load(at(high));
    } else {
      v = MulLanes<V>(group(c - k), V::BroadcastFirst(group(k - 1)));
      if (high - L >= made) V::Store(at(high), v);
      else V::StoreFirst(at(high), v, high - made);
    }
    if (c < kHeld) held[c] = v;
  }
}

inline void SetPowers(TGHashKey& key, const std::uint8_t H[16]) noexcept { ExtendPowers(key, H, 0, kGHashNarrowPowers); }

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
