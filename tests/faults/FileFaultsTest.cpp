// Files that fail on purpose: a read that fails after part of its bytes, a full disk, and a
// process killed in the middle of writing. No such fault is reported as success, and the earlier
// output survives byte for byte with no temporary file left beside it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "../platform/TempDir.h"
#include "OrdinaryUser.h"
#include "Oracle.h"
#include "ReadShim.h"
#include "SyscallShim.h"
#include "Thrown.h"
#include "crypto/component/AESObj.h"
#include "crypto/engine/AESModes.h"
#include "crypto/support/error.h"
#include "platform/Files.h"
#include "platform/Streams.h"

namespace {

namespace fs = std::filesystem;
using AESModes::TAESModes;
using platform::Integer;
using testing_support::Bytes;
using testing_support::RandomBytes;

const Bytes kKey = testing_support::FromHex("3a5c7e2b4d6f1a3c5e7b2d4f6a1c3e5b");

class FileFaults : public TempDirTest {
 protected:
  void Put(const std::string& name, const Bytes& data) const {
    WriteFile(name, std::string(data.begin(), data.end()));
  }
  Bytes Get(const std::string& name) const {
    const std::string s = ReadFile(name);
    return Bytes(s.begin(), s.end());
  }
  std::set<std::string> Listing() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(Native(""))) names.insert(e.path().filename().string());
    return names;
  }
  static std::unique_ptr<AESObj::TAESEncryption> Component() {
    auto c = std::make_unique<AESObj::TAESEncryption>();
    c->SetKeyLength(AESObj::kl256);
    c->SetKey(u"3a5c7e2b4d6f1a3c5e7b2d4f6a1c3e5b");
    c->SetInputFormat(MiscObj::hexa);
    return c;
  }
  // Runs body in a child process and returns its exit code (-signal when it was killed).
  template <class Body>
  static int InChild(Body body, const std::function<void(pid_t)>& whileRunning = {}) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    if (whileRunning) whileRunning(pid);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }
};

// The OS reports an error after part of the bytes arrived: every file-reading operation fails
// with its read error instead of taking the bytes so far for the whole input.
TEST_F(FileFaults, ReadFailingAfterAPartialTransferIsNeverAnEndOfFile) {
  const Bytes plain = RandomBytes(300000, 1);
  Put("plain", plain);
  TAESModes m;
  Put("cipher", {});
  ASSERT_EQ(0, m.EncryptFile(Path("plain"), Path("cipher"), kKey, 128, false, {}, true, 1));
  const Bytes cipher = Get("cipher");
  Put("out", Bytes(9, 9));

  for (std::int64_t budget : {0, 1000, 160000, 200000}) {
    SCOPED_TRACE(budget);
    {
      read_shim::TScopedReadFailure failing(Native("plain"), budget);
      EXPECT_EQ(error::kFileOpenFailed, m.EncryptFile(Path("plain"), Path("out"), kKey, 128, false, {}, true, 1));
    }
    {
      read_shim::TScopedReadFailure failing(Native("cipher"), budget);
      EXPECT_EQ(error::kFileOpenFailed, m.DecryptFile(Path("cipher"), Path("out"), kKey, 128, false, {}, true, 1));
    }
    {
      read_shim::TScopedReadFailure failing(Native("plain"), budget);
      const std::string message = testing_support::ThrownMessage([&] { Component()->EncryptFileW(Path("plain"), Path("out")); });
      EXPECT_NE(message.find(Native("plain").string()), std::string::npos) << message;
    }
    {
      read_shim::TScopedReadFailure failing(Native("plain"), budget);
      const platform::TFileHandle h(platform::FileOpen(Path("plain"), platform::TFileAccess::Read));
      Bytes buffer(300000);
      EXPECT_EQ(-1, platform::FileRead(h.Get(), buffer.data(), 300000));
    }
    {
      read_shim::TScopedReadFailure failing(Native("plain"), budget);
      platform::TFileStream in(Path("plain"), platform::TFileMode::fmOpenRead);
      platform::TMemoryStream out;
      EXPECT_THROW(m.EncryptStream(&in, &out, kKey, {}), platform::EReadError);
    }
    EXPECT_EQ(Get("out"), Bytes(9, 9));
  }
  EXPECT_EQ(Listing(), (std::set<std::string>{"cipher", "out", "plain"}));
}

// A full disk (a file-size limit in a child process, SIGXFSZ ignored so the write fails): the
// operation fails and the good earlier output stays.
TEST_F(FileFaults, FullDiskKeepsTheEarlierOutput) {
  Put("plain", RandomBytes(1000000, 2));
  const Bytes earlier = RandomBytes(5000, 3);
  Put("test.aes", earlier);
  const auto limited = [](auto operation) {
    return [operation] {
      ::signal(SIGXFSZ, SIG_IGN);
      rlimit small{65536, 65536};
      if (::setrlimit(RLIMIT_FSIZE, &small) != 0) return 99;
      return operation();
    };
  };
  EXPECT_EQ(InChild(limited([&] {
              return TAESModes().EncryptFile(Path("plain"), Path("test.aes"), kKey, 128, false, {}, true, 0) ==
                             error::kShortWrite
                         ? 0
                         : 1;
            })),
            0);
  EXPECT_EQ(InChild(limited([&] {
              try {
                Component()->EncryptFileW(Path("plain"), Path("test.aes"));
              } catch (const platform::EWriteError&) {
                return 0;
              }
              return 1;
            })),
            0);
  EXPECT_EQ(Get("test.aes"), earlier);
  EXPECT_EQ(Listing(), (std::set<std::string>{"plain", "test.aes"}));
}

