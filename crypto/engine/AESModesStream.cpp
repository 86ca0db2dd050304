// Stream operations: chunks of 160000 bytes, settings from the object's three mode fields.
#include <algorithm>
#include <cstring>

#include "crypto/engine/AESModes.h"
#include "crypto/engine/AESModesChunks.h"
#include "crypto/support/errorlist.h"

namespace AESModes {

using namespace detail;

namespace {

TChunkIO StreamIO(TStream* s, TStream* o) {
  return {[s](std::uint8_t* p, std::int64_t n) { return s->Read(p, n); },
          [o](const std::uint8_t* p, std::int64_t n) {
            o->WriteBuffer(p, n);  // raises on a failing or short write
            return Integer{0};
          }};
}

// Rewinds both streams and expands the key with Nk = key length div 4.
void PrepareStreams(TStream* s, TStream* o, TKeySchedule& ks, const TBytes& key) {
  if (s == nullptr || o == nullptr) throw errorlist::ESelvane(kEmptyInput);
  s->SetPosition(0);
  o->SetPosition(0);
  errorlist::RaiseIfError(ks.Expand(key, static_cast<Cardinal>(key.size() / 4)));
}

// The caller's IV: at least 16 bytes (else -201), of which the first 16 are used.
TCharArray16 StreamIV(const TBytes& IV) {
  TCharArray16 V;
  errorlist::RaiseIfError(CallerIV(IV, V));
  return V;
}

}  // namespace

void TAESModes::EncryptStream(TStream* s, TStream* o, const TBytes& key, const TBytes& IV) {
  TKeySchedule ks;
  PrepareStreams(s, o, ks, key);
  if (FPaddingMode == nopadding && s->GetSize() % 16 != 0) throw errorlist::ESelvane(kNoPaddingLength);
  TChunkBuffers buf(kStreamChunkSize);
  TCharArray16 V{};
  if (FType != atECB) {
    if (FIVMode == userdefined) {
      V = StreamIV(IV);
    } else {
      // A failing generator must never yield a predictable IV: its status is raised.
      errorlist::RaiseIfError(RandomIV(V));
      o->WriteBuffer(V.data(), 16);
    }
  }
  const Integer mode = FType;
  const Integer st = EncryptChunks(StreamIO(s, o), buf, ks, V, mode, FPaddingMode == PKCS7,
                                   [&](const TCharArray16& P, TCharArray16& C, TCharArray16& chain) {
                                     return BlockStep(TDirection::Encrypt, ks, P, C, chain, mode);
                                   });
  errorlist::RaiseIfError(st);
}

Integer TAESModes::DecryptStream(TStream* s, TStream* o, const TBytes& key, const TBytes& IV) {
  TKeySchedule ks;
  PrepareStreams(s, o, ks, key);
  const bool ivHeader = FType != atECB && FIVMode == rand;
  const std::int64_t dataSize = std::max<std::int64_t>(0, s->GetSize() - (ivHeader ? 16 : 0));
  // Without padding only CTR accepts a cipher text that is not whole blocks.
  if (FPaddingMode == nopadding && FType != atCTR && dataSize % 16 != 0) throw errorlist::ESelvane(kNoPaddingLength);
  TChunkBuffers buf(kStreamChunkSize);
  TCharArray16 V{};
  if (FType != atECB) {
    if (ivHeader)
      s->Read(V.data(), 16);
    else
      V = StreamIV(IV);
  }
  const Integer mode = FType;
  const Integer st = DecryptChunks(StreamIO(s, o), buf, ks, V, mode, FPaddingMode == PKCS7, dataSize,
                                   [&](const TCharArray16& C, TCharArray16& P, TCharArray16& chain) {
                                     return BlockStep(TDirection::Decrypt, ks, C, P, chain, mode);
                                   });
  if (st == kBadPadding) return st;
  errorlist::RaiseIfError(st);
  return 0;
}

}  // namespace AESModes
