#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "Oracle.h"
#include "PaddingCases.h"
#include "Thrown.h"
#include "crypto/support/error.h"
#include "crypto/engine/AESModes.h"
#include "crypto/support/errorlist.h"
#include "platform/OSRandomFailure.h"
#include "platform/Streams.h"

namespace {

using namespace AESModes;
using platform::TMemoryStream;
using testing_support::Bytes;
using testing_support::ThrownMessage;
using testing_support::FromHex;
using testing_support::OpenSSLCrypt;
using testing_support::RandomBytes;

// Reaches the stream settings the system itself never uses.
class TConfiguredModes : public TAESModes {
 public:
  TConfiguredModes(TAESType t, TIVMode iv, TPaddingMode p) : TAESModes(t, iv, p) {}
};

Bytes Encrypt(TAESModes& m, const Bytes& plain, const Bytes& key, const Bytes& iv = {}) {
  TMemoryStream in(plain), out;
  m.EncryptStream(&in, &out, key, iv);
  return out.Bytes();
}

Integer Decrypt(TAESModes& m, const Bytes& cipher, const Bytes& key, Bytes& plain, const Bytes& iv = {}) {
  TMemoryStream in(cipher), out;
  const Integer status = m.DecryptStream(&in, &out, key, iv);
  plain = out.Bytes();
  return status;
}

const Bytes kKey128 = FromHex("2b7e151628aed2a6abf7158809cf4f3c");
const Bytes kPlain = FromHex(
    "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");

struct ModeVector {
  TAESType type;
  const char* iv;
  const char* cipher;
};

// SP 800-38A appendix F, AES-128 (F.1.1, F.2.1, F.4.1, F.5.1).
const ModeVector kModeVectors[] = {
    {atECB, "",
     "3ad77bb40d7a3660a89ecaf32466ef97f5d3d58503b9699de785895a96fdbaaf"
     "43b1cd7f598ece23881b00e3ed0306887b0c785e27e8ad3f8223207104725dd4"},
    {atCBC, "000102030405060708090a0b0c0d0e0f",
     "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
     "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7"},
    {atOFB, "000102030405060708090a0b0c0d0e0f",
     "3b3fd92eb72dad20333449f8e83cfb4a7789508d16918f03f53c52dac54ed825"
     "9740051e9c5fecf64344f7a82260edcc304c6528f659c77866a510d9c1d6ae5e"},
    {atCTR, "f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff",
     "874d6191b620e3261bef6864990db6ce9806f66b7970fdff8617187bb9fffdff"
     "5ae4df3edbd5d35e5b4f09020db03eab1e031dda2fbe03d1792170a0f3009cee"},
};

TEST(AESModesStream, StandardVectorsInEveryMode) {
  for (const auto& v : kModeVectors) {
    TConfiguredModes m(v.type, userdefined, nopadding);
    const Bytes iv = FromHex(v.iv);
    EXPECT_EQ(Encrypt(m, kPlain, kKey128, iv), FromHex(v.cipher)) << int(v.type);
    Bytes back;
    EXPECT_EQ(Decrypt(m, FromHex(v.cipher), kKey128, back, iv), 0);
    EXPECT_EQ(back, kPlain) << int(v.type);
  }
}

TEST(AESModesStream, SystemSettingsAreEcbWithPkcs7AndNoHeader) {
  TAESModes m;
  const Bytes out = Encrypt(m, kPlain, kKey128);
  ASSERT_EQ(out.size(), 80u);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 64), FromHex(kModeVectors[0].cipher));
  // The last block is the padding block of sixteen 0x10 bytes.
  EXPECT_EQ(Bytes(out.begin() + 64, out.end()), OpenSSLCrypt(true, 0, kKey128, {}, Bytes(16, 0x10), false));
}

// Lengths around the 160000-byte chunk and a few MB.
const std::size_t kLengths[] = {0, 1, 15, 16, 17, 159999, 160000, 160001, 320016, 3 * 1024 * 1024 + 5};

