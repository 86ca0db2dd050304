// The keyed API against the oracle and the library's own per-call forms: the block modes in
// one call and continued across calls, GCM through the incremental encryptor, CMAC with the
// known answers (the empty message included), every refused argument, the moved-from key, and
// one key shared by several threads. GCM sealing and opening also run through every case of
// the GCM forms' tests (tests/gcm/GCMForms.h).
#include <gtest/gtest.h>

#include <functional>
#include <latch>
#include <thread>

#include "GCMOracle.h"
#include "VectorFile.h"
#include "crypto/engine/AESKeyed.h"
#include "crypto/engine/AESModes.h"

namespace {

using AESKeyed::TAESKey;
using AESKeyed::TGCMDecryptor;
using AESKeyed::TGCMEncryptor;
using platform::Integer;
using platform::TCharArray16;
using testing_support::Bytes;
using testing_support::RandomBytes;

TAESKey MakeKey(const Bytes& bytes) {
  TAESKey key;
  EXPECT_EQ(key.SetKey(bytes), 0);
  return key;
}

TCharArray16 Block(const Bytes& b) {
  TCharArray16 a;
  std::copy_n(b.begin(), 16, a.begin());
  return a;
}

enum Mode { ECB, CBC, OFB, CTR };

// One call of the keyed API in mode, in place when inPlace.
Integer Crypt(const TAESKey& key, bool encrypt, Mode mode, const Bytes& in, Bytes& out, TCharArray16& iv, bool inPlace) {
  out = inPlace ? in : Bytes(in.size(), 0xEE);
  const std::span<const std::uint8_t> src = inPlace ? std::span<const std::uint8_t>(out) : std::span(in);
  switch (mode) {
    case ECB: return encrypt ? key.EncryptECB(src, out) : key.DecryptECB(src, out);
    case CBC: return encrypt ? key.EncryptCBC(src, out, iv) : key.DecryptCBC(src, out, iv);
    case OFB: return key.CryptOFB(src, out, iv);
    case CTR: return key.CryptCTR(src, out, iv);
  }
  return -1;
}

TEST(AESKeyed, BlockModesEqualOpenSSLBothWaysAndInPlace) {
  std::uint32_t seed = 1;
  for (const std::size_t keyBytes : {16, 24, 32})
    for (const Mode mode : {ECB, CBC, OFB, CTR})
      for (const std::size_t n : {0, 1, 15, 16, 17, 64, 127, 128, 129, 1000, 4096}) {
        if (mode <= CBC && n % 16 != 0) continue;
        SCOPED_TRACE(testing::Message() << keyBytes << " bytes, mode " << mode << ", " << n << " bytes");
        const Bytes keyBytesV = RandomBytes(keyBytes, seed++), ivBytes = RandomBytes(16, seed++);
        const Bytes plain = RandomBytes(n, seed++);
        const TAESKey key = MakeKey(keyBytesV);
        const Bytes expected = testing_support::OpenSSLCrypt(true, mode, keyBytesV, ivBytes, plain, false);
        for (const bool inPlace : {false, true}) {
          Bytes cipher, back;
          TCharArray16 iv = Block(ivBytes);
          ASSERT_EQ(Crypt(key, true, mode, plain, cipher, iv, inPlace), 0);
          EXPECT_EQ(cipher, expected);
          iv = Block(ivBytes);
          ASSERT_EQ(Crypt(key, false, mode, cipher, back, iv, inPlace), 0);
          EXPECT_EQ(back, plain);
        }
      }
}

// CBC, OFB and CTR leave the chaining block where the next call goes on from it; the CTR counter
// counts over all 128 bits.
TEST(AESKeyed, CallsOverWholeBlocksContinueTheChain) {
  const Bytes keyBytes = RandomBytes(32, 40), plain = RandomBytes(160, 41);
  const TAESKey key = MakeKey(keyBytes);
  for (const Bytes& ivBytes : {RandomBytes(16, 42), Bytes(16, 0xFF), Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF,
                                                                           0xFF, 0xFF, 0xFF, 0xFF, 0xFE}})
    for (const Mode mode : {CBC, OFB, CTR}) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << ", IV " << testing_support::ToHex(ivBytes));
      TCharArray16 iv = Block(ivBytes);
      Bytes first, second;
      ASSERT_EQ(Crypt(key, true, mode, Bytes(plain.begin(), plain.begin() + 48), first, iv, false), 0);
      ASSERT_EQ(Crypt(key, true, mode, Bytes(plain.begin() + 48, plain.end()), second, iv, false), 0);
      first.insert(first.end(), second.begin(), second.end());
      EXPECT_EQ(first, testing_support::OpenSSLCrypt(true, mode, keyBytes, ivBytes, plain, false));
    }
}

