// GHASH with the ARMv8 64 x 64-bit carry-less multiply (PMULL): one Karatsuba product per block,
// reduced with shifts. Reversing the bits of each byte (RBIT) turns a block into the field element
// with the coefficient of x^i at bit i, the same layout the portable kernel keeps in its key.
// Built with the crypto extension enabled for this file only.
#include "crypto/engine/kernel/AESKernelOps.h"
#include "crypto/engine/kernel/GHASHReduce.h"

#if defined(__aarch64__)
#include <arm_neon.h>

namespace AESModes::kernel {

namespace {

using U64 = std::uint64_t;

struct TElement {
  U64 W[2];
};

TElement Load(const std::uint8_t b[16]) noexcept {
  const uint64x2_t v = vreinterpretq_u64_u8(vrbitq_u8(vld1q_u8(b)));
  return {{vgetq_lane_u64(v, 0), vgetq_lane_u64(v, 1)}};
}

void Store(std::uint8_t b[16], const TElement& e) noexcept {
  vst1q_u8(b, vrbitq_u8(vreinterpretq_u8_u64(vcombine_u64(vcreate_u64(e.W[0]), vcreate_u64(e.W[1])))));
}

uint64x2_t ClMul(U64 a, U64 b) noexcept { return vreinterpretq_u64_p128(vmull_p64(a, b)); }

// a * b modulo x^128 + x^7 + x^2 + x + 1.
TElement Multiply(const TElement& a, const TElement& b) noexcept {
  const uint64x2_t lo = ClMul(a.W[0], b.W[0]), hi = ClMul(a.W[1], b.W[1]);
  const uint64x2_t mid = veorq_u64(veorq_u64(ClMul(a.W[0] ^ a.W[1], b.W[0] ^ b.W[1]), lo), hi);
  const U64 z0 = vgetq_lane_u64(lo, 0), z1 = vgetq_lane_u64(lo, 1) ^ vgetq_lane_u64(mid, 0);
  const U64 z2 = vgetq_lane_u64(hi, 0) ^ vgetq_lane_u64(mid, 1), z3 = vgetq_lane_u64(hi, 1);
  TElement r;
  ReduceGHash256(z0, z1, z2, z3, r.W[0], r.W[1]);
  return r;
}

}  // namespace

void GHashSetKeyPMULL(TGHashKey& key, const std::uint8_t H[16]) noexcept {
  TElement h = Load(H);
  vst1q_u64(reinterpret_cast<U64*>(key.Pow[kGHashPowers - 1]), vcombine_u64(vcreate_u64(h.W[0]), vcreate_u64(h.W[1])));
  volatile std::uint64_t* words = h.W;
  words[0] = 0;
  words[1] = 0;
}

void GHashPMULL(const TGHashKey& key, std::uint8_t X[16], const std::uint8_t* blocks, std::size_t n) noexcept {
  const uint64x2_t hv = vld1q_u64(reinterpret_cast<const U64*>(key.Pow[kGHashPowers - 1]));
  const TElement h{{vgetq_lane_u64(hv, 0), vgetq_lane_u64(hv, 1)}};
  TElement x = Load(X);
  for (std::size_t i = 0; i < n; ++i) {
    const TElement b = Load(blocks + 16 * i);
    x = Multiply({{x.W[0] ^ b.W[0], x.W[1] ^ b.W[1]}}, h);
  }
  Store(X, x);
}

}  // namespace AESModes::kernel
#endif