TEST(AESModesStream, EcbAndCbcWithPkcs7MatchOpenSSLAcrossChunkBoundaries) {
  const Bytes iv = RandomBytes(16, 99);
  for (const std::size_t keyBytes : {16u, 32u}) {
    const Bytes key = RandomBytes(keyBytes, static_cast<std::uint32_t>(keyBytes));
    for (const std::size_t len : kLengths) {
      const Bytes plain = RandomBytes(len, static_cast<std::uint32_t>(len));
      TAESModes ecb;
      TConfiguredModes cbc(atCBC, userdefined, PKCS7);
      for (auto [modes, mode] : {std::pair<TAESModes*, int>{&ecb, 0}, {&cbc, 1}}) {
        const Bytes cipher = Encrypt(*modes, plain, key, iv);
        ASSERT_EQ(cipher, OpenSSLCrypt(true, mode, key, mode ? iv : Bytes{}, plain, true)) << mode << " " << len;
        Bytes back;
        ASSERT_EQ(Decrypt(*modes, cipher, key, back, iv), 0);
        ASSERT_EQ(back, plain) << mode << " " << len;
      }
    }
  }
}

TEST(AESModesStream, OfbAndCtrWithoutPaddingMatchOpenSSL) {
  const Bytes key = RandomBytes(24, 5);
  // An IV of all 0xFF makes the CTR counter wrap across all 128 bits at the second block.
  for (const Bytes& iv : {RandomBytes(16, 6), Bytes(16, 0xFF)}) {
    for (const std::size_t len : {16u, 160000u, 320016u}) {
      const Bytes plain = RandomBytes(len, 3);
      for (auto [type, mode] : {std::pair{atOFB, 2}, std::pair{atCTR, 3}}) {
        TConfiguredModes m(type, userdefined, nopadding);
        const Bytes cipher = Encrypt(m, plain, key, iv);
        ASSERT_EQ(cipher, OpenSSLCrypt(true, mode, key, iv, plain, false)) << mode << " " << len;
        Bytes back;
        ASSERT_EQ(Decrypt(m, cipher, key, back, iv), 0);
        ASSERT_EQ(back, plain);
      }
    }
  }
}

TEST(AESModesStream, CtrDecryptsAPartialLastBlockWithoutPadding) {
  const Bytes key = RandomBytes(16, 1), iv = RandomBytes(16, 2), plain = RandomBytes(160021, 3);
  TConfiguredModes m(atCTR, userdefined, nopadding);
  Bytes back;
  ASSERT_EQ(Decrypt(m, OpenSSLCrypt(true, 3, key, iv, plain, false), key, back, iv), 0);
  EXPECT_EQ(back, plain);
}

TEST(AESModesStream, RandomIvIsWrittenFirstAndDiffersBetweenRuns) {
  const Bytes key = RandomBytes(16, 1), plain = RandomBytes(100, 2);
  TConfiguredModes m(atCBC, AESModes::rand, PKCS7);
  const Bytes a = Encrypt(m, plain, key), b = Encrypt(m, plain, key);
  ASSERT_EQ(a.size(), 16u + 112u);
  EXPECT_NE(Bytes(a.begin(), a.begin() + 16), Bytes(b.begin(), b.begin() + 16));
  const Bytes iv(a.begin(), a.begin() + 16);
  EXPECT_EQ(Bytes(a.begin() + 16, a.end()), OpenSSLCrypt(true, 1, key, iv, plain, true));
  Bytes back;
  ASSERT_EQ(Decrypt(m, a, key, back), 0);
  EXPECT_EQ(back, plain);
}

TEST(AESModesStream, FailingGeneratorIsRaisedInsteadOfAPredictableIv) {
  TConfiguredModes m(atCTR, AESModes::rand, PKCS7);
  platform::ScopedRandomFailure failure(EIO);
  TMemoryStream in(RandomBytes(40, 1)), out;
  EXPECT_EQ(ThrownMessage([&] { m.EncryptStream(&in, &out, RandomBytes(16, 2), {}); }),
            "Invalid Operation : " + std::to_string(static_cast<std::int32_t>(0x80070000u | EIO)));
  EXPECT_EQ(out.GetSize(), 0);
}