TEST(AESKeyed, BlockModesEqualTheBufferForms) {
  const Bytes keyBytes = RandomBytes(24, 50), ivBytes = RandomBytes(16, 51), plain = RandomBytes(256, 52);
  const TAESKey key = MakeKey(keyBytes);
  AESModes::TAESModes modes;
  for (const Mode mode : {ECB, CBC, OFB, CTR}) {
    Bytes ours, theirs(plain.size());
    TCharArray16 iv = Block(ivBytes);
    ASSERT_EQ(Crypt(key, true, mode, plain, ours, iv, false), 0);
    Integer size = 0;
    ASSERT_EQ(modes.EncryptBinaryBuffer(plain, theirs, size, keyBytes, 192, false, ivBytes, false, mode), 0);
    EXPECT_EQ(ours, theirs) << "mode " << mode;
  }
}

TEST(AESKeyed, RefusedArguments) {
  TAESKey key;
  EXPECT_EQ(key.SetKey(Bytes(15)), error::kBadKeySize);
  EXPECT_FALSE(key.HasKey());
  Bytes buf(64);
  TCharArray16 iv{};
  // A key that was never set refuses every operation.
  EXPECT_EQ(key.EncryptECB(buf, buf), error::kBadArgument);
  EXPECT_EQ(key.CryptCTR(buf, buf, iv), error::kBadArgument);
  EXPECT_EQ(key.GCM_Seal(iv, {}, buf, buf, std::span(buf).first(16)), error::kBadArgument);
  EXPECT_EQ(key.MAC_Generate(buf, std::span(buf).first(16)), error::kBadArgument);
  // A failed SetKey drops the key held before.
  ASSERT_EQ(key.SetKey(Bytes(16, 1)), 0);
  EXPECT_EQ(key.SetKey(Bytes(33)), error::kBadKeySize);
  EXPECT_EQ(key.EncryptECB(buf, buf), error::kBadArgument);
  ASSERT_EQ(key.SetKey(Bytes(32, 1)), 0);

  const std::span<std::uint8_t> all(buf);
  Bytes tag(17);
  const struct {
    const char* What;
    Integer Status;
  } cases[] = {
      {"out shorter", key.CryptCTR(all.first(33), all.subspan(33, 32), iv)},
      {"partial overlap", key.CryptCTR(all.first(32), all.subspan(1, 32), iv)},
      {"ECB encryption of 15 bytes", key.EncryptECB(all.first(15), all.subspan(32, 15))},
      {"CBC decryption of 17 bytes", key.DecryptCBC(all.first(17), all.subspan(32, 17), iv)},
      {"GCM empty IV", key.GCM_Seal({}, {}, all.first(16), all.subspan(16, 16), std::span(tag).first(16))},
      {"GCM tag of 17 bytes", key.GCM_Seal(iv, {}, all.first(16), all.subspan(16, 16), tag)},
      {"GCM tag of 3 bytes", key.GCM_Seal(iv, {}, all.first(16), all.subspan(16, 16), std::span(tag).first(3))},
      {"GCM partial overlap", key.GCM_Seal(iv, {}, all.first(16), all.subspan(8, 16), std::span(tag).first(16))},
      {"GCM open out shorter", key.GCM_Open(iv, {}, all.first(16), std::span(tag).first(16), all.subspan(16, 15))},
      {"CMAC tag of 3 bytes", key.MAC_Generate(buf, std::span(tag).first(3))},
      {"CMAC tag of 17 bytes", key.MAC_Verify(buf, tag)},
  };
  const Integer expected[] = {error::kBadArgument,      error::kBadArgument, error::kNoPaddingLength,
                              error::kBadCipherLength,  error::kBadArgument, error::kTagTooLong,
                              error::kBadArgument,      error::kBadArgument, error::kBadArgument,
                              error::kBadArgument,      error::kBadBlockLength};
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].Status, expected[i]) << cases[i].What;
}

