// The keyed kernel: an expanded AES key together with the kernel (portable, AES-NI, VAES, ARMv8) chosen
// for this processor, offering the block modes as bulk operations over whole 16-byte blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "crypto/engine/kernel/portable/AESBitsliced.h"
#include "crypto/engine/kernel/KernelDispatch.h"
#include "platform/Types.h"

namespace AESModes::kernel {

using platform::Cardinal;
using platform::Integer;

// Both schedules of one key. Enc is the cipher's schedule (round key r is bytes 16r..16r+15, the
// layout the AES instructions load); Dec holds the round keys of the equivalent inverse cipher in
// the order decryption uses them: Enc[Nr], InvMixColumns(Enc[Nr-1]) .. InvMixColumns(Enc[1]), Enc[0].
// Sliced is Enc as the portable kernel's bit planes (filled for that kernel only).
struct alignas(64) TRoundKeys {
  platform::TCharArray60_4 Enc;
  alignas(16) platform::TCharArray60_4 Dec;
  bitsliced::TSlicedKeys Sliced;
  Cardinal Nk;
  unsigned Nr;
};

struct TKernelOps;

class TKeyedKernel {
 public:
  // Uses kernel id, or, when this processor cannot run it, the best one below it that it can.
  explicit TKeyedKernel(TKernelId id = ChosenKernel());
  // Wipes both schedules.
  ~TKeyedKernel();
  TKeyedKernel(const TKeyedKernel&) = delete;
  TKeyedKernel& operator=(const TKeyedKernel&) = delete;

  // Expands the encryption and decryption schedules for Nk (1..8, Nr = Nk + 6) from key's first
  // 4*Nk bytes. Returns 0, or error::kBadKeySize (nothing usable) when Nk is outside 1..8 or key
  // is shorter than 4*Nk. The operations below need a successful Expand first; until then (or
  // after a failed one) their output is meaningless.
  Integer Expand(std::span<const std::uint8_t> key, Cardinal Nk) noexcept;
  Cardinal Nk() const noexcept { return FKeys.Nk; }
  unsigned Rounds() const noexcept { return FKeys.Nr; }
  TKernelId Id() const noexcept { return FId; }
  // Encryption round keys, (Rounds()+1) * 16 bytes in the cipher's byte order, 16-byte aligned.
  const std::uint8_t* EncRoundKeys() const noexcept { return FKeys.Enc[0].data(); }

  // Bulk operations over `blocks` whole 16-byte blocks. in and out are either the same pointer or
  // do not overlap; no alignment is required.
  void EncryptECB(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) const noexcept;
  void DecryptECB(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) const noexcept;
  // CBC: iv becomes the last cipher block.
  void EncryptCBC(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, std::uint8_t iv[16]) const noexcept;
  void DecryptCBC(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, std::uint8_t iv[16]) const noexcept;
  // OFB (both directions): iv becomes the last keystream block.
  void OFB(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, std::uint8_t iv[16]) const noexcept;
  // Counter mode with the whole block as a 128-bit big-endian counter, advanced by blocks
  // (wrapping to zero).
  void CTR128(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, std::uint8_t ctr[16]) const noexcept;
  // Counter mode that counts in the last 4 bytes only (big-endian, modulo 2^32), as GCM does.
  void CTR32(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, std::uint8_t ctr[16]) const noexcept;
  // The CBC-MAC chain: state = E(state xor block) for every block.
  void CBCMAC(const std::uint8_t* in, std::size_t blocks, std::uint8_t state[16]) const noexcept;
  // One block; in may be out.
  void EncryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const noexcept;

 private:
  TRoundKeys FKeys{};
  const TKernelOps* FOps;
  TKernelId FId;
};

// GHASH kept with its hash key, on the kernel chosen like the keyed AES object's (a kernel this
// processor cannot run gives way to the best one below it). Every kernel gives the same X.
struct TGHashKey;
class TGHash {
 public:
  explicit TGHash(TKernelId id = ChosenKernel());
  ~TGHash();
  TGHash(const TGHash&) = delete;
  TGHash& operator=(const TGHash&) = delete;
  // H: the hash key, 16 bytes as E(0) gives them.
  void SetKey(const std::uint8_t H[16]) noexcept;
  // X = GHASH of n whole blocks continued from X: for each block B, X = (X xor B) * H.
  void Absorb(std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) const noexcept;
  TKernelId Id() const noexcept { return FId; }

  // GCM's bulk step on this kernel: counter mode with a 32-bit counter over `blocks` whole
  // blocks under aes's encryption round keys, the cipher blocks absorbed into X in the same
  // loop. False, with nothing done, on the portable kernel, which has no stitched loop (the
  // caller then runs aes.CTR32 and Absorb).
  bool StitchedCrypt(bool encrypt, const TKeyedKernel& aes, std::uint8_t X[16], std::uint8_t ctr[16],
                     const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) const noexcept;

 private:
  TGHashKey* FKey;  // 64-byte aligned powers of H, wiped
  TKernelId FId;
};

}  // namespace AESModes::kernel
