// The AES-NI kernel: 128-bit registers, eight blocks a step in the parallel modes; the serial modes keep
// one block in flight. Keys are set up with the AES instructions, GHASH and GCM run on PCLMULQDQ.
#include "crypto/engine/kernel/AESKernelOps.h"

#if defined(__x86_64__)
#include "crypto/engine/kernel/x86/AESKernelLanes.h"
#include "crypto/engine/kernel/x86/AESKeySchedule.h"

namespace AESModes::kernel {

namespace {

using TModes = TParallel<Lanes1, 8>;

constexpr TKernelOps kOps = {.ExpandKey = ExpandKey,
                             .ExpandInverse = ExpandInverse,
                             .EncryptECB = TModes::EncryptECB,
                             .DecryptECB = TModes::DecryptECB,
                             .EncryptCBC = EncryptCBC,
                             .DecryptCBC = TModes::DecryptCBC,
                             .OFB = OFB,
                             .CTR128 = TModes::CTR128,
                             .CTR32 = TModes::CTR32,
                             .CBCMAC = CBCMAC,
                             .GHashSetKey = GHashSetKeyPCLMUL,
                             .GHash = GHashPCLMUL,
                             .GCMCrypt = GCMCryptAESNI};

}  // namespace

const TKernelOps* AESNIOps() noexcept { return &kOps; }

}  // namespace AESModes::kernel
#else
namespace AESModes::kernel {
const TKernelOps* AESNIOps() noexcept { return nullptr; }
}  // namespace AESModes::kernel
#endif
