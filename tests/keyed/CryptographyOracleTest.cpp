// The keyed API against Python's cryptography package (Debian's python3): random tables of CCM,
// OCB3, key wrap with and without padding, and XTS, made by tests/keyed/cryptography_tables.py
// with a new seed each run (printed on failure) and checked in both directions. Skipped where
// that Python or package is missing (a cross build's target).
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <sstream>

#include "VectorFile.h"
#include "crypto/engine/AESKeyed.h"

namespace {

using AESKeyed::TAESKey;
using AESKeyed::TXTSKey;
using testing_support::Bytes;

constexpr const char* kPython = "/usr/bin/python3";

// The script's records, or nothing when it could not run.
std::vector<testing_support::TRecord> Tables(unsigned seed) {
  const std::string script = std::string(AES_TEST_DATA_DIR) + "/../keyed/cryptography_tables.py";
  const std::string command = std::string(kPython) + " " + script + " " + std::to_string(seed) + " 2>/dev/null";
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return {};
  std::string text;
  char buf[1 << 16];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
  if (pclose(p) != 0) return {};
  std::istringstream in(text);
  return testing_support::ParseVectors(in);
}

void CheckAEAD(int kind, const testing_support::TRecord& r) {
  TAESKey key;
  ASSERT_EQ(key.SetKey(r.at("Key")), 0);
  const Bytes &nonce = r.at("Nonce"), &aad = r.at("AAD"), &plain = r.at("Plaintext");
  const Bytes &cipher = r.at("Ciphertext"), &tag = r.at("Tag");
  Bytes c(plain.size()), t(tag.size()), p(plain.size());
  if (kind == 0) {
    ASSERT_EQ(key.CCM_Seal(nonce, aad, plain, c, t), 0);
    ASSERT_EQ(key.CCM_Open(nonce, aad, cipher, tag, p), 0);
  } else {
    ASSERT_EQ(key.OCB_Seal(nonce, aad, plain, c, t), 0);
    ASSERT_EQ(key.OCB_Open(nonce, aad, cipher, tag, p), 0);
  }
  EXPECT_EQ(c, cipher);
  EXPECT_EQ(t, tag);
  EXPECT_EQ(p, plain);
}

void CheckWrap(bool padded, const testing_support::TRecord& r) {
  TAESKey key;
  ASSERT_EQ(key.SetKey(r.at("Key")), 0);
  const Bytes &plain = r.at("Plaintext"), &wrapped = r.at("Ciphertext");
  Bytes w(wrapped.size()), p(wrapped.size() - 8);
  std::size_t n = p.size();
  ASSERT_EQ(padded ? key.WrapKeyPadded(plain, w) : key.WrapKey(plain, w), 0);
  EXPECT_EQ(w, wrapped);
  ASSERT_EQ(padded ? key.UnwrapKeyPadded(wrapped, p, n) : key.UnwrapKey(wrapped, p), 0);
  p.resize(n);
  EXPECT_EQ(p, plain);
}

void CheckXTS(const testing_support::TRecord& r) {
  TXTSKey key;
  ASSERT_EQ(key.SetKey(r.at("Key")), 0);
  platform::TCharArray16 tweak;
  std::copy_n(r.at("Nonce").begin(), 16, tweak.begin());
  const Bytes &plain = r.at("Plaintext"), &cipher = r.at("Ciphertext");
  Bytes out(plain.size());
  ASSERT_EQ(key.Encrypt(tweak, plain, out), 0);
  EXPECT_EQ(out, cipher);
  ASSERT_EQ(key.Decrypt(tweak, cipher, out), 0);
  EXPECT_EQ(out, plain);
}

TEST(CryptographyOracle, RandomTablesInBothDirections) {
  const auto seed = static_cast<unsigned>(std::time(nullptr));
  const auto records = Tables(seed);
  if (records.empty()) GTEST_SKIP() << kPython << " with the cryptography package is not available";
  std::size_t counts[5] = {};
  for (const auto& r : records) {
    const int kind = r.at("Kind").at(0);
    SCOPED_TRACE(testing::Message() << "seed " << seed << ", kind " << kind << ", key "
                                    << testing_support::ToHex(r.at("Key")) << ", "
                                    << r.at("Plaintext").size() << " bytes");
    ASSERT_LT(kind, 5);
    ++counts[kind];
    if (kind <= 1) CheckAEAD(kind, r);
    if (kind == 2 || kind == 3) CheckWrap(kind == 3, r);
    if (kind == 4) CheckXTS(r);
  }
  // Every kind came through (a script that printed nothing of one would pass unnoticed).
  for (const std::size_t c : counts) EXPECT_GE(c, 30u);
}

}  // namespace
