// TConvert: every decoder, the encoders' round trips, the twelve cross conversions and UTF-8.
// Input: byte 0 picks the operation, byte 1 its variant (bit 7: text of two bytes per code unit),
// the rest is the text or the bytes.
#include <array>
#include <cstdint>

#include "FuzzSupport.h"
#include "crypto/support/MiscObj.h"

namespace {

using namespace fuzz_support;
using MiscObj::TConvert;
using MiscObj::TConvertType;

using Decoder = void (TConvert::*)(const string&, string&);
using Encoder = void (TConvert::*)(const string&, string&);

struct TCodec {
  Decoder decode;
  Encoder encode;
  std::size_t groupChars;  // characters per group
  std::size_t groupBytes;  // bytes per group
};
constexpr std::array<TCodec, 3> kCodecs = {{
    {&TConvert::Base64ToChar, &TConvert::ToBase64String, 4, 3},
    {&TConvert::Base64urlToChar, &TConvert::ToBase64urlString, 4, 3},
    {&TConvert::Base32ToChar, &TConvert::ToBase32String, 8, 5},
}};

// A decoder's message names the character at fault or a length, never the text (often a key or
// a decrypted plain text): it does not grow with the text.
void CheckMessageQuotesNoText(const platform::Exception& e) { FUZZ_CHECK(e.Message().size() < 96); }

string Stripped(TConvert& c, const string& text) {
  string t;
  c.FormatBeforeConvert(text, t);
  return t;
}

// A direct decoder: what it accepts re-encodes to the same text up to the unused bits of the
// last character, and decodes back; what it rejects leaves the output untouched.
void DecodeDirect(const TCodec& codec, const string& text) {
  TConvert c;
  string out = u"\uFFFF";
  try {
    (c.*codec.decode)(text, out);
  } catch (const platform::Exception& e) {
    FUZZ_CHECK(out == u"\uFFFF");
    CheckMessageQuotesNoText(e);
    return;
  }
  FUZZ_CHECK(IsByteString(out));
  const string t = Stripped(c, text);
  FUZZ_CHECK(out.size() <= t.size() / codec.groupChars * codec.groupBytes);
  string again;
  (c.*codec.encode)(out, again);
  string back;
  (c.*codec.decode)(again, back);
  FUZZ_CHECK(back == out);
  if (t.size() % codec.groupChars == 0) {
    // A well-formed text differs from the canonical encoding of its bytes at most in the last
    // character before the padding, whose low bits carry no byte.
    FUZZ_CHECK(again.size() == t.size());
    std::size_t last = t.size();
    while (last > 0 && t[last - 1] == u'=') --last;
    for (std::size_t i = 0; i < t.size(); ++i)
      if (i + 1 != last) FUZZ_CHECK(again[i] == t[i]);
  }
}

void DecodeHex(const string& text) {
  TConvert c;
  string out = u"\uFFFF";
  try {
    c.ToCharString(text, out);
  } catch (const platform::Exception& e) {
    FUZZ_CHECK(out == u"\uFFFF");
    CheckMessageQuotesNoText(e);
    return;
  }
  FUZZ_CHECK(out.size() * 2 == text.size());
  string upper = text;
  for (char16_t& ch : upper)
    if (ch >= u'a' && ch <= u'f') ch = static_cast<char16_t>(ch - u'a' + u'A');
  FUZZ_CHECK(c.ToHexString(out) == upper);
}

// FormatToChar: an accepted text's bytes survive a round trip through the format; the format
// of the instance never changes.
void FormatToChar(TConvertType type, const string& text) {
  TConvert c(type);
  string bytes;
  try {
    bytes = c.FormatToChar(text);
  } catch (const platform::Exception& e) {
    FUZZ_CHECK(c.AType() == type);
    CheckMessageQuotesNoText(e);
    return;
  }
  FUZZ_CHECK(c.AType() == type);
  if (type == MiscObj::raw) {
    FUZZ_CHECK(bytes == text);
    return;
  }
  FUZZ_CHECK(IsByteString(bytes));
  FUZZ_CHECK(c.FormatToChar(c.CharToFormat(bytes)) == bytes);
}

// Encoding any byte string gives text of the announced length that decodes to the same bytes,
// also with line breaks inserted every `every` characters.
void EncodeRoundTrip(TConvertType type, const string& text, std::size_t every) {
  TConvert c(type);
  string bytes;
  for (char16_t ch : text) bytes += static_cast<char16_t>(ch & 0xFF);
  const string encoded = c.CharToFormat(text);
  const auto n = static_cast<platform::Integer>(bytes.size());
  FUZZ_CHECK(static_cast<platform::Integer>(encoded.size()) == c.OutputFormatLength(n));
  FUZZ_CHECK(c.CharLength(encoded) == n);
  FUZZ_CHECK(c.FormatToChar(encoded) == bytes);
  if (type == MiscObj::hexa || every == 0) return;
  string broken;
  for (std::size_t i = 0; i < encoded.size(); i += every) broken += encoded.substr(i, every) + u"\r\n";
  FUZZ_CHECK(c.FormatToChar(broken) == bytes);
}

struct TCross {
  string (TConvert::*convert)(const string&);
  TConvertType source, target;
};
constexpr std::array<TCross, 12> kCross = {{
    {&TConvert::Base64ToHexa, MiscObj::base64, MiscObj::hexa},
    {&TConvert::HexaToBase64, MiscObj::hexa, MiscObj::base64},
    {&TConvert::Base64ToBase64url, MiscObj::base64, MiscObj::base64url},
    {&TConvert::Base64urlToBase64, MiscObj::base64url, MiscObj::base64},
    {&TConvert::Base64urlToHexa, MiscObj::base64url, MiscObj::hexa},
    {&TConvert::HexaToBase64url, MiscObj::hexa, MiscObj::base64url},
    {&TConvert::Base32ToHexa, MiscObj::base32, MiscObj::hexa},
    {&TConvert::HexaToBase32, MiscObj::hexa, MiscObj::base32},
    {&TConvert::Base32ToBase64url, MiscObj::base32, MiscObj::base64url},
    {&TConvert::Base64urlToBase32, MiscObj::base64url, MiscObj::base32},
    {&TConvert::Base32ToBase64, MiscObj::base32, MiscObj::base64},
    {&TConvert::Base64ToBase32, MiscObj::base64, MiscObj::base32},
}};

// A cross conversion gives the bytes the source text stands for, written in the target format,
// and puts the instance's format back whatever happens.
void Cross(const TCross& cross, const string& text, TConvertType own) {
  TConvert c(own);
  string result;
  try {
    result = (c.*cross.convert)(text);
  } catch (const platform::Exception&) {
    FUZZ_CHECK(c.AType() == own);
    return;
  }
  FUZZ_CHECK(c.AType() == own);
  TConvert source(cross.source);
  const string bytes = source.FormatToChar(text);  // accepted by the conversion, so accepted here
  TConvert target(cross.target);
  FUZZ_CHECK(target.FormatToChar(result) == bytes);
  FUZZ_CHECK(target.CharToFormat(bytes) == result);
}

// Strict UTF-8: what decodes re-encodes to the same bytes; anything else is an encoding error.
void Utf8Decode(const TBytes& bytes) {
  string text;
  try {
    text = TConvert::StringToUnicode(ByteString(bytes));
  } catch (const platform::EEncodingError&) {
    return;
  }
  FUZZ_CHECK(TConvert::UnicodeToByteArray(text) == bytes);
}

// UTF-8 encoding of any UTF-16 text decodes back to it, each unpaired surrogate as U+FFFD.
void Utf8Encode(const string& text) {
  string expected;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t ch = text[i];
    const bool high = ch >= 0xD800 && ch <= 0xDBFF, low = ch >= 0xDC00 && ch <= 0xDFFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      expected += ch;
      expected += text[++i];
    } else {
      expected += (high || low) ? u'\uFFFD' : ch;
    }
  }
  const TBytes utf8 = TConvert::UnicodeToByteArray(text);
  FUZZ_CHECK(TConvert::StringToUnicode(ByteString(utf8)) == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TFuzzReader in(data, size);
  const std::uint8_t op = in.Byte();
  const std::uint8_t variant = in.Byte();
  const bool wide = variant & 0x80;
  switch (op % 7) {
    case 0:
      DecodeDirect(kCodecs[variant % kCodecs.size()], RestText(in, wide));
      break;
    case 1:
      DecodeHex(RestText(in, wide));
      break;
    case 2:
      FormatToChar(static_cast<TConvertType>(variant % 5), RestText(in, wide));
      break;
    case 3: {
      const std::size_t every = in.Byte() % 80;
      EncodeRoundTrip(static_cast<TConvertType>(variant % 4), RestText(in, wide), every);
      break;
    }
    case 4:
      Cross(kCross[variant % kCross.size()], RestText(in, wide), static_cast<TConvertType>(variant / 12 % 5));
      break;
    case 5:
      Utf8Decode(in.Rest());
      break;
    case 6:
      Utf8Encode(RestText(in, true));
      break;
  }
  return 0;
}
