// seal / open / rekey / inspect: files protected by passphrases (Argon2id) or key files.
//
// Version 2 (written by default): a random 32-byte file key encrypts the payload with chunked
// AES-256-GCM (Cobblestone-256), so it streams in both directions; the header holds 1 to 8 key
// slots, each the file key wrapped (AES-256-GCM) under a passphrase's Argon2id key or a key
// file, and an HMAC-SHA-256 over the whole header under a key derived from the file key.
// Integers big-endian:
//   "ORVOSEAL" | version 2 | file id (16) | slot count n (1) | n slots of 86 bytes | MAC (32) |
//   payload = Cobblestone-256(file key, context = the first 25 bytes)
//   slot: kind (1 passphrase, 2 key file) | Argon2id passes (4) | memory in KiB (4) | lanes (1) |
//         salt (16) | nonce (12) | wrapped file key (32) | tag (16)
//   (a key-file slot has zero passes, memory, lanes and salt). The wrap's additional data is
//   the file's first 25 bytes and the slot's first 26, so a slot cannot move to another file.
//   MAC key = HKDF-SHA-256(salt = file id, key = file key, info = "orvoaes sealed file v2 header").
// The slots and the MAC can be rewritten (rekey) without touching the payload.
//
// Version 1 (read, and written on request): one AES-256-GCM message. The 35 header bytes are
// the GCM additional data:
//   "ORVOSEAL" | version 1 | key source (1 passphrase, 2 key file) | Argon2id passes (4) |
//   memory in KiB (4) | lanes (1) | salt (16) || IV (12) | cipher text | tag (16)
#include <argon2.h>
#include <sched.h>

#include <algorithm>
#include <cstdio>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "Armor.h"
#include "Common.h"
#include "GCMOpen.h"
#include "Io.h"
#include "Passphrase.h"
#include "Progress.h"
#include "crypto/engine/AESChunked.h"
#include "crypto/engine/AESKeyed.h"
#include "crypto/engine/AESModes.h"
#include "crypto/hash/HMAC.h"
#include "crypto/hash/KDF.h"
#include "crypto/support/RandomCoreW.h"
#include "crypto/support/error.h"
#include "platform/Memory.h"

namespace cli {

namespace {

constexpr char kMagic[8] = {'O', 'R', 'V', 'O', 'S', 'E', 'A', 'L'};
constexpr std::uint8_t kVersion = 1, kVersion2 = 2;
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
  int Version = 2;
  bool Armor = false;
  unsigned Threads = 0;  // 0: the cores available
  // rekey: the slot to add, remove or replace, and the new one's passphrase or key file.
  bool Add = false;
  int Remove = 0, Replace = 0;
  TPassphraseOptions NewPassphrase;
  std::string NewKeyFile;
};

void CheckLimitOptions(const TSealOptions& o) {
  if (o.MaxPasses < 1 || o.MaxPasses > kMaxPasses || o.MaxMemoryMiB < 1 || o.MaxMemoryMiB > kMaxMemoryMiB)
    UsageFail("--kdf-max-passes must be 1 to 64 and --kdf-max-memory 1 to 4096 (MiB)");
}

bool Sane(const THeader& h);

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
  if (!Sane(h)) AuthFail(name + ": authentication failed: the header is damaged (its key source or parameters)");
  return h;
}

bool Sane(const THeader& h) {
  return
      (h.Source == kFromKeyFile && h.Passes == 0 && h.MemoryKiB == 0 && h.Lanes == 0) ||
      (h.Source == kFromPassphrase && h.Passes >= 1 && h.Passes <= kMaxPasses && h.Lanes >= 1 &&
       h.Lanes <= kMaxLanes && h.MemoryKiB >= 8u * h.Lanes && h.MemoryKiB <= (kMaxMemoryMiB << 10));
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
  CheckDistinctPaths({{"input", o.In},
                      {"--key-file", o.KeyFile},
                      {"--passphrase-file", o.Passphrase.File},
                      {"--new-key-file", o.NewKeyFile},
                      {"--new-passphrase-file", o.NewPassphrase.File}},
                     {{"-o", o.Out}});
}

// The Argon2id parameters a new passphrase gets (--kdf-passes, --kdf-memory), within the limits.
THeader NewParams(const TSealOptions& o, bool keyFile) {
  THeader h;
  if (keyFile) {
    h.Source = kFromKeyFile;
    h.Passes = h.MemoryKiB = h.Lanes = 0;
    return h;
  }
  if (o.Passes < 1 || o.Passes > o.MaxPasses || o.MemoryMiB < 1 || o.MemoryMiB > o.MaxMemoryMiB)
    UsageFail("--kdf-passes must be 1 to " + std::to_string(o.MaxPasses) + " (it is " + std::to_string(o.Passes) +
              ") and --kdf-memory 1 to " + std::to_string(o.MaxMemoryMiB) + " MiB (it is " +
              std::to_string(o.MemoryMiB) + "); --kdf-max-passes and --kdf-max-memory raise the limits");
  h.Passes = o.Passes;
  h.MemoryKiB = o.MemoryMiB << 10;
  return h;
}

