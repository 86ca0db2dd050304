// The contract between the keyed objects and the kernel files: one table per instruction set with
// everything a key needs (key set-up, the block modes as bulk operations, GHASH and GCM's stitched
// loop), chosen once per key object. Internal to the engine. Kernel files compiled with wide
// instruction sets include this header only, so no inline library code is built there with those
// sets.
#pragma once

#include <cstddef>
#include <cstdint>

namespace AESModes::kernel {

struct TRoundKeys;
struct TGHashKey;

// A key's schedules as the kernels read them: Enc, the cipher's (round key r at bytes 16r..16r+15,
// the layout the AES instructions load), Dec, the equivalent inverse cipher's in the order
// decryption uses them: Enc[Nr], InvMixColumns(Enc[Nr-1]) .. InvMixColumns(Enc[1]), Enc[0]; and the
// round count. Plain arrays and a number, so a kernel file reads them in place: no call on every
// entry, and no library code built with the file's instruction set. TRoundKeys (the key holder's,
// AESKernel.h) begins with them.
struct alignas(64) TSchedules {
  std::uint8_t Enc[16 * 15];
  alignas(16) std::uint8_t Dec[16 * 15];
  unsigned Nr = 0;
};

// The work space the XTS and OCB loops may write (the tweaks of a step and of the next, or the
// offsets of a step's blocks relative to the block before it): given by the caller, who wipes it.
inline constexpr std::size_t kTweakScratchBytes = 16 * 64;

// A run of OCB3's whole blocks, numbered First + 1 .. First + blocks (First public), block i
// under Offset_i = Offset_(i-1) xor L[ntz(i)].
struct TOCBRun {
  const std::uint8_t* L;    // L_0, L_1, ..: 16 bytes each, as many as the largest ntz(i) needs
  std::uint64_t First;
  std::uint8_t* Offset;     // Offset_First; becomes Offset_(First + blocks)
  std::uint8_t* Sum;        // the checksum (or the additional data's sum), added to
  std::uint8_t* Scratch;    // kTweakScratchBytes
};

// Counter mode with a 32-bit counter stitched with GHASH: blocks whole blocks encrypted (or
// decrypted) from ctr (its last 4 bytes a big-endian counter modulo 2^32, returned advanced),
// the cipher blocks absorbed into X. rk: the encryption round keys, (rounds + 1) * 16 bytes.
// out may be in.
using TGCMCryptFn = void(bool encrypt, const std::uint8_t* rk, unsigned rounds, const TGHashKey& key,
                         std::uint8_t X[16], std::uint8_t ctr[16], const std::uint8_t* in, std::uint8_t* out,
                         std::size_t blocks) noexcept;

// What a kernel leaves in the vector registers: a table with ClearsRegisters set has AES entry
// points (key set-up, the block modes, the whitened ECB, key wrap) that zero, before they return,
// every vector register they wrote (the x86 AES kernel files are built so: every function of
// theirs zeroes the call-used registers it used on its way out; the portable kernel ends every
// entry with platform::ScrubStack). The GHASH, POLYVAL and GCM entries make no such promise. A
// public call that runs any other entry, or handles key material in library code, ends with
// platform::ScrubStack or platform::TRegisterWipe, which zero every register the processor has.
struct TKernelOps {
  using TBulk = void (*)(const TRoundKeys& k, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks);
  using TChained = void (*)(const TRoundKeys& k, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                            std::uint8_t iv[16]);
  using TChain = void (*)(const TRoundKeys& k, const std::uint8_t* in, std::size_t blocks, std::uint8_t state[16]);

