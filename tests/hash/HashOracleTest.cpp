// Every function against Python's hashlib and hmac and cryptography's HKDF and PBKDF2, on lengths
// around the block and digest sizes (tests/hash/hash_oracle.py prints the cases).
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "HashTestSupport.h"

namespace {

using namespace testing_support;
using Hash::THashKind;

struct TCase {
  std::string Op;
  THashKind Kind;
  std::uint32_t Iterations;
  std::vector<Bytes> Fields;
};

std::vector<TCase> OracleCases() {
  const std::string command =
      std::string(AES_TEST_PYTHON) + " " + AES_TEST_DATA_DIR + "/../hash/hash_oracle.py";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) throw std::runtime_error("cannot run " + command);
  std::string text;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) text.append(buffer, n);
  std::vector<TCase> cases;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string op, kind, field;
    std::uint32_t iterations = 0;
    words >> op >> kind >> iterations;
    TCase c{op, KindFromName(kind), iterations, {}};
    while (words >> field) c.Fields.push_back(field == "-" ? Bytes{} : FromHex(field));
    cases.push_back(std::move(c));
  }
  return cases;
}

const std::vector<TCase>& Cases() {
  static const std::vector<TCase> cases = OracleCases();
  return cases;
}

// Each operation of the oracle appears, so a script that printed nothing would fail here.
TEST(HashOracle, EveryOperationHasCases) {
  for (const char* op : {"digest", "hmac", "hkdf", "expand", "pbkdf2"}) {
    std::size_t n = 0;
    for (const TCase& c : Cases()) n += c.Op == op;
    EXPECT_GE(n, 20u) << op;
  }
}

TEST(HashOracle, DigestAndHMACEqualHashlibAndHmac) {
  for (const TCase& c : Cases()) {
    if (c.Op == "digest") {
      EXPECT_EQ(ToHex(DigestOf(c.Kind, c.Fields[0])), ToHex(c.Fields[1])) << "length " << c.Fields[0].size();
    } else if (c.Op == "hmac") {
      EXPECT_EQ(ToHex(HMACOf(c.Kind, c.Fields[0], c.Fields[1])), ToHex(c.Fields[2]))
          << "key " << c.Fields[0].size() << " data " << c.Fields[1].size();
    }
  }
}

// A message fed in pieces of every shape gives the one-shot digest: single bytes, pieces that
// straddle the block, one piece per block and the rest.
TEST(HashOracle, IncrementalEqualsOneShot) {
  for (const TCase& c : Cases()) {
    if (c.Op != "digest") continue;
    const Bytes& msg = c.Fields[0];
    for (std::size_t piece : {1u, 7u, 63u, 64u, 65u, 127u, 128u, 129u}) {
      Hash::THash hash(c.Kind);
      for (std::size_t at = 0; at < msg.size(); at += piece)
        hash.Update(std::span(msg).subspan(at, std::min(piece, msg.size() - at)));
      Bytes out(Hash::DigestSize(c.Kind));
      ASSERT_EQ(hash.Final(out), 0);
      EXPECT_EQ(ToHex(out), ToHex(c.Fields[1])) << "length " << msg.size() << " pieces " << piece;
    }
  }
}

TEST(HashOracle, HKDFEqualsCryptography) {
  for (const TCase& c : Cases()) {
    if (c.Op == "hkdf") {
      const Bytes &salt = c.Fields[0], &ikm = c.Fields[1], &info = c.Fields[2], &prk = c.Fields[3], &okm = c.Fields[4];
      Bytes gotPrk(Hash::DigestSize(c.Kind)), gotOkm(okm.size());
      ASSERT_EQ(Hash::HKDF_Extract(c.Kind, salt, ikm, gotPrk), 0);
      EXPECT_EQ(ToHex(gotPrk), ToHex(prk));
      ASSERT_EQ(Hash::HKDF_Expand(c.Kind, gotPrk, info, gotOkm), 0);
      EXPECT_EQ(ToHex(gotOkm), ToHex(okm)) << "salt " << salt.size() << " out " << okm.size();
    } else if (c.Op == "expand") {
      Bytes got(c.Fields[2].size());
      ASSERT_EQ(Hash::HKDF_Expand(c.Kind, c.Fields[0], c.Fields[1], got), 0);
      EXPECT_EQ(ToHex(got), ToHex(c.Fields[2])) << "prk " << c.Fields[0].size() << " out " << got.size();
    }
  }
}

TEST(HashOracle, PBKDF2EqualsCryptographyAndHashlib) {
  for (const TCase& c : Cases()) {
    if (c.Op != "pbkdf2") continue;
    EXPECT_EQ(ToHex(PBKDF2Of(c.Kind, c.Fields[0], c.Fields[1], c.Iterations, c.Fields[2].size())), ToHex(c.Fields[2]))
        << "password " << c.Fields[0].size() << " salt " << c.Fields[1].size() << " iterations " << c.Iterations
        << " out " << c.Fields[2].size();
  }
}

}  // namespace
