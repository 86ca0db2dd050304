// What the per-call rows share: their message sizes, the sizes' names in benchmark names, and
// random messages of each size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

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

// Exactly n random bytes, the same for every caller, made once per size.
inline const std::vector<std::uint8_t>& Sized(std::size_t n) {
  static std::map<std::size_t, std::vector<std::uint8_t>> data;
  std::vector<std::uint8_t>& d = data[n];
  if (d.size() != n) {
    d.resize(n);
    std::mt19937 gen(3);
    for (auto& x : d) x = static_cast<std::uint8_t>(gen());
  }
  return d;
}

}  // namespace bench
