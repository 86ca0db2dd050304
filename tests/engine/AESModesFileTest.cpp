// Path-based file operations of TAESModes: layout against the buffer form and OpenSSL, round
// trips across the 16,000,000-byte chunk boundary, statuses, truncation and short writes.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "Oracle.h"
#include "PaddingCases.h"
#include "crypto/support/error.h"
#include "crypto/engine/AESModes.h"
#include "platform/OSRandomFailure.h"
#include "platform/SysUtils.h"

namespace {

namespace fs = std::filesystem;
using AESModes::TAESModes;
using platform::Integer;
using platform::TCharArray16;
using testing_support::Bytes;
using testing_support::OpenSSLCrypt;
using testing_support::RandomBytes;

constexpr int kECB = 0, kCBC = 1, kOFB = 2, kCTR = 3;
constexpr std::size_t kChunk = 16000000;

// The first 16 bytes of b (zeros where b is shorter).
TCharArray16 Block(const Bytes& b) {
  TCharArray16 a{};
  std::copy_n(b.begin(), std::min<std::size_t>(16, b.size()), a.begin());
  return a;
}

Bytes Pkcs7Tail(const Bytes& plain) {
  Bytes p(plain.end() - static_cast<std::ptrdiff_t>(plain.size() % 16), plain.end());
  p.resize(16, static_cast<std::uint8_t>(16 - plain.size() % 16));
  return p;
}

Bytes Xor(Bytes a, const Bytes& b) {
  for (std::size_t i = 0; i < a.size(); ++i) a[i] ^= b[i];
  return a;
}

void Increment(Bytes& counter) {
  for (int i = 15; i >= 0 && ++counter[static_cast<std::size_t>(i)] == 0; --i) {
  }
}

// A fresh directory per test (tests of one executable run in parallel processes).
class AESModesFile : public testing::Test {
 protected:
  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    FDir = fs::temp_directory_path() / ("aes_file_" + std::string(info->name()) + "_" + std::to_string(::getpid()));
    fs::remove_all(FDir);
    fs::create_directories(FDir);
  }
  void TearDown() override { fs::remove_all(FDir); }

  platform::string Path(const std::string& name) const { return platform::FromUTF8((FDir / name).string()); }
  void Write(const std::string& name, const Bytes& b) const {
    std::ofstream(FDir / name, std::ios::binary).write(reinterpret_cast<const char*>(b.data()),
                                                       static_cast<std::streamsize>(b.size()));
  }
  Bytes Read(const std::string& name) const {
    std::ifstream in(FDir / name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // Encrypts plain from file "in" into a fresh, empty file "out" and returns its content.
  Bytes EncryptFile(const Bytes& plain, const Bytes& key, bool ivIn, const Bytes& iv, bool padding, int mode) {
    Write("in", plain);
    Write("out", {});
    EXPECT_EQ(0, TAESModes().EncryptFile(Path("in"), Path("out"), key, static_cast<Integer>(key.size() * 8), ivIn,
                                         Block(iv), padding, mode));
    return Read("out");
  }
  Bytes DecryptFile(const Bytes& cipher, const Bytes& key, bool ivIn, const Bytes& iv, bool padding, int mode) {
    Write("in", cipher);
    Write("out", {});
    EXPECT_EQ(0, TAESModes().DecryptFile(Path("in"), Path("out"), key, static_cast<Integer>(key.size() * 8), ivIn,
                                         Block(iv), padding, mode));
    return Read("out");
  }

  fs::path FDir;
};

Bytes EncryptBuffer(const Bytes& plain, const Bytes& key, const Bytes& iv, bool padding, int mode) {
  Bytes out(padding ? plain.size() / 16 * 16 + 16 : plain.size());
  Integer size = 0;
  EXPECT_EQ(0, TAESModes().EncryptBinaryBuffer(plain, out, size, key, static_cast<Integer>(key.size() * 8), false,
                                               iv, padding, mode));
  return out;
}

// Where the layouts coincide (ECB, CBC, and OFB / CTR without padding) the file equals the buffer.
TEST_F(AESModesFile, EqualsBufferWhereLayoutsCoincide) {
  struct {
    int mode;
    bool padding;
  } const layouts[] = {{kECB, true}, {kECB, false}, {kCBC, true}, {kCBC, false}, {kOFB, false}, {kCTR, false}};
  std::uint32_t seed = 1;
  for (const auto& l : layouts)
    for (std::size_t L : {1u, 15u, 16u, 17u, 48u, 1000u}) {
      if (!l.padding && L % 16 != 0) continue;
      SCOPED_TRACE(testing::Message() << "mode " << l.mode << " pad " << l.padding << " L " << L);
      const Bytes key = RandomBytes(16 + 8 * (seed % 3), seed), iv = RandomBytes(16, seed + 1),
                  plain = RandomBytes(L, seed + 2);
      seed += 3;
      EXPECT_EQ(EncryptFile(plain, key, false, iv, l.padding, l.mode), EncryptBuffer(plain, key, iv, l.padding, l.mode));
    }
}

// With padding the final block is E(P xor V) in every mode, V as the preceding blocks left it:
// zero in ECB, the last cipher block in CBC, the next OFB register, the next CTR counter.
TEST_F(AESModesFile, PaddedFinalBlockIsEncipheredXorV) {
  for (int mode : {kECB, kCBC, kOFB, kCTR})
    for (std::size_t L : {0u, 5u, 16u, 37u}) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << " L " << L);
      const Bytes key = RandomBytes(24, 10 + static_cast<std::uint32_t>(L)), iv = RandomBytes(16, 20),
                  plain = RandomBytes(L, 30);
      const Bytes whole(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(L / 16 * 16));
      const Bytes blocks = whole.empty() ? Bytes{} : OpenSSLCrypt(true, mode, key, mode ? iv : Bytes{}, whole, false);
      Bytes V(16, 0);
      if (mode == kCBC) V = blocks.empty() ? iv : Bytes(blocks.end() - 16, blocks.end());
      if (mode == kOFB) {
        V = iv;  // after n blocks the register is E^n(IV)
        for (std::size_t i = 0; i < whole.size() / 16; ++i) V = OpenSSLCrypt(true, kECB, key, {}, V, false);
      }
      if (mode == kCTR) {
        V = iv;
        for (std::size_t i = 0; i < whole.size() / 16; ++i) Increment(V);
      }
      Bytes expected = blocks;
      const Bytes last = OpenSSLCrypt(true, kECB, key, {}, Xor(Pkcs7Tail(plain), V), false);
      expected.insert(expected.end(), last.begin(), last.end());
      EXPECT_EQ(EncryptFile(plain, key, false, iv, true, mode), expected);
    }
}