// Where the child is writing: the position of its descriptor on a file in folder that has no
// name (the unnamed temporary file), or -1.
std::int64_t TemporaryFilePosition(pid_t pid, const fs::path& folder) {
  std::error_code ec;
  for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
    const std::string target = fs::read_symlink(fd.path(), ec).string();
    if (target.rfind(folder.string(), 0) != 0 || target.find("(deleted)") == std::string::npos) continue;
    std::ifstream info("/proc/" + std::to_string(pid) + "/fdinfo/" + fd.path().filename().string());
    std::string key;
    std::int64_t pos = -1;
    info >> key >> pos;
    return key == "pos:" ? pos : -1;
  }
  return -1;
}

// A process killed while EncryptFile writes over an older, longer file: the older file survives
// byte for byte and nothing else is left in the folder.
TEST_F(FileFaults, KilledWhileWritingLeavesTheEarlierOutput) {
  Put("plain", RandomBytes(40000000, 4));
  const Bytes earlier = RandomBytes(48000000, 5);
  Put("out", earlier);
  bool killedMidWrite = false;
  const int code = InChild([&] { return TAESModes().EncryptFile(Path("plain"), Path("out"), kKey, 128, false, {}, true, 1) == 0 ? 0 : 1; },
                           [&](pid_t pid) {
                             const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
                             while (std::chrono::steady_clock::now() < deadline) {
                               if (TemporaryFilePosition(pid, Native("")) > 0) {
                                 killedMidWrite = ::kill(pid, SIGKILL) == 0;
                                 return;
                               }
                               std::this_thread::sleep_for(std::chrono::milliseconds(1));
                             }
                           });
  ASSERT_TRUE(killedMidWrite) << "the child finished (" << code << ") before it could be killed mid-write";
  EXPECT_EQ(code, -SIGKILL);
  EXPECT_TRUE(Get("out") == earlier);
  EXPECT_EQ(Listing(), (std::set<std::string>{"out", "plain"}));
}

// Every operation that replaces a file named by path refuses, as an ordinary user, an output
// (or GCM tag) that he may not write: -203, or the file exception naming it, with nothing
// changed. With writable outputs the same calls succeed, so the refusals are no accident.
TEST_F(FileFaults, ReadOnlyOutputsAreRefusedByEveryReplacingOperation) {
  const Bytes plain = RandomBytes(3000, 7), key = RandomBytes(16, 8), iv = RandomBytes(12, 9);
  Put("plain", plain);
  Put("aad", RandomBytes(5, 10));
  for (const char* name : {"cipher", "gcm", "gcm.tag", "out", "tag"}) Put(name, {});
  TAESModes m;
  ASSERT_EQ(0, m.EncryptFile(Path("plain"), Path("cipher"), kKey, 128, false, {}, true, 1));
  ASSERT_EQ(0, m.GCM_EncryptFile(Path("plain"), Path("aad"), Path("gcm"), key, 128, iv, 96, Path("gcm.tag"), 128));
  Component()->EncryptFileW(Path("plain"), Path("component"));
  for (const char* name : {"read-only", "read-only.tag"}) {
    Put(name, Bytes(4, 'r'));
    fs::permissions(Native(name), fs::perms(0444));
  }
  for (const auto& e : fs::directory_iterator(Native(""))) testing_support::GiveToOrdinaryUser(e.path());
  testing_support::GiveToOrdinaryUser(Native(""));
  const auto before = Listing();

  // Each operation writes out (and tag) and returns its status; the component's file exception
  // counts as -203 when it names out.
  const auto raised = [&](const std::function<void()>& call, const std::string& out) -> Integer {
    const std::string message = testing_support::ThrownMessage(call);
    return message == "no error" ? 0 : message.find(Native(out).string()) != std::string::npos ? -203 : -1;
  };
  const struct {
    const char* What;
    std::function<Integer(const std::string& out, const std::string& tag)> Run;
  } operations[] = {
      {"EncryptFile", [&](auto& out, auto&) { return m.EncryptFile(Path("plain"), Path(out), kKey, 128, false, {}, true, 1); }},
      {"DecryptFile", [&](auto& out, auto&) { return m.DecryptFile(Path("cipher"), Path(out), kKey, 128, false, {}, true, 1); }},
      {"GCM_EncryptFile",
       [&](auto& out, auto& tag) {
         return m.GCM_EncryptFile(Path("plain"), Path("aad"), Path(out), key, 128, iv, 96, Path(tag), 128);
       }},
      {"GCM_DecryptFile",
       [&](auto& out, auto&) {
         return m.GCM_DecryptFile(Path("gcm"), Path("aad"), Path(out), key, 128, iv, 96, Path("gcm.tag"), 128);
       }},
      {"EncryptFileW", [&](auto& out, auto&) { return raised([&] { Component()->EncryptFileW(Path("plain"), Path(out)); }, out); }},
      {"DecryptFileW",
       [&](auto& out, auto&) { return raised([&] { Component()->DecryptFileW(Path("component"), Path(out)); }, out); }},
  };
  const int failures = testing_support::AsOrdinaryUser([&] {
    int count = 0;
    const auto expect = [&](const char* what, const char* outputs, Integer got, Integer want) {
      if (got == want) return;
      std::fprintf(stderr, "%s, %s: %d instead of %d\n", what, outputs, got, want);
      ++count;
    };
    for (const auto& op : operations) {
      expect(op.What, "read-only output", op.Run("read-only", "tag"), -203);
      expect(op.What, "writable output", op.Run("out", "tag"), 0);
    }
    expect("GCM_EncryptFile", "read-only tag", operations[2].Run("out", "read-only.tag"), -203);
    return count;
  });
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(Get("read-only"), Bytes(4, 'r'));
  EXPECT_EQ(Get("read-only.tag"), Bytes(4, 'r'));
  EXPECT_EQ(Get("out"), plain);  // the last writable run decrypted into it
  EXPECT_EQ(Listing(), before);
}

