// Known answers from the standards (tests/data/*.vec), the incremental objects' behaviour, the
// argument checks, and SHA-256's compressions against each other.
#include <gtest/gtest.h>

#include <cstring>

#include "HashTestSupport.h"
#include "VectorFile.h"
#include "crypto/hash/HashFunctions.h"
#include "crypto/support/error.h"

namespace {

using namespace testing_support;
using Hash::THashKind;

constexpr THashKind kKinds[] = {THashKind::MD5, THashKind::SHA1, THashKind::SHA256, THashKind::SHA512};

std::uint32_t BigEndian(const Bytes& b) {
  std::uint32_t v = 0;
  for (auto x : b) v = (v << 8) | x;
  return v;
}

TEST(HashKnownAnswers, Digests) {
  const auto records = ReadVectorFile("digest.vec");
  ASSERT_EQ(records.size(), 9u);
  for (const auto& r : records)
    for (const char* name : {"MD5", "SHA1", "SHA256", "SHA512"})
      EXPECT_EQ(ToHex(DigestOf(KindFromName(name), r.at("Message"))), ToHex(r.at(name))) << name;
}

TEST(HashKnownAnswers, HMAC) {
  const auto records = ReadVectorFile("hmac.vec");
  ASSERT_EQ(records.size(), 7u);
  for (const auto& r : records)
    for (const char* name : {"SHA256", "SHA512"}) {
      const Bytes& expected = r.at(name);
      const Bytes mac = HMACOf(KindFromName(name), r.at("Key"), r.at("Data"));
      EXPECT_EQ(ToHex(Bytes(mac.begin(), mac.begin() + expected.size())), ToHex(expected)) << name;
    }
}

TEST(HashKnownAnswers, HKDF) {
  const auto records = ReadVectorFile("hkdf.vec");
  ASSERT_EQ(records.size(), 7u);
  for (const auto& r : records) {
    const std::string name = r.count("OKM_SHA256") ? "SHA256" : "SHA1";
    const THashKind kind = KindFromName(name);
    const Bytes& okm = r.at("OKM_" + name);
    Bytes prk(Hash::DigestSize(kind)), out(okm.size());
    ASSERT_EQ(Hash::HKDF_Extract(kind, r.at("Salt"), r.at("IKM"), prk), 0);
    EXPECT_EQ(ToHex(prk), ToHex(r.at("PRK_" + name)));
    ASSERT_EQ(Hash::HKDF_Expand(kind, prk, r.at("Info"), out), 0);
    EXPECT_EQ(ToHex(out), ToHex(okm));
  }
}

TEST(HashKnownAnswers, PBKDF2) {
  const auto records = ReadVectorFile("pbkdf2.vec");
  ASSERT_EQ(records.size(), 5u);
  for (const auto& r : records) {
    const Bytes& expected = r.at("SHA1");
    EXPECT_EQ(ToHex(PBKDF2Of(THashKind::SHA1, r.at("Password"), r.at("Salt"), BigEndian(r.at("Iterations")),
                             expected.size())),
              ToHex(expected));
  }
}

TEST(Hash, SizesOfEachKind) {
  const std::size_t digest[] = {16, 20, 32, 64}, block[] = {64, 64, 64, 128};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Hash::DigestSize(kKinds[i]), digest[i]);
    EXPECT_EQ(Hash::BlockSize(kKinds[i]), block[i]);
  }
}

