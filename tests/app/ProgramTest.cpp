// The built program, copied alone into a temporary folder and started as a separate process
// from another working directory; and the script that runs its job without a display.
#include <sys/stat.h>

#include <chrono>
#include <climits>
#include <functional>
#include <set>

#include "AppTestSupport.h"
#include "Subprocess.h"

namespace {

using namespace app_test;

constexpr const char* kBadPaddingLine =
    "Restore AES: test.aes cannot be decrypted: Error: in AES, the cipher text cannot be decrypted because the "
    "padding is not correct\n";

bool Contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

class ProgramTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    UseBinFolder("bin");
    std::filesystem::create_directories(Folder() / "elsewhere");
    // A decoy in the working directory: the program must not read or write there.
    WriteBytes(Folder() / "elsewhere" / "test.txt", Bytes(33, 'd'));
  }

  // The folder the executable is copied into (a name of bytes, not necessarily UTF-8).
  void UseBinFolder(const std::string& name) {
    FBin = Folder() / name;
    std::filesystem::create_directories(FBin);
    std::filesystem::copy_file(AESAPP_PATH, FBin / "aesapp");
  }

  std::filesystem::path Beside(const std::string& name) const { return FBin / name; }

  // The names in the executable's folder: no temporary file may stay behind.
  std::set<std::string> FilesBeside() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(FBin)) names.insert(entry.path().filename().string());
    return names;
  }

  TRun Run(const std::string& argument, TChild child = {}) const {
    child.Argv = {Beside("aesapp").string(), argument};
    if (argument.empty()) child.Argv.pop_back();
    child.WorkingDirectory = (Folder() / "elsewhere").string();
    return RunChild(child);
  }

 private:
  std::filesystem::path FBin;
};

TEST_F(ProgramTest, CreateAndRestoreWorkBesideTheExecutableAndSayWhatWasWritten) {
  const Bytes plain = testing_support::RandomBytes(1000, 11);
  WriteBytes(Beside("test.txt"), plain);

  TRun run = Run("--create");
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(run.Err, "");
  EXPECT_TRUE(Contains(run.Out, "test.aes written in " + Beside("").parent_path().string() + " (1.0 kB, ")) << run.Out;
  EXPECT_TRUE(ReadBytes(Beside("test.aes")) == OpenSSLFileEncryption(plain));

  run = Run("--restore");
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(run.Err, "");
  EXPECT_TRUE(Contains(run.Out, "test_restore.txt written in ")) << run.Out;
  EXPECT_TRUE(ReadBytes(Beside("test_restore.txt")) == plain);

  EXPECT_FALSE(std::filesystem::exists(Folder() / "elsewhere" / "test.aes"));
  EXPECT_FALSE(std::filesystem::exists(Folder() / "elsewhere" / "test_restore.txt"));
}

// Linux names are bytes: a folder whose name is not UTF-8 works like any other, and the
// program names it with its own bytes.
TEST_F(ProgramTest, WorksInAFolderWhoseNameIsNotUTF8) {
  UseBinFolder("bad\xFF" "dir");
  const Bytes plain = testing_support::RandomBytes(300, 12);
  WriteBytes(Beside("test.txt"), plain);

  TRun run = Run("--create");
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_TRUE(Contains(run.Out, "written in " + Beside("").parent_path().string() + " (")) << run.Out;
  run = Run("--restore");
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_TRUE(ReadBytes(Beside("test.aes")) == OpenSSLFileEncryption(plain));
  EXPECT_TRUE(ReadBytes(Beside("test_restore.txt")) == plain);
}

