#include "crypto/hash/Hash.h"

#include <algorithm>
#include <cstring>

#include "crypto/hash/HashFunctions.h"
#include "crypto/support/error.h"
#include "platform/Memory.h"

namespace Hash {

namespace detail {

const TFunction& FunctionOf(THashKind kind) noexcept {
  static const TFunction table[4] = {
      {16, 64, 8, true, InitMD5, CompressMD5, OutputMD5},
      {20, 64, 8, false, InitSHA1, CompressSHA1, OutputSHA1},
      {32, 64, 8, false, InitSHA256, SHA256Chosen(), OutputSHA256},
      {64, 128, 16, false, InitSHA512, SHA512Chosen(), OutputSHA512},
  };
  return table[static_cast<std::size_t>(kind) & 3];
}

void PadBlock(const TFunction& f, std::uint8_t* block, std::size_t used, std::uint64_t total) noexcept {
  std::memset(block + used, 0, f.BlockBytes - used);
  // The length in bits; a byte count below 2^64 has its top three bits in the next word up.
  const std::uint64_t low = total << 3, high = total >> 61;
  std::uint8_t* end = block + f.BlockBytes;
  if (f.LittleEndian) {
    StoreLE32(end - 8, static_cast<std::uint32_t>(low));
    StoreLE32(end - 4, static_cast<std::uint32_t>(low >> 32));
  } else {
    StoreBE64(end - 8, low);
    if (f.LengthBytes == 16) StoreBE64(end - 16, high);
  }
}

void Finish(const TFunction& f, TChain& chain, std::uint8_t* block, std::uint64_t total) noexcept {
  std::size_t used = total % f.BlockBytes;
  block[used++] = 0x80;
  if (used > f.BlockBytes - f.LengthBytes) {  // no room for the length: it fills one more block
    std::memset(block + used, 0, f.BlockBytes - used);
    f.Compress(chain, block, 1);
    used = 0;
  }
  PadBlock(f, block, used, total);
  f.Compress(chain, block, 1);
}

}  // namespace detail

std::size_t DigestSize(THashKind kind) noexcept { return detail::FunctionOf(kind).DigestBytes; }
std::size_t BlockSize(THashKind kind) noexcept { return detail::FunctionOf(kind).BlockBytes; }

THash::THash(THashKind kind) noexcept : FKind(kind) { detail::FunctionOf(kind).Init(FChain); }

THash::~THash() {
  platform::SecureZero(&FChain, sizeof FChain);
  platform::SecureZero(FBuffer.data(), FBuffer.size());
}

THash::THash(THash&& other) noexcept
    : FKind(other.FKind), FBuffered(other.FBuffered), FLength(other.FLength), FChain(other.FChain),
      FBuffer(other.FBuffer) {
  other.Reset();
}

THash& THash::operator=(THash&& other) noexcept {
  if (this != &other) {
    FKind = other.FKind;
    FBuffered = other.FBuffered;
    FLength = other.FLength;
    FChain = other.FChain;
    FBuffer = other.FBuffer;
    other.Reset();
  }
  return *this;
}

void THash::Reset() noexcept {
  platform::SecureZero(&FChain, sizeof FChain);
  platform::SecureZero(FBuffer.data(), FBuffer.size());
  FBuffered = 0;
  FLength = 0;
  detail::FunctionOf(FKind).Init(FChain);
}

void THash::Update(std::span<const std::uint8_t> data) noexcept {
  if (data.empty()) return;  // (an empty span may hold a null pointer, which memcpy may not get)
  const detail::TFunction& f = detail::FunctionOf(FKind);
  FLength += data.size();
  if (FBuffered > 0) {
    const std::size_t take = std::min(data.size(), f.BlockBytes - FBuffered);
    std::memcpy(FBuffer.data() + FBuffered, data.data(), take);
    FBuffered += static_cast<std::uint32_t>(take);
    data = data.subspan(take);
    if (FBuffered < f.BlockBytes) return;
    f.Compress(FChain, FBuffer.data(), 1);
    FBuffered = 0;
  }
  const std::size_t whole = data.size() / f.BlockBytes;
  if (whole > 0) f.Compress(FChain, data.data(), whole);
  data = data.subspan(whole * f.BlockBytes);
  if (!data.empty()) std::memcpy(FBuffer.data(), data.data(), data.size());
  FBuffered = static_cast<std::uint32_t>(data.size());
}

Integer THash::Final(std::span<std::uint8_t> digest) noexcept {
  const detail::TFunction& f = detail::FunctionOf(FKind);
  if (digest.size() < f.DigestBytes) return error::kBadArgument;
  detail::Finish(f, FChain, FBuffer.data(), FLength);
  f.Output(FChain, digest.data());
  Reset();
  return error::kOK;
}

Integer Digest(THashKind kind, std::span<const std::uint8_t> data, std::span<std::uint8_t> digest) noexcept {
  if (digest.size() < DigestSize(kind)) return error::kBadArgument;
  THash hash(kind);
  hash.Update(data);
  return hash.Final(digest);
}

}  // namespace Hash