TEST(AESModesStream, NonStandardKeyLengthsUseKeyLengthDivFour) {
  const Bytes plain = RandomBytes(1000, 4);
  TAESModes m;
  // 20 bytes: Nk = 5, eleven rounds; 33 bytes: Nk = 8 (AES-256 on the first 32 bytes).
  for (const std::size_t keyBytes : {20u, 33u}) {
    const Bytes key = RandomBytes(keyBytes, 9);
    const Bytes cipher = Encrypt(m, plain, key);
    Bytes back;
    ASSERT_EQ(Decrypt(m, cipher, key, back), 0);
    EXPECT_EQ(back, plain) << keyBytes;
  }
  EXPECT_EQ(Encrypt(m, plain, RandomBytes(33, 9)), OpenSSLCrypt(true, 0, RandomBytes(32, 9), {}, plain, true));
}

TEST(AESModesStream, BadKeysAndShortIvRaiseTheOperationError) {
  TAESModes ecb;
  EXPECT_EQ(ThrownMessage([&] { Encrypt(ecb, kPlain, Bytes(3, 1)); }), "Invalid Operation : -206");
  EXPECT_EQ(ThrownMessage([&] { Encrypt(ecb, kPlain, Bytes(36, 1)); }), "Invalid Operation : -206");
  TConfiguredModes cbc(atCBC, userdefined, PKCS7);
  EXPECT_EQ(ThrownMessage([&] { Encrypt(cbc, kPlain, kKey128, Bytes(15, 0)); }), "Invalid Operation : -201");
  Bytes back;
  EXPECT_EQ(ThrownMessage([&] { Decrypt(cbc, Bytes(32, 0), kKey128, back, Bytes(15, 0)); }),
            "Invalid Operation : -201");
}

TEST(AESModesStream, NoPaddingRejectsPartialBlocksBeforeWriting) {
  TConfiguredModes ecb(atECB, AESModes::rand, nopadding);
  TMemoryStream in(Bytes(20, 7)), out;
  EXPECT_EQ(ThrownMessage([&] { ecb.EncryptStream(&in, &out, kKey128, {}); }), "Invalid Operation : -211");
  EXPECT_EQ(out.GetSize(), 0);
  // Decryption checks the cipher text's own length, not what the output stream held before.
  TMemoryStream cipher(Bytes(20, 7)), old(Bytes(5, 1));
  EXPECT_EQ(ThrownMessage([&] { ecb.DecryptStream(&cipher, &old, kKey128, {}); }), "Invalid Operation : -211");
  TMemoryStream whole(Encrypt(ecb, Bytes(32, 1), kKey128)), longer(Bytes(21, 9));
  EXPECT_EQ(ecb.DecryptStream(&whole, &longer, kKey128, {}), 0);
}

// Padded cipher text shorter than one block or not whole blocks is damaged: nothing is written.
TEST(AESModesStream, PaddedInputNotWholeBlocksWritesNothing) {
  struct Case {
    TAESType type;
    TIVMode iv;
    TPaddingMode padding;
    std::size_t size;
    Integer status;
  };
  const Case cases[] = {
      {atECB, AESModes::rand, PKCS7, 0, error::kBadPadding},       {atECB, AESModes::rand, PKCS7, 15, error::kBadPadding},
      {atCBC, AESModes::rand, PKCS7, 31, error::kBadPadding},      {atCBC, AESModes::rand, PKCS7, 16, error::kBadPadding},
      {atECB, AESModes::rand, PKCS7, 17, error::kBadPadding},      {atCTR, AESModes::rand, PKCS7, 16 + 33, error::kBadPadding},
      {atECB, AESModes::rand, nopadding, 0, 0},      {atOFB, AESModes::rand, nopadding, 16, 0},
  };
  for (const auto& c : cases) {
    TConfiguredModes m(c.type, c.iv, c.padding);
    Bytes out;
    EXPECT_EQ(Decrypt(m, Bytes(c.size, 0x42), kKey128, out), c.status) << c.size;
    EXPECT_TRUE(out.empty()) << c.size;
  }
}

