// TConvert: construction, the format dispatch, lengths, the hexadecimal codec and the
// conversions between byte strings, byte arrays and UTF-8. The base64/base32 codecs and the
// cross conversions are in MiscObjCodecs.cpp.
#include "crypto/support/MiscObj.h"
#include "platform/Memory.h"

#include <cstddef>
#include <limits>

namespace MiscObj {

using platform::Exception;
using platform::IntToStr;

// ---- ESelvane ----

ESelvane::ESelvane(const string& errorMessag) : Exception(errorMessag) {}

ESelvane ESelvane::CreateFmt(std::u16string_view format, std::initializer_list<string> args) {
  return ESelvane(Exception::Format(format, args));
}

// ---- Construction and the published property ----

TConvert::TConvert(platform::TComponent* AOwner) : TOrvoCryptBase(AOwner) {}

TConvert::TConvert() : TOrvoCryptBase(nullptr) {}

TConvert::TConvert(TConvertType AType) : TOrvoCryptBase(nullptr), FType(AType) {}

platform::TPropertyList TConvert::PublishedProperties() const {
  platform::TPropertyList list = TOrvoCryptBase::PublishedProperties();
  list.push_back(platform::EnumProperty<TConvert, TConvertType>(
      "AType", {u"base64", u"hexa", u"base64url", u"base32", u"raw"},
      [](const TConvert& c) { return c.AType(); }, [](TConvert& c, TConvertType v) { c.SetAType(v); },
      hexa));
  return list;
}

namespace {

[[noreturn]] void RaiseBadType(TConvertType type) {
  throw ESelvane::CreateFmt(u"Bad Type (%d)", {IntToStr(static_cast<int>(type))});
}

constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

// The value of a hexadecimal digit of either case, or -1 for any other code unit. The whole
// code unit is examined, so U+0134 is not taken for '4'.
int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// The bad character of a hexadecimal text and its position (1 for the first), never the text
// itself: that text is often a key.
[[noreturn]] void RaiseBadHexCharacter(char16_t c, std::size_t index) {
  throw Exception(Exception::Format(u"Invalid Hexadecimal Character %s at position %d",
                                    {platform::ShownCharacter(c), IntToStr(static_cast<std::int64_t>(index) + 1)}));
}

// Decodes hexadecimal text into bytes, or raises (odd length first, then the first bad character).
TBytes DecodeHex(const string& text) {
  if (text.size() % 2 != 0)
    throw Exception(Exception::Format(u"Invalid Hexadecimal String Length (must be even): %d",
                                      {IntToStr(static_cast<std::int64_t>(text.size()))}));
  TBytes bytes(text.size() / 2, 0);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = HexValue(text[i]);
    if (high < 0) RaiseBadHexCharacter(text[i], i);
    const int low = HexValue(text[i + 1]);
    if (low < 0) RaiseBadHexCharacter(text[i + 1], i + 1);
    bytes[i / 2] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return bytes;
}

[[noreturn]] void RaiseArrayTooShort(std::size_t needed, std::size_t given) {
  throw Exception(Exception::Format(u"Output array too short: %d elements needed, %d given",
                                    {IntToStr(static_cast<std::int64_t>(needed)),
                                     IntToStr(static_cast<std::int64_t>(given))}));
}

Integer CheckedLength(std::int64_t value) {
  if (value < 0 || value > std::numeric_limits<Integer>::max())
    throw Exception(Exception::Format(u"Length out of range: %d", {IntToStr(value)}));
  return static_cast<Integer>(value);
}

}  // namespace

// ---- Dispatch ----

string TConvert::CharToFormat(const string& charstring) {
  string out;
  switch (FType) {
    case hexa:
      return ToHexString(charstring);
    case base64:
      ToBase64String(charstring, out);
      return out;
    case base64url:
      ToBase64urlString(charstring, out);
      return out;
    case base32:
      ToBase32String(charstring, out);
      return out;
    case raw:
      return charstring;
  }
  RaiseBadType(FType);
}

string TConvert::FormatToChar(const string& str) {
  string out;
  switch (FType) {
    case raw:
      return str;
    case hexa:
      return ToCharString(str);
    case base64:
    case base64url:
    case base32:
      // Padded as the decoder sees the text, without blanks and control characters.
      DecodePadded(str, out);
      return out;
  }
  RaiseBadType(FType);
}

string TConvert::StringToFormat(const string& charstring) { return CharToFormat(charstring); }

string TConvert::UnicodeStringToFormat(const string& str) { return CharToFormat(str); }

string TConvert::FormatToString(const string& str) { return FormatToChar(str); }

string TConvert::FormatToUnicodeString(const string& str) { return StringToUnicode(FormatToString(str)); }

string TConvert::AddPadding(const string& str) const {
  std::size_t block = 0;
  if (FType == base64 || FType == base64url)
    block = 4;
  else if (FType == base32)
    block = 8;
  string out = str;
  if (block != 0)
    while (out.size() % block != 0) out += u'=';
  return out;
}

// ---- Lengths ----

Integer TConvert::CharLength(const string& charstring) {
  const string text = AddPadding(charstring);
  const std::size_t L = text.size();
  if (L == 0) return 0;
  const auto isPad = [&](std::size_t fromEnd) { return text[L - fromEnd] == u'='; };
  std::int64_t n;
  switch (FType) {
    case hexa:
      n = static_cast<std::int64_t>((L + 1) / 2);
      break;
    case base64:
    case base64url:
      // Padded, so L >= 4.
      n = static_cast<std::int64_t>(L / 4 * 3);
      if (isPad(1) && isPad(2))
        n -= 2;
      else if (isPad(1))
        n -= 1;
      break;
    case base32: {
      // Padded, so L >= 8. The third character from the end is not examined.
      int p = 0;
      if (isPad(1)) {
        if (!isPad(2))
          p = 1;
        else if (!isPad(4))
          p = 2;
        else if (!isPad(5))
          p = 3;
        else
          p = 4;
      }
      n = static_cast<std::int64_t>(L / 8 * 5) - p;
      break;
    }
    default:
      n = static_cast<std::int64_t>(L);
      break;
  }
  return CheckedLength(n);
}

Integer TConvert::OutputFormatLength(Integer charlen) {
  if (charlen < 0) throw Exception(Exception::Format(u"Invalid byte count: %d", {IntToStr(charlen)}));
  const std::int64_t n = charlen;
  switch (FType) {
    case hexa:
      return CheckedLength(2 * n);
    case base64:
    case base64url:
      return CheckedLength(4 * ((n + 2) / 3));
    case base32:
      return CheckedLength(8 * ((n + 4) / 5));
    default:
      return charlen;
  }
}

// ---- Hexadecimal ----

void TConvert::ToHexString(const string& In, string& OutHexString) { OutHexString = ToHexString(In); }

string TConvert::ToHexString(const string& In) {
  string out;
  out.reserve(In.size() * 2);
  for (char16_t c : In) {
    const unsigned b = c & 0xFFu;
    out += kHexDigits[b >> 4];
    out += kHexDigits[b & 0xF];
  }
  return out;
}

void TConvert::ToHexString(const string& In, TBytes& OutHexArray) {
  const string hex = ToHexString(In);
  if (OutHexArray.size() < hex.size()) RaiseArrayTooShort(hex.size(), OutHexArray.size());
  for (std::size_t i = 0; i < hex.size(); ++i) OutHexArray[i] = static_cast<std::uint8_t>(hex[i]);
}

void TConvert::ToCharString(const string& InHex, string& OutCharString) { OutCharString = ToCharString(InHex); }

// Hexadecimal text is often a key: the decoded bytes are wiped before their memory is released.
string TConvert::ToCharString(const string& InHex) {
  const platform::TSecretBytes bytes(DecodeHex(InHex));
  return TBytesToString(bytes.Value);
}

void TConvert::ToCharString(const string& InHex, TBytes& OutCharArray) {
  const platform::TSecretBytes bytes(DecodeHex(InHex));
  if (OutCharArray.size() < bytes.Value.size()) RaiseArrayTooShort(bytes.Value.size(), OutCharArray.size());
  for (std::size_t i = 0; i < bytes.Value.size(); ++i) OutCharArray[i] = bytes.Value[i];
}

// ---- Byte strings, byte arrays and UTF-8 ----

TBytes TConvert::StringToByteArray(const string& str) {
  TBytes out(str.size());
  for (std::size_t i = 0; i < str.size(); ++i) out[i] = static_cast<std::uint8_t>(str[i] & 0xFF);
  return out;
}

TBytes TConvert::StringToTBytes(const string& str) { return StringToByteArray(str); }

TBytes TConvert::StringToByteArray(const string& str, TUnicode u) {
  return u == yesUni ? UnicodeToByteArray(str) : StringToByteArray(str);
}

TBytes TConvert::UnicodeToByteArray(const string& str) { return platform::EncodeUTF8(str); }

string TConvert::TBytesToString(const TBytes& t) { return ByteArrayToString(t); }

string TConvert::ByteArrayToString(std::span<const std::uint8_t> aob) {
  string out(aob.size(), u'\0');
  for (std::size_t i = 0; i < aob.size(); ++i) out[i] = static_cast<char16_t>(aob[i]);
  return out;
}

string TConvert::StringToUnicode(const string& str) { return platform::DecodeUTF8(StringToByteArray(str)); }

Integer TConvert::TestUnicode(const string& str) {
  for (char16_t c : str)
    if (c > 0xFF) return 1;
  return 0;
}

}  // namespace MiscObj
