// GCM's bulk kernels: counter mode with a 32-bit counter stitched with GHASH in one loop, and
// counter mode alone, on AES-NI with PCLMULQDQ and on VAES with VPCLMULQDQ (256 and 512 bits).
// Round keys are the encryption schedule, (rounds + 1) * 16 bytes. The last 4 bytes of ctr are
// a big-endian counter taken modulo 2^32; it comes back advanced by blocks. out may be in.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/engine/GHASHKernel.h"
#include "crypto/engine/KernelDispatch.h"

namespace AESModes::kernel {

// Encrypts (or decrypts) blocks whole blocks and absorbs the cipher blocks into X with the
// GHASH key. False, with nothing done, for a kernel without stitched code (the portable one).
bool GCMCrypt(TKernelId id, bool encrypt, const std::uint8_t* rk, unsigned rounds, const TGHashKey& key,
              std::uint8_t X[16], std::uint8_t ctr[16], const std::uint8_t* in, std::uint8_t* out,
              std::size_t blocks) noexcept;
// Counter mode alone; false, with nothing done, for the portable kernel.
bool GCMCTR32(TKernelId id, const std::uint8_t* rk, unsigned rounds, const std::uint8_t* in, std::uint8_t* out,
              std::size_t blocks, std::uint8_t ctr[16]) noexcept;

// The kernels behind them, one per instruction set.
using TGCMCryptFn = void(bool encrypt, const std::uint8_t* rk, unsigned rounds, const TGHashKey& key,
                         std::uint8_t X[16], std::uint8_t ctr[16], const std::uint8_t* in, std::uint8_t* out,
                         std::size_t blocks) noexcept;
using TCTR32Fn = void(const std::uint8_t* rk, unsigned rounds, const std::uint8_t* in, std::uint8_t* out,
                      std::size_t blocks, std::uint8_t ctr[16]) noexcept;
TGCMCryptFn GCMCryptAESNI, GCMCryptVAES256, GCMCryptVAES512;
TCTR32Fn CTR32AESNI, CTR32VAES256, CTR32VAES512;

}  // namespace AESModes::kernel
