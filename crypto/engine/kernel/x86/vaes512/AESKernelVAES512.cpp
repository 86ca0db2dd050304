// The VAES512 kernel: 512-bit registers (four blocks each), thirty-two blocks a step in the parallel modes; the serial modes keep one block in flight.
#include "crypto/engine/kernel/AESKernelOps.h"

#if defined(__x86_64__)
#include "crypto/engine/kernel/x86/AESKernelLanes.h"

namespace AESModes::kernel {
const TKernelOps* VAES512Ops() noexcept { return &TParallel<Lanes4, 8>::kOps; }
}  // namespace AESModes::kernel
#else
namespace AESModes::kernel {
const TKernelOps* VAES512Ops() noexcept { return nullptr; }
}  // namespace AESModes::kernel
#endif
