// TAESModes: ECB, CBC, OFB and CTR over streams, byte buffers, strings and files named by path;
// AES-GCM over buffers, strings, files and streams; AES-CMAC over the same four.
#pragma once

#include <cstdint>
#include <memory>

#include "crypto/engine/AESCore.h"
#include "crypto/support/CryptBase.h"
#include "platform/Files.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"
#include "platform/Types.h"

namespace AESModes {

using platform::Cardinal;
using platform::Integer;
using platform::string;
using platform::TBytes;
using platform::TCharArray16;
using platform::TCharArray16_256_16;
using platform::TCharArray60_4;
using platform::TStream;

enum TAESType : std::uint8_t { atECB, atCBC, atOFB, atCTR };
enum TIVMode : std::uint8_t { rand, userdefined };
enum TPaddingMode : std::uint8_t { PKCS7, nopadding };

// The stream operations read in chunks of kStreamChunkSize (a multiple of 16). kFileChunkSize is
// the chunk of the path-file layout's description; the path-file operations read and write it in
// pieces of 1 MiB, which gives the same bytes (V carries from piece to piece).
inline constexpr Integer kStreamChunkSize = 160000;
inline constexpr Integer kFileChunkSize = 16000000;

class TAESModes : public CryptBase::TOrvoCryptBase {
 public:
  // ECB, random IV, PKCS7: the settings of every stream operation of every object.
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
  // Without padding (mode other than CTR) a cipher text whose own length, less its IV, is not a
  // whole number of blocks raises -211 before anything is read or written. It is the cipher
  // text's length that is checked, not the output stream's size as found at the start: that
  // size says nothing about the input, and a partial block would decrypt into meaningless bytes.
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
  // included. A cipher text that is only the IV writes nothing and returns -208 with padding (a
  // padded encryption always writes a block), 0 without.
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

  // --- Files named by path (the output file must exist and be writable, or be a dangling
  // link, whose file is then created; a link loop or a missing folder is -203). Return a status,
  // raise nothing. Read in pieces of 1 MiB; V carries across pieces. Layout of S plain
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
  // The same layouts between two handles the caller opened, holds and closes: input is a regular
  // file read from position 0 for exactly its size at the start, output receives the bytes at
  // its current position. Nothing is replaced or discarded: a caller that must not show a
  // partial output writes into a file of its own (an unnamed temporary or a
  // platform::TReplacingFile) and keeps it only on 0. Statuses and their order as above, less
  // the path checks: -201 a key not 16/24/32 bytes long, then the rest.
  Integer EncryptFileHandles(platform::THandle input, platform::THandle output, const TBytes& Key,
                             Integer keySizeBits, bool IVIn, const TCharArray16& IV, bool padding, Integer mode);
  Integer DecryptFileHandles(platform::THandle input, platform::THandle output, const TBytes& cbcKey,
                             Integer keySizeBits, bool IVIn, const TCharArray16& IV, bool padding, Integer mode);

