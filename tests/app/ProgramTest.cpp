// The built program, copied alone into a temporary folder and started as a separate process
// from another working directory.
#include <QProcess>

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
  EXPECT_TRUE(std::filesystem::exists(Beside("test_restore.txt")));
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
