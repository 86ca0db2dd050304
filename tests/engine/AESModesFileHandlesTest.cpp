// The path-file layout between handles the caller holds: the same bytes as the path forms in
// every mode, read back by the handle decryption, and a padding failure reported as the path
// form reports it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "Oracle.h"
#include "crypto/engine/AESModes.h"
#include "crypto/support/error.h"
#include "platform/SysUtils.h"

namespace {

namespace fs = std::filesystem;
using AESModes::TAESModes;
using platform::Integer;
using testing_support::Bytes;
using testing_support::RandomBytes;

class AESModesFileHandles : public testing::Test {
 protected:
  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    FDir = fs::temp_directory_path() / ("aes_handles_" + std::string(info->name()) + "_" + std::to_string(::getpid()));
    fs::remove_all(FDir);
    fs::create_directories(FDir);
  }
  void TearDown() override { fs::remove_all(FDir); }

  std::string Name(const std::string& name) const { return (FDir / name).string(); }
  void Write(const std::string& name, const Bytes& b) const {
    std::ofstream(FDir / name, std::ios::binary).write(reinterpret_cast<const char*>(b.data()),
                                                       static_cast<std::streamsize>(b.size()));
  }
  Bytes Read(const std::string& name) const {
    std::ifstream in(FDir / name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // Runs op from file "from" into a new file "to" through two handles.
  template <class Op>
  Integer OnHandles(const std::string& from, const std::string& to, Op op) {
    const int in = ::open(Name(from).c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(Name(to).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const Integer st = op(in, out);
    ::close(in);
    ::close(out);
    return st;
  }

  fs::path FDir;
};

TEST_F(AESModesFileHandles, SameBytesAsThePathFormsInEveryMode) {
  const Bytes key = RandomBytes(24, 7), iv = RandomBytes(16, 8);
  platform::TCharArray16 iv16{};
  std::copy_n(iv.begin(), 16, iv16.begin());
  for (int mode = 0; mode < 4; ++mode) {
    for (const bool padding : {true, false}) {
      for (const std::size_t n : {std::size_t{0}, std::size_t{16}, std::size_t{33}, std::size_t{160000}}) {
        if (!padding && n % 16 != 0) continue;  // encryption without padding takes whole blocks
        SCOPED_TRACE("mode " + std::to_string(mode) + " padding " + std::to_string(padding) + " n " + std::to_string(n));
        const Bytes plain = RandomBytes(n, static_cast<std::uint32_t>(n + 1));
        Write("plain", plain);
        Write("by-path", {});
        TAESModes engine;
        ASSERT_EQ(0, engine.EncryptFile(platform::FromUTF8(Name("plain")), platform::FromUTF8(Name("by-path")), key, 192,
                                        false, iv16, padding, mode));
        ASSERT_EQ(0, OnHandles("plain", "by-handle", [&](int in, int out) {
                    return engine.EncryptFileHandles(in, out, key, 192, false, iv16, padding, mode);
                  }));
        EXPECT_EQ(Read("by-path"), Read("by-handle"));
        ASSERT_EQ(0, OnHandles("by-handle", "back", [&](int in, int out) {
                    return engine.DecryptFileHandles(in, out, key, 192, false, iv16, padding, mode);
                  }));
        EXPECT_EQ(Read("back"), plain);
      }
    }
  }
}

TEST_F(AESModesFileHandles, StatusesAsThePathForms) {
  const Bytes key = RandomBytes(16, 9);
  const platform::TCharArray16 iv{};
  Write("cipher", RandomBytes(48, 10));
  TAESModes engine;
  // Another key's cipher text: the padding check fails (the output is the caller's to drop).
  const Integer padded = OnHandles("cipher", "out", [&](int in, int out) {
    return engine.DecryptFileHandles(in, out, RandomBytes(16, 11), 128, false, iv, true, 1);
  });
  EXPECT_TRUE(padded == error::kBadPadding || padded == 0);  // 1 in 256 random keys pads validly
  EXPECT_EQ(error::kBadArgument, OnHandles("cipher", "out", [&](int in, int out) {
              return engine.EncryptFileHandles(in, out, Bytes(15), 128, false, iv, true, 1);
            }));
  Write("odd", Bytes(17));
  EXPECT_EQ(error::kBadCipherLength, OnHandles("odd", "out", [&](int in, int out) {
              return engine.DecryptFileHandles(in, out, key, 128, false, iv, true, 1);
            }));
  // A handle that cannot be sized or read is the read failure of the path forms.
  EXPECT_EQ(error::kFileOpenFailed, OnHandles("cipher", "out", [&](int, int out) {
              return engine.EncryptFileHandles(-1, out, key, 128, false, iv, true, 1);
            }));
}

}  // namespace
