#include "crypto/engine/kernel/AESKernel.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <iterator>
#include <string>

#include "Oracle.h"
#include "crypto/engine/AESCore.h"
#include "crypto/engine/core/AESModesChunks.h"
#include "crypto/support/error.h"

namespace {

using AESModes::kernel::TKernelId;
using AESModes::kernel::TExpandedKey;
using platform::TCharArray16;
using testing_support::Bytes;
using testing_support::RandomBytes;

enum class Op { EncECB, DecECB, EncCBC, DecCBC, OFB, CTR128, CTR32, MAC, CTR32LE };
const Op kOps[] = {Op::EncECB, Op::DecECB, Op::EncCBC, Op::DecCBC, Op::OFB, Op::CTR128, Op::CTR32, Op::MAC, Op::CTR32LE};

// Runs one bulk operation; the MAC writes only the chaining block, which is returned as out.
void RunOp(const TExpandedKey& k, Op op, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
         std::uint8_t v[16]) {
  switch (op) {
    case Op::EncECB: return k.EncryptECB(in, out, blocks);
    case Op::DecECB: return k.DecryptECB(in, out, blocks);
    case Op::EncCBC: return k.EncryptCBC(in, out, blocks, v);
    case Op::DecCBC: return k.DecryptCBC(in, out, blocks, v);
    case Op::OFB: return k.OFB(in, out, blocks, v);
    case Op::CTR128: return k.CTR128(in, out, blocks, v);
    case Op::CTR32: return k.CTR32(in, out, blocks, v);
    case Op::CTR32LE: return k.CTR32LE(in, out, blocks, v);
    case Op::MAC: return k.CBCMAC(in, blocks, v);
  }
}

// The same operation one block at a time on the block cipher and the engine's per-block steps.
void Reference(const Bytes& key, platform::Cardinal Nk, Op op, const Bytes& in, Bytes& out, TCharArray16& v) {
  AESCore::TAESCore core;
  platform::TCharArray60_4 w{};
  ASSERT_EQ(core.KeyExpansion(key, w, Nk), 0);
  using AESModes::detail::TDirection;
  for (std::size_t i = 0; i < in.size() / 16; ++i) {
    TCharArray16 a, b;
    std::memcpy(a.data(), in.data() + 16 * i, 16);
    switch (op) {
      case Op::EncECB: case Op::DecECB: case Op::EncCBC: case Op::DecCBC: case Op::OFB: case Op::CTR128: {
        static const int kMode[] = {0, 0, 1, 1, 2, 3};
        const auto dir = (op == Op::DecECB || op == Op::DecCBC) ? TDirection::Decrypt : TDirection::Encrypt;
        const auto mode = AESModes::detail::NamedMode(kMode[static_cast<int>(op)]);
        ASSERT_EQ(AESModes::detail::ModeStep(dir, core, w, Nk, a, b, v, mode), 0);
        break;
      }
      case Op::CTR32: {
        core.Cipher(v, b, w, Nk);
        for (int j = 0; j < 16; ++j) b[j] ^= a[j];
        for (int j = 15; j >= 12 && ++v[j] == 0; --j) {}
        break;
      }
      case Op::CTR32LE: {
        core.Cipher(v, b, w, Nk);
        for (int j = 0; j < 16; ++j) b[j] ^= a[j];
        for (int j = 0; j < 4 && ++v[j] == 0; ++j) {}
        break;
      }
      case Op::MAC:
        for (int j = 0; j < 16; ++j) v[j] ^= a[j];
        core.Cipher(v, v, w, Nk);
        b = v;
        break;
    }
    std::memcpy(out.data() + 16 * i, b.data(), 16);
  }
}

class KeyedKernel : public ::testing::TestWithParam<TKernelId> {};

TEST_P(KeyedKernel, RunsTheKernelItWasGiven) {
  TExpandedKey k(GetParam());
  EXPECT_EQ(k.Id(), GetParam());
}

TEST_P(KeyedKernel, ExpandRejectsBadWordCountsAndShortKeys) {
  TExpandedKey k(GetParam());
  const Bytes key = RandomBytes(32, 1);
  struct Case { std::size_t keyBytes; platform::Cardinal Nk; };
  for (const Case c : {Case{32, 0}, Case{32, 9}, Case{15, 4}, Case{31, 8}, Case{0, 1}})
    EXPECT_EQ(k.Expand({key.data(), c.keyBytes}, c.Nk), error::kBadKeySize) << c.keyBytes << " " << c.Nk;
  for (platform::Cardinal Nk = 1; Nk <= 8; ++Nk) {
    ASSERT_EQ(k.Expand({key.data(), 4 * Nk}, Nk), 0);
    EXPECT_EQ(k.Nk(), Nk);
    EXPECT_EQ(k.Rounds(), Nk + 6);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(k.EncRoundKeys()) % 16, 0u);
  }
}

