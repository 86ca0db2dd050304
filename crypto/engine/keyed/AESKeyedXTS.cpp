// TXTSKey: the two halves of an XTS key expanded once, the argument checks, and the engine's XTS
// over one data unit or a run of sectors.
#include "crypto/engine/AESKeyed.h"
#include "crypto/engine/keyed/AESKeyedState.h"
#include "platform/Memory.h"
#include "crypto/engine/core/AESModesChunks.h"
#include "crypto/engine/core/XTSCore.h"

namespace AESKeyed {

namespace detail = AESModes::detail;
using error::kBadArgument;
using keyed::TIn;
using keyed::TOut;

// The data key (with the inverse schedule, for decryption) and the tweak key, each wiping itself.
struct TXTSKey::TState {
  AESModes::kernel::TExpandedKey Data, Tweak;
};

TXTSKey::TXTSKey() noexcept = default;
// The key is wiped first (the state goes away), then the vector registers.
TXTSKey::~TXTSKey() {
  FState.reset();
  platform::ZeroVectorRegisters();
}
TXTSKey::TXTSKey(TXTSKey&& other) noexcept = default;
TXTSKey& TXTSKey::operator=(TXTSKey&& other) noexcept = default;

Integer TXTSKey::SetKey(std::span<const std::uint8_t> key) {
  // Its key set-up writes round keys only into the key objects' wiped storage; what it left in
  // the vector registers is cleared on every way out (platform::TCallExit).
  const platform::TCallExit clear;
  FState.reset();
  if (key.size() != 32 && key.size() != 48 && key.size() != 64) return error::kBadKeySize;
  const std::size_t half = key.size() / 2;
  if (platform::ConstantTimeEqual(key.first(half), key.subspan(half))) return kBadArgument;
  platform::Cardinal Nk = 0;
  if (const Integer st = detail::NkForKeyLength(half, Nk)) return st;
  auto state = std::make_unique<TState>();
  if (const Integer st = state->Data.Expand(key.first(half), Nk, true)) return st;
  if (const Integer st = state->Tweak.Expand(key.subspan(half), Nk)) return st;
  FState = std::move(state);
  return 0;
}

// The data unit calls end with platform::TCallExit: the registers cleared, and under
// AddressSanitizer the stack below as well, where its instrumentation moves a round key the
// XTS loop holds in a register (seen on the VAES-512 kernel).

namespace {

Integer CheckUnit(std::size_t unitBytes) noexcept {
  return unitBytes < 16 || unitBytes > detail::kXTSMaxUnitBytes ? kBadArgument : 0;
}

Integer Unit(const TXTSKey::TState* k, bool encrypt, const TCharArray16& tweak, TIn in, TOut out) {
  if (k == nullptr || keyed::BadOutput(in, out)) return kBadArgument;
  if (const Integer st = CheckUnit(in.size())) return st;
  detail::XTSCrypt(encrypt, k->Data, k->Tweak, tweak.data(), in.data(), out.data(), in.size());
  return 0;
}

// Sector k under firstSector + k, a 128-bit little-endian number (the carry goes into byte 8).
Integer Sectors(const TXTSKey::TState* k, bool encrypt, std::uint64_t firstSector, std::size_t sectorSize, TIn in,
                TOut out) {
  if (k == nullptr || keyed::BadOutput(in, out)) return kBadArgument;
  if (const Integer st = CheckUnit(sectorSize)) return st;
  if (in.size() % sectorSize != 0) return kBadArgument;
  std::uint64_t sector = firstSector, high = 0;
  for (std::size_t at = 0; at < in.size(); at += sectorSize) {
    TCharArray16 tweak{};
    for (std::size_t i = 0; i < 8; ++i) {
      tweak[i] = static_cast<std::uint8_t>(sector >> (8 * i));
      tweak[8 + i] = static_cast<std::uint8_t>(high >> (8 * i));
    }
    detail::XTSCrypt(encrypt, k->Data, k->Tweak, tweak.data(), in.data() + at, out.data() + at, sectorSize);
    if (++sector == 0) ++high;
  }
  return 0;
}

}  // namespace

Integer TXTSKey::Encrypt(const TCharArray16& tweak, std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const {
  const platform::TCallExit clear;
  return Unit(FState.get(), true, tweak, in, out);
}

Integer TXTSKey::Decrypt(const TCharArray16& tweak, std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const {
  const platform::TCallExit clear;
  return Unit(FState.get(), false, tweak, in, out);
}

Integer TXTSKey::EncryptSectors(std::uint64_t firstSector, std::size_t sectorSize, std::span<const std::uint8_t> in,
                                std::span<std::uint8_t> out) const {
  const platform::TCallExit clear;
  return Sectors(FState.get(), true, firstSector, sectorSize, in, out);
}

Integer TXTSKey::DecryptSectors(std::uint64_t firstSector, std::size_t sectorSize, std::span<const std::uint8_t> in,
                                std::span<std::uint8_t> out) const {
  const platform::TCallExit clear;
  return Sectors(FState.get(), false, firstSector, sectorSize, in, out);
}

}  // namespace AESKeyed
