// The operating system's cryptographically strong random generator.
#pragma once

#include <cstddef>

namespace platform {

// Fills len bytes at data. Returns 0 on success, otherwise the OS error number (never 0).
int OSRandomFill(void* data, std::size_t len) noexcept;

// For tests: while an instance lives, every OSRandomFill on this thread fails with the given
// error number, so the handling of a failing generator can be exercised.
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
