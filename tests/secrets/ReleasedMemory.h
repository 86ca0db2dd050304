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

// Room for every vector register of the largest set: zmm0-31.
inline constexpr std::size_t kVectorDumpBytes = 32 * 64;
// Copies the vector registers as they are when it is called into to, one after another: zmm0-31
// with AVX-512, ymm0-15 with AVX, xmm0-15 otherwise, v0-v31 on aarch64; the rest of to is left
// zero. Called right after an operation returns, before the test's own code puts anything there.
void DumpVectorRegisters(std::uint8_t* to) noexcept;

}  // namespace secrets_test
