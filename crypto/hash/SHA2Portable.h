// The SHA-2 compression in portable C++, written once for SHA-256 (32-bit words, 64 rounds) and
// SHA-512 (64-bit words, 80 rounds), which differ only in word size, rotation amounts and round
// constants. Rounds run in unrolled runs of 16, so the eight working words and the 16-word
// schedule stay in registers: each round renames the words instead of moving them. The block
// loop around them is CompressLoop.h's.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

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

// One round's Maj(a, b, c) is b ^ ((a ^ b) & (b ^ c)), and its a ^ b is the next round's b ^ c: each
// round hands it on, one operation fewer than the textbook form. Ch(e, f, g) is g ^ (e & (f ^ g)).
// Round t0 + j over the working words, which sit at s[(0 - j) & 7] .. s[(7 - j) & 7] (a .. h), so
// that a run of 16 renames them instead of moving them. bc: b ^ c.
template <class P, int j, class W>
inline void SHA2Round(std::array<W, 8>& s, W& bc, W kw) noexcept {
  W &a = s[(8 - j) & 7], &b = s[(9 - j) & 7], &d = s[(11 - j) & 7];
  W &e = s[(12 - j) & 7], &f = s[(13 - j) & 7], &g = s[(14 - j) & 7], &h = s[(15 - j) & 7];
  const W t1 = h + kw + (Rotr(e, P::kSum1[0]) ^ Rotr(e, P::kSum1[1]) ^ Rotr(e, P::kSum1[2])) + (g ^ (e & (f ^ g)));
  const W ab = a ^ b;
  const W t2 = (Rotr(a, P::kSum0[0]) ^ Rotr(a, P::kSum0[1]) ^ Rotr(a, P::kSum0[2])) + (b ^ (ab & bc));
  bc = ab;
  d += t1;
  h = t1 + t2;
}

// Message word t0 + j (t0 >= 16) in place of word t0 + j - 16.
template <class P, int j, class W>
inline void SHA2Schedule(W* w) noexcept {
  const W w15 = w[(j + 1) & 15], w2 = w[(j + 14) & 15];
  w[j] += (Rotr(w15, P::kSigma0[0]) ^ Rotr(w15, P::kSigma0[1]) ^ (w15 >> P::kSigma0[2])) + w[(j + 9) & 15] +
          (Rotr(w2, P::kSigma1[0]) ^ Rotr(w2, P::kSigma1[1]) ^ (w2 >> P::kSigma1[2]));
}

template <class P, bool kSchedule, class W, int... j>
inline void SHA2Sixteen(std::array<W, 8>& s, W& bc, W* w, const W* k, std::integer_sequence<int, j...>) noexcept {
  ((kSchedule ? SHA2Schedule<P, j>(w) : void(), SHA2Round<P, j>(s, bc, k[j] + w[j])), ...);
}

// The first 16 rounds take the message words as they are; every later run of 16 makes its words
// first. Maj(a, b, c) is b ^ ((a ^ b) & (b ^ c)), and one round's a ^ b is the next round's
// b ^ c, so each round hands it on; Ch(e, f, g) is g ^ (e & (f ^ g)).
template <class W>
inline void CompressSHA2(std::array<W, 8>& chain, const std::uint8_t* blocks, std::size_t count,
                         const W* roundConstants) noexcept {
  using P = TSHA2Params<W>;
  CompressBlocks<8>(chain, blocks, count, P::Load, [roundConstants](std::array<W, 8>& s, W* w) {
    constexpr auto kSixteen = std::make_integer_sequence<int, 16>();
    W bc = s[1] ^ s[2];
    SHA2Sixteen<P, false>(s, bc, w, roundConstants, kSixteen);
    for (int t0 = 16; t0 < P::kRounds; t0 += 16) SHA2Sixteen<P, true>(s, bc, w, roundConstants + t0, kSixteen);
  });
}

}  // namespace Hash::detail
