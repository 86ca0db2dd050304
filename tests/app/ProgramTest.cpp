// The built program, copied alone into a temporary folder and started as a separate process
// from another working directory.
#include <sys/stat.h>

#include <QProcess>
#include <chrono>
#include <functional>

#include "AppTestSupport.h"

namespace {

using namespace app_test;

struct TRun {
  int ExitCode = -1;
  std::string Out, Err;
};

class ProgramTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    std::filesystem::create_directories(Folder() / "bin");
    std::filesystem::create_directories(Folder() / "elsewhere");
    std::filesystem::copy_file(AESAPP_PATH, Folder() / "bin" / "aesapp");
    // A decoy in the working directory: the program must not read or write there.
    WriteBytes(Folder() / "elsewhere" / "test.txt", Bytes(33, 'd'));
  }

  std::filesystem::path Beside(const std::string& name) const { return Folder() / "bin" / name; }

  TRun Run(const QStringList& arguments) const {
    QProcess process;
    process.setWorkingDirectory(QString::fromStdString((Folder() / "elsewhere").string()));
    process.start(QString::fromStdString(Beside("aesapp").string()), arguments);
    TRun run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
      ADD_FAILURE() << "aesapp did not finish normally";
      return run;
    }
    run.ExitCode = process.exitCode();
    run.Out = process.readAllStandardOutput().toStdString();
    run.Err = process.readAllStandardError().toStdString();
    return run;
  }
};

TEST_F(ProgramTest, CreateAndRestoreWorkBesideTheExecutable) {
  const Bytes plain = testing_support::RandomBytes(1000, 11);
  WriteBytes(Beside("test.txt"), plain);

  TRun run = Run({"--create"});
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(run.Out + run.Err, "");
  EXPECT_TRUE(ReadBytes(Beside("test.aes")) == OpenSSLFileEncryption(plain));

  run = Run({"--restore"});
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(run.Out + run.Err, "");
  EXPECT_TRUE(ReadBytes(Beside("test_restore.txt")) == plain);

  EXPECT_FALSE(std::filesystem::exists(Folder() / "elsewhere" / "test.aes"));
  EXPECT_FALSE(std::filesystem::exists(Folder() / "elsewhere" / "test_restore.txt"));
}

TEST_F(ProgramTest, FailuresPrintTheMessageAndExitWithOne) {
  TRun run = Run({"--create"});  // no test.txt beside the executable
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_EQ(run.Out, "");
  EXPECT_NE(run.Err.find("Cannot open file \"" + Beside("test.txt").string() + "\""), std::string::npos) << run.Err;
  EXPECT_FALSE(std::filesystem::exists(Beside("test.aes")));

  Bytes badFinal = testing_support::RandomBytes(16, 5);
  badFinal[15] = 0xFF;
  WriteBytes(Beside("test.aes"), testing_support::OpenSSLCrypt(true, 0, StoredKeyBytes(), {}, badFinal, false));
  run = Run({"--restore"});
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_EQ(run.Out, "");
  EXPECT_EQ(run.Err, "Error: in AES, the cipher text cannot be decrypted because the padding is not correct\n");
  EXPECT_FALSE(std::filesystem::exists(Beside("test_restore.txt")));  // no partial plain text
}

// test.txt that never ends (a link to /dev/zero) or would block (a FIFO with no writer) is
// refused at once, naming it, and test.aes is not written.
TEST_F(ProgramTest, CreateRefusesAnInputThatIsNotARegularFile) {
  const auto makeZero = [&] { std::filesystem::create_symlink("/dev/zero", Beside("test.txt")); };
  const auto makeFifo = [&] { ASSERT_EQ(::mkfifo(Beside("test.txt").c_str(), 0600), 0); };
  for (const std::function<void()>& make : {std::function<void()>(makeZero), std::function<void()>(makeFifo)}) {
    std::filesystem::remove(Beside("test.txt"));
    make();
    const auto start = std::chrono::steady_clock::now();
    const TRun run = Run({"--create"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_NE(run.Err.find(Beside("test.txt").string()), std::string::npos) << run.Err;
    EXPECT_FALSE(std::filesystem::exists(Beside("test.aes")));
  }
}

// A damaged test.aes fails the restore (exit 1) and leaves an earlier test_restore.txt alone.
TEST_F(ProgramTest, DamagedCipherTextFailsTheRestore) {
  const Bytes cipher = OpenSSLFileEncryption(testing_support::RandomBytes(1000, 12));
  Bytes cut(cipher.begin(), cipher.end() - 16), flipped = cipher;
  flipped[flipped.size() - 3] ^= 0x01;
  for (const Bytes& damaged : {cut, flipped}) {
    WriteBytes(Beside("test.aes"), damaged);
    WriteBytes(Beside("test_restore.txt"), Bytes(7, 'e'));
    const TRun run = Run({"--restore"});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_NE(run.Err.find("padding is not correct"), std::string::npos) << run.Err;
    EXPECT_EQ(ReadBytes(Beside("test_restore.txt")), Bytes(7, 'e'));
  }
}

TEST_F(ProgramTest, ArgumentsOtherThanTheCommands) {
  TRun run = Run({"--help"});
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_NE(run.Out.find("--create"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("--restore"), std::string::npos) << run.Out;

  for (const QStringList& bad : {QStringList{"--encrypt"}, QStringList{"--create", "--restore"}}) {
    SCOPED_TRACE(bad.join(' ').toStdString());
    run = Run(bad);
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_EQ(run.Out, "");
    EXPECT_NE(run.Err.find("Usage: aesapp"), std::string::npos) << run.Err;
  }
  EXPECT_FALSE(std::filesystem::exists(Beside("test.aes")));
}

}  // namespace