// DecryptFile reads back what EncryptFile writes, every mode, padding and IV handling.
TEST_F(AESModesFile, RoundTripEveryMode) {
  for (int mode : {kECB, kCBC, kOFB, kCTR})
    for (bool padding : {true, false})
      for (bool ivIn : {false, true})
        for (std::size_t L : {0u, 1u, 15u, 16u, 17u, 48u}) {
          if (!padding && L % 16 != 0) continue;
          SCOPED_TRACE(testing::Message() << "mode " << mode << " pad " << padding << " IVIn " << ivIn << " L " << L);
          const Bytes key = RandomBytes(32, static_cast<std::uint32_t>(L)), iv = RandomBytes(16, 2),
                      plain = RandomBytes(L, 3);
          const Bytes cipher = EncryptFile(plain, key, ivIn, iv, padding, mode);
          const std::size_t h = ivIn && mode != kECB ? 16 : 0;
          EXPECT_EQ(cipher.size(), h + (padding ? L / 16 * 16 + 16 : L));
          EXPECT_EQ(DecryptFile(cipher, key, ivIn, iv, padding, mode), plain);
        }
}

// CTR cipher text of any length decrypts without padding, its partial last block included.
TEST_F(AESModesFile, CtrPartialLastBlockIsDecrypted) {
  const Bytes key = RandomBytes(16, 61), iv = RandomBytes(16, 62), plain = RandomBytes(37, 63);
  const Bytes cipher = OpenSSLCrypt(true, kCTR, key, iv, plain, false);
  EXPECT_EQ(DecryptFile(cipher, key, false, iv, false, kCTR), plain);
  Bytes withIV = iv;
  withIV.insert(withIV.end(), cipher.begin(), cipher.end());
  EXPECT_EQ(DecryptFile(withIV, key, true, {}, false, kCTR), plain);
}

