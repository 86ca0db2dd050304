// Helpers of the program's tests: a fresh folder per test, whole-file reads and writes, the key
// the stored description gives the file operations, and a click that reports the error box.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "Oracle.h"
#include "platform/SysUtils.h"

namespace app_test {

using testing_support::Bytes;

// The stored key text decoded from hexadecimal; all 16 values are below 0x80, so their UTF-8
// form is the same 16 bytes and the file operations use AES-128.
inline Bytes StoredKeyBytes() { return testing_support::FromHex("3a5c7e2b4d6f1a3c5e7b2d4f6a1c3e5b"); }

inline Bytes OpenSSLFileEncryption(const Bytes& plain) {
  return testing_support::OpenSSLCrypt(true, 0, StoredKeyBytes(), {}, plain, true);
}

inline Bytes ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

// A fresh folder per test, removed afterwards.
class TempFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("aesapp_") + info->test_suite_name() + "_" + info->name() + "_" +
                       std::to_string(::getpid());
    for (char& c : name)
      if (c == '/') c = '_';
    FFolder = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(FFolder);
    std::filesystem::create_directories(FFolder);
  }
  void TearDown() override { std::filesystem::remove_all(FFolder); }

  const std::filesystem::path& Folder() const { return FFolder; }
  std::filesystem::path File(const std::string& name) const { return FFolder / name; }
  // The folder as the commands take it: with its final separator.
  platform::string FolderText() const { return platform::FromUTF8(FFolder.string() + "/"); }

 private:
  std::filesystem::path FFolder;
};

// What a click showed in an error box.
struct TShownBox {
  bool Shown = false;
  QMessageBox::Icon Icon = QMessageBox::NoIcon;
  std::string Title;
  std::string Text;
};

// Watches for a modal message box while it lives: takes its icon, title and text, and closes it
// with answer.
class TBoxWatcher {
 public:
  explicit TBoxWatcher(QMessageBox::StandardButton answer = QMessageBox::Ok) {
    QObject::connect(&FTimer, &QTimer::timeout, [this, answer] {
      if (auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        FBox = {true, shown->icon(), shown->windowTitle().toStdString(), shown->text().toStdString()};
        if (QAbstractButton* button = shown->button(answer)) button->click();
        else shown->done(answer);
      }
    });
    FTimer.start(5);
  }
  const TShownBox& Box() const { return FBox; }

 private:
  QTimer FTimer;
  TShownBox FBox;
};

// Clicks the button with the mouse and waits, with the event loop turning, until running()
// turns false (the command has finished and its error box, if any, was shown and closed).
inline TShownBox ClickAndCloseBox(QAbstractButton* button, const std::function<bool()>& running) {
  TBoxWatcher watcher;
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !running(); }, 120000)) << "the command did not finish";
  return watcher.Box();
}

}  // namespace app_test
