#include "ReleasedMemory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace secrets_test {
namespace {

std::atomic<bool> gScanning{false};
std::vector<TPattern>* gPatterns = nullptr;
std::vector<std::string>* gFound = nullptr;
std::mutex gFoundLock;

// Every block carries its requested size in a header in front of it, so a scan reads exactly the
// bytes the block was asked for, never stale bytes in the allocator's spare room.
constexpr std::size_t kHeader = alignof(std::max_align_t);

std::size_t HeaderSize(std::size_t alignment) { return alignment > kHeader ? alignment : kHeader; }

// A plain byte search through general-purpose registers only. It runs in the middle of the operation
// under test: a library search would load the pattern (a round key) into vector registers, and a
// later register save (the dynamic linker's) would put it on the stack as if the library had.
bool Contains(const std::uint8_t* p, std::size_t n, const std::vector<std::uint8_t>& pattern) noexcept {
  const std::size_t m = pattern.size();
  const volatile std::uint8_t* hay = p;
  const volatile std::uint8_t* needle = pattern.data();
  for (std::size_t i = 0; m != 0 && i + m <= n; ++i) {
    std::size_t j = 0;
    while (j < m && hay[i + j] == needle[j]) ++j;
    if (j == m) return true;
  }
  return false;
}

void Scan(const std::uint8_t* p, std::size_t n) noexcept {
  if (!gScanning) return;
  // The scan itself allocates (the names of the finds): those blocks are not scanned again.
  gScanning = false;
  for (const TPattern& pattern : *gPatterns)
    if (Contains(p, n, pattern.Bytes)) {
      const std::lock_guard<std::mutex> lock(gFoundLock);
      gFound->push_back(pattern.Name);
    }
  gScanning = true;
}

void* Allocate(std::size_t n, std::size_t alignment) {
  const std::size_t header = HeaderSize(alignment);
  const std::size_t total = (header + n + header - 1) / header * header;
  auto* raw = static_cast<std::uint8_t*>(header == kHeader ? std::malloc(total) : std::aligned_alloc(header, total));
  if (raw == nullptr) throw std::bad_alloc();
  std::memcpy(raw, &n, sizeof n);
  return raw + header;
}

// Every block is zeroed once scanned, so what the test itself put in it (plain text, patterns)
// cannot turn up in a later scan when the memory is reused.
void Release(void* p, std::size_t alignment) noexcept {
  if (p == nullptr) return;
  auto* raw = static_cast<std::uint8_t*>(p) - HeaderSize(alignment);
  std::size_t n = 0;
  std::memcpy(&n, raw, sizeof n);
  Scan(static_cast<const std::uint8_t*>(p), n);
  std::memset(raw, 0, HeaderSize(alignment) + n);
  std::free(raw);
}

}  // namespace

void SetReleasedPatterns(std::vector<TPattern> patterns) {
  static std::vector<TPattern> kept;
  kept = std::move(patterns);
  gPatterns = &kept;
}

void ClearVectorRegisters() noexcept {
#if defined(__x86_64__)
  if (__builtin_cpu_supports("avx")) {
    __asm__ volatile(".byte 0xc5, 0xfc, 0x77" ::: "memory");  // vzeroall, encoded: no AVX flag needed here
    if (__builtin_cpu_supports("avx512f"))
      // The upper sixteen registers that only AVX-512 has: xmm/ymm/zmm16-31 zeroed by vpxord.
      __asm__ volatile(
          ".irp r,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31\n\t"
          "vpxord %%zmm\\r, %%zmm\\r, %%zmm\\r\n\t"
          ".endr" ::: "memory");
  }
  __asm__ volatile(
      ".irp r,0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15\n\tpxor %%xmm\\r, %%xmm\\r\n\t.endr" ::
          : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10", "xmm11", "xmm12",
            "xmm13", "xmm14", "xmm15", "memory");
#elif defined(__aarch64__)
  __asm__ volatile(".irp r,0,1,2,3,4,5,6,7,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31\n\t"
                   "movi v\\r\\().16b, #0\n\t.endr" ::
                       : "v0", "v1", "v2", "v3", "v4", "v5", "v6", "v7", "v16", "v17", "v18", "v19", "v20", "v21",
                         "v22", "v23", "v24", "v25", "v26", "v27", "v28", "v29", "v30", "v31", "memory");
#endif
}

