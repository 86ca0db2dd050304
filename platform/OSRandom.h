// The operating system's cryptographically strong random generator.
#pragma once

#include <cstddef>

namespace platform {

// Fills len bytes at data. Returns 0 on success, otherwise the OS error number (never 0). The
// generator is called also when len is 0, and its status returned.
int OSRandomFill(void* data, std::size_t len) noexcept;

}  // namespace platform
