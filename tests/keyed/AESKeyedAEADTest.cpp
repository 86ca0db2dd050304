// The misuse-resistant and derived-key modes of the keyed API: AES-GCM-SIV, AES-SIV, XAES-256-GCM
// and GMAC. Published vectors (RFC 8452, RFC 5297, C2SP's XAES-256-GCM and its accumulated test
// of 10,000 iterations), random tables from independent implementations (Python's
// cryptography: AESGCMSIV of the pyenv interpreter, AESSIV of Debian's; XAES-256-GCM written in
// aead_oracle.py over cryptography's AES and AESGCM), flipped bits that must release nothing,
// and the refused arguments. The suite runs once per kernel.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "GCMOracle.h"
#include "VectorFile.h"
#include "crypto/engine/AESKeyed.h"

namespace {

using AESKeyed::TAESKey;
using AESKeyed::TSIVKey;
using AESKeyed::TXAESKey;
using platform::Integer;
using testing_support::Bytes;
using testing_support::RandomBytes;
using testing_support::TRecord;
using TSpan = std::span<const std::uint8_t>;

const std::string kOracle = std::string(AES_TEST_DATA_DIR) + "/../keyed/aead_oracle.py";
const char* kPyenvPython = "/root/.pyenv/versions/3.11.7/bin/python3";
const char* kDebianPython = "/usr/bin/python3";

// The standard output of a command (binary safe); empty when it could not run or failed.
std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return out;
  char buf[65536];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  return pclose(p) == 0 ? out : std::string();
}

std::vector<TRecord> OracleTable(const char* python, const std::string& what, int seed) {
  std::istringstream in(RunCommand(std::string(python) + " " + kOracle + " " + what + " " + std::to_string(seed)));
  return testing_support::ParseVectors(in);
}

Bytes Cat(const Bytes& a, const Bytes& b) {
  Bytes r = a;
  r.insert(r.end(), b.begin(), b.end());
  return r;
}

// A record's additional-data strings AD1, AD2, ... in order.
std::vector<Bytes> Strings(const TRecord& r) {
  std::vector<Bytes> out;
  for (int i = 1; r.count("AD" + std::to_string(i)); ++i) out.push_back(r.at("AD" + std::to_string(i)));
  return out;
}

std::vector<TSpan> Spans(const std::vector<Bytes>& v) { return {v.begin(), v.end()}; }

TAESKey AESKey(const Bytes& k) {
  TAESKey key;
  EXPECT_EQ(key.SetKey(k), 0);
  return key;
}

// --- AES-GCM-SIV

// Seals r's plain text and checks the result, then opens it, both out of place and in place.
void CheckGCMSIV(const TRecord& r) {
  const TAESKey key = AESKey(r.at("Key"));
  const Bytes &nonce = r.at("Nonce"), &aad = r.at("AAD"), &plain = r.at("Plaintext"), &want = r.at("Result");
  ASSERT_EQ(want.size(), plain.size() + 16);
  Bytes cipher(plain.size(), 0xEE), tag(16);
  ASSERT_EQ(key.GCMSIV_Seal(nonce, aad, plain, cipher, tag), 0);
  EXPECT_EQ(Cat(cipher, tag), want);
  Bytes back(plain.size(), 0xEE);
  ASSERT_EQ(key.GCMSIV_Open(nonce, aad, cipher, tag, back), 0);
  EXPECT_EQ(back, plain);
  Bytes inPlace = plain;
  ASSERT_EQ(key.GCMSIV_Seal(nonce, aad, inPlace, inPlace, tag), 0);
  EXPECT_EQ(Cat(inPlace, tag), want);
  ASSERT_EQ(key.GCMSIV_Open(nonce, aad, inPlace, tag, inPlace), 0);
  EXPECT_EQ(inPlace, plain);
}

TEST(KeyedAEAD, GCMSIVKnownAnswers) {
  const auto vectors = testing_support::ReadVectorFile("gcm_siv.vec");
  ASSERT_EQ(vectors.size(), 17u);
  for (const auto& r : vectors) {
    SCOPED_TRACE(testing_support::ToHex(r.at("Key")) + " / " + std::to_string(r.at("Plaintext").size()));
    CheckGCMSIV(r);
  }
}

