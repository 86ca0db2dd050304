// After every family of operations, on the kernel ORVOAES_KERNEL picks (the suite runs once per
// kernel), no key-derived value is left in the stack below the caller, in a heap block the
// operation released or in any vector register the processor has: not the key, not one of its
// round keys (the cipher's, or the equivalent inverse cipher's InvMixColumns form, in either byte
// order within a word), not GCM's hash key H (in either byte order). The keyed API's calls are
// also run on a worker thread, whose stack must be clean when the call returns, whatever thread
// destroys the key later.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ReleasedMemory.h"
#include "crypto/component/AESObj.h"
#include "crypto/engine/AESChunked.h"
#include "crypto/engine/AESCore.h"
#include "crypto/engine/AESKeyed.h"
#include "crypto/engine/AESModes.h"
#include "crypto/hash/HMAC.h"
#include "crypto/hash/HashFunctions.h"
#include "crypto/hash/KDF.h"
#include "platform/Memory.h"
#include "platform/Streams.h"

namespace {

using platform::Integer;
using platform::string;
using platform::TBytes;
using secrets_test::TPattern;

// More than the library's deepest use of the stack, so anything it leaves is inside the probe.
constexpr std::size_t kProbeBytes = 4 * platform::kStackScrubBytes;

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
// Paints the stack below the caller, so what the test itself computed there (round keys, H) is
// gone before the operation runs. The probes are not instrumented by AddressSanitizer, whose
// redzones would put their arrays lower than the frames of the functions the caller calls.
[[gnu::noinline, gnu::no_sanitize_address]] void PaintStackBelow() {
  std::uint8_t area[kProbeBytes];
  std::memset(area, 0x5A, sizeof area);
  __asm__ __volatile__("" : : "r"(area) : "memory");
}

// Copies the stack below the caller, as the operation left it, into to.
[[gnu::noinline, gnu::no_sanitize_address]] void CopyStackBelow(std::uint8_t* to) {
  std::uint8_t area[kProbeBytes];
  __asm__ __volatile__("" : : "r"(area) : "memory");
  std::memcpy(to, area, sizeof area);
}
#pragma GCC diagnostic pop

std::uint8_t Times2(std::uint8_t x) { return static_cast<std::uint8_t>(x << 1 ^ (x & 0x80 ? 0x1B : 0)); }

std::uint8_t Mul(std::uint8_t x, int k) {
  std::uint8_t r = 0;
  for (; k != 0; k >>= 1, x = Times2(x))
    if (k & 1) r ^= x;
  return r;
}

std::array<std::uint8_t, 16> InvMixColumns(const std::uint8_t* b) {
  std::array<std::uint8_t, 16> r{};
  for (int c = 0; c < 4; ++c) {
    const std::uint8_t* a = b + 4 * c;
    for (int i = 0; i < 4; ++i)
      r[4 * c + i] = Mul(a[i], 14) ^ Mul(a[(i + 1) % 4], 11) ^ Mul(a[(i + 2) % 4], 13) ^ Mul(a[(i + 3) % 4], 9);
  }
  return r;
}

std::vector<std::uint8_t> WordsSwapped(std::vector<std::uint8_t> b) {
  for (std::size_t i = 0; i + 4 <= b.size(); i += 4) std::reverse(b.begin() + i, b.begin() + i + 4);
  return b;
}

// What no operation may leave behind for key: every round key of both schedules and H, each in
// two byte orders.
std::vector<TPattern> KeyDerived(const TBytes& key) {
  AESCore::TAESCore core;
  platform::TCharArray60_4 w{};
  const auto Nk = static_cast<platform::Cardinal>(key.size() / 4);
  EXPECT_EQ(core.KeyExpansion(key, w, Nk), 0);
  const std::uint8_t* rk = w[0].data();
  std::vector<TPattern> patterns;
  const auto add = [&](const std::string& name, std::vector<std::uint8_t> bytes) {
    patterns.push_back({name + " (words swapped)", WordsSwapped(bytes)});
    patterns.push_back({name, std::move(bytes)});
  };
  const unsigned rounds = Nk + 6;
  for (unsigned r = 0; r <= rounds; ++r) {
    add("round key " + std::to_string(r), {rk + 16 * r, rk + 16 * r + 16});
    if (r > 0 && r < rounds) {
      const auto inv = InvMixColumns(rk + 16 * r);
      add("inverse round key " + std::to_string(r), {inv.begin(), inv.end()});
    }
  }
  platform::TCharArray16 zero{}, H{};
  EXPECT_EQ(core.Cipher(zero, H, w, Nk), 0);
  patterns.push_back({"H", {H.begin(), H.end()}});
  patterns.push_back({"H reversed", {H.rbegin(), H.rend()}});
  return patterns;
}

// The names of the patterns in memory; with depths, each with how far below the caller's frame it
// lies (memory being a copy of the stack below it, lowest address first).
std::vector<std::string> Found(const std::vector<std::uint8_t>& memory, const std::vector<TPattern>& patterns,
                               bool depths = false) {
  std::vector<std::string> found;
  for (const TPattern& p : patterns) {
    const auto at = std::search(memory.begin(), memory.end(), p.Bytes.begin(), p.Bytes.end());
    if (at == memory.end()) continue;
    found.push_back(p.Name);
    if (depths) found.back() += " (" + std::to_string(memory.end() - at) + " bytes down)";
  }
  return found;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
  return s;
}

class LeftBehind : public testing::Test {
 protected:
  void SetUp() override {
    // Printable ASCII, so the component takes the same bytes from the key as text.
    FKey.resize(32);
    for (std::size_t i = 0; i < FKey.size(); ++i) FKey[i] = static_cast<std::uint8_t>(0x21 + i * 37 % 90);
    FPatterns = KeyDerived(FKey);
    // A released buffer that held plain text (a chunk buffer) is wiped as well.
    FPlainBlock.assign(kPlainBlock.begin(), kPlainBlock.end());
    UseReleasedPatterns();
    FDir = std::filesystem::temp_directory_path() / ("aes_left_behind_" + std::to_string(::getpid()));
    std::filesystem::create_directories(FDir);
    std::ofstream(FDir / "plain", std::ios::binary) << PlainText(100003);
    std::ofstream(FDir / "aad", std::ios::binary) << std::string(77, 'a');
    for (const char* name : {"cipher", "back", "tag"}) std::ofstream(FDir / name, std::ios::binary);
  }
  void TearDown() override { std::filesystem::remove_all(FDir); }

