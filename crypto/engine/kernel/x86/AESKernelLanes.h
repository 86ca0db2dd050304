// The block modes written once over "lanes": a register type holding one, two or four AES blocks
// and the AES round instructions on it. Included by the instruction-set kernel files only, each
// compiled with its own instruction set; everything here has internal linkage so no copy built
// with a wide set can be picked for code that runs without it.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "crypto/engine/kernel/AESKernelOps.h"

namespace AESModes::kernel {
namespace {

using u8 = std::uint8_t;

inline __m128i ReverseMask128() { return _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15); }

// One block per 128-bit register (legacy SSE or VEX encoding, as the file's flags choose).
struct Lanes1 {
  using V = __m128i;
  static constexpr std::size_t kBlocks = 1;
  static V Load(const u8* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static void Store(u8* p, V v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
  static V Broadcast(__m128i b) { return b; }
  static V Xor(V a, V b) { return _mm_xor_si128(a, b); }
  static V Enc(V a, V k) { return _mm_aesenc_si128(a, k); }
  static V EncLast(V a, V k) { return _mm_aesenclast_si128(a, k); }
  static V Dec(V a, V k) { return _mm_aesdec_si128(a, k); }
  static V DecLast(V a, V k) { return _mm_aesdeclast_si128(a, k); }
  static V Add64(V a, V b) { return _mm_add_epi64(a, b); }
  static V Add32(V a, V b) { return _mm_add_epi32(a, b); }
  static V Reverse(V a) { return _mm_shuffle_epi8(a, ReverseMask128()); }
  // Blocks 0..n-1 of the register as little-endian offsets 0..n-1 in each block's low word.
  static V Offsets() { return _mm_setzero_si128(); }
  // [last, x.block0, .., x.block(n-2)]: the cipher blocks that precede x's blocks.
  static V Preceding(V, __m128i last) { return last; }
  static __m128i LastBlock(V x) { return x; }
  // For the tweaks and offsets: shifts of each 64-bit half, each block's low half moved up to
  // its high half (zeros below), each block's high half of a times the low half of b (carry-less),
  // (wider lanes: the register of the blocks b0, b1, ..), its first block, the xor of its blocks,
  // and the register with b in its last block and zeros in the others.
  static V ShiftL64(V a, int k) { return _mm_slli_epi64(a, k); }
  static V ShiftR64(V a, int k) { return _mm_srli_epi64(a, k); }
  static V LowToHigh(V a) { return _mm_slli_si128(a, 8); }
  static V ClMulHighLow(V a, V b) { return _mm_clmulepi64_si128(a, b, 0x01); }
  static __m128i FirstBlock(V x) { return x; }
  static __m128i Fold(V x) { return x; }
  static V LastOnly(__m128i b) { return b; }
};

#ifdef __VAES__
struct Lanes2 {
  using V = __m256i;
  static constexpr std::size_t kBlocks = 2;
  static V Load(const u8* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
  static void Store(u8* p, V v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
  static V Broadcast(__m128i b) { return _mm256_broadcastsi128_si256(b); }
  static V Xor(V a, V b) { return _mm256_xor_si256(a, b); }
  static V Enc(V a, V k) { return _mm256_aesenc_epi128(a, k); }
  static V EncLast(V a, V k) { return _mm256_aesenclast_epi128(a, k); }
  static V Dec(V a, V k) { return _mm256_aesdec_epi128(a, k); }
  static V DecLast(V a, V k) { return _mm256_aesdeclast_epi128(a, k); }
  static V Add64(V a, V b) { return _mm256_add_epi64(a, b); }
  static V Add32(V a, V b) { return _mm256_add_epi32(a, b); }
  static V Reverse(V a) { return _mm256_shuffle_epi8(a, Broadcast(ReverseMask128())); }
  static V Offsets() { return _mm256_set_epi64x(0, 1, 0, 0); }
  static V Preceding(V x, __m128i last) { return _mm256_permute2x128_si256(_mm256_castsi128_si256(last), x, 0x20); }
  static __m128i LastBlock(V x) { return _mm256_extracti128_si256(x, 1); }
  static V ShiftL64(V a, int k) { return _mm256_slli_epi64(a, k); }
  static V ShiftR64(V a, int k) { return _mm256_srli_epi64(a, k); }
  static V LowToHigh(V a) { return _mm256_bslli_epi128(a, 8); }
  static V ClMulHighLow(V a, V b) { return _mm256_clmulepi64_epi128(a, b, 0x01); }
  static V FromBlocks(__m128i b0, __m128i b1) { return _mm256_set_m128i(b1, b0); }
  static __m128i FirstBlock(V x) { return _mm256_castsi256_si128(x); }
  static __m128i Fold(V x) { return _mm_xor_si128(_mm256_castsi256_si128(x), _mm256_extracti128_si256(x, 1)); }
  static V LastOnly(__m128i b) { return _mm256_inserti128_si256(_mm256_setzero_si256(), b, 1); }
};
#endif

#ifdef __AVX512F__
struct Lanes4 {
  using V = __m512i;
  static constexpr std::size_t kBlocks = 4;
  static V Load(const u8* p) { return _mm512_loadu_si512(p); }
  static void Store(u8* p, V v) { _mm512_storeu_si512(p, v); }
  static V Broadcast(__m128i b) { return _mm512_broadcast_i32x4(b); }
  static V Xor(V a, V b) { return _mm512_xor_si512(a, b); }
  static V Enc(V a, V k) { return _mm512_aesenc_epi128(a, k); }
  static V EncLast(V a, V k) { return _mm512_aesenclast_epi128(a, k); }
  static V Dec(V a, V k) { return _mm512_aesdec_epi128(a, k); }
  static V DecLast(V a, V k) { return _mm512_aesdeclast_epi128(a, k); }
  static V Add64(V a, V b) { return _mm512_add_epi64(a, b); }
  static V Add32(V a, V b) { return _mm512_add_epi32(a, b); }
  static V Reverse(V a) { return _mm512_shuffle_epi8(a, Broadcast(ReverseMask128())); }
  static V Offsets() { return _mm512_set_epi64(0, 3, 0, 2, 0, 1, 0, 0); }
  // The top block of the broadcast `last` followed by x's first three blocks.
  static V Preceding(V x, __m128i last) { return _mm512_alignr_epi64(x, Broadcast(last), 6); }
  static __m128i LastBlock(V x) { return _mm512_extracti32x4_epi32(x, 3); }
  static V ShiftL64(V a, int k) { return _mm512_slli_epi64(a, static_cast<unsigned>(k)); }
  static V ShiftR64(V a, int k) { return _mm512_srli_epi64(a, static_cast<unsigned>(k)); }
  static V LowToHigh(V a) { return _mm512_bslli_epi128(a, 8); }
  static V ClMulHighLow(V a, V b) { return _mm512_clmulepi64_epi128(a, b, 0x01); }
  static V FromBlocks(__m128i b0, __m128i b1, __m128i b2, __m128i b3) {
    return _mm512_inserti64x4(_mm512_castsi256_si512(_mm256_set_m128i(b1, b0)), _mm256_set_m128i(b3, b2), 1);
  }
  static __m128i FirstBlock(V x) { return _mm512_castsi512_si128(x); }
  static __m128i Fold(V x) {
    const __m256i h = _mm256_xor_si256(_mm512_castsi512_si256(x), _mm512_extracti64x4_epi64(x, 1));
    return _mm_xor_si128(_mm256_castsi256_si128(h), _mm256_extracti128_si256(h, 1));
  }
  static V LastOnly(__m128i b) { return _mm512_maskz_broadcast_i32x4(0xF000, b); }
};
#endif

// One schedule as an entry point reads it once from the key: its round keys (16-byte aligned,
// round r at 16r) and the number of rounds.
struct TSchedule {
  const u8* Keys;
  unsigned Nr;
};

// The round count as a constant for the three AES key sizes (10, 12, 14), so the round loops are
// unrolled with no counter; 0 for the other word counts, which count at run time.
template <unsigned kNr>
using TRounds = std::integral_constant<unsigned, kNr>;

template <class F>
inline decltype(auto) WithRounds(unsigned Nr, F&& f) {
  switch (Nr) {
    case 10: return f(TRounds<10>{});
    case 12: return f(TRounds<12>{});
    case 14: return f(TRounds<14>{});
    default: return f(TRounds<0>{});
  }
}

// Round keys 0..Nr of one schedule, each read from the schedule (wiped storage) into every lane
// of a register where a round needs it. No copy of the keys is made here that would need wiping:
// what the compiler keeps in registers the entry's own exit (in the AES files) or the public
// call's register wipe clears, and the modes here keep few enough values in flight that none is
// spilled.
template <class L, unsigned kNr = 0>
struct TKeys {
  const u8* Schedule;
  unsigned RunTimeNr;
  explicit TKeys(const TSchedule& s) : Schedule(s.Keys), RunTimeNr(s.Nr) {}
  TKeys(const u8* schedule, unsigned rounds) : Schedule(schedule), RunTimeNr(rounds) {}
  unsigned Nr() const { return kNr != 0 ? kNr : RunTimeNr; }
  typename L::V operator[](unsigned r) const {
    return L::Broadcast(_mm_load_si128(reinterpret_cast<const __m128i*>(Schedule + 16 * r)));
  }
};

// The schedule's address made opaque once per step (an empty asm): with the rounds unrolled the
// compiler could otherwise load every round key once, keep them across the steps of a loop and,
// short of registers (sixteen without AVX-512), spill some onto the stack. Loaded per step from
// the first-level cache, they never leave the key's storage but for a register.
template <class L, unsigned kNr>
inline TKeys<L, kNr> PerStep(TKeys<L, kNr> k) {
  __asm__ volatile("" : "+r"(k.Schedule));
  return k;
}

template <class L, int R, unsigned kNr>
inline void EncryptRegs(const TKeys<L, kNr>& keys, typename L::V (&x)[R]) {
  const TKeys<L, kNr> k = PerStep(keys);
  for (int i = 0; i < R; ++i) x[i] = L::Xor(x[i], k[0]);
  for (unsigned r = 1; r < k.Nr(); ++r)
    for (int i = 0; i < R; ++i) x[i] = L::Enc(x[i], k[r]);
  for (int i = 0; i < R; ++i) x[i] = L::EncLast(x[i], k[k.Nr()]);
}

template <class L, int R, unsigned kNr>
inline void DecryptRegs(const TKeys<L, kNr>& keys, typename L::V (&x)[R]) {
  const TKeys<L, kNr> k = PerStep(keys);
  for (int i = 0; i < R; ++i) x[i] = L::Xor(x[i], k[0]);
  for (unsigned r = 1; r < k.Nr(); ++r)
    for (int i = 0; i < R; ++i) x[i] = L::Dec(x[i], k[r]);
  for (int i = 0; i < R; ++i) x[i] = L::DecLast(x[i], k[k.Nr()]);
}

// Each "Steps" function runs as many whole steps of R registers as fit and returns the blocks done.
template <class L, int R, bool kDecrypt, unsigned kNr>
std::size_t ECBSteps(const TSchedule& key, const u8* in, u8* out, std::size_t blocks) {
  constexpr std::size_t B = R * L::kBlocks;
  if (blocks < B) return 0;
  const TKeys<L, kNr> k(key);
  std::size_t done = 0;
  for (; blocks - done >= B; done += B) {
    typename L::V x[R];
    for (int i = 0; i < R; ++i) x[i] = L::Load(in + 16 * (done + i * L::kBlocks));
    if constexpr (kDecrypt) DecryptRegs<L, R>(k, x); else EncryptRegs<L, R>(k, x);
    for (int i = 0; i < R; ++i) L::Store(out + 16 * (done + i * L::kBlocks), x[i]);
  }
  return done;
}

// ECB between two whitenings, a mask per block loaded once and applied on both sides.
template <class L, int R, bool kDecrypt, unsigned kNr>
std::size_t WhitenedSteps(const TSchedule& key, const u8* in, u8* out, std::size_t blocks, const u8* masks) {
  constexpr std::size_t B = R * L::kBlocks;
  if (blocks < B) return 0;
  const TKeys<L, kNr> k(key);
  std::size_t done = 0;
  for (; blocks - done >= B; done += B) {
    typename L::V x[R];
    for (int i = 0; i < R; ++i) {
      const std::size_t at = 16 * (done + i * L::kBlocks);
      x[i] = L::Xor(L::Load(in + at), L::Load(masks + at));
    }
    if constexpr (kDecrypt) DecryptRegs<L, R>(k, x); else EncryptRegs<L, R>(k, x);
    for (int i = 0; i < R; ++i) {
      const std::size_t at = 16 * (done + i * L::kBlocks);
      L::Store(out + at, L::Xor(x[i], L::Load(masks + at)));
    }
  }
  return done;
}

template <class L, int R, unsigned kNr>
std::size_t CBCDecryptSteps(const TSchedule& key, const u8* in, u8* out, std::size_t blocks, u8 iv[16]) {
  constexpr std::size_t B = R * L::kBlocks;
  if (blocks < B) return 0;
  const TKeys<L, kNr> k(key);
  __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(iv));
  std::size_t done = 0;
  for (; blocks - done >= B; done += B) {
    typename L::V c[R], x[R];
    for (int i = 0; i < R; ++i) x[i] = c[i] = L::Load(in + 16 * (done + i * L::kBlocks));
    DecryptRegs<L, R>(k, x);
    x[0] = L::Xor(x[0], L::Preceding(c[0], last));
    for (int i = 1; i < R; ++i) x[i] = L::Xor(x[i], L::Preceding(c[i], L::LastBlock(c[i - 1])));
    last = L::LastBlock(c[R - 1]);  // kept in a register: in may be out
    for (int i = 0; i < R; ++i) L::Store(out + 16 * (done + i * L::kBlocks), x[i]);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(iv), last);
  return done;
}

inline std::uint64_t LoadBE64(const u8* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return __builtin_bswap64(v);
}
inline void StoreBE64(u8* p, std::uint64_t v) {
  v = __builtin_bswap64(v);
  std::memcpy(p, &v, 8);
}

// Counter mode, kCounter one of these.
enum TCounterKind : int {
  kCount128,   // the whole block, big-endian
  kCount32BE,  // the last 4 bytes, big-endian (GCM)
  kCount32LE,  // the first 4 bytes, little-endian (GCM-SIV)
};

// The big-endian counter block is kept byte-reversed, so its low 64 (or 32) bits are the first
// little-endian word of the register and one vector addition makes a step's counters; the
// little-endian one is that word as loaded. With the 128-bit counter a step whose low word would
// carry is made block by block instead.
template <class L, int R, int kCounter, unsigned kNr>
std::size_t CTRSteps(const TSchedule& key, const u8* in, u8* out, std::size_t blocks, u8 ctr[16]) {
  constexpr std::size_t B = R * L::kBlocks;
  if (blocks < B) return 0;
  using V = typename L::V;
  const TKeys<L, kNr> k(key);
  V inc[R];
  for (int i = 0; i < R; ++i)
    inc[i] = L::Add64(L::Offsets(), L::Broadcast(_mm_set_epi64x(0, static_cast<long long>(i * L::kBlocks))));
  const V step = L::Broadcast(_mm_set_epi64x(0, static_cast<long long>(B)));
  constexpr bool kCounter32 = kCounter != kCount128, kLittle = kCounter == kCount32LE;
  const __m128i loaded = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ctr));
  V base = L::Broadcast(kLittle ? loaded : _mm_shuffle_epi8(loaded, ReverseMask128()));
  std::uint64_t hi = LoadBE64(ctr), lo = LoadBE64(ctr + 8);
  std::size_t done = 0;
  for (; blocks - done >= B; done += B) {
    V x[R];
    if (kCounter32) {
      for (int i = 0; i < R; ++i) x[i] = kLittle ? L::Add32(base, inc[i]) : L::Reverse(L::Add32(base, inc[i]));
      base = L::Add32(base, step);
    } else if (lo <= ~std::uint64_t{0} - (B - 1)) {
      base = L::Broadcast(_mm_set_epi64x(static_cast<long long>(hi), static_cast<long long>(lo)));
      for (int i = 0; i < R; ++i) x[i] = L::Reverse(L::Add64(base, inc[i]));
    } else {
      alignas(64) u8 counters[16 * B];
      for (std::size_t j = 0; j < B; ++j) {
        StoreBE64(counters + 16 * j, hi + (lo + j < lo));
        StoreBE64(counters + 16 * j + 8, lo + j);
      }
      for (int i = 0; i < R; ++i) x[i] = L::Load(counters + 16 * i * L::kBlocks);
    }
    if (!kCounter32) {
      hi += (lo + B < lo);
      lo += B;
    }
    EncryptRegs<L, R>(k, x);
    for (int i = 0; i < R; ++i) {
      u8* o = out + 16 * (done + i * L::kBlocks);
      L::Store(o, L::Xor(x[i], L::Load(in + 16 * (done + i * L::kBlocks))));
    }
  }
  if (kCounter32) {
    // The step counter already holds the next value in its low 32 bits.
    alignas(64) u8 whole[16 * L::kBlocks];
    L::Store(whole, kLittle ? base : L::Reverse(base));
    if (kLittle)
      std::memcpy(ctr, whole, 4);
    else
      std::memcpy(ctr + 12, whole + 12, 4);
  } else {
    StoreBE64(ctr, hi);
    StoreBE64(ctr + 8, lo);
  }
  return done;
}

// The serial modes: one block in flight, at the latency of the round instruction.
template <unsigned kNr>
void SerialEncrypt(const TKeys<Lanes1, kNr>& k, __m128i& v) {
  __m128i x[1] = {v};
  EncryptRegs<Lanes1, 1>(k, x);
  v = x[0];
}

inline TSchedule Enc(const TRoundKeys& key) { return {EncKeys(key), Rounds(key)}; }
inline TSchedule Dec(const TRoundKeys& key) { return {DecKeys(key), Rounds(key)}; }

inline __m128i Load16(const u8* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store16(u8* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

void EncryptCBC(const TRoundKeys& key, const u8* in, u8* out, std::size_t blocks, u8 iv[16]) {
  const TSchedule s = Enc(key);
  WithRounds(s.Nr, [&](auto nr) {
    const TKeys<Lanes1, decltype(nr)::value> k(s);
    __m128i v = Load16(iv);
    for (std::size_t i = 0; i < blocks; ++i) {
      v = _mm_xor_si128(v, Load16(in + 16 * i));
      SerialEncrypt(k, v);
      Store16(out + 16 * i, v);
    }
    Store16(iv, v);
  });
}

void OFB(const TRoundKeys& key, const u8* in, u8* out, std::size_t blocks, u8 iv[16]) {
  const TSchedule s = Enc(key);
  WithRounds(s.Nr, [&](auto nr) {
    const TKeys<Lanes1, decltype(nr)::value> k(s);
    __m128i v = Load16(iv);
    for (std::size_t i = 0; i < blocks; ++i) {
      SerialEncrypt(k, v);
      Store16(out + 16 * i, _mm_xor_si128(v, Load16(in + 16 * i)));
    }
    Store16(iv, v);
  });
}

void CBCMAC(const TRoundKeys& key, const u8* in, std::size_t blocks, u8 state[16]) {
  const TSchedule s = Enc(key);
  WithRounds(s.Nr, [&](auto nr) {
    const TKeys<Lanes1, decltype(nr)::value> k(s);
    __m128i v = Load16(state);
    for (std::size_t i = 0; i < blocks; ++i) {
      v = _mm_xor_si128(v, Load16(in + 16 * i));
      SerialEncrypt(k, v);
    }
    Store16(state, v);
  });
}

// Key wrap (W of RFC 3394) and its inverse over buf = A || R[1..n]: A stays in a register, each
// step enciphers A || R[i], xors the big-endian step number into the new A and stores R[i].
inline __m128i StepNumber(std::uint64_t t) { return _mm_cvtsi64_si128(static_cast<long long>(__builtin_bswap64(t))); }

void KeyWrap(const TRoundKeys& key, u8* buf, std::size_t n) {
  const TKeys<Lanes1> k(EncKeys(key), Rounds(key));
  __m128i A = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(buf));
  std::uint64_t t = 1;
  for (int j = 0; j < 6; ++j)
    for (std::size_t i = 1; i <= n; ++i, ++t) {
      __m128i x[1] = {_mm_unpacklo_epi64(A, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(buf + 8 * i)))};
      EncryptRegs<Lanes1, 1>(k, x);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(buf + 8 * i), _mm_unpackhi_epi64(x[0], x[0]));
      A = _mm_xor_si128(x[0], StepNumber(t));
    }
  _mm_storel_epi64(reinterpret_cast<__m128i*>(buf), A);
}

void KeyUnwrap(const TRoundKeys& key, u8* buf, std::size_t n) {
  const TKeys<Lanes1> k(DecKeys(key), Rounds(key));
  __m128i A = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(buf));
  std::uint64_t t = 6 * static_cast<std::uint64_t>(n);
  for (int j = 5; j >= 0; --j)
    for (std::size_t i = n; i >= 1; --i, --t) {
      __m128i x[1] = {_mm_unpacklo_epi64(_mm_xor_si128(A, StepNumber(t)),
                                         _mm_loadl_epi64(reinterpret_cast<const __m128i*>(buf + 8 * i)))};
      DecryptRegs<Lanes1, 1>(k, x);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(buf + 8 * i), _mm_unpackhi_epi64(x[0], x[0]));
      A = _mm_move_epi64(x[0]);
    }
  _mm_storel_epi64(reinterpret_cast<__m128i*>(buf), A);
}

