// The keyed kernel objects: an expanded AES key, and a GCM key (AES key, hash key and its powers),
// each bound once to the kernel table (portable, AES-NI, VAES, ARMv8) chosen for this processor,
// offering the block modes as bulk operations over whole 16-byte blocks. No heap allocation; what a
// key set-up filled is wiped when the object goes away or is set up again.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <type_traits>

#include "crypto/engine/kernel/AESKernelOps.h"
#include "crypto/engine/kernel/KernelDispatch.h"
#include "crypto/engine/kernel/portable/AESBitsliced.h"
#include "platform/Types.h"

namespace AESModes::kernel {

using platform::Cardinal;
using platform::Integer;

// The schedules of one key, each filled only when a kernel needs it: Keys.Enc (see TSchedules)
// always, Keys.Dec when an operation decrypts with the inverse cipher on a hardware kernel,
// Sliced (Enc as bit planes) on the portable kernel only. Filled says which hold key material.
// Keys comes first: the kernel files, which see TRoundKeys only declared, read it at the same
// address (SchedulesOf).
struct alignas(64) TRoundKeys {
  static constexpr std::uint8_t kEnc = 1, kDec = 2, kSliced = 4;
  TSchedules Keys;
  bitsliced::TSlicedKeys Sliced;
  Cardinal Nk = 0;
  std::uint8_t Filled = 0;
};
static_assert(std::is_standard_layout_v<TRoundKeys> && offsetof(TRoundKeys, Keys) == 0);

// For the portable kernel's key set-up: the bit planes, marked as holding key material.
bitsliced::TSlicedKeys& FillSlicedKeys(TRoundKeys& k) noexcept;

class TExpandedKey {
 public:
  // Uses kernel id, or, when this processor cannot run it, the best one below it that it can.
  explicit TExpandedKey(TKernelId id = ChosenKernel()) noexcept;
  // Wipes what the last key set-up filled.
  ~TExpandedKey();
  TExpandedKey(const TExpandedKey&) = delete;
  TExpandedKey& operator=(const TExpandedKey&) = delete;

  // Expands the cipher's schedule for Nk (1..8, Nr = Nk + 6) from key's first 4*Nk bytes with the
  // kernel's own instructions, and with inverse also the inverse cipher's schedule, which
  // DecryptECB and DecryptCBC need (no other operation does). Returns 0, or error::kBadKeySize
  // (nothing usable) when Nk is outside 1..8 or key is shorter than 4*Nk. The operations below
  // need a successful Expand first; until then (or after a failed one) their output is
  // meaningless.
  Integer Expand(std::span<const std::uint8_t> key, Cardinal Nk, bool inverse = false) noexcept;
  // Adds the inverse cipher's schedule to an expanded key (nothing when it is there already).
  void ExpandInverse() noexcept;
  Cardinal Nk() const noexcept { return FKeys.Nk; }
  unsigned Rounds() const noexcept { return FKeys.Keys.Nr; }
  TKernelId Id() const noexcept { return FId; }
  const TKernelOps& Ops() const noexcept { return *FOps; }
  // Encryption round keys, (Rounds()+1) * 16 bytes in the cipher's byte order, 16-byte aligned.
  const std::uint8_t* EncRoundKeys() const noexcept { return FKeys.Keys.Enc; }

  // Whether the kernel's entry points leave the vector registers clear of what they computed
  // (TKernelOps::ClearsRegisters): a call that runs nothing else on key material then needs no
  // register wipe of its own.
  bool ClearsRegisters() const noexcept { return FOps->ClearsRegisters; }

