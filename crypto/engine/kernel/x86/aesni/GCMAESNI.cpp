// GCM on AES-NI with PCLMULQDQ: eight blocks per round of the loop.
#if defined(__x86_64__)
#include "crypto/engine/kernel/x86/GCMStitched.h"

namespace AESModes::kernel {

namespace {

struct TVec128 {
  using T = __m128i;
  using TAcc = TWide;
  static constexpr std::size_t kRegs = 8, kLanes = 1;
  static T Broadcast(__m128i v) { return v; }
  static T Load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static void Store(std::uint8_t* p, T v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
  static T Xor(T a, T b) { return _mm_xor_si128(a, b); }
  static T AesEnc(T a, T k) { return _mm_aesenc_si128(a, k); }
  static T AesEncLast(T a, T k) { return _mm_aesenclast_si128(a, k); }
  static T Swap(T v) { return _mm_shuffle_epi8(v, ByteSwapMask()); }
  static T Counter(__m128i c, std::size_t r) { return _mm_add_epi32(c, _mm_set_epi32(0, 0, 0, static_cast<int>(r))); }
  static T Zext(__m128i v) { return v; }
  static void MulAcc(TAcc& acc, T a, T b) { kernel::MulAcc(acc, a, b); }
  static TWide Fold(const TAcc& acc) { return acc; }
};

}  // namespace

void GCMCryptAESNI(bool encrypt, const std::uint8_t* rk, unsigned rounds, const TGHashKey& key, std::uint8_t X[16],
                   std::uint8_t ctr[16], const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) noexcept {
  StitchedCrypt<TVec128>(encrypt, rk, rounds, key, X, ctr, in, out, blocks);
}

}  // namespace AESModes::kernel
#endif
