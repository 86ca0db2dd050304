// seal / open: a file protected by a passphrase (Argon2id) or a key file, with AES-256-GCM.
//
// Layout (integers big-endian); the 35 header bytes are the GCM additional data:
//   "ORVOSEAL" | version 1 | key source (1 passphrase, 2 key file) | Argon2id passes (4) |
//   memory in KiB (4) | lanes (1) | salt (16) || IV (12) | cipher text | tag (16)
#include <argon2.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "Common.h"
#include "GCMOpen.h"
#include "Io.h"
#include "Passphrase.h"
#include "Progress.h"
#include "crypto/engine/AESModes.h"
#include "crypto/support/RandomCoreW.h"

namespace cli {

namespace {

constexpr char kMagic[8] = {'O', 'R', 'V', 'O', 'S', 'E', 'A', 'L'};
constexpr std::uint8_t kVersion = 1;
constexpr std::uint8_t kFromPassphrase = 1, kFromKeyFile = 2;
constexpr std::int64_t kHeaderSize = 35, kIVSize = 12, kTagSize = 16;
// What the format allows at all: a header beyond these is damaged.
constexpr std::uint32_t kMaxPasses = 64, kMaxMemoryMiB = 4096, kMaxLanes = 16;
// What seal writes and open derives without being asked for more (--kdf-max-passes,
// --kdf-max-memory), so a hostile header cannot tie the program up for minutes and gigabytes.
constexpr std::uint32_t kDefaultMaxPasses = 10, kDefaultMaxMemoryMiB = 1024, kMaxLanesAccepted = 4;

struct THeader {
  std::uint8_t Source = kFromPassphrase;
  std::uint32_t Passes = 3, MemoryKiB = 64 << 10;
  std::uint8_t Lanes = 1;
  std::array<std::uint8_t, 16> Salt{};
};

void PutU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}
std::uint32_t GetU32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

platform::TBytes EncodeHeader(const THeader& h) {
  platform::TBytes b(kHeaderSize);
  std::memcpy(b.data(), kMagic, 8);
  b[8] = kVersion;
  b[9] = h.Source;
  PutU32(&b[10], h.Passes);
  PutU32(&b[14], h.MemoryKiB);
  b[18] = h.Lanes;
  std::memcpy(&b[19], h.Salt.data(), 16);
  return b;
}

struct TSealOptions {
  TCommonOptions Common;
  TPassphraseOptions Passphrase;
  std::string In = "-", Out, KeyFile;
  std::uint32_t Passes = 3, MemoryMiB = 64;
  std::uint32_t MaxPasses = kDefaultMaxPasses, MaxMemoryMiB = kDefaultMaxMemoryMiB;
};

void CheckLimitOptions(const TSealOptions& o) {
  if (o.MaxPasses < 1 || o.MaxPasses > kMaxPasses || o.MaxMemoryMiB < 1 || o.MaxMemoryMiB > kMaxMemoryMiB)
    UsageFail("--kdf-max-passes must be 1 to 64 and --kdf-max-memory 1 to 4096 (MiB)");
}

// A header whose bytes cannot come from seal is damaged, whatever field it is (an authentication
// failure, exit 3): a key file's header has no Argon2id parameters, a passphrase's has them in
// the format's range. Only the magic says whether it is a sealed file at all.
THeader DecodeHeader(const platform::TBytes& b, const std::string& name) {
  if (b.size() != kHeaderSize || std::memcmp(b.data(), kMagic, 8) != 0) Fail(name + ": not a sealed file");
  if (b[8] != kVersion)
    AuthFail(name + ": authentication failed: the header is damaged (format version " + std::to_string(b[8]) +
             ", which this program does not know)");
  THeader h;
  h.Source = b[9];
  h.Passes = GetU32(&b[10]);
  h.MemoryKiB = GetU32(&b[14]);
  h.Lanes = b[18];
  std::memcpy(h.Salt.data(), &b[19], 16);
  const bool sane =
      (h.Source == kFromKeyFile && h.Passes == 0 && h.MemoryKiB == 0 && h.Lanes == 0) ||
      (h.Source == kFromPassphrase && h.Passes >= 1 && h.Passes <= kMaxPasses && h.Lanes >= 1 &&
       h.Lanes <= kMaxLanes && h.MemoryKiB >= 8u * h.Lanes && h.MemoryKiB <= (kMaxMemoryMiB << 10));
  if (!sane) AuthFail(name + ": authentication failed: the header is damaged (its key source or parameters)");
  return h;
}

// What open derives without being asked: the message names the value and the limit.
void CheckWithinLimits(const THeader& h, const TSealOptions& o, const std::string& name) {
  if (h.Source != kFromPassphrase) return;
  if (h.Passes > o.MaxPasses)
    Fail(name + ": asks for " + std::to_string(h.Passes) + " Argon2id passes, above the limit of " +
         std::to_string(o.MaxPasses) + " (--kdf-max-passes raises it)");
  if (h.MemoryKiB > (o.MaxMemoryMiB << 10))
    Fail(name + ": asks for " + std::to_string(h.MemoryKiB >> 10) + " MiB of Argon2id memory, above the limit of " +
         std::to_string(o.MaxMemoryMiB) + " MiB (--kdf-max-memory raises it)");
  if (h.Lanes > kMaxLanesAccepted)
    Fail(name + ": asks for " + std::to_string(h.Lanes) + " Argon2id lanes, above the limit of " +
         std::to_string(kMaxLanesAccepted));
}

// Argon2id on a worker thread, so that Ctrl-C and SIGTERM end the wait at once (the interrupted
// failure; nothing has been written then) instead of after the derivation. The job owns its
// copies of the passphrase and the key and wipes them when the last of the two lets it go.
struct TDerivation {
  THeader Header;
  TSecretString Passphrase;
  platform::TSecretBytes Key{platform::TBytes(32)};
  int Result = ARGON2_OK;
  std::mutex Lock;
  std::condition_variable Done;
  bool Finished = false;
};

void Derive(const THeader& h, TSecretString& passphrase, platform::TSecretBytes& key) {
  auto job = std::make_shared<TDerivation>();
  job->Header = h;
  std::swap(job->Passphrase.Value, passphrase.Value);
  std::thread([job] {
    const THeader& j = job->Header;
    const int r = argon2id_hash_raw(j.Passes, j.MemoryKiB, j.Lanes, job->Passphrase.Value.data(),
                                    job->Passphrase.Value.size(), j.Salt.data(), j.Salt.size(), job->Key.Value.data(),
                                    job->Key.Value.size());
    const std::lock_guard<std::mutex> hold(job->Lock);
    job->Result = r;
    job->Finished = true;
    job->Done.notify_one();
  }).detach();
  std::unique_lock<std::mutex> wait(job->Lock);
  while (!job->Finished) {
    job->Done.wait_for(wait, std::chrono::milliseconds(20));
    CheckInterrupted();
  }
  if (job->Result != ARGON2_OK) Fail(std::string("deriving the key: ") + argon2_error_message(job->Result));
  key.Assign(job->Key.Value);  // a copy; the job wipes its own
}

// The AES-256 key: the key file's 32 bytes, or Argon2id of the passphrase under the header's
// salt and parameters.
void SealKey(TSealOptions& o, const THeader& h, bool sealing, platform::TSecretBytes& key) {
  if (h.Source == kFromKeyFile) {
    if (o.KeyFile.empty()) UsageFail("this file was sealed with a key file: give --key-file");
    key.Assign(ReadSmallFile(o.KeyFile, 32));
    if (key.Value.size() != 32) UsageFail(o.KeyFile + ": a sealing key file holds 32 bytes");
    return;
  }
  if (!o.KeyFile.empty()) UsageFail("this file was sealed with a passphrase, not a key file");
  TSecretString passphrase;
  ReadPassphrase(o.Passphrase, sealing, passphrase);
  Derive(h, passphrase, key);
}

void CheckPaths(const TSealOptions& o) {
  CheckDistinctPaths({{"input", o.In}, {"--key-file", o.KeyFile}, {"--passphrase-file", o.Passphrase.File}},
                     {{"-o", o.Out}});
}

// Everything is checked before the passphrase is asked for or the key derived: the paths, the
// parameters, the input (read whole when it is a pipe) and the output (absent, or --force).
void RunSeal(TSealOptions& o) {
  CheckPaths(o);
  RefuseTerminalOutput(o.Out);
  CheckLimitOptions(o);
  THeader h;
  h.Source = o.KeyFile.empty() ? kFromPassphrase : kFromKeyFile;
  if (h.Source == kFromPassphrase) {
    if (o.Passes < 1 || o.Passes > o.MaxPasses || o.MemoryMiB < 1 || o.MemoryMiB > o.MaxMemoryMiB)
      UsageFail("--kdf-passes must be 1 to " + std::to_string(o.MaxPasses) + " (it is " + std::to_string(o.Passes) +
                ") and --kdf-memory 1 to " + std::to_string(o.MaxMemoryMiB) + " MiB (it is " +
                std::to_string(o.MemoryMiB) + "); --kdf-max-passes and --kdf-max-memory raise the limits");
    h.Passes = o.Passes;
    h.MemoryKiB = o.MemoryMiB << 10;
  } else {
    h.Passes = h.MemoryKiB = h.Lanes = 0;
  }
  TInput in(o.In);
  if (in.Size() > kGCMMaxBytes)
    Fail(in.Name() + ": above the 64 GiB limit of one sealed file of format version 1 (one GCM message)");
  TOutput out(o.Out, o.Common.Force);
  if (RandomCoreW::TRandomCore::GetRandomBytes(16, h.Salt.data()) != 0) Fail("the random generator failed");
  platform::TSecretBytes key;
  SealKey(o, h, true, key);
  const platform::TBytes header = EncodeHeader(h);
  TProgress progress(o.Common.Quiet, in.Size());
  TProgressStream input(in.Stream(), progress);
  platform::TMemoryStream aad(header), tag;
  AESModes::TAESModes engine;
  Guard(in.Name(), [&] {
    out.Stream().WriteBuffer(header.data(), kHeaderSize);
    TWindowStream body(out.Stream(), kHeaderSize);
    engine.EncryptAndGenerateFromStream(&input, &body, &aad, &tag, key.Value, {});
    body.Seek(0, platform::TSeekOrigin::soEnd);
    body.WriteBuffer(tag.Bytes().data(), kTagSize);
  });
  progress.Erase();
  out.Commit();
}

// One pass (GCMOpen.h): released only once the tag matched the bytes decrypted.
void RunOpen(TSealOptions& o) {
  CheckPaths(o);
  CheckLimitOptions(o);
  TInput in(o.In);
  const std::int64_t size = in.Size();
  if (size < kHeaderSize + kIVSize + kTagSize) Fail(in.Name() + ": too short to be a sealed file");
  platform::TBytes header(kHeaderSize), iv(kIVSize), expected(kTagSize);
  Guard(in.Name(), [&] {
    in.Stream().SetPosition(0);
    ReadExactly(in.Stream(), header.data(), kHeaderSize, in.Name());
  });
  const THeader h = DecodeHeader(header, in.Name());
  CheckWithinLimits(h, o, in.Name());
  TOutput out(o.Out, o.Common.Force, true);
  platform::TSecretBytes key;
  SealKey(o, h, false, key);
  const std::int64_t length = size - kHeaderSize - kIVSize - kTagSize;
  TProgress progress(o.Common.Quiet, length);
  bool match = false;
  Guard(in.Name(), [&] {
    ReadExactly(in.Stream(), iv.data(), kIVSize, in.Name());
    in.Stream().SetPosition(size - kTagSize);
    ReadExactly(in.Stream(), expected.data(), kTagSize, in.Name());
    in.Stream().SetPosition(kHeaderSize + kIVSize);
    match = DecryptVerified(in.Stream(), length, key.Value, iv, header, expected, out, progress, in.Name());
  });
  progress.Erase();
  if (!match) AuthFail(in.Name() + ": authentication failed: wrong passphrase or key, or a damaged file (nothing was written)");
  out.Commit();
}

void AddSealCommand(CLI::App& app, bool sealing) {
  CLI::App* sub = AddSubcommand(
      app, sealing ? "seal" : "open",
      sealing ? "Protect a file with a passphrase (Argon2id) or a key file, using AES-256-GCM"
              : "Check and decrypt a sealed file; nothing is written unless it is intact",
      sealing ? "orvoaes seal diary.txt -o diary.txt.sealed        (asks for the passphrase twice)"
              : "orvoaes open diary.txt.sealed -o diary.txt");
  auto o = std::make_shared<TSealOptions>();
  sub->add_option("input", o->In, "Input file (- or none: standard input)");
  sub->add_option("-o,--out", o->Out, sealing ? "Output file (none: standard output, unless a terminal; -: standard output)"
                                              : "Output file (- or none: standard output)");
  auto* fd = sub->add_option("--passphrase-fd", o->Passphrase.Fd, "Read the passphrase from this file descriptor");
  auto* file = sub->add_option("--passphrase-file", o->Passphrase.File, "Read the passphrase from this file's first line");
  sub->add_option("--key-file", o->KeyFile, "Use a key file of 32 raw bytes instead of a passphrase")
      ->excludes(fd)->excludes(file);
  fd->excludes(file);
  if (sealing) {
    sub->add_option("--kdf-passes", o->Passes, "Argon2id passes (default 3, at most --kdf-max-passes)");
    sub->add_option("--kdf-memory", o->MemoryMiB, "Argon2id memory in MiB (default 64, at most --kdf-max-memory)");
  }
  sub->add_option("--kdf-max-passes", o->MaxPasses,
                  sealing ? "Highest Argon2id passes accepted (default 10, up to 64)"
                          : "Highest Argon2id passes a file may ask for (default 10, up to 64)");
  sub->add_option("--kdf-max-memory", o->MaxMemoryMiB,
                  sealing ? "Highest Argon2id memory in MiB accepted (default 1024, up to 4096)"
                          : "Highest Argon2id memory in MiB a file may ask for (default 1024, up to 4096)");
  AddCommonOptions(*sub, o->Common);
  sub->callback([o, sealing] { sealing ? RunSeal(*o) : RunOpen(*o); });
}

}  // namespace

void AddSealCommands(CLI::App& app) {
  AddSealCommand(app, true);
  AddSealCommand(app, false);
}

}  // namespace cli
