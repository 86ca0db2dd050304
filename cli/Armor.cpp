#include "Armor.h"

#include <algorithm>
#include <cstring>

namespace cli {

namespace {

constexpr std::size_t kFlush = 1 << 16;

// The armor's words for what is wrong with its base64.
const char* Reason(MiscObj::TBase64Fault f) {
  switch (f) {
    case MiscObj::TBase64Fault::Padding: return "the armor's base64 padding is out of place";
    case MiscObj::TBase64Fault::AfterPadding: return "the armor has base64 after its padding";
    case MiscObj::TBase64Fault::Unfinished: return "the armor's base64 ends inside a group of four characters";
    default: return "the armor has a character outside base64";
  }
}

}  // namespace

TArmorWriter::TArmorWriter(platform::TStream& base) : FBase(base) {
  FText = std::string(kArmorBegin) + "\n";
}

void TArmorWriter::Flush() {
  FBase.WriteBuffer(FText.data(), static_cast<std::int64_t>(FText.size()));
  FText.clear();
}

void TArmorWriter::Write(const std::uint8_t* p, std::size_t n) {
  FEncoder.Update({p, n}, FText);
  if (FText.size() >= kFlush) Flush();
}

void TArmorWriter::Finish() {
  FEncoder.Finish(FText);
  FText += kArmorEnd;
  FText += '\n';
  Flush();
}

// The BEGIN and END lines are collected whole; every other line goes to the base64 decoder as it
// comes, four characters (across lines) giving three bytes.
void TArmorReader::EndOfLine() {
  if (!FLine.empty() && FLine.back() == '\r') FLine.pop_back();
  if (FSpecial) {
    if (!FBegun) {
      if (FLine != kArmorBegin) FDamaged("the armor's first line is not its BEGIN line");
      FBegun = true;
    } else {
      if (FLine != kArmorEnd) FDamaged("the armor has a line that is not base64");
      if (const MiscObj::TBase64Fault f = FDecoder.Finish(); f != MiscObj::TBase64Fault::None) FDamaged(Reason(f));
      FEnded = true;
    }
  } else if (!FBegun) {
    FDamaged("the armor's first line is not its BEGIN line");
  }
  FLine.clear();
  FSpecial = false;
  FLineStart = true;
}

bool TArmorReader::Refill() {
  FOut.clear();
  FOutAt = 0;
  while (FOut.empty()) {
    if (FTextAt == FText.size()) {
      FText.resize(kFlush);
      const std::size_t got = FRaw(FText.data(), FText.size());
      FText.resize(got);
      FTextAt = 0;
      if (got == 0) {
        if (!FLine.empty() || FSpecial) EndOfLine();  // a last line without its line break
        if (!FEnded) FDamaged("the armor is cut short (no END line)");
        return false;
      }
    }
    while (FTextAt < FText.size()) {
      const std::uint8_t c = FText[FTextAt];
      if (FEnded) {
        if (c != '\n' && c != '\r' && c != ' ' && c != '\t') FDamaged("the armor has text after its END line");
        ++FTextAt;
        continue;
      }
      if (c == '\n') {
        EndOfLine();
        ++FTextAt;
        continue;
      }
      if (FLineStart) {
        FLineStart = false;
        FSpecial = c == '-' || !FBegun;
      }
      // The rest of this line, as far as the text read holds it.
      const auto* from = FText.data() + FTextAt;
      const auto* lf = static_cast<const std::uint8_t*>(std::memchr(from, '\n', FText.size() - FTextAt));
      const std::size_t n = lf != nullptr ? static_cast<std::size_t>(lf - from) : FText.size() - FTextAt;
      if (FSpecial) {
        FLine.append(reinterpret_cast<const char*>(from), n);
        if (FLine.size() > 65) FDamaged("the armor has a line that is not base64");
      } else if (const MiscObj::TBase64Fault f = FDecoder.Update({from, n}, FOut); f != MiscObj::TBase64Fault::None) {
        FDamaged(Reason(f));
      }
      FTextAt += n;
    }
  }
  return true;
}

std::size_t TArmorReader::Read(std::uint8_t* p, std::size_t n) {
  if (FOutAt == FOut.size() && !Refill()) return 0;
  const std::size_t take = std::min(n, FOut.size() - FOutAt);
  std::memcpy(p, FOut.data() + FOutAt, take);
  FOutAt += take;
  return take;
}

}  // namespace cli
