// Arbitrary text through Base58Decode, BigHexToBigInt and the key byte order in every format.
// Each either raises one of the library's exceptions or gives a result that agrees with the
// encoder, with 64-bit arithmetic, or with itself when applied again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "crypto/support/MiscObj.h"

namespace {

using MiscObj::TConvert;
using platform::string;

void Check(bool ok) {
  if (!ok) std::abort();
}

// The first byte chooses the operation; bit 7 reads the rest as UTF-16 code units (little-endian
// pairs), otherwise as one code unit per byte.
string TextOf(const std::uint8_t* data, std::size_t size, bool wide) {
  string text;
  if (wide) {
    for (std::size_t i = 0; i + 1 < size; i += 2) text += static_cast<char16_t>(data[i] | data[i + 1] << 8);
  } else {
    for (std::size_t i = 0; i < size; ++i) text += static_cast<char16_t>(data[i]);
  }
  return text;
}

void Base58(const string& text) {
  std::uint64_t value = 0;
  try {
    value = TConvert::Base58Decode(text);
  } catch (const platform::Exception&) {
    return;
  }
  Check(TConvert::Base58Decode(TConvert::Base58Encode(value)) == value);
  std::size_t ones = 0;
  while (ones < text.size() && text[ones] == u'1') ++ones;
  const string digits = ones == text.size() ? string(u"1") : text.substr(ones);
  Check(TConvert::Base58Encode(value) == digits);
}

void BigHex(const string& text) {
  string decimal;
  try {
    decimal = TConvert::BigHexToBigInt(text);
  } catch (const platform::EConvertError&) {
    return;
  }
  if (text.empty() || text.size() > 32) {
    Check(decimal.empty());
    return;
  }
  Check(decimal.size() >= MiscObj::PowersOf16[text.size() - 1].size());
  std::uint64_t expected = 0, got = 0;
  for (char16_t c : text) expected = expected * 16 + static_cast<std::uint64_t>(TConvert::HexToInt(c));
  for (char16_t c : decimal) {
    Check(c >= u'0' && c <= u'9');
    if (text.size() <= 16) got = got * 10 + (c - u'0');
  }
  if (text.size() <= 16) Check(got == expected);
}

void KeyOrder(const string& text, MiscObj::TConvertType format) {
  TConvert conv(format);
  string once;
  try {
    once = conv.KeyRSAOpenSSLToKeyTRSAEncSign(text);
  } catch (const platform::Exception&) {
    Check(conv.AType() == format);
    return;
  }
  Check(conv.AType() == format);
  const string twice = conv.KeyTRSAEncSignToKeyRSAOpenSSL(once);
  if (format == MiscObj::raw || format == MiscObj::hexa)
    Check(twice == text);
  else
    Check(conv.KeyRSAOpenSSLToKeyTRSAEncSign(twice) == once);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const string text = TextOf(data + 1, size - 1, (data[0] & 0x80) != 0);
  switch (data[0] & 0x7F) {
    case 0:
      Base58(text);
      break;
    case 1:
      BigHex(text);
      break;
    default:
      KeyOrder(text, static_cast<MiscObj::TConvertType>((data[0] & 0x7F) % 5));
      break;
  }
  return 0;
}
