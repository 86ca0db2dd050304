#include "app/BackgroundCommand.h"

#include <utility>

namespace Controls {

TBackgroundCommand::~TBackgroundCommand() {
  Cancel();
  // A finished command's done may still be queued; the context's destruction drops it.
  if (FThread.joinable()) FThread.join();
}

void TBackgroundCommand::Start(TWork work, TDone done) {
  if (Running()) return;
  FCancel = false;
  FDone = 0;
  FTotal = 0;
  FThread = std::thread([this, work = std::move(work), done = std::move(done)]() mutable {
    Commands::TOutcome outcome = work([this](std::int64_t bytes, std::int64_t total) {
      FTotal = total;
      FDone = bytes;
      return !FCancel;
    });
    QMetaObject::invokeMethod(
        &FContext,
        [this, outcome = std::move(outcome), done = std::move(done)] {
          FThread.join();
          done(outcome);
        },
        Qt::QueuedConnection);
  });
}

}  // namespace Controls
