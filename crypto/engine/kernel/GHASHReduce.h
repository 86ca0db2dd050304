// The reduction shared by the GHASH kernels that multiply in 64-bit words (portable and PMULL).
// Internal linkage, so each kernel file keeps its own copy built with its own instruction set.
#pragma once

#include <cstdint>

namespace AESModes::kernel {
namespace {

// The 256-bit product z0..z3 (z0 the lowest word, bit i of word k the coefficient of x^(64k + i))
// modulo x^128 + x^7 + x^2 + x + 1, into r0 and r1. x^128 = x^7 + x^2 + x + 1, so word k (k >= 2)
// folds into words k - 2 and k - 1; no branch and no memory access depends on the values.
inline void ReduceGHash256(std::uint64_t z0, std::uint64_t z1, std::uint64_t z2, std::uint64_t z3, std::uint64_t& r0,
                           std::uint64_t& r1) noexcept {
  z1 ^= z3 ^ (z3 << 1) ^ (z3 << 2) ^ (z3 << 7);
  z2 ^= (z3 >> 63) ^ (z3 >> 62) ^ (z3 >> 57);
  z0 ^= z2 ^ (z2 << 1) ^ (z2 << 2) ^ (z2 << 7);
  z1 ^= (z2 >> 63) ^ (z2 >> 62) ^ (z2 >> 57);
  r0 = z0;
  r1 = z1;
}

}  // namespace
}  // namespace AESModes::kernel
