// AES-GCM-SIV and GMAC on a TAESKey. GCM-SIV derives a message key pair from the key and the
// nonce, authenticates with POLYVAL and encrypts with a 32-bit little-endian counter from the tag.
// POLYVAL runs on the kernel's GHASH (TPolyVal), constant time on the portable kernel;
// counter mode on the kernel's CTR32LE.
#include <algorithm>
#include <cstring>

#include "crypto/engine/keyed/AESKeyedState.h"
#include "platform/Memory.h"
#include "crypto/support/error.h"

namespace AESKeyed {

namespace kernel = AESModes::kernel;
using error::kBadArgument;
using keyed::BadOutput;
using keyed::TIn;
using keyed::TOut;

namespace {

constexpr std::size_t kNonceBytes = 12, kTagBytes = 16;
constexpr std::uint64_t kMaxBytes = std::uint64_t{1} << 36;  // plain text, and additional data

void PutLE64(std::uint8_t* p, std::uint64_t v) noexcept {
  for (int i = 0; i < 8; ++i, v >>= 8) p[i] = static_cast<std::uint8_t>(v);
}

// One message's keys: the encryption key expanded on the key's kernel and POLYVAL's hash key on
// its GHASH, with POLYVAL's running value. Wiped when the message ends.
class TSIVMessage {
 public:
  TSIVMessage(const kernel::TExpandedKey& key, TIn nonce) noexcept : FEnc(key.Id()), FHash(key.Id()) {
    // Block i is the 32-bit little-endian i, then the nonce; the first 8 bytes of each encrypted
    // block make the keys: blocks 0-1 the hash key, 2-3 (and 4-5 for AES-256) the encryption key.
    const std::size_t blocks = key.Nk() == 8 ? 6 : 4;
    platform::TWiped<std::array<std::uint8_t, 96>> b;
    for (std::size_t i = 0; i < blocks; ++i) {
      (*b)[16 * i] = static_cast<std::uint8_t>(i);
      std::memcpy(b->data() + 16 * i + 4, nonce.data(), kNonceBytes);
    }
    key.EncryptECB(b->data(), b->data(), blocks);
    platform::TWiped<std::array<std::uint8_t, 32>> k;
    for (std::size_t i = 0; i < blocks - 2; ++i) std::memcpy(k->data() + 8 * i, b->data() + 16 * (i + 2), 8);
    FEnc.Expand(std::span(*k).first(4 * key.Nk()), key.Nk());
    // POLYVAL's key: the first halves of blocks 0 and 1.
    platform::TWiped<TCharArray16> H;
    std::memcpy(H->data(), b->data(), 8);
    std::memcpy(H->data() + 8, b->data() + 16, 8);
    FHash.SetKey(H->data());
  }

  // n bytes of a POLYVAL input, a last partial block zero-padded.
  void Absorb(const std::uint8_t* p, std::size_t n) noexcept {
    FHash.Absorb(FS->data(), p, n / 16);
    if (const std::size_t r = n % 16) {
      platform::TWiped<TCharArray16> last;
      std::memcpy(last->data(), p + n - r, r);
      FHash.Absorb(FS->data(), last->data(), 1);
    }
  }

  // The tag over additional data of aadBytes and plain text of plainBytes absorbed before.
  void Tag(std::uint64_t aadBytes, std::uint64_t plainBytes, TIn nonce, TCharArray16& T) noexcept {
    std::uint8_t lengths[16];
    PutLE64(lengths, 8 * aadBytes);
    PutLE64(lengths + 8, 8 * plainBytes);
    Absorb(lengths, 16);
    T = *FS;
    for (std::size_t i = 0; i < kNonceBytes; ++i) T[i] ^= nonce[i];
    T[15] &= 0x7F;
    FEnc.EncryptBlock(T.data(), T.data());
  }

  // Counter mode from the tag (its top bit set), counting in the first 4 bytes.
  void Crypt(const TCharArray16& tag, const std::uint8_t* in, std::uint8_t* out, std::size_t n) noexcept {
    platform::TWiped<TCharArray16> ctr;
    *ctr = tag;
    (*ctr)[15] |= 0x80;
    const std::size_t whole = n / 16;
    FEnc.CTR32LE(in, out, whole, ctr->data());
    if (const std::size_t r = n % 16) {
      TCharArray16& k = *ctr;
      FEnc.EncryptBlock(k.data(), k.data());
      for (std::size_t i = 0; i < r; ++i) out[16 * whole + i] = static_cast<std::uint8_t>(in[16 * whole + i] ^ k[i]);
    }
  }

