// Base64 (RFC 4648 alphabet, '=' padding) over byte streams, a piece at a time: the text of a
// large file is made or read as it streams, without holding the whole of it. Beside TConvert's
// string conversions, which take one whole text at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/Types.h"

namespace MiscObj {

// Bytes to base64 text: lines of lineChars characters (a multiple of 4), each ended by a line
// feed, or with lineChars 0 one line with no line break at all. The text equals that of the whole
// input encoded at once, however the input is cut into pieces.
class TBase64Encoder {
 public:
  explicit TBase64Encoder(std::size_t lineChars = 64) noexcept;
  ~TBase64Encoder();
  TBase64Encoder(const TBase64Encoder&) = delete;
  TBase64Encoder& operator=(const TBase64Encoder&) = delete;

  // Appends the text of every whole group of three bytes to text; up to two bytes wait for the
  // next piece.
  void Update(std::span<const std::uint8_t> bytes, std::string& text);
  // Appends the last group (padded with '=') and, when lines are made, the line feed of a line
  // begun; the encoder then starts a new text.
  void Finish(std::string& text);

 private:
  void Group(std::uint32_t g, std::size_t chars, std::string& text);

  std::size_t FLineChars;
  std::size_t FColumn = 0;
  std::uint8_t FHeld[3] = {};
  std::size_t FHeldBytes = 0;
};

// What is wrong with a base64 text.
enum class TBase64Fault : std::uint8_t {
  None,
  Character,     // a character outside the alphabet (and not skipped)
  Padding,       // '=' where no padding can be: in the first two places of a group, or after it closed
  AfterPadding,  // an alphabet character after the closing '='
  Unfinished,    // the text ends inside a group of four characters
};

// Base64 text to bytes, in pieces cut anywhere. Line feeds and carriage returns are skipped
// wherever they are (any line layout, LF or CRLF); spaces and tabs too when skipBlanks, else
// they are characters outside the alphabet. '=' may only close the last group ("xx==" or
// "xxx="). A fault is final: the decoder keeps returning it and decodes nothing more.
class TBase64Decoder {
 public:
  explicit TBase64Decoder(bool skipBlanks = false) noexcept : FSkipBlanks(skipBlanks) {}
  ~TBase64Decoder();
  TBase64Decoder(const TBase64Decoder&) = delete;
  TBase64Decoder& operator=(const TBase64Decoder&) = delete;

  // Appends the bytes of every group text completes to bytes.
  TBase64Fault Update(std::span<const std::uint8_t> text, platform::TBytes& bytes);
  // At the end of the text: Unfinished when a group is incomplete. The decoder then starts anew.
  TBase64Fault Finish() noexcept;

 private:
  bool FSkipBlanks;
  TBase64Fault FFault = TBase64Fault::None;
  std::uint32_t FGroup = 0;
  unsigned FChars = 0, FPads = 0;
  bool FClosed = false;  // a padded group ended the data
};

}  // namespace MiscObj
