// A component configured from the fuzzer's input, shared by the component targets.
#pragma once

#include "FuzzSupport.h"
#include "crypto/component/AESObj.h"
#include "crypto/support/errorlist.h"

namespace fuzz_support {

// Byte 0: bits 0-1 keyLength (3 = as the key), bits 2-3 AType, bit 4 IVMode userdefined, bit 5
// no padding, bit 6 Unicode noUni, bit 7 two bytes per character of text; byte 1: input format
// (mod 5), output format (div 5, mod 5), and above 224 no IV text; byte 2 the key length (see
// KeyLength); then the key characters (one byte each) and 16 IV characters.
struct TComponentSettings {
  AESObj::TAESKeyLength keyLength = AESObj::kl128;
  string key, IV;
  AESObj::TAESType type = AESObj::atECB;
  AESObj::TIVMode ivMode = AESObj::rand;
  AESObj::TPaddingMode padding = AESObj::PKCS7;
  MiscObj::TUnicode unicode = MiscObj::yesUni;
  MiscObj::TConvertType inputFormat = MiscObj::raw, outputFormat = MiscObj::raw;
  bool wideText = false;

  static TComponentSettings Read(TFuzzReader& in) {
    TComponentSettings s;
    const std::uint8_t flags = in.Byte(), formats = in.Byte();
    const std::size_t keyChars = KeyLength(in.Byte());
    s.key = ByteString(in.Bytes(keyChars));
    const string iv = ByteString(in.Bytes(16));
    if (formats < 225) s.IV = iv;
    s.keyLength = (flags & 3) == 3 ? KeyLengthOf(keyChars) : static_cast<AESObj::TAESKeyLength>(flags & 3);
    s.type = static_cast<AESObj::TAESType>(flags >> 2 & 3);
    s.ivMode = (flags & 16) ? AESObj::userdefined : AESObj::rand;
    s.padding = (flags & 32) ? AESObj::nopadding : AESObj::PKCS7;
    s.unicode = (flags & 64) ? MiscObj::noUni : MiscObj::yesUni;
    s.wideText = flags & 128;
    s.inputFormat = static_cast<MiscObj::TConvertType>(formats % 5);
    s.outputFormat = static_cast<MiscObj::TConvertType>(formats / 5 % 5);
    return s;
  }

  static AESObj::TAESKeyLength KeyLengthOf(std::size_t chars) {
    return chars == 24 ? AESObj::kl192 : chars == 32 ? AESObj::kl256 : AESObj::kl128;
  }

  // Sets the key under the keyLength its length fits, then the configured keyLength, so that
  // a keyLength that disagrees with the key text is reached as well.
  void Apply(AESObj::TAESEncryption& c) const {
    c.SetKeyLength(KeyLengthOf(key.size()));
    try {
      c.SetKey(key);
    } catch (const errorlist::ESelvane&) {
      // a key of no valid length stays unset
    }
    c.SetKeyLength(keyLength);
    if (!IV.empty()) c.SetIV(IV);
    c.SetAType(type);
    c.SetIVMode(ivMode);
    c.SetPaddingMode(padding);
    c.SetUnicode(unicode);
    c.SetInputFormat(inputFormat);
    c.SetOutputFormat(outputFormat);
  }
};

}  // namespace fuzz_support
