// GCM on byte buffers and strings: each form checks its arguments, names its additional data,
// IV, data and output, and hands them to the one GCM computation.
#include <algorithm>
#include <cstring>
#include <span>

#include "crypto/engine/AESModes.h"
#include "crypto/engine/core/AESModesGCMCore.h"
#include "crypto/support/MiscObj.h"
#include "crypto/support/error.h"

namespace AESModes {

using namespace detail;
using Bytes = std::span<const std::uint8_t>;

namespace {

// One buffer operation, once its arguments have passed their checks.
struct TBufferJob {
  Bytes Key;
  Cardinal Nk = 0;
  Bytes AAD, IV, Data;
  std::uint8_t* Out = nullptr;  // Data.size() bytes
  std::span<std::uint8_t> Tag;  // encryption: the tag bytes to write
  Bytes Expected;               // decryption: the tag bytes to compare
};

// The one computation of every buffer form: key, IV, additional data, the data into job.Out, T.
Integer Run(const TBufferJob& job, bool encrypt, TCharArray16& T) {
  TScrubbedGCM key;
  if (const Integer st = key.Init(job.Key, job.Nk)) return st;
  TGCMMessage s;
  key.SetIV(s, job.IV);
  key.AddAAD(s, job.AAD.data(), job.AAD.size());
  if (encrypt)
    key.Encrypt(s, job.Data.data(), job.Out, job.Data.size());
  else
    key.Decrypt(s, job.Data.data(), job.Out, job.Data.size());
  key.Finish(s, T);
  return 0;
}

Integer Encrypt(const TBufferJob& job) {
  platform::TWiped<TCharArray16> T;
  if (const Integer st = Run(job, true, *T)) return st;
  std::copy_n(T->begin(), job.Tag.size(), job.Tag.begin());
  return 0;
}

// On a mismatch every plain byte written is overwritten with zeros before -200 is returned.
Integer Decrypt(const TBufferJob& job) {
  platform::TWiped<TCharArray16> T;
  if (const Integer st = Run(job, false, *T)) return st;
  if (GCMTagMatches(*T, job.Expected)) return 0;
  platform::SecureZero(job.Out, job.Data.size());
  return error::kTagMismatch;
}

bool AnyEmpty(std::initializer_list<std::size_t> sizes) {
  return std::any_of(sizes.begin(), sizes.end(), [](std::size_t n) { return n == 0; });
}

// The checks after the emptiness check, in their order: tag size, the bounds (-201), the key.
Integer CheckCommon(Integer tagSizeBits, std::size_t tagBytes, bool decrypt, bool boundsOK, Integer keySizeBits,
                    const TBytes& key, Cardinal& Nk) {
  if (tagSizeBits > 128) return error::kTagTooLong;
  if (!boundsOK) return error::kBadArgument;
  if (const Integer st = GCMCheckTag(tagSizeBits, tagBytes, decrypt)) return st;
  return GCMCheckKey(keySizeBits, key.size(), Nk);
}

// The caller's IV: IVSizeBits positive, whole bytes, within IV.
bool IVFits(const TBytes& IV, Integer IVSizeBits) { return IVSizeBits > 0 && GCMBitsFit(IVSizeBits, IV.size()); }

// A data length given by the caller: not negative and within its buffer.
bool LengthFits(Integer n, std::size_t bytes) { return n >= 0 && static_cast<std::size_t>(n) <= bytes; }

Bytes First(const TBytes& b, Integer bits) { return Bytes(b).first(static_cast<std::size_t>(bits / 8)); }

// The encryptions that write their cipher text in 16-byte blocks: the bytes after it, up to the
// end of its last block, become 0x00 as far as the output reaches.
void ZeroBlockTail(TBytes& out, std::size_t start, std::size_t n) {
  const std::size_t end = std::min(out.size(), start + (n + 15) / 16 * 16);
  if (start + n < end)
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(start + n), out.begin() + static_cast<std::ptrdiff_t>(end), 0);
}

std::span<std::uint8_t> TagOut(TBytes& tag, Integer tagSizeBits) {
  return std::span(tag).first(static_cast<std::size_t>(tagSizeBits / 8));
}

}  // namespace

