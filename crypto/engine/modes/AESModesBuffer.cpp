// Buffer and string operations: one call over a whole buffer, mode, IV handling and padding
// from the arguments. Whole blocks go through the keyed kernel in one bulk call (CryptBytes).
#include <algorithm>
#include <climits>
#include <span>

#include "crypto/engine/AESModes.h"
#include "crypto/engine/core/AESModesChunks.h"
#include "crypto/support/MiscObj.h"

namespace AESModes {

using namespace detail;
using MiscObj::TConvert;

namespace {

// Bytes an encryption of L bytes writes: the IV when carried, then the blocks (one more with
// padding).
std::size_t EncryptedSize(std::size_t L, bool ivHeader, bool padding) noexcept {
  return (ivHeader ? 16 : 0) + (padding ? L - L % 16 + 16 : L);
}

// The chaining block for a call: a fresh random IV, the caller's IV, or nothing in ECB.
Integer SetUpEncryptionIV(bool ivHeader, TMode mode, const TBytes& IV, TCharArray16& V) {
  if (ivHeader) return RandomIV(V);
  return UsesIV(mode) ? CallerIV(IV, V) : 0;
}

// Decrypts the padded last block C to out and sets size to its plain length.
Integer DecryptLastBlock(const TScrubbedKey& ks, const std::uint8_t* C, std::uint8_t* out, TCharArray16& V,
                         TMode mode, std::size_t at, Integer& size) {
  TCharArray16 c, P;
  std::copy_n(C, 16, c.begin());
  if (const Integer st = BlockStep(TDirection::Decrypt, ks, c, P, V, mode)) return st;
  std::size_t plain = 0;
  if (const Integer st = CheckPadding(P, plain)) return st;
  std::copy_n(P.begin(), plain, out);
  size = static_cast<Integer>(at + plain);
  return 0;
}

}  // namespace

Integer TAESModes::EncryptBinaryBuffer(const TBytes& inputBuffer, TBytes& outputBuffer, Integer& outputSizeBytes,
                                       const TBytes& cbcKey, Integer keySizeBits, bool IVIn, const TBytes& IV,
                                       bool padding, Integer modeNumber) {
  const TMode mode = NamedMode(modeNumber);
  const std::size_t L = inputBuffer.size();
  if (!padding && L % 16 != 0) return kNoPaddingLength;
  if (inputBuffer.empty() || outputBuffer.empty() || cbcKey.empty()) return kBadArgument;
  const bool ivHeader = CarriesIV(IVIn, mode);
  const std::size_t total = EncryptedSize(L, ivHeader, padding);
  // Nothing may be written past the caller's buffer, and outputSizeBytes must hold the size:
  // a buffer too short for the whole cipher text is refused before anything is written.
  if (outputBuffer.size() < total || total > INT32_MAX) return kBadArgument;
  TCharArray16 V{};
  // A short caller IV (-201) and a failing generator (its own status) end the call here.
  if (const Integer st = SetUpEncryptionIV(ivHeader, mode, IV, V)) return st;
  if (ivHeader) std::copy(V.begin(), V.end(), outputBuffer.begin());
  Cardinal Nk = 0;
  if (const Integer st = NkForKeySize(keySizeBits, Nk)) return st;
  TScrubbedKey ks;
  // A key shorter than keySizeBits / 8 bytes is refused by the expansion with -206.
  if (const Integer st = ks.Expand(cbcKey, Nk)) return st;
  std::uint8_t* out = outputBuffer.data() + (ivHeader ? 16 : 0);
  std::size_t written = 0;
  if (const Integer st = EncryptSpan(ks, inputBuffer.data(), L, out, V, mode, padding,
                                     [&](const TCharArray16& P, TCharArray16& C, TCharArray16& chain) {
                                       return BlockStep(TDirection::Encrypt, ks, P, C, chain, mode);
                                     },
                                     written))
    return st;
  outputSizeBytes = static_cast<Integer>(total);
  return 0;
}

Integer TAESModes::DecryptBinaryBuffer(const TBytes& inputBuffer, TBytes& outputBuffer, Integer& outputSizeBytes,
                                       const TBytes& Key, Integer /*keySizeBits: the key's length decides*/,
                                       bool IVIn, const TBytes& IV, bool padding, Integer modeNumber) {
  const TMode mode = NamedMode(modeNumber);
  const std::size_t N = inputBuffer.size();
  if (N % 16 != 0 && WholeBlocksOnly(mode, padding)) return kBadCipherLength;
  if (inputBuffer.empty() || outputBuffer.empty()) return kBadArgument;
  Cardinal Nk = 0;
  if (const Integer st = NkForKeyLength(Key.size(), Nk)) return st;
  const bool ivHeader = CarriesIV(IVIn, mode);
  TCharArray16 V{};
  if (ivHeader) {
    if (N < 16) return kShortIVCipher;  // a CTR cipher text too short to hold its IV
    std::copy_n(inputBuffer.begin(), 16, V.begin());
  } else if (UsesIV(mode)) {
    if (const Integer st = CallerIV(IV, V)) return st;
  }
  const std::size_t data = N - (ivHeader ? 16 : 0);
  // The most that can be written is the whole data part: a shorter buffer is refused first.
  if (outputBuffer.size() < data || data > INT32_MAX) return kBadArgument;
  TScrubbedKey ks;
  if (const Integer st = ks.Expand(Key, Nk, DecryptsWithInverse(mode))) return st;
  // Only an IV: a padded encryption always writes at least one block, so with padding this
  // cipher text is damaged; without padding the plain text is empty (outputSizeBytes untouched).
  if (data == 0) return padding ? kBadPadding : 0;
  const std::uint8_t* in = inputBuffer.data() + (ivHeader ? 16 : 0);
  const std::size_t body = padding ? data - 16 : data;
  // Without padding a partial last CTR block is decrypted with the keystream like the others.
  if (const Integer st = CryptBytes(TDirection::Decrypt, ks, in, data, outputBuffer.data(), body, V, mode))
    return st;
  if (!padding) return 0;  // the plain length is data, which the caller knows
  return DecryptLastBlock(ks, in + body, outputBuffer.data() + body, V, mode, body, outputSizeBytes);
}

Integer TAESModes::EncryptString(const string& inputString, TBytes& outputBuffer, Integer& outputSizeBytes,
                                 const TBytes& cbcKey, Integer keySizeBits, bool IVIn, const TBytes& IV, bool padding,
                                 Integer mode) {
  return EncryptBinaryBuffer(TConvert::StringToByteArray(inputString), outputBuffer, outputSizeBytes, cbcKey,
                             keySizeBits, IVIn, IV, padding, mode);
}

Integer TAESModes::DecryptString(const string& inputBuffer, string& outputString, const TBytes& cbcKey,
                                 Integer keySizeBits, bool IVIn, const TBytes& IV, bool padding, Integer mode) {
  const TBytes cipher = TConvert::StringToByteArray(inputBuffer);
  // The plain text is never longer than the cipher text.
  TBytes plain(cipher.size());
  Integer size = 0;  // stays 0 when the cipher text holds only the IV
  const Integer st = DecryptBinaryBuffer(cipher, plain, size, cbcKey, keySizeBits, IVIn, IV, padding, mode);
  if (st != 0) return st;  // outputString keeps its value after a failure
  if (!padding) size = static_cast<Integer>(cipher.size() - (CarriesIV(IVIn, NamedMode(mode)) ? 16 : 0));
  outputString = TConvert::ByteArrayToString(std::span(plain).first(static_cast<std::size_t>(size)));
  return 0;
}

}  // namespace AESModes