TEST(KeyedAEAD, GCMSIVEqualsCryptographyAESGCMSIV) {
  if (!std::filesystem::exists(kPyenvPython)) GTEST_SKIP() << kPyenvPython << " (cryptography 48) is not installed";
  const auto table = OracleTable(kPyenvPython, "gcm-siv", 8452);
  ASSERT_EQ(table.size(), 60u);
  for (const auto& r : table) {
    SCOPED_TRACE(std::to_string(r.at("Key").size()) + "-byte key, " + std::to_string(r.at("Plaintext").size()) +
                 " bytes, " + std::to_string(r.at("AAD").size()) + " of additional data");
    CheckGCMSIV(r);
  }
}

TEST(KeyedAEAD, GCMSIVRefusedArguments) {
  TAESKey none;
  TAESKey k192 = AESKey(RandomBytes(24, 1));
  const TAESKey key = AESKey(RandomBytes(16, 2));
  Bytes buf(64), nonce(13), tag(17);
  const std::span<std::uint8_t> all(buf);
  const TSpan n12 = TSpan(nonce).first(12);
  const std::span<std::uint8_t> t16 = std::span(tag).first(16);
  const struct {
    const char* What;
    Integer Status, Expected;
  } cases[] = {
      {"no key", none.GCMSIV_Seal(n12, {}, all.first(16), all.subspan(16, 16), t16), error::kBadArgument},
      {"AES-192", k192.GCMSIV_Seal(n12, {}, all.first(16), all.subspan(16, 16), t16), error::kBadKeySize},
      {"AES-192 open", k192.GCMSIV_Open(n12, {}, all.first(16), t16, all.subspan(16, 16)), error::kBadKeySize},
      {"nonce of 11", key.GCMSIV_Seal(n12.first(11), {}, all.first(16), all.subspan(16, 16), t16), error::kBadArgument},
      {"nonce of 13", key.GCMSIV_Seal(nonce, {}, all.first(16), all.subspan(16, 16), t16), error::kBadArgument},
      {"tag of 15", key.GCMSIV_Seal(n12, {}, all.first(16), all.subspan(16, 16), t16.first(15)), error::kBadArgument},
      {"tag of 17", key.GCMSIV_Open(n12, {}, all.first(16), tag, all.subspan(16, 16)), error::kBadArgument},
      {"out shorter", key.GCMSIV_Seal(n12, {}, all.first(16), all.subspan(16, 15), t16), error::kBadArgument},
      {"partial overlap", key.GCMSIV_Seal(n12, {}, all.first(32), all.subspan(8, 32), t16), error::kBadArgument},
      {"open out shorter", key.GCMSIV_Open(n12, {}, all.first(16), t16, all.subspan(16, 15)), error::kBadArgument},
  };
  for (const auto& c : cases) EXPECT_EQ(c.Status, c.Expected) << c.What;
  // Nothing was written by any refused call.
  EXPECT_EQ(buf, Bytes(64, 0));
  EXPECT_EQ(tag, Bytes(17, 0));
}

// --- AES-SIV

void CheckSIV(const TRecord& r) {
  TSIVKey key;
  ASSERT_EQ(key.SetKey(r.at("Key")), 0);
  const std::vector<Bytes> ad = Strings(r);
  const auto spans = Spans(ad);
  const Bytes &plain = r.at("Plaintext"), &want = r.at("Output");
  Bytes out(plain.size() + 16, 0xEE);
  ASSERT_EQ(key.Seal(spans, plain, out), 0);
  EXPECT_EQ(out, want);
  Bytes back(plain.size(), 0xEE);
  ASSERT_EQ(key.Open(spans, out, back), 0);
  EXPECT_EQ(back, plain);
  // In place: the plain text already where the cipher text goes, and opened onto itself.
  Bytes inPlace(16);
  inPlace.insert(inPlace.end(), plain.begin(), plain.end());
  ASSERT_EQ(key.Seal(spans, std::span(inPlace).subspan(16), inPlace), 0);
  EXPECT_EQ(inPlace, want);
  ASSERT_EQ(key.Open(spans, inPlace, std::span(inPlace).subspan(16)), 0);
  EXPECT_EQ(Bytes(inPlace.begin() + 16, inPlace.end()), plain);
}

TEST(KeyedAEAD, SIVKnownAnswers) {
  const auto vectors = testing_support::ReadVectorFile("siv.vec");
  ASSERT_EQ(vectors.size(), 2u);
  for (const auto& r : vectors) CheckSIV(r);
}

