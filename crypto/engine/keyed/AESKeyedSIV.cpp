// AES-SIV: S2V over CMAC under the first half of the key gives the synthetic IV, which is also
// the tag; counter mode under the second half from the IV with two bits cleared (bit 63 and bit
// 31 of the counter block) encrypts. Both run on the kernel table through the engine's CMAC
// absorber and its counter-mode loop.
#include <algorithm>
#include <cstring>

#include "crypto/engine/core/AESModesChunks.h"
#include "crypto/engine/core/CMACAbsorber.h"
#include "crypto/engine/keyed/AESKeyedState.h"
#include "platform/Memory.h"
#include "crypto/support/error.h"

namespace AESKeyed {

namespace kernel = AESModes::kernel;
namespace detail = AESModes::detail;
using error::kBadArgument;
using keyed::BadOutput;
using keyed::TIn;
using keyed::TOut;

// Its members wipe themselves when it goes away.
struct TSIVKey::TState {
  kernel::TExpandedKey Mac, Ctr;
  platform::TWiped<std::array<TCharArray16, 2>> K;  // CMAC's K1, K2 under Mac
};

namespace {

constexpr std::size_t kIVBytes = 16;
// S2V takes at most 127 strings, the plain text being the last.
constexpr std::size_t kMaxAssociated = 126;

void Dbl(TCharArray16& D) noexcept {
  TCharArray16 unused;
  detail::CMACSubkeys(D, D, unused);  // K1 is the doubling of its input
  platform::SecureZero(unused.data(), unused.size());
}

void Xor(TCharArray16& a, const std::uint8_t* b) noexcept {
  for (std::size_t i = 0; i < 16; ++i) a[i] ^= b[i];
}

// V = S2V(associated..., last).
void S2V(const TSIVKey::TState& k, TSIVKey::TStrings associated, TIn last, TCharArray16& V) noexcept {
  const auto cmac = [&k](const std::uint8_t* p, std::size_t n, TCharArray16& T) {
    detail::TCMACAbsorber mac(k.Mac, k.K->at(0), k.K->at(1));
    mac.Feed(p, n);
    mac.Finish(T);
  };
  platform::TWiped<TCharArray16> D, T;
  const TCharArray16 zero{};
  cmac(zero.data(), 16, *D);
  for (const TIn s : associated) {
    Dbl(*D);
    cmac(s.data(), s.size(), *T);
    Xor(*D, T->data());
  }
  if (last.size() >= 16) {
    // The last 16 bytes xored with D; the bytes before them as they are.
    detail::TCMACAbsorber mac(k.Mac, k.K->at(0), k.K->at(1));
    mac.Feed(last.data(), last.size() - 16);
    Xor(*D, last.data() + last.size() - 16);
    mac.Feed(D->data(), 16);
    mac.Finish(V);
  } else {
    Dbl(*D);
    std::copy(last.begin(), last.end(), T->begin());
    (*T)[last.size()] = 0x80;
    std::fill(T->begin() + static_cast<std::ptrdiff_t>(last.size()) + 1, T->end(), 0);
    Xor(*D, T->data());
    cmac(D->data(), 16, V);
  }
}

// Counter mode from V with bits 63 and 31 of the counter cleared. Below 2^31 blocks the last
// word, starting under 2^31, never carries, so the 32-bit counter loop gives the 128-bit count's
// blocks without the 128-bit loop's test for a carry, a branch on the counter.
void CTR(const TSIVKey::TState& k, const TCharArray16& V, const std::uint8_t* in, std::uint8_t* out,
         std::size_t n) noexcept {
  platform::TWiped<TCharArray16> Q;
  *Q = V;
  (*Q)[8] &= 0x7F;
  (*Q)[12] &= 0x7F;
  const std::size_t whole = n / 16;
  if (whole >= (std::size_t{1} << 31)) {
    detail::CryptBytes(detail::TDirection::Encrypt, k.Ctr, in, n, out, n, *Q, detail::TMode::CTR);
    return;
  }
  k.Ctr.CTR32(in, out, whole, Q->data());
  if (const std::size_t r = n % 16) {
    k.Ctr.EncryptBlock(Q->data(), Q->data());
    for (std::size_t i = 0; i < r; ++i) out[16 * whole + i] = static_cast<std::uint8_t>(in[16 * whole + i] ^ (*Q)[i]);
  }
}

}  // namespace

TSIVKey::TSIVKey() noexcept = default;
// The key is wiped first (the state goes away), then the vector registers.
TSIVKey::~TSIVKey() {
  FState.reset();
  platform::ZeroVectorRegisters();
}
TSIVKey::TSIVKey(TSIVKey&& other) noexcept = default;
TSIVKey& TSIVKey::operator=(TSIVKey&& other) noexcept = default;

Integer TSIVKey::SetKey(std::span<const std::uint8_t> key) {
  // The key set-ups (this key's or the message's) write round keys only into the key objects'
  // wiped storage; what they left in the vector registers is cleared on every way out
  // (platform::TCallExit).
  const platform::TCallExit clear;
  FState.reset();
  if (key.size() != 32 && key.size() != 48 && key.size() != 64) return error::kBadKeySize;
  const std::size_t half = key.size() / 2;
  const auto Nk = static_cast<platform::Cardinal>(half / 4);
  auto state = std::make_unique<TState>();
  if (const Integer st = state->Mac.Expand(key.first(half), Nk)) return st;
  if (const Integer st = state->Ctr.Expand(key.subspan(half), Nk)) return st;
  AESModes::detail::CMACSubkeysOf(state->Mac, state->K->at(0), state->K->at(1));
  FState = std::move(state);
  return 0;
}

Integer TSIVKey::Seal(TStrings associated, std::span<const std::uint8_t> plain, std::span<std::uint8_t> out) const {
  const platform::TRegisterWipe clear;
  if (FState == nullptr || associated.size() > kMaxAssociated || out.size() < kIVBytes) return kBadArgument;
  if (BadOutput(plain, out.subspan(kIVBytes))) return kBadArgument;
  platform::TWiped<TCharArray16> V;
  S2V(*FState, associated, plain, *V);
  CTR(*FState, *V, plain.data(), out.data() + kIVBytes, plain.size());
  std::copy(V->begin(), V->end(), out.begin());
  return 0;
}

Integer TSIVKey::Open(TStrings associated, std::span<const std::uint8_t> in, std::span<std::uint8_t> plain) const {
  const platform::TRegisterWipe clear;
  if (FState == nullptr || associated.size() > kMaxAssociated || in.size() < kIVBytes) return kBadArgument;
  const TIn cipher = in.subspan(kIVBytes);
  if (BadOutput(cipher, plain)) return kBadArgument;
  TCharArray16 given;
  std::copy_n(in.begin(), kIVBytes, given.begin());  // in may be overwritten when plain is its memory
  const TOut mine = plain.first(cipher.size());
  CTR(*FState, given, cipher.data(), mine.data(), mine.size());
  platform::TWiped<TCharArray16> V;
  S2V(*FState, associated, mine, *V);
  if (platform::ConstantTimeEqual(*V, given)) return 0;
  platform::SecureZero(mine.data(), mine.size());
  return error::kTagMismatch;
}

}  // namespace AESKeyed
