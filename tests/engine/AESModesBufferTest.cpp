// Buffer and string operations of TAESModes: known answers, OpenSSL as an oracle, layouts,
// sizes and statuses.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>

#include "Oracle.h"
#include "PaddingCases.h"
#include "crypto/support/error.h"
#include "crypto/engine/AESModes.h"
#include "platform/OSRandomFailure.h"

namespace {

using AESModes::TAESModes;
using platform::Integer;
using testing_support::Bytes;
using testing_support::FromHex;
using testing_support::OpenSSLCrypt;
using testing_support::RandomBytes;

constexpr int kECB = 0, kCBC = 1, kOFB = 2, kCTR = 3;

std::size_t Header(bool ivIn, int mode) { return ivIn && mode != kECB ? 16 : 0; }

std::size_t CipherSize(std::size_t L, bool ivIn, bool padding, int mode) {
  return Header(ivIn, mode) + (padding ? L / 16 * 16 + 16 : L);
}

Bytes Pkcs7(Bytes b) {
  const std::size_t k = 16 - b.size() % 16;
  b.insert(b.end(), k, static_cast<std::uint8_t>(k));
  return b;
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Encryption into a buffer of exactly the described size; checks status and reported size.
Bytes Encrypt(const Bytes& plain, const Bytes& key, bool ivIn, const Bytes& iv, bool padding, int mode) {
  TAESModes m;
  Bytes out(CipherSize(plain.size(), ivIn, padding, mode));
  Integer size = -1;
  EXPECT_EQ(0, m.EncryptBinaryBuffer(plain, out, size, key, static_cast<Integer>(key.size() * 8), ivIn, iv, padding,
                                     mode));
  EXPECT_EQ(static_cast<std::size_t>(size), out.size());
  return out;
}

// Decryption into a buffer as long as the cipher text; keySizeBits is given as 0 to show that
// the key's own length decides. The result is cut to the plain length.
Bytes Decrypt(const Bytes& cipher, const Bytes& key, bool ivIn, const Bytes& iv, bool padding, int mode) {
  TAESModes m;
  Bytes out(cipher.size());
  Integer size = -1;
  EXPECT_EQ(0, m.DecryptBinaryBuffer(cipher, out, size, key, 0, ivIn, iv, padding, mode));
  out.resize(padding ? static_cast<std::size_t>(size) : cipher.size() - Header(ivIn, mode));
  return out;
}

// SP 800-38A appendix F: four blocks under each mode and key size.
const char* const kSP800Plain =
    "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710";
const char* const kKey128 = "2b7e151628aed2a6abf7158809cf4f3c";
const char* const kKey192 = "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b";
const char* const kKey256 = "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4";
const char* const kIV = "000102030405060708090a0b0c0d0e0f";
const char* const kCounter = "f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff";

struct TKnownAnswer {
  const char* name;
  int mode;
  const char* key;
  const char* iv;
  const char* cipher;
};

const TKnownAnswer kSP800Vectors[] = {
    {"F.1.1 ECB-AES128", kECB, kKey128, "",
     "3ad77bb40d7a3660a89ecaf32466ef97f5d3d58503b9699de785895a96fdbaaf"
     "43b1cd7f598ece23881b00e3ed0306887b0c785e27e8ad3f8223207104725dd4"},
    {"F.1.3 ECB-AES192", kECB, kKey192, "",
     "bd334f1d6e45f25ff712a214571fa5cc974104846d0ad3ad7734ecb3ecee4eef"
     "ef7afd2270e2e60adce0ba2face6444e9a4b41ba738d6c72fb16691603c18e0e"},
    {"F.1.5 ECB-AES256", kECB, kKey256, "",
     "f3eed1bdb5d2a03c064b5a7e3db181f8591ccb10d410ed26dc5ba74a31362870"
     "b6ed21b99ca6f4f9f153e7b1beafed1d23304b7a39f9f3ff067d8d8f9e24ecc7"},
    {"F.2.1 CBC-AES128", kCBC, kKey128, kIV,
     "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
     "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7"},
    {"F.2.3 CBC-AES192", kCBC, kKey192, kIV,
     "4f021db243bc633d7178183a9fa071e8b4d9ada9ad7dedf4e5e738763f69145a"
     "571b242012fb7ae07fa9baac3df102e008b0e27988598881d920a9e64f5615cd"},
    {"F.2.5 CBC-AES256", kCBC, kKey256, kIV,
     "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
     "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b"},
    {"F.4.1 OFB-AES128", kOFB, kKey128, kIV,
     "3b3fd92eb72dad20333449f8e83cfb4a7789508d16918f03f53c52dac54ed825"
     "9740051e9c5fecf64344f7a82260edcc304c6528f659c77866a510d9c1d6ae5e"},
    {"F.4.3 OFB-AES192", kOFB, kKey192, kIV,
     "cdc80d6fddf18cab34c25909c99a4174fcc28b8d4c63837c09e81700c1100401"
     "8d9a9aeac0f6596f559c6d4daf59a5f26d9f200857ca6c3e9cac524bd9acc92a"},
    {"F.4.5 OFB-AES256", kOFB, kKey256, kIV,
     "dc7e84bfda79164b7ecd8486985d38604febdc6740d20b3ac88f6ad82a4fb08d"
     "71ab47a086e86eedf39d1c5bba97c4080126141d67f37be8538f5a8be740e484"},
    {"F.5.1 CTR-AES128", kCTR, kKey128, kCounter,
     "874d6191b620e3261bef6864990db6ce9806f66b7970fdff8617187bb9fffdff"
     "5ae4df3edbd5d35e5b4f09020db03eab1e031dda2fbe03d1792170a0f3009cee"},
    {"F.5.3 CTR-AES192", kCTR, kKey192, kCounter,
     "1abc932417521ca24f2b0459fe7e6e0b090339ec0aa6faefd5ccc2c6f4ce8e94"
     "1e36b26bd1ebc670d1bd1d665620abf74f78a7f6d29809585a97daec58c6b050"},
    {"F.5.5 CTR-AES256", kCTR, kKey256, kCounter,
     "601ec313775789a5b7a7f504bbf3d228f443e3ca4d62b59aca84e990cacaf5c5"
     "2b0930daa23de94ce87017ba2d84988ddfc9c58db67aada613c2dd08457941a6"},
};

TEST(AESModesBuffer, SP800_38A_Vectors) {
  const Bytes plain = FromHex(kSP800Plain);
  for (const auto& v : kSP800Vectors) {
    SCOPED_TRACE(v.name);
    const Bytes key = FromHex(v.key), iv = FromHex(v.iv), cipher = FromHex(v.cipher);
    EXPECT_EQ(Encrypt(plain, key, false, iv, false, v.mode), cipher);
    EXPECT_EQ(Decrypt(cipher, key, false, iv, false, v.mode), plain);
  }
}

// Random data in every mode and key size against OpenSSL. ECB and CBC compare with OpenSSL's own
// PKCS7; OFB and CTR have no padding there, so the padded plain text is given to it.
TEST(AESModesBuffer, MatchesOpenSSL) {
  std::uint32_t seed = 1;
  for (int mode : {kECB, kCBC, kOFB, kCTR})
    for (std::size_t keyLen : {16u, 24u, 32u})
      for (std::size_t L : {1u, 15u, 16u, 17u, 31u, 32u, 33u, 100u, 1029u})
        for (bool padding : {true, false}) {
          if (!padding && L % 16 != 0) continue;
          SCOPED_TRACE(testing::Message() << "mode " << mode << " key " << keyLen << " L " << L << " pad " << padding);
          const Bytes key = RandomBytes(keyLen, seed++), iv = RandomBytes(16, seed++), plain = RandomBytes(L, seed++);
          const Bytes ossl = mode <= kCBC ? OpenSSLCrypt(true, mode, key, mode ? iv : Bytes{}, plain, padding)
                                          : OpenSSLCrypt(true, mode, key, iv, padding ? Pkcs7(plain) : plain, false);
          EXPECT_EQ(Encrypt(plain, key, false, iv, padding, mode), ossl);
          EXPECT_EQ(Decrypt(ossl, key, false, iv, padding, mode), plain);
        }
}

// CTR without padding takes any length: the trailing partial block is decrypted with the
// keystream like the others, with the IV given or carried in front.
TEST(AESModesBuffer, CtrPartialLastBlockIsDecrypted) {
  for (std::size_t L : {1u, 15u, 17u, 37u, 100u}) {
    SCOPED_TRACE(L);
    const Bytes key = RandomBytes(16, 7), iv = RandomBytes(16, 8), plain = RandomBytes(L, 9);
    const Bytes cipher = OpenSSLCrypt(true, kCTR, key, iv, plain, false);
    EXPECT_EQ(Decrypt(cipher, key, false, iv, false, kCTR), plain);
    EXPECT_EQ(Decrypt(Cat(iv, cipher), key, true, {}, false, kCTR), plain);
  }
}

// The counter is the whole block, incremented over all 128 bits (OpenSSL's CTR does the same).
TEST(AESModesBuffer, CtrCounterCarriesOverAllBytes) {
  const Bytes key = RandomBytes(16, 11), plain = RandomBytes(64, 12);
  for (const char* iv : {"000000000000000000000000000000ff", "ffffffffffffffffffffffffffffffff",
                         "0000000000000000fffffffffffffffe"}) {
    SCOPED_TRACE(iv);
    EXPECT_EQ(Encrypt(plain, key, false, FromHex(iv), false, kCTR),
              OpenSSLCrypt(true, kCTR, key, FromHex(iv), plain, false));
  }
}

// With IVIn the cipher text is a fresh IV followed by exactly what the caller-IV form gives for
// that IV; ECB carries no IV. Decryption reads the IV back.
TEST(AESModesBuffer, CarriedIVLayoutAndRoundTrip) {
  for (int mode : {kECB, kCBC, kOFB, kCTR})
    for (bool padding : {true, false})
      for (std::size_t L : {1u, 16u, 33u, 48u}) {
        if (!padding && L % 16 != 0) continue;
        SCOPED_TRACE(testing::Message() << "mode " << mode << " pad " << padding << " L " << L);
        const Bytes key = RandomBytes(32, static_cast<std::uint32_t>(L)), plain = RandomBytes(L, 3);
        const Bytes a = Encrypt(plain, key, true, {}, padding, mode), b = Encrypt(plain, key, true, {}, padding, mode);
        ASSERT_EQ(a.size(), CipherSize(L, true, padding, mode));
        if (mode == kECB) {
          EXPECT_EQ(a, b);
          EXPECT_EQ(a, Encrypt(plain, key, false, {}, padding, mode));
        } else {
          EXPECT_NE(Bytes(a.begin(), a.begin() + 16), Bytes(b.begin(), b.begin() + 16));
          const Bytes iv(a.begin(), a.begin() + 16);
          EXPECT_EQ(Bytes(a.begin() + 16, a.end()), Encrypt(plain, key, false, iv, padding, mode));
        }
        EXPECT_EQ(Decrypt(a, key, true, {}, padding, mode), plain);
      }
}

TEST(AESModesBuffer, KeySizeRules) {
  const Bytes key32 = RandomBytes(32, 21), plain = RandomBytes(40, 22), iv = RandomBytes(16, 23);
  // Encryption uses the first keySizeBits / 8 bytes of a longer key.
  TAESModes m;
  Bytes out(48);
  Integer size = 0;
  ASSERT_EQ(0, m.EncryptBinaryBuffer(plain, out, size, key32, 128, false, iv, true, kCBC));
  EXPECT_EQ(out, Encrypt(plain, Bytes(key32.begin(), key32.begin() + 16), false, iv, true, kCBC));
  // Decryption takes AES-192 from a 24-byte key whatever keySizeBits says.
  const Bytes key24(key32.begin(), key32.begin() + 24);
  const Bytes cipher = OpenSSLCrypt(true, kCBC, key24, iv, plain, true);
  Bytes back(cipher.size());
  ASSERT_EQ(0, m.DecryptBinaryBuffer(cipher, back, size, key24, 256, false, iv, true, kCBC));
  EXPECT_EQ(Bytes(back.begin(), back.begin() + size), plain);
}

// The whole padding is checked in the buffer and string forms; the blocks before the final one
// are written either way.
TEST(AESModesBuffer, PaddingCheckCoversTheWholePadding) {
  const Bytes key = RandomBytes(16, 31);
  TAESModes m;
  for (const auto& c : testing_support::FinalBlockCases()) {
    SCOPED_TRACE(c.Name);
    const Bytes cipher = testing_support::CipherEndingIn(key, c.Block);
    Bytes out(32, 0xAA);
    Integer size = -1;
    const Integer status = m.DecryptBinaryBuffer(cipher, out, size, key, 128, false, {}, true, kECB);
    platform::string text = u"unchanged";
    const Integer textStatus =
        m.DecryptString(platform::string(cipher.begin(), cipher.end()), text, key, 128, false, {}, true, kECB);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 16), FromHex("00112233445566778899aabbccddeeff"));
    if (c.PlainBytes < 0) {
      EXPECT_EQ(error::kBadPadding, status);
      EXPECT_EQ(-1, size);
      EXPECT_EQ(error::kBadPadding, textStatus);
      EXPECT_EQ(text, u"unchanged");
    } else {
      const Bytes plain = testing_support::PlainEndingIn(c);
      ASSERT_EQ(0, status);
      EXPECT_EQ(Bytes(out.begin(), out.begin() + size), plain);
      EXPECT_EQ(0, textStatus);
      EXPECT_EQ(text, platform::string(plain.begin(), plain.end()));
    }
  }
}

