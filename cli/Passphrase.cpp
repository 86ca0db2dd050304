#include "Passphrase.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Common.h"
#include "Progress.h"

namespace cli {

namespace {

constexpr std::size_t kMaxPassphrase = 4096;

// Reads one line (at most kMaxPassphrase bytes) from fd, one byte at a time so nothing after
// the line is consumed.
void ReadLine(int fd, const std::string& source, TSecretString& out) {
  out.Value.reserve(kMaxPassphrase + 1);
  for (char c;;) {
    const ssize_t r = ::read(fd, &c, 1);
    if (r < 0 && errno == EINTR) {
      CheckInterrupted();
      continue;
    }
    if (r < 0) Fail(source + ": " + std::strerror(errno));
    if (r == 0 || c == '\n') break;
    if (out.Value.size() == kMaxPassphrase) Fail(source + ": the passphrase is too long");
    out.Value.push_back(c);
  }
  if (!out.Value.empty() && out.Value.back() == '\r') out.Value.pop_back();
}

// Echo off on the terminal while the holder lives.
class TNoEcho {
 public:
  explicit TNoEcho(int fd) : FFd(fd) {
    FOk = ::tcgetattr(fd, &FSaved) == 0;
    termios quiet = FSaved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    if (FOk) ::tcsetattr(fd, TCSANOW, &quiet);
  }
  ~TNoEcho() {
    if (FOk) ::tcsetattr(FFd, TCSANOW, &FSaved);
  }

 private:
  int FFd;
  bool FOk;
  termios FSaved{};
};

void AskTerminal(const char* prompt, TSecretString& out) {
  const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (tty < 0) UsageFail("no terminal to ask for the passphrase: use --passphrase-fd, --passphrase-file or --key-file");
  try {
    {
      TNoEcho quiet(tty);  // before the prompt, so nothing typed after it is echoed or lost
      (void)!::write(tty, prompt, std::strlen(prompt));
      ReadLine(tty, "terminal", out);
    }
    (void)!::write(tty, "\n", 1);
  } catch (...) {
    ::close(tty);
    throw;
  }
  ::close(tty);
}

}  // namespace

void ReadPassphrase(const TPassphraseOptions& o, bool confirm, TSecretString& out, const std::string& what) {
  if (o.Fd >= 0) {
    ReadLine(o.Fd, "passphrase file descriptor " + std::to_string(o.Fd), out);
  } else if (!o.File.empty()) {
    const int fd = ::open(o.File.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) Fail(o.File + ": " + std::strerror(errno));
    try {
      ReadLine(fd, o.File, out);
    } catch (...) {
      ::close(fd);
      throw;
    }
    ::close(fd);
  } else {
    AskTerminal((what + ": ").c_str(), out);
    if (confirm) {
      TSecretString again;
      AskTerminal((what + " again: ").c_str(), again);
      if (again.Value != out.Value) Fail("the two passphrases differ");
    }
  }
  if (out.Value.empty()) Fail("the passphrase is empty");
}

}  // namespace cli
