// TAESKey and TGCMEncryptor: argument checks over the keyed kernel, the GHASH kernel and the
// CMAC absorber of the engine, with the key set up once per key object instead of once per call.
#include "crypto/engine/AESKeyed.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "crypto/engine/core/AESModesChunks.h"
#include "crypto/engine/core/CMACAbsorber.h"
#include "crypto/engine/kernel/AESKernel.h"
#include "platform/Memory.h"

namespace AESKeyed {

namespace kernel = AESModes::kernel;
namespace detail = AESModes::detail;
using detail::TDirection;
using error::kBadArgument;

namespace {

constexpr std::uint64_t kGCMMaxDataBytes = (std::uint64_t{1} << 36) - 32;
constexpr std::size_t kMinTagBytes = 4;

using TIn = std::span<const std::uint8_t>;
using TOut = std::span<std::uint8_t>;

// True when out is too short for in, or the two overlap without being the same memory (the
// kernels work in place or between separate buffers, never on shifted copies).
bool BadOutput(TIn in, TOut out) noexcept {
  if (out.size() < in.size()) return true;
  if (in.empty() || in.data() == out.data()) return false;
  const std::less<const std::uint8_t*> before;
  return before(in.data(), out.data() + in.size()) && before(out.data(), in.data() + in.size());
}

void PutBE64(std::uint8_t* p, std::uint64_t v) noexcept {
  for (int i = 7; i >= 0; --i, v >>= 8) p[i] = static_cast<std::uint8_t>(v);
}

void Next32(TCharArray16& cb) noexcept {
  for (int i = 15; i >= 12 && ++cb[static_cast<std::size_t>(i)] == 0; --i) {
  }
}

}  // namespace

// Everything the key object keeps: the expanded key (both schedules: ECB and CBC decryption need
// the inverse one), the hash key with its powers, and the CMAC subkeys. Each member wipes itself.
struct TAESKey::TState {
  kernel::TKeyedKernel AES;
  kernel::TGHash GHash;
  platform::TWiped<std::array<TCharArray16, 2>> K;  // CMAC's K1, K2
};

// One GCM message under a key: J0, the counter, the running hash, the lengths, and the
// keystream and cipher bytes of a block begun but not finished, so pieces of any size give the
// bytes and the tag of the whole message.
struct TGCMState {
  TCharArray16 J0, CB, X, Key, Pending;
  std::uint64_t LenA, LenC;  // bytes
  std::size_t Fill;          // bytes of the current block done (0: none begun)
};

namespace {

using TGCMWiped = platform::TWiped<TGCMState>;

void Absorb(const TAESKey::TState& k, std::uint8_t X[16], TIn p) noexcept {
  k.GHash.Absorb(X, p.data(), p.size() / 16);
  if (const std::size_t r = p.size() % 16) {
    TCharArray16 last{};
    std::memcpy(last.data(), p.data() + p.size() - r, r);
    k.GHash.Absorb(X, last.data(), 1);
  }
}

void GCMBegin(const TAESKey::TState& k, TGCMState& m, TIn IV, TIn aad) noexcept {
  m = TGCMState{};
  if (IV.size() == 12) {
    std::memcpy(m.J0.data(), IV.data(), 12);
    m.J0[15] = 1;
  } else {
    Absorb(k, m.J0.data(), IV);
    TCharArray16 lengths{};
    PutBE64(lengths.data() + 8, 8 * static_cast<std::uint64_t>(IV.size()));
    k.GHash.Absorb(m.J0.data(), lengths.data(), 1);
  }
  m.CB = m.J0;
  Next32(m.CB);
  Absorb(k, m.X.data(), aad);
  m.LenA = aad.size();
}

// n bytes of counter mode from where the message stands, each cipher block hashed once whole.
void GCMCrypt(const TAESKey::TState& k, TGCMState& m, bool encrypt, const std::uint8_t* in, std::uint8_t* out,
              std::size_t n) noexcept {
  m.LenC += n;
  // The rest of a block begun by an earlier piece.
  while (m.Fill != 0 && n != 0) {
    const std::uint8_t c = encrypt ? static_cast<std::uint8_t>(*in ^ m.Key[m.Fill]) : *in;
    *out++ = static_cast<std::uint8_t>(*in++ ^ m.Key[m.Fill]);
    m.Pending[m.Fill] = c;
    --n;
    if (++m.Fill == 16) {
      k.GHash.Absorb(m.X.data(), m.Pending.data(), 1);
      m.Fill = 0;
    }
  }
  const std::size_t blocks = n / 16;
  if (!k.GHash.StitchedCrypt(encrypt, k.AES, m.X.data(), m.CB.data(), in, out, blocks)) {
    if (!encrypt) k.GHash.Absorb(m.X.data(), in, blocks);
    k.AES.CTR32(in, out, blocks, m.CB.data());
    if (encrypt) k.GHash.Absorb(m.X.data(), out, blocks);
  }
  in += 16 * blocks;
  out += 16 * blocks;
  n -= 16 * blocks;
  if (n != 0) {
    // A block begun here: its keystream is kept for the next piece or for the tag.
    k.AES.EncryptBlock(m.CB.data(), m.Key.data());
    Next32(m.CB);
    m.Pending.fill(0);
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint8_t c = encrypt ? static_cast<std::uint8_t>(in[i] ^ m.Key[i]) : in[i];
      out[i] = static_cast<std::uint8_t>(in[i] ^ m.Key[i]);
      m.Pending[i] = c;
    }
    m.Fill = n;
  }
}

// T = E(J0) xor GHASH(..., the last block begun zero-padded, the 64-bit bit counts).
void GCMTag(const TAESKey::TState& k, TGCMState& m, TCharArray16& T) noexcept {
  if (m.Fill != 0) k.GHash.Absorb(m.X.data(), m.Pending.data(), 1);
  TCharArray16 lengths;
  PutBE64(lengths.data(), 8 * m.LenA);
  PutBE64(lengths.data() + 8, 8 * m.LenC);
  k.GHash.Absorb(m.X.data(), lengths.data(), 1);
  k.AES.EncryptBlock(m.J0.data(), T.data());
  for (std::size_t i = 0; i < 16; ++i) T[i] ^= m.X[i];
}

Integer CheckGCMTag(std::size_t tagBytes) noexcept {
  if (tagBytes > 16) return error::kTagTooLong;
  return tagBytes < kMinTagBytes ? kBadArgument : 0;
}

Integer CheckGCMData(TIn in, TOut out) noexcept {
  return BadOutput(in, out) || in.size() > kGCMMaxDataBytes ? kBadArgument : 0;
}

// ECB and CBC take whole blocks only.
Integer CheckWholeBlocks(TDirection dir, std::size_t n) noexcept {
  if (n % 16 == 0) return 0;
  return dir == TDirection::Encrypt ? error::kNoPaddingLength : error::kBadCipherLength;
}

}  // namespace

