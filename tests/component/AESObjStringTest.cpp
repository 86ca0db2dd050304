// TAESEncryption's text operations: cipher sizes and round trips per configuration, every input
// and output format with OpenSSL as the oracle, and the statuses raised as the operation error.
#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <functional>
#include <memory>
#include <string>

#include "Oracle.h"
#include "Thrown.h"
#include "crypto/support/error.h"
#include "crypto/component/AESObj.h"
#include "crypto/support/errorlist.h"
#include "platform/OSRandomFailure.h"
#include "platform/SysUtils.h"

namespace {

using namespace AESObj;
using MiscObj::TConvert;
using MiscObj::TConvertType;
using MiscObj::TUnicode;
using platform::Integer;
using platform::string;
using testing_support::Bytes;
using testing_support::OpenSSLCrypt;

const string kKeyText = u"0123456789abcdefghijklmnopqrstuv";  // 32 characters, the first 16/24/32 used
const string kIVText = u"fedcba9876543210";

struct TConfig {
  TAESKeyLength keyLength = kl128;
  TAESType type = atCBC;
  TIVMode ivMode = userdefined;
  TPaddingMode padding = PKCS7;
  TConvertType in = MiscObj::raw, out = MiscObj::raw;
  TUnicode uni = MiscObj::yesUni;
};

std::size_t KeyChars(TAESKeyLength kl) { return kl == kl128 ? 16 : kl == kl192 ? 24 : 32; }

std::unique_ptr<TAESEncryption> Make(const TConfig& c) {
  auto aes = std::make_unique<TAESEncryption>();
  aes->SetKeyLength(c.keyLength);
  aes->SetKey(kKeyText.substr(0, KeyChars(c.keyLength)));
  aes->SetIV(kIVText);
  aes->SetAType(c.type);
  aes->SetIVMode(c.ivMode);
  aes->SetPaddingMode(c.padding);
  aes->SetInputFormat(c.in);
  aes->SetOutputFormat(c.out);
  aes->SetUnicode(c.uni);
  return aes;
}

Bytes Latin1(const string& s) { return Bytes(s.begin(), s.end()); }  // test texts stay below U+0100
string ByteString(const Bytes& b) { return string(b.begin(), b.end()); }
Bytes PlainBytes(const string& s, TUnicode uni) { return uni == MiscObj::yesUni ? platform::EncodeUTF8(s) : Latin1(s); }

// The cipher text of P under the component's key and IV text, made by OpenSSL. OFB and CTR have
// no padding there, so the padded plain text is given to them.
Bytes Oracle(const TConfig& c, const Bytes& P, const Bytes& iv = Latin1(kIVText)) {
  const Bytes key = Latin1(kKeyText.substr(0, KeyChars(c.keyLength)));
  const int mode = c.type;
  if (mode <= atCBC) return OpenSSLCrypt(true, mode, key, mode ? iv : Bytes{}, P, c.padding == PKCS7);
  Bytes padded = P;
  if (c.padding == PKCS7) padded.insert(padded.end(), 16 - P.size() % 16, static_cast<std::uint8_t>(16 - P.size() % 16));
  return OpenSSLCrypt(true, mode, key, iv, padded, false);
}

template <class F>
void ExpectOperationError(Integer code, F f) {
  try {
    f();
    ADD_FAILURE() << "no exception, expected " << code;
  } catch (const errorlist::ESelvane& e) {
    EXPECT_EQ(std::string(e.what()), "Invalid Operation : " + std::to_string(code));
  }
}

// The six size rows (padding x ECB / random IV / caller's IV), every mode and key length, both
// Unicode settings: the cipher text has the size of its row, equals OpenSSL's behind the IV, and
// decrypts to the text.
TEST(AESObjString, SizeRowsAndRoundTrips) {
  string uniText = u"Gr\u00fc\u00dfe, \u4e16\u754c \U0001D11E!";
  while (platform::EncodeUTF8(uniText).size() % 16 != 0) uniText += u'.';
  string latinText = u"caf\u00e9 \u00ff\u0001 na\u00efve";
  while (latinText.size() % 16 != 0) latinText += u'+';
  int row = 0;
  for (TPaddingMode padding : {PKCS7, nopadding})
    for (TAESType type : {atECB, atCBC, atOFB, atCTR})
      for (TIVMode ivMode : {AESObj::rand, userdefined})
        for (TUnicode uni : {MiscObj::noUni, MiscObj::yesUni}) {
          const TConfig c{static_cast<TAESKeyLength>(row++ % 3), type, ivMode, padding, MiscObj::raw, MiscObj::raw, uni};
          SCOPED_TRACE(testing::Message() << "pad " << int(padding) << " type " << int(type) << " IV " << int(ivMode)
                                          << " uni " << int(uni));
          const string text = uni == MiscObj::yesUni ? uniText : latinText;
          const Bytes P = PlainBytes(text, uni);
          const bool ivHeader = type != atECB && ivMode == AESObj::rand;
          const auto aes = Make(c);
          const string cipher = aes->Encrypt(text);
          ASSERT_EQ(cipher.size(), 16 * (P.size() / 16 + (padding == PKCS7) + ivHeader));
          const Bytes cb = Latin1(cipher);
          if (ivHeader) {
            const Bytes iv(cb.begin(), cb.begin() + 16);
            EXPECT_EQ(Bytes(cb.begin() + 16, cb.end()), Oracle(c, P, iv));
            EXPECT_NE(aes->Encrypt(text).substr(0, 16), cipher.substr(0, 16));
          } else {
            EXPECT_EQ(cb, Oracle(c, P));
          }
          EXPECT_EQ(aes->Decrypt(cipher), text);
        }
}

// Each format on each side, Unicode both ways, against OpenSSL: the output format encodes the
// cipher text (Encrypt) or decodes the decrypted text once more (Decrypt); the input format
// decodes the cipher text (Decrypt) or the plain text (Encrypt), except that hexadecimal plain
// text is encrypted as the characters it is.
TEST(AESObjString, InputAndOutputFormats) {
  const string text = u"caf\u00e9 na\u00efve!";
  for (TConvertType F : {MiscObj::hexa, MiscObj::base64, MiscObj::base64url, MiscObj::base32})
    for (TUnicode uni : {MiscObj::noUni, MiscObj::yesUni}) {
      SCOPED_TRACE(testing::Message() << "format " << int(F) << " uni " << int(uni));
      TConvert conv(F);
      const TConfig outF{kl192, atCBC, userdefined, PKCS7, MiscObj::raw, F, uni};
      const TConfig inF{kl192, atCBC, userdefined, PKCS7, F, MiscObj::raw, uni};
      const Bytes P = PlainBytes(text, uni);

      const string encoded = Make(outF)->Encrypt(text);
      EXPECT_EQ(Latin1(conv.FormatToChar(encoded)), Oracle(outF, P));
      if (F == MiscObj::hexa) {
        EXPECT_EQ(encoded.find_first_not_of(u"0123456789ABCDEF"), string::npos);
      }

      string cipherText = conv.CharToFormat(ByteString(Oracle(inF, P)));
      if (F == MiscObj::hexa)
        for (auto& ch : cipherText) ch = static_cast<char16_t>(std::tolower(ch));  // either case is read
      EXPECT_EQ(Make(inF)->Decrypt(cipherText), text);

      if (F == MiscObj::hexa) {
        const string hexText = u"48656c6c6f";  // encrypted as these ten characters, not decoded
        EXPECT_EQ(Latin1(Make(inF)->Encrypt(hexText)), Oracle(inF, Latin1(hexText)));
      } else {
        EXPECT_EQ(Latin1(Make(inF)->Encrypt(conv.CharToFormat(ByteString(Latin1(text))))), Oracle(inF, P));
      }

      const Bytes formattedPlain = Latin1(conv.CharToFormat(ByteString(P)));
      EXPECT_EQ(Make(outF)->Decrypt(ByteString(Oracle(outF, formattedPlain))), text);
    }
}

// A plain text that is not valid in the format it is read in (the output format of Decrypt, the
// input format of Encrypt) raises the decoder's error, which names no part of the text.
TEST(AESObjString, DecoderErrorsQuoteNoPlainText) {
  const string secret = u"attackatdawn,notatdusk=";  // 23 characters
  const std::pair<TConvertType, const char*> formats[] = {
      {MiscObj::hexa, "Invalid Hexadecimal String Length (must be even): 23"},
      {MiscObj::base64, "Invalid Base64 String : character ',' at position 13"},
      {MiscObj::base64url, "Invalid Base64url String : character ',' at position 13"},
      {MiscObj::base32, "Invalid Base32 String : character 'a' at position 1"},
  };
  for (const auto& [F, message] : formats) {
    SCOPED_TRACE(int(F));
    const TConfig outF{kl128, atCBC, userdefined, PKCS7, MiscObj::raw, F, MiscObj::noUni};
    const string cipher = ByteString(Oracle(outF, Latin1(secret)));
    EXPECT_EQ(testing_support::ThrownMessage([&] { Make(outF)->Decrypt(cipher); }), message);
    if (F != MiscObj::hexa) {  // hexadecimal input is encrypted as it is, never decoded
      const TConfig inF{kl128, atCBC, userdefined, PKCS7, F, MiscObj::raw, MiscObj::noUni};
      EXPECT_EQ(testing_support::ThrownMessage([&] { Make(inF)->Encrypt(secret); }), message);
    }
  }
}

// The text operations' decoders name the position in the caller's text, line breaks counted:
// the input of Encrypt, and the decrypted text that Decrypt reads in the output format.
TEST(AESObjString, DecoderPositionsCountTheCallersText) {
  const string text = u"QU\r\nJD,EFG";
  const std::string message = "Invalid Base64 String : character ',' at position 7";
  const TConfig in64{kl128, atCBC, userdefined, PKCS7, MiscObj::base64, MiscObj::raw, MiscObj::noUni};
  EXPECT_EQ(testing_support::ThrownMessage([&] { Make(in64)->Encrypt(text); }), message);
  const TConfig out64{kl128, atCBC, userdefined, PKCS7, MiscObj::raw, MiscObj::base64, MiscObj::noUni};
  const string cipher = ByteString(Oracle(out64, Latin1(text)));
  EXPECT_EQ(testing_support::ThrownMessage([&] { Make(out64)->Decrypt(cipher); }), message);
}

// The key text must be exactly as long as keyLength asks for, in both directions: a key kept
// after keyLength changed would be cut by Encrypt but taken whole by Decrypt. ECB needs no IV.
TEST(AESObjString, KeyAndIVTextRules) {
  const auto aes = Make({});
  const string cipher = aes->Encrypt(u"some text");
  aes->SetKeyLength(kl256);  // the 16-character key stays
  ExpectOperationError(error::kBadKeySize, [&] { aes->Encrypt(u"some text"); });
  ExpectOperationError(error::kBadKeySize, [&] { aes->Decrypt(cipher); });
  aes->SetKeyLength(kl128);
  EXPECT_EQ(aes->Decrypt(cipher), u"some text");

  TAESEncryption lowered;
  lowered.SetKeyLength(kl256);
  lowered.SetKey(kKeyText.substr(0, 32));
  lowered.SetKeyLength(kl128);  // the 32-character key stays
  ExpectOperationError(error::kBadKeySize, [&] { lowered.Encrypt(u"some text"); });
  ExpectOperationError(error::kBadKeySize, [&] { lowered.Decrypt(string(32, u'x')); });

  TAESEncryption noIV;
  noIV.SetKey(kKeyText.substr(0, 16));
  noIV.SetIVMode(userdefined);
  ExpectOperationError(error::kBadArgument, [&] { noIV.Encrypt(u"some text"); });
  ExpectOperationError(error::kBadArgument, [&] { noIV.Decrypt(string(32, u'x')); });
  noIV.SetAType(atECB);
  EXPECT_EQ(noIV.Decrypt(noIV.Encrypt(u"some text")), u"some text");
}

// CTR cipher text of any length decrypts without padding, its last partial block included.
TEST(AESObjString, CtrCipherTextOfAnyLength) {
  const TConfig c{kl128, atCTR, userdefined, nopadding, MiscObj::raw, MiscObj::raw, MiscObj::noUni};
  const string text = u"twenty bytes of text";
  EXPECT_EQ(Make(c)->Decrypt(ByteString(Oracle(c, Latin1(text)))), text);
}

// Without padding a cipher text holding only its IV is the empty text (with padding it is -208,
// below).
TEST(AESObjString, UnpaddedCipherTextOfOnlyTheIVIsEmpty) {
  for (TAESType type : {atCBC, atOFB, atCTR}) {
    const TConfig c{kl128, type, AESObj::rand, nopadding, MiscObj::raw, MiscObj::raw, MiscObj::noUni};
    EXPECT_EQ(Make(c)->Decrypt(string(16, u'x')), string()) << int(type);
  }
}

// Also with no key text, or one that keyLength no longer fits: emptiness is checked first.
TEST(AESObjString, EmptyTextIsRefusedInEveryConfiguration) {
  for (TAESType type : {atECB, atCBC, atCTR})
    for (TIVMode ivMode : {AESObj::rand, userdefined})
      for (TPaddingMode padding : {PKCS7, nopadding}) {
        SCOPED_TRACE(testing::Message() << int(type) << int(ivMode) << int(padding));
        ExpectOperationError(error::kBadArgument, [&] { Make({kl128, type, ivMode, padding})->Encrypt(string()); });
        ExpectOperationError(error::kBadArgument, [&] { Make({kl128, type, ivMode, padding})->Decrypt(string()); });
        const auto shortKey = Make({kl128, type, ivMode, padding});
        shortKey->SetKeyLength(kl192);
        ExpectOperationError(error::kBadArgument, [&] { shortKey->Encrypt(string()); });
        TAESEncryption noKey;
        noKey.SetAType(type);
        noKey.SetIVMode(ivMode);
        noKey.SetPaddingMode(padding);
        ExpectOperationError(error::kBadArgument, [&] { noKey.Encrypt(string()); });
      }
}

// Engine statuses reach the caller as "Invalid Operation : <code>"; the status form of Decrypt
// leaves its output as it was.
TEST(AESObjString, StatusesRaiseTheOperationError) {
  Bytes badBlock(16, 0x11);  // decrypts to a last byte of 0x11
  const TConfig ecb{kl128, atECB, userdefined, nopadding, MiscObj::raw, MiscObj::raw, MiscObj::noUni};
  const string badPadding = ByteString(Oracle(ecb, badBlock));
  struct TCase {
    const char* name;
    Integer code;
    std::function<void(TAESEncryption&)> configure;
    bool encrypt;
    string input;
  };
  const TCase cases[] = {
      {"no key text", error::kBadArgument, [](TAESEncryption&) {}, true, u"x"},
      {"a key text shorter than keyLength asks", error::kBadKeySize,
       [](TAESEncryption& a) {
         a.SetKey(kKeyText.substr(0, 16));
         a.SetKeyLength(kl256);
       },
       true, u"x"},
      {"no key text on decryption", error::kBadKeySize, [](TAESEncryption&) {}, false, string(32, u'x')},
      {"cipher text of 20 bytes", error::kBadCipherLength, [](TAESEncryption& a) { a.SetKey(kKeyText.substr(0, 16)); }, false,
       string(20, u'x')},
      {"CTR with padding, 20 bytes", error::kBadCipherLength,
       [](TAESEncryption& a) {
         a.SetKey(kKeyText.substr(0, 16));
         a.SetAType(atCTR);
       },
       false, string(20, u'x')},
      {"last padding byte 0x11", error::kBadPadding,
       [](TAESEncryption& a) {
         a.SetKey(kKeyText.substr(0, 16));
         a.SetAType(atECB);
       },
       false, badPadding},
      {"padded cipher text holding only its IV", error::kBadPadding,
       [](TAESEncryption& a) {
         a.SetKey(kKeyText.substr(0, 16));
         a.SetIVMode(AESObj::rand);
       },
       false, string(16, u'x')},
      {"mode outside the four", error::kBadMode,
       [](TAESEncryption& a) {
         a.SetKey(kKeyText.substr(0, 16));
         a.SetAType(static_cast<TAESType>(4));
       },
       true, u"x"},
      {"no padding, 20 bytes", error::kNoPaddingLength,
       [](TAESEncryption& a) {
         a.SetKey(kKeyText.substr(0, 16));
         a.SetPaddingMode(nopadding);
       },
       true, string(20, u'x')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TAESEncryption aes;
    c.configure(aes);
    if (c.encrypt) {
      ExpectOperationError(c.code, [&] { aes.Encrypt(c.input); });
    } else {
      string o = u"unchanged";
      ExpectOperationError(c.code, [&] { aes.Decrypt(c.input, o); });
      EXPECT_EQ(o, u"unchanged");
    }
  }
}

TEST(AESObjString, FailingRandomGeneratorRaisesItsStatus) {
  const auto aes = Make({kl128, atCBC, AESObj::rand});
  const platform::ScopedRandomFailure failing(EIO);
  ExpectOperationError(static_cast<Integer>(0x80070000u | EIO), [&] { aes->Encrypt(u"text"); });
}

}  // namespace