  string Path(const char* name) const { return platform::FromUTF8((FDir / name).string()); }

  // The key-derived patterns, and the plain text's block, for the heap scan.
  void UseReleasedPatterns() {
    std::vector<TPattern> released = FPatterns;
    released.push_back({"plain text", FPlainBlock});
    secrets_test::SetReleasedPatterns(std::move(released));
  }

  static std::string PlainText(std::size_t n) {
    std::string text;
    while (text.size() < n) text += kPlainBlock;
    text.resize(n);
    return text;
  }

  // Runs operation with the stack below painted and the heap scan on; every pattern found on
  // the stack, in a released block or in a vector register as the operation left them fails the
  // test, named with the family.
  void ExpectNothingLeft(const char* family, const std::function<void()>& operation) {
    std::vector<std::uint8_t> stack(kProbeBytes), registers(secrets_test::kVectorDumpBytes);
    std::vector<std::string> released;
    PaintStackBelow();
    secrets_test::ClearVectorRegisters();
    released = secrets_test::ReleasedDuring([&] {
      operation();
      secrets_test::DumpVectorRegisters(registers.data());
    });
    CopyStackBelow(stack.data());
    const std::vector<std::string> onStack = Found(stack, FPatterns, true);
    // The scrub zeroes what the kernels left in memory; a value that is still found was saved
    // there later from a vector register the kernel did not clear (the dynamic linker, for one,
    // saves them all when it first resolves a function).
    EXPECT_TRUE(onStack.empty()) << family << " left on the stack: " << Joined(onStack);
    EXPECT_TRUE(released.empty()) << family << " released unwiped: " << Joined(released);
    ExpectCleanRegisters(family, registers);
  }

  // Runs call on a worker thread with its stack below painted; what the worker's stack and vector
  // registers hold when the call returns is copied there and then, before the thread does
  // anything else, and must hold none of the patterns.
  void ExpectNothingLeftOnWorker(const std::string& family, const std::function<void()>& call) {
    std::vector<std::uint8_t> stack(kProbeBytes), registers(secrets_test::kVectorDumpBytes);
    std::thread worker([&] {
      PaintStackBelow();
      secrets_test::ClearVectorRegisters();
      call();
      secrets_test::DumpVectorRegisters(registers.data());
      CopyStackBelow(stack.data());
    });
    worker.join();
    const std::vector<std::string> onStack = Found(stack, FPatterns, true);
    EXPECT_TRUE(onStack.empty()) << family << " left on the worker's stack: " << Joined(onStack);
    ExpectCleanRegisters(family, registers);
  }

  void ExpectCleanRegisters(const std::string& family, const std::vector<std::uint8_t>& registers) const {
    const std::vector<std::string> inRegisters = Found(registers, FPatterns);
    EXPECT_TRUE(inRegisters.empty()) << family << " left in vector registers: " << Joined(inRegisters);
  }

