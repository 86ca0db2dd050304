#include "crypto/engine/kernel/AESKernel.h"

#include "crypto/engine/kernel/AESKernelOps.h"
#include "crypto/support/error.h"
#include "platform/Memory.h"

namespace AESModes::kernel {

namespace {

using platform::TCharArray60_4;

// Doubling in GF(2^8) without a branch on the (secret) byte.
constexpr std::uint8_t XTime(std::uint8_t a) {
  return static_cast<std::uint8_t>((a << 1) ^ (0x1B & (0 - (a >> 7))));
}

// InvMixColumns of one 4-byte column: multiplications by 9, 11, 13 and 14 from doublings.
void InvMixColumn(const std::array<std::uint8_t, 4>& in, std::array<std::uint8_t, 4>& out) {
  std::array<std::uint8_t, 4> x2, x4, x8;
  for (int i = 0; i < 4; ++i) {
    x2[i] = XTime(in[i]);
    x4[i] = XTime(x2[i]);
    x8[i] = XTime(x4[i]);
  }
  auto m9 = [&](int i) { return static_cast<std::uint8_t>(x8[i] ^ in[i]); };
  auto m11 = [&](int i) { return static_cast<std::uint8_t>(x8[i] ^ x2[i] ^ in[i]); };
  auto m13 = [&](int i) { return static_cast<std::uint8_t>(x8[i] ^ x4[i] ^ in[i]); };
  auto m14 = [&](int i) { return static_cast<std::uint8_t>(x8[i] ^ x4[i] ^ x2[i]); };
  for (int r = 0; r < 4; ++r)
    out[r] = m14(r) ^ m11((r + 1) & 3) ^ m13((r + 2) & 3) ^ m9((r + 3) & 3);
}

void MakeDecryptionSchedule(TRoundKeys& k) {
  const unsigned Nr = k.Nr;
  for (unsigned i = 0; i <= Nr; ++i)
    for (int c = 0; c < 4; ++c) {
      const auto& word = k.Enc[4 * (Nr - i) + c];
      if (i == 0 || i == Nr)
        k.Dec[4 * i + c] = word;
      else
        InvMixColumn(word, k.Dec[4 * i + c]);
    }
}

const TKernelOps* OpsFor(TKernelId id) noexcept {
  switch (id) {
    case TKernelId::AESNI: return AESNIOps();
    case TKernelId::VAES256: return VAES256Ops();
    case TKernelId::VAES512: return VAES512Ops();
    case TKernelId::ARMv8: return ARMv8Ops();
    case TKernelId::Portable: break;
  }
  return PortableOps();
}

const TCpuFeatures& Cpu() noexcept {
  static const TCpuFeatures cpu = DetectCpu();
  return cpu;
}

}  // namespace

const std::uint8_t* EncKeys(const TRoundKeys& k) noexcept { return k.Enc[0].data(); }
const std::uint8_t* DecKeys(const TRoundKeys& k) noexcept { return k.Dec[0].data(); }
unsigned Rounds(const TRoundKeys& k) noexcept { return k.Nr; }

TKeyedKernel::TKeyedKernel(TKernelId id) {
  if (!Supports(Cpu(), id)) id = ChooseKernel(KernelName(id).data(), Cpu());
  const TKernelOps* ops = OpsFor(id);
  if (ops == nullptr) {
    id = TKernelId::Portable;
    ops = PortableOps();
  }
  FId = id;
  FOps = ops;
}

TKeyedKernel::~TKeyedKernel() { platform::SecureZero(&FKeys, sizeof FKeys); }

Integer TKeyedKernel::Expand(std::span<const std::uint8_t> key, Cardinal Nk) noexcept {
  platform::SecureZero(&FKeys, sizeof FKeys);
  if (Nk < 1 || Nk > 8 || key.size() < 4 * static_cast<std::size_t>(Nk)) return error::kBadKeySize;
  bitsliced::ExpandKey(key.data(), Nk, FKeys.Enc[0].data());
  FKeys.Nk = Nk;
  FKeys.Nr = Nk + 6;
  MakeDecryptionSchedule(FKeys);
  if (FOps->Prepare != nullptr) FOps->Prepare(FKeys);
  return 0;
}

void TKeyedKernel::EncryptECB(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) const noexcept {
  FOps->EncryptECB(FKeys, in, out, blocks);
}
void TKeyedKernel::DecryptECB(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) const noexcept {
  FOps->DecryptECB(FKeys, in, out, blocks);
}
void TKeyedKernel::EncryptCBC(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                              std::uint8_t iv[16]) const noexcept {
  FOps->EncryptCBC(FKeys, in, out, blocks, iv);
}
void TKeyedKernel::DecryptCBC(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                              std::uint8_t iv[16]) const noexcept {
  FOps->DecryptCBC(FKeys, in, out, blocks, iv);
}
void TKeyedKernel::OFB(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, std::uint8_t iv[16]) const noexcept {
  FOps->OFB(FKeys, in, out, blocks, iv);
}
void TKeyedKernel::CTR128(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                          std::uint8_t ctr[16]) const noexcept {
  FOps->CTR128(FKeys, in, out, blocks, ctr);
}
void TKeyedKernel::CTR32(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                         std::uint8_t ctr[16]) const noexcept {
  FOps->CTR32(FKeys, in, out, blocks, ctr);
}
void TKeyedKernel::CBCMAC(const std::uint8_t* in, std::size_t blocks, std::uint8_t state[16]) const noexcept {
  FOps->CBCMAC(FKeys, in, blocks, state);
}
void TKeyedKernel::EncryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const noexcept {
  FOps->EncryptECB(FKeys, in, out, 1);
}

}  // namespace AESModes::kernel
