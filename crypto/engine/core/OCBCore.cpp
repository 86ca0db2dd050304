#include "crypto/engine/core/OCBCore.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "crypto/engine/kernel/BlockXor.h"
#include "crypto/engine/core/CMACAbsorber.h"
#include "platform/Memory.h"

namespace AESModes::detail {

namespace {

// Blocks per piece: the offsets of a piece (4 KiB) and the piece itself stay in the first-level
// cache between the passes.
constexpr std::size_t kPieceBlocks = 256;

using TPiece = TScratchBlocks<16 * kPieceBlocks>;

// Writes the offsets of blocks first+1 .. first+count into buf, continuing the running offset;
// with plain, also xors its count blocks into the checksum in the same pass.
void Offsets(const TOCBTable& t, TCharArray16& offset, std::uint64_t first, std::size_t count, std::uint8_t* buf,
             const std::uint8_t* plain = nullptr, std::uint8_t* checksum = nullptr) noexcept {
  std::uint64_t o0, o1, s0 = 0, s1 = 0;
  std::memcpy(&o0, offset.data(), 8);
  std::memcpy(&o1, offset.data() + 8, 8);
  for (std::size_t j = 0; j < count; ++j) {
    const TCharArray16& L = t.L[static_cast<std::size_t>(std::countr_zero(first + j + 1))];
    std::uint64_t l0, l1;
    std::memcpy(&l0, L.data(), 8);
    std::memcpy(&l1, L.data() + 8, 8);
    o0 ^= l0;
    o1 ^= l1;
    std::memcpy(buf + 16 * j, &o0, 8);
    std::memcpy(buf + 16 * j + 8, &o1, 8);
    if (plain != nullptr) {
      std::uint64_t p0, p1;
      std::memcpy(&p0, plain + 16 * j, 8);
      std::memcpy(&p1, plain + 16 * j + 8, 8);
      s0 ^= p0;
      s1 ^= p1;
    }
  }
  std::memcpy(offset.data(), &o0, 8);
  std::memcpy(offset.data() + 8, &o1, 8);
  if (plain != nullptr) {
    const std::uint64_t both[2] = {s0, s1};
    XorSumBlocks(checksum, reinterpret_cast<const std::uint8_t*>(both), 1);
  }
}

// Offset_0 from the nonce: the nonce block (tag length in bits mod 128 in 7 bits, zeros, a 1 bit,
// the nonce), Ktop = E(that block with its last 6 bits cleared), Stretch = Ktop || (Ktop[0..7]
// xor Ktop[1..8]), and the 128 bits of Stretch from bit `bottom` (the 6 bits cleared) on.
void FirstOffset(const kernel::TExpandedKey& aes, std::span<const std::uint8_t> nonce, std::size_t tagBytes,
                 TCharArray16& offset) noexcept {
  TCharArray16 block{};
  block[0] = static_cast<std::uint8_t>(((tagBytes * 8) % 128) << 1);
  block[15 - nonce.size()] |= 1;
  std::copy(nonce.begin(), nonce.end(), block.end() - static_cast<std::ptrdiff_t>(nonce.size()));
  const unsigned bottom = block[15] & 63u;
  block[15] &= 0xC0;
  platform::TWiped<std::array<std::uint8_t, 24>> stretch;
  aes.EncryptBlock(block.data(), stretch->data());
  for (std::size_t i = 0; i < 8; ++i) (*stretch)[16 + i] = static_cast<std::uint8_t>((*stretch)[i] ^ (*stretch)[i + 1]);
  const unsigned bytes = bottom / 8, bits = bottom % 8;
  for (std::size_t i = 0; i < 16; ++i) {
    const unsigned hi = (*stretch)[i + bytes], lo = (*stretch)[i + bytes + 1];
    offset[i] = static_cast<std::uint8_t>((hi << bits) | (lo >> (8 - bits)));
  }
}

// HASH(K, A): the sum of E(A_i xor Offset_i), and for a partial last block E(A_* || 1 0* xor
// Offset_* ), with offsets run from zero.
void HashAAD(const kernel::TExpandedKey& aes, const TOCBTable& t, std::span<const std::uint8_t> aad, TPiece& offs,
             TPiece& work, TCharArray16& sum) noexcept {
  TCharArray16 offset{};
  const std::size_t blocks = aad.size() / 16;
  const bool inKernel = blocks == 0 || aes.OCB(kernel::TExpandedKey::TOCBPass::Hash, aad.data(), nullptr, blocks,
                                               t.L[0].data(), 0, offset.data(), sum.data());
  for (std::size_t at = 0; !inKernel && at < blocks; at += kPieceBlocks) {
    const std::size_t c = std::min(kPieceBlocks, blocks - at);
    std::uint8_t* o = offs.Use(16 * c);
    std::uint8_t* w = work.Use(16 * c);
    Offsets(t, offset, at, c, o);
    // E(A_i xor Offset_i): the whitened ECB's result xor Offset_i once more.
    aes.EncryptWhitened(aad.data() + 16 * at, w, c, o);
    XorBytes(w, w, o, 16 * c);
    XorSumBlocks(sum.data(), w, c);
  }
  if (const std::size_t r = aad.size() % 16) {
    TCharArray16 last{};
    std::memcpy(last.data(), aad.data() + 16 * blocks, r);
    last[r] = 0x80;
    for (std::size_t i = 0; i < 16; ++i) last[i] = static_cast<std::uint8_t>(last[i] ^ offset[i] ^ t.Star[i]);
    aes.EncryptBlock(last.data(), last.data());
    XorSumBlocks(sum.data(), last.data(), 1);
  }
  platform::SecureZero(offset.data(), offset.size());
}

}  // namespace

void OCBTableFrom(const TCharArray16& LStar, TOCBTable& t) noexcept {
  t.Star = LStar;
  DoubleBlock(t.Star, t.Dollar);
  DoubleBlock(t.Dollar, t.L[0]);
  for (std::size_t i = 1; i < TOCBTable::kLevels; ++i) DoubleBlock(t.L[i - 1], t.L[i]);
}

void OCBCrypt(bool encrypt, const kernel::TExpandedKey& aes, const TOCBTable& t, std::span<const std::uint8_t> nonce,
              std::span<const std::uint8_t> aad, const std::uint8_t* in, std::uint8_t* out, std::size_t n,
              std::size_t tagBytes, TCharArray16& T) noexcept {
  TPiece offs, work;
  platform::TWiped<TCharArray16> offset, checksum, hash;
  FirstOffset(aes, nonce, tagBytes, *offset);
  const std::size_t blocks = n / 16;
  // The kernel's own loop, or the offsets written out a piece at a time for the whitened ECB.
  using TPass = kernel::TExpandedKey::TOCBPass;
  const bool inKernel = blocks == 0 || aes.OCB(encrypt ? TPass::Encrypt : TPass::Decrypt, in, out, blocks,
                                               t.L[0].data(), 0, offset->data(), checksum->data());
  for (std::size_t at = 0; !inKernel && at < blocks; at += kPieceBlocks) {
    const std::size_t c = std::min(kPieceBlocks, blocks - at);
    const std::uint8_t* src = in + 16 * at;
    std::uint8_t* dst = out + 16 * at;
    std::uint8_t* o = offs.Use(16 * c);
    Offsets(t, *offset, at, c, o, encrypt ? src : nullptr, checksum->data());
    if (encrypt)
      aes.EncryptWhitened(src, dst, c, o);
    else
      aes.DecryptWhitened(src, dst, c, o);
    if (!encrypt) XorSumBlocks(checksum->data(), dst, c);
  }
  if (const std::size_t r = n % 16) {
    // The last r bytes: xor with E(Offset_*), the plain bytes padded with 1 0* into the checksum.
    platform::TWiped<TCharArray16> pad;
    for (std::size_t i = 0; i < 16; ++i) (*offset)[i] ^= t.Star[i];
    aes.EncryptBlock(offset->data(), pad->data());
    TCharArray16 last{};
    if (encrypt) std::memcpy(last.data(), in + 16 * blocks, r);
    XorBytes(out + 16 * blocks, in + 16 * blocks, pad->data(), r);
    if (!encrypt) std::memcpy(last.data(), out + 16 * blocks, r);
    last[r] = 0x80;
    XorSumBlocks(checksum->data(), last.data(), 1);
    platform::SecureZero(last.data(), last.size());
  }
  // Tag = E(Checksum xor Offset xor L_$) xor HASH(K, A).
  for (std::size_t i = 0; i < 16; ++i) (*checksum)[i] = static_cast<std::uint8_t>((*checksum)[i] ^ (*offset)[i] ^ t.Dollar[i]);
  aes.EncryptBlock(checksum->data(), T.data());
  HashAAD(aes, t, aad, offs, work, *hash);
  for (std::size_t i = 0; i < 16; ++i) T[i] ^= (*hash)[i];
}

}  // namespace AESModes::detail
