// TAESKey's CCM, OCB3 and EAX: the argument checks, then the engine's computation of each mode on
// the key's kernel, and the tag released or compared.
#include <algorithm>

#include "crypto/engine/AESKeyed.h"
#include "crypto/engine/keyed/AESKeyedState.h"
#include "platform/Memory.h"
#include "crypto/engine/core/CCMCore.h"
#include "crypto/engine/core/EAXCore.h"
#include "crypto/engine/core/OCBCore.h"

namespace AESKeyed {

namespace detail = AESModes::detail;
using error::kBadArgument;
using keyed::TIn;
using keyed::TOut;

namespace {

// The checks every mode here shares once its nonce has passed: the tag, then the data and its
// output span.
Integer CheckSealOrOpen(std::size_t tagBytes, TIn in, TOut out) noexcept {
  if (const Integer st = keyed::CheckTagBytes(tagBytes)) return st;
  return keyed::BadOutput(in, out) ? kBadArgument : 0;
}

// Copies the tag out of T, or compares it; an opening that fails zeroes the n bytes it wrote.
Integer Release(bool sealing, const TCharArray16& T, TIn tagIn, TOut tagOut, std::uint8_t* plain, std::size_t n) noexcept {
  if (sealing) {
    std::copy_n(T.begin(), tagOut.size(), tagOut.begin());
    return 0;
  }
  if (platform::ConstantTimeEqual(std::span(T).first(tagIn.size()), tagIn)) return 0;
  platform::SecureZero(plain, n);
  return error::kTagMismatch;
}

Integer CCM(const TAESKey::TState* k, bool sealing, TIn nonce, TIn aad, TIn in, TOut out, TIn tagIn, TOut tagOut) {
  const std::size_t tagBytes = sealing ? tagOut.size() : tagIn.size();
  if (k == nullptr || nonce.size() < detail::kCCMMinNonceBytes || nonce.size() > detail::kCCMMaxNonceBytes)
    return kBadArgument;
  if (const Integer st = CheckSealOrOpen(tagBytes, in, out)) return st;
  if (tagBytes % 2 != 0 || !detail::CCMLengthFits(nonce.size(), in.size())) return kBadArgument;
  platform::TWiped<TCharArray16> T;
  detail::CCMCrypt(sealing, k->AES, nonce, aad, in.data(), out.data(), in.size(), tagBytes, *T);
  return Release(sealing, *T, tagIn, tagOut, out.data(), in.size());
}

Integer OCB(const TAESKey::TState* k, bool sealing, TIn nonce, TIn aad, TIn in, TOut out, TIn tagIn, TOut tagOut) {
  const std::size_t tagBytes = sealing ? tagOut.size() : tagIn.size();
  if (k == nullptr || nonce.empty() || nonce.size() > detail::kOCBMaxNonceBytes) return kBadArgument;
  if (const Integer st = CheckSealOrOpen(tagBytes, in, out)) return st;
  platform::TWiped<TCharArray16> T;
  detail::OCBCrypt(sealing, sealing ? k->AES : k->Decrypting(), k->OCB(), nonce, aad, in.data(), out.data(), in.size(), tagBytes, *T);
  return Release(sealing, *T, tagIn, tagOut, out.data(), in.size());
}

detail::TEAXKey EAXKey(const TAESKey::TState& k) noexcept { return {k.AES, k.CMACKeys()[0], k.CMACKeys()[1]}; }

}  // namespace

Integer TAESKey::CCM_Seal(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> additionalData,
                          std::span<const std::uint8_t> plain, std::span<std::uint8_t> cipher,
                          std::span<std::uint8_t> tag) const {
  const platform::TRegisterWipe clear;
  return CCM(FState.get(), true, nonce, additionalData, plain, cipher, {}, tag);
}

Integer TAESKey::CCM_Open(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> additionalData,
                          std::span<const std::uint8_t> cipher, std::span<const std::uint8_t> tag,
                          std::span<std::uint8_t> plain) const {
  const platform::TRegisterWipe clear;
  return CCM(FState.get(), false, nonce, additionalData, cipher, plain, tag, {});
}

Integer TAESKey::OCB_Seal(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> additionalData,
                          std::span<const std::uint8_t> plain, std::span<std::uint8_t> cipher,
                          std::span<std::uint8_t> tag) const {
  const platform::TRegisterWipe clear;
  return OCB(FState.get(), true, nonce, additionalData, plain, cipher, {}, tag);
}

Integer TAESKey::OCB_Open(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> additionalData,
                          std::span<const std::uint8_t> cipher, std::span<const std::uint8_t> tag,
                          std::span<std::uint8_t> plain) const {
  const platform::TRegisterWipe clear;
  return OCB(FState.get(), false, nonce, additionalData, cipher, plain, tag, {});
}

Integer TAESKey::EAX_Seal(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> additionalData,
                          std::span<const std::uint8_t> plain, std::span<std::uint8_t> cipher,
                          std::span<std::uint8_t> tag) const {
  const platform::TRegisterWipe clear;
  if (!FState) return kBadArgument;
  if (const Integer st = CheckSealOrOpen(tag.size(), plain, cipher)) return st;
  const detail::TEAXKey k = EAXKey(*FState);
  platform::TWiped<std::array<TCharArray16, 3>> w;  // N, H, T
  detail::EAXBegin(k, nonce, additionalData, (*w)[0], (*w)[1]);
  detail::EAXCrypt(k, (*w)[0], plain.data(), cipher.data(), plain.size());
  detail::EAXTag(k, (*w)[0], (*w)[1], cipher.data(), plain.size(), (*w)[2]);
  std::copy_n((*w)[2].begin(), tag.size(), tag.begin());
  return 0;
}

// The tag is over the cipher text, so it is checked before anything is decrypted.
Integer TAESKey::EAX_Open(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> additionalData,
                          std::span<const std::uint8_t> cipher, std::span<const std::uint8_t> tag,
                          std::span<std::uint8_t> plain) const {
  const platform::TRegisterWipe clear;
  if (!FState) return kBadArgument;
  if (const Integer st = CheckSealOrOpen(tag.size(), cipher, plain)) return st;
  const detail::TEAXKey k = EAXKey(*FState);
  platform::TWiped<std::array<TCharArray16, 3>> w;
  detail::EAXBegin(k, nonce, additionalData, (*w)[0], (*w)[1]);
  detail::EAXTag(k, (*w)[0], (*w)[1], cipher.data(), cipher.size(), (*w)[2]);
  if (!platform::ConstantTimeEqual(std::span((*w)[2]).first(tag.size()), tag)) return error::kTagMismatch;
  detail::EAXCrypt(k, (*w)[0], cipher.data(), plain.data(), cipher.size());
  return 0;
}

}  // namespace AESKeyed
