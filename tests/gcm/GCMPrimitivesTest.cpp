// The public GCM primitives: field identities, table against bitwise multiplication, the
// counter, the lengths block, MSB and the additional-data hash.
#include <gtest/gtest.h>

#include <memory>

#include "GCMTestSupport.h"
#include "crypto/engine/AESCore.h"

namespace {

using AESModes::TAESModes;
using platform::TCharArray16;
using testing_support::RandomBytes;

using gcm_test::Block;
using gcm_test::Bytes;
using gcm_test::FromHex;

TCharArray16 RandomBlock(std::uint32_t seed) { return Block(RandomBytes(16, seed)); }

TEST(GCMPrimitives, MultGCMIdentitiesAndCommutativity) {
  const TCharArray16 one = Block(FromHex("80")), zero{};
  for (std::uint32_t seed = 1; seed <= 8; ++seed) {
    const TCharArray16 x = RandomBlock(seed), y = RandomBlock(seed + 100);
    TCharArray16 r, s;
    TAESModes::MultGCM(x, zero, r);
    EXPECT_EQ(r, zero);
    TAESModes::MultGCM(zero, y, r);
    EXPECT_EQ(r, zero);
    TAESModes::MultGCM(x, one, r);
    EXPECT_EQ(r, x);
    TAESModes::MultGCM(one, y, r);
    EXPECT_EQ(r, y);
    TAESModes::MultGCM(x, y, r);
    TAESModes::MultGCM(y, x, s);
    EXPECT_EQ(r, s);
  }
  // x^127 * x = x^128 = x^7 + x^2 + x + 1: the reduction constant.
  TCharArray16 r;
  TAESModes::MultGCM(Block(FromHex("00000000000000000000000000000001")), Block(FromHex("40")), r);
  EXPECT_EQ(r, Block(FromHex("e1")));
}

TEST(GCMPrimitives, TableMultiplicationEqualsBitwiseAndChainsMix) {
  const TCharArray16 H = RandomBlock(7);
  auto M = std::make_unique<platform::TCharArray16_256_16>();
  ASSERT_EQ(TAESModes::PrecomputeM(H, *M), 0);
  TCharArray16 bitwise{}, mixed{};
  for (std::uint32_t seed = 1; seed <= 16; ++seed) {
    const TCharArray16 x = RandomBlock(seed);
    TCharArray16 a, b;
    TAESModes::MultGCM(x, H, a);
    TAESModes::MultGCM2(x, b, *M);
    EXPECT_EQ(a, b);
    TAESModes::PartCGHASH(H, x, bitwise);
    if (seed % 2) TAESModes::PartCGHASH(H, x, mixed);
    else TAESModes::PartCGHASH2(x, mixed, *M);
  }
  EXPECT_EQ(bitwise, mixed);
}

TEST(GCMPrimitives, Increment32WrapsInsideTheLastFourBytes) {
  struct Case { const char *in, *out; } cases[] = {
      {"000000000000000000000000000000fe", "000000000000000000000000000000ff"},
      {"0000000000000000000000000000ffff", "00000000000000000000000000010000"},
      {"000000000000000000000011ffffffff", "00000000000000000000001100000000"},
      {"ffffffffffffffffffffffffffffffff", "ffffffffffffffffffffffff00000000"},
  };
  for (const auto& c : cases) {
    TCharArray16 a = Block(FromHex(c.in));
    EXPECT_EQ(TAESModes::Increment32(a), 0);
    EXPECT_EQ(a, Block(FromHex(c.out))) << c.in;
  }
}

TEST(GCMPrimitives, ConcatlenAlenCHoldsTwo32BitCounts) {
  TCharArray16 r;
  TAESModes::ConcatlenAlenC(160, 480, r);
  EXPECT_EQ(r, Block(FromHex("00000000000000a000000000000001e0")));
  TAESModes::ConcatlenAlenC(-1, 0, r);
  EXPECT_EQ(r, Block(FromHex("00000000ffffffff0000000000000000")));
}

TEST(GCMPrimitives, MSBKeepsLeftmostBitsAndLeavesTheRest) {
  const TCharArray16 x = Block(FromHex("ffffffffffffffffffffffffffffffff"));
  TCharArray16 r = Block(FromHex("11111111111111111111111111111111"));
  EXPECT_EQ(TAESModes::MSB(100, x, r), 0);
  EXPECT_EQ(r, Block(FromHex("fffffffffffffffffffffffff0111111")));
  const TCharArray16 before = r;
  EXPECT_EQ(TAESModes::MSB(0, x, r), 0);
  EXPECT_EQ(TAESModes::MSB(129, x, r), -210);
  EXPECT_EQ(TAESModes::MSB(-8, x, r), -210);
  EXPECT_EQ(r, before);
}

TEST(GCMPrimitives, PartAGHASHBufferTakesWholeBytesZeroPadded) {
  const TCharArray16 H = RandomBlock(3);
  const Bytes auth = RandomBytes(20, 4);
  TCharArray16 X = RandomBlock(5);
  const TCharArray16 X0 = X;
  EXPECT_EQ(TAESModes::PartAGHASHBuffer(H, auth, X, 0), 0);
  EXPECT_EQ(TAESModes::PartAGHASHBuffer(H, auth, X, 7), 0);
  EXPECT_EQ(X, X0);
  // 17 bytes: two multiplications, the second over one byte and fifteen zeros.
  TCharArray16 expected = X0;
  TAESModes::PartCGHASH(H, Block(auth), expected);
  TAESModes::PartCGHASH(H, Block(Bytes{auth[16]}), expected);
  EXPECT_EQ(TAESModes::PartAGHASHBuffer(H, auth, X, 136), 0);
  EXPECT_EQ(X, expected);
  // A buffer shorter than the bits asked for is refused, not read past its end.
  X = X0;
  EXPECT_EQ(TAESModes::PartAGHASHBuffer(H, auth, X, 8 * 21), -201);
  EXPECT_EQ(X, X0);
}

}  // namespace

