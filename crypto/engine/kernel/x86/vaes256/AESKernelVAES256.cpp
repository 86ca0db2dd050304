// The VAES kernel: 256-bit registers (two blocks each), sixteen blocks a step in the parallel modes; the
// serial modes keep one block in flight. Keys are set up with the AES instructions (VEX-encoded), the
// hash key with PCLMULQDQ, GHASH and GCM on VPCLMULQDQ over the same registers.
#include "crypto/engine/kernel/AESKernelOps.h"

#if defined(__x86_64__)
#include "crypto/engine/kernel/x86/AESKeySchedule.h"

namespace AESModes::kernel {

namespace {

constexpr TKernelOps kOps = X86Ops<Lanes2>(GHashVPCLMUL256, GCMCryptVAES256, PolyValVPCLMUL256);

}  // namespace

const TKernelOps* VAES256Ops() noexcept { return &kOps; }

}  // namespace AESModes::kernel
#else
namespace AESModes::kernel {
const TKernelOps* VAES256Ops() noexcept { return nullptr; }
}  // namespace AESModes::kernel
#endif
