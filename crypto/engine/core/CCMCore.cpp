#include "crypto/engine/core/CCMCore.h"

#include <algorithm>
#include <cstring>

#include "crypto/engine/core/AESModesChunks.h"
#include "platform/Memory.h"

namespace AESModes::detail {

namespace {

// The counter pass and the CBC-MAC take the data in pieces of this size, so the second of them
// reads it from the first-level cache.
constexpr std::size_t kPieceBytes = 4096;

// The CBC-MAC over a byte string cut anywhere, zero-padded to a whole block where Pad says.
class TPaddedMAC {
 public:
  TPaddedMAC(const kernel::TExpandedKey& aes, TCharArray16& X) noexcept : FAES(aes), FX(X) {}
  TPaddedMAC(const TPaddedMAC&) = delete;
  TPaddedMAC& operator=(const TPaddedMAC&) = delete;
  ~TPaddedMAC() { platform::SecureZero(FBlock.data(), FBlock.size()); }

  void Feed(const std::uint8_t* p, std::size_t n) noexcept {
    if (FFill != 0) {
      const std::size_t top = std::min(16 - FFill, n);
      std::memcpy(FBlock.data() + FFill, p, top);
      FFill += top;
      p += top;
      n -= top;
      if (FFill < 16) return;
      FAES.CBCMAC(FBlock.data(), 1, FX.data());
      FFill = 0;
    }
    const std::size_t whole = n / 16;
    FAES.CBCMAC(p, whole, FX.data());
    std::memcpy(FBlock.data(), p + 16 * whole, n - 16 * whole);
    FFill = n - 16 * whole;
  }

  // Ends the string: a partial block is filled with zeros and absorbed.
  void Pad() noexcept {
    if (FFill == 0) return;
    std::fill(FBlock.begin() + static_cast<std::ptrdiff_t>(FFill), FBlock.end(), 0);
    FAES.CBCMAC(FBlock.data(), 1, FX.data());
    FFill = 0;
  }

 private:
  const kernel::TExpandedKey& FAES;
  TCharArray16& FX;
  TCharArray16 FBlock{};
  std::size_t FFill = 0;
};

// The additional data's length as CCM encodes it before the data: 2 bytes below 2^16 - 2^8, else
// FF FE and 4 bytes, else FF FF and 8 bytes. Returns the encoding's length.
std::size_t EncodeAADLength(std::uint64_t a, std::uint8_t out[10]) noexcept {
  std::size_t at = 0, bytes = 8;
  if (a < 0xFF00) {
    bytes = 2;
  } else if (a <= 0xFFFFFFFFu) {
    out[at++] = 0xFF;
    out[at++] = 0xFE;
    bytes = 4;
  } else {
    out[at++] = 0xFF;
    out[at++] = 0xFF;
  }
  for (std::size_t i = 0; i < bytes; ++i) out[at + i] = static_cast<std::uint8_t>(a >> (8 * (bytes - 1 - i)));
  return at + bytes;
}

}  // namespace

bool CCMLengthFits(std::size_t nonceBytes, std::uint64_t n) noexcept {
  const std::size_t L = 15 - nonceBytes;
  return L >= 8 || (n >> (8 * L)) == 0;
}

void CCMCrypt(bool encrypt, const kernel::TExpandedKey& aes, std::span<const std::uint8_t> nonce,
              std::span<const std::uint8_t> aad, const std::uint8_t* in, std::uint8_t* out, std::size_t n,
              std::size_t tagBytes, TCharArray16& T) noexcept {
  const std::size_t L = 15 - nonce.size();
  platform::TWiped<TCharArray16> X, S0;
  TCharArray16 B0{}, A{};
  B0[0] = static_cast<std::uint8_t>((aad.empty() ? 0 : 0x40) | ((tagBytes - 2) / 2) << 3 | (L - 1));
  std::copy(nonce.begin(), nonce.end(), B0.begin() + 1);
  for (std::size_t i = 0; i < L; ++i) B0[15 - i] = static_cast<std::uint8_t>(std::uint64_t{n} >> (8 * i));
  TPaddedMAC mac(aes, *X);
  mac.Feed(B0.data(), 16);
  if (!aad.empty()) {
    std::uint8_t length[10];
    mac.Feed(length, EncodeAADLength(aad.size(), length));
    mac.Feed(aad.data(), aad.size());
    mac.Pad();
  }
  // Counter blocks: flags L - 1, the nonce, the block number in the last L bytes (0 masks the
  // tag, the data starts at 1; the length check keeps the number inside its L bytes).
  A[0] = static_cast<std::uint8_t>(L - 1);
  std::copy(nonce.begin(), nonce.end(), A.begin() + 1);
  aes.EncryptBlock(A.data(), S0->data());
  A[15] = 1;
  for (std::size_t at = 0; at < n; at += kPieceBytes) {
    const std::size_t c = std::min(kPieceBytes, n - at);
    if (encrypt) mac.Feed(in + at, c);
    CryptBytes(TDirection::Encrypt, aes, in + at, c, out + at, c, A, TMode::CTR);
    if (!encrypt) mac.Feed(out + at, c);
  }
  mac.Pad();
  for (std::size_t i = 0; i < 16; ++i) T[i] = static_cast<std::uint8_t>((*X)[i] ^ (*S0)[i]);
  platform::SecureZero(A.data(), A.size());
}

}  // namespace AESModes::detail
