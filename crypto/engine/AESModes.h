// TAESModes: ECB, CBC, OFB and CTR over streams, byte buffers, strings and files named by path.
#pragma once

#include <cstdint>
#include <memory>

#include "crypto/engine/AESCore.h"
#include "crypto/support/CryptBase.h"
#include "platform/Streams.h"
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
  // Layout: [IV] blocks [E(last bytes + PKCS7 padding)]; 16 * (L div 16 + 1) bytes in ECB.
  void EncryptStream(TStream* s, TStream* o, const TBytes& key, const TBytes& IV);
  // Returns 0, or -208 when the last byte of the final block exceeds 16 (everything before that
  // block is written). A padded data part shorter than one block writes nothing and returns
  // -208; without padding an empty data part writes nothing and returns 0.
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
  Integer EncryptBinaryBuffer(const TBytes& inputBuffer, TBytes& outputBuffer, Integer& outputSizeBytes,
                              const TBytes& cbcKey, Integer keySizeBits, bool IVIn, const TBytes& IV, bool padding,
                              Integer mode);
  Integer DecryptBinaryBuffer(const TBytes& inputBuffer, TBytes& outputBuffer, Integer& outputSizeBytes,
                              const TBytes& Key, Integer keySizeBits, bool IVIn, const TBytes& IV, bool padding,
                              Integer mode);
  Integer EncryptString(const string& inputString, TBytes& outputBuffer, Integer& outputSizeBytes,
                        const TBytes& cbcKey, Integer keySizeBits, bool IVIn, const TBytes& IV, bool padding,
                        Integer mode);
  Integer DecryptString(const string& inputBuffer, string& outputString, const TBytes& cbcKey, Integer keySizeBits,
                        bool IVIn, const TBytes& IV, bool padding, Integer mode);

  // --- Files named by path (the output file must exist). Return a status, raise nothing.
  Integer EncryptFile(const string& inputFilePath, const string& outputFilePath, const TBytes& Key,
                      Integer keySizeBits, bool IVIn, const TCharArray16& IV, bool padding, Integer mode);
  Integer DecryptFile(const string& inputFilePath, const string& outputFilePath, const TBytes& cbcKey,
                      Integer keySizeBits, bool IVIn, const TCharArray16& IV, bool padding, Integer mode);

 protected:
  // Other stream settings; no public writer exists, so the system's objects stay ECB / PKCS7.
  TAESModes(TAESType AType, TIVMode IVMode, TPaddingMode PaddingMode);

  TAESType StreamType() const noexcept { return FType; }

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
};

}  // namespace AESModes