TEST(KeyedAEAD, SIVEqualsCryptographyAESSIV) {
  const auto table = OracleTable(kDebianPython, "siv", 5297);
  ASSERT_EQ(table.size(), 88u);
  for (const auto& r : table) {
    SCOPED_TRACE(std::to_string(r.at("Key").size()) + "-byte key, " + std::to_string(r.at("Plaintext").size()) +
                 " bytes, " + std::to_string(Strings(r).size()) + " strings");
    CheckSIV(r);
  }
}

// Empty plain texts (the IV alone), with no additional data at all too: cryptography 48's
// AESSIV, since cryptography 38 over OpenSSL 3.0 fails on them.
TEST(KeyedAEAD, SIVOfEmptyPlainTextsEqualsCryptography48) {
  if (!std::filesystem::exists(kPyenvPython)) GTEST_SKIP() << kPyenvPython << " (cryptography 48) is not installed";
  const auto table = OracleTable(kPyenvPython, "siv-empty", 5298);
  ASSERT_EQ(table.size(), 12u);
  for (const auto& r : table) {
    SCOPED_TRACE(std::to_string(r.at("Key").size()) + "-byte key, " + std::to_string(Strings(r).size()) + " strings");
    CheckSIV(r);
  }
}

TEST(KeyedAEAD, SIVRefusedArguments) {
  TSIVKey key;
  for (const std::size_t n : {0, 16, 24, 31, 33, 65})
    EXPECT_EQ(key.SetKey(RandomBytes(n, 3)), error::kBadKeySize) << n;
  Bytes buf(64), plain(64);
  const std::vector<Bytes> many(127, Bytes(1));
  const auto manySpans = Spans(many);
  EXPECT_EQ(key.Seal({}, TSpan(plain).first(16), buf), error::kBadArgument) << "no key";
  ASSERT_EQ(key.SetKey(RandomBytes(48, 4)), 0);
  const std::span<std::uint8_t> all(buf);
  const struct {
    const char* What;
    Integer Status;
  } cases[] = {
      {"127 strings", key.Seal(manySpans, TSpan(plain).first(16), all.first(32))},
      {"out too short", key.Seal({}, TSpan(plain).first(16), all.first(31))},
      {"out shorter than the IV", key.Seal({}, {}, all.first(15))},
      {"partial overlap", key.Seal({}, all.subspan(8, 16), all.first(32))},
      {"in below 16 bytes", key.Open({}, TSpan(plain).first(15), all)},
      {"plain too short", key.Open({}, TSpan(plain).first(32), all.first(15))},
      {"127 strings open", key.Open(manySpans, TSpan(plain).first(32), all.first(16))},
  };
  for (const auto& c : cases) EXPECT_EQ(c.Status, error::kBadArgument) << c.What;
  EXPECT_EQ(buf, Bytes(64, 0));
}

// --- XAES-256-GCM

void CheckXAES(const TRecord& r) {
  TXAESKey key;
  ASSERT_EQ(key.SetKey(r.at("Key")), 0);
  const Bytes &nonce = r.at("Nonce"), &aad = r.at("AAD"), &plain = r.at("Plaintext"), &want = r.at("Result");
  Bytes cipher(plain.size(), 0xEE), tag(16);
  ASSERT_EQ(key.Seal(nonce, aad, plain, cipher, tag), 0);
  EXPECT_EQ(Cat(cipher, tag), want);
  Bytes back(plain.size(), 0xEE);
  ASSERT_EQ(key.Open(nonce, aad, cipher, tag, back), 0);
  EXPECT_EQ(back, plain);
}

TEST(KeyedAEAD, XAESPublishedVectors) {
  const auto vectors = testing_support::ReadVectorFile("xaes.vec");
  ASSERT_EQ(vectors.size(), 2u);
  for (const auto& r : vectors) {
    CheckXAES(r);
    // The derived key is AES-256-GCM's key for the nonce's second half.
    const Bytes& n = r.at("Nonce");
    const auto gcm = testing_support::OpenSSLGCMEncrypt(r.at("Kx"), Bytes(n.begin() + 12, n.end()), r.at("AAD"),
                                                        r.at("Plaintext"));
    EXPECT_EQ(Cat(gcm.Cipher, gcm.Tag), r.at("Result"));
  }
}

