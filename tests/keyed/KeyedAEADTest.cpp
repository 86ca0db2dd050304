// CCM, OCB3 and EAX of the keyed API: the published known answers (in place and not), RFC 7253's
// iterated test over every key and tag size, random tables against OpenSSL (CCM and OCB through
// EVP; EAX composed of OpenSSL's CMAC and counter mode) at the limits of nonce and tag lengths
// with empty and long additional data, flipped bits that must release nothing, and the refused
// arguments.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "CMACOracle.h"
#include "ModesOracle.h"
#include "VectorFile.h"
#include "crypto/engine/AESKeyed.h"

namespace {

using AESKeyed::TAESKey;
using platform::Integer;
using testing_support::Bytes;
using testing_support::RandomBytes;
using TIn = std::span<const std::uint8_t>;
using TOut = std::span<std::uint8_t>;

enum class TAead { CCM, OCB, EAX };
constexpr TAead kModes[] = {TAead::CCM, TAead::OCB, TAead::EAX};

const char* Name(TAead m) { return m == TAead::CCM ? "CCM" : m == TAead::OCB ? "OCB" : "EAX"; }

TAESKey MakeKey(const Bytes& bytes) {
  TAESKey key;
  EXPECT_EQ(key.SetKey(bytes), 0);
  return key;
}

Integer Seal(const TAESKey& k, TAead m, TIn nonce, TIn aad, TIn plain, TOut cipher, TOut tag) {
  switch (m) {
    case TAead::CCM: return k.CCM_Seal(nonce, aad, plain, cipher, tag);
    case TAead::OCB: return k.OCB_Seal(nonce, aad, plain, cipher, tag);
    case TAead::EAX: return k.EAX_Seal(nonce, aad, plain, cipher, tag);
  }
  return -1;
}

Integer Open(const TAESKey& k, TAead m, TIn nonce, TIn aad, TIn cipher, TIn tag, TOut plain) {
  switch (m) {
    case TAead::CCM: return k.CCM_Open(nonce, aad, cipher, tag, plain);
    case TAead::OCB: return k.OCB_Open(nonce, aad, cipher, tag, plain);
    case TAead::EAX: return k.EAX_Open(nonce, aad, cipher, tag, plain);
  }
  return -1;
}

// EAX from OpenSSL's pieces: N = CMAC([0] || nonce), H = CMAC([1] || aad), C = CTR from N,
// tag = N ^ H ^ CMAC([2] || C).
testing_support::GCMResult EAXOracle(const Bytes& key, const Bytes& nonce, const Bytes& aad, const Bytes& plain) {
  const auto omac = [&key](std::uint8_t t, const Bytes& m) {
    Bytes msg(16);
    msg[15] = t;
    msg.insert(msg.end(), m.begin(), m.end());
    return testing_support::OpenSSLCMAC(key, msg);
  };
  const Bytes N = omac(0, nonce), H = omac(1, aad);
  testing_support::GCMResult r{plain.empty() ? Bytes{} : testing_support::OpenSSLCrypt(true, 3, key, N, plain, false), {}};
  r.Tag = omac(2, r.Cipher);
  for (std::size_t i = 0; i < 16; ++i) r.Tag[i] ^= N[i] ^ H[i];
  return r;
}

testing_support::GCMResult Oracle(TAead m, const Bytes& key, const Bytes& nonce, const Bytes& aad, const Bytes& plain,
                                  std::size_t tagBytes) {
  if (m == TAead::EAX) {
    auto r = EAXOracle(key, nonce, aad, plain);
    r.Tag.resize(tagBytes);
    return r;
  }
  return testing_support::OpenSSLAEADSeal(m == TAead::CCM ? "ccm" : "ocb", key, nonce, aad, plain, tagBytes);
}

// Seals and opens one case, out of place and in place, and compares with the expected bytes.
void CheckCase(const TAESKey& key, TAead m, const Bytes& nonce, const Bytes& aad, const Bytes& plain,
               const Bytes& cipher, const Bytes& tag) {
  Bytes c(plain.size(), 0xEE), t(tag.size()), p(plain.size(), 0xEE);
  ASSERT_EQ(Seal(key, m, nonce, aad, plain, c, t), 0);
  EXPECT_EQ(c, cipher);
  EXPECT_EQ(t, tag);
  ASSERT_EQ(Open(key, m, nonce, aad, cipher, tag, p), 0);
  EXPECT_EQ(p, plain);
  Bytes inPlace = plain;
  ASSERT_EQ(Seal(key, m, nonce, aad, inPlace, inPlace, t), 0);
  EXPECT_EQ(inPlace, cipher);
  ASSERT_EQ(Open(key, m, nonce, aad, inPlace, tag, inPlace), 0);
  EXPECT_EQ(inPlace, plain);
}

TEST(KeyedAEAD, KnownAnswers) {
  const struct {
    TAead Mode;
    const char* File;
    std::size_t Count;
  } files[] = {{TAead::CCM, "ccm.vec", 5}, {TAead::OCB, "ocb.vec", 6}, {TAead::EAX, "eax.vec", 10}};
  for (const auto& f : files) {
    const auto vectors = testing_support::ReadVectorFile(f.File);
    ASSERT_EQ(vectors.size(), f.Count) << f.File;
    for (const auto& v : vectors) {
      SCOPED_TRACE(std::string(f.File) + " nonce " + testing_support::ToHex(v.at("Nonce")));
      CheckCase(MakeKey(v.at("Key")), f.Mode, v.at("Nonce"), v.at("AAD"), v.at("Plaintext"), v.at("Ciphertext"),
                v.at("Tag"));
    }
  }
}

// RFC 7253, appendix A: for i = 0..127 with S = i zero bytes, C collects the sealings of (S, S),
// (empty aad, S) and (S, empty plain) under nonces 3i+1, 3i+2, 3i+3; the output is the tag of
// (C as additional data, nothing) under nonce 385. The key is zeros with the tag length in bits last.
TEST(KeyedAEAD, OCBIteratedSampleOfRFC7253) {
  const struct {
    std::size_t KeyBytes, TagBytes;
    const char* Expected;
  } cases[] = {{16, 16, "67e944d23256c5e0b6c61fa22fdf1ea2"}, {24, 16, "f673f2c3e7174aae7bae986ca9f29e17"},
               {32, 16, "d90eb8e9c977c88b79dd793d7ffa161c"}, {16, 12, "77a3d8e73589158d25d01209"},
               {24, 12, "05d56ead2752c86be6932c5e"},         {32, 12, "5458359ac23b0cba9e6330dd"},
               {16, 8, "192c9b7bd90ba06a"},                  {24, 8, "0066bc6e0ef34e24"},
               {32, 8, "7d4ea5d445501cbe"}};
  const auto nonce = [](std::uint32_t n) {
    Bytes b(12);
    for (int i = 0; i < 4; ++i) b[static_cast<std::size_t>(11 - i)] = static_cast<std::uint8_t>(n >> (8 * i));
    return b;
  };
  for (const auto& c : cases) {
    Bytes keyBytes(c.KeyBytes);
    keyBytes.back() = static_cast<std::uint8_t>(8 * c.TagBytes);
    const TAESKey key = MakeKey(keyBytes);
    Bytes all, tag(c.TagBytes);
    for (std::uint32_t i = 0; i < 128; ++i) {
      const Bytes S(i);
      Bytes out(i);
      ASSERT_EQ(key.OCB_Seal(nonce(3 * i + 1), S, S, out, tag), 0);
      all.insert(all.end(), out.begin(), out.end());
      all.insert(all.end(), tag.begin(), tag.end());
      ASSERT_EQ(key.OCB_Seal(nonce(3 * i + 2), {}, S, out, tag), 0);
      all.insert(all.end(), out.begin(), out.end());
      all.insert(all.end(), tag.begin(), tag.end());
      ASSERT_EQ(key.OCB_Seal(nonce(3 * i + 3), S, {}, {}, tag), 0);
      all.insert(all.end(), tag.begin(), tag.end());
    }
    ASSERT_EQ(key.OCB_Seal(nonce(385), all, {}, {}, tag), 0);
    EXPECT_EQ(testing_support::ToHex(tag), c.Expected) << c.KeyBytes << "-byte key, " << c.TagBytes << "-byte tag";
  }
}

// Nonce and tag lengths at and near each mode's limits, cycled through the data lengths so every
// pair meets several lengths; additional data from empty to beyond CCM's 2-byte length encoding.
TEST(KeyedAEAD, RandomTablesEqualOpenSSL) {
  const std::vector<std::size_t> nonces[] = {{7, 8, 12, 13}, {1, 12, 15, 8}, {0, 1, 16, 12, 40}};
  const std::vector<std::size_t> tags[] = {{4, 16, 6, 14, 10}, {4, 16, 12, 5, 8}, {4, 16, 7, 13}};
  const std::size_t aads[] = {0, 1, 15, 16, 17, 100, 0, 31};
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 100; ++n) lengths.push_back(n);
  for (const std::size_t n : {16383, 16384, 16385, 16400}) lengths.push_back(n);
  std::uint32_t seed = 100;
  for (const TAead m : kModes) {
    const auto& ns = nonces[static_cast<int>(m)];
    const auto& ts = tags[static_cast<int>(m)];
    for (const std::size_t keyBytes : {16, 24, 32}) {
      const Bytes keyV = RandomBytes(keyBytes, seed++);
      const TAESKey key = MakeKey(keyV);
      for (std::size_t i = 0; i < lengths.size(); ++i) {
        const std::size_t n = lengths[i], nonceBytes = ns[i % ns.size()], tagBytes = ts[(i / ns.size()) % ts.size()];
        const Bytes nonce = RandomBytes(nonceBytes, seed++), aad = RandomBytes(aads[i % 8], seed++),
                    plain = RandomBytes(n, seed++);
        SCOPED_TRACE(testing::Message() << Name(m) << " AES-" << 8 * keyBytes << ", " << n << " bytes, nonce "
                                        << nonceBytes << ", tag " << tagBytes << ", aad " << aad.size());
        const auto ref = Oracle(m, keyV, nonce, aad, plain, tagBytes);
        CheckCase(key, m, nonce, aad, plain, ref.Cipher, ref.Tag);
      }
      // Long additional data: around the 2^16 - 2^8 bytes where CCM's length encoding grows.
      for (const std::size_t a : {65279, 65280, 70001}) {
        const Bytes nonce = RandomBytes(ns[1], seed++), aad = RandomBytes(a, seed++), plain = RandomBytes(33, seed++);
        SCOPED_TRACE(testing::Message() << Name(m) << " aad " << a);
        const auto ref = Oracle(m, keyV, nonce, aad, plain, 16);
        CheckCase(key, m, nonce, aad, plain, ref.Cipher, ref.Tag);
      }
    }
  }
}

