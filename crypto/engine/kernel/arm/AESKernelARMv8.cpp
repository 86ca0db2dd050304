// The ARMv8 Cryptography Extensions kernel: AESE/AESMC rounds for encryption, AESD/AESIMC over the
// equivalent inverse cipher's schedule for decryption, eight blocks in flight in the parallel
// modes, one in the serial ones. Keys are set up with AESE (SubWord) and AESIMC (the inverse
// schedule). Every entry point wipes its copy of the round keys on return; the registers are
// zeroed by the public call that ran it. Built with the crypto extension enabled for this file only.
#include "crypto/engine/kernel/AESKernelOps.h"

#if defined(__aarch64__)
#include <arm_neon.h>

#include "crypto/engine/kernel/KeyScheduleWords.h"

namespace AESModes::kernel {

namespace {

using u8 = std::uint8_t;
using V = uint8x16_t;

constexpr std::size_t kWide = 8;

// The round keys of one schedule, loaded once per bulk call; the copy (wherever the compiler keeps
// it) is wiped when the call ends.
struct TKeys {
  V k[15];
  unsigned Nr;
  TKeys(const u8* rk, unsigned rounds) : Nr(rounds) {
    for (unsigned r = 0; r <= Nr; ++r) k[r] = vld1q_u8(rk + 16 * r);
  }
  TKeys(const TKeys&) = delete;
  TKeys& operator=(const TKeys&) = delete;
  ~TKeys() {
    volatile V* p = k;
    for (unsigned r = 0; r < 15; ++r) p[r] = vdupq_n_u8(0);
  }
};

// SubWord on the AES unit: with the word in all four columns, AESE with a zero key is SubBytes of
// the word in every column (ShiftRows moves equal bytes onto each other).
std::uint32_t SubWord(std::uint32_t w) {
  const V s = vaeseq_u8(vreinterpretq_u8_u32(vdupq_n_u32(w)), vdupq_n_u8(0));
  return vgetq_lane_u32(vreinterpretq_u32_u8(s), 0);
}

// The cipher's schedule with SubWord on AESE.
void ExpandKey(TRoundKeys& k, const u8* key, unsigned Nk) {
  ExpandKeyWords(key, Nk, FillEncKeys(k), SubWord);
}

// The equivalent inverse cipher's schedule: round keys in reverse, the inner ones through AESIMC.
void ExpandInverse(TRoundKeys& k) {
  const unsigned Nr = Rounds(k);
  const u8* enc = EncKeys(k);
  u8* dec = FillDecKeys(k);
  vst1q_u8(dec, vld1q_u8(enc + 16 * Nr));
  for (unsigned r = 1; r < Nr; ++r) vst1q_u8(dec + 16 * r, vaesimcq_u8(vld1q_u8(enc + 16 * (Nr - r))));
  vst1q_u8(dec + 16 * Nr, vld1q_u8(enc));
}

// AESE is AddRoundKey, SubBytes and ShiftRows; AESMC is MixColumns.
template <std::size_t n>
void Encrypt(const TKeys& K, V (&b)[n]) {
  for (unsigned r = 0; r + 1 < K.Nr; ++r)
    for (std::size_t i = 0; i < n; ++i) b[i] = vaesmcq_u8(vaeseq_u8(b[i], K.k[r]));
  for (std::size_t i = 0; i < n; ++i) b[i] = veorq_u8(vaeseq_u8(b[i], K.k[K.Nr - 1]), K.k[K.Nr]);
}

// AESD is AddRoundKey, InvShiftRows and InvSubBytes; AESIMC is InvMixColumns, which the
// decryption schedule has already applied to its inner keys.
template <std::size_t n>
void Decrypt(const TKeys& K, V (&b)[n]) {
  for (unsigned r = 0; r + 1 < K.Nr; ++r)
    for (std::size_t i = 0; i < n; ++i) b[i] = vaesimcq_u8(vaesdq_u8(b[i], K.k[r]));
  for (std::size_t i = 0; i < n; ++i) b[i] = veorq_u8(vaesdq_u8(b[i], K.k[K.Nr - 1]), K.k[K.Nr]);
}

V EncryptOne(const TKeys& K, V b) {
  V one[1] = {b};
  Encrypt(K, one);
  return one[0];
}

template <bool kEncrypt>
void ECB(const TRoundKeys& k, const u8* in, u8* out, std::size_t blocks) {
  const TKeys K(kEncrypt ? EncKeys(k) : DecKeys(k), Rounds(k));
  auto run = [&](auto& b) {
    if constexpr (kEncrypt) Encrypt(K, b);
    else Decrypt(K, b);
  };
  std::size_t i = 0;
  for (; i + kWide <= blocks; i += kWide) {
    V b[kWide];
    for (std::size_t j = 0; j < kWide; ++j) b[j] = vld1q_u8(in + 16 * (i + j));
    run(b);
    for (std::size_t j = 0; j < kWide; ++j) vst1q_u8(out + 16 * (i + j), b[j]);
  }
  for (; i < blocks; ++i) {
    V b[1] = {vld1q_u8(in + 16 * i)};
    run(b);
    vst1q_u8(out + 16 * i, b[0]);
  }
}

void EncryptCBC(const TRoundKeys& k, const u8* in, u8* out, std::size_t blocks, u8 iv[16]) {
  const TKeys K(EncKeys(k), Rounds(k));
  V v = vld1q_u8(iv);
  for (std::size_t i = 0; i < blocks; ++i) {
    v = EncryptOne(K, veorq_u8(v, vld1q_u8(in + 16 * i)));
    vst1q_u8(out + 16 * i, v);
  }
  vst1q_u8(iv, v);
}

void DecryptCBC(const TRoundKeys& k, const u8* in, u8* out, std::size_t blocks, u8 iv[16]) {
  const TKeys K(DecKeys(k), Rounds(k));
  V prev = vld1q_u8(iv);
  std::size_t i = 0;
  for (; i + kWide <= blocks; i += kWide) {
    V c[kWide], b[kWide];
    for (std::size_t j = 0; j < kWide; ++j) b[j] = c[j] = vld1q_u8(in + 16 * (i + j));  // all read before out (may be in) is written
    Decrypt(K, b);
    for (std::size_t j = 0; j < kWide; ++j) vst1q_u8(out + 16 * (i + j), veorq_u8(b[j], j == 0 ? prev : c[j - 1]));
    prev = c[kWide - 1];
  }
  for (; i < blocks; ++i) {
    const V c = vld1q_u8(in + 16 * i);
    V b[1] = {c};
    Decrypt(K, b);
    vst1q_u8(out + 16 * i, veorq_u8(b[0], prev));
    prev = c;
  }
  vst1q_u8(iv, prev);
}

void OFB(const TRoundKeys& k, const u8* in, u8* out, std::size_t blocks, u8 iv[16]) {
  const TKeys K(EncKeys(k), Rounds(k));
  V v = vld1q_u8(iv);
  for (std::size_t i = 0; i < blocks; ++i) {
    v = EncryptOne(K, v);
    vst1q_u8(out + 16 * i, veorq_u8(vld1q_u8(in + 16 * i), v));
  }
  vst1q_u8(iv, v);
}

void CBCMAC(const TRoundKeys& k, const u8* in, std::size_t blocks, u8 state[16]) {
  const TKeys K(EncKeys(k), Rounds(k));
  V v = vld1q_u8(state);
  for (std::size_t i = 0; i < blocks; ++i) v = EncryptOne(K, veorq_u8(v, vld1q_u8(in + 16 * i)));
  vst1q_u8(state, v);
}

// The counter block as two big-endian 64-bit halves.
struct TCounter {
  std::uint64_t hi, lo;
  explicit TCounter(const u8 c[16])
      : hi(vgetq_lane_u64(vreinterpretq_u64_u8(vrev64q_u8(vld1q_u8(c))), 0)),
        lo(vgetq_lane_u64(vreinterpretq_u64_u8(vrev64q_u8(vld1q_u8(c))), 1)) {}
  V Block() const { return vrev64q_u8(vreinterpretq_u8_u64(vcombine_u64(vcreate_u64(hi), vcreate_u64(lo)))); }
  void Store(u8 c[16]) const { vst1q_u8(c, Block()); }
  // The whole block counts (carry from the low half into the high one), or the last 4 bytes only.
  void Next(bool whole) {
    if (whole) {
      ++lo;
      hi += lo == 0;
    } else {
      lo = (lo & ~std::uint64_t{0xFFFFFFFF}) | ((lo + 1) & 0xFFFFFFFF);
    }
  }
};

template <bool kWhole>
void CTR(const TRoundKeys& k, const u8* in, u8* out, std::size_t blocks, u8 ctr[16]) {
  const TKeys K(EncKeys(k), Rounds(k));
  TCounter c(ctr);
  std::size_t i = 0;
  for (; i + kWide <= blocks; i += kWide) {
    V b[kWide];
    for (std::size_t j = 0; j < kWide; ++j, c.Next(kWhole)) b[j] = c.Block();
    Encrypt(K, b);
    for (std::size_t j = 0; j < kWide; ++j) vst1q_u8(out + 16 * (i + j), veorq_u8(vld1q_u8(in + 16 * (i + j)), b[j]));
  }
  for (; i < blocks; ++i, c.Next(kWhole)) vst1q_u8(out + 16 * i, veorq_u8(vld1q_u8(in + 16 * i), EncryptOne(K, c.Block())));
  c.Store(ctr);
}

void GHashSetKey(TGHashKey& key, const u8 H[16]) {
  GHashSetKeyPMULL(key, H);
}

void GHash(const TGHashKey& key, u8 X[16], const u8* blocks, std::size_t n) {
  GHashPMULL(key, X, blocks, n);
}

constexpr TKernelOps kOps = {.ExpandKey = ExpandKey,
                             .ExpandInverse = ExpandInverse,
                             .EncryptECB = ECB<true>,
                             .DecryptECB = ECB<false>,
                             .EncryptCBC = EncryptCBC,
                             .DecryptCBC = DecryptCBC,
                             .OFB = OFB,
                             .CTR128 = CTR<true>,
                             .CTR32 = CTR<false>,
                             .CBCMAC = CBCMAC,
                             .GHashSetKey = GHashSetKey,
                             .GHash = GHash,
                             .GCMCrypt = nullptr};

}  // namespace

const TKernelOps* ARMv8Ops() noexcept { return &kOps; }

}  // namespace AESModes::kernel
#else
namespace AESModes::kernel {
const TKernelOps* ARMv8Ops() noexcept { return nullptr; }
}  // namespace AESModes::kernel
#endif