// --threads, or the cores this process may run on.
unsigned Threads(const TSealOptions& o) {
  if (o.Threads != 0) return o.Threads;
  cpu_set_t set;
  CPU_ZERO(&set);
  const int n = ::sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
  return static_cast<unsigned>(std::clamp(n, 1, 64));
}

void Random(std::uint8_t* p, std::size_t n) {
  if (RandomCoreW::TRandomCore::GetRandomBytes(static_cast<platform::Integer>(n), p) != 0)
    Fail("the random generator failed");
}

// Version 1, as it always was: the whole input as one GCM message.
void SealV1(TSealOptions& o) {
  if (o.Armor) UsageFail("--armor writes format version 2 only");
  THeader h = NewParams(o, !o.KeyFile.empty());
  TInput in(o.In);
  if (in.Size() > kGCMMaxBytes)
    Fail(in.Name() + ": above the 64 GiB limit of one sealed file of format version 1 (one GCM message)");
  TOutput out(o.Out, o.Common.Force);
  Random(h.Salt.data(), h.Salt.size());
  platform::TSecretBytes key;
  SealKey(o, h, true, key);
  const platform::TBytes header = EncodeHeader(h);
  TProgress progress(o.Common.Quiet, in.Size());
  std::uint8_t iv[kIVSize];
  Random(iv, kIVSize);
  platform::TCharArray16 tag;
  Guard(in.Name(), [&] {
    // header, IV, cipher text, tag: the header is the message's additional data.
    out.Stream().WriteBuffer(header.data(), kHeaderSize);
    out.Stream().WriteBuffer(iv, kIVSize);
    EncryptGCM(in.Stream(), in.Size(), key.Value, iv, header, out.Stream(), tag, progress, in.Name());
    out.Stream().WriteBuffer(tag.data(), kTagSize);
  });
  progress.Erase();
  out.Commit();
}

// One pass (GCMOpen.h): released only once the tag matched the bytes decrypted. stream holds
// the whole file, size bytes.
void OpenV1(TSealOptions& o, platform::TStream& stream, std::int64_t size, const std::string& name) {
  if (size < kHeaderSize + kIVSize + kTagSize) Fail(name + ": too short to be a sealed file");
  platform::TBytes header(kHeaderSize), iv(kIVSize), expected(kTagSize);
  Guard(name, [&] {
    stream.SetPosition(0);
    ReadExactly(stream, header.data(), kHeaderSize, name);
  });
  const THeader h = DecodeHeader(header, name);
  CheckWithinLimits(h, o, name);
  TOutput out(o.Out, o.Common.Force, true);
  platform::TSecretBytes key;
  SealKey(o, h, false, key);
  const std::int64_t length = size - kHeaderSize - kIVSize - kTagSize;
  TProgress progress(o.Common.Quiet, length);
  bool match = false;
  Guard(name, [&] {
    ReadExactly(stream, iv.data(), kIVSize, name);
    stream.SetPosition(size - kTagSize);
    ReadExactly(stream, expected.data(), kTagSize, name);
    stream.SetPosition(kHeaderSize + kIVSize);
    match = DecryptVerified(stream, length, key.Value, iv, header, expected, out, progress, name);
  });
  progress.Erase();
  if (!match) AuthFail(name + ": authentication failed: wrong passphrase or key, or a damaged file (nothing was written)");
  out.Commit();
}

// --- Version 2

constexpr std::size_t kFileIdBytes = 16, kContextBytes = 25, kFixedBytes = 26, kSlotBytes = 86, kMacBytes = 32;
constexpr std::size_t kSlotParamBytes = 26, kNonceBytes = 12, kFileKeyBytes = 32, kWrapTagBytes = 16;
constexpr std::size_t kMaxSlots = 8;
constexpr std::size_t kPiece = std::size_t{1} << 20;
constexpr char kMacInfo[] = "orvoaes sealed file v2 header";

struct TSlot {
  THeader Params;  // Source is the kind; Salt unused (zero) for a key file
  std::array<std::uint8_t, kNonceBytes> Nonce{};
  std::array<std::uint8_t, kFileKeyBytes + kWrapTagBytes> Wrapped{};
};

struct THeader2 {
  std::array<std::uint8_t, kFileIdBytes> FileId{};
  std::vector<TSlot> Slots;
  std::array<std::uint8_t, kMacBytes> Mac{};

