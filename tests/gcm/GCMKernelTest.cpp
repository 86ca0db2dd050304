// The GHASH kernels and the shared GCM computation on every kernel this processor has: GHASH
// byte-identical to the bitwise MultGCM chain, and cipher text and tag equal to OpenSSL's for
// lengths around the group sizes and with the data fed in pieces.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "GCMTestSupport.h"
#include "crypto/engine/kernel/AESKernel.h"
#include "crypto/engine/kernel/KernelDispatch.h"
#include "KernelGHash.h"
#include "crypto/engine/core/AESModesGCMCore.h"

namespace {

using namespace AESModes::kernel;
using AESModes::TAESModes;
using gcm_test::Bytes;
using platform::TCharArray16;
using testing_support::RandomBytes;

class GCMKernel : public testing::TestWithParam<TKernelId> {};

TEST_P(GCMKernel, GHashEqualsTheBitwiseChain) {
  for (const std::size_t n : {0, 1, 2, 7, 8, 9, 15, 16, 17, 31, 32, 33, 64, 100}) {
    const Bytes h = RandomBytes(16, static_cast<std::uint32_t>(n)), data = RandomBytes(16 * n, 1000 + n);
    TCharArray16 H, expected;
    std::copy_n(h.begin(), 16, H.begin());
    std::copy_n(RandomBytes(16, 77).begin(), 16, expected.begin());
    TCharArray16 got = expected;
    for (std::size_t i = 0; i < n; ++i) {
      TCharArray16 c;
      std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(16 * i), 16, c.begin());
      TAESModes::PartCGHASH(H, c, expected);
    }
    testing_support::TKernelGHash g(GetParam());
    g.SetKey(H.data());
    g.Absorb(got.data(), data.data(), n);
    EXPECT_EQ(got, expected) << n << " blocks";
  }
}

TEST_P(GCMKernel, ComputationEqualsOpenSSLInPieces) {
  // Lengths around the 8- and 16-block groups and the partial last block; 13- and 1-byte IVs
  // take the hashed J0; every piece but the last is whole blocks, as the forms feed them.
  const std::size_t lengths[] = {0, 1, 15, 16, 17, 127, 128, 129, 255, 256, 257, 1000, 4099};
  for (const std::size_t keyBytes : {16, 24, 32})
    for (const std::size_t ivBytes : {12, 1, 13, 60})
      for (const std::size_t n : lengths) {
        const auto seed = static_cast<std::uint32_t>(keyBytes * 100000 + ivBytes * 10000 + n);
        const Bytes key = RandomBytes(keyBytes, seed), iv = RandomBytes(ivBytes, seed + 1);
        const Bytes aad = RandomBytes(n % 37, seed + 2), plain = RandomBytes(n, seed + 3);
        const auto ref = testing_support::OpenSSLGCMEncrypt(key, iv, aad, plain);
        for (const bool encrypt : {true, false}) {
          AESModes::detail::TScrubbedGCM gcm(GetParam());
          ASSERT_EQ(gcm.Init(key, static_cast<platform::Cardinal>(keyBytes / 4)), 0);
          AESModes::detail::TGCMMessage s;
          gcm.SetIV(s, iv);
          gcm.AddAAD(s, aad.data(), aad.size());
          const Bytes& in = encrypt ? plain : ref.Cipher;
          Bytes out(n);
          const std::size_t piece = 16 * (1 + n / 48);  // three or four pieces
          for (std::size_t at = 0; at < n; at += piece) {
            const std::size_t len = std::min(piece, n - at);
            if (encrypt)
              gcm.Encrypt(s, in.data() + at, out.data() + at, len);
            else
              gcm.Decrypt(s, in.data() + at, out.data() + at, len);
          }
          TCharArray16 T;
          gcm.Finish(s, T);
          EXPECT_EQ(out, encrypt ? ref.Cipher : plain) << keyBytes << "/" << ivBytes << "/" << n;
          EXPECT_EQ(Bytes(T.begin(), T.end()), ref.Tag) << keyBytes << "/" << ivBytes << "/" << n;
        }
      }
}

// The hash key's powers are made as messages need them: one key sealing a short message, then
// longer ones (more powers), then short ones again, from four threads at once, gives OpenSSL's
// tags throughout, whichever thread made the powers.
TEST_P(GCMKernel, OneKeyMakesItsPowersAsMessagesGrowOnSeveralThreads) {
  const std::size_t lengths[] = {16, 1, 64, 17, 130, 256, 300, 4099, 48, 0, 1000};
  const Bytes key = RandomBytes(32, 5), iv = RandomBytes(12, 6), aad = RandomBytes(20, 7);
  std::vector<testing_support::GCMResult> refs;
  for (const std::size_t n : lengths) refs.push_back(testing_support::OpenSSLGCMEncrypt(key, iv, aad, RandomBytes(n, 8)));
  AESModes::detail::TScrubbedGCM gcm(GetParam());
  ASSERT_EQ(gcm.Init(key, 8), 0);
  std::vector<int> wrong(4, 0);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < wrong.size(); ++t)
    threads.emplace_back([&, t] {
      for (std::size_t i = 0; i < std::size(lengths); ++i) {
        const std::size_t k = (i + t) % std::size(lengths);  // each thread starts elsewhere
        const Bytes plain = RandomBytes(lengths[k], 8);
        AESModes::detail::TGCMMessage s;
        gcm.SetIV(s, iv);
        gcm.AddAAD(s, aad.data(), aad.size());
        Bytes out(plain.size());
        gcm.Encrypt(s, plain.data(), out.data(), plain.size());
        TCharArray16 T;
        gcm.Finish(s, T);
        if (out != refs[k].Cipher || Bytes(T.begin(), T.end()) != refs[k].Tag) ++wrong[t];
      }
    });
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(wrong, std::vector<int>(wrong.size(), 0));
}

