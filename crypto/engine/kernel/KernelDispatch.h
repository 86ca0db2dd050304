// The one dispatch point of the engine's kernels: which instruction sets this processor and OS
// offer, and which kernel every keyed object uses unless a caller names one.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace AESModes::kernel {

// Kernels in order of preference, lowest first (a processor runs the x86 ones or the ARM one).
enum class TKernelId : std::uint8_t { Portable, AESNI, VAES256, VAES512, ARMv8 };

struct TCpuFeatures {
  bool AES = false, PCLMUL = false, SSSE3 = false, SSE41 = false;
  bool AVX = false, AVX2 = false, VAES = false, VPCLMUL = false;
  bool AVX512F = false, AVX512BW = false, AVX512VL = false;
  bool OSSavesYMM = false, OSSavesZMM = false;  // XGETBV: the OS saves the wide registers
  bool ArmAES = false, ArmPMULL = false;          // ARMv8 Cryptography Extensions
};

// Reads CPUID and XGETBV on x86-64, the hardware capability bits (getauxval(AT_HWCAP)) on
// aarch64 Linux; all false elsewhere.
TCpuFeatures DetectCpu() noexcept;
// DetectCpu's reading, taken once per process: every choice of a kernel is made from it.
const TCpuFeatures& CpuFeatures() noexcept;
// The features an aarch64 Linux AT_HWCAP word announces (bit 3 AES, bit 4 PMULL); DetectCpu's
// only reading of it, so tests can feed any bits.
TCpuFeatures ArmFeaturesFromHwcap(std::uint64_t hwcap) noexcept;
// Whether a kernel can run with these features (the portable one always can).
bool Supports(const TCpuFeatures& cpu, TKernelId id) noexcept;
// The kernels this machine can run, the portable one first.
std::vector<TKernelId> AvailableKernels();

struct TKernelOps;
// What a key object asking for id runs: id when this processor can run it and this build has it,
// otherwise the best one below it that qualifies (the portable one at the end), with its table.
struct TKernelChoice {
  TKernelId Id;
  const TKernelOps* Ops;
};
TKernelChoice ResolveKernel(TKernelId id) noexcept;

// The kernel chosen once per process: the one named by the environment variable ORVOAES_KERNEL
// (portable, aesni, vaes256, vaes512, armv8) when this machine can run it, otherwise the best one it
// can run that is not above the named one; without the variable (or with it empty), the best one
// available. A value that names no kernel selects the portable one: a misspelt request to avoid
// something is read in the cautious way.
TKernelId ChosenKernel() noexcept;
// The choice ChosenKernel makes for a given variable value and processor (for tests).
TKernelId ChooseKernel(const char* forced, const TCpuFeatures& cpu) noexcept;

std::string_view KernelName(TKernelId id) noexcept;
std::optional<TKernelId> KernelFromName(std::string_view name) noexcept;

}  // namespace AESModes::kernel
