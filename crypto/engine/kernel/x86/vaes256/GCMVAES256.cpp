// GCM on VAES with VPCLMULQDQ over 256-bit registers: eight blocks per round of the loop, and GHASH alone over
// the same registers.
#if defined(__x86_64__)
#include "crypto/engine/kernel/x86/GCMStitched.h"

namespace AESModes::kernel {

namespace {

struct TVec256 {
  using T = __m256i;
  struct TAcc {
    T Lo = _mm256_setzero_si256(), Mid = _mm256_setzero_si256(), Hi = _mm256_setzero_si256();
  };
  static constexpr std::size_t kRegs = 4, kLanes = 2;
  static T Broadcast(__m128i v) { return _mm256_broadcastsi128_si256(v); }
  static T Load(const std::uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
  static void Store(std::uint8_t* p, T v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
  static T Xor(T a, T b) { return _mm256_xor_si256(a, b); }
  static T AesEnc(T a, T k) { return _mm256_aesenc_epi128(a, k); }
  static T AesEncLast(T a, T k) { return _mm256_aesenclast_epi128(a, k); }
  static T Swap(T v) { return _mm256_shuffle_epi8(v, Broadcast(ByteSwapMask())); }
  static T Counter(__m128i c, std::size_t r) {
    const int b = static_cast<int>(2 * r);
    return _mm256_add_epi32(Broadcast(c), _mm256_set_epi32(0, 0, 0, b + 1, 0, 0, 0, b));
  }
  static T Zext(__m128i v) { return _mm256_zextsi128_si256(v); }
  static void MulAcc(TAcc& acc, T a, T b) {
    acc.Lo = Xor(acc.Lo, _mm256_clmulepi64_epi128(a, b, 0x00));
    acc.Hi = Xor(acc.Hi, _mm256_clmulepi64_epi128(a, b, 0x11));
    acc.Mid = Xor(acc.Mid, Xor(_mm256_clmulepi64_epi128(a, b, 0x01), _mm256_clmulepi64_epi128(a, b, 0x10)));
  }
  static __m128i Lanes(T v) { return _mm_xor_si128(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1)); }
  static TWide Fold(const TAcc& acc) {
    TWide w;
    w.Lo = Lanes(acc.Lo);
    w.Mid = Lanes(acc.Mid);
    w.Hi = Lanes(acc.Hi);
    return w;
  }
};

}  // namespace

void GHashVPCLMUL256(const TGHashKey& key, std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) noexcept {
  StoreSwapped(X, GHashWide<TVec256>(key, LoadSwapped(X), blocks, n));
}

void PolyValVPCLMUL256(const TGHashKey& key, std::uint8_t S[16], const std::uint8_t* blocks, std::size_t n) noexcept {
  const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(S), GHashWide<TVec256, false>(key, s, blocks, n));
}

void GCMCryptVAES256(bool encrypt, const std::uint8_t* rk, unsigned rounds, const TGHashKey& key, std::uint8_t X[16],
                     std::uint8_t ctr[16], const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) noexcept {
  StitchedCrypt<TVec256>(encrypt, rk, rounds, key, X, ctr, in, out, blocks);
}

}  // namespace AESModes::kernel
#endif
