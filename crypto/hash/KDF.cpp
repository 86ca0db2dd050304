#include "crypto/hash/KDF.h"

#include <algorithm>
#include <cstring>

#include "crypto/hash/HMAC.h"
#include "crypto/hash/HashFunctions.h"
#include "crypto/support/error.h"
#include "platform/Memory.h"

namespace Hash {

namespace {

using detail::TFunction;

// HMAC's two keyed starting points as bare chaining values, for PBKDF2's inner loop.
struct TPadChains {
  TChain Inner, Outer;
};

void KeyPads(const TFunction& f, THashKind kind, std::span<const std::uint8_t> password, TPadChains& pads) noexcept {
  platform::TWiped<std::array<std::uint8_t, kMaxBlockSize>> pad;
  if (password.size() > f.BlockBytes) {
    Digest(kind, password, *pad);
  } else if (!password.empty()) {
    std::memcpy(pad->data(), password.data(), password.size());
  }
  for (std::size_t i = 0; i < f.BlockBytes; ++i) (*pad)[i] ^= 0x36;
  f.Init(pads.Inner);
  f.Compress(pads.Inner, pad->data(), 1);
  for (std::size_t i = 0; i < f.BlockBytes; ++i) (*pad)[i] ^= 0x36 ^ 0x5c;
  f.Init(pads.Outer);
  f.Compress(pads.Outer, pad->data(), 1);
}

// Output block `index` of PBKDF2 (RFC 8018 F): U1 = HMAC(P, S || INT(index)), then each further
// U = HMAC(P, U) is two compressions of one padded block from the keyed starting points.
void PBKDF2Block(const TFunction& f, const TPadChains& pads, THMAC& first, std::span<const std::uint8_t> salt,
                 std::uint32_t index, std::uint32_t iterations, std::uint8_t* out) noexcept {
  const std::size_t size = f.DigestBytes;
  const std::uint8_t counter[4] = {static_cast<std::uint8_t>(index >> 24), static_cast<std::uint8_t>(index >> 16),
                                   static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index)};
  // block: U, then the padding of a message of one key block and one digest.
  platform::TWiped<std::array<std::uint8_t, kMaxBlockSize>> block;
  platform::TWiped<std::array<std::uint8_t, kMaxDigestSize>> sum;
  platform::TWiped<TChain> chain;
  first.Update(salt);
  first.Update(counter);
  first.Final(*block);
  std::memcpy(sum->data(), block->data(), size);
  (*block)[size] = 0x80;
  detail::PadBlock(f, block->data(), size + 1, f.BlockBytes + size);
  for (std::uint32_t i = 1; i < iterations; ++i) {
    *chain = pads.Inner;
    f.Compress(*chain, block->data(), 1);
    f.Output(*chain, block->data());
    *chain = pads.Outer;
    f.Compress(*chain, block->data(), 1);
    f.Output(*chain, block->data());
    for (std::size_t j = 0; j < size; ++j) (*sum)[j] ^= (*block)[j];
  }
  std::memcpy(out, sum->data(), size);
}

// A message hashed from a bare chaining value: the HMAC states below need no THash of their own.
struct TFeed {
  TChain Chain;
  std::array<std::uint8_t, kMaxBlockSize> Block;
  std::uint64_t Total;
};

void Feed(const TFunction& f, TFeed& s, std::span<const std::uint8_t> data) noexcept {
  while (!data.empty()) {
    const std::size_t used = s.Total % f.BlockBytes;
    if (used == 0 && data.size() >= f.BlockBytes) {
      const std::size_t whole = data.size() / f.BlockBytes;
      f.Compress(s.Chain, data.data(), whole);
      s.Total += whole * f.BlockBytes;
      data = data.subspan(whole * f.BlockBytes);
      continue;
    }
    const std::size_t take = std::min(data.size(), f.BlockBytes - used);
    std::memcpy(s.Block.data() + used, data.data(), take);
    s.Total += take;
    data = data.subspan(take);
    if (used + take == f.BlockBytes) f.Compress(s.Chain, s.Block.data(), 1);
  }
}

}  // namespace

