#include "crypto/engine/AESCore.h"

#include <array>
#include <cstdint>

namespace AESCore {

namespace {

using Table = std::array<std::uint8_t, 256>;

constexpr std::uint8_t XTime(std::uint8_t a) {
  return static_cast<std::uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0x00));
}

// Product in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1.
constexpr std::uint8_t GMul(std::uint8_t a, std::uint8_t b) {
  std::uint8_t p = 0;
  for (int i = 0; i < 8; ++i) {
    if (b & 1) p ^= a;
    a = XTime(a);
    b >>= 1;
  }
  return p;
}

// The powers of the generator 3 run through every non-zero element of GF(2^8) once, so
// x = 3^i has the inverse 3^(255 - i). One pass over the powers keeps the constant
// evaluation to a few thousand steps, well within what every compiler allows.
constexpr Table MakeSBox() {
  std::array<std::uint8_t, 255> power{};
  std::uint8_t p = 1;
  for (int i = 0; i < 255; ++i) {
    power[i] = p;
    p = static_cast<std::uint8_t>(p ^ XTime(p));
  }
  const auto affine = [](std::uint8_t inv) {
    std::uint8_t r = inv;
    for (int k = 1; k <= 4; ++k) r ^= static_cast<std::uint8_t>((inv << k) | (inv >> (8 - k)));
    return static_cast<std::uint8_t>(r ^ 0x63);
  };
  Table s{};
  s[0] = affine(0);  // 0 has no inverse and maps as 0
  for (int i = 0; i < 255; ++i) s[power[i]] = affine(power[(255 - i) % 255]);
  return s;
}

constexpr Table MakeInverse(const Table& t) {
  Table inv{};
  for (int x = 0; x < 256; ++x) inv[t[x]] = static_cast<std::uint8_t>(x);
  return inv;
}

constexpr Table MakeProducts(std::uint8_t factor) {
  Table t{};
  for (int x = 0; x < 256; ++x) t[x] = GMul(static_cast<std::uint8_t>(x), factor);
  return t;
}

constexpr Table kSBox = MakeSBox();
constexpr Table kInvSBox = MakeInverse(kSBox);
constexpr Table kMul2 = MakeProducts(2), kMul3 = MakeProducts(3), kMul9 = MakeProducts(9),
                kMul11 = MakeProducts(11), kMul13 = MakeProducts(13), kMul14 = MakeProducts(14);

static_assert(kSBox[0x00] == 0x63 && kSBox[0x01] == 0x7C && kSBox[0x53] == 0xED && kSBox[0xFF] == 0x16 &&
              kInvSBox[0x63] == 0x00);

// Rcon(j): x^(j-1) in GF(2^8), computed at each use.
std::uint8_t Rcon(Cardinal j) {
  std::uint8_t r = 1;
  for (Cardinal k = 1; k < j; ++k) r = XTime(r);
  return r;
}

constexpr bool ValidNk(Cardinal Nk) { return Nk >= 1 && Nk <= 8; }

// The state is kept in input order: byte r + 4c is row r, column c.
using State = std::array<std::uint8_t, 16>;

void AddRoundKey(State& s, const TCharArray60_4& w, Cardinal round) {
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) s[r + 4 * c] ^= w[4 * round + c][r];
}

// SubBytes followed by ShiftRows: row r rotates left by r places.
void SubShiftRows(State& s) {
  const State t = s;
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) s[r + 4 * c] = kSBox[t[r + 4 * ((c + r) & 3)]];
}

// InvShiftRows followed by InvSubBytes: row r rotates right by r places.
void InvShiftSubRows(State& s) {
  const State t = s;
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) s[r + 4 * ((c + r) & 3)] = kInvSBox[t[r + 4 * c]];
}

void MixColumns(State& s) {
  for (int c = 0; c < 4; ++c) {
    std::uint8_t* col = &s[4 * c];
    const std::uint8_t a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
    col[0] = kMul2[a0] ^ kMul3[a1] ^ a2 ^ a3;
    col[1] = a0 ^ kMul2[a1] ^ kMul3[a2] ^ a3;
    col[2] = a0 ^ a1 ^ kMul2[a2] ^ kMul3[a3];
    col[3] = kMul3[a0] ^ a1 ^ a2 ^ kMul2[a3];
  }
}

void InvMixColumns(State& s) {
  for (int c = 0; c < 4; ++c) {
    std::uint8_t* col = &s[4 * c];
    const std::uint8_t a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
    col[0] = kMul14[a0] ^ kMul11[a1] ^ kMul13[a2] ^ kMul9[a3];
    col[1] = kMul9[a0] ^ kMul14[a1] ^ kMul11[a2] ^ kMul13[a3];
    col[2] = kMul13[a0] ^ kMul9[a1] ^ kMul14[a2] ^ kMul11[a3];
    col[3] = kMul11[a0] ^ kMul13[a1] ^ kMul9[a2] ^ kMul14[a3];
  }
}

}  // namespace

Integer TAESCore::KeyExpansion(const TBytes& AKey, TCharArray60_4& AW, Cardinal ANk) const {
  if (!ValidNk(ANk) || AKey.size() < 4 * static_cast<std::size_t>(ANk)) return kBadKeySize;
  const Cardinal words = 4 * (ANk + 7);
  for (Cardinal i = 0; i < ANk; ++i)
    for (int b = 0; b < 4; ++b) AW[i][b] = AKey[4 * i + b];
  for (Cardinal i = ANk; i < words; ++i) {
    std::array<std::uint8_t, 4> temp = AW[i - 1];
    if (i % ANk == 0) {
      temp = {kSBox[temp[1]], kSBox[temp[2]], kSBox[temp[3]], kSBox[temp[0]]};
      temp[0] ^= Rcon(i / ANk);
    } else if (ANk > 6 && i % ANk == 4) {
      for (auto& b : temp) b = kSBox[b];
    }
    for (int b = 0; b < 4; ++b) AW[i][b] = AW[i - ANk][b] ^ temp[b];
  }
  return 0;
}

Integer TAESCore::Cipher(const TCharArray16& AIn, TCharArray16& AOut, const TCharArray60_4& AW, Cardinal ANk) const {
  if (!ValidNk(ANk)) return kBadKeySize;
  const Cardinal Nr = ANk + 6;
  State s = AIn;
  AddRoundKey(s, AW, 0);
  for (Cardinal round = 1; round < Nr; ++round) {
    SubShiftRows(s);
    MixColumns(s);
    AddRoundKey(s, AW, round);
  }
  SubShiftRows(s);
  AddRoundKey(s, AW, Nr);
  AOut = s;
  return 0;
}

Integer TAESCore::InvCipher(const TCharArray16& AIn, TCharArray16& AOut, const TCharArray60_4& AW, Cardinal ANk) const {
  if (!ValidNk(ANk)) return kBadKeySize;
  const Cardinal Nr = ANk + 6;
  State s = AIn;
  AddRoundKey(s, AW, Nr);
  for (Cardinal round = Nr - 1; round >= 1; --round) {
    InvShiftSubRows(s);
    AddRoundKey(s, AW, round);
    InvMixColumns(s);
  }
  InvShiftSubRows(s);
  AddRoundKey(s, AW, 0);
  AOut = s;
  return 0;
}

}  // namespace AESCore
