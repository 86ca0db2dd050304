// SHA-1 (FIPS 180-4) and MD5 (RFC 1321): only for reading files whose keys older tools derived with
// them. Portable, no acceleration: they never run on bulk data.
#include <array>

#include "crypto/hash/CompressLoop.h"
#include "crypto/hash/HashFunctions.h"

namespace Hash::detail {

namespace {

constexpr std::uint32_t Rotl(std::uint32_t x, int n) noexcept { return (x << n) | (x >> (32 - n)); }

constexpr std::uint32_t kMD5Sine[64] = {
    0xd76aa478u, 0xe8c7b756u, 0x242070dbu, 0xc1bdceeeu, 0xf57c0fafu, 0x4787c62au, 0xa8304613u, 0xfd469501u,
    0x698098d8u, 0x8b44f7afu, 0xffff5bb1u, 0x895cd7beu, 0x6b901122u, 0xfd987193u, 0xa679438eu, 0x49b40821u,
    0xf61e2562u, 0xc040b340u, 0x265e5a51u, 0xe9b6c7aau, 0xd62f105du, 0x02441453u, 0xd8a1e681u, 0xe7d3fbc8u,
    0x21e1cde6u, 0xc33707d6u, 0xf4d50d87u, 0x455a14edu, 0xa9e3e905u, 0xfcefa3f8u, 0x676f02d9u, 0x8d2a4c8au,
    0xfffa3942u, 0x8771f681u, 0x6d9d6122u, 0xfde5380cu, 0xa4beea44u, 0x4bdecfa9u, 0xf6bb4b60u, 0xbebfbc70u,
    0x289b7ec6u, 0xeaa127fau, 0xd4ef3085u, 0x04881d05u, 0xd9d4d039u, 0xe6db99e5u, 0x1fa27cf8u, 0xc4ac5665u,
    0xf4292244u, 0x432aff97u, 0xab9423a7u, 0xfc93a039u, 0x655b59c3u, 0x8f0ccc92u, 0xffeff47du, 0x85845dd1u,
    0x6fa87e4fu, 0xfe2ce6e0u, 0xa3014314u, 0x4e0811a1u, 0xf7537e82u, 0xbd3af235u, 0x2ad7d2bbu, 0xeb86d391u,
};
// Rotation amounts: four per round, repeated over its 16 steps.
constexpr int kMD5Shift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

}  // namespace

void InitSHA1(TChain& chain) noexcept {
  chain.W32 = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u, 0xc3d2e1f0u, 0, 0, 0};
}

void OutputSHA1(const TChain& chain, std::uint8_t* digest) noexcept {
  for (int i = 0; i < 5; ++i) StoreBE32(digest + 4 * i, chain.W32[i]);
}

void CompressSHA1(TChain& chain, const std::uint8_t* blocks, std::size_t count) noexcept {
  CompressBlocks<5>(chain.W32, blocks, count, LoadBE32, [](std::array<std::uint32_t, 5>& s, std::uint32_t* w) {
    auto& [a, b, c, d, e] = s;
    for (int t = 0; t < 80; ++t) {
      if (t >= 16) w[t & 15] = Rotl(w[(t - 3) & 15] ^ w[(t - 8) & 15] ^ w[(t - 14) & 15] ^ w[t & 15], 1);
      std::uint32_t f, k;
      if (t < 20) {
        f = (b & c) | (~b & d), k = 0x5a827999u;
      } else if (t < 40) {
        f = b ^ c ^ d, k = 0x6ed9eba1u;
      } else if (t < 60) {
        f = (b & c) | (b & d) | (c & d), k = 0x8f1bbcdcu;
      } else {
        f = b ^ c ^ d, k = 0xca62c1d6u;
      }
      const std::uint32_t next = Rotl(a, 5) + f + e + k + w[t & 15];
      e = d;
      d = c;
      c = Rotl(b, 30);
      b = a;
      a = next;
    }
  });
}

void InitMD5(TChain& chain) noexcept {
  chain.W32 = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u, 0, 0, 0, 0};
}

void OutputMD5(const TChain& chain, std::uint8_t* digest) noexcept {
  for (int i = 0; i < 4; ++i) StoreLE32(digest + 4 * i, chain.W32[i]);
}

void CompressMD5(TChain& chain, const std::uint8_t* blocks, std::size_t count) noexcept {
  CompressBlocks<4>(chain.W32, blocks, count, LoadLE32, [](std::array<std::uint32_t, 4>& s, const std::uint32_t* m) {
    auto& [a, b, c, d] = s;
    for (int i = 0; i < 64; ++i) {
      const int round = i / 16;
      std::uint32_t f;
      int g;
      switch (round) {
        case 0: f = (b & c) | (~b & d), g = i; break;
        case 1: f = (d & b) | (~d & c), g = (5 * i + 1) & 15; break;
        case 2: f = b ^ c ^ d, g = (3 * i + 5) & 15; break;
        default: f = c ^ (b | ~d), g = (7 * i) & 15; break;
      }
      const std::uint32_t next = b + Rotl(a + f + kMD5Sine[i] + m[g], kMD5Shift[round][i & 3]);
      a = d;
      d = c;
      c = b;
      b = next;
    }
  });
}

}  // namespace Hash::detail
