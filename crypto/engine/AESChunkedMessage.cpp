// One message of chunked encryption: key derivation, chunk k, runs of chunks over threads.
#include "crypto/engine/AESChunkedMessage.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <system_error>

#include "crypto/hash/HashFunctions.h"
#include "crypto/support/RandomCoreW.h"

namespace AESChunked::detail {

namespace {

constexpr std::string_view kLabel = "c2sp.org/chunked-encryption@v1+";

// The AEAD's name in the IANA registry, which the derivation binds.
std::string_view AEADName(TSuite suite) noexcept {
  return suite == TSuite::Cobblestone128 ? "AEAD_AES_128_GCM" : "AEAD_AES_256_GCM";
}

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

// The derivation and the key set-up leave key bytes and round keys in the frames below this
// one, which the one scrub clears on the way out (the expansion's own is left out). The info is
// hashed in its pieces, never put together.
Integer TMessage::Derive(const TParams& params, std::span<const std::uint8_t, kSaltBytes> salt) {
  if (const Integer st = CheckParams(params)) return st;
  const platform::TStackScrub scrub;
  static constexpr std::uint8_t kZero = 0;
  const std::string_view name = AEADName(params.Suite);
  const std::span<const std::uint8_t> info[] = {
      {reinterpret_cast<const std::uint8_t*>(kLabel.data()), kLabel.size()},
      {reinterpret_cast<const std::uint8_t*>(name.data()), name.size()},
      {&kZero, 1},
      salt,
      params.Context,
  };
  const std::size_t keyBytes = KeyBytes(params.Suite);
  platform::TWiped<std::array<std::uint8_t, 32 + kNonceBytes + kCommitmentBytes>> okm;
  const auto out = std::span(*okm).first(keyBytes + kNonceBytes + kCommitmentBytes);
  if (const Integer st = Hash::detail::HKDFExpand(Hash::THashKind::SHA512, params.Key, info, out)) return st;
  if (const Integer st = FKey.Expand(out.first(keyBytes), static_cast<platform::Cardinal>(keyBytes / 4))) return st;
  std::copy(out.begin() + static_cast<std::ptrdiff_t>(keyBytes), out.end(), FNonceAndCommitment->begin());
  return 0;
}

std::span<const std::uint8_t, kCommitmentBytes> TMessage::Commitment() const noexcept {
  return std::span(*FNonceAndCommitment).subspan<kNonceBytes, kCommitmentBytes>();
}

bool TMessage::CommitmentMatches(std::span<const std::uint8_t, kCommitmentBytes> c) const noexcept {
  return platform::ConstantTimeEqual(Commitment(), c);
}

// --- Chunks

namespace {

// GCM's lengths block of a chunk of n bytes: no additional data, then 8n bits, big-endian.
constexpr platform::TCharArray16 LengthsBlock(std::size_t n) noexcept {
  platform::TCharArray16 b{};
  for (std::size_t i = 0, bits = 8 * n; i < 8; ++i, bits >>= 8) b[15 - i] = static_cast<std::uint8_t>(bits);
  return b;
}

// The lengths block of every full chunk, read from constant memory.
constexpr platform::TCharArray16 kFullLengths = LengthsBlock(kChunkBytes);

// out = a XOR b over one block, a word at a time (out may be a; byte by byte, the compiler must
// assume out overlaps b and makes 16 dependent byte stores).
void XorBlock(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out) noexcept {
  std::uint64_t x[2], y[2];
  std::memcpy(x, a, 16);
  std::memcpy(y, b, 16);
  x[0] ^= y[0];
  x[1] ^= y[1];
  std::memcpy(out, x, 16);
}

}  // namespace

// Chunk k's J0 = (base nonce XOR k) || 00 00 00 01, k big-endian over the nonce's last bytes; the
// counter starts at J0 + 1.
TChunkStarts::TChunkStarts(const TMessage& m, std::uint64_t first, std::size_t count)
    : FBlocks(platform::TBytes(32 * count)), FCount(count) {
  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t* j0 = FBlocks.Value.data() + 16 * i;
    std::copy_n(m.FNonceAndCommitment->begin(), kNonceBytes, j0);
    const std::uint64_t k = first + i;
    for (std::size_t b = 0; b < 8; ++b) j0[kNonceBytes - 1 - b] ^= static_cast<std::uint8_t>(k >> (8 * b));
    j0[15] = 1;
    std::uint8_t* counter = FBlocks.Value.data() + 16 * (count + i);
    std::copy_n(j0, 16, counter);
    counter[15] = 2;
  }
  m.FKey.AES().EncryptECB(FBlocks.Value.data(), FBlocks.Value.data(), count);
}

void TMessage::Crypt(bool encrypt, std::uint8_t ctr[16], std::uint8_t X[16], const std::uint8_t* in, std::uint8_t* out,
                     std::size_t n) const noexcept {
  const std::size_t whole = n - n % 16;
  FKey.Crypt(encrypt, X, ctr, in, out, whole / 16);
  if (const std::size_t r = n - whole) {
    // The cipher bytes are hashed zero-padded: before the plain bytes may overwrite them (out
    // may be in) when decrypting, after they are made when encrypting.
    platform::TWiped<std::array<platform::TCharArray16, 2>> work;  // the padded block, the keystream
    auto& [padded, key] = *work;
    if (!encrypt) std::copy_n(in + whole, r, padded.begin());
    FKey.EncryptBlock(ctr, key.data());
    for (std::size_t i = 0; i < r; ++i) out[whole + i] = static_cast<std::uint8_t>(in[whole + i] ^ key[i]);
    if (encrypt) std::copy_n(out + whole, r, padded.begin());
    FKey.GHash(X, padded.data(), 1);
  }
  if (n == kChunkBytes) {
    FKey.GHash(X, kFullLengths.data(), 1);
  } else {
    const platform::TCharArray16 lengths = LengthsBlock(n);
    FKey.GHash(X, lengths.data(), 1);
  }
}

// The tag is E(J0) XOR the hash: published with the chunk, nothing of it to wipe.
void TMessage::SealChunk(const TChunkStarts& starts, std::size_t i, const std::uint8_t* in, std::size_t n,
                         std::uint8_t* out) const noexcept {
  platform::TCharArray16 ctr, X{};
  std::copy_n(starts.Counter(i), 16, ctr.begin());
  Crypt(true, ctr.data(), X.data(), in, out, n);
  XorBlock(X.data(), starts.Mask(i), out + n);
}

// Decrypts and hashes in one pass, then compares; a mismatch takes the plain text back. The
// expected tag of a chunk that fails is never shown: it is wiped.
bool TMessage::OpenChunk(const TChunkStarts& starts, std::size_t i, const std::uint8_t* in, std::size_t sealed,
                         std::uint8_t* out) const noexcept {
  const std::size_t n = sealed - kTagBytes;
  platform::TCharArray16 ctr;
  platform::TWiped<platform::TCharArray16> X;
  std::copy_n(starts.Counter(i), 16, ctr.begin());
  Crypt(false, ctr.data(), X->data(), in, out, n);
  XorBlock(X->data(), starts.Mask(i), X->data());
  if (platform::ConstantTimeEqual(std::span<const std::uint8_t>(*X), std::span(in + n, kTagBytes))) return true;
  platform::SecureZero(out, n);
  return false;
}

void TMessage::SealChunk(std::uint64_t k, const std::uint8_t* in, std::size_t n, std::uint8_t* out) const {
  SealChunk(TChunkStarts(*this, k, 1), 0, in, n, out);
}

bool TMessage::OpenChunk(std::uint64_t k, const std::uint8_t* in, std::size_t sealed, std::uint8_t* out) const {
  return OpenChunk(TChunkStarts(*this, k, 1), 0, in, sealed, out);
}

// --- Threads

// A thread the system refuses to start leaves the work to those that started (the caller's
// thread at least): the output does not depend on how many there are.
TWorkers::TWorkers(unsigned threads) {
  // Starting a thread may go through the dynamic linker, which saves every vector register on this
  // thread's stack: what a key derivation left in them is cleared first.
  platform::ZeroVectorRegisters();
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
    // The jobs leave key material in the vector registers: a helper clears them after its share
    // (the caller's thread leaves that to the public call it is in).
    platform::ZeroVectorRegisters();
    const std::lock_guard lock(FMutex);
    if (--FBusy == 0) FDone.notify_one();
  }
}