// Each kernel's own key set-up gives the block cipher's schedule byte for byte, for every Nk and
// after a longer key was expanded before; the inverse schedule, asked for at once or added later,
// deciphers what the cipher enciphered.
TEST_P(KeyedKernel, ExpansionEqualsTheBlockCipherSchedule) {
  TExpandedKey k(GetParam());
  for (const platform::Cardinal first : {8u, 1u})
    for (platform::Cardinal Nk = 1; Nk <= 8; ++Nk) {
      const Bytes key = RandomBytes(4 * Nk, 100 + Nk), longer = RandomBytes(32, first);
      ASSERT_EQ(k.Expand({longer.data(), 4 * first}, first, true), 0);
      platform::TCharArray60_4 w{};
      ASSERT_EQ(AESCore::TAESCore().KeyExpansion(key, w, Nk), 0);
      const bool inverseAtOnce = Nk % 2 == 0;
      ASSERT_EQ(k.Expand(key, Nk, inverseAtOnce), 0);
      if (!inverseAtOnce) k.ExpandInverse();
      EXPECT_EQ(Bytes(k.EncRoundKeys(), k.EncRoundKeys() + 16 * (Nk + 7)), Bytes(w[0].data(), w[0].data() + 16 * (Nk + 7)))
          << "Nk " << Nk;
      const Bytes plain = RandomBytes(16 * 9, Nk);
      Bytes c(plain.size()), p(plain.size());
      k.EncryptECB(plain.data(), c.data(), 9);
      k.DecryptECB(c.data(), p.data(), 9);
      EXPECT_EQ(p, plain) << "Nk " << Nk;
    }
}

// Every operation, every key word count, block counts around every kernel's width (8 and 16
// blocks a step, with 1, 2 and 4 blocks a register), in place and at an odd address.
TEST_P(KeyedKernel, MatchesTheBlockCipherOneBlockAtATime) {
  const std::size_t kBlocks[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 300};
  for (platform::Cardinal Nk = 1; Nk <= 8; ++Nk) {
    const Bytes key = RandomBytes(4 * Nk, Nk);
    TExpandedKey k(GetParam());
    ASSERT_EQ(k.Expand(key, Nk, true), 0);
    for (const std::size_t blocks : kBlocks)
      for (const Op op : kOps) {
        const Bytes in = RandomBytes(16 * blocks, static_cast<std::uint32_t>(blocks * 31 + Nk));
        TCharArray16 iv;
        const Bytes ivBytes = RandomBytes(16, static_cast<std::uint32_t>(blocks));
        std::memcpy(iv.data(), ivBytes.data(), 16);
        Bytes want(in.size());
        TCharArray16 wantV = iv;
        Reference(key, Nk, op, in, want, wantV);

        Bytes shifted(in.size() + 1);  // separate, unaligned
        if (!in.empty()) std::memcpy(shifted.data() + 1, in.data(), in.size());
        Bytes got(in.size() + 3);
        TCharArray16 v = iv;
        RunOp(k, op, shifted.data() + 1, got.data() + 3, blocks, v.data());
        const std::string where = "Nk " + std::to_string(Nk) + " blocks " + std::to_string(blocks) + " op " +
                                  std::to_string(static_cast<int>(op));
        if (op != Op::MAC) {
          EXPECT_EQ(Bytes(got.begin() + 3, got.end()), want) << where;
        }
        EXPECT_EQ(v, wantV) << where;

        TCharArray16 v2 = iv;  // in place
        RunOp(k, op, shifted.data() + 1, shifted.data() + 1, blocks, v2.data());
        if (op != Op::MAC) {
          EXPECT_EQ(Bytes(shifted.begin() + 1, shifted.end()), want) << where << " in place";
        }
        EXPECT_EQ(v2, wantV) << where << " in place";
      }
  }
}

