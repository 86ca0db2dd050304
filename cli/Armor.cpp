#include "Armor.h"

#include <algorithm>
#include <cstring>

namespace cli {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kLineBytes = 48;  // 64 characters
constexpr std::size_t kFlush = 1 << 16;

int Value(std::uint8_t c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

TArmorWriter::TArmorWriter(platform::TStream& base) : FBase(base) {
  FText = std::string(kArmorBegin) + "\n";
}

void TArmorWriter::Line(const std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; i += 3) {
    const std::uint32_t v = std::uint32_t(p[i]) << 16 | (i + 1 < n ? std::uint32_t(p[i + 1]) << 8 : 0) |
                            (i + 2 < n ? p[i + 2] : 0);
    FText += kAlphabet[v >> 18];
    FText += kAlphabet[(v >> 12) & 63];
    FText += i + 1 < n ? kAlphabet[(v >> 6) & 63] : '=';
    FText += i + 2 < n ? kAlphabet[v & 63] : '=';
  }
  FText += '\n';
  if (FText.size() >= kFlush) {
    FBase.WriteBuffer(FText.data(), static_cast<std::int64_t>(FText.size()));
    FText.clear();
  }
}

void TArmorWriter::Write(const std::uint8_t* p, std::size_t n) {
  if (!FHeld.empty()) {
    const std::size_t take = std::min(n, kLineBytes - FHeld.size());
    FHeld.insert(FHeld.end(), p, p + take);
    p += take;
    n -= take;
    if (FHeld.size() < kLineBytes) return;
    Line(FHeld.data(), kLineBytes);
    FHeld.clear();
  }
  for (; n >= kLineBytes; p += kLineBytes, n -= kLineBytes) Line(p, kLineBytes);
  FHeld.assign(p, p + n);
}

void TArmorWriter::Finish() {
  if (!FHeld.empty()) Line(FHeld.data(), FHeld.size());
  FHeld.clear();
  FText += kArmorEnd;
  FText += '\n';
  FBase.WriteBuffer(FText.data(), static_cast<std::int64_t>(FText.size()));
  FText.clear();
}

// The BEGIN and END lines are collected whole; every other line is decoded character by
// character, four characters (across lines) giving three bytes.
void TArmorReader::EndOfLine() {
  if (!FLine.empty() && FLine.back() == '\r') FLine.pop_back();
  if (FSpecial) {
    if (!FBegun) {
      if (FLine != kArmorBegin) FDamaged("the armor's first line is not its BEGIN line");
      FBegun = true;
    } else {
      if (FLine != kArmorEnd) FDamaged("the armor has a line that is not base64");
      if (FQuadChars != 0) FDamaged("the armor's base64 ends inside a group of four characters");
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
    for (; FTextAt < FText.size(); ++FTextAt) {
      const std::uint8_t c = FText[FTextAt];
      if (FEnded) {
        if (c != '\n' && c != '\r' && c != ' ' && c != '\t') FDamaged("the armor has text after its END line");
        continue;
      }
      if (c == '\n') {
        EndOfLine();
        continue;
      }
      if (FLineStart) {
        FLineStart = false;
        FSpecial = c == '-' || !FBegun;
      }
      if (FSpecial) {
        if (FLine.size() > 64) FDamaged("the armor has a line that is not base64");
        FLine += static_cast<char>(c);
        continue;
      }
      if (c == '\r') continue;  // only before a line break (else the next character fails)
      if (c == '=') {
        if (FQuadChars < 2) FDamaged("the armor's base64 padding is out of place");
        FPadded = true;
        ++FPads;
        ++FQuadChars;
      } else {
        const int v = Value(c);
        if (v < 0 || FPadded) FDamaged(v < 0 ? "the armor has a character outside base64" : "the armor has base64 after its padding");
        FQuad = FQuad << 6 | static_cast<std::uint32_t>(v);
        ++FQuadChars;
      }
      if (FQuadChars == 4) {
        const std::uint32_t q = FQuad << (6 * FPads);
        FOut.push_back(static_cast<std::uint8_t>(q >> 16));
        if (FPads < 2) FOut.push_back(static_cast<std::uint8_t>(q >> 8));
        if (FPads < 1) FOut.push_back(static_cast<std::uint8_t>(q));
        FQuad = 0;
        FQuadChars = 0;
      }
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
