// TAESModes: ECB, CBC, OFB and CTR over streams, byte buffers, strings and files named by path.
#pragma once

#include <cstdint>
#include <memory>

#include "crypto/engine/AESCore.h"
#include "crypto/support/CryptBase.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"
#include "platform/Types.h"

namespace AESModes {

using platform::Cardinal;
using platform::Integer;
using platform::string;
using platform::TBytes;
using platform::TCharArray16;
using platform::TCharArray60_4;
using platform::TStream;

enum TAESType : std::uint8_t { atECB, atCBC, atOFB, atCTR };
enum TIVMode : std::uint8_t { rand, userdefined };
enum TPaddingMode : std::uint8_t { PKCS7, nopadding };

// Chunk sizes of the stream and the path-file operations (both multiples of 16).
inline constexpr Integer kStreamChunkSize = 160000;
inline constexpr Integer kFileChunkSize = 16000000;

class TAESModes : public CryptBase::TOrvoCryptBase {
 public:
  // ECB, random IV, PKCS7: the settings of every stream operation of the system.
  TAESModes();
  ~TAESModes() override;

  // --- Streams. Both streams are rewound to 0 and stay the caller's; the output is written
  // from position 0 and not truncated. Failures raise errorlist::ESelvane with the status
  // ("Invalid Operation : <code>"); a stream's own exception passes through.
  // Key: Nk = key length div 4 (a key of 0 or more than 35 bytes raises -206). With a mode
  // other than ECB and a caller's IV, IV must hold at least 16 bytes (else -201). A random IV is
  // drawn from the OS generator and written first; a failing generator raises its status.
  // The input is read for exactly its size as measured at the start (each read asks for at most
  // what remains, so an input that never ends cannot run the operation forever); an input that
  // ends sooner, or a read that fails, raises platform::EReadError (or the stream's own
  // exception): a truncated input is never a success.
  // Layout: [IV] blocks [E(last bytes + PKCS7 padding)]; 16 * (L div 16 + 1) bytes in ECB.
  void EncryptStream(TStream* s, TStream* o, const TBytes& key, const TBytes& IV);
  // Progress of the stream operations: called after each chunk with the input bytes done and
  // the input's size, and once more at the end; a false return cancels the operation, which
  // raises platform::EAbort("Operation cancelled") (the output stream keeps what was written).
  void SetChunkProgress(platform::TChunkProgress progress) { FChunkProgress = std::move(progress); }
  // Returns 0, or -208 when the padding check fails: the final plain block is accepted only when
  // its last byte k is 1 to 16 and its last k bytes all equal k, checked in constant time
  // (everything before that block is written; the stream is the caller's). A padded data part
  // shorter than one block, or not a whole number of blocks (no padded writer makes one: it is
  // damaged), writes nothing and returns -208; without padding an empty data part writes nothing
  // and returns 0. Reads as EncryptStream does.
  Integer DecryptStream(TStream* s, TStream* o, const TBytes& key, const TBytes& IV);

  // The stream operations' block steps: C / D from P / C under the schedule w, carrying the
  // chaining block IVc. An AType outside the four modes leaves C / D unwritten.
  void EncryptionLoop(const TCharArray16& P, TCharArray16& C, const TCharArray60_4& w, Integer Nk, TAESType AType,
                      TCharArray16& IVc);
  void DecryptionLoop(const TCharArray16& C, TCharArray16& D, const TCharArray60_4& w, Integer Nk, TAESType AType,
                      TCharArray16& IVc);

  // PKCS7: P[L..15] = 16 - L; bytes before L are kept; nothing is written for L >= 16. Returns 0.
  static Integer PadBlock(TCharArray16& P, Integer L);

  // --- Byte buffers and strings. Return a status, raise nothing. mode: 0 ECB, 1 CBC, 2 OFB,
  // 3 CTR. The output buffer is the caller's, sized by the caller and never resized.
  // Cipher text: [16-byte IV when IVIn and mode != 0] blocks [padded block]; L plain bytes give
  // h + 16 * (L div 16 + 1) bytes with padding, h + L without. IVIn false: the first 16 bytes
  // of IV are the IV (not read in ECB).
  //
  // Encryption, checks in this order: -211 no padding and L not a multiple of 16; -201 an empty
  // input, output or key, or an output shorter than the cipher text (nothing written); -201 a
  // caller IV shorter than 16 bytes; a failing random generator's own negative status; -206
  // keySizeBits not 128/192/256, or cbcKey shorter than keySizeBits / 8 bytes; -209 a mode
  // outside 0..3 (the random IV is already in place). outputSizeBytes is set on success only.
  Integer EncryptBinaryBuffer(const TBytes& inputBuffer, TBytes& outputBuffer, Integer& outputSizeBytes,
                              const TBytes& cbcKey, Integer keySizeBits, bool IVIn, const TBytes& IV, bool padding,
                              Integer mode);
  // Decryption of N bytes; the key size comes from Key's length (16/24/32, else -206), not from
  // keySizeBits. Checks in this order: -207 N not a multiple of 16 (in CTR only with padding);
  // -201 an empty input or output; -206; -212 IVIn in CTR with N < 16; -201 a caller IV
  // shorter than 16 bytes; -201 an output shorter than the data part N - h (the most it can
  // write; nothing written). With padding -208 when the padding check fails (last byte k not
  // 1..16, or one of the last k bytes not k; constant time; the blocks before it are written),
  // else outputSizeBytes = the plain length. Without padding
  // outputSizeBytes is not written: the plain text is the N - h bytes, a partial last CTR block
  // included. A cipher text that is only the IV returns 0 and writes nothing.
  Integer DecryptBinaryBuffer(const TBytes& inputBuffer, TBytes& outputBuffer, Integer& outputSizeBytes,
                              const TBytes& Key, Integer keySizeBits, bool IVIn, const TBytes& IV, bool padding,
                              Integer mode);
  // One byte per character of inputString (its low 8 bits), then EncryptBinaryBuffer.
  Integer EncryptString(const string& inputString, TBytes& outputBuffer, Integer& outputSizeBytes,
                        const TBytes& cbcKey, Integer keySizeBits, bool IVIn, const TBytes& IV, bool padding,
                        Integer mode);
  // DecryptBinaryBuffer on one byte per character of inputBuffer, with a working buffer as long
  // as the cipher text; on success outputString is the plain text, one character per byte,
  // exactly as long as it (with padding from outputSizeBytes, without it N - h). On a failure
  // outputString keeps its value.
  Integer DecryptString(const string& inputBuffer, string& outputString, const TBytes& cbcKey, Integer keySizeBits,
                        bool IVIn, const TBytes& IV, bool padding, Integer mode);

