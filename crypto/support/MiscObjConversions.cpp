// TConvert: key byte order, base58, big hexadecimal numbers in decimal, text reversal,
// null-terminated byte buffers and random text.
#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>

#include "crypto/support/MiscObj.h"
#include "crypto/support/RandomCoreW.h"
#include "platform/Memory.h"

namespace MiscObj {

using platform::EConvertError;
using platform::Exception;
using platform::IntToStr;

namespace {

// ---- The powers of 16 in decimal, computed by the compiler ----

constexpr std::size_t kPowerCount = 33;
constexpr std::size_t kMaxPowerDigits = 39;  // 16^32 = 2^128 has 39 decimal digits

struct TDecimalPowers {
  // Digits most significant first, each power left-aligned in its row.
  std::array<std::array<char16_t, kMaxPowerDigits>, kPowerCount> Digits{};
  std::array<std::size_t, kPowerCount> Lengths{};
};

constexpr TDecimalPowers ComputePowersOf16() {
  TDecimalPowers p;
  // Little-endian decimal digits of the running power, multiplied by 16 each step.
  std::array<int, kMaxPowerDigits + 2> value{1};
  std::size_t length = 1;
  for (std::size_t k = 0; k < kPowerCount; ++k) {
    if (length > kMaxPowerDigits) throw "power too long";  // stops the compilation
    p.Lengths[k] = length;
    for (std::size_t i = 0; i < length; ++i) p.Digits[k][i] = static_cast<char16_t>(u'0' + value[length - 1 - i]);
    int carry = 0;
    for (std::size_t i = 0; i < length; ++i) {
      const int t = value[i] * 16 + carry;
      value[i] = t % 10;
      carry = t / 10;
    }
    for (; carry != 0; carry /= 10) value[length++] = carry % 10;
  }
  return p;
}

constexpr TDecimalPowers kPowers = ComputePowersOf16();

constexpr std::array<std::u16string_view, kPowerCount> PowerViews() {
  std::array<std::u16string_view, kPowerCount> views{};
  for (std::size_t k = 0; k < kPowerCount; ++k) views[k] = {kPowers.Digits[k].data(), kPowers.Lengths[k]};
  return views;
}

static_assert(kPowers.Lengths[32] == kMaxPowerDigits);
static_assert(PowerViews()[3] == u"4096");

// ---- Small helpers ----

[[noreturn]] void RaiseNotAnInteger(char16_t c) {
  throw EConvertError(Exception::Format(u"'%s' is not a valid integer value", {string(1, c)}));
}

int DecimalDigit(char16_t c) {
  if (c < u'0' || c > u'9') RaiseNotAnInteger(c);
  return c - u'0';
}

// Base58 alphabet in order of digit value: 'l', 'I', 'O' and '0' are absent.
constexpr std::u16string_view kBase58Alphabet = u"123456789abcdefghijkmnopqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ";

// Names the character at fault or the text's length, never the text: it may be key material.
[[noreturn]] void RaiseBadBase58Character(char16_t c, std::size_t index) {
  throw Exception(Exception::Format(u"Invalid Base58 String : character %s at position %d",
                                    {platform::ShownCharacter(c), IntToStr(static_cast<std::int64_t>(index) + 1)}));
}

[[noreturn]] void RaiseBase58Overflow(std::size_t length) {
  throw Exception(Exception::Format(u"Invalid Base58 String : value above 2^64 - 1 in %d characters",
                                    {IntToStr(static_cast<std::int64_t>(length))}));
}

// Text built back to front, wiped when it goes away (the groups of a key number).
struct TWipedText {
  string Text;
  ~TWipedText() { platform::SecureZero(Text.data(), Text.size() * sizeof(char16_t)); }
};

// Reverses the two-character groups of hexadecimal text, each group unchanged.
string ReverseHexGroups(const string& hex) {
  string out;
  out.reserve(hex.size());
  for (std::size_t at = hex.size(); at >= 2; at -= 2) out.append(hex, at - 2, 2);
  return out;
}

Integer CheckedByteCount(std::size_t n) {
  if (n > static_cast<std::size_t>(std::numeric_limits<Integer>::max()))
    throw Exception(Exception::Format(u"Length out of range: %d", {IntToStr(static_cast<std::int64_t>(n))}));
  return static_cast<Integer>(n);
}

// A new malloc block holding the bytes and a final 0 byte.
char* NewZeroTerminated(const TBytes& bytes) {
  CheckedByteCount(bytes.size());
  auto* block = static_cast<char*>(std::malloc(bytes.size() + 1));
  if (block == nullptr) throw std::bad_alloc();
  if (!bytes.empty()) std::memcpy(block, bytes.data(), bytes.size());
  block[bytes.size()] = '\0';
  return block;
}

// The data may be a password or a message: the intermediate copy is wiped.
char* NewBuffer(const string& str, TUnicode u, Integer* msgLen) {
  const platform::TSecretBytes bytes(TConvert::StringToByteArray(str, u));
  char* block = NewZeroTerminated(bytes.Value);
  if (msgLen != nullptr) *msgLen = static_cast<Integer>(bytes.Value.size());
  return block;
}

}  // namespace

constinit const std::array<std::u16string_view, 33> PowersOf16 = PowerViews();

// ---- Key byte order ----

string TConvert::KeyRSAOpenSSLToKeyTRSAEncSign(const string& strKey) {
  switch (FType) {
    case raw:
      return Reverse(strKey);
    case hexa:
      // An odd length leaves no whole groups; the hexadecimal decoder raises its length error.
      if (strKey.size() % 2 != 0) ToCharString(strKey);
      return ReverseHexGroups(strKey);
    case base64:
    case base64url:
    case base32: {
      TWipedText hex, reversed;
      hex.Text = FType == base64 ? Base64ToHexa(strKey) : FType == base64url ? Base64urlToHexa(strKey) : Base32ToHexa(strKey);
      reversed.Text = ReverseHexGroups(hex.Text);
      return FType == base64 ? HexaToBase64(reversed.Text)
                             : FType == base64url ? HexaToBase64url(reversed.Text) : HexaToBase32(reversed.Text);
    }
  }
  // A format outside the five: the format dispatch raises its "Bad Type" error.
  return CharToFormat(strKey);
}

string TConvert::KeyTRSAEncSignToKeyRSAOpenSSL(const string& strKey) { return KeyRSAOpenSSLToKeyTRSAEncSign(strKey); }

// ---- Base58 ----

string TConvert::Base58Encode(UInt64 value) {
  string out;
  do {
    out += kBase58Alphabet[value % 58];
    value /= 58;
  } while (value != 0);
  std::reverse(out.begin(), out.end());
  return out;
}

UInt64 TConvert::Base58Decode(const string& encoded) {
  constexpr UInt64 kMax = std::numeric_limits<UInt64>::max();
  UInt64 total = 0;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    const std::size_t digit = kBase58Alphabet.find(encoded[i]);
    if (digit == std::u16string_view::npos) RaiseBadBase58Character(encoded[i], i);
    // total * 58 + digit must stay within 64 bits; wrapping would return another number.
    if (total > (kMax - digit) / 58) RaiseBase58Overflow(encoded.size());
    total = total * 58 + digit;
  }
  return total;
}

