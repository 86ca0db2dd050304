// Message digests: SHA-256 and SHA-512, and SHA-1 and MD5, which are here only to read files that
// older tools wrote (their passphrase derivations): neither is fit for anything new. One-shot and
// incremental forms; every state that saw data is wiped when it is finished or goes away.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/Types.h"

namespace Hash {

using platform::Integer;

// MD5 and SHA1: for reading legacy files only.
enum class THashKind : std::uint8_t { MD5, SHA1, SHA256, SHA512 };

// 16, 20, 32, 64 bytes.
std::size_t DigestSize(THashKind kind) noexcept;
// 64, 64, 64, 128 bytes.
std::size_t BlockSize(THashKind kind) noexcept;

inline constexpr std::size_t kMaxDigestSize = 64;
inline constexpr std::size_t kMaxBlockSize = 128;

// The chaining value: MD5, SHA-1 and SHA-256 keep theirs in the first 4, 5 or 8 words of W32,
// SHA-512 in W64.
struct TChain {
  std::array<std::uint32_t, 8> W32;
  std::array<std::uint64_t, 8> W64;
};

// An incremental digest. Movable (the moved-from object is wiped and starts a new message);
// not copyable, so no stray copy of a state holds what it saw.
class THash {
 public:
  explicit THash(THashKind kind) noexcept;
  ~THash();
  THash(THash&& other) noexcept;
  THash& operator=(THash&& other) noexcept;
  THash(const THash&) = delete;
  THash& operator=(const THash&) = delete;

  THashKind Kind() const noexcept { return FKind; }
  // Appends data to the message (any length, empty included).
  void Update(std::span<const std::uint8_t> data) noexcept;
  // Writes the digest to the first DigestSize bytes of digest and starts a new message.
  // kBadArgument, nothing written and the message kept, when digest is shorter than DigestSize.
  Integer Final(std::span<std::uint8_t> digest) noexcept;
  // Forgets the message (wiping what it held) and starts a new one.
  void Reset() noexcept;

 private:
  friend class THMAC;
  THashKind FKind;
  std::uint32_t FBuffered = 0;  // bytes waiting in FBuffer, always below the block size
  std::uint64_t FLength = 0;    // bytes of the message so far
  TChain FChain{};
  std::array<std::uint8_t, kMaxBlockSize> FBuffer{};
};

// The digest of data in one call: as THash, Update, Final. kBadArgument when digest is shorter
// than DigestSize (nothing written).
Integer Digest(THashKind kind, std::span<const std::uint8_t> data, std::span<std::uint8_t> digest) noexcept;

}  // namespace Hash
