// The stitched GCM loop and the wide GHASH loop, written once over a register type V and used by
// the AES-NI (128-bit), VAES 256-bit and VAES 512-bit kernel files. V gives: T, kRegs registers
// of kLanes blocks per group, Broadcast, Load, Store, Xor, AesEnc, AesEncLast, Swap (byte
// reversal per block), Counter (register r of a group), Zext (a block into lane 0), TAcc, MulAcc
// and Fold (lanes summed into one TWide). Internal linkage only, like GHASHClmul.h.
#pragma once

#include "crypto/engine/kernel/x86/GHASHClmul.h"

namespace AESModes::kernel {
namespace {

// The round keys and H's powers are read from the key's own wiped storage where a round or a
// multiplication needs them, never copied into arrays of the loop: what the compiler held in
// registers the public call's register wipe clears, and there is nothing for it to spill onto
// the stack of the thread that ran the call, where no wipe reaches. The pointers are made opaque
// once per group, so the loads cannot be hoisted out of the loop and kept (and spilled) across
// groups; a load from the first-level cache costs less than the spill it replaces.
template <class P>
inline P* Opaque(P* p) {
  __asm__ volatile("" : "+r"(p));
  return p;
}

inline __m128i RoundKey(const std::uint8_t* rk, unsigned r) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(rk + 16 * r));
}

// kSwap false: POLYVAL, as GHashBlocks128's.
template <class V, bool kSwap = true>
__m128i GHashWide(const TGHashKey& hashKey, __m128i x, const std::uint8_t* blocks, std::size_t n) {
  using T = typename V::T;
  constexpr std::size_t R = V::kRegs, L = V::kLanes, G = R * L;
  for (; n >= G; n -= G, blocks += 16 * G) {
    const TGHashKey* key = Opaque(&hashKey);
    typename V::TAcc acc;
    for (std::size_t r = 0; r < R; ++r) {
      T d = kSwap ? V::Swap(V::Load(blocks + 16 * r * L)) : V::Load(blocks + 16 * r * L);
      if (r == 0) d = V::Xor(d, V::Zext(x));
      V::MulAcc(acc, d, V::Load(key->Pow[kGHashPowers - G + r * L]));
    }
    x = Reduce(V::Fold(acc));
  }
  return GHashBlocks128<kSwap>(hashKey, x, blocks, n);
}