namespace {

#if defined(__x86_64__)
[[gnu::noinline, gnu::target("avx512f")]] void DumpZMM(std::uint8_t* to) noexcept {
  __asm__ volatile(".irp r,0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31\n\t"
                   "vmovdqu64 %%zmm\\r, 64*\\r(%0)\n\t.endr" ::"r"(to)
                   : "memory");
}
[[gnu::noinline, gnu::target("avx")]] void DumpYMM(std::uint8_t* to) noexcept {
  __asm__ volatile(".irp r,0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15\n\t"
                   "vmovdqu %%ymm\\r, 32*\\r(%0)\n\t.endr" ::"r"(to)
                   : "memory");
}
[[gnu::noinline]] void DumpXMM(std::uint8_t* to) noexcept {
  __asm__ volatile(".irp r,0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15\n\t"
                   "movdqu %%xmm\\r, 16*\\r(%0)\n\t.endr" ::"r"(to)
                   : "memory");
}
#endif

}  // namespace

void DumpVectorRegisters(std::uint8_t* to) noexcept {
  // The stores come first: nothing before them may use a vector register (the feature checks
  // read a word in memory).
#if defined(__x86_64__)
  if (__builtin_cpu_supports("avx512f"))
    DumpZMM(to);
  else if (__builtin_cpu_supports("avx"))
    DumpYMM(to);
  else
    DumpXMM(to);
#elif defined(__aarch64__)
  // One pair of registers a store, the offsets written out (the assembler's .irp does not
  // substitute inside an aarch64 register name).
  __asm__ volatile(
      "stp q0, q1, [%0, #0]\n\tstp q2, q3, [%0, #32]\n\tstp q4, q5, [%0, #64]\n\tstp q6, q7, [%0, #96]\n\t"
      "stp q8, q9, [%0, #128]\n\tstp q10, q11, [%0, #160]\n\tstp q12, q13, [%0, #192]\n\tstp q14, q15, [%0, #224]\n\t"
      "stp q16, q17, [%0, #256]\n\tstp q18, q19, [%0, #288]\n\tstp q20, q21, [%0, #320]\n\tstp q22, q23, [%0, #352]\n\t"
      "stp q24, q25, [%0, #384]\n\tstp q26, q27, [%0, #416]\n\tstp q28, q29, [%0, #448]\n\tstp q30, q31, [%0, #480]" ::"r"(to)
      : "memory");
#else
  (void)to;
#endif
}

std::vector<std::string> ReleasedDuring(const std::function<void()>& action) {
  std::vector<std::string> found;
  found.reserve(64);
  gFound = &found;
  gScanning = true;
  action();
  gScanning = false;
  gFound = nullptr;
  return found;
}

}  // namespace secrets_test

void* operator new(std::size_t n) { return secrets_test::Allocate(n, 0); }
void* operator new[](std::size_t n) { return secrets_test::Allocate(n, 0); }
void* operator new(std::size_t n, std::align_val_t a) { return secrets_test::Allocate(n, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t n, std::align_val_t a) { return secrets_test::Allocate(n, static_cast<std::size_t>(a)); }
void operator delete(void* p) noexcept { secrets_test::Release(p, 0); }
void operator delete[](void* p) noexcept { secrets_test::Release(p, 0); }
void operator delete(void* p, std::size_t) noexcept { secrets_test::Release(p, 0); }
void operator delete[](void* p, std::size_t) noexcept { secrets_test::Release(p, 0); }
void operator delete(void* p, std::align_val_t a) noexcept { secrets_test::Release(p, static_cast<std::size_t>(a)); }
void operator delete[](void* p, std::align_val_t a) noexcept { secrets_test::Release(p, static_cast<std::size_t>(a)); }
void operator delete(void* p, std::size_t, std::align_val_t a) noexcept {
  secrets_test::Release(p, static_cast<std::size_t>(a));
}
void operator delete[](void* p, std::size_t, std::align_val_t a) noexcept {
  secrets_test::Release(p, static_cast<std::size_t>(a));
}