  // magic | version | file id: the payload's context, and part of every wrap's additional data.
  platform::TBytes Context() const {
    platform::TBytes b(kContextBytes);
    std::memcpy(b.data(), kMagic, 8);
    b[8] = kVersion2;
    std::memcpy(&b[9], FileId.data(), kFileIdBytes);
    return b;
  }
  // Everything before the MAC.
  platform::TBytes Body() const {
    platform::TBytes b = Context();
    b.push_back(static_cast<std::uint8_t>(Slots.size()));
    for (const TSlot& s : Slots) {
      const platform::TBytes p = SlotParams(s.Params);
      b.insert(b.end(), p.begin(), p.end());
      b.insert(b.end(), s.Nonce.begin(), s.Nonce.end());
      b.insert(b.end(), s.Wrapped.begin(), s.Wrapped.end());
    }
    return b;
  }
  static platform::TBytes SlotParams(const THeader& h) {
    platform::TBytes b(kSlotParamBytes);
    b[0] = h.Source;
    PutU32(&b[1], h.Passes);
    PutU32(&b[5], h.MemoryKiB);
    b[9] = h.Lanes;
    std::memcpy(&b[10], h.Salt.data(), 16);
    return b;
  }
  platform::TBytes WrapData(const TSlot& s) const {
    platform::TBytes b = Context();
    const platform::TBytes p = SlotParams(s.Params);
    b.insert(b.end(), p.begin(), p.end());
    return b;
  }
};

std::array<std::uint8_t, kMacBytes> MacOf(const THeader2& h, std::span<const std::uint8_t> fileKey) {
  using Hash::THashKind;
  platform::TWiped<std::array<std::uint8_t, 32>> prk, macKey;
  std::array<std::uint8_t, kMacBytes> mac{};
  const auto info = std::span(reinterpret_cast<const std::uint8_t*>(kMacInfo), sizeof kMacInfo - 1);
  if (Hash::HKDF_Extract(THashKind::SHA256, h.FileId, fileKey, *prk) != 0 ||
      Hash::HKDF_Expand(THashKind::SHA256, *prk, info, *macKey) != 0 ||
      Hash::HMAC(THashKind::SHA256, *macKey, h.Body(), mac) != 0)
    Fail("the header's MAC cannot be computed");
  return mac;
}

// The key a slot's credential gives: the key file's 32 bytes, or Argon2id of the passphrase
// under the slot's salt and parameters.
void SlotKey(const THeader& params, const std::string& keyFile, const TSecretString& passphrase,
             platform::TSecretBytes& kek) {
  if (params.Source == kFromKeyFile) {
    kek.Assign(ReadSmallFile(keyFile, 32));
    if (kek.Value.size() != 32) UsageFail(keyFile + ": a sealing key file holds 32 bytes");
    return;
  }
  TSecretString copy;
  copy.Value = passphrase.Value;
  Derive(params, copy, kek);
}

TSlot WrapSlot(const THeader2& h, const THeader& params, std::span<const std::uint8_t> kek,
               std::span<const std::uint8_t> fileKey) {
  TSlot s;
  s.Params = params;
  Random(s.Nonce.data(), kNonceBytes);
  AESKeyed::TAESKey k;
  auto w = std::span(s.Wrapped);
  if (k.SetKey(kek) != 0 || k.GCM_Seal(s.Nonce, h.WrapData(s), fileKey, w.first(kFileKeyBytes), w.last(kWrapTagBytes)) != 0)
    Fail("the file key cannot be wrapped");
  return s;
}

bool UnwrapSlot(const THeader2& h, const TSlot& s, std::span<const std::uint8_t> kek, platform::TSecretBytes& fileKey) {
  AESKeyed::TAESKey k;
  platform::TBytes key(kFileKeyBytes);
  const auto w = std::span<const std::uint8_t>(s.Wrapped);
  const bool ok = k.SetKey(kek) == 0 &&
                  k.GCM_Open(s.Nonce, h.WrapData(s), w.first(kFileKeyBytes), w.last(kWrapTagBytes), key) == 0;
  fileKey.Assign(std::move(key));
  return ok;
}

// A new slot's credential: a key file, or a passphrase (asked twice on a terminal) with a new salt.
TSlot NewSlot(const TSealOptions& o, const THeader2& h, const std::string& keyFile, const TPassphraseOptions& pass,
              const char* prompt, std::span<const std::uint8_t> fileKey) {
  THeader params = NewParams(o, !keyFile.empty());
  TSecretString passphrase;
  if (keyFile.empty()) {
    Random(params.Salt.data(), params.Salt.size());
    ReadPassphrase(pass, true, passphrase, prompt);
  }
  platform::TSecretBytes kek;
  SlotKey(params, keyFile, passphrase, kek);
  return WrapSlot(h, params, kek.Value, fileKey);
}