// A key's powers made in two steps, from any count to any larger one (a step may start or end
// inside a register's group of powers), equal the powers the kernel makes all at once; the
// narrow ones equal GHashSetKey's, which the GHASH test above checks against the bitwise chain.
TEST_P(GCMKernel, PowersMadeInStepsEqualThoseMadeAtOnce) {
  const TKernelOps& ops = *ResolveKernel(GetParam()).Ops;
  if (ops.GHashExtendKey == nullptr) GTEST_SKIP() << "the kernel keeps H alone";
  const Bytes h = RandomBytes(16, 21);
  TGHashKey whole, set;
  ops.GHashExtendKey(whole, h.data(), 0, kGHashPowers);
  ops.GHashSetKey(set, h.data());
  for (unsigned p = 1; p <= kGHashNarrowPowers; ++p)
    ASSERT_EQ(Bytes(set.Pow[kGHashPowers - p], set.Pow[kGHashPowers - p] + 16),
              Bytes(whole.Pow[kGHashPowers - p], whole.Pow[kGHashPowers - p] + 16)) << "H^" << p;
  for (unsigned made = 0; made < kGHashPowers; ++made)
    for (unsigned wanted = made + 1; wanted <= kGHashPowers; ++wanted) {
      TGHashKey steps;
      if (made > 0) ops.GHashExtendKey(steps, h.data(), 0, made);
      // What the first step may have made beyond H^made is spoilt: the second makes it again.
      for (unsigned p = made + 1; p <= kGHashPowers; ++p) std::fill_n(steps.Pow[kGHashPowers - p], 16, 0xEE);
      ops.GHashExtendKey(steps, h.data(), made, wanted);
      for (unsigned p = 1; p <= wanted; ++p)
        ASSERT_EQ(Bytes(steps.Pow[kGHashPowers - p], steps.Pow[kGHashPowers - p] + 16),
                  Bytes(whole.Pow[kGHashPowers - p], whole.Pow[kGHashPowers - p] + 16))
            << "H^" << p << " after " << made << " then " << wanted;
    }
}

TEST_P(GCMKernel, ComputationTakesPiecesOfAnySize) {
  // Pieces that end inside a block (additional data and data alike) continue where the last one
  // stopped: encryption, decryption and the hash-only pass all equal OpenSSL's one-shot result.
  const Bytes key = RandomBytes(16, 5), iv = RandomBytes(12, 6);
  for (const std::size_t n : {0, 1, 15, 17, 100, 300}) {
    const Bytes aad = RandomBytes(n / 3 + 5, 7 + static_cast<std::uint32_t>(n)), plain = RandomBytes(n, 8);
    const auto ref = testing_support::OpenSSLGCMEncrypt(key, iv, aad, plain);
    for (const std::size_t step : {1, 5, 16, 23}) {
      AESModes::detail::TScrubbedGCM gcm(GetParam());
      ASSERT_EQ(gcm.Init(key, 4), 0);
      AESModes::detail::TGCMMessage enc, dec, hashed;
      for (auto* s : {&enc, &dec, &hashed}) {
        gcm.SetIV(*s, iv);
        for (std::size_t at = 0; at < aad.size(); at += step)
          gcm.AddAAD(*s, aad.data() + at, std::min(step, aad.size() - at));
      }
      Bytes cipher(n), back(n);
      for (std::size_t at = 0; at < n; at += step) {
        const std::size_t len = std::min(step, n - at);
        gcm.Encrypt(enc, plain.data() + at, cipher.data() + at, len);
        gcm.Decrypt(dec, ref.Cipher.data() + at, back.data() + at, len);
        gcm.HashCipher(hashed, ref.Cipher.data() + at, len);
      }
      TCharArray16 T1, T2, T3;
      gcm.Finish(enc, T1);
      gcm.Finish(dec, T2);
      gcm.Finish(hashed, T3);
      EXPECT_EQ(cipher, ref.Cipher) << n << "/" << step;
      EXPECT_EQ(back, plain) << n << "/" << step;
      for (const TCharArray16* T : {&T1, &T2, &T3}) EXPECT_EQ(Bytes(T->begin(), T->end()), ref.Tag) << n << "/" << step;
    }
  }
}