  // Bulk operations over `blocks` whole 16-byte blocks. in and out are either the same pointer or
  // do not overlap; no alignment is required. The plain entries go straight to the kernel's (one
  // call through the table, which a short message would otherwise pay twice for).
  void EncryptECB(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) const noexcept {
    FOps->EncryptECB(FKeys, in, out, blocks);
  }
  // Needs the inverse schedule (Expand with inverse, or ExpandInverse): without it the process
  // stops rather than write a wrong plain text.
  void DecryptECB(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) const noexcept {
    NeedInverse();
    FOps->DecryptECB(FKeys, in, out, blocks);
  }
  // CBC: iv becomes the last cipher block. Decryption needs the inverse schedule, as DecryptECB.
  void EncryptCBC(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, std::uint8_t iv[16]) const noexcept {
    FOps->EncryptCBC(FKeys, in, out, blocks, iv);
  }
  void DecryptCBC(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, std::uint8_t iv[16]) const noexcept {
    NeedInverse();
    FOps->DecryptCBC(FKeys, in, out, blocks, iv);
  }
  // OFB (both directions): iv becomes the last keystream block.
  void OFB(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, std::uint8_t iv[16]) const noexcept {
    FOps->OFB(FKeys, in, out, blocks, iv);
  }
  // Counter mode with the whole block as a 128-bit big-endian counter, advanced by blocks
  // (wrapping to zero).
  void CTR128(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, std::uint8_t ctr[16]) const noexcept {
    FOps->CTR128(FKeys, in, out, blocks, ctr);
  }
  // Counter mode that counts in the last 4 bytes only (big-endian, modulo 2^32), as GCM does.
  void CTR32(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, std::uint8_t ctr[16]) const noexcept {
    FOps->CTR32(FKeys, in, out, blocks, ctr);
  }
  // Counter mode that counts in the first 4 bytes only (little-endian, modulo 2^32), as GCM-SIV
  // does: the kernel's own loop, or ECB over counter blocks on a kernel without one.
  void CTR32LE(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, std::uint8_t ctr[16]) const noexcept;
  // The CBC-MAC chain: state = E(state xor block) for every block.
  void CBCMAC(const std::uint8_t* in, std::size_t blocks, std::uint8_t state[16]) const noexcept {
    FOps->CBCMAC(FKeys, in, blocks, state);
  }
  // ECB between two whitenings: out[j] = E(in[j] xor masks[j]) xor masks[j] (D for the decryption,
  // which needs the inverse schedule) over `blocks` blocks, each with its own 16-byte mask. out may
  // be in; masks must not overlap out.
  void EncryptWhitened(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, const std::uint8_t* masks) const noexcept;
  void DecryptWhitened(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, const std::uint8_t* masks) const noexcept;
  // XTS over whole blocks in the kernel's own loop, the tweaks made in registers: block j under
  // tweak * x^j, out[j] = E(in[j] xor tweak x^j) xor tweak x^j (D for the decryption, which needs
  // the inverse schedule); tweak becomes tweak * x^blocks. out may be in. False, with nothing
  // done, where the kernel has no such loop.
  bool EncryptXTS(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, std::uint8_t tweak[16]) const noexcept;
  bool DecryptXTS(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, std::uint8_t tweak[16]) const noexcept;
  // OCB3's whole blocks numbered first + 1 .. first + blocks in the kernel's own loop, the
  // offsets made in registers from offset (Offset_first, becomes Offset_(first + blocks)) and L
  // (L_0, L_1, .., 16 bytes each): encryption and decryption as TKernelOps::EncryptOCB and
  // DecryptOCB (the plain blocks added to sum; decryption needs the inverse schedule), Hash adds
  // E(in_i xor Offset_i) to sum and writes nothing (out may be null). False, with nothing done,
  // where the kernel has no such loop.
  enum class TOCBPass { Encrypt, Decrypt, Hash };
  bool OCB(TOCBPass pass, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, const std::uint8_t* L,
           std::uint64_t first, std::uint8_t offset[16], std::uint8_t sum[16]) const noexcept;
  // Key wrap's 6n steps in place over buf = A || R[1..n] (n >= 2) when the kernel has them; false,
  // with nothing done, otherwise. Unwrap needs the inverse schedule.
  bool Wrap(std::uint8_t* buf, std::size_t n) const noexcept;
  bool Unwrap(std::uint8_t* buf, std::size_t n) const noexcept;
  // One block; in may be out.
  void EncryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const noexcept {
    FOps->EncryptECB(FKeys, in, out, 1);
  }

 private:
  void Wipe() noexcept;
  // Decrypting with a schedule that was never made would write a wrong plain text with a success
  // status; that is a fault in the engine, and it stops here instead.
  void NeedInverse() const noexcept {
    if (FOps->ExpandInverse != nullptr && !(FKeys.Filled & TRoundKeys::kDec)) [[unlikely]]
      MissingInverse();
  }
  [[noreturn]] static void MissingInverse() noexcept;

