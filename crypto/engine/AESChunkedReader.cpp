// Random access to a chunked message in a seekable stream: chunk k sits at 56 + k * 16,400 after
// the message's start, so a read seeks to the chunks that hold its bytes and opens only those.
#include <algorithm>
#include <limits>

#include "crypto/engine/AESChunked.h"
#include "crypto/engine/AESChunkedMessage.h"

namespace AESChunked {

using namespace detail;
using error::kBadArgument;

namespace {

constexpr std::uint64_t kNoChunk = std::numeric_limits<std::uint64_t>::max();

}  // namespace

struct TReader::TState {
  TMessage Message;
  platform::TStream* Source = nullptr;
  std::int64_t Start = 0;        // the message's first byte in the stream
  std::uint64_t PlainBytes = 0;  // as the stream's size says, until the last chunk opened
  std::uint64_t Last = 0;        // the last chunk's index
  bool Opened = false, EndChecked = false;
  // The chunk opened last, kept for the reads that follow.
  std::uint64_t Held = kNoChunk;
  platform::TWiped<std::array<std::uint8_t, kChunkBytes>> Plain;
  std::array<std::uint8_t, kSealedChunkBytes> Sealed{};

  // n bytes of the stream at the message's offset `at`; a stream that ends sooner than its size
  // said fails the read.
  Integer ReadSource(std::uint64_t at, std::uint8_t* p, std::size_t n) {
    Source->SetPosition(Start + static_cast<std::int64_t>(at));
    for (std::size_t got = 0; got < n;) {
      const std::int64_t r = Source->Read(p + got, static_cast<std::int64_t>(n - got));
      if (r <= 0 || static_cast<std::uint64_t>(r) > n - got) return error::kFileOpenFailed;
      got += static_cast<std::size_t>(r);
    }
    return 0;
  }

  std::size_t PlainOf(std::uint64_t k) const noexcept {
    return k < Last ? kChunkBytes : static_cast<std::size_t>(PlainBytes - Last * kChunkBytes);
  }

  // Chunk k read, opened and held.
  Integer Load(std::uint64_t k) {
    if (k == Held) return 0;
    Held = kNoChunk;
    const std::size_t sealed = PlainOf(k) + kTagBytes;
    if (const Integer st = ReadSource(kHeaderBytes + k * kSealedChunkBytes, Sealed.data(), sealed)) return st;
    if (!Message.OpenChunk(k, Sealed.data(), sealed, Plain->data())) return error::kTagMismatch;
    Held = k;
    if (k == Last) EndChecked = true;
    return 0;
  }

  Integer CheckEnd() { return EndChecked ? 0 : Load(Last); }
};

TReader::TReader() : FState(std::make_unique<TState>()) {}
TReader::~TReader() = default;

Integer TReader::Open(const TParams& params, platform::TStream* source) {
  const platform::TStackScrub scrub;  // the caller's streams and files run between kernel calls
  FState = std::make_unique<TState>();
  if (source == nullptr) return kBadArgument;
  if (const Integer st = CheckParams(params)) return st;
  TState& s = *FState;
  s.Source = source;
  s.Start = source->GetPosition();
  const std::int64_t size = source->GetSize() - s.Start;
  if (size < 0) return error::kFileOpenFailed;
  if (const Integer st = PlainBytes(static_cast<std::uint64_t>(size), s.PlainBytes)) return st;
  s.Last = s.PlainBytes / kChunkBytes;
  std::array<std::uint8_t, kHeaderBytes> header;
  if (const Integer st = s.ReadSource(0, header.data(), kHeaderBytes)) return st;
  if (const Integer st = s.Message.Derive(params, std::span(header).first<kSaltBytes>())) return st;
  if (!s.Message.CommitmentMatches(std::span(header).last<kCommitmentBytes>())) return error::kChunkCommitment;
  s.Opened = true;
  return 0;
}

Integer TReader::Size(std::uint64_t& plainBytes) {
  const platform::TStackScrub scrub;  // the caller's streams and files run between kernel calls
  plainBytes = 0;
  if (!FState->Opened) return kBadArgument;
  if (const Integer st = FState->CheckEnd()) return st;
  plainBytes = FState->PlainBytes;
  return 0;
}

// The end is checked first when the read reaches it, so a message cut or extended there gives
// nothing; each chunk's bytes are copied out only after it opened.
Integer TReader::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& got) {
  const platform::TStackScrub scrub;  // the caller's streams and files run between kernel calls
  got = 0;
  TState& s = *FState;
  if (!s.Opened) return kBadArgument;
  const std::uint64_t left = offset < s.PlainBytes ? s.PlainBytes - offset : 0;
  const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), left));
  if (n == left)
    if (const Integer st = s.CheckEnd()) return st;
  std::size_t done = 0;
  while (done < n) {
    const std::uint64_t at = offset + done, k = at / kChunkBytes;
    if (const Integer st = s.Load(k)) {
      platform::SecureZero(out.data(), done);
      return st;
    }
    const std::size_t from = static_cast<std::size_t>(at - k * kChunkBytes);
    const std::size_t take = std::min(n - done, s.PlainOf(k) - from);
    std::copy_n(s.Plain->begin() + static_cast<std::ptrdiff_t>(from), take, out.begin() + static_cast<std::ptrdiff_t>(done));
    done += take;
  }
  got = n;
  return 0;
}

}  // namespace AESChunked