TEST_F(ProgramTest, FailuresNameTheFileAndExitWithOne) {
  TRun run = Run("--create");  // no test.txt beside the executable
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_EQ(run.Out, "");
  EXPECT_TRUE(Contains(run.Err, "Create aes: test.txt cannot be opened: Cannot open file \"" +
                                    Beside("test.txt").string() + "\"")) << run.Err;
  EXPECT_FALSE(std::filesystem::exists(Beside("test.aes")));

  // A damaged test.aes restores nothing: the earlier test_restore.txt stays as it was.
  const Bytes earlier = testing_support::RandomBytes(77, 4);
  WriteBytes(Beside("test_restore.txt"), earlier);
  Bytes badFinal = testing_support::RandomBytes(32, 5);
  badFinal[31] = 0xFF;
  WriteBytes(Beside("test.aes"), testing_support::OpenSSLCrypt(true, 0, StoredKeyBytes(), {}, badFinal, false));
  run = Run("--restore");
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_EQ(run.Out, "");
  EXPECT_EQ(run.Err.substr(0, run.Err.find('\n') + 1), kBadPaddingLine);
  EXPECT_TRUE(Contains(run.Err, "damaged, or it was not made with this key")) << run.Err;
  EXPECT_TRUE(ReadBytes(Beside("test_restore.txt")) == earlier);
  EXPECT_EQ(FilesBeside(), (std::set<std::string>{"aesapp", "test.aes", "test_restore.txt"}));
}

// A file-size limit is a write error with a message, not a silent kill by the signal; the good
// test.aes from before stays.
TEST_F(ProgramTest, AFileSizeLimitFailsCreateAndKeepsTheEarlierOutput) {
  const Bytes earlier = testing_support::RandomBytes(48, 6);
  WriteBytes(Beside("test.aes"), earlier);
  WriteBytes(Beside("test.txt"), testing_support::RandomBytes(1 << 20, 7));

  TChild child;
  child.FileSizeLimit = 64 * 1024;
  const TRun run = Run("--create", child);
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_TRUE(Contains(run.Err, "Create aes: test.aes cannot be written")) << run.Err;
  EXPECT_TRUE(ReadBytes(Beside("test.aes")) == earlier);
  EXPECT_EQ(FilesBeside(), (std::set<std::string>{"aesapp", "test.aes", "test.txt"}));
}

// With no display to reach, the window is not attempted or its failure is caught: a message
// that points to the commands without a window, and exit 1.
TEST_F(ProgramTest, WithoutADisplayTheProgramSaysSoAndExitsWithOne) {
  const std::vector<std::string> none;
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"no display named", none},
      {"a display nobody serves", {"DISPLAY=:3917"}},
  };
  for (const auto& [name, set] : cases) {
    SCOPED_TRACE(name);
    TChild child;
    child.Unset = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    child.Set = set;
    child.Timeout = std::chrono::seconds(60);
    const TRun run = Run("", child);
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(Contains(run.Err, "no display")) << run.Err;
    EXPECT_TRUE(Contains(run.Err, "--create") && Contains(run.Err, "--restore")) << run.Err;
  }
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
    const TRun run = Run("--create");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(Contains(run.Err, Beside("test.txt").string())) << run.Err;
    EXPECT_FALSE(std::filesystem::exists(Beside("test.aes")));
  }
}

// A damaged test.aes (a block cut off, a flipped byte in the last block) fails the restore with
// exit 1 and leaves an earlier test_restore.txt alone.
TEST_F(ProgramTest, DamagedCipherTextFailsTheRestore) {
  const Bytes cipher = OpenSSLFileEncryption(testing_support::RandomBytes(1000, 12));
  ASSERT_EQ(cipher.size(), 1008u);
  const Bytes cut(cipher.begin(), cipher.begin() + 992);
  Bytes flipped = cipher;
  flipped.at(1005) ^= 0x01;
  for (const Bytes& damaged : {cut, flipped}) {
    WriteBytes(Beside("test.aes"), damaged);
    WriteBytes(Beside("test_restore.txt"), Bytes(7, 'e'));
    const TRun run = Run("--restore");
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(Contains(run.Err, "padding is not correct")) << run.Err;
    EXPECT_TRUE(ReadBytes(Beside("test_restore.txt")) == Bytes(7, 'e'));
  }
}