Integer TAESModes::GCM_EncryptBinaryBuffer(const TBytes& inputBuffer, Integer inputSizeBytes,
                                           const TBytes& additionalDataBuffer, Integer adbSizeBits,
                                           TBytes& OutputBuffer, const TBytes& gcmKey, Integer keySizeBits,
                                           const TBytes& IV, Integer IVSizeBits, TBytes& tagBuffer,
                                           Integer tagSizeBits) {
  if (AnyEmpty({inputBuffer.size(), additionalDataBuffer.size(), OutputBuffer.size(), gcmKey.size(), IV.size(),
                tagBuffer.size()}))
    return error::kBadArgument;
  const bool bounds = LengthFits(inputSizeBytes, inputBuffer.size()) &&
                      LengthFits(inputSizeBytes, OutputBuffer.size()) &&
                      GCMBitsFit(adbSizeBits, additionalDataBuffer.size()) && IVFits(IV, IVSizeBits);
  TBufferJob job;
  if (const Integer st = CheckCommon(tagSizeBits, tagBuffer.size(), false, bounds, keySizeBits, gcmKey, job.Nk))
    return st;
  job.Key = gcmKey;
  job.AAD = First(additionalDataBuffer, adbSizeBits);
  job.IV = First(IV, IVSizeBits);
  job.Data = Bytes(inputBuffer).first(static_cast<std::size_t>(inputSizeBytes));
  job.Out = OutputBuffer.data();
  job.Tag = TagOut(tagBuffer, tagSizeBits);
  return Encrypt(job);
}

Integer TAESModes::GCM_EncryptBinaryBuffer_IVIn(const TBytes& inputBuffer, Integer /*all of inputBuffer is taken*/,
                                                const TBytes& additionalDataBuffer, Integer adbSizeBits,
                                                TBytes& OutputBuffer, const TBytes& gcmKey, Integer keySizeBits,
                                                TBytes& tagBuffer, Integer tagSizeBits) {
  if (AnyEmpty({gcmKey.size(), tagBuffer.size()})) return error::kBadArgument;
  const std::size_t n = inputBuffer.size();
  const bool bounds = OutputBuffer.size() >= kGCMIVBytes + n && GCMBitsFit(adbSizeBits, additionalDataBuffer.size());
  TBufferJob job;
  if (const Integer st = CheckCommon(tagSizeBits, tagBuffer.size(), false, bounds, keySizeBits, gcmKey, job.Nk))
    return st;
  std::uint8_t iv[kGCMIVBytes];
  if (const Integer st = GCMRandomIV(iv)) return st;
  std::copy_n(iv, kGCMIVBytes, OutputBuffer.begin());
  job.Key = gcmKey;
  job.AAD = First(additionalDataBuffer, adbSizeBits);
  job.IV = Bytes(iv);
  job.Data = inputBuffer;
  job.Out = OutputBuffer.data() + kGCMIVBytes;
  job.Tag = TagOut(tagBuffer, tagSizeBits);
  const Integer st = Encrypt(job);
  if (st == 0) ZeroBlockTail(OutputBuffer, kGCMIVBytes, n);
  return st;
}

