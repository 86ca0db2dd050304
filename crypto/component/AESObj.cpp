#include "crypto/component/AESObj.h"

#include "crypto/component/KeyText.h"
#include "crypto/support/errorlist.h"
#include "platform/Files.h"
#include "platform/Memory.h"
#include "platform/SysUtils.h"

namespace AESObj {

using MiscObj::TConvert;
using platform::TSecretBytes;

TAESEncryption::TAESEncryption(platform::TComponent* AOwner)
    : TOrvoCryptBase(AOwner), FAESM(std::make_unique<AESModes::TAESModes>()) {
  SetKeyLength(kl128);
}

TAESEncryption::TAESEncryption() : TAESEncryption(static_cast<platform::TComponent*>(nullptr)) {}

TAESEncryption::TAESEncryption(TAESKeyLength keyLength, const string& key, TAESType AType, TPaddingMode paddingMode,
                               TConvertType outputFormat, TUnicode uni)
    : FType(AType), FUni(uni), FPaddingMode(paddingMode), FOutputFormat(outputFormat) {
  SetKeyLength(keyLength);
  SetKey(key);
  FAESM = std::make_unique<AESModes::TAESModes>();
}

TAESEncryption::TAESEncryption(TAESKeyLength keyLength, const string& key, TAESType AType, TPaddingMode paddingMode,
                               TConvertType inputFormat, TConvertType outputFormat, TUnicode uni, const string& IV)
    : FType(AType), FIVMode(userdefined), FUni(uni), FPaddingMode(paddingMode), FInputFormat(inputFormat),
      FOutputFormat(outputFormat) {
  SetKeyLength(keyLength);
  SetKey(key);
  SetIV(IV);
  FAESM = std::make_unique<AESModes::TAESModes>();
}

void WipeKeyText(string& key, std::size_t length) {
  platform::SecureWipe(key);
  key.assign(length, u'\0');
}

TAESEncryption::~TAESEncryption() { WipeKeyText(FKey, static_cast<std::size_t>(FKeyLengthNum / 8)); }

void TAESEncryption::SetKeyLength(TAESKeyLength Value) {
  FKeyLength = Value;
  switch (Value) {
    case kl128: FKeyLengthNum = 128; break;
    case kl192: FKeyLengthNum = 192; break;
    case kl256: FKeyLengthNum = 256; break;
  }
}

void TAESEncryption::SetKey(const string& Value) {
  const platform::TRegisterWipe clear;  // the copy of the key text went through them
  if (Value.empty()) return;
  const Integer expected = FKeyLengthNum / 8;
  if (Value.size() != static_cast<std::size_t>(expected))
    throw errorlist::ESelvane(u"Keylength incorrect, must be " + platform::IntToStr(expected));
  platform::SecureWipe(FKey);  // the old text never reaches the heap unwiped, whatever the new length
  FKey = Value;
}

void TAESEncryption::SetIV(const string& Value) {
  if (Value.empty()) return;
  if (Value.size() != 16) throw errorlist::ESelvane(string(u"IV length incorrect, must be 16"));
  FIV = Value;
}

void TAESEncryption::SetProgress(Integer Value) {
  if (Value == FProgress) return;
  FProgress = Value;
  if (FOnChange) FOnChange(this);
}

void TAESEncryption::Change() {
  if (FOnChange) FOnChange(this);
}

platform::TPropertyList TAESEncryption::PublishedProperties() const {
  using C = TAESEncryption;
  using platform::EnumProperty;
  using platform::IntegerProperty;
  using platform::StringProperty;
  const std::initializer_list<std::u16string_view> formats = {u"base64", u"hexa", u"base64url", u"base32", u"raw"};
  platform::TPropertyList list = TOrvoCryptBase::PublishedProperties();
  list.push_back(EnumProperty<C, TAESKeyLength>("keyLength", {u"kl128", u"kl192", u"kl256"},
                                                &C::keyLength, &C::SetKeyLength, kl128));
  list.push_back(StringProperty<C>("key", &C::key, &C::SetKey, string()));
  list.push_back(EnumProperty<C, TAESType>("AType", {u"atECB", u"atCBC", u"atOFB", u"atCTR"}, &C::AType,
                                           &C::SetAType, atCBC));
  list.push_back(EnumProperty<C, TConvertType>("inputFormat", formats, &C::inputFormat, &C::SetInputFormat,
                                               MiscObj::raw));
  list.push_back(EnumProperty<C, TConvertType>("outputFormat", formats, &C::outputFormat, &C::SetOutputFormat,
                                               MiscObj::raw));
  list.push_back(EnumProperty<C, TIVMode>("IVMode", {u"rand", u"userdefined"}, &C::IVMode, &C::SetIVMode, rand));
  list.push_back(StringProperty<C>("IV", &C::IV, &C::SetIV, string()));
  list.push_back(EnumProperty<C, TPaddingMode>("paddingMode", {u"PKCS7", u"nopadding"}, &C::paddingMode,
                                               &C::SetPaddingMode, PKCS7));
  list.push_back(EnumProperty<C, TUnicode>("Unicode", {u"noUni", u"yesUni"}, &C::Unicode, &C::SetUnicode,
                                           MiscObj::yesUni));
  list.push_back(IntegerProperty<C>("Progress", &C::Progress, &C::SetProgress, 0));
  return list;
}

void TAESEncryption::SetChunkProgress(platform::TChunkProgress progress) {
  FAESM->SetChunkProgress(std::move(progress));
}

void TAESEncryption::EncryptStream(TStream* s, TStream* o) {
  const TSecretBytes key(TConvert::StringToByteArray(FKey, MiscObj::noUni));
  const TSecretBytes iv(TConvert::StringToByteArray(FIV, MiscObj::noUni));
  FAESM->EncryptStream(s, o, key.Value, iv.Value);
}

Integer TAESEncryption::DecryptStream(TStream* s, TStream* o) {
  const TSecretBytes key(TConvert::StringToByteArray(FKey, MiscObj::noUni));
  const TSecretBytes iv(TConvert::StringToByteArray(FIV, MiscObj::noUni));
  return FAESM->DecryptStream(s, o, key.Value, iv.Value);
}

void TAESEncryption::FileKeyMaterial(platform::TBytes& key, platform::TBytes& iv) const {
  if (FInputFormat == MiscObj::raw) {
    key = TConvert::StringToByteArray(FKey, MiscObj::yesUni);
    iv = TConvert::StringToByteArray(FIV, MiscObj::yesUni);
    return;
  }
  // Always hexadecimal, whatever inputFormat names: the converter's default format.
  TConvert convert;
  const platform::TSecretText keyText(convert.FormatToChar(FKey));
  key = TConvert::StringToByteArray(keyText.Value, MiscObj::yesUni);
  iv = TConvert::StringToByteArray(convert.FormatToChar(FIV), MiscObj::yesUni);
}

template <class Run>
auto TAESEncryption::RunFileOperation(const string& s, const string& o, Run run) {
  SetProgress(0);
  platform::TFileStream input(s, platform::TFileMode::fmOpenRead);  // a regular file only, never blocking
  TSecretBytes key, iv;
  FileKeyMaterial(key.Value, iv.Value);
  SetProgress(10);
  // The output is written beside o and replaces it only when the whole operation succeeds.
  platform::TReplacingFile target(o);
  auto result = [&] {
    platform::THandleStream output(target.Handle(), o);
    SetProgress(20);
    return run(&input, &output, key.Value, iv.Value);
  }();  // a failure leaves o as it was, the temporary file discarded
  if (result == 0 && !target.Commit()) throw platform::EWriteError(u"Error writing file \"" + o + u"\".");
  SetProgress(95);
  return result;  // the input stream is closed on return; Progress 100 is set by the callers
}

void TAESEncryption::EncryptFileW(const string& s, const string& o) {
  RunFileOperation(s, o, [this](TStream* in, TStream* out, const platform::TBytes& key, const platform::TBytes& iv) {
    FAESM->EncryptStream(in, out, key, iv);
    return 0;
  });
  SetProgress(100);
}

Integer TAESEncryption::DecryptFileW(const string& s, const string& o) {
  const Integer status = RunFileOperation(
      s, o, [this](TStream* in, TStream* out, const platform::TBytes& key, const platform::TBytes& iv) {
        return FAESM->DecryptStream(in, out, key, iv);
      });
  SetProgress(100);
  return status;
}

}  // namespace AESObj
