// Key wrap of the keyed API: RFC 3394's and RFC 5649's known answers, random tables against
// OpenSSL's wrap ciphers for every key-encryption key size and key lengths at the limits, damaged
// inputs that must give kUnwrapFailed and write nothing, and the refused lengths.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "ModesOracle.h"
#include "VectorFile.h"
#include "crypto/engine/AESKeyed.h"

namespace {

using AESKeyed::TAESKey;
using platform::Integer;
using testing_support::Bytes;
using testing_support::RandomBytes;

TAESKey MakeKey(const Bytes& bytes) {
  TAESKey key;
  EXPECT_EQ(key.SetKey(bytes), 0);
  return key;
}

Bytes Wrap(const TAESKey& kek, bool padded, const Bytes& key) {
  Bytes out((key.size() + 7) / 8 * 8 + 8, 0xEE);
  const Integer st = padded ? kek.WrapKeyPadded(key, out) : kek.WrapKey(key, out);
  EXPECT_EQ(st, 0);
  return out;
}

// The unwrapped key, or the status; out is checked to be untouched on a failure.
Integer Unwrap(const TAESKey& kek, bool padded, const Bytes& wrapped, Bytes& key) {
  Bytes out(wrapped.size() - 8 + 5, 0xEE);
  std::size_t n = 12345;
  const Integer st = padded ? kek.UnwrapKeyPadded(wrapped, out, n) : kek.UnwrapKey(wrapped, out);
  if (st != 0) {
    EXPECT_EQ(out, Bytes(out.size(), 0xEE)) << "a failed unwrap wrote";
    EXPECT_EQ(n, 12345u);
    return st;
  }
  key.assign(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(padded ? n : wrapped.size() - 8));
  return 0;
}

TEST(KeyWrap, KnownAnswers) {
  const auto vectors = testing_support::ReadVectorFile("keywrap.vec");
  ASSERT_EQ(vectors.size(), 8u);
  for (const auto& v : vectors) {
    const bool padded = v.at("Padded")[0] == 1;
    SCOPED_TRACE(testing_support::ToHex(v.at("Wrapped")));
    const TAESKey kek = MakeKey(v.at("KEK"));
    EXPECT_EQ(Wrap(kek, padded, v.at("Key")), v.at("Wrapped"));
    Bytes key;
    ASSERT_EQ(Unwrap(kek, padded, v.at("Wrapped"), key), 0);
    EXPECT_EQ(key, v.at("Key"));
  }
}

TEST(KeyWrap, RandomTablesEqualOpenSSL) {
  std::uint32_t seed = 200;
  for (const std::size_t kekBytes : {16, 24, 32}) {
    const Bytes kekV = RandomBytes(kekBytes, seed++);
    const TAESKey kek = MakeKey(kekV);
    for (const bool padded : {false, true})
      for (std::size_t n = padded ? 1 : 16; n <= 100; n += padded ? 1 : 8) {
        SCOPED_TRACE(testing::Message() << "AES-" << 8 * kekBytes << (padded ? " KWP " : " KW ") << n << " bytes");
        const Bytes key = RandomBytes(n, seed++);
        const Bytes wrapped = Wrap(kek, padded, key);
        EXPECT_EQ(wrapped, testing_support::OpenSSLWrap(true, padded, kekV, key));
        Bytes back;
        ASSERT_EQ(Unwrap(kek, padded, wrapped, back), 0);
        EXPECT_EQ(back, key);
      }
    for (const std::size_t n : {4096, 16384, 16389}) {
      const bool padded = n % 8 != 0;
      const Bytes key = RandomBytes(n, seed++);
      EXPECT_EQ(Wrap(kek, padded, key), testing_support::OpenSSLWrap(true, padded, kekV, key)) << n;
    }
  }
}

// Any changed bit of the wrapped key, another key-encryption key, a KWP wrapping read as KW and
// the other way round, and KWP inputs whose length or padding is wrong although A's first half is
// right: each gives kUnwrapFailed and writes nothing (checked in Unwrap).
TEST(KeyWrap, DamagedInputsWriteNothing) {
  const TAESKey kek = MakeKey(RandomBytes(32, 300)), other = MakeKey(RandomBytes(32, 301));
  for (const bool padded : {false, true})
    for (const std::size_t n : {8, 16, 20, 32, 64}) {
      if (!padded && n % 8 != 0) continue;
      if (!padded && n < 16) continue;
      const Bytes wrapped = Wrap(kek, padded, RandomBytes(n, 302));
      Bytes key;
      for (std::size_t at = 0; at < wrapped.size(); at += 7)
        for (const std::uint8_t bit : {0x01, 0x80}) {
          Bytes bad = wrapped;
          bad[at] ^= bit;
          EXPECT_EQ(Unwrap(kek, padded, bad, key), error::kUnwrapFailed) << n << " bytes, byte " << at;
        }
      EXPECT_EQ(Unwrap(other, padded, wrapped, key), error::kUnwrapFailed);
      if (wrapped.size() >= 24) {
        EXPECT_EQ(Unwrap(kek, !padded, wrapped, key), error::kUnwrapFailed);
      }
    }
  // KWP's own checks on A = A65959A6 || length: a length outside (8(n-1), 8n], non-zero padding
  // or a wrong constant. A 16-byte KWP wrapping is the single block E(A || P), so any A can be
  // made with ECB.
  const auto kwWithA = [&](const Bytes& A, const Bytes& body) {
    Bytes block = A, out(16);
    block.insert(block.end(), body.begin(), body.end());
    EXPECT_EQ(kek.EncryptECB(block, out), 0);
    return out;
  };
  const struct {
    const char* What;
    Bytes A, Body;
  } cases[] = {
      {"length 0", {0xA6, 0x59, 0x59, 0xA6, 0, 0, 0, 0}, Bytes(8, 0)},
      {"length 9", {0xA6, 0x59, 0x59, 0xA6, 0, 0, 0, 9}, Bytes(8, 0)},
      {"padding not zero", {0xA6, 0x59, 0x59, 0xA6, 0, 0, 0, 5}, {1, 2, 3, 4, 5, 0, 1, 0}},
      {"wrong constant", {0xA6, 0x59, 0x59, 0xA7, 0, 0, 0, 5}, {1, 2, 3, 4, 5, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    Bytes key;
    EXPECT_EQ(Unwrap(kek, true, kwWithA(c.A, c.Body), key), error::kUnwrapFailed) << c.What;
  }
  Bytes key;
  ASSERT_EQ(Unwrap(kek, true, kwWithA({0xA6, 0x59, 0x59, 0xA6, 0, 0, 0, 5}, {1, 2, 3, 4, 5, 0, 0, 0}), key), 0);
  EXPECT_EQ(key, (Bytes{1, 2, 3, 4, 5}));
}

TEST(KeyWrap, RefusedArguments) {
  TAESKey none;
  Bytes out(64);
  std::size_t n = 0;
  EXPECT_EQ(none.WrapKey(Bytes(16), out), error::kBadArgument);
  EXPECT_EQ(none.UnwrapKeyPadded(Bytes(16), out, n), error::kBadArgument);
  const TAESKey kek = MakeKey(Bytes(16, 9));
  Bytes buf(128);
  const std::span<std::uint8_t> all(buf);
  const struct {
    const char* What;
    Integer Status;
  } cases[] = {
      {"KW of 8 bytes", kek.WrapKey(Bytes(8), out)},
      {"KW of 20 bytes", kek.WrapKey(Bytes(20), out)},
      {"KW out short", kek.WrapKey(Bytes(16), std::span(out).first(23))},
      {"KW overlap", kek.WrapKey(all.first(16), all.subspan(8, 24))},
      {"KW unwrap of 16 bytes", kek.UnwrapKey(Bytes(16), out)},
      {"KW unwrap of 25 bytes", kek.UnwrapKey(Bytes(25), out)},
      {"KW unwrap out short", kek.UnwrapKey(Bytes(24), std::span(out).first(15))},
      {"KWP of nothing", kek.WrapKeyPadded({}, out)},
      {"KWP out short", kek.WrapKeyPadded(Bytes(9), std::span(out).first(23))},
      {"KWP overlap", kek.WrapKeyPadded(all.first(9), all.subspan(0, 24))},
      {"KWP unwrap of 8 bytes", kek.UnwrapKeyPadded(Bytes(8), out, n)},
      {"KWP unwrap of 20 bytes", kek.UnwrapKeyPadded(Bytes(20), out, n)},
      {"KWP unwrap out short", kek.UnwrapKeyPadded(Bytes(24), std::span(out).first(15), n)},
  };
  for (const auto& c : cases) EXPECT_EQ(c.Status, error::kBadArgument) << c.What;
}

}  // namespace
