// The message sizes of the per-call rows and their names in benchmark names.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace bench {

// 64 B (one call's fixed cost), 1 KiB, 16 KiB (in cache) and 64 MiB (memory bound).
inline constexpr std::size_t kCallSizes[] = {64, std::size_t{1} << 10, std::size_t{16} << 10, std::size_t{64} << 20};

// "_64B", "_1KiB", "_16KiB", "_64MiB".
inline std::string SizeName(std::size_t n) {
  char s[32];
  if (n >= (std::size_t{1} << 20))
    std::snprintf(s, sizeof s, "_%zuMiB", n >> 20);
  else if (n >= 1024)
    std::snprintf(s, sizeof s, "_%zuKiB", n >> 10);
  else
    std::snprintf(s, sizeof s, "_%zuB", n);
  return s;
}

}  // namespace bench
