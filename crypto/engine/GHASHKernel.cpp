#include "crypto/engine/GHASHKernel.h"

#include "platform/Memory.h"

namespace AESModes::kernel {

TGHashKey::~TGHashKey() { platform::SecureZero(Pow, sizeof Pow); }

void TGHash::SetKey(const std::uint8_t H[16]) {
#if defined(__x86_64__)
  if (FId != TKernelId::Portable) return GHashSetKeyPCLMUL(FKey, H);
#elif defined(__aarch64__)
  if (FId == TKernelId::ARMv8) return GHashSetKeyPMULL(FKey, H);
#endif
  GHashSetKeyPortable(FKey, H);
}

void TGHash::Absorb(std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) const {
  switch (FId) {
#if defined(__x86_64__)
    case TKernelId::AESNI: return GHashPCLMUL(FKey, X, blocks, n);
    case TKernelId::VAES256: return GHashVPCLMUL256(FKey, X, blocks, n);
    case TKernelId::VAES512: return GHashVPCLMUL512(FKey, X, blocks, n);
#elif defined(__aarch64__)
    case TKernelId::ARMv8: return GHashPMULL(FKey, X, blocks, n);
#endif
    default: return GHashPortable(FKey, X, blocks, n);
  }
}

}  // namespace AESModes::kernel