// The input of open, rekey and inspect: read once, binary or armored (recognised by its first
// bytes), from a file or a pipe.
class TSealInput {
 public:
  explicit TSealInput(const std::string& path) : FSource(path) {
    FPending.resize(9);
    std::size_t got = 0;
    while (got < FPending.size()) {
      const std::size_t n = FSource.Read(FPending.data() + got, FPending.size() - got);
      if (n == 0) break;
      got += n;
    }
    FPending.resize(got);
    if (got >= 5 && std::memcmp(FPending.data(), "-----", 5) == 0)
      FArmor = std::make_unique<TArmorReader>([this](std::uint8_t* p, std::size_t n) { return Raw(p, n); },
                                              [this](const std::string& why) {
                                                AuthFail(Name() + ": authentication failed: " + why);
                                              });
  }
  const std::string& Name() const { return FSource.Name(); }
  TOnceInput& Source() { return FSource; }
  bool Armored() const { return FArmor != nullptr; }
  // The bytes of a binary file not read yet, or -1 (a pipe, or armor).
  std::int64_t Left() const { return FArmor || FSource.Size() < 0 ? -1 : FSource.Size() - FTaken; }

  // The file's bytes (armor decoded), up to n; 0 only at the end.
  std::size_t Read(std::uint8_t* p, std::size_t n) { return FArmor ? FArmor->Read(p, n) : Raw(p, n); }
  // Exactly n bytes, or fewer only at the end.
  std::size_t ReadFull(std::uint8_t* p, std::size_t n) {
    std::size_t got = 0;
    for (std::size_t r; got < n && (r = Read(p + got, n - got)) != 0;) got += r;
    return got;
  }
  // The rest of the input as it is, the bytes taken so far first.
  std::size_t Raw(std::uint8_t* p, std::size_t n) {
    std::size_t got;
    if (FPendingAt < FPending.size()) {
      got = std::min(n, FPending.size() - FPendingAt);
      std::memcpy(p, FPending.data() + FPendingAt, got);
      FPendingAt += got;
    } else {
      got = FSource.Read(p, n);
    }
    FTaken += static_cast<std::int64_t>(got);
    return got;
  }

 private:
  TOnceInput FSource;
  platform::TBytes FPending;
  std::size_t FPendingAt = 0;
  std::int64_t FTaken = 0;
  std::unique_ptr<TArmorReader> FArmor;
};

// Reads the magic and version: 1 or 2 (anything else is a damaged header).
int ReadVersion(TSealInput& in) {
  std::uint8_t head[9];
  if (in.ReadFull(head, 9) != 9 || std::memcmp(head, kMagic, 8) != 0) Fail(in.Name() + ": not a sealed file");
  if (head[8] != kVersion && head[8] != kVersion2)
    AuthFail(in.Name() + ": authentication failed: the header is damaged (format version " + std::to_string(head[8]) +
             ", which this program does not know)");
  return head[8];
}

// The rest of a version 2 header, checked as far as it can be without a key: a slot count or
// slot whose bytes cannot come from seal or rekey is damaged (exit 3).
THeader2 ReadHeader2(TSealInput& in) {
  const std::string& name = in.Name();
  const auto cut = [&] { AuthFail(name + ": authentication failed: the header is cut short"); };
  THeader2 h;
  std::uint8_t count = 0;
  if (in.ReadFull(h.FileId.data(), kFileIdBytes) != kFileIdBytes || in.ReadFull(&count, 1) != 1) cut();
  if (count < 1 || count > kMaxSlots)
    AuthFail(name + ": authentication failed: the header is damaged (" + std::to_string(count) + " key slots)");
  platform::TBytes b(count * kSlotBytes);
  if (in.ReadFull(b.data(), b.size()) != b.size() || in.ReadFull(h.Mac.data(), kMacBytes) != kMacBytes) cut();
  static const std::array<std::uint8_t, 16> zeroSalt{};
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* p = &b[i * kSlotBytes];
    TSlot s;
    s.Params.Source = p[0];
    s.Params.Passes = GetU32(p + 1);
    s.Params.MemoryKiB = GetU32(p + 5);
    s.Params.Lanes = p[9];
    std::memcpy(s.Params.Salt.data(), p + 10, 16);
    std::memcpy(s.Nonce.data(), p + kSlotParamBytes, kNonceBytes);
    std::memcpy(s.Wrapped.data(), p + kSlotParamBytes + kNonceBytes, s.Wrapped.size());
    if (!Sane(s.Params) || (s.Params.Source == kFromKeyFile && s.Params.Salt != zeroSalt))
      AuthFail(name + ": authentication failed: the header is damaged (key slot " + std::to_string(i + 1) +
               ": its kind or parameters)");
    h.Slots.push_back(s);
  }
  return h;
}