// Final starts a new message, Reset forgets one, a short output is refused with the message kept,
// and a moved object carries the message while the one moved from starts afresh.
TEST(Hash, IncrementalLifecycle) {
  const Bytes a = RandomBytes(100, 1), b = RandomBytes(37, 2);
  Bytes ab = a;
  ab.insert(ab.end(), b.begin(), b.end());
  for (THashKind kind : kKinds) {
    const std::size_t size = Hash::DigestSize(kind);
    Hash::THash hash(kind);
    hash.Update(a);
    Bytes shortOut(size - 1, 0xEE);
    EXPECT_EQ(hash.Final(shortOut), error::kBadArgument);
    EXPECT_EQ(shortOut, Bytes(size - 1, 0xEE));
    hash.Update(b);
    Bytes out(size + 3, 0xEE);  // a longer output gets the digest in front and the rest untouched
    ASSERT_EQ(hash.Final(out), 0);
    EXPECT_EQ(ToHex(Bytes(out.begin(), out.begin() + size)), ToHex(DigestOf(kind, ab)));
    EXPECT_EQ(Bytes(out.begin() + size, out.end()), Bytes(3, 0xEE));
    out.resize(size);
    ASSERT_EQ(hash.Final(out), 0);
    EXPECT_EQ(ToHex(out), ToHex(DigestOf(kind, {}))) << "Final starts a new message";
    hash.Update(a);
    hash.Reset();
    hash.Update(b);
    ASSERT_EQ(hash.Final(out), 0);
    EXPECT_EQ(ToHex(out), ToHex(DigestOf(kind, b)));

    hash.Update(a);
    Hash::THash moved(std::move(hash));
    moved.Update(b);
    ASSERT_EQ(moved.Final(out), 0);
    EXPECT_EQ(ToHex(out), ToHex(DigestOf(kind, ab)));
    hash.Update(b);  // NOLINT(bugprone-use-after-move): a moved-from hash starts a new message
    ASSERT_EQ(hash.Final(out), 0);
    EXPECT_EQ(ToHex(out), ToHex(DigestOf(kind, b)));
    Hash::THash assigned(THashKind::MD5);
    moved.Update(a);
    assigned = std::move(moved);
    EXPECT_EQ(assigned.Kind(), kind);
    assigned.Update(b);
    ASSERT_EQ(assigned.Final(out), 0);
    EXPECT_EQ(ToHex(out), ToHex(DigestOf(kind, ab)));
  }
}

// One key, many messages: each Final leaves the object keyed for the next, Reset drops a message
// half-fed, and pieces equal the one-shot MAC.
TEST(Hash, HMACObjectServesManyMessages) {
  const Bytes key = RandomBytes(70, 3), a = RandomBytes(200, 4), b = RandomBytes(5, 5);
  for (THashKind kind : kKinds) {
    const std::size_t size = Hash::DigestSize(kind);
    Hash::THMAC mac(kind, key);
    Bytes out(size), shortOut(size - 1, 0xEE);
    mac.Update(std::span(a).first(99));
    mac.Update(std::span(a).subspan(99));
    EXPECT_EQ(mac.Final(shortOut), error::kBadArgument);
    EXPECT_EQ(shortOut, Bytes(size - 1, 0xEE));
    ASSERT_EQ(mac.Final(out), 0);
    EXPECT_EQ(ToHex(out), ToHex(HMACOf(kind, key, a)));
    mac.Update(a);
    mac.Reset();
    mac.Update(b);
    ASSERT_EQ(mac.Final(out), 0);
    EXPECT_EQ(ToHex(out), ToHex(HMACOf(kind, key, b)));
    Hash::THMAC moved(std::move(mac));
    moved.Update(a);
    ASSERT_EQ(moved.Final(out), 0);
    EXPECT_EQ(ToHex(out), ToHex(HMACOf(kind, key, a)));
  }
}

