#include "crypto/engine/AESModes.h"

#include "crypto/engine/core/AESModesChunks.h"
#include "crypto/support/errorlist.h"

namespace AESModes {

using detail::ModeStep;
using detail::NamedMode;
using detail::TDirection;

TAESModes::TAESModes() : TAESModes(atECB, rand, PKCS7) {}

TAESModes::TAESModes(TAESType AType, TIVMode IVMode, TPaddingMode PaddingMode)
    : FType(AType), FIVMode(IVMode), FPaddingMode(PaddingMode), FAESEngine(std::make_unique<AESCore::TAESCore>()) {}

TAESModes::~TAESModes() = default;

void TAESModes::EncryptionLoop(const TCharArray16& P, TCharArray16& C, const TCharArray60_4& w, Integer Nk,
                               TAESType AType, TCharArray16& IVc) {
  const Integer st = ModeStep(TDirection::Encrypt, *FAESEngine, w, static_cast<Cardinal>(Nk), P, C, IVc, NamedMode(AType));
  if (st != detail::kBadMode) errorlist::RaiseIfError(st);
}

void TAESModes::DecryptionLoop(const TCharArray16& C, TCharArray16& D, const TCharArray60_4& w, Integer Nk,
                               TAESType AType, TCharArray16& IVc) {
  const Integer st = ModeStep(TDirection::Decrypt, *FAESEngine, w, static_cast<Cardinal>(Nk), C, D, IVc, NamedMode(AType));
  if (st != detail::kBadMode) errorlist::RaiseIfError(st);
}

Integer TAESModes::PadBlock(TCharArray16& P, Integer L) {
  detail::PadBlock(P, L);
  return 0;
}

}  // namespace AESModes
