// For tests only (no installed header includes it): a generator that fails on demand.
#pragma once

namespace platform {

// While an instance lives, every OSRandomFill on this thread fails with the given error number,
// so the handling of a failing generator can be exercised.
class ScopedRandomFailure {
 public:
  explicit ScopedRandomFailure(int errorNumber);
  ~ScopedRandomFailure();
  ScopedRandomFailure(const ScopedRandomFailure&) = delete;
  ScopedRandomFailure& operator=(const ScopedRandomFailure&) = delete;

 private:
  int FPrevious;
};

}  // namespace platform