struct TStatusCase {
  const char* name;
  std::size_t inLen, outLen, keyLen;
  Integer keySizeBits;
  bool ivIn;
  std::size_t ivLen;
  bool padding;
  Integer mode, expected;
};

// Every refusal of encryption; with a caller IV nothing is written before any of them, and
// outputSizeBytes is only ever set on success.
TEST(AESModesBuffer, EncryptStatuses) {
  const TStatusCase cases[] = {
      {"no padding, 20 bytes", 20, 32, 16, 128, false, 16, false, kCBC, error::kNoPaddingLength},
      {"empty input", 0, 16, 16, 128, false, 16, true, kCBC, error::kBadArgument},
      {"empty input, no padding", 0, 16, 16, 128, false, 16, false, kECB, error::kBadArgument},
      {"empty output", 5, 0, 16, 128, false, 16, true, kCBC, error::kBadArgument},
      {"empty key", 5, 16, 0, 128, false, 16, true, kCBC, error::kBadArgument},
      {"output one byte short", 20, 31, 16, 128, false, 16, true, kCBC, error::kBadArgument},
      {"output one byte short of IV + blocks", 20, 47, 16, 128, true, 16, true, kOFB, error::kBadArgument},
      {"IV of 15 bytes", 20, 32, 16, 128, false, 15, true, kCBC, error::kBadArgument},
      {"no IV in ECB is fine", 20, 32, 16, 128, false, 0, true, kECB, 0},
      {"key size 100 bits", 20, 32, 16, 100, false, 16, true, kCBC, error::kBadKeySize},
      {"key shorter than keySizeBits", 20, 32, 16, 256, false, 16, true, kCTR, error::kBadKeySize},
      {"mode 4", 20, 32, 16, 128, false, 16, true, 4, error::kBadMode},
      {"mode -1, one padded block", 5, 16, 16, 128, false, 16, true, -1, error::kBadMode},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TAESModes m;
    Bytes out(c.outLen, 0xAA);
    Integer size = -7;
    EXPECT_EQ(c.expected, m.EncryptBinaryBuffer(RandomBytes(c.inLen, 1), out, size, RandomBytes(c.keyLen, 2),
                                                c.keySizeBits, c.ivIn, RandomBytes(c.ivLen, 3), c.padding, c.mode));
    if (c.expected != 0) {
      EXPECT_EQ(size, -7);
      if (!c.ivIn) {
        EXPECT_EQ(out, Bytes(c.outLen, 0xAA));
      }
    }
  }
}

