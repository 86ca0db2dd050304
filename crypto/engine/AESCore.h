// TAESCore: the AES block cipher (key expansion, one-block encryption and decryption).
#pragma once

#include "crypto/support/CryptBase.h"
#include "crypto/support/error.h"
#include "platform/Types.h"

namespace AESCore {

using platform::Cardinal;
using platform::Integer;
using platform::TBytes;
using platform::TCharArray16;
using platform::TCharArray60_4;

// Status returned for a key word count outside 1..8 or a key shorter than 4 * Nk bytes.
using error::kBadKeySize;

class TAESCore : public CryptBase::TOrvoCryptBase {
 public:
  TAESCore() = default;
  ~TAESCore() override = default;

  // Fills words 0 .. 4*(ANk+7)-1 of AW from the first 4*ANk bytes of AKey; the later words are
  // left as they were. Nr = ANk + 6, so Nk = 4, 6, 8 are AES-128/192/256 and the other values
  // from 1 to 8 run the same recurrence. Returns 0, or kBadKeySize without touching AW when ANk
  // is 0 or above 8 (the schedule holds 60 words) or AKey is shorter than 4*ANk bytes.
  Integer KeyExpansion(const TBytes& AKey, TCharArray60_4& AW, Cardinal ANk) const;

  // One block through Nr = ANk + 6 rounds. AIn is read in full before AOut is written, so both
  // may be the same block. Returns 0, or kBadKeySize (AOut untouched) when ANk is outside 1..8.
  Integer Cipher(const TCharArray16& AIn, TCharArray16& AOut, const TCharArray60_4& AW, Cardinal ANk) const;
  Integer InvCipher(const TCharArray16& AIn, TCharArray16& AOut, const TCharArray60_4& AW, Cardinal ANk) const;
};

}  // namespace AESCore
