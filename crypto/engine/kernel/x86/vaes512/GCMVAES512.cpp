// GCM on VAES with VPCLMULQDQ over 512-bit registers: sixteen blocks per round of the loop, and GHASH alone over
// the same registers.
#if defined(__x86_64__)
// The compiler's own broadcast and extract intrinsics start from an "undefined" register, which
// its uninitialised-use warnings report at every inlined call.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include "crypto/engine/kernel/x86/GCMStitched.h"

namespace AESModes::kernel {

namespace {

struct TVec512 {
  using T = __m512i;
  struct TAcc {
    T Lo = _mm512_setzero_si512(), Mid = _mm512_setzero_si512(), Hi = _mm512_setzero_si512();
  };
  static constexpr std::size_t kRegs = 4, kLanes = 4;
  static T Broadcast(__m128i v) { return _mm512_broadcast_i32x4(v); }
  static T Load(const std::uint8_t* p) { return _mm512_loadu_si512(p); }
  static void Store(std::uint8_t* p, T v) { _mm512_storeu_si512(p, v); }
  static T Xor(T a, T b) { return _mm512_xor_si512(a, b); }
  static T AesEnc(T a, T k) { return _mm512_aesenc_epi128(a, k); }
  static T AesEncLast(T a, T k) { return _mm512_aesenclast_epi128(a, k); }
  static T Swap(T v) { return _mm512_shuffle_epi8(v, Broadcast(ByteSwapMask())); }
  static T Counter(__m128i c, std::size_t r) {
    const int b = static_cast<int>(4 * r);
    return _mm512_add_epi32(Broadcast(c), _mm512_set_epi32(0, 0, 0, b + 3, 0, 0, 0, b + 2, 0, 0, 0, b + 1, 0, 0, 0, b));
  }
  static T Zext(__m128i v) { return _mm512_zextsi128_si512(v); }
  static void MulAcc(TAcc& acc, T a, T b) {
    acc.Lo = Xor(acc.Lo, _mm512_clmulepi64_epi128(a, b, 0x00));
    acc.Hi = Xor(acc.Hi, _mm512_clmulepi64_epi128(a, b, 0x11));
    acc.Mid = Xor(acc.Mid, Xor(_mm512_clmulepi64_epi128(a, b, 0x01), _mm512_clmulepi64_epi128(a, b, 0x10)));
  }
  static __m128i Lanes(T v) {
    return _mm_xor_si128(_mm_xor_si128(_mm512_extracti32x4_epi32(v, 0), _mm512_extracti32x4_epi32(v, 1)),
                         _mm_xor_si128(_mm512_extracti32x4_epi32(v, 2), _mm512_extracti32x4_epi32(v, 3)));
  }
  static TWide Fold(const TAcc& acc) {
    TWide w;
    w.Lo = Lanes(acc.Lo);
    w.Mid = Lanes(acc.Mid);
    w.Hi = Lanes(acc.Hi);
    return w;
  }
};

}  // namespace

void GHashVPCLMUL512(const TGHashKey& key, std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) noexcept {
  StoreSwapped(X, GHashWide<TVec512>(key, LoadSwapped(X), blocks, n));
}

void PolyValVPCLMUL512(const TGHashKey& key, std::uint8_t S[16], const std::uint8_t* blocks, std::size_t n) noexcept {
  const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(S), GHashWide<TVec512, false>(key, s, blocks, n));
}

void GCMCryptVAES512(bool encrypt, const std::uint8_t* rk, unsigned rounds, const TGHashKey& key, std::uint8_t X[16],
                     std::uint8_t ctr[16], const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) noexcept {
  StitchedCrypt<TVec512>(encrypt, rk, rounds, key, X, ctr, in, out, blocks);
}

}  // namespace AESModes::kernel
#endif
