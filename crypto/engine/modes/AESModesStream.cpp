// Stream operations: chunks of 160000 bytes, settings from the object's three mode fields.
#include <algorithm>
#include <cstring>
#include <typeinfo>

#include "crypto/engine/AESModes.h"
#include "crypto/engine/core/AESModesChunks.h"
#include "crypto/support/errorlist.h"

namespace AESModes {

using namespace detail;
using platform::TMemoryStream;

namespace {

TChunkIO StreamIO(TMeasuredInput& in, TStream* o, const platform::TChunkProgress& progress) {
  TChunkIO io{in,
              [o](const std::uint8_t* p, std::int64_t n) {
                o->WriteBuffer(p, n);  // raises on a failing or short write
                return Integer{0};
              },
              {}};
  if (progress)
    io.AfterChunk = [&in, &progress]() -> Integer {
      if (!progress(in.Done(), in.Size())) throw platform::EAbort(u"Operation cancelled");
      return 0;
    };
  return io;
}

// The stream as a plain memory stream, or nullptr: a subclass may read, write or measure in its
// own way, so only the class itself is worked on in place.
TMemoryStream* InMemory(TStream* s) {
  return typeid(*s) == typeid(TMemoryStream) ? static_cast<TMemoryStream*>(s) : nullptr;
}

// Rewinds both streams and expands the key with Nk = key length div 4 (with inverse, also the
// inverse cipher's schedule).
void PrepareStreams(TStream* s, TStream* o, TScrubbedKey& ks, const TBytes& key, bool inverse) {
  if (s == nullptr || o == nullptr) throw errorlist::ESelvane(kBadArgument);
  s->SetPosition(0);
  o->SetPosition(0);
  errorlist::RaiseIfError(ks.Expand(key, static_cast<Cardinal>(key.size() / 4), inverse));
}

// The caller's IV: at least 16 bytes (else -201), of which the first 16 are used.
TCharArray16 StreamIV(const TBytes& IV) {
  TCharArray16 V;
  errorlist::RaiseIfError(CallerIV(IV, V));
  return V;
}

}  // namespace

void TAESModes::EncryptStream(TStream* s, TStream* o, const TBytes& key, const TBytes& IV) {
  // The caller's streams run between kernel calls while round keys are in the vector registers,
  // and their first call into a shared library saves those registers on the stack: scrubbed on
  // the way out (a stream call costs more than the scrub).
  const platform::TStackScrub scrub;
  TScrubbedKey ks;
  PrepareStreams(s, o, ks, key, false);
  // The input is read for exactly this size; one that cannot be known raises the read error.
  TMeasuredInput in(s, TReadReport::ReadError);
  in.Check();
  if (FPaddingMode == nopadding && in.Size() % 16 != 0) throw errorlist::ESelvane(kNoPaddingLength);
  TCharArray16 V{};
  const TMode mode = NamedMode(FType);
  if (UsesIV(mode)) {
    if (FIVMode == userdefined) {
      V = StreamIV(IV);
    } else {
      // A failing generator must never yield a predictable IV: its status is raised.
      errorlist::RaiseIfError(RandomIV(V));
      o->WriteBuffer(V.data(), 16);
    }
  }
  const TFinalEncrypt final = [&](const TCharArray16& P, TCharArray16& C, TCharArray16& chain) {
    return BlockStep(TDirection::Encrypt, ks, P, C, chain, mode);
  };
  const bool padding = FPaddingMode == PKCS7;
  TMemoryStream *from = InMemory(s), *to = InMemory(o);
  if (from != nullptr && to != nullptr && from != to && !FChunkProgress) {
    // Both hold their bytes in memory: encipher from the one straight into the other, leaving
    // both positions where the chunk loop would.
    const auto L = static_cast<std::size_t>(in.Size());
    std::uint8_t* out = to->Reserve(static_cast<std::int64_t>(padding ? L - L % 16 + 16 : L));
    std::size_t written = 0;
    errorlist::RaiseIfError(EncryptSpan(ks, from->Bytes().data(), L, out, V, mode, padding, final, written));
    from->SetPosition(in.Size());
    return;
  }
  TChunkBuffer buf(kStreamChunkSize);
  errorlist::RaiseIfError(EncryptChunks(StreamIO(in, o, FChunkProgress), buf, ks, V, mode, padding, final));
}

Integer TAESModes::DecryptStream(TStream* s, TStream* o, const TBytes& key, const TBytes& IV) {
  const platform::TStackScrub scrub;  // as EncryptStream
  TScrubbedKey ks;
  const TMode mode = NamedMode(FType);
  PrepareStreams(s, o, ks, key, DecryptsWithInverse(mode));
  const bool ivHeader = CarriesIV(FIVMode == rand, mode);
  TMeasuredInput in(s, TReadReport::ReadError);
  in.Check();
  const std::int64_t dataSize = std::max<std::int64_t>(0, in.Size() - (ivHeader ? 16 : 0));
  // Without padding only CTR accepts a cipher text that is not whole blocks.
  if (FPaddingMode == nopadding && WholeBlocksOnly(mode, false) && dataSize % 16 != 0)
    throw errorlist::ESelvane(kNoPaddingLength);
  // Padded cipher text is whole blocks; anything else would be decrypted into meaningless text
  // that a lucky final byte could pass off as a success.
  if (FPaddingMode == PKCS7 && dataSize % 16 != 0) return kBadPadding;
  TChunkBuffer buf(kStreamChunkSize);
  TCharArray16 V{};
  if (UsesIV(mode)) {
    if (ivHeader)
      in.Read(V.data(), 16);  // all of a shorter input, which then holds no data part
    else
      V = StreamIV(IV);
  }
  const Integer st = DecryptChunks(StreamIO(in, o, FChunkProgress), buf, ks, V, mode, FPaddingMode == PKCS7, dataSize,
                                   [&](const TCharArray16& C, TCharArray16& P, TCharArray16& chain) {
                                     return BlockStep(TDirection::Decrypt, ks, C, P, chain, mode);
                                   });
  if (st == kBadPadding) return st;
  errorlist::RaiseIfError(st);
  return 0;
}

}  // namespace AESModes
