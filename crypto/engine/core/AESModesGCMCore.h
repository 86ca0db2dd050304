// The one GCM computation every GCM form runs: key, hash key, J0, the running hash and the two
// lengths, over the keyed AES kernel and the GHASH kernel of the same dispatch choice. The forms
// only decide where additional data, IV and data come from and where output and tag go.
// Internal to the engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "crypto/engine/kernel/AESKernel.h"
#include "platform/Memory.h"
#include "platform/Types.h"

namespace AESModes::detail {

using platform::Cardinal;
using platform::Integer;
using platform::TCharArray16;

// The most data one GCM computation may take: beyond it the 32-bit counter would repeat.
inline constexpr std::uint64_t kGCMMaxDataBytes = (std::uint64_t{1} << 36) - 32;
// The IV length that gives J0 = IV || 00 00 00 01 directly.
inline constexpr std::size_t kGCMIVBytes = 12;

// Going away, after its keys are wiped, it scrubs the stack below it (TStackScrub), where the
// stitched and parallel loops spill round keys and H.
class TGCM : private platform::TStackScrub {
 public:
  explicit TGCM(kernel::TKernelId id = kernel::ChosenKernel());
  TGCM(const TGCM&) = delete;
  TGCM& operator=(const TGCM&) = delete;

  // Expands the first 4 * Nk bytes of key and makes H = E(0); 0 or the expansion's status.
  Integer Start(std::span<const std::uint8_t> key, Cardinal Nk);
  // J0 from a non-empty IV: a 12-byte IV followed by 00 00 00 01, any other length through GHASH
  // (IV, zero padding, 64-bit bit count). The counter starts at J0 + 1.
  void SetIV(std::span<const std::uint8_t> iv);
  // Additional data and data come in pieces; every piece but the last of each is a multiple of
  // 16 bytes. All additional data comes before the data.
  void AddAAD(const std::uint8_t* p, std::size_t n);
  // Counter mode over n bytes with the cipher text hashed; out may be in.
  void Encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t n);
  void Decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t n);
  // The first pass of a decryption that checks the tag before it decrypts: the cipher text into
  // the hash only, no counter mode.
  void HashCipher(const std::uint8_t* c, std::size_t n);
  // T = E(J0) xor GHASH(..., 64-bit bit counts of the additional data and the data).
  void Finish(TCharArray16& T);

  // The kernel of the hash and the stitched loop (the keyed AES object may run a lower one).
  kernel::TKernelId Kernel() const noexcept { return FGHash.Id(); }

 private:
  void Absorb(std::uint8_t X[16], const std::uint8_t* p, std::size_t n);
  void Crypt(bool encrypt, const std::uint8_t* in, std::uint8_t* out, std::size_t n);
  void Counter(const std::uint8_t* in, std::uint8_t* out, std::size_t n);

  kernel::TKeyedKernel FAES;
  kernel::TGHash FGHash;
  platform::TWiped<TCharArray16> FJ0, FCB, FX;
  std::uint64_t FLenA = 0, FLenC = 0;  // bytes
};

// Checks every GCM form shares, each rule in one place.
// bits is a whole number of bytes (non-negative, a multiple of 8) and at most `bytes` of them.
bool GCMBitsFit(Integer bits, std::size_t bytes) noexcept;
// tagSizeBits (already at most 128) against the tag buffer: negative, or longer than the buffer,
// is refused with -201; so is a decryption below 8 bits, which would compare nothing.
Integer GCMCheckTag(Integer tagSizeBits, std::size_t tagBufferBytes, bool decrypt) noexcept;
// Nk for keySizeBits (128/192/256), and a key holding keySizeBits / 8 bytes; else -206.
Integer GCMCheckKey(Integer keySizeBits, std::size_t keyBytes, Cardinal& Nk) noexcept;
// 12 fresh IV bytes; a failing generator's status is returned, never a predictable IV.
Integer GCMRandomIV(std::uint8_t iv[kGCMIVBytes]) noexcept;
// Whether the first `expected.size()` bytes of T equal expected, in constant time.
bool GCMTagMatches(const TCharArray16& T, std::span<const std::uint8_t> expected) noexcept;

}  // namespace AESModes::detail
