// The one way the engine reads an input: a file handle or a stream, read for exactly the size
// measured at the start. Whether a read came up short is decided here and nowhere else; each
// family only says how it reports that (its own exception, a raised status or a returned one).
// Internal to the engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "crypto/support/error.h"
#include "platform/Files.h"
#include "platform/Streams.h"
#include "platform/Types.h"

namespace AESModes::detail {

using platform::Integer;

// How a family reports an input that cannot be read for its measured size.
enum class TReadReport : std::uint8_t {
  ReadError,     // raise platform::EReadError (the ECB/CBC/OFB/CTR stream forms)
  RaiseStatus,   // raise the operation error -203 (the GCM and CMAC stream forms)
  ReturnStatus,  // return -203 (every form on files named by path)
};

// The status of a failed read where a status reports it: the input cannot be got at, like a file
// that cannot be opened.
inline constexpr Integer kInputReadFailed = error::kFileOpenFailed;

class TMeasuredInput {
 public:
  // Measures the input's size from its current position's source (the file's size, the stream's
  // GetSize). A size that cannot be known (negative), or a size of 0 for an input that yields
  // bytes all the same (files under /proc), leaves the input unmeasured: Check() then fails.
  // A stream's own exception passes through.
  TMeasuredInput(platform::THandle file, TReadReport report);
  TMeasuredInput(platform::TStream* stream, TReadReport report);

  // 0 when the size is known; otherwise the failed read, reported as this input reports it.
  // Call before anything is written.
  Integer Check();

  // Delivers exactly min(n, Left()) bytes into p, asking the source as often as it needs, and
  // returns that count. A source that fails, or ends before the measured size, fails the read:
  // it is reported (a negative status returned, or an exception raised) and every later read
  // fails too. So fewer bytes than asked mean the measured end, never an error.
  std::int64_t Read(std::uint8_t* p, std::int64_t n);
  // Exactly n bytes, or the failed read (also when fewer than n remain): 0 or a negative status.
  Integer ReadExactly(std::uint8_t* p, std::int64_t n);

  std::int64_t Size() const noexcept { return FSize; }
  std::int64_t Done() const noexcept { return FDone; }
  std::int64_t Left() const noexcept { return FSize - FDone; }

 private:
  std::int64_t Source(std::uint8_t* p, std::int64_t n);
  std::int64_t Fail();  // reports the failed read as FReport says
  void RefuseYieldingEmptyInput();

  platform::THandle FFile = platform::INVALID_HANDLE_VALUE;
  platform::TStream* FStream = nullptr;
  TReadReport FReport;
  std::int64_t FSize = -1;
  std::int64_t FDone = 0;
  bool FFailed = false;
};

// Calls step(p, n) on every piece of the rest of the input, read into buf: pieces of buf's size,
// the last one possibly shorter. A failed read, or a non-zero status from step, ends it.
template <class Step>
Integer ForEachPiece(TMeasuredInput& in, std::span<std::uint8_t> buf, Step step) {
  while (in.Left() > 0) {
    const std::int64_t n = in.Read(buf.data(), static_cast<std::int64_t>(buf.size()));
    if (n < 0) return static_cast<Integer>(n);
    if (const Integer st = step(buf.data(), n)) return st;
  }
  return 0;
}

}  // namespace AESModes::detail
