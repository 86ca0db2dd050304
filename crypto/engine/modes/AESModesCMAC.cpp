// CMAC over byte buffers, strings, files named by path and streams. Every form checks its
// arguments, then hands its message to the one absorber in pieces: a buffer at once, a string
// through a small byte buffer, a file in pieces of 1 MiB (kFilePieceSize), a stream in chunks of
// kStreamChunkSize.
#include <algorithm>
#include <array>
#include <span>

#include "crypto/engine/kernel/AESKernel.h"
#include "crypto/engine/AESModes.h"
#include "crypto/engine/core/AESModesChunks.h"
#include "crypto/engine/core/CMACAbsorber.h"
#include "crypto/support/error.h"
#include "crypto/support/errorlist.h"
#include "platform/Files.h"
#include "platform/Memory.h"

namespace AESModes {

using detail::TCMACAbsorber;

namespace {

std::size_t TagBytes(Integer tagSizeBits) { return static_cast<std::size_t>(tagSizeBits + 7) / 8; }

// The checks every form makes once its inputs are known to be non-empty: Nk for keySizeBits,
// or -206 (size, or a key too short for it), -210 (tag size), -201 (tag buffer too short).
Integer CheckMacArguments(const TBytes& macKey, Integer keySizeBits, Integer tagSizeBits, std::size_t tagBufferSize,
                          Cardinal& Nk) {
  if (const Integer st = detail::NkForKeySize(keySizeBits, Nk)) return st;
  if (macKey.size() < 4 * static_cast<std::size_t>(Nk)) return error::kBadKeySize;
  if (tagSizeBits < 0 || tagSizeBits > 128) return error::kBadBlockLength;
  if (tagBufferSize < TagBytes(tagSizeBits)) return error::kBadArgument;
  return 0;
}

// The first tagSizeBits div 8 bytes of T against those of tag, every byte compared.
Integer CompareTag(std::span<const std::uint8_t> T, const TBytes& tag, Integer tagSizeBits) {
  const std::size_t n = static_cast<std::size_t>(tagSizeBits / 8);
  return platform::ConstantTimeEqual({T.data(), n}, {tag.data(), n}) ? 0 : error::kMacMismatch;
}

// Checks a verification makes before it computes anything.
Integer CheckVerification(bool messageEmpty, const TBytes& macKey, const TBytes& tagBuffer, Integer tagSizeBits) {
  if (messageEmpty || macKey.empty() || tagBuffer.empty()) return error::kBadArgument;
  // Below 8 bits nothing would be compared and any tag accepted.
  if (tagSizeBits >= 0 && tagSizeBits < 8) return error::kBadArgument;
  return 0;
}

// All of the input into the absorber, in pieces of at most pieceBytes.
Integer Absorb(TCMACAbsorber& mac, detail::TMeasuredInput& input, std::int64_t pieceBytes) {
  detail::TChunkBuffer chunk(input.Size(), pieceBytes);
  return detail::ForEachPiece(input, chunk.Span(), [&](const std::uint8_t* p, std::int64_t n) {
    mac.Feed(p, static_cast<std::size_t>(n));
    return Integer{0};
  });
}

// The one CMAC computation of every form: the key expanded and its subkeys derived, then feed
// hands the message to the absorber (returning 0 or a status that stops it), then T. The
// expanded key, the subkeys and the absorber's state are wiped on every exit, and the stack
// below is scrubbed.
template <class Feed>
Integer CMACTag(const TBytes& key, Cardinal Nk, const Feed& feed, TCharArray16& T) {
  detail::TScrubbedKey keyed;
  if (const Integer st = keyed.Expand(key, Nk)) return st;
  platform::TWiped<std::array<TCharArray16, 2>> K;
  detail::CMACSubkeysOf(keyed, (*K)[0], (*K)[1]);
  TCMACAbsorber mac(keyed, (*K)[0], (*K)[1]);
  if (const Integer st = feed(mac)) return st;
  mac.Finish(T);
  return 0;
}

}  // namespace

// --- Buffers and strings

Integer TAESModes::MAC_GenerationBinaryBuffer(const TBytes& inputBuffer, const TBytes& macKey, Integer keySizeBits,
                                              TBytes& tagBuffer, Integer tagSizeBits) {
  if (inputBuffer.empty() || tagBuffer.empty() || macKey.empty()) return error::kBadArgument;
  Cardinal Nk = 0;
  if (const Integer st = CheckMacArguments(macKey, keySizeBits, tagSizeBits, tagBuffer.size(), Nk)) return st;
  // Wiped: when a verification asks, this is the right tag for a message it has not accepted.
  platform::TWiped<TCharArray16> T, res;
  const auto feed = [&](TCMACAbsorber& mac) {
    mac.Feed(inputBuffer.data(), inputBuffer.size());
    return Integer{0};
  };
  if (const Integer st = CMACTag(macKey, Nk, feed, *T)) return st;
  if (const Integer st = MSB(tagSizeBits, *T, *res)) return st;
  std::copy_n(res->begin(), TagBytes(tagSizeBits), tagBuffer.begin());
  return 0;
}

Integer TAESModes::MAC_VerificationBinaryBuffer(const TBytes& inputBuffer, const TBytes& macKey, Integer keySizeBits,
                                                const TBytes& tagBuffer, Integer tagSizeBits) {
  // The right tag is copied and compared after the generation's scrub: its registers go too.
  const platform::TRegisterWipe clear;
  // An empty message is refused like the generation refuses it, never replaced by another one.
  if (const Integer st = CheckVerification(inputBuffer.empty(), macKey, tagBuffer, tagSizeBits)) return st;
  // The right tag for this message: wiped, or a caller could read a forgery out of freed memory.
  platform::TSecretBytes work(TBytes(16));
  if (const Integer st = MAC_GenerationBinaryBuffer(inputBuffer, macKey, keySizeBits, work.Value, tagSizeBits))
    return st;
  if (tagBuffer.size() < TagBytes(tagSizeBits)) return error::kBadArgument;
  return CompareTag(work.Value, tagBuffer, tagSizeBits);
}

Integer TAESModes::MAC_GenerationString(const string& inputString, const TBytes& macKey, Integer keySizeBits,
                                        TCharArray16& tag, Integer tagSizeBits) {
  if (inputString.empty() || macKey.empty()) return error::kBadArgument;
  Cardinal Nk = 0;
  if (const Integer st = CheckMacArguments(macKey, keySizeBits, tagSizeBits, tag.size(), Nk)) return st;
  platform::TWiped<TCharArray16> T;
  const auto feed = [&](TCMACAbsorber& mac) {
    std::array<std::uint8_t, 4096> bytes;
    for (std::size_t at = 0; at < inputString.size(); at += bytes.size()) {
      const std::size_t n = std::min(bytes.size(), inputString.size() - at);
      for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(inputString[at + i]);
      mac.Feed(bytes.data(), n);
    }
    return Integer{0};
  };
  if (const Integer st = CMACTag(macKey, Nk, feed, *T)) return st;
  return MSB(tagSizeBits, *T, tag);
}

Integer TAESModes::MAC_VerificationString(const string& inputString, Integer /*inputSizeBytes*/,
                                          const TBytes& macKey, Integer keySizeBits, const TBytes& tagBuffer,
                                          Integer tagSizeBits) {
  const platform::TRegisterWipe clear;  // as in the buffer form
  if (const Integer st = CheckVerification(inputString.empty(), macKey, tagBuffer, tagSizeBits)) return st;
  platform::TWiped<TCharArray16> T;
  if (const Integer st = MAC_GenerationString(inputString, macKey, keySizeBits, *T, tagSizeBits)) return st;
  if (tagBuffer.size() < TagBytes(tagSizeBits)) return error::kBadArgument;
  return CompareTag(*T, tagBuffer, tagSizeBits);
}

// --- Files named by path

Integer TAESModes::MAC_GenerationFile(const string& inputFilePath, const TBytes& macKey, Integer keySizeBits,
                                      TBytes& tagBuffer, Integer tagSizeBits) {
  // Closing the file and the tag's copy run after the key holder's scrub: scrub again on the way out.
  const platform::TStackScrub scrub;
  if (inputFilePath.empty() || tagBuffer.empty() || macKey.empty()) return error::kBadArgument;
  const platform::TFileHandle file(platform::FileOpen(inputFilePath, platform::TFileAccess::Read));
  if (!file.Valid()) return error::kFileOpenFailed;
  // Exactly the size measured here is read: a failed or short read (or a size that cannot be
  // known) is -203, so the tag never covers fewer bytes than the file holds.
  detail::TMeasuredInput input(file.Get(), detail::TReadReport::ReturnStatus);
  if (const Integer st = input.Check()) return st;
  Cardinal Nk = 0;
  if (const Integer st = CheckMacArguments(macKey, keySizeBits, tagSizeBits, tagBuffer.size(), Nk)) return st;
  platform::TWiped<TCharArray16> T, res;  // wiped as in the buffer form
  const auto feed = [&](TCMACAbsorber& mac) { return Absorb(mac, input, detail::kFilePieceSize); };
  if (const Integer st = CMACTag(macKey, Nk, feed, *T)) return st;
  if (const Integer st = MSB(tagSizeBits, *T, *res)) return st;
  std::copy_n(res->begin(), TagBytes(tagSizeBits), tagBuffer.begin());
  return 0;
}

Integer TAESModes::MAC_VerificationFile(const string& inputFilePath, const TBytes& macKey, Integer keySizeBits,
                                        const TBytes& tagBuffer, Integer tagSizeBits) {
  const platform::TStackScrub scrub;  // the comparison ran after the generation's scrub
  if (const Integer st = CheckVerification(inputFilePath.empty(), macKey, tagBuffer, tagSizeBits)) return st;
  platform::TSecretBytes work(TBytes(16));
  if (const Integer st = MAC_GenerationFile(inputFilePath, macKey, keySizeBits, work.Value, tagSizeBits)) return st;
  if (tagBuffer.size() < TagBytes(tagSizeBits)) return error::kBadArgument;
  return CompareTag(work.Value, tagBuffer, tagSizeBits);
}

// --- Streams

string TAESModes::GenerateFromStream(TStream* s, const TBytes& key) {
  if (s == nullptr) throw errorlist::ESelvane(error::kBadArgument);
  const platform::TStackScrub scrub;  // the stream is read between kernel calls, as in EncryptStream
  Cardinal Nk = 0;
  errorlist::RaiseIfError(detail::NkForKeyLength(key.size(), Nk));
  s->SetPosition(0);
  // A stream that cannot be read for its measured size (or whose size cannot be known) raises -203.
  detail::TMeasuredInput input(s, detail::TReadReport::RaiseStatus);
  input.Check();
  platform::TWiped<TCharArray16> T;
  const auto feed = [&](TCMACAbsorber& mac) { return Absorb(mac, input, kStreamChunkSize); };
  errorlist::RaiseIfError(CMACTag(key, Nk, feed, *T));
  string tag(16, u'\0');
  std::copy(T->begin(), T->end(), tag.begin());
  return tag;
}

Integer TAESModes::VerifyFromStream(TStream* s, const string& t, const TBytes& key) {
  const platform::TRegisterWipe clear;  // as in the buffer form
  const platform::TSecretText tag(GenerateFromStream(s, key));
  if (t.size() != tag.Value.size()) return error::kMacMismatch;
  const auto bytes = [](const string& x) {
    return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(x.data()), 2 * x.size());
  };
  return platform::ConstantTimeEqual(bytes(tag.Value), bytes(t)) ? 0 : error::kMacMismatch;
}

}  // namespace AESModes
