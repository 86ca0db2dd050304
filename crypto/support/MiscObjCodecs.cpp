// TConvert: the base64, base64url and base32 codecs (RFC 4648) and the cross conversions.
#include <array>
#include <cstddef>
#include <string_view>

#include "crypto/support/MiscObj.h"

namespace MiscObj {

using platform::Exception;
using platform::IntToStr;

namespace {

constexpr std::string_view kBase64Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kBase64urlAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
constexpr std::string_view kBase32Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";

// Decoding tables indexed by character code: base64 and base64url cover codes 0..122 ('z'),
// base32 codes 0..90 ('Z'). Alphabet characters hold their values, every other entry 0; the
// decoders accept only alphabet characters (FirstFault), so the 0 entries are never read.
template <std::size_t N>
constexpr std::array<std::uint8_t, N> MakeDecodeTable(std::string_view alphabet) {
  std::array<std::uint8_t, N> table{};
  for (std::size_t i = 0; i < alphabet.size(); ++i)
    table[static_cast<std::size_t>(alphabet[i])] = static_cast<std::uint8_t>(i);
  return table;
}

constexpr auto kBase64Table = MakeDecodeTable<123>(kBase64Alphabet);
constexpr auto kBase64urlTable = MakeDecodeTable<123>(kBase64urlAlphabet);
constexpr auto kBase32Table = MakeDecodeTable<91>(kBase32Alphabet);

void EncodeBase64(const string& in, std::string_view alphabet, string& out) {
  const std::size_t n = in.size();
  string text;
  text.reserve((n + 2) / 3 * 4);
  const auto byte = [&](std::size_t i) -> unsigned { return i < n ? (in[i] & 0xFFu) : 0u; };
  for (std::size_t i = 0; i < n; i += 3) {
    const unsigned b0 = byte(i), b1 = byte(i + 1), b2 = byte(i + 2);
    const std::size_t left = n - i;  // 1, 2 or at least 3 bytes in this group
    text += static_cast<char16_t>(alphabet[b0 >> 2]);
    text += static_cast<char16_t>(alphabet[(b0 & 3) << 4 | b1 >> 4]);
    text += left >= 2 ? static_cast<char16_t>(alphabet[(b1 & 15) << 2 | b2 >> 6]) : u'=';
    text += left >= 3 ? static_cast<char16_t>(alphabet[b2 & 63]) : u'=';
  }
  out = std::move(text);
}

// '=' at the end of the text, as the base64 decoder counts it: 2 for "==", 1 for a single '='.
std::size_t Base64PadCount(const string& t) {
  const std::size_t m = t.size();
  if (m >= 2 && t[m - 1] == u'=' && t[m - 2] == u'=') return 2;
  if (m >= 1 && t[m - 1] == u'=') return 1;
  return 0;
}

// '=' at the end of the text, as the base32 decoder counts it (the third character from the end
// is not looked at). Called only with at least 8 characters.
std::size_t Base32PadCount(const string& t) {
  const std::size_t m = t.size();
  const auto isPad = [&](std::size_t fromEnd) { return t[m - fromEnd] == u'='; };
  if (!isPad(1)) return 0;
  if (!isPad(2)) return 1;
  if (!isPad(4)) return 2;
  if (!isPad(5)) return 3;
  return 4;
}

// What a well-formed text of one encoding looks like.
template <std::size_t N>
struct TTextForm {
  const std::array<std::uint8_t, N>& table;
  std::string_view alphabet;
  std::size_t groupSize;
  unsigned padRuns;  // bit r set: a final group may end in r '=' characters
};

constexpr TTextForm<123> kBase64Form{kBase64Table, kBase64Alphabet, 4, 0b111};
constexpr TTextForm<123> kBase64urlForm{kBase64urlTable, kBase64urlAlphabet, 4, 0b111};
// A final group of 1, 2, 3 or 4 bytes ends in 6, 4, 3 or 1 '='.
constexpr TTextForm<91> kBase32Form{kBase32Table, kBase32Alphabet, 8, 0b1011011};

template <std::size_t N>
bool InAlphabet(char16_t c, const TTextForm<N>& form) {
  // Only the first character of the alphabet has the table value 0.
  return c < N && (form.table[c] != 0 || c == static_cast<char16_t>(form.alphabet[0]));
}

// Where a text breaks the form: the first character outside the alphabet (other than the
// trailing run of '=' that a final group can carry), or padding that no final group carries or
// that cuts a group short. Anything else would decode as some other bytes than the writer meant
// (a stray character counting as 0, a '=' inside the text, or a short group), and a silently
// different key or message is worse than an error.
struct TFormFault {
  bool Found = false;
  std::size_t Index = 0;  // of the bad character in the text; t.size() for bad padding
};

template <std::size_t N>
TFormFault FirstFault(const string& t, const TTextForm<N>& form) {
  std::size_t end = t.size();
  while (end > 0 && t[end - 1] == u'=') --end;
  for (std::size_t i = 0; i < end; ++i)
    if (!InAlphabet(t[i], form)) return {true, i};
  const std::size_t pad = t.size() - end;
  if (pad != 0 && (pad >= 32 || !(form.padRuns >> pad & 1) || t.size() % form.groupSize != 0)) return {true, t.size()};
  return {};
}

// The characters a decoder reads: all but blank and control characters (low byte 0x21 or less).
bool Decoded(char16_t c) { return (c & 0xFF) > 0x21; }

// The position (from 1) in the caller's text of character k of the text the decoder read.
std::size_t InputPosition(const string& input, std::size_t k) {
  for (std::size_t i = 0; i < input.size(); ++i)
    if (Decoded(input[i]) && k-- == 0) return i + 1;
  return input.size();
}

// The decoder's error for a malformed text. It names the character at fault and its position,
// or the length the padding does not fit, never the text: that is often a key or, decoded from a
// decryption's output, a plain text.
[[noreturn]] void RaiseMalformed(std::u16string_view words, const string& input, const string& t, TFormFault fault) {
  const string prefix = string(words) + u" : ";
  if (fault.Index < t.size())
    throw Exception(Exception::Format(
        prefix + u"character %s at position %d",
        {platform::ShownCharacter(t[fault.Index]), IntToStr(static_cast<std::int64_t>(InputPosition(input, fault.Index)))}));
  throw Exception(Exception::Format(prefix + u"padding does not fit a length of %d",
                                    {IntToStr(static_cast<std::int64_t>(t.size()))}));
}

// The table value of each of the first `used` characters of a group (the rest 0). The text has
// passed FirstFault, so every character read here is in the alphabet.
template <std::size_t N, std::size_t G>
void GroupValues(const string& t, std::size_t start, std::size_t used, const std::array<std::uint8_t, N>& table,
                 std::array<unsigned, G>& d) {
  d.fill(0);
  for (std::size_t k = 0; k < used; ++k) d[k] = table[t[start + k]];
}

// The text a decoder reads: the input without blank and control characters, with pad also
// padded with '=' to whole groups. Raises the format's error (words such as "Invalid Base64
// String") when it is not well formed, naming the position in the input as the caller gave it.
// False, with out emptied, when it holds less than one group: such text carries no whole byte,
// and the empty input decodes to the empty string as well.
template <std::size_t N>
bool TextToDecode(const string& input, const TTextForm<N>& form, std::u16string_view words, bool pad,
                  TConvert& conv, string& t, string& out) {
  if (!input.empty()) conv.FormatBeforeConvert(input, t);
  if (pad)
    while (t.size() % form.groupSize != 0) t += u'=';
  if (const TFormFault fault = FirstFault(t, form); fault.Found) RaiseMalformed(words, input, t, fault);
  if (t.size() >= form.groupSize) return true;
  out.clear();
  return false;
}

void DecodeBase64(const string& input, const TTextForm<123>& form, std::u16string_view words, bool padded,
                  TConvert& conv, string& out) {
  string t;
  if (!TextToDecode(input, form, words, padded, conv, t, out)) return;
  const std::size_t m = t.size();
  const std::size_t groups = m / 4;
  const std::size_t pad = Base64PadCount(t);
  string bytes;
  bytes.reserve(groups * 3);
  std::array<unsigned, 4> d{};
  for (std::size_t g = 0; g < groups; ++g) {
    const bool last = g + 1 == groups;
    const std::size_t produce = last ? 3 - pad : 3;
    GroupValues(t, g * 4, produce + 1, form.table, d);
    bytes += static_cast<char16_t>((d[0] << 2 | d[1] >> 4) & 0xFF);
    if (produce >= 2) bytes += static_cast<char16_t>(((d[1] & 15) << 4 | d[2] >> 2) & 0xFF);
    if (produce >= 3) bytes += static_cast<char16_t>(((d[2] & 3) << 6 | d[3]) & 0xFF);
  }
  out = std::move(bytes);
}

// RAII: puts the converter's format back when the cross conversion ends, by return or exception.
class TFormatRestore {
 public:
  explicit TFormatRestore(TConvert& conv) : FConv(conv), FSaved(conv.AType()) {}
  ~TFormatRestore() { FConv.SetAType(FSaved); }
  TFormatRestore(const TFormatRestore&) = delete;
  TFormatRestore& operator=(const TFormatRestore&) = delete;

