// A disk that fails after a partial transfer: while armed for a file, reads of that file in this
// test executable deliver at most budget bytes in all and then fail with EIO. beforeFirstRead,
// when given, runs once just before the first read of the file (another writer, for example).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

namespace read_shim {

void ArmReadFailure(const std::filesystem::path& file, std::int64_t budget,
                    std::function<void()> beforeFirstRead = {});
void Disarm();

// Arms for the life of the object.
struct TScopedReadFailure {
  TScopedReadFailure(const std::filesystem::path& file, std::int64_t budget, std::function<void()> beforeFirstRead = {}) {
    ArmReadFailure(file, budget, std::move(beforeFirstRead));
  }
  ~TScopedReadFailure() { Disarm(); }
  TScopedReadFailure(const TScopedReadFailure&) = delete;
  TScopedReadFailure& operator=(const TScopedReadFailure&) = delete;
};

}  // namespace read_shim
