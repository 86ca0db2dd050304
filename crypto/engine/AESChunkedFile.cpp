// Chunked encryption over streams and files named by path: the input is read through the
// engine's measured reader in batches of chunks, each batch sealed or opened over the threads and
// written in order, so memory stays at two batch buffers whatever the input's size.
#include <algorithm>
#include <optional>

#include "crypto/engine/AESChunked.h"
#include "crypto/engine/AESChunkedMessage.h"
#include "crypto/engine/core/MeasuredInput.h"
#include "crypto/engine/core/OutputUndo.h"
#include "platform/Files.h"
#include "platform/SysUtils.h"

namespace AESChunked {

using namespace detail;
using AESModes::detail::TMeasuredInput;
using AESModes::detail::TOutputUndo;
using AESModes::detail::TReadReport;
using error::kBadArgument;

namespace {

// Chunks per thread in one batch (1 MiB of plain text): enough that handing out a batch costs
// little beside sealing it.
constexpr std::size_t kBatchChunksPerThread = 64;

// Where a form's output goes: the bytes in order, 0 or a failed write's status.
using TSink = std::function<Integer(const std::uint8_t*, std::size_t)>;

std::size_t BatchChunks(const TOptions& options) { return kBatchChunksPerThread * options.Threads; }

Integer CheckOptions(const TParams& params, const TOptions& options) {
  if (const Integer st = CheckParams(params)) return st;
  return options.Threads >= 1 && options.Threads <= kMaxThreads ? 0 : kBadArgument;
}

Integer EncryptInput(const TParams& params, TMeasuredInput& in, const TSink& write, const TOptions& options) {
  if (const Integer st = in.Check()) return st;
  if (static_cast<std::uint64_t>(in.Left()) > kMaxPlainBytes) return error::kChunkTooLong;
  std::array<std::uint8_t, kHeaderBytes> header;
  const auto salt = std::span(header).first<kSaltBytes>();
  if (const Integer st = TakeSalt(options.Salt, salt)) return st;
  TMessage m;
  if (const Integer st = m.Derive(params, salt)) return st;
  std::copy(m.Commitment().begin(), m.Commitment().end(), header.begin() + kSaltBytes);
  if (const Integer st = write(header.data(), header.size())) return st;

  const std::size_t batch =
      std::min<std::uint64_t>(BatchChunks(options) * kChunkBytes, static_cast<std::uint64_t>(in.Left()));
  platform::TSecretBytes plain{platform::TBytes(batch)};
  platform::TBytes cipher(SealedRunBytes(batch, true));
  TWorkers workers(options.Threads);
  for (std::uint64_t next = 0;;) {
    const std::int64_t n = in.Read(plain.Value.data(), static_cast<std::int64_t>(batch));
    if (n < 0) return static_cast<Integer>(n);
    const bool final = in.Left() == 0;
    const auto run = std::span<const std::uint8_t>(plain.Value).first(static_cast<std::size_t>(n));
    SealRun(m, next, run, final, cipher.data(), &workers);
    if (const Integer st = write(cipher.data(), SealedRunBytes(run.size(), final))) return st;
    if (final) return 0;
    next += run.size() / kChunkBytes;
  }
}

Integer DecryptInput(const TParams& params, TMeasuredInput& in, const TSink& write, const TOptions& options) {
  if (const Integer st = in.Check()) return st;
  std::uint64_t plainBytes = 0;
  if (const Integer st = PlainBytes(static_cast<std::uint64_t>(in.Left()), plainBytes)) return st;
  std::array<std::uint8_t, kHeaderBytes> header;
  if (const Integer st = in.ReadExactly(header.data(), kHeaderBytes)) return st;
  TMessage m;
  if (const Integer st = m.Derive(params, std::span(header).first<kSaltBytes>())) return st;
  if (!m.CommitmentMatches(std::span(header).last<kCommitmentBytes>())) return error::kChunkCommitment;

  const std::size_t batch =
      std::min<std::uint64_t>(BatchChunks(options) * kSealedChunkBytes, static_cast<std::uint64_t>(in.Left()));
  platform::TBytes cipher(batch);
  platform::TSecretBytes plain{platform::TBytes(OpenedRunBytes(batch, true))};
  TWorkers workers(options.Threads);
  for (std::uint64_t next = 0;;) {
    const std::int64_t n = in.Read(cipher.data(), static_cast<std::int64_t>(batch));
    if (n < 0) return static_cast<Integer>(n);
    const bool final = in.Left() == 0;
    const auto run = std::span<const std::uint8_t>(cipher).first(static_cast<std::size_t>(n));
    if (const Integer st = OpenRun(m, next, run, final, plain.Value.data(), &workers)) return st;
    if (const Integer st = write(plain.Value.data(), OpenedRunBytes(run.size(), final))) return st;
    if (final) return 0;
    next += run.size() / kSealedChunkBytes;
  }
}

// --- Streams

TMeasuredInput Rewound(platform::TStream* in) {
  in->SetPosition(0);
  return TMeasuredInput(in, TReadReport::ReturnStatus);
}

}  // namespace

Integer EncryptStream(const TParams& params, platform::TStream* in, platform::TStream* out, const TOptions& options) {
  const platform::TStackScrub scrub;  // the caller's streams and files run between kernel calls
  if (in == nullptr || out == nullptr) return kBadArgument;
  if (const Integer st = CheckOptions(params, options)) return st;
  if (!options.Salt.empty() && options.Salt.size() != kSaltBytes) return kBadArgument;
  TMeasuredInput input = Rewound(in);
  return EncryptInput(params, input, [out](const std::uint8_t* p, std::size_t n) {
    out->WriteBuffer(p, static_cast<std::int64_t>(n));
    return Integer{0};
  }, options);
}

Integer DecryptStream(const TParams& params, platform::TStream* in, platform::TStream* out, const TOptions& options) {
  const platform::TStackScrub scrub;  // the caller's streams and files run between kernel calls
  if (in == nullptr || out == nullptr) return kBadArgument;
  if (const Integer st = CheckOptions(params, options)) return st;
  TMeasuredInput input = Rewound(in);
  TOutputUndo output(out);
  const auto undo = [&] {
    platform::TBytes zeros(kChunkBytes);
    output.Undo(output.Start(), zeros);
  };
  Integer st = 0;
  try {
    st = DecryptInput(params, input, [&](const std::uint8_t* p, std::size_t n) {
      output.Write(p, n);
      return Integer{0};
    }, options);
  } catch (...) {
    undo();
    throw;
  }
  if (st != 0) undo();
  return st;
}

// --- Files named by path

namespace {

// The job of a path-file form: the input opened and measured, the output's temporary file, and
// writes that report a short one.
template <class Job>
Integer OnFiles(const TParams& params, const string& inputPath, const string& outputPath, const TOptions& options,
                Job job) {
  if (inputPath.empty() || outputPath.empty()) return kBadArgument;
  if (const Integer st = CheckOptions(params, options)) return st;
  const platform::TFileHandle file(platform::FileOpen(inputPath, platform::TFileAccess::Read));
  if (!file.Valid()) return error::kFileOpenFailed;
  TMeasuredInput in(file.Get(), TReadReport::ReturnStatus);
  std::optional<platform::TReplacingFile> out;
  try {
    out.emplace(outputPath);
  } catch (const platform::Exception&) {
    return error::kFileOpenFailed;
  }
  const platform::THandle h = out->Handle();
  const Integer st = job(in, [h](const std::uint8_t* p, std::size_t n) -> Integer {
    const auto count = static_cast<std::int64_t>(n);
    return platform::FileWrite(h, p, count) == count ? 0 : error::kShortWrite;
  });
  if (st != 0) return st;
  return out->Commit() ? 0 : error::kShortWrite;
}

}  // namespace

Integer EncryptFile(const TParams& params, const string& inputPath, const string& outputPath,
                    const TOptions& options) {
  const platform::TStackScrub scrub;  // the caller's streams and files run between kernel calls
  if (!options.Salt.empty() && options.Salt.size() != kSaltBytes) return kBadArgument;
  return OnFiles(params, inputPath, outputPath, options,
                 [&](TMeasuredInput& in, const TSink& write) { return EncryptInput(params, in, write, options); });
}

Integer DecryptFile(const TParams& params, const string& inputPath, const string& outputPath,
                    const TOptions& options) {
  const platform::TStackScrub scrub;  // the caller's streams and files run between kernel calls
  return OnFiles(params, inputPath, outputPath, options,
                 [&](TMeasuredInput& in, const TSink& write) { return DecryptInput(params, in, write, options); });
}

}  // namespace AESChunked
