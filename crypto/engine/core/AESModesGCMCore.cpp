#include "crypto/engine/core/AESModesGCMCore.h"

#include <algorithm>
#include <cstring>

#include "crypto/engine/core/AESModesChunks.h"
#include "crypto/engine/core/BlockMath.h"
#include "crypto/support/RandomCoreW.h"
#include "crypto/support/error.h"

namespace AESModes::detail {

namespace {

void PutBE64(std::uint8_t* p, std::uint64_t v) noexcept {
  for (int i = 7; i >= 0; --i, v >>= 8) p[i] = static_cast<std::uint8_t>(v);
}

}  // namespace

TGCMComputation::TGCMComputation(kernel::TKernelId id) : FKey(id) {}

Integer TGCMComputation::Init(std::span<const std::uint8_t> key, Cardinal Nk, bool inverse, bool hashKeyLater) {
  return FKey.Expand(key, Nk, inverse, hashKeyLater);
}

// The longest kernel call of the message: the whole blocks of the additional data or of the data.
Integer TGCMComputation::Init(std::span<const std::uint8_t> key, Cardinal Nk, std::size_t aadBytes,
                              std::size_t dataBytes) {
  return FKey.Expand(key, Nk, false, false, std::max(aadBytes, dataBytes) / 16);
}

// Whole blocks go straight from the caller's memory; a last partial block is hashed zero-padded.
void TGCMComputation::HashPadded(std::uint8_t X[16], const std::uint8_t* p, std::size_t n) const {
  FKey.GHash(X, p, n / 16);
  if (n % 16 != 0) {
    TCharArray16 last{};
    std::memcpy(last.data(), p + n - n % 16, n % 16);
    FKey.GHash(X, last.data(), 1);
  }
}

void TGCMComputation::Hash(TGCMMessage& s, const std::uint8_t* p, std::size_t n) const {
  if (n == 0) return;  // p may be null
  if (s.Fill != 0) {
    const std::size_t take = std::min(16 - s.Fill, n);
    std::memcpy(s.Pending.data() + s.Fill, p, take);
    s.Fill += take;
    p += take;
    n -= take;
    if (s.Fill < 16) return;
    FKey.GHash(s.X.data(), s.Pending.data(), 1);
    s.Fill = 0;
  }
  FKey.GHash(s.X.data(), p, n / 16);
  s.Fill = n % 16;
  std::memcpy(s.Pending.data(), p + n - s.Fill, s.Fill);
}

void TGCMComputation::FlushHash(TGCMMessage& s) const {
  if (s.Fill == 0) return;
  std::fill(s.Pending.begin() + static_cast<std::ptrdiff_t>(s.Fill), s.Pending.end(), 0);
  FKey.GHash(s.X.data(), s.Pending.data(), 1);
  s.Fill = 0;
}

void TGCMComputation::SetIV(TGCMMessage& s, std::span<const std::uint8_t> iv) const {
  if (iv.size() == kGCMIVBytes) {
    std::memcpy(s.J0.data(), iv.data(), kGCMIVBytes);
    s.J0[12] = s.J0[13] = s.J0[14] = 0;
    s.J0[15] = 1;
  } else {
    s.J0.fill(0);
    HashPadded(s.J0.data(), iv.data(), iv.size());
    TCharArray16 lengths{};
    PutBE64(lengths.data() + 8, 8 * static_cast<std::uint64_t>(iv.size()));
    FKey.GHash(s.J0.data(), lengths.data(), 1);
  }
  s.CB = s.J0;
  Increment32(s.CB.data());
}

void TGCMComputation::AddAAD(TGCMMessage& s, const std::uint8_t* p, std::size_t n) const {
  Hash(s, p, n);
  s.LenA += n;
}

// A block begun by an earlier piece is finished from the keystream kept for it, whole blocks go
// through the kernel's bulk step, and a block begun here keeps the rest of its keystream. The
// cipher bytes of a partial block are taken before the plain bytes may overwrite them (out may
// be in).
void TGCMComputation::Crypt(bool encrypt, TGCMMessage& s, const std::uint8_t* in, std::uint8_t* out,
                            std::size_t n) const {
  if (s.LenC == 0) FlushHash(s);  // the additional data ends here
  s.LenC += n;
  for (; s.Fill != 0 && n != 0; --n) {
    const std::uint8_t x = *in++, y = static_cast<std::uint8_t>(x ^ s.Keystream[s.Fill]);
    s.Pending[s.Fill] = encrypt ? y : x;
    *out++ = y;
    if (++s.Fill == 16) {
      FKey.GHash(s.X.data(), s.Pending.data(), 1);
      s.Fill = 0;
    }
  }
  const std::size_t whole = n - n % 16;
  FKey.Crypt(encrypt, s.X.data(), s.CB.data(), in, out, whole / 16);
  if (const std::size_t r = n - whole) {
    FKey.EncryptBlock(s.CB.data(), s.Keystream.data());
    Increment32(s.CB.data());
    for (std::size_t i = 0; i < r; ++i) {
      const std::uint8_t x = in[whole + i], y = static_cast<std::uint8_t>(x ^ s.Keystream[i]);
      s.Pending[i] = encrypt ? y : x;
      out[whole + i] = y;
    }
    s.Fill = r;
  }
}

void TGCMComputation::Encrypt(TGCMMessage& s, const std::uint8_t* in, std::uint8_t* out, std::size_t n) const {
  Crypt(true, s, in, out, n);
}
void TGCMComputation::Decrypt(TGCMMessage& s, const std::uint8_t* in, std::uint8_t* out, std::size_t n) const {
  Crypt(false, s, in, out, n);
}

void TGCMComputation::HashCipher(TGCMMessage& s, const std::uint8_t* c, std::size_t n) const {
  if (s.LenC == 0) FlushHash(s);
  Hash(s, c, n);
  s.LenC += n;
}

void TGCMComputation::Finish(TGCMMessage& s, TCharArray16& T) const {
  FlushHash(s);
  TCharArray16 lengths;
  PutBE64(lengths.data(), 8 * s.LenA);
  PutBE64(lengths.data() + 8, 8 * s.LenC);
  FKey.GHash(s.X.data(), lengths.data(), 1);
  FKey.EncryptBlock(s.J0.data(), T.data());
  for (std::size_t i = 0; i < 16; ++i) T[i] ^= s.X[i];
}

bool GCMBitsFit(Integer bits, std::size_t bytes) noexcept {
  return bits >= 0 && bits % 8 == 0 && static_cast<std::size_t>(bits / 8) <= bytes;
}

Integer GCMCheckTag(Integer tagSizeBits, std::size_t tagBufferBytes, bool decrypt) noexcept {
  if (tagSizeBits < 0 || (decrypt && tagSizeBits < 8)) return error::kBadArgument;
  return static_cast<std::size_t>(tagSizeBits / 8) <= tagBufferBytes ? 0 : error::kBadArgument;
}

Integer GCMCheckKey(Integer keySizeBits, std::size_t keyBytes, Cardinal& Nk) noexcept {
  if (const Integer st = NkForKeySize(keySizeBits, Nk)) return st;
  return keyBytes < static_cast<std::size_t>(keySizeBits / 8) ? error::kBadKeySize : 0;
}

Integer GCMRandomIV(std::uint8_t iv[kGCMIVBytes]) noexcept {
  return RandomCoreW::TRandomCore::GetRandomBytes(static_cast<Integer>(kGCMIVBytes), iv);
}

bool GCMTagMatches(const TCharArray16& T, std::span<const std::uint8_t> expected) noexcept {
  return expected.size() <= 16 && platform::ConstantTimeEqual(std::span(T).first(expected.size()), expected);
}

}  // namespace AESModes::detail
