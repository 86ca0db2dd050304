#include "crypto/engine/AESCore.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "Oracle.h"
#include "VectorFile.h"

namespace {

using AESCore::TAESCore;
using platform::TBytes;
using platform::TCharArray16;
using platform::TCharArray60_4;
using testing_support::FromHex;

TCharArray16 Block(const std::string& hex) {
  TCharArray16 b{};
  const auto bytes = FromHex(hex);
  std::copy(bytes.begin(), bytes.end(), b.begin());
  return b;
}

struct KnownAnswer {
  std::string key, plain, cipher;
};

// FIPS-197 appendix C: the keys count up from 00, the plain block from 00 in steps of 0x11.
const KnownAnswer kAppendixC[] = {
    {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
     "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", "00112233445566778899aabbccddeeff",
     "8ea2b7ca516745bfeafc49904b496089"},
};

TEST(AESCore, KnownAnswersForEveryStandardKeySize) {
  TAESCore core;
  for (const auto& v : kAppendixC) {
    const TBytes key = FromHex(v.key);
    const auto Nk = static_cast<platform::Cardinal>(key.size() / 4);
    TCharArray60_4 w{};
    ASSERT_EQ(core.KeyExpansion(key, w, Nk), 0);
    TCharArray16 out{}, back{};
    ASSERT_EQ(core.Cipher(Block(v.plain), out, w, Nk), 0);
    EXPECT_EQ(out, Block(v.cipher)) << v.key;
    ASSERT_EQ(core.InvCipher(out, back, w, Nk), 0);
    EXPECT_EQ(back, Block(v.plain)) << v.key;
  }
}

TEST(AESCore, KeyScheduleMatchesTheStandardsExpansion) {
  // FIPS-197 appendix A.1: the last word of the AES-128 schedule, which passes through every Rcon.
  TAESCore core;
  TCharArray60_4 w{};
  ASSERT_EQ(core.KeyExpansion(FromHex("2b7e151628aed2a6abf7158809cf4f3c"), w, 4), 0);
  EXPECT_EQ(w[43], (std::array<std::uint8_t, 4>{0xb6, 0x63, 0x0c, 0xa6}));
  EXPECT_EQ(w[4], (std::array<std::uint8_t, 4>{0xa0, 0xfa, 0xfe, 0x17}));
}

TEST(AESCore, AgreesWithOpenSSLOnRandomKeysAndBlocks) {
  TAESCore core;
  for (std::size_t keyBytes : {16u, 24u, 32u}) {
    for (std::uint32_t seed = 0; seed < 20; ++seed) {
      const TBytes key = testing_support::RandomBytes(keyBytes, seed);
      const TBytes plain = testing_support::RandomBytes(16, seed + 1000);
      TCharArray60_4 w{};
      ASSERT_EQ(core.KeyExpansion(key, w, static_cast<platform::Cardinal>(keyBytes / 4)), 0);
      TCharArray16 in{}, out{};
      std::copy(plain.begin(), plain.end(), in.begin());
      ASSERT_EQ(core.Cipher(in, out, w, static_cast<platform::Cardinal>(keyBytes / 4)), 0);
      const auto expected = testing_support::OpenSSLCrypt(true, 0, key, {}, plain, false);
      EXPECT_TRUE(std::equal(out.begin(), out.end(), expected.begin())) << keyBytes << " " << seed;
    }
  }
}

TEST(AESCore, EveryWordCountFromOneToEightRoundTripsInPlace) {
  TAESCore core;
  const TBytes key = testing_support::RandomBytes(32, 7);
  const TCharArray16 plain = Block("00112233445566778899aabbccddeeff");
  for (platform::Cardinal Nk = 1; Nk <= 8; ++Nk) {
    TCharArray60_4 w{};
    ASSERT_EQ(core.KeyExpansion(key, w, Nk), 0);
    TCharArray16 block = plain;
    ASSERT_EQ(core.Cipher(block, block, w, Nk), 0);
    EXPECT_NE(block, plain) << Nk;
    ASSERT_EQ(core.InvCipher(block, block, w, Nk), 0);
    EXPECT_EQ(block, plain) << Nk;
  }
}

// Nk 1..8 keep the results the table cipher gave (a change in the key schedule or the round
// count of the uncommon word counts shows here, not only in a round trip).
TEST(AESCore, EveryWordCountKeepsItsRecordedResults) {
  TAESCore core;
  const auto records = testing_support::ReadVectorFile("aes_nk.vec");
  ASSERT_EQ(records.size(), 16u);
  for (const auto& rec : records) {
    const TBytes& key = rec.at("Key");
    const auto Nk = static_cast<platform::Cardinal>(key.size() / 4);
    TCharArray60_4 w{};
    ASSERT_EQ(core.KeyExpansion(key, w, Nk), 0);
    TCharArray16 in{}, out{}, back{};
    std::copy(rec.at("Plaintext").begin(), rec.at("Plaintext").end(), in.begin());
    ASSERT_EQ(core.Cipher(in, out, w, Nk), 0);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), rec.at("Ciphertext").begin())) << "Nk " << Nk;
    ASSERT_EQ(core.InvCipher(out, back, w, Nk), 0);
    EXPECT_EQ(back, in) << "Nk " << Nk;
  }
}

TEST(AESCore, ExpansionWritesOnlyTheWordsOfItsRounds) {
  TAESCore core;
  TCharArray60_4 w;
  for (auto& word : w) word = {0xAA, 0xAA, 0xAA, 0xAA};
  ASSERT_EQ(core.KeyExpansion(testing_support::RandomBytes(16, 1), w, 4), 0);
  for (std::size_t i = 44; i < 60; ++i) EXPECT_EQ(w[i], (std::array<std::uint8_t, 4>{0xAA, 0xAA, 0xAA, 0xAA})) << i;
}

TEST(AESCore, RejectsWordCountsTheScheduleCannotHoldAndShortKeys) {
  TAESCore core;
  struct Case {
    std::size_t keyBytes;
    platform::Cardinal Nk;
  };
  for (const Case c : {Case{32, 0}, Case{36, 9}, Case{64, 16}, Case{15, 4}, Case{0, 1}}) {
    TCharArray60_4 w;
    for (auto& word : w) word = {1, 2, 3, 4};
    const TCharArray60_4 before = w;
    EXPECT_EQ(core.KeyExpansion(TBytes(c.keyBytes, 0x5A), w, c.Nk), AESCore::kBadKeySize) << c.Nk;
    EXPECT_EQ(w, before) << c.Nk;
  }
  TCharArray16 in{}, out{};
  out.fill(0x33);
  const TCharArray60_4 w{};
  EXPECT_EQ(core.Cipher(in, out, w, 9), AESCore::kBadKeySize);
  EXPECT_EQ(core.InvCipher(in, out, w, 0), AESCore::kBadKeySize);
  EXPECT_EQ(out[0], 0x33);
}

}  // namespace