  // --- GCM primitives. Blocks are elements of GF(2^128), bit 0 the top bit of byte 0; the field
  // polynomial is x^128 + x^7 + x^2 + x + 1. The forms below run the shared GCM computation on
  // the GHASH kernels instead, with the same results.
  // Res = X * Y. Returns 0. Res may alias X or Y.
  static Integer MultGCM(const TCharArray16& X, const TCharArray16& Y, TCharArray16& Res);
  // M[i][b] = H * (the block with byte i = b, the others 0). Returns 0.
  static Integer PrecomputeM(const TCharArray16& H, TCharArray16_256_16& M);
  // res = X * H through the table of H. Returns 0.
  static Integer MultGCM2(const TCharArray16& X, TCharArray16& res, const TCharArray16_256_16& M);
  // X = (X xor C) * H, bitwise or through the table. Return 0.
  static Integer PartCGHASH(const TCharArray16& H, const TCharArray16& C, TCharArray16& X);
  static Integer PartCGHASH2(const TCharArray16& C, TCharArray16& X, const TCharArray16_256_16& M);
  // GHASH of the first nbbitsA div 8 bytes of auth into X, the last block zero-padded; nbbitsA
  // below 8 hashes nothing. Returns 0, or -201 (X untouched) when auth holds fewer bytes.
  static Integer PartAGHASHBuffer(const TCharArray16& H, const TBytes& auth, TCharArray16& X, Integer nbbitsA);
  // res = 0^32 || lenA (32-bit BE) || 0^32 || lenC (32-bit BE), the bit patterns of both values.
  // The GCM forms use 64-bit counts instead. Returns 0.
  static Integer ConcatlenAlenC(Integer lenA, Integer lenC, TCharArray16& res);
  // Adds 1 modulo 2^32 to bytes 12..15 (big-endian); bytes 0..11 never change. Returns 0.
  static Integer Increment32(TCharArray16& A);
  // The leftmost B bits of X into res (a last partial byte keeps only its top bits, later bytes
  // of res are left as they are). B = 0 writes nothing and returns 0; B < 0 or B > 128 writes
  // nothing and returns -210.
  static Integer MSB(Integer B, const TCharArray16& X, TCharArray16& res);

  // The stream forms' block steps: Y = inc32(Y); C = E(Y) xor P (D = E(Y) xor C); tag2 =
  // (tag2 xor cipher block) * H, bitwise or through the table. A failing step raises its status.
  void GCMEncryptionLoop(TCharArray16& Y, TCharArray16& C, const TCharArray60_4& w, Integer Nk,
                         const TCharArray16& P, const TCharArray16& H, TCharArray16& tag2);
  void GCMEncryptionLoop(TCharArray16& Y, TCharArray16& C, const TCharArray60_4& w, Integer Nk,
                         const TCharArray16& P, TCharArray16& tag2, const TCharArray16_256_16& M);
  void GCMDecryptionLoop(TCharArray16& Y, TCharArray16& D, const TCharArray60_4& w, Integer Nk,
                         const TCharArray16& C, const TCharArray16& H, TCharArray16& tag2);
  void GCMDecryptionLoop(TCharArray16& Y, TCharArray16& D, const TCharArray60_4& w, Integer Nk,
                         const TCharArray16& C, TCharArray16& tag2, const TCharArray16_256_16& M);

