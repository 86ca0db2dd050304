// chunked-enc / chunked-dec: the raw chunked encryption format (Cobblestone-128 and -256) for
// exchanging files with other implementations. Both stream: the input is read once, in pieces,
// from a file or a pipe, with memory that does not grow with it. chunked-dec writes a named
// output whole or not at all; to standard output, a pipe or a device it writes each chunk once
// its tag matched, so a message damaged or cut short part way leaves the chunks before the
// damage written and ends with exit status 3. --offset/--length read a range of a file through
// the random-access reader: only the chunks that hold it (and the last one, when the range
// reaches the end) are read and checked.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "Common.h"
#include "Io.h"
#include "Progress.h"
#include "crypto/engine/AESChunked.h"
#include "crypto/support/error.h"

namespace cli {

namespace {

constexpr std::size_t kPiece = std::size_t{1} << 20;

struct TChunkedOptions {
  TCommonOptions Common;
  TKeyOptions Key;
  int Suite = 128;
  std::string In = "-", Out, Context, Salt;
  std::int64_t Offset = -1, Length = -1;
};

// The failure a library status stands for: an authentication failure (exit 3) for a message that
// does not verify, a usage error for a key of the wrong length.
[[noreturn]] void FailChunked(const std::string& name, platform::Integer status, const std::string& released) {
  switch (status) {
    case error::kChunkCommitment:
      AuthFail(name + ": authentication failed: the key or the context does not match the message" + released);
    case error::kTagMismatch:
      AuthFail(name + ": authentication failed: a chunk is damaged or out of place, or bytes follow the last chunk" +
               released);
    case error::kChunkTruncated:
      AuthFail(name + ": authentication failed: the message is truncated" + released);
    case error::kChunkTooLong:
      AuthFail(name + ": authentication failed: the message has more than 2^38 chunks" + released);
    case error::kBadKeySize:
      UsageFail("the key must be 16 bytes for --suite 128, 32 bytes for --suite 256");
    default:
      FailStatus(name, status);
  }
}

// The key, suite and context, checked before anything is read or written.
struct TChunkedKey {
  platform::TSecretBytes Key;
  platform::TBytes Context;
  AESChunked::TParams Params;

  explicit TChunkedKey(TChunkedOptions& o) {
    LoadKey(o.Key, Key);
    Context = DecodeHex(o.Context, "the context");
    Params = {o.Suite == 256 ? AESChunked::TSuite::Cobblestone256 : AESChunked::TSuite::Cobblestone128, Key.Value,
              Context};
    if (Key.Value.size() != AESChunked::KeyBytes(Params.Suite)) FailChunked("", error::kBadKeySize, "");
  }
};

void Write(TOutput& out, const std::vector<std::uint8_t>& bytes, std::size_t n) {
  out.Stream().WriteBuffer(bytes.data(), static_cast<std::int64_t>(n));
}

void RunEncrypt(TChunkedOptions& o) {
  CheckDistinctPaths({{"input", o.In}, {"--key-file", o.Key.File}}, {{"-o", o.Out}});
  RefuseTerminalOutput(o.Out);
  TChunkedKey key(o);
  const platform::TBytes salt = o.Salt.empty() ? platform::TBytes{} : DecodeHex(o.Salt, "the salt");
  if (!o.Salt.empty() && salt.size() != AESChunked::kSaltBytes)
    UsageFail("the salt must be 24 bytes (48 hexadecimal digits)");
  TOnceInput in(o.In);
  TOutput out(o.Out, o.Common.Force);
  TProgress progress(o.Common.Quiet, std::max<std::int64_t>(in.Size(), 0));
  AESChunked::TEncryptor encryptor;
  std::vector<std::uint8_t> header(AESChunked::kHeaderBytes);
  if (const platform::Integer st = encryptor.Begin(key.Params, header, salt)) FailChunked(in.Name(), st, "");
  platform::TSecretBytes plain{platform::TBytes(kPiece)};
  std::vector<std::uint8_t> cipher(encryptor.UpdateRoom(kPiece) + AESChunked::kSealedChunkBytes);
  Guard(out.Name(), [&] {
    Write(out, header, header.size());
    for (std::size_t n; (n = in.Read(plain.Value.data(), kPiece)) != 0;) {
      std::size_t written = 0;
      if (const platform::Integer st = encryptor.Update({plain.Value.data(), n}, cipher, written))
        FailChunked(in.Name(), st, "");
      Write(out, cipher, written);
      if (!progress.Update(in.Done())) throw TFailure("interrupted", kExitInterrupted);
    }
    std::size_t written = 0;
    if (const platform::Integer st = encryptor.Finish(cipher, written)) FailChunked(in.Name(), st, "");
    Write(out, cipher, written);
  });
  progress.Erase();
  out.Commit();
}

// What a failed decryption left: nothing in a file, the verified chunks on a stream.
std::string Released(const TOutput& out, std::uint64_t released) {
  if (out.Handle() != platform::INVALID_HANDLE_VALUE || released == 0) return " (nothing was written)";
  return " (the " + std::to_string(released) + " bytes before it were verified and written)";
}

void DecryptWhole(TChunkedOptions& o, TChunkedKey& key, TOnceInput& in, TOutput& out) {
  TProgress progress(o.Common.Quiet, std::max<std::int64_t>(in.Size(), 0));
  AESChunked::TDecryptor decryptor;
  if (const platform::Integer st = decryptor.Begin(key.Params)) FailChunked(in.Name(), st, "");
  std::vector<std::uint8_t> cipher(kPiece);
  platform::TSecretBytes plain{platform::TBytes(decryptor.UpdateRoom(kPiece) + AESChunked::kChunkBytes)};
  // The range to write, for a piped input with --offset or --length: the rest is decrypted and
  // checked, and dropped.
  const std::uint64_t from = o.Offset < 0 ? 0 : static_cast<std::uint64_t>(o.Offset);
  const std::uint64_t to = o.Length < 0 ? UINT64_MAX : from + static_cast<std::uint64_t>(o.Length);
  std::uint64_t at = 0, released = 0;
  const auto release = [&](std::size_t n) {
    const std::uint64_t a = std::clamp(at, from, to), b = std::clamp(at + n, from, to);
    if (b > a) out.Stream().WriteBuffer(plain.Value.data() + (a - at), static_cast<std::int64_t>(b - a));
    at += n;
    released += b > a ? b - a : 0;
  };
  Guard(in.Name(), [&] {
    for (std::size_t n; (n = in.Read(cipher.data(), kPiece)) != 0;) {
      std::size_t written = 0;
      if (const platform::Integer st = decryptor.Update({cipher.data(), n}, plain.Value, written))
        FailChunked(in.Name(), st, Released(out, released));
      release(written);
      if (!progress.Update(in.Done())) throw TFailure("interrupted", kExitInterrupted);
    }
    std::size_t written = 0;
    if (const platform::Integer st = decryptor.Finish(plain.Value, written))
      FailChunked(in.Name(), st, Released(out, released));
    release(written);
  });
  progress.Erase();
}

// --offset/--length on a file: the random-access reader.
void DecryptRange(TChunkedOptions& o, TChunkedKey& key, TOnceInput& in, TOutput& out) {
  AESChunked::TReader reader;
  platform::TStream& source = in.File()->Stream();
  source.SetPosition(0);
  if (const platform::Integer st = reader.Open(key.Params, &source)) FailChunked(in.Name(), st, "");
  const std::uint64_t from = o.Offset < 0 ? 0 : static_cast<std::uint64_t>(o.Offset);
  std::uint64_t left = o.Length < 0 ? UINT64_MAX : static_cast<std::uint64_t>(o.Length);
  TProgress progress(o.Common.Quiet, o.Length < 0 ? 0 : o.Length);
  platform::TSecretBytes plain{platform::TBytes(kPiece)};
  Guard(in.Name(), [&] {
    for (std::uint64_t at = from; left > 0;) {
      std::size_t got = 0;
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, kPiece));
      if (const platform::Integer st = reader.ReadAt(at, {plain.Value.data(), n}, got))
        FailChunked(in.Name(), st, Released(out, at - from));
      if (got == 0) break;
      out.Stream().WriteBuffer(plain.Value.data(), static_cast<std::int64_t>(got));
      at += got;
      left -= got;
      if (!progress.Update(static_cast<std::int64_t>(at - from))) throw TFailure("interrupted", kExitInterrupted);
    }
  });
  progress.Erase();
}

