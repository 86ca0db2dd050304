// Key set-up on the AES instructions and the kernel table, shared by the AES-NI and VAES kernel
// files (each builds its own copy with its own encoding; internal linkage, like AESKernelLanes.h).
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "crypto/engine/kernel/AESKernelOps.h"
#include "crypto/engine/kernel/KeyScheduleWords.h"
#include "crypto/engine/kernel/x86/AESKernelLanes.h"

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

// The table entries.
void ExpandKey(TRoundKeys& k, const std::uint8_t* key, unsigned Nk) {
  ExpandKeyWords(key, Nk, FillEncKeys(k), SubWord);
}

void ExpandInverse(TRoundKeys& k) {
  ExpandInverseAES(EncKeys(k), Rounds(k), FillDecKeys(k));
}

// The table of an x86 kernel whose parallel modes run eight registers of Wide a step.
template <class Wide>
constexpr TKernelOps X86Ops(decltype(TKernelOps::GHash) ghash, TGCMCryptFn* gcm, decltype(TKernelOps::PolyVal) polyval) {
  using TModes = TParallel<Wide, 8>;
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
          .GHashSetKey = GHashSetKeyPCLMUL,
          .GHash = ghash,
          .GCMCrypt = gcm,
          .CTR32LE = TModes::CTR32LE,
          .PolyVal = polyval};
}

}  // namespace
}  // namespace AESModes::kernel
