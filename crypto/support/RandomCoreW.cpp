#include "crypto/support/RandomCoreW.h"

#include <cerrno>
#include <cmath>
#include <cstddef>

#include "crypto/support/RandomRange.h"
#include "platform/OSRandom.h"

namespace RandomCoreW {

namespace {

// An OS error number folded into a failure HRESULT: severity bit, facility 7, low 16 bits.
HRESULT HResultFromError(int e) {
  if (e == 0) return 0;
  return static_cast<HRESULT>(0x80070000u | (static_cast<std::uint32_t>(e) & 0xFFFFu));
}

// Draws n bytes into a zero-filled array; a failing generator leaves the zeros in place.
TBytes DrawBytes(Integer n) {
  TBytes bytes(static_cast<std::size_t>(n), 0);
  TRandomCore::GetRandomBytes(n, bytes.data());
  return bytes;
}

}  // namespace

HRESULT TRandomCore::GetRandomBytes(Integer len, void* data) {
  if (len < 0 || (len > 0 && data == nullptr)) return HResultFromError(EINVAL);
  return HResultFromError(platform::OSRandomFill(data, static_cast<std::size_t>(len)));
}

HRESULT TRandomCore::GetRandomBytes(TBytes& Buffer) {
  return GetRandomBytes(static_cast<Integer>(Buffer.size()), Buffer.data());
}

Integer MapToRange(Integer low, Integer high, Integer value, Integer maximum) {
  // std::nearbyint rounds in the current mode, which is to nearest with ties to even.
  const long double scaled = static_cast<long double>(value) / maximum * (high - low);
  return low + static_cast<Integer>(std::nearbyint(scaled));
}

string TRandomCore::GetRandomString(Integer Len, std::uint8_t FromChar, std::uint8_t ToChar) {
  if (Len <= 0) return {};
  TBytes bytes = DrawBytes(Len);
  string text;
  text.reserve(bytes.size());
  for (std::uint8_t b : bytes) {
    if (b < FromChar || b > ToChar) b = static_cast<std::uint8_t>(MapToRange(FromChar, ToChar, b, 255) & 0xFF);
    text += static_cast<char16_t>(b);  // Latin-1: the code unit is the byte value
  }
  return text;
}

string TRandomCore::GetRandomString(Integer Len) { return GetRandomString(Len, 0, 255); }

Cardinal TRandomCore::GetRandomInt() {
  const TBytes b = DrawBytes(4);
  Cardinal value = 0;
  for (std::uint8_t x : b) value = (value << 8) | x;
  return value;
}

UInt64 TRandomCore::GetRandomLongInt() {
  const TBytes b = DrawBytes(8);
  UInt64 value = 0;
  for (std::uint8_t x : b) value = (value << 8) | x;
  return value;
}

}  // namespace RandomCoreW
