// OpenSSL's AES-GCM as the test oracle: one-shot encryption and decryption with any IV length.
#pragma once

#ifdef AES_TEST_PORTABLE_ORACLE
#include "PortableOracle.h"
#else
#include <openssl/evp.h>

#include <stdexcept>

#include "Oracle.h"

namespace testing_support {

inline const EVP_CIPHER* OpenSSLGCMCipher(std::size_t keyBytes) {
  switch (keyBytes) {
    case 16:
      return EVP_aes_128_gcm();
    case 24:
      return EVP_aes_192_gcm();
    case 32:
      return EVP_aes_256_gcm();
  }
  throw std::invalid_argument("no such key size");
}

inline GCMResult OpenSSLGCMEncrypt(const Bytes& key, const Bytes& iv, const Bytes& aad, const Bytes& plain) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  GCMResult r{Bytes(plain.size()), Bytes(16)};
  int n = 0;
  bool ok = EVP_EncryptInit_ex(ctx, OpenSSLGCMCipher(key.size()), nullptr, nullptr, nullptr) == 1 &&
            EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_IVLEN, static_cast<int>(iv.size()), nullptr) == 1 &&
            EVP_EncryptInit_ex(ctx, nullptr, nullptr, key.data(), iv.data()) == 1 &&
            (aad.empty() || EVP_EncryptUpdate(ctx, nullptr, &n, aad.data(), static_cast<int>(aad.size())) == 1);
  // Large inputs go in pieces below 2^31 bytes.
  for (std::size_t at = 0; ok && at < plain.size(); at += 1u << 30) {
    const std::size_t len = std::min<std::size_t>(1u << 30, plain.size() - at);
    ok = EVP_EncryptUpdate(ctx, r.Cipher.data() + at, &n, plain.data() + at, static_cast<int>(len)) == 1;
  }
  ok = ok && EVP_EncryptFinal_ex(ctx, r.Cipher.data() + plain.size(), &n) == 1 &&
       EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, r.Tag.data()) == 1;
  EVP_CIPHER_CTX_free(ctx);
  if (!ok) throw std::runtime_error("OpenSSL GCM encryption failed");
  return r;
}

// The tag of a stream of zero bytes of the given length (for very long inputs), fed in pieces.
inline Bytes OpenSSLGCMTagOfZeros(const Bytes& key, const Bytes& iv, std::uint64_t length) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  Bytes zeros(1u << 24), out(zeros.size()), tag(16);
  int n = 0;
  bool ok = EVP_EncryptInit_ex(ctx, OpenSSLGCMCipher(key.size()), nullptr, nullptr, nullptr) == 1 &&
            EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_IVLEN, static_cast<int>(iv.size()), nullptr) == 1 &&
            EVP_EncryptInit_ex(ctx, nullptr, nullptr, key.data(), iv.data()) == 1;
  for (std::uint64_t at = 0; ok && at < length; at += zeros.size()) {
    const auto len = static_cast<int>(std::min<std::uint64_t>(zeros.size(), length - at));
    ok = EVP_EncryptUpdate(ctx, out.data(), &n, zeros.data(), len) == 1;
  }
  ok = ok && EVP_EncryptFinal_ex(ctx, out.data(), &n) == 1 &&
       EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, tag.data()) == 1;
  EVP_CIPHER_CTX_free(ctx);
  if (!ok) throw std::runtime_error("OpenSSL GCM encryption failed");
  return tag;
}

}  // namespace testing_support
#endif