// Bytes appended while an operation runs are not read: what was measured at the start is what
// is encrypted (today's cipher text would take the appended bytes as a partial block that no
// decryption accepts).
TEST_F(FileFaults, InputIsReadForItsMeasuredSize) {
  const Bytes plain = RandomBytes(64, 6);
  Put("plain", plain);
  Put("out", {});
  {
    read_shim::TScopedReadFailure growing(Native("plain"), 1 << 30,
                                          [&] { std::ofstream(Native("plain"), std::ios::app) << "tail"; });
    EXPECT_EQ(0, TAESModes().EncryptFile(Path("plain"), Path("out"), kKey, 128, false, {}, false, 0));
  }
  EXPECT_EQ(Get("out"), testing_support::OpenSSLCrypt(true, 0, kKey, {}, plain, false));
}

// Where unnamed temporary files are not available: the hidden file fits the folder's name limit
// for a long output name and is readable by its owner only while it is written; the new file
// gets its mode at Commit. One left by a killed process (its lock gone with it) is removed by
// the next replacement of the same output; one still held, or another output's, stays.
TEST_F(FileFaults, HiddenTemporaryFilesWhereUnnamedOnesAreMissing) {
  const syscall_shim::TNoUnnamedFiles withoutUnnamedFiles;
  const auto hidden = [this] {
    std::set<std::string> names;
    for (const auto& name : Listing())
      if (name.rfind(".", 0) == 0) names.insert(name);
    return names;
  };
  const std::string longName(240, 'n');
  Put(longName, Bytes(3, 1));
  fs::permissions(Native(longName), fs::perms(0640));
  {
    platform::TReplacingFile f(Path(longName));
    ASSERT_EQ(hidden().size(), 1u);
    EXPECT_LE(hidden().begin()->size(), 255u);
    EXPECT_EQ(fs::status(Native(*hidden().begin())).permissions(), fs::perms(0600));
    ASSERT_EQ(platform::FileWrite(f.Handle(), "new", 3), 3);
    ASSERT_TRUE(f.Commit());
  }
  EXPECT_EQ(ReadFile(longName), "new");
  EXPECT_EQ(fs::status(Native(longName)).permissions(), fs::perms(0640));
  const mode_t mask = ::umask(022);
  {
    platform::TReplacingFile f(Path("fresh"));
    ASSERT_TRUE(f.Commit());
  }
  ::umask(mask);
  EXPECT_EQ(fs::status(Native("fresh")).permissions(), fs::perms(0644));

  Put("out", Bytes(4, 4));
  EXPECT_EQ(InChild([&] {
              platform::TReplacingFile f(Path("out"));
              platform::FileWrite(f.Handle(), "partial", 7);
              ::kill(::getpid(), SIGKILL);
              return 0;
            }),
            -SIGKILL);
  const std::set<std::string> left = hidden();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(fs::status(Native(*left.begin())).permissions(), fs::perms(0600));
  Put(".out.partial-00000000000000aa", {});
  Put(".other.partial-00000000000000bb", {});
  const platform::TFileHandle held(platform::FileOpen(Path(".out.partial-00000000000000aa"), platform::TFileAccess::Write));
  ASSERT_TRUE(held.Valid());
  {
    platform::TReplacingFile f(Path("out"));
    ASSERT_TRUE(f.Commit());
  }
  EXPECT_EQ(hidden(), (std::set<std::string>{".other.partial-00000000000000bb", ".out.partial-00000000000000aa"}));
  EXPECT_TRUE(Get("out").empty());
}

}  // namespace