  // --- Files named by path (the output file must exist and be writable). Return a status,
  // raise nothing. Read in chunks of kFileChunkSize; V carries across chunks. Layout of S plain
  // bytes: [16-byte random IV when IVIn and mode != 0] the whole blocks in the mode [with
  // padding one final block E(P xor V), P = the last S mod 16 bytes + PKCS7 padding, in every
  // mode]. So it equals EncryptBinaryBuffer for ECB and CBC, and for OFB and CTR without padding.
  // The output is replaced whole or not at all (platform::TReplacingFile): on success it holds
  // exactly the new bytes (permission bits kept); on any failure, -208 included, it stays byte
  // for byte as it was and no temporary file remains. Input and output may be the same file.
  // The input must be a regular file (a device, FIFO, socket or directory gives -203, and
  // opening never blocks) and is read for exactly the size measured at the start: bytes
  // appended meanwhile are not read, and a read that fails, even after part of its bytes, or a
  // file that ends sooner gives -203. A write that writes fewer bytes than asked, or a
  // temporary file that cannot reach the disk, gives -213; a file that cannot be opened gives
  // -203.
  //
  // Encryption, checks in this order: -201 an empty path or a key not 16/24/32 bytes long;
  // -203; -211 no padding and S not a multiple of 16; the random generator's negative status;
  // -206 keySizeBits not 128/192/256 or Key shorter than keySizeBits / 8 (the random IV is then
  // already written); -209 a mode outside 0..3 once a whole block meets the block step.
  Integer EncryptFile(const string& inputFilePath, const string& outputFilePath, const TBytes& Key,
                      Integer keySizeBits, bool IVIn, const TCharArray16& IV, bool padding, Integer mode);
  // Reads what EncryptFile writes: V from the first 16 bytes when IVIn and mode != 0 (a shorter
  // file gives -212), else IV (zero in ECB). With padding the last 16 bytes are held back and
  // made P = D(C) xor V; -208 when the padding check fails (as DecryptBinaryBuffer; the output
  // is then left as it was), else its first 16 - (last byte) bytes are written. Checks in this order: -201 as above; -206; -203;
  // -211 no padding, mode not CTR, size not a multiple of 16; -207 padding and a size not a
  // multiple of 16. Without padding a partial last CTR block is decrypted like the others.
  Integer DecryptFile(const string& inputFilePath, const string& outputFilePath, const TBytes& cbcKey,
                      Integer keySizeBits, bool IVIn, const TCharArray16& IV, bool padding, Integer mode);

 protected:
  // Other stream settings; no public writer exists, so the system's objects stay ECB / PKCS7.
  TAESModes(TAESType AType, TIVMode IVMode, TPaddingMode PaddingMode);

 private:
  // One step of the mode for one block: 0, -209 for a mode outside 0..3 (C untouched), or the
  // block cipher's status.
  Integer EncryptBlock(const TCharArray16& P, TCharArray16& C, const TCharArray60_4& w, Integer Nk, TCharArray16& IV,
                       Integer mode);
  Integer DecryptBlock(const TCharArray16& C, TCharArray16& P, const TCharArray60_4& w, Integer Nk, TCharArray16& IV,
                       Integer mode);
  // Res = A xor B; A and B are read in full first, so Res may alias either.
  static void XorBlock(const TCharArray16& A, const TCharArray16& B, TCharArray16& Res);
  // Adds 1 to A as a 128-bit big-endian number (wrapping to zero). Returns 0.
  static Integer Increment128(TCharArray16& A);

  const TAESType FType;
  const TIVMode FIVMode;
  const TPaddingMode FPaddingMode;
  std::unique_ptr<AESCore::TAESCore> FAESEngine;
  platform::TChunkProgress FChunkProgress;
};

}  // namespace AESModes
