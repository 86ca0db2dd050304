// The CMAC absorber shared by every CMAC form of TAESModes: the running value, the pending
// block and the two subkeys of one message. Internal to the engine.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/engine/kernel/AESKernel.h"
#include "platform/Memory.h"
#include "platform/Types.h"

namespace AESModes::detail {

using platform::TCharArray16;

// Bytes go in with Feed, in pieces of any size; Finish gives the tag. Whole blocks go to the
// kernel's CBC-MAC chain in one call per piece. The last block of the message is held back
// until more bytes arrive or Finish is called, because only then is it known whether it is the
// last one (finished with K1 when whole, padded and finished with K2 otherwise); so feeding
// the message in any split gives the same tag as feeding it one byte at a time.
class TCMACAbsorber {
 public:
  // kernel holds the expanded key and outlives the absorber; K1 and K2 are copied.
  TCMACAbsorber(const kernel::TExpandedKey& kernel, const TCharArray16& K1, const TCharArray16& K2) noexcept;
  // A copy continues the same message independently (same kernel, its own wiped state).
  TCMACAbsorber(const TCMACAbsorber& other) noexcept;
  TCMACAbsorber& operator=(const TCMACAbsorber&) = delete;

  // n bytes at p; n may be 0.
  void Feed(const std::uint8_t* p, std::size_t n) noexcept;
  // The tag T of everything fed; the absorber is spent afterwards.
  void Finish(TCharArray16& T) noexcept;

 private:
  struct TState {
    TCharArray16 X, M, K1, K2;  // running value, pending block, subkeys
  };
  const kernel::TExpandedKey& FKernel;
  platform::TWiped<TState> FS;  // subkeys and chaining values are wiped on every exit
  std::size_t FFill = 0;        // bytes of M taken (16: a whole block held back)
};

// Res = X times x in GF(2^128) as CMAC and OCB write blocks: X << 1 as a 128-bit big-endian
// number, xor 0x87 into its last byte when the bit shifted out was set (no branch on it).
void DoubleBlock(const TCharArray16& X, TCharArray16& Res) noexcept;
// The subkeys from L = E(0): K1 = L doubled, K2 = K1 doubled.
void CMACSubkeys(const TCharArray16& L, TCharArray16& K1, TCharArray16& K2) noexcept;
// The subkeys of an expanded key: L = E(0) (wiped), then CMACSubkeys. The one derivation every
// CMAC form and every mode built on CMAC runs.
void CMACSubkeysOf(const kernel::TExpandedKey& key, TCharArray16& K1, TCharArray16& K2) noexcept;

}  // namespace AESModes::detail
