// The key expansion's recurrence, shared by the kernels that run SubWord on their AES unit (each
// includes it with its own instruction set; internal linkage).
#pragma once

#include <cstdint>
#include <cstring>

namespace AESModes::kernel {
namespace {

// The cipher's schedule for Nk (1..8) words: 4 * (Nk + 7) words at w, SubWord from subWord. Words
// are little-endian, so byte 0 of a word is its low byte: RotWord is a rotation right by 8 and the
// round constant goes into the low byte. Which words take SubWord depends on i and Nk only; the
// round constant is doubled in ordinary code, which also serves the constants past the tenth that
// Nk below 4 needs.
template <class TSubWord>
inline void ExpandKeyWords(const std::uint8_t* key, unsigned Nk, std::uint8_t* w, TSubWord subWord) {
  // The key's words into the schedule one by one, not through the C library's memcpy, whose
  // wide copies would leave key bytes in registers this code never names.
  // The empty asm keeps the compiler from turning the loop back into that call.
  for (unsigned i = 0; i < Nk; ++i) {
    std::uint32_t word;
    std::memcpy(&word, key + 4 * i, 4);
    __asm__("" : "+r"(word));
    std::memcpy(w + 4 * i, &word, 4);
  }
  std::uint32_t prev;
  std::memcpy(&prev, w + 4 * (Nk - 1), 4);
  std::uint32_t rcon = 1;
  const unsigned total = 4 * (Nk + 7);
  for (unsigned i = Nk, r = 0; i < total; ++i) {
    std::uint32_t t = prev;
    if (r == 0) {
      t = subWord((t >> 8) | (t << 24)) ^ rcon;
      rcon = ((rcon << 1) ^ (0x1B & (0 - (rcon >> 7)))) & 0xFF;
    } else if (Nk > 6 && r == 4) {
      t = subWord(t);
    }
    std::uint32_t back;
    std::memcpy(&back, w + 4 * (i - Nk), 4);
    prev = back ^ t;
    std::memcpy(w + 4 * i, &prev, 4);
    if (++r == Nk) r = 0;
  }
}

}  // namespace
}  // namespace AESModes::kernel