// A parallel mode over any number of blocks: the wide steps first, then one register of the
// wide lanes at a time (with one-block lanes: four registers side by side, so a short message
// takes the rounds' latency once, not once per block), then single blocks.
template <class Wide, int R>
struct TParallel {
  static constexpr int kNext = Wide::kBlocks > 1 ? 1 : 4;
  static void EncryptECB(const TRoundKeys& k, const u8* in, u8* out, std::size_t n) { ECB<false>(k, in, out, n); }
  static void DecryptECB(const TRoundKeys& k, const u8* in, u8* out, std::size_t n) { ECB<true>(k, in, out, n); }
  static void DecryptCBC(const TRoundKeys& key, const u8* in, u8* out, std::size_t n, u8 iv[16]) {
    const TSchedule k = Dec(key);
    WithRounds(k.Nr, [&](auto nr) {
      std::size_t d = CBCDecryptSteps<Wide, R, decltype(nr)::value>(k, in, out, n, iv);
      d += CBCDecryptSteps<Wide, kNext, decltype(nr)::value>(k, in + 16 * d, out + 16 * d, n - d, iv);
      CBCDecryptSteps<Lanes1, 1, decltype(nr)::value>(k, in + 16 * d, out + 16 * d, n - d, iv);
    });
  }
  static void CTR128(const TRoundKeys& k, const u8* in, u8* out, std::size_t n, u8 ctr[16]) { CTR<kCount128>(k, in, out, n, ctr); }
  static void CTR32(const TRoundKeys& k, const u8* in, u8* out, std::size_t n, u8 ctr[16]) { CTR<kCount32BE>(k, in, out, n, ctr); }
  static void CTR32LE(const TRoundKeys& k, const u8* in, u8* out, std::size_t n, u8 ctr[16]) { CTR<kCount32LE>(k, in, out, n, ctr); }