void TWorkers::Run(std::size_t count, const std::function<void(std::size_t)>& job) {
  if (FHelpers.empty() || count <= 1) {
    for (std::size_t i = 0; i < count; ++i) job(i);
    return;
  }
  platform::ZeroVectorRegisters();  // before the threads library is called, as in the constructor
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
  // Cleared before the wait as well: the first call into the threads library goes through the
  // dynamic linker, which saves every vector register on this thread's stack.
  platform::ZeroVectorRegisters();
  std::unique_lock lock(FMutex);
  FDone.wait(lock, [&] { return FBusy == 0; });
  FJob = nullptr;
}

// --- Runs of chunks

namespace {

// On the calling thread alone the job is called directly, not through a std::function.
template <class Job>
void ForEachChunk(std::size_t count, TWorkers* workers, const Job& job) {
  if (workers != nullptr && workers->Parallel() && count > 1) {
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
  const std::size_t count = plain.size() / kChunkBytes + (final ? 1 : 0);
  const TChunkStarts starts(m, first, count);
  ForEachChunk(count, workers, [&](std::size_t i) {
    const std::size_t n = std::min(kChunkBytes, plain.size() - i * kChunkBytes);
    m.SealChunk(starts, i, plain.data() + i * kChunkBytes, n, cipher + i * kSealedChunkBytes);
  });
}

Integer OpenRun(const TMessage& m, std::uint64_t first, TIn cipher, bool final, std::uint8_t* plain,
                TWorkers* workers) {
  const std::size_t count = cipher.size() / kSealedChunkBytes + (final ? 1 : 0);
  const TChunkStarts starts(m, first, count);
  std::atomic<bool> failed{false};
  ForEachChunk(count, workers, [&](std::size_t i) {
    const std::size_t sealed = std::min(kSealedChunkBytes, cipher.size() - i * kSealedChunkBytes);
    if (!m.OpenChunk(starts, i, cipher.data() + i * kSealedChunkBytes, sealed, plain + i * kChunkBytes))
      failed.store(true, std::memory_order_relaxed);
  });
  if (!failed.load()) return 0;
  platform::SecureZero(plain, OpenedRunBytes(cipher.size(), final));
  return error::kTagMismatch;
}

}  // namespace AESChunked::detail