TEST(AESModesStream, PaddingCheckCoversTheWholePadding) {
  TAESModes ecb;
  for (const auto& c : testing_support::FinalBlockCases()) {
    Bytes back;
    const Integer status = Decrypt(ecb, testing_support::CipherEndingIn(kKey128, c.Block), kKey128, back);
    if (c.PlainBytes < 0) {
      EXPECT_EQ(status, error::kBadPadding) << c.Name;
      EXPECT_EQ(back, FromHex("00112233445566778899aabbccddeeff")) << c.Name;  // a stream keeps what came before
    } else {
      EXPECT_EQ(status, 0) << c.Name;
      EXPECT_EQ(back, testing_support::PlainEndingIn(c)) << c.Name;
    }
  }
}

TEST(AESModesStream, ChunkBoundaryOfTheDecryption) {
  TAESModes m;
  const Bytes plain = RandomBytes(160000, 8);
  const Bytes cipher = Encrypt(m, plain, kKey128);
  ASSERT_EQ(cipher.size(), 160016u);
  // Without its final block the cipher text is one full chunk: all of it becomes the tail.
  const Bytes cut(cipher.begin(), cipher.begin() + 160000);
  Bytes back;
  const Integer status = Decrypt(m, cut, kKey128, back);
  ASSERT_TRUE(status == 0 || status == error::kBadPadding);
  EXPECT_TRUE(std::equal(back.begin(), back.begin() + std::min<std::size_t>(back.size(), 159984), plain.begin()));
  if (status == 0) {
    EXPECT_GE(back.size(), 159984u);
  }
}

TEST(AESModesStream, OutputStreamIsRewoundAndNotTruncated) {
  TAESModes m;
  TMemoryStream in(Bytes(5, 1)), out(Bytes(40, 0xEE));
  in.SetPosition(3);
  out.SetPosition(40);
  m.EncryptStream(&in, &out, kKey128, {});
  ASSERT_EQ(out.GetSize(), 40);
  EXPECT_EQ(Bytes(out.Bytes().begin(), out.Bytes().begin() + 16), OpenSSLCrypt(true, 0, kKey128, {}, Bytes(5, 1), true));
  EXPECT_EQ(out.Bytes()[16], 0xEE);
}

// A stream that accepts fewer bytes than asked once it holds limit bytes.
class TShortWriteStream : public TMemoryStream {
 public:
  explicit TShortWriteStream(std::int64_t limit) : FLimit(limit) {}
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    const std::int64_t room = std::max<std::int64_t>(0, FLimit - GetPosition());
    return TMemoryStream::Write(buffer, std::min(count, room));
  }

 private:
  std::int64_t FLimit;
};

TEST(AESModesStream, ShortWriteIsNeverTakenForSuccess) {
  TAESModes m;
  TMemoryStream in(RandomBytes(200000, 1));
  TShortWriteStream out(170000);
  EXPECT_THROW(m.EncryptStream(&in, &out, kKey128, {}), platform::EWriteError);
}

TEST(AESModesStream, BlockStepsAndPadBlock) {
  TAESModes m;
  platform::TCharArray16 P{};
  P.fill(0x77);
  EXPECT_EQ(TAESModes::PadBlock(P, 13), 0);
  EXPECT_EQ(P[12], 0x77);
  EXPECT_EQ(P[13], 3);
  EXPECT_EQ(P[15], 3);
  TAESModes::PadBlock(P, 16);
  EXPECT_EQ(P[15], 3);
  // The CTR step increments the whole block as one big-endian counter.
  platform::TCharArray60_4 w{};
  AESCore::TAESCore core;
  ASSERT_EQ(core.KeyExpansion(kKey128, w, 4), 0);
  platform::TCharArray16 V{}, C{};
  V[14] = 0x00;
  V[15] = 0xFF;
  m.EncryptionLoop(P, C, w, 4, atCTR, V);
  EXPECT_EQ(V[14], 0x01);
  EXPECT_EQ(V[15], 0x00);
  V.fill(0xFF);
  m.DecryptionLoop(C, P, w, 4, atCTR, V);
  EXPECT_EQ(V, platform::TCharArray16{});
  // An unknown mode leaves the output block alone.
  platform::TCharArray16 untouched{};
  untouched.fill(0x5C);
  m.EncryptionLoop(P, untouched, w, 4, static_cast<TAESType>(7), V);
  EXPECT_EQ(untouched[0], 0x5C);
}

}  // namespace
