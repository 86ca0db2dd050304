// The four modes by name, and the rules about them that every family follows, each written
// once. Every public entry turns its mode (the caller's number, or the object's TAESType) into
// a TMode here; nothing below the entries compares mode numbers. Internal to the engine.
#pragma once

#include <cstdint>

#include "platform/Types.h"

namespace AESModes::detail {

// ECB, CBC, OFB and CTR in the numbering of TAESType (0 to 3). Any other number is Unknown: a
// block step refuses it (-209) when the first block meets it, so checks that come before that
// (sizes, the IV, the key) run for it as for the others.
enum class TMode : std::uint8_t { ECB, CBC, OFB, CTR, Unknown };

constexpr TMode NamedMode(platform::Integer mode) noexcept {
  return mode >= 0 && mode <= 3 ? static_cast<TMode>(mode) : TMode::Unknown;
}

// Every mode but ECB chains from an IV (an Unknown mode is treated as one that does).
constexpr bool UsesIV(TMode mode) noexcept { return mode != TMode::ECB; }

// The IV travels in front of the cipher text only when asked and the mode uses one.
constexpr bool CarriesIV(bool IVIn, TMode mode) noexcept { return IVIn && UsesIV(mode); }

// Decryption runs the inverse cipher in ECB and CBC, which so need its key schedule; OFB and CTR
// decrypt with the cipher itself.
constexpr bool DecryptsWithInverse(TMode mode) noexcept { return mode == TMode::ECB || mode == TMode::CBC; }

// A cipher text is whole blocks unless it is CTR without padding: CTR's keystream covers a
// partial last block, while padding can only be found in a whole one.
constexpr bool WholeBlocksOnly(TMode mode, bool padding) noexcept { return padding || mode != TMode::CTR; }

}  // namespace AESModes::detail