// The file key, from the first slot the credential given (--key-file, else a passphrase) opens,
// and the header's MAC checked under it. Everything about the slots is checked before the
// passphrase is asked: a credential of a kind the file has no slot for, and Argon2id
// parameters beyond the limits (slots beyond them are skipped; when no slot is left, the
// first one's excess is named).
void Unlock(TSealOptions& o, const THeader2& h, const std::string& name, platform::TSecretBytes& fileKey) {
  const std::uint8_t kind = o.KeyFile.empty() ? kFromPassphrase : kFromKeyFile;
  std::vector<const TSlot*> tries;
  const TSlot* beyond = nullptr;
  for (const TSlot& s : h.Slots) {
    if (s.Params.Source != kind) continue;
    const bool within = kind == kFromKeyFile || (s.Params.Passes <= o.MaxPasses &&
                                                 s.Params.MemoryKiB <= (o.MaxMemoryMiB << 10) &&
                                                 s.Params.Lanes <= kMaxLanesAccepted);
    if (within) tries.push_back(&s);
    else if (beyond == nullptr) beyond = &s;
  }
  if (tries.empty() && beyond != nullptr) CheckWithinLimits(beyond->Params, o, name);
  if (tries.empty())
    UsageFail(name + (kind == kFromKeyFile ? ": has no key-file slot: give its passphrase instead of --key-file"
                                           : ": has key-file slots only: give --key-file"));
  TSecretString passphrase;
  if (kind == kFromPassphrase) ReadPassphrase(o.Passphrase, false, passphrase);
  bool opened = false;
  for (const TSlot* s : tries) {
    platform::TSecretBytes kek;
    SlotKey(s->Params, o.KeyFile, passphrase, kek);
    if ((opened = UnwrapSlot(h, *s, kek.Value, fileKey))) break;
  }
  if (!opened)
    AuthFail(name + ": authentication failed: wrong passphrase or key, or a damaged key slot (nothing was written)");
  const auto mac = MacOf(h, fileKey.Value);
  if (!platform::ConstantTimeEqual(mac, h.Mac))
    AuthFail(name + ": authentication failed: the header is damaged (its MAC does not match; nothing was written)");
}

// Where the sealed bytes go: the output as they are, or as armor.
class TSealSink {
 public:
  TSealSink(TOutput& out, bool armor) : FOut(out) {
    if (armor) FArmor = std::make_unique<TArmorWriter>(out.Stream());
  }
  void Write(const std::uint8_t* p, std::size_t n) {
    if (FArmor) FArmor->Write(p, n);
    else FOut.Stream().WriteBuffer(p, static_cast<std::int64_t>(n));
  }
  void Finish() {
    if (FArmor) FArmor->Finish();
  }

 private:
  TOutput& FOut;
  std::unique_ptr<TArmorWriter> FArmor;
};

void WriteHeader(TSealSink& sink, const THeader2& h) {
  const platform::TBytes body = h.Body();
  sink.Write(body.data(), body.size());
  sink.Write(h.Mac.data(), h.Mac.size());
}

// Checks come first (paths, parameters, the output absent or --force), then the passphrase;
// the input is read once, as it comes, pipes included.
void RunSeal(TSealOptions& o) {
  CheckPaths(o);
  RefuseTerminalOutput(o.Out);
  CheckLimitOptions(o);
  const unsigned threads = Threads(o);
  if (o.Version == 1) return SealV1(o);
  NewParams(o, !o.KeyFile.empty());
  TOnceInput in(o.In);
  TOutput out(o.Out, o.Common.Force);
  THeader2 h;
  Random(h.FileId.data(), kFileIdBytes);
  platform::TSecretBytes fileKey{platform::TBytes(kFileKeyBytes)};
  Random(fileKey.Value.data(), kFileKeyBytes);
  h.Slots.push_back(NewSlot(o, h, o.KeyFile, o.Passphrase, "Passphrase", fileKey.Value));
  h.Mac = MacOf(h, fileKey.Value);
  const platform::TBytes context = h.Context();
  TProgress progress(o.Common.Quiet, std::max<std::int64_t>(in.Size(), 0));
  TSealSink sink(out, o.Armor);
  AESChunked::TEncryptor encryptor;
  std::vector<std::uint8_t> header(AESChunked::kHeaderBytes);
  const auto check = [&](platform::Integer st) {
    if (st != 0) FailStatus(in.Name(), st);
  };
  check(encryptor.Begin({AESChunked::TSuite::Cobblestone256, fileKey.Value, context}, header, {}, threads));
  platform::TSecretBytes plain{platform::TBytes(kPiece)};
  std::vector<std::uint8_t> cipher(encryptor.UpdateRoom(kPiece) + AESChunked::kSealedChunkBytes);
  Guard(out.Name(), [&] {
    WriteHeader(sink, h);
    sink.Write(header.data(), header.size());
    for (std::size_t n; (n = in.Read(plain.Value.data(), kPiece)) != 0;) {
      std::size_t written = 0;
      check(encryptor.Update({plain.Value.data(), n}, cipher, written));
      sink.Write(cipher.data(), written);
      if (!progress.Update(in.Done())) throw TFailure("interrupted", kExitInterrupted);
    }
    std::size_t written = 0;
    check(encryptor.Finish(cipher, written));
    sink.Write(cipher.data(), written);
    sink.Finish();
  });
  progress.Erase();
  out.Commit();
}

// What a failed payload left: nothing in a file, the verified chunks on a stream.
std::string Released(const TOutput& out, std::uint64_t released) {
  if (out.Handle() != platform::INVALID_HANDLE_VALUE || released == 0) return " (nothing was written)";
  return " (the " + std::to_string(released) + " bytes before it were verified and written)";
}

