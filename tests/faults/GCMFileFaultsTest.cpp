// GCM files whose reads fail part way: encryption and both passes of the verify-first decryption
// report -203, never success, and the output and tag files stay as they were. Output and tag
// files put in place together or not at all.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <set>
#include <string>

#include "../platform/TempDir.h"
#include "Oracle.h"
#include "ReadShim.h"
#include "SyscallShim.h"
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

// Output and tag are put in place as a pair. Whichever flush, link or rename of the commit
// fails, with unnamed temporary files or without, the call returns -213 with both files as they
// were, or (a failure once both are in place: the folder's flush; a backup link the file system
// refuses, which moves the earlier output aside instead) 0 with both new; never one without the
// other, and no hidden file stays behind.
TEST_F(GCMFileFaults, OutputAndTagChangeTogetherOrNotAtAll) {
  using syscall_shim::TCall;
  Put("ref", {});
  Put("ref.tag", {});
  ASSERT_EQ(Encrypt("in", "ref", "ref.tag"), 0);
  const Bytes cipher = Get("ref"), tag = Get("ref.tag");
  const std::size_t files = Files();
  for (const bool unnamed : {true, false}) {
    std::optional<syscall_shim::TNoUnnamedFiles> withoutUnnamedFiles;
    if (!unnamed) withoutUnnamedFiles.emplace();
    for (const TCall call : {TCall::Fsync, TCall::Link, TCall::Rename}) {
      int refused = 0;
      for (int n = 1;; ++n) {
        SCOPED_TRACE(testing::Message() << "unnamed " << unnamed << ", call " << static_cast<int>(call) << ", n " << n);
        Put("out", Bytes(3, 'o'));
        Put("tag", Bytes(2, 't'));
        Integer status = 0;
        int calls = 0;
        {
          const syscall_shim::TScopedFailure failing(call, n);
          status = Encrypt("in", "out", "tag");
          calls = syscall_shim::Calls(call);
        }
        EXPECT_EQ(Files(), files);
        if (status == 0) {
          EXPECT_EQ(Get("out"), cipher);
          EXPECT_EQ(Get("tag"), tag);
        } else {
          ++refused;
          EXPECT_EQ(status, -213);
          EXPECT_EQ(Get("out"), Bytes(3, 'o'));
          EXPECT_EQ(Get("tag"), Bytes(2, 't'));
        }
        if (calls < n) break;  // the n-th call never came: every call has failed once
      }
      if (call != TCall::Link || unnamed) {
        EXPECT_GE(refused, 2);  // at least the output's and the tag's
      }
    }
  }
}

}  // namespace