// One changed bit anywhere (nonce, additional data, cipher text, tag) is refused with -200, and no
// plain text is left in the output: CCM and OCB zero it, EAX never writes it.
TEST(KeyedAEAD, FlippedBitsReleaseNothing) {
  for (const TAead m : kModes)
    for (const std::size_t n : {0, 1, 16, 37, 300}) {
      const TAESKey key = MakeKey(RandomBytes(32, 7));
      const Bytes nonce = RandomBytes(12, 8), aad = RandomBytes(20, 9), plain = RandomBytes(n, 10);
      Bytes cipher(n), tag(12);
      ASSERT_EQ(Seal(key, m, nonce, aad, plain, cipher, tag), 0);
      struct TFlip {
        const char* Where;
        std::size_t At;
      };
      std::vector<TFlip> flips = {{"nonce", 0}, {"nonce", 11}, {"aad", 0}, {"aad", 19}, {"tag", 0}, {"tag", 11}};
      for (std::size_t at : {std::size_t{0}, n / 2, n - 1})
        if (n != 0) flips.push_back({"cipher", at});
      for (const TFlip& f : flips)
        for (const std::uint8_t bit : {0x01, 0x80}) {
          SCOPED_TRACE(testing::Message() << Name(m) << ", " << n << " bytes, " << f.Where << "[" << f.At << "]");
          Bytes N = nonce, A = aad, C = cipher, T = tag;
          Bytes& target = std::string(f.Where) == "nonce" ? N : std::string(f.Where) == "aad" ? A
                          : std::string(f.Where) == "tag" ? T : C;
          target[f.At] ^= bit;
          Bytes out(n, 0xEE);
          EXPECT_EQ(Open(key, m, N, A, C, T, out), error::kTagMismatch);
          EXPECT_EQ(out, Bytes(n, m == TAead::EAX ? 0xEE : 0x00));
          // In place: the cipher text may go (zeroed), the plain text never appears.
          Bytes inPlace = C;
          EXPECT_EQ(Open(key, m, N, A, inPlace, T, inPlace), error::kTagMismatch);
          EXPECT_EQ(inPlace, m == TAead::EAX ? C : Bytes(n, 0));
        }
      // A prefix of the tag is the shorter tag in EAX (as in GCM); CCM and OCB put the tag length
      // into their computation, so there it is refused.
      Bytes out(n);
      const Integer shorter = Open(key, m, nonce, aad, cipher, std::span(tag).first(8), out);
      EXPECT_EQ(shorter, m == TAead::EAX ? 0 : error::kTagMismatch) << Name(m);
    }
}