Integer TAESModes::GCM_DecryptBinaryBuffer(const TBytes& inputBuffer, Integer inputSizeBytes,
                                           const TBytes& additionalDataBuffer, Integer adbSizeBits,
                                           TBytes& outputBuffer, const TBytes& gcmKey, Integer keySizeBits,
                                           const TBytes& IV, Integer IVSizeBits, const TBytes& tagBuffer,
                                           Integer tagSizeBits) {
  if (AnyEmpty({inputBuffer.size(), additionalDataBuffer.size(), outputBuffer.size(), gcmKey.size(), tagBuffer.size(),
                IV.size()}))
    return error::kBadArgument;
  const bool bounds = LengthFits(inputSizeBytes, inputBuffer.size()) &&
                      LengthFits(inputSizeBytes, outputBuffer.size()) &&
                      GCMBitsFit(adbSizeBits, additionalDataBuffer.size()) && IVFits(IV, IVSizeBits);
  TBufferJob job;
  if (const Integer st = CheckCommon(tagSizeBits, tagBuffer.size(), true, bounds, keySizeBits, gcmKey, job.Nk))
    return st;
  job.Key = gcmKey;
  job.AAD = First(additionalDataBuffer, adbSizeBits);
  job.IV = First(IV, IVSizeBits);
  job.Data = Bytes(inputBuffer).first(static_cast<std::size_t>(inputSizeBytes));
  job.Out = outputBuffer.data();
  job.Expected = First(tagBuffer, tagSizeBits);
  return Decrypt(job);
}

Integer TAESModes::GCM_DecryptBinaryBuffer_IVIn(const TBytes& inputBuffer, Integer inputSizeBytes,
                                                const TBytes& additionalDataBuffer, Integer adbSizeBits,
                                                TBytes& outputBuffer, const TBytes& gcmKey, Integer keySizeBits,
                                                const TBytes& tagBuffer, Integer tagSizeBits) {
  if (AnyEmpty({inputBuffer.size(), gcmKey.size(), tagBuffer.size()})) return error::kBadArgument;
  const bool bounds = LengthFits(inputSizeBytes, inputBuffer.size()) &&
                      inputSizeBytes >= static_cast<Integer>(kGCMIVBytes) &&
                      LengthFits(inputSizeBytes - static_cast<Integer>(kGCMIVBytes), outputBuffer.size()) &&
                      GCMBitsFit(adbSizeBits, additionalDataBuffer.size());
  TBufferJob job;
  if (const Integer st = CheckCommon(tagSizeBits, tagBuffer.size(), true, bounds, keySizeBits, gcmKey, job.Nk))
    return st;
  job.Key = gcmKey;
  job.AAD = First(additionalDataBuffer, adbSizeBits);
  job.IV = Bytes(inputBuffer).first(kGCMIVBytes);
  job.Data = Bytes(inputBuffer).subspan(kGCMIVBytes, static_cast<std::size_t>(inputSizeBytes) - kGCMIVBytes);
  job.Out = outputBuffer.data();
  job.Expected = First(tagBuffer, tagSizeBits);
  return Decrypt(job);
}

