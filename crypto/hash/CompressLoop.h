// The loop every portable compression function here shares (the Merkle-Damgard construction):
// for each block, its 16 message words loaded in the digest's byte order, the rounds run on a
// copy of the chain, the copy added back into the chain; the message words and the working copy
// wiped at the end. Each digest gives its word loader and its rounds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/Memory.h"

namespace Hash::detail {

// rounds(s, m): the rounds over the working words s (the first N chain words) and the message
// words m, which they may overwrite (a message schedule kept in place).
template <std::size_t N, class W, class Load, class Rounds>
void CompressBlocks(std::array<W, 8>& chain, const std::uint8_t* blocks, std::size_t count, Load load,
                    Rounds rounds) noexcept {
  constexpr std::size_t kBlock = 16 * sizeof(W);
  struct {
    W m[16];
    std::array<W, N> s;
  } work;  // wiped in one call: a digest of one block pays for a single wipe
  for (; count > 0; --count, blocks += kBlock) {
    for (std::size_t i = 0; i < 16; ++i) work.m[i] = load(blocks + i * sizeof(W));
    for (std::size_t i = 0; i < N; ++i) work.s[i] = chain[i];
    rounds(work.s, work.m);
    for (std::size_t i = 0; i < N; ++i) chain[i] += work.s[i];
  }
  platform::SecureZero(&work, sizeof work);
}

}  // namespace Hash::detail
