// The constant-time AES of the portable kernel and of TAESCore: four blocks at a time as eight
// 64-bit bit planes, the S-box as a Boolean circuit, so no branch and no memory address depends on
// the key or the data. Internal to the engine.
#pragma once

#include <cstddef>
#include <cstdint>

namespace AESModes::bitsliced {

// Blocks one step works on.
inline constexpr std::size_t kLanes = 4;
inline constexpr std::size_t kStepBytes = 16 * kLanes;

// Round key r as bit planes, the same key in every lane. Nr is 7 to 14.
struct alignas(64) TSlicedKeys {
  std::uint64_t Q[15][8];
  unsigned Nr;
};

// roundKeys: (Nr + 1) * 16 bytes, round key r at byte 16r (the cipher's schedule).
void SliceKeys(const std::uint8_t* roundKeys, unsigned Nr, TSlicedKeys& k) noexcept;

// Enciphers / deciphers the kLanes blocks at in (kStepBytes bytes) into out; out may be in.
void EncryptStep(const TSlicedKeys& k, const std::uint8_t* in, std::uint8_t* out) noexcept;
void DecryptStep(const TSlicedKeys& k, const std::uint8_t* in, std::uint8_t* out) noexcept;
// One block (16 bytes) in the first lane, for the serial modes; out may be in.
void EncryptBlock(const TSlicedKeys& k, const std::uint8_t* in, std::uint8_t* out) noexcept;
void DecryptBlock(const TSlicedKeys& k, const std::uint8_t* in, std::uint8_t* out) noexcept;

// The key expansion for Nk (1..8) words of key into 4 * (Nk + 7) words at w (4 bytes each), with
// SubWord on the same circuit. Nk is public; the key bytes decide nothing.
void ExpandKey(const std::uint8_t* key, unsigned Nk, std::uint8_t* w) noexcept;

}  // namespace AESModes::bitsliced
