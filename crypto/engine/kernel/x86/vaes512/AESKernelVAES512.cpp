// The VAES512 kernel: 512-bit registers (four blocks each), thirty-two blocks a step in the parallel
// modes; the serial modes keep one block in flight. Keys are set up with the AES instructions, the hash
// key with PCLMULQDQ, GHASH and GCM on VPCLMULQDQ over the same registers.
#include "crypto/engine/kernel/AESKernelOps.h"

#if defined(__x86_64__)
#include "crypto/engine/kernel/x86/AESKeySchedule.h"

namespace AESModes::kernel {

namespace {

constexpr TKernelOps kOps = X86Ops<Lanes4>(GHashVPCLMUL512, GCMCryptVAES512, PolyValVPCLMUL512);

}  // namespace

const TKernelOps* VAES512Ops() noexcept { return &kOps; }

}  // namespace AESModes::kernel
#else
namespace AESModes::kernel {
const TKernelOps* VAES512Ops() noexcept { return nullptr; }
}  // namespace AESModes::kernel
#endif
