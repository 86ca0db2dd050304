// The AESNI kernel: 128-bit registers, eight blocks a step in the parallel modes; the serial modes keep one block in flight.
#include "crypto/engine/kernel/AESKernelOps.h"

#if defined(__x86_64__)
#include "crypto/engine/kernel/x86/AESKernelLanes.h"

namespace AESModes::kernel {
const TKernelOps* AESNIOps() noexcept { return &TParallel<Lanes1, 8>::kOps; }
}  // namespace AESModes::kernel
#else
namespace AESModes::kernel {
const TKernelOps* AESNIOps() noexcept { return nullptr; }
}  // namespace AESModes::kernel
#endif
