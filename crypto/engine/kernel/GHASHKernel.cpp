// TGHash: the GHASH kernel chosen for a key, and GCM's stitched step on that kernel.
#include <new>

#include "crypto/engine/kernel/AESKernel.h"
#include "crypto/engine/kernel/AESKernelOps.h"
#include "platform/Memory.h"

namespace AESModes::kernel {

TGHashKey::~TGHashKey() { platform::SecureZero(Pow, sizeof Pow); }

TGHash::TGHash(TKernelId id) : FKey(new TGHashKey), FId(id) {
  static const TCpuFeatures cpu = DetectCpu();
  if (!Supports(cpu, FId)) FId = ChooseKernel(KernelName(FId).data(), cpu);
#if !defined(__x86_64__) && !defined(__aarch64__)
  FId = TKernelId::Portable;
#endif
}

TGHash::~TGHash() { delete FKey; }

void TGHash::SetKey(const std::uint8_t H[16]) noexcept {
#if defined(__x86_64__)
  if (FId != TKernelId::Portable) return GHashSetKeyPCLMUL(*FKey, H);
#elif defined(__aarch64__)
  if (FId == TKernelId::ARMv8) return GHashSetKeyPMULL(*FKey, H);
#endif
  GHashSetKeyPortable(*FKey, H);
}

void TGHash::Absorb(std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) const noexcept {
  switch (FId) {
#if defined(__x86_64__)
    case TKernelId::AESNI: return GHashPCLMUL(*FKey, X, blocks, n);
    case TKernelId::VAES256: return GHashVPCLMUL256(*FKey, X, blocks, n);
    case TKernelId::VAES512: return GHashVPCLMUL512(*FKey, X, blocks, n);
#elif defined(__aarch64__)
    case TKernelId::ARMv8: return GHashPMULL(*FKey, X, blocks, n);
#endif
    default:
      return GHashPortable(*FKey, X, blocks, n);
  }
}

bool TGHash::StitchedCrypt(bool encrypt, const TKeyedKernel& aes, std::uint8_t X[16], std::uint8_t ctr[16],
                           const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) const noexcept {
  TGCMCryptFn* fn = nullptr;
  switch (FId) {
#if defined(__x86_64__)
    case TKernelId::AESNI:
      fn = GCMCryptAESNI;
      break;
    case TKernelId::VAES256:
      fn = GCMCryptVAES256;
      break;
    case TKernelId::VAES512:
      fn = GCMCryptVAES512;
      break;
#endif
    default:
      return false;
  }
  fn(encrypt, aes.EncRoundKeys(), aes.Rounds(), *FKey, X, ctr, in, out, blocks);
  return true;
}

}  // namespace AESModes::kernel
