// The real window, clicked with the mouse and driven by the keyboard on the offscreen platform;
// its commands work in a temporary folder.
#include <QCloseEvent>
#include <QElapsedTimer>
#include <memory>
#include <set>

#include "AppTestSupport.h"
#include "app/Unit1.h"

namespace {

using namespace app_test;

constexpr const char* kBadPaddingMessage =
    "Restore AES: test.aes cannot be decrypted: Error: in AES, the cipher text cannot be decrypted because the "
    "padding is not correct\n";

bool Contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

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

  bool Running() const { return Form->CommandRunning(); }
  TShownBox CreateAes() { return ClickAndCloseBox(Form->Button1, [this] { return Running(); }); }
  TShownBox RestoreAes() { return ClickAndCloseBox(Form->Button2, [this] { return Running(); }); }
  std::string StatusLine() const { return Form->Label1->text().toStdString(); }

  std::set<std::string> FilesInFolder() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Folder())) names.insert(entry.path().filename().string());
    return names;
  }

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

// The command runs while the event loop turns: the click returns at once, a timer fires during
// the command, both buttons are disabled (a click then does nothing) under a busy cursor, and
// afterwards the progress bar is full and the status line says what was written where.
TEST_F(Form3Test, ACommandRunsWhileTheWindowStaysResponsive) {
  const Bytes plain = testing_support::RandomBytes(24u << 20, 9);
  WriteBytes(File("test.txt"), plain);

  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(1);

  QTest::mouseClick(Form->Button1, Qt::LeftButton);
  ASSERT_TRUE(Running()) << "the click waited for the command";
  EXPECT_FALSE(Form->Button1->isEnabled());
  EXPECT_FALSE(Form->Button2->isEnabled());
  EXPECT_EQ(Form->cursor().shape(), Qt::BusyCursor);
  EXPECT_TRUE(Contains(StatusLine(), "Create aes")) << StatusLine();
  QTest::mouseClick(Form->Button2, Qt::LeftButton);  // disabled: nothing is queued

  ASSERT_TRUE(QTest::qWaitFor([&] { return !Running(); }, 120000));
  EXPECT_GT(ticks, 0) << "no timer fired while the command ran";
  EXPECT_TRUE(Form->Button1->isEnabled());
  EXPECT_TRUE(Form->Button2->isEnabled());
  EXPECT_NE(Form->cursor().shape(), Qt::BusyCursor);
  EXPECT_EQ(Form->ProgressBar1->value(), Form->ProgressBar1->maximum());
  EXPECT_TRUE(Contains(StatusLine(), "test.aes written in " + Folder().string() + " (25.2 MB, ")) << StatusLine();

  QTest::qWait(50);
  EXPECT_FALSE(std::filesystem::exists(File("test_restore.txt"))) << "the click during the command ran afterwards";
  EXPECT_TRUE(ReadBytes(File("test.aes")) == OpenSSLFileEncryption(plain));
}

// Enter, the keypad's Enter and Space each activate the button that has the focus.
TEST_F(Form3Test, EnterAndSpaceActivateTheFocusedButton) {
  WriteBytes(File("test.txt"), testing_support::RandomBytes(40, 10));
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
    SCOPED_TRACE(key);
    std::filesystem::remove(File("test.aes"));
    Form->Button1->setFocus();
    QTest::keyClick(Form->Button1, key);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Running(); }, 60000));
    EXPECT_TRUE(std::filesystem::exists(File("test.aes")));
  }
}

// The file error is shown under the window's caption, the old test.aes stays as it was, and the
// window goes on working.
TEST_F(Form3Test, MissingTestTxtShowsTheFileErrorAndLeavesTestAesAlone) {
  const Bytes old = testing_support::RandomBytes(48, 1);
  WriteBytes(File("test.aes"), old);

  const TShownBox box = CreateAes();
  EXPECT_TRUE(box.Shown);
  EXPECT_EQ(box.Icon, QMessageBox::Critical);
  EXPECT_EQ(box.Title, "Form3");
  EXPECT_TRUE(Contains(box.Text, "Create aes: test.txt cannot be opened: Cannot open file \"" +
                                     File("test.txt").string() + "\"")) << box.Text;
  EXPECT_EQ(StatusLine(), "Create aes failed: test.txt cannot be opened");
  EXPECT_TRUE(ReadBytes(File("test.aes")) == old);

  const Bytes plain = testing_support::RandomBytes(20, 2);
  WriteBytes(File("test.txt"), plain);
  EXPECT_FALSE(CreateAes().Shown);
  EXPECT_TRUE(ReadBytes(File("test.aes")) == OpenSSLFileEncryption(plain));
}

