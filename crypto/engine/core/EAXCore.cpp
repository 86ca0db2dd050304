#include "crypto/engine/core/EAXCore.h"

#include "crypto/engine/core/AESModesChunks.h"
#include "crypto/engine/core/CMACAbsorber.h"
#include "platform/Memory.h"

namespace AESModes::detail {

namespace {

// CMAC of the block [t]_16 followed by the message.
void OMAC(const TEAXKey& k, std::uint8_t t, const std::uint8_t* p, std::size_t n, TCharArray16& T) noexcept {
  TCMACAbsorber mac(k.AES, k.K1, k.K2);
  TCharArray16 role{};
  role[15] = t;
  mac.Feed(role.data(), 16);
  mac.Feed(p, n);
  mac.Finish(T);
}

}  // namespace

void EAXBegin(const TEAXKey& k, std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> aad,
              TCharArray16& N, TCharArray16& H) noexcept {
  OMAC(k, 0, nonce.data(), nonce.size(), N);
  OMAC(k, 1, aad.data(), aad.size(), H);
}

void EAXTag(const TEAXKey& k, const TCharArray16& N, const TCharArray16& H, const std::uint8_t* cipher, std::size_t n,
            TCharArray16& T) noexcept {
  OMAC(k, 2, cipher, n, T);
  for (std::size_t i = 0; i < 16; ++i) T[i] = static_cast<std::uint8_t>(T[i] ^ N[i] ^ H[i]);
}

void EAXCrypt(const TEAXKey& k, const TCharArray16& N, const std::uint8_t* in, std::uint8_t* out, std::size_t n) noexcept {
  platform::TWiped<TCharArray16> counter;
  *counter = N;
  CryptBytes(TDirection::Encrypt, k.AES, in, n, out, n, *counter, TMode::CTR);
}

}  // namespace AESModes::detail
