// TConvert: base64, base64url and base32 encoders and decoders, and the cross conversions.
#include <gtest/gtest.h>

#include "ByteString.h"
#include <openssl/evp.h>

#include <functional>
#include <random>
#include <string>
#include <string_view>

#include "crypto/support/MiscObj.h"

namespace {

using MiscObj::TConvert;
using MiscObj::TConvertType;
using platform::string;

using testing_support::B;

template <class F>
string ThrownMessage(F&& f) {
  try {
    f();
  } catch (const platform::Exception& e) {
    return e.Message();
  }
  ADD_FAILURE() << "no exception raised";
  return u"";
}

string RandomBytes(std::mt19937& rng, std::size_t n) {
  std::uniform_int_distribution<int> byte(0, 255);
  string s;
  for (std::size_t i = 0; i < n; ++i) s += static_cast<char16_t>(byte(rng));
  return s;
}

using Encoder = void (TConvert::*)(const string&, string&);
using Decoder = void (TConvert::*)(const string&, string&);

// RFC 4648 section 10, plus bytes that reach the two special characters of each alphabet.
struct Vector {
  string bytes, b64, b64url, b32;
};
const Vector kVectors[] = {
    {u"", u"", u"", u""},
    {u"f", u"Zg==", u"Zg==", u"MY======"},
    {u"fo", u"Zm8=", u"Zm8=", u"MZXQ===="},
    {u"foo", u"Zm9v", u"Zm9v", u"MZXW6==="},
    {u"foob", u"Zm9vYg==", u"Zm9vYg==", u"MZXW6YQ="},
    {u"fooba", u"Zm9vYmE=", u"Zm9vYmE=", u"MZXW6YTB"},
    {u"foobar", u"Zm9vYmFy", u"Zm9vYmFy", u"MZXW6YTBOI======"},
    {B("\xFB\xFF"), u"+/8=", u"-_8=", u"7P7Q===="},
    {B("\xFF\xFF\xFF"), u"////", u"____", u"77776==="},
};

TEST(TConvertCodecs, KnownVectorsEncodeAndDecode) {
  struct Codec {
    const char* name;
    Encoder encode;
    Decoder decode;
    string Vector::*text;
  } codecs[] = {
      {"base64", &TConvert::ToBase64String, &TConvert::Base64ToChar, &Vector::b64},
      {"base64url", &TConvert::ToBase64urlString, &TConvert::Base64urlToChar, &Vector::b64url},
      {"base32", &TConvert::ToBase32String, &TConvert::Base32ToChar, &Vector::b32},
  };
  TConvert c;
  for (const auto& codec : codecs) {
    for (const auto& v : kVectors) {
      SCOPED_TRACE(std::string(codec.name) + " " + testing::PrintToString(v.*codec.text));
      string out = u"previous";
      (c.*codec.encode)(v.bytes, out);
      EXPECT_EQ(out, v.*codec.text);
      out = u"previous";
      (c.*codec.decode)(v.*codec.text, out);
      EXPECT_EQ(out, v.bytes);
    }
  }
}

TEST(TConvertCodecs, EncodersReadOnlyTheLowByte) {
  TConvert c;
  string out;
  c.ToBase64String(u"\u01FB\u20FF", out);
  EXPECT_EQ(out, u"+/8=");
  c.ToBase32String(u"\u0166\u016F", out);
  EXPECT_EQ(out, u"MZXQ====");
}

TEST(TConvertCodecs, DecodersDropBlanksAndReadWholeGroups) {
  struct Case {
    Decoder decode;
    string text, bytes;
  } cases[] = {
      {&TConvert::Base64ToChar, u" QU\tJD\r\n", u"ABC"},
      {&TConvert::Base64ToChar, u"QUJDRA", u"ABC"},  // an incomplete last group is not decoded
      {&TConvert::Base64ToChar, u"QUJD!R A", u"ABC"},
      {&TConvert::Base32ToChar, u"MZXW6YQ=\n", u"foob"},
      // Shorter than one group once blanks are gone: nothing to decode.
      {&TConvert::Base64ToChar, u"QQ", u""},
      {&TConvert::Base64ToChar, u"\r\n", u""},
      {&TConvert::Base64urlToChar, u"Q Q", u""},
      {&TConvert::Base32ToChar, u"MZXW6", u""},
      {&TConvert::Base32ToChar, u"MZX W6YQ", u""},
  };
  TConvert c;
  for (const auto& tc : cases) {
    SCOPED_TRACE(testing::PrintToString(tc.text));
    string out = u"previous";
    (c.*tc.decode)(tc.text, out);
    EXPECT_EQ(out, tc.bytes);
  }
}

// A character outside the alphabet or a '=' that is not the final group's padding would decode
// as other bytes than the writer meant; every such text raises and leaves the output untouched.
// The message names the character at fault and its place in the caller's text, or the length the
// padding does not fit, and never the text itself (often a key or a decrypted plain text).
TEST(TConvertCodecs, DecodersRejectMalformedText) {
  struct Case {
    Decoder decode;
    string text, message;
  } cases[] = {
      {&TConvert::Base64ToChar, u"-A==", u"Invalid Base64 String : character '-' at position 1"},
      {&TConvert::Base64ToChar, u"QQ=A", u"Invalid Base64 String : character '=' at position 3"},
      {&TConvert::Base64ToChar, u"Q===", u"Invalid Base64 String : padding does not fit a length of 4"},
      {&TConvert::Base64ToChar, u"QQ==QQ==", u"Invalid Base64 String : character '=' at position 3"},
      // padding short of a group
      {&TConvert::Base64ToChar, u"QUJDQQ=", u"Invalid Base64 String : padding does not fit a length of 7"},
      // after the last group
      {&TConvert::Base64ToChar, u"QUJD-", u"Invalid Base64 String : character '-' at position 5"},
      {&TConvert::Base64ToChar, u"-_8=", u"Invalid Base64 String : character '-' at position 1"},
      {&TConvert::Base64urlToChar, u"+/8=", u"Invalid Base64url String : character '+' at position 1"},
      {&TConvert::Base64ToChar, u"QUJ\u00E9", u"Invalid Base64 String : character U+00E9 at position 4"},
      // positions count the blanks the decoder dropped; the length does not
      {&TConvert::Base64ToChar, u"QU\r\nJ{", u"Invalid Base64 String : character '{' at position 6"},
      {&TConvert::Base64ToChar, u"QU\r\nJD Q=", u"Invalid Base64 String : padding does not fit a length of 6"},
      {&TConvert::Base64ToChar, u"\u0141UJDQUJD", u"Invalid Base64 String : character U+0141 at position 1"},
      {&TConvert::Base64urlToChar, u"QUJ~", u"Invalid Base64url String : character '~' at position 4"},
      {&TConvert::Base32ToChar, u"01234567", u"Invalid Base32 String : character '0' at position 1"},
      {&TConvert::Base32ToChar, u"mzxw6===", u"Invalid Base32 String : character 'm' at position 1"},
      // no group ends in "=="
      {&TConvert::Base32ToChar, u"MZXW6Y==", u"Invalid Base32 String : padding does not fit a length of 8"},
      {&TConvert::Base32ToChar, u"M=======", u"Invalid Base32 String : padding does not fit a length of 8"},
      {&TConvert::Base32ToChar, u"MZXW6YTBOI=====a", u"Invalid Base32 String : character '=' at position 11"},
      {&TConvert::Base32ToChar, u"MZXW 6YT[", u"Invalid Base32 String : character '[' at position 9"},
  };
  TConvert c;
  for (const auto& tc : cases) {
    SCOPED_TRACE(testing::PrintToString(tc.text));
    string out = u"previous";
    EXPECT_EQ(ThrownMessage([&] { (c.*tc.decode)(tc.text, out); }), tc.message);
    EXPECT_EQ(out, u"previous");
  }
}

// FormatToChar pads unpadded text, but no padding makes these well formed.
TEST(TConvertCodecs, FormatToCharRejectsWhatPaddingCannotMend) {
  struct Case {
    TConvertType type;
    string text;
  } cases[] = {
      {MiscObj::base64, u"-A"},      {MiscObj::base64, u"QQ=A"},         {MiscObj::base64, u"Q"},
      {MiscObj::base64url, u"Q"},    {MiscObj::base32, u"01234567"},     {MiscObj::base32, u"M"},
      {MiscObj::base32, u"MZXW6Y"},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(testing::PrintToString(tc.text));
    TConvert c(tc.type);
    EXPECT_THROW(c.FormatToChar(tc.text), platform::Exception);
  }
}

// Every road to a decoder names the position in the text the caller gave, blanks and line
// breaks counted, though the decoder reads the text without them.
TEST(TConvertCodecs, PositionsCountTheCallersText) {
  struct Case {
    const char* road;
    std::function<void()> run;
    string message;
  };
  TConvert b64(MiscObj::base64), b64url(MiscObj::base64url), b32(MiscObj::base32), hex(MiscObj::hexa);
  const Case cases[] = {
      {"FormatToChar", [&] { b64.FormatToChar(u"QU\r\nJD,EFG"); }, u"Invalid Base64 String : character ',' at position 7"},
      {"FormatToChar, base64url", [&] { b64url.FormatToChar(u" \tQUJD+A"); },
       u"Invalid Base64url String : character '+' at position 7"},
      {"FormatToChar, base32", [&] { b32.FormatToChar(u"MZ XW\n6y"); }, u"Invalid Base32 String : character 'y' at position 8"},
      {"FormatToString", [&] { b64.FormatToString(u"QU JD\n\n~"); }, u"Invalid Base64 String : character '~' at position 8"},
      {"Base64ToHexa", [&] { hex.Base64ToHexa(u"QU\r\nJD,EFG"); }, u"Invalid Base64 String : character ',' at position 7"},
      {"Base32ToBase64url", [&] { hex.Base32ToBase64url(u"MZXW 6YT[ "); },
       u"Invalid Base32 String : character '[' at position 9"},
      {"Base64urlToBase32", [&] { hex.Base64urlToBase32(u"QU\nJ/"); }, u"Invalid Base64url String : character '/' at position 5"},
      {"key byte order", [&] { b64.KeyRSAOpenSSLToKeyTRSAEncSign(u"AAEC\r\nAw*="); },
       u"Invalid Base64 String : character '*' at position 9"},
      {"key byte order, base32", [&] { b32.KeyTRSAEncSignToKeyRSAOpenSSL(u"AE BA 1"); },
       u"Invalid Base32 String : character '1' at position 7"},
  };
  for (const auto& c : cases) EXPECT_EQ(ThrownMessage(c.run), c.message) << c.road;
}

TEST(TConvertCodecs, FormatBeforeConvertDropsBlanksControlsAndBang) {
  TConvert c;
  string out = u"previous";
  c.FormatBeforeConvert(u" a\tb\r\nc!d\u0001e\u0120f\u0122", out);
  EXPECT_EQ(out, u"abcdef\u0122");
}

TEST(TConvertCodecs, LineBrokenBase64DecodesLikeUnbroken) {
  std::mt19937 rng(7);
  const string bytes = RandomBytes(rng, 300);
  TConvert c(MiscObj::base64);
  string text;
  c.ToBase64String(bytes, text);
  string broken;
  for (std::size_t i = 0; i < text.size(); i += 64) broken += text.substr(i, 64) + u"\r\n";
  string out;
  c.Base64ToChar(broken, out);
  EXPECT_EQ(out, bytes);
  EXPECT_EQ(c.FormatToChar(broken), bytes);
}

TEST(TConvertCodecs, RandomBytesRoundTripInEveryEncoding) {
  std::mt19937 rng(11);
  for (TConvertType type : {MiscObj::base64, MiscObj::base64url, MiscObj::base32}) {
    TConvert c(type);
    for (std::size_t n = 0; n <= 64; ++n) {
      SCOPED_TRACE(std::to_string(type) + " length " + std::to_string(n));
      const string bytes = RandomBytes(rng, n);
      EXPECT_EQ(c.FormatToChar(c.CharToFormat(bytes)), bytes);
    }
  }
}

// Our base64 against an independent implementation on random byte strings.
TEST(TConvertCodecs, Base64MatchesLibcrypto) {
  std::mt19937 rng(2024);
  TConvert c(MiscObj::base64);
  for (std::size_t n = 0; n <= 300; ++n) {
    SCOPED_TRACE("length " + std::to_string(n));
    const string bytes = RandomBytes(rng, n);
    const platform::TBytes raw = TConvert::StringToByteArray(bytes);

    std::string theirs(4 * ((n + 2) / 3) + 1, '\0');
    const int encodedLength = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(theirs.data()), raw.data(),
                                              static_cast<int>(raw.size()));
    theirs.resize(static_cast<std::size_t>(encodedLength));
    string ours;
    c.ToBase64String(bytes, ours);
    EXPECT_EQ(ours, B(theirs));

    string decoded;
    c.Base64ToChar(B(theirs), decoded);
    EXPECT_EQ(decoded, bytes);

    // EVP_DecodeBlock keeps the zero bytes that stand for padding; drop them.
    const std::string oursAscii(ours.begin(), ours.end());
    platform::TBytes back(oursAscii.size() / 4 * 3 + 1);
    const int decodedLength = EVP_DecodeBlock(back.data(), reinterpret_cast<const unsigned char*>(oursAscii.data()),
                                              static_cast<int>(oursAscii.size()));
    ASSERT_GE(decodedLength, 0);
    const std::size_t pad = oursAscii.ends_with("==") ? 2 : oursAscii.ends_with('=') ? 1 : 0;
    back.resize(static_cast<std::size_t>(decodedLength) - pad);
    EXPECT_EQ(back, raw);
  }
}