  // --- GCM on byte buffers and strings. Return a status, raise nothing. Every data, IV and
  // additional-data length is in whole bytes; lengths are 64-bit inside, so tags are the
  // standard GCM tags at any size. Encryption writes the first tagSizeBits div 8 bytes of the
  // tag; decryption compares that many bytes of tagBuffer in constant time and, on -200,
  // overwrites every plain byte it wrote with zeros, so no unauthenticated plain text is left.
  // Checks, in this order (nothing is written before they pass):
  //   -201 an input listed as required is empty;
  //   -204 tagSizeBits above 128;
  //   -201 a bound: a data length (inputSizeBytes) negative or above its buffer; adbSizeBits
  //        negative, not a multiple of 8, or above the buffer; IVSizeBits not positive, not a
  //        multiple of 8, or above the IV buffer; an output or tag buffer shorter than what is
  //        written; a negative tagSizeBits; decryption with tagSizeBits below 8 (it would
  //        accept any cipher text); an _IVIn cipher text shorter than 12 bytes;
  //   -206 keySizeBits not 128, 192 or 256, or gcmKey shorter than keySizeBits / 8;
  //   the random generator's negative status (_IVIn encryption: never a predictable IV);
  //   -200 decryption: the tag differs.
  // Required non-empty: gcmKey and tagBuffer always; the caller's-IV forms also their input,
  // output, additional data and IV; the string _IVIn forms their input, output and additional
  // data; GCM_DecryptBinaryBuffer_IVIn its input.
  // Layouts: caller's IV C (n bytes); _IVIn IV (12) || C; the string decryptions write the n
  // plain bytes and one 0x00. The encryptions of the _IVIn and string forms also set the bytes
  // after the cipher text, up to the end of its last 16-byte block, to 0x00 as far as the
  // output reaches.
  Integer GCM_EncryptBinaryBuffer(const TBytes& inputBuffer, Integer inputSizeBytes, const TBytes& additionalDataBuffer,
                                  Integer adbSizeBits, TBytes& OutputBuffer, const TBytes& gcmKey, Integer keySizeBits,
                                  const TBytes& IV, Integer IVSizeBits, TBytes& tagBuffer, Integer tagSizeBits);
  // Data: all of inputBuffer (inputSizeBytes is not used).
  Integer GCM_EncryptBinaryBuffer_IVIn(const TBytes& inputBuffer, Integer inputSizeBytes,
                                       const TBytes& additionalDataBuffer, Integer adbSizeBits, TBytes& OutputBuffer,
                                       const TBytes& gcmKey, Integer keySizeBits, TBytes& tagBuffer,
                                       Integer tagSizeBits);
  Integer GCM_DecryptBinaryBuffer(const TBytes& inputBuffer, Integer inputSizeBytes, const TBytes& additionalDataBuffer,
                                  Integer adbSizeBits, TBytes& outputBuffer, const TBytes& gcmKey, Integer keySizeBits,
                                  const TBytes& IV, Integer IVSizeBits, const TBytes& tagBuffer, Integer tagSizeBits);
  // IV = inputBuffer[0..11], C = inputBuffer[12..inputSizeBytes-1].
  Integer GCM_DecryptBinaryBuffer_IVIn(const TBytes& inputBuffer, Integer inputSizeBytes,
                                       const TBytes& additionalDataBuffer, Integer adbSizeBits, TBytes& outputBuffer,
                                       const TBytes& gcmKey, Integer keySizeBits, const TBytes& tagBuffer,
                                       Integer tagSizeBits);
  // Plain text: the low 8 bits of every character; additional data: all of additionalDataBuffer.
  Integer GCM_EncryptString(const string& inputString, const TBytes& additionalDataBuffer, TBytes& outputBuffer,
                            const TBytes& gcmKey, Integer keySizeBits, const TBytes& IV, Integer IVSizeBits,
                            TBytes& tagBuffer, Integer tagSizeBits);
  Integer GCM_EncryptString_IVIn(const string& inputString, const TBytes& additionalDataBuffer, TBytes& outputBuffer,
                                 const TBytes& gcmKey, Integer keySizeBits, TBytes& tagBuffer, Integer tagSizeBits);
  Integer GCM_DecryptString(const TBytes& inputBuffer, Integer inputSizeBytes, const TBytes& additionalDataBuffer,
                            TBytes& outputString, const TBytes& gcmKey, Integer keySizeBits, const TBytes& IV,
                            Integer IVSizeBits, const TBytes& tagBuffer, Integer tagSizeBits);
  Integer GCM_DecryptString_IVIn(const TBytes& inputBuffer, Integer inputSizeBytes,
                                 const TBytes& additionalDataBuffer, TBytes& outputString, const TBytes& gcmKey,
                                 Integer keySizeBits, const TBytes& tagBuffer, Integer tagSizeBits);