// Inputs of exactly one chunk and of one chunk and a bit: V carries across the boundary, the
// decryption holds back the final block across it. Few cases: these are big.
TEST_F(AESModesFile, AcrossTheChunkBoundary) {
  const Bytes key = RandomBytes(16, 71), iv = RandomBytes(16, 72);
  for (std::size_t L : {kChunk, kChunk + 17}) {
    SCOPED_TRACE(L);
    const Bytes plain = RandomBytes(L, 73);
    const Bytes cipher = EncryptFile(plain, key, false, iv, true, kCBC);
    EXPECT_TRUE(cipher == EncryptBuffer(plain, key, iv, true, kCBC));
    EXPECT_TRUE(DecryptFile(cipher, key, false, iv, true, kCBC) == plain);
  }
  // Without padding, with the IV in front: a data part of exactly one chunk is all tail.
  const Bytes plain = RandomBytes(kChunk, 74);
  const Bytes cipher = EncryptFile(plain, key, true, {}, false, kCTR);
  EXPECT_TRUE(DecryptFile(cipher, key, true, {}, false, kCTR) == plain);
}

struct TStatusCase {
  const char* name;
  bool encrypt;
  std::size_t inLen;     // SIZE_MAX: no input file
  bool outExists;
  std::size_t keyLen;
  Integer keySizeBits;
  bool ivIn, padding;
  Integer mode, expected;
  bool emptyInPath = false, emptyOutPath = false;
};

TEST_F(AESModesFile, Statuses) {
  const std::size_t none = SIZE_MAX;
  const TStatusCase cases[] = {
      {"encrypt: empty input path", true, 32, true, 16, 128, false, true, kCBC, error::kBadArgument, true, false},
      {"encrypt: empty output path", true, 32, true, 16, 128, false, true, kCBC, error::kBadArgument, false, true},
      {"encrypt: key of 20 bytes", true, 32, true, 20, 128, false, true, kCBC, error::kBadArgument},
      {"encrypt: no input file", true, none, true, 16, 128, false, true, kCBC, error::kFileOpenFailed},
      {"encrypt: no output file", true, 32, false, 16, 128, false, true, kCBC, error::kFileOpenFailed},
      {"encrypt: no padding, 20 bytes", true, 20, true, 16, 128, false, false, kCBC, error::kNoPaddingLength},
      {"encrypt: key size 100 bits", true, 32, true, 16, 100, false, true, kECB, error::kBadKeySize},
      {"encrypt: 16-byte key, 192 bits", true, 32, true, 16, 192, false, true, kCBC, error::kBadKeySize},
      {"encrypt: mode 4", true, 32, true, 16, 128, false, true, 4, error::kBadMode},
      {"encrypt: mode 4 meets no whole block", true, 5, true, 16, 128, false, true, 4, 0},
      {"decrypt: empty input path", false, 32, true, 16, 128, false, true, kCBC, error::kBadArgument, true, false},
      {"decrypt: key of 20 bytes", false, 32, true, 20, 128, false, true, kCBC, error::kBadArgument},
      {"decrypt: key size 100 bits", false, 32, true, 16, 100, false, true, kCBC, error::kBadKeySize},
      {"decrypt: 16-byte key, 256 bits", false, 32, true, 16, 256, false, true, kCBC, error::kBadKeySize},
      {"decrypt: no output file", false, 32, false, 16, 128, false, true, kCBC, error::kFileOpenFailed},
      {"decrypt: no padding, CBC, 20 bytes", false, 20, true, 16, 128, false, false, kCBC, error::kNoPaddingLength},
      {"decrypt: no padding, CTR, 20 bytes", false, 20, true, 16, 128, false, false, kCTR, 0},
      {"decrypt: padding, 20 bytes", false, 20, true, 16, 128, false, true, kCTR, error::kBadCipherLength},
      {"decrypt: IV in front, empty file", false, 0, true, 16, 128, true, true, kCBC, error::kShortIVCipher},
      {"decrypt: IV in front, CTR, 10 bytes", false, 10, true, 16, 128, true, false, kCTR, error::kShortIVCipher},
      {"decrypt: IV only, padding", false, 16, true, 16, 128, true, true, kCBC, error::kBadPadding},
      {"decrypt: mode 4", false, 32, true, 16, 128, false, false, 4, error::kBadMode},
  };
  const Bytes old = RandomBytes(100, 9);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(FDir / "in");
    fs::remove(FDir / "out");
    if (c.inLen != none) Write("in", RandomBytes(c.inLen, 1));
    if (c.outExists) Write("out", old);
    const platform::string in = c.emptyInPath ? platform::string() : Path("in");
    const platform::string out = c.emptyOutPath ? platform::string() : Path("out");
    TAESModes m;
    const Bytes key = RandomBytes(c.keyLen, 2);
    const TCharArray16 iv{};
    const Integer st = c.encrypt ? m.EncryptFile(in, out, key, c.keySizeBits, c.ivIn, iv, c.padding, c.mode)
                                 : m.DecryptFile(in, out, key, c.keySizeBits, c.ivIn, iv, c.padding, c.mode);
    EXPECT_EQ(c.expected, st);
    // Every refusal here comes before the first write and leaves the output file as it was.
    if (c.expected != 0 && c.outExists) {
      EXPECT_EQ(Read("out"), old);
    }
  }
}

