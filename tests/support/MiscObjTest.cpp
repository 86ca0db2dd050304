// TConvert: construction and property, the format dispatch, lengths, hexadecimal, byte strings
// and UTF-8; MiscObj::ESelvane.
#include <gtest/gtest.h>

#include "ByteString.h"

#include <array>
#include <limits>
#include <string_view>

#include "crypto/support/MiscObj.h"
#include "crypto/support/error.h"
#include "crypto/support/errorlist.h"

namespace {

using MiscObj::TConvert;
using MiscObj::TConvertType;
using platform::string;
using platform::TBytes;

using testing_support::B;

// The message of the exception of class E raised by f; a failure if nothing is raised.
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

// ---- Component and exception ----

TEST(TConvertComponent, ConstructorsAndATypeProperty) {
  platform::TComponent owner;
  auto* owned = new TConvert(&owner);
  EXPECT_EQ(owned->AType(), MiscObj::hexa);
  ASSERT_EQ(owner.Components().size(), 1u);
  EXPECT_EQ(owner.Components()[0], owned);
  EXPECT_EQ(TConvert().AType(), MiscObj::hexa);
  EXPECT_EQ(TConvert(MiscObj::base32).AType(), MiscObj::base32);

  TConvert c;
  EXPECT_EQ(c.GetPropertyText("Version"), u"5.0.0.0");
  EXPECT_EQ(c.GetPropertyText("AType"), u"hexa");
  EXPECT_FALSE(c.IsStored("AType"));
  c.SetPropertyText("AType", u"base64url");
  EXPECT_EQ(c.AType(), MiscObj::base64url);
  EXPECT_TRUE(c.IsStored("AType"));
  c.SetAType(MiscObj::raw);
  EXPECT_EQ(c.GetPropertyText("AType"), u"raw");
  EXPECT_THROW(c.SetPropertyText("AType", u"hex"), platform::EPropertyError);
  EXPECT_EQ(c.AType(), MiscObj::raw);
}

TEST(MiscObjESelvane, MessageAndCode) {
  const MiscObj::ESelvane plain(string(u"some text"));
  EXPECT_EQ(plain.Message(), u"some text");
  EXPECT_EQ(plain.Code(), 0);

  const auto formatted = MiscObj::ESelvane::CreateFmt(u"Bad Type (%d) in %s", {u"12", u"x"});
  EXPECT_EQ(formatted.Message(), u"Bad Type (12) in x");
  EXPECT_EQ(formatted.Code(), 0);

  // Made from a code, it carries the catalogue's text, not the operation error's.
  const MiscObj::ESelvane coded(platform::Integer{-200});
  EXPECT_EQ(coded.Message(), error::GetErrorMessage(-200));
  EXPECT_NE(coded.Message(), u"Invalid Operation : -200");
  EXPECT_EQ(coded.Code(), -200);
}

// ---- Dispatch ----

TEST(TConvertDispatch, EveryFormatEncodesAndDecodes) {
  struct Case {
    TConvertType type;
    string text;  // "foob" in the format
  } cases[] = {
      {MiscObj::hexa, u"666F6F62"},     {MiscObj::base64, u"Zm9vYg=="}, {MiscObj::base64url, u"Zm9vYg=="},
      {MiscObj::base32, u"MZXW6YQ="},   {MiscObj::raw, u"foob"},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(static_cast<int>(tc.type));
    TConvert c(tc.type);
    EXPECT_EQ(c.CharToFormat(u"foob"), tc.text);
    EXPECT_EQ(c.StringToFormat(u"foob"), tc.text);
    EXPECT_EQ(c.UnicodeStringToFormat(u"foob"), tc.text);
    EXPECT_EQ(c.FormatToChar(tc.text), u"foob");
    EXPECT_EQ(c.FormatToString(tc.text), u"foob");
    EXPECT_EQ(c.CharToFormat(u""), u"");
    EXPECT_EQ(c.FormatToChar(u""), u"");
  }
}

TEST(TConvertDispatch, RawKeepsEveryCharacter) {
  TConvert c(MiscObj::raw);
  const string text = u"a\u20AC\u0000\uFFFF\u0141";
  EXPECT_EQ(c.CharToFormat(text), text);
  EXPECT_EQ(c.FormatToChar(text), text);
  EXPECT_EQ(c.FormatToString(text), text);
}

TEST(TConvertDispatch, FormatValueOutsideTheFiveRaisesBadType) {
  TConvert c(static_cast<TConvertType>(7));
  for (auto call : {&TConvert::CharToFormat, &TConvert::FormatToChar}) {
    bool caught = false;
    try {
      (c.*call)(u"4A");
    } catch (const errorlist::ESelvane&) {
      ADD_FAILURE() << "caught as the other unit's ESelvane";
    } catch (const MiscObj::ESelvane& e) {
      caught = true;
      EXPECT_EQ(e.Message(), u"Bad Type (7)");
      EXPECT_EQ(e.Code(), 0);
    }
    EXPECT_TRUE(caught);
  }
}

TEST(TConvertDispatch, UnpaddedTextAndLineBreaksDecode) {
  struct Case {
    TConvertType type;
    string text;
    string bytes;
  } cases[] = {
      {MiscObj::base64, u"QQ", u"A"},
      {MiscObj::base64, u"QUI", u"AB"},
      {MiscObj::base64url, u"-_8", B("\xFB\xFF")},
      {MiscObj::base32, u"ME", u"a"},
      {MiscObj::base32, u"MZXW6YQ", u"foob"},
      // Padding is counted on the text without its line breaks: "QUJD\r\n" would otherwise
      // become "QUJD==" to the decoder and lose two bytes.
      {MiscObj::base64, u"QUJD\r\n", u"ABC"},
      {MiscObj::base64, u"QUJD\r\nRA", u"ABCD"},
      {MiscObj::base64url, u"Zm9v\nYg", u"foob"},
      {MiscObj::base32, u"MZXW6\r\nYQ", u"foob"},
      {MiscObj::base32, u"MZXW6YTB\r\n", u"fooba"},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(testing::PrintToString(tc.text));
    TConvert c(tc.type);
    EXPECT_EQ(c.FormatToChar(tc.text), tc.bytes);
  }
}

TEST(TConvertDispatch, FormatToUnicodeStringDecodesUtf8) {
  const string text = u"\u00E9\u20AC";
  EXPECT_EQ(TConvert(MiscObj::hexa).FormatToUnicodeString(u"c3a9E282AC"), text);
  EXPECT_EQ(TConvert(MiscObj::base64).FormatToUnicodeString(u"w6nigqw="), text);
  EXPECT_EQ(TConvert(MiscObj::raw).FormatToUnicodeString(B("\xC3\xA9\xE2\x82\xAC")), text);
  EXPECT_EQ(ThrownMessage<platform::EEncodingError>([] { TConvert().FormatToUnicodeString(u"C3"); }),
            platform::kNoMappingMessage);
  EXPECT_EQ(ThrownMessage<platform::Exception>([] { TConvert().FormatToUnicodeString(u"C3A"); }),
            u"Invalid Hexadecimal String Length (must be even): 3");
}

// ---- Lengths ----

TEST(TConvertLength, CharLengthCountsDecodedBytes) {
  struct Case {
    TConvertType type;
    string text;
    platform::Integer bytes;
  } cases[] = {
      {MiscObj::hexa, u"", 0},          {MiscObj::hexa, u"abc", 2},         {MiscObj::hexa, u"4A6B", 2},
      {MiscObj::base64, u"", 0},        {MiscObj::base64, u"QQ", 1},        {MiscObj::base64, u"QUI", 2},
      {MiscObj::base64, u"QUJD", 3},    {MiscObj::base64, u"QUJDRA==", 4},  {MiscObj::base64url, u"-_8", 2},
      {MiscObj::base32, u"", 0},        {MiscObj::base32, u"ME", 1},        {MiscObj::base32, u"MZXQ", 2},
      {MiscObj::base32, u"MZXW6", 3},   {MiscObj::base32, u"MZXW6YQ", 4},   {MiscObj::base32, u"MZXW6YTB", 5},
      {MiscObj::base32, u"MZXW6YTBOI======", 6},
      {MiscObj::raw, u"", 0},           {MiscObj::raw, u"a\u20AC", 2},      {static_cast<TConvertType>(9), u"abc", 3},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(testing::PrintToString(tc.text) + " type " + std::to_string(tc.type));
    EXPECT_EQ(TConvert(tc.type).CharLength(tc.text), tc.bytes);
  }
}

TEST(TConvertLength, OutputFormatLengthPerFormat) {
  struct Case {
    TConvertType type;
    platform::Integer bytes, chars;
  } cases[] = {
      {MiscObj::base64, 0, 0},    {MiscObj::base64, 1, 4},  {MiscObj::base64, 3, 4},  {MiscObj::base64, 4, 8},
      {MiscObj::base64url, 2, 4}, {MiscObj::base32, 0, 0},  {MiscObj::base32, 5, 8},  {MiscObj::base32, 6, 16},
      {MiscObj::hexa, 3, 6},      {MiscObj::raw, 7, 7},     {static_cast<TConvertType>(9), 7, 7},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(std::to_string(tc.type) + " bytes " + std::to_string(tc.bytes));
    EXPECT_EQ(TConvert(tc.type).OutputFormatLength(tc.bytes), tc.chars);
  }
  EXPECT_THROW(TConvert(MiscObj::base64).OutputFormatLength(-1), platform::Exception);
  EXPECT_THROW(TConvert(MiscObj::hexa).OutputFormatLength(std::numeric_limits<platform::Integer>::max()),
               platform::Exception);
}

// The two length rules agree with the encoders on every short length.
TEST(TConvertLength, LengthsMatchEncodedText) {
  for (TConvertType type : {MiscObj::base64, MiscObj::hexa, MiscObj::base64url, MiscObj::base32, MiscObj::raw}) {
    TConvert c(type);
    string bytes;
    for (int n = 0; n <= 40; ++n) {
      SCOPED_TRACE(std::to_string(type) + " length " + std::to_string(n));
      const string text = c.CharToFormat(bytes);
      EXPECT_EQ(static_cast<platform::Integer>(text.size()), c.OutputFormatLength(n));
      EXPECT_EQ(c.CharLength(text), n);
      bytes += static_cast<char16_t>(0xF0 + n % 16);
    }
  }
}

// ---- Hexadecimal ----

TEST(TConvertHex, EncodesUppercaseInAllThreeForms) {
  struct Case {
    string in, hex;
  } cases[] = {
      {u"", u""},
      {B("\x4A\x6B"), u"4A6B"},
      {B(std::string_view("\x00\xFF\xAB\x09", 4)), u"00FFAB09"},
      {u"\u0141", u"41"},  // high byte dropped
  };
  TConvert c;
  for (const auto& tc : cases) {
    SCOPED_TRACE(testing::PrintToString(tc.hex));
    EXPECT_EQ(c.ToHexString(tc.in), tc.hex);
    string out = u"previous";
    c.ToHexString(tc.in, out);
    EXPECT_EQ(out, tc.hex);
    TBytes array(tc.hex.size(), 0xEE);
    c.ToHexString(tc.in, array);
    EXPECT_EQ(array, TConvert::StringToByteArray(tc.hex));
  }
}

TEST(TConvertHex, DecodesEitherCaseInAllThreeForms) {
  struct Case {
    string hex, bytes;
  } cases[] = {
      {u"", u""},
      {u"4a6B", u"Jk"},
      {u"aBcD", B("\xAB\xCD")},
      {u"00ff7F", B(std::string_view("\x00\xFF\x7F", 3))},
  };
  TConvert c;
  for (const auto& tc : cases) {
    SCOPED_TRACE(testing::PrintToString(tc.hex));
    EXPECT_EQ(c.ToCharString(tc.hex), tc.bytes);
    EXPECT_EQ(c.FormatToChar(tc.hex), tc.bytes);
    string out = u"previous";
    c.ToCharString(tc.hex, out);
    EXPECT_EQ(out, tc.bytes);
    TBytes array(tc.bytes.size(), 0xEE);
    c.ToCharString(tc.hex, array);
    EXPECT_EQ(array, TConvert::StringToByteArray(tc.bytes));
  }
}

// Neither message quotes the text, which is often a key: the odd-length one gives the length, a
// bad character is named with its position.
TEST(TConvertHex, RejectsOddLengthAndNonDigits) {
  struct Case {
    string hex, message;
  } cases[] = {
      {u"abc", u"Invalid Hexadecimal String Length (must be even): 3"},
      {u"4G6", u"Invalid Hexadecimal String Length (must be even): 3"},
      {u"4G", u"Invalid Hexadecimal Character 'G' at position 2"},
      {u"G4", u"Invalid Hexadecimal Character 'G' at position 1"},
      {u"4A 6", u"Invalid Hexadecimal Character ' ' at position 3"},
      {u"0x1F", u"Invalid Hexadecimal Character 'x' at position 2"},
      {u"00112233445566778899AABBCCDDEEFZ", u"Invalid Hexadecimal Character 'Z' at position 32"},
      {u"4\n", u"Invalid Hexadecimal Character U+000A at position 2"},
      // The low byte of U+0134 is '4': the whole character is judged, not its low byte.
      {u"4A\u01341", u"Invalid Hexadecimal Character U+0134 at position 3"},
  };
  TConvert c;
  for (const auto& tc : cases) {
    SCOPED_TRACE(testing::PrintToString(tc.hex));
    EXPECT_EQ(ThrownMessage<platform::Exception>([&] { c.ToCharString(tc.hex); }), tc.message);
    EXPECT_EQ(ThrownMessage<platform::Exception>([&] { c.FormatToChar(tc.hex); }), tc.message);
    string out = u"previous";
    EXPECT_THROW(c.ToCharString(tc.hex, out), platform::Exception);
    EXPECT_EQ(out, u"previous");
    TBytes array(4, 0xEE);
    EXPECT_THROW(c.ToCharString(tc.hex, array), platform::Exception);
    EXPECT_EQ(array, TBytes(4, 0xEE));
  }
}

TEST(TConvertHex, ArrayFormsNeverWritePastOrResizeTheArray) {
  TConvert c;
  TBytes shortArray(3, 0xEE);
  EXPECT_THROW(c.ToHexString(B("\x12\x34"), shortArray), platform::Exception);
  EXPECT_EQ(shortArray, TBytes(3, 0xEE));
  TBytes longArray(6, 0xEE);
  c.ToHexString(B("\x12\x34"), longArray);
  EXPECT_EQ(longArray, (TBytes{'1', '2', '3', '4', 0xEE, 0xEE}));

  TBytes oneByte(1, 0xEE);
  EXPECT_THROW(c.ToCharString(u"1234", oneByte), platform::Exception);
  EXPECT_EQ(oneByte, TBytes(1, 0xEE));
  TBytes threeBytes(3, 0xEE);
  c.ToCharString(u"1234", threeBytes);
  EXPECT_EQ(threeBytes, (TBytes{0x12, 0x34, 0xEE}));
}

// ---- Byte strings and UTF-8 ----

TEST(TConvertBytes, StringToByteArrayNoUniAndYesUni) {
  const string text = u"\u00E9\u20AC";
  EXPECT_EQ(TConvert::StringToByteArray(text), (TBytes{0xE9, 0xAC}));
  EXPECT_EQ(TConvert::StringToTBytes(text), (TBytes{0xE9, 0xAC}));
  EXPECT_EQ(TConvert::StringToByteArray(text, MiscObj::noUni), (TBytes{0xE9, 0xAC}));
  EXPECT_EQ(TConvert::StringToByteArray(text, static_cast<MiscObj::TUnicode>(5)), (TBytes{0xE9, 0xAC}));
  EXPECT_EQ(TConvert::StringToByteArray(text, MiscObj::yesUni), (TBytes{0xC3, 0xA9, 0xE2, 0x82, 0xAC}));
  EXPECT_EQ(TConvert::UnicodeToByteArray(u"\U0001F600"), (TBytes{0xF0, 0x9F, 0x98, 0x80}));
  // An unpaired surrogate cannot be encoded: it becomes U+FFFD.
  EXPECT_EQ(TConvert::UnicodeToByteArray(string(1, char16_t{0xD800}) + u"a"), (TBytes{0xEF, 0xBF, 0xBD, 'a'}));
  EXPECT_TRUE(TConvert::StringToByteArray(u"").empty());
}

TEST(TConvertBytes, ByteArraysToByteStrings) {
  const string expected = string(1, u'\0') + u"\u00FF";
  EXPECT_EQ(TConvert::TBytesToString(TBytes{0x00, 0xFF}), expected);
  const std::array<std::uint8_t, 2> fixed{0x00, 0xFF};
  EXPECT_EQ(TConvert::ByteArrayToString(fixed), expected);
  EXPECT_EQ(TConvert::TBytesToString(TBytes{}), u"");
}

TEST(TConvertBytes, StringToUnicodeIsStrict) {
  EXPECT_EQ(TConvert::StringToUnicode(B("\xC3\xA9")), u"\u00E9");
  EXPECT_EQ(TConvert::StringToUnicode(u""), u"");
  for (std::string_view bad : {"\xFF", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "a\x80"}) {
    SCOPED_TRACE(testing::PrintToString(std::string(bad)));
    EXPECT_EQ(ThrownMessage<platform::EEncodingError>([&] { TConvert::StringToUnicode(B(bad)); }),
              platform::kNoMappingMessage);
  }
  // The inverse pairs the component relies on.
  const string text = u"h\u00E9\u20AC\U0001F600";
  EXPECT_EQ(TConvert::StringToUnicode(TConvert::TBytesToString(TConvert::StringToByteArray(text, MiscObj::yesUni))),
            text);
  const string bytes = u"\u00E9\u00FFa";
  EXPECT_EQ(TConvert::TBytesToString(TConvert::StringToByteArray(bytes, MiscObj::noUni)), bytes);
}

TEST(TConvertBytes, TestUnicodeFindsCodeUnitsAboveFF) {
  struct Case {
    string text;
    platform::Integer result;
  } cases[] = {{u"", 0}, {u"\u00E9", 0}, {u"abc\u00FF", 0}, {u"\u20AC", 1}, {u"ab\u0100", 1}};
  for (const auto& tc : cases) EXPECT_EQ(TConvert::TestUnicode(tc.text), tc.result) << testing::PrintToString(tc.text);
}

}  // namespace