TEST(AESKeyed, MovedKeyWorksAndMovedFromKeyRefuses) {
  const Bytes keyBytes = RandomBytes(16, 60), plain = RandomBytes(48, 61);
  TAESKey a = MakeKey(keyBytes);
  TAESKey b(std::move(a));
  Bytes out(48);
  EXPECT_FALSE(a.HasKey());
  EXPECT_EQ(a.EncryptECB(plain, out), error::kBadArgument);
  ASSERT_EQ(b.EncryptECB(plain, out), 0);
  EXPECT_EQ(out, testing_support::OpenSSLCrypt(true, ECB, keyBytes, {}, plain, false));
  // Assignment replaces the key held (and wipes it).
  TAESKey c = MakeKey(RandomBytes(32, 62));
  c = std::move(b);
  ASSERT_EQ(c.EncryptECB(plain, out), 0);
  EXPECT_EQ(out, testing_support::OpenSSLCrypt(true, ECB, keyBytes, {}, plain, false));
  EXPECT_EQ(b.MAC_Generate(plain, std::span(out).first(16)), error::kBadArgument);
}

TEST(AESKeyed, EncryptorRunsMessageAfterMessageAndRefusesOutOfOrder) {
  const Bytes keyBytes = RandomBytes(32, 70);
  const TAESKey key = MakeKey(keyBytes);
  TGCMEncryptor gcm(key);
  Bytes out(64), tag(16);
  EXPECT_EQ(gcm.Update(std::span(out).first(16), out), error::kBadArgument);
  EXPECT_EQ(gcm.Finish(tag), error::kBadArgument);
  EXPECT_EQ(gcm.Begin({}, {}), error::kBadArgument);
  for (std::uint32_t seed = 71; seed < 74; ++seed) {
    const Bytes iv = RandomBytes(12, seed), aad = RandomBytes(seed - 70, seed + 10), plain = RandomBytes(50, seed + 20);
    ASSERT_EQ(gcm.Begin(iv, aad), 0);
    // Pieces that end inside a block and start inside one, one of them empty.
    std::size_t at = 0;
    for (const std::size_t n : {5, 0, 20, 1, 24}) {
      ASSERT_EQ(gcm.Update(std::span(plain).subspan(at, n), std::span(out).subspan(at, n)), 0);
      at += n;
    }
    EXPECT_EQ(gcm.Finish(std::span(tag).first(3)), error::kBadArgument);
    ASSERT_EQ(gcm.Finish(tag), 0);
    const auto ref = testing_support::OpenSSLGCMEncrypt(keyBytes, iv, aad, plain);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 50), ref.Cipher);
    EXPECT_EQ(tag, ref.Tag);
    // Finished: the message is over until the next Begin.
    EXPECT_EQ(gcm.Update(std::span(plain).first(1), out), error::kBadArgument);
  }
}

