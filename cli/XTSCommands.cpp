// enc / dec --mode xts: XTS-AES through the keyed API's TXTSKey. The whole input is one data unit
// under the tweak given as --iv (16 to 16 MiB, as XTS allows), or with --sector-size whole
// sectors, sector k under the tweak's value + k (a disk image, read and written in pieces).
#include <algorithm>

#include "Common.h"
#include "Io.h"
#include "Progress.h"
#include "crypto/engine/AESKeyed.h"

namespace cli {

namespace {

constexpr std::int64_t kMaxUnit = std::int64_t{16} << 20;
// Sector-wise images go through memory in pieces of about this size (whole sectors).
constexpr std::int64_t kPiece = std::int64_t{1} << 20;

// The tweak: 16 bytes from --iv; for sectors also read as a little-endian number (the first
// sector's), which must fit 64 bits.
platform::TCharArray16 LoadTweak(const std::string& hex, bool sectors) {
  platform::TCharArray16 t{};
  if (hex.empty()) {
    if (!sectors) UsageFail("give the tweak as --iv HEX (32 digits) for --mode xts");
    return t;
  }
  const platform::TBytes b = DecodeHex(hex, "the tweak (--iv)");
  if (b.size() != 16) UsageFail("the tweak (--iv) must be 16 bytes (32 hexadecimal digits)");
  std::copy_n(b.begin(), 16, t.begin());
  if (sectors && std::any_of(t.begin() + 8, t.end(), [](std::uint8_t x) { return x != 0; }))
    UsageFail("with --sector-size, --iv is the first sector's number (16 bytes little-endian) and must be below 2^64");
  return t;
}

}  // namespace

void RunXTS(bool encrypt, TKeyOptions& keyOptions, const std::string& inPath, const std::string& outPath,
            const std::string& tweakHex, std::int64_t sectorSize, const TCommonOptions& common) {
  const bool sectors = sectorSize != 0;
  if (sectors && (sectorSize < 16 || sectorSize > kMaxUnit))
    UsageFail("--sector-size must be 16 to 16777216 bytes");
  const platform::TCharArray16 tweak = LoadTweak(tweakHex, sectors);
  platform::TSecretBytes keyBytes;
  LoadKey(keyOptions, keyBytes, {32, 48, 64});  // two AES keys
  AESKeyed::TXTSKey key;
  if (const platform::Integer st = key.SetKey(keyBytes.Value))
    FailStatus(st == error::kBadArgument ? "the XTS key (its two halves are equal)" : "the XTS key", st);
  TInput in(inPath);
  const std::int64_t size = in.Size();
  if (!sectors && (size < 16 || size > kMaxUnit))
    Fail(in.Name() + ": one XTS data unit is 16 bytes to 16 MiB (use --sector-size for larger images)");
  if (sectors && size % sectorSize != 0)
    Fail(in.Name() + ": not whole sectors of " + std::to_string(sectorSize) + " bytes");
  TOutput out(outPath, common.Force);
  TProgress progress(common.Quiet, size);
  const std::int64_t piece = sectors ? std::max<std::int64_t>(1, kPiece / sectorSize) * sectorSize : size;
  platform::TSecretBytes buf;
  buf.Value.resize(static_cast<std::size_t>(std::min(piece, size)));
  std::uint64_t sector = 0;
  for (int i = 7; i >= 0; --i) sector = sector << 8 | tweak[static_cast<std::size_t>(i)];
  Guard(in.Name(), [&] {
    for (std::int64_t done = 0; done < size;) {
      const std::int64_t n = std::min(piece, size - done);
      if (in.Stream().Read(buf.Value.data(), n) != n) Fail(in.Name() + ": the input ended early");
      const std::span<std::uint8_t> bytes(buf.Value.data(), static_cast<std::size_t>(n));
      platform::Integer st = 0;
      if (!sectors)
        st = encrypt ? key.Encrypt(tweak, bytes, bytes) : key.Decrypt(tweak, bytes, bytes);
      else if (encrypt)
        st = key.EncryptSectors(sector, static_cast<std::size_t>(sectorSize), bytes, bytes);
      else
        st = key.DecryptSectors(sector, static_cast<std::size_t>(sectorSize), bytes, bytes);
      if (st != 0) FailStatus(in.Name(), st);
      out.Stream().WriteBuffer(bytes.data(), n);
      sector += static_cast<std::uint64_t>(n / std::max<std::int64_t>(sectorSize, 1));
      done += n;
      if (!progress.Update(done)) CheckInterrupted();
    }
  });
  progress.Erase();
  out.Commit();
}

}  // namespace cli