// ECB between whitenings (out = E(in ^ m) ^ m, and with D) and key wrap's serial steps, against
// the block cipher one block at a time; in place and between separate buffers.
TEST_P(KeyedKernel, WhitenedECBAndKeyWrapMatchTheBlockCipher) {
  for (platform::Cardinal Nk = 1; Nk <= 8; ++Nk) {
    const Bytes key = RandomBytes(4 * Nk, 40 + Nk);
    TExpandedKey k(GetParam());
    ASSERT_EQ(k.Expand(key, Nk, true), 0);
    AESCore::TAESCore core;
    platform::TCharArray60_4 w{};
    ASSERT_EQ(core.KeyExpansion(key, w, Nk), 0);
    for (const std::size_t blocks : {1, 3, 4, 7, 8, 31, 32, 33, 64, 300}) {
      const Bytes in = RandomBytes(16 * blocks, static_cast<std::uint32_t>(blocks)), masks = RandomBytes(16 * blocks, 9);
      for (const bool decrypt : {false, true}) {
        Bytes want(in.size());
        for (std::size_t i = 0; i < blocks; ++i) {
          TCharArray16 a, b;
          for (int j = 0; j < 16; ++j) a[j] = in[16 * i + j] ^ masks[16 * i + j];
          decrypt ? core.InvCipher(a, b, w, Nk) : core.Cipher(a, b, w, Nk);
          for (int j = 0; j < 16; ++j) want[16 * i + j] = b[j] ^ masks[16 * i + j];
        }
        Bytes got(in.size()), inPlace = in;
        decrypt ? k.DecryptWhitened(in.data(), got.data(), blocks, masks.data())
                : k.EncryptWhitened(in.data(), got.data(), blocks, masks.data());
        decrypt ? k.DecryptWhitened(inPlace.data(), inPlace.data(), blocks, masks.data())
                : k.EncryptWhitened(inPlace.data(), inPlace.data(), blocks, masks.data());
        EXPECT_EQ(got, want) << "Nk " << Nk << ", " << blocks << " blocks, decrypt " << decrypt;
        EXPECT_EQ(inPlace, want) << "Nk " << Nk << ", " << blocks << " blocks in place";
      }
    }
    // Key wrap: where the kernel has the steps, they equal W stepped through the block cipher.
    for (const std::size_t n : {2, 3, 5}) {
      Bytes buf = RandomBytes(8 + 8 * n, static_cast<std::uint32_t>(n)), want = buf;
      std::uint64_t t = 1;
      for (int j = 0; j < 6; ++j)
        for (std::size_t i = 1; i <= n; ++i, ++t) {
          TCharArray16 b;
          std::memcpy(b.data(), want.data(), 8);
          std::memcpy(b.data() + 8, want.data() + 8 * i, 8);
          core.Cipher(b, b, w, Nk);
          for (int x = 0; x < 8; ++x) b[7 - x] ^= static_cast<std::uint8_t>(t >> (8 * x));
          std::memcpy(want.data(), b.data(), 8);
          std::memcpy(want.data() + 8 * i, b.data() + 8, 8);
        }
      const Bytes original = buf;
      if (!k.Wrap(buf.data(), n)) continue;
      EXPECT_EQ(buf, want) << "Nk " << Nk << ", wrap of " << n;
      ASSERT_TRUE(k.Unwrap(buf.data(), n));
      EXPECT_EQ(buf, original) << "Nk " << Nk << ", unwrap of " << n;
    }
  }
}