// Every refusal of decryption comes before anything is written.
TEST(AESModesBuffer, DecryptStatuses) {
  const TStatusCase cases[] = {
      {"CBC, 20 bytes", 20, 32, 16, 0, false, 16, false, kCBC, error::kBadCipherLength},
      {"OFB, 20 bytes", 20, 32, 16, 0, false, 16, false, kOFB, error::kBadCipherLength},
      {"CTR with padding, 20 bytes", 20, 32, 16, 0, false, 16, true, kCTR, error::kBadCipherLength},
      {"empty input", 0, 16, 16, 0, false, 16, true, kCBC, error::kBadArgument},
      {"empty output", 32, 0, 16, 0, false, 16, true, kCBC, error::kBadArgument},
      {"key of 20 bytes", 32, 32, 20, 0, false, 16, true, kCBC, error::kBadKeySize},
      {"no key", 32, 32, 0, 0, false, 16, true, kCBC, error::kBadKeySize},
      {"CTR with IV in front, 5 bytes", 5, 16, 16, 0, true, 0, false, kCTR, error::kShortIVCipher},
      {"IV of 15 bytes", 32, 32, 16, 0, false, 15, false, kCBC, error::kBadArgument},
      {"output one byte short", 32, 31, 16, 0, false, 16, false, kCBC, error::kBadArgument},
      {"output one byte short of the data part", 48, 31, 16, 0, true, 0, true, kCBC, error::kBadArgument},
      {"CTR output one byte short", 37, 36, 16, 0, false, 16, false, kCTR, error::kBadArgument},
      {"mode 4", 32, 32, 16, 0, false, 16, false, 4, error::kBadMode},
      {"only the IV, no padding: nothing to do", 16, 16, 16, 0, true, 0, false, kCBC, 0},
      {"only the IV, CBC with padding: no padded block", 16, 16, 16, 0, true, 0, true, kCBC, error::kBadPadding},
      {"only the IV, OFB with padding", 16, 16, 16, 0, true, 0, true, kOFB, error::kBadPadding},
      {"only the IV, CTR with padding", 16, 16, 16, 0, true, 0, true, kCTR, error::kBadPadding},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TAESModes m;
    Bytes out(c.outLen, 0xAA);
    Integer size = -7;
    EXPECT_EQ(c.expected, m.DecryptBinaryBuffer(RandomBytes(c.inLen, 1), out, size, RandomBytes(c.keyLen, 2),
                                                c.keySizeBits, c.ivIn, RandomBytes(c.ivLen, 3), c.padding, c.mode));
    EXPECT_EQ(size, -7);
    EXPECT_EQ(out, Bytes(c.outLen, 0xAA));
  }
}

