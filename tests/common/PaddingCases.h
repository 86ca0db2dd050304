// Final plain blocks that the padding check must refuse, and two it must accept. Every padded
// decryption family replays them: the other padding schemes and damaged PKCS7 were once taken
// for good padding whenever the last byte was 16 or less.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Oracle.h"

namespace testing_support {

struct TFinalBlockCase {
  const char* Name;
  Bytes Block;             // the 16 plain bytes of the final block
  int PlainBytes;          // what the check keeps; -1 when it must refuse the block
};

inline std::vector<TFinalBlockCase> FinalBlockCases() {
  const Bytes data = FromHex("4f7276614145532d74657374");  // 12 data bytes, then 4 bytes of padding
  const auto with = [&](const Bytes& tail) {
    Bytes b(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(16 - tail.size()));
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
  };
  Bytes sixteen(16, 0x10), disagreeFar = sixteen;
  disagreeFar[0] = 0x0F;  // the earliest padding byte of a full padding block
  return {
      {"zero bytes", with({0, 0, 0, 0}), -1},
      {"ANSI X.923", with({0, 0, 0, 4}), -1},
      {"ISO 10126", with({0x9C, 0x31, 0xE7, 4}), -1},
      {"ISO/IEC 7816-4", with({0x80, 0, 0, 0}), -1},
      {"count 17", with({0x11, 0x11, 0x11, 0x11}), -1},
      {"count 255", with({0xFF, 0xFF, 0xFF, 0xFF}), -1},
      {"one padding byte disagrees", with({4, 3, 4, 4}), -1},
      {"full block, first byte disagrees", disagreeFar, -1},
      {"PKCS7 count 1", with({9, 9, 9, 1}), 15},
      {"PKCS7 count 4", with({4, 4, 4, 4}), 12},
      {"PKCS7 full block", sixteen, 0},
  };
}

// An ECB cipher text without any padding of its own: one block of data, then the final block.
inline Bytes CipherEndingIn(const Bytes& key, const Bytes& finalBlock) {
  Bytes plain = FromHex("00112233445566778899aabbccddeeff");
  plain.insert(plain.end(), finalBlock.begin(), finalBlock.end());
  return OpenSSLCrypt(true, 0, key, {}, plain, false);
}

// The plain text a successful check gives for CipherEndingIn.
inline Bytes PlainEndingIn(const TFinalBlockCase& c) {
  Bytes plain = FromHex("00112233445566778899aabbccddeeff");
  plain.insert(plain.end(), c.Block.begin(), c.Block.begin() + c.PlainBytes);
  return plain;
}

}  // namespace testing_support
