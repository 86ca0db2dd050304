// A scan of the memory handed back to the heap. This executable replaces the global operator new
// and delete (plain and over-aligned): while a scan is on, every block released is searched for
// the patterns before it is freed (the bytes it was asked for), and every block is zeroed before
// it is freed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace secrets_test {

struct TPattern {
  std::string Name;  // what the bytes are, for the failure message
  std::vector<std::uint8_t> Bytes;
};

// The patterns the scan looks for; set before a scan, not during one.
void SetReleasedPatterns(std::vector<TPattern> patterns);

// Runs action with the scan on; the names of the patterns found in released blocks, one entry
// per block and pattern.
std::vector<std::string> ReleasedDuring(const std::function<void()>& action);

// Zeroes the vector registers. The test's own searches load the patterns (round keys, H) into
// them; the dynamic linker saves every vector register on the stack when it first resolves a
// function, so without this the probe would find the test's copies and blame the library.
void ClearVectorRegisters() noexcept;

}  // namespace secrets_test
