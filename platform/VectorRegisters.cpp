// Zeroing every vector register the processor has. The form is chosen once, from what the
// processor and the OS offer, so no instruction runs that this processor lacks: the library
// itself is built for the baseline of its architecture, and only the chosen function is built
// with a wider instruction set.
#include "platform/Memory.h"

namespace platform {

namespace {

#if defined(__x86_64__)

// xmm0-15: all the registers a processor without AVX has.
void ZeroSSE() noexcept {
  __asm__ volatile(".irp r,0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15\n\tpxor %%xmm\\r, %%xmm\\r\n\t.endr" ::
                       : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10",
                         "xmm11", "xmm12", "xmm13", "xmm14", "xmm15", "memory");
}

// ymm0-15 whole (and zmm0-15 where they exist): a VEX write of a 128-bit register zeroes the
// rest of it, and VZEROUPPER leaves the upper state clean for the SSE code that follows.
[[gnu::target("avx")]] void ZeroAVX() noexcept {
  __asm__ volatile(".irp r,0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15\n\tvpxor %%xmm\\r, %%xmm\\r, %%xmm\\r\n\t.endr\n\t"
                   "vzeroupper" ::
                       : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10",
                         "xmm11", "xmm12", "xmm13", "xmm14", "xmm15", "memory");
}

// zmm0-31: the lower sixteen as above, and the upper sixteen, which only AVX-512 has (and which
// the C library's copies use on such processors), by 128-bit EVEX writes that zero the whole
// register without running a 512-bit operation. All of them are zeroing idioms, which cost the
// processor next to nothing.
[[gnu::target("avx512f,avx512vl")]] void ZeroAVX512VL() noexcept {
  __asm__ volatile(
      ".irp r,0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15\n\tvpxor %%xmm\\r, %%xmm\\r, %%xmm\\r\n\t.endr\n\t"
      ".irp r,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31\n\tvpxord %%xmm\\r, %%xmm\\r, %%xmm\\r\n\t.endr\n\t"
      "vzeroupper" ::
          : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10", "xmm11", "xmm12",
            "xmm13", "xmm14", "xmm15", "xmm16", "xmm17", "xmm18", "xmm19", "xmm20", "xmm21", "xmm22", "xmm23", "xmm24",
            "xmm25", "xmm26", "xmm27", "xmm28", "xmm29", "xmm30", "xmm31", "memory");
}

// The same on an AVX-512 processor without the 128-bit EVEX forms.
[[gnu::target("avx512f")]] void ZeroAVX512() noexcept {
  __asm__ volatile(
      ".irp r,0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15\n\tvpxor %%xmm\\r, %%xmm\\r, %%xmm\\r\n\t.endr\n\t"
      ".irp r,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31\n\tvpxord %%zmm\\r, %%zmm\\r, %%zmm\\r\n\t.endr\n\t"
      "vzeroupper" ::
          : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10", "xmm11", "xmm12",
            "xmm13", "xmm14", "xmm15", "xmm16", "xmm17", "xmm18", "xmm19", "xmm20", "xmm21", "xmm22", "xmm23", "xmm24",
            "xmm25", "xmm26", "xmm27", "xmm28", "xmm29", "xmm30", "xmm31", "memory");
}

using TZero = void (*)() noexcept;

// The compiler's own reading of CPUID counts a register set only when XGETBV says the OS saves
// it, so a processor whose OS leaves AVX-512 off gets the AVX form.
TZero ChooseZero() noexcept {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) return __builtin_cpu_supports("avx512vl") ? ZeroAVX512VL : ZeroAVX512;
  if (__builtin_cpu_supports("avx")) return ZeroAVX;
  return ZeroSSE;
}

const TZero gZero = ChooseZero();

#endif

}  // namespace

void ZeroVectorRegisters() noexcept {
#if defined(__x86_64__)
  // Chosen while the library is loaded; a call from another static initialiser that runs first
  // chooses on the spot.
  (gZero != nullptr ? gZero : ChooseZero())();
#elif defined(__aarch64__)
  // v0-v31 whole (with SVE, an Advanced SIMD write clears the rest of the Z register as well).
  // v8-v15 are callee-saved in their low halves: the compiler saves the caller's values around
  // this and puts them back, and the rest stays zero.
  __asm__ volatile(
      "movi v0.16b, #0\n\tmovi v1.16b, #0\n\tmovi v2.16b, #0\n\tmovi v3.16b, #0\n\t"
      "movi v4.16b, #0\n\tmovi v5.16b, #0\n\tmovi v6.16b, #0\n\tmovi v7.16b, #0\n\t"
      "movi v8.16b, #0\n\tmovi v9.16b, #0\n\tmovi v10.16b, #0\n\tmovi v11.16b, #0\n\t"
      "movi v12.16b, #0\n\tmovi v13.16b, #0\n\tmovi v14.16b, #0\n\tmovi v15.16b, #0\n\t"
      "movi v16.16b, #0\n\tmovi v17.16b, #0\n\tmovi v18.16b, #0\n\tmovi v19.16b, #0\n\t"
      "movi v20.16b, #0\n\tmovi v21.16b, #0\n\tmovi v22.16b, #0\n\tmovi v23.16b, #0\n\t"
      "movi v24.16b, #0\n\tmovi v25.16b, #0\n\tmovi v26.16b, #0\n\tmovi v27.16b, #0\n\t"
      "movi v28.16b, #0\n\tmovi v29.16b, #0\n\tmovi v30.16b, #0\n\tmovi v31.16b, #0" ::
                       : "v0", "v1", "v2", "v3", "v4", "v5", "v6", "v7", "v8", "v9", "v10", "v11", "v12", "v13", "v14",
                         "v15", "v16", "v17", "v18", "v19", "v20", "v21", "v22", "v23", "v24", "v25", "v26", "v27", "v28",
                         "v29", "v30", "v31", "memory");
#endif
}

}  // namespace platform