// A failed padding check is reported with the catalogue's message and what it means, and
// nothing is restored: an earlier test_restore.txt stays byte for byte.
TEST_F(Form3Test, RestoreWithBadPaddingShowsTheMessageAndRestoresNothing) {
  Bytes twoBlocks = testing_support::RandomBytes(32, 3);
  twoBlocks[31] = 0x20;  // the final block's padding byte, above 16
  const Bytes earlier = testing_support::RandomBytes(70, 4);
  WriteBytes(File("test_restore.txt"), earlier);

  struct Case {
    const char* Name;
    Bytes TestAes;
  };
  const Case cases[] = {
      {"empty test.aes", {}},
      {"shorter than a block", Bytes(5, 0xAB)},
      {"final block with padding byte 0x20",
       testing_support::OpenSSLCrypt(true, 0, StoredKeyBytes(), {}, twoBlocks, false)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteBytes(File("test.aes"), c.TestAes);
    const TShownBox box = RestoreAes();
    EXPECT_TRUE(box.Shown);
    EXPECT_EQ(box.Icon, QMessageBox::Critical);
    EXPECT_EQ(box.Title, "Form3");
    EXPECT_EQ(box.Text.substr(0, box.Text.find('\n') + 1), kBadPaddingMessage);
    EXPECT_TRUE(Contains(box.Text, "damaged, or it was not made with this key")) << box.Text;
    EXPECT_EQ(StatusLine(), "Restore AES failed: test.aes cannot be decrypted");
    EXPECT_TRUE(ReadBytes(File("test_restore.txt")) == earlier);
  }

  // The window is still usable: a good file restores without a box.
  const Bytes plain(twoBlocks.begin(), twoBlocks.begin() + 16);
  WriteBytes(File("test.txt"), plain);
  EXPECT_FALSE(CreateAes().Shown);
  EXPECT_FALSE(RestoreAes().Shown);
  EXPECT_TRUE(ReadBytes(File("test_restore.txt")) == plain);
}

// Closing during a command asks first. "No" lets it go on; "Yes" cancels it, and the window
// closes with the earlier test.aes as it was and no other file left behind.
TEST_F(Form3Test, ClosingDuringACommandAsksAndCancellingLeavesNothing) {
  const Bytes earlier = testing_support::RandomBytes(48, 5);
  WriteBytes(File("test.aes"), earlier);
  WriteBytes(File("test.txt"), testing_support::RandomBytes(96u << 20, 6));

  QTest::mouseClick(Form->Button1, Qt::LeftButton);
  ASSERT_TRUE(Running());
  {
    TBoxWatcher no(QMessageBox::No);
    EXPECT_FALSE(Form->close());
    EXPECT_TRUE(no.Box().Shown);
    EXPECT_EQ(no.Box().Title, "Form3");
    EXPECT_TRUE(Contains(no.Box().Text, "Cancel")) << no.Box().Text;
  }
  EXPECT_TRUE(Form->isVisible());
  {
    TBoxWatcher yes(QMessageBox::Yes);
    Form->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Running(); }, 120000));
    EXPECT_TRUE(yes.Box().Shown);
  }
  EXPECT_FALSE(Form->isVisible());
  EXPECT_TRUE(ReadBytes(File("test.aes")) == earlier);
  EXPECT_EQ(FilesInFolder(), (std::set<std::string>{"test.aes", "test.txt"}));
}