// The XTS and OCB loops against the block cipher one block at a time: every key word count (AES's
// three and the run-time round loop of the others), block counts around each kernel's steps (8,
// 12, 16 and 32 blocks, one register, single blocks), in place and between separate buffers. OCB's L
// table is random, so an offset taken from the wrong level shows, and its runs start at block
// numbers inside a step and just below a number with many trailing zero bits, where the last
// block of a step needs a higher level than the step's own. x86 kernels must have the loops.
TEST_P(KeyedKernel, XTSAndOCBLoopsMatchTheBlockCipher) {
  const bool x86 = GetParam() == TKernelId::AESNI || GetParam() == TKernelId::VAES256 || GetParam() == TKernelId::VAES512;
  const auto timesX = [](TCharArray16& t) {
    const int carry = t[15] >> 7;
    for (int i = 15; i > 0; --i) t[i] = static_cast<std::uint8_t>(t[i] << 1 | t[i - 1] >> 7);
    t[0] = static_cast<std::uint8_t>(t[0] << 1 ^ (carry ? 0x87 : 0));
  };
  const Bytes levels = RandomBytes(16 * 64, 77);
  const std::uint64_t kFirsts[] = {0, 1, 5, 9, 24, 1000, (std::uint64_t{1} << 40) - 40};
  using TPass = TExpandedKey::TOCBPass;
  for (const platform::Cardinal Nk : {4u, 6u, 8u, 5u}) {
    const Bytes key = RandomBytes(4 * Nk, 60 + Nk);
    TExpandedKey k(GetParam());
    ASSERT_EQ(k.Expand(key, Nk, true), 0);
    AESCore::TAESCore core;
    platform::TCharArray60_4 w{};
    ASSERT_EQ(core.KeyExpansion(key, w, Nk), 0);
    const auto block = [&](bool decrypt, const std::uint8_t* in, const TCharArray16& mask, bool unmask) {
      TCharArray16 a, b;
      for (int j = 0; j < 16; ++j) a[j] = in[j] ^ mask[j];
      decrypt ? core.InvCipher(a, b, w, Nk) : core.Cipher(a, b, w, Nk);
      if (unmask)
        for (int j = 0; j < 16; ++j) b[j] ^= mask[j];
      return b;
    };
    std::size_t run = 0;
    for (const std::size_t blocks : {1, 2, 3, 4, 5, 7, 8, 9, 12, 13, 15, 16, 17, 24, 31, 32, 33, 40, 63, 64, 65, 300}) {
      const Bytes in = RandomBytes(16 * blocks, static_cast<std::uint32_t>(blocks + 7 * Nk));
      const Bytes start = RandomBytes(16, static_cast<std::uint32_t>(blocks + 1000));
      const std::string where = "Nk " + std::to_string(Nk) + ", " + std::to_string(blocks) + " blocks";
      for (const bool decrypt : {false, true}) {
        TCharArray16 t, want;
        std::memcpy(t.data(), start.data(), 16);
        Bytes expected(in.size());
        for (std::size_t j = 0; j < blocks; ++j, timesX(t)) {
          const TCharArray16 b = block(decrypt, in.data() + 16 * j, t, true);
          std::memcpy(expected.data() + 16 * j, b.data(), 16);
        }
        want = t;
        Bytes got(in.size()), inPlace = in;
        TCharArray16 t1, t2;
        std::memcpy(t1.data(), start.data(), 16);
        t2 = t1;
        const bool has = decrypt ? k.DecryptXTS(in.data(), got.data(), blocks, t1.data())
                                 : k.EncryptXTS(in.data(), got.data(), blocks, t1.data());
        EXPECT_EQ(has, x86);
        if (!has) continue;
        decrypt ? k.DecryptXTS(inPlace.data(), inPlace.data(), blocks, t2.data())
                : k.EncryptXTS(inPlace.data(), inPlace.data(), blocks, t2.data());
        EXPECT_EQ(got, expected) << where << " XTS, decrypt " << decrypt;
        EXPECT_EQ(inPlace, expected) << where << " XTS in place, decrypt " << decrypt;
        EXPECT_EQ(t1, want) << where << " XTS tweak after, decrypt " << decrypt;
        EXPECT_EQ(t2, want) << where << " XTS tweak after in place";
      }
      for (const TPass pass : {TPass::Encrypt, TPass::Decrypt, TPass::Hash}) {
        const std::uint64_t first = kFirsts[run++ % std::size(kFirsts)];
        TCharArray16 o, sum, wantO, wantSum{};
        std::memcpy(o.data(), start.data(), 16);
        std::memcpy(sum.data(), in.data(), 16);  // the sum is added to
        wantSum = sum;
        wantO = o;
        Bytes expected(in.size());
        for (std::size_t j = 0; j < blocks; ++j) {
          const int level = std::countr_zero(first + j + 1);
          for (int x = 0; x < 16; ++x) wantO[x] ^= levels[16 * level + x];
          const TCharArray16 b = block(pass == TPass::Decrypt, in.data() + 16 * j, wantO, pass != TPass::Hash);
          std::memcpy(expected.data() + 16 * j, b.data(), 16);
          const std::uint8_t* plain = pass == TPass::Decrypt ? b.data() : in.data() + 16 * j;
          for (int x = 0; x < 16; ++x) wantSum[x] ^= pass == TPass::Hash ? b[x] : plain[x];
        }
        const std::string what = where + " OCB pass " + std::to_string(static_cast<int>(pass)) + " from block " +
                                 std::to_string(first);
        Bytes got(in.size()), inPlace = in;
        TCharArray16 o2 = o, sum2 = sum;
        const bool has = k.OCB(pass, in.data(), pass == TPass::Hash ? nullptr : got.data(), blocks, levels.data(), first,
                               o.data(), sum.data());
        EXPECT_EQ(has, x86);
        if (!has) continue;
        k.OCB(pass, inPlace.data(), inPlace.data(), blocks, levels.data(), first, o2.data(), sum2.data());
        EXPECT_EQ(o, wantO) << what;
        EXPECT_EQ(sum, wantSum) << what;
        EXPECT_EQ(o2, wantO) << what << " in place";
        EXPECT_EQ(sum2, wantSum) << what << " in place";
        if (pass != TPass::Hash) {
          EXPECT_EQ(got, expected) << what;
          EXPECT_EQ(inPlace, expected) << what << " in place";
        } else {
          EXPECT_EQ(inPlace, in) << what << " writes nothing";
        }
      }
    }
  }
}