[[noreturn]] void PayloadFail(const std::string& name, platform::Integer status, const std::string& released) {
  switch (status) {
    case error::kChunkTruncated:
      AuthFail(name + ": authentication failed: the file is truncated" + released);
    case error::kTagMismatch:
    case error::kChunkCommitment:
    case error::kChunkTooLong:
      AuthFail(name + ": authentication failed: the file is damaged or has bytes after its end" + released);
    default:
      FailStatus(name, status);
  }
}

void OpenV2(TSealOptions& o, TSealInput& in, unsigned threads) {
  const THeader2 h = ReadHeader2(in);
  TOutput out(o.Out, o.Common.Force);
  platform::TSecretBytes fileKey;
  Unlock(o, h, in.Name(), fileKey);
  const platform::TBytes context = h.Context();
  const std::int64_t left = in.Left();
  TProgress progress(o.Common.Quiet, std::max<std::int64_t>(left, 0));
  const std::int64_t start = in.Source().Done();
  AESChunked::TDecryptor decryptor;
  if (const platform::Integer st =
          decryptor.Begin({AESChunked::TSuite::Cobblestone256, fileKey.Value, context}, threads))
    FailStatus(in.Name(), st);
  std::vector<std::uint8_t> cipher(kPiece);
  platform::TSecretBytes plain{platform::TBytes(decryptor.UpdateRoom(kPiece) + AESChunked::kChunkBytes)};
  std::uint64_t released = 0;
  Guard(in.Name(), [&] {
    for (std::size_t n; (n = in.Read(cipher.data(), kPiece)) != 0;) {
      std::size_t written = 0;
      if (const platform::Integer st = decryptor.Update({cipher.data(), n}, plain.Value, written))
        PayloadFail(in.Name(), st, Released(out, released));
      out.Stream().WriteBuffer(plain.Value.data(), static_cast<std::int64_t>(written));
      released += written;
      if (!progress.Update(in.Source().Done() - start)) throw TFailure("interrupted", kExitInterrupted);
    }
    std::size_t written = 0;
    if (const platform::Integer st = decryptor.Finish(plain.Value, written))
      PayloadFail(in.Name(), st, Released(out, released));
    out.Stream().WriteBuffer(plain.Value.data(), static_cast<std::int64_t>(written));
  });
  progress.Erase();
  out.Commit();
}

// Version 1 needs its whole input at hand: a file is read where it is, a pipe is first copied
// into an unnamed temporary file (the bytes already taken included).
void OpenV1From(TSealOptions& o, TSealInput& in) {
  if (in.Armored()) Fail(in.Name() + ": format version 1 files are never armored");
  if (TInput* file = in.Source().File()) return OpenV1(o, file->Stream(), file->Size(), in.Name());
  TTempFile spool;
  std::vector<std::uint8_t> buffer(kPiece);
  std::int64_t size = 0;
  Guard(in.Name(), [&] {
    std::uint8_t head[9];
    std::memcpy(head, kMagic, 8);
    head[8] = kVersion;
    spool.Stream().WriteBuffer(head, 9);
    size = 9;
    for (std::size_t n; (n = in.Raw(buffer.data(), buffer.size())) != 0; size += static_cast<std::int64_t>(n))
      spool.Stream().WriteBuffer(buffer.data(), static_cast<std::int64_t>(n));
  });
  OpenV1(o, spool.Stream(), size, in.Name());
}

// Version 2: the header checked (slots, then the MAC) before any payload byte is decrypted;
// then each chunk released once its tag matched, to a file that appears only when the whole
// payload verified, or to standard output as it goes.
void RunOpen(TSealOptions& o) {
  CheckPaths(o);
  CheckLimitOptions(o);
  const unsigned threads = Threads(o);
  TSealInput in(o.In);
  if (ReadVersion(in) == kVersion) return OpenV1From(o, in);
  OpenV2(o, in, threads);
}

