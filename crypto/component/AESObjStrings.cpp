// TAESEncryption's text operations: text to bytes with converters made for the call, the
// engine's buffer operations, bytes back to text. Every engine status becomes the operation error.
#include "crypto/component/AESObj.h"
#include "crypto/support/error.h"
#include "crypto/support/errorlist.h"
#include "platform/Memory.h"

namespace AESObj {

using MiscObj::TConvert;
using platform::TBytes;
using platform::TSecretBytes;

namespace {

// The cipher text size for L plain bytes: whole blocks (one more with padding), and the IV in
// front when it is random and the mode uses one.
std::size_t CipherSize(std::size_t L, bool padding, bool ivHeader) {
  return 16 * (L / 16 + (padding ? 1 : 0) + (ivHeader ? 1 : 0));
}

// Key and IV bytes: one byte per character, whatever the formats and Unicode say. A missing or
// short IV text is refused by the engine (-201), which never reads past these arrays.
TSecretBytes CharBytes(const string& text) { return TSecretBytes(TConvert::StringToByteArray(text, MiscObj::noUni)); }

// The key text must be exactly as long as keyLength asks for: a longer key kept after keyLength
// was lowered would be cut by the encryption but taken whole by the decryption. No key text at
// all is reported as emptyKey: -201 on encryption, as the engine reports an empty key or text,
// and -206 on decryption, which takes the key size from the key itself.
void CheckKeyText(const string& key, Integer keyLengthBits, Integer emptyKey) {
  if (key.empty()) throw errorlist::ESelvane(emptyKey);
  if (key.size() != static_cast<std::size_t>(keyLengthBits / 8)) throw errorlist::ESelvane(error::kBadKeySize);
}

}  // namespace

string TAESEncryption::Encrypt(const string& s) {
  // The empty text is -201 whatever the key text, as the engine checks emptiness before sizes.
  if (s.empty()) throw errorlist::ESelvane(error::kBadArgument);
  CheckKeyText(FKey, FKeyLengthNum, error::kBadArgument);
  TConvert input(FInputFormat), output(FOutputFormat);
  // Hexadecimal input is encrypted as the text it is; the other formats are decoded first.
  const string text = FInputFormat == MiscObj::hexa ? s : input.FormatToChar(s);
  const TBytes plain = TConvert::StringToByteArray(text, FUni);
  const bool ivHeader = FType != atECB && FIVMode == rand;
  TBytes cipher(CipherSize(plain.size(), FPaddingMode == PKCS7, ivHeader));
  const TSecretBytes key = CharBytes(FKey), iv = CharBytes(FIV);
  Integer size = 0;
  errorlist::RaiseIfError(FAESM->EncryptBinaryBuffer(plain, cipher, size, key.Value, FKeyLengthNum, FIVMode == rand,
                                                     iv.Value, FPaddingMode == PKCS7, FType));
  const string bytes = TConvert::TBytesToString(cipher);
  return FOutputFormat == MiscObj::raw ? bytes : output.CharToFormat(bytes);
}

Integer TAESEncryption::Decrypt(const string& s, string& o) {
  CheckKeyText(FKey, FKeyLengthNum, error::kBadKeySize);
  TConvert input(FInputFormat), output(FOutputFormat);
  const TSecretBytes key = CharBytes(FKey), iv = CharBytes(FIV);
  const string text = FInputFormat == MiscObj::raw ? s : input.FormatToChar(s);
  // The engine sizes its working buffer from the cipher text and trims to the plain length.
  string plain;
  errorlist::RaiseIfError(FAESM->DecryptString(text, plain, key.Value, FKeyLengthNum, FIVMode == rand, iv.Value,
                                               FPaddingMode == PKCS7, FType));
  // The decrypted text is read once more as text in the output format, then as UTF-8.
  if (FOutputFormat != MiscObj::raw) plain = output.FormatToChar(plain);
  if (FUni == MiscObj::yesUni) plain = TConvert::StringToUnicode(plain);
  o = std::move(plain);
  return 0;
}

string TAESEncryption::Decrypt(const string& s) {
  string o;
  Decrypt(s, o);
  return o;
}

}  // namespace AESObj