// Counters that carry out of the low 32 and 64 bits, and wrap the whole block, in the middle of
// a wide step; the 32-bit counters wrap without touching the other 12 bytes.
TEST_P(KeyedKernel, CountersCarryAcrossWordBoundaries) {
  const Bytes key = RandomBytes(16, 7);
  TExpandedKey k(GetParam());
  ASSERT_EQ(k.Expand(key, 4), 0);
  const char* kStarts[] = {"00000000000000000000000ffffffff5", "0102030405060708fffffffffffffff9",
                           "fffffffffffffffffffffffffffffff3", "000000000000000000000000fffffff0",
                           "f5ffffff0102030405060708090a0b8c", "fdffffffffffffffffffffffffffffff"};
  for (const char* start : kStarts)
    for (const Op op : {Op::CTR128, Op::CTR32, Op::CTR32LE}) {
      const Bytes in = RandomBytes(16 * 37, 3);
      const Bytes s = testing_support::FromHex(start);
      TCharArray16 iv, v, wantV;
      std::memcpy(iv.data(), s.data(), 16);
      v = wantV = iv;
      Bytes want(in.size()), got(in.size());
      Reference(key, 4, op, in, want, wantV);
      RunOp(k, op, in.data(), got.data(), 37, v.data());
      EXPECT_EQ(got, want) << start;
      EXPECT_EQ(v, wantV) << start;
    }
}

// The standard key sizes against OpenSSL's libcrypto, one bulk call per message.
TEST_P(KeyedKernel, MatchesOpenSSL) {
  for (const platform::Cardinal Nk : {4u, 6u, 8u})
    for (const std::size_t blocks : {1u, 7u, 9u, 31u, 33u, 257u}) {
      const Bytes key = RandomBytes(4 * Nk, Nk), in = RandomBytes(16 * blocks, static_cast<std::uint32_t>(blocks));
      const Bytes iv = RandomBytes(16, 5);
      TExpandedKey k(GetParam());
      ASSERT_EQ(k.Expand(key, Nk, true), 0);
      for (const Op op : {Op::EncECB, Op::DecECB, Op::EncCBC, Op::DecCBC, Op::OFB, Op::CTR128}) {
        static const int kMode[] = {0, 0, 1, 1, 2, 3};
        const int mode = kMode[static_cast<int>(op)];
        const bool encrypt = !(op == Op::DecECB || op == Op::DecCBC);
        const Bytes want = testing_support::OpenSSLCrypt(encrypt, mode, key, mode == 0 ? Bytes{} : iv, in, false);
        Bytes got(in.size()), v = iv;
        RunOp(k, op, in.data(), got.data(), blocks, v.data());
        EXPECT_EQ(got, want) << "Nk " << Nk << " blocks " << blocks << " op " << static_cast<int>(op);
      }
    }
}