  TRoundKeys FKeys;
  const TKernelOps* FOps;
  TKernelId FId;
};

// A GCM key: the AES key and the hash key H = E(0) with its powers, computed with the kernel's
// carry-less multiply, on one kernel table. What GCM needs of the key for any number of messages;
// the per-message state (counter, running hash, lengths) lives with the caller. Its const
// operations may run from several threads at once. The powers of H are made as the calls need
// them (a call over n blocks needs GHashPowersFor(n) of them), so a short message pays for
// few: the first call that needs more makes them under a lock, every other call reads how many
// there are and goes on. A key object that may never hash (it serves the block modes too) leaves
// H itself to its first hashing call, which makes it the same way and scrubs the stack after.
class TGCMKey {
 public:
  explicit TGCMKey(TKernelId id = ChosenKernel()) noexcept : FAES(id) {}
  TGCMKey(const TGCMKey&) = delete;
  TGCMKey& operator=(const TGCMKey&) = delete;

  // Expands the first 4 * Nk bytes of key (with inverse also the inverse cipher's schedule, so
  // that AES() serves every block mode too) and makes H (its powers as calls need them), or with
  // hashKeyLater leaves H to the first call that hashes; 0 or the expansion's status. A key made
  // for one message whose longest call is known makes the powers that call needs here
  // (callBlocks: its whole blocks), before any thread shares the key, so no call takes the lock.
  Integer Expand(std::span<const std::uint8_t> key, Cardinal Nk, bool inverse = false,
                 bool hashKeyLater = false, std::size_t callBlocks = 1) noexcept;
  const TExpandedKey& AES() const noexcept { return FAES; }
  // The expanded key for adding its inverse schedule (ExpandInverse); the caller keeps that from
  // racing with any use of the key.
  TExpandedKey& AES() noexcept { return FAES; }
  TKernelId Id() const noexcept { return FAES.Id(); }
  // X = GHASH of n whole blocks continued from X: for each block B, X = (X xor B) * H.
  void GHash(std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) const noexcept;
  // GCM's bulk step: counter mode with a 32-bit counter (ctr's last 4 bytes, returned advanced)
  // over `blocks` whole blocks, the cipher blocks absorbed into X; in the kernel's stitched loop
  // where it has one. out may be in.
  void Crypt(bool encrypt, std::uint8_t X[16], std::uint8_t ctr[16], const std::uint8_t* in, std::uint8_t* out,
             std::size_t blocks) const noexcept;
  void EncryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const noexcept { FAES.EncryptBlock(in, out); }

 private:
  // H's powers for a call over `blocks` blocks.
  void NeedPowers(std::size_t blocks) const noexcept {
    const unsigned made = FPowers.load(std::memory_order_acquire);
    if (made < kGHashPowers && GHashPowersFor(blocks) > made) [[unlikely]] MakePowers(blocks);
  }
  void MakePowers(std::size_t blocks) const noexcept;
  // H = E(0) and H^1 .. H^wanted (the whole key on a kernel that makes it at once), under
  // FMaking or before the key is shared.
  void MakeHashKey(unsigned wanted) const noexcept;

  TExpandedKey FAES;
  mutable TGHashKey FHash;  // the powers H^1 .. H^FPowers hold key material
  mutable std::atomic<unsigned> FPowers{0};
  mutable std::mutex FMaking;
};

// POLYVAL, GCM-SIV's hash, kept with its key on the kernel chosen like the keyed AES object's (a
// kernel this processor cannot run gives way to the best one below it). Through
//   POLYVAL(H, X1..Xn) = rev(GHASH(x * rev(H), rev(X1)..rev(Xn)))
// (rev: the 16 bytes in reverse order; x *: one multiplication by x in GHASH's field): the kernel's
// GHASH key is x * rev(H); the kernels with a POLYVAL loop take the blocks as they are, the others
// run GHASH over reversed copies. Every kernel gives the same S.
class TPolyVal {
 public:
  explicit TPolyVal(TKernelId id = ChosenKernel()) noexcept;
  TPolyVal(const TPolyVal&) = delete;
  TPolyVal& operator=(const TPolyVal&) = delete;
  // H: the key as POLYVAL takes it, 16 bytes.
  void SetKey(const std::uint8_t H[16]) noexcept;
  // S = the POLYVAL of n whole blocks continued from S.
  void Absorb(std::uint8_t S[16], const std::uint8_t* blocks, std::size_t n) const noexcept;
  TKernelId Id() const noexcept { return FId; }

 private:
  TGHashKey FKey;  // wiped
  const TKernelOps* FOps;
  TKernelId FId;
};

}  // namespace AESModes::kernel
