// XTS and OCB3 over the lanes of AESKernelLanes.h: the per-block masks (XTS's tweaks, OCB's
// offsets) made in registers a step at a time, and the step's blocks whitened, enciphered and
// whitened again in the same pass. Included by the instruction-set kernel files (through
// AESKeySchedule.h); internal linkage, like AESKernelLanes.h.
#pragma once

#include <immintrin.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "crypto/engine/kernel/AESKernelOps.h"
#include "crypto/engine/kernel/x86/AESKernelLanes.h"

namespace AESModes::kernel {
namespace {

// Every block of v times x^k (0 < k < 64) in XTS's field: the 128-bit little-endian number
// shifted up by k bits, and the k bits shifted out of the top added back in times x^7 + x^2 + x +
// 1 by one carry-less multiplication.
template <class L>
inline typename L::V TimesXPow(typename L::V v, int k) {
  const typename L::V carry = L::ShiftR64(v, 64 - k);  // each half's top k bits
  const typename L::V poly = L::Broadcast(_mm_cvtsi32_si128(0x87));
  return L::Xor(L::Xor(L::ShiftL64(v, k), L::LowToHigh(carry)), L::ClMulHighLow(carry, poly));
}

// A table's address made opaque once per step, as PerStep does for the schedule: the compiler would
// otherwise load the entries once before the loop and, short of registers, spill some of them
// (key-derived) onto the stack.
template <class P>
inline P Reloaded(P p) {
  __asm__ volatile("" : "+r"(p));
  return p;
}

// [t, t x, t x^2, ..]: a register of consecutive tweaks from the first.
template <class L>
inline typename L::V Consecutive(__m128i t) {
  if constexpr (L::kBlocks == 1) {
    return t;
  } else {
    const __m128i t1 = TimesXPow<Lanes1>(t, 1);
    if constexpr (L::kBlocks == 2) {
      return L::FromBlocks(t, t1);
    } else {
      const __m128i t2 = TimesXPow<Lanes1>(t1, 1);
      return L::FromBlocks(t, t1, t2, TimesXPow<Lanes1>(t2, 1));
    }
  }
}

// The rounds between the first and the last: the whitenings of XTS and OCB are folded into the
// first round key (x already holds in xor mask xor round key 0) and the last (each block's last
// round runs with round key Nr xor its mask), so a block costs one vector operation less on each
// side, on the ports the round instructions share.
template <class L, int R, bool kDecrypt, unsigned kNr>
inline void InnerRounds(const TKeys<L, kNr>& k, typename L::V (&x)[R]) {
  for (unsigned r = 1; r < k.Nr(); ++r)
    for (int i = 0; i < R; ++i) x[i] = kDecrypt ? L::Dec(x[i], k[r]) : L::Enc(x[i], k[r]);
}

template <class L, bool kDecrypt>
inline typename L::V LastRound(typename L::V x, typename L::V key) {
  return kDecrypt ? L::DecLast(x, key) : L::EncLast(x, key);
}

// XTS's tweak times x on the 64-bit halves of the general registers, as one-block lanes make
// them: there the vector ports are the round instructions' own, and a vector doubling per block
// would cost as much as two rounds.
inline void Double(std::uint64_t& lo, std::uint64_t& hi) {
  const std::uint64_t carry = 0 - (hi >> 63);
  hi = hi << 1 | lo >> 63;
  lo = lo << 1 ^ (0x87 & carry);
}

// XTS, R registers a step. Nothing key-derived stays in a register across the rounds but the
// blocks: the step's tweaks wait in scratch for the last round (with sixteen vector registers, R
// blocks and R tweaks would not all stay in registers, and what the compiler spilled would stay
// on the stack). With one-block lanes each tweak is the one before times x, made in the general
// registers a step ahead into the other half of scratch (a 16-byte load right after the two
// 8-byte stores of its halves would wait for them to reach the cache); with wider lanes register
// i's tweaks are the first register's times x^(i n) (n blocks a register), each made from the
// first in parallel, and the first, kept in scratch, advances by x^B a step. The tweak in memory
// is loaded once and stored back advanced.
template <class L, int R, bool kDecrypt, unsigned kNr>
std::size_t XTSSteps(const TSchedule& key, const u8* in, u8* out, std::size_t blocks, u8 tweak[16], u8* scratch) {
  using V = typename L::V;
  constexpr std::size_t B = R * L::kBlocks;
  constexpr bool kScalar = L::kBlocks == 1;
  static_assert(2 * 16 * B <= kTweakScratchBytes);
  if (blocks < B) return 0;
  const TKeys<L, kNr> keys(key);
  std::uint64_t lo = 0, hi = 0;
  u8* ready = scratch;  // this step's tweaks
  u8* next = scratch + 16 * B;
  const auto fill = [&](u8* to) {
    for (std::size_t i = 0; i < B; ++i, Double(lo, hi)) {
      std::memcpy(to + 16 * i, &lo, 8);
      std::memcpy(to + 16 * i + 8, &hi, 8);
    }
  };
  if constexpr (kScalar) {
    std::memcpy(&lo, tweak, 8);
    std::memcpy(&hi, tweak + 8, 8);
    fill(ready);
  } else {
    L::Store(ready, Consecutive<L>(Load16(tweak)));
  }
  std::size_t done = 0;
  for (; blocks - done >= B; done += B) {
    const TKeys<L, kNr> k = PerStep(keys);
    ready = Reloaded(ready);
    const V first = k[0];
    V x[R];
    if constexpr (!kScalar) {
      const V t = L::Load(ready);
      for (int i = 1; i < R; ++i) L::Store(ready + 16 * i * L::kBlocks, TimesXPow<L>(t, i * static_cast<int>(L::kBlocks)));
    }
    for (int i = 0; i < R; ++i) {
      const V ti = L::Load(ready + 16 * i * L::kBlocks);
      x[i] = L::Xor(L::Load(in + 16 * (done + i * L::kBlocks)), L::Xor(first, ti));
    }
    if constexpr (kScalar) fill(next);
    InnerRounds<L, R, kDecrypt>(k, x);
    ready = Reloaded(ready);
    const V last = k[k.Nr()];
    for (int i = 0; i < R; ++i) {
      const V r = LastRound<L, kDecrypt>(x[i], L::Xor(last, L::Load(ready + 16 * i * L::kBlocks)));
      L::Store(out + 16 * (done + i * L::kBlocks), r);
    }
    if constexpr (kScalar)
      std::swap(ready, next);
    else
      L::Store(ready, TimesXPow<L>(L::Load(ready), static_cast<int>(B)));
  }
  // The next block's tweak: the first of the next step's.
  std::memcpy(tweak, ready, 16);
  return done;
}

// OCB's offsets relative to the offset before a step: Q[j - 1] = L[ntz(1)] xor .. xor L[ntz(j)]
// for j = 1..n. When B divides p, the offset of block p + j is Offset_p xor Q[j - 1] for j < B,
// and for j = B too when p + B has exactly log2 B trailing zero bits; otherwise the step's last
// block needs L[log2 B] xor L[ntz(p + B)] more (zero in the first case, so every step adds it).
inline void OCBRelative(const u8* L, u8* Q, std::size_t n) {
  __m128i q = _mm_setzero_si128();
  for (std::size_t j = 1; j <= n; ++j) {
    q = _mm_xor_si128(q, Load16(L + 16 * std::countr_zero(j)));
    Store16(Q + 16 * (j - 1), q);
  }
}

enum TOCBPass : int { kOCBEncrypt, kOCBDecrypt, kOCBHash };

// OCB, R registers a step over the blocks numbered pos + 1 .. (B dividing pos): a block's offset
// is the step's starting offset xor its entry of Q, so the step's offset xor round key 0 (and xor
// round key Nr) is made once and each block takes its entry of Q on top. Nothing key-derived stays
// in a register across the rounds but the blocks: the offset is read from the run before the
// first round and again before the last, and stored advanced; the blocks' sum (the plain blocks,
// or the enciphered ones of the hash) is gathered after the rounds and added to the run's.
template <class L, int R, int kPass, unsigned kNr>
std::size_t OCBSteps(const TSchedule& key, const u8* in, u8* out, std::size_t blocks, const TOCBRun& run,
                     std::uint64_t pos, const u8* Q) {
  using V = typename L::V;
  constexpr std::size_t B = R * L::kBlocks;
  constexpr int kLog = std::countr_zero(B);
  constexpr bool kDecrypt = kPass == kOCBDecrypt;
  if (blocks < B) return 0;
  const TKeys<L, kNr> keys(key);
  std::size_t done = 0;
  for (; blocks - done >= B; done += B, pos += B) {
    const TKeys<L, kNr> k = PerStep(keys);
    // Q's entries of register i, with the last block's correction L[log2 B] xor L[ntz(pos + B)].
    const auto fix = [&] {
      const u8* levels = Reloaded(run.L);
      return _mm_xor_si128(Load16(levels + 16 * kLog), Load16(levels + 16 * std::countr_zero(pos + B)));
    };
    const auto relative = [&](const u8* q, int i) {
      const V e = L::Load(q + 16 * i * L::kBlocks);
      return i == R - 1 ? L::Xor(e, L::LastOnly(fix())) : e;
    };
    const auto offset = [&] { return Load16(Reloaded(run.Offset)); };
    {
      const u8* q = Reloaded(Q);
      const V first = L::Xor(L::Broadcast(offset()), k[0]);
      V x[R];
      for (int i = 0; i < R; ++i) x[i] = L::Xor(L::Load(in + 16 * (done + i * L::kBlocks)), L::Xor(first, relative(q, i)));
      InnerRounds<L, R, kDecrypt>(k, x);
      q = Reloaded(Q);
      const V last = kPass == kOCBHash ? k[k.Nr()] : L::Xor(L::Broadcast(offset()), k[k.Nr()]);
      V sum = L::Broadcast(_mm_setzero_si128());
      for (int i = 0; i < R; ++i) {
        if constexpr (kPass == kOCBHash) {
          // E(in xor offset), without the second whitening.
          sum = L::Xor(sum, LastRound<L, false>(x[i], last));
        } else {
          const V r = LastRound<L, kDecrypt>(x[i], L::Xor(last, relative(q, i)));
          // The plain block: read before its cipher block is written over it (out may be in).
          sum = L::Xor(sum, kDecrypt ? r : L::Load(in + 16 * (done + i * L::kBlocks)));
          L::Store(out + 16 * (done + i * L::kBlocks), r);
        }
      }
      u8* sums = Reloaded(run.Sum);
      Store16(sums, _mm_xor_si128(Load16(sums), L::Fold(sum)));
    }
    Store16(run.Offset, _mm_xor_si128(_mm_xor_si128(offset(), Load16(Reloaded(Q) + 16 * (B - 1))), fix()));
  }
  return done;
}

// The table entries for a kernel whose parallel modes run R registers of Wide a step: the wide
// steps, then one register of Wide at a time (four with one-block lanes), then single blocks,
// as TParallel does. With the round count known only at run time (word counts other than AES's)
// the round loop holds its counter and round key in registers too, and the wide steps take half
// the registers, so that no whitened block is spilled.
template <class Wide, int R>
struct TTweakedModes {
  static constexpr int kNext = TParallel<Wide, R>::kNext;
  template <unsigned kNr>
  static constexpr int kWide = kNr == 0 ? R / 2 : R;
  // XTS on one-block lanes keeps its tweaks out of the vector registers, so twelve blocks fit in
  // flight (the round instruction's latency over its issue interval is about eight on recent
  // cores; eight blocks leave the units idle part of the time). XTS's steps need not be a power
  // of two; OCB's must.
  template <unsigned kNr>
  static constexpr int kXTSWide = Wide::kBlocks == 1 && kNr != 0 ? 12 : kWide<kNr>;
  static constexpr std::size_t kStep = R * Wide::kBlocks;
  static_assert(16 * kStep <= kTweakScratchBytes);

