// XTS and OCB3 over the lanes of AESKernelLanes.h: the per-block masks (XTS's tweaks, OCB's
// offsets) made in registers a step at a time, and the step's blocks whitened, enciphered and
// whitened again in the same pass. Included by the instruction-set kernel files (through
// AESKeySchedule.h); internal linkage, like AESKernelLanes.h.
#pragma once

#include <immintrin.h>

#include <bit>
#include <cstddef>
#include <cstdint>

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

// XTS, R registers a step. Register i's tweaks are the first register's times x^(i n) (n blocks
// a register), each made from the first in parallel, and the first advances by x^B a step. The
// tweaks wait in scratch for the second whitening: with sixteen vector registers, R blocks and R
// tweaks would not all stay in registers, and what the compiler spilled would stay on the stack.
// The tweak in memory is loaded once and stored back advanced.
template <class L, int R, bool kDecrypt, unsigned kNr>
std::size_t XTSSteps(const TSchedule& key, const u8* in, u8* out, std::size_t blocks, u8 tweak[16], u8* scratch) {
  using V = typename L::V;
  constexpr std::size_t B = R * L::kBlocks;
  if (blocks < B) return 0;
  const TKeys<L, kNr> k(key);
  V t = Consecutive<L>(Load16(tweak));
  std::size_t done = 0;
  for (; blocks - done >= B; done += B) {
    V x[R];
    for (int i = 0; i < R; ++i) {
      const V ti = i == 0 ? t : TimesXPow<L>(t, i * static_cast<int>(L::kBlocks));
      L::Store(scratch + 16 * i * L::kBlocks, ti);
      x[i] = L::Xor(L::Load(in + 16 * (done + i * L::kBlocks)), ti);
    }
    t = TimesXPow<L>(t, static_cast<int>(B));
    if constexpr (kDecrypt) DecryptRegs<L, R>(k, x); else EncryptRegs<L, R>(k, x);
    for (int i = 0; i < R; ++i)
      L::Store(out + 16 * (done + i * L::kBlocks), L::Xor(x[i], L::Load(scratch + 16 * i * L::kBlocks)));
  }
  Store16(tweak, L::FirstBlock(t));
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

// OCB, R registers a step over the blocks numbered pos + 1 .. (B dividing pos): each register's
// offsets are the step's starting offset xor its part of Q, made again for the second whitening
// rather than kept; the sum is gathered in a register and added to the run's once. Offset and
// sum in memory are loaded once and stored back.
template <class L, int R, int kPass, unsigned kNr>
std::size_t OCBSteps(const TSchedule& key, const u8* in, u8* out, std::size_t blocks, const TOCBRun& run,
                     std::uint64_t pos, const u8* Q) {
  using V = typename L::V;
  constexpr std::size_t B = R * L::kBlocks;
  constexpr int kLog = std::countr_zero(B);
  if (blocks < B) return 0;
  const TKeys<L, kNr> k(key);
  __m128i offset = Load16(run.Offset);
  V sum = L::Broadcast(_mm_setzero_si128());
  std::size_t done = 0;
  for (; blocks - done >= B; done += B, pos += B) {
    const __m128i fix = _mm_xor_si128(Load16(run.L + 16 * kLog), Load16(run.L + 16 * std::countr_zero(pos + B)));
    const V o = L::Broadcast(offset), last = L::LastOnly(fix);
    const auto offsets = [&](int i) {
      const V oi = L::Xor(o, L::Load(Q + 16 * i * L::kBlocks));
      return i == R - 1 ? L::Xor(oi, last) : oi;
    };
    V x[R];
    for (int i = 0; i < R; ++i) {
      const V p = L::Load(in + 16 * (done + i * L::kBlocks));
      if constexpr (kPass == kOCBEncrypt) sum = L::Xor(sum, p);
      x[i] = L::Xor(p, offsets(i));
    }
    offset = _mm_xor_si128(_mm_xor_si128(offset, Load16(Q + 16 * (B - 1))), fix);
    if constexpr (kPass == kOCBDecrypt) DecryptRegs<L, R>(k, x); else EncryptRegs<L, R>(k, x);
    for (int i = 0; i < R; ++i) {
      if constexpr (kPass == kOCBHash) {
        sum = L::Xor(sum, x[i]);
      } else {
        const V r = L::Xor(x[i], offsets(i));
        L::Store(out + 16 * (done + i * L::kBlocks), r);
        if constexpr (kPass == kOCBDecrypt) sum = L::Xor(sum, r);
      }
    }
  }
  Store16(run.Offset, offset);
  Store16(run.Sum, _mm_xor_si128(Load16(run.Sum), L::Fold(sum)));
  return done;
}

// The table entries for a kernel whose parallel modes run R registers of Wide a step: the wide
// steps, then one register of Wide at a time (four with one-block lanes), then single blocks,
// as TParallel does.
template <class Wide, int R>
struct TTweakedModes {
  static constexpr int kNext = TParallel<Wide, R>::kNext;
  static constexpr std::size_t kStep = R * Wide::kBlocks, kNextStep = kNext * Wide::kBlocks;
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
      std::size_t d = XTSSteps<Wide, R, kDecrypt, kNr>(k, in, out, n, tweak, scratch);
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
    OCBRelative(run.L, run.Scratch, n >= kStep ? kStep : n >= kNextStep ? kNextStep : 1);
    WithRounds(k.Nr, [&](auto nr) {
      constexpr unsigned kNr = decltype(nr)::value;
      std::size_t d = 0;
      // A run that starts inside a step goes block by block to the step's end.
      for (; d < n && (run.First + d) % kStep != 0; ++d)
        OCBSteps<Lanes1, 1, kPass, kNr>(k, in + 16 * d, out + 16 * d, 1, run, run.First + d, Q);
      d += OCBSteps<Wide, R, kPass, kNr>(k, in + 16 * d, out + 16 * d, n - d, run, run.First + d, Q);
      d += OCBSteps<Wide, kNext, kPass, kNr>(k, in + 16 * d, out + 16 * d, n - d, run, run.First + d, Q);
      OCBSteps<Lanes1, 1, kPass, kNr>(k, in + 16 * d, out + 16 * d, n - d, run, run.First + d, Q);
    });
  }
};

}  // namespace
}  // namespace AESModes::kernel
