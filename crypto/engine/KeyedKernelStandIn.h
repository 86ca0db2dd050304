// Temporary keyed AES object with the interface of the kernel layer's TKeyedKernel, so GCM can be
// built before that layer lands; it is removed (and AESKernel.h included instead) when it does.
// Single blocks go through TAESCore; whole-block CTR goes through the AES-NI / VAES counter code
// of the GCM kernels when the chosen kernel has it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "crypto/engine/AESCore.h"
#include "crypto/engine/KernelDispatch.h"
#include "platform/Memory.h"
#include "platform/Types.h"

namespace AESModes::kernel {

class TKeyedKernel {
 public:
  explicit TKeyedKernel(TKernelId id = ChosenKernel()) : FId(id) {}
  TKeyedKernel(const TKeyedKernel&) = delete;
  TKeyedKernel& operator=(const TKeyedKernel&) = delete;

  // Expands the first 4 * Nk bytes of key (Nk 4, 6 or 8). Returns 0 or -206.
  platform::Integer Expand(std::span<const std::uint8_t> key, platform::Cardinal Nk);
  unsigned Rounds() const noexcept { return FNk + 6; }
  // (Rounds() + 1) * 16 bytes, aligned 16.
  const std::uint8_t* EncRoundKeys() const noexcept { return &(*FW).W[0][0]; }
  TKernelId Id() const noexcept { return FId; }
  void EncryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const;
  // blocks whole blocks of counter mode; the last 4 bytes of ctr are a big-endian counter taken
  // modulo 2^32 and come back advanced by blocks. out may be in.
  void CTR32(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, std::uint8_t ctr[16]) const;

 private:
  struct alignas(16) TSchedule {
    platform::TCharArray60_4 W;
  };
  AESCore::TAESCore FCore;
  platform::TWiped<TSchedule> FW;
  platform::Cardinal FNk = 0;
  TKernelId FId;
};

}  // namespace AESModes::kernel
