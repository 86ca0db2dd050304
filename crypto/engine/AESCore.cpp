// The block cipher over the engine's constant-time bitsliced AES: one block runs in the first lane
// of the bit planes. No table is looked up at an index made of key or data bytes.
#include "crypto/engine/AESCore.h"

#include "crypto/engine/kernel/portable/AESBitsliced.h"
#include "platform/Memory.h"

namespace AESCore {

namespace {

namespace bs = AESModes::bitsliced;

constexpr bool ValidNk(Cardinal Nk) { return Nk >= 1 && Nk <= 8; }

// One block through the step; the schedule is sliced for this call and wiped with the state.
// Like every public call that handles key material, each leaves no vector register holding it.
template <void (*Step)(const bs::TSlicedKeys&, const std::uint8_t*, std::uint8_t*) noexcept>
Integer OneBlock(const TCharArray16& in, TCharArray16& out, const TCharArray60_4& w, Cardinal Nk) {
  const platform::TRegisterWipe clear;
  if (!ValidNk(Nk)) return kBadKeySize;
  platform::TWiped<bs::TSlicedKeys> keys;
  bs::SliceKeys(w[0].data(), Nk + 6, *keys);
  Step(*keys, in.data(), out.data());
  return 0;
}

}  // namespace

Integer TAESCore::KeyExpansion(const TBytes& AKey, TCharArray60_4& AW, Cardinal ANk) const {
  const platform::TRegisterWipe clear;
  if (!ValidNk(ANk) || AKey.size() < 4 * static_cast<std::size_t>(ANk)) return kBadKeySize;
  bs::ExpandKey(AKey.data(), ANk, AW[0].data());
  return 0;
}

Integer TAESCore::Cipher(const TCharArray16& AIn, TCharArray16& AOut, const TCharArray60_4& AW, Cardinal ANk) const {
  return OneBlock<bs::EncryptBlock>(AIn, AOut, AW, ANk);
}

Integer TAESCore::InvCipher(const TCharArray16& AIn, TCharArray16& AOut, const TCharArray60_4& AW, Cardinal ANk) const {
  return OneBlock<bs::DecryptBlock>(AIn, AOut, AW, ANk);
}

}  // namespace AESCore