// An executable whose full path is beyond the system's limit has no folder the system can tell:
// the commands fail saying so, and the working directory (which holds a test.txt) is not used.
TEST_F(ProgramTest, WithoutItsOwnFolderTheProgramFailsInsteadOfUsingTheWorkingDirectory) {
  // Two halves of 11 names of 200 bytes: each half is a path of ordinary length, together they
  // pass PATH_MAX. The program is started through a link to the first half.
  std::filesystem::path half;
  for (int i = 0; i < 11; ++i) half /= std::string(200, static_cast<char>('a' + i));
  std::filesystem::create_directories(Folder() / "deep" / half);
  std::filesystem::create_directory_symlink(std::filesystem::path("deep") / half, Folder() / "short");
  const std::filesystem::path bin = Folder() / "short" / half;
  std::filesystem::create_directories(bin);
  std::filesystem::copy_file(AESAPP_PATH, bin / "aesapp");
  ASSERT_GT((Folder() / "deep" / half / half).string().size(), std::size_t{PATH_MAX});

  for (const char* command : {"--create", "--restore"}) {
    SCOPED_TRACE(command);
    TChild child;
    child.Argv = {(bin / "aesapp").string(), command};
    child.WorkingDirectory = (Folder() / "elsewhere").string();
    const TRun run = RunChild(child);
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Out, "");
    EXPECT_TRUE(Contains(run.Err, "Cannot find the folder of this program: File name too long")) << run.Err;
  }
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(Folder() / "elsewhere"))
    names.insert(entry.path().filename().string());
  EXPECT_EQ(names, std::set<std::string>{"test.txt"});
  // Removed in two halves, so no path on the way passes the limit.
  std::filesystem::remove_all(Folder() / "short" / *half.begin());
  std::filesystem::remove_all(Folder() / "deep");
}

TEST_F(ProgramTest, ArgumentsOtherThanTheCommands) {
  TRun run = Run("--help");
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_TRUE(Contains(run.Out, "--create")) << run.Out;
  EXPECT_TRUE(Contains(run.Out, "--restore")) << run.Out;

  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--encrypt"}, {"--create", "--restore"}}) {
    SCOPED_TRACE(bad.back());
    TChild child;
    child.Argv = {Beside("aesapp").string()};
    child.Argv.insert(child.Argv.end(), bad.begin(), bad.end());
    run = RunChild(child);
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_EQ(run.Out, "");
    EXPECT_TRUE(Contains(run.Err, "Usage: aesapp")) << run.Err;
  }
  EXPECT_FALSE(std::filesystem::exists(Beside("test.aes")));
}

// What scripts/run.sh does on a machine without a display: the job runs without a window and
// the script ends by itself.
TEST_F(ProgramTest, RoundTripScriptRunsTheJobWithoutADisplay) {
  TChild child;
  child.Argv = {std::string(AES_SOURCE_DIR) + "/scripts/round_trip.sh", Beside("aesapp").string()};
  child.Unset = {"DISPLAY", "WAYLAND_DISPLAY"};
  TRun run = RunChild(child);
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_TRUE(Contains(run.Out, "Put a sample test.txt in " + Beside("").parent_path().string())) << run.Out;
  EXPECT_TRUE(Contains(run.Out, "test.aes written in ")) << run.Out;
  EXPECT_TRUE(Contains(run.Out, "test_restore.txt equals test.txt")) << run.Out;
  const Bytes sample = ReadBytes(Beside("test.txt"));
  EXPECT_FALSE(sample.empty());
  EXPECT_TRUE(ReadBytes(Beside("test_restore.txt")) == sample);

  // An existing test.txt is used as it is.
  const Bytes own = testing_support::RandomBytes(5000, 8);
  WriteBytes(Beside("test.txt"), own);
  run = RunChild(child);
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_FALSE(Contains(run.Out, "sample")) << run.Out;
  EXPECT_TRUE(ReadBytes(Beside("test_restore.txt")) == own);
}

}  // namespace