// Refused arguments write nothing.
TEST(Hash, ArgumentChecks) {
  const Bytes key(32, 1), data(10, 2);
  for (THashKind kind : kKinds) {
    const std::size_t size = Hash::DigestSize(kind);
    Bytes out(size - 1, 0xEE);
    EXPECT_EQ(Hash::Digest(kind, data, out), error::kBadArgument);
    EXPECT_EQ(Hash::HMAC(kind, key, data, out), error::kBadArgument);
    EXPECT_EQ(Hash::HKDF_Extract(kind, key, data, out), error::kBadArgument);
    Bytes longPrk(size + 1, 0xEE);
    EXPECT_EQ(Hash::HKDF_Extract(kind, key, data, longPrk), error::kBadArgument);
    EXPECT_EQ(longPrk, Bytes(size + 1, 0xEE));
    EXPECT_EQ(out, Bytes(size - 1, 0xEE));

    Bytes tooLong(255 * size + 1, 0xEE), longest(255 * size);
    EXPECT_EQ(Hash::HKDF_Expand(kind, key, data, tooLong), error::kBadArgument);
    EXPECT_EQ(tooLong, Bytes(255 * size + 1, 0xEE));
    EXPECT_EQ(Hash::HKDF_Expand(kind, key, data, longest), 0);
    EXPECT_EQ(Hash::HKDF_Expand(kind, key, data, std::span<std::uint8_t>()), error::kBadArgument);

    Bytes derived(40, 0xEE);
    EXPECT_EQ(Hash::PBKDF2_HMAC(kind, key, data, 0, derived), error::kBadArgument);
    EXPECT_EQ(derived, Bytes(40, 0xEE));
    EXPECT_EQ(Hash::PBKDF2_HMAC(kind, key, data, 1, std::span<std::uint8_t>()), error::kBadArgument);
  }
}

// A digest over a chosen compression, to hold the portable and the accelerated one side by side.
Bytes DigestWith(THashKind kind, Hash::detail::TCompress compress, const Bytes& msg) {
  using namespace Hash::detail;
  TFunction with = FunctionOf(kind);
  with.Compress = compress;
  Hash::TChain chain{};
  with.Init(chain);
  const std::size_t whole = msg.size() / with.BlockBytes;
  if (whole > 0) compress(chain, msg.data(), whole);
  std::uint8_t block[Hash::kMaxBlockSize] = {};
  const std::size_t rest = msg.size() % with.BlockBytes;
  if (rest != 0) std::memcpy(block, msg.data() + whole * with.BlockBytes, rest);
  Finish(with, chain, block, msg.size());
  Bytes out(with.DigestBytes);
  with.Output(chain, out.data());
  return out;
}

// The accelerated compressions (where this processor has them) against the portable ones, on
// lengths around both block sizes and runs of many blocks; ORVOAES_KERNEL=portable picks the
// portable ones.
TEST(Hash, CompressionsAgree) {
  using namespace Hash::detail;
  struct TCase {
    THashKind Kind;
    TCompress Portable, Fast, Chosen;
    const char* Name;
  };
  const TCase cases[] = {
      {THashKind::SHA256, CompressSHA256Portable, SHA256Accelerated(), SHA256Chosen(), SHA256ChosenName()},
      {THashKind::SHA512, CompressSHA512Portable, SHA512Accelerated(), SHA512Chosen(), SHA512ChosenName()},
  };
  const char* forced = std::getenv("ORVOAES_KERNEL");
  const bool portableOnly = forced != nullptr && std::strcmp(forced, "portable") == 0;
  for (const TCase& c : cases) {
    EXPECT_EQ(c.Chosen, c.Fast != nullptr && !portableOnly ? c.Fast : c.Portable);
    std::printf("%s runs %s; accelerated compression %s\n", c.Kind == THashKind::SHA256 ? "SHA-256" : "SHA-512",
                c.Name, c.Fast ? "present" : "absent");
    for (std::size_t n : {0u, 1u, 55u, 56u, 64u, 111u, 112u, 119u, 120u, 128u, 1000u, 4096u + 17u}) {
      const Bytes msg = RandomBytes(n, static_cast<std::uint32_t>(n));
      const Bytes portable = DigestWith(c.Kind, c.Portable, msg);
      EXPECT_EQ(ToHex(portable), ToHex(DigestOf(c.Kind, msg))) << n;
      if (c.Fast != nullptr) {
        EXPECT_EQ(ToHex(DigestWith(c.Kind, c.Fast, msg)), ToHex(portable)) << n;
      }
    }
  }
}

}  // namespace
