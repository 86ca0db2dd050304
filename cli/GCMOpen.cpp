#include "GCMOpen.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "Common.h"
#include "crypto/engine/AESKeyed.h"
#include "platform/Memory.h"

namespace cli {

namespace {

constexpr std::size_t kPiece = 1 << 20;  // a multiple of 16, so the counter carries between pieces

}  // namespace

void ReadExactly(platform::TStream& s, std::uint8_t* p, std::int64_t n, const std::string& name) {
  while (n > 0) {
    const std::int64_t r = s.Read(p, n);
    if (r <= 0) Fail(name + ": the file ended before its size (it changed while it was read)");
    p += r;
    n -= r;
  }
}

void EncryptGCM(platform::TStream& input, std::int64_t length, std::span<const std::uint8_t> key,
                std::span<const std::uint8_t> iv, std::span<const std::uint8_t> additionalData,
                platform::TStream& out, std::span<std::uint8_t> tag, TProgress& progress, const std::string& name) {
  if (length > kGCMMaxBytes) Fail(name + ": above the 64 GiB limit of one GCM message");
  AESKeyed::TAESKey aes;
  if (aes.SetKey(key) != 0 || iv.empty()) UsageFail("the key must be 16, 24 or 32 bytes and the IV 1 byte or more");
  AESKeyed::TGCMEncryptor gcm(aes);
  if (gcm.Begin(iv, additionalData) != 0) Fail(name + ": cannot start the encryption");
  platform::TSecretBytes piece{platform::TBytes(static_cast<std::size_t>(std::min<std::int64_t>(kPiece, length)))};
  for (std::int64_t done = 0; done < length;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(kPiece, length - done));
    const std::span<std::uint8_t> p(piece.Value.data(), n);
    ReadExactly(input, p.data(), static_cast<std::int64_t>(n), name);
    if (gcm.Update(p, p) != 0) Fail(name + ": the encryption failed");
    out.WriteBuffer(p.data(), static_cast<std::int64_t>(n));
    done += static_cast<std::int64_t>(n);
    if (!progress.Update(done)) throw TFailure("interrupted", kExitInterrupted);
  }
  if (gcm.Finish(tag) != 0) Fail(name + ": the encryption failed");
}

bool DecryptVerified(platform::TStream& input, std::int64_t length, std::span<const std::uint8_t> key,
                     std::span<const std::uint8_t> iv, std::span<const std::uint8_t> additionalData,
                     std::span<const std::uint8_t> expected, TOutput& out, TProgress& progress,
                     const std::string& name) {
  if (length > kGCMMaxBytes) Fail(name + ": above the 64 GiB limit of one GCM message");
  AESKeyed::TAESKey aes;
  if (aes.SetKey(key) != 0 || iv.empty()) UsageFail("the key must be 16, 24 or 32 bytes and the IV 1 byte or more");
  // The hash of the cipher text comes from encrypting the decrypted bytes again: GCM encryption
  // of P gives back the very cipher text just read, hashed as it is made.
  AESKeyed::TGCMEncryptor hash(aes);
  if (hash.Begin(iv, additionalData) != 0) Fail(name + ": cannot start the decryption");
  // The counter mode from J0 + 1: a 12-byte IV gives it directly (IV || 00000002, then counted
  // per block); another length has J0 from a hash of the IV, so a second GCM encryption of the
  // cipher text gives the plain text (its own hash is not used).
  platform::TCharArray16 counter{};
  std::optional<AESKeyed::TGCMEncryptor> keystream;
  if (iv.size() == 12) {
    std::copy(iv.begin(), iv.end(), counter.begin());
    counter[15] = 2;
  } else {
    keystream.emplace(aes);
    if (keystream->Begin(iv, {}) != 0) Fail(name + ": cannot start the decryption");
  }
  std::vector<std::uint8_t> cipher(kPiece), plain(kPiece), again(kPiece);
  platform::TCharArray16 tag{};
  bool match = false;
  try {
    for (std::int64_t done = 0; done < length;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(kPiece, length - done));
      ReadExactly(input, cipher.data(), static_cast<std::int64_t>(n), name);
      const std::span<const std::uint8_t> c(cipher.data(), n);
      const std::span<std::uint8_t> p(plain.data(), n);
      if ((keystream ? keystream->Update(c, p) : aes.CryptCTR(c, p, counter)) != 0 ||
          hash.Update(p, {again.data(), n}) != 0)
        Fail(name + ": the decryption failed");
      out.Stream().WriteBuffer(plain.data(), static_cast<std::int64_t>(n));
      done += static_cast<std::int64_t>(n);
      if (!progress.Update(done)) throw TFailure("interrupted", kExitInterrupted);
    }
    if (hash.Finish(tag) != 0) Fail(name + ": the decryption failed");
    match = expected.size() >= 4 && expected.size() <= 16 &&
            platform::ConstantTimeEqual({tag.data(), expected.size()}, expected);
  } catch (...) {
    platform::SecureZero(plain.data(), plain.size());
    platform::SecureZero(again.data(), again.size());
    throw;
  }
  platform::SecureZero(plain.data(), plain.size());
  platform::SecureZero(again.data(), again.size());
  platform::SecureZero(counter.data(), counter.size());
  return match;
}

platform::TBytes ReadAll(platform::TStream& s, const std::string& name) {
  const std::int64_t size = s.GetSize();
  platform::TBytes bytes(static_cast<std::size_t>(std::max<std::int64_t>(0, size)));
  s.SetPosition(0);
  ReadExactly(s, bytes.data(), size, name);
  return bytes;
}

}  // namespace cli
