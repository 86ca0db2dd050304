// The SHA-2 compression in portable C++, written once for SHA-256 (32-bit words, 64 rounds) and
// SHA-512 (64-bit words, 80 rounds), which differ only in word size, rotation amounts and round
// constants. Rounds run in unrolled runs of 16, so the eight working words and the 16-word
// schedule stay in registers: each round renames the words instead of moving them. The block
// loop around them is CompressLoop.h's.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "crypto/hash/CompressLoop.h"
#include "crypto/hash/HashFunctions.h"

namespace Hash::detail {

template <class W>
struct TSHA2Params;

template <>
struct TSHA2Params<std::uint32_t> {
  static constexpr int kRounds = 64;
  static constexpr int kSum0[3] = {2, 13, 22}, kSum1[3] = {6, 11, 25};
  static constexpr int kSigma0[3] = {7, 18, 3}, kSigma1[3] = {17, 19, 10};  // two rotations, one shift
  static std::uint32_t Load(const std::uint8_t* p) noexcept { return LoadBE32(p); }
};

template <>
struct TSHA2Params<std::uint64_t> {
  static constexpr int kRounds = 80;
  static constexpr int kSum0[3] = {28, 34, 39}, kSum1[3] = {14, 18, 41};
  static constexpr int kSigma0[3] = {1, 8, 7}, kSigma1[3] = {19, 61, 6};
  static std::uint64_t Load(const std::uint8_t* p) noexcept { return LoadBE64(p); }
};

template <class W>
constexpr W Rotr(W x, int n) noexcept {
  return static_cast<W>((x >> n) | (x << (8 * sizeof(W) - n)));
}

template <class W>
void CompressSHA2(std::array<W, 8>& chain, const std::uint8_t* blocks, std::size_t count, const W* roundConstants) noexcept {
  using P = TSHA2Params<W>;
  CompressBlocks<8>(chain, blocks, count, P::Load, [roundConstants](std::array<W, 8>& s, W* w) {
    for (int t0 = 0; t0 < P::kRounds; t0 += 16) {
#pragma GCC unroll 16
      for (int j = 0; j < 16; ++j) {
        if (t0 != 0) {
          const W w15 = w[(j + 1) & 15], w2 = w[(j + 14) & 15];
          w[j] += (Rotr(w15, P::kSigma0[0]) ^ Rotr(w15, P::kSigma0[1]) ^ (w15 >> P::kSigma0[2])) + w[(j + 9) & 15] +
                  (Rotr(w2, P::kSigma1[0]) ^ Rotr(w2, P::kSigma1[1]) ^ (w2 >> P::kSigma1[2]));
        }
        // Round t0 + j: the working words a..h sit at s[(0 - j) & 7] .. s[(7 - j) & 7].
        W &a = s[(8 - j) & 7], &b = s[(9 - j) & 7], &c = s[(10 - j) & 7], &d = s[(11 - j) & 7];
        W &e = s[(12 - j) & 7], &f = s[(13 - j) & 7], &g = s[(14 - j) & 7], &h = s[(15 - j) & 7];
        const W t1 = h + (Rotr(e, P::kSum1[0]) ^ Rotr(e, P::kSum1[1]) ^ Rotr(e, P::kSum1[2])) + ((e & f) ^ (~e & g)) +
                     roundConstants[t0 + j] + w[j];
        const W t2 = (Rotr(a, P::kSum0[0]) ^ Rotr(a, P::kSum0[1]) ^ Rotr(a, P::kSum0[2])) + ((a & b) ^ (a & c) ^ (b & c));
        d += t1;
        h = t1 + t2;
      }
    }
  });
}

}  // namespace Hash::detail
