// SHA-256 with the x86 SHA extensions. The functions that use them carry their instruction sets
// as target attributes, so the rest of the library stays runnable on any x86-64; other processors
// get the "absent" answer.
#include "crypto/hash/HashFunctions.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#include <immintrin.h>
#define AES_HASH_SHA_NI 1
#endif

namespace Hash::detail {

#ifdef AES_HASH_SHA_NI

extern const std::uint32_t* const kSHA256Round;

namespace {

#define AES_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

AES_SHA_TARGET void CompressSHA256NI(TChain& chain, const std::uint8_t* blocks, std::size_t count) noexcept {
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
  // {A,B,C,D} and {E,F,G,H} in memory order, rearranged into the halves the instructions take.
  const __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(chain.W32.data()));
  const __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(chain.W32.data() + 4));
  const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
  const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
  __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
  for (; count > 0; --count, blocks += 64) {
    const __m128i abefStart = abef, cdghStart = cdgh;
    __m128i w[4];  // the schedule's last 16 words, four per register
    for (int g = 0; g < 16; ++g) {
      if (g < 4) {
        w[g] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * g)), byteSwap);
      } else {
        // Words 4g..4g+3 from the four groups before them (held in w[g&3] .. w[(g+3)&3]).
        const __m128i older = _mm_sha256msg1_epu32(w[g & 3], w[(g + 1) & 3]);
        const __m128i seventh = _mm_alignr_epi8(w[(g + 3) & 3], w[(g + 2) & 3], 4);
        w[g & 3] = _mm_sha256msg2_epu32(_mm_add_epi32(older, seventh), w[(g + 3) & 3]);
      }
      const __m128i wk = _mm_add_epi32(w[g & 3], _mm_loadu_si128(reinterpret_cast<const __m128i*>(kSHA256Round + 4 * g)));
      // Two rounds make the old {A,B,E,F} the new {C,D,G,H}: each call writes the register that
      // held the older half, so after two calls abef and cdgh name their halves again.
      cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
      abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(wk, 0x0E));
    }
    abef = _mm_add_epi32(abef, abefStart);
    cdgh = _mm_add_epi32(cdgh, cdghStart);
  }
  const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
  const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(chain.W32.data()), _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(chain.W32.data() + 4), _mm_alignr_epi8(dchg, feba, 8));
  // The chaining value and the message schedule leave no copy in the vector registers.
  __asm__ volatile(
      "pxor %%xmm0, %%xmm0\n\tpxor %%xmm1, %%xmm1\n\tpxor %%xmm2, %%xmm2\n\tpxor %%xmm3, %%xmm3\n\t"
      "pxor %%xmm4, %%xmm4\n\tpxor %%xmm5, %%xmm5\n\tpxor %%xmm6, %%xmm6\n\tpxor %%xmm7, %%xmm7\n\t"
      "pxor %%xmm8, %%xmm8\n\tpxor %%xmm9, %%xmm9\n\tpxor %%xmm10, %%xmm10\n\tpxor %%xmm11, %%xmm11\n\t"
      "pxor %%xmm12, %%xmm12\n\tpxor %%xmm13, %%xmm13\n\tpxor %%xmm14, %%xmm14\n\tpxor %%xmm15, %%xmm15" ::
          : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10", "xmm11", "xmm12",
            "xmm13", "xmm14", "xmm15", "memory");
}

bool HasSHAExtensions() noexcept {
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  const bool ssse3 = c & (1u << 9), sse41 = c & (1u << 19);
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
  return ssse3 && sse41 && (b & (1u << 29));
}

}  // namespace

TCompress SHA256Accelerated() noexcept { return HasSHAExtensions() ? CompressSHA256NI : nullptr; }

#else

TCompress SHA256Accelerated() noexcept { return nullptr; }

#endif

}  // namespace Hash::detail