TEST(AESKeyed, DecryptorInPiecesChecksTheTagOfWhatItDecrypted) {
  const Bytes keyBytes = RandomBytes(16, 75), iv = RandomBytes(12, 76), aad = RandomBytes(21, 77);
  const TAESKey key = MakeKey(keyBytes);
  TGCMDecryptor gcm(key);
  Bytes out(200);
  EXPECT_EQ(gcm.Update(std::span(out).first(16), out), error::kBadArgument);
  EXPECT_EQ(gcm.Verify(std::span(out).first(16)), error::kBadArgument);
  for (const std::size_t n : {0, 1, 16, 50, 200}) {
    const Bytes plain = RandomBytes(n, static_cast<std::uint32_t>(78 + n));
    const auto ref = testing_support::OpenSSLGCMEncrypt(keyBytes, iv, aad, plain);
    for (const bool damaged : {false, true}) {
      Bytes cipher = ref.Cipher, tag = ref.Tag;
      if (damaged) (n != 0 ? cipher[n / 2] : tag[0]) ^= 1;
      ASSERT_EQ(gcm.Begin(iv, aad), 0);
      for (std::size_t at = 0; at < n; at += 7) {
        const std::size_t len = std::min<std::size_t>(7, n - at);
        ASSERT_EQ(gcm.Update(std::span(cipher).subspan(at, len), std::span(out).subspan(at, len)), 0);
      }
      EXPECT_EQ(gcm.Verify(std::span(tag).first(3)), error::kBadArgument);
      EXPECT_EQ(gcm.Verify(tag), damaged ? error::kTagMismatch : 0) << n;
      if (!damaged) {
        EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n)), plain) << n;
      }
      EXPECT_EQ(gcm.Verify(tag), error::kBadArgument);  // the message is over
    }
  }
}

TEST(AESKeyed, CMACKnownAnswersAndTheBufferForm) {
  const auto vectors = testing_support::ReadVectorFile("cmac.vec");
  ASSERT_EQ(vectors.size(), 12u);
  for (const auto& v : vectors) {
    const TAESKey key = MakeKey(v.at("Key"));
    const Bytes& msg = v.at("Msg");
    SCOPED_TRACE(testing_support::ToHex(v.at("Key")) + " / " + std::to_string(msg.size()));
    Bytes tag(16);
    ASSERT_EQ(key.MAC_Generate(msg, tag), 0);
    EXPECT_EQ(tag, v.at("Tag"));
    EXPECT_EQ(key.MAC_Verify(msg, tag), 0);
    EXPECT_EQ(key.MAC_Verify(msg, std::span(tag).first(8)), 0);
    for (const std::size_t at : {0, 7, 15}) {
      Bytes bad = tag;
      bad[at] ^= 0x80;
      EXPECT_EQ(key.MAC_Verify(msg, bad), error::kMacMismatch) << at;
    }
  }
  // Lengths around the block against the per-call form, with short tags.
  AESModes::TAESModes modes;
  const Bytes keyBytes = RandomBytes(32, 80);
  const TAESKey key = MakeKey(keyBytes);
  for (const std::size_t n : {1, 15, 16, 17, 31, 32, 33, 1000}) {
    const Bytes msg = RandomBytes(n, static_cast<std::uint32_t>(81 + n));
    Bytes ours(10), theirs(10);
    ASSERT_EQ(key.MAC_Generate(msg, ours), 0);
    ASSERT_EQ(modes.MAC_GenerationBinaryBuffer(msg, keyBytes, 256, theirs, 80), 0);
    EXPECT_EQ(ours, theirs) << n;
  }
}