// ---- Cross conversions ----

using Cross = string (TConvert::*)(const string&);

struct CrossCase {
  const char* name;
  Cross convert;
  string Vector::*source;
  string Vector::*target;
};

// The hexadecimal text of a vector's bytes.
string HexOf(const Vector& v) { return TConvert().ToHexString(v.bytes); }

const CrossCase kCross[] = {
    {"Base64ToHexa", &TConvert::Base64ToHexa, &Vector::b64, nullptr},
    {"HexaToBase64", &TConvert::HexaToBase64, nullptr, &Vector::b64},
    {"Base64ToBase64url", &TConvert::Base64ToBase64url, &Vector::b64, &Vector::b64url},
    {"Base64urlToBase64", &TConvert::Base64urlToBase64, &Vector::b64url, &Vector::b64},
    {"Base64urlToHexa", &TConvert::Base64urlToHexa, &Vector::b64url, nullptr},
    {"HexaToBase64url", &TConvert::HexaToBase64url, nullptr, &Vector::b64url},
    {"Base32ToHexa", &TConvert::Base32ToHexa, &Vector::b32, nullptr},
    {"HexaToBase32", &TConvert::HexaToBase32, nullptr, &Vector::b32},
    {"Base32ToBase64url", &TConvert::Base32ToBase64url, &Vector::b32, &Vector::b64url},
    {"Base64urlToBase32", &TConvert::Base64urlToBase32, &Vector::b64url, &Vector::b32},
    {"Base32ToBase64", &TConvert::Base32ToBase64, &Vector::b32, &Vector::b64},
    {"Base64ToBase32", &TConvert::Base64ToBase32, &Vector::b64, &Vector::b32},
};