  static void EncryptXTS(const TRoundKeys& k, const u8* in, u8* out, std::size_t n, u8 tweak[16], u8* scratch) {
    XTS<false>(k, in, out, n, tweak, scratch);
  }
  static void DecryptXTS(const TRoundKeys& k, const u8* in, u8* out, std::size_t n, u8 tweak[16], u8* scratch) {
    XTS<true>(k, in, out, n, tweak, scratch);
  }
  static void EncryptOCB(const TRoundKeys& k, const u8* in, u8* out, std::size_t n, const TOCBRun& run) {
    OCB<kOCBEncrypt>(k, in, out, n, run);
  }
  static void DecryptOCB(const TRoundKeys& k, const u8* in, u8* out, std::size_t n, const TOCBRun& run) {
    OCB<kOCBDecrypt>(k, in, out, n, run);
  }
  static void HashOCB(const TRoundKeys& k, const u8* in, u8* out, std::size_t n, const TOCBRun& run) {
    OCB<kOCBHash>(k, in, out, n, run);
  }

  template <bool kDecrypt>
  static void XTS(const TRoundKeys& key, const u8* in, u8* out, std::size_t n, u8 tweak[16], u8* scratch) {
    const TSchedule k = kDecrypt ? Dec(key) : Enc(key);
    WithRounds(k.Nr, [&](auto nr) {
      constexpr unsigned kNr = decltype(nr)::value;
      std::size_t d = XTSSteps<Wide, kXTSWide<kNr>, kDecrypt, kNr>(k, in, out, n, tweak, scratch);
      d += XTSSteps<Wide, kNext, kDecrypt, kNr>(k, in + 16 * d, out + 16 * d, n - d, tweak, scratch);
      XTSSteps<Lanes1, 1, kDecrypt, kNr>(k, in + 16 * d, out + 16 * d, n - d, tweak, scratch);
    });
  }

