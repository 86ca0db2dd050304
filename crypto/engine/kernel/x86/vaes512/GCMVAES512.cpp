// GCM on VAES with VPCLMULQDQ over 512-bit registers: thirty-two blocks per round of the loop with one
// reduction each for long calls (sixteen for short ones, which need fewer powers of H), and GHASH alone
// over the same registers.
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

// --- The long-call loop: eight registers (thirty-two blocks) a round of the loop. ---
//
// Per group the hash takes 24 multiplications (Karatsuba: three per register instead of four, the
// middle term from (a0 ^ a1)(b0 ^ b1)); the carry-less unit runs them beside the AES unit's 80 to 112
// rounds. The products are summed unreduced and the group reduces once. Measured on a processor
// with two 512-bit AES units, the loop is bound by the vector operations it issues (byte swaps,
// xors, the reduction) more than by either unit: an operation saved counts.

using T512 = __m512i;

inline T512 Bcast(__m128i v) { return _mm512_broadcast_i32x4(v); }
inline T512 Swap512(T512 v, T512 mask) { return _mm512_shuffle_epi8(v, mask); }
// The low 64 bits of each block xor its high 64 bits, in the low half of the block.
inline T512 HalvesXor(T512 v) { return _mm512_xor_si512(v, _mm512_shuffle_epi32(v, _MM_PERM_BADC)); }
// cb with b added to each block's 32-bit counter (its low dword).
inline T512 Step(T512 cb, int b) { return _mm512_add_epi32(cb, _mm512_set4_epi32(0, 0, 0, b)); }

struct TKAcc {
  T512 Lo = _mm512_setzero_si512(), Hi = _mm512_setzero_si512(), Kara = _mm512_setzero_si512();
};

// The sums are made where the products are (the empty asm keeps the compiler from holding every
// product live to sum them at the end, which spilled partial products onto the stack).
inline void KaraMulAcc(TKAcc& acc, T512 d, T512 p) {
  acc.Lo = _mm512_xor_si512(acc.Lo, _mm512_clmulepi64_epi128(d, p, 0x00));
  acc.Hi = _mm512_xor_si512(acc.Hi, _mm512_clmulepi64_epi128(d, p, 0x11));
  acc.Kara = _mm512_xor_si512(acc.Kara, _mm512_clmulepi64_epi128(HalvesXor(d), HalvesXor(p), 0x00));
  __asm__("" : "+v"(acc.Lo), "+v"(acc.Hi), "+v"(acc.Kara));
}

inline __m128i Fold4(T512 v) {
  const __m256i t = _mm256_xor_si256(_mm512_castsi512_si256(v), _mm512_extracti64x4_epi64(v, 1));
  return _mm_xor_si128(_mm256_castsi256_si128(t), _mm256_extracti128_si256(t, 1));
}

// The lanes summed into one unreduced product.
inline TWide FoldK(const TKAcc& acc) {
  TWide w;
  w.Lo = Fold4(acc.Lo);
  w.Hi = Fold4(acc.Hi);
  // The middle term: the Karatsuba product less the outer two.
  w.Mid = _mm_ternarylogic_epi64(Fold4(acc.Kara), w.Lo, w.Hi, 0x96);
  return w;
}

inline __m128i ReduceK(const TKAcc& acc) { return Reduce(FoldK(acc)); }

// Mask of the 64-bit lanes of blocks 0 .. left - 1 of a register (all four when left >= 4).
inline __mmask8 BlockMask(std::size_t left) {
  return left >= 4 ? __mmask8{0xFF} : static_cast<__mmask8>((1u << (2 * left)) - 1);
}

// x = GHASH of n (1..32) blocks continued from x, one reduction: block j times H^(n - j). The last
// register's unused lanes are neither read nor multiplied.
inline __m128i HashUpTo32(const TGHashKey& key, __m128i x, const std::uint8_t* p, std::size_t n, T512 swap) {
  TKAcc acc;
  const std::uint8_t* pow = key.Pow[kGHashPowers - n];
  for (std::size_t r = 0; 4 * r < n; ++r) {
    const __mmask8 m = BlockMask(n - 4 * r);
    T512 d = Swap512(_mm512_maskz_loadu_epi64(m, p + 64 * r), swap);
    if (r == 0) d = _mm512_xor_si512(d, _mm512_zextsi128_si512(x));
    KaraMulAcc(acc, d, _mm512_maskz_loadu_epi64(m, pow + 64 * r));
  }
  return ReduceK(acc);
}

