#include "GCMOpen.h"

#include <algorithm>
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

bool DecryptVerified(platform::TStream& input, std::int64_t length, std::span<const std::uint8_t> key,
                     std::span<const std::uint8_t> iv, std::span<const std::uint8_t> additionalData,
                     std::span<const std::uint8_t> expected, TOutput& out, TProgress& progress,
                     const std::string& name) {
  if (length > kGCMMaxBytes) Fail(name + ": above the 64 GiB limit of one GCM message");
  AESKeyed::TAESKey aes;
  if (aes.SetKey(key) != 0 || iv.size() != 12) UsageFail("the key must be 16, 24 or 32 bytes and the IV 12");
  // The hash of the cipher text comes from encrypting the decrypted bytes again: GCM encryption
  // of P gives back the very cipher text just read, hashed as it is made.
  AESKeyed::TGCMEncryptor hash(aes);
  if (hash.Begin(iv, additionalData) != 0) Fail(name + ": cannot start the decryption");
  platform::TCharArray16 counter{};  // J0 + 1: IV || 00000002, then counted per block
  std::copy(iv.begin(), iv.end(), counter.begin());
  counter[15] = 2;
  std::vector<std::uint8_t> cipher(kPiece), plain(kPiece), again(kPiece);
  platform::TCharArray16 tag{};
  bool match = false;
  try {
    for (std::int64_t done = 0; done < length;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(kPiece, length - done));
      ReadExactly(input, cipher.data(), static_cast<std::int64_t>(n), name);
      if (aes.CryptCTR({cipher.data(), n}, {plain.data(), n}, counter) != 0 ||
          hash.Update({plain.data(), n}, {again.data(), n}) != 0)
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
