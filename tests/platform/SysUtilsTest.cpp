// UTF-8 conversion, the exception classes and message formatting.
#include <gtest/gtest.h>

#include <string>

#include "platform/SysUtils.h"

namespace {

using platform::DecodeUTF8;
using platform::EEncodingError;
using platform::EncodeUTF8;
using platform::TBytes;

struct TUtf8Case {
  std::u16string Text;
  TBytes Bytes;
};

// Well-formed text and its UTF-8 form, at the borders of every sequence length.
const TUtf8Case kValid[] = {
    {u"", {}},
    {std::u16string(1, u'\0'), {0x00}},
    {u"A~", {0x41, 0x7E}},
    {u"\u007F\u0080", {0x7F, 0xC2, 0x80}},
    {u"\u00E9", {0xC3, 0xA9}},
    {u"\u07FF\u0800", {0xDF, 0xBF, 0xE0, 0xA0, 0x80}},
    {u"\u20AC", {0xE2, 0x82, 0xAC}},
    {u"\uD7FF\uE000\uFFFF", {0xED, 0x9F, 0xBF, 0xEE, 0x80, 0x80, 0xEF, 0xBF, 0xBF}},
    // Surrogate pairs become one 4-byte sequence.
    {u"\xD800\xDC00", {0xF0, 0x90, 0x80, 0x80}},
    {u"\xD83D\xDE00", {0xF0, 0x9F, 0x98, 0x80}},
    {u"\xDBFF\xDFFF", {0xF4, 0x8F, 0xBF, 0xBF}},
    {u"a\xD83D\xDE00z", {0x61, 0xF0, 0x9F, 0x98, 0x80, 0x7A}},
};

TEST(PlatformUtf8, EncodesAndDecodesWellFormedText) {
  for (const TUtf8Case& c : kValid) {
    SCOPED_TRACE(testing::PrintToString(c.Text));
    EXPECT_EQ(EncodeUTF8(c.Text), c.Bytes);
    EXPECT_EQ(platform::ToUTF8String(c.Text), std::string(c.Bytes.begin(), c.Bytes.end()));
    EXPECT_EQ(DecodeUTF8(c.Bytes), c.Text);
    EXPECT_EQ(platform::FromUTF8(std::string(c.Bytes.begin(), c.Bytes.end())), c.Text);
  }
}

TEST(PlatformUtf8, UnpairedSurrogateEncodesAsReplacementCharacter) {
  const TUtf8Case cases[] = {
      {u"\xD83D", {0xEF, 0xBF, 0xBD}},                                  // high at the end
      {u"\xDE00", {0xEF, 0xBF, 0xBD}},                                  // low alone
      {u"\xD83D" u"A", {0xEF, 0xBF, 0xBD, 0x41}},                       // high before a non-surrogate
      {u"\xDE00\xD83D", {0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD}},          // pair in the wrong order
      {u"\xD83D\xD83D\xDE00", {0xEF, 0xBF, 0xBD, 0xF0, 0x9F, 0x98, 0x80}},  // second high pairs
  };
  for (const TUtf8Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.Text));
    EXPECT_EQ(EncodeUTF8(c.Text), c.Bytes);
  }
}

TEST(PlatformUtf8, StrictDecoderRejectsMalformedInput) {
  const TBytes bad[] = {
      {0xC0, 0x80},              // overlong NUL
      {0xC1, 0xBF},              // overlong 2-byte form
      {0xE0, 0x80, 0x80},        // overlong 3-byte form
      {0xE0, 0x9F, 0xBF},        // U+07FF in three bytes
      {0xF0, 0x8F, 0xBF, 0xBF},  // U+FFFF in four bytes
      {0xED, 0xA0, 0x80},        // surrogate U+D800
      {0xED, 0xBF, 0xBF},        // surrogate U+DFFF
      {0xED, 0xA0, 0xBD, 0xED, 0xB8, 0x80},  // a surrogate pair encoded as two sequences
      {0xF4, 0x90, 0x80, 0x80},  // U+110000
      {0xF5, 0x80, 0x80, 0x80},  // lead byte beyond U+10FFFF
      {0xFF},
      {0x80},                    // stray continuation byte
      {0x41, 0xBF},
      {0xC3},                    // truncated sequences
      {0xE2, 0x82},
      {0xF0, 0x9F, 0x98},
      {0x41, 0x42, 0xE2},
      {0xC3, 0x41},              // missing continuation bytes
      {0xE2, 0x28, 0xA1},
      {0xF0, 0x9F, 0x98, 0x41},
  };
  for (const TBytes& bytes : bad) {
    SCOPED_TRACE(testing::PrintToString(bytes));
    try {
      DecodeUTF8(bytes);
      ADD_FAILURE() << "decoded without error";
    } catch (const EEncodingError& e) {
      EXPECT_EQ(e.Message(), u"No mapping for the Unicode character exists in the target multi-byte code page");
      EXPECT_STREQ(e.what(), "No mapping for the Unicode character exists in the target multi-byte code page");
    }
  }
}

TEST(PlatformExceptions, MessageAndFormat) {
  const platform::Exception e(u"Fichier \u00E9 \xD83D\xDE00");
  EXPECT_EQ(e.Message(), u"Fichier \u00E9 \xD83D\xDE00");
  EXPECT_STREQ(e.what(), "Fichier \xC3\xA9 \xF0\x9F\x98\x80");

  // Derived classes are caught as the general exception.
  EXPECT_THROW(throw platform::EConvertError(u"x"), platform::Exception);

  EXPECT_EQ(platform::Exception::Format(u"Bad Type (%d)", {u"7"}), u"Bad Type (7)");
  EXPECT_EQ(platform::Exception::Format(u"Invalid Base64 String : '%s'", {u"a%d"}), u"Invalid Base64 String : 'a%d'");
  EXPECT_EQ(platform::Exception::Format(u"%s-%d and %x%", {u"a", u"-1"}), u"a--1 and %x%");

  EXPECT_EQ(platform::IntToStr(0), u"0");
  EXPECT_EQ(platform::IntToStr(-208), u"-208");
  EXPECT_EQ(platform::IntToStr(INT64_MIN), u"-9223372036854775808");
}

}  // namespace
