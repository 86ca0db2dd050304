#include "crypto/engine/kernel/AESKernel.h"

#include <cstdlib>

#include "crypto/engine/kernel/BlockXor.h"
#include "crypto/support/error.h"
#include "platform/Memory.h"

namespace AESModes::kernel {

const std::uint8_t* EncKeys(const TRoundKeys& k) noexcept { return k.Enc[0].data(); }
const std::uint8_t* DecKeys(const TRoundKeys& k) noexcept { return k.Dec[0].data(); }
unsigned Rounds(const TRoundKeys& k) noexcept { return k.Nr; }

std::uint8_t* FillEncKeys(TRoundKeys& k) noexcept {
  k.Filled |= TRoundKeys::kEnc;
  return k.Enc[0].data();
}

std::uint8_t* FillDecKeys(TRoundKeys& k) noexcept {
  k.Filled |= TRoundKeys::kDec;
  return k.Dec[0].data();
}

bitsliced::TSlicedKeys& FillSlicedKeys(TRoundKeys& k) noexcept {
  k.Filled |= TRoundKeys::kSliced;
  return k.Sliced;
}

TGHashKey::~TGHashKey() { platform::SecureZero(Pow, sizeof Pow); }

TKeyedKernel::TKeyedKernel(TKernelId id) noexcept {
  const TKernelChoice choice = ResolveKernel(id);
  FId = choice.Id;
  FOps = choice.Ops;
}

TKeyedKernel::~TKeyedKernel() { Wipe(); }

// The round keys of the last expansion, 16 * (Nr + 1) bytes of each schedule it filled.
void TKeyedKernel::Wipe() noexcept {
  const std::size_t bytes = 16 * (static_cast<std::size_t>(FKeys.Nr) + 1);
  if (FKeys.Filled & TRoundKeys::kEnc) platform::SecureZero(FKeys.Enc.data(), bytes);
  if (FKeys.Filled & TRoundKeys::kDec) platform::SecureZero(FKeys.Dec.data(), bytes);
  if (FKeys.Filled & TRoundKeys::kSliced)
    platform::SecureZero(FKeys.Sliced.Q, sizeof FKeys.Sliced.Q[0] * (FKeys.Nr + 1));
  FKeys.Filled = 0;
  FKeys.Nk = 0;
  FKeys.Nr = 0;
}

Integer TKeyedKernel::Expand(std::span<const std::uint8_t> key, Cardinal Nk, bool inverse) noexcept {
  Wipe();
  if (Nk < 1 || Nk > 8 || key.size() < 4 * static_cast<std::size_t>(Nk)) return error::kBadKeySize;
  FKeys.Nk = Nk;
  FKeys.Nr = Nk + 6;
  FOps->ExpandKey(FKeys, key.data(), Nk);
  if (inverse) ExpandInverse();
  return 0;
}

void TKeyedKernel::ExpandInverse() noexcept {
  if (FOps->ExpandInverse != nullptr && FKeys.Nr != 0 && !(FKeys.Filled & TRoundKeys::kDec))
    FOps->ExpandInverse(FKeys);
}

// Decrypting with a schedule that was never made would write a wrong plain text with a success
// status; that is a fault in the engine, and it stops here instead.
void TKeyedKernel::NeedInverse() const noexcept {
  if (FOps->ExpandInverse != nullptr && !(FKeys.Filled & TRoundKeys::kDec)) [[unlikely]]
    std::abort();
}

void TKeyedKernel::EncryptECB(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) const noexcept {
  FOps->EncryptECB(FKeys, in, out, blocks);
}
void TKeyedKernel::DecryptECB(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) const noexcept {
  NeedInverse();
  FOps->DecryptECB(FKeys, in, out, blocks);
}
void TKeyedKernel::EncryptCBC(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                              std::uint8_t iv[16]) const noexcept {
  FOps->EncryptCBC(FKeys, in, out, blocks, iv);
}
void TKeyedKernel::DecryptCBC(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                              std::uint8_t iv[16]) const noexcept {
  NeedInverse();
  FOps->DecryptCBC(FKeys, in, out, blocks, iv);
}
void TKeyedKernel::OFB(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks, std::uint8_t iv[16]) const noexcept {
  FOps->OFB(FKeys, in, out, blocks, iv);
}
void TKeyedKernel::CTR128(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                          std::uint8_t ctr[16]) const noexcept {
  FOps->CTR128(FKeys, in, out, blocks, ctr);
}
void TKeyedKernel::CTR32(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                         std::uint8_t ctr[16]) const noexcept {
  FOps->CTR32(FKeys, in, out, blocks, ctr);
}
void TKeyedKernel::CBCMAC(const std::uint8_t* in, std::size_t blocks, std::uint8_t state[16]) const noexcept {
  FOps->CBCMAC(FKeys, in, blocks, state);
}
void TKeyedKernel::EncryptWhitened(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                                   const std::uint8_t* masks) const noexcept {
  if (FOps->EncryptWhitened != nullptr) return FOps->EncryptWhitened(FKeys, in, out, blocks, masks);
  detail::XorBytes(out, in, masks, 16 * blocks);
  FOps->EncryptECB(FKeys, out, out, blocks);
  detail::XorBytes(out, out, masks, 16 * blocks);
}
void TKeyedKernel::DecryptWhitened(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                                   const std::uint8_t* masks) const noexcept {
  NeedInverse();
  if (FOps->DecryptWhitened != nullptr) return FOps->DecryptWhitened(FKeys, in, out, blocks, masks);
  detail::XorBytes(out, in, masks, 16 * blocks);
  FOps->DecryptECB(FKeys, out, out, blocks);
  detail::XorBytes(out, out, masks, 16 * blocks);
}
bool TKeyedKernel::Wrap(std::uint8_t* buf, std::size_t n) const noexcept {
  if (FOps->Wrap == nullptr) return false;
  FOps->Wrap(FKeys, buf, n);
  return true;
}
bool TKeyedKernel::Unwrap(std::uint8_t* buf, std::size_t n) const noexcept {
  if (FOps->Unwrap == nullptr) return false;
  NeedInverse();
  FOps->Unwrap(FKeys, buf, n);
  return true;
}
void TKeyedKernel::EncryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const noexcept {
  FOps->EncryptECB(FKeys, in, out, 1);
}

Integer TGCMKey::Expand(std::span<const std::uint8_t> key, Cardinal Nk) noexcept {
  if (const Integer st = FAES.Expand(key, Nk)) return st;
  platform::TWiped<platform::TCharArray16> H;
  FAES.EncryptBlock(H->data(), H->data());
  FAES.Ops().GHashSetKey(FHash, H->data());
  return 0;
}

void TGCMKey::GHash(std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) const noexcept {
  FAES.Ops().GHash(FHash, X, blocks, n);
}

void TGCMKey::Crypt(bool encrypt, std::uint8_t X[16], std::uint8_t ctr[16], const std::uint8_t* in,
                    std::uint8_t* out, std::size_t blocks) const noexcept {
  const TKernelOps& ops = FAES.Ops();
  if (ops.GCMCrypt != nullptr)
    return ops.GCMCrypt(encrypt, FAES.EncRoundKeys(), FAES.Rounds(), FHash, X, ctr, in, out, blocks);
  // The cipher blocks are hashed before the plain text may overwrite them (out may be in).
  if (!encrypt) ops.GHash(FHash, X, in, blocks);
  FAES.CTR32(in, out, blocks, ctr);
  if (encrypt) ops.GHash(FHash, X, out, blocks);
}

TGHash::TGHash(TKernelId id) noexcept {
  const TKernelChoice choice = ResolveKernel(id);
  FId = choice.Id;
  FOps = choice.Ops;
}

void TGHash::SetKey(const std::uint8_t H[16]) noexcept { FOps->GHashSetKey(FKey, H); }

void TGHash::Absorb(std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) const noexcept {
  FOps->GHash(FKey, X, blocks, n);
}

bool TGHash::StitchedCrypt(bool encrypt, const TKeyedKernel& aes, std::uint8_t X[16], std::uint8_t ctr[16],
                           const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) const noexcept {
  if (FOps->GCMCrypt == nullptr) return false;
  FOps->GCMCrypt(encrypt, aes.EncRoundKeys(), aes.Rounds(), FKey, X, ctr, in, out, blocks);
  return true;
}

}  // namespace AESModes::kernel
