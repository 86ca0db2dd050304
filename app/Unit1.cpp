#include "app/Unit1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <utility>

#include "app/FormLoader.h"
#include "platform/Files.h"
#include "platform/StoredDescription.h"

namespace Unit1 {

namespace {

using platform::EStoredDescriptionError;

constexpr std::pair<std::string_view, void (TForm3::*)(platform::TObject*)> kPublishedMethods[] = {
    {"Button1Click", &TForm3::Button1Click},
    {"Button2Click", &TForm3::Button2Click},
};

template <class T>
T& Bound(T* field, const platform::TStoredObject& form, std::u16string_view name) {
  if (!field)
    throw EStoredDescriptionError(platform::DescriptionErrorPrefix(form) + u"no " + string(name) +
                                  u" of the expected class");
  return *field;
}

// TButton has no meta-object of its own, so its class is checked with dynamic_cast.
Controls::TButton* FindButton(const QWidget& window, std::u16string_view name) {
  return dynamic_cast<Controls::TButton*>(
      window.findChild<QPushButton*>(QString::fromStdU16String(string(name)), Qt::FindDirectChildrenOnly));
}

AESObj::TAESEncryption* FindAESEncryption1(const platform::TComponent& owner) {
  return dynamic_cast<AESObj::TAESEncryption*>(owner.FindComponent(u"AESEncryption1"));
}

}  // namespace

string ExecutableDirectory() { return platform::ExtractFilePath(platform::GetModuleFileName()); }

platform::Integer CreateAes(const string& dir, AESObj::TAESEncryption& component) {
  component.EncryptFileW(dir + u"test.txt", dir + u"test.aes");
  return 0;
}

platform::Integer RestoreAes(const string& dir, AESObj::TAESEncryption& component) {
  return component.DecryptFileW(dir + u"test.aes", dir + u"test_restore.txt");
}

AESObj::TAESEncryption& LoadAESEncryption1(platform::TComponent& AOwner, std::string_view description) {
  const platform::TStoredObject form = platform::ParseStoredDescription(description);
  FormLoader::LoadComponents(form, AOwner);
  return Bound(FindAESEncryption1(AOwner), form, u"AESEncryption1");
}

TForm3::TForm3(TDirectorySource directory, std::string_view description) : FDirectory(std::move(directory)) {
  const platform::TStoredObject form = platform::ParseStoredDescription(description);
  if (form.ClassName != "TForm3")
    throw EStoredDescriptionError(platform::DescriptionErrorPrefix(form) + u"the main window's class is TForm3");
  Name = form.Name;
  FormLoader::LoadForm(form, *this, *this, [this](std::string_view name) { return PublishedMethod(name); });
  Button1 = &Bound(FindButton(*this, u"Button1"), form, u"Button1");
  Button2 = &Bound(FindButton(*this, u"Button2"), form, u"Button2");
  ProgressBar1 = &Bound(findChild<QProgressBar*>("ProgressBar1", Qt::FindDirectChildrenOnly), form, u"ProgressBar1");
  Label1 = &Bound(findChild<QLabel*>("Label1", Qt::FindDirectChildrenOnly), form, u"Label1");
  AESEncryption1 = &Bound(FindAESEncryption1(*this), form, u"AESEncryption1");

  // A few dozen updates a second at most, however fast the chunks go by.
  FProgressTimer.setInterval(40);
  QObject::connect(&FProgressTimer, &QTimer::timeout, this, [this] { ShowProgress(); });
}

platform::TNotifyEvent TForm3::PublishedMethod(std::string_view name) {
  for (const auto& [methodName, method] : kPublishedMethods)
    if (methodName == name) return [this, method](platform::TObject* Sender) { (this->*method)(Sender); };
  return {};
}

void TForm3::Button1Click(platform::TObject* /*Sender*/) { StartCommand(kCreateAes); }

void TForm3::Button2Click(platform::TObject* /*Sender*/) { StartCommand(kRestoreAes); }

void TForm3::StartCommand(const Commands::TCommand& command) {
  if (CommandRunning()) return;
  const string dir = FDirectory();
  FFocusBefore = QApplication::focusWidget();
  SetButtonsEnabled(false);
  setCursor(Qt::BusyCursor);
  ProgressBar1->setValue(ProgressBar1->minimum());
  ShowStatus(string(command.Caption) + u": " + string(command.Input) + u" to " + string(command.Output) + u" in " + dir,
             dir);
  FProgressTimer.start();
  // The component belongs to the command's thread until CommandFinished.
  FCommand.Start(
      [&command, dir, component = AESEncryption1](platform::TChunkProgress progress) {
        return Commands::RunCommand(command, dir, *component, std::move(progress));
      },
      [this, dir](const Commands::TOutcome& outcome) { CommandFinished(outcome, dir); });
}

void TForm3::ShowProgress() {
  const std::int64_t total = FCommand.Total();
  if (total <= 0) return;
  const double part = static_cast<double>(FCommand.Done()) / static_cast<double>(total);
  ProgressBar1->setValue(ProgressBar1->minimum() +
                         static_cast<int>(part * (ProgressBar1->maximum() - ProgressBar1->minimum())));
}

void TForm3::CommandFinished(const Commands::TOutcome& outcome, const string& dir) {
  FProgressTimer.stop();
  // The close question asked about a command that is no longer running: withdraw it.
  if (FCloseQuestion) FCloseQuestion->done(QMessageBox::No);
  // A full bar after a success; after a failure an empty one, so it cannot read as almost done.
  ProgressBar1->setValue(outcome.Result == Commands::TResult::Succeeded ? ProgressBar1->maximum()
                                                                         : ProgressBar1->minimum());
  ShowStatus(outcome.Status, dir);
  unsetCursor();
  SetButtonsEnabled(true);
  if (FFocusBefore) FFocusBefore->setFocus();
  if (FCloseWhenDone) {
    close();
    return;
  }
  if (outcome.Result == Commands::TResult::Failed) {
    FShowingOutcome = true;
    Controls::ShowError(this, QString::fromStdU16String(outcome.Message));
    FShowingOutcome = false;
  }
}

void TForm3::SetButtonsEnabled(bool enabled) {
  Button1->setEnabled(enabled);
  Button2->setEnabled(enabled);
}

// The folder shortened in the middle when the line is too long for the status line.
void TForm3::ShowStatus(const string& text, const string& dir) {
  Controls::ShowStatus(*Label1, QString::fromStdU16String(text), QString::fromStdU16String(Commands::FolderOf(dir)));
}

void TForm3::closeEvent(QCloseEvent* event) {
  if (!FCommand.Running() || FCloseWhenDone) {
    QWidget::closeEvent(event);
    return;
  }
  event->ignore();
  if (FCloseQuestion) return;  // already asking
  QMessageBox question(QMessageBox::Question, windowTitle(),
                       QStringLiteral("A command is still running. Cancel it and close the window?\n"
                                      "The file it is writing is left as it was."),
                       QMessageBox::Yes | QMessageBox::No, this);
  question.setDefaultButton(QMessageBox::No);
  FCloseQuestion = &question;
  const int answer = question.exec();
  FCloseQuestion = nullptr;
  // No, or withdrawn because the command ended meanwhile (its outcome is shown instead).
  if (answer != QMessageBox::Yes || !FCommand.Running()) return;
  FCloseWhenDone = true;
  FCommand.Cancel();
  Label1->setText(QStringLiteral("Cancelling…"));
}

}  // namespace Unit1
