// Runtime stand-ins: the exception classes, UTF-8 conversion and small text helpers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/Types.h"

namespace platform {

// The general exception class: a UTF-16 message, offered as UTF-8 through what().
class Exception : public std::exception {
 public:
  explicit Exception(string message);
  // Builds the message from a printf-style format whose only directives are %d and %s.
  static string Format(std::u16string_view format, std::initializer_list<string> args);

  const string& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FWhat.c_str(); }

 private:
  string FMessage;
  std::string FWhat;
};

// Malformed UTF-8 met by the strict decoder.
class EEncodingError : public Exception {
 public:
  using Exception::Exception;
};

// Text that is not a valid number.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// A file that cannot be opened or created; the message names the file.
class EFOpenError : public Exception {
 public:
  using Exception::Exception;
};

// A stream read or write that failed or transferred fewer bytes than asked.
class EReadError : public Exception {
 public:
  using Exception::Exception;
};
class EWriteError : public Exception {
 public:
  using Exception::Exception;
};

// An operation stopped because its progress callback asked for it; what it was writing is
// discarded like any other failure.
class EAbort : public Exception {
 public:
  using Exception::Exception;
};

// A published property that does not exist, or a value it does not accept.
class EPropertyError : public Exception {
 public:
  using Exception::Exception;
};

// Called by the chunk loops after each chunk with the bytes of input done so far and the input's
// size; returning false cancels the operation (it raises EAbort, or its status form fails).
using TChunkProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

// The message of EEncodingError.
inline constexpr std::u16string_view kNoMappingMessage =
    u"No mapping for the Unicode character exists in the target multi-byte code page";

// UTF-8 encoding (RFC 3629, no byte-order mark). A surrogate pair becomes one 4-byte sequence;
// an unpaired surrogate code unit cannot be encoded and becomes U+FFFD (EF BF BD), the usual
// replacement character, so the output is always well-formed UTF-8.
TBytes EncodeUTF8(std::u16string_view text);
std::string ToUTF8String(std::u16string_view text);

// Strict UTF-8 decoding: overlong forms, surrogates, code points above U+10FFFF, stray or
// missing continuation bytes all raise EEncodingError with kNoMappingMessage.
string DecodeUTF8(std::span<const std::uint8_t> bytes);
string FromUTF8(std::string_view text);

// Decimal text of a number, with an ASCII minus sign.
string IntToStr(std::int64_t value);

// One character of a text, for a message that names the character at fault instead of quoting
// the text (often a key or a plain text): printable ASCII between single quotes ('G'), any other
// code unit as U+XXXX, so the message stays one readable line.
string ShownCharacter(char16_t c);

// File-system names are bytes, most of them UTF-8. DecodeFileSystemText decodes them as UTF-8
// and carries each byte that is not part of a valid sequence as the lone surrogate U+DC80 to
// U+DCFF (0x80 to 0xFF), so every name has a text. EncodeFileSystemText maps such a text back to
// the same bytes: those surrogates become their bytes again, everything else UTF-8. A text
// holding any other lone surrogate stands for no byte string and gives nothing.
string DecodeFileSystemText(std::string_view bytes);
std::optional<std::string> EncodeFileSystemText(std::u16string_view text);

}  // namespace platform