  // The cipher's schedule for Nk (1..8) words from key's first 4 * Nk bytes, in the kernel's own
  // form (the byte schedule through FillEncKeys, and whatever else the kernel keeps). Nk is public:
  // no branch or address depends on the key bytes.
  void (*ExpandKey)(TRoundKeys& k, const std::uint8_t* key, unsigned Nk);
  // The inverse cipher's schedule from the cipher's, for ECB and CBC decryption (FillDecKeys);
  // nullptr where the kernel decrypts from the cipher's own schedule.
  void (*ExpandInverse)(TRoundKeys& k);
  TBulk EncryptECB, DecryptECB;
  TChained EncryptCBC, DecryptCBC, OFB, CTR128, CTR32;
  TChain CBCMAC;
  // GHASH: the kernel's form of the hash key H (16 bytes as E(0) gives them), and X = GHASH of n
  // whole blocks continued from X (for each block B: X = (X xor B) * H).
  void (*GHashSetKey)(TGHashKey& key, const std::uint8_t H[16]);
  // GHashSetKey makes H^1 .. H^kGHashNarrowPowers, all that GHash and PolyVal read.
  // The same key made a few powers at a time, for a GCM key whose messages are short: H^(made+1)
  // .. H^wanted (1 <= wanted <= kGHashPowers) added to a key that holds H^1 .. H^made (H taken
  // from H when made is 0, from the key otherwise); H^1 .. H^made are not written, so
  // threads hashing with them may run meanwhile (powers above H^wanted may be written too: no
  // call reads them before a later extension makes them). A GHASH or GCMCrypt call over
  // n blocks reads H^1 .. H^GHashPowersFor(n) only. nullptr where the kernel keeps H alone.
  void (*GHashExtendKey)(TGHashKey& key, const std::uint8_t H[16], unsigned made, unsigned wanted) = nullptr;
  void (*GHash)(const TGHashKey& key, std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n);
  // GCM's stitched loop; nullptr where the kernel has none (counter mode and GHASH run apart).
  TGCMCryptFn* GCMCrypt = nullptr;
  // Counter mode that counts in the first 4 bytes only, little-endian modulo 2^32 (GCM-SIV);
  // nullptr where the kernel has none (TExpandedKey then runs ECB over counter blocks).
  TChained CTR32LE = nullptr;
  // POLYVAL (GCM-SIV's hash) over n whole blocks continued from S, with the GHASH key made from
  // x * rev(H) (see TPolyVal::SetKey); nullptr where the kernel has none (TPolyVal then runs
  // GHash over byte-reversed blocks).
  void (*PolyVal)(const TGHashKey& key, std::uint8_t S[16], const std::uint8_t* blocks, std::size_t n) = nullptr;
  // ECB between two whitenings with a mask per block: out[j] = E(in[j] xor masks[j]) xor masks[j]
  // (D for decryption, which needs the inverse schedule): OCB's offsets, XTS's tweaks. nullptr
  // where the kernel has none (the key holder then xors around its ECB).
  using TWhitened = void (*)(const TRoundKeys& k, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                             const std::uint8_t* masks);
  TWhitened EncryptWhitened = nullptr, DecryptWhitened = nullptr;
  // Key wrap's 6n serial steps in place over buf = A || R[1..n] (n >= 2), and their inverse (which
  // needs the inverse schedule), with A kept in a register; nullptr where the kernel has none (the
  // engine then steps through EncryptECB/DecryptECB one block at a time).
  using TKeyWrap = void (*)(const TRoundKeys& k, std::uint8_t* buf, std::size_t n);
  TKeyWrap Wrap = nullptr, Unwrap = nullptr;
  // See above: the AES entry points leave no value of theirs in a vector register.
  bool ClearsRegisters = false;
  // XTS over whole blocks with the tweaks made in registers: block j under T_j = tweak * x^j in
  // XTS's field (the 16 bytes a little-endian number, x^128 = x^7 + x^2 + x + 1), out[j] =
  // E(in[j] xor T_j) xor T_j (D for decryption, which needs the inverse schedule); tweak becomes
  // T_blocks. out may be in. nullptr where the kernel has none (the key holder then writes the
  // tweaks out and runs the whitened ECB).
  using TXTS = void (*)(const TRoundKeys& k, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                        std::uint8_t tweak[16], std::uint8_t* scratch);
  TXTS EncryptXTS = nullptr, DecryptXTS = nullptr;
  // OCB3 over a run of blocks with the offsets made in registers. Encryption: out_i = E(in_i xor
  // Offset_i) xor Offset_i, the plain blocks (in) added to Sum; decryption: the same with D (the
  // inverse schedule), the plain blocks (out) added to Sum; the additional data's hash: E(in_i
  // xor Offset_i) added to Sum, nothing written (out unused). out may be in. nullptr where the
  // kernel has none (as for XTS).
  using TOCB = void (*)(const TRoundKeys& k, const std::uint8_t* in, std::uint8_t* out, std::size_t blocks,
                        const TOCBRun& run);
  TOCB EncryptOCB = nullptr, DecryptOCB = nullptr, HashOCB = nullptr;
};

// The tables of the kernels; nullptr for a kernel this build does not contain (another
// architecture). Whether the processor can run one is KernelDispatch's question.
const TKernelOps* PortableOps() noexcept;
const TKernelOps* AESNIOps() noexcept;
const TKernelOps* VAES256Ops() noexcept;
const TKernelOps* VAES512Ops() noexcept;
const TKernelOps* ARMv8Ops() noexcept;

// Views of a schedule for the kernel files, with internal linkage (each file has its own copy,
// built with its own instruction set): TRoundKeys' first member is its TSchedules, so the two
// addresses are one (checked where TRoundKeys is defined). The Fill forms are for key set-up: they
// mark the schedule as holding key material, so the key holder wipes it.
namespace {
inline const TSchedules& SchedulesOf(const TRoundKeys& k) noexcept { return *reinterpret_cast<const TSchedules*>(&k); }
inline const std::uint8_t* EncKeys(const TRoundKeys& k) noexcept { return SchedulesOf(k).Enc; }
inline const std::uint8_t* DecKeys(const TRoundKeys& k) noexcept { return SchedulesOf(k).Dec; }
inline unsigned Rounds(const TRoundKeys& k) noexcept { return SchedulesOf(k).Nr; }
}  // namespace
std::uint8_t* FillEncKeys(TRoundKeys& k) noexcept;
std::uint8_t* FillDecKeys(TRoundKeys& k) noexcept;

// The GHASH key a kernel works with: Pow[k] = H^(32 - k) in the kernel's own layout, so a group of
// g blocks multiplies its block j by Pow[32 - g + j] and reduces once. The portable and PMULL
// kernels keep only H, in Pow[31]; the PCLMULQDQ layout (byte-reversed powers) is shared by the
// PCLMULQDQ and VPCLMULQDQ kernels. Wiped when it goes away.
// A call over fewer than kGHashWideBlocks blocks reads no power above H^16 (GHash and PolyVal
// never do), so a key whose messages are short never makes the upper half; GCMCrypt over more
// may hash 32 blocks per reduction.
inline constexpr std::size_t kGHashPowers = 32, kGHashNarrowPowers = 16, kGHashWideBlocks = 128;
constexpr unsigned GHashPowersFor(std::size_t blocks) noexcept {
  if (blocks >= kGHashWideBlocks) return kGHashPowers;
  return static_cast<unsigned>(blocks < kGHashNarrowPowers ? blocks : kGHashNarrowPowers);
}
struct alignas(64) TGHashKey {
  std::uint8_t Pow[kGHashPowers][16] = {};
  TGHashKey() = default;
  TGHashKey(const TGHashKey&) = delete;
  TGHashKey& operator=(const TGHashKey&) = delete;
  ~TGHashKey();
};

void GHashSetKeyPortable(TGHashKey& key, const std::uint8_t H[16]) noexcept;
void GHashPortable(const TGHashKey& key, std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) noexcept;
void GHashPCLMUL(const TGHashKey& key, std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) noexcept;
void GHashVPCLMUL256(const TGHashKey& key, std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) noexcept;
void GHashVPCLMUL512(const TGHashKey& key, std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) noexcept;
// ARMv8 PMULL; its key keeps H in the portable kernel's layout.
void GHashSetKeyPMULL(TGHashKey& key, const std::uint8_t H[16]) noexcept;
void GHashPMULL(const TGHashKey& key, std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) noexcept;

TGCMCryptFn GCMCryptAESNI, GCMCryptVAES256, GCMCryptVAES512;
void PolyValPCLMUL(const TGHashKey& key, std::uint8_t S[16], const std::uint8_t* blocks, std::size_t n) noexcept;
void PolyValVPCLMUL256(const TGHashKey& key, std::uint8_t S[16], const std::uint8_t* blocks, std::size_t n) noexcept;
void PolyValVPCLMUL512(const TGHashKey& key, std::uint8_t S[16], const std::uint8_t* blocks, std::size_t n) noexcept;

}  // namespace AESModes::kernel
