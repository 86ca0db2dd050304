// The AES-NI kernel: 128-bit registers, eight blocks a step in the parallel modes; the serial modes keep
// one block in flight. Keys are set up with the AES instructions, GHASH and GCM run on PCLMULQDQ.
#include "crypto/engine/kernel/AESKernelOps.h"

#if defined(__x86_64__)
#include "crypto/engine/kernel/x86/AESKeySchedule.h"

namespace AESModes::kernel {

namespace {

constexpr TKernelOps kOps = X86Ops<Lanes1>(GHashPCLMUL, GCMCryptAESNI, PolyValPCLMUL);

}  // namespace

const TKernelOps* AESNIOps() noexcept { return &kOps; }

}  // namespace AESModes::kernel
#else
namespace AESModes::kernel {
const TKernelOps* AESNIOps() noexcept { return nullptr; }
}  // namespace AESModes::kernel
#endif
