// Unit1: the main window Form3 and its two file commands.
//
// The commands are plain operations on a directory and the component, so they run with or
// without a window; the window's click handlers call them with the executable's directory.
#pragma once

#include <QWidget>
#include <functional>
#include <string_view>

#include "app/Controls.h"
#include "app/Form3Description.h"
#include "crypto/component/AESObj.h"
#include "platform/Classes.h"

namespace Unit1 {

using platform::string;

// The directory of the running executable, with its final separator.
string ExecutableDirectory();

// "Create aes": encrypts dir + "test.txt" into dir + "test.aes" (EncryptFileW). A missing
// test.txt raises the file layer's error before test.aes is touched.
void CreateAes(const string& dir, AESObj::TAESEncryption& component);

// "Restore AES": decrypts dir + "test.aes" into dir + "test_restore.txt" (DecryptFileW). A
// failed padding check raises MiscObj::ESelvane(-208), whose message is the catalogue's, after
// test_restore.txt has been written: a restore that did not succeed must not look like one.
void RestoreAes(const string& dir, AESObj::TAESEncryption& component);

// The window's component alone, for running the commands without a window: the non-visual
// objects of the description created and owned by AOwner; returns AESEncryption1. Raises
// platform::EStoredDescriptionError when the description does not load.
AESObj::TAESEncryption& LoadAESEncryption1(platform::TComponent& AOwner,
                                           std::string_view description = Form3Description());

// The main window. It owns its buttons (as widgets) and AESEncryption1 (as a component) and
// holds no state of its own between clicks.
class TForm3 : public QWidget, public platform::TComponent {
 public:
  // Where the commands find their files; asked anew on every click.
  using TDirectorySource = std::function<string()>;

  // Builds the window from description; raises platform::EStoredDescriptionError when it does
  // not load (the class must be TForm3 and name Button1, Button2 and AESEncryption1).
  explicit TForm3(TDirectorySource directory = ExecutableDirectory,
                  std::string_view description = Form3Description());

  // Published fields, bound by name to the objects of the description.
  Controls::TButton* Button1 = nullptr;
  Controls::TButton* Button2 = nullptr;
  AESObj::TAESEncryption* AESEncryption1 = nullptr;

  // Published methods, bound by name to the click events. Sender is not used.
  void Button1Click(platform::TObject* Sender);
  void Button2Click(platform::TObject* Sender);

 private:
  platform::TNotifyEvent PublishedMethod(std::string_view name);

  TDirectorySource FDirectory;
};

}  // namespace Unit1
