// Files named by path: the shared chunk loops over platform file handles, in pieces of 1 MiB
// (kFilePieceSize). Layout: [IV] blocks [E(P xor V)], P the padded last bytes.
#include <algorithm>
#include <functional>
#include <optional>

#include "crypto/engine/AESModes.h"
#include "crypto/engine/core/AESModesChunks.h"
#include "platform/Files.h"
#include "platform/SysUtils.h"

namespace AESModes {

using namespace detail;
using platform::TFileAccess;
using platform::TFileHandle;
using platform::THandle;

namespace {

// The output handle as the sink of a chunk loop: a write that writes fewer bytes than asked
// gives kShortWrite, never success.
TChunkIO FileIO(TMeasuredInput& in, THandle out) {
  return {in,
          [out](const std::uint8_t* p, std::int64_t n) -> Integer {
            return platform::FileWrite(out, p, n) == n ? 0 : kShortWrite;
          },
          {}};
}

using TFileBody = std::function<Integer(const TChunkIO& io, std::int64_t inputSize)>;

// Opens the input for reading (a regular file only, never blocking) and checks that the output
// exists, or is a dangling link whose file is then created, and may be replaced (-203 when
// either fails, before anything is written; so is a link loop or a missing folder). body writes
// into a temporary file beside the output, which replaces the output only when body returns 0
// and the file reaches the disk (else kShortWrite). On any failure the output stays byte for
// byte and no temporary file remains. The input and output may be the same file (by any path):
// the input is read through its own handle, and its name gets the output only on success.
Integer RunOnFiles(const string& inputPath, const string& outputPath, const TFileBody& body) {
  const TFileHandle in(platform::FileOpen(inputPath, TFileAccess::Read));
  if (!in.Valid() || !platform::OutputFileExists(outputPath)) return kFileOpenFailed;
  // Read for exactly the size measured here: bytes appended meanwhile are not read, and a file
  // that fails or ends sooner (or whose size cannot be known) gives -203.
  TMeasuredInput input(in.Get(), TReadReport::ReturnStatus);
  if (const Integer st = input.Check()) return st;
  std::optional<platform::TReplacingFile> out;
  try {
    out.emplace(outputPath);
  } catch (const platform::EFOpenError&) {
    return kFileOpenFailed;
  }
  const Integer st = body(FileIO(input, out->Handle()), input.Size());
  if (st != 0) return st;
  return out->Commit() ? 0 : kShortWrite;
}

// The same between two handles the caller holds and closes: nothing is replaced or discarded.
Integer RunOnHandles(THandle inputHandle, THandle outputHandle, const TFileBody& body) {
  TMeasuredInput input(inputHandle, TReadReport::ReturnStatus);
  if (const Integer st = input.Check()) return st;
  return body(FileIO(input, outputHandle), input.Size());
}

// The chunk buffer: one piece, or for a smaller input just enough for it to arrive in one short
// read. The result is the same whatever the size.
std::size_t FileBufferSize(std::int64_t dataSize) {
  return static_cast<std::size_t>(std::min<std::int64_t>(kFilePieceSize, dataSize - dataSize % 16 + 16));
}

// The final block of the file layout, in every mode: C = E(P xor V), and its inverse.
Integer EncryptFinalBlock(const TScrubbedKey& ks, const TCharArray16& P, TCharArray16& C, const TCharArray16& V) {
  TCharArray16 chain = V;  // one CBC step, leaving V as it is
  ks.EncryptCBC(P.data(), C.data(), 1, chain.data());
  return 0;
}

Integer DecryptFinalBlock(const TScrubbedKey& ks, const TCharArray16& C, TCharArray16& P, const TCharArray16& V) {
  TCharArray16 chain = V;
  ks.DecryptCBC(C.data(), P.data(), 1, chain.data());
  return 0;
}

// Both files need a path, and the key must be 16, 24 or 32 bytes long (else -201).
Integer CheckFileArguments(const string& inputPath, const string& outputPath, const TBytes& key) {
  Cardinal Nk = 0;
  if (inputPath.empty() || outputPath.empty() || NkForKeyLength(key.size(), Nk) != 0) return kBadArgument;
  return 0;
}

// The path-file layout as a body of RunOnFiles or RunOnHandles (the arguments must outlive it).
TFileBody EncryptBody(const TBytes& Key, Integer keySizeBits, bool IVIn, const TCharArray16& IV, bool padding,
                      TMode mode) {
  return [&Key, keySizeBits, IVIn, &IV, padding, mode](const TChunkIO& io, std::int64_t size) -> Integer {
    if (!padding && size % 16 != 0) return kNoPaddingLength;
    TCharArray16 V{};  // ECB keeps sixteen zero bytes: its final block is E(P)
    if (CarriesIV(IVIn, mode)) {
      if (const Integer st = RandomIV(V)) return st;  // never a predictable IV
      if (const Integer st = io.Write(V.data(), 16)) return st;
    } else if (UsesIV(mode)) {
      V = IV;
    }
    Cardinal Nk = 0;
    if (const Integer st = NkForKeySize(keySizeBits, Nk)) return st;
    TScrubbedKey ks;
    // A key shorter than keySizeBits / 8 bytes is refused by the expansion with -206.
    if (const Integer st = ks.Expand(Key, Nk)) return st;
    TChunkBuffer buf(FileBufferSize(size));
    return EncryptChunks(io, buf, ks, V, mode, padding,
                         [&ks](const TCharArray16& P, TCharArray16& C, TCharArray16& chain) {
                           return EncryptFinalBlock(ks, P, C, chain);
                         });
  };
}

TFileBody DecryptBody(const TBytes& cbcKey, Cardinal Nk, bool IVIn, const TCharArray16& IV, bool padding, TMode mode) {
  return [&cbcKey, Nk, IVIn, &IV, padding, mode](const TChunkIO& io, std::int64_t size) -> Integer {
    if (!padding && WholeBlocksOnly(mode, padding) && size % 16 != 0) return kNoPaddingLength;
    // Padded cipher text is whole blocks; anything else was not made by EncryptFile.
    if (padding && size % 16 != 0) return kBadCipherLength;
    TScrubbedKey ks;
    // The padded final block is deciphered as one CBC block in every mode.
    if (const Integer st = ks.Expand(cbcKey, Nk, padding || DecryptsWithInverse(mode))) return st;
    const bool ivHeader = CarriesIV(IVIn, mode);
    TCharArray16 V{};
    if (ivHeader) {
      const std::int64_t r = io.In.Read(V.data(), 16);
      if (r < 0) return static_cast<Integer>(r);
      if (r < 16) return kShortIVCipher;
    } else if (UsesIV(mode)) {
      V = IV;
    }
    const std::int64_t dataSize = size - (ivHeader ? 16 : 0);
    TChunkBuffer buf(FileBufferSize(dataSize));
    // Without padding a partial last CTR block is decrypted with the keystream like the others.
    return DecryptChunks(io, buf, ks, V, mode, padding, dataSize,
                         [&ks](const TCharArray16& C, TCharArray16& P, TCharArray16& chain) {
                           return DecryptFinalBlock(ks, C, P, chain);
                         });
  };
}

}  // namespace

Integer TAESModes::EncryptFile(const string& inputFilePath, const string& outputFilePath, const TBytes& Key,
                               Integer keySizeBits, bool IVIn, const TCharArray16& IV, bool padding,
                               Integer modeNumber) {
  // The output's commit runs after the key holder's scrub, and what it leaves (a register save
  // when a function is first resolved) lies above it: scrub again on the way out.
  const platform::TStackScrub scrub;
  const TMode mode = NamedMode(modeNumber);
  if (const Integer st = CheckFileArguments(inputFilePath, outputFilePath, Key)) return st;
  return RunOnFiles(inputFilePath, outputFilePath, EncryptBody(Key, keySizeBits, IVIn, IV, padding, mode));
}

Integer TAESModes::DecryptFile(const string& inputFilePath, const string& outputFilePath, const TBytes& cbcKey,
                               Integer keySizeBits, bool IVIn, const TCharArray16& IV, bool padding,
                               Integer modeNumber) {
  const platform::TStackScrub scrub;
  const TMode mode = NamedMode(modeNumber);
  if (const Integer st = CheckFileArguments(inputFilePath, outputFilePath, cbcKey)) return st;
  Cardinal Nk = 0;
  if (const Integer st = NkForKeySize(keySizeBits, Nk)) return st;
  return RunOnFiles(inputFilePath, outputFilePath, DecryptBody(cbcKey, Nk, IVIn, IV, padding, mode));
}

Integer TAESModes::EncryptFileHandles(THandle input, THandle output, const TBytes& Key, Integer keySizeBits,
                                      bool IVIn, const TCharArray16& IV, bool padding, Integer modeNumber) {
  const platform::TStackScrub scrub;
  const TMode mode = NamedMode(modeNumber);
  Cardinal Nk = 0;
  if (NkForKeyLength(Key.size(), Nk) != 0) return kBadArgument;
  return RunOnHandles(input, output, EncryptBody(Key, keySizeBits, IVIn, IV, padding, mode));
}

Integer TAESModes::DecryptFileHandles(THandle input, THandle output, const TBytes& cbcKey, Integer keySizeBits,
                                      bool IVIn, const TCharArray16& IV, bool padding, Integer modeNumber) {
  const platform::TStackScrub scrub;
  const TMode mode = NamedMode(modeNumber);
  Cardinal Nk = 0;
  if (NkForKeyLength(cbcKey.size(), Nk) != 0) return kBadArgument;
  if (const Integer st = NkForKeySize(keySizeBits, Nk)) return st;
  return RunOnHandles(input, output, DecryptBody(cbcKey, Nk, IVIn, IV, padding, mode));
}

}  // namespace AESModes