// A failing generator is reported with its own status; no all-zero IV is ever used.
TEST(AESModesBuffer, FailingRandomGeneratorIsReported) {
  const platform::ScopedRandomFailure failing(EIO);
  const Integer expected = static_cast<Integer>(0x80070000u | EIO);
  TAESModes m;
  const Bytes plain = RandomBytes(20, 5), key = RandomBytes(16, 6);
  Bytes out(48, 0xAA);
  Integer size = -7;
  EXPECT_EQ(expected, m.EncryptBinaryBuffer(plain, out, size, key, 128, true, {}, true, kCBC));
  EXPECT_EQ(out, Bytes(48, 0xAA));
  EXPECT_EQ(size, -7);
  // ECB draws no IV and is unaffected.
  EXPECT_EQ(0, m.EncryptBinaryBuffer(plain, out, size, key, 128, true, {}, true, kECB));
}

// The string forms take one byte per character and give the plain text back at its exact length.
TEST(AESModesBuffer, StringRoundTrip) {
  platform::string text;
  for (char16_t c = 0; c < 256; ++c) text += c;
  const Bytes key = RandomBytes(24, 41), iv = RandomBytes(16, 42);
  for (int mode : {kECB, kCBC, kOFB, kCTR})
    for (bool ivIn : {false, true})
      for (bool padding : {true, false})
        for (std::size_t L : {1u, 16u, 47u, 256u}) {
          if (!padding && L % 16 != 0) continue;
          SCOPED_TRACE(testing::Message() << "mode " << mode << " IVIn " << ivIn << " pad " << padding << " L " << L);
          const platform::string plain = text.substr(256 - L);
          TAESModes m;
          Bytes cipher(CipherSize(L, ivIn, padding, mode));
          Integer size = 0;
          ASSERT_EQ(0, m.EncryptString(plain, cipher, size, key, 192, ivIn, iv, padding, mode));
          platform::string back = u"previous";
          ASSERT_EQ(0, m.DecryptString(platform::string(cipher.begin(), cipher.end()), back, key, 192, ivIn, iv,
                                       padding, mode));
          EXPECT_EQ(back, plain);
        }
}

