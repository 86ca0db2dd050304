// Key set-up on the AES instructions and the kernel table, shared by the AES-NI and VAES kernel
// files (each builds its own copy with its own encoding; internal linkage, like AESKernelLanes.h).
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "crypto/engine/kernel/AESKernelOps.h"
#include "crypto/engine/kernel/KeyScheduleWords.h"
#include "crypto/engine/kernel/x86/AESKernelLanes.h"
#include "crypto/engine/kernel/x86/XTSOCBLanes.h"
#include "crypto/engine/kernel/x86/GHASHClmul.h"

namespace AESModes::kernel {
namespace {

// SubWord on the AES unit: with the word in all four columns, ShiftRows moves equal bytes onto each
// other, so AESENCLAST with a zero round key is SubBytes of the word in every column.
inline std::uint32_t SubWord(std::uint32_t w) {
  const __m128i s = _mm_aesenclast_si128(_mm_set1_epi32(static_cast<int>(w)), _mm_setzero_si128());
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(s));
}

// The equivalent inverse cipher's schedule: the round keys in reverse, the inner ones through
// InvMixColumns (AESIMC).
inline void ExpandInverseAES(const std::uint8_t* enc, unsigned Nr, std::uint8_t* dec) {
  const auto load = [enc](unsigned r) { return _mm_load_si128(reinterpret_cast<const __m128i*>(enc + 16 * r)); };
  const auto store = [dec](unsigned r, __m128i v) { _mm_store_si128(reinterpret_cast<__m128i*>(dec + 16 * r), v); };
  store(0, load(Nr));
  for (unsigned r = 1; r < Nr; ++r) store(r, _mm_aesimc_si128(load(Nr - r)));
  store(Nr, load(0));
}

// One word-step of the recurrence over a whole round key: each word of k xored with every word
// before it (three shifted xors), then with t, the step's SubWord (and RotWord and constant) word
// broadcast to all four columns by the shuffle.
template <int kPick>
inline __m128i NextRoundKey(__m128i k, __m128i assist) {
  k = _mm_xor_si128(k, _mm_slli_si128(k, 4));
  k = _mm_xor_si128(k, _mm_slli_si128(k, 8));
  return _mm_xor_si128(k, _mm_shuffle_epi32(assist, kPick));
}

inline void StoreRoundKey(std::uint8_t* w, unsigned r, __m128i v) {
  _mm_store_si128(reinterpret_cast<__m128i*>(w + 16 * r), v);
}

// AES-128 and AES-256 entirely in registers: AESKEYGENASSIST gives SubWord(RotWord(w3)) xor rcon
// (word 3) and SubWord(w3) (word 2) of its operand; its round constant is an immediate, so the
// steps are written out. Nothing of the key is stored but the round keys into the schedule.
template <int kRcon>
inline __m128i Step128(std::uint8_t* w, unsigned r, __m128i k) {
  k = NextRoundKey<0xFF>(k, _mm_aeskeygenassist_si128(k, kRcon));
  StoreRoundKey(w, r, k);
  return k;
}

inline void Expand128(const std::uint8_t* key, std::uint8_t* w) {
  __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key));
  StoreRoundKey(w, 0, k);
  k = Step128<0x01>(w, 1, k);
  k = Step128<0x02>(w, 2, k);
  k = Step128<0x04>(w, 3, k);
  k = Step128<0x08>(w, 4, k);
  k = Step128<0x10>(w, 5, k);
  k = Step128<0x20>(w, 6, k);
  k = Step128<0x40>(w, 7, k);
  k = Step128<0x80>(w, 8, k);
  k = Step128<0x1B>(w, 9, k);
  Step128<0x36>(w, 10, k);
}

// Round keys 2j and 2j + 1 of AES-256 from the two before them: the first from RotWord, SubWord
// and the constant of the odd one's last word, the second from SubWord alone of the new one's.
template <int kRcon, bool kSecond = true>
inline void Step256(std::uint8_t* w, unsigned r, __m128i& even, __m128i& odd) {
  even = NextRoundKey<0xFF>(even, _mm_aeskeygenassist_si128(odd, kRcon));
  StoreRoundKey(w, r, even);
  if constexpr (kSecond) {
    odd = NextRoundKey<0xAA>(odd, _mm_aeskeygenassist_si128(even, 0));
    StoreRoundKey(w, r + 1, odd);
  }
}

inline void Expand256(const std::uint8_t* key, std::uint8_t* w) {
  __m128i even = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key));
  __m128i odd = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key + 16));
  StoreRoundKey(w, 0, even);
  StoreRoundKey(w, 1, odd);
  Step256<0x01>(w, 2, even, odd);
  Step256<0x02>(w, 4, even, odd);
  Step256<0x04>(w, 6, even, odd);
  Step256<0x08>(w, 8, even, odd);
  Step256<0x10>(w, 10, even, odd);
  Step256<0x20>(w, 12, even, odd);
  Step256<0x40, false>(w, 14, even, odd);
}

// The table entries. AES-192 and the other word counts take the word-by-word recurrence.
void ExpandKey(TRoundKeys& k, const std::uint8_t* key, unsigned Nk) {
  std::uint8_t* w = FillEncKeys(k);
  if (Nk == 4) return Expand128(key, w);
  if (Nk == 8) return Expand256(key, w);
  ExpandKeyWords(key, Nk, w, SubWord);
}

void ExpandInverse(TRoundKeys& k) {
  ExpandInverseAES(EncKeys(k), Rounds(k), FillDecKeys(k));
}

// Whether this folder was built to zero, in every function, the registers it used on its way out.
#if defined(AES_KERNEL_CLEARS_REGISTERS)
constexpr bool kClearsRegisters = true;
#else
constexpr bool kClearsRegisters = false;
#endif

// The table of an x86 kernel whose parallel modes run eight registers of Wide a step.
template <class Wide>
constexpr TKernelOps X86Ops(decltype(TKernelOps::GHash) ghash, TGCMCryptFn* gcm, decltype(TKernelOps::PolyVal) polyval) {
  using TModes = TParallel<Wide, 8>;
  using TTweaked = TTweakedModes<Wide, 8>;
  return {.ExpandKey = ExpandKey,
          .ExpandInverse = ExpandInverse,
          .EncryptECB = TModes::EncryptECB,
          .DecryptECB = TModes::DecryptECB,
          .EncryptCBC = EncryptCBC,
          .DecryptCBC = TModes::DecryptCBC,
          .OFB = OFB,
          .CTR128 = TModes::CTR128,
          .CTR32 = TModes::CTR32,
          .CBCMAC = CBCMAC,
          .GHashSetKey = SetPowers,
          .GHashExtendKey = ExtendPowers,
          .GHash = ghash,
          .GCMCrypt = gcm,
          .CTR32LE = TModes::CTR32LE,
          .PolyVal = polyval,
          .EncryptWhitened = TModes::EncryptWhitened,
          .DecryptWhitened = TModes::DecryptWhitened,
          .Wrap = KeyWrap,
          .Unwrap = KeyUnwrap,
          .ClearsRegisters = kClearsRegisters,
          .EncryptXTS = TTweaked::EncryptXTS,
          .DecryptXTS = TTweaked::DecryptXTS,
          .EncryptOCB = TTweaked::EncryptOCB,
          .DecryptOCB = TTweaked::DecryptOCB,
          .HashOCB = TTweaked::HashOCB};
}

}  // namespace
}  // namespace AESModes::kernel
