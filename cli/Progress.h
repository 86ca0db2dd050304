// The progress bar on standard error, Ctrl-C, and an input stream that reports its reads.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/Streams.h"
#include "platform/SysUtils.h"

namespace cli {

// SIGINT and SIGTERM set a flag instead of ending the process, so an operation stops through
// its progress callback and its outputs are discarded like any failure. SIGXFSZ is ignored: a
// file-size limit then shows as a failed write.
void InstallSignalHandlers();
bool Interrupted();
// Raises the interrupted failure when Ctrl-C was pressed.
void CheckInterrupted();

// A one-line bar on standard error: percentage, bytes, rate and time left, redrawn at most ten
// times a second and erased at the end. Drawn only when standard error is a terminal, the
// input is large and --quiet was not given.
class TProgress {
 public:
  // passes: how often the input is read (a verify-first decryption reads it twice); the bar
  // shows the input's bytes and counts each pass as part of the whole.
  TProgress(bool quiet, std::int64_t total, int passes = 1);
  ~TProgress();
  TProgress(const TProgress&) = delete;
  TProgress& operator=(const TProgress&) = delete;

  // Records done bytes of total * passes; false once Ctrl-C was pressed (the operation then cancels).
  bool Update(std::int64_t done);
  // For TAESModes::SetChunkProgress.
  platform::TChunkProgress Callback();
  void Erase();

 private:
  void Draw(std::int64_t done, double seconds);

  bool FEnabled;
  bool FDrawn = false;
  std::int64_t FTotal;
  int FPasses;
  std::chrono::steady_clock::time_point FStart;
  std::chrono::steady_clock::time_point FLastDraw;
};

// Passes reads through to an input stream and tells the progress bar how many bytes were read
// in all (a second pass counts on), cancelling with platform::EAbort after Ctrl-C.
class TProgressStream : public platform::TStream {
 public:
  TProgressStream(platform::TStream& base, TProgress& progress) : FBase(base), FProgress(progress) {}
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override { return FBase.Write(buffer, count); }
  std::int64_t Seek(std::int64_t offset, platform::TSeekOrigin origin) override { return FBase.Seek(offset, origin); }
  std::int64_t GetSize() override { return FBase.GetSize(); }

 private:
  platform::TStream& FBase;
  TProgress& FProgress;
  std::int64_t FRead = 0;
};

}  // namespace cli
