// XAES-256-GCM: per message, the AES-256 key
//   AES_K(M1 xor K1) || AES_K(M2 xor K1),  Mi = 00 0i 'X' 00 || nonce[0..12)
// (one step of the CMAC-based counter-mode KDF, K1 being CMAC's first subkey of K, made once at
// key set-up), then AES-256-GCM with nonce[12..24) on the engine's GCM computation.
#include <algorithm>
#include <cstring>

#include "crypto/engine/keyed/AESKeyedState.h"
#include "platform/Memory.h"
#include "crypto/support/RandomCoreW.h"
#include "crypto/support/error.h"

namespace AESKeyed {

namespace kernel = AESModes::kernel;
namespace detail = AESModes::detail;
using error::kBadArgument;
using keyed::BadOutput;
using keyed::TIn;
using keyed::TOut;

struct TXAESKey::TState {
  kernel::TExpandedKey AES;
  // The two derivation blocks with the nonce's bytes left zero, xored with K1 already: a message
  // xors its nonce in and enciphers them.
  platform::TWiped<std::array<TCharArray16, 2>> Start;
};

namespace {

constexpr std::size_t kHalf = 12;

// Sixteen bytes as one value of the compiler's vector types (SSE or NEON registers).
using TBlock = std::uint8_t __attribute__((vector_size(16)));

Integer Check(const TXAESKey::TState* k, TIn nonce, TIn in, TOut out, std::size_t tagBytes) noexcept {
  if (k == nullptr || nonce.size() != TXAESKey::kNonceBytes || tagBytes != TXAESKey::kTagBytes) return kBadArgument;
  return BadOutput(in, out) || in.size() > detail::kGCMMaxDataBytes ? kBadArgument : 0;
}

// The message's GCM key from the nonce's first half (with the powers of H a message of dataBytes
// needs), its state begun with the second half and the additional data.
void Begin(const TXAESKey::TState& k, TIn nonce, TIn aad, std::size_t dataBytes, detail::TGCMComputation& gcm,
           detail::TGCMMessage& s) {
  // The nonce's first 12 bytes moved to bytes 4..15 of a register (one load of 16 of its 24
  // bytes), xored into both blocks, which are stored whole: the cipher then loads them as they
  // were stored.
  TBlock n, a, b;
  std::memcpy(&n, nonce.data(), 16);
  n = __builtin_shufflevector(n, TBlock{}, 16, 16, 16, 16, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11);
  std::memcpy(&a, (*k.Start)[0].data(), 16);
  std::memcpy(&b, (*k.Start)[1].data(), 16);
  platform::TWiped<std::array<std::uint8_t, 32>> m;
  a ^= n;
  b ^= n;
  std::memcpy(m->data(), &a, 16);
  std::memcpy(m->data() + 16, &b, 16);
  k.AES.EncryptECB(m->data(), m->data(), 2);
  gcm.Init(*m, 8, aad.size(), dataBytes);
  gcm.SetIV(s, nonce.subspan(kHalf));
  gcm.AddAAD(s, aad.data(), aad.size());
}

}  // namespace

TXAESKey::TXAESKey() noexcept = default;
// The key is wiped first (the state goes away), then the vector registers.
TXAESKey::~TXAESKey() {
  FState.reset();
  platform::ZeroVectorRegisters();
}
TXAESKey::TXAESKey(TXAESKey&& other) noexcept = default;
TXAESKey& TXAESKey::operator=(TXAESKey&& other) noexcept = default;

Integer TXAESKey::SetKey(std::span<const std::uint8_t> key) {
  // The key set-ups (this key's or the message's) write round keys only into the key objects'
  // wiped storage; what they left in the vector registers is cleared on every way out
  // (platform::TCallExit).
  const platform::TCallExit clear;
  FState.reset();
  if (key.size() != 32) return error::kBadKeySize;
  auto state = std::make_unique<TState>();
  if (const Integer st = state->AES.Expand(key, 8)) return st;
  platform::TWiped<TCharArray16> K1, K2;
  AESModes::detail::CMACSubkeysOf(state->AES, *K1, *K2);
  // Block i: 00 0i 'X' 00, then the nonce's 12 bytes (zero here).
  for (std::uint8_t i = 0; i < 2; ++i) {
    TCharArray16& b = (*state->Start)[i];
    b = {0, static_cast<std::uint8_t>(i + 1), 'X', 0};
    for (std::size_t j = 0; j < 16; ++j) b[j] ^= (*K1)[j];
  }
  FState = std::move(state);
  return 0;
}

Integer TXAESKey::Seal(std::span<const std::uint8_t> nonce24, std::span<const std::uint8_t> additionalData,
                       std::span<const std::uint8_t> plain, std::span<std::uint8_t> cipher,
                       std::span<std::uint8_t> tag) const {
  // The key set-ups (this key's or the message's) write round keys only into the key objects'
  // wiped storage; what they left in the vector registers is cleared on every way out
  // (platform::TCallExit).
  const platform::TCallExit clear;
  if (const Integer st = Check(FState.get(), nonce24, plain, cipher, tag.size())) return st;
  detail::TGCMComputation gcm(FState->AES.Id());
  detail::TGCMMessage s;
  Begin(*FState, nonce24, additionalData, plain.size(), gcm, s);
  gcm.Encrypt(s, plain.data(), cipher.data(), plain.size());
  platform::TWiped<TCharArray16> T;
  gcm.Finish(s, *T);
  std::copy(T->begin(), T->end(), tag.begin());
  return 0;
}

Integer TXAESKey::Open(std::span<const std::uint8_t> nonce24, std::span<const std::uint8_t> additionalData,
                       std::span<const std::uint8_t> cipher, std::span<const std::uint8_t> tag,
                       std::span<std::uint8_t> plain) const {
  // The key set-ups (this key's or the message's) write round keys only into the key objects'
  // wiped storage; what they left in the vector registers is cleared on every way out
  // (platform::TCallExit).
  const platform::TCallExit clear;
  if (const Integer st = Check(FState.get(), nonce24, cipher, plain, tag.size())) return st;
  detail::TGCMComputation gcm(FState->AES.Id());
  detail::TGCMMessage s;
  Begin(*FState, nonce24, additionalData, cipher.size(), gcm, s);
  gcm.Decrypt(s, cipher.data(), plain.data(), cipher.size());
  platform::TWiped<TCharArray16> T;
  gcm.Finish(s, *T);
  if (platform::ConstantTimeEqual(*T, tag)) return 0;
  platform::SecureZero(plain.data(), cipher.size());
  return error::kTagMismatch;
}

Integer TXAESKey::SealWithRandomNonce(std::span<const std::uint8_t> additionalData,
                                      std::span<const std::uint8_t> plain, std::span<std::uint8_t> out) const {
  // The key set-ups (this key's or the message's) write round keys only into the key objects'
  // wiped storage; what they left in the vector registers is cleared on every way out
  // (platform::TCallExit).
  const platform::TCallExit clear;
  constexpr std::size_t kExtra = kNonceBytes + kTagBytes;
  if (FState == nullptr || out.size() < kExtra || out.size() - kExtra < plain.size()) return kBadArgument;
  const TOut body = out.subspan(kNonceBytes, plain.size());
  // The nonce goes before the cipher text, so plain may not be the output's memory either.
  if (keyed::Overlap(plain, out.first(plain.size() + kExtra)) || plain.size() > detail::kGCMMaxDataBytes)
    return kBadArgument;
  std::array<std::uint8_t, kNonceBytes> nonce;
  if (const Integer st = RandomCoreW::TRandomCore::GetRandomBytes(static_cast<Integer>(kNonceBytes), nonce.data()))
    return st;
  if (const Integer st = Seal(nonce, additionalData, plain, body, out.subspan(kNonceBytes + plain.size(), kTagBytes)))
    return st;
  std::copy(nonce.begin(), nonce.end(), out.begin());
  return 0;
}

}  // namespace AESKeyed
