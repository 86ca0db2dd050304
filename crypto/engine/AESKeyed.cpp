// TAESKey and TGCMEncryptor: argument checks over the keyed kernel, the GCM key and the CMAC
// absorber of the engine, with the key set up once per key object instead of once per call.
#include "crypto/engine/AESKeyed.h"

#include <algorithm>
#include <optional>

#include "crypto/engine/core/AESModesChunks.h"
#include "crypto/engine/core/AESModesGCMCore.h"
#include "crypto/engine/core/AESModesRules.h"
#include "crypto/engine/core/CMACAbsorber.h"
#include "crypto/engine/kernel/AESKernel.h"
#include "crypto/engine/keyed/AESKeyedState.h"
#include "platform/Memory.h"

namespace AESKeyed {

namespace kernel = AESModes::kernel;
namespace detail = AESModes::detail;
using detail::TDirection;
using detail::TMode;
using error::kBadArgument;

namespace {

using detail::kGCMMaxDataBytes;
using detail::TGCMMessage;
using keyed::BadOutput;
using keyed::kMinTagBytes;
using keyed::TIn;
using keyed::TOut;
// Every public call clears the vector registers on its way out (platform::TRegisterWipe, the
// register half of the stack scrub), so whatever a copy put there does not outlive the call. No
// call scrubs the stack: the kernels read the round keys and the hash key from the key's wiped
// storage where they need them and spill none, on any thread.
using TCallExit = platform::TRegisterWipe;

}  // namespace

namespace {

using TGCMWiped = platform::TWiped<TGCMMessage>;

void GCMBegin(const TAESKey::TState& k, TGCMMessage& s, TIn IV, TIn aad) noexcept {
  k.GCM.SetIV(s, IV);
  k.GCM.AddAAD(s, aad.data(), aad.size());
}

Integer CheckGCMTag(std::size_t tagBytes) noexcept { return keyed::CheckTagBytes(tagBytes); }

Integer CheckGCMData(TIn in, TOut out) noexcept {
  return BadOutput(in, out) || in.size() > kGCMMaxDataBytes ? kBadArgument : 0;
}

Integer CheckWholeBlocks(TDirection dir, std::size_t n) noexcept {
  if (n % 16 == 0) return 0;
  return dir == TDirection::Encrypt ? error::kNoPaddingLength : error::kBadCipherLength;
}

}  // namespace

TAESKey::TAESKey() noexcept = default;
// The key is wiped first (the state goes away), then the registers.
TAESKey::~TAESKey() {
  FState.reset();
  platform::ZeroVectorRegisters();
}
TAESKey::TAESKey(TAESKey&& other) noexcept = default;
TAESKey& TAESKey::operator=(TAESKey&& other) noexcept = default;

Integer TAESKey::SetKey(std::span<const std::uint8_t> key) {
  platform::Cardinal Nk = 0;
  if (const Integer st = detail::NkForKeyLength(key.size(), Nk)) {
    FState.reset();
    return st;
  }
  return SetUp(key, Nk);
}

// A key object set before keeps its state and takes the new key into it (wiping the old key's
// parts first); a new one allocates it, uncleared: each part is written before anything reads it.
// The kernels' key set-ups write round keys only into the state's wiped storage; what they left
// in the vector registers is cleared on every way out, and under AddressSanitizer (whose
// instrumentation spills the last round keys of an expansion) the stack below as well
// (platform::TCallExit).
Integer TAESKey::SetUp(std::span<const std::uint8_t> key, platform::Cardinal Nk) {
  const platform::TCallExit clear;
  if (!FState) FState.reset(new TState);
  if (const Integer st = FState->SetKey(key, Nk)) {
    FState.reset();
    return st;
  }
  return 0;
}

namespace {

// The block modes' common path: checks, then the engine's byte loop for the mode.
// ECB and CBC take whole blocks; OFB and CTR any length (a partial last block uses the first
// bytes of its keystream block).
Integer Crypt(const TAESKey::TState* k, TDirection dir, TIn in, TOut out, TCharArray16& V, TMode mode) {
  if (k == nullptr || BadOutput(in, out)) return kBadArgument;
  if (mode == TMode::ECB || mode == TMode::CBC)
    if (const Integer st = CheckWholeBlocks(dir, in.size())) return st;
  const kernel::TExpandedKey& aes = dir == TDirection::Decrypt ? k->Decrypting() : k->AES;
  return detail::CryptBytes(dir, aes, in.data(), in.size(), out.data(), in.size(), V, mode);
}

}  // namespace

Integer TAESKey::EncryptECB(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const {
  const TCallExit clear;
  TCharArray16 unused{};
  return Crypt(FState.get(), TDirection::Encrypt, in, out, unused, TMode::ECB);
}
Integer TAESKey::DecryptECB(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const {
  const TCallExit clear;
  TCharArray16 unused{};
  return Crypt(FState.get(), TDirection::Decrypt, in, out, unused, TMode::ECB);
}
Integer TAESKey::EncryptCBC(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, TCharArray16& IV) const {
  const TCallExit clear;
  return Crypt(FState.get(), TDirection::Encrypt, in, out, IV, TMode::CBC);
}
Integer TAESKey::DecryptCBC(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, TCharArray16& IV) const {
  const TCallExit clear;
  return Crypt(FState.get(), TDirection::Decrypt, in, out, IV, TMode::CBC);
}
Integer TAESKey::CryptOFB(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, TCharArray16& IV) const {
  const TCallExit clear;
  return Crypt(FState.get(), TDirection::Encrypt, in, out, IV, TMode::OFB);
}
Integer TAESKey::CryptCTR(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, TCharArray16& IV) const {
  const TCallExit clear;
  return Crypt(FState.get(), TDirection::Encrypt, in, out, IV, TMode::CTR);
}

namespace {

// The checks of both directions, then one pass over the data (decryption: the stitched loop
// decrypts and hashes together) and the full tag T.
Integer GCMOnce(const TAESKey::TState* k, bool encrypt, TIn IV, TIn aad, TIn in, TOut out, std::size_t tagBytes,
                TCharArray16& T) noexcept {
  if (k == nullptr || IV.empty()) return kBadArgument;
  if (const Integer st = CheckGCMTag(tagBytes)) return st;
  if (const Integer st = CheckGCMData(in, out)) return st;
  TGCMMessage s;
  GCMBegin(*k, s, IV, aad);
  if (encrypt)
    k->GCM.Encrypt(s, in.data(), out.data(), in.size());
  else
    k->GCM.Decrypt(s, in.data(), out.data(), in.size());
  k->GCM.Finish(s, T);
  return 0;
}

}  // namespace

Integer TAESKey::GCM_Seal(std::span<const std::uint8_t> IV, std::span<const std::uint8_t> additionalData,
                          std::span<const std::uint8_t> plain, std::span<std::uint8_t> cipher,
                          std::span<std::uint8_t> tag) const {
  const TCallExit clear;
  platform::TWiped<TCharArray16> T;
  if (const Integer st = GCMOnce(FState.get(), true, IV, additionalData, plain, cipher, tag.size(), *T)) return st;
  std::copy_n(T->begin(), tag.size(), tag.begin());
  return 0;
}

// A mismatch takes the plain text back before the caller sees a status.
Integer TAESKey::GCM_Open(std::span<const std::uint8_t> IV, std::span<const std::uint8_t> additionalData,
                          std::span<const std::uint8_t> cipher, std::span<const std::uint8_t> tag,
                          std::span<std::uint8_t> plain) const {
  const TCallExit clear;
  platform::TWiped<TCharArray16> T;
  if (const Integer st = GCMOnce(FState.get(), false, IV, additionalData, cipher, plain, tag.size(), *T)) return st;
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
  const std::array<TCharArray16, 2>& K = k.CMACKeys();
  detail::TCMACAbsorber mac(k.AES, K[0], K[1]);
  mac.Feed(message.data(), message.size());
  mac.Finish(T);
}

}  // namespace

Integer TAESKey::MAC_Generate(std::span<const std::uint8_t> message, std::span<std::uint8_t> tag) const {
  const TCallExit clear;
  if (const Integer st = CheckMACTag(FState.get(), tag.size())) return st;
  platform::TWiped<TCharArray16> T;
  CMAC(*FState, message, *T);
  std::copy_n(T->begin(), tag.size(), tag.begin());
  return 0;
}

Integer TAESKey::MAC_Verify(std::span<const std::uint8_t> message, std::span<const std::uint8_t> tag) const {
  const TCallExit clear;
  if (const Integer st = CheckMACTag(FState.get(), tag.size())) return st;
  platform::TWiped<TCharArray16> T;
  CMAC(*FState, message, *T);
  return platform::ConstantTimeEqual(std::span(*T).first(tag.size()), tag) ? 0 : error::kMacMismatch;
}

// --- The incremental encryptor and decryptor

namespace {

// One message under way, of either direction.
struct TGCMPieces {
  TGCMWiped State;
  bool Started = false;

  Integer Begin(const TAESKey::TState* k, TIn IV, TIn aad) noexcept {
    End();
    if (k == nullptr || IV.empty()) return kBadArgument;
    GCMBegin(*k, *State, IV, aad);
    Started = true;
    return 0;
  }
  Integer Update(const TAESKey::TState* k, bool encrypt, TIn in, TOut out) noexcept {
    if (!Started || k == nullptr || BadOutput(in, out)) return kBadArgument;
    TGCMMessage& m = *State;
    if (in.size() > kGCMMaxDataBytes - m.LenC) return kBadArgument;
    if (encrypt)
      k->GCM.Encrypt(m, in.data(), out.data(), in.size());
    else
      k->GCM.Decrypt(m, in.data(), out.data(), in.size());
    return 0;
  }
  // The full tag T, and the message ended.
  Integer Finish(const TAESKey::TState* k, std::size_t tagBytes, TCharArray16& T) noexcept {
    if (!Started || k == nullptr) return kBadArgument;
    if (const Integer st = CheckGCMTag(tagBytes)) return st;
    k->GCM.Finish(*State, T);
    End();
    return 0;
  }
  void End() noexcept {
    State.Clear();
    Started = false;
  }
};

}  // namespace

struct TGCMEncryptor::TMessage : TGCMPieces {};
struct TGCMDecryptor::TMessage : TGCMPieces {};

TGCMEncryptor::TGCMEncryptor(const TAESKey& key) : FKey(key), FMessage(std::make_unique<TMessage>()) {}
TGCMEncryptor::~TGCMEncryptor() = default;

Integer TGCMEncryptor::Begin(std::span<const std::uint8_t> IV, std::span<const std::uint8_t> additionalData) {
  const TCallExit clear;
  return FMessage->Begin(FKey.FState.get(), IV, additionalData);
}

Integer TGCMEncryptor::Update(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  const TCallExit clear;
  return FMessage->Update(FKey.FState.get(), true, in, out);
}

Integer TGCMEncryptor::Finish(std::span<std::uint8_t> tag) {
  const TCallExit clear;
  platform::TWiped<TCharArray16> T;
  if (const Integer st = FMessage->Finish(FKey.FState.get(), tag.size(), *T)) return st;
  std::copy_n(T->begin(), tag.size(), tag.begin());
  return 0;
}

TGCMDecryptor::TGCMDecryptor(const TAESKey& key) : FKey(key), FMessage(std::make_unique<TMessage>()) {}
TGCMDecryptor::~TGCMDecryptor() = default;

Integer TGCMDecryptor::Begin(std::span<const std::uint8_t> IV, std::span<const std::uint8_t> additionalData) {
  const TCallExit clear;
  return FMessage->Begin(FKey.FState.get(), IV, additionalData);
}

Integer TGCMDecryptor::Update(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  const TCallExit clear;
  return FMessage->Update(FKey.FState.get(), false, in, out);
}

Integer TGCMDecryptor::Verify(std::span<const std::uint8_t> tag) {
  const TCallExit clear;
  platform::TWiped<TCharArray16> T;
  if (const Integer st = FMessage->Finish(FKey.FState.get(), tag.size(), *T)) return st;
  return platform::ConstantTimeEqual(std::span(*T).first(tag.size()), tag) ? 0 : error::kTagMismatch;
}

// --- CMAC in pieces

// The absorber of the message under way, made afresh when a message ends (Finish spends it);
// Key is the key state it was made from, so a key object that has since lost its key (moved
// from, a failed SetKey) is noticed instead of being read through a dangling pointer. (A key
// set again may reuse the same memory: keeping the key meanwhile is the caller's part.)
struct TMACGenerator::TMessage {
  const TAESKey::TState* Key = nullptr;
  std::optional<detail::TCMACAbsorber> Mac;

  explicit TMessage(const TAESKey::TState* key) noexcept : Key(key) { Restart(); }
  TMessage(const TMessage& other) noexcept : Key(other.Key), Mac(other.Mac) {}
  void Restart() noexcept {
    if (Key != nullptr) Mac.emplace(Key->AES, Key->CMACKeys()[0], Key->CMACKeys()[1]);
  }
};

TMACGenerator::TMACGenerator(const TAESKey& key)
    : FKey(key), FMessage(std::make_unique<TMessage>(key.FState.get())) {}
TMACGenerator::TMACGenerator(const TMACGenerator& other)
    : FKey(other.FKey), FMessage(std::make_unique<TMessage>(*other.FMessage)) {}
TMACGenerator::~TMACGenerator() = default;

Integer TMACGenerator::Update(std::span<const std::uint8_t> message) {
  if (FMessage->Key == nullptr || FKey.FState.get() != FMessage->Key) return kBadArgument;
  FMessage->Mac->Feed(message.data(), message.size());
  return 0;
}

Integer TMACGenerator::Finish(std::span<std::uint8_t> tag) {
  if (FKey.FState.get() != FMessage->Key) return kBadArgument;
  if (const Integer st = CheckMACTag(FMessage->Key, tag.size())) return st;
  platform::TWiped<TCharArray16> T;
  FMessage->Mac->Finish(*T);
  FMessage->Restart();
  std::copy_n(T->begin(), tag.size(), tag.begin());
  return 0;
}

Integer TMACGenerator::Verify(std::span<const std::uint8_t> tag) {
  if (FKey.FState.get() != FMessage->Key) return kBadArgument;
  if (const Integer st = CheckMACTag(FMessage->Key, tag.size())) return st;
  platform::TWiped<TCharArray16> T;
  FMessage->Mac->Finish(*T);
  FMessage->Restart();
  return platform::ConstantTimeEqual(std::span(*T).first(tag.size()), tag) ? 0 : error::kMacMismatch;
}

}  // namespace AESKeyed
