// GHASH with PCLMULQDQ: powers of H kept byte-reversed, eight blocks per reduction.
#if defined(__x86_64__)
#include "crypto/engine/kernel/x86/GHASHClmul.h"

namespace AESModes::kernel {

void GHashSetKeyPCLMUL(TGHashKey& key, const std::uint8_t H[16]) noexcept {
  // Two independent chains (odd and even powers, each stepping by H^2) halve the latency.
  const auto mul = [](__m128i a, __m128i b) {
    TWide w;
    MulAcc(w, a, b);
    return Reduce(w);
  };
  const auto store = [&key](std::size_t power, __m128i v) {
    _mm_store_si128(reinterpret_cast<__m128i*>(key.Pow[kGHashPowers - power]), v);
  };
  const __m128i h = LoadSwapped(H), h2 = mul(h, h);
  __m128i odd = h, even = h2;
  for (std::size_t p = 1; p < kGHashNarrowPowers; p += 2) {
    store(p, odd);
    store(p + 1, even);
    odd = mul(odd, h2);
    even = mul(even, h2);
  }
}

void GHashExtendKeyPCLMUL(TGHashKey& key, const std::uint8_t H[16], unsigned made, unsigned wanted) noexcept {
  const auto mul = [](__m128i a, __m128i b) {
    TWide w;
    MulAcc(w, a, b);
    return Reduce(w);
  };
  const auto at = [&key](unsigned power) { return reinterpret_cast<__m128i*>(key.Pow[kGHashPowers - power]); };
  if (made == 0) {
    _mm_store_si128(at(1), LoadSwapped(H));
    made = 1;
  }
  const __m128i h = _mm_load_si128(at(1));
  // H^p = H^(p-2) * H^2: consecutive powers form two independent chains.
  const __m128i h2 = made >= 2 ? _mm_load_si128(at(2)) : mul(h, h);
  for (unsigned p = made + 1; p <= wanted; ++p)
    _mm_store_si128(at(p), p == 2 ? h2 : mul(_mm_load_si128(at(p - 2)), h2));
}

void GHashPCLMUL(const TGHashKey& key, std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) noexcept {
  StoreSwapped(X, GHashBlocks128(key, LoadSwapped(X), blocks, n));
}

void PolyValPCLMUL(const TGHashKey& key, std::uint8_t S[16], const std::uint8_t* blocks, std::size_t n) noexcept {
  const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(S), GHashBlocks128<false>(key, s, blocks, n));
}

}  // namespace AESModes::kernel
#endif
