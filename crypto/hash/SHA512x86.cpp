// SHA-512 on x86-64 with AVX2 and BMI: the message schedule two words at a time in vector
// registers, the rounds in general registers with single-instruction rotations (rorx) and
// and-not, so schedule and rounds run side by side on different units. The functions carry their
// instruction sets as target attributes and use nothing inline from elsewhere, so the rest of the
// library stays runnable on any x86-64; other processors get the "absent" answer.
#include <utility>

#include "crypto/hash/HashFunctions.h"
#include "platform/Memory.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#include <immintrin.h>
#define AES_HASH_SHA512_AVX2 1
#endif

namespace Hash::detail {

#ifdef AES_HASH_SHA512_AVX2

extern const std::uint64_t* const kSHA512Round;

namespace {

#define AES_SHA512_TARGET __attribute__((target("avx2,bmi,bmi2")))

AES_SHA512_TARGET inline std::uint64_t Ror(std::uint64_t x, int n) { return (x >> n) | (x << (64 - n)); }

template <int n>
AES_SHA512_TARGET inline __m128i Ror2(__m128i x) {
  return _mm_or_si128(_mm_srli_epi64(x, n), _mm_slli_epi64(x, 64 - n));
}

// Words t, t+1 of the schedule from the eight pairs before them: w[j & 7] holds words
// t-16+2j, t-15+2j (j = 0..7, counted from the pair being replaced).
template <int j>
AES_SHA512_TARGET inline __m128i NextPair(const __m128i* w) {
  const __m128i w16 = w[j & 7], w2 = w[(j + 7) & 7];
  const __m128i w15 = _mm_alignr_epi8(w[(j + 1) & 7], w16, 8);
  const __m128i w7 = _mm_alignr_epi8(w[(j + 5) & 7], w[(j + 4) & 7], 8);
  const __m128i s0 = _mm_xor_si128(_mm_xor_si128(Ror2<1>(w15), Ror2<8>(w15)), _mm_srli_epi64(w15, 7));
  const __m128i s1 = _mm_xor_si128(_mm_xor_si128(Ror2<19>(w2), Ror2<61>(w2)), _mm_srli_epi64(w2, 6));
  return _mm_add_epi64(_mm_add_epi64(w16, s0), _mm_add_epi64(w7, s1));
}

// Round j of a run of 16 on the working words at s[(0 - j) & 7] .. s[(7 - j) & 7] (a .. h);
// bc: b ^ c, handed on as in the portable rounds.
template <int j>
AES_SHA512_TARGET inline void Round(std::uint64_t* s, std::uint64_t& bc, std::uint64_t kw) {
  std::uint64_t &a = s[(8 - j) & 7], &b = s[(9 - j) & 7], &d = s[(11 - j) & 7];
  std::uint64_t &e = s[(12 - j) & 7], &f = s[(13 - j) & 7], &g = s[(14 - j) & 7], &h = s[(15 - j) & 7];
  const std::uint64_t t1 = h + kw + (Ror(e, 14) ^ Ror(e, 18) ^ Ror(e, 41)) + ((e & f) ^ (~e & g));
  const std::uint64_t ab = a ^ b;
  const std::uint64_t t2 = (Ror(a, 28) ^ Ror(a, 34) ^ Ror(a, 39)) + (b ^ (ab & bc));
  bc = ab;
  d += t1;
  h = t1 + t2;
}

// Round j of a run of 16, and with kMore the pair of message words j / 2 of the next run (made
// before even rounds, so two words per pair of rounds) into w and wkNext.
template <bool kMore, int j>
AES_SHA512_TARGET inline void Step(std::uint64_t* s, std::uint64_t& bc, const std::uint64_t* wk, __m128i* w,
                                   std::uint64_t* wkNext, const std::uint64_t* kNext) {
  if constexpr (kMore && j % 2 == 0) {
    w[j / 2] = NextPair<j / 2>(w);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(wkNext + j),
                     _mm_add_epi64(w[j / 2], _mm_loadu_si128(reinterpret_cast<const __m128i*>(kNext + j))));
  }
  Round<j>(s, bc, wk[j]);
}

// Sixteen rounds over wk (message word plus round constant), with kMore making the next sixteen
// words meanwhile.
template <bool kMore, int... j>
AES_SHA512_TARGET inline void Sixteen(std::uint64_t* s, std::uint64_t& bc, const std::uint64_t* wk, __m128i* w,
                                      std::uint64_t* wkNext, const std::uint64_t* kNext,
                                      std::integer_sequence<int, j...>) {
  (Step<kMore, j>(s, bc, wk, w, wkNext, kNext), ...);
}

AES_SHA512_TARGET void CompressSHA512AVX2(TChain& chain, const std::uint8_t* blocks, std::size_t count) noexcept {
  const __m128i byteSwap = _mm_set_epi64x(0x08090a0b0c0d0e0fLL, 0x0001020304050607LL);
  constexpr auto kSixteen = std::make_integer_sequence<int, 16>();
  const std::uint64_t* k = kSHA512Round;
  alignas(16) std::uint64_t wk[80];  // each message word plus its round constant
  for (; count > 0; --count, blocks += 128) {
    __m128i w[8];
    for (int j = 0; j < 8; ++j) {
      w[j] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * j)), byteSwap);
      _mm_store_si128(reinterpret_cast<__m128i*>(wk + 2 * j),
                      _mm_add_epi64(w[j], _mm_loadu_si128(reinterpret_cast<const __m128i*>(k + 2 * j))));
    }
    std::uint64_t s[8];
    for (int i = 0; i < 8; ++i) s[i] = chain.W64[static_cast<std::size_t>(i)];
    std::uint64_t bc = s[1] ^ s[2];
    for (int t = 0; t < 64; t += 16) Sixteen<true>(s, bc, wk + t, w, wk + t + 16, k + t + 16, kSixteen);
    Sixteen<false>(s, bc, wk + 64, w, nullptr, nullptr, kSixteen);
    for (int i = 0; i < 8; ++i) chain.W64[static_cast<std::size_t>(i)] += s[i];
  }
  // The schedule is wiped here; the working words live in general registers (an array wiped here
  // would have to live in memory, a fifth slower), and what the compiler spills of them is left to
  // the stack scrub of the callers that hash keys (HMAC, the KDFs, the chunked key derivation).
  platform::SecureZero(wk, sizeof wk);
  // The message words leave no copy in the vector registers.
  _mm256_zeroall();
}

bool HasAVX2AndBMI() noexcept {
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  const bool ssse3 = c & (1u << 9), osxsave = c & (1u << 27), avx = c & (1u << 28);
  if (!ssse3 || !osxsave || !avx) return false;
  unsigned lo, hi;
  __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  if ((lo & 6u) != 6u) return false;  // the OS saves xmm and ymm state
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
  const bool bmi1 = b & (1u << 3), avx2 = b & (1u << 5), bmi2 = b & (1u << 8);
  return bmi1 && avx2 && bmi2;
}

}  // namespace

TCompress SHA512Accelerated() noexcept { return HasAVX2AndBMI() ? CompressSHA512AVX2 : nullptr; }

#else

TCompress SHA512Accelerated() noexcept { return nullptr; }

#endif

}  // namespace Hash::detail
