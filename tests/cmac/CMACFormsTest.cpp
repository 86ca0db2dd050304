// CMAC through every form: the published examples, OpenSSL on random keys and messages around
// the block and chunk sizes, every tag size, and one flipped bit.
#include <gtest/gtest.h>

#include "CMACTestSupport.h"

namespace {

using namespace cmac_test;
using testing_support::OpenSSLCMAC;
using testing_support::RandomBytes;

constexpr Form kGenerators[] = {Form::Buffer, Form::File, Form::Stream};
constexpr Form kVerifiers[] = {Form::Buffer, Form::String, Form::File, Form::Stream};

// The buffer and string forms take no empty message; the file and stream forms do.
bool TakesEmpty(Form f) { return f == Form::File || f == Form::Stream; }

Bytes Flipped(Bytes b, std::size_t bit) {
  b[bit / 8] ^= static_cast<std::uint8_t>(0x80 >> (bit % 8));
  return b;
}

class CMACForms : public FormsTest {
 protected:
  // Every form agrees with the expected 16-byte tag, and every verification refuses the tag
  // with one bit flipped.
  void CheckAllForms(const Bytes& key, const Bytes& msg, const Bytes& expected, std::uint32_t seed) {
    for (Form f : kGenerators) {
      if (msg.empty() && !TakesEmpty(f)) continue;
      Bytes tag(16);
      ASSERT_EQ(0, Generate(f, key, msg, tag, 128)) << Name(f);
      EXPECT_EQ(expected, tag) << Name(f) << ", " << msg.size() << " bytes";
    }
    const std::size_t bit = seed % 128;
    for (Form f : kVerifiers) {
      if (msg.empty() && !TakesEmpty(f)) continue;
      EXPECT_EQ(0, Verify(f, key, msg, expected, 128)) << Name(f) << ", " << msg.size() << " bytes";
      EXPECT_EQ(-205, Verify(f, key, msg, Flipped(expected, bit), 128)) << Name(f) << ", bit " << bit;
    }
  }
};

TEST_F(CMACForms, PublishedExamplesThroughEveryForm) {
  const auto vectors = LoadVectors("cmac.vec");
  ASSERT_EQ(12u, vectors.size());
  std::uint32_t seed = 0;
  for (const Vector& v : vectors) CheckAllForms(v.Key, v.Msg, v.Tag, ++seed);
}

TEST_F(CMACForms, AgreeWithOpenSSLAroundBlockAndChunkSizes) {
  const std::size_t lengths[] = {0, 1, 15, 16, 17, 31, 32, 33, 159999, 160000, 160001, 3000017};
  std::uint32_t seed = 100;
  for (std::size_t n : lengths) {
    const Bytes key = RandomBytes(16 + 8 * (seed % 3), seed), msg = RandomBytes(n, seed + 1);
    CheckAllForms(key, msg, OpenSSLCMAC(key, msg), seed);
    seed += 7;
  }
}

TEST_F(CMACForms, AgreeWithOpenSSLAroundTheFileChunk) {
  const Bytes key = RandomBytes(32, 5);
  for (std::size_t n : {std::size_t{16000000}, std::size_t{16000001}}) {
    const Bytes msg = RandomBytes(n, static_cast<std::uint32_t>(n));
    const Bytes expected = OpenSSLCMAC(key, msg);
    for (Form f : {Form::Buffer, Form::File}) {
      Bytes tag(16);
      ASSERT_EQ(0, Generate(f, key, msg, tag, 128)) << Name(f);
      EXPECT_EQ(expected, tag) << Name(f) << ", " << n << " bytes";
    }
    EXPECT_EQ(-205, Verify(Form::File, key, msg, Flipped(expected, 77), 128));
  }
}

// Tags of every size: the leading bits of the full tag, a partial last byte keeping only its top
// bits and the rest of the tag buffer untouched; verification compares tagSizeBits div 8 bytes.
TEST_F(CMACForms, EveryTagSize) {
  for (std::size_t n : {std::size_t{1}, std::size_t{40}, std::size_t{64}}) {
    const Bytes key = RandomBytes(16 + 8 * (n % 3), static_cast<std::uint32_t>(n));
    const Bytes msg = RandomBytes(n, static_cast<std::uint32_t>(n + 1)), full = OpenSSLCMAC(key, msg);
    for (int bits = 1; bits <= 128; ++bits) {
      const std::size_t bytes = static_cast<std::size_t>(bits + 7) / 8, whole = static_cast<std::size_t>(bits) / 8;
      Bytes expected(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(bytes));
      if (bits % 8) expected.back() &= static_cast<std::uint8_t>(0xFF << (8 - bits % 8));
      expected.resize(20, 0xEE);
      for (Form f : {Form::Buffer, Form::File}) {
        Bytes tag(20, 0xEE);
        ASSERT_EQ(0, Generate(f, key, msg, tag, bits)) << Name(f) << ", " << bits << " bits";
        EXPECT_EQ(expected, tag) << Name(f) << ", " << bits << " bits";
      }
      if (bits < 8) continue;
      for (Form f : {Form::Buffer, Form::String, Form::File}) {
        const auto where = [&] { return std::string(Name(f)) + ", " + std::to_string(bits) + " bits"; };
        EXPECT_EQ(0, Verify(f, key, msg, full, bits)) << where();
        EXPECT_EQ(-205, Verify(f, key, msg, Flipped(full, (static_cast<std::size_t>(bits) * 7) % (8 * whole)), bits))
            << where();
        // A bit beyond the compared bytes is not part of the check.
        if (whole < 16) {
          EXPECT_EQ(0, Verify(f, key, msg, Flipped(full, 8 * whole + bits % 8), bits)) << where();
        }
      }
    }
  }
}

}  // namespace
