// The portable kernel: every mode over the block cipher TAESCore, one block at a time. It is the
// reference the instruction-set kernels are tested against.
#include <cstring>

#include "crypto/engine/AESCore.h"
#include "crypto/engine/AESKernel.h"
#include "crypto/engine/AESKernelOps.h"

namespace AESModes::kernel {

namespace {

using platform::TCharArray16;

const AESCore::TAESCore& Core() {
  static const AESCore::TAESCore core;
  return core;
}

TCharArray16 Load(const std::uint8_t* p) {
  TCharArray16 b;
  std::memcpy(b.data(), p, 16);
  return b;
}

void Xor(TCharArray16& a, const TCharArray16& b) {
  for (int i = 0; i < 16; ++i) a[i] ^= b[i];
}

TCharArray16 Enc(const TRoundKeys& k, const TCharArray16& in) {
  TCharArray16 out;
  Core().Cipher(in, out, k.Enc, k.Nk);
  return out;
}

void EncryptECB(const TRoundKeys& k, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) {
  for (std::size_t i = 0; i < blocks; ++i) std::memcpy(out + 16 * i, Enc(k, Load(in + 16 * i)).data(), 16);
}

void DecryptECB(const TRoundKeys& k, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) {
  TCharArray16 p;
  for (std::size_t i = 0; i < blocks; ++i) {
    Core().InvCipher(Load(in + 16 * i), p, k.Enc, k.Nk);
    std::memcpy(out + 16 * i, p.data(), 16);
  }
}

void EncryptCBC(const TRoundKeys& k, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                std::uint8_t iv[16]) {
  TCharArray16 v = Load(iv);
  for (std::size_t i = 0; i < blocks; ++i) {
    Xor(v, Load(in + 16 * i));
    v = Enc(k, v);
    std::memcpy(out + 16 * i, v.data(), 16);
  }
  std::memcpy(iv, v.data(), 16);
}

void DecryptCBC(const TRoundKeys& k, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                std::uint8_t iv[16]) {
  TCharArray16 v = Load(iv), p;
  for (std::size_t i = 0; i < blocks; ++i) {
    const TCharArray16 c = Load(in + 16 * i);  // read before out (which may be in) is written
    Core().InvCipher(c, p, k.Enc, k.Nk);
    Xor(p, v);
    std::memcpy(out + 16 * i, p.data(), 16);
    v = c;
  }
  std::memcpy(iv, v.data(), 16);
}

void OFB(const TRoundKeys& k, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, std::uint8_t iv[16]) {
  TCharArray16 v = Load(iv);
  for (std::size_t i = 0; i < blocks; ++i) {
    v = Enc(k, v);
    TCharArray16 b = Load(in + 16 * i);
    Xor(b, v);
    std::memcpy(out + 16 * i, b.data(), 16);
  }
  std::memcpy(iv, v.data(), 16);
}

// Adds 1 to the big-endian number in bytes first..15 of the counter block.
void Increment(TCharArray16& ctr, int first) {
  for (int i = 15; i >= first; --i)
    if (++ctr[i] != 0) return;
}

void CTR(const TRoundKeys& k, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, std::uint8_t ctr[16],
         int first) {
  TCharArray16 v = Load(ctr);
  for (std::size_t i = 0; i < blocks; ++i) {
    TCharArray16 b = Load(in + 16 * i);
    Xor(b, Enc(k, v));
    std::memcpy(out + 16 * i, b.data(), 16);
    Increment(v, first);
  }
  std::memcpy(ctr, v.data(), 16);
}

void CTR128(const TRoundKeys& k, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, std::uint8_t ctr[16]) {
  CTR(k, in, out, blocks, ctr, 0);
}

void CTR32(const TRoundKeys& k, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, std::uint8_t ctr[16]) {
  CTR(k, in, out, blocks, ctr, 12);
}

void CBCMAC(const TRoundKeys& k, const std::uint8_t* in, std::size_t blocks, std::uint8_t state[16]) {
  TCharArray16 v = Load(state);
  for (std::size_t i = 0; i < blocks; ++i) {
    Xor(v, Load(in + 16 * i));
    v = Enc(k, v);
  }
  std::memcpy(state, v.data(), 16);
}

constexpr TKernelOps kOps = {EncryptECB, DecryptECB, EncryptCBC, DecryptCBC, OFB, CTR128, CTR32, CBCMAC};

}  // namespace

const TKernelOps* PortableOps() noexcept { return &kOps; }

}  // namespace AESModes::kernel
