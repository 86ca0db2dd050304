// GCM files whose reads fail part way: encryption and both passes of the verify-first decryption
// report -203, never success, and the output and tag files stay as they were.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>

#include "../platform/TempDir.h"
#include "Oracle.h"
#include "ReadShim.h"
#include "crypto/engine/AESModes.h"

namespace {

using AESModes::TAESModes;
using platform::Integer;
using testing_support::Bytes;
using testing_support::RandomBytes;

class GCMFileFaults : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    Put("in", FPlain);
    Put("aad", Bytes(7, 0x61));
    Put("out", Bytes(3, 'o'));
    Put("tag", Bytes(2, 't'));
  }
  void Put(const std::string& name, const Bytes& data) const { WriteFile(name, std::string(data.begin(), data.end())); }
  Bytes Get(const std::string& name) const {
    const std::string s = ReadFile(name);
    return Bytes(s.begin(), s.end());
  }
  std::size_t Files() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(Native("")), {}));
  }
  Integer Encrypt(const std::string& in, const std::string& out, const std::string& tag) {
    return TAESModes().GCM_EncryptFile(Path(in), Path("aad"), Path(out), FKey, 128, FIV, 96, Path(tag), 128);
  }
  Integer Decrypt(const std::string& in, const std::string& out, const std::string& tag) {
    return TAESModes().GCM_DecryptFile(Path(in), Path("aad"), Path(out), FKey, 128, FIV, 96, Path(tag), 128);
  }

  const Bytes FKey = RandomBytes(16, 1), FIV = RandomBytes(12, 2), FPlain = RandomBytes(70000, 3);
};

TEST_F(GCMFileFaults, FailedReadsAreReportedAndChangeNothing) {
  const std::size_t files = Files();
  for (const std::int64_t budget : {0, 100, 69999}) {
    read_shim::TScopedReadFailure failing(Native("in"), budget);
    EXPECT_EQ(Encrypt("in", "out", "tag"), -203) << budget;
  }
  EXPECT_EQ(Get("out"), Bytes(3, 'o'));
  EXPECT_EQ(Get("tag"), Bytes(2, 't'));

  Put("cipher", {});
  Put("cipherTag", {});
  ASSERT_EQ(Encrypt("in", "cipher", "cipherTag"), 0);
  // Fails in the hashing pass, at the start of the decrypting pass, and in its middle.
  for (const std::int64_t budget : {100, 70000, 70000 + 4096}) {
    read_shim::TScopedReadFailure failing(Native("cipher"), budget);
    EXPECT_EQ(Decrypt("cipher", "out", "cipherTag"), -203) << budget;
    EXPECT_EQ(Get("out"), Bytes(3, 'o')) << budget;
  }
  EXPECT_EQ(Files(), files + 2);  // cipher and cipherTag; no temporary file left
  EXPECT_EQ(Decrypt("cipher", "out", "cipherTag"), 0);
  EXPECT_EQ(Get("out"), FPlain);
}

}  // namespace