 private:
  TConvert& FConv;
  TConvertType FSaved;
};

}  // namespace

// ---- Encoders ----

void TConvert::ToBase64String(const string& InCharString, string& Base64String) {
  EncodeBase64(InCharString, kBase64Alphabet, Base64String);
}

void TConvert::ToBase64urlString(const string& InCharString, string& Base64String) {
  EncodeBase64(InCharString, kBase64urlAlphabet, Base64String);
}

void TConvert::ToBase32String(const string& InCharString, string& Base32String) {
  const std::size_t n = InCharString.size();
  string text;
  text.reserve((n + 4) / 5 * 8);
  const auto byte = [&](std::size_t i) -> unsigned { return i < n ? (InCharString[i] & 0xFFu) : 0u; };
  // Characters written for a final group of 1, 2, 3, 4 or 5 bytes.
  constexpr std::size_t kChars[] = {0, 2, 4, 5, 7, 8};
  for (std::size_t i = 0; i < n; i += 5) {
    const unsigned b0 = byte(i), b1 = byte(i + 1), b2 = byte(i + 2), b3 = byte(i + 3), b4 = byte(i + 4);
    const unsigned v[8] = {b0 >> 3,
                           (b0 & 7) << 2 | b1 >> 6,
                           (b1 >> 1) & 31,
                           (b1 & 1) << 4 | b2 >> 4,
                           (b2 & 15) << 1 | b3 >> 7,
                           (b3 >> 2) & 31,
                           (b3 & 3) << 3 | b4 >> 5,
                           b4 & 31};
    const std::size_t used = kChars[n - i >= 5 ? 5 : n - i];
    for (std::size_t k = 0; k < 8; ++k) text += k < used ? static_cast<char16_t>(kBase32Alphabet[v[k]]) : u'=';
  }
  Base32String = std::move(text);
}

// ---- Decoders ----

void TConvert::Base64ToChar(const string& Base64String, string& OutCharString) {
  DecodeBase64(Base64String, kBase64Form, u"Invalid Base64 String", false, *this, OutCharString);
}

void TConvert::Base64urlToChar(const string& Base64UrlString, string& OutCharString) {
  DecodeBase64(Base64UrlString, kBase64urlForm, u"Invalid Base64url String", false, *this, OutCharString);
}

void TConvert::Base32ToChar(const string& Base32String, string& OutCharString) {
  DecodeBase32(Base32String, false, OutCharString);
}

// FormatToChar's decoding: padding is added after the blanks are dropped, and a fault is named by
// its position in str as the caller gave it.
void TConvert::DecodePadded(const string& str, string& out) {
  if (FType == base64)
    DecodeBase64(str, kBase64Form, u"Invalid Base64 String", true, *this, out);
  else if (FType == base64url)
    DecodeBase64(str, kBase64urlForm, u"Invalid Base64url String", true, *this, out);
  else
    DecodeBase32(str, true, out);
}

void TConvert::DecodeBase32(const string& input, bool padded, string& OutCharString) {
  string t;
  if (!TextToDecode(input, kBase32Form, u"Invalid Base32 String", padded, *this, t, OutCharString)) return;
  const std::size_t m = t.size();
  const std::size_t groups = m / 8;
  const std::size_t pad = Base32PadCount(t);
  // Characters read by the last group for 0..4 padding bytes.
  constexpr std::size_t kUsed[] = {8, 7, 5, 4, 2};
  string bytes;
  bytes.reserve(groups * 5);
  std::array<unsigned, 8> d{};
  for (std::size_t g = 0; g < groups; ++g) {
    const bool last = g + 1 == groups;
    const std::size_t produce = last ? 5 - pad : 5;
    GroupValues(t, g * 8, last ? kUsed[pad] : 8, kBase32Table, d);
    const unsigned v[5] = {d[0] << 3 | d[1] >> 2, (d[1] & 3) << 6 | d[2] << 1 | d[3] >> 4,
                           (d[3] & 15) << 4 | d[4] >> 1, (d[4] & 1) << 7 | d[5] << 2 | d[6] >> 3,
                           (d[6] & 7) << 5 | d[7]};
    for (std::size_t k = 0; k < produce; ++k) bytes += static_cast<char16_t>(v[k] & 0xFF);
  }
  OutCharString = std::move(bytes);
}

void TConvert::FormatBeforeConvert(const string& InCharString, string& OutCharStringString) {
  string out;
  out.reserve(InCharString.size());
  for (char16_t c : InCharString)
    if (Decoded(c)) out += c;
  OutCharStringString = std::move(out);
}

// ---- Cross conversions ----

// Decoding goes through FormatToChar, which drops blank and control characters and pads the
// source text itself, so padding is counted on the text the decoder actually reads.
string TConvert::CrossConvert(const string& text, TConvertType source, TConvertType target) {
  TFormatRestore restore(*this);
  FType = source;
  const string bytes = FormatToChar(text);
  FType = target;
  return CharToFormat(bytes);
}

string TConvert::Base64ToHexa(const string& base64String) { return CrossConvert(base64String, base64, hexa); }
string TConvert::HexaToBase64(const string& hexaString) { return CrossConvert(hexaString, hexa, base64); }
string TConvert::Base64ToBase64url(const string& inString) { return CrossConvert(inString, base64, base64url); }
string TConvert::Base64urlToBase64(const string& inString) { return CrossConvert(inString, base64url, base64); }
string TConvert::Base64urlToHexa(const string& inString) { return CrossConvert(inString, base64url, hexa); }
string TConvert::HexaToBase64url(const string& inString) { return CrossConvert(inString, hexa, base64url); }
string TConvert::Base32ToHexa(const string& base32String) { return CrossConvert(base32String, base32, hexa); }
string TConvert::HexaToBase32(const string& hexaString) { return CrossConvert(hexaString, hexa, base32); }
string TConvert::Base32ToBase64url(const string& inString) { return CrossConvert(inString, base32, base64url); }
string TConvert::Base64urlToBase32(const string& inString) { return CrossConvert(inString, base64url, base32); }
string TConvert::Base32ToBase64(const string& inString) { return CrossConvert(inString, base32, base64); }
string TConvert::Base64ToBase32(const string& inString) { return CrossConvert(inString, base64, base32); }

}  // namespace MiscObj
