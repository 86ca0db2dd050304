// TConvert: the library's text-format converter (raw, hexadecimal, base64, base64url, base32),
// byte strings, byte arrays and UTF-8; and the unit's own exception class ESelvane.
//
// A "byte string" is a string whose every UTF-16 code unit carries one byte: operations that read
// one use only the low 8 bits of each code unit, operations that make one produce only 0..255.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

#include "crypto/support/CryptBase.h"
#include "platform/Classes.h"
#include "platform/SysUtils.h"
#include "platform/Types.h"

namespace MiscObj {

using platform::Integer;
using platform::string;
using platform::TBytes;
using platform::UInt64;

enum TConvertType : std::uint8_t { base64, hexa, base64url, base32, raw };
enum TUnicode : std::uint8_t { noUni, yesUni };

// The decimal text of 16^k for k = 0..32 ("1", "16", "256", ... the 39 digits of 2^128).
// Computed at compile time and never written, so it is ready before any code runs.
extern const std::array<std::u16string_view, 33> PowersOf16;

// The converter's exception; a class of its own, distinct from errorlist::ESelvane.
class ESelvane : public platform::Exception {
 public:
  // Keeps the message; the code stays 0.
  explicit ESelvane(const string& errorMessag);
  // The error catalogue's message for Code; the code is kept.
  explicit ESelvane(Integer Code);
  // The message formatted as platform::Exception::Format does (%d and %s); the code stays 0.
  static ESelvane CreateFmt(std::u16string_view format, std::initializer_list<string> args);

  // The code the error was made from; 0 for one made from a message.
  Integer Code() const noexcept { return FCode; }

 private:
  Integer FCode = 0;
};

class TConvert : public CryptBase::TOrvoCryptBase {
 public:
  // Format hexa, owned by AOwner (which then destroys it; allocate it on the heap).
  explicit TConvert(platform::TComponent* AOwner);
  // Format hexa, no owner.
  TConvert();
  // The given format, no owner.
  explicit TConvert(TConvertType AType);

  // Published property "AType" (after "Version"), default hexa.
  TConvertType AType() const { return FType; }
  void SetAType(TConvertType value) { FType = value; }
  platform::TPropertyList PublishedProperties() const override;

  // ---- Dispatch on the format ----

  // The bytes of a byte string written in the format. raw returns the text unchanged.
  // A format value outside the five raises ESelvane "Bad Type (%d)".
  string CharToFormat(const string& charstring);
  // The byte string that text in the format stands for. raw returns the text unchanged; hexa
  // decodes as ToCharString; base64/base64url/base32 first drop blank and control characters
  // (FormatBeforeConvert), then pad with '=' and decode. Padding is computed after that removal,
  // so line breaks in the text never turn into surplus '=' that would shorten the output. The
  // position in a decoder's error counts the characters of str, the dropped ones included.
  string FormatToChar(const string& str);
  string StringToFormat(const string& charstring);
  string UnicodeStringToFormat(const string& str);
  // The decoded byte string (FormatToChar): raw is returned unchanged, malformed text raises the
  // decoder's error.
  string FormatToString(const string& str);
  // The decoded bytes taken as UTF-8 text: StringToUnicode(FormatToString(str)).
  string FormatToUnicodeString(const string& str);

  // ---- Hexadecimal ----

  // Two uppercase digits per code unit (its low 8 bits).
  void ToHexString(const string& In, string& OutHexString);
  string ToHexString(const string& In);
  // Writes the digit characters (one byte each) from the first element of the caller's array on.
  // The array is never resized: if it has fewer elements than twice the input length, raises
  // platform::Exception and writes nothing.
  void ToHexString(const string& In, TBytes& OutHexArray);