// The dispatch never picks, and an object never runs, a kernel the processor cannot run; under an
// emulated processor without AES-NI everything is portable.
TEST(KernelChoice, OnlyKernelsTheProcessorRuns) {
  const auto cpu = AESModes::kernel::DetectCpu();
  EXPECT_TRUE(AESModes::kernel::Supports(cpu, AESModes::kernel::ChosenKernel()));
  for (const TKernelId id :
       {TKernelId::Portable, TKernelId::AESNI, TKernelId::VAES256, TKernelId::VAES512, TKernelId::ARMv8})
    EXPECT_TRUE(AESModes::kernel::Supports(cpu, TExpandedKey(id).Id()));
  if (!cpu.AES && !cpu.ArmAES) {
    EXPECT_EQ(AESModes::kernel::ChosenKernel(), TKernelId::Portable);
    EXPECT_EQ(AESModes::kernel::AvailableKernels(), std::vector<TKernelId>{TKernelId::Portable});
  }
}

// The ARM kernel needs both AES and PMULL in AT_HWCAP (bits 3 and 4); anything less, or a forced
// portable kernel, gives the portable one. Runs on any processor: the bits are fed, not read.
TEST(KernelChoice, ArmCapabilityBits) {
  using AESModes::kernel::ArmFeaturesFromHwcap;
  using AESModes::kernel::ChooseKernel;
  struct Case {
    std::uint64_t hwcap;
    const char* forced;
    TKernelId want;
  };
  const std::uint64_t fpAsimd = 0x3, aes = 1u << 3, pmull = 1u << 4, sha = 0x60;
  for (const Case c : {Case{fpAsimd | aes | pmull | sha, nullptr, TKernelId::ARMv8},
                       Case{fpAsimd | aes | pmull, "armv8", TKernelId::ARMv8},
                       Case{fpAsimd | aes | pmull, "", TKernelId::ARMv8},
                       Case{fpAsimd | aes | pmull, "ARMv8", TKernelId::Portable},
                       Case{fpAsimd | aes | pmull, "portable", TKernelId::Portable},
                       Case{fpAsimd | aes | pmull, "aesni", TKernelId::Portable},
                       Case{fpAsimd | aes | sha, nullptr, TKernelId::Portable},
                       Case{fpAsimd | pmull, nullptr, TKernelId::Portable},
                       Case{fpAsimd, "armv8", TKernelId::Portable}, Case{0, nullptr, TKernelId::Portable}})
    EXPECT_EQ(ChooseKernel(c.forced, ArmFeaturesFromHwcap(c.hwcap)), c.want)
        << std::hex << c.hwcap << " " << (c.forced ? c.forced : "-");
}

// On an x86 processor with every feature: no variable (or an empty one) gives the widest kernel, a
// name gives that kernel, and a value that names no kernel gives the portable one.
TEST(KernelChoice, UnknownNameSelectsPortable) {
  AESModes::kernel::TCpuFeatures all;
  for (bool* f : {&all.AES, &all.PCLMUL, &all.SSSE3, &all.SSE41, &all.AVX, &all.AVX2, &all.VAES, &all.VPCLMUL,
                  &all.AVX512F, &all.AVX512BW, &all.AVX512VL, &all.OSSavesYMM, &all.OSSavesZMM})
    *f = true;
  struct Case {
    const char* forced;
    TKernelId want;
  };
  for (const Case c : {Case{nullptr, TKernelId::VAES512}, Case{"", TKernelId::VAES512}, Case{"aesni", TKernelId::AESNI},
                       Case{"vaes256", TKernelId::VAES256}, Case{"vaes", TKernelId::Portable},
                       Case{"AESNI", TKernelId::Portable}, Case{"aesni ", TKernelId::Portable},
                       Case{"widest", TKernelId::Portable}})
    EXPECT_EQ(AESModes::kernel::ChooseKernel(c.forced, all), c.want) << (c.forced ? c.forced : "-");
}

std::string KernelLabel(const ::testing::TestParamInfo<TKernelId>& info) {
  return std::string(AESModes::kernel::KernelName(info.param));
}

INSTANTIATE_TEST_SUITE_P(EveryKernel, KeyedKernel, ::testing::ValuesIn(AESModes::kernel::AvailableKernels()),
                         KernelLabel);

}  // namespace
