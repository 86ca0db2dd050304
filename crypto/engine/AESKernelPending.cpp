// The instruction-set kernels are not built yet: every keyed object falls back to the portable one.
#include "crypto/engine/AESKernelOps.h"
namespace AESModes::kernel {
const TKernelOps* AESNIOps() noexcept { return nullptr; }
const TKernelOps* VAES256Ops() noexcept { return nullptr; }
const TKernelOps* VAES512Ops() noexcept { return nullptr; }
}
