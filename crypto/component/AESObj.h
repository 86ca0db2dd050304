// TAESEncryption: the non-visual AES component. Published properties configure it; its stream
// and file operations drive the engine's stream operations, its string operations the buffer
// operations.
#pragma once

#include <cstdint>
#include <memory>

#include "crypto/engine/AESModes.h"
#include "crypto/support/CryptBase.h"
#include "crypto/support/MiscObj.h"
#include "platform/Classes.h"
#include "platform/Streams.h"

namespace AESObj {

using MiscObj::TConvertType;
using MiscObj::TUnicode;
using platform::Integer;
using platform::string;
using platform::TNotifyEvent;
using platform::TStream;

enum TAESKeyLength : std::uint8_t { kl128, kl192, kl256 };
// The same names and values as the engine's.
enum TAESType : std::uint8_t { atECB, atCBC, atOFB, atCTR };
enum TIVMode : std::uint8_t { rand, userdefined };
enum TPaddingMode : std::uint8_t { PKCS7, nopadding };

class TAESEncryption : public CryptBase::TOrvoCryptBase {
 public:
  // The constructor a stored description uses: kl128, atCBC, PKCS7, raw in and out, rand IV,
  // yesUni, no key or IV text, Progress 0, no OnChange.
  explicit TAESEncryption(platform::TComponent* AOwner);
  TAESEncryption();
  // The key text is checked against keyLength; a bad length raises errorlist::ESelvane and no
  // component results. inputFormat raw, IVMode rand.
  TAESEncryption(TAESKeyLength keyLength, const string& key, TAESType AType, TPaddingMode paddingMode,
                 TConvertType outputFormat, TUnicode uni);
  // IVMode userdefined; the IV text must have 16 characters.
  TAESEncryption(TAESKeyLength keyLength, const string& key, TAESType AType, TPaddingMode paddingMode,
                 TConvertType inputFormat, TConvertType outputFormat, TUnicode uni, const string& IV);
  // Replaces the key text by keyLength / 8 NUL characters (wiping the old text) before release.
  ~TAESEncryption() override;

  // Published properties, in declaration order after the inherited Version.
  TAESKeyLength keyLength() const noexcept { return FKeyLength; }
  void SetKeyLength(TAESKeyLength Value);  // the key text is not checked again
  const string& key() const noexcept { return FKey; }
  // Empty keeps the current text; a length other than keyLength / 8 characters raises
  // errorlist::ESelvane "Keylength incorrect, must be <n>" and keeps the current text. The
  // replaced text is wiped before its memory is released.
  void SetKey(const string& Value);
  TAESType AType() const noexcept { return FType; }
  void SetAType(TAESType Value) noexcept { FType = Value; }
  TConvertType inputFormat() const noexcept { return FInputFormat; }
  void SetInputFormat(TConvertType Value) noexcept { FInputFormat = Value; }
  TConvertType outputFormat() const noexcept { return FOutputFormat; }
  void SetOutputFormat(TConvertType Value) noexcept { FOutputFormat = Value; }
  TIVMode IVMode() const noexcept { return FIVMode; }
  void SetIVMode(TIVMode Value) noexcept { FIVMode = Value; }
  const string& IV() const noexcept { return FIV; }
  // Empty keeps the current text; a length other than 16 raises "IV length incorrect, must be 16".
  void SetIV(const string& Value);
  TPaddingMode paddingMode() const noexcept { return FPaddingMode; }
  void SetPaddingMode(TPaddingMode Value) noexcept { FPaddingMode = Value; }
  TUnicode Unicode() const noexcept { return FUni; }
  void SetUnicode(TUnicode Value) noexcept { FUni = Value; }
  Integer Progress() const noexcept { return FProgress; }
  // A new value is stored and OnChange, when assigned, is called with the component.
  void SetProgress(Integer Value);
  const TNotifyEvent& OnChange() const noexcept { return FOnChange; }
  void SetOnChange(TNotifyEvent Value) { FOnChange = std::move(Value); }
  // Fine-grained progress of the stream and file operations (bytes of input done, input size),
  // called after each chunk; returning false cancels the operation (platform::EAbort), and a
  // cancelled file operation leaves its output as it was. Progress keeps its own coarse steps.
  void SetChunkProgress(platform::TChunkProgress progress);

  platform::TPropertyList PublishedProperties() const override;

  // --- Streams: key and IV text taken one byte per character (AES-128/192/256 from 16/24/32
  // characters). Always ECB with PKCS7 and no header, whatever AType, IVMode and paddingMode
  // say. Failures raise; the streams stay the caller's.
  void EncryptStream(TStream* s, TStream* o);
  // Returns the engine's status: 0, or -208 when the padding check fails (the plain blocks
  // before the final one remain in o, which is the caller's).
  Integer DecryptStream(TStream* s, TStream* o);

  // --- Files: key and IV text decoded from hexadecimal unless inputFormat is raw, then taken as
  // UTF-8. Progress goes 0, 10, 20, 95, 100. The input must be a regular file: a device, FIFO,
  // socket or directory raises platform::EFOpenError naming it at once (Progress 0, nothing
  // written). The output is replaced whole or not at all: the engine writes a temporary file
  // beside o, which replaces o (keeping its permission bits) only when the operation succeeds.
  // On any failure (an exception, a cancel through SetChunkProgress, a failed padding check) o
  // stays byte for byte as it was and no temporary file remains; s and o may be the same file.
  void EncryptFileW(const string& s, const string& o);
  // Returns 0, or -208 when the padding check fails (after all steps, Progress 100; o untouched).
  Integer DecryptFileW(const string& s, const string& o);

  // --- Text: cipher text in outputFormat; every failure raises. Encrypt of the empty text, or
  // with no key text, raises the operation error -201 (decryption with no key text: -206). A
  // key text that is there must be exactly keyLength / 8 characters long (else -206): a key kept
  // after keyLength was changed is refused rather than cut by one direction and taken whole by
  // the other.
  string Encrypt(const string& s);
  string Decrypt(const string& s);
  // Returns 0 with the plain text in o; raises on every failure.
  Integer Decrypt(const string& s, string& o);

 protected:
  // Calls OnChange, when assigned, with the component as sender.
  virtual void Change();

 private:
  // Key and IV bytes of the file operations (hexadecimal unless raw, then UTF-8).
  void FileKeyMaterial(platform::TBytes& key, platform::TBytes& iv) const;
  template <class Run>
  auto RunFileOperation(const string& s, const string& o, Run run);

  Integer FKeyLengthNum = 128;
  TAESKeyLength FKeyLength = kl128;
  string FKey;
  TAESType FType = atCBC;
  TIVMode FIVMode = rand;
  TUnicode FUni = MiscObj::yesUni;
  string FIV;
  TPaddingMode FPaddingMode = PKCS7;
  std::unique_ptr<AESModes::TAESModes> FAESM;
  TConvertType FInputFormat = MiscObj::raw;
  TConvertType FOutputFormat = MiscObj::raw;
  Integer FProgress = 0;
  TNotifyEvent FOnChange;
};

}  // namespace AESObj