// Counter mode over whole blocks, G = kRegs * kLanes blocks per round of the loop, the cipher
// blocks absorbed into X in the same loop (Hash false: counter mode alone): when decrypting, the group being
// decrypted (its input); when encrypting, the group written one round before, so the
// multiplications run between the AES rounds of the next group.
// kNr: the round count as a constant (10, 12, 14), so the round loops unroll; 0 counts `rounds`.
template <class V, bool Encrypt, bool Hash, unsigned kNr = 0>
void Stitched(const std::uint8_t* roundKeys, unsigned runTimeRounds, const TGHashKey* hashKey, std::uint8_t X[16],
              std::uint8_t ctr[16], const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) {
  const unsigned rounds = kNr != 0 ? kNr : runTimeRounds;
  using T = typename V::T;
  constexpr std::size_t R = V::kRegs, L = V::kLanes, G = R * L;
  __m128i c = LoadSwapped(ctr);  // the 32-bit counter is the low dword
  __m128i x = Hash ? LoadSwapped(X) : _mm_setzero_si128();
  const std::uint8_t* pending = nullptr;
  std::size_t i = 0;
  for (; i + G <= blocks; i += G) {
    const std::uint8_t* rk = Opaque(roundKeys);
    const TGHashKey* key = Opaque(hashKey);
    T s[R];
    const T k0 = V::Broadcast(RoundKey(rk, 0));
    for (std::size_t r = 0; r < R; ++r) s[r] = V::Xor(V::Swap(V::Counter(c, r)), k0);
    c = _mm_add_epi32(c, _mm_set_epi32(0, 0, 0, static_cast<int>(G)));
    const std::uint8_t* h = !Hash ? nullptr : Encrypt ? pending : in + 16 * i;
    T d[R];
    typename V::TAcc acc;
    if (h) {
      for (std::size_t r = 0; r < R; ++r) d[r] = V::Swap(V::Load(h + 16 * r * L));
      d[0] = V::Xor(d[0], V::Zext(x));
    }
    for (unsigned rd = 1; rd < rounds; ++rd) {
      const T k = V::Broadcast(RoundKey(rk, rd));
      for (std::size_t r = 0; r < R; ++r) s[r] = V::AesEnc(s[r], k);
      if (h && rd <= R) V::MulAcc(acc, d[rd - 1], V::Load(key->Pow[kGHashPowers - G + (rd - 1) * L]));
    }
    const T kLast = V::Broadcast(RoundKey(rk, rounds));
    for (std::size_t r = 0; r < R; ++r) {
      s[r] = V::AesEncLast(s[r], kLast);
      const std::size_t at = 16 * (i + r * L);
      V::Store(out + at, V::Xor(V::Load(in + at), s[r]));
    }
    if (h) x = Reduce(V::Fold(acc));
    pending = out + 16 * i;
  }
  if (Hash && Encrypt && pending != nullptr) x = GHashWide<V>(*hashKey, x, pending, G);
  const std::size_t rest = blocks - i;
  if (Hash && !Encrypt) x = GHashBlocks128(*hashKey, x, in + 16 * i, rest);
  for (std::size_t j = i; j < blocks; ++j) {
    const std::uint8_t* rk = Opaque(roundKeys);
    __m128i s = _mm_xor_si128(_mm_shuffle_epi8(c, ByteSwapMask()), RoundKey(rk, 0));
    for (unsigned rd = 1; rd < rounds; ++rd) s = _mm_aesenc_si128(s, RoundKey(rk, rd));
    s = _mm_aesenclast_si128(s, RoundKey(rk, rounds));
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * j));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * j), _mm_xor_si128(v, s));
    c = _mm_add_epi32(c, _mm_set_epi32(0, 0, 0, 1));
  }
  if (Hash && Encrypt) x = GHashBlocks128(*hashKey, x, out + 16 * i, rest);
  StoreSwapped(ctr, c);
  if (Hash) StoreSwapped(X, x);
}

template <class V, unsigned kNr>
void StitchedCryptRounds(bool encrypt, const std::uint8_t* rk, unsigned rounds, const TGHashKey& key,
                         std::uint8_t X[16], std::uint8_t ctr[16], const std::uint8_t* in, std::uint8_t* out,
                         std::size_t blocks) {
  if (encrypt)
    Stitched<V, true, true, kNr>(rk, rounds, &key, X, ctr, in, out, blocks);
  else
    Stitched<V, false, true, kNr>(rk, rounds, &key, X, ctr, in, out, blocks);
}

template <class V>
void StitchedCrypt(bool encrypt, const std::uint8_t* rk, unsigned rounds, const TGHashKey& key, std::uint8_t X[16],
                   std::uint8_t ctr[16], const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) {
  // On 128-bit registers a group's sixteen blocks and products already fill the sixteen
  // registers: unrolled rounds made the compiler spill a power of H, so they keep counting.
  if constexpr (V::kLanes == 1) return StitchedCryptRounds<V, 0>(encrypt, rk, rounds, key, X, ctr, in, out, blocks);
  switch (rounds) {
    case 10: return StitchedCryptRounds<V, 10>(encrypt, rk, rounds, key, X, ctr, in, out, blocks);
    case 12: return StitchedCryptRounds<V, 12>(encrypt, rk, rounds, key, X, ctr, in, out, blocks);
    case 14: return StitchedCryptRounds<V, 14>(encrypt, rk, rounds, key, X, ctr, in, out, blocks);
    default: return StitchedCryptRounds<V, 0>(encrypt, rk, rounds, key, X, ctr, in, out, blocks);
  }
}

}  // namespace
}  // namespace AESModes::kernel