namespace {

// The string encryptions: the plain text is the low byte of every character; all of the
// additional data is taken; the IV is the caller's (IVSizeBits) or, when iv is null, drawn and
// written in front of the cipher text.
Integer GCMStringEncrypt(const string& inputString, const TBytes& aad, TBytes& out, const TBytes& key,
                         Integer keySizeBits, const TBytes* IV, Integer IVSizeBits, TBytes& tag, Integer tagSizeBits) {
  const std::size_t header = IV != nullptr ? 0 : kGCMIVBytes;
  if (AnyEmpty({inputString.size(), aad.size(), out.size(), key.size(), tag.size()}) || (IV != nullptr && IV->empty()))
    return error::kBadArgument;
  const bool bounds = out.size() >= header + inputString.size() && (IV == nullptr || IVFits(*IV, IVSizeBits));
  TBufferJob job;
  if (const Integer st = CheckCommon(tagSizeBits, tag.size(), false, bounds, keySizeBits, key, job.Nk)) return st;
  platform::TSecretBytes plain(MiscObj::TConvert::StringToByteArray(inputString));
  std::uint8_t iv[kGCMIVBytes];
  if (IV == nullptr) {
    if (const Integer st = GCMRandomIV(iv)) return st;
    std::copy_n(iv, kGCMIVBytes, out.begin());
  }
  job.Key = key;
  job.AAD = aad;
  job.IV = IV != nullptr ? First(*IV, IVSizeBits) : Bytes(iv);
  job.Data = plain.Value;
  job.Out = out.data() + header;
  job.Tag = TagOut(tag, tagSizeBits);
  const Integer st = Encrypt(job);
  if (st == 0) ZeroBlockTail(out, header, plain.Value.size());
  return st;
}

// The string decryptions: n plain bytes and one 0x00 behind them. With a null IV the IV is the
// first 12 bytes of the input.
Integer GCMStringDecrypt(const TBytes& input, Integer inputSizeBytes, const TBytes& aad, TBytes& out, const TBytes& key,
                         Integer keySizeBits, const TBytes* IV, Integer IVSizeBits, const TBytes& tag,
                         Integer tagSizeBits) {
  const std::size_t header = IV != nullptr ? 0 : kGCMIVBytes;
  if (AnyEmpty({input.size(), aad.size(), out.size(), key.size(), tag.size()}) || (IV != nullptr && IV->empty()))
    return error::kBadArgument;
  const bool lengthOK = LengthFits(inputSizeBytes, input.size()) && static_cast<std::size_t>(inputSizeBytes) >= header;
  const std::size_t n = lengthOK ? static_cast<std::size_t>(inputSizeBytes) - header : 0;
  const bool bounds = lengthOK && out.size() >= n + 1 && (IV == nullptr || IVFits(*IV, IVSizeBits));
  TBufferJob job;
  if (const Integer st = CheckCommon(tagSizeBits, tag.size(), true, bounds, keySizeBits, key, job.Nk)) return st;
  job.Key = key;
  job.AAD = aad;
  job.IV = IV != nullptr ? First(*IV, IVSizeBits) : Bytes(input).first(kGCMIVBytes);
  job.Data = Bytes(input).subspan(header, n);
  job.Out = out.data();
  job.Expected = First(tag, tagSizeBits);
  const Integer st = Decrypt(job);
  out[n] = 0x00;
  return st;
}

}  // namespace

Integer TAESModes::GCM_EncryptString(const string& inputString, const TBytes& additionalDataBuffer,
                                     TBytes& outputBuffer, const TBytes& gcmKey, Integer keySizeBits, const TBytes& IV,
                                     Integer IVSizeBits, TBytes& tagBuffer, Integer tagSizeBits) {
  return GCMStringEncrypt(inputString, additionalDataBuffer, outputBuffer, gcmKey, keySizeBits, &IV, IVSizeBits,
                          tagBuffer, tagSizeBits);
}

Integer TAESModes::GCM_EncryptString_IVIn(const string& inputString, const TBytes& additionalDataBuffer,
                                          TBytes& outputBuffer, const TBytes& gcmKey, Integer keySizeBits,
                                          TBytes& tagBuffer, Integer tagSizeBits) {
  return GCMStringEncrypt(inputString, additionalDataBuffer, outputBuffer, gcmKey, keySizeBits, nullptr, 0, tagBuffer,
                          tagSizeBits);
}

Integer TAESModes::GCM_DecryptString(const TBytes& inputBuffer, Integer inputSizeBytes,
                                     const TBytes& additionalDataBuffer, TBytes& outputString, const TBytes& gcmKey,
                                     Integer keySizeBits, const TBytes& IV, Integer IVSizeBits, const TBytes& tagBuffer,
                                     Integer tagSizeBits) {
  return GCMStringDecrypt(inputBuffer, inputSizeBytes, additionalDataBuffer, outputString, gcmKey, keySizeBits, &IV,
                          IVSizeBits, tagBuffer, tagSizeBits);
}

Integer TAESModes::GCM_DecryptString_IVIn(const TBytes& inputBuffer, Integer inputSizeBytes,
                                          const TBytes& additionalDataBuffer, TBytes& outputString,
                                          const TBytes& gcmKey, Integer keySizeBits, const TBytes& tagBuffer,
                                          Integer tagSizeBits) {
  return GCMStringDecrypt(inputBuffer, inputSizeBytes, additionalDataBuffer, outputString, gcmKey, keySizeBits, nullptr,
                          0, tagBuffer, tagSizeBits);
}

}  // namespace AESModes
