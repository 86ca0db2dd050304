#include "GCMOpen.h"

#include <algorithm>
#include <vector>

#include "Common.h"
#include "crypto/engine/AESKeyed.h"
#include "platform/Memory.h"

namespace cli {

namespace {

constexpr std::size_t kPiece = 1 << 20;

// length bytes of input through step(n), in pieces of at most kPiece read into buf; a read
// that fails or comes up short fails naming the input; progress after each piece, Ctrl-C the
// interrupted failure.
template <class Step>
void ForEachPiece(platform::TStream& input, std::int64_t length, std::vector<std::uint8_t>& buf, TProgress& progress,
                  const std::string& name, Step step) {
  for (std::int64_t done = 0; done < length;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(kPiece, length - done));
    ReadExactly(input, buf.data(), static_cast<std::int64_t>(n), name);
    step(n);
    done += static_cast<std::int64_t>(n);
    if (!progress.Update(done)) throw TFailure("interrupted", kExitInterrupted);
  }
}

// The one buffer of a message, wiped when it goes (it holds plain text).
platform::TSecretBytes PieceBuffer(std::int64_t length) {
  return platform::TSecretBytes(platform::TBytes(static_cast<std::size_t>(std::min<std::int64_t>(kPiece, length))));
}

}  // namespace

void ReadExactly(platform::TStream& s, std::uint8_t* p, std::int64_t n, const std::string& name) {
  while (n > 0) {
    const std::int64_t r = s.Read(p, n);
    if (r <= 0) Fail(name + ": the file ended before its size (it changed while it was read)");
    p += r;
    n -= r;
  }
}

namespace {

// One message of either direction: the key set up, the message begun, every piece of the input
// through gcm.Update in place and handed to write(p, n).
template <class TGCM, class Write>
void RunPieces(TGCM& gcm, platform::TStream& input, std::int64_t length, std::span<const std::uint8_t> iv,
               std::span<const std::uint8_t> additionalData, TProgress& progress, const std::string& name,
               const char* what, Write write) {
  if (gcm.Begin(iv, additionalData) != 0) Fail(name + ": cannot start the " + what);
  platform::TSecretBytes piece = PieceBuffer(length);
  std::vector<std::uint8_t>& buf = piece.Value;  // worked in place
  ForEachPiece(input, length, buf, progress, name, [&](std::size_t n) {
    if (gcm.Update({buf.data(), n}, {buf.data(), n}) != 0) Fail(name + ": the " + what + " failed");
    write(buf.data(), static_cast<std::int64_t>(n));
  });
}

// The checks both directions make first, and the key object.
void SetUp(AESKeyed::TAESKey& aes, std::int64_t length, std::span<const std::uint8_t> key,
           std::span<const std::uint8_t> iv, const std::string& name) {
  if (length > kGCMMaxBytes) Fail(name + ": above the 64 GiB limit of one GCM message");
  if (aes.SetKey(key) != 0 || iv.empty()) UsageFail("the key must be 16, 24 or 32 bytes and the IV 1 byte or more");
}

}  // namespace

void EncryptGCM(platform::TStream& input, std::int64_t length, std::span<const std::uint8_t> key,
                std::span<const std::uint8_t> iv, std::span<const std::uint8_t> additionalData,
                platform::TStream& out, std::span<std::uint8_t> tag, TProgress& progress, const std::string& name) {
  AESKeyed::TAESKey aes;
  SetUp(aes, length, key, iv, name);
  AESKeyed::TGCMEncryptor gcm(aes);
  RunPieces(gcm, input, length, iv, additionalData, progress, name, "encryption",
            [&](const std::uint8_t* p, std::int64_t n) { out.WriteBuffer(p, n); });
  if (gcm.Finish(tag) != 0) Fail(name + ": the encryption failed");
}

bool DecryptVerified(platform::TStream& input, std::int64_t length, std::span<const std::uint8_t> key,
                     std::span<const std::uint8_t> iv, std::span<const std::uint8_t> additionalData,
                     std::span<const std::uint8_t> expected, TOutput& out, TProgress& progress,
                     const std::string& name) {
  AESKeyed::TAESKey aes;
  SetUp(aes, length, key, iv, name);
  AESKeyed::TGCMDecryptor gcm(aes);
  RunPieces(gcm, input, length, iv, additionalData, progress, name, "decryption",
            [&](const std::uint8_t* p, std::int64_t n) { out.Stream().WriteBuffer(p, n); });
  // A tag of a length GCM_Open does not take is a mismatch, as it always was.
  if (expected.size() < 4 || expected.size() > 16) return false;
  return gcm.Verify(expected) == 0;
}

platform::TBytes ReadAll(platform::TStream& s, const std::string& name) {
  const std::int64_t size = s.GetSize();
  platform::TBytes bytes(static_cast<std::size_t>(std::max<std::int64_t>(0, size)));
  s.SetPosition(0);
  ReadExactly(s, bytes.data(), size, name);
  return bytes;
}

}  // namespace cli
