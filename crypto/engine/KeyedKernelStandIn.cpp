#include "crypto/engine/KeyedKernelStandIn.h"

#include <cstring>

#include "crypto/engine/GCMKernel.h"

namespace AESModes::kernel {

platform::Integer TKeyedKernel::Expand(std::span<const std::uint8_t> key, platform::Cardinal Nk) {
  if (Nk != 4 && Nk != 6 && Nk != 8) return -206;
  platform::TSecretBytes copy(platform::TBytes(key.begin(), key.end()));
  const platform::Integer st = FCore.KeyExpansion(copy.Bytes, FW->W, Nk);
  if (st == 0) FNk = Nk;
  return st;
}

void TKeyedKernel::EncryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const {
  platform::TWiped<platform::TCharArray16> a, b;
  std::memcpy(a->data(), in, 16);
  FCore.Cipher(*a, *b, FW->W, FNk);
  std::memcpy(out, b->data(), 16);
}

void TKeyedKernel::CTR32(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, std::uint8_t ctr[16]) const {
  if (GCMCTR32(FId, EncRoundKeys(), Rounds(), in, out, blocks, ctr)) return;
  platform::TWiped<platform::TCharArray16> k;
  for (std::size_t b = 0; b < blocks; ++b) {
    EncryptBlock(ctr, k->data());
    for (int i = 0; i < 16; ++i) out[16 * b + i] = static_cast<std::uint8_t>(in[16 * b + i] ^ (*k)[i]);
    for (int i = 15; i >= 12 && ++ctr[i] == 0; --i) {
    }
  }
}

}  // namespace AESModes::kernel
