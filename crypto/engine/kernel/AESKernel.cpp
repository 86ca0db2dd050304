#include "crypto/engine/kernel/AESKernel.h"

#include <array>
#include <cstdlib>
#include <cstring>

#include "crypto/engine/kernel/BlockXor.h"
#include "crypto/support/error.h"
#include "platform/Memory.h"

namespace AESModes::kernel {

std::uint8_t* FillEncKeys(TRoundKeys& k) noexcept {
  k.Filled |= TRoundKeys::kEnc;
  return k.Keys.Enc;
}

std::uint8_t* FillDecKeys(TRoundKeys& k) noexcept {
  k.Filled |= TRoundKeys::kDec;
  return k.Keys.Dec;
}

bitsliced::TSlicedKeys& FillSlicedKeys(TRoundKeys& k) noexcept {
  k.Filled |= TRoundKeys::kSliced;
  return k.Sliced;
}

TGHashKey::~TGHashKey() { platform::SecureZero(Pow, sizeof Pow); }

TExpandedKey::TExpandedKey(TKernelId id) noexcept {
  const TKernelChoice choice = ResolveKernel(id);
  FId = choice.Id;
  FOps = choice.Ops;
}

TExpandedKey::~TExpandedKey() { Wipe(); }

// The round keys of the last expansion, 16 * (Nr + 1) bytes of each schedule it filled.
void TExpandedKey::Wipe() noexcept {
  const unsigned Nr = FKeys.Keys.Nr;
  const std::size_t bytes = 16 * (static_cast<std::size_t>(Nr) + 1);
  if (FKeys.Filled & TRoundKeys::kEnc) platform::SecureZero(FKeys.Keys.Enc, bytes);
  if (FKeys.Filled & TRoundKeys::kDec) platform::SecureZero(FKeys.Keys.Dec, bytes);
  if (FKeys.Filled & TRoundKeys::kSliced)
    platform::SecureZero(FKeys.Sliced.Q, sizeof FKeys.Sliced.Q[0] * (Nr + 1));
  FKeys.Filled = 0;
  FKeys.Nk = 0;
  FKeys.Keys.Nr = 0;
}

Integer TExpandedKey::Expand(std::span<const std::uint8_t> key, Cardinal Nk, bool inverse) noexcept {
  Wipe();
  if (Nk < 1 || Nk > 8 || key.size() < 4 * static_cast<std::size_t>(Nk)) return error::kBadKeySize;
  FKeys.Nk = Nk;
  FKeys.Keys.Nr = Nk + 6;
  FOps->ExpandKey(FKeys, key.data(), Nk);
  if (inverse) ExpandInverse();
  return 0;
}

void TExpandedKey::ExpandInverse() noexcept {
  if (FOps->ExpandInverse != nullptr && FKeys.Keys.Nr != 0 && !(FKeys.Filled & TRoundKeys::kDec))
    FOps->ExpandInverse(FKeys);
}

void TExpandedKey::MissingInverse() noexcept { std::abort(); }

void TExpandedKey::CTR32LE(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                           std::uint8_t ctr[16]) const noexcept {
  if (FOps->CTR32LE != nullptr) return FOps->CTR32LE(FKeys, in, out, blocks, ctr);
  // Counter blocks a step at a time through the kernel's ECB, then xored into the data.
  constexpr std::size_t kStep = 32;
  platform::TWiped<std::array<std::uint8_t, 16 * kStep>> ks;
  std::uint32_t c = std::uint32_t{ctr[0]} | std::uint32_t{ctr[1]} << 8 | std::uint32_t{ctr[2]} << 16 |
                    std::uint32_t{ctr[3]} << 24;
  for (std::size_t done = 0; done < blocks;) {
    const std::size_t n = blocks - done < kStep ? blocks - done : kStep;
    for (std::size_t j = 0; j < n; ++j, ++c) {
      std::uint8_t* b = ks->data() + 16 * j;
      for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(c >> (8 * i));
      std::memcpy(b + 4, ctr + 4, 12);
    }
    FOps->EncryptECB(FKeys, ks->data(), ks->data(), n);
    for (std::size_t i = 0; i < 16 * n; ++i) out[16 * done + i] = static_cast<std::uint8_t>(in[16 * done + i] ^ (*ks)[i]);
    done += n;
  }
  for (int i = 0; i < 4; ++i) ctr[i] = static_cast<std::uint8_t>(c >> (8 * i));
}
void TExpandedKey::EncryptWhitened(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                                   const std::uint8_t* masks) const noexcept {
  if (FOps->EncryptWhitened != nullptr) return FOps->EncryptWhitened(FKeys, in, out, blocks, masks);
  detail::XorBytes(out, in, masks, 16 * blocks);
  FOps->EncryptECB(FKeys, out, out, blocks);
  detail::XorBytes(out, out, masks, 16 * blocks);
}
void TExpandedKey::DecryptWhitened(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                                   const std::uint8_t* masks) const noexcept {
  NeedInverse();
  if (FOps->DecryptWhitened != nullptr) return FOps->DecryptWhitened(FKeys, in, out, blocks, masks);
  detail::XorBytes(out, in, masks, 16 * blocks);
  FOps->DecryptECB(FKeys, out, out, blocks);
  detail::XorBytes(out, out, masks, 16 * blocks);
}
bool TExpandedKey::EncryptXTS(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                              std::uint8_t tweak[16]) const noexcept {
  if (FOps->EncryptXTS == nullptr) return false;
  platform::TWiped<std::array<std::uint8_t, kTweakScratchBytes>> scratch;
  FOps->EncryptXTS(FKeys, in, out, blocks, tweak, scratch->data());
  return true;
}
bool TExpandedKey::DecryptXTS(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                              std::uint8_t tweak[16]) const noexcept {
  if (FOps->DecryptXTS == nullptr) return false;
  NeedInverse();
  platform::TWiped<std::array<std::uint8_t, kTweakScratchBytes>> scratch;
  FOps->DecryptXTS(FKeys, in, out, blocks, tweak, scratch->data());
  return true;
}
bool TExpandedKey::OCB(TOCBPass pass, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                       const std::uint8_t* L, std::uint64_t first, std::uint8_t offset[16],
                       std::uint8_t sum[16]) const noexcept {
  const TKernelOps::TOCB run = pass == TOCBPass::Encrypt   ? FOps->EncryptOCB
                               : pass == TOCBPass::Decrypt ? FOps->DecryptOCB
                                                           : FOps->HashOCB;
  if (run == nullptr) return false;
  if (pass == TOCBPass::Decrypt) NeedInverse();
  platform::TWiped<std::array<std::uint8_t, kTweakScratchBytes>> scratch;
  run(FKeys, in, out, blocks, TOCBRun{L, first, offset, sum, scratch->data()});
  return true;
}
bool TExpandedKey::Wrap(std::uint8_t* buf, std::size_t n) const noexcept {
  if (FOps->Wrap == nullptr) return false;
  FOps->Wrap(FKeys, buf, n);
  return true;
}
bool TExpandedKey::Unwrap(std::uint8_t* buf, std::size_t n) const noexcept {
  if (FOps->Unwrap == nullptr) return false;
  NeedInverse();
  FOps->Unwrap(FKeys, buf, n);
  return true;
}

Integer TGCMKey::Expand(std::span<const std::uint8_t> key, Cardinal Nk, bool inverse, bool hashKeyLater,
                        std::size_t callBlocks) noexcept {
  // The powers of an earlier key go first, whether or not this one expands.
  if (FPowers.load(std::memory_order_relaxed) != 0) {
    platform::SecureZero(FHash.Pow, sizeof FHash.Pow);
    FPowers.store(0, std::memory_order_relaxed);
  }
  if (const Integer st = FAES.Expand(key, Nk, inverse)) return st;
  if (!hashKeyLater) MakeHashKey(callBlocks <= 1 ? 1 : GHashPowersFor(callBlocks));
  return 0;
}

void TGCMKey::MakeHashKey(unsigned wanted) const noexcept {
  platform::TWiped<platform::TCharArray16> H;
  FAES.EncryptBlock(H->data(), H->data());
  const TKernelOps& ops = FAES.Ops();
  if (ops.GHashExtendKey != nullptr) {
    ops.GHashExtendKey(FHash, H->data(), 0, wanted);
    FPowers.store(wanted, std::memory_order_release);
  } else {
    ops.GHashSetKey(FHash, H->data());
    FPowers.store(kGHashPowers, std::memory_order_release);
  }
}

void TGCMKey::MakePowers(std::size_t blocks) const noexcept {
  const unsigned wanted = GHashPowersFor(blocks);
  if (FAES.Rounds() == 0) return;  // no key
  // In the middle of a call: in a frame of its own whose stack is scrubbed after, and with the
  // registers cleared before the lock's release (a first call into the C library saves them all
  // on the stack).
  auto make = [this, wanted] {
    const std::lock_guard<std::mutex> lock(FMaking);
    const unsigned made = FPowers.load(std::memory_order_relaxed);
    if (made == 0) {
      MakeHashKey(wanted);
    } else if (made < wanted) {  // else another call made them meanwhile
      FAES.Ops().GHashExtendKey(FHash, nullptr, made, wanted);
      FPowers.store(wanted, std::memory_order_release);
    }
    platform::ZeroVectorRegisters();
  };
  platform::RunScrubbed(make);
}

void TGCMKey::GHash(std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) const noexcept {
  NeedPowers(n);
  FAES.Ops().GHash(FHash, X, blocks, n);
}

void TGCMKey::Crypt(bool encrypt, std::uint8_t X[16], std::uint8_t ctr[16], const std::uint8_t* in,
                    std::uint8_t* out, std::size_t blocks) const noexcept {
  NeedPowers(blocks);
  const TKernelOps& ops = FAES.Ops();
  if (ops.GCMCrypt != nullptr)
    return ops.GCMCrypt(encrypt, FAES.EncRoundKeys(), FAES.Rounds(), FHash, X, ctr, in, out, blocks);
  // The cipher blocks are hashed before the plain text may overwrite them (out may be in).
  if (!encrypt) ops.GHash(FHash, X, in, blocks);
  FAES.CTR32(in, out, blocks, ctr);
  if (encrypt) ops.GHash(FHash, X, out, blocks);
}

TPolyVal::TPolyVal(TKernelId id) noexcept {
  const TKernelChoice choice = ResolveKernel(id);
  FId = choice.Id;
  FOps = choice.Ops;
}

namespace {

void Reverse16(const std::uint8_t* in, std::uint8_t* out) noexcept {
  std::uint64_t a, b;
  std::memcpy(&a, in, 8);
  std::memcpy(&b, in + 8, 8);
  a = __builtin_bswap64(a);
  b = __builtin_bswap64(b);
  std::memcpy(out, &b, 8);
  std::memcpy(out + 8, &a, 8);
}

// v = v * x in GHASH's bit order (bit 0 the top bit of byte 0): a shift right by one, reduced by
// 0xE1 into the first byte when x^127's coefficient falls out; no branch on it.
void MulX(std::uint8_t v[16]) noexcept {
  const auto mask = static_cast<std::uint8_t>(0 - (v[15] & 1));
  for (std::size_t i = 15; i > 0; --i) v[i] = static_cast<std::uint8_t>((v[i] >> 1) | (v[i - 1] << 7));
  v[0] = static_cast<std::uint8_t>((v[0] >> 1) ^ (0xE1 & mask));
}

}  // namespace

void TPolyVal::SetKey(const std::uint8_t H[16]) noexcept {
  platform::TWiped<platform::TCharArray16> G;
  Reverse16(H, G->data());
  MulX(G->data());
  FOps->GHashSetKey(FKey, G->data());
}

void TPolyVal::Absorb(std::uint8_t S[16], const std::uint8_t* blocks, std::size_t n) const noexcept {
  if (FOps->PolyVal != nullptr) return FOps->PolyVal(FKey, S, blocks, n);
  constexpr std::size_t kStep = 32;
  platform::TWiped<std::array<std::uint8_t, 16 * kStep>> rev;
  platform::TWiped<platform::TCharArray16> X;
  Reverse16(S, X->data());
  for (std::size_t done = 0; done < n;) {
    const std::size_t m = n - done < kStep ? n - done : kStep;
    for (std::size_t j = 0; j < m; ++j) Reverse16(blocks + 16 * (done + j), rev->data() + 16 * j);
    FOps->GHash(FKey, X->data(), rev->data(), m);
    done += m;
  }
  Reverse16(X->data(), S);
}

}  // namespace AESModes::kernel
