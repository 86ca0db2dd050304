// An output stream as a decryption found it, for the stream forms that write plain text before
// they know the whole message is authentic (GCM's second pass, chunked decryption). Internal to
// the engine.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Streams.h"
#include "platform/Types.h"

namespace AESModes::detail {

class TOutputUndo {
 public:
  explicit TOutputUndo(platform::TStream* s) : FStream(s), FPosition(s->GetPosition()), FSize(s->GetSize()) {}

  void Write(const std::uint8_t* p, std::size_t n) {
    FStream->WriteBuffer(p, static_cast<std::int64_t>(n));
    FWritten += static_cast<std::int64_t>(n);
  }
  // Where the stream stood when the operation began.
  std::int64_t Start() const noexcept { return FPosition; }

  // Overwrites the stream with zeros from `from`, where the writes began, up to the furthest
  // byte written (or where a failed write left the position), then gives it back its earlier
  // size and position, so no plain text of a failed message stays behind. Raises nothing: the
  // failure being reported matters more than one met while undoing. zeros: a scratch buffer of
  // any non-zero size, zeroed here and used as the source of the zero bytes.
  void Undo(std::int64_t from, platform::TBytes& zeros) noexcept;

 private:
  platform::TStream* FStream;
  std::int64_t FPosition, FSize, FWritten = 0;
};

}  // namespace AESModes::detail
