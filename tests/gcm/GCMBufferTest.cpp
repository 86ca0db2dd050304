// Buffer and string forms: the order of the statuses, the bounds that are refused before
// anything is written, the _IVIn layouts and the string forms' trailing bytes.
#include <gtest/gtest.h>

#include "GCMForms.h"

namespace {

using namespace gcm_test;
using AESModes::TAESModes;
using testing_support::RandomBytes;

// Arguments of GCM_EncryptBinaryBuffer / GCM_DecryptBinaryBuffer; each case changes one thing.
struct Args {
  TBytes In = RandomBytes(40, 1), AAD = RandomBytes(20, 2), Out = TBytes(40, 0xAA), Key = RandomBytes(32, 3);
  TBytes IV = RandomBytes(12, 4), Tag = TBytes(16, 0xAA);
  Integer InSize = 40, AADBits = 160, KeyBits = 256, IVBits = 96, TagBits = 128;
};

Integer Encrypt(Args& a) {
  TAESModes m;
  return m.GCM_EncryptBinaryBuffer(a.In, a.InSize, a.AAD, a.AADBits, a.Out, a.Key, a.KeyBits, a.IV, a.IVBits, a.Tag,
                                   a.TagBits);
}

Integer Decrypt(Args& a) {
  TAESModes m;
  return m.GCM_DecryptBinaryBuffer(a.In, a.InSize, a.AAD, a.AADBits, a.Out, a.Key, a.KeyBits, a.IV, a.IVBits, a.Tag,
                                   a.TagBits);
}

TEST(GCMBuffer, RefusedArgumentsWriteNothing) {
  struct Bad {
    const char* What;
    std::function<void(Args&)> Change;
    Integer Status;
  } cases[] = {
      {"empty input", [](Args& a) { a.In.clear(); }, -201},
      {"empty additional data", [](Args& a) { a.AAD.clear(); }, -201},
      {"empty key", [](Args& a) { a.Key.clear(); }, -201},
      {"empty IV", [](Args& a) { a.IV.clear(); }, -201},
      {"tag above 128 bits", [](Args& a) { a.TagBits = 136; }, -204},
      {"tag above 128 bits beats a short tag buffer", [](Args& a) { a.TagBits = 129, a.Tag.resize(1); }, -204},
      {"negative length", [](Args& a) { a.InSize = -1; }, -201},
      {"length above the input", [](Args& a) { a.InSize = 41; }, -201},
      {"output shorter than the data", [](Args& a) { a.Out.resize(39); }, -201},
      {"additional data shorter than its bits", [](Args& a) { a.AADBits = 168; }, -201},
      {"additional data bits not whole bytes", [](Args& a) { a.AADBits = 159; }, -201},
      {"IV shorter than its bits", [](Args& a) { a.IVBits = 104; }, -201},
      {"IV of zero bits", [](Args& a) { a.IVBits = 0; }, -201},
      {"IV bits not whole bytes", [](Args& a) { a.IVBits = 95; }, -201},
      {"tag buffer shorter than the tag", [](Args& a) { a.Tag.resize(15); }, -201},
      {"negative tag size", [](Args& a) { a.TagBits = -8; }, -201},
      {"key size 160", [](Args& a) { a.KeyBits = 160; }, -206},
      {"key shorter than its size", [](Args& a) { a.Key.resize(31); }, -206},
      {"bounds come before the key size", [](Args& a) { a.KeyBits = 160, a.InSize = 41; }, -201},
  };
  for (const auto& c : cases)
    for (const bool decrypt : {false, true}) {
      Args a;
      c.Change(a);
      const TBytes out = a.Out, tag = a.Tag;
      EXPECT_EQ(decrypt ? Decrypt(a) : Encrypt(a), c.Status) << c.What << (decrypt ? " (decrypt)" : " (encrypt)");
      EXPECT_EQ(a.Out, out) << c.What;
      EXPECT_EQ(a.Tag, tag) << c.What;
    }
}

TEST(GCMBuffer, DecryptionRefusesTagsBelow8Bits) {
  // A tag of 0 to 7 bits compares nothing and would accept any cipher text.
  for (const Integer bits : {0, 7}) {
    Args a;
    a.TagBits = bits;
    EXPECT_EQ(Encrypt(a), 0) << bits;
    EXPECT_EQ(a.Tag, TBytes(16, 0xAA)) << "nothing written for " << bits;
    const TBytes out = a.Out;
    EXPECT_EQ(Decrypt(a), -201) << bits;
    EXPECT_EQ(a.Out, out);
  }
}

TEST(GCMBuffer, PartialLengthsAndBitsTakeOnlyTheirBytes) {
  Args a;
  a.InSize = 0;  // no data: the tag of the additional data alone, the output untouched
  ASSERT_EQ(Encrypt(a), 0);
  EXPECT_EQ(a.Out, TBytes(40, 0xAA));
  EXPECT_EQ(a.Tag, testing_support::OpenSSLGCMEncrypt(a.Key, a.IV, a.AAD, {}).Tag);
  a.AADBits = 80;  // only the first 10 bytes of additional data count
  a.InSize = 25;
  ASSERT_EQ(Encrypt(a), 0);
  const TBytes tag = a.Tag;
  a.AAD[15] ^= 1;
  ASSERT_EQ(Encrypt(a), 0);
  EXPECT_EQ(a.Tag, tag);
  const auto ref = testing_support::OpenSSLGCMEncrypt(a.Key, a.IV, Take(a.AAD, 10), Take(a.In, 25));
  EXPECT_EQ(Take(a.Out, 25), ref.Cipher);
  EXPECT_EQ(TBytes(a.Out.begin() + 25, a.Out.end()), TBytes(15, 0xAA));
  EXPECT_EQ(a.Tag, ref.Tag);
}

TEST(GCMBuffer, IVInRoundTripAndLayout) {
  TAESModes m;
  const TBytes plain = RandomBytes(37, 5), key = RandomBytes(16, 6), aad = RandomBytes(3, 7);
  TBytes c1(12 + 37 + 20, 0xAA), c2 = c1, tag1(12), tag2(12);
  ASSERT_EQ(m.GCM_EncryptBinaryBuffer_IVIn(plain, 0, aad, 24, c1, key, 128, tag1, 96), 0);
  ASSERT_EQ(m.GCM_EncryptBinaryBuffer_IVIn(plain, 0, aad, 24, c2, key, 128, tag2, 96), 0);
  EXPECT_NE(Take(c1, 12), Take(c2, 12));  // a fresh IV each time
  const Bytes iv = Take(c1, 12);
  const auto ref = testing_support::OpenSSLGCMEncrypt(key, iv, aad, plain);
  EXPECT_EQ(Bytes(c1.begin() + 12, c1.begin() + 49), ref.Cipher);
  EXPECT_EQ(Bytes(c1.begin() + 49, c1.begin() + 60), Bytes(11, 0));  // to the end of the last block
  EXPECT_EQ(Bytes(c1.begin() + 60, c1.end()), Bytes(9, 0xAA));
  EXPECT_EQ(tag1, Take(ref.Tag, 12));
  TBytes back(37);
  EXPECT_EQ(m.GCM_DecryptBinaryBuffer_IVIn(c1, 49, aad, 24, back, key, 128, tag1, 96), 0);
  EXPECT_EQ(back, plain);
  TBytes shortOut(36);
  EXPECT_EQ(m.GCM_DecryptBinaryBuffer_IVIn(c1, 49, aad, 24, shortOut, key, 128, tag1, 96), -201);
  EXPECT_EQ(m.GCM_DecryptBinaryBuffer_IVIn(c1, 11, aad, 24, back, key, 128, tag1, 96), -201);  // no whole IV
  TBytes tooShort(12 + 36);
  EXPECT_EQ(m.GCM_EncryptBinaryBuffer_IVIn(plain, 0, aad, 24, tooShort, key, 128, tag1, 96), -201);
}

TEST(GCMString, LowBytesOfCharactersAndTheBytesAroundTheOutput) {
  TAESModes m;
  const TBytes key = RandomBytes(24, 8), iv = RandomBytes(12, 9), aad = RandomBytes(5, 10);
  platform::string text(37, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(0x4100 + 3 * i);  // high bytes dropped
  Bytes low(37);
  for (std::size_t i = 0; i < 37; ++i) low[i] = static_cast<std::uint8_t>(3 * i);
  TBytes out(50, 0xAA), tag(16);
  ASSERT_EQ(m.GCM_EncryptString(text, aad, out, key, 192, iv, 96, tag, 128), 0);
  const auto ref = testing_support::OpenSSLGCMEncrypt(key, iv, aad, low);
  EXPECT_EQ(Take(out, 37), ref.Cipher);
  EXPECT_EQ(Bytes(out.begin() + 37, out.begin() + 48), Bytes(11, 0));
  EXPECT_EQ(Bytes(out.begin() + 48, out.end()), Bytes(2, 0xAA));
  EXPECT_EQ(tag, ref.Tag);
  TBytes plain(40, 0xBB);
  ASSERT_EQ(m.GCM_DecryptString(ref.Cipher, 37, aad, plain, key, 192, iv, 96, tag, 128), 0);
  EXPECT_EQ(Take(plain, 37), low);
  EXPECT_EQ(plain[37], 0);
  EXPECT_EQ(Bytes(plain.begin() + 38, plain.end()), Bytes(2, 0xBB));
  TBytes noRoomForZero(37);
  EXPECT_EQ(m.GCM_DecryptString(ref.Cipher, 37, aad, noRoomForZero, key, 192, iv, 96, tag, 128), -201);
  // _IVIn: IV in front; decryption takes it from there.
  TBytes withIV(12 + 37), tag2(16);
  ASSERT_EQ(m.GCM_EncryptString_IVIn(text, aad, withIV, key, 192, tag2, 128), 0);
  TBytes again(38);
  ASSERT_EQ(m.GCM_DecryptString_IVIn(withIV, 49, aad, again, key, 192, tag2, 128), 0);
  EXPECT_EQ(Take(again, 37), low);
  withIV[3] ^= 1;
  EXPECT_EQ(m.GCM_DecryptString_IVIn(withIV, 49, aad, again, key, 192, tag2, 128), -200);
  EXPECT_EQ(again, TBytes(38, 0));
}

}  // namespace