  // Decodes pairs of digits, either case. Raises platform::Exception, producing nothing, for
  // text of odd length ("Invalid Hexadecimal String Length (must be even): 5", its length) or, checked
  // next, for the first character that is not a hexadecimal digit ("Invalid Hexadecimal
  // Character 'G' at position 3", positions counted from 1, a character outside printable ASCII
  // shown as U+XXXX): a key read silently from a mistyped text is worse than an error, and the
  // message names only the bad character because the text is often a key.
  void ToCharString(const string& InHex, string& OutCharString);
  string ToCharString(const string& InHex);
  // As above, writing the bytes into the caller's array from its first element on. The array is
  // never resized: if it has fewer elements than the output, raises platform::Exception and
  // writes nothing (malformed text likewise writes nothing).
  void ToCharString(const string& InHex, TBytes& OutCharArray);

  // ---- Byte strings, byte arrays and UTF-8 ----

  // One byte per code unit: its low 8 bits.
  static TBytes StringToByteArray(const string& str);
  static TBytes StringToTBytes(const string& str);
  // yesUni: UnicodeToByteArray; noUni (and any other value): the one-argument form.
  static TBytes StringToByteArray(const string& str, TUnicode u);
  // UTF-8 without byte-order mark. An unpaired surrogate cannot be encoded and becomes U+FFFD
  // (EF BF BD), so the output is always well-formed UTF-8.
  static TBytes UnicodeToByteArray(const string& str);
  // One code unit per byte, equal to its value.
  static string TBytesToString(const TBytes& t);
  static string ByteArrayToString(std::span<const std::uint8_t> aob);
  // Strict UTF-8 decoding of the bytes of a byte string; malformed UTF-8 raises
  // platform::EEncodingError.
  static string StringToUnicode(const string& str);
  // 1 if any code unit is above 0xFF, else 0.
  static Integer TestUnicode(const string& str);

  // ---- Lengths ----

  // The number of bytes that text in the format decodes to (computed on the text as given,
  // padded with '='). raw and any other format value: the text length.
  Integer CharLength(const string& charstring);
  // The length of the text that charlen bytes give in the format. A negative count, or a result
  // beyond the range of Integer, raises platform::Exception.
  Integer OutputFormatLength(Integer charlen);

  // ---- Base64, base64url, base32 (RFC 4648): '=' padding, no line breaks ----

  void ToBase64String(const string& InCharString, string& Base64String);
  void ToBase64urlString(const string& InCharString, string& Base64String);
  void ToBase32String(const string& InCharString, string& Base32String);

  // Strict decoders. Blank and control characters are dropped first (FormatBeforeConvert). The
  // rest must be alphabet characters (base32: uppercase only) followed by at most the padding a
  // final group can carry (base64: "=" or "=="; base32: 1, 3, 4 or 6 '='), and padded text must
  // be a whole number of groups (4 characters, base32 8). Anything else raises
  // platform::Exception, leaving the output untouched, with "Invalid Base64 String" (base64url,
  // base32 alike) followed by " : character 'x' at position 7" (counted in the caller's text) or
  // " : padding does not fit a length of 7" (characters after the removal); the message never
  // quotes the text, which is often a key or a decrypted plain text.
  // Unpadded text is accepted. Text shorter than one group decodes to the empty string; the
  // characters after the last complete group are not decoded.
  void Base64ToChar(const string& Base64String, string& OutCharString);
  void Base64urlToChar(const string& Base64UrlString, string& OutCharString);
  void Base32ToChar(const string& Base32String, string& OutCharString);

  // The text without every character whose low 8 bits are 0x21 or less (blanks, control
  // characters and '!').
  void FormatBeforeConvert(const string& InCharString, string& OutCharStringString);

  // Cross conversions: decode from the source format, encode into the target format. They set
  // the instance's format while they run and restore it on every path, also when they raise.
  string Base64ToHexa(const string& base64String);
  string HexaToBase64(const string& hexaString);
  string Base64ToBase64url(const string& inString);
  string Base64urlToBase64(const string& inString);
  string Base64urlToHexa(const string& inString);
  string HexaToBase64url(const string& inString);
  string Base32ToHexa(const string& base32String);
  string HexaToBase32(const string& hexaString);
  string Base32ToBase64url(const string& inString);
  string Base64urlToBase32(const string& inString);
  string Base32ToBase64(const string& inString);
  string Base64ToBase32(const string& inString);

  // ---- Key byte order, base58, big numbers, text reversal ----