// A command that ends while the close question is open withdraws it: nobody answers, the window
// stays, shows the outcome as usual (a failure's box alone, not over the question) and closes
// when asked again.
TEST_F(Form3Test, ACommandThatEndsWhileTheCloseQuestionIsOpenWithdrawsIt) {
  struct Case {
    const char* Name;
    Controls::TButton* Unit1::TForm3::*Button;
    bool Fails;
    const char* Status;
  };
  const Bytes plain = testing_support::RandomBytes(64u << 20, 11);
  Bytes badEnd = plain;
  badEnd.back() = 0x20;  // the final block's padding byte, above 16
  const Bytes damaged = testing_support::OpenSSLCrypt(true, 0, StoredKeyBytes(), {}, badEnd, false);
  const Case cases[] = {
      {"create", &Unit1::TForm3::Button1, false, "test.aes written in "},
      {"restore of a damaged test.aes", &Unit1::TForm3::Button2, true,
       "Restore AES failed: test.aes cannot be decrypted"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    OpenWindow();
    WriteBytes(File("test.txt"), plain);
    WriteBytes(File("test.aes"), damaged);

    bool asked = false, answeredByTest = false, boxOverQuestion = false;
    TShownBox failure;
    QElapsedTimer open;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      if (box->icon() == QMessageBox::Question) {
        if (!asked) open.start();
        asked = true;
        if (open.elapsed() > 60000) {  // never withdrawn: answer, so the test ends
          answeredByTest = true;
          box->button(QMessageBox::No)->click();
        }
        return;
      }
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* other = qobject_cast<QMessageBox*>(w);
        if (other && other != box && other->isVisible()) boxOverQuestion = true;
      }
      failure = {true, box->icon(), box->windowTitle().toStdString(), box->text().toStdString()};
      box->button(QMessageBox::Ok)->click();
    });
    watcher.start(5);

    QTest::mouseClick(Form.get()->*c.Button, Qt::LeftButton);
    ASSERT_TRUE(Running());
    EXPECT_FALSE(Form->close());  // returns once the question is gone
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Running(); }, 120000));
    watcher.stop();

    EXPECT_TRUE(asked);
    EXPECT_FALSE(answeredByTest) << "the question stayed open after the command ended";
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(Form->isVisible());
    EXPECT_TRUE(Contains(StatusLine(), c.Status)) << StatusLine();
    EXPECT_EQ(failure.Shown, c.Fails);
    EXPECT_FALSE(boxOverQuestion) << "the failure's box was stacked on the question";
    EXPECT_EQ(Form->ProgressBar1->value(),
              c.Fails ? Form->ProgressBar1->minimum() : Form->ProgressBar1->maximum());
    if (!c.Fails) {
      EXPECT_TRUE(ReadBytes(File("test.aes")) == OpenSSLFileEncryption(plain));
    }

    EXPECT_TRUE(Form->close());
    EXPECT_FALSE(Form->isVisible());
  }
}

// A long folder is shortened in the middle: the status line keeps its start, the size and the
// time in one line of the label, and its tooltip has the whole text.
TEST_F(Form3Test, ALongFolderLeavesTheSizeAndTimeInView) {
  const std::filesystem::path deep = Folder() / std::string(120, 'a') / std::string(120, 'b') / "end";
  std::filesystem::create_directories(deep);
  WriteBytes(deep / "test.txt", testing_support::RandomBytes(100, 12));
  Form = std::make_unique<Unit1::TForm3>([dir = platform::FromUTF8(deep.string() + "/")] { return dir; });
  Form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));

  EXPECT_FALSE(CreateAes().Shown);
  const QString shown = Form->Label1->text();
  const std::string text = shown.toStdString();
  EXPECT_EQ(text.rfind("test.aes written in " + Folder().string().substr(0, 4), 0), 0u) << text;
  EXPECT_TRUE(Contains(text, "…")) << text;
  EXPECT_TRUE(Contains(text, "end (112 bytes, ")) << text;
  EXPECT_LE(Form->Label1->fontMetrics().horizontalAdvance(shown), Form->Label1->contentsRect().width()) << text;
  EXPECT_EQ(Form->Label1->toolTip().toStdString(), "test.aes written in " + deep.string() +
                                                       text.substr(text.find(" (112 bytes")));
}

}  // namespace
