// The compression functions behind THash, THMAC and the KDFs, one table entry per digest. Not
// installed: the library's own sources and the tests use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "crypto/hash/Hash.h"

namespace Hash::detail {

using TCompress = void (*)(TChain& chain, const std::uint8_t* blocks, std::size_t count) noexcept;

struct TFunction {
  std::size_t DigestBytes;
  std::size_t BlockBytes;
  std::size_t LengthBytes;  // the message length closing the padding: 8 bytes, 16 for SHA-512
  bool LittleEndian;        // MD5: words and length little-endian; the others big-endian
  void (*Init)(TChain& chain) noexcept;
  TCompress Compress;       // count whole blocks
  void (*Output)(const TChain& chain, std::uint8_t* digest) noexcept;
};

// The entry of a kind. SHA-256's compression is chosen once per process: the SHA extensions when
// the processor has them, unless the environment variable ORVOAES_KERNEL is "portable" (the switch
// the tests use to run the portable code on any machine).
const TFunction& FunctionOf(THashKind kind) noexcept;

// Zeroes block (BlockBytes long) from used on and writes the length of a message of total bytes at
// its end. used must leave room: used <= BlockBytes - LengthBytes.
void PadBlock(const TFunction& f, std::uint8_t* block, std::size_t used, std::uint64_t total) noexcept;
// Writes the padding and length of a message of total bytes, whose last total % BlockBytes bytes
// are at the start of block (BlockBytes long), and compresses what results (one or two blocks).
// Leaves message bytes in block; the caller wipes it.
void Finish(const TFunction& f, TChain& chain, std::uint8_t* block, std::uint64_t total) noexcept;

// HKDF-Expand (KDF.h) with info given as the concatenation of its parts and without the stack
// scrub on the way out: for a caller that derives more from the output and scrubs once itself.
Integer HKDFExpand(THashKind kind, std::span<const std::uint8_t> prk,
                   std::span<const std::span<const std::uint8_t>> info, std::span<std::uint8_t> out) noexcept;

void InitSHA256(TChain& chain) noexcept;
void OutputSHA256(const TChain& chain, std::uint8_t* digest) noexcept;
void CompressSHA256Portable(TChain& chain, const std::uint8_t* blocks, std::size_t count) noexcept;
// The SHA-256 compression using the x86 SHA extensions, or nullptr when this build or this processor
// has none.
TCompress SHA256Accelerated() noexcept;
// Whether ORVOAES_KERNEL is "portable": then every digest runs its portable compression.
bool PortableForced() noexcept;
// The SHA-256 compression FunctionOf uses, and its name ("portable", "sha-ni").
TCompress SHA256Chosen() noexcept;
const char* SHA256ChosenName() noexcept;

void InitSHA512(TChain& chain) noexcept;
void OutputSHA512(const TChain& chain, std::uint8_t* digest) noexcept;
void CompressSHA512Portable(TChain& chain, const std::uint8_t* blocks, std::size_t count) noexcept;
// The SHA-512 compression with AVX2 and BMI on x86-64, or nullptr when this build or this
// processor has none.
TCompress SHA512Accelerated() noexcept;
// The SHA-512 compression FunctionOf uses, and its name ("portable", "avx2"); chosen as SHA-256's.
TCompress SHA512Chosen() noexcept;
const char* SHA512ChosenName() noexcept;

void InitSHA1(TChain& chain) noexcept;
void OutputSHA1(const TChain& chain, std::uint8_t* digest) noexcept;
void CompressSHA1(TChain& chain, const std::uint8_t* blocks, std::size_t count) noexcept;

void InitMD5(TChain& chain) noexcept;
void OutputMD5(const TChain& chain, std::uint8_t* digest) noexcept;
void CompressMD5(TChain& chain, const std::uint8_t* blocks, std::size_t count) noexcept;

inline std::uint32_t LoadBE32(const std::uint8_t* p) noexcept {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
inline std::uint64_t LoadBE64(const std::uint8_t* p) noexcept {
  return (std::uint64_t{LoadBE32(p)} << 32) | LoadBE32(p + 4);
}
inline std::uint32_t LoadLE32(const std::uint8_t* p) noexcept {
  return (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}
inline void StoreBE32(std::uint8_t* p, std::uint32_t v) noexcept {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}
inline void StoreBE64(std::uint8_t* p, std::uint64_t v) noexcept {
  StoreBE32(p, static_cast<std::uint32_t>(v >> 32));
  StoreBE32(p + 4, static_cast<std::uint32_t>(v));
}
inline void StoreLE32(std::uint8_t* p, std::uint32_t v) noexcept {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

}  // namespace Hash::detail
