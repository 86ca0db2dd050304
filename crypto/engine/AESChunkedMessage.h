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
#include "crypto/engine/kernel/AESKernel.h"
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

class TMessage;

// The starting blocks of a run of chunks, made before any of them runs: each chunk's first
// counter block (J0 + 1) and E(J0), which masks its tag. Made together, the E(J0) in one ECB
// call, and written well before the chunk loops read them: built byte by byte just before use,
// they stall every chunk (a wide load waits for narrow stores to land). Wiped when they go.
class TChunkStarts {
 public:
  TChunkStarts(const TMessage& m, std::uint64_t first, std::size_t count);
  const std::uint8_t* Counter(std::size_t i) const noexcept { return FBlocks.Value.data() + 16 * (FCount + i); }
  const std::uint8_t* Mask(std::size_t i) const noexcept { return FBlocks.Value.data() + 16 * i; }

 private:
  platform::TSecretBytes FBlocks;  // count masks, then count counter blocks
  std::size_t FCount;
};

// One message's keys: the AES-GCM key (the cipher's schedule, the hash key and its powers) set up
// once, the base nonce and the commitment. Chunk i of a run of TChunkStarts goes straight through
// the kernel's GCM loop: no per-chunk checks, copies or wipes. What that leaves in vector
// registers is the caller's to clear once its whole call is done (every public call of the unit
// ends with a TRegisterWipe; helper threads clear theirs when their share of a run is done). The
// stack is scrubbed once the keys are derived: the chunk loops spill nothing there.
class TMessage {
 public:
  // Derives from the caller's key, the salt and the context (CheckParams first).
  Integer Derive(const TParams& params, std::span<const std::uint8_t, kSaltBytes> salt);
  std::span<const std::uint8_t, kCommitmentBytes> Commitment() const noexcept;
  // In constant time.
  bool CommitmentMatches(std::span<const std::uint8_t, kCommitmentBytes> c) const noexcept;
  // Chunk i of starts (n plain bytes, n <= kChunkBytes, at in) into n + kTagBytes bytes at out.
  // in and out are the same memory or apart.
  void SealChunk(const TChunkStarts& starts, std::size_t i, const std::uint8_t* in, std::size_t n,
                 std::uint8_t* out) const noexcept;
  // Chunk i of starts (sealed bytes at in, kTagBytes <= sealed <= kSealedChunkBytes) into
  // sealed - kTagBytes bytes at out; false (out zeroed) when the tag does not match.
  bool OpenChunk(const TChunkStarts& starts, std::size_t i, const std::uint8_t* in, std::size_t sealed,
                 std::uint8_t* out) const noexcept;
  // The same for chunk k alone.
  void SealChunk(std::uint64_t k, const std::uint8_t* in, std::size_t n, std::uint8_t* out) const;
  bool OpenChunk(std::uint64_t k, const std::uint8_t* in, std::size_t sealed, std::uint8_t* out) const;

 private:
  friend class TChunkStarts;
  // GCM over n bytes from the counter block ctr into X (the hash of the cipher text and the
  // lengths); a last partial block runs on its own keystream block.
  void Crypt(bool encrypt, std::uint8_t ctr[16], std::uint8_t X[16], const std::uint8_t* in, std::uint8_t* out,
             std::size_t n) const noexcept;

  AESModes::kernel::TGCMKey FKey;
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
  // Whether any helper started.
  bool Parallel() const noexcept { return !FHelpers.empty(); }

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
