#include "crypto/engine/core/AESModesGCMCore.h"

#include <cstring>

#include "crypto/engine/core/AESModesChunks.h"
#include "crypto/support/RandomCoreW.h"
#include "crypto/support/error.h"

namespace AESModes::detail {

namespace {

void PutBE64(std::uint8_t* p, std::uint64_t v) noexcept {
  for (int i = 7; i >= 0; --i, v >>= 8) p[i] = static_cast<std::uint8_t>(v);
}

void Next32(TCharArray16& cb) noexcept {
  for (int i = 15; i >= 12 && ++cb[static_cast<std::size_t>(i)] == 0; --i) {
  }
}

}  // namespace

TGCMComputation::TGCMComputation(kernel::TKernelId id) : FKey(id) {}

Integer TGCMComputation::Init(std::span<const std::uint8_t> key, Cardinal Nk) { return FKey.Expand(key, Nk); }

// Whole blocks go straight from the caller's memory; a last partial block is hashed zero-padded.
void TGCMComputation::Absorb(std::uint8_t X[16], const std::uint8_t* p, std::size_t n) const {
  FKey.GHash(X, p, n / 16);
  if (n % 16 != 0) {
    TCharArray16 last{};
    std::memcpy(last.data(), p + n - n % 16, n % 16);
    FKey.GHash(X, last.data(), 1);
  }
}

void TGCMComputation::SetIV(TGCMMessage& s, std::span<const std::uint8_t> iv) const {
  if (iv.size() == kGCMIVBytes) {
    std::memcpy(s.J0.data(), iv.data(), kGCMIVBytes);
    s.J0[12] = s.J0[13] = s.J0[14] = 0;
    s.J0[15] = 1;
  } else {
    s.J0.fill(0);
    Absorb(s.J0.data(), iv.data(), iv.size());
    TCharArray16 lengths{};
    PutBE64(lengths.data() + 8, 8 * static_cast<std::uint64_t>(iv.size()));
    FKey.GHash(s.J0.data(), lengths.data(), 1);
  }
  s.CB = s.J0;
  Next32(s.CB);
}

void TGCMComputation::AddAAD(TGCMMessage& s, const std::uint8_t* p, std::size_t n) const {
  Absorb(s.X.data(), p, n);
  s.LenA += n;
}

// Counter mode over the r (< 16) bytes of a last partial block.
void TGCMComputation::PartialBlock(TGCMMessage& s, const std::uint8_t* in, std::uint8_t* out, std::size_t r) const {
  platform::TWiped<TCharArray16> k;
  FKey.EncryptBlock(s.CB.data(), k->data());
  Next32(s.CB);
  for (std::size_t i = 0; i < r; ++i) out[i] = static_cast<std::uint8_t>(in[i] ^ (*k)[i]);
}

void TGCMComputation::Crypt(bool encrypt, TGCMMessage& s, const std::uint8_t* in, std::uint8_t* out, std::size_t n) const {
  const std::size_t whole = n - n % 16;
  FKey.Crypt(encrypt, s.X.data(), s.CB.data(), in, out, whole / 16);
  if (n != whole) {
    // The cipher bytes of the last partial block are hashed before the plain bytes may
    // overwrite them (out may be in).
    if (!encrypt) Absorb(s.X.data(), in + whole, n - whole);
    PartialBlock(s, in + whole, out + whole, n - whole);
    if (encrypt) Absorb(s.X.data(), out + whole, n - whole);
  }
  s.LenC += n;
}

void TGCMComputation::Encrypt(TGCMMessage& s, const std::uint8_t* in, std::uint8_t* out, std::size_t n) const {
  Crypt(true, s, in, out, n);
}
void TGCMComputation::Decrypt(TGCMMessage& s, const std::uint8_t* in, std::uint8_t* out, std::size_t n) const {
  Crypt(false, s, in, out, n);
}

void TGCMComputation::HashCipher(TGCMMessage& s, const std::uint8_t* c, std::size_t n) const {
  Absorb(s.X.data(), c, n);
  s.LenC += n;
}

void TGCMComputation::Finish(TGCMMessage& s, TCharArray16& T) const {
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
