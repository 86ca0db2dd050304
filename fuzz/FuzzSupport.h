// Shared helpers of the fuzz targets: reading typed values from the fuzzer's input and stopping
// loudly when a property does not hold.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace fuzz_support {

using platform::Integer;
using platform::string;
using platform::TBytes;

// A property that must hold for every input. Abort (not an exception) so that no catch clause in
// the target can swallow it and libFuzzer records the input as a finding.
#define FUZZ_CHECK(cond)                                                           \
  do {                                                                             \
    if (!(cond)) {                                                                 \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                \
    }                                                                              \
  } while (0)

// Reads the fuzzer's input from the front: a few setting bytes, then the payload. Reading past
// the end gives zeros, so every input is usable and seed files are easy to write by hand.
class TFuzzReader {
 public:
  TFuzzReader(const std::uint8_t* data, std::size_t size) : FData(data), FSize(size) {}

  std::uint8_t Byte() { return FPos < FSize ? FData[FPos++] : 0; }
  TBytes Bytes(std::size_t n) {
    TBytes out;
    while (out.size() < n && FPos < FSize) out.push_back(FData[FPos++]);
    out.resize(n, 0);
    return out;
  }
  TBytes Rest() {
    TBytes out(FData + FPos, FData + FSize);
    FPos = FSize;
    return out;
  }

 private:
  const std::uint8_t* FData;
  std::size_t FSize;
  std::size_t FPos = 0;
};

// One code unit per byte: a byte string.
inline string ByteString(const TBytes& bytes) { return string(bytes.begin(), bytes.end()); }

// Text from the rest of the input: one code unit per byte, or, when wide, two bytes per code
// unit (little-endian) so that characters above U+00FF and surrogates occur as well.
inline string RestText(TFuzzReader& in, bool wide) {
  const TBytes raw = in.Rest();
  string text;
  if (!wide) {
    for (std::uint8_t c : raw) text += static_cast<char16_t>(c);
    return text;
  }
  for (std::size_t i = 0; i + 1 < raw.size(); i += 2)
    text += static_cast<char16_t>(raw[i] | raw[i + 1] << 8);
  return text;
}

inline bool IsByteString(const string& s) {
  for (char16_t c : s)
    if (c > 0xFF) return false;
  return true;
}

// A key length that is valid most of the time: 16, 24 or 32, or now and then any length up to 40.
inline std::size_t KeyLength(std::uint8_t pick) {
  if (pick < 240) return 16 + 8 * (pick % 3);
  return pick % 41;
}

}  // namespace fuzz_support
