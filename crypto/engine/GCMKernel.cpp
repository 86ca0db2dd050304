#include "crypto/engine/GCMKernel.h"

namespace AESModes::kernel {

// (Without x86 kernels every parameter but id goes unused.)
bool GCMCrypt(TKernelId id, [[maybe_unused]] bool encrypt, [[maybe_unused]] const std::uint8_t* rk,
              [[maybe_unused]] unsigned rounds, [[maybe_unused]] const TGHashKey& key, [[maybe_unused]] std::uint8_t X[16],
              [[maybe_unused]] std::uint8_t ctr[16], [[maybe_unused]] const std::uint8_t* in,
              [[maybe_unused]] std::uint8_t* out, [[maybe_unused]] std::size_t blocks) noexcept {
  switch (id) {
#if defined(__x86_64__)
    case TKernelId::AESNI: GCMCryptAESNI(encrypt, rk, rounds, key, X, ctr, in, out, blocks); return true;
    case TKernelId::VAES256: GCMCryptVAES256(encrypt, rk, rounds, key, X, ctr, in, out, blocks); return true;
    case TKernelId::VAES512: GCMCryptVAES512(encrypt, rk, rounds, key, X, ctr, in, out, blocks); return true;
#endif
    default: return false;
  }
}

bool GCMCTR32(TKernelId id, [[maybe_unused]] const std::uint8_t* rk, [[maybe_unused]] unsigned rounds,
              [[maybe_unused]] const std::uint8_t* in, [[maybe_unused]] std::uint8_t* out,
              [[maybe_unused]] std::size_t blocks, [[maybe_unused]] std::uint8_t ctr[16]) noexcept {
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
