#include "crypto/engine/core/MeasuredInput.h"

#include <algorithm>

#include "crypto/support/errorlist.h"
#include "platform/SysUtils.h"

namespace AESModes::detail {

TMeasuredInput::TMeasuredInput(platform::THandle file, TReadReport report) : FFile(file), FReport(report) {
  FSize = platform::FileSize(file);
  RefuseYieldingEmptyInput();
}

TMeasuredInput::TMeasuredInput(platform::TStream* stream, TReadReport report) : FStream(stream), FReport(report) {
  FSize = stream->GetSize();
  RefuseYieldingEmptyInput();
}

// A size of 0 is taken only from an input that yields nothing: files under /proc report 0 and
// still hold bytes, and processing them as empty would lose them silently. The probe reads at
// most one byte, from an input that is either empty or refused.
void TMeasuredInput::RefuseYieldingEmptyInput() {
  if (FSize != 0) return;
  std::uint8_t probe;
  if (Source(&probe, 1) != 0) FSize = -1;
}

std::int64_t TMeasuredInput::Source(std::uint8_t* p, std::int64_t n) {
  return FStream != nullptr ? FStream->Read(p, n) : platform::FileRead(FFile, p, n);
}

std::int64_t TMeasuredInput::Fail() {
  FFailed = true;
  switch (FReport) {
    case TReadReport::ReadError:
      throw platform::EReadError(FSize < 0 ? u"Stream read error: the input's size cannot be known"
                                           : u"Stream read error: the input ended before its size");
    case TReadReport::RaiseStatus:
      throw errorlist::ESelvane(kInputReadFailed);
    case TReadReport::ReturnStatus:
      break;
  }
  return kInputReadFailed;
}

Integer TMeasuredInput::Check() {
  return FSize < 0 ? static_cast<Integer>(Fail()) : 0;
}

std::int64_t TMeasuredInput::Read(std::uint8_t* p, std::int64_t n) {
  if (FFailed || FSize < 0) return Fail();
  const std::int64_t want = std::clamp<std::int64_t>(n, 0, Left());
  std::int64_t got = 0;
  while (got < want) {
    // Nothing, a negative count or more than asked: the source failed or ended too soon.
    const std::int64_t r = Source(p + got, want - got);
    if (r <= 0 || r > want - got) return Fail();
    got += r;
  }
  FDone += got;
  return got;
}

Integer TMeasuredInput::ReadExactly(std::uint8_t* p, std::int64_t n) {
  if (n > Left()) return static_cast<Integer>(Fail());
  const std::int64_t r = Read(p, n);
  return r < 0 ? static_cast<Integer>(r) : 0;
}

}  // namespace AESModes::detail
