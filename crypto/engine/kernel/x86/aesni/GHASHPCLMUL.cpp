// GHASH with PCLMULQDQ: powers of H kept byte-reversed, eight blocks per reduction. The
// powers are made by ExtendPowers (GHASHClmul.h), built into each x86 kernel file with its own
// encoding.
#if defined(__x86_64__)
#include "crypto/engine/kernel/x86/GHASHClmul.h"

namespace AESModes::kernel {

void GHashPCLMUL(const TGHashKey& key, std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) noexcept {
  StoreSwapped(X, GHashBlocks128(key, LoadSwapped(X), blocks, n));
}

void PolyValPCLMUL(const TGHashKey& key, std::uint8_t S[16], const std::uint8_t* blocks, std::size_t n) noexcept {
  const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(S), GHashBlocks128<false>(key, s, blocks, n));
}

}  // namespace AESModes::kernel
#endif