// ---- Big numbers in decimal ----

string TConvert::BigHexToBigInt(const string& s) {
  if (s.empty() || s.size() > 32) return {};
  string total;
  for (std::size_t k = 0; k < s.size(); ++k) {
    const int d = HexToInt(s[s.size() - 1 - k]);
    // d * 16^k, digit by digit from the right; the product of 0 is a row of zeros.
    const std::u16string_view power = PowersOf16[k];
    string product;
    int carry = 0;
    for (std::size_t i = power.size(); i-- > 0;) {
      const int t = d * (power[i] - u'0') + carry;
      product += static_cast<char16_t>(u'0' + t % 10);
      carry = t / 10;
    }
    for (; carry != 0; carry /= 10) product += static_cast<char16_t>(u'0' + carry % 10);
    std::reverse(product.begin(), product.end());
    total = Add(total, product);
  }
  return total;
}

string TConvert::Add(const string& x, const string& y) {
  if (x.empty()) return y;
  if (y.empty()) return x;
  const string& l = y.size() > x.size() ? y : x;
  const string& s = y.size() > x.size() ? x : y;
  string out;
  out.reserve(l.size() + 1);
  int carry = 0;
  for (std::size_t i = 0; i < l.size(); ++i) {
    int t = DecimalDigit(l[l.size() - 1 - i]) + carry;
    if (i < s.size()) t += DecimalDigit(s[s.size() - 1 - i]);
    out += static_cast<char16_t>(u'0' + t % 10);
    carry = t / 10;
  }
  if (carry != 0) out += static_cast<char16_t>(u'0' + carry);
  std::reverse(out.begin(), out.end());
  return out;
}

Integer TConvert::HexToInt(char16_t a) {
  if (a >= u'A' && a <= u'F') return a - u'A' + 10;
  if (a >= u'a' && a <= u'f') return a - u'a' + 10;
  return DecimalDigit(a);
}

string TConvert::Reverse(const string& inString) { return string(inString.rbegin(), inString.rend()); }

// ---- Byte buffers ----

char* TConvert::StringToPAnsiChar(const string& str) { return NewBuffer(str, noUni, nullptr); }

char* TConvert::UnicodeToPAnsiChar(const string& str) { return NewBuffer(str, yesUni, nullptr); }

Integer TConvert::PAnsiCharFromUnicodeLength(const string& str) {
  const platform::TSecretBytes bytes(UnicodeToByteArray(str));
  return CheckedByteCount(bytes.Value.size());
}

char* TConvert::StringToBuffer(const string& str, TUnicode u, Integer& msgLen) { return NewBuffer(str, u, &msgLen); }

char* TConvert::StringToBufferA(const string& str, TUnicode u) { return NewBuffer(str, u, nullptr); }

// ---- Random text ----

string TConvert::RandomString(Integer len) {
  if (len <= 0) throw ESelvane(Integer{1});
  // The bytes are drawn here rather than through TRandomCore::GetRandomString, which hands back
  // zero bytes when the generator fails; the text is the same, one character per byte.
  platform::TSecretBytes bytes(TBytes(static_cast<std::size_t>(len), 0));
  if (RandomCoreW::TRandomCore().GetRandomBytes(bytes.Value) != 0) throw ESelvane(Integer{-22});
  TWipedText text;
  text.Text = TBytesToString(bytes.Value);
  return FType == raw ? text.Text : CharToFormat(text.Text);
}

}  // namespace MiscObj