// A new header with one slot added, removed or replaced, and the payload copied as it is.
void RunRekey(TSealOptions& o) {
  CheckPaths(o);
  RefuseTerminalOutput(o.Out);
  CheckLimitOptions(o);
  if (int(o.Add) + int(o.Remove != 0) + int(o.Replace != 0) != 1)
    UsageFail("give exactly one of --add, --remove N and --replace N");
  const bool adding = o.Remove == 0;
  const bool newCredential = !o.NewKeyFile.empty() || o.NewPassphrase.Fd >= 0 || !o.NewPassphrase.File.empty();
  if (!adding && newCredential) UsageFail("--remove takes no new passphrase or key file");
  if (adding) NewParams(o, !o.NewKeyFile.empty());
  TSealInput in(o.In);
  if (ReadVersion(in) == kVersion)
    Fail(in.Name() + ": a format version 1 file has no key slots (open it and seal it again)");
  THeader2 h = ReadHeader2(in);
  const int count = static_cast<int>(h.Slots.size());
  const int index = o.Remove != 0 ? o.Remove : o.Replace;
  if (index < 0 || index > count)
    UsageFail(in.Name() + ": has key slots 1 to " + std::to_string(count) + ", not " + std::to_string(index));
  if (o.Remove != 0 && count == 1) UsageFail(in.Name() + ": its only key slot cannot be removed");
  if (o.Add && count == static_cast<int>(kMaxSlots))
    UsageFail(in.Name() + ": has " + std::to_string(kMaxSlots) + " key slots already, the most a file holds");
  TOutput out(o.Out, o.Common.Force, true);
  platform::TSecretBytes fileKey;
  Unlock(o, h, in.Name(), fileKey);
  if (adding) {
    TSlot s = NewSlot(o, h, o.NewKeyFile, o.NewPassphrase, "New passphrase", fileKey.Value);
    if (o.Replace != 0) h.Slots[static_cast<std::size_t>(o.Replace - 1)] = s;
    else h.Slots.push_back(s);
  } else {
    h.Slots.erase(h.Slots.begin() + (o.Remove - 1));
  }
  h.Mac = MacOf(h, fileKey.Value);
  TSealSink sink(out, in.Armored());
  std::vector<std::uint8_t> buffer(kPiece);
  Guard(in.Name(), [&] {
    WriteHeader(sink, h);
    for (std::size_t n; (n = in.Read(buffer.data(), buffer.size())) != 0;) sink.Write(buffer.data(), n);
    sink.Finish();
  });
  out.Commit();
}

std::string Describe(const THeader& p) {
  if (p.Source == kFromKeyFile) return "key file";
  return "passphrase (Argon2id: " + std::to_string(p.Passes) + " passes, " + std::to_string(p.MemoryKiB) +
         " KiB of memory, " + std::to_string(p.Lanes) + (p.Lanes == 1 ? " lane)" : " lanes)");
}

// What the header says, no key asked and nothing verified; the payload is counted, not read
// into memory.
void RunInspect(TSealOptions& o) {
  TSealInput in(o.In);
  const int version = ReadVersion(in);
  std::string text = "format version: " + std::to_string(version) + (in.Armored() ? " (armored)\n" : "\n");
  std::int64_t headerBytes = 0;
  if (version == kVersion) {
    platform::TBytes header(kHeaderSize);
    std::memcpy(header.data(), kMagic, 8);
    header[8] = kVersion;
    if (in.ReadFull(&header[9], kHeaderSize - 9) != kHeaderSize - 9) Fail(in.Name() + ": too short to be a sealed file");
    const THeader h = DecodeHeader(header, in.Name());
    text += "key: " + Describe(h) + "\n";
    headerBytes = kHeaderSize;
  } else {
    const THeader2 h = ReadHeader2(in);
    text += "file id: " + EncodeHex(h.FileId.data(), h.FileId.size()) + "\n";
    text += "key slots: " + std::to_string(h.Slots.size()) + "\n";
    for (std::size_t i = 0; i < h.Slots.size(); ++i)
      text += "  slot " + std::to_string(i + 1) + ": " + Describe(h.Slots[i].Params) + "\n";
    headerBytes = static_cast<std::int64_t>(kFixedBytes + h.Slots.size() * kSlotBytes + kMacBytes);
  }
  std::int64_t rest = in.Left();
  if (rest < 0) {
    std::vector<std::uint8_t> buffer(kPiece);
    rest = 0;
    for (std::size_t n; (n = in.Read(buffer.data(), buffer.size())) != 0;) rest += static_cast<std::int64_t>(n);
  }
  std::uint64_t plainBytes = 0;
  if (version == kVersion) {
    const std::int64_t plain = rest - kIVSize - kTagSize;
    text += plain >= 0 ? "payload: " + std::to_string(plain) + " bytes\n" : "payload: cut short\n";
  } else if (AESChunked::PlainBytes(static_cast<std::uint64_t>(rest), plainBytes) == 0) {
    text += "payload: " + std::to_string(plainBytes) + " bytes (" + std::to_string(rest) + " sealed)\n";
  } else {
    text += "payload: " + std::to_string(rest) + " sealed bytes, a length no complete payload has (cut short)\n";
  }
  text += "header: " + std::to_string(headerBytes) + " bytes (not verified: that needs a key)\n";
  std::fputs(text.c_str(), stdout);
}

void AddCredentialOptions(CLI::App* sub, TSealOptions& o) {
  auto* fd = sub->add_option("--passphrase-fd", o.Passphrase.Fd, "Read the passphrase from this file descriptor");
  auto* file = sub->add_option("--passphrase-file", o.Passphrase.File, "Read the passphrase from this file's first line");
  sub->add_option("--key-file", o.KeyFile, "Use a key file of 32 raw bytes instead of a passphrase")
      ->excludes(fd)->excludes(file);
  fd->excludes(file);
}

