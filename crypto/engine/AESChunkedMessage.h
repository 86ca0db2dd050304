// The pieces every form of chunked encryption (unit AESChunked) shares: one message's derived keys, sealing and
// opening chunk k, runs of chunks spread over threads, and the salt. Private to the unit.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "crypto/engine/AESChunked.h"
#include "crypto/engine/AESKeyed.h"
#include "platform/Memory.h"

namespace AESChunked::detail {

using TIn = std::span<const std::uint8_t>;
using TOut = std::span<std::uint8_t>;

inline constexpr std::size_t kNonceBytes = 12;
inline constexpr unsigned kMaxThreads = 64;

// kBadArgument for a suite outside the two; kBadKeySize for a key of another length.
Integer CheckParams(const TParams& params) noexcept;
// salt = the caller's (kBadArgument unless kSaltBytes long) or drawn from the random source
// (its status on failure).
Integer TakeSalt(TIn given, std::span<std::uint8_t, kSaltBytes> salt) noexcept;

// One message's keys: the AES-GCM key set up once, the base nonce and the commitment.
class TMessage {
 public:
  // Derives from the caller's key, the salt and the context (CheckParams first).
  Integer Derive(const TParams& params, std::span<const std::uint8_t, kSaltBytes> salt);
  std::span<const std::uint8_t, kCommitmentBytes> Commitment() const noexcept;
  // In constant time.
  bool CommitmentMatches(std::span<const std::uint8_t, kCommitmentBytes> c) const noexcept;
  // Chunk k of n plain bytes (n <= kChunkBytes) at in into n + kTagBytes bytes at out. in and
  // out are the same memory or apart.
  void SealChunk(std::uint64_t k, const std::uint8_t* in, std::size_t n, std::uint8_t* out) const noexcept;
  // Chunk k of sealed bytes at in (kTagBytes <= sealed <= kSealedChunkBytes) into
  // sealed - kTagBytes bytes at out; false (out zeroed) when the tag does not match.
  bool OpenChunk(std::uint64_t k, const std::uint8_t* in, std::size_t sealed, std::uint8_t* out) const noexcept;

 private:
  std::array<std::uint8_t, kNonceBytes> Nonce(std::uint64_t k) const noexcept;

  AESKeyed::TAESKey FAEAD;
  platform::TWiped<std::array<std::uint8_t, kNonceBytes + kCommitmentBytes>> FNonceAndCommitment;
};

// Helper threads kept for one operation: Run hands out items to them and to the caller's thread
// and returns when every item is done. With one thread, no helper is started.
class TWorkers {
 public:
  explicit TWorkers(unsigned threads);
  ~TWorkers();
  TWorkers(const TWorkers&) = delete;
  TWorkers& operator=(const TWorkers&) = delete;

  void Run(std::size_t count, const std::function<void(std::size_t)>& job);

 private:
  void Loop();
  void Drain(const std::function<void(std::size_t)>& job, std::size_t count);

  std::vector<std::thread> FHelpers;
  std::mutex FMutex;
  std::condition_variable FWake, FDone;
  const std::function<void(std::size_t)>* FJob = nullptr;
  std::size_t FCount = 0, FBusy = 0;
  std::uint64_t FGeneration = 0;
  bool FStop = false;
  std::atomic<std::size_t> FNext{0};
};

// Seals the chunks first, first + 1, ... of plain into cipher: whole chunks, and when final
// the last, short one (plain's length modulo kChunkBytes, maybe 0). cipher holds
// SealedRunBytes(plain.size(), final) bytes.
void SealRun(const TMessage& m, std::uint64_t first, TIn plain, bool final, std::uint8_t* cipher,
             TWorkers* workers = nullptr);
std::size_t SealedRunBytes(std::size_t plainBytes, bool final) noexcept;
// Opens the chunks of cipher the same way (whole sealed chunks, and when final the last one of
// kTagBytes to kSealedChunkBytes - 1 bytes) into plain; kTagMismatch when any fails, with every
// byte of plain it wrote zeroed.
Integer OpenRun(const TMessage& m, std::uint64_t first, TIn cipher, bool final, std::uint8_t* plain,
                TWorkers* workers = nullptr);
std::size_t OpenedRunBytes(std::size_t cipherBytes, bool final) noexcept;

}  // namespace AESChunked::detail