TAESKey::TAESKey() noexcept = default;
TAESKey::~TAESKey() = default;
TAESKey::TAESKey(TAESKey&& other) noexcept = default;
TAESKey& TAESKey::operator=(TAESKey&& other) noexcept = default;

Integer TAESKey::SetKey(std::span<const std::uint8_t> key) {
  FState.reset();
  platform::Cardinal Nk = 0;
  if (const Integer st = detail::NkForKeyLength(key.size(), Nk)) return st;
  auto state = std::make_unique<TState>();
  if (const Integer st = state->AES.Expand(key, Nk, true)) return st;
  // E(0) is both the GCM hash key H and the CMAC value L the subkeys come from.
  platform::TWiped<TCharArray16> H;
  state->AES.EncryptBlock(H->data(), H->data());
  state->GHash.SetKey(H->data());
  detail::CMACSubkeys(*H, state->K->at(0), state->K->at(1));
  FState = std::move(state);
  return 0;
}

namespace {

// The block modes' common path: checks, then the engine's byte loop for the mode.
Integer Crypt(const TAESKey::TState* k, TDirection dir, TIn in, TOut out, TCharArray16& V, detail::TMode mode) {
  if (k == nullptr || BadOutput(in, out)) return kBadArgument;
  if (mode == detail::TMode::ECB || mode == detail::TMode::CBC)
    if (const Integer st = CheckWholeBlocks(dir, in.size())) return st;
  return detail::CryptBytes(dir, k->AES, in.data(), in.size(), out.data(), in.size(), V, mode);
}

}  // namespace

