// The real window, clicked with the mouse on the offscreen platform; its commands work in a
// temporary folder.
#include <memory>

#include "AppTestSupport.h"
#include "app/Unit1.h"

namespace {

using namespace app_test;

constexpr const char* kBadPaddingMessage =
    "Error: in AES, the cipher text cannot be decrypted because the padding is not correct";

class Form3Test : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    OpenWindow();
  }

  // A new window, as after a restart of the program.
  void OpenWindow() {
    Form.reset();
    Form = std::make_unique<Unit1::TForm3>([dir = FolderText()] { return dir; });
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  }

  TShownBox CreateAes() { return ClickAndCloseBox(Form->Button1); }
  TShownBox RestoreAes() { return ClickAndCloseBox(Form->Button2); }

  std::unique_ptr<Unit1::TForm3> Form;
};

// test.aes is AES-128-ECB with PKCS7 under the stored key (16 * (L div 16 + 1) bytes), and
// "Restore AES" gives back test.txt byte for byte; lengths around a block and around the
// engine's 160000-byte chunk, and a file of several chunks.
TEST_F(Form3Test, CreateMatchesOpenSSLAndRestoreGivesThePlainFileBack) {
  for (const std::size_t length : {0u, 1u, 15u, 16u, 100u, 160000u, 160001u, 3u * 1024 * 1024 + 7}) {
    SCOPED_TRACE(length);
    const Bytes plain = testing_support::RandomBytes(length, static_cast<std::uint32_t>(length));
    WriteBytes(File("test.txt"), plain);

    EXPECT_FALSE(CreateAes().Shown);
    const Bytes encrypted = ReadBytes(File("test.aes"));
    EXPECT_EQ(encrypted.size(), 16 * (length / 16 + 1));
    EXPECT_TRUE(encrypted == OpenSSLFileEncryption(plain));

    EXPECT_FALSE(RestoreAes().Shown);
    EXPECT_TRUE(ReadBytes(File("test_restore.txt")) == plain);
  }
}

TEST_F(Form3Test, RestoreAfterRepeatedCreateAndAfterARestart) {
  const Bytes plain = testing_support::RandomBytes(100, 7);
  WriteBytes(File("test.txt"), plain);
  EXPECT_FALSE(CreateAes().Shown);
  EXPECT_FALSE(CreateAes().Shown);
  EXPECT_FALSE(RestoreAes().Shown);
  EXPECT_TRUE(ReadBytes(File("test_restore.txt")) == plain);

  std::filesystem::remove(File("test_restore.txt"));
  OpenWindow();
  EXPECT_FALSE(RestoreAes().Shown);
  EXPECT_TRUE(ReadBytes(File("test_restore.txt")) == plain);
}

// The file error is shown, the old test.aes stays as it was, and the window goes on working.
TEST_F(Form3Test, MissingTestTxtShowsTheFileErrorAndLeavesTestAesAlone) {
  const Bytes old = testing_support::RandomBytes(48, 1);
  WriteBytes(File("test.aes"), old);

  const TShownBox box = CreateAes();
  EXPECT_TRUE(box.Shown);
  EXPECT_EQ(box.Icon, QMessageBox::Critical);
  EXPECT_NE(box.Text.find("Cannot open file"), std::string::npos) << box.Text;
  EXPECT_NE(box.Text.find(File("test.txt").string()), std::string::npos) << box.Text;
  EXPECT_TRUE(ReadBytes(File("test.aes")) == old);

  const Bytes plain = testing_support::RandomBytes(20, 2);
  WriteBytes(File("test.txt"), plain);
  EXPECT_FALSE(CreateAes().Shown);
  EXPECT_TRUE(ReadBytes(File("test.aes")) == OpenSSLFileEncryption(plain));
}

// A failed padding check is reported with the catalogue's message instead of passing for a
// success; test_restore.txt is not written, so no partial plain text is left behind.
TEST_F(Form3Test, RestoreWithBadPaddingShowsTheCatalogueMessage) {
  Bytes twoBlocks = testing_support::RandomBytes(32, 3);
  twoBlocks[31] = 0x20;  // the final block's padding byte, above 16
  const Bytes firstBlock(twoBlocks.begin(), twoBlocks.begin() + 16);

  struct Case {
    const char* Name;
    Bytes TestAes;
  };
  const Case cases[] = {
      {"empty test.aes", {}},
      {"shorter than a block", Bytes(5, 0xAB)},
      {"final block with padding byte 0x20", testing_support::OpenSSLCrypt(true, 0, StoredKeyBytes(), {}, twoBlocks, false)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteBytes(File("test.aes"), c.TestAes);
    const TShownBox box = RestoreAes();
    EXPECT_TRUE(box.Shown);
    EXPECT_EQ(box.Icon, QMessageBox::Critical);
    EXPECT_EQ(box.Text, kBadPaddingMessage);
    EXPECT_FALSE(std::filesystem::exists(File("test_restore.txt")));  // no partial plain text
  }

  // The window is still usable: a good file restores without a box.
  WriteBytes(File("test.txt"), firstBlock);
  EXPECT_FALSE(CreateAes().Shown);
  EXPECT_FALSE(RestoreAes().Shown);
  EXPECT_TRUE(ReadBytes(File("test_restore.txt")) == firstBlock);
}

}  // namespace