TEST(KeyedAEAD, XAESEqualsAnIndependentImplementation) {
  const auto table = OracleTable(kDebianPython, "xaes", 2024);
  ASSERT_EQ(table.size(), 30u);
  for (const auto& r : table) {
    SCOPED_TRACE(std::to_string(r.at("Plaintext").size()) + " bytes");
    CheckXAES(r);
  }
}

// C2SP's accumulated test: 10,000 messages whose key, nonce, plain text and additional data
// come from one SHAKE-128 stream (lengths as one byte each before the text), every cipher text
// and tag absorbed into a second SHAKE-128, whose first 32 bytes are published. The library has
// no SHAKE-128: Python's hashlib gives the stream and the hash; the encryptions are ours.
TEST(KeyedAEAD, XAESAccumulatedTenThousand) {
  const std::string stream = RunCommand(std::string(kDebianPython) + " " + kOracle + " xaes-stream 10000");
  ASSERT_FALSE(stream.empty());
  const auto* p = reinterpret_cast<const std::uint8_t*>(stream.data());
  const auto* end = p + stream.size();
  const auto take = [&](std::size_t n) {
    EXPECT_LE(n, static_cast<std::size_t>(end - p));
    TSpan s(p, n);
    p += n;
    return s;
  };
  Bytes all;
  TXAESKey key;
  for (int i = 0; i < 10000; ++i) {
    ASSERT_EQ(key.SetKey(take(32)), 0);
    const TSpan nonce = take(24);
    const TSpan plain = take(take(1)[0]);
    const TSpan aad = take(take(1)[0]);
    const std::size_t at = all.size();
    all.resize(at + plain.size() + 16);
    const std::span<std::uint8_t> out = std::span(all).subspan(at);
    ASSERT_EQ(key.Seal(nonce, aad, plain, out.first(plain.size()), out.subspan(plain.size())), 0);
  }
  EXPECT_EQ(p, end);
  const auto file = std::filesystem::temp_directory_path() / ("xaes_accumulated_" + std::to_string(getpid()));
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(all.data()), static_cast<std::streamsize>(all.size()));
  const std::string hash = RunCommand(std::string(kDebianPython) + " " + kOracle + " shake " + file.string());
  std::filesystem::remove(file);
  EXPECT_EQ(hash, "e6b9edf2df6cec60c8cbd864e2211b597fb69a529160cd040d56c0c210081939\n");
}

TEST(KeyedAEAD, XAESRandomNonceInFront) {
  const Bytes keyBytes = RandomBytes(32, 5), aad = RandomBytes(7, 6), plain = RandomBytes(100, 7);
  TXAESKey key;
  ASSERT_EQ(key.SetKey(keyBytes), 0);
  Bytes a(plain.size() + 40), b(plain.size() + 40);
  ASSERT_EQ(key.SealWithRandomNonce(aad, plain, a), 0);
  ASSERT_EQ(key.SealWithRandomNonce(aad, plain, b), 0);
  EXPECT_NE(Bytes(a.begin(), a.begin() + 24), Bytes(b.begin(), b.begin() + 24));
  for (const Bytes& out : {a, b}) {
    const TSpan all(out);
    Bytes back(plain.size());
    ASSERT_EQ(key.Open(all.first(24), aad, all.subspan(24, plain.size()), all.subspan(24 + plain.size()), back), 0);
    EXPECT_EQ(back, plain);
  }
}

TEST(KeyedAEAD, XAESRefusedArguments) {
  TXAESKey key;
  for (const std::size_t n : {0, 16, 24, 31, 33, 64}) EXPECT_EQ(key.SetKey(RandomBytes(n, 8)), error::kBadKeySize) << n;
  Bytes buf(96), nonce(25), tag(17);
  const std::span<std::uint8_t> all(buf);
  const TSpan n24 = TSpan(nonce).first(24);
  const std::span<std::uint8_t> t16 = std::span(tag).first(16);
  EXPECT_EQ(key.Seal(n24, {}, all.first(16), all.subspan(16, 16), t16), error::kBadArgument) << "no key";
  ASSERT_EQ(key.SetKey(RandomBytes(32, 9)), 0);
  const struct {
    const char* What;
    Integer Status;
  } cases[] = {
      {"nonce of 12", key.Seal(n24.first(12), {}, all.first(16), all.subspan(16, 16), t16)},
      {"nonce of 25", key.Seal(nonce, {}, all.first(16), all.subspan(16, 16), t16)},
      {"tag of 12", key.Seal(n24, {}, all.first(16), all.subspan(16, 16), t16.first(12))},
      {"tag of 17", key.Open(n24, {}, all.first(16), tag, all.subspan(16, 16))},
      {"out shorter", key.Seal(n24, {}, all.first(16), all.subspan(16, 15), t16)},
      {"partial overlap", key.Seal(n24, {}, all.first(32), all.subspan(4, 32), t16)},
      {"random nonce: out too short", key.SealWithRandomNonce({}, all.first(16), all.subspan(32, 55))},
      // The nonce would go where the plain text is.
      {"random nonce: out over plain", key.SealWithRandomNonce({}, all.first(16), all.first(56))},
  };
  for (const auto& c : cases) EXPECT_EQ(c.Status, error::kBadArgument) << c.What;
  EXPECT_EQ(buf, Bytes(96, 0));
  EXPECT_EQ(tag, Bytes(17, 0));
}