Integer TAESKey::EncryptECB(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const {
  TCharArray16 unused{};
  return Crypt(FState.get(), TDirection::Encrypt, in, out, unused, detail::TMode::ECB);
}
Integer TAESKey::DecryptECB(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const {
  TCharArray16 unused{};
  return Crypt(FState.get(), TDirection::Decrypt, in, out, unused, detail::TMode::ECB);
}
Integer TAESKey::EncryptCBC(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, TCharArray16& IV) const {
  return Crypt(FState.get(), TDirection::Encrypt, in, out, IV, detail::TMode::CBC);
}
Integer TAESKey::DecryptCBC(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, TCharArray16& IV) const {
  return Crypt(FState.get(), TDirection::Decrypt, in, out, IV, detail::TMode::CBC);
}
Integer TAESKey::CryptOFB(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, TCharArray16& IV) const {
  return Crypt(FState.get(), TDirection::Encrypt, in, out, IV, detail::TMode::OFB);
}
Integer TAESKey::CryptCTR(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, TCharArray16& IV) const {
  return Crypt(FState.get(), TDirection::Encrypt, in, out, IV, detail::TMode::CTR);
}

Integer TAESKey::GCM_Seal(std::span<const std::uint8_t> IV, std::span<const std::uint8_t> additionalData,
                          std::span<const std::uint8_t> plain, std::span<std::uint8_t> cipher,
                          std::span<std::uint8_t> tag) const {
  if (!FState || IV.empty()) return kBadArgument;
  if (const Integer st = CheckGCMTag(tag.size())) return st;
  if (const Integer st = CheckGCMData(plain, cipher)) return st;
  TGCMWiped m;
  platform::TWiped<TCharArray16> T;
  GCMBegin(*FState, *m, IV, additionalData);
  GCMCrypt(*FState, *m, true, plain.data(), cipher.data(), plain.size());
  GCMTag(*FState, *m, *T);
  std::copy_n(T->begin(), tag.size(), tag.begin());
  return 0;
}

Integer TAESKey::GCM_Open(std::span<const std::uint8_t> IV, std::span<const std::uint8_t> additionalData,
                          std::span<const std::uint8_t> cipher, std::span<const std::uint8_t> tag,
                          std::span<std::uint8_t> plain) const {
  if (!FState || IV.empty()) return kBadArgument;
  if (const Integer st = CheckGCMTag(tag.size())) return st;
  if (const Integer st = CheckGCMData(cipher, plain)) return st;
  TGCMWiped m;
  platform::TWiped<TCharArray16> T;
  GCMBegin(*FState, *m, IV, additionalData);
  // One pass: the stitched loop decrypts and hashes together, and a mismatch takes the plain
  // text back before the caller sees a status.
  GCMCrypt(*FState, *m, false, cipher.data(), plain.data(), cipher.size());
  GCMTag(*FState, *m, *T);
  if (platform::ConstantTimeEqual(std::span(*T).first(tag.size()), tag)) return 0;
  platform::SecureZero(plain.data(), cipher.size());
  return error::kTagMismatch;
}

namespace {

Integer CheckMACTag(const TAESKey::TState* k, std::size_t tagBytes) noexcept {
  if (k == nullptr || tagBytes < kMinTagBytes) return kBadArgument;
  return tagBytes > 16 ? error::kBadBlockLength : 0;
}

void CMAC(const TAESKey::TState& k, TIn message, TCharArray16& T) noexcept {
  detail::TCMACAbsorber mac(k.AES, k.K->at(0), k.K->at(1));
  mac.Feed(message.data(), message.size());
  mac.Finish(T);
}

}  // namespace

Integer TAESKey::MAC_Generate(std::span<const std::uint8_t> message, std::span<std::uint8_t> tag) const {
  if (const Integer st = CheckMACTag(FState.get(), tag.size())) return st;
  platform::TWiped<TCharArray16> T;
  CMAC(*FState, message, *T);
  std::copy_n(T->begin(), tag.size(), tag.begin());
  return 0;
}

Integer TAESKey::MAC_Verify(std::span<const std::uint8_t> message, std::span<const std::uint8_t> tag) const {
  if (const Integer st = CheckMACTag(FState.get(), tag.size())) return st;
  platform::TWiped<TCharArray16> T;
  CMAC(*FState, message, *T);
  return platform::ConstantTimeEqual(std::span(*T).first(tag.size()), tag) ? 0 : error::kMacMismatch;
}

// --- The incremental encryptor

struct TGCMEncryptor::TMessage {
  TGCMWiped State;
  bool Started = false;
};

TGCMEncryptor::TGCMEncryptor(const TAESKey& key) : FKey(key), FMessage(std::make_unique<TMessage>()) {}
TGCMEncryptor::~TGCMEncryptor() = default;

Integer TGCMEncryptor::Begin(std::span<const std::uint8_t> IV, std::span<const std::uint8_t> additionalData) {
  FMessage->State.Clear();
  FMessage->Started = false;
  if (!FKey.FState || IV.empty()) return kBadArgument;
  GCMBegin(*FKey.FState, *FMessage->State, IV, additionalData);
  FMessage->Started = true;
  return 0;
}

Integer TGCMEncryptor::Update(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  if (!FMessage->Started || !FKey.FState || BadOutput(in, out)) return kBadArgument;
  if (in.size() > kGCMMaxDataBytes - FMessage->State->LenC) return kBadArgument;
  GCMCrypt(*FKey.FState, *FMessage->State, true, in.data(), out.data(), in.size());
  return 0;
}

Integer TGCMEncryptor::Finish(std::span<std::uint8_t> tag) {
  if (!FMessage->Started || !FKey.FState) return kBadArgument;
  if (const Integer st = CheckGCMTag(tag.size())) return st;
  platform::TWiped<TCharArray16> T;
  GCMTag(*FKey.FState, *FMessage->State, *T);
  std::copy_n(T->begin(), tag.size(), tag.begin());
  FMessage->State.Clear();
  FMessage->Started = false;
  return 0;
}

}  // namespace AESKeyed
