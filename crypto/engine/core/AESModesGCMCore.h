// The one GCM computation every GCM form runs, split as the work splits: a key (the expanded AES
// key, the hash key H and its powers, on one kernel) made once per call, and a small per-message
// state (J0, the counter, the running hash, the two lengths) that is copied freely. A form that
// checks the tag before it decrypts hashes the additional data and the IV once and runs both of
// its passes from copies of that state. Internal to the engine.
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

// Where one message stands: J0 (kept for the tag), the next counter block, the running hash X and
// the byte counts of additional data and data. Plain bytes, copyable; every copy wipes itself.
struct TGCMMessage {
  TCharArray16 J0{}, CB{}, X{};
  std::uint64_t LenA = 0, LenC = 0;

  TGCMMessage() = default;
  TGCMMessage(const TGCMMessage&) = default;
  TGCMMessage& operator=(const TGCMMessage&) = default;
  ~TGCMMessage() { platform::SecureZero(this, sizeof *this); }
};

// The key of a GCM computation: the kernel's GCM key (AES key, H and its powers on one kernel
// table) and the message steps over it. Its operations are const: one key may serve several states (and
// threads) at once. A message starts from a fresh state; SetIV comes before the data (before or
// after the additional data); additional data and data come in pieces, every piece but the last
// of each a multiple of 16 bytes, all additional data before the data.
// TScrubbedGCM adds the stack scrub; this form is for keys made per message under a holder that
// scrubs the stack itself when it goes away (XAES-256-GCM's subkeys).
class TGCMComputation {
 public:
  explicit TGCMComputation(kernel::TKernelId id = kernel::ChosenKernel());
  TGCMComputation(const TGCMComputation&) = delete;
  TGCMComputation& operator=(const TGCMComputation&) = delete;

  // Expands the first 4 * Nk bytes of key (the cipher's schedule only) and derives H = E(0) and
  // its powers; 0 or the expansion's status.
  Integer Init(std::span<const std::uint8_t> key, Cardinal Nk);

  // J0 of s from a non-empty IV (a 12-byte IV followed by 00 00 00 01, any other length through
  // GHASH of the IV, zero padding and its 64-bit bit count); the counter starts at J0 + 1.
  void SetIV(TGCMMessage& s, std::span<const std::uint8_t> iv) const;
  void AddAAD(TGCMMessage& s, const std::uint8_t* p, std::size_t n) const;
  // Counter mode over n bytes with the cipher text hashed; out may be in.
  void Encrypt(TGCMMessage& s, const std::uint8_t* in, std::uint8_t* out, std::size_t n) const;
  void Decrypt(TGCMMessage& s, const std::uint8_t* in, std::uint8_t* out, std::size_t n) const;
  // The first pass of a decryption that checks the tag before it decrypts: the cipher text into
  // the hash only, no counter mode.
  void HashCipher(TGCMMessage& s, const std::uint8_t* c, std::size_t n) const;
  // T = E(J0) xor GHASH(..., 64-bit bit counts of the additional data and the data). s is spent:
  // its hash has taken the lengths block.
  void Finish(TGCMMessage& s, TCharArray16& T) const;

  // The kernel of the cipher, the hash and the stitched loop.
  kernel::TKernelId Kernel() const noexcept { return FKey.Id(); }

 private:
  void Absorb(std::uint8_t X[16], const std::uint8_t* p, std::size_t n) const;
  void Crypt(bool encrypt, TGCMMessage& s, const std::uint8_t* in, std::uint8_t* out, std::size_t n) const;
  void PartialBlock(TGCMMessage& s, const std::uint8_t* in, std::uint8_t* out, std::size_t r) const;

  kernel::TGCMKey FKey;
};

// The GCM key of one call or one key object. Going away, after its keys are wiped, it clears the
// vector registers (platform::TCallExit: the stitched and parallel loops spill no round key or H).
class TScrubbedGCM : private platform::TCallExit, public TGCMComputation {
 public:
  using TGCMComputation::TGCMComputation;
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