  // --- GCM on files named by path. Return a status; the one thing they raise is below. Data,
  // additional data and tag each have their own file. The output and tag files must exist (or
  // be dangling links, whose files are then created); they are replaced whole or not at all: on
  // any failure, -200 included, neither changes and no temporary file stays. Decryption hashes
  // the whole cipher text first and decrypts only after the tag matched.
  // Checks, in this order: -201 an empty path, key or IV (caller's-IV forms); -204 tagSizeBits
  // above 128; -201 a bound as for buffers (IV, IVSizeBits, tag sizes); -203 the input, output
  // or tag file cannot be opened; -206 key size; an additional-data file that cannot be opened
  // raises the file streams' platform::EFOpenError (naming the file and the reason), after the
  // input, output and tag files are closed and the temporary files discarded; -201 data above
  // 2^36 - 32 bytes or an _IVIn cipher file shorter than 12 bytes; the random generator's
  // status; then -203 a failed or short read (the input is read for exactly the size found at
  // the start), -213 a failed write or replacement, -200 a tag mismatch.
  Integer GCM_EncryptFile(const string& inputFilePath, const string& additionalDataFilePath,
                          const string& outputFilePath, const TBytes& gcmKey, Integer keySizeBits, const TBytes& IV,
                          Integer IVSizeBits, const string& tagFilePath, Integer tagSizeBits);
  Integer GCM_EncryptFile_IVIn(const string& inputFilePath, const string& additionalDataFilePath,
                               const string& outputFilePath, const TBytes& gcmKey, Integer keySizeBits,
                               const string& tagFilePath, Integer tagSizeBits);
  // The expected tag is the first tagSizeBits div 8 bytes of the tag file (a shorter tag file
  // fails the comparison).
  Integer GCM_DecryptFile(const string& inputFilePath, const string& additionalDataFilePath,
                          const string& outputFilePath, const TBytes& gcmKey, Integer keySizeBits, const TBytes& IV,
                          Integer IVSizeBits, const string& tagFilePath, Integer tagSizeBits);
  Integer GCM_DecryptFile_IVIn(const string& inputFilePath, const string& additionalDataFilePath,
                               const string& outputFilePath, const TBytes& gcmKey, Integer keySizeBits,
                               const string& tagFilePath, Integer tagSizeBits);

  // --- GCM on streams. Every stream is processed from position 0; outputs are written from 0.
  // Key: 16, 24 or 32 bytes (else -206). IV: the first 12 bytes of IVBytes; an empty IVBytes
  // draws 12 random bytes that go in front of the cipher text (decryption reads them from
  // there). Raised as the operation error: -201 a nil input, output or tag stream, an IVBytes
  // of 1 to 11 bytes, data above 2^36 - 32 bytes, a cipher stream shorter than its IV, or
  // decryption with tagSizeBits below 8; -204 tagSizeBits above 128; -206; -203 a stream that
  // ends before its size; the random generator's status. The key schedule, H and the counter
  // blocks are wiped on every exit. The tag stream receives all 16 tag bytes.
  void EncryptAndGenerateFromStream(TStream* inputStream, TStream* outputStream, TStream* addDataStream,
                                    TStream* tagStream, const TBytes& key, const TBytes& IVBytes);
  // Reads the input twice: first only hashing it, then, when the first tagSizeBits div 8 bytes of
  // tagStream match (constant time), decrypting it. Returns 0, or -200 with nothing written.
  // When the second pass fails (-200 because the input changed between the passes, or a read
  // or write that raises), what it wrote is overwritten with zeros, the output is cut back to
  // its earlier size and its position restored. An output stream that cannot change its size
  // (SetSize raises) keeps the length it grew to, every byte the pass wrote zeroed.
  Integer DecryptAndVerifyFromStream(TStream* inputStream, TStream* outputStream, TStream* addDataStream,
                                     TStream* tagStream, const TBytes& key, const TBytes& IVBytes, Integer tagSizeBits);

