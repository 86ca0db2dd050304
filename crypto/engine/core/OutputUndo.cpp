#include "crypto/engine/core/OutputUndo.h"

#include <algorithm>

#include "platform/Memory.h"

namespace AESModes::detail {

void TOutputUndo::Undo(std::int64_t from, platform::TBytes& zeros) noexcept {
  try {
    const std::int64_t end = std::max(from + FWritten, FStream->GetPosition());  // a failed write may have moved it
    platform::SecureZero(zeros.data(), zeros.size());
    FStream->SetPosition(from);
    for (std::int64_t left = end - from; left > 0;) {
      const std::int64_t n = std::min<std::int64_t>(left, static_cast<std::int64_t>(zeros.size()));
      FStream->WriteBuffer(zeros.data(), n);
      left -= n;
    }
    if (FStream->GetSize() > FSize) FStream->SetSize(FSize);
  } catch (...) {
  }
  try {
    FStream->SetPosition(FPosition);
  } catch (...) {
  }
}

}  // namespace AESModes::detail