// A longer earlier output is replaced whole: no old bytes remain after the new end.
TEST_F(AESModesFile, LongerEarlierOutputIsReplacedWhole) {
  const Bytes key = RandomBytes(16, 81), iv = RandomBytes(16, 82), plain = RandomBytes(5, 83);
  const Bytes longer(1000, 0xEE);
  TAESModes m;
  Write("in", plain);
  Write("out", longer);
  ASSERT_EQ(0, m.EncryptFile(Path("in"), Path("out"), key, 128, false, Block(iv), true, kCBC));
  const Bytes cipher = Read("out");
  EXPECT_EQ(cipher, EncryptBuffer(plain, key, iv, true, kCBC));

  Write("in", cipher);
  Write("out", longer);
  ASSERT_EQ(0, m.DecryptFile(Path("in"), Path("out"), key, 128, false, Block(iv), true, kCBC));
  EXPECT_EQ(Read("out"), plain);

}

// The output may name the input itself, by its path, through a link or as a hard link: it gets
// the output whole on success (a hard link's other name keeps the input), and a failure (a
// wrong key's padding) leaves it byte for byte.
TEST_F(AESModesFile, InputMayBeItsOwnOutputByAnyPath) {
  const Bytes key = RandomBytes(16, 84), wrong = RandomBytes(16, 85), plain = RandomBytes(1000, 86);
  const Bytes cipher = EncryptBuffer(plain, key, Bytes(16, 0), true, kCBC);
  fs::create_symlink("in", FDir / "link");
  TAESModes m;
  for (const char* out : {"in", "link", "hard"}) {
    SCOPED_TRACE(out);
    fs::remove(FDir / "in");
    fs::remove(FDir / "hard");
    Write("in", plain);
    fs::create_hard_link(FDir / "in", FDir / "hard");
    ASSERT_EQ(0, m.EncryptFile(Path("in"), Path(out), key, 128, false, {}, true, kCBC));
    EXPECT_EQ(Read(out), cipher);
    EXPECT_EQ(Read("in"), std::string(out) == "hard" ? plain : cipher);
    EXPECT_EQ(error::kBadPadding, m.DecryptFile(Path(out), Path(out), wrong, 128, false, {}, true, kCBC));
    EXPECT_EQ(Read(out), cipher);
    EXPECT_EQ(0, m.DecryptFile(Path(out), Path(out), key, 128, false, {}, true, kCBC));
    EXPECT_EQ(Read(out), plain);
  }
  EXPECT_TRUE(fs::is_symlink(FDir / "link"));
  EXPECT_EQ(std::distance(fs::directory_iterator(FDir), fs::directory_iterator{}), 3);  // no temporary file
}

// An output that is a dangling link has the file it names created, as the component and the GCM
// file forms do; a link loop, a link into a missing folder and a plain path naming nothing are
// -203, and nothing is created.
TEST_F(AESModesFile, DanglingOutputLinksCreateTheirFile) {
  const Bytes key = RandomBytes(16, 88), plain = RandomBytes(32, 87);
  Write("in", plain);
  fs::create_symlink("made", FDir / "dangling");
  fs::create_symlink("dangling", FDir / "chain");
  fs::create_symlink("loop", FDir / "loop");
  fs::create_symlink("missing/made", FDir / "nowhere");
  TAESModes m;
  for (const char* out : {"loop", "nowhere", "absent"})
    EXPECT_EQ(error::kFileOpenFailed, m.EncryptFile(Path("in"), Path(out), key, 128, false, {}, true, kCBC)) << out;
  EXPECT_EQ(std::distance(fs::directory_iterator(FDir), fs::directory_iterator{}), 5);
  ASSERT_EQ(0, m.EncryptFile(Path("in"), Path("chain"), key, 128, false, {}, true, kCBC));
  EXPECT_TRUE(fs::is_symlink(FDir / "chain"));
  EXPECT_TRUE(fs::is_symlink(FDir / "dangling"));
  EXPECT_EQ(Read("made"), OpenSSLCrypt(true, kCBC, key, Bytes(16, 0), plain, true));
  fs::create_symlink("restored", FDir / "back");
  ASSERT_EQ(0, m.DecryptFile(Path("chain"), Path("back"), key, 128, false, {}, true, kCBC));
  EXPECT_EQ(Read("restored"), plain);
}

