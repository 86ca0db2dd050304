// Key derivation from HMAC: HKDF (RFC 5869) and PBKDF2 (RFC 8018). Every intermediate value is
// wiped. On a failed check nothing is written.
#pragma once

#include <cstdint>
#include <span>

#include "crypto/hash/Hash.h"

namespace Hash {

// prk = HMAC(salt, ikm); an empty salt acts as DigestSize zero bytes. kBadArgument unless
// prk.size() == DigestSize.
Integer HKDF_Extract(THashKind kind, std::span<const std::uint8_t> salt, std::span<const std::uint8_t> ikm,
                     std::span<std::uint8_t> prk) noexcept;
// Fills out from prk (any length; normally a pseudorandom key of DigestSize bytes, or a uniformly
// random key of another length) and info. kBadArgument when out is empty or longer than
// 255 * DigestSize.
Integer HKDF_Expand(THashKind kind, std::span<const std::uint8_t> prk, std::span<const std::uint8_t> info,
                    std::span<std::uint8_t> out) noexcept;
// Fills out with PBKDF2-HMAC of password and salt (any lengths, empty included). kBadArgument when
// iterations is 0, out is empty or out is longer than (2^32 - 1) * DigestSize.
Integer PBKDF2_HMAC(THashKind kind, std::span<const std::uint8_t> password, std::span<const std::uint8_t> salt,
                    std::uint32_t iterations, std::span<std::uint8_t> out) noexcept;

}  // namespace Hash
