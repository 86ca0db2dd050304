// One command at a time on a thread of its own, so the window keeps repainting while a file is
// processed. The component it uses belongs to that thread until the command has finished.
#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "app/Commands.h"

namespace Controls {

class TBackgroundCommand {
 public:
  using TWork = std::function<Commands::TOutcome(platform::TChunkProgress progress)>;
  using TDone = std::function<void(const Commands::TOutcome& outcome)>;

  // done runs on context's thread, through its event loop.
  explicit TBackgroundCommand(QObject& context) : FContext(context) {}
  TBackgroundCommand(const TBackgroundCommand&) = delete;
  TBackgroundCommand& operator=(const TBackgroundCommand&) = delete;
  // Cancels a running command and waits for it; its done is not called any more.
  ~TBackgroundCommand();

  // Runs work on a new thread with a progress callback that records each chunk and returns
  // false once Cancel was called; then done(outcome) on the context's thread. Does nothing
  // while a command runs.
  void Start(TWork work, TDone done);
  // From Start until done has been called.
  bool Running() const noexcept { return FThread.joinable(); }
  // Asks the running command to stop after its current chunk.
  void Cancel() noexcept { FCancel = true; }

  // The input bytes done and the input size at the last chunk (0 and 0 before the first).
  std::int64_t Done() const noexcept { return FDone; }
  std::int64_t Total() const noexcept { return FTotal; }

 private:
  QObject& FContext;
  std::thread FThread;
  std::atomic<bool> FCancel{false};
  std::atomic<std::int64_t> FDone{0};
  std::atomic<std::int64_t> FTotal{0};
};

}  // namespace Controls
