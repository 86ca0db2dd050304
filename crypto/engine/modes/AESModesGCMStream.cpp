// GCM on streams: the whole input, additional data from a fourth stream (or none), the 16-byte
// tag to a tag stream. Decryption reads the input twice: a first pass only hashes it, and
// nothing is written unless the tag matches.
#include <algorithm>

#include "crypto/engine/AESModes.h"
#include "crypto/engine/core/AESModesChunks.h"
#include "crypto/engine/core/AESModesGCMCore.h"
#include "crypto/support/error.h"
#include "crypto/support/errorlist.h"

namespace AESModes {

using namespace detail;
using errorlist::RaiseIfError;

namespace {

// Reads exactly n bytes; a stream that ends early raises -203.
void ReadExactly(TStream* s, std::uint8_t* p, std::int64_t n) {
  if (s->Read(p, n) != n) throw errorlist::ESelvane(error::kFileOpenFailed);
}

// Calls step on every piece of `size` bytes of s, in pieces of the chunk buffer's size.
template <class Step>
void ForEachChunk(TStream* s, std::int64_t size, TBytes& buf, Step step) {
  for (std::int64_t left = size; left > 0;) {
    const std::int64_t n = std::min<std::int64_t>(left, static_cast<std::int64_t>(buf.size()));
    ReadExactly(s, buf.data(), n);
    step(buf.data(), static_cast<std::size_t>(n));
    left -= n;
  }
}

// Checks shared by both directions; rewinds every assigned stream; Nk from the key's length.
Cardinal PrepareStreams(std::initializer_list<TStream*> required, TStream* aad, const TBytes& key,
                        const TBytes& IVBytes) {
  for (TStream* s : required)
    if (s == nullptr) throw errorlist::ESelvane(error::kBadArgument);
  if (!IVBytes.empty() && IVBytes.size() < kGCMIVBytes) throw errorlist::ESelvane(error::kBadArgument);
  Cardinal Nk = 0;
  RaiseIfError(NkForKeyLength(key.size(), Nk));
  for (TStream* s : required) s->SetPosition(0);
  if (aad != nullptr) aad->SetPosition(0);
  return Nk;
}

// Key and H, then all of the additional-data stream.
void StartStream(TGCM& gcm, const TBytes& key, Cardinal Nk, TStream* aad, TBytes& buf) {
  RaiseIfError(gcm.Start(key, Nk));
  if (aad == nullptr) return;
  aad->SetPosition(0);
  ForEachChunk(aad, aad->GetSize(), buf, [&](const std::uint8_t* p, std::size_t n) { gcm.AddAAD(p, n); });
}

// The IV: the caller's first 12 bytes, or (IVBytes empty) the first 12 bytes of the cipher
// stream s. Returns the length of the cipher text that follows in s.
std::int64_t CipherIV(TGCM& gcm, TStream* s, const TBytes& IVBytes) {
  const std::int64_t size = s->GetSize();
  std::uint8_t iv[kGCMIVBytes];
  if (IVBytes.empty()) {
    if (size < static_cast<std::int64_t>(kGCMIVBytes)) throw errorlist::ESelvane(error::kBadArgument);
    ReadExactly(s, iv, kGCMIVBytes);
  } else {
    std::copy_n(IVBytes.begin(), kGCMIVBytes, iv);
  }
  const std::int64_t data = size - (IVBytes.empty() ? static_cast<std::int64_t>(kGCMIVBytes) : 0);
  if (static_cast<std::uint64_t>(data) > kGCMMaxDataBytes) throw errorlist::ESelvane(error::kBadArgument);
  gcm.SetIV(iv);
  return data;
}

}  // namespace

void TAESModes::EncryptAndGenerateFromStream(TStream* inputStream, TStream* outputStream, TStream* addDataStream,
                                             TStream* tagStream, const TBytes& key, const TBytes& IVBytes) {
  const Cardinal Nk = PrepareStreams({inputStream, outputStream, tagStream}, addDataStream, key, IVBytes);
  const std::int64_t size = inputStream->GetSize();
  if (static_cast<std::uint64_t>(size) > kGCMMaxDataBytes) throw errorlist::ESelvane(error::kBadArgument);
  platform::TSecretBytes chunk{TBytes(kStreamChunkSize)};
  TGCM gcm;
  StartStream(gcm, key, Nk, addDataStream, chunk.Value);
  std::uint8_t iv[kGCMIVBytes];
  if (IVBytes.empty()) {
    RaiseIfError(GCMRandomIV(iv));
    outputStream->WriteBuffer(iv, kGCMIVBytes);
  } else {
    std::copy_n(IVBytes.begin(), kGCMIVBytes, iv);
  }
  gcm.SetIV(iv);
  ForEachChunk(inputStream, size, chunk.Value, [&](std::uint8_t* p, std::size_t n) {
    gcm.Encrypt(p, p, n);
    outputStream->WriteBuffer(p, static_cast<std::int64_t>(n));
  });
  platform::TWiped<TCharArray16> T;
  gcm.Finish(*T);
  tagStream->WriteBuffer(T->data(), 16);
}

Integer TAESModes::DecryptAndVerifyFromStream(TStream* inputStream, TStream* outputStream, TStream* addDataStream,
                                              TStream* tagStream, const TBytes& key, const TBytes& IVBytes,
                                              Integer tagSizeBits) {
  for (TStream* s : {inputStream, outputStream, tagStream})
    if (s == nullptr) throw errorlist::ESelvane(error::kBadArgument);
  if (tagSizeBits > 128) throw errorlist::ESelvane(error::kTagTooLong);
  RaiseIfError(GCMCheckTag(tagSizeBits, 16, true));
  const Cardinal Nk = PrepareStreams({inputStream, outputStream, tagStream}, addDataStream, key, IVBytes);
  TCharArray16 expectedBlock{};
  tagStream->Read(expectedBlock.data(), 16);  // a shorter tag stream leaves zeros, which fail
  const auto expected = std::span<const std::uint8_t>(expectedBlock).first(static_cast<std::size_t>(tagSizeBits / 8));
  platform::TSecretBytes chunk{TBytes(kStreamChunkSize)};
  platform::TWiped<TCharArray16> T;

  // First pass: hash only.
  {
    TGCM check;
    StartStream(check, key, Nk, addDataStream, chunk.Value);
    const std::int64_t size = CipherIV(check, inputStream, IVBytes);
    ForEachChunk(inputStream, size, chunk.Value, [&](const std::uint8_t* p, std::size_t n) { check.HashCipher(p, n); });
    check.Finish(*T);
    if (!GCMTagMatches(*T, expected)) return error::kTagMismatch;
  }
  // Second pass: decrypt and write, hashing again what is read.
  TGCM gcm;
  StartStream(gcm, key, Nk, addDataStream, chunk.Value);
  inputStream->SetPosition(0);
  const std::int64_t size = CipherIV(gcm, inputStream, IVBytes);
  ForEachChunk(inputStream, size, chunk.Value, [&](std::uint8_t* p, std::size_t n) {
    gcm.Decrypt(p, p, n);
    outputStream->WriteBuffer(p, static_cast<std::int64_t>(n));
  });
  gcm.Finish(*T);
  // Equal unless a stream changed between the passes; that is reported as a mismatch too.
  return GCMTagMatches(*T, expected) ? 0 : error::kTagMismatch;
}

}  // namespace AESModes
