// GHASH with an arbitrary hash key straight on one kernel's table, for the tests that hold every
// kernel's hash and stitched loop against each other. The library reaches GHASH only through its
// GCM key (H = E(0)); these tests need to choose H themselves.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/engine/kernel/AESKernel.h"
#include "crypto/engine/kernel/AESKernelOps.h"
#include "crypto/engine/kernel/KernelDispatch.h"

namespace testing_support {

class TKernelGHash {
 public:
  explicit TKernelGHash(AESModes::kernel::TKernelId id) noexcept
      : FOps(AESModes::kernel::ResolveKernel(id).Ops) {}
  // Every power the kernel can read, as a GCM key has them once its messages are long.
  void SetKey(const std::uint8_t H[16]) noexcept {
    FOps->GHashSetKey(FKey, H);
    if (FOps->GHashExtendKey != nullptr)
      FOps->GHashExtendKey(FKey, nullptr, AESModes::kernel::kGHashNarrowPowers, AESModes::kernel::kGHashPowers);
  }
  // X = GHASH of n whole blocks continued from X.
  void Absorb(std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) const noexcept {
    FOps->GHash(FKey, X, blocks, n);
  }
  // The kernel's stitched GCM loop under aes's round keys; false, with nothing done, on a kernel
  // without one.
  bool StitchedCrypt(bool encrypt, const AESModes::kernel::TExpandedKey& aes, std::uint8_t X[16],
                     std::uint8_t ctr[16], const std::uint8_t* in, std::uint8_t* out,
                     std::size_t blocks) const noexcept {
    if (FOps->GCMCrypt == nullptr) return false;
    FOps->GCMCrypt(encrypt, aes.EncRoundKeys(), aes.Rounds(), FKey, X, ctr, in, out, blocks);
    return true;
  }

 private:
  AESModes::kernel::TGHashKey FKey;
  const AESModes::kernel::TKernelOps* FOps;
};

}  // namespace testing_support