 private:
  kernel::TExpandedKey FEnc;
  kernel::TPolyVal FHash;
  platform::TWiped<TCharArray16> FS;  // POLYVAL's running value
};

Integer CheckGCMSIV(const TAESKey::TState* k, TIn nonce, TIn aad, TIn in, TOut out, std::size_t tagBytes) noexcept {
  if (k == nullptr) return kBadArgument;
  if (k->AES.Nk() != 4 && k->AES.Nk() != 8) return error::kBadKeySize;
  if (nonce.size() != kNonceBytes || tagBytes != kTagBytes || BadOutput(in, out)) return kBadArgument;
  return in.size() > kMaxBytes || aad.size() > kMaxBytes ? kBadArgument : 0;
}

}  // namespace

Integer TAESKey::GCMSIV_Seal(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> additionalData,
                             std::span<const std::uint8_t> plain, std::span<std::uint8_t> cipher,
                             std::span<std::uint8_t> tag) const {
  // The key set-ups (this key's or the message's) write round keys only into the key objects'
  // wiped storage; what they left in the vector registers is cleared on every way out
  // (platform::TCallExit).
  const platform::TCallExit clear;
  if (const Integer st = CheckGCMSIV(FState.get(), nonce, additionalData, plain, cipher, tag.size())) return st;
  TSIVMessage m(FState->AES, nonce);
  m.Absorb(additionalData.data(), additionalData.size());
  m.Absorb(plain.data(), plain.size());
  platform::TWiped<TCharArray16> T;
  m.Tag(additionalData.size(), plain.size(), nonce, *T);
  m.Crypt(*T, plain.data(), cipher.data(), plain.size());
  std::copy(T->begin(), T->end(), tag.begin());
  return 0;
}

Integer TAESKey::GCMSIV_Open(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> additionalData,
                             std::span<const std::uint8_t> cipher, std::span<const std::uint8_t> tag,
                             std::span<std::uint8_t> plain) const {
  // The key set-ups (this key's or the message's) write round keys only into the key objects'
  // wiped storage; what they left in the vector registers is cleared on every way out
  // (platform::TCallExit).
  const platform::TCallExit clear;
  if (const Integer st = CheckGCMSIV(FState.get(), nonce, additionalData, cipher, plain, tag.size())) return st;
  TSIVMessage m(FState->AES, nonce);
  TCharArray16 given;
  std::copy(tag.begin(), tag.end(), given.begin());  // tag may lie in plain's memory
  const std::size_t n = cipher.size();
  m.Crypt(given, cipher.data(), plain.data(), n);
  m.Absorb(additionalData.data(), additionalData.size());
  m.Absorb(plain.data(), n);
  platform::TWiped<TCharArray16> T;
  m.Tag(additionalData.size(), n, nonce, *T);
  if (platform::ConstantTimeEqual(*T, given)) return 0;
  platform::SecureZero(plain.data(), n);
  return error::kTagMismatch;
}

Integer TAESKey::GMAC_Generate(std::span<const std::uint8_t> IV, std::span<const std::uint8_t> additionalData,
                               std::span<std::uint8_t> tag) const {
  const platform::TRegisterWipe clear;
  return GCM_Seal(IV, additionalData, {}, {}, tag);
}

Integer TAESKey::GMAC_Verify(std::span<const std::uint8_t> IV, std::span<const std::uint8_t> additionalData,
                             std::span<const std::uint8_t> tag) const {
  const platform::TRegisterWipe clear;
  platform::TWiped<TCharArray16> T;
  if (tag.size() > T->size()) {  // refused by GCM_Seal's checks, with their status
    std::array<std::uint8_t, 17> longer{};
    return GCM_Seal(IV, additionalData, {}, {}, longer);
  }
  const TOut mine(T->data(), tag.size());
  if (const Integer st = GCM_Seal(IV, additionalData, {}, {}, mine)) return st;
  return platform::ConstantTimeEqual(mine, tag) ? 0 : error::kMacMismatch;
}

}  // namespace AESKeyed