// CMAC in pieces: every split of messages around the block size gives the one-shot tag, a copy
// taken midway finishes the same message on its own, a finished message starts afresh, and a
// key object that lost its key (a failed SetKey) is noticed.
TEST(AESKeyed, CMACInPiecesEqualsOneShot) {
  const TAESKey key = MakeKey(RandomBytes(24, 95));
  for (const std::size_t n : {0, 1, 15, 16, 17, 32, 33, 100}) {
    const Bytes msg = RandomBytes(n, static_cast<std::uint32_t>(96 + n));
    Bytes whole(16);
    ASSERT_EQ(key.MAC_Generate(msg, whole), 0);
    for (const std::size_t cut : {std::size_t{0}, n / 3, n / 2, n}) {
      SCOPED_TRACE(testing::Message() << n << " bytes cut at " << cut);
      AESKeyed::TMACGenerator mac(key);
      ASSERT_EQ(mac.Update(std::span(msg).first(cut)), 0);
      AESKeyed::TMACGenerator copy(mac);
      ASSERT_EQ(mac.Update(std::span(msg).subspan(cut)), 0);
      Bytes tag(16);
      ASSERT_EQ(mac.Finish(tag), 0);
      EXPECT_EQ(tag, whole);
      ASSERT_EQ(copy.Update(std::span(msg).subspan(cut)), 0);
      EXPECT_EQ(copy.Verify(std::span(whole).first(8)), 0);
      // Both messages ended: the same pieces again give the same tag, a wrong one is refused.
      ASSERT_EQ(mac.Update(msg), 0);
      Bytes bad = whole;
      bad[15] ^= 1;
      EXPECT_EQ(mac.Verify(bad), error::kMacMismatch);
    }
  }
  Bytes tag(17);
  AESKeyed::TMACGenerator mac(key);
  EXPECT_EQ(mac.Finish(std::span(tag).first(3)), error::kBadArgument);
  EXPECT_EQ(mac.Finish(tag), error::kBadBlockLength);
  TAESKey none;
  AESKeyed::TMACGenerator orphan(none);
  EXPECT_EQ(orphan.Update(tag), error::kBadArgument);
  EXPECT_EQ(orphan.Finish(std::span(tag).first(16)), error::kBadArgument);
  TAESKey losing = MakeKey(RandomBytes(16, 97));
  AESKeyed::TMACGenerator stale(losing);
  ASSERT_EQ(losing.SetKey(RandomBytes(15, 98)), error::kBadKeySize);
  EXPECT_EQ(stale.Update(tag), error::kBadArgument);
}

