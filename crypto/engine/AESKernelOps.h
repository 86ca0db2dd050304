// The contract between the keyed kernel object and the kernel files: one table of bulk operations
// per instruction set. Internal to the engine. Kernel files compiled with wide instruction sets
// include this header only, so no inline library code is built there with those sets.
#pragma once

#include <cstddef>
#include <cstdint>

namespace AESModes::kernel {

struct TRoundKeys;

struct TKernelOps {
  using TBulk = void (*)(const TRoundKeys& k, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks);
  using TChained = void (*)(const TRoundKeys& k, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                            std::uint8_t iv[16]);
  using TChain = void (*)(const TRoundKeys& k, const std::uint8_t* in, std::size_t blocks, std::uint8_t state[16]);
  using TPrepare = void (*)(TRoundKeys& k);
  TBulk EncryptECB, DecryptECB;
  TChained EncryptCBC, DecryptCBC, OFB, CTR128, CTR32;
  TChain CBCMAC;
  // Derives the kernel's own form of the schedules after an expansion (none when it loads the
  // byte schedules as they are).
  TPrepare Prepare = nullptr;
};

// The tables of the kernels; nullptr for a kernel this build does not contain (another
// architecture). Whether the processor can run one is KernelDispatch's question.
const TKernelOps* PortableOps() noexcept;
const TKernelOps* AESNIOps() noexcept;
const TKernelOps* VAES256Ops() noexcept;
const TKernelOps* VAES512Ops() noexcept;
const TKernelOps* ARMv8Ops() noexcept;

// Raw views of a schedule for the kernel files: round key r of each schedule starts at byte 16r.
const std::uint8_t* EncKeys(const TRoundKeys& k) noexcept;
const std::uint8_t* DecKeys(const TRoundKeys& k) noexcept;
unsigned Rounds(const TRoundKeys& k) noexcept;

}  // namespace AESModes::kernel