TEST(KeyedAEAD, RefusedArguments) {
  TAESKey none;
  Bytes buf(64), tag(16), nonce(12);
  for (const TAead m : kModes) {
    EXPECT_EQ(Seal(none, m, nonce, {}, std::span(buf).first(16), std::span(buf).subspan(16, 16), tag),
              error::kBadArgument);
    EXPECT_EQ(Open(none, m, nonce, {}, std::span(buf).first(16), tag, std::span(buf).subspan(16, 16)),
              error::kBadArgument);
  }
  const TAESKey key = MakeKey(Bytes(16, 3));
  const TOut all(buf);
  const TIn in = all.first(16);
  const TOut out = all.subspan(32, 16);
  const struct {
    TAead Mode;
    std::size_t Nonce, Tag;
    Integer Expected;
  } lengths[] = {
      {TAead::CCM, 6, 16, error::kBadArgument},  {TAead::CCM, 14, 16, error::kBadArgument},
      {TAead::CCM, 13, 17, error::kTagTooLong},  {TAead::CCM, 13, 5, error::kBadArgument},
      {TAead::CCM, 13, 2, error::kBadArgument},  {TAead::CCM, 7, 4, 0},
      {TAead::OCB, 0, 16, error::kBadArgument},  {TAead::OCB, 16, 16, error::kBadArgument},
      {TAead::OCB, 15, 17, error::kTagTooLong},  {TAead::OCB, 1, 3, error::kBadArgument},
      {TAead::OCB, 1, 5, 0},                     {TAead::EAX, 0, 4, 0},
      {TAead::EAX, 64, 17, error::kTagTooLong},  {TAead::EAX, 64, 3, error::kBadArgument},
  };
  for (const auto& c : lengths) {
    Bytes n(c.Nonce), t(c.Tag), before(out.begin(), out.end());
    EXPECT_EQ(Seal(key, c.Mode, n, {}, in, out, t), c.Expected) << Name(c.Mode) << " nonce " << c.Nonce << " tag " << c.Tag;
    if (c.Expected != 0) {
      EXPECT_EQ(Bytes(out.begin(), out.end()), before);
    }
  }
  for (const TAead m : kModes) {
    SCOPED_TRACE(Name(m));
    EXPECT_EQ(Seal(key, m, nonce, {}, all.first(32), all.subspan(33, 31), tag), error::kBadArgument);  // short out
    EXPECT_EQ(Seal(key, m, nonce, {}, all.first(32), all.subspan(8, 32), tag), error::kBadArgument);   // overlap
    EXPECT_EQ(Open(key, m, nonce, {}, all.first(32), tag, all.subspan(40, 24)), error::kBadArgument);
  }
  // CCM counts the data in 15 - nonce bytes: 2 bytes with a 13-byte nonce.
  Bytes big(65536), bigOut(65536);
  EXPECT_EQ(key.CCM_Seal(Bytes(13), {}, big, bigOut, tag), error::kBadArgument);
  EXPECT_EQ(key.CCM_Seal(Bytes(13), {}, std::span(big).first(65535), bigOut, tag), 0);
  EXPECT_EQ(key.CCM_Seal(Bytes(12), {}, big, bigOut, tag), 0);
}

}  // namespace
