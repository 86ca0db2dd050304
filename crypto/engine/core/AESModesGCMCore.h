// The one GCM computation every GCM form runs, split as the work splits: a key (the expanded AES
// key, the hash key H and its powers, on one kernel) made once per call, and a small per-message
// state (J0, the counter, the running hash, the two lengths) that is copied freely. A form that
// checks the tag before it decrypts hashes the additional data and the IV once and runs both of
// its passes from copies of that state. Internal to the engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "crypto/engine/core/MeasuredInput.h"
#include "crypto/engine/kernel/AESKernel.h"
#include "crypto/support/error.h"
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

// Where one message stands: J0 (kept for the tag), the next counter block, the running hash X,
// the byte counts of additional data and data, and the block under way when a piece ended inside
// one: its bytes so far (additional data or cipher text, hashed once it is whole or the message
// ends) and, for data, the rest of its keystream. Plain bytes, copyable; every copy wipes itself.
struct TGCMMessage {
  TCharArray16 J0{}, CB{}, X{};
  TCharArray16 Pending{}, Keystream{};
  std::uint64_t LenA = 0, LenC = 0;
  std::size_t Fill = 0;  // bytes of Pending taken (0 to 15)

  TGCMMessage() = default;
  TGCMMessage(const TGCMMessage&) = default;
  TGCMMessage& operator=(const TGCMMessage&) = default;
  ~TGCMMessage() { platform::SecureZero(this, sizeof *this); }
};

// The GCM message engine: the kernel's GCM key (AES key, H and its powers on one kernel table)
// and the message steps over it. Its operations are const: one key may serve several messages
// (and threads) at once. A message starts from a fresh TGCMMessage; SetIV comes before the data
// (before or after the additional data); additional data and data come in pieces of any size,
// all additional data before the data: a piece may end inside a block and the next one go on
// with it, and the output is the same for every split.
// TScrubbedGCM adds the stack scrub; this form is for keys made per message under a holder that
// scrubs the stack itself when it goes away (XAES-256-GCM's subkeys).
class TGCMComputation {
 public:
  explicit TGCMComputation(kernel::TKernelId id = kernel::ChosenKernel());
  TGCMComputation(const TGCMComputation&) = delete;
  TGCMComputation& operator=(const TGCMComputation&) = delete;

  // Expands the first 4 * Nk bytes of key (the cipher's schedule, with inverse also the inverse
  // cipher's) and derives H = E(0) and its powers, or with hashKeyLater leaves them to the first
  // call that hashes; 0 or the expansion's status. A computation made for one message may pass
  // its length instead (additional data and data), so that the powers of H its calls need are made
  // here at once.
  Integer Init(std::span<const std::uint8_t> key, Cardinal Nk, bool inverse = false, bool hashKeyLater = false);
  Integer Init(std::span<const std::uint8_t> key, Cardinal Nk, std::size_t aadBytes, std::size_t dataBytes);
  // The expanded AES key under the hash key: a key object's one schedule, for its other modes.
  const kernel::TExpandedKey& AES() const noexcept { return FKey.AES(); }
  // The same, for adding the inverse schedule where no call is using the key meanwhile.
  kernel::TExpandedKey& AES() noexcept { return FKey.AES(); }

  // J0 of s from a non-empty IV (a 12-byte IV followed by 00 00 00 01, any other length through
  // GHASH of the IV, zero padding and its 64-bit bit count); the counter starts at J0 + 1.
  void SetIV(TGCMMessage& s, std::span<const std::uint8_t> iv) const;
  void AddAAD(TGCMMessage& s, const std::uint8_t* p, std::size_t n) const;
  // Counter mode over n bytes with the cipher text hashed; out may be in (or must not overlap it).
  void Encrypt(TGCMMessage& s, const std::uint8_t* in, std::uint8_t* out, std::size_t n) const;
  void Decrypt(TGCMMessage& s, const std::uint8_t* in, std::uint8_t* out, std::size_t n) const;
  // The first pass of a decryption that checks the tag before it decrypts: the cipher text into
  // the hash only, no counter mode.
  void HashCipher(TGCMMessage& s, const std::uint8_t* c, std::size_t n) const;
  // T = E(J0) xor GHASH(..., 64-bit bit counts of the additional data and the data). s is spent:
  // its hash has taken the block under way and the lengths block.
  void Finish(TGCMMessage& s, TCharArray16& T) const;

  // The kernel of the cipher, the hash and the stitched loop.
  kernel::TKernelId Kernel() const noexcept { return FKey.Id(); }

 private:
  // X = GHASH of n bytes, a last partial block zero-padded (the IV's hash).
  void HashPadded(std::uint8_t X[16], const std::uint8_t* p, std::size_t n) const;
  // n more bytes of the hashed stream of s (additional data, then cipher text).
  void Hash(TGCMMessage& s, const std::uint8_t* p, std::size_t n) const;
  // The block under way hashed zero-padded (the end of the additional data, or of the message).
  void FlushHash(TGCMMessage& s) const;
  void Crypt(bool encrypt, TGCMMessage& s, const std::uint8_t* in, std::uint8_t* out, std::size_t n) const;

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

// Verify-then-decrypt over a cipher text that can be read twice, the one such loop of every GCM
// form. start: the message after its key, additional data and IV. in: the input, already past
// anything read before the cipher text (an IV stored in front of it). First pass: the cipher
// text into the hash only; a tag other than expected ends it with kTagMismatch and nothing
// written. Then reread(again) sets `again` (a std::optional<TMeasuredInput>) to the input read
// from its start once more, or returns a status; an input whose size changed is refused
// (kTagMismatch) before anything is decrypted, and the bytes in front of the cipher text are
// skipped (the state already holds J0). Second pass: each piece is decrypted in buf and handed to
// write(p, n) (0 or a status), and the tag is checked again over what was actually read, so an
// input changed between the passes gives kTagMismatch too: the caller then discards or zeroes
// what write received. A failed read gives its status (or raises, as the input reports).
template <class Reread, class Write>
Integer GCMDecryptVerified(const TGCMComputation& gcm, const TGCMMessage& start, std::span<const std::uint8_t> expected,
                           TMeasuredInput& in, std::span<std::uint8_t> buf, Reread reread, Write write) {
  const std::int64_t front = in.Done();
  platform::TWiped<TCharArray16> T;
  {
    TGCMMessage check = start;
    if (const Integer st = ForEachPiece(in, buf, [&](const std::uint8_t* p, std::int64_t n) {
          gcm.HashCipher(check, p, static_cast<std::size_t>(n));
          return Integer{0};
        }))
      return st;
    gcm.Finish(check, *T);
    if (!GCMTagMatches(*T, expected)) return error::kTagMismatch;
  }
  std::optional<TMeasuredInput> again;
  if (const Integer st = reread(again)) return st;
  if (again->Size() != in.Size()) return error::kTagMismatch;
  if (front > 0)
    if (const Integer st = again->ReadExactly(buf.data(), front)) return st;
  TGCMMessage s = start;
  if (const Integer st = ForEachPiece(*again, buf, [&](std::uint8_t* p, std::int64_t n) {
        gcm.Decrypt(s, p, p, static_cast<std::size_t>(n));
        return write(p, n);
      }))
    return st;
  gcm.Finish(s, *T);
  return GCMTagMatches(*T, expected) ? 0 : error::kTagMismatch;
}

}  // namespace AESModes::detail
