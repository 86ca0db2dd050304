// AES key wrap (RFC 3394) and key wrap with padding (RFC 5649) on the keyed kernel: the wrapping
// function W over 64-bit halves of blocks and its inverse. Each step enciphers one block made of
// the integrity register A and one half R[i], so the 6n steps are serial. Internal to the engine;
// the caller checks the lengths and the integrity register.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/engine/kernel/AESKernel.h"

namespace AESModes::detail {

// The initial value of RFC 3394, and the first half of RFC 5649's (the plain length follows it).
inline constexpr std::uint8_t kKWIV[8] = {0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6};
inline constexpr std::uint8_t kKWPIV[4] = {0xA6, 0x59, 0x59, 0xA6};

// buf: A (8 bytes) followed by n halves R[1..n]; wrapped in place into the 8 + 8n byte result.
// n = 1 is one block cipher call (RFC 5649's short case), n >= 2 the 6n steps of W.
void WrapHalves(const kernel::TExpandedKey& aes, std::uint8_t* buf, std::size_t n) noexcept;
// The inverse, in place: buf ends as A followed by R[1..n]. Needs the inverse schedule.
void UnwrapHalves(const kernel::TExpandedKey& aes, std::uint8_t* buf, std::size_t n) noexcept;

}  // namespace AESModes::detail