// The const operations of one key from several threads at once give what one thread gives.
TEST(AESKeyed, OneKeyManyThreads) {
  const Bytes keyBytes = RandomBytes(16, 90);
  const TAESKey key = MakeKey(keyBytes);
  constexpr int kThreads = 4;
  std::vector<int> wrong(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (std::uint32_t i = 0; i < 50; ++i) {
        const std::uint32_t seed = 1000 * static_cast<std::uint32_t>(t) + i;
        const Bytes iv = RandomBytes(12, seed), plain = RandomBytes(100 + i, seed + 1);
        const auto ref = testing_support::OpenSSLGCMEncrypt(keyBytes, iv, {}, plain);
        Bytes cipher(plain.size()), tag(16);
        if (key.GCM_Seal(iv, {}, plain, cipher, tag) != 0 || cipher != ref.Cipher || tag != ref.Tag) ++wrong[t];
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong, std::vector<int>(kThreads, 0));
}

// What a mode derives from the key (the inverse schedule, GCM's hash key, the CMAC subkeys, OCB's
// table) is made by its first call. Each step below is one such first call; its output goes into
// the step's own slot.
using TStep = std::function<Bytes(const TAESKey&)>;
std::vector<TStep> FirstCalls() {
  const Bytes data = RandomBytes(100, 71), iv12 = RandomBytes(12, 72), aad = RandomBytes(20, 73);
  const TCharArray16 iv16 = Block(RandomBytes(16, 74));
  const auto sealed = [](Integer st, Bytes out, const Bytes& tag) {
    out.insert(out.end(), tag.begin(), tag.end());
    out.push_back(static_cast<std::uint8_t>(-st));
    return out;
  };
  return {
      [=](const TAESKey& k) {
        Bytes out(96);
        return sealed(k.DecryptECB(std::span(data).first(96), out), out, {});
      },
      [=](const TAESKey& k) {
        Bytes out(64);
        TCharArray16 iv = iv16;
        return sealed(k.DecryptCBC(std::span(data).first(64), out, iv), out, {});
      },
      [=](const TAESKey& k) {
        Bytes out(data.size()), tag(16);
        return sealed(k.GCM_Seal(iv12, aad, data, out, tag), out, tag);
      },
      [=](const TAESKey& k) {
        Bytes tag(16);
        return sealed(k.MAC_Generate(data, tag), {}, tag);
      },
      [=](const TAESKey& k) {
        Bytes out(data.size()), tag(16), back(data.size());
        const Integer st = k.OCB_Seal(iv12, aad, data, out, tag);
        return sealed(st | k.OCB_Open(iv12, aad, out, tag, back), out, tag);
      },
      [=](const TAESKey& k) {
        Bytes out(data.size()), tag(16);
        return sealed(k.EAX_Seal(iv12, aad, data, out, tag), out, tag);
      },
      [=](const TAESKey& k) {
        Bytes wrapped(40), back(32);
        const Integer st = k.WrapKey(std::span(data).first(32), wrapped);
        return sealed(st | k.UnwrapKey(wrapped, back), back, wrapped);
      },
  };
}

std::vector<Bytes> RunAll(const TAESKey& key, const std::vector<TStep>& steps) {
  std::vector<Bytes> out;
  for (const TStep& step : steps) out.push_back(step(key));
  return out;
}

// A key object set again gives what a fresh object gives under the new key, whatever the old key
// had made (every part, none, or a failed SetKey between) and whatever its size.
TEST(AESKeyed, KeySetAgainDerivesFromTheNewKey) {
  const std::vector<TStep> steps = FirstCalls();
  for (const std::size_t oldBytes : {16, 32})
    for (const std::size_t newBytes : {16, 24, 32})
      for (const bool oldUsed : {false, true}) {
        SCOPED_TRACE(testing::Message() << oldBytes << " then " << newBytes << " key bytes, old key used " << oldUsed);
        const Bytes newKey = RandomBytes(newBytes, 80 + static_cast<std::uint32_t>(newBytes));
        const std::vector<Bytes> want = RunAll(MakeKey(newKey), steps);
        TAESKey key = MakeKey(RandomBytes(oldBytes, 79));
        if (oldUsed) {
          EXPECT_NE(RunAll(key, steps), want);
        }
        ASSERT_EQ(key.SetKey(newKey), 0);
        EXPECT_EQ(RunAll(key, steps), want);
        ASSERT_EQ(key.SetKey(Bytes(7)), error::kBadKeySize);
        EXPECT_FALSE(key.HasKey());
        ASSERT_EQ(key.SetKey(newKey), 0);
        EXPECT_EQ(RunAll(key, steps), want);
      }
}

// Threads that start on a fresh key at once race to each mode's first call (each thread takes the
// modes in another order, so different parts are being made at the same moment) and all get what
// one thread gets.
TEST(AESKeyed, FirstCallsRaceOnAFreshKey) {
  const std::vector<TStep> steps = FirstCalls();
  const Bytes keyBytes = RandomBytes(16, 91);
  const std::vector<Bytes> want = RunAll(MakeKey(keyBytes), steps);
  constexpr std::size_t kThreads = 4;
  for (int round = 0; round < 20; ++round) {
    const TAESKey key = MakeKey(keyBytes);
    std::latch start(kThreads);
    std::vector<std::vector<Bytes>> got(kThreads, std::vector<Bytes>(steps.size()));
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < kThreads; ++t)
      threads.emplace_back([&, t] {
        start.arrive_and_wait();
        for (std::size_t i = 0; i < steps.size(); ++i) {
          const std::size_t j = (i + 2 * t) % steps.size();
          got[t][j] = steps[j](key);
        }
      });
    for (auto& th : threads) th.join();
    for (std::size_t t = 0; t < kThreads; ++t) EXPECT_EQ(got[t], want) << "round " << round << ", thread " << t;
  }
}

}  // namespace

