// Armor: a sealed file as text, base64 lines of 64 characters between a BEGIN and an END line,
// for mail and paste. Written and read as it streams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "crypto/support/Base64Stream.h"
#include "platform/Streams.h"

namespace cli {

inline constexpr char kArmorBegin[] = "-----BEGIN ORVOAES SEALED FILE-----";
inline constexpr char kArmorEnd[] = "-----END ORVOAES SEALED FILE-----";

// Writes the BEGIN line, then the bytes given as base64 lines (LF), and on Finish the last line
// with its padding and the END line, all to base.
class TArmorWriter {
 public:
  explicit TArmorWriter(platform::TStream& base);
  void Write(const std::uint8_t* p, std::size_t n);
  void Finish();

 private:
  void Flush();
  platform::TStream& FBase;
  MiscObj::TBase64Encoder FEncoder{64};
  std::string FText;  // lines not yet written
};

// Reads armored text through raw (which returns up to n bytes, 0 only at the end) and returns
// the bytes it holds. The BEGIN line, then base64 in lines of any length (LF or CRLF), then the
// END line, then nothing but blank space. Text that breaks this (a character outside base64, a
// missing END line, padding in the middle) is a damaged file: damaged() is called with the reason.
class TArmorReader {
 public:
  using TRaw = std::function<std::size_t(std::uint8_t*, std::size_t)>;
  using TDamaged = std::function<void(const std::string&)>;
  TArmorReader(TRaw raw, TDamaged damaged) : FRaw(std::move(raw)), FDamaged(std::move(damaged)) {}
  // Up to n bytes; 0 only at the end of the armor.
  std::size_t Read(std::uint8_t* p, std::size_t n);

 private:
  bool Refill();  // decodes more text into FOut; false at the end
  void EndOfLine();
  TRaw FRaw;
  TDamaged FDamaged;
  std::vector<std::uint8_t> FText, FOut;
  std::size_t FTextAt = 0, FOutAt = 0;
  MiscObj::TBase64Decoder FDecoder;  // the base64 lines' characters, across lines
  std::string FLine;  // the line so far while it may be the BEGIN or END line
  bool FBegun = false, FEnded = false, FLineStart = true, FSpecial = false;
};

}  // namespace cli