TEST_P(GCMKernel, StitchedCounterWrapsModulo2To32) {
  // A counter 6 below 2^32 over 40 blocks (groups of 8 and 16 and a tail): it wraps to zero
  // without carrying into byte 11, as inc32 does block by block, and the hash is that of the
  // cipher blocks.
  TExpandedKey aes(GetParam());
  ASSERT_EQ(aes.Expand(RandomBytes(16, 9), 4), 0);
  testing_support::TKernelGHash g(GetParam()), reference(TKernelId::Portable);
  const Bytes h = RandomBytes(16, 11);
  g.SetKey(h.data());
  reference.SetKey(h.data());
  std::uint8_t ctr[16], ref[16], X[16] = {}, expectedX[16] = {};
  for (int i = 0; i < 16; ++i) ctr[i] = ref[i] = static_cast<std::uint8_t>(i == 11 ? 0x7f : i >= 12 ? 0xff : i);
  ctr[15] = ref[15] = 0xfa;
  const Bytes in = RandomBytes(16 * 40, 10);
  Bytes out(in.size()), expected(in.size());
  if (!g.StitchedCrypt(true, aes, X, ctr, in.data(), out.data(), 40)) GTEST_SKIP() << "no stitched loop";
  for (std::size_t b = 0; b < 40; ++b) {
    std::uint8_t k[16];
    aes.EncryptBlock(ref, k);
    for (int i = 0; i < 16; ++i) expected[16 * b + i] = in[16 * b + i] ^ k[i];
    for (int i = 15; i >= 12 && ++ref[i] == 0; --i) {
    }
  }
  reference.Absorb(expectedX, expected.data(), 40);
  EXPECT_EQ(out, expected);
  EXPECT_EQ(Bytes(ctr, ctr + 16), Bytes(ref, ref + 16));
  EXPECT_EQ(ctr[11], 0x7f);
  EXPECT_EQ(Bytes(X, X + 16), Bytes(expectedX, expectedX + 16));
}

TEST_P(GCMKernel, StitchedLoopEqualsCounterModeThenGHashForEveryTail) {
  // Block counts on both sides of where the loop changes group size (128 blocks), every
  // remainder of a 32-block group above it, and longer runs; the counter starts 100 below 2^32 so
  // that it wraps inside the groups. Encryption and decryption, apart and in place, against
  // counter mode block by block and the portable GHASH.
  std::vector<std::size_t> counts = {1, 31, 33, 127, 255, 256, 257, 511, 512, 513, 1023, 1024, 1057};
  for (std::size_t n = 128; n <= 160; ++n) counts.push_back(n);
  TExpandedKey aes(GetParam());
  testing_support::TKernelGHash g(GetParam()), reference(TKernelId::Portable);
  const Bytes h = RandomBytes(16, 21), x0 = RandomBytes(16, 22);
  g.SetKey(h.data());
  reference.SetKey(h.data());
  for (const std::size_t keyBytes : {16, 32}) {
    ASSERT_EQ(aes.Expand(RandomBytes(keyBytes, 23), static_cast<platform::Cardinal>(keyBytes / 4)), 0);
    for (const std::size_t n : counts) {
      const Bytes in = RandomBytes(16 * n, static_cast<std::uint32_t>(n));
      std::uint8_t start[16];
      for (int i = 0; i < 16; ++i) start[i] = static_cast<std::uint8_t>(i == 15 ? 0x9c : i >= 12 ? 0xff : 3 * i);
      Bytes keystream(16 * n);
      std::uint8_t c[16];
      std::copy_n(start, 16, c);
      for (std::size_t b = 0; b < n; ++b) {
        aes.EncryptBlock(c, keystream.data() + 16 * b);
        for (int i = 15; i >= 12 && ++c[i] == 0; --i) {
        }
      }
      Bytes expected(16 * n);
      for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = in[i] ^ keystream[i];
      for (const bool encrypt : {true, false})
        for (const bool inPlace : {false, true}) {
          std::uint8_t X[16], expectedX[16], ctr[16];
          std::copy_n(x0.begin(), 16, X);
          std::copy_n(x0.begin(), 16, expectedX);
          std::copy_n(start, 16, ctr);
          reference.Absorb(expectedX, encrypt ? expected.data() : in.data(), n);
          Bytes buf = in, out(16 * n);
          std::uint8_t* dst = inPlace ? buf.data() : out.data();
          if (!g.StitchedCrypt(encrypt, aes, X, ctr, buf.data(), dst, n)) GTEST_SKIP() << "no stitched loop";
          const auto where = ::testing::Message() << keyBytes << "-byte key, " << n << " blocks, "
                                                  << (encrypt ? "encrypt" : "decrypt") << (inPlace ? ", in place" : "");
          EXPECT_EQ(Bytes(dst, dst + 16 * n), expected) << where;
          EXPECT_EQ(Bytes(X, X + 16), Bytes(expectedX, expectedX + 16)) << where;
          EXPECT_EQ(Bytes(ctr, ctr + 16), Bytes(c, c + 16)) << where;
        }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, GCMKernel, testing::ValuesIn(AvailableKernels()),
                         [](const auto& info) { return std::string(KernelName(info.param)); });

}  // namespace
