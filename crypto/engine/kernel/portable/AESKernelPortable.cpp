// The portable kernel: every mode over the constant-time bitsliced AES. The parallel modes fill
// all four lanes of a step; the serial ones (CBC encryption, OFB, the CBC-MAC chain) run one
// block a step, since each block needs the one before it. Keys are expanded on the same circuit and
// sliced once; decryption runs the inverse cipher from those planes, so there is no second
// schedule. Working copies of data and keystream are wiped, and the stack the steps used and the
// vector registers zeroed, before each call returns.
#include <array>
#include <cstring>

#include "crypto/engine/kernel/portable/AESBitsliced.h"
#include "crypto/engine/kernel/AESKernel.h"
#include "crypto/engine/kernel/AESKernelOps.h"
#include "platform/Memory.h"

namespace AESModes::kernel {

namespace {

namespace bs = bitsliced;
using u8 = std::uint8_t;
using TStep = std::array<u8, bs::kStepBytes>;

void XorInto(u8* out, const u8* a, const u8* b, std::size_t n) noexcept {
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<u8>(a[i] ^ b[i]);
}

// The bitsliced steps keep the AES state and the round-key planes in locals that the compiler
// spills onto the stack below the entry point (E(0) from an unused lane among them). Each entry
// point zeroes that much of the stack when it returns, and every vector register with it
// (platform::ScrubStack), so a call leaves nothing behind on the thread that ran it, whoever
// scrubs later. The steps' frames lie within 1 KiB below the entry (the left-behind test finds
// what they leave); four times that allows for sanitizer builds, whose frames are larger.
constexpr std::size_t kStepStackBytes = 4096;

struct TEntryExit {
  TEntryExit() = default;
  TEntryExit(const TEntryExit&) = delete;
  TEntryExit& operator=(const TEntryExit&) = delete;
  ~TEntryExit() { platform::ScrubStack(kStepStackBytes); }
};

// Calls f(first block, blocks) for consecutive groups of up to kLanes blocks.
template <class F>
void ForEachGroup(std::size_t blocks, F&& f) {
  for (std::size_t i = 0; i < blocks; i += bs::kLanes) f(i, blocks - i < bs::kLanes ? blocks - i : bs::kLanes);
}

template <void (*Step)(const bs::TSlicedKeys&, const u8*, u8*) noexcept>
void ECB(const TRoundKeys& k, const u8* in, u8* out, std::size_t blocks) {
  const TEntryExit exit;
  const std::size_t whole = blocks - blocks % bs::kLanes;
  for (std::size_t i = 0; i < whole; i += bs::kLanes) Step(k.Sliced, in + 16 * i, out + 16 * i);
  if (whole == blocks) return;
  platform::TWiped<TStep> buf;
  std::memcpy(buf->data(), in + 16 * whole, 16 * (blocks - whole));
  Step(k.Sliced, buf->data(), buf->data());
  std::memcpy(out + 16 * whole, buf->data(), 16 * (blocks - whole));
}

using TBlock = std::array<u8, 16>;

void EncryptOne(const TRoundKeys& k, TBlock& s) { bs::EncryptBlock(k.Sliced, s.data(), s.data()); }

void EncryptCBC(const TRoundKeys& k, const u8* in, u8* out, std::size_t blocks, u8 iv[16]) {
  const TEntryExit exit;
  platform::TWiped<TBlock> s;
  std::memcpy(s->data(), iv, 16);
  for (std::size_t i = 0; i < blocks; ++i) {
    XorInto(s->data(), s->data(), in + 16 * i, 16);
    EncryptOne(k, *s);
    std::memcpy(out + 16 * i, s->data(), 16);
  }
  std::memcpy(iv, s->data(), 16);
}

void OFB(const TRoundKeys& k, const u8* in, u8* out, std::size_t blocks, u8 iv[16]) {
  const TEntryExit exit;
  platform::TWiped<TBlock> s;
  std::memcpy(s->data(), iv, 16);
  for (std::size_t i = 0; i < blocks; ++i) {
    EncryptOne(k, *s);
    XorInto(out + 16 * i, in + 16 * i, s->data(), 16);
  }
  std::memcpy(iv, s->data(), 16);
}

void CBCMAC(const TRoundKeys& k, const u8* in, std::size_t blocks, u8 state[16]) {
  const TEntryExit exit;
  platform::TWiped<TBlock> s;
  std::memcpy(s->data(), state, 16);
  for (std::size_t i = 0; i < blocks; ++i) {
    XorInto(s->data(), s->data(), in + 16 * i, 16);
    EncryptOne(k, *s);
  }
  std::memcpy(state, s->data(), 16);
}

void DecryptCBC(const TRoundKeys& k, const u8* in, u8* out, std::size_t blocks, u8 iv[16]) {
  const TEntryExit exit;
  platform::TWiped<TStep> c, p;
  platform::TWiped<std::array<u8, 16>> prev;
  std::memcpy(prev->data(), iv, 16);
  ForEachGroup(blocks, [&](std::size_t i, std::size_t n) {
    std::memcpy(c->data(), in + 16 * i, 16 * n);  // kept: out may be in
    bs::DecryptStep(k.Sliced, c->data(), p->data());
    XorInto(out + 16 * i, p->data(), prev->data(), 16);
    XorInto(out + 16 * i + 16, p->data() + 16, c->data(), 16 * (n - 1));
    std::memcpy(prev->data(), c->data() + 16 * (n - 1), 16);
  });
  std::memcpy(iv, prev->data(), 16);
}

// Adds 1 to the big-endian number in bytes first..15, carrying without a branch.
void Increment(u8* ctr, int first) noexcept {
  unsigned carry = 1;
  for (int i = 15; i >= first; --i) {
    carry += ctr[i];
    ctr[i] = static_cast<u8>(carry);
    carry >>= 8;
  }
}

template <int kFirst>
void CTR(const TRoundKeys& k, const u8* in, u8* out, std::size_t blocks, u8 ctr[16]) {
  const TEntryExit exit;
  platform::TWiped<TStep> s;
  ForEachGroup(blocks, [&](std::size_t i, std::size_t n) {
    for (std::size_t j = 0; j < n; ++j, Increment(ctr, kFirst)) std::memcpy(s->data() + 16 * j, ctr, 16);
    bs::EncryptStep(k.Sliced, s->data(), s->data());
    XorInto(out + 16 * i, in + 16 * i, s->data(), 16 * n);
  });
}

void ExpandKey(TRoundKeys& k, const u8* key, unsigned Nk) {
  const TEntryExit exit;
  u8* enc = FillEncKeys(k);
  bs::ExpandKey(key, Nk, enc);
  bs::SliceKeys(enc, Rounds(k), FillSlicedKeys(k));
}

void GHashSetKey(TGHashKey& key, const u8 H[16]) {
  const TEntryExit exit;
  GHashSetKeyPortable(key, H);
}

void GHash(const TGHashKey& key, u8 X[16], const u8* blocks, std::size_t n) {
  const TEntryExit exit;
  GHashPortable(key, X, blocks, n);
}

constexpr TKernelOps kOps = {.ExpandKey = ExpandKey,
                             .ExpandInverse = nullptr,
                             .EncryptECB = ECB<bs::EncryptStep>,
                             .DecryptECB = ECB<bs::DecryptStep>,
                             .EncryptCBC = EncryptCBC,
                             .DecryptCBC = DecryptCBC,
                             .OFB = OFB,
                             .CTR128 = CTR<0>,
                             .CTR32 = CTR<12>,
                             .CBCMAC = CBCMAC,
                             .GHashSetKey = GHashSetKey,
                             .GHash = GHash,
                             .GCMCrypt = nullptr,
                             .ClearsRegisters = true};

}  // namespace

const TKernelOps* PortableOps() noexcept { return &kOps; }

}  // namespace AESModes::kernel
