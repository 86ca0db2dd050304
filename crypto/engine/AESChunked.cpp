// Chunked encryption: lengths, the one-call forms over caller memory, and the incremental
// encryptor and decryptor.
#include "crypto/engine/AESChunked.h"

#include <algorithm>
#include <functional>

#include "crypto/engine/AESChunkedMessage.h"

namespace AESChunked {

using namespace detail;
using error::kBadArgument;

namespace {

// The header's salt and commitment.
std::span<const std::uint8_t, kSaltBytes> SaltOf(const std::uint8_t* header) noexcept {
  return std::span<const std::uint8_t, kSaltBytes>(header, kSaltBytes);
}
std::span<const std::uint8_t, kCommitmentBytes> CommitmentOf(const std::uint8_t* header) noexcept {
  return std::span<const std::uint8_t, kCommitmentBytes>(header + kSaltBytes, kCommitmentBytes);
}

bool Overlap(TIn a, TIn b) noexcept {
  if (a.empty() || b.empty()) return false;
  const std::less<const std::uint8_t*> before;
  return before(a.data(), b.data() + b.size()) && before(b.data(), a.data() + a.size());
}

}  // namespace

std::size_t KeyBytes(TSuite suite) noexcept { return suite == TSuite::Cobblestone256 ? 32 : 16; }

std::uint64_t CipherBytes(std::uint64_t plainBytes) noexcept {
  if (plainBytes > kMaxPlainBytes) return 0;
  return kHeaderBytes + plainBytes + kTagBytes * (plainBytes / kChunkBytes + 1);
}

Integer PlainBytes(std::uint64_t cipherBytes, std::uint64_t& plainBytes) noexcept {
  plainBytes = 0;
  if (cipherBytes < kHeaderBytes + kTagBytes) return error::kChunkTruncated;
  const std::uint64_t body = cipherBytes - kHeaderBytes;
  const std::uint64_t full = body / kSealedChunkBytes, last = body % kSealedChunkBytes;
  if (full >= kMaxChunks) return error::kChunkTooLong;  // the last chunk would be chunk 2^38 or later
  if (last < kTagBytes) return error::kChunkTruncated;  // ends after a full chunk or inside a tag
  plainBytes = full * kChunkBytes + (last - kTagBytes);
  return 0;
}

// --- Caller memory

Integer Encrypt(const TParams& params, std::span<const std::uint8_t> plain, std::span<std::uint8_t> cipher,
                std::span<const std::uint8_t> salt) {
  const platform::TRegisterWipe clear;
  if (const Integer st = CheckParams(params)) return st;
  if (plain.size() > kMaxPlainBytes || cipher.size() < CipherBytes(plain.size()) || Overlap(plain, cipher))
    return kBadArgument;
  std::array<std::uint8_t, kSaltBytes> s;
  if (const Integer st = TakeSalt(salt, s)) return st;
  TMessage m;
  if (const Integer st = m.Derive(params, s)) return st;
  std::copy(s.begin(), s.end(), cipher.begin());
  std::copy(m.Commitment().begin(), m.Commitment().end(), cipher.begin() + kSaltBytes);
  SealRun(m, 0, plain, true, cipher.data() + kHeaderBytes);
  return 0;
}

Integer Decrypt(const TParams& params, std::span<const std::uint8_t> cipher, std::span<std::uint8_t> plain) {
  const platform::TRegisterWipe clear;
  if (const Integer st = CheckParams(params)) return st;
  std::uint64_t plainBytes = 0;
  if (const Integer st = PlainBytes(cipher.size(), plainBytes)) return st;
  if (plain.size() < plainBytes || Overlap(plain, cipher)) return kBadArgument;
  TMessage m;
  if (const Integer st = m.Derive(params, SaltOf(cipher.data()))) return st;
  if (!m.CommitmentMatches(CommitmentOf(cipher.data()))) return error::kChunkCommitment;
  return OpenRun(m, 0, cipher.subspan(kHeaderBytes), true, plain.data());
}

// --- The incremental encryptor

struct TEncryptor::TState {
  TMessage Message;
  platform::TWiped<std::array<std::uint8_t, kChunkBytes>> Held;  // plain bytes of a chunk not yet full
  std::size_t HeldBytes = 0;
  std::uint64_t Next = 0;  // the index of the next chunk
  bool Started = false;
  std::unique_ptr<TWorkers> Workers;  // with more than one thread
};

TEncryptor::TEncryptor() : FState(std::make_unique<TState>()) {}
TEncryptor::~TEncryptor() = default;

Integer TEncryptor::Begin(const TParams& params, std::span<std::uint8_t> header, std::span<const std::uint8_t> salt,
                          unsigned threads) {
  const platform::TRegisterWipe clear;
  FState = std::make_unique<TState>();
  if (const Integer st = CheckParams(params)) return st;
  if (header.size() < kHeaderBytes || threads < 1 || threads > kMaxThreads) return kBadArgument;
  std::array<std::uint8_t, kSaltBytes> s;
  if (const Integer st = TakeSalt(salt, s)) return st;
  if (const Integer st = FState->Message.Derive(params, s)) return st;
  std::copy(s.begin(), s.end(), header.begin());
  const auto c = FState->Message.Commitment();
  std::copy(c.begin(), c.end(), header.begin() + kSaltBytes);
  if (threads > 1) FState->Workers = std::make_unique<TWorkers>(threads);
  FState->Started = true;
  return 0;
}

std::size_t TEncryptor::UpdateRoom(std::size_t inBytes) const noexcept {
  return (FState->HeldBytes + inBytes) / kChunkBytes * kSealedChunkBytes;
}

std::size_t TEncryptor::FinishRoom() const noexcept { return FState->HeldBytes + kTagBytes; }

// A full chunk is never the last one (that one is always shorter), so it is sealed as soon as it
// is complete: first the held bytes topped up from in, then whole chunks straight from in.
Integer TEncryptor::Update(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t& written) {
  const platform::TRegisterWipe clear;
  written = 0;
  TState& s = *FState;
  if (!s.Started) return kBadArgument;
  s.Started = false;  // until this call succeeds
  if (out.size() < UpdateRoom(in.size()) || Overlap(in, out)) return kBadArgument;
  // Full chunks end at chunk 2^38 - 2: the last, short one must still fit.
  if ((s.HeldBytes + in.size()) / kChunkBytes > kMaxChunks - 1 - s.Next) return error::kChunkTooLong;
  if (s.HeldBytes != 0) {
    const std::size_t take = std::min(in.size(), kChunkBytes - s.HeldBytes);
    std::copy_n(in.begin(), take, s.Held->begin() + static_cast<std::ptrdiff_t>(s.HeldBytes));
    s.HeldBytes += take;
    in = in.subspan(take);
    if (s.HeldBytes < kChunkBytes) {
      s.Started = true;
      return 0;
    }
    s.Message.SealChunk(s.Next++, s.Held->data(), kChunkBytes, out.data());
    s.HeldBytes = 0;
    written = kSealedChunkBytes;
  }
  const std::size_t whole = in.size() / kChunkBytes * kChunkBytes;
  SealRun(s.Message, s.Next, in.first(whole), false, out.data() + written, s.Workers.get());
  s.Next += whole / kChunkBytes;
  written += SealedRunBytes(whole, false);
  std::copy(in.begin() + static_cast<std::ptrdiff_t>(whole), in.end(), s.Held->begin());
  s.HeldBytes = in.size() - whole;
  s.Started = true;
  return 0;
}

Integer TEncryptor::Finish(std::span<std::uint8_t> out, std::size_t& written) {
  const platform::TRegisterWipe clear;
  written = 0;
  TState& s = *FState;
  if (!s.Started || out.size() < FinishRoom()) {
    s.Started = false;
    return kBadArgument;
  }
  s.Message.SealChunk(s.Next, s.Held->data(), s.HeldBytes, out.data());
  written = s.HeldBytes + kTagBytes;
  FState = std::make_unique<TState>();
  return 0;
}

// --- The incremental decryptor

struct TDecryptor::TState {
  TSuite Suite = TSuite::Cobblestone128;
  platform::TSecretBytes Key;
  platform::TBytes Context;
  TMessage Message;
  platform::TWiped<std::array<std::uint8_t, kSealedChunkBytes>> Held;  // the header, then a chunk's bytes
  std::size_t HeldBytes = 0;
  bool HaveHeader = false;
  std::uint64_t Next = 0;
  std::uint64_t Released = 0;
  Integer Status = kBadArgument;  // until Begin; then 0 until a failure, which stays
  std::unique_ptr<TWorkers> Workers;  // with more than one thread
};

TDecryptor::TDecryptor() : FState(std::make_unique<TState>()) {}
TDecryptor::~TDecryptor() = default;

Integer TDecryptor::Begin(const TParams& params, unsigned threads) {
  const platform::TRegisterWipe clear;
  FState = std::make_unique<TState>();
  if (const Integer st = CheckParams(params)) return st;
  if (threads < 1 || threads > kMaxThreads) return kBadArgument;
  if (threads > 1) FState->Workers = std::make_unique<TWorkers>(threads);
  FState->Suite = params.Suite;
  FState->Key.Assign(platform::TBytes(params.Key.begin(), params.Key.end()));
  FState->Context.assign(params.Context.begin(), params.Context.end());
  FState->Status = 0;
  return 0;
}

std::size_t TDecryptor::UpdateRoom(std::size_t inBytes) const noexcept {
  return (FState->HeldBytes + inBytes) / kSealedChunkBytes * kChunkBytes;
}

std::size_t TDecryptor::FinishRoom() const noexcept {
  return FState->HaveHeader && FState->HeldBytes > kTagBytes ? FState->HeldBytes - kTagBytes : 0;
}

std::uint64_t TDecryptor::Released() const noexcept { return FState->Released; }

namespace {

// Moves up to `want` bytes of in to the held buffer; true once it holds want bytes.
bool Fill(std::uint8_t* held, std::size_t& heldBytes, std::size_t want, std::span<const std::uint8_t>& in) {
  const std::size_t take = std::min(in.size(), want - heldBytes);
  std::copy_n(in.begin(), take, held + heldBytes);
  heldBytes += take;
  in = in.subspan(take);
  return heldBytes == want;
}

}  // namespace

// A sealed chunk of full length is never the last one (that one is always shorter), so it is
// opened and released as soon as it is complete; whether the message ends properly is known
// only at Finish.
Integer TDecryptor::Update(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t& written) {
  const platform::TRegisterWipe clear;
  written = 0;
  TState& s = *FState;
  if (s.Status != 0) return s.Status;
  if (out.size() < UpdateRoom(in.size()) || Overlap(in, out)) return kBadArgument;
  const auto fail = [&](Integer st) {
    platform::SecureZero(out.data(), written);
    written = 0;
    return s.Status = st;
  };
  if (!s.HaveHeader) {
    if (!Fill(s.Held->data(), s.HeldBytes, kHeaderBytes, in)) return 0;
    const TParams params{s.Suite, s.Key.Value, s.Context};
    if (const Integer st = s.Message.Derive(params, SaltOf(s.Held->data()))) return fail(st);
    if (!s.Message.CommitmentMatches(CommitmentOf(s.Held->data()))) return fail(error::kChunkCommitment);
    s.Key.Assign({});
    s.HaveHeader = true;
    s.HeldBytes = 0;
  }
  // Every chunk here is full, so none may be chunk 2^38 - 1: the last chunk would come after it.
  const auto tooMany = [&](std::uint64_t chunks) { return chunks > kMaxChunks - 1 - s.Next; };
  if (s.HeldBytes != 0) {
    if (!Fill(s.Held->data(), s.HeldBytes, kSealedChunkBytes, in)) return 0;
    if (tooMany(1)) return fail(error::kChunkTooLong);
    if (!s.Message.OpenChunk(s.Next, s.Held->data(), kSealedChunkBytes, out.data())) return fail(error::kTagMismatch);
    ++s.Next;
    s.HeldBytes = 0;
    written = kChunkBytes;
  }
  const std::size_t whole = in.size() / kSealedChunkBytes * kSealedChunkBytes;
  if (tooMany(whole / kSealedChunkBytes)) return fail(error::kChunkTooLong);
  if (OpenRun(s.Message, s.Next, in.first(whole), false, out.data() + written, s.Workers.get()) != 0)
    return fail(error::kTagMismatch);
  s.Next += whole / kSealedChunkBytes;
  written += OpenedRunBytes(whole, false);
  std::copy(in.begin() + static_cast<std::ptrdiff_t>(whole), in.end(), s.Held->begin());
  s.HeldBytes = in.size() - whole;
  s.Released += written;
  return 0;
}

Integer TDecryptor::Finish(std::span<std::uint8_t> out, std::size_t& written) {
  const platform::TRegisterWipe clear;
  written = 0;
  TState& s = *FState;
  if (s.Status != 0) return s.Status;
  if (!s.HaveHeader || s.HeldBytes < kTagBytes) return s.Status = error::kChunkTruncated;
  if (out.size() < FinishRoom()) return kBadArgument;
  if (!s.Message.OpenChunk(s.Next, s.Held->data(), s.HeldBytes, out.data())) return s.Status = error::kTagMismatch;
  written = s.HeldBytes - kTagBytes;
  s.Released += written;
  s.Status = kBadArgument;  // the message is over
  return 0;
}

}  // namespace AESChunked