TEST(AESModesBuffer, StringFormsDropHighByteAndKeepOutputOnFailure) {
  const Bytes key = RandomBytes(16, 51);
  TAESModes m;
  Bytes a(16), b(16);
  Integer size = 0;
  ASSERT_EQ(0, m.EncryptString(u"\u0141A", a, size, key, 128, false, {}, true, kECB));
  ASSERT_EQ(0, m.EncryptBinaryBuffer(Bytes{0x41, 0x41}, b, size, key, 128, false, {}, true, kECB));
  EXPECT_EQ(a, b);

  Bytes bad = RandomBytes(16, 52);
  bad[15] = 0x11;
  const Bytes badCipher = Encrypt(bad, key, false, {}, false, kECB);
  platform::string out = u"unchanged";
  EXPECT_EQ(error::kBadPadding, m.DecryptString(platform::string(badCipher.begin(), badCipher.end()), out, key, 128, false, {},
                                  true, kECB));
  EXPECT_EQ(error::kBadCipherLength, m.DecryptString(platform::string(20, u'x'), out, key, 128, false, {}, true, kECB));
  EXPECT_EQ(error::kBadArgument, m.DecryptString(platform::string(), out, key, 128, false, {}, true, kECB));
  EXPECT_EQ(out, u"unchanged");
}

}  // namespace
