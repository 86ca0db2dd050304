// The program entry. With no argument it opens the main window; --create and --restore run one
// command on the files beside the executable without any window, for scripts and headless use.
#include <QApplication>
#include <cstdio>
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
    "  (no argument)  open the window with the buttons \"Create aes\" and \"Restore AES\"\n"
    "  --create       encrypt test.txt into test.aes, without a window\n"
    "  --restore      decrypt test.aes into test_restore.txt, without a window\n"
    "  --help         show this text\n"
    "\n"
    "Without a window nothing is printed on success and the exit status is 0; on failure the\n"
    "error message goes to standard error and the exit status is 1. A bad argument exits with 2.\n";

// Runs one command the way a click would, with the component loaded from the window's
// description; a plain component stands in for the window as its owner.
int RunCommand(void (*command)(const platform::string&, AESObj::TAESEncryption&)) {
  try {
    platform::TComponent form;
    command(Unit1::ExecutableDirectory(), Unit1::LoadAESEncryption1(form));
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}

int RunWindow(int argc, char* argv[]) {
  QApplication app(argc, argv);
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
  if (argc == 1) return RunWindow(argc, argv);
  if (argc == 2 && std::strcmp(argv[1], "--create") == 0) return RunCommand(Unit1::CreateAes);
  if (argc == 2 && std::strcmp(argv[1], "--restore") == 0) return RunCommand(Unit1::RestoreAes);
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
