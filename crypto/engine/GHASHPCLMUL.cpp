// GHASH with PCLMULQDQ: powers H^1..H^16 kept byte-reversed, eight blocks per reduction.
#if defined(__x86_64__)
#include "crypto/engine/GHASHClmul.h"

namespace AESModes::kernel {

void GHashSetKeyPCLMUL(TGHashKey& key, const std::uint8_t H[16]) noexcept {
  const __m128i h = LoadSwapped(H);
  __m128i p = h;
  for (std::size_t k = kGHashPowers; k-- > 0;) {
    _mm_store_si128(reinterpret_cast<__m128i*>(key.Pow[k]), p);
    TWide w;
    MulAcc(w, p, h);
    p = Reduce(w);
  }
}

void GHashPCLMUL(const TGHashKey& key, std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) noexcept {
  StoreSwapped(X, GHashBlocks128(key, LoadSwapped(X), blocks, n));
}

}  // namespace AESModes::kernel
#endif
