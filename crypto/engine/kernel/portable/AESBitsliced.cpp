// Layout: plane i holds bit i of every state byte of the four blocks. Byte (row r, column c) of
// block b sits at bit 16r + 4c + b, so a row is a 16-bit field: MixColumns reaches the next row
// by rotating the whole word 16 bits, and ShiftRows rotates each field by 4r bits.
#include "crypto/engine/kernel/portable/AESBitsliced.h"

#include "platform/Memory.h"

namespace AESModes::bitsliced {

namespace {

using U64 = std::uint64_t;

struct TPlanes {
  U64 q[8];
};

U64 LoadLE(const std::uint8_t* p) noexcept {
  U64 v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

void StoreLE(std::uint8_t* p, U64 v) noexcept {
  for (int i = 0; i < 8; ++i, v >>= 8) p[i] = static_cast<std::uint8_t>(v);
}

constexpr U64 Rotr(U64 x, int n) noexcept { return (x >> n) | (x << (64 - n)); }

// Byte m of the low 32 bits goes to byte 2m, and back.
constexpr U64 Spread(U64 x) noexcept {
  x = (x | (x << 16)) & 0x0000FFFF0000FFFFULL;
  return (x | (x << 8)) & 0x00FF00FF00FF00FFULL;
}

constexpr U64 Gather(U64 x) noexcept {
  x &= 0x00FF00FF00FF00FFULL;
  x = (x | (x >> 8)) & 0x0000FFFF0000FFFFULL;
  return (x | (x >> 16)) & 0x00000000FFFFFFFFULL;
}

// Swaps, in every byte, bit i (with bit s set) of a with bit i - s of b: applied for s = 1, 2, 4
// over the eight words it transposes each 8 x 8 matrix (word j, bit i) -> (word i, bit j), and
// is its own inverse.
void Transpose(U64 (&x)[8]) noexcept {
  constexpr U64 kMask[3] = {0x5555555555555555ULL, 0x3333333333333333ULL, 0x0F0F0F0F0F0F0F0FULL};
  for (int level = 0; level < 3; ++level) {
    const int s = 1 << level;
    for (int j = 0; j < 8; ++j) {
      if (j & s) continue;
      const U64 t = ((x[j] >> s) ^ x[j + s]) & kMask[level];
      x[j + s] ^= t;
      x[j] ^= t << s;
    }
  }
}

// Word j = 4 * (c & 1) + b gathers, at byte 2r + (c >> 1), byte (r, c) of block b, which after
// the transposition is bit 16r + 4c + b of each plane. Block bytes are column-major (r + 4c).
// Only the first n lanes are read or written; the others hold zero.
template <std::size_t n>
void Load(TPlanes& s, const std::uint8_t* in) noexcept {
  for (std::size_t b = 0; b < 4; ++b) {
    const U64 lo = b < n ? LoadLE(in + 16 * b) : 0, hi = b < n ? LoadLE(in + 16 * b + 8) : 0;
    s.q[b] = Spread(lo & 0xFFFFFFFFu) | (Spread(hi & 0xFFFFFFFFu) << 8);
    s.q[4 + b] = Spread(lo >> 32) | (Spread(hi >> 32) << 8);
  }
  Transpose(s.q);
}

template <std::size_t n>
void Store(TPlanes& s, std::uint8_t* out) noexcept {
  Transpose(s.q);
  for (std::size_t b = 0; b < n; ++b) {
    const U64 x = s.q[b], y = s.q[4 + b];
    StoreLE(out + 16 * b, Gather(x) | (Gather(y) << 32));
    StoreLE(out + 16 * b + 8, Gather(x >> 8) | (Gather(y >> 8) << 32));
  }
}

// The S-box as 113 gates over GF(2): a linear layer into 22 signals, a shared nonlinear core for
// the inversion in GF(2^8), and a linear layer out (Boyar and Peralta's circuit). x0 / s0 is the
// most significant bit, plane 7.
[[gnu::always_inline]] inline void SubBytes(TPlanes& st) noexcept {
  U64* q = st.q;
  const U64 x0 = q[7], x1 = q[6], x2 = q[5], x3 = q[4], x4 = q[3], x5 = q[2], x6 = q[1], x7 = q[0];

  const U64 y14 = x3 ^ x5, y13 = x0 ^ x6, y9 = x0 ^ x3, y8 = x0 ^ x5, t0 = x1 ^ x2;
  const U64 y1 = t0 ^ x7, y4 = y1 ^ x3, y12 = y13 ^ y14, y2 = y1 ^ x0, y5 = y1 ^ x6;
  const U64 y3 = y5 ^ y8, t1 = x4 ^ y12, y15 = t1 ^ x5, y20 = t1 ^ x1, y6 = y15 ^ x7;
  const U64 y10 = y15 ^ t0, y11 = y20 ^ y9, y7 = x7 ^ y11, y17 = y10 ^ y11, y19 = y10 ^ y8;
  const U64 y16 = t0 ^ y11, y21 = y13 ^ y16, y18 = x0 ^ y16;

  const U64 t2 = y12 & y15, t3 = y3 & y6, t4 = t3 ^ t2, t5 = y4 & x7, t6 = t5 ^ t2;
  const U64 t7 = y13 & y16, t8 = y5 & y1, t9 = t8 ^ t7, t10 = y2 & y7, t11 = t10 ^ t7;
  const U64 t12 = y9 & y11, t13 = y14 & y17, t14 = t13 ^ t12, t15 = y8 & y10, t16 = t15 ^ t12;
  const U64 t17 = t4 ^ t14, t18 = t6 ^ t16, t19 = t9 ^ t14, t20 = t11 ^ t16;
  const U64 t21 = t17 ^ y20, t22 = t18 ^ y19, t23 = t19 ^ y21, t24 = t20 ^ y18;
  const U64 t25 = t21 ^ t22, t26 = t21 & t23, t27 = t24 ^ t26, t28 = t25 & t27, t29 = t28 ^ t22;
  const U64 t30 = t23 ^ t24, t31 = t22 ^ t26, t32 = t31 & t30, t33 = t32 ^ t24, t34 = t23 ^ t33;
  const U64 t35 = t27 ^ t33, t36 = t24 & t35, t37 = t36 ^ t34, t38 = t27 ^ t36, t39 = t29 & t38;
  const U64 t40 = t25 ^ t39, t41 = t40 ^ t37, t42 = t29 ^ t33, t43 = t29 ^ t40, t44 = t33 ^ t37;
  const U64 t45 = t42 ^ t41;
  const U64 z0 = t44 & y15, z1 = t37 & y6, z2 = t33 & x7, z3 = t43 & y16, z4 = t40 & y1, z5 = t29 & y7;
  const U64 z6 = t42 & y11, z7 = t45 & y17, z8 = t41 & y10, z9 = t44 & y12, z10 = t37 & y3, z11 = t33 & y4;
  const U64 z12 = t43 & y13, z13 = t40 & y5, z14 = t29 & y2, z15 = t42 & y9, z16 = t45 & y14, z17 = t41 & y8;

  const U64 t46 = z15 ^ z16, t47 = z10 ^ z11, t48 = z5 ^ z13, t49 = z9 ^ z10, t50 = z2 ^ z12;
  const U64 t51 = z2 ^ z5, t52 = z7 ^ z8, t53 = z0 ^ z3, t54 = z6 ^ z7, t55 = z16 ^ z17;
  const U64 t56 = z12 ^ t48, t57 = t50 ^ t53, t58 = z4 ^ t46, t59 = z3 ^ t54, t60 = t46 ^ t57;
  const U64 t61 = z14 ^ t57, t62 = t52 ^ t58, t63 = t49 ^ t58, t64 = z4 ^ t59, t65 = t61 ^ t62;
  const U64 t66 = z1 ^ t63, t67 = t64 ^ t65;
  const U64 s3 = t53 ^ t66;
  q[7] = t59 ^ t63;        // s0
  q[6] = ~(t64 ^ s3);      // s1
  q[5] = ~(t55 ^ t67);     // s2
  q[4] = s3;               // s3
  q[3] = t51 ^ t66;        // s4
  q[2] = t47 ^ t65;        // s5
  q[1] = ~(t56 ^ t62);     // s6
  q[0] = ~(t48 ^ t60);     // s7
}

// The linear part of the inverse affine map (bit i = bits i+2, i+5, i+7) and its constant 0x05:
// InvSubBytes(y) = A'(SubBytes(A'(y))) with A' this affine map.
[[gnu::always_inline]] inline void InverseAffine(TPlanes& st) noexcept {
  const TPlanes a = st;
  for (int i = 0; i < 8; ++i) st.q[i] = a.q[(i + 2) & 7] ^ a.q[(i + 5) & 7] ^ a.q[(i + 7) & 7];
  st.q[0] = ~st.q[0];
  st.q[2] = ~st.q[2];
}

[[gnu::always_inline]] inline void InvSubBytes(TPlanes& st) noexcept {
  InverseAffine(st);
  SubBytes(st);
  InverseAffine(st);
}

// Row r (bits 16r .. 16r+15) rotates by r columns (4r bits) within its field: rows 2 and 3 by two
// columns (a swap of the field's halves), then rows 1 and 3 by one.
U64 SwapHalvesOfRows23(U64 x) noexcept {
  const U64 t = (x ^ (x >> 8)) & 0x00FF00FF00000000ULL;
  return x ^ t ^ (t << 8);
}

U64 ShiftRows(U64 x) noexcept {
  x = SwapHalvesOfRows23(x);
  return (x & 0x0000FFFF0000FFFFULL) | ((x >> 4) & 0x0FFF00000FFF0000ULL) | ((x << 12) & 0xF0000000F0000000ULL);
}

U64 InvShiftRows(U64 x) noexcept {
  x = SwapHalvesOfRows23(x);
  return (x & 0x0000FFFF0000FFFFULL) | ((x << 4) & 0xFFF00000FFF00000ULL) | ((x >> 12) & 0x000F0000000F0000ULL);
}

// Multiplication by x in GF(2^8), plane by plane: x^8 = x^4 + x^3 + x + 1.
TPlanes XTime(const TPlanes& a) noexcept {
  const U64 h = a.q[7];
  return {{h, a.q[0] ^ h, a.q[1], a.q[2] ^ h, a.q[3] ^ h, a.q[4], a.q[5], a.q[6]}};
}

// Row r of a column becomes 2 a_r + 3 a_{r+1} + a_{r+2} + a_{r+3}
// = 2 t_r + a_{r+1} + t_{r+2} with t_r = a_r + a_{r+1}.
[[gnu::always_inline]] inline void MixColumns(TPlanes& st) noexcept {
  TPlanes t;
  for (int i = 0; i < 8; ++i) t.q[i] = st.q[i] ^ Rotr(st.q[i], 16);
  const TPlanes t2 = XTime(t);
  for (int i = 0; i < 8; ++i) st.q[i] = t2.q[i] ^ Rotr(st.q[i], 16) ^ Rotr(t.q[i], 32);
}

// The inverse matrix (14 11 13 9) is (2 3 1 1) times (5 0 4 0): a_r + 4 (a_r + a_{r+2}) first.
[[gnu::always_inline]] inline void InvMixColumns(TPlanes& st) noexcept {
  TPlanes v;
  for (int i = 0; i < 8; ++i) v.q[i] = st.q[i] ^ Rotr(st.q[i], 32);
  v = XTime(XTime(v));
  for (int i = 0; i < 8; ++i) st.q[i] ^= v.q[i];
  MixColumns(st);
}

void AddRoundKey(TPlanes& st, const U64 (&rk)[8]) noexcept {
  for (int i = 0; i < 8; ++i) st.q[i] ^= rk[i];
}

void ForEachPlane(TPlanes& st, U64 (*f)(U64)) noexcept {
  for (U64& x : st.q) x = f(x);
}

}  // namespace

void SliceKeys(const std::uint8_t* roundKeys, unsigned Nr, TSlicedKeys& k) noexcept {
  std::uint8_t copies[kStepBytes];
  TPlanes st;
  for (unsigned r = 0; r <= Nr; ++r) {
    for (std::size_t b = 0; b < kLanes; ++b)
      for (int i = 0; i < 16; ++i) copies[16 * b + i] = roundKeys[16 * r + i];
    Load<kLanes>(st, copies);
    for (int i = 0; i < 8; ++i) k.Q[r][i] = st.q[i];
  }
  k.Nr = Nr;
  platform::SecureZero(copies, sizeof copies);
  platform::SecureZero(&st, sizeof st);
}

namespace {

void Encrypt(const TSlicedKeys& k, TPlanes& st) noexcept {
  AddRoundKey(st, k.Q[0]);
  for (unsigned r = 1; r < k.Nr; ++r) {
    SubBytes(st);
    ForEachPlane(st, ShiftRows);
    MixColumns(st);
    AddRoundKey(st, k.Q[r]);
  }
  SubBytes(st);
  ForEachPlane(st, ShiftRows);
  AddRoundKey(st, k.Q[k.Nr]);
}

void Decrypt(const TSlicedKeys& k, TPlanes& st) noexcept {
  AddRoundKey(st, k.Q[k.Nr]);
  for (unsigned r = k.Nr - 1; r >= 1; --r) {
    ForEachPlane(st, InvShiftRows);
    InvSubBytes(st);
    AddRoundKey(st, k.Q[r]);
    InvMixColumns(st);
  }
  ForEachPlane(st, InvShiftRows);
  InvSubBytes(st);
  AddRoundKey(st, k.Q[0]);
}

template <std::size_t n, void (*Rounds)(const TSlicedKeys&, TPlanes&) noexcept>
void Run(const TSlicedKeys& k, const std::uint8_t* in, std::uint8_t* out) noexcept {
  TPlanes st;
  Load<n>(st, in);
  Rounds(k, st);
  Store<n>(st, out);
  platform::SecureZero(&st, sizeof st);
}

}  // namespace

void EncryptStep(const TSlicedKeys& k, const std::uint8_t* in, std::uint8_t* out) noexcept {
  Run<kLanes, Encrypt>(k, in, out);
}
void DecryptStep(const TSlicedKeys& k, const std::uint8_t* in, std::uint8_t* out) noexcept {
  Run<kLanes, Decrypt>(k, in, out);
}
void EncryptBlock(const TSlicedKeys& k, const std::uint8_t* in, std::uint8_t* out) noexcept { Run<1, Encrypt>(k, in, out); }
void DecryptBlock(const TSlicedKeys& k, const std::uint8_t* in, std::uint8_t* out) noexcept { Run<1, Decrypt>(k, in, out); }

void ExpandKey(const std::uint8_t* key, unsigned Nk, std::uint8_t* w) noexcept {
  const unsigned words = 4 * (Nk + 7);
  for (unsigned i = 0; i < 4 * Nk; ++i) w[i] = key[i];
  std::uint8_t block[16] = {};
  std::uint8_t rcon = 1;
  TPlanes st;
  for (unsigned i = Nk; i < words; ++i) {
    std::uint8_t* word = w + 4 * i;
    const std::uint8_t* prev = word - 4;
    const bool rotate = i % Nk == 0;
    if (rotate || (Nk > 6 && i % Nk == 4)) {
      // SubWord through the circuit: the word in the first four bytes of lane 0.
      for (int b = 0; b < 4; ++b) block[b] = prev[rotate ? (b + 1) & 3 : b];
      Load<1>(st, block);
      SubBytes(st);
      Store<1>(st, block);
      for (int b = 0; b < 4; ++b) word[b] = block[b];
      if (rotate) {
        word[0] ^= rcon;
        rcon = static_cast<std::uint8_t>((rcon << 1) ^ (rcon & 0x80 ? 0x1B : 0));  // public round counter
      }
    } else {
      for (int b = 0; b < 4; ++b) word[b] = prev[b];
    }
    for (int b = 0; b < 4; ++b) word[b] ^= word[b - 4 * static_cast<int>(Nk)];
  }
  platform::SecureZero(block, sizeof block);
  platform::SecureZero(&st, sizeof st);
}

}  // namespace AESModes::bitsliced
