#include "crypto/engine/kernel/KernelDispatch.h"

#include <array>

#include "crypto/engine/kernel/AESKernelOps.h"
#include <cstdlib>

#if defined(__x86_64__) || defined(_M_X64)
#include <cpuid.h>
#define AES_X86_64 1
#elif defined(__aarch64__) && defined(__linux__)
#include <asm/hwcap.h>
#include <sys/auxv.h>
#define AES_AARCH64_LINUX 1
#endif

namespace AESModes::kernel {

namespace {

constexpr std::array<std::string_view, 5> kNames = {"portable", "aesni", "vaes256", "vaes512", "armv8"};

constexpr std::uint64_t kHwcapAES = 1u << 3, kHwcapPMULL = 1u << 4;
#ifdef AES_AARCH64_LINUX
static_assert(kHwcapAES == HWCAP_AES && kHwcapPMULL == HWCAP_PMULL);
#endif

#ifdef AES_X86_64
std::uint64_t ReadXCR0() noexcept {
  std::uint32_t eax, edx;
  __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
  return (static_cast<std::uint64_t>(edx) << 32) | eax;
}
#endif

}  // namespace

TCpuFeatures DetectCpu() noexcept {
  TCpuFeatures f;
#ifdef AES_X86_64
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return f;
  f.SSSE3 = c & (1u << 9);
  f.SSE41 = c & (1u << 19);
  f.AES = c & (1u << 25);
  f.PCLMUL = c & (1u << 1);
  const bool osxsave = c & (1u << 27);
  f.AVX = c & (1u << 28);
  if (osxsave) {
    const std::uint64_t xcr0 = ReadXCR0();
    f.OSSavesYMM = (xcr0 & 0x6) == 0x6;            // XMM and YMM state
    f.OSSavesZMM = (xcr0 & 0xE6) == 0xE6;          // and opmask, ZMM_Hi256, Hi16_ZMM
  }
  if (__get_cpuid_count(7, 0, &a, &b, &c, &d)) {
    f.AVX2 = b & (1u << 5);
    f.AVX512F = b & (1u << 16);
    f.AVX512BW = b & (1u << 30);
    f.AVX512VL = b & (1u << 31);
    f.VAES = c & (1u << 9);
    f.VPCLMUL = c & (1u << 10);
  }
#elif defined(AES_AARCH64_LINUX)
  f = ArmFeaturesFromHwcap(getauxval(AT_HWCAP));
#endif
  return f;
}

const TCpuFeatures& CpuFeatures() noexcept {
  static const TCpuFeatures cpu = DetectCpu();
  return cpu;
}

TCpuFeatures ArmFeaturesFromHwcap(std::uint64_t hwcap) noexcept {
  TCpuFeatures f;
  f.ArmAES = hwcap & kHwcapAES;
  f.ArmPMULL = hwcap & kHwcapPMULL;
  return f;
}

bool Supports(const TCpuFeatures& f, TKernelId id) noexcept {
  const bool aesni = f.AES && f.PCLMUL && f.SSSE3 && f.SSE41;
  const bool vaes256 = aesni && f.AVX && f.AVX2 && f.VAES && f.VPCLMUL && f.OSSavesYMM;
  switch (id) {
    case TKernelId::Portable: return true;
    case TKernelId::AESNI: return aesni;
    case TKernelId::VAES256: return vaes256;
    case TKernelId::VAES512: return vaes256 && f.AVX512F && f.AVX512BW && f.AVX512VL && f.OSSavesZMM;
    case TKernelId::ARMv8: return f.ArmAES && f.ArmPMULL;  // one kernel does AES and GHASH
  }
  return false;
}

std::vector<TKernelId> AvailableKernels() {
  const TCpuFeatures& f = CpuFeatures();
  std::vector<TKernelId> ids;
  for (std::size_t i = 0; i < kNames.size(); ++i)
    if (Supports(f, static_cast<TKernelId>(i))) ids.push_back(static_cast<TKernelId>(i));
  return ids;
}

TKernelId ChooseKernel(const char* forced, const TCpuFeatures& cpu) noexcept {
  auto best = static_cast<TKernelId>(kNames.size() - 1);
  if (forced != nullptr && *forced != '\0') best = KernelFromName(forced).value_or(TKernelId::Portable);
  for (auto i = static_cast<int>(best); i > 0; --i)
    if (Supports(cpu, static_cast<TKernelId>(i))) return static_cast<TKernelId>(i);
  return TKernelId::Portable;
}

TKernelId ChosenKernel() noexcept {
  static const TKernelId chosen = ChooseKernel(std::getenv("ORVOAES_KERNEL"), CpuFeatures());
  return chosen;
}

namespace {

const TKernelOps* OpsFor(TKernelId id) noexcept {
  switch (id) {
    case TKernelId::AESNI: return AESNIOps();
    case TKernelId::VAES256: return VAES256Ops();
    case TKernelId::VAES512: return VAES512Ops();
    case TKernelId::ARMv8: return ARMv8Ops();
    case TKernelId::Portable: break;
  }
  return PortableOps();
}

TKernelChoice Resolve(TKernelId id) noexcept {
  for (auto i = static_cast<int>(id); i > 0; --i) {
    const auto k = static_cast<TKernelId>(i);
    if (!Supports(CpuFeatures(), k)) continue;
    if (const TKernelOps* ops = OpsFor(k)) return {k, ops};
  }
  return {TKernelId::Portable, PortableOps()};
}

}  // namespace

TKernelChoice ResolveKernel(TKernelId id) noexcept {
  static const auto choices = [] {
    std::array<TKernelChoice, kNames.size()> c{};
    for (std::size_t i = 0; i < c.size(); ++i) c[i] = Resolve(static_cast<TKernelId>(i));
    return c;
  }();
  return choices[static_cast<std::size_t>(id)];
}

std::string_view KernelName(TKernelId id) noexcept { return kNames[static_cast<std::size_t>(id)]; }

std::optional<TKernelId> KernelFromName(std::string_view name) noexcept {
  for (std::size_t i = 0; i < kNames.size(); ++i)
    if (kNames[i] == name) return static_cast<TKernelId>(i);
  return std::nullopt;
}

}  // namespace AESModes::kernel
