// Settings of an engine operation read from the fuzzer's input, shared by the engine targets.
#pragma once

#include <algorithm>

#include "FuzzSupport.h"
#include "crypto/engine/AESModes.h"

namespace fuzz_support {

using platform::Integer;

// Mode, padding, IV layout, key and caller IV. Byte 0: bits 0-2 the mode (5 to 7 fold onto the
// valid ones, 4 stays invalid), bit 3 padding, bit 4 IV in front; byte 1 the key length (see
// KeyLength), byte 2 the caller IV length (16, or now and then shorter); then the key and IV.
struct TEngineSettings {
  Integer mode = 0;
  bool padding = false;
  bool IVIn = false;
  TBytes key, IV;

  // The IV travels in front of the cipher text.
  bool Header() const { return IVIn && mode != 0; }

  static TEngineSettings Read(TFuzzReader& in, bool validModeOnly) {
    TEngineSettings s;
    const std::uint8_t flags = in.Byte();
    s.mode = flags & 7;
    if (s.mode > 4 || (validModeOnly && s.mode == 4)) s.mode &= 3;
    s.padding = flags & 8;
    s.IVIn = flags & 16;
    const std::size_t keyLength = KeyLength(in.Byte());
    const std::uint8_t ivPick = in.Byte();
    s.key = in.Bytes(keyLength);
    s.IV = in.Bytes(ivPick < 240 ? 16 : ivPick % 17);
    return s;
  }
};

// The chaining value a decryption started from: the IV in front, or the caller's.
inline TBytes UsedIV(const TEngineSettings& s, const TBytes& cipher) {
  if (s.Header()) return TBytes(cipher.begin(), cipher.begin() + 16);
  return s.IV;
}

// Encrypts plain with a given IV (none in front) under the same settings; the cipher blocks.
inline TBytes Reencrypt(const TEngineSettings& s, const TBytes& plain, const TBytes& iv) {
  if (s.padding && plain.empty()) {
    // The encryption refuses an empty input; its cipher text would be one block of padding.
    TEngineSettings unpadded = s;
    unpadded.padding = false;
    return Reencrypt(unpadded, TBytes(16, 16), iv);
  }
  AESModes::TAESModes m;
  const std::size_t size = s.padding ? plain.size() - plain.size() % 16 + 16 : plain.size();
  TBytes out(std::max<std::size_t>(size, 1));
  Integer written = 0;
  const Integer st = m.EncryptBinaryBuffer(plain, out, written, s.key, static_cast<Integer>(8 * s.key.size()),
                                           false, iv, s.padding, s.mode);
  FUZZ_CHECK(st == 0 && static_cast<std::size_t>(written) == size);
  out.resize(size);
  return out;
}

}  // namespace fuzz_support
