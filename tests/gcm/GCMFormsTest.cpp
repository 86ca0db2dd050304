// Every form against the known answers of tests/data/gcm.vec and against OpenSSL on random
// inputs: the same cipher text and tag, decryption back to the plain text, and -200 with no
// plain text released after a flipped bit in cipher text, additional data, IV or tag.
#include <gtest/gtest.h>

#include "GCMForms.h"

namespace {

using namespace gcm_test;
using testing_support::RandomBytes;

// Runs one case through every form that can express it.
void CheckAllForms(const Case& plain, const Bytes& cipher, const Bytes& fullTag, const std::string& what) {
  const Bytes tag = Take(fullTag, static_cast<std::size_t>(plain.TagBits / 8));
  for (const auto& form : AllForms()) {
    SCOPED_TRACE(what + " via " + form.Name);
    const auto enc = form.Encrypt(plain);
    if (!enc) continue;
    ASSERT_EQ(enc->Status, 0);
    EXPECT_EQ(enc->Data, cipher);
    EXPECT_EQ(enc->Tag, tag);
    Case back = plain;
    back.Data = cipher;
    back.Tag = tag;
    const auto dec = form.Decrypt(back);
    EXPECT_EQ(dec->Status, 0);
    EXPECT_EQ(dec->Data, plain.Data);
  }
}

TEST(GCMForms, KnownAnswers) {
  const auto vectors = LoadVectors("gcm.vec");
  ASSERT_EQ(vectors.size(), 18u);
  for (std::size_t i = 0; i < vectors.size(); ++i) {
    const Vector& v = vectors[i];
    // The oracle agrees with the record: the record is read as written.
    const auto ref = testing_support::OpenSSLGCMEncrypt(v.Key, v.IV, v.AAD, v.Plain);
    EXPECT_EQ(ref.Cipher, v.Cipher) << "case " << i + 1;
    EXPECT_EQ(ref.Tag, v.Tag) << "case " << i + 1;
    CheckAllForms({v.Key, v.IV, v.AAD, v.Plain, {}, 128}, v.Cipher, v.Tag, "case " + std::to_string(i + 1));
  }
}

TEST(GCMForms, EqualOpenSSLOnRandomInputs) {
  struct Shape {
    std::size_t Data, AAD, IV;
    Integer TagBits;
  } shapes[] = {{0, 5, 12, 128},   {1, 0, 12, 120},  {15, 16, 12, 8},   {16, 17, 8, 96},    {17, 1, 12, 64},
                {100000, 3, 12, 104}, {100001, 40, 60, 128}, {159999, 0, 12, 32}, {160000, 7, 12, 128},
                {160001, 16, 1, 112}, {3000017, 64, 12, 128}};
  std::uint32_t seed = 1;
  for (const std::size_t keyBytes : {16, 24, 32})
    for (const auto& s : shapes) {
      Case c{RandomBytes(keyBytes, seed), RandomBytes(s.IV, seed + 1), RandomBytes(s.AAD, seed + 2),
             RandomBytes(s.Data, seed + 3), {}, s.TagBits};
      seed += 4;
      const auto ref = testing_support::OpenSSLGCMEncrypt(c.Key, c.IV, c.AAD, c.Data);
      CheckAllForms(c, ref.Cipher, ref.Tag,
                    std::to_string(keyBytes) + "/" + std::to_string(s.Data) + "/" + std::to_string(s.TagBits));
    }
  // Around the files' 16,000,000-byte chunk: one full chunk then nothing, and one byte more.
  for (const std::size_t n : {16000000, 16000001}) {
    Case c{RandomBytes(32, seed), RandomBytes(12, seed + 1), RandomBytes(16, seed + 2), RandomBytes(n, seed + 3), {}, 128};
    seed += 4;
    const auto ref = testing_support::OpenSSLGCMEncrypt(c.Key, c.IV, c.AAD, c.Data);
    CheckAllForms(c, ref.Cipher, ref.Tag, std::to_string(n));
  }
}

TEST(GCMForms, EveryTagSizeFrom8To128) {
  Case c{RandomBytes(16, 5), RandomBytes(12, 6), RandomBytes(9, 7), RandomBytes(33, 8), {}, 0};
  const auto ref = testing_support::OpenSSLGCMEncrypt(c.Key, c.IV, c.AAD, c.Data);
  for (Integer bits = 8; bits <= 128; bits += 1) {
    c.TagBits = bits;
    const auto enc = EncryptBuffer(c);
    ASSERT_EQ(enc->Status, 0);
    EXPECT_EQ(enc->Tag, Take(ref.Tag, static_cast<std::size_t>(bits / 8))) << bits;
  }
}

TEST(GCMForms, AnyFlippedBitFailsWithNoPlainTextReleased) {
  const Case plain{RandomBytes(32, 11), RandomBytes(12, 12), RandomBytes(20, 13), RandomBytes(70, 14), {}, 96};
  const auto ref = testing_support::OpenSSLGCMEncrypt(plain.Key, plain.IV, plain.AAD, plain.Data);
  Case good = plain;
  good.Data = ref.Cipher;
  good.Tag = Take(ref.Tag, 12);
  std::vector<std::pair<std::string, Case>> bad;
  for (auto [name, field, at] : {std::tuple{"cipher", &Case::Data, 69}, std::tuple{"cipher", &Case::Data, 0},
                                 std::tuple{"aad", &Case::AAD, 19}, std::tuple{"iv", &Case::IV, 11},
                                 std::tuple{"tag", &Case::Tag, 11}, std::tuple{"tag", &Case::Tag, 0}}) {
    Case c = good;
    (c.*field)[static_cast<std::size_t>(at)] ^= 0x01;
    bad.emplace_back(name, c);
  }
  for (const auto& form : AllForms())
    for (const auto& [name, c] : bad) {
      SCOPED_TRACE(std::string(form.Name) + " with a changed " + name);
      const auto dec = form.Decrypt(c);
      EXPECT_EQ(dec->Status, -200);
      // Buffers and strings are overwritten with zeros; files and streams receive nothing.
      if (dec->Data.size() == c.Data.size() && !c.Data.empty()) EXPECT_EQ(dec->Data, Bytes(c.Data.size(), 0));
      else EXPECT_TRUE(dec->Data.empty());
    }
}

}  // namespace