void AddKdfOptions(CLI::App* sub, TSealOptions& o, bool choosing) {
  if (choosing) {
    sub->add_option("--kdf-passes", o.Passes, "Argon2id passes (default 3, at most --kdf-max-passes)");
    sub->add_option("--kdf-memory", o.MemoryMiB, "Argon2id memory in MiB (default 64, at most --kdf-max-memory)");
  }
  sub->add_option("--kdf-max-passes", o.MaxPasses, "Highest Argon2id passes accepted or derived (default 10, up to 64)");
  sub->add_option("--kdf-max-memory", o.MaxMemoryMiB,
                  "Highest Argon2id memory in MiB accepted or derived (default 1024, up to 4096)");
}

constexpr char kThreadsHelp[] = "Chunks sealed or opened at once (1 to 64; default: the cores available); the "
                                "output is the same for every count";

void AddSealCommand(CLI::App& app, bool sealing) {
  CLI::App* sub = AddSubcommand(
      app, sealing ? "seal" : "open",
      sealing ? "Protect a file with a passphrase (Argon2id) or a key file: chunked AES-256-GCM under a random "
                "file key, the key in a slot of the header (rekey adds more)"
              : "Check and decrypt a sealed file (format version 2 or 1, binary or armored) in one pass, from a "
                "file or a pipe. A named output is written whole or not at all. Standard output or a pipe gets "
                "each 16 KiB chunk once it verified; a damaged or truncated file then ends with exit status 3 "
                "after the chunks before the damage",
      sealing ? "orvoaes seal diary.txt -o diary.txt.sealed        (asks for the passphrase twice)"
              : "orvoaes open diary.txt.sealed -o diary.txt");
  auto o = std::make_shared<TSealOptions>();
  sub->add_option("input", o->In, "Input file (- or none: standard input, read as it comes)");
  sub->add_option("-o,--out", o->Out, sealing ? "Output file (none: standard output, unless a terminal; -: standard output)"
                                              : "Output file (- or none: standard output)");
  AddCredentialOptions(sub, *o);
  AddKdfOptions(sub, *o, sealing);
  sub->add_option("--threads", o->Threads, kThreadsHelp)->check(CLI::Range(1, 64));
  if (sealing) {
    sub->add_flag("--armor", o->Armor, "Write base64 lines between BEGIN and END lines (open recognises them)");
    sub->add_option("--format-version", o->Version, "2 (the default) or 1 (one GCM message, read by older versions)")
        ->check(CLI::IsMember({1, 2}));
  }
  AddCommonOptions(*sub, o->Common);
  sub->callback([o, sealing] { sealing ? RunSeal(*o) : RunOpen(*o); });
}

void AddRekeyCommand(CLI::App& app) {
  CLI::App* sub = AddSubcommand(
      app, "rekey",
      "Add, remove or replace a key slot of a sealed file (format version 2): the header is rewritten and "
      "checked, the payload copied byte for byte. Unlock with a passphrase or --key-file the file has",
      "orvoaes rekey backup.sealed --passphrase-file old.txt --add --new-key-file backup.key -o backup2.sealed");
  auto o = std::make_shared<TSealOptions>();
  sub->add_option("input", o->In, "Sealed file (- or none: standard input)");
  sub->add_option("-o,--out", o->Out, "Output file (none: standard output, unless a terminal; -: standard output; "
                                      "the input itself with --force)");
  AddCredentialOptions(sub, *o);
  sub->add_flag("--add", o->Add, "Add a slot for the new passphrase or key file");
  sub->add_option("--remove", o->Remove, "Remove slot N (as inspect numbers them; never the last one)");
  sub->add_option("--replace", o->Replace, "Replace slot N with the new passphrase or key file");
  auto* fd = sub->add_option("--new-passphrase-fd", o->NewPassphrase.Fd, "Read the new passphrase from this descriptor");
  auto* file = sub->add_option("--new-passphrase-file", o->NewPassphrase.File, "Read the new passphrase from this file");
  sub->add_option("--new-key-file", o->NewKeyFile, "The new slot's key file (32 raw bytes)")->excludes(fd)->excludes(file);
  fd->excludes(file);
  AddKdfOptions(sub, *o, true);
  AddCommonOptions(*sub, o->Common);
  sub->callback([o] { RunRekey(*o); });
}

void AddInspectCommand(CLI::App& app) {
  CLI::App* sub = AddSubcommand(app, "inspect",
                                "Print a sealed file's format version, key slots (kind, Argon2id parameters) and "
                                "payload size, without any key (nothing is verified)",
                                "orvoaes inspect backup.sealed");
  auto o = std::make_shared<TSealOptions>();
  sub->add_option("input", o->In, "Sealed file (- or none: standard input)");
  sub->callback([o] { RunInspect(*o); });
}

}  // namespace

void AddSealCommands(CLI::App& app) {
  AddSealCommand(app, true);
  AddSealCommand(app, false);
  AddRekeyCommand(app);
  AddInspectCommand(app);
}

}  // namespace cli