  // --- CMAC (the cipher-based MAC with subkeys K1, K2 and the constant 0x87). The buffer, file
  // and string forms return a status and raise nothing; the stream forms raise the operation
  // error. Key: the first keySizeBits / 8 bytes of macKey (keySizeBits 128, 192 or 256). Tag:
  // the first tagSizeBits bits (0..128) of the 16-byte CMAC, as MSB gives them.
  //
  // Generation writes the first ceil(tagSizeBits / 8) bytes of tagBuffer (a last partial byte
  // keeps only the tag's top bits) and leaves the rest of it as it was; tagSizeBits 0 writes
  // nothing. Checks, in this order, with nothing written before they pass:
  //   -201 an empty inputBuffer, tagBuffer or macKey (the file form: an empty path first);
  //   -203 (file form) the file cannot be opened or sized;
  //   -206 keySizeBits not 128, 192 or 256, or macKey shorter than keySizeBits / 8 bytes;
  //   -210 tagSizeBits negative or above 128;
  //   -201 tagBuffer shorter than ceil(tagSizeBits / 8) bytes;
  //   -203 (file form) a read fails or the file ends before the size measured at the start, so
  //        no tag is ever made over fewer bytes than the file holds.
  // The file is read once, in pieces of 1 MiB, and closed on every path.
  Integer MAC_GenerationBinaryBuffer(const TBytes& inputBuffer, const TBytes& macKey, Integer keySizeBits,
                                     TBytes& tagBuffer, Integer tagSizeBits);
  Integer MAC_GenerationFile(const string& inputFilePath, const TBytes& macKey, Integer keySizeBits, TBytes& tagBuffer,
                             Integer tagSizeBits);
  // Verification: 0 when the first tagSizeBits div 8 bytes of tagBuffer equal those of the
  // message's tag (compared in constant time; the low bits of a last partial byte are not
  // compared), else -205. Checks first: -201 an empty message (buffer, string, or path of the
  // file form), macKey or tagBuffer; -201 tagSizeBits 0 to 7, which would compare nothing and
  // accept any tag; then those of the generation (-203 file, -206, -210, -201 a tagBuffer
  // shorter than ceil(tagSizeBits / 8)). The string form's message is the low byte of every
  // character of inputString; inputSizeBytes is not used.
  Integer MAC_VerificationBinaryBuffer(const TBytes& inputBuffer, const TBytes& macKey, Integer keySizeBits,
                                       const TBytes& tagBuffer, Integer tagSizeBits);
  Integer MAC_VerificationFile(const string& inputFilePath, const TBytes& macKey, Integer keySizeBits,
                               const TBytes& tagBuffer, Integer tagSizeBits);
  Integer MAC_VerificationString(const string& inputString, Integer inputSizeBytes, const TBytes& macKey,
                                 Integer keySizeBits, const TBytes& tagBuffer, Integer tagSizeBits);
  // The 16-byte tag of the whole stream (rewound to 0 first, left at its end), one character per
  // byte. The AES variant comes from key's length: 16, 24 or 32 bytes, anything else raises
  // -206. Raises -201 for a nil stream and -203 when the stream ends before its size; a
  // stream's own exception passes through. Read in chunks of kStreamChunkSize.
  string GenerateFromStream(TStream* s, const TBytes& key);
  // 0 when t is exactly the stream's 16-character tag (compared in constant time), else -205.
  // Raises as GenerateFromStream does.
  Integer VerifyFromStream(TStream* s, const string& t, const TBytes& key);

 protected:
  // Other stream settings; no public writer exists, so every object stays ECB / PKCS7.
  TAESModes(TAESType AType, TIVMode IVMode, TPaddingMode PaddingMode);

 private:
  // The block steps, XorBlock, Increment128, PartAGHASHStream, ComputeJ0, ShiftLeft and
  // SubkeyGenerationCMAC_aesmode have no member here: the engine's core/ does their work once.

  // GCM helpers: bit i of A (byte i div 8, mask 1 shl (7 - i mod 8)); A shifted right by one bit
  // as a 128-bit big-endian number (returns 0).
  static bool TestBit(const TCharArray16& A, Integer i);
  static Integer ShiftRight(TCharArray16& A);
  // The tag of the string's low bytes into the 16-byte tag (MSB of tagSizeBits bits); checks
  // as MAC_GenerationBinaryBuffer, without a tag buffer.
  Integer MAC_GenerationString(const string& inputString, const TBytes& macKey, Integer keySizeBits,
                               TCharArray16& tag, Integer tagSizeBits);

  const TAESType FType;
  const TIVMode FIVMode;
  const TPaddingMode FPaddingMode;
  std::unique_ptr<AESCore::TAESCore> FAESEngine;
  platform::TChunkProgress FChunkProgress;
};

}  // namespace AESModes