// A failed padding check leaves the earlier output byte for byte: no partial plain text.
TEST_F(AESModesFile, PaddingCheckCoversTheWholePaddingAndLeavesTheOutput) {
  const Bytes key = RandomBytes(16, 83), earlier(1000, 0xEE);
  TAESModes m;
  for (const auto& c : testing_support::FinalBlockCases()) {
    Write("in", testing_support::CipherEndingIn(key, c.Block));
    Write("out", earlier);
    const Integer status = m.DecryptFile(Path("in"), Path("out"), key, 128, false, {}, true, kECB);
    EXPECT_EQ(status, c.PlainBytes < 0 ? error::kBadPadding : 0) << c.Name;
    EXPECT_EQ(Read("out"), c.PlainBytes < 0 ? earlier : testing_support::PlainEndingIn(c)) << c.Name;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(FDir), fs::directory_iterator{}), 2);  // no temporary file
}

// A write that writes fewer bytes than asked ends either operation with -213. The file size limit
// of this process makes the OS refuse the bytes beyond it (SIGXFSZ ignored, so write fails).
TEST_F(AESModesFile, ShortWriteIsReported) {
  const Bytes key = RandomBytes(16, 91), plain = RandomBytes(10000, 92);
  Write("plain", plain);
  Write("cipher", EncryptBuffer(plain, key, Bytes(16, 0), true, kECB));
  Write("out", {});
  rlimit saved{};
  ASSERT_EQ(0, ::getrlimit(RLIMIT_FSIZE, &saved));
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(0, ::setrlimit(RLIMIT_FSIZE, &small));
  TAESModes m;
  const Integer enc = m.EncryptFile(Path("plain"), Path("out"), key, 128, false, {}, true, kECB);
  const Integer dec = m.DecryptFile(Path("cipher"), Path("out"), key, 128, false, {}, true, kECB);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(error::kShortWrite, enc);
  EXPECT_EQ(error::kShortWrite, dec);
  EXPECT_EQ(fs::file_size(FDir / "out"), 0u);  // the earlier output stays whole
  EXPECT_EQ(std::distance(fs::directory_iterator(FDir), fs::directory_iterator{}), 3);  // no temporary file
}

// A failing generator is reported with its own status and nothing is written.
TEST_F(AESModesFile, FailingRandomGeneratorIsReported) {
  Write("in", RandomBytes(40, 1));
  Write("out", {1, 2, 3});
  const platform::ScopedRandomFailure failing(EIO);
  EXPECT_EQ(static_cast<Integer>(0x80070000u | EIO),
            TAESModes().EncryptFile(Path("in"), Path("out"), RandomBytes(16, 2), 128, true, {}, true, kCBC));
  EXPECT_EQ(Read("out"), (Bytes{1, 2, 3}));
}

// Both files are closed on every path: no descriptor is left behind by success or failure.
TEST_F(AESModesFile, FilesAreClosedOnEveryPath) {
  const auto openDescriptors = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{});
  };
  Write("in", RandomBytes(20, 1));
  Write("out", {});
  const Bytes key = RandomBytes(16, 2);
  const auto before = openDescriptors();
  TAESModes m;
  EXPECT_EQ(error::kFileOpenFailed, m.EncryptFile(Path("in"), Path("missing"), key, 128, false, {}, true, kCBC));
  EXPECT_EQ(error::kNoPaddingLength, m.EncryptFile(Path("in"), Path("out"), key, 128, false, {}, false, kCBC));
  EXPECT_EQ(error::kBadKeySize, m.EncryptFile(Path("in"), Path("out"), key, 100, false, {}, true, kCBC));
  EXPECT_EQ(0, m.EncryptFile(Path("in"), Path("out"), key, 128, false, {}, true, kCBC));
  EXPECT_EQ(error::kBadCipherLength, m.DecryptFile(Path("in"), Path("out"), key, 128, false, {}, true, kCBC));
  EXPECT_EQ(error::kFileOpenFailed, m.DecryptFile(Path("missing"), Path("out"), key, 128, false, {}, true, kCBC));
  Write("back", {});
  EXPECT_EQ(0, m.DecryptFile(Path("out"), Path("back"), key, 128, false, {}, true, kCBC));
  EXPECT_EQ(openDescriptors(), before);
}

}  // namespace