// One group: counter blocks cb + 0 .. 31 through kNr rounds and xored with in into out (kMasked: the
// first `left` blocks only, left < 32), cb advanced by 32. kHash: the 32 blocks at h (byte order as
// stored) are hashed into x between the rounds.
template <unsigned kNr, bool kHash, bool kMasked>
inline void Group(const std::uint8_t* roundKeys, const TGHashKey& hashKey, __m128i& x, T512& cb, T512 swap,
                  const std::uint8_t* h, const std::uint8_t* in, std::uint8_t* out, std::size_t left = 32) {
  constexpr std::size_t R = 8;
  const std::uint8_t* rk = Opaque(roundKeys);
  const TGHashKey* key = Opaque(&hashKey);
  T512 s[R];
  const T512 k0 = Bcast(RoundKey(rk, 0));
  for (std::size_t r = 0; r < R; ++r) {
    s[r] = _mm512_xor_si512(Swap512(cb, swap), k0);
    cb = Step(cb, 4);
  }
  TKAcc acc;
  for (unsigned rd = 1; rd < kNr; ++rd) {
    const T512 k = Bcast(RoundKey(rk, rd));
    for (std::size_t r = 0; r < R; ++r) s[r] = _mm512_aesenc_epi128(s[r], k);
    if (kHash && rd <= R) {
      const std::size_t r = rd - 1;
      KaraMulAcc(acc, Swap512(_mm512_loadu_si512(h + 64 * r), swap),
                 _mm512_load_si512(key->Pow[kGHashPowers - 32 + 4 * r]));
    }
  }
  const T512 kLast = Bcast(RoundKey(rk, kNr));
  for (std::size_t r = 0; r < R; ++r) {
    s[r] = _mm512_aesenclast_epi128(s[r], kLast);
    if constexpr (kMasked) {
      const std::size_t at = 4 * r;  // no pointer is made past the data's end
      if (at < left) {
        const __mmask8 m = BlockMask(left - at);
        _mm512_mask_storeu_epi64(out + 16 * at, m, _mm512_xor_si512(_mm512_maskz_loadu_epi64(m, in + 16 * at), s[r]));
      }
    } else {
      _mm512_storeu_si512(out + 64 * r, _mm512_xor_si512(_mm512_loadu_si512(in + 64 * r), s[r]));
    }
  }
  // x * H^32 joins the group's products only here: from one group's x to the next the chain is
  // one 128-bit product and the reduction, while the group's own products and their sum run
  // beside it.
  if (kHash) {
    TWide w = FoldK(acc);
    MulAcc(w, x, Power(*key, kGHashPowers - 32));
    x = Reduce(w);
  }
}

// Encryption hashes each group's cipher text during the next group's rounds; decryption hashes a
// group's cipher text (its input) during its own rounds, before it writes (out may be in). The
// remaining 1..31 blocks take one masked group and are hashed apart.
template <unsigned kNr, bool kEncrypt>
void Wide(const std::uint8_t* rk, const TGHashKey& key, std::uint8_t X[16], std::uint8_t ctr[16],
          const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) {
  constexpr std::size_t G = 32;
  const T512 swap = Bcast(ByteSwapMask());
  const __m128i c = LoadSwapped(ctr);  // the 32-bit counter is the low dword
  T512 cb = _mm512_add_epi32(Bcast(c), _mm512_set_epi32(0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0));
  __m128i x = LoadSwapped(X);
  std::size_t i = 0;
  if constexpr (kEncrypt) {
    const std::uint8_t* pending = nullptr;
    if (blocks >= G) {
      Group<kNr, false, false>(rk, key, x, cb, swap, nullptr, in, out);
      pending = out;
      i = G;
    }
    for (; i + G <= blocks; i += G) {
      Group<kNr, true, false>(rk, key, x, cb, swap, pending, in + 16 * i, out + 16 * i);
      pending = out + 16 * i;
    }
    if (const std::size_t rest = blocks - i) {
      if (pending != nullptr)
        Group<kNr, true, true>(rk, key, x, cb, swap, pending, in + 16 * i, out + 16 * i, rest);
      else
        Group<kNr, false, true>(rk, key, x, cb, swap, nullptr, in + 16 * i, out + 16 * i, rest);
      x = HashUpTo32(key, x, out + 16 * i, rest, swap);
    } else if (pending != nullptr) {
      x = HashUpTo32(key, x, pending, G, swap);
    }
  } else {
    for (; i + G <= blocks; i += G) Group<kNr, true, false>(rk, key, x, cb, swap, in + 16 * i, in + 16 * i, out + 16 * i);
    if (const std::size_t rest = blocks - i) {
      x = HashUpTo32(key, x, in + 16 * i, rest, swap);
      Group<kNr, false, true>(rk, key, x, cb, swap, nullptr, in + 16 * i, out + 16 * i, rest);
    }
  }
  StoreSwapped(ctr, _mm_add_epi32(c, _mm_cvtsi32_si128(static_cast<int>(static_cast<std::uint32_t>(blocks)))));
  StoreSwapped(X, x);
}

template <unsigned kNr>
void WideCrypt(bool encrypt, const std::uint8_t* rk, const TGHashKey& key, std::uint8_t X[16], std::uint8_t ctr[16],
               const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) {
  if (encrypt)
    Wide<kNr, true>(rk, key, X, ctr, in, out, blocks);
  else
    Wide<kNr, false>(rk, key, X, ctr, in, out, blocks);
}

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
  // Calls of fewer blocks read only H^1 .. H^16 (GHashPowersFor).
  if (blocks >= kGHashWideBlocks) {
    switch (rounds) {
      case 10: return WideCrypt<10>(encrypt, rk, key, X, ctr, in, out, blocks);
      case 12: return WideCrypt<12>(encrypt, rk, key, X, ctr, in, out, blocks);
      case 14: return WideCrypt<14>(encrypt, rk, key, X, ctr, in, out, blocks);
      default: break;
    }
  }
  StitchedCrypt<TVec512>(encrypt, rk, rounds, key, X, ctr, in, out, blocks);
}

}  // namespace AESModes::kernel
#endif
