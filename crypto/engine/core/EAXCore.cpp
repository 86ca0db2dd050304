#include "crypto/engine/core/EAXCore.h"

#include <algorithm>

#include "crypto/engine/core/AESModesChunks.h"
#include "crypto/engine/core/CMACAbsorber.h"
#include "crypto/engine/kernel/BlockXor.h"
#include "platform/Memory.h"

namespace AESModes::detail {

namespace {

// CMAC of the block [t]_16 followed by the message.
void OMAC(const TEAXKey& k, std::uint8_t t, const std::uint8_t* p, std::size_t n, TCharArray16& T) noexcept {
  TCMACAbsorber mac(k.AES, k.K1, k.K2);
  TCharArray16 role{};
  role[15] = t;
  mac.Feed(role.data(), 16);
  mac.Feed(p, n);
  mac.Finish(T);
}

// v, hidden from the optimiser, so that it cannot turn the loop over blocks into a loop that ends
// on the (key-derived) counter's value.
std::uint64_t Opaque(std::uint64_t v) noexcept {
  __asm__("" : "+r"(v));
  return v;
}

}  // namespace

void EAXBegin(const TEAXKey& k, std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> aad,
              TCharArray16& N, TCharArray16& H) noexcept {
  OMAC(k, 0, nonce.data(), nonce.size(), N);
  OMAC(k, 1, aad.data(), aad.size(), H);
}

void EAXTag(const TEAXKey& k, const TCharArray16& N, const TCharArray16& H, const std::uint8_t* cipher, std::size_t n,
            TCharArray16& T) noexcept {
  OMAC(k, 2, cipher, n, T);
  for (std::size_t i = 0; i < 16; ++i) T[i] = static_cast<std::uint8_t>(T[i] ^ N[i] ^ H[i]);
}

// EAX's counter starts at a key-derived block, so the counter blocks are made here with a
// carry computed arithmetically (the kernels' 128-bit counter mode may branch on whether the low
// half carries, which is fine for a public counter only), enciphered in bulk and xored in.
void EAXCrypt(const TEAXKey& k, const TCharArray16& N, const std::uint8_t* in, std::uint8_t* out, std::size_t n) noexcept {
  constexpr std::size_t kPieceBlocks = 256;
  TScratchBlocks<16 * kPieceBlocks> scratch;
  std::uint8_t* stream = scratch.Use(16 * std::min(kPieceBlocks, (n + 15) / 16));
  std::uint64_t hi = 0, lo = 0;
  for (int i = 0; i < 8; ++i) {
    hi = hi << 8 | N[static_cast<std::size_t>(i)];
    lo = lo << 8 | N[static_cast<std::size_t>(8 + i)];
  }
  for (std::size_t at = 0; at < n; at += 16 * kPieceBlocks) {
    const std::size_t bytes = std::min(16 * kPieceBlocks, n - at), blocks = (bytes + 15) / 16;
    for (std::size_t j = 0; j < blocks; ++j) {
      for (int i = 0; i < 8; ++i) {
        stream[16 * j + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(hi >> (56 - 8 * i));
        stream[16 * j + 8 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(lo >> (56 - 8 * i));
      }
      lo = Opaque(lo + 1);
      hi += 1 - ((lo | (0 - lo)) >> 63);  // the carry: 1 exactly when lo wrapped to 0
    }
    k.AES.EncryptECB(stream, stream, blocks);
    XorBytes(out + at, in + at, stream, bytes);
  }
  platform::SecureZero(&hi, sizeof hi);
  platform::SecureZero(&lo, sizeof lo);
}

}  // namespace AESModes::detail
