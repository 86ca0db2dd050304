// TConvert: key byte order in every format, base58, big hexadecimal numbers against OpenSSL's
// BN, decimal addition, byte buffers and random text.
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/crypto.h>

#include "ByteString.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/support/MiscObj.h"
#include "crypto/support/error.h"
#include "platform/OSRandomFailure.h"

namespace {

using MiscObj::TConvert;
using MiscObj::TConvertType;
using platform::Integer;
using platform::string;
using platform::UInt64;

using testing_support::B;

constexpr TConvertType kAllFormats[] = {MiscObj::base64, MiscObj::hexa, MiscObj::base64url, MiscObj::base32,
                                        MiscObj::raw};

template <class E, class F>
string ThrownMessage(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  ADD_FAILURE() << "no exception raised";
  return u"";
}

string U(std::string_view ascii) { return string(ascii.begin(), ascii.end()); }

// The message of EConvertError for a character (built by append: GCC 12 warns wrongly about
// the concatenation operators here).
string NotAnInteger(char16_t c) {
  string m(u"'");
  m.append(1, c).append(u"' is not a valid integer value");
  return m;
}

// ---- Key byte order ----

TEST(TConvertKeyOrder, ReversesTheBytesInEachFormat) {
  struct Case {
    TConvertType format;
    string in, out;
    string twice = in;  // the encoders always pad
  };
  const Case cases[] = {
      {MiscObj::hexa, u"0A0B0C", u"0C0B0A"},
      {MiscObj::hexa, u"0a1B", u"1B0a"},  // groups move whole, case untouched
      {MiscObj::hexa, u"", u""},
      {MiscObj::raw, B("ab\xFF"), B("\xFF" "ba")},
      {MiscObj::base64, u"AQID", u"AwIB"},  // 01 02 03
      {MiscObj::base64, u"AQI", u"AgE=", u"AQI="},  // 01 02, unpadded input
      {MiscObj::base64url, u"-_-_", u"v__7"},  // FB FF BF
      {MiscObj::base32, u"AEBAGBAF", u"AUCAGAQB"},  // 01 02 03 04 05
      {MiscObj::base32, u"AEBA====", u"AIAQ===="},  // 01 02
  };
  for (const Case& c : cases) {
    TConvert conv(c.format);
    EXPECT_EQ(conv.KeyRSAOpenSSLToKeyTRSAEncSign(c.in), c.out) << int(c.format);
    EXPECT_EQ(conv.KeyTRSAEncSignToKeyRSAOpenSSL(c.out), c.twice) << int(c.format);
    EXPECT_EQ(conv.AType(), c.format);
  }
}

TEST(TConvertKeyOrder, TwiceGivesTheInputBackInEveryFormat) {
  std::mt19937 gen(10);
  for (TConvertType format : kAllFormats) {
    TConvert conv(format);
    for (std::size_t n = 0; n <= 40; ++n) {
      string bytes;
      for (std::size_t i = 0; i < n; ++i) bytes += static_cast<char16_t>(gen() & 0xFF);
      const string text = conv.CharToFormat(bytes);
      const string once = conv.KeyRSAOpenSSLToKeyTRSAEncSign(text);
      EXPECT_EQ(conv.FormatToChar(once), string(bytes.rbegin(), bytes.rend())) << int(format) << " n=" << n;
      EXPECT_EQ(conv.KeyTRSAEncSignToKeyRSAOpenSSL(once), text) << int(format) << " n=" << n;
    }
  }
}

TEST(TConvertKeyOrder, MalformedTextRaisesTheDecodersError) {
  TConvert hex(MiscObj::hexa);
  EXPECT_EQ(ThrownMessage<platform::Exception>([&] { hex.KeyRSAOpenSSLToKeyTRSAEncSign(u"0A0B0"); }),
            u"Invalid Hexadecimal String Length (must be even): 5");
  TConvert b32(MiscObj::base32);
  EXPECT_EQ(ThrownMessage<platform::Exception>([&] { b32.KeyTRSAEncSignToKeyRSAOpenSSL(u"aebagbaf"); }),
            u"Invalid Base32 String : character 'a' at position 1");
  EXPECT_EQ(b32.AType(), MiscObj::base32);
}

// ---- Base58 ----

TEST(TConvertBase58, KnownValues) {
  const std::pair<UInt64, string> cases[] = {
      {0, u"1"}, {1, u"2"}, {57, u"Z"}, {58, u"21"}, {58 * 58 - 1, u"ZZ"},
      {std::numeric_limits<UInt64>::max(), u"JPwcyDCgEup"},
  };
  for (const auto& [value, text] : cases) {
    EXPECT_EQ(TConvert::Base58Encode(value), text);
    EXPECT_EQ(TConvert::Base58Decode(text), value);
  }
  EXPECT_EQ(TConvert::Base58Decode(u""), 0u);
  EXPECT_EQ(TConvert::Base58Decode(u"111"), 0u);
  EXPECT_EQ(TConvert::Base58Decode(u"11JPwcyDCgEup"), std::numeric_limits<UInt64>::max());
}

TEST(TConvertBase58, RoundTripOverRandomValuesAndTheEnds) {
  std::vector<UInt64> values = {0, 1, 57, 58, 59, (UInt64{1} << 32), std::numeric_limits<UInt64>::max() - 1,
                                std::numeric_limits<UInt64>::max()};
  std::mt19937_64 gen(58);
  for (int i = 0; i < 2000; ++i) values.push_back(gen() >> (i % 64));
  for (UInt64 v : values) {
    const string text = TConvert::Base58Encode(v);
    EXPECT_EQ(TConvert::Base58Decode(text), v) << v;
    EXPECT_LE(text.size(), 11u);
    if (v != 0) {
      EXPECT_NE(text[0], u'1') << v;
    }
  }
}

TEST(TConvertBase58, RefusesForeignCharactersAndOverflow) {
  const std::pair<string, string> refused[] = {
      {u"0", u"character '0' at position 1"},
      {u"l", u"character 'l' at position 1"},
      {u"I", u"character 'I' at position 1"},
      {u"O", u"character 'O' at position 1"},
      {u"2 1", u"character ' ' at position 2"},
      {u"21\n", u"character U+000A at position 3"},
      {u"\u00E9", u"character U+00E9 at position 1"},
      {u"-1", u"character '-' at position 1"},
      {u"JPwcyDCgEuq", u"value above 2^64 - 1 in 11 characters"},  // 2^64, which would wrap to 0
      {u"211111111111", u"value above 2^64 - 1 in 12 characters"},  // 58^11
      {u"ZZZZZZZZZZZZZZZZZZZZ", u"value above 2^64 - 1 in 20 characters"},
  };
  for (const auto& [text, fault] : refused)
    EXPECT_EQ(ThrownMessage<platform::Exception>([&] { TConvert::Base58Decode(text); }),
              u"Invalid Base58 String : " + fault);
}

// ---- Big numbers ----

// Decimal text of a hexadecimal number, by OpenSSL.
std::string BNDecimal(const std::string& hex) {
  BIGNUM* bn = nullptr;
  EXPECT_EQ(BN_hex2bn(&bn, hex.c_str()), static_cast<int>(hex.size()));
  char* dec = BN_bn2dec(bn);
  std::string out(dec);
  OPENSSL_free(dec);
  BN_free(bn);
  return out;
}

TEST(TConvertBigNumber, PowersOf16MatchOpenSSL) {
  for (std::size_t k = 0; k < MiscObj::PowersOf16.size(); ++k) {
    std::string power(k + 1, '0');
    power[0] = '1';
    const std::string expected = BNDecimal(power);
    EXPECT_EQ(MiscObj::PowersOf16[k], U(expected)) << k;
  }
}

TEST(TConvertBigNumber, KnownValuesAndLimits) {
  const std::pair<string, string> cases[] = {
      {u"FF", u"255"}, {u"ff", u"255"}, {u"10", u"16"}, {u"0", u"0"}, {u"00", u"00"}, {u"01", u"01"},
      {u"0000F", u"00015"},  // as wide as 16^4 = 65536
      {string(32, u'F'), u"340282366920938463463374607431768211455"},
      {string(33, u'1'), u""}, {u"", u""},
  };
  for (const auto& [hex, dec] : cases) EXPECT_EQ(TConvert::BigHexToBigInt(hex), dec);
  const std::pair<string, char16_t> bad[] = {{u"g", u'g'}, {u"1G2", u'G'}, {u"12 ", u' '}, {u"-1", u'-'}};
  for (const auto& [text, c] : bad)
    EXPECT_EQ(ThrownMessage<platform::EConvertError>([&] { TConvert::BigHexToBigInt(text); }),
              NotAnInteger(c));
}

TEST(TConvertBigNumber, MatchesOpenSSLForRandomLengths) {
  std::mt19937 gen(16);
  const char* digits = "0123456789abcdefABCDEF";
  for (int round = 0; round < 20; ++round) {
    for (std::size_t n = 1; n <= 32; ++n) {
      std::string hex;
      for (std::size_t i = 0; i < n; ++i) hex += digits[gen() % 22];
      if (round % 4 == 0) hex[0] = '0';  // leading zeros keep their places
      std::string expected = BNDecimal(hex);
      const std::size_t width = std::max(expected.size(), MiscObj::PowersOf16[n - 1].size());
      expected.insert(0, width - expected.size(), '0');
      EXPECT_EQ(TConvert::BigHexToBigInt(U(hex)), U(expected)) << hex;
    }
  }
}

TEST(TConvertBigNumber, AddKeepsWidthAndCarries) {
  const std::tuple<string, string, string> cases[] = {
      {u"", u"5", u"5"}, {u"5", u"", u"5"}, {u"", u"", u""}, {u"999", u"1", u"1000"}, {u"1", u"999", u"1000"},
      {u"007", u"5", u"012"}, {u"5", u"007", u"012"}, {u"99", u"99", u"198"}, {u"0", u"0", u"0"},
  };
  for (const auto& [x, y, sum] : cases) EXPECT_EQ(TConvert::Add(x, y), sum);
  EXPECT_EQ(ThrownMessage<platform::EConvertError>([] { TConvert::Add(u"12", u"1a"); }),
            u"'a' is not a valid integer value");
  EXPECT_EQ(ThrownMessage<platform::EConvertError>([] { TConvert::Add(u"1+2", u"1"); }),
            u"'+' is not a valid integer value");
}

TEST(TConvertBigNumber, HexToIntTakesOnlyHexadecimalDigits) {
  const std::pair<char16_t, Integer> digits[] = {{u'0', 0}, {u'9', 9}, {u'a', 10}, {u'A', 10}, {u'f', 15}, {u'F', 15}};
  for (const auto& [c, v] : digits) EXPECT_EQ(TConvert::HexToInt(c), v);
  for (char16_t c : {u'g', u'G', u' ', u'-', u'+', u'\0', u'\u0661', u'\uFF11', static_cast<char16_t>(0x0134)})
    EXPECT_EQ(ThrownMessage<platform::EConvertError>([&] { TConvert::HexToInt(c); }),
              NotAnInteger(c))
        << int(c);
}

TEST(TConvertReverse, ReversesCodeUnits) {
  EXPECT_EQ(TConvert::Reverse(u""), u"");
  EXPECT_EQ(TConvert::Reverse(u"abc"), u"cba");
  EXPECT_EQ(TConvert::Reverse(u"a\U0001F600"), (string{0xDE00, 0xD83D, u'a'}));
}

// ---- Byte buffers ----

using TBuffer = std::unique_ptr<char, decltype(&std::free)>;

std::string BufferBytes(char* block, std::size_t withZero) {
  TBuffer owned(block, &std::free);
  return std::string(owned.get(), withZero);
}

TEST(TConvertBuffers, BytesAndLengthInBothEncodings) {
  struct Case {
    string text;
    MiscObj::TUnicode u;
    std::string bytes;  // without the final 0
  };
  const Case cases[] = {
      {u"\u00E9", MiscObj::yesUni, "\xC3\xA9"},
      {u"\u00E9", MiscObj::noUni, "\xE9"},
      {u"", MiscObj::yesUni, ""},
      {u"", MiscObj::noUni, ""},
      {string(u"a\0b", 3), MiscObj::noUni, std::string("a\0b", 3)},
      {string(u"a\0b", 3), MiscObj::yesUni, std::string("a\0b", 3)},
      {u"\u0141", MiscObj::noUni, "A"},  // high byte dropped
      {u"\u20AC\U0001F600", MiscObj::yesUni, "\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {u"\u20AC", static_cast<MiscObj::TUnicode>(7), "\xAC"},  // any other value reads bytes
  };
  for (const Case& c : cases) {
    const std::string withZero = c.bytes + std::string(1, '\0');
    Integer msgLen = -1;
    EXPECT_EQ(BufferBytes(TConvert::StringToBuffer(c.text, c.u, msgLen), withZero.size()), withZero);
    EXPECT_EQ(msgLen, static_cast<Integer>(c.bytes.size()));
    EXPECT_EQ(BufferBytes(TConvert::StringToBufferA(c.text, c.u), withZero.size()), withZero);
    if (c.u == MiscObj::yesUni) {
      EXPECT_EQ(BufferBytes(TConvert::UnicodeToPAnsiChar(c.text), withZero.size()), withZero);
      EXPECT_EQ(TConvert::PAnsiCharFromUnicodeLength(c.text), msgLen);
    } else {
      EXPECT_EQ(BufferBytes(TConvert::StringToPAnsiChar(c.text), withZero.size()), withZero);
    }
  }
}

// ---- Random text ----

TEST(TConvertRandomString, EveryFormatCarriesTheDrawnBytes) {
  for (TConvertType format : kAllFormats) {
    TConvert conv(format);
    const string a = conv.RandomString(16);
    EXPECT_EQ(static_cast<Integer>(a.size()), conv.OutputFormatLength(16)) << int(format);
    EXPECT_EQ(conv.FormatToChar(a).size(), 16u) << int(format);
    EXPECT_NE(conv.RandomString(16), a) << int(format);  // equal with probability 2^-128
  }
  const string hex = TConvert(MiscObj::hexa).RandomString(16);
  EXPECT_EQ(hex.size(), 32u);
  EXPECT_TRUE(std::all_of(hex.begin(), hex.end(), [](char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'); }));
  const string raw = TConvert(MiscObj::raw).RandomString(1000);
  EXPECT_TRUE(std::all_of(raw.begin(), raw.end(), [](char16_t c) { return c <= 0xFF; }));
}

TEST(TConvertRandomString, EmptyResultOrFailingGeneratorRaises) {
  for (Integer len : {0, -5}) {
    try {
      TConvert(MiscObj::hexa).RandomString(len);
      ADD_FAILURE() << "no exception for " << len;
    } catch (const MiscObj::ESelvane& e) {
      EXPECT_EQ(e.Code(), 1);
      EXPECT_EQ(e.Message(), u"Error: Unknown error (not in predefined list): 1");
    }
  }
  // A failing generator must not turn into text of zero bytes.
  const platform::ScopedRandomFailure failing(EIO);
  for (TConvertType format : {MiscObj::raw, MiscObj::hexa}) {
    try {
      TConvert(format).RandomString(16);
      ADD_FAILURE() << "no exception for format " << int(format);
    } catch (const MiscObj::ESelvane& e) {
      EXPECT_EQ(e.Code(), -22);
      EXPECT_EQ(e.Message(), error::GetErrorMessage(-22));
    }
  }
}

}  // namespace
