// GCM on files named by path. Data, additional data and tag each live in a file of their own.
// Output and tag files are replaced whole or not at all. Decryption checks the tag before it
// releases anything: a first pass only hashes the cipher text; a second pass decrypts into the
// temporary output and checks the tag again over the bytes it actually read, so a file changed
// between the passes is refused too; only then is the output put in place. The key is set up and
// the additional data read once: both passes start from copies of the state after them.
#include <algorithm>
#include <optional>

#include "crypto/engine/AESModes.h"
#include "crypto/engine/core/AESModesChunks.h"
#include "crypto/engine/core/AESModesGCMCore.h"
#include "crypto/engine/core/MeasuredInput.h"
#include "crypto/support/error.h"
#include "platform/Files.h"
#include "platform/Streams.h"

namespace AESModes {

using namespace detail;
using platform::TFileAccess;
using platform::TFileHandle;
using platform::THandle;
using platform::TReplacingFile;

namespace {

Integer WriteAll(THandle h, const std::uint8_t* p, std::int64_t n) {
  return platform::FileWrite(h, p, n) == n ? 0 : error::kShortWrite;
}

std::optional<TReplacingFile> Replacing(const string& path) {
  // The output and tag files must exist (a dangling link counts: its file is created).
  if (!platform::OutputFileExists(path)) return std::nullopt;
  try {
    return std::optional<TReplacingFile>(std::in_place, path);
  } catch (const platform::Exception&) {
    return std::nullopt;
  }
}

// An input file opened for reading, measured at the start and read through the one reader: a
// failed or short read is -203, never an end of data.
struct TInputFile {
  TFileHandle File;
  TMeasuredInput Reader;
  explicit TInputFile(const string& path) : TInputFile(platform::FileOpen(path, TFileAccess::Read)) {}
  explicit TInputFile(THandle handle) : File(handle), Reader(handle, TReadReport::ReturnStatus) {}
  bool Valid() const { return File.Valid() && Reader.Size() >= 0; }
  std::int64_t Size() const { return Reader.Size(); }
};

// One file operation after the argument checks: where the IV comes from and where it goes.
struct TFileJob {
  const string &In, &AAD, &Out, &Tag;
  std::span<const std::uint8_t> Key;
  Cardinal Nk = 0;
  std::span<const std::uint8_t> IV;  // empty: the _IVIn layout
  Integer KeySizeBits = 0, TagSizeBits = 0;
};

// Two paths that name one file (through links, hard links or another spelling) would have one
// file overwrite another: the outputs must stand apart from each other and from every input
// they would destroy. Only the output may replace its own input, which it does whole, on success.
bool FilesStandApart(const TFileJob& job, bool encrypt) {
  using platform::SameFile;
  if (encrypt)
    return !SameFile(job.Out, job.Tag) && !SameFile(job.Out, job.AAD) && !SameFile(job.Tag, job.In) &&
           !SameFile(job.Tag, job.AAD);
  return !SameFile(job.Out, job.AAD) && !SameFile(job.Out, job.Tag);
}

// The additional-data file is opened as the file streams open it: one that cannot be opened
// raises their EFOpenError. The caller's other files are closed on the way out (they are held
// by objects that close or discard them).
THandle OpenAdditionalData(const string& path) { return platform::OpenStreamFile(path, TFileAccess::Read); }

// All of the additional-data file into s.
Integer HashAdditionalData(const TScrubbedGCM& key, TGCMMessage& s, TInputFile& aad, std::span<std::uint8_t> buf) {
  return ForEachPiece(aad.Reader, buf, [&](const std::uint8_t* p, std::int64_t n) {
    key.AddAAD(s, p, static_cast<std::size_t>(n));
    return Integer{0};
  });
}

Integer EncryptFileJob(const TFileJob& job) {
  if (!FilesStandApart(job, true)) return error::kFileOpenFailed;
  TInputFile in(job.In);
  if (!in.Valid()) return error::kFileOpenFailed;
  std::optional<TReplacingFile> out = Replacing(job.Out), tag = Replacing(job.Tag);
  if (!out || !tag) return error::kFileOpenFailed;
  Cardinal Nk = 0;
  if (const Integer st = GCMCheckKey(job.KeySizeBits, job.Key.size(), Nk)) return st;
  // Files and streams are read and written between kernel calls (see TAESModes::EncryptStream).
  const platform::TStackScrub scrub;
  TScrubbedGCM gcm;
  if (const Integer st = gcm.Init(job.Key, Nk)) return st;
  TInputFile aad(OpenAdditionalData(job.AAD));
  if (!aad.Valid()) return error::kFileOpenFailed;  // opened, but its size cannot be had
  TChunkBuffer buf(std::max(in.Size(), aad.Size()), kFilePieceSize);  // encrypted in place
  TGCMMessage s;
  if (const Integer st = HashAdditionalData(gcm, s, aad, buf.Span())) return st;
  if (static_cast<std::uint64_t>(in.Size()) > kGCMMaxDataBytes) return error::kBadArgument;
  std::uint8_t drawn[kGCMIVBytes];
  if (job.IV.empty()) {
    if (const Integer st = GCMRandomIV(drawn)) return st;
    if (const Integer st = WriteAll(out->Handle(), drawn, kGCMIVBytes)) return st;
  }
  gcm.SetIV(s, job.IV.empty() ? std::span<const std::uint8_t>(drawn) : job.IV);
  const Integer st = ForEachPiece(in.Reader, buf.Span(), [&](std::uint8_t* p, std::int64_t n) {
    gcm.Encrypt(s, p, p, static_cast<std::size_t>(n));
    return WriteAll(out->Handle(), p, n);
  });
  if (st != 0) return st;
  platform::TWiped<TCharArray16> T;
  gcm.Finish(s, *T);
  if (const Integer s2 = WriteAll(tag->Handle(), T->data(), job.TagSizeBits / 8)) return s2;
  return TReplacingFile::CommitPair(*out, *tag) ? 0 : error::kShortWrite;  // both or neither
}

// The expected tag: the first tagSizeBits div 8 bytes of the tag file; a shorter file leaves
// zeros, which then fail the comparison like any other wrong tag.
Integer ReadExpectedTag(THandle h, TCharArray16& expected) {
  expected = {};
  return platform::FileRead(h, expected.data(), 16) < 0 ? error::kFileOpenFailed : 0;
}

// The input's file back at its start for the second pass.
bool Rewind(const TInputFile& in, const string& path) {
  try {
    platform::THandleStream(in.File.Get(), path).SetPosition(0);
    return true;
  } catch (const platform::Exception&) {
    return false;
  }
}

Integer DecryptFileJob(TFileJob job) {
  if (!FilesStandApart(job, false)) return error::kFileOpenFailed;
  TInputFile in(job.In);
  if (!in.Valid()) return error::kFileOpenFailed;
  std::optional<TReplacingFile> out = Replacing(job.Out);
  const TFileHandle tagFile(platform::FileOpen(job.Tag, TFileAccess::Read));
  if (!out || !tagFile.Valid()) return error::kFileOpenFailed;
  if (const Integer st = GCMCheckKey(job.KeySizeBits, job.Key.size(), job.Nk)) return st;
  TCharArray16 expectedBlock;
  if (const Integer st = ReadExpectedTag(tagFile.Get(), expectedBlock)) return st;
  const auto expected =
      std::span<const std::uint8_t>(expectedBlock).first(static_cast<std::size_t>(job.TagSizeBits / 8));

  // Files are read and written between kernel calls (see TAESModes::EncryptStream).
  const platform::TStackScrub scrub;
  // The key, the additional data and the IV (read from the input for _IVIn) once, into the state
  // both passes start from.
  TScrubbedGCM gcm;
  if (const Integer st = gcm.Init(job.Key, job.Nk)) return st;
  TInputFile aad(OpenAdditionalData(job.AAD));
  if (!aad.Valid()) return error::kFileOpenFailed;  // opened, but its size cannot be had
  TChunkBuffer buf(std::max(in.Size(), aad.Size()), kFilePieceSize);  // holds plain text in the second pass
  TGCMMessage start;
  if (const Integer st = HashAdditionalData(gcm, start, aad, buf.Span())) return st;
  std::uint8_t iv[kGCMIVBytes];
  if (job.IV.empty()) {
    if (in.Size() < static_cast<std::int64_t>(kGCMIVBytes)) return error::kBadArgument;
    if (const Integer st = in.Reader.ReadExactly(iv, kGCMIVBytes)) return st;
  }
  if (static_cast<std::uint64_t>(in.Reader.Left()) > kGCMMaxDataBytes) return error::kBadArgument;
  gcm.SetIV(start, job.IV.empty() ? std::span<const std::uint8_t>(iv) : job.IV);

  // Both passes; the second writes into the temporary output, which is put in place only when
  // the tag matched over what that pass read.
  const auto reread = [&](std::optional<TMeasuredInput>& again) {
    if (!Rewind(in, job.In)) return error::kFileOpenFailed;
    again.emplace(in.File.Get(), TReadReport::ReturnStatus);
    return Integer{0};
  };
  const auto write = [&](const std::uint8_t* p, std::int64_t n) { return WriteAll(out->Handle(), p, n); };
  if (const Integer st = GCMDecryptVerified(gcm, start, expected, in.Reader, buf.Span(), reread, write)) return st;
  return out->Commit() ? 0 : error::kShortWrite;
}

// The checks before any file is touched: -201 empty paths, key or caller's IV; -204; -201 the
// IV bounds and tag sizes.
Integer CheckFileArguments(std::initializer_list<const string*> paths, const TBytes& key, const TBytes* IV,
                           Integer IVSizeBits, Integer tagSizeBits, bool decrypt) {
  for (const string* p : paths)
    if (p->empty()) return error::kBadArgument;
  if (key.empty() || (IV != nullptr && IV->empty())) return error::kBadArgument;
  if (tagSizeBits > 128) return error::kTagTooLong;
  if (IV != nullptr && (IVSizeBits <= 0 || !GCMBitsFit(IVSizeBits, IV->size()))) return error::kBadArgument;
  return GCMCheckTag(tagSizeBits, 16, decrypt);
}

std::span<const std::uint8_t> FirstBits(const TBytes& b, Integer bits) {
  return std::span<const std::uint8_t>(b).first(static_cast<std::size_t>(bits / 8));
}

}  // namespace

Integer TAESModes::GCM_EncryptFile(const string& inputFilePath, const string& additionalDataFilePath,
                                   const string& outputFilePath, const TBytes& gcmKey, Integer keySizeBits,
                                   const TBytes& IV, Integer IVSizeBits, const string& tagFilePath,
                                   Integer tagSizeBits) {
  if (const Integer st = CheckFileArguments({&inputFilePath, &additionalDataFilePath, &outputFilePath, &tagFilePath},
                                            gcmKey, &IV, IVSizeBits, tagSizeBits, false))
    return st;
  return EncryptFileJob({inputFilePath, additionalDataFilePath, outputFilePath, tagFilePath, gcmKey, 0,
                         FirstBits(IV, IVSizeBits), keySizeBits, tagSizeBits});
}

Integer TAESModes::GCM_EncryptFile_IVIn(const string& inputFilePath, const string& additionalDataFilePath,
                                        const string& outputFilePath, const TBytes& gcmKey, Integer keySizeBits,
                                        const string& tagFilePath, Integer tagSizeBits) {
  if (const Integer st = CheckFileArguments({&inputFilePath, &additionalDataFilePath, &outputFilePath, &tagFilePath},
                                            gcmKey, nullptr, 0, tagSizeBits, false))
    return st;
  return EncryptFileJob({inputFilePath,
                         additionalDataFilePath,
                         outputFilePath,
                         tagFilePath,
                         gcmKey,
                         0,
                         {},
                         keySizeBits,
                         tagSizeBits});
}

Integer TAESModes::GCM_DecryptFile(const string& inputFilePath, const string& additionalDataFilePath,
                                   const string& outputFilePath, const TBytes& gcmKey, Integer keySizeBits,
                                   const TBytes& IV, Integer IVSizeBits, const string& tagFilePath,
                                   Integer tagSizeBits) {
  if (const Integer st = CheckFileArguments({&inputFilePath, &additionalDataFilePath, &outputFilePath, &tagFilePath},
                                            gcmKey, &IV, IVSizeBits, tagSizeBits, true))
    return st;
  return DecryptFileJob({inputFilePath, additionalDataFilePath, outputFilePath, tagFilePath, gcmKey, 0,
                         FirstBits(IV, IVSizeBits), keySizeBits, tagSizeBits});
}

Integer TAESModes::GCM_DecryptFile_IVIn(const string& inputFilePath, const string& additionalDataFilePath,
                                        const string& outputFilePath, const TBytes& gcmKey, Integer keySizeBits,
                                        const string& tagFilePath, Integer tagSizeBits) {
  if (const Integer st = CheckFileArguments({&inputFilePath, &additionalDataFilePath, &outputFilePath, &tagFilePath},
                                            gcmKey, nullptr, 0, tagSizeBits, true))
    return st;
  return DecryptFileJob({inputFilePath,
                         additionalDataFilePath,
                         outputFilePath,
                         tagFilePath,
                         gcmKey,
                         0,
                         {},
                         keySizeBits,
                         tagSizeBits});
}

}  // namespace AESModes