namespace {

// The stream forms' block steps, chained over whole blocks with J0 = IV || 1, give OpenSSL's
// cipher text and hash; the table forms give the same, and decryption inverts encryption.
TEST(GCMPrimitives, BlockStepsChainToTheStandardComputation) {
  const Bytes key = RandomBytes(24, 61), iv = RandomBytes(12, 62), plain = RandomBytes(64, 63);
  const auto ref = testing_support::OpenSSLGCMEncrypt(key, iv, {}, plain);
  AESCore::TAESCore core;
  platform::TCharArray60_4 w{};
  ASSERT_EQ(core.KeyExpansion(key, w, 6), 0);
  TCharArray16 H{}, J0 = Block(iv);
  core.Cipher(TCharArray16{}, H, w, 6);
  J0[15] = 1;
  auto M = std::make_unique<platform::TCharArray16_256_16>();
  TAESModes::PrecomputeM(H, *M);
  TAESModes m;
  TCharArray16 Y1 = J0, Y2 = J0, Y3 = J0, X1{}, X2{}, X3{};
  for (std::size_t b = 0; b < 4; ++b) {
    const TCharArray16 P = Block(Bytes(plain.begin() + 16 * b, plain.end()));
    TCharArray16 C1, C2, D;
    m.GCMEncryptionLoop(Y1, C1, w, 6, P, H, X1);
    m.GCMEncryptionLoop(Y2, C2, w, 6, P, X2, *M);
    EXPECT_EQ(C1, Block(Bytes(ref.Cipher.begin() + 16 * b, ref.Cipher.end())));
    EXPECT_EQ(C2, C1);
    m.GCMDecryptionLoop(Y3, D, w, 6, C1, X3, *M);
    EXPECT_EQ(D, P);
  }
  EXPECT_EQ(X1, X2);
  EXPECT_EQ(X3, X1);
  // T = E(J0) xor (X xor lengths) * H.
  TCharArray16 L, T;
  TAESModes::ConcatlenAlenC(0, 512, L);
  TAESModes::PartCGHASH(H, L, X1);
  core.Cipher(J0, T, w, 6);
  for (std::size_t i = 0; i < 16; ++i) T[i] ^= X1[i];
  EXPECT_EQ(Bytes(T.begin(), T.end()), ref.Tag);
}

}  // namespace
