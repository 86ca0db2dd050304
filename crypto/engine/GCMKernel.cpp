#include "crypto/engine/GCMKernel.h"

namespace AESModes::kernel {

bool GCMCrypt(TKernelId id, bool encrypt, const std::uint8_t* rk, unsigned rounds, const TGHashKey& key,
              std::uint8_t X[16], std::uint8_t ctr[16], const std::uint8_t* in, std::uint8_t* out,
              std::size_t blocks) noexcept {
  switch (id) {
#if defined(__x86_64__)
    case TKernelId::AESNI: GCMCryptAESNI(encrypt, rk, rounds, key, X, ctr, in, out, blocks); return true;
    case TKernelId::VAES256: GCMCryptVAES256(encrypt, rk, rounds, key, X, ctr, in, out, blocks); return true;
    case TKernelId::VAES512: GCMCryptVAES512(encrypt, rk, rounds, key, X, ctr, in, out, blocks); return true;
#endif
    default: return false;
  }
}

bool GCMCTR32(TKernelId id, const std::uint8_t* rk, unsigned rounds, const std::uint8_t* in, std::uint8_t* out,
              std::size_t blocks, std::uint8_t ctr[16]) noexcept {
  switch (id) {
#if defined(__x86_64__)
    case TKernelId::AESNI: CTR32AESNI(rk, rounds, in, out, blocks, ctr); return true;
    case TKernelId::VAES256: CTR32VAES256(rk, rounds, in, out, blocks, ctr); return true;
    case TKernelId::VAES512: CTR32VAES512(rk, rounds, in, out, blocks, ctr); return true;
#endif
    default: return false;
  }
}

}  // namespace AESModes::kernel