namespace detail {

// T(i) = HMAC(prk, T(i-1) || info || i) from the two pad states: the inner hash continues from
// the key's first block, the outer one hashes T(i)'s inner digest in one padded block.
Integer HKDFExpand(THashKind kind, std::span<const std::uint8_t> prk,
                   std::span<const std::span<const std::uint8_t>> info, std::span<std::uint8_t> out) noexcept {
  const TFunction& f = FunctionOf(kind);
  const std::size_t size = f.DigestBytes;
  if (out.empty() || out.size() > 255 * size) return error::kBadArgument;
  platform::TWiped<TPadChains> pads;
  KeyPads(f, kind, prk, *pads);
  platform::TWiped<TFeed> inner;
  platform::TWiped<std::array<std::uint8_t, kMaxBlockSize>> t;  // T(i), then its outer block
  for (std::size_t done = 0, counter = 1; done < out.size(); ++counter) {
    inner->Chain = pads->Inner;
    inner->Total = f.BlockBytes;
    if (done > 0) Feed(f, *inner, std::span(t->data(), size));  // T(i-1); T(0) is empty
    for (const auto part : info) Feed(f, *inner, part);
    const std::uint8_t c = static_cast<std::uint8_t>(counter);
    Feed(f, *inner, std::span(&c, 1));
    Finish(f, inner->Chain, inner->Block.data(), inner->Total);
    f.Output(inner->Chain, t->data());
    (*t)[size] = 0x80;
    PadBlock(f, t->data(), size + 1, f.BlockBytes + size);
    inner->Chain = pads->Outer;
    f.Compress(inner->Chain, t->data(), 1);
    f.Output(inner->Chain, t->data());
    const std::size_t take = std::min(size, out.size() - done);
    std::memcpy(out.data() + done, t->data(), take);
    done += take;
  }
  return error::kOK;
}

}  // namespace detail

Integer HKDF_Extract(THashKind kind, std::span<const std::uint8_t> salt, std::span<const std::uint8_t> ikm,
                     std::span<std::uint8_t> prk) noexcept {
  if (prk.size() != DigestSize(kind)) return error::kBadArgument;
  return HMAC(kind, salt, ikm, prk);
}

Integer HKDF_Expand(THashKind kind, std::span<const std::uint8_t> prk, std::span<const std::uint8_t> info,
                    std::span<std::uint8_t> out) noexcept {
  const Integer st = detail::HKDFExpand(kind, prk, std::span(&info, 1), out);
  platform::ScrubStack();
  return st;
}

Integer PBKDF2_HMAC(THashKind kind, std::span<const std::uint8_t> password, std::span<const std::uint8_t> salt,
                    std::uint32_t iterations, std::span<std::uint8_t> out) noexcept {
  const TFunction& f = detail::FunctionOf(kind);
  const std::uint64_t blocks = (out.size() + f.DigestBytes - 1) / f.DigestBytes;
  if (iterations == 0 || out.empty() || blocks > 0xffffffffu) return error::kBadArgument;
  {
    platform::TWiped<TPadChains> pads;
    KeyPads(f, kind, password, *pads);
    THMAC first(kind, password);
    platform::TWiped<std::array<std::uint8_t, kMaxDigestSize>> t;
    for (std::uint64_t i = 0; i < blocks; ++i) {
      PBKDF2Block(f, *pads, first, salt, static_cast<std::uint32_t>(i + 1), iterations, t->data());
      const std::size_t offset = i * f.DigestBytes, take = std::min(f.DigestBytes, out.size() - offset);
      std::memcpy(out.data() + offset, t->data(), take);
    }
  }
  platform::ScrubStack();
  return error::kOK;
}

}  // namespace Hash
