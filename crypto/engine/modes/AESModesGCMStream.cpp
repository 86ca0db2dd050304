// GCM on streams: the whole input, additional data from a fourth stream (or none), the 16-byte
// tag to a tag stream. Decryption reads the input twice: a first pass only hashes it, and
// nothing is written unless the tag matches. Both passes run from copies of one state taken after
// the additional data and the IV, so the key is set up and the additional data read only once.
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

// The one chunk buffer of a call: a whole chunk, or less when neither the data nor the
// additional data needs one. Wiped when it goes away (it holds plain text).
TBytes ChunkBuffer(std::int64_t dataBytes, std::int64_t aadBytes) {
  return TBytes(static_cast<std::size_t>(std::clamp<std::int64_t>(std::max(dataBytes, aadBytes), 16, kStreamChunkSize)));
}

std::int64_t SizeOf(TStream* s) { return s != nullptr ? s->GetSize() : 0; }

// All of the additional-data stream (rewound) into s.
void HashAdditionalData(const TGCMKey& key, TGCMState& s, TStream* aad, std::int64_t size, TBytes& buf) {
  if (aad == nullptr) return;
  ForEachChunk(aad, size, buf, [&](const std::uint8_t* p, std::size_t n) { key.AddAAD(s, p, n); });
}

// The data length the cipher stream s holds after its IV (read from s when IVBytes is empty).
std::int64_t CipherBytes(std::int64_t size, const TBytes& IVBytes) {
  const std::int64_t data = size - (IVBytes.empty() ? static_cast<std::int64_t>(kGCMIVBytes) : 0);
  if (data < 0 || static_cast<std::uint64_t>(data) > kGCMMaxDataBytes) throw errorlist::ESelvane(error::kBadArgument);
  return data;
}

// J0 of s from the caller's first 12 IV bytes or, IVBytes empty, from the first 12 bytes of the
// cipher stream c.
void CipherIV(const TGCMKey& key, TGCMState& s, TStream* c, const TBytes& IVBytes) {
  std::uint8_t iv[kGCMIVBytes];
  if (IVBytes.empty())
    ReadExactly(c, iv, kGCMIVBytes);
  else
    std::copy_n(IVBytes.begin(), kGCMIVBytes, iv);
  key.SetIV(s, iv);
}

// The caller's output stream as the decrypting pass found it. Undo, on a failure of that pass,
// overwrites every byte the pass wrote with zeros and restores the size and position, so no
// unauthenticated plain text stays behind.
class TOutputUndo {
 public:
  explicit TOutputUndo(TStream* s) : FStream(s), FPosition(s->GetPosition()), FSize(s->GetSize()) {}

  void Write(const std::uint8_t* p, std::size_t n) {
    FStream->WriteBuffer(p, static_cast<std::int64_t>(n));
    FWritten += static_cast<std::int64_t>(n);
  }

  // Raises nothing: the failure being reported matters more than one met while undoing.
  // zeros: a scratch buffer, zeroed here and used as the source of the zero bytes.
  void Undo(TBytes& zeros) noexcept {
    try {
      const std::int64_t end = std::max(FWritten, FStream->GetPosition());  // a failed write may have moved it
      platform::SecureZero(zeros.data(), zeros.size());
      FStream->SetPosition(0);
      for (std::int64_t left = end; left > 0;) {
        const std::int64_t n = std::min<std::int64_t>(left, static_cast<std::int64_t>(zeros.size()));
        FStream->WriteBuffer(zeros.data(), n);
        left -= n;
      }
      if (FStream->GetSize() > FSize) FStream->SetSize(FSize);
    } catch (...) {
    }
    try {
      FStream->SetPosition(FPosition);
    } catch (...) {
    }
  }

 private:
  TStream* FStream;
  std::int64_t FPosition, FSize, FWritten = 0;
};

}  // namespace

void TAESModes::EncryptAndGenerateFromStream(TStream* inputStream, TStream* outputStream, TStream* addDataStream,
                                             TStream* tagStream, const TBytes& key, const TBytes& IVBytes) {
  const Cardinal Nk = CheckStreams({inputStream, outputStream, tagStream}, key, IVBytes);
  Rewind({inputStream, outputStream, addDataStream, tagStream});
  const std::int64_t size = inputStream->GetSize(), aadSize = SizeOf(addDataStream);
  if (static_cast<std::uint64_t>(size) > kGCMMaxDataBytes) throw errorlist::ESelvane(error::kBadArgument);
  TGCMKey gcm;
  RaiseIfError(gcm.Init(key, Nk));
  platform::TSecretBytes chunk{ChunkBuffer(size, aadSize)};
  TGCMState s;
  HashAdditionalData(gcm, s, addDataStream, aadSize, chunk.Value);
  std::uint8_t iv[kGCMIVBytes];
  if (IVBytes.empty()) {
    RaiseIfError(GCMRandomIV(iv));
    outputStream->WriteBuffer(iv, kGCMIVBytes);
  } else {
    std::copy_n(IVBytes.begin(), kGCMIVBytes, iv);
  }
  gcm.SetIV(s, iv);
  ForEachChunk(inputStream, size, chunk.Value, [&](std::uint8_t* p, std::size_t n) {
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
  const std::int64_t size = CipherBytes(inputStream->GetSize(), IVBytes), aadSize = SizeOf(addDataStream);
  TGCMKey gcm;
  RaiseIfError(gcm.Init(key, Nk));
  platform::TSecretBytes chunk{ChunkBuffer(size, aadSize)};
  TGCMState start;
  HashAdditionalData(gcm, start, addDataStream, aadSize, chunk.Value);
  CipherIV(gcm, start, inputStream, IVBytes);
  const std::int64_t dataStart = inputStream->GetPosition();
  platform::TWiped<TCharArray16> T;

  // First pass: hash only.
  {
    TGCMState check = start;
    ForEachChunk(inputStream, size, chunk.Value,
                 [&](const std::uint8_t* p, std::size_t n) { gcm.HashCipher(check, p, n); });
    gcm.Finish(check, *T);
    if (!GCMTagMatches(*T, expected)) return error::kTagMismatch;
  }
  // Second pass: decrypt and write, hashing again what is read. An input whose size changed
  // since the first pass is refused before anything is written.
  inputStream->SetPosition(dataStart);
  if (inputStream->GetSize() - dataStart != size) return error::kTagMismatch;
  TOutputUndo out(outputStream);
  TGCMState s = start;
  try {
    outputStream->SetPosition(0);
    ForEachChunk(inputStream, size, chunk.Value, [&](std::uint8_t* p, std::size_t n) {
      gcm.Decrypt(s, p, p, n);
      out.Write(p, n);
    });
  } catch (...) {
    out.Undo(chunk.Value);
    throw;
  }
  gcm.Finish(s, *T);
  // Equal unless the input changed between the passes; that is a mismatch too.
  if (GCMTagMatches(*T, expected)) return 0;
  out.Undo(chunk.Value);
  return error::kTagMismatch;
}

}  // namespace AESModes
