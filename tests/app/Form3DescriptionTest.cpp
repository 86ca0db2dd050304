// The window's stored description: what the stored text builds, and how a bad text fails.
#include <QGuiApplication>
#include <QScreen>
#include <string>

#include "AppTestSupport.h"
#include "app/Unit1.h"
#include "platform/StoredDescription.h"

namespace {

using platform::ToUTF8String;

std::string StoredText() { return std::string(Unit1::Form3Description()); }

// The stored text with one piece replaced; the piece must be there.
std::string Edited(const std::string& from, const std::string& to) {
  std::string text = StoredText();
  const auto at = text.find(from);
  if (at == std::string::npos) ADD_FAILURE() << "not in the stored description: " << from;
  else text.replace(at, from.size(), to);
  return text;
}

platform::string NoFiles() { return u"/nonexistent/"; }

TEST(Form3Description, BuildsTheWindowItsButtonsAndTheComponent) {
  Unit1::TForm3 form(NoFiles);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

  EXPECT_EQ(form.windowTitle(), "Form3");
  EXPECT_EQ(form.size(), QSize(667, 463));  // the client area
  const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE((form.geometry().center() - desktop.center()).manhattanLength(), 2)
      << "window centre " << form.geometry().center().x() << "," << form.geometry().center().y();

  EXPECT_EQ(form.Button1->text(), "Create aes");
  EXPECT_EQ(form.Button1->geometry(), QRect(264, 104, 113, 41));
  EXPECT_EQ(form.Button2->text(), "Restore AES");
  EXPECT_EQ(form.Button2->geometry(), QRect(264, 184, 113, 41));
  // Below the buttons, out of the focus chain: the progress bar and the status line.
  EXPECT_GT(form.ProgressBar1->geometry().top(), form.Button2->geometry().bottom());
  EXPECT_GT(form.Label1->geometry().top(), form.ProgressBar1->geometry().bottom());
  EXPECT_LE(form.Label1->geometry().bottom(), form.height());
  EXPECT_EQ(form.ProgressBar1->focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(form.Label1->focusPolicy(), Qt::NoFocus);

  // Tab order: "Restore AES" first, then "Create aes". The activated window gives the focus to
  // the first of its chain, and Tab moves on to the next.
  EXPECT_EQ(form.nextInFocusChain(), form.Button2);
  EXPECT_EQ(form.Button2->nextInFocusChain(), form.Button1);
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  EXPECT_EQ(QApplication::focusWidget(), form.Button2);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), form.Button1);

  ASSERT_NE(form.AESEncryption1, nullptr);
  EXPECT_EQ(form.AESEncryption1->Owner(), &form);
  EXPECT_EQ(form.AESEncryption1->Name, u"AESEncryption1");
  EXPECT_EQ(form.Name, u"Form3");
  const std::pair<const char*, const char*> properties[] = {
      {"Version", "5.0.0.0"}, {"keyLength", "kl256"},  {"key", "3a5c7e2b4d6f1a3c5e7b2d4f6a1c3e5b"},
      {"inputFormat", "hexa"}, {"outputFormat", "hexa"}, {"IV", "4b2e6c1f5a3d7e08"},
      // Not in the description: the owner-taking constructor's values.
      {"AType", "atCBC"},      {"IVMode", "rand"},      {"paddingMode", "PKCS7"},
      {"Unicode", "yesUni"},   {"Progress", "0"},
  };
  for (const auto& [name, value] : properties)
    EXPECT_EQ(ToUTF8String(form.AESEncryption1->GetPropertyText(name)), value) << name;
}

// Without a window: the same component, owned by the caller's object.
TEST(Form3Description, LoadsTheComponentAloneForTheHeadlessCommands) {
  platform::TComponent owner;
  AESObj::TAESEncryption& aes = Unit1::LoadAESEncryption1(owner);
  EXPECT_EQ(aes.Owner(), &owner);
  EXPECT_EQ(owner.Components().size(), 1u);
  EXPECT_EQ(aes.keyLength(), AESObj::kl256);
  EXPECT_EQ(aes.key(), u"3a5c7e2b4d6f1a3c5e7b2d4f6a1c3e5b");
  EXPECT_EQ(aes.IV(), u"4b2e6c1f5a3d7e08");
  EXPECT_EQ(aes.inputFormat(), MiscObj::hexa);

  platform::TComponent other;
  EXPECT_THROW(Unit1::LoadAESEncryption1(other, Edited("kl256", "kl128")), platform::EStoredDescriptionError);
  EXPECT_TRUE(other.Components().empty()) << "a component that failed to load is destroyed";
}

TEST(Form3Description, BadTextFailsWithAMessageNamingTheFault) {
  struct Case {
    const char* Fault;
    std::string Text;
    std::vector<std::string> Named;  // pieces the message must contain
  };
  const Case cases[] = {
      {"32-character key under kl128", Edited("kl256", "kl128"),
       {"AESEncryption1.key", "Keylength incorrect, must be 16"}},
      {"key listed before keyLength",
       Edited("    keyLength = kl256\n    key = \"3a5c7e2b4d6f1a3c5e7b2d4f6a1c3e5b\"",
              "    key = \"3a5c7e2b4d6f1a3c5e7b2d4f6a1c3e5b\"\n    keyLength = kl256"),
       {"AESEncryption1.key", "Keylength incorrect, must be 16"}},
      {"IV of 15 characters", Edited("4b2e6c1f5a3d7e08", "4b2e6c1f5a3d7e0"),
       {"AESEncryption1.IV", "IV length incorrect, must be 16"}},
      {"unknown component property", Edited("inputFormat = hexa", "inputFormat = hexa\n    colour = red"),
       {"AESEncryption1.colour", "does not exist"}},
      {"unknown enumeration value", Edited("outputFormat = hexa", "outputFormat = hex"),
       {"AESEncryption1.outputFormat", "'hex'"}},
      {"unknown class", Edited(": TAESEncryption", ": TAESCipher"), {"AESEncryption1", "unknown class TAESCipher"}},
      {"unknown button property", Edited("tabOrder = 1", "tabIndex = 1"), {"Button2.tabIndex", "does not exist"}},
      {"unknown click handler", Edited("Button2Click", "Button3Click"), {"Button2.onClick", "Button3Click"}},
      {"number where text belongs", Edited("text = \"Create aes\"", "text = 5"), {"Button1.text", "text"}},
      {"unknown placement", Edited("desktopCenter", "screenMiddle"), {"Form3.placement", "'screenMiddle'"}},
      {"missing button", Edited("Button2: TButton", "Button9: TButton"), {"Form3", "Button2"}},
      {"another window class", Edited("Form3: TForm3", "Form3: TForm4"), {"Form3", "TForm3"}},
      {"malformed syntax", Edited("caption = \"Form3\"", "caption \"Form3\""), {"line 7", "'='"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Fault);
    try {
      Unit1::TForm3 form(NoFiles, c.Text);
      ADD_FAILURE() << "the description loaded";
    } catch (const platform::EStoredDescriptionError& e) {
      for (const std::string& piece : c.Named)
        EXPECT_NE(std::string(e.what()).find(piece), std::string::npos) << e.what();
    }
  }
}

}  // namespace