// A null member stands for the hexadecimal text.
string TextOf(const Vector& v, string Vector::*member) { return member ? v.*member : HexOf(v); }

TEST(TConvertCross, ReencodeAndRestoreTheFormat) {
  TConvert c(MiscObj::raw);
  for (const auto& cross : kCross) {
    for (const auto& v : kVectors) {
      const string source = TextOf(v, cross.source);
      SCOPED_TRACE(std::string(cross.name) + " " + testing::PrintToString(source));
      EXPECT_EQ((c.*cross.convert)(source), TextOf(v, cross.target));
      // The source may come without padding.
      string unpadded = source;
      while (!unpadded.empty() && unpadded.back() == u'=') unpadded.pop_back();
      EXPECT_EQ((c.*cross.convert)(unpadded), TextOf(v, cross.target));
      EXPECT_EQ(c.AType(), MiscObj::raw);
    }
  }
}

TEST(TConvertCross, FailureLeavesTheFormatUnchanged) {
  // Malformed text for each source format, and the message it raises.
  const auto badFor = [](string Vector::*source) -> std::pair<string, string> {
    if (source == &Vector::b64) return {u"QU\u00E9D", u"Invalid Base64 String : character U+00E9 at position 3"};
    if (source == &Vector::b64url) return {u"QU\u00E9D", u"Invalid Base64url String : character U+00E9 at position 3"};
    if (source == &Vector::b32) return {u"mzxw6===", u"Invalid Base32 String : character 'm' at position 1"};
    return {u"abc", u"Invalid Hexadecimal String Length (must be even): 3"};
  };
  for (const auto& cross : kCross) {
    SCOPED_TRACE(cross.name);
    TConvert c(MiscObj::base32);
    const auto bad = badFor(cross.source);
    EXPECT_EQ(ThrownMessage([&] { (c.*cross.convert)(bad.first); }), bad.second);
    EXPECT_EQ(c.AType(), MiscObj::base32);
  }
  TConvert c(MiscObj::base64url);
  EXPECT_EQ(ThrownMessage([&] { c.HexaToBase32(u"4G"); }), u"Invalid Hexadecimal Character 'G' at position 2");
  EXPECT_EQ(c.AType(), MiscObj::base64url);
}

}  // namespace
