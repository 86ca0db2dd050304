#include "crypto/support/Base64Stream.h"

#include <algorithm>
#include <array>

#include "platform/Memory.h"

namespace MiscObj {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Each character's class: 0..63 its value, or one of the marks below.
constexpr std::int8_t kOutside = -1, kLineBreak = -2, kBlank = -3, kPad = -4;

constexpr std::array<std::int8_t, 256> Classes() {
  std::array<std::int8_t, 256> v{};
  for (auto& x : v) x = kOutside;
  for (int i = 0; i < 64; ++i) v[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
  v['\n'] = v['\r'] = kLineBreak;
  v[' '] = v['\t'] = kBlank;
  v['='] = kPad;
  return v;
}
constexpr std::array<std::int8_t, 256> kClasses = Classes();

}  // namespace

// --- Encoder

TBase64Encoder::TBase64Encoder(std::size_t lineChars) noexcept : FLineChars(lineChars) {}

TBase64Encoder::~TBase64Encoder() { platform::SecureZero(FHeld, sizeof FHeld); }

void TBase64Encoder::Group(std::uint32_t g, std::size_t chars, std::string& text) {
  for (std::size_t i = 0; i < 4; ++i) text.push_back(i < chars ? kAlphabet[(g >> (18 - 6 * i)) & 63] : '=');
  FColumn += 4;
  if (FLineChars != 0 && FColumn >= FLineChars) {
    text.push_back('\n');
    FColumn = 0;
  }
}

void TBase64Encoder::Update(std::span<const std::uint8_t> bytes, std::string& text) {
  std::size_t i = 0;
  if (FHeldBytes != 0) {  // a group begun by an earlier piece
    const std::size_t take = std::min(3 - FHeldBytes, bytes.size());
    std::copy_n(bytes.begin(), take, std::span(FHeld).subspan(FHeldBytes).begin());
    FHeldBytes += take;
    i = take;
    if (FHeldBytes < 3) return;
    Group(std::uint32_t{FHeld[0]} << 16 | std::uint32_t{FHeld[1]} << 8 | FHeld[2], 4, text);
    FHeldBytes = 0;
  }
  const std::size_t whole = i + (bytes.size() - i) / 3 * 3;
  text.reserve(text.size() + (whole - i) / 3 * 4 + (FLineChars != 0 ? (whole - i) / 3 * 4 / FLineChars + 1 : 0));
  for (; i < whole; i += 3)
    Group(std::uint32_t{bytes[i]} << 16 | std::uint32_t{bytes[i + 1]} << 8 | bytes[i + 2], 4, text);
  // Here nothing is held, and fewer than three bytes are left.
  if (i < bytes.size()) {
    FHeld[0] = bytes[i];
    if (i + 1 < bytes.size()) FHeld[1] = bytes[i + 1];
    FHeldBytes = bytes.size() - i;
  }
}

void TBase64Encoder::Finish(std::string& text) {
  if (FHeldBytes != 0) {
    const std::uint32_t g = std::uint32_t{FHeld[0]} << 16 | (FHeldBytes > 1 ? std::uint32_t{FHeld[1]} << 8 : 0);
    Group(g, FHeldBytes + 1, text);
  }
  if (FLineChars != 0 && FColumn != 0) text.push_back('\n');
  platform::SecureZero(FHeld, sizeof FHeld);
  FHeldBytes = 0;
  FColumn = 0;
}

// --- Decoder

TBase64Decoder::~TBase64Decoder() { platform::SecureZero(&FGroup, sizeof FGroup); }

TBase64Fault TBase64Decoder::Update(std::span<const std::uint8_t> text, platform::TBytes& bytes) {
  if (FFault != TBase64Fault::None) return FFault;
  const auto fail = [&](TBase64Fault f) { return FFault = f; };
  for (const std::uint8_t c : text) {
    const std::int8_t v = kClasses[c];
    if (v == kLineBreak || (v == kBlank && FSkipBlanks)) continue;
    if (v == kPad) {
      if (FChars < 2 || FClosed) return fail(TBase64Fault::Padding);
      ++FPads;
    } else if (v < 0) {
      return fail(TBase64Fault::Character);
    } else if (FPads != 0 || FClosed) {
      return fail(TBase64Fault::AfterPadding);
    } else {
      FGroup = FGroup << 6 | static_cast<std::uint32_t>(v);
    }
    if (++FChars < 4) continue;
    const std::uint32_t g = FGroup << (6 * FPads);
    bytes.push_back(static_cast<std::uint8_t>(g >> 16));
    if (FPads < 2) bytes.push_back(static_cast<std::uint8_t>(g >> 8));
    if (FPads < 1) bytes.push_back(static_cast<std::uint8_t>(g));
    FClosed = FPads != 0;
    FGroup = 0;
    FChars = FPads = 0;
  }
  return TBase64Fault::None;
}

TBase64Fault TBase64Decoder::Finish() noexcept {
  const TBase64Fault f = FFault != TBase64Fault::None ? FFault : FChars != 0 ? TBase64Fault::Unfinished
                                                                              : TBase64Fault::None;
  FFault = TBase64Fault::None;
  FGroup = 0;
  FChars = FPads = 0;
  FClosed = false;
  return f;
}

}  // namespace MiscObj