// --- GMAC

TEST(KeyedAEAD, GMACIsTheGCMTagOfNoData) {
  for (const std::size_t keyBytes : {16, 24, 32})
    for (const std::size_t ivBytes : {1, 12, 16})
      for (const std::size_t aadBytes : {0, 1, 16, 17, 1000}) {
        SCOPED_TRACE(testing::Message() << keyBytes << "/" << ivBytes << "/" << aadBytes);
        const auto seed = static_cast<std::uint32_t>(keyBytes * 10000 + ivBytes * 1000 + aadBytes);
        const Bytes k = RandomBytes(keyBytes, seed), iv = RandomBytes(ivBytes, seed + 1), aad = RandomBytes(aadBytes, seed + 2);
        const TAESKey key = AESKey(k);
        Bytes tag(16);
        ASSERT_EQ(key.GMAC_Generate(iv, aad, tag), 0);
        EXPECT_EQ(tag, testing_support::OpenSSLGCMEncrypt(k, iv, aad, {}).Tag);
        EXPECT_EQ(key.GMAC_Verify(iv, aad, tag), 0);
        EXPECT_EQ(key.GMAC_Verify(iv, aad, TSpan(tag).first(4)), 0);
      }
  const TAESKey key = AESKey(RandomBytes(16, 10));
  Bytes tag(17);
  const Bytes iv(12);
  EXPECT_EQ(key.GMAC_Generate({}, {}, std::span(tag).first(16)), error::kBadArgument);
  EXPECT_EQ(key.GMAC_Generate(iv, {}, std::span(tag).first(3)), error::kBadArgument);
  EXPECT_EQ(key.GMAC_Generate(iv, {}, tag), error::kTagTooLong);
  EXPECT_EQ(key.GMAC_Verify(iv, {}, tag), error::kTagTooLong);
  EXPECT_EQ(key.GMAC_Verify(iv, {}, std::span(tag).first(3)), error::kBadArgument);
  EXPECT_EQ(tag, Bytes(17, 0));
  EXPECT_EQ(TAESKey().GMAC_Verify(iv, {}, std::span(tag).first(16)), error::kBadArgument);
}

// --- Flipped bits: any change to the nonce, the additional data, the cipher text or the tag fails
// the check, and the plain text buffer holds zeros where the opening wrote (nothing released).

struct TMessage {
  Bytes Nonce, AAD, Cipher, Tag;  // SIV: Cipher is IV || cipher text, Tag unused
};

// Flips one bit of each field at its first byte, its last and one in between.
template <class Open>
void FlipEveryField(const TMessage& m, std::size_t plainBytes, Open open) {
  Bytes plain(plainBytes, 0xEE);
  ASSERT_EQ(open(m, plain), 0) << "the unchanged message opens";
  for (const auto field : {&TMessage::Nonce, &TMessage::AAD, &TMessage::Cipher, &TMessage::Tag}) {
    const std::size_t n = (m.*field).size();
    for (const std::size_t at : {std::size_t{0}, n / 2, n - 1}) {
      if (n == 0) continue;
      for (const int bit : {0, 7}) {
        TMessage bad = m;
        (bad.*field)[at] ^= static_cast<std::uint8_t>(1 << bit);
        Bytes out(plainBytes, 0xEE);
        EXPECT_EQ(open(bad, out), error::kTagMismatch) << "field " << n << " bytes, byte " << at << " bit " << bit;
        EXPECT_EQ(out, Bytes(plainBytes, 0)) << "released plain text";
      }
    }
  }
}