  static constexpr std::string_view kPlainBlock = "plain text here!";
  TBytes FKey, FPlainBlock;
  std::vector<TPattern> FPatterns;
  std::filesystem::path FDir;
};

const TBytes kIV(16, 0x24);

TEST_F(LeftBehind, Streams) {
  AESModes::TAESModes engine;
  const std::string text = PlainText(300001);
  const TBytes plain(text.begin(), text.end());
  // The output streams are as large as what they receive, so they never release a buffer.
  platform::TMemoryStream in(plain), cipher(TBytes((plain.size() / 16 + 1) * 16)),
      back(TBytes(plain.size()));
  ExpectNothingLeft("stream encryption", [&] { engine.EncryptStream(&in, &cipher, FKey, kIV); });
  ExpectNothingLeft("stream decryption", [&] { EXPECT_EQ(engine.DecryptStream(&cipher, &back, FKey, kIV), 0); });
  EXPECT_EQ(back.Bytes(), plain);
}

// Buffers and strings in every mode: ECB, CBC, OFB and CTR reach different kernel loops.
TEST_F(LeftBehind, BuffersAndStrings) {
  AESModes::TAESModes engine;
  const TBytes plain(5003, 0x61);
  for (Integer mode = 0; mode < 4; ++mode) {
    SCOPED_TRACE(mode);
    TBytes cipher(plain.size() + 48), back(cipher.size());
    Integer size = 0, backSize = 0;
    ExpectNothingLeft("buffer encryption", [&] {
      EXPECT_EQ(engine.EncryptBinaryBuffer(plain, cipher, size, FKey, 256, true, kIV, true, mode), 0);
    });
    cipher.resize(static_cast<std::size_t>(size));
    ExpectNothingLeft("buffer decryption", [&] {
      EXPECT_EQ(engine.DecryptBinaryBuffer(cipher, back, backSize, FKey, 256, true, kIV, true, mode), 0);
    });
    EXPECT_EQ(backSize, static_cast<Integer>(plain.size()));
    const string text(1000, u'z');
    string textBack;
    ExpectNothingLeft("string encryption and decryption", [&] {
      TBytes out(text.size() + 48);
      Integer n = 0;
      EXPECT_EQ(engine.EncryptString(text, out, n, FKey, 256, false, kIV, true, mode), 0);
      EXPECT_EQ(engine.DecryptString(string(out.begin(), out.begin() + n), textBack, FKey, 256, false, kIV, true, mode),
                0);
    });
    EXPECT_EQ(textBack, text);
  }
}

TEST_F(LeftBehind, PathFiles) {
  AESModes::TAESModes engine;
  const platform::TCharArray16 iv{};
  for (Integer mode = 0; mode < 4; ++mode) {
    SCOPED_TRACE(mode);
    ExpectNothingLeft("file encryption", [&] {
      EXPECT_EQ(engine.EncryptFile(Path("plain"), Path("cipher"), FKey, 256, true, iv, true, mode), 0);
    });
    ExpectNothingLeft("file decryption", [&] {
      EXPECT_EQ(engine.DecryptFile(Path("cipher"), Path("back"), FKey, 256, true, iv, true, mode), 0);
    });
    EXPECT_EQ(std::filesystem::file_size(FDir / "back"), 100003u);
  }
}

TEST_F(LeftBehind, GCM) {
  AESModes::TAESModes engine;
  const TBytes plain(4099, 0x70), aad(33, 0x41), iv(12, 0x19);
  TBytes cipher(plain.size()), back(plain.size()), tag(16);
  ExpectNothingLeft("GCM buffer encryption", [&] {
    EXPECT_EQ(engine.GCM_EncryptBinaryBuffer(plain, static_cast<Integer>(plain.size()), aad, 33 * 8, cipher, FKey, 256,
                                             iv, 96, tag, 128),
              0);
  });
  ExpectNothingLeft("GCM buffer decryption", [&] {
    EXPECT_EQ(engine.GCM_DecryptBinaryBuffer(cipher, static_cast<Integer>(cipher.size()), aad, 33 * 8, back, FKey, 256,
                                             iv, 96, tag, 128),
              0);
  });
  EXPECT_EQ(back, plain);
  ExpectNothingLeft("GCM file encryption and decryption", [&] {
    EXPECT_EQ(engine.GCM_EncryptFile(Path("plain"), Path("aad"), Path("cipher"), FKey, 256, iv, 96, Path("tag"), 128),
              0);
    EXPECT_EQ(engine.GCM_DecryptFile(Path("cipher"), Path("aad"), Path("back"), FKey, 256, iv, 96, Path("tag"), 128),
              0);
  });
  platform::TMemoryStream in(plain), ad(aad), out, tagStream, backStream;
  ExpectNothingLeft("GCM stream encryption and decryption", [&] {
    engine.EncryptAndGenerateFromStream(&in, &out, &ad, &tagStream, FKey, iv);
    EXPECT_EQ(engine.DecryptAndVerifyFromStream(&out, &backStream, &ad, &tagStream, FKey, iv, 128), 0);
  });
  EXPECT_EQ(backStream.Bytes(), plain);
}

// The verifications compute the right tag for the message they are given; that tag must not
// stay behind either.
TEST_F(LeftBehind, CMAC) {
  AESModes::TAESModes engine;
  const TBytes message(1000, 0x6D);
  TBytes tag(16);
  ExpectNothingLeft("CMAC buffer generation", [&] {
    EXPECT_EQ(engine.MAC_GenerationBinaryBuffer(message, FKey, 256, tag, 128), 0);
  });
  FPatterns.push_back({"computed tag", tag});
  UseReleasedPatterns();
  TBytes wrong = tag;
  wrong[0] ^= 1;
  ExpectNothingLeft("CMAC buffer verification", [&] {
    EXPECT_EQ(engine.MAC_VerificationBinaryBuffer(message, FKey, 256, wrong, 128), error::kMacMismatch);
  });
  std::ofstream(FDir / "message", std::ios::binary).write(reinterpret_cast<const char*>(message.data()), 1000);
  ExpectNothingLeft("CMAC file verification", [&] {
    EXPECT_EQ(engine.MAC_VerificationFile(Path("message"), FKey, 256, wrong, 128), error::kMacMismatch);
  });
  ExpectNothingLeft("CMAC string verification", [&] {
    EXPECT_EQ(engine.MAC_VerificationString(string(1000, u'm'), 1000, FKey, 256, wrong, 128), error::kMacMismatch);
  });
  platform::TMemoryStream stream(message);
  ExpectNothingLeft("CMAC stream verification", [&] {
    EXPECT_EQ(engine.VerifyFromStream(&stream, string(16, u'x'), FKey), error::kMacMismatch);
  });
}

// The component: its file, stream and text operations, with the key given as text.
TEST_F(LeftBehind, Component) {
  AESObj::TAESEncryption component;
  component.SetKeyLength(AESObj::kl256);
  component.SetInputFormat(MiscObj::raw);
  component.SetKey(string(FKey.begin(), FKey.end()));
  component.SetAType(AESObj::atCTR);
  ExpectNothingLeft("component files", [&] {
    component.EncryptFileW(Path("plain"), Path("cipher"));
    EXPECT_EQ(component.DecryptFileW(Path("cipher"), Path("back")), 0);
  });
  ExpectNothingLeft("component text", [&] {
    EXPECT_EQ(component.Decrypt(component.Encrypt(u"some plain text")), u"some plain text");
  });
}

// The keyed API: a key object made, used for every mode, and destroyed within the operation.
// The per-call forms and a key object with each AES key size: the three expand their keys in
// different ways on the hardware kernels (128 and 256 bits in registers, 192 word by word), and
// the calls run no stack scrub, so every size must leave nothing by itself. Short messages (the
// GCM key makes only the powers of H they need) and a longer one.
TEST_F(LeftBehind, EveryKeySizeOnShortAndLongMessages) {
  AESModes::TAESModes engine;
  const TBytes iv(16, 0x19), iv12(12, 0x19), aad(20, 0x41);
  for (const std::size_t keyBytes : {16u, 24u, 32u})
    for (const std::size_t n : {64u, 4096u}) {
      FKey.resize(keyBytes);
      for (std::size_t i = 0; i < keyBytes; ++i) FKey[i] = static_cast<std::uint8_t>(0x21 + (i * 37 + keyBytes) % 90);
      FPatterns = KeyDerived(FKey);
      UseReleasedPatterns();
      const auto bits = static_cast<Integer>(8 * keyBytes);
      const std::string at = " (" + std::to_string(8 * keyBytes) + " bits, " + std::to_string(n) + " bytes)";
      const TBytes plain(n, 0x70);
      TBytes cipher(n + 16), back(n + 16), tag(16);
      Integer size = 0;
      for (const Integer mode : {0, 1, 3})
        ExpectNothingLeft(("buffer mode " + std::to_string(mode) + at).c_str(), [&] {
          EXPECT_EQ(engine.EncryptBinaryBuffer(plain, cipher, size, FKey, bits, false, iv, false, mode), 0);
          EXPECT_EQ(engine.DecryptBinaryBuffer({cipher.begin(), cipher.begin() + static_cast<std::ptrdiff_t>(n)}, back,
                                               size, FKey, bits, false, iv, false, mode),
                    0);
        });
      ExpectNothingLeft(("GCM buffer" + at).c_str(), [&] {
        EXPECT_EQ(engine.GCM_EncryptBinaryBuffer(plain, 0, aad, 160, cipher, FKey, bits, iv12, 96, tag, 128), 0);
        EXPECT_EQ(engine.GCM_DecryptBinaryBuffer({cipher.begin(), cipher.begin() + static_cast<std::ptrdiff_t>(n)}, 0,
                                                 aad, 160, back, FKey, bits, iv12, 96, tag, 128),
                  0);
      });
      ExpectNothingLeft(("CMAC buffer" + at).c_str(),
                        [&] { EXPECT_EQ(engine.MAC_GenerationBinaryBuffer(plain, FKey, bits, tag, 128), 0); });
      ExpectNothingLeft(("key object" + at).c_str(), [&] {
        AESKeyed::TAESKey key;
        ASSERT_EQ(key.SetKey(FKey), 0);
        platform::TCharArray16 chain{};
        EXPECT_EQ(key.DecryptCBC(plain, {back.data(), n}, chain), 0);
        EXPECT_EQ(key.GCM_Seal(iv12, aad, plain, {cipher.data(), n}, tag), 0);
        EXPECT_EQ(key.MAC_Generate(plain, tag), 0);
        if (keyBytes != 24) {
          EXPECT_EQ(key.GCMSIV_Seal(iv12, aad, plain, {cipher.data(), n}, tag), 0);
          EXPECT_EQ(key.GCMSIV_Open(iv12, aad, {cipher.data(), n}, tag, {back.data(), n}), 0);
        }
      });
      // The key objects of two keys: this key first (SIV's MAC key, XTS's data key), another after.
      TBytes pair(FKey);
      pair.resize(2 * keyBytes, 0x33);
      ExpectNothingLeft(("SIV and XTS keys" + at).c_str(), [&] {
        AESKeyed::TSIVKey siv;
        ASSERT_EQ(siv.SetKey(pair), 0);
        const std::span<const std::uint8_t> strings[] = {aad};
        EXPECT_EQ(siv.Seal(strings, plain, cipher), 0);
        EXPECT_EQ(siv.Open(strings, cipher, back), 0);
        AESKeyed::TXTSKey xts;
        ASSERT_EQ(xts.SetKey(pair), 0);
        const platform::TCharArray16 tweak{};
        EXPECT_EQ(xts.Encrypt(tweak, plain, {cipher.data(), n}), 0);
        EXPECT_EQ(xts.Decrypt(tweak, {cipher.data(), n}, {back.data(), n}), 0);
      });
      if (keyBytes == 32)
        ExpectNothingLeft(("XAES key" + at).c_str(), [&] {
          AESKeyed::TXAESKey xaes;
          ASSERT_EQ(xaes.SetKey(FKey), 0);
          const TBytes nonce(24, 0x4E);
          EXPECT_EQ(xaes.Seal(nonce, aad, plain, {cipher.data(), n}, tag), 0);
          EXPECT_EQ(xaes.Open(nonce, aad, {cipher.data(), n}, tag, {back.data(), n}), 0);
        });
    }
}

// Outputs stay in the test's own buffers, so only the key's traces are looked for.
TEST_F(LeftBehind, KeyedAPI) {
  const TBytes plain(4096 + 7, 0x70), aad(33, 0x41), iv12(12, 0x19);
  TBytes out(plain.size()), back(plain.size()), tag(16);
  ExpectNothingLeft("keyed API", [&] {
    AESKeyed::TAESKey key;
    ASSERT_EQ(key.SetKey(FKey), 0);
    const std::span<const std::uint8_t> whole(plain.data(), 4096);
    platform::TCharArray16 iv{}, iv2{};
    EXPECT_EQ(key.EncryptECB(whole, out), 0);
    EXPECT_EQ(key.DecryptECB({out.data(), 4096}, back), 0);
    EXPECT_EQ(key.EncryptCBC(whole, out, iv), 0);
    EXPECT_EQ(key.DecryptCBC({out.data(), 4096}, back, iv2), 0);
    EXPECT_EQ(key.CryptOFB(plain, out, iv), 0);
    EXPECT_EQ(key.CryptCTR(plain, out, iv), 0);
    EXPECT_EQ(key.EncryptCFB(plain, out, iv), 0);
    EXPECT_EQ(key.DecryptCFB(out, back, iv2), 0);
    EXPECT_EQ(key.EncryptCFB8({plain.data(), 300}, out, iv), 0);
    EXPECT_EQ(key.DecryptCFB8({out.data(), 300}, back, iv2), 0);
    EXPECT_EQ(key.GCM_Seal(iv12, aad, plain, out, tag), 0);
    EXPECT_EQ(key.GCM_Open(iv12, aad, out, tag, back), 0);
    AESKeyed::TGCMEncryptor pieces(key);
    EXPECT_EQ(pieces.Begin(iv12, aad), 0);
    EXPECT_EQ(pieces.Update({plain.data(), 1000}, out), 0);
    EXPECT_EQ(pieces.Update({plain.data() + 1000, plain.size() - 1000}, {out.data() + 1000, plain.size() - 1000}), 0);
    EXPECT_EQ(pieces.Finish(tag), 0);
    EXPECT_EQ(key.MAC_Generate(plain, tag), 0);
    EXPECT_EQ(key.MAC_Verify(plain, tag), 0);
  });
  EXPECT_EQ(back, plain);
}

// A chaining block other than zero: a CTR or OFB keystream from zero would be E(0), which is H.
constexpr platform::TCharArray16 kIV16 = {0x24, 0x24, 0x24, 0x24, 0x24, 0x24, 0x24, 0x24,
                                          0x24, 0x24, 0x24, 0x24, 0x24, 0x24, 0x24, 0x24};

// The keyed API's const calls, each on a worker thread with its stack below painted; the key is
// set up and destroyed on this thread. What the worker's stack and vector registers hold when
// the call returns is copied there and then, before the thread does anything else.
TEST_F(LeftBehind, KeyedCallsOnAWorkerThread) {
  const TBytes plain(4096 + 7, 0x70), aad(33, 0x41), iv12(12, 0x19);
  struct TCall {
    const char* Name;
    std::function<void(const AESKeyed::TAESKey&, std::size_t)> Run;
  };
  TBytes out(plain.size()), back(plain.size()), tag(16);
  const auto span = [&](std::size_t n) { return std::span<const std::uint8_t>(plain.data(), n); };
  const TCall calls[] = {
      {"EncryptECB", [&](const auto& k, std::size_t n) { EXPECT_EQ(k.EncryptECB(span(n & ~15u), out), 0); }},
      {"DecryptECB", [&](const auto& k, std::size_t n) { EXPECT_EQ(k.DecryptECB(span(n & ~15u), back), 0); }},
      {"EncryptCBC",
       [&](const auto& k, std::size_t n) {
         platform::TCharArray16 iv = kIV16;
         EXPECT_EQ(k.EncryptCBC(span(n & ~15u), out, iv), 0);
       }},
      {"DecryptCBC",
       [&](const auto& k, std::size_t n) {
         platform::TCharArray16 iv = kIV16;
         EXPECT_EQ(k.DecryptCBC(span(n & ~15u), back, iv), 0);
       }},
      {"CryptOFB",
       [&](const auto& k, std::size_t n) {
         platform::TCharArray16 iv = kIV16;
         EXPECT_EQ(k.CryptOFB(span(n), out, iv), 0);
       }},
      {"CryptCTR",
       [&](const auto& k, std::size_t n) {
         platform::TCharArray16 iv = kIV16;
         EXPECT_EQ(k.CryptCTR(span(n), out, iv), 0);
       }},
      {"GCM_Seal", [&](const auto& k, std::size_t n) { EXPECT_EQ(k.GCM_Seal(iv12, aad, span(n), out, tag), 0); }},
      {"GCM_Open",
       [&](const auto& k, std::size_t n) {
         EXPECT_EQ(k.GCM_Open(iv12, aad, std::span<const std::uint8_t>(out.data(), n), tag, back), 0);
       }},
      {"TGCMEncryptor",
       [&](const auto& k, std::size_t n) {
         AESKeyed::TGCMEncryptor pieces(k);
         EXPECT_EQ(pieces.Begin(iv12, aad), 0);
         EXPECT_EQ(pieces.Update(span(n), out), 0);
         EXPECT_EQ(pieces.Finish(tag), 0);
       }},
      {"MAC_Generate", [&](const auto& k, std::size_t n) { EXPECT_EQ(k.MAC_Generate(span(n), tag), 0); }},
      {"MAC_Verify", [&](const auto& k, std::size_t n) { EXPECT_EQ(k.MAC_Verify(span(n), tag), 0); }},
      {"EncryptCFB and DecryptCFB",
       [&](const auto& k, std::size_t n) {
         platform::TCharArray16 iv = kIV16, iv2 = kIV16;
         EXPECT_EQ(k.EncryptCFB(span(n), out, iv), 0);
         EXPECT_EQ(k.DecryptCFB({out.data(), n}, back, iv2), 0);
       }},
      {"EncryptCFB8 and DecryptCFB8",
       [&](const auto& k, std::size_t n) {
         platform::TCharArray16 iv = kIV16, iv2 = kIV16;
         EXPECT_EQ(k.EncryptCFB8(span(n % 300), out, iv), 0);
         EXPECT_EQ(k.DecryptCFB8({out.data(), n % 300}, back, iv2), 0);
       }},
      {"GCMSIV_Seal and GCMSIV_Open",
       [&](const auto& k, std::size_t n) {
         EXPECT_EQ(k.GCMSIV_Seal(iv12, aad, span(n), out, tag), 0);
         EXPECT_EQ(k.GCMSIV_Open(iv12, aad, {out.data(), n}, tag, back), 0);
       }},
      {"GMAC_Generate and GMAC_Verify",
       [&](const auto& k, std::size_t n) {
         EXPECT_EQ(k.GMAC_Generate(iv12, span(n), tag), 0);
         EXPECT_EQ(k.GMAC_Verify(iv12, span(n), tag), 0);
       }},
      {"CCM_Seal and CCM_Open",
       [&](const auto& k, std::size_t n) {
         EXPECT_EQ(k.CCM_Seal({iv12.data(), 11}, aad, span(n), out, {tag.data(), 8}), 0);
         EXPECT_EQ(k.CCM_Open({iv12.data(), 11}, aad, {out.data(), n}, {tag.data(), 8}, back), 0);
       }},
      {"OCB_Seal and OCB_Open",
       [&](const auto& k, std::size_t n) {
         EXPECT_EQ(k.OCB_Seal(iv12, aad, span(n), out, tag), 0);
         EXPECT_EQ(k.OCB_Open(iv12, aad, {out.data(), n}, tag, back), 0);
       }},
      {"EAX_Seal and EAX_Open",
       [&](const auto& k, std::size_t n) {
         EXPECT_EQ(k.EAX_Seal(iv12, aad, span(n), out, tag), 0);
         EXPECT_EQ(k.EAX_Open(iv12, aad, {out.data(), n}, tag, back), 0);
       }},
      {"WrapKey and UnwrapKey",
       [&](const auto& k, std::size_t n) {
         const std::size_t m = std::min<std::size_t>(n, 512);
         EXPECT_EQ(k.WrapKey(span(m), out), 0);
         EXPECT_EQ(k.UnwrapKey({out.data(), m + 8}, back), 0);
       }},
      {"WrapKeyPadded and UnwrapKeyPadded",
       [&](const auto& k, std::size_t n) {
         const std::size_t m = std::min<std::size_t>(n, 509), wrapped = (m + 7) / 8 * 8 + 8;
         std::size_t keyBytes = 0;
         EXPECT_EQ(k.WrapKeyPadded(span(m), out), 0);
         EXPECT_EQ(k.UnwrapKeyPadded({out.data(), wrapped}, back, keyBytes), 0);
         EXPECT_EQ(keyBytes, m);
       }},
  };
  for (const std::size_t n : {std::size_t{64}, plain.size()}) {
    auto key = std::make_unique<AESKeyed::TAESKey>();
    ExpectNothingLeft("SetKey", [&] { ASSERT_EQ(key->SetKey(FKey), 0); });
    for (const TCall& call : calls)
      ExpectNothingLeftOnWorker(std::string(call.Name) + " of " + std::to_string(n) + " bytes on a worker",
                                [&] { call.Run(*key, n); });
    ExpectNothingLeft("the key's destruction", [&] { key.reset(); });
  }
}

// The key objects of two keys (SIV, XTS: the test's key and a second one) and XAES-256-GCM,
// whose per-message subkey is key-derived too: made, used and destroyed within the operation,
// and each const call on a worker thread.
TEST_F(LeftBehind, KeyObjects) {
  TBytes second(32), both(FKey);
  for (std::size_t i = 0; i < second.size(); ++i) second[i] = static_cast<std::uint8_t>(0x30 + i * 11 % 70);
  both.insert(both.end(), second.begin(), second.end());
  const std::vector<TPattern> ofSecond = KeyDerived(second);
  FPatterns.insert(FPatterns.end(), ofSecond.begin(), ofSecond.end());
  // XAES-256-GCM's subkey for this nonce: two blocks under the key, each a counter, "X", a zero
  // byte and the nonce's first 12 bytes, xored with CMAC's first subkey (the doubled E(0)).
  const TBytes plain(4096 + 7, 0x70), aad(33, 0x41), nonce24(24, 0x19);
  {
    AESCore::TAESCore core;
    platform::TCharArray60_4 w{};
    ASSERT_EQ(core.KeyExpansion(FKey, w, 8), 0);
    platform::TCharArray16 L{}, zero{};
    ASSERT_EQ(core.Cipher(zero, L, w, 8), 0);
    platform::TCharArray16 K1{};
    for (int i = 0; i < 16; ++i) K1[i] = static_cast<std::uint8_t>(L[i] << 1 | (i < 15 ? L[i + 1] >> 7 : 0));
    if (L[0] & 0x80) K1[15] ^= 0x87;
    TBytes subkey;
    for (std::uint8_t counter : {1, 2}) {
      platform::TCharArray16 m{0, counter, 'X', 0}, half{};
      std::copy_n(nonce24.begin(), 12, m.begin() + 4);
      for (int i = 0; i < 16; ++i) m[i] ^= K1[i];
      ASSERT_EQ(core.Cipher(m, half, w, 8), 0);
      subkey.insert(subkey.end(), half.begin(), half.end());
    }
    // The derivation above is the one XAES-256-GCM runs: AES-256-GCM under this subkey with the
    // nonce's last 12 bytes seals as the key object does.
    AESKeyed::TAESKey gcm;
    AESKeyed::TXAESKey xaes;
    TBytes a(plain.size()), b(plain.size()), ta(16), tb(16);
    ASSERT_EQ(gcm.SetKey(subkey), 0);
    ASSERT_EQ(xaes.SetKey(FKey), 0);
    ASSERT_EQ(gcm.GCM_Seal({nonce24.data() + 12, 12}, aad, plain, a, ta), 0);
    ASSERT_EQ(xaes.Seal(nonce24, aad, plain, b, tb), 0);
    ASSERT_EQ(a, b);
    ASSERT_EQ(ta, tb);
    for (TPattern p : KeyDerived(subkey)) {
      p.Name = "XAES subkey " + p.Name;
      FPatterns.push_back(std::move(p));
    }
  }
  UseReleasedPatterns();
  TBytes out(plain.size() + 40), back(plain.size()), tag(16);
  const std::span<const std::uint8_t> strings[] = {aad, {nonce24.data(), 16}};
  const platform::TCharArray16 tweak = kIV16;
  const auto siv = [&](const AESKeyed::TSIVKey& k) {
    EXPECT_EQ(k.Seal(strings, plain, out), 0);
    EXPECT_EQ(k.Open(strings, {out.data(), plain.size() + 16}, back), 0);
  };
  const auto xaes = [&](const AESKeyed::TXAESKey& k) {
    EXPECT_EQ(k.Seal(nonce24, aad, plain, out, tag), 0);
    EXPECT_EQ(k.Open(nonce24, aad, {out.data(), plain.size()}, tag, back), 0);
    EXPECT_EQ(k.SealWithRandomNonce(aad, plain, out), 0);
  };
  const auto xts = [&](const AESKeyed::TXTSKey& k) {
    EXPECT_EQ(k.Encrypt(tweak, plain, out), 0);
    EXPECT_EQ(k.Decrypt(tweak, {out.data(), plain.size()}, back), 0);
    EXPECT_EQ(k.EncryptSectors(7, 512, {plain.data(), 4096}, out), 0);
    EXPECT_EQ(k.DecryptSectors(7, 512, {out.data(), 4096}, back), 0);
  };
  ExpectNothingLeft("TSIVKey", [&] {
    AESKeyed::TSIVKey k;
    ASSERT_EQ(k.SetKey(both), 0);
    siv(k);
  });
  ExpectNothingLeft("TXAESKey", [&] {
    AESKeyed::TXAESKey k;
    ASSERT_EQ(k.SetKey(FKey), 0);
    xaes(k);
  });
  ExpectNothingLeft("TXTSKey", [&] {
    AESKeyed::TXTSKey k;
    ASSERT_EQ(k.SetKey(both), 0);
    xts(k);
  });
  EXPECT_TRUE(std::equal(back.begin(), back.begin() + 4096, plain.begin()));
  auto sivKey = std::make_unique<AESKeyed::TSIVKey>();
  auto xaesKey = std::make_unique<AESKeyed::TXAESKey>();
  auto xtsKey = std::make_unique<AESKeyed::TXTSKey>();
  ExpectNothingLeft("the key objects' SetKey", [&] {
    ASSERT_EQ(sivKey->SetKey(both), 0);
    ASSERT_EQ(xaesKey->SetKey(FKey), 0);
    ASSERT_EQ(xtsKey->SetKey(both), 0);
  });
  ExpectNothingLeftOnWorker("TSIVKey on a worker", [&] { siv(*sivKey); });
  ExpectNothingLeftOnWorker("TXAESKey on a worker", [&] { xaes(*xaesKey); });
  ExpectNothingLeftOnWorker("TXTSKey on a worker", [&] { xts(*xtsKey); });
  ExpectNothingLeft("the key objects' destruction", [&] {
    sivKey.reset();
    xaesKey.reset();
    xtsKey.reset();
  });
}

// HMAC, HKDF and PBKDF2 with the test's key as the HMAC key (SHA-256 on the compression this run
// chose, and SHA-512): neither chaining value of the key's pads, nor PBKDF2's intermediate U
// values, is left (in memory order or as digest bytes).
TEST_F(LeftBehind, HashFunctions) {
  using namespace Hash;
  FPatterns.clear();
  const TBytes salt(16, 0x53), data(200, 0x44);
  TBytes out(64);
  for (THashKind kind : {THashKind::SHA256, THashKind::SHA512}) {
    const detail::TFunction& f = detail::FunctionOf(kind);
    const std::string name = kind == THashKind::SHA256 ? "SHA-256 " : "SHA-512 ";
    for (std::uint8_t padByte : {std::uint8_t{0x36}, std::uint8_t{0x5c}}) {
      TBytes pad(f.BlockBytes, padByte);
      for (std::size_t i = 0; i < FKey.size(); ++i) pad[i] ^= FKey[i];
      TChain chain{};
      f.Init(chain);
      f.Compress(chain, pad.data(), 1);
      const auto* words = kind == THashKind::SHA256 ? reinterpret_cast<const std::uint8_t*>(chain.W32.data())
                                                    : reinterpret_cast<const std::uint8_t*>(chain.W64.data());
      TBytes digest(f.DigestBytes);
      f.Output(chain, digest.data());
      const std::string which = padByte == 0x36 ? "inner pad chain" : "outer pad chain";
      FPatterns.push_back({name + which, TBytes(words, words + f.DigestBytes)});
      FPatterns.push_back({name + which + " (digest order)", digest});
    }
    TBytes u(f.DigestBytes), next(f.DigestBytes), block(salt);
    block.insert(block.end(), {0, 0, 0, 1});
    ASSERT_EQ(HMAC(kind, FKey, block, u), 0);
    ASSERT_EQ(HMAC(kind, FKey, u, next), 0);
    FPatterns.push_back({name + "PBKDF2 U1", u});
    FPatterns.push_back({name + "PBKDF2 U2", next});
  }
  UseReleasedPatterns();
  ExpectNothingLeft("hash functions", [&] {
    for (THashKind kind : {THashKind::SHA256, THashKind::SHA512}) {
      const std::size_t size = DigestSize(kind);
      EXPECT_EQ(PBKDF2_HMAC(kind, FKey, salt, 3, out), 0);
      EXPECT_EQ(HMAC(kind, FKey, data, std::span(out).first(size)), 0);
      EXPECT_EQ(HKDF_Expand(kind, FKey, data, out), 0);
      THMAC mac(kind, FKey);
      mac.Update(data);
      EXPECT_EQ(mac.Final(out), 0);
    }
  });
}

// Chunked encryption: nothing of the input key, of the message key derived from it and the salt,
// or of that key's round keys and H is left, whichever form ran (one call, stream on two threads,
// pieces, random access). The test derives the message key itself and checks it against the
// header's commitment first, so the patterns are the ones the library really used.
TEST_F(LeftBehind, ChunkedEncryption) {
  const TBytes salt(AESChunked::kSaltBytes, 0x5e), context{'c', 't', 'x'};
  const std::string label = "c2sp.org/chunked-encryption@v1+AEAD_AES_256_GCM";
  TBytes info(label.begin(), label.end());
  info.push_back(0);
  info.insert(info.end(), salt.begin(), salt.end());
  info.insert(info.end(), context.begin(), context.end());
  TBytes derived(32 + 12 + 32);
  ASSERT_EQ(Hash::HKDF_Expand(Hash::THashKind::SHA512, FKey, info, derived), 0);
  const TBytes messageKey(derived.begin(), derived.begin() + 32);

  const AESChunked::TParams params{AESChunked::TSuite::Cobblestone256, FKey, context};
  const std::string text = PlainText(3 * 16384 + 100);
  const TBytes plain(text.begin(), text.end());
  TBytes cipher(AESChunked::CipherBytes(plain.size())), back(plain.size());
  ASSERT_EQ(AESChunked::Encrypt(params, plain, cipher, salt), 0);
  ASSERT_TRUE(std::equal(derived.begin() + 44, derived.end(), cipher.begin() + AESChunked::kSaltBytes))
      << "the test's derivation differs from the library's";

  FPatterns = KeyDerived(FKey);
  for (TPattern& p : KeyDerived(messageKey)) FPatterns.push_back({"message key's " + p.Name, std::move(p.Bytes)});
  FPatterns.push_back({"derived base nonce", TBytes(derived.begin() + 32, derived.begin() + 44)});
  UseReleasedPatterns();

  ExpectNothingLeft("chunked encryption", [&] { EXPECT_EQ(AESChunked::Encrypt(params, plain, cipher, salt), 0); });
  ExpectNothingLeft("chunked decryption", [&] { EXPECT_EQ(AESChunked::Decrypt(params, cipher, back), 0); });
  EXPECT_EQ(back, plain);
  platform::TMemoryStream in(plain), out(TBytes(cipher.size()));
  ExpectNothingLeft("chunked stream encryption on two threads", [&] {
    EXPECT_EQ(AESChunked::EncryptStream(params, &in, &out, {.Threads = 2, .Salt = salt}), 0);
  });
  EXPECT_EQ(out.Bytes(), cipher);
  TBytes piece(2 * 16384 + 5000);
  ExpectNothingLeft("chunked decryption in pieces", [&] {
    AESChunked::TDecryptor d;
    ASSERT_EQ(d.Begin(params), 0);
    ASSERT_LE(d.UpdateRoom(5000) + d.FinishRoom(), piece.size());
    std::size_t written = 0;
    for (std::size_t at = 0; at < cipher.size(); at += 5000) {
      const std::size_t n = std::min<std::size_t>(5000, cipher.size() - at);
      ASSERT_EQ(d.Update(std::span(cipher).subspan(at, n), piece, written), 0);
    }
    ASSERT_EQ(d.Finish(piece, written), 0);
  });
  platform::TMemoryStream source(cipher);
  TBytes range(100);  // the caller's buffers live on after the call, as the library's may not
  ExpectNothingLeft("chunked random access", [&] {
    AESChunked::TReader reader;
    ASSERT_EQ(reader.Open(params, &source), 0);
    std::size_t got = 0;
    ASSERT_EQ(reader.ReadAt(2 * 16384 - 50, range, got), 0);
    EXPECT_EQ(got, range.size());
  });
}

// The probe finds what is left: a round key written to the stack below the caller, and one in a
// released block.
[[gnu::noinline]] void LeaveOnStack(const std::vector<std::uint8_t>& bytes) {
  std::uint8_t copy[64];
  std::memcpy(copy, bytes.data(), bytes.size());
  __asm__ __volatile__("" : : "r"(copy) : "memory");
}

TEST_F(LeftBehind, TheProbeSeesWhatIsLeft) {
  std::vector<std::uint8_t> stack(kProbeBytes);
  PaintStackBelow();
  LeaveOnStack(FPatterns[2].Bytes);
  CopyStackBelow(stack.data());
  EXPECT_EQ(Found(stack, FPatterns), std::vector<std::string>{FPatterns[2].Name});
  EXPECT_EQ(secrets_test::ReleasedDuring([&] { delete new std::vector<std::uint8_t>(FPatterns[4].Bytes); }),
            std::vector<std::string>{FPatterns[4].Name});
}

#if defined(__x86_64__)
[[gnu::noinline, gnu::target("avx512f")]] void LoadIntoUpperRegister(const std::uint8_t* p, std::uint8_t* dump) {
  __asm__ volatile("vmovdqu32 (%0), %%zmm27" ::"r"(p) : "memory");
  secrets_test::DumpVectorRegisters(dump);
}
#endif

// The register dump sees a round key left in a register, the upper AVX-512 ones included.
TEST_F(LeftBehind, TheRegisterDumpSeesWhatIsLeft) {
  std::vector<std::uint8_t> registers(secrets_test::kVectorDumpBytes), block(64);
  std::copy(FPatterns[6].Bytes.begin(), FPatterns[6].Bytes.end(), block.begin());
  secrets_test::ClearVectorRegisters();
  secrets_test::DumpVectorRegisters(registers.data());
  EXPECT_TRUE(Found(registers, FPatterns).empty());
#if defined(__x86_64__)
  __asm__ volatile("movdqu (%0), %%xmm7" ::"r"(block.data()) : "xmm7", "memory");
#elif defined(__aarch64__)
  __asm__ volatile("ldr q7, [%0]" ::"r"(block.data()) : "v7", "memory");
#endif
  secrets_test::DumpVectorRegisters(registers.data());
  EXPECT_EQ(Found(registers, FPatterns), std::vector<std::string>{FPatterns[6].Name});
#if defined(__x86_64__)
  if (__builtin_cpu_supports("avx512f")) {
    secrets_test::ClearVectorRegisters();
    LoadIntoUpperRegister(block.data(), registers.data());
    EXPECT_EQ(Found(registers, FPatterns), std::vector<std::string>{FPatterns[6].Name});
  }
#endif
}

}  // namespace
