// seal / open: a file protected by a passphrase (Argon2id) or a key file, with AES-256-GCM.
//
// Layout (integers big-endian); the 35 header bytes are the GCM additional data:
//   "ORVOSEAL" | version 1 | key source (1 passphrase, 2 key file) | Argon2id passes (4) |
//   memory in KiB (4) | lanes (1) | salt (16) || IV (12) | cipher text | tag (16)
#include <argon2.h>

#include <array>
#include <cstring>
#include <memory>

#include "Common.h"
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
// What open accepts from a header, so a damaged or hostile file cannot ask for unbounded work.
constexpr std::uint32_t kMaxPasses = 64, kMaxMemoryKiB = 4u << 20, kMaxLanes = 16;

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

THeader DecodeHeader(const platform::TBytes& b, const std::string& name) {
  if (b.size() != kHeaderSize || std::memcmp(b.data(), kMagic, 8) != 0) Fail(name + ": not a sealed file");
  if (b[8] != kVersion) Fail(name + ": sealed with format version " + std::to_string(b[8]) + ", which this program does not know");
  THeader h;
  h.Source = b[9];
  h.Passes = GetU32(&b[10]);
  h.MemoryKiB = GetU32(&b[14]);
  h.Lanes = b[18];
  std::memcpy(h.Salt.data(), &b[19], 16);
  const bool sane = (h.Source == kFromKeyFile) ||
                    (h.Source == kFromPassphrase && h.Passes >= 1 && h.Passes <= kMaxPasses && h.Lanes >= 1 &&
                     h.Lanes <= kMaxLanes && h.MemoryKiB >= 8u * h.Lanes && h.MemoryKiB <= kMaxMemoryKiB);
  if (!sane) AuthFail(name + ": authentication failed: the header is damaged (its key parameters are out of range)");
  return h;
}

struct TSealOptions {
  TCommonOptions Common;
  TPassphraseOptions Passphrase;
  std::string In = "-", Out = "-", KeyFile;
  std::uint32_t Passes = 3, MemoryMiB = 64;
};

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
  key.Assign(platform::TBytes(32));
  const int r = argon2id_hash_raw(h.Passes, h.MemoryKiB, h.Lanes, passphrase.Value.data(), passphrase.Value.size(),
                                  h.Salt.data(), h.Salt.size(), key.Value.data(), key.Value.size());
  if (r != ARGON2_OK) Fail(std::string("deriving the key: ") + argon2_error_message(r));
}

void RunSeal(TSealOptions& o) {
  THeader h;
  h.Source = o.KeyFile.empty() ? kFromPassphrase : kFromKeyFile;
  if (h.Source == kFromPassphrase) {
    if (o.Passes < 1 || o.Passes > kMaxPasses || o.MemoryMiB < 1 || o.MemoryMiB > (kMaxMemoryKiB >> 10))
      UsageFail("--kdf-passes must be 1 to 64 and --kdf-memory 1 to 4096 MiB");
    h.Passes = o.Passes;
    h.MemoryKiB = o.MemoryMiB << 10;
  } else {
    h.Passes = h.MemoryKiB = h.Lanes = 0;
  }
  if (RandomCoreW::TRandomCore::GetRandomBytes(16, h.Salt.data()) != 0) Fail("the random generator failed");
  platform::TSecretBytes key;
  SealKey(o, h, true, key);
  TPrivateDir temp;
  TInput in(o.In, temp);
  TOutput out(o.Out, o.Common.Force);
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

void RunOpen(TSealOptions& o) {
  TPrivateDir temp;
  TInput in(o.In, temp);
  const std::int64_t size = in.Size();
  if (size < kHeaderSize + kIVSize + kTagSize) Fail(in.Name() + ": too short to be a sealed file");
  platform::TBytes header(kHeaderSize);
  Guard(in.Name(), [&] {
    in.Stream().SetPosition(0);
    if (in.Stream().Read(header.data(), kHeaderSize) != kHeaderSize) Fail(in.Name() + ": cannot read the header");
  });
  const THeader h = DecodeHeader(header, in.Name());
  platform::TSecretBytes key;
  SealKey(o, h, false, key);
  TOutput out(o.Out, o.Common.Force);
  TWindowStream body(in.Stream(), kHeaderSize, size - kHeaderSize - kTagSize);
  TWindowStream tag(in.Stream(), size - kTagSize, kTagSize);
  TProgress progress(o.Common.Quiet, body.GetSize(), 2);  // hashed first, then decrypted
  TProgressStream input(body, progress);
  platform::TMemoryStream aad(header);
  AESModes::TAESModes engine;
  platform::Integer status = 0;
  Guard(in.Name(), [&] {
    status = engine.DecryptAndVerifyFromStream(&input, &out.Stream(), &aad, &tag, key.Value, {}, 128);
  });
  progress.Erase();
  if (status != 0) AuthFail(in.Name() + ": authentication failed: wrong passphrase or key, or a damaged file (nothing was written)");
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
  sub->add_option("-o,--out", o->Out, "Output file (- or none: standard output)");
  auto* fd = sub->add_option("--passphrase-fd", o->Passphrase.Fd, "Read the passphrase from this file descriptor");
  auto* file = sub->add_option("--passphrase-file", o->Passphrase.File, "Read the passphrase from this file's first line");
  sub->add_option("--key-file", o->KeyFile, "Use a key file of 32 raw bytes instead of a passphrase")
      ->excludes(fd)->excludes(file);
  fd->excludes(file);
  if (sealing) {
    sub->add_option("--kdf-passes", o->Passes, "Argon2id passes (default 3)");
    sub->add_option("--kdf-memory", o->MemoryMiB, "Argon2id memory in MiB (default 64)");
  }
  AddCommonOptions(*sub, o->Common);
  sub->callback([o, sealing] { sealing ? RunSeal(*o) : RunOpen(*o); });
}

}  // namespace

void AddSealCommands(CLI::App& app) {
  AddSealCommand(app, true);
  AddSealCommand(app, false);
}

}  // namespace cli
