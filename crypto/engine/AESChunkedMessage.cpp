// One message of chunked encryption: key derivation, chunk k, runs of chunks over threads.
#include "crypto/engine/AESChunkedMessage.h"

#include <algorithm>
#include <string_view>
#include <system_error>

#include "crypto/hash/KDF.h"
#include "crypto/support/RandomCoreW.h"

namespace AESChunked::detail {

namespace {

constexpr std::string_view kLabel = "c2sp.org/chunked-encryption@v1+";

// The AEAD's name in the IANA registry, which the derivation binds.
std::string_view AEADName(TSuite suite) noexcept {
  return suite == TSuite::Cobblestone128 ? "AEAD_AES_128_GCM" : "AEAD_AES_256_GCM";
}

void Append(platform::TBytes& to, std::string_view text) { to.insert(to.end(), text.begin(), text.end()); }

}  // namespace

Integer CheckParams(const TParams& params) noexcept {
  if (params.Suite != TSuite::Cobblestone128 && params.Suite != TSuite::Cobblestone256) return error::kBadArgument;
  return params.Key.size() == KeyBytes(params.Suite) ? 0 : error::kBadKeySize;
}

Integer TakeSalt(TIn given, std::span<std::uint8_t, kSaltBytes> salt) noexcept {
  if (given.empty()) return RandomCoreW::TRandomCore::GetRandomBytes(static_cast<Integer>(kSaltBytes), salt.data());
  if (given.size() != kSaltBytes) return error::kBadArgument;
  std::copy(given.begin(), given.end(), salt.begin());
  return 0;
}

Integer TMessage::Derive(const TParams& params, std::span<const std::uint8_t, kSaltBytes> salt) {
  if (const Integer st = CheckParams(params)) return st;
  platform::TBytes info;
  info.reserve(kLabel.size() + 17 + kSaltBytes + params.Context.size());
  Append(info, kLabel);
  Append(info, AEADName(params.Suite));
  info.push_back(0);
  info.insert(info.end(), salt.begin(), salt.end());
  info.insert(info.end(), params.Context.begin(), params.Context.end());

  const std::size_t keyBytes = KeyBytes(params.Suite);
  platform::TWiped<std::array<std::uint8_t, 32 + kNonceBytes + kCommitmentBytes>> okm;
  const auto out = std::span(*okm).first(keyBytes + kNonceBytes + kCommitmentBytes);
  if (const Integer st = Hash::HKDF_Expand(Hash::THashKind::SHA512, params.Key, info, out)) return st;
  if (const Integer st = FAEAD.SetKey(out.first(keyBytes))) return st;
  std::copy(out.begin() + static_cast<std::ptrdiff_t>(keyBytes), out.end(), FNonceAndCommitment->begin());
  return 0;
}

std::span<const std::uint8_t, kCommitmentBytes> TMessage::Commitment() const noexcept {
  return std::span(*FNonceAndCommitment).subspan<kNonceBytes, kCommitmentBytes>();
}

bool TMessage::CommitmentMatches(std::span<const std::uint8_t, kCommitmentBytes> c) const noexcept {
  return platform::ConstantTimeEqual(Commitment(), c);
}

// The base nonce XOR k, k big-endian over the nonce's last bytes.
std::array<std::uint8_t, kNonceBytes> TMessage::Nonce(std::uint64_t k) const noexcept {
  std::array<std::uint8_t, kNonceBytes> n;
  std::copy_n(FNonceAndCommitment->begin(), kNonceBytes, n.begin());
  for (std::size_t i = 0; i < 8; ++i) n[kNonceBytes - 1 - i] ^= static_cast<std::uint8_t>(k >> (8 * i));
  return n;
}

void TMessage::SealChunk(std::uint64_t k, const std::uint8_t* in, std::size_t n, std::uint8_t* out) const noexcept {
  // The arguments are the ones GCM_Seal accepts by construction (a 12-byte nonce, at most one
  // chunk, a 16-byte tag, the same memory or apart), so its status is always 0.
  (void)FAEAD.GCM_Seal(Nonce(k), {}, TIn(in, n), TOut(out, n), TOut(out + n, kTagBytes));
}

bool TMessage::OpenChunk(std::uint64_t k, const std::uint8_t* in, std::size_t sealed, std::uint8_t* out) const noexcept {
  const std::size_t n = sealed - kTagBytes;
  return FAEAD.GCM_Open(Nonce(k), {}, TIn(in, n), TIn(in + n, kTagBytes), TOut(out, n)) == 0;
}

// --- Threads

// A thread the system refuses to start leaves the work to those that started (the caller's
// thread at least): the output does not depend on how many there are.
TWorkers::TWorkers(unsigned threads) {
  try {
    for (unsigned i = 1; i < threads; ++i) FHelpers.emplace_back([this] { Loop(); });
  } catch (const std::system_error&) {
  }
}

TWorkers::~TWorkers() {
  {
    const std::lock_guard lock(FMutex);
    FStop = true;
  }
  FWake.notify_all();
  for (std::thread& t : FHelpers) t.join();
}

void TWorkers::Drain(const std::function<void(std::size_t)>& job, std::size_t count) {
  for (std::size_t i; (i = FNext.fetch_add(1, std::memory_order_relaxed)) < count;) job(i);
}

void TWorkers::Loop() {
  std::uint64_t seen = 0;
  for (;;) {
    const std::function<void(std::size_t)>* job = nullptr;
    std::size_t count = 0;
    {
      std::unique_lock lock(FMutex);
      FWake.wait(lock, [&] { return FStop || FGeneration != seen; });
      if (FStop) return;
      seen = FGeneration;
      job = FJob;
      count = FCount;
    }
    Drain(*job, count);
    const std::lock_guard lock(FMutex);
    if (--FBusy == 0) FDone.notify_one();
  }
}

void TWorkers::Run(std::size_t count, const std::function<void(std::size_t)>& job) {
  if (FHelpers.empty() || count <= 1) {
    for (std::size_t i = 0; i < count; ++i) job(i);
    return;
  }
  {
    const std::lock_guard lock(FMutex);
    FJob = &job;
    FCount = count;
    FBusy = FHelpers.size();
    FNext.store(0, std::memory_order_relaxed);
    ++FGeneration;
  }
  FWake.notify_all();
  Drain(job, count);
  std::unique_lock lock(FMutex);
  FDone.wait(lock, [&] { return FBusy == 0; });
  FJob = nullptr;
}

// --- Runs of chunks

namespace {

void ForEachChunk(std::size_t count, TWorkers* workers, const std::function<void(std::size_t)>& job) {
  if (workers != nullptr) {
    workers->Run(count, job);
    return;
  }
  for (std::size_t i = 0; i < count; ++i) job(i);
}

}  // namespace

std::size_t SealedRunBytes(std::size_t plainBytes, bool final) noexcept {
  return plainBytes + kTagBytes * (plainBytes / kChunkBytes + (final ? 1 : 0));
}

std::size_t OpenedRunBytes(std::size_t cipherBytes, bool final) noexcept {
  const std::size_t full = cipherBytes / kSealedChunkBytes;
  const std::size_t last = cipherBytes - full * kSealedChunkBytes;
  return full * kChunkBytes + (final && last >= kTagBytes ? last - kTagBytes : 0);
}

void SealRun(const TMessage& m, std::uint64_t first, TIn plain, bool final, std::uint8_t* cipher, TWorkers* workers) {
  const std::size_t full = plain.size() / kChunkBytes;
  ForEachChunk(full + (final ? 1 : 0), workers, [&](std::size_t i) {
    const std::size_t n = std::min(kChunkBytes, plain.size() - i * kChunkBytes);
    m.SealChunk(first + i, plain.data() + i * kChunkBytes, n, cipher + i * kSealedChunkBytes);
  });
}

Integer OpenRun(const TMessage& m, std::uint64_t first, TIn cipher, bool final, std::uint8_t* plain,
                TWorkers* workers) {
  const std::size_t full = cipher.size() / kSealedChunkBytes;
  std::atomic<bool> failed{false};
  ForEachChunk(full + (final ? 1 : 0), workers, [&](std::size_t i) {
    const std::size_t sealed = std::min(kSealedChunkBytes, cipher.size() - i * kSealedChunkBytes);
    if (!m.OpenChunk(first + i, cipher.data() + i * kSealedChunkBytes, sealed, plain + i * kChunkBytes))
      failed.store(true, std::memory_order_relaxed);
  });
  if (!failed.load()) return 0;
  platform::SecureZero(plain, OpenedRunBytes(cipher.size(), final));
  return error::kTagMismatch;
}

}  // namespace AESChunked::detail
