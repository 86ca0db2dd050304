#include "Progress.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "Common.h"

namespace cli {

namespace {

volatile sig_atomic_t gInterrupted = 0;

void OnInterrupt(int) { gInterrupted = 1; }

// Inputs below this size finish before a bar would be worth drawing.
constexpr std::int64_t kLargeInput = 4 << 20;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

std::string Bytes(double n) {
  const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  int u = 0;
  while (n >= 1024 && u < 4) n /= 1024, ++u;
  char text[32];
  std::snprintf(text, sizeof text, u == 0 ? "%.0f %s" : "%.1f %s", n, units[u]);
  return text;
}

std::string Duration(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  return text;
}

}  // namespace

void InstallSignalHandlers() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocked read of standard input returns at once
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGXFSZ, SIG_IGN);
  signal(SIGPIPE, SIG_IGN);
}

bool Interrupted() { return gInterrupted != 0; }

void CheckInterrupted() {
  if (Interrupted()) throw TFailure("interrupted", kExitInterrupted);
}

TProgress::TProgress(bool quiet, std::int64_t total, int passes)
    : FEnabled(!quiet && total >= kLargeInput && ::isatty(STDERR_FILENO) == 1),
      FTotal(total),
      FPasses(passes),
      FStart(std::chrono::steady_clock::now()),
      FLastDraw(FStart) {}

TProgress::~TProgress() { Erase(); }

bool TProgress::Update(std::int64_t done) {
  if (Interrupted()) return false;
  if (!FEnabled) return true;
  const auto now = std::chrono::steady_clock::now();
  if (now - FLastDraw < kRedrawInterval) return true;
  FLastDraw = now;
  Draw(done, std::chrono::duration<double>(now - FStart).count());
  return true;
}

platform::TChunkProgress TProgress::Callback() {
  return [this](std::int64_t done, std::int64_t) { return Update(done); };
}

// The terminal's width in columns, or 0 when it is not known.
static int TerminalColumns() {
  winsize size {};
  return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

void TProgress::Draw(std::int64_t work, double seconds) {
  const double done = std::min<double>(double(work) / FPasses, double(FTotal));
  const double rate = seconds > 0 ? done / seconds : 0;
  const double left = rate > 0 ? (FTotal - done) / rate : 0;
  char percent[8];
  std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(FTotal > 0 ? done * 100 / FTotal : 100));
  // The whole line, a shorter one, or nothing: a line as wide as the terminal would wrap, and
  // every redraw would leave a stale line behind.
  const std::string lines[] = {
      std::string(percent) + "  " + Bytes(done) + " / " + Bytes(double(FTotal)) + "  " + Bytes(rate) + "/s  " +
          Duration(left) + " left",
      std::string(percent) + "  " + Duration(left) + " left", std::string(percent)};
  const int columns = TerminalColumns();
  for (const std::string& line : lines) {
    if (columns > 0 && static_cast<int>(line.size()) >= columns) continue;
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    FDrawn = true;
    return;
  }
}

void TProgress::Erase() {
  if (!FDrawn) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  FDrawn = false;
}

std::int64_t TProgressStream::Read(void* buffer, std::int64_t count) {
  const std::int64_t r = FBase.Read(buffer, count);
  if (r > 0) FRead += r;
  if (!FProgress.Update(FRead)) throw platform::EAbort(u"Operation cancelled");
  return r;
}

}  // namespace cli
