// GHASH kept with its hash key: H and the powers of H the chosen kernel works with, and the
// block absorber of that kernel. Every kernel gives the same X for the same blocks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/engine/KernelDispatch.h"

namespace AESModes::kernel {

// Up to 16 blocks are multiplied by powers of H and reduced once.
inline constexpr std::size_t kGHashPowers = 16;

// Pow[k] = H^(16 - k) in the kernel's own layout, so a group of g blocks multiplies its block j by
// Pow[16 - g + j]. The portable kernel keeps only H, in Pow[15]. Wiped when it goes away.
struct alignas(64) TGHashKey {
  std::uint8_t Pow[kGHashPowers][16] = {};
  TGHashKey() = default;
  TGHashKey(const TGHashKey&) = delete;
  TGHashKey& operator=(const TGHashKey&) = delete;
  ~TGHashKey();
};

class TGHash {
 public:
  explicit TGHash(TKernelId id = ChosenKernel()) : FId(id) {}
  // H: the hash key, 16 bytes as E(0) gives them.
  void SetKey(const std::uint8_t H[16]);
  // X = GHASH of n whole blocks continued from X: for each block B, X = (X xor B) * H.
  void Absorb(std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) const;
  TKernelId Id() const noexcept { return FId; }
  const TGHashKey& Key() const noexcept { return FKey; }

 private:
  TGHashKey FKey;
  TKernelId FId;
};

// The kernels behind TGHash. The PCLMUL layout (byte-reversed powers) is shared by the
// PCLMULQDQ and VPCLMULQDQ kernels.
void GHashSetKeyPortable(TGHashKey& key, const std::uint8_t H[16]) noexcept;
void GHashPortable(const TGHashKey& key, std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) noexcept;
void GHashSetKeyPCLMUL(TGHashKey& key, const std::uint8_t H[16]) noexcept;
void GHashPCLMUL(const TGHashKey& key, std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) noexcept;
void GHashVPCLMUL256(const TGHashKey& key, std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) noexcept;
void GHashVPCLMUL512(const TGHashKey& key, std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) noexcept;
// ARMv8 PMULL; its key keeps H in the portable kernel's layout.
void GHashSetKeyPMULL(TGHashKey& key, const std::uint8_t H[16]) noexcept;
void GHashPMULL(const TGHashKey& key, std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) noexcept;

}  // namespace AESModes::kernel
