// XTS of the keyed API: IEEE 1619's vectors (whole blocks and cipher-text stealing), random units
// and sectors against OpenSSL for every key size with lengths 16 to 100 and around 4 and 16 KiB,
// sectors against units, in place, and the refused keys and lengths.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "ModesOracle.h"
#include "VectorFile.h"
#include "crypto/engine/AESKeyed.h"
#include "crypto/engine/core/XTSCore.h"

namespace {

using AESKeyed::TXTSKey;
using platform::Integer;
using platform::TCharArray16;
using testing_support::Bytes;
using testing_support::RandomBytes;

TXTSKey MakeKey(const Bytes& bytes) {
  TXTSKey key;
  EXPECT_EQ(key.SetKey(bytes), 0);
  return key;
}

TCharArray16 Tweak(const Bytes& b) {
  TCharArray16 t{};
  std::copy_n(b.begin(), 16, t.begin());
  return t;
}

// Both directions, out of place and in place.
void CheckUnit(const TXTSKey& key, const Bytes& tweak, const Bytes& plain, const Bytes& cipher) {
  Bytes out(plain.size(), 0xEE);
  ASSERT_EQ(key.Encrypt(Tweak(tweak), plain, out), 0);
  EXPECT_EQ(out, cipher);
  ASSERT_EQ(key.Decrypt(Tweak(tweak), cipher, out), 0);
  EXPECT_EQ(out, plain);
  Bytes inPlace = plain;
  ASSERT_EQ(key.Encrypt(Tweak(tweak), inPlace, inPlace), 0);
  EXPECT_EQ(inPlace, cipher);
  ASSERT_EQ(key.Decrypt(Tweak(tweak), inPlace, inPlace), 0);
  EXPECT_EQ(inPlace, plain);
}

TEST(XTS, IEEEVectors) {
  const auto vectors = testing_support::ReadVectorFile("xts.vec");
  ASSERT_EQ(vectors.size(), 8u);
  for (const auto& v : vectors) {
    const Bytes& k = v.at("Key");
    SCOPED_TRACE(testing_support::ToHex(v.at("Ciphertext")).substr(0, 16));
    const Bytes k1(k.begin(), k.begin() + 16), k2(k.begin() + 16, k.end());
    if (k1 != k2) {
      CheckUnit(MakeKey(k), v.at("Tweak"), v.at("Plaintext"), v.at("Ciphertext"));
      continue;
    }
    // Vector 1's halves are equal, which the key object refuses: the engine runs it directly.
    AESModes::kernel::TExpandedKey data, tweak;
    ASSERT_EQ(data.Expand(k1, 4, true), 0);
    ASSERT_EQ(tweak.Expand(k2, 4), 0);
    const Bytes& p = v.at("Plaintext");
    Bytes out(p.size());
    AESModes::detail::XTSCrypt(true, data, tweak, v.at("Tweak").data(), p.data(), out.data(), p.size());
    EXPECT_EQ(out, v.at("Ciphertext"));
    AESModes::detail::XTSCrypt(false, data, tweak, v.at("Tweak").data(), out.data(), out.data(), out.size());
    EXPECT_EQ(out, p);
  }
}

// OpenSSL has no XTS over AES-192: for 48-byte keys the oracle is XTS written out over OpenSSL's
// ECB (block j under E(tweak) times x^j, the last two blocks by cipher-text stealing).
Bytes XTSOverOpenSSLECB(const Bytes& key, const Bytes& tweak, const Bytes& plain) {
  const std::size_t half = key.size() / 2;
  const Bytes k1(key.begin(), key.begin() + static_cast<std::ptrdiff_t>(half)),
      k2(key.begin() + static_cast<std::ptrdiff_t>(half), key.end());
  Bytes T = testing_support::OpenSSLCrypt(true, 0, k2, {}, tweak, false);
  const auto block = [&](const std::uint8_t* in, const Bytes& t) {
    Bytes b(16);
    for (int i = 0; i < 16; ++i) b[static_cast<std::size_t>(i)] = in[i] ^ t[static_cast<std::size_t>(i)];
    b = testing_support::OpenSSLCrypt(true, 0, k1, {}, b, false);
    for (int i = 0; i < 16; ++i) b[static_cast<std::size_t>(i)] ^= t[static_cast<std::size_t>(i)];
    return b;
  };
  const auto twice = [](Bytes t) {
    const int carry = t[15] >> 7;
    for (int i = 15; i > 0; --i) t[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(t[static_cast<std::size_t>(i)] << 1 | t[static_cast<std::size_t>(i - 1)] >> 7);
    t[0] = static_cast<std::uint8_t>(t[0] << 1 ^ (carry ? 0x87 : 0));
    return t;
  };
  const std::size_t m = plain.size() / 16, r = plain.size() % 16;
  Bytes out;
  for (std::size_t j = 0; j < m; ++j, T = twice(T)) {
    const Bytes c = block(plain.data() + 16 * j, T);
    out.insert(out.end(), c.begin(), c.end());
  }
  if (r != 0) {
    Bytes last(plain.end() - static_cast<std::ptrdiff_t>(r), plain.end());
    last.insert(last.end(), out.end() - static_cast<std::ptrdiff_t>(16 - r), out.end());
    const Bytes stolen(out.end() - 16, out.end() - static_cast<std::ptrdiff_t>(16 - r));
    const Bytes c = block(last.data(), T);
    std::copy(c.begin(), c.end(), out.end() - 16);
    out.insert(out.end(), stolen.begin(), stolen.end());
  }
  return out;
}

TEST(XTS, RandomUnitsEqualOpenSSL) {
  std::vector<std::size_t> lengths;
  for (std::size_t n = 16; n <= 100; ++n) lengths.push_back(n);
  for (const std::size_t n : {4095, 4096, 4097, 4111, 16383, 16384, 16385, 16400}) lengths.push_back(n);
  std::uint32_t seed = 400;
  for (const std::size_t keyBytes : {32, 48, 64}) {
    const Bytes keyV = RandomBytes(keyBytes, seed++);
    const TXTSKey key = MakeKey(keyV);
    for (const std::size_t n : lengths) {
      SCOPED_TRACE(testing::Message() << keyBytes << "-byte key, " << n << " bytes");
      const Bytes tweak = RandomBytes(16, seed++), plain = RandomBytes(n, seed++);
      const Bytes expected = keyBytes == 48 ? XTSOverOpenSSLECB(keyV, tweak, plain)
                                            : testing_support::OpenSSLXTS(true, keyV, tweak, plain);
      if (keyBytes != 48 && n % 7 == 0) {
        EXPECT_EQ(XTSOverOpenSSLECB(keyV, tweak, plain), expected);  // the composed oracle itself
      }
      CheckUnit(key, tweak, plain, expected);
    }
  }
}

// Sectors are units under tweaks firstSector, firstSector + 1, ... (little-endian, the carry past
// 2^64 going into byte 8), sizes that are and are not whole blocks.
TEST(XTS, SectorsAreUnitsUnderTheirNumbers) {
  const Bytes keyV = RandomBytes(64, 500);
  const TXTSKey key = MakeKey(keyV);
  for (const std::size_t sector : {16, 512, 520, 4096})
    for (const std::uint64_t first : {std::uint64_t{0}, std::uint64_t{7}, ~std::uint64_t{0} - 1}) {
      SCOPED_TRACE(testing::Message() << "sector " << sector << ", first " << first);
      const Bytes plain = RandomBytes(3 * sector, 501);
      Bytes expected;
      for (std::uint64_t k = 0; k < 3; ++k) {
        Bytes tweak(16);
        const std::uint64_t number = first + k;
        for (int i = 0; i < 8; ++i) tweak[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(number >> (8 * i));
        if (number < first) tweak[8] = 1;
        const Bytes unit(plain.begin() + static_cast<std::ptrdiff_t>(k * sector),
                         plain.begin() + static_cast<std::ptrdiff_t>((k + 1) * sector));
        const Bytes c = testing_support::OpenSSLXTS(true, keyV, tweak, unit);
        expected.insert(expected.end(), c.begin(), c.end());
      }
      Bytes out(plain.size());
      ASSERT_EQ(key.EncryptSectors(first, sector, plain, out), 0);
      EXPECT_EQ(out, expected);
      ASSERT_EQ(key.DecryptSectors(first, sector, out, out), 0);
      EXPECT_EQ(out, plain);
    }
}

TEST(XTS, RefusedKeysAndLengths) {
  TXTSKey key;
  Bytes buf(64);
  const TCharArray16 tweak{};
  EXPECT_EQ(key.Encrypt(tweak, std::span(buf).first(16), std::span(buf).subspan(16, 16)), error::kBadArgument);
  for (const std::size_t n : {16, 24, 31, 33, 65})
    EXPECT_EQ(key.SetKey(Bytes(n, 1)), error::kBadKeySize) << n;
  for (const std::size_t n : {32, 48, 64}) {
    Bytes equal = RandomBytes(n / 2, 600);
    equal.insert(equal.end(), equal.begin(), equal.end());
    EXPECT_EQ(key.SetKey(equal), error::kBadArgument) << n;
    EXPECT_FALSE(key.HasKey());
  }
  ASSERT_EQ(key.SetKey(RandomBytes(32, 601)), 0);
  const std::span<std::uint8_t> all(buf);
  Bytes big(AESModes::detail::kXTSMaxUnitBytes + 1);
  const struct {
    const char* What;
    Integer Status;
  } cases[] = {
      {"unit of 15 bytes", key.Encrypt(tweak, all.first(15), all.subspan(32, 15))},
      {"unit of 0 bytes", key.Decrypt(tweak, {}, all)},
      {"unit above 2^20 blocks", key.Encrypt(tweak, big, big)},
      {"out shorter", key.Encrypt(tweak, all.first(32), all.subspan(40, 24))},
      {"partial overlap", key.Encrypt(tweak, all.first(32), all.subspan(1, 32))},
      {"sector of 15 bytes", key.EncryptSectors(0, 15, all.first(30), all.subspan(30, 30))},
      {"not whole sectors", key.EncryptSectors(0, 16, all.first(40), all.first(40))},
  };
  for (const auto& c : cases) EXPECT_EQ(c.Status, error::kBadArgument) << c.What;
  // The largest unit is taken.
  big.pop_back();
  EXPECT_EQ(key.Encrypt(tweak, big, big), 0);
}

}  // namespace