TEST(KeyedAEAD, FlippedBitsReleaseNothing) {
  const Bytes plain = RandomBytes(45, 20), aad = RandomBytes(21, 21);
  {
    const TAESKey key = AESKey(RandomBytes(32, 22));
    TMessage m{RandomBytes(12, 23), aad, Bytes(plain.size()), Bytes(16)};
    ASSERT_EQ(key.GCMSIV_Seal(m.Nonce, m.AAD, plain, m.Cipher, m.Tag), 0);
    SCOPED_TRACE("GCM-SIV");
    FlipEveryField(m, plain.size(), [&](const TMessage& x, Bytes& out) {
      return key.GCMSIV_Open(x.Nonce, x.AAD, x.Cipher, x.Tag, out);
    });
  }
  {
    TXAESKey key;
    ASSERT_EQ(key.SetKey(RandomBytes(32, 24)), 0);
    TMessage m{RandomBytes(24, 25), aad, Bytes(plain.size()), Bytes(16)};
    ASSERT_EQ(key.Seal(m.Nonce, m.AAD, plain, m.Cipher, m.Tag), 0);
    SCOPED_TRACE("XAES-256-GCM");
    FlipEveryField(m, plain.size(), [&](const TMessage& x, Bytes& out) {
      return key.Open(x.Nonce, x.AAD, x.Cipher, x.Tag, out);
    });
  }
  {
    TSIVKey key;
    ASSERT_EQ(key.SetKey(RandomBytes(64, 26)), 0);
    // Nonce: the last additional-data string.
    TMessage m{RandomBytes(16, 27), aad, Bytes(plain.size() + 16), {}};
    const auto strings = [](const TMessage& x) { return std::vector<TSpan>{x.AAD, x.Nonce}; };
    ASSERT_EQ(key.Seal(strings(m), plain, m.Cipher), 0);
    SCOPED_TRACE("SIV");
    FlipEveryField(m, plain.size(), [&](const TMessage& x, Bytes& out) { return key.Open(strings(x), x.Cipher, out); });
    // A string moved to another place, or dropped, fails too.
    Bytes out(plain.size(), 0xEE);
    EXPECT_EQ(key.Open(std::vector<TSpan>{m.Nonce, m.AAD}, m.Cipher, out), error::kTagMismatch);
    EXPECT_EQ(key.Open(std::vector<TSpan>{m.AAD}, m.Cipher, out), error::kTagMismatch);
    EXPECT_EQ(out, Bytes(plain.size(), 0));
  }
  {
    const TAESKey key = AESKey(RandomBytes(16, 28));
    TMessage m{RandomBytes(12, 29), aad, {}, Bytes(16)};
    ASSERT_EQ(key.GMAC_Generate(m.Nonce, m.AAD, m.Tag), 0);
    SCOPED_TRACE("GMAC");
    for (const auto field : {&TMessage::Nonce, &TMessage::AAD, &TMessage::Tag}) {
      TMessage bad = m;
      (bad.*field).back() ^= 1;
      EXPECT_EQ(key.GMAC_Verify(bad.Nonce, bad.AAD, bad.Tag), error::kMacMismatch);
    }
  }
}

// A repeated nonce under GCM-SIV and SIV without one: equal messages give equal outputs, a
// change in one byte changes all of them (the synthetic IV moves the whole keystream).
TEST(KeyedAEAD, RepeatedNonceRevealsOnlyEquality) {
  const TAESKey key = AESKey(RandomBytes(16, 30));
  const Bytes nonce = RandomBytes(12, 31), p1 = RandomBytes(64, 32);
  Bytes p2 = p1;
  p2[63] ^= 1;
  Bytes c1(64), c1again(64), c2(64), t1(16), t1again(16), t2(16);
  ASSERT_EQ(key.GCMSIV_Seal(nonce, {}, p1, c1, t1), 0);
  ASSERT_EQ(key.GCMSIV_Seal(nonce, {}, p1, c1again, t1again), 0);
  ASSERT_EQ(key.GCMSIV_Seal(nonce, {}, p2, c2, t2), 0);
  EXPECT_EQ(Cat(c1, t1), Cat(c1again, t1again));
  EXPECT_NE(t1, t2);
  EXPECT_NE(Bytes(c1.begin(), c1.begin() + 16), Bytes(c2.begin(), c2.begin() + 16));
}

}  // namespace
