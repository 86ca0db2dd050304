// GCM primitives of TAESModes: the multiplication in GF(2^128) bitwise and through the 64 KiB
// table, the GHASH steps, J0, inc32, the 32-bit lengths block and MSB; and the stream forms'
// block steps built on them. Secret bits select through masks, never through branches.
#include <algorithm>

#include "crypto/engine/AESModes.h"
#include "crypto/engine/core/AESModesChunks.h"
#include "crypto/engine/core/BlockMath.h"
#include "crypto/support/error.h"
#include "crypto/support/errorlist.h"

namespace AESModes {

namespace {

using detail::MaskOf;

TCharArray16 Xor(const TCharArray16& a, const TCharArray16& b) noexcept {
  TCharArray16 r;
  detail::XorBlock(a, b, r);
  return r;
}

}  // namespace

bool TAESModes::TestBit(const TCharArray16& A, Integer i) {
  return (A[static_cast<std::size_t>(i / 8)] >> (7 - i % 8)) & 1;
}

Integer TAESModes::ShiftRight(TCharArray16& A) {
  for (std::size_t i = 15; i > 0; --i) A[i] = static_cast<std::uint8_t>((A[i] >> 1) | (A[i - 1] << 7));
  A[0] = static_cast<std::uint8_t>(A[0] >> 1);
  return 0;
}

Integer TAESModes::MultGCM(const TCharArray16& X, const TCharArray16& Y, TCharArray16& Res) {
  TCharArray16 Z{}, V = X;
  for (Integer i = 0; i < 128; ++i) {
    const std::uint8_t take = MaskOf(TestBit(Y, i));
    for (std::size_t k = 0; k < 16; ++k) Z[k] ^= V[k] & take;
    const std::uint8_t reduce = MaskOf(V[15]);
    ShiftRight(V);
    V[0] ^= 0xE1 & reduce;
  }
  Res = Z;
  return 0;
}

Integer TAESModes::PrecomputeM(const TCharArray16& H, TCharArray16_256_16& M) {
  for (std::size_t i = 0; i < 16; ++i) {
    TCharArray16 E{};
    E[i] = 0x80;  // x^(8i)
    for (std::size_t b = 0; b < 256; ++b) {
      TCharArray16 B{}, HB;
      B[0] = static_cast<std::uint8_t>(b);
      MultGCM(H, B, HB);
      MultGCM(HB, E, M[i][b]);
    }
  }
  return 0;
}

Integer TAESModes::MultGCM2(const TCharArray16& X, TCharArray16& res, const TCharArray16_256_16& M) {
  TCharArray16 r{};
  for (std::size_t i = 0; i < 16; ++i) detail::XorBlock(r, M[i][X[i]], r);
  res = r;
  return 0;
}

Integer TAESModes::PartCGHASH(const TCharArray16& H, const TCharArray16& C, TCharArray16& X) {
  return MultGCM(Xor(X, C), H, X);
}

Integer TAESModes::PartCGHASH2(const TCharArray16& C, TCharArray16& X, const TCharArray16_256_16& M) {
  return MultGCM2(Xor(X, C), X, M);
}

Integer TAESModes::PartAGHASHBuffer(const TCharArray16& H, const TBytes& auth, TCharArray16& X, Integer nbbitsA) {
  if (nbbitsA < 8) return 0;
  const std::size_t n = static_cast<std::size_t>(nbbitsA / 8);
  if (auth.size() < n) return error::kBadArgument;  // never read past the buffer
  for (std::size_t at = 0; at < n; at += 16) {
    TCharArray16 W{};
    std::copy_n(auth.begin() + static_cast<std::ptrdiff_t>(at), std::min<std::size_t>(16, n - at), W.begin());
    if (const Integer st = PartCGHASH(H, W, X)) return st;
  }
  return 0;
}

Integer TAESModes::Increment32(TCharArray16& A) {
  detail::Increment32(A.data());
  return 0;
}

Integer TAESModes::ConcatlenAlenC(Integer lenA, Integer lenC, TCharArray16& res) {
  res = {};
  const auto a = static_cast<std::uint32_t>(lenA), c = static_cast<std::uint32_t>(lenC);
  for (std::size_t i = 0; i < 4; ++i) {
    res[7 - i] = static_cast<std::uint8_t>(a >> (8 * i));
    res[15 - i] = static_cast<std::uint8_t>(c >> (8 * i));
  }
  return 0;
}

Integer TAESModes::MSB(Integer B, const TCharArray16& X, TCharArray16& res) {
  if (B == 0) return 0;
  if (B < 0 || B > 128) return error::kBadBlockLength;
  const std::size_t q = static_cast<std::size_t>(B / 8), r = static_cast<std::size_t>(B % 8);
  std::copy_n(X.begin(), q, res.begin());
  if (r > 0) res[q] = static_cast<std::uint8_t>(X[q] & (0xFF << (8 - r)));
  return 0;
}

void TAESModes::GCMEncryptionLoop(TCharArray16& Y, TCharArray16& C, const TCharArray60_4& w, Integer Nk,
                                  const TCharArray16& P, const TCharArray16& H, TCharArray16& tag2) {
  Increment32(Y);
  errorlist::RaiseIfError(FAESEngine->Cipher(Y, C, w, static_cast<Cardinal>(Nk)));
  detail::XorBlock(C, P, C);
  errorlist::RaiseIfError(PartCGHASH(H, C, tag2));
}

void TAESModes::GCMEncryptionLoop(TCharArray16& Y, TCharArray16& C, const TCharArray60_4& w, Integer Nk,
                                  const TCharArray16& P, TCharArray16& tag2, const TCharArray16_256_16& M) {
  Increment32(Y);
  errorlist::RaiseIfError(FAESEngine->Cipher(Y, C, w, static_cast<Cardinal>(Nk)));
  detail::XorBlock(C, P, C);
  PartCGHASH2(C, tag2, M);
}

void TAESModes::GCMDecryptionLoop(TCharArray16& Y, TCharArray16& D, const TCharArray60_4& w, Integer Nk,
                                  const TCharArray16& C, const TCharArray16& H, TCharArray16& tag2) {
  Increment32(Y);
  const TCharArray16 cipher = C;  // D may be C
  errorlist::RaiseIfError(FAESEngine->Cipher(Y, D, w, static_cast<Cardinal>(Nk)));
  detail::XorBlock(D, cipher, D);
  errorlist::RaiseIfError(PartCGHASH(H, cipher, tag2));
}

void TAESModes::GCMDecryptionLoop(TCharArray16& Y, TCharArray16& D, const TCharArray60_4& w, Integer Nk,
                                  const TCharArray16& C, TCharArray16& tag2, const TCharArray16_256_16& M) {
  Increment32(Y);
  const TCharArray16 cipher = C;
  errorlist::RaiseIfError(FAESEngine->Cipher(Y, D, w, static_cast<Cardinal>(Nk)));
  detail::XorBlock(D, cipher, D);
  PartCGHASH2(cipher, tag2, M);
}

}  // namespace AESModes
