// Unit1: the main window Form3 and its two file commands.
//
// The commands are plain operations on a directory and the component, so they run with or
// without a window; the window's click handlers call them with the executable's directory.
#pragma once

#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string_view>

#include "app/BackgroundCommand.h"
#include "app/Commands.h"
#include "app/Controls.h"
#include "app/Form3Description.h"
#include "crypto/component/AESObj.h"
#include "platform/Classes.h"

namespace Unit1 {

using platform::string;

// The directory of the running executable, with its final separator.
string ExecutableDirectory();

// "Create aes": encrypts dir + "test.txt" into dir + "test.aes" (EncryptFileW) and returns 0;
// failures raise. A missing test.txt raises the file layer's error before test.aes is touched.
platform::Integer CreateAes(const string& dir, AESObj::TAESEncryption& component);

// "Restore AES": decrypts dir + "test.aes" into dir + "test_restore.txt" (DecryptFileW) and
// returns its status: 0, or -208 when the padding check fails (a restore that did not succeed
// must not look like one). Other failures raise.
platform::Integer RestoreAes(const string& dir, AESObj::TAESEncryption& component);

// The two commands with their captions and files, as the window and the headless run use them.
inline constexpr Commands::TCommand kCreateAes{u"Create aes", u"test.txt", u"test.aes", CreateAes};
inline constexpr Commands::TCommand kRestoreAes{u"Restore AES", u"test.aes", u"test_restore.txt", RestoreAes};

// The window's component alone, for running the commands without a window: the non-visual
// objects of the description created and owned by AOwner; returns AESEncryption1. Raises
// platform::EStoredDescriptionError when the description does not load.
AESObj::TAESEncryption& LoadAESEncryption1(platform::TComponent& AOwner,
                                           std::string_view description = Form3Description());

// The main window. It owns its widgets and AESEncryption1 (as a component) and holds no state of
// its own between clicks. A click starts its command on a thread of its own: while it runs both
// buttons are disabled, the cursor over the window is busy, the progress bar follows the input
// and closing the window asks whether to cancel. Afterwards the status line says what the
// command came to (a long folder shortened in the middle), and a failure is also shown in an
// error box, with the progress bar empty again. A command that ends while the close question is
// open withdraws it: the outcome is shown as usual and the window may be closed again.
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
  QProgressBar* ProgressBar1 = nullptr;
  QLabel* Label1 = nullptr;  // the status line
  AESObj::TAESEncryption* AESEncryption1 = nullptr;

  // Published methods, bound by name to the click events. Sender is not used.
  void Button1Click(platform::TObject* Sender);
  void Button2Click(platform::TObject* Sender);

  // From a click until its outcome has been shown (the error box closed, if any).
  bool CommandRunning() const noexcept { return FCommand.Running() || FShowingOutcome; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  platform::TNotifyEvent PublishedMethod(std::string_view name);
  void StartCommand(const Commands::TCommand& command);
  void ShowProgress();
  void CommandFinished(const Commands::TOutcome& outcome, const string& dir);
  void SetButtonsEnabled(bool enabled);
  void ShowStatus(const string& text, const string& dir);

  TDirectorySource FDirectory;
  Controls::TBackgroundCommand FCommand{*this};
  QTimer FProgressTimer;
  QPointer<QWidget> FFocusBefore;  // the focused button, given the focus back afterwards
  QPointer<QMessageBox> FCloseQuestion;  // "A command is still running…", while it is open
  bool FShowingOutcome = false;
  bool FCloseWhenDone = false;  // the user chose to cancel and close
};

}  // namespace Unit1
