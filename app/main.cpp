// The program entry. With no argument it opens the main window; --create and --restore run one
// command on the files beside the executable without any window, for scripts and headless use.
#include <QApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "app/Unit1.h"

namespace {

constexpr const char* kUsage =
    "Usage: aesapp [--create | --restore | --help]\n"
    "\n"
    "Encrypts test.txt beside this executable into test.aes, and restores test.aes into\n"
    "test_restore.txt, in the folder of the executable whatever the working directory.\n"
    "\n"
    "test.aes shows the library at work and protects nothing: AES-128-ECB, PKCS7 padding, no integrity\n"
    "check, under a key built into this program, so anyone who has the program can decrypt it. To\n"
    "protect a file with a passphrase, use the command-line tool: orvoaes seal / orvoaes open.\n"
    "\n"
    "  (no argument)  open the window with the buttons \"Create aes\" and \"Restore AES\"\n"
    "  --create       encrypt test.txt into test.aes, without a window\n"
    "  --restore      decrypt test.aes into test_restore.txt, without a window\n"
    "  --help         show this text\n"
    "\n"
    "Without a window, a success prints what was written (file, folder, size, time) and exits\n"
    "with 0; a failure prints the message the window would show on standard error and exits\n"
    "with 1, leaving the earlier output file as it was. A bad argument exits with 2. Without a\n"
    "display the window cannot open: the program says so and exits with 1. When the system\n"
    "cannot tell the folder of the executable (a path beyond its length limit), the commands\n"
    "fail with a message saying so; the working directory is never used instead.\n";

// Text for the terminal: a path's undecodable bytes go out as the bytes they were.
std::string TerminalText(const platform::string& text) {
  return platform::EncodeFileSystemText(text).value_or(platform::ToUTF8String(text));
}

// Runs one command the way a click would, with the component loaded from the window's
// description (a plain component stands in for the window as its owner) and the same texts:
// the status line on standard output after a success, the message on standard error after a
// failure.
int RunCommand(const Commands::TCommand& command) {
  try {
    platform::TComponent form;
    AESObj::TAESEncryption& component = Unit1::LoadAESEncryption1(form);
    const Commands::TOutcome outcome = Commands::RunCommand(command, Unit1::ExecutableDirectory(), component, {});
    if (outcome.Result == Commands::TResult::Succeeded) {
      std::printf("%s\n", TerminalText(outcome.Status).c_str());
      return 0;
    }
    std::fprintf(stderr, "%s\n", TerminalText(outcome.Message).c_str());
  } catch (const std::exception& e) {  // the window's own description, or no folder of our own
    std::fprintf(stderr, "%s\n", e.what());
  }
  return 1;
}

constexpr const char* kNoDisplay =
    "aesapp: no display is available, so the window cannot be shown.\n"
    "Run the commands without a window instead: aesapp --create (test.txt to test.aes) or\n"
    "aesapp --restore (test.aes to test_restore.txt), beside the executable.\n";

// Qt platforms that draw without a display server.
bool PlatformNeedsNoDisplay() {
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM").split(';').front().split(':').front();
  for (const char* name : {"offscreen", "minimal", "minimalegl", "vnc", "linuxfb", "eglfs", "vkkhrdisplay"})
    if (platform == name) return true;
  return false;
}

bool DisplayNamed() { return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"); }

// While the toolkit starts, its fatal error (no platform plugin could reach a display) ends the
// program with our message and status 1 instead of an abort.
QtMessageHandler gToolkitHandler = nullptr;
void StartupMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtFatalMsg) {
    if (gToolkitHandler) gToolkitHandler(type, context, text);
    return;
  }
  (void)text;  // the warnings before it gave the cause; its advice to reinstall is wrong here
  std::fputs(kNoDisplay, stderr);
  std::fflush(stderr);
  std::_Exit(1);
}

int RunWindow(int argc, char* argv[]) {
  if (!PlatformNeedsNoDisplay() && !DisplayNamed()) {
    std::fputs(kNoDisplay, stderr);
    return 1;
  }
  gToolkitHandler = qInstallMessageHandler(StartupMessage);
  QApplication app(argc, argv);
  qInstallMessageHandler(gToolkitHandler);
  try {
    Unit1::TForm3 form;
    form.show();
    return app.exec();
  } catch (const std::exception& e) {  // only the window's own description can fail here
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  // A file-size limit then fails the write with an error we report, instead of killing us.
  std::signal(SIGXFSZ, SIG_IGN);
  if (argc == 1) return RunWindow(argc, argv);
  if (argc == 2 && std::strcmp(argv[1], "--create") == 0) return RunCommand(Unit1::kCreateAes);
  if (argc == 2 && std::strcmp(argv[1], "--restore") == 0) return RunCommand(Unit1::kRestoreAes);
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc > 2)
    std::fprintf(stderr, "aesapp: one argument at most\n\n%s", kUsage);
  else
    std::fprintf(stderr, "aesapp: unknown argument '%s'\n\n%s", argv[1], kUsage);
  return 2;
}