  static void EncryptWhitened(const TRoundKeys& k, const u8* in, u8* out, std::size_t n, const u8* masks) {
    Whitened<false>(k, in, out, n, masks);
  }
  static void DecryptWhitened(const TRoundKeys& k, const u8* in, u8* out, std::size_t n, const u8* masks) {
    Whitened<true>(k, in, out, n, masks);
  }

  // Each entry reads the schedule from the key once and runs the steps for its round count.
  template <bool kDecrypt>
  static void Whitened(const TRoundKeys& key, const u8* in, u8* out, std::size_t n, const u8* masks) {
    const TSchedule k = kDecrypt ? Dec(key) : Enc(key);
    WithRounds(k.Nr, [&](auto nr) {
      std::size_t d = WhitenedSteps<Wide, R, kDecrypt, decltype(nr)::value>(k, in, out, n, masks);
      d += WhitenedSteps<Wide, kNext, kDecrypt, decltype(nr)::value>(k, in + 16 * d, out + 16 * d, n - d, masks + 16 * d);
      WhitenedSteps<Lanes1, 1, kDecrypt, decltype(nr)::value>(k, in + 16 * d, out + 16 * d, n - d, masks + 16 * d);
    });
  }
  template <bool kDecrypt>
  static void ECB(const TRoundKeys& key, const u8* in, u8* out, std::size_t n) {
    const TSchedule k = kDecrypt ? Dec(key) : Enc(key);
    WithRounds(k.Nr, [&](auto nr) {
      std::size_t d = ECBSteps<Wide, R, kDecrypt, decltype(nr)::value>(k, in, out, n);
      d += ECBSteps<Wide, kNext, kDecrypt, decltype(nr)::value>(k, in + 16 * d, out + 16 * d, n - d);
      ECBSteps<Lanes1, 1, kDecrypt, decltype(nr)::value>(k, in + 16 * d, out + 16 * d, n - d);
    });
  }
  template <int kCounter>
  static void CTR(const TRoundKeys& key, const u8* in, u8* out, std::size_t n, u8 ctr[16]) {
    const TSchedule k = Enc(key);
    WithRounds(k.Nr, [&](auto nr) {
      std::size_t d = CTRSteps<Wide, R, kCounter, decltype(nr)::value>(k, in, out, n, ctr);
      d += CTRSteps<Wide, kNext, kCounter, decltype(nr)::value>(k, in + 16 * d, out + 16 * d, n - d, ctr);
      CTRSteps<Lanes1, 1, kCounter, decltype(nr)::value>(k, in + 16 * d, out + 16 * d, n - d, ctr);
    });
  }
};

}  // namespace
}  // namespace AESModes::kernel