  // The hash pass writes nothing; out is then in (never null, so the arithmetic on it is sound).
  template <int kPass>
  static void OCB(const TRoundKeys& key, const u8* in, u8* out, std::size_t n, const TOCBRun& run) {
    const TSchedule k = kPass == kOCBDecrypt ? Dec(key) : Enc(key);
    if constexpr (kPass == kOCBHash) out = const_cast<u8*>(in);
    const u8* Q = run.Scratch;
    // As many entries as the widest step that fits (Q's first entries are the same for every
    // step size), and the one a single block needs.
    OCBRelative(run.L, run.Scratch, n < kStep ? (n > 0 ? n : 1) : kStep);
    WithRounds(k.Nr, [&](auto nr) {
      constexpr unsigned kNr = decltype(nr)::value;
      std::size_t d = 0;
      // A run that starts inside a step goes block by block to the step's end.
      for (; d < n && (run.First + d) % kStep != 0; ++d)
        OCBSteps<Lanes1, 1, kPass, kNr>(k, in + 16 * d, out + 16 * d, 1, run, run.First + d, Q);
      d += OCBSteps<Wide, kWide<kNr>, kPass, kNr>(k, in + 16 * d, out + 16 * d, n - d, run, run.First + d, Q);
      d += OCBSteps<Wide, kNext, kPass, kNr>(k, in + 16 * d, out + 16 * d, n - d, run, run.First + d, Q);
      OCBSteps<Lanes1, 1, kPass, kNr>(k, in + 16 * d, out + 16 * d, n - d, run, run.First + d, Q);
    });
  }
};

}  // namespace
}  // namespace AESModes::kernel
