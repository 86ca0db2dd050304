// Basic types shared by every layer: UTF-16 text, byte arrays and AES blocks.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Text as UTF-16 code units; lengths and positions count code units.
// A "byte string" is a string whose every code unit carries one byte (0..255).
using string = std::u16string;

using TBytes = std::vector<std::uint8_t>;

// One AES block, in the byte order of FIPS-197.
using TCharArray16 = std::array<std::uint8_t, 16>;
// An expanded key schedule: 60 words of 4 bytes.
using TCharArray60_4 = std::array<std::array<std::uint8_t, 4>, 60>;
// GCM multiplication table (64 KiB): always allocate on the heap.
using TCharArray16_256_16 = std::array<std::array<TCharArray16, 256>, 16>;

using Integer = std::int32_t;
using Cardinal = std::uint32_t;
using HRESULT = std::int32_t;
using UInt64 = std::uint64_t;

}  // namespace platform
