// GCM on streams: the whole input, additional data from a fourth stream (or none), the 16-byte
// tag to a tag stream. Decryption reads the input twice: a first pass only hashes it, and
// nothing is written unless the tag matches. Both passes run from copies of one state taken after
// the additional data and the IV, so the key is set up and the additional data read only once.
#include <algorithm>
#include <optional>

#include "crypto/engine/AESModes.h"
#include "crypto/engine/core/AESModesChunks.h"
#include "crypto/engine/core/AESModesGCMCore.h"
#include "crypto/engine/core/MeasuredInput.h"
#include "crypto/engine/core/OutputUndo.h"
#include "crypto/support/error.h"
#include "crypto/support/errorlist.h"

namespace AESModes {

using namespace detail;
using errorlist::RaiseIfError;

namespace {

// Calls step on every piece of the rest of the input, in pieces of the chunk buffer's size. A
// failed read (a failing stream, or one that ends before its measured size) raises -203.
template <class Step>
void ForEachChunk(TMeasuredInput& in, std::span<std::uint8_t> buf, Step step) {
  ForEachPiece(in, buf, [&](std::uint8_t* p, std::int64_t n) {
    step(p, static_cast<std::size_t>(n));
    return Integer{0};
  });
}

// A stream measured for reading; a size that cannot be known raises -203 before anything is
// written.
TMeasuredInput Measured(TStream* s) {
  TMeasuredInput in(s, TReadReport::RaiseStatus);
  in.Check();
  return in;
}

// The checks both directions share; Nk from the key's length.
Cardinal CheckStreams(std::initializer_list<TStream*> required, const TBytes& key, const TBytes& IVBytes) {
  for (TStream* s : required)
    if (s == nullptr) throw errorlist::ESelvane(error::kBadArgument);
  if (!IVBytes.empty() && IVBytes.size() < kGCMIVBytes) throw errorlist::ESelvane(error::kBadArgument);
  Cardinal Nk = 0;
  RaiseIfError(NkForKeyLength(key.size(), Nk));
  return Nk;
}

void Rewind(std::initializer_list<TStream*> streams) {
  for (TStream* s : streams)
    if (s != nullptr) s->SetPosition(0);
}

// The additional-data stream measured, or nothing for a nil one.
std::optional<TMeasuredInput> MeasuredAAD(TStream* aad) {
  if (aad == nullptr) return std::nullopt;
  return Measured(aad);
}

std::int64_t SizeOf(const std::optional<TMeasuredInput>& in) { return in ? in->Size() : 0; }

// All of the additional-data stream into s.
void HashAdditionalData(const TScrubbedGCM& key, TGCMMessage& s, std::optional<TMeasuredInput>& aad,
                        std::span<std::uint8_t> buf) {
  if (aad) ForEachChunk(*aad, buf, [&](const std::uint8_t* p, std::size_t n) { key.AddAAD(s, p, n); });
}

// A cipher stream of `size` bytes holds its IV (when IVBytes is empty) and at most GCM's limit
// of data; else -201.
void CheckCipherBytes(std::int64_t size, const TBytes& IVBytes) {
  const std::int64_t data = size - (IVBytes.empty() ? static_cast<std::int64_t>(kGCMIVBytes) : 0);
  if (data < 0 || static_cast<std::uint64_t>(data) > kGCMMaxDataBytes) throw errorlist::ESelvane(error::kBadArgument);
}

// J0 of s from the caller's first 12 IV bytes or, IVBytes empty, from the first 12 bytes of the
// cipher stream c.
void CipherIV(const TScrubbedGCM& key, TGCMMessage& s, TMeasuredInput& c, const TBytes& IVBytes) {
  std::uint8_t iv[kGCMIVBytes];
  if (IVBytes.empty())
    c.ReadExactly(iv, kGCMIVBytes);
  else
    std::copy_n(IVBytes.begin(), kGCMIVBytes, iv);
  key.SetIV(s, iv);
}

}  // namespace

void TAESModes::EncryptAndGenerateFromStream(TStream* inputStream, TStream* outputStream, TStream* addDataStream,
                                             TStream* tagStream, const TBytes& key, const TBytes& IVBytes) {
  const Cardinal Nk = CheckStreams({inputStream, outputStream, tagStream}, key, IVBytes);
  Rewind({inputStream, outputStream, addDataStream, tagStream});
  TMeasuredInput input = Measured(inputStream);
  std::optional<TMeasuredInput> aad = MeasuredAAD(addDataStream);
  if (static_cast<std::uint64_t>(input.Size()) > kGCMMaxDataBytes) throw errorlist::ESelvane(error::kBadArgument);
  // Files and streams are read and written between kernel calls (see TAESModes::EncryptStream).
  const platform::TStackScrub scrub;
  TScrubbedGCM gcm;
  RaiseIfError(gcm.Init(key, Nk));
  TChunkBuffer chunk(std::max(input.Size(), SizeOf(aad)), kStreamChunkSize);
  TGCMMessage s;
  HashAdditionalData(gcm, s, aad, chunk.Span());
  std::uint8_t iv[kGCMIVBytes];
  if (IVBytes.empty()) {
    RaiseIfError(GCMRandomIV(iv));
    outputStream->WriteBuffer(iv, kGCMIVBytes);
  } else {
    std::copy_n(IVBytes.begin(), kGCMIVBytes, iv);
  }
  gcm.SetIV(s, iv);
  ForEachChunk(input, chunk.Span(), [&](std::uint8_t* p, std::size_t n) {
    gcm.Encrypt(s, p, p, n);
    outputStream->WriteBuffer(p, static_cast<std::int64_t>(n));
  });
  platform::TWiped<TCharArray16> T;
  gcm.Finish(s, *T);
  tagStream->WriteBuffer(T->data(), 16);
}

// The output stream is not touched before the tag has matched once; a second pass that then
// fails (the input changed between the passes, a read or write failed) leaves it as it was
// before the call, but with zeros where the pass wrote.
Integer TAESModes::DecryptAndVerifyFromStream(TStream* inputStream, TStream* outputStream, TStream* addDataStream,
                                              TStream* tagStream, const TBytes& key, const TBytes& IVBytes,
                                              Integer tagSizeBits) {
  for (TStream* s : {inputStream, outputStream, tagStream})
    if (s == nullptr) throw errorlist::ESelvane(error::kBadArgument);
  if (tagSizeBits > 128) throw errorlist::ESelvane(error::kTagTooLong);
  RaiseIfError(GCMCheckTag(tagSizeBits, 16, true));
  const Cardinal Nk = CheckStreams({inputStream, outputStream, tagStream}, key, IVBytes);
  Rewind({inputStream, addDataStream, tagStream});
  TCharArray16 expectedBlock{};
  tagStream->Read(expectedBlock.data(), 16);  // a shorter tag stream leaves zeros, which fail
  const auto expected = std::span<const std::uint8_t>(expectedBlock).first(static_cast<std::size_t>(tagSizeBits / 8));
  TMeasuredInput first = Measured(inputStream);
  std::optional<TMeasuredInput> aad = MeasuredAAD(addDataStream);
  CheckCipherBytes(first.Size(), IVBytes);
  // Files and streams are read and written between kernel calls (see TAESModes::EncryptStream).
  const platform::TStackScrub scrub;
  TScrubbedGCM gcm;
  RaiseIfError(gcm.Init(key, Nk));
  TChunkBuffer chunk(std::max(first.Size(), SizeOf(aad)), kStreamChunkSize);
  TGCMMessage start;
  HashAdditionalData(gcm, start, aad, chunk.Span());
  CipherIV(gcm, start, first, IVBytes);

  // Both passes; the output is set to its start only once the tag has matched, and what the
  // second pass wrote is zeroed when it fails.
  std::optional<TOutputUndo> out;
  const auto reread = [&](std::optional<TMeasuredInput>& again) {
    inputStream->SetPosition(0);
    again.emplace(inputStream, TReadReport::RaiseStatus);
    return Integer{0};
  };
  const auto write = [&](const std::uint8_t* p, std::int64_t n) {
    if (!out) {
      out.emplace(outputStream);
      outputStream->SetPosition(0);
    }
    out->Write(p, static_cast<std::size_t>(n));
    return Integer{0};
  };
  Integer st = 0;
  try {
    st = GCMDecryptVerified(gcm, start, expected, first, chunk.Span(), reread, write);
  } catch (...) {
    if (out) out->Undo(0, chunk.Bytes());
    throw;
  }
  if (st == 0 && !out) outputStream->SetPosition(0);  // an empty message: nothing was written
  if (st != 0 && out) out->Undo(0, chunk.Bytes());
  return st;
}

}  // namespace AESModes