void RunDecrypt(TChunkedOptions& o) {
  CheckDistinctPaths({{"input", o.In}, {"--key-file", o.Key.File}}, {{"-o", o.Out}});
  TChunkedKey key(o);
  TOnceInput in(o.In);
  TOutput out(o.Out, o.Common.Force);
  if ((o.Offset >= 0 || o.Length >= 0) && in.File() != nullptr)
    DecryptRange(o, key, in, out);
  else
    DecryptWhole(o, key, in, out);
  out.Commit();
}

void AddChunkedCommand(CLI::App& app, bool encrypt) {
  CLI::App* sub = AddSubcommand(
      app, encrypt ? "chunked-enc" : "chunked-dec",
      encrypt ? "Encrypt with chunked AES-GCM (Cobblestone-128/-256): 16 KiB chunks, each authenticated"
              : "Check and decrypt chunked AES-GCM (Cobblestone-128/-256), chunk by chunk. A named output is "
                "written whole or not at all; standard output or a pipe gets each chunk once it verified, and "
                "a damaged or truncated message ends with exit status 3 after the chunks before the damage",
      encrypt ? "orvoaes chunked-enc --suite 256 -K $(cat key.hex) --context 6170702d7631 backup.tar -o backup.cbl"
              : "orvoaes chunked-dec --suite 256 -K $(cat key.hex) --context 6170702d7631 --offset 1048576 "
                "--length 4096 backup.cbl -o part.bin");
  auto o = std::make_shared<TChunkedOptions>();
  sub->add_option("input", o->In, "Input file (- or none: standard input, read as it comes)");
  sub->add_option("-o,--out", o->Out, encrypt ? "Output file (none: standard output, unless a terminal; -: standard output)"
                                              : "Output file (- or none: standard output)");
  sub->add_option("--suite", o->Suite, "128 (AES-128-GCM, 16-byte key; the default) or 256 (AES-256-GCM, 32-byte key)")
      ->check(CLI::IsMember({128, 256}));
  AddKeyOptions(*sub, o->Key, {16, 32});
  sub->add_option("--context", o->Context, "Context bound to the message, as hexadecimal (default: empty)");
  if (encrypt) {
    sub->add_option("--salt", o->Salt,
                    "Salt as hexadecimal (48 digits) for reproducible output; default: drawn at random. Never "
                    "give one salt twice with one key");
  } else {
    sub->add_option("--offset", o->Offset, "Write the plain text from this byte on (a file is read only where needed)")
        ->check(CLI::NonNegativeNumber);
    sub->add_option("--length", o->Length, "Write at most this many bytes of plain text")->check(CLI::NonNegativeNumber);
  }
  AddCommonOptions(*sub, o->Common);
  sub->callback([o, encrypt] { encrypt ? RunEncrypt(*o) : RunDecrypt(*o); });
}

}  // namespace

void AddChunkedCommands(CLI::App& app) {
  AddChunkedCommand(app, true);
  AddChunkedCommand(app, false);
}

}  // namespace cli
