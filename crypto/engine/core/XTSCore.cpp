#include "crypto/engine/core/XTSCore.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "crypto/engine/kernel/BlockXor.h"
#include "platform/Memory.h"
#include "platform/Types.h"

namespace AESModes::detail {

namespace {

// Blocks per piece: the tweaks of a piece (4 KiB) and the piece itself stay in the first-level
// cache between the passes.
constexpr std::size_t kPieceBlocks = 256;

using platform::TCharArray16;

// A tweak as two 64-bit halves, byte 0 the least significant.
struct TTweak {
  std::uint64_t Lo = 0, Hi = 0;

  void Load(const std::uint8_t* p) noexcept {
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(&Lo, p, 8);
      std::memcpy(&Hi, p + 8, 8);
      return;
    }
    Lo = Hi = 0;
    for (int i = 7; i >= 0; --i) {
      Lo = Lo << 8 | p[i];
      Hi = Hi << 8 | p[8 + i];
    }
  }
  void Store(std::uint8_t* p) const noexcept {
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(p, &Lo, 8);
      std::memcpy(p + 8, &Hi, 8);
      return;
    }
    for (int i = 0; i < 8; ++i) {
      p[i] = static_cast<std::uint8_t>(Lo >> (8 * i));
      p[8 + i] = static_cast<std::uint8_t>(Hi >> (8 * i));
    }
  }
  // Times x: a one-bit shift towards the top, 0x87 into byte 0 when a bit falls out (a mask, no
  // branch).
  void Double() noexcept {
    const std::uint64_t carry = 0 - (Hi >> 63);
    Hi = Hi << 1 | Lo >> 63;
    Lo = Lo << 1 ^ (0x87 & carry);
  }
};

// One block with tweak T: out = E(in xor T) xor T (or D).
void OneBlock(bool encrypt, const kernel::TExpandedKey& data, const TTweak& T, const std::uint8_t* in,
              std::uint8_t* out) noexcept {
  platform::TWiped<TCharArray16> t;
  T.Store(t->data());
  if (encrypt)
    data.EncryptWhitened(in, out, 1, t->data());
  else
    data.DecryptWhitened(in, out, 1, t->data());
}

}  // namespace

void XTSCrypt(bool encrypt, const kernel::TExpandedKey& data, const kernel::TExpandedKey& tweakKey,
              const std::uint8_t tweak[16], const std::uint8_t* in, std::uint8_t* out, std::size_t n) noexcept {
  platform::TWiped<TTweak> T;
  platform::TWiped<TCharArray16> t;
  tweakKey.EncryptBlock(tweak, t->data());
  const std::size_t r = n % 16;
  // With a partial last block, the last whole block goes with it through the stealing below.
  const std::size_t blocks = n / 16 - (r != 0 ? 1 : 0);
  // The kernel's own loop, or the tweaks written out a piece at a time for the whitened ECB.
  const bool inKernel = blocks == 0 || (encrypt ? data.EncryptXTS(in, out, blocks, t->data())
                                                : data.DecryptXTS(in, out, blocks, t->data()));
  T->Load(t->data());
  if (!inKernel) {
    TScratchBlocks<16 * kPieceBlocks> scratch;
    std::uint8_t* tweaks = scratch.Use(16 * std::min(kPieceBlocks, blocks));
    for (std::size_t at = 0; at < blocks; at += kPieceBlocks) {
      const std::size_t c = std::min(kPieceBlocks, blocks - at);
      for (std::size_t j = 0; j < c; ++j) {
        T->Store(tweaks + 16 * j);
        T->Double();
      }
      if (encrypt)
        data.EncryptWhitened(in + 16 * at, out + 16 * at, c, tweaks);
      else
        data.DecryptWhitened(in + 16 * at, out + 16 * at, c, tweaks);
    }
  }
  if (r == 0) return;
  // Cipher-text stealing over the whole block m-1 and the r bytes of block m. Encryption: CC =
  // block m-1 under T_{m-1}; C_m = CC's first r bytes; C_{m-1} = (P_m || CC's last 16 - r bytes)
  // under T_m. Decryption undoes it, so its first step uses T_m and its second T_{m-1}.
  const std::size_t head = 16 * blocks;
  platform::TWiped<std::array<TCharArray16, 2>> w;
  TCharArray16& whole = (*w)[0];
  TCharArray16& tail = (*w)[1];
  TTweak Tnext = *T;
  Tnext.Double();
  std::memcpy(tail.data(), in + head + 16, r);
  OneBlock(encrypt, data, encrypt ? *T : Tnext, in + head, whole.data());
  std::memcpy(tail.data() + r, whole.data() + r, 16 - r);
  std::memcpy(out + head + 16, whole.data(), r);
  OneBlock(encrypt, data, encrypt ? Tnext : *T, tail.data(), out + head);
  platform::SecureZero(&Tnext, sizeof Tnext);
}

}  // namespace AESModes::detail