  // The key number of strKey (text in the format) with its bytes in reverse order, in the same
  // format: raw reverses the characters; hexa reverses the two-character groups, each unchanged
  // (digits are not checked), and raises the hexadecimal length error for text of odd length;
  // base64, base64url and base32 go through hexadecimal with the cross conversions, whose
  // errors pass unchanged. Applying it twice gives the input back (for padded encoded text).
  string KeyRSAOpenSSLToKeyTRSAEncSign(const string& strKey);
  // The same reversal, which is its own inverse.
  string KeyTRSAEncSignToKeyRSAOpenSSL(const string& strKey);

  // Base58 with the alphabet 1-9, a-k, m-z, A-H, J-N, P-Z (digit values 0..57): 0 gives "1",
  // and no other text begins with '1'.
  static string Base58Encode(UInt64 value);
  // The value of base58 text; the empty text gives 0, leading '1's are zeros. Raises
  // platform::Exception "Invalid Base58 String : character 'x' at position 3" for a character
  // outside the alphabet, or "Invalid Base58 String : value above 2^64 - 1 in 12 characters",
  // rather than returning a wrapped or different number; the text itself is never quoted.
  static UInt64 Base58Decode(const string& encoded);

  // The decimal text of a hexadecimal number of 1 to 32 digits (either case); longer or empty
  // text gives the empty text. Leading zeros are kept: the result has at least as many digits
  // as 16^(n-1) for n input digits ("00" gives "00", "01" gives "01"). A character that is not
  // a hexadecimal digit raises platform::EConvertError "'%s' is not a valid integer value".
  static string BigHexToBigInt(const string& s);
  // The sum of two decimal texts, as wide as the longer one (one digit more on a final carry);
  // leading zeros stay. An empty operand gives the other one. A non-digit raises
  // platform::EConvertError "'%s' is not a valid integer value" with that character.
  static string Add(const string& x, const string& y);
  // The value of one hexadecimal digit, either case; any other character raises
  // platform::EConvertError "'%s' is not a valid integer value".
  static Integer HexToInt(char16_t a);
  // The code units in reverse order (a surrogate pair becomes two separate units).
  static string Reverse(const string& inString);

  // ---- Null-terminated byte buffers ----
  //
  // Each returns a new block from std::malloc holding the bytes followed by one 0 byte; it
  // belongs to the caller, who releases it with std::free. A 0 byte inside the data is copied
  // like any other. Raises std::bad_alloc if the block cannot be had, and platform::Exception
  // if the byte count does not fit in Integer.

  // The low 8 bits of each code unit, then 0.
  static char* StringToPAnsiChar(const string& str);
  // The UTF-8 encoding of str (as UnicodeToByteArray), then 0.
  static char* UnicodeToPAnsiChar(const string& str);
  // The number of UTF-8 bytes of str; 0 for the empty text.
  static Integer PAnsiCharFromUnicodeLength(const string& str);
  // yesUni: UnicodeToPAnsiChar; any other value: StringToPAnsiChar. msgLen receives the number
  // of bytes before the final 0.
  static char* StringToBuffer(const string& str, TUnicode u, Integer& msgLen);
  static char* StringToBufferA(const string& str, TUnicode u);

  // ---- Random text ----

  // len random bytes from the OS generator (one character each, 0..255), written in the format
  // (raw: as they are). Raises ESelvane made from code 1 when the result is empty (len <= 0),
  // and ESelvane made from code -22 when the generator fails, so no caller ever receives
  // predictable text.
  string RandomString(Integer len);

 private:
  // Appends '=' up to a multiple of 4 (base64, base64url) or 8 (base32); other formats unchanged.
  string AddPadding(const string& str) const;
  string CrossConvert(const string& text, TConvertType source, TConvertType target);
  // The base64, base64url or base32 decoder of the format (FType) on str, padded with '=' after
  // the blanks are dropped; positions in its errors count the characters of str.
  void DecodePadded(const string& str, string& out);
  void DecodeBase32(const string& input, bool padded, string& out);

  TConvertType FType = hexa;
};

}  // namespace MiscObj
