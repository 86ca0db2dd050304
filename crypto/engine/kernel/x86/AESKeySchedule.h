// Key set-up on the AES instructions, shared by the AES-NI and VAES kernel files (each builds its
// own copy with its own encoding; internal linkage, like AESKernelLanes.h).
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "crypto/engine/kernel/AESKernelOps.h"
#include "crypto/engine/kernel/VectorWipe.h"

namespace AESModes::kernel {
namespace {

// SubWord on the AES unit: with the word in all four columns, ShiftRows moves equal bytes onto each
// other, so AESENCLAST with a zero round key is SubBytes of the word in every column.
inline std::uint32_t SubWord(std::uint32_t w) {
  const __m128i s = _mm_aesenclast_si128(_mm_set1_epi32(static_cast<int>(w)), _mm_setzero_si128());
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(s));
}

// The cipher's schedule for Nk (1..8) words: 4 * (Nk + 7) words at w. Words are little-endian, so
// byte 0 of a word is its low byte: RotWord is a rotation right by 8 and the round constant goes
// into the low byte. Which words take SubWord depends on i and Nk only; the round constant is
// doubled in ordinary code, which also serves the constants past the tenth that Nk below 4 needs.
inline void ExpandKeyAES(const std::uint8_t* key, unsigned Nk, std::uint8_t* w) {
  std::memcpy(w, key, 4 * Nk);
  std::uint32_t prev;
  std::memcpy(&prev, w + 4 * (Nk - 1), 4);
  std::uint32_t rcon = 1;
  const unsigned total = 4 * (Nk + 7);
  for (unsigned i = Nk, r = 0; i < total; ++i) {
    std::uint32_t t = prev;
    if (r == 0) {
      t = SubWord((t >> 8) | (t << 24)) ^ rcon;
      rcon = ((rcon << 1) ^ (0x1B & (0 - (rcon >> 7)))) & 0xFF;
    } else if (Nk > 6 && r == 4) {
      t = SubWord(t);
    }
    std::uint32_t back;
    std::memcpy(&back, w + 4 * (i - Nk), 4);
    prev = back ^ t;
    std::memcpy(w + 4 * i, &prev, 4);
    if (++r == Nk) r = 0;
  }
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
  const TVectorWipe wipe;
  ExpandKeyAES(key, Nk, FillEncKeys(k));
}

void ExpandInverse(TRoundKeys& k) {
  const TVectorWipe wipe;
  ExpandInverseAES(EncKeys(k), Rounds(k), FillDecKeys(k));
}

}  // namespace
}  // namespace AESModes::kernel
